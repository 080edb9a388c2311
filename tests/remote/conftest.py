"""A remote WebDriver session, as a Selenium Grid hands one out: chromedriver
runs as a server on a local port (the protocol a Grid node speaks) and the
tests talk to it through webdriver.Remote.  The session replaces the local
browser for every test in this folder."""
import shutil
import socket
import subprocess
import time
import urllib.request

import pytest
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
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    try:
        for _ in range(200):
            try:
                with urllib.request.urlopen(url + "/status", timeout=1) as reply:
                    if reply.status == 200:
                        break
            except OSError:
                time.sleep(0.05)
        else:
            pytest.fail("chromedriver did not start serving on port %d" % port)
        yield url
    finally:
        server.terminate()
        server.wait(timeout=10)


@pytest.fixture(scope="session")
def browser(node):
    options = local_chrome_options_class(Options, ["--headless=new"])()
    driver = webdriver.Remote(command_executor=node, options=options)
    driver.set_page_load_timeout(30)
    yield driver
    driver.quit()


assert shutil.which("chromedriver") or chromedriver_path()
