// LHA method -lh1-: the LZHUF scheme. Characters and match lengths (314
// symbols: 256 literals, lengths 3 to 60) are coded with an adaptive Huffman
// tree of 627 nodes whose frequencies are halved when the root reaches
// 0x8000; the upper six bits of a match position use a fixed code of 3 to 8
// bits, the lower six bits follow plainly. The 4096-byte window starts out
// filled with blanks, and matches may refer into those blanks.
#pragma once

#include <array>
#include <cstdint>

#include "archive/LzhBits.h"

namespace velmaris {

class TLzhufTree {
 public:
  static constexpr int kSymbols = 314;
  static constexpr int kNodes = 2 * kSymbols - 1;  // 627
  static constexpr int kRoot = kNodes - 1;
  static constexpr uint16_t kMaxFreq = 0x8000;

  TLzhufTree();
  // Counts one more use of the symbol and restores the sibling order.
  void Update(int symbol);

  // Children of node n (an index >= kNodes is the leaf of symbol
  // index - kNodes); son(n) and son(n) + 1 are its two children.
  std::array<uint16_t, kNodes> Son{};
  std::array<uint16_t, kNodes + kSymbols> Parent{};
  std::array<uint16_t, kNodes + 1> Freq{};

 private:
  void Rebuild();
};

// The fixed code of the upper six position bits: its length for each value.
int LzhufPositionCodeLength(int upper);

class TLzhufDecoder {
 public:
  // Decodes exactly `size` bytes; raises ELzhData on corrupt data.
  void Decode(TLzhSource& in, TLzhSink& out, uint64_t size, const TLzhCancelCheck& cancel = {});
};

}  // namespace velmaris
