// Builders of nodelists, pointlists and nodediffs for the nodelist tests.
#pragma once

#include <string>
#include <vector>

#include "nodelist/NodelistFiles.h"

namespace velmaris::test {

// A whole weekly list: first line with the day number and the CRC of the
// body, the body lines (each given without line end, written with CR LF),
// and the end-of-file byte.
std::string MakeWeeklyList(int day, const std::vector<std::string>& body);

// A nodediff that turns oldList into newList (both as MakeWeeklyList makes
// them): the old first line, then A, C and D commands from a longest common
// subsequence of the lines.
std::string MakeDiff(const std::string& oldList, const std::string& newList);

// The lines of a list text split after each LF (the end-of-file byte left out).
std::vector<std::string> RawLines(const std::string& text);

}  // namespace velmaris::test
