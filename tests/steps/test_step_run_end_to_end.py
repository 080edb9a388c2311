"""A whole step run on a real page with the module's own routines: open the
page, type, click, read the application number and the language, and export a
screenshot and the network timings after every step."""
import pandas as pd

import kestrelflow.generic_utility as gu
from helpers import sleeps_until

TIMING_COLUMNS = [
    "name", "initiatorType", "duration", "decodedBodySize", "transferSize", "responseStatus",
    "startTime", "responseEnd", "connectEnd", "connectStart", "contentType", "domainLookupEnd",
    "domainLookupStart", "fetchStart", "nextHopProtocol", "requestStart", "responseStart",
    "secureConnectionStart", "serverTiming", "unloadEventEnd", "unloadEventStart", "workerStart",
    "Step Type", "Action Type", "time_date", "Total_Response_time",
]


def test_a_search_run_on_a_real_page(driver, pages, clock, out, tmp_path):
    url = pages.url("steps_portal.html")
    steps = [
        ["Open portal", "get_url", [], [], 10, [url]],
        ["Type plot", "input", ["//input[@id='search-box']"], [], 20, ["P-1234"]],
        ["Press search", "click", ["//button[@id='search-button']"], ["Search"], 30],
        ["Scrap Application_number", "Scrap_data", ["//p[@id='application']"], [], 40],
        ["Detect_language", "Scrap_data", ["//p[@id='status-ar']"], [], 50],
    ]
    names = [step[0] for step in steps]
    shots, timings = tmp_path / "shots", tmp_path / "timings.csv"
    try:
        context, data = gu.run_steps(driver, steps, "Portal", str(timings), str(shots),
                                     "Search service", "unused")

        results = context.pop("step_results")
        assert context == {"switch_lang": True, "app_cancel_No": None, "error_records": []}
        assert [(r["step"], r["outcome"], r["url"]) for r in results] == [
            (name, "done", url) for name in names]
        assert data == [{"step": "Scrap Application_number", "value": "Application-20250012345"},
                        {"step": "Detect_language", "value": "تم استلام طلبكم بنجاح"}]
        assert gu.App_number == "20250012345"
    finally:
        vars(gu).pop("App_number", None)

    # The page saw the typing and the click.
    assert driver.find_element("id", "search-box").get_attribute("value") == "P-1234"
    assert driver.find_element("id", "query").text == "Results for P-1234"

    lines = out()
    assert not [line for line in lines if line.startswith("⚠️ Error during")]
    for line in ("🌐 Navigated to: " + url, "✅ Extracted App Number: 20250012345",
                 "lang ===> Arabic | switch_lang ===> True"):
        assert line in lines
    assert [line for line in lines if line.startswith("=== STEP: ")] == [
        "=== STEP: %s ===" % name for name in names]

    # Each step's delay then sleep_time; the input routine pauses 1 s before typing.
    assert clock.sleeps == [10, 0.5, 1, 20, 0.5, 30, 0.5, 40, 0.5, 50, 0.5]

    # One screenshot per step, in a folder named by the export label.
    for name in names:
        [png] = (shots / ("Portal - " + name)).iterdir()
        assert png.name.startswith(name.replace(" ", "_") + "_") and png.suffix == ".png"
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"

    # The timing rows of every step, under one header.
    table = pd.read_csv(timings)
    assert list(table.columns) == TIMING_COLUMNS
    assert list(dict.fromkeys(table["Step Type"])) == names
    assert (table["Step Type"] == table["Action Type"]).all()
    for _, rows in table.groupby("Step Type"):
        assert rows["name"].str.endswith("/steps_portal.css").any()


def test_a_run_on_a_browser_that_has_gone_returns_its_records(pages, clock, out, tmp_path):
    from kestrelflow.local_browser import open_chrome

    gone = open_chrome(headless=True)
    gone.quit()  # as after a crash: every command now fails
    url = pages.url("steps_portal.html")
    steps = [["Open portal", "get_url", [], [], 1, [url]],
             ["Press search", "click", ["//button[@id='search-button']"], ["Search"], 2],
             ["Read", "Scrap_data", ["//p[@id='application']"], [], 3]]
    context, data = gu.run_steps(gone, steps, "Portal", str(tmp_path / "t.csv"),
                                 str(tmp_path / "shots"), "Search service", "unused")

    # Each step fails at its first command (the export at the latest), is
    # recorded with an empty URL (the navigation with the address it asked
    # for), and the run reaches its end.
    urls = [url, "", ""]
    assert [(r["step"], r["outcome"], r["url"]) for r in context["step_results"]] == [
        (step[0], "error", u) for step, u in zip(steps, urls)]
    assert [(r["ServiceName"], r["URL"]) for r in context["error_records"]] == [
        ("Search service - " + step[0], u) for step, u in zip(steps, urls)]
    assert data == [{"step": "Read", "value": False}]


def test_a_step_whose_screenshot_cannot_be_written_is_recorded_as_failed(driver, pages, clock,
                                                                         out, tmp_path):
    url = pages.url("steps_portal.html")
    # A slash in the step name names a folder that is not there.
    steps = [["Open a/b", "get_url", [], [], 0, [url]],
             ["Open portal", "get_url", [], [], 0, [url]]]
    shots, timings = tmp_path / "shots", tmp_path / "timings.csv"
    context, data = gu.run_steps(driver, steps, "Portal", str(timings), str(shots),
                                 "Search service", "unused")
    assert [r["outcome"] for r in context["step_results"]] == ["error", "done"]
    [record] = context["error_records"]
    assert record["ServiceName"] == "Search service - Open a/b"
    assert record["Error"].startswith("[Errno 2] No such file or directory: ")
    lines = out()
    assert [line for line in lines if line.startswith("⚠️ Error during")] == [
        "⚠️ Error during 'Open a/b': " + record["Error"]]
    saved = [line for line in lines if line.startswith("Screenshot saved")]
    assert len(saved) == 1 and "Open_portal_" in saved[0]
    assert [p.name[:12] for p in shots.rglob("*") if p.is_file()] == ["Open_portal_"]
    assert list(dict.fromkeys(pd.read_csv(timings)["Step Type"])) == ["Open portal"]


def test_an_input_step_types_into_a_field_that_unlocks_before_its_input_delay_ends(
        driver, pages, clock, out, tmp_path):
    url = pages.url("interaction_input.html") + "?unlock_after=1000"
    steps = [["Open form", "get_url", [], [], 0, [url]],
             ["Type name", "input", ["//input[@id='later']"], [], 0, ["Mona"]]]
    # Only the input delay (1 s) lasts as long as the page's own timer.
    sleeps_until(clock, driver, "return !document.getElementById('later').readOnly",
                 when=lambda seconds: seconds == 1)
    context, data = gu.run_steps(driver, steps, "Form", str(tmp_path / "t.csv"),
                                 str(tmp_path / "shots"), "Form service", "unused")
    assert [r["outcome"] for r in context["step_results"]] == ["done", "done"]
    assert driver.find_element("id", "later").get_attribute("value") == "Mona"
    assert clock.sleeps == [0, 0.5, 1, 0, 0.5]
