# Sourced by the scripts: sets PYTHON to the interpreter the project runs in.
#   - $PYTHON when it is set;
#   - the active virtual environment's python when one is active;
#   - otherwise the project's own environment, .venv (scripts/setup.sh creates it).
if [ -z "${PYTHON:-}" ]; then
  if [ -n "${VIRTUAL_ENV:-}" ] && [ -x "$VIRTUAL_ENV/bin/python" ]; then
    PYTHON="$VIRTUAL_ENV/bin/python"
  else
    PYTHON="$PWD/.venv/bin/python"
  fi
fi
export PYTHON
