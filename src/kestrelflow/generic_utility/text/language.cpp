// Language and similarity: the Arabic test, the Arabic/English vote and the
// similarity ratio.
#include "frame/routines.h"
#include "text/code_points.h"

namespace kf {
namespace {

// ---- the character rules, on code points ---------------------------------------

// "؀" <= char <= "ۿ": the Arabic block U+0600..U+06FF.
inline bool arabic_code_point(Py_UCS4 c) { return c - 0x0600u <= 0x00FFu; }

// "a" <= char.lower() <= "z".  Besides the ASCII letters, two characters
// lower-case into that range: U+0130 ("İ".lower() is "i" + U+0307, which
// sorts between "a" and "z") and the Kelvin sign U+212A ("k").  Every other
// code point's full lower-case mapping starts outside it.
inline bool english_code_point(Py_UCS4 c) {
  if (c < 0x80) return (c | 0x20u) - 'a' < 26u;
  return c == 0x0130 || c == 0x212A;
}

// ---- the same rules on any other element, with Python's operations -----------

// "؀" <= char and char <= "ۿ" (also what the chained form evaluates).
bool arabic_object(py::handle item) {
  return le(literal("\u0600"), item) && le(item, literal("\u06FF"));
}

// "a" <= char.lower() <= "z"
bool english_object(py::handle item) {
  py::object lower = call_method(item, "lower");
  return le(literal("a"), lower) && le(lower, literal("z"));
}

}  // namespace

py::object similar(Arg a, Arg b) {
  static const Literal matcher_class("SequenceMatcher"), ratio("ratio");
  py::object matcher = call(g(matcher_class), {Py_None, a, b});
  return call_method(matcher, ratio);
}

py::object is_arabic(Arg text) {
  // A str stored one byte per character holds nothing above U+00FF.
  if (PyUnicode_CheckExact(text.ptr()) && PyUnicode_KIND(text.ptr()) == PyUnicode_1BYTE_KIND)
    return py::reinterpret_borrow<py::object>(Py_False);
  bool found = text_chars::for_each_char(
      text, [](Py_UCS4 c) { return arabic_code_point(c); },
      [](py::handle item) { return arabic_object(item); });
  return py::reinterpret_borrow<py::object>(found ? Py_True : Py_False);
}

py::object detect_language(Arg text) {
  size_t arabic_count = 0, english_count = 0;
  text_chars::for_each_char(
      text,
      [&](Py_UCS4 c) {
        if (arabic_code_point(c))
          ++arabic_count;
        else if (english_code_point(c))
          ++english_count;
        return false;
      },
      [&](py::handle item) {
        if (arabic_object(item))
          ++arabic_count;
        else if (english_object(item))
          ++english_count;
        return false;
      });
  const char* language = arabic_count > english_count   ? "Arabic"
                         : english_count > arabic_count ? "English"
                                                        : "Unknown";
  return py::reinterpret_borrow<py::object>(literal(language));
}

}  // namespace kf
