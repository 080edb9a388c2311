"""find_matching_row against the plain iterrows statement and the vectorised mask.

    python bench/bench_table_rows.py [--rows 100000 1000000] [--repeats 5]
                                     [--iterrows-up-to 100000] [--small 10 100 1000]
                                     [--first-rows 200000 2000000] [--layouts ...]

Nine layouts (numeric, text with missing cells, mixed with missing values, the
mixed frame after convert_dtypes(), datetimes, datetimes with text, datetimes
in two zones, categories, ints searched with float criteria).  Three cases:

  last   the only qualifying row is the last, at every --rows size: the whole
         frame is read.  Native against the vectorised pandas mask (score +=
         (df[k] == v) over the criteria columns, then the first row at or over
         the threshold; goal: median ratio at most 1.0) and against the plain
         iterrows statement (only up to --iterrows-up-to rows: at 1,000,000
         rows one iterrows run takes tens of seconds).
  small  the same at the --small sizes, native against the iterrows statement
         (goal: never slower, from 10 rows up).
  first  row 0 qualifies, on frames of the two --first-rows sizes (the second
         ten times the first): native on the long frame against native on the
         short one (goal: median ratio at most 1.5; the work must not grow with
         the frame) and the long frame's time (goal: under 5 ms at 2,000,000
         rows).

All sides run on their own copy of the frame (the copy is not timed), take
turns within each repeat, and are reported as min-median-max over the
repeats; ratios are per repeat.  The answers of native and of the iterrows
statement must be identical (type and value, and the column labels left on the
frame); the mask's answers must be equal.  Peak memory is traced
(tracemalloc, numpy's buffers included) for one run of each side.
"""
import argparse
import os
import statistics
import sys
import tracemalloc

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
sys.path.insert(0, HERE)
from kestrelflow.local_browser import local_display  # noqa: E402
from plain_rules import py_find_matching_row  # noqa: E402
from timing import interleaved, load_note, ratios, spread  # noqa: E402


# ---- the baselines ---------------------------------------------------------------------------------

def mask_find(df, criteria, match_threshold=0.5):
    """The vectorised pandas statement."""
    df.columns = df.columns.str.lower().str.strip()
    criteria = {key.lower().strip(): value for key, value in criteria.items()}
    score = np.zeros(len(df))
    for key, value in criteria.items():
        if key in df.columns:
            score += (df[key] == value).to_numpy(dtype=bool, na_value=False)
    hits = np.flatnonzero(score / len(criteria) >= match_threshold)
    return df.index[hits[0]] if len(hits) else -1


# ---- frames: (frame, criteria with the last row qualifying, threshold, criteria with row 0) -------

def first_row_criteria(frame, keys):
    """Criteria naming row 0's own values (as Python scalars)."""
    return {key: frame[key].tolist()[0] for key in keys}


def numeric_frame(rows, rng):
    frame = pd.DataFrame({
        "Zone": rng.integers(1, 40, rows),
        "Area": rng.integers(100, 900, rows) * 1.0,
        "Floors": rng.integers(1, 12, rows),
    })
    frame.iloc[-1] = [99, 12.5, 30]
    return frame, {"zone": 99, "area": 12.5, "floors": 30}, 1.0, first_row_criteria(frame, ["Zone", "Area"])


def text_frame(rows, rng):
    frame = pd.DataFrame({
        "Plot Number": [f"{i % 4000}-{i % 13}" for i in range(rows)],
        "District": rng.choice(["North", "South", "East", "West"], rows),
        "Land Use": [None if i % 11 == 0 else "Residential" for i in range(rows)],
        "Owner": [f"owner {i % 997}" for i in range(rows)],
    }, index=pd.Index([f"APP-{202400000000 + i}" for i in range(rows)], name="application"))
    frame.iloc[-1, frame.columns.get_loc("District")] = "Central"
    frame.iloc[-1, frame.columns.get_loc("Land Use")] = "Commercial"
    return (frame, {"district": "Central", "LAND USE": "Commercial", "owner": "nobody"}, 0.5,
            first_row_criteria(frame, ["District", "Owner"]))


def mixed_frame(rows, rng):
    frame = pd.DataFrame({
        "Application Number": np.arange(rows, dtype=np.int64) + 202400000000,
        " Status ": rng.choice(["Open", "Closed", "Pending"], rows),
        "Fee": np.where(np.arange(rows) % 5 == 0, np.nan, rng.integers(0, 5000, rows) / 4),
        "Paid": rng.random(rows) < 0.5,
        "Owner": [None if i % 7 == 0 else f"owner {i % 997}" for i in range(rows)],
        "Submitted": pd.date_range("2024-01-01", periods=rows, freq="min"),
    })
    last = frame.index[-1]
    frame.loc[last, " Status "] = "Archived"
    frame.loc[last, "Owner"] = "the last owner"
    return (frame, {"STATUS": "Archived", "owner ": "the last owner", "Fee": -1.0}, 0.6,
            {"status": frame[" Status "].iloc[0], "Fee": 12345.0})


def converted_frame(rows, rng):
    # A masked cell (pd.NA) of a criteria column makes the iterrows statement
    # raise (the truth of NA == value is ambiguous): the criteria name columns
    # without missing cells, and missing cells sit in the others.
    frame, _, _, _ = mixed_frame(rows, rng)
    frame = frame.convert_dtypes()
    last = int(frame["Application Number"].iloc[-1])
    return (frame, {"STATUS": "Archived", "application number": last, "paid": None}, 0.6,
            {"status": frame[" Status "].iloc[0], "Paid": bool(frame["Paid"].iloc[0])})


def dates_frame(rows, rng):
    start = pd.Timestamp("2020-01-01")
    frame = pd.DataFrame({
        "Submitted": pd.date_range(start, periods=rows, freq="min"),
        "Approved": pd.date_range(start, periods=rows, freq="h"),
        "Paid": pd.date_range(start, periods=rows, freq="s"),
    })
    frame.iloc[-1] = [pd.Timestamp("2030-01-01"), pd.Timestamp("2031-01-01"), pd.NaT]
    return (frame, {"submitted": pd.Timestamp("2030-01-01"), "approved": pd.Timestamp("2031-01-01")}, 1.0,
            first_row_criteria(frame, ["Submitted", "Approved"]))


def zoned_frame(rows, rng):
    start = pd.Timestamp("2020-01-01", tz="UTC")
    frame = pd.DataFrame({
        "Submitted": pd.date_range(start, periods=rows, freq="min"),
        "Approved": pd.date_range(start, periods=rows, freq="h").tz_convert("Asia/Dubai"),
        "Clerk": [None if i % 9 == 0 else f"clerk {i % 31}" for i in range(rows)],
    })
    frame.iloc[-1, 0] = pd.Timestamp("2030-01-01", tz="UTC")
    frame.iloc[-1, 1] = pd.Timestamp("2031-01-01 04:00", tz="Asia/Dubai")
    # the same instants, given in the other zone
    return (frame, {"submitted": pd.Timestamp("2030-01-01 04:00", tz="Asia/Dubai"),
                    "approved": pd.Timestamp("2031-01-01", tz="UTC")}, 1.0,
            first_row_criteria(frame, ["Submitted", "Approved"]))


def categories_frame(rows, rng):
    districts = ["North", "South", "East", "West", "Central"]
    frame = pd.DataFrame({
        "District": pd.Categorical(rng.choice(districts[:4], rows), categories=districts),
        "Zone": pd.Categorical(rng.integers(1, 40, rows), categories=list(range(1, 40)) + [99]),
        "Fee": rng.integers(0, 5000, rows),
    })
    frame.iloc[-1, 0] = "Central"
    frame.iloc[-1, 1] = 99
    return (frame, {"district": "Central", "zone": 99, "fee": "not a category"}, 0.6,
            first_row_criteria(frame, ["District", "Zone"]))


def ints_frame(rows, rng):
    frame = pd.DataFrame({"Zone": rng.integers(1, 40, rows), "Floors": rng.integers(1, 12, rows)})
    frame.iloc[-1] = [99, 30]
    return (frame, {"zone": 99.0, "floors": 30.0}, 1.0,
            {key: float(value) for key, value in first_row_criteria(frame, ["Zone", "Floors"]).items()})


def dates_text_frame(rows, rng):
    frame, criteria, threshold, first = dates_frame(rows, rng)
    frame["Clerk"] = [None if i % 9 == 0 else f"clerk {i % 31}" for i in range(rows)]
    frame.iloc[-1, frame.columns.get_loc("Clerk")] = "the last clerk"
    criteria = dict(criteria, clerk="the last clerk")
    return frame, criteria, threshold, first


LAYOUTS = [("numeric", numeric_frame), ("text", text_frame), ("mixed", mixed_frame),
           ("convert_dtypes", converted_frame), ("datetimes", dates_frame),
           ("datetimes+text", dates_text_frame), ("zoned", zoned_frame), ("categories", categories_frame),
           ("ints+float", ints_frame)]


# ---- measuring -------------------------------------------------------------------------------------

def answer(fn, frame, criteria, threshold):
    df = frame.copy()
    result = fn(df, dict(criteria), threshold)
    return result, list(df.columns)


def peak(fn, frame, criteria, threshold):
    df = frame.copy()
    tracemalloc.start()
    fn(df, dict(criteria), threshold)
    top = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    return top


def timed(sides, frame, criteria, threshold, repeats):
    return interleaved(sides, repeats, prepare=lambda name: (frame.copy(), dict(criteria), threshold))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, nargs="+", default=[100_000, 1_000_000])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--iterrows-up-to", type=int, default=100_000)
    parser.add_argument("--small", type=int, nargs="*", default=[10, 100, 1_000])
    parser.add_argument("--first-rows", type=int, nargs=2, default=[200_000, 2_000_000])
    parser.add_argument("--layouts", nargs="+", default=[name for name, _ in LAYOUTS])
    args = parser.parse_args()
    layouts = [(name, make) for name, make in LAYOUTS if name in args.layouts]

    with local_display():
        import kestrelflow.generic_utility as gu

        print(f"times in ms, min{chr(0x2013)}median{chr(0x2013)}max of {args.repeats} interleaved repeats; "
              "ratios per repeat")
        misses = []
        for rows in args.rows:
            for name, make in layouts:
                frame, criteria, threshold, _ = make(rows, np.random.default_rng(7))

                # Answers first: native against the iterrows statement where it runs.
                native = answer(gu.find_matching_row, frame, criteria, threshold)
                with_iterrows = rows <= args.iterrows_up_to
                if with_iterrows:
                    plain = answer(py_find_matching_row, frame, criteria, threshold)
                    assert (type(native[0]), native) == (type(plain[0]), plain), (name, native, plain)
                masked = answer(mask_find, frame, criteria, threshold)
                assert masked[0] == native[0] == frame.index[-1], (name, masked, native)

                sides = {"native": gu.find_matching_row, "mask": mask_find}
                if with_iterrows:
                    sides["iterrows"] = py_find_matching_row
                times, loads = timed(sides, frame, criteria, threshold, args.repeats)
                to_mask = ratios(times["native"], times["mask"])
                line = (f"{rows:>9,} {name:<15} last   native {spread(times['native'], 1e3)}  "
                        f"mask {spread(times['mask'], 1e3)}  native/mask {spread(to_mask)}")
                if with_iterrows:
                    line += (f"  iterrows {spread(times['iterrows'], 1e3, 0)}  "
                             f"iterrows/native {spread(ratios(times['iterrows'], times['native']), 1, 0)}")
                peaks = {side: peak(fn, frame, criteria, threshold) for side, fn in sides.items()}
                line += "  peak MiB " + " ".join(f"{side} {top / 2**20:.2f}" for side, top in peaks.items())
                print(line + "  " + load_note(loads), flush=True)
                if statistics.median(to_mask) > 1:
                    misses.append(f"{rows:,} {name}: native/mask median {statistics.median(to_mask):.2f}")

        for rows in args.small:
            for name, make in layouts:
                frame, criteria, threshold, _ = make(rows, np.random.default_rng(7))
                native = answer(gu.find_matching_row, frame, criteria, threshold)
                plain = answer(py_find_matching_row, frame, criteria, threshold)
                assert (type(native[0]), native) == (type(plain[0]), plain), (name, native, plain)
                times, loads = timed({"native": gu.find_matching_row, "iterrows": py_find_matching_row},
                                     frame, criteria, threshold, args.repeats)
                to_plain = ratios(times["native"], times["iterrows"])
                print(f"{rows:>9,} {name:<15} small  native {spread(times['native'], 1e3, 3)}  "
                      f"iterrows {spread(times['iterrows'], 1e3, 3)}  native/iterrows {spread(to_plain)}  "
                      f"{load_note(loads)}", flush=True)
                if max(to_plain) > 1:
                    misses.append(f"{rows:,} {name}: native/iterrows up to {max(to_plain):.2f}")

        short, long = args.first_rows
        for name, make in layouts:
            # Row 0 qualifies: the work must not grow with the frame.
            frames = {}
            for rows in (short, long):
                frame, _, _, first = make(rows, np.random.default_rng(7))
                native = answer(gu.find_matching_row, frame, first, 0.5)
                plain = answer(py_find_matching_row, frame.iloc[:50], first, 0.5)
                assert native == plain and native[0] == frame.index[0], (name, native, plain)
                frames[rows] = (frame, first)
            sides = {rows: gu.find_matching_row for rows in frames}
            times, loads = interleaved(sides, args.repeats, prepare=lambda rows: (
                frames[rows][0].copy(), dict(frames[rows][1]), 0.5))
            growth = ratios(times[long], times[short])
            print(f"{long:>9,} {name:<15} first  native {spread(times[long], 1e3, 3)}  "
                  f"at {short:,} rows {spread(times[short], 1e3, 3)}  long/short {spread(growth)}  "
                  f"{load_note(loads)}", flush=True)
            if statistics.median(growth) > 1.5:
                misses.append(f"{name}: row 0 long/short median {statistics.median(growth):.2f}")
            if statistics.median(times[long]) > 0.005:
                misses.append(f"{name}: row 0 at {long:,} rows median {statistics.median(times[long]) * 1e3:.2f} ms")
            del frames
        print("answers identical to the iterrows statement where it ran, equal to the mask's")
        print("goals missed (medians; small: any repeat): " + ("; ".join(misses) if misses else "none"))


if __name__ == "__main__":
    main()
