// Small pieces shared by the portal workflows: the constant XPath and text
// lists they hand to the interaction routines, and the routines themselves
// looked up by name at the moment of the call.
#pragma once

#include "frame/routines.h"

#include <initializer_list>

namespace kf::portal {

// A new list of str from UTF-8 literals (a fresh list per call: a callee may
// keep or change what it is given).
inline py::list strings(std::initializer_list<const char*> items) {
  py::list list(items.size());
  size_t i = 0;
  for (const char* item : items) list[i++] = str_of(item);
  return list;
}

// [value]
inline py::list one(py::handle value) {
  py::list list(1);
  list[0] = value;
  return list;
}

// clicking_on_element_by_all_option(driver, xpaths, texts, max_retries=..., [scroll=..., timeout=...])
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries) {
  return g("clicking_on_element_by_all_option")(driver, xpaths, texts,
                                                py::arg("max_retries") = max_retries);
}
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries,
                        bool scroll, py::handle timeout) {
  return g("clicking_on_element_by_all_option")(driver, xpaths, texts,
                                                py::arg("max_retries") = max_retries,
                                                py::arg("scroll") = scroll,
                                                py::arg("timeout") = timeout);
}

// wait_for_page_to_load(driver, loading_xpath)
inline void wait_for_page(py::handle driver, py::handle loading_xpath) {
  g("wait_for_page_to_load")(driver, loading_xpath);
}

// The positional-date form of the input call used by the inbox and ZIV:
// input_data_by_all_option(driver, xpaths, [""], data, "test", max_attempts=3,
// timeout=10, scroll=False, input_delay=2).
inline void type_with_test_date(py::handle driver, py::handle xpaths, py::handle data) {
  g("input_data_by_all_option")(driver, xpaths, strings({""}), data, str_of("test"),
                                py::arg("max_attempts") = 3, py::arg("timeout") = 10,
                                py::arg("scroll") = false, py::arg("input_delay") = 2);
}

// input_data_by_all_option(driver, xpaths, [""], data, calender_date=None,
// max_attempts=3, timeout=10, scroll=False, input_delay=2, field_type=kind).
inline void type_field(py::handle driver, py::handle xpaths, py::handle data, const char* kind) {
  g("input_data_by_all_option")(driver, xpaths, strings({""}), data,
                                py::arg("calender_date") = py::none(), py::arg("max_attempts") = 3,
                                py::arg("timeout") = 10, py::arg("scroll") = false,
                                py::arg("input_delay") = 2, py::arg("field_type") = kind);
}

}  // namespace kf::portal
