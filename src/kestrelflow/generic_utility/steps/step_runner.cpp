// The step runner: a list of steps (click, input, open a URL, read text) run
// one after another against a live browser, with the network timings and a
// screenshot exported after every step.  A failing step is reported and
// skipped; the run goes on with the next one.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/routines.h"

#include <cctype>
#include <chrono>
#include <string>

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

// What one step came to, beyond its outcome: why it is not done (one line),
// and, for a navigation, the address asked for and the page's title.
struct StepNote {
  py::object reason = py::none();
  py::object requested_url;  // a get_url step's address until the page is reached
  py::object title = py::none();
};

// A step's own limits, its optional seventh element: the routine's wait per
// lookup ("timeout") and its number of passes ("retries"); each empty when
// not given, and then the routine's usual value holds.
struct Limits {
  py::object timeout, retries;
};

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
  StepNote note;
};

// ---- reasons ------------------------------------------------------------------

// An error's text on one line, without the message prefix and without the
// driver's native stack ("Stacktrace:\n#0 0x55..." and the like).
py::str one_line(py::handle text) {
  py::str all = py::str(text);
  py::object cut = all.attr("split")("\nStacktrace:")[py::int_(0)];
  cut = py::str(" ").attr("join")(cut.attr("split")());
  cut = cut.attr("removeprefix")("Message: ");
  return py::str(cut);
}

// True when `kind` is Selenium's exception class `name` or derives from it:
// the module-level class of that name when the module binds one, else
// Selenium's own.
bool is_kind_of(py::handle kind, const char* name) {
  py::object cls = module_dict().attr("get")(name);
  if (cls.is_none())
    cls = py::getattr(py::module_::import("selenium.common.exceptions"), name, py::none());
  if (cls.is_none() || !PyType_Check(cls.ptr())) return false;
  int derived = PyObject_IsSubclass(kind.ptr(), cls.ptr());
  if (derived < 0) throw py::error_already_set();
  return derived == 1;
}

// What a locating routine met, in words.  Of the classes it caught, the
// latest that says more than "not there" tells it (a field found but not
// editable, then an empty text not found, is a field not editable); else the
// latest of all.
py::str what_happened(const py::list& kinds) {
  static const std::pair<const char*, const char*> kWords[] = {
      // subclasses before their bases
      {"ElementClickInterceptedException", "intercepted by another element (an overlay)"},
      {"ElementNotInteractableException", "not interactable (hidden, read-only or disabled)"},
      {"InvalidElementStateException", "not editable (read-only or disabled)"},
      {"StaleElementReferenceException", "stale (the page changed under it)"},
      {"InvalidSelectorException", "an XPath or text did not parse"},
      {"JavascriptException", "the script fallback failed"},
      {"TimeoutException", "not found in time"},
      {"NoSuchElementException", "not found"},
  };
  Py_ssize_t count = static_cast<Py_ssize_t>(py::len(kinds));
  if (count == 0) return py::str("no XPath or text to try");
  py::handle kind = kinds[count - 1];
  for (Py_ssize_t i = count - 1; i >= 0; --i) {
    if (!is_kind_of(kinds[i], "TimeoutException") && !is_kind_of(kinds[i], "NoSuchElementException")) {
      kind = kinds[i];
      break;
    }
  }
  for (const auto& [name, words] : kWords)
    if (is_kind_of(kind, name)) return py::str(concat({words, " (", py::object(kind.attr("__name__")), ")"}));
  return py::str(concat({"failed (", py::object(kind.attr("__name__")), ")"}));
}

// "\"a\", \"b\"": the entries of a list, quoted, or "none".
py::str quoted_list(py::handle entries) {
  py::list quoted;
  try {
    for (py::handle entry : py::iter(entries)) quoted.append(concat({"\"", entry, "\""}));
  } catch (...) {
    py::error_already_set e = caught();
    return py::str(py::repr(entries));
  }
  if (py::len(quoted) == 0) return py::str("none");
  return py::str(", ").attr("join")(quoted);
}

// Why a click or an input did not succeed: what happened last, and what was tried.
py::str locating_reason(py::handle el_list, py::handle labels) {
  py::object tried = concat({"tried XPaths ", quoted_list(el_list)});
  if (labels) tried = concat({tried, " and texts ", quoted_list(labels)});
  return one_line(concat({what_happened(caught_kinds()), "; ", tried}));
}

// The keywords a routine is called with: its usual ones, with the step's
// limits in place of the usual time-out and passes.
py::dict with_limits(py::dict keywords, const Limits& limits, const char* timeout_key,
                     const char* passes_key) {
  if (limits.timeout) keywords[timeout_key] = limits.timeout;
  if (limits.retries) keywords[passes_key] = limits.retries;
  return keywords;
}

StepOutcome click_step(Run& run, py::handle el_list, py::handle labels, const Limits& limits) {
  py::dict keywords;
  keywords["max_retries"] = 2;
  keywords["scroll"] = true;
  forget_caught();
  py::object clicked = g("clicking_on_element_by_all_option")(
      run.driver, el_list, labels, **with_limits(keywords, limits, "timeout", "max_retries"));
  if (!is_false(clicked)) return StepOutcome::done;
  run.note.reason = locating_reason(el_list, labels);
  return StepOutcome::not_done;
}

// One input call per value, the value wrapped as the data and as the date.
// A text given where a list of values belongs is one value: iterating it
// would type it a character at a time, each call clearing the last.
StepOutcome input_step(Run& run, py::handle el_list, py::handle input_values,
                       const Limits& limits) {
  py::object values = py::reinterpret_borrow<py::object>(input_values);
  if (PyUnicode_Check(input_values.ptr())) values = one_item_list(input_values);
  StepOutcome outcome = StepOutcome::done;
  for (py::handle value : values) {
    check_signals();
    py::dict keywords;
    keywords["max_attempts"] = 3;
    keywords["timeout"] = 10;
    keywords["scroll"] = false;
    keywords["input_delay"] = 1;
    forget_caught();
    py::object entered = g("input_data_by_all_option")(
        run.driver, el_list, strings({""}), one_item_list(value), one_item_list(value),
        **with_limits(keywords, limits, "timeout", "max_attempts"));
    if (is_false(entered)) {
      outcome = StepOutcome::not_done;
      run.note.reason = locating_reason(el_list, py::handle());
    }
  }
  return outcome;
}

// The page after a navigation, in one command: its address, the
// navigation's response status (0 when the browser has none), its title and,
// on the browser's own error page, the error's code.
constexpr const char* kNavigationState =
    "var n = performance.getEntriesByType('navigation')[0];"
    "var code = document.querySelector('.error-code');"
    "return [String(location.href), n && n.responseStatus ? n.responseStatus : 0,"
    " document.title, code ? code.textContent.trim() : ''];";

// The browser's network error codes a user meets most, in words.
py::str network_error_words(const py::str& code) {
  static const std::pair<const char*, const char*> kWords[] = {
      {"ERR_CONNECTION_REFUSED", "the connection was refused"},
      {"ERR_NAME_NOT_RESOLVED", "the host name did not resolve (DNS)"},
      {"ERR_CONNECTION_TIMED_OUT", "the connection timed out"},
      {"ERR_TIMED_OUT", "the connection timed out"},
      {"ERR_CONNECTION_RESET", "the connection was reset"},
      {"ERR_CONNECTION_CLOSED", "the connection was closed"},
      {"ERR_EMPTY_RESPONSE", "the server sent nothing"},
      {"ERR_ADDRESS_UNREACHABLE", "the address is unreachable"},
      {"ERR_INTERNET_DISCONNECTED", "the machine is offline"},
      {"ERR_SSL_PROTOCOL_ERROR", "the secure connection failed"},
  };
  for (const auto& [name, words] : kWords)
    if (eq(code, name)) return py::str(concat({words, " (", py::object(code), ")"}));
  if (truthy(code.attr("startswith")("ERR_CERT_")))
    return py::str(concat({"the site's certificate was refused (", py::object(code), ")"}));
  return truthy(code) ? code : py::str("an unknown network error");
}

// Why a navigation failed, or an empty object when it succeeded; keeps the
// page's title.  A page the question cannot be put to is taken as loaded:
// the step's export reports a dead session on its own.
py::object navigation_failure(Run& run) {
  py::object state;
  try {
    state = run_script(run.driver, kNavigationState);
  } catch (...) {
    py::error_already_set e = caught();
    return py::object();
  }
  py::str href(state[py::int_(0)]);
  py::object status = state[py::int_(1)];
  run.note.title = state[py::int_(2)];
  if (truthy(href.attr("startswith")("chrome-error:")))
    return concat({"the browser could not open the page: ",
                   network_error_words(py::str(state[py::int_(3)]))});
  if (status >= py::int_(400)) {
    py::object phrase = py::str("");
    try {
      phrase = concat(
          {" ", py::object(py::module_::import("http").attr("HTTPStatus")(status).attr("phrase"))});
    } catch (...) {
      py::error_already_set e = caught();
    }
    return concat({"the server answered HTTP ", status, phrase});
  }
  return py::object();
}

// Why a navigation raised: the driver reports the browser's network errors
// as "unknown error: net::ERR_..." and an address it cannot take (a relative
// one, say) as "invalid argument"; other errors are told as they are.
py::str navigation_error_reason(const py::str& error_text, py::handle url) {
  std::string text = error_text.cast<std::string>();
  if (text.rfind("Message: invalid argument", 0) == 0 || text.rfind("invalid argument", 0) == 0)
    return one_line(concat({"the browser refused the address ", py::repr(url),
                            " (invalid argument: an address needs its scheme, such as https://)"}));
  size_t at = text.find("net::ERR_");
  if (at == std::string::npos) return one_line(error_text);
  size_t end = at + 5;
  while (end < text.size() && (std::isupper(static_cast<unsigned char>(text[end])) ||
                               std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '_'))
    ++end;
  return py::str(concat({"the browser could not open the page: ",
                         py::object(network_error_words(py::str(text.substr(at + 5, end - at - 5))))}));
}

StepOutcome get_url_step(Run& run, py::handle input_values) {
  py::object url = input_values[py::int_(0)];
  run.note.requested_url = url;
  run.driver.attr("get")(url);
  say({"🌐 Navigated to: ", url});
  py::object failure = navigation_failure(run);
  if (!failure) {
    run.note.requested_url = py::object();  // the page reached tells its own address
    return StepOutcome::done;
  }
  run.note.reason = one_line(failure);
  return StepOutcome::not_done;
}

// Reads the element's text, keeps it, and lets the three special step names
// act on it.
StepOutcome read_step(Run& run, py::handle step_name, py::handle el_list, const Limits& limits) {
  py::dict keywords;
  keywords["max_retries"] = 3;
  keywords["retry_delay"] = 1;
  keywords["waittime"] = 3;
  py::object extracted = g("extract_text")(
      run.driver, el_list, **with_limits(keywords, limits, "waittime", "max_retries"));
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
  if (!is_false(extracted)) return StepOutcome::done;
  run.note.reason = one_line(concat({"nothing was read from the XPaths ", quoted_list(el_list)}));
  return StepOutcome::not_done;
}

// Runs one step; `step_name` and `action` are set once the step's elements
// have been read.  Returns the outcome of its action.
Limits step_limits(py::handle step) {
  Limits limits;
  Py_ssize_t size = PyObject_Length(step.ptr());
  if (size < 0) {
    caught();  // a step without a length has no seventh element
    return limits;
  }
  if (size < 7) return limits;
  py::object given = step[py::int_(6)];
  if (given.is_none()) return limits;
  if (!PyDict_Check(given.ptr()))
    raise(PyExc_TypeError,
          str_of("a step's seventh element is a mapping of its timeout and retries"));
  py::dict mapping = py::reinterpret_borrow<py::dict>(given);
  if (mapping.contains("timeout")) limits.timeout = mapping["timeout"];
  if (mapping.contains("retries")) limits.retries = mapping["retries"];
  return limits;
}

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
    outcome = click_step(run, el_list, labels, step_limits(step));
  } else if (eq(action, "input")) {
    outcome = input_step(run, el_list, step[py::int_(5)], step_limits(step));
  } else if (eq(action, "get_url")) {
    outcome = get_url_step(run, step[py::int_(5)]);
  } else if (eq(action, "Scrap_data")) {
    outcome = read_step(run, step_name, el_list, step_limits(step));
  } else {
    run.note.reason = one_line(concat({py::repr(action), " is not an action (click, input, get_url, Scrap_data)"}));
  }

  sleep(delay);
  g("export_network_logs")(run.driver, concat({run.web_app_name, " - ", step_name}),
                           run.Screenshots_path, py::arg("file_path") = run.file_path,
                           py::arg("step_type") = step_name, py::arg("action_type") = step_name,
                           py::arg("Base_path") = run.Base_path);
  sleep(run.sleep_time);
  return outcome;
}

py::dict step_result(py::handle name, py::handle action, StepOutcome outcome,
                     const StepNote& note, double seconds, py::handle error, py::handle url) {
  py::dict result;
  result["step"] = name;
  result["action"] = action;
  result["outcome"] = py::str(outcome_text(outcome));
  result["reason"] = outcome == StepOutcome::done ? py::none() : note.reason;
  result["seconds"] = py::float_(seconds);
  result["error"] = error;
  result["url"] = url;
  result["title"] = note.title;
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
          application_validation_box, sleep_time, py::list(), py::dict(), StepNote()};
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
    run.note = StepNote();
    try {
      StepOutcome outcome = run_one_step(run, step, step_name, action);
      // A failed navigation is told by the address that was asked for.
      py::object url =
          run.note.requested_url ? run.note.requested_url : current_url_or_empty(driver);
      step_results.append(step_result(step_name, action, outcome, run.note,
                                      seconds_since(started), py::none(), url));
    } catch (...) {
      py::error_already_set e = caught();
      py::object name = failed_step_name(step_name, step, position);
      say({"⚠️ Error during '", name, "': ", e});
      py::object url = run.note.requested_url ? run.note.requested_url
                                              : current_url_or_empty(driver);
      py::str error_text(e.value());
      py::dict record;
      record["ServiceName"] = concat({SERVICE_NAME, " - ", name});
      record["URL"] = url;
      record["Error"] = error_text;
      error_records.append(record);
      run.note.reason = run.note.requested_url
                            ? navigation_error_reason(error_text, run.note.requested_url)
                                               : one_line(error_text);
      step_results.append(step_result(name, action, StepOutcome::error, run.note,
                                      seconds_since(started), one_line(error_text), url));
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
