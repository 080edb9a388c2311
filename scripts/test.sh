#!/usr/bin/env bash
# Runs the whole test suite (pytest starts its own Xvfb display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec "${PYTHON:-python3}" -m pytest -q "$@"
