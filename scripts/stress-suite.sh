#!/usr/bin/env bash
# The test suite under load and side by side: runs it three times in a row
# (ROUNDS sets another number) in this checkout while a second copy of it
# runs at the same time, round for round, in a second clone of this
# checkout's committed HEAD.  Both copies run as scripts/test.sh runs them
# (pytest-xdist, a worker per core), so the machine carries twice the load of
# one run; they share nothing but the machine: each has its own displays,
# browsers, fake portals, ports and temporary folders.
#
#   scripts/stress-suite.sh [PYTEST ARGUMENTS]     e.g.  -k "portal or csv"
#
# Both copies use the project environment that scripts/setup.sh builds here
# (the second clone's sources are the same commit, so one build serves both);
# the second clone goes to a temporary folder under /var/tmp (STRESS_CLONE
# names another) and is removed afterwards.  Each run's output is kept in
# build/stress/; a table of rounds, copies, results and times ends the run.
# Fails when any run failed.  Not part of CI: it takes six suite runs' time.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
rounds="${ROUNDS:-3}"

bash scripts/setup.sh
source scripts/python-env.sh

logs="$repo/build/stress"
rm -rf "$logs"
mkdir -p "$logs"

if [ -n "${STRESS_CLONE:-}" ]; then
  second="$STRESS_CLONE"
  keep_second=1
  [ -d "$second/.git" ] || git clone -q --no-local "$repo" "$second"
else
  second="$(mktemp -d /var/tmp/kestrelflow-stress.XXXXXX)"
  keep_second=0
  git clone -q --no-local "$repo" "$second"
fi
children=()
cleanup() {
  local pid
  for pid in "${children[@]}"; do
    kill -- "-$pid" 2>/dev/null || true  # the copy's process group: its pytest and workers
  done
  wait 2>/dev/null || true
  if [ "$keep_second" = 0 ]; then rm -rf --one-file-system "$second"; fi
}
trap cleanup EXIT
echo "First copy: $repo (working tree); second copy: $second ($(git rev-parse --short HEAD))"
echo "Load before the runs: $(uptime)"

# run_copy NAME FOLDER: the suite ROUNDS times in a row in FOLDER; one line
# "NAME ROUND STATUS SECONDS" per run in $logs/NAME.results.
run_copy() {
  local name="$1" folder="$2" round started status
  for round in $(seq 1 "$rounds"); do
    started=$SECONDS
    status=0
    (cd "$folder" && "$PYTHON" -m pytest -q -p no:cacheprovider -n "${TEST_WORKERS:-auto}" \
       --dist loadfile "${@:3}") > "$logs/$name-round-$round.log" 2>&1 || status=$?
    echo "$name $round $status $((SECONDS - started))" >> "$logs/$name.results"
  done
}

started=$SECONDS
set -m  # each copy in a process group of its own, which cleanup can end whole
run_copy first "$repo" "$@" &
children+=($!)
run_copy second "$second" "$@" &
children+=($!)
wait "${children[@]}" || true
children=()
set +m

echo
echo "Load after the runs: $(uptime)"
printf '%-6s %-7s %-7s %8s  %s\n' Round Copy Result Seconds "Last line of pytest"
failed=0
for round in $(seq 1 "$rounds"); do
  for name in first second; do
    line="$(awk -v r="$round" '$2 == r' "$logs/$name.results")"
    status="$(echo "$line" | awk '{print $3}')"
    seconds="$(echo "$line" | awk '{print $4}')"
    result=passed
    if [ "${status:-1}" != 0 ]; then result=FAILED; failed=$((failed + 1)); fi
    printf '%-6s %-7s %-7s %8s  %s\n' "$round" "$name" "$result" "${seconds:--}" \
      "$(tail -n 1 "$logs/$name-round-$round.log" 2>/dev/null)"
  done
done
echo "$((2 * rounds)) runs in $((SECONDS - started)) s, $failed failed; logs in ${logs#"$repo"/}/"
[ "$failed" -eq 0 ]
