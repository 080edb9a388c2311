"""Presence and disappearance over an elapsed period, and the portal's error
banner waited away with reloads."""
import pytest
from selenium.common.exceptions import InvalidSelectorException

BOX = "//div[@id='box']"
OTHER = "//div[@id='other']"
BROKEN = "//div[@id='box'"

# The portal's error banner, where the portal draws it.
BANNER = '//*[@id="app"]/div/div/div/div[2]/div/div/div/div/div/div/div/div/div/div[2]/div'

NOT_ENOUGH = "⏳ Timeout reached. Element not found enough times."
STILL_THERE = "⏳ Timeout reached. Element still exists."


class TestCheckElementExistance:
    def test_stop_mode_returns_at_the_first_sighting(self, gu, stage, clock, out):
        driver = stage.open(present=["other"])
        assert gu.check_element_existance(driver, [BOX, OTHER], mode="stop") is True
        assert out() == ["✅ Element exists at: " + OTHER]
        assert clock.sleeps == []

    def test_keep_mode_watches_the_whole_period(self, gu, stage, cue, out):
        driver = stage.open()
        cue.after(2, stage.run("put('box')")).after(3, stage.run("drop('box')"))
        assert gu.check_element_existance(driver, [BOX], maxtrial=5) is True
        assert out() == ["✅ Element exists at: " + BOX, "✅ Element was found 1 times during checks."]
        assert cue.sleeps == [1] * 5

    def test_one_count_per_poll(self, gu, stage, clock, out):
        driver = stage.open(present=["box", "other"])
        assert gu.check_element_existance(driver, [BOX, OTHER], maxtrial=2, min_found=2) is True
        assert out() == ["✅ Element exists at: " + BOX] * 2 + ["✅ Element was found 2 times during checks."]

    @pytest.mark.parametrize("mode, min_found", [("keep", 3), ("Keep", 1), ("stop ", 1)])
    def test_not_found_enough_times(self, gu, stage, clock, out, mode, min_found):
        driver = stage.open(present=["box"])
        assert gu.check_element_existance(driver, [BOX], maxtrial=2, mode=mode,
                                          min_found=min_found) is False
        assert out() == ["✅ Element exists at: " + BOX] * 2 + [NOT_ENOUGH]
        assert clock.sleeps == [1, 1]

    @pytest.mark.parametrize("maxtrial, min_found, lines, result", [
        (0, 1, [NOT_ENOUGH], False),
        (-3, 1, [NOT_ENOUGH], False),
        (0, 0, ["✅ Element was found 0 times during checks."], True),
    ])
    def test_empty_period(self, gu, stage, clock, out, maxtrial, min_found, lines, result):
        driver = stage.open(present=["box"])
        assert gu.check_element_existance(driver, [BOX], maxtrial=maxtrial, min_found=min_found) is result
        assert out() == lines and clock.sleeps == []

    def test_float_interval_counts_elapsed_time(self, gu, stage, clock, out):
        # 0 -> 0.4 -> 0.8 -> 1.2000000000000002: three polls below 1.
        driver = stage.open()
        assert gu.check_element_existance(driver, [BOX], maxtrial=1, polling_interval=0.4) is False
        assert clock.sleeps == [0.4] * 3

    def test_lookup_errors_other_than_not_found_propagate(self, gu, stage, clock, out):
        driver = stage.open()
        with pytest.raises(InvalidSelectorException):
            gu.check_element_existance(driver, [BROKEN])
        assert out() == []


class TestCheckElementDisapearing:
    def test_stop_mode_returns_at_the_first_absence(self, gu, stage, clock, out):
        driver = stage.open(present=["other"])
        assert gu.check_element_disapearing(driver, [BOX], mode="stop") is True
        assert out() == ["Element not found (1/3)", "✅ Element disappeared (stop mode)."]
        assert clock.sleeps == []

    def test_a_sighting_resets_the_count(self, gu, stage, cue, out):
        driver = stage.open()
        cue.after(1, stage.run("put('box')")).after(2, stage.run("drop('box')"))
        assert gu.check_element_disapearing(driver, [OTHER, BOX]) is True
        assert out() == ["Element not found (1/3)", "❌ Element still exists at: " + BOX,
                         "Element not found (1/3)", "Element not found (2/3)", "Element not found (3/3)",
                         "✅ Element disappeared for 3 consecutive checks."]
        assert cue.sleeps == [1] * 4

    def test_no_xpaths_count_as_gone(self, gu, stage, clock, out):
        driver = stage.open(present=["box"])
        assert gu.check_element_disapearing(driver, [], consecutive_not_exists=2) is True
        assert out() == ["Element not found (1/2)", "Element not found (2/2)",
                         "✅ Element disappeared for 2 consecutive checks."]
        assert clock.sleeps == [1]

    @pytest.mark.parametrize("present, mode, lines", [
        (["box", "other"], "keep", ["❌ Element still exists at: " + BOX] * 2),
        ([], "STOP", ["Element not found (1/3)", "Element not found (2/3)"]),
    ], ids=["still-there", "unknown-mode"])
    def test_time_out(self, gu, stage, clock, out, present, mode, lines):
        driver = stage.open(present=present)
        assert gu.check_element_disapearing(driver, [BOX, OTHER], maxtrial=2, mode=mode) is False
        assert out() == lines + [STILL_THERE]
        assert clock.sleeps == [1, 1]

    def test_empty_period(self, gu, stage, clock, out):
        driver = stage.open()
        assert gu.check_element_disapearing(driver, [BOX], maxtrial=0) is False
        assert out() == [STILL_THERE] and clock.sleeps == []


class TestWaitForErrorToDisappear:
    def test_no_banner_is_confirmed_without_pausing(self, gu, portal, clock, out):
        driver = portal()
        assert gu.wait_for_error_to_disappear(driver) is True
        assert out() == ["Error message not found (1/3).", "Error message not found (2/3).",
                         "Error message not found (3/3).",
                         "Error message disappeared for 3 consecutive checks."]
        assert clock.sleeps == [] and portal.loads(1) == 1

    def test_reloads_while_the_banner_shows(self, gu, portal, clock, out):
        driver = portal(banner=2)
        assert gu.wait_for_error_to_disappear(driver, consecutive_not_exists=2) is True
        seen = ["Error message still exists at: " + BANNER + ". Refreshing the page...",
                "Page refreshed to attempt resolving the error."]
        assert out() == seen * 2 + ["Error message not found (1/2).", "Error message not found (2/2).",
                                    "Error message disappeared for 2 consecutive checks."]
        assert clock.sleeps == [1, 1] and portal.loads(3) == 3

    @pytest.mark.parametrize("maxtrial, interval, polls", [(3, 1, 3), (1, 0.4, 3), (2.5, 1, 3), (0, 1, 0)])
    def test_banner_that_stays(self, gu, portal, clock, out, maxtrial, interval, polls):
        driver = portal(banner=99)
        assert gu.wait_for_error_to_disappear(driver, maxtrial, interval) is False
        lines = out()
        assert lines[-1] == "Timeout reached. Error message still exists."
        assert len(lines) == 2 * polls + 1
        assert clock.sleeps == [interval] * polls and portal.loads(polls + 1) == polls + 1


class TestUnusableBrowser:
    """A page that cannot be asked proves nothing: the banner wait runs out."""

    @pytest.fixture
    def closed_window(self, driver):
        home = driver.current_window_handle
        driver.switch_to.new_window("tab")
        driver.close()
        yield driver
        driver.switch_to.window(home)

    def test_closed_window_never_confirms_the_banner_gone(self, gu, closed_window, clock, out):
        try:
            closed_window.find_element("xpath", "//body")
        except Exception as error:
            first_line = str(error).splitlines()[0]
        assert gu.wait_for_error_to_disappear(closed_window, maxtrial=3) is False
        assert out() == ["⚠️ Could not check for the error message: " + first_line,
                         "Timeout reached. Error message still exists."]
        assert clock.sleeps == [1, 1, 1]


@pytest.mark.parametrize("routine, args", [
    ("check_element_existance", ([BOX],)),
    ("check_element_disapearing", ([BOX],)),
    ("wait_for_error_to_disappear", ()),
])
@pytest.mark.parametrize("interval", [0, -1, 0.0])
def test_an_interval_that_never_advances_is_refused(gu, stage, clock, out, routine, args, interval):
    driver = stage.open()
    with pytest.raises(ValueError, match="polling_interval must be positive"):
        getattr(gu, routine)(driver, *args, maxtrial=5, polling_interval=interval)
    assert out() == [] and clock.sleeps == []
