"""A step run's evidence as one self-contained HTML page.

From a script, right after `run_steps`:

    from kestrelflow.report import write_run_report

    started = time.time()
    context, texts = gu.run_steps(driver, steps, "Portal", "timings.csv", "Screenshots",
                                  "Land search", "Screenshots")
    write_run_report(context, "timings.csv", "Screenshots", "Portal", "Land search",
                     "report.html", started=started)

From the command line, for a job folder that `kestrelflow run` wrote:

    python -m kestrelflow.report OUT/land-search

The page shows every step with its outcome ("done", "not done", "no action",
"error"), the steps that did not end "done" first, each with the screenshot
taken at its failure when there is one; then, per step, the screenshot taken
after it (a click enlarges it) and a waterfall of the page's resource timings,
drawn as inline SVG.  The timing CSV and the screenshot folders are appended
to by every run: only the rows and pictures of the run's own time window are
shown.  Everything taken from pages or callers is escaped; the page holds no
script.

The timing rows of one step are all the page's resource entries at that
moment, so a page that is not reloaded shows earlier requests again; the
waterfall marks the requests that are new since the previous step.
"""
import base64
import csv
import datetime as _dt
import json
import math
import time
from dataclasses import dataclass, field
from pathlib import Path

import jinja2
from markupsafe import Markup

RUN = "run.json"
REPORT = "report.html"
# The outcomes the header always counts; "skipped" only when a step was.
OUTCOMES = ("done", "not done", "no action", "error")
SKIPPED = "skipped"
UNKNOWN = "unknown"

# Width of the waterfall's drawing area, in SVG user units (pixels).
WATERFALL_WIDTH = 600
ROW_HEIGHT = 18
# The CSV's time stamps and run.json's times have whole seconds (cut, not
# rounded); screenshots' times are file times.  A run's window is therefore
# compared second by second.  SLACK widens an estimated start.
SLACK = 1.0
STAMP = "%Y-%m-%d %H:%M:%S"


@dataclass
class Resource:
    name: str
    kind: str
    start: float
    duration: float
    size: str
    status: str
    new: bool = False


@dataclass
class Step:
    name: str
    position: int
    outcome: str = UNKNOWN
    error: str = ""
    reason: str = ""            # why the step is not done, one line
    url: str = ""
    seconds: object = None
    screenshot: str = ""        # a data: URI, or ""
    screenshot_file: str = ""
    evidence: str = ""          # the screenshot taken at the failure, a data: URI
    evidence_file: str = ""
    page_source_file: str = ""
    resources: list = field(default_factory=list)
    span: float = 0.0           # the waterfall's time scale: the latest end, in ms
    stamp: str = ""

    @property
    def error_summary(self):
        """The error without the driver's native stack trace."""
        return self.error.split("\nStacktrace:", 1)[0].strip()

    @property
    def status(self):
        """The outcome as a CSS class."""
        return self.outcome.replace(" ", "-")

    @property
    def ok(self):
        return self.outcome == "done"


def _number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return 0.0


def _epoch(value):
    """Seconds since the epoch from a number, a datetime or an ISO text."""
    if value is None:
        return None
    if isinstance(value, (int, float)):
        return float(value)
    if isinstance(value, _dt.datetime):
        return value.timestamp()
    return _dt.datetime.fromisoformat(str(value)).timestamp()


def _in_window(epoch, window):
    """Whether the time falls in the window's seconds: a row stamped in the
    second before the run began belongs to an earlier run."""
    start, end = window
    second = math.floor(epoch)
    return (start is None or second >= math.floor(start)) and (end is None or second <= math.floor(end))


def timing_blocks(path, window):
    """The CSV's rows of the window as consecutive blocks [(step name, rows)]."""
    blocks = []
    path = Path(path)
    if not path.is_file():
        return blocks
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            try:
                stamp = time.mktime(time.strptime(row.get("time_date") or "", STAMP))
            except ValueError:
                continue
            if not _in_window(stamp, window):
                continue
            step = row.get("Step Type", "")
            if blocks and blocks[-1][0] == step and blocks[-1][2] == row.get("time_date"):
                blocks[-1][1].append(row)
            else:
                blocks.append((step, [row], row.get("time_date")))
    return [(step, rows) for step, rows, _ in blocks]


def step_screenshots(base_path, web_app_name, name, window):
    """The PNGs of the step's screenshot folder taken in the window, oldest first."""
    folder = Path(base_path) / ("%s - %s" % (web_app_name, name))
    if not folder.is_dir():
        return []
    shots = [(p.stat().st_mtime, p) for p in folder.glob("*.png")]
    return [p for mtime, p in sorted(shots) if _in_window(mtime, window)]


def data_uri(png):
    """The picture as a data: URI; made of base64 alone, it needs no escaping."""
    try:
        return Markup("data:image/png;base64," + base64.b64encode(Path(png).read_bytes()).decode("ascii"))
    except OSError:
        return ""


def _relative(path, folder):
    try:
        return str(Path(path).resolve().relative_to(Path(folder).resolve()))
    except ValueError:
        return str(path)


def collect(step_results, file_path, Base_path, web_app_name, window, folder, evidence_root=None):
    """The report's steps, in run order, from the step results and the
    run's files."""
    steps, on_disk = [], []
    for position, result in enumerate(step_results, 1):
        outcome = result.get("outcome")
        # The name the step's timing rows and screenshot folder carry.
        on_disk.append(str(result.get("name_on_disk") or result.get("step", "")))
        step = Step(name=str(result.get("step", "")), position=position,
                    outcome=outcome if outcome in OUTCOMES + (SKIPPED,) else UNKNOWN,
                    error="" if result.get("error") is None else str(result.get("error")),
                    reason=str(result.get("reason") or ""),
                    url=str(result.get("url") or ""), seconds=result.get("seconds"))
        evidence = result.get("evidence") or {}
        root = Path(evidence_root or folder)
        if evidence.get("screenshot"):
            step.evidence = data_uri(root / evidence["screenshot"])
            step.evidence_file = evidence["screenshot"]
        if evidence.get("page_source"):
            step.page_source_file = _relative(root / evidence["page_source"], folder)
        steps.append(step)

    # Timing blocks and screenshots go to the steps in order, by name; a step
    # that raised before its export has neither.
    blocks = timing_blocks(file_path, window)
    seen, shots_by_name = set(), {}
    for step, disk_name in zip(steps, on_disk):
        if step.outcome == "error":
            continue
        for i, (name, rows) in enumerate(blocks):
            if name == disk_name:
                step_rows = rows
                del blocks[:i + 1]
                break
        else:
            step_rows = []
        for row in step_rows:
            key = (row.get("name"), row.get("startTime"))
            step.resources.append(Resource(
                name=row.get("name", ""), kind=row.get("initiatorType", ""),
                start=_number(row.get("startTime")), duration=_number(row.get("duration")),
                size=row.get("transferSize", ""), status=row.get("responseStatus", ""),
                new=key not in seen))
        seen.update((row.get("name"), row.get("startTime")) for row in step_rows)
        if step_rows:
            step.stamp = step_rows[-1].get("time_date", "")
        step.span = max((r.start + r.duration for r in step.resources), default=0.0)
        if disk_name not in shots_by_name:
            shots_by_name[disk_name] = step_screenshots(Base_path, web_app_name, disk_name, window)
        shots = shots_by_name[disk_name]
        if shots:
            png = shots.pop(0)
            step.screenshot = data_uri(png)
            step.screenshot_file = _relative(png, folder)
    return steps


def _first(step):
    """Sort key: the steps that did not end "done" first, in run order, then
    those of unknown outcome, then the skipped ones, then the done ones."""
    if step.ok:
        return 3
    return {UNKNOWN: 1, SKIPPED: 2}.get(step.outcome, 0)


def render(run, steps, folder):
    """The report page as text."""
    template = _environment().get_template("report.html.j2")
    tally = [(outcome, sum(s.outcome == outcome for s in steps)) for outcome in OUTCOMES + (SKIPPED, UNKNOWN)]
    return template.render(
        run=run, steps=sorted(steps, key=_first), folder=Path(folder).resolve(),
        tally=[(outcome, count) for outcome, count in tally if count or outcome in OUTCOMES],
        width=WATERFALL_WIDTH, row_height=ROW_HEIGHT)


_ENVIRONMENT = []


def _environment():
    """The template environment, made once per process.  No bytecode cache:
    the template is compiled from this package's own file in each process
    (some 50 ms of CPU time), so what is rendered is always what the
    installed package and these settings make of it."""
    if not _ENVIRONMENT:
        env = jinja2.Environment(
            loader=jinja2.PackageLoader("kestrelflow.report", "templates"),
            autoescape=jinja2.select_autoescape(["html", "j2"]),
            trim_blocks=True, lstrip_blocks=True)
        env.filters["short_name"] = short_name
        _ENVIRONMENT.append(env)
    return _ENVIRONMENT[0]


def short_name(url):
    tail = url.rstrip("/").rsplit("/", 1)[-1]
    return tail or url


def _write(path, text):
    """Writes beside the final name and moves into place when complete."""
    from kestrelflow.cli.outputs import write_atomic
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    write_atomic(path, text)
    return path.resolve()


def write_run_report(context, file_path, Base_path, web_app_name="", SERVICE_NAME="",
                     output=REPORT, started=None, finished=None):
    """Writes the report of one `run_steps` call and returns its path.

    context      -- the context run_steps returned (its "step_results", one per
                    step; without them the steps come from "error_records" and
                    the timing CSV, with the outcome "unknown")
    file_path, Base_path, web_app_name, SERVICE_NAME
                 -- the same values that were passed to run_steps
    output       -- where the page goes (default report.html)
    started, finished
                 -- the run's time window (seconds since the epoch, or a
                    datetime); rows and screenshots outside it belong to other
                    runs and are left out.  `finished` defaults to now and
                    `started` to `finished` less the steps' own seconds, which
                    fits a call made right after run_steps returned.
    """
    finished = time.time() if finished is None else _epoch(finished)
    results = list(context.get("step_results") or [])
    if started is None and results:
        started = finished - sum(float(r.get("seconds") or 0) for r in results) - SLACK
    window = (_epoch(started), finished)
    if not results:
        results = _results_without_outcomes(context, file_path, window, SERVICE_NAME)
    folder = Path(output).resolve().parent
    steps = collect(results, file_path, Base_path, web_app_name, window, folder)
    run = {"service": SERVICE_NAME, "web_app": web_app_name,
           "started": _stamp(window[0]), "finished": _stamp(finished)}
    return _write(output, render(run, steps, folder))


def _stamp(epoch):
    return None if epoch is None else _dt.datetime.fromtimestamp(epoch).strftime(STAMP)


def _results_without_outcomes(context, file_path, window, service):
    """Step results made from a context that has none: the steps whose rows
    are in the CSV, then the failed ones from the error records."""
    results = [{"step": name, "outcome": UNKNOWN} for name, _ in timing_blocks(file_path, window)]
    prefix = service + " - " if service else ""
    for record in context.get("error_records") or []:
        name = str(record.get("ServiceName", ""))
        name = name[len(prefix):] if prefix and name.startswith(prefix) else name
        results.append({"step": name, "outcome": "error", "error": record.get("Error"),
                        "url": record.get("URL")})
    return results


def read_run(folder):
    """The run.json of a job folder, or None when there is none."""
    path = Path(folder) / RUN
    if not path.is_file():
        return None
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def write_job_report(folder, run=None):
    """Writes FOLDER/report.html for the job folder that `kestrelflow run`
    wrote (its run.json) and returns its path."""
    folder = Path(folder)
    run = read_run(folder) if run is None else run
    if run is None:
        raise FileNotFoundError("no %s in %s" % (RUN, folder))
    paths = run.get("paths", {})
    window = (_epoch(run.get("started")), _epoch(run.get("finished")))
    steps = collect(run.get("step_results", []), folder / paths.get("csv", "timings.csv"),
                    folder / paths.get("screenshots", "screenshots"),
                    run.get("web_app_on_disk") or run.get("web_app", ""), window, folder)
    return _write(folder / REPORT, render(run, steps, folder))
