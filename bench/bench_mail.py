"""Mail benchmarks against plain-Python statements of the same rules.

    python bench/bench_mail.py [--runs N]

(a) extract_email_data on 1,000 generated bilingual notification mails.
(b) fetch_emails_to_dataframe over an offline inbox of 500 messages (the
    Gmail client answered from memory, built outside the timing).

Both sides must give identical results (records; tables with the same
columns, index, types and cells; the same printed lines), which go to a
buffer.  The goal: the ratio native / plain at most 1.0.
"""
import argparse
import contextlib
import io
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))

import time  # noqa: E402

from mail_corpus import listing, mails, message  # noqa: E402
from offline_gmail import offline_service, ok  # noqa: E402
from kestrelflow.local_browser import local_display  # noqa: E402
from plain_rules import py_extract_email_data, py_fetch_emails_to_dataframe  # noqa: E402



def timed(fn):
    """(seconds, result, printed text)."""
    buffer = io.StringIO()
    with contextlib.redirect_stdout(buffer):
        start = time.perf_counter()
        result = fn()
        elapsed = time.perf_counter() - start
    return elapsed, result, buffer.getvalue()


def best_of(runs, make):
    """Best time of `runs` runs, alternating sides; make() gives (native, plain)."""
    best = [float("inf"), float("inf")]
    outcomes = [None, None]
    for _ in range(runs):
        for side, fn in enumerate(make()):
            seconds, result, printed = timed(fn)
            best[side] = min(best[side], seconds)
            outcomes[side] = (result, printed)
    return best, outcomes


def inbox_responses(count):
    bodies = mails(count, seed=500)
    ids = [f"m{i:04d}" for i in range(count)]
    responses = [ok(listing(ids))]
    for i, body in enumerate(bodies):
        subject = f"Application {i} status is " + ["Approved", "Pending Action", "Rejected"][i % 3]
        responses.append(ok(message(ids[i], body, subject=subject,
                                    internal_date=str(1700000000000 + 37_000 * i))))
    return responses


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    with local_display():
        import pandas as pd
        import kestrelflow.generic_utility as gu

        rows = []

        corpus = mails(1000, seed=77)
        (native, plain), (n_out, p_out) = best_of(args.runs, lambda: (
            lambda: [gu.extract_email_data(m) for m in corpus],
            lambda: [py_extract_email_data(m) for m in corpus]))
        assert n_out == p_out, "extract_email_data: records or printed lines differ"
        size = sum(len(m) for m in corpus)
        rows.append(("extract_email_data", f"1,000 mails, {size:,} chars", plain, native))

        responses = inbox_responses(500)

        def services():
            native_service, _ = offline_service(responses)
            plain_service, _ = offline_service(responses)
            return (lambda: gu.fetch_emails_to_dataframe(native_service, 500),
                    lambda: py_fetch_emails_to_dataframe(plain_service, 500))

        (native, plain), (n_out, p_out) = best_of(args.runs, services)
        pd.testing.assert_frame_equal(n_out[0], p_out[0], check_exact=True)
        assert n_out[1] == p_out[1], "fetch_emails_to_dataframe: printed lines differ"
        rows.append(("fetch_emails_to_dataframe", "500 offline messages", plain, native))

        print(f"best of {args.runs} runs; printed lines to a buffer on both sides")
        print(f"{'routine':<27} {'input':<30} {'plain Python':>13} {'native':>11} {'ratio':>6}")
        print("-" * 91)
        for name, data, plain, native in rows:
            print(f"{name:<27} {data:<30} {plain * 1e3:>10.2f} ms {native * 1e3:>8.2f} ms "
                  f"{native / plain:>6.2f}")
        print("results identical (records, tables with types and index, printed lines); "
              "goal: ratio native / plain at most 1.00")


if __name__ == "__main__":
    main()
