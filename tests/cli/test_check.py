"""`kestrelflow check`: every problem of a job file is one line naming the
file, the step and the field; `run` refuses such a file the same way."""
import pytest

from kestrelflow.cli import main

from cli.commands import write_job

GOOD = {"name": "Open", "action": "get_url", "values": ["https://portal.example/"]}


@pytest.mark.parametrize("step, message", [
    ({"name": "Press", "action": "Click", "xpaths": ["//button"]},
     "step 2, action: 'Click' is not an action; the actions are click, input, get_url, Scrap_data"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"], "values": "Alice"},
     "step 2, values: a list is required, not the string 'Alice' (write ['Alice'])"),
    ({"name": "Press", "action": "click", "xpaths": "//button"},
     "step 2, xpaths: a list is required, not the string '//button' (write ['//button'])"),
    ({"action": "click", "xpaths": ["//button"]}, "step 2: the field 'name' is missing"),
    ({"name": "Press", "action": "click", "xpaths": ["//button"], "delay": "soon"},
     "step 2, delay: 'soon' is not a number"),
    ({"name": "Press", "action": "click", "xpath": ["//button"], "texts": ["Go"]},
     "step 2: unknown field 'xpath' (the fields are name, action, xpaths, texts, delay, values, expect, "
     "timeout, retries)"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"], "values": ["${KF_NOT_SET_ANYWHERE}"]},
     "step 2, values: the environment variable KF_NOT_SET_ANYWHERE is not set"),
    ({"name": "Press", "action": "click", "xpaths": ["//button[@id='go'"]},
     "step 2, xpaths.0: \"//button[@id='go'\" is not a valid XPath (Invalid predicate)"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"]},
     "step 2: the field 'values' is missing (an input step needs at least one value to type)"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"], "values": []},
     "step 2, values: an input step needs at least one value to type"),
    ({"name": "Press", "action": "click", "xpaths": [""], "texts": []},
     "step 2, xpaths: a click step needs xpaths or texts"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"], "texts": ["Plot"], "values": ["7"]},
     "step 2, texts: an input step does not use texts (only click steps do)"),
    ({"name": "Read", "action": "Scrap_data", "xpaths": ["//p"], "texts": ["Fee"]},
     "step 2, texts: a Scrap_data step does not use texts (only click steps do)"),
    ({"name": "Read", "action": "Scrap_data", "xpaths": ["//p"], "expect": {"startswith": "APP"}},
     "step 2, expect: 'startswith' is not an expectation of a Scrap_data step (equals, contains, matches)"),
    ({"name": "Open", "action": "get_url", "values": ["https://portal.example/"], "expect": {"contains": "x"}},
     "step 2, expect: 'contains' is not an expectation of a get_url step (title_contains, url_contains)"),
    ({"name": "Read", "action": "Scrap_data", "xpaths": ["//p"], "expect": {"equals": "a", "contains": "b"}},
     "step 2, expect: needs exactly one of equals, contains, matches"),
    ({"name": "Press", "action": "click", "xpaths": ["//button"], "expect": {"equals": "OK"}},
     "step 2, expect: a click step reads nothing to expect from (expect is for Scrap_data and get_url steps)"),
    ({"name": "Read", "action": "Scrap_data", "xpaths": ["//p"], "expect": {"matches": "APP-(\\d+"}},
     "step 2, expect.matches: 'APP-(\\\\d+' is not a valid regular expression "
     "(missing ), unterminated subpattern at position 4)"),
    ({"name": "Press", "action": "click", "xpaths": ["//button"], "timeout": 0},
     "step 2, timeout: must be more than 0"),
    ({"name": "Press", "action": "click", "xpaths": ["//button"], "retries": 0},
     "step 2, retries: must be at least 1"),
])
def test_each_problem_names_file_step_and_field(step, message, tmp_path, capsys):
    path = write_job(tmp_path, "job", [GOOD, step])
    assert main(["check", str(path)]) == 2
    assert capsys.readouterr().err == "%s: %s\n" % (path, message)
    assert main(["run", str(path), "--out", str(tmp_path / "out")]) == 2
    assert capsys.readouterr().err.splitlines() == [
        "%s: %s" % (path, message), "kestrelflow: nothing was run: 1 problem in the job files"]


@pytest.mark.parametrize("text, message", [
    ("name: [land\n", "name: not valid YAML: line 2, column 1: did not find expected ',' or ']'"),
    ("- just a list\n", "a job is a mapping with the fields name, service, web_app, sleep_time and steps"),
    ("name: ../up\nservice: s\nweb_app: w\nsteps: []\n",
     "name: '../up' is not a usable job name (letters, digits, '.', '_' and '-', starting with a letter or digit)"),
])
def test_files_that_are_no_job(text, message, tmp_path, capsys):
    path = tmp_path / "job.yaml"
    path.write_text(text)
    assert main(["check", str(path)]) == 2
    assert capsys.readouterr().err.splitlines()[0] == "%s: %s" % (path, message)


def test_a_good_file_and_two_jobs_of_one_name(tmp_path, capsys):
    one = write_job(tmp_path, "land", [GOOD], sleep_time=1)
    assert main(["check", str(one)]) == 0
    assert capsys.readouterr().out == "%s: ok, job land, 1 step\n" % one
    other = tmp_path / "copy.yaml"
    other.write_text(one.read_text())
    assert main(["check", str(one), str(other)]) == 2
    assert capsys.readouterr().err == "%s: name: the job name 'land' is already used by %s\n" % (other, one)


def test_unset_variables_are_told_with_the_other_problems(tmp_path, capsys):
    steps = [GOOD, {"name": "Type", "action": "input", "xpaths": ["//input["], "values": ["${KF_NOT_SET_ANYWHERE}"]}]
    path = write_job(tmp_path, "job", steps)
    assert main(["check", str(path)]) == 2
    assert capsys.readouterr().err.splitlines() == [
        "%s: step 2, values: the environment variable KF_NOT_SET_ANYWHERE is not set" % path,
        "%s: step 2, xpaths.0: '//input[' is not a valid XPath (Invalid expression)" % path]
