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

py::object delete_matches(const char* pattern, py::handle text) {
  return g("re").attr("sub")(py::str(pattern), py::str(""), text).attr("strip")();
}

}  // namespace

py::object clean_text(Arg text, Arg language) {
  if (eq(language, "arabic")) return delete_matches(kArabicDeleted, text);
  if (eq(language, "english")) return delete_matches(kEnglishDeleted, text);
  return text.attr("strip")();
}

}  // namespace kf
