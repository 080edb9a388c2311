// Extraction: the application number of a text and the service name of a
// notification e-mail body.
#include "frame/routines.h"

namespace kf {

py::object extract_application_number(Arg text) {
  py::object match = g("re").attr("search")(py::str(R"(\b\d{12}\b)"), text);
  if (truthy(match)) return match.attr("group")();
  return py::str("Application number not found");
}

py::object extract_service_name(Arg html_content) {
  py::object re = g("re");
  py::object flags = re.attr("IGNORECASE") | re.attr("DOTALL");
  py::object match = re.attr("search")(py::str(R"(Service Name:\s*</strong>\s*(.*?)\s*<br>)"),
                                       html_content, flags);
  if (truthy(match)) return match.attr("group")(1).attr("strip")();
  return py::str("Not Found");
}

}  // namespace kf
