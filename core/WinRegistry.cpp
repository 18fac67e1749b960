#include "core/WinRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

using platform::ERegistry;
using platform::RegType;

namespace {

// Drops leading, trailing and doubled backslashes.
std::string NormaliseKey(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

void CheckType(const platform::Registry& reg, const std::string& key, const std::string& name,
               RegType type, const char* what) {
  auto t = reg.ValueType(key, name);
  if (t && *t != type) {
    throw ERegistry("Invalid data type for '" + name + "' (" + what + " expected)");
  }
}

// Key and value names compare without case.
std::string HeldKey(const std::string& key, const std::string& name) {
  return platform::LowerAscii(key) + '\n' + platform::LowerAscii(name);
}

}  // namespace

TWinRegistry::TWinRegistry(std::string rootPath, platform::Registry& registry, std::string startDir)
    : rootPath_(NormaliseKey(rootPath)), registry_(registry), startDir_(std::move(startDir)) {
  if (!registry_.KeyExists(rootPath_)) {
    registry_.CreateKey(rootPath_);
    dirty_ = true;
  }
}

TWinRegistry::~TWinRegistry() {
  if (!dirty_) return;
  try {
    registry_.Save();
  } catch (...) {
    // A destructor cannot report; callers that must know call Flush.
  }
}

void TWinRegistry::Flush() {
  registry_.Save();
  dirty_ = false;
}

std::string TWinRegistry::KeyOf(const std::string& section) const {
  std::string rel = NormaliseKey(section);
  if (rel.empty()) return rootPath_;
  if (rootPath_.empty()) return rel;
  return rootPath_ + "\\" + rel;
}

std::string TWinRegistry::ReadString(const std::string& section, const std::string& name,
                                     const std::string& defaultValue) const {
  std::string key = KeyOf(section);
  if (!registry_.ValueExists(key, name)) return defaultValue;
  CheckType(registry_, key, name, RegType::String, "string");
  return registry_.ReadString(key, name);
}

void TWinRegistry::WriteString(const std::string& section, const std::string& name,
                               const std::string& value) {
  const std::string key = KeyOf(section);
  std::string written = value;
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    auto it = held_.find(HeldKey(key, name));
    if (it != held_.end()) {
      if (SameAsRead(value, it->second.read))
        written = it->second.stored;
      else
        held_.erase(it);  // changed: the new value is the stored one from now on
    }
  }
  registry_.WriteString(key, name, written);
  dirty_ = true;
}

std::string TWinRegistry::ReadPath(const std::string& section, const std::string& name,
                                   const std::string& defaultValue) const {
  return ReadJudged(section, name, defaultValue, platform::StoredPathOnDisk);
}

std::string TWinRegistry::ReadCommandLine(const std::string& section, const std::string& name,
                                          const std::string& defaultValue) const {
  return ReadJudged(section, name, defaultValue, platform::StoredCommandLine);
}

std::string TWinRegistry::ReadJudged(const std::string& section, const std::string& name,
                                     const std::string& defaultValue,
                                     std::string (*judge)(const std::string&,
                                                          const std::string&)) const {
  const std::string key = KeyOf(section);
  if (!registry_.ValueExists(key, name)) return defaultValue;
  const std::string stored = ReadString(section, name, defaultValue);
  std::string read = judge(stored, startDir_);
  // The tree keeps the stored bytes: what was judged from this moment is
  // never saved in their place.
  if (read != stored) {
    std::lock_guard<std::mutex> lock(heldMutex_);
    held_[HeldKey(key, name)] = Held{stored, read};
  }
  return read;
}

bool TWinRegistry::SameAsRead(const std::string& value, const std::string& read) const {
  auto path = [this](const std::string& v) {
    std::string p = platform::WithoutEnclosingQuotes(v);
    if (!p.empty() && p.front() != '/' && !startDir_.empty())
      p = platform::WithSlash(startDir_) + p;
    return platform::WithoutSlash(p);
  };
  return value == read || path(value) == path(read);
}

int32_t TWinRegistry::ReadInteger(const std::string& section, const std::string& name,
                                  int32_t defaultValue) const {
  std::string key = KeyOf(section);
  if (!registry_.ValueExists(key, name)) return defaultValue;
  CheckType(registry_, key, name, RegType::DWord, "integer");
  return static_cast<int32_t>(registry_.ReadDWord(key, name));
}

void TWinRegistry::WriteInteger(const std::string& section, const std::string& name,
                                int32_t value) {
  registry_.WriteDWord(KeyOf(section), name, static_cast<uint32_t>(value));
  dirty_ = true;
}

bool TWinRegistry::ReadBool(const std::string& section, const std::string& name,
                            bool defaultValue) const {
  return ReadInteger(section, name, defaultValue ? 1 : 0) != 0;
}

void TWinRegistry::WriteBool(const std::string& section, const std::string& name, bool value) {
  WriteInteger(section, name, value ? 1 : 0);
}

size_t TWinRegistry::ReadBinary(const std::string& section, const std::string& name, void* buffer,
                                size_t size) const {
  std::string key = KeyOf(section);
  if (!registry_.ValueExists(key, name)) return 0;
  CheckType(registry_, key, name, RegType::Binary, "binary");
  std::vector<uint8_t> data = registry_.ReadBinary(key, name);
  if (data.size() > size) return 0;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return data.size();
}

void TWinRegistry::WriteBinary(const std::string& section, const std::string& name,
                               const void* buffer, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  registry_.WriteBinary(KeyOf(section), name, std::vector<uint8_t>(bytes, bytes + size));
  dirty_ = true;
}

void TWinRegistry::DeleteValue(const std::string& section, const std::string& name) {
  std::string key = KeyOf(section);
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    held_.erase(HeldKey(key, name));
  }
  if (registry_.ValueExists(key, name)) {
    registry_.DeleteValue(key, name);
    dirty_ = true;
  }
}

namespace {

// The n of a name "prefix<n>" (letter case ignored); 0 for any other name.
int64_t EntryNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 12 ||
      !platform::StartsWithNoCase(name, prefix))
    return 0;
  int64_t n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

void TWinRegistry::DeleteEntriesBeyond(const std::string& section, const std::string& prefix,
                                       int32_t count) {
  const std::string key = KeyOf(section);
  if (!registry_.KeyExists(key)) return;
  for (const std::string& sub : registry_.SubKeys(key))
    if (EntryNumber(sub, prefix) > count) {
      registry_.DeleteKey(key + "\\" + sub);
      dirty_ = true;
    }
  for (const std::string& value : registry_.ValueNames(key))
    if (EntryNumber(value, prefix) > count) {
      registry_.DeleteValue(key, value);
      dirty_ = true;
    }
}

void LoadStringsFromRegistry(std::vector<std::string>& lines, const TWinRegistry& registry,
                             const std::string& section) {
  lines.clear();
  int32_t count = registry.ReadInteger(section, "Count", 0);
  if (count <= 0) return;
  // A damaged Count cannot ask for more lines than the section holds values.
  std::string key = registry.KeyOf(section);
  size_t stored =
      registry.Registry().KeyExists(key) ? registry.Registry().ValueNames(key).size() : 0;
  size_t n = std::min(static_cast<size_t>(count), stored);
  lines.reserve(n);
  for (size_t i = 1; i <= n; ++i) {
    lines.push_back(registry.ReadString(section, "Item" + std::to_string(i), ""));
  }
}

void SaveStringsToRegistry(const std::vector<std::string>& lines, TWinRegistry& registry,
                           const std::string& section) {
  registry.WriteInteger(section, "Count", static_cast<int32_t>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i) {
    registry.WriteString(section, "Item" + std::to_string(i + 1), lines[i]);
  }
  registry.DeleteEntriesBeyond(section, "Item", static_cast<int32_t>(lines.size()));
}

}  // namespace velmaris
