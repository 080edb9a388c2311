"""Routines that are bound but not built yet.

This list is a progress gauge, not a feature: it must shrink to zero.  A
routine that gets built is removed from it (the test fails until it is).
"""
import inspect

import pytest

import kestrelflow.generic_utility as gu

UNBUILT = [
    "Navigating_into_service_name_SH",
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
    "Getting_data_from_plot_search",
    "send_post_requests_for_payloads",
    "Skipping_intro_part",
    "upload_official_letter",
    "scrape_application_number",
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
