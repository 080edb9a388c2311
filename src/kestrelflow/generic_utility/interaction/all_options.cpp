// The pass loop of the all-options locator convention.
#include "interaction/all_options.h"

namespace kf::all_options {

Outcome run_passes(py::handle entries, py::handle limit, const char* what, const Pause& pause,
                   const TryEntry& try_entry) {
  Outcome result = Outcome::next;
  retry::run(retry::Count::while_below(limit), pause, [&](const retry::Attempt& pass) {
    for (py::handle entry : entries) {
      say({"Attempt ", pass.number + 1, " to ", what, ": '", entry, "'"});
      result = try_entry(entry);
      if (result != Outcome::next) return retry::Next::stop;
    }
    return retry::Next::retry;
  });
  return result;
}

}  // namespace kf::all_options
