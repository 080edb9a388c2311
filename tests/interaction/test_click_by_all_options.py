import pytest

import kestrelflow.generic_utility as gu
from helpers import clicks

PAGE = "interaction_click.html"
XPATH_PHASE_OVER = "Failed to click using XPaths, trying to click based on text."


def test_first_xpath_is_clicked(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, ["//button[@id='go']"], ["Go"], timeout=1) is True
    assert out() == [
        "Attempt 1 to click element with XPath: '//button[@id='go']'",
        "Clicked successfully on element with XPath: //button[@id='go']",
    ]
    assert clicks(page) == ["go"]
    assert clock.sleeps == []


def test_intercepted_click_falls_back_to_script(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, ["//button[@id='covered']"], [], timeout=1) is True
    lines = out()
    assert lines[0] == "Attempt 1 to click element with XPath: '//button[@id='covered']'"
    assert lines[1].startswith("Failed to click using element.click(): Message: element click intercepted")
    assert lines[-1] == "Clicked using JavaScript as a fallback."
    assert clicks(page) == ["covered"]


def test_text_phase_after_every_xpath_failed(page, clock, out):
    result = gu.clicking_on_element_by_all_option(
        page, ["//button[@id='missing']", "//div[@id='hidden']"], ["Exact Text"],
        max_retries=2, timeout=0.5)
    assert result is True
    missing = "Could not find/click element with XPath '//button[@id='missing']', trying next XPath:"
    hidden = "Could not find/click element with XPath '//div[@id='hidden']', trying next XPath:"
    assert out() == [
        "Attempt 1 to click element with XPath: '//button[@id='missing']'", missing,
        "Attempt 1 to click element with XPath: '//div[@id='hidden']'", hidden,
        "Attempt 2 to click element with XPath: '//button[@id='missing']'", missing,
        "Attempt 2 to click element with XPath: '//div[@id='hidden']'", hidden,
        XPATH_PHASE_OVER,
        "Attempt 1 to click element with text: 'Exact Text'",
        "Clicked element with exact text 'Exact Text' (XPath exact match).",
    ]
    assert clicks(page) == ["exact"]
    assert clock.sleeps == []  # no pause between XPath passes


def test_text_phase_pauses_grow_and_end_in_false(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, [], ["Nowhere"], max_retries=2, timeout=0.5) is False
    missing = "Could not find element with exact text 'Nowhere', trying other methods."
    assert out() == [
        XPATH_PHASE_OVER,
        "Attempt 1 to click element with text: 'Nowhere'", missing,
        "Attempt 2 to click element with text: 'Nowhere'", missing,
        "Failed to click element with provided text inputs after 2 attempts.",
    ]
    assert clock.sleeps == [1, 2]


def test_empty_lists_still_pause_after_each_text_pass(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, [], [], max_retries=3) is False
    assert out() == [XPATH_PHASE_OVER, "Failed to click element with provided text inputs after 3 attempts."]
    assert clock.sleeps == [1, 2, 3]


def test_no_retries_tries_nothing(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, ["//button[@id='go']"], ["Go"], max_retries=0) is False
    assert out() == [XPATH_PHASE_OVER, "Failed to click element with provided text inputs after 0 attempts."]
    assert clock.sleeps == []
    assert clicks(page) == []


def test_text_with_apostrophe_is_an_invalid_xpath(page, clock, out):
    assert gu.clicking_on_element_by_all_option(page, [], ["Don't"], max_retries=1, timeout=1) is False
    assert out() == [
        XPATH_PHASE_OVER,
        "Attempt 1 to click element with text: 'Don't'",
        "An error occurred while trying to click element with text 'Don't': ",
        "Failed to click element with provided text inputs after 1 attempts.",
    ]
    assert clock.sleeps == [1]


def test_scrolling_stops_at_the_first_missing_text(page, clock, out):
    assert gu.clicking_on_element_by_all_option(
        page, ["//p[@id='bottom']"], ["Go", "Not on the page", "Far below"], scroll=True,
        timeout=1) is True
    assert out() == [
        "Scrolled to element with text: Go",
        "Failed to scroll to element:",
        "Attempt 1 to click element with XPath: '//p[@id='bottom']'",
        "Clicked successfully on element with XPath: //p[@id='bottom']",
    ]


def in_view(driver, element_id):
    return driver.execute_script(
        "var box = document.getElementById(arguments[0]).getBoundingClientRect();"
        "return box.top >= 0 && box.bottom <= window.innerHeight;", element_id)


@pytest.mark.parametrize("text, holder", [("Far below", "bottom"), ("Way down", "split")],
                         ids=["own text", "hidden copy first, text across children"])
def test_scrolling_brings_the_text_into_view(page, clock, out, text, holder):
    assert not in_view(page, holder)
    assert gu.clicking_on_element_by_all_option(page, [], [text], max_retries=0, scroll=True) is False
    assert out() == [f"Scrolled to element with text: {text}", XPATH_PHASE_OVER,
                     "Failed to click element with provided text inputs after 0 attempts."]
    assert in_view(page, holder)


def test_the_click_waits_for_a_loader_to_leave(open_page, clock, out):
    page = open_page("interaction_click_loading.html", leave_after=1500)
    assert gu.clicking_on_element_by_all_option(page, ["//button[@id='go']"], [], timeout=1) is True
    assert out() == ["Attempt 1 to click element with XPath: '//button[@id='go']'",
                     "Clicked successfully on element with XPath: //button[@id='go']"]
    assert clicks(page) == ["go"]
