// The decoders of the ZIP methods: inflate (8), explode (6), unshrink (1) and
// unreduce (2 to 5). Each reads its input through a pull function and hands
// its output in blocks to a push function; every table, code and distance is
// checked, and a corrupt or truncated stream raises E_RAISE with the
// library's code. All state lives in the decoder object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velmaris {

// Fills buf with up to n bytes; 0 at the end of the input.
using TDecodeIn = std::function<size_t(uint8_t* buf, size_t n)>;
using TDecodeOut = std::function<void(const uint8_t* buf, size_t n)>;

// LSB-first bit reader over a pull function. Past the end of the input it
// supplies a few zero bytes so that the last code can be looked up; a
// stream that goes on consuming them is truncated and raises 25109.
class TBitReader {
 public:
  explicit TBitReader(const TDecodeIn& in);
  void Refill() {
    if (bitcnt_ >= 56) return;
    if (end_ - p_ >= 8) {
      uint64_t w;
      __builtin_memcpy(&w, p_, 8);
      bitbuf_ |= w << bitcnt_;
      p_ += (63 - bitcnt_) >> 3;
      bitcnt_ |= 56;
      return;
    }
    SlowRefill();
  }
  uint32_t Peek() const { return uint32_t(bitbuf_); }
  void Drop(unsigned n) {
    bitbuf_ >>= n;
    bitcnt_ -= n;
  }
  // n <= 32.
  uint32_t Bits(unsigned n) {
    if (bitcnt_ < n) Refill();
    const uint32_t v = uint32_t(bitbuf_ & ((uint64_t(1) << n) - 1));
    Drop(n);
    return v;
  }
  void AlignToByte() { Drop(bitcnt_ & 7); }
  // Bytes of input consumed so far (whole bytes; after AlignToByte exact).
  uint64_t Consumed() const;
  // Raises 25109 when bits past the end of the input were used.
  void CheckNotOverrun() const;
  // Copies n bytes straight from the input (after AlignToByte); false when
  // the input ends first.
  bool CopyBytes(uint8_t* dst, size_t n);

  uint64_t bitbuf_ = 0;
  unsigned bitcnt_ = 0;

 private:
  void SlowRefill();
  bool Fetch();
  const TDecodeIn& in_;
  std::vector<uint8_t> buf_;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t fetched_ = 0;
  unsigned padBytes_ = 0;
  bool eof_ = false;
};

// A decoding table: a primary table indexed by the next primaryBits input
// bits and second-level tables for longer codes.
struct THuffTable {
  std::vector<uint32_t> t;
  unsigned primaryBits = 0;
  // Canonical (deflate) codes from code lengths; false when the lengths are
  // over-subscribed.
  bool BuildCanonical(const uint8_t* lens, unsigned n, unsigned primaryBits);
  // Explicit codes (most significant bit first, read first); false when two
  // codes collide.
  bool BuildFromCodes(const uint16_t* codes, const uint8_t* lens, unsigned n, unsigned primaryBits);
  // Decodes one symbol; needs at least the longest code's bits in the
  // reader. An unassigned code raises 25109.
  uint32_t Decode(TBitReader& br) const;
};

// RFC 1951. maxOut bounds the output (the entry's size); more raises 25109.
class TInflater {
 public:
  TInflater();
  void Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t maxOut = UINT64_MAX,
           const bool* cancel = nullptr);
  uint64_t InputConsumed() const { return consumed_; }  // bytes of the stream
  uint64_t OutputSize() const { return produced_; }

 private:
  THuffTable fixedLit_, fixedDist_, lit_, dist_, cl_;
  std::vector<uint8_t> window_;
  uint64_t consumed_ = 0, produced_ = 0;
};

// PKWARE implode (method 6): bigDict = flag bit 1 (8 KB), literalTree = flag
// bit 2 (three trees). Produces exactly outSize bytes.
class TExploder {
 public:
  void Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize, bool bigDict,
           bool literalTree, const bool* cancel = nullptr);

 private:
  void ReadTree(TBitReader& br, THuffTable& table, unsigned count);
  THuffTable lit_, len_, dist_;
  std::vector<uint8_t> window_;
};

// PKWARE shrink (method 1): LZW with partial clearing, 9 to 13 bits.
class TUnshrinker {
 public:
  void Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize,
           const bool* cancel = nullptr);

 private:
  std::vector<int16_t> prefix_;
  std::vector<uint8_t> suffix_;
  std::vector<uint8_t> stack_;
};

// PKWARE reduce (methods 2 to 5, factor 1 to 4): follower sets and the
// probabilistic expander.
class TUnreducer {
 public:
  void Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize, int factor,
           const bool* cancel = nullptr);

 private:
  uint8_t followers_[256][64];
  uint8_t count_[256];
  std::vector<uint8_t> window_;
};

}  // namespace velmaris
