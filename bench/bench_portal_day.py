"""Length of the demo's portal day on the embedded fake portal.

The whole day (six steps, the routines' own pauses included) should take no
more than about two minutes.  It is measured against that goal, not against
a plain script (there is none that does the same day), so it has no second
baseline; one day takes about a minute, so it runs once, with the load seen.

    python bench/bench_portal_day.py
"""
import contextlib
import io
import os
import sys
import tempfile

from kestrelflow.local_browser import local_display

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import load, load_note  # noqa: E402

GOAL_SECONDS = 120


def main():
    # The module's screen and pointer collaborators need a display at import.
    with local_display():
        import kestrelflow.generic_utility as gu
        from kestrelflow.demo.portal_day import run_portal_day

        loads = [load()]
        with tempfile.TemporaryDirectory() as output:
            with contextlib.redirect_stdout(io.StringIO()):
                results = run_portal_day(gu, output)
        loads.append(load())
    total = sum(r["seconds"] for r in results)
    print(f"{'step':<28}{'result':>8}{'seconds':>10}")
    for r in results:
        print(f"{r['step']:<28}{'ok' if r['ok'] else 'failed':>8}{r['seconds']:>10.1f}")
    print(f"{'whole day':<28}{'':>8}{total:>10.1f}   (goal: at most {GOAL_SECONDS})  {load_note(loads)}")
    return 0 if total <= GOAL_SECONDS and all(r["ok"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
