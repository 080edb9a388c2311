"""The run report: a job folder turned into one page, looked at in a real browser."""
import csv
import json
import os
import subprocess
import sys
import time

import pytest
from PIL import Image
from selenium.webdriver.common.by import By

from kestrelflow.report import write_job_report, write_run_report
from helpers import HANG, child_env

NEW, EARLIER = "rgb(9, 105, 218)", "rgb(140, 149, 159)"
STAMP = "%Y-%m-%d %H:%M:%S"
# The run's window, and an earlier run's rows and screenshots left in the same files.
STARTED = time.mktime((2025, 1, 1, 9, 0, 0, 0, 0, -1))
FINISHED = STARTED + 60
EARLIER_RUN = STARTED - 3600

# (step, resource, startTime, duration) as the timing export writes them: every
# step lists all the page's resources so far.
TIMINGS = [
    ("Open", "http://portal/a.css", 0, 100),
    ("Open", "http://portal/b.js", 50, 150),
    ("Search", "http://portal/a.css", 0, 100),
    ("Search", "http://portal/b.js", 50, 150),
    ("Search", "http://portal/api/search.json?plot=7", 400, 100),
]
HOSTILE = "<img src=x onerror=alert(1)>"
RESULTS = [
    {"step": "Open", "action": "get_url", "outcome": "done", "seconds": 1.5, "error": None, "url": "http://portal/"},
    {"step": "Search", "action": "click", "outcome": "done", "seconds": 2.0, "error": None, "url": "http://portal/"},
    {"step": "Read fee", "action": "Scrap_data", "outcome": "not done", "seconds": 9.0, "error": None,
     "reason": "nothing was read from the XPaths \"//p[@id='fee']\"", "url": "http://portal/#fees", "evidence": {"screenshot": "failures/03_Read_fee.png",
                                                "page_source": "failures/03_Read_fee.html"}},
    {"step": "Pay", "action": "click", "outcome": "error", "seconds": 0.1, "url": "http://portal/#pay",
     "error": "Message: no such element\nStacktrace:\n#0 0x55 <unknown>",
     "evidence": {"screenshot": "failures/04_Pay.png", "page_source": "failures/04_Pay.html"}},
    {"step": HOSTILE, "action": "Click", "outcome": "no action", "seconds": 0.0, "error": None,
     "url": "http://portal/?q=" + HOSTILE},
    {"step": "Print", "action": "click", "outcome": "skipped", "seconds": 0.0, "error": None, "url": "",
     "reason": "an earlier step was not done (stop_on_failure)"},
]


def png(path, size, colour, when):
    path.parent.mkdir(parents=True, exist_ok=True)
    Image.new("RGB", size, colour).save(path)
    os.utime(path, (when, when))


def write_timings(path, rows_by_time):
    with open(path, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["name", "initiatorType", "duration", "transferSize", "responseStatus",
                         "startTime", "Step Type", "Action Type", "time_date"])
        for when, rows in rows_by_time:
            for step, name, start, duration in rows:
                writer.writerow([name, "fetch", duration, 300, 200, start, step, step,
                                 time.strftime(STAMP, time.localtime(when))])


@pytest.fixture
def run_folder(tmp_path):
    shots = tmp_path / "screenshots"
    png(shots / "Portal - Open" / "Open_1.png", (160, 90), "red", STARTED + 2)
    png(shots / "Portal - Search" / "Search_1.png", (320, 180), "blue", STARTED + 5)
    png(shots / "Portal - Search" / "Search_0.png", (640, 360), "red", EARLIER_RUN)  # an earlier run
    png(shots / "Portal - Open" / "Open_0.png", (640, 360), "red", STARTED - 0.5)  # one that just ended
    png(tmp_path / "failures" / "03_Read_fee.png", (200, 100), "orange", STARTED + 10)
    png(tmp_path / "failures" / "04_Pay.png", (200, 100), "black", STARTED + 12)
    (tmp_path / "failures" / "03_Read_fee.html").write_text("<html>fees</html>")
    (tmp_path / "failures" / "04_Pay.html").write_text("<html>pay</html>")
    earlier = [("Search", "http://portal/old.js", 0, 999), ("Gone", "http://portal/old.css", 0, 5)]
    just_ended = [("Open", "http://portal/late.js", 0, 7)]  # stamped the second before this run
    write_timings(tmp_path / "timings.csv", [(EARLIER_RUN, earlier), (STARTED - 1, just_ended),
                                             (STARTED + 2, TIMINGS[:2]), (STARTED + 5, TIMINGS[2:])])
    run = {"job": "land-search", "service": "Land search", "web_app": "Portal", "status": "failed",
           "reason": None, "started": time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(STARTED)),
           "finished": time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(FINISHED)),
           "paths": {"csv": "timings.csv", "screenshots": "screenshots", "failures": "failures"},
           "step_results": RESULTS}
    (tmp_path / "run.json").write_text(json.dumps(run))
    return tmp_path


@pytest.fixture
def report(driver, run_folder):
    driver.get(write_job_report(run_folder).as_uri())
    return driver


def section(driver, name):
    [found] = [s for s in driver.find_elements(By.CSS_SELECTOR, "section.step")
               if s.find_element(By.CLASS_NAME, "name").text == name]
    return found


def test_steps_that_were_not_done_come_first_with_their_evidence(report):
    sections = report.find_elements(By.CSS_SELECTOR, "section.step")
    assert [(s.find_element(By.CLASS_NAME, "badge").text, s.find_element(By.CLASS_NAME, "name").text)
            for s in sections] == [("NOT DONE", "Read fee"), ("ERROR", "Pay"), ("NO ACTION", HOSTILE),
                                   ("SKIPPED", "Print"), ("DONE", "Open"), ("DONE", "Search")]
    assert [t.text for t in report.find_elements(By.CSS_SELECTOR, ".tally span")] == [
        "2 done", "1 not done", "1 no action", "1 error", "1 skipped"]
    assert [(section(report, name).find_element(By.CLASS_NAME, "why").text) for name in ("Read fee", "Print")] == [
        "Why: nothing was read from the XPaths \"//p[@id='fee']\"",
        "Why: an earlier step was not done (stop_on_failure)"]
    pay = section(report, "Pay")
    assert pay.find_element(By.CLASS_NAME, "error").text == "Message: no such element\nat http://portal/#pay"
    for name, width in (("Read fee", 200), ("Pay", 200)):
        evidence = section(report, name).find_element(By.CSS_SELECTOR, ".evidence > div > a > img")
        assert report.execute_script("return arguments[0].naturalWidth", evidence) == width
    assert pay.find_element(By.CSS_SELECTOR, ".source a").get_attribute("href").endswith("/failures/04_Pay.html")
    assert [p.text for p in pay.find_elements(By.CLASS_NAME, "none")] == [
        "No screenshot: the step ended before its evidence was taken.",
        "No resource timings were recorded for this step."]


def test_what_pages_and_callers_gave_is_shown_as_text(report):
    hostile = section(report, HOSTILE)
    assert hostile.find_element(By.CLASS_NAME, "error").text == "at http://portal/?q=" + HOSTILE
    assert report.find_elements(By.CSS_SELECTOR, "img[src=x]") == []


def test_only_the_runs_own_rows_and_screenshots_are_shown(report):
    names = [s.find_element(By.CLASS_NAME, "name").text for s in report.find_elements(By.CSS_SELECTOR, "section.step")]
    assert "Gone" not in names
    for step, earlier_row, width in (("Search", "old.js", 320), ("Open", "late.js", 160)):
        shown = section(report, step)
        assert earlier_row not in shown.text
        img = shown.find_element(By.CSS_SELECTOR, ".shot > a > img")
        assert report.execute_script("return arguments[0].naturalWidth", img) == width


def test_screenshots_load_inline_and_enlarge_on_click(report):
    thumbs = report.find_elements(By.CSS_SELECTOR, ".shot > a > img")
    assert len(thumbs) == 2
    for img in thumbs:
        assert img.get_attribute("src").startswith("data:image/png;base64,")
        assert report.execute_script("return arguments[0].complete && arguments[0].naturalWidth", img) > 0
    search = section(report, "Search").find_element(By.CSS_SELECTOR, ".shot > a > img")
    enlarged = section(report, "Search").find_element(By.CSS_SELECTOR, ".lightbox img")
    assert not enlarged.is_displayed()
    search.click()
    assert enlarged.is_displayed()
    assert enlarged.size["width"] > search.size["width"]


def test_waterfall_bars_are_drawn_to_the_timings(report):
    for step in ("Open", "Search"):
        rows = [(name, start, duration) for s, name, start, duration in TIMINGS if s == step]
        svg = section(report, step).find_element(By.CSS_SELECTOR, "svg.waterfall")
        bars = svg.find_elements(By.CSS_SELECTOR, "rect.bar")
        assert [bar.get_attribute("data-name") for bar in bars] == [name for name, _, _ in rows]
        # Bars measured on screen: their lengths and offsets keep the CSV's
        # proportions, and the last one to end reaches the axis end.
        boxes = [report.execute_script("var r = arguments[0].getBoundingClientRect();"
                                       "return [r.left, r.width];", bar) for bar in bars]
        end = max(start + duration for _, start, duration in rows)
        origin, scale = boxes[0][0], boxes[0][1] / rows[0][2]
        for (left, width), (_, start, duration) in zip(boxes, rows):
            assert width == pytest.approx(duration * scale, rel=0.02)
            assert left - origin == pytest.approx(start * scale, abs=1)
        assert max(left + width for left, width in boxes) - origin == pytest.approx(end * scale, abs=1)
    # Requests new since the previous step stand out.
    search_bars = section(report, "Search").find_elements(By.CSS_SELECTOR, "rect.bar")
    assert [report.execute_script("return getComputedStyle(arguments[0]).fill", bar)
            for bar in search_bars] == [EARLIER, EARLIER, NEW]


def test_the_page_needs_nothing_from_outside(report):
    assert report.find_elements(By.TAG_NAME, "script") == []
    sources = [e.get_attribute("src") or e.get_attribute("href")
               for e in report.find_elements(By.CSS_SELECTOR, "[src], link[href]")]
    assert sources and all(s.startswith("data:") for s in sources)


def test_command_line(run_folder, tmp_path):
    def run(*args):
        return subprocess.run([sys.executable, "-m", "kestrelflow.report", *args],
                              capture_output=True, text=True, timeout=HANG, env=child_env())

    done = run(str(run_folder))
    assert (done.returncode, done.stdout) == (0, "Report written to %s\n" % (run_folder / "report.html"))
    missing = run(str(tmp_path / "nowhere"))
    assert (missing.returncode, missing.stderr) == (1, "No such folder: %s\n" % (tmp_path / "nowhere"))
    (tmp_path / "empty").mkdir()
    empty = run(str(tmp_path / "empty"))
    assert empty.returncode == 1 and empty.stderr.startswith("No run.json in %s" % (tmp_path / "empty"))
    assert run().returncode == 2


@pytest.mark.parametrize("context, expected", [
    ({"step_results": RESULTS[:2]}, [("DONE", "Open"), ("DONE", "Search")]),
    # A context without step results: the steps of the CSV, outcome unknown, and the failed ones.
    ({"error_records": [{"ServiceName": "Land search - Pay", "URL": "u", "Error": "boom"}]},
     [("ERROR", "Pay"), ("UNKNOWN", "Open"), ("UNKNOWN", "Search")]),
])
def test_a_report_from_what_run_steps_returned(driver, run_folder, tmp_path, context, expected):
    path = write_run_report(context, run_folder / "timings.csv", run_folder / "screenshots", "Portal",
                            "Land search", tmp_path / "out" / "report.html",
                            started=STARTED, finished=FINISHED)
    assert path == tmp_path / "out" / "report.html"
    driver.get(path.as_uri())
    sections = driver.find_elements(By.CSS_SELECTOR, "section.step")
    assert [(s.find_element(By.CLASS_NAME, "badge").text, s.find_element(By.CLASS_NAME, "name").text)
            for s in sections] == expected
    search = section(driver, "Search")
    assert len(search.find_elements(By.CSS_SELECTOR, "rect.bar")) == 3
    assert len(search.find_elements(By.CSS_SELECTOR, ".shot > a > img")) == 1
