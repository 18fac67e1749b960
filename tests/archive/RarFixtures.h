// RAR archives written by hand after the public format descriptions (RAR
// 1.5 to 4 and RAR 5.0), with stored entries only: enough for the reader
// that stands in for the RAR library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Crc.h"
#include "platform/CodePage.h"

namespace velmaris::test {

struct RarEntry {
  std::string name;
  std::string data;
  bool encrypted = false;  // flagged so (the data are not really encrypted)
  bool directory = false;
  int crcDelta = 0;   // added to the stored CRC-32 of the data
  int sizeDelta = 0;  // added to the stored unpacked size
  // RAR 1.5-4: name is UTF-8, stored with the Unicode flag (its CP866 form,
  // a NUL and the encoded UTF-16 of the format).
  bool unicode = false;
  // The entry continues a file of an earlier volume (the archive is flagged
  // as a volume).
  bool splitBefore = false;
  // RAR 1.5-4: written on Unix (HOST_OS 3), not on Windows.
  bool unixHost = false;
};

namespace rar_detail {

inline void Le(std::string& s, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
}

// A RAR 1.5-4 block: HEAD_CRC (low half of the CRC-32 of what follows it),
// then HEAD_TYPE, HEAD_FLAGS, HEAD_SIZE and the fields.
inline std::string Block4(uint8_t type, uint16_t flags, const std::string& fields) {
  std::string body;
  body += char(type);
  Le(body, flags, 2);
  Le(body, 7 + fields.size(), 2);
  body += fields;
  std::string block;
  Le(block, Crc32OfBuffer(body.data(), body.size()) & 0xFFFF, 2);
  return block + body;
}

// RAR 5.0 variable-length integer.
inline std::string VInt(uint64_t v) {
  std::string s;
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v) b |= 0x80;
    s += char(b);
  } while (v);
  return s;
}

// A RAR 5.0 block: CRC-32 of the size and the header, the size, the header
// (type, flags, fields).
inline std::string Block5(uint64_t type, uint64_t flags, const std::string& fields) {
  const std::string header = VInt(type) + VInt(flags) + fields;
  const std::string sized = VInt(header.size()) + header;
  std::string block;
  Le(block, Crc32OfBuffer(sized.data(), sized.size()), 4);
  return block + sized;
}

// The Unicode name field of RAR 1.5-4: the OEM form, a NUL, the high byte
// of the non-Latin-1 characters, then per group of four characters a flags
// byte (two bits each: 0 low byte only, 1 low byte with that high byte,
// 2 low and high byte) and their bytes.
inline std::string UnicodeNameField(const std::string& utf8) {
  std::u32string wide;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    wide += c;
    i += size_t(n);
  }
  uint8_t high = 0;
  for (char32_t c : wide)
    if (c > 0xFF) high = uint8_t(c >> 8);
  std::string out = platform::FromUtf8(utf8, platform::CodePage::CP866) + '\0' + char(high);
  for (size_t i = 0; i < wide.size(); i += 4) {
    uint8_t flags = 0;
    std::string bytes;
    for (size_t k = 0; k < 4 && i + k < wide.size(); ++k) {
      const char32_t c = wide[i + k];
      const int op = c <= 0xFF ? 0 : uint8_t(c >> 8) == high ? 1 : 2;
      flags |= uint8_t(op << (6 - 2 * k));
      bytes += char(c & 0xFF);
      if (op == 2) bytes += char(c >> 8);
    }
    out += char(flags) + bytes;
  }
  return out;
}

}  // namespace rar_detail

// RAR 1.5-4 (unpack version 2.9): marker, main header, one stored file
// header and its data per entry, end of archive.
inline std::string Rar4Stored(const std::vector<RarEntry>& entries) {
  using namespace rar_detail;
  std::string out("Rar!\x1A\x07\x00", 7);
  bool volume = false;
  for (const auto& e : entries) volume = volume || e.splitBefore;
  out += Block4(0x73, volume ? 0x0001 : 0, std::string(6, '\0'));
  for (const auto& e : entries) {
    const std::string name = e.unicode ? UnicodeNameField(e.name) : e.name;
    std::string f;
    Le(f, e.data.size(), 4);                // PACK_SIZE
    Le(f, e.data.size() + e.sizeDelta, 4);  // UNP_SIZE
    f += char(e.unixHost ? 3 : 2);          // HOST_OS: Unix or Windows
    Le(f, Crc32OfBuffer(e.data.data(), e.data.size()) + uint32_t(e.crcDelta), 4);
    Le(f, 0x5A8B6000, 4);                 // FTIME (DOS)
    f += char(29);                        // UNP_VER
    f += char(0x30);                      // METHOD: store
    Le(f, name.size(), 2);                // NAME_SIZE
    Le(f, e.directory ? 0x10 : 0x20, 4);  // ATTR
    f += name;
    uint16_t flags = 0x8000;  // data follow
    if (e.unicode) flags |= 0x0200;
    if (e.splitBefore) flags |= 0x0001;
    if (e.encrypted) {
      flags |= 0x0004 | 0x0400;  // password, salt
      f += std::string(8, 'S');
    }
    if (e.directory) flags |= 0x00E0;
    out += Block4(0x74, flags, f) + e.data;
  }
  return out + Block4(0x7B, 0x4000, "");
}

// RAR 1.5-4 up to the data of one stored entry of size bytes (sizes of 64
// bits); the data and the end block (rar_detail::Block4(0x7B, 0x4000, ""))
// are the caller's.
inline std::string Rar4StoredHead(const std::string& name, uint64_t size) {
  using namespace rar_detail;
  std::string f;
  Le(f, size, 4);        // PACK_SIZE
  Le(f, size, 4);        // UNP_SIZE
  f += char(2);          // HOST_OS: Windows
  Le(f, 0, 4);           // FILE_CRC
  Le(f, 0x5A8B6000, 4);  // FTIME
  f += char(29);         // UNP_VER
  f += char(0x30);       // METHOD: store
  Le(f, name.size(), 2);
  Le(f, 0x20, 4);
  Le(f, size >> 32, 4);  // HIGH_PACK_SIZE
  Le(f, size >> 32, 4);  // HIGH_UNP_SIZE
  f += name;
  return std::string("Rar!\x1A\x07\x00", 7) + Block4(0x73, 0, std::string(6, '\0')) +
         Block4(0x74, 0x8000 | 0x0100, f);
}

// RAR 1.5-4 with one entry of method 0x33 (normal) whose packed data stand
// as given: enough to set libarchive's decoder to work on them.
inline std::string Rar4Packed(const std::string& name, const std::string& packed,
                              uint32_t unpackedSize) {
  using namespace rar_detail;
  std::string f;
  Le(f, packed.size(), 4);  // PACK_SIZE
  Le(f, unpackedSize, 4);   // UNP_SIZE
  f += char(2);             // HOST_OS: Windows
  Le(f, 0, 4);              // FILE_CRC
  Le(f, 0x5A8B6000, 4);     // FTIME
  f += char(29);            // UNP_VER
  f += char(0x33);          // METHOD: normal
  Le(f, name.size(), 2);
  Le(f, 0x20, 4);
  f += name;
  return std::string("Rar!\x1A\x07\x00", 7) + Block4(0x73, 0, std::string(6, '\0')) +
         Block4(0x74, 0x8000, f) + packed + Block4(0x7B, 0x4000, "");
}

// RAR 5.0 with one entry whose compression information (method 3, and the
// window as 128 KB shifted left by dictionaryShift) stands as given.
inline std::string Rar5Packed(const std::string& name, const std::string& packed,
                              uint64_t unpackedSize, unsigned dictionaryShift) {
  using namespace rar_detail;
  std::string f = VInt(packed.size());
  f += VInt(0x02);  // file flags: mtime
  f += VInt(unpackedSize);
  f += VInt(0x20);
  Le(f, 1700000000, 4);
  f += VInt((uint64_t(dictionaryShift) << 10) | (3u << 7));
  f += VInt(0);
  f += VInt(name.size()) + name;
  return std::string("Rar!\x1A\x07\x01\x00", 8) + Block5(1, 0, VInt(0)) + Block5(2, 0x02, f) +
         packed + Block5(5, 0, VInt(0));
}

// RAR 5.0: signature, main header, one file header with its stored data per
// entry, end of archive.
inline std::string Rar5Stored(const std::vector<RarEntry>& entries) {
  using namespace rar_detail;
  std::string out("Rar!\x1A\x07\x01\x00", 8);
  bool volume = false;
  for (const auto& e : entries) volume = volume || e.splitBefore;
  out += Block5(1, 0, VInt(volume ? 0x0001 : 0));  // archive flags: volume
  for (const auto& e : entries) {
    // An encrypted entry carries a file encryption record (type 1: version,
    // flags, KDF count, salt, IV) in its extra area.
    std::string extra;
    if (e.encrypted) {
      const std::string record = VInt(1) + VInt(0) + VInt(0) + char(15) + std::string(32, 'S');
      extra = VInt(record.size()) + record;
    }
    std::string f = e.encrypted ? VInt(extra.size()) : std::string();  // extra size (flag 1)
    f += VInt(e.data.size());                                          // data size (flag 2)
    f += VInt(e.directory ? 0x01 | 0x02 : 0x02 | 0x04);                // file flags: mtime, CRC
    f += VInt(e.data.size() + e.sizeDelta);                            // unpacked size
    f += VInt(e.directory ? 0x10 : 0x20);                              // attributes
    Le(f, 1700000000, 4);                                              // mtime (Unix)
    if (!e.directory) Le(f, Crc32OfBuffer(e.data.data(), e.data.size()) + uint32_t(e.crcDelta), 4);
    f += VInt(0);  // version 0, stored
    f += VInt(0);  // host OS: Windows
    f += VInt(e.name.size()) + e.name + extra;
    uint64_t flags = 0x02;  // data area
    if (e.encrypted) flags |= 0x01;
    if (e.splitBefore) flags |= 0x08;
    out += Block5(2, flags, f) + e.data;
  }
  return out + Block5(5, 0, VInt(0));
}

}  // namespace velmaris::test
