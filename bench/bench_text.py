"""Text routines against plain-Python versions of the same rules.

    python bench/bench_text.py [--repeats R]

Runs is_arabic, detect_language and create_vertical_snake_text on 1 MiB
(1,048,576 characters) of mixed English and Arabic text, checks that all
sides give identical results and prints the times: every side of a row takes
turns within each repeat, min-median-max over the repeats, with the load.

Two baselines: the Part's own statement, a character loop (goal: native at
least 20x faster on a full text), and the best plain statement a Python
programmer would write: a regular expression (one search for is_arabic; the
characters of each language counted run by run for detect_language) and, for
detect_language, counting UTF-8 bytes with bytes.count and bytes.translate
(every character of U+0600..U+06FF starts with one of the bytes D8..DB).
Those statements are checked to give the same results.
"""
import argparse
import re
import os
import statistics
import string
import sys

from kestrelflow.local_browser import local_display

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
sys.path.insert(0, HERE)
from plain_rules import py_detect_language, py_is_arabic, py_snake  # noqa: E402
from timing import interleaved, load_note, ratios, spread  # noqa: E402


# ---- inputs -------------------------------------------------------------------------------------

SIZE = 1 << 20

ENGLISH = [
    "Application 202400012345 was submitted for the building permit. ",
    "Please review the attached site plan and pay the fees before 2024-03-09! ",
]
ARABIC = [
    "تم تقديم الطلب رقم ٢٠٢٤٠٠٠١٢٣٤٥ للحصول على رخصة البناء، يرجى المتابعة. ",
    "الرجاء مراجعة مخطط الموقع المرفق وسداد الرسوم؛ شكراً لكم. ",
]


def repeat_to(text, size):
    return (text * (size // len(text) + 1))[:size]


def bilingual_text():
    # A bilingual notice: the English version, then the Arabic one.
    return repeat_to("".join(ENGLISH), SIZE // 2) + repeat_to("".join(ARABIC), SIZE - SIZE // 2)


def interleaved_text():
    # English and Arabic sentences taking turns.
    return repeat_to(ENGLISH[0] + ARABIC[0] + ENGLISH[1] + ARABIC[1], SIZE)


def arabic_letter_last():
    # Worst case for is_arabic: one Arabic letter, at the very end.
    return repeat_to("".join(ENGLISH), SIZE - 1) + "ب"


# ---- the best plain statements: regular expressions ------------------------------

ARABIC_CHAR = re.compile("[\u0600-\u06ff]")
ARABIC_RUNS = re.compile("[\u0600-\u06ff]+")
# The characters whose lower-case form lies between "a" and "z": the Latin
# letters, and two whose lower-case form starts with one (KELVIN SIGN, and
# LATIN CAPITAL LETTER I WITH DOT ABOVE).
ENGLISH_RUNS = re.compile("[A-Za-z\u212a\u0130]+")


def re_is_arabic(text):
    return ARABIC_CHAR.search(text) is not None


def re_detect_language(text):
    arabic = sum(map(len, ARABIC_RUNS.findall(text)))
    english = sum(map(len, ENGLISH_RUNS.findall(text)))
    return "Arabic" if arabic > english else "English" if english > arabic else "Unknown"


# ---- the byte-counting statement ---------------------------------------------------------

ARABIC_LEADS = [bytes([lead]) for lead in range(0xD8, 0xDC)]
LATIN = string.ascii_letters.encode()
OTHER_ENGLISH = ["\u212a".encode(), "\u0130".encode()]


def bytes_detect_language(text):
    data = text.encode("utf-8", "surrogatepass")
    arabic = sum(data.count(lead) for lead in ARABIC_LEADS)
    english = len(data) - len(data.translate(None, LATIN)) + sum(data.count(c) for c in OTHER_ENGLISH)
    return "Arabic" if arabic > english else "English" if english > arabic else "Unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()

    # The module's screen and pointer collaborators need a display at import.
    with local_display():
        import kestrelflow.generic_utility as gu

        bilingual, interleaved_text_ = bilingual_text(), interleaved_text()
        cases = [  # (routine, input, native, plain, argument, counts towards the goal)
            ("is_arabic", "bilingual", gu.is_arabic, py_is_arabic, bilingual, True),
            ("is_arabic", "Arabic letter last", gu.is_arabic, py_is_arabic, arabic_letter_last(), True),
            ("is_arabic", "interleaved *", gu.is_arabic, py_is_arabic, interleaved_text_, False),
            ("detect_language", "bilingual", gu.detect_language, py_detect_language, bilingual, True),
            ("detect_language", "interleaved", gu.detect_language, py_detect_language, interleaved_text_, True),
            ("detect_language", "interleaved, list", gu.detect_language, py_detect_language,
             list(interleaved_text_), False),
            ("create_vertical_snake_text", "bilingual", gu.create_vertical_snake_text, py_snake,
             bilingual, True),
            ("create_vertical_snake_text", "interleaved", gu.create_vertical_snake_text, py_snake,
             interleaved_text_, True),
        ]
        best = {"is_arabic": [("regex", re_is_arabic)],
                "detect_language": [("regex", re_detect_language), ("bytes", bytes_detect_language)]}
        print(f"1 MiB of text: {SIZE:,} characters "
              f"({len(bilingual.encode('utf-8')):,} bytes of UTF-8 for the bilingual text); ms, "
              f"min{chr(0x2013)}median{chr(0x2013)}max of {args.repeats} interleaved repeats; "
              "speed-up = baseline / native per repeat")
        slowest = float("inf")
        for name, data, native, plain, arg, counted in cases:
            sides = {"native": native, "char loop": plain}
            if isinstance(arg, str):
                sides.update(best.get(name, []))
            results = {side: fn(arg) for side, fn in sides.items()}
            assert len(set(map(repr, results.values()))) == 1, f"{name} ({data}): results differ {results}"
            times, loads = interleaved(sides, args.repeats, prepare=lambda side: (arg,))
            line = f"{name:<27} {data:<20} native {spread(times['native'], 1e3, 3)}"
            for side in sides:
                if side == "native":
                    continue
                speedup = ratios(times[side], times["native"])
                line += f"  {side} {spread(times[side], 1e3, 3)} ({spread(speedup)}x)"
                if side == "char loop" and counted:
                    slowest = min(slowest, statistics.median(speedup))
            print(line + "  " + load_note(loads), flush=True)
        print("* returns at the first Arabic letter, character 66: call overhead only")
        print("results identical in every case; smallest median speed-up over the character loop on a "
              f"full text {slowest:.0f}x (goal 20x; the list and * rows are shown for information)")


if __name__ == "__main__":
    main()
