"""The README's quickstart and Grid snippet run as printed and do what the README says."""
import os
import re
import subprocess
import sys
from pathlib import Path

import pandas as pd
from helpers import child_env, webdriver_server


README = Path(__file__).parents[2] / "README.md"
NAMES = ["Open search", "Enter plot", "Search", "Scrap Application_number"]


def block(heading, language):
    """The first code block of the given language under a README heading."""
    section = README.read_text(encoding="utf-8").split("\n## %s\n" % heading, 1)[1].split("\n## ", 1)[0]
    return re.search(r"```%s\n(.*?)```" % language, section, re.S).group(1)


def run_block(heading, folder, env=None):
    (folder / "snippet.py").write_text(block(heading, "python"), encoding="utf-8")
    done = subprocess.run([sys.executable, "snippet.py"], cwd=folder, capture_output=True, text=True,
                          encoding="utf-8", timeout=300, env={**child_env(), **(env or {})})
    assert done.returncode == 0, done.stdout + done.stderr
    # One screenshot folder per step, and the steps' rows in the CSV.
    assert sorted(p.name for p in (folder / "Screenshots").iterdir()) == sorted("Portal - " + n for n in NAMES)
    assert list(dict.fromkeys(pd.read_csv(folder / "timings.csv")["Step Type"])) == NAMES
    return done.stdout.splitlines()


def test_the_quickstart_runs_as_printed(tmp_path):
    lines = run_block("Quickstart", tmp_path)
    assert lines[-3:] == ["Application number: 20250012345", "Not done: []",
                          "Report: %s" % (tmp_path / "report.html")]
    report = (tmp_path / "report.html").read_text(encoding="utf-8")
    assert report.count('<span class="badge o-done">done</span>') == len(NAMES)


def test_the_grid_snippet_runs_as_printed(tmp_path):
    with webdriver_server() as url:
        lines = run_block("Many bots, one Selenium Grid", tmp_path, {"KESTRELFLOW_GRID": url})
    assert lines[-2:] == ["Application number: 20250012345", "Outcomes: ['done', 'done', 'done', 'done']"]
