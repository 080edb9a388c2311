"""The `kestrelflow` command: job files run as step runs, with reports for CI.

    kestrelflow check JOB.yaml [MORE.yaml ...]
    kestrelflow run JOB.yaml [MORE.yaml ...] --out DIR [--workers N] [--browser chrome]
                    [--remote URL] [--headless] [--junit FILE] [--job-timeout SECONDS] [--rerun-failed]

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
    run.add_argument("--rerun-failed", action="store_true",
                     help="run only those of the jobs whose last run in DIR did not end done; the "
                     "others keep their run.json and stand in the JUnit file as they ended")
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
    from kestrelflow.cli.jobs import JobError, display_name, load_all
    out, err = out or sys.stdout, err or sys.stderr
    try:
        jobs = load_all(paths)
    except JobError as error:
        for line in error.lines:
            print(line, file=err)
        return 2
    for job in jobs:
        count = len(job.steps)
        print("%s: ok, job %s, %d step%s" % (display_name(job.path), job.name, count, "" if count == 1 else "s"),
              file=out)
    return 0


# ---- run ------------------------------------------------------------------------------

# After "stop" (the first SIGTERM or Ctrl-C), a job's process has this long to
# hand back what it has done before its group is ended.
STOP_GRACE = 10.0
LOCK = ".kestrelflow.lock"
RUNNING = "running"
NOT_ENDED = "the run has not ended"


@dataclass
class Running:
    job: object
    process: object             # subprocess.Popen
    connection: object          # messages from the job's process
    control: object             # the job and "stop" to it; its end tells the process the runner is gone
    deadline: float
    started: float
    exit_fd: object = None      # readable when the process has ended (a pidfd), or None
    steps: list = field(default_factory=list)
    result: object = None
    fatal: str = None
    ended_browser: bool = False
    running_step: int = None    # the index of the step under way
    closed: bool = False
    stopping: float = None      # when it was told to stop
    exited: float = None


def descendants(pid):
    """The process ids below `pid` (its children, theirs, ...)."""
    try:
        import psutil
        return [p.pid for p in psutil.Process(pid).children(recursive=True)]
    except Exception:
        return []


def group_members(pgid):
    """The process ids of the process group `pgid` (Linux), or []."""
    members = []
    try:
        entries = os.listdir("/proc")
    except OSError:
        return members
    for entry in entries:
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry, "rb") as f:
                fields = f.read().rsplit(b")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if len(fields) > 2 and int(fields[2]) == pgid:
            members.append(int(entry))
    return members


def end_processes(pids):
    for pid in pids:
        try:
            os.kill(pid, getattr(signal, "SIGKILL", signal.SIGTERM))
        except OSError:
            pass


class Interrupted(BaseException):
    """A second SIGTERM or Ctrl-C: the run ends at once."""

    def __init__(self, number):
        super().__init__(number)
        self.number = number


def worker_command(inbound, outbound):
    return [sys.executable, "-m", "kestrelflow.cli.worker", str(inbound), str(outbound), str(os.getpid())]


def worker_environment():
    """The environment of a job's process: this one's, with this package
    importable whatever way this process found it."""
    here = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([here] + [p for p in env.get("PYTHONPATH", "").split(os.pathsep) if p])
    return env


class Problems:
    """Outputs that could not be written: one line per cause."""

    def __init__(self):
        self.lines = []

    def add(self, folder, error):
        line = "kestrelflow: cannot write in %s: %s" % (folder, getattr(error, "strerror", None) or error)
        cause = getattr(error, "errno", None) or str(error)
        if cause not in [c for c, _ in self.lines]:
            self.lines.append((cause, line))

    def __bool__(self):
        return bool(self.lines)

    def tell(self, err):
        for _, line in self.lines:
            print(line, file=err)


class Runner:
    def __init__(self, jobs, options, progress, masker=None, problems=None):
        from kestrelflow.cli.outputs import Masker
        self.jobs, self.options, self.progress = jobs, options, progress
        self.masker = masker or Masker()
        self.problems = problems if problems is not None else Problems()
        self.results = []
        self.fatal = []
        self.started = 0
        self.stop_signal = None     # the first SIGTERM or SIGINT

    def settings(self, deadline):
        o = self.options
        remote = o.remote[self.started % len(o.remote)] if o.remote else None
        return {"out": str(Path(o.out).resolve()), "browser": o.browser, "remote": remote,
                "headless": o.headless, "client_timeout": o.client_timeout, "deadline": deadline,
                "secrets": self.masker.secrets}

    def start(self, job):
        """The job's process, in a session of its own; the job is sent to it."""
        import subprocess
        from multiprocessing.connection import Connection
        started = time.time()
        deadline = started + self.options.job_timeout
        plain_job = {"name": job.name, "path": job.path, "service": job.service,
                     "web_app": job.web_app, "sleep_time": job.sleep_time, "steps": job.run_steps(),
                     "expects": [step.expect for step in job.steps], "stop_on_failure": job.stop_on_failure}
        settings = self.settings(deadline)
        self.started += 1
        inbound, control = os.pipe()
        connection, outbound = os.pipe()
        try:
            process = subprocess.Popen(worker_command(inbound, outbound), pass_fds=(inbound, outbound),
                                       start_new_session=True, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       env=worker_environment())
        except BaseException:
            for fd in (inbound, control, connection, outbound):
                os.close(fd)
            raise
        os.close(inbound)
        os.close(outbound)
        try:
            exit_fd = os.pidfd_open(process.pid)
        except (AttributeError, OSError):
            exit_fd = None
        r = Running(job, process, Connection(connection, writable=False), Connection(control, readable=False),
                    deadline, started, exit_fd)
        self.tell(r, (plain_job, settings))
        self.progress.started(job.name, len(job.steps))
        return r

    def tell(self, r, message):
        try:
            r.control.send(message)
        except (OSError, ValueError):
            pass

    def receive(self, running):
        try:
            while running.connection.poll():
                kind, payload = running.connection.recv()
                if kind == "step":
                    running.steps.append(payload)
                    self.progress.step(running.job.name, payload)
                elif kind == "running":
                    running.running_step = payload["index"]
                    self.progress.running(running.job.name, payload)
                elif kind == "result":
                    running.result = payload
                elif kind == "fatal":
                    running.fatal = payload["message"]
        except (EOFError, OSError):
            running.closed = True
        except Exception:  # a message cut off when the process was ended
            running.closed = True

    def end_browser(self, r):
        """The job's browser and driver, by their process ids: a frozen
        browser cannot answer a request to quit."""
        pid = r.process.pid
        end_processes([p for p in set(group_members(pid) + descendants(pid)) if p != pid])

    def end_group(self, r):
        pids = descendants(r.process.pid)
        try:
            os.killpg(r.process.pid, signal.SIGKILL)
        except OSError:
            pass
        end_processes(pids + [r.process.pid])

    def run(self):
        pending = list(self.jobs)
        running = []
        try:
            while pending or running:
                if self.stop_signal is not None:
                    for job in pending:
                        self.finish_unstarted(job)
                    pending = []
                while pending and len(running) < self.options.workers:
                    running.append(self.start(pending.pop(0)))
                waitables = [r.connection for r in running if not r.closed]
                waitables += [r.exit_fd for r in running if r.exit_fd is not None and r.exited is None]
                multiprocessing.connection.wait(waitables, timeout=0.25)
                now = time.time()
                for r in list(running):
                    if not r.closed:
                        self.receive(r)
                    if r.exited is None and r.process.poll() is not None:
                        r.exited = now
                    if self.stop_signal is not None and r.stopping is None and r.result is None:
                        r.stopping = now
                        self.tell(r, "stop")
                        self.end_browser(r)
                    if now >= r.deadline and not r.ended_browser and r.result is None:
                        r.ended_browser = True
                        self.end_browser(r)
                    hard_limit = r.deadline + self.options.client_timeout + GRACE
                    if r.stopping is not None:
                        hard_limit = min(hard_limit, r.stopping + STOP_GRACE)
                    if r.exited is None and now >= hard_limit:
                        self.end_group(r)
                    # Ended: its last messages read (or a child that outlived it holds the pipe).
                    if r.exited is not None and (r.closed or r.result is not None or now >= r.exited + 2):
                        running.remove(r)
                        self.finish(r)
        except BaseException:
            for r in running:
                self.end_group(r)
            raise
        return self.results

    def finish(self, r):
        # Whatever the job process left in its group goes with it.
        self.end_group(r)
        for closing in (r.connection, r.control):
            try:
                closing.close()
            except OSError:
                pass
        if r.exit_fd is not None:
            os.close(r.exit_fd)
        result = r.result
        if result is None or "step_results" not in result:
            result = self.result_from_messages(r, (result or {}).get("reason"))
        if r.fatal and r.stopping is None:
            self.fatal.append((r.job.name, self.masker.text(r.fatal)))
        self.record(r.job.name, result)

    def record(self, name, result):
        result = self.masker.value(result)
        try:
            write_outputs(Path(self.options.out) / name, result)
        except OSError as error:
            self.problems.add(Path(self.options.out) / name, error)
        self.results.append(result)
        self.progress.ended(name, summary(result, Path(self.options.out)))

    def finish_unstarted(self, job):
        """A job the run was stopped before it began."""
        from kestrelflow.cli.results import not_run
        from kestrelflow.cli.worker import INTERRUPTED
        now = time.time()
        steps = [not_run(step.name, step.action, INTERRUPTED) for step in job.steps]
        self.record(job.name, job_result(job, self.options, now, now, "error", INTERRUPTED, steps))

    def result_from_messages(self, r, reason):
        """The job's result when its process ended without handing one back."""
        from kestrelflow.cli.results import failed, not_run, step_result
        from kestrelflow.cli.worker import INTERRUPTED, TIMED_OUT
        steps = {m["index"]: m for m in r.steps}
        stopped = INTERRUPTED if r.stopping is not None else TIMED_OUT if r.ended_browser else None
        why = stopped or "the job ended"
        results = []
        for index, step in enumerate(r.job.steps):
            m = steps.get(index)
            if m is not None:
                results.append(step_result(step.name, step.action, m["outcome"], m.get("reason"), m["seconds"]))
            elif index == r.running_step:  # the step under way is the one that failed
                results.append(failed(step.name, step.action, why))
            else:
                results.append(not_run(step.name, step.action, why))
        if reason is None:
            reason = stopped or "the job's process ended without a result (exit code %s)" % (
                r.process.returncode)
        return job_result(r.job, self.options, r.started, time.time(), "error", reason, results)


def job_result(job, options, started, finished, status, reason, steps):
    """A job's result (what run.json holds) made by the runner itself."""
    from kestrelflow.cli.worker import CSV, FAILURES, LOG, SCREENSHOTS, iso
    return {"job": job.name, "file": job.path, "service": job.service, "web_app": job.web_app,
            "browser": options.browser, "remote": None,
            "started": iso(started), "finished": None if finished is None else iso(finished),
            "seconds": None if finished is None else round(finished - started, 3),
            "status": status, "reason": reason,
            "paths": {"csv": CSV, "screenshots": SCREENSHOTS, "failures": FAILURES, "log": LOG},
            "step_results": steps, "data_extracted": []}


def summary(result, out):
    counts = {}
    for step in result.get("step_results", []):
        counts[step["outcome"]] = counts.get(step["outcome"], 0) + 1
    told = ", ".join("%d %s" % (n, outcome) for outcome, n in counts.items()) or "no steps"
    status = result["status"] + (" (%s)" % result["reason"] if result.get("reason") else "")
    return "%s: %s in %.1f s (%s)" % (status, told, result.get("seconds") or 0,
                                      Path(out) / result["job"] / "report.html")


def write_outputs(folder, result):
    """run.json and report.html in the job's folder.  An output that cannot
    be written raises OSError (the other is still tried)."""
    from kestrelflow.cli.outputs import write_atomic
    from kestrelflow.report import write_job_report
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    failed = None
    try:
        write_atomic(folder / "run.json", json.dumps(result, ensure_ascii=False, indent=2))
    except OSError as error:
        failed = error
    try:
        write_job_report(folder, result)
    except OSError as error:
        failed = failed or error
    except Exception as error:
        print("%s: the report could not be written: %s" % (result["job"], error), file=sys.stderr)
    if failed is not None:
        raise failed


def take_lock(folder):
    """An exclusive lock on the output folder for this run, or None when
    another run holds it.  OSError when the lock file cannot be made."""
    import fcntl
    fd = os.open(Path(folder) / LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o644)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        os.close(fd)
        return None
    except BaseException:
        os.close(fd)
        raise
    return fd


def mark_running(jobs, options, junit, kept=None, order=None):
    """At a run's start: each job's run.json says "running", its previous
    report is gone, and the JUnit file holds every job as an error until the
    run has ended; a reader never sees an earlier run's green for it."""
    from kestrelflow.cli.junit import write_junit
    now = time.time()
    for job in jobs:
        folder = Path(options.out) / job.name
        result = job_result(job, options, now, None, RUNNING, None, [])
        try:
            folder.mkdir(parents=True, exist_ok=True)
            (folder / "report.html").unlink(missing_ok=True)
            write_outputs_json(folder, result)
        except OSError as error:
            raise OutputError(folder, error) from None
    running = [dict(job_result(job, options, now, None, RUNNING, NOT_ENDED, [])) for job in jobs]
    try:
        write_junit(_in_order(running, kept or {}, order or [job.name for job in jobs]), junit,
                    Path(options.out))
    except OSError as error:
        raise OutputError(junit.parent, error) from None


def write_outputs_json(folder, result):
    from kestrelflow.cli.outputs import write_atomic
    write_atomic(Path(folder) / "run.json", json.dumps(result, ensure_ascii=False, indent=2))


class OutputError(Exception):
    def __init__(self, folder, error):
        super().__init__(folder, error)
        self.folder, self.error = folder, error


def unwritten(jobs, options, reason, junit, problems):
    """When the outputs cannot be written: the JUnit file still says so,
    if it can be written where it was asked for."""
    from kestrelflow.cli.junit import write_junit
    now = time.time()
    try:
        write_junit([job_result(job, options, now, now, "error", reason, []) for job in jobs], junit,
                    Path(options.out))
    except OSError as error:
        problems.add(junit.parent, error)


def install_signals(runner):
    """The first SIGTERM or SIGINT tells the runner to finish now; a second
    raises Interrupted.  Returns the handlers to put back."""
    def handler(number, frame):
        if runner.stop_signal is None:
            runner.stop_signal = number
        else:
            raise Interrupted(runner.stop_signal)

    previous = {}
    try:
        for number in (signal.SIGINT, signal.SIGTERM):
            previous[number] = signal.signal(number, handler)
    except ValueError:  # not the main thread: the caller's own handling stays
        pass
    return previous


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
    junit = Path(options.junit) if options.junit else out_dir / "junit.xml"
    problems = Problems()
    try:
        out_dir.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        print("kestrelflow: cannot create the output folder %s: %s" % (out_dir, error.strerror), file=err)
        return 2
    try:
        lock = take_lock(out_dir)
    except OSError as error:
        problems.add(out_dir, error)
        unwritten(jobs, options, "cannot write in %s: %s" % (out_dir, error.strerror), junit, problems)
        problems.tell(err)
        return 2
    if lock is None:
        print("kestrelflow: the output folder %s is in use by another run" % out_dir, file=err)
        return 2
    try:
        kept = last_done(jobs, out_dir) if getattr(options, "rerun_failed", False) else {}
        return _run([job for job in jobs if job.name not in kept], options, junit, problems, out, err,
                    kept=kept, order=[job.name for job in jobs])
    finally:
        os.close(lock)


def last_done(jobs, out_dir):
    """{job name: its last result} for the jobs whose last run in `out_dir`
    ended done (their run.json says so)."""
    kept = {}
    for job in jobs:
        try:
            with open(out_dir / job.name / "run.json", encoding="utf-8") as f:
                result = json.load(f)
        except (OSError, ValueError):
            continue
        if isinstance(result, dict) and result.get("job") == job.name and result.get("status") == "done":
            kept[job.name] = result
    return kept


def _in_order(results, kept, order):
    """The run's results and the kept ones, in the order the jobs were given."""
    by_name = dict(kept)
    by_name.update((r["job"], r) for r in results)
    return [by_name[name] for name in order if name in by_name]


def _run(jobs, options, junit, problems, out, err, kept=None, order=None):
    from kestrelflow.cli.junit import write_junit
    from kestrelflow.cli.outputs import Masker, job_secrets
    from kestrelflow.cli.progress import progress_for
    from kestrelflow.local_browser import local_display

    kept = kept or {}
    order = order or [job.name for job in jobs]
    if kept and not jobs:
        try:
            write_junit(_in_order([], kept, order), junit, Path(options.out))
        except OSError as error:
            problems.add(junit.parent, error)
            problems.tell(err)
            return 2
        print("Every job's last run in %s ended done: nothing to rerun" % options.out, file=out)
        print("JUnit: %s" % junit, file=out)
        return 0
    masker = Masker(job_secrets(jobs))
    try:
        mark_running(jobs, options, junit, kept, order)
    except OutputError as error:
        problems.add(error.folder, error.error)
        unwritten(jobs, options, "cannot write in %s: %s" % (error.folder, error.error.strerror), junit,
                  problems)
        problems.tell(err)
        return 2
    runner = Runner(jobs, options, None, masker, problems)
    previous = install_signals(runner)
    try:
        with local_display(), progress_for(out, masker) as progress:
            runner.progress = progress
            results = runner.run()
        results = _in_order(results, kept, order)
        try:
            write_junit(results, junit, Path(options.out))
            print("JUnit: %s" % junit, file=out)
        except OSError as error:
            problems.add(junit.parent, error)
        for job, message in runner.fatal:
            print("kestrelflow: job %s: cannot open the browser: %s" % (job, message), file=err)
        problems.tell(err)
    except Interrupted as stop:
        return 128 + stop.number
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)
    if runner.stop_signal is not None:
        return 128 + runner.stop_signal
    if runner.fatal or problems:
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
    except Interrupted as stop:
        return 128 + stop.number
    except BrokenPipeError:
        return 1
    except OSError as error:
        print("kestrelflow: %s" % error, file=sys.stderr)
        return 2
    except Exception as error:  # never a traceback on the user's screen
        print("kestrelflow: internal error: %s: %s" % (type(error).__name__, error), file=sys.stderr)
        return 3
