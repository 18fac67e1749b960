#include "core/Lzrw1KH.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmaris {
namespace {

constexpr std::uint8_t kFlagCompressed = 0x40;
constexpr std::uint8_t kFlagStored = 0x80;
constexpr std::size_t kHashSize = 4096;
constexpr std::uint16_t kNoPosition = 0xFFFF;
constexpr std::size_t kMaxDistance = 4095;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr std::size_t kMinRun = 16;
constexpr std::size_t kMaxRun = 4095;

std::size_t StoreBlock(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  dst[0] = kFlagStored;
  if (n != 0) std::memcpy(dst + 1, src, n);
  return n + 1;
}

inline unsigned Hash3(const std::uint8_t* p) {
  const std::uint32_t v = ((((std::uint32_t{p[0]} << 4) ^ p[1]) << 4) ^ p[2]) * 40543u;
  return (v >> 4) & 0xFFF;
}

// Length of the run of bytes equal to p[0], at most limit (limit >= 1).
inline std::size_t RunLength(const std::uint8_t* p, std::size_t limit) {
  const std::uint8_t b = p[0];
  std::size_t r = 1;
  if (limit >= 9) {
    const std::uint64_t pattern = 0x0101010101010101ull * b;
    while (r + 8 <= limit) {
      std::uint64_t v;
      std::memcpy(&v, p + r, 8);
      const std::uint64_t diff = v ^ pattern;
      if (diff != 0) {
        if constexpr (std::endian::native == std::endian::little)
          return r + static_cast<std::size_t>(std::countr_zero(diff) / 8);
        else
          return r + static_cast<std::size_t>(std::countl_zero(diff) / 8);
      }
      r += 8;
    }
  }
  while (r < limit && p[r] == b) ++r;
  return r;
}

[[noreturn]] void BadBlock(const char* why) {
  throw ELzrw1KHBadBlock(std::string("LZRW1KH : malformed block (") + why + ")");
}

// The compressed block after its flag byte; every item is checked against the
// ends of the block and of the output. Items with at least 16 bytes of the
// block and 32 bytes of output room left take a path without per-byte
// checks, which may copy up to 16 bytes further than the item (into that
// room) and never beyond either buffer; a run of literals is moved as 16
// bytes at once. Only the last few items of a block take the checked path.
std::size_t DecompressItems(const std::uint8_t* src, std::size_t n, std::uint8_t* dst,
                            std::size_t cap) {
  const std::uint8_t* ip = src + 1;
  const std::uint8_t* const iend = src + n;
  std::uint8_t* op = dst;
  std::uint8_t* const oend = dst + cap;
  std::uint32_t ctrl = 0;  // the item's bit is bit 15
  int bitsLeft = 0;

  constexpr std::ptrdiff_t kFastInput = 16;
  constexpr std::ptrdiff_t kFastOutput = 32;

  for (;;) {
    if (bitsLeft == 0) {
      if (iend - ip < 2) BadBlock("control word cut off");
      ctrl = (std::uint32_t{ip[0]} << 8) | ip[1];
      ip += 2;
      bitsLeft = 16;
    }

    // With 16 bytes of the block left, no item (nor run of literals, at
    // most 16 of them) can be cut off.
    const std::uint8_t* const before = ip;
    while (bitsLeft > 0 && iend - ip >= kFastInput && oend - op >= kFastOutput) {
      if ((ctrl & 0x8000) == 0) {
        const int k = std::min(std::countl_zero(static_cast<std::uint16_t>(ctrl)), bitsLeft);
        std::memcpy(op, ip, 16);
        op += k;
        ip += k;
        ctrl <<= k;
        bitsLeft -= k;
      } else {
        const unsigned word = (unsigned{ip[0]} << 8) | ip[1];
        const std::size_t dist = word >> 4;
        if (dist != 0) {
          const std::size_t len = (word & 15) + kMinMatch;
          if (dist > static_cast<std::size_t>(op - dst)) BadBlock("copy before start of output");
          ip += 2;
          const std::uint8_t* from = op - dist;
          if (dist >= 8) {
            // Each 8-byte step reads only bytes already written.
            std::memcpy(op, from, 8);
            std::memcpy(op + 8, from + 8, 8);
            std::memcpy(op + 16, from + 16, 8);
          } else {
            for (std::size_t i = 0; i < len; ++i) op[i] = from[i];
          }
          op += len;
        } else {
          const std::size_t count = ((std::size_t{ip[1]} << 8) | ip[2]) + kMinRun;
          if (count > static_cast<std::size_t>(oend - op)) BadBlock("output larger than buffer");
          std::memset(op, ip[3], count);
          op += count;
          ip += 4;
        }
        ctrl <<= 1;
        --bitsLeft;
      }
    }
    // The loop leaves as soon as the block is used up by its items (a block
    // that ends right after a control word is cut off, below).
    if (ip == iend && ip != before) return static_cast<std::size_t>(op - dst);
    if (bitsLeft == 0) continue;

    // One item with every check.
    if ((ctrl & 0x8000) == 0) {
      if (ip >= iend) BadBlock("literal cut off");
      if (op >= oend) BadBlock("output larger than buffer");
      *op++ = *ip++;
    } else {
      if (iend - ip < 2) BadBlock("copy cut off");
      const unsigned word = (unsigned{ip[0]} << 8) | ip[1];
      const std::size_t dist = word >> 4;
      if (dist != 0) {
        const std::size_t len = (word & 15) + kMinMatch;
        if (dist > static_cast<std::size_t>(op - dst)) BadBlock("copy before start of output");
        if (len > static_cast<std::size_t>(oend - op)) BadBlock("output larger than buffer");
        const std::uint8_t* from = op - dist;
        for (std::size_t i = 0; i < len; ++i) op[i] = from[i];
        op += len;
        ip += 2;
      } else {
        if (iend - ip < 4) BadBlock("run cut off");
        const std::size_t count = ((std::size_t{ip[1]} << 8) | ip[2]) + kMinRun;
        if (count > static_cast<std::size_t>(oend - op)) BadBlock("output larger than buffer");
        std::memset(op, ip[3], count);
        op += count;
        ip += 4;
      }
    }
    if (ip == iend) return static_cast<std::size_t>(op - dst);
    ctrl <<= 1;
    --bitsLeft;
  }
}

}  // namespace

std::size_t Lzrw1KHCompress(const void* source, void* dest, std::size_t sourceSize,
                            std::size_t destCapacity) {
  if (sourceSize > kLzrw1KHMaxSourceSize)
    throw ELzrw1KHCompressor("LZRW1KH : source of " + std::to_string(sourceSize) +
                             " bytes is too large");
  if (destCapacity < Lzrw1KHCompressBound(sourceSize))
    throw ELzrw1KHCompressor("LZRW1KH : destination buffer too small");
  const auto* src = static_cast<const std::uint8_t*>(source);
  auto* dst = static_cast<std::uint8_t*>(dest);
  const std::size_t n = sourceSize;

  // The flag and the first control word alone already reach past a source
  // of fewer than 3 bytes.
  if (n < 3) return StoreBlock(src, dst, n);

  std::uint16_t hash[kHashSize];
  std::fill(std::begin(hash), std::end(hash), kNoPosition);

  dst[0] = kFlagCompressed;
  std::size_t ctrlPos = 1;
  std::size_t out = 3;
  std::size_t x = 0;
  unsigned items = 0;
  std::uint32_t bits = 0;

  // As soon as the output would grow past the source size the block is
  // stored instead, so nothing is written beyond n bytes before that.
  while (x < n) {
    if (items == 16) {
      dst[ctrlPos] = static_cast<std::uint8_t>(bits >> 8);
      dst[ctrlPos + 1] = static_cast<std::uint8_t>(bits);
      ctrlPos = out;
      out += 2;
      items = 0;
      bits = 0;
    }

    const std::size_t run = RunLength(src + x, std::min(n - x, kMaxRun));
    if (run >= kMinRun) {
      if (out + 4 > n) return StoreBlock(src, dst, n);
      const std::size_t c = run - kMinRun;
      dst[out] = 0;
      dst[out + 1] = static_cast<std::uint8_t>(c >> 8);
      dst[out + 2] = static_cast<std::uint8_t>(c);
      dst[out + 3] = src[x];
      out += 4;
      x += run;
      bits = (bits << 1) | 1;
    } else {
      std::size_t len = 0;
      std::size_t candidate = kNoPosition;
      // Fewer than 3 bytes left can never match; their positions are of
      // no use to later searches either.
      if (n - x >= kMinMatch) {
        const unsigned h = Hash3(src + x);
        candidate = hash[h];
        hash[h] = static_cast<std::uint16_t>(x);
        if (candidate != kNoPosition && x - candidate <= kMaxDistance) {
          const std::size_t limit = std::min(n - x, kMaxMatch);
          while (len < limit && src[candidate + len] == src[x + len]) ++len;
        }
      }
      if (len >= kMinMatch) {
        if (out + 2 > n) return StoreBlock(src, dst, n);
        const std::size_t word = ((x - candidate) << 4) | (len - kMinMatch);
        dst[out] = static_cast<std::uint8_t>(word >> 8);
        dst[out + 1] = static_cast<std::uint8_t>(word);
        out += 2;
        x += len;
        bits = (bits << 1) | 1;
      } else {
        if (out + 1 > n) return StoreBlock(src, dst, n);
        dst[out++] = src[x++];
        bits <<= 1;
      }
    }
    ++items;
  }

  bits <<= (16 - items);
  dst[ctrlPos] = static_cast<std::uint8_t>(bits >> 8);
  dst[ctrlPos + 1] = static_cast<std::uint8_t>(bits);
  return out;
}

std::size_t Lzrw1KHDecompress(const void* source, void* dest, std::size_t sourceSize,
                              std::size_t destCapacity) {
  const auto* src = static_cast<const std::uint8_t*>(source);
  auto* dst = static_cast<std::uint8_t*>(dest);
  if (sourceSize == 0) BadBlock("empty");
  if (src[0] == kFlagStored) {
    const std::size_t m = sourceSize - 1;
    if (m > destCapacity) BadBlock("output larger than buffer");
    if (m != 0) std::memcpy(dst, src + 1, m);
    return m;
  }
  if (src[0] != kFlagCompressed) BadBlock("unknown flag byte");
  if (sourceSize < 4) return 0;
  return DecompressItems(src, sourceSize, dst, destCapacity);
}

std::string Lzrw1KHCompress(std::string_view source) {
  std::string block(Lzrw1KHCompressBound(source.size()), '\0');
  block.resize(Lzrw1KHCompress(source.data(), block.data(), source.size(), block.size()));
  return block;
}

std::string Lzrw1KHDecompress(std::string_view block, std::size_t maxSize) {
  std::string out(maxSize, '\0');
  out.resize(Lzrw1KHDecompress(block.data(), out.data(), block.size(), out.size()));
  return out;
}

}  // namespace velmaris
