"""Table rows: the list table's checkboxes, and the first matching DataFrame row
checked against the plain iterrows rule."""
import datetime
import decimal
import glob
import math
import os
import random
import re
import warnings

import numpy as np
import pandas as pd
import pytest

from plain_rules import py_find_matching_row


# ---- the list table's checkboxes -------------------------------------------------------

@pytest.fixture
def list_page(driver, open_page):
    class ListPage:
        def open(self, layouts):
            return open_page("page_state_list.html", layouts=layouts)

        def checkbox(self, layout, row):
            return driver.execute_script("return checkboxPath(arguments[0], arguments[1])", layout, row)

        def ticked(self):
            return driver.execute_script("return ticked()")

    return ListPage()


def clicked(row, xpath):
    return f"Successfully clicked checkbox at row {row} using XPath: {xpath}"


def missed(row, xpath):
    return f"Could not click checkbox at row {row} using XPath: {xpath}. Error:"


class TestClickCheckboxByRow:
    @pytest.mark.parametrize("layouts, row", [("form", 2), ("panel", 2), ("panel", "3")])
    def test_ticks_the_row_in_either_layout(self, gu, list_page, clock, out, layouts, row):
        driver = list_page.open(layouts)
        assert gu.click_checkbox_by_row(driver, row) is None
        expected = [clicked(row, list_page.checkbox(layouts, row))]
        if layouts == "panel":
            expected.insert(0, missed(row, list_page.checkbox("form", row)))
        assert out() == expected
        assert list_page.ticked() == [f"{layouts}:{row}"]
        assert clock.sleeps == [2]

    def test_a_box_that_cannot_be_clicked_falls_to_the_other_layout(self, gu, list_page, clock, out):
        driver = list_page.open("form-hidden,panel")
        gu.click_checkbox_by_row(driver, 1)
        assert out() == [missed(1, list_page.checkbox("form", 1)),
                         clicked(1, list_page.checkbox("panel", 1))]
        assert list_page.ticked() == ["panel:1"]

    def test_a_row_beyond_the_table(self, gu, list_page, clock, out):
        driver = list_page.open("form")
        assert gu.click_checkbox_by_row(driver, 9) is None
        assert out() == [missed(9, list_page.checkbox("form", 9)), missed(9, list_page.checkbox("panel", 9)),
                         "Failed to click checkbox at row 9 after trying all base XPaths."]
        assert list_page.ticked() == [] and clock.sleeps == []


# ---- find_matching_row: the cases the rule is known by ----------------------------------

def applications():
    return pd.DataFrame({
        " Service ": ["Permit", "Permit", "Demolition"],
        "Status": ["Open", "Closed", "Closed"],
        "FEE": [100, 250, 250],
    }, index=pd.Index([202400011, 202400012, 202400013], name="application"))


@pytest.mark.parametrize("criteria, threshold, expected", [
    ({"service": "Permit", "status": "Closed"}, 0.5, 202400011),   # one of two is enough...
    ({"service": "Permit", "status": "Closed"}, 1.0, 202400012),   # ...both are needed here
    ({"  SERVICE": "Demolition", "Status ": "Closed"}, 1.0, 202400013),
    ({"service": "permit"}, 0.5, -1),                              # values keep their case
    ({"fee": 250, "owner": "nobody"}, 0.5, 202400012),             # a missing column still counts
    ({"fee": 250, "owner": "nobody"}, 0.51, -1),
    ({"fee": 250.0, "service": "Permit"}, 1.0, 202400012),
    ({"fee": 100}, 1.01, -1),
    ({"status": "Open", "STATUS": "Closed"}, 1.0, 202400012),      # the later key wins
])
def test_first_row_meeting_the_threshold(gu, criteria, threshold, expected):
    assert gu.find_matching_row(applications(), criteria, threshold) == expected


def test_labels_are_normalised_on_the_callers_frame(gu):
    frame = applications()
    assert gu.find_matching_row(frame, {"Status": "Closed"}) == 202400012
    assert list(frame.columns) == ["service", "status", "fee"]
    assert gu.find_matching_row(frame, {"status": "Closed"}) == 202400012


@pytest.mark.parametrize("frame, criteria, error", [
    (pd.DataFrame([[1, 2]], columns=["a", "A"]), {"a": 1}, ValueError),
    (applications(), {}, ZeroDivisionError),
    (pd.DataFrame({1: [1]}), {"a": 1}, AttributeError),
])
def test_errors_of_the_rule(gu, frame, criteria, error):
    with pytest.raises(error):
        gu.find_matching_row(frame, criteria)


def test_empty_frame_finds_nothing_even_without_criteria(gu):
    assert gu.find_matching_row(applications().iloc[:0], {}) == -1


@pytest.mark.parametrize("frame, value, expected", [
    # ints and floats together: every row is laid out as floats, so the int
    # 2**53 + 1 reads back as 2**53 and equals its neighbour.
    (pd.DataFrame({"id": [2**53, 2**53 + 1], "x": [0.5, 0.5]}), 2**53 + 1, 0),
    # a text column beside them keeps the ints as they are.
    (pd.DataFrame({"id": [2**53, 2**53 + 1], "x": ["a", "b"]}), 2**53 + 1, 1),
])
def test_cells_read_as_the_row_holds_them(gu, frame, value, expected):
    assert gu.find_matching_row(frame, {"id": value}, 1) == expected


# ---- find_matching_row against the plain rule on generated frames ---------------------

class Picky:
    """An expected value that cannot be compared with the text 'b'."""

    def __eq__(self, other):
        if isinstance(other, str) and other == "b":
            raise LookupError("cannot compare with 'b'")
        return other == "a"

    __hash__ = object.__hash__


def column(kind, n, rng):
    pick = lambda *choices: [rng.choice(choices) for _ in range(n)]  # noqa: E731
    if kind == "int":
        return np.array(pick(0, 1, 2, 2**53 + 1), dtype=np.int64)
    if kind == "uint8":
        return np.array(pick(0, 1), dtype=np.uint8)
    if kind == "float":
        return np.array(pick(0.0, 1.0, 1.5, np.nan))
    if kind == "float32":
        return np.array(pick(0.5, 1.0), dtype=np.float32)
    if kind == "bool":
        return np.array(pick(True, False))
    if kind == "str":
        return pd.array(pick("a", "b", "A", None), dtype="str")
    if kind == "object":
        cells = np.empty(n, dtype=object)
        cells[:] = pick("a", "b", None, np.nan, 1, 1.0, True, pd.NA, Picky())
        return cells
    if kind == "object-text":
        cells = np.empty(n, dtype=object)
        cells[:] = pick("a", "b", None)
        return cells
    if kind == "object-missing":
        cells = np.empty(n, dtype=object)
        cells[:] = pick(None, pd.NA, np.nan, pd.Timestamp("2024-01-01"), "a")
        return cells
    if kind == "datetime":
        return pd.array(pick(pd.Timestamp("2024-01-01"), pd.Timestamp("2024-01-02"), pd.NaT),
                        dtype="datetime64[ns]")
    if kind == "datetime-s":
        return pd.array(pick(pd.Timestamp("2024-01-01"), pd.Timestamp("2024-01-01 00:00:01"), pd.NaT),
                        dtype="datetime64[s]")
    if kind == "object-dates":
        cells = np.empty(n, dtype=object)
        cells[:] = pick(pd.Timestamp("2024-01-01"), None, "a")
        return cells
    if kind == "text-with-gaps":
        return pick("a", "b", None, None)
    if kind == "timedelta":
        return pd.to_timedelta(pick(1, 2, None), unit="s")
    if kind == "Int64":
        return pd.array(pick(1, 2, None), dtype="Int64")
    if kind == "category":
        return pd.Categorical(pick("a", "b"))
    raise ValueError(kind)


VALUES = ["a", "A", "b", None, np.nan, pd.NA, pd.NaT, 0, 1, 2, 1.0, 1.5, True, False, 2**53 + 1,
          float(2**53), 2**63, -0.0, float("inf"), np.int64(1), np.float64(1.0), np.bool_(True),
          pd.Timestamp("2024-01-01"), pd.Timestamp("2024-01-01").as_unit("ns"),
          pd.Timestamp("2024-01-01 00:00:01"), pd.Timestamp("2024-01-01 00:00:00.000000001"),
          pd.Timestamp("2024-01-01", tz="UTC"), np.datetime64("2024-01-01"), datetime.datetime(2024, 1, 1),
          pd.Timedelta(1, unit="s"), "1", "2024-01-01", [1], (1,), decimal.Decimal(1), Picky()]
NAMES = ["Name", " name", "Fee ", "status", "STATUS", "x"]
KEYS = ["name", "NAME ", "fee", "Status", "missing", "x"]


def index(n, rng):
    choice = rng.randrange(6)
    if choice == 1:
        return pd.Index([rng.randrange(100) for _ in range(n)])
    if choice == 2:
        return pd.Index([f"APP-{i}" for i in range(n)])
    if choice == 3:
        return pd.date_range("2024-01-01", periods=n)
    if choice == 4:
        return pd.Index([i + 0.5 for i in range(n)])
    if choice == 5 and n:
        return pd.MultiIndex.from_tuples([(i, "x") for i in range(n)])
    return None


def generated_case(kinds, rng, converted=False):
    # Mostly short frames; some long enough that the first qualifying row,
    # or the first comparison that raises, lies many rows down.
    n = rng.randint(0, 12) if rng.random() < 0.6 else rng.randint(13, 400)
    chosen = [rng.choice(kinds) for _ in range(rng.randint(1, 4))]
    names = [rng.choice(NAMES) for _ in chosen]
    frame = pd.DataFrame({i: column(kind, n, rng) for i, kind in enumerate(chosen)}, index=index(n, rng))
    if converted:
        frame = frame.convert_dtypes()
    frame.columns = names
    criteria = {rng.choice(KEYS): rng.choice(VALUES) for _ in range(rng.randint(0, 3))}
    return frame, criteria, rng.choice([0, 0.3, 0.5, 2 / 3, 1, 1.01])


def outcome(find, frame, criteria, threshold):
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            result = find(frame, criteria, threshold)
    except Exception as error:  # the same error, raised the same way
        return "raised", type(error), str(error), list(frame.columns)
    if isinstance(result, float) and math.isnan(result):
        result = "NaN label"
    return "returned", type(result), result, list(frame.columns)


MIXES = {
    "numbers": ["int", "uint8", "float", "float32"],
    "ints-and-bools": ["int", "bool"],
    "text": ["str", "object-text", "text-with-gaps"],
    "mixed-with-missing": ["int", "float", "bool", "text-with-gaps", "object-text", "datetime"],
    "objects": ["object", "str", "float"],
    "dates": ["datetime", "timedelta", "object-missing", "str", "float"],
    "datetimes": ["datetime", "datetime-s"],
    "datetimes-and-text": ["datetime", "datetime-s", "text-with-gaps", "object-dates", "float"],
    "extension": ["Int64", "category", "str", "int"],
    "everything": ["int", "uint8", "float", "bool", "str", "object", "object-text", "object-missing", "datetime",
                   "timedelta", "Int64", "category", "datetime-s", "object-dates", "text-with-gaps"],
}
# The same mixes after convert_dtypes(): masked numbers, bools and text.
CONVERTED = ["numbers", "ints-and-bools", "text", "mixed-with-missing", "datetimes-and-text", "everything"]


@pytest.mark.parametrize("python_scalars", [False, True], ids=["numpy-scalars", "python-scalars"])
@pytest.mark.parametrize("mix, converted", [(mix, False) for mix in MIXES] + [(mix, True) for mix in CONVERTED],
                         ids=list(MIXES) + [mix + "-converted" for mix in CONVERTED])
def test_same_answers_as_the_plain_rule(gu, mix, converted, python_scalars):
    rng = random.Random(mix + str(converted))
    with pd.option_context("future.python_scalars", python_scalars):
        for _ in range(150):
            frame, criteria, threshold = generated_case(MIXES[mix], rng, converted)
            expected = outcome(py_find_matching_row, frame.copy(), dict(criteria), threshold)
            assert outcome(gu.find_matching_row, frame.copy(), dict(criteria), threshold) == expected, \
                (frame, criteria, threshold)


def long_frame(layout, n, rng):
    """A frame of one of the usual layouts, its last row set apart."""
    text = lambda *words: rng.choice(list(words), n).astype(object)  # noqa: E731
    dates = pd.date_range("2024-01-01", periods=n, freq="h")
    if layout == "numeric":
        return pd.DataFrame({"Zone": rng.integers(0, 3, n), "Area": rng.integers(0, 3, n) * 0.5})
    if layout == "text":
        return pd.DataFrame({"Owner": text("a", "b", None), "District": text("North", "South")},
                            index=pd.Index([f"APP-{i}" for i in range(n)]))
    frame = pd.DataFrame({"Owner": text("a", "b", None), "Fee": rng.integers(0, 3, n) * 0.5,
                          "Paid": rng.random(n) < 0.5, "Due": dates})
    if layout == "mixed":
        return frame
    if layout == "converted":
        return frame.convert_dtypes()
    if layout == "datetimes":
        return pd.DataFrame({"Due": dates, "Paid": dates.as_unit("s")})
    if layout == "datetimes+text":
        return pd.DataFrame({"Due": dates, "Owner": text("a", None)})
    raise ValueError(layout)


LONG_CASES = {
    # layout: (the last row's cells, criteria, threshold)
    "numeric": ({"Zone": 9, "Area": 9.5}, {"zone": 9, "area": 9.5}, 1.0),
    "text": ({"Owner": "the last"}, {"owner": "the last", "district": "East"}, 0.5),
    "mixed": ({"Owner": "the last", "Fee": 9.5}, {"owner": "the last", "fee": 9.5, "due": "never"}, 0.6),
    "converted": ({"Fee": 9.5}, {"fee": 9.5, "paid": "never"}, 0.5),
    "datetimes": ({"Due": pd.Timestamp("2030-01-01")}, {"due": datetime.datetime(2030, 1, 1)}, 1.0),
    "datetimes+text": ({"Owner": "the last", "Due": pd.NaT}, {"owner": "the last", "due": pd.NaT}, 0.5),
}


@pytest.mark.parametrize("layout", LONG_CASES)
def test_same_answer_on_a_long_frame(gu, layout):
    cells, criteria, threshold = LONG_CASES[layout]
    n = 6000
    frame = long_frame(layout, n, np.random.default_rng(3))
    for label, value in cells.items():
        frame.iloc[-1, frame.columns.get_loc(label)] = value
    expected = py_find_matching_row(frame.copy(), dict(criteria), threshold)
    assert expected == frame.index[-1]
    assert gu.find_matching_row(frame.copy(), dict(criteria), threshold) == expected


@pytest.mark.parametrize("layout", ["mixed", "converted"])
def test_a_comparison_that_raises_far_down_raises_after_the_rows_before_it(gu, layout):
    # pd.NA == value has no truth value: the walk raises at the first row
    # holding it, unless an earlier row qualified.
    frame = long_frame(layout, 6000, np.random.default_rng(5))
    column = frame.columns.get_loc("Owner")
    frame["Owner"] = frame["Owner"].astype(object)
    frame.iloc[:, column] = "x"
    frame.iloc[5000, column] = pd.NA
    with pytest.raises(TypeError):
        py_find_matching_row(frame.copy(), {"owner": "y"})
    with pytest.raises(TypeError):
        gu.find_matching_row(frame.copy(), {"owner": "y"})
    frame.iloc[4999, column] = "y"
    assert gu.find_matching_row(frame.copy(), {"owner": "y"}) == py_find_matching_row(frame.copy(), {"owner": "y"}) == 4999


# ---- typed columns: zoned datetimes, categories, nullable columns, floats against ints --------

DUBAI = "Asia/Dubai"
INSTANT = pd.Timestamp("2024-01-01 04:00", tz=DUBAI)  # midnight UTC


def typed_column(kind, n, rng):
    pick = lambda *choices: [rng.choice(choices) for _ in range(n)]  # noqa: E731
    if kind in ("utc", "dubai"):
        zone = "UTC" if kind == "utc" else DUBAI
        return pd.array([pd.NaT if cell is None else cell.tz_convert(zone) for cell in
                         pick(INSTANT, INSTANT + pd.Timedelta(hours=1), None)], dtype=f"datetime64[ns, {zone}]")
    if kind == "naive":
        return pd.array(pick(pd.Timestamp("2024-01-01"), pd.Timestamp("2024-01-01 04:00"), pd.NaT),
                        dtype="datetime64[us]")
    if kind == "category-int":
        return pd.Categorical(pick(1, 2, None), categories=[1, 2, 3])
    if kind == "category-text":
        return pd.Categorical(pick("a", "b", None), categories=["a", "b", "unused"])
    if kind in ("Int64-full", "string-full", "boolean-full"):
        return typed_column(kind[:-5] + "-some", n, rng).fillna({"Int64": 2, "string": "a", "boolean": True}[kind[:-5]])
    if kind == "Int64-some":
        return pd.array(pick(1, 2, 2**53 + 1, None), dtype="Int64")
    if kind == "string-some":
        return pd.array(pick("a", "b", None), dtype="string")
    if kind == "boolean-some":
        return pd.array(pick(True, False, None), dtype="boolean")
    if kind == "int32":
        return np.array(pick(0, 1, 2), dtype=np.int32)
    return column(kind, n, rng)


TYPED_MIXES = {
    # two zones holding the same instants, beside naive datetimes and text
    "zoned": ["utc", "dubai", "naive", "text-with-gaps"],
    "zoned-only": ["utc", "dubai"],
    "one-zone": ["utc"],
    "categories": ["category-int", "category-text", "int", "str"],
    "categories-only": ["category-int", "category-text"],
    # nullable columns with and without missing cells
    "nullable": ["Int64-some", "Int64-full", "string-some", "string-full", "boolean-some", "boolean-full", "int"],
    "nullable-full": ["Int64-full", "string-full", "boolean-full", "float"],
    # float criteria against int columns, alone and beside floats
    "ints": ["int", "int32", "uint8"],
    "ints-and-floats": ["int", "int32", "float"],
}
TYPED_VALUES = [INSTANT, INSTANT.tz_convert("UTC"), INSTANT.tz_convert(None), INSTANT.tz_localize(None),
                pd.Timestamp("2024-01-01"), INSTANT.to_pydatetime(), pd.Timestamp("2024-01-01 01:00", tz="UTC"),
                "a", "b", "unused", 1, 2, 3, 1.0, 2.0, 2.5, 0.0, -0.0, float(2**53), float(2**53 + 2),
                2**53 + 1, True, False, None, np.nan, pd.NA, pd.NaT, np.float64(2.0)]


@pytest.mark.parametrize("python_scalars", [False, True], ids=["numpy-scalars", "python-scalars"])
@pytest.mark.parametrize("mix", TYPED_MIXES)
def test_same_answers_on_typed_columns(gu, mix, python_scalars):
    rng = random.Random("typed " + mix)
    with pd.option_context("future.python_scalars", python_scalars):
        for _ in range(120):
            n = rng.randint(0, 12) if rng.random() < 0.5 else rng.randint(60, 1200)
            chosen = [rng.choice(TYPED_MIXES[mix]) for _ in range(rng.randint(1, 4))]
            frame = pd.DataFrame({i: typed_column(kind, n, rng) for i, kind in enumerate(chosen)},
                                 index=index(n, rng))
            frame.columns = [rng.choice(NAMES) for _ in chosen]
            criteria = {rng.choice(KEYS): rng.choice(TYPED_VALUES) for _ in range(rng.randint(1, 3))}
            threshold = rng.choice([0.3, 0.5, 1, 1.01])
            expected = outcome(py_find_matching_row, frame.copy(), dict(criteria), threshold)
            assert outcome(gu.find_matching_row, frame.copy(), dict(criteria), threshold) == expected, \
                (frame, criteria, threshold)


# ---- the routine's sources read pandas through its public interface only -------------------

ROUTINE_SOURCES = os.path.join(os.path.dirname(__file__), "..", "..", "src", "kestrelflow", "generic_utility",
                               "page_state")
PRIVATE_ATTRIBUTES = re.compile(r"""["'.](_ndarray|_mask|_data|_value|_values|_mgr|_codes)\b""")


def test_the_routine_reads_no_private_pandas_attribute():
    sources = sorted(glob.glob(os.path.join(ROUTINE_SOURCES, "table_rows*")))
    if not sources:
        pytest.skip("the sources are not beside the tests (an installed-only run)")
    found = [f"{os.path.basename(path)}:{number}: {line.strip()}"
             for path in sources
             for number, line in enumerate(open(path, encoding="utf-8"), 1)
             if PRIVATE_ATTRIBUTES.search(line)]
    assert found == []
