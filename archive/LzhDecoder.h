// The block-wise static-Huffman LZ decoder of the LZH family: ARJ methods 1
// to 3 and the LHA methods -lh4- to -lh7-.
//
// Each block starts with a 16-bit count of codes and three code-length
// tables: the lengths of the code-length code (3-bit lengths with a unary
// extension), the 510 character/length code lengths (coded with the first
// table, with runs of zeros) and the position code lengths. Characters 0-255
// are literals, 256-509 match lengths 3-258; a position code p gives the
// distance 1 (p = 0), 2 (p = 1) or 2^(p-1) + (p-1 further bits) + 1.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/LzhBits.h"

namespace velmaris {

struct TLzhSettings {
  int PositionCodes = 14;  // number of position codes (np)
  int PositionBits = 4;    // width of the position-table count (pbit)
  uint32_t MaxDistance = 8192;

  static TLzhSettings Arj();            // ARJ methods 1, 2 and 3
  static TLzhSettings Lha(int method);  // 4, 5, 6 or 7 for -lh4- .. -lh7-
};

class TLzhDecoder {
 public:
  explicit TLzhDecoder(const TLzhSettings& settings);
  ~TLzhDecoder();
  TLzhDecoder(const TLzhDecoder&) = delete;
  TLzhDecoder& operator=(const TLzhDecoder&) = delete;

  // Decodes exactly `size` bytes from `in` to `out`. Raises ELzhData on
  // corrupt or truncated data. `cancel`, when given, is asked after every
  // flushed window; true ends the decoding early.
  void LzhDecode(TLzhSource& in, TLzhSink& out, uint64_t size, const TLzhCancelCheck& cancel = {});

 private:
  struct State;
  TLzhSettings settings_;
  std::unique_ptr<State> st_;
};

}  // namespace velmaris
