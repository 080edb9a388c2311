"""similar, is_arabic and detect_language: the portal's cases, and the native
character walk checked against the plain-Python rules on generated texts."""
import difflib
import random

import pytest

import kestrelflow.generic_utility as gu
from fakes import Recorder
from helpers import outcome, stable_id
from plain_rules import py_detect_language, py_is_arabic


# Letters, digits, punctuation and blanks of both scripts, the block's edges and
# neighbours, look-alikes from other Arabic blocks, characters whose lower case
# is (or starts with) a Latin letter, and characters beyond the BMP.
POOL = (list("abcxyzABCXYZ0123456789 \t\n.,:;'?!-_") + [chr(c) for c in range(0x0621, 0x064B)]
        + list("٠١٢٣٤٥٦٧٨٩،؛؟\u0600\u06ff\u05ff\u0700\u0750\ufb50\ufe8d")
        + list("éßÅ\u0130\u212a\u212b\u017f\u00a0\u2003\u3000") + ["😀", "\U0001d400", "\U00010400", "\ud800"])


def random_texts(seed, count=300):
    rng = random.Random(seed)
    for _ in range(count):
        weights = [rng.random() for _ in POOL]
        yield "".join(rng.choices(POOL, weights, k=rng.randrange(0, 60)))


# ---- the portal's cases -----------------------------------------------------------------

def test_portal_cases():
    assert gu.detect_language("abc جدا") == "Unknown"           # 3 Latin, 3 Arabic
    assert gu.detect_language("abc جدول") == "Arabic"
    assert gu.detect_language("ABC Hello") == "English"
    assert gu.detect_language("123 ... !!") == gu.detect_language("") == "Unknown"
    assert gu.detect_language("١٢٣، a") == "Arabic"              # Arabic-Indic digits and comma count
    assert gu.is_arabic("٣") and gu.is_arabic("،") and gu.is_arabic("Hello world ب text")
    assert not gu.is_arabic("") and not gu.is_arabic("Hello, world 123")
    assert not gu.is_arabic("\u0750\ufb50\ufe8d")                 # supplement and presentation forms
    assert gu.detect_language(text="مرحبا") == "Arabic"


def test_similar_goes_through_sequence_matcher(monkeypatch):
    assert gu.similar("kestrel", "kestrel") == 1.0
    assert gu.similar("abc", "xyz") == 0.0
    assert gu.similar("", "") == 1.0
    rng = random.Random(7)
    for _ in range(200):
        a, b = ("".join(rng.choices("abcd ب", k=rng.randrange(0, 12))) for _ in range(2))
        assert gu.similar(a, b) == difflib.SequenceMatcher(None, a, b).ratio()
    assert outcome(gu.similar, None, "a") == outcome(lambda: difflib.SequenceMatcher(None, None, "a").ratio())

    spy = Recorder("SequenceMatcher", wraps=difflib.SequenceMatcher)
    monkeypatch.setattr(gu, "SequenceMatcher", spy)
    assert gu.similar(b="abcd", a="abce") == 0.75
    assert spy.calls == [("SequenceMatcher", (None, "abce", "abcd"), {})]


# ---- native walk against the plain rules ----------------------------------------------------

def test_every_code_point_is_classified_as_the_plain_rule_says():
    for code in range(0x110000):
        char = chr(code)
        assert gu.detect_language(char) == py_detect_language(char), hex(code)
        assert gu.is_arabic(char) == py_is_arabic(char), hex(code)


@pytest.mark.parametrize("seed", range(4))
def test_generated_texts_and_their_character_lists(seed):
    for text in random_texts(seed):
        for given in (text, list(text), tuple(text), iter(text)):
            expected = py_detect_language(text)
            assert gu.detect_language(given) == expected
        assert gu.is_arabic(text) == gu.is_arabic(list(text)) == py_is_arabic(text)


class Loud(str):
    """A str whose comparisons and lower case are its own."""
    def __le__(self, other):
        return True

    def __ge__(self, other):
        return False

    def lower(self):
        return "m"


ODD_INPUTS = [None, 5, 3.5, ["a", 5], ["ب", None], [b"a"], ["ab", "", "zz", "z", "Ab", "ؤؤ"],
              [Loud("x")], Loud("xyz"), ["a", object()], {"ب": 1, "c": 2}]


@pytest.mark.parametrize("given", ODD_INPUTS, ids=stable_id)
def test_odd_input_gives_the_plain_result_or_error(given):
    assert outcome(gu.detect_language, given) == outcome(py_detect_language, given)
    assert outcome(gu.is_arabic, given) == outcome(py_is_arabic, given)


def test_is_arabic_stops_at_the_first_arabic_character():
    def chars():
        yield "a"
        yield "ب"
        raise AssertionError("read past the first Arabic character")

    assert gu.is_arabic(chars()) is True

    def failing():
        yield "a"
        raise ValueError("source broke")

    assert outcome(gu.is_arabic, failing()) == (ValueError, "source broke")
    assert outcome(gu.detect_language, failing()) == (ValueError, "source broke")


def test_a_list_grown_by_its_own_element_is_walked_to_its_new_end():
    class Grow(str):
        def lower(self):
            self.owner.extend("ببب")
            return "x"

    def fresh():
        grow = Grow("+")
        grow.owner = [grow]
        return grow.owner

    assert gu.detect_language(fresh()) == py_detect_language(fresh()) == "Arabic"
