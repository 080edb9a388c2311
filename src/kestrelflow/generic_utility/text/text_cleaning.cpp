// Text cleaning: delete every character outside a language's alphabet.
#include "frame/routines.h"

namespace kf {
namespace {

// Characters deleted from Arabic text: everything but the Arabic block, its
// digits and punctuation, whitespace, "," "." "!" and "-".  The \uXXXX escapes
// are the regular-expression engine's, not the compiler's.
constexpr const char* kArabicDeleted =
    R"([^\u0600-\u06FF\u0660-\u0669\u061B\u061F\u0621-\u064A\s,.)" "\u060C\u061B" R"(!-])";

// Characters deleted from English text.
constexpr const char* kEnglishDeleted = R"([^a-zA-Z0-9\s,.?!-])";

bool equals(py::handle value, const char* literal) {
  py::str other(literal);
  py::object result = py::reinterpret_steal<py::object>(
      PyObject_RichCompare(value.ptr(), other.ptr(), Py_EQ));
  if (!result) throw py::error_already_set();
  return truthy(result);
}

py::object delete_matches(const char* pattern, py::handle text) {
  return g("re").attr("sub")(py::str(pattern), py::str(""), text).attr("strip")();
}

}  // namespace

py::object clean_text(A text, A language) {
  if (equals(language, "arabic")) return delete_matches(kArabicDeleted, text);
  if (equals(language, "english")) return delete_matches(kEnglishDeleted, text);
  return text.attr("strip")();
}

}  // namespace kf
