// The collaborators bound into the module namespace, in binding order.
#include "frame/module_body.h"

namespace kf {
namespace {

struct Import {
  const char* module;
  const char* attribute;  // nullptr: bind the module itself
  const char* bound_as;
};

constexpr Import kImports[] = {
    {"os", nullptr, "os"},
    {"time", nullptr, "time"},
    {"base64", nullptr, "base64"},
    {"warnings", nullptr, "warnings"},
    {"tempfile", nullptr, "tempfile"},
    {"datetime", "datetime", "datetime"},
    {"io", "StringIO", "StringIO"},
    {"re", nullptr, "re"},
    {"pandas", nullptr, "pd"},
    {"numpy", nullptr, "np"},
    {"requests", nullptr, "requests"},
    {"lxml", "etree", "etree"},
    {"difflib", "SequenceMatcher", "SequenceMatcher"},
    {"PIL", "Image", "Image"},
    {"mss", nullptr, "mss"},
    {"shutil", nullptr, "shutil"},
    {"pyautogui", nullptr, "pyautogui"},
    {"selenium", "webdriver", "webdriver"},
    {"selenium.webdriver.common.by", "By", "By"},
    {"selenium.webdriver.common.keys", "Keys", "Keys"},
    {"selenium.webdriver.support.ui", "WebDriverWait", "WebDriverWait"},
    {"selenium.webdriver.support", "expected_conditions", "EC"},
    {"selenium.webdriver.common.alert", "Alert", "Alert"},
    {"selenium.common.exceptions", "TimeoutException", "TimeoutException"},
    {"selenium.common.exceptions", "UnexpectedAlertPresentException",
     "UnexpectedAlertPresentException"},
    {"selenium.common.exceptions", "NoSuchElementException", "NoSuchElementException"},
    {"selenium.common.exceptions", "ElementNotInteractableException",
     "ElementNotInteractableException"},
    {"selenium.common.exceptions", "ElementClickInterceptedException",
     "ElementClickInterceptedException"},
    {"selenium.webdriver.chrome.service", "Service", "ChromeService"},
    {"selenium.webdriver.chrome.options", "Options", "ChromeOptions"},
    {"webdriver_manager.chrome", "ChromeDriverManager", "ChromeDriverManager"},
    {"selenium.webdriver.firefox.service", "Service", "FirefoxService"},
    {"selenium.webdriver.firefox.options", "Options", "FirefoxOptions"},
    {"selenium.webdriver.edge.service", "Service", "EdgeService"},
    {"selenium.webdriver.edge.options", "Options", "EdgeOptions"},
    {"webdriver_manager.microsoft", "EdgeChromiumDriverManager", "EdgeChromiumDriverManager"},
    {"selenium.webdriver.common.action_chains", "ActionChains", "ActionChains"},
    {"google.oauth2.credentials", "Credentials", "Credentials"},
    {"google_auth_oauthlib.flow", "InstalledAppFlow", "InstalledAppFlow"},
    {"googleapiclient.discovery", "build", "build"},
    {"googleapiclient.errors", "HttpError", "HttpError"},
    {"webdriver_manager.firefox", "GeckoDriverManager", "GeckoDriverManager"},
    {"tkinter", nullptr, "tk"},
    {"tkinter", "ttk", "ttk"},
    {"tkinter", "messagebox", "messagebox"},
};

// `import module` or `from module import attribute`, as the statement would.
py::object import_one(const Import& entry, py::dict globals) {
  py::tuple fromlist = entry.attribute ? py::make_tuple(entry.attribute) : py::tuple();
  PyObject* imported = PyImport_ImportModuleLevel(entry.module, globals.ptr(), nullptr,
                                                  fromlist.ptr(), 0);
  if (imported == nullptr) throw py::error_already_set();
  py::object module = py::reinterpret_steal<py::object>(imported);
  if (entry.attribute == nullptr) return module;
  PyObject* value = PyObject_GetAttrString(module.ptr(), entry.attribute);
  if (value == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::error_already_set();
    PyErr_Clear();
    PyErr_Format(PyExc_ImportError, "cannot import name '%s' from '%s'", entry.attribute,
                 entry.module);
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::object>(value);
}

}  // namespace

void bind_imports(py::dict globals) {
  for (const Import& entry : kImports) globals[entry.bound_as] = import_one(entry, globals);
}

}  // namespace kf
