// Message composition: kludge block, text layout, origin line, gateway,
// code page conversion and the stored message it builds.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/Crc.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "core/SerialCounter.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using platform::CodePage;

constexpr uint32_t kSerial = 0x0badcafe;

class KQMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetOemCodePage(CodePage::CP866);
    platform::SetAnsiCodePage(CodePage::CP1251);
    MsgIdSerial().Reset(kSerial);
  }

  TArea& MakeArea(const std::string& name, uint8_t type) {
    areas_.push_back(std::make_unique<TArea>(dir_.Path(), name, name, type));
    return *areas_.back();
  }

  // A mail with fixed clock, addresses and names.
  void Prepare(TKQMail& mail, TArea* area, const std::string& orig = "2:5020/1.7",
               const std::string& dest = "2:5030/2") {
    mail.Area = area;
    mail.OrigAddr.SetText(orig);
    mail.DestAddr.SetText(dest);
    mail.FromName = "Ivan Petrov";
    mail.ToName = "All";
    mail.Subject = "Test";
    mail.Origin = "Home";
    mail.Clock = [] { return EncodeDateTime(1998, 1, 5, 12, 34, 56, 0); };
  }

  static std::string TextOf(const TMail& mail) { return std::string(mail.BodyText()); }

  TempDir dir_;
  std::vector<std::unique_ptr<TArea>> areas_;
};

// --- Kludge block --------------------------------------------------------------

struct KludgeCase {
  const char* name;
  int areaType;  // -1: no area
  const char* orig;
  const char* dest;
  bool usePid;
  const char* expected;
};

TEST_F(KQMailTest, KludgeBlockPerAreaTypeAndSwitch) {
  const KludgeCase cases[] = {
      {"netmail from a point", AreaTypeCode::Netmail, "2:5020/1.7", "2:5030/2", false,
       "\x01INTL 2:5030/2 2:5020/1\r\x01" "FMPT 7\r\x01MSGID: 2:5020/1.7 0badcafe\r"
       "\x01" "CHRS: IBMPC 2\r"},
      {"netmail to a point", AreaTypeCode::Netmail, "2:5020/1", "2:5030/2.4", false,
       "\x01INTL 2:5030/2 2:5020/1\r\x01TOPT 4\r\x01MSGID: 2:5020/1 0badcafe\r"
       "\x01" "CHRS: IBMPC 2\r"},
      {"netmail point to point with PID", AreaTypeCode::Netmail, "2:5020/1.7", "1:1/2.3", true,
       "\x01INTL 1:1/2 2:5020/1\r\x01" "FMPT 7\r\x01TOPT 3\r\x01MSGID: 2:5020/1.7 0badcafe\r"
       "\x01" "CHRS: IBMPC 2\r\x01PID: KQ/95 Rel 1.78E (215.0)\r"},
      {"echomail", AreaTypeCode::Echomail, "2:5020/1.7", "2:5030/2", false,
       "AREA:RU.TEST\r\x01MSGID: 2:5020/1.7 0badcafe\r\x01" "CHRS: IBMPC 2\r"},
      {"e-mail area gets an AREA line too", AreaTypeCode::EMail, "2:5020/1.7", "0:0/0", false,
       "AREA:RU.TEST\r\x01MSGID: 2:5020/1.7 0badcafe\r\x01" "CHRS: IBMPC 2\r"},
      {"no area", -1, "2:5020/1.7", "2:5030/2", false, "\x01MSGID: 2:5020/1.7 0badcafe\r"},
      {"no area with PID", -1, "2:5020/1.7", "2:5030/2", true,
       "\x01MSGID: 2:5020/1.7 0badcafe\r\x01PID: KQ/95 Rel 1.78E (215.0)\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MsgIdSerial().Reset(kSerial);
    TKQMail mail;
    TArea* area = c.areaType < 0 ? nullptr : &MakeArea("RU.TEST", static_cast<uint8_t>(c.areaType));
    Prepare(mail, area, c.orig, c.dest);
    mail.UsePid = c.usePid;
    EXPECT_EQ(mail.WriteKludges(), c.expected);
    EXPECT_EQ(mail.Serial, kSerial);
  }
}

TEST_F(KQMailTest, EverySerialIsNewAndIncreasing) {
  TKQMail mail;
  Prepare(mail, nullptr);
  auto first = mail.BuildMail();
  auto second = mail.BuildMail();
  EXPECT_EQ(first->Header.MsgIdNumber, kSerial);
  EXPECT_EQ(second->Header.MsgIdNumber, kSerial + 1);
  EXPECT_NE(TextOf(*second).find("0badcaff"), std::string::npos);
}

// --- Text layout ----------------------------------------------------------------

struct LayoutCase {
  bool tear, origin, seenBy;
};

TEST_F(KQMailTest, TextLayoutForEverySwitchCombination) {
  const std::string head = "AREA:RU.TEST\r\x01MSGID: 2:5020/1.7 0badcafe\r\x01" "CHRS: IBMPC 2\rOne\rTwo\r\r";
  const std::string tear = "--- KQ/95 Rel 1.78E (215.0)\r";
  const std::string origin = " * Origin: Home (2:5020/1.7)\r";
  const std::string seenBy = "SEEN-BY: 5020/1\r";
  const LayoutCase cases[] = {
      {true, true, true},   {true, true, false},   {true, false, true},  {false, true, true},
      {true, false, false}, {false, true, false},  {false, false, true}, {false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "tear " << c.tear << " origin " << c.origin << " seen-by "
                                    << c.seenBy);
    MsgIdSerial().Reset(kSerial);
    TKQMail mail;
    Prepare(mail, &MakeArea("RU.TEST", AreaTypeCode::Echomail));
    mail.Text = {"One", "Two"};
    mail.UseTearLine = c.tear;
    mail.UseOrigin = c.origin;
    mail.UseSeenBy = c.seenBy;
    const std::string expected =
        head + (c.tear ? tear : "") + (c.origin ? origin : "") + (c.seenBy ? seenBy : "");
    auto built = mail.BuildMail();
    EXPECT_EQ(TextOf(*built), expected);
    // The text ends with its NUL, which is the last byte of the body.
    EXPECT_EQ(built->Body.back(), '\0');
    EXPECT_EQ(built->Body.size(), built->Header.TextOffset + expected.size() + 1);
  }
}

TEST_F(KQMailTest, StoredMessageHeadAndHeaderFields) {
  TKQMail mail;
  TArea& area = MakeArea("RU.TEST", AreaTypeCode::Netmail);
  Prepare(mail, &area, "2:5020/1.7", "1:5030/2.4");
  mail.Flags = 0x0840;
  mail.FromName = std::string(40, 'F');
  mail.ToName = std::string(40, 'T');
  mail.Subject = std::string(80, 'S');
  auto built = mail.BuildMail();
  const std::string& b = built->Body;
  std::string head;
  head += std::string("\x02\x00\x01\x00\x02\x00\x9c\x13\xa6\x13\x00\x00\x00\x00", 14);
  head += std::string("05 Jan 98  12:34:56\0", 20);
  head += std::string(35, 'T') + '\0' + std::string(35, 'F') + '\0' + std::string(71, 'S') + '\0';
  ASSERT_GE(b.size(), head.size());
  EXPECT_EQ(b.substr(0, head.size()), head);

  const TMsgHeader& h = built->Header;
  EXPECT_EQ(h.TextOffset, head.size());
  EXPECT_EQ(h.BodyLength, b.size());
  EXPECT_EQ(h.OrigAddr, (TFidoAddr{2, 5020, 1, 7}));
  EXPECT_EQ(h.DestAddr, (TFidoAddr{1, 5030, 2, 4}));
  EXPECT_EQ(h.MsgIdCrc, Crc32OfString("2:5020/1.7"));
  EXPECT_EQ(h.MsgIdNumber, kSerial);
  EXPECT_EQ(h.ReplyCrc, 0u);
  EXPECT_EQ(h.ReplyNumber, 0u);
  EXPECT_EQ(h.FromName.Str(), std::string(35, 'F'));
  EXPECT_EQ(h.ToName.Str(), std::string(35, 'T'));
  EXPECT_EQ(h.Subject.Str(), std::string(71, 'S'));
  EXPECT_EQ(h.AreaName.Str(), "RU.TEST");
  EXPECT_EQ(h.Flags, 0x0840);
  EXPECT_EQ(built->GetAttribute(), 0);
  // The fields themselves keep their full length.
  EXPECT_EQ(mail.ToName.size(), 40u);
}

TEST_F(KQMailTest, TextSizeCountsKludgesLinesTearAndOrigin) {
  TKQMail mail;
  Prepare(mail, &MakeArea("RU.TEST", AreaTypeCode::Echomail));
  mail.Text = {"One", "Two"};
  mail.UseSeenBy = false;
  const int size = mail.GetTextSize();
  MsgIdSerial().Reset(kSerial);
  auto built = mail.BuildMail();
  // Everything from the text offset, NUL included.
  EXPECT_EQ(size, static_cast<int>(built->Body.size() - built->Header.TextOffset));
}

// --- Origin line ---------------------------------------------------------------

struct OriginCase {
  const char* name;
  std::string origin;
  const char* address;
  std::string expected;
};

TEST_F(KQMailTest, OriginLineNeverExceeds79Characters) {
  const std::string longAddr = "65535:65535/65535.65535";
  const OriginCase cases[] = {
      {"short origin stays", "Home", "2:5020/1.7", " * Origin: Home (2:5020/1.7)"},
      {"exactly at the limit", std::string(55, 'o'), "2:5020/1.7",
       " * Origin: " + std::string(55, 'o') + " (2:5020/1.7)"},
      {"one over the limit", std::string(56, 'o'), "2:5020/1.7",
       " * Origin: " + std::string(55, 'o') + " (2:5020/1.7)"},
      {"80 characters and a short address", std::string(80, 'o'), "2:5020/1",
       " * Origin: " + std::string(57, 'o') + " (2:5020/1)"},
      {"80 characters and the longest address", std::string(80, 'o'), longAddr.c_str(),
       " * Origin: " + std::string(42, 'o') + " (" + longAddr + ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TKQMail mail;
    mail.OrigAddr.SetText(c.address);
    mail.Origin = c.origin;
    const std::string line = mail.GetOriginLine();
    EXPECT_EQ(line, c.expected);
    EXPECT_LE(line.size(), kMaxOriginLine);
    EXPECT_LE(mail.Origin.size(), kMaxOriginText);
  }
}

TEST_F(KQMailTest, BuiltOriginLineUsesTheAddressOfTheBuild) {
  TKQMail mail;
  Prepare(mail, &MakeArea("RU.TEST", AreaTypeCode::Echomail), "65535:65535/65535.65535");
  mail.Origin = std::string(80, 'x');
  const std::string text = TextOf(*mail.BuildMail());
  const std::string line = " * Origin: " + std::string(42, 'x') + " (65535:65535/65535.65535)\r";
  EXPECT_NE(text.find(line), std::string::npos);
}

// --- Gateway ---------------------------------------------------------------------

struct GatewayCase {
  const char* name;
  const char* gateway;     // EdUUCPAddr
  const char* expectOrig;  // own address taken
};

class KQMailGatewayTest : public KQMailTest {
 protected:
  void SetUp() override {
    KQMailTest::SetUp();
    for (const char* own : {"2:5020/1.7", "2:5030/5.1", "2:5030/2.3", "1:100/1.1"}) {
      auto link = std::make_unique<TNetLink>();
      link->Name = own;
      link->SysopAddress.SetText(own);
      links_.Add(std::move(link));
    }
  }

  std::shared_ptr<SettingsValues> Gateway(const std::string& address, const std::string& name) {
    auto values = std::make_shared<SettingsValues>(dir_.Path());
    values->SetChecked(SettingId::CbUseGateWay, true);
    values->SetText(SettingId::EdUUCPAddr, address);
    values->SetText(SettingId::EdUUCPName, name);
    values->SetChecked(SettingId::CbUseUUCPName, !name.empty());
    return values;
  }

  TLinkList links_;
};

TEST_F(KQMailGatewayTest, OwnAddressIsTheBestMatchOfTheGateway) {
  const GatewayCase cases[] = {
      {"zone, net and node", "2:5030/2", "2:5030/2.3"},
      {"zone and net: the first of two", "2:5030/9", "2:5030/5.1"},
      {"zone only: the first uplink of the zone", "2:6000/1", "2:5020/1.7"},
      {"other zone", "1:200/3", "1:100/1.1"},
      {"no uplink in the zone keeps the address", "3:1/1", "2:9999/9.9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TKQMail mail;
    Prepare(mail, &MakeArea("NETMAIL", AreaTypeCode::Netmail), "2:9999/9.9", "0:0/0");
    mail.Config = Gateway(c.gateway, "UUCP");
    mail.Uplinks = &links_;
    mail.ToName = "John Doe <john@example.org>";
    auto built = mail.BuildMail();
    EXPECT_EQ(FidoAddressToStr(built->Header.OrigAddr), c.expectOrig);
    EXPECT_EQ(FidoAddressToStr(built->Header.DestAddr), c.gateway);
    EXPECT_EQ(built->Header.ToName.Str(), "UUCP");
    // The fields stay as they were.
    EXPECT_EQ(mail.ToName, "John Doe <john@example.org>");
    EXPECT_EQ(mail.OrigAddr.Text4D(), "2:9999/9.9");
    EXPECT_EQ(mail.DestAddr.Text4D(), "0:0/0");
  }
}

struct GatewayTextCase {
  const char* name;
  uint8_t areaType;
  bool gatewayOn;
  const char* toName;
  const char* expectTo;     // stored to-name
  const char* expectLines;  // what precedes the text line "Body"
  const char* expectDest;
};

TEST_F(KQMailGatewayTest, AddressLinesAndNames) {
  const GatewayTextCase cases[] = {
      {"netmail, name and address", AreaTypeCode::Netmail, true, "John Doe <john@example.org>",
       "UUCP", "to: john@example.org (John Doe)\r\r", "2:5030/2"},
      {"netmail, address only", AreaTypeCode::Netmail, true, "john@example.org", "UUCP",
       "to: john@example.org\r\r", "2:5030/2"},
      {"netmail, gateway off", AreaTypeCode::Netmail, false, "John Doe <john@example.org>",
       "John Doe", "", "1:1/1"},
      {"e-mail area", AreaTypeCode::EMail, false, "john@example.org (John Doe)", "John Doe",
       "to: john@example.org (John Doe)\r\r", "1:1/1"},
      {"echomail", AreaTypeCode::Echomail, true, "John Doe <john@example.org>", "John Doe", "",
       "1:1/1"},
      {"no e-mail address", AreaTypeCode::Netmail, true, "John Doe", "John Doe", "", "1:1/1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MsgIdSerial().Reset(kSerial);
    TKQMail mail;
    Prepare(mail, &MakeArea("AREA", c.areaType), "2:5020/1.7", "1:1/1");
    auto config = Gateway("2:5030/2", "UUCP");
    config->SetChecked(SettingId::CbUseGateWay, c.gatewayOn);
    mail.Config = config;
    mail.ToName = c.toName;
    mail.Text = {"Body"};
    mail.UseSeenBy = mail.UseOrigin = mail.UseTearLine = false;
    auto built = mail.BuildMail();
    EXPECT_EQ(built->Header.ToName.Str(), c.expectTo);
    EXPECT_EQ(FidoAddressToStr(built->Header.DestAddr), c.expectDest);
    const std::string text = TextOf(*built);
    const size_t chrs = text.find("CHRS: IBMPC 2\r");
    ASSERT_NE(chrs, std::string::npos);
    EXPECT_EQ(text.substr(chrs + 14), std::string(c.expectLines) + "Body\r\r");
    // A second build gives the same text: nothing was added to the fields.
    MsgIdSerial().Reset(kSerial);
    EXPECT_EQ(TextOf(*mail.BuildMail()), text);
  }
}

TEST_F(KQMailGatewayTest, GatewayNameOnlyWhenChosen) {
  TKQMail mail;
  Prepare(mail, &MakeArea("NETMAIL", AreaTypeCode::Netmail));
  mail.Config = Gateway("2:5030/2", "");
  mail.ToName = "John Doe <john@example.org>";
  EXPECT_EQ(mail.BuildMail()->Header.ToName.Str(), "John Doe");
}

// --- Code pages --------------------------------------------------------------------

TEST_F(KQMailTest, BodyIsConvertedFromAnsiToOemHeaderIsNot) {
  // "Привет" in CP1251 and in CP866.
  const std::string ansi = "\xcf\xf0\xe8\xe2\xe5\xf2";
  const std::string oem = "\x8f\xe0\xa8\xa2\xa5\xe2";
  TKQMail mail;
  Prepare(mail, &MakeArea("RU.\xd2\xc5\xd1\xd2", AreaTypeCode::Echomail));  // "RU.ТЕСТ"
  mail.FromName = ansi;
  mail.ToName = ansi + " 2";
  mail.Subject = ansi + " 3";
  mail.Origin = ansi;
  mail.Text = {ansi + ", \xe2\xf1\xe5\xec!"};  // "Привет, всем!"
  auto built = mail.BuildMail();
  const std::string& b = built->Body;
  EXPECT_EQ(b.substr(34, built->Header.TextOffset - 34),
            oem + " 2" + '\0' + oem + '\0' + oem + " 3" + '\0');
  const std::string text = TextOf(*built);
  EXPECT_EQ(text.rfind("AREA:RU.\x92\x85\x91\x92\r", 0), 0u);
  EXPECT_NE(text.find("\r" + oem + ", \xa2\xe1\xa5\xac!\r"), std::string::npos);
  EXPECT_NE(text.find(" * Origin: " + oem + " (2:5020/1.7)\r"), std::string::npos);
  EXPECT_EQ(text.find(ansi), std::string::npos);
  EXPECT_EQ(built->Header.FromName.Str(), ansi);
  EXPECT_EQ(built->Header.Subject.Str(), ansi + " 3");
  EXPECT_EQ(built->Header.AreaName.Str(), "RU.\xd2\xc5\xd1\xd2");
}

// --- Macros, reply key, filling back ----------------------------------------------

TEST_F(KQMailTest, NewMessageMacrosExpandOnceAndTextStaysUnexpanded) {
  TKQMail mail;
  Prepare(mail, &MakeArea("RU.TEST", AreaTypeCode::Echomail));
  mail.ToName = "\"Max Mustermann\" Jr";
  mail.Subject = "about %newsubject";
  const struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"Hi %newdestfirst, from %neworigfirst", "Hi Max Mustermann, from Ivan"},
      {"%neworigaddr -> %newdestaddr in %newarea", "2:5020/1.7 -> 2:5030/2 in RU.TEST"},
      {"%newsubject", "about %newsubject"},
      {"%newdestname/%neworigname", "\"Max Mustermann\" Jr/Ivan Petrov"},
      {"%storedate %storetime %storeday", "05.01.98 12:34:56 Monday"},
      {"%newarea%newarea", "RU.TESTRU.TEST"},
  };
  for (const auto& c : cases) EXPECT_EQ(mail.ExpandMacros(c.line), c.expected) << c.line;

  mail.Text = {"Hi %newdestfirst,"};
  mail.UseSeenBy = mail.UseOrigin = mail.UseTearLine = false;
  const std::string text = TextOf(*mail.BuildExpandedMail());
  EXPECT_NE(text.find("\rHi Max Mustermann,\r"), std::string::npos);
  EXPECT_EQ(mail.Text, std::vector<std::string>{"Hi %newdestfirst,"});
}

TEST(KQMailReplyKey, ReplyLineGivesNumberAndCrc) {
  EXPECT_EQ(ReplyKludge("2:5020/1.7", 0xabc), "\x01REPLY: 2:5020/1.7 00000abc");
  const struct {
    const char* name;
    std::vector<std::string> lines;
    bool found;
    uint32_t number;
    const char* address;
  } cases[] = {
      {"plain", {"\x01REPLY: 2:5020/1.7 00000abc", "text"}, true, 0xabc, "2:5020/1.7"},
      {"malformed first, good second",
       {"\x01REPLY: 2:5020/1 zzzzzzzz", "\x01REPLY: 2:5030/2 1234ABCD"}, true, 0x1234abcd,
       "2:5030/2"},
      {"none", {"REPLY: 2:5020/1 00000001", "text"}, false, 0, ""},
      {"too short", {"\x01REPLY: 1234"}, false, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMsgHeader h;
    EXPECT_EQ(ApplyReplyKey(c.lines, h), c.found);
    EXPECT_EQ(h.ReplyNumber, c.number);
    EXPECT_EQ(h.ReplyCrc, c.found ? Crc32OfString(c.address) : 0u);
  }
}

TEST_F(KQMailTest, LoadFromMailGivesBackTheComposedFields) {
  TArea& netmail = MakeArea("NETMAIL", AreaTypeCode::Netmail);
  TArea& echo = MakeArea("RU.TEST", AreaTypeCode::Echomail);
  TPubLst areas;
  areas.AddObject(netmail.Name, &netmail);
  areas.AddObject(echo.Name, &echo);

  const struct {
    const char* name;
    TArea* area;
    std::vector<std::string> expectText;
  } cases[] = {
      {"echomail", &echo, {"\xcf\xf0\xe8\xe2\xe5\xf2", "Two", "", "SEEN-BY: 5020/1"}},
      {"netmail", &netmail, {"\xcf\xf0\xe8\xe2\xe5\xf2", "Two", "", "SEEN-BY: 5020/1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TKQMail mail;
    Prepare(mail, c.area);
    mail.Origin = "Home (at night)";
    mail.Text = {"\xcf\xf0\xe8\xe2\xe5\xf2", "Two"};
    mail.Flags = 0x0840;
    auto built = mail.BuildMail();

    TKQMail back;
    back.LoadFromMail(*built, &areas);
    EXPECT_EQ(back.Area, c.area);
    EXPECT_EQ(back.FromName, "Ivan Petrov");
    EXPECT_EQ(back.ToName, "All");
    EXPECT_EQ(back.Subject, "Test");
    EXPECT_EQ(back.OrigAddr.Text4D(), "2:5020/1.7");
    EXPECT_EQ(back.DestAddr.Text4D(), "2:5030/2");
    EXPECT_EQ(back.Flags, 0x0840);
    EXPECT_EQ(back.Origin, "Home (at night)");
    EXPECT_EQ(back.Text, c.expectText);
  }
}

TEST_F(KQMailTest, LoadFromMailLineEndsAndUnknownArea) {
  TKQMail mail;
  Prepare(mail, nullptr);
  auto built = mail.BuildMail();
  // Replace the text by one with CR LF line ends, an unknown area and a last
  // line without CR.
  const std::string text = "AREA:NOWHERE\r\n\x01MSGID: x\r\nA\r\nB\r\n * Origin: Home (1:1/1)\r\nlast";
  built->Body.resize(built->Header.TextOffset);
  built->Body += text + '\0';
  TKQMail back;
  back.LoadFromMail(*built, nullptr);
  EXPECT_EQ(back.Area, nullptr);
  EXPECT_EQ(back.Origin, "Home");
  EXPECT_EQ(back.Text, (std::vector<std::string>{"A", "B", "last"}));
}

TEST_F(KQMailTest, StoreInAreaWritesTheMessage) {
  TArea& area = MakeArea("RU.TEST", AreaTypeCode::Echomail);
  TKQMail mail;
  Prepare(mail, &area);
  mail.Text = {"Hello %newdestname"};
  ASSERT_TRUE(mail.StoreInArea());
  ASSERT_TRUE(area.OpenIndex());
  ASSERT_EQ(area.Count, 1);
  auto stored = area.ReadMail(0);
  EXPECT_NE(TextOf(*stored).find("\rHello All\r"), std::string::npos);
  EXPECT_EQ(stored->Header.MsgIdNumber, kSerial);
  area.CloseIndex();

  TKQMail none;
  EXPECT_FALSE(none.StoreInArea());
}

}  // namespace
}  // namespace velmaris::test
