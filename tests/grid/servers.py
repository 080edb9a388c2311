"""A Selenium Grid 4 started by scripts/grid.sh for a test, what it says
about its slots and queue, and a page that holds a browser until released."""
import http.server
import json
import os
import signal
import subprocess
import threading
import time
import urllib.request
from pathlib import Path

import psutil
import pytest

ROOT = Path(__file__).resolve().parents[2]
GRID_SH = ROOT / "scripts" / "grid.sh"
# However long a busy machine takes to start the JVMs; an exit ends it at once.
START_LIMIT = 600


def grid_env():
    """The Grid's environment: a child's (the worker's own display), without
    preloaded libraries.  Under the sanitizers the test process preloads
    their runtimes, which belong to Python and the module, not to Maven, the
    JVMs, the drivers they start or the shell's own helpers (chromedriver
    dies at once with them)."""
    from helpers import child_env  # here, not above: this file also runs as a script
    env = child_env()
    env.pop("LD_PRELOAD", None)
    return env


def resolve():
    """Resolves the Grid once (Maven, cached in .grid/); skips the test with
    grid.sh's own line when Java or Maven is missing, or when Maven cannot
    resolve outside CI (a machine without Maven Central).  In CI a failed
    resolve fails: the Grid tests must not vanish there unseen."""
    done = subprocess.run(["bash", str(GRID_SH), "resolve"], capture_output=True, text=True,
                          timeout=1800, env=grid_env())
    line = (done.stdout + done.stderr).strip().splitlines()[-1:] or ["(no output)"]
    if done.returncode == 3 or (done.returncode == 4 and os.environ.get("CI") != "true"):
        pytest.skip(line[0])
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout.strip()


class Grid:
    """grid.sh in the foreground, as its own process; .url, .state (what it
    started: URLs, node names and process ids) once it said it is ready."""

    def __init__(self, folder, mode, *args, prefix=()):
        folder.mkdir(parents=True, exist_ok=True)
        self.state_file = folder / ("%s-%d.json" % (mode, time.monotonic_ns()))
        self.process = subprocess.Popen(
            [*prefix, "bash", str(GRID_SH), mode, *map(str, args), "--state", str(self.state_file),
             "--logs", str(folder / "logs")],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, encoding="utf-8",
            env=grid_env())
        self.lines = []
        self.ready = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        self.state = None

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            if " ready at " in line:
                self.ready.set()
        self.ready.set()

    def wait_ready(self):
        self.ready.wait(START_LIMIT)
        if self.process.poll() is not None or not self.state_file.exists():
            self.stop()
            pytest.fail("the Grid did not start: %s" % " | ".join(self.lines[-5:]))
        self.state = json.loads(self.state_file.read_text())
        return self

    @property
    def url(self):
        return self.state["url"]

    @property
    def ready_line(self):
        return next(line for line in self.lines if " ready at " in line)

    def pids(self):
        try:
            return json.loads(self.state_file.read_text())["pids"]
        except (OSError, ValueError):
            return []

    def stop(self):
        """grid.sh ends what it started when terminated; whatever is still
        there after that (it was killed itself) is ended here by pid."""
        pids = self.pids()
        left = []
        for pid in pids:
            try:
                left += [pid] + [p.pid for p in psutil.Process(pid).children(recursive=True)]
            except psutil.NoSuchProcess:
                pass
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass


def status(url):
    with urllib.request.urlopen(url + "/status", timeout=10) as reply:
        return json.load(reply)["value"]


def busy_slots(url):
    """The slots that hold a session, per node URI."""
    busy = {}
    for node in status(url)["nodes"]:
        busy[node["uri"]] = sum(1 for slot in node["slots"] if slot.get("session"))
    return busy


def sessions(url):
    """Session id -> the URI of the node that holds it."""
    found = {}
    for node in status(url)["nodes"]:
        for slot in node["slots"]:
            if slot.get("session"):
                found[slot["session"]["sessionId"]] = node["uri"]
    return found


def queued(url):
    """New session requests waiting in the Grid's queue."""
    query = json.dumps({"query": "{ grid { sessionQueueSize } }"}).encode()
    request = urllib.request.Request(url + "/graphql", data=query, headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as reply:
        return json.load(reply)["data"]["grid"]["sessionQueueSize"]


def until(condition, limit, what):
    """Waits for condition() to hold, checking often; fails after `limit` s."""
    deadline = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            pytest.fail("waited %d s for %s" % (limit, what))
        time.sleep(0.2)


class Holding:
    """A page server that holds the browsers on it: `held` counts them,
    `changed` is notified when the count changes."""

    def wait_held(self, count, limit, runner=None):
        """Until `count` browsers are held, or the process `runner` ended."""
        deadline = time.monotonic() + limit
        with self.changed:
            while self.held < count:
                if runner is not None and runner.poll() is not None:
                    pytest.fail("the command ended before %d browsers were on the held page" % count)
                if time.monotonic() > deadline:
                    pytest.fail("waited %d s for %d browsers on the held page" % (limit, count))
                self.changed.wait(0.5)


class HoldServer(Holding):
    """Pages on `address`: tests/pages, and /hold, which answers only once
    release() is called (or after `bound` seconds), so that a browser
    loading it keeps its Grid slot; .held counts the browsers held so far."""

    def __init__(self, address="127.0.0.1", bound=120):
        released = self.released = threading.Event()
        changed = self.changed = threading.Condition()
        server = self
        self.held = 0

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=str(PAGES), **kwargs)

            def do_GET(self):
                if not self.path.startswith("/hold"):
                    return super().do_GET()
                with changed:
                    server.held += 1
                    changed.notify_all()
                released.wait(bound)
                body = b"<!DOCTYPE html><html><body><h1>Held</h1><p id='done'>released</p></body></html>"
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer((address, 0), Handler)
        self.httpd.daemon_threads = True
        self.base = "http://%s:%d/" % (address, self.httpd.server_address[1])
        self.url = self.base + "hold"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def page(self, name):
        return self.base + name

    def release(self):
        self.released.set()

    def close(self):
        self.released.set()
        self.httpd.shutdown()
        self.httpd.server_close()


PAGES = ROOT / "tests" / "pages"


if __name__ == "__main__":
    # In another network namespace: `python servers.py ADDRESS`.  Prints the
    # base URL, then "held N" as browsers arrive; "release" on standard input
    # releases them; the end of standard input ends the server.
    import sys
    hold = HoldServer(sys.argv[1])
    print(hold.base, flush=True)

    def report():
        told = 0
        while True:
            with hold.changed:
                hold.changed.wait_for(lambda: hold.held > told)
                told = hold.held
            print("held %d" % told, flush=True)

    threading.Thread(target=report, daemon=True).start()
    for line in sys.stdin:
        if line.strip() == "release":
            hold.release()
    hold.close()
