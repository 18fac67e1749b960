#include "core/DateFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace velmaris::test {
namespace {

TEST(DateFormatTest, OrderFromTheFirstDateLetter) {
  struct {
    const char* format;
    int order;
  } cases[] = {
      {"dd.MM.yyyy", 1}, {"d/M/yy", 1},   {"M/d/yyyy", 0}, {"MM/dd/yy", 0},
      {"yyyy-MM-dd", 2}, {"yy/MM/dd", 2}, {"", 1},         {"12.34.5678", 1},
      {"%m/%d/%y", 0},   {"DDMMYY", 1},   {"... Y", 2},    {"$", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(GetDateOrder(c.format), c.order) << c.format;
}

TEST(DateFormatTest, PosixFormatsBecomeLetters) {
  struct {
    const char* posix;
    const char* letters;
  } cases[] = {
      {"%m/%d/%y", "MM/dd/yy"},    // C and en_US
      {"%d.%m.%Y", "dd.MM.yyyy"},  // de_DE, ru_RU
      {"%Y-%m-%d", "yyyy-MM-dd"},  // sv_SE
      {"%F", "yyyy-MM-dd"},
      {"%D", "MM/dd/yy"},
      {"%e %B %Y", "d MMMM yyyy"},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5",
       "yyyy\xE5\xB9\xB4MM\xE6\x9C\x88"
       "dd\xE6\x97\xA5"},
      {"%a %d %b", " dd MMM"},      // weekday carries no order
      {"%-d.%-m.%Ey", "dd.MM.yy"},  // flags and modifiers skipped
      {"day %d of %m", " dd  MM"},  // literal letters dropped
      {"100%% %d", "100% dd"},
      {"%", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DateLettersFromPosix(c.posix), c.letters) << c.posix;
}

TEST(DateFormatTest, InitialisedPatternFollowsTheFormat) {
  std::string saved = ShortDateFormat();
  struct {
    const char* format;
    const char* pattern;
  } cases[] = {
      {"yyyy-MM-dd", "YYYY/MM/DD"},  // year first
      {"dd.MM.yyyy", "DD/MM/YYYY"},
      {"M/d/yyyy", "MM/DD/YYYY"},
      {"--", "DD/MM/YYYY"},  // none of the letters
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InitDateFormat(c.format), c.pattern) << c.format;
    EXPECT_EQ(ShortDateFormat(), c.pattern) << c.format;
  }
  SetShortDateFormat(saved);
}

TEST(DateFormatTest, CLocaleIsMonthFirst) {
  std::string saved = ShortDateFormat();
  std::string oldLocale = std::setlocale(LC_TIME, nullptr);
  std::setlocale(LC_TIME, "C");
  EXPECT_EQ(LocaleShortDateFormat(), "MM/dd/yy");
  EXPECT_EQ(InitDateFormat(), "MM/DD/YYYY");
  std::setlocale(LC_TIME, oldLocale.c_str());
  SetShortDateFormat(saved);
}

}  // namespace
}  // namespace velmaris::test
