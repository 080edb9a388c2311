"""Job files as YAML: what is typed is what was written, hostile files are
refused with one line in linear time, and the steps handed to the runner.
Every case runs on libyaml's parser and on PyYAML's own, the fallback."""
import os
import subprocess
import sys

import pytest
import yaml

from helpers import child_env
from kestrelflow.cli import jobs, main

HEAD = "name: land\nservice: Land search\nweb_app: Portal\n"
STEP = "  - {name: Press, action: click, xpaths: ['//button']}\n"
BOMB = 'a: &a ["lol","lol","lol","lol","lol","lol","lol","lol","lol"]\n' + "".join(
    "%s: &%s [%s]\n" % (b, b, ",".join(["*" + a] * 9)) for a, b in zip("abcdefgh", "bcdefghi"))


@pytest.fixture(params=["libyaml", "python"])
def parser(request, monkeypatch):
    monkeypatch.setattr(jobs, "PARSER", yaml.CSafeLoader if request.param == "libyaml" else yaml.SafeLoader,
                        raising=False)
    return request.param


def test_values_are_typed_as_written(parser, tmp_path, capsys):
    path = tmp_path / "land.yaml"
    path.write_text(HEAD + "sleep_time: 0\nsteps:\n"
                    "  - {name: Type, action: input, xpaths: ['//input'], delay: 1.5,\n"
                    "     values: [0042, 12:30, 0x1f, 1_000, 1.50, yes, ~, 2024-03-09, '007']}\n")
    assert main(["check", str(path)]) == 0
    assert capsys.readouterr().out == "%s: ok, job land, 1 step\n" % path
    job = jobs.load(path)
    assert job.sleep_time == 0
    assert job.run_steps() == [["Type", "input", ["//input"], [], 1.5,
                                ["0042", "12:30", "0x1f", "1_000", "1.50", "yes", "~", "2024-03-09", "007"]]]


def _nested(depth):
    return HEAD + "steps:\n  - {name: Press, action: click, xpaths: %s}\n" % ("[" * depth + "]" * depth)


# (the file's text or bytes, the one line after "<file>: "; per parser where they differ)
HOSTILE = {
    "not a number": (HEAD + "sleep_time: .nan\nsteps:\n" + STEP, "sleep_time: .nan is not a finite number"),
    "infinite": (HEAD + "steps:\n  - {name: Wait, action: click, texts: [Go], delay: .inf}\n",
                 "step 1, delay: .inf is not a finite number"),
    "negative": (HEAD + "steps:\n  - {name: Wait, action: click, texts: [Go], delay: -2}\n",
                 "step 1, delay: -2 is negative"),
    "alias bomb": (HEAD + BOMB + "steps:\n" + STEP,
                   "b.0: aliases (*a) are not allowed in job files: write the value out"),
    "alias": (HEAD + "steps:\n  - &press {name: Press, action: click, texts: [Go]}\n  - *press\n",
              "step 2: aliases (*press) are not allowed in job files: write the value out"),
    "20,000 levels": (_nested(20000), "step 1, xpaths: nested more than 10 levels deep"),
    "300,000 steps": (HEAD + "steps:\n" + STEP * 300000, "larger than 8 MB; split the job into several files"),
    "50,001 steps": (HEAD + "steps:\n" + "- 0\n" * 50001, "steps: more than 50000 steps"),
    "duplicate field": (HEAD + "steps:\n  - {name: Press, action: click, texts: [Go], name: Pay}\n",
                        "step 1, name: this field is given twice"),
    "duplicate steps": (HEAD + "steps:\n" + STEP + "steps:\n" + STEP, "steps: this field is given twice"),
    "name with a newline": ('name: "land\\n"\nservice: s\nweb_app: w\nsteps:\n' + STEP,
                            "name: 'land\\n' is not a usable job name (letters, digits, '.', '_' and '-', "
                            "starting with a letter or digit)"),
    "lone surrogate": (HEAD + 'steps:\n  - {name: "Pay \\ud800", action: click, texts: [Go]}\n', {
        "libyaml": "step 1: not valid YAML: line 5, column 19: found invalid Unicode character escape code",
        "python": "step 1, name: holds a lone surrogate ('\\ud800'), which no file can hold"}),
    "a tag": (HEAD + "steps:\n  - {name: !!python/name:os.system x, action: click, texts: [Go]}\n",
              "step 1, name: the tag '!!python/name:os.system' is not used in job files"),
    "two documents": (HEAD + "steps:\n" + STEP + "---\n" + HEAD, "a job file holds one YAML document, this one more (---)"),
    "a control character": (HEAD + "steps: [\x01]\n", {
        "libyaml": "not valid YAML: line 4, column 9: control characters are not allowed ('\\x01')",
        "python": "not valid YAML: line 4, column 9: special characters are not allowed ('\\x01')"}),
    "binary junk": (bytes(range(256)) * 8, "not UTF-8 text (byte 128)"),
    "Latin-1": ("name: caf\xe9\n".encode("latin-1"), "not UTF-8 text (byte 9)"),
    "empty": ("", "is empty; a job is a mapping with the fields name, service, web_app, sleep_time and steps"),
    "a folder": (None, "is a folder, not a job file"),
}


@pytest.mark.parametrize("case", HOSTILE)
def test_a_hostile_file_is_one_line(case, parser, tmp_path, capsys):
    content, line = HOSTILE[case]
    path = tmp_path / "job.yaml"
    if content is None:
        path.mkdir()
    elif isinstance(content, bytes):
        path.write_bytes(content)
    else:
        path.write_text(content, encoding="utf-8")
    assert main(["check", str(path)]) == 2
    line = line[parser] if isinstance(line, dict) else line
    assert capsys.readouterr() == ("", "%s: %s\n" % (path, line))


def test_many_problems_are_cut_short(parser, tmp_path, capsys):
    path = tmp_path / "job.yaml"
    path.write_text(HEAD + "steps:\n" + "  - {name: Wait, action: click, texts: [Go], delay: -1}\n" * 150)
    assert main(["check", str(path)]) == 2
    lines = capsys.readouterr().err.splitlines()
    assert lines[0] == "%s: step 1, delay: -1 is negative" % path
    assert lines[100:] == ["%s: and 50 more problems" % path]


def test_no_traceback_for_a_file_name_the_terminal_cannot_show(tmp_path):
    name = os.fsencode(tmp_path) + b"/land\xff.yaml"
    with open(name, "w") as f:
        f.write(HEAD + "steps:\n" + STEP)
    done = subprocess.run([sys.executable, "-m", "kestrelflow", "check", name], capture_output=True,
                          env=child_env(LC_ALL="C.UTF-8", PYTHONIOENCODING=""))
    assert (done.returncode, done.stderr) == (0, b"")
    assert done.stdout == os.fsencode(tmp_path) + b"/land\\udcff.yaml: ok, job land, 1 step\n"


def test_steps_carry_expectations_and_limits(parser, tmp_path):
    path = tmp_path / "land.yaml"
    path.write_text(HEAD + "stop_on_failure: true\nsteps:\n"
                    "  - {name: Open, action: get_url, values: ['https://portal.example/'],"
                    " expect: {title_contains: Land}, timeout: 2}\n"
                    "  - {name: Read, action: Scrap_data, xpaths: ['//p'], expect: {matches: '^APP-\\d+$'},"
                    " timeout: 0.5, retries: 1}\n"
                    "  - {name: Press, action: click, xpaths: ['//button'], texts: [Pay], retries: 3}\n"
                    "  - {name: Type, action: input, xpaths: ['//input'], values: ['7']}\n")
    job = jobs.load(path)
    assert job.stop_on_failure is True
    assert [(s.expect, s.timeout, s.retries) for s in job.steps] == [
        ({"title_contains": "Land"}, 2, None), ({"matches": "^APP-\\d+$"}, 0.5, 1), (None, None, 3),
        (None, None, None)]
    assert [step[6:] for step in job.run_steps()] == [
        [{"timeout": 2}], [{"timeout": 0.5, "retries": 1}], [{"retries": 3}], []]
    path.write_text(HEAD + "steps:\n" + STEP)
    assert jobs.load(path).stop_on_failure is False
