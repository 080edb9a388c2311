"""clean_text, extract_application_number and extract_service_name."""
import random
import re

import pytest

import kestrelflow.generic_utility as gu
from fakes import Recorder

ARABIC_DELETED = r"[^\u0600-\u06FF\u0660-\u0669\u061B\u061F\u0621-\u064A\s,.،؛!-]"
ENGLISH_DELETED = r"[^a-zA-Z0-9\s,.?!-]"
NUMBER = r"\b\d{12}\b"
SERVICE = r"Service Name:\s*</strong>\s*(.*?)\s*<br>"


# ---- the rules in plain Python, without regular expressions ---------------------------

def py_clean_text(text, language):
    if language == "arabic":
        keep = lambda c: "\u0600" <= c <= "\u06ff" or c.isspace() or c in ",.!-"
    elif language == "english":
        keep = lambda c: ("a" <= c <= "z" or "A" <= c <= "Z" or "0" <= c <= "9"
                          or c.isspace() or c in ",.?!-")
    else:
        return text.strip()
    return "".join(c for c in text if keep(c)).strip()


def py_application_number(text):
    word = lambda c: c.isalnum() or c == "_"
    for i in range(len(text) - 11):
        run = text[i:i + 12]
        if (all(c.isdecimal() for c in run) and (i == 0 or not word(text[i - 1]))
                and (i + 12 == len(text) or not word(text[i + 12]))):
            return run
    return "Application number not found"


POOL = list("abcXYZ09 \t\n\u00a0\u2003.,?!-:'\"_/()") + list("بتثجؤ١٢٣،؛؟\u0600\u06ff\u0750") + ["😀", "é"]
DIGITS = "0123456789" "٠١٢٣٤٥٦٧٨٩" "۰۱۲" "０１"


def test_clean_text_portal_cases():
    assert gu.clean_text("  Hello: مرحبا it's  fine  ", "english") == "Hello  its  fine"
    assert gu.clean_text(" Plot 12, مرحبا، عالم؛ ١٢٣؟ ok? ", "arabic") == ", مرحبا، عالم؛ ١٢٣؟"
    assert gu.clean_text("  Hello: مرحبا  ", "Arabic") == "Hello: مرحبا"
    assert gu.clean_text("\t x \n", None) == "x"
    with pytest.raises(TypeError):
        gu.clean_text(None, "english")


@pytest.mark.parametrize("language", ["arabic", "english", "other"])
def test_clean_text_matches_the_character_rule(language):
    rng = random.Random(language)
    for _ in range(300):
        text = "".join(rng.choices(POOL, k=rng.randrange(0, 40)))
        assert gu.clean_text(text, language) == py_clean_text(text, language), repr(text)


def test_application_number_cases():
    found = lambda text: gu.extract_application_number(text)
    assert found("Application No: 123456789012.") == "123456789012"
    for text in ("12345678901", "1234567890123", "ab123456789012", "123456789012x", "_123456789012"):
        assert found(text) == "Application number not found", text
    for glue in "-/:":
        assert found(f"REF{glue}123456789012{glue}2024") == "123456789012"
    assert found("١٢٣٤٥٦٧٨٩٠١٢ then 111111111111") == "١٢٣٤٥٦٧٨٩٠١٢"
    with pytest.raises(TypeError):
        found(None)


def test_application_number_matches_the_plain_rule():
    rng = random.Random(12)
    for _ in range(500):
        parts = [rng.choice(["".join(rng.choices(DIGITS, k=rng.randrange(10, 15))),
                             "".join(rng.choices(POOL, k=rng.randrange(0, 3)))]) for _ in range(4)]
        text = "".join(parts)
        assert gu.extract_application_number(text) == py_application_number(text), repr(text)


def test_service_name_cases():
    body = "<p><strong>Service Name:</STRONG>  Building\nPermit  <BR>Other</p>"
    assert gu.extract_service_name(body) == "Building\nPermit"
    assert gu.extract_service_name("<b>service name:</strong><br>") == ""
    assert gu.extract_service_name("Service Name:</strong> A <br> Service Name:</strong> B <br>") == "A"
    assert gu.extract_service_name("<p>Application Number: 1</p>") == "Not Found"
    assert gu.extract_service_name("Service Name:</strong> no line break") == "Not Found"
    with pytest.raises(TypeError):
        gu.extract_service_name(None)


def test_patterns_and_flags_go_through_the_module_re(monkeypatch):
    spy = Recorder("re", wraps=re)
    monkeypatch.setattr(gu, "re", spy)
    gu.clean_text(" a ", "arabic")
    gu.clean_text(" a ", "english")
    gu.clean_text(" a ", "french")
    gu.extract_application_number("x")
    gu.extract_service_name("y")
    assert spy.calls == [("re.sub", (ARABIC_DELETED, "", " a "), {}),
                         ("re.sub", (ENGLISH_DELETED, "", " a "), {}),
                         ("re.search", (NUMBER, "x"), {}),
                         ("re.search", (SERVICE, "y", re.IGNORECASE | re.DOTALL), {})]


@pytest.mark.parametrize("replace", ["sub", "_compile"])
def test_a_replaced_function_of_the_re_module_is_called(monkeypatch, replace):
    original = getattr(re, replace)
    calls = []

    def replacement(*args, **kwargs):
        calls.append(args[0])
        return original(*args, **kwargs)

    gu.clean_text(" a ", "english")  # the pattern is compiled and cached before
    monkeypatch.setattr(re, replace, replacement)
    assert gu.clean_text(" a! ", "english") == "a!"
    assert calls == [ENGLISH_DELETED]


@pytest.mark.parametrize("language, text, expected", [("english", " a:b ", "ab"), ("arabic", " ab ك ", "ك")])
def test_cleaning_after_the_pattern_cache_was_emptied(language, text, expected):
    re.purge()
    assert gu.clean_text(text, language) == expected
    assert gu.clean_text(text, language) == expected


class Text(str):
    def strip(self):
        return "subclass strip"


@pytest.mark.parametrize("text", ["", " ", "plain", "  two  words \t", "\x1c\x1d\x1e\x1fx\x85\xa0",
                                  "\u3000\u2028 قطعة \u2029\u200b", "\u200bx\u200b", "\U0001f600 x \n",
                                  Text(" a ")])
@pytest.mark.parametrize("language", ["Arabic", "english", "arabic"])
def test_trimming_is_str_strip(text, language):
    cleaned = gu.clean_text(text, language)
    if language == "Arabic":
        assert cleaned == text.strip() and type(cleaned) is type(text.strip())
    else:
        assert cleaned == re.sub(ENGLISH_DELETED if language == "english" else ARABIC_DELETED, "", text).strip()
