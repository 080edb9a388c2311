"""A portal day on the embedded fake DEVU/ZIV portal.

    from kestrelflow.demo.portal_day import run_portal_day
    results = run_portal_day(gu, "demo_output")

starts the fake portal on a loopback address of its own (ZIV on its port
7001 there, so a program that holds 127.0.0.1:7001 is no obstacle), opens
headless Chromium with every host name mapped to that address and does what
a clerk does in a day with the module's routines: open a service, search
by plot and read the results, open an application from the inbox and read
its details, pay its fees in ZIV.  Each step is timed and followed by a
screenshot of the browser (in steps/ of the run's folder); the run goes into
a fresh folder OUTPUT/portal_day_YYYYmmdd_HHMMSS (a suffix _2, _3, ... when
that is taken) and ends with a summary table, one line per step.

The ZIV routine takes its account from the environment.  For the run only,
a demo account is put there when none is set (and the fake ZIV accepts the
account that is in effect); the environment is restored afterwards.
"""
import contextlib
import os
import secrets
import time
from pathlib import Path

from kestrelflow.demo.fake_portal import ZIV_HOST, FakePortal, PortTaken
from kestrelflow.local_browser import open_chrome, saved_environment

# The portal's loading overlay, which the navigation routines wait out.
LOADING = "/html/body/div[3]/div[1]/div[2]/div[3]"

SERVICE = "Land Ownership Certificate"
APPLICATION = "2025000123"
PLOT = {"plot_number": "C-17", "district": "Al Bateen", "land_use": "Residential"}
DEMO_ZIV_USER = "demo.cashier"

ZIV_SETTINGS = ("KESTRELFLOW_ZIV_HOST", "KESTRELFLOW_ZIV_USER", "KESTRELFLOW_ZIV_PASSWORD")


def fresh_folder(output_folder):
    """A new folder OUTPUT/portal_day_<stamp>, with a numeric suffix when the
    name is taken (two runs in the same second)."""
    parent = Path(output_folder).resolve()
    parent.mkdir(parents=True, exist_ok=True)
    base = "portal_day_" + time.strftime("%Y%m%d_%H%M%S")
    for n in range(1, 1000):
        folder = parent / (base if n == 1 else "%s_%d" % (base, n))
        try:
            folder.mkdir()
            return folder
        except FileExistsError:
            continue
    raise RuntimeError("no free run folder under %s" % parent)


@contextlib.contextmanager
def ziv_account(portal_host):
    """The ZIV settings in effect for the run: those already in the
    environment, the demo ones for any that is missing.  Yields (user,
    password); puts the environment back as it was on the way out."""
    defaults = {"KESTRELFLOW_ZIV_HOST": portal_host,
                "KESTRELFLOW_ZIV_USER": DEMO_ZIV_USER,
                # a throw-away password, made up for this run only
                "KESTRELFLOW_ZIV_PASSWORD": secrets.token_urlsafe(12)}
    with saved_environment(ZIV_SETTINGS):
        for name, value in defaults.items():
            os.environ.setdefault(name, value)
        yield os.environ["KESTRELFLOW_ZIV_USER"], os.environ["KESTRELFLOW_ZIV_PASSWORD"]


def demo_contents(portal):
    """What the portal serves for the day, chosen so that every routine finds
    its page at its first try: the application is shown in the long layout,
    whose details panel is the first one the details routine looks for, and
    its fees are one to pay and one paid before (a fee whose payment form
    never loads would only make the day wait)."""
    for application in portal.data["applications"]:
        if application["number"] == APPLICATION:
            application["layout"] = "long"
    fees = portal.data["fees"][APPLICATION]
    portal.data["fees"][APPLICATION] = [fee for fee in fees if fee["state"] != "noframe"]


class PortalDay:
    """The steps of the day on one browser and one portal."""

    def __init__(self, gu, driver, portal, folder):
        self.gu = gu
        self.driver = driver
        self.portal = portal
        self.folder = folder
        self.results = []

    # ---- the steps: each returns (value, whether it did what it is for) -----------------

    def open_service(self):
        self.driver.get(self.portal.devu_url())
        self.gu.Navigating_into_service_name_SH(self.driver, SERVICE, LOADING)
        title = self.driver.find_elements("id", "service-title")
        return None, bool(title) and title[0].text == SERVICE

    def search_by_plot(self):
        self.driver.get(self.portal.devu_url("/private#landsearch"))
        self.gu.Search_by_plot(self.driver, PLOT["plot_number"], PLOT["district"], PLOT["land_use"])
        return None, len(self.portal.details("plot search")) > 0

    def read_plot_results(self):
        frame = self.gu.Getting_data_from_plot_search(self.driver)
        return frame, len(frame) > 0

    def open_application(self):
        self.gu.Getting_Application_From_Inbox(self.driver, APPLICATION, "Inbox",
                                               Dashbord_URL=self.portal.devu_url())
        return None, self.driver.current_url.endswith("#application/" + APPLICATION)

    def read_application_details(self):
        frame = self.gu.Getting_Application_Detials(self.driver, "DEVU")
        ok = len(frame) == 1 and frame["Application Number"].iloc[0] == APPLICATION
        return frame, ok

    def pay_fees(self):
        self.gu.ZIV_payment(self.driver, APPLICATION)
        fees = self.portal.data["fees"][APPLICATION]
        # what the cashier screen took: one entry per fee paid now
        return self.portal.details("paid"), bool(fees) and all(fee["state"] == "paid" for fee in fees)

    STEPS = [
        ("Open service", open_service),
        ("Search by plot", search_by_plot),
        ("Read plot results", read_plot_results),
        ("Open application", open_application),
        ("Read application details", read_application_details),
        ("Pay fees in ZIV", pay_fees),
    ]

    # ---- running them --------------------------------------------------------------------

    def run(self):
        for name, step in self.STEPS:
            self.results.append(self.run_step(name, step))
        return self.results

    def run_step(self, name, step):
        print("\n=== %s ===" % name)
        result = {"step": name, "ok": False, "seconds": 0.0, "screenshot": None,
                  "value": None, "error": None}
        started = time.monotonic()
        try:
            result["value"], result["ok"] = step(self)
        except Exception as error:
            result["error"] = "%s: %s" % (type(error).__name__, error)
            print("Step failed:", result["error"])
        result["seconds"] = time.monotonic() - started
        result["screenshot"] = self.screenshot(name)
        return result

    def screenshot(self, name):
        """The browser's view after a step, saved by the module's screenshot
        routine; the path of the file, or None when there is none."""
        folder = self.folder / "steps"
        step_name = name.replace(" ", "_")
        try:
            self.driver.switch_to.default_content()
            self.gu.capture_screenshot(str(self.folder), 0, "steps", step_name, True, self.driver)
        except Exception as error:
            print("Screenshot failed:", error)
            return None
        shots = sorted(folder.glob(step_name + "_*.png"))
        return str(shots[-1]) if shots else None


def summary_lines(results):
    """The summary table: one line per step with its outcome, its time in
    seconds and its screenshot."""
    width = max([len("Step")] + [len(r["step"]) for r in results])
    lines = ["=== Portal day summary ===",
             "%-*s  %-6s  %7s  %s" % (width, "Step", "Result", "Seconds", "Screenshot")]
    for r in results:
        lines.append("%-*s  %-6s  %7.1f  %s" % (width, r["step"], "ok" if r["ok"] else "failed",
                                                 r["seconds"], r["screenshot"] or "-"))
    passed = sum(1 for r in results if r["ok"])
    lines.append("%d of %d steps ok" % (passed, len(results)))
    return lines


def run_portal_day(gu, output_folder):
    """Runs the portal day with the module `gu` into a fresh folder under
    output_folder; prints the summary and returns the step results (dicts
    with step, ok, seconds, screenshot, value and error)."""
    folder = fresh_folder(output_folder)
    print("Portal day: output in", folder)
    with contextlib.ExitStack() as stack:
        user, password = stack.enter_context(ziv_account(ZIV_HOST))
        try:
            portal = stack.enter_context(FakePortal(ziv_user=user, ziv_password=password))
        except PortTaken as error:
            # Only where the platform routes no loopback address but 127.0.0.1.
            print("Portal day not run:", error)
            return [{"step": "Start the fake portal", "ok": False, "seconds": 0.0,
                     "screenshot": None, "value": None, "error": str(error)}]
        demo_contents(portal)
        # The service routine saves screen grabs of its own under the working
        # folder; they belong to the run too.
        stack.enter_context(contextlib.chdir(folder))
        driver = open_chrome(headless=True, extra_arguments=portal.browser_arguments())
        stack.callback(driver.quit)
        driver.set_page_load_timeout(30)
        results = PortalDay(gu, driver, portal, folder).run()
    print()
    for line in summary_lines(results):
        print(line)
    return results
