"""run_steps and get_step_value.

The routines the runner calls are rebound on the module with recording routines:
that both isolates the runner and proves it looks them up at call time.
"""
import pytest

import kestrelflow.generic_utility as gu
from fakes import FakeDriver, Recorder

DEFAULT_CONTEXT = {"switch_lang": None, "app_cancel_No": None, "error_records": []}


def without_results(context):
    """The context less its per-step results (asserted on their own)."""
    return {key: value for key, value in context.items() if key != "step_results"}


@pytest.fixture
def routines(monkeypatch):
    """Every routine the runner may call, rebound to a recorder."""
    names = ("clicking_on_element_by_all_option", "input_data_by_all_option", "extract_text",
             "extract_application_number", "detect_language", "export_network_logs")
    recorders = {}
    for name in names:
        recorders[name] = Recorder(name)
        monkeypatch.setattr(gu, name, recorders[name])
    return recorders


@pytest.fixture
def no_app_number():
    """App_number does not exist before the first read that binds it."""
    vars(gu).pop("App_number", None)
    yield
    vars(gu).pop("App_number", None)


def run(driver, steps, **kwargs):
    return gu.run_steps(driver, steps, "Portal", "timings.csv", "base", "Service", "shots",
                        **kwargs)


class Name:
    """A step name that counts how often it is formatted."""

    def __init__(self, text):
        self.text = text
        self.formatted = 0

    def __str__(self):
        self.formatted += 1
        return self.text


# ---- dispatch ------------------------------------------------------------------------

def test_click_step_calls_the_click_then_sleeps_and_exports(driver, routines, clock, out):
    xpaths, labels = ["//button[@id='go']"], ["Search"]
    context, data = run(driver, [["Press search", "click", xpaths, labels, 2]])

    assert (without_results(context), data) == (DEFAULT_CONTEXT, [])
    [(_, args, kwargs)] = routines["clicking_on_element_by_all_option"].calls
    assert args[0] is driver and args[1] is xpaths and args[2] is labels and len(args) == 3
    assert kwargs == {"max_retries": 2, "scroll": True}
    [(_, args, kwargs)] = routines["export_network_logs"].calls
    assert args == (driver, "Portal - Press search", "shots")
    assert kwargs == {"file_path": "timings.csv", "step_type": "Press search",
                      "action_type": "Press search", "Base_path": "base"}
    assert clock.sleeps == [2, 0.5]
    assert out() == ["", "=== STEP: Press search ==="]
    assert routines["input_data_by_all_option"].calls == routines["extract_text"].calls == []


def test_export_label_and_types_use_the_values_as_given(driver, routines, clock):
    run(driver, [(7, "none", [], [], 0)], sleep_time=0.25)
    [(_, args, kwargs)] = routines["export_network_logs"].calls
    assert args[1] == "Portal - 7"
    assert kwargs["step_type"] == 7 and kwargs["action_type"] == 7
    assert clock.sleeps == [0, 0.25]


def test_input_step_types_each_value_in_its_own_call(driver, routines, clock, out):
    xpaths = ["//input[@id='q']"]
    run(driver, [["Type", "input", xpaths, ["ignored"], 1, ("abc", 42)]], sleep_time=0)

    calls = routines["input_data_by_all_option"].calls
    assert [args[1:] for _, args, _ in calls] == [(xpaths, [""], ["abc"], ["abc"]),
                                               (xpaths, [""], [42], [42])]
    for _, args, kwargs in calls:
        assert args[0] is driver and args[1] is xpaths
        assert args[3] is not args[4]  # data and date are separate lists
        assert kwargs == {"max_attempts": 3, "timeout": 10, "scroll": False, "input_delay": 1}
    assert clock.sleeps == [1, 0]
    assert len(routines["export_network_logs"].calls) == 1
    assert out() == ["", "=== STEP: Type ==="]


def test_input_step_without_values_types_nothing(driver, routines, clock):
    run(driver, [["Type", "input", ["//input"], [], 0, []]])
    assert routines["input_data_by_all_option"].calls == []
    assert len(routines["export_network_logs"].calls) == 1
    assert clock.sleeps == [0, 0.5]


def test_get_url_opens_the_first_value_and_says_so(driver, pages, routines, clock, out):
    url = pages.url("steps_portal.html")
    run(driver, [["Open", "get_url", [], [], 0, [url, "not used"]]])
    assert driver.current_url == url
    assert out() == ["", "=== STEP: Open ===", "🌐 Navigated to: " + url]
    assert len(routines["export_network_logs"].calls) == 1


def test_other_actions_do_nothing_but_still_sleep_and_export(driver, routines, clock, out):
    steps = [["A", "Click", ["//a"], ["a"], 3], ["B", None, [], [], 4], ["C", "get_url ", [], [], 5]]
    context, data = run(driver, steps, sleep_time=1)
    assert (without_results(context), data) == (DEFAULT_CONTEXT, [])
    for name in ("clicking_on_element_by_all_option", "input_data_by_all_option", "extract_text"):
        assert routines[name].calls == []
    assert [kwargs["step_type"] for _, _, kwargs in routines["export_network_logs"].calls] == ["A", "B", "C"]
    assert clock.sleeps == [3, 1, 4, 1, 5, 1]
    assert out() == ["", "=== STEP: A ===", "", "=== STEP: B ===", "", "=== STEP: C ==="]


def test_steps_may_be_tuples_from_any_iterable(driver, routines, clock):
    steps = (("S%d" % i, "click", [], [], i) for i in range(3))
    run(driver, steps, sleep_time=0)
    assert len(routines["clicking_on_element_by_all_option"].calls) == 3
    assert clock.sleeps == [0, 0, 1, 0, 2, 0]


def test_empty_step_list_returns_the_fresh_context_and_prints_nothing(driver, routines, clock, out):
    context, data = run(driver, [])
    assert (context, data) == ({**DEFAULT_CONTEXT, "step_results": []}, [])
    assert list(context) == ["switch_lang", "app_cancel_No", "error_records", "step_results"]
    assert out() == [] and clock.sleeps == [] and routines["export_network_logs"].calls == []


# ---- read steps ------------------------------------------------------------------------

def test_read_steps_collect_every_result_in_order(driver, routines, clock, out):
    routines["extract_text"].answer = lambda d, xpaths, **kw: {"//p[1]": "First", "//p[2]": ""}.get(
        xpaths[0], False)
    context, data = run(driver, [["One", "Scrap_data", ["//p[1]"], [], 0],
                                 ["Two", "Scrap_data", ["//p[2]"], [], 0],
                                 ["Three", "Scrap_data", ["//nowhere"], [], 0]])
    assert data == [{"step": "One", "value": "First"}, {"step": "Two", "value": ""},
                    {"step": "Three", "value": False}]
    assert [list(entry) for entry in data] == [["step", "value"]] * 3
    assert without_results(context) == DEFAULT_CONTEXT
    for _, args, kwargs in routines["extract_text"].calls:
        assert args[0] is driver and len(args) == 2
        assert kwargs == {"max_retries": 3, "retry_delay": 1, "waittime": 3}
    assert len(routines["export_network_logs"].calls) == 3


def test_application_number_read_binds_App_number(driver, routines, clock, out, no_app_number):
    routines["extract_text"].answer = "Application-12345 "
    run(driver, [["Scrap Application_number", "Scrap_data", ["//p"], [], 0]])
    assert gu.App_number == "12345" and "App_number" in vars(gu)
    assert out()[-1] == "✅ Extracted App Number: 12345"

    # It outlives the call and is left alone by runs without that read.
    routines["extract_text"].answer = "Application-999"
    run(driver, [["Other", "Scrap_data", ["//p"], [], 0]])
    assert gu.App_number == "12345"


def test_application_number_read_of_no_text_fails_the_step(driver, routines, clock, out,
                                                           no_app_number):
    routines["extract_text"].answer = False
    context, data = run(driver, [["Scrap Application_number", "Scrap_data", ["//p"], [], 0]])
    assert data == [{"step": "Scrap Application_number", "value": False}]
    assert "App_number" not in vars(gu)
    assert out()[-1] == ("⚠️ Error during 'Scrap Application_number': "
                         "'bool' object has no attribute 'split'")
    assert clock.sleeps == [] and routines["export_network_logs"].calls == []


def test_validation_read_takes_the_number_from_its_own_text(driver, routines, clock, out):
    box = ["//div[@id='validation']"]
    texts = {"//p": "Cancelled application 202500123456", box[0]: "Cancel requested"}
    routines["extract_text"].answer = lambda d, xpaths, **kw: texts[xpaths[0]]
    routines["extract_application_number"].answer = "202500123456"

    context, _ = run(driver, [["Getting_application_validation", "Scrap_data", ["//p"], [], 0]],
                     application_validation_box=box)

    _, (_, args, kwargs) = routines["extract_text"].calls
    assert args == (driver, box) and kwargs == {"max_retries": 3, "retry_delay": 1, "waittime": 1}
    assert routines["extract_application_number"].calls == [
        ("extract_application_number", ("Cancelled application 202500123456",), {})]
    assert without_results(context) == {"switch_lang": None, "app_cancel_No": "202500123456",
                                        "error_records": []}
    assert out()[-1] == "202500123456"


def test_validation_read_with_an_empty_box_changes_nothing(driver, routines, clock, out):
    routines["extract_text"].answer = lambda d, xpaths, **kw: "" if xpaths is None else "text"
    context, _ = run(driver, [["Getting_application_validation", "Scrap_data", ["//p"], [], 0]])
    assert routines["extract_text"].calls[1].args == (driver, None)
    assert routines["extract_application_number"].calls == []
    assert without_results(context) == DEFAULT_CONTEXT
    assert out() == ["", "=== STEP: Getting_application_validation ==="]


def test_language_read_sets_switch_lang_for_each_answer(driver, routines, clock, out):
    answers = iter(["English", "Arabic", "Unknown"])
    routines["detect_language"].answer = lambda text: next(answers)
    routines["extract_text"].answer = "نص"

    step = ["Detect_language", "Scrap_data", ["//p"], [], 0]
    context, data = run(driver, [step, step, step])
    assert [args for _, args, _ in routines["detect_language"].calls] == [("نص",)] * 3
    assert without_results(context) == DEFAULT_CONTEXT  # the last answer resets True to None
    lines = [line for line in out() if line.startswith("lang")]
    assert lines == ["lang ===> English | switch_lang ===> False",
                     "lang ===> Arabic | switch_lang ===> True",
                     "lang ===> Unknown | switch_lang ===> None"]
    assert len(data) == 3


def test_each_call_starts_from_a_fresh_context(driver, routines, clock):
    routines["extract_text"].answer = "text"
    routines["detect_language"].answer = "English"
    first, _ = run(driver, [["Detect_language", "Scrap_data", ["//p"], [], 0]])
    second, _ = run(driver, [])
    assert without_results(first) == {"switch_lang": False, "app_cancel_No": None,
                                      "error_records": []}
    assert without_results(second) == DEFAULT_CONTEXT and second is not first
    assert second["step_results"] == []


# ---- failures ------------------------------------------------------------------------------

def test_a_failing_step_is_reported_and_the_run_goes_on(driver, routines, clock, out):
    def click(d, xpaths, labels, **kw):
        if xpaths == ["//bad"]:
            raise RuntimeError("element exploded")
        return True
    routines["clicking_on_element_by_all_option"].answer = click

    steps = [["First", "click", ["//ok"], [], 1],
             ["Second", "click", ["//bad"], [], 2],
             ["Third", "click", ["//ok"], [], 3]]
    context, data = run(driver, steps, sleep_time=0.5)
    assert data == []
    assert without_results(context) == {"switch_lang": None, "app_cancel_No": None, "error_records": [
        {"ServiceName": "Service - Second", "URL": "about:blank", "Error": "element exploded"}]}
    assert out() == ["", "=== STEP: First ===",
                     "", "=== STEP: Second ===",
                     "⚠️ Error during 'Second': element exploded",
                     "", "=== STEP: Third ==="]
    assert clock.sleeps == [1, 0.5, 3, 0.5]
    assert [k["step_type"] for _, _, k in routines["export_network_logs"].calls] == ["First", "Third"]


def test_a_failing_export_skips_only_the_sleep_after_it(driver, routines, clock, out):
    routines["export_network_logs"].answer = KeyError("duration")
    run(driver, [["A", "none", [], [], 2], ["B", "none", [], [], 3]], sleep_time=9)
    assert clock.sleeps == [2, 3]
    assert out()[2::3] == ["⚠️ Error during 'A': 'duration'", "⚠️ Error during 'B': 'duration'"]


def test_a_step_missing_elements_is_named_by_its_own_first_element(driver, routines, clock, out):
    first, short = Name("First"), Name("Short")
    steps = [[first, "click", [], [], 0], [short, "click"], ["Last", "click", [], [], 0]]
    run(driver, steps)
    assert out() == ["", "=== STEP: First ===",
                     "⚠️ Error during 'Short': list index out of range",
                     "", "=== STEP: Last ==="]
    assert len(routines["clicking_on_element_by_all_option"].calls) == 2
    # The short step's name went into its error line and its error record,
    # the previous step's name only into its own header and export label.
    assert short.formatted == 2 and first.formatted == 2


def test_a_step_without_a_first_element_is_named_by_its_position(driver, routines, clock, out):
    context, _ = run(driver, [[], ["Ok", "none", [], [], 0], None, 5])
    assert [(r["ServiceName"], r["Error"]) for r in context["error_records"]] == [
        ("Service - step 1", "list index out of range"),
        ("Service - step 3", "'NoneType' object is not subscriptable"),
        ("Service - step 4", "'int' object is not subscriptable")]
    assert out() == ["⚠️ Error during 'step 1': list index out of range",
                     "", "=== STEP: Ok ===",
                     "⚠️ Error during 'step 3': 'NoneType' object is not subscriptable",
                     "⚠️ Error during 'step 4': 'int' object is not subscriptable"]


def test_missing_values_of_input_and_get_url_fail_the_step(driver, routines, clock, out):
    run(driver, [["In", "input", [], [], 0], ["Go", "get_url", [], [], 0, []]])
    assert out() == ["", "=== STEP: In ===", "⚠️ Error during 'In': list index out of range",
                     "", "=== STEP: Go ===", "⚠️ Error during 'Go': list index out of range"]
    assert clock.sleeps == []


def test_the_error_record_reads_the_url_of_a_driver_that_has_one(routines, clock, out):
    routines["clicking_on_element_by_all_option"].answer = ValueError("no click")
    step = ["S", "click", [], [], 0]
    context, _ = run(object(), [step, step])  # a driver without current_url
    assert context["error_records"] == [{"ServiceName": "Service - S", "URL": "", "Error": "no click"}] * 2
    assert out().count("⚠️ Error during 'S': no click") == 2


def test_a_dead_session_keeps_the_run_and_its_records(routines, clock, out):
    # A browser that has gone answers every command, current_url included,
    # with an error: the run still reaches its end with every record.
    routines["clicking_on_element_by_all_option"].answer = ValueError("no click")
    step = ["S", "click", [], [], 0]
    context, data = run(FakeDriver(current_url=RuntimeError("browser gone")), [step, step])
    assert context["error_records"] == [{"ServiceName": "Service - S", "URL": "", "Error": "no click"}] * 2
    assert [(r["outcome"], r["url"]) for r in context["step_results"]] == [("error", "")] * 2
    assert len(routines["clicking_on_element_by_all_option"].calls) == 2


def test_an_interrupt_ends_the_run(driver, routines, clock, out):
    routines["clicking_on_element_by_all_option"].answer = KeyboardInterrupt()
    with pytest.raises(KeyboardInterrupt):
        run(driver, [["A", "click", [], [], 0], ["B", "click", [], [], 0]])
    assert out() == ["", "=== STEP: A ==="]


def test_a_step_list_that_is_not_iterable_raises(driver, routines):
    with pytest.raises(TypeError):
        run(driver, None)


# ---- step outcomes ---------------------------------------------------------------------------

def failing_on(bad):
    """A routine answer that reports failure (False) for the XPath list `bad`."""
    return lambda d, xpaths, *args, **kw: xpaths != bad and "text"


@pytest.mark.parametrize("step, outcome", [
    (["Press", "click", ["//ok"], [], 0], "done"),
    (["Press", "click", ["//bad"], [], 0], "not done"),
    (["Type", "input", ["//ok"], [], 0, ["a", "b"]], "done"),
    (["Type", "input", ["//bad"], [], 0, ["a", "b"]], "not done"),
    (["Read", "Scrap_data", ["//ok"], [], 0], "done"),
    (["Read", "Scrap_data", ["//bad"], [], 0], "not done"),
    (["Open", "get_url", [], [], 0, ["about:blank"]], "done"),
    (["Press", "Click", ["//ok"], [], 0], "no action"),
])
def test_each_step_has_its_outcome(driver, routines, clock, out, step, outcome):
    for name in ("clicking_on_element_by_all_option", "input_data_by_all_option", "extract_text"):
        routines[name].answer = failing_on(["//bad"])
    context, _ = run(driver, [step])
    [result] = context["step_results"]
    assert list(result) == ["step", "action", "outcome", "reason", "seconds", "error", "url", "title"]
    assert (result["step"], result["action"], result["outcome"]) == (step[0], step[1], outcome)
    assert (result["reason"] is None) == (outcome == "done")
    assert result["error"] is None and result["url"] == "about:blank"
    assert isinstance(result["seconds"], float) and result["seconds"] >= 0
    assert context["error_records"] == []


def test_an_empty_read_is_done_and_one_failed_input_value_fails_the_step(driver, routines, clock):
    routines["extract_text"].answer = ""
    answers = iter([True, False, True])
    routines["input_data_by_all_option"].answer = lambda *a, **kw: next(answers)
    context, _ = run(driver, [["Read", "Scrap_data", ["//p"], [], 0],
                              ["Type", "input", ["//i"], [], 0, ["a", "b", "c"]]])
    assert [r["outcome"] for r in context["step_results"]] == ["done", "not done"]


def test_a_raising_step_is_an_error_with_its_record(driver, routines, clock, out):
    routines["clicking_on_element_by_all_option"].answer = RuntimeError("element exploded")
    context, _ = run(driver, [["Press", "click", [], [], 0], [], ["Next", "none", [], [], 0]])
    assert [(r["step"], r["action"], r["outcome"], r["error"], r["url"])
            for r in context["step_results"]] == [
        ("Press", "click", "error", "element exploded", "about:blank"),
        ("step 2", None, "error", "list index out of range", "about:blank"),
        ("Next", "none", "no action", None, "about:blank")]
    assert len(context["error_records"]) == 2


@pytest.mark.parametrize("values, typed", [
    ("Alice", ["Alice"]),
    (["Alice"], ["Alice"]),
    (("Al", "ice"), ["Al", "ice"]),
])
def test_input_values_given_as_one_text_are_one_value(driver, routines, clock, values, typed):
    run(driver, [["Type", "input", ["//input"], [], 0, values]])
    assert [args[3] for _, args, _ in routines["input_data_by_all_option"].calls] == [[v] for v in typed]


# ---- get_step_value -------------------------------------------------------------------------

def test_get_step_value_reads_two_levels():
    data = {"Login": {"user": "amal", "ok": None}, "Empty": {}}
    assert gu.get_step_value(data, "Login", "user") == "amal"
    assert gu.get_step_value(data_dict=data, step_name="Login", key="user") == "amal"
    assert gu.get_step_value(data, "Login", "ok") is None
    assert gu.get_step_value(data, "Login", "missing") is None
    assert gu.get_step_value(data, "Nowhere", "user") is None
    assert gu.get_step_value({}, "Empty", "x") is None


def test_get_step_value_uses_get_of_other_mappings():
    class Steps(dict):
        def get(self, name, default=None):
            return {"key": "from " + name}

    class Values:
        def get(self, key):
            return key.upper()

    assert gu.get_step_value(Steps(), "step", "key") == "from step"
    assert gu.get_step_value({"s": Values()}, "s", "abc") == "ABC"


def test_get_step_value_errors():
    with pytest.raises(TypeError, match="unhashable"):
        gu.get_step_value({}, "missing", ["list key"])
    with pytest.raises(TypeError, match="unhashable"):
        gu.get_step_value({"s": {}}, ["list step"], "k")
    with pytest.raises(AttributeError):
        gu.get_step_value({"s": "not a dict"}, "s", "k")
    with pytest.raises(AttributeError):
        gu.get_step_value(None, "s", "k")
