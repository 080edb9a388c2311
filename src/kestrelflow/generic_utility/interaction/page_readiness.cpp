// The state of the whole page: document ready state, a "Loading" indicator,
// and native alerts.
#include "frame/routines.h"

namespace kf {

py::object page_is_completed(A driver) {
  py::object state = driver.attr("execute_script")("return document.readyState");
  return py::bool_(state.equal(py::str("complete")));
}

py::object wait_for_page_to_load(A driver, A loading_xpath, A timeout) {
  try {
    py::object loading_text =
        driver.attr("find_element")(g("By").attr("XPATH"), loading_xpath).attr("text");
    int loading = PySequence_Contains(loading_text.ptr(), py::str("Loading").ptr());
    if (loading < 0) throw py::error_already_set();
    if (loading) {
      say({"Waiting for the page to load..."});
      py::object still_loading = g("EC").attr("text_to_be_present_in_element")(
          locator("XPATH", loading_xpath), "Loading");
      g("WebDriverWait")(driver, timeout).attr("until_not")(still_loading);
    }
    say({"Page has loaded."});
  } catch (py::error_already_set& e) {
    pass_unless(e);
    say({"An error occurred while waiting for the page to load:"});
  }
  return py::none();
}

py::object Click_ok_popup(A driver) {
  py::object alert = g("Alert")(driver);
  alert.attr("accept")();
  return py::none();
}

}  // namespace kf
