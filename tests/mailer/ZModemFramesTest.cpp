// ZModem frames: golden hex headers as rz writes them, round trips of binary
// headers and subpackets through the escaping, damaged frames, cancel.
#include <gtest/gtest.h>

#include "mailer/LineShaper.h"
#include "mailer/ZModemFrames.h"

namespace velmaris::test {
namespace {

std::vector<TZEvent> Parse(const std::string& bytes) {
  TZParser p;
  std::vector<TZEvent> out;
  p.Feed(bytes, [&](const TZEvent& e) { out.push_back(e); });
  return out;
}

TEST(ZModemFramesTest, HexHeadersMatchTheBytesRzWrites) {
  // rz's greeting: ZRINIT with CANFDX|CANOVIO|CANFC32.
  EXPECT_EQ(HexHeader({ZRINIT, 0x23000000}),
            "**\x18"
            "B0100000023be50\r\n\x11");
  EXPECT_EQ(HexHeader({ZRQINIT, 0}),
            "**\x18"
            "B00000000000000\r\n\x11");
  // ZFIN and ZACK end without XON.
  EXPECT_EQ(HexHeader({ZFIN, 0}).back(), '\n');
}

TEST(ZModemFramesTest, HeadersSurviveEscapingInEveryFormat) {
  // Arguments full of bytes that must be escaped, ZDLE among them.
  const uint32_t args[] = {0, 0x18181818, 0x11139091, 0x0D40800D, 0xFFFFFFFF};
  for (uint32_t arg : args) {
    for (int format = 0; format < 3; ++format) {
      SCOPED_TRACE(std::to_string(arg) + "/" + std::to_string(format));
      TZEscaper esc;
      esc.escapeCtl = format == 2;
      const TZHeader h{ZDATA, arg};
      const std::string bytes =
          format == 0 ? HexHeader({ZRPOS, arg}) : BinaryHeader(h, format == 1, esc);
      const auto events = Parse(bytes);
      ASSERT_EQ(events.size(), 1u);
      EXPECT_EQ(events[0].kind, TZEvent::Header);
      EXPECT_EQ(events[0].header.arg, arg);
    }
  }
}

TEST(ZModemFramesTest, SubpacketsCarryEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += "@\r@\r";
  for (bool use32 : {false, true}) {
    TZEscaper esc;
    std::string bytes = BinaryHeader({ZDATA, 7}, use32, esc);
    bytes += Subpacket(all, ZCRCG, use32, esc);
    bytes += Subpacket("tail", ZCRCE, use32, esc);
    for (size_t i = 0; i < bytes.size(); ++i) {  // no raw flow control on the line
      const uint8_t c = static_cast<uint8_t>(bytes[i]) & 0x7F;
      EXPECT_TRUE(c != 0x11 && c != 0x13) << i;
    }
    const auto events = Parse(bytes);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].kind, TZEvent::Data);
    EXPECT_EQ(events[1].data, all);
    EXPECT_EQ(events[1].frameEnd, ZCRCG);
    EXPECT_EQ(events[2].data, "tail");
  }
}

TEST(ZModemFramesTest, DamagedFramesAreReportedNotTaken) {
  TZEscaper esc;
  const std::string header = BinaryHeader({ZDATA, 0}, true, esc);
  const std::string sub = Subpacket(std::string(100, 'x'), ZCRCW, true, esc);
  struct Case {
    const char* what;
    std::string bytes;
    TZEvent::Kind last;
  } cases[] = {
      {"flipped data byte", header + "y" + sub.substr(1), TZEvent::BadData},
      {"flipped header byte", header.substr(0, 4) + "\x55" + header.substr(5) + sub,
       TZEvent::BadHeader},
      {"overlong subpacket", header + std::string(kZMaxSubpacket + 10, 'z'), TZEvent::BadData},
      {"invalid escape", header + "ab\x18\x01" + sub, TZEvent::BadData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto events = Parse(c.bytes);
    ASSERT_FALSE(events.empty());
    bool bad = false;
    for (const auto& e : events) bad |= e.kind == c.last;
    EXPECT_TRUE(bad);
    for (const auto& e : events) EXPECT_NE(e.kind, TZEvent::Data);
  }
}

TEST(ZModemFramesTest, FiveCansCancelFourDoNot) {
  EXPECT_TRUE(Parse(std::string(4, '\x18') + "x").empty());
  const auto events = Parse(std::string(5, '\x18'));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, TZEvent::Cancel);
}

TEST(ZModemFramesTest, HeaderWhosePadWasLostIsStillRead) {
  // Noise ate the "*": ZDLE and the format letter start the header anyway.
  const std::string h = HexHeader({ZRPOS, 1234});
  const auto events = Parse("garbage" + h.substr(2));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].header.type, ZRPOS);
  EXPECT_EQ(events[0].header.arg, 1234u);
}

TEST(ZModemFramesTest, FakeLineLosesTheFirstZEofHeadersOnly) {
  // The line of the protocol tests loses the first ZEOF on purpose, also
  // when the header comes in pieces; other headers and later ZEOFs pass,
  // and no other byte changes.
  const std::string eof = HexHeader({ZEOF, 5000});
  const std::string stream = "***" + HexHeader({ZRPOS, 0}) + eof + eof;
  const size_t firstEof = stream.find(eof);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{3}, firstEof + 2, firstEof + 5, firstEof + 7}) {
    SCOPED_TRACE(cut);
    THeaderDamage damage(1);
    std::string passed = damage.Pass(stream.substr(0, cut));
    EXPECT_LE(passed.size(), cut);
    passed += damage.Pass(stream.substr(cut));
    passed += damage.Flush();
    ASSERT_EQ(passed.size(), stream.size());
    EXPECT_EQ(passed.substr(0, firstEof + 2), stream.substr(0, firstEof + 2));
    EXPECT_EQ(passed.substr(firstEof + 3), stream.substr(firstEof + 3));
    std::vector<int> kinds;
    for (const TZEvent& e : Parse(passed)) kinds.push_back(e.header.type);
    EXPECT_EQ(kinds, (std::vector<int>{ZRPOS, ZEOF}));
  }
}

}  // namespace
}  // namespace velmaris::test
