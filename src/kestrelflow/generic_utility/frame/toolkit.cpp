#include "frame/toolkit.h"

#include "frame/module_state.h"

// Defines the out-of-line members of pybind11's exception types once for the module.
#include <pybind11/pybind11.h>

#include <charconv>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace kf {

py::dict module_dict() {
  PyObject* module = state::module();
  if (module == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "kestrelflow.generic_utility is not initialised");
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::dict>(PyModule_GetDict(module));
}

// Interned keys for the names the routines look up, so a lookup costs one
// pointer-keyed probe and a dict access with a cached hash.
static PyObject* interned(const char* name) {
  static std::unordered_map<const char*, PyObject*> keys;
  auto found = keys.find(name);
  if (found != keys.end()) return found->second;
  PyObject* key = PyUnicode_InternFromString(name);
  if (key == nullptr) throw py::error_already_set();
  keys.emplace(name, key);
  return key;
}

py::object g(const char* name) {
  PyObject* value = PyDict_GetItemWithError(module_dict().ptr(), interned(name));
  if (value == nullptr) {
    if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(value);
}

py::object call(py::handle callable, std::initializer_list<py::handle> args) {
  PyObject* stack[8];
  size_t n = 0;
  for (py::handle arg : args) {
    if (n == 8) throw std::length_error("kf::call takes at most 8 arguments");
    stack[n++] = arg.ptr();
  }
  PyObject* result = PyObject_Vectorcall(callable.ptr(), stack, n, nullptr);
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

py::object call_method(py::handle self, const char* name, std::initializer_list<py::handle> args) {
  PyObject* stack[9] = {self.ptr()};
  size_t n = 1;
  for (py::handle arg : args) {
    if (n == 9) throw std::length_error("kf::call_method takes at most 8 arguments");
    stack[n++] = arg.ptr();
  }
  PyObject* result = PyObject_VectorcallMethod(interned(name), stack,
                                               n | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
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

static void append_number(LineBuffer& out, long long number) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof(digits), number);
  (void)error;
  out.append(digits, static_cast<size_t>(end - digits));
}

bool Piece::append_utf8(LineBuffer& out) const {
  if (is_number_) {
    append_number(out, number_);
    return true;
  }
  if (!value_) {
    out.append(text_.data(), text_.size());
    return true;
  }
  if (PyLong_CheckExact(value_.ptr())) {  // the common case of a counter
    int overflow = 0;
    long long number = PyLong_AsLongLongAndOverflow(value_.ptr(), &overflow);
    if (!overflow && !(number == -1 && PyErr_Occurred())) {
      append_number(out, number);
      return true;
    }
    PyErr_Clear();
  }
  py::object shown = PyUnicode_CheckExact(value_.ptr()) ? py::reinterpret_borrow<py::object>(value_)
                                                        : py::str(value_);
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(shown.ptr(), &size);
  if (utf8 == nullptr) {  // lone surrogates: no UTF-8 form
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw py::error_already_set();
    PyErr_Clear();
    return false;
  }
  out.append(utf8, static_cast<size_t>(size));
  return true;
}

py::str text(std::initializer_list<Piece> pieces) {
  // One UTF-8 buffer decoded once; a value that has no UTF-8 form falls back
  // to joining the pieces as str objects.
  LineBuffer buffer;
  bool utf8 = true;
  for (const Piece& piece : pieces)
    if (!(utf8 = piece.append_utf8(buffer))) break;
  if (utf8) {
    PyObject* joined = PyUnicode_DecodeUTF8(buffer.data(), static_cast<Py_ssize_t>(buffer.size()),
                                            nullptr);
    if (joined == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(joined);
  }
  py::list parts(pieces.size());
  size_t i = 0;
  for (const Piece& piece : pieces) parts[i++] = piece.as_str();
  return py::reinterpret_steal<py::str>(PyUnicode_Join(py::str("").ptr(), parts.ptr()));
}

// The builtin print, looked up at the moment of the call.
static py::object builtin_print() {
  PyObject* print = PyDict_GetItemWithError(PyEval_GetBuiltins(), interned("print"));
  if (print == nullptr) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "name 'print' is not defined");
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(print);
}

void say(std::initializer_list<Piece> pieces) { call(builtin_print(), {text(pieces)}); }

void say_values(std::initializer_list<py::handle> values) {
  py::tuple args(values.size());
  size_t i = 0;
  for (py::handle value : values) args[i++] = py::reinterpret_borrow<py::object>(value);
  builtin_print()(*args);
}

void pass_unless(const py::error_already_set& e, py::handle cls) {
  if (!e.matches(cls)) throw;
}

py::error_already_set as_python_error() {
  try {
    throw;
  } catch (py::error_already_set& e) {
    return e;
  } catch (py::builtin_exception& e) {
    e.set_error();
  } catch (std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
  }
  return py::error_already_set();
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
  py::object wait = call(g("WebDriverWait"), {driver, timeout});
  return call_method(wait, "until", {call_method(g("EC"), condition, {locator})});
}

void sleep(py::handle seconds) { call_method(g("time"), "sleep", {seconds}); }

void sleep(double seconds) { sleep(py::float_(seconds)); }

}  // namespace kf
