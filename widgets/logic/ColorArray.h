// The colour tables of the colour button and the rules of its palette
// without Qt. Colours are TColor values: 0x00BBGGRR.
//
// Custom colours in the registry: one string of sixteen "$XXXXXXXX" values
// separated by ",", X = 1..8 outer, Y = 1..2 inner. Reading splits it at the
// stride of the first comma, so values of other widths are misread as the
// original reader misread them; a value that is no number reads as white.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris {

using TColor = uint32_t;

class EColorArrayIndexError : public std::runtime_error {
 public:
  EColorArrayIndexError() : std::runtime_error("Array index out of bounds") {}
};

// A two-dimensional table of colours; cell (X, Y), 1-based, is element
// (Y - 1) * XSize + X.
class TColorArrayClass {
 public:
  TColorArrayClass(int xSize, int ySize);

  int XSize() const { return xSize_; }
  int YSize() const { return ySize_; }
  int Count() const { return xSize_ * ySize_; }
  // A different size discards the colours (all 0 then).
  void SetXSize(int value);
  void SetYSize(int value);

  TColor Color(int x, int y) const;
  void SetColor(int x, int y, TColor color);
  TColor Element(int index) const;  // 1..Count
  void SetElement(int index, TColor color);

  // X outer, Y inner, as the form stream lists them.
  std::vector<TColor> StreamList() const;
  // Fills in the same order until the list ends.
  void FromStreamList(const std::vector<TColor>& colors);

  bool operator==(const TColorArrayClass& other) const = default;

 private:
  int Linear(int x, int y) const;
  int xSize_, ySize_;
  std::vector<TColor> colors_;
};

// The 4 x 5 palette the button starts with.
TColorArrayClass DefaultPaletteColors();

std::string CustomColorsToText(const TColorArrayClass& custom);
void CustomColorsFromText(const std::string& text, TColorArrayClass& custom);

// "RGB = 255 000 000".
std::string ColorHintText(TColor color);

// A palette cell: X 1..4 and Y 1..5, (0, 0) the other-colour cell, (-1, -1) none.
struct TPaletteCell {
  int x = -1, y = -1;
  bool Valid() const { return (x >= 1 && x <= 4 && y >= 1 && y <= 5) || (x == 0 && y == 0); }
  bool operator==(const TPaletteCell&) const = default;
};
enum class TPaletteKey { Left, Right, Up, Down };
// The selection after an arrow key.
TPaletteCell MovePaletteSelection(TPaletteCell cell, TPaletteKey key);
// The cell under a point of the palette's client area.
TPaletteCell PaletteCellAt(int x, int y, int clientWidth);
// The cell the palette opens on for the colour: the first cell holding it;
// else, for a system colour, the first cell showing the same RGB value it
// stands for (resolved: the system colour's RGB now); else the other-colour
// cell (0, 0).
TPaletteCell PaletteCellOf(const TColorArrayClass& palette, TColor color, TColor resolved);

}  // namespace velmaris
