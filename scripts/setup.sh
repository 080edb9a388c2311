#!/usr/bin/env bash
# Installs what the module, its demo and its tests need on a fresh Debian
# machine: Chromium with its driver and a virtual display (apt), then the
# package itself with its test extras (pip).
#
# The extension is built against build tools installed in the environment
# itself (no isolated build environment) into the persistent build/ folder,
# so a rerun recompiles only the sources that changed.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

need=()
command -v chromium >/dev/null 2>&1 || need+=(chromium)
command -v chromedriver >/dev/null 2>&1 || need+=(chromium-driver)
command -v Xvfb >/dev/null 2>&1 || need+=(xvfb)
command -v xvfb-run >/dev/null 2>&1 || need+=(xvfb)
command -v xauth >/dev/null 2>&1 || need+=(xauth)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing system packages: ${need[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

PYTHON="${PYTHON:-python3}"
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

# The build backend and pybind11, then CMake and Ninja when the machine has no
# suitable ones (the backend itself says which it needs).
mapfile -t reqs < <(pyproject_list build-system requires)
pip_install "${reqs[@]}"
mapfile -t reqs < <("$PYTHON" -c 'from scikit_build_core.build import get_requires_for_build_wheel as r
for item in r(): print(item)')
if [ ${#reqs[@]} -gt 0 ]; then pip_install "${reqs[@]}"; fi

# The runtime and test dependencies.
mapfile -t reqs < <(pyproject_list project dependencies; pyproject_list project optional-dependencies test)
pip_install "${reqs[@]}"

echo "Building the extension (a few minutes on a fresh machine)..."
# pip -v streams the build's own output (CMake, Ninja, the compiler) to stderr
# and its bookkeeping to stdout.
"$PYTHON" -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps . >/dev/null
echo "Extension built and installed."
