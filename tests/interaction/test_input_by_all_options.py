import pytest
from selenium.common.exceptions import (InvalidSelectorException, NoSuchElementException,
                                        StaleElementReferenceException)

from fakes import FakeDriver, FakeElement
from helpers import sleeps_until

import kestrelflow.generic_utility as gu

PAGE = "interaction_input.html"
XPATH_PHASE_OVER = "Failed to input using XPaths, trying to input based on text."
TYPED = "Data input successfullysssssssssssssssssssss using XPath: '"


def value(driver, element_id):
    return driver.execute_script("return document.getElementById(arguments[0]).value", element_id)


def test_text_field_is_cleared_and_typed(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='name']"], [], "Mona", None, timeout=1) is True
    assert out() == [
        "Attempt 1 to input data using XPath: '//input[@id='name']'",
        "Mona",
        TYPED + "//input[@id='name']'",
    ]
    assert value(page, "name") == "Mona"
    assert clock.sleeps == [2]


def test_a_password_is_typed_but_never_echoed(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='secret']"], [], "s3cret!", None,
                                       timeout=1) is True
    assert out() == ["Attempt 1 to input data using XPath: '//input[@id='secret']'",
                     "********",
                     TYPED + "//input[@id='secret']'"]
    assert value(page, "secret") == "s3cret!"


def test_typing_failure_goes_on_with_the_next_xpath(page, clock, out):
    # clear() on an element that is not a field raises in the browser.
    result = gu.input_data_by_all_option(page, ["//button[@id='pick']", "//input[@id='name']"], [],
                                         "Ali", None, timeout=1, input_delay=0.25)
    assert result is True
    assert out() == [
        "Attempt 1 to input data using XPath: '//button[@id='pick']'",
        "Error inputting data in Text field: ",
        "Attempt 1 to input data using XPath: '//input[@id='name']'",
        "Ali",
        TYPED + "//input[@id='name']'",
    ]
    assert clock.sleeps == [0.25, 0.25]


def field_value(driver, locator, host):
    """The value of a field of the page, or of the shadow tree of the first `host`."""
    if host:
        return driver.execute_script(
            "return document.querySelector(arguments[0]).shadowRoot.querySelector(arguments[1]).value",
            host, locator)
    return driver.find_element("xpath", locator).get_attribute("value")


@pytest.mark.parametrize("field_type", ["others", "Text_field"])
@pytest.mark.parametrize("locator, host", [
    ("//input[@id='locked']", None),
    ("//textarea[@id='locked-notes']", None),
    ("#inner-locked", "open-host"),
    ("#inner-off", "open-host"),
], ids=["read-only input", "read-only textarea", "read-only in shadow", "disabled in shadow"])
def test_field_that_takes_no_keys_is_a_typing_error(page, clock, out, locator, host, field_type):
    # Each attempt pauses, then fails to type: clearing such a field raises,
    # and a field typed into without clearing is found unchanged.
    before = field_value(page, locator, host)
    result = gu.input_data_by_all_option(page, [locator], [], "typed", None, max_attempts=2, timeout=1,
                                         shadow_host_tag=host, field_type=field_type)
    assert result is False
    shadow = ["✅ Shadow root found for <open-host>"] if host else []
    assert out() == shadow + [
        f"Attempt 1 to input data using XPath: '{locator}'",
        "Error inputting data in Text field: ",
        f"Attempt 2 to input data using XPath: '{locator}'",
        "Error inputting data in Text field: ",
        XPATH_PHASE_OVER,
        "Failed to input data for provided text inputs after 2 attempts.",
    ]
    assert field_value(page, locator, host) == before
    assert clock.sleeps == [2, 2, 1, 2]


@pytest.mark.parametrize("field_type", ["others", "Text_field"])
def test_field_unlocked_by_a_timer_is_typed_after_the_input_delay(open_page, clock, out, field_type):
    page = open_page(PAGE, unlock_after=1000)
    sleeps_until(clock, page, "return !document.getElementById('later').readOnly")
    assert gu.input_data_by_all_option(page, ["//input[@id='later']"], [], "Mona", None,
                                       field_type=field_type) is True
    assert out()[-1] == TYPED + "//input[@id='later']'"
    assert value(page, "later") == "Mona"
    assert clock.sleeps == [2]


def test_field_unlocked_on_focus_is_typed(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='guarded']"], [], "user@example.org", None,
                                       timeout=1, field_type="others") is True
    assert out() == ["Attempt 1 to input data using XPath: '//input[@id='guarded']'",
                     TYPED + "//input[@id='guarded']'"]
    assert value(page, "guarded") == "user@example.org"
    assert clock.sleeps == [2]


def test_read_only_field_found_by_text_is_a_typing_error(page, clock, out):
    result = gu.input_data_by_all_option(page, [], ["Signed notes", "Prefilled"], "typed", None,
                                         max_attempts=1, timeout=1, input_delay=0.25)
    assert result is True
    assert out() == [
        XPATH_PHASE_OVER,
        "Attempt 1 to input data using text: 'Signed notes'",
        "# Option 1: Input data based on text",
        "Error inputting data in Text field: ",
        "Attempt 1 to input data using text: 'Prefilled'",
        "# Option 1: Input data based on text",
        "Data input successfully using XPath: '//*[text()='Prefilled']'",
    ]
    assert value(page, "locked-notes") == "Signed notes" and value(page, "notes") == "typed"
    assert clock.sleeps == [0.25, 0.25]


def test_a_field_whose_type_cannot_be_read_is_masked(clock, out):
    class Unreadable(FakeElement):
        def get_attribute(self, name):
            raise StaleElementReferenceException("stale element reference")

    field = Unreadable(name="field")
    driver = FakeDriver({"//input": field})
    assert gu.input_data_by_all_option(driver, ["//input"], [], "s3cret!", None, timeout=1) is True
    assert out() == ["Attempt 1 to input data using XPath: '//input'", "********", TYPED + "//input'"]
    assert field.value == "s3cret!"


def test_others_types_without_clearing_or_echo(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='search']"], [], "xyz", None, timeout=1,
                                       field_type="others") is True
    assert out() == ["Attempt 1 to input data using XPath: '//input[@id='search']'",
                     TYPED + "//input[@id='search']'"]
    assert value(page, "search") == "abcxyz"


def test_unknown_kind_is_reported_without_typing(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='search']"], [], "xyz", None, timeout=1,
                                       field_type="dropdown") is True
    assert out()[-1] == "Data input successfully using XPathsssssssssssssssssssssssss: '//input[@id='search']'"
    assert value(page, "search") == "abc"
    assert clock.sleeps == []


def test_calendar_by_xpath(page, clock, out):
    assert gu.input_data_by_all_option(page, ["//input[@id='date']"], [], None, "4", timeout=1,
                                       field_type="Calender") is True
    assert out() == ["Attempt 1 to input data using XPath: '//input[@id='date']'",
                     "✅ Calendar date selected successfully"]
    assert value(page, "date") == "2024-05-4"
    assert clock.sleeps == []


def test_calendar_with_missing_day(page, clock, out):
    result = gu.input_data_by_all_option(page, ["//input[@id='date']"], [], None, "31", timeout=0.5,
                                         max_attempts=1, field_type="Calender")
    assert result is False
    assert out() == ["Attempt 1 to input data using XPath: '//input[@id='date']'",
                     "❌ Error inputting data in Calendar field",
                     XPATH_PHASE_OVER,
                     "Failed to input data for provided text inputs after 1 attempts."]


def test_calendar_by_text(page, clock, out):
    assert gu.input_data_by_all_option(page, [], ["Pick date"], None, "2", timeout=1,
                                       field_type="Calender") is True
    assert out() == [XPATH_PHASE_OVER,
                     "Attempt 1 to input data using text: 'Pick date'",
                     "# Option 1: Input data based on text",
                     "Data input successfully using text: 'Pick date'"]
    assert value(page, "date") == "2024-05-2"


def test_text_field_by_text(page, clock, out):
    assert gu.input_data_by_all_option(page, [], ["Prefilled"], "New notes", None, timeout=1,
                                       input_delay=1) is True
    assert out()[-1] == "Data input successfully using XPath: '//*[text()='Prefilled']'"
    assert value(page, "notes") == "New notes"
    assert clock.sleeps == [1]


def test_both_phases_miss(page, clock, out):
    result = gu.input_data_by_all_option(page, ["//input[@id='hidden']"], ["Nowhere", "Don't"], "v",
                                         None, max_attempts=2, timeout=0.5)
    assert result is False
    xpath_miss = "Could not find/interact with element using XPath '//input[@id='hidden']', retrying."
    text_pass = lambda n: [
        f"Attempt {n} to input data using text: 'Nowhere'",
        "# Option 1: Input data based on text",
        "Could not find element with exact text 'Nowhere', trying other methods.",
        f"Attempt {n} to input data using text: 'Don't'",
        "# Option 1: Input data based on text",
        "An error occurred while trying to input data for text 'Don't':",
    ]
    assert out() == [
        "Attempt 1 to input data using XPath: '//input[@id='hidden']'", xpath_miss,
        "Attempt 2 to input data using XPath: '//input[@id='hidden']'", xpath_miss,
        XPATH_PHASE_OVER, *text_pass(1), *text_pass(2),
        "Failed to input data for provided text inputs after 2 attempts.",
    ]
    assert clock.sleeps == [1, 2]


def test_invalid_xpath_in_the_xpath_phase_propagates(page, clock, out):
    with pytest.raises(InvalidSelectorException):
        gu.input_data_by_all_option(page, ["//input[@id='name'"], ["Prefilled"], "v", None, timeout=1)


def test_scrolling_skips_only_the_failed_text(page, clock, out):
    gu.input_data_by_all_option(page, ["//input[@id='name']"], ["Nowhere", "Prefilled"], "v", None,
                                timeout=1, scroll=True, field_type="none")
    assert out()[:2] == ["Failed to scroll to element:", "Scrolled to element with text: Prefilled"]


class TestShadowMode:
    def test_open_root(self, page, clock, out):
        assert gu.input_data_by_all_option(page, ["#inner"], [], "deep", None,
                                           shadow_host_tag="open-host") is True
        assert out() == ["✅ Shadow root found for <open-host>",
                         "Attempt 1 to input data using XPath: '#inner'",
                         "deep",
                         TYPED + "#inner'"]
        typed = page.execute_script(
            "return document.querySelector('open-host').shadowRoot.querySelector('#inner').value")
        assert typed == "deep"

    def test_missing_host(self, page, clock, out):
        assert gu.input_data_by_all_option(page, ["#inner"], ["x"], "v", None,
                                           shadow_host_tag="no-such-host") is False
        assert out() == ["❌ Failed to get shadow root for <no-such-host>"]

    def test_closed_root_is_no_root(self, page, clock, out):
        assert gu.input_data_by_all_option(page, ["#inner"], ["x"], "v", None,
                                           shadow_host_tag="closed-host") is False
        assert out() == ["❌ Failed to get shadow root for <closed-host>"]

    def test_calendar_is_refused(self, page, clock, out):
        assert gu.input_data_by_all_option(page, ["#inner"], [], None, "4", shadow_host_tag="open-host",
                                           field_type="Calender") is False
        assert out() == ["✅ Shadow root found for <open-host>",
                         "Attempt 1 to input data using XPath: '#inner'",
                         "⚠️ Calendar field not supported inside Shadow DOM"]

    def test_missing_element_propagates(self, page, clock, out):
        with pytest.raises(NoSuchElementException):
            gu.input_data_by_all_option(page, ["#nothing"], [], "v", None, shadow_host_tag="open-host")
