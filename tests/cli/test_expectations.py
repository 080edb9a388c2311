"""Jobs that cannot pass on a broken page: expectations on reads and
navigations, a step's own time-out and passes, and stop_on_failure, as a user
runs them with `kestrelflow run`."""
import xml.etree.ElementTree as ET
from types import SimpleNamespace

import pytest

from cli.commands import kestrelflow, outcomes, read_run, write_job

QUICK = {"timeout": 1, "retries": 1}
CHECKED = [
    {"name": "Open page", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html"],
     "expect": {"title_contains": "Payment"}},
    {"name": "Enter user", "action": "input", "xpaths": ["//input[@id='user']"], "values": ["clerk"]},
    {"name": "Sign in", "action": "click", "xpaths": ["//button[@id='sign-in']"]},
    {"name": "Read greeting", "action": "Scrap_data", "xpaths": ["//p[@id='greeting']"],
     "expect": {"contains": "as clerk"}},
    {"name": "Read greeting", "action": "Scrap_data", "xpaths": ["//p[@id='greeting']"],
     "expect": {"equals": "Welcome, clerk"}},
    {"name": "Read heading", "action": "Scrap_data", "xpaths": ["//h1"], "expect": {"matches": "^Sign"}},
]
STOPPING = [
    {"name": "Open page", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html"],
     "expect": {"url_contains": "sign_in"}},
    {"name": "Press pay", "action": "click", "xpaths": ["//button[@id='pay']"], "texts": ["Pay"], **QUICK},
    {"name": "Read heading", "action": "Scrap_data", "xpaths": ["//h1"]},
    {"name": "Open again", "action": "get_url", "values": ["${KF_PAGES}cli_sign_in.html"]},
]


@pytest.fixture(scope="module")
def runs(pages, tmp_path_factory):
    folder = tmp_path_factory.mktemp("expect")
    jobs = [write_job(folder, "checked", CHECKED, sleep_time=0),
            write_job(folder, "stopping", STOPPING, sleep_time=0, stop_on_failure=True)]
    out = folder / "out"
    done = kestrelflow("run", *jobs, "--out", out, "--headless", "--workers", "2",
                       env={"KF_PAGES": pages.base_url})
    return SimpleNamespace(done=done, out=out, checked=read_run(out, "checked"),
                           stopping=read_run(out, "stopping"))


def reasons(run):
    return [(step["step"], step["outcome"], step["reason"]) for step in run["step_results"]]


def test_a_step_that_misses_its_expectation_is_not_done_and_says_why(runs):
    assert runs.done.returncode == 1, runs.done.stderr
    assert reasons(runs.checked) == [
        ("Open page", "not done", "expected the page's title to contain 'Payment'; it was 'Sign in'"),
        ("Enter user", "done", None),
        ("Sign in", "done", None),
        ("Read greeting", "done", None),
        ("Read greeting", "not done", "expected the read text to equal 'Welcome, clerk'; it was "
                                      "'Signed in as clerk with a password of 0 characters'"),
        ("Read heading", "done", None),
    ]
    assert runs.checked["status"] == "failed"
    # The failure was seen as it happened: the plain progress line says why.
    assert any(line.startswith("checked: step 5/6 Read greeting: not done (") and
               line.endswith("): " + runs.checked["step_results"][4]["reason"])
               for line in runs.done.stdout.splitlines())


@pytest.mark.parametrize("expect, action, seen, reason", [
    ({"contains": "Paid"}, "Scrap_data", {"read": "Status: Paid"}, None),
    ({"contains": "Paid"}, "Scrap_data", {"read": "Pending"},
     "expected the read text to contain 'Paid'; it was 'Pending'"),
    ({"matches": r"^\d{4}-\d+$"}, "Scrap_data", {"read": "2025-0042"}, None),
    ({"matches": r"^\d{4}-\d+$"}, "Scrap_data", {"read": "no number"},
     "expected the read text to match %r; it was 'no number'" % r"^\d{4}-\d+$"),
    ({"equals": "Paid"}, "Scrap_data", {"read": "Paid "}, "expected the read text to equal 'Paid'; it was 'Paid '"),
    ({"equals": ""}, "Scrap_data", {"read": ""}, None),
    ({"contains": "Paid"}, "Scrap_data", {"read": False},
     "expected the read text to contain 'Paid'; nothing was read"),
    ({"equals": "x"}, "Scrap_data", {"read": "y" * 100}, "expected the read text to equal 'x'; it was '%s...'" % ("y" * 80)),
    ({"url_contains": "/search"}, "get_url", {"title": "Home", "url": "http://portal/search?q=1"}, None),
    ({"url_contains": "/search"}, "get_url", {"title": "Search", "url": "http://portal/home"},
     "expected the page's address to contain '/search'; it was 'http://portal/home'"),
    ({"title_contains": "Search"}, "get_url", {"title": "Home", "url": "http://portal/search"},
     "expected the page's title to contain 'Search'; it was 'Home'"),
    ({"title_contains": "Search"}, "get_url", {"title": None, "url": "http://portal/search"},
     "expected the page's title to contain 'Search'; it was 'None'"),
], ids=lambda value: value if isinstance(value, str) and len(value) < 12 else None)
def test_each_kind_of_expectation_met_and_missed(expect, action, seen, reason):
    from kestrelflow.cli.expectations import unmet
    assert unmet(expect, action, **seen) == reason


def test_stop_on_failure_skips_the_later_steps_after_a_quick_miss(runs):
    assert reasons(runs.stopping) == [
        ("Open page", "done", None),
        ("Press pay", "not done", 'not found in time (TimeoutException); tried XPaths "//button[@id=\'pay\']" '
                                  'and texts "Pay"'),
        ("Read heading", "skipped", "not run: an earlier step was not done (stop_on_failure)"),
        ("Open again", "skipped", "not run: an earlier step was not done (stop_on_failure)"),
    ]
    assert runs.stopping["status"] == "failed"
    # The step's limits reached the click: one pass over the XPaths, one over the texts.
    log = (runs.out / "stopping" / "output.log").read_text(encoding="utf-8").splitlines()
    assert [line for line in log if line.startswith("Attempt ")] == [
        "Attempt 1 to click element with XPath: '//button[@id='pay']'",
        "Attempt 1 to click element with text: 'Pay'"]
    assert [line for line in log if line.startswith("=== STEP: ")] == [
        "=== STEP: Open page ===", "=== STEP: Press pay ==="]


def test_rerun_failed_runs_only_the_jobs_that_did_not_end_done(pages, tmp_path):
    env, out = {"KF_PAGES": pages.base_url}, tmp_path / "out"
    good = write_job(tmp_path, "good", [STOPPING[0]], sleep_time=0)
    bad = write_job(tmp_path, "bad", [STOPPING[0], STOPPING[1]], sleep_time=0)
    first = kestrelflow("run", good, bad, "--out", out, "--headless", env=env)
    assert first.returncode == 1, first.stderr
    kept = (out / "good" / "run.json").read_bytes()

    again = kestrelflow("run", good, bad, "--out", out, "--headless", "--rerun-failed", env=env)
    assert again.returncode == 1, again.stderr
    started = [line.split(":")[0] for line in again.stdout.splitlines() if line.endswith("steps")]
    assert started == ["bad"]
    assert (out / "good" / "run.json").read_bytes() == kept
    suites = ET.parse(out / "junit.xml").getroot().findall("testsuite")
    assert [(s.get("name"), s.get("failures")) for s in suites] == [("good", "0"), ("bad", "1")]
