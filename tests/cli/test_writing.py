"""Every file the command writes is written whole through a temporary file of
its own name, so a leftover or a second writer's temporary file is no
obstacle."""
import pytest

from kestrelflow.cli import write_outputs
from kestrelflow.cli.junit import write_junit
from kestrelflow.cli.worker import Tracker
from kestrelflow.report import write_job_report

RESULT = {"job": "j", "status": "done", "reason": None, "started": "2026-01-01T10:00:00",
          "finished": "2026-01-01T10:00:01", "seconds": 1.0, "web_app": "W", "service": "S",
          "paths": {"csv": "timings.csv", "screenshots": "screenshots", "failures": "failures", "log": "output.log"},
          "step_results": [{"step": "s", "action": "click", "outcome": "done", "seconds": 1.0, "error": None,
                            "url": "", "evidence": None}], "data_extracted": []}


class PageDriver:
    """Answers the two questions evidence asks."""

    def get_screenshot_as_png(self):
        return b"\x89PNG\r\n\x1a\nrest"

    page_source = "<html>page</html>"


def write_evidence(folder):
    tracker = Tracker(None, PageDriver(), [], folder, lambda *a: None)
    tracker.prefix = "stamp"
    found = tracker.evidence({"index": 0, "step": "s"})
    assert "missing" not in found, found
    return [folder / found["screenshot"], folder / found["page_source"]]


WRITERS = {
    "run.json": lambda folder: write_outputs(folder, RESULT) or [folder / "run.json", folder / "report.html"],
    "report.html": lambda folder: [write_job_report(folder, RESULT)],
    "junit.xml": lambda folder: [write_junit([RESULT], folder / "junit.xml")],
    "evidence": write_evidence,
}


@pytest.mark.parametrize("writer", WRITERS)
def test_a_leftover_temporary_name_is_no_obstacle(writer, tmp_path):
    # What the last writer might have left, or another writer holds right now.
    for name in ("run.json", "report.html", "junit.xml", "failures/stamp_01_s.png", "failures/stamp_01_s.html"):
        (tmp_path / (name + ".partial")).mkdir(parents=True)
    written = WRITERS[writer](tmp_path)
    assert all(path.stat().st_size > 0 for path in written)
    leftovers = {p.relative_to(tmp_path).as_posix() for p in tmp_path.rglob("*.partial") if p.is_file()}
    assert leftovers == set()
