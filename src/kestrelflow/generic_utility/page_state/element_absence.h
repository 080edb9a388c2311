// How the waits that count absences read a failed lookup.
#pragma once

#include "frame/toolkit.h"

namespace kf {

// True when the lookup's error says the element is not there: it was not
// found, or it went stale between the lookup and the question put to it.
// Any other error (an invalid XPath, a closed window, a lost session) means
// the page could not be asked, and proves nothing about the element.
bool means_absent(const py::error_already_set& e);

// The lookups of one wait that counts absences.  ask(question) runs one
// lookup (find the element, put a question to it) and gives its answer; a
// lookup whose error means absence answers false; any other error answers
// false too, leaves the current poll unsettled (a page that cannot be asked
// has not been seen without the element) and is said once per wait:
// "⚠️ Could not check for " + what + ": " + the first line of the error's text.
class LookupTrouble {
 public:
  explicit LookupTrouble(const char* what) : what_(what) {}

  void new_poll() { unsettled_ = false; }
  bool unsettled() const { return unsettled_; }

  template <typename Question>
  bool ask(Question&& question) {
    try {
      return question();
    } catch (...) {
      py::error_already_set e = caught();
      if (!means_absent(e)) {
        unsettled_ = true;
        report(e);
      }
      return false;
    }
  }

 private:
  void report(const py::error_already_set& e);

  const char* what_;
  bool reported_ = false;
  bool unsettled_ = false;
};

}  // namespace kf
