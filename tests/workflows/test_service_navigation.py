"""Opening an e-service from the portal's Services tab."""
from pathlib import Path

import kestrelflow.generic_utility as gu

from workflows.timeline import LOADING, X

CLICK = {"max_retries": 4, "scroll": False, "timeout": 4}
TYPE = {"calender_date": None, "max_attempts": 3, "timeout": 10, "scroll": False,
        "input_delay": 2, "field_type": "Text_field"}


def steps(name):
    return [
        ("clicking_on_element_by_all_option", (X(2), ["Services"]), CLICK),
        ("sleep", 2),
        ("capture_screenshot", (), {"screen_number": 1, "service_name": name,
                                    "step_name": "After clicking service tab"}),
        ("wait_for_page_to_load", (LOADING,), {}),
        ("sleep", 2),
        ("input_data_by_all_option", (X(2), [""], [name]), TYPE),
        ("sleep", 2),
        ("capture_screenshot", (), {"screen_number": 1, "service_name": name,
                                    "step_name": "Input service name"}),
        ("clicking_on_element_by_all_option", (X(3), [name]), CLICK),
        ("sleep", 2),
    ]


def screenshots(name):
    return sorted(p.name.rsplit("_", 2)[0] for p in (Path("Screenshots") / name).iterdir())


def test_service_is_opened_through_tab_search_and_card(devu, portal, timeline):
    devu.get(portal.devu_url())
    assert gu.Navigating_into_service_name_SH(devu, "Building Permit", LOADING) is None
    assert timeline == steps("Building Permit")
    assert portal.details("menu") == ["services"]
    assert portal.details("open service") == ["Building Permit"]
    assert devu.find_element("id", "service-title").text == "Building Permit"
    assert screenshots("Building Permit") == ["After_clicking_service_tab", "Input_service_name"]


def test_arabic_portal_and_arabic_service_name(devu, portal, timeline):
    devu.get(portal.devu_url("/private?lang=ar#dashboard"))
    gu.Navigating_into_service_name_SH(devu, "شهادة ملكية أرض", LOADING)
    assert timeline == steps("شهادة ملكية أرض")
    assert portal.details("open service") == ["شهادة ملكية أرض"]


def test_unknown_service_runs_every_step_and_opens_nothing(devu, portal, timeline, out):
    devu.get(portal.devu_url())
    assert gu.Navigating_into_service_name_SH(devu, "building permit ", LOADING) is None
    assert timeline == steps("building permit ")
    assert portal.details("open service") == []
    assert out()[-1] == "Failed to click element with provided text inputs after 4 attempts."
