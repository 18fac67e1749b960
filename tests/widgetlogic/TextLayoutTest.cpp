#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "widgets/logic/TextLayout.h"

namespace velmaris {
namespace {

std::string E(int code) { return std::string{27, static_cast<char>(code)}; }

// Every character 10 wide, tab stops every 80.
const TGlyphWidths kWidths = TGlyphWidths::Fixed(10);

std::vector<std::string> Texts(const std::vector<TDisplayLine>& lines) {
  std::vector<std::string> out;
  for (const TDisplayLine& l : lines) out.push_back(l.text);
  return out;
}

TEST(TextLayout, WrapsWordsBehindTheRepeatedPrefix) {
  struct Case {
    const char* what;
    std::string prefix, paragraph;
    int width;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"fits while narrower than the client", "", "aaa bbb ccc", 80, {"aaa bbb", "ccc"}},
      {"prefix on every line",
       E(129) + "AB> ",
       "aaa bbb",
       80,
       {E(129) + "AB> aaa", E(129) + "AB> bbb"}},
      {"blanks at the cut are dropped", "", "aaa     bbb", 60, {"aaa", "bbb"}},
      {"a word wider than the client stands alone",
       "",
       "x wwwwwwwwwwww y",
       50,
       {"x", "wwwwwwwwwwww", "y"}},
      {"empty paragraph shows its prefix", E(129) + "AB> ", "", 50, {E(129) + "AB> "}},
      {"bold goes on after the cut",
       "",
       E(1) + "aaa bbb" + E(2) + E(8),
       50,
       {E(1) + "aaa", E(1) + "bbb" + E(2) + E(8)}},
      {"a colour set in the text goes on",
       E(128),
       "a" + E(9) + "bbb ccc",
       60,
       {E(128) + "a" + E(9) + "bbb", E(128) + E(9) + "ccc"}},
      {"bold changes the width", "", E(1) + "aa bb", 60, {E(1) + "aa", E(1) + "bb"}},
      {"only escapes", "", E(8), 50, {E(8)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGlyphWidths widths = kWidths;
    for (int b = 0; b < 256; ++b) widths.advance[2][static_cast<size_t>(b)] = 15;  // bold
    auto lines = WrapParagraphs({c.paragraph}, {c.prefix}, c.width, widths);
    EXPECT_EQ(Texts(lines), c.lines);
  }
}

TEST(TextLayout, DisplayLinesMapBackToTheirParagraphs) {
  auto lines = WrapParagraphs({"one", "aaa bbb"}, {"", "> "}, 70, kWidths);
  ASSERT_EQ(Texts(lines), (std::vector<std::string>{"one", "> aaa", "> bbb"}));
  EXPECT_EQ(lines[2].paragraph, 1);
  EXPECT_EQ(ParagraphPosition(lines, {2, 0}), (TTextPos{1, 4}));  // inside the prefix
  EXPECT_EQ(ParagraphPosition(lines, {2, 4}), (TTextPos{1, 6}));
  EXPECT_EQ(ParagraphPosition(lines, {2, 99}), (TTextPos{1, 7}));
}

TEST(TextLayout, SelectedTextJoinsLinesWithoutEscapes) {
  auto lines = WrapParagraphs({E(1) + "alpha" + E(2), "beta", "gamma" + E(8)}, {E(129) + "> "}, 500,
                              kWidths);
  TTextSelection forward{{0, 2}, {2, 2}};
  EXPECT_EQ(SelectedText(lines, forward), "> alpha\r\nbeta\r\nga");
  EXPECT_EQ(SelectedText(lines, TTextSelection{forward.end, forward.anchor}),
            "> alpha\r\nbeta\r\nga");
  EXPECT_EQ(SelectedText(lines, TTextSelection{{1, 1}, {1, 3}}), "et");
  EXPECT_EQ(SelectedText(lines, TTextSelection{}), "");
}

TEST(TextLayout, ColumnAtCountsEscapesPassed) {
  const std::string line = E(129) + "ab" + E(1) + "cd";
  const std::vector<std::pair<int, int>> cases = {{0, 0}, {5, 2}, {15, 3}, {25, 6}, {1000, 8}};
  for (auto [x, column] : cases) EXPECT_EQ(ColumnAt(line, x, kWidths), column) << x;
}

TEST(TextLayout, RunsSplitAtTheSelectionAndStopAtTheRightEdge) {
  auto runs = LineRuns(E(129) + "abcdef", 4, 6, kWidths, 1000);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ((std::vector<int>{runs[0].end, runs[1].end, runs[2].end}), (std::vector<int>{4, 6, 8}));
  EXPECT_TRUE(runs[1].selected && !runs[2].selected);
  EXPECT_EQ(runs[2].x, 40);
  EXPECT_EQ(runs[1].state.color, kColorQuote);
  // A megabyte-long word paints only what shows.
  auto wide = LineRuns(std::string(1 << 20, 'w'), -1, -1, kWidths, 95);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0].end, 10);
}

TEST(TextLayout, FindHonoursCaseWholeWordsAndTheStart) {
  auto lines =
      WrapParagraphs({"a cat. cat", "Cat" + E(8), "JD> x"}, {"", "", E(129)}, 1000, kWidths);
  struct Case {
    const char* pattern;
    bool matchCase, wholeWord;
    TTextPos from;
    std::optional<TTextPos> hit;
  };
  const std::vector<Case> cases = {
      {"cat", true, false, {0, 0}, TTextPos{0, 2}},
      {"cat", true, true, {0, 0}, TTextPos{0, 7}},  // "cat." is no whole word
      {"cat", true, false, {0, 3}, TTextPos{0, 7}},
      {"cat", true, false, {0, 8}, std::nullopt},
      {"cat", false, true, {0, 8}, TTextPos{1, 0}},  // an escape ends the word
      {"dog", false, false, {0, 0}, std::nullopt},
      {"jd>", false, true, {1, 0}, TTextPos{2, 2}},  // a colour code before it is no letter
      {"\x81", true, false, {0, 0}, std::nullopt},  // nor ever a hit
      {"", false, false, {0, 0}, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindInLines(lines, c.pattern, c.matchCase, c.wholeWord, c.from), c.hit)
        << c.pattern << " from " << c.from.line << "," << c.from.column;
}

TEST(TextLayout, FindFoldsTheLettersOfTheAnsiCodePage) {
  const auto ansi = [](const char* utf8) {
    return platform::FromUtf8(utf8, platform::CodePage::CP1251);
  };
  auto lines = WrapParagraphs({ansi("Тест кириллицы"), ansi("Привет, ДЕДУШКА! ёлка")}, {"", ""},
                              1000, kWidths);
  struct Case {
    const char* pattern;
    bool matchCase;
    std::optional<TTextPos> hit;
  };
  const std::vector<Case> cases = {
      {"ТЕСТ", false, TTextPos{0, 0}},    {"ТЕСТ", true, std::nullopt},
      {"дедушка", false, TTextPos{1, 8}}, {"дедушка", true, std::nullopt},
      {"ЁЛКА", false, TTextPos{1, 17}},   {"ЕЛКА", false, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindInLines(lines, ansi(c.pattern), c.matchCase, false, {0, 0}), c.hit) << c.pattern;
}

}  // namespace
}  // namespace velmaris
