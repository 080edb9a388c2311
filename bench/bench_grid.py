"""`kestrelflow run --remote` through a Selenium Grid, on a standalone Grid
of 4 slots started by scripts/grid.sh (Java and Maven needed):

- wall time of 4 jobs whose time is mostly waits (8 steps, each followed by
  a 5 s delay, as in bench_cli.py), `--workers 4` against `--workers 1`.
  Goal: at most 1/2.5 of the single worker's time;
- the time to get a session (headless Chromium, the options `kestrelflow
  run --remote` sends) through the Grid against a bare `chromedriver
  --port` on this machine.  Goal: the Grid adds at most 1 s.

    python bench/bench_grid.py [--runs N] [--sessions N]

The two sides take turns within each run; each figure is min - median - max.
The Grid's start is not timed.
"""
import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

import yaml

from kestrelflow.demo import PORTAL
from kestrelflow.demo.server import PageServer
from kestrelflow.local_browser import local_display

ROOT = Path(__file__).resolve().parents[1]


def write_job(folder, name, steps):
    path = Path(folder) / (name + ".yaml")
    path.write_text(yaml.safe_dump({"name": name, "service": "Bench", "web_app": "Bench portal",
                                    "sleep_time": 0, "steps": steps}), encoding="utf-8")
    return path


def start_grid(work):
    """grid.sh standalone with 4 slots; (its process, the Grid's URL, the ready line)."""
    state = work / "grid.json"
    grid = subprocess.Popen(["bash", str(ROOT / "scripts" / "grid.sh"), "standalone", "--max-sessions", "4",
                             "--state", str(state), "--logs", str(work / "logs")],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    line = grid.stdout.readline().strip()
    if " ready at " not in line:
        grid.wait()
        raise SystemExit(line or "grid.sh ended without a word")
    return grid, json.loads(state.read_text())["url"], line


def spread(values):
    return "%.2f - %.2f - %.2f" % (min(values), statistics.median(values), max(values))


def load():
    return "%.2f %.2f %.2f" % os.getloadavg()


def timed(args):
    start = time.perf_counter()
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        raise SystemExit("%s exited %d:\n%s" % (args, done.returncode, done.stderr[-2000:]))
    return wall


def session_seconds(url):
    """Seconds until webdriver.Remote at `url` hands back a session (the
    session is then ended, untimed)."""
    from kestrelflow.cli.worker import _remote
    start = time.perf_counter()
    driver = _remote(url, "chrome", True, 120)
    took = time.perf_counter() - start
    driver.quit()
    return took


def bare_chromedriver():
    """chromedriver on a free local port; (its process, its URL)."""
    import socket
    from kestrelflow.local_browser import chromedriver_path
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        try:
            with urllib.request.urlopen(url + "/status", timeout=5):
                return server, url
        except OSError:
            time.sleep(0.2)
    server.kill()
    raise SystemExit("chromedriver did not start")


def compare_sessions(grid_url, count):
    server, bare_url = bare_chromedriver()
    before = load()
    try:
        session_seconds(bare_url)  # the first start warms the disk cache for both
        grid, bare = [], []
        for n in range(count):
            sides = ((grid_url, grid), (bare_url, bare)) if n % 2 == 0 else ((bare_url, bare), (grid_url, grid))
            for url, times in sides:
                times.append(session_seconds(url))
    finally:
        server.terminate()
        server.wait(timeout=30)
    print("A session, %d of each; load before: %s" % (count, before))
    print("    bare chromedriver: %s s" % spread(bare))
    print("    through the Grid:  %s s" % spread(grid))
    print("    the Grid adds (medians): %.2f s (goal: at most 1 s); load after: %s"
          % (statistics.median(grid) - statistics.median(bare), load()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--sessions", type=int, default=7, help="sessions of each side (0: none)")
    options = parser.parse_args()
    with local_display(), PageServer(PORTAL) as portal, tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        grid, url, ready = start_grid(work)
        try:
            print(ready)
            if options.sessions:
                compare_sessions(url, options.sessions)
            if not options.runs:
                return
            steps = [{"name": "Open search page", "action": "get_url",
                      "values": [portal.base_url + "index.html#search"], "delay": 5}]
            steps += [{"name": "Read %d" % n, "action": "Scrap_data", "xpaths": ["//h1"], "delay": 5}
                      for n in range(7)]
            jobs = [str(write_job(work, "wait%d" % n, steps)) for n in range(4)]
            one, four = [], []
            print("4 jobs of 8 steps, each step followed by 5 s, through the Grid; load before: %s" % load())
            for n in range(options.runs):
                sides = ((1, one), (4, four)) if n % 2 == 0 else ((4, four), (1, one))
                for workers, times in sides:
                    times.append(timed([sys.executable, "-m", "kestrelflow", "run", *jobs, "--out",
                                        str(work / ("w%d_%d" % (workers, n))), "--headless",
                                        "--workers", str(workers), "--remote", url]))
            print("    --workers 1: %s s" % spread(one))
            print("    --workers 4: %s s" % spread(four))
            ratio = statistics.median(four) / statistics.median(one)
            print("    ratio (medians): 1/%.2f (goal: at most 1/2.5); load after: %s" % (1 / ratio, load()))
        finally:
            grid.send_signal(signal.SIGTERM)
            grid.wait(timeout=60)


if __name__ == "__main__":
    main()
