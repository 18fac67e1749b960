// Decoders of the ARC family's compression methods, independent of the
// extractor component: a bounded reader of one entry's data, an output sink
// that checks the size and keeps the CRC-16, and one decoder per method.
//
//   1, 2  stored                 3  packed (0x90 run-length coding)
//   4     squeezed (Huffman, then run-length)
//   5     crunched: 12-bit LZW, codes placed by the old hash, no run-length
//   6     as 5, then run-length
//   7     as 6 with the newer hash
//   8     crunched: LZW with 9..12-bit codes and a clear code, then run-length
//   9     squashed: LZW with 9..13-bit codes and a clear code
//
// Every decoder holds its own tables; nothing is shared between extractions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Crc.h"

namespace velmaris {

// Error codes the ARC decoders fail with (the extractor's numeric codes).
enum ArcErrorCode : int {
  kArcErrBits = 25134,    // "Incorrect number of bits"
  kArcErrCrc = 25151,     // "File fails CRC check"
  kArcErrTree = 25152,    // "File contains invalid decode tree"
  kArcErrRead = 25236,    // "Error reading file or unexpected end of file"
  kArcErrStack = 25298,   // "Stack overflow"
  kArcErrMethod = 25326,  // "Unsupported compression method"
};

// A decoder met data it cannot decode; Code() is one of ArcErrorCode.
class EArcDecode : public std::runtime_error {
 public:
  EArcDecode(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// The compressed data of one entry: yields at most `limit` bytes from the
// reader, in blocks of at most 32768 bytes.
class ArcInput {
 public:
  // Reads up to max bytes into dst; returns how many (0 at the end of the file).
  using ReadFn = std::function<size_t(uint8_t* dst, size_t max)>;

  ArcInput(ReadFn read, uint64_t limit);
  // Over a block of memory (tests, fuzzing); the limit is its size.
  ArcInput(const uint8_t* data, size_t size);

  // The next byte, or -1 at the end of the entry's data.
  int Get() {
    if (pos_ < end_) return buf_[pos_++];
    return Refill();
  }
  // Up to n bytes; returns how many.
  size_t Read(uint8_t* dst, size_t n);
  // True when the file ended before the entry's data did.
  bool Short() const { return short_; }
  uint64_t Consumed() const { return taken_ - (end_ - pos_); }

 private:
  int Refill();

  ReadFn read_;
  uint64_t left_;  // bytes of the entry not yet taken from the reader
  uint64_t taken_ = 0;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, end_ = 0;
  bool short_ = false;
};

// Where decoded bytes go: buffered, optionally through the 0x90 run-length
// expansion, never more than `limit` bytes (the entry's stored size; more
// output means the data is damaged), with the CRC-16 of everything written
// (Crc16ArcUpdate of each block as it is flushed).
class ArcSink {
 public:
  using WriteFn = std::function<void(const uint8_t* data, size_t size)>;

  ArcSink(WriteFn write, uint64_t limit);

  void SetRunLength(bool on) { rle_ = on; }
  void Put(uint8_t c) {
    if (rle_)
      PutRle(c);
    else
      PutRaw(c);
  }
  void PutRaw(uint8_t c) {
    if (count_ >= limit_) Overrun();
    buf_[pos_++] = c;
    ++count_;
    if (pos_ == buf_.size()) Flush();
  }
  // Raw bytes (stored entries).
  void Write(const uint8_t* data, size_t size);
  // Decoded bytes in bulk, with the result of Put for each byte; bytes that
  // would pass the limit fail it as Put would.
  void PutBlock(const uint8_t* data, size_t size) {
    if (rle_)
      PutRleBlock(data, size);
    else
      Write(data, size);
  }
  // Writes what is buffered; call once at the end.
  void Flush();

  uint16_t Crc() const { return crc_; }
  uint64_t Count() const { return count_; }
  // The output holds all it may, with no repeat marker waiting for its count.
  bool Full() const { return count_ == limit_ && !inRepeat_; }

 private:
  void PutRle(uint8_t c);
  void PutRleBlock(const uint8_t* data, size_t size);
  // n more copies of c.
  void Repeat(uint8_t c, size_t n);
  [[noreturn]] void Overrun();

  WriteFn write_;
  uint64_t limit_;
  uint64_t count_ = 0;
  uint16_t crc_ = 0;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0;
  bool rle_ = false;
  bool inRepeat_ = false;
  uint8_t last_ = 0;
};

// Huffman decoding of squeezed data (method 4, before the run-length stage).
// The stream ends with the end code or, where the packer wrote none, with
// the entry's original length: the bits after it are no data.
class ArcSqueezeDecoder {
 public:
  void Decode(ArcInput& in, ArcSink& out);

 private:
  int16_t node_[256][2] = {};
};

// 12-bit LZW whose codes are placed by hashing (methods 5 to 7).
class ArcCrunchDecoder {
 public:
  explicit ArcCrunchDecoder(bool newHash) : newHash_(newHash) {}
  void Decode(ArcInput& in, ArcSink& out);

 private:
  static constexpr int kTabSize = 4096;
  static constexpr uint16_t kNoPred = 0xFFFF;
  struct Entry {
    uint16_t pred = 0, next = 0;
    uint8_t foll = 0;
    bool used = false;
  };
  unsigned Hash(unsigned pred, unsigned foll);
  void Add(unsigned pred, unsigned foll);

  bool newHash_;
  std::vector<Entry> tab_;
  int count_ = 0;
};

// LZW with growing code size and a clear code (methods 8 and 9).
class ArcLzwDecoder {
 public:
  // maxBits 12 with the leading bits byte (method 8), 13 without (method 9).
  explicit ArcLzwDecoder(bool squashed) : squashed_(squashed) {}
  void Decode(ArcInput& in, ArcSink& out);

 private:
  bool squashed_;
};

// Decodes one entry's data by its method into out (which must have been made
// with the entry's original size as limit). Throws EArcDecode for a method
// it does not know and for damaged data.
void ArcDecodeEntry(int method, ArcInput& in, ArcSink& out);

}  // namespace velmaris
