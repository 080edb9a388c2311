"""What a step run tells of a step that is not done: its reason, the address a
failed navigation asked for, and a step's own time-out and passes."""
import socket

import pytest
from selenium.common.exceptions import WebDriverException

import kestrelflow.generic_utility as gu
from fakes import FakeDriver


def run(driver, steps, tmp_path):
    context, data = gu.run_steps(driver, steps, "Portal", str(tmp_path / "t.csv"),
                                 str(tmp_path / "shots"), "Portal service", "unused")
    return context, data


def results(context):
    return [(r["step"], r["outcome"], r["reason"]) for r in context["step_results"]]


QUICK = {"timeout": 0.5, "retries": 1}


def test_every_step_that_is_not_done_says_why(driver, pages, clock, out, tmp_path):
    url = pages.url("steps_portal.html")
    with socket.socket() as closed:  # bound, never listening: connections are refused
        closed.bind(("127.0.0.1", 0))
        refused = "http://127.0.0.1:%d/" % closed.getsockname()[1]
        steps = [
            ["Open portal", "get_url", [], [], 0, [url]],
            ["Press pay", "click", ["//button[@id='pay']"], ["Pay now"], 0, [], QUICK],
            ["Type plot", "input", ["//input[@id='plot']"], [], 0, ["P-1"], QUICK],
            ["Type in the title", "input", ["//h1"], [], 0, ["P-1"], QUICK],
            ["Read total", "Scrap_data", ["//p[@id='total']"], [], 0, [], QUICK],
            ["Press broken", "click", ["//button["], [], 0, [], QUICK],
            ["Press", "Click", [], [], 0],
            ["Open missing page", "get_url", [], [], 0, [pages.url("missing.html")]],
            ["Open closed port", "get_url", [], [], 0, [refused]],
            ["Type search", "input", ["//input[@id='search-box']"], [], 0, ["P-1"], QUICK],
        ]
        context, data = run(driver, steps, tmp_path)
    assert results(context) == [
        ("Open portal", "done", None),
        ("Press pay", "not done", 'not found in time (TimeoutException); '
                                  'tried XPaths "//button[@id=\'pay\']" and texts "Pay now"'),
        ("Type plot", "not done", 'not found in time (TimeoutException); '
                                  'tried XPaths "//input[@id=\'plot\']"'),
        ("Type in the title", "not done", "not editable (read-only or disabled) "
                                          '(InvalidElementStateException); tried XPaths "//h1"'),
        ("Read total", "not done", 'nothing was read from the XPaths "//p[@id=\'total\']"'),
        ("Press broken", "not done", "an XPath or text did not parse (InvalidSelectorException); "
                                     'tried XPaths "//button[" and texts none'),
        ("Press", "no action", "'Click' is not an action (click, input, get_url, Scrap_data)"),
        ("Open missing page", "not done", "the server answered HTTP 404 Not Found"),
        # The driver raises for the browser's network errors: the step is an
        # error, with its record, and its reason in words.
        ("Open closed port", "error",
         "the browser could not open the page: the connection was refused (ERR_CONNECTION_REFUSED)"),
        # The error page's input is not the portal's: the step after a failed
        # navigation fails on its own.
        ("Type search", "not done", 'not found in time (TimeoutException); '
                                    'tried XPaths "//input[@id=\'search-box\']"'),
    ]
    by_step = {r["step"]: r for r in context["step_results"]}
    assert by_step["Open missing page"]["url"] == pages.url("missing.html")
    assert by_step["Open closed port"]["url"] == refused
    assert by_step["Open portal"]["title"] == "Steps portal"
    assert by_step["Press pay"]["title"] is None
    [record] = context["error_records"]
    assert (record["ServiceName"], record["URL"]) == ("Portal service - Open closed port", refused)
    # A navigation's outcome changes no printed line.
    lines = out()
    assert "🌐 Navigated to: " + pages.url("missing.html") in lines
    assert [line for line in lines if line.startswith("⚠️ Error during")] == [
        "⚠️ Error during 'Open closed port': " + record["Error"].split("\n")[0]]
    assert not [line for line in lines if "404" in line]


def test_a_steps_limits_set_the_routines_wait_and_passes(driver, pages, clock, out, tmp_path):
    steps = [["Open portal", "get_url", [], [], 0, [pages.url("steps_portal.html")]],
             ["Press pay", "click", ["//button[@id='pay']"], ["Pay now"], 0, [], QUICK]]
    context, _ = run(driver, steps, tmp_path)
    attempts = [line for line in out() if line.startswith("Attempt ")]
    assert attempts == ["Attempt 1 to click element with XPath: '//button[@id='pay']'",
                        "Attempt 1 to click element with text: 'Pay now'"]
    assert clock.sleeps == [0, 0.5, 1, 0, 0.5]  # one text pass, one pause after it


@pytest.mark.parametrize("limits", [[1, 2], "fast"])
def test_limits_that_are_not_a_mapping_fail_the_step(driver, pages, clock, out, tmp_path, limits):
    steps = [["Press pay", "click", ["//button[@id='pay']"], [], 0, [], limits]]
    context, _ = run(driver, steps, tmp_path)
    [result] = context["step_results"]
    assert (result["outcome"], result["reason"]) == (
        "error", "a step's seventh element is a mapping of its timeout and retries")


NATIVE_STACK = ("Message: unknown error: net::ERR_NAME_NOT_RESOLVED\n  (Session info: chrome=120.0)\n"
                "Stacktrace:\n#0 0x55d0c0ffee01 <unknown>\n#1 0x55d0c0ffee02 <unknown>\n")


def test_a_navigation_that_raises_is_recorded_at_the_address_asked_for(clock, out, tmp_path):
    class Failing(FakeDriver):
        def get(self, url):
            self._record("get", (url,), {})
            raise WebDriverException("unknown error: net::ERR_NAME_NOT_RESOLVED\n  (Session info: "
                                     "chrome=120.0)", stacktrace=["#0 0x55d0c0ffee01 <unknown>"])

    driver = Failing(current_url="https://portal.example/before")
    context, _ = run(driver, [["Open portal", "get_url", [], [], 0, ["https://portal.example/next"]]],
                     tmp_path)
    [record] = context["error_records"]
    assert record["URL"] == "https://portal.example/next"
    [result] = context["step_results"]
    assert result["url"] == "https://portal.example/next"
    assert result["reason"] == ("the browser could not open the page: "
                                "the host name did not resolve (DNS) (ERR_NAME_NOT_RESOLVED)")
    assert result["error"] == "unknown error: net::ERR_NAME_NOT_RESOLVED (Session info: chrome=120.0)"
    assert "0x55" in record["Error"]  # the error record keeps the whole text
