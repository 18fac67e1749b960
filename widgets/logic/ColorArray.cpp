#include "widgets/logic/ColorArray.h"

#include <charconv>
#include <cstdio>

namespace velmaris {

TColorArrayClass::TColorArrayClass(int xSize, int ySize)
    : xSize_(xSize), ySize_(ySize), colors_(static_cast<size_t>(xSize * ySize), 0) {}

void TColorArrayClass::SetXSize(int value) {
  if (value == xSize_) return;
  xSize_ = value;
  colors_.assign(static_cast<size_t>(Count()), 0);
}

void TColorArrayClass::SetYSize(int value) {
  if (value == ySize_) return;
  ySize_ = value;
  colors_.assign(static_cast<size_t>(Count()), 0);
}

int TColorArrayClass::Linear(int x, int y) const {
  if (x < 1 || x > xSize_ || y < 1 || y > ySize_) throw EColorArrayIndexError();
  return (y - 1) * xSize_ + x;
}

TColor TColorArrayClass::Color(int x, int y) const { return Element(Linear(x, y)); }
void TColorArrayClass::SetColor(int x, int y, TColor color) { SetElement(Linear(x, y), color); }

TColor TColorArrayClass::Element(int index) const {
  if (index < 1 || index > Count()) throw EColorArrayIndexError();
  return colors_[static_cast<size_t>(index - 1)];
}

void TColorArrayClass::SetElement(int index, TColor color) {
  if (index < 1 || index > Count()) throw EColorArrayIndexError();
  colors_[static_cast<size_t>(index - 1)] = color;
}

std::vector<TColor> TColorArrayClass::StreamList() const {
  std::vector<TColor> out;
  for (int x = 1; x <= xSize_; ++x)
    for (int y = 1; y <= ySize_; ++y) out.push_back(Color(x, y));
  return out;
}

void TColorArrayClass::FromStreamList(const std::vector<TColor>& colors) {
  size_t i = 0;
  for (int x = 1; x <= xSize_; ++x)
    for (int y = 1; y <= ySize_ && i < colors.size(); ++y) SetColor(x, y, colors[i++]);
}

TColorArrayClass DefaultPaletteColors() {
  static const unsigned char rgb[20][3] = {
      {255, 255, 255}, {255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {191, 215, 191},
      {0, 0, 0},       {127, 0, 0},   {0, 127, 0},   {0, 0, 127},   {159, 191, 239},
      {191, 191, 191}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {255, 247, 239},
      {127, 127, 127}, {127, 127, 0}, {0, 127, 127}, {127, 0, 127}, {159, 159, 159}};
  TColorArrayClass a(4, 5);
  std::vector<TColor> list;
  for (const auto& c : rgb) list.push_back(TColor(c[0]) | TColor(c[1]) << 8 | TColor(c[2]) << 16);
  a.FromStreamList(list);
  return a;
}

std::string CustomColorsToText(const TColorArrayClass& custom) {
  std::string out;
  for (TColor c : custom.StreamList()) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(c));
    if (!out.empty()) out += ',';
    out += buf;
  }
  return out;
}

namespace {

// "$" and hexadecimal digits; anything else reads as white.
TColor ParseCustomColor(const std::string& v) {
  if (v.size() < 2 || v[0] != '$') return 0xFFFFFF;
  unsigned value = 0;
  const auto [ptr, ec] = std::from_chars(v.data() + 1, v.data() + v.size(), value, 16);
  return ec == std::errc() && ptr == v.data() + v.size() ? value : 0xFFFFFF;
}

}  // namespace

void CustomColorsFromText(const std::string& text, TColorArrayClass& custom) {
  if (text.empty()) return;
  const size_t comma = text.find(',');
  const size_t stride = comma == std::string::npos ? text.size() + 1 : comma + 1;
  const size_t wanted = static_cast<size_t>(custom.Count());
  std::vector<TColor> values;
  for (size_t pos = 0; values.size() < wanted && pos < text.size(); pos += stride)
    values.push_back(ParseCustomColor(text.substr(pos, stride - 1)));
  custom.FromStreamList(values);
}

std::string ColorHintText(TColor color) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "RGB = %.3u %.3u %.3u", color & 0xFF, (color >> 8) & 0xFF,
                (color >> 16) & 0xFF);
  return buf;
}

TPaletteCell MovePaletteSelection(TPaletteCell cell, TPaletteKey key) {
  if (!cell.Valid()) return {1, 1};
  const bool other = cell.y == 0;
  switch (key) {
    case TPaletteKey::Left:
      if (!other) cell.x = cell.x == 1 ? 4 : cell.x - 1;
      break;
    case TPaletteKey::Right:
      if (!other) cell.x = cell.x == 4 ? 1 : cell.x + 1;
      break;
    case TPaletteKey::Down:
      if (other) {
        cell = {1, 1};
      } else if (cell.y == 5) {
        cell = {0, 0};
      } else {
        ++cell.y;
      }
      break;
    case TPaletteKey::Up:
      if (other) {
        cell = {1, 5};
      } else if (cell.y == 1) {
        cell = {0, 0};
      } else {
        --cell.y;
      }
      break;
  }
  return cell;
}

TPaletteCell PaletteCellAt(int x, int y, int clientWidth) {
  if (x >= clientWidth - 19 && x <= clientWidth - 1 && y >= 96 && y < 114) return {0, 0};
  if (x < 0 || y < 0) return {};
  TPaletteCell c{x / 18 + 1, y / 18 + 1};
  return c.Valid() && c.y != 0 ? c : TPaletteCell{};
}

TPaletteCell PaletteCellOf(const TColorArrayClass& palette, TColor color, TColor resolved) {
  for (TColor wanted : {color, resolved})
    for (int y = 1; y <= palette.YSize(); ++y)
      for (int x = 1; x <= palette.XSize(); ++x)
        if (palette.Color(x, y) == wanted) return {x, y};
  return {0, 0};
}

}  // namespace velmaris
