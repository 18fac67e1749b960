// Window position storage without Qt: the registry access the form placement
// uses, and the clamping of stored bounds to the screens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmaris {

// Integer values below one registry key, in sections (subkeys). A thin
// adapter over the platform registry, so that the typed registry access of
// the configuration store can take its place later.
class PlacementRegistry {
 public:
  // Path is the key below the current user's hive, for example
  // "Software\Brimvale\Velmaris\Placement".
  explicit PlacementRegistry(std::string path);

  // The 32-bit value Name of the subkey Section, or def when the key or the
  // value is missing or not an integer.
  int32_t ReadInteger(const std::string& section, const std::string& name, int32_t def) const;
  // Creates the subkey when missing and writes the value. Raises the
  // registry's exception when it cannot.
  void WriteInteger(const std::string& section, const std::string& name, int32_t value);
  // Makes the written values persistent; raises the registry's exception
  // when the file cannot be saved.
  void Flush();

 private:
  std::string Key(const std::string& section) const;
  std::string path_;
};

struct PlaceRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const PlaceRect&) const = default;
};

// The stored bounds moved and shrunk onto the screen they overlap most (the
// nearest screen when they overlap none), never smaller than minW x minH
// (or the screen, when that is smaller).
PlaceRect ClampToScreens(const PlaceRect& stored, const std::vector<PlaceRect>& screens,
                         int minW = 120, int minH = 80);

// A window's frame moved, never resized, onto the screen it overlaps most
// (the nearest when it overlaps none): wholly when it fits, else with its
// top-left corner (the title bar) on the screen.
PlaceRect MoveOntoScreens(const PlaceRect& frame, const std::vector<PlaceRect>& screens);

// The same, with a frame larger than that screen shrunk to it first, never
// below minW x minH (what its layout needs): a frame that cannot shrink
// enough keeps its top-left corner on the screen.
PlaceRect FitOntoScreens(const PlaceRect& frame, const std::vector<PlaceRect>& screens, int minW,
                         int minH);

// Where a window goes so as not to cover another: its own place when it
// covers none of it; else the place beside the other (right, left, below or
// above, kept on the screen) that leaves the most of it uncovered, its own
// place when no side leaves more.
PlaceRect PlaceBeside(const PlaceRect& window, const PlaceRect& other, const PlaceRect& screen);

}  // namespace velmaris
