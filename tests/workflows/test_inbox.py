"""Opening an application from the portal's application list."""
import pytest

import kestrelflow.generic_utility as gu

from workflows.timeline import LOADING, X

TYPE = {"max_attempts": 3, "timeout": 10, "scroll": False, "input_delay": 2}


def default_steps(number, tab_click=None):
    tab = [("clicking_on_element_by_all_option", (X(1), [tab_click]),
            {"max_retries": 1, "timeout": 5, "scroll": True})] if tab_click else []
    return [
        ("wait_for_page_to_load", (LOADING,), {}),
        *tab,
        ("sleep", 3),
        ("input_data_by_all_option", (X(2), [""], number, "test"), TYPE),
        ("wait_for_page_to_load", (LOADING,), {}),
        ("clicking_on_element_by_all_option", (X(7), [" Search ", "Seearch", "search", "SEARCH"]),
         {"max_retries": 4, "timeout": 5, "scroll": True}),
        ("sleep", 3),
        ("wait_for_page_to_load", (LOADING,), {}),
        ("clicking_on_element_by_all_option", ([""], [number]), {"max_retries": 4, "timeout": 5, "scroll": True}),
        ("sleep", 3),
    ]


@pytest.mark.parametrize("number, tab_name, tab_label", [
    ("2025000789", "completed", "Completed"),
    ("2025000456", "pending", "Pending"),
    ("2025000123", "Inbox", "My Inbox"),
])
def test_tab_filter_and_row_open_the_application(devu, portal, timeline, number, tab_name, tab_label):
    url = portal.devu_url()
    assert gu.Getting_Application_From_Inbox(devu, number, tab_name, Dashbord_URL=url) is None
    assert timeline == default_steps(number, tab_label)
    assert portal.details("inbox tab") == [tab_label]
    assert portal.details("inbox search") == [number]
    assert portal.details("open application") == [number]
    assert devu.current_url == portal.devu_url("/private#application/" + number)


@pytest.mark.parametrize("tab_name, environment, tab_label", [
    ("Completed", "default", None), ("inbox", "default", None), ("PENDING", "default", None),
    ("", "default", None),
    # only "DEVU" itself selects the DEVU layout
    ("completed", "devu", "Completed"), ("completed", "Devu", "Completed"),
])
def test_other_spellings_run_the_default_steps(devu, portal, timeline, tab_name, environment, tab_label):
    gu.Getting_Application_From_Inbox(devu, "2025000789", tab_name, environment, portal.devu_url())
    assert timeline == default_steps("2025000789", tab_label)
    assert portal.details("inbox tab") == ([tab_label] if tab_label else [])
    assert portal.details("open application") == ["2025000789"]


def test_devu_layout_has_no_tabs_and_no_pauses(devu, portal, timeline, out):
    url = portal.devu_url("/private?layout=devu#dashboard")
    gu.Getting_Application_From_Inbox(devu, "2025000456", "completed", "DEVU", url)
    assert timeline == [
        ("wait_for_page_to_load", (LOADING,), {}),
        ("input_data_by_all_option", (X(2), [""], "2025000456", "test"), TYPE),
        ("clicking_on_element_by_all_option", (X(2), [" Search"]), {"max_retries": 5}),
        ("wait_for_page_to_load", (LOADING,), {}),
        ("clicking_on_element_by_all_option", ([""], ["2025000456"]), {"max_retries": 4, "timeout": 5, "scroll": True}),
    ]
    assert portal.details("inbox search") == ["2025000456"]
    assert portal.details("open application") == ["2025000456"]
    # the first search-button XPath never matches; the second one does
    assert ("Clicked successfully on element with XPath: "
            "//*[@id=\"datatable_filters\"]/app-form/form/div[2]/div/div/button/i") in out()


@pytest.mark.parametrize("number", ["1999", ""])
def test_unknown_number_is_searched_and_nothing_opens(devu, portal, timeline, out, number):
    gu.Getting_Application_From_Inbox(devu, number, "Inbox", Dashbord_URL=portal.devu_url())
    assert timeline == default_steps(number, "My Inbox")
    assert portal.details("inbox search") == [number]
    assert portal.details("open application") == []
    assert out()[-1] == "Failed to click element with provided text inputs after 4 attempts."


def test_release_with_app_form_filters_is_reached_by_the_later_xpaths(devu, portal, timeline, out):
    url = portal.devu_url("/private?layout=forms#dashboard")
    gu.Getting_Application_From_Inbox(devu, "2025000123", "none", Dashbord_URL=url)
    assert timeline == default_steps("2025000123")
    assert portal.details("inbox search") == ["2025000123"]
    assert portal.details("open application") == ["2025000123"]
    assert ("Clicked successfully on element with XPath: /html/body/div[3]/div[1]/div[2]/div[4]/div/div/"
            "div[1]/div/div[2]/app-form/form/div[2]/div/div/button/span") in out()
