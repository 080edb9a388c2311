"""The test bed: a display, a page server, a real headless Chromium and a fake clock.

Xvfb is started by the pytest-xvfb plugin before collection (the pointer and
screen libraries need a display at import).
"""
import functools
import http.server
import threading
from pathlib import Path

import pytest

from testbed import open_chrome

# kestrelflow.generic_utility is imported lazily: it needs the display that
# pytest-xvfb starts after this file has been loaded.

PAGES = Path(__file__).parent / "pages"


# ---- pages served from localhost ----------------------------------------------

class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageServer:
    def __init__(self, root):
        handler = functools.partial(_QuietHandler, directory=str(root))
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, name):
        return self.base + name

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture(scope="session")
def pages():
    """Serves tests/pages on 127.0.0.1 (a random port); pages.url("x.html")."""
    server = PageServer(PAGES)
    yield server
    server.close()


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


# ---- a fake clock --------------------------------------------------------------------

class FakeTime:
    """Stands in for the module's `time`: sleeps are recorded, not slept."""

    def __init__(self):
        import time as real
        self._real = real
        self.sleeps = []

    def sleep(self, seconds):
        self.sleeps.append(seconds)

    def __getattr__(self, name):
        return getattr(self._real, name)


@pytest.fixture
def clock(monkeypatch):
    import kestrelflow.generic_utility as gu
    fake = FakeTime()
    monkeypatch.setattr(gu, "time", fake)
    return fake


@pytest.fixture
def out(capsys):
    """Lines printed so far (and clears them)."""
    def lines():
        return capsys.readouterr().out.splitlines()
    return lines
