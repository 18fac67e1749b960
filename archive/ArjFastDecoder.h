// ARJ method 4 ("fastest"): LZ77 over a 26624-byte window without Huffman
// codes. A length field (unary prefix of up to 7 one bits selecting a bit
// width) of 0 introduces an 8-bit literal; otherwise it gives a match of
// length + 2 bytes whose distance - 1 is a second field with a unary prefix
// of up to 4 bits selecting widths 9 to 13.
#pragma once

#include <cstdint>

#include "archive/LzhBits.h"

namespace velmaris {

class TArjFastDecoder {
 public:
  // Decodes exactly `size` bytes; raises ELzhData on corrupt data.
  void Decode(TLzhSource& in, TLzhSink& out, uint64_t size, const TLzhCancelCheck& cancel = {});
};

}  // namespace velmaris
