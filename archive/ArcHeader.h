// The entry header of ARC archives, decoded field by field.
//
//   offset size field
//   0      1    marker 0x1A
//   1      1    type: 0 end of archive (or of a directory's entries),
//               1..19 method of a file entry, 20..39 items,
//               30 start of a directory, 31 end of a directory
//   2      13   name, ended by a 0 byte
//   15     4    compressed size
//   19     2    DOS date
//   21     2    DOS time
//   23     2    CRC-16/ARC of the original data
//   25     4    original size (not present for type 1, whose header is 25 bytes)
//
// The end of archive and the end of a directory are 2-byte records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmaris {

constexpr uint8_t kArcMarker = 0x1A;
constexpr int kArcDirStart = 30;
constexpr int kArcDirEnd = 31;
constexpr size_t kArcHeaderSize = 29;
constexpr size_t kArcOldHeaderSize = 25;

struct ArcEntryHeader {
  int type = 0;      // 0 end, 1..29 method, 30/31 directory records
  std::string name;  // as stored, up to 12 bytes
  uint32_t packedSize = 0;
  uint32_t dosDateTime = 0;  // DOS date in the high half, time in the low half
  uint16_t crc = 0;
  uint32_t originalSize = 0;
  size_t headerSize = 0;  // bytes of the header record itself
};

enum class ArcHeaderResult {
  kOk,         // a complete header was decoded
  kBadMarker,  // the first byte is not 0x1A
  kShort,      // fewer bytes than the header of its type needs
};

// Decodes the header at data (size bytes available). For the end of archive
// and the end of a directory only the first two bytes are needed.
ArcHeaderResult DecodeArcHeader(const uint8_t* data, size_t size, ArcEntryHeader& out);

// Encodes a header in the layout above (tests and tools make archives with it).
std::string EncodeArcHeader(const ArcEntryHeader& h);

}  // namespace velmaris
