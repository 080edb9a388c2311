"""A run's evidence as one self-contained HTML page.

    python -m kestrelflow.report OUTPUT_FOLDER

reads what a step run left in OUTPUT_FOLDER (the layout the demo writes):

- screenshots/<web app> - <step>/*.png   one folder per step (export_network_logs)
- network_timings.csv                    the resource timings appended after every step
- error_records.json                     {"web_app_name", "service_name", "steps",
                                          "error_records"}: the run's step names in order
                                          and the records run_steps returned

and writes OUTPUT_FOLDER/report.html: per step its status, its screenshot
(embedded; a click enlarges it) and a waterfall of the resource timings taken
after it, drawn as inline SVG; failed steps first.  The page holds no script.

The timing rows of one step are all the page's resource entries at that
moment, so a page that is not reloaded shows earlier requests again; the
waterfall marks the requests that are new since the previous step.
"""
import base64
import csv
import json
from dataclasses import dataclass, field
from pathlib import Path

import jinja2

SCREENSHOTS = "screenshots"
TIMINGS = "network_timings.csv"
RECORDS = "error_records.json"
REPORT = "report.html"

# Width of the waterfall's drawing area, in SVG user units (pixels).
WATERFALL_WIDTH = 600
ROW_HEIGHT = 18


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
    failed: bool = False
    error: str = ""
    url: str = ""
    screenshot: str = ""        # a data: URI, or ""
    screenshot_file: str = ""
    resources: list = field(default_factory=list)
    span: float = 0.0           # the waterfall's time scale: the latest end, in ms
    stamp: str = ""

    @property
    def error_summary(self):
        """The error without the driver's native stack trace."""
        return self.error.split("\nStacktrace:", 1)[0].strip()

    @property
    def status(self):
        return "failed" if self.failed else "passed"


def _number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return 0.0


def read_timings(path):
    """{step name: its rows}, the last block of rows written for each step."""
    blocks = {}
    if not path.is_file():
        return blocks
    with open(path, newline="", encoding="utf-8") as f:
        previous = None
        for row in csv.DictReader(f):
            step = row.get("Step Type", "")
            if step != previous:
                blocks[step] = []  # a later block of the same step replaces an earlier one
                previous = step
            blocks[step].append(row)
    return blocks


def read_records(path):
    if not path.is_file():
        return {}
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def latest_screenshot(folder, web_app_name, step):
    """The newest PNG of the step's screenshot folder, or None."""
    shots = folder / SCREENSHOTS
    candidates = []
    if web_app_name:
        candidates.append(shots / ("%s - %s" % (web_app_name, step)))
    if shots.is_dir():
        candidates += sorted(d for d in shots.iterdir() if d.is_dir() and d.name.endswith(" - " + step))
    for directory in candidates:
        pngs = sorted(directory.glob("*.png")) if directory.is_dir() else []
        if pngs:
            return pngs[-1]
    return None


def data_uri(png):
    return "data:image/png;base64," + base64.b64encode(png.read_bytes()).decode("ascii")


def collect(folder):
    """The steps of the run in OUTPUT_FOLDER, failed ones first, and the run's facts."""
    folder = Path(folder)
    run = read_records(folder / RECORDS)
    timings = read_timings(folder / TIMINGS)
    web_app_name = run.get("web_app_name", "")
    prefix = run.get("service_name", "") + " - " if run.get("service_name") else ""

    names = list(run.get("steps") or [])
    for name in timings:
        if name not in names:
            names.append(name)
    failures = {}
    for record in run.get("error_records", []):
        service = str(record.get("ServiceName", ""))
        name = service[len(prefix):] if prefix and service.startswith(prefix) else service
        failures.setdefault(name, record)
        if name not in names:
            names.append(name)

    steps = []
    seen = set()
    for position, name in enumerate(names, 1):
        step = Step(name=name, position=position)
        record = failures.get(name)
        if record is not None:
            step.failed = True
            step.error = str(record.get("Error", ""))
            step.url = str(record.get("URL", ""))
        rows = timings.get(name, [])
        for row in rows:
            key = (row.get("name"), row.get("startTime"))
            step.resources.append(Resource(
                name=row.get("name", ""), kind=row.get("initiatorType", ""),
                start=_number(row.get("startTime")), duration=_number(row.get("duration")),
                size=row.get("transferSize", ""), status=row.get("responseStatus", ""),
                new=key not in seen))
        seen.update((row.get("name"), row.get("startTime")) for row in rows)
        if rows:
            step.stamp = rows[-1].get("time_date", "")
        step.span = max((r.start + r.duration for r in step.resources), default=0.0)
        png = latest_screenshot(folder, web_app_name, name)
        if png is not None:
            step.screenshot = data_uri(png)
            step.screenshot_file = str(png.relative_to(folder))
        steps.append(step)
    steps.sort(key=lambda s: not s.failed)  # stable: run order within each group
    return run, steps


def short_name(url):
    tail = url.rstrip("/").rsplit("/", 1)[-1]
    return tail or url


def render(folder):
    """The report page for the run in `folder`, as text."""
    run, steps = collect(folder)
    env = jinja2.Environment(
        loader=jinja2.PackageLoader("kestrelflow.report", "templates"),
        autoescape=jinja2.select_autoescape(["html", "j2"]),
        trim_blocks=True, lstrip_blocks=True)
    env.filters["short_name"] = short_name
    template = env.get_template("report.html.j2")
    return template.render(
        run=run, steps=steps, folder=Path(folder).resolve(),
        failed=sum(s.failed for s in steps), passed=sum(not s.failed for s in steps),
        width=WATERFALL_WIDTH, row_height=ROW_HEIGHT)


def write_report(folder):
    """Writes folder/report.html and returns its path."""
    path = Path(folder) / REPORT
    path.write_text(render(folder), encoding="utf-8")
    return path.resolve()
