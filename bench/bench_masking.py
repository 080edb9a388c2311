"""What masking the values from the environment costs a run.

    python bench/bench_masking.py [--runs N]

A 20-step job on the demo portal (bench_cli's, with a value from the
environment in every typed value and in every address) is run by
`kestrelflow run`; its CPU time is that of the whole process tree (the
runner, the job's process, chromedriver and Chromium, as the kernel counts
finished children).  Then the masking that run needed is done again on what
it wrote, in this process, and timed (CPU time): every line of output.log
(through the same byte masker the job's log thread uses), run.json's values,
the JUnit results, the page sources, the timing CSV and the progress lines.
Masking's share is the second time over the first.  Goal: at most 2 %.
"""
import argparse
import json
import os
import sys
import tempfile
import time
from pathlib import Path

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench_cli import adopt_orphans, cpu_steps, load, measured, spread, write_job  # noqa: E402

from kestrelflow.cli.outputs import Masker  # noqa: E402
from kestrelflow.demo import PORTAL  # noqa: E402
from kestrelflow.demo.server import PageServer  # noqa: E402
from kestrelflow.local_browser import local_display  # noqa: E402

SECRET = "s3cr3t-value-0123456789"


def masked_steps(base_url):
    steps = cpu_steps(base_url)
    for step in steps:
        if step["action"] == "input":
            step["values"] = ["${KF_BENCH_SECRET}-" + v for v in step["values"]]
        if step["action"] == "get_url":
            step["values"] = [step["values"][0].replace("?", "?key=${KF_BENCH_SECRET}&")]
    return steps


def masking_cpu(out, job, progress):
    """CPU seconds to mask again everything the run wrote."""
    masker = Masker({"KF_BENCH_SECRET": SECRET})
    folder = out / job
    log = (folder / "output.log").read_bytes()
    run = json.loads((folder / "run.json").read_text(encoding="utf-8"))
    sources = [p.read_text(encoding="utf-8") for p in (folder / "failures").glob("*.html")]
    csv = (folder / "timings.csv").read_bytes()
    start = time.process_time()
    for line in log.splitlines(keepends=True):  # the log thread sees lines (or larger chunks)
        masker.bytes(line)
    masker.value(run)   # run.json
    masker.value(run)   # what the job's process hands back, before it is written
    for source in sources:
        masker.text(source)
    masker.bytes(csv)
    for line in progress:
        masker.text(line)
    return time.process_time() - start, len(log) + len(csv) + sum(map(len, sources))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    adopt_orphans()
    runs, masks, sizes = [], [], []
    with local_display(), PageServer(PORTAL) as portal, tempfile.TemporaryDirectory() as tmp:
        os.environ["KF_BENCH_SECRET"] = SECRET
        job = write_job(tmp, "masked", masked_steps(portal.base_url))
        for n in range(options.runs):
            out = Path(tmp) / ("out%d" % n)
            _, cpu = measured([sys.executable, "-m", "kestrelflow", "run", str(job), "--out", str(out),
                               "--headless"])
            progress = ["masked: step %d/20 Step name: done (0.5 s)" % i for i in range(20)]
            seconds, size = masking_cpu(out, "masked", progress)
            runs.append(cpu)
            masks.append(seconds)
            sizes.append(size)
            assert SECRET.encode() not in (out / "masked" / "output.log").read_bytes()
    shares = [100 * m / r for m, r in zip(masks, runs)]
    print("run CPU (s, process tree):  %s" % spread(runs))
    print("masking CPU (ms):           %s   over %d bytes of log, CSV and page sources"
          % (spread([1000 * m for m in masks]), max(sizes)))
    print("masking's share (%%):        %s   goal <= 2 %%" % spread(shares))
    print("load average: %s" % load())


if __name__ == "__main__":
    main()
