"""The test bed: a display, a page server, a real headless Chromium and a fake clock.

Xvfb is started by the pytest-xvfb plugin before collection (the pointer and
screen libraries need a display at import).
"""
from pathlib import Path

import pytest

import helpers
from fakes import FakeTime
from kestrelflow.demo.server import PageServer
from kestrelflow.local_browser import open_chrome

# kestrelflow.generic_utility is imported lazily: it needs the display that
# pytest-xvfb starts after this file has been loaded.

PAGES = Path(__file__).parent / "pages"

# Set on loading, before pytest-xvfb starts the display: everything this
# process starts from now on carries the marker (see helpers.started_here).
helpers.mark_this_process()


# ---- no process outlives the suite ------------------------------------------------

@pytest.fixture(scope="session", autouse=True)
def no_process_outlives_the_suite():
    """Set up before and torn down after every other session fixture (the
    browsers and chromedriver servers end there first): whatever this
    process's tests started and is still running then is ended, and the run
    fails, naming it.  Each pytest-xdist worker checks its own."""
    yield
    # A browser told to quit a moment ago may still be on its way out.
    left = helpers.running_after(helpers.started_here(), 60)
    if left:
        told = [helpers.describe(process) for process in left]
        helpers.end_processes(left)
        pytest.fail("processes outlived the tests that started them (ended now):\n"
                    + "\n".join(told), pytrace=False)


@pytest.fixture
def gu():
    import kestrelflow.generic_utility as module
    return module


# ---- pages served from localhost ----------------------------------------------

@pytest.fixture(scope="session")
def pages():
    """Serves tests/pages on 127.0.0.1 (a random port); pages.url("x.html")."""
    with PageServer(PAGES) as server:
        yield server


# ---- a real browser ----------------------------------------------------------------

@pytest.fixture(scope="session")
def browser():
    driver = open_chrome(headless=True)
    driver.set_page_load_timeout(30)
    yield driver
    driver.quit()


@pytest.fixture
def driver(browser):
    """The session's browser, on a blank page with no alert pending."""
    try:
        browser.switch_to.alert.accept()
    except Exception:
        pass
    browser.get("about:blank")
    return browser


@pytest.fixture
def open_page(driver, pages):
    """open_page("x.html", key=value, ...): the browser on a page of
    tests/pages, with the keywords as its query string, in their order."""
    def opener(name, **query):
        url = pages.url(name)
        if query:
            url += "?" + "&".join(f"{key}={value}" for key, value in query.items())
        driver.get(url)
        return driver
    return opener


@pytest.fixture
def page(request, open_page):
    """The browser on the page named by the test module's PAGE."""
    return open_page(request.module.PAGE)


# ---- a fake clock --------------------------------------------------------------------

@pytest.fixture
def clock(gu, monkeypatch):
    fake = FakeTime()
    monkeypatch.setattr(gu, "time", fake)
    return fake


@pytest.fixture
def out(capsys):
    """Lines printed so far (and clears them)."""
    def lines():
        return capsys.readouterr().out.splitlines()
    return lines
