import pytest
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

import kestrelflow.generic_utility as gu
from fakes import FakeDriver
from helpers import page_record

PAGE = "interaction_loading.html"


class TestWaitForPageToLoad:
    def test_waits_while_loading(self, page, out, monkeypatch):
        # The page finishes loading only once the routine has begun to wait,
        # however long the machine takes to get there.
        class FinishingWait(WebDriverWait):
            def __init__(self, driver, timeout, *args, **kwargs):
                driver.execute_script("finishLoading(100)")
                super().__init__(driver, timeout, *args, **kwargs)

        monkeypatch.setattr(gu, "WebDriverWait", FinishingWait)
        assert gu.wait_for_page_to_load(page, "//div[@id='status']", timeout=60) is None
        assert out() == ["Waiting for the page to load...", "Page has loaded."]
        assert page.find_element("id", "status").text == "Done"

    def test_no_wait_without_loading(self, page, out):
        assert gu.wait_for_page_to_load(page, "//div[@id='done']") is None
        assert out() == ["Page has loaded."]

    def test_missing_indicator(self, page, out):
        assert gu.wait_for_page_to_load(page, "//div[@id='nothing']") is None
        assert out() == ["An error occurred while waiting for the page to load:"]

    def test_still_loading_after_timeout(self, page, out):
        assert gu.wait_for_page_to_load(page, "//div[@id='stuck']", 0.5) is None
        assert out() == ["Waiting for the page to load...",
                         "An error occurred while waiting for the page to load:"]


def test_page_is_completed(page):
    assert gu.page_is_completed(page) is True

    interactive = FakeDriver(script_answer="interactive")
    assert gu.page_is_completed(interactive) is False
    assert interactive.scripts == ["return document.readyState"]


class TestClickOkPopup:
    def test_accepts_the_alert(self, page):
        page.execute_script("setTimeout(function () { window.answer = confirm('Proceed?'); }, 0)")
        WebDriverWait(page, 2).until(EC.alert_is_present())
        assert gu.Click_ok_popup(page) is None
        assert page_record(page, "answer") is True

    def test_no_alert_raises(self, page):
        with pytest.raises(NoAlertPresentException):
            gu.Click_ok_popup(page)
