// Browser helpers shared by every subsystem that drives the page: locators,
// the XPath templates, element lookups, scripts, Selenium waits, and the
// streak count of the page-state waits (their polling loop is retry::run,
// frame/retry.h).
#pragma once

#include "frame/toolkit.h"

namespace kf {

// (By.<by>, expression), e.g. locator("XPATH", xpath).
py::tuple locator(const char* by, py::handle expression);

// driver.find_element(By.<by>, expression) / driver.find_elements(...).
py::object find_element(py::handle driver, const char* by, py::handle expression);
py::object find_elements(py::handle driver, const char* by, py::handle expression);

// driver.execute_script(script) and driver.execute_script(script, element):
// every script the module runs goes through these.
py::object run_script(py::handle driver, const char* script);
py::object run_script(py::handle driver, py::handle script);
py::object run_script(py::handle driver, const char* script, py::handle element);

// Finds the element at `xpath` and scrolls it into view with `script`
// (for example "arguments[0].scrollIntoView(true);").
void scroll_into_view(py::handle driver, py::handle xpath, const char* script);

// The XPath template `before` + text + `after`, by plain concatenation:
// the text is not escaped.
py::str template_xpath(const char* before, py::handle text, const char* after);

// The XPath of an element whose own text node is exactly `text`.
py::str exact_text_xpath(py::handle text);

// The XPath of an element whose normalised text contains `text`.
py::str contains_text_xpath(py::handle text);

// WebDriverWait(driver, timeout).until(EC.<condition>(locator)).
py::object wait_until(py::handle driver, py::handle timeout, const char* condition,
                      py::handle locator);

// A count of consecutive confirmations that a miss resets.
class Streak {
 public:
  void hit() { ++count_; }
  void reset() { count_ = 0; }
  long long count() const { return count_; }
  // count >= threshold, compared as Python compares them.
  bool reached(py::handle threshold) const;

 private:
  long long count_ = 0;
};

}  // namespace kf
