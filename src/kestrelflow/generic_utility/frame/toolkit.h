// The small toolkit every routine is written with.
//
// Routines are plain C++ functions of their bound arguments (py::handle each,
// borrowed for the duration of the call) returning a py::object.  Python errors
// travel as py::error_already_set; the function type in frame/ turns whatever
// leaves a routine back into a Python exception with a traceback entry.
#pragma once

#include <pybind11/pytypes.h>
#include <pybind11/cast.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace py = pybind11;

namespace kf {

// ---- the module namespace -------------------------------------------------

// The namespace of kestrelflow.generic_utility (valid once the module body runs).
py::dict module_dict();

// A module-level name (import, public function, data) looked up at the moment
// of the call, so a caller that rebinds a module attribute changes what the
// routines use.  Raises NameError when the name is not bound.
py::object g(const char* name);

// Fast calls for hot paths (no argument tuple, interned method names):
// call(f, {a, b}) is f(a, b); call_method(obj, "name", {a}) is obj.name(a).
py::object call(py::handle callable, std::initializer_list<py::handle> args);
py::object call_method(py::handle self, const char* name, std::initializer_list<py::handle> args = {});

// `import name`: the module (its top-level package's submodule when dotted).
py::object import_module(const char* name);

// The truth of a value, as `if value:` tests it.
bool truthy(py::handle value);

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
  bool append_utf8(class LineBuffer& out) const;

 private:
  std::string_view text_;
  py::handle value_;
  long long number_ = 0;
  bool is_number_ = false;
};

// The pieces joined into one str.
py::str text(std::initializer_list<Piece> pieces);

// print(the pieces joined), through the builtin print.
void say(std::initializer_list<Piece> pieces);

// print(v1, v2, ...): several values through print's default separator.
void say_values(std::initializer_list<py::handle> values);

// ---- guarded blocks ----------------------------------------------------------
//
//   try { ... }
//   catch (py::error_already_set& e) {
//     pass_unless(e);                        // catches Exception subclasses only
//     ...
//   }
//
// Called inside a catch block: rethrows the error being handled unless it is
// an instance of `cls`.  KeyboardInterrupt and SystemExit are not Exception
// subclasses, so with the default they always pass through.
void pass_unless(const py::error_already_set& e, py::handle cls = PyExc_Exception);

// Called inside a catch block: the exception being handled as a Python error
// (pybind11's own exceptions and C++ errors converted to their Python kinds).
py::error_already_set as_python_error();

// True when the error is an instance of the module-level class `name`
// (for example "TimeoutException"), looked up now.
bool is_instance(const py::error_already_set& e, const char* name);

// ---- browser helpers -----------------------------------------------------------

// (By.<by>, expression), e.g. locator("XPATH", xpath).
py::tuple locator(const char* by, py::handle expression);

// The XPath template `before` + text + `after`, by plain concatenation:
// the text is not escaped.
py::str template_xpath(const char* before, py::handle text, const char* after);

// WebDriverWait(driver, timeout).until(EC.<condition>(locator)).
py::object wait_until(py::handle driver, py::handle timeout, const char* condition,
                      py::handle locator);

// time.sleep(seconds) through the module's `time`.
void sleep(py::handle seconds);
void sleep(double seconds);

}  // namespace kf
