#!/usr/bin/env bash
# Runs the whole test suite in the project's Python environment (see
# scripts/python-env.sh), spread over one pytest-xdist worker per core
# (TEST_WORKERS sets another number; 0 runs it in one process).  Each worker
# has its own Xvfb display (pytest-xvfb), its own Chromium and its own fake
# portal; a test file stays on one worker, so the fixtures a module shares
# are made once.  Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/python-env.sh
exec "$PYTHON" -m pytest -q -n "${TEST_WORKERS:-auto}" --dist loadfile "$@"
