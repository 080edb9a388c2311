// Inbox retrieval: one application opened from the portal's application
// list, through the list's tab, its number filter and the row that shows
// the number.  The DEVU list layout has its own filter and no tabs.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {
namespace {

constexpr const char* kLoading = "/html/body/div[3]/div[1]/div[2]/div[3]";
constexpr const char* kTabs =
    "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[4]/div[2]/application-list/div/div[1]/div/";

void open_row(Arg driver, Arg application_number) {
  by_name::click(driver, strings({""}), one_item_list(application_number), 4, true, int_of(5));
}

void devu_variant(Arg driver, Arg application_number, const py::str& loading) {
  by_name::wait_for_page(driver, loading);
  by_name::type_with_test_date(
      driver, strings({"//*[@id=\"inbox_filters_1\"]", "//*[@id=\"applicationNumber_input\"]"}),
      application_number);
  by_name::click(
      driver,
      strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/div/form/div[8]/div/"
           "button//*[@id=\"datatable_filters\"]/app-form/form/div[2]/div/div/button",
           "//*[@id=\"datatable_filters\"]/app-form/form/div[2]/div/div/button/i"}),
      strings({" Search"}), 5);
  by_name::wait_for_page(driver, loading);
  open_row(driver, application_number);
}

void default_variant(Arg driver, Arg application_number, Arg tab_name, const py::str& loading) {
  by_name::wait_for_page(driver, loading);
  const char* tab = nullptr;
  const char* label = nullptr;
  if (eq(tab_name, "completed")) {
    tab = "a[4]", label = "Completed";
  } else if (eq(tab_name, "pending")) {
    tab = "a[3]", label = "Pending";
  } else if (eq(tab_name, "Inbox")) {
    tab = "a[2]", label = "My Inbox";
  }
  if (tab) {
    by_name::click(driver, one_item_list(concat({kTabs, tab})), strings({label}), 1, true,
                  int_of(5));
  }
  sleep(3);
  by_name::type_with_test_date(
      driver,
      strings({"//*[@id=\"inbox_filters_1\"]",
               "//html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/div/form/div[1]/div"}),
      application_number);
  by_name::wait_for_page(driver, loading);
  by_name::click(
      driver,
      strings(
          {"//*[@id=\"inbox_filters\"]/div[8]/div/button",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/div/form/div[7]/div/button",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/app-form/form/div[2]/div/div/button/span",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/app-form/form/div[2]/div/div/button",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div/div[1]/div/div[2]/app-form/form/div[2]/div/div/button/i",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[4]/div[1]/div/div[2]/div/form/div[5]/div/button",
           ""}),
      strings({" Search ", "Seearch", "search", "SEARCH"}), 4, true, int_of(5));
  sleep(3);
  by_name::wait_for_page(driver, loading);
  open_row(driver, application_number);
  sleep(3);
}

}  // namespace

py::object Getting_Application_From_Inbox(Arg driver, Arg application_number, Arg tab_name,
                                          Arg environment, Arg Dashbord_URL) {
  py::str loading = str_of(kLoading);
  driver.attr("get")(Dashbord_URL);
  if (eq(environment, "DEVU")) {
    devu_variant(driver, application_number, loading);
  } else {
    default_variant(driver, application_number, tab_name, loading);
  }
  return py::none();
}

}  // namespace kf
