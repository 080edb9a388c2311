import kestrelflow.generic_utility as gu
from helpers import hovered

PAGE = "interaction_hover.html"


def test_hover_by_pointer_move(page, clock, out):
    assert gu.hovering_by_xpath(page, ["//div[@id='near']"], [], timeout=1) is True
    assert out() == [
        "Attempt 1 to hover over element with XPath: '//div[@id='near']'",
        "✅ Hovered successfully on element with XPath: //div[@id='near']",
    ]
    assert "near" in hovered(page)
    assert clock.sleeps == []


def test_unreachable_element_is_hovered_by_script(page, clock, out):
    # Displayed but fixed far outside the window: the pointer move fails.
    assert gu.hovering_by_xpath(page, ["//div[@id='far']"], [], timeout=1) is True
    lines = out()
    assert lines[0] == "Attempt 1 to hover over element with XPath: '//div[@id='far']'"
    assert lines[1] == "⚠️ Hover failed using move_to_element(): Message: move target out of bounds"
    assert lines[-1] == "✅ Hovered using JavaScript fallback."
    assert hovered(page) == ["far"]


def test_text_phase_hover(page, clock, out):
    assert gu.hovering_by_xpath(page, [], ["Far item"], timeout=1) is True
    lines = out()
    assert lines[:2] == ["❌ Failed to hover using XPaths, attempting text-based fallback...",
                         "Attempt 1 to hover over element with text: 'Far item'"]
    assert lines[2] == "⚠️ Hover failed using ActionChains: Message: move target out of bounds"
    assert lines[-1] == "✅ Hovered using JavaScript fallback."
    assert gu.hovering_by_xpath(page, [], ["Near item"], timeout=1) is True
    assert out()[-1] == "✅ Hovered successfully on element with text: 'Near item'"


def test_both_phases_fail_with_growing_pauses(page, clock, out):
    result = gu.hovering_by_xpath(page, ["//div[@id='hidden']"], ["Hidden item"], max_retries=2,
                                  timeout=0.5)
    assert result is False
    by_xpath = "Could not find/hover element with XPath '//div[@id='hidden']', trying next one..."
    by_text = "⚠️ Element with text 'Hidden item' not visible yet."
    assert out() == [
        "Attempt 1 to hover over element with XPath: '//div[@id='hidden']'", by_xpath,
        "Attempt 2 to hover over element with XPath: '//div[@id='hidden']'", by_xpath,
        "❌ Failed to hover using XPaths, attempting text-based fallback...",
        "Attempt 1 to hover over element with text: 'Hidden item'", by_text,
        "Attempt 2 to hover over element with text: 'Hidden item'", by_text,
        "❌ Failed to hover over any provided elements after 2 attempts.",
    ]
    assert clock.sleeps == [0.5, 1.0, 1, 2]
    assert [type(s) for s in clock.sleeps] == [float, float, int, int]


def test_text_error_and_scroll_failure_carry_the_exception(page, clock, out):
    assert gu.hovering_by_xpath(page, [], ["Don't", "Near item"], max_retries=1, scroll=True,
                                timeout=1) is True
    lines = out()
    assert lines[0].startswith("⚠️ Failed to scroll to element: Message: invalid selector")
    error = [l for l in lines if l.startswith("⚠️ An error occurred while trying to hover over text 'Don't': ")]
    assert error and "invalid selector" in error[0]
    assert lines[-1] == "✅ Hovered successfully on element with text: 'Near item'"


def test_scroll_to_each_text(page, clock, out):
    assert gu.hovering_by_xpath(page, ["//div[@id='near']"], ["Near item"], scroll=True, timeout=1)
    assert out()[0] == "🟦 Scrolled to element with text: Near item"
