#include "archive/ZipNames.h"

#include "core/Crc.h"
#include "platform/CodePage.h"
#include "platform/WireName.h"

namespace velmaris {

namespace {

constexpr uint16_t kUnicodePathField = 0x7075;
constexpr uint32_t kUtf8NameFlag = 0x0800;  // general purpose bit 11

uint16_t Le16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                               static_cast<unsigned char>(s[at + 1]) << 8);
}

uint32_t Le32(std::string_view s, size_t at) {
  return Le16(s, at) | static_cast<uint32_t>(Le16(s, at + 2)) << 16;
}

// The UTF-8 name of a sound Unicode Path field for stored, or "".
std::string UnicodePath(std::string_view stored, std::string_view extra) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t id = Le16(extra, at), size = Le16(extra, at + 2);
    if (size > extra.size() - at - 4) break;
    const std::string_view body = extra.substr(at + 4, size);
    at += 4u + size;
    if (id != kUnicodePathField || body.size() < 6 || body[0] != 1) continue;
    if (Le32(body, 1) != Crc32OfString(stored)) continue;
    const std::string_view name = body.substr(5);
    if (platform::IsUtf8(name)) return std::string(name);
  }
  return {};
}

}  // namespace

std::string ZipEntryDiskName(std::string_view stored, uint32_t flags, std::string_view extra) {
  std::string name = UnicodePath(stored, extra);
  if (!name.empty()) return name;
  if ((flags & kUtf8NameFlag) && platform::IsUtf8(stored)) return std::string(stored);
  return platform::DiskName(stored);
}

}  // namespace velmaris
