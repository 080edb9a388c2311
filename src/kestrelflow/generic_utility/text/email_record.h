// The portal's notification e-mail as a record: its fourteen keys, the
// regular expressions its fields are read with, and the texts both of its
// readers use (text/email_parsing.cpp reads through the module's `re`,
// text/email_scan.cpp reads directly).
#pragma once

#include "frame/toolkit.h"

#include <iterator>

namespace kf::email {

inline constexpr const char* kKeys[] = {
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
inline constexpr const char* kFieldPatterns[] = {
    R"(Application Number: (\d+))", R"(Status is ([\w\s]+))",
    R"(Service Name: ([^\n]+))",    R"(اسم الخدمة: ([^\n]+))",
    R"(Hello ([^,]+),)",            R"(أهلاً بك\s*([^،,]+)\s*[،,])",
};
inline constexpr size_t kFieldCount = std::size(kFieldPatterns);

// The link patterns of each key: the first that matches wins.
inline constexpr const char* kEnglishLinkPatterns[] = {
    R"(please click on: (https?://[^\s]+))", R"(kindly click on: (https?://[^\s]+))",
    R"(kindly complete the payment (https?://[^\s]+))",
    R"(kindly complete the payment: (https?://[^\s]+))"};
inline constexpr const char* kArabicLinkPatterns[] = {R"(يُرجى زيارة: (https?://[^\s]+))",
                                               R"(عبر زيارة: (https?://[^\s]+))",
                                               R"(الدفع عبر الرابط التالي: (https?://[^\s]+))"};

// The instruction sentences, searched across lines.
inline constexpr const char* kEnglishInstructionPattern =
    R"((To complete your application|For more information)(.+?)http)";
inline constexpr const char* kArabicInstructionPattern = R"((لمزيد من المعلومات|لاستكمال الطلب)(.+?)http)";

inline constexpr const char* kRequiredActionEnText =
    "<div><strong>Required Action:</strong> You need to complete the application details in "
    "order to proceed.</div>";
inline constexpr const char* kRequiredActionArText =
    "<div><strong>الإجراء المطلوب:</strong> يُرجى استكمال المعاملة لمتابعة تقديم طلبك.</div>";

// The texts both readers use, as str, made once.
struct Labels {
  py::object keys[kKeyCount];
  py::object field_patterns[kFieldCount];
  py::object english_link_patterns[std::size(kEnglishLinkPatterns)];
  py::object arabic_link_patterns[std::size(kArabicLinkPatterns)];
  py::object english_instruction;
  py::object arabic_instruction;
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

// The shared texts (made on first use, kept for the life of the process).
const Labels& labels();

// match.group(n).strip()
py::object group_stripped(py::handle match, py::handle n);

}  // namespace kf::email
