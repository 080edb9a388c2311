"""Generate_File_name and create_vertical_snake_text."""
import datetime as dt
import random

import pytest

import kestrelflow.generic_utility as gu
from helpers import outcome, stable_id
from plain_rules import py_snake


class FixedDay:
    """Stands in for the module's `datetime`: today is 9 March 2024, late evening."""
    @staticmethod
    def today():
        return dt.datetime(2024, 3, 9, 23, 59, 58)


def test_file_name_is_dated_by_the_module_datetime(monkeypatch, out):
    monkeypatch.setattr(gu, "datetime", FixedDay)
    assert gu.Generate_File_name("Search", 1) == "performance_logs_Search_4_2024-03-09.csv"
    assert out() == ["file_Generate performance_logs_Search_4_2024-03-09.csv"]
    assert gu.Generate_File_name("Search", trial=None, directory="logs") == "logsSearch_4_2024-03-09.csv"
    assert gu.Generate_File_name(7, "x", "C:\\logs\\") == "C:\\logs\\7_4_2024-03-09.csv"
    assert out() == ["file_Generate logsSearch_4_2024-03-09.csv", "file_Generate C:\\logs\\7_4_2024-03-09.csv"]


def indents(laid_out):
    return [len(line) - len(line.lstrip(" ")) for line in laid_out.splitlines()]


def test_wave_shapes():
    assert gu.create_vertical_snake_text("") == ""
    assert gu.create_vertical_snake_text("abcdefgh") == "a\n b\n  c\n   d\n  e\n f\ng\n h\n"
    assert indents(gu.create_vertical_snake_text("x" * 6, wave_length=1)) == [0, 1, 0, 1, 0, 1]
    for never_turns in (0, -2, 2.5, float("nan"), 10**40, None, "3"):
        assert indents(gu.create_vertical_snake_text("x" * 5, never_turns)) == [0, 1, 2, 3, 4]
    assert indents(gu.create_vertical_snake_text("x" * 5, 2.0)) == [0, 1, 2, 1, 0]
    assert indents(gu.create_vertical_snake_text("x" * 3, True)) == [0, 1, 0]


WIDE = list("ab \t.٣") + ["\u00e9", "بت", "\u4e2d", "😀", "\U0001d400", ""]


@pytest.mark.parametrize("wave_length", [-1, 0, 1, 2, 3, 5, 4.0, 2.5, True])
def test_generated_texts_match_the_plain_wave(wave_length):
    rng = random.Random(wave_length)
    for _ in range(60):
        items = rng.choices(WIDE, k=rng.randrange(0, 50))
        text = "".join(items)
        assert gu.create_vertical_snake_text(text, wave_length) == py_snake(text, wave_length)
        assert gu.create_vertical_snake_text(items, wave_length) == py_snake(items, wave_length)
        assert gu.create_vertical_snake_text(iter(items), wave_length) == py_snake(items, wave_length)


class Length:
    """A wave length with its own equality, counting how often it is asked."""
    def __init__(self, top, fail_after=None):
        self.top, self.fail_after, self.asked = top, fail_after, 0

    def __eq__(self, other):
        self.asked += 1
        if self.asked == self.fail_after:
            raise ValueError("asked too often")
        return other == self.top


@pytest.mark.parametrize("given", ["abcdefghij", list("abcdefghij")], ids=["str", "list"])
def test_custom_wave_length_is_asked_as_often_as_the_plain_wave_asks(given):
    ours, theirs = Length(2), Length(2)
    assert gu.create_vertical_snake_text(given, ours) == py_snake(given, theirs)
    assert ours.asked == theirs.asked > 0
    ours, theirs = Length(4, fail_after=3), Length(4, fail_after=3)
    assert outcome(gu.create_vertical_snake_text, given, ours) == outcome(py_snake, given, theirs)
    assert ours.asked == theirs.asked == 3


class Glue:
    def __radd__(self, other):
        return other + "<glue>"


class Listy:
    def __radd__(self, other):
        return [other]


@pytest.mark.parametrize("given", [None, 12, ["a", 5], ["a", None, "b"], ["a", Glue(), "b"],
                                   ["a", Listy()], [b"a"], {"a": 1, "bc": 2}], ids=stable_id)
def test_odd_input_gives_the_plain_result_or_error(given):
    assert outcome(gu.create_vertical_snake_text, given) == outcome(py_snake, given)

