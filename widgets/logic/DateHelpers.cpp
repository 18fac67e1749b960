#include "widgets/logic/DateHelpers.h"

#include <langinfo.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "core/DateFormat.h"
#include "platform/Ascii.h"

namespace velmaris {

namespace {

constexpr int kDaysOfMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

std::optional<DateLocale>& LocaleSlot() {
  static std::optional<DateLocale> locale;
  return locale;
}

std::function<TDateTime()>& ClockSlot() {
  static std::function<TDateTime()> clock;
  return clock;
}

using platform::AsciiUpper;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Decimal integer with an optional sign; nothing for anything else.
std::optional<int> ToInt(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  long value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + (s[i] - '0');
    if (value > 99999999) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

// The reading primitives of the separator path; each skips blanks first.
void SkipSpaces(std::string_view text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
}

bool ReadNumber(std::string_view text, size_t& pos, int& number) {
  SkipSpaces(text, pos);
  size_t p = pos;
  int value = 0;
  // At most four digits: the value stops growing once it reaches 1000.
  while (p < text.size() && text[p] >= '0' && text[p] <= '9' && value < 1000) {
    value = value * 10 + (text[p] - '0');
    ++p;
  }
  if (p == pos) return false;
  pos = p;
  number = value;
  return true;
}

bool ReadChar(std::string_view text, size_t& pos, char c) {
  SkipSpaces(text, pos);
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

void AppendNumber(std::string& out, int value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", digits, value);
  out += buf;
}

}  // namespace

DateLocale SystemDateLocale() {
  DateLocale locale;
  const bool own = HasOwnTimeLocale();
  locale.shortFormat = own ? LocaleShortDateFormat() : std::string(kProgramDateFormat);
  if (locale.shortFormat.empty()) locale.shortFormat = kProgramDateFormat;
  for (char c : locale.shortFormat) {
    if (!IsLetter(c) && c != ' ') {
      locale.separator = c;
      break;
    }
  }
  const auto name = [own](nl_item item, const char* program) {
    const char* text = own ? nl_langinfo(item) : program;
    return std::string(text ? text : "");
  };
  for (int i = 0; i < 12; ++i)
    locale.longMonthNames[i] = name(static_cast<nl_item>(MON_1 + i), kRussianMonthNames[i]);
  for (int i = 0; i < 7; ++i)
    locale.shortDayNames[i] = name(static_cast<nl_item>(ABDAY_1 + i), kRussianShortDayNames[i]);
  return locale;
}

const DateLocale& CurrentDateLocale() {
  auto& slot = LocaleSlot();
  if (!slot) slot = SystemDateLocale();
  return *slot;
}

void SetDateLocale(DateLocale locale) { LocaleSlot() = std::move(locale); }

void SetDateClock(std::function<TDateTime()> clock) { ClockSlot() = std::move(clock); }

TDateTime NowDateTime() { return ClockSlot() ? ClockSlot()() : Now(); }

TDateTime Today() { return std::floor(NowDateTime()); }

int ThisYear() {
  int y = 0, m = 0, d = 0;
  return SplitDate(NowDateTime(), y, m, d) ? y : 2000;
}

bool LeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kDaysOfMonth[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
}

bool IsValidYMD(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

bool SplitDate(TDateTime value, int& year, int& month, int& day) {
  try {
    const TDateTimeParts parts = DecodeDateTime(value);
    year = parts.Year;
    month = parts.Month;
    day = parts.Day;
    return true;
  } catch (const EDateTimeError&) {
    return false;
  }
}

bool IsValidDateValue(TDateTime value) {
  int y = 0, m = 0, d = 0;
  return SplitDate(value, y, m, d) && IsValidYMD(y, m, d);
}

int DateOrder(std::string_view format) { return GetDateOrder(format); }

int ExpandTwoDigitYear(int year) { return ExpandTwoDigitYear(year, ThisYear()); }

int ExpandTwoDigitYear(int year, int thisYear) {
  if (year >= 100) return year;
  int century = thisYear - thisYear % 100;
  const int rest = thisYear - century;
  if (rest + TwoDigitYearWindow - 100 >= year) century += 100;
  return year + century;
}

int MonthByName(std::string_view text, size_t n) {
  if (text.empty()) return 0;
  const auto& names = CurrentDateLocale().longMonthNames;
  for (int i = 0; i < 12; ++i) {
    const std::string& name = names[i];
    if (name.empty()) continue;
    bool same = true;
    for (size_t k = 0; k < n && same; ++k) {
      const char a = k < text.size() ? AsciiUpper(text[k]) : '\0';
      const char b = k < name.size() ? AsciiUpper(name[k]) : '\0';
      same = a == b;
    }
    if (same) return i + 1;
  }
  return 0;
}

// A field of a text that follows the format position by position: the
// characters of the text under the format's run of `letter` (found as
// `count` copies of it), blanks left out. A text longer than the format is
// not read; a text shorter than it is read as far as it goes.
void ExtractDateField(std::string_view format, std::string_view text, char letter, int count,
                      int& value, int blank, int def) {
  value = def;
  letter = AsciiUpper(letter);
  if (text.size() > format.size()) return;
  const size_t limit = text.size();
  const std::string upper = platform::UpperAscii(format);
  size_t j = upper.find(std::string(static_cast<size_t>(count), letter));
  if (j == std::string::npos) return;
  std::string collected;
  for (; j < limit && upper[j] == letter && collected.size() < 20; ++j) {
    if (text[j] != ' ') collected.push_back(text[j]);
  }
  if (collected.empty()) {
    value = blank;
  } else if (count < 2) {
    value = ToInt(collected).value_or(-1);
  } else {
    value = MonthByName(collected, collected.size());
    if (value == 0) value = -1;
  }
}

bool ParseDateBySeparators(std::string_view text, std::string_view format, size_t& pos, int& year,
                           int& month, int& day) {
  year = month = day = 0;
  const int order = DateOrder(format);
  const char sep = CurrentDateLocale().separator;
  int n1 = 0, n2 = 0, n3 = 0;
  if (!ReadNumber(text, pos, n1) || !ReadChar(text, pos, sep) || !ReadNumber(text, pos, n2)) {
    return false;
  }
  if (ReadChar(text, pos, sep)) {
    if (!ReadNumber(text, pos, n3)) return false;
    switch (order) {
      case 0:
        month = n1;
        day = n2;
        year = n3;
        break;
      case 2:
        year = n1;
        month = n2;
        day = n3;
        break;
      default:
        day = n1;
        month = n2;
        year = n3;
        break;
    }
    year = ExpandTwoDigitYear(year);
  } else {
    year = ThisYear();
    if (order == 1) {
      day = n1;
      month = n2;
    } else {
      month = n1;
      day = n2;
    }
  }
  ReadChar(text, pos, sep);
  SkipSpaces(text, pos);
  return IsValidYMD(year, month, day) && pos >= text.size();
}

bool ParseDateByFormat(std::string_view format, std::string_view text, int& day, int& month,
                       int& year) {
  ExtractDateField(format, text, 'm', 3, month, -1, 0);
  if (month == 0) ExtractDateField(format, text, 'm', 1, month, -1, 0);
  ExtractDateField(format, text, 'd', 1, day, -1, 1);
  ExtractDateField(format, text, 'y', 1, year, -1, ThisYear());
  year = ExpandTwoDigitYear(year);
  if (IsValidYMD(year, month, day)) return true;
  size_t pos = 0;
  return ParseDateBySeparators(text, format, pos, year, month, day);
}

bool TryTextToDate(std::string_view format, std::string_view text, TDateTime& date) {
  if (text.empty()) {
    date = EmptyDate;
    return true;
  }
  int day = 0, month = 0, year = 0;
  if (!ParseDateByFormat(format, text, day, month, year)) return false;
  return TryEncodeDate(year, month, day, date);
}

TDateTime TextToDate(std::string_view format, std::string_view text) {
  TDateTime date = EmptyDate;
  if (!TryTextToDate(format, text, date)) {
    throw EConvertError("''" + std::string(text) + "'' is not a valid date");
  }
  return date;
}

TDateTime TextToDateDef(std::string_view format, std::string_view text, TDateTime def) {
  TDateTime date = EmptyDate;
  return TryTextToDate(format, text, date) ? date : std::trunc(def);
}

std::string DefaultDateFormatFor(int order, bool fourDigitYear) {
  std::string pattern = DatePatternForOrder(order);
  if (!fourDigitYear) pattern.erase(pattern.find("YYYY"), 2);
  return pattern;
}

std::string DefaultDateFormat(bool fourDigitYear) {
  return DefaultDateFormatFor(DateOrder(CurrentDateLocale().shortFormat), fourDigitYear);
}

std::string DefaultDateMaskFor(int order, char blanks, bool fourDigitYear) {
  std::string mask;
  if (!fourDigitYear) {
    mask = "!99/99/99;1;";
  } else {
    mask = order == 2 ? "!9999/99/99;1;" : "!99/99/9999;1;";
  }
  mask.push_back(blanks);
  return mask;
}

std::string DefaultDateMask(char blanks, bool fourDigitYear) {
  return DefaultDateMaskFor(DateOrder(CurrentDateLocale().shortFormat), blanks, fourDigitYear);
}

bool FourDigitYearFormat() {
  const std::string upper = platform::UpperAscii(CurrentDateLocale().shortFormat);
  return upper.find("YYYY") != std::string::npos;
}

std::string FormatDateByPattern(TDateTime date, std::string_view pattern, char separator) {
  int year = 0, month = 0, day = 0;
  if (!SplitDate(date, year, month, day)) return {};
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = AsciiUpper(pattern[i]);
    size_t run = 1;
    while (i + run < pattern.size() && AsciiUpper(pattern[i + run]) == c) ++run;
    switch (c) {
      case 'D': AppendNumber(out, day, 2); break;
      case 'M': AppendNumber(out, month, 2); break;
      case 'Y': AppendNumber(out, run >= 4 ? year : year % 100, run >= 4 ? 4 : 2); break;
      case '/': out.append(run, separator); break;
      default: out.append(pattern.substr(i, run)); break;
    }
    i += run;
  }
  return out;
}

bool IsBlankDateText(std::string_view text, char separator, char blanks) {
  for (char c : text) {
    if (c != ' ' && c != separator && c != blanks) return false;
  }
  return true;
}

}  // namespace velmaris
