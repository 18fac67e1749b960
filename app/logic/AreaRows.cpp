#include "app/logic/AreaRows.h"

#include "core/Area.h"

namespace velmaris {

std::string CountCellText(int32_t count, int32_t sysopCount) {
  if (count <= 0) return {};
  std::string text = std::to_string(count);
  if (sysopCount > 0) text += "(" + std::to_string(sysopCount) + ")";
  return text;
}

std::array<std::string, kAreaRowCells> AreaRowCells(const TArea& area, TAreaRowKind kind) {
  std::array<std::string, kAreaRowCells> cells;
  if (area.IsSeparator()) {
    cells.fill(kSeparatorName);
    return cells;
  }
  cells[0] = area.Name;
  cells[1] = CountCellText(area.Count, area.ToSysopCount);
  cells[2] = CountCellText(area.UnreadCount, area.UnreadToSysopCount);
  cells[3] = CountCellText(area.NewUnreadCount, area.NewUnreadToSysopCount);
  if (area.SendCount < 0)
    cells[4] = kind == TAreaRowKind::Rebuild ? "???" : "?";
  else
    cells[4] = CountCellText(area.SendCount, 0);
  return cells;
}

std::string AreaRowText(const TArea& area, TAreaRowKind kind) {
  const auto cells = AreaRowCells(area, kind);
  std::string row = cells[0];
  for (int i = 1; i < kAreaRowCells; ++i) row += '\t' + cells[static_cast<size_t>(i)];
  return row;
}

int CountListedAreas(const TAreaList& areas) {
  int count = 0;
  for (int i = 0; i < areas.GetCount(); ++i)
    if (areas.GetString(i) != kSeparatorName) ++count;
  return count;
}

std::string AreaCountText(int count) { return std::to_string(count) + " Areas"; }

}  // namespace velmaris
