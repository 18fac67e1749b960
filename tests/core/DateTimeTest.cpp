#include "core/DateTimeUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmaris::test {
namespace {

// Day numbers from an independent calendar (Python's datetime).
TEST(DateTimeTest, EncodeDateDayNumbers) {
  const struct {
    int y, m, d;
    double days;
    int dayOfWeek;  // 1 Sunday .. 7 Saturday
  } cases[] = {
      {1899, 12, 30, 0, 7},     {1899, 12, 29, -1, 6},      {1970, 1, 1, 25569, 5},
      {1900, 2, 28, 60, 4},     {1900, 3, 1, 61, 5},        {2000, 2, 29, 36585, 3},
      {1995, 11, 24, 35027, 6}, {2038, 1, 19, 50424, 3},    {1600, 2, 29, -109512, 3},
      {1, 1, 1, -693593, 2},    {9999, 12, 31, 2958465, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.m) + "-" + std::to_string(c.d));
    const TDateTime dt = EncodeDate(c.y, c.m, c.d);
    EXPECT_EQ(dt, c.days);
    EXPECT_EQ(DayOfWeek(dt), c.dayOfWeek);
    const auto p = DecodeDateTime(dt);
    EXPECT_EQ(p.Year, c.y);
    EXPECT_EQ(p.Month, c.m);
    EXPECT_EQ(p.Day, c.d);
    EXPECT_EQ(p.Hour + p.Minute + p.Second + p.MSec, 0);
  }
}

TEST(DateTimeTest, InvalidDatesAndTimes) {
  const int badDates[][3] = {{1900, 2, 29}, {2001, 2, 29}, {2000, 13, 1}, {2000, 0, 1},
                             {2000, 4, 31}, {0, 1, 1},     {10000, 1, 1}, {2000, 1, 0}};
  for (const auto& d : badDates) {
    TDateTime r = 42;
    EXPECT_FALSE(TryEncodeDate(d[0], d[1], d[2], r));
    EXPECT_EQ(r, 42);
    EXPECT_THROW(EncodeDate(d[0], d[1], d[2]), EDateTimeError);
  }
  EXPECT_THROW(EncodeTime(24, 0, 0), EDateTimeError);
  EXPECT_THROW(EncodeTime(0, 60, 0), EDateTimeError);
  EXPECT_THROW(EncodeTime(0, 0, 60), EDateTimeError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EDateTimeError);
  EXPECT_THROW(EncodeTime(-1, 0, 0), EDateTimeError);
  EXPECT_THROW(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), EDateTimeError);
  EXPECT_THROW(DecodeDateTime(3e6), EDateTimeError);
  EXPECT_THROW(DecodeDateTime(-7e5), EDateTimeError);
}

TEST(DateTimeTest, TimeOfDay) {
  EXPECT_EQ(EncodeTime(12, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0), 0.25);
  const auto p = DecodeDateTime(EncodeDateTime(1995, 11, 24, 23, 59, 58, 999));
  EXPECT_EQ(p.Year, 1995);
  EXPECT_EQ(p.Day, 24);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 58);
  EXPECT_EQ(p.MSec, 999);

  // Half a millisecond before midnight rounds into the next day.
  const auto q = DecodeDateTime(EncodeDate(1995, 12, 31) + 1.0 - 0.4 / 86400000.0);
  EXPECT_EQ(q.Year, 1996);
  EXPECT_EQ(q.Month, 1);
  EXPECT_EQ(q.Day, 1);
  EXPECT_EQ(q.Hour, 0);
}

TEST(DateTimeTest, DateTimeToUnix) {
  const struct {
    const char* name;
    TDateTime value;
    std::int32_t seconds;
  } cases[] = {
      {"epoch", EncodeDate(1970, 1, 1), 0},
      {"one day", EncodeDate(1970, 1, 2), 86400},
      {"1995-11-24 18:30:15", EncodeDateTime(1995, 11, 24, 18, 30, 15), 817237815},
      {"last second that fits", EncodeDateTime(2038, 1, 19, 3, 14, 7), 2147483647},
      {"first second that does not fit", EncodeDateTime(2038, 1, 19, 3, 14, 8), 0},
      {"first second", EncodeDateTime(1901, 12, 13, 20, 45, 52), -2147483647 - 1},
      {"before the first second", EncodeDateTime(1901, 12, 13, 20, 45, 51), 0},
      {"year 3000", EncodeDate(3000, 6, 1), 0},
      {"before 1970", EncodeDateTime(1969, 12, 31, 23, 59, 59), -1},
      // 1/256 day is exactly 337.5 seconds and 3/256 day 1012.5 seconds:
      // halves go to the even second.
      {"half up to even", kUnixDateDelta + 1.0 / 256, 338},
      {"half down to even", kUnixDateDelta + 3.0 / 256, 1012},
      {"below half", kUnixDateDelta + 0.4 / 86400, 0},
      {"above half", kUnixDateDelta + 0.6 / 86400, 1},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), 0},
      {"infinite", std::numeric_limits<double>::infinity(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DateTimeToUnix(c.value), c.seconds);
  }
}

TEST(DateTimeTest, UnixRoundTrip) {
  for (std::int64_t s = -2147483648LL; s <= 2147483647LL; s += 9876543) {
    const auto v = static_cast<std::int32_t>(s);
    ASSERT_EQ(DateTimeToUnix(UnixToDateTime(v)), v) << v;
  }
  for (std::int32_t v : {0, 1, -1, 59, 86399, 86400, 2147483647, -2147483647 - 1})
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(v)), v);
  EXPECT_EQ(UnixToDateTime(0), kUnixDateDelta);
  EXPECT_EQ(UnixToDateTime(43200), kUnixDateDelta + 0.5);
}

}  // namespace
}  // namespace velmaris::test
