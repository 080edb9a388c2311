// The all-options locator convention shared by the click, hover and input
// routines: a target is described by a list of XPaths and a list of visible
// texts; each list is tried in passes, every entry once per pass, and the
// first entry whose action succeeds ends the routine.
#pragma once

#include "frame/browser.h"
#include "frame/retry.h"
#include "frame/routines.h"

#include <functional>

namespace kf::all_options {

// What one try of one entry came to.
enum class Outcome {
  next,       // failed; go on with the next entry
  succeeded,  // the routine returns True
  gave_up,    // the routine returns False at once
};

// The pause after each pass: none, or time.sleep(per_pass * passes done).
using Pause = retry::Pause;

using TryEntry = std::function<Outcome(py::handle entry)>;

// How a routine scrolls to its visible texts before the passes.
struct TextScroll {
  // The element that shows a text (raises when there is none).
  py::object (*holder)(Arg driver, py::handle text);
  // The script that scrolls it into view, given the element.
  const char* script;
  // "Scrolled to element with text: " and the like; the text follows.
  const char* scrolled_line;
  // The line printed when a text cannot be scrolled to; with
  // `failure_shows_error` the error's text follows it.
  const char* failure_line;
  bool failure_shows_error;
  // Whether the first failure ends the scrolling, or only skips its text.
  bool first_failure_ends;
};

// The element whose own text node is exactly `text`.
py::object exact_text_holder(Arg driver, py::handle text);

// Scrolls to each text in turn, as `how` says.
void scroll_to_texts(Arg driver, Arg texts, const TextScroll& how);

// The element `condition` finds at the XPath `xpath_of()` gives, within
// `timeout`.  When making the XPath or the wait fails (an Exception),
// `say_why(error)` says so and the object is empty.
template <typename XPathOf, typename SayWhy>
py::object wait_or_say(Arg driver, Arg timeout, const char* condition, XPathOf&& xpath_of,
                       SayWhy&& say_why) {
  try {
    return wait_until(driver, timeout, condition, locator("XPATH", xpath_of()));
  } catch (...) {
    py::error_already_set e = caught();
    say_why(e);
    return py::object();
  }
}

// One phase: while the pass counter is below `limit` (compared as Python
// compares `counter < limit`), iterate `entries` afresh, print
// "Attempt <pass+1> to <what>: '<entry>'" and try the entry; pause after
// every pass.  Returns succeeded or gave_up as soon as a try says so, and
// next when every pass is done.
Outcome run_passes(py::handle entries, py::handle limit, const char* what, const Pause& pause,
                   const TryEntry& try_entry);

}  // namespace kf::all_options
