// Vertical text: one character per line, indented like a wave.
#include "frame/routines.h"
#include "text/code_points.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

namespace kf {
namespace {

// The indentation of successive lines.  Rising, it grows by one per line and
// turns when it equals `wave_length`; falling, it shrinks by one and turns at
// 0.  `indentation == wave_length` keeps Python's meaning: for an int or a
// float it is decided here, for any other object it is asked of Python on
// every rising step.
class Wave {
 public:
  explicit Wave(py::handle wave_length) : wave_length_(wave_length) {
    PyObject* w = wave_length.ptr();
    if (PyLong_CheckExact(w) || PyBool_Check(w)) {
      int overflow = 0;
      long long value = PyLong_AsLongLongAndOverflow(w, &overflow);
      if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
      native_ = true;
      turn_ = overflow == 0 && value >= 1 ? value : kNever;
    } else if (PyFloat_CheckExact(w)) {
      double value = PyFloat_AS_DOUBLE(w);
      native_ = true;
      turn_ = value >= 1 && value < 9.0e18 && std::floor(value) == value
                  ? static_cast<long long>(value)
                  : kNever;
    }
  }

  // Whether the turns are decided without calling into Python.
  bool native() const { return native_; }

  long long indentation() const { return indentation_; }

  // The step taken after a line has been written.
  void advance() {
    indentation_ += step_;
    if (step_ > 0 ? reached_top() : indentation_ == 0) step_ = -step_;
  }

  // The same step when native(): falling never meets the top again and rising
  // never meets 0, so each test can be made on either slope.
  void advance_native() {
    indentation_ += step_;
    if (indentation_ == turn_)
      step_ = -1;
    else if (indentation_ == 0)
      step_ = 1;
  }

 private:
  static constexpr long long kNever = 0;  // indentation is never 0 after rising

  bool reached_top() const {
    if (native_) return indentation_ == turn_;
    return eq(int_of(indentation_), wave_length_);
  }

  py::handle wave_length_;
  bool native_ = false;
  long long turn_ = kNever;
  long long indentation_ = 0;
  long long step_ = 1;  // +1 rising, -1 falling
};

[[noreturn]] void too_long() {
  PyErr_NoMemory();
  throw py::error_already_set();
}

// A str: the output is sized first, then written in the text's own width
// (blank and line feed fit every width, so the result's width is the text's).
py::object lay_out_str(py::handle text, py::handle wave_length) {
  const Py_ssize_t length = PyUnicode_GET_LENGTH(text.ptr());
  if (length == 0) return py::str("");

  const Wave start(wave_length);
  const bool native = start.native();
  std::vector<long long> recorded;  // indentations, when Python decides the turns

  const unsigned long long limit = static_cast<unsigned long long>(PY_SSIZE_T_MAX);
  unsigned long long total = 0;
  auto add_line = [&](long long indentation) {
    unsigned long long line = static_cast<unsigned long long>(indentation) + 2;
    if (line > limit - total) too_long();
    total += line;
  };
  Wave wave = start;
  if (native) {
    for (Py_ssize_t i = 0; i < length; ++i, wave.advance_native()) add_line(wave.indentation());
  } else {
    recorded.reserve(static_cast<size_t>(length));
    for (Py_ssize_t i = 0; i < length; ++i, wave.advance()) {
      if ((i & 0xFFF) == 0xFFF) check_signals();
      add_line(wave.indentation());
      recorded.push_back(wave.indentation());
    }
  }

  PyObject* out = PyUnicode_New(static_cast<Py_ssize_t>(total), PyUnicode_MAX_CHAR_VALUE(text.ptr()));
  if (out == nullptr) throw py::error_already_set();
  py::object result = py::reinterpret_steal<py::object>(out);

  // Blanks everywhere first, then each line's character and line feed after
  // its indentation.
  text_chars::with_code_units(text, [&](const auto* units, Py_ssize_t n) {
    using Unit = std::remove_const_t<std::remove_pointer_t<decltype(units)>>;
    Unit* cursor = static_cast<Unit*>(PyUnicode_DATA(out));
    std::fill_n(cursor, static_cast<size_t>(total), Unit(' '));
    Wave replay = start;
    for (Py_ssize_t i = 0; i < n; ++i) {
      if (native) {
        cursor += replay.indentation();
        replay.advance_native();
      } else {
        cursor += recorded[i];
      }
      cursor[0] = units[i];
      cursor[1] = Unit('\n');
      cursor += 2;
    }
    return 0;
  });
  return result;
}

// Any other iterable.  Items that are exact str are laid out here; from the
// first item that is not, the lines are built and appended with Python's own
// `+` and `+=` (so an odd item fails, or concatenates, as it would there).
py::object lay_out_items(py::handle text, py::handle wave_length) {
  py::object iterator = py::reinterpret_steal<py::object>(PyObject_GetIter(text.ptr()));
  if (!iterator) throw py::error_already_set();

  Wave wave(wave_length);
  std::vector<Py_UCS4> laid_out;
  py::object result;  // set once Python's operations take over
  py::str line_feed("\n");

  size_t items = 0;
  while (PyObject* next = PyIter_Next(iterator.ptr())) {
    py::object item = py::reinterpret_steal<py::object>(next);
    if ((++items & 0xFFF) == 0) check_signals();
    if (!result && PyUnicode_CheckExact(item.ptr())) {
      laid_out.insert(laid_out.end(), static_cast<size_t>(wave.indentation()), Py_UCS4(' '));
      text_chars::with_code_units(item, [&](const auto* units, Py_ssize_t n) {
        laid_out.insert(laid_out.end(), units, units + n);
        return 0;
      });
      laid_out.push_back(Py_UCS4('\n'));
    } else {
      if (!result) {
        result = py::reinterpret_steal<py::object>(PyUnicode_FromKindAndData(
            PyUnicode_4BYTE_KIND, laid_out.data(), static_cast<Py_ssize_t>(laid_out.size())));
        if (!result) throw py::error_already_set();
        laid_out = {};
      }
      py::object blanks = mul(str_of(" "), int_of(wave.indentation()));
      iadd(result, add(add(blanks, item), line_feed));
    }
    wave.advance();
  }
  if (PyErr_Occurred()) throw py::error_already_set();

  if (result) return result;
  PyObject* laid = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, laid_out.data(),
                                             static_cast<Py_ssize_t>(laid_out.size()));
  if (laid == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(laid);
}

}  // namespace

py::object create_vertical_snake_text(Arg text, Arg wave_length) {
  if (PyUnicode_CheckExact(text.ptr())) return lay_out_str(text, wave_length);
  return lay_out_items(text, wave_length);
}

}  // namespace kf
