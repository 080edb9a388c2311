"""The report's template is compiled from the installed package in each
process: nothing is kept in the shared temporary folder, and the page a run
gets is the same the first time and every time after."""
import json
import subprocess
import sys

from helpers import child_env

HOSTILE = "<b onmouseover='x()'>Pay & go</b>"


def test_each_report_is_compiled_afresh_and_kept_nowhere(tmp_path):
    folder, temp = tmp_path / "job", tmp_path / "temp"
    folder.mkdir()
    temp.mkdir()
    (folder / "run.json").write_text(json.dumps({
        "job": "job", "web_app": "Portal", "status": "failed", "reason": None,
        "step_results": [{"step": HOSTILE, "action": "click", "outcome": "not done", "seconds": 0.5}]}))
    pages = []
    for _ in range(2):
        done = subprocess.run([sys.executable, "-m", "kestrelflow.report", str(folder)],
                              capture_output=True, text=True, timeout=600,
                              env=child_env(TMPDIR=str(temp), TEMP=str(temp), TMP=str(temp)))
        assert done.returncode == 0, done.stderr
        pages.append((folder / "report.html").read_text(encoding="utf-8"))
    assert list(temp.iterdir()) == []
    assert pages[0] == pages[1]
    assert HOSTILE not in pages[0] and "&lt;b onmouseover=" in pages[0]
