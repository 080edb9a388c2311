#include "frame/browser.h"

namespace kf {

py::tuple locator(const char* by, py::handle expression) {
  return py::make_tuple(g("By").attr(by), expression);
}

py::object find_element(py::handle driver, const char* by, py::handle expression) {
  return call_method(driver, "find_element", {g("By").attr(by), expression});
}

py::object find_elements(py::handle driver, const char* by, py::handle expression) {
  return call_method(driver, "find_elements", {g("By").attr(by), expression});
}

py::object run_script(py::handle driver, const char* script) {
  return call_method(driver, "execute_script", {str_of(script)});
}

py::object run_script(py::handle driver, py::handle script) {
  return call_method(driver, "execute_script", {script});
}

py::object run_script(py::handle driver, const char* script, py::handle element) {
  return call_method(driver, "execute_script", {str_of(script), element});
}

void scroll_into_view(py::handle driver, py::handle xpath, const char* script) {
  py::object element = find_element(driver, "XPATH", xpath);
  run_script(driver, script, element);
}

py::str template_xpath(const char* before, py::handle text, const char* after) {
  return concat({before, text, after});
}

py::str exact_text_xpath(py::handle text) { return template_xpath("//*[text()='", text, "']"); }

py::str contains_text_xpath(py::handle text) {
  return template_xpath("//*[contains(normalize-space(), '", text, "')]");
}

py::object wait_until(py::handle driver, py::handle timeout, const char* condition,
                      py::handle locator) {
  py::object wait = call(g("WebDriverWait"), {driver, timeout});
  return call_method(wait, "until", {call_method(g("EC"), condition, {locator})});
}

bool Streak::reached(py::handle threshold) const { return ge(int_of(count_), threshold); }

}  // namespace kf
