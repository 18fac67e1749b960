// The LZ decoders on hand-made bit streams: what valid blocks decode to, and
// that every damaged table, length and distance is refused with its code and
// that no input makes them run on.
#include <gtest/gtest.h>

#include <functional>

#include "ArjLhaSupport.h"
#include "archive/ArjFastDecoder.h"
#include "archive/LzhDecoder.h"
#include "archive/LzhufDecoder.h"

namespace velmaris::test {
namespace {

struct Outcome {
  std::string out;
  int code = 0;  // 0 when decoding succeeded
};

Outcome Decode(const std::function<void(TLzhSource&, TLzhSink&)>& decode, const std::string& in) {
  TLzhMemorySource src(in.data(), in.size());
  TLzhMemorySink sink;
  Outcome o;
  try {
    decode(src, sink);
  } catch (const ELzhData& e) {
    o.code = e.Code;
  }
  o.out = sink.Data;
  return o;
}

Outcome Lzh(int method, const std::string& in, uint64_t size) {
  return Decode([&](TLzhSource& s,
                    TLzhSink& k) { TLzhDecoder(TLzhSettings::Lha(method)).LzhDecode(s, k, size); },
                in);
}

// Writers of the pieces of a static-Huffman block (lh5: 4-bit position
// table count).
void SingleTable(BitWriter& w, int countBits, int symbol) {
  w.Put(0, countBits);
  w.Put(static_cast<uint32_t>(symbol), countBits);
}
void PtLength(BitWriter& w, int len) {
  if (len < 7) {
    w.Put(static_cast<uint32_t>(len), 3);
  } else {
    w.Put(7, 3);
    for (int i = 7; i < len; ++i) w.Put(1, 1);
    w.Put(0, 1);
  }
}
// The code-length code with symbols 2 and `other` of length 1 (codes 0, 1).
void PtTwo(BitWriter& w, int other) {
  w.Put(static_cast<uint32_t>(other + 1), 5);
  for (int i = 0; i <= other; ++i) {
    PtLength(w, i == 2 || i == other ? 1 : 0);
    if (i == 2) w.Put(0, 2);  // no extra zeros after the third length
  }
}
// Zero run of n (20..531) character lengths with code-length symbol 2 (code 0).
void ZeroRun(BitWriter& w, int n) {
  w.Put(0, 1);
  w.Put(static_cast<uint32_t>(n - 20), 9);
}

// A block whose characters are 'A' (code 0) and match length 3 (code 1),
// distance always 1, followed by the codes in `bits`.
std::string TwoSymbolBlock(const std::string& bits) {
  BitWriter w;
  w.Put(static_cast<uint32_t>(bits.size()), 16);
  PtTwo(w, 3);    // length 1 is code-length symbol 3
  w.Put(257, 9);  // 257 character lengths
  ZeroRun(w, 65);
  w.Put(1, 1);  // 'A': length 1
  ZeroRun(w, 190);
  w.Put(1, 1);  // 256: length 1
  SingleTable(w, 4, 0);
  for (char b : bits) w.Put(b == '1', 1);
  return w.Finish();
}

TEST(LhaDecoder, ValidBlocksDecode) {
  struct Case {
    const char* what;
    std::string in;
    uint64_t size;
    std::string out;
  };
  BitWriter single;
  single.Put(5, 16);
  SingleTable(single, 5, 0);
  SingleTable(single, 9, 'A');
  SingleTable(single, 4, 0);
  const Case cases[] = {
      {"one-symbol tables take no bits", single.Finish(), 5, "AAAAA"},
      {"a match overlapping its source", TwoSymbolBlock("01"), 4, "AAAA"},
      {"literals and matches", TwoSymbolBlock("0011"), 8, "AAAAAAAA"},
      {"nothing to decode", "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = Lzh(5, c.in, c.size);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, c.out);
  }
}

TEST(LhaDecoder, DamagedTablesLengthsAndDistancesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(BitWriter&)> write;
    uint64_t size;
  };
  const Case cases[] = {
      {"over-subscribed code-length code",
       [](BitWriter& w) {
         w.Put(1, 16);
         w.Put(3, 5);
         for (int i = 0; i < 3; ++i) PtLength(w, 1);
         w.Put(0, 2);
       },
       1},
      {"code-length table longer than its alphabet",
       [](BitWriter& w) { w.Put(1, 16), w.Put(20, 5); }, 1},
      {"single code-length symbol beyond the alphabet",
       [](BitWriter& w) { w.Put(1, 16), SingleTable(w, 5, 19); }, 1},
      {"code length above 16", [](BitWriter& w) { w.Put(1, 16), w.Put(1, 5), PtLength(w, 17); }, 1},
      {"character table longer than 510",
       [](BitWriter& w) { w.Put(1, 16), PtTwo(w, 3), w.Put(511, 9); }, 1},
      {"zero run past the character table",
       [](BitWriter& w) {
         w.Put(1, 16), PtTwo(w, 3), w.Put(510, 9), ZeroRun(w, 500), ZeroRun(w, 20);
       },
       1},
      {"single character beyond 509",
       [](BitWriter& w) { w.Put(1, 16), SingleTable(w, 5, 0), SingleTable(w, 9, 510); }, 1},
      {"position code beyond the method's",
       [](BitWriter& w) {
         w.Put(1, 16), SingleTable(w, 5, 0), SingleTable(w, 9, 'A'), SingleTable(w, 4, 14);
       },
       1},
      {"match before the start",
       [](BitWriter& w) {
         w.Put(1, 16), SingleTable(w, 5, 0), SingleTable(w, 9, 256), SingleTable(w, 4, 0);
       },
       3},
      {"far match before the start",
       [](BitWriter& w) {
         w.Put(2, 16), SingleTable(w, 5, 0), SingleTable(w, 9, 300), SingleTable(w, 4, 13);
         w.Put(0xFFF, 12);  // distance 8192 + 4095 + 1
       },
       100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BitWriter w;
    c.write(w);
    EXPECT_EQ(Lzh(5, w.Finish() + std::string(8, '\0'), c.size).code, kLzhBadHuffmanCode);
  }
  // A match that runs past the end of the file.
  EXPECT_EQ(Lzh(5, TwoSymbolBlock("01"), 3).code, kLzhBadHuffmanCode);
}

TEST(LhaDecoder, UnusedCodeOfAnIncompleteTableIsRefused) {
  BitWriter w;
  w.Put(2, 16);
  PtTwo(w, 4);   // length 2 is code-length symbol 4
  w.Put(66, 9);  // 'A' alone, with length 2: codes 01, 10, 11 are unused
  ZeroRun(w, 65);
  w.Put(1, 1);
  SingleTable(w, 4, 0);
  w.Put(0, 2);  // 'A'
  w.Put(3, 2);  // unused
  const Outcome o = Lzh(5, w.Finish(), 2);
  EXPECT_EQ(o.code, kLzhBadHuffmanCode);
}

TEST(LhaDecoder, TruncatedOrRandomInputEndsWithAnError) {
  // Zero bits decode to block after block of one-symbol tables; the
  // decoder must still stop when the input has run dry.
  for (int method : {4, 5, 6, 7}) {
    const Outcome o = Lzh(method, "", 1u << 30);
    EXPECT_EQ(o.code, kLzhReadError) << method;
    EXPECT_LT(o.out.size(), 1u << 20);
  }
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const std::string in = RandomBytes(64 + seed * 37, seed);
    const Outcome o = Lzh(5 + static_cast<int>(seed % 3), in, 1u << 24);
    EXPECT_NE(o.code, 0) << seed;
    const Outcome f =
        Decode([&](TLzhSource& s, TLzhSink& k) { TArjFastDecoder().Decode(s, k, 1u << 24); }, in);
    EXPECT_NE(f.code, 0) << seed;
    const Outcome h =
        Decode([&](TLzhSource& s, TLzhSink& k) { TLzhufDecoder().Decode(s, k, 1u << 24); }, in);
    EXPECT_NE(h.code, 0) << seed;
  }
}

TEST(ArjFastDecoder, LiteralsMatchesAndBadDistances) {
  auto literal = [](BitWriter& w, char c) {
    w.Put(0, 1);
    w.Put(static_cast<uint8_t>(c), 8);
  };
  // Length field 1 (match of 3): a one bit, a zero bit, then one plain bit 0.
  auto match3 = [](BitWriter& w, uint32_t dist) {
    w.Put(0b100, 3);
    w.Put(0, 1);  // no prefix bit: 9-bit distance
    w.Put(dist - 1, 9);
  };
  struct Case {
    const char* what;
    std::function<void(BitWriter&)> write;
    uint64_t size;
    std::string out;
    int code;
  };
  const Case cases[] = {
      {"literals", [&](BitWriter& w) { literal(w, 'x'), literal(w, 'y'); }, 2, "xy", 0},
      {"overlapping match", [&](BitWriter& w) { literal(w, 'x'), match3(w, 1); }, 4, "xxxx", 0},
      {"match of a pair", [&](BitWriter& w) { literal(w, 'a'), literal(w, 'b'), match3(w, 2); }, 5,
       "ababa", 0},
      {"distance before the start", [&](BitWriter& w) { literal(w, 'x'), match3(w, 6); }, 4, "",
       kLzhBadHuffmanCode},
      {"match past the end", [&](BitWriter& w) { literal(w, 'x'), match3(w, 1); }, 3, "",
       kLzhBadHuffmanCode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BitWriter w;
    c.write(w);
    const std::string in = w.Finish();
    const Outcome o =
        Decode([&](TLzhSource& s, TLzhSink& k) { TArjFastDecoder().Decode(s, k, c.size); }, in);
    EXPECT_EQ(o.code, c.code);
    if (!c.code) {
      EXPECT_EQ(o.out, c.out);
    }
  }
}

TEST(LzhufDecoder, RoundTripsTheTestEncoder) {
  const std::string cases[] = {
      "",
      "a",
      std::string(5000, ' '),
      SampleText(40000, 8),
      SampleRuns(70000),
      RandomBytes(5000, 3),
      // Enough symbols that the tree is rebuilt (frequencies reach 0x8000).
      SampleText(200000, 12),
  };
  for (const auto& data : cases) {
    SCOPED_TRACE(data.size());
    const std::string enc = EncodeLh1(data);
    const Outcome o =
        Decode([&](TLzhSource& s, TLzhSink& k) { TLzhufDecoder().Decode(s, k, data.size()); }, enc);
    EXPECT_EQ(o.code, 0);
    EXPECT_TRUE(o.out == data);
    // Cut short: an error, never a hang.
    const std::string cut = enc.substr(0, enc.size() / 2);
    const Outcome c =
        Decode([&](TLzhSource& s, TLzhSink& k) { TLzhufDecoder().Decode(s, k, data.size()); }, cut);
    if (data.size() > 100) {
      EXPECT_NE(c.code, 0);
    }
  }
}

}  // namespace
}  // namespace velmaris::test
