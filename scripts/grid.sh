#!/usr/bin/env bash
# A Selenium Grid 4 on this machine, for `kestrelflow run --remote URL`.
#
#   bash scripts/grid.sh resolve
#   bash scripts/grid.sh standalone [--max-sessions N] [OPTIONS]
#   bash scripts/grid.sh hub [--nodes N] [--max-sessions N] [OPTIONS]
#   bash scripts/grid.sh node --hub-state FILE [--max-sessions N] [--name NAME] [OPTIONS]
#
# `resolve` fetches org.seleniumhq.selenium:selenium-grid and its dependencies
# through Maven into .grid/ (kept between runs; KESTRELFLOW_GRID_HOME moves
# it), once.  The other commands resolve first, then start the Grid in the
# foreground on free ports of --host (default 127.0.0.1): a standalone server,
# or a hub with N nodes, or one more node for a running hub (named by the
# state file that hub wrote).  Each node runs Debian's Chromium through its
# chromedriver (CHROMIUM and CHROMEDRIVER name others) with --max-sessions
# slots, and names itself in every session's capabilities ("se:nodeName").
# One line is printed when the Grid is ready (its /status says so, with every
# node up); the Grid runs until this script is interrupted or terminated,
# then it ends what it started, by process id.
#
# Options:
#   --host ADDR                    the address to listen on and to report
#   --port PORT                    the Grid's port (default: a free one)
#   --max-sessions N               slots per node (default 1)
#   --nodes N                      nodes under a hub (default 1)
#   --name NAME                    a node's name (default node-K, or standalone)
#   --session-request-timeout S    how long a new session may wait in the
#                                  Grid's queue (default 300, the Grid's own)
#   --session-timeout S            a node ends a session idle for S seconds
#   --state FILE                   write what was started (URLs, process ids,
#                                  ports, node names) as JSON to FILE
#   --logs DIR                     the servers' logs (default .grid/logs)
#
# Exit status: 3 when Java or Maven is missing, 4 when Maven cannot resolve
# the Grid, 5 when the Grid did not start (its log's last lines follow).
set -euo pipefail
cd "$(dirname "$0")/.."

GRID_VERSION="${KESTRELFLOW_GRID_VERSION:-4.47.0}"
GRID_HOME="${KESTRELFLOW_GRID_HOME:-$PWD/.grid}"
LIB="$GRID_HOME/selenium-grid-$GRID_VERSION"
CHROMIUM="${CHROMIUM:-/usr/bin/chromium}"
CHROMEDRIVER="${CHROMEDRIVER:-/usr/bin/chromedriver}"
# However long a busy machine takes to start a JVM; a server that exits ends
# the wait at once.
START_LIMIT="${KESTRELFLOW_GRID_START_LIMIT:-300}"

say() { echo "grid.sh: $*" >&2; }

need_java() {
  if ! command -v java >/dev/null 2>&1; then
    echo "grid.sh: no Grid: Java is not installed (apt-get install default-jre-headless, or KESTRELFLOW_GRID=1 bash scripts/fresh-machine-check.sh)"
    exit 3
  fi
}

need_maven() {
  if ! command -v mvn >/dev/null 2>&1; then
    echo "grid.sh: no Grid: Maven is not installed (apt-get install maven), it resolves the Grid's jars"
    exit 3
  fi
}

# ---- resolve ----------------------------------------------------------------------------
resolve() {
  need_java
  [ -f "$LIB/.complete" ] && return 0
  need_maven
  mkdir -p "$GRID_HOME"
  exec 9>"$GRID_HOME/.lock"
  flock 9          # a second run at the same time waits for the first
  if [ ! -f "$LIB/.complete" ]; then
    local work="$GRID_HOME/pom-$GRID_VERSION"
    mkdir -p "$work"
    cat >"$work/pom.xml" <<EOF
<project xmlns="http://maven.apache.org/POM/4.0.0">
  <modelVersion>4.0.0</modelVersion>
  <groupId>kestrelflow.local</groupId>
  <artifactId>selenium-grid-classpath</artifactId>
  <version>1</version>
  <packaging>pom</packaging>
  <dependencies>
    <dependency>
      <groupId>org.seleniumhq.selenium</groupId>
      <artifactId>selenium-grid</artifactId>
      <version>$GRID_VERSION</version>
    </dependency>
  </dependencies>
</project>
EOF
    rm -rf "$LIB.partial"
    if ! mvn -B -q -f "$work/pom.xml" dependency:copy-dependencies \
         -DoutputDirectory="$LIB.partial" >"$work/maven.log" 2>&1; then
      echo "grid.sh: no Grid: Maven could not resolve org.seleniumhq.selenium:selenium-grid:$GRID_VERSION: $(grep -m1 -E '\[ERROR\]' "$work/maven.log" | sed 's/\x1b\[[0-9;]*m//g; s/^\[ERROR\] *//' | cut -c1-300)"
      exit 4
    fi
    touch "$LIB.partial/.complete"
    rm -rf "$LIB"
    mv "$LIB.partial" "$LIB"
  fi
  flock -u 9
}

# ---- options ------------------------------------------------------------------------------
mode="${1:-}"
[ $# -gt 0 ] && shift
host=127.0.0.1 port="" max_sessions=1 nodes=1 name="" request_timeout="" session_timeout=""
state="" logs="$GRID_HOME/logs" hub_state=""
while [ $# -gt 0 ]; do
  case "$1" in
    --host) host="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    --max-sessions) max_sessions="$2"; shift 2 ;;
    --nodes) nodes="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --session-request-timeout) request_timeout="$2"; shift 2 ;;
    --session-timeout) session_timeout="$2"; shift 2 ;;
    --state) state="$2"; shift 2 ;;
    --logs) logs="$2"; shift 2 ;;
    --hub-state) hub_state="$2"; shift 2 ;;
    *) say "unknown option $1 (see the top of scripts/grid.sh)"; exit 2 ;;
  esac
done

case "$mode" in
  resolve) resolve; echo "Selenium Grid $GRID_VERSION resolved in $LIB"; exit 0 ;;
  standalone|hub|node) ;;
  *) sed -n '2,33p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
resolve
for tool in "$CHROMIUM" "$CHROMEDRIVER" python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "grid.sh: no Grid: $tool is not installed"; exit 3; }
done
mkdir -p "$logs"

# COUNT distinct free ports of $host, on one line.
free_ports() {
  python3 - "$host" "$1" <<'EOF'
import socket, sys
held = []
for _ in range(int(sys.argv[2])):
    s = socket.socket()
    s.bind((sys.argv[1], 0))
    held.append(s)
print(" ".join(str(s.getsockname()[1]) for s in held))
EOF
}

# The value at a path of a JSON file: json_get FILE KEY [KEY ...]
json_get() {
  python3 - "$@" <<'EOF'
import json, sys
value = json.load(open(sys.argv[1]))
for key in sys.argv[2:]:
    value = value[key]
print(value)
EOF
}

pids=()      # what this script started
stopping=0
stop() {
  [ "$stopping" = 1 ] && return
  stopping=1
  local pid all=() kids
  # The servers' children (chromedriver, browsers) as well: a JVM ended
  # hard leaves them behind.
  collect() { all+=("$1"); for kid in $(ps -o pid= --ppid "$1" 2>/dev/null); do collect "$kid"; done; }
  for pid in "${pids[@]}"; do collect "$pid"; done
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 100); do
    kids=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && kids=1; done
    [ "$kids" = 0 ] && break
    sleep 0.1
  done
  for pid in "${all[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap 'stop' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

classpath="$LIB/*"
java_opts=(-Xss512k -XX:+UseSerialGC -XX:TieredStopAtLevel=1 -Xshare:auto)

# start NAME ARGS...: one Grid server in the background, its log in $logs.
start() {
  local label="$1"; shift
  java "${java_opts[@]}" -cp "$classpath" org.openqa.selenium.grid.Main "$@" \
    >"$logs/$label.log" 2>&1 &
  pids+=("$!")
  last_pid=$!
}

# node_config FILE NAME: the node's TOML: the Chromium driver with its slots.
node_config() {
  local override=false
  if [ "$max_sessions" -gt "$(nproc)" ]; then override=true; fi
  cat >"$1" <<EOF
[node]
detect-drivers = false
selenium-manager = false
max-sessions = $max_sessions
override-max-sessions = $override
${session_timeout:+session-timeout = $session_timeout}

[[node.driver-configuration]]
display-name = "chromium"
webdriver-executable = "$CHROMEDRIVER"
max-sessions = $max_sessions
stereotype = '{"browserName": "chrome", "platformName": "linux", "goog:chromeOptions": {"binary": "$CHROMIUM"}, "se:nodeName": "$2"}'
EOF
}

# The Grid's /status: ready, with this many nodes up (and, given a node URI,
# that node among them).  Prints the Grid's version when so.
grid_ready() {
  python3 - "$1" "$2" "${3:-}" <<'EOF'
import json, sys, urllib.request
url, count, uri = sys.argv[1], int(sys.argv[2]), sys.argv[3]
try:
    with urllib.request.urlopen(url + "/status", timeout=5) as reply:
        value = json.load(reply)["value"]
except Exception:
    sys.exit(1)
up = [n for n in value.get("nodes", []) if n.get("availability") == "UP"]
if count == 0:  # a hub alone: it answers
    print("")
    sys.exit(0)
if not value.get("ready") or len(up) < count or (uri and uri not in [n.get("uri") for n in up]):
    sys.exit(1)
print(up[0].get("version", "").split(" ")[0])
EOF
}

# wait_ready URL COUNT [NODE_URI]: until the Grid says so, or a server exits.
wait_ready() {
  local started=$SECONDS pid
  while true; do
    if version="$(grid_ready "$@")"; then version="${version:-$GRID_VERSION}"; return 0; fi
    for pid in "${pids[@]}"; do
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "grid.sh: the Grid did not start: a server ended (logs in $logs): $(grep -v '^\s*at ' "$logs"/*.log | tail -n 3 | tr '\n' ' ' | cut -c1-400)"
        exit 5
      fi
    done
    if [ $((SECONDS - started)) -ge "$START_LIMIT" ]; then
      echo "grid.sh: the Grid did not start within ${START_LIMIT}s (logs in $logs)"
      exit 5
    fi
    sleep 0.25
  done
}

write_state() {
  [ -n "$state" ] || return 0
  python3 - "$state" "$@" <<'EOF'
import json, os, sys
path, pairs = sys.argv[1], sys.argv[2:]
value = {}
for pair in pairs:
    key, _, text = pair.partition("=")
    try:
        value[key] = json.loads(text)
    except ValueError:
        value[key] = text
with open(path + ".partial", "w") as f:
    json.dump(value, f, indent=1)
os.replace(path + ".partial", path)
EOF
}

queue_opts=()
[ -n "$request_timeout" ] && queue_opts+=(--session-request-timeout "$request_timeout"
                                          --session-request-timeout-period 1)

case "$mode" in
  standalone)
    read -r gport < <(free_ports 1)
    port="${port:-$gport}"
    node_config "$logs/standalone-$port.toml" "${name:-standalone}"
    start "standalone-$port" standalone --host "$host" --port "$port" \
      --config "$logs/standalone-$port.toml" "${queue_opts[@]}"
    url="http://$host:$port"
    wait_ready "$url" 1
    write_state "url=$url" "version=$version" "pids=[${pids[*]}]" \
      "nodes=[{\"name\": \"${name:-standalone}\", \"uri\": \"$url\", \"pid\": ${pids[0]}}]"
    echo "Selenium Grid $version ready at $url: standalone, ${name:-standalone}, $max_sessions slot(s) (pid ${pids[0]})"
    ;;
  hub)
    read -r hport pub sub rest < <(free_ports $((3 + nodes)))
    port="${port:-$hport}"
    start "hub-$port" hub --host "$host" --port "$port" \
      --publish-events "tcp://$host:$pub" --subscribe-events "tcp://$host:$sub" "${queue_opts[@]}"
    hub_pid=$last_pid
    url="http://$host:$port"
    node_ports=($rest)
    node_json=""
    for k in $(seq 1 "$nodes"); do
      nport="${node_ports[$((k - 1))]}"
      nname="node-$k"
      node_config "$logs/$nname-$nport.toml" "$nname"
      start "$nname-$nport" node --host "$host" --port "$nport" --config "$logs/$nname-$nport.toml" \
        --grid-url "$url" --register-cycle 1 --publish-events "tcp://$host:$pub" --subscribe-events "tcp://$host:$sub"
      node_json+="${node_json:+, }{\"name\": \"$nname\", \"uri\": \"http://$host:$nport\", \"pid\": $last_pid}"
    done
    wait_ready "$url" "$nodes"
    write_state "url=$url" "version=$version" "pids=[$(IFS=,; echo "${pids[*]}")]" "hub_pid=$hub_pid" \
      "publish=tcp://$host:$pub" "subscribe=tcp://$host:$sub" "nodes=[$node_json]"
    echo "Selenium Grid $version ready at $url: a hub with $nodes node(s) of $max_sessions slot(s) (hub pid $hub_pid)"
    ;;
  node)
    [ -n "$hub_state" ] || { say "node needs --hub-state FILE (the --state of a running hub)"; exit 2; }
    url="$(json_get "$hub_state" url)"
    read -r nport < <(free_ports 1)
    port="${port:-$nport}"
    name="${name:-$host:$port}"
    node_config "$logs/node-$host-$port.toml" "$name"
    start "node-$host-$port" node --host "$host" --port "$port" --config "$logs/node-$host-$port.toml" \
      --grid-url "$url" --register-cycle 1 --publish-events "$(json_get "$hub_state" publish)" \
      --subscribe-events "$(json_get "$hub_state" subscribe)"
    wait_ready "$url" 1 "http://$host:$port"
    write_state "url=$url" "version=$version" "pids=[${pids[0]}]" \
      "nodes=[{\"name\": \"$name\", \"uri\": \"http://$host:$port\", \"pid\": ${pids[0]}}]"
    echo "Selenium Grid $version node $name ready at http://$host:$port, $max_sessions slot(s), in the Grid at $url (pid ${pids[0]})"
    ;;
esac

# Until told to stop, or the Grid's first server ends.
while kill -0 "${pids[0]}" 2>/dev/null; do
  sleep 0.5
done
