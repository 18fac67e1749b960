// The file headers of a RAR archive, found by walking the archive's blocks
// from a given offset. The reader that stands in for the RAR library takes
// from them what libarchive does not give (or gives by the locale): the
// CRC-32 of the data, the name as stored, encryption, continuation from an
// earlier volume, and where the data lie.
//
// RAR 1.5-4 (after the marker "Rar!\x1A\x07\x00"): blocks of
//   +0 HEAD_CRC (16: low half of the CRC-32 of +2 .. HEAD_SIZE)
//   +2 HEAD_TYPE (8; 0x74 a file, 0x7B the end)   +3 HEAD_FLAGS (16)
//   +5 HEAD_SIZE (16)   +7 ADD_SIZE (32, when HEAD_FLAGS has 0x8000)
// followed by ADD_SIZE bytes of data. A file header holds PACK_SIZE (+7),
// UNP_SIZE (+11), HOST_OS (+15), FILE_CRC (+16), FTIME (+20), UNP_VER (+24),
// METHOD (+25; 0x30 stored), NAME_SIZE (+26), ATTR (+28), with HEAD_FLAGS
// 0x100 HIGH_PACK_SIZE and HIGH_UNP_SIZE (+32), then the name. HEAD_FLAGS of
// a file: 0x01 continued from the previous volume, 0x04 encrypted, 0x200 the
// name is Unicode: the OEM name, a NUL and the Unicode name encoded (see
// DecodeRarUnicodeName), or without a NUL the name in UTF-8. Without 0x200
// the name is OEM, or UTF-8 when HOST_OS is 3 (Unix) and the bytes are.
// RAR 5 (after "Rar!\x1A\x07\x01\x00"): headers of
//   CRC-32 (32, of the size field and the header), size (vint, at most 3
//   bytes), type (vint; 2 a file, 5 the end), flags (vint; 1 an extra area
//   follows, 2 a data area follows, 8 the data continue from the previous
//   volume), [extra size (vint)], [data size (vint)]
// and for a file: file flags (vint; 2 mtime, 4 CRC-32), unpacked size
// (vint), attributes (vint), [mtime (32)], [CRC-32 (32)], compression
// information (vint; bits 7-9 the method, 0 stored), host OS (vint), name
// length (vint), name (UTF-8), then the extra area: records of size (vint),
// type (vint; 1 file encryption) and data.
// Every field is read within its header; headers whose checksum fails, walks
// beyond the file and more than kMaxRarBlocks blocks give nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmaris {

// Reads up to n bytes at offset; the number read.
using TRarReadAt = std::function<size_t(uint64_t offset, void* buf, size_t n)>;

inline constexpr int kMaxRarBlocks = 100000;
inline constexpr size_t kMaxRar5HeaderSize = 2u << 20;
inline constexpr size_t kMaxRarNameChars = 1024;

struct TRarFileHeader {
  std::optional<uint32_t> Crc;  // of the unpacked data, when the header holds one
  std::string Name;             // as stored; UTF-8 when Utf8, else the OEM bytes
  bool Utf8 = false;            // RAR 5, RAR 1.5-4 with the Unicode flag or from Unix in UTF-8
  bool Encrypted = false;
  bool SplitBefore = false;  // continues a file of the previous volume
  bool Stored = false;       // not compressed
  uint64_t DataOffset = 0;
  uint64_t PackedSize = 0;
  uint64_t UnpackedSize = 0;
};

// The first file header at or after pos (a marker there is passed over);
// nullopt when there is none or it is damaged.
std::optional<TRarFileHeader> RarFileHeaderAt(const TRarReadAt& read, uint64_t pos, bool rar5);

// The CRC-32 of the first file header at or after pos; nullopt when there is
// none, it stores none (a RAR 5 directory) or its header is damaged.
std::optional<uint32_t> RarStoredFileCrc(const TRarReadAt& read, uint64_t pos, bool rar5);

// The Unicode name of a RAR 1.5-4 name field with the Unicode flag and a NUL:
// oem is the part before the NUL, encoded the part after it (a high byte,
// then flag bytes whose 2-bit codes say per character: 0 a low byte, 1 a low
// byte with the high byte, 2 a low and a high byte, 3 a run copied from the
// OEM name, with a correction added when its length byte has 0x80). In
// UTF-8; at most kMaxRarNameChars characters.
std::string DecodeRarUnicodeName(const std::string& oem, const std::string& encoded);

}  // namespace velmaris
