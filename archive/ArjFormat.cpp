#include "archive/ArjFormat.h"

#include <vector>

#include "archive/arxBase.h"

namespace velmaris {

namespace {

constexpr size_t kFixedMin = 30;

// The zero-terminated text at p[pos..n); false without a terminator.
bool TakeString(const uint8_t* p, size_t n, size_t& pos, std::string& out) {
  for (size_t i = pos; i < n; ++i) {
    if (p[i] == 0) {
      out.assign(reinterpret_cast<const char*>(p + pos), i - pos);
      pos = i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

bool DecodeArjHeader(const uint8_t* p, size_t n, TArjHeader& h) {
  if (n < kFixedMin) return false;
  h.FirstHeaderSize = p[0];
  if (h.FirstHeaderSize < kFixedMin || h.FirstHeaderSize > n) return false;
  h.ArchiverVersion = p[1];
  h.MinVersion = p[2];
  h.HostOS = p[3];
  h.Flags = p[4];
  h.Method = p[5];
  h.FileType = p[6];
  h.PasswordModifier = p[7];
  h.DosDateTime = GetLE32(p + 8);
  h.CompressedSize = GetLE32(p + 12);
  h.OriginalSize = GetLE32(p + 16);
  h.Crc = GetLE32(p + 20);
  h.FilespecPos = GetLE16(p + 24);
  h.Attributes = GetLE16(p + 26);
  h.HostData = GetLE16(p + 28);
  h.ExtFilePosition = h.FirstHeaderSize >= 34 ? GetLE32(p + 30) : 0;
  size_t pos = h.FirstHeaderSize;
  return TakeString(p, n, pos, h.Name) && TakeString(p, n, pos, h.Comment);
}

std::optional<size_t> FindArjMainHeader(const uint8_t* buf, size_t n, size_t limit) {
  for (size_t i = 0; i < limit && i + 4 <= n; ++i) {
    if (buf[i] != 0x60 || buf[i + 1] != 0xEA) continue;
    const size_t size = GetLE16(buf + i + 2);
    if (size == 0 || size > kArjMaxHeader || i + 4 + size + 4 > n) continue;
    const uint32_t crc = Crc32Update(0xFFFFFFFFu, buf + i + 4, size) ^ 0xFFFFFFFFu;
    if (crc == GetLE32(buf + i + 4 + size)) return i;
  }
  return std::nullopt;
}

TArjRead ReadArjHeader(const std::function<size_t(uint8_t*, size_t)>& read, TArjHeader& h,
                       uint64_t& consumed) {
  uint8_t head[4];
  consumed = 0;
  if (read(head, 4) != 4) return TArjRead::Short;
  consumed = 4;
  if (head[0] != 0x60 || head[1] != 0xEA) return TArjRead::BadId;
  const size_t size = GetLE16(head + 2);
  if (size == 0) return TArjRead::End;
  if (size > kArjMaxHeader) return TArjRead::BadSize;
  std::vector<uint8_t> buf(size + 4);
  if (read(buf.data(), buf.size()) != buf.size()) return TArjRead::Short;
  consumed += buf.size();
  const uint32_t crc = Crc32Update(0xFFFFFFFFu, buf.data(), size) ^ 0xFFFFFFFFu;
  if (crc != GetLE32(buf.data() + size)) return TArjRead::BadCrc;
  if (!DecodeArjHeader(buf.data(), size, h)) return TArjRead::Malformed;
  // Extended headers are passed over; each carries its own CRC-32.
  for (;;) {
    uint8_t sz[2];
    if (read(sz, 2) != 2) return TArjRead::Short;
    consumed += 2;
    const size_t ext = GetLE16(sz);
    if (ext == 0) break;
    std::vector<uint8_t> data(ext + 4);
    if (read(data.data(), data.size()) != data.size()) return TArjRead::Short;
    consumed += data.size();
    const uint32_t extCrc = Crc32Update(0xFFFFFFFFu, data.data(), ext) ^ 0xFFFFFFFFu;
    if (extCrc != GetLE32(data.data() + ext)) return TArjRead::BadCrc;
  }
  return TArjRead::Ok;
}

}  // namespace velmaris
