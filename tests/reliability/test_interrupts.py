"""Ctrl-C reaches every sleep, every wait and every native loop that can run long.

One process of its own runs the cases one after another; for each, the test
sends SIGINT from outside (as a terminal does) once the call is under way,
and the process reports the KeyboardInterrupt with its CPU time.  The CPU
time spent between the signal and the interrupt is the latency asserted:
unlike wall time it does not grow when the machine is busy.
"""
import os
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from helpers import child_env

CHILD = textwrap.dedent("""
    import itertools, signal, sys, time
    # The SIGINTs the test sends raise KeyboardInterrupt here even when the
    # test run was started with SIGINT ignored (nohup, a background job),
    # which this process would otherwise inherit.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    sys.path.insert(0, sys.argv[1])
    import kestrelflow.generic_utility as gu
    from fakes import FakeDriver, FakeTime

    class Nowhere:
        def write(self, text):
            return len(text)
        def flush(self):
            pass


    class OneLook:
        def __init__(self, driver, *args, **kwargs):
            pass
        def until(self, *args):
            return None

    nothing = FakeDriver()
    forever = itertools.repeat
    CASES = {
        # sleeps through the module's time
        "retry delay": (None, lambda: gu.extract_text(nothing, ["//p"], 2, 10**6, 0)),
        "step delay": (None, lambda: gu.run_steps(nothing, [["s", "noop", [], [], 10**6]],
                                                   "app", "t.csv", ".", "svc", ".", None, 0)),
        "polling interval": (None, lambda: gu.wait_for_element_to_appear(
            nothing, ["//p"], 10**6, 10**6)),
        "presence polling": (None, lambda: gu.check_element_existance(nothing, ["//p"], 10**9, 10**6)),
        "disappearance polling": (None, lambda: gu.wait_for_error_to_disappear(
            FakeDriver(missing=[1]), 10**9, 10**6)),
        # waits polled by WebDriverWait
        "clickable wait": (None, lambda: gu.clicking_on_element_by_all_option(
            nothing, ["//p"], [], 1, False, 10**6)),
        "element wait": (None, lambda: gu.wait_for_element(nothing, "xpath", "//p", 1, 0)),
        "body wait": (None, lambda: gu.extract_performance_logs_and_append_to_csv(
            nothing, "t.csv", "s", "a")),
        # native loops
        "detect_language": (None, lambda: gu.detect_language(forever("a"))),
        "is_arabic": (None, lambda: gu.is_arabic(forever("a"))),
        "vertical text": (None, lambda: gu.create_vertical_snake_text(forever("a"))),
        "input passes": ("wait", lambda: gu.input_data_by_all_option(
            None, [], [], "v", None, max_attempts=float("inf"))),
        "click passes": ("wait", lambda: gu.clicking_on_element_by_all_option(
            None, [], [], max_retries=10**12)),
        "presence polls, instant sleeps": ("instant", lambda: gu.check_element_existance(
            nothing, ["//p"], 10**15, 1)),
        "disappearance polls, instant sleeps": ("instant", lambda: gu.check_element_disapearing(
            FakeDriver(missing=[1]), ["//p"], 10**15, 1)),
    }
    sys.stdout = Nowhere()
    real = {name: getattr(gu, name) for name in ("time", "WebDriverWait")}
    for name in sys.argv[2:]:
        setup, call = CASES[name]
        if setup == "wait":
            gu.WebDriverWait = OneLook
        if setup == "instant":
            gu.time = FakeTime(record=False)  # loops between sleeps spin natively
        sys.__stdout__.write("ready\\n")
        sys.__stdout__.flush()
        try:
            call()
            outcome = "returned"
        except KeyboardInterrupt:
            outcome = "interrupted %.3f" % time.process_time()
        for attr, value in real.items():
            setattr(gu, attr, value)
        sys.__stdout__.write(outcome + "\\n")
        sys.__stdout__.flush()
""")

CASES = ["retry delay", "step delay", "polling interval", "presence polling",
         "disappearance polling", "clickable wait", "element wait", "body wait",
         "detect_language", "is_arabic", "vertical text", "input passes", "click passes",
         "presence polls, instant sleeps", "disappearance polls, instant sleeps"]


def stat(pid):
    """The process's state letter and its CPU time in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return fields[0], (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    return stat(pid)[1]


def wait_until_under_way(pid):
    """Returns once the call that follows "ready" is under way: the process
    sleeps (in the call's sleep or wait: nothing else between "ready" and the
    call blocks) or has spent CPU time in it (a native loop), however slowly
    the machine gets it there."""
    state, start = stat(pid)
    while state not in ("S", "D") and stat(pid)[1] - start < 0.05:
        time.sleep(0.01)
        state = stat(pid)[0]


@pytest.fixture(scope="module")
def latencies(tmp_path_factory):
    tests = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    child = subprocess.Popen([sys.executable, "-c", CHILD, tests, *CASES], stdout=subprocess.PIPE,
                             text=True, cwd=tmp_path_factory.mktemp("interrupts"), env=child_env())
    # A hang guard only: a case that never answers fails instead of hanging the run.
    guard = threading.Timer(1800, child.kill)
    guard.start()
    results = {}
    try:
        for case in CASES:
            assert child.stdout.readline() == "ready\n"
            # Let the call get under way: into its sleep, its wait or its loop.
            wait_until_under_way(child.pid)
            sent_at = cpu_seconds(child.pid)
            child.send_signal(2)
            line = child.stdout.readline().split() or ["no answer"]
            results[case] = (line[0], float(line[1]) - sent_at if len(line) > 1 else None)
    finally:
        guard.cancel()
        child.kill()
        child.wait(timeout=60)
    return results


@pytest.mark.parametrize("case", CASES)
def test_ctrl_c_interrupts_promptly(latencies, case):
    outcome, cpu_after_signal = latencies[case]
    assert outcome == "interrupted"
    assert cpu_after_signal < 1.0
