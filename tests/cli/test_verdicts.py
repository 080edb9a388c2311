"""What a run counts as failed: a job whose steps only end "not done" fails
the run, and in the JUnit file every outcome but "done" is a failure or an
error."""
import xml.etree.ElementTree as ET

import pytest

from cli.commands import kestrelflow, outcomes, read_run, write_job
from kestrelflow.cli.junit import write_junit

NOT_DONE = [
    {"name": "Open page", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html"]},
    {"name": "Read balance", "action": "Scrap_data", "xpaths": ["//p[@id='balance']"]},  # not on the page
    {"name": "Read title", "action": "Scrap_data", "xpaths": ["//h1"]},
]


def test_a_job_with_steps_not_done_and_no_error_fails(pages, tmp_path):
    out = tmp_path / "out"
    done = kestrelflow("run", write_job(tmp_path, "balance", NOT_DONE, sleep_time=0), "--out", out,
                       "--headless", env={"KF_PAGES": pages.base_url}, timeout=300)
    assert done.returncode == 1, done.stderr
    run = read_run(out, "balance")
    assert outcomes(run) == [("Open page", "done"), ("Read balance", "not done"), ("Read title", "done")]
    assert (run["status"], run["reason"]) == ("failed", None)
    assert done.stdout.splitlines()[-2].startswith("balance: failed: 2 done, 1 not done in ")
    suite = ET.parse(out / "junit.xml").getroot().find("testsuite")
    assert (suite.get("tests"), suite.get("failures"), suite.get("errors")) == ("3", "1", "0")


def job(outcome):
    return {"job": "job", "seconds": 1.0, "started": "2024-01-02T03:04:05",
            "step_results": [{"step": "Open", "action": "get_url", "outcome": "done", "seconds": 0.5},
                             {"step": "Press", "action": "Click", "outcome": outcome, "seconds": 0.25,
                              "error": "Message: gone\nStacktrace: ..." if outcome == "error" else None}]}


@pytest.mark.parametrize("outcome, verdict, counts", [
    ("done", [], ("2", "0", "0")),
    ("not done", [("failure", "not done", "not done")], ("2", "1", "0")),
    ("no action", [("failure", "no action", "no action")], ("2", "1", "0")),
    ("error", [("error", "Message: gone", "error")], ("2", "0", "1")),
    (None, [("failure", "unknown outcome", "unknown")], ("2", "1", "0")),
], ids=["done", "not done", "no action", "error", "no outcome"])
def test_junit_counts_every_outcome_but_done(tmp_path, outcome, verdict, counts):
    root = ET.parse(write_junit([job("done"), job(outcome)], tmp_path / "junit.xml")).getroot()
    first, second = root.findall("testsuite")
    press = second.findall("testcase")[1]
    assert [(c.tag, c.get("message"), c.get("type")) for c in press] == verdict
    assert [c for case in first for c in case] == []
    assert (second.get("tests"), second.get("failures"), second.get("errors")) == counts
    assert (root.get("tests"), root.get("failures"), root.get("errors")) == (
        str(2 + int(counts[0])), counts[1], counts[2])
