// Input, output and bit reading shared by the LZ decoders of the ARJ and LHA
// extractors. A decoder owns all of its state; nothing here is process-wide,
// so two extractions never disturb each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris {

// Error codes the decoders raise (the extractors' numbering).
constexpr int kLzhBadHuffmanCode = 25120;  // "Bad Huffman code"
constexpr int kLzhReadError = 25236;       // "Error reading file or unexpected end of file"

// Corrupt or truncated compressed data.
class ELzhData : public std::runtime_error {
 public:
  ELzhData(int code, const std::string& what) : std::runtime_error(what), Code(code) {}
  int Code;
};

// Where a decoder reads its compressed bytes. Implementations stop at the end
// of the entry's data (they are bounded by the compressed size).
class TLzhSource {
 public:
  virtual ~TLzhSource() = default;
  // Reads up to n bytes into buf; 0 means the data has ended.
  virtual size_t Read(uint8_t* buf, size_t n) = 0;
};

// Where a decoder puts its output, one flushed window block at a time.
class TLzhSink {
 public:
  virtual ~TLzhSink() = default;
  virtual void Write(const uint8_t* data, size_t n) = 0;
};

// A source over a block of memory (tests, fuzzing, benchmarks).
class TLzhMemorySource : public TLzhSource {
 public:
  TLzhMemorySource(const void* data, size_t size)
      : p_(static_cast<const uint8_t*>(data)), left_(size) {}
  size_t Read(uint8_t* buf, size_t n) override {
    if (n > left_) n = left_;
    if (n) std::memcpy(buf, p_, n);
    p_ += n;
    left_ -= n;
    return n;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

// A sink that collects everything in memory, refusing more than `limit` bytes.
class TLzhMemorySink : public TLzhSink {
 public:
  explicit TLzhMemorySink(size_t limit = SIZE_MAX) : limit_(limit) {}
  void Write(const uint8_t* data, size_t n) override {
    if (n > limit_ - Data.size()) throw ELzhData(kLzhBadHuffmanCode, "output beyond its size");
    Data.append(reinterpret_cast<const char*>(data), n);
  }
  std::string Data;

 private:
  size_t limit_;
};

// Most-significant-bit-first bit reader with a 64-bit buffer, as the LZH
// family packs its codes. Past the end of the input it supplies zero bytes,
// because decoders look ahead further than they consume, but only a few: a
// stream that would consume more than that is truncated and raises
// kLzhReadError, which also bounds every decoding loop.
class TLzhBitReader {
 public:
  explicit TLzhBitReader(TLzhSource& src) : src_(src), in_(kInSize) {}

  // Buffered bits, the top `Count` bits of `Buf` are valid.
  uint64_t Buf = 0;
  int Count = 0;

  // Makes at least 57 bits available.
  void Refill() {
    if (end_ - pos_ >= 8) {
      uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | in_[pos_ + i];
      // Takes whole bytes only; the bits of the partly taken byte below
      // Count are the same bits the next refill ORs in again.
      Buf |= v >> Count;
      pos_ += static_cast<size_t>((63 - Count) >> 3);
      Count |= 56;
      return;
    }
    while (Count <= 56) {
      if (pos_ == end_ && !Fill()) {
        if (++padding_ > kMaxPadding) throw ELzhData(kLzhReadError, "compressed data ends early");
        Count += 8;  // a zero byte
        continue;
      }
      Buf |= static_cast<uint64_t>(in_[pos_++]) << (56 - Count);
      Count += 8;
    }
  }
  void Need(int n) {
    if (Count < n) Refill();
  }
  // n from 1 to 32, after Need(n).
  uint32_t Peek(int n) const { return static_cast<uint32_t>(Buf >> (64 - n)); }
  void Drop(int n) {
    Buf <<= n;
    Count -= n;
  }
  // n from 0 to 32.
  uint32_t Get(int n) {
    if (n == 0) return 0;
    Need(n);
    const uint32_t v = Peek(n);
    Drop(n);
    return v;
  }

 private:
  static constexpr size_t kInSize = 32768;
  static constexpr int kMaxPadding = 16;

  bool Fill() {
    pos_ = 0;
    end_ = src_.Read(in_.data(), kInSize);
    return end_ != 0;
  }

  TLzhSource& src_;
  std::vector<uint8_t> in_;
  size_t pos_ = 0, end_ = 0;
  int padding_ = 0;
};

// The sliding window of an LZ decoder: a ring of 2^bits bytes flushed to the
// sink whenever it fills and at the end. Back references are checked against
// the bytes produced so far plus an optional preset region.
class TLzhWindow {
 public:
  TLzhWindow(int bits, TLzhSink& sink)
      : buf_(size_t{1} << bits), mask_(buf_.size() - 1), sink_(sink) {}

  // Presets the last n bytes of the ring with `fill` and lets references
  // reach them before any output exists (the LZHUF scheme starts with a
  // window of blanks).
  void Preset(size_t n, uint8_t fill) {
    std::memset(buf_.data() + buf_.size() - n, fill, n);
    preset_ = n;
  }

  uint64_t Produced() const { return produced_; }

  void Put(uint8_t c) {
    buf_[pos_++] = c;
    ++produced_;
    if (pos_ == buf_.size()) Flush();
  }

  // Copies len bytes from dist bytes back; false when dist reaches before
  // the data (the caller raises the error).
  bool Copy(size_t dist, size_t len) {
    if (dist == 0 || dist > produced_ + preset_ || dist > buf_.size()) return false;
    size_t src = (pos_ - dist) & mask_;
    produced_ += len;
    if (pos_ + len <= buf_.size() && src + len <= buf_.size()) {
      uint8_t* d = buf_.data() + pos_;
      const uint8_t* s = buf_.data() + src;
      if (dist >= len) {
        std::memcpy(d, s, len);
      } else {
        for (size_t i = 0; i < len; ++i) d[i] = s[i];
      }
      pos_ += len;
      if (pos_ == buf_.size()) Flush();
      return true;
    }
    while (len--) {
      buf_[pos_++] = buf_[src];
      src = (src + 1) & mask_;
      if (pos_ == buf_.size()) Flush();
    }
    return true;
  }

  void Flush() {
    if (pos_) sink_.Write(buf_.data(), pos_);
    pos_ = 0;
  }

 private:
  std::vector<uint8_t> buf_;
  size_t mask_;
  size_t pos_ = 0;
  uint64_t produced_ = 0;
  size_t preset_ = 0;
  TLzhSink& sink_;
};

// Checked between flushed blocks; true ends the decoding early.
using TLzhCancelCheck = std::function<bool()>;

// Passes blocks on and asks the cancel check after each.
class TLzhCancelSink : public TLzhSink {
 public:
  TLzhCancelSink(TLzhSink& out, const TLzhCancelCheck& cancel) : out_(out), cancel_(cancel) {}
  void Write(const uint8_t* d, size_t n) override {
    out_.Write(d, n);
    if (cancel_ && cancel_()) Cancelled = true;
  }
  bool Cancelled = false;

 private:
  TLzhSink& out_;
  const TLzhCancelCheck& cancel_;
};

}  // namespace velmaris
