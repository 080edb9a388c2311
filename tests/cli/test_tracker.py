"""The runner follows a step run from outside: it hands the steps over one at
a time and wraps the routines in the module's namespace for the run.  The
module's printed lines stay as they are; the routines are put back."""
import re

from kestrelflow.cli.worker import CHECKED, Tracker, step_results


def steps(pages):
    return [["Open", "get_url", [], [], 0, [pages.url("steps_portal.html")]],
            ["Press", "Click", ["//button[@id='search-button']"], ["Search"], 0],   # misspelled
            ["Open receipt", "get_url", [], [], 0, ["receipt.html"]],               # raises
            ["Type", "input", ["//input[@id='search-box']"], [], 0, ["P-1"]]]


def lines_without_numbers(text):
    return [re.sub(r"\d+", "N", line) for line in text.splitlines()]


def test_outcomes_and_evidence_without_changing_the_run(gu, driver, pages, clock, capsys, tmp_path):
    originals = {name: getattr(gu, name) for name in CHECKED}
    gu.run_steps(driver, steps(pages), "Portal", str(tmp_path / "plain.csv"), str(tmp_path / "plain"),
                 "S", "x", sleep_time=0)
    plain = capsys.readouterr().out

    sent = []
    tracker = Tracker(gu, driver, steps(pages), tmp_path, lambda kind, payload: sent.append((kind, payload)))
    tracker.install()
    try:
        context, _ = tracker.run(lambda step: gu.run_steps(
            driver, [step], "Portal", str(tmp_path / "tracked.csv"), str(tmp_path / "tracked"), "S", "x",
            sleep_time=0))
    finally:
        tracker.restore()
    tracked = capsys.readouterr().out

    assert lines_without_numbers(tracked) == lines_without_numbers(plain.replace("plain", "tracked"))
    assert {name: getattr(gu, name) for name in originals} == originals
    names = ["Open", "Press", "Open receipt", "Type"]
    assert [(kind, payload["step"]) for kind, payload in sent] == [
        (kind, name) for name in names for kind in ("running", "step")]
    ended = [payload for kind, payload in sent if kind == "step"]
    assert [(m["outcome"], m["reason"]) for m in ended] == [
        ("done", None), ("no action", "'Click' is not an action (click, input, get_url, Scrap_data)"),
        ("error", ended[2]["reason"]), ("done", None)]
    assert [len(context["error_records"])] == [1]

    results = step_results(tracker, steps(pages))
    assert [r["outcome"] for r in results] == [m["outcome"] for m in ended]
    receipt = results[2]
    assert receipt["error"].startswith("invalid argument")
    assert receipt["reason"] == ("the browser refused the address 'receipt.html' "
                                 "(invalid argument: an address needs its scheme, such as https://)")
    for result in results[1:3]:
        assert (tmp_path / result["evidence"]["screenshot"]).read_bytes()[:4] == b"\x89PNG"
        assert "search-button" in (tmp_path / result["evidence"]["page_source"]).read_text()
    assert [r["evidence"] for r in (results[0], results[3])] == [None, None]
