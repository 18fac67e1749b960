// Each LZ decoder of the ARJ and LHA extractors over arbitrary bytes: the
// first byte chooses the decoder, the next three the output size (at most
// 1 MiB), the rest is the compressed stream.
#include <cstddef>
#include <cstdint>

#include "archive/ArjFastDecoder.h"
#include "archive/LzhDecoder.h"
#include "archive/LzhufDecoder.h"

using namespace velmaris;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int which = data[0] % 7;
  const uint64_t out =
      (uint64_t(data[1]) | (uint64_t(data[2]) << 8) | (uint64_t(data[3]) << 16)) % (1u << 20);
  TLzhMemorySource src(data + 4, size - 4);
  TLzhMemorySink sink(out);
  try {
    switch (which) {
      case 0:
      case 1:
      case 2:
      case 3: TLzhDecoder(TLzhSettings::Lha(4 + which)).LzhDecode(src, sink, out); break;
      case 4: TLzhDecoder(TLzhSettings::Arj()).LzhDecode(src, sink, out); break;
      case 5: TArjFastDecoder().Decode(src, sink, out); break;
      default: TLzhufDecoder().Decode(src, sink, out); break;
    }
    if (sink.Data.size() != out) __builtin_trap();  // success means every byte
  } catch (const ELzhData&) {
  }
  return 0;
}
