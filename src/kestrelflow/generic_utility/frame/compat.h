// The few CPython 3.11 internals the module relies on, in one place.  The
// build accepts CPython 3.11 only; a port to another version starts here.
#pragma once

#include <Python.h>

#if PY_VERSION_HEX < 0x030B0000 || PY_VERSION_HEX >= 0x030C0000
#error "kestrelflow.generic_utility is built for CPython 3.11 only"
#endif

namespace kf::compat {

// Adds a traceback entry named `name` in `file` to the pending exception.
inline void add_traceback(const char* name, const char* file, int line) {
  _PyTraceback_Add(name, file, line);
}

// The attribute `name` found on the type's MRO without binding it (borrowed,
// or nullptr with no exception set), as the interpreter finds special methods.
inline PyObject* type_lookup(PyTypeObject* type, PyObject* name) {
  return _PyType_Lookup(type, name);
}

// The slot of the exception being handled by the innermost running frame (a
// generator's own slot while it runs): what an `except` block or the exit of
// a `with` statement saves, sets and restores.
inline PyObject*& handled_exception_slot() {
  return PyThreadState_Get()->exc_info->exc_value;
}

}  // namespace kf::compat
