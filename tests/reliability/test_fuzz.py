"""The fuzz smoke: every public function, hostile arguments, a forked child each."""
import json
import os
import subprocess
import sys

import pytest

from helpers import child_env

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fuzzing  # noqa: E402


@pytest.fixture(scope="module")
def report():
    # The harness tells a hung child by its CPU time and its heartbeat; the
    # time-out here only keeps a broken harness from holding the run forever.
    done = subprocess.run([sys.executable, os.path.join(HERE, "fuzzing.py"), "--seed", "11",
                           "--calls", "3000", "--budget", "0.4", "--jobs", "2"],
                          capture_output=True, text=True, timeout=4 * 3600, env=child_env())
    assert done.returncode == 0, done.stderr[-3000:]
    return json.loads(done.stdout)


@pytest.mark.slow
def test_all_functions_are_called_and_none_fails(gu, report):
    assert sorted(report) == sorted(fuzzing.public_functions(gu))
    assert len(report) == 72
    assert {name: result["failures"] for name, result in report.items() if result["failures"]} == {}
    # Every function is called many times; the slow browser routines fewer.
    assert min(result["calls"] for result in report.values()) >= 40
    assert sum(result["calls"] for result in report.values()) >= 100_000


# ---- the checker itself: each fault it is there to find is found ----------------------

def raise_from(function, error):
    try:
        function(error)
    except BaseException as caught:
        return caught


def routine_frame(error):
    raise error


routine_frame.__code__ = routine_frame.__code__.replace(
    co_name="kestrelflow.generic_utility.set_zoom")


def plain_frame(error):
    raise error


@pytest.mark.parametrize("make, raised, verdict", [
    pytest.param(lambda: None, [], None, id="returned"),
    pytest.param(lambda: raise_from(routine_frame, ValueError("x")), [], None, id="plain error"),
    pytest.param(lambda: raise_from(plain_frame, ValueError("x")), [],
                 "ValueError without the routine's traceback entry", id="no traceback entry"),
    pytest.param(lambda: raise_from(routine_frame, SystemError("bad")), [],
                 "SystemError: bad", id="SystemError"),
    pytest.param(lambda: raise_from(routine_frame, RuntimeError("Unable to cast")), [],
                 "RuntimeError: Unable to cast", id="conversion RuntimeError"),
    pytest.param(lambda: raise_from(routine_frame, NotImplementedError("set_zoom")), [], None,
                 id="unbuilt"),
    pytest.param(lambda: raise_from(routine_frame, NotImplementedError("other")), [],
                 "NotImplementedError not naming the routine", id="unbuilt, misnamed"),
    pytest.param(lambda: raise_from(routine_frame, ValueError("x")), [KeyboardInterrupt()],
                 "KeyboardInterrupt raised inside did not pass through (ValueError came out)",
                 id="interrupt swallowed"),
    pytest.param(lambda: None, [fuzzing.Abort()],
                 "Abort raised inside did not pass through (the call returned)",
                 id="BaseException swallowed, routine returned"),
    pytest.param(lambda: raise_from(routine_frame, KeyboardInterrupt()), [],
                 "KeyboardInterrupt out of nowhere", id="interrupt from nowhere"),
])
def test_the_checker_finds_each_fault(make, raised, verdict):
    assert fuzzing.check("set_zoom", make(), raised) == verdict


def test_an_interrupt_that_passes_through_is_accepted():
    interrupt = KeyboardInterrupt()
    outcome = raise_from(routine_frame, interrupt)
    assert fuzzing.check("set_zoom", outcome, [interrupt]) is None


# ---- the hang watch: CPU time and a heartbeat, never the wall clock ------------------------

@pytest.fixture
def child():
    """child(code): a Python process running the code; ended afterwards."""
    started = []

    def start(code):
        process = subprocess.Popen([sys.executable, "-c", code], env=child_env())
        started.append(process)
        return process

    yield start
    for process in started:
        process.kill()
        process.wait()


def test_a_spinning_child_is_hung_once_it_has_used_its_cpu_time(child):
    spinner = child("while True: pass")
    progress = [fuzzing.Heartbeat(), 0, fuzzing.time.monotonic()]
    verdict = ""
    while not verdict:  # however slowly a busy machine lets it get there
        fuzzing.time.sleep(0.02)
        verdict = fuzzing._hung(spinner.pid, progress, hang=0.3, stall=3600)
    assert verdict.startswith("hung (") and verdict.endswith(" s of CPU time)")
    assert fuzzing.cpu_seconds(spinner.pid) > 0.3


@pytest.mark.parametrize("beating", [False, True], ids=["heartbeat still", "heartbeat moving"])
def test_a_waiting_child_is_hung_when_its_heartbeat_stands_still(child, beating):
    sleeper = child("import time; time.sleep(3600)")
    heartbeat = fuzzing.Heartbeat()
    progress = [heartbeat, heartbeat.count(), fuzzing.time.monotonic() - 10]  # 10 s without a beat
    if beating:
        heartbeat.beat()
    verdict = fuzzing._hung(sleeper.pid, progress, hang=60, stall=5)
    assert verdict == ("" if beating else "hung (no call ended in 5 s)")
