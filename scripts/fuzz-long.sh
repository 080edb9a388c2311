#!/usr/bin/env bash
# The long fuzz run: every public function, many seeds, tens of thousands of
# hostile calls each (the test suite runs the same harness briefly, one seed).
#
#   scripts/fuzz-long.sh [SEEDS] [CALLS] [CPU_SECONDS_PER_FUNCTION]
#
# Defaults: 5 seeds x 72 functions x up to 20,000 calls (or 20 s of CPU time
# per function and seed).  Reports per seed go to build/fuzz/seed-N.json; the
# script fails when any function failed.  Runs under xvfb-run when there is
# no display (the pointer library needs one at import).  PYTHON picks the
# interpreter that has the module installed.
set -euo pipefail
cd "$(dirname "$0")/.."
seeds="${1:-5}"
calls="${2:-20000}"
budget="${3:-20}"
PYTHON="${PYTHON:-python3}"
mkdir -p build/fuzz

run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi
}

status=0
for seed in $(seq 1 "$seeds"); do
  out="build/fuzz/seed-$seed.json"
  run "$PYTHON" tests/reliability/fuzzing.py --seed "$seed" --calls "$calls" \
    --budget "$budget" --jobs 2 > "$out"
  "$PYTHON" - "$out" <<'PY' || status=1
import json, sys
report = json.load(open(sys.argv[1]))
calls = sum(r["calls"] for r in report.values())
failed = {name: r["failures"] for name, r in report.items() if r["failures"]}
print(f"{sys.argv[1]}: {len(report)} functions, {calls} calls, "
      f"{sum(r.get('timeouts', 0) for r in report.values())} cut short, {len(failed)} failed")
for name, failures in sorted(failed.items()):
    for failure in failures:
        print(f"  {name}: {failure}")
sys.exit(1 if failed or len(report) != 72 else 0)
PY
done
exit "$status"
