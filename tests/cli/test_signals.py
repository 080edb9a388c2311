"""A run told to stop: SIGTERM or Ctrl-C ends every job's browser, driver and
display, then writes run.json, the report and JUnit with the jobs that were
interrupted as errors; a second signal ends it at once; a runner killed
outright takes its jobs with it.  No process of the run is left."""
import signal
import xml.etree.ElementTree as ET

import pytest

from cli.commands import read_run, write_job
from cli.runs import Watched, marked_processes, wait_until

STOPPED = "interrupted"


def long_job(folder, pages, name="long"):
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": "Wait", "action": "Scrap_data", "xpaths": ["//h1"], "delay": 600},
             {"name": "Read", "action": "Scrap_data", "xpaths": ["//h1"]}]
    return write_job(folder, name, steps, sleep_time=0)


@pytest.mark.parametrize("signals", [["SIGTERM"], ["SIGINT"], ["SIGTERM", "SIGINT"]])
def test_a_signal_ends_every_process_and_reports_the_run(signals, pages, tmp_path):
    out = tmp_path / "out"
    jobs = [long_job(tmp_path, pages, "north"), long_job(tmp_path, pages, "south")]
    run = Watched("run", *jobs, "--out", out, "--workers", 2, own_display=True)
    try:
        run.wait_for_line("north: step 1/3")
        run.wait_for_line("south: step 1/3")
        assert len(marked_processes(run.mark)) >= 6  # runner, Xvfb, and per job its process, driver, browser
        for name in signals:
            run.signal(getattr(signal, name))
        status = run.wait(timeout=60)
        assert wait_until(lambda: marked_processes(run.mark) == [], 10), marked_processes(run.mark)
    finally:
        run.end()
    assert "Traceback" not in run.errors
    # Two signals sent together may be handled in either order.
    assert status in {128 + getattr(signal, name) for name in signals[:len(signals)]}, run.errors
    if len(signals) == 2:
        return  # at once: nothing more is promised
    for job in ("north", "south"):
        result = read_run(out, job)
        assert (result["status"], result["reason"]) == ("error", STOPPED)
        # The step under way is the error; the one after it never ran.
        assert [(s["outcome"], s["reason"]) for s in result["step_results"]][1:] == [
            ("error", result["step_results"][1]["reason"]), ("skipped", "not run: " + STOPPED)]
        assert (out / job / "report.html").is_file()
    suites = ET.parse(out / "junit.xml").getroot().findall("testsuite")
    assert sorted(s.get("name") for s in suites) == ["north", "south"]
    assert all((s.get("errors"), s.get("skipped")) == ("1", "1") for s in suites)


def test_a_killed_runner_leaves_no_process(pages, tmp_path):
    run = Watched("run", long_job(tmp_path, pages), "--out", tmp_path / "out", own_display=True)
    try:
        run.wait_for_line("long: step 1/3")
        assert len(marked_processes(run.mark)) >= 4
        run.signal(signal.SIGKILL)
        run.wait(timeout=30)
        assert wait_until(lambda: marked_processes(run.mark) == [], 20), marked_processes(run.mark)
    finally:
        run.end()
