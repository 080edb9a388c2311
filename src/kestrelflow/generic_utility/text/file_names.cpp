// File names: the dated name of a service's performance log.
#include "frame/routines.h"

namespace kf {

py::object Generate_File_name(Arg Service_name, Arg trial, Arg directory) {
  (void)trial;  // the log number in the name is fixed at 4
  py::object todays_date = g("datetime").attr("today")().attr("strftime")("%Y-%m-%d");
  py::str name = concat({directory, Service_name, "_", 4, "_", todays_date, ".csv"});
  say_values({py::str("file_Generate"), name});
  return std::move(name);
}

}  // namespace kf
