"""A browser or driver that dies in the middle of a step run: the run reaches
its end, and what it read before the death is kept."""
import os
import signal

import pytest

from helpers import end_processes, process_tree
from kestrelflow.local_browser import open_chrome


def browser_pids(driver):
    """chromedriver's process id, then the browser's (its children)."""
    driver_pid = driver.service.process.pid
    children = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    stat = f.read()
            except OSError:
                continue
            if int(stat.rsplit(")", 1)[1].split()[1]) == driver_pid:
                children.append(int(entry))
    assert children
    return driver_pid, children


@pytest.mark.parametrize("victim", ["chromedriver", "browser"])
def test_a_death_mid_run_keeps_the_records(gu, pages, clock, out, tmp_path, victim,
                                           monkeypatch):
    driver = open_chrome(headless=True)
    tree = []  # chromedriver and the browser's processes, taken right before the death
    try:
        driver_pid, children = browser_pids(driver)
        export = gu.export_network_logs

        def export_then_die(*args, **kwargs):
            # The death comes right after the read step's evidence is saved.
            export(*args, **kwargs)
            if kwargs.get("step_type") == "Scrap Application_number":
                tree.extend(process_tree(driver_pid))
                for pid in [driver_pid] if victim == "chromedriver" else children:
                    os.kill(pid, signal.SIGKILL)

        monkeypatch.setattr(gu, "export_network_logs", export_then_die)
        url = pages.url("steps_portal.html")
        steps = [["Open portal", "get_url", [], [], 0, [url]],
                 ["Press search", "click", ["//button[@id='search-button']"], [], 0],
                 ["Scrap Application_number", "Scrap_data", ["//p[@id='application']"], [], 0],
                 ["Type plot", "input", ["//input[@id='search-box']"], [], 0, ["P-1"]],
                 ["Press search again", "click", ["//button[@id='search-button']"], [], 0]]
        context, data = gu.run_steps(driver, steps, "Portal", str(tmp_path / "t.csv"),
                                     str(tmp_path / "shots"), "Search", "unused", sleep_time=0)
        try:
            assert gu.App_number == "20250012345"
        finally:
            vars(gu).pop("App_number", None)
    finally:
        try:
            driver.quit()
        except Exception:
            pass
        # With chromedriver dead, quit() cannot end the browser it started.
        end_processes(tree)

    assert data == [{"step": "Scrap Application_number", "value": "Application-20250012345"}]
    results = context["step_results"]
    assert [r["outcome"] for r in results[:3]] == ["done"] * 3
    assert results[1]["url"] == url
    # After the death every step fails at the latest at its evidence export,
    # and no URL can be read any more.
    assert [(r["step"], r["outcome"], r["url"]) for r in results[3:]] == [
        ("Type plot", "error", ""), ("Press search again", "error", "")]
    assert [(r["ServiceName"], r["URL"]) for r in context["error_records"]] == [
        ("Search - Type plot", ""), ("Search - Press search again", "")]
