// Reading and writing dates in the three date orders, the two-digit year
// window, the calendar grid and its month and year steps.
#include <gtest/gtest.h>

#include <clocale>

#include "widgets/logic/CalendarMath.h"
#include "widgets/logic/DateHelpers.h"

namespace velmaris::test {
namespace {

DateLocale Locale(const char* format, char sep) {
  DateLocale l;
  l.shortFormat = format;
  l.separator = sep;
  l.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  return l;
}

// Fixes the locale and "today" for one test.
struct DateEnv {
  DateEnv(const char* format, char sep, int year = 2026) {
    SetDateLocale(Locale(format, sep));
    const TDateTime today = EncodeDate(year, 6, 15) + 0.5;
    SetDateClock([today] { return today; });
  }
  ~DateEnv() {
    SetDateClock({});
    SetDateLocale(Locale("dd/MM/yyyy", '/'));
  }
};

struct ParseCase {
  const char* name;
  const char* localeFormat;
  char sep;
  int thisYear;
  const char* text;
  int y, m, d;  // y == 0: not a date
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, ReadsTheLocalesOrder) {
  const ParseCase& c = GetParam();
  DateEnv env(c.localeFormat, c.sep, c.thisYear);
  const std::string format = DefaultDateFormat(true);
  TDateTime date = -1;
  const bool ok = TryTextToDate(format, c.text, date);
  if (c.y == 0) {
    EXPECT_FALSE(ok);
    EXPECT_THROW(TextToDate(format, c.text), EConvertError);
    return;
  }
  ASSERT_TRUE(ok);
  EXPECT_EQ(date, EncodeDate(c.y, c.m, c.d));
  EXPECT_EQ(FormatDateByPattern(date, format, c.sep).empty(), false);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, Parse,
    ::testing::Values(
        // Day first, "." separator.
        ParseCase{"DmyByPosition", "dd.MM.yyyy", '.', 2026, "05.03.1998", 1998, 3, 5},
        ParseCase{"DmyShortCurrentYear", "dd.MM.yyyy", '.', 2026, "5.3", 2026, 3, 5},
        ParseCase{"DmyTwoDigit1998", "dd.MM.yyyy", '.', 1998, "05.03.98", 1998, 3, 5},
        ParseCase{"DmyTwoDigitIn2026", "dd.MM.yyyy", '.', 2026, "05.03.98", 2098, 3, 5},
        ParseCase{"DmyYear05In1998", "dd.MM.yyyy", '.', 1998, "05.03.05", 2005, 3, 5},
        ParseCase{"DmyYear05In2026", "dd.MM.yyyy", '.', 2026, "05.03.05", 2005, 3, 5},
        ParseCase{"DmyBlanksInMask", "dd.MM.yyyy", '.', 2026, " 5. 3.1999", 1999, 3, 5},
        ParseCase{"DmyNoSuchDay", "dd.MM.yyyy", '.', 2026, "31.02.1999", 0, 0, 0},
        ParseCase{"DmyLeftOver", "dd.MM.yyyy", '.', 2026, "5.3.1999 x", 0, 0, 0},
        ParseCase{"DmyBlankMask", "dd.MM.yyyy", '.', 2026, "  .  .    ", 0, 0, 0},
        ParseCase{"DmyWrongSeparator", "dd.MM.yyyy", '.', 2026, "5/3", 0, 0, 0},
        // Month first, "/" separator.
        ParseCase{"MdyByPosition", "MM/dd/yyyy", '/', 2026, "03/05/1998", 1998, 3, 5},
        ParseCase{"MdyShort", "MM/dd/yyyy", '/', 2026, "3/5", 2026, 3, 5},
        ParseCase{"MdyFull", "MM/dd/yyyy", '/', 2026, "12/31/2024", 2024, 12, 31},
        ParseCase{"MdyMonth13", "MM/dd/yyyy", '/', 2026, "13/01/2024", 0, 0, 0},
        // Year first, "-" separator; a short text is month then day.
        ParseCase{"YmdByPosition", "yyyy-MM-dd", '-', 2026, "1998-03-05", 1998, 3, 5},
        ParseCase{"YmdShort", "yyyy-MM-dd", '-', 2026, "3-5", 2026, 3, 5},
        ParseCase{"YmdFree", "yyyy-MM-dd", '-', 2026, "2000-2-29", 2000, 2, 29},
        ParseCase{"YmdNoLeapDay", "yyyy-MM-dd", '-', 2026, "1900-02-29", 0, 0, 0},
        ParseCase{"FiveDigitsStopAtFour", "yyyy-MM-dd", '-', 2026, "12345-1-1", 0, 0, 0}),
    [](const auto& info) { return info.param.name; });

TEST(DateHelpers, FormatAndMaskFollowTheOrder) {
  struct Case {
    const char* localeFormat;
    char sep;
    const char* format4;
    const char* mask4;
    const char* text;  // 5 March 1998
  };
  for (const Case& c : {Case{"MM/dd/yyyy", '/', "MM/DD/YYYY", "!99/99/9999;1; ", "03/05/1998"},
                        Case{"dd.MM.yyyy", '.', "DD/MM/YYYY", "!99/99/9999;1; ", "05.03.1998"},
                        Case{"yyyy-MM-dd", '-', "YYYY/MM/DD", "!9999/99/99;1; ", "1998-03-05"}}) {
    DateEnv env(c.localeFormat, c.sep);
    EXPECT_EQ(DefaultDateFormat(true), c.format4);
    EXPECT_EQ(DefaultDateMask(' ', true), c.mask4);
    EXPECT_EQ(DefaultDateMask('_', false), "!99/99/99;1;_");
    EXPECT_EQ(FormatDateByPattern(EncodeDate(1998, 3, 5), DefaultDateFormat(true), c.sep), c.text);
    EXPECT_TRUE(FourDigitYearFormat());
  }
  DateEnv env("M/d/yy", '/');
  EXPECT_FALSE(FourDigitYearFormat());
  EXPECT_EQ(DefaultDateFormat(false), "MM/DD/YY");
  EXPECT_EQ(FormatDateByPattern(EncodeDate(2005, 3, 5), "MM/DD/YY", '/'), "03/05/05");
}

// Where the system has no locale of its own (LANG unset or C), the date
// controls write dates as the rest of the program does, 08.12.26, with
// Russian month and day names.
class NoOwnLocale : public ::testing::TestWithParam<const char*> {};

TEST_P(NoOwnLocale, TakesTheProgramsOwnForm) {
  const std::string old = std::setlocale(LC_TIME, nullptr);
  ASSERT_NE(std::setlocale(LC_TIME, GetParam()), nullptr);
  const DateLocale system = SystemDateLocale();
  std::setlocale(LC_TIME, old.c_str());
  DateEnv env("dd/MM/yyyy", '/');
  SetDateLocale(system);
  EXPECT_EQ(system.separator, '.');
  EXPECT_FALSE(FourDigitYearFormat());
  EXPECT_EQ(DefaultDateFormat(false), "DD/MM/YY");
  EXPECT_EQ(FormatDateByPattern(EncodeDate(2026, 12, 8), DefaultDateFormat(false), '.'),
            "08.12.26");
  EXPECT_EQ(system.longMonthNames[0], "Январь");
  EXPECT_EQ(system.longMonthNames[11], "Декабрь");
  EXPECT_EQ(system.shortDayNames[0], "Вс");
  EXPECT_EQ(system.shortDayNames[1], "Пн");
}

INSTANTIATE_TEST_SUITE_P(DateHelpers, NoOwnLocale, ::testing::Values("C", "POSIX", "C.UTF-8"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '.' || c == '-') c = '_';
                           return name;
                         });

TEST(DateHelpers, CalendarRules) {
  EXPECT_FALSE(LeapYear(1900));
  EXPECT_TRUE(LeapYear(2000));
  EXPECT_TRUE(LeapYear(1996));
  EXPECT_FALSE(IsValidYMD(0, 1, 1));
  EXPECT_TRUE(IsValidYMD(9999, 12, 31));
  EXPECT_FALSE(IsValidYMD(10000, 1, 1));
  EXPECT_EQ(DateOrder(""), 1);
  EXPECT_EQ(DateOrder("yyyy-mm-dd"), 2);
  // 1998: 0..28 land in the 2000s, 29..99 in the 1900s; negative years too.
  EXPECT_EQ(ExpandTwoDigitYear(28, 1998), 2028);
  EXPECT_EQ(ExpandTwoDigitYear(29, 1998), 1929);
  EXPECT_EQ(ExpandTwoDigitYear(150, 1998), 150);
  EXPECT_EQ(ExpandTwoDigitYear(-1, 2026), 1999);
  DateEnv env("dd.MM.yyyy", '.');
  EXPECT_EQ(MonthByName("mar", 3), 3);
  EXPECT_EQ(MonthByName("ju", 2), 6);
  EXPECT_EQ(MonthByName("", 0), 0);
  TDateTime date = -1;
  EXPECT_TRUE(TryTextToDate("DD/MM/YYYY", "", date));
  EXPECT_EQ(date, EmptyDate);
  EXPECT_EQ(TextToDateDef("DD/MM/YYYY", "nonsense", 2.75), 2.0);
  // A month written as a name where the format says MMM.
  EXPECT_TRUE(TryTextToDate("DD-MMM-YYYY", "05-Mar-1998", date));
  EXPECT_EQ(date, EncodeDate(1998, 3, 5));
  EXPECT_THROW(TextToDate("DD/MM/YYYY", "32.1"), EConvertError);
}

TEST(CalendarMath, GridPlacesTheFirstAtItsWeekday) {
  // June 2025 begins on a Sunday, September 2025 on a Monday.
  const int sundayStart = CalendarMonthOffset(2025, 6, 1);  // weeks from Monday
  int col = -1, row = -1;
  CalendarCellOfDay(1, sundayStart, col, row);
  EXPECT_EQ(col, 6);
  EXPECT_EQ(row, 1);
  CalendarCellOfDay(2, sundayStart, col, row);
  EXPECT_EQ(col, 0);
  EXPECT_EQ(row, 2);
  const int mondayStart = CalendarMonthOffset(2025, 9, 1);
  EXPECT_EQ(mondayStart, 1);
  EXPECT_EQ(CalendarDayOfCell(0, 1, mondayStart, 30), 1);
  EXPECT_EQ(CalendarDayOfCell(6, 6, mondayStart, 30), 0);  // past the month's end
  EXPECT_EQ(CalendarDayOfCell(3, 0, mondayStart, 30), 0);  // header row
  EXPECT_EQ(CalendarWeekdayOfColumn(6, 1), 0);
}

TEST(CalendarMath, MonthAndYearSteps) {
  struct Case {
    int y, m, d, months, years;
    int ey, em, ed;
  };
  for (const Case& c :
       {Case{2025, 1, 31, 1, 0, 2025, 2, 28}, Case{2024, 1, 31, 1, 0, 2024, 2, 29},
        Case{2025, 3, 31, -1, 0, 2025, 2, 28}, Case{2025, 3, 15, -1, 0, 2025, 2, 15},
        Case{2025, 12, 10, 1, 0, 2026, 1, 10}, Case{2000, 2, 29, 0, 1, 2001, 2, 28},
        Case{2000, 2, 29, 0, -4, 1996, 2, 28}}) {
    TDateTime date = EncodeDate(c.y, c.m, c.d);
    if (c.months) date = ShiftMonth(date, c.months);
    if (c.years) date = ShiftYear(date, c.years);
    EXPECT_EQ(date, EncodeDate(c.ey, c.em, c.ed)) << c.y << "-" << c.m << "-" << c.d;
  }
}

}  // namespace
}  // namespace velmaris::test
