#include "archive/LzhDecoder.h"

#include <algorithm>
#include <array>

#include "archive/LzhHuffTable.h"

namespace velmaris {

namespace {

constexpr int kNC = 510;  // characters 0-255 and match lengths 3-258
constexpr int kNT = 19;   // code-length code symbols
constexpr int kTBits = 5;
constexpr int kCBits = 9;
constexpr int kThreshold = 3;
constexpr int kWindowBits = 17;  // ring for distances up to 64 KiB

[[noreturn]] void Bad(const char* what) { throw ELzhData(kLzhBadHuffmanCode, what); }

}  // namespace

TLzhSettings TLzhSettings::Arj() { return {17, 5, 65536}; }

TLzhSettings TLzhSettings::Lha(int method) {
  switch (method) {
    case 4: return {14, 4, 4096};
    case 5: return {14, 4, 8192};
    case 6: return {16, 5, 32768};
    default: return {17, 5, 65536};
  }
}

struct TLzhDecoder::State {
  TLzhHuffTable<12, kNC> c;
  TLzhHuffTable<8, kNT> pt;  // code-length code, then the position code
  TLzhHuffTable<8, kNT> p;
  std::array<uint8_t, kNC> cLen{};
  std::array<uint8_t, kNT> ptLen{};
};

TLzhDecoder::TLzhDecoder(const TLzhSettings& settings)
    : settings_(settings), st_(std::make_unique<State>()) {}

TLzhDecoder::~TLzhDecoder() = default;

namespace {

// Reads the lengths of a small code (the code-length code or the position
// code) and builds its table.
template <class Table>
void ReadPtLen(TLzhBitReader& br, Table& table, uint8_t* len, int nn, int nbit, int special) {
  const int n = static_cast<int>(br.Get(nbit));
  if (n == 0) {
    const int c = static_cast<int>(br.Get(nbit));
    if (c >= nn) Bad("code-length table names a symbol beyond its code");
    std::fill(len, len + nn, 0);
    table.Single(c);
    return;
  }
  if (n > nn) Bad("code-length table too long");
  int i = 0;
  while (i < n) {
    br.Need(3);
    int c = static_cast<int>(br.Peek(3));
    br.Drop(3);
    if (c == 7) {
      while (br.Get(1)) {
        if (++c > 16) Bad("code length above 16");
      }
    }
    len[i++] = static_cast<uint8_t>(c);
    if (i == special) {
      int z = static_cast<int>(br.Get(2));
      if (i + z > nn) Bad("code-length run too long");
      while (z-- > 0) len[i++] = 0;
    }
  }
  std::fill(len + i, len + nn, 0);
  if (!table.Build(len, nn)) Bad("over-subscribed code-length code");
}

void ReadCLen(TLzhBitReader& br, TLzhHuffTable<12, kNC>& c, uint8_t* cLen,
              const TLzhHuffTable<8, kNT>& pt) {
  const int n = static_cast<int>(br.Get(kCBits));
  if (n == 0) {
    const int sym = static_cast<int>(br.Get(kCBits));
    if (sym >= kNC) Bad("character table names a symbol beyond its code");
    std::fill(cLen, cLen + kNC, 0);
    c.Single(sym);
    return;
  }
  if (n > kNC) Bad("character table too long");
  int i = 0;
  while (i < n) {
    br.Need(16);
    int s = pt.Decode(br);
    if (s >= kNT) Bad("invalid code-length code");
    if (s <= 2) {
      int run = s == 0   ? 1
                : s == 1 ? static_cast<int>(br.Get(4)) + 3
                         : static_cast<int>(br.Get(kCBits)) + 20;
      if (i + run > kNC) Bad("character length run too long");
      while (run-- > 0) cLen[i++] = 0;
    } else {
      cLen[i++] = static_cast<uint8_t>(s - 2);
    }
  }
  std::fill(cLen + i, cLen + kNC, 0);
  if (!c.Build(cLen, kNC)) Bad("over-subscribed character code");
}

}  // namespace

void TLzhDecoder::LzhDecode(TLzhSource& in, TLzhSink& out, uint64_t size,
                            const TLzhCancelCheck& cancel) {
  State& st = *st_;
  TLzhBitReader br(in);
  TLzhCancelSink sink(out, cancel);
  TLzhWindow win(kWindowBits, sink);

  const int np = settings_.PositionCodes;
  const uint32_t maxDist = settings_.MaxDistance;
  uint32_t blockLeft = 0;
  while (win.Produced() < size && !sink.Cancelled) {
    if (blockLeft == 0) {
      blockLeft = br.Get(16);
      if (blockLeft == 0) blockLeft = 65536;
      ReadPtLen(br, st.pt, st.ptLen.data(), kNT, kTBits, 3);
      ReadCLen(br, st.c, st.cLen.data(), st.pt);
      ReadPtLen(br, st.p, st.ptLen.data(), np, settings_.PositionBits, -1);
    }
    --blockLeft;
    br.Need(32);
    const int c = st.c.Decode(br);
    if (c < 256) {
      win.Put(static_cast<uint8_t>(c));
      continue;
    }
    if (c >= kNC) Bad("invalid character code");
    const uint64_t len = static_cast<uint64_t>(c - 256 + kThreshold);
    int pc = st.p.Decode(br);
    if (pc >= np) Bad("invalid position code");
    uint32_t dist = static_cast<uint32_t>(pc);
    if (pc > 1) dist = (1u << (pc - 1)) + br.Get(pc - 1);
    ++dist;
    if (dist > maxDist) Bad("match distance beyond the dictionary");
    if (len > size - win.Produced()) Bad("match runs past the end of the file");
    if (!win.Copy(dist, len)) Bad("match reaches before the start of the file");
  }
  win.Flush();
}

}  // namespace velmaris
