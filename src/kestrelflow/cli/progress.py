"""What the runner shows while jobs run: a live display on a terminal (rich),
one plain line per event otherwise (a CI log, a pipe)."""
import sys


def _seconds(value):
    return "%.1f s" % value if isinstance(value, (int, float)) else "-"


class PlainProgress:
    def __init__(self, stream=None):
        self.stream = stream or sys.stdout
        self.totals = {}

    def line(self, text):
        print(text, file=self.stream, flush=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        pass

    def started(self, job, total):
        self.totals[job] = total
        self.line("%s: started, %d steps" % (job, total))

    def step(self, job, event):
        self.line("%s: step %d/%d %s: %s (%s)" % (job, event["index"] + 1, self.totals.get(job, 0),
                                                  event["step"], event["outcome"], _seconds(event["seconds"])))

    def ended(self, job, summary):
        self.line("%s: %s" % (job, summary))


class LiveProgress(PlainProgress):
    """Per job: a bar of the steps ended out of all, the failures so far,
    the time taken."""

    def __init__(self, stream=None):
        super().__init__(stream)
        from rich.console import Console
        from rich.progress import (BarColumn, MofNCompleteColumn, Progress, TextColumn,
                                   TimeElapsedColumn)
        self.console = Console(file=self.stream)
        self.progress = Progress(TextColumn("{task.description}"), BarColumn(), MofNCompleteColumn(),
                                 TextColumn("{task.fields[failures]} failed"), TimeElapsedColumn(),
                                 console=self.console, transient=False)
        self.tasks, self.failures = {}, {}

    def line(self, text):
        self.console.print(text, markup=False, highlight=False)

    def __enter__(self):
        self.progress.start()
        return self

    def __exit__(self, *exc_info):
        self.progress.stop()

    def started(self, job, total):
        self.failures[job] = 0
        self.tasks[job] = self.progress.add_task(job, total=total, failures=0)

    def step(self, job, event):
        if event["outcome"] != "done":
            self.failures[job] += 1
        self.progress.update(self.tasks[job], advance=1, failures=self.failures[job])

    def ended(self, job, summary):
        task = self.tasks[job]
        self.progress.update(task, description="%s: %s" % (job, summary.split(" (", 1)[0]))
        self.progress.stop_task(task)


def progress_for(stream=None):
    stream = stream or sys.stdout
    if stream.isatty():
        return LiveProgress(stream)
    return PlainProgress(stream)
