// The stored form of a window placement in one section of a TIniStorage:
//   Flags          integer, the placement flags
//   ShowCmd        integer, 1/5/9 normal, 2/6/7 minimised, 3 maximised
//   PixelsPerInch  integer, the screen's at save time
//   MinMaxPos      "minX,minY,maxX,maxY"   } each also under the name followed
//   NormPos        "left,top,right,bottom" } by the screen suffix "(WxH)"
// A placement stored at another pixels-per-inch setting is not applied.
#pragma once

#include <string>

#include "widgets/logic/IniStorage.h"

namespace velmaris {

struct TWindowPlacementRec {
  int flags = 0;
  int showCmd = 0;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TWindowPlacementRec&) const = default;
};

enum class TStoredWindowState { Default, Normal, Minimized, Maximized };

struct TScreenInfo {
  int width = 0, height = 0, pixelsPerInch = 96;
};

void WritePlacementValues(TIniStorage* storage, const std::string& section,
                          const TWindowPlacementRec& wp, const TScreenInfo& screen);

// Reads the flags and positions into wp (a missing value keeps the current
// one; a bad word of MinMaxPos gives 0, of NormPos the current edge). True
// when a position was stored at the screen's pixels per inch.
bool ReadPlacementPosition(const TIniStorage* storage, const std::string& section,
                           TWindowPlacementRec& wp, const TScreenInfo& screen);

// The stored show command as a window state.
TStoredWindowState ReadPlacementState(const TIniStorage* storage, const std::string& section);
TStoredWindowState StateOfShowCmd(int showCmd);

}  // namespace velmaris
