// Canonical Huffman decoding table with a two-level lookup: a root table of
// 2^RootBits entries and, for longer codes, sub-tables indexed by the bits
// after the root. Codes are at most 16 bits long and assigned in order of
// length, then symbol, as the LZH family assigns them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "archive/LzhBits.h"

namespace velmaris {

template <int RootBits, int MaxSymbols>
class TLzhHuffTable {
 public:
  // Entry: bits 0-15 symbol (or sub-table offset), 16-20 bits consumed,
  // 24-28 sub-table index width, bit 31 marks a sub-table.
  static constexpr uint32_t kSub = 0x80000000u;
  static constexpr uint32_t kInvalid = 0xFFFFu;  // symbol of an unused code

  TLzhHuffTable() : t_(Capacity(), kInvalid) {}

  // A code of one symbol that takes no bits.
  void Single(int symbol) {
    std::fill(t_.begin(), t_.begin() + (1 << RootBits), static_cast<uint32_t>(symbol));
  }

  // Builds the table from code lengths (0 = unused, at most 16). False when
  // the lengths over-subscribe the code space. An incomplete code is
  // accepted; its unused codes decode as kInvalid.
  bool Build(const uint8_t* len, int n) {
    int count[17] = {};
    for (int i = 0; i < n; ++i) {
      if (len[i] > 16) return false;
      ++count[len[i]];
    }
    count[0] = 0;
    uint32_t kraft = 0;
    int maxLen = 0;
    for (int l = 1; l <= 16; ++l) {
      kraft += static_cast<uint32_t>(count[l]) << (16 - l);
      if (count[l]) maxLen = l;
    }
    if (kraft > 65536) return false;
    uint32_t next[18];
    uint32_t code = 0;
    for (int l = 1; l <= 16; ++l) {
      code = (code + static_cast<uint32_t>(count[l - 1])) << 1;
      next[l] = code;
    }
    std::fill(t_.begin(), t_.begin() + (1 << RootBits), kInvalid);
    const int subBits = maxLen > RootBits ? maxLen - RootBits : 0;
    size_t free = size_t{1} << RootBits;
    for (int s = 0; s < n; ++s) {
      const int l = len[s];
      if (!l) continue;
      const uint32_t c = next[l]++;
      if (l <= RootBits) {
        const uint32_t first = c << (RootBits - l);
        const uint32_t e = static_cast<uint32_t>(s) | (static_cast<uint32_t>(l) << 16);
        std::fill(t_.begin() + first, t_.begin() + first + (1u << (RootBits - l)), e);
        continue;
      }
      const uint32_t prefix = c >> (l - RootBits);
      uint32_t& root = t_[prefix];
      if (!(root & kSub)) {
        if (free + (size_t{1} << subBits) > t_.size()) return false;
        root = kSub | (static_cast<uint32_t>(subBits) << 24) | static_cast<uint32_t>(free);
        std::fill(t_.begin() + free, t_.begin() + free + (1u << subBits), kInvalid);
        free += size_t{1} << subBits;
      }
      const int rest = l - RootBits;
      const uint32_t low = c & ((1u << rest) - 1);
      const size_t first = (root & 0xFFFFu) + (low << (subBits - rest));
      const uint32_t e = static_cast<uint32_t>(s) | (static_cast<uint32_t>(rest) << 16);
      std::fill(t_.begin() + first, t_.begin() + first + (1u << (subBits - rest)), e);
    }
    return true;
  }

  // Decodes one symbol; the reader must hold at least 16 bits. An unused
  // code gives kInvalid, which callers reject as beyond their alphabet.
  int Decode(TLzhBitReader& br) const {
    uint32_t e = t_[br.Peek(RootBits)];
    if (e & kSub) {
      br.Drop(RootBits);
      const int sub = static_cast<int>((e >> 24) & 31);
      e = t_[(e & 0xFFFFu) + (sub ? br.Peek(sub) : 0)];
    }
    br.Drop(static_cast<int>((e >> 16) & 31));
    return static_cast<int>(e & 0xFFFFu);
  }

 private:
  // Root plus one sub-table per long code at most.
  static constexpr size_t Capacity() {
    return (size_t{1} << RootBits) +
           static_cast<size_t>(MaxSymbols) * (size_t{1} << (16 - RootBits));
  }
  std::vector<uint32_t> t_;
};

}  // namespace velmaris
