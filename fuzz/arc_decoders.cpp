// The ARC decoders over any bytes: the first byte picks the method (1 to 9),
// the next four the stored original size (at most 1 MB), the rest is the
// compressed data.
#include <cstdint>

#include "archive/ArcDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const int method = 1 + data[0] % 9;
  const uint32_t original =
      (data[1] | (data[2] << 8) | (uint32_t(data[3]) << 16) | (uint32_t(data[4]) << 24)) %
      (1u << 20);
  velmaris::ArcInput in(data + 5, size - 5);
  uint64_t seen = 0;
  velmaris::ArcSink out([&](const uint8_t*, size_t n) { seen += n; }, original);
  try {
    velmaris::ArcDecodeEntry(method, in, out);
  } catch (const velmaris::EArcDecode&) {
  }
  if (seen > original) __builtin_trap();
  return 0;
}
