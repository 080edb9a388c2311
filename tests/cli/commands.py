"""The kestrelflow command as a user runs it: job files written by the test,
the command run as its own process, its outputs read back."""
import json
import socket
import subprocess
import sys
import time
import urllib.request
from contextlib import contextmanager

import yaml

from helpers import child_env
from kestrelflow.local_browser import chromedriver_path


def write_job(folder, name, steps, **fields):
    """A job file named after the job; returns its path."""
    job = {"name": name, "service": "Sign-in service", "web_app": "Portal", **fields, "steps": steps}
    path = folder / (name + ".yaml")
    path.write_text(yaml.safe_dump(job, sort_keys=False, allow_unicode=True), encoding="utf-8")
    return path


def command(*args):
    return [sys.executable, "-m", "kestrelflow", *map(str, args)]


def kestrelflow(*args, env=None, timeout=600):
    """Runs the command to its end, on this test process's own display."""
    return subprocess.run(command(*args), capture_output=True, text=True, encoding="utf-8",
                          env=child_env(**(env or {})), timeout=timeout)


def read_run(out, job):
    with open(out / job / "run.json", encoding="utf-8") as f:
        return json.load(f)


def outcomes(run):
    return [(step["step"], step["outcome"]) for step in run["step_results"]]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextmanager
def webdriver_server():
    """chromedriver serving the WebDriver protocol on a free local port, as a
    Grid node does; yields its URL."""
    port = free_port()
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port], env=child_env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    try:
        # However long a busy machine takes to start it; an exit (the port
        # taken in the meantime) ends the wait at once.
        deadline = time.monotonic() + 300
        while True:
            try:
                with urllib.request.urlopen(url + "/status", timeout=5) as reply:
                    if reply.status == 200:
                        break
            except OSError:
                pass
            if server.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("chromedriver did not start serving on port %d" % port)
            time.sleep(0.05)
        yield url
    finally:
        server.terminate()
        server.wait(timeout=30)
