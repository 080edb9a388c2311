// Service navigation: from any portal page to one e-service, through the
// Services tab, the services search box and the matching service card, with
// a screenshot after the tab and after the search.
#include "frame/routines.h"
#include "workflows/portal_lists.h"

namespace kf {

py::object Navigating_into_service_name_SH(Arg driver, Arg Service_name, Arg loading_xpath) {
  portal::click(driver,
                portal::strings({"/html/body/div[3]/div[1]/div[1]/ul/li[2]",
                                 "/html/body/div[3]/div[1]/div[1]/ul/li[2]/a"}),
                portal::strings({"Services"}), 4, false, int_of(4));
  sleep(2);
  g("capture_screenshot")(py::arg("screen_number") = 1, py::arg("service_name") = Service_name,
                          py::arg("step_name") = "After clicking service tab");
  g("wait_for_page_to_load")(driver, loading_xpath);
  sleep(2);
  g("input_data_by_all_option")(
      driver,
      portal::strings({"//*[@id=\"fontawsome-search\"]",
                       "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[1]/div/div/span"}),
      portal::strings({""}), portal::one(Service_name), py::arg("calender_date") = py::none(),
      py::arg("max_attempts") = 3, py::arg("timeout") = 10, py::arg("scroll") = false,
      py::arg("input_delay") = 2, py::arg("field_type") = "Text_field");
  sleep(2);
  g("capture_screenshot")(py::arg("screen_number") = 1, py::arg("service_name") = Service_name,
                          py::arg("step_name") = "Input service name");
  portal::click(driver,
                portal::strings({"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a/span",
                                 "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a/div",
                                 "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a"}),
                portal::one(Service_name), 4, false, int_of(4));
  sleep(2);
  return py::none();
}

}  // namespace kf
