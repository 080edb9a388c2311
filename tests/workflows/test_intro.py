"""Clicking through the portal's introduction tour."""
import pytest

import kestrelflow.generic_utility as gu

from workflows.timeline import X

CLICK = {"max_retries": 4, "timeout": 5, "scroll": True}


@pytest.fixture
def alerts(monkeypatch):
    """The drivers dismiss_alerts was called with."""
    calls = []
    real = gu.dismiss_alerts

    def dismiss(driver):
        calls.append(driver)
        return real(driver)
    monkeypatch.setattr(gu, "dismiss_alerts", dismiss)
    return calls


def test_tour_is_clicked_through(devu, portal, timeline):
    devu.get(portal.devu_url("/private?intro=1#dashboard"))
    assert gu.Skipping_intro_part(devu) is None
    assert timeline == [
        ("sleep", 0.5),
        ("clicking_on_element_by_all_option", (X(1), ["Continue"]), CLICK), ("sleep", 0.5),
        ("clicking_on_element_by_all_option", (X(1), ["Continue"]), CLICK), ("sleep", 0.5),
        ("clicking_on_element_by_all_option", (X(1), ["Finish"]), CLICK), ("sleep", 0.5),
    ]
    assert portal.kinds("devu") == ["intro Continue", "intro Continue", "intro Finish", "intro finished"]
    assert not devu.find_element("id", "intro-tour").is_displayed()


def test_page_without_tour_runs_every_step(devu, portal, timeline, out):
    devu.get(portal.devu_url("/private#dashboard"))
    assert gu.Skipping_intro_part(devu, 2) is None
    assert timeline.sleeps() == [2, 2, 2, 2]
    assert len(timeline.calls()) == 3
    assert portal.kinds("devu") == []
    assert out().count("Failed to click element with provided text inputs after 4 attempts.") == 3


def raising_click(monkeypatch, on_call, error):
    """Makes the n-th click raise `error`; returns the texts of the clicks."""
    real = gu.clicking_on_element_by_all_option
    texts = []

    def click(driver, xpaths, text_list, **kwargs):
        texts.append(text_list[0])
        if len(texts) == on_call:
            raise error
        return real(driver, xpaths, text_list, **kwargs)
    monkeypatch.setattr(gu, "clicking_on_element_by_all_option", click)
    return texts


def test_failing_click_leads_to_alert_dismissal_and_goes_on(devu, portal, alerts, clock, monkeypatch):
    devu.get(portal.devu_url("/private?intro=1#dashboard"))
    texts = raising_click(monkeypatch, 2, RuntimeError("click failed"))
    gu.Skipping_intro_part(devu)
    assert texts == ["Continue", "Continue", "Finish"]
    assert alerts == [devu]
    assert clock.sleeps.count(0.5) == 4
    # the tour stayed on its second panel, so the last click found no "Finish"
    assert portal.kinds("devu") == ["intro Continue"]


def test_ctrl_c_stops_the_tour(devu, portal, alerts, clock, monkeypatch):
    devu.get(portal.devu_url("/private?intro=1#dashboard"))
    texts = raising_click(monkeypatch, 1, KeyboardInterrupt())
    with pytest.raises(KeyboardInterrupt):
        gu.Skipping_intro_part(devu)
    assert texts == ["Continue"] and alerts == []
    assert clock.sleeps == [0.5]
