// Helpers of the per-area housekeeping (TArea::MaintainMessages, PurgeDeleted,
// Optimize, the reply table), for the runs and the tests. The rewrite of the
// files (TMessageBase::Compact, RecoverInterruptedRewrite) lives in
// AreaMaintain.cpp too.
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

}  // namespace velmaris
