#include "archive/RarHeaders.h"

#include <cstring>
#include <string>

#include "core/ByteOrder.h"
#include "core/Crc.h"

namespace velmaris {

namespace {

constexpr char kMarker4[] = "Rar!\x1A\x07\x00";
constexpr char kMarker5[] = "Rar!\x1A\x07\x01\x00";
constexpr uint8_t kFile4 = 0x74, kEnd4 = 0x7B;
constexpr uint16_t kLongBlock = 0x8000;
constexpr uint64_t kFile5 = 2, kEnd5 = 5;

// Reads exactly n bytes at offset into out.
bool ReadExactly(const TRarReadAt& read, uint64_t offset, size_t n, std::string& out) {
  out.resize(n);
  return read(offset, out.data(), n) == n;
}

// A bounded cursor over one header.
struct Cursor {
  const std::string& bytes;
  size_t pos = 0;
  bool ok = true;

  std::optional<uint64_t> VInt() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64 && pos < bytes.size(); shift += 7) {
      const auto b = static_cast<uint8_t>(bytes[pos++]);
      v |= uint64_t(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    ok = false;
    return std::nullopt;
  }
  std::optional<uint32_t> U32() {
    if (bytes.size() - pos < 4) return std::nullopt;
    const uint32_t v = GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + pos);
    pos += 4;
    return v;
  }
};

bool StartsWith(const TRarReadAt& read, uint64_t pos, const char* marker, size_t n) {
  std::string head;
  return ReadExactly(read, pos, n, head) && std::memcmp(head.data(), marker, n) == 0;
}

std::optional<uint32_t> Rar4Crc(const TRarReadAt& read, uint64_t pos) {
  if (StartsWith(read, pos, kMarker4, 7)) pos += 7;
  std::string h;
  for (int block = 0; block < kMaxRarBlocks; ++block) {
    if (!ReadExactly(read, pos, 7, h)) return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(h.data());
    const uint8_t type = p[2];
    const uint16_t flags = GetLE16(p + 3), size = GetLE16(p + 5);
    if (size < 7 || type == kEnd4) return std::nullopt;
    if (!ReadExactly(read, pos, size, h)) return std::nullopt;
    p = reinterpret_cast<const uint8_t*>(h.data());
    if (type == kFile4) {
      if (size < 20 || (Crc32OfBuffer(p + 2, size - 2u) & 0xFFFF) != GetLE16(p))
        return std::nullopt;
      return GetLE32(p + 16);
    }
    uint64_t next = pos + size;
    if (flags & kLongBlock) {
      if (size < 11) return std::nullopt;
      next += GetLE32(p + 7);
    }
    pos = next;
  }
  return std::nullopt;
}

std::optional<uint32_t> Rar5Crc(const TRarReadAt& read, uint64_t pos) {
  if (StartsWith(read, pos, kMarker5, 8)) pos += 8;
  std::string h;
  for (int block = 0; block < kMaxRarBlocks; ++block) {
    // The CRC and the size field (at most 3 bytes).
    std::string start(7, '\0');
    start.resize(read(pos, start.data(), start.size()));
    if (start.size() < 5) return std::nullopt;
    Cursor sizeField{start, 4};
    const auto size = sizeField.VInt();
    if (!size || sizeField.pos > 7 || *size == 0 || *size > kMaxRar5HeaderSize) return std::nullopt;
    const size_t sizeLen = sizeField.pos - 4;
    if (!ReadExactly(read, pos, 4 + sizeLen + size_t(*size), h)) return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(h.data());
    const std::string header = h.substr(4 + sizeLen);
    Cursor c{header};
    const auto type = c.VInt(), flags = c.VInt();
    if (!type || !flags || *type == kEnd5) return std::nullopt;
    if (*flags & 1) c.VInt();
    const std::optional<uint64_t> data = (*flags & 2) ? c.VInt() : std::optional<uint64_t>(0);
    if (!c.ok || !data) return std::nullopt;
    if (*type == kFile5) {
      if (Crc32OfBuffer(p + 4, h.size() - 4) != GetLE32(p)) return std::nullopt;
      const auto fileFlags = c.VInt();
      c.VInt();  // unpacked size
      c.VInt();  // attributes
      if (!c.ok || !fileFlags || !(*fileFlags & 4)) return std::nullopt;
      if ((*fileFlags & 2) && !c.U32()) return std::nullopt;
      return c.U32();
    }
    const uint64_t end = pos + h.size();
    if (*data > UINT64_MAX - end) return std::nullopt;
    pos = end + *data;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint32_t> RarStoredFileCrc(const TRarReadAt& read, uint64_t pos, bool rar5) {
  return rar5 ? Rar5Crc(read, pos) : Rar4Crc(read, pos);
}

}  // namespace velmaris
