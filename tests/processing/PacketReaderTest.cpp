#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PacketFixtures.h"
#include "core/Crc.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "processing/MailPacket.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

using test::PackedMessage;
using test::PackedFields;
using test::PacketOf;
using test::PeerHeader;

TMailPacket Quiet(const std::string& bytes) {
  TMailPacket p = TMailPacket::FromBytes(bytes, "test.pkt");
  p.SetShowDamageBox(false);
  return p;
}

std::string Addr(const TFidoAddr& a) { return FidoAddressToStr(a); }

// One message and what the reader makes of it. The packet header is the
// peer's: 2:5030/1 to 2:5020/1042.7.
struct KludgeCase {
  const char* name;
  std::string text;
  std::string orig, dest, area;
  uint32_t msgIdSerial = 0, replySerial = 0;
  std::string msgIdAddr{}, replyAddr{};
};

TEST(PacketReader, AddressesAreaAndKeysFromTheText) {
  const KludgeCase cases[] = {
      {"origin line wins over MSGID",
       "AREA:RU.TEST\r\x01MSGID: 2:5020/99 1234abcd\rHello\r--- x\r * Origin: Home "
       "(2:5020/1042.7)\rSEEN-BY: 5020/1\r",
       "2:5020/1042.7", "2:5020/1042.7", "RU.TEST", 0x1234abcd, 0, "2:5020/99", ""},
      {"MSGID without origin line", "AREA:RU.TEST\r\x01MSGID: 2:5020/99.3 deadbeef\rHello\r",
       "2:5020/99.3", "2:5020/1042.7", "RU.TEST", 0xdeadbeef, 0, "2:5020/99.3", ""},
      {"later origin line replaces an earlier one",
       "AREA:X\r * Origin: quoted (1:1/1)\r * Origin: real (2:5020/5)\r", "2:5020/5",
       "2:5020/1042.7", "X"},
      {"origin with a domain", "AREA:X\r * Origin: Dom (2:5020/5.1@fidonet)\r", "2:5020/5.1",
       "2:5020/1042.7", "X"},
      {"origin line without an address falls back to MSGID",
       "AREA:X\r\x01MSGID: 2:1/2 1\r * Origin: no address\r", "2:1/2", "2:5020/1042.7", "X", 1, 0,
       "2:1/2"},
      {"lower-case tag", "AREA:echo.tag\rx\r", "0:0/0", "2:5020/1042.7", "ECHO.TAG"},
      // Cyrillic letters in CP866, the tag in CP1251.
      {"Cyrillic tag in small letters", "AREA:ru.\xE2\xA5\xE1\xE2\rx\r", "0:0/0", "2:5020/1042.7",
       "RU.\xD2\xC5\xD1\xD2"},
      {"tag of a message whose CHRS line names LATIN-1",
       "AREA:RU.\x92\x85\x91\x92\r\x01"
       "CHRS: LATIN-1 2\rx\r",
       "0:0/0", "2:5020/1042.7", "RU.\xD2\xC5\xD1\xD2"},
      // A tag the ANSI page cannot hold keeps its bytes; only ASCII letters
      // are raised.
      {"UTF-8 tag", "AREA:ru.\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2\rx\r", "0:0/0",
       "2:5020/1042.7", "RU.\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2"},
      {"UTF-8 tag in capitals", "AREA:RU.\xD0\x81\xD0\x96\xD0\x98\xD0\x9A\rx\r", "0:0/0",
       "2:5020/1042.7", "RU.\xD0\x81\xD0\x96\xD0\x98\xD0\x9A"},
      {"CP866 tag with a byte the ANSI page lacks", "AREA:ru.\xE2\xA5\xE1\xE2\xDB\rx\r", "0:0/0",
       "2:5020/1042.7", "RU.\xE2\xA5\xE1\xE2\xDB"},
      {"tag between blanks", "AREA: ECHO \rx\r", "0:0/0", "2:5020/1042.7", "ECHO"},
      {"tag cut to 51", "AREA:" + std::string(70, 'a') + "\r", "0:0/0", "2:5020/1042.7",
       std::string(51, 'A')},
      {"netmail with INTL, FMPT and TOPT",
       "\x01INTL 2:5020/1042 1:5030/2\r\x01"
       "FMPT 3\r\x01TOPT 7\r\x01MSGID: 9:9/9 1\rText\r",
       "1:5030/2.3", "2:5020/1042.7", "NETMAIL", 1, 0, "9:9/9"},
      {"INTL alone gives points 0", "\x01INTL 2:5020/1042 1:5030/2\rText\r", "1:5030/2",
       "2:5020/1042", "NETMAIL"},
      {"FMPT and TOPT without INTL are ignored",
       "\x01MSGID: 2:5030/1 2\r\x01"
       "FMPT 3\r\x01TOPT 9\rText\r",
       "2:5030/1", "2:5020/1042.7", "NETMAIL", 2, 0, "2:5030/1"},
      {"only the first INTL counts", "\x01INTL 3:3/3 4:4/4\r\x01INTL 5:5/5 6:6/6\r", "4:4/4",
       "3:3/3", "NETMAIL"},
      {"netmail without MSGID takes the packed message's net and node", "Text\r", "2:5020/1042",
       "2:5020/1042.7", "NETMAIL"},
      {"REPLY keys and a serial that is not hexadecimal",
       "AREA:X\r\x01MSGID: 2:1/1 xyz\r\x01REPLY: 2:5020/1.7@fidonet 00000010\r", "2:1/1",
       "2:5020/1042.7", "X", 0, 0x10, "2:1/1", "2:5020/1.7@fidonet"},
      {"line feeds after carriage returns",
       "AREA:X\r\n\x01MSGID: 2:1/1 5\r\n * Origin: lf (2:7/7)\r\n", "2:7/7", "2:5020/1042.7", "X",
       5, 0, "2:1/1"},
  };
  for (const KludgeCase& c : cases) {
    PackedFields s;
    s.text = c.text;
    TMailPacket p = Quiet(PacketOf(PeerHeader(), PackedMessage(s)));
    ASSERT_EQ(p.GetStatus(), psReady) << c.name;
    ASSERT_NE(p.NextMail(), nullptr) << c.name;
    const TMsgHeader& h = p.GetMailHeader();
    EXPECT_EQ(Addr(h.OrigAddr), c.orig) << c.name;
    EXPECT_EQ(Addr(h.DestAddr), c.dest) << c.name;
    EXPECT_EQ(h.AreaName.Str(), c.area) << c.name;
    EXPECT_EQ(p.GetMsgIdSerial(), c.msgIdSerial) << c.name;
    EXPECT_EQ(p.GetReplySerial(), c.replySerial) << c.name;
    EXPECT_EQ(h.MsgIdNumber, c.msgIdSerial) << c.name;
    EXPECT_EQ(h.ReplyNumber, c.replySerial) << c.name;
    EXPECT_EQ(p.GetMsgIdAddress(), c.msgIdAddr) << c.name;
    EXPECT_EQ(h.MsgIdCrc, c.msgIdAddr.empty() ? 0u : Crc32OfString(c.msgIdAddr)) << c.name;
    EXPECT_EQ(h.ReplyCrc, c.replyAddr.empty() ? 0u : Crc32OfString(c.replyAddr)) << c.name;
    EXPECT_EQ(p.NextMail(), nullptr) << c.name;
    EXPECT_FALSE(p.IsDamaged()) << c.name;
  }
}

TEST(PacketReader, NamesOffsetsAndLength) {
  PackedFields s;
  s.to = "Sysop";
  s.from = "Ivan";
  s.subject = "Re: things";
  s.text = "AREA:A\rBody\r";
  const std::string image = PackedMessage(s);
  TMailPacket p = Quiet(PacketOf(PeerHeader(), image));
  const std::string* mail = p.NextMail();
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(*mail, image);
  const TMsgHeader& h = p.GetMailHeader();
  EXPECT_EQ(h.ToName.Str(), "Sysop");
  EXPECT_EQ(h.FromName.Str(), "Ivan");
  EXPECT_EQ(h.Subject.Str(), "Re: things");
  EXPECT_EQ(h.TextOffset, 34 + 6 + 5 + 11);
  EXPECT_EQ(h.BodyLength, image.size());
  EXPECT_EQ(p.GetPacketSize(), 58 + image.size() + 2);
}

TEST(PacketReader, NamesConvertedUnlessTheCharsetIsLatin) {
  platform::SetOemCodePage(platform::CodePage::CP866);
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  const std::string oem = "\x88\xA2\xA0\xAD";   // "Иван" in CP866
  const std::string ansi = "\xC8\xE2\xE0\xED";  // the same in CP1251
  struct Case {
    std::string kludges;
    std::string expected;
  } cases[] = {
      {"", ansi},
      {"\x01"
       "CHRS: CP866 2\r",
       ansi},
      {"\x01"
       "CHRS: LATIN-1 2\r",
       oem},
      {"\x01"
       "CHARSET: latin1\r",
       oem},
  };
  for (const Case& c : cases) {
    PackedFields s;
    s.from = oem;
    s.to = oem;
    s.subject = oem;
    s.text = c.kludges + "Text\r";
    TMailPacket p = Quiet(PacketOf(PeerHeader(), PackedMessage(s)));
    ASSERT_NE(p.NextMail(), nullptr);
    EXPECT_EQ(p.GetMailHeader().FromName.Str(), c.expected) << c.kludges;
    EXPECT_EQ(p.GetMailHeader().ToName.Str(), c.expected) << c.kludges;
    EXPECT_EQ(p.GetMailHeader().Subject.Str(), c.expected) << c.kludges;
    // The text itself is left as it came.
    EXPECT_NE(p.GetMailBuffer().find(oem), std::string::npos);
  }
}

TEST(PacketReader, GetKludge) {
  PackedFields s;
  s.text =
      "AREA:X\r\x01PID: \b: KQ 1 \b \r\x01TZUTC: 0300\r\x01"
      "CHRS:CP866 2\rbody\r";
  TMailPacket p = Quiet(PacketOf(PeerHeader(), PackedMessage(s)));
  ASSERT_NE(p.NextMail(), nullptr);
  EXPECT_EQ(p.GetKludge("PID", "none"), "KQ 1");
  EXPECT_EQ(p.GetKludge("TZUTC", ""), "0300");
  EXPECT_EQ(p.GetKludge("CHRS", ""), "CP866 2");
  EXPECT_EQ(p.GetKludge("MSGID", "none"), "none");
  EXPECT_EQ(p.GetKludge("AREA", "none"), "none");  // not a kludge line
}

TEST(PacketReader, MessagesInFileOrderAndAgainAfterRewind) {
  std::string body;
  for (const char* subject : {"one", "two", "three"}) {
    PackedFields s;
    s.subject = subject;
    body += PackedMessage(s);
  }
  TMailPacket p = Quiet(PacketOf(PeerHeader(), body));
  for (int round = 0; round < 2; ++round) {
    std::vector<std::string> subjects;
    while (p.NextMail()) subjects.push_back(p.GetMailHeader().Subject.Str());
    EXPECT_EQ(subjects, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(p.GetReadPosition() + 58 + 2, p.GetPacketSize());
    p.Rewind();
  }
}

// A message larger than the limit (lowered here to 200 bytes) is passed
// over to its NUL; the messages after it are read as usual.
TEST(PacketReader, MessagesAboveTheLimitArePassedOverWhole) {
  auto message = [](const char* subject, size_t textSize) {
    PackedFields s;
    s.subject = subject;
    s.text = std::string(textSize, 't');
    return PackedMessage(s);
  };
  const std::string small1 = message("a", 10), small2 = message("b", 20);
  const std::string big1 = message("B1", 300), big2 = message("B2", 500);
  struct Case {
    const char* name;
    std::vector<std::string> messages;
    bool terminator;
    std::vector<std::string> read;
    std::vector<std::pair<int, size_t>> skipped;  // number, index in messages
  } cases[] = {
      {"one in the middle", {small1, big1, small2}, true, {"a", "b"}, {{2, 1}}},
      {"two in a row", {big1, big2, small2}, true, {"b"}, {{1, 0}, {2, 1}}},
      {"the last one, no terminator", {small1, big2}, false, {"a"}, {{2, 1}}},
      {"exactly the limit is read", {message("x", 200 - small1.size() + 10)}, true, {"x"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string body;
    std::vector<size_t> offsets;
    for (const std::string& m : c.messages) {
      offsets.push_back(58 + body.size());
      body += m;
    }
    TMailPacket p = Quiet(PacketOf(PeerHeader(), body, c.terminator));
    p.SetMaxMessageSize(200);
    for (int round = 0; round < 2; ++round) {
      std::vector<std::string> subjects;
      while (p.NextMail()) subjects.push_back(p.GetMailHeader().Subject.Str());
      EXPECT_EQ(subjects, c.read);
      EXPECT_FALSE(p.IsDamaged());
      EXPECT_EQ(p.GetReadPosition(), body.size());
      ASSERT_EQ(p.GetSkippedMails().size(), c.skipped.size());
      for (size_t i = 0; i < c.skipped.size(); ++i) {
        const TSkippedMail& got = p.GetSkippedMails()[i];
        const size_t at = c.skipped[i].second;
        EXPECT_EQ(got.Number, c.skipped[i].first);
        EXPECT_EQ(got.Offset, offsets[at]);
        EXPECT_EQ(got.Size, c.messages[at].size());
      }
      p.Rewind();
    }
  }
}

TEST(PacketReader, OpeningStatus) {
  test::TempDir dir;
  const std::string good = PacketOf(PeerHeader(), "");
  std::string type3 = good;
  type3[18] = 3;
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    std::string bytes;
    int status;
    std::string logged;  // the status text, in the log's ANSI page (CP1251 has no ä, ö)
  } cases[] = {
      {"missing file", nullptr, "", psCannotOpen, "Konnte Paketdatei nicht offnen!"},
      {"empty file", "empty.pkt", "", psDamagedHeader, "Paketkopf ist beschadigt!"},
      {"short header", "short.pkt", good.substr(0, 57), psDamagedHeader,
       "Paketkopf ist beschadigt!"},
      {"unknown type", "type3.pkt", type3, psUnknownType, "Pakettyp ist unbekannt!"},
      {"header only", "head.pkt", good.substr(0, 58), psReady, ""},
      {"empty packet", "empty60.pkt", good, psReady, ""},
  };
  for (const Case& c : cases) {
    std::string path = dir / "nothing.pkt";
    if (c.file) {
      dir.Write(c.file, c.bytes);
      path = dir / c.file;
    }
    TMailPacket p(path);
    p.SetShowDamageBox(false);
    EXPECT_EQ(p.GetStatus(), c.status) << c.name;
    EXPECT_EQ(p.GetStatusText(), c.logged) << c.name;
    EXPECT_EQ(p.NextMail(), nullptr) << c.name;
    EXPECT_FALSE(p.IsDamaged()) << c.name;
  }
}

// A good first message, then a second one that is damaged: the first is
// handed out whole, the second stops the reading with a report.
TEST(PacketReader, DamageStopsReadingAfterTheGoodMessages) {
  const std::string first = PackedMessage(PackedFields{});
  auto with = [](auto change) {
    PackedFields s;
    change(s);
    return PackedMessage(s);
  };
  const std::string longSubject = with([](PackedFields& s) { s.subject = std::string(73, 's'); });
  const std::string longTo = with([](PackedFields& s) { s.to = std::string(37, 't'); });
  const std::string longFrom = with([](PackedFields& s) { s.from = std::string(37, 'f'); });
  const std::string wrongType = with([](PackedFields& s) { s.type = 3; });
  const std::string fine = PackedMessage(PackedFields{});
  struct Case {
    const char* name;
    std::string second;
    bool terminator;
    bool damaged;
    int messages;
  } cases[] = {
      {"subject of 73 characters", longSubject, true, true, 1},
      {"to-name of 37 characters", longTo, true, true, 1},
      {"from-name of 37 characters", longFrom, true, true, 1},
      {"unknown message type", wrongType, true, true, 1},
      {"truncated fixed part", fine.substr(0, 20), false, true, 1},
      {"to-name cut off by the file end", fine.substr(0, 36), false, true, 1},
      {"subject cut off by the file end", fine.substr(0, fine.find("Hi") + 1), false, true, 1},
      {"text without NUL", fine.substr(0, fine.size() - 1), false, true, 1},
      {"limits exactly", with([](PackedFields& s) {
         s.to = std::string(36, 't');
         s.from = std::string(36, 'f');
         s.subject = std::string(72, 's');
       }),
       true, false, 2},
      {"no terminator", fine, false, false, 2},
      {"a single stray byte after the messages", fine + std::string(1, '\0'), false, false, 2},
  };
  for (const Case& c : cases) {
    TMailPacket p = Quiet(PacketOf(PeerHeader(), first + c.second, c.terminator));
    int n = 0;
    while (p.NextMail()) ++n;
    EXPECT_EQ(n, c.messages) << c.name;
    EXPECT_EQ(p.IsDamaged(), c.damaged) << c.name;
    if (c.damaged) {
      // A log line: in the ANSI page.
      EXPECT_EQ(p.GetDamageText().rfind("Das Paket test.pkt is beschadigt!", 0), 0u) << c.name;
      EXPECT_EQ(p.GetReadPosition(), first.size()) << c.name;
      EXPECT_EQ(p.NextMail(), nullptr) << c.name;  // stays stopped
    }
  }
}

TEST(PacketReader, DamageIsShownInAnErrorBox) {
  platform::ScriptedPrompter prompter;
  platform::SetPrompter(&prompter);
  PackedFields s;
  s.subject = std::string(80, 'x');
  TMailPacket p = TMailPacket::FromBytes(PacketOf(PeerHeader(), PackedMessage(s)), "in/0001.pkt");
  EXPECT_EQ(p.NextMail(), nullptr);
  platform::SetPrompter(nullptr);
  const auto q = prompter.Questions();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(q[0].text, "Das Paket in/0001.pkt is beschädigt!");
  EXPECT_EQ(q[0].buttons, platform::mbOk);
}

TEST(PacketReader, OriginLineAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {" * Origin: Home (2:5020/1042.7)", "2:5020/1042.7"},
      {" * Origin: Home (2:5020/1042.7)   ", "2:5020/1042.7"},
      {" * Origin: (a) Home (2:5020/1)", "2:5020/1"},
      {" * Origin: Home (2:5020/1@fidonet)", "2:5020/1"},
      {" * Origin: Home 2:5020/1", ""},
      {" * Origin: Home (text)", ""},
      {")", ""},
  };
  for (const auto& [line, address] : cases) EXPECT_EQ(OriginLineAddress(line), address) << line;
}

}  // namespace
}  // namespace velmaris
