"""The demo's step run as a user starts it: its job file run by `kestrelflow
run`, its printed ending, and the evidence each step left.  The demo's delays
are real: they are the time the portal's requests are given before each
step's evidence is taken."""
import xml.etree.ElementTree as ET

import pandas as pd
from selenium.webdriver.common.by import By

from kestrelflow.demo import run_demo

from cli.commands import outcomes, read_run

PASSED = ["Open search page", "Enter plot number", "Press search", "Scrap Application_number",
          "Detect_language", "Pay fees"]


def test_the_demo_run_and_its_evidence(tmp_path, capsys, driver):
    job = tmp_path / "land-search"
    (job / "screenshots" / "Demo portal - stale").mkdir(parents=True)
    (job / "timings.csv").write_text("left from an earlier run\n")
    assert run_demo(tmp_path) is True
    lines = capsys.readouterr().out.splitlines()

    assert lines[-5:] == [
        "Steps: 7 run, 1 failed",
        "Job output in %s" % job,
        "JUnit: %s" % (tmp_path / "junit.xml"),
        "Report: %s" % (job / "report.html"),
        "As expected: every step done but 'Open receipt', which failed as it was written to.",
    ]
    assert "App_number: 20250012345" in lines

    run = read_run(tmp_path, "land-search")
    assert outcomes(run) == [(name, "done") for name in PASSED] + [("Open receipt", "error")]
    receipt = run["step_results"][-1]
    assert receipt["error"].startswith("invalid argument")
    assert receipt["url"] == "receipt.html"  # the address the step asked for
    assert (job / receipt["evidence"]["screenshot"]).is_file()
    reason = receipt["reason"]
    assert reason == ("the browser refused the address 'receipt.html' "
                      "(invalid argument: an address needs its scheme, such as https://)")

    # The failed step and its reason on the terminal (the run's progress line
    # and the demo's summary), in the JUnit file and first in the report.
    told = [line for line in lines if line.endswith(": " + reason)]
    assert len(told) == 2 and told[0].startswith("land-search: step 7/7 Open receipt: error (")
    assert told[1] == "Failed: Open receipt (error) at receipt.html: " + reason
    cases = ET.parse(tmp_path / "junit.xml").getroot().iter("testcase")
    last = list(cases)[-1]
    assert (last.get("name"), [child.tag for child in last]) == ("Open receipt", ["error", "system-out"])
    assert last.find("error").get("message") == reason
    driver.get((job / "report.html").as_uri())
    first = driver.find_element(By.CSS_SELECTOR, "section.step")
    assert (first.find_element(By.CLASS_NAME, "badge").text, first.find_element(By.CLASS_NAME, "name").text,
            first.find_element(By.CLASS_NAME, "why").text) == ("ERROR", "Open receipt", "Why: " + reason)

    # One screenshot folder per step that got its evidence; the earlier run's are gone.
    assert sorted(d.name for d in (job / "screenshots").iterdir()) == sorted(
        "Demo portal - " + name for name in PASSED)

    # Each action made its own request, the favicon is served, and the rows of
    # a step hold everything loaded so far.
    table = pd.read_csv(job / "timings.csv")
    assert list(dict.fromkeys(table["Step Type"])) == PASSED
    # (The portal's address, from the environment, is written masked.)
    names = table["name"].str.replace("${KESTRELFLOW_DEMO_PORTAL}", "/", regex=False)
    by_step = {step: set(names[rows.index].str.rsplit("/", n=1).str[-1]) for step, rows in table.groupby("Step Type")}
    assert by_step["Open search page"] == {"portal.css", "portal.js", "favicon.svg"}
    assert by_step["Enter plot number"] - by_step["Open search page"] == {"suggest.json?plot=PLT-2025-0042"}
    assert by_step["Press search"] - by_step["Enter plot number"] == {"search.json?plot=PLT-2025-0042"}
    assert by_step["Pay fees"] - by_step["Detect_language"] == {"payment.json?plot=PLT-2025-0042"}
    assert set(table["responseStatus"]) == {200}
