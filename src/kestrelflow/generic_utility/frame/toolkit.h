// The small toolkit every routine is written with.
//
// How to write a routine
// ----------------------
// A routine is a plain C++ function of its bound arguments, each an `Arg`
// (a py::handle borrowed for the duration of the call), returning the Python
// result as a py::object (an empty object means None).  Declare it in
// frame/routines.h, give it a row in frame/function_table.cpp, define it in
// its subsystem's folder.  Write it as the Python statement it stands for:
//
//   Lookups    g("time"), g("By") ...: module-level names are looked up at
//              the moment of the call, so a caller that rebinds one changes
//              what the routine uses.  Never cache them.
//   Calls      pybind11's object API: obj.attr("name")(a, py::arg("k") = v).
//              call()/call_method() are the allocation-free form for hot paths.
//   Printing   say({"Attempt ", n, " of ", limit, "."}) prints one line made of
//              literal UTF-8 pieces and values shown by their str(), through
//              `print` as the module finds it (a module-level binding, else
//              the builtin).  concat({...}) builds the same str without
//              printing it.
//   Guards     try { ... } catch (...) { py::error_already_set e = caught(); ... }
//              is `except Exception as e:`.  caught(g("TimeoutException")) is
//              `except TimeoutException as e:`.  Whatever is in flight (a
//              Python error or a C++ one, converted first) that is not an
//              instance of the class is rethrown; KeyboardInterrupt and
//              SystemExit always pass through.  Never catch
//              py::error_already_set directly.
//   Operators  eq, lt, le, gt, ge, contains, add, iadd, sub, mul, floordiv,
//              truediv, to_int, unpack<N>, range_count follow Python's
//              semantics exactly (rich comparison then truth, `in`, `+`, `+=`,
//              `-`, `*`, `//`, `/`, `int()`, `a, b = x`, `range(n)`).  Arithmetic
//              goes through these, never pybind11's operators or PyNumber_*.
//   with       with_(manager, [&](py::handle value) { ... }) is
//              `with manager as value: ...`.
//   Raising    raise(g("TimeoutException"), message) is `raise cls(message)`;
//              raise_error(PyExc_ValueError, "...") for a builtin class.
//   Sleeping   sleep(seconds) is time.sleep through the module's `time`.
//   Retrying   retry::run(count, pause, attempt) (frame/retry.h) is the one
//              retry loop: it owns the counter (while n < limit, range(n), or
//              an elapsed period), the signal check and the pause (none,
//              fixed, between attempts, growing); a routine passes only what
//              one attempt does.
//   Loops      any other loop that can run long calls check_signals() every
//              pass (or every few thousand items) so that Ctrl-C arrives
//              promptly.
//
// Where the rest lives:
//   frame/browser.h      locators, XPath templates, element lookups,
//                        run_script, Selenium waits, the streak count.
//   frame/calls.h        the lists routines hand on (strings, one_item_list)
//                        and the routines one routine calls by name, each
//                        call's fixed arguments spelt out once.
//   frame/file_safety.h  files that appear complete or not at all: a new
//                        file put in place (write_beside), a file saved over
//                        (save_text), a new temporary file, bytes appended
//                        with an undo (append_whole); each with its rules.
//   Fast paths           routines are written plainly; a hand-tuned fast path
//                        lives in its own file beside the routine it serves
//                        (for example text/email_scan.cpp), and only
//                        where a benchmark asks for it.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace py = pybind11;

namespace kf {

// A routine argument: borrowed for the duration of the call.
using Arg = py::handle;

// ---- the module namespace -------------------------------------------------

// The namespace of kestrelflow.generic_utility (valid once the module body runs).
py::dict module_dict();

// A module-level name (import, public function, data) looked up at the moment
// of the call.  Raises NameError when the name is not bound.
py::object g(const char* name);

// Fast calls for hot paths (no argument tuple, interned method names):
// call(f, {a, b}) is f(a, b); call_method(obj, "name", {a}) is obj.name(a).
py::object call(py::handle callable, std::initializer_list<py::handle> args);
py::object call_method(py::handle self, const char* name, std::initializer_list<py::handle> args = {});

// A str of literal UTF-8 text for hot paths (patterns, fixed arguments):
// made once, interned, and kept for the life of the process.  Borrowed.
py::handle literal(const char* utf8);

// A literal held by its call site, for the hottest paths:
//   static const Literal pattern("[^a-z]");  ... pattern.str() ...
// finds the literal's str on first use and hands out the same str (borrowed)
// afterwards.  It holds text, never the value of a name: g(Literal) still looks
// the name up in the module namespace at every call.
class Literal {
 public:
  explicit constexpr Literal(const char* utf8) : utf8_(utf8) {}
  py::handle str() const {
    if (str_ == nullptr) str_ = literal(utf8_).ptr();
    return str_;
  }
  const char* utf8() const { return utf8_; }

 private:
  const char* utf8_;
  mutable PyObject* str_ = nullptr;
};

// g(), call_method() with the name given as a Literal.
py::object g(const Literal& name);
py::object call_method(py::handle self, const Literal& name, std::initializer_list<py::handle> args = {});

// `import name`: the module (its top-level package's submodule when dotted).
py::object import_module(const char* name);

// A new str from UTF-8 text (MemoryError, not a crash, when memory runs out).
py::str str_of(std::string_view utf8);

// A new int.
py::int_ int_of(long long value);

// ---- Python's operators ------------------------------------------------------

// The truth of a value, as `if value:` tests it.
bool truthy(py::handle value);

// a == b, a != b, a < b, ...: the rich comparison, then the truth of its result.
bool eq(py::handle a, py::handle b);
bool eq(py::handle a, const char* text);
bool ne(py::handle a, py::handle b);
bool lt(py::handle a, py::handle b);
bool le(py::handle a, py::handle b);
bool gt(py::handle a, py::handle b);
bool ge(py::handle a, py::handle b);

// a == b for tight loops: 1 or 0, or -1 with the Python error set (nothing
// thrown), so that a loop over many cells can decide what an error means.
int eq_status(py::handle a, py::handle b);

// item in container
bool contains(py::handle container, py::handle item);

// a + b, and a += b (in place where the type supports it).
py::object add(py::handle a, py::handle b);
void iadd(py::object& a, py::handle b);

// a - b, a * b, a // b, a / b, int(a): every piece of arithmetic goes through these
// (or add/iadd), with the interpreter's own errors.
py::object sub(py::handle a, py::handle b);
py::object mul(py::handle a, py::handle b);
py::object floordiv(py::handle a, py::handle b);
py::object truediv(py::handle a, py::handle b);
py::object to_int(py::handle a);

// The number of iterations of `for i in range(n)`: n must be an integer
// (TypeError otherwise, as range() says); a negative n gives 0.
Py_ssize_t range_count(py::handle n);

// a, b, ... = iterable: exactly N values, with the interpreter's errors.
void unpack_into(py::handle iterable, py::object* values, size_t count);
template <size_t N>
std::array<py::object, N> unpack(py::handle iterable) {
  std::array<py::object, N> values;
  unpack_into(iterable, values.data(), N);
  return values;
}

// ---- with ------------------------------------------------------------------------

namespace detail {
using WithBody = void (*)(void* body, py::handle value);
void with_(py::handle manager, WithBody run, void* body);
}  // namespace detail

// `with manager as value: body(value)`: __enter__ and __exit__ looked up on the
// type; __exit__ sees the body's exception as the one being handled, and a
// true result of it swallows that exception.
template <typename Body>
void with_(py::handle manager, Body&& body) {
  detail::with_(
      manager, [](void* b, py::handle value) { (*static_cast<Body*>(b))(value); },
      static_cast<void*>(&body));
}

// ---- raising ------------------------------------------------------------------------

// raise cls(message)
[[noreturn]] void raise(py::handle cls, py::handle message);
// raise <builtin class>(message)
[[noreturn]] void raise_error(PyObject* builtin_class, const char* message);

// ---- signals -------------------------------------------------------------------------

// Runs pending signal handlers; raises what they raise (KeyboardInterrupt).
void check_signals();

// ---- printed lines ---------------------------------------------------------

// Bytes of a line being built: on the stack while short, on the heap after.
class LineBuffer {
 public:
  void append(const char* data, size_t size) {
    if (heap_.empty() && used_ + size <= sizeof(inline_)) {
      std::memcpy(inline_ + used_, data, size);
      used_ += size;
      return;
    }
    if (heap_.empty()) heap_.assign(inline_, used_);
    heap_.append(data, size);
  }
  const char* data() const { return heap_.empty() ? inline_ : heap_.data(); }
  size_t size() const { return heap_.empty() ? used_ : heap_.size(); }

 private:
  char inline_[256];
  size_t used_ = 0;
  std::string heap_;
};

// One piece of a printed line: literal UTF-8 text, a number, or a value shown
// by its str().
class Piece {
 public:
  Piece(const char* text) : text_(text) {}
  Piece(std::string_view text) : text_(text) {}
  Piece(const std::string& text) : text_(text) {}
  Piece(py::handle value) : value_(value) {}
  Piece(const py::object& value) : value_(value) {}
  Piece(const py::error_already_set& error) : value_(error.value()) {}
  Piece(long long number) : number_(number), is_number_(true) {}
  Piece(long number) : number_(number), is_number_(true) {}
  Piece(int number) : number_(number), is_number_(true) {}
  Piece(size_t number) : number_(static_cast<long long>(number)), is_number_(true) {}

  py::object as_str() const;
  // Appends the piece's UTF-8 text; false when it has none (lone surrogates).
  bool append_utf8(LineBuffer& out) const;

 private:
  std::string_view text_;
  py::handle value_;
  long long number_ = 0;
  bool is_number_ = false;
};

// The pieces joined into one str.
py::str concat(std::initializer_list<Piece> pieces);

// print(the pieces joined), through the module's print (module-level, else builtin).
void say(std::initializer_list<Piece> pieces);

// print(v1, v2, ...): several values through print's default separator.
void say_values(std::initializer_list<py::handle> values);

// ---- guarded blocks ----------------------------------------------------------

// Called inside a catch (...) block: the exception in flight as a Python
// error (C++ errors converted to their Python kinds).  Rethrows it unless it
// is an instance of `cls`; KeyboardInterrupt and SystemExit always pass.
py::error_already_set caught(py::handle cls = PyExc_Exception);

// Called inside a catch block: the exception being handled as a Python error.
py::error_already_set as_python_error();

// The classes of the exceptions that guards (caught) let through to their
// handlers since forget_caught(), each once, the latest last: a caller can
// tell from them why a routine reported failure by its result alone (the
// step runner's reasons).
py::list caught_kinds();
void forget_caught();

// True when the error is an instance of the module-level class `name`
// (for example "TimeoutException"), looked up now.
bool is_instance(const py::error_already_set& e, const char* name);

// ---- time -------------------------------------------------------------------------

// time.sleep(seconds) through the module's `time`.  A whole number of
// seconds is passed as an int and a fraction as a float, as the literals
// `time.sleep(2)` and `time.sleep(0.4)` pass them.
void sleep(py::handle seconds);
void sleep(int seconds);
void sleep(double seconds);

}  // namespace kf
