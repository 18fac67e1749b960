#include <gtest/gtest.h>

#include "nodelist/NodelistFiles.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(NodelistCrc, KnownValues) {
  EXPECT_EQ(NlCrc16("abc", 3), 0x9DD6);
  EXPECT_EQ(NlCrc16("123456789", 9), 0x31C3);
  EXPECT_EQ(NlCrc16("", 0), 0);
}

TEST(NodelistDays, DayNumberExtension) {
  struct Case {
    int n;
    const char* ext;
  } cases[] = {{5, "005"}, {7, "007"}, {0, "000"}, {123, "123"}, {366, "366"}, {1234, "234"}};
  for (const auto& c : cases) EXPECT_EQ(DayNumberExt(c.n), c.ext) << c.n;
}

TEST(NodelistDays, NextDiffDayWrapsWithTheLengthOfLastYear) {
  struct Case {
    int day, year, next;
  } cases[] = {
      {123, 2026, 130}, {358, 2025, 365},  // 2024 was a leap year: day 365 still exists
      {359, 2025, 366}, {362, 2025, 3},    // after a leap year
      {362, 2026, 4},                      // after a common year
      {360, 2026, 2},   {362, 2001, 3},    // 2000 was a leap year (400 rule)
      {362, 1901, 4},                      // 1900 was not
  };
  for (const auto& c : cases)
    EXPECT_EQ(NextDiffDay(c.day, c.year), c.next) << c.day << " " << c.year;
}

TEST(NodelistLines, SplitsLinesLikeTheListReader) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a,b\r\nc\r\n", {"a,b", "c"}},
      // LF alone: the last character of the line stays.
      {"abc\ndef\n", {"abc", "def"}},
      {"abc\r\ndef", {"abc", "def"}},
      {"\r\n\r\nx\r\n", {"", "", "x"}},
      // a 0 byte stays in its line: the reader decides what it means
      {std::string("ab\r\ncd\0ef\r\ngh\r\n", 15), {"ab", std::string("cd\0ef", 5), "gh"}},
      {"", {}},
      {"lone CR\r", {"lone CR\r"}},
  };
  for (const auto& c : cases) {
    TLineReader r(c.text);
    std::vector<std::string> got;
    std::string_view line;
    while (r.Next(line)) got.emplace_back(line);
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST(NodelistLines, FieldsAfterTheLastAreEmpty) {
  TFieldReader f("one,two");
  EXPECT_EQ(f.Next(), "one");
  EXPECT_EQ(f.Next(), "two");
  EXPECT_EQ(f.Next(), "");
  EXPECT_EQ(f.Next(), "");
  TFieldReader g(",5,Name,City,Sysop,1-2-3,9600,CM,XA");
  EXPECT_EQ(g.Next(), "");
  EXPECT_EQ(g.Next(), "5");
  g.Next();
  g.Next();
  EXPECT_EQ(g.Next(), "Sysop");
  EXPECT_EQ(g.Rest(), "1-2-3,9600,CM,XA");
}

TEST(NodelistNumbers, ParseDecimal) {
  EXPECT_EQ(ParseDecimal("0"), 0);
  EXPECT_EQ(ParseDecimal("65535"), 65535);
  EXPECT_EQ(ParseDecimal("-5"), -5);
  EXPECT_EQ(ParseDecimal("+5"), 5);
  EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
  for (const char* bad : {"", "-", "5a", " 5", "0x10", "2147483648", "99999999999"})
    EXPECT_FALSE(ParseDecimal(bad)) << bad;
}

TEST(NodelistCrc, CheckListCrc) {
  const std::string body = ",1,A,B,C,D\r\n,2,A,B,C,D\r\n";
  const std::string crc = std::to_string(NlCrc16(body.data(), body.size()));
  EXPECT_TRUE(CheckListCrc(";A head : " + crc + "\r\n" + body + "\x1A"));
  EXPECT_TRUE(CheckListCrc(";A head : " + crc + "\n" + body + "\x1A"));
  // The number counts by its low 16 bits.
  EXPECT_TRUE(
      CheckListCrc(";A head : " + std::to_string(std::stoi(crc) + 65536) + "\r\n" + body + "\x1A"));
  EXPECT_FALSE(CheckListCrc(";A head : " + crc + "\r\n" + body + "X\x1A"));
  EXPECT_FALSE(CheckListCrc(";A head : " + crc + "x\r\n" + body + "\x1A"));
  EXPECT_FALSE(CheckListCrc(";A head : " + crc + "\x1A"));
  EXPECT_FALSE(CheckListCrc(";A head : 99999999999\r\n" + body + "\x1A"));
  EXPECT_FALSE(CheckListCrc(""));
}

TEST(NodelistFiles, LoadTextFileEndsInOneEndOfFileByte) {
  TempDir dir;
  dir.Write("a", "text\r\n");
  dir.Write("b", "text\r\n\x1A");
  dir.Write("c", "");
  EXPECT_EQ(*LoadTextFile(dir / "a"), "text\r\n\x1A");
  EXPECT_EQ(*LoadTextFile(dir / "b"), "text\r\n\x1A");
  EXPECT_EQ(*LoadTextFile(dir / "c"), "\x1A");
  EXPECT_FALSE(LoadTextFile(dir / "missing"));
  EXPECT_FALSE(LoadTextFile(dir.Path()));  // a directory
}

TEST(NodelistFiles, IndexRecordLayout) {
  TNodeIndexRecord rec;
  rec.Addr = TFidoAddr{2, 5020, 1, 7};
  rec.NameOffset = 0x01020304;
  rec.SysopOffset = 5;
  rec.CityOffset = 6;
  rec.MiscOffset = 0xA0B0C0D0;
  rec.NodeType = ntPrivatePoint;
  uint8_t b[kNodeIndexRecordSize];
  EncodeNodeIndexRecord(rec, b);
  const uint8_t want[32] = {2, 0, 0x9C, 0x13, 1,    0,    7,    0,    4, 3, 2, 1, 5, 0, 0, 0,
                            6, 0, 0,    0,    0xD0, 0xC0, 0xB0, 0xA0, 9, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 32),
            std::string(reinterpret_cast<const char*>(want), 32));
  const TNodeIndexRecord back = DecodeNodeIndexRecord(b);
  EXPECT_TRUE(SameFidoAddress(back.Addr, rec.Addr));
  EXPECT_EQ(back.MiscOffset, rec.MiscOffset);
  EXPECT_EQ(back.NodeType, ntPrivatePoint);
}

}  // namespace
}  // namespace velmaris::test
