// text/timestamp.cc
#include "text/timestamp.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>

namespace tavrel {
namespace {

std::mutex& ClockMutex() {
  static std::mutex mutex;
  return mutex;
}

LocalClock& CurrentClock() {
  static LocalClock clock;
  return clock;
}

LocalTime ReadClock() {
  LocalClock clock;
  {
    const std::lock_guard<std::mutex> lock(ClockMutex());
    clock = CurrentClock();
  }
  return clock ? clock() : SystemLocalTime();
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(2000, 3, 1) == 11017);

// Seconds from the local wall-clock time 1970-01-01 08:00:00, as calendar
// arithmetic on the fields (no time zone is involved).
std::int64_t SecondsSinceBase(const LocalTime& t) {
  // Months outside 1..12 are carried into the year so the day count stays sane.
  std::int64_t year = t.year;
  std::int64_t month = t.month - 1;
  year += month >= 0 ? month / 12 : (month - 11) / 12;
  month = (month % 12 + 12) % 12 + 1;
  const std::int64_t days = DaysFromCivil(year, month, t.day);
  return days * 86400 + std::int64_t{t.hour} * 3600 + std::int64_t{t.minute} * 60 + t.second -
         8 * 3600;
}

}  // namespace

LocalTime SystemLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  LocalTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  // A leap second shows as 60; keep the count monotonic by staying at 59.
  t.second = std::min(local.tm_sec, 59);
  t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return t;
}

LocalClock SetLocalClock(LocalClock clock) {
  const std::lock_guard<std::mutex> lock(ClockMutex());
  return std::exchange(CurrentClock(), std::move(clock));
}

Text MillisecondTimestamp(bool seconds_only) {
  const int ms = std::clamp(ReadClock().millisecond, 0, 999);
  const std::int64_t seconds = SecondsSinceBase(ReadClock());

  std::string out = std::to_string(seconds);
  const char digits[3] = {static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
                          static_cast<char>('0' + ms % 10)};
  out.append(digits, 3);
  if (seconds_only && out.size() > 10) out.resize(10);
  return Text(std::move(out));
}

}  // namespace tavrel
