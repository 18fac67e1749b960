// Decompresses the input as an LZRW1-KH block with a bounded output and
// checks the result against a plain item-by-item decoder; then compresses the
// input and checks that it comes back unchanged.

#include "core/Lzrw1KH.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One item at a time, every access checked; nothing for a malformed block.
std::optional<Bytes> PlainDecode(const std::uint8_t* s, std::size_t n, std::size_t cap) {
  if (n == 0) return std::nullopt;
  if (s[0] == 0x80) {
    if (n - 1 > cap) return std::nullopt;
    return Bytes(s + 1, s + n);
  }
  if (s[0] != 0x40) return std::nullopt;
  Bytes out;
  if (n < 4) return out;
  std::size_t ip = 1;
  unsigned ctrl = 0;
  int bits = 0;
  for (;;) {
    if (bits == 0) {
      if (ip + 2 > n) return std::nullopt;
      ctrl = (s[ip] << 8) | s[ip + 1];
      ip += 2;
      bits = 16;
    }
    if (!(ctrl & 0x8000)) {
      if (ip + 1 > n || out.size() + 1 > cap) return std::nullopt;
      out.push_back(s[ip++]);
    } else {
      if (ip + 2 > n) return std::nullopt;
      const unsigned dist = ((s[ip] << 8) | s[ip + 1]) >> 4;
      if (dist != 0) {
        const std::size_t len = (s[ip + 1] & 15) + 3;
        if (dist > out.size() || out.size() + len > cap) return std::nullopt;
        for (std::size_t i = 0; i < len; ++i) out.push_back(out[out.size() - dist]);
        ip += 2;
      } else {
        if (ip + 4 > n) return std::nullopt;
        const std::size_t count = ((s[ip + 1] << 8) | s[ip + 2]) + 16;
        if (out.size() + count > cap) return std::nullopt;
        out.insert(out.end(), count, s[ip + 3]);
        ip += 4;
      }
    }
    if (ip == n) return out;
    ctrl <<= 1;
    --bits;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;

  // The output limit comes from the second input byte so that blocks meet
  // both roomy and tight buffers.
  const std::size_t capacity = size < 2 ? 100 : (data[1] % 2 ? 65536 : data[1] * 8);
  Bytes out(capacity);
  std::optional<Bytes> got;
  try {
    out.resize(Lzrw1KHDecompress(data, out.data(), size, out.size()));
    got = out;
  } catch (const ELzrw1KHBadBlock&) {
  }
  if (got != PlainDecode(data, size, capacity)) std::abort();

  if (size <= kLzrw1KHMaxSourceSize) {
    Bytes block(Lzrw1KHCompressBound(size));
    const std::size_t blockSize = Lzrw1KHCompress(data, block.data(), size, block.size());
    if (blockSize > block.size()) std::abort();
    Bytes back(size);
    const std::size_t n = Lzrw1KHDecompress(block.data(), back.data(), blockSize, back.size());
    if (n != size || (size != 0 && std::memcmp(back.data(), data, size) != 0)) std::abort();
  }
  return 0;
}
