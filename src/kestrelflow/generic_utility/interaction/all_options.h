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

// One phase: while the pass counter is below `limit` (compared as Python
// compares `counter < limit`), iterate `entries` afresh, print
// "Attempt <pass+1> to <what>: '<entry>'" and try the entry; pause after
// every pass.  Returns succeeded or gave_up as soon as a try says so, and
// next when every pass is done.
Outcome run_passes(py::handle entries, py::handle limit, const char* what, const Pause& pause,
                   const TryEntry& try_entry);

}  // namespace kf::all_options
