// E-mail parsing: the portal's bilingual notification mail (English and
// Arabic paragraphs in one body) turned into a flat record of application
// number, status, service names, addressee, links, the main message in both
// languages, the completion instructions and the required-action snippets.
//
// Every pattern but the status one begins with fixed text, so a match can
// only start where that text occurs: the occurrences are found with the
// interpreter's string search and the pattern is tried there only.  The
// results are those of searching the whole text with the pattern.  The fixed
// patterns are compiled once for each object bound to the module's `re`.
#include "frame/routines.h"

#include <memory>

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

// A pattern and the fixed text every one of its matches starts with.
struct Pattern {
  const char* regex;
  const char* lead;
};

struct Field {
  const char* key;
  Pattern pattern;
};

constexpr Field kFields[] = {
    {"application_number", {R"(Application Number: (\d+))", "Application Number: "}},
    {"status", {R"(Status is ([\w\s]+))", "Status is "}},
    {"service_name_en", {R"(Service Name: ([^\n]+))", "Service Name: "}},
    {"service_name_ar", {"اسم الخدمة: ([^\\n]+)", "اسم الخدمة: "}},
    {"username_en", {"Hello ([^,]+),", "Hello "}},
    {"username_ar", {"أهلاً بك\\s*([^،,]+)\\s*[،,]", "أهلاً بك"}},
};
constexpr size_t kArabicNameField = 5;

constexpr Pattern kEnglishLinks[] = {
    {R"(please click on: (https?://[^\s]+))", "please click on: "},
    {R"(kindly click on: (https?://[^\s]+))", "kindly click on: "},
    {R"(kindly complete the payment (https?://[^\s]+))", "kindly complete the payment "},
    {R"(kindly complete the payment: (https?://[^\s]+))", "kindly complete the payment: "},
};

constexpr Pattern kArabicLinks[] = {
    {R"(يُرجى زيارة: (https?://[^\s]+))", "يُرجى زيارة: "},
    {R"(عبر زيارة: (https?://[^\s]+))", "عبر زيارة: "},
    {R"(الدفع عبر الرابط التالي: (https?://[^\s]+))", "الدفع عبر الرابط التالي: "},
};

// The instruction sentences start with one of two phrases each.
constexpr const char* kEnglishInstruction = "(To complete your application|For more information)(.+?)http";
constexpr const char* kEnglishInstructionLeads[] = {"To complete your application", "For more information"};
constexpr const char* kArabicInstruction = "(لمزيد من المعلومات|لاستكمال الطلب)(.+?)http";
constexpr const char* kArabicInstructionLeads[] = {"لمزيد من المعلومات", "لاستكمال الطلب"};

constexpr const char* kRequiredActionEn =
    "<div><strong>Required Action:</strong> You need to complete the application details in "
    "order to proceed.</div>";
constexpr const char* kRequiredActionAr =
    "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>";

// Where the next occurrence of any of the leads starts, at or after `from`;
// -1 when none occurs.
Py_ssize_t next_lead(py::handle text, const py::object* leads, size_t count, Py_ssize_t from,
                     Py_ssize_t length) {
  Py_ssize_t first = -1;
  for (size_t i = 0; i < count; ++i) {
    Py_ssize_t end = first >= 0 ? first + PyUnicode_GET_LENGTH(leads[i].ptr()) : length;
    if (end > length) end = length;
    Py_ssize_t at = PyUnicode_Find(text.ptr(), leads[i].ptr(), from, end, 1);
    if (at == -2) throw py::error_already_set();
    if (at >= 0 && (first < 0 || at < first)) first = at;
  }
  return first;
}

// A compiled pattern, ready to be tried at a position, and the fixed texts
// every one of its matches starts with.
struct Compiled {
  py::object search;  // the pattern's search method
  py::object match;   // the pattern's match method
  py::object leads[2];
  size_t lead_count = 0;
};

Compiled compile(py::handle re, py::handle regex, py::handle flags,
                 std::initializer_list<py::handle> leads) {
  py::object pattern = call_method(re, "compile", {regex, flags});
  Compiled compiled;
  compiled.search = pattern.attr("search");
  compiled.match = pattern.attr("match");
  for (py::handle lead : leads)
    compiled.leads[compiled.lead_count++] = py::reinterpret_borrow<py::object>(lead);
  return compiled;
}

// pattern.search(text): the occurrences of the leads are found by the string
// search and the pattern is tried at each in turn.  None when nothing matches.
py::object search(const Compiled& pattern, py::handle text) {
  if (!PyUnicode_Check(text.ptr())) return call(pattern.search, {text});
  Py_ssize_t length = PyUnicode_GET_LENGTH(text.ptr());
  Py_ssize_t from = 0;
  for (size_t pass = 1;; ++pass) {
    if (pass % 4096 == 0) check_signals();
    Py_ssize_t at = next_lead(text, pattern.leads, pattern.lead_count, from, length);
    if (at < 0) return py::none();
    py::object match = call(pattern.match, {text, int_of(at)});
    if (!match.is_none()) return match;
    from = at + 1;
  }
}

// The fixed patterns, compiled with the module's `re`.  They are compiled
// again whenever `re` is bound to another object.
struct Patterns {
  py::object re;
  py::object dotall;
  py::object escape;
  py::object whitespace_runs;  // the sub method of \s+
  Compiled fields[std::size(kFields)];
  Compiled english_links[std::size(kEnglishLinks)];
  Compiled arabic_links[std::size(kArabicLinks)];
  Compiled english_instruction;
  Compiled arabic_instruction;
};

Compiled compile_fixed(py::handle re, const Pattern& pattern) {
  return compile(re, str_of(pattern.regex), int_of(0), {str_of(pattern.lead)});
}

const Patterns& patterns_of(py::handle re) {
  static Patterns* current = nullptr;  // kept for the life of the process
  if (current != nullptr && current->re.is(re)) return *current;
  auto fresh = std::make_unique<Patterns>();
  fresh->re = py::reinterpret_borrow<py::object>(re);
  fresh->dotall = re.attr("DOTALL");
  fresh->escape = re.attr("escape");
  fresh->whitespace_runs = call_method(re, "compile", {str_of(R"(\s+)")}).attr("sub");
  for (size_t i = 0; i < std::size(kFields); ++i) fresh->fields[i] = compile_fixed(re, kFields[i].pattern);
  for (size_t i = 0; i < std::size(kEnglishLinks); ++i)
    fresh->english_links[i] = compile_fixed(re, kEnglishLinks[i]);
  for (size_t i = 0; i < std::size(kArabicLinks); ++i)
    fresh->arabic_links[i] = compile_fixed(re, kArabicLinks[i]);
  fresh->english_instruction =
      compile(re, str_of(kEnglishInstruction), fresh->dotall,
              {str_of(kEnglishInstructionLeads[0]), str_of(kEnglishInstructionLeads[1])});
  fresh->arabic_instruction =
      compile(re, str_of(kArabicInstruction), fresh->dotall,
              {str_of(kArabicInstructionLeads[0]), str_of(kArabicInstructionLeads[1])});
  delete current;
  current = fresh.release();
  return *current;
}

py::object stripped_group(py::handle match, int group) {
  return call_method(call_method(match, "group", {int_of(group)}), "strip");
}

// The text between a greeting addressed to `name` and a label, searched
// across lines.  The name is matched as the text it is.
py::object message_between(const Patterns& patterns, const char* greeting, py::handle name,
                           const char* after_name, const char* label, py::handle text) {
  py::object escaped = call(patterns.escape, {name});
  py::object regex = concat({greeting, escaped, after_name, "(.+?)", label});
  py::object lead = concat({greeting, name, after_name});
  return search(compile(patterns.re, regex, patterns.dotall, {lead}), text);
}

// The instruction sentence: trigger phrase and what follows it up to the
// first "http", stripped; None when the phrase is not there.
py::object instruction(const Compiled& pattern, py::handle text) {
  py::object match = search(pattern, text);
  if (match.is_none()) return match;
  return call_method(add(call_method(match, "group", {int_of(1)}),
                         call_method(match, "group", {int_of(2)})),
                     "strip");
}

template <size_t N>
void first_link(py::dict& data, const char* key, const Compiled (&patterns)[N], py::handle text) {
  for (const Compiled& pattern : patterns) {
    py::object match = search(pattern, text);
    if (!match.is_none()) {
      data[key] = stripped_group(match, 1);
      return;
    }
  }
}

}  // namespace

py::object extract_email_data(Arg email_text) {
  py::object text = email_text.attr("replace")(py::str("\r\n"), py::str("\n"));
  const Patterns& patterns = patterns_of(g("re"));

  py::dict data;
  for (const char* key : kKeys) data[key] = py::none();

  py::object matches[std::size(kFields)];
  for (size_t i = 0; i < std::size(kFields); ++i) matches[i] = search(patterns.fields[i], text);
  say_values({matches[kArabicNameField]});
  for (size_t i = 0; i < std::size(kFields); ++i)
    if (!matches[i].is_none()) data[kFields[i].key] = stripped_group(matches[i], 1);

  first_link(data, "link_en", patterns.english_links, text);
  first_link(data, "link_ar", patterns.arabic_links, text);

  py::object name_en = data["username_en"];
  if (truthy(name_en)) {
    py::object match = message_between(patterns, "Hello ", name_en, ",", "Service Name:", text);
    if (!match.is_none()) {
      py::object message = g("clean_text")(stripped_group(match, 1), py::str("english"));
      data["content_message_en"] = message;
      say_values({message});
    }
  }

  py::object name_ar = data["username_ar"];
  if (truthy(name_ar)) {
    say_values({name_ar});
    py::object match = message_between(patterns, "أهلاً بك ", name_ar, "،", "اسم الخدمة:", text);
    if (!match.is_none()) {
      py::object message = g("clean_text")(stripped_group(match, 1), py::str("arabic"));
      data["content_message_ar"] = message;
      message = call_method(call(patterns.whitespace_runs, {py::str(" "), message}), "strip");
      data["content_message_ar"] = message;
      say_values({message});
    }
  }

  py::object status = data["status"];
  if (truthy(status) && contains(status, str_of("Pending Action"))) {
    data["required_action_en"] = str_of(kRequiredActionEn);
    data["required_action_ar"] = str_of(kRequiredActionAr);
  } else {
    data["required_action_en"] = py::str("");
    data["required_action_ar"] = py::str("");
  }

  if (truthy(data["application_number"])) {
    py::object english = instruction(patterns.english_instruction, text);
    if (!english.is_none()) data["complete_application_instruction_en"] = english;
    py::object arabic = instruction(patterns.arabic_instruction, text);
    if (!arabic.is_none()) data["complete_application_instruction_ar"] = arabic;
  }
  return std::move(data);
}

}  // namespace kf
