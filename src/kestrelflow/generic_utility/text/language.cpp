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

py::str arabic_low() { return py::str("\u0600"); }
py::str arabic_high() { return py::str("\u06FF"); }

// "؀" <= char and char <= "ۿ" (also what the chained form evaluates).
bool arabic_object(py::handle item, py::handle low, py::handle high) {
  return le(low, item) && le(item, high);
}

// "a" <= char.lower() <= "z"
bool english_object(py::handle item) {
  py::object lower = item.attr("lower")();
  return le(str_of("a"), lower) && le(lower, str_of("z"));
}

}  // namespace

py::object similar(Arg a, Arg b) {
  return g("SequenceMatcher")(py::none(), a, b).attr("ratio")();
}

py::object is_arabic(Arg text) {
  // A str stored one byte per character holds nothing above U+00FF.
  if (PyUnicode_CheckExact(text.ptr()) && PyUnicode_KIND(text.ptr()) == PyUnicode_1BYTE_KIND)
    return py::bool_(false);
  py::str low = arabic_low(), high = arabic_high();
  bool found = text_chars::for_each_char(
      text, [](Py_UCS4 c) { return arabic_code_point(c); },
      [&](py::handle item) { return arabic_object(item, low, high); });
  return py::bool_(found);
}

py::object detect_language(Arg text) {
  size_t arabic_count = 0, english_count = 0;
  py::str low = arabic_low(), high = arabic_high();
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
        if (arabic_object(item, low, high))
          ++arabic_count;
        else if (english_object(item))
          ++english_count;
        return false;
      });
  if (arabic_count > english_count) return py::str("Arabic");
  if (english_count > arabic_count) return py::str("English");
  return py::str("Unknown");
}

}  // namespace kf
