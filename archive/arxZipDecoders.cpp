#include "archive/arxZipDecoders.h"

#include <algorithm>
#include <cstring>

#include "archive/arxBase.h"

namespace velmaris::zip {

namespace {

constexpr uint32_t kInvalid = 0xFF000000u;
constexpr uint32_t kLink = 0x01000000u;

uint32_t Leaf(uint32_t sym, uint32_t len) { return (len << 16) | sym; }

uint32_t Reverse(uint32_t code, unsigned len) {
  uint32_t r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

[[noreturn]] void Fail(int code) { throw E_RAISE(code); }

// The output of a decoder: a window of history in front of the bytes not yet
// handed on. With zeroHistory the history starts as zeros (explode and
// unreduce copy zeros from before the start of the file).
class TOutWindow {
 public:
  TOutWindow(std::vector<uint8_t>& buf, size_t hist, size_t chunk, const TDecodeOut& out,
             bool zeroHistory, uint64_t maxOut)
      : buf_(buf), hist_(hist), limit_(hist + chunk), maxOut_(maxOut), out_(out) {
    buf_.assign(hist + chunk + 512, 0);
    pos = zeroHistory ? hist : 0;
    flushed_ = pos;
    slid_ = zeroHistory;
  }
  // Hands the new bytes on and keeps the history at the front.
  void Slide() {
    Flush();
    if (pos > hist_) {
      std::memmove(buf_.data(), buf_.data() + pos - hist_, hist_);
      pos = hist_;
      flushed_ = pos;
      slid_ = true;
    }
  }
  // Nothing beyond maxOut is ever handed on.
  void Flush() {
    if (Produced() > maxOut_) Fail(ecBadBlock);
    if (pos > flushed_) {
      out_(buf_.data() + flushed_, pos - flushed_);
      total_ += pos - flushed_;
      flushed_ = pos;
    }
  }
  bool Full() const { return pos >= limit_; }
  uint64_t Produced() const { return total_ + (pos - flushed_); }
  // True when dist bytes of history are there.
  bool HasHistory(size_t dist) const { return slid_ ? dist <= hist_ : dist <= pos; }
  uint8_t* data() { return buf_.data(); }
  void Copy(size_t dist, size_t len) {
    uint8_t* d = buf_.data() + pos;
    const uint8_t* s = d - dist;
    if (dist >= len) {
      std::memcpy(d, s, len);
    } else if (dist >= 8) {
      size_t i = 0;
      for (; i + 8 <= len; i += 8) std::memcpy(d + i, s + i, 8);
      for (; i < len; ++i) d[i] = s[i];
    } else {
      for (size_t i = 0; i < len; ++i) d[i] = s[i];
    }
    pos += len;
  }
  size_t pos = 0;

 private:
  std::vector<uint8_t>& buf_;
  size_t hist_, limit_;
  uint64_t maxOut_;
  size_t flushed_ = 0;
  uint64_t total_ = 0;
  bool slid_ = false;
  const TDecodeOut& out_;
};

}  // namespace

// ---------------------------------------------------------------- bits

TBitReader::TBitReader(const TDecodeIn& in) : in_(in), buf_(32768) {}

bool TBitReader::Fetch() {
  if (eof_) return false;
  const size_t n = in_(buf_.data(), buf_.size());
  if (n == 0) {
    eof_ = true;
    return false;
  }
  p_ = buf_.data();
  end_ = p_ + n;
  fetched_ += n;
  return true;
}

void TBitReader::SlowRefill() {
  while (bitcnt_ <= 56) {
    if (p_ == end_ && !Fetch()) {
      if (++padBytes_ > 16) Fail(ecBadBlock);  // far past the end: truncated
      bitcnt_ += 8;                            // a zero byte
      continue;
    }
    bitbuf_ |= uint64_t(*p_++) << bitcnt_;
    bitcnt_ += 8;
  }
}

uint64_t TBitReader::Consumed() const {
  const uint64_t buffered = uint64_t(end_ - p_) + bitcnt_ / 8;
  const uint64_t total = fetched_ + padBytes_;
  return total >= buffered ? total - buffered : 0;
}

void TBitReader::CheckNotOverrun() const {
  if (padBytes_ * 8 > bitcnt_) Fail(ecBadBlock);
}

bool TBitReader::CopyBytes(uint8_t* dst, size_t n) {
  // First the whole bytes still in the bit buffer.
  while (n && bitcnt_ >= 8) {
    if (padBytes_ * 8 >= bitcnt_) return false;  // only padding left
    *dst++ = uint8_t(bitbuf_);
    Drop(8);
    --n;
  }
  if (n) bitbuf_ = 0;  // drop the look-ahead bits of bytes read directly below
  while (n) {
    if (p_ == end_ && !Fetch()) return false;
    const size_t take = std::min(n, size_t(end_ - p_));
    std::memcpy(dst, p_, take);
    p_ += take;
    dst += take;
    n -= take;
  }
  return true;
}

// ---------------------------------------------------------------- tables

bool THuffTable::BuildFromCodes(const uint16_t* codes, const uint8_t* lens, unsigned n,
                                unsigned pbits) {
  primaryBits = pbits;
  const uint32_t psize = 1u << pbits;
  t.assign(psize, kInvalid);
  std::vector<uint8_t> sub(psize, 0);
  for (unsigned s = 0; s < n; ++s) {
    const unsigned len = lens[s];
    if (len > pbits) {
      const uint32_t idx = Reverse(uint32_t(codes[s]) >> (len - pbits), pbits);
      sub[idx] = uint8_t(std::max<unsigned>(sub[idx], len - pbits));
    }
  }
  uint32_t offset = psize;
  for (uint32_t i = 0; i < psize; ++i)
    if (sub[i]) {
      t[i] = kLink | (uint32_t(sub[i]) << 16) | offset;
      offset += 1u << sub[i];
    }
  if (offset > 0xFFFF) return false;
  t.resize(offset, kInvalid);
  for (unsigned s = 0; s < n; ++s) {
    const unsigned len = lens[s];
    if (len == 0) continue;
    if (len <= pbits) {
      for (uint32_t k = Reverse(codes[s], len); k < psize; k += 1u << len) {
        if (t[k] != kInvalid) return false;
        t[k] = Leaf(s, len);
      }
    } else {
      const uint32_t idx = Reverse(uint32_t(codes[s]) >> (len - pbits), pbits);
      const uint32_t e = t[idx];
      if ((e & 0xFF000000u) != kLink) return false;
      const unsigned sb = (e >> 16) & 0xFF;
      const uint32_t base = e & 0xFFFF;
      const unsigned rest = len - pbits;
      for (uint32_t k = Reverse(codes[s] & ((1u << rest) - 1), rest); k < (1u << sb);
           k += 1u << rest) {
        if (t[base + k] != kInvalid) return false;
        t[base + k] = Leaf(s, rest);
      }
    }
  }
  return true;
}

bool THuffTable::BuildCanonical(const uint8_t* lens, unsigned n, unsigned pbits) {
  unsigned count[17] = {};
  for (unsigned s = 0; s < n; ++s) {
    if (lens[s] > 15) return false;
    ++count[lens[s]];
  }
  int left = 1;
  for (unsigned len = 1; len <= 15; ++len) {
    left = (left << 1) - int(count[len]);
    if (left < 0) return false;  // over-subscribed
  }
  uint32_t next[17] = {};
  uint32_t code = 0;
  count[0] = 0;
  for (unsigned len = 1; len <= 15; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint16_t> codes(n);
  for (unsigned s = 0; s < n; ++s)
    if (lens[s]) codes[s] = uint16_t(next[lens[s]]++);
  return BuildFromCodes(codes.data(), lens, n, pbits);
}

uint32_t THuffTable::Decode(TBitReader& br) const {
  uint32_t e = t[br.bitbuf_ & ((1u << primaryBits) - 1)];
  if ((e & 0xFF000000u) == kLink) {
    br.Drop(primaryBits);
    e = t[(e & 0xFFFF) + (br.bitbuf_ & ((1u << ((e >> 16) & 0xFF)) - 1))];
  }
  if (e & 0xFF000000u) Fail(ecBadBlock);
  br.Drop((e >> 16) & 0xFF);
  return e & 0xFFFF;
}

// ---------------------------------------------------------------- inflate

namespace {
constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
}  // namespace

TInflater::TInflater() {
  uint8_t lens[288];
  for (int i = 0; i < 144; ++i) lens[i] = 8;
  for (int i = 144; i < 256; ++i) lens[i] = 9;
  for (int i = 256; i < 280; ++i) lens[i] = 7;
  for (int i = 280; i < 288; ++i) lens[i] = 8;
  fixedLit_.BuildCanonical(lens, 288, 10);
  uint8_t d[30];
  std::fill(d, d + 30, 5);
  fixedDist_.BuildCanonical(d, 30, 8);
}

void TInflater::Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t maxOut,
                    const bool* cancel) {
  TBitReader br(in);
  TOutWindow w(window_, 32768, 65536, out, false, maxOut);
  consumed_ = produced_ = 0;
  bool last = false;
  while (!last) {
    br.Refill();
    last = br.Bits(1);
    const unsigned type = br.Bits(2);
    if (type == 0) {
      br.AlignToByte();
      const uint32_t len = br.Bits(16);
      const uint32_t nlen = br.Bits(16);
      br.CheckNotOverrun();
      if ((len ^ 0xFFFF) != nlen) Fail(ecBadBlock);
      uint32_t left = len;
      while (left) {
        if (w.Full()) {
          w.Slide();
          if (cancel && *cancel) return;
        }
        const uint32_t take = std::min<uint32_t>(left, uint32_t(65536 + 32768 + 512 - w.pos));
        if (!br.CopyBytes(w.data() + w.pos, take)) Fail(ecBadBlock);
        w.pos += take;
        left -= take;
      }
      continue;
    }
    const THuffTable* lit;
    const THuffTable* dist;
    if (type == 1) {
      lit = &fixedLit_;
      dist = &fixedDist_;
    } else if (type == 2) {
      const unsigned hlit = br.Bits(5) + 257, hdist = br.Bits(5) + 1, hclen = br.Bits(4) + 4;
      if (hlit > 286 || hdist > 30) Fail(ecBadLengths);
      uint8_t cl[19] = {};
      for (unsigned i = 0; i < hclen; ++i) {
        br.Refill();
        cl[kClOrder[i]] = uint8_t(br.Bits(3));
      }
      if (!cl_.BuildCanonical(cl, 19, 7)) Fail(ecIncompleteCodeSet);
      uint8_t lens[286 + 30] = {};
      unsigned i = 0;
      while (i < hlit + hdist) {
        br.Refill();
        const uint32_t sym = cl_.Decode(br);
        if (sym < 16) {
          lens[i++] = uint8_t(sym);
          continue;
        }
        unsigned rep;
        uint8_t val = 0;
        if (sym == 16) {
          if (i == 0) Fail(ecBadLengths);
          val = lens[i - 1];
          rep = 3 + br.Bits(2);
        } else if (sym == 17) {
          rep = 3 + br.Bits(3);
        } else {
          rep = 11 + br.Bits(7);
        }
        if (i + rep > hlit + hdist) Fail(ecBadLengths);
        std::memset(lens + i, val, rep);
        i += rep;
      }
      if (lens[256] == 0) Fail(ecBadLengths);  // no end of block
      if (!lit_.BuildCanonical(lens, hlit, 10)) Fail(ecIncompleteCodeSet);
      if (!dist_.BuildCanonical(lens + hlit, hdist, 8)) Fail(ecIncompleteCodeSet);
      lit = &lit_;
      dist = &dist_;
    } else {
      Fail(ecBadBlock);
    }
    br.CheckNotOverrun();
    for (;;) {
      if (w.Full()) {
        w.Slide();
        br.CheckNotOverrun();
        if (cancel && *cancel) return;
      }
      br.Refill();
      const uint32_t sym = lit->Decode(br);
      if (sym < 256) {
        w.data()[w.pos++] = uint8_t(sym);
        continue;
      }
      if (sym == 256) break;
      const uint32_t li = sym - 257;
      if (li >= 29) Fail(ecBadBlock);
      const uint32_t len = kLenBase[li] + br.Bits(kLenExtra[li]);
      const uint32_t ds = dist->Decode(br);
      if (ds >= 30) Fail(ecBadBlock);
      br.Refill();
      const uint32_t d = kDistBase[ds] + br.Bits(kDistExtra[ds]);
      if (!w.HasHistory(d)) Fail(ecBadBlock);  // before the start of the data
      w.Copy(d, len);
    }
  }
  br.CheckNotOverrun();
  w.Flush();
  produced_ = w.Produced();
  br.AlignToByte();
  consumed_ = br.Consumed();
}

// ---------------------------------------------------------------- explode

void TExploder::ReadTree(TBitReader& br, THuffTable& table, unsigned count) {
  const unsigned nbytes = br.Bits(8) + 1;
  uint8_t lens[256];
  unsigned n = 0;
  for (unsigned i = 0; i < nbytes; ++i) {
    const unsigned b = br.Bits(8);
    const unsigned len = (b & 0x0F) + 1, cnt = (b >> 4) + 1;
    if (n + cnt > count) Fail(ecAmbiguousTree);
    for (unsigned k = 0; k < cnt; ++k) lens[n++] = uint8_t(len);
  }
  br.CheckNotOverrun();
  if (n != count) Fail(ecAmbiguousTree);
  // Codes: the lengths sorted ascending (stable), then counted down from the
  // longest with a step of 1 << (16 - length).
  unsigned order[256];
  for (unsigned i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order, order + n, [&](unsigned a, unsigned b) { return lens[a] < lens[b]; });
  uint16_t codes[256];
  uint32_t code = 0, inc = 0;
  unsigned lastLen = 0;
  for (unsigned i = n; i-- > 0;) {
    code += inc;
    if (code > 0xFFFF) Fail(ecAmbiguousTree);
    const unsigned len = lens[order[i]];
    if (len != lastLen) {
      lastLen = len;
      inc = 1u << (16 - len);
    }
    codes[order[i]] = uint16_t(code >> (16 - len));
  }
  if (!table.BuildFromCodes(codes, lens, n, 9)) Fail(ecAmbiguousTree);
}

void TExploder::Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize, bool bigDict,
                    bool literalTree, const bool* cancel) {
  TBitReader br(in);
  if (literalTree) ReadTree(br, lit_, 256);
  ReadTree(br, len_, 64);
  ReadTree(br, dist_, 64);
  const unsigned lowBits = bigDict ? 7 : 6;
  const unsigned minMatch = literalTree ? 3 : 2;
  TOutWindow w(window_, 8192, 65536, out, true, outSize);
  while (w.Produced() < outSize) {
    if (w.Full()) {
      w.Slide();
      br.CheckNotOverrun();
      if (cancel && *cancel) return;
    }
    br.Refill();
    if (br.Bits(1)) {
      w.data()[w.pos++] = uint8_t(literalTree ? lit_.Decode(br) : br.Bits(8));
      continue;
    }
    const uint32_t low = br.Bits(lowBits);
    const uint32_t high = dist_.Decode(br);
    br.Refill();
    const uint32_t d = ((high << lowBits) | low) + 1;
    uint32_t len = len_.Decode(br) + minMatch;
    if (len == 63 + minMatch) len += br.Bits(8);
    const uint64_t left = outSize - w.Produced();
    if (len > left) len = uint32_t(left);
    w.Copy(d, len);  // d <= 8192: the history (zeros at first) is always there
  }
  br.CheckNotOverrun();
  w.Flush();
}

// ---------------------------------------------------------------- unshrink

void TUnshrinker::Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize,
                      const bool* cancel) {
  constexpr int kCodes = 8192;
  constexpr int16_t kFree = -1;
  TBitReader br(in);
  prefix_.assign(kCodes, kFree);
  suffix_.assign(kCodes, 0);
  stack_.resize(kCodes + 1);
  for (int i = 0; i < 256; ++i) {
    prefix_[i] = 0;  // literals are defined
    suffix_[i] = uint8_t(i);
  }
  std::vector<uint8_t> obuf;
  obuf.reserve(65536 + kCodes);
  uint64_t produced = 0;
  auto flush = [&] {
    out(obuf.data(), obuf.size());
    obuf.clear();
    if (cancel && *cancel) return false;
    return true;
  };
  unsigned codeSize = 9;
  int nextFree = 257;
  auto defined = [&](int c) { return c < 256 || (c > 256 && prefix_[c] != kFree); };
  if (outSize == 0) return;
  br.Refill();
  int prev = int(br.Bits(codeSize));
  if (prev >= 256) Fail(ecBadBlock);
  uint8_t firstChar = uint8_t(prev);
  obuf.push_back(firstChar);
  ++produced;
  while (produced < outSize) {
    if (obuf.size() >= 65536 && !flush()) return;
    br.Refill();
    const int code = int(br.Bits(codeSize));
    if (code == 256) {
      const unsigned sub = br.Bits(codeSize);
      if (sub == 1) {
        if (++codeSize > 13) Fail(ecBadBlock);
      } else if (sub == 2) {
        // Partial clear: free every code that is no other code's prefix.
        std::vector<bool> hasChild(kCodes, false);
        for (int c = 257; c < kCodes; ++c)
          if (prefix_[c] != kFree && prefix_[c] > 256) hasChild[size_t(prefix_[c])] = true;
        for (int c = 257; c < kCodes; ++c)
          if (!hasChild[size_t(c)]) prefix_[c] = kFree;
        nextFree = 257;
        while (nextFree < kCodes && prefix_[nextFree] != kFree) ++nextFree;
      } else {
        Fail(ecBadBlock);
      }
      br.CheckNotOverrun();
      continue;
    }
    // Expand the code onto the stack (in reverse).
    size_t sp = 0;
    int c = code;
    if (!defined(code)) {
      if (code != nextFree) Fail(ecBadBlock);
      stack_[sp++] = firstChar;  // the code being defined right now (KwKwK)
      c = prev;
    }
    while (c >= 256) {
      if (sp >= size_t(kCodes)) Fail(ecStackOverflow);
      stack_[sp++] = suffix_[size_t(c)];
      c = prefix_[size_t(c)];
      if (c < 0 || c == 256) Fail(ecBadBlock);
    }
    stack_[sp++] = uint8_t(c);
    firstChar = uint8_t(c);
    while (sp && produced < outSize) {
      obuf.push_back(stack_[--sp]);
      ++produced;
    }
    if (nextFree < kCodes) {
      prefix_[size_t(nextFree)] = int16_t(prev);
      suffix_[size_t(nextFree)] = firstChar;
      while (nextFree < kCodes && prefix_[size_t(nextFree)] != kFree) ++nextFree;
    }
    prev = code;
    br.CheckNotOverrun();
  }
  br.CheckNotOverrun();
  flush();
}

// ---------------------------------------------------------------- unreduce

void TUnreducer::Run(const TDecodeIn& in, const TDecodeOut& out, uint64_t outSize, int factor,
                     const bool* cancel) {
  if (factor < 1 || factor > 4) Fail(ecUnsupportedMethod);
  TBitReader br(in);
  for (int x = 255; x >= 0; --x) {
    br.Refill();
    const unsigned n = br.Bits(6);
    if (n > 32) Fail(ecBadBlock);
    count_[x] = uint8_t(n);
    for (unsigned i = 0; i < n; ++i) {
      br.Refill();
      followers_[x][i] = uint8_t(br.Bits(8));
    }
  }
  br.CheckNotOverrun();
  auto bitsFor = [](unsigned n) {  // bits to index n followers
    unsigned b = 1;
    while ((1u << b) < n) ++b;
    return b;
  };
  const unsigned lenMask = 0xFFu >> factor;
  TOutWindow w(window_, 4096, 65536, out, true, outSize);
  uint8_t last = 0;
  int state = 0;
  unsigned v = 0, len = 0;
  while (w.Produced() < outSize) {
    if (w.Full()) {
      w.Slide();
      br.CheckNotOverrun();
      if (cancel && *cancel) return;
    }
    br.Refill();
    uint8_t c;
    if (count_[last] == 0) {
      c = uint8_t(br.Bits(8));
    } else if (br.Bits(1)) {
      c = uint8_t(br.Bits(8));
    } else {
      const unsigned i = br.Bits(bitsFor(count_[last]));
      if (i >= count_[last]) Fail(ecBadBlock);
      c = followers_[last][i];
    }
    last = c;
    switch (state) {
      case 0:
        if (c == 0x90)
          state = 1;
        else
          w.data()[w.pos++] = c;
        break;
      case 1:
        if (c == 0) {
          w.data()[w.pos++] = 0x90;
          state = 0;
        } else {
          v = c;
          len = v & lenMask;
          state = len == lenMask ? 2 : 3;
        }
        break;
      case 2:
        len += c;
        state = 3;
        break;
      default: {
        const uint32_t d = ((v >> (8 - factor)) << 8) + c + 1;
        uint64_t n = len + 3;
        const uint64_t left = outSize - w.Produced();
        if (n > left) n = left;
        w.Copy(d, size_t(n));  // d <= 4096: inside the zeroed history
        state = 0;
        break;
      }
    }
  }
  br.CheckNotOverrun();
  w.Flush();
}

}  // namespace velmaris::zip
