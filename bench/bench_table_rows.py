"""find_matching_row against the plain iterrows statement.

    python bench/bench_table_rows.py

Builds 100,000-row frames of mixed dtypes whose only qualifying row is the
last, runs the module's find_matching_row and the plain statement on copies of
each, checks that both give the same answer and leave the same column labels,
and prints the times, the speed-up and the peak memory of each side (traced
allocations, numpy's included).  The goal is at least 50x on every frame.
"""
import os
import sys
import time
import tracemalloc

import numpy as np
import pandas as pd

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from kestrelflow.local_browser import local_display  # noqa: E402
from plain_rules import py_find_matching_row  # noqa: E402

ROWS = 100_000
GOAL = 50



# ---- frames ---------------------------------------------------------------------------------------

def mixed_frame(rng):
    """Application records: int, str, float, bool, object with None, datetime."""
    frame = pd.DataFrame({
        "Application Number": np.arange(ROWS, dtype=np.int64) + 202400000000,
        " Status ": rng.choice(["Open", "Closed", "Pending"], ROWS),
        "Fee": rng.integers(0, 5000, ROWS) / 4,
        "Paid": rng.random(ROWS) < 0.5,
        "Owner": [None if i % 7 == 0 else f"owner {i % 997}" for i in range(ROWS)],
        "Submitted": pd.date_range("2024-01-01", periods=ROWS, freq="min"),
    })
    last = frame.index[-1]
    frame.loc[last, " Status "] = "Archived"
    frame.loc[last, "Owner"] = "the last owner"
    return frame, {"STATUS": "Archived", "owner ": "the last owner", "Fee": -1.0}, 0.6


def text_frame(rng):
    """A results table read from the portal: every column text, some cells empty,
    indexed by application number."""
    numbers = [f"APP-{202400000000 + i}" for i in range(ROWS)]
    frame = pd.DataFrame({
        "Plot Number": [f"{i % 4000}-{i % 13}" for i in range(ROWS)],
        "District": rng.choice(["North", "South", "East", "West"], ROWS),
        "Land Use": [None if i % 11 == 0 else "Residential" for i in range(ROWS)],
        "Owner": [f"owner {i % 997}" for i in range(ROWS)],
    }, index=pd.Index(numbers, name="application"))
    frame.iloc[-1, frame.columns.get_loc("District")] = "Central"
    frame.iloc[-1, frame.columns.get_loc("Land Use")] = "Commercial"
    return frame, {"district": "Central", "LAND USE": "Commercial", "owner": "nobody"}, 0.5


def numeric_frame(rng):
    """Measurements: ints and floats, laid out as floats in every row."""
    frame = pd.DataFrame({
        "Zone": rng.integers(1, 40, ROWS),
        "Area": rng.integers(100, 900, ROWS) * 1.0,
        "Floors": rng.integers(1, 12, ROWS),
    })
    frame.iloc[-1] = [99, 12.5, 30]
    return frame, {"zone": 99, "area": 12.5, "floors": 30}, 1.0


# ---- measuring ------------------------------------------------------------------------------------

def measure(fn, frame, criteria, threshold, repeats):
    best = float("inf")
    for _ in range(repeats):
        df = frame.copy()
        start = time.perf_counter()
        result = fn(df, criteria, threshold)
        best = min(best, time.perf_counter() - start)
    df = frame.copy()
    tracemalloc.start()
    fn(df, criteria, threshold)
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    return best, result, list(df.columns), peak


def main():
    with local_display():
        import kestrelflow.generic_utility as gu

        rng = np.random.default_rng(7)
        cases = [("mixed dtypes", mixed_frame(rng)), ("text table", text_frame(rng)),
                 ("numeric", numeric_frame(rng))]
        print(f"{ROWS:,} rows, the only qualifying row last")
        print(f"{'frame':<14}{'answer':>22}{'plain':>12}{'native':>12}{'speed-up':>10}"
              f"{'plain peak':>13}{'native peak':>13}")
        print("-" * 96)
        worst = float("inf")
        for name, (frame, criteria, threshold) in cases:
            native_time, native_result, native_columns, native_peak = measure(
                gu.find_matching_row, frame, criteria, threshold, 5)
            plain_time, plain_result, plain_columns, plain_peak = measure(
                py_find_matching_row, frame, criteria, threshold, 1)
            assert (type(native_result), native_result) == (type(plain_result), plain_result), \
                f"{name}: {native_result!r} != {plain_result!r}"
            assert native_columns == plain_columns, f"{name}: column labels differ"
            speedup = plain_time / native_time
            worst = min(worst, speedup)
            print(f"{name:<14}{native_result!r:>22}{plain_time * 1e3:>9.0f} ms{native_time * 1e3:>9.1f} ms"
                  f"{speedup:>9.0f}x{plain_peak / 2**20:>10.1f} MiB{native_peak / 2**20:>10.1f} MiB")
        print(f"answers and column labels identical; smallest speed-up {worst:.0f}x (goal {GOAL}x)")


if __name__ == "__main__":
    main()
