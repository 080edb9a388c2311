"""What help(), inspect and an IDE see: routines with signatures and docs, and a
type stub that matches the built module."""
import inspect
import pathlib
import pydoc
import re
import subprocess
import sys

import pytest

import kestrelflow.generic_utility as gu
from frame.test_namespace import FUNCTIONS
from helpers import HANG, child_env

NAMES = [name for name, _ in FUNCTIONS]


def test_every_function_is_a_routine_with_a_signature():
    for name in NAMES:
        f = getattr(gu, name)
        assert inspect.isroutine(f) and inspect.ismethoddescriptor(f), name
        assert not inspect.isdatadescriptor(f), name
    routines = [name for name, _ in inspect.getmembers(gu, inspect.isroutine)
                if inspect.getmodule(getattr(gu, name)) is gu]
    assert sorted(routines) == sorted(NAMES)


def test_a_function_stored_on_a_class_stays_itself():
    class Holder:
        read = gu.is_arabic

    assert Holder.read is gu.is_arabic and Holder().read is gu.is_arabic
    assert Holder().read("نص") is True  # no instance bound as the first argument


def test_help_lists_the_functions_with_signatures_and_docs():
    text = pydoc.render_doc(gu, renderer=pydoc.plaintext)
    functions = "\n" + text.split("\nFUNCTIONS\n", 1)[1].split("\nDATA\n", 1)[0]
    data = text.split("\nDATA\n", 1)[1]
    for name, signature in FUNCTIONS:
        assert "\n    %s(" % name in functions, name
        assert "\n    %s = <function" % name not in data, name
    assert ("\n    run_steps(driver, step_list, web_app_name, file_path, Base_path, SERVICE_NAME, "
            "Screenshots_path, application_validation_box=None, sleep_time=0.5)\n"
            "        Run a list of steps with a screenshot and timings after each.\n") in functions
    assert "error_records = []" in data and "SCOPES = [" in data


@pytest.mark.parametrize("name", NAMES)
def test_each_doc_gives_parameters_result_and_worst_case_wait(name):
    doc = inspect.getdoc(getattr(gu, name))
    summary, blank, *rest = doc.split("\n")
    assert summary and blank == ""
    assert [line.split(":")[0] for line in rest] == [
        "Parameters", "Returns", "Worst-case wait with the defaults"]
    # Every parameter is named in the parameter line.
    params = rest[0]
    for parameter in inspect.signature(getattr(gu, name)).parameters:
        assert re.search(r"\b%s\b" % re.escape(parameter), params), (name, parameter)


def test_the_stub_and_its_marker_ship_next_to_the_module():
    package = pathlib.Path(gu.__file__).parent
    assert (package / "generic_utility.pyi").is_file()
    assert (package / "py.typed").is_file()


def test_the_stub_matches_the_built_module(tmp_path):
    # stubtest imports the module itself, in a fresh interpreter, which needs the
    # display that this session already has.  pandas ships no types of its own:
    # without pandas-stubs its names are taken as Any.
    config = tmp_path / "mypy.ini"
    config.write_text("[mypy]\nignore_missing_imports = True\n")
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "kestrelflow.generic_utility",
         "--mypy-config-file", str(config)],
        capture_output=True, text=True, timeout=HANG, cwd=tmp_path, env=child_env())
    assert result.returncode == 0, result.stdout + result.stderr
