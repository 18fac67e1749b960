// The rows of the main window's area list: one tab-separated line of five
// cells per entry of the area list (name, messages, unread, new, waiting for
// export), and the area count of the status bar.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmaris {

class TArea;
class TAreaList;

inline constexpr int kAreaRowCells = 5;

// How a row is built: a whole-list rebuild shows a waiting count that is not
// known yet as "???", the update of one row as "?".
enum class TAreaRowKind { Rebuild, Update };

// A count cell: empty for 0 (or less), else the number, followed directly by
// the part addressed to the sysop in parentheses when that is above 0, e.g.
// "120(4)".
std::string CountCellText(int32_t count, int32_t sysopCount);

// The five cells of an area. A separator entry gives "!SEP!" in every cell.
// Names stay the bytes they are stored as.
std::array<std::string, kAreaRowCells> AreaRowCells(const TArea& area, TAreaRowKind kind);
// The cells joined by tabs.
std::string AreaRowText(const TArea& area, TAreaRowKind kind);

// The number of entries that are not separators.
int CountListedAreas(const TAreaList& areas);
// The status bar text: the number followed by " Areas".
std::string AreaCountText(int count);

}  // namespace velmaris
