#include "text/email_scan.h"

#include "frame/function_type.h"
#include "frame/routines.h"

#include <memory>
#include <vector>

namespace kf::email {
namespace {

// ---- reading a str ----------------------------------------------------------------------------

bool is_space(Py_UCS4 c) { return Py_UNICODE_ISSPACE(c); }
bool is_word(Py_UCS4 c) { return Py_UNICODE_ISALNUM(c) || c == '_'; }
bool is_digit(Py_UCS4 c) { return Py_UNICODE_ISDECIMAL(c); }
bool is_comma(Py_UCS4 c) { return c == ',' || c == 0x060C; }  // "," or the Arabic "،"

// The code points of a str, read in place.
class Text {
 public:
  explicit Text(py::handle str)
      : str_(str),
        kind_(PyUnicode_KIND(str.ptr())),
        data_(PyUnicode_DATA(str.ptr())),
        length_(PyUnicode_GET_LENGTH(str.ptr())) {}

  Py_ssize_t length() const { return length_; }
  Py_UCS4 operator[](Py_ssize_t i) const { return PyUnicode_READ(kind_, data_, i); }
  py::handle str() const { return str_; }

  // Where `needle` next occurs at or after `from`; -1 when it does not.
  Py_ssize_t find(py::handle needle, Py_ssize_t from) const {
    if (from > length_) return -1;
    Py_ssize_t at = PyUnicode_Find(str_.ptr(), needle.ptr(), from, length_, 1);
    if (at == -2) throw py::error_already_set();
    return at;
  }

  // The characters from `start` while `keep` holds; the end of the run.
  template <typename Keep>
  Py_ssize_t run(Py_ssize_t start, Keep keep) const {
    Py_ssize_t end = start;
    while (end < length_ && keep((*this)[end])) ++end;
    return end;
  }

  // text[start:end].strip()
  py::object stripped(Py_ssize_t start, Py_ssize_t end) const {
    while (start < end && is_space((*this)[start])) ++start;
    while (end > start && is_space((*this)[end - 1])) --end;
    PyObject* piece = PyUnicode_Substring(str_.ptr(), start, end);
    if (piece == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(piece);
  }

 private:
  py::handle str_;
  int kind_;
  const void* data_;
  Py_ssize_t length_;
};

// Where a field's value ends when it starts at `start`: its end, kNoMatch
// when the field cannot start here, kNoMatchLater when it cannot start here
// nor at any later label.
constexpr Py_ssize_t kNoMatch = -1;
constexpr Py_ssize_t kNoMatchLater = -2;
using Rule = Py_ssize_t (*)(const Text&, Py_ssize_t start);

// LABEL(\d+)
Py_ssize_t digits(const Text& t, Py_ssize_t start) {
  Py_ssize_t end = t.run(start, is_digit);
  return end > start ? end : kNoMatch;
}

// LABEL([\w\s]+)
Py_ssize_t words_and_spaces(const Text& t, Py_ssize_t start) {
  Py_ssize_t end = t.run(start, [](Py_UCS4 c) { return is_word(c) || is_space(c); });
  return end > start ? end : kNoMatch;
}

// LABEL([^\n]+)
Py_ssize_t rest_of_line(const Text& t, Py_ssize_t start) {
  Py_ssize_t end = t.run(start, [](Py_UCS4 c) { return c != '\n'; });
  return end > start ? end : kNoMatch;
}

// LABEL([^,]+),
Py_ssize_t up_to_comma(const Text& t, Py_ssize_t start) {
  Py_ssize_t end = t.run(start, [](Py_UCS4 c) { return c != ','; });
  if (end == t.length()) return kNoMatchLater;
  return end > start ? end : kNoMatch;
}

// LABEL(https?://[^\s]+)
Py_ssize_t web_link(const Text& t, Py_ssize_t start) {
  auto is_at = [&](Py_ssize_t i, const char* ascii) {
    for (; *ascii; ++ascii, ++i)
      if (i >= t.length() || t[i] != static_cast<Py_UCS4>(*ascii)) return false;
    return true;
  };
  if (!is_at(start, "http")) return kNoMatch;
  Py_ssize_t after = start + 4;
  if (is_at(after, "s://")) {
    after += 4;
  } else if (is_at(after, "://")) {
    after += 3;
  } else {
    return kNoMatch;
  }
  Py_ssize_t end = t.run(after, [](Py_UCS4 c) { return !is_space(c); });
  return end > after ? end : kNoMatch;
}

struct Field {
  Key key;
  const char* label;
  Rule rule;
};

// The fields read directly, in search order (the Arabic greeting has its own reader).
constexpr Field kFields[] = {
    {kApplicationNumber, "Application Number: ", digits},
    {kStatus, "Status is ", words_and_spaces},
    {kServiceNameEn, "Service Name: ", rest_of_line},
    {kServiceNameAr, "اسم الخدمة: ", rest_of_line},
    {kUsernameEn, "Hello ", up_to_comma},
};

// The first label of each list whose link is there wins.
constexpr const char* kEnglishLinkLabels[] = {
    "please click on: ", "kindly click on: ", "kindly complete the payment ",
    "kindly complete the payment: "};
constexpr const char* kArabicLinkLabels[] = {"يُرجى زيارة: ", "عبر زيارة: ",
                                             "الدفع عبر الرابط التالي: "};

// The instruction sentence starts with one of two phrases and runs to the
// first "http" after it: (PHRASE_1|PHRASE_2)(.+?)http, across lines.
constexpr const char* kEnglishInstructionPhrases[] = {"To complete your application",
                                                      "For more information"};
constexpr const char* kArabicInstructionPhrases[] = {"لمزيد من المعلومات", "لاستكمال الطلب"};

template <size_t N>
void make_strs(py::object (&out)[N], const char* const (&texts)[N]) {
  for (size_t i = 0; i < N; ++i) out[i] = str_of(texts[i]);
}

// The scanner's own texts as str, made once.
struct ScanTexts {
  py::object fields[std::size(kFields)];
  py::object english_links[std::size(kEnglishLinkLabels)];
  py::object arabic_links[std::size(kArabicLinkLabels)];
  py::object english_phrases[2];
  py::object arabic_phrases[2];
  py::object arabic_greeting;
  py::object arabic_greeting_blank;
  py::object hello;
  py::object comma;
  py::object arabic_comma;
  py::object http;
  py::object service_name_en;
  py::object service_name_ar;
};

const ScanTexts& scan_texts() {
  static ScanTexts* made = nullptr;  // kept for the life of the process
  if (made != nullptr) return *made;
  auto fresh = std::make_unique<ScanTexts>();
  for (size_t i = 0; i < std::size(kFields); ++i) fresh->fields[i] = str_of(kFields[i].label);
  make_strs(fresh->english_links, kEnglishLinkLabels);
  make_strs(fresh->arabic_links, kArabicLinkLabels);
  make_strs(fresh->english_phrases, kEnglishInstructionPhrases);
  make_strs(fresh->arabic_phrases, kArabicInstructionPhrases);
  fresh->arabic_greeting = str_of("أهلاً بك");
  fresh->arabic_greeting_blank = str_of("أهلاً بك ");
  fresh->hello = str_of("Hello ");
  fresh->comma = str_of(",");
  fresh->arabic_comma = str_of("،");
  fresh->http = str_of("http");
  fresh->service_name_en = str_of("Service Name:");
  fresh->service_name_ar = str_of("اسم الخدمة:");
  made = fresh.release();
  return *made;
}


// The first value of LABEL followed by what `rule` accepts, stripped; None.
py::object first_field(const Text& t, py::handle label, Rule rule) {
  const Py_ssize_t skip = PyUnicode_GET_LENGTH(label.ptr());
  for (Py_ssize_t from = 0, pass = 1;; ++pass) {
    if (pass % 4096 == 0) check_signals();
    Py_ssize_t at = t.find(label, from);
    if (at < 0) return py::none();
    Py_ssize_t end = rule(t, at + skip);
    if (end == kNoMatchLater) return py::none();
    if (end != kNoMatch) return t.stripped(at + skip, end);
    from = at + 1;
  }
}

// Where أهلاً بك\s*([^،,]+)\s*[،,] first matches: the start of the match, and
// the group's start and end; at is -1 when there is no match.
struct Greeting {
  Py_ssize_t at = -1, name_start = 0, name_end = 0;
};

// At a greeting, \s* takes the blanks that follow; the group then runs, as
// far as it can, to the first comma, where the match ends.  Only when that
// comma follows the blanks directly does the group give way to the last
// blank; with no blank either, this greeting fails and the next is tried.
// A greeting with no comma after it fails, and so does every later one.
// Each greeting is passed over once, so the time is linear in the length.
Greeting arabic_greeting(const Text& t, py::handle greeting) {
  const Py_ssize_t skip = PyUnicode_GET_LENGTH(greeting.ptr());
  for (Py_ssize_t from = 0, pass = 1;; ++pass) {
    if (pass % 4096 == 0) check_signals();
    Py_ssize_t at = t.find(greeting, from);
    if (at < 0) return {};
    Py_ssize_t after = at + skip;
    if (after < t.length() && is_comma(t[after])) {
      from = at + 1;
      continue;
    }
    Py_ssize_t name = t.run(after, is_space);
    Py_ssize_t comma = t.run(name, [](Py_UCS4 c) { return !is_comma(c); });
    if (comma == t.length()) return {};
    if (comma > name) return {at, name, comma};
    return {at, name - 1, name};
  }
}

// OPENING(.+?)CLOSING across lines, for the first opening that occurs (a
// later one cannot be followed by a closing when the first is not): the
// start of the opening and the start of the closing, or {-1, -1}.
std::pair<Py_ssize_t, Py_ssize_t> span_between(const Text& t, const py::object* openings,
                                               size_t count, py::handle closing) {
  Py_ssize_t at = -1, skip = 0;
  for (size_t i = 0; i < count; ++i) {
    Py_ssize_t found = t.find(openings[i], 0);
    if (found >= 0 && (at < 0 || found < at)) {
      at = found;
      skip = PyUnicode_GET_LENGTH(openings[i].ptr());
    }
  }
  if (at < 0) return {-1, -1};
  Py_ssize_t close = t.find(closing, at + skip + 1);
  if (close < 0) return {-1, -1};
  return {at, close};
}

// The text between a greeting addressed to `name` and a label, stripped;
// None when the greeting or the label is not there.  The name is matched as
// the text it is.
py::object message_between(const Text& t, py::handle greeting, py::handle name,
                           py::handle after_name, py::handle label) {
  py::object opening = py::reinterpret_steal<py::object>(PyUnicode_Concat(greeting.ptr(), name.ptr()));
  if (!opening) throw py::error_already_set();
  opening = py::reinterpret_steal<py::object>(PyUnicode_Concat(opening.ptr(), after_name.ptr()));
  if (!opening) throw py::error_already_set();
  auto [at, close] = span_between(t, &opening, 1, label);
  if (at < 0) return py::none();
  return t.stripped(at + PyUnicode_GET_LENGTH(opening.ptr()), close);
}

// What the module's clean_text keeps while `re` is the standard module: for
// "english" the class [a-zA-Z0-9\s,.?!-], for "arabic" the Arabic block
// U+0600-U+06FF (its digits, "،" and "؛" among them), \s, ",", ".", "!", "-".
bool english_keeps(Py_UCS4 c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == ',' || c == '.' || c == '?' || c == '!' || c == '-' || is_space(c);
}
bool arabic_keeps(Py_UCS4 c) {
  return (c >= 0x0600 && c <= 0x06FF) || c == ',' || c == '.' || c == '!' || c == '-' ||
         is_space(c);
}

// clean_text(message, language) done here, with every whitespace run then
// turned into one blank when `collapse` is set; the result stripped.
py::object cleaned(py::handle message, bool (*keeps)(Py_UCS4), bool collapse) {
  const Text t(message);
  std::vector<Py_UCS4> out;
  out.reserve(static_cast<size_t>(t.length()));
  for (Py_ssize_t i = 0; i < t.length(); ++i) {
    Py_UCS4 c = t[i];
    if (!keeps(c)) continue;
    if (collapse && is_space(c)) {
      if (!out.empty() && out.back() == ' ') continue;
      c = ' ';
    }
    out.push_back(c);
  }
  size_t begin = 0, end = out.size();
  while (begin < end && is_space(out[begin])) ++begin;
  while (end > begin && is_space(out[end - 1])) --end;
  PyObject* result = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, out.data() + begin,
                                               static_cast<Py_ssize_t>(end - begin));
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

// re.sub(r"\s+", " ", text).strip()
py::object collapse_whitespace(py::handle str, const Labels& l) {
  if (!PyUnicode_Check(str.ptr()))
    return call_method(call_method(g("re"), "sub", {l.whitespace_run, l.blank, str}), "strip");
  Text t(str);
  std::vector<Py_UCS4> out;
  out.reserve(static_cast<size_t>(t.length()));
  for (Py_ssize_t i = 0; i < t.length();) {
    if (is_space(t[i])) {
      i = t.run(i, is_space);
      out.push_back(' ');
    } else {
      out.push_back(t[i++]);
    }
  }
  size_t begin = 0, end = out.size();
  while (begin < end && out[begin] == ' ') ++begin;
  while (end > begin && out[end - 1] == ' ') --end;
  PyObject* result = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, out.data() + begin,
                                               static_cast<Py_ssize_t>(end - begin));
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

template <size_t N>
py::object first_link(const Text& t, const py::object (&link_labels)[N]) {
  for (const py::object& label : link_labels) {
    py::object link = first_field(t, label, web_link);
    if (!link.is_none()) return link;
  }
  return py::none();
}

py::object instruction(const Text& t, const py::object (&phrases)[2], py::handle http) {
  auto [at, close] = span_between(t, phrases, 2, http);
  if (at < 0) return py::none();
  return t.stripped(at, close);
}

// Everything but the required actions, read directly from `text` (a str).
}  // namespace

void read_directly(py::handle re, py::handle text, const Labels& l,
                   py::object (&values)[kKeyCount]) {
  const ScanTexts& st = scan_texts();
  const Text t(text);
  for (size_t i = 0; i < std::size(kFields); ++i)
    values[kFields[i].key] = first_field(t, st.fields[i], kFields[i].rule);

  Greeting greeting = arabic_greeting(t, st.arabic_greeting);
  if (greeting.at < 0) {
    say_values({py::none()});
  } else {
    py::object pattern = call_method(re, "compile", {l.field_patterns[kUsernameAr]});
    say_values({call_method(pattern, "match", {text, int_of(greeting.at)})});
    values[kUsernameAr] = t.stripped(greeting.name_start, greeting.name_end);
  }

  values[kLinkEn] = first_link(t, st.english_links);
  values[kLinkAr] = first_link(t, st.arabic_links);

  // The module's own clean_text is done here; another one bound in its place is called.
  py::object clean_text = g("clean_text");
  const bool own_cleaning = is_routine(clean_text, "clean_text");

  if (truthy(values[kUsernameEn])) {
    py::object message = message_between(t, st.hello, values[kUsernameEn], st.comma, st.service_name_en);
    if (!message.is_none()) {
      values[kContentMessageEn] = own_cleaning ? cleaned(message, english_keeps, false)
                                               : call(clean_text, {message, l.english});
      say_values({values[kContentMessageEn]});
    }
  }

  if (truthy(values[kUsernameAr])) {
    say_values({values[kUsernameAr]});
    py::object message =
        message_between(t, st.arabic_greeting_blank, values[kUsernameAr], st.arabic_comma, st.service_name_ar);
    if (!message.is_none()) {
      values[kContentMessageAr] =
          own_cleaning ? cleaned(message, arabic_keeps, true)
                       : collapse_whitespace(call(clean_text, {message, l.arabic}), l);
      say_values({values[kContentMessageAr]});
    }
  }

  if (truthy(values[kApplicationNumber])) {
    values[kInstructionEn] = instruction(t, st.english_phrases, st.http);
    values[kInstructionAr] = instruction(t, st.arabic_phrases, st.http);
  }
}

}  // namespace kf::email
