"""`kestrelflow run --remote` through a Selenium Grid: wall time of 4 jobs
whose time is mostly waits (8 steps, each followed by a 5 s delay, as in
bench_cli.py), `--workers 4` against `--workers 1`, on a standalone Grid of
4 slots started by scripts/grid.sh (Java and Maven needed).  Goal: at most 1/2.5 of
the single worker's time.

    python bench/bench_grid.py [--runs N]

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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=2)
    options = parser.parse_args()
    with local_display(), PageServer(PORTAL) as portal, tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        grid, url, ready = start_grid(work)
        try:
            print(ready)
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
