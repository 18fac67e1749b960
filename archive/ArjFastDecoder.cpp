#include "archive/ArjFastDecoder.h"

namespace velmaris {

namespace {

// A value with a unary prefix: each leading one bit (at most `steps`) adds
// 2^width to the base and widens the following plain field by one bit.
inline uint32_t ReadPrefixed(TLzhBitReader& br, int width, int steps) {
  uint32_t plus = 0;
  uint32_t pwr = 1u << width;
  int w = width;
  for (int i = 0; i < steps; ++i) {
    if (!br.Get(1)) break;
    plus += pwr;
    pwr <<= 1;
    ++w;
  }
  return plus + br.Get(w);
}

}  // namespace

void TArjFastDecoder::Decode(TLzhSource& in, TLzhSink& out, uint64_t size,
                             const TLzhCancelCheck& cancel) {
  TLzhCancelSink sink(out, cancel);
  TLzhBitReader br(in);
  TLzhWindow win(16, sink);
  constexpr uint32_t kWindow = 26624;
  while (win.Produced() < size && !sink.Cancelled) {
    const uint32_t len = ReadPrefixed(br, 0, 7);
    if (len == 0) {
      win.Put(static_cast<uint8_t>(br.Get(8)));
      continue;
    }
    const uint64_t n = len + 2;
    const uint32_t dist = ReadPrefixed(br, 9, 4) + 1;
    if (dist > kWindow) throw ELzhData(kLzhBadHuffmanCode, "match distance beyond the window");
    if (n > size - win.Produced())
      throw ELzhData(kLzhBadHuffmanCode, "match runs past the end of the file");
    if (!win.Copy(dist, n))
      throw ELzhData(kLzhBadHuffmanCode, "match reaches before the start of the file");
  }
  win.Flush();
}

}  // namespace velmaris
