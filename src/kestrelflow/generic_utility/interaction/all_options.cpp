// The pass loop of the all-options locator convention.
#include "interaction/all_options.h"

#include <cmath>

namespace kf::all_options {

void Pause::after_pass(long passes_done) const {
  if (per_pass_ == 0) return;
  double seconds = per_pass_ * static_cast<double>(passes_done);
  // Whole seconds per pass sleep an int, as `1 * retry_count` would.
  if (std::floor(per_pass_) == per_pass_)
    sleep(py::int_(static_cast<long long>(seconds)));
  else
    sleep(py::float_(seconds));
}

namespace {

bool below(long counter, py::handle limit) {
  int result = PyObject_RichCompareBool(py::int_(counter).ptr(), limit.ptr(), Py_LT);
  if (result < 0) throw py::error_already_set();
  return result != 0;
}

}  // namespace

Outcome run_passes(py::handle entries, py::handle limit, const char* what, const Pause& pause,
                   const TryEntry& try_entry) {
  long retry_count = 0;
  while (below(retry_count, limit)) {
    for (py::handle entry : entries) {
      say({"Attempt ", static_cast<long long>(retry_count) + 1, " to ", what, ": '", entry, "'"});
      Outcome outcome = try_entry(entry);
      if (outcome != Outcome::next) return outcome;
    }
    ++retry_count;
    pause.after_pass(retry_count);
  }
  return Outcome::next;
}

void scroll_to(py::handle driver, py::handle xpath, const char* script) {
  py::object element = driver.attr("find_element")(g("By").attr("XPATH"), xpath);
  driver.attr("execute_script")(script, element);
}

}  // namespace kf::all_options
