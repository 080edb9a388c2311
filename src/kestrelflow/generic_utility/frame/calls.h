// The lists the routines hand to one another, and the routines they call by
// name: the one place that spells out a call's fixed arguments.
//
// Every call looks its routine up in the module namespace at the moment of
// the call (g()), so a script that rebinds a routine changes what its
// callers use.  Lists are fresh per call: a callee may keep or change them.
#pragma once

#include "frame/toolkit.h"

#include <initializer_list>

namespace kf {

// A new list of str from UTF-8 literals.
inline py::list strings(std::initializer_list<const char*> items) {
  py::list list(items.size());
  size_t i = 0;
  for (const char* item : items) list[i++] = str_of(item);
  return list;
}

// [value]
inline py::list one_item_list(py::handle value) {
  py::list list(1);
  list[0] = value;
  return list;
}

namespace by_name {

// clicking_on_element_by_all_option(driver, xpaths, texts, max_retries=...)
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries) {
  return g("clicking_on_element_by_all_option")(driver, xpaths, texts,
                                                py::arg("max_retries") = max_retries);
}
// ... with scroll=... (and timeout=...)
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries,
                        bool scroll) {
  return g("clicking_on_element_by_all_option")(driver, xpaths, texts,
                                                py::arg("max_retries") = max_retries,
                                                py::arg("scroll") = scroll);
}
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries,
                        py::handle scroll, py::handle timeout) {
  return g("clicking_on_element_by_all_option")(driver, xpaths, texts,
                                                py::arg("max_retries") = max_retries,
                                                py::arg("scroll") = scroll,
                                                py::arg("timeout") = timeout);
}
inline py::object click(py::handle driver, py::handle xpaths, py::handle texts, int max_retries,
                        bool scroll, py::handle timeout) {
  return click(driver, xpaths, texts, max_retries, py::bool_(scroll), timeout);
}

// wait_for_page_to_load(driver, loading_xpath)
inline void wait_for_page(py::handle driver, py::handle loading_xpath) {
  g("wait_for_page_to_load")(driver, loading_xpath);
}

// The positional-date form of the input call used by the inbox and ZIV:
// input_data_by_all_option(driver, xpaths, [""], data, "test", max_attempts=3,
// timeout=10, scroll=False, input_delay=2).
inline py::object type_with_test_date(py::handle driver, py::handle xpaths, py::handle data) {
  return g("input_data_by_all_option")(driver, xpaths, strings({""}), data, str_of("test"),
                                       py::arg("max_attempts") = 3, py::arg("timeout") = 10,
                                       py::arg("scroll") = false, py::arg("input_delay") = 2);
}

// input_data_by_all_option(driver, xpaths, [""], data, calender_date=None,
// max_attempts=3, timeout=10, scroll=False, input_delay=2, field_type=kind).
inline py::object type_field(py::handle driver, py::handle xpaths, py::handle data,
                             const char* kind) {
  return g("input_data_by_all_option")(driver, xpaths, strings({""}), data,
                                       py::arg("calender_date") = py::none(),
                                       py::arg("max_attempts") = 3, py::arg("timeout") = 10,
                                       py::arg("scroll") = false, py::arg("input_delay") = 2,
                                       py::arg("field_type") = kind);
}

// The step runner's form: the value as the data and, in a list of its own,
// as the date: input_data_by_all_option(driver, xpaths, [""], [value],
// [value], max_attempts=3, timeout=10, scroll=False, input_delay=1).
inline py::object type_value_as_data_and_date(py::handle driver, py::handle xpaths,
                                              py::handle value) {
  return g("input_data_by_all_option")(driver, xpaths, strings({""}), one_item_list(value),
                                       one_item_list(value), py::arg("max_attempts") = 3,
                                       py::arg("timeout") = 10, py::arg("scroll") = false,
                                       py::arg("input_delay") = 1);
}

}  // namespace by_name
}  // namespace kf
