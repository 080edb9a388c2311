// The pass loop of the all-options locator convention.
#include "interaction/all_options.h"

#include <cmath>

namespace kf::all_options {

void Pause::after_pass(long passes_done) const {
  if (per_pass_ == 0) return;
  double seconds = per_pass_ * static_cast<double>(passes_done);
  // Whole seconds per pass sleep an int, as `1 * retry_count` would.
  if (std::floor(per_pass_) == per_pass_)
    sleep(int_of(static_cast<long long>(seconds)));
  else
    sleep(seconds);
}

Outcome run_passes(py::handle entries, py::handle limit, const char* what, const Pause& pause,
                   const TryEntry& try_entry) {
  long retry_count = 0;
  while (lt(int_of(retry_count), limit)) {
    check_signals();
    for (py::handle entry : entries) {
      say({"Attempt ", static_cast<long long>(retry_count) + 1, " to ", what, ": '", entry, "'"});
      Outcome outcome = try_entry(entry);
      if (outcome != Outcome::next) return outcome;
    }
    ++retry_count;
    pause.after_pass(retry_count);
  }
  return Outcome::next;
}

}  // namespace kf::all_options
