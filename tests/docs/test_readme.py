"""The README's quickstart runs as printed and does what the README says."""
import re
import subprocess
import sys
from pathlib import Path

import pandas as pd
from helpers import child_env

README = Path(__file__).parents[2] / "README.md"


def block(heading, language):
    """The first code block of the given language under a README heading."""
    section = README.read_text(encoding="utf-8").split("\n## %s\n" % heading, 1)[1].split("\n## ", 1)[0]
    return re.search(r"```%s\n(.*?)```" % language, section, re.S).group(1)


def test_the_quickstart_runs_as_printed(tmp_path):
    (tmp_path / "quickstart.py").write_text(block("Quickstart", "python"), encoding="utf-8")
    done = subprocess.run([sys.executable, "quickstart.py"], cwd=tmp_path, capture_output=True,
                          text=True, encoding="utf-8", timeout=300, env=child_env())
    assert done.returncode == 0, done.stdout + done.stderr
    assert done.stdout.splitlines()[-2:] == ["Application number: 20250012345", "Failed steps: []"]
    names = ["Open search", "Enter plot", "Search", "Scrap Application_number"]
    assert sorted(p.name for p in (tmp_path / "Screenshots").iterdir()) == sorted("Portal - " + n for n in names)
    assert list(dict.fromkeys(pd.read_csv(tmp_path / "timings.csv")["Step Type"])) == names

