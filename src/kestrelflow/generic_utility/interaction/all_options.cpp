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

py::object exact_text_holder(Arg driver, py::handle text) {
  return find_element(driver, "XPATH", exact_text_xpath(text));
}

namespace {

// One text: scrolled to and said so.
void scroll_to_text(Arg driver, py::handle text, const TextScroll& how) {
  run_script(driver, how.script, how.holder(driver, text));
  say({how.scrolled_line, text});
}

void report_failure(const TextScroll& how, const py::error_already_set& e) {
  if (how.failure_shows_error)
    say({how.failure_line, e});
  else
    say({how.failure_line});
}

}  // namespace

void scroll_to_texts(Arg driver, Arg texts, const TextScroll& how) {
  if (how.first_failure_ends) {
    try {
      for (py::handle text : texts) scroll_to_text(driver, text, how);
    } catch (...) {
      report_failure(how, caught());
    }
    return;
  }
  for (py::handle text : texts) {
    try {
      scroll_to_text(driver, text, how);
    } catch (...) {
      report_failure(how, caught());
    }
  }
}

}  // namespace kf::all_options
