#!/usr/bin/env bash
# Installs what the module, its demo and its tests need on a fresh Debian
# machine: the system packages (apt), a project virtual environment (.venv)
# unless one is active or $PYTHON names an interpreter, and in it the package
# itself with its test extras (pip).
#
# The extension is built against build tools installed in the environment
# itself (no isolated build environment) into the persistent build/ folder,
# so a rerun recompiles only the sources that changed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/python-env.sh

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# ---- system packages -----------------------------------------------------------------
# The interpreter's venv, pip, tkinter (imported by the pointer library) and
# headers; a C++ compiler; Chromium, its driver and a virtual display.  CMake
# and Ninja come from pip when the machine has no suitable ones.
packages=(python3-venv python3-pip python3-tk python3-dev g++ chromium chromium-driver xvfb xauth)
if command -v dpkg-query >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
  need=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || need+=("$package")
  done
  if [ ${#need[@]} -gt 0 ]; then
    echo "Installing system packages: ${need[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      "${need[@]}" >/dev/null
  fi
else
  echo "No apt on this machine: make sure these (or their equivalents) are installed: ${packages[*]}"
fi

# ---- the Python environment ------------------------------------------------------------
if [ "$PYTHON" = "$PWD/.venv/bin/python" ] && [ ! -x "$PYTHON" ]; then
  echo "Creating the project environment .venv"
  # The system's site packages stay visible: what the machine already has is
  # not downloaded again.
  python3 -m venv --system-site-packages .venv
fi
echo "Python: $PYTHON"

pip_install() { "$PYTHON" -m pip install -q --disable-pip-version-check "$@"; }

# Prints the requirements listed under one key of pyproject.toml, one a line.
pyproject_list() {
  "$PYTHON" - "$@" <<'EOF'
import sys, tomllib
with open("pyproject.toml", "rb") as f:
    node = tomllib.load(f)
for key in sys.argv[1:]:
    node = node[key]
for item in node:
    print(item)
EOF
}

echo "Installing the build tools..."
# The build backend and pybind11, then CMake and Ninja when the machine has no
# suitable ones (the backend itself says which it needs).
mapfile -t reqs < <(pyproject_list build-system requires)
pip_install "${reqs[@]}"
mapfile -t reqs < <("$PYTHON" -c 'from scikit_build_core.build import get_requires_for_build_wheel as r
for item in r(): print(item)')
if [ ${#reqs[@]} -gt 0 ]; then pip_install "${reqs[@]}"; fi

echo "Installing the runtime and test dependencies..."
mapfile -t reqs < <(pyproject_list project dependencies; pyproject_list project optional-dependencies test)
pip_install "${reqs[@]}"

# ---- the extension ---------------------------------------------------------------------
echo "Building the extension (a few minutes on a fresh machine; progress below)..."
mkdir -p build
log="build/setup-build.log"
# pip -v passes on the build's own output; the compiler's progress lines
# ("[12/60] Building CXX object ...") are shown as they come, the rest is kept
# in the log and shown when the build fails.
status=0
"$PYTHON" -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps . \
  > "$log" 2>&1 &
pip_pid=$!
tail -n +1 -f --pid="$pip_pid" "$log" 2>/dev/null \
  | grep --line-buffered -E '^ *\[[0-9]+/[0-9]+\] ' \
  | sed -u -E 's#CMakeFiles/[^/ ]+\.dir/##; s#\.o$##; s#^ *#  #' \
  || true
wait "$pip_pid" || status=$?
if [ "$status" -ne 0 ]; then
  echo "The build failed; its last lines ($log has them all):" >&2
  tail -n 40 "$log" >&2
  exit "$status"
fi
echo "Extension built and installed."
