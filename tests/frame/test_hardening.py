"""Faults that only show in a process of their own: a sub-interpreter import,
allocation failures, Ctrl-C inside native loops, and the exception state a
`with` leaves behind in a generator.  Each case runs in a fresh interpreter
with a deadline, so a hang or a crash fails the test instead of the run."""
import subprocess
import sys
import textwrap

import pytest

from helpers import HANG, child_env


def run_python(code):
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                            text=True, timeout=HANG, env=child_env())
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout.splitlines()


def test_first_import_in_a_sub_interpreter_is_refused_promptly():
    lines = run_python("""
        import _xxsubinterpreters as interpreters
        sub = interpreters.create()
        try:
            interpreters.run_string(sub, "import kestrelflow.generic_utility")
        except interpreters.RunFailedError as error:
            print(error)
        import kestrelflow.generic_utility as gu
        print(gu.is_arabic("سلام"))
    """)
    assert lines == [
        "<class 'ImportError'>: Interpreter change detected - this module can only be loaded into one "
        "interpreter per process.",
        "True",
    ]


# Each call is made once per allocation, with exactly that allocation failing.
SWEEP = """
    import contextlib, io, _testcapi
    import kestrelflow.generic_utility as gu

    class Driver:
        def save_screenshot(self, path):
            return True

    class Browsers:
        def Edge(self, options=None):
            return "edge session"

    def sweep(call, count=600):
        outcomes = set()
        for k in range(count):
            sink = io.StringIO()
            with contextlib.redirect_stdout(sink):
                _testcapi.set_nomemory(k, k + 1)
                try:
                    call()
                    kind = "ok"
                except BaseException as error:
                    kind = type(error).__name__
                finally:
                    _testcapi.remove_mem_hooks()
            if kind == "ok" and "[Edge Driver Error]" in sink.getvalue():
                kind = "caught"
            outcomes.add(kind)
        print(" ".join(sorted(outcomes)))
"""


@pytest.mark.parametrize("call, expected", [
    ('gu.Generate_File_name("\\ud800 service", 1)', {"MemoryError", "ok"}),
    # A lone surrogate that a file name can hold (surrogateescape): printed
    # by the fallback path, and the picture is still written.
    ('gu.capture_screenshot(base, step_name="step \\udcff", use_webdriver=True, driver=Driver())',
     {"MemoryError", "ok"}),
    # The session call's failure inside the guarded block is caught and reported.
    ('gu.Edge_Driver_info()', {"MemoryError", "caught", "ok"}),
], ids=["file-name", "screenshot", "edge-guard"])
def test_allocation_failures_raise_memory_error(call, expected, tmp_path):
    lines = run_python(SWEEP + f"""
    base = {str(tmp_path)!r}
    gu.webdriver = Browsers()
    sweep(lambda: {call})
    """)
    assert set(lines[-1].split()) == expected


# Sends SIGINT to process argv[1] once its CPU time has passed argv[2] + 0.2 s.
KILLER = """
import os, sys, time
pid, start = int(sys.argv[1]), float(sys.argv[2])
def cpu():
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
while cpu() < start + 0.2:
    time.sleep(0.01)
os.kill(pid, 2)
"""


@pytest.mark.parametrize("call", [
    "gu.detect_language(itertools.repeat('a'))",
    "gu.is_arabic(itertools.repeat('a'))",
    "gu.create_vertical_snake_text(itertools.repeat('a'))",
    "gu.input_data_by_all_option(None, [], [], 'v', None, max_attempts=float('inf'))",
    "gu.clicking_on_element_by_all_option(None, [], [], max_retries=10**12)",
], ids=["detect_language", "is_arabic", "vertical", "input-passes", "click-passes"])
def test_ctrl_c_stops_native_loops(call):
    lines = run_python(f"""
        import itertools, os, signal, subprocess, sys
        import kestrelflow.generic_utility as gu

        # Ctrl-C raises KeyboardInterrupt here even when the test run was
        # started with SIGINT ignored (nohup, a background job).
        signal.signal(signal.SIGINT, signal.default_int_handler)

        class Wait:
            def __init__(self, *args):
                pass
            def until(self, *args):
                return None
        gu.WebDriverWait = Wait
        KILLER = {KILLER!r}
        # Ctrl-C from outside, as a terminal sends it: no thread of ours has to
        # run.  It comes once this process has spent CPU time in the call (the
        # native loop is all it does from here), however slow the machine.
        subprocess.Popen([sys.executable, "-c", KILLER, str(os.getpid()), str(sum(os.times()[:2]))])
        try:
            {call}
        except KeyboardInterrupt:
            print("interrupted")
    """)
    assert lines[-1] == "interrupted"


def test_with_leaves_a_generators_exception_state_alone(tmp_path):
    lines = run_python(f"""
        import sys
        import kestrelflow.generic_utility as gu

        class Grabber:
            def __enter__(self):
                return self
            def __exit__(self, *exc):
                return False
            @property
            def monitors(self):
                raise OSError("no screen")

        class Screens:
            def mss(self):
                return Grabber()
        gu.mss = Screens()

        def steps():
            yield
            try:
                gu.capture_screenshot({str(tmp_path)!r})
            except OSError:
                pass
            yield
            yield sys.exc_info()[1]

        run = steps()
        next(run)
        try:
            raise ValueError("the caller's own")
        except ValueError:
            next(run)
        print(next(run))
    """)
    assert lines[-1] == "None"
