// Each ZIP decoder over arbitrary input: the first byte picks the decoder
// and its options, the rest is the compressed stream. Output goes to a
// counting sink and must stay within the size given.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/arxBase.h"
#include "archive/arxZipDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t sel = data[0];
  const uint8_t* in = data + 1;
  size_t left = size - 1;
  const uint64_t outSize = 1 + (uint64_t(sel >> 4) << 14);  // up to 240 KB
  uint64_t produced = 0;
  velmaris::TDecodeIn read = [&](uint8_t* b, size_t n) {
    // Small pieces now and then, to exercise the refills.
    n = std::min(n, (sel & 8) ? size_t(7) : left);
    n = std::min(n, left);
    std::memcpy(b, in, n);
    in += n;
    left -= n;
    return n;
  };
  velmaris::TDecodeOut write = [&](const uint8_t*, size_t n) { produced += n; };
  try {
    switch (sel & 7) {
      case 0: velmaris::TInflater().Run(read, write, outSize); break;
      case 1: velmaris::TExploder().Run(read, write, outSize, false, false); break;
      case 2: velmaris::TExploder().Run(read, write, outSize, true, true); break;
      case 3: velmaris::TUnshrinker().Run(read, write, outSize); break;
      case 4: velmaris::TUnreducer().Run(read, write, outSize, 1); break;
      case 5: velmaris::TUnreducer().Run(read, write, outSize, 4); break;
      case 6: velmaris::TExploder().Run(read, write, outSize, true, false); break;
      default: velmaris::TUnreducer().Run(read, write, outSize, 2); break;
    }
  } catch (const velmaris::E_RAISE&) {
  }
  if (produced > outSize) abort();
  return 0;
}
