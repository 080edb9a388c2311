// Service navigation: from any portal page to one e-service, through the
// Services tab, the services search box and the matching service card, with
// a screenshot after the tab and after the search.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {

py::object Navigating_into_service_name_SH(Arg driver, Arg Service_name, Arg loading_xpath) {
  by_name::click(driver,
                strings({"/html/body/div[3]/div[1]/div[1]/ul/li[2]",
                         "/html/body/div[3]/div[1]/div[1]/ul/li[2]/a"}),
                strings({"Services"}), 4, false, int_of(4));
  sleep(2);
  g("capture_screenshot")(py::arg("screen_number") = 1, py::arg("service_name") = Service_name,
                          py::arg("step_name") = "After clicking service tab");
  by_name::wait_for_page(driver, loading_xpath);
  sleep(2);
  by_name::type_field(driver,
                      strings({"//*[@id=\"fontawsome-search\"]",
                               "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[1]/div/div/span"}),
                      one_item_list(Service_name), "Text_field");
  sleep(2);
  g("capture_screenshot")(py::arg("screen_number") = 1, py::arg("service_name") = Service_name,
                          py::arg("step_name") = "Input service name");
  by_name::click(driver,
                strings({"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a/span",
                         "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a/div",
                         "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div/a"}),
                one_item_list(Service_name), 4, false, int_of(4));
  sleep(2);
  return py::none();
}

}  // namespace kf
