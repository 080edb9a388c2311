#!/usr/bin/env bash
# Installs what the module, its demo and its tests need on a fresh Debian
# machine: Chromium with its driver and a virtual display (apt), then the
# package itself with its test extras (pip).
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
"$PYTHON" -m pip install -q --disable-pip-version-check ".[test]"
