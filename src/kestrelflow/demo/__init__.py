"""A demo run: a small bundled portal served on 127.0.0.1, driven by run_steps.

    python -m kestrelflow.demo [output folder]

opens headless Chrome through Chrome_Driver_info, opens the portal, sets the
page zoom and runs a step list: open the search panel, type a plot number,
press Search, read the application number and the language of the Arabic
status line.  The screenshots and the network timings of every step go to
the output folder (./demo_output by default).
"""
import functools
import http.server
import os
import random
import shutil
import subprocess
import tempfile
import sys
import threading
import time
from pathlib import Path

PORTAL = Path(__file__).parent / "portal"

WEB_APP_NAME = "Demo portal"
SERVICE_NAME = "Land search"


def demo_steps(base_url):
    """The step list of the demo run, for the portal served at base_url."""
    return [
        ["Open search page", "get_url", [], [], 0.5, [base_url + "index.html#search"]],
        ["Enter plot number", "input", ["//input[@id='search-box']"], ["Plot number"], 0.5,
         ["PLT-2025-0042"]],
        ["Press search", "click", ["//button[@id='search-button']"], ["Search"], 0.5],
        ["Scrap Application_number", "Scrap_data", ["//p[@id='application-number']"], [], 0.5],
        ["Detect_language", "Scrap_data", ["//p[@id='status-ar']"], [], 0.5],
    ]


# ---- the portal --------------------------------------------------------------

class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PortalServer:
    """Serves the bundled portal pages on 127.0.0.1, on a free port."""

    def __init__(self, root=PORTAL):
        handler = functools.partial(_QuietHandler, directory=str(root))
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base_url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# ---- this machine ----------------------------------------------------------------
#
# The module is written for a Windows desktop.  On a Linux box without a desktop
# two things need help: importing the module needs an X display (the pointer
# library opens one), and Chrome_Driver_info would download a driver and start
# Chrome with a sandbox that refuses to run as root.

def start_display():
    """Starts a virtual X display when there is none (Linux only); returns the
    Xvfb process to stop at the end, or None.  The display number is drawn
    from a high range that servers picking the first free number do not reach."""
    if not sys.platform.startswith("linux") or os.environ.get("DISPLAY") or not shutil.which("Xvfb"):
        return None
    for number in random.sample(range(200, 1000), 5):
        if os.path.exists("/tmp/.X%d-lock" % number):
            continue
        xvfb = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x900x24",
                                 "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        for _ in range(100):
            if xvfb.poll() is not None:
                break
            if os.path.exists("/tmp/.X11-unix/X%d" % number):
                os.environ["DISPLAY"] = ":%d" % number
                _ensure_xauthority()
                return xvfb
            time.sleep(0.05)
        xvfb.terminate()
        xvfb.wait()
    raise RuntimeError("could not start a virtual display (Xvfb)")


def _ensure_xauthority():
    """The X client library insists on an authority file, even an empty one,
    and a fresh machine has none: our Xvfb takes no cookie, so an empty file does."""
    if os.environ.get("XAUTHORITY") or os.path.exists(os.path.expanduser("~/.Xauthority")):
        return
    fd, path = tempfile.mkstemp(prefix="kestrelflow-xauth-")
    os.close(fd)
    os.environ["XAUTHORITY"] = path


def open_chrome(gu):
    """Chrome_Driver_info(headless=True), with the module's driver manager and
    options class rebound for the call when a local chromedriver is installed:
    the manager then hands out that driver instead of downloading one, and the
    options add the switches Chromium needs as root in a container."""
    local_driver = shutil.which("chromedriver")
    if local_driver is None:
        return gu.Chrome_Driver_info(headless=True)

    class LocalDriverManager:
        def install(self):
            return local_driver

    class LocalOptions(gu.ChromeOptions):
        def __init__(self):
            super().__init__()
            self.add_argument("--window-size=1280,900")
            if hasattr(os, "geteuid") and os.geteuid() == 0:
                self.add_argument("--no-sandbox")
                self.add_argument("--disable-dev-shm-usage")
            browser = shutil.which("chromium") or shutil.which("chromium-browser")
            if browser and not shutil.which("google-chrome"):
                self.binary_location = browser

    saved = gu.ChromeDriverManager, gu.ChromeOptions
    gu.ChromeDriverManager, gu.ChromeOptions = LocalDriverManager, LocalOptions
    try:
        return gu.Chrome_Driver_info(headless=True)
    finally:
        gu.ChromeDriverManager, gu.ChromeOptions = saved


# ---- the run -------------------------------------------------------------------------

def main(output="demo_output"):
    xvfb = start_display()
    try:
        run_demo(Path(output).resolve())
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
    return 0


def run_demo(output):
    import kestrelflow.generic_utility as gu

    output.mkdir(parents=True, exist_ok=True)
    screenshots = output / "screenshots"
    timings = output / "network_timings.csv"

    portal = PortalServer()
    driver = None
    try:
        driver = open_chrome(gu)
        driver.set_page_load_timeout(30)
        # Open the portal and zoom it.  The search panel is a fragment of the
        # same page, so the zoom holds for the whole run.
        driver.get(portal.base_url + "index.html")
        gu.set_zoom(driver, 90)

        context, data = gu.run_steps(driver, demo_steps(portal.base_url), WEB_APP_NAME,
                                     str(timings), str(screenshots), SERVICE_NAME,
                                     str(screenshots))

        print("\n=== RESULT ===")
        for entry in data:
            print("%s: %r" % (entry["step"], entry["value"]))
        print("App_number:", getattr(gu, "App_number", None))
        print("context:", context)
        print("Zoom still set:", driver.execute_script("return document.body.style.zoom"))
    finally:
        if driver is not None:
            driver.quit()
        portal.close()
    print("Screenshots written under", screenshots)
    print("Network timings written to", timings)
