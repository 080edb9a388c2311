"""Length of the demo's portal day on the embedded fake portal.

The whole day (six steps, the routines' own pauses included) should take no
more than about two minutes.

    python bench/bench_portal_day.py
"""
import contextlib
import io
import sys
import tempfile

from kestrelflow.local_browser import local_display

GOAL_SECONDS = 120


def main():
    # The module's screen and pointer collaborators need a display at import.
    with local_display():
        import kestrelflow.generic_utility as gu
        from kestrelflow.demo.portal_day import run_portal_day

        with tempfile.TemporaryDirectory() as output:
            with contextlib.redirect_stdout(io.StringIO()):
                results = run_portal_day(gu, output)
    total = sum(r["seconds"] for r in results)
    print(f"{'step':<28}{'result':>8}{'seconds':>10}")
    for r in results:
        print(f"{r['step']:<28}{'ok' if r['ok'] else 'failed':>8}{r['seconds']:>10.1f}")
    print(f"{'whole day':<28}{'':>8}{total:>10.1f}   (goal: at most {GOAL_SECONDS})")
    return 0 if total <= GOAL_SECONDS and all(r["ok"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
