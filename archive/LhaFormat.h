// LHA/LZH entry headers of levels 0, 1 and 2.
//
// Levels 0 and 1: byte 0 is the size of the header after its first two
// bytes, byte 1 a checksum, then the method ("-lh5-"), packed and original
// size, DOS date-time, attribute, level, the name (length byte first) and
// the CRC-16 of the data. Level 1 adds an OS byte and a chain of extended
// headers that the packed size includes.
// Level 2: bytes 0-1 are the size of the whole header; the time is in Unix
// seconds and the name and directory live in extended headers.
// Extended headers: a type byte, the data and the 16-bit size of the next
// extended header (0 ends the chain); a size counts all three parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace velmaris {

enum class TLhaRead { Ok, End, BadHeader, Short };

struct TLhaHeader {
  int Level = 0;
  std::string Method;       // the five characters, "-lh5-"
  uint64_t PackedSize = 0;  // of the data alone
  uint64_t OriginalSize = 0;
  uint32_t Stamp = 0;  // DOS date-time (levels 0, 1) or Unix seconds (level 2)
  uint8_t Attr = 0x20;
  uint16_t Crc = 0;
  std::string Name;         // with its directory, "/" separated
  uint64_t HeaderSize = 0;  // bytes from the header's start to the data

  // The method digit ('0' .. '7', 'd' for a directory); 0 when the method
  // is not of the "-lh?-" form.
  char MethodChar() const;
  bool IsDirectory() const { return MethodChar() == 'd'; }
};

// Reads one header through read(buf, n) (returning the bytes it could
// read). End: the end mark (a 0 byte) or nothing left; Short: a header cut
// off by the end of the data.
TLhaRead ReadLhaHeader(const std::function<size_t(uint8_t*, size_t)>& read, TLhaHeader& h);

}  // namespace velmaris
