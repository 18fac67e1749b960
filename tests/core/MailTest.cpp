#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "MailFixtures.h"
#include "core/Mail.h"
#include "core/SearchRequest.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// --- Stored-message image -----------------------------------------------------

TEST(MailMsgFileTest, GoldenImage) {
  auto mail = MakeSpecMail(MailSpec{});
  // FTS-0001 stored message, worked out field by field.
  const std::string golden = std::string("Ivan Petrov") + std::string(25, '\0') +  //   0 from, 36
                             std::string("All") + std::string(33, '\0') +          //  36 to, 36
                             std::string("Test") + std::string(68, '\0') +  //  72 subject, 72
                             std::string("05 Jan 98  12:00:00\0", 20) +     // 144 date, 20
                             Bytes({0x00, 0x00,                             // 164 times read
                                    0x02, 0x00,                             // 166 dest node 2
                                    0x01, 0x00,                             // 168 orig node 1
                                    0x00, 0x00,                             // 170 cost
                                    0x9C, 0x13,                             // 172 orig net 5020
                                    0xA6, 0x13,                             // 174 dest net 5030
                                    0x01, 0x00,                             // 176 dest zone 1
                                    0x02, 0x00,                             // 178 orig zone 2
                                    0x00, 0x00,                             // 180 dest point 0
                                    0x07, 0x00,                             // 182 orig point 7
                                    0x00, 0x00,                             // 184 reply to
                                    0x01, 0x01,                             // 186 attribute
                                    0x00, 0x00}) +                          // 188 next reply
                             std::string("Hello\r\0", 7);                   // 190 text and NUL
  EXPECT_EQ(mail->BuildMsgImage(), golden);
  EXPECT_EQ(golden.size(), 190u + mail->Body.size() - mail->Header.TextOffset);
}

TEST(MailMsgFileTest, LongNamesKeepTheirNul) {
  MailSpec s;
  s.from = std::string(35, 'F');
  s.to = std::string(35, 'T');
  s.subject = std::string(71, 'S');
  auto mail = MakeSpecMail(s);
  const std::string image = mail->BuildMsgImage();
  EXPECT_EQ(image.substr(0, 36), std::string(35, 'F') + '\0');
  EXPECT_EQ(image.substr(36, 36), std::string(35, 'T') + '\0');
  EXPECT_EQ(image.substr(72, 72), std::string(71, 'S') + '\0');
}

TEST(MailMsgFileTest, DamagedBodiesStayInsideTheirBounds) {
  struct Case {
    std::string body;
    uint16_t textOffset;
    std::string text;  // expected from offset 190
    const char* what;
  } cases[] = {
      {std::string(10, 'x'), 0, std::string(10, 'x') + '\0', "body shorter than its head"},
      {std::string(40, 'y'), 300, std::string(1, '\0'), "text offset beyond the body"},
      {std::string(40, 'z'), 38, "zz" + std::string(1, '\0'), "text without its NUL"},
      {std::string(40, 'w') + '\0', 40, std::string(1, '\0'), "empty text"},
  };
  for (const Case& c : cases) {
    TMsgHeader h;
    h.TextOffset = c.textOffset;
    TMail mail(c.body, h);
    const std::string image = mail.BuildMsgImage();
    ASSERT_GE(image.size(), 190u) << c.what;
    EXPECT_EQ(image.substr(190), c.text) << c.what;
    if (c.body.size() < 34) {
      EXPECT_EQ(image.substr(144, 20), std::string(20, '\0')) << c.what;
    }
  }
}

TEST(MailMsgFileTest, SaveToMsgFileWritesTheImage) {
  TempDir dir;
  auto mail = MakeSpecMail(MailSpec{});
  dir.Write("OLD.MSG",
            "previous contents that are longer than the new image..." + std::string(400, '.'));
  EXPECT_TRUE(mail->SaveToMsgFile(dir / "OLD.MSG"));
  EXPECT_EQ(dir.Read("OLD.MSG"), mail->BuildMsgImage());
  EXPECT_FALSE(mail->SaveToMsgFile(dir / "missing/dir/X.MSG"));
}

// --- Dates ----------------------------------------------------------------------

TEST(MailDateTest, Vectors) {
  struct Case {
    std::string field;                           // resized to 20 bytes with NULs
    int year, month, day, hour, minute, second;  // year 0: no date
    const char* what;
  } cases[] = {
      {"05 Jan 98  12:00:00", 1998, 1, 5, 12, 0, 0, "FTS-0001 form"},
      {"05 Jan 98 12:00:00", 1998, 1, 5, 12, 0, 0, "one blank before the hour"},
      {"31 Dec 89  23:59:59", 2089, 12, 31, 23, 59, 59, "89 is 2089"},
      {"01 Jan 90  00:00:00", 1990, 1, 1, 0, 0, 0, "90 is 1990"},
      {"15 Jun 99  08:30:15", 1999, 6, 15, 8, 30, 15, "99 is 1999"},
      {"29 Feb 00  10:11:12", 2000, 2, 29, 10, 11, 12, "00 is 2000, a leap year"},
      {"17 Nov 26  01:02:03", 2026, 11, 17, 1, 2, 3, "26"},
      {" 5 May 04  07:08:09", 2004, 5, 5, 7, 8, 9, "blank before a one-digit day"},
      {"05 Jan 98  12:00:00xyz", 1998, 1, 5, 12, 0, 0, "only 19 characters count"},
      {"29 Feb 99  00:00:00", 0, 0, 0, 0, 0, 0, "no such day"},
      {"00 Jan 98  00:00:00", 0, 0, 0, 0, 0, 0, "day 0"},
      {"32 Jan 98  00:00:00", 0, 0, 0, 0, 0, 0, "day 32"},
      {"05 JAN 98  12:00:00", 0, 0, 0, 0, 0, 0, "month in upper case"},
      {"05 jan 98  12:00:00", 0, 0, 0, 0, 0, 0, "month in lower case"},
      {"05 Jnu 98  12:00:00", 0, 0, 0, 0, 0, 0, "unknown month"},
      {"05 Jan 98  24:00:00", 0, 0, 0, 0, 0, 0, "hour 24"},
      {"05 Jan 98  12:60:00", 0, 0, 0, 0, 0, 0, "minute 60"},
      {"05 Jan 98  12:00:6x", 0, 0, 0, 0, 0, 0, "bad second digit"},
      {"05 Jan 98  12:00", 0, 0, 0, 0, 0, 0, "no seconds"},
      {"Mon  5 Jan 98 12:00", 0, 0, 0, 0, 0, 0, "SEAdog form"},
      {"xx xxx xx  xx:xx:xx", 0, 0, 0, 0, 0, 0, "garbage"},
      {"", 0, 0, 0, 0, 0, 0, "empty"},
      {"-5 Jan 98  12:00:00", 0, 0, 0, 0, 0, 0, "sign"},
  };
  for (const Case& c : cases) {
    MailSpec s;
    s.date = c.field;
    auto mail = MakeSpecMail(s);
    const TDateTime want =
        c.year ? EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second) : 0;
    EXPECT_EQ(mail->GetPacketDate(), want) << c.what;
    EXPECT_EQ(mail->GetPacketDate(), want) << c.what << " (again)";
  }
}

TEST(MailDateTest, OneBlankFormIsNormalisedInTheBody) {
  MailSpec s;
  s.date = std::string("05 Jan 98 12:00:00\0Z", 20);
  auto mail = MakeSpecMail(s);
  mail->GetPacketDate();
  EXPECT_EQ(mail->DateField(), std::string("05 Jan 98  12:00:00Z", 20));
  EXPECT_EQ(mail->BuildMsgImage().substr(144, 20), std::string("05 Jan 98  12:00:00Z", 20));
}

TEST(MailDateTest, ShortBodiesGiveZeroAndStayUnchanged) {
  for (size_t size : {0u, 10u, 14u, 33u}) {
    std::string body(size, '7');
    TMail mail(body, TMsgHeader{});
    EXPECT_EQ(mail.GetPacketDate(), 0) << size;
    EXPECT_EQ(mail.Body, body) << size;
  }
}

TEST(MailDateTest, FormatRoundTrip) {
  for (TDateTime t :
       {EncodeDateTime(1998, 1, 5, 12, 0, 0), EncodeDateTime(2089, 12, 31, 23, 59, 59),
        EncodeDateTime(1990, 1, 1, 0, 0, 0), EncodeDateTime(2026, 12, 6, 7, 8, 9)}) {
    const std::string text = FormatPacketDate(t);
    EXPECT_EQ(text.size(), 19u);
    EXPECT_EQ(ParsePacketDate(text), t) << text;
  }
  EXPECT_EQ(FormatPacketDate(EncodeDateTime(2026, 12, 6, 7, 8, 9)), "06 Dec 26  07:08:09");
}

// --- Macros ---------------------------------------------------------------------

TEST(MailMacroTest, Table) {
  MailSpec s;
  s.from = "Ivan Petrov";
  s.to = "Sysop";
  s.subject = "Re: %su and %oa";
  s.created = 883991107;  // 1998-01-05 09:05:07, a Monday
  s.tossed = 884088000;   // 1998-01-06 12:00:00, a Tuesday
  auto mail = MakeSpecMail(s);
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"%origaddr|%oa", "2:5020/1.7|2:5020/1.7"},
      {"%destaddr|%da", "1:5030/2|1:5030/2"},
      {"%destname|%dn", "Sysop|Sysop"},
      {"%origname|%on", "Ivan Petrov|Ivan Petrov"},
      {"%subject", "Re: %su and %oa"},  // long form first; its value is not expanded
      {"%su", "Re: %su and %oa"},       // the inserted %su ends the expansion
      {"%area|%ar", "RU.TEST|RU.TEST"},
      {"%destfirst|%df", "Sysop|Sysop"},  // one word
      {"%origfirst|%of", "Ivan|Ivan"},
      {"%senddate|%dt", "05.01.98|05.01.98"},
      {"%sendtime|%ti", "9:05:07|9:05:07"},
      {"%sendday", "Monday"},
      {"%tossdate %tosstime %tossday", "06.01.98 12:00:00 Tuesday"},
      {"Hello %df, you wrote to %dn on %senddate:", "Hello Sysop, you wrote to Sysop on 05.01.98:"},
      {"%on%on%oa", "Ivan PetrovIvan Petrov2:5020/1.7"},
      {"%OA %Subject", "%OA %Subject"},  // case-sensitive
      {"100% %x %", "100% %x %"},
      {"%%oa", "%2:5020/1.7"},
      {"%origaddrx", "2:5020/1.7x"},
      {"%sub", "Re: %su and %oab"},  // the short form inside an unknown word
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(mail->ExpandMacros(c.text), c.expanded) << c.text;
}

TEST(MailMacroTest, InsertedTextIsNeverExpanded) {
  MailSpec s;
  s.from = "%oa %destname";
  s.to = "\"%on Quoted\" Rest";
  s.subject = "%subject";
  auto mail = MakeSpecMail(s);
  EXPECT_EQ(mail->ExpandMacros("%on|%dn|%su|%df"),
            "%oa %destname|\"%on Quoted\" Rest|%subject|%on Quoted");
}

// --- Mask test ------------------------------------------------------------------

TEST(MailMatchesRequestTest, Table) {
  MailSpec s;
  s.from = "Ivan Petrov";
  s.to = "Sysop";
  s.subject = "Hello world";
  s.text = "\x01MSGID: 2:5020/1.7 1\rFirst line\rSecond LINE\r";
  s.flags = 0x0004 | 0x0010;  // Unread, ToSysop
  auto mail = MakeSpecMail(s);
  // Text after the NUL is no part of the message text.
  mail->Body += "hidden";

  struct Case {
    const char* what;
    uint32_t mask, flags;
    int field;  // 0 none, 1 origin, 2 destination, 3 subject, 4 text
    const char* text;
    bool cs, sub;
    bool passes;
  } cases[] = {
      {"no condition matches nothing", 0, 0, 0, "", false, true, false},
      {"unread", 0x0004, 0x0004, 0, "", false, true, true},
      {"read", 0x0004, 0, 0, "", false, true, false},
      {"to sysop and unread", 0x0014, 0x0014, 0, "", false, true, true},
      {"flags outside the mask do not count", 0x0010, 0x0090, 0, "", false, true, true},
      {"origin substring", 0, 0, 1, "petrov", false, true, true},
      {"origin exact", 0, 0, 1, "ivan petrov", false, false, true},
      {"origin case", 0, 0, 1, "petrov", true, true, false},
      {"destination", 0, 0, 2, "SYSOP", false, false, true},
      {"destination is not the sender", 0, 0, 2, "Ivan", false, true, false},
      {"subject", 0, 0, 3, "lo wo", true, true, true},
      {"text", 0, 0, 4, "second line", false, true, true},
      {"kludges are text", 0, 0, 4, "MSGID", true, true, true},
      {"names before the text are not", 0, 0, 4, "Ivan", false, true, false},
      {"text after the NUL is not", 0, 0, 4, "hidden", false, true, false},
      {"flag fails first", 0x0004, 0, 1, "Ivan", false, true, false},
      {"flag and text", 0x0004, 0x0004, 4, "First", true, true, true},
  };
  for (const Case& c : cases) {
    TSearchRequest r;
    r.FlagMask = c.mask;
    r.Flags = c.flags;
    TSearchString cond;
    cond.SetText(c.text);
    cond.CaseSensitive = c.cs;
    cond.SubstringMatch = c.sub;
    switch (c.field) {
      case 1:
        r.ApplyOrigin = true;
        r.Origin = cond;
        break;
      case 2:
        r.ApplyDestination = true;
        r.Destination = cond;
        break;
      case 3:
        r.ApplySubject = true;
        r.Subject = cond;
        break;
      case 4:
        r.ApplyText = true;
        r.Text = cond;
        break;
      default: break;
    }
    EXPECT_EQ(mail->MatchesRequest(r), c.passes) << c.what;
  }
}

TEST(MailMatchesRequestTest, SwitchedOffConditionsAndDatesAreIgnored) {
  auto mail = MakeSpecMail(MailSpec{});
  TSearchRequest r;
  r.Origin.SetText("nobody");  // switch off: not tested
  r.TossDate.Mode = TDateSearch::Range;
  r.TossDate.Start = r.TossDate.End = 1;
  EXPECT_FALSE(mail->MatchesRequest(r));  // no condition at all
  r.ApplySubject = true;
  r.Subject.SetText("Test");
  EXPECT_TRUE(mail->MatchesRequest(r));
  r.ApplyOrigin = true;  // now the origin condition fails
  EXPECT_FALSE(mail->MatchesRequest(r));
}

// --- Printable form -------------------------------------------------------------

std::string Words(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) {
    char w[8];
    std::snprintf(w, sizeof w, "word%02d", i);
    if (!s.empty()) s += ' ';
    s += w;
  }
  return s;
}

TEST(MailPrintTest, GoldenText) {
  MailSpec s;
  s.text = "AREA:RU.TEST\r\x01MSGID: 2:5020/1.7 1234abcd\rHi All!\r\rMB> " + Words(1, 20) + "\r" +
           Words(1, 20) + "\r--- KQ\r * Origin: Home (2:5020/1.7)\rSEEN-BY: 5020/1\r";
  auto mail = MakeSpecMail(s);
  const std::string stars(78, '*');
  const std::string want = stars + "\n" +
                           "*      Area: RU.TEST\n"
                           "*   Subject: Test\n"
                           "*      From: Ivan Petrov(2:5020/1.7)\n"
                           "*        To: All(1:5030/2)\n"
                           "*      Date: 05 Jan 98\n"
                           "*      Time: 12:00:00\n" +
                           stars + "\n" +
                           "Hi All!\n"
                           "\n"
                           "MB> " +
                           Words(1, 10) + "\n" +  // 4 + 69 characters: 11 words would not fit 74
                           "MB> " + Words(11, 20) + "\n" + Words(1, 11) +
                           "\n" +  // 76 characters; 12 words are 83
                           Words(12, 20) + "\n" +
                           "--- KQ\n"
                           " * Origin: Home (2:5020/1.7)\n" +
                           stars + "\n\n\n\n";
  EXPECT_EQ(mail->PrintableText(false, false, false), want);
}

TEST(MailPrintTest, SwitchesTable) {
  MailSpec s;
  s.text = "AREA:X\r\x01PID: a\rSEEN-BY: 1/1\rbody\r";
  auto mail = MakeSpecMail(s);
  struct Case {
    bool kludges, area, seenBy;
    std::vector<std::string> present, absent;
  } cases[] = {
      {false, false, false, {"\nbody\n"}, {"AREA:X", "\1PID", "SEEN-BY"}},
      {true, false, false, {"\n\1PID: a\n"}, {"AREA:X", "SEEN-BY"}},
      {false, true, false, {"\nAREA:X\n"}, {"\1PID", "SEEN-BY"}},
      {false, false, true, {"\nSEEN-BY: 1/1\n"}, {"AREA:X", "\1PID"}},
      {true, true, true, {"\nAREA:X\n\1PID: a\nSEEN-BY: 1/1\nbody\n"}, {}},
  };
  for (const Case& c : cases) {
    const std::string out = mail->PrintableText(c.kludges, c.area, c.seenBy);
    for (const auto& p : c.present) EXPECT_NE(out.find(p), std::string::npos) << p;
    for (const auto& a : c.absent) EXPECT_EQ(out.find(a), std::string::npos) << a;
  }
}

TEST(MailPrintTest, QuotePrefixesAndEdgeLines) {
  struct Case {
    std::string line;
    std::string printed;
  } cases[] = {
      {"IP> short", "IP> short\n"},
      {"IP>> deeper", "IP>> deeper\n"},
      {" IP> >  spaced", " IP> >  spaced\n"},  // prefix " IP> " then text
      {"IP>", "\n"},                           // only a prefix: empty line
      {std::string(40, 'x') + "> far", std::string(40, 'x') + "> far\n"},  // not a quote
      {"a -> b", "a -> b\n"},  // counts as a quote prefix
      {"\x01KLUDGE> x", ""},   // kludges stay hidden
      {"line\r\nnext", "line\nnext\n"},
  };
  for (const Case& c : cases) {
    MailSpec s;
    s.text = c.line + "\r";
    auto mail = MakeSpecMail(s);
    const std::string out = mail->PrintableText(false, false, false);
    const std::string stars(78, '*');
    const size_t start = out.find(stars + "\n", 79) + 79;
    const size_t end = out.rfind(stars);
    EXPECT_EQ(out.substr(start, end - start), c.printed) << c.line;
  }
}

TEST(MailPrintTest, LongQuotePrefixStillWraps) {
  // A prefix that leaves no room keeps a minimum width instead of cutting
  // the text into single characters.
  MailSpec s;
  s.text = "x>" + std::string(90, ' ') + Words(1, 6) + "\r";
  auto mail = MakeSpecMail(s);
  const std::string out = mail->PrintableText(false, false, false);
  const std::string prefix = "x>" + std::string(90, ' ');
  EXPECT_NE(out.find(prefix + "word01 word02\n" + prefix + "word03 word04\n"), std::string::npos);
}

TEST(MailPrintTest, EmptyTextPrintsTheBoxOnly) {
  MailSpec s;
  s.text = "";
  auto mail = MakeSpecMail(s);
  const std::string out = mail->PrintableText(true, true, true);
  const std::string stars(78, '*');
  EXPECT_EQ(out.substr(out.size() - 83), "\n" + stars + "\n\n\n\n");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8 + 1 + 3);
}

TEST(MailPrintTest, InvalidDateAndTime) {
  struct Case {
    std::string date;
    const char* dateLine;
    const char* timeLine;
  } cases[] = {
      {"", "*      Date: invalid\n", "*      Time: invalid\n"},
      {"05 Jan 98", "*      Date: 05 Jan 98\n", "*      Time: invalid\n"},
      {"05 Jan 9", "*      Date: invalid\n", "*      Time: invalid\n"},
      {std::string("\0\0\0\0\0\0\0\0\0\0\0"
                   "12:00:00",
                   19),
       "*      Date: invalid\n", "*      Time: 12:00:00\n"},
  };
  for (const Case& c : cases) {
    MailSpec s;
    s.date = c.date;
    auto mail = MakeSpecMail(s);
    const std::string out = mail->PrintableText(false, false, false);
    EXPECT_NE(out.find(c.dateLine), std::string::npos) << c.dateLine;
    EXPECT_NE(out.find(c.timeLine), std::string::npos) << c.timeLine;
  }
  TMail tiny(std::string(5, 'a'), TMsgHeader{});
  EXPECT_NE(tiny.PrintableText(false, false, false).find("Date: invalid"), std::string::npos);
}

TEST(MailPrintTest, TextIsConvertedFromOemToAnsi) {
  MailSpec s;
  s.text = "\x80\xAF\r";  // CP866 capital A and small p (Cyrillic)
  auto mail = MakeSpecMail(s);
  const std::string out = mail->PrintableText(false, false, false);
  EXPECT_NE(out.find("\n\xC0\xEF\n"), std::string::npos);  // the same letters in CP1251
}

TEST(MailPrintTest, WriteToTextFileAppendsOrCreates) {
  TempDir dir;
  auto mail = MakeSpecMail(MailSpec{});
  const std::string one = mail->PrintableText(false, true, false);
  dir.Write("log.txt", "before\n");
  mail->WriteToTextFile(dir / "log.txt", true, false, true, false);
  EXPECT_EQ(dir.Read("log.txt"), "before\n" + one);
  mail->WriteToTextFile(dir / "log.txt", false, false, true, false);
  EXPECT_EQ(dir.Read("log.txt"), one);
  mail->WriteToTextFile(dir / "new.txt", true, false, true, false);
  EXPECT_EQ(dir.Read("new.txt"), one);
  EXPECT_THROW(mail->WriteToTextFile(dir / "no/such/dir.txt", true, false, true, false),
               platform::EFile);
}

// --- List -------------------------------------------------------------------------

}  // namespace
}  // namespace velmaris::test
