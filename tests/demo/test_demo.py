"""The demo run as a user starts it: its printed ending, its error records, and
the evidence each step left.  The demo's delays are real: they are the time
the portal's requests are given before each step's evidence is taken."""
import json

import pandas as pd

from kestrelflow.demo import run_demo

PASSED = ["Open search page", "Enter plot number", "Press search", "Scrap Application_number",
          "Detect_language", "Pay fees"]


def test_the_demo_run_and_its_evidence(tmp_path, capsys):
    (tmp_path / "screenshots" / "Demo portal - stale").mkdir(parents=True)
    (tmp_path / "network_timings.csv").write_text("left from an earlier run\n")
    run_demo(tmp_path)
    lines = capsys.readouterr().out.splitlines()

    assert lines[-6:] == [
        "Zoom still set: 90%",
        "Steps: 7 run, 1 failed",
        "Screenshots written under %s" % (tmp_path / "screenshots"),
        "Network timings written to %s" % (tmp_path / "network_timings.csv"),
        "Error records written to %s" % (tmp_path / "error_records.json"),
        "Report: %s" % (tmp_path / "report.html"),
    ]
    assert "⚠️ Error during 'Open receipt': Message: invalid argument" in lines

    records = json.loads((tmp_path / "error_records.json").read_text())
    assert records["steps"] == PASSED + ["Open receipt"]
    [record] = records["error_records"]
    assert record["ServiceName"] == "Land search - Open receipt"
    assert record["URL"].endswith("/index.html#search")
    assert record["Error"].startswith("Message: invalid argument")

    # One screenshot folder per step that got its evidence; the earlier run's are gone.
    assert sorted(d.name for d in (tmp_path / "screenshots").iterdir()) == sorted(
        "Demo portal - " + name for name in PASSED)

    # Each action made its own request, the favicon is served, and the rows of
    # a step hold everything loaded so far.
    table = pd.read_csv(tmp_path / "network_timings.csv")
    assert list(dict.fromkeys(table["Step Type"])) == PASSED
    by_step = {step: set(rows["name"].str.rsplit("/", n=1).str[-1]) for step, rows in table.groupby("Step Type")}
    assert by_step["Open search page"] == {"portal.css", "portal.js", "favicon.svg"}
    assert by_step["Enter plot number"] - by_step["Open search page"] == {"suggest.json?plot=PLT-2025-0042"}
    assert by_step["Press search"] - by_step["Enter plot number"] == {"search.json?plot=PLT-2025-0042"}
    assert by_step["Pay fees"] - by_step["Detect_language"] == {"payment.json?plot=PLT-2025-0042"}
    assert set(table["responseStatus"]) == {200}
