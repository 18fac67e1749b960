#include "archive/ArcHeader.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace velmaris {

ArcHeaderResult DecodeArcHeader(const uint8_t* data, size_t size, ArcEntryHeader& out) {
  out = ArcEntryHeader{};
  if (size < 1) return ArcHeaderResult::kShort;
  if (data[0] != kArcMarker) return ArcHeaderResult::kBadMarker;
  if (size < 2) return ArcHeaderResult::kShort;
  out.type = data[1];
  if (out.type == 0 || out.type == kArcDirEnd) {
    out.headerSize = 2;
    return ArcHeaderResult::kOk;
  }
  const size_t need = out.type == 1 ? kArcOldHeaderSize : kArcHeaderSize;
  if (size < need) return ArcHeaderResult::kShort;
  const char* name = reinterpret_cast<const char*>(data + 2);
  out.name.assign(name, strnlen(name, 13));
  out.packedSize = GetLE32(data + 15);
  const uint16_t date = GetLE16(data + 19);
  const uint16_t time = GetLE16(data + 21);
  out.dosDateTime = (static_cast<uint32_t>(date) << 16) | time;
  out.crc = GetLE16(data + 23);
  // The old stored form has no original size: it is the stored size.
  out.originalSize = out.type == 1 ? out.packedSize : GetLE32(data + 25);
  out.headerSize = need;
  return ArcHeaderResult::kOk;
}

std::string EncodeArcHeader(const ArcEntryHeader& h) {
  std::string s;
  s += static_cast<char>(kArcMarker);
  s += static_cast<char>(h.type);
  if (h.type == 0 || h.type == kArcDirEnd) return s;
  std::string name = h.name.substr(0, 12);
  name.resize(13, '\0');
  s += name;
  AppendLE32(s, h.packedSize);
  AppendLE16(s, static_cast<uint16_t>(h.dosDateTime >> 16));
  AppendLE16(s, static_cast<uint16_t>(h.dosDateTime & 0xFFFF));
  AppendLE16(s, h.crc);
  if (h.type != 1) AppendLE32(s, h.originalSize);
  return s;
}

}  // namespace velmaris
