// The step runner: a list of steps (click, input, open a URL, read text) run
// one after another against a live browser, with the network timings and a
// screenshot exported after every step.  A failing step is reported and
// skipped; the run goes on with the next one.
#include "frame/calls.h"
#include "frame/routines.h"

#include <chrono>

namespace kf {
namespace {

// The name a failed step is reported under.  A step that could not even be
// read (it lacks one of its first five elements) is named by its own first
// element when it has one, else by its 1-based position in the run.
py::object failed_step_name(py::handle step_name, py::handle step, size_t position) {
  if (step_name) return py::reinterpret_borrow<py::object>(step_name);
  try {
    return step[py::int_(0)];
  } catch (...) {
    py::error_already_set e = caught();
    return concat({"step ", position});
  }
}

// driver.current_url, or "" when it cannot be read: a driver without the
// attribute, or a session that has died (its browser or driver gone), whose
// every command raises.  The run's records must survive a dead browser.
py::object current_url_or_empty(py::handle driver) {
  try {
    return driver.attr("current_url");
  } catch (...) {
    py::error_already_set e = caught();
    return py::str("");
  }
}

// What became of one step, as reported under "step_results".
enum class StepOutcome { done, not_done, no_action, error };

const char* outcome_text(StepOutcome outcome) {
  switch (outcome) {
    case StepOutcome::done: return "done";
    case StepOutcome::not_done: return "not done";
    case StepOutcome::no_action: return "no action";
    case StepOutcome::error: return "error";
  }
  return "error";
}

// A routine's result that reports failure: the False object itself (an empty
// text read is a successful read).
bool is_false(py::handle result) { return result.ptr() == Py_False; }

double seconds_since(std::chrono::steady_clock::time_point start) {
  std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  // Milliseconds are plenty for a step and keep the reports readable.
  return static_cast<double>(static_cast<long long>(spent.count() * 1000.0 + 0.5)) / 1000.0;
}

struct Run {
  py::handle driver;
  py::handle web_app_name;
  py::handle file_path;
  py::handle Base_path;
  py::handle Screenshots_path;
  py::handle application_validation_box;
  py::handle sleep_time;
  py::list data_extracted;
  py::dict context;
};

StepOutcome click_step(Run& run, py::handle el_list, py::handle labels) {
  py::object clicked = by_name::click(run.driver, el_list, labels, 2, true);
  return is_false(clicked) ? StepOutcome::not_done : StepOutcome::done;
}

// One input call per value, the value wrapped as the data and as the date.
// A text given where a list of values belongs is one value: iterating it
// would type it a character at a time, each call clearing the last.
StepOutcome input_step(Run& run, py::handle el_list, py::handle input_values) {
  py::object values = py::reinterpret_borrow<py::object>(input_values);
  if (PyUnicode_Check(input_values.ptr())) values = one_item_list(input_values);
  StepOutcome outcome = StepOutcome::done;
  for (py::handle value : values) {
    check_signals();
    py::object entered = by_name::type_value_as_data_and_date(run.driver, el_list, value);
    if (is_false(entered)) outcome = StepOutcome::not_done;
  }
  return outcome;
}

void get_url_step(Run& run, py::handle input_values) {
  py::object url = input_values[py::int_(0)];
  run.driver.attr("get")(url);
  say({"🌐 Navigated to: ", url});
}

// Reads the element's text, keeps it, and lets the three special step names
// act on it.
StepOutcome read_step(Run& run, py::handle step_name, py::handle el_list) {
  py::object extracted = g("extract_text")(run.driver, el_list, py::arg("max_retries") = 3,
                                           py::arg("retry_delay") = 1, py::arg("waittime") = 3);
  py::dict entry;
  entry["step"] = step_name;
  entry["value"] = extracted;
  run.data_extracted.append(entry);

  if (eq(step_name, "Scrap Application_number")) {
    py::object pieces = extracted.attr("split")("-");
    py::object number = pieces[py::int_(-1)].attr("strip")();
    module_dict()["App_number"] = number;
    say({"✅ Extracted App Number: ", number});
  }
  if (eq(step_name, "Getting_application_validation")) {
    py::object app_cancel =
        g("extract_text")(run.driver, run.application_validation_box, py::arg("max_retries") = 3,
                          py::arg("retry_delay") = 1, py::arg("waittime") = 1);
    if (truthy(app_cancel)) {
      py::object number = g("extract_application_number")(extracted);
      run.context["app_cancel_No"] = number;
      say_values({number});
    }
  }
  if (eq(step_name, "Detect_language")) {
    py::object lang = g("detect_language")(extracted);
    py::object switch_lang = py::none();
    if (eq(lang, "English")) {
      switch_lang = py::bool_(false);
    } else if (eq(lang, "Arabic")) {
      switch_lang = py::bool_(true);
    }
    run.context["switch_lang"] = switch_lang;
    say_values({py::str("lang ===>"), lang, py::str("| switch_lang ===>"), switch_lang});
  }
  return is_false(extracted) ? StepOutcome::not_done : StepOutcome::done;
}

// Runs one step; `step_name` and `action` are set once the step's elements
// have been read.  Returns the outcome of its action.
StepOutcome run_one_step(Run& run, py::handle step, py::object& step_name, py::object& action_out) {
  // Elements 0 to 4 are all read before any is kept.
  py::object name = step[py::int_(0)];
  py::object action = step[py::int_(1)];
  py::object el_list = step[py::int_(2)];
  py::object labels = step[py::int_(3)];
  py::object delay = step[py::int_(4)];
  step_name = name;
  action_out = action;

  say({"\n=== STEP: ", step_name, " ==="});
  StepOutcome outcome = StepOutcome::no_action;
  if (eq(action, "click")) {
    outcome = click_step(run, el_list, labels);
  } else if (eq(action, "input")) {
    outcome = input_step(run, el_list, step[py::int_(5)]);
  } else if (eq(action, "get_url")) {
    get_url_step(run, step[py::int_(5)]);
    outcome = StepOutcome::done;
  } else if (eq(action, "Scrap_data")) {
    outcome = read_step(run, step_name, el_list);
  }

  sleep(delay);
  g("export_network_logs")(run.driver, concat({run.web_app_name, " - ", step_name}),
                           run.Screenshots_path, py::arg("file_path") = run.file_path,
                           py::arg("step_type") = step_name, py::arg("action_type") = step_name,
                           py::arg("Base_path") = run.Base_path);
  sleep(run.sleep_time);
  return outcome;
}

py::dict step_result(py::handle name, py::handle action, StepOutcome outcome, double seconds,
                     py::handle error, py::handle url) {
  py::dict result;
  result["step"] = name;
  result["action"] = action;
  result["outcome"] = py::str(outcome_text(outcome));
  result["seconds"] = py::float_(seconds);
  result["error"] = error;
  result["url"] = url;
  return result;
}

}  // namespace

py::object run_steps(Arg driver, Arg step_list, Arg web_app_name, Arg file_path, Arg Base_path,
                     Arg SERVICE_NAME, Arg Screenshots_path, Arg application_validation_box,
                     Arg sleep_time) {
  // One record per failed step, and one result per step, handed back in the
  // context so that a script can tell what became of every step.
  py::list error_records;
  py::list step_results;
  Run run{driver, web_app_name, file_path, Base_path, Screenshots_path,
          application_validation_box, sleep_time, py::list(), py::dict()};
  run.context["switch_lang"] = py::none();
  run.context["app_cancel_No"] = py::none();
  run.context["error_records"] = error_records;
  run.context["step_results"] = step_results;

  size_t position = 0;
  for (py::handle step : py::iter(step_list)) {
    check_signals();
    ++position;
    auto started = std::chrono::steady_clock::now();
    py::object step_name;  // set once the step's elements have been read
    py::object action = py::none();
    try {
      StepOutcome outcome = run_one_step(run, step, step_name, action);
      step_results.append(step_result(step_name, action, outcome, seconds_since(started),
                                      py::none(), current_url_or_empty(driver)));
    } catch (...) {
      py::error_already_set e = caught();
      py::object name = failed_step_name(step_name, step, position);
      say({"⚠️ Error during '", name, "': ", e});
      py::object url = current_url_or_empty(driver);
      py::str error_text(e.value());
      py::dict record;
      record["ServiceName"] = concat({SERVICE_NAME, " - ", name});
      record["URL"] = url;
      record["Error"] = error_text;
      error_records.append(record);
      step_results.append(step_result(name, action, StepOutcome::error, seconds_since(started),
                                      error_text, url));
    }
  }
  return py::make_tuple(run.context, run.data_extracted);
}

py::object get_step_value(Arg data_dict, Arg step_name, Arg key) {
  // An exact dict cannot have its `get` replaced: look the values up directly.
  if (PyDict_CheckExact(data_dict.ptr())) {
    PyObject* inner = PyDict_GetItemWithError(data_dict.ptr(), step_name.ptr());
    if (inner == nullptr) {
      if (PyErr_Occurred()) throw py::error_already_set();
      // The step is missing: `{}.get(key)` still hashes the key.
      if (PyObject_Hash(key.ptr()) == -1) throw py::error_already_set();
      return py::none();
    }
    if (PyDict_CheckExact(inner)) {
      // Held: the lookup may run Python code that drops the entry.
      py::object holder = py::reinterpret_borrow<py::object>(inner);
      PyObject* value = PyDict_GetItemWithError(inner, key.ptr());
      if (value == nullptr) {
        if (PyErr_Occurred()) throw py::error_already_set();
        return py::none();
      }
      return py::reinterpret_borrow<py::object>(value);
    }
    return call_method(inner, "get", {key});
  }
  py::object inner = call_method(data_dict, "get", {step_name, py::dict()});
  return call_method(inner, "get", {key});
}

}  // namespace kf
