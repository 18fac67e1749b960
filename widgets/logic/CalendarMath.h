// The month grid of the calendar controls: 7 columns of weekdays starting at
// a chosen day, a header row and six week rows, and the month and year steps.
// Weekdays count 0 = Sunday to 6 = Saturday.
#pragma once

#include "widgets/logic/DateHelpers.h"

namespace velmaris {

// The day number shown in row 1, column 0 (1 or less): the 1st of the month
// sits in row 1 at its weekday's column.
int CalendarMonthOffset(int year, int month, int startOfWeek);
// The cell of a day; column 0..6, row 1..6.
void CalendarCellOfDay(int day, int offset, int& col, int& row);
// The day number of a cell, 0 for the header row and for cells outside the month.
int CalendarDayOfCell(int col, int row, int offset, int daysInMonth);
// The weekday (0 = Sunday) of a column.
int CalendarWeekdayOfColumn(int col, int startOfWeek);

// A month forward (delta > 0) or back, keeping the day number where the month
// reached has it, else its last day: 31 January + 1 gives the end of February.
TDateTime ShiftMonth(TDateTime date, int delta);
// A year forward or back; 29 February becomes the 28th first.
TDateTime ShiftYear(TDateTime date, int delta);

}  // namespace velmaris
