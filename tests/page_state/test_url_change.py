"""A click that only counts when the URL changed."""
import contextlib
import io

import pytest

NEXT = "//a[@id='next']"
MENU = "//button[@id='menu']"
GONE = "//a[@id='gone']"


@pytest.fixture
def nav(open_page):
    return open_page("page_state_nav.html")


@pytest.fixture
def clicks(gu, monkeypatch):
    """Records every call of the module's click routine and lets the real one
    click, its own lines kept out of the routine's output.  clicks.before runs
    before each click."""
    real = gu.clicking_on_element_by_all_option

    class Clicks(list):
        before = None

    calls = Clicks()

    def click(*args, **kwargs):
        calls.append((args, kwargs))
        if calls.before:
            calls.before()
        with contextlib.redirect_stdout(io.StringIO()):
            return real(*args, **kwargs)

    monkeypatch.setattr(gu, "clicking_on_element_by_all_option", click)
    return calls


def start(driver):
    return ["Initial URL: " + driver.current_url]


class TestClickAndCheckUrlChange:
    def test_first_xpath_navigates(self, gu, nav, pages, clicks, clock, out):
        texts = ["Next page"]
        lines = start(nav)
        assert gu.click_and_check_url_change(nav, [NEXT], texts, 1) is True
        assert out() == lines + ["Attempt 1/3 to click element.",
                                 "Trying to click element with XPath: " + NEXT,
                                 "New URL: " + pages.url("page_state_next.html"),
                                 "URL has changed successfully."]
        (args, kwargs), = clicks
        assert args == (nav, [NEXT], texts) and args[2] is texts
        assert kwargs == {"max_retries": 1, "timeout": 4, "scroll": True}

    def test_a_click_that_keeps_the_url_goes_on_with_the_next_xpath(self, gu, nav, pages, clicks, out):
        url = nav.current_url
        assert gu.click_and_check_url_change(nav, [MENU, NEXT], [], "trial", timeout=2, scroll=False)
        assert out() == ["Initial URL: " + url, "Attempt 1/3 to click element.",
                         "Trying to click element with XPath: " + MENU,
                         "New URL: " + url,
                         "URL has not changed after clicking XPath: " + MENU + ". Trying next XPath...",
                         "Trying to click element with XPath: " + NEXT,
                         "New URL: " + pages.url("page_state_next.html"),
                         "URL has changed successfully."]
        assert [args[1:] for args, _ in clicks] == [([MENU], []), ([NEXT], [])]
        assert all(kwargs == {"max_retries": 1, "timeout": 2, "scroll": False} for _, kwargs in clicks)
        assert nav.find_element("id", "arrived").text == "Arrived"

    def test_texts_are_tried_one_by_one_after_the_xpaths(self, gu, nav, pages, clicks, out):
        url = nav.current_url
        assert gu.click_and_check_url_change(nav, [], ["Open menu", "Next page"], None, scroll=False)
        assert out() == ["Initial URL: " + url, "Attempt 1/3 to click element.",
                         "Trying to click element with text: 'Open menu'",
                         "New URL: " + url,
                         "URL has not changed after clicking text: 'Open menu'. Trying next option...",
                         "Trying to click element with text: 'Next page'",
                         "New URL: " + pages.url("page_state_next.html"),
                         "URL has changed successfully."]
        assert [args[1:] for args, _ in clicks] == [([], ["Open menu"]), ([], ["Next page"])]

    def test_a_failed_click_is_passed_over_silently(self, gu, nav, clicks, out):
        url = nav.current_url
        assert gu.click_and_check_url_change(nav, [GONE], [], 1, timeout=0.5, max_attempts=2) is False
        assert out() == ["Initial URL: " + url,
                         "Attempt 1/2 to click element.", "Trying to click element with XPath: " + GONE,
                         "Attempt 2/2 to click element.", "Trying to click element with XPath: " + GONE,
                         "Failed to change URL after 2 attempts."]
        assert len(clicks) == 2

    @pytest.mark.parametrize("max_attempts", [3, 0, -2])
    def test_nothing_to_click(self, gu, nav, clicks, clock, out, max_attempts):
        url = nav.current_url
        assert gu.click_and_check_url_change(nav, [], [], 1, max_attempts=max_attempts) is False
        assert out() == (["Initial URL: " + url]
                         + [f"Attempt {n}/{max_attempts} to click element." for n in range(1, max_attempts + 1)]
                         + [f"Failed to change URL after {max_attempts} attempts."])
        assert clicks == [] and clock.sleeps == []

    def test_only_the_url_at_the_start_is_compared(self, gu, nav, clicks, out):
        # The page moves by itself (a redirect) before a click that does not navigate.
        url = nav.current_url
        clicks.before = lambda: nav.execute_script("history.replaceState(null, '', '#moved')")
        assert gu.click_and_check_url_change(nav, [MENU], [], 1) is True
        assert out()[-2:] == ["New URL: " + url + "#moved", "URL has changed successfully."]

    def test_a_count_that_is_not_a_number_raises_after_the_start_line(self, gu, nav, clicks, out):
        url = nav.current_url
        with pytest.raises(TypeError):
            gu.click_and_check_url_change(nav, [NEXT], [], 1, max_attempts=2.0)
        assert out() == ["Initial URL: " + url] and clicks == []
