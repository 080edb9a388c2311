import pytest
from selenium.common.exceptions import InvalidSelectorException

import kestrelflow.generic_utility as gu
from helpers import clicks

PAGE = "interaction_by_text.html"


@pytest.mark.parametrize("text, name", [("draft", "save"), ("Padded", "padded")])
def test_contains(page, clock, out, text, name):
    assert gu.click_element_by_text(page, text, timeout=1) is True
    assert out() == [f"Attempt 1 to click element with text: '{text}'",
                     f"Element with text '{text}' clicked successfully (using contains)."]
    assert clicks(page) == [name]


def retry_line(text, of=4):
    return f"Retry 1/{of}: Could not click element with contains text '{text}'. Trying other methods..."


def test_exact(page, clock, out):
    assert gu.click_element_by_text(page, "Second node", timeout=0.5) is True
    assert out() == ["Attempt 1 to click element with text: 'Second node'",
                     retry_line("Second node"),
                     "Element with text 'Second node' clicked successfully (using exact text match)."]
    assert clicks(page) == ["second-node"]
    assert clock.sleeps == []


def test_span(page, clock, out):
    assert gu.click_element_by_text(page, "Spanned", timeout=0.5) is True
    assert out() == ["Attempt 1 to click element with text: 'Spanned'",
                     retry_line("Spanned"),
                     "Failed to click element by exact match:",
                     "Element with span text 'Spanned' clicked successfully (using span exact match)."]
    assert clicks(page) == ["span"]


def test_parent(page, clock, out):
    assert gu.click_element_by_text(page, "Ghost", timeout=0.5) is True
    assert out() == ["Attempt 1 to click element with text: 'Ghost'",
                     retry_line("Ghost"),
                     "Failed to click element by exact match:",
                     "Failed to click element by span match: ",
                     "Clicked parent of element with text 'Ghost'."]
    assert clicks(page) == ["parent"]


def test_parent_that_is_the_page_counts_as_not_found(page, clock, out):
    assert gu.click_element_by_text(page, "Hidden at top", max_retries=1, timeout=0.5) is False
    assert out() == ["Attempt 1 to click element with text: 'Hidden at top'",
                     retry_line("Hidden at top", 1),
                     "Failed to click element by exact match:",
                     "Failed to click element by span match: ",
                     "Failed to click parent element: ",
                     "Failed to click element with text 'Hidden at top' after 1 attempts."]
    assert clicks(page) == []
    assert clock.sleeps == [1]


def test_cycles_exhausted(page, clock, out):
    assert gu.click_element_by_text(page, "Absent", max_retries=2, timeout=0.5) is False
    cascade = ["Failed to click element by exact match:", "Failed to click element by span match: ",
               "Failed to click parent element: "]
    assert out() == [
        "Attempt 1 to click element with text: 'Absent'", retry_line("Absent", 2), *cascade,
        "Attempt 2 to click element with text: 'Absent'",
        "Retry 2/2: Could not click element with contains text 'Absent'. Trying other methods...",
        *cascade,
        "Failed to click element with text 'Absent' after 2 attempts.",
    ]
    assert clock.sleeps == [1, 2]


def test_no_retries(page, clock, out):
    assert gu.click_element_by_text(page, "draft", max_retries=0) is False
    assert out() == ["Failed to click element with text 'draft' after 0 attempts."]


def test_errors_other_than_timeout_propagate(page, clock, out):
    with pytest.raises(InvalidSelectorException):
        gu.click_element_by_text(page, "Don't", timeout=1)
