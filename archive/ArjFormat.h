// ARJ archive headers: decoding of the basic header and the search for the
// main header. Every header is the id 60 EA, a 16-bit size (0 ends the
// archive, at most 2600), that many bytes of basic header, its CRC-32 and a
// chain of extended headers (16-bit size, data, CRC-32; size 0 ends it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmaris {

constexpr size_t kArjMaxHeader = 2600;
constexpr size_t kArjMainSearch = 25000;  // how far the main header may lie

enum : uint8_t {
  kArjGarbled = 0x01,
  kArjVolume = 0x04,   // continues in the next volume
  kArjExtFile = 0x08,  // continued from the previous volume
  kArjPathSym = 0x10,
};

enum : uint8_t { kArjTypeBinary = 0, kArjTypeText = 1, kArjTypeMain = 2, kArjTypeDirectory = 3 };

struct TArjHeader {
  uint8_t FirstHeaderSize = 0;
  uint8_t ArchiverVersion = 0;
  uint8_t MinVersion = 0;
  uint8_t HostOS = 0;
  uint8_t Flags = 0;
  uint8_t Method = 0;
  uint8_t FileType = 0;
  uint8_t PasswordModifier = 0;
  uint32_t DosDateTime = 0;
  uint32_t CompressedSize = 0;
  uint32_t OriginalSize = 0;
  uint32_t Crc = 0;
  uint16_t FilespecPos = 0;
  uint16_t Attributes = 0;
  uint16_t HostData = 0;
  uint32_t ExtFilePosition = 0;  // where a continued part starts in the file
  std::string Name;              // as stored (OEM code page, "/" or "\")
  std::string Comment;
};

// Decodes a basic header of n bytes. False when it is malformed: a fixed
// part shorter than 30 bytes or reaching past n, or a name or comment
// without its terminating zero.
bool DecodeArjHeader(const uint8_t* p, size_t n, TArjHeader& h);

// Searches buf (which starts at the archive's start offset) for the first
// position where 60 EA, a size of at most 2600 and a matching header CRC-32
// stand, within the first `limit` bytes. The header must lie wholly in buf.
std::optional<size_t> FindArjMainHeader(const uint8_t* buf, size_t n,
                                        size_t limit = kArjMainSearch);

// The outcome of reading one header from a stream.
enum class TArjRead { Ok, End, BadId, BadSize, BadCrc, Short, Malformed };

// Reads one header (id, size, basic header, CRC, extended headers) through
// read(buf, n), which returns the bytes it could read. `consumed` is the
// number of bytes the header took.
TArjRead ReadArjHeader(const std::function<size_t(uint8_t*, size_t)>& read, TArjHeader& h,
                       uint64_t& consumed);

}  // namespace velmaris
