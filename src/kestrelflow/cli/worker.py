"""One job in one process: its own browser session, its step run, the evidence
taken at each failure, and messages to the runner as the steps end.

The process writes the module's printed lines (and its own errors) to the
job's output.log; the runner shows progress from the messages it is sent:

    ("browser", {"pid": the driver's process id or None})
    ("step", {"index", "step", "outcome", "seconds"})      as each step ends
    ("result", {...})                                      the job's outcome
    ("fatal", {"message"})                                 no browser could be opened
"""
import datetime as _dt
import os
import re
import sys
import threading
import time
import traceback
from pathlib import Path

ACTIONS = ("click", "input", "get_url", "Scrap_data")
TIMED_OUT = "job time-out"
CSV = "timings.csv"
SCREENSHOTS = "screenshots"
FAILURES = "failures"
LOG = "output.log"

# The routines whose False result means that a step's action was not done.
CHECKED = ("clicking_on_element_by_all_option", "input_data_by_all_option", "extract_text")
EXPORT = "export_network_logs"


class BrowserError(Exception):
    """No browser session could be opened."""


def iso(epoch):
    return _dt.datetime.fromtimestamp(epoch).isoformat(timespec="seconds")


def safe_name(text, limit=60):
    """A file-name piece made of the text: no separators, no dots in front."""
    return re.sub(r"[^A-Za-z0-9._-]+", "_", text).strip("._")[:limit] or "step"


# ---- the browser ------------------------------------------------------------------

def chromium_switches(headless):
    switches = ["--no-sandbox", "--disable-dev-shm-usage"]
    return switches + (["--headless=new"] if headless else [])


def open_browser(gu, settings):
    """A session as the settings ask: local through the module's factories
    (Chrome on the local Chromium when chromedriver is installed), or
    webdriver.Remote at settings["remote"]."""
    browser, headless = settings["browser"], settings["headless"]
    try:
        if settings.get("remote"):
            driver = _remote(settings["remote"], browser, headless, settings["client_timeout"])
        elif browser == "chrome":
            from kestrelflow.local_browser import chromedriver_path, open_chrome
            if os.path.exists(chromedriver_path()):
                driver = open_chrome(headless=headless)
            else:
                driver = gu.Chrome_Driver_info(headless=headless)
        elif browser == "firefox":
            driver = gu.FireFox_Driver_info(headless=headless)
        else:
            driver = gu.Edge_Driver_info(headless=headless)
    except Exception as error:
        raise BrowserError(first_line(error)) from error
    if driver is None:  # the Edge factory reports its failure and returns None
        raise BrowserError("the %s session factory returned None" % browser)
    try:
        driver.command_executor.client_config.timeout = settings["client_timeout"]
    except AttributeError:
        pass
    return driver


def _remote(url, browser, headless, client_timeout):
    from selenium import webdriver
    from selenium.webdriver.remote.client_config import ClientConfig

    if browser == "firefox":
        options = webdriver.FirefoxOptions()
        if headless:
            options.add_argument("-headless")
    else:
        options = webdriver.EdgeOptions() if browser == "edge" else webdriver.ChromeOptions()
        for switch in chromium_switches(headless):
            options.add_argument(switch)
    config = ClientConfig(remote_server_addr=url, timeout=client_timeout)
    return webdriver.Remote(command_executor=url, options=options, client_config=config)


def first_line(error):
    text = str(error).strip() or type(error).__name__
    return text.split("\n", 1)[0]


def driver_pid(driver):
    service = getattr(driver, "service", None)
    process = getattr(service, "process", None)
    return getattr(process, "pid", None)


# ---- the step run -------------------------------------------------------------------

class Tracker:
    """Follows a run_steps call from outside: the step list is handed over
    one step at a time (run_steps takes any iterable), and the routines the
    steps call are wrapped in the module's namespace for the run's duration
    (the module looks them up at call time).  So it knows which step is
    running, whether its action was done, and when it ended; at a failure it
    saves a screenshot and the page source."""

    def __init__(self, gu, driver, steps, folder, send, clock=time.monotonic):
        self.gu, self.driver, self.steps, self.folder = gu, driver, steps, Path(folder)
        self.send, self.clock = send, clock
        self.prefix = time.strftime("%Y%m%d_%H%M%S")
        self.results = []           # one per step that started
        self.current = None         # the running step's live record
        self.depth = 0
        self.timed_out = False
        self.saved = {}

    # -- the step list, one at a time
    def feed(self):
        for index, step in enumerate(self.steps):
            self.finish()
            if self.timed_out:
                return
            self.current = {"index": index, "step": step[0], "action": step[1], "started": self.clock(),
                            "not_done": False, "exported": False, "read": False, "evidence": None}
            yield step
        self.finish()

    def finish(self):
        """The running step has ended: its outcome, its evidence when it did
        not end "done", and a message to the runner."""
        live, self.current = self.current, None
        if live is None:
            return
        if not live["exported"]:
            outcome = "error"
        elif live["action"] not in ACTIONS:
            outcome = "no action"
        elif live["not_done"]:
            outcome = "not done"
        else:
            outcome = "done"
        if outcome != "done" and live["evidence"] is None:
            live["evidence"] = self.evidence(live)
        seconds = self.clock() - live["started"]
        self.results.append({"index": live["index"], "step": live["step"], "outcome": outcome,
                             "seconds": seconds, "evidence": live["evidence"]})
        self.send("step", {"index": live["index"], "step": live["step"], "outcome": outcome,
                           "seconds": seconds})

    # -- the wrapped routines
    def wrap(self, name, routine):
        tracker = self

        def wrapped(*args, **kwargs):
            live = tracker.current
            if tracker.depth or live is None:
                return routine(*args, **kwargs)
            tracker.depth += 1
            try:
                result = routine(*args, **kwargs)
            finally:
                tracker.depth -= 1
            if name == EXPORT:
                live["exported"] = True
            elif name == "extract_text":
                # Only the step's own read counts, not the validation box's.
                if not live["read"]:
                    live["read"] = True
                    tracker.not_done(live, result)
            else:
                tracker.not_done(live, result)
            return result

        wrapped.__name__ = wrapped.__qualname__ = name
        wrapped.__doc__ = routine.__doc__
        wrapped.__wrapped__ = routine
        return wrapped

    def not_done(self, live, result):
        if result is False and not live["not_done"]:
            live["not_done"] = True
            live["evidence"] = self.evidence(live)

    def install(self):
        for name in CHECKED + (EXPORT,):
            routine = getattr(self.gu, name)
            self.saved[name] = routine
            setattr(self.gu, name, self.wrap(name, routine))

    def restore(self):
        for name, routine in self.saved.items():
            setattr(self.gu, name, routine)
        self.saved.clear()

    # -- evidence
    def evidence(self, live):
        """A screenshot and the page source, now, in failures/; the paths
        relative to the job folder, or the reason there are none."""
        if self.timed_out:
            return {"missing": "the browser was ended at the job time-out"}
        folder = self.folder / FAILURES
        stem = "%s_%02d_%s" % (self.prefix, live["index"] + 1, safe_name(str(live["step"])))
        found = {}
        try:
            folder.mkdir(parents=True, exist_ok=True)
            png = self.driver.get_screenshot_as_png()
            _write_file(folder / (stem + ".png"), png)
            found["screenshot"] = "%s/%s.png" % (FAILURES, stem)
            source = self.driver.page_source
            _write_file(folder / (stem + ".html"), source.encode("utf-8"))
            found["page_source"] = "%s/%s.html" % (FAILURES, stem)
        except Exception as error:
            found["missing"] = first_line(error)
        return found


def _write_file(path, data):
    partial = path.with_name(path.name + ".partial")
    with open(partial, "wb") as f:
        f.write(data)
    os.replace(partial, path)


class _Hurried:
    """Stands in for the module's `time` once the job has timed out: the
    routines' remaining pauses are skipped, so the run ends at once."""

    def __init__(self, real):
        self._real = real

    def sleep(self, seconds):
        pass

    def __getattr__(self, name):
        return getattr(self._real, name)


def _refuse(*args, **kwargs):
    from selenium.common.exceptions import WebDriverException
    raise WebDriverException(TIMED_OUT)


class Watchdog:
    """At the deadline: no more steps, no more pauses, and every later
    command on the session fails at once (the runner ends the browser and
    driver processes themselves)."""

    def __init__(self, gu, driver, tracker, deadline):
        self.gu, self.driver, self.tracker = gu, driver, tracker
        self.real_time = gu.time
        self.timer = threading.Timer(max(0.0, deadline - time.time()), self.fire)
        self.timer.daemon = True

    def start(self):
        self.timer.start()

    def fire(self):
        self.tracker.timed_out = True
        self.gu.time = _Hurried(self.real_time)
        self.driver.execute = _refuse

    def stop(self):
        self.timer.cancel()
        self.gu.time = self.real_time


def step_results(context, tracker, steps):
    """The job's step results: the module's own when it returns them, else
    what the tracker saw; with the evidence; the steps a time-out kept from
    running are errors."""
    seen = {r["index"]: r for r in tracker.results}
    own = context.get("step_results") if isinstance(context, dict) else None
    results = []
    for index, step in enumerate(steps):
        live = seen.get(index)
        if live is None:
            if tracker.timed_out:
                results.append({"step": step[0], "action": step[1], "outcome": "error", "seconds": 0.0,
                                "error": TIMED_OUT + ": not run", "url": "", "evidence": None})
            continue
        if own is not None and index < len(own):
            result = dict(own[index])
        else:
            result = {"step": step[0], "action": step[1], "outcome": live["outcome"],
                      "seconds": live["seconds"], "error": None, "url": ""}
            if own is None:
                result["outcome_source"] = "runner"
        if result.get("outcome") != "done":
            result["evidence"] = live["evidence"]
        else:
            result["evidence"] = None
        results.append(result)
    # Errors the module recorded but the tracker could not name.
    if own is None and isinstance(context, dict):
        records = list(context.get("error_records") or [])
        for result in results:
            if result["outcome"] == "error" and result["error"] is None and records:
                record = records.pop(0)
                result["error"], result["url"] = record.get("Error"), record.get("URL", "")
    return results


def run_job(job, settings, send):
    """Runs the job (name, path, service, web_app, sleep_time and the steps as
    run_steps reads them); returns its result (what run.json holds)."""
    folder = Path(settings["out"]) / job["name"]
    started = time.time()
    result = {"job": job["name"], "file": job["path"], "service": job["service"], "web_app": job["web_app"],
              "browser": settings["browser"], "remote": settings.get("remote"),
              "started": iso(started), "status": "error", "reason": None,
              "paths": {"csv": CSV, "screenshots": SCREENSHOTS, "failures": FAILURES, "log": LOG},
              "step_results": [], "data_extracted": []}
    import kestrelflow.generic_utility as gu

    steps = job["steps"]
    try:
        driver = open_browser(gu, settings)
    except BrowserError as error:
        send("fatal", {"message": str(error)})
        result["reason"] = "cannot open the browser: %s" % error
        return _ended(result, started)
    send("browser", {"pid": driver_pid(driver)})
    tracker = Tracker(gu, driver, steps, folder, send)
    watchdog = Watchdog(gu, driver, tracker, settings["deadline"])
    context, data = {}, []
    tracker.install()
    watchdog.start()
    try:
        context, data = gu.run_steps(driver, tracker.feed(), job["web_app"], str(folder / CSV),
                                     str(folder / SCREENSHOTS), job["service"], str(folder / SCREENSHOTS),
                                     sleep_time=job["sleep_time"])
    except Exception as error:  # the session died in a way the run could not survive
        tracker.finish()
        result["reason"] = "the run stopped: %s" % first_line(error)
        traceback.print_exc()
    finally:
        watchdog.stop()
        tracker.restore()
        try:
            driver.quit()
        except Exception:
            pass
    result["step_results"] = step_results(context, tracker, steps)
    result["data_extracted"] = [{"step": d.get("step"), "value": d.get("value")} for d in data]
    result["context"] = {k: context.get(k) for k in ("switch_lang", "app_cancel_No")} if context else {}
    result["app_number"] = getattr(gu, "App_number", None)
    if tracker.timed_out:
        result["reason"] = TIMED_OUT
    if result["reason"] is None:
        ok = all(r["outcome"] == "done" for r in result["step_results"])
        result["status"] = "done" if ok else "failed"
    return _ended(result, started)


def _ended(result, started):
    finished = time.time()
    result["finished"], result["seconds"] = iso(finished), round(finished - started, 3)
    return result


# ---- the process ------------------------------------------------------------------------

def process_main(job, settings, connection):
    """The target of the job's process."""
    folder = Path(settings["out"]) / job["name"]
    folder.mkdir(parents=True, exist_ok=True)

    def send(kind, payload):
        try:
            connection.send((kind, payload))
        except (OSError, ValueError):
            pass

    log = os.open(folder / LOG, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    sys.stdout.flush()
    sys.stderr.flush()
    os.dup2(log, 1)
    os.dup2(log, 2)
    os.close(log)
    sys.stdout = open(1, "w", encoding="utf-8", errors="backslashreplace", buffering=1, closefd=False)
    sys.stderr = open(2, "w", encoding="utf-8", errors="backslashreplace", buffering=1, closefd=False)
    try:
        result = run_job(job, settings, send)
    except Exception as error:
        traceback.print_exc()
        result = {"job": job["name"], "status": "error", "reason": "the job failed: %s" % first_line(error)}
    send("result", _plain(result))
    connection.close()


def _plain(value):
    """JSON-ready: what the page gave that is not text becomes its repr."""
    if isinstance(value, dict):
        return {str(k): _plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_plain(v) for v in value]
    if value is None or isinstance(value, (bool, int, float, str)):
        return value
    return repr(value)
