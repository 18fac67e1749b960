// The ARJ extractor over arbitrary archive files: main-header search, header
// reading, garbled entries and every method.
#include <vector>

#include "ArjLhaFuzz.h"
#include "archive/ArjFormat.h"
#include "archive/arxUnARJ.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  // The header layer alone, in memory.
  if (const auto at = FindArjMainHeader(data, size)) {
    size_t pos = *at;
    auto read = [&](uint8_t* b, size_t n) {
      const size_t k = std::min(n, size - pos);
      std::copy(data + pos, data + pos + k, b);
      pos += k;
      return k;
    };
    for (int i = 0; i < 64; ++i) {
      TArjHeader h;
      uint64_t used = 0;
      if (ReadArjHeader(read, h, used) != TArjRead::Ok) break;
      if (i > 0) pos += std::min<uint64_t>(h.CompressedSize, size - pos);
    }
  }
  fuzz::RunExtractor<TUnARJ>(data, size, ".arj");
  return 0;
}
