// Waiting for an element before going on: a poll over XPaths that believes an
// element only after it has been seen on consecutive checks, Selenium's
// explicit wait with a few retries, and reading the text of a sub-element of a
// table row with retries.
#include "frame/browser.h"
#include "frame/retry.h"
#include "frame/routines.h"

namespace kf {

py::object wait_for_element_to_appear(Arg driver, Arg x_paths_list, Arg max_retries,
                                      Arg polling_interval, Arg consecutive_exists, Arg scroll,
                                      Arg /*timeout: accepted, not used*/) {
  if (truthy(scroll)) {
    // Only the first XPath that is found is scrolled to; the first failure
    // (usually the first XPath missing) ends the scrolling.
    try {
      for (py::handle xpath : x_paths_list) {
        scroll_into_view(driver, xpath, "arguments[0].scrollIntoView(true);");
        say({"Scrolled to element with XPath: ", xpath});
        break;
      }
    } catch (...) {
      py::error_already_set e = caught();
      say({"Failed to scroll to element"});
    }
  }

  Streak exists;
  bool confirmed = retry::run(
      retry::Count::while_below(max_retries), retry::Pause::fixed(polling_interval),
      [&](const retry::Attempt& attempt) {
        for (py::handle xpath : x_paths_list) {
          try {
            py::object elements = find_elements(driver, "XPATH", xpath);
            if (truthy(elements)) {
              exists.hit();
              say({"Element found (", exists.count(), "/", consecutive_exists, ") with XPath"});
              if (exists.reached(consecutive_exists)) {
                say({"Element confirmed existing for ", consecutive_exists,
                     " consecutive checks."});
                return retry::Next::stop;
              }
            } else {
              exists.reset();
              say({"Element not found. Waiting... (Retry ", attempt.number + 1, "/", max_retries,
                   ")"});
            }
          } catch (...) {
            py::error_already_set e = caught();
            say({"Error finding element with XPath"});
          }
        }
        return retry::Next::retry;
      });
  if (confirmed) return py::bool_(true);
  say({"Timeout reached. Element not found after ", max_retries, " attempts."});
  return py::bool_(false);
}

py::object wait_for_element(Arg driver, Arg by, Arg value, Arg retries, Arg delay) {
  py::object wait = call(g("WebDriverWait"), {driver, int_of(20)});
  py::object element;
  retry::run(retry::Count::range(retries), retry::Pause::fixed(delay),
             [&](const retry::Attempt& attempt) {
               try {
                 py::object present = call_method(g("EC"), "presence_of_element_located",
                                                  {py::make_tuple(by, value)});
                 element = call_method(wait, "until", {present});
                 return retry::Next::stop;
               } catch (...) {
                 py::error_already_set e = caught(g("TimeoutException"));
                 say({"Attempt ", attempt.number + 1, " - Element not found: ", value,
                      ". Retrying in ", delay, " seconds..."});
                 return retry::Next::retry;
               }
             });
  if (element) return element;
  raise(g("TimeoutException"),
        concat({"Element not found after ", retries, " attempts: ", value}));
}

py::object get_element_with_retries(Arg row, Arg xpath, Arg max_retries, Arg delay) {
  py::object text = py::none();  // no attempt at all: None
  retry::run(retry::Count::range(max_retries), retry::Pause::between(delay),
             [&](const retry::Attempt& attempt) {
               try {
                 py::object element = find_element(row, "XPATH", xpath);
                 text = truthy(element) ? py::object(element.attr("text")) : py::object(str_of(""));
                 return retry::Next::stop;
               } catch (...) {
                 py::error_already_set e = caught();
                 if (!attempt.last) return retry::Next::retry;
                 say({"Failed to locate element with XPath '", xpath, "' after ", max_retries,
                      " attempts."});
                 text = str_of("");
                 return retry::Next::stop;
               }
             });
  return text;
}

}  // namespace kf
