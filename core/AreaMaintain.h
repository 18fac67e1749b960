// Helpers of the per-area housekeeping (TArea::Maintain, PurgeDeleted,
// Optimize, the reply table), for the runs and the tests.
#pragma once

#include <string_view>

#include "core/Area.h"

namespace velmaris {

// The new body file an optimisation writes before it replaces ".PackedBody".
inline constexpr const char* kOptimizedBodyExt = ".ODY";

// The day number of maintenance ages: year * 365 + the days before the month
// (fixed table, leap years ignored) + the day of the month.
int MaintenanceDayNumber(int year, int month, int day);

// The day number of a message date text ("dd Mon yy ..."): characters 3 and
// 7 are blanks, the month name is one of "Jan" to "Dec" exactly, the year
// has two digits (below 90 in the 2000s). False for anything else.
bool MaintenanceDayOfDate(std::string_view dateText, int& dayNumber);

// Finishes or undoes a rewrite of the area's files that was interrupted
// (see AreaMaintain.cpp): a left-over ".ODY" means the body was never
// replaced, so it and ".$PX" are removed; a ".$PX" without ".ODY" is a
// complete index for the current body when it decodes and every record it
// names is there, and is then put in place, else removed. Called by
// OpenIndex before the index is loaded.
void RecoverInterruptedRewrite(TArea& area);

}  // namespace velmaris
