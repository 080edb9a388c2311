"""No leaks: 100,000 calls of the text routines, of calls that fail to bind their
arguments and of routines that take their guarded paths leave the interpreter
with (almost) the blocks it had, and their arguments with the references they
had.  Measured in a process of its own, its output going nowhere."""
import json
import subprocess
import sys
import textwrap

import pytest

from helpers import child_env

CALLS = 100_000

SCRIPT = textwrap.dedent("""
    import gc, io, json, sys
    sys.path.insert(0, sys.argv[1])
    import kestrelflow.generic_utility as gu
    from fakes import FakeElement, FakeTime
    from selenium.common.exceptions import NoAlertPresentException

    class Nowhere(io.TextIOBase):
        def write(self, text):
            return len(text)


    class Browsers:
        def Edge(self, options=None):
            raise OSError("no browser here")

    class Wait:
        # One look, as WebDriverWait(driver, 0) takes, without its pause.
        def __init__(self, driver, timeout, *args, **kwargs):
            self.driver = driver
        def until(self, condition, message=""):
            value = condition(self.driver)
            if not value:
                raise gu.TimeoutException(message)
            return value

    gu.time = FakeTime(record=False)
    gu.WebDriverWait = Wait
    gu.webdriver = Browsers()
    sys.stdout = Nowhere()

    arabic = "طلب رقم 12345 " * 4
    mixed = "Application 2024-55 " + arabic
    step = {"Open": {"xpath": "//a"}}
    class Page:
        # The shared fakes keep a log of every call; 100,000 calls need a
        # browser that remembers nothing: a page with only a body, whose
        # scripts fail.
        def __init__(self, body):
            self.body = body
        def find_element(self, by, value):
            raise gu.NoSuchElementException(value)
        def find_elements(self, by, value):
            return [self.body] if value == "body" else []
        def execute_script(self, script, *args):
            raise OSError("script failed")
        @property
        def switch_to(self):
            raise NoAlertPresentException()

    nothing = Page(None)
    failing = Page(FakeElement())
    cases = {
        "is_arabic": lambda: gu.is_arabic(arabic),
        "detect_language": lambda: gu.detect_language(mixed),
        "similar": lambda: gu.similar(arabic, mixed),
        "clean_text": lambda: gu.clean_text(mixed, "ar"),
        "extract_application_number": lambda: gu.extract_application_number(mixed),
        "create_vertical_snake_text": lambda: gu.create_vertical_snake_text(mixed),
        "get_step_value": lambda: gu.get_step_value(step, "Open", "xpath"),
        "get_step_value, missing": lambda: gu.get_step_value(step, "Close", "xpath"),
        "binding: missing argument": lambda: gu.is_arabic(),
        "binding: extra argument": lambda: gu.detect_language(mixed, arabic),
        "binding: unknown keyword": lambda: gu.similar(arabic, b=mixed, c=arabic),
        "binding: given twice": lambda: gu.clean_text(mixed, text=arabic),
        "guard: session factory fails": lambda: gu.Edge_Driver_info(),
        "guard: timing script fails": lambda: gu.extract_performance_logs_and_append_to_csv(
            failing, "never.csv", mixed, arabic),
        "guard: no element to read": lambda: gu.extract_text(nothing, ["//p"], 1, 0, 0),
        "guard: no alert": lambda: gu.dismiss_alerts(nothing),
        "guard: loader not found": lambda: gu.wait_for_page_to_load(nothing, "//div", 0),
    }
    arguments = [arabic, mixed, step, nothing, failing, "never.csv", ["//p"]]
    only = sys.argv[3:] or list(cases)
    report = {}
    for name in only:
        call = cases[name]
        for _ in range(2000):
            try:
                call()
            except Exception:
                pass
        gc.collect()
        counts = [sys.getrefcount(a) for a in arguments]
        blocks = sys.getallocatedblocks()
        for _ in range(int(sys.argv[2])):
            try:
                call()
            except Exception:
                pass
        gc.collect()
        report[name] = [sys.getallocatedblocks() - blocks,
                        [sys.getrefcount(a) for a in arguments] == counts]
    sys.__stdout__.write(json.dumps(report))
""")

CASES = ["is_arabic", "detect_language", "similar", "clean_text", "extract_application_number",
         "create_vertical_snake_text", "get_step_value", "get_step_value, missing",
         "binding: missing argument", "binding: extra argument", "binding: unknown keyword",
         "binding: given twice", "guard: session factory fails", "guard: timing script fails",
         "guard: no element to read", "guard: no alert", "guard: loader not found"]


@pytest.fixture(scope="module")
def growth(tmp_path_factory):
    import os
    tests = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    done = subprocess.run([sys.executable, "-c", SCRIPT, tests, str(CALLS)], capture_output=True,
                          text=True, timeout=3600, cwd=tmp_path_factory.mktemp("leaks"),
                          env=child_env())
    assert done.returncode == 0, done.stderr[-3000:]
    return json.loads(done.stdout)


@pytest.mark.slow
@pytest.mark.parametrize("case", CASES)
def test_calls_leave_no_blocks_and_no_references(growth, case):
    blocks, references_kept = growth[case]
    assert blocks < 1000
    assert references_kept
