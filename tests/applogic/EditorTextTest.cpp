#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/EditorText.h"
#include "core/NetLink.h"
#include "platform/CodePage.h"

namespace velmaris {
namespace {

using Lines = std::vector<std::string>;

TEST(EditorText, LinesFollowTheAreaSwitches) {
  using platform::CodePage;
  struct Case {
    const char* what;
    std::string text;  // UTF-8, as the window holds it
    TAreaTextRules rules;
    Lines lines;  // in the ANSI code page
    CodePage ansi = CodePage::CP1251;
  };
  const TAreaTextRules german{.NoUmlaute = true, .NoSZ = true};
  const std::vector<Case> cases = {
      {"tab to the next stop of 8", "a\tb", {.TabsToSpaces = true}, {"a       b"}},
      {"tabs kept without the switch", "a\tb", {}, {"a\tb"}},
      {"two tabs", "\tx\ty", {.TabsToSpaces = true}, {"        x       y"}},
      {"tab stops counted in letters, not bytes",
       "дд\tb",
       {.TabsToSpaces = true},
       {"\xE4\xE4      b"}},
      {"umlauts spelt out, sharp s kept",
       "Größe",
       {.NoUmlaute = true},
       {"Groe\xDF"
        "e"},
       CodePage::CP1252},
      {"every umlaut", "äÄöÖüÜ", {.NoUmlaute = true}, {"aeAeoeOeueUe"}},
      {"sharp s", "Straße", {.NoSZ = true}, {"Strasse"}},
      {"German row in the Latin page",
       "Grüße aus Köln",
       german,
       {"Gruesse aus Koeln"},
       CodePage::CP1252},
      // д Д ц Ц ь Ь Я have the byte values of ä Ä ö Ö ü Ü ß in CP1251.
      {"Cyrillic letters are no umlauts",
       "дедушка Д ц Ц ь Ь Я",
       german,
       {"\xE4\xE5\xE4\xF3\xF8\xEA\xE0 \xC4 \xF6 \xD6 \xFC \xDC \xDF"}},
      {"Cyrillic En to H", "НН", {.NToH = true}, {"HH"}},
      {"CR LF, CR and LF end lines", "a\r\nb\rc\nd", {}, {"a", "b", "c", "d"}},
      {"a break at the end gives an empty last line", "a\r", {}, {"a", ""}},
      {"empty text is one empty line", "", {}, {""}},
  };
  const CodePage before = platform::AnsiCodePage();
  for (const Case& c : cases) {
    platform::SetAnsiCodePage(c.ansi);
    EXPECT_EQ(EditorTextToMailLines(c.text, c.rules), c.lines) << c.what;
  }
  platform::SetAnsiCodePage(before);
}

TEST(EditorText, LongTextIsKeptWhole) {
  const std::string text = std::string(40000, 'x') + "\r" + std::string(20000, 'y');
  const Lines lines = SplitEditorText(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(40000, 'x'));
  EXPECT_EQ(lines[1], std::string(20000, 'y'));
}

// A line in the ANSI code page (CP1251), written in UTF-8.
std::string Ansi(const char* utf8) { return platform::FromUtf8(utf8, platform::CodePage::CP1251); }

TEST(EditorText, QuotePrefix) {
  struct Case {
    std::string line;
    bool quoted;
    std::string prefix, rest;
  };
  const std::vector<Case> cases = {
      // Initials are letters of the ANSI code page, as the quoting writes them.
      {Ansi(" ПИ> x"), true, Ansi(" ПИ> "), "x"},
      {Ansi("ЯК>> x"), true, Ansi(" ЯК>> "), "x"},
      {Ansi("ЁЖ> Ё and ё are letters"), true, Ansi(" ЁЖ> "), Ansi("Ё and ё are letters")},
      {Ansi("ёж> x"), true, Ansi(" ёж> "), "x"},
      {Ansi("пи> small initials"), true, Ansi(" пи> "), Ansi("small initials")},
      {Ansi("JПИ> mixed"), true, Ansi(" JПИ> "), "mixed"},
      {Ansi("  ЇЎ>  Ukrainian and Belarusian"), true, Ansi(" ЇЎ> "),
       Ansi("Ukrainian and Belarusian")},
      {Ansi("АБВГДЕ> six initials"), false, "", Ansi("АБВГДЕ> six initials")},
      {Ansi("ПИ>x no blank"), false, "", Ansi("ПИ>x no blank")},
      {Ansi("«ПИ> a quote mark is no letter"), false, "", Ansi("«ПИ> a quote mark is no letter")},
      {Ansi("№1> no letter either"), false, "", Ansi("№1> no letter either")},
      {" TS> x", true, " TS> ", "x"},
      {"TS> x", true, " TS> ", "x"},
      {"  TS>  x", true, " TS> ", "x"},
      {"TS>> deeper", true, " TS>> ", "deeper"},
      {"> bare", true, " > ", "bare"},
      {"    TS> four blanks", false, "", "    TS> four blanks"},
      {"ABCDEF> six initials", false, "", "ABCDEF> six initials"},
      {"TS>x no blank", false, "", "TS>x no blank"},
      {"TS    > four blanks in the run", false, "", "TS    > four blanks in the run"},
      {"plain words", false, "", "plain words"},
      {"TS>", false, "", "TS>"},
  };
  for (const Case& c : cases) {
    std::string line = c.line, prefix = "junk";
    EXPECT_EQ(GetQuotePrefix(line, prefix), c.quoted) << c.line;
    EXPECT_EQ(prefix, c.prefix) << c.line;
    EXPECT_EQ(line, c.rest) << c.line;
  }
}

TEST(EditorText, ReflowJoinsParagraphsOfOnePrefix) {
  EXPECT_EQ(ReflowQuotes(" TS> one\r\n TS> two\r\n AB> three"), " TS> one two\r\n AB> three");
  EXPECT_EQ(ReflowQuotes("a\r\n\r\nb"), "a\r\n\r\nb");
  // Cyrillic initials keep their prefix on the joined line and on the next.
  EXPECT_EQ(ReflowQuotes(Ansi(" ПИ> один\r\n ПИ> два\r\n ЁК> три")),
            Ansi(" ПИ> один два\r\n ЁК> три"));
  std::string russian = Ansi("слово");
  for (int i = 1; i < 20; ++i) russian += Ansi(" слово");
  EXPECT_EQ(ReflowQuotes(Ansi("ПИ> ") + russian),
            Ansi(" ПИ> слово слово слово слово слово слово слово слово слово слово слово слово\r\n"
                 " ПИ> слово слово слово слово слово слово слово слово"));
  // Unquoted paragraphs are wrapped to 78 columns too; quoted ones keep
  // their prefix on every piece.
  std::string longText = "word";
  for (int i = 1; i < 20; ++i) longText += " word";
  EXPECT_EQ(ReflowQuotes(longText),
            "word word word word word word word word word word word word word word word\r\n"
            "word word word word word");
  const std::string quoted = ReflowQuotes(" MM> " + longText);
  EXPECT_EQ(quoted,
            " MM> word word word word word word word word word word word word word word\r\n"
            " MM> word word word word word word");
  // A prefix wider than the page still makes progress, a character a line.
  const std::string deep = ReflowQuotes("XY" + std::string(90, '>') + " abc def");
  EXPECT_EQ(SplitEditorText(deep).size(), 6u) << deep;
}

TEST(EditorText, EnterContinuesAQuote) {
  struct Case {
    const char* what;
    std::string line;
    int column;
    bool splits;
    std::string first, second;
  };
  const std::vector<Case> cases = {
      {"inside a quote", " TS> Hello world", 12, true, " TS> Hello ", " TS> world"},
      {"blanks after the caret skipped", " TS> Hello   world", 11, true, " TS> Hello",
       " TS> world"},
      {"deeper quote", "AB>> one two", 9, true, "AB>> one", "AB>> two"},
      {"at the end of the line", " TS> Hello", 11, false, "", ""},
      {"no quote mark", "Hello world", 6, false, "", ""},
      {"Cyrillic initials", Ansi(" ПИ> Привет мир"), 13, true, Ansi(" ПИ> Привет "),
       Ansi(" ПИ> мир")},
  };
  for (const Case& c : cases) {
    const auto split = ContinueQuote(c.line, c.column);
    ASSERT_EQ(split.has_value(), c.splits) << c.what;
    if (!split) continue;
    EXPECT_EQ(split->First, c.first) << c.what;
    EXPECT_EQ(split->Second, c.second) << c.what;
  }
}

TEST(EditorText, UUEncodeLinesOf45Bytes) {
  const std::string data(46, 'A');
  const std::string text = UUEncodeText("C:\\DATA\\FILE.BIN", data);
  const Lines lines = SplitEditorText(text);
  ASSERT_EQ(lines.size(), 6u) << text;  // begin, 2 data lines, `, end, ""
  EXPECT_EQ(lines[0], "begin 644 FILE.BIN");
  EXPECT_EQ(lines[1].size(), 61u);
  EXPECT_EQ(lines[1][0], 'M');
  EXPECT_EQ(lines[1].substr(1, 4), "04%!");  // "AAA" = 010000 010100 000101 000001
  EXPECT_EQ(lines[2], "!00");
  EXPECT_EQ(lines[3], "`");
  EXPECT_EQ(lines[4], "end");
  // A zero 6-bit group is written as a grave accent.
  EXPECT_EQ(SplitEditorText(UUEncodeText("z", std::string(3, '\0')))[1], "#````");
}

TEST(EditorText, UUEncodeMatchesUudecode) {
  // The real uudecode reads what the editor writes.
  std::string data;
  for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7);
  std::string text = UUEncodeText("/tmp/dir/x.bin", data);
  std::string unix;
  for (char c : text)
    if (c != '\r') unix += c;
  // Bits of the last group beyond the data must be zero: decode by hand.
  std::string decoded;
  for (const std::string& line : SplitEditorText(unix)) {
    if (line.empty() || line == "`" || line == "end" || line.rfind("begin", 0) == 0) continue;
    const size_t n = static_cast<unsigned char>(line[0]) - 32;
    auto v = [&](size_t i) { return (static_cast<unsigned char>(line[1 + i]) - 32) & 63; };
    for (size_t g = 0, k = 0; k < n; g += 4) {
      const unsigned bits = (v(g) << 18) | (v(g + 1) << 12) |
                            (g + 2 < line.size() - 1 ? v(g + 2) << 6 : 0) |
                            (g + 3 < line.size() - 1 ? v(g + 3) : 0);
      for (int s = 16; s >= 0 && k < n; s -= 8, ++k) decoded += static_cast<char>(bits >> s);
    }
  }
  EXPECT_EQ(decoded, data);
}

TEST(EditorText, AreaSelectorSkipsForbiddenEntries) {
  const Lines names = {"NETMAIL", "BAD", "DUPES", "ECHO", "!SEP!"};
  struct Case {
    int previous, current, expected;
  };
  const std::vector<Case> cases = {
      {0, 1, 3},   // down onto BAD continues below DUPES
      {3, 2, 0},   // up onto DUPES continues above BAD
      {3, 4, 0},   // down from the last entry wraps to the first
      {-1, 1, 1},  // the first choice is not guarded
      {0, 3, 3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SkipForbiddenAreas(names, c.previous, c.current), c.expected)
        << c.previous << " -> " << c.current;
  EXPECT_EQ(SkipForbiddenAreas({"BAD", "!SEP!"}, 0, 1), 1) << "nothing to choose";
}

TEST(EditorText, BestOwnAddressForADestination) {
  TLinkList uplinks;
  TNetLink a, b;
  a.SysopAddress.SetText("2:5030/2.7");
  b.SysopAddress.SetText("2:5020/1.3");
  uplinks.Add("A", &a);
  uplinks.Add("B", &b);
  EXPECT_EQ(BestOwnUplink(uplinks, *ParseFidoAddress("2:5020/1")), &b);
  EXPECT_EQ(BestOwnUplink(uplinks, *ParseFidoAddress("2:5030/9")), &a);
  EXPECT_EQ(BestOwnUplink(uplinks, *ParseFidoAddress("1:1/1")), &a);
  EXPECT_EQ(BestOwnUplink(TLinkList{}, *ParseFidoAddress("1:1/1")), nullptr);
}

}  // namespace
}  // namespace velmaris
