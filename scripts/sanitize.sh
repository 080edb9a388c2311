#!/usr/bin/env bash
# Builds the module with AddressSanitizer and UndefinedBehaviorSanitizer into
# its own virtual environment (.venv-sanitize, build folder build/sanitize) and
# runs the whole test suite under it.  Fails when a test fails or when either
# sanitizer wrote a report; the reports are printed.  Arguments go to pytest.
# The suite runs in one process here, without the pytest-xdist workers that
# scripts/test.sh uses: the undefined-behaviour reports are searched in this
# one process's standard error, and the workers' start-up under the
# preloaded runtimes is not proven.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

# System packages, build tools and test dependencies, in $PYTHON's environment.
bash scripts/setup.sh
source scripts/python-env.sh  # the environment setup.sh installed into

venv="$root/.venv-sanitize"
if [ ! -x "$venv/bin/python" ]; then
  echo "Creating $venv"
  "$PYTHON" -m venv --system-site-packages "$venv"
fi
# --system-site-packages reaches the base interpreter's packages only; when
# $PYTHON is itself a virtual environment, its packages are reached too.
site="$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')"
"$PYTHON" -c 'import sysconfig; print("\n".join(sorted({sysconfig.get_path("purelib"), sysconfig.get_path("platlib")})))' \
  > "$site/kf-parent-env.pth"

echo "Building the extension with AddressSanitizer and UndefinedBehaviorSanitizer..."
"$venv/bin/python" -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps \
  --config-settings=build-dir=build/sanitize \
  --config-settings=cmake.build-type=Debug \
  --config-settings=cmake.define.KF_SANITIZE=ON \
  . >/dev/null
module="$("$venv/bin/python" -c 'import importlib.util as u; print(u.find_spec("kestrelflow.generic_utility").origin)')"
case "$module" in
  "$venv"/*) ;;
  *) echo "The sanitized build is not the one imported ($module)" >&2; exit 1 ;;
esac

# The sanitizer runtimes are preloaded into Python (which is not built with
# them); the browser's driver and the display server run without them, and
# so does a Selenium Grid (tests/grid start its Java servers, which start
# chromedriver themselves, with LD_PRELOAD removed from their environment).
asan="$(g++ -print-file-name=libasan.so)"
ubsan="$(g++ -print-file-name=libubsan.so)"
for lib in "$asan" "$ubsan"; do
  [ -f "$lib" ] || { echo "Sanitizer runtime not found: $lib" >&2; exit 1; }
done
bin="$root/build/sanitize/bin"
mkdir -p "$bin"
for tool in chromedriver Xvfb xauth; do
  real="$(command -v "$tool")" || { echo "$tool not found" >&2; exit 1; }
  printf '#!/bin/sh\nunset LD_PRELOAD\nexec %q "$@"\n' "$real" > "$bin/$tool"
  chmod +x "$bin/$tool"
done

reports="$root/build/sanitize/reports"
rm -rf "$reports"
mkdir -p "$reports"

# AddressSanitizer writes its reports to files under $reports.  The
# UndefinedBehaviorSanitizer runtime, loaded next to it, writes to standard
# error whatever its options say, and goes on; so pytest captures at the
# Python level only (capsys still works) and standard error is kept in a file
# that is searched afterwards.
echo "Running the tests under the sanitizers..."
status=0
env PATH="$bin:$PATH" \
    PYTHONMALLOC=malloc \
    ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=0:verify_asan_link_order=0:log_path=$reports/sanitizer" \
    UBSAN_OPTIONS="print_stacktrace=1:log_path=$reports/sanitizer" \
    LD_PRELOAD="$asan $ubsan" \
    "$venv/bin/python" -m pytest -q -p no:cacheprovider --capture=sys "$@" \
    2> >(tee "$reports/stderr.log" >&2) || status=$?
wait  # for tee

# Each undefined-behaviour report: its "runtime error" line and its stack.
awk '/runtime error:/ { on = 1; print; next } on && /^ +#[0-9]/ { print; next } { on = 0 }' \
  "$reports/stderr.log" > "$reports/undefined-behaviour.txt"
[ -s "$reports/undefined-behaviour.txt" ] || rm "$reports/undefined-behaviour.txt"
rm "$reports/stderr.log"

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
  for report in "${found[@]}"; do
    echo "==== ${report#"$root"/}"
    cat "$report"
  done
  echo "Sanitizer reports: ${#found[@]} file(s), above." >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "Tests failed under the sanitizers (pytest exit status $status)." >&2
  exit "$status"
fi
echo "No sanitizer reports."
