// Clicking an element known only by one visible text: wait for a clickable
// element containing it; when that times out, try the exact text, a span
// with the exact text and the exact text's parent, then pause and go again.
#include "frame/retry.h"
#include "interaction/all_options.h"

namespace kf {
namespace {

// <body> or <html>: the page itself, which any click lands on.
bool is_page_root(py::handle element) {
  py::object tag = call_method(element.attr("tag_name"), "lower");
  return eq(tag, "body") || eq(tag, "html");
}

// Finds `xpath` at once and clicks it; prints `success_line` or `failure_line`.
// With `page_root_is_missing`, an element that is the page itself counts as
// not found: clicking it would report success without reaching anything.
bool click_now(Arg driver, const py::str& xpath, const py::str& success_line,
               const char* failure_line, bool page_root_is_missing = false) {
  try {
    py::object element = find_element(driver, "XPATH", xpath);
    if (page_root_is_missing && is_page_root(element)) {
      say({failure_line});
      return false;
    }
    element.attr("click")();
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
  bool clicked = retry::run(
      retry::Count::while_below(max_retries), retry::Pause::growing(1),
      [&](const retry::Attempt& attempt) {
        try {
          say({"Attempt ", attempt.number + 1, " to click element with text: '", text, "'"});
          py::object clickable_element =
              wait_until(driver, timeout, "element_to_be_clickable",
                         locator("XPATH", template_xpath("//*[contains(text(), '", text, "')]")));
          clickable_element.attr("click")();
          say({"Element with text '", text, "' clicked successfully (using contains)."});
          return retry::Next::stop;
        } catch (...) {
          // Anything but a time-out (a stale or intercepted click, a bad XPath) leaves.
          caught(g("TimeoutException"));
        }

        say({"Retry ", attempt.number + 1, "/", max_retries,
             ": Could not click element with contains text '", text,
             "'. Trying other methods..."});
        if (click_now(driver, exact_text_xpath(text),
                      concat({"Element with text '", text,
                              "' clicked successfully (using exact text match)."}),
                      "Failed to click element by exact match:"))
          return retry::Next::stop;
        if (click_now(driver, template_xpath("//span[text()='", text, "']"),
                      concat({"Element with span text '", text,
                              "' clicked successfully (using span exact match)."}),
                      "Failed to click element by span match: "))
          return retry::Next::stop;
        if (click_now(driver, template_xpath("//*[text()='", text, "']/parent::*"),
                      concat({"Clicked parent of element with text '", text, "'."}),
                      "Failed to click parent element: ", true))
          return retry::Next::stop;
        return retry::Next::retry;
      });
  if (clicked) return py::bool_(true);

  say({"Failed to click element with text '", text, "' after ", max_retries, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
