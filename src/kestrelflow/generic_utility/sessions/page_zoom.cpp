// Page zoom: the CSS zoom of the document body.
#include "frame/routines.h"

namespace kf {

py::object set_zoom(Arg driver, Arg zoom_level) {
  call_method(driver, "execute_script", {concat({"document.body.style.zoom='", zoom_level, "%'"})});
  return py::none();
}

}  // namespace kf
