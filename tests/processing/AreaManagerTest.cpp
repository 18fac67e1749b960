// The area-list manager: robot requests as stored netmail bytes, area lists
// read from robot replies that the tosser hands over (also split over
// several messages and with garbage lines), the data files, and the moves
// that become requests.
#include <gtest/gtest.h>

#include "TosserFixtures.h"
#include "processing/AreaManager.h"
#include "tools/velmaris-batch/Batch.h"

namespace velmaris::test {
namespace {

using platform::MsgKind;

// Kludges of a request from the point 2:5020/1042.7 to its uplink 2:5030/1.
const std::string kKludges =
    "\x01INTL 2:5030/1 2:5020/1042\r\x01"
    "FMPT 7\r\x01MSGID: 2:5020/1042.7 00002000\r"
    "\x01"
    "CHRS: IBMPC 2\r\x01PID: KQ/95 Rel 1.78E (215.0)\r";

class AreaManagerTest : public TosserFixture {
 protected:
  void SetUp() override {
    TosserFixture::SetUp();
    TNetLink* link = Link();
    link->Sysop = "Point Seven";
    link->AreaFixPassword = "AFPW";
    link->FileScanPassword = "FSPW";
    link->AFReceiver = "Areafix";
    link->FSReceiver = "Filefix";
    link->AFNameO = 1;
    link->AFDescO = 14;
    link->AFDescL = 0;
    managers = std::make_unique<TAreaManagers>(*store);
    SetAreaListReceiver(managers.get());
  }
  void TearDown() override {
    SetAreaListReceiver(nullptr);
    managers.reset();
    TosserFixture::TearDown();
  }
  TNetLink* Link(int i = 0) { return store->Uplinks().GetItem(i); }
  TAreaManager& Echo() { return managers->Echo(); }
  std::vector<std::string> Tags(const std::vector<TAreaInfo*>& view) {
    std::vector<std::string> tags;
    for (const TAreaInfo* e : view) tags.push_back(e->Name);
    return tags;
  }
  std::string LastBox() {
    auto q = prompter.Questions();
    return q.empty() ? "" : q.back().text;
  }
  // A reply of the uplink's robot, from 2:5030/1 to the point, in a packet.
  void DropReply(const std::string& name, const std::string& from, const std::string& subject,
                 const std::string& text) {
    PackedFields s;
    s.origNet = 5030, s.origNode = 1, s.destNet = 5020, s.destNode = 1042;
    s.from = from, s.to = "Point Seven", s.subject = subject;
    s.text = "\x01INTL 2:5020/1042 2:5030/1\r\x01TOPT 7\r" + text;
    Drop(name, PacketFrom({PackedMessage(s)}));
  }
  std::unique_ptr<TAreaManagers> managers;
};

// --- Requests ------------------------------------------------------------------------

struct RequestCase {
  const char* name;
  std::function<bool(TAreaManagers&, TNetLink&)> command;
  const char* to;
  const char* subject;
  const char* text;
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class RobotRequests : public AreaManagerTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RobotRequests, AreStoredInNetmailByteForByte) {
  const RequestCase& c = GetParam();
  TNetLink& link = *Link();
  Echo().AddAreaList({"RU.OLD       Old", "RU.NEW       New"}, link, 1, 14, 0);
  Echo().Move(Echo().Ready()[1]);  // RU.OLD ordered earlier
  Echo().SendChanges();
  MsgIdSerial().Reset(0x2000);
  const size_t before = Mails("NETMAIL").size();
  ASSERT_TRUE(c.command(*managers, link));
  const auto mails = Mails("NETMAIL");
  ASSERT_EQ(mails.size(), before + 1);
  const StoredMail& m = mails.back();
  EXPECT_EQ(m.from, "Point Seven");
  EXPECT_EQ(m.to, c.to);
  EXPECT_EQ(m.subject, c.subject);
  EXPECT_EQ(m.flags & 0x0840, 0x0840);
  EXPECT_EQ(m.text, kKludges + c.text + "\r");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RobotRequests,
    ::testing::Values(
        RequestCase{"List", [](TAreaManagers& m, TNetLink&) { return m.Echo().RequestList(); },
                    "Areafix", "AFPW", "%LIST\r"},
        RequestCase{"Query", [](TAreaManagers& m, TNetLink& l) { return m.Echo().RequestQuery(l); },
                    "Areafix", "AFPW", "%QUERY\r"},
        RequestCase{"SubscribeAndUnsubscribe",
                    [](TAreaManagers& m, TNetLink&) {
                      TAreaManager& e = m.Echo();
                      e.Move(e.Ready()[0]);     // RU.NEW
                      e.Move(e.Selected()[1]);  // RU.OLD
                      return e.SendChanges();
                    },
                    "Areafix", "AFPW", "+RU.NEW\r-RU.OLD\r"},
        RequestCase{"OrderOne",
                    [](TAreaManagers& m, TNetLink& l) { return m.Echo().OrderArea("RU.X", l); },
                    "Areafix", "AFPW", "+RU.X\r"},
        RequestCase{"FileScanList",
                    [](TAreaManagers& m, TNetLink&) { return m.Files().RequestList(); }, "Filefix",
                    "FSPW", "%LIST\r"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AreaManagerTest, ListRequestGoesToEveryUplinksRobot) {
  auto second = std::make_unique<TNetLink>();
  second->UplinkAddress.SetText("1:2/3");
  second->AFReceiver = "Robot";
  store->Uplinks().Add(std::move(second));
  ASSERT_TRUE(Echo().RequestList());
  const auto mails = Mails("NETMAIL");
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].to, "Areafix");
  EXPECT_EQ(mails[1].to, "Robot");
  EXPECT_EQ(LastBox(), TAreaManager::kListRequested);
}

TEST_F(AreaManagerTest, ChangesStayPendingWhenNetmailIsBusy) {
  Echo().AddAreaList({"RU.NEW       New"}, *Link(), 1, 14, 0);
  Echo().Move(Echo().Ready()[0]);
  TArea* netmail = store->FindArea("NETMAIL");
  ASSERT_TRUE(netmail->Lock(true));
  EXPECT_FALSE(Echo().SendChanges());
  netmail->Unlock();
  EXPECT_EQ(LastBox(), "The area NETMAIL is in use!");
  // A list arriving meanwhile keeps the move.
  Echo().AddAreaList({"RU.ANOTHER   More"}, *Link(), 1, 14, 0);
  EXPECT_EQ(Tags(Echo().Selected()), (std::vector<std::string>{"RU.NEW"}));
  EXPECT_TRUE(Echo().ChangesPending());
  EXPECT_FALSE(Echo().All().Get(0)->Subscribed);
  EXPECT_EQ(store->FindArea("RU.NEW"), nullptr);
  // Sent later, the order also makes the local echo area for the uplink.
  ASSERT_TRUE(Echo().SendChanges());
  ASSERT_NE(store->FindArea("RU.NEW"), nullptr);
  EXPECT_EQ(store->FindArea("RU.NEW")->Uplink, Link());
  EXPECT_EQ(Echo().StatusText(), "2 areas available; 1 signed");
}

TEST_F(AreaManagerTest, MovedThereAndBackIsNoChange) {
  Echo().AddAreaList({"RU.NEW       New"}, *Link(), 1, 14, 0);
  Echo().Move(Echo().Ready()[0]);
  EXPECT_EQ(Echo().StatusText(), "1 areas available; 1 signed (Changes unsaved)");
  Echo().Move(Echo().Selected()[0]);
  EXPECT_FALSE(Echo().SendChanges());
  EXPECT_EQ(LastBox(), TAreaManager::kNoChanges);
  EXPECT_TRUE(Mails("NETMAIL").empty());
}

// --- Area lists -------------------------------------------------------------------------

struct LineCase {
  std::vector<std::string> lines;
  int nameO, descO, descL;
  bool ok;
  const char* tag;
  const char* description;
};

TEST(AreaLineParsing, CutsTagAndDescriptionAtTheColumns) {
  const LineCase cases[] = {
      {{"RU.TEST Some text"}, 1, 9, 0, true, "RU.TEST", "Some text"},
      {{"  FIDO_1%&-/\\\xa7"}, 3, 0, 0, true, "FIDO_1%&-/\\\xa7", ""},
      {{"ru.test text"}, 1, 9, 0, false, "", ""},
      {{"RU.TEST: text"}, 1, 9, 0, false, "", ""},
      {{"RU.TEST, text"}, 1, 9, 0, false, "", ""},
      {{"RU.TEST", ""}, 1, 1, 1, false, "", ""},
      {{"RU.TEST"}, 1, 1, 1, false, "", ""},
      {{"Desc above", "RU.TEST"}, 1, 6, -1, true, "RU.TEST", "above"},
      {{"RU.TEST", "AREA:RU.TEST"}, 1, 1, 1, false, "", ""},
      {{"RU.TEST", "\x01MSGID: 1"}, 1, 1, 1, false, "", ""},
      {{"RU"}, 5, 0, 0, false, "", ""},
      {{"RU.TEST x"}, 1, 99, 0, true, "RU.TEST", ""},
  };
  for (const LineCase& c : cases) {
    std::string tag, desc;
    const int index = c.descL < 0 ? 1 : 0;
    EXPECT_EQ(ParseAreaLine(c.lines, index, c.nameO, c.descO, c.descL, desc, tag), c.ok)
        << c.lines[0];
    if (!c.ok) continue;
    EXPECT_EQ(tag, c.tag);
    EXPECT_EQ(desc, c.description);
  }
}

TEST_F(AreaManagerTest, SplitListRepliesAreRegisteredThroughTheTosser) {
  Link()->AreaFixTitles = {"Areas 1/2", "Areas 2/2"};
  DropReply("a.pkt", "AreaFix", "Areas 1/2",
            "Hello, here are the areas:\r\r"
            "RU.ALPHA     First area\r"
            "garbage: not an area\r"
            "lower.case   no\r"
            "--- robot 1.0\r");
  DropReply("b.pkt", "AreaFix", "Areas 2/2",
            "RU.BETA      Second\r\n"
            "RU.ALPHA     Again, known\r"
            "\x01"
            "VIA 2:5030/1\r");
  DropReply("c.pkt", "Joe", "Areas 1/2", "RU.GAMMA     From no robot\r");
  Toss();
  EXPECT_EQ(Tags(Echo().Ready()), (std::vector<std::string>{"RU.ALPHA", "RU.BETA"}));
  EXPECT_EQ(Echo().All().Get(0)->Description, "First area");
  EXPECT_EQ(Echo().All().Count(), 2);
  EXPECT_EQ(Mails("NETMAIL").size(), 3u);  // still placed
  const std::string data = platform::ReadFile(Echo().DataFilePath(*Link()));
  EXPECT_EQ(data, ". RU.ALPHA First area\n. RU.BETA Second\n");
  std::vector<std::string> boxes;
  for (const auto& q : prompter.Questions()) boxes.push_back(q.text);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes.at(0).find("1 new areas have been  registered."), std::string::npos);
}

TEST_F(AreaManagerTest, TheBatchImportRegistersListRepliesAsTheProgramDoes) {
  Link()->AreaFixTitles = {"Areas"};
  store->SaveToRegistry();
  DropReply("a.pkt", "AreaFix", "Areas", "RU.ALPHA     First area\rRU.BETA      Second\r");
  std::string out;
  ASSERT_EQ(RunBatch(Start(), dir / "Velmaris.reg", {"import"}, &out), 0) << out;
  EXPECT_EQ(platform::ReadFile(Echo().DataFilePath(*Link())),
            ". RU.ALPHA First area\n. RU.BETA Second\n");
  // The box the window shows is in the import log.
  const std::string said =
      "A message from \"AreaFix\" to \"Point Seven\" with subject "
      "\"Areas\" has been used as   area list for uplink \"" +
      Link()->Name + "\".  2 new areas have been  registered.";
  EXPECT_NE(out.find("\"text\":" + batch::JsonLine::Quote(said) + "}"), std::string::npos) << out;
}

TEST_F(AreaManagerTest, RegistrationPicksManagerBySenderAndKeepsTheSubject) {
  Link()->FSDescO = 1;  // names on one row, descriptions on the next
  PackedFields s;
  s.from = "FileScan";
  s.subject = "File areas";
  s.text = "FILES.A\rAll the files\r";
  TMsgHeader header;
  header.FromName = s.from;
  header.Subject = s.subject;
  header.OrigAddr = {2, 5030, 1, 0};
  const std::string body = PackedMessage(s);
  TMail mail(body, header);
  mail.Header.TextOffset = static_cast<uint16_t>(body.find("FILES.A"));
  EXPECT_EQ(managers->RegisterAreaListMail(mail), 1);
  EXPECT_EQ(managers->Files().All().Get(0)->Description, "All the files");
  EXPECT_EQ(Link()->FileScanTitles, (std::vector<std::string>{"File areas"}));
  EXPECT_EQ(managers->RegisterAreaListMail(mail), 0);  // the same list again adds nothing
  EXPECT_EQ(Link()->FileScanTitles.size(), 1u);
  mail.Header.OrigAddr = {2, 5030, 2, 0};
  EXPECT_EQ(managers->RegisterAreaListMail(mail), 0);
}

// --- Data files ----------------------------------------------------------------------------

TEST_F(AreaManagerTest, DataFileWithABadLineKeepsWhatCameBefore) {
  const std::string path = Echo().DataFilePath(*Link());
  EXPECT_EQ(platform::NameOf(path), "2.5030.1.0.EchoAreas");
  platform::WriteFileAtomic(path, "* RU.A  two   words \n. RU.B\n\n* RU.C after\n");
  Echo().LoadData();
  EXPECT_EQ(Tags(Echo().Selected()), (std::vector<std::string>{"RU.A"}));
  EXPECT_EQ(Tags(Echo().Ready()), (std::vector<std::string>{"RU.B"}));
  EXPECT_EQ(Echo().All().Get(0)->Description, "two words");
  EXPECT_EQ(LastBox(), "The list " + path + " does not have the right format !");
}

TEST_F(AreaManagerTest, PresentEchoAreasAreMarkedWithoutRegardToCase) {
  Echo().AddAreaList({"RU.TEST      Test"}, *Link(), 1, 14, 0);
  AddEcho("ru.test");
  AddEcho("RU.LOCAL");
  Echo().MarkPresentAreas();
  EXPECT_EQ(Tags(Echo().Selected()), (std::vector<std::string>{"RU.LOCAL", "RU.TEST"}));
  EXPECT_EQ(Echo().Selected()[0]->Description, TAreaManager::kWasAlreadySigned);
  TAreaManager reloaded(*store);
  reloaded.SetListName(TAreaManager::kEchoAreas);
  EXPECT_EQ(Tags(reloaded.Selected()), Tags(Echo().Selected()));
}

TEST_F(AreaManagerTest, EmptySearchAsksOnceAtTheEnd) {
  Echo().AddAreaList({"RU.ONE       x", "RU.TWO       y"}, *Link(), 1, 14, 0);
  prompter.Script({platform::mbNo});
  EXPECT_EQ(Echo().Search("", nullptr), nullptr);
  EXPECT_EQ(prompter.Questions().size(), 1u);
  prompter.Script({platform::mbYes});
  EXPECT_EQ(Echo().Search("one", Echo().All().Get(0)), Echo().All().Get(0));
}

}  // namespace
}  // namespace velmaris::test
