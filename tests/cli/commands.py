"""The kestrelflow command as a user runs it: job files written by the test,
the command run as its own process, its outputs read back."""
import json
import os
import socket
import subprocess
import sys
import time
import urllib.request
from contextlib import contextmanager

import yaml

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
    """Runs the command to its end."""
    return subprocess.run(command(*args), capture_output=True, text=True, encoding="utf-8",
                          env={**os.environ, **(env or {})}, timeout=timeout)


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
    server = subprocess.Popen([chromedriver_path(), "--port=%d" % port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d" % port
    try:
        for _ in range(400):
            try:
                with urllib.request.urlopen(url + "/status", timeout=1) as reply:
                    if reply.status == 200:
                        break
            except OSError:
                time.sleep(0.05)
        else:
            raise RuntimeError("chromedriver did not start serving on port %d" % port)
        yield url
    finally:
        server.terminate()
        server.wait(timeout=30)
