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

// re.sub(pattern, "", text).strip()
py::object delete_matches(const char* pattern, py::handle text) {
  py::object kept = call_method(g("re"), "sub", {literal(pattern), literal(""), text});
  return call_method(kept, "strip");
}

// language == name; an exact str is compared in place.
bool is_language(py::handle language, const char* name) {
  if (PyUnicode_CheckExact(language.ptr()))
    return PyUnicode_CompareWithASCIIString(language.ptr(), name) == 0;
  return eq(language, literal(name));
}

}  // namespace

py::object clean_text(Arg text, Arg language) {
  if (is_language(language, "arabic")) return delete_matches(kArabicDeleted, text);
  if (is_language(language, "english")) return delete_matches(kEnglishDeleted, text);
  return call_method(text, "strip");
}

}  // namespace kf
