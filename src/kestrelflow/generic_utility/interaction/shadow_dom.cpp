// Reaching into one open shadow DOM tree.
#include "frame/browser.h"
#include "frame/routines.h"

namespace kf {

py::object get_shadow_root(Arg driver, Arg tag_name) {
  py::object host = find_element(driver, "TAG_NAME", tag_name);
  return run_script(driver, "return arguments[0].shadowRoot", host);
}

py::object shadow_find(Arg shadow_root, Arg css_selector) {
  return find_element(shadow_root, "CSS_SELECTOR", css_selector);
}

}  // namespace kf
