#include "widgets/logic/SpeedBarRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace velmaris {

int SpeedBarGridStep(int length) {
  if (length <= 1) return 1;
  int step = std::max(1, std::min(8, length / 3));
  while (step < length && length % step != 0) ++step;
  if (step == length) {
    step = length - 1;
    while (step > 1 && length % step != 0) --step;
  }
  return std::max(1, step);
}

int SnapToGrid(int value, int offset, int grid, bool alongBar) {
  if (grid <= 0) grid = 1;
  const double q = static_cast<double>(value - offset) / grid;
  const double n = alongBar ? std::nearbyint(q) : std::trunc(q);
  return static_cast<int>(n) * grid + offset;
}

namespace {

// One axis of a bar: along it or across it.
struct TAxis {
  int length, offset, grid, button;
};

// The number of grid places on the axis where a whole button fits, from the
// offset to the far edge (at least one).
int Places(const TAxis& a) {
  const int room = a.length - a.offset - a.button;
  return room < 0 ? 1 : room / std::max(1, a.grid) + 1;
}

int FloorDiv(int v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

}  // namespace

std::optional<TBarPoint> DropPlace(const TBarMeasures& bar, TBarPoint copyTopLeft,
                                   TBarPoint pointer, const std::vector<TBarPoint>& others,
                                   bool unbounded) {
  if (pointer.x < 0 || pointer.y < 0 || pointer.x >= bar.width || pointer.y >= bar.height)
    return std::nullopt;
  const bool h = bar.horizontal;
  const TAxis along = h ? TAxis{bar.width, bar.offsetHorz, std::max(1, bar.gridX), bar.btnWidth}
                        : TAxis{bar.height, bar.offsetVert, std::max(1, bar.gridY), bar.btnHeight};
  const TAxis across = h ? TAxis{bar.height, bar.offsetVert, std::max(1, bar.gridY), bar.btnHeight}
                         : TAxis{bar.width, bar.offsetHorz, std::max(1, bar.gridX), bar.btnWidth};
  // A stored place of any size stays far from the bounds of int.
  constexpr int kFarthest = 1 << 16;
  const int alongPlaces = unbounded ? kFarthest : Places(along);
  const int rows = Places(across);
  const int copyAlong = std::clamp(h ? copyTopLeft.x : copyTopLeft.y, -kFarthest, kFarthest);
  const int pointerAcross = h ? pointer.y : pointer.x;
  const int start = std::clamp(
      (SnapToGrid(copyAlong, along.offset, along.grid, true) - along.offset) / along.grid, 0,
      alongPlaces - 1);
  const int row = std::clamp(FloorDiv(pointerAcross - across.offset, across.grid), 0, rows - 1);
  const auto place = [&](int k, int r) {
    const int a = along.offset + k * along.grid, c = across.offset + r * across.grid;
    return h ? TBarPoint{a, c} : TBarPoint{c, a};
  };
  const auto free = [&](TBarPoint p) {
    for (const TBarPoint& o : others)
      if (std::abs(o.x - p.x) < bar.btnWidth && std::abs(o.y - p.y) < bar.btnHeight) return false;
    return true;
  };
  // Rows by distance from the pointer's row, places by distance from the start.
  const int searchAlong =
      unbounded ? start + static_cast<int>(others.size()) * 2 * (along.button / along.grid + 1) + 1
                : alongPlaces;
  for (int dr = 0; dr < rows; ++dr) {
    for (int r : {row - dr, row + dr}) {
      if (r < 0 || r >= rows || (dr == 0 && r != row - dr)) continue;
      for (int d = 0; d <= std::max(start, searchAlong - start); ++d) {
        for (int k : {start - d, start + d}) {
          if (k < 0 || k >= std::min(alongPlaces, searchAlong + 1) || (d == 0 && k != start - d))
            continue;
          if (free(place(k, r))) return place(k, r);
        }
      }
    }
  }
  return std::nullopt;
}

std::optional<TDropOutcome> DropMakingRoom(const TBarMeasures& bar, TBarPoint copyTopLeft,
                                           TBarPoint pointer, const std::vector<TBarPoint>& others,
                                           bool reorder) {
  // The place under the copy in the pointer's row, as an empty bar gives it
  // (none: the pointer is off the bar).
  const auto empty = DropPlace(bar, copyTopLeft, pointer, {});
  if (!empty) return std::nullopt;
  const bool h = bar.horizontal;
  const int button = h ? bar.btnWidth : bar.btnHeight;
  const auto along = [h](TBarPoint& p) -> int& { return h ? p.x : p.y; };
  const auto sameRow = [&](const TBarPoint& p) {
    return h ? std::abs(p.y - empty->y) < bar.btnHeight : std::abs(p.x - empty->x) < bar.btnWidth;
  };
  TBarPoint copy = copyTopLeft;
  const int middle = along(copy) + button / 2;
  const auto under = [&](TBarPoint o) {
    return sameRow(o) && along(o) <= middle && middle < along(o) + button;
  };
  if (!reorder || std::none_of(others.begin(), others.end(), under))
    if (const auto free = DropPlace(bar, copyTopLeft, pointer, others))
      return TDropOutcome{*free, others};
  TDropOutcome out{*empty, others};
  // Over a button the copy's middle says on which side of it the new one goes.
  for (TBarPoint& o : out.others)
    if (under(o)) along(out.place) = middle < along(o) + button / 2 ? along(o) : along(o) + button;
  // The rest of the row, in its order along the bar, moves up behind it.
  std::vector<size_t> row;
  for (size_t i = 0; i < out.others.size(); ++i)
    if (sameRow(out.others[i]) && along(out.others[i]) >= along(out.place)) row.push_back(i);
  std::sort(row.begin(), row.end(),
            [&](size_t a, size_t b) { return along(out.others[a]) < along(out.others[b]); });
  int next = along(out.place) + button;
  for (size_t i : row) {
    int& at = along(out.others[i]);
    at = std::max(at, next);
    next = at + button;
  }
  // A button pushed past the bar's end would show cut off: it takes a free
  // place elsewhere on the bar (a button moved along its bar always leaves
  // one). Where none is left it stays past the end: the bar asks for the
  // room (BarLengthNeeded).
  const int end = h ? bar.width : bar.height;
  for (size_t i : row) {
    if (along(out.others[i]) + button <= end) continue;
    std::vector<TBarPoint> taken{out.place};
    for (size_t j = 0; j < out.others.size(); ++j)
      if (j != i && along(out.others[j]) + button <= end) taken.push_back(out.others[j]);
    if (const auto free = DropPlace(bar, out.others[i], pointer, taken)) out.others[i] = *free;
  }
  return out;
}

std::optional<TBarPoint> PlaceOnTheBar(const TBarMeasures& bar, TBarPoint stored,
                                       const std::vector<TBarPoint>& others) {
  const bool h = bar.horizontal;
  const int length = h ? bar.width : bar.height, thickness = h ? bar.height : bar.width;
  const int along = h ? stored.x : stored.y, across = h ? stored.y : stored.x;
  if (along < length && across < thickness) return std::nullopt;
  // The row nearest the stored one, as a drop with the pointer there takes it.
  const TAxis side = h ? TAxis{bar.height, bar.offsetVert, std::max(1, bar.gridY), bar.btnHeight}
                       : TAxis{bar.width, bar.offsetHorz, std::max(1, bar.gridX), bar.btnWidth};
  const int pointerAcross = std::clamp(across, 0, std::max(0, thickness - 1));
  const int row = std::clamp(FloorDiv(pointerAcross - side.offset, side.grid), 0, Places(side) - 1);
  const int rowTop = side.offset + row * side.grid;
  // Behind the last button of that row.
  const int button = h ? bar.btnWidth : bar.btnHeight;
  int end = h ? bar.offsetHorz : bar.offsetVert;
  for (const TBarPoint& o : others)
    if (std::abs((h ? o.y : o.x) - rowTop) < side.button)
      end = std::max(end, (h ? o.x : o.y) + button);
  const TBarPoint copy = h ? TBarPoint{end, rowTop} : TBarPoint{rowTop, end};
  const TBarPoint pointer =
      h ? TBarPoint{std::clamp(end, 0, std::max(0, length - 1)), pointerAcross}
        : TBarPoint{pointerAcross, std::clamp(end, 0, std::max(0, length - 1))};
  if (const auto within = DropPlace(bar, copy, pointer, others)) return within;
  return DropPlace(bar, copy, pointer, others, true);
}

int BarLengthNeeded(const TBarMeasures& bar, const std::vector<TBarPoint>& places) {
  const bool h = bar.horizontal;
  int length = 0;
  for (const TBarPoint& p : places)
    length = std::max(
        length, (h ? p.x + bar.btnWidth + bar.offsetHorz : p.y + bar.btnHeight + bar.offsetVert));
  return length;
}

TAlign DockEdgeAt(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return TAlign::alTop;
  const double r = static_cast<double>(h) / w;
  const bool aboveFirst = y < r * x;                                    // y = r x
  const bool aboveSecond = y < (1.0 - static_cast<double>(x) / w) * h;  // y = (1 - x/W) H
  if (aboveFirst && aboveSecond) return TAlign::alTop;
  if (aboveFirst) return TAlign::alRight;
  if (aboveSecond) return TAlign::alLeft;
  return TAlign::alBottom;
}

int ResizedThickness(int distance, int offset, int buttonSize, int limit) {
  if (buttonSize <= 0) buttonSize = 1;
  const int rows = std::max(1, std::abs(distance - 2 * offset) / buttonSize);
  return std::min(rows * buttonSize + 2 * offset, limit);
}

std::string UniqueSectionCaption(const std::string& caption,
                                 const std::vector<std::string>& existing) {
  auto taken = [&](const std::string& c) {
    return std::find(existing.begin(), existing.end(), c) != existing.end();
  };
  if (!taken(caption)) return caption;
  for (int n = 1;; ++n) {
    const std::string c = caption + " (" + std::to_string(n) + ")";
    if (!taken(c)) return c;
  }
}

std::string ShortHint(const std::string& hint) {
  const size_t bar = hint.find('|');
  return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string HintForCaption(const std::string& newCaption, const std::string& oldHint) {
  const size_t oldBar = oldHint.find('|');
  const std::string longPart =
      oldBar == std::string::npos ? std::string() : oldHint.substr(oldBar + 1);
  const size_t bar = newCaption.find('|');
  if (bar != std::string::npos) {
    if (bar + 1 < newCaption.size()) return newCaption;
    return newCaption.substr(0, bar) + "|" + longPart;
  }
  return newCaption + "|" + longPart;
}

void WriteSpeedBarLayout(TIniStorage* storage, const std::string& section,
                         const TSpeedBarLayout& layout) {
  IniEraseSection(storage, section);
  IniWriteInteger(storage, section, "Position", layout.position);
  if (layout.width) IniWriteInteger(storage, section, "Width", *layout.width);
  IniWriteInteger(storage, section, "Version", layout.version);
  IniWriteInteger(storage, section, "PixelsPerInch", layout.pixelsPerInch);
  IniWriteInteger(storage, section, "BtnWidth", layout.btnWidth);
  IniWriteInteger(storage, section, "BtnHeight", layout.btnHeight);
  int n = 0;
  for (const TLayoutButton& b : layout.buttons) {
    IniWriteString(storage, section, "Button" + std::to_string(++n),
                   b.name + "," + std::to_string(b.left) + "," + std::to_string(b.top));
  }
  IniWriteInteger(storage, section, "Count", n);
}

bool ParseLayoutButton(const std::string& value, std::string& name, std::optional<int>& left,
                       std::optional<int>& top) {
  std::vector<std::string> words;
  std::string word;
  for (char c : value) {
    if (c == ' ' || c == ',') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  if (words.empty()) return false;
  auto number = [](const std::string& w) -> std::optional<int> {
    int v = 0;
    const auto [ptr, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
    if (ec != std::errc() || ptr != w.data() + w.size()) return std::nullopt;
    return v;
  };
  name = words[0];
  left = words.size() > 1 ? number(words[1]) : std::nullopt;
  top = words.size() > 2 ? number(words[2]) : std::nullopt;
  return true;
}

}  // namespace velmaris
