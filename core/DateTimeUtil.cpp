#include "core/DateTimeUtil.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace velmaris {
namespace {

constexpr double kSecsPerDay = 86400.0;
constexpr std::int64_t kMSecsPerDay = 86400000;

// Days from 1899-12-30 to 0001-01-01 and to 9999-12-31.
constexpr std::int64_t kFirstDay = -693593;
constexpr std::int64_t kLastDay = 2958465;

std::int64_t DaysFromCivil(int y, int m, int d) {
  using namespace std::chrono;
  const sys_days sd{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
  return sd.time_since_epoch().count() + static_cast<std::int64_t>(kUnixDateDelta);
}

double RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double diff = v - f;
  if (diff > 0.5) return f + 1;
  if (diff < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1;
}

}  // namespace

std::int32_t DateTimeToUnix(TDateTime value) {
  const double seconds = (value - kUnixDateDelta) * kSecsPerDay;
  if (!std::isfinite(seconds)) return 0;
  const double r = RoundHalfEven(seconds);
  if (r < -2147483648.0 || r > 2147483647.0) return 0;
  return static_cast<std::int32_t>(r);
}

TDateTime UnixToDateTime(std::int32_t seconds) { return kUnixDateDelta + seconds / kSecsPerDay; }

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const std::chrono::year_month_day ymd{std::chrono::year{year},
                                        std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  if (!ymd.ok()) return false;
  result = static_cast<double>(DaysFromCivil(year, month, day));
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  const std::int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000LL + msec;
  result = static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r))
    throw EDateTimeError("Invalid date " + std::to_string(year) + "-" + std::to_string(month) +
                         "-" + std::to_string(day));
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, minute, second, msec, r))
    throw EDateTimeError("Invalid time " + std::to_string(hour) + ":" + std::to_string(minute) +
                         ":" + std::to_string(second) + "." + std::to_string(msec));
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  const TDateTime date = EncodeDate(year, month, day);
  const TDateTime time = EncodeTime(hour, minute, second, msec);
  // Before 1899-12-30 the time counts forward from midnight of a negative day.
  return date < 0 ? date - time : date + time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value) || value < kFirstDay - 1 || value > kLastDay + 1)
    throw EDateTimeError("Invalid date-time value");
  double whole;
  const double frac = std::modf(value, &whole);
  auto dayNumber = static_cast<std::int64_t>(whole);
  auto ms = static_cast<std::int64_t>(std::llround(std::fabs(frac) * kMSecsPerDay));
  if (ms >= kMSecsPerDay) {
    ms -= kMSecsPerDay;
    ++dayNumber;
  }
  if (dayNumber < kFirstDay || dayNumber > kLastDay)
    throw EDateTimeError("Invalid date-time value");

  using namespace std::chrono;
  const year_month_day ymd{sys_days{days{dayNumber - static_cast<std::int64_t>(kUnixDateDelta)}}};
  TDateTimeParts p;
  p.Year = static_cast<int>(ymd.year());
  p.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  p.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  p.MSec = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.Second = static_cast<int>(ms % 60);
  ms /= 60;
  p.Minute = static_cast<int>(ms % 60);
  p.Hour = static_cast<int>(ms / 60);
  return p;
}

int DayOfWeek(TDateTime value) {
  const auto days = static_cast<std::int64_t>(std::trunc(value));
  // 1899-12-30 was a Saturday.
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
}

std::string LogTimeStamp(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d.%02d.%02d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year % 100, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return stamp;
}

}  // namespace velmaris
