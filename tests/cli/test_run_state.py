"""While a run is going on its outputs say so: run.json is "running" from the
start and JUnit holds no earlier green for its jobs; a second run into the
same folder is refused at once."""
import signal
import xml.etree.ElementTree as ET

from cli.commands import kestrelflow, read_run, write_job
from cli.runs import Watched
from helpers import HANG, child_env


def job(folder, pages, delay):
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": "Read", "action": "Scrap_data", "xpaths": ["//h1"], "delay": delay}]
    return write_job(folder, "nightly", steps, sleep_time=0)


def junit_verdicts(path):
    return [(suite.get("name"), suite.get("failures"), suite.get("errors"))
            for suite in ET.parse(path).getroot().findall("testsuite")]


def test_a_run_under_way_shows_no_earlier_green(pages, tmp_path):
    out = tmp_path / "out"
    green = kestrelflow("run", job(tmp_path, pages, 0), "--out", out, "--headless", env=child_env(), timeout=300)
    assert green.returncode == 0 and junit_verdicts(out / "junit.xml") == [("nightly", "0", "0")]
    assert (out / "nightly" / "report.html").is_file()

    run = Watched("run", job(tmp_path, pages, 600), "--out", out, "--headless")
    try:
        run.wait_for_line("nightly: step 1/2")
        now = read_run(out, "nightly")
        assert (now["status"], now["step_results"]) == ("running", [])
        assert junit_verdicts(out / "junit.xml") == [("nightly", "0", "1")]
        assert not (out / "nightly" / "report.html").exists()
    finally:
        run.signal(signal.SIGTERM)
        run.wait(timeout=HANG)
        run.end()


def test_a_second_run_into_the_same_folder_is_refused(pages, tmp_path):
    out = tmp_path / "out"
    first = Watched("run", job(tmp_path, pages, 600), "--out", out, "--headless")
    try:
        first.wait_for_line("nightly: step 1/2")
        second = kestrelflow("run", job(tmp_path, pages, 0), "--out", out, "--headless", env=child_env(),
                             timeout=HANG)
        assert second.returncode == 2
        assert second.stderr.splitlines() == [
            "kestrelflow: the output folder %s is in use by another run" % out]
        assert second.stdout == ""
        assert read_run(out, "nightly")["status"] == "running"  # the first run's, untouched
    finally:
        first.signal(signal.SIGTERM)
        first.wait(timeout=HANG)
        first.end()
