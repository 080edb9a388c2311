// Land search by plot: the four criteria of the "Search By Plot" form
// (three select2 lists and the plot number field) entered one by one, then
// the form's search button.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {
namespace {

// Opens a select2 list, types into its floating search input and chooses
// the first result.
void choose_from_list(Arg driver, Arg list_xpath, Arg input_xpath, py::handle value,
                      Arg first_option) {
  by_name::click(driver, list_xpath, strings({""}), 5);
  by_name::type_field(driver, input_xpath, value, "others");
  by_name::click(driver, first_option, strings({""}), 5);
}

}  // namespace

py::object enter_municipality(Arg driver, Arg municipality_xpath, Arg municipality_name,
                              Arg Land_use_Input_xpath, Arg first_option_dropdownlist) {
  say({"=======Enter municipality"});
  choose_from_list(driver, municipality_xpath, Land_use_Input_xpath, municipality_name,
                   first_option_dropdownlist);
  sleep(2);
  return py::none();
}

py::object enter_plot_number(Arg driver, Arg plot_number_xpath, Arg plot_number) {
  say({"=======Enter Plot Number"});
  by_name::type_field(driver, plot_number_xpath, plot_number, "Text_field");
  sleep(4);
  return py::none();
}

py::object enter_district_or_zone(Arg driver, Arg districtId_zone_xpath, Arg District_zone_input,
                                  Arg Land_use_Input_xpath, Arg first_option_dropdownlist) {
  say({"=======Enter district or zone"});
  choose_from_list(driver, districtId_zone_xpath, Land_use_Input_xpath,
                   one_item_list(District_zone_input), first_option_dropdownlist);
  sleep(1);
  return py::none();
}

py::object enter_land_use(Arg driver, Arg land_use_xpath, Arg Land_use_Input_xpath, Arg Land_use,
                          Arg first_option_dropdownlist) {
  say({"=======Enter Land Use"});
  by_name::click(driver, land_use_xpath, strings({""}), 5);
  sleep(2);
  by_name::type_field(driver, Land_use_Input_xpath, one_item_list(Land_use), "others");
  sleep(2);
  by_name::click(driver, first_option_dropdownlist, strings({""}), 5);
  return py::none();
}

py::object Search_by_plot(Arg driver, Arg plot_number, Arg District_zone_input, Arg Land_use,
                          Arg double_click_option) {
  by_name::click(
      driver,
      strings(
          {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/div[2]/ul/li[3]/a",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/div[2]/ul/li[3]",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/ul/li[3]",
           "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/ul/li[3]/a"}),
      strings({"Search By Plot"}), 5);

  py::list panel_input = strings({"/html/body/span/span/span[1]/input", "/html/body/span/span/span[1]"});
  py::list first_result = strings({"/html/body/span/span/span[2]/ul/li[1]"});
  g("enter_municipality")(driver,
                          strings({"//*[@id=\"select2-municipalityId_input-container\"]",
                                   "//*[@id=\"select2-municipalityId_input-container\"]"}),
                          strings({"Abu Dhabi"}), panel_input, first_result);
  g("enter_plot_number")(driver, strings({"//*[@id=\"plotNumber_input\"]"}), plot_number);
  g("enter_district_or_zone")(driver,
                              strings({"//*[@id=\"select2-districtId_input-container\"]"}),
                              District_zone_input, panel_input, first_result);
  g("enter_land_use")(driver, strings({"//*[@id=\"select2-landuseId_input-container\"]"}),
                      panel_input, Land_use, first_result);

  int presses = truthy(double_click_option) ? 2 : 1;
  for (int i = 0; i < presses; ++i) {
    by_name::click(
        driver,
        strings(
            {"/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/div[2]/div/div[3]/app-list/app-form/form/div[2]/div[2]/div/button[2]",
             "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/div[2]/div/div[3]/app-list/app-form/form/div[2]/div[2]/div/button[2]/i",
             "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/div/div[3]/app-list/app-form/form/div[2]/div[2]/div/button[2]",
             "/html/body/div[3]/div[1]/div[2]/div[4]/div/div[2]/div[1]/div/app-form/form/div[2]/div[2]/div/div[3]/app-list/app-form/form/div[2]/div[2]/div/button[2]/i"}),
        strings({"Search"}), 5);
  }
  return py::none();
}

}  // namespace kf
