// The characters of a text, as `for char in text` sees them.
//
// The text routines take a str (the usual case) or any iterable of
// one-character strings.  A str is read in place: its code units, in the
// width the interpreter stores them (1, 2 or 4 bytes), without creating a
// Python object per character.  Anything else is iterated; each element that
// is an exact one-character str is still handled as a code point, and every
// other element is handed back as an object so that the caller can apply the
// rule with Python's own operations (and raise what Python would raise).
#pragma once

#include "frame/routines.h"

namespace kf {
namespace text_chars {

constexpr Py_ssize_t kSignalEvery = Py_ssize_t(1) << 20;

// Calls `visit(data, length)` with the str's code units as a typed pointer
// (const Py_UCS1*, const Py_UCS2* or const Py_UCS4*) and returns its result.
// `text` must be a ready str.
template <class Visit>
auto with_code_units(py::handle text, Visit&& visit) {
  PyObject* s = text.ptr();
  const void* data = PyUnicode_DATA(s);
  const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
  switch (PyUnicode_KIND(s)) {
    case PyUnicode_1BYTE_KIND:
      return visit(static_cast<const Py_UCS1*>(data), length);
    case PyUnicode_2BYTE_KIND:
      return visit(static_cast<const Py_UCS2*>(data), length);
    default:
      return visit(static_cast<const Py_UCS4*>(data), length);
  }
}

// The code point of an exact one-character str, or -1 for any other object
// (str subclasses included: they may redefine comparison and case mapping).
inline long single_code_point(PyObject* item) {
  if (!PyUnicode_CheckExact(item) || PyUnicode_GET_LENGTH(item) != 1) return -1;
  return static_cast<long>(PyUnicode_READ_CHAR(item, 0));
}

// Walks the characters of `text` in order.  `on_code_point(Py_UCS4)` and
// `on_object(py::handle)` return true to stop the walk early (the iterator is
// then left where it stands, as a `return` inside the loop would leave it).
// Returns true when the walk was stopped.  Raises TypeError for a text that
// is not iterable and passes on errors of the iteration itself.
template <class OnCodePoint, class OnObject>
bool for_each_char(py::handle text, OnCodePoint&& on_code_point, OnObject&& on_object) {
  if (PyUnicode_CheckExact(text.ptr())) {
    return with_code_units(text, [&](const auto* units, Py_ssize_t length) {
      // Signals are looked at every 1M characters (about a millisecond).
      for (Py_ssize_t block = 0; block < length; block += kSignalEvery) {
        if (block != 0) check_signals();
        Py_ssize_t end = length - block > kSignalEvery ? block + kSignalEvery : length;
        for (Py_ssize_t i = block; i < end; ++i)
          if (on_code_point(static_cast<Py_UCS4>(units[i]))) return true;
      }
      return false;
    });
  }
  PyObject* sequence = text.ptr();
  if (PyList_CheckExact(sequence) || PyTuple_CheckExact(sequence)) {
    // Indexed as their iterators index them: the size is read again on every
    // step, since the rule applied to an odd element may run Python code.
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence); ++i) {
      if ((i & 0xFFF) == 0xFFF) check_signals();
      PyObject* item = PySequence_Fast_GET_ITEM(sequence, i);
      long code_point = single_code_point(item);
      if (code_point >= 0) {
        if (on_code_point(static_cast<Py_UCS4>(code_point))) return true;
      } else if (on_object(py::reinterpret_borrow<py::object>(item))) {
        return true;
      }
    }
    return false;
  }
  py::object iterator = py::reinterpret_steal<py::object>(PyObject_GetIter(sequence));
  if (!iterator) throw py::error_already_set();
  size_t items = 0;
  while (PyObject* next = PyIter_Next(iterator.ptr())) {
    py::object item = py::reinterpret_steal<py::object>(next);
    if ((++items & 0xFFF) == 0) check_signals();
    long code_point = single_code_point(item.ptr());
    bool stop = code_point >= 0 ? on_code_point(static_cast<Py_UCS4>(code_point))
                                : on_object(item);
    if (stop) return true;
  }
  if (PyErr_Occurred()) throw py::error_already_set();
  return false;
}

}  // namespace text_chars
}  // namespace kf
