"""One job in one process: its own browser session, its step run, the evidence
taken at each failure, and messages to the runner as the steps end.

The runner starts it as `python -m kestrelflow.cli.worker IN OUT RUNNER_PID`
in a session (and so a process group) of its own, which its driver and
browser share: the runner ends a job by ending that group.  Through the pipe
IN it is sent the job and its settings, then possibly "stop" (end the job
now, as interrupted); when IN reaches its end the runner is gone, and the
process ends its whole group at once.  It also ends its group when it is sent
SIGTERM, which the kernel sends it when the runner dies.

The process writes the module's printed lines (and its own errors) to the
job's output.log, every value from the environment masked; the runner shows
progress from the messages it is sent through the pipe OUT:

    ("browser", {"pid": the driver's process id or None})
    ("running", {"index", "step"})                          as each step begins
    ("step", {"index", "step", "outcome", "seconds", "reason"})  as each step ends
    ("result", {...})                                      the job's outcome
    ("fatal", {"message"})                                 no browser could be opened
"""
import datetime as _dt
import os
import re
import signal
import sys
import threading
import time
import traceback
from pathlib import Path

from kestrelflow.cli.expectations import unmet
from kestrelflow.cli.outputs import WEB_APP_NAME_BYTES, Masker, disk_name, write_atomic
from kestrelflow.cli.results import failed, not_run

ACTIONS = ("click", "input", "get_url", "Scrap_data")
TIMED_OUT = "job time-out"
INTERRUPTED = "interrupted"
CSV = "timings.csv"
SCREENSHOTS = "screenshots"
FAILURES = "failures"
LOG = "output.log"

# The routines whose False result means that a step's action was not done:
# the evidence is taken the moment they return it.
CHECKED = ("clicking_on_element_by_all_option", "input_data_by_all_option", "extract_text")


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


def grid_node(driver):
    """The name a Selenium Grid node gives itself in the capabilities of the
    sessions it holds ("se:nodeName" in its slots' stereotype), or None."""
    try:
        name = driver.capabilities.get("se:nodeName")
    except Exception:
        return None
    return name if isinstance(name, str) else None


def session_lost(driver, tracker):
    """Why the job's browser session is gone (a lost Grid node, a browser or
    driver that died), asked only after a step ended in an error; None while
    it answers, or when the run was cut short on purpose."""
    if tracker.stopped or not any(r.get("outcome") == "error" for r in tracker.results):
        return None
    try:
        driver.current_url
    except Exception as error:
        return "the browser session was lost: %s" % first_line(error).removeprefix("Message: ")
    return None


def driver_pid(driver):
    service = getattr(driver, "service", None)
    process = getattr(service, "process", None)
    return getattr(process, "pid", None)


# ---- the step run -------------------------------------------------------------------

class Tracker:
    """Follows the step run from outside: the steps are handed to run_steps
    one at a time, so that each step's result (with its reason) is known as
    it ends, an expectation can be checked and the run can stop after a
    failure; the routines whose False result means "not done" are wrapped in
    the module's namespace for the run's duration (the module looks them up
    at call time), so that a screenshot and the page source are saved at
    the moment a step fails."""

    def __init__(self, gu, driver, steps, folder, send, clock=time.monotonic, names=None, masker=None,
                 expects=None, stop_on_failure=False):
        self.gu, self.driver, self.steps, self.folder = gu, driver, steps, Path(folder)
        self.send, self.clock = send, clock
        # The steps' names as the job file gives them (the steps handed to
        # the module may carry names made safe for its folders).
        self.names = [step[0] for step in steps] if names is None else list(names)
        self.expects = list(expects) if expects is not None else [None] * len(steps)
        self.stop_on_failure = stop_on_failure
        self.masker = masker or Masker()
        self.prefix = time.strftime("%Y%m%d_%H%M%S")
        self.results = []           # one per step that started
        self.current = None         # the running step's live record
        self.depth = 0
        self.stopped = None         # why the run was cut short (time-out, interrupted), or None
        self.skipping = None        # why the later steps are not run (stop_on_failure), or None
        self.saved = {}

    @property
    def timed_out(self):
        return bool(self.stopped)

    # -- the steps, one at a time
    def run(self, run_steps):
        """Runs the steps through `run_steps(step)` -> (context, data), one
        call each, until they are done or the run is cut short; returns the
        whole run's (context, data) as one run_steps call gives them."""
        context = {"switch_lang": None, "app_cancel_No": None, "error_records": []}
        data = []
        for index, step in enumerate(self.steps):
            if self.stopped or self.skipping:
                break
            self.begin(index, step)
            try:
                own_context, own_data = run_steps(step)
            except Exception as error:  # the session died in a way the run could not survive
                self.end(None, error=error)
                raise
            _merge_context(context, own_context, step[0])
            data.extend(own_data)
            own = (own_context.get("step_results") or [None])[0]
            read = own_data[0].get("value") if own_data else None
            self.end(own, read=read)
        return context, data

    def begin(self, index, step):
        self.current = {"index": index, "step": self.names[index], "action": step[1], "started": self.clock(),
                        "not_done": False, "read": False, "evidence": None}
        self.send("running", {"index": index, "step": self.names[index]})

    def end(self, own, read=None, error=None):
        """The running step has ended with the module's result `own` (None
        when the call raised `error`): its expectation, its evidence when it
        did not end "done", and a message to the runner."""
        live, self.current = self.current, None
        index = live["index"]
        if own is not None:
            result = dict(own)
            if result.get("step") != live["step"]:
                result["name_on_disk"] = result.get("step")
                result["step"] = live["step"]
        else:
            text = first_line(error) if error is not None else "the step did not end"
            result = failed(live["step"], live["action"], text, round(self.clock() - live["started"], 3))
        if result.get("outcome") == "done":
            why = unmet(self.expects[index], result.get("action"), read=read, title=result.get("title"),
                        url=result.get("url"))
            if why:
                result["outcome"], result["reason"] = "not done", why
        if result.get("outcome") != "done":
            if live["evidence"] is None:
                live["evidence"] = self.evidence(live)
            result["evidence"] = live["evidence"]
        else:
            result["evidence"] = None
        self.results.append(result)
        if result["outcome"] != "done" and self.stop_on_failure:
            self.skipping = "an earlier step was not done (stop_on_failure)"
        self.send("step", {"index": index, "step": live["step"], "outcome": result["outcome"],
                           "seconds": result.get("seconds"), "reason": result.get("reason")})
        return result

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
            if name == "extract_text":
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
        for name in CHECKED:
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
        if self.stopped:
            return {"missing": "the browser was ended: %s" % self.stopped}
        folder = self.folder / FAILURES
        stem = "%s_%02d_%s" % (self.prefix, live["index"] + 1, safe_name(str(live["step"])))
        found = {}
        try:
            folder.mkdir(parents=True, exist_ok=True)
            png = self.driver.get_screenshot_as_png()
            write_atomic(folder / (stem + ".png"), png)
            found["screenshot"] = "%s/%s.png" % (FAILURES, stem)
            source = self.masker.text(self.driver.page_source)
            write_atomic(folder / (stem + ".html"), source.encode("utf-8", "backslashreplace"))
            found["page_source"] = "%s/%s.html" % (FAILURES, stem)
        except Exception as error:
            found["missing"] = self.masker.text(first_line(error))
        return found


def _merge_context(context, own, step_name):
    """One step's context into the run's, as one run_steps call over all the
    steps would have left it: a special read sets its key."""
    if step_name == "Detect_language":
        context["switch_lang"] = own.get("switch_lang")
    if own.get("app_cancel_No") is not None:
        context["app_cancel_No"] = own["app_cancel_No"]
    context["error_records"].extend(own.get("error_records") or [])


class _Paced:
    """Stands in for the module's `time` while a job runs: its pauses end at
    once when the job is stopped (the one under way too), and the later ones
    are skipped, so the run ends at once."""

    def __init__(self, real):
        self._real = real
        self._stopped = threading.Event()

    def stop(self):
        self._stopped.set()

    def sleep(self, seconds):
        if type(seconds) not in (int, float) or not 0 <= seconds < float("inf"):
            return self._real.sleep(seconds)  # refused as time.sleep refuses it
        self._stopped.wait(seconds)

    def __getattr__(self, name):
        return getattr(self._real, name)


def _refusing(reason):
    def refuse(*args, **kwargs):
        from selenium.common.exceptions import WebDriverException
        raise WebDriverException(reason)
    return refuse


class Watchdog:
    """At the deadline, or when the runner says stop: no more steps, no more
    pauses, and every later command on the session fails at once (the
    runner ends the browser and driver processes themselves).  `stop` puts
    the session's own command back, so that quitting it still reaches the
    server: a remote session is always ended."""

    def __init__(self, gu, driver, tracker, deadline):
        self.gu, self.driver, self.tracker = gu, driver, tracker
        self.real_time = gu.time
        self.paced = _Paced(self.real_time)
        self.lock = threading.Lock()
        self.replaced = False
        self.closed = False
        self.timer = threading.Timer(max(0.0, deadline - time.time()), self.fire)
        self.timer.daemon = True

    def start(self):
        self.gu.time = self.paced
        self.timer.start()

    def fire(self, reason=TIMED_OUT):
        with self.lock:
            if self.tracker.stopped or self.closed:
                return
            self.tracker.stopped = reason
            self.driver.execute = _refusing(reason)
            self.replaced = True
            self.paced.stop()

    def stop(self):
        self.timer.cancel()
        with self.lock:
            self.gu.time = self.real_time
            if self.replaced:
                # The instance attribute hid the class's method.
                try:
                    del self.driver.execute
                except AttributeError:
                    pass
                self.replaced = False
            self.closed = True


class Control:
    """The runner's "stop", which may come before the step run has begun."""

    def __init__(self):
        self.lock = threading.Lock()
        self.stopped = None
        self.watchdog = None

    def stop(self, reason=INTERRUPTED):
        with self.lock:
            if self.stopped is None:
                self.stopped = reason
            watchdog = self.watchdog
        if watchdog is not None:
            watchdog.fire(reason)

    def watch(self, watchdog):
        with self.lock:
            self.watchdog = watchdog
            stopped = self.stopped
        if stopped:
            watchdog.fire(stopped)


def step_results(tracker, steps):
    """The job's step results: those of the steps that ran, with their
    evidence, then the steps that never ran, skipped, with the reason."""
    results = list(tracker.results)
    why = tracker.stopped or tracker.skipping
    for step in steps[len(results):]:
        results.append(not_run(step[0], step[1], why))
    return results


def run_job(job, settings, send, control=None, masker=None):
    """Runs the job (name, path, service, web_app, sleep_time and the steps as
    run_steps reads them); returns its result (what run.json holds).

    The module is given the step and web-app names made safe as folder names
    (it makes BASE/<web app> - <step>/ of them); the result shows the job
    file's own."""
    control = control or Control()
    masker = masker or Masker()
    folder = Path(settings["out"]) / job["name"]
    started = time.time()
    result = {"job": job["name"], "file": job["path"], "service": job["service"], "web_app": job["web_app"],
              "browser": settings["browser"], "remote": settings.get("remote"),
              "started": iso(started), "status": "error", "reason": None,
              "paths": {"csv": CSV, "screenshots": SCREENSHOTS, "failures": FAILURES, "log": LOG},
              "step_results": [], "data_extracted": []}
    steps = job["steps"]
    module_steps = [[disk_name(step[0])] + list(step[1:]) for step in steps]
    web_app = disk_name(job["web_app"], WEB_APP_NAME_BYTES)
    if web_app != job["web_app"]:
        result["web_app_on_disk"] = web_app
    import kestrelflow.generic_utility as gu

    if control.stopped:
        result["reason"] = control.stopped
        result["step_results"] = [not_run(step[0], step[1], control.stopped) for step in steps]
        return _ended(result, started)
    try:
        driver = open_browser(gu, settings)
    except BrowserError as error:
        if control.stopped:  # the runner ended the browser as it was opening
            result["reason"] = control.stopped
            return _ended(result, started)
        send("fatal", {"message": masker.text(str(error))})
        result["reason"] = "cannot open the browser: %s" % error
        return _ended(result, started)
    send("browser", {"pid": driver_pid(driver)})
    if settings.get("remote"):
        result["node"] = grid_node(driver)
    tracker = Tracker(gu, driver, module_steps, folder, send, names=[step[0] for step in steps], masker=masker,
                      expects=job.get("expects"), stop_on_failure=job.get("stop_on_failure", False))
    watchdog = Watchdog(gu, driver, tracker, settings["deadline"])
    context, data = {}, []
    tracker.install()
    watchdog.start()
    control.watch(watchdog)
    def run_one(step):
        return gu.run_steps(driver, [step], web_app, str(folder / CSV), str(folder / SCREENSHOTS),
                            job["service"], str(folder / SCREENSHOTS), sleep_time=job["sleep_time"])

    try:
        context, data = tracker.run(run_one)
        result["reason"] = session_lost(driver, tracker)
    except Exception as error:  # the session died in a way the run could not survive
        result["reason"] = "the run stopped: %s" % first_line(error)
        traceback.print_exc()
    finally:
        watchdog.stop()
        tracker.restore()
        try:
            driver.quit()
        except Exception:
            pass
    names = {disk: step[0] for disk, step in zip((s[0] for s in module_steps), steps)}
    result["step_results"] = step_results(tracker, steps)
    result["data_extracted"] = [{"step": names.get(d.get("step"), d.get("step")), "value": d.get("value")}
                                for d in data]
    result["context"] = {k: context.get(k) for k in ("switch_lang", "app_cancel_No")} if context else {}
    result["app_number"] = getattr(gu, "App_number", None)
    if tracker.stopped:
        result["reason"] = tracker.stopped
    if result["reason"] is None:
        ok = all(r["outcome"] == "done" for r in result["step_results"])
        result["status"] = "done" if ok else "failed"
    _mask_file(folder / CSV, masker)
    return _ended(result, started)


def _mask_file(path, masker):
    """The file with every value from the environment masked (the timing
    CSV holds the addresses the page loaded)."""
    if not masker:
        return
    try:
        data = path.read_bytes()
        masked = masker.bytes(data)
        if masked != data:
            write_atomic(path, masked)
    except OSError:
        pass


def _ended(result, started):
    finished = time.time()
    result["finished"], result["seconds"] = iso(finished), round(finished - started, 3)
    return result


# ---- the process ------------------------------------------------------------------------

class MaskedLog:
    """The process's standard output and error (and so its children's) as a
    pipe; a thread masks what comes through, line by line, and writes it to
    the log file.  A log that cannot be written (a full disk) is drained all
    the same, so a writer is never blocked."""

    def __init__(self, path, masker):
        self.masker = masker
        self.file = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, 0o600)
        self.error = None
        read, write = os.pipe()
        sys.stdout.flush()
        sys.stderr.flush()
        os.dup2(write, 1)
        os.dup2(write, 2)
        os.close(write)
        self.read = read
        self.thread = threading.Thread(target=self.copy, name="output.log", daemon=True)
        self.thread.start()
        sys.stdout = open(1, "w", encoding="utf-8", errors="backslashreplace", buffering=1, closefd=False)
        sys.stderr = open(2, "w", encoding="utf-8", errors="backslashreplace", buffering=1, closefd=False)

    def copy(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.read, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.write(pending)
                break
            pending += chunk
            cut = pending.rfind(b"\n") + 1
            if cut == 0 and len(pending) < 1 << 20:
                continue
            cut = cut or len(pending)
            self.write(pending[:cut])
            pending = pending[cut:]
        os.close(self.read)
        os.close(self.file)

    def write(self, data):
        if not data or self.error is not None:
            return
        data = self.masker.bytes(data)
        try:
            while data:
                data = data[os.write(self.file, data):]
        except OSError as error:
            self.error = error

    def close(self, timeout=5):
        """No more output: the copy ends once every holder of the pipe (a
        child that outlived its quit) has let go of it."""
        try:
            sys.stdout.flush()
            sys.stderr.flush()
        except (OSError, ValueError):
            pass
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.dup2(null, 2)
        os.close(null)
        self.thread.join(timeout)


def process_main(job, settings, connection, control=None):
    """What the job's process does once it has its job: runs it, hands the
    result back (through `connection`, a Connection)."""
    masker = Masker(settings.get("secrets"))
    folder = Path(settings["out"]) / job["name"]

    def send(kind, payload):
        try:
            connection.send((kind, payload))
        except (OSError, ValueError):
            pass

    log = None
    try:
        folder.mkdir(parents=True, exist_ok=True)
        log = MaskedLog(folder / LOG, masker)
        result = run_job(job, settings, send, control, masker)
    except Exception as error:
        traceback.print_exc()
        result = {"job": job["name"], "status": "error", "reason": "the job failed: %s" % first_line(error)}
    send("result", masker.value(_plain(result)))
    if log is not None:
        log.close()
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


# ---- the process's life ---------------------------------------------------------------

def _end_group(signum=None, frame=None):
    """Ends this process's group: the job process, its driver, its browser."""
    try:
        os.killpg(0, signal.SIGKILL)
    finally:
        os._exit(137)


def _die_with(parent):
    """SIGTERM when the runner dies (Linux), which ends the group; a runner
    already gone ends it now."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGTERM, 0, 0, 0)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass
    if os.getppid() != parent:
        _end_group()


def _listen(inbound, control):
    """The runner's messages after the job: "stop"; the pipe's end means the
    runner is gone."""
    while True:
        try:
            message = inbound.recv()
        except Exception:
            _end_group()
        if message == "stop":
            control.stop(INTERRUPTED)


def main(argv=None):
    from multiprocessing.connection import Connection

    argv = sys.argv[1:] if argv is None else argv
    inbound, outbound, parent = (int(a) for a in argv)
    signal.signal(signal.SIGTERM, _end_group)
    # Ctrl-C on the terminal is the runner's to handle.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    _die_with(parent)
    inbound, outbound = Connection(inbound, writable=False), Connection(outbound, readable=False)
    try:
        job, settings = inbound.recv()
    except Exception:
        _end_group()
    control = Control()
    threading.Thread(target=_listen, args=(inbound, control), name="runner", daemon=True).start()
    process_main(job, settings, outbound, control)
    return 0


if __name__ == "__main__":
    sys.exit(main())
