"""Eight threads switching every microsecond get what one thread gets."""
import random
import sys
import threading

import pytest

from helpers import outcome

ARABIC = "طلب رقم ٢٠٢٤-١٢٣٤٥ لخدمة " * 3
MIXED = "Application No. 2024-12345 for " + ARABIC
STEPS = {"Open": {"xpath": "//a", "wait": 3}, "Read": {"value": None}}
MAIL = ("Application Number: 2024-98765\nService Name: Land Registration\n"
        "رقم الطلب: 2024-98765\nاسم الخدمة: تسجيل الأراضي\n")


def cases(gu):
    return [
        (gu.is_arabic, (ARABIC,)), (gu.is_arabic, (MIXED,)), (gu.is_arabic, ("plain",)),
        (gu.detect_language, (MIXED,)), (gu.detect_language, ("plain words",)),
        (gu.detect_language, ("",)), (gu.similar, (ARABIC, MIXED)),
        (gu.clean_text, (MIXED, "ar")), (gu.clean_text, (MIXED, "en")),
        (gu.extract_application_number, (MIXED,)), (gu.extract_application_number, ("none",)),
        (gu.extract_service_name, ("<b>Service Name:</b> Land <i>x</i>",)),
        (gu.create_vertical_snake_text, ("snake text", 4)),
        (gu.extract_email_data, (MAIL,)),
        (gu.get_step_value, (STEPS, "Open", "xpath")), (gu.get_step_value, (STEPS, "Gone", "x")),
        # Error paths: wrong types and argument binding.
        (gu.is_arabic, (None,)), (gu.detect_language, (12,)), (gu.clean_text, (None, "ar")),
        (gu.get_step_value, (None, "Open", "xpath")), (gu.similar, ("a",)),
        (gu.create_vertical_snake_text, ("text", "3")),
    ]


def test_eight_threads_agree_with_one(gu, capsys):
    table = cases(gu)
    expected = [outcome(fn, *args) for fn, args in table]
    mismatches = []
    start = threading.Barrier(8)

    def worker(seed):
        order = list(range(len(table))) * 60
        random.Random(seed).shuffle(order)
        start.wait()
        for i in order:
            fn, args = table[i]
            got = outcome(fn, *args)
            if got != expected[i]:
                mismatches.append((fn.__name__, args[:1], got))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=1800)  # a hang guard only, however busy the machine
        assert not any(thread.is_alive() for thread in threads)
    finally:
        sys.setswitchinterval(interval)
    capsys.readouterr()
    assert mismatches == []
    # The table holds both results and errors, so both kinds were compared.
    assert any(isinstance(e, tuple) and isinstance(e[0], type) for e in expected)
    assert any(not isinstance(e, tuple) for e in expected)
