"""Importing: once per process, one interpreter, a clean failure when a collaborator is missing."""
import importlib
import subprocess
import sys
import textwrap

import pytest

import kestrelflow.generic_utility as gu
from fakes import Recorder
from helpers import HANG, child_env


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, env=child_env(), timeout=HANG)


def test_second_import_returns_the_same_module_and_runs_nothing(monkeypatch):
    monkeypatch.setattr(gu, "time", "rebound")
    monkeypatch.delitem(sys.modules, "kestrelflow.generic_utility")
    again = importlib.import_module("kestrelflow.generic_utility")
    assert again is gu
    assert again.time == "rebound"  # the body did not run again
    assert sys.modules["kestrelflow.generic_utility"] is gu


def test_sub_interpreter_is_refused():
    result = run_python("""
        import _xxsubinterpreters as interpreters
        import kestrelflow.generic_utility
        interp = interpreters.create()
        try:
            interpreters.run_string(interp, "import kestrelflow.generic_utility")
        except Exception as e:
            print("refused:", e)
        else:
            print("loaded")
        """)
    assert result.returncode == 0, result.stderr
    assert ("Interpreter change detected - this module can only be loaded into one "
            "interpreter per process.") in result.stdout


def test_missing_collaborator_fails_the_import_and_a_later_import_succeeds():
    result = run_python("""
        import sys, traceback
        sys.modules["mss"] = None
        try:
            import kestrelflow.generic_utility
        except ModuleNotFoundError as e:
            entries = traceback.extract_tb(e.__traceback__)
            print("failed:", e)
            print("entry:", [(f.name, f.filename) for f in entries
                             if f.name.startswith("init ")])
        print("left behind:", "kestrelflow.generic_utility" in sys.modules)
        del sys.modules["mss"]
        import kestrelflow.generic_utility as gu
        print("second:", gu.mss.__name__, callable(gu.run_steps), gu.error_records)
        """)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0] == "failed: import of mss halted; None in sys.modules"
    assert lines[1] == ("entry: [('init kestrelflow.generic_utility', "
                        "'kestrelflow/generic_utility')]")
    assert lines[2] == "left behind: False"
    assert lines[3] == "second: mss True []"


def test_call_time_lookup_of_module_names(monkeypatch):
    webdriver = Recorder("webdriver", "edge-driver")
    monkeypatch.setattr(gu, "webdriver", webdriver)
    assert gu.Edge_Driver_info() == "edge-driver"
    [(name, _, kwargs)] = webdriver.calls
    assert name == "webdriver.Edge"
    assert kwargs["options"].arguments == ["--disable-notifications", "--disable-infobars",
                                           "--disable-extensions"]


@pytest.mark.parametrize("raised", [KeyboardInterrupt, SystemExit])
def test_interrupts_pass_through_guarded_blocks(monkeypatch, raised, capsys):
    monkeypatch.setattr(gu, "webdriver", Recorder("webdriver", raised))
    with pytest.raises(raised):
        gu.Edge_Driver_info()
    assert capsys.readouterr().out == ""
