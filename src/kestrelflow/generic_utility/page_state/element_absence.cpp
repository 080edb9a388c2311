#include "page_state/element_absence.h"

namespace kf {

bool means_absent(const py::error_already_set& e) {
  if (is_instance(e, "NoSuchElementException")) return true;
  // Not bound in the module namespace: taken from Selenium at the moment of the call.
  py::object exceptions = import_module("selenium.common.exceptions");
  return e.matches(exceptions.attr("StaleElementReferenceException"));
}

void LookupTrouble::report(const py::error_already_set& e) {
  if (reported_) return;
  reported_ = true;
  py::list lines = call_method(py::str(e.value()), "splitlines");
  say({"⚠️ Could not check for ", what_, ": ", lines.empty() ? py::object(str_of("")) : py::object(lines[0])});
}

}  // namespace kf
