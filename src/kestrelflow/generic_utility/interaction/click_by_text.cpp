// Clicking an element known only by one visible text: wait for a clickable
// element containing it; when that times out, try the exact text, a span
// with the exact text and the exact text's parent, then pause and go again.
#include "interaction/all_options.h"

namespace kf {
namespace {

// Finds `xpath` at once and clicks it; prints `success_line` or `failure_line`.
bool click_now(Arg driver, const py::str& xpath, const py::str& success_line,
               const char* failure_line) {
  try {
    find_element(driver, "XPATH", xpath).attr("click")();
    say_values({success_line});
    return true;
  } catch (...) {
    py::error_already_set e = caught();
    say({failure_line});
    return false;
  }
}

}  // namespace

py::object click_element_by_text(Arg driver, Arg text, Arg max_retries, Arg timeout) {
  long retry_count = 0;
  while (lt(int_of(retry_count), max_retries)) {
    check_signals();
    try {
      say({"Attempt ", static_cast<long long>(retry_count) + 1, " to click element with text: '",
           text, "'"});
      py::object clickable_element =
          wait_until(driver, timeout, "element_to_be_clickable",
                     locator("XPATH", template_xpath("//*[contains(text(), '", text, "')]")));
      clickable_element.attr("click")();
      say({"Element with text '", text, "' clicked successfully (using contains)."});
      return py::bool_(true);
    } catch (...) {
      // Anything but a time-out (a stale or intercepted click, a bad XPath) leaves.
      caught(g("TimeoutException"));
    }

    ++retry_count;
    say({"Retry ", static_cast<long long>(retry_count), "/", max_retries,
         ": Could not click element with contains text '", text, "'. Trying other methods..."});
    if (click_now(driver, exact_text_xpath(text),
                  concat({"Element with text '", text,
                        "' clicked successfully (using exact text match)."}),
                  "Failed to click element by exact match:"))
      return py::bool_(true);
    if (click_now(driver, template_xpath("//span[text()='", text, "']"),
                  concat({"Element with span text '", text,
                        "' clicked successfully (using span exact match)."}),
                  "Failed to click element by span match: "))
      return py::bool_(true);
    if (click_now(driver, template_xpath("//*[text()='", text, "']/parent::*"),
                  concat({"Clicked parent of element with text '", text, "'."}),
                  "Failed to click parent element: "))
      return py::bool_(true);
    sleep(int_of(retry_count));
  }

  say({"Failed to click element with text '", text, "' after ", max_retries, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
