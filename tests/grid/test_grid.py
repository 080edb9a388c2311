"""`kestrelflow run --remote` through a real Selenium Grid 4 (scripts/grid.sh):
its nodes run Debian's Chromium, the jobs' pages are served on this machine.
Skipped, with grid.sh's reason, where Java or Maven is missing."""
import signal
import subprocess
import time

import psutil
import pytest

from cli.commands import command, outcomes, read_run, write_job
from helpers import child_env
from grid import netns
from grid.servers import Grid, HoldServer, busy_slots, queued, resolve, sessions, until

# How long a new session may take from its request, queue included (a busy
# machine takes seconds to start a browser).
QUEUE_TIMEOUT = 40
# A time-out past the time a busy machine takes to start a browser.
JOB_TIMEOUT = 30
HOLD_STEPS = [{"name": "Hold", "action": "get_url"},
              {"name": "Read", "action": "Scrap_data", "xpaths": ["//p[@id='done']"]}]


def hold_steps(url):
    return [dict(HOLD_STEPS[0], values=[url]), HOLD_STEPS[1]]


def portal_steps(pages_url):
    return [{"name": "Open", "action": "get_url", "values": [pages_url("steps_portal.html")]},
            {"name": "Search", "action": "click", "xpaths": ["//button[@id='search-button']"], "delay": 2},
            {"name": "Scrap Application_number", "action": "Scrap_data", "xpaths": ["//p[@id='application']"]}]


@pytest.fixture(scope="session")
def grid_resolved():
    return resolve()


@pytest.fixture
def hold():
    server = HoldServer()
    yield server
    server.close()


class running:
    """`kestrelflow run ...` as its own process; every process below it is
    ended when the block is left early."""

    def __init__(self, *args, prefix=(), env=None):
        self.process = subprocess.Popen([*prefix, *command("run", *args)], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, encoding="utf-8",
                                        env=child_env(**(env or {})))

    def __enter__(self):
        return self

    def finish(self, limit=300):
        self.out, self.err = self.process.communicate(timeout=limit)
        return self.process.returncode

    def __exit__(self, *exc):
        if self.process.poll() is None:
            for child in psutil.Process(self.process.pid).children(recursive=True):
                child.kill()
            self.process.kill()
            self.process.communicate()


def both_ran_at_once(first, second):
    return first["started"] <= second["finished"] and second["started"] <= first["finished"]


# ---- a hub with one node of two slots ----------------------------------------------------

@pytest.fixture(scope="class")
def grid(grid_resolved, tmp_path_factory):
    grid = Grid(tmp_path_factory.mktemp("grid"), "hub", "--nodes", 1, "--max-sessions", 2,
                "--session-request-timeout", QUEUE_TIMEOUT, "--session-timeout", 120)
    try:
        yield grid.wait_ready()
    finally:
        grid.stop()


class TestOneNodeOfTwoSlots:

    def test_the_grid_says_it_is_ready_in_one_line(self, grid):
        assert grid.lines == [grid.ready_line]
        assert grid.ready_line == "Selenium Grid %s ready at %s: a hub with 1 node(s) of 2 slot(s) (hub pid %d)" % (
            grid.state["version"], grid.url, grid.state["hub_pid"])
        assert grid.state["version"].startswith("4.")

    def test_two_jobs_share_the_node_and_each_run_names_it(self, grid, pages, tmp_path):
        jobs = [write_job(tmp_path, name, portal_steps(pages.url), sleep_time=0) for name in ("north", "south")]
        out = tmp_path / "out"
        with running(*jobs, "--out", out, "--headless", "--workers", 2, "--remote", grid.url) as run:
            assert run.finish() == 0, run.out + run.err
        north, south = read_run(out, "north"), read_run(out, "south")
        for job in (north, south):
            assert (job["status"], job["remote"], job["node"]) == ("done", grid.url, "node-1")
            assert outcomes(job) == [("Open", "done"), ("Search", "done"), ("Scrap Application_number", "done")]
            assert job["app_number"] == "20250012345"
        assert both_ran_at_once(north, south)

    @pytest.mark.parametrize("release", ["in time", "after the queue's time-out"])
    def test_a_third_job_waits_in_the_grid_queue(self, release, grid, hold, tmp_path):
        names = ("first", "second", "third")
        jobs = [write_job(tmp_path, name, hold_steps(hold.url), sleep_time=0) for name in names]
        out = tmp_path / "out"
        with running(*jobs, "--out", out, "--headless", "--workers", 3, "--remote", grid.url) as run:
            # Two browsers hold both slots; the third job's session is asked
            # for and waits in the Grid's queue.
            hold.wait_held(2, 300, run.process)
            until(lambda: queued(grid.url) == 1, 60, "one session request in the Grid's queue")
            if release == "after the queue's time-out":
                # Every job's run.json says "running" from the start until it ends.
                until(lambda: [name for name in names if ended(out, name)], QUEUE_TIMEOUT + 60,
                      "the queued job to end")
                assert queued(grid.url) == 0 and sum(busy_slots(grid.url).values()) == 2
            hold.release()
            code = run.finish()
        results = {name: read_run(out, name) for name in names}
        done = [name for name in names if results[name]["status"] == "done"]
        if release == "in time":
            assert code == 0, run.out + run.err
            assert len(done) == 3
            return
        # The Grid's refusal, told in one line: the job is an error, nothing
        # of it ran, and the command's status is 2 (no browser to be had).
        assert code == 2, run.out + run.err
        assert len(done) == 2
        (refused,) = set(names) - set(done)
        reason = results[refused]["reason"]
        assert results[refused]["status"] == "error"
        assert reason.startswith("cannot open the browser: ")
        assert "Could not start a new session. New session request timed out" in reason
        assert "\n" not in reason
        assert results[refused]["step_results"] == []
        told = [line for line in run.err.splitlines() if line.startswith("kestrelflow: job")]
        assert told == ["kestrelflow: job %s: %s" % (refused, reason)]

    # Last on this Grid: a slot it leaves busy stays so until the node's
    # session time-out.
    def test_a_timed_out_job_frees_its_grid_slot(self, grid, hold, tmp_path):
        # The held page answers only after the job's time-out: the job is
        # then past its deadline with its session open on the Grid.
        job, out = write_job(tmp_path, "stuck", hold_steps(hold.url), sleep_time=0), tmp_path / "out"
        with running(job, "--out", out, "--headless", "--remote", grid.url, "--job-timeout", JOB_TIMEOUT) as run:
            # The job's deadline is set before it is told started.
            for line in run.process.stdout:
                if line.startswith("stuck: started"):
                    break
            started = time.monotonic()
            hold.wait_held(1, 300, run.process)
            assert sum(busy_slots(grid.url).values()) == 1
            time.sleep(max(0.0, started + JOB_TIMEOUT + 1 - time.monotonic()))
            hold.release()
            code = run.finish()
        result = read_run(out, "stuck")
        assert code == 1, run.out + run.err
        assert (result["status"], result["reason"], result["node"]) == ("error", "job time-out", "node-1")
        deadline = time.monotonic() + 20
        while sum(busy_slots(grid.url).values()) and time.monotonic() < deadline:
            time.sleep(0.2)
        # The job's process quits its session after the time-out: the slot is free again.
        assert sum(busy_slots(grid.url).values()) == 0, busy_slots(grid.url)


def ended(out, name):
    try:
        return read_run(out, name)["status"] != "running"
    except (OSError, ValueError):  # not there yet, or being replaced
        return False


# ---- a hub with two nodes of one slot ---------------------------------------------------------

@pytest.fixture
def two_nodes(grid_resolved, tmp_path):
    grid = Grid(tmp_path / "grid", "hub", "--nodes", 2, "--max-sessions", 1)
    try:
        yield grid.wait_ready()
    finally:
        grid.stop()


def test_a_lost_node_ends_its_job_and_the_other_finishes(two_nodes, hold, tmp_path):
    names = ("east", "west")
    jobs = [write_job(tmp_path, name, hold_steps(hold.url), sleep_time=0) for name in names]
    out = tmp_path / "out"
    with running(*jobs, "--out", out, "--headless", "--workers", 2, "--remote", two_nodes.url) as run:
        hold.wait_held(2, 300, run.process)
        held = until(lambda: len(sessions(two_nodes.url)) == 2 and sessions(two_nodes.url), 60,
                     "both sessions on the Grid")
        lost = two_nodes.state["nodes"][0]
        assert sorted(held.values()) == sorted(node["uri"] for node in two_nodes.state["nodes"])
        # The node's machine goes away: its JVM, chromedriver and browser.
        node = psutil.Process(lost["pid"])
        for process in [node] + node.children(recursive=True):
            process.kill()
        hold.release()
        code = run.finish()
    results = {name: read_run(out, name) for name in names}
    by_node = {result["node"]: result for result in results.values()}
    assert set(by_node) == {"node-1", "node-2"}
    survivor, victim = by_node["node-2"], by_node["node-1"]
    assert code == 1, run.out + run.err
    assert survivor["status"] == "done", survivor
    # Every step from the loss on is an error that tells it, in one line, and
    # the job is an error: its session was lost.
    assert (victim["status"], victim["reason"].split(": ", 1)[0]) == ("error", "the browser session was lost")
    assert [step["outcome"] for step in victim["step_results"]] == ["error", "error"]
    for step in victim["step_results"]:
        told = step["error"]
        assert told.startswith("Unable to execute request for an existing session: ")
        assert lost["uri"] in told


# ---- two nodes on hosts of their own: network namespaces --------------------------------------

def test_jobs_spread_over_two_nodes_on_their_own_hosts(grid_resolved, tmp_path):
    hosts = netns.Hosts.make_or_skip()
    try:
        pages = hosts.page_server()
        hub = hosts.start(Grid(tmp_path / "hub", "hub", "--nodes", 0, "--host", hosts.hub,
                               prefix=hosts.run_in(hosts.hub_ns)))
        # Both nodes start at once.
        nodes = [hosts.add(Grid(tmp_path / name, "node", "--hub-state", hub.state_file, "--host", address,
                                "--name", name, "--max-sessions", 1, prefix=hosts.run_in(ns)))
                 for name, ns, address in hosts.nodes]
        for node in nodes:
            node.wait_ready()
        assert [node.state["url"] for node in nodes] == [hub.url, hub.url]
        names = ("one", "two")
        steps = hold_steps(pages.url("hold")) + portal_steps(pages.url)
        jobs = [write_job(tmp_path, name, steps, sleep_time=0) for name in names]
        out = tmp_path / "out"
        # The command runs on the hub's host: the Grid's address is there only.
        with running(*jobs, "--out", out, "--headless", "--workers", 2, "--remote", hub.url,
                     prefix=hosts.run_in(hosts.hub_ns)) as run:
            pages.wait_held(2, 300, run.process)
            pages.release()
            code = run.finish()
        assert code == 0, run.out + run.err
        results = [read_run(out, name) for name in names]
        assert {result["node"] for result in results} == {"node-a", "node-b"}
        for result in results:
            assert (result["status"], result["remote"]) == ("done", hub.url)
            assert outcomes(result) == [(step["name"], "done") for step in steps]
    finally:
        hosts.close()
