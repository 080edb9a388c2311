// The browser session factories: Chrome, Firefox and Edge under WebDriver.
#include "frame/routines.h"

namespace kf {
namespace {

// The options object of a Chromium-family browser with the fixed switches.
py::object chromium_options(const char* options_class, Arg maximize, Arg headless,
                            const char* headless_switch) {
  py::object options = g(options_class)();
  for (const char* fixed : {"--disable-notifications", "--disable-infobars", "--disable-extensions"})
    options.attr("add_argument")(fixed);
  if (truthy(headless)) options.attr("add_argument")(headless_switch);
  if (truthy(maximize)) options.attr("add_argument")("--start-maximized");
  return options;
}

}  // namespace

py::object Chrome_Driver_info(Arg maximize, Arg headless) {
  py::object options = chromium_options("ChromeOptions", maximize, headless, "--headless");
  py::object driver_path = g("ChromeDriverManager")().attr("install")();
  py::object service = g("ChromeService")(driver_path);
  return g("webdriver").attr("Chrome")(py::arg("service") = service, py::arg("options") = options);
}

py::object FireFox_Driver_info(Arg maximize, Arg headless, Arg eager, Arg mode, Arg firefox_path,
                               Arg driver_path) {
  py::object options = g("FirefoxOptions")();
  if (truthy(eager)) options.attr("page_load_strategy") = "eager";
  if (truthy(headless)) options.attr("add_argument")("--headless");
  options.attr("set_preference")("dom.webnotifications.enabled", false);
  options.attr("set_preference")("dom.push.enabled", false);
  options.attr("set_preference")("dom.speechrecognition.enabled", false);
  options.attr("set_preference")("dom.webspeech.synth.enabled", false);
  options.attr("set_preference")("media.volume_scale", "0.0");

  py::object service;
  if (eq(mode.attr("lower")(), "manual")) {
    options.attr("binary_location") = firefox_path;
    service = g("FirefoxService")(py::arg("executable_path") = driver_path);
  } else {
    py::object installed = g("GeckoDriverManager")().attr("install")();
    service = g("FirefoxService")(installed);
  }
  py::object driver =
      g("webdriver").attr("Firefox")(py::arg("service") = service, py::arg("options") = options);
  if (truthy(maximize)) driver.attr("maximize_window")();
  return driver;
}

py::object Edge_Driver_info(Arg maximize, Arg headless) {
  py::object options = chromium_options("EdgeOptions", maximize, headless, "--headless=new");
  try {
    return g("webdriver").attr("Edge")(py::arg("options") = options);
  } catch (...) {
    py::error_already_set e = caught();
    say({"[Edge Driver Error] ", e});
    return py::none();
  }
}

}  // namespace kf
