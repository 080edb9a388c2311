// How the waits that count absences read a failed lookup.
#pragma once

#include "frame/toolkit.h"

namespace kf {

// True when the lookup's error says the element is not there: it was not
// found, or it went stale between the lookup and the question put to it.
// Any other error (an invalid XPath, a closed window, a lost session) means
// the page could not be asked, and proves nothing about the element.
bool means_absent(const py::error_already_set& e);

// Says, once per wait, that the page could not be asked: the first lookup
// error that does not mean absence prints
// "⚠️ Could not check for " + what + ": " + the first line of the error's text.
class LookupTrouble {
 public:
  explicit LookupTrouble(const char* what) : what_(what) {}
  void report(const py::error_already_set& e);

 private:
  const char* what_;
  bool reported_ = false;
};

}  // namespace kf
