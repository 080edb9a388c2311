"""Step and web-app names as a job file may hold them: the run writes inside
--out only, the steps are done, and every output shows the names as written."""
import xml.etree.ElementTree as ET

import pytest
from selenium.webdriver.common.by import By

from cli.commands import kestrelflow, outcomes, read_run, write_job
from helpers import child_env
from kestrelflow.cli.outputs import disk_name

NAMES = {
    "climbing": ("../../../../x", "../.."),
    "slash": ("Pay 1/2", "Portal"),
    "backslash and NUL": ("Pay\\1\x002", "Port\\al"),
    "control characters and a dot in front": (".\tTab\x1b", ".hidden"),
    "300 characters": ("S" * 150 + "é" * 150, "W" * 300),
}


@pytest.mark.parametrize("case", NAMES)
def test_any_name_is_done_inside_the_output_folder(case, pages, driver, tmp_path):
    step_name, web_app = NAMES[case]
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": step_name, "action": "Scrap_data", "xpaths": ["//h1"]}]
    jobs, out = tmp_path / "jobs", tmp_path / "deep" / "er" / "out"
    jobs.mkdir()
    job = write_job(jobs, "named", steps, web_app=web_app, sleep_time=0)
    done = kestrelflow("run", job, "--out", out, "--headless", env=child_env(), timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "Traceback" not in done.stderr

    # Nothing outside --out but the job file.
    outside = sorted(str(p.relative_to(tmp_path)) for p in tmp_path.rglob("*")
                     if out not in p.parents and p != out and p not in out.parents)
    assert outside == ["jobs", "jobs/named.yaml"]
    run = read_run(out, "named")
    assert outcomes(run) == [("Open", "done"), (step_name, "done")]
    assert run["web_app"] == web_app
    assert run["data_extracted"] == [{"step": step_name, "value": "Application search"}]
    # The screenshot folder holds the names as the module got them.
    folder = out / "named" / "screenshots" / ("%s - %s" % (disk_name(web_app, 60), disk_name(step_name)))
    assert len(list(folder.glob("*.png"))) == 1

    suite = ET.parse(out / "junit.xml").getroot().find("testsuite")
    written = step_name.replace("\x00", "").replace("\x1b", "").replace("\t", "\t")
    assert [c.get("name") for c in suite.findall("testcase")] == ["Open", written]

    driver.get((out / "named" / "report.html").as_uri())
    sections = driver.find_elements(By.CSS_SELECTOR, "section.step")
    assert len(sections) == 2
    # The report found the step's screenshot under the name on disk.
    shot = sections[1].find_elements(By.CSS_SELECTOR, "img")
    assert shot and driver.execute_script("return arguments[0].naturalWidth", shot[0]) > 0


@pytest.mark.parametrize("name, expected", [
    ("Scrap Application_number", "Scrap Application_number"),  # the module's special names stay
    ("Pay 1/2", "Pay 1_2 ~"),
    ("../x", "___x ~"),
    ("a\x00b\\c", "a_b_c ~"),
    ("x" * 300, "x" * 110 + " ~"),
])
def test_names_on_disk_are_readable(name, expected):
    on_disk = disk_name(name)
    assert on_disk.startswith(expected) and len(on_disk.encode()) <= 120
    assert "/" not in on_disk and disk_name(name) == on_disk  # stable
    if on_disk != name:
        assert len(on_disk) == len(expected) + 8


def test_two_names_that_differ_stay_apart():
    assert disk_name("Pay 1/2") != disk_name("Pay 1\\2") != disk_name("Pay 1_2")
