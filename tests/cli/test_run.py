"""`kestrelflow run` on real Chromium: every step's outcome, the evidence at
each failure, the outputs CI reads, the exit status."""
import secrets
import time
import xml.etree.ElementTree as ET
from types import SimpleNamespace

import pytest
from selenium.webdriver.common.by import By

from cli.commands import kestrelflow, outcomes, read_run, write_job
from helpers import free_port

SECRET = "pw-" + secrets.token_hex(8)
SIGN_IN = [
    {"name": "Open page", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html"]},
    {"name": "Enter user", "action": "input", "xpaths": ["//input[@id='user']"], "values": ["clerk"]},
    {"name": "Enter password", "action": "input", "xpaths": ["//input[@id='password']"],
     "values": ["${KF_SECRET}"]},
    {"name": "Sign in", "action": "click", "xpaths": ["//button[@id='sign-in']"], "texts": ["Sign in"]},
    {"name": "Read greeting", "action": "Scrap_data", "xpaths": ["//p[@id='greeting']"]},
    {"name": "Read balance", "action": "Scrap_data", "xpaths": ["//p[@id='balance']"]},  # not on the page
    {"name": "Open receipt", "action": "get_url", "values": ["receipt.html"]},  # relative: refused
    {"name": "Read title", "action": "Scrap_data", "xpaths": ["//h1"]},
]
EXPECTED = [("Open page", "done"), ("Enter user", "done"), ("Enter password", "done"), ("Sign in", "done"),
            ("Read greeting", "done"), ("Read balance", "not done"), ("Open receipt", "error"),
            ("Read title", "done")]


@pytest.fixture(scope="module")
def sign_in(pages, tmp_path_factory):
    folder = tmp_path_factory.mktemp("sign-in")
    job = write_job(folder, "sign-in", SIGN_IN, sleep_time=0)
    out = folder / "out"
    done = kestrelflow("run", job, "--out", out, "--headless",
                       env={"KF_PAGES": pages.base_url, "KF_SECRET": SECRET})
    return SimpleNamespace(done=done, out=out, job=out / "sign-in", run=read_run(out, "sign-in"))


def test_every_step_has_its_outcome(sign_in):
    assert sign_in.done.returncode == 1, sign_in.done.stderr
    run = sign_in.run
    assert outcomes(run) == EXPECTED
    assert (run["status"], run["reason"]) == ("failed", None)
    # The password reached its field: the page counts its characters.
    assert run["data_extracted"][0] == {"step": "Read greeting",
                                        "value": "Signed in as clerk with a password of %d characters" % len(SECRET)}
    assert run["step_results"][6]["error"].startswith("invalid argument")
    # Without a terminal: one plain line per step as it ends, then the summary.
    lines = sign_in.done.stdout.splitlines()
    assert [line.split(" (", 1)[0] for line in lines if line.startswith("sign-in: step ")] == [
        "sign-in: step %d/8 %s: %s" % (n, name, outcome) for n, (name, outcome) in enumerate(EXPECTED, 1)]
    assert lines[-1] == "JUnit: %s" % (sign_in.out / "junit.xml")


def test_evidence_is_taken_at_each_failure(sign_in):
    for step in sign_in.run["step_results"]:
        evidence = step["evidence"]
        if step["outcome"] == "done":
            assert evidence is None
            continue
        assert (sign_in.job / evidence["screenshot"]).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        source = (sign_in.job / evidence["page_source"]).read_text(encoding="utf-8")
        assert "Signed in as clerk" in source


def test_the_password_is_written_nowhere(sign_in):
    assert SECRET not in sign_in.done.stdout + sign_in.done.stderr
    files = [p for p in sign_in.out.rglob("*") if p.is_file()]
    assert {p.name for p in files} >= {"run.json", "report.html", "output.log", "junit.xml", "timings.csv"}
    assert [p for p in files if SECRET.encode() in p.read_bytes()] == []


def test_junit_has_a_suite_per_job_and_a_case_per_step(sign_in):
    suite = ET.parse(sign_in.out / "junit.xml").getroot().find("testsuite")
    assert (suite.get("name"), suite.get("tests"), suite.get("failures"), suite.get("errors")) == (
        "sign-in", "8", "1", "1")
    cases = suite.findall("testcase")
    assert [c.get("name") for c in cases] == [s["name"] for s in SIGN_IN]
    assert {c.get("classname") for c in cases} == {"sign-in"}
    verdicts = [[(child.tag, child.get("message")) for child in case if child.tag != "system-out"]
                for case in cases]
    assert verdicts[5] == [("failure", 'nothing was read from the XPaths "//p[@id=\'balance\']"')]
    assert verdicts[6] == [("error", "the browser refused the address 'receipt.html' "
                                     "(invalid argument: an address needs its scheme, such as https://)")]
    assert [v for n, v in enumerate(verdicts) if n not in (5, 6)] == [[]] * 6
    # The evidence, named from the JUnit file's folder and attached.
    for number, verdict in ((5, "failure"), (6, "error")):
        case, evidence = cases[number], sign_in.run["step_results"][number]["evidence"]
        assert "screenshot: sign-in/" + evidence["screenshot"] in case.findtext(verdict).splitlines()
        assert case.findtext("system-out").splitlines() == [
            "[[ATTACHMENT|%s]]" % (sign_in.job / evidence[key]).resolve() for key in ("screenshot", "page_source")]


def test_the_report_shows_the_failures_first(sign_in, driver):
    driver.get((sign_in.job / "report.html").as_uri())
    sections = driver.find_elements(By.CSS_SELECTOR, "section.step")
    assert [(s.find_element(By.CLASS_NAME, "badge").text, s.find_element(By.CLASS_NAME, "name").text)
            for s in sections][:3] == [("NOT DONE", "Read balance"), ("ERROR", "Open receipt"), ("DONE", "Open page")]
    for failed in sections[:2]:
        [img] = failed.find_elements(By.CSS_SELECTOR, ".evidence img[alt^='Screenshot at the failure']")[:1]
        assert driver.execute_script("return arguments[0].naturalWidth", img) > 0


def test_a_second_run_into_the_same_folder_reports_only_itself(pages, driver, tmp_path):
    out, env = tmp_path / "out", {"KF_PAGES": pages.base_url}
    first = [{"name": "Open", "action": "get_url", "values": ["${KF_PAGES}steps_portal.html"]},
             {"name": "Read title", "action": "Scrap_data", "xpaths": ["//h1"]}]
    second = [first[0], {"name": "Read heading", "action": "Scrap_data", "xpaths": ["//h1"]}]
    assert kestrelflow("run", write_job(tmp_path, "search", first, sleep_time=0), "--out", out,
                       "--headless", env=env, timeout=300).returncode == 0
    time.sleep(1.5)  # the timing CSV stamps whole seconds
    again = kestrelflow("run", write_job(tmp_path, "search", second, sleep_time=0), "--out", out,
                        "--headless", env=env, timeout=300)
    assert again.returncode == 0, again.stderr
    run = read_run(out, "search")
    assert outcomes(run) == [("Open", "done"), ("Read heading", "done")]

    csv_text = (out / "search" / "timings.csv").read_text()
    assert "Read title" in csv_text and "Read heading" in csv_text  # both runs' rows are there

    driver.get((out / "search" / "report.html").as_uri())
    sections = driver.find_elements(By.CSS_SELECTOR, "section.step")
    assert [s.find_element(By.CLASS_NAME, "name").text for s in sections] == ["Open", "Read heading"]
    # Each step's timing rows are this run's own.
    started = run["started"].replace("T", " ")
    stamps = [s.find_element(By.CLASS_NAME, "when").text for s in sections]
    assert all(stamp >= started for stamp in stamps), (stamps, started)


@pytest.mark.parametrize("case", ["a job file that fails validation", "a browser that cannot be opened"])
def test_exit_status_2_with_one_clear_line(case, tmp_path):
    steps = [{"name": "Open", "action": "get_url", "values": ["about:blank"]}]
    if case.startswith("a job file"):
        steps[0]["action"] = "Get_url"
        args = []
    else:
        args = ["--remote", "http://127.0.0.1:%d" % free_port()]  # nothing listens there
    done = kestrelflow("run", write_job(tmp_path, "blank", steps), "--out", tmp_path / "out", *args,
                       timeout=300)
    assert done.returncode == 2
    last = done.stderr.splitlines()[-1]
    if case.startswith("a job file"):
        assert last == "kestrelflow: nothing was run: 1 problem in the job files"
        assert not (tmp_path / "out").exists()
    else:
        assert last.startswith("kestrelflow: job blank: cannot open the browser: ")
        assert read_run(tmp_path / "out", "blank")["reason"].startswith("cannot open the browser")
