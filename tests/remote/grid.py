"""A WebDriver node on a local port and remote sessions on it, as a Selenium
Grid hands them out: chromedriver serves the protocol a Grid node speaks, and
the sessions are webdriver.Remote objects."""

import pytest
from helpers import webdriver_server
from selenium import webdriver
from selenium.webdriver.chrome.options import Options

from kestrelflow.local_browser import local_chrome_options_class


@pytest.fixture(scope="session")
def node():
    """chromedriver serving WebDriver on a local port; yields its URL."""
    with webdriver_server() as url:
        yield url


def remote_session(node, *switches):
    options = local_chrome_options_class(Options, ["--headless=new", *switches])()
    driver = webdriver.Remote(command_executor=node, options=options)
    driver.set_page_load_timeout(30)
    return driver


# ---- the fixtures that replace the local browsers --------------------------------------

@pytest.fixture(scope="session")
def browser(node):
    driver = remote_session(node)
    yield driver
    driver.quit()
