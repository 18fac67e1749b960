#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SearchRequest.h"
#include "core/WinRegistry.h"
#include "platform/CodePage.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

constexpr const char* kSection = "Areas\\Area1\\DisplayMask";
const std::string kKey = std::string(kRoot) + "\\" + kSection;

TSearchString Condition(const std::string& text, bool caseSensitive, bool substring) {
  TSearchString s;
  s.SetText(text);
  s.CaseSensitive = caseSensitive;
  s.SubstringMatch = substring;
  return s;
}

// --- Text matcher ------------------------------------------------------------

TEST(SearchStringTest, CaseAndSubstringTable) {
  struct Case {
    const char* text;
    bool cs, sub;
    const char* value;
    bool passes;
  } cases[] = {
      {"abc", false, true, "xABCx", true},
      {"abc", true, true, "xABCx", false},
      {"abc", true, true, "xabcx", true},
      {"ABC", false, true, "ab", false},  // longer than the value
      {"Sysop", false, false, "SYSOP", true},
      {"Sysop", false, false, "Sysop ", false},  // exact: trailing blank
      {"Sysop", true, false, "SYSOP", false},
      {"Sysop", true, false, "Sysop", true},
      {"Sysop", false, false, "Sysop Vasya", false},
      {"", false, true, "anything", false},  // empty text occurs nowhere
      {"", true, true, "", false},
      {"", false, false, "", true},  // but equals an empty value
      {"", true, false, "x", false},
      {"a*c", false, true, "abc", false},  // no wildcards
      {"a*c", false, true, "xa*cx", true},
      {"?", false, false, "x", false},
      {"\xE0", false, true, "\xC0", true},  // CP1251 а and А fold
      {"\xE0", true, true, "\xC0", false},
      {"\xE0", false, true, "x\xE0x", true},
      {"z[", false, true, "Z[", true},
      {"@", false, true, "`", false},            // neighbours of the letters stay
      {"abcab", false, true, "ABCABCAB", true},  // a match after a false start
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Condition(c.text, c.cs, c.sub).Matches(c.value), c.passes)
        << '"' << c.text << "\" cs=" << c.cs << " sub=" << c.sub << " value \"" << c.value << '"';
    // The prepared form for many values agrees.
    EXPECT_EQ(
        TTextMatcher(Condition(c.text, c.cs, c.sub), platform::AnsiCodePage()).Matches(c.value),
        c.passes)
        << '"' << c.text << "\" cs=" << c.cs << " sub=" << c.sub << " value \"" << c.value << '"';
  }
}

// The text is typed and stored in the ANSI code page (CP1251); names and
// subjects are stored in it too, a message body in the OEM code page (CP866).
TEST(SearchStringTest, CyrillicInTheValuesCodePageTable) {
  using platform::CodePage;
  struct Case {
    const char* text;  // UTF-8, held as CP1251
    bool cs, sub;
    CodePage cp;
    const char* value;  // UTF-8, given in cp
    bool passes;
  } cases[] = {
      {"дедушка", false, true, CodePage::CP866, "Привет, дедушка! Hello", true},
      {"дедушка", true, true, CodePage::CP866, "Привет, дедушка! Hello", true},
      {"ДЕДУШКА", false, true, CodePage::CP866, "Привет, дедушка! Hello", true},
      {"ДЕДУШКА", true, true, CodePage::CP866, "Привет, дедушка! Hello", false},
      {"hello", false, true, CodePage::CP866, "Привет, дедушка! Hello", true},
      {"ТЕСТ", false, true, CodePage::CP866, "Тест кириллицы", true},
      {"ТЕСТ", false, true, CodePage::CP1251, "Тест кириллицы", true},
      {"тест кириллицы", false, false, CodePage::CP1251, "ТЕСТ КИРИЛЛИЦЫ", true},
      {"тест", false, false, CodePage::CP1251, "ТЕСТ КИРИЛЛИЦЫ", false},
      {"ёлка", false, true, CodePage::CP866, "На ЁЛКЕ", false},
      {"ёлк", false, true, CodePage::CP866, "На ЁЛКЕ", true},
      {"ёлк", false, true, CodePage::CP1251, "На ЁЛКЕ", true},
      {"елк", false, true, CodePage::CP1251, "На ЁЛКЕ", false},
      // No CP866 byte holds the guillemets: nothing in a body can match.
      {"«да»", false, true, CodePage::CP866, "?да?", false},
      {"«да»", false, true, CodePage::CP1251, "сказал «Да»", true},
  };
  for (const Case& c : cases) {
    const TSearchString condition =
        Condition(platform::FromUtf8(c.text, CodePage::CP1251), c.cs, c.sub);
    EXPECT_EQ(TTextMatcher(condition, c.cp).Matches(platform::FromUtf8(c.value, c.cp)), c.passes)
        << c.text << " prepared";
    EXPECT_EQ(condition.Matches(platform::FromUtf8(c.value, c.cp), c.cp), c.passes)
        << '"' << c.text << "\" cs=" << c.cs << " sub=" << c.sub << " value \"" << c.value << '"'
        << " cp=" << static_cast<int>(c.cp);
  }
  // Without a code page the value is taken as ANSI, like the names.
  EXPECT_TRUE(Condition(platform::FromUtf8("иван", CodePage::CP1251), false, true)
                  .Matches(platform::FromUtf8("Иван Петров", CodePage::CP1251)));
}

// --- Date matcher ------------------------------------------------------------

TEST(DateSearchTest, ModesTable) {
  const TDateTime today = EncodeDateTime(2026, 12, 6, 14, 30, 0);
  const TDateTime day = EncodeDate(2026, 12, 6);
  struct Case {
    uint8_t mode;
    int32_t limit;
    TDateTime start, end, date;
    bool passes;
    const char* what;
  } cases[] = {
      {0, 0, 0, 0, 0, true, "any date passes the null date"},
      {0, 5, 0, 0, day - 9000, true, "any date ignores the limit"},
      {1, 1, 0, 0, day + 0.0001, true, "last day: just after midnight"},
      {1, 1, 0, 0, day - 0.0001, false, "last day: just before midnight"},
      {1, 7, 0, 0, day - 6, true, "seven days include today - 6"},
      {1, 7, 0, 0, day - 6.5, false, "seven days: today - 7 in the evening"},
      {1, 0, 0, 0, day + 0.9, false, "limit 0: today fails"},
      {1, 0, 0, 0, day + 1, true, "limit 0: tomorrow passes"},
      {1, 7, 0, 0, day + 400, true, "future dates pass a recent mode"},
      {2, 0, day - 2 + 0.75, day - 1 + 0.1, day - 2 + 0.1, true, "range by whole days: start"},
      {2, 0, day - 2 + 0.75, day - 1 + 0.1, day - 1 + 0.9, true, "range by whole days: end"},
      {2, 0, day - 2, day - 1, day, false, "after the range"},
      {2, 0, day - 2, day - 1, day - 3 + 0.99, false, "before the range"},
      {2, 0, day, day - 1, day, false, "start after end passes nothing"},
      {2, 0, day, day - 1, day - 1, false, "start after end passes nothing (2)"},
      {3, 1, day, day, day - 500, true, "other modes pass"},
      {255, 1, day, day, day + 500, true, "other modes pass (2)"},
  };
  for (const Case& c : cases) {
    TDateSearch s;
    s.Mode = c.mode;
    s.Limit = c.limit;
    s.Start = c.start;
    s.End = c.end;
    EXPECT_EQ(s.Matches(c.date, today), c.passes) << c.what;
  }
}

TEST(DateSearchTest, DatesBefore1900CutTowardsZero) {
  // -0.5 cuts to day 0 (towards zero), so a range of day 0 holds it.
  TDateSearch s;
  s.Mode = TDateSearch::Range;
  s.Start = 0;
  s.End = 0.9;
  EXPECT_TRUE(s.Matches(-0.5, 100));
  EXPECT_FALSE(s.Matches(-1.5, 100));
}

// --- Registry forms ----------------------------------------------------------

using SearchRequestRegistryTest = RegistryFixture;

TEST_F(SearchRequestRegistryTest, PackedLayout) {
  TSearchRequest r;
  r.ApplyDestination = true;
  r.ApplyText = true;
  r.FlagMask = 0x000020D6;
  r.Flags = 0x80000014;
  r.Origin = Condition("Vasya", true, false);
  r.CreationDate.Mode = TDateSearch::Range;
  r.CreationDate.Start = UnixToDateTime(946684800);  // 2000-01-01
  r.CreationDate.End = -3;                           // no date: stored as 0
  r.TossDate.Mode = TDateSearch::Recent;
  r.TossDate.Limit = 14;
  r.SaveToRegistry(reg, kSection);

  EXPECT_EQ(store.ReadBinary(kKey, "Packed"),
            (std::vector<uint8_t>{1, 0, 0, 1, 0xD6, 0x20, 0, 0, 0x14, 0, 0, 0x80}));
  std::vector<uint8_t> origin(258, 0);
  origin[0] = 1;
  origin[1] = 5;
  for (int i = 0; i < 5; ++i) origin[2 + i] = static_cast<uint8_t>("Vasya"[i]);
  origin[257] = 0;
  EXPECT_EQ(store.ReadBinary(kKey, "Origin.packed"), origin);
  std::vector<uint8_t> empty(258, 0);
  empty[257] = 1;  // substring search by default
  for (const char* name : {"Destination.packed", "Subject.packed", "Text.packed"})
    EXPECT_EQ(store.ReadBinary(kKey, name), empty) << name;
  EXPECT_EQ(store.ReadDWord(kKey + "\\CreationDate", "Mode"), 2u);
  EXPECT_EQ(store.ReadDWord(kKey + "\\CreationDate", "Start"), 946684800u);
  EXPECT_EQ(store.ReadDWord(kKey + "\\CreationDate", "End"), 0u);
  EXPECT_EQ(store.ReadDWord(kKey + "\\TossDate", "Mode"), 1u);
  EXPECT_EQ(store.ReadDWord(kKey + "\\TossDate", "Limit"), 14u);
  EXPECT_EQ(store.ReadDWord(kKey + "\\TossDate", "Start"), 0u);
  // The values are written in the documented order.
  EXPECT_EQ(store.ValueNames(kKey),
            (std::vector<std::string>{"Packed", "Destination.packed", "Origin.packed",
                                      "Subject.packed", "Text.packed"}));
}

TEST_F(SearchRequestRegistryTest, RoundTripThroughTheFile) {
  TSearchRequest r;
  r.ApplyOrigin = r.ApplySubject = true;
  r.FlagMask = 0x2004;
  r.Flags = 0x2000;
  r.Origin = Condition("Ivan", false, true);
  r.Destination = Condition(std::string(255, 'D'), true, true);
  r.Subject = Condition("Re: \"quoted\" \\ back", true, false);
  r.Text = Condition("\x01MSGID\r\n\xFF", false, false);
  r.CreationDate.Mode = TDateSearch::Range;
  r.CreationDate.Start = UnixToDateTime(1000000000);
  r.CreationDate.End = UnixToDateTime(1700000000);
  r.TossDate.Mode = TDateSearch::Recent;
  r.TossDate.Limit = 21;
  r.SaveToRegistry(reg, kSection);
  reg.Flush();

  platform::Registry again(dir / "Velmaris.reg");
  TWinRegistry reg2(kRoot, again);
  TSearchRequest back;
  back.LoadFromRegistry(reg2, kSection);
  EXPECT_TRUE(back.SameConditions(r));
}

TEST_F(SearchRequestRegistryTest, OlderFormMigrates) {
  // A mask as older versions stored it: plain values and one sub-key per
  // text condition.
  store.WriteDWord(kKey, "Flags", 0x0010);
  store.WriteDWord(kKey, "FlagMask", 0x0014);
  store.WriteDWord(kKey, "ApplyOrigin", 1);
  store.WriteDWord(kKey, "ApplyText", 1);
  store.WriteString(kKey + "\\Origin", "Text", "Sysop");
  store.WriteDWord(kKey + "\\Origin", "CaseSensitive", 1);
  store.WriteDWord(kKey + "\\Origin", "SubstringMatch", 0);
  store.WriteString(kKey + "\\Text", "Text", "hello");
  store.WriteDWord(kKey + "\\Text", "SubstringMatch", 1);

  TSearchRequest r;
  r.LoadFromRegistry(reg, kSection);
  EXPECT_TRUE(r.ApplyOrigin);
  EXPECT_TRUE(r.ApplyText);
  EXPECT_FALSE(r.ApplyDestination);
  EXPECT_FALSE(r.ApplySubject);
  EXPECT_EQ(r.Flags, 0x0010u);
  EXPECT_EQ(r.FlagMask, 0x0014u);
  EXPECT_EQ(r.Origin.Text(), "Sysop");
  EXPECT_TRUE(r.Origin.CaseSensitive);
  EXPECT_FALSE(r.Origin.SubstringMatch);
  EXPECT_EQ(r.Text.Text(), "hello");
  EXPECT_FALSE(r.Text.CaseSensitive);
  EXPECT_TRUE(r.Text.SubstringMatch);
  // Conditions missing in the older form read with both switches off.
  EXPECT_EQ(r.Subject.Text(), "");
  EXPECT_FALSE(r.Subject.SubstringMatch);
  EXPECT_EQ(r.CreationDate.Mode, TDateSearch::AnyDate);

  // The older text values are gone at once; the next save writes the packed form.
  for (const char* sub : {"\\Origin", "\\Text"}) {
    EXPECT_FALSE(store.ValueExists(kKey + sub, "Text")) << sub;
    EXPECT_FALSE(store.ValueExists(kKey + sub, "CaseSensitive")) << sub;
    EXPECT_FALSE(store.ValueExists(kKey + sub, "SubstringMatch")) << sub;
  }
  r.SaveToRegistry(reg, kSection);
  EXPECT_EQ(store.ReadBinary(kKey, "Packed").size(), 12u);
  EXPECT_EQ(store.ReadBinary(kKey, "Origin.packed").size(), 258u);

  TSearchRequest back;
  back.LoadFromRegistry(reg, kSection);
  EXPECT_TRUE(back.SameConditions(r));
}

TEST_F(SearchRequestRegistryTest, WrongSizedValuesFallBackToTheOlderForm) {
  struct Case {
    size_t packedSize;
    bool older;
  } cases[] = {{0, true}, {11, true}, {12, false}, {13, true}, {300, true}};
  for (const Case& c : cases) {
    store.DeleteKey(kKey);
    store.WriteDWord(kKey, "Flags", 0x40);
    store.WriteDWord(kKey, "FlagMask", 0x40);
    if (c.packedSize) store.WriteBinary(kKey, "Packed", std::vector<uint8_t>(c.packedSize, 0));
    TSearchRequest r;
    r.LoadFromRegistry(reg, kSection);
    EXPECT_EQ(r.FlagMask, c.older ? 0x40u : 0u) << c.packedSize;
  }
  // A text condition of the wrong size reads the (absent) older values.
  store.DeleteKey(kKey);
  store.WriteBinary(kKey, "Subject.packed", std::vector<uint8_t>(257, 1));
  TSearchRequest r;
  r.Subject = Condition("keep?", true, true);
  r.LoadFromRegistry(reg, kSection);
  EXPECT_EQ(r.Subject, Condition("", false, false));
}

TEST_F(SearchRequestRegistryTest, MissingOlderValuesKeepTheCurrentFields) {
  TSearchRequest r;
  r.FlagMask = 0xD6;
  r.ApplySubject = true;
  r.TossDate.Mode = TDateSearch::Recent;
  r.TossDate.Limit = 9;
  r.LoadFromRegistry(reg, "Nothing\\Here");
  EXPECT_EQ(r.FlagMask, 0xD6u);
  EXPECT_TRUE(r.ApplySubject);
  EXPECT_EQ(r.TossDate.Mode, TDateSearch::Recent);
  EXPECT_EQ(r.TossDate.Limit, 9);
}

TEST_F(SearchRequestRegistryTest, StoredZeroDateReadsAsNoDate) {
  store.WriteDWord(kKey + "\\TossDate", "Start", 0);
  store.WriteDWord(kKey + "\\TossDate", "End", 86400);
  TDateSearch d;
  d.Start = 123.5;
  d.LoadFromRegistry(reg, std::string(kSection) + "\\TossDate");
  EXPECT_EQ(d.Start, 0);
  EXPECT_EQ(d.End, kUnixDateDelta + 1);
}

// --- Schemes -------------------------------------------------------------------

TEST(MaskSchemeTest, EverySchemeIsRecognisedAfterBeingApplied) {
  for (int i = 0; i < kMaskSchemeCount; ++i) {
    TSearchRequest r;
    r.ApplyText = true;
    r.CreationDate.Mode = TDateSearch::Recent;
    r.TossDate.Mode = TDateSearch::Range;
    r.FlagMask = 0xFFFF;
    ApplyMaskScheme(r, i);
    EXPECT_FALSE(r.ApplyText);
    EXPECT_EQ(r.CreationDate.Mode, TDateSearch::AnyDate);
    EXPECT_EQ(RecognizeMaskScheme(r), i) << MaskScheme(i).Meaning;
  }
}

TEST(MaskSchemeTest, RecognitionTable) {
  struct Case {
    uint32_t mask, flags;
    uint8_t tossMode;
    int32_t tossDays;
    bool textSwitch;
    uint8_t creationMode;
    int scheme;
    const char* what;
  } cases[] = {
      {0, 0, 0, 0, false, 0, 0, "everything ignored: all messages"},
      {0, 0xFFFF, 0, 0, false, 0, 0, "flags outside the mask do not count"},
      {0x0004, 0x0004, 0, 0, false, 0, 1, "unread"},
      {0x0004, 0x0000, 0, 0, false, 0, 3, "read"},
      {0x0014, 0x0014, 0, 0, false, 0, 2, "unread to the sysop"},
      {0x0014, 0x0010, 0, 0, false, 0, -1, "read to the sysop: no scheme"},
      {0x2004, 0x2004, 0, 0, false, 0, 8, "unread new"},
      {0x0104, 0x0004, 0, 0, false, 0, 1, "a bit the dialog does not offer is left out"},
      {0, 0, 1, 7, false, 0, 9, "the last week"},
      {0, 0, 1, 28, false, 0, 12, "the last 4 weeks"},
      {0, 0, 1, 30, false, 0, -1, "30 days"},
      {0x0004, 0x0004, 1, 7, false, 0, -1, "unread in the last week"},
      {0, 0, 2, 0, false, 0, -1, "toss date range"},
      {0, 0, 0, 0, true, 0, -1, "a text switch"},
      {0, 0, 0, 0, false, 1, -1, "creation date recent"},
      {0, 0, 0, 0, false, 2, -1, "creation date range"},
      {0, 0, 5, 7, false, 0, -1, "unknown toss mode"},
  };
  for (const Case& c : cases) {
    TSearchRequest r;
    r.FlagMask = c.mask;
    r.Flags = c.flags;
    r.TossDate.Mode = c.tossMode;
    r.TossDate.Limit = c.tossDays;
    r.ApplySubject = c.textSwitch;
    r.CreationDate.Mode = c.creationMode;
    EXPECT_EQ(RecognizeMaskScheme(r), c.scheme) << c.what;
  }
}

}  // namespace
}  // namespace velmaris::test
