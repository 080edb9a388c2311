// Clicking an element known only by one visible text: wait for a clickable
// element containing it; when that times out, try the exact text, a span
// with the exact text and the exact text's parent, then pause and go again.
#include "interaction/all_options.h"

namespace kf {
namespace {

// Finds `xpath` at once and clicks it; prints `success_line` or `failure_line`.
bool click_now(A driver, const py::str& xpath, const py::str& success_line,
               const char* failure_line) {
  try {
    driver.attr("find_element")(g("By").attr("XPATH"), xpath).attr("click")();
    say_values({success_line});
    return true;
  } catch (py::error_already_set& e) {
    pass_unless(e);
    say({failure_line});
    return false;
  }
}

bool below(long counter, A limit) {
  int result = PyObject_RichCompareBool(py::int_(counter).ptr(), limit.ptr(), Py_LT);
  if (result < 0) throw py::error_already_set();
  return result != 0;
}

}  // namespace

py::object click_element_by_text(A driver, A text_arg, A max_retries, A timeout) {
  py::handle text_ = text_arg;
  long retry_count = 0;
  while (below(retry_count, max_retries)) {
    try {
      say({"Attempt ", static_cast<long long>(retry_count) + 1, " to click element with text: '",
           text_, "'"});
      py::object clickable_element =
          wait_until(driver, timeout, "element_to_be_clickable",
                     locator("XPATH", template_xpath("//*[contains(text(), '", text_, "')]")));
      clickable_element.attr("click")();
      say({"Element with text '", text_, "' clicked successfully (using contains)."});
      return py::bool_(true);
    } catch (py::error_already_set& e) {
      // Anything but a time-out (a stale or intercepted click, a bad XPath) leaves.
      pass_unless(e, g("TimeoutException"));
    }

    ++retry_count;
    say({"Retry ", static_cast<long long>(retry_count), "/", max_retries,
         ": Could not click element with contains text '", text_, "'. Trying other methods..."});
    if (click_now(driver, all_options::exact_text_xpath(text_),
                  text({"Element with text '", text_,
                        "' clicked successfully (using exact text match)."}),
                  "Failed to click element by exact match:"))
      return py::bool_(true);
    if (click_now(driver, template_xpath("//span[text()='", text_, "']"),
                  text({"Element with span text '", text_,
                        "' clicked successfully (using span exact match)."}),
                  "Failed to click element by span match: "))
      return py::bool_(true);
    if (click_now(driver, template_xpath("//*[text()='", text_, "']/parent::*"),
                  text({"Clicked parent of element with text '", text_, "'."}),
                  "Failed to click parent element: "))
      return py::bool_(true);
    sleep(py::int_(retry_count));
  }

  say({"Failed to click element with text '", text_, "' after ", max_retries, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
