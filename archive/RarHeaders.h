// The CRC-32 a RAR file header stores for its data, found by walking the
// archive's blocks from a given offset. The reader that stands in for the
// RAR library uses it, since libarchive checks no checksum of stored data.
//
// RAR 1.5-4 (after the marker "Rar!\x1A\x07\x00"): blocks of
//   +0 HEAD_CRC (16: low half of the CRC-32 of +2 .. HEAD_SIZE)
//   +2 HEAD_TYPE (8; 0x74 a file, 0x7B the end)   +3 HEAD_FLAGS (16)
//   +5 HEAD_SIZE (16)   +7 ADD_SIZE (32, when HEAD_FLAGS has 0x8000)
// followed by ADD_SIZE bytes of data; a file header holds its data's CRC-32
// at +16 (after PACK_SIZE, UNP_SIZE and HOST_OS).
// RAR 5 (after "Rar!\x1A\x07\x01\x00"): headers of
//   CRC-32 (32, of the size field and the header), size (vint, at most 3
//   bytes), type (vint; 2 a file, 5 the end), flags (vint; 1 an extra area
//   follows, 2 a data area follows), [extra size (vint)], [data size (vint)]
// and for a file: file flags (vint; 2 mtime, 4 CRC-32), unpacked size
// (vint), attributes (vint), [mtime (32)], [CRC-32 (32)].
// Every field is read within its header; headers whose checksum fails, walks
// beyond the file and more than kMaxRarBlocks blocks give no CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace velmaris {

// Reads up to n bytes at offset; the number read.
using TRarReadAt = std::function<size_t(uint64_t offset, void* buf, size_t n)>;

inline constexpr int kMaxRarBlocks = 100000;
inline constexpr size_t kMaxRar5HeaderSize = 2u << 20;

// The CRC-32 of the first file header at or after pos (a marker there is
// passed over); nullopt when there is none, it stores none (a RAR 5
// directory) or its header is damaged.
std::optional<uint32_t> RarStoredFileCrc(const TRarReadAt& read, uint64_t pos, bool rar5);

}  // namespace velmaris
