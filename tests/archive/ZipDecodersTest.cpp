// The decoders on their own: corrupt and truncated streams end with the
// library's codes, never with a crash or an endless loop.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ArchiveFixtures.h"
#include "archive/arxBase.h"
#include "archive/arxZipDecoders.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using namespace velmaris::zip;

// LSB-first bits for hand-written deflate streams.
struct Bits {
  std::string out;
  uint32_t acc = 0;
  int n = 0;
  Bits& Put(uint32_t v, int bits) {
    for (int i = 0; i < bits; ++i) {
      acc |= ((v >> i) & 1u) << n;
      if (++n == 8) {
        out += char(acc);
        acc = 0;
        n = 0;
      }
    }
    return *this;
  }
  // Values and widths in bits, alternating.
  Bits& Fields(std::initializer_list<uint32_t> valuesAndWidths) {
    for (auto i = valuesAndWidths.begin(); i != valuesAndWidths.end(); i += 2) Put(i[0], i[1]);
    return *this;
  }
  std::string Done() {
    if (n) out += char(acc);
    return out;
  }
};

enum class Method { Inflate, Explode4k2, Explode8k3, Unshrink, Unreduce1, Unreduce4 };

// Runs a decoder over the bytes; the code raised, 0 on success.
int Decode(Method m, const std::string& in, uint64_t outSize, std::string* out = nullptr,
           size_t chunk = 32768) {
  size_t pos = 0;
  std::string result;
  TDecodeIn read = [&](uint8_t* b, size_t n) {
    n = std::min({n, chunk, in.size() - pos});
    std::memcpy(b, in.data() + pos, n);
    pos += n;
    return n;
  };
  TDecodeOut write = [&](const uint8_t* b, size_t n) {
    result.append(reinterpret_cast<const char*>(b), n);
  };
  try {
    switch (m) {
      case Method::Inflate: TInflater().Run(read, write, outSize); break;
      case Method::Explode4k2: TExploder().Run(read, write, outSize, false, false); break;
      case Method::Explode8k3: TExploder().Run(read, write, outSize, true, true); break;
      case Method::Unshrink: TUnshrinker().Run(read, write, outSize); break;
      case Method::Unreduce1: TUnreducer().Run(read, write, outSize, 1); break;
      case Method::Unreduce4: TUnreducer().Run(read, write, outSize, 4); break;
    }
  } catch (const E_RAISE& e) {
    if (out) *out = result;
    return e.Code();
  }
  if (out) *out = result;
  return 0;
}

// Raw deflate data of a file compressed by zip -9.
std::string ZipDeflate(const std::string& content) {
  TempDir t;
  t.Write("f", content);
  RunShell("cd " + Sh(t.Path()) + " && zip -q -9 z.zip f");
  const std::string z = t.Read("z.zip");
  const auto* h = reinterpret_cast<const uint8_t*>(z.data());
  const size_t data = 30 + GetLE16(h + 26) + GetLE16(h + 28);
  const uint32_t csize = GetLE32(h + 18);
  return z.substr(data, csize);
}

TEST(ZipDecoders, InflateRejectsCorruptStreams) {
  // A fixed-code block that copies from before the start of the data.
  std::string farStream;
  {
    // Literal 'a': 8-bit codes 0x30..0xBF, sent most significant bit first.
    Bits b;
    b.Put(1, 1).Put(1, 2);
    auto code = [&](uint32_t c, int len) {
      for (int i = len - 1; i >= 0; --i) b.Put((c >> i) & 1, 1);
    };
    code(0x30 + 'a', 8);
    code(1, 7);   // length 3 (symbol 257)
    code(5, 5);   // distance code 5: 7..8, one extra bit
    b.Put(0, 1);  // distance 7 > 1 byte of history
    code(0, 7);   // end of block
    farStream = b.Done();
  }
  struct Case {
    const char* name;
    std::string stream;
    int code;
  } cases[] = {
      {"empty input", "", ecBadBlock},
      {"block type 3", Bits().Put(1, 1).Put(3, 2).Done(), ecBadBlock},
      {"stored length check", Bits().Fields({1, 1, 0, 2, 0, 5, 5, 16, 5, 16}).Done() + "abcde",
       ecBadBlock},
      {"stored block cut", Bits().Fields({1, 1, 0, 2, 0, 5, 10, 16, 0xFFF5, 16}).Done() + "abc",
       ecBadBlock},
      {"too many length codes", Bits().Fields({1, 1, 2, 2, 30, 5, 0, 5, 0, 4}).Done(),
       ecBadLengths},
      {"too many distance codes", Bits().Fields({1, 1, 2, 2, 0, 5, 30, 5, 0, 4}).Done(),
       ecBadLengths},
      {"over-subscribed code lengths",
       Bits().Fields({1, 1, 2, 2, 0, 5, 0, 5, 0, 4, 1, 3, 1, 3, 1, 3, 1, 3}).Done(),
       ecIncompleteCodeSet},
      // Only code-length symbol 16 (length 1): "repeat the previous" first.
      {"repeat without a previous length",
       Bits().Fields({1, 1, 2, 2, 0, 5, 0, 5, 0, 4, 1, 3, 0, 3, 0, 3, 0, 3, 0, 1, 0, 2}).Done(),
       ecBadLengths},
      // Symbols 17 and 18 (lengths 1) filling all with zeros: no end code.
      {"no end-of-block code",
       Bits()
           .Fields({1, 1, 2, 2, 0, 5,   0, 5, 0, 4,   0, 3, 1, 3, 1,
                    3, 0, 3, 1, 1, 127, 7, 1, 1, 127, 7, 1, 1, 3, 7})
           .Done(),
       ecBadLengths},
      {"distance before the start", farStream, ecBadBlock},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Decode(Method::Inflate, c.stream, UINT64_MAX), c.code) << c.name;
}

TEST(ZipDecoders, InflateTruncatedAndOversizedOutput) {
  const std::string text = SampleText(100000, 21);
  const std::string z = ZipDeflate(text);
  std::string out;
  ASSERT_EQ(Decode(Method::Inflate, z, text.size(), &out), 0);
  EXPECT_TRUE(out == text);
  // Fed a byte at a time: the same.
  ASSERT_EQ(Decode(Method::Inflate, z, text.size(), &out, 1), 0);
  EXPECT_TRUE(out == text);
  for (size_t cut : {size_t(1), z.size() / 3, z.size() / 2, z.size() - 1})
    EXPECT_EQ(Decode(Method::Inflate, z.substr(0, cut), UINT64_MAX), ecBadBlock) << cut;
  // More output than the entry says: an error, not a larger file.
  EXPECT_EQ(Decode(Method::Inflate, z, text.size() - 1), ecBadBlock);
}

TEST(ZipDecoders, OldMethodsRejectCorruptStreams) {
  const std::string text = SampleText(20000, 22);
  struct Case {
    const char* name;
    Method m;
    std::string stream;
    uint64_t size;
    int code;
  } cases[] = {
      {"explode: tree with too many codes", Method::Explode4k2,
       std::string("\x00\xFF", 2) + std::string(200, '\0'), 10, ecAmbiguousTree},
      {"explode: over-subscribed tree", Method::Explode4k2,
       std::string("\x03\xF0\xF0\xF0\xF0", 5) + std::string(200, '\0'), 10, ecAmbiguousTree},
      {"explode: cut", Method::Explode8k3, ImplodeEncode(text, true, true).substr(0, 700),
       text.size(), ecBadBlock},
      {"explode: empty", Method::Explode8k3, "", 10, ecBadBlock},
      {"unshrink: first code not a literal", Method::Unshrink, Bits().Put(300, 9).Done(), 10,
       ecBadBlock},
      {"unshrink: unknown control", Method::Unshrink,
       Bits().Put('a', 9).Put(256, 9).Put(7, 9).Done(), 10, ecBadBlock},
      {"unshrink: code not yet defined", Method::Unshrink, Bits().Put('a', 9).Put(400, 9).Done(),
       10, ecBadBlock},
      {"unshrink: code size above 13", Method::Unshrink,
       Bits()
           .Fields({'a', 9, 256, 9,   1,  9, 256, 10,  1,  10, 256,
                    11,  1, 11,  256, 12, 1, 12,  256, 13, 1,  13})
           .Done(),
       10, ecBadBlock},
      {"unshrink: cut", Method::Unshrink, ShrinkEncode(text, false).substr(0, 500), text.size(),
       ecBadBlock},
      {"unreduce: follower set too large", Method::Unreduce1, Bits().Put(40, 6).Done(), 10,
       ecBadBlock},
      {"unreduce: cut", Method::Unreduce4, ReduceEncode(text, 4, true).substr(0, 900), text.size(),
       ecBadBlock},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.m, c.stream, c.size), c.code) << c.name;
}

TEST(ZipDecoders, GarbageEndsEveryDecoder) {
  // Random inputs: each decoder either finishes or raises a code of ours,
  // and stops within its output size.
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    std::string in = RandomBytes(rng() % 3000, rng());
    for (Method m : {Method::Inflate, Method::Explode4k2, Method::Explode8k3, Method::Unshrink,
                     Method::Unreduce1, Method::Unreduce4}) {
      std::string out;
      const int code = Decode(m, in, 100000, &out);
      EXPECT_TRUE(code == 0 || ArxErrorText(code)[0] != '\0') << code;
      EXPECT_LE(out.size(), 100000u);
    }
  }
}

TEST(ZipDecoders, ZerosBeforeTheStart) {
  // Implode and reduce copy zeros from before the start of the data.
  const std::string zeros = std::string(50, '\0') + "tail";
  std::string out;
  ASSERT_EQ(Decode(Method::Explode8k3, ImplodeEncode(zeros, true, true), zeros.size(), &out), 0);
  EXPECT_TRUE(out == zeros);
  // 90 V D with V = 1 (length 4), D byte 9: copy 4 bytes from 10 back.
  Bits b;
  for (int x = 255; x >= 0; --x) b.Put(0, 6);  // no follower sets
  for (int c : {int('x'), 0x90, 1, 9}) b.Put(uint32_t(c), 8);
  ASSERT_EQ(Decode(Method::Unreduce1, b.Done(), 5, &out), 0);
  EXPECT_EQ(out, std::string("x\0\0\0\0", 5));
}

}  // namespace
}  // namespace velmaris::test
