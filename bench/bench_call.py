"""Call cost of the module's functions against plain Python functions.

Binding positional and keyword arguments and filling defaults must cost no
more than a plain Python function with the same parameters doing the same work
(the routine's own statement, written as a function).  The second baseline is
the best a script can do: the work written inline, with no call at all.  The
statements take turns within every repeat; ns per call, min-median-max.

    python bench/bench_call.py [--repeats R]
"""
import argparse
import os
import statistics
import sys

from kestrelflow.local_browser import local_display

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import interleaved_statements, load_note, ratios, spread  # noqa: E402


class Driver:
    def execute_script(self, script):
        return None


def set_zoom(driver, zoom_level=70):
    driver.execute_script("document.body.style.zoom='" + format(zoom_level, "") + "%'")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()
    # The module's screen and pointer collaborators need a display at import.
    with local_display():
        import kestrelflow.generic_utility as gu
        measure(gu, args.repeats)


def measure(gu, repeats=7):
    driver = Driver()
    inline = "d.execute_script(\"document.body.style.zoom='\" + format(70, '') + \"%'\")"
    cases = [
        ("positional", "f(d, 70)"),
        ("default filled", "f(d)"),
        ("keywords", "f(driver=d, zoom_level=70)"),
    ]
    n = 300_000
    print(f"ns per call, min{chr(0x2013)}median{chr(0x2013)}max of {repeats} interleaved repeats of {n:,}; "
          "ratio = module / baseline per repeat (goal: module / python median <= 1.00)")
    for label, stmt in cases:
        times, loads = interleaved_statements({
            "module": (stmt, {"f": gu.set_zoom, "d": driver}),
            "python": (stmt, {"f": set_zoom, "d": driver}),
            "inline": (inline, {"d": driver}),
        }, n, repeats)
        to_python = ratios(times["module"], times["python"])
        print(f"{label:<16} module {spread(times['module'], 1e9, 0)}  python {spread(times['python'], 1e9, 0)}"
              f"  inline {spread(times['inline'], 1e9, 0)}  module/python {spread(to_python)}"
              f"  module/inline {spread(ratios(times['module'], times['inline']))}"
              f"{'' if statistics.median(to_python) <= 1 else '  (goal missed)'}  {load_note(loads)}")

if __name__ == "__main__":
    main()
