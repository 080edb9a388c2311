"""Failure paths a real browser will not produce on demand, with recording fakes."""
import pytest

import kestrelflow.generic_utility as gu
from fakes import FakeDriver, FakeElement, Recorder


@pytest.mark.parametrize("call", [
    lambda d: gu.clicking_on_element_by_all_option(d, ["//a"], ["a"], scroll=True, timeout=1),
    lambda d: gu.clicking_on_element_by_all_option(d, [], ["a"], timeout=1),
    lambda d: gu.hovering_by_xpath(d, ["//a"], ["a"], scroll=True, timeout=1),
    lambda d: gu.hovering_by_xpath(d, [], ["a"], timeout=1),
    lambda d: gu.input_data_by_all_option(d, ["//a"], ["a"], "v", None, scroll=True, timeout=1),
    lambda d: gu.input_data_by_all_option(d, [], ["a"], "v", None, timeout=1),
    lambda d: gu.input_data_by_all_option(d, ["#a"], [], "v", None, shadow_host_tag="x"),
    lambda d: gu.click_element_by_text(d, "a", timeout=1),
    lambda d: gu.wait_for_page_to_load(d, "//a"),
], ids=["click", "click-text", "hover", "hover-text", "input", "input-text", "input-shadow",
        "by-text", "page-load"])
def test_keyboard_interrupt_passes_through(call, clock, out):
    with pytest.raises(KeyboardInterrupt):
        # Every lookup and script is interrupted by the user.
        call(FakeDriver(missing=KeyboardInterrupt, script_answer=KeyboardInterrupt))


COVERED = gu.ElementClickInterceptedException("covered")
SCRIPT_FAILED = gu.TimeoutException("script timed out")
POINTER_LOST = gu.TimeoutException("pointer lost")


def printed(*pieces):
    """The lines that print(''.join(pieces)) writes."""
    return ("".join(str(p) for p in pieces) + "\n").splitlines()


def stubborn():
    """Found and clickable, but neither click nor script can reach it."""
    unclickable = FakeElement(click=COVERED)
    return FakeDriver({"//a": unclickable, "//b": unclickable}, script_answer=SCRIPT_FAILED)


def test_script_click_failure_goes_on(clock, out):
    driver = stubborn()
    assert gu.clicking_on_element_by_all_option(driver, ["//a", "//b"], [], max_retries=1) is False
    both_failed = [*printed("Failed to click using element.click(): ", COVERED),
                   *printed("JavaScript click also failed: ", SCRIPT_FAILED)]
    assert out() == [
        "Attempt 1 to click element with XPath: '//a'", *both_failed,
        "Attempt 1 to click element with XPath: '//b'", *both_failed,
        "Failed to click using XPaths, trying to click based on text.",
        "Failed to click element with provided text inputs after 1 attempts.",
    ]
    assert driver.scripts == ["arguments[0].click();"] * 2
    assert clock.sleeps == [1]


def test_script_hover_failure_goes_on(monkeypatch, clock, out):
    monkeypatch.setattr(gu, "ActionChains",
                        Recorder("ActionChains", Recorder("actions", POINTER_LOST)))
    driver = stubborn()
    assert gu.hovering_by_xpath(driver, ["//a"], [], max_retries=1) is False
    assert out() == [
        "Attempt 1 to hover over element with XPath: '//a'",
        *printed("⚠️ Hover failed using move_to_element(): ", POINTER_LOST),
        *printed("⚠️ JS hover also failed: ", SCRIPT_FAILED),
        "❌ Failed to hover using XPaths, attempting text-based fallback...",
        "❌ Failed to hover over any provided elements after 1 attempts.",
    ]
    assert driver.scripts == ["\n" + " " * 28 + "var evObj = document.createEvent('MouseEvents');\n"
                              + " " * 28 + "evObj.initMouseEvent('mouseover', true, true, window);\n"
                              + " " * 28 + "arguments[0].dispatchEvent(evObj);\n" + " " * 24]
    assert clock.sleeps == [0.5, 1]
