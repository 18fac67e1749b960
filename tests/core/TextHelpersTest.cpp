#include <gtest/gtest.h>

#include <string>

#include "core/TextHelpers.h"
#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

TEST(TextHelpersTest, HexStrToInt) {
  struct {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"1A2b", 6699},
      {"12G", 0},
      {"", 0},
      {"0", 0},
      {"ffffffff", 0xFFFFFFFFu},
      {"123456789", 0x23456789u},  // wraps
      {" 1", 0},
      {"1 ", 0},
      {"DEADbeef", 0xDEADBEEFu},
  };
  for (auto& c : cases) EXPECT_EQ(HexStrToInt(c.text), c.value) << c.text;
}

TEST(TextHelpersTest, SplitStrAt) {
  struct {
    const char* text;
    int count;
    const char* head;
    const char* rest;
  } cases[] = {
      {"abcdef", 2, "ab", "cdef"}, {"abc", 3, "abc", ""},  {"abc", 9, "abc", ""},
      {"abc", 0, "", "abc"},       {"abc", -4, "", "abc"},
  };
  for (auto& c : cases) {
    std::string s = c.text, head = "junk";
    SplitStrAt(s, head, c.count);
    EXPECT_EQ(head, c.head) << c.text << " " << c.count;
    EXPECT_EQ(s, c.rest) << c.text << " " << c.count;
  }
}

TEST(TextHelpersTest, CutFirstWordFamily) {
  struct {
    const char* text;
    const char* word;
    const char* rest;
  } cases[] = {
      {"  first second", "first", " second"},
      {"single", "single", ""},
      {"   ", "", ""},
      {"", "", ""},
      {"\t\x01word\ttail", "word", "\ttail"},
      {"\xC0\xC1 \xC2", "\xC0\xC1", " \xC2"},  // bytes above 127 are word characters
  };
  for (auto& c : cases) {
    std::string s = c.text, w;
    CutFirstWord(s, w);
    EXPECT_EQ(w, c.word) << c.text;
    EXPECT_EQ(s, c.rest) << c.text;
    s = c.text;
    CutFirstWord255(s, w);
    EXPECT_EQ(w, c.word) << c.text;
    EXPECT_EQ(s, c.rest) << c.text;
  }
}

TEST(TextHelpersTest, CutFirstWordOrQuoted) {
  struct {
    const char* text;
    const char* word;
    const char* rest;
  } cases[] = {
      {"\"C:\\Program Files\\pkzip.exe\" -a %a", "C:\\Program Files\\pkzip.exe", " -a %a"},
      {"  plain word", "plain", "   word"},
      {"   ", "", ""},
      {"\"\x7fquoted \"inner\" part\x7f rest", "quoted \"inner\" part", " rest"},
      {"\"unterminated quote", "unterminated quote", ""},
      {"\"\" after", "", " after"},
  };
  for (auto& c : cases) {
    std::string s = c.text, w;
    CutFirstWordOrQuoted(s, w);
    EXPECT_EQ(w, c.word) << c.text;
    EXPECT_EQ(s, c.rest) << c.text;
  }
  std::string longText = std::string(300, ' ') + "\"a b\" c";
  std::string w;
  CutFirstWordOrQuoted(longText, w);
  EXPECT_EQ(w, "a b");
  EXPECT_EQ(longText, std::string(300, ' ') + " c");
}

TEST(TextHelpersTest, CutWrappedLine) {
  struct {
    const char* text;
    int max;
    const char* line;
    const char* rest;
  } cases[] = {
      {"abc def ghi jkl", 10, "abc def", "ghi jkl"},
      {"short", 10, "short", ""},
      {"exactly10!", 10, "exactly10!", ""},
      {"abcdefghijklmno", 10, "abcdefghij", "klmno"},
      {"abc def ghij klm", 12, "abc def ghij", "klm"},
      {"abc def ghij klm", 11, "abc def", "ghij klm"},
      {"abc      def", 5, "abc", "def"},
      {"  abcdefghijkl", 5, "  abc", "defghijkl"},
  };
  for (auto& c : cases) {
    std::string s = c.text, line;
    CutWrappedLine(s, c.max, line);
    EXPECT_EQ(line, c.line) << c.text << " / " << c.max;
    EXPECT_EQ(s, c.rest) << c.text << " / " << c.max;
  }
}

TEST(TextHelpersTest, CutWrappedLineConsumesEverything) {
  std::string text =
      "The quick brown fox jumps over the lazy dog, then rests beneath an enormous "
      "oak tree whileaverylongwordwithoutanyblanksgoesonandonandon keeps going.";
  auto squeeze = [](const std::string& t) {
    std::string out;
    for (char c : t)
      if (c != ' ') out += c;
    return out;
  };
  const std::string original = text;
  std::string rebuilt, line;
  int guard = 0;
  while (!text.empty() && ++guard < 100) {
    CutWrappedLine(text, 20, line);
    EXPECT_LE(line.size(), 20u);
    EXPECT_FALSE(line.empty());
    EXPECT_NE(line.front(), ' ');
    rebuilt += line;
  }
  EXPECT_LT(guard, 100);
  EXPECT_EQ(squeeze(rebuilt), squeeze(original));
}

TEST(TextHelpersTest, OemAnsiConversionUsesTheCodePages) {
  platform::SetOemCodePage(platform::CodePage::CP866);
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  // "Привет" in CP866 and in CP1251.
  const std::string oem = "\x8F\xE0\xA8\xA2\xA5\xE2";
  const std::string ansi = "\xCF\xF0\xE8\xE2\xE5\xF2";
  EXPECT_EQ(OemToAnsiStr(oem), ansi);
  EXPECT_EQ(AnsiToOemStr(ansi), oem);
  EXPECT_EQ(OemToAnsiStr("plain ASCII"), "plain ASCII");
  EXPECT_EQ(MinInt(3, -2), -2);
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {

TEST(UpperAscii, EveryByteAtEveryPositionOfAWord) {
  // Every byte value, shifted through the eight places of a word and the
  // tail, against the plain rule: only 'a' .. 'z' change.
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t shift = 0; shift < 9; ++shift) {
    const std::string text = std::string(shift, 'q') + all;
    std::string expected = text;
    for (char& c : expected)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    EXPECT_EQ(UpperAsciiStr(text), expected) << shift;
  }
}

}  // namespace velmaris::test
