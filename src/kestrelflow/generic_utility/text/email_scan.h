// The hand-tuned reader of the notification e-mail, used while the
// module's `re` is the standard library's.
//
// Each field is a fixed label followed by a run of characters of one class
// (digits, word characters and whitespace, anything but a line break, ...),
// so the labels are found with the interpreter's string search and the runs
// measured with its character classes, which are the ones `re` gives \d, \w
// and \s in text patterns.  The results are those of the regular expressions
// of text/email_record.h, in time linear in the body's length whatever the
// body holds.  The Arabic greeting's match, which is printed as it is, is
// made by `re` once its place is known.
#pragma once

#include "text/email_record.h"

namespace kf::email {

// Every field but the required actions, read directly from `text` (a str)
// into `values` (by Key), with the lines the routine prints on the way.
void read_directly(py::handle re, py::handle text, const Labels& l,
                   py::object (&values)[kKeyCount]);

}  // namespace kf::email
