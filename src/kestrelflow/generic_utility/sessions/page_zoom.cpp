// Page zoom: the CSS zoom of the document body.
#include "frame/browser.h"
#include "frame/routines.h"

namespace kf {

py::object set_zoom(Arg driver, Arg zoom_level) {
  run_script(driver, concat({"document.body.style.zoom='", zoom_level, "%'"}));
  return py::none();
}

}  // namespace kf
