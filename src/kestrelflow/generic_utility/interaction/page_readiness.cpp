// The state of the whole page: document ready state, a "Loading" indicator,
// and native alerts.
#include "frame/browser.h"
#include "frame/routines.h"

namespace kf {

py::object page_is_completed(Arg driver) {
  py::object state = run_script(driver, "return document.readyState");
  return py::bool_(eq(state, "complete"));
}

py::object wait_for_page_to_load(Arg driver, Arg loading_xpath, Arg timeout) {
  try {
    py::object loading_text =
        find_element(driver, "XPATH", loading_xpath).attr("text");
    if (contains(loading_text, str_of("Loading"))) {
      say({"Waiting for the page to load..."});
      py::object still_loading = g("EC").attr("text_to_be_present_in_element")(
          locator("XPATH", loading_xpath), "Loading");
      g("WebDriverWait")(driver, timeout).attr("until_not")(still_loading);
    }
    say({"Page has loaded."});
  } catch (...) {
    py::error_already_set e = caught();
    say({"An error occurred while waiting for the page to load:"});
  }
  return py::none();
}

py::object Click_ok_popup(Arg driver) {
  py::object alert = g("Alert")(driver);
  alert.attr("accept")();
  return py::none();
}

}  // namespace kf
