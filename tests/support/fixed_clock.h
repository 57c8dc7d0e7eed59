// tests/support/fixed_clock.h
//
// FixedClock: while it lives, MillisecondTimestamp() reads the given local
// time; the clock it replaced comes back when it goes.
//
//   FixedClock clock;  // 2020-04-20 08:00:00.042, i.e. "1587340800042"
#ifndef TAVREL_TESTS_SUPPORT_FIXED_CLOCK_H_
#define TAVREL_TESTS_SUPPORT_FIXED_CLOCK_H_

#include <utility>

#include "text/timestamp.h"

namespace tavrel::test_support {

// The local time the search tests run at, and the timestamp it gives.
inline constexpr LocalTime kSearchTime{
    .year = 2020, .month = 4, .day = 20, .hour = 8, .minute = 0, .second = 0, .millisecond = 42};
inline constexpr const char* kSearchTimestamp = "1587340800042";

class FixedClock {
 public:
  explicit FixedClock(LocalTime time = kSearchTime)
      : previous_(SetLocalClock([time] { return time; })) {}
  explicit FixedClock(LocalClock clock) : previous_(SetLocalClock(std::move(clock))) {}
  ~FixedClock() { SetLocalClock(std::move(previous_)); }
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

 private:
  LocalClock previous_;
};

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_SUPPORT_FIXED_CLOCK_H_
