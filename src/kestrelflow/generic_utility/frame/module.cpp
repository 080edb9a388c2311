// Module creation and execution (multi-phase initialisation).
//
// The module is process-wide: one interpreter may hold it, it is created and
// executed once, and a later import in the same interpreter gets the same
// object back without running anything again.
#include "frame/compat.h"
#include "frame/module_body.h"
#include "frame/module_state.h"

#include <cstdint>

namespace kf {
namespace {

constexpr const char* kFullName = "kestrelflow.generic_utility";
constexpr const char* kFile = "kestrelflow/generic_utility";

int64_t g_interpreter_id = -1;
PyObject* g_module = nullptr;  // strong reference once the exec step has started

// Copies one attribute of the spec onto the module; a missing one is skipped.
// Returns false with an exception set on any other failure.
bool copy_spec_attribute(PyObject* spec, PyObject* module, const char* from, const char* to,
                         bool skip_none) {
  PyObject* value = PyObject_GetAttrString(spec, from);
  if (value == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    return true;
  }
  int status = 0;
  if (!(skip_none && value == Py_None)) status = PyObject_SetAttrString(module, to, value);
  Py_DECREF(value);
  return status == 0;
}

PyObject* module_create(PyObject* spec, PyModuleDef*) {
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  int64_t id = PyInterpreterState_GetID(interpreter);
  // Only the main interpreter may hold the module: the object helpers it is
  // written with take the GIL through the main interpreter's thread states,
  // which in a sub-interpreter would wait forever for a lock this thread holds.
  if (g_interpreter_id == -1 && interpreter == PyInterpreterState_Main()) {
    g_interpreter_id = id;
  } else if (id != g_interpreter_id) {
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one "
                    "interpreter per process.");
    return nullptr;
  }
  if (g_module != nullptr) return Py_NewRef(g_module);

  PyObject* name = PyObject_GetAttrString(spec, "name");
  if (name == nullptr) return nullptr;
  PyObject* module = PyModule_NewObject(name);
  Py_DECREF(name);
  if (module == nullptr) return nullptr;
  if (!copy_spec_attribute(spec, module, "loader", "__loader__", false) ||
      !copy_spec_attribute(spec, module, "origin", "__file__", false) ||
      !copy_spec_attribute(spec, module, "parent", "__package__", false) ||
      !copy_spec_attribute(spec, module, "submodule_search_locations", "__path__", true)) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

void warn_on_version_mismatch() {
  py::object version = import_module("sys").attr("version_info");
  int major = version.attr("major").cast<int>();
  int minor = version.attr("minor").cast<int>();
  if (major == 3 && minor == 11) return;
  if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                       "compile time Python version %d.%d of module '%.100s' %s runtime version "
                       "%d.%d",
                       3, 11, kFullName, "does not match", major, minor) < 0)
    throw py::error_already_set();
}

void run_module_body(PyObject* module) {
  py::dict globals = py::reinterpret_borrow<py::dict>(PyModule_GetDict(module));
  globals["__builtins__"] = import_module("builtins");
  warn_on_version_mismatch();
  py::dict modules = import_module("sys").attr("modules");
  if (!modules.contains(kFullName)) modules[kFullName] = py::handle(module);
  bind_imports(globals);
  globals["error_records"] = py::list();
  bind_functions(globals);
}

int module_exec(PyObject* module) {
  if (g_module != nullptr) {
    if (g_module == module) return 0;
    PyErr_SetString(PyExc_RuntimeError,
                    "Module 'generic_utility' has already been imported. Re-initialisation is not "
                    "supported.");
    return -1;
  }
  g_module = Py_NewRef(module);
  try {
    run_module_body(module);
    return 0;
  } catch (...) {
    as_python_error().restore();
  }
  // Forget the half-built module, so that a later import starts afresh.
  Py_CLEAR(g_module);
  if (PyErr_Occurred()) {
    compat::add_traceback("init kestrelflow.generic_utility", kFile, 1);
  } else {
    PyErr_SetString(PyExc_ImportError, "init kestrelflow.generic_utility");
  }
  return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "generic_utility",
    "Browser automation routines for a bilingual e-services portal: sessions, robust clicks\n"
    "and typing, waits, step runs with evidence, portal workflows, mail and text utilities.",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyObject* state::module() { return g_module; }

}  // namespace kf

PyMODINIT_FUNC PyInit_generic_utility() {
  return PyModuleDef_Init(&kf::module_def);
}
