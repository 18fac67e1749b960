#include "widgets/logic/CalendarMath.h"

#include <algorithm>
#include <cmath>

namespace velmaris {

namespace {

int Mod7(int n) { return ((n % 7) + 7) % 7; }

}  // namespace

int CalendarMonthOffset(int year, int month, int startOfWeek) {
  TDateTime first = EmptyDate;
  if (!TryEncodeDate(year, month, 1, first)) return 1;
  const int weekday = DayOfWeek(first) - 1;  // 0 = Sunday
  return 1 - Mod7(weekday - startOfWeek);
}

void CalendarCellOfDay(int day, int offset, int& col, int& row) {
  col = Mod7(day - offset);
  row = (day - offset) / 7 + 1;
}

int CalendarDayOfCell(int col, int row, int offset, int daysInMonth) {
  if (row < 1 || col < 0 || col > 6) return 0;
  const int day = offset + col + 7 * (row - 1);
  return day >= 1 && day <= daysInMonth ? day : 0;
}

int CalendarWeekdayOfColumn(int col, int startOfWeek) { return Mod7(startOfWeek + col); }

TDateTime ShiftMonth(TDateTime date, int delta) {
  int year = 0, month = 0, day = 0;
  if (!SplitDate(date, year, month, day)) return date;
  int index = year * 12 + (month - 1) + delta;
  const int newYear = index / 12;
  const int newMonth = index % 12 + 1;
  if (newYear < 1 || newYear > 9999) return date;
  const double time = date - std::floor(date);
  return EncodeDate(newYear, newMonth, std::min(day, DaysInMonth(newYear, newMonth))) + time;
}

TDateTime ShiftYear(TDateTime date, int delta) {
  int year = 0, month = 0, day = 0;
  if (!SplitDate(date, year, month, day)) return date;
  if (month == 2 && day == 29) day = 28;
  const int newYear = year + delta;
  if (newYear < 1 || newYear > 9999) return date;
  return EncodeDate(newYear, month, day) + (date - std::floor(date));
}

}  // namespace velmaris
