// E-mail parsing: the portal's bilingual notification mail (English and
// Arabic paragraphs in one body) turned into a flat record of application
// number, status, service names, addressee, links, the main message in both
// languages, the completion instructions and the required-action snippets.
//
// While the module's `re` is the standard library's, the fields are read
// directly: each is a fixed label followed by a run of characters of one
// class (digits, word characters and whitespace, anything but a line break,
// ...), so the labels are found with the interpreter's string search and the
// runs measured with its character classes, which are the ones `re` gives \d,
// \w and \s in text patterns.  The results are those of the regular
// expressions written in the comments, in time linear in the body's length
// whatever the body holds.  The Arabic greeting's match, which is printed as
// it is, is made by `re` once its place is known.  When a script has bound
// another `re` in the module, every pattern goes through that one.
#include "frame/function_type.h"
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

// The six field patterns, by key (searched in this order).
constexpr const char* kFieldPatterns[] = {
    R"(Application Number: (\d+))", R"(Status is ([\w\s]+))",
    R"(Service Name: ([^\n]+))",    R"(اسم الخدمة: ([^\n]+))",
    R"(Hello ([^,]+),)",            R"(أهلاً بك\s*([^،,]+)\s*[،,])",
};
constexpr size_t kFieldCount = std::size(kFieldPatterns);

// The link patterns of each key: the first that matches wins.
constexpr const char* kEnglishLinkPatterns[] = {
    R"(please click on: (https?://[^\s]+))", R"(kindly click on: (https?://[^\s]+))",
    R"(kindly complete the payment (https?://[^\s]+))",
    R"(kindly complete the payment: (https?://[^\s]+))"};
constexpr const char* kArabicLinkPatterns[] = {R"(يُرجى زيارة: (https?://[^\s]+))",
                                               R"(عبر زيارة: (https?://[^\s]+))",
                                               R"(الدفع عبر الرابط التالي: (https?://[^\s]+))"};

// The instruction sentences, searched across lines.
constexpr const char* kEnglishInstructionPattern =
    R"((To complete your application|For more information)(.+?)http)";
constexpr const char* kArabicInstructionPattern = R"((لمزيد من المعلومات|لاستكمال الطلب)(.+?)http)";

constexpr const char* kRequiredActionEnText =
    "<div><strong>Required Action:</strong> You need to complete the application details in "
    "order to proceed.</div>";
constexpr const char* kRequiredActionArText =
    "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>";

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

// The texts as str, made once.
struct Labels {
  py::object keys[kKeyCount];
  py::object fields[std::size(kFields)];
  py::object english_links[std::size(kEnglishLinkLabels)];
  py::object arabic_links[std::size(kArabicLinkLabels)];
  py::object english_phrases[2];
  py::object arabic_phrases[2];
  py::object field_patterns[kFieldCount];
  py::object english_link_patterns[std::size(kEnglishLinkPatterns)];
  py::object arabic_link_patterns[std::size(kArabicLinkPatterns)];
  py::object english_instruction;
  py::object arabic_instruction;
  py::object arabic_greeting;
  py::object arabic_greeting_blank;
  py::object hello;
  py::object comma;
  py::object arabic_comma;
  py::object http;
  py::object service_name_en;
  py::object service_name_ar;
  py::object english;
  py::object arabic;
  py::object pending_action;
  py::object required_action_en;
  py::object required_action_ar;
  py::object empty;
  py::object crlf;
  py::object lf;
  py::object whitespace_run;
  py::object blank;
  py::object one;
  py::object two;
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
  make_strs(fresh->english_links, kEnglishLinkLabels);
  make_strs(fresh->arabic_links, kArabicLinkLabels);
  make_strs(fresh->english_phrases, kEnglishInstructionPhrases);
  make_strs(fresh->arabic_phrases, kArabicInstructionPhrases);
  make_strs(fresh->field_patterns, kFieldPatterns);
  make_strs(fresh->english_link_patterns, kEnglishLinkPatterns);
  make_strs(fresh->arabic_link_patterns, kArabicLinkPatterns);
  fresh->english_instruction = str_of(kEnglishInstructionPattern);
  fresh->arabic_instruction = str_of(kArabicInstructionPattern);
  fresh->arabic_greeting = str_of("أهلاً بك");
  fresh->arabic_greeting_blank = str_of("أهلاً بك ");
  fresh->hello = str_of("Hello ");
  fresh->comma = str_of(",");
  fresh->arabic_comma = str_of("،");
  fresh->http = str_of("http");
  fresh->service_name_en = str_of("Service Name:");
  fresh->service_name_ar = str_of("اسم الخدمة:");
  fresh->english = str_of("english");
  fresh->arabic = str_of("arabic");
  fresh->pending_action = str_of("Pending Action");
  fresh->required_action_en = str_of(kRequiredActionEnText);
  fresh->required_action_ar = str_of(kRequiredActionArText);
  fresh->empty = str_of("");
  fresh->crlf = str_of("\r\n");
  fresh->lf = str_of("\n");
  fresh->whitespace_run = str_of(R"(\s+)");
  fresh->blank = str_of(" ");
  fresh->one = int_of(1);
  fresh->two = int_of(2);
  made = fresh.release();
  return *made;
}

// True while `re` is the standard library's module.
bool is_standard_re(py::handle re) {
  static PyObject* standard = nullptr;  // one reference, kept for the life of the process
  if (standard == nullptr) {
    standard = PyImport_ImportModule("re");
    if (standard == nullptr) throw py::error_already_set();
  }
  return re.ptr() == standard;
}

// match.group(n).strip()
py::object group_stripped(py::handle match, py::handle n) {
  return call_method(call_method(match, "group", {n}), "strip");
}

// ---- the fields read directly -------------------------------------------------------------------

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
void read_directly(py::handle re, py::handle text, const Labels& l, py::object (&values)[kKeyCount]) {
  const Text t(text);
  for (size_t i = 0; i < std::size(kFields); ++i)
    values[kFields[i].key] = first_field(t, l.fields[i], kFields[i].rule);

  Greeting greeting = arabic_greeting(t, l.arabic_greeting);
  if (greeting.at < 0) {
    say_values({py::none()});
  } else {
    py::object pattern = call_method(re, "compile", {l.field_patterns[kUsernameAr]});
    say_values({call_method(pattern, "match", {text, int_of(greeting.at)})});
    values[kUsernameAr] = t.stripped(greeting.name_start, greeting.name_end);
  }

  values[kLinkEn] = first_link(t, l.english_links);
  values[kLinkAr] = first_link(t, l.arabic_links);

  // The module's own clean_text is done here; another one bound in its place is called.
  py::object clean_text = g("clean_text");
  const bool own_cleaning = is_routine(clean_text, "clean_text");

  if (truthy(values[kUsernameEn])) {
    py::object message = message_between(t, l.hello, values[kUsernameEn], l.comma, l.service_name_en);
    if (!message.is_none()) {
      values[kContentMessageEn] = own_cleaning ? cleaned(message, english_keeps, false)
                                               : call(clean_text, {message, l.english});
      say_values({values[kContentMessageEn]});
    }
  }

  if (truthy(values[kUsernameAr])) {
    say_values({values[kUsernameAr]});
    py::object message =
        message_between(t, l.arabic_greeting_blank, values[kUsernameAr], l.arabic_comma, l.service_name_ar);
    if (!message.is_none()) {
      values[kContentMessageAr] =
          own_cleaning ? cleaned(message, arabic_keeps, true)
                       : collapse_whitespace(call(clean_text, {message, l.arabic}), l);
      say_values({values[kContentMessageAr]});
    }
  }

  if (truthy(values[kApplicationNumber])) {
    values[kInstructionEn] = instruction(t, l.english_phrases, l.http);
    values[kInstructionAr] = instruction(t, l.arabic_phrases, l.http);
  }
}

// ---- the fields through the module's `re` ------------------------------------------------------

template <size_t N>
py::object first_link_through(py::handle search, py::handle text, const py::object (&patterns)[N],
                              const Labels& l) {
  for (const py::object& pattern : patterns) {
    py::object match = call(search, {pattern, text});
    if (truthy(match)) return group_stripped(match, l.one);
  }
  return py::none();
}

// The message after a greeting addressed to `name`, the name matched as text.
py::object message_through(py::handle re, py::handle text, const char* greeting, py::handle name,
                           const char* rest) {
  py::object pattern = concat({greeting, call_method(re, "escape", {name}), rest});
  return call(re.attr("search"), {pattern, text, re.attr("DOTALL")});
}

py::object instruction_through(py::handle re, py::handle text, py::handle pattern,
                               const Labels& l) {
  py::object match = call(re.attr("search"), {pattern, text, re.attr("DOTALL")});
  if (!truthy(match)) return py::none();
  return call_method(add(call_method(match, "group", {l.one}), call_method(match, "group", {l.two})),
                     "strip");
}

// Everything but the required actions, with `re`'s search and sub.
void read_through(py::handle re, py::handle text, const Labels& l, py::object (&values)[kKeyCount]) {
  py::object search = re.attr("search");
  py::object matches[kFieldCount];
  for (size_t i = 0; i < kFieldCount; ++i) matches[i] = call(search, {l.field_patterns[i], text});
  say_values({matches[kUsernameAr]});
  for (size_t i = 0; i < kFieldCount; ++i)
    if (truthy(matches[i])) values[i] = group_stripped(matches[i], l.one);

  values[kLinkEn] = first_link_through(search, text, l.english_link_patterns, l);
  values[kLinkAr] = first_link_through(search, text, l.arabic_link_patterns, l);

  if (truthy(values[kUsernameEn])) {
    py::object match = message_through(re, text, "Hello ", values[kUsernameEn], ",(.+?)Service Name:");
    if (truthy(match)) {
      values[kContentMessageEn] = call(g("clean_text"), {group_stripped(match, l.one), l.english});
      say_values({values[kContentMessageEn]});
    }
  }

  if (truthy(values[kUsernameAr])) {
    say_values({values[kUsernameAr]});
    py::object match = message_through(re, text, "أهلاً بك ", values[kUsernameAr], "،(.+?)اسم الخدمة:");
    if (truthy(match)) {
      values[kContentMessageAr] = call(g("clean_text"), {group_stripped(match, l.one), l.arabic});
      py::object collapsed =
          call(re.attr("sub"), {l.whitespace_run, l.blank, values[kContentMessageAr]});
      values[kContentMessageAr] = call_method(collapsed, "strip");
      say_values({values[kContentMessageAr]});
    }
  }

  if (truthy(values[kApplicationNumber])) {
    values[kInstructionEn] = instruction_through(re, text, l.english_instruction, l);
    values[kInstructionAr] = instruction_through(re, text, l.arabic_instruction, l);
  }
}

}  // namespace

py::object extract_email_data(Arg email_text) {
  const Labels& l = labels();
  py::object text = call_method(email_text, "replace", {l.crlf, l.lf});
  py::object re = g("re");

  py::object values[kKeyCount];
  for (py::object& value : values) value = py::none();
  if (PyUnicode_Check(text.ptr()) && is_standard_re(re)) {
    read_directly(re, text, l, values);
  } else {
    read_through(re, text, l, values);
  }

  if (truthy(values[kStatus]) && contains(values[kStatus], l.pending_action)) {
    values[kRequiredActionEn] = l.required_action_en;
    values[kRequiredActionAr] = l.required_action_ar;
  } else {
    values[kRequiredActionEn] = l.empty;
    values[kRequiredActionAr] = l.empty;
  }

  py::dict data;
  for (size_t i = 0; i < kKeyCount; ++i)
    if (PyDict_SetItem(data.ptr(), l.keys[i].ptr(), values[i].ptr()) < 0)
      throw py::error_already_set();
  return std::move(data);
}

}  // namespace kf
