// The short date pattern of the program. At start-up it follows the order of
// day, month and year in the locale's date format; the main window later
// fixes the pattern used for message dates.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

// Which of day, month and year comes first in a date format written with
// the letters D, M and Y (either case, e.g. "dd.MM.yyyy"): 0 month, 1 day,
// 2 year. A format with none of them gives 1.
int GetDateOrder(std::string_view format);

// The pattern for an order: 0 "MM/DD/YYYY", 1 "DD/MM/YYYY", 2 "YYYY/MM/DD";
// any other value gives the day-first pattern.
const char* DatePatternForOrder(int order);

// A POSIX date format (strftime conversions, as nl_langinfo(D_FMT) gives it)
// written with the letters d, M and y: "%d.%m.%Y" becomes "dd.MM.yyyy".
// Other conversions and literal letters are left out, so that only the
// fields' letters remain.
std::string DateLettersFromPosix(std::string_view posixFormat);

// The date format of the current LC_TIME locale, written with letters.
std::string LocaleShortDateFormat();

// The program's own date form, the one message lists and logs show
// ("08.12.26"), and the Russian names its forms use: what the date controls
// follow where the system has no locale of its own.
inline constexpr const char* kProgramDateFormat = "dd.mm.yy";
// "Январь" to "Декабрь" (UTF-8); index 0 is January.
extern const char* const kRussianMonthNames[12];
// "Вс" to "Сб" (UTF-8); index 0 is Sunday.
extern const char* const kRussianShortDayNames[7];
// Whether LC_TIME names a locale of its own: false for the C and POSIX
// locales ("C", "POSIX", "C.UTF-8"), as with LANG unset or LANG=C.
bool HasOwnTimeLocale();

// Sets the short date pattern from the current locale's date format, or
// from the given format written with letters. Returns the pattern chosen.
std::string InitDateFormat();
std::string InitDateFormat(std::string_view format);

// The current short date pattern ("DD/MM/YYYY" until initialised) and its
// replacement (the main window sets kProgramDateFormat). Thread-safe.
std::string ShortDateFormat();
void SetShortDateFormat(std::string pattern);

}  // namespace velmaris
