#include "frame/retry.h"

#include <cmath>

namespace kf::retry {

Count Count::while_below(py::handle limit) {
  Count count(Kind::below);
  count.limit_ = limit;
  return count;
}

Count Count::range(py::handle stop, long long start) {
  Count count(Kind::range);
  count.number_ = start;
  count.end_ = static_cast<long long>(range_count(stop));
  return count;
}

Count Count::period(py::handle maxtrial, py::handle interval) {
  Count count(Kind::period);
  count.limit_ = maxtrial;
  count.interval_ = interval;
  count.elapsed_ = int_of(0);
  if (lt(count.elapsed_, maxtrial) && le(interval, count.elapsed_)) {
    PyErr_Format(PyExc_ValueError,
                 "polling_interval must be positive (got %R): the wait would never end",
                 interval.ptr());
    throw py::error_already_set();
  }
  return count;
}

bool Count::allows_attempt() {
  check_signals();
  switch (kind_) {
    case Kind::below: return lt(int_of(number_), limit_);
    case Kind::range: return number_ < end_;
    case Kind::period: return lt(elapsed_, limit_);
  }
  return false;
}

bool Count::is_last() const {
  switch (kind_) {
    case Kind::below: return !lt(int_of(number_ + 1), limit_);
    case Kind::range: return number_ + 1 >= end_;
    case Kind::period: return !lt(add(elapsed_, interval_), limit_);
  }
  return true;
}

void Count::advance() {
  ++number_;
  if (kind_ == Kind::period) iadd(elapsed_, interval_);
}

void Pause::after(const Count& count) const {
  switch (kind_) {
    case Kind::none: return;
    case Kind::fixed: sleep(seconds_); return;
    case Kind::between:
      if (!count.is_last()) sleep(seconds_);
      return;
    case Kind::growing: {
      double passes_done = static_cast<double>(count.number() + 1);
      if (std::floor(per_pass_) == per_pass_)
        sleep(int_of(static_cast<long long>(per_pass_ * passes_done)));
      else
        sleep(per_pass_ * passes_done);
      return;
    }
  }
}

}  // namespace kf::retry
