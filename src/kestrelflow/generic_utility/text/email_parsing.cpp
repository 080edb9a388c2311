// E-mail parsing: the portal's bilingual notification mail (English and
// Arabic paragraphs in one body) turned into a flat record of application
// number, status, service names, addressee, links, the main message in both
// languages, the completion instructions and the required-action snippets.
//
// Each field is a fixed label followed by a run of characters of one class
// (digits, word characters and whitespace, anything but a line break, ...),
// so the fields are read directly: the labels are found with the
// interpreter's string search and the runs measured with its character
// classes, which are the ones `re` gives \d, \w and \s in text patterns.  The
// results are those of the regular expressions written in the comments.  The
// Arabic greeting, whose match is printed as it is, goes through `re`.
#include "frame/routines.h"

#include <memory>
#include <vector>

namespace kf {
namespace {

constexpr const char* kKeys[] = {
    "application_number",   "status",
    "service_name_en",      "service_name_ar",
    "username_en",          "username_ar",
    "link_en",              "link_ar",
    "content_message_en",   "content_message_ar",
    "complete_application_instruction_en", "complete_application_instruction_ar",
    "required_action_en",   "required_action_ar",
};
enum Key {
  kApplicationNumber, kStatus, kServiceNameEn, kServiceNameAr, kUsernameEn, kUsernameAr,
  kLinkEn, kLinkAr, kContentMessageEn, kContentMessageAr, kInstructionEn, kInstructionAr,
  kRequiredActionEn, kRequiredActionAr, kKeyCount
};

// The Arabic greeting with the addressee's name, searched with `re`.
constexpr const char* kArabicNamePattern = "أهلاً بك\\s*([^،,]+)\\s*[،,]";
constexpr const char* kArabicGreeting = "أهلاً بك";

constexpr const char* kRequiredActionEnText =
    "<div><strong>Required Action:</strong> You need to complete the application details in "
    "order to proceed.</div>";
constexpr const char* kRequiredActionArText =
    "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>";

// ---- reading a str ----------------------------------------------------------------------------

bool is_space(Py_UCS4 c) { return Py_UNICODE_ISSPACE(c); }
bool is_word(Py_UCS4 c) { return Py_UNICODE_ISALNUM(c) || c == '_'; }
bool is_digit(Py_UCS4 c) { return Py_UNICODE_ISDECIMAL(c); }

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

// Searched in this order.
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

// The label texts as str, made once.
struct Labels {
  py::object keys[kKeyCount];
  py::object fields[std::size(kFields)];
  py::object english_links[std::size(kEnglishLinkLabels)];
  py::object arabic_links[std::size(kArabicLinkLabels)];
  py::object english_phrases[2];
  py::object arabic_phrases[2];
  py::object arabic_greeting;
  py::object http;
  py::object service_name_en;
  py::object service_name_ar;
};

const Labels& labels() {
  static Labels* made = nullptr;  // kept for the life of the process
  if (made != nullptr) return *made;
  auto fresh = std::make_unique<Labels>();
  for (size_t i = 0; i < kKeyCount; ++i) {
    PyObject* key = PyUnicode_InternFromString(kKeys[i]);
    if (key == nullptr) throw py::error_already_set();
    fresh->keys[i] = py::reinterpret_steal<py::object>(key);
  }
  for (size_t i = 0; i < std::size(kFields); ++i) fresh->fields[i] = str_of(kFields[i].label);
  for (size_t i = 0; i < std::size(kEnglishLinkLabels); ++i)
    fresh->english_links[i] = str_of(kEnglishLinkLabels[i]);
  for (size_t i = 0; i < std::size(kArabicLinkLabels); ++i)
    fresh->arabic_links[i] = str_of(kArabicLinkLabels[i]);
  for (size_t i = 0; i < 2; ++i) {
    fresh->english_phrases[i] = str_of(kEnglishInstructionPhrases[i]);
    fresh->arabic_phrases[i] = str_of(kArabicInstructionPhrases[i]);
  }
  fresh->arabic_greeting = str_of(kArabicGreeting);
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
py::object message_between(const Text& t, const char* greeting, py::handle name,
                           const char* after_name, py::handle label) {
  py::object opening = concat({greeting, name, after_name});
  auto [at, close] = span_between(t, &opening, 1, label);
  if (at < 0) return py::none();
  return t.stripped(at + PyUnicode_GET_LENGTH(opening.ptr()), close);
}

// re.sub(r"\s+", " ", text).strip()
py::object collapse_whitespace(py::handle str) {
  if (!PyUnicode_Check(str.ptr()))
    return call_method(g("re").attr("sub")(py::str(R"(\s+)"), py::str(" "), str), "strip");
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

// The Arabic greeting's match: the first one found by `re`, tried at each
// place the greeting occurs (every match starts there).
py::object arabic_name_match(const Text& t, const Labels& l) {
  py::object pattern = call_method(g("re"), "compile", {str_of(kArabicNamePattern)});
  py::object match_at = pattern.attr("match");
  for (Py_ssize_t from = 0, pass = 1;; ++pass) {
    if (pass % 4096 == 0) check_signals();
    Py_ssize_t at = t.find(l.arabic_greeting, from);
    if (at < 0) return py::none();
    py::object match = call(match_at, {t.str(), int_of(at)});
    if (!match.is_none()) return match;
    from = at + 1;
  }
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

}  // namespace

py::object extract_email_data(Arg email_text) {
  py::object text = email_text.attr("replace")(py::str("\r\n"), py::str("\n"));
  if (!PyUnicode_Check(text.ptr())) {
    // What re.search says of a value that is not text.
    call_method(g("re"), "search", {str_of(kArabicNamePattern), text});
    raise_error(PyExc_TypeError, "expected string");
  }
  const Text t(text);
  const Labels& l = labels();

  py::object values[kKeyCount];
  for (size_t i = 0; i < std::size(kFields); ++i)
    values[kFields[i].key] = first_field(t, l.fields[i], kFields[i].rule);
  py::object arabic_name = arabic_name_match(t, l);
  say_values({arabic_name});
  values[kUsernameAr] = arabic_name.is_none()
                            ? py::none()
                            : call_method(call_method(arabic_name, "group", {int_of(1)}), "strip");

  values[kLinkEn] = first_link(t, l.english_links);
  values[kLinkAr] = first_link(t, l.arabic_links);

  if (truthy(values[kUsernameEn])) {
    py::object message = message_between(t, "Hello ", values[kUsernameEn], ",", l.service_name_en);
    if (!message.is_none()) {
      values[kContentMessageEn] = g("clean_text")(message, py::str("english"));
      say_values({values[kContentMessageEn]});
    }
  }

  if (truthy(values[kUsernameAr])) {
    say_values({values[kUsernameAr]});
    py::object message = message_between(t, "أهلاً بك ", values[kUsernameAr], "،", l.service_name_ar);
    if (!message.is_none()) {
      py::object cleaned = g("clean_text")(message, py::str("arabic"));
      values[kContentMessageAr] = collapse_whitespace(cleaned);
      say_values({values[kContentMessageAr]});
    }
  }

  if (truthy(values[kStatus]) && contains(values[kStatus], str_of("Pending Action"))) {
    values[kRequiredActionEn] = str_of(kRequiredActionEnText);
    values[kRequiredActionAr] = str_of(kRequiredActionArText);
  } else {
    values[kRequiredActionEn] = py::str("");
    values[kRequiredActionAr] = py::str("");
  }

  if (truthy(values[kApplicationNumber])) {
    values[kInstructionEn] = instruction(t, l.english_phrases, l.http);
    values[kInstructionAr] = instruction(t, l.arabic_phrases, l.http);
  }

  py::dict data;
  for (size_t i = 0; i < kKeyCount; ++i)
    data[l.keys[i]] = values[i] ? values[i] : py::none();
  return std::move(data);
}

}  // namespace kf
