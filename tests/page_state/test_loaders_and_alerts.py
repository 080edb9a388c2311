"""Loaders, the portal's data-retrieval error, error messages in a page text,
and stray alerts."""
from urllib.parse import quote

import pytest
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.support.ui import WebDriverWait

SPINNER = "//div[@id='spinner']"
GHOST = "//div[@id='ghost']"
BROKEN = "//div[@id='spinner'"

CHECKING = "🔍 Checking loaders..."
GONE = "✅ All loaders disappeared"
STILL_LOADING = "⚠️ Timeout: Loader still exists"
HEADER = "-" * 23 + "Checking for Data Retrieval Errors" + "-" * 23


def clear(count, of=3):
    return f"✅ No loaders found ({count}/{of})"


def detected(xpath):
    return "🔄 Loader detected for xpath: " + xpath


def could_not_check(driver, xpath):
    """The warning for a lookup that fails, with the first line of the browser's error."""
    try:
        driver.find_element("xpath", xpath)
    except Exception as error:
        return "⚠️ Could not check for the loader: " + str(error).splitlines()[0]
    raise AssertionError("the lookup of %s did not fail" % xpath)


class TestWaitForLoadingElements:
    @pytest.mark.parametrize("xpaths, hidden", [([], []), ([GHOST], ["ghost"])],
                             ids=["no-xpaths", "hidden-loader"])
    def test_nothing_displayed_counts_as_clear(self, gu, stage, clock, out, xpaths, hidden):
        driver = stage.open(hidden=hidden)
        assert gu.wait_for_loading_elements(driver, xpaths) is True
        assert out() == [CHECKING, clear(1), clear(2), clear(3), GONE]
        assert clock.sleeps == [1, 1]

    def test_a_loader_resets_the_count(self, gu, stage, cue, out):
        driver = stage.open()
        cue.after(1, stage.run("put('spinner')")).after(2, stage.run("drop('spinner')"))
        assert gu.wait_for_loading_elements(driver, [GHOST, SPINNER]) is True
        assert out() == [CHECKING, clear(1), detected(SPINNER), clear(1), clear(2), clear(3), GONE]
        assert cue.sleeps == [1] * 4

    def test_a_loader_hidden_on_cue_is_gone(self, gu, stage, cue, out):
        driver = stage.open(present=["spinner"])
        cue.after(1, stage.run("hide('spinner')"))
        assert gu.wait_for_loading_elements(driver, [SPINNER], polling_interval=0.5,
                                            consecutive_not_exists=1) is True
        assert out() == [CHECKING, detected(SPINNER), clear(1, 1), GONE]
        assert cue.sleeps == [0.5]

    @pytest.mark.parametrize("maxtrial, lines", [(0, []), (2, [detected(SPINNER)] * 2)])
    def test_time_out(self, gu, stage, clock, out, maxtrial, lines):
        driver = stage.open(present=["spinner"])
        assert gu.wait_for_loading_elements(driver, [SPINNER], maxtrial=maxtrial) is False
        assert out() == [CHECKING] + lines + [STILL_LOADING]
        assert clock.sleeps == [1] * maxtrial

    def test_a_lookup_that_fails_is_not_clear_and_said_once(self, gu, stage, clock, out):
        driver = stage.open()
        assert gu.wait_for_loading_elements(driver, [GHOST, BROKEN], maxtrial=3) is False
        assert out() == [CHECKING, could_not_check(driver, BROKEN), STILL_LOADING]
        assert clock.sleeps == [1, 1, 1]

    def test_a_closed_window_is_not_clear_and_said_once(self, gu, driver, clock, out):
        home = driver.current_window_handle
        driver.switch_to.new_window("tab")
        driver.close()
        try:
            warning = could_not_check(driver, SPINNER)
            assert gu.wait_for_loading_elements(driver, [SPINNER], maxtrial=2) is False
        finally:
            driver.switch_to.window(home)
        assert out() == [CHECKING, warning, STILL_LOADING]

    def test_a_loader_gone_stale_is_gone(self, gu, clock, out):
        # The loader vanishes between its lookup and the visibility question:
        # a moment a real page cannot be stopped at.
        class StaleLoader:
            def is_displayed(self):
                raise StaleElementReferenceException("stale element reference")

        class Driver:
            def find_element(self, by, xpath):
                if xpath == GHOST:
                    raise NoSuchElementException("no such element")
                return StaleLoader()

        assert gu.wait_for_loading_elements(Driver(), [GHOST, SPINNER], consecutive_not_exists=2)
        assert out() == [CHECKING, clear(1, 2), clear(2, 2), GONE]

    @pytest.mark.parametrize("interval", [0, -0.5])
    def test_an_interval_that_never_advances_is_refused(self, gu, stage, clock, out, interval):
        driver = stage.open(present=["spinner"])
        with pytest.raises(ValueError, match="polling_interval must be positive"):
            gu.wait_for_loading_elements(driver, [SPINNER], polling_interval=interval)
        assert out() == [CHECKING] and clock.sleeps == []


def spinner_wait_lines():
    return [CHECKING] + [clear(n, 6) for n in range(1, 7)] + [GONE]


APP_READ = 'Successfully extracted text from XPath //*[@id="app"]'
FINE = "No significant data retrieval error detected."
PERSISTS = "Data retrieval error persists after retries."


class TestCheckDataErrorRetrieving:
    @pytest.mark.parametrize("message", [
        "An error occurred while retrieving the data",
        "Sorry, the page you're looking for can't be found",
        "SOMETHING WENT WRONG",
        "حدث خطأ أثناء استرجاع البيانات.",
    ])
    def test_error_cured_by_one_reload(self, gu, portal, clock, out, message):
        driver = portal(dataerror=1, message=quote(message))
        assert gu.check_data_error_retrieving(driver, {}) == FINE
        assert out() == [HEADER, "Attempt 1 of 2.", APP_READ,
                         f"Error detected: '{message.lower()}'. Refreshing the page."] \
            + spinner_wait_lines() \
            + ["Page refreshed. Waiting before the next attempt...", "Attempt 2 of 2.", APP_READ,
               "No significant data retrieval error detected on attempt 2."]
        assert clock.sleeps == [1] * 5 + [0.5]
        assert portal.loads(2) == 2

    def test_page_without_error(self, gu, portal, clock, out):
        driver = portal()
        assert gu.check_data_error_retrieving(driver, {"retry_delay": 3}) == FINE
        assert out() == [HEADER, "Attempt 1 of 2.", APP_READ,
                         "No significant data retrieval error detected on attempt 1."]
        assert clock.sleeps == [] and portal.loads(1) == 1

    def test_error_that_persists(self, gu, portal, clock, out):
        driver = portal(dataerror=99)
        assert gu.check_data_error_retrieving(driver, {"max_retries": 2, "retry_delay": 4}) == PERSISTS
        detected_line = "Error detected: 'something went wrong'. Refreshing the page."
        attempt = [APP_READ, detected_line] + spinner_wait_lines() + [
            "Page refreshed. Waiting before the next attempt..."]
        assert out() == [HEADER, "Attempt 1 of 2."] + attempt + ["Attempt 2 of 2."] + attempt + [
            "Data retrieval error persists after 2 attempts."]
        assert clock.sleeps == ([1] * 5 + [4]) * 2
        assert portal.loads(3) == 3

    def test_no_attempts_read_nothing(self, gu, portal, clock, out):
        driver = portal()
        assert gu.check_data_error_retrieving(driver, {"max_retries": 0}) == PERSISTS
        assert out() == [HEADER, "Data retrieval error persists after 0 attempts."]

    def test_collaborators_are_the_module_functions_of_the_moment(self, gu, portal, clock, out,
                                                                  monkeypatch):
        driver = portal(dataerror=1)
        reads, waits = [], []

        def extract_text(*args, **kwargs):
            reads.append((args, kwargs))
            return False if len(reads) == 1 else "  Something went wrong\nplease retry "

        def wait_for_loading_elements(*args, **kwargs):
            waits.append((args, kwargs))
            # The real wait spends seconds on the reloaded page; this one lets
            # the reload finish, so the next refresh never lands mid-navigation.
            portal.loads(len(waits) + 1)
            return False

        monkeypatch.setattr(gu, "extract_text", extract_text)
        monkeypatch.setattr(gu, "wait_for_loading_elements", wait_for_loading_elements)
        assert gu.check_data_error_retrieving(driver, {"max_retries": 3}) == PERSISTS
        assert out() == [HEADER, "Attempt 1 of 3.", "Error extracting text:", "Attempt 2 of 3.",
                         "Error detected: 'something went wrong please retry'. Refreshing the page.",
                         "Page refreshed. Waiting before the next attempt...", "Attempt 3 of 3.",
                         "Error detected: 'something went wrong please retry'. Refreshing the page.",
                         "Page refreshed. Waiting before the next attempt...",
                         "Data retrieval error persists after 3 attempts."]
        assert clock.sleeps == [0.5, 0.5] and portal.loads(3) == 3
        # The text read is the application root; the loader waited on is the spinner.
        assert len(reads) == 3
        for args, kwargs in reads:
            assert args[0] is driver and len(args[1]) == 1
            assert driver.find_element("xpath", args[1][0]).get_attribute("id") == "app"
            assert kwargs == {"max_retries": 2, "retry_delay": 0.5}
        assert len(waits) == 2
        (wait_args, wait_kwargs) = waits[0]
        assert wait_args[0] is driver and len(wait_args[1]) == 1
        spinner = driver.find_element("xpath", wait_args[1][0])
        assert "ui-lib-spinner" in spinner.get_attribute("class")
        assert wait_kwargs == {"maxtrial": 50, "polling_interval": 1, "consecutive_not_exists": 6}

    def test_parameters_without_get_raise_before_printing(self, gu, portal, clock, out):
        with pytest.raises(AttributeError):
            gu.check_data_error_retrieving(portal(), [("max_retries", 1)])
        assert out() == []


@pytest.mark.parametrize("page, messages, expected", [
    ("Error: the plot was not found.", ["plot was not found", "timeout", "plot was not found"],
     ["plot was not found", "plot was not found"]),
    ("لا توجد بيانات", ("لا توجد بيانات", "no data"), ["لا توجد بيانات"]),
    ("", [], []),
])
def test_find_error_messages(gu, page, messages, expected):
    assert gu.find_error_messages(page, messages) == expected


def test_find_error_messages_without_a_page_text(gu):
    with pytest.raises(TypeError):
        gu.find_error_messages(None, ["error"])


class TestDismissAlerts:
    @pytest.fixture
    def waits(self, gu, monkeypatch):
        asked = []

        def wait(driver, timeout):
            asked.append(timeout)
            return WebDriverWait(driver, 1)

        monkeypatch.setattr(gu, "WebDriverWait", wait)
        return asked

    def test_alert_is_dismissed_not_accepted(self, gu, stage, out, waits):
        driver = stage.open()
        driver.execute_script("ask()")
        assert gu.dismiss_alerts(driver) is None
        assert out() == ["Unexpected alert dismissed."]
        assert driver.execute_script("return document.body.dataset.answer") == "dismissed"
        assert waits == [3]

    def test_no_alert_is_quiet(self, gu, stage, out, waits):
        driver = stage.open()
        assert gu.dismiss_alerts(driver) is None
        assert out() == [] and waits == [3]
