"""A WebDriver node on a local port and remote sessions on it, as a Selenium
Grid hands them out: chromedriver serves the protocol a Grid node speaks, and
the sessions are webdriver.Remote objects."""
import socket
import subprocess
import time
import urllib.request

import pytest
from helpers import child_env
from selenium import webdriver
from selenium.webdriver.chrome.options import Options

from kestrelflow.local_browser import chromedriver_path, local_chrome_options_class


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture(scope="session")
def node():
    """chromedriver serving WebDriver on a local port; yields its URL."""
    port = free_port()
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port], env=child_env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    try:
        # However long a busy machine takes to start it; an exit (the port
        # taken in the meantime) ends the wait at once.
        deadline = time.monotonic() + 300
        while True:
            try:
                with urllib.request.urlopen(url + "/status", timeout=5) as reply:
                    if reply.status == 200:
                        break
            except OSError:
                pass
            if server.poll() is not None or time.monotonic() > deadline:
                pytest.fail("chromedriver did not start serving on port %d" % port)
            time.sleep(0.05)
        yield url
    finally:
        server.terminate()
        server.wait(timeout=10)


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
