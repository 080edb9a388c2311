"""The kestrelflow command as a user runs it: job files written by the test,
the command run as its own process, its outputs read back."""
import json
import subprocess
import sys

import yaml

from helpers import child_env


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
