#!/usr/bin/env bash
# Runs the main job on the embedded demo portal, on a virtual display, in the
# project's Python environment (see scripts/python-env.sh); it ends by
# printing the path of the run report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/python-env.sh
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$PYTHON" -m kestrelflow.demo "$@"
