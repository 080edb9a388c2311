// The one retry loop of the module.
//
// A routine that tries something several times hands the loop only what one
// attempt does; the loop owns the attempt counter, the check for pending
// signals before every attempt (so Ctrl-C arrives between attempts), and the
// pause after an attempt that asks for another:
//
//   retry::run(retry::Count::while_below(max_retries), retry::Pause::fixed(delay),
//              [&](const retry::Attempt& attempt) {
//                ... one attempt ...
//                return found ? retry::Next::stop : retry::Next::retry;
//              });
//
// The routines count and pause by different rules (a pass counter compared
// with a caller's limit, range(n), an elapsed period that grows by the
// polling interval; a fixed pause, one that grows with the passes, one only
// between attempts), so both are parameters, each following Python's
// arithmetic and comparisons exactly as the statement it stands for.
#pragma once

#include "frame/toolkit.h"

namespace kf::retry {

// What an attempt asks of the loop.
enum class Next {
  retry,      // pause, then the next attempt (if the count allows one)
  retry_now,  // the next attempt without the pause
  stop,       // end the loop: the attempt settled the matter
};

// How attempts are counted.
class Count {
 public:
  // attempt = 0; while attempt < limit: ...; attempt += 1
  // (the limit is any object, compared as Python compares `int < limit`).
  static Count while_below(py::handle limit);
  // for attempt in range(start, stop): stop must be an integer (TypeError
  // as range() says); an empty range makes no attempt.
  static Count range(py::handle stop, long long start = 0);
  // elapsed = 0; while elapsed < maxtrial: ...; elapsed += interval
  // (ints stay ints, a float interval makes a float).  An interval of zero
  // or less with a positive period would never end: ValueError instead,
  // before the first attempt.
  static Count period(py::handle maxtrial, py::handle interval);

  // Whether another attempt is allowed (the signal check comes first).
  bool allows_attempt();
  // Whether the current attempt is the last the count allows.
  bool is_last() const;
  void advance();
  // The current attempt's number: 0, 1, ... (start, start + 1, ... for a range).
  long long number() const { return number_; }

 private:
  enum class Kind { below, range, period };
  explicit Count(Kind kind) : kind_(kind) {}
  Kind kind_;
  long long number_ = 0;
  long long end_ = 0;       // range: one past the last attempt
  py::handle limit_;        // below: the limit; period: maxtrial
  py::handle interval_;     // period
  py::object elapsed_;      // period
};

// What is slept after an attempt that asked to retry.
class Pause {
 public:
  // No pause.
  static Pause none() { return Pause(Kind::none, py::handle(), 0); }
  // time.sleep(seconds) after every such attempt, the last one included.
  static Pause fixed(py::handle seconds) { return Pause(Kind::fixed, seconds, 0); }
  // time.sleep(seconds) between attempts: never after the last one.
  static Pause between(py::handle seconds) { return Pause(Kind::between, seconds, 0); }
  // time.sleep(per_pass * passes done): an int for a whole number of
  // seconds per pass, as `1 * retry_count` is, else a float.
  static Pause growing(double per_pass) { return Pause(Kind::growing, py::handle(), per_pass); }

  void after(const Count& count) const;

 private:
  enum class Kind { none, fixed, between, growing };
  Pause(Kind kind, py::handle seconds, double per_pass)
      : kind_(kind), seconds_(seconds), per_pass_(per_pass) {}
  Kind kind_;
  py::handle seconds_;
  double per_pass_;
};

// One attempt, as its body sees it.
struct Attempt {
  long long number;  // 0-based (or from the range's start)
  bool last;         // the count allows no attempt after this one
};

// Runs `attempt(Attempt)` (which returns a Next) until it says stop or the
// count runs out.  True when an attempt stopped the loop.
template <typename Body>
bool run(Count count, const Pause& pause, Body&& attempt) {
  while (count.allows_attempt()) {
    Next next = attempt(Attempt{count.number(), count.is_last()});
    if (next == Next::stop) return true;
    if (next == Next::retry) pause.after(count);
    count.advance();
  }
  return false;
}

}  // namespace kf::retry
