"""Mail benchmarks against two plain-Python baselines each.

    python bench/bench_mail.py [--runs N] [--skip-hostile-baseline] [--sections abc]
                               [--clock wall|cpu]

(a) extract_email_data on 1,000 generated bilingual notification mails,
    against the routine's own statement (module-level `re` functions, one
    search per pattern) and against the same rules written the way a careful
    programmer would: patterns compiled once, fixed labels and the message
    openings looked up with `in` and `str.find` before any pattern runs.
    Goal: native at most 1/1.5 of the idiomatic baseline.
(b) extract_email_data on hostile mails: many Arabic greetings and no comma,
    13,750 / 27,500 / 55,000 characters, and 1,100,000 for the native side
    only.  Goal: linear time (doubling the body about doubles the time).
    The baseline is the routine's own statement, whose greeting pattern is
    quadratic there.
(c) fetch_emails_to_dataframe over an inbox of 500 messages, once through
    the Gmail client answered offline (built outside the timing) and once
    through an in-memory service without the client (so that the routine's
    own work is what is timed), against
    the routine's own statement (one cell at a time with `at`) and against
    records-then-one-DataFrame (every row's 13 values collected in a dict,
    one `pd.DataFrame` at the end; the messages fetched and parsed by the
    module's own routines, so that only the table building differs).  Goal:
    native at most the records time.

Every side of a comparison is timed the same way: one call per sample, the
sides interleaved sample by sample, printed lines to a buffer on every side,
min-median-max of the samples.  Results must be identical on every side
(records and printed lines; tables with the same columns, index, dtypes and
cells) or the benchmark stops.  The load average is printed before and after.
"""
import argparse
import contextlib
import io
import json
import os
import re
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))

import time  # noqa: E402

from mail_corpus import listing, mails, message  # noqa: E402
from offline_gmail import offline_service, ok  # noqa: E402
from kestrelflow.local_browser import local_display  # noqa: E402
from plain_rules import py_extract_email_data, py_fetch_emails_to_dataframe  # noqa: E402

# ---- the idiomatic parser: precompiled patterns, str.find for fixed text --------------------------

KEYS = ["application_number", "status", "service_name_en", "service_name_ar",
        "username_en", "username_ar", "link_en", "link_ar",
        "content_message_en", "content_message_ar",
        "complete_application_instruction_en", "complete_application_instruction_ar",
        "required_action_en", "required_action_ar"]
FIELDS = [(key, label, re.compile(label + rest)) for key, label, rest in [
    ("application_number", "Application Number: ", r"(\d+)"),
    ("status", "Status is ", r"([\w\s]+)"),
    ("service_name_en", "Service Name: ", r"([^\n]+)"),
    ("service_name_ar", "اسم الخدمة: ", r"([^\n]+)"),
    ("username_en", "Hello ", r"([^,]+),"),
    ("username_ar", "أهلاً بك", r"\s*([^،,]+)\s*[،,]"),
]]
LINKS = [(key, [(label, re.compile(label + r"(https?://[^\s]+)")) for label in labels])
         for key, labels in [
             ("link_en", ["please click on: ", "kindly click on: ",
                          "kindly complete the payment ", "kindly complete the payment: "]),
             ("link_ar", ["يُرجى زيارة: ", "عبر زيارة: ", "الدفع عبر الرابط التالي: "])]]
ENGLISH_CLEAN = re.compile(r"[^a-zA-Z0-9\s,.?!-]")
ARABIC_CLEAN = re.compile(r"[^\u0600-\u06FF\u0660-\u0669\u061B\u061F\u0621-\u064A\s,.،؛!-]")
SPACES = re.compile(r"\s+")
INSTRUCTION_EN = re.compile(r"(To complete your application|For more information)(.+?)http", re.DOTALL)
INSTRUCTION_AR = re.compile(r"(لمزيد من المعلومات|لاستكمال الطلب)(.+?)http", re.DOTALL)
REQUIRED_EN = ("<div><strong>Required Action:</strong> You need to complete the application "
               "details in order to proceed.</div>")
REQUIRED_AR = "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>"


def between(text, opening, closing):
    """opening(.+?)closing with DOTALL, the opening taken as text: group 1 stripped, or None."""
    start = text.find(opening)
    if start < 0:
        return None
    start += len(opening)
    end = text.find(closing, start + 1)
    return text[start:end].strip() if end >= 0 else None


def idiomatic_extract_email_data(email_text):
    email_text = email_text.replace("\r\n", "\n")
    data = dict.fromkeys(KEYS)
    matches = {key: pattern.search(email_text) if label in email_text else None
               for key, label, pattern in FIELDS}
    print(matches["username_ar"])
    for key, match in matches.items():
        if match:
            data[key] = match.group(1).strip()
    for key, candidates in LINKS:
        for label, pattern in candidates:
            match = pattern.search(email_text) if label in email_text else None
            if match:
                data[key] = match.group(1).strip()
                break
    if data["username_en"]:
        message = between(email_text, "Hello " + data["username_en"] + ",", "Service Name:")
        if message is not None:
            data["content_message_en"] = ENGLISH_CLEAN.sub("", message).strip()
            print(data["content_message_en"])
    if data["username_ar"]:
        print(data["username_ar"])
        message = between(email_text, "أهلاً بك " + data["username_ar"] + "،", "اسم الخدمة:")
        if message is not None:
            cleaned = ARABIC_CLEAN.sub("", message).strip()
            data["content_message_ar"] = SPACES.sub(" ", cleaned).strip()
            print(data["content_message_ar"])
    if data["status"] and "Pending Action" in data["status"]:
        data["required_action_en"], data["required_action_ar"] = REQUIRED_EN, REQUIRED_AR
    else:
        data["required_action_en"] = data["required_action_ar"] = ""
    if data["application_number"]:
        for key, pattern in [("complete_application_instruction_en", INSTRUCTION_EN),
                             ("complete_application_instruction_ar", INSTRUCTION_AR)]:
            match = pattern.search(email_text)
            if match:
                data[key] = (match.group(1) + match.group(2)).strip()
    return data


# ---- the records-then-one-DataFrame table ----------------------------------------------------------

PARSED = ["username_en", "username_ar", "service_name_en", "service_name_ar", "link_en",
          "link_ar"]
COLUMNS = ["application_number", "status", "service_name", "username_en", "username_ar",
           "service_name_en", "service_name_ar", "link_en", "link_ar"]


def records_fetch_emails_to_dataframe(gu, service, max_results=50):
    """The table built from a list of records and one DataFrame, with the module's
    own routines for the messages and the parsing: only the table differs."""
    import pandas as pd
    records = []
    for reference in gu.list_messages(service, max_results):
        row = gu.get_message_details(service, reference["id"])
        parsed = gu.extract_email_data(row["body"])
        row["application_number"] = parsed.get("application_number", "NAN")
        row["status"] = row["subject"].lower().split("status is")[-1].strip()
        row["service_name"] = gu.extract_service_name(row["body"])
        for column in PARSED:
            row[column] = parsed.get(column, "NAN")
        records.append(row)
    if not records:
        return pd.DataFrame(columns=COLUMNS, dtype=pd.Series(["NAN"]).dtype)
    return pd.DataFrame(records)


# ---- timing ---------------------------------------------------------------------------------------

CLOCK = {"wall": time.perf_counter, "cpu": time.process_time}
clock = CLOCK["wall"]


def timed(fn):
    """(seconds, result, printed text)."""
    buffer = io.StringIO()
    with contextlib.redirect_stdout(buffer):
        start = clock()
        result = fn()
        elapsed = clock() - start
    return elapsed, result, buffer.getvalue()


def interleaved(runs, make):
    """Samples of every side, taken in turn; make() gives one callable per side.
    Returns (per side: sorted samples, per side: (result, printed) of the last run)."""
    sides = None
    outcomes = None
    for _ in range(runs):
        fns = make()
        if sides is None:
            sides = [[] for _ in fns]
            outcomes = [None for _ in fns]
        for side, fn in enumerate(fns):
            seconds, result, printed = timed(fn)
            sides[side].append(seconds)
            outcomes[side] = (result, printed)
    return [sorted(samples) for samples in sides], outcomes


def spread(samples):
    return (f"{samples[0] * 1e3:9.2f} {statistics.median(samples) * 1e3:9.2f} "
            f"{samples[-1] * 1e3:9.2f}")


def table(title, rows, goal):
    print()
    print(title)
    print(f"  {'side':<50} {'min':>9} {'median':>9} {'max':>9}   (ms)   native / side (medians)")
    for name, samples, native in rows:
        ratio = statistics.median(native) / statistics.median(samples)
        shown = f"{ratio:6.2f}" if ratio >= 0.01 else f"{ratio:.1e}"
        print(f"  {name:<50} {spread(samples)}   {shown}")
    print(f"  goal: {goal}")


def inbox_responses(count):
    bodies = mails(count, seed=500)
    ids = [f"m{i:04d}" for i in range(count)]
    responses = [ok(listing(ids))]
    for i, body in enumerate(bodies):
        subject = f"Application {i} status is " + ["Approved", "Pending Action", "Rejected"][i % 3]
        responses.append(ok(message(ids[i], body, subject=subject,
                                    internal_date=str(1700000000000 + 37_000 * i))))
    return responses


class Answer:
    def __init__(self, value):
        self.value = value

    def execute(self):
        return self.value


class MemoryService:
    """A Gmail service answered from dictionaries: no HTTP layer, no JSON, so
    that the routine's own work is what is timed."""

    def __init__(self, responses):
        decoded = [json.loads(content) for _, content in responses]
        self.listing = decoded[0]
        self.messages_by_id = {m["id"]: m for m in decoded[1:]}

    def users(self):
        return self

    def messages(self):
        return self

    def list(self, **_):
        return Answer(self.listing)

    def get(self, userId, id):
        return Answer(self.messages_by_id[id])


def hostile_mail(chars):
    """Arabic greetings with a short name and never a comma."""
    unit = "أهلاً بك xy"
    return unit * (chars // len(unit))


def parser_on_mails(gu, runs):
    corpus = mails(1000, seed=77)
    size = sum(len(m) for m in corpus)
    (native, part, idiomatic), outcomes = interleaved(runs, lambda: (
        lambda: [gu.extract_email_data(m) for m in corpus],
        lambda: [py_extract_email_data(m) for m in corpus],
        lambda: [idiomatic_extract_email_data(m) for m in corpus]))
    assert outcomes[0] == outcomes[1] == outcomes[2], \
        "extract_email_data: records or printed lines differ"
    table(f"extract_email_data, 1,000 mails, {size:,} chars", [
        ("native", native, native),
        ("the routine's statement (re.search per pattern)", part, native),
        ("idiomatic (compiled patterns, str.find)", idiomatic, native)],
        "native / idiomatic at most 0.67 (1.5x faster)")


def parser_on_hostile_mails(gu, runs, skip_baseline):
    sizes = [13_750, 27_500, 55_000, 1_100_000]
    rows = []
    medians = {}
    for chars in sizes:
        body = hostile_mail(chars)
        # the statement's greeting pattern is quadratic: about an hour on 1.1 MB
        with_baseline = not skip_baseline and chars <= 55_000
        if with_baseline:
            (native, part), outcomes = interleaved(runs, lambda: (
                lambda: gu.extract_email_data(body),
                lambda: py_extract_email_data(body)))
            assert outcomes[0] == outcomes[1], "hostile mail: records or lines differ"
        else:
            (native,), outcomes = interleaved(runs, lambda: (
                lambda: gu.extract_email_data(body),))
        medians[chars] = (statistics.median(native), native[0])
        rows.append((f"native, {chars:,} chars", native, native))
        if with_baseline:
            rows.append((f"the routine's statement, {chars:,} chars", part, native))
    def growth(big, small):
        return (f"{medians[big][0] / medians[small][0]:.1f} (medians), "
                f"{medians[big][1] / medians[small][1]:.1f} (minimums)")

    table("extract_email_data, hostile mails (Arabic greetings, no comma)", rows,
          "linear: time(55,000) / time(13,750) near 4 (quadratic: 16), measured "
          f"{growth(55_000, 13_750)};\n        time(1,100,000) / time(55,000) near 20 "
          f"(quadratic: 400), measured {growth(1_100_000, 55_000)}")


def mail_table(gu, pd, runs):
    responses = inbox_responses(500)
    for label, make_service in [("offline Gmail client", lambda: offline_service(responses)[0]),
                                ("in-memory service", lambda: MemoryService(responses))]:
        def services():
            native_service, part_service, records_service = (make_service() for _ in range(3))
            return (lambda: gu.fetch_emails_to_dataframe(native_service, 500),
                    lambda: py_fetch_emails_to_dataframe(part_service, 500),
                    lambda: records_fetch_emails_to_dataframe(gu, records_service, 500))

        (native, part, records), outcomes = interleaved(runs, services)
        for other in outcomes[1:]:
            pd.testing.assert_frame_equal(outcomes[0][0], other[0], check_exact=True)
            assert outcomes[0][1] == other[1], "fetch_emails_to_dataframe: printed lines differ"
        table(f"fetch_emails_to_dataframe, 500 messages, {label}", [
            ("native", native, native),
            ("the routine's statement (df.at per cell)", part, native),
            ("records, then one DataFrame", records, native)],
            "native / records at most 1.00; dtypes identical "
            f"({', '.join(sorted(set(map(str, outcomes[0][0].dtypes))))})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7, help="samples per side (at least 5)")
    parser.add_argument("--skip-hostile-baseline", action="store_true",
                        help="time only the native side on hostile mails (the baseline is "
                             "quadratic: about 70 s for 5 samples)")
    parser.add_argument("--sections", default="abc", help="which of (a), (b), (c) to run")
    parser.add_argument("--clock", choices=sorted(CLOCK), default="wall",
                        help="wall time, or the process's CPU time (steadier on a loaded machine)")
    args = parser.parse_args()
    runs = max(args.runs, 5)
    global clock
    clock = CLOCK[args.clock]
    with local_display():
        import pandas as pd
        import kestrelflow.generic_utility as gu

        print(f"load average before: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} "
              f"{os.getloadavg()[2]:.2f}; {runs} samples per side, interleaved; "
              f"{args.clock} time; printed lines to a buffer on every side")

        if "a" in args.sections:
            parser_on_mails(gu, runs)
        if "b" in args.sections:
            parser_on_hostile_mails(gu, runs, args.skip_hostile_baseline)
        if "c" in args.sections:
            mail_table(gu, pd, runs)

        print()
        print(f"load average after: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} "
              f"{os.getloadavg()[2]:.2f}")


if __name__ == "__main__":
    main()
