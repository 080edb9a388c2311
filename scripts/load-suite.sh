#!/usr/bin/env bash
# The test suite on a machine kept busy: runs it (as scripts/test.sh runs it,
# pytest-xdist with a worker per core) beside a CPU hog of HOGS busy
# processes (4 per core unless HOGS says otherwise), ROUNDS times in a row
# (1 unless ROUNDS says otherwise).  The hogs are ended on every way out:
# the end of the runs, a failure, Ctrl-C, SIGTERM or SIGHUP.  The load
# average is sampled while the suite runs; a table of rounds, results, times
# and the highest load seen ends the run.  Fails when any run failed.
#
#   scripts/load-suite.sh [PYTEST ARGUMENTS]     e.g.  tests/reliability tests/remote
#
# Each run's output is kept in build/load/.  Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
cores="$(nproc)"
hogs="${HOGS:-$((4 * cores))}"
rounds="${ROUNDS:-1}"

bash scripts/setup.sh
source scripts/python-env.sh

logs="$repo/build/load"
rm -rf "$logs"
mkdir -p "$logs"

hog_pids=()
sampler=""
suite=""
end_hogs() {
  local pid
  # A run cut short (Ctrl-C, SIGTERM): its pytest and workers, a process group of their own.
  if [ -n "$suite" ]; then kill -- "-$suite" 2>/dev/null || true; fi
  for pid in "${hog_pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  if [ -n "$sampler" ]; then kill "$sampler" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  hog_pids=()
  sampler=""
  suite=""
}
trap end_hogs EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

echo "Load before the hogs: $(cut -d' ' -f1-3 /proc/loadavg) on $cores cores"
for _ in $(seq 1 "$hogs"); do
  # A busy loop in a shell of its own: nothing but CPU time.
  bash -c 'while :; do :; done' &
  hog_pids+=($!)
done
echo "$hogs busy processes started"

# One line "SECONDS LOAD1 LOAD5 LOAD15" every 5 s into $logs/load.txt.
(
  while :; do
    echo "$SECONDS $(cut -d' ' -f1-3 /proc/loadavg)" >> "$logs/load.txt"
    sleep 5
  done
) &
sampler=$!

failed=0
started=$SECONDS
for round in $(seq 1 "$rounds"); do
  round_started=$SECONDS
  status=0
  # In the background, in a process group of its own, so that a signal to
  # this script is handled at once (the trap ends the run and the hogs).
  set -m
  "$PYTHON" -m pytest -q -p no:cacheprovider -n "${TEST_WORKERS:-auto}" --dist loadfile "$@" \
    > "$logs/round-$round.log" 2>&1 &
  suite=$!
  set +m
  wait "$suite" || status=$?
  suite=""
  seconds=$((SECONDS - round_started))
  result=passed
  if [ "$status" != 0 ]; then result=FAILED; failed=$((failed + 1)); fi
  echo "$round $result $seconds $(tail -n 1 "$logs/round-$round.log")" >> "$logs/results.txt"
done
total=$((SECONDS - started))
end_hogs

echo
printf '%-6s %-7s %8s  %s\n' Round Result Seconds "Last line of pytest"
while read -r round result seconds last; do
  printf '%-6s %-7s %8s  %s\n' "$round" "$result" "$seconds" "$last"
done < "$logs/results.txt"
highest="$(awk '$2 > m {m = $2} END {print m + 0}' "$logs/load.txt" 2>/dev/null || echo "?")"
mean="$(awk '{s += $2; n++} END {if (n) printf "%.1f", s / n; else print "?"}' "$logs/load.txt" 2>/dev/null || echo "?")"
echo "$rounds run(s) in $total s beside $hogs busy processes on $cores cores; load average" \
     "(1 min) highest $highest, mean $mean; $failed failed; logs in ${logs#"$repo"/}/"
[ "$failed" -eq 0 ]
