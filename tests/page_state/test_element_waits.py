"""Waiting for elements: consecutive sightings, Selenium's explicit wait with
retries, and a row's sub-element read with retries."""
import pytest
from selenium.common.exceptions import InvalidSelectorException, TimeoutException
from selenium.webdriver.support.ui import WebDriverWait

BOX = "//div[@id='box']"
OTHER = "//div[@id='other']"
NOWHERE = "//div[@id='nowhere']"
BROKEN = "//div[@id='box'"


def found(count, of):
    return f"Element found ({count}/{of}) with XPath"


def missed(retry, of):
    return f"Element not found. Waiting... (Retry {retry}/{of})"


class TestWaitForElementToAppear:
    def test_present_element_is_confirmed_on_the_third_poll(self, gu, stage, clock, out):
        driver = stage.open(present=["box"])
        assert gu.wait_for_element_to_appear(driver, [BOX]) is True
        assert out() == [found(1, 3), found(2, 3), found(3, 3),
                         "Element confirmed existing for 3 consecutive checks."]
        assert clock.sleeps == [1, 1]

    def test_a_miss_resets_the_consecutive_count(self, gu, stage, cue, out):
        driver = stage.open(present=["box"])
        cue.after(1, stage.run("drop('box')")).after(2, stage.run("put('box')"))
        assert gu.wait_for_element_to_appear(driver, [BOX], max_retries=10) is True
        assert out() == [found(1, 3), missed(2, 10), found(1, 3), found(2, 3), found(3, 3),
                         "Element confirmed existing for 3 consecutive checks."]
        assert cue.sleeps == [1, 1, 1, 1]

    @pytest.mark.parametrize("present, expected, result", [
        (["box"], [found(1, 2), missed(1, 2), found(1, 2), missed(2, 2),
                   "Timeout reached. Element not found after 2 attempts."], False),
        (["box", "other"], [found(1, 2), found(2, 2),
                            "Element confirmed existing for 2 consecutive checks."], True),
    ], ids=["second-missing", "both-present"])
    def test_every_xpath_of_a_pass_counts(self, gu, stage, clock, out, present, expected, result):
        driver = stage.open(present=present)
        assert gu.wait_for_element_to_appear(driver, [BOX, OTHER], max_retries=2,
                                             consecutive_exists=2) is result
        assert out() == expected
        assert clock.sleeps == ([1, 1] if result is False else [])

    def test_one_sighting_is_enough_with_a_threshold_of_one(self, gu, stage, clock, out):
        driver = stage.open(present=["box"])
        assert gu.wait_for_element_to_appear(driver, [BOX, BROKEN], consecutive_exists=1) is True
        assert out() == [found(1, 1), "Element confirmed existing for 1 consecutive checks."]
        assert clock.sleeps == []

    def test_a_failed_lookup_leaves_the_count_alone(self, gu, stage, clock, out):
        driver = stage.open(present=["box"])
        assert gu.wait_for_element_to_appear(driver, [BOX, BROKEN, BOX], consecutive_exists=2)
        assert out() == [found(1, 2), "Error finding element with XPath", found(2, 2),
                         "Element confirmed existing for 2 consecutive checks."]

    @pytest.mark.parametrize("xpaths, max_retries, interval, sleeps, lines", [
        ([BOX], 0, 1, [], []),
        ([], 3, 1, [1, 1, 1], []),
        ([NOWHERE], 2, 0.5, [0.5, 0.5], [missed(1, 2), missed(2, 2)]),
    ], ids=["no-retries", "no-xpaths", "float-interval"])
    def test_time_out(self, gu, stage, clock, out, xpaths, max_retries, interval, sleeps, lines):
        driver = stage.open(present=["box"])
        assert gu.wait_for_element_to_appear(driver, xpaths, max_retries=max_retries,
                                             polling_interval=interval) is False
        assert out() == lines + [f"Timeout reached. Element not found after {max_retries} attempts."]
        assert clock.sleeps == sleeps

    @pytest.mark.parametrize("xpaths, line", [
        ([BOX, OTHER], "Scrolled to element with XPath: " + BOX),
        ([NOWHERE, BOX], "Failed to scroll to element"),
    ], ids=["first-found", "first-missing"])
    def test_scrolls_to_the_first_xpath_only(self, gu, stage, clock, out, xpaths, line):
        driver = stage.open(present=["box", "other"])
        assert gu.wait_for_element_to_appear(driver, xpaths, scroll=True, consecutive_exists=1)
        assert out()[0] == line

    def test_a_list_that_cannot_be_walked_raises_after_the_scroll_line(self, gu, stage, clock, out):
        driver = stage.open()
        with pytest.raises(TypeError):
            gu.wait_for_element_to_appear(driver, None, scroll=True)
        assert out() == ["Failed to scroll to element"]


@pytest.fixture
def short_waits(gu, monkeypatch):
    """Records the timeouts asked of WebDriverWait and waits 0.2 seconds instead."""
    asked = []

    def wait(driver, timeout):
        asked.append(timeout)
        return WebDriverWait(driver, 0.2)

    monkeypatch.setattr(gu, "WebDriverWait", wait)
    return asked


class TestWaitForElement:
    def test_returns_the_element_found(self, gu, stage, clock, out, short_waits):
        driver = stage.open(present=["box"])
        element = gu.wait_for_element(driver, "xpath", BOX)
        assert element.get_attribute("id") == "box"
        assert out() == [] and clock.sleeps == [] and short_waits == [20]

    def test_element_appearing_between_attempts(self, gu, stage, cue, out, short_waits):
        driver = stage.open()
        cue.after(1, stage.run("put('box')"))
        assert gu.wait_for_element(driver, "xpath", BOX).text == "box"
        assert out() == [f"Attempt 1 - Element not found: {BOX}. Retrying in 2 seconds..."]
        assert cue.sleeps == [2]

    @pytest.mark.parametrize("retries, delay", [(2, 5), (1, 0.5), (0, 2)])
    def test_raises_after_every_attempt_failed(self, gu, stage, clock, out, short_waits, retries, delay):
        driver = stage.open()
        with pytest.raises(TimeoutException) as raised:
            gu.wait_for_element(driver, "xpath", NOWHERE, retries=retries, delay=delay)
        assert raised.value.msg == f"Element not found after {retries} attempts: {NOWHERE}"
        assert out() == [f"Attempt {n} - Element not found: {NOWHERE}. Retrying in {delay} seconds..."
                         for n in range(1, retries + 1)]
        assert clock.sleeps == [delay] * retries

    def test_other_errors_are_not_retried(self, gu, stage, clock, out):
        driver = stage.open()
        with pytest.raises(InvalidSelectorException):
            gu.wait_for_element(driver, "xpath", BROKEN)
        assert out() == [] and clock.sleeps == []


class TestGetElementWithRetries:
    @pytest.fixture
    def row(self, driver, pages):
        driver.get(pages.url("page_state_list.html"))
        return driver.find_element("xpath", "//tbody/tr[2]")

    def test_reads_a_cell_of_the_row(self, gu, row, clock, out):
        assert gu.get_element_with_retries(row, "./td[2]") == "Application 2"
        assert out() == [] and clock.sleeps == []

    @pytest.mark.parametrize("max_retries, delay, sleeps", [(3, 1, [1, 1]), (2, 0.25, [0.25]), (1, 1, [])])
    def test_missing_cell_gives_empty_text(self, gu, row, clock, out, max_retries, delay, sleeps):
        assert gu.get_element_with_retries(row, "./td[9]", max_retries, delay) == ""
        assert out() == [f"Failed to locate element with XPath './td[9]' after {max_retries} attempts."]
        assert clock.sleeps == sleeps

    def test_no_attempts_give_none(self, gu, row, clock, out):
        assert gu.get_element_with_retries(row, "./td[9]", max_retries=0) is None
        assert out() == [] and clock.sleeps == []

    def test_element_appearing_on_a_retry(self, gu, stage, cue, out):
        driver = stage.open()
        cue.after(1, stage.run("put('box')"))
        assert gu.get_element_with_retries(driver, BOX) == "box"
        assert out() == [] and cue.sleeps == [1]
