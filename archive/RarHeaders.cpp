#include "archive/RarHeaders.h"

#include <cstring>
#include <string>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "platform/CodePage.h"

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

constexpr uint16_t kSplitBefore4 = 0x0001, kPassword4 = 0x0004, kLarge4 = 0x0100,
                   kUnicode4 = 0x0200;
constexpr uint8_t kStore4 = 0x30, kHostUnix4 = 3;
constexpr size_t kFileFields4 = 32;  // through ATTR

// The name field of a RAR 1.5-4 file header. Without the Unicode flag a
// Unix host writes the bytes of its locale: taken as UTF-8 when they are.
void TakeName4(TRarFileHeader& f, const std::string& field, bool unicode, bool unixHost) {
  if (!unicode) {
    f.Name = field;
    f.Utf8 = unixHost && platform::IsUtf8(field);
    return;
  }
  f.Utf8 = true;
  const size_t nul = field.find('\0');
  f.Name = nul == std::string::npos
               ? field
               : DecodeRarUnicodeName(field.substr(0, nul), field.substr(nul + 1));
}

std::optional<TRarFileHeader> FileHeader4(const TRarReadAt& read, uint64_t pos) {
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
      TRarFileHeader f;
      f.Crc = GetLE32(p + 16);
      if (size < kFileFields4) return f;
      const size_t nameAt = kFileFields4 + ((flags & kLarge4) ? 8 : 0);
      const size_t nameSize = GetLE16(p + 26);
      if (nameAt + nameSize > size) return f;
      f.PackedSize = GetLE32(p + 7);
      f.UnpackedSize = GetLE32(p + 11);
      if (flags & kLarge4) {
        f.PackedSize |= uint64_t(GetLE32(p + 32)) << 32;
        f.UnpackedSize |= uint64_t(GetLE32(p + 36)) << 32;
      }
      f.Stored = p[25] == kStore4;
      f.Encrypted = flags & kPassword4;
      f.SplitBefore = flags & kSplitBefore4;
      f.DataOffset = pos + size;
      TakeName4(f, h.substr(nameAt, nameSize), flags & kUnicode4, p[15] == kHostUnix4);
      return f;
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

constexpr uint64_t kExtraArea5 = 0x01, kDataArea5 = 0x02, kSplitBefore5 = 0x08;
constexpr uint64_t kEncryptionRecord5 = 1;

// Whether the extra area of a RAR 5 file header holds a file encryption record.
bool HasEncryptionRecord(const std::string& extra) {
  Cursor c{extra};
  while (c.ok && c.pos < extra.size()) {
    const auto size = c.VInt();
    if (!size || *size == 0 || *size > extra.size() - c.pos) return false;
    const size_t end = c.pos + size_t(*size);
    const auto type = c.VInt();
    if (type && *type == kEncryptionRecord5) return true;
    c.pos = end;
  }
  return false;
}

std::optional<TRarFileHeader> FileHeader5(const TRarReadAt& read, uint64_t pos) {
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
    const std::optional<uint64_t> extra =
        (*flags & kExtraArea5) ? c.VInt() : std::optional<uint64_t>(0);
    const std::optional<uint64_t> data =
        (*flags & kDataArea5) ? c.VInt() : std::optional<uint64_t>(0);
    if (!c.ok || !extra || !data || *extra > header.size()) return std::nullopt;
    if (*type == kFile5) {
      if (Crc32OfBuffer(p + 4, h.size() - 4) != GetLE32(p)) return std::nullopt;
      TRarFileHeader f;
      const auto fileFlags = c.VInt();
      const auto unpacked = c.VInt();
      c.VInt();  // attributes
      if (!c.ok || !fileFlags || !unpacked) return std::nullopt;
      if ((*fileFlags & 2) && !c.U32()) return std::nullopt;
      if (*fileFlags & 4) {
        f.Crc = c.U32();
        if (!f.Crc) return std::nullopt;
      }
      const auto compression = c.VInt();
      c.VInt();  // host OS
      const auto nameSize = c.VInt();
      if (!c.ok || !compression || !nameSize || *nameSize > header.size() - c.pos) return f;
      f.Name = header.substr(c.pos, size_t(*nameSize));
      f.Utf8 = true;
      f.Stored = ((*compression >> 7) & 7) == 0;
      f.SplitBefore = *flags & kSplitBefore5;
      f.Encrypted = HasEncryptionRecord(header.substr(header.size() - size_t(*extra)));
      f.UnpackedSize = *unpacked;
      f.PackedSize = *data;
      f.DataOffset = pos + h.size();
      return f;
    }
    const uint64_t end = pos + h.size();
    if (*data > UINT64_MAX - end) return std::nullopt;
    pos = end + *data;
  }
  return std::nullopt;
}

// Appends a character to UTF-8.
void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::optional<TRarFileHeader> RarFileHeaderAt(const TRarReadAt& read, uint64_t pos, bool rar5) {
  return rar5 ? FileHeader5(read, pos) : FileHeader4(read, pos);
}

std::optional<uint32_t> RarStoredFileCrc(const TRarReadAt& read, uint64_t pos, bool rar5) {
  const auto f = RarFileHeaderAt(read, pos, rar5);
  return f ? f->Crc : std::nullopt;
}

std::string DecodeRarUnicodeName(const std::string& oem, const std::string& encoded) {
  std::u32string name;
  const auto byte = [&encoded](size_t i) { return static_cast<uint8_t>(encoded[i]); };
  const auto oemByte = [&oem](size_t i) {
    return i < oem.size() ? static_cast<uint8_t>(oem[i]) : uint8_t(0);
  };
  if (encoded.empty()) return oem;
  const char32_t high = char32_t(byte(0)) << 8;
  size_t at = 1;
  unsigned flags = 0, flagBits = 0;
  while (at < encoded.size() && name.size() < kMaxRarNameChars) {
    if (flagBits == 0) {
      flags = byte(at++);
      flagBits = 8;
      if (at >= encoded.size()) break;
    }
    switch (flags >> 6) {
      case 0: name += char32_t(byte(at++)); break;
      case 1: name += char32_t(byte(at++)) + high; break;
      case 2:
        if (at + 1 >= encoded.size()) return {};
        name += char32_t(byte(at)) | (char32_t(byte(at + 1)) << 8);
        at += 2;
        break;
      default: {
        unsigned length = byte(at++);
        if (length & 0x80) {
          if (at >= encoded.size()) return {};
          const uint8_t correction = byte(at++);
          for (length = (length & 0x7F) + 2; length > 0 && name.size() < kMaxRarNameChars; --length)
            name += char32_t(uint8_t(oemByte(name.size()) + correction)) + high;
        } else {
          for (length += 2; length > 0 && name.size() < kMaxRarNameChars; --length)
            name += char32_t(oemByte(name.size()));
        }
        break;
      }
    }
    flags = (flags << 2) & 0xFF;
    flagBits -= 2;
  }
  std::string out;
  for (char32_t c : name) {
    if (c == 0) break;
    AppendUtf8(out, c >= 0xD800 && c <= 0xDFFF ? U'?' : c);  // half a surrogate pair
  }
  return out;
}

}  // namespace velmaris
