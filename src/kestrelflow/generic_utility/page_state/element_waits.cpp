// Waiting for an element before going on: a poll over XPaths that believes an
// element only after it has been seen on consecutive checks, Selenium's
// explicit wait with a few retries, and reading the text of a sub-element of a
// table row with retries.
#include "frame/browser.h"
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

  long long retry_count = 0;
  Streak exists;
  while (lt(int_of(retry_count), max_retries)) {
    check_signals();
    for (py::handle xpath : x_paths_list) {
      try {
        py::object elements = find_elements(driver, "XPATH", xpath);
        if (truthy(elements)) {
          exists.hit();
          say({"Element found (", exists.count(), "/", consecutive_exists, ") with XPath"});
          if (exists.reached(consecutive_exists)) {
            say({"Element confirmed existing for ", consecutive_exists, " consecutive checks."});
            return py::bool_(true);
          }
        } else {
          exists.reset();
          say({"Element not found. Waiting... (Retry ", retry_count + 1, "/", max_retries, ")"});
        }
      } catch (...) {
        py::error_already_set e = caught();
        say({"Error finding element with XPath"});
      }
    }
    ++retry_count;
    sleep(polling_interval);
  }
  say({"Timeout reached. Element not found after ", max_retries, " attempts."});
  return py::bool_(false);
}

py::object wait_for_element(Arg driver, Arg by, Arg value, Arg retries, Arg delay) {
  py::object wait = call(g("WebDriverWait"), {driver, int_of(20)});
  Py_ssize_t attempts = range_count(retries);
  for (Py_ssize_t attempt = 0; attempt < attempts; ++attempt) {
    check_signals();
    try {
      py::object present = call_method(g("EC"), "presence_of_element_located",
                                       {py::make_tuple(by, value)});
      return call_method(wait, "until", {present});
    } catch (...) {
      py::error_already_set e = caught(g("TimeoutException"));
      say({"Attempt ", attempt + 1, " - Element not found: ", value, ". Retrying in ", delay,
           " seconds..."});
      sleep(delay);
    }
  }
  raise(g("TimeoutException"),
        concat({"Element not found after ", retries, " attempts: ", value}));
}

py::object get_element_with_retries(Arg row, Arg xpath, Arg max_retries, Arg delay) {
  Py_ssize_t attempts = range_count(max_retries);
  for (Py_ssize_t attempt = 0; attempt < attempts; ++attempt) {
    check_signals();
    try {
      py::object element = find_element(row, "XPATH", xpath);
      if (truthy(element)) return element.attr("text");
      return str_of("");
    } catch (...) {
      py::error_already_set e = caught();
      if (attempt < attempts - 1) {
        sleep(delay);
      } else {
        say({"Failed to locate element with XPath '", xpath, "' after ", max_retries,
             " attempts."});
        return str_of("");
      }
    }
  }
  return py::none();
}

}  // namespace kf
