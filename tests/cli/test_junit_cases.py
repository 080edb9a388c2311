"""The JUnit file as a CI server reads it: cases named after their steps, the
reason as the message, skipped steps, and evidence found from the file."""
import xml.etree.ElementTree as ET

from kestrelflow.cli.junit import write_junit


def step(name, outcome, reason=None, evidence=None):
    return {"step": name, "action": "click", "outcome": outcome, "reason": reason, "seconds": 1.0,
            "error": None, "url": "http://portal/", "evidence": evidence}


RESULT = {"job": "pay", "started": "2026-12-09T01:00:00", "seconds": 9.0, "reason": None, "step_results": [
    step("Open", "done"),
    step("Press", "not done", 'not found in time (TimeoutException); tried XPaths "//b"',
         {"screenshot": "failures/02.png", "page_source": "failures/02.html"}),
    step("Press", "done"),
    step("Press", "skipped", "an earlier step was not done (stop_on_failure)"),
]}


def test_cases_carry_the_steps_names_reasons_and_evidence(tmp_path):
    out, ci = tmp_path / "runs", tmp_path / "ci"
    write_junit([RESULT], ci / "junit.xml", out)
    root = ET.parse(ci / "junit.xml").getroot()
    assert (root.get("tests"), root.get("failures"), root.get("errors"), root.get("skipped")) == ("4", "1", "0", "1")
    cases = root.findall("testsuite/testcase")
    assert [(c.get("classname"), c.get("name")) for c in cases] == [
        ("pay", "Open"), ("pay", "Press"), ("pay", "Press (2)"), ("pay", "Press (3)")]
    failure = cases[1].find("failure")
    assert failure.get("message") == 'not found in time (TimeoutException); tried XPaths "//b"'
    # Paths from the JUnit file's folder, and absolute in the attachment lines.
    assert "screenshot: ../runs/pay/failures/02.png" in failure.text.splitlines()
    assert cases[1].findtext("system-out").splitlines() == [
        "[[ATTACHMENT|%s]]" % (out / "pay" / "failures" / name) for name in ("02.png", "02.html")]
    assert [child.tag for child in cases[2]] == []
    [skipped] = list(cases[3])
    assert (skipped.tag, skipped.get("message")) == ("skipped", "an earlier step was not done (stop_on_failure)")
