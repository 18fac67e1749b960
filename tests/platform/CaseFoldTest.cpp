#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CaseFold.h"

namespace velmaris::platform {
namespace {

// One character of a code page, given in UTF-8.
unsigned char ByteOf(const char* utf8, CodePage cp) {
  const std::string bytes = FromUtf8(utf8, cp, 0);
  EXPECT_EQ(bytes.size(), 1u) << utf8;
  return static_cast<unsigned char>(bytes[0]);
}

TEST(CaseFold, CapitalsFoldToTheSmallLetterOfTheSameCodePage) {
  const struct {
    CodePage cp;
    const char *capital, *small;
  } cases[] = {
      {CodePage::CP866, "Т", "т"},  {CodePage::CP866, "А", "а"},  {CodePage::CP866, "Я", "я"},
      {CodePage::CP866, "Ё", "ё"},  {CodePage::CP866, "Ў", "ў"},  {CodePage::CP866, "Q", "q"},
      {CodePage::CP1251, "Т", "т"}, {CodePage::CP1251, "Ё", "ё"}, {CodePage::CP1251, "Ґ", "ґ"},
      {CodePage::CP1251, "Ђ", "ђ"}, {CodePage::CP1251, "І", "і"}, {CodePage::CP1251, "Q", "q"},
      {CodePage::CP1252, "À", "à"}, {CodePage::CP1252, "Š", "š"}, {CodePage::CP1252, "Ÿ", "ÿ"},
      {CodePage::CP1252, "Œ", "œ"}, {CodePage::CP437, "Ç", "ç"},  {CodePage::CP437, "Ü", "ü"},
      {CodePage::CP437, "Σ", "σ"},
  };
  for (const auto& c : cases) {
    const CaseFold& fold = CaseFoldOf(c.cp);
    const unsigned char capital = ByteOf(c.capital, c.cp), small = ByteOf(c.small, c.cp);
    EXPECT_EQ(fold[capital], small) << c.capital;
    EXPECT_EQ(fold[small], small) << c.small;
  }
}

TEST(CaseFold, OnlyLettersWithASmallFormInTheCodePageMove) {
  // Capitals whose small letter the code page lacks, and what is no letter.
  const struct {
    CodePage cp;
    const char* stays;
  } stays[] = {
      {CodePage::CP866, "░"}, {CodePage::CP866, "°"},  {CodePage::CP866, "№"},
      {CodePage::CP866, "@"}, {CodePage::CP866, "["},  {CodePage::CP437, "Γ"},
      {CodePage::CP437, "ß"}, {CodePage::CP1252, "µ"}, {CodePage::CP1252, "×"},
  };
  for (const auto& s : stays) {
    const unsigned char b = ByteOf(s.stays, s.cp);
    EXPECT_EQ(CaseFoldOf(s.cp)[b], b) << s.stays;
  }
  // How many bytes fold elsewhere: 26 ASCII capitals and the code page's own.
  const struct {
    CodePage cp;
    int moved;
  } counts[] = {{CodePage::CP866, 26 + 32 + 4},  // А-Я, Ё Є Ї Ў
                {CodePage::CP1251, 26 + 32 + 15},
                {CodePage::CP1252, 26 + 30 + 4},  // À-Þ but ×, Š Œ Ž Ÿ
                {CodePage::CP437, 26 + 8 + 2}};   // Ç Ä Å É Æ Ö Ü Ñ, Σ Φ
  for (const auto& c : counts) {
    const CaseFold& fold = CaseFoldOf(c.cp);
    int moved = 0;
    for (int b = 0; b < 256; ++b) {
      moved += fold[b] != b;
      EXPECT_EQ(fold[fold[b]], fold[b]) << b;  // a small letter stays
    }
    EXPECT_EQ(moved, c.moved) << static_cast<int>(c.cp);
  }
}

// The eight-byte steps over ASCII and the byte steps over the rest give
// what the table gives, for every byte at every place of a word.
TEST(CaseFold, FoldInPlaceAgreesWithTheTable) {
  for (CodePage cp : {CodePage::CP866, CodePage::CP437, CodePage::CP1251, CodePage::CP1252}) {
    const CaseFold& fold = CaseFoldOf(cp);
    for (size_t len = 0; len < 24; ++len)
      for (int start = 0; start < 256; start += 3) {
        std::string text(len, 'A');
        // Mostly ASCII around the letters' edges, some bytes above 0x7F.
        for (size_t i = 0; i < len; ++i)
          text[i] = static_cast<char>(i % 5 == 4 ? 0x80 + (start + i * 37) % 128
                                                 : 0x3E + (start + i * 11) % 0x42);
        std::string expected = text;
        for (char& c : expected) c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
        FoldInPlace(text, cp);
        ASSERT_EQ(text, expected) << len << ' ' << start;
      }
  }
}

TEST(CaseFold, ComparisonsFoldTheLettersOfTheCodePage) {
  const std::string body = FromUtf8("Тест кириллицы, дедушка Ёжик. Latin WORD", CodePage::CP866);
  const struct {
    const char* needle;
    bool found;
  } cases[] = {
      {"ТЕСТ", true},  {"тест", true},  {"ДЕДУШКА", true},  {"ёжик", true},       {"word", true},
      {"Latin", true}, {"ежик", false}, {"бабушка", false}, {"КИРИЛЛИЦА", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainsNoCase(body, FromUtf8(c.needle, CodePage::CP866), CodePage::CP866), c.found)
        << c.needle;
  }
  EXPECT_TRUE(EqualNoCase(FromUtf8("ДЕДУШКА", CodePage::CP1251),
                          FromUtf8("дедушка", CodePage::CP1251), CodePage::CP1251));
  // The same bytes are other letters in CP866: Д in CP1251 is a box drawing
  // character there.
  EXPECT_FALSE(EqualNoCase(FromUtf8("ДЕДУШКА", CodePage::CP1251),
                           FromUtf8("дедушка", CodePage::CP1251), CodePage::CP866));
  EXPECT_FALSE(ContainsNoCase("abc", "", CodePage::CP866));
}

// Alphabet order: Ё after Е (CP1251 and CP866 keep it elsewhere), the
// Ukrainian, Belarusian and Serbian letters after the letter they follow;
// Latin and the rest of the bytes in byte order.
TEST(CaseFold, LessNoCaseFollowsTheAlphabet) {
  const struct {
    CodePage cp;
    std::vector<const char*> ordered;
  } rows[] = {
      {CodePage::CP1251, {"Анна", "Егор", "ежик", "Ёжик", "Ёлкин", "ёлочка", "Жанна"}},
      {CodePage::CP866, {"Анна", "Егор", "ежик", "Ёжик", "Ёлкин", "ёлочка", "Жанна", "яма"}},
      {CodePage::CP1251,
       {"гора", "ґанок", "дом", "ђак", "ерш", "єва", "жук", "ирис", "ірій", "їжак", "йод", "улей",
        "ўсё", "фа", "чай", "џеп", "ша"}},
      {CodePage::CP1251, {"ABC", "abd", "Zeta", "Я"}},
      {CodePage::CP1252, {"Apfel", "Zebra", "Äpfel"}},
  };
  for (const auto& row : rows) {
    for (size_t i = 0; i + 1 < row.ordered.size(); ++i) {
      const std::string a = FromUtf8(row.ordered[i], row.cp, 0);
      const std::string b = FromUtf8(row.ordered[i + 1], row.cp, 0);
      EXPECT_TRUE(LessNoCase(a, b, row.cp)) << row.ordered[i] << " < " << row.ordered[i + 1];
      EXPECT_FALSE(LessNoCase(b, a, row.cp)) << row.ordered[i + 1];
    }
  }
  // Ё stays a letter of its own: neither is before the other only in its
  // other case.
  const std::string yo = FromUtf8("Ёлка", CodePage::CP1251),
                    ye = FromUtf8("елка", CodePage::CP1251);
  EXPECT_TRUE(LessNoCase(ye, yo, CodePage::CP1251));
  EXPECT_FALSE(LessNoCase(yo, FromUtf8("ёЛКА", CodePage::CP1251), CodePage::CP1251));
  EXPECT_FALSE(LessNoCase(FromUtf8("ёЛКА", CodePage::CP1251), yo, CodePage::CP1251));
  // With case: capitals before small letters, Ё among the capitals.
  const std::vector<const char*> cased = {"Егор", "Ёлкин", "Жанна", "Я", "а", "ё", "ж"};
  for (size_t i = 0; i + 1 < cased.size(); ++i)
    EXPECT_TRUE(LessByAlphabet(FromUtf8(cased[i], CodePage::CP1251),
                               FromUtf8(cased[i + 1], CodePage::CP1251), CodePage::CP1251))
        << cased[i];
}

TEST(CaseFold, LettersOfTheCodePage) {
  const struct {
    CodePage cp;
    const char* letters;
    const char* others;
  } rows[] = {
      {CodePage::CP1251, "AzПИЯКпиякЁёЇїҐґЎўЂђ", "1>«»№—€ "},
      {CodePage::CP866, "AzПИЯКпиякЁёЇїЎў", "1>░═№√ "},
      {CodePage::CP1252, "AzÄäÉéŠšŸÿ", "1>«»€×÷ "},
      {CodePage::CP437, "AzÄäÇçÑñ", "1>░═√ "},
  };
  for (const auto& row : rows) {
    for (char c : FromUtf8(row.letters, row.cp, 0))
      EXPECT_TRUE(IsLetter(static_cast<unsigned char>(c), row.cp)) << row.letters << ' ' << int(c);
    for (char c : FromUtf8(row.others, row.cp, 0))
      EXPECT_FALSE(IsLetter(static_cast<unsigned char>(c), row.cp)) << row.others << ' ' << int(c);
  }
}

TEST(CaseFold, RecodeExactRefusesCharactersTheTargetLacks) {
  const std::string ansi = FromUtf8("дедушка 1", CodePage::CP1251);
  EXPECT_EQ(RecodeExact(ansi, CodePage::CP1251, CodePage::CP866),
            FromUtf8("дедушка 1", CodePage::CP866));
  EXPECT_EQ(RecodeExact(ansi, CodePage::CP1251, CodePage::CP1251), ansi);
  EXPECT_EQ(RecodeExact(FromUtf8("«a»", CodePage::CP1251), CodePage::CP1251, CodePage::CP866),
            std::nullopt);
  EXPECT_EQ(RecodeExact(ansi, CodePage::CP1251, CodePage::CP437), std::nullopt);
  EXPECT_EQ(RecodeExact("plain?", CodePage::CP1251, CodePage::CP437), "plain?");
}

// Area names and echo tags: a name the OEM page gives is compared by the
// ANSI page's letters, a tag kept as raw UTF-8 by its UTF-8 letters, and the
// two kinds never meet. Each is shown as the letters it holds.
TEST(CaseFold, TagsAreComparedAndShownByTheLettersTheyHold) {
  SetOemCodePage(CodePage::CP866);
  SetAnsiCodePage(CodePage::CP1251);
  const auto ansi = [](const char* utf8) { return FromUtf8(utf8, CodePage::CP1251); };
  const struct {
    std::string a, b;
    bool raw, same;
  } rows[] = {
      // CP1251 ЛЁ is CB A8, valid UTF-8 as well; it came from CP866 all the same.
      {ansi("RU.ЛЁ"), ansi("ru.лё"), false, true},
      {ansi("RU.ТЕСТ"), ansi("ru.тест"), false, true},
      {"RU.ёжик", "RU.ЁЖИК", true, true},
      {"ru.архив", "RU.АРХИВ", true, true},
      {"RU.ТЕСТ", "RU.СЕСС", true, false},
      {"RU.ТЕСТ", ansi("RU.ТЕСТ"), true, false},
      {"RU.ёжик", "RU.ЕЖИК", true, false},
      // A name the OEM page cannot carry (typed, or bytes a packet brought)
      // in the ANSI page's letters.
      {ansi("UA.ҐАНОК"), ansi("ua.ґанок"), true, true},
      // UTF-8 made only of letters whose bytes CP866 holds too (the CP866
      // tag "RU.РЎРЎРЎР" with a no-break space) is UTF-8 all the same.
      {"RU.СССР", "ru.сссР", true, true},
      {"SU.РФ", ansi("SU.РФ"), true, false},
      {"RU.ТРС", ansi("RU.ТРС"), true, false},
      {"RU.ТРС", "RU.РТС", true, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.a + " / " + r.b);
    EXPECT_EQ(IsRawTag(r.a), r.raw);
    EXPECT_EQ(SameTag(r.a, r.b), r.same);
    EXPECT_EQ(TagKey(r.a) == TagKey(r.b), r.same);
  }
  EXPECT_EQ(UpperTag("ru.ёжик"), "RU.ЁЖИК");
  EXPECT_EQ(UpperTag(ansi("ru.ёжик")), ansi("RU.ЁЖИК"));
  // A name whose judgement an area keeps is keyed by it: the same bytes
  // raw and converted are two areas.
  EXPECT_NE(TagKey("RU.СССР", true), TagKey("RU.СССР", false));
  EXPECT_EQ(TagKey("ru.сссР", true), TagKey("RU.СССР"));
  EXPECT_EQ(UpperTag("ru.сссР", true), "RU.СССР");
  EXPECT_EQ(UpperTag(ansi("ru.тест"), false), ansi("RU.ТЕСТ"));
  EXPECT_EQ(TagToOem("RU.СССР", true), "RU.СССР");
  EXPECT_EQ(TagToOem("RU.СССР", false), "RU.\x90\xF6\x90\xF6\x90\xF6\x90\xFF");
  EXPECT_EQ(TagToOem("AREA:RU.СССР\r"), "AREA:RU.СССР\r");
  // Shown: a window takes UTF-8, a line is made in a code page.
  EXPECT_EQ(TagText("RU.ЁЖИК"), "RU.ЁЖИК");
  EXPECT_EQ(TagText(ansi("RU.ЛЁ")), "RU.ЛЁ");
  EXPECT_EQ(TagInAnsi("RU.ТЕСТ"), ansi("RU.ТЕСТ"));
  EXPECT_EQ(TagInPage("RU.ТЕСТ", CodePage::CP866), FromUtf8("RU.ТЕСТ", CodePage::CP866));
  EXPECT_EQ(TagInAnsi("DE.STRAßE"), "DE.STRAsE");
  EXPECT_EQ(TagInPage(ansi("RU.ЛЁ"), CodePage::CP866), FromUtf8("RU.ЛЁ", CodePage::CP866));
}

// Whether a tag is raw is judged once, where it arrives: a packet's OEM
// bytes, a name a person typed (in the ANSI page), or stored bytes nobody
// judged before.
TEST(CaseFold, ATagIsJudgedRawWhereItArrives) {
  SetOemCodePage(CodePage::CP866);
  SetAnsiCodePage(CodePage::CP1251);
  const auto oem = [](const char* utf8) { return FromUtf8(utf8, CodePage::CP866); };
  const auto ansi = [](const char* utf8) { return FromUtf8(utf8, CodePage::CP1251); };
  const struct {
    const char* what;
    std::string bytes;
    bool packet, typed, stored;
  } rows[] = {
      {"ASCII", "R50.SYSOP", false, false, false},
      {"UTF-8 that CP866 reads as РЎРЎРЎР", "RU.СССР", true, false, true},
      {"UTF-8 SU.РФ", "SU.РФ", true, false, true},
      {"UTF-8 RU.ТРС", "RU.ТРС", true, false, true},
      {"UTF-8 with a byte CP866 lacks", "RU.ТЕСТ", true, true, true},
      {"UTF-8 without Cyrillic", "DE.STRAßE", true, true, true},
      {"CP866 RU.ТЕСТ", oem("RU.ТЕСТ"), false, true, true},
      {"CP866 RU.ЛЁ (CB A8 in CP1251, valid UTF-8)", oem("RU.ЛЁ"), false, true, true},
      {"CP866 with a block the ANSI page lacks", oem("RU.Т█"), true, true, true},
      {"CP1251 RU.ТЕСТ", ansi("RU.ТЕСТ"), true, false, false},
      {"CP1251 RU.РЎ, valid UTF-8 RU.С", ansi("RU.РЎ"), true, false, true},
      {"CP1251 Ґ, which CP866 lacks", ansi("UA.ҐАНОК"), true, true, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(IsRawPacketTag(r.bytes), r.packet);
    EXPECT_EQ(IsRawTypedTag(r.bytes), r.typed);
    EXPECT_EQ(IsRawTag(r.bytes), r.stored);
  }
}

}  // namespace
}  // namespace velmaris::platform
