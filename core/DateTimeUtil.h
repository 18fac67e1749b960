#pragma once
// Date-times as floating-point days: the whole part counts days since
// 1899-12-30, the fraction is the time of day. No time zone is applied
// anywhere: the message base keeps local time counted as if it were UTC.
//
// Before 1899-12-30 the whole part is negative and the fraction still counts
// forward from midnight: -1.25 is 1899-12-29 06:00.

#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>

namespace velmaris {

using TDateTime = double;

// 1970-01-01 as a TDateTime.
inline constexpr TDateTime kUnixDateDelta = 25569.0;

// A date or time that does not exist (month 13, 25:00, year 0) or a TDateTime
// outside the years 1 to 9999.
class EDateTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Seconds since 1970-01-01 00:00:00, rounded to the nearest second (a half
// second to the even one); 0 when the result does not fit into 32 bits or
// the value is not a number.
std::int32_t DateTimeToUnix(TDateTime value);

// 1970-01-01 plus seconds / 86400 days.
TDateTime UnixToDateTime(std::int32_t seconds);

// Years 1 to 9999. Throw EDateTimeError for dates and times that do not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int msec = 0);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

// Splits a date-time, rounded to the millisecond. Throws EDateTimeError
// outside the years 1 to 9999 or for a value that is not a number.
TDateTimeParts DecodeDateTime(TDateTime value);

// 1 for Sunday to 7 for Saturday.
int DayOfWeek(TDateTime value);

// The local wall-clock time now.
TDateTime Now();

// "dd.mm.yy hh:mm:ss" of the local time `when`, the stamp that begins the
// lines of the run logs.
std::string LogTimeStamp(std::time_t when);

}  // namespace velmaris
