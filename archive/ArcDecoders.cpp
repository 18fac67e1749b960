#include "archive/ArcDecoders.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmaris {

namespace {

constexpr size_t kBlock = 32768;
constexpr uint8_t kRepeat = 0x90;

}  // namespace

// ---------------------------------------------------------------- input

ArcInput::ArcInput(ReadFn read, uint64_t limit) : read_(std::move(read)), left_(limit), buf_(kBlock) {}

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

ArcSink::ArcSink(WriteFn write, uint64_t limit) : write_(std::move(write)), limit_(limit), buf_(kBlock) {}

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
  if (limit_ - count_ < static_cast<uint64_t>(c - 1)) Overrun();
  for (int i = 1; i < c; ++i) PutRaw(last_);
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
  if (count < 0 || count > 256) throw EArcDecode(kArcErrTree, "squeeze tree node count out of range");
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
      if (!tab_[code].used || sp >= kTabSize) throw EArcDecode(kArcErrStack, "crunched string does not resolve");
      stack[sp++] = tab_[code].foll;
      code = tab_[code].pred;
    }
    if (!tab_[code].used) throw EArcDecode(kArcErrStack, "crunched string does not resolve");
    finChar = tab_[code].foll;
    out.Put(static_cast<uint8_t>(finChar));
    while (sp) out.Put(stack[--sp]);
    Add(static_cast<unsigned>(oldCode), finChar);
    oldCode = newCode;
    if (!tab_[oldCode].used) throw EArcDecode(kArcErrStack, "crunched code does not match its table entry");
  }
}

// ---------------------------------------------------------------- LZW (8, 9)

void ArcLzwDecoder::Decode(ArcInput& in, ArcSink& out) {
  constexpr int kInitBits = 9;
  constexpr int kClear = 256;
  constexpr int kFirst = 257;
  int maxBits = 13;
  if (!squashed_) {
    const int bits = in.Get();
    if (bits < 0) return;
    if (bits != 12) throw EArcDecode(kArcErrBits, "crunched data packed with " + std::to_string(bits) + " bits");
    maxBits = 12;
  }
  const int maxMaxCode = 1 << maxBits;
  std::vector<uint16_t> prefix(maxMaxCode);
  std::vector<uint8_t> suffix(maxMaxCode);
  std::vector<uint8_t> stack(maxMaxCode + 1);

  // Codes come in groups of n_bits bytes (eight codes), low bits first; a
  // change of code size or a clear code starts a new group.
  int nBits = kInitBits;
  int maxCode = (1 << nBits) - 1;
  int freeEnt = kFirst;
  bool clearFlag = false;
  uint8_t group[16 + 3];
  int offset = 0, size = 0;  // in bits
  auto getCode = [&]() -> int {
    if (clearFlag || offset >= size || freeEnt > maxCode) {
      if (freeEnt > maxCode) {
        ++nBits;
        maxCode = nBits == maxBits ? maxMaxCode : (1 << nBits) - 1;
      }
      if (clearFlag) {
        nBits = kInitBits;
        maxCode = (1 << nBits) - 1;
        clearFlag = false;
      }
      const size_t got = in.Read(group, static_cast<size_t>(nBits));
      if (got == 0) return -1;
      std::memset(group + got, 0, sizeof group - got);
      offset = 0;
      size = static_cast<int>(got) * 8 - (nBits - 1);
      if (size <= 0) return -1;
    }
    const int byte = offset >> 3;
    const uint32_t window = group[byte] | (group[byte + 1] << 8) | (group[byte + 2] << 16);
    const int code = static_cast<int>((window >> (offset & 7)) & ((1u << nBits) - 1));
    offset += nBits;
    return code;
  };

  int oldCode = getCode();
  if (oldCode < 0) return;
  if (oldCode >= 256) throw EArcDecode(kArcErrBits, "compressed data does not begin with a character");
  int finChar = oldCode;
  out.Put(static_cast<uint8_t>(finChar));

  for (;;) {
    int code = getCode();
    if (code < 0) break;
    if (code == kClear) {
      clearFlag = true;
      freeEnt = kFirst - 1;
      code = getCode();
      if (code < 0) break;
    }
    if (code > freeEnt) throw EArcDecode(kArcErrBits, "compressed code beyond the table");
    const int inCode = code;
    size_t sp = 0;
    if (code == freeEnt) {
      stack[sp++] = static_cast<uint8_t>(finChar);
      code = oldCode;
    }
    while (code >= 256) {
      if (sp >= static_cast<size_t>(maxMaxCode)) throw EArcDecode(kArcErrStack, "compressed string does not resolve");
      stack[sp++] = suffix[code];
      code = prefix[code];
    }
    finChar = code;
    out.Put(static_cast<uint8_t>(finChar));
    while (sp) out.Put(stack[--sp]);
    if (freeEnt < maxMaxCode) {
      prefix[freeEnt] = static_cast<uint16_t>(oldCode);
      suffix[freeEnt] = static_cast<uint8_t>(finChar);
      ++freeEnt;
    }
    oldCode = inCode;
  }
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
      for (int c; (c = in.Get()) >= 0;) out.Put(static_cast<uint8_t>(c));
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
