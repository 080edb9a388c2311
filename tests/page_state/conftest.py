"""Page-state fixtures: a clock that changes the page on cue, and the stage page."""
import itertools

import pytest
from selenium.common.exceptions import WebDriverException

from helpers import awaited

_runs = itertools.count()


@pytest.fixture
def cue(clock, monkeypatch, gu):
    """The fake clock, able to run an action right after its n-th sleep:
    cue.after(2, lambda: driver.execute_script("drop('box')"))."""

    class CueClock(type(clock)):
        def __init__(self):
            super().__init__()
            self.actions = {}

        def after(self, nth_sleep, action):
            self.actions.setdefault(nth_sleep, []).append(action)
            return self

        def sleep(self, seconds):
            super().sleep(seconds)
            for action in self.actions.pop(len(self.sleeps), []):
                action()

    fake = CueClock()
    monkeypatch.setattr(gu, "time", fake)
    return fake


@pytest.fixture
def stage(driver, open_page):
    """Opens the stage page with elements present (and hidden) at load;
    stage.run("drop('box')") changes it."""

    class Stage:
        def open(self, present=(), hidden=()):
            return open_page("page_state_stage.html", present=",".join(present),
                             hidden=",".join(hidden))

        def run(self, script):
            return lambda: driver.execute_script(script)

    return Stage()


@pytest.fixture
def portal(driver, open_page):
    """Opens the portal page for a fresh run: portal(banner=2) shows the error
    banner on the first two loads; portal.loads(3) counts the loads, waiting
    for the third when a reload the routine asked for is still under way."""

    class Portal:
        def __call__(self, **query):
            query.setdefault("run", "run%d" % next(_runs))
            return open_page("page_state_portal.html", **query)

        def loads(self, expected):
            def count():
                try:
                    return driver.execute_script("return window.loads")
                except WebDriverException:  # the page is between two loads
                    return None
            return awaited(count, expected)

    return Portal()
