#include <gtest/gtest.h>

#include <string>

#include "platform/Ascii.h"
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
    EXPECT_EQ(TextFinder(c.needle, false, CodePage::CP866).In(c.hay), c.noCase) << c.needle << " in " << c.hay;
    EXPECT_EQ(TextFinder(c.needle, true, CodePage::CP866).In(c.hay), c.withCase) << c.needle << " in " << c.hay;
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
        EXPECT_EQ(TextFinder(needle, true, CodePage::CP866).In(hay), hay.find(needle) != std::string::npos)
            << needle << " in " << hay;
      }
}

}  // namespace
}  // namespace velmaris::platform
