// Date rules of the date controls (calendar, date edit, date dialog): calendar
// arithmetic, the tolerant reading of a date edit's text in the locale's date
// order, and the default format and edit mask for that order. Dates are
// TDateTime values (days since 1899-12-30); EmptyDate (0) means no date.
//
// The locale (short date format written with the letters D, M and Y, the date
// separator and the long month names) and the clock are process-wide and set
// on the user-interface thread only; tests replace both.
#pragma once

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/DateFormat.h"
#include "core/DateTimeUtil.h"

namespace velmaris {

inline constexpr TDateTime EmptyDate = 0.0;

// The year window of ExpandTwoDigitYear.
inline constexpr int TwoDigitYearWindow = 30;

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DateLocale {
  std::string shortFormat = "dd/MM/yyyy";  // letters D, M, Y in either case
  char separator = '/';
  std::array<std::string, 12> longMonthNames;
  // The calendar's column heads; index 0 is Sunday.
  std::array<std::string, 7> shortDayNames = {kRussianShortDayNames[0], kRussianShortDayNames[1],
                                              kRussianShortDayNames[2], kRussianShortDayNames[3],
                                              kRussianShortDayNames[4], kRussianShortDayNames[5],
                                              kRussianShortDayNames[6]};
};

// The current locale; the first call reads it from LC_TIME.
const DateLocale& CurrentDateLocale();
void SetDateLocale(DateLocale locale);
// The locale of LC_TIME: its date format, its first separator character, its
// month names and its short day names. Where LC_TIME is no locale of its own
// (C, POSIX), the program's own: kProgramDateFormat and the Russian names.
DateLocale SystemDateLocale();

// The clock that "today" and "this year" come from (Now() by default);
// an empty function restores the default.
void SetDateClock(std::function<TDateTime()> clock);
TDateTime NowDateTime();
TDateTime Today();  // the whole day of NowDateTime()
int ThisYear();

bool LeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12
bool IsValidYMD(int year, int month, int day);
bool IsValidDateValue(TDateTime value);
// Day, month and year of a date; false when it cannot be split.
bool SplitDate(TDateTime value, int& year, int& month, int& day);

// 0 month first, 1 day first, 2 year first (see GetDateOrder).
int DateOrder(std::string_view format);
// A two-digit year into the century that the window around this year picks.
int ExpandTwoDigitYear(int year);
int ExpandTwoDigitYear(int year, int thisYear);
// The first long month name whose first n characters equal the text's first
// n (ASCII letters compared without case); 0 when none.
int MonthByName(std::string_view text, size_t n);

// Reads one field of a text laid out as the format: see the .cpp.
void ExtractDateField(std::string_view format, std::string_view text, char letter, int count,
                      int& value, int blank, int def);
// By the format's positions first, then by separators in the format's order.
bool ParseDateByFormat(std::string_view format, std::string_view text, int& day, int& month,
                       int& year);
// "n1 sep n2 [sep n3]" from the 0-based pos; pos ends after what was read.
bool ParseDateBySeparators(std::string_view text, std::string_view format, size_t& pos, int& year,
                           int& month, int& day);

bool TryTextToDate(std::string_view format, std::string_view text, TDateTime& date);
// Raises EConvertError "''text'' is not a valid date".
TDateTime TextToDate(std::string_view format, std::string_view text);
// The default's whole day when the text is no date.
TDateTime TextToDateDef(std::string_view format, std::string_view text, TDateTime def);

// "MM/DD/YYYY", "DD/MM/YYYY", "YYYY/MM/DD" (two-digit forms with "YY") by the
// locale's date order; "/" stands for the locale's separator on output.
std::string DefaultDateFormat(bool fourDigitYear);
std::string DefaultDateFormatFor(int order, bool fourDigitYear);
// The edit mask ("!99/99/9999;1;" and the blanks character) for the order.
std::string DefaultDateMask(char blanks, bool fourDigitYear);
std::string DefaultDateMaskFor(int order, char blanks, bool fourDigitYear);
// Whether the locale's short date format writes four-digit years.
bool FourDigitYearFormat();

// The date written by a pattern of DD, MM, YY and YYYY, "/" becoming the
// separator; an invalid date gives an empty text.
std::string FormatDateByPattern(TDateTime date, std::string_view pattern, char separator);
// True when the text holds nothing but blanks, the separator and the blanks
// character (an untouched masked date edit).
bool IsBlankDateText(std::string_view text, char separator, char blanks);

}  // namespace velmaris
