import pytest
from selenium.common.exceptions import InvalidSelectorException, NoSuchElementException

import kestrelflow.generic_utility as gu
from fakes import Recorder
from helpers import clicks

PAGE = "interaction_input.html"


class TestShadowDom:
    def test_open_root_of_the_first_host(self, page):
        root = gu.get_shadow_root(page, "open-host")
        assert gu.shadow_find(root, "input").get_attribute("id") == "inner"

    def test_closed_root_is_none(self, page):
        assert gu.get_shadow_root(page, "closed-host") is None

    def test_failures_propagate(self, page):
        with pytest.raises(NoSuchElementException):
            gu.get_shadow_root(page, "no-such-host")
        root = gu.get_shadow_root(page, "open-host")
        with pytest.raises(NoSuchElementException):
            gu.shadow_find(root, "#absent")
        with pytest.raises(InvalidSelectorException):
            gu.shadow_find(root, "//input")
        with pytest.raises(AttributeError):
            gu.shadow_find(None, "input")


class TestEnterFieldData:
    def test_click_type_pick(self, driver, pages, clock, out):
        driver.get(pages.url("interaction_field.html"))
        result = gu.enter_field_data(driver, ["//div[@id='field']"], ["//input[@id='query']"], "Dub",
                                     ["//li[@id='option']"], "Emirate")
        assert result is None
        assert out() == [
            "======= Entering Emirate",
            "Attempt 1 to click element with XPath: '//div[@id='field']'",
            "Clicked successfully on element with XPath: //div[@id='field']",
            "Attempt 1 to input data using XPath: '//input[@id='query']'",
            "Data input successfullysssssssssssssssssssss using XPath: '//input[@id='query']'",
            "Attempt 1 to click element with XPath: '//li[@id='option']'",
            "Clicked successfully on element with XPath: //li[@id='option']",
        ]
        assert clicks(driver) == ["field", "option"]
        assert driver.find_element("id", "query").get_attribute("value") == "xDub"
        assert clock.sleeps == [2, 2]

    def test_calls_through_the_module_and_ignores_failures(self, monkeypatch, clock, out):
        calls = []
        monkeypatch.setattr(gu, "clicking_on_element_by_all_option",
                            Recorder("click", False, calls=calls))
        monkeypatch.setattr(gu, "input_data_by_all_option", Recorder("input", False, calls=calls))
        assert gu.enter_field_data("drv", ["f"], ["i"], "value", ["d"]) is None
        assert out() == ["======= Entering Field"]
        assert calls == [
            ("click", ("drv", ["f"], [""]), {"max_retries": 5}),
            ("input", ("drv", ["i"], [""], "value"),
             {"calender_date": None, "max_attempts": 3, "timeout": 10, "scroll": False,
              "input_delay": 2, "field_type": "others"}),
            ("click", ("drv", ["d"], [""]), {"max_retries": 5}),
        ]
        assert clock.sleeps == [2]
