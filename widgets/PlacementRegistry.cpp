#include <exception>

#include "platform/Registry.h"
#include "widgets/Placement.h"

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
  platform::GetRegistry().WriteDWord(Key(section), name, static_cast<uint32_t>(value));
}

void PlacementRegistry::Flush() { platform::GetRegistry().Save(); }

}  // namespace velmaris
