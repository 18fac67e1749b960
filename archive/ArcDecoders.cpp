#include "archive/ArcDecoders.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "core/ByteOrder.h"
#include "core/Crc.h"

namespace velmaris {

namespace {

constexpr size_t kBlock = 32768;
constexpr uint8_t kRepeat = 0x90;

}  // namespace

// ---------------------------------------------------------------- input

ArcInput::ArcInput(ReadFn read, uint64_t limit)
    : read_(std::move(read)), left_(limit), buf_(kBlock) {}

ArcInput::ArcInput(const uint8_t* data, size_t size) : left_(size), buf_(kBlock) {
  size_t at = 0;
  read_ = [data, size, at](uint8_t* dst, size_t max) mutable {
    const size_t n = std::min(max, size - at);
    if (n) std::memcpy(dst, data + at, n);
    at += n;
    return n;
  };
}

int ArcInput::Refill() {
  if (left_ == 0 || short_) return -1;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, buf_.size()));
  const size_t got = read_(buf_.data(), want);
  if (got == 0) {
    short_ = true;
    return -1;
  }
  left_ -= got;
  taken_ += got;
  pos_ = 0;
  end_ = got;
  return buf_[pos_++];
}

size_t ArcInput::Read(uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (pos_ == end_) {
      const int c = Refill();
      if (c < 0) break;
      --pos_;  // give the byte back to the block
    }
    const size_t k = std::min(n - done, end_ - pos_);
    std::memcpy(dst + done, buf_.data() + pos_, k);
    pos_ += k;
    done += k;
  }
  return done;
}

// ---------------------------------------------------------------- output

ArcSink::ArcSink(WriteFn write, uint64_t limit)
    : write_(std::move(write)), limit_(limit), buf_(kBlock) {}

void ArcSink::PutRle(uint8_t c) {
  if (!inRepeat_) {
    if (c == kRepeat) {
      inRepeat_ = true;
    } else {
      last_ = c;
      PutRaw(c);
    }
    return;
  }
  inRepeat_ = false;
  if (c == 0) {
    // 0x90 0 stands for the marker byte itself; a repeat that follows still
    // repeats the byte before it (as arc and nomarch decode it).
    PutRaw(kRepeat);
    return;
  }
  // The previous byte stands c times in all; it was written once already.
  Repeat(last_, c - 1u);
}

void ArcSink::PutRleBlock(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  while (p < end) {
    if (inRepeat_) {
      inRepeat_ = false;
      const uint8_t c = *p++;
      if (c == 0)
        PutRaw(kRepeat);  // the marker itself; last_ stays
      else
        Repeat(last_, c - 1u);
      continue;
    }
    // Everything up to the next marker stands as it is.
    const auto* mark = static_cast<const uint8_t*>(std::memchr(p, kRepeat, size_t(end - p)));
    if (!mark) mark = end;
    if (mark > p) {
      Write(p, size_t(mark - p));
      last_ = mark[-1];
    }
    p = mark;
    if (p < end) {
      inRepeat_ = true;
      ++p;
    }
  }
}

void ArcSink::Repeat(uint8_t c, size_t n) {
  if (limit_ - count_ < n) Overrun();
  while (n) {
    const size_t k = std::min(n, buf_.size() - pos_);
    std::memset(buf_.data() + pos_, c, k);
    pos_ += k;
    count_ += k;
    n -= k;
    if (pos_ == buf_.size()) Flush();
  }
}

void ArcSink::Write(const uint8_t* data, size_t size) {
  if (limit_ - count_ < size) Overrun();
  while (size) {
    const size_t k = std::min(size, buf_.size() - pos_);
    std::memcpy(buf_.data() + pos_, data, k);
    pos_ += k;
    count_ += k;
    data += k;
    size -= k;
    if (pos_ == buf_.size()) Flush();
  }
}

void ArcSink::Flush() {
  if (pos_ == 0) return;
  crc_ = Crc16ArcUpdate(crc_, buf_.data(), pos_);
  const size_t n = pos_;
  pos_ = 0;
  if (write_) write_(buf_.data(), n);
}

void ArcSink::Overrun() {
  throw EArcDecode(kArcErrCrc, "decoded data longer than the stored size");
}

// ---------------------------------------------------------------- squeeze

void ArcSqueezeDecoder::Decode(ArcInput& in, ArcSink& out) {
  auto get16 = [&in]() -> int {
    const int lo = in.Get();
    const int hi = in.Get();
    if (lo < 0 || hi < 0) throw EArcDecode(kArcErrTree, "squeeze tree cut short");
    return static_cast<int16_t>(lo | (hi << 8));
  };
  const int count = get16();
  if (count < 0 || count > 256)
    throw EArcDecode(kArcErrTree, "squeeze tree node count out of range");
  for (int i = 0; i < count; ++i) {
    for (int side = 0; side < 2; ++side) {
      const int v = get16();
      // A child is another node (0 .. count-1) or a leaf -(value+1) with
      // value 0..255 or 256, the end mark.
      if (v >= count || v < -257) throw EArcDecode(kArcErrTree, "squeeze tree child out of range");
      node_[i][side] = static_cast<int16_t>(v);
    }
  }
  if (count == 0) return;

  int node = 0;
  for (;;) {
    const int byte = in.Get();
    if (byte < 0) return;  // cut short: the size and CRC checks will tell
    for (int bit = 0; bit < 8; ++bit) {
      node = node_[node][(byte >> bit) & 1];
      if (node < 0) {
        const int value = -(node + 1);
        if (value == 256) return;
        out.Put(static_cast<uint8_t>(value));
        // arc does not always write the end code: what follows the
        // entry's original length is padding, not data.
        if (out.Full()) return;
        node = 0;
      }
    }
  }
}

// ---------------------------------------------------------------- crunch (5-7)

unsigned ArcCrunchDecoder::Hash(unsigned pred, unsigned foll) {
  unsigned slot;
  if (newHash_) {
    slot = (((pred + foll) & 0xFFFF) * 15073u) & 0xFFF;
  } else {
    uint32_t local = ((pred + foll) | 0x0800) & 0xFFFF;
    local *= local;
    slot = (local >> 6) & 0x0FFF;
  }
  if (!tab_[slot].used) return slot;
  // Collision: follow the chain to its end, then take the first free entry
  // from 101 places further on, and link it to the chain.
  for (int steps = 0; tab_[slot].next != 0; ++steps) {
    if (steps >= kTabSize) throw EArcDecode(kArcErrStack, "crunch table chain loops");
    slot = tab_[slot].next;
  }
  unsigned free = (slot + 101) & 0xFFF;
  while (tab_[free].used) free = (free + 1) & 0xFFF;  // the caller ensures a free entry
  tab_[slot].next = static_cast<uint16_t>(free);
  return free;
}

void ArcCrunchDecoder::Add(unsigned pred, unsigned foll) {
  if (count_ >= kTabSize) return;
  Entry& e = tab_[Hash(pred, foll)];
  e.used = true;
  e.next = 0;
  e.pred = static_cast<uint16_t>(pred);
  e.foll = static_cast<uint8_t>(foll);
  ++count_;
}

void ArcCrunchDecoder::Decode(ArcInput& in, ArcSink& out) {
  tab_.assign(kTabSize, Entry{});
  count_ = 0;
  for (unsigned c = 0; c < 256; ++c) Add(kNoPred, c);

  // Codes are 12 bits, high bits first: two codes in three bytes.
  int half = -1;
  auto getCode = [&]() -> int {
    if (half < 0) {
      const int a = in.Get();
      if (a < 0) return -1;
      const int b = in.Get();
      if (b < 0) return -1;
      half = b & 0x0F;
      return (a << 4) | (b >> 4);
    }
    const int c = in.Get();
    if (c < 0) return -1;
    const int code = (half << 8) | c;
    half = -1;
    return code;
  };

  std::array<uint8_t, kTabSize + 1> stack;
  int oldCode = getCode();
  if (oldCode < 0) return;
  if (!tab_[oldCode].used || tab_[oldCode].pred != kNoPred)
    throw EArcDecode(kArcErrBits, "crunched data does not begin with a character");
  unsigned finChar = tab_[oldCode].foll;
  out.Put(static_cast<uint8_t>(finChar));

  for (;;) {
    const int newCode = getCode();
    if (newCode < 0) break;
    int code = newCode;
    size_t sp = 0;
    if (!tab_[code].used) {
      // The code being defined by this very step: the previous string plus
      // its own first character.
      stack[sp++] = static_cast<uint8_t>(finChar);
      code = oldCode;
    }
    while (tab_[code].pred != kNoPred) {
      if (!tab_[code].used || sp >= kTabSize)
        throw EArcDecode(kArcErrStack, "crunched string does not resolve");
      stack[sp++] = tab_[code].foll;
      code = tab_[code].pred;
    }
    if (!tab_[code].used) throw EArcDecode(kArcErrStack, "crunched string does not resolve");
    finChar = tab_[code].foll;
    out.Put(static_cast<uint8_t>(finChar));
    while (sp) out.Put(stack[--sp]);
    Add(static_cast<unsigned>(oldCode), finChar);
    oldCode = newCode;
    if (!tab_[oldCode].used)
      throw EArcDecode(kArcErrStack, "crunched code does not match its table entry");
  }
}

// ---------------------------------------------------------------- LZW (8, 9)

namespace {

constexpr int kLzwInitBits = 9;

// The codes of methods 8 and 9. They come in groups of n_bits bytes (eight
// codes), low bits first; a change of code size or a clear code starts a new
// group, and what is left of the old one is skipped.
class LzwCodes {
 public:
  LzwCodes(ArcInput& in, int maxBits) : in_(in), maxBits_(maxBits) {}

  // The next code, or -1 at the end of the data. freeEnt is the decoder's
  // next free entry: once it passes the largest code of the present size,
  // the codes grow by one bit.
  int Next(int freeEnt) {
    if (offset_ >= size_ || freeEnt > maxCode_ || clear_) return NextGroup(freeEnt);
    return Take();
  }
  // The codes go back to their first size with the next group.
  void Clear() { clear_ = true; }

 private:
  int Take() {
    // offset_ < size_ keeps the four bytes inside group_.
    const uint32_t window = GetLE32(group_ + (offset_ >> 3));
    const int code = static_cast<int>((window >> (offset_ & 7)) & ((1u << nBits_) - 1));
    offset_ += nBits_;
    return code;
  }

  int NextGroup(int freeEnt) {
    if (freeEnt > maxCode_) {
      ++nBits_;
      maxCode_ = nBits_ == maxBits_ ? 1 << maxBits_ : (1 << nBits_) - 1;
    }
    if (clear_) {
      nBits_ = kLzwInitBits;
      maxCode_ = (1 << nBits_) - 1;
      clear_ = false;
    }
    const size_t got = in_.Read(group_, static_cast<size_t>(nBits_));
    if (got == 0) return -1;
    std::memset(group_ + got, 0, sizeof group_ - got);
    offset_ = 0;
    size_ = static_cast<int>(got) * 8 - (nBits_ - 1);  // a code must fit whole
    if (size_ <= 0) return -1;
    return Take();
  }

  ArcInput& in_;
  const int maxBits_;
  int nBits_ = kLzwInitBits;
  int maxCode_ = (1 << kLzwInitBits) - 1;
  bool clear_ = false;
  uint8_t group_[16 + 4] = {};
  int offset_ = 0, size_ = 0;  // in bits
};

// The output of methods 8 and 9 is kept as history: the last kLzwKeep bytes
// at least; it slides once it holds kLzwSpan.
constexpr size_t kLzwKeep = 256 * 1024;
constexpr size_t kLzwSpan = 1024 * 1024;
// The previous string (at most 2^13 + 1 bytes) always stays in what is kept.
static_assert(kLzwKeep > (1u << 13) + 1 && kLzwSpan > kLzwKeep);

// Copies n bytes from src to dst, where the source ends at or before dst, in
// chunks of 16; up to 15 bytes past dst + n are overwritten and up to 15
// past src + n read (the history has room behind its end). A chunk is read
// whole before it is written, as it may overlap the source when n < 16.
inline void CopyString(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t k = 0; k < n; k += 16) {
    uint8_t chunk[16];
    std::memcpy(chunk, src + k, 16);
    std::memcpy(dst + k, chunk, 16);
  }
}

// Writes the string of code `from`, followed by `last` when `self`, at dst
// by walking the table (see ArcLzwDecoder::Decode); returns its length, or 0
// when the string does not resolve within maxMaxCode + 1 bytes.
size_t WalkString(const uint32_t* entry, const uint16_t* length, uint8_t* stack, size_t maxMaxCode,
                  uint32_t from, bool self, uint8_t last, uint8_t* dst) {
  const size_t fromLen = length[from];
  if (fromLen - 1 < maxMaxCode - 1) {
    uint8_t* p = dst + fromLen;
    if (self) *p = last;
    uint32_t c = from;
    for (size_t k = fromLen - 1; k; --k) {
      const uint32_t e = entry[c];
      *--p = static_cast<uint8_t>(e >> 16);
      c = e & 0xFFFF;
    }
    if (c < 256) {
      dst[0] = static_cast<uint8_t>(c);
      return fromLen + self;
    }
  }
  size_t sp = 0;
  if (self) stack[sp++] = last;
  uint32_t c = from;
  while (c >= 256) {
    if (sp >= maxMaxCode) return 0;
    stack[sp++] = static_cast<uint8_t>(entry[c] >> 16);
    c = entry[c] & 0xFFFF;
  }
  size_t n = 0;
  dst[n++] = static_cast<uint8_t>(c);
  while (sp) dst[n++] = stack[--sp];
  return n;
}

}  // namespace

// The table holds per code the code of its string without the last byte
// (bits 0-15) and that last byte (bits 16-23), and the length its string had
// when the code was made.
//
// A code is trusted when it is a literal or was made since the last clear
// from a trusted code. Entries are made at increasing places until the next
// clear, so the string of a trusted code cannot change before then: it is
// copied from where it last stood in the history, while that is still kept.
// Any other string is written backwards by walking its remembered length,
// and that walk is only trusted when it ends on a literal exactly there.
// Damaged data (codes redefined under a longer string, chains that loop)
// takes the checked walk over a stack, which decides the same way the data
// has always been decoded. Literals lead to a stop entry that leads to
// itself, so a walk that meets a literal too early ends on the stop and is
// caught.
void ArcLzwDecoder::Decode(ArcInput& in, ArcSink& out) {
  constexpr int kClear = 256;
  constexpr int kFirst = 257;
  int maxBits = 13;
  if (!squashed_) {
    const int bits = in.Get();
    if (bits < 0) return;
    if (bits != 12)
      throw EArcDecode(kArcErrBits, "crunched data packed with " + std::to_string(bits) + " bits");
    maxBits = 12;
  }
  const int maxMaxCode = 1 << maxBits;
  const uint32_t stop = static_cast<uint32_t>(maxMaxCode);
  std::vector<uint32_t> entry(maxMaxCode + 1);
  std::vector<uint16_t> length(maxMaxCode);  // 0: never made
  std::vector<uint8_t> trusted(maxMaxCode);
  std::vector<uint64_t> where(maxMaxCode);  // of trusted codes: in the output as a whole
  entry[stop] = stop;
  for (uint32_t c = 0; c < 256; ++c) {
    entry[c] = stop | c << 16;
    length[c] = 1;
    trusted[c] = 1;
  }
  std::vector<uint8_t> stack(maxMaxCode + 1);
  // A string is at most maxMaxCode + 1 bytes; one always fits behind
  // kLzwSpan + kBlock, with the 16 bytes CopyString may pass its end.
  const size_t histSize = kLzwSpan + kBlock + static_cast<size_t>(maxMaxCode) + 1 + 16;
  const auto hist = std::make_unique_for_overwrite<uint8_t[]>(histSize);
  uint64_t base = 0;  // where hist[0] stands in the output
  size_t pos = 0, handed = 0;
  // The sink sees the output in the order it was decoded, so it fails a
  // string beyond its limit before the decoder fails a later code.
  auto handOver = [&] {
    out.PutBlock(hist.get() + handed, pos - handed);
    handed = pos;
  };

  LzwCodes codes(in, maxBits);
  int freeEnt = kFirst;
  int oldCode = codes.Next(freeEnt);
  if (oldCode < 0) return;
  if (oldCode >= 256)
    throw EArcDecode(kArcErrBits, "compressed data does not begin with a character");
  int finChar = oldCode;
  hist[pos++] = static_cast<uint8_t>(finChar);
  uint64_t prevAt = 0;  // the previous string in the output
  size_t prevLen = 1;

  for (;;) {
    int code = codes.Next(freeEnt);
    if (code < 0) break;
    if (code == kClear) {
      codes.Clear();
      freeEnt = kFirst - 1;
      std::fill(trusted.begin() + 256, trusted.end(), 0);
      code = codes.Next(freeEnt);
      if (code < 0) break;
    }
    if (code > freeEnt) {
      handOver();
      throw EArcDecode(kArcErrBits, "compressed code beyond the table");
    }
    // The code being made by this very step stands for the previous string
    // plus its own first byte.
    const bool self = code == freeEnt;
    uint8_t* const dst = hist.get() + pos;
    const uint64_t at = base + pos;
    size_t n = 0;
    if (!self && code < 256) {
      dst[n++] = static_cast<uint8_t>(code);
    } else if (self ? trusted[oldCode] != 0 : trusted[code] != 0 && where[code] >= base) {
      const uint64_t from = self ? prevAt : where[code];
      n = self ? prevLen : length[code];
      CopyString(dst, hist.get() + (from - base), n);
      if (self) dst[n++] = dst[0];
    } else {
      n = WalkString(entry.data(), length.data(), stack.data(), static_cast<size_t>(maxMaxCode),
                     static_cast<uint32_t>(self ? oldCode : code), self,
                     static_cast<uint8_t>(finChar), dst);
      if (n == 0) {
        handOver();
        throw EArcDecode(kArcErrStack, "compressed string does not resolve");
      }
    }
    if (!self) where[code] = at;
    finChar = dst[0];
    if (freeEnt < maxMaxCode) {
      entry[freeEnt] = static_cast<uint32_t>(oldCode) | static_cast<uint32_t>(finChar) << 16;
      length[freeEnt] = static_cast<uint16_t>(std::min(length[oldCode] + 1, maxMaxCode));
      trusted[freeEnt] = trusted[oldCode];
      where[freeEnt] = prevAt;  // the previous string and this one's first byte
      ++freeEnt;
    }
    oldCode = code;
    prevAt = at;
    prevLen = n;
    pos += n;
    if (pos - handed >= kBlock) {
      handOver();
      if (pos >= kLzwSpan) {
        // Keep the last kLzwKeep bytes.
        std::memmove(hist.get(), hist.get() + pos - kLzwKeep, kLzwKeep);
        base += pos - kLzwKeep;
        pos = handed = kLzwKeep;
      }
    }
  }
  handOver();
}

// ---------------------------------------------------------------- dispatch

void ArcDecodeEntry(int method, ArcInput& in, ArcSink& out) {
  switch (method) {
    case 1:
    case 2: {
      uint8_t buf[kBlock];
      for (;;) {
        const size_t n = in.Read(buf, sizeof buf);
        if (n == 0) break;
        out.Write(buf, n);
      }
      break;
    }
    case 3: {
      out.SetRunLength(true);
      uint8_t buf[kBlock];
      for (size_t n; (n = in.Read(buf, sizeof buf)) > 0;) out.PutBlock(buf, n);
      break;
    }
    case 4: {
      out.SetRunLength(true);
      auto dec = std::make_unique<ArcSqueezeDecoder>();
      dec->Decode(in, out);
      break;
    }
    case 5:
    case 6:
    case 7: {
      out.SetRunLength(method != 5);
      ArcCrunchDecoder dec(method == 7);
      dec.Decode(in, out);
      break;
    }
    case 8:
    case 9: {
      out.SetRunLength(method == 8);
      ArcLzwDecoder dec(method == 9);
      dec.Decode(in, out);
      break;
    }
    default:
      throw EArcDecode(kArcErrMethod, "unsupported compression method " + std::to_string(method));
  }
  out.Flush();
}

}  // namespace velmaris
