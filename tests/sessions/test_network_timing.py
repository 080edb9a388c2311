"""Resource timings appended to CSV, and the per-step export with its screenshot."""
import csv
import datetime as real_datetime
import os
import time

import pytest
from selenium.webdriver.support.ui import WebDriverWait

from fakes import FakeDriver, FakeElement
from helpers import Unwritable, child_env

HEADER = ["name", "initiatorType", "duration", "decodedBodySize", "transferSize",
          "responseStatus", "startTime", "responseEnd", "connectEnd", "connectStart",
          "contentType", "domainLookupEnd", "domainLookupStart", "fetchStart",
          "nextHopProtocol", "requestStart", "responseStart", "secureConnectionStart",
          "serverTiming", "unloadEventEnd", "unloadEventStart", "workerStart",
          "Step Type", "Action Type", "time_date", "Total_Response_time"]
NOW = "2024-01-02 03:04:05"
RESOURCES = ["evidence_style.css", "evidence_script.js", "evidence_dot.svg", "evidence_missing.svg"]

pytestmark = pytest.mark.filterwarnings("ignore:mss.mss is deprecated:DeprecationWarning")


@pytest.fixture(autouse=True)
def fixed_now(gu, monkeypatch):
    """NOW is the module's time of day."""
    class FixedDatetime(real_datetime.datetime):
        @classmethod
        def now(cls, tz=None):
            return cls(2024, 1, 2, 3, 4, 5)

    monkeypatch.setattr(gu, "datetime", FixedDatetime)


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def resources_page(driver, pages):
    """The page with its four resources, once the browser has recorded the
    timings of all four (it may record them after the page's load event)."""
    driver.get(pages.url("evidence_resources.html"))
    WebDriverWait(driver, 30, poll_frequency=0.05).until(
        lambda d: d.execute_script("return performance.getEntriesByType('resource').length")
        >= len(RESOURCES))


def test_csv_gets_the_header_once_then_appended_rows(gu, driver, pages, tmp_path, out):
    resources_page(driver, pages)
    path = str(tmp_path / "timings.csv")
    assert gu.extract_performance_logs_and_append_to_csv(driver, path, "open form", "click") is None
    assert gu.extract_performance_logs_and_append_to_csv(driver, path, "save form", "input") is None
    assert out() == ["Data appended to " + path] * 2

    header, *rows = read_rows(path)
    assert header == HEADER
    assert len(rows) == 2 * len(RESOURCES)
    assert all(len(row) == 26 for row in rows)
    records = [dict(zip(HEADER, row)) for row in rows]
    assert [r["Step Type"] for r in records] == ["open form"] * 4 + ["save form"] * 4
    assert [r["Action Type"] for r in records] == ["click"] * 4 + ["input"] * 4
    assert {r["time_date"] for r in records} == {NOW}
    assert sorted(r["name"] for r in records[:4]) == sorted(pages.url(n) for n in RESOURCES)
    by_name = {r["name"].rsplit("/", 1)[1]: r for r in records[:4]}
    assert by_name["evidence_dot.svg"]["initiatorType"] == "img"
    assert by_name["evidence_script.js"]["initiatorType"] == "script"
    assert by_name["evidence_dot.svg"]["responseStatus"] == "200"
    assert by_name["evidence_missing.svg"]["responseStatus"] == "404"
    for r in records:
        assert float(r["duration"]) > 0 and r["Total_Response_time"] == r["duration"]
        # Resource entries carry no unload times.
        assert r["unloadEventEnd"] == r["unloadEventStart"] == "N/A"


def test_absent_entry_values_take_their_defaults(gu, driver, pages, tmp_path, out):
    driver.get(pages.url("basic.html"))
    driver.execute_script("""
        performance.getEntriesByType = () => [
            {name: 'http://host/full.png', initiatorType: 'img', duration: 12.5,
             decodedBodySize: 7, transferSize: 300, responseStatus: 200, startTime: 1.5,
             responseEnd: 14, connectEnd: 2, connectStart: 1, contentType: 'image/png',
             domainLookupEnd: 1, domainLookupStart: 0.5, fetchStart: 0.25,
             nextHopProtocol: 'h2', requestStart: 3, responseStart: 4,
             secureConnectionStart: 1.25, serverTiming: 'x', unloadEventEnd: 9,
             unloadEventStart: 8, workerStart: 6},
            {name: 'http://host/bare.js'}];""")
    path = str(tmp_path / "t.csv")
    gu.extract_performance_logs_and_append_to_csv(driver, path, "step", "action")
    assert read_rows(path) == [
        HEADER,
        ["http://host/full.png", "img", "12.5", "7", "300", "200", "1.5", "14.0", "2", "1",
         "image/png", "1", "0.5", "0.25", "h2", "3", "4", "1.25", "x", "9", "8", "6",
         "step", "action", NOW, "12.5"],
        ["http://host/bare.js", "", "", "0", "0", "N/A", "", "", "N/A", "N/A",
         "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A",
         "step", "action", NOW, ""],
    ]


def append_to_kept_and_new(gu, driver, tmp_path):
    """Appends to a CSV holding earlier rows, then to one not there yet."""
    kept, new = tmp_path / "kept.csv", tmp_path / "new.csv"
    kept.write_text("earlier rows\n")
    for path in (kept, new):
        assert gu.extract_performance_logs_and_append_to_csv(driver, str(path), "s", "a") is None
    return kept, new


def test_script_error_prints_the_bare_line_and_writes_nothing(gu, driver, pages, tmp_path, out):
    driver.get(pages.url("basic.html"))
    driver.execute_script("performance.getEntriesByType = undefined;")
    kept, new = append_to_kept_and_new(gu, driver, tmp_path)
    assert out() == ["Error fetching performance logs: "] * 2
    assert kept.read_text() == "earlier rows\n"
    assert not new.exists()


def test_no_entries_write_nothing_and_say_so(gu, driver, pages, tmp_path, out):
    resources_page(driver, pages)
    driver.execute_script("performance.clearResourceTimings();")
    kept, new = append_to_kept_and_new(gu, driver, tmp_path)
    assert out() == ["No resource timing entries to append to " + str(kept),
                     "No resource timing entries to append to " + str(new)]
    assert kept.read_text() == "earlier rows\n"
    assert not new.exists()


def test_export_stores_the_screenshot_under_base_and_service(gu, driver, pages, tmp_path, clock, out):
    clock.strftime = lambda fmt, *when: time.strftime(fmt, (2024, 1, 2, 3, 4, 5, 1, 2, -1))
    resources_page(driver, pages)
    base, service = str(tmp_path / "evidence"), "Land App - open form"
    path = str(tmp_path / "timings.csv")
    assert gu.export_network_logs(driver, service, "unused", path, "open form", "click", base) is None
    shot = os.path.join(base + "/" + service, "open_form_20240102_030405.png")
    assert out() == ["save_path======> " + shot,
                     "Capturing screenshot using Selenium WebDriver...",
                     "Screenshot saved to " + shot,
                     "Data appended to " + path]
    assert os.path.getsize(shot) > 0
    header, *rows = read_rows(path)
    assert header == HEADER and len(rows) == len(RESOURCES)
    assert {(r[22], r[23]) for r in rows} == {("open form", "click")}


def test_timing_script_text_is_exact(gu, tmp_path, out):
    recorder = FakeDriver({"body": [FakeElement()]}, script_answer=[])
    gu.extract_performance_logs_and_append_to_csv(recorder, str(tmp_path / "x.csv"), "s", "a")
    assert recorder.scripts == [
        "\n            var performance = window.performance || window.mozPerformance || "
        "window.msPerformance || window.webkitPerformance || {};\n"
        "            return performance.getEntriesByType('resource');\n            "]


# ---- the timing file as evidence: appends that cannot damage it ----------------------

HEADER_LINE = ",".join(HEADER) + "\n"
ENTRIES = [{"name": "http://host/a.css", "initiatorType": "link", "duration": 1.5},
           {"name": "http://host/b.js", "initiatorType": "script", "duration": 2.25}]
NA14 = ",".join(["N/A"] * 14)
ROWS = (f"http://host/a.css,link,1.5,0,0,N/A,,,{NA14},s,a,{NOW},1.5\n"
        f"http://host/b.js,script,2.25,0,0,N/A,,,{NA14},s,a,{NOW},2.25\n")
EARLIER = "http://host/old.png,img,3.0" + ",0" * 2 + ",N/A,,," + NA14 + f",old,click,{NOW},3.0"


def timing_driver(entries=ENTRIES):
    return FakeDriver({"body": [FakeElement()]}, script_answer=entries)


@pytest.mark.parametrize("before, after", [
    pytest.param("", HEADER_LINE + ROWS, id="empty file gets its header"),
    pytest.param(HEADER_LINE + EARLIER, HEADER_LINE + EARLIER + "\n" + ROWS,
                 id="last row without newline"),
    pytest.param(HEADER_LINE[:-1], HEADER_LINE + ROWS, id="header without newline"),
    pytest.param(HEADER_LINE + EARLIER + "\n", HEADER_LINE + EARLIER + "\n" + ROWS,
                 id="whole lines"),
    pytest.param(HEADER_LINE.replace("\n", "\r\n") + EARLIER + "\r\n",
                 HEADER_LINE.replace("\n", "\r\n") + EARLIER + "\r\n" + ROWS,
                 id="windows line ends"),
])
def test_rows_start_on_a_line_of_their_own(gu, tmp_path, out, before, after):
    path = tmp_path / "t.csv"
    path.write_bytes(before.encode())
    assert gu.extract_performance_logs_and_append_to_csv(timing_driver(), str(path), "s", "a") is None
    assert path.read_bytes() == after.encode()
    assert out() == ["Data appended to " + str(path)]
    assert len(pd_read(path)) == after.count("\n") - 1


def pd_read(path):
    import pandas
    return pandas.read_csv(path)


@pytest.mark.parametrize("before", [
    pytest.param("id,value\n1,2\n", id="another table"),
    pytest.param(",".join(HEADER[:-1]) + "\n", id="one column short"),
    pytest.param("earlier rows", id="no header at all"),
])
def test_a_file_with_another_header_is_left_alone(gu, tmp_path, out, before):
    path = tmp_path / "t.csv"
    path.write_bytes(before.encode())
    assert gu.extract_performance_logs_and_append_to_csv(timing_driver(), str(path), "s", "a") is None
    assert path.read_bytes() == before.encode()
    assert out() == ["⚠️ Timing rows not appended: " + str(path) + " starts with another header"]


def test_a_new_file_is_written_whole(gu, tmp_path, out):
    path = tmp_path / "t.csv"
    gu.extract_performance_logs_and_append_to_csv(timing_driver(), str(path), "s", "a")
    assert path.read_bytes() == (HEADER_LINE + ROWS).encode()


@pytest.fixture
def unwritable():
    """unwritable(path): the file or folder can no longer be written, by root
    either (see helpers.Unwritable)."""
    lock = Unwritable()
    yield lock
    lock.end()


@pytest.mark.parametrize("make, error", [
    pytest.param(lambda p, lock: (p.mkdir(), p)[1], IsADirectoryError, id="path is a folder"),
    pytest.param(lambda p, lock: p / "missing" / "t.csv", FileNotFoundError, id="missing folder"),
    pytest.param(lambda p, lock: (p.write_text(HEADER_LINE + EARLIER), lock(p), p)[-1],
                 PermissionError, id="unwritable file"),
    pytest.param(lambda p, lock: (p.mkdir(), lock(p), p / "t.csv")[-1],
                 PermissionError, id="unwritable folder"),
])
def test_unusable_paths_raise_and_change_nothing(gu, tmp_path, out, unwritable, make, error):
    reason = Unwritable.available(tmp_path) if error is PermissionError else ""
    if reason:
        pytest.skip(reason)
    path = make(tmp_path / "target", unwritable)
    snapshot = {p: (p.read_bytes() if p.is_file() else None) for p in tmp_path.rglob("*")}
    with pytest.raises(error):
        gu.extract_performance_logs_and_append_to_csv(timing_driver(), str(path), "s", "a")
    assert {p: (p.read_bytes() if p.is_file() else None) for p in tmp_path.rglob("*")} == snapshot
    assert out() == []


# A child process with a file size limit: a write past it fails part-way
# with EFBIG (SIGXFSZ ignored), as on a full disk.
SIZE_LIMITED = r"""
import errno, os, resource, signal, sys
sys.path.insert(0, sys.argv[1])
import datetime as real_datetime
import kestrelflow.generic_utility as gu
from fakes import FakeDriver, FakeElement

class FixedDatetime(real_datetime.datetime):
    @classmethod
    def now(cls, tz=None):
        return cls(2024, 1, 2, 3, 4, 5)

gu.datetime = FixedDatetime
path, limit = sys.argv[2], int(sys.argv[3])
entries = [{"name": "http://host/%d.png" % i, "initiatorType": "img", "duration": 1.5}
           for i in range(int(sys.argv[4]))]
driver = FakeDriver({"body": [FakeElement()]}, script_answer=entries)
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))
try:
    gu.extract_performance_logs_and_append_to_csv(driver, path, "big", "a")
except OSError as e:
    print("raised", errno.errorcode[e.errno])
resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
driver.script_answer = entries[:1]
gu.extract_performance_logs_and_append_to_csv(driver, path, "s", "a")
"""


@pytest.mark.parametrize("before", [
    pytest.param(None, id="new file"),
    pytest.param(HEADER_LINE + EARLIER, id="file with rows"),
])
def test_a_write_failing_part_way_leaves_the_file_as_it_was(tmp_path, before):
    import subprocess
    import sys
    path = tmp_path / "t.csv"
    if before is not None:
        path.write_bytes(before.encode())
    tests = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    limit = len(HEADER_LINE) + len(EARLIER) + 700
    done = subprocess.run([sys.executable, "-c", SIZE_LIMITED, tests, str(path), str(limit), "40"],
                          capture_output=True, text=True, timeout=1800, env=child_env())
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["raised EFBIG", "Data appended to " + str(path)]
    row = f"http://host/0.png,img,1.5,0,0,N/A,,,{NA14},s,a,{NOW},1.5\n"
    kept = HEADER_LINE if before is None else before + "\n"
    assert path.read_text() == kept + row


def test_three_quick_exports_of_one_step_keep_three_screenshots(gu, tmp_path, clock, out):
    clock.strftime = lambda fmt, *when: time.strftime(fmt, (2024, 1, 2, 3, 4, 5, 1, 2, -1))
    base, path = str(tmp_path / "evidence"), str(tmp_path / "t.csv")
    for _ in range(3):
        gu.export_network_logs(timing_driver(), "svc", "unused", path, "s", "a", base)
    shots = [os.path.join(base + "/svc", "s_20240102_030405" + tail + ".png")
             for tail in ("", "_2", "_3")]
    assert [line for line in out() if line.startswith("Screenshot saved")] == \
        ["Screenshot saved to " + shot for shot in shots]
    assert sorted(os.listdir(base + "/svc")) == sorted(os.path.basename(s) for s in shots)
    assert read_rows(path)[1:] == [row.split(",") for row in ROWS.splitlines()] * 3
