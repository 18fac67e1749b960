// The rules of the speed bar without Qt: the placement grid, snapping a
// dropped button, the edge a dragged bar docks at, the thickness while the
// bar is resized, unique section captions, an item's hint following its
// caption, and the stored layout.
//
// Stored layout, one section of a TIniStorage (integers as decimal text):
//   Position       the Align ordinal (0 none, 1 top, 2 bottom, 3 left, 4 right, 5 client)
//   Width          the thickness (height of a top/bottom bar, width of a
//                  left/right bar); missing for other alignments
//   Version, PixelsPerInch, BtnWidth, BtnHeight
//   Button1..N     "Name,Left,Top" of every visible stored item
//   Count          N
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "widgets/logic/IniStorage.h"
#include "widgets/logic/SplitterRules.h"

namespace velmaris {

// The grid step along the bar for a button length: the smallest divisor of
// the length from max(1, min(8, length / 3)) up, or, when only the length
// itself divides, the largest proper divisor below it (24 gives 8, 23 gives 1).
int SpeedBarGridStep(int length);

// A coordinate snapped to the grid from the offset: rounded to the nearest
// step (halves to even) along the bar, truncated towards zero across it.
int SnapToGrid(int value, int offset, int grid, bool alongBar);

// A bar's measures for placing its buttons (client size, offsets of the
// first row and column, the grid, the button size, the orientation).
struct TBarMeasures {
  int width = 0, height = 0;
  int offsetHorz = 0, offsetVert = 0;
  int gridX = 1, gridY = 1;
  int btnWidth = 24, btnHeight = 23;
  bool horizontal = true;
};
struct TBarPoint {
  int x = 0, y = 0;
  bool operator==(const TBarPoint&) const = default;
};

// Where a button dropped on the bar goes: the pointer (in the bar's client
// coordinates) must lie on the bar; the button takes the row under the
// pointer and, along the bar, the grid place of the dragged copy's top-left
// corner, kept whole on the bar. Where another button (others: their
// top-left corners) lies there, it takes the nearest free grid place, in its
// row first, then in the rows nearest to it. None when the pointer is off the
// bar or no place is free. With unbounded, places beyond the bar's end count
// as free (a stored layout read before the window has its width).
std::optional<TBarPoint> DropPlace(const TBarMeasures& bar, TBarPoint copyTopLeft,
                                   TBarPoint pointer, const std::vector<TBarPoint>& others,
                                   bool unbounded = false);

// As DropPlace; on a bar with no free place the button goes in at the grid
// place under the copy (beside the button under the copy's middle, on that
// side of the button's middle) and the
// buttons from there on in that row move along, one after the other, to make
// room; one pushed past the bar's end takes a free place elsewhere on the
// bar, else stays past the end (BarLengthNeeded then says how long the bar
// must grow to show it). The new top-left corners of the others come back in
// their order. None only when the pointer is off the bar.
struct TDropOutcome {
  TBarPoint place;
  std::vector<TBarPoint> others;
  bool operator==(const TDropOutcome&) const = default;
};
// With reorder (a button moved along its bar), a copy whose middle lies over
// another button goes in beside that one though free places are left.
std::optional<TDropOutcome> DropMakingRoom(const TBarMeasures& bar, TBarPoint copyTopLeft,
                                           TBarPoint pointer, const std::vector<TBarPoint>& others,
                                           bool reorder = false);

// Where a button stored wholly off the bar (at or past its far end, or below
// its last row: a wider screen or an older layout left it there) comes onto
// it: behind the last button of the row nearest its stored one, else at the
// nearest free place on the bar, else past the end, as a drop on a full bar
// goes (BarLengthNeeded then says how long the bar must grow). None when
// the stored place lies on the bar.
std::optional<TBarPoint> PlaceOnTheBar(const TBarMeasures& bar, TBarPoint stored,
                                       const std::vector<TBarPoint>& others);

// How long the bar must be along its length to show the buttons at these
// top-left corners whole, with its offset after the last one (0 for none).
int BarLengthNeeded(const TBarMeasures& bar, const std::vector<TBarPoint>& places);

// The edge a bar dragged to (x, y) of a w x h client area docks at, by the
// two diagonals of the area.
TAlign DockEdgeAt(int x, int y, int w, int h);

// The thickness while resizing: whole button rows for the distance from the
// outer edge, at least one, never above the limit.
int ResizedThickness(int distance, int offset, int buttonSize, int limit);

// The caption itself when no section has it, else caption " (n)" with the
// first n from 1 that is free.
std::string UniqueSectionCaption(const std::string& caption,
                                 const std::vector<std::string>& existing);

// The hint an item gets when its caption changes to newCaption while the hint
// follows the caption.
std::string HintForCaption(const std::string& newCaption, const std::string& oldHint);
// The short part of a hint (before "|").
std::string ShortHint(const std::string& hint);

struct TLayoutButton {
  std::string name;
  int left = 0, top = 0;
  bool operator==(const TLayoutButton&) const = default;
};

struct TSpeedBarLayout {
  int position = 1;
  std::optional<int> width;
  int version = 0;
  int pixelsPerInch = 96;
  int btnWidth = 24, btnHeight = 23;
  std::vector<TLayoutButton> buttons;
};

// Erases the section and writes the layout.
void WriteSpeedBarLayout(TIniStorage* storage, const std::string& section,
                         const TSpeedBarLayout& layout);
// A "Button" value split at blanks and commas into name, left and top; a bad
// number stays empty. False when the value has no name.
bool ParseLayoutButton(const std::string& value, std::string& name, std::optional<int>& left,
                       std::optional<int>& top);

}  // namespace velmaris
