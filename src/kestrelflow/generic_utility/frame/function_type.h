// The callable type of the module's public functions.
#pragma once

#include "frame/toolkit.h"

namespace kf {

using Generic = void (*)();

// One row of the function table: a routine, the parameter list written as in
// Python ("driver, text, max_retries=4, timeout=20") and its docstring.
// `impl` is null for a routine that is not built yet: calling it raises
// NotImplementedError naming it.
struct Routine {
  const char* name;
  Generic impl;
  int arity;
  const char* params;
  const char* doc;
};

template <typename... A>
constexpr int arity_of(py::object (*)(A...)) {
  return static_cast<int>(sizeof...(A));
}

// Builds the function object for a table row.  Argument binding follows
// Python's rules for positional-or-keyword parameters with defaults.
py::object make_function(const Routine& routine);

// Parses a parameter list into (names, defaults): names a tuple of interned
// str, defaults a tuple of the trailing parameters' default values.
std::pair<py::tuple, py::tuple> parse_params(const char* params);

}  // namespace kf

#define KF_ROUTINE(fn, params, doc) \
  { #fn, reinterpret_cast<kf::Generic>(&fn), kf::arity_of(&fn), params, doc }
#define KF_UNBUILT(fn, params, doc) { #fn, nullptr, -1, params, doc }
