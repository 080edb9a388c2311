"""Call cost of the module's functions against plain Python functions.

Binding positional and keyword arguments and filling defaults must cost no
more than a plain Python function with the same parameters doing the same work.

    python bench/bench_call.py
"""
import timeit

from kestrelflow.local_browser import local_display


class Driver:
    def execute_script(self, script):
        return None


def set_zoom(driver, zoom_level=70):
    driver.execute_script("document.body.style.zoom='" + format(zoom_level, "") + "%'")


def main():
    # The module's screen and pointer collaborators need a display at import.
    with local_display():
        import kestrelflow.generic_utility as gu
        measure(gu)


def measure(gu):
    driver = Driver()
    cases = [
        ("positional", "f(d, 70)"),
        ("default filled", "f(d)"),
        ("keywords", "f(driver=d, zoom_level=70)"),
    ]
    n = 300_000
    print(f"{'call':<16}{'module (ns)':>14}{'python (ns)':>14}{'ratio':>8}")
    for label, stmt in cases:
        ours = min(timeit.repeat(stmt, globals={"f": gu.set_zoom, "d": driver}, number=n, repeat=5))
        plain = min(timeit.repeat(stmt, globals={"f": set_zoom, "d": driver}, number=n, repeat=5))
        print(f"{label:<16}{ours / n * 1e9:>14.0f}{plain / n * 1e9:>14.0f}{ours / plain:>8.2f}")


if __name__ == "__main__":
    main()
