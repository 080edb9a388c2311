"""A frozen browser or a page whose script never returns: the job ends within
its --job-timeout plus one client time-out, reported as an error, "job
time-out", with its browser and driver processes ended.  The job's times
are the ones its run.json gives, so a machine slow to start Python or the
browser moves neither bound."""
import os
import signal
import subprocess
import time
from datetime import datetime

import psutil
import pytest

from cli.commands import command, outcomes, read_run, write_job
from helpers import HANG, child_env

JOB_TIMEOUT, CLIENT_TIMEOUT = 25, 10


def browser_processes(pid):
    """chromedriver below the process `pid`, and the browsers it started."""
    for process in psutil.Process(pid).children(recursive=True):
        if process.name() == "chromedriver":
            return [process] + process.children()
    return []


def gone(process):
    try:
        return process.status() == psutil.STATUS_ZOMBIE
    except psutil.NoSuchProcess:
        return True


@pytest.mark.parametrize("freeze", ["stopped browser", "busy page"])
def test_a_frozen_job_ends_at_its_time_out(freeze, pages, tmp_path):
    page = "steps_portal.html" if freeze == "stopped browser" else "cli_busy.html"
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url(page)]},
             {"name": "Wait", "action": "Scrap_data", "xpaths": ["//h1"], "delay": 3},
             {"name": "Read", "action": "Scrap_data", "xpaths": ["//h1"]}]
    job, out = write_job(tmp_path, "frozen", steps, sleep_time=0), tmp_path / "out"
    launched = time.time()
    runner = subprocess.Popen(command("run", job, "--out", out, "--headless", "--job-timeout", JOB_TIMEOUT,
                                      "--client-timeout", CLIENT_TIMEOUT),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8",
                              env=child_env())
    try:
        browsers = []
        if freeze == "stopped browser":
            for line in runner.stdout:
                if line.startswith("frozen: step 1/3"):
                    break
            browsers = browser_processes(runner.pid)
            assert len(browsers) >= 2  # chromedriver and the browser
            os.kill(browsers[1].pid, signal.SIGSTOP)
        rest, errors = runner.communicate(timeout=HANG)
    finally:
        if runner.poll() is None:
            for process in psutil.Process(runner.pid).children(recursive=True):
                process.kill()
            runner.kill()
            runner.wait()

    assert runner.returncode == 1, errors
    assert "frozen: error (job time-out)" in rest
    run = read_run(out, "frozen")
    # The time-out runs from the job's start in the runner, a moment before
    # the job's own process records its start: so the job's own seconds may
    # fall a little short of the time-out, but its end cannot come before the
    # time-out counted from the launch (run.json's stamps are cut to seconds).
    assert run["seconds"] <= JOB_TIMEOUT + CLIENT_TIMEOUT
    assert datetime.fromisoformat(run["finished"]).timestamp() >= int(launched) + JOB_TIMEOUT
    assert (run["status"], run["reason"]) == ("error", "job time-out")
    assert outcomes(run)[0] == ("Open", "done")
    # The step under way at the time-out is the error, the steps after it
    # never ran (a time-out between two steps leaves none under way).
    assert [outcome for _, outcome in outcomes(run)[1:]] in (["error", "skipped"], ["skipped", "skipped"])
    assert all(gone(process) for process in browsers)
