"""A demo run: a small bundled portal served on 127.0.0.1, driven by a job file.

    python -m kestrelflow.demo [output folder]

serves the portal and runs the job file land_search.yaml with `kestrelflow
run --headless`: open the search panel, type a plot number, press Search,
read the application number and the language of the Arabic status line, pay
the fees, open the receipt.  Each action makes its own request to the portal.
The last step is written the way a script author might first write it, with
the receipt's link as it appears on the page (a relative URL): the browser
refuses it, and the run reports the step as failed, in the report and in the
JUnit file.  The demo checks that the run went exactly so and says whether it
did.

The job's outputs go to the output folder (./demo_output by default):
land-search/ holds run.json, report.html, the screenshots, the timing CSV and
the evidence of the failed step; junit.xml is beside it.  The outputs of an
earlier run there are replaced.

Then comes a whole portal day on the embedded fake portal (DEVU and its
payment application ZIV): open a service, search by plot and read the
results, open an application from the inbox and read its details, pay its
fees; each step is timed and screenshotted into a fresh portal_day_* folder
of the output folder, and a summary ends the run.
"""
import json
import os
import shutil
from pathlib import Path

from kestrelflow.demo.server import PageServer
from kestrelflow.local_browser import local_display, saved_environment

PORTAL = Path(__file__).parent / "portal"
JOB = Path(__file__).parent / "land_search.yaml"
JOB_NAME = "land-search"

# What the demo expects of its step run: the last step fails, the others are done.
FAILING_STEP = "Open receipt"


def demo_job_steps():
    """The steps of the demo's job file, as (name, action)."""
    from kestrelflow.cli.jobs import load
    job = load(JOB, environ={"KESTRELFLOW_DEMO_PORTAL": ""})
    return [(step.name, step.action) for step in job.steps]


# ---- the run -------------------------------------------------------------------------

def main(output="demo_output"):
    """The step run, then a whole portal day on the embedded fake portal;
    exit status 0 when both went as the demo expects."""
    with local_display():
        as_expected = run_demo(Path(output).resolve())
        import kestrelflow.generic_utility as gu
        from kestrelflow.demo.portal_day import run_portal_day
        results = run_portal_day(gu, str(Path(output).resolve()))
    return 0 if as_expected and all(result["ok"] for result in results) else 1


def run_demo(output):
    """Runs the demo's job file with `kestrelflow run` into `output`; True
    when the run went as the demo expects (every step done but the one
    written to fail, which fails)."""
    from kestrelflow.cli import main as kestrelflow

    output.mkdir(parents=True, exist_ok=True)
    # The timing CSV is appended to, and screenshots pile up: start afresh.
    shutil.rmtree(output / JOB_NAME, ignore_errors=True)
    (output / "junit.xml").unlink(missing_ok=True)

    with PageServer(PORTAL) as portal, saved_environment(["KESTRELFLOW_DEMO_PORTAL"]):
        os.environ["KESTRELFLOW_DEMO_PORTAL"] = portal.base_url
        status = kestrelflow(["run", str(JOB), "--out", str(output), "--headless"])

    folder = output / JOB_NAME
    with open(folder / "run.json", encoding="utf-8") as f:
        run = json.load(f)
    outcomes = [(r["step"], r["outcome"]) for r in run["step_results"]]
    expected = [(name, "error" if name == FAILING_STEP else "done") for name, _ in demo_job_steps()]

    print("\n=== RESULT ===")
    for entry in run["data_extracted"]:
        print("%s: %r" % (entry["step"], entry["value"]))
    print("App_number:", run.get("app_number"))
    print("context:", run.get("context"))
    for result in run["step_results"]:
        if result["outcome"] != "done":
            print("Failed: %s (%s) at %s: %s" % (result["step"], result["outcome"],
                                                 result.get("url") or "-", result.get("reason") or "-"))
    print("Steps: %d run, %d failed" % (len(outcomes), sum(o != "done" for _, o in outcomes)))
    print("Job output in", folder)
    print("JUnit:", output / "junit.xml")
    print("Report:", folder / "report.html")
    if status == 1 and outcomes == expected:
        print("As expected: every step done but %r, which failed as it was written to." % FAILING_STEP)
        return True
    print("Not as expected: kestrelflow exited %d; the demo expects 1, with every step done but %r."
          % (status, FAILING_STEP))
    return False
