#include "widgets/logic/PlacementValues.h"

#include <charconv>

namespace velmaris {

namespace {

std::string Join4(int a, int b, int c, int d) {
  return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
         std::to_string(d);
}

// The four comma-separated words into the targets; a bad or missing word
// takes its fallback.
void Split4(const std::string& text, int* const out[4], const int fallback[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t end = text.find(',', pos);
    if (end == std::string::npos) end = text.size();
    std::string word = pos <= text.size() ? text.substr(pos, end - pos) : std::string();
    while (!word.empty() && word.front() == ' ') word.erase(word.begin());
    while (!word.empty() && word.back() == ' ') word.pop_back();
    int v = 0;
    const auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    *out[i] =
        !word.empty() && ec == std::errc() && ptr == word.data() + word.size() ? v : fallback[i];
    pos = end + 1;
  }
}

}  // namespace

void WritePlacementValues(TIniStorage* storage, const std::string& section,
                          const TWindowPlacementRec& wp, const TScreenInfo& screen) {
  IniWriteInteger(storage, section, "Flags", wp.flags);
  IniWriteInteger(storage, section, "ShowCmd", wp.showCmd);
  IniWriteInteger(storage, section, "PixelsPerInch", screen.pixelsPerInch);
  IniWriteScreenString(storage, section, "MinMaxPos", Join4(wp.minX, wp.minY, wp.maxX, wp.maxY),
                       screen.width, screen.height);
  IniWriteScreenString(storage, section, "NormPos", Join4(wp.left, wp.top, wp.right, wp.bottom),
                       screen.width, screen.height);
}

bool ReadPlacementPosition(const TIniStorage* storage, const std::string& section,
                           TWindowPlacementRec& wp, const TScreenInfo& screen) {
  bool found = false;
  wp.flags = IniReadInteger(storage, section, "Flags", wp.flags);
  const std::string minMax =
      IniReadScreenString(storage, section, "MinMaxPos", screen.width, screen.height);
  if (!minMax.empty()) {
    found = true;
    int* const out[4] = {&wp.minX, &wp.minY, &wp.maxX, &wp.maxY};
    const int zero[4] = {0, 0, 0, 0};
    Split4(minMax, out, zero);
  }
  const std::string norm =
      IniReadScreenString(storage, section, "NormPos", screen.width, screen.height);
  if (!norm.empty()) {
    found = true;
    int* const out[4] = {&wp.left, &wp.top, &wp.right, &wp.bottom};
    const int current[4] = {wp.left, wp.top, wp.right, wp.bottom};
    Split4(norm, out, current);
  }
  if (IniReadInteger(storage, section, "PixelsPerInch", screen.pixelsPerInch) !=
      screen.pixelsPerInch)
    found = false;
  return found;
}

TStoredWindowState StateOfShowCmd(int showCmd) {
  switch (showCmd) {
    case 1:
    case 5:
    case 9: return TStoredWindowState::Normal;
    case 2:
    case 6:
    case 7: return TStoredWindowState::Minimized;
    case 3: return TStoredWindowState::Maximized;
    default: return TStoredWindowState::Default;
  }
}

TStoredWindowState ReadPlacementState(const TIniStorage* storage, const std::string& section) {
  return StateOfShowCmd(IniReadInteger(storage, section, "ShowCmd", 0));
}

}  // namespace velmaris
