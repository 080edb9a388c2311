// Land search by owner: the "Search Owner" tab, the owner's national number
// typed and submitted with Enter, and the first result row ticked.
#include "frame/browser.h"
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {

py::object search_by_owner(Arg driver, Arg EID_persona) {
  py::str loading = str_of("/html/body/div[3]/div[1]/div[2]/div[3]");
  py::str national_number = str_of("//*[@id=\"nationalNumber_input\"]");

  by_name::click(
      driver,
      strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div[1]/div[2]/ul/li[1]/a",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/ul/li[1]"}),
      strings({"Search Owner"}), 5);
  by_name::wait_for_page(driver, loading);
  by_name::type_field(driver, one_item_list(national_number), one_item_list(EID_persona),
                      "Text_field");
  find_element(driver, "XPATH", national_number).attr("send_keys")(g("Keys").attr("ENTER"));
  sleep(2);
  by_name::click(
      driver,
      strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/div/div[1]/app-list/div/div[2]/table/tbody/tr/td[1]/label",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div[1]/div[2]/div/div[1]/app-list/div/div[2]/table/tbody/tr/td[1]/label"}),
      strings({" "}), 5, true, int_of(5));
  by_name::wait_for_page(driver, loading);
  return py::bool_(true);
}

}  // namespace kf
