#include "widgets/Placement.h"

#include <algorithm>

#include "platform/Registry.h"

namespace velmaris {

PlacementRegistry::PlacementRegistry(std::string path) : path_(std::move(path)) {
  while (!path_.empty() && path_.back() == '\\') path_.pop_back();
}

std::string PlacementRegistry::Key(const std::string& section) const {
  return section.empty() ? path_ : path_ + "\\" + section;
}

int32_t PlacementRegistry::ReadInteger(const std::string& section, const std::string& name,
                                       int32_t def) const {
  try {
    platform::Registry& reg = platform::GetRegistry();
    const std::string key = Key(section);
    if (reg.ValueType(key, name) != platform::RegType::DWord) return def;
    return static_cast<int32_t>(reg.ReadDWord(key, name));
  } catch (const std::exception&) {
    return def;
  }
}

void PlacementRegistry::WriteInteger(const std::string& section, const std::string& name,
                                     int32_t value) {
  try {
    platform::GetRegistry().WriteDWord(Key(section), name, static_cast<uint32_t>(value));
  } catch (const std::exception&) {
  }
}

void PlacementRegistry::Flush() {
  try {
    platform::GetRegistry().Save();
  } catch (const std::exception&) {
  }
}

PlaceRect ClampToScreens(const PlaceRect& stored, const std::vector<PlaceRect>& screens,
                         int minW, int minH) {
  if (screens.empty()) return stored;
  auto overlap = [&](const PlaceRect& s) -> long long {
    const long long w = std::min<long long>(stored.x + static_cast<long long>(stored.w), s.x + static_cast<long long>(s.w)) -
                        std::max<long long>(stored.x, s.x);
    const long long h = std::min<long long>(stored.y + static_cast<long long>(stored.h), s.y + static_cast<long long>(s.h)) -
                        std::max<long long>(stored.y, s.y);
    return w > 0 && h > 0 ? w * h : 0;
  };
  const PlaceRect* best = &screens.front();
  long long bestArea = overlap(*best);
  for (const PlaceRect& s : screens) {
    const long long a = overlap(s);
    if (a > bestArea) {
      bestArea = a;
      best = &s;
    }
  }
  const PlaceRect& s = *best;
  PlaceRect r;
  r.w = std::clamp(stored.w, std::min(minW, s.w), s.w);
  r.h = std::clamp(stored.h, std::min(minH, s.h), s.h);
  r.x = std::clamp(stored.x, s.x, s.x + s.w - r.w);
  r.y = std::clamp(stored.y, s.y, s.y + s.h - r.h);
  return r;
}

}  // namespace velmaris
