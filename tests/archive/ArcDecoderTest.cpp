// The ARC decoders on their own: archives made by arc for every method it
// writes, hand-made streams for the older methods (checked with nomarch), and
// damaged data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ArcFixtures.h"
#include "archive/ArcDecoders.h"
#include "archive/ArcHeader.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct Decoded {
  std::string data;
  uint16_t crc = 0;
  int error = 0;
};

Decoded DecodeData(int method, const std::string& packed, uint64_t originalSize) {
  Decoded r;
  ArcInput in(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
  ArcSink out(
      [&](const uint8_t* p, size_t n) { r.data.append(reinterpret_cast<const char*>(p), n); },
      originalSize);
  try {
    ArcDecodeEntry(method, in, out);
  } catch (const EArcDecode& e) {
    r.error = e.Code();
  }
  r.crc = out.Crc();
  return r;
}

// The entries of an archive image: header and data of each.
struct Member {
  ArcEntryHeader header;
  std::string packed;
};
std::vector<Member> Members(const std::string& arc) {
  std::vector<Member> list;
  size_t pos = 0;
  while (pos < arc.size()) {
    Member m;
    if (DecodeArcHeader(reinterpret_cast<const uint8_t*>(arc.data()) + pos, arc.size() - pos,
                        m.header) != ArcHeaderResult::kOk ||
        m.header.type == 0)
      break;
    pos += m.header.headerSize;
    m.packed = arc.substr(pos, m.header.packedSize);
    pos += m.header.packedSize;
    list.push_back(m);
  }
  return list;
}

// ---------------------------------------------------------------- arc's own archives

struct ArcMade {
  const char* name;
  std::string (*data)();
  const char* options;  // arc command letters
  int method;
};

std::string Clears() { return DataWithClearCodes(300000); }
// More than the decoder keeps of its output, so strings are copied from
// history that has slid.
std::string LongClears() { return DataWithClearCodes(1500000); }

std::string SqueezedNul() { return SqueezedText(70000, std::string(1, '\0')); }
std::string SqueezedTwoNuls() { return SqueezedText(70004, std::string(2, '\0')); }
std::string SqueezedThreeNuls() { return SqueezedText(40071, std::string(3, '\0')); }
std::string SqueezedCrCr() { return SqueezedText(40089, "\r\r"); }
std::string SqueezedMarker() { return SqueezedText(40100, "\x90"); }

class ArcMadeTest : public ::testing::TestWithParam<ArcMade> {};

TEST_P(ArcMadeTest, DecodesWhatArcWroteLikeNomarch) {
  if (!HaveArcTools()) GTEST_SKIP() << "arc or nomarch missing";
  const ArcMade& c = GetParam();
  TempDir dir;
  const std::string original = c.data();
  dir.Write(c.name, original);
  ASSERT_EQ(RunShell("cd '" + dir.Path() + "' && TMPDIR=. timeout 60 arc " + c.options + " t.arc " +
                     c.name + " >/dev/null 2>&1"),
            0);
  const auto members = Members(dir.Read("t.arc"));
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].header.type, c.method) << "arc chose another method for " << c.name;
  EXPECT_EQ(members[0].header.originalSize, original.size());

  const Decoded d =
      DecodeData(members[0].header.type, members[0].packed, members[0].header.originalSize);
  EXPECT_EQ(d.error, 0);
  EXPECT_EQ(d.crc, members[0].header.crc);
  EXPECT_TRUE(d.data == original);
  EXPECT_TRUE(d.data == NomarchExtract(dir / "t.arc", c.name));
}

INSTANTIATE_TEST_SUITE_P(EveryMethodArcWrites, ArcMadeTest,
                         ::testing::Values(ArcMade{"stored.bin", DataForStored, "a", 2},
                                           ArcMade{"forced.txt", DataForCrunched, "as", 2},
                                           ArcMade{"packed.bin", DataForPacked, "a", 3},
                                           ArcMade{"squeezed.txt", DataForSqueezed, "a", 4},
                                           ArcMade{"sqnul.txt", SqueezedNul, "a", 4},
                                           ArcMade{"sqnul2.txt", SqueezedTwoNuls, "a", 4},
                                           ArcMade{"sqnul3.txt", SqueezedThreeNuls, "a", 4},
                                           ArcMade{"sqcrcr.txt", SqueezedCrCr, "a", 4},
                                           ArcMade{"sqmark.txt", SqueezedMarker, "a", 4},
                                           ArcMade{"crunched.txt", DataForCrunched, "a", 8},
                                           ArcMade{"clear.txt", Clears, "a", 8},
                                           ArcMade{"squashed.txt", DataForCrunched, "aq", 9},
                                           ArcMade{"sqclear.txt", Clears, "aq", 9},
                                           ArcMade{"long.txt", LongClears, "a", 8},
                                           ArcMade{"sqlong.txt", LongClears, "aq", 9}),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           return n.substr(0, n.find('.'));
                         });

// ---------------------------------------------------------------- hand-made streams

struct HandMade {
  const char* name;
  int method;
  std::string original;
  std::string (*encode)(const std::string&);
};

std::string Identity(const std::string& d) { return d; }
std::string Crunch5(const std::string& d) { return CrunchEncode(d, false); }
std::string Crunch6(const std::string& d) { return CrunchEncode(RunLengthEncode(d), false); }
std::string Crunch7(const std::string& d) { return CrunchEncode(RunLengthEncode(d), true); }

std::string MixedText() {
  std::string d = DataForCrunched();
  d += DataForPacked();
  d += DataWithClearCodes(30000);  // enough strings to fill the 4096 codes
  return d;
}

class HandMadeTest : public ::testing::TestWithParam<HandMade> {};

TEST_P(HandMadeTest, OlderMethodsDecodeLikeNomarch) {
  const HandMade& c = GetParam();
  const std::string packed = c.encode(c.original);
  const Decoded d = DecodeData(c.method, packed, c.original.size());
  EXPECT_EQ(d.error, 0);
  EXPECT_TRUE(d.data == c.original);
  EXPECT_EQ(d.crc, Crc16Of(c.original));

  if (!HaveArcTools()) GTEST_SKIP() << "arc or nomarch missing";
  TempDir dir;
  dir.Write("h.arc", BuildArc({{c.method, "member.dat", packed, c.original}}));
  EXPECT_TRUE(ArcToolExtract(dir / "h.arc", "member.dat") == c.original)
      << "arc reads the stream otherwise";
  if (c.method != 7) {  // nomarch knows no method 7
    EXPECT_TRUE(NomarchExtract(dir / "h.arc", "member.dat") == c.original)
        << "nomarch reads the stream otherwise";
  }
}

INSTANTIATE_TEST_SUITE_P(
    MethodsArcNoLongerWrites, HandMadeTest,
    ::testing::Values(HandMade{"OldStored", 1, "old stored entry", Identity},
                      HandMade{"PackedMarkers", 3,
                               std::string("a\x90\x90\x90\x90zz\x90", 8) + std::string(300, 'q'),
                               RunLengthEncode},
                      HandMade{"Crunch5", 5, MixedText(), Crunch5},
                      HandMade{"Crunch6", 6, MixedText(), Crunch6},
                      HandMade{"Crunch7", 7, MixedText(), Crunch7},
                      HandMade{"Crunch7Short", 7, "ab", Crunch7},
                      HandMade{"Crunch5Repeats", 5, std::string(5000, 'x'), Crunch5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArcRunLength, MarkerRulesByTable) {
  struct Case {
    std::string packed, expected;
  } cases[] = {
      {"", ""},
      {std::string("a\x90\x05", 3), "aaaaa"},
      {std::string("a\x90\x01", 3), "a"},    // stands once in all
      {std::string("\x90\x00", 2), "\x90"},  // the marker itself
      {std::string("a\x90\x00\x90\x03", 5),
       "a\x90"
       "aa"},  // the byte before the marker
      {std::string("ab\x90\x03"
                   "c",
                   5),
       "abbbc"},
  };
  for (const auto& c : cases) {
    const Decoded d = DecodeData(3, c.packed, c.expected.size());
    EXPECT_EQ(d.error, 0);
    EXPECT_EQ(d.data, c.expected) << "packed " << testing::PrintToString(c.packed);
  }
}

TEST(ArcLzw, CodeReadRightAfterAClearRepeatsTheStringBeforeIt) {
  // Squashed codes 'A' 'B' clear 256 257: after a clear the next entry made
  // is 256, so 256 read at once is the string before the clear plus its first
  // byte ("BB"), and 257 that string plus its first byte again ("BBB"), as
  // nomarch decodes it. The first group is padded to its nine bytes.
  const std::string packed(
      "\x41\x84\x00\x04\x00\x00\x00\x00\x00"
      "\x00\x03\x02",
      12);
  const Decoded d = DecodeData(9, packed, 7);
  EXPECT_EQ(d.error, 0);
  EXPECT_EQ(d.data, "ABBBBBB");
}

// ---------------------------------------------------------------- damaged data

std::string Le16(int v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

TEST(ArcDecoderDamage, FailsWithItsCodeByTable) {
  const std::string squashed = [] {
    // A literal 'A' (9 bits) followed by code 300, beyond the table.
    std::string s;
    const uint32_t bits = 'A' | (300u << 9);
    s += static_cast<char>(bits & 0xFF);
    s += static_cast<char>((bits >> 8) & 0xFF);
    s += static_cast<char>((bits >> 16) & 0xFF);
    return s;
  }();
  struct Case {
    const char* what;
    int method;
    std::string packed;
    uint64_t size;
    int error;
  } cases[] = {
      {"squeeze node count above 256", 4, Le16(300), 10, kArcErrTree},
      {"squeeze node count negative", 4, Le16(-1), 10, kArcErrTree},
      {"squeeze child beyond the nodes", 4, Le16(1) + Le16(5) + Le16(-2), 10, kArcErrTree},
      {"squeeze leaf beyond the end mark", 4, Le16(1) + Le16(-300) + Le16(-2), 10, kArcErrTree},
      {"squeeze tree cut short", 4, Le16(2) + Le16(1), 10, kArcErrTree},
      {"crunch with 13 bits", 8, std::string("\x0D\x41\x00", 3), 10, kArcErrBits},
      {"squash code beyond the table", 9, squashed, 100, kArcErrBits},
      {"squash beginning with a string code", 9, std::string("\x00\x03", 2), 100, kArcErrBits},
      {"crunch5 beginning with an unused code", 5, std::string("\x00\x10", 2), 10, kArcErrBits},
      {"more output than the stored size", 2, "abcdef", 3, kArcErrCrc},
      {"run longer than the stored size", 3, std::string("a\x90\xFF", 3), 10, kArcErrCrc},
      {"method 0", 0, "x", 1, kArcErrMethod},
      {"method 10", 10, "x", 1, kArcErrMethod},
  };
  for (const auto& c : cases) {
    const Decoded d = DecodeData(c.method, c.packed, c.size);
    EXPECT_EQ(d.error, c.error) << c.what;
  }
}

TEST(ArcDecoderDamage, CrunchCodesThatDoNotResolveStop) {
  // Every 12-bit code once, in a scrambled order: whatever the table makes of
  // it, the decoder ends with a code or with its output, never loops.
  std::string codes;
  for (int i = 0; i < 4096; i += 2) {
    const int a = (i * 2654435761u) & 0xFFF, b = ((i + 1) * 40503u) & 0xFFF;
    codes += static_cast<char>(a >> 4);
    codes += static_cast<char>(((a & 0xF) << 4) | (b >> 8));
    codes += static_cast<char>(b & 0xFF);
  }
  for (int method : {5, 6, 7}) {
    const Decoded d = DecodeData(method, codes, 1 << 20);
    EXPECT_TRUE(d.error == 0 || d.error == kArcErrBits || d.error == kArcErrStack ||
                d.error == kArcErrCrc);
  }
}

TEST(ArcDecoderDamage, TruncatedDataEndsShortAndFailsTheCrc) {
  const std::string original = DataForCrunched();
  const std::string packed = CrunchEncode(RunLengthEncode(original), true);
  for (size_t cut : {size_t{1}, packed.size() / 2, packed.size() - 1}) {
    const Decoded d = DecodeData(7, packed.substr(0, cut), original.size());
    EXPECT_EQ(d.error, 0);
    EXPECT_LT(d.data.size(), original.size());
    EXPECT_NE(d.crc, Crc16Of(original));
  }
}

TEST(ArcInputLimit, NeverReadsPastTheEntry) {
  const std::string file = "0123456789";
  size_t at = 0;
  ArcInput in(
      [&](uint8_t* dst, size_t max) {
        const size_t n = std::min(max, file.size() - at);
        std::memcpy(dst, file.data() + at, n);
        at += n;
        return n;
      },
      4);
  std::string got;
  for (int c; (c = in.Get()) >= 0;) got += static_cast<char>(c);
  EXPECT_EQ(got, "0123");
  EXPECT_EQ(at, 4u);
  EXPECT_FALSE(in.Short());

  ArcInput longer(reinterpret_cast<const uint8_t*>(file.data()), 3);
  uint8_t buf[8];
  EXPECT_EQ(longer.Read(buf, 8), 3u);
}

TEST(ArcHeaderLayout, GoldenBytes) {
  ArcEntryHeader h;
  h.type = 8;
  h.name = "README.TXT";
  h.packedSize = 0x01020304;
  h.dosDateTime = 0x5A8B6000;
  h.crc = 0xBEEF;
  h.originalSize = 0x0A0B0C0D;
  const std::string bytes = EncodeArcHeader(h);
  const std::string golden = std::string("\x1A\x08README.TXT\0\0\0", 15) + "\x04\x03\x02\x01" +
                             "\x8B\x5A" + std::string("\x00\x60", 2) + "\xEF\xBE" +
                             "\x0D\x0C\x0B\x0A";
  EXPECT_EQ(bytes, golden);
  ArcEntryHeader back;
  ASSERT_EQ(DecodeArcHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), back),
            ArcHeaderResult::kOk);
  EXPECT_EQ(back.name, h.name);
  EXPECT_EQ(back.packedSize, h.packedSize);
  EXPECT_EQ(back.dosDateTime, h.dosDateTime);
  EXPECT_EQ(back.crc, h.crc);
  EXPECT_EQ(back.originalSize, h.originalSize);
  EXPECT_EQ(back.headerSize, 29u);

  h.type = 1;  // the old stored form has no original size
  const std::string old = EncodeArcHeader(h);
  EXPECT_EQ(old.size(), 25u);
  ASSERT_EQ(DecodeArcHeader(reinterpret_cast<const uint8_t*>(old.data()), old.size(), back),
            ArcHeaderResult::kOk);
  EXPECT_EQ(back.originalSize, h.packedSize);

  const uint8_t end[] = {0x1A, 0x00};
  ASSERT_EQ(DecodeArcHeader(end, 2, back), ArcHeaderResult::kOk);
  EXPECT_EQ(back.type, 0);
  const uint8_t notArc[] = {'P', 'K'};
  EXPECT_EQ(DecodeArcHeader(notArc, 2, back), ArcHeaderResult::kBadMarker);
  const uint8_t cut[] = {0x1A, 0x02, 'A'};
  EXPECT_EQ(DecodeArcHeader(cut, 3, back), ArcHeaderResult::kShort);
}

}  // namespace
}  // namespace velmaris::test
