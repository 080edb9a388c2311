// The callable type of the module's public functions, and the rows of the
// table that binds them.
#pragma once

#include "frame/toolkit.h"

#include <type_traits>
#include <utility>

namespace kf {

// The most parameters a routine may have.
constexpr int kMaxParams = 12;

// Calls a routine with the bound arguments (exactly its parameter count).
using Invoker = py::object (*)(PyObject* const* args);

// A routine's invoker and arity, checked when the table is compiled: every
// parameter is an Arg and there are at most kMaxParams of them.
template <typename F, F Fn>
struct Entry;

template <typename... Params, py::object (*Fn)(Params...)>
struct Entry<py::object (*)(Params...), Fn> {
  static_assert((std::is_same_v<Params, Arg> && ...), "every parameter of a routine is an Arg");
  static_assert(sizeof...(Params) <= kMaxParams, "a routine has at most kMaxParams parameters");
  static constexpr int arity = static_cast<int>(sizeof...(Params));

  static py::object invoke(PyObject* const* args) {
    return invoke_with(args, std::index_sequence_for<Params...>());
  }

 private:
  template <size_t... I>
  static py::object invoke_with([[maybe_unused]] PyObject* const* args, std::index_sequence<I...>) {
    return Fn(Arg(args[I])...);
  }
};

// One row of the module's binding table: a public function, or a
// module-level datum bound between the functions.
struct Row {
  enum Kind { function, data };
  Kind kind;
  const char* name;
  Invoker invoke;          // function rows
  int arity;               // function rows
  const char* params;      // the parameter list as in Python: "driver, max_retries=4"
  const char* doc;
  py::object (*value)();   // data rows: makes the value bound under `name`
};

// The number of parameters in a parameter list as written in a row
// ("driver, texts=['a, b'], timeout=20" has 3): commas inside quotes and
// brackets do not count.
constexpr int count_params(const char* params) {
  int count = 0, depth = 0;
  bool in_name = false;
  char quote = 0;
  for (const char* p = params; *p != '\0'; ++p) {
    char c = *p;
    if (quote != 0) {
      if (c == '\\' && p[1] != '\0') {
        ++p;
      } else if (c == quote) {
        quote = 0;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '(' || c == '[' || c == '{') {
      ++depth;
    } else if (c == ')' || c == ']' || c == '}') {
      --depth;
    } else if (c == ',' && depth == 0) {
      in_name = false;
      continue;
    }
    if (!in_name && c != ' ' && c != ',') {
      in_name = true;
      ++count;
    }
  }
  return count;
}

// A routine's arity, once its row's parameter list is known to name as many
// parameters: a mismatch stops the table from compiling.
constexpr int checked_arity(int arity, const char* params) {
  return count_params(params) == arity
             ? arity
             : throw "a row's parameter list and its routine disagree on the parameter count";
}

// Builds the function object for a function row.  Argument
// binding follows Python's rules for positional-or-keyword parameters with
// defaults.
py::object make_function(const Row& row);

// True when `callable` is the module's own public function `name` rather than
// something else a script bound under a name.
bool is_routine(py::handle callable, const char* name);

// Parses a parameter list into (names, defaults): names a tuple of interned
// str, defaults a tuple of the trailing parameters' default values.
std::pair<py::tuple, py::tuple> parse_params(const char* params);

}  // namespace kf

#define KF_ROUTINE(fn, params, doc)                                                        \
  kf::Row {                                                                                \
    kf::Row::function, #fn, &kf::Entry<decltype(&kf::fn), &kf::fn>::invoke,                \
        kf::checked_arity(kf::Entry<decltype(&kf::fn), &kf::fn>::arity, params), params,   \
        doc, nullptr                                                                       \
  }
#define KF_DATA(name, make) \
  kf::Row { kf::Row::data, name, nullptr, -1, "", "", make }
