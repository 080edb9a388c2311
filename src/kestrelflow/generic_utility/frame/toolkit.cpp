#include "frame/toolkit.h"

#include "frame/module_state.h"

// Defines the out-of-line members of pybind11's exception types once for the module.
#include <pybind11/pybind11.h>

#include <vector>

namespace kf {

py::dict module_dict() {
  PyObject* module = state::module();
  if (module == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "kestrelflow.generic_utility is not initialised");
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::dict>(PyModule_GetDict(module));
}

py::object g(const char* name) {
  PyObject* value = PyDict_GetItemString(module_dict().ptr(), name);
  if (value == nullptr) {
    if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(value);
}

py::object import_module(const char* name) {
  PyObject* module = PyImport_ImportModule(name);
  if (module == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(module);
}

bool truthy(py::handle value) {
  int truth = PyObject_IsTrue(value.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth != 0;
}

py::object Piece::as_str() const {
  if (is_number_) return py::reinterpret_steal<py::object>(PyUnicode_FromFormat("%lld", number_));
  if (value_) return py::str(value_);
  return py::str(text_.data(), text_.size());
}

py::str text(std::initializer_list<Piece> pieces) {
  py::list parts(pieces.size());
  size_t i = 0;
  for (const Piece& piece : pieces) parts[i++] = piece.as_str();
  return py::reinterpret_steal<py::str>(PyUnicode_Join(py::str("").ptr(), parts.ptr()));
}

static py::object builtin_print() {
  return import_module("builtins").attr("print");
}

void say(std::initializer_list<Piece> pieces) { builtin_print()(text(pieces)); }

void say_values(std::initializer_list<py::handle> values) {
  py::tuple args(values.size());
  size_t i = 0;
  for (py::handle value : values) args[i++] = py::reinterpret_borrow<py::object>(value);
  builtin_print()(*args);
}

void pass_unless(const py::error_already_set& e, py::handle cls) {
  if (!e.matches(cls)) throw;
}

bool is_instance(const py::error_already_set& e, const char* name) { return e.matches(g(name)); }

py::tuple locator(const char* by, py::handle expression) {
  return py::make_tuple(g("By").attr(by), expression);
}

py::str template_xpath(const char* before, py::handle text, const char* after) {
  return kf::text({before, text, after});
}

py::object wait_until(py::handle driver, py::handle timeout, const char* condition,
                      py::handle locator) {
  py::object wait = g("WebDriverWait")(driver, timeout);
  return wait.attr("until")(g("EC").attr(condition)(locator));
}

void sleep(py::handle seconds) { g("time").attr("sleep")(seconds); }

void sleep(double seconds) { sleep(py::float_(seconds)); }

}  // namespace kf
