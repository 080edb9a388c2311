#!/usr/bin/env bash
# Runs the whole test suite (pytest starts its own Xvfb display) in the
# project's Python environment (see scripts/python-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/python-env.sh
exec "$PYTHON" -m pytest -q "$@"
