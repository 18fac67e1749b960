#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/logic/MsgText.h"
#include "platform/CodePage.h"

namespace velmaris {
namespace {

struct TextCase {
  std::string in, out;
};

// Russian text as the message base stores it.
std::string Cp866(const char* utf8) { return platform::FromUtf8(utf8, platform::CodePage::CP866); }

std::string Esc(unsigned char code) { return std::string{kDisplayEsc, static_cast<char>(code)}; }

TEST(MsgText, StripReplyMarkerRemovesOneLeadingMarker) {
  const std::vector<TextCase> cases = {
      {"Re: x", "x"},
      {"RE:x", "x"},
      {"Re^12: x", "x"},
      {"re^12:x", "x"},
      {"Re^:x", "x"},
      {"Re^x", "Re^x"},
      {"Re:", "Re:"},
      {"Rex", "Rex"},
      {"Re: Re: x", "Re: x"},
      {"Re:  \t x", "x"},
      {"   Hello", "Hello"},
      {"", ""},
      {"Re: " + Cp866("Привет"), Cp866("Привет")},
      // Letters of the code page above 127 are text, not control characters.
      {Cp866("Ответ"), Cp866("Ответ")},
  };
  for (const TextCase& c : cases) EXPECT_EQ(StripReplyMarker(c.in), c.out) << c.in;
}

TEST(MsgText, ReplySubjectCountsReplies) {
  struct Case {
    std::string in;
    bool strip;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"Hello", false, "Re: Hello"},
      {"Hello", true, "Hello"},
      {"Re: Hello", false, "Re^2:  Hello"},
      {"Re:Hello", false, "Re^2: Hello"},
      {"Re: Hello", true, "Hello"},
      {"Re^9: Hi", false, "Re^10: Hi"},
      {"RE^2:Hi", false, "Re^3:Hi"},
      {"Re^9: Hi", true, "Hi"},
      {"Re^: Hi", false, "Re:Re^: Hi"},
      {"Re^: Hi", true, "Re:Re^: Hi"},
      {"Re^7 Hi", false, "Re:Re^7 Hi"},
      {"Re^099: x", false, "Re^100: x"},
      {"Re^99999999999999999999: x", false, "Re^100000000000000000000: x"},
      {"", false, "Re: "},
      {" \x01Hi", true, "Hi"},
      {Cp866("Привет"), false, "Re: " + Cp866("Привет")},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplySubject(c.in, c.strip), c.out) << c.in;
}

TEST(MsgText, MakeQuotableTurnsDisplayMarkupIntoText) {
  const std::vector<TextCase> cases = {
      {Esc(1) + "bold" + Esc(2) + " " + Esc(3) + "it" + Esc(4) + " " + Esc(5) + "u" + Esc(6),
       "*bold* //it// _u_"},
      {Esc(128) + "text" + Esc(8), "text"},
      {Esc(129) + " JD> " + Esc(47), " JD> "},
      {"a" + Esc(0) + "b" + Esc(7) + "c" + Esc(200), std::string("a]\0b]\x07"
                                                                 "c]\xC8",
                                                                 9)},
      {"end" + std::string(1, kDisplayEsc), "end]"},
      {"\x01MSGID: 2:5020/1 1234", "@MSGID: 2:5020/1 1234"},
      {"--- tearline", "-+- tearline"},
      {"---", "-+- "},
      {"----", "----"},
      {"---x", "---x"},
      {"AREA:FIDO.GER", "@AREA:FIDO.GER"},
      {"SEEN-BY: 5020/1", "@SEEN-BY: 5020/1"},
      {"AREAFIX", "AREAFIX"},
      {" * Origin: x", " @ ORIGINAL: x"},
      {" * ORIGIN: x", " @ ORIGINAL: x"},
      {Cp866("Привет, мир"), Cp866("Привет, мир")},
  };
  for (const TextCase& c : cases) EXPECT_EQ(MakeQuotable(c.in), c.out) << c.in;
}

TEST(MsgText, QuotePrefixKeepsTheFirstAuthorsInitials) {
  struct Case {
    std::string oldPrefix, initials, out;
  };
  const std::vector<Case> cases = {
      {"", "AB", " AB> "},
      {"", "ab", " AB> "},
      {"JD>", "AB", " JD>> "},
      {" jd> ", "AB", " JD>> "},
      {"JD>>", "AB", " JD>>> "},
      {"<b>", "AB", " AB> "},
      {"JD", "AB", " AB> "},
      {"Hi JD> ", "AB", " AB> Hi JD> "},
      {"\"J D>\"", "AB", " J D>> "},
      {" @ ORIGINAL: ", "AB", " AB>  @ ORIGINAL: "},
      {Cp866("ИИ>"), "AB", " " + Cp866("ИИ>") + "> "},
      // The reader's text is ANSI: Russian initials are raised there too.
      {"", platform::FromUtf8("иё", platform::CodePage::CP1251),
       platform::FromUtf8(" ИЁ> ", platform::CodePage::CP1251)},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotePrefix(c.oldPrefix, c.initials), c.out) << c.oldPrefix;
}

TEST(MsgText, Rot13RotatesAsciiLettersOnly) {
  std::string text = "Hello, World! az AZ " + Cp866("Привет");
  Rot13(text);
  EXPECT_EQ(text, "Uryyb, Jbeyq! nm NM " + Cp866("Привет"));
  Rot13(text);
  EXPECT_EQ(text, "Hello, World! az AZ " + Cp866("Привет"));
}

TEST(MsgText, IntegerListChecksItsIndexes) {
  TIntegerList list;
  list.SetCapacity(3);
  for (int32_t v : {7, -1, 42}) list.Add(v);
  list.Exchange(0, 2);
  EXPECT_EQ(list.Get(0), 42);
  EXPECT_EQ(list.IndexOf(7), 2);
  EXPECT_EQ(list.IndexOf(5), -1);
  EXPECT_THROW(list.Get(3), std::out_of_range);
  EXPECT_THROW(list.Set(-1, 0), std::out_of_range);
}

}  // namespace
}  // namespace velmaris
