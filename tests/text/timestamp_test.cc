// Tests of the millisecond timestamp at fixed local clocks.
#include "text/timestamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/fixed_clock.h"

namespace tavrel {
namespace {

using test_support::FixedClock;

// The local wall-clock time that lies `seconds` after 1970-01-01 08:00:00.
LocalTime WallClockAt(std::int64_t seconds, int millisecond) {
  const auto t = static_cast<std::time_t>(seconds + 8 * 3600);
  std::tm fields{};
  gmtime_r(&t, &fields);  // plain calendar arithmetic, no time zone involved
  return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
          fields.tm_min,         fields.tm_sec,     millisecond};
}

TEST(MillisecondTimestamp, AtFixedClocks) {
  const struct {
    const char* name;
    LocalTime time;
    const char* expected;
  } cases[] = {
      {"example", {2020, 4, 20, 8, 0, 0, 42}, "1587340800042"},
      {"ms 0", {2020, 4, 20, 8, 0, 0, 0}, "1587340800000"},
      {"ms 7", {2020, 4, 20, 8, 0, 0, 7}, "1587340800007"},
      {"ms 999", {2020, 4, 20, 8, 0, 0, 999}, "1587340800999"},
      {"the base", {1970, 1, 1, 8, 0, 0, 500}, "0500"},
      {"one second before the base", {1970, 1, 1, 7, 59, 59, 0}, "-1000"},
      {"local midnight of the base day", {1970, 1, 1, 0, 0, 0, 250}, "-28800250"},
      {"leap day", {2024, 2, 29, 8, 0, 0, 1}, "1709164800001"},
      {"after a leap day", {2000, 3, 1, 8, 0, 0, 0}, "951868800000"},
      {"century without leap day", {1900, 3, 1, 8, 0, 0, 0}, "-2203891200000"},
      {"first 13-character value", {2001, 9, 9, 9, 46, 40, 0}, "1000000000000"},
      {"last 12-character value", {2001, 9, 9, 9, 46, 39, 999}, "999999999999"},
      {"last 32-bit second", {2038, 1, 19, 11, 14, 7, 999}, "2147483647999"},
      // The count is 64-bit and keeps going past the 32-bit range.
      {"first second past 32 bits", {2038, 1, 19, 11, 14, 8, 0}, "2147483648000"},
      {"far future", {2286, 11, 21, 1, 46, 40, 0}, "10000000000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FixedClock clock(c.time);
    EXPECT_EQ(MillisecondTimestamp(), c.expected);
  }
}

TEST(MillisecondTimestamp, SecondsOnlyCutsToTenBytes) {
  {
    const FixedClock clock(LocalTime{2020, 4, 20, 8, 0, 0, 42});
    EXPECT_EQ(MillisecondTimestamp(true), "1587340800");
  }
  {
    const FixedClock clock(LocalTime{2001, 9, 9, 9, 46, 39, 999});
    EXPECT_EQ(MillisecondTimestamp(true), "9999999999");
  }
  {
    const FixedClock clock(LocalTime{1970, 1, 1, 8, 0, 0, 500});
    EXPECT_EQ(MillisecondTimestamp(true), "0500");
  }
}

TEST(MillisecondTimestamp, MillisecondsFromTheFirstReadingSecondsFromTheSecond) {
  std::vector<LocalTime> readings = {{2020, 4, 20, 8, 0, 0, 123}, {2020, 4, 20, 8, 0, 1, 999}};
  std::size_t calls = 0;
  const FixedClock clock(LocalClock([&] { return readings.at(calls++); }));
  EXPECT_EQ(MillisecondTimestamp(), "1587340801123");
  EXPECT_EQ(calls, 2u);
}

TEST(MillisecondTimestamp, MatchesCalendarArithmeticOverAWideRange) {
  std::mt19937_64 random(20200420);
  std::uniform_int_distribution<std::int64_t> seconds_dist(-(std::int64_t{1} << 34),
                                                           std::int64_t{1} << 35);
  std::uniform_int_distribution<int> ms_dist(0, 999);
  for (int i = 0; i < 2000; ++i) {
    const std::int64_t seconds = seconds_dist(random);
    const int ms = ms_dist(random);
    const FixedClock clock(WallClockAt(seconds, ms));
    std::string expected = std::to_string(seconds) + std::to_string(1000 + ms).substr(1);
    ASSERT_EQ(MillisecondTimestamp(), expected) << "seconds " << seconds;
  }
}

TEST(MillisecondTimestamp, ThirteenCharactersBetween2001And2038) {
  const std::int64_t first = 1000000000;
  const std::int64_t last = 2147483647;
  for (std::int64_t s = first; s <= last; s += (last - first) / 997) {
    for (const std::int64_t seconds : {s, last}) {
      const FixedClock clock(WallClockAt(seconds, 0));
      const Text stamp = MillisecondTimestamp();
      ASSERT_EQ(stamp.size(), 13u) << stamp;
      ASSERT_EQ(MillisecondTimestamp(true), std::to_string(seconds));
    }
  }
}

TEST(MillisecondTimestamp, ComputerClockIsLocalWallClockTime) {
  const FixedClock computer_clock(LocalClock{});  // the empty clock: the computer's own
  const std::time_t before = std::time(nullptr);
  const std::int64_t stamp = std::stoll(MillisecondTimestamp().str());
  std::tm local{};
  localtime_r(&before, &local);
  // Seconds since 1970-01-01 08:00:00 local are Unix seconds shifted by the
  // zone's offset from UTC+8.
  const std::int64_t expected = (std::int64_t{before} + local.tm_gmtoff - 8 * 3600) * 1000;
  EXPECT_NEAR(static_cast<double>(stamp), static_cast<double>(expected), 60000.0);

  const LocalTime now = SystemLocalTime();
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.millisecond, 0);
  EXPECT_LE(now.millisecond, 999);
}

}  // namespace
}  // namespace tavrel
