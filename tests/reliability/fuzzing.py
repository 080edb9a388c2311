"""Adversarial calls of every public function of kestrelflow.generic_utility.

    python tests/reliability/fuzzing.py [--seed N] [--calls N] [--budget SECONDS] [--jobs N]

One process imports the module, puts fakes in place of everything that
would reach outside the machine (browsers, driver managers, HTTP, Gmail,
the pointer and the screen grabber), makes its clock instant, and then runs
each function in a forked child of its own.  A child makes up to --calls
calls (or stops after --budget seconds of CPU time) with arguments drawn,
seeded, from a pool of hostile values, and checks every outcome:

  - no SystemError, and no bare RuntimeError (what a failed conversion
    inside the module would raise);
  - a BaseException that is not an Exception, raised by an argument or by
    the fake browser during the call, is what leaves the call;
  - every exception that leaves the call carries the function's own
    traceback entry;
  - a function not built yet raises NotImplementedError naming itself.

The parent reports a child that dies of a signal or hangs.  A hang is told
by the child's own CPU time (a child that spins past --hang CPU seconds) or
by its heartbeat (a counter the child bumps after every call) standing still
for --stall seconds, never by how long a busy machine takes to run it.  The
result is one JSON object on standard output: per function the number of
calls and the failures found.
"""
import argparse
import inspect
import json
import math
import os
import random
import select
import signal
import sys
import tempfile
import time

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class FuzzError(Exception):
    """What the hostile objects raise when they raise an ordinary error."""


class Abort(BaseException):
    """A BaseException of our own that is not an Exception."""


class CallTimeout(BaseException):
    """Raised by the per-call timer: a call that runs long is cut short."""


# BaseExceptions (not Exceptions) raised by hostile objects during the current call.
RAISED = []


def _raise(make):
    error = make()
    if not isinstance(error, Exception):
        RAISED.append(error)
    raise error


HOSTILE_METHODS = ["__str__", "__repr__", "__eq__", "__ne__", "__lt__", "__gt__", "__hash__",
                   "__len__", "__iter__", "__bool__", "__getitem__", "__contains__",
                   "__int__", "__float__", "__index__", "__add__", "__radd__", "__format__",
                   "__fspath__", "__call__"]


def hostile(methods, make):
    """An object whose given protocol methods raise make()."""
    def fail(self, *args, **kwargs):
        _raise(make)
    namespace = {method: fail for method in methods}
    return type("Hostile", (), namespace)()


class ChaosDriver:
    """A browser (and element) that answers every call at random: a value,
    a Selenium error, an ordinary error, or now and then KeyboardInterrupt."""

    def __init__(self, rng, answers, failures):
        self._rng = rng
        self._answers = answers
        self._failures = failures

    def __getattr__(self, name):
        if name.startswith("__"):
            raise AttributeError(name)
        return self._act

    def _act(self, *args, **kwargs):
        roll = self._rng.random()
        if roll < 0.35:
            _raise(self._rng.choice(self._failures))
        if roll < 0.36:
            _raise(KeyboardInterrupt)
        answer = self._rng.choice(self._answers)
        return answer(self) if callable(answer) and not isinstance(answer, type) else answer


def install_fakes(gu, rng, dead_driver):
    """Everything that would leave the machine, or wait, answers at once."""
    from fakes import FakeTime
    from selenium.webdriver.support.ui import WebDriverWait
    from selenium.common import exceptions as ex

    failures = [ex.TimeoutException, ex.NoSuchElementException, ex.WebDriverException,
                ex.ElementNotInteractableException, ex.ElementClickInterceptedException,
                ex.StaleElementReferenceException, ex.NoAlertPresentException,
                FuzzError, lambda: OSError(28, "No space left on device")]
    answers = [None, True, False, "", "text", "سلام", 0, 3, [], {"name": "x", "duration": 1},
               lambda d: d, lambda d: [d, d], lambda d: [{"name": "r", "duration": 1.5}]]
    chaos = ChaosDriver(rng, answers, failures)

    def quick_wait(driver, timeout=None, *args, **kwargs):
        # The caller's arguments are checked as the real class checks them;
        # the wait itself polls once.
        WebDriverWait(driver, timeout, *args, **kwargs)
        return WebDriverWait(driver, 0, poll_frequency=1e-9)

    gu.time = FakeTime(record=False, tick=7.0, strict=True)
    gu.WebDriverWait = quick_wait
    for name in ["webdriver", "ChromeDriverManager", "GeckoDriverManager",
                 "EdgeChromiumDriverManager", "ChromeService", "FirefoxService", "EdgeService",
                 "requests", "pyautogui", "mss", "build", "Credentials", "InstalledAppFlow",
                 "ActionChains"]:
        setattr(gu, name, chaos)
    return chaos, failures


def value_pool(rng, chaos, dead_driver):
    """(label, value or factory) pairs; factories make a fresh value per call."""
    from fakes import FakeDriver, FakeElement
    makers = [FuzzError, KeyboardInterrupt, Abort]
    pool = [
        ("None", None), ("0", 0), ("1", 1), ("-1", -1), ("3", 3), ("10**30", 10 ** 30),
        ("-10**30", -10 ** 30), ("2**63", 2 ** 63), ("inf", math.inf), ("-inf", -math.inf),
        ("nan", math.nan), ("1e308", 1e308), ("-0.0", -0.0), ("0.5", 0.5), ("True", True),
        ("False", False), ("bytes", b"bytes"), ("bytes-ff", b"\xff\x00"),
        ("bytearray", bytearray(b"x")), ("''", ""), ("'text'", "text"),
        ("lone surrogate", "\ud800"), ("NUL", "a\x00b"), ("arabic", "سلام عليكم 123"),
        ("pair of surrogates", "\ud800\udc00"), ("xpath", "//div[@id='x']"),
        ("html", "<p>{{name}}</p>"), ("[]", []), ("['']", [""]), ("[None]", [None]),
        ("[xpath, surrogate]", ["//div", "\ud800"]), ("mixed list", ["a", 1, None, b"b"]),
        ("()", ()), ("{}", {}), ("dict", {"a": 1, "name": "x"}), ("set", set()),
        ("object", object()), ("step", ["name", "click", ["//a"], ["a"], 0]),
        ("steps", [["name", "click", ["//a"], ["a"], 0], ["n", "Scrap_data", [], [], 0]]),
        ("chaos driver", lambda: chaos),
        ("fake driver", lambda: FakeDriver()),
        ("fake driver with body", lambda: FakeDriver({"body": [FakeElement("x")]},
                                                     missing=[FakeElement("y")],
                                                     script_answer=[{"name": "n"}])),
    ]
    if dead_driver is not None:
        pool.append(("quit browser", dead_driver))
    for make in makers:
        for method in ["__str__", "__eq__", "__len__", "__iter__", "__bool__"]:
            pool.append((f"{method} raises {make.__name__}",
                         lambda m=method, k=make: hostile([m], k)))
        pool.append((f"everything raises {make.__name__}",
                     lambda k=make: hostile(HOSTILE_METHODS, k)))
        pool.append((f"list holding one that raises {make.__name__}",
                     lambda k=make: ["//a", hostile(HOSTILE_METHODS, k)]))
    rare = [("megabyte str", "x" * 1_000_000), ("megabyte arabic", "س" * 1_000_000),
            ("megabyte list", ["x" * 1_000_000]), ("megabyte bytes", b"x" * 1_000_000)]
    return pool, rare


def public_functions(gu):
    kind = type(gu.set_zoom)
    return [name for name, value in vars(gu).items() if type(value) is kind]


def draw(rng, pool, rare):
    label, value = rng.choice(rare) if rng.random() < 0.004 else rng.choice(pool)
    if callable(value) and getattr(value, "__name__", "") == "<lambda>":
        value = value()
    return label, value


def check(name, outcome, raised):
    """What is wrong with one call's outcome (None when nothing is)."""
    if outcome is None:
        return (f"{type(raised[0]).__name__} raised inside did not pass through "
                f"(the call returned)") if raised else None
    routine = "kestrelflow.generic_utility." + name
    if isinstance(outcome, CallTimeout):
        return None
    if isinstance(outcome, NotImplementedError) and type(outcome) is NotImplementedError:
        return None if name in str(outcome) else "NotImplementedError not naming the routine"
    if isinstance(outcome, SystemError):
        return f"SystemError: {outcome}"
    if type(outcome) is RuntimeError:
        return f"RuntimeError: {outcome}"
    if raised and not any(outcome is error for error in raised):
        return (f"{type(raised[0]).__name__} raised inside did not pass through "
                f"({type(outcome).__name__} came out)")
    if not isinstance(outcome, Exception) and not any(outcome is error for error in raised):
        return f"{type(outcome).__name__} out of nowhere"
    frames = []
    tb = outcome.__traceback__
    while tb is not None:
        frames.append(tb.tb_frame.f_code.co_name)
        tb = tb.tb_next
    if routine not in frames:
        return f"{type(outcome).__name__} without the routine's traceback entry"
    return None


def fuzz_one(gu, name, seed, calls, budget, pool, rare, timeout=0.25, heartbeat=None, backstop=30.0):
    """Runs in the child: the calls of one function; returns its report.  A
    call is cut short after `timeout` seconds of the process's CPU time (or,
    when it waits without using any, after `backstop` seconds); `heartbeat`,
    when given, is bumped after every call."""
    function = getattr(gu, name)
    params = list(inspect.signature(function).parameters.values())
    rng = random.Random(f"{seed}:{name}")
    failures = {}
    active = [False]

    def on_timer(signum, frame):
        if active[0]:
            raise CallTimeout()

    signal.signal(signal.SIGPROF, on_timer)
    signal.signal(signal.SIGALRM, on_timer)
    start = time.process_time()
    made = timeouts = 0
    for made in range(1, calls + 1):
        if time.process_time() - start > budget:
            made -= 1
            break
        args, kwargs, labels = [], {}, []
        by_keyword = False
        for p in params:
            if p.default is not inspect.Parameter.empty and rng.random() < 0.3:
                by_keyword = True
                continue
            label, value = draw(rng, pool, rare)
            labels.append(f"{p.name}={label}")
            if by_keyword or rng.random() < 0.2:
                by_keyword = True
                kwargs[p.name] = value
            else:
                args.append(value)
        del RAISED[:]
        outcome = None
        signal.setitimer(signal.ITIMER_PROF, timeout)
        signal.setitimer(signal.ITIMER_REAL, backstop)
        try:
            active[0] = True
            function(*args, **kwargs)
            active[0] = False
        except BaseException as error:
            active[0] = False
            outcome = error
        finally:
            active[0] = False
            signal.setitimer(signal.ITIMER_PROF, 0)
            signal.setitimer(signal.ITIMER_REAL, 0)
        if heartbeat is not None:
            heartbeat.beat()
        timeouts += isinstance(outcome, CallTimeout)
        problem = check(name, outcome, RAISED)
        if problem is not None and problem not in failures:
            failures[problem] = ", ".join(labels)
        del args, kwargs, outcome
    return {"calls": made, "timeouts": timeouts,
            "failures": [f"{p} [{a}]" for p, a in failures.items()]}


class Heartbeat:
    """A counter in memory shared with the forked children: the child bumps
    it, the parent sees whether it moves."""

    def __init__(self):
        import mmap
        self._memory = mmap.mmap(-1, 8)

    def beat(self):
        self._memory[:8] = (self.count() + 1).to_bytes(8, "little")

    def count(self):
        return int.from_bytes(self._memory[:8], "little")


def cpu_seconds(pid):
    """The CPU time (user and system) a process has used so far; None when it
    cannot be read."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    # utime and stime are the 14th and 15th fields (the 12th and 13th after the name)
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(seed=1, calls=3000, budget=0.5, jobs=2, names=None, dead_browser=True, hang=60.0,
        stall=1800.0):
    """`hang`: the CPU seconds after which a child is taken as hung; `stall`:
    the wall-clock seconds its heartbeat may stand still (a call that blocks
    without using the CPU)."""
    sys.path.insert(0, TESTS)
    import kestrelflow.generic_utility as gu
    rng = random.Random(seed)
    dead = None
    if dead_browser:
        from kestrelflow.local_browser import open_chrome
        dead = open_chrome(headless=True)
        dead.quit()
    chaos, _ = install_fakes(gu, rng, dead)
    pool, rare = value_pool(rng, chaos, dead)
    names = names or public_functions(gu)
    work = tempfile.mkdtemp(prefix="kf-fuzz-")
    os.chdir(work)
    null = os.open(os.devnull, os.O_WRONLY)

    report, running, queue = {}, {}, list(names)
    while queue or running:
        while queue and len(running) < jobs:
            name = queue.pop(0)
            read_end, write_end = os.pipe()
            heartbeat = Heartbeat()
            pid = os.fork()
            if pid == 0:
                os.close(read_end)
                os.dup2(null, 1)
                os.dup2(null, 2)
                sys.stdout = open(os.devnull, "w")
                code = 0
                try:
                    os.makedirs(name, exist_ok=True)
                    os.chdir(name)
                    result = fuzz_one(gu, name, seed, calls, budget, pool, rare, heartbeat=heartbeat)
                    os.write(write_end, json.dumps(result).encode())
                except BaseException as error:
                    os.write(write_end, json.dumps(
                        {"calls": 0, "failures": [f"harness: {error!r}"]}).encode())
                    code = 1
                os._exit(code)
            os.close(write_end)
            running[pid] = (name, read_end, [heartbeat, heartbeat.count(), time.monotonic()], [])
        for pid, (name, read_end, progress, chunks) in list(running.items()):
            ready, _, _ = select.select([read_end], [], [], 0.01)
            if ready:
                chunk = os.read(read_end, 65536)
                if chunk:
                    chunks.append(chunk)
                    continue
            done, status = os.waitpid(pid, os.WNOHANG)
            if done == 0:
                verdict = _hung(pid, progress, hang, stall)
                if verdict:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                    report[name] = {"calls": 0, "failures": [verdict]}
                    os.close(read_end)
                    del running[pid]
                continue
            while True:
                chunk = os.read(read_end, 65536)
                if not chunk:
                    break
                chunks.append(chunk)
            os.close(read_end)
            del running[pid]
            if os.WIFSIGNALED(status):
                report[name] = {"calls": 0, "failures": [
                    f"died of signal {signal.Signals(os.WTERMSIG(status)).name}"]}
                continue
            try:
                report[name] = json.loads(b"".join(chunks))
            except ValueError:
                report[name] = {"calls": 0, "failures": [f"no report (exit {status})"]}
    return report


def _hung(pid, progress, hang, stall):
    """Why a running child counts as hung ("" while it does not)."""
    heartbeat, seen, since = progress
    now = time.monotonic()
    if heartbeat.count() != seen:
        progress[1:] = [heartbeat.count(), now]
    elif now - since > stall:
        return "hung (no call ended in %.0f s)" % stall
    used = cpu_seconds(pid)
    if used is not None and used > hang:
        return "hung (%.0f s of CPU time)" % used
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--calls", type=int, default=3000)
    parser.add_argument("--budget", type=float, default=0.5)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--hang", type=float, default=None,
                        help="CPU seconds after which a child is hung (default: 60, or 20 budgets)")
    parser.add_argument("--stall", type=float, default=1800.0,
                        help="wall-clock seconds a child may end no call before it is hung")
    parser.add_argument("--no-browser", action="store_true")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    report = run(options.seed, options.calls, options.budget, options.jobs, options.names or None,
                 not options.no_browser, hang=options.hang or max(60.0, options.budget * 20),
                 stall=options.stall)
    json.dump(report, sys.stdout, indent=1, ensure_ascii=True)
    print()


if __name__ == "__main__":
    main()
