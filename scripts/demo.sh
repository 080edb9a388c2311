#!/usr/bin/env bash
# Runs the main job on the embedded demo portal, on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec xvfb-run -a -s "-screen 0 1920x1080x24" "${PYTHON:-python3}" -m kestrelflow.demo "$@"
