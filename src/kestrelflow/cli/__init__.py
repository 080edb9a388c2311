"""The `kestrelflow` command: job files run as step runs, with reports for CI.

    kestrelflow check JOB.yaml [MORE.yaml ...]
    kestrelflow run JOB.yaml [MORE.yaml ...] --out DIR [--workers N] [--browser chrome]
                    [--remote URL] [--headless] [--junit FILE] [--job-timeout SECONDS]

Exit status: 0 when every step of every job ended "done", 1 when one did not
(or a job timed out), 2 for a job file that fails validation or a browser that
cannot be opened.
"""
import argparse
import json
import multiprocessing
import multiprocessing.connection
import os
import signal
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

DEFAULT_JOB_TIMEOUT = 1800.0
# Selenium's own time-out for one command of a session, in seconds.
DEFAULT_CLIENT_TIMEOUT = 120.0
# After the time-out the job's process has this long, past one client
# time-out, to hand back its records before it is ended too.
GRACE = 15.0


def _positive(text):
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not a number of seconds" % text) from None
    if not value > 0:
        raise argparse.ArgumentTypeError("%r: must be more than 0" % text)
    return value


def _workers(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not a whole number" % text) from None
    if value < 1:
        raise argparse.ArgumentTypeError("%r: at least 1" % text)
    return value


def parser():
    top = argparse.ArgumentParser(prog="kestrelflow", description="Runs job files of steps in a "
                                  "browser and reports every step's outcome.")
    commands = top.add_subparsers(dest="command", required=True, metavar="{run,check}")

    check = commands.add_parser("check", help="validate job files without opening a browser",
                                description="Validates job files; every problem is one line naming "
                                "the file, the step and the field.  Exit status 2 when one fails.")
    check.add_argument("jobs", nargs="+", metavar="JOB.yaml")

    run = commands.add_parser("run", help="run job files", description="Runs job files, each in its "
                              "own process with its own browser session, and writes DIR/<job>/run.json, "
                              "DIR/<job>/report.html, the evidence of every failure in "
                              "DIR/<job>/failures/ and one JUnit file for all jobs.")
    run.add_argument("jobs", nargs="+", metavar="JOB.yaml")
    run.add_argument("--out", required=True, metavar="DIR", help="the output folder")
    run.add_argument("--browser", choices=("chrome", "firefox", "edge"), default="chrome",
                     help="the browser (default chrome; local chrome uses the installed "
                     "chromedriver and Chromium when there are)")
    run.add_argument("--remote", metavar="URL", action="append", help="open each session with "
                     "webdriver.Remote at URL (a Selenium Grid, or any WebDriver server); given "
                     "more than once, the jobs are handed to the URLs in turn")
    run.add_argument("--headless", action="store_true", help="run the browser without a window")
    run.add_argument("--workers", type=_workers, default=1, metavar="N",
                     help="run up to N jobs at once (default 1)")
    run.add_argument("--junit", metavar="FILE", help="the JUnit XML file (default DIR/junit.xml)")
    run.add_argument("--job-timeout", type=_positive, default=DEFAULT_JOB_TIMEOUT, metavar="SECONDS",
                     help="end a job that runs longer than this: its browser and driver processes "
                     "are ended and the job is reported as an error, \"job time-out\" "
                     "(default %(default).0f s)")
    run.add_argument("--client-timeout", type=_positive, default=DEFAULT_CLIENT_TIMEOUT,
                     metavar="SECONDS", help="how long one WebDriver command may take before "
                     "Selenium gives up on it (default %(default).0f s, Selenium's own)")
    return top


# ---- check --------------------------------------------------------------------------

def check(paths, out=None, err=None):
    from kestrelflow.cli.jobs import JobError, load_all
    out, err = out or sys.stdout, err or sys.stderr
    try:
        jobs = load_all(paths)
    except JobError as error:
        for line in error.lines:
            print(line, file=err)
        return 2
    for job in jobs:
        count = len(job.steps)
        print("%s: ok, job %s, %d step%s" % (job.path, job.name, count, "" if count == 1 else "s"), file=out)
    return 0


# ---- run ------------------------------------------------------------------------------

@dataclass
class Running:
    job: object
    process: object
    connection: object
    deadline: float
    started: float
    steps: list = field(default_factory=list)
    result: object = None
    fatal: str = None
    ended_browser: bool = False
    closed: bool = False


def descendants(pid):
    """The process ids below `pid` (its children, theirs, ...)."""
    try:
        import psutil
        return [p.pid for p in psutil.Process(pid).children(recursive=True)]
    except Exception:
        return []


def end_processes(pids):
    for pid in pids:
        try:
            os.kill(pid, getattr(signal, "SIGKILL", signal.SIGTERM))
        except OSError:
            pass


def process_start_method():
    """How the jobs' processes start.  A fork costs no new interpreter and no
    resource-tracker process, but it is safe only from a process with one
    thread (a thread may hold a lock at the moment of the fork) and only on
    Linux; everywhere else the processes are spawned."""
    import threading
    if sys.platform.startswith("linux") and threading.active_count() == 1:
        return "fork"
    return "spawn"


class Runner:
    def __init__(self, jobs, options, progress):
        self.jobs, self.options, self.progress = jobs, options, progress
        self.context = multiprocessing.get_context(process_start_method())
        self.results = []
        self.fatal = []
        self.started = 0

    def settings(self, deadline):
        o = self.options
        remote = o.remote[self.started % len(o.remote)] if o.remote else None
        return {"out": str(Path(o.out).resolve()), "browser": o.browser, "remote": remote,
                "headless": o.headless, "client_timeout": o.client_timeout, "deadline": deadline}

    def start(self, job):
        from kestrelflow.cli.worker import process_main
        receive, send = self.context.Pipe(duplex=False)
        started = time.time()
        deadline = started + self.options.job_timeout
        plain_job = {"name": job.name, "path": job.path, "service": job.service,
                     "web_app": job.web_app, "sleep_time": job.sleep_time, "steps": job.run_steps()}
        process = self.context.Process(target=process_main,
                                       args=(plain_job, self.settings(deadline), send),
                                       name="kestrelflow job %s" % job.name, daemon=True)
        process.start()
        send.close()
        self.started += 1
        self.progress.started(job.name, len(job.steps))
        return Running(job, process, receive, deadline, started)

    def receive(self, running):
        try:
            while running.connection.poll():
                kind, payload = running.connection.recv()
                if kind == "step":
                    running.steps.append(payload)
                    self.progress.step(running.job.name, payload)
                elif kind == "result":
                    running.result = payload
                elif kind == "fatal":
                    running.fatal = payload["message"]
        except (EOFError, OSError):
            running.closed = True
        except Exception:  # a message cut off when the process was ended
            running.closed = True

    def run(self):
        pending = list(self.jobs)
        running = []
        try:
            while pending or running:
                while pending and len(running) < self.options.workers:
                    running.append(self.start(pending.pop(0)))
                waitables = [r.connection for r in running if not r.closed]
                waitables += [r.process.sentinel for r in running]
                multiprocessing.connection.wait(waitables, timeout=0.25)
                now = time.time()
                for r in list(running):
                    if not r.closed:
                        self.receive(r)
                    if now >= r.deadline and not r.ended_browser and r.result is None:
                        # The browser and its driver, by their process ids: a
                        # frozen browser cannot answer a request to quit.
                        r.ended_browser = True
                        end_processes(descendants(r.process.pid))
                    hard_limit = r.deadline + self.options.client_timeout + GRACE
                    if r.process.is_alive() and now >= hard_limit:
                        end_processes(descendants(r.process.pid) + [r.process.pid])
                    if not r.process.is_alive() and (r.closed or r.result is not None):
                        r.process.join()
                        running.remove(r)
                        self.finish(r)
        except KeyboardInterrupt:
            for r in running:
                end_processes(descendants(r.process.pid) + [r.process.pid])
            raise
        return self.results

    def finish(self, r):
        result = r.result
        if result is None or "step_results" not in result:
            result = self.result_from_messages(r, (result or {}).get("reason"))
        if r.fatal:
            self.fatal.append((r.job.name, r.fatal))
        write_outputs(Path(self.options.out) / r.job.name, result)
        self.results.append(result)
        self.progress.ended(r.job.name, summary(result, Path(self.options.out)))

    def result_from_messages(self, r, reason):
        """The job's result when its process ended without handing one back."""
        from kestrelflow.cli.worker import CSV, FAILURES, LOG, SCREENSHOTS, TIMED_OUT, iso
        steps = {m["index"]: m for m in r.steps}
        timed_out = r.ended_browser
        results = []
        for index, step in enumerate(r.job.steps):
            m = steps.get(index)
            if m is not None:
                results.append({"step": step.name, "action": step.action, "outcome": m["outcome"],
                                "seconds": m["seconds"], "error": None, "url": "", "evidence": None})
            else:
                results.append({"step": step.name, "action": step.action, "outcome": "error",
                                "seconds": 0.0, "error": (TIMED_OUT if timed_out else "the job ended") + ": not run",
                                "url": "", "evidence": None})
        finished = time.time()
        if reason is None:
            reason = TIMED_OUT if timed_out else "the job's process ended without a result (exit code %s)" % (
                r.process.exitcode)
        return {"job": r.job.name, "file": r.job.path, "service": r.job.service, "web_app": r.job.web_app,
                "browser": self.options.browser, "remote": None,
                "started": iso(r.started), "finished": iso(finished), "seconds": round(finished - r.started, 3),
                "status": "error", "reason": reason,
                "paths": {"csv": CSV, "screenshots": SCREENSHOTS, "failures": FAILURES, "log": LOG},
                "step_results": results, "data_extracted": []}


def summary(result, out):
    counts = {}
    for step in result.get("step_results", []):
        counts[step["outcome"]] = counts.get(step["outcome"], 0) + 1
    told = ", ".join("%d %s" % (n, outcome) for outcome, n in counts.items()) or "no steps"
    status = result["status"] + (" (%s)" % result["reason"] if result.get("reason") else "")
    return "%s: %s in %.1f s (%s)" % (status, told, result.get("seconds") or 0,
                                      Path(out) / result["job"] / "report.html")


def write_outputs(folder, result):
    """run.json and report.html in the job's folder."""
    from kestrelflow.report import write_job_report
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / "run.json"
    partial = path.with_name(path.name + ".partial")
    partial.write_text(json.dumps(result, ensure_ascii=False, indent=2), encoding="utf-8")
    os.replace(partial, path)
    try:
        write_job_report(folder, result)
    except Exception as error:
        print("%s: the report could not be written: %s" % (result["job"], error), file=sys.stderr)


def run(options, out=None, err=None):
    # The job's process imports this package too: the job files' libraries
    # are loaded here only.
    from kestrelflow.cli.jobs import JobError, load_all
    out, err = out or sys.stdout, err or sys.stderr
    try:
        jobs = load_all(options.jobs)
    except JobError as error:
        for line in error.lines:
            print(line, file=err)
        print("kestrelflow: nothing was run: %d problem%s in the job files" % (
            len(error.lines), "" if len(error.lines) == 1 else "s"), file=err)
        return 2
    out_dir = Path(options.out)
    try:
        out_dir.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        print("kestrelflow: cannot create the output folder %s: %s" % (out_dir, error.strerror), file=err)
        return 2
    from kestrelflow.cli.progress import progress_for
    from kestrelflow.cli.junit import write_junit
    from kestrelflow.local_browser import local_display

    with local_display(), progress_for(out) as progress:
        runner = Runner(jobs, options, progress)
        results = runner.run()
    junit = Path(options.junit) if options.junit else out_dir / "junit.xml"
    write_junit(results, junit)
    print("JUnit: %s" % junit, file=out)
    for job, message in runner.fatal:
        print("kestrelflow: job %s: cannot open the browser: %s" % (job, message), file=err)
    if runner.fatal:
        return 2
    return 0 if all(r["status"] == "done" for r in results) else 1


def main(argv=None):
    options = parser().parse_args(argv)
    try:
        if options.command == "check":
            return check(options.jobs)
        return run(options)
    except KeyboardInterrupt:
        print("kestrelflow: interrupted", file=sys.stderr)
        return 130
