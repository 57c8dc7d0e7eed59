// text/timestamp.h
//
// The millisecond timestamp of the first service's upload address: whole
// seconds since the local wall-clock time 1970-01-01 08:00:00, then three
// digits of milliseconds. On a clock at UTC+8 this is the Unix time in ms.
//
//   at local 2020-04-20 08:00:00.042:  MillisecondTimestamp() == "1587340800042"
#ifndef TAVREL_TEXT_TIMESTAMP_H_
#define TAVREL_TEXT_TIMESTAMP_H_

#include <functional>

#include "text/text.h"

namespace tavrel {

// A local wall-clock reading, as the calendar shows it (no time zone).
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // 0..999
};

using LocalClock = std::function<LocalTime()>;

// The computer's local time.
[[nodiscard]] LocalTime SystemLocalTime();

// Replaces the clock that MillisecondTimestamp() reads (an empty function
// restores the computer's clock) and returns the one it replaces. For tests.
LocalClock SetLocalClock(LocalClock clock);

// Reads the clock twice, first for the milliseconds, then for the date and
// time to the second. The seconds count is 64-bit, so it keeps counting past
// 2038-01-19. With `seconds_only`, the result is cut to its first 10 bytes.
[[nodiscard]] Text MillisecondTimestamp(bool seconds_only = false);

}  // namespace tavrel

#endif  // TAVREL_TEXT_TIMESTAMP_H_
