// The function object: binds positional and keyword arguments to the table's
// parameters, fills defaults, calls the C++ routine, and turns a C++-side
// error back into a Python exception with a traceback entry for the routine.
#include "frame/function_type.h"

#include "frame/compat.h"

#include <structmember.h>

#include <cstring>
#include <string>
#include <utility>

namespace kf {
namespace {

constexpr const char* kModuleName = "kestrelflow.generic_utility";

struct FunctionObject {
  PyObject_HEAD
  vectorcallfunc vectorcall;
  const Row* row;
  Py_ssize_t nparams;
  PyObject* params;    // tuple of interned str
  PyObject* defaults;  // tuple, or nullptr for none
  PyObject* name;
  PyObject* qualname;
  PyObject* module;
  PyObject* doc;
  PyObject* dict;
  PyObject* weakrefs;
};

// ---- calling the routine -----------------------------------------------------

// Runs the routine; returns a new reference, or nullptr with an exception set.
__attribute__((noinline)) PyObject* run_routine(FunctionObject* f, PyObject* const* args) {
  const Row& row = *f->row;
  PyObject* result = nullptr;
  try {
    py::object value = row.invoke(args);
    result = value ? value.release().ptr() : Py_NewRef(Py_None);
  } catch (...) {
    as_python_error().restore();
  }
  if (result == nullptr) {
    std::string where = std::string(kModuleName) + "." + row.name;
    compat::add_traceback(where.c_str(), "kestrelflow/generic_utility", 0);
  }
  return result;
}

// ---- argument binding ----------------------------------------------------------

void count_error(FunctionObject* f, bool too_many, Py_ssize_t given) {
  Py_ssize_t ndefaults = f->defaults ? PyTuple_GET_SIZE(f->defaults) : 0;
  Py_ssize_t max = f->nparams;
  Py_ssize_t min = max - ndefaults;
  if (max == 0) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", f->row->name,
                 given);
    return;
  }
  const char* more_or_less = min == max ? "exactly" : (too_many ? "at most" : "at least");
  Py_ssize_t expected = too_many ? max : min;
  PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
               f->row->name, more_or_less, expected, expected == 1 ? "" : "s", given);
}

Py_ssize_t find_param(FunctionObject* f, PyObject* key) {
  PyObject* const* names = &PyTuple_GET_ITEM(f->params, 0);
  for (Py_ssize_t i = 0; i < f->nparams; ++i)
    if (names[i] == key) return i;
  for (Py_ssize_t i = 0; i < f->nparams; ++i) {
    int equal = PyObject_RichCompareBool(names[i], key, Py_EQ);
    if (equal != 0) return equal > 0 ? i : -2;
  }
  return -1;
}

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf,
                              PyObject* kwnames) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  const char* name = f->row->name;

  if (nargs == f->nparams && nkw == 0) return run_routine(f, args);  // nothing to bind
  if (nargs > f->nparams) {
    count_error(f, true, nargs);
    return nullptr;
  }
  if (nkw > 0 && f->nparams == 0) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", name);
    return nullptr;
  }

  PyObject* bound[kMaxParams];
  for (Py_ssize_t i = 0; i < nargs; ++i) bound[i] = args[i];
  for (Py_ssize_t i = nargs; i < f->nparams; ++i) bound[i] = nullptr;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t index = find_param(f, key);
    if (index == -2) return nullptr;
    if (index < 0) {
      PyErr_Format(PyExc_TypeError, "%.200s() got an unexpected keyword argument '%S'", name, key);
      return nullptr;
    }
    if (bound[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%.200s() got multiple values for argument '%S'", name, key);
      return nullptr;
    }
    bound[index] = args[nargs + k];
  }

  // Hold the defaults: a routine may replace __defaults__ while it runs.
  PyObject* defaults = Py_XNewRef(f->defaults);
  Py_ssize_t ndefaults = defaults ? PyTuple_GET_SIZE(defaults) : 0;
  Py_ssize_t first_default = f->nparams - ndefaults;
  for (Py_ssize_t i = nargs; i < f->nparams; ++i) {
    if (bound[i] != nullptr) continue;
    if (i >= first_default) {
      bound[i] = PyTuple_GET_ITEM(defaults, i - first_default);
    } else {
      count_error(f, false, nargs + nkw);
      Py_XDECREF(defaults);
      return nullptr;
    }
  }
  PyObject* result = run_routine(f, bound);
  Py_XDECREF(defaults);
  return result;
}

// ---- attributes ------------------------------------------------------------------

PyObject* get_defaults(PyObject* self, void*) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  return Py_NewRef(f->defaults ? f->defaults : Py_None);
}

int set_defaults(PyObject* self, PyObject* value, void*) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  if (value == Py_None) value = nullptr;
  if (value != nullptr && !PyTuple_Check(value)) {
    PyErr_SetString(PyExc_TypeError, "__defaults__ must be set to a tuple object");
    return -1;
  }
  if (value != nullptr && PyTuple_GET_SIZE(value) > f->nparams) {
    PyErr_SetString(PyExc_ValueError, "__defaults__ has more values than the function has parameters");
    return -1;
  }
  Py_XSETREF(f->defaults, Py_XNewRef(value));
  return 0;
}

int set_str(PyObject** slot, PyObject* value, const char* what) {
  if (value == nullptr || !PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s must be set to a string object", what);
    return -1;
  }
  Py_SETREF(*slot, Py_NewRef(value));
  return 0;
}

PyObject* get_name(PyObject* self, void*) {
  return Py_NewRef(reinterpret_cast<FunctionObject*>(self)->name);
}
int set_name(PyObject* self, PyObject* value, void*) {
  return set_str(&reinterpret_cast<FunctionObject*>(self)->name, value, "__name__");
}
PyObject* get_qualname(PyObject* self, void*) {
  return Py_NewRef(reinterpret_cast<FunctionObject*>(self)->qualname);
}
int set_qualname(PyObject* self, PyObject* value, void*) {
  return set_str(&reinterpret_cast<FunctionObject*>(self)->qualname, value, "__qualname__");
}

// inspect.Signature of the parameters with the current defaults.
PyObject* get_signature(PyObject* self, void*) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  try {
    py::object inspect = import_module("inspect");
    py::object parameter = inspect.attr("Parameter");
    py::object kind = parameter.attr("POSITIONAL_OR_KEYWORD");
    Py_ssize_t ndefaults = f->defaults ? PyTuple_GET_SIZE(f->defaults) : 0;
    Py_ssize_t first_default = f->nparams - ndefaults;
    py::list parameters;
    for (Py_ssize_t i = 0; i < f->nparams; ++i) {
      py::handle name = PyTuple_GET_ITEM(f->params, i);
      if (i >= first_default) {
        py::handle value = PyTuple_GET_ITEM(f->defaults, i - first_default);
        parameters.append(parameter(name, kind, py::arg("default") = value));
      } else {
        parameters.append(parameter(name, kind));
      }
    }
    return inspect.attr("Signature")(parameters).release().ptr();
  } catch (...) {
    as_python_error().restore();
    return nullptr;
  }
}

// Fetched through a class or an instance, the function stays itself, as a
// builtin does.  Having __get__ and no __set__ makes it a non-data descriptor:
// inspect and pydoc take it for a routine.
PyObject* function_descr_get(PyObject* self, PyObject*, PyObject*) { return Py_NewRef(self); }

PyObject* function_reduce(PyObject* self, PyObject*) {
  return Py_NewRef(reinterpret_cast<FunctionObject*>(self)->qualname);
}

PyObject* function_repr(PyObject* self) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  return PyUnicode_FromFormat("<function %U at %p>", f->qualname, self);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(f->defaults);
  Py_VISIT(f->dict);
  Py_VISIT(f->doc);
  Py_VISIT(f->module);
  return 0;
}

int function_clear(PyObject* self) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  Py_CLEAR(f->defaults);
  Py_CLEAR(f->dict);
  Py_CLEAR(f->doc);
  Py_CLEAR(f->module);
  return 0;
}

void function_dealloc(PyObject* self) {
  auto* f = reinterpret_cast<FunctionObject*>(self);
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  if (f->weakrefs) PyObject_ClearWeakRefs(self);
  function_clear(self);
  Py_CLEAR(f->params);
  Py_CLEAR(f->name);
  Py_CLEAR(f->qualname);
  PyObject_GC_Del(self);
  Py_DECREF(type);
}

PyGetSetDef function_getset[] = {
    {"__defaults__", get_defaults, set_defaults, nullptr, nullptr},
    {"__name__", get_name, set_name, nullptr, nullptr},
    {"__qualname__", get_qualname, set_qualname, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef function_members[] = {
    {"__module__", T_OBJECT, offsetof(FunctionObject, module), 0, nullptr},
    {"__doc__", T_OBJECT, offsetof(FunctionObject, doc), 0, nullptr},
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(FunctionObject, vectorcall), READONLY, nullptr},
    {"__dictoffset__", T_PYSSIZET, offsetof(FunctionObject, dict), READONLY, nullptr},
    {"__weaklistoffset__", T_PYSSIZET, offsetof(FunctionObject, weakrefs), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {Py_tp_getset, function_getset},
    {Py_tp_members, function_members},
    {Py_tp_methods, function_methods},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "kestrelflow.generic_utility.function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
        Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    function_slots,
};

PyTypeObject* function_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyType_FromSpec(&function_spec);
    if (type == nullptr) throw py::error_already_set();
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

// ---- the parameter list ---------------------------------------------------------

py::object parse_literal(std::string_view text) {
  if (text == "None") return py::none();
  if (text == "True") return py::bool_(true);
  if (text == "False") return py::bool_(false);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return py::str(text.data() + 1, text.size() - 2);
  std::string number(text);
  if (number.find('.') != std::string::npos) return py::float_(std::stod(number));
  return py::int_(std::stoll(number));
}

}  // namespace

std::pair<py::tuple, py::tuple> parse_params(const char* params) {
  py::list names;
  py::list defaults;
  std::string_view rest(params);
  while (!rest.empty()) {
    // One parameter: up to the next comma outside quotes.
    size_t end = 0;
    bool quoted = false;
    while (end < rest.size() && (quoted || rest[end] != ',')) {
      if (rest[end] == '"') quoted = !quoted;
      ++end;
    }
    std::string_view item = rest.substr(0, end);
    rest = end < rest.size() ? rest.substr(end + 1) : std::string_view();
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.empty()) continue;
    size_t eq = item.find('=');
    std::string name(item.substr(0, eq));
    PyObject* interned = PyUnicode_InternFromString(name.c_str());
    if (interned == nullptr) throw py::error_already_set();
    names.append(py::reinterpret_steal<py::object>(interned));
    if (eq != std::string_view::npos) {
      defaults.append(parse_literal(item.substr(eq + 1)));
    } else if (!defaults.empty()) {
      PyErr_Format(PyExc_SystemError, "parameter '%s' without a default follows one with a default",
                   name.c_str());
      throw py::error_already_set();
    }
  }
  return {py::tuple(names), py::tuple(defaults)};
}

bool is_routine(py::handle callable, const char* name) {
  if (Py_TYPE(callable.ptr()) != function_type()) return false;
  return std::strcmp(reinterpret_cast<FunctionObject*>(callable.ptr())->row->name, name) == 0;
}

py::object make_function(const Row& row) {
  auto [names, defaults] = parse_params(row.params);
  Py_ssize_t nparams = static_cast<Py_ssize_t>(names.size());
  if (nparams > kMaxParams || row.arity != nparams) {
    PyErr_Format(PyExc_SystemError, "%s: the parameter list does not match the routine", row.name);
    throw py::error_already_set();
  }
  auto* f = PyObject_GC_New(FunctionObject, function_type());
  if (f == nullptr) throw py::error_already_set();
  f->vectorcall = function_vectorcall;
  f->row = &row;
  f->nparams = nparams;
  f->params = nullptr;
  f->defaults = nullptr;
  f->name = nullptr;
  f->qualname = nullptr;
  f->module = nullptr;
  f->doc = nullptr;
  f->dict = nullptr;
  f->weakrefs = nullptr;
  // Owned from here on: a failure below releases the half-made object.
  py::object function = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(f));
  f->params = names.release().ptr();
  f->defaults = defaults.empty() ? nullptr : defaults.release().ptr();
  f->name = PyUnicode_FromString(row.name);
  if (f->name == nullptr) throw py::error_already_set();
  f->qualname = Py_NewRef(f->name);
  f->module = PyUnicode_FromString(kModuleName);
  if (f->module == nullptr) throw py::error_already_set();
  f->doc = PyUnicode_FromString(row.doc);
  if (f->doc == nullptr) throw py::error_already_set();
  PyObject_GC_Track(f);
  return function;
}

}  // namespace kf
