"""The routines through a remote session: a whole step run and the page-state
routines, each test of those suites run here unchanged on webdriver.Remote."""
from selenium import webdriver
from selenium.webdriver.chrome.webdriver import WebDriver as LocalChrome

# The page-state fixtures and suites, collected again in this folder, where the
# browser is the remote session.
from page_state.conftest import cue, portal, stage  # noqa: F401
from page_state.test_element_waits import *  # noqa: F401,F403
from page_state.test_loaders_and_alerts import *  # noqa: F401,F403
from page_state.test_presence_checks import *  # noqa: F401,F403
from page_state.test_text_extraction import *  # noqa: F401,F403
from page_state.test_url_change import *  # noqa: F401,F403
from steps.test_step_run_end_to_end import test_a_search_run_on_a_real_page  # noqa: F401


def test_the_session_is_remote(driver, node):
    assert type(driver) is webdriver.Remote and not isinstance(driver, LocalChrome)
    assert driver.capabilities["browserName"] in ("chrome", "chromium")
