"""The run report: a run folder turned into one page, looked at in a real browser."""
import csv
import json
import subprocess
import sys

import pytest
from PIL import Image
from selenium.webdriver.common.by import By

from kestrelflow.report import write_report
from helpers import child_env

NEW, EARLIER = "rgb(9, 105, 218)", "rgb(140, 149, 159)"

# (step, resource, startTime, duration) as the timing export writes them: every
# step lists all the page's resources so far.
TIMINGS = [
    ("Open", "http://portal/a.css", 0, 100),
    ("Open", "http://portal/b.js", 50, 150),
    ("Search", "http://portal/a.css", 0, 100),
    ("Search", "http://portal/b.js", 50, 150),
    ("Search", "http://portal/api/search.json?plot=7", 400, 100),
]


def png(path, size, colour):
    path.parent.mkdir(parents=True, exist_ok=True)
    Image.new("RGB", size, colour).save(path)


@pytest.fixture
def run_folder(tmp_path):
    shots = tmp_path / "screenshots"
    png(shots / "Portal - Open" / "Open_20250101_090000.png", (160, 90), "red")
    png(shots / "Portal - Search" / "Search_20250101_090001.png", (160, 90), "red")
    png(shots / "Portal - Search" / "Search_20250101_090500.png", (320, 180), "blue")  # a rerun
    with open(tmp_path / "network_timings.csv", "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["name", "initiatorType", "duration", "transferSize", "responseStatus",
                         "startTime", "Step Type", "Action Type", "time_date"])
        for step, name, start, duration in TIMINGS:
            writer.writerow([name, "fetch", duration, 300, 200, start, step, step,
                             "2025-01-01 09:00:00"])
    (tmp_path / "error_records.json").write_text(json.dumps({
        "web_app_name": "Portal", "service_name": "Land search",
        "steps": ["Open", "Search", "Pay"],
        "error_records": [{"ServiceName": "Land search - Pay", "URL": "http://portal/#pay",
                           "Error": "Message: no such element\nStacktrace:\n#0 0x55 <unknown>"}]}))
    return tmp_path


@pytest.fixture
def report(driver, run_folder):
    driver.get(write_report(run_folder).as_uri())
    return driver


def section(driver, name):
    [found] = [s for s in driver.find_elements(By.CSS_SELECTOR, "section.step")
               if s.find_element(By.CLASS_NAME, "name").text == name]
    return found


def test_failed_steps_come_first_with_their_error(report):
    sections = report.find_elements(By.CSS_SELECTOR, "section.step")
    assert [(s.find_element(By.CLASS_NAME, "badge").text, s.find_element(By.CLASS_NAME, "name").text)
            for s in sections] == [("FAILED", "Pay"), ("PASSED", "Open"), ("PASSED", "Search")]
    assert [t.text for t in report.find_elements(By.CSS_SELECTOR, ".tally span")] == ["1 failed", "2 passed"]
    pay = section(report, "Pay")
    assert pay.find_element(By.CLASS_NAME, "error").text == "Message: no such element\nat http://portal/#pay"
    assert [p.text for p in pay.find_elements(By.CLASS_NAME, "none")] == [
        "No screenshot: the step ended before its evidence was taken.",
        "No resource timings were recorded for this step."]


def test_screenshots_load_inline_and_enlarge_on_click(report):
    thumbs = report.find_elements(By.CSS_SELECTOR, ".shot > a > img")
    assert len(thumbs) == 2
    for img in thumbs:
        assert img.get_attribute("src").startswith("data:image/png;base64,")
        assert report.execute_script("return arguments[0].complete && arguments[0].naturalWidth", img) > 0
    # The newest screenshot of a step is the one shown.
    search = section(report, "Search").find_element(By.CSS_SELECTOR, ".shot > a > img")
    assert report.execute_script("return arguments[0].naturalWidth", search) == 320

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
                              capture_output=True, text=True, timeout=120, env=child_env())

    done = run(str(run_folder))
    assert (done.returncode, done.stdout) == (0, "Report written to %s\n" % (run_folder / "report.html"))
    missing = run(str(tmp_path / "nowhere"))
    assert (missing.returncode, missing.stderr) == (1, "No such folder: %s\n" % (tmp_path / "nowhere"))
    assert run().returncode == 2
