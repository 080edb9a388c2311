"""The portal workflows through a remote session: each test of the workflow
suites run here unchanged, on webdriver.Remote against chromedriver serving on
a local port (the protocol a Selenium Grid node speaks)."""
import pytest

from remote.grid import node, remote_session  # noqa: F401
from workflows.test_application_details import *  # noqa: F401,F403
from workflows.test_details_and_numbers import *  # noqa: F401,F403
from workflows.test_inbox import *  # noqa: F401,F403
from workflows.test_intro import *  # noqa: F401,F403
from workflows.test_land_search import *  # noqa: F401,F403
from workflows.test_payload_posting import *  # noqa: F401,F403
from workflows.test_service_navigation import *  # noqa: F401,F403
from workflows.test_ziv_payment import *  # noqa: F401,F403


@pytest.fixture(scope="session")
def portal_browser(node, fake_portal):  # noqa: F811
    # Every host name resolves to the fake portal's address.
    driver = remote_session(node, *fake_portal.browser_arguments())
    yield driver
    driver.quit()


def test_the_portal_session_is_remote(portal_browser):
    from selenium import webdriver
    assert type(portal_browser) is webdriver.Remote
