"""Fixtures of the portal workflow tests: the fake DEVU and ZIV applications
(on a loopback address of their own), a browser that resolves their host
names to it, short waits."""
import pytest

from workflows.timeline import ZIV_PASSWORD, ZIV_USER, Timeline

from kestrelflow.local_browser import open_chrome

@pytest.fixture(scope="session")
def fake_portal():
    from kestrelflow.demo.fake_portal import FakePortal
    portal = FakePortal(ziv_user=ZIV_USER, ziv_password=ZIV_PASSWORD)
    yield portal
    portal.close()


@pytest.fixture
def portal(fake_portal):
    """The fake portal with its original contents and no events."""
    fake_portal.reset()
    return fake_portal


@pytest.fixture(scope="session")
def portal_browser(fake_portal):
    # Every host name resolves to the fake portal's address.
    driver = open_chrome(headless=True, extra_arguments=fake_portal.browser_arguments())
    driver.set_page_load_timeout(30)
    yield driver
    driver.quit()


@pytest.fixture
def browser_on_blank(portal_browser, portal):
    """The portal browser on a blank page, back in the main document, no cookies."""
    portal_browser.switch_to.default_content()
    portal_browser.get("about:blank")
    portal_browser.delete_all_cookies()
    return portal_browser


@pytest.fixture
def short_waits(monkeypatch):
    """The module's WebDriverWait rebound to a subclass whose timeout is
    capped at 0.25 s with a fast poll; .timeouts lists the timeouts the
    routines asked for."""
    import kestrelflow.generic_utility as gu

    class ShortWait(gu.WebDriverWait):
        timeouts = []

        def __init__(self, driver, timeout, poll_frequency=0.5, ignored_exceptions=None):
            ShortWait.timeouts.append(timeout)
            super().__init__(driver, min(timeout, 0.25), poll_frequency=0.05,
                             ignored_exceptions=ignored_exceptions)

    monkeypatch.setattr(gu, "WebDriverWait", ShortWait)
    return ShortWait


@pytest.fixture
def timeline(clock, monkeypatch):
    import kestrelflow.generic_utility as gu
    return Timeline(gu, clock, monkeypatch)


@pytest.fixture
def devu(browser_on_blank, portal, short_waits, clock, monkeypatch, tmp_path):
    """The portal browser with fast waits, a fake clock and a scratch working folder."""
    monkeypatch.chdir(tmp_path)
    return browser_on_blank
