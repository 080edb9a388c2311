#include "frame/toolkit.h"

#include "frame/compat.h"
#include "frame/module_state.h"

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace kf {

py::dict module_dict() {
  PyObject* module = state::module();
  if (module == nullptr) raise_error(PyExc_RuntimeError, "kestrelflow.generic_utility is not initialised");
  return py::reinterpret_borrow<py::dict>(PyModule_GetDict(module));
}

// Interned keys for the names the routines look up.  The cache is probed by
// the address of the name's text and the hit confirmed by its content, so a
// name built at run time (whose address may be reused for another text)
// always finds its own key.
static PyObject* interned(const char* name) {
  static std::unordered_map<const char*, PyObject*> keys;
  auto found = keys.find(name);
  if (found != keys.end()) {
    const char* cached = PyUnicode_AsUTF8(found->second);  // ASCII names: the stored text
    if (cached != nullptr && std::strcmp(cached, name) == 0) return found->second;
    PyErr_Clear();
  }
  PyObject* key = PyUnicode_InternFromString(name);
  if (key == nullptr) throw py::error_already_set();
  if (found != keys.end()) {
    Py_SETREF(found->second, key);
  } else {
    keys.emplace(name, key);
  }
  return key;
}

namespace {

// The module-level name `key` (spelt `name` in the error).
py::object global_named(PyObject* key, const char* name) {
  PyObject* value = PyDict_GetItemWithError(module_dict().ptr(), key);
  if (value == nullptr) {
    if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(value);
}

// self.<name>(*args), through vectorcall.
py::object call_method_named(py::handle self, PyObject* name,
                             std::initializer_list<py::handle> args) {
  PyObject* stack[9] = {self.ptr()};
  size_t n = 1;
  for (py::handle arg : args) {
    if (n == 9) throw std::length_error("kf::call_method takes at most 8 arguments");
    stack[n++] = arg.ptr();
  }
  PyObject* result =
      PyObject_VectorcallMethod(name, stack, n | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

}  // namespace

py::object g(const char* name) { return global_named(interned(name), name); }

py::object g(const Literal& name) { return global_named(name.str().ptr(), name.utf8()); }

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
  return call_method_named(self, interned(name), args);
}

py::object call_method(py::handle self, const Literal& name, std::initializer_list<py::handle> args) {
  return call_method_named(self, name.str().ptr(), args);
}

py::handle literal(const char* utf8) { return interned(utf8); }

py::object import_module(const char* name) {
  PyObject* module = PyImport_ImportModule(name);
  if (module == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(module);
}

py::str str_of(std::string_view utf8) {
  PyObject* s = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), nullptr);
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

py::int_ int_of(long long value) {
  PyObject* number = PyLong_FromLongLong(value);
  if (number == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::int_>(number);
}

// ---- operators -------------------------------------------------------------------

bool truthy(py::handle value) {
  int truth = PyObject_IsTrue(value.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth != 0;
}

static bool compare(py::handle a, py::handle b, int op) {
  PyObject* result = PyObject_RichCompare(a.ptr(), b.ptr(), op);
  if (result == nullptr) throw py::error_already_set();
  return truthy(py::reinterpret_steal<py::object>(result));
}

bool eq(py::handle a, py::handle b) { return compare(a, b, Py_EQ); }
bool eq(py::handle a, const char* text) { return compare(a, str_of(text), Py_EQ); }
bool ne(py::handle a, py::handle b) { return compare(a, b, Py_NE); }
bool lt(py::handle a, py::handle b) { return compare(a, b, Py_LT); }
bool le(py::handle a, py::handle b) { return compare(a, b, Py_LE); }
bool gt(py::handle a, py::handle b) { return compare(a, b, Py_GT); }
bool ge(py::handle a, py::handle b) { return compare(a, b, Py_GE); }

int eq_status(py::handle a, py::handle b) {
  PyObject* result = PyObject_RichCompare(a.ptr(), b.ptr(), Py_EQ);
  if (result == nullptr) return -1;
  int truth = PyObject_IsTrue(result);
  Py_DECREF(result);
  return truth;
}

bool contains(py::handle container, py::handle item) {
  int found = PySequence_Contains(container.ptr(), item.ptr());
  if (found < 0) throw py::error_already_set();
  return found != 0;
}

py::object add(py::handle a, py::handle b) {
  PyObject* sum = PyNumber_Add(a.ptr(), b.ptr());
  if (sum == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(sum);
}

void iadd(py::object& a, py::handle b) {
  PyObject* sum = PyNumber_InPlaceAdd(a.ptr(), b.ptr());
  if (sum == nullptr) throw py::error_already_set();
  a = py::reinterpret_steal<py::object>(sum);
}

namespace {
py::object number_result(PyObject* result) {
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}
}  // namespace

py::object sub(py::handle a, py::handle b) { return number_result(PyNumber_Subtract(a.ptr(), b.ptr())); }

py::object mul(py::handle a, py::handle b) { return number_result(PyNumber_Multiply(a.ptr(), b.ptr())); }

py::object floordiv(py::handle a, py::handle b) {
  return number_result(PyNumber_FloorDivide(a.ptr(), b.ptr()));
}

py::object truediv(py::handle a, py::handle b) {
  return number_result(PyNumber_TrueDivide(a.ptr(), b.ptr()));
}

py::object to_int(py::handle a) { return number_result(PyNumber_Long(a.ptr())); }

Py_ssize_t range_count(py::handle n) {
  PyObject* index = PyNumber_Index(n.ptr());
  if (index == nullptr) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be interpreted as an integer",
                   Py_TYPE(n.ptr())->tp_name);
    }
    throw py::error_already_set();
  }
  Py_ssize_t count = PyNumber_AsSsize_t(index, nullptr);  // clamped: range(10**30) never ends anyway
  Py_DECREF(index);
  if (count == -1 && PyErr_Occurred()) throw py::error_already_set();
  return count < 0 ? 0 : count;
}

void unpack_into(py::handle iterable, py::object* values, size_t count) {
  PyObject* iterator = PyObject_GetIter(iterable.ptr());
  if (iterator == nullptr) {
    if (PyErr_ExceptionMatches(PyExc_TypeError) && Py_TYPE(iterable.ptr())->tp_iter == nullptr &&
        !PySequence_Check(iterable.ptr())) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "cannot unpack non-iterable %.200s object",
                   Py_TYPE(iterable.ptr())->tp_name);
    }
    throw py::error_already_set();
  }
  py::object it = py::reinterpret_steal<py::object>(iterator);
  for (size_t i = 0; i < count; ++i) {
    PyObject* next = PyIter_Next(iterator);
    if (next == nullptr) {
      if (!PyErr_Occurred())
        PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected %zu, got %zu)", count, i);
      throw py::error_already_set();
    }
    values[i] = py::reinterpret_steal<py::object>(next);
  }
  PyObject* extra = PyIter_Next(iterator);
  if (extra != nullptr) {
    Py_DECREF(extra);
    PyErr_Format(PyExc_ValueError, "too many values to unpack (expected %zu)", count);
  }
  if (PyErr_Occurred()) throw py::error_already_set();
}

// ---- with ------------------------------------------------------------------------

// A special method looked up on the type and bound to the instance, the way
// the interpreter finds __enter__ and __exit__ for a `with` statement.
static py::object special_method(py::handle object, const char* name, const char* missing) {
  PyTypeObject* type = Py_TYPE(object.ptr());
  PyObject* found = compat::type_lookup(type, interned(name));
  if (found == nullptr) {
    if (!PyErr_Occurred())
      PyErr_Format(PyExc_TypeError, "'%.200s' object does not support the context manager protocol%s",
                   type->tp_name, missing);
    throw py::error_already_set();
  }
  descrgetfunc bind = Py_TYPE(found)->tp_descr_get;
  if (bind == nullptr) return py::reinterpret_borrow<py::object>(found);
  PyObject* bound = bind(found, object.ptr(), reinterpret_cast<PyObject*>(type));
  if (bound == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(bound);
}

// While __exit__ runs, the body's exception is the one being handled by the
// running frame; the frame's own slot gets its previous value back after, as
// the interpreter's except-block entry and exit do.
namespace {
class Handling {
 public:
  explicit Handling(py::handle exception) : saved_(compat::handled_exception_slot()) {
    compat::handled_exception_slot() = Py_NewRef(exception.ptr());
  }
  ~Handling() {
    PyObject*& slot = compat::handled_exception_slot();
    PyObject* current = slot;
    slot = saved_;
    Py_XDECREF(current);
  }
  Handling(const Handling&) = delete;
  Handling& operator=(const Handling&) = delete;

 private:
  PyObject* saved_;  // owned while we run
};
}  // namespace

void detail::with_(py::handle manager, WithBody run, void* body) {
  py::object enter = special_method(manager, "__enter__", "");
  py::object exit = special_method(manager, "__exit__", " (missed __exit__ method)");
  py::object value = enter();

  try {
    run(body, value);
  } catch (...) {
    py::error_already_set error = as_python_error();
    py::object trace = error.trace() ? error.trace() : py::none();
    py::object result;
    {
      Handling handling(error.value());
      result = exit(error.type(), error.value(), trace);
    }
    if (!truthy(result)) throw error;
    return;
  }
  exit(py::none(), py::none(), py::none());
}

// ---- raising ----------------------------------------------------------------------

void raise(py::handle cls, py::handle message) {
  py::object exception = call(cls, {message});
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
  throw py::error_already_set();
}

void raise_error(PyObject* builtin_class, const char* message) {
  PyErr_SetString(builtin_class, message);
  throw py::error_already_set();
}

void check_signals() {
  if (PyErr_CheckSignals() < 0) throw py::error_already_set();
}

// ---- printed lines ------------------------------------------------------------------

py::object Piece::as_str() const {
  if (is_number_) return py::str(int_of(number_));
  if (value_) return py::str(value_);
  return str_of(text_);
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

py::str concat(std::initializer_list<Piece> pieces) {
  // One UTF-8 buffer decoded once; a value that has no UTF-8 form falls back
  // to joining the pieces as str objects.
  LineBuffer buffer;
  bool utf8 = true;
  for (const Piece& piece : pieces)
    if (!(utf8 = piece.append_utf8(buffer))) break;
  if (utf8) return str_of(std::string_view(buffer.data(), buffer.size()));
  PyObject* parts = PyList_New(static_cast<Py_ssize_t>(pieces.size()));
  if (parts == nullptr) throw py::error_already_set();
  py::object list = py::reinterpret_steal<py::object>(parts);
  Py_ssize_t i = 0;
  for (const Piece& piece : pieces) PyList_SET_ITEM(parts, i++, piece.as_str().release().ptr());
  py::str empty = str_of("");
  PyObject* joined = PyUnicode_Join(empty.ptr(), parts);
  if (joined == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(joined);
}

// print as the module's own code finds it at the moment of the call: a
// module-level binding first (`gu.print = ...` redirects every routine's
// lines), then the builtin.
static py::object module_print() {
  PyObject* key = interned("print");
  PyObject* print = nullptr;
  if (PyObject* module = state::module()) {
    print = PyDict_GetItemWithError(PyModule_GetDict(module), key);
    if (print == nullptr && PyErr_Occurred()) throw py::error_already_set();
  }
  if (print == nullptr) print = PyDict_GetItemWithError(PyEval_GetBuiltins(), key);
  if (print == nullptr) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "name 'print' is not defined");
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(print);
}

void say(std::initializer_list<Piece> pieces) { call(module_print(), {concat(pieces)}); }

void say_values(std::initializer_list<py::handle> values) {
  PyObject* stack[8];
  size_t n = 0;
  for (py::handle value : values) {
    if (n == 8) throw std::length_error("kf::say_values takes at most 8 values");
    stack[n++] = value.ptr();
  }
  PyObject* result = PyObject_Vectorcall(module_print().ptr(), stack, n, nullptr);
  if (result == nullptr) throw py::error_already_set();
  Py_DECREF(result);
}

// ---- guarded blocks ----------------------------------------------------------------------

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
    // A pybind11 constructor that failed (an allocation, say) reports a C++
    // error while the real cause is already set: keep the cause.
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
  }
  return py::error_already_set();
}

namespace {
// The classes caught since forget_caught(), each once, the latest last: a
// list (strong reference) or nullptr.  Never released at exit: the
// interpreter may be gone by then.
PyObject* g_caught_kinds = nullptr;
constexpr Py_ssize_t kKindsKept = 16;

void note_caught(PyObject* kind) {
  if (g_caught_kinds == nullptr) {
    g_caught_kinds = PyList_New(0);
    if (g_caught_kinds == nullptr) throw py::error_already_set();
  }
  Py_ssize_t size = PyList_GET_SIZE(g_caught_kinds);
  for (Py_ssize_t i = 0; i < size; ++i) {
    if (PyList_GET_ITEM(g_caught_kinds, i) == kind) {
      if (PySequence_DelItem(g_caught_kinds, i) < 0) throw py::error_already_set();
      --size;
      break;
    }
  }
  if (size >= kKindsKept && PySequence_DelItem(g_caught_kinds, 0) < 0)
    throw py::error_already_set();
  if (PyList_Append(g_caught_kinds, kind) < 0) throw py::error_already_set();
}
}  // namespace

py::error_already_set caught(py::handle cls) {
  py::error_already_set error = as_python_error();
  if (error.matches(PyExc_KeyboardInterrupt) || error.matches(PyExc_SystemExit) ||
      !error.matches(cls))
    throw error;
  // The class only: an instance would hold its traceback's frames alive.
  note_caught(error.type().ptr());
  return error;
}

py::list caught_kinds() {
  if (g_caught_kinds == nullptr) return py::list();
  PyObject* copy = PyList_GetSlice(g_caught_kinds, 0, PY_SSIZE_T_MAX);
  if (copy == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::list>(copy);
}

void forget_caught() { Py_CLEAR(g_caught_kinds); }

bool is_instance(const py::error_already_set& e, const char* name) { return e.matches(g(name)); }

void sleep(py::handle seconds) { call_method(g("time"), "sleep", {seconds}); }

void sleep(int seconds) { sleep(int_of(seconds)); }

void sleep(double seconds) {
  PyObject* value = PyFloat_FromDouble(seconds);
  if (value == nullptr) throw py::error_already_set();
  sleep(py::reinterpret_steal<py::object>(value));
}

}  // namespace kf
