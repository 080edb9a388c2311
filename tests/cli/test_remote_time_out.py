"""A --remote job that times out still ends its session on the server, so a
Grid slot is not kept taken."""
import psutil

from cli.commands import kestrelflow, read_run, write_job
from cli.runs import wait_until
from helpers import HANG, child_env, webdriver_server


def browsers_of(server):
    return [p for p in server.children(recursive=True) if p.status() != psutil.STATUS_ZOMBIE]


def test_a_timed_out_remote_session_is_ended_on_the_server(pages, tmp_path):
    steps = [{"name": "Open", "action": "get_url", "values": [pages.url("steps_portal.html")]},
             {"name": "Wait", "action": "Scrap_data", "xpaths": ["//h1"], "delay": 600}]
    job = write_job(tmp_path, "slow", steps, sleep_time=0)
    with webdriver_server() as url:
        [server] = [p for p in psutil.Process().children()
                    if "--port=" + url.rsplit(":", 1)[1] in p.cmdline()]
        done = kestrelflow("run", job, "--out", tmp_path / "out", "--headless", "--remote", url,
                           "--job-timeout", 8, "--client-timeout", 10, env=child_env(), timeout=HANG)
        ended = wait_until(lambda: browsers_of(server) == [], 15)
        left = browsers_of(server)
    assert done.returncode == 1, done.stderr
    assert read_run(tmp_path / "out", "slow")["reason"] == "job time-out"
    assert ended and left == []  # the session's browser is gone: the session was deleted
