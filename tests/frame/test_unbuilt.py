"""Routines that are bound but not built yet.

This list is a progress gauge, not a feature: it must shrink to zero.  A
routine that gets built is removed from it (the test fails until it is).
"""
import inspect

import pytest

import kestrelflow.generic_utility as gu

UNBUILT = [
    "Navigating_into_service_name_SH",
    "wait_for_element_to_appear",
    "click_and_check_url_change",
    "find_matching_row",
    "click_checkbox_by_row",
    "application_details_formatting",
    "Getting_Application_Detials",
    "Getting_Application_From_Inbox",
    "ZIV_payment",
    "enter_municipality",
    "enter_plot_number",
    "enter_district_or_zone",
    "enter_land_use",
    "Search_by_plot",
    "search_by_owner",
    "Getting_data_from_Owner_search",
    "get_element_with_retries",
    "Getting_data_from_plot_search",
    "send_post_requests_for_payloads",
    "wait_for_error_to_disappear",
    "check_element_existance",
    "check_element_disapearing",
    "check_data_error_retrieving",
    "wait_for_loading_elements",
    "dismiss_alerts",
    "Skipping_intro_part",
    "wait_for_element",
    "upload_official_letter",
    "scrape_application_number",
    "find_error_messages",
    "parse_application_details",
]


@pytest.mark.parametrize("name", UNBUILT)
def test_still_unbuilt(name):
    function = getattr(gu, name)
    args = [None] * sum(1 for p in inspect.signature(function).parameters.values()
                        if p.default is inspect.Parameter.empty)
    with pytest.raises(NotImplementedError, match=name):
        function(*args)


def test_unbuilt_count(capsys):
    with capsys.disabled():
        print(f"\n{len(UNBUILT)} of 72 routines still unbuilt")
    assert len(UNBUILT) < 72
