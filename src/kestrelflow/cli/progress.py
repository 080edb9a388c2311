"""What the runner shows while jobs run: a live display on a terminal (rich),
one plain line per event otherwise (a CI log, a pipe)."""
import sys


def _seconds(value):
    return "%.1f s" % value if isinstance(value, (int, float)) else "-"


class PlainProgress:
    def __init__(self, stream=None, masker=None):
        self.stream = stream or sys.stdout
        self.masker = masker
        self.totals = {}

    def mask(self, text):
        return self.masker.text(text) if self.masker else text

    def line(self, text):
        print(self.mask(text), file=self.stream, flush=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        pass

    def started(self, job, total):
        self.totals[job] = total
        self.line("%s: started, %d steps" % (job, total))

    def step_line(self, job, event):
        """"job: step 3/8 Name: not done (1.2 s): why" (no reason when done)."""
        line = "%s: step %d/%d %s: %s (%s)" % (job, event["index"] + 1, self.totals.get(job, 0),
                                               event["step"], event["outcome"], _seconds(event["seconds"]))
        if event["outcome"] != "done" and event.get("reason"):
            line += ": %s" % event["reason"]
        return line

    def running(self, job, event):
        pass

    def step(self, job, event):
        self.line(self.step_line(job, event))

    def ended(self, job, summary):
        self.line("%s: %s" % (job, summary))


def _now_column():
    """The rich column of the step under way, with its time so far (it
    moves during a long wait)."""
    import time

    from rich.progress import ProgressColumn
    from rich.text import Text

    class StepUnderWay(ProgressColumn):
        max_refresh = 0.5

        def render(self, task):
            step, since = task.fields.get("now"), task.fields.get("since")
            if not step:
                return Text("")
            return Text("%s %.0f s" % (step, time.monotonic() - since), overflow="ellipsis", no_wrap=True)

    return StepUnderWay()


class LiveProgress(PlainProgress):
    """Per job: a bar of the steps ended out of all, the failures so far, the
    time taken and the step under way with its time so far; each failed step
    is told on a line of its own above, with its reason, and each job's
    summary ends with its report's path."""

    def __init__(self, stream=None, masker=None):
        super().__init__(stream, masker)
        from rich.console import Console
        from rich.progress import (BarColumn, MofNCompleteColumn, Progress, TextColumn,
                                   TimeElapsedColumn)
        self.console = Console(file=self.stream)
        self.progress = Progress(TextColumn("{task.description}"), BarColumn(), MofNCompleteColumn(),
                                 TextColumn("{task.fields[failures]} failed"), TimeElapsedColumn(),
                                 _now_column(), console=self.console, transient=False)
        self.tasks, self.failures = {}, {}

    def line(self, text):
        self.console.print(self.mask(text), markup=False, highlight=False)

    def __enter__(self):
        self.progress.start()
        return self

    def __exit__(self, *exc_info):
        self.progress.stop()

    def started(self, job, total):
        self.totals[job] = total
        self.failures[job] = 0
        self.tasks[job] = self.progress.add_task(self.mask(job), total=total, failures=0, now="", since=0.0)

    def running(self, job, event):
        import time
        self.progress.update(self.tasks[job], now=self.mask("now: %s" % event["step"]), since=time.monotonic())

    def step(self, job, event):
        if event["outcome"] != "done":
            self.failures[job] += 1
            self.line(self.step_line(job, event))
        self.progress.update(self.tasks[job], advance=1, failures=self.failures[job], now="")

    def ended(self, job, summary):
        task = self.tasks[job]
        self.progress.update(task, description=self.mask("%s: %s" % (job, summary)), now="")
        self.progress.stop_task(task)


def progress_for(stream=None, masker=None):
    """The live display on a terminal, plain lines otherwise; every line with
    the values from the environment masked."""
    stream = stream or sys.stdout
    if stream.isatty():
        return LiveProgress(stream, masker)
    return PlainProgress(stream, masker)
