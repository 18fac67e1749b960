#pragma once
// LZRW1-KH block compression of stored message-base data.
//
// Block layout (16-bit words big-endian):
//   byte 0        flag: 0x40 compressed, 0x80 stored
//   stored        the source bytes follow unchanged (block = source + 1 byte)
//   compressed    a control word, the up to 16 items it governs, the next
//                 control word, ...; bit 15 belongs to the first item.
//                 bit 0: literal (1 byte)
//                 bit 1: copy, word = distance * 16 + (length - 3),
//                        distance 1..4095, length 3..18
//                        or run, 0x00, (count - 16) as a word, the byte,
//                        count 16..4095 (its first 12 bits are 0)
// The compressor keeps a 4096-entry hash table of its own for each call, so
// any number of threads may compress at the same time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Exceptions.h"

namespace velmaris {

// Largest source a block can describe (hash positions are 16-bit).
inline constexpr std::size_t kLzrw1KHMaxSourceSize = 65535;

// Destination size Lzrw1KHCompress needs for sourceSize bytes: a stored block
// is one byte longer than its source, and a compressed block is never longer.
constexpr std::size_t Lzrw1KHCompressBound(std::size_t sourceSize) { return sourceSize + 1; }

// Compresses sourceSize bytes (0..65535) of source into one block at dest and
// returns the block size. A source that does not shrink is stored (flag 0x80).
// Throws ELzrw1KHCompressor when sourceSize is above 65535 or destCapacity is
// below Lzrw1KHCompressBound(sourceSize). Writes no byte beyond the block.
std::size_t Lzrw1KHCompress(const void* source, void* dest, std::size_t sourceSize,
                            std::size_t destCapacity);

// Decompresses the block of sourceSize bytes at source into dest and returns
// the number of bytes produced. Never reads beyond the block nor writes
// beyond destCapacity bytes of dest. A compressed block shorter than 4 bytes
// gives 0 bytes. Throws ELzrw1KHBadBlock for an empty block, a flag byte other
// than 0x40 or 0x80, an item cut off by the end of the block, a copy distance
// that reaches before the start of the output, or output that would exceed
// destCapacity.
std::size_t Lzrw1KHDecompress(const void* source, void* dest, std::size_t sourceSize,
                              std::size_t destCapacity);

// Conveniences over byte strings.
std::string Lzrw1KHCompress(std::string_view source);
// maxSize bounds the result; a block that would decompress to more throws
// ELzrw1KHBadBlock.
std::string Lzrw1KHDecompress(std::string_view block, std::size_t maxSize);

}  // namespace velmaris
