// The LHA extractor over arbitrary archive files: header levels 0 to 2,
// extended headers and every method.
#include <algorithm>

#include "ArjLhaFuzz.h"
#include "archive/LhaFormat.h"
#include "archive/arxUnLHA.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  // The header layer alone, in memory.
  size_t pos = 0;
  auto read = [&](uint8_t* b, size_t n) {
    const size_t k = std::min(n, size - pos);
    std::copy(data + pos, data + pos + k, b);
    pos += k;
    return k;
  };
  for (int i = 0; i < 64; ++i) {
    const size_t start = pos;
    TLhaHeader h;
    if (ReadLhaHeader(read, h) != TLhaRead::Ok) break;
    pos = static_cast<size_t>(std::min<uint64_t>(start + h.HeaderSize + h.PackedSize, size));
  }
  fuzz::RunExtractor<TUnLHA>(data, size, ".lzh");
  return 0;
}
