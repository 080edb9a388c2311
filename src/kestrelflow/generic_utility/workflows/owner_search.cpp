// Land search by owner: the "Search Owner" tab, the owner's national number
// typed and submitted with Enter, and the first result row ticked.
#include "frame/browser.h"
#include "frame/routines.h"
#include "workflows/portal_lists.h"

namespace kf {

py::object search_by_owner(Arg driver, Arg EID_persona) {
  py::str loading = str_of("/html/body/div[3]/div[1]/div[2]/div[3]");
  py::str national_number = str_of("//*[@id=\"nationalNumber_input\"]");

  portal::click(
      driver,
      portal::strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div[1]/div[2]/ul/li[1]/a",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/ul/li[1]"}),
      portal::strings({"Search Owner"}), 5);
  portal::wait_for_page(driver, loading);
  portal::type_field(driver, portal::one(national_number), portal::one(EID_persona), "Text_field");
  find_element(driver, "XPATH", national_number).attr("send_keys")(g("Keys").attr("ENTER"));
  sleep(2);
  portal::click(
      driver,
      portal::strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/div/div[1]/app-list/div/div[2]/table/tbody/tr/td[1]/label",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div[1]/div[2]/div/div[1]/app-list/div/div[2]/table/tbody/tr/td[1]/label"}),
      portal::strings({" "}), 5, true, int_of(5));
  portal::wait_for_page(driver, loading);
  return py::bool_(true);
}

}  // namespace kf
