"""Land search on the fake portal: the plot criteria, the owner search and
the two result tables read into DataFrames."""
import pandas as pd
import pytest

import kestrelflow.generic_utility as gu

from workflows.timeline import LOADING, X, wait_for_id

PLOT_COLUMNS = ["checkbox_selected", "municipality", "district", "community", "road",
                "plot Number", "Land Use", "has Block", "has Mortgage"]
OWNER_COLUMNS = ["Land Use", "District", "Community", "Road", "Plot Number", "Status Block",
                 "Status Mortgage", "Checkbox"]
TYPE = {"calender_date": None, "max_attempts": 3, "timeout": 10, "scroll": False, "input_delay": 2}
PANEL_INPUT = ["/html/body/span/span/span[1]/input", "/html/body/span/span/span[1]"]
FIRST_RESULT = ["/html/body/span/span/span[2]/ul/li[1]"]

# The field-entry routines themselves (the timeline spies on the module's names).
enter_municipality = gu.enter_municipality
enter_plot_number = gu.enter_plot_number
enter_district_or_zone = gu.enter_district_or_zone
enter_land_use = gu.enter_land_use


@pytest.fixture
def land_search(devu, portal):
    devu.get(portal.devu_url("/private#landsearch"))
    wait_for_id(devu, "plotNumber_input")
    return devu


def open_plot_tab(driver):
    driver.find_element("xpath", "//ul[@class='nav-tabs']/li[3]").click()


# ---- the plot criteria ------------------------------------------------------------------

@pytest.mark.parametrize("routine, args, banner, chosen, pauses", [
    (enter_municipality, ("municipality", "Al Ain"), "=======Enter municipality",
     ("choose municipalityId_input", "Al Ain"), [2]),
    (enter_district_or_zone, ("district", "Musaffah"), "=======Enter district or zone",
     ("choose districtId_input", "Musaffah"), [1]),
    (enter_land_use, ("landuse", "Commercial"), "=======Enter Land Use",
     ("choose landuseId_input", "Commercial"), [2, 2]),
])
def test_each_list_is_opened_filtered_and_chosen(land_search, portal, timeline, routine, args,
                                                 banner, chosen, pauses):
    open_plot_tab(land_search)
    container = ["//*[@id=\"select2-%sId_input-container\"]" % args[0]]
    if routine is enter_land_use:
        routine(land_search, container, PANEL_INPUT, args[1], FIRST_RESULT)
    else:
        routine(land_search, container, args[1], PANEL_INPUT, FIRST_RESULT)
    assert timeline.lines() == [banner]
    assert timeline.sleeps() == pauses
    assert portal.details(chosen[0]) == [chosen[1]]
    assert timeline.calls()[0] == ("clicking_on_element_by_all_option", (X(1), [""]), {"max_retries": 5})
    typed = args[1] if routine is enter_municipality else [args[1]]
    assert timeline.calls()[1] == ("input_data_by_all_option", (X(2), [""], typed),
                                   {**TYPE, "field_type": "others"})
    assert timeline.calls()[2] == ("clicking_on_element_by_all_option", (X(1), [""]), {"max_retries": 5})


def test_plot_number_is_typed(land_search, timeline):
    open_plot_tab(land_search)
    enter_plot_number(land_search, ["//*[@id=\"plotNumber_input\"]"], "C-17")
    assert timeline == [
        ("print", "=======Enter Plot Number"),
        ("input_data_by_all_option", (X(1), [""], "C-17"), {**TYPE, "field_type": "Text_field"}),
        ("sleep", 4),
    ]
    assert land_search.find_element("id", "plotNumber_input").get_attribute("value") == "C-17"


def test_value_missing_from_a_list_leaves_it_unchosen(land_search, portal, out):
    open_plot_tab(land_search)
    enter_district_or_zone(land_search, ["//*[@id=\"select2-districtId_input-container\"]"],
                              "Atlantis", PANEL_INPUT, FIRST_RESULT)
    assert portal.details("choose districtId_input") == []
    assert out()[0] == "=======Enter district or zone"


SEARCH_STEPS = [
    ("clicking_on_element_by_all_option", (X(4), ["Search By Plot"]), {"max_retries": 5}),
    ("enter_municipality", (X(2), ["Abu Dhabi"], X(2), X(1)), {}),
    ("enter_plot_number", (X(1), "C-17"), {}),
    ("enter_district_or_zone", (X(1), "Al Bateen", X(2), X(1)), {}),
    ("enter_land_use", (X(1), X(2), "Residential", X(1)), {}),
]
SEARCH_PRESS = ("clicking_on_element_by_all_option", (X(4), ["Search"]), {"max_retries": 5})


@pytest.mark.parametrize("double_click_option, presses", [
    (False, 1), (None, 1), ("", 1), (0, 1), (1, 2), ("yes", 2),
])
def test_search_by_plot_enters_four_criteria_and_searches(land_search, portal, timeline, clock,
                                                          double_click_option, presses):
    assert gu.Search_by_plot(land_search, "C-17", "Al Bateen", "Residential", double_click_option) is None
    assert timeline == SEARCH_STEPS + [SEARCH_PRESS] * presses
    assert portal.details("plot search") == [
        {"municipality": "Abu Dhabi", "district": "Al Bateen", "land_use": "Residential",
         "plot_number": "C-17"}] * presses


# ---- the plot results -------------------------------------------------------------------------

def test_plot_results_are_read_row_by_row(land_search, timeline, out):
    gu.Search_by_plot(land_search, "C-17", "Al Bateen", "Residential")
    out()
    frame = gu.Getting_data_from_plot_search(land_search)
    assert list(frame.columns) == PLOT_COLUMNS
    assert frame.values.tolist() == [
        [True, "Abu Dhabi", "Al Bateen", "W-12", "Al Bateen St", "C-17", "Residential", "Yes", "No"],
        [False, "Abu Dhabi", "Al Bateen", "W-14", "Corniche Rd", "C-17", "Residential", "No", "Yes"],
    ]
    assert frame["checkbox_selected"].dtype == bool
    assert out() == []


def test_row_without_flag_span_is_skipped(land_search, out):
    gu.Search_by_plot(land_search, "M-88", "Musaffah", "Industrial")
    out()
    frame = gu.Getting_data_from_plot_search(land_search)
    assert frame["community"].tolist() == ["M-4"]
    assert out() == ["Error extracting data from row:"]


def test_no_plot_rows_give_an_empty_frame_with_the_columns(land_search):
    gu.Search_by_plot(land_search, "0000", "Zone 1", "Commercial")
    frame = gu.Getting_data_from_plot_search(land_search)
    assert list(frame.columns) == PLOT_COLUMNS and len(frame) == 0


# ---- the owner search ---------------------------------------------------------------------------

def owner_steps(eid):
    return [
        ("clicking_on_element_by_all_option", (X(2), ["Search Owner"]), {"max_retries": 5}),
        ("wait_for_page_to_load", (LOADING,), {}),
        ("input_data_by_all_option", (X(1), [""], [eid]), {**TYPE, "field_type": "Text_field"}),
        ("sleep", 2),
        ("clicking_on_element_by_all_option", (X(2), [" "]), {"max_retries": 5, "timeout": 5, "scroll": True}),
        ("wait_for_page_to_load", (LOADING,), {}),
    ]


def test_owner_search_ticks_the_first_plot(land_search, portal, timeline):
    assert gu.search_by_owner(land_search, "784198012345671") is True
    assert timeline == owner_steps("784198012345671")
    assert portal.details("owner search") == ["784198012345671"]
    assert portal.details("owner plot ticked") == [{"plot": "C-17", "checked": True}]


def test_owner_without_plots_still_returns_true(land_search, portal, timeline):
    assert gu.search_by_owner(land_search, "784190000000000") is True
    assert timeline == owner_steps("784190000000000")
    assert portal.details("owner plot ticked") == []


def test_owner_search_off_the_land_search_page_raises(devu, portal, timeline):
    devu.get(portal.devu_url("/private#services"))
    with pytest.raises(gu.NoSuchElementException):
        gu.search_by_owner(devu, "784198012345671")
    assert [entry[0] for entry in timeline] == [
        "clicking_on_element_by_all_option", "wait_for_page_to_load", "input_data_by_all_option"]


@pytest.mark.parametrize("eid, expected", [
    # the striped table; the second plot has no block span, so the column shifts up
    ("784198012345671", {
        "Land Use": ["Residential", "Commercial", "Residential"],
        "District": ["Al Bateen", "Al Khalidiya", "Zone 1"],
        "Community": ["W-12", "W-7", "A-1"],
        "Road": ["Al Bateen St", "Khalidiya St", "Oasis Rd"],
        "Plot Number": ["C-17", "K-2", "Z-5"],
        "Status Block": ["Has Status", "No Status", None],
        "Status Mortgage": ["No Status", "Has Status", "No Status"],
        "Checkbox": [True, False, False],
    }),
    # the plain table style
    ("784199056789012", {
        "Land Use": ["Industrial"], "District": ["Zone 1"], "Community": ["D-9"], "Road": ["Desert Rd"],
        "Plot Number": ["D-41"], "Status Block": ["No Status"], "Status Mortgage": ["Has Status"],
        "Checkbox": [True],
    }),
])
def test_owner_results_are_read_column_by_column(land_search, eid, expected):
    gu.search_by_owner(land_search, eid)
    frame = gu.Getting_data_from_Owner_search(land_search)
    assert list(frame.columns) == OWNER_COLUMNS
    # the padding is a missing value (None, or NaN in a text column)
    assert {column: [None if pd.isna(v) else v for v in frame[column].tolist()]
            for column in OWNER_COLUMNS} == expected


def test_no_owner_table_gives_eight_empty_columns(land_search):
    frame = gu.Getting_data_from_Owner_search(land_search)
    assert list(frame.columns) == OWNER_COLUMNS and len(frame) == 0


def test_release_with_app_form_search_block(devu, portal, out):
    devu.get(portal.devu_url("/private?layout=forms#landsearch"))
    wait_for_id(devu, "plotNumber_input")
    assert gu.search_by_owner(devu, "784199056789012") is True
    assert portal.details("owner plot ticked") == [{"plot": "D-41", "checked": True}]
    gu.Search_by_plot(devu, "C-17", "Al Bateen", "Residential")
    assert len(portal.details("plot search")) == 1
    assert len(gu.Getting_data_from_plot_search(devu)) == 2
    lines = out()
    for tab in ("li[1]", "li[3]"):
        assert ("Clicked successfully on element with XPath: /html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/"
                "div[1]/div/app-form/form/div[2]/div[2]/ul/" + tab) in lines
