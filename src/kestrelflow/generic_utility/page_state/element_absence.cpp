#include "page_state/element_absence.h"

namespace kf {

bool means_absent(const py::error_already_set& e) {
  if (is_instance(e, "NoSuchElementException")) return true;
  // Not bound in the module namespace: taken from Selenium at the moment of the call.
  py::object exceptions = import_module("selenium.common.exceptions");
  return e.matches(exceptions.attr("StaleElementReferenceException"));
}

}  // namespace kf
