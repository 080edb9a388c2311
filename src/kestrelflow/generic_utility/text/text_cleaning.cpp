// Literal cleaning: delete every character outside a language's alphabet.
#include "frame/routines.h"

#include <cstring>

namespace kf {
namespace {

// Characters deleted from Arabic text: everything but the Arabic block, its
// digits and punctuation, whitespace, "," "." "!" and "-".  The \uXXXX escapes
// are the regular-expression engine's, not the compiler's.
constexpr const char* kArabicDeleted =
    R"([^\u0600-\u06FF\u0660-\u0669\u061B\u061F\u0621-\u064A\s,.)" "\u060C\u061B" R"(!-])";

// Characters deleted from English text.
constexpr const char* kEnglishDeleted = R"([^a-zA-Z0-9\s,.?!-])";

// The function `name` of the module whose namespace is `names`, as that
// module defines it (not a replacement bound in its place).
bool defined_in(PyObject* function, PyObject* names, const char* name) {
  if (function == nullptr || !PyFunction_Check(function) || PyFunction_GetGlobals(function) != names)
    return false;
  PyObject* code = PyFunction_GetCode(function);
  return PyUnicode_CompareWithASCIIString(reinterpret_cast<PyCodeObject*>(code)->co_name, name) == 0;
}

PyObject* lookup(PyObject* names, const Literal& name) {
  PyObject* value = PyDict_GetItemWithError(names, name.str().ptr());
  if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
  return value;
}

// re.sub(pattern, "", text).  The standard module's sub is
// `_compile(pattern, 0).sub(repl, string, 0)`, and _compile first looks the
// pattern up in the module's `_cache`: while `re`, its `sub` and its
// `_compile` are the standard ones, a pattern found there is used directly.
// Everything else calls re.sub.
py::object sub_nothing(py::handle pattern, py::handle text) {
  static const Literal re_name("re"), cache_name("_cache"), sub_name("sub"), compile_name("_compile"),
      nothing("");
  py::object re = g(re_name);
  if (PyModule_CheckExact(re.ptr())) {
    PyObject* names = PyModule_GetDict(re.ptr());
    PyObject* cache = lookup(names, cache_name);
    if (cache != nullptr && PyDict_CheckExact(cache) && defined_in(lookup(names, sub_name), names, "sub") &&
        defined_in(lookup(names, compile_name), names, "_compile")) {
      py::object flags = int_of(0);
      PyObject* key = PyTuple_Pack(3, reinterpret_cast<PyObject*>(Py_TYPE(pattern.ptr())), pattern.ptr(),
                                   flags.ptr());
      if (key == nullptr) throw py::error_already_set();
      py::object held_key = py::reinterpret_steal<py::object>(key);
      PyObject* compiled = PyDict_GetItemWithError(cache, key);
      if (compiled == nullptr && PyErr_Occurred()) throw py::error_already_set();
      if (compiled != nullptr) {
        py::object held = py::reinterpret_borrow<py::object>(compiled);
        return call_method(held, sub_name, {nothing.str(), text, flags});
      }
    }
  }
  return call_method(re, sub_name, {pattern, nothing.str(), text});
}

// text.strip(): an exact str is trimmed in place, by the same whitespace
// test str.strip() uses, and comes back itself when there is nothing to trim.
py::object strip(py::handle text) {
  PyObject* s = text.ptr();
  if (!PyUnicode_CheckExact(s)) return call_method(text, "strip");
  Py_ssize_t begin = 0, end = PyUnicode_GET_LENGTH(s);
  int kind = PyUnicode_KIND(s);
  const void* data = PyUnicode_DATA(s);
  while (begin < end && Py_UNICODE_ISSPACE(PyUnicode_READ(kind, data, begin))) ++begin;
  while (end > begin && Py_UNICODE_ISSPACE(PyUnicode_READ(kind, data, end - 1))) --end;
  if (begin == 0 && end == PyUnicode_GET_LENGTH(s)) return py::reinterpret_borrow<py::object>(text);
  PyObject* trimmed = PyUnicode_Substring(s, begin, end);
  if (trimmed == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(trimmed);
}

// re.sub(pattern, "", text).strip()
py::object delete_matches(const Literal& pattern, py::handle text) {
  return strip(sub_nothing(pattern.str(), text));
}

// language == name; an exact str is compared in place.
template <size_t N>
bool is_language(py::handle language, const char (&name)[N]) {
  PyObject* s = language.ptr();
  if (PyUnicode_CheckExact(s))
    return PyUnicode_GET_LENGTH(s) == static_cast<Py_ssize_t>(N - 1) &&
           PyUnicode_KIND(s) == PyUnicode_1BYTE_KIND && std::memcmp(PyUnicode_DATA(s), name, N - 1) == 0;
  return eq(language, literal(name));
}

}  // namespace

py::object clean_text(Arg text, Arg language) {
  static const Literal arabic(kArabicDeleted), english(kEnglishDeleted);
  if (is_language(language, "arabic")) return delete_matches(arabic, text);
  if (is_language(language, "english")) return delete_matches(english, text);
  return strip(text);
}

}  // namespace kf
