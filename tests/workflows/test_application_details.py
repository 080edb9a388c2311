"""Application details from text: the one-row record and the step-value maps."""
import pandas as pd
import pytest

import kestrelflow.generic_utility as gu

COLUMNS = ["Service", "Application Number", "Application Start Date", "On Behalf Of",
           "Submit Date", "Current Inbox"]

PANEL = (
    "Service\nLand Ownership Certificate\n"
    "Application Number\n2025000123\n"
    "Application Start Date\n2025-03-01 09:15:00\n"
    "On Behalf Of\nMariam Saeed\n"
    "Submit Date 2025-03-02, 11:40\n"
    "Current Inbox\tLand Registry Officer\n"
)


def record(frame):
    assert list(frame.columns) == COLUMNS
    assert len(frame) == 1
    return frame.iloc[0].to_dict()


def test_panel_text_becomes_one_row(out):
    assert record(gu.application_details_formatting(PANEL)) == {
        "Service": "Land Ownership Certificate",
        "Application Number": "2025000123",
        "Application Start Date": "2025-03-01 09:15:00",
        "On Behalf Of": "Mariam Saeed",
        "Submit Date": "2025-03-02, 11:40",
        "Current Inbox": "Land Registry Officer",
    }
    assert out() == []


@pytest.mark.parametrize("text, column, value", [
    # digits only, letters after them are left out
    ("Application Number 12345ABC", "Application Number", "12345"),
    # the first occurrence wins, even as the start of a longer phrase
    ("Service fee paid\nService Land Permit", "Service", "fee paid"),
    # a date stops at the first character outside digits, - : , and blanks
    ("Submit Date 2025-01-02 10:00 (local)", "Submit Date", "2025-01-02 10:00 "),
    # a label with no white space after it does not match
    ("Current Inbox:Officer", "Current Inbox", None),
])
def test_each_value_is_the_first_match(text, column, value):
    assert record(gu.application_details_formatting(text))[column] == value


def test_text_without_labels_gives_a_row_of_none():
    assert record(gu.application_details_formatting("nothing to see")) == dict.fromkeys(COLUMNS)


@pytest.mark.parametrize("text", ["", None, False])
def test_missing_text_gives_the_empty_frame(text, out):
    frame = gu.application_details_formatting(text)
    assert frame.empty and list(frame.columns) == []
    assert out() == ["Failed to extract application details text."]


@pytest.mark.parametrize("data, expected", [
    ([{"step": "Details", "value": "Heading\nService\nPermit\nFee\n100"}],
     {"Details": {"Service": "Permit", "Fee": "100"}}),
    # blank lines and surrounding blanks go before pairing; a last unpaired line is dropped
    ([{"step": "Details", "value": "\n  Heading \n\n  Service  \n Permit \n\nOrphan\n"}],
     {"Details": {"Service": "Permit"}}),
    # heading, label, value: one label; two lines: nothing
    ([{"step": "a", "value": "H\nL\nV"}, {"step": "b", "value": "H\nL"}], {"a": {"L": "V"}, "b": {}}),
    # a repeated label keeps its last value; a repeated step replaces the earlier one
    ([{"step": "s", "value": "H\nL\n1\nL\n2"}, {"step": "t", "value": "H\nX\n1"},
      {"step": "t", "value": "H\nY\n2"}], {"s": {"L": "2"}, "t": {"Y": "2"}}),
    # no value: no labels; no step: stored under None
    ([{"step": "empty"}, {"value": "H\nA\nB"}], {"empty": {}, None: {"A": "B"}}),
    ([], {}),
])
def test_step_values_become_label_maps(data, expected):
    assert gu.parse_application_details(data) == expected


def test_step_value_of_another_shape_raises():
    with pytest.raises(AttributeError):
        gu.parse_application_details(["Heading\nLabel\nValue"])
