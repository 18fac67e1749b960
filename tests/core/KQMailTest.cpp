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

constexpr uint32_t kSerial = 0x0badcafe;
const std::string kMsgId = "\x01MSGID: 2:5020/1.7 0badcafe\r";
const std::string kChrs =
    "\x01"
    "CHRS: IBMPC 2\r";
const std::string kPid = "\x01PID: KQ/95 Rel 1.78E (215.0)\r";
// "Привет" in CP1251 and in CP866.
const std::string kAnsi = "\xcf\xf0\xe8\xe2\xe5\xf2";
const std::string kOem = "\x8f\xe0\xa8\xa2\xa5\xe2";

class KQMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetOemCodePage(platform::CodePage::CP866);
    platform::SetAnsiCodePage(platform::CodePage::CP1251);
    MsgIdSerial().Reset(kSerial);
  }
  // A mail with a fixed clock, addresses and names, in a new area of the type
  // (none for -1).
  TKQMail& Mail(int areaType, const std::string& orig = "2:5020/1.7",
                const std::string& dest = "2:5030/2", const std::string& areaName = "RU.TEST") {
    MsgIdSerial().Reset(kSerial);
    if (areaType >= 0)
      areas_.push_back(std::make_unique<TArea>(dir_.Path(), areaName, areaName, areaType));
    mails_.push_back(std::make_unique<TKQMail>());
    TKQMail& mail = *mails_.back();
    mail.Area = areaType >= 0 ? areas_.back().get() : nullptr;
    mail.OrigAddr.SetText(orig);
    mail.DestAddr.SetText(dest);
    mail.FromName = "Ivan Petrov";
    mail.ToName = "All";
    mail.Subject = "Test";
    mail.Origin = "Home";
    mail.Clock = [] { return EncodeDateTime(1998, 1, 5, 12, 34, 56); };
    return mail;
  }
  static std::string TextOf(const std::unique_ptr<TMail>& mail) {
    return std::string(mail->BodyText());
  }

  TempDir dir_;
  std::vector<std::unique_ptr<TArea>> areas_;
  std::vector<std::unique_ptr<TKQMail>> mails_;
};

TEST_F(KQMailTest, KludgeBlockPerAreaTypeAndSwitch) {
  const struct {
    const char* name;
    int areaType;
    const char* orig;
    const char* dest;
    bool usePid;
    std::string expected;
  } cases[] = {
      {"netmail from a point", AreaTypeCode::Netmail, "2:5020/1.7", "2:5030/2", false,
       "\x01INTL 2:5030/2 2:5020/1\r\x01"
       "FMPT 7\r" +
           kMsgId + kChrs},
      {"netmail to a point", AreaTypeCode::Netmail, "2:5020/1", "2:5030/2.4", false,
       "\x01INTL 2:5030/2 2:5020/1\r\x01TOPT 4\r\x01MSGID: 2:5020/1 0badcafe\r" + kChrs},
      {"netmail point to point, PID", AreaTypeCode::Netmail, "2:5020/1.7", "1:1/2.3", true,
       "\x01INTL 1:1/2 2:5020/1\r\x01"
       "FMPT 7\r\x01TOPT 3\r" +
           kMsgId + kChrs + kPid},
      {"echomail", AreaTypeCode::Echomail, "2:5020/1.7", "2:5030/2", false,
       "AREA:RU.TEST\r" + kMsgId + kChrs},
      {"e-mail area", AreaTypeCode::EMail, "2:5020/1.7", "0:0/0", false,
       "AREA:RU.TEST\r" + kMsgId + kChrs},
      {"no area", -1, "2:5020/1.7", "2:5030/2", false, kMsgId},
      {"no area, PID", -1, "2:5020/1.7", "2:5030/2", true, kMsgId + kPid},
  };
  for (const auto& c : cases) {
    TKQMail& mail = Mail(c.areaType, c.orig, c.dest);
    mail.UsePid = c.usePid;
    EXPECT_EQ(mail.WriteKludges(), c.expected) << c.name;
    EXPECT_EQ(mail.Serial, kSerial) << c.name;
  }
}

TEST_F(KQMailTest, TextLayoutForEverySwitchCombination) {
  const std::string head = "AREA:RU.TEST\r" + kMsgId + kChrs + "One\rTwo\r\r";
  for (int bits = 0; bits < 8; ++bits) {
    const bool tear = bits & 1, origin = bits & 2, seenBy = bits & 4;
    TKQMail& mail = Mail(AreaTypeCode::Echomail);
    mail.Text = {"One", "Two"};
    mail.UseTearLine = tear;
    mail.UseOrigin = origin;
    mail.UseSeenBy = seenBy;
    const std::string expected = head + (tear ? "--- KQ/95 Rel 1.78E (215.0)\r" : "") +
                                 (origin ? " * Origin: Home (2:5020/1.7)\r" : "") +
                                 (seenBy ? "SEEN-BY: 5020/1\r" : "");
    const auto built = mail.BuildMail();
    EXPECT_EQ(TextOf(built), expected) << bits;
    EXPECT_EQ(built->Body, built->Body.substr(0, built->Header.TextOffset) + expected + '\0');
  }
}

TEST_F(KQMailTest, StoredMessageHeadAndHeader) {
  TKQMail& mail = Mail(AreaTypeCode::Netmail, "2:5020/1.7", "1:5030/2.4");
  mail.Flags = 0x0840;
  mail.FromName = std::string(40, 'F');
  mail.ToName = std::string(40, 'T');
  mail.Subject = std::string(80, 'S');
  const auto built = mail.BuildMail();
  const std::string head = std::string("\x02\0\x01\0\x02\0\x9c\x13\xa6\x13\0\0\0\0", 14) +
                           std::string("05 Jan 98  12:34:56\0", 20) + std::string(35, 'T') + '\0' +
                           std::string(35, 'F') + '\0' + std::string(71, 'S') + '\0';
  EXPECT_EQ(built->Body.substr(0, head.size()), head);
  const TMsgHeader& h = built->Header;
  EXPECT_EQ(h.TextOffset, head.size());
  EXPECT_EQ(h.BodyLength, built->Body.size());
  EXPECT_EQ(h.OrigAddr, (TFidoAddr{2, 5020, 1, 7}));
  EXPECT_EQ(h.DestAddr, (TFidoAddr{1, 5030, 2, 4}));
  EXPECT_EQ(h.MsgIdCrc, Crc32OfString("2:5020/1.7"));
  EXPECT_EQ(h.MsgIdNumber, kSerial);
  EXPECT_EQ(h.ReplyCrc + h.ReplyNumber, 0u);
  EXPECT_EQ(h.FromName.Str() + h.ToName.Str(), std::string(35, 'F') + std::string(35, 'T'));
  EXPECT_EQ(h.Subject.Str(), std::string(71, 'S'));
  EXPECT_EQ(h.AreaName.Str(), "RU.TEST");
  EXPECT_EQ(h.Flags, 0x0840);
  EXPECT_EQ(mail.ToName.size(), 40u);  // the field keeps its length
  // Every build takes the next serial.
  EXPECT_EQ(mail.BuildMail()->Header.MsgIdNumber, kSerial + 1);
}

TEST_F(KQMailTest, OriginLineNeverExceeds79Characters) {
  const std::string longest = "65535:65535/65535.65535";
  const struct {
    std::string origin, address, expected;
  } cases[] = {
      {"Home", "2:5020/1.7", " * Origin: Home (2:5020/1.7)"},
      {std::string(55, 'o'), "2:5020/1.7", " * Origin: " + std::string(55, 'o') + " (2:5020/1.7)"},
      {std::string(56, 'o'), "2:5020/1.7", " * Origin: " + std::string(55, 'o') + " (2:5020/1.7)"},
      {std::string(80, 'o'), "2:5020/1", " * Origin: " + std::string(57, 'o') + " (2:5020/1)"},
      {std::string(80, 'o'), longest, " * Origin: " + std::string(42, 'o') + " (" + longest + ")"},
  };
  for (const auto& c : cases) {
    TKQMail& mail = Mail(-1, c.address);
    mail.Origin = c.origin;
    EXPECT_EQ(mail.GetOriginLine(), c.expected) << c.origin.size() << " " << c.address;
    EXPECT_LE(mail.Origin.size(), kMaxOriginText);
    mail.UseSeenBy = false;
    EXPECT_NE(TextOf(mail.BuildMail()).find("\r" + c.expected + "\r"), std::string::npos);
  }
}

class KQMailGatewayTest : public KQMailTest {
 protected:
  void SetUp() override {
    KQMailTest::SetUp();
    for (const char* own : {"2:5020/1.7", "2:5030/5.1", "2:5030/2.3", "1:100/1.1"}) {
      auto link = std::make_unique<TNetLink>();
      link->SysopAddress.SetText(own);
      links_.Add(own, std::move(link));
    }
  }
  std::shared_ptr<SettingsValues> Gateway(const std::string& address, bool on = true) {
    auto values = std::make_shared<SettingsValues>(dir_.Path());
    values->SetChecked(SettingId::CbUseGateWay, on);
    values->SetText(SettingId::EdUUCPAddr, address);
    values->SetText(SettingId::EdUUCPName, "UUCP");
    values->SetChecked(SettingId::CbUseUUCPName, true);
    return values;
  }
  TLinkList links_;
};

TEST_F(KQMailGatewayTest, OwnAddressIsTheBestMatchOfTheGateway) {
  const struct {
    const char *name, *gateway, *expectOrig;
  } cases[] = {
      {"zone, net and node", "2:5030/2", "2:5030/2.3"},
      {"zone and net: the first of two", "2:5030/9", "2:5030/5.1"},
      {"zone only: the first of the zone", "2:6000/1", "2:5020/1.7"},
      {"other zone", "1:200/3", "1:100/1.1"},
      {"no uplink in the zone: kept", "3:1/1", "2:9999/9.9"},
  };
  for (const auto& c : cases) {
    TKQMail& mail = Mail(AreaTypeCode::Netmail, "2:9999/9.9", "0:0/0", "NETMAIL");
    mail.Config = Gateway(c.gateway);
    mail.Uplinks = &links_;
    mail.ToName = "John Doe <john@example.org>";
    int changes = 0;
    mail.DestAddr.OnChange = mail.OrigAddr.OnChange = [&](TFidonetAddress&) { ++changes; };
    const auto built = mail.BuildMail();
    EXPECT_EQ(changes, 0) << c.name;
    EXPECT_EQ(FidoAddressToStr(built->Header.OrigAddr), c.expectOrig) << c.name;
    EXPECT_EQ(FidoAddressToStr(built->Header.DestAddr), c.gateway) << c.name;
    EXPECT_EQ(built->Header.ToName.Str(), "UUCP") << c.name;
    // The gateway changes only the built message.
    EXPECT_EQ(mail.ToName + mail.OrigAddr.Text4D() + mail.DestAddr.Text4D(),
              "John Doe <john@example.org>2:9999/9.90:0/0");
  }
}

TEST_F(KQMailGatewayTest, AddressLinesAndNames) {
  const struct {
    const char* name;
    uint8_t areaType;
    bool gatewayOn;
    const char *toName, *expectTo, *expectLines, *expectDest;
  } cases[] = {
      {"netmail, name and address", AreaTypeCode::Netmail, true, "John Doe <john@example.org>",
       "UUCP", "to: john@example.org (John Doe)\r\r", "2:5030/2"},
      {"netmail, address only", AreaTypeCode::Netmail, true, "john@example.org", "UUCP",
       "to: john@example.org\r\r", "2:5030/2"},
      {"netmail, gateway off", AreaTypeCode::Netmail, false, "John Doe <john@example.org>",
       "John Doe", "", "1:1/1"},
      {"e-mail area", AreaTypeCode::EMail, false, "john@example.org (John Doe)", "John Doe",
       "to: john@example.org (John Doe)\r\r", "1:1/1"},
      {"echomail", AreaTypeCode::Echomail, true, "John <john@example.org>", "John", "", "1:1/1"},
      {"no e-mail address", AreaTypeCode::Netmail, true, "John Doe", "John Doe", "", "1:1/1"},
  };
  for (const auto& c : cases) {
    TKQMail& mail = Mail(c.areaType, "2:5020/1.7", "1:1/1");
    mail.Config = Gateway("2:5030/2", c.gatewayOn);
    mail.ToName = c.toName;
    mail.Text = {"Body"};
    mail.UseSeenBy = mail.UseOrigin = mail.UseTearLine = false;
    const auto built = mail.BuildMail();
    EXPECT_EQ(built->Header.ToName.Str(), c.expectTo) << c.name;
    EXPECT_EQ(FidoAddressToStr(built->Header.DestAddr), c.expectDest) << c.name;
    const std::string text = TextOf(built);
    EXPECT_EQ(text.substr(text.find(kChrs) + kChrs.size()), c.expectLines + std::string("Body\r\r"))
        << c.name;
    // A second build gives the same text: nothing was added to the fields.
    MsgIdSerial().Reset(kSerial);
    EXPECT_EQ(TextOf(mail.BuildMail()), text) << c.name;
  }
}

TEST_F(KQMailTest, BodyIsConvertedFromAnsiToOemHeaderIsNot) {
  TKQMail& mail = Mail(AreaTypeCode::Echomail, "2:5020/1.7", "0:0/0", "RU.\xd2\xc5\xd1\xd2");
  mail.FromName = kAnsi;
  mail.ToName = kAnsi + " 2";
  mail.Subject = kAnsi + " 3";
  mail.Origin = kAnsi;
  mail.Text = {kAnsi + ", \xe2\xf1\xe5\xec!"};  // "Привет, всем!"
  const auto built = mail.BuildMail();
  EXPECT_EQ(built->Body.substr(34, built->Header.TextOffset - 34),
            kOem + " 2" + '\0' + kOem + '\0' + kOem + " 3" + '\0');
  EXPECT_EQ(TextOf(built), "AREA:RU.\x92\x85\x91\x92\r" + kMsgId + kChrs + kOem +
                               ", \xa2\xe1\xa5\xac!\r\r--- KQ/95 Rel 1.78E (215.0)\r * Origin: " +
                               kOem + " (2:5020/1.7)\rSEEN-BY: 5020/1\r");
  EXPECT_EQ(built->Header.FromName.Str() + built->Header.Subject.Str(), kAnsi + kAnsi + " 3");
  EXPECT_EQ(built->Header.AreaName.Str(), "RU.\xd2\xc5\xd1\xd2");
}

TEST_F(KQMailTest, NewMessageMacrosExpandOnceAndTextStaysUnexpanded) {
  TKQMail& mail = Mail(AreaTypeCode::Echomail);
  mail.ToName = "\"Max Mustermann\" Jr";
  mail.Subject = "about %newsubject";
  const struct {
    const char *line, *expected;
  } cases[] = {
      {"Hi %newdestfirst, from %neworigfirst", "Hi Max Mustermann, from Ivan"},
      {"%neworigaddr -> %newdestaddr in %newarea%newarea",
       "2:5020/1.7 -> 2:5030/2 in RU.TESTRU.TEST"},
      {"%newsubject", "about %newsubject"},
      {"%newdestname/%neworigname", "\"Max Mustermann\" Jr/Ivan Petrov"},
      {"%storedate %storetime %storeday", "05.01.98 12:34:56 Monday"},
  };
  for (const auto& c : cases) EXPECT_EQ(mail.ExpandMacros(c.line), c.expected) << c.line;
  mail.Text = {"Hi %newdestfirst,"};
  EXPECT_NE(TextOf(mail.BuildExpandedMail()).find("\rHi Max Mustermann,\r"), std::string::npos);
  EXPECT_EQ(mail.Text, std::vector<std::string>{"Hi %newdestfirst,"});
}

TEST(KQMailReplyKey, FirstWellFormedReplyLineGivesNumberAndCrc) {
  EXPECT_EQ(ReplyKludge("2:5020/1.7", 0xabc), "\x01REPLY: 2:5020/1.7 00000abc");
  const struct {
    std::vector<std::string> lines;
    uint32_t number;
    const char* address;  // nullptr: no key
  } cases[] = {
      {{"\x01REPLY: 2:5020/1.7 00000abc", "text"}, 0xabc, "2:5020/1.7"},
      {{"\x01REPLY: 2:5020/1 zzzzzzzz", "\x01REPLY: 2:5030/2 1234ABCD"}, 0x1234abcd, "2:5030/2"},
      {{"REPLY: 2:5020/1 00000001", "\x01REPLY: 1234"}, 0, nullptr},
  };
  for (const auto& c : cases) {
    TMsgHeader h;
    EXPECT_EQ(ApplyReplyKey(c.lines, h), c.address != nullptr);
    EXPECT_EQ(h.ReplyNumber, c.number);
    EXPECT_EQ(h.ReplyCrc, c.address ? Crc32OfString(c.address) : 0u);
  }
}

TEST_F(KQMailTest, LoadFromMailGivesBackTheComposedFields) {
  TKQMail& netmailMail = Mail(AreaTypeCode::Netmail, "2:5020/1.7", "2:5030/2", "NETMAIL");
  TKQMail& echoMail = Mail(AreaTypeCode::Echomail);
  TPubLst areas;
  for (auto& area : areas_) areas.AddObject(area->Name, area.get());
  for (TKQMail* mail : {&netmailMail, &echoMail}) {
    mail->Origin = "Home (at night)";
    mail->Text = {kAnsi, "Two"};
    mail->Flags = 0x0840;
    TKQMail back;
    back.LoadFromMail(*mail->BuildMail(), &areas);
    EXPECT_EQ(back.Area, mail->Area);
    EXPECT_EQ(back.FromName + "|" + back.ToName + "|" + back.Subject, "Ivan Petrov|All|Test");
    EXPECT_EQ(back.OrigAddr.Text4D() + " " + back.DestAddr.Text4D(), "2:5020/1.7 2:5030/2");
    EXPECT_EQ(back.Flags, 0x0840);
    EXPECT_EQ(back.Origin, "Home (at night)");
    EXPECT_EQ(back.Text, (std::vector<std::string>{kAnsi, "Two", "", "SEEN-BY: 5020/1"}));
  }
}

}  // namespace
}  // namespace velmaris::test
