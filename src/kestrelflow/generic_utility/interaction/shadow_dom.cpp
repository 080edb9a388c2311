// Reaching into one open shadow DOM tree.
#include "frame/routines.h"

namespace kf {

py::object get_shadow_root(A driver, A tag_name) {
  py::object host = driver.attr("find_element")(g("By").attr("TAG_NAME"), tag_name);
  return driver.attr("execute_script")("return arguments[0].shadowRoot", host);
}

py::object shadow_find(A shadow_root, A css_selector) {
  return shadow_root.attr("find_element")(g("By").attr("CSS_SELECTOR"), css_selector);
}

}  // namespace kf
