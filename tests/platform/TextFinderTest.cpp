#include <gtest/gtest.h>

#include <string>

#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/TextFinder.h"

namespace velmaris::platform {
namespace {

TEST(TextFinder, FindsTheWordWithAndWithoutCase) {
  const struct {
    const char* needle;
    const char* hay;
    bool noCase, withCase;
  } cases[] = {
      {"velmaris", "Hello from VELMARIS 95", true, false},
      {"Velmaris", "xx Velmaris", true, true},
      {"v", "V", true, false},
      {"abc", "ab", false, false},
      {"", "anything", false, false},  // an empty needle occurs nowhere
      // Only letters fold: '@' and '`' differ from each other only by the
      // case bit, as do the CP866 box drawing 0xB0 and the capital 0x90.
      {"a@b", "A`B", false, false},
      {"1", "\x11", false, false},
      {"\xB0", "\x90", false, false},
      {"[x]", "..[X]..", true, false},
      // Places past the first 16 and in the last, shorter stretch.
      {"needle", "0123456789abcdefghijklmnopqrstuvwxyzNeedle", true, false},
      {"needle", "0123456789abcdefghijklmnopqrstuvwxyzneedl", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextFinder(c.needle, false, CodePage::CP866).In(c.hay), c.noCase)
        << c.needle << " in " << c.hay;
    EXPECT_EQ(TextFinder(c.needle, true, CodePage::CP866).In(c.hay), c.withCase)
        << c.needle << " in " << c.hay;
  }
}

// Every place of a needle in texts of every length up to past two blocks of
// 16, with near misses around it, against the plain comparisons.
TEST(TextFinder, AgreesWithThePlainComparisonAtEveryPlace) {
  const std::string needles[] = {"Ab", "aXa", "velmaris", "z"};
  for (const std::string& needle : needles)
    for (size_t len = 0; len < 40; ++len)
      for (size_t at = 0; at <= len; ++at) {
        std::string hay(len, 'a');
        for (size_t i = 0; i < len; ++i) hay[i] = "aAbBxXvV"[(i * 7 + at) % 8];
        hay.replace(at, std::min(needle.size(), len - at),
                    UpperAscii(needle).substr(0, std::min(needle.size(), len - at)));
        EXPECT_EQ(TextFinder(needle, false, CodePage::CP866).In(hay), ContainsNoCase(hay, needle))
            << needle << " in " << hay;
        EXPECT_EQ(TextFinder(needle, true, CodePage::CP866).In(hay),
                  hay.find(needle) != std::string::npos)
            << needle << " in " << hay;
      }
}

TEST(TextFinder, FoldsTheLettersOfItsCodePage) {
  const struct {
    CodePage cp;
    const char *needle, *hay;
    bool noCase, withCase;
  } cases[] = {
      {CodePage::CP866, "ТЕСТ", "Тест кириллицы", true, false},
      {CodePage::CP866, "Тест", "Тест кириллицы", true, true},
      {CodePage::CP866, "кириллицы", "xxxxxxxxxxxxxxxxxxxx ТЕСТ КИРИЛЛИЦЫ", true, false},
      {CodePage::CP866, "ёлка", "на ЁЛКЕ ёлки", false, false},
      {CodePage::CP866, "ёлк", "на ЁЛКЕ ёлки", true, true},
      {CodePage::CP866, "елк", "на ЁЛКЕ ёлки", false, false},  // Ё is no Е
      {CodePage::CP866, "рыба", "------------------РЫБА", true, false},
      {CodePage::CP1251, "ДЕДУШКА", "привет, дедушка", true, false},
      {CodePage::CP1251, "word", "Cyrillic and Latin WORD", true, false},
      {CodePage::CP1252, "über", "ÜBER ALLES", true, false},
  };
  for (const auto& c : cases) {
    const std::string needle = FromUtf8(c.needle, c.cp), hay = FromUtf8(c.hay, c.cp);
    EXPECT_EQ(TextFinder(needle, false, c.cp).In(hay), c.noCase) << c.needle << " in " << c.hay;
    EXPECT_EQ(TextFinder(needle, true, c.cp).In(hay), c.withCase) << c.needle << " in " << c.hay;
  }
  const std::string word = FromUtf8("дедушка", CodePage::CP866);
  EXPECT_TRUE(
      TextFinder(word, false, CodePage::CP866).Equals(FromUtf8("ДЕДУШКА", CodePage::CP866)));
  EXPECT_FALSE(
      TextFinder(word, true, CodePage::CP866).Equals(FromUtf8("ДЕДУШКА", CodePage::CP866)));
  EXPECT_FALSE(TextFinder(word, false, CodePage::CP866).Equals(word + " "));
  EXPECT_TRUE(TextFinder("", false, CodePage::CP866).Equals(""));
}

// Cyrillic needles whose letters differ from their capitals in more than one
// bit (CP866 р-я against Р-Я), at every place, against the plain comparison.
TEST(TextFinder, AgreesWithThePlainComparisonForCyrillicAtEveryPlace) {
  const CodePage cp = CodePage::CP866;
  const CaseFold& fold = CaseFoldOf(cp);
  const auto Capital = [&fold](char c) {
    for (int b = 0; b < 256; ++b)
      if (fold[b] == static_cast<unsigned char>(c) && b != fold[b]) return static_cast<char>(b);
    return c;
  };
  const std::string letters = FromUtf8("аАрРяЯёЁ░╨x", cp);
  for (const char* word : {"Ря", "яаР", "ёлочка", "р"}) {
    const std::string needle = FromUtf8(word, cp);
    for (size_t len = 0; len < 40; ++len)
      for (size_t at = 0; at <= len; ++at) {
        std::string hay(len, 'a');
        for (size_t i = 0; i < len; ++i) hay[i] = letters[(i * 7 + at) % letters.size()];
        std::string upper = needle.substr(0, std::min(needle.size(), len - at));
        for (char& c : upper) c = Capital(c);
        hay.replace(at, upper.size(), upper);
        EXPECT_EQ(TextFinder(needle, false, cp).In(hay), ContainsNoCase(hay, needle, cp))
            << word << " at " << at << " of " << len;
        EXPECT_EQ(TextFinder(needle, true, cp).In(hay), hay.find(needle) != std::string::npos)
            << word << " at " << at << " of " << len;
      }
  }
}

}  // namespace
}  // namespace velmaris::platform
