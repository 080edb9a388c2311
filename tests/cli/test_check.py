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
    ({"name": "Press", "action": "click", "xpath": ["//button"]},
     "step 2: unknown field 'xpath' (the fields are name, action, xpaths, texts, delay, values)"),
    ({"name": "Type", "action": "input", "xpaths": ["//input"], "values": ["${KF_NOT_SET_ANYWHERE}"]},
     "step 2, values: the environment variable KF_NOT_SET_ANYWHERE is not set"),
])
def test_each_problem_names_file_step_and_field(step, message, tmp_path, capsys):
    path = write_job(tmp_path, "job", [GOOD, step])
    assert main(["check", str(path)]) == 2
    assert capsys.readouterr().err == "%s: %s\n" % (path, message)
    assert main(["run", str(path), "--out", str(tmp_path / "out")]) == 2
    assert capsys.readouterr().err.splitlines() == [
        "%s: %s" % (path, message), "kestrelflow: nothing was run: 1 problem in the job files"]


@pytest.mark.parametrize("text, message", [
    ("name: [land\n", "line 2, column 1: not valid YAML: expected ',' or ']', but got '<stream end>'"),
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
