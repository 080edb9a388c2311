// E-mail parsing: the portal's bilingual notification mail (English and
// Arabic paragraphs in one body) turned into a flat record of application
// number, status, service names, addressee, links, the main message in both
// languages, the completion instructions and the required-action snippets.
//
// While the module's `re` is the standard library's, the fields are read by
// the hand-tuned scanner of text/email_scan.cpp, with the same results in
// linear time; when a script has bound another `re` in the module, every
// pattern below goes through that one.
#include "frame/routines.h"
#include "text/email_record.h"
#include "text/email_scan.h"

#include <memory>

namespace kf {
namespace email {

template <size_t N>
void make_strs(py::object (&out)[N], const char* const (&texts)[N]) {
  for (size_t i = 0; i < N; ++i) out[i] = str_of(texts[i]);
}

const Labels& labels() {
  static Labels* made = nullptr;  // kept for the life of the process
  if (made != nullptr) return *made;
  auto fresh = std::make_unique<Labels>();
  for (size_t i = 0; i < kKeyCount; ++i) {
    PyObject* key = PyUnicode_InternFromString(kKeys[i]);
    if (key == nullptr) throw py::error_already_set();
    fresh->keys[i] = py::reinterpret_steal<py::object>(key);
  }
  make_strs(fresh->field_patterns, kFieldPatterns);
  make_strs(fresh->english_link_patterns, kEnglishLinkPatterns);
  make_strs(fresh->arabic_link_patterns, kArabicLinkPatterns);
  fresh->english_instruction = str_of(kEnglishInstructionPattern);
  fresh->arabic_instruction = str_of(kArabicInstructionPattern);
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

// match.group(n).strip()
py::object group_stripped(py::handle match, py::handle n) {
  return call_method(call_method(match, "group", {n}), "strip");
}

}  // namespace email

namespace {

using namespace email;

// True while `re` is the standard library's module.
bool is_standard_re(py::handle re) {
  static PyObject* standard = nullptr;  // one reference, kept for the life of the process
  if (standard == nullptr) {
    standard = PyImport_ImportModule("re");
    if (standard == nullptr) throw py::error_already_set();
  }
  return re.ptr() == standard;
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
