"""Routines that are bound but not built yet.

This list is a progress gauge, not a feature: it must shrink to zero.  A
routine that gets built is removed from it (the test fails until it is).
"""
import inspect

import pytest

import kestrelflow.generic_utility as gu

UNBUILT = [
    "extract_email_data",
    "authenticate_gmail",
    "list_messages",
    "get_message_details",
    "populate_email_template",
    "fetch_emails_to_dataframe",
    "read_html_template",
    "save_html_file",
    "create_temp_html_file",
    "copy_and_rename_file",
    "create_folder_in_path",
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
