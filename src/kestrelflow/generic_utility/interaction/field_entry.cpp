// Filling one field: click it, type into its input, pick the drop-down entry.
#include "frame/calls.h"
#include "frame/routines.h"

namespace kf {

py::object enter_field_data(Arg driver, Arg field_xpath, Arg input_xpath, Arg input_value,
                            Arg dropdown_xpath, Arg field_name) {
  say({"======= Entering ", field_name});
  // [""]: the one text matches elements with an empty text node.
  by_name::click(driver, field_xpath, strings({""}), 5);
  by_name::type_field(driver, input_xpath, input_value, "others");
  by_name::click(driver, dropdown_xpath, strings({""}), 5);
  sleep(int_of(2));
  return py::none();
}

}  // namespace kf
