// A navigation click that only counts when the browser's URL changed: every
// XPath, then every visible text, each clicked by the module's robust click,
// for a few passes.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/retry.h"
#include "frame/routines.h"

namespace kf {
namespace {

// Reads the URL after a click; true when it differs from `before`.
bool url_changed(Arg driver, py::handle before) {
  py::object new_url = driver.attr("current_url");
  say({"New URL: ", new_url});
  if (!ne(new_url, before)) return false;
  say({"URL has changed successfully."});
  return true;
}

// One click through the module's click routine, looked up now.
bool click_once(Arg driver, py::handle x_paths, py::handle text_inputs, Arg timeout, Arg scroll) {
  return truthy(by_name::click(driver, x_paths, text_inputs, 1, scroll, timeout));
}

}  // namespace

py::object click_and_check_url_change(Arg driver, Arg x_paths, Arg text_inputs, Arg /*trial*/,
                                      Arg timeout, Arg scroll, Arg max_attempts) {
  py::object prv_url = driver.attr("current_url");
  say({"Initial URL: ", prv_url});

  // for attempt in range(1, max_attempts + 1)
  bool changed = retry::run(
      retry::Count::range(add(max_attempts, int_of(1)), 1), retry::Pause::none(),
      [&](const retry::Attempt& attempt) {
        say({"Attempt ", attempt.number, "/", max_attempts, " to click element."});

        for (py::handle xpath : x_paths) {
          say({"Trying to click element with XPath: ", xpath});
          if (!click_once(driver, one_item_list(xpath), text_inputs, timeout, scroll)) continue;
          if (url_changed(driver, prv_url)) return retry::Next::stop;
          say({"URL has not changed after clicking XPath: ", xpath, ". Trying next XPath..."});
        }

        for (py::handle text_input : text_inputs) {
          say({"Trying to click element with text: '", text_input, "'"});
          if (!click_once(driver, py::list(), one_item_list(text_input), timeout, scroll)) continue;
          if (url_changed(driver, prv_url)) return retry::Next::stop;
          say({"URL has not changed after clicking text: '", text_input,
               "'. Trying next option..."});
        }
        return retry::Next::retry;
      });
  if (changed) return py::bool_(true);
  say({"Failed to change URL after ", max_attempts, " attempts."});
  return py::bool_(false);
}

}  // namespace kf
