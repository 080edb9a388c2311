// Process-wide state of the module frame: the one module object and the
// interpreter it belongs to.
#pragma once

#include <Python.h>

namespace kf::state {

// The executed module object of this process (borrowed), or nullptr.
PyObject* module();

}  // namespace kf::state
