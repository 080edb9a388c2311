"""`kestrelflow run --remote` with two workers: each job in its own process
with its own webdriver.Remote session, on two WebDriver servers at once."""
from cli.commands import kestrelflow, outcomes, read_run, write_job
from helpers import webdriver_server


def test_two_jobs_on_two_servers_at_once(pages, tmp_path):
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": "Search", "action": "click", "xpaths": ["//button[@id='search-button']"], "delay": 2},
             {"name": "Scrap Application_number", "action": "Scrap_data", "xpaths": ["//p[@id='application']"]}]
    jobs = [write_job(tmp_path, name, steps, sleep_time=0) for name in ("north", "south")]
    out = tmp_path / "out"
    with webdriver_server() as one, webdriver_server() as two:
        done = kestrelflow("run", *jobs, "--out", out, "--headless", "--workers", 2,
                           "--remote", one, "--remote", two)
    assert done.returncode == 0, done.stdout + done.stderr
    north, south = read_run(out, "north"), read_run(out, "south")
    assert {north["remote"], south["remote"]} == {one, two}
    for run in (north, south):
        assert outcomes(run) == [(step["name"], "done") for step in steps]
        assert run["app_number"] == "20250012345"  # the module's state, per process
    # At once: each started before the other ended.
    assert north["started"] <= south["finished"] and south["started"] <= north["finished"]
