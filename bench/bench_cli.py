"""The kestrelflow command's benchmarks.

    python bench/bench_cli.py [--runs N] [--skip-cpu] [--skip-workers]

(a) CPU: one 20-step job on the demo portal (delays and sleep_time 0), run by
    `kestrelflow run` and by a plain script that opens the same local Chromium
    and calls run_steps directly on the same steps.  Both are processes of
    their own; their CPU time is that of the whole process tree (the Python
    processes, chromedriver and Chromium, as the kernel counts finished
    children).  Goal: the command within 5 % of the plain script.
(b) Wall time: 4 jobs whose time is mostly waits (8 steps, each followed by a
    5 s delay), `--workers 4` against `--workers 1`, measured side by side.
    Goal: at most 1/2.5 of the single worker's time.

Runs alternate between the two sides so that both meet the same machine load;
each figure is given as min - median - max, with the load average around it.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import textwrap
import time
from pathlib import Path

import yaml

from kestrelflow.demo import PORTAL
from kestrelflow.demo.server import PageServer
from kestrelflow.local_browser import local_display

ROUNDS = 4


def cpu_steps(base_url):
    steps = []
    for n in range(ROUNDS):
        steps += [
            {"name": "Open search page", "action": "get_url", "values": [base_url + "index.html?round=%d#search" % n]},
            {"name": "Enter plot number", "action": "input", "xpaths": ["//input[@id='search-box']"],
             "values": ["PLT-%04d" % n]},
            {"name": "Press search", "action": "click", "xpaths": ["//button[@id='search-button']"], "texts": ["Search"]},
            {"name": "Scrap Application_number", "action": "Scrap_data", "xpaths": ["//p[@id='application-number']"]},
            {"name": "Detect_language", "action": "Scrap_data", "xpaths": ["//p[@id='status-ar']"]},
        ]
    return steps


DIRECT = textwrap.dedent("""\
    import sys, yaml
    from kestrelflow.local_browser import open_chrome
    import kestrelflow.generic_utility as gu
    job = yaml.safe_load(open(sys.argv[1]))
    steps = [[s["name"], s["action"], s.get("xpaths", []), s.get("texts", []), s.get("delay", 0),
              s.get("values", [])] for s in job["steps"]]
    driver = open_chrome(headless=True)
    try:
        context, data = gu.run_steps(driver, steps, job["web_app"], sys.argv[2] + "/timings.csv",
                                     sys.argv[2] + "/screenshots", job["service"], sys.argv[2] + "/screenshots",
                                     sleep_time=job["sleep_time"])
    finally:
        driver.quit()
    """)


def write_job(folder, name, steps, sleep_time=0):
    path = Path(folder) / (name + ".yaml")
    path.write_text(yaml.safe_dump({"name": name, "service": "Bench", "web_app": "Bench portal",
                                    "sleep_time": sleep_time, "steps": steps}), encoding="utf-8")
    return path


def adopt_orphans():
    """Makes this process the reaper of its orphaned descendants (Linux), so
    that the browser's processes, which outlive their parents for a moment,
    are counted too when they end."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        return libc.prctl(36, 1, 0, 0, 0) == 0  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        return False


def reap(quiet_for=1.0):
    """Waits for adopted descendants until none has ended for `quiet_for` s."""
    last = time.monotonic()
    while time.monotonic() - last < quiet_for:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid:
            last = time.monotonic()
        else:
            time.sleep(0.05)


def measured(args):
    """Runs a process to its end; (wall seconds, CPU seconds of its tree)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    reap()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode not in (0,):
        raise SystemExit("%s exited %d:\n%s" % (args, done.returncode, done.stderr[-2000:]))
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def spread(values):
    return "%.2f - %.2f - %.2f" % (min(values), statistics.median(values), max(values))


def load():
    return "%.2f %.2f %.2f" % os.getloadavg()


def bench_cpu(portal, work, runs):
    job = write_job(work, "cpu", cpu_steps(portal.base_url))
    direct_script = work / "direct.py"
    direct_script.write_text(DIRECT, encoding="utf-8")
    cli, plain = [], []
    print("(a) CPU of one %d-step job, whole process tree; load before: %s" % (ROUNDS * 5, load()))
    for n in range(runs):
        out = work / ("direct%d" % n)
        out.mkdir()
        plain.append(measured([sys.executable, str(direct_script), str(job), str(out)])[1])
        cli.append(measured([sys.executable, "-m", "kestrelflow", "run", str(job), "--out",
                             str(work / ("cli%d" % n)), "--headless"])[1])
    print("    run_steps called directly: %s s CPU" % spread(plain))
    print("    kestrelflow run:           %s s CPU" % spread(cli))
    overhead = statistics.median(cli) / statistics.median(plain) - 1
    print("    overhead (medians): %+.1f %% (goal: at most +5 %%); load after: %s" % (100 * overhead, load()))


def bench_workers(portal, work, runs):
    steps = [{"name": "Open search page", "action": "get_url", "values": [portal.base_url + "index.html#search"],
              "delay": 5}]
    steps += [{"name": "Read %d" % n, "action": "Scrap_data", "xpaths": ["//h1"], "delay": 5} for n in range(7)]
    jobs = [str(write_job(work, "wait%d" % n, steps)) for n in range(4)]
    one, four = [], []
    print("(b) wall time of 4 jobs of 8 steps, each step followed by 5 s; load before: %s" % load())
    for n in range(runs):
        for workers, times in ((1, one), (4, four)):
            times.append(measured([sys.executable, "-m", "kestrelflow", "run", *jobs, "--out",
                                   str(work / ("w%d_%d" % (workers, n))), "--headless",
                                   "--workers", str(workers)])[0])
    print("    --workers 1: %s s" % spread(one))
    print("    --workers 4: %s s" % spread(four))
    ratio = statistics.median(four) / statistics.median(one)
    print("    ratio (medians): 1/%.2f (goal: at most 1/2.5); load after: %s" % (1 / ratio, load()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--skip-cpu", action="store_true")
    parser.add_argument("--skip-workers", action="store_true")
    options = parser.parse_args()
    print("descendants adopted and counted:", adopt_orphans())
    with local_display(), PageServer(PORTAL) as portal, tempfile.TemporaryDirectory() as work:
        if not options.skip_cpu:
            bench_cpu(portal, Path(work), options.runs)
        if not options.skip_workers:
            bench_workers(portal, Path(work), options.runs)


if __name__ == "__main__":
    main()
