"""WebDriver commands per step of a step run, by action.

    python bench/bench_step_commands.py

Runs the 20-step job of bench_cli.py (delays and sleep_time 0) on the demo
portal with run_steps and counts the commands the driver sends while each
step runs, by action.  The navigation check of a get_url step is one script
call; it is counted apart, so the figures "without" are the same run minus
that call (what the runner sent before it checked navigations).  A step's
reason costs no command: it is made of what the routines already met.

Goal: at most one command more per step.
"""
import statistics
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

from bench_cli import cpu_steps  # noqa: E402  (the same job)
from kestrelflow.demo import PORTAL  # noqa: E402
from kestrelflow.demo.server import PageServer  # noqa: E402
from kestrelflow.local_browser import local_display, open_chrome  # noqa: E402

NAVIGATION_CHECK = "performance.getEntriesByType('navigation')"


def main():
    with local_display(), PageServer(PORTAL) as portal, tempfile.TemporaryDirectory() as work:
        import kestrelflow.generic_utility as gu  # its import needs the display
        steps = [[s["name"], s["action"], s.get("xpaths", []), s.get("texts", []), 0, s.get("values", [])]
                 for s in cpu_steps(portal.base_url)]
        driver = open_chrome(headless=True)
        counts, checks = [], []
        real_execute = driver.execute

        def counting(command, params=None):
            counts[-1] += 1
            if NAVIGATION_CHECK in str((params or {}).get("script", "")):
                checks[-1] += 1
            return real_execute(command, params)

        def feed():
            for step in steps:
                counts.append(0)
                checks.append(0)
                yield step

        driver.execute = counting
        try:
            context, _ = gu.run_steps(driver, feed(), "Bench", work + "/t.csv", work + "/shots",
                                      "Bench", work + "/shots", sleep_time=0)
        finally:
            driver.execute = real_execute
            driver.quit()
    outcomes = [r["outcome"] for r in context["step_results"]]
    print("%d steps, outcomes: %s" % (len(steps), {o: outcomes.count(o) for o in set(outcomes)}))
    print("%-12s %6s %10s %10s %6s" % ("action", "steps", "without", "with", "more"))
    for action in ("get_url", "input", "click", "Scrap_data"):
        picked = [i for i, step in enumerate(steps) if step[1] == action]
        with_check = statistics.mean(counts[i] for i in picked)
        without = statistics.mean(counts[i] - checks[i] for i in picked)
        print("%-12s %6d %10.2f %10.2f %6.2f" % (action, len(picked), without, with_check,
                                                with_check - without))
    total, extra = sum(counts), sum(checks)
    print("all          %6d %10.2f %10.2f %6.2f" % (len(steps), (total - extra) / len(steps),
                                                   total / len(steps), extra / len(steps)))


if __name__ == "__main__":
    main()
