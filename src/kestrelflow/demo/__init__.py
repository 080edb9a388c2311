"""A demo run: a small bundled portal served on 127.0.0.1, driven by run_steps.

    python -m kestrelflow.demo [output folder]

opens headless Chrome through Chrome_Driver_info, opens the portal, sets the
page zoom and runs a step list: open the search panel, type a plot number,
press Search, read the application number and the language of the Arabic
status line.  The screenshots and the network timings of every step go to
the output folder (./demo_output by default).
"""
import shutil
from pathlib import Path

from kestrelflow.demo.server import PageServer
from kestrelflow.local_browser import local_display, open_chrome

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


def open_browser(gu):
    """Headless Chromium through Chrome_Driver_info: the installed chromedriver
    and Chromium when there are, else whatever the driver manager fetches."""
    if shutil.which("chromedriver"):
        return open_chrome(headless=True)
    return gu.Chrome_Driver_info(headless=True)


# ---- the run -------------------------------------------------------------------------

def main(output="demo_output"):
    with local_display():
        run_demo(Path(output).resolve())
    return 0


def run_demo(output):
    import kestrelflow.generic_utility as gu

    output.mkdir(parents=True, exist_ok=True)
    screenshots = output / "screenshots"
    timings = output / "network_timings.csv"

    with PageServer(PORTAL) as portal:
        driver = open_browser(gu)
        try:
            driver.set_page_load_timeout(30)
            # Open the portal and zoom it.  The search panel is a fragment of the
            # same page, so the zoom holds for the whole run.
            driver.get(portal.url("index.html"))
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
            driver.quit()
    print("Screenshots written under", screenshots)
    print("Network timings written to", timings)
