"""A demo run: a small bundled portal served on 127.0.0.1, driven by run_steps.

    python -m kestrelflow.demo [output folder]

opens headless Chrome through Chrome_Driver_info, opens the portal, sets the
page zoom and runs a step list: open the search panel, type a plot number,
press Search, read the application number and the language of the Arabic
status line, pay the fees, open the receipt.  Each action makes its own
request to the portal.  The last step is written the way a script author
might first write it, with the receipt's link as it appears on the page (a
relative URL): the browser refuses it, and the run reports the step as failed.

The screenshots, the network timings of every step, the error records and an
HTML report go to the output folder (./demo_output by default); the outputs
of an earlier run in that folder are replaced.

Then comes a whole portal day on the embedded fake portal (DEVU and its
payment application ZIV): open a service, search by plot and read the
results, open an application from the inbox and read its details, pay its
fees; each step is timed and screenshotted into a fresh portal_day_* folder
of the output folder, and a summary ends the run.
"""
import json
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
        ["Pay fees", "click", ["//button[@id='pay-button']"], ["Pay fees"], 0.5],
        ["Open receipt", "get_url", [], [], 0.5, ["receipt.html"]],
    ]


def open_browser(gu):
    """Headless Chromium through Chrome_Driver_info: the installed chromedriver
    and Chromium when there are, else whatever the driver manager fetches."""
    if shutil.which("chromedriver"):
        return open_chrome(headless=True)
    return gu.Chrome_Driver_info(headless=True)


# ---- the run -------------------------------------------------------------------------

def main(output="demo_output"):
    """The step run, then a whole portal day on the embedded fake portal;
    exit status 1 when a step of the portal day failed."""
    with local_display():
        run_demo(Path(output).resolve())
        import kestrelflow.generic_utility as gu
        from kestrelflow.demo.portal_day import run_portal_day
        results = run_portal_day(gu, str(Path(output).resolve()))
    return 0 if all(result["ok"] for result in results) else 1


def run_demo(output):
    import kestrelflow.generic_utility as gu

    from kestrelflow.report import RECORDS, SCREENSHOTS, TIMINGS, write_report

    output.mkdir(parents=True, exist_ok=True)
    screenshots = output / SCREENSHOTS
    timings = output / TIMINGS
    records = output / RECORDS
    # The timing CSV is appended to, and screenshots pile up: start afresh.
    shutil.rmtree(screenshots, ignore_errors=True)
    for old in (timings, records):
        old.unlink(missing_ok=True)

    with PageServer(PORTAL) as portal:
        driver = open_browser(gu)
        try:
            driver.set_page_load_timeout(30)
            # Open the portal and zoom it.  The search panel is a fragment of the
            # same page, so the zoom holds for the whole run.
            driver.get(portal.url("index.html"))
            gu.set_zoom(driver, 90)

            steps = demo_steps(portal.base_url)
            context, data = gu.run_steps(driver, steps, WEB_APP_NAME,
                                         str(timings), str(screenshots), SERVICE_NAME,
                                         str(screenshots))

            print("\n=== RESULT ===")
            for entry in data:
                print("%s: %r" % (entry["step"], entry["value"]))
            print("App_number:", getattr(gu, "App_number", None))
            print("context:", {key: value for key, value in context.items() if key != "error_records"})
            for record in context["error_records"]:
                print("Failed:", record["ServiceName"], "at", record["URL"])
            print("Zoom still set:", driver.execute_script("return document.body.style.zoom"))
        finally:
            driver.quit()
    with open(records, "w", encoding="utf-8") as f:
        json.dump({"web_app_name": WEB_APP_NAME, "service_name": SERVICE_NAME,
                   "steps": [step[0] for step in steps],
                   "error_records": context["error_records"]}, f, ensure_ascii=False, indent=2)
    failed = len(context["error_records"])
    print("Steps: %d run, %d failed" % (len(steps), failed))
    print("Screenshots written under", screenshots)
    print("Network timings written to", timings)
    print("Error records written to", records)
    print("Report:", write_report(output))
