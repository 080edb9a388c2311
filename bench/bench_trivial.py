"""The trivial routines against the inline statements they stand for.

    python bench/bench_trivial.py [--number N] [--repeats R]

similar, clean_text, get_step_value and is_arabic on short texts: one call of
the module's function against the statement written inline (no function of
its own), and against the best idiomatic statement where that differs
(a precompiled pattern).  Each statement is timed N times per repeat, the
statements take turns within every repeat, and the figures are min-median-max
nanoseconds per execution over the repeats.  The goal: the call costs no more
than the inline statement (ratio at most 1.00).  Results are checked equal
first.
"""
import argparse
import os
import re
import statistics
import sys
from difflib import SequenceMatcher

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from kestrelflow.local_browser import local_display  # noqa: E402
from timing import interleaved_statements, load_note, ratios, spread  # noqa: E402

ARABIC_DELETED = "[^\\u0600-\\u06FF\\u0660-\\u0669\\u061B\\u061F\\u0621-\\u064A\\s,.\u060c\u061b!-]"
ENGLISH_DELETED = "[^a-zA-Z0-9\\s,.?!-]"

CASES = [
    # (label, module statement, inline statement (the routine's own), best idiomatic or None)
    ("similar, two letters", "f(a, b)", "SequenceMatcher(None, a, b).ratio()", None,
     {"a": "a", "b": "b"}),
    ("similar, two names", "f(a, b)", "SequenceMatcher(None, a, b).ratio()", None,
     {"a": "Building Permit", "b": "Building Permits"}),
    ("clean_text english", "f(text, language)",
     "re.sub(ENGLISH_DELETED, '', text).strip() if language == 'english' else text.strip()",
     "ENGLISH.sub('', text).strip()", {"text": " Plot 12: قطعة ١٢ it's ok ", "language": "english"}),
    ("clean_text arabic", "f(text, language)",
     "re.sub(ARABIC_DELETED, '', text).strip() if language == 'arabic' else text.strip()",
     "ARABIC.sub('', text).strip()", {"text": " Plot 12: قطعة ١٢ ", "language": "arabic"}),
    ("clean_text other", "f(text, language)",
     "text.strip() if language != 'arabic' and language != 'english' else None", None,
     {"text": "  Plot 12  ", "language": "Arabic"}),
    ("get_step_value hit", "f(data, step, key)", "data.get(step, {}).get(key)", None,
     {"data": {"Login": {"user": "amal"}}, "step": "Login", "key": "user"}),
    ("get_step_value missing step", "f(data, step, key)", "data.get(step, {}).get(key)", None,
     {"data": {"Login": {"user": "amal"}}, "step": "Payment", "key": "user"}),
    ("is_arabic, English text", "f(text)", "any('\u0600' <= char <= '\u06ff' for char in text)",
     "ARABIC_CHAR.search(text) is not None", {"text": "Application approved"}),
    ("is_arabic, Arabic text", "f(text)", "any('\u0600' <= char <= '\u06ff' for char in text)",
     "ARABIC_CHAR.search(text) is not None", {"text": "تم قبول الطلب"}),
    ("is_arabic, Arabic last", "f(text)", "any('\u0600' <= char <= '\u06ff' for char in text)",
     "ARABIC_CHAR.search(text) is not None", {"text": "Plot 12 – ق"}),
]

ROUTINES = {"similar": "similar", "clean_text": "clean_text", "get_step_value": "get_step_value",
            "is_arabic": "is_arabic"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--number", type=int, default=200_000)
    parser.add_argument("--repeats", type=int, default=7)
    args = parser.parse_args()

    with local_display():
        import kestrelflow.generic_utility as gu

        shared = {"re": re, "SequenceMatcher": SequenceMatcher, "ENGLISH_DELETED": ENGLISH_DELETED,
                  "ARABIC_DELETED": ARABIC_DELETED, "ENGLISH": re.compile(ENGLISH_DELETED),
                  "ARABIC": re.compile(ARABIC_DELETED), "ARABIC_CHAR": re.compile("[\u0600-\u06ff]")}
        print(f"ns per execution, min{chr(0x2013)}median{chr(0x2013)}max of {args.repeats} interleaved repeats "
              f"of {args.number:,}; ratio = module / statement per repeat (goal: module / inline <= 1.00)")
        misses = []
        for label, call, inline, best, values in CASES:
            routine = getattr(gu, ROUTINES[label.split()[0].rstrip(",")])
            env = dict(shared, f=routine, **values)
            assert eval(call, env) == eval(inline, env), label
            statements = {"module": (call, env), "inline": (inline, env)}
            if best:
                assert eval(best, env) == eval(call, env), label
                statements["best"] = (best, env)
            times, loads = interleaved_statements(statements, args.number, args.repeats)
            to_inline = ratios(times["module"], times["inline"])
            line = (f"{label:<30} module {spread(times['module'], 1e9, 0):>13}  inline {spread(times['inline'], 1e9, 0):>13}"
                    f"  module/inline {spread(to_inline)}")
            if best:
                line += (f"  best {spread(times['best'], 1e9, 0)}  "
                         f"module/best {spread(ratios(times['module'], times['best']))}")
            print(line + "  " + load_note(loads), flush=True)
            if statistics.median(to_inline) > 1:
                misses.append(f"{label}: {statistics.median(to_inline):.2f}")
        print("goal missed (median module/inline): " + ("; ".join(misses) if misses else "none"))


if __name__ == "__main__":
    main()
