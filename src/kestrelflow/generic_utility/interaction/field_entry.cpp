// Filling one field: click it, type into its input, pick the drop-down entry.
#include "frame/routines.h"

namespace kf {
namespace {

// [""]: a text list whose one text matches elements with an empty text node.
py::list empty_text_list() {
  py::list texts;
  texts.append(py::str(""));
  return texts;
}

}  // namespace

py::object enter_field_data(Arg driver, Arg field_xpath, Arg input_xpath, Arg input_value,
                            Arg dropdown_xpath, Arg field_name) {
  say({"======= Entering ", field_name});
  g("clicking_on_element_by_all_option")(driver, field_xpath, empty_text_list(),
                                         py::arg("max_retries") = 5);
  g("input_data_by_all_option")(driver, input_xpath, empty_text_list(), input_value,
                                py::arg("calender_date") = py::none(),
                                py::arg("max_attempts") = 3, py::arg("timeout") = 10,
                                py::arg("scroll") = false, py::arg("input_delay") = 2,
                                py::arg("field_type") = "others");
  g("clicking_on_element_by_all_option")(driver, dropdown_xpath, empty_text_list(),
                                         py::arg("max_retries") = 5);
  sleep(int_of(2));
  return py::none();
}

}  // namespace kf
