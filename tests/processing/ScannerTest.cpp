// The scanner: area export to uplinks and crash export, the run with its log,
// the outbound rescan and the pending call; the maintenance and optimisation
// runs with their start and exit choices and cancel requests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/AreaFixtures.h"
#include "core/MailBox.h"
#include "core/MessageBase.h"
#include "core/MsgBaseFixtures.h"
#include "core/NetLink.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/AreaExport.h"
#include "processing/Exporter.h"
#include "processing/MailPacket.h"
#include "processing/MaintenanceRuns.h"
#include "support/NameTable.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TDateTime Today() { return EncodeDateTime(2026, 12, 6, 20, 0, 0); }

struct Msg {
  TFidoAddr orig;
  TFidoAddr dest;
  uint16_t flags = MsgFlag::Send;
  std::string subject = "Hello";
  std::string to = "Boss";
};

std::unique_ptr<TMail> MakeMsg(const Msg& m, int n) {
  BodySpec b;
  b.origNode = m.orig.Node;
  b.origNet = m.orig.Net;
  b.destNode = m.dest.Node;
  b.destNet = m.dest.Net;
  b.attribute = 0;
  b.to = m.to;
  b.from = "Point User";
  b.subject = m.subject;
  b.text = "Message number " + std::to_string(n) + "\r";
  uint16_t textOffset = 0;
  std::string body = MakeBody(b, &textOffset);
  TMsgHeader h;
  h.OrigAddr = m.orig;
  h.DestAddr = m.dest;
  h.FromName = b.from;
  h.ToName = b.to;
  h.Subject = m.subject;
  h.TextOffset = textOffset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = m.flags;
  return mail;
}

constexpr TFidoAddr kOwnA{2, 5020, 1, 7};
constexpr TFidoAddr kBossA{2, 5020, 1, 0};
constexpr TFidoAddr kOwnB{2, 463, 10, 3};
constexpr TFidoAddr kBossB{2, 463, 10, 0};
constexpr TFidoAddr kFriend{2, 5030, 77, 0};

struct ReadMessage {
  std::string to, subject, text;
  uint16_t origNet, origNode, destNet, destNode;
};

std::vector<ReadMessage> ReadPacket(const std::string& path) {
  std::vector<ReadMessage> out;
  TMailPacket packet(path);
  packet.SetShowDamageBox(false);
  while (const std::string* mail = packet.NextMail()) {
    const TMsgHeader& h = packet.GetMailHeader();
    const auto u16 = [&](size_t at) {
      return static_cast<uint16_t>(static_cast<uint8_t>((*mail)[at]) |
                                   (static_cast<uint8_t>((*mail)[at + 1]) << 8));
    };
    const std::string text = mail->substr(h.TextOffset);
    out.push_back({h.ToName.Str(), h.Subject.Str(), text.substr(0, text.find('\0')),
                   u16(MailBodyOffset::OrigNet), u16(MailBodyOffset::OrigNode),
                   u16(MailBodyOffset::DestNet), u16(MailBodyOffset::DestNode)});
  }
  return out;
}

class RecordingRescan : public TOutboundRescan {
 public:
  void RescanOutbound() override { ++count; }
  int count = 0;
};

class ScannerTest : public ::testing::Test {
 protected:
  ScannerTest() {
    linkA = links.Add(std::make_unique<TNetLink>(outbound));
    linkA->Name = "Alpha";
    linkA->UplinkAddress.SetAddress(kBossA);
    linkA->SysopAddress.SetAddress(kOwnA);
    linkB = links.Add(std::make_unique<TNetLink>(outbound));
    linkB->Name = "Beta";
    linkB->UplinkAddress.SetAddress(kBossB);
    linkB->SysopAddress.SetAddress(kOwnB);
    options.OwnAddresses = {kOwnA, kOwnB};
    options.ZoneOutbound = [this](int32_t) { return outbound; };
    options.Clock = Today;
    options.PacketProcessorCommand = [] { return std::string(); };
    options.Problem = [this](TExportLine, const std::string& line) { problems.push_back(line); };
    SetOutboundRescan(&rescan);
  }
  ~ScannerTest() override {
    SetOutboundRescan(nullptr);
    areas.FreeAll();
  }

  TArea* AddArea(const std::string& name, uint8_t type, const std::vector<Msg>& msgs,
                 TNetLink* uplink = nullptr) {
    TArea* area = areas.Adopt(std::make_unique<TArea>(dir.Path() + "Msgbase/", name, name, type));
    platform::MakeDirs(dir.Path() + "Msgbase/");
    area->Uplink = uplink;
    for (size_t i = 0; i < msgs.size(); ++i) area->QueueMail(MakeMsg(msgs[i], static_cast<int>(i)));
    if (!msgs.empty()) {
      EXPECT_TRUE(area->WriteQueuedMail());
    }
    area->RecountFlags();
    return area;
  }
  std::vector<uint16_t> Flags(TArea& area) {
    std::vector<uint16_t> flags;
    EXPECT_TRUE(area.OpenIndex());
    for (int i = 0; i < area.Count; ++i) flags.push_back(area.GetHeader(i).Flags);
    area.ReleaseIndex();
    return flags;
  }
  std::vector<std::string> OutboundFiles(const std::string& pattern = "*") {
    std::vector<std::string> names;
    if (!platform::DirExists(outbound)) return names;
    for (const auto& e : platform::ScanDir(outbound, pattern)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Flow(const TFidoAddr& a) {
    const std::string path = outbound + FlowFileName(a);
    return platform::FileExists(path) ? platform::ReadFile(path) : "";
  }
  // The packets listed in a flow file, in order.
  std::vector<std::string> Listed(const TFidoAddr& a) {
    std::vector<std::string> out;
    const std::string flow = Flow(a);
    size_t start = 0;
    while (start < flow.size()) {
      size_t end = flow.find("\r\n", start);
      std::string line = flow.substr(start, end - start);
      if (!line.empty() && line[0] == '^') line.erase(0, 1);
      out.push_back(line);
      start = end + 2;
    }
    return out;
  }
  std::vector<std::string> LogTexts(const TExporter& e) {
    std::vector<std::string> out;
    for (const auto& line : e.Log()) out.push_back(line.substr(line.find("  ") + 2));
    return out;
  }
  void Configure(TExporter& e) {
    e.Areas = &areas;
    e.Uplinks = &links;
    e.PostReport = false;
    e.UpdateOutbounds = [] {};
    e.AreaOptions = options;
    e.AreaOptions.Problem = nullptr;
    e.Clock = Today;
  }

  TempDir dir;
  ShellScope shell;
  std::string outbound = dir.Path() + "Outbound/";
  TLinkList links;
  TNetLink* linkA;
  TNetLink* linkB;
  TAreaList areas;
  TAreaExportOptions options;
  std::vector<std::string> problems;
  RecordingRescan rescan;
};

TEST_F(ScannerTest, NothingWaitingWritesNothing) {
  TArea* empty = AddArea("EMPTY.ECHO", AreaTypeCode::Echomail, {}, linkA);
  TArea* read = AddArea("READ.ECHO", AreaTypeCode::Echomail,
                        {{kOwnA, kBossA, MsgFlag::Sent}, {kFriend, kOwnA, 0}}, linkA);
  const std::string index = platform::ReadFile(read->FilePath(kPackedIndexExt));
  EXPECT_EQ(ExportToUplink(*empty, options), 0);
  EXPECT_EQ(ExportToUplink(*read, options), 0);
  EXPECT_EQ(ExportDirect(*read, options), 0);
  EXPECT_FALSE(platform::FileExists(empty->FilePath(kPackedIndexExt)));
  EXPECT_EQ(platform::ReadFile(read->FilePath(kPackedIndexExt)), index);

  TMailBox box;
  std::vector<std::string> called;
  TExporter exporter;
  Configure(exporter);
  exporter.PendingCall = &box;
  exporter.Call = [&](const TMailBox& b) { called.push_back(b.Name); };
  exporter.Run();
  EXPECT_EQ(LogTexts(exporter),
            (std::vector<std::string>{"Starting export.", "No echomail to export",
                                      "No netmail to export.", "0 messages exported.",
                                      "Export finished."}));
  EXPECT_EQ(exporter.Log()[0].substr(0, 18), "06.12.26 20:00:00 ");
  EXPECT_TRUE(OutboundFiles().empty());
  EXPECT_EQ(rescan.count, 1);
  EXPECT_EQ(called, std::vector<std::string>{box.Name});
  EXPECT_EQ(exporter.PendingCall, nullptr);
}

TEST_F(ScannerTest, AnExportWithNothingToSendKeepsTheImportMarks) {
  TArea* echo = AddArea("NEW.ECHO", AreaTypeCode::Echomail,
                        {{kFriend, {}, 0}, {kFriend, {}, 0}, {kFriend, {}, 0}}, linkA);
  echo->LastImport = 1;
  EXPECT_EQ(ExportToUplink(*echo, options), 0);
  EXPECT_EQ(Flags(*echo), (std::vector<uint16_t>{0, MsgFlag::New, MsgFlag::New}));
}

TEST_F(ScannerTest, EchomailGoesToTheUplinkWithItsNetAndNode) {
  TArea* echo = AddArea("TEST.ECHO", AreaTypeCode::Echomail,
                        {{kOwnA, {}, MsgFlag::Send},
                         {kOwnA, {}, MsgFlag::Sent},
                         {kFriend, {}, MsgFlag::Send},  // not ours: stays
                         {kOwnA, {}, MsgFlag::Send | MsgFlag::Crash},
                         {kOwnA, {}, MsgFlag::Send}},
                        linkA);
  AddArea("BAD", AreaTypeCode::Badmail, {{kOwnA, {}, MsgFlag::Send}}, linkA);
  TExporter exporter;
  Configure(exporter);
  exporter.Run();
  EXPECT_EQ(exporter.EchoMails, 2);
  EXPECT_EQ(Flags(*echo), (std::vector<uint16_t>{MsgFlag::Sent, MsgFlag::Sent, MsgFlag::Send,
                                                 MsgFlag::Send | MsgFlag::Crash, MsgFlag::Sent}));
  const auto listed = Listed(kBossA);
  ASSERT_EQ(listed.size(), 1u);
  const auto msgs = ReadPacket(listed[0]);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].text, "Message number 0\r");
  EXPECT_EQ(msgs[1].text, "Message number 4\r");
  for (const auto& m : msgs) {
    EXPECT_EQ(m.origNet, 5020);
    EXPECT_EQ(m.origNode, 1);
    EXPECT_EQ(m.destNet, 5020);
    EXPECT_EQ(m.destNode, 1);
  }
  const auto log = LogTexts(exporter);
  EXPECT_NE(std::find(log.begin(), log.end(), "2 messages from area TEST.ECHO exported."),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "2 echomails exported."), log.end());
}

TEST_F(ScannerTest, NetmailToTwoUplinksAndCrashmail) {
  TArea* net = AddArea("NETMAIL", AreaTypeCode::Netmail,
                       {{kOwnA, {2, 5020, 99, 0}},
                        {kOwnB, {2, 463, 55, 0}},
                        {kOwnA, kFriend, MsgFlag::Send | MsgFlag::Crash},
                        {kOwnB, {2, 463, 56, 0}}});
  TExporter exporter;
  Configure(exporter);
  exporter.Run();
  EXPECT_EQ(exporter.NetMails, 3);
  EXPECT_EQ(exporter.CrashMails, 1);
  EXPECT_EQ(net->Uplink, nullptr);
  for (uint16_t f : Flags(*net)) EXPECT_EQ(f & (MsgFlag::Send | MsgFlag::Sent), MsgFlag::Sent);

  const struct {
    TFidoAddr flowOf;
    std::vector<std::string> texts;
    uint16_t origNet, destNode;
  } cases[] = {
      {kBossA, {"Message number 0\r"}, 5020, 99},
      {kBossB, {"Message number 1\r", "Message number 3\r"}, 463, 55},
      {kFriend, {"Message number 2\r"}, 5020, 77},
  };
  for (const auto& c : cases) {
    const auto listed = Listed(c.flowOf);
    ASSERT_EQ(listed.size(), 1u) << FidoAddressToStr(c.flowOf);
    const auto msgs = ReadPacket(listed[0]);
    std::vector<std::string> texts;
    for (const auto& m : msgs) texts.push_back(m.text);
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(msgs[0].origNet, c.origNet);  // netmail keeps its own addresses
    EXPECT_EQ(msgs[0].destNode, c.destNode);
  }
  const auto log = LogTexts(exporter);
  for (const char* line : {"1 netmails from area NETMAIL with uplink Alpha exported.",
                           "2 netmails from area NETMAIL with uplink Beta exported.",
                           "3 netmails exported.", "1 crashmails from area NETMAIL exported.",
                           "1 crashmails exported.", "4 messages exported."})
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
  // Locked and released once per uplink and once for the crash pass.
  shell.dispatcher.ProcessMessages();
  int unlocks = 0;
  for (const auto& call : shell.shell.Calls()) unlocks += call.what == "UpdateAreaLine";
  EXPECT_EQ(unlocks, 3);
}

TEST_F(ScannerTest, AFailedWriteKeepsTheMessagesWaiting) {
  TNetLink nowhere("");
  nowhere.Name = "Nowhere";
  nowhere.UplinkAddress.SetAddress(kBossA);
  nowhere.SysopAddress.SetAddress(kOwnA);
  TArea* echo = AddArea("LOST.ECHO", AreaTypeCode::Echomail,
                        {{kOwnA, {}, MsgFlag::Send}, {kOwnA, {}, MsgFlag::Send}}, &nowhere);
  EXPECT_EQ(ExportToUplink(*echo, options), 0);
  EXPECT_EQ(Flags(*echo), (std::vector<uint16_t>{MsgFlag::Send, MsgFlag::Send}));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("2 messages of area LOST.ECHO stay waiting"), std::string::npos);
  EXPECT_NE(problems[0].find("no outbound directory"), std::string::npos);

  // Crash mail to a zone whose outbound cannot be had.
  options.ZoneOutbound = [](int32_t) { return std::string(); };
  TArea* net =
      AddArea("NET", AreaTypeCode::Netmail, {{kOwnA, kFriend, MsgFlag::Send | MsgFlag::Crash}});
  EXPECT_EQ(ExportDirect(*net, options), 0);
  EXPECT_EQ(Flags(*net), (std::vector<uint16_t>{MsgFlag::Send | MsgFlag::Crash}));
  EXPECT_TRUE(OutboundFiles().empty());
}

// Read, reply, export: the open message list holds the index, the export
// still writes its Sent marks; only a write that fails is reported.
TEST_F(ScannerTest, TheIndexIsWrittenWhileAMessageListHoldsIt) {
  const std::string failure =
      "The index of area HELD.ECHO could not be written; the next start marks its exported "
      "messages.";
  const struct {
    const char* what;
    bool blockWrite;  // a directory in the temporary index file's place
    uint16_t onDisk;  // the first message's flags in the index file
  } cases[] = {
      {"write succeeds", false, MsgFlag::Sent},
      {"write fails", true, MsgFlag::Send},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    problems.clear();
    TArea* echo = AddArea("HELD.ECHO", AreaTypeCode::Echomail, {{kOwnA, {}, MsgFlag::Send}}, linkA);
    ASSERT_TRUE(echo->OpenIndex());  // the message list
    const std::string temp = echo->FilePath(kTempIndexExt);
    if (c.blockWrite) {
      ASSERT_EQ(::mkdir(temp.c_str(), 0755), 0);
    }
    EXPECT_EQ(ExportToUplink(*echo, options), 1);
    EXPECT_EQ(problems,
              c.blockWrite ? std::vector<std::string>{failure} : std::vector<std::string>{});
    EXPECT_TRUE(echo->IsIndexLoaded());
    EXPECT_EQ(echo->GetHeader(0).Flags, MsgFlag::Sent);
    std::vector<TMsgHeader> stored;
    ASSERT_TRUE(TMessageBase(*echo).ReadIndex(stored));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].Flags, c.onDisk);
    if (c.blockWrite) ::rmdir(temp.c_str());
    echo->CloseIndex();  // the list closes: what is left is written now
    EXPECT_EQ(Flags(*echo), std::vector<uint16_t>{MsgFlag::Sent});
    areas.FreeAll();
    std::filesystem::remove_all(dir.Path() + "Msgbase/");
  }
}

TEST_F(ScannerTest, AttachesListOnlyOwnExistingFiles) {
  // A subject holds at most 71 characters: the files lie in a short folder
  // of their own, since the suites' folder is longer than that.
  char base[] = "/tmp/vm.XXXXXX";
  ASSERT_NE(::mkdtemp(base), nullptr);
  const std::string files = std::string(base) + "/files/";
  platform::MakeDirs(files + "adir/");
  platform::WriteFileAtomic(files + "report.txt", "attached data");
  const std::string file = files + "report.txt";
  const struct {
    const char* name;
    TFidoAddr orig;
    std::string subject;
    bool listed;
    std::string storedSubject;
  } cases[] = {
      {"own message, existing file", kOwnA, file, true, "report.txt"},
      {"not written here", kFriend, file, false, file},
      {"missing file", kOwnA, files + "none.txt", false, files + "none.txt"},
      {"a directory", kOwnA, files + "adir", false, files + "adir"},
  };
  for (const auto& c : cases) {
    TempDir d;
    outbound = d.Path() + "Out/";
    options.ZoneOutbound = [this](int32_t) { return outbound; };
    problems.clear();
    TArea* net =
        AddArea(std::string("ATT") + std::to_string(&c - cases), AreaTypeCode::Netmail,
                {{c.orig, kFriend, MsgFlag::Send | MsgFlag::Crash | MsgFlag::Attach, c.subject}});
    EXPECT_EQ(ExportDirect(*net, options), 1) << c.name;
    const auto listed = Listed(kFriend);
    ASSERT_EQ(listed.size(), c.listed ? 2u : 1u) << c.name;
    if (c.listed) {
      EXPECT_EQ(listed[1], file) << c.name;
    }
    EXPECT_EQ(problems.size(), c.listed ? 0u : 1u) << c.name;
    const auto msgs = ReadPacket(listed[0]);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].subject, c.storedSubject) << c.name;
    EXPECT_EQ(msgs[0].text, "Message number 0\r") << c.name;
    ASSERT_TRUE(net->OpenIndex());
    EXPECT_EQ(net->GetHeader(0).Subject.Str(), c.storedSubject) << c.name;
    net->ReleaseIndex();
  }
  std::filesystem::remove_all(base);
}

// An attach over the table of names. The subject holds the path in the
// ANSI page, at most 71 characters: the files lie in a short folder of their
// own (with a Cyrillic name), since the suites' folder is longer than that.
// The flow file lists the path on disk, the packet's subject is the bare
// name in the OEM page, the stored subject the bare name in the ANSI page.
// A path the subject cannot hold is refused where the user picks it.
TEST_F(ScannerTest, AttachCarriesEachFormOfTheName) {
  char base[] = "/tmp/vm.XXXXXX";
  ASSERT_NE(::mkdtemp(base), nullptr);
  const std::string folder = std::string(base) + "/Файлы/";
  platform::MakeDirs(folder);
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  platform::SetOemCodePage(platform::CodePage::CP866);
  int n = 0;
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    const std::string path = folder + row.disk;
    platform::WriteFileAtomic(path, "attached data");
    std::string why;
    const std::optional<std::string> subject = AttachSubject(path, why);
    const std::string folderAnsi = std::string(base) + "/\xD4\xE0\xE9\xEB\xFB/";
    const bool fits = row.ansi && row.oem && folderAnsi.size() + row.ansi->size() <= 71;
    ASSERT_EQ(subject.has_value(), fits) << why;
    if (!fits) {
      EXPECT_EQ(why.rfind("The file ", 0), 0u) << why;
      EXPECT_TRUE(why.find("cannot be attached") != std::string::npos) << why;
      continue;
    }
    EXPECT_EQ(*subject, folderAnsi + *row.ansi);
    TempDir d;
    outbound = d.Path() + "Out/";
    options.ZoneOutbound = [this](int32_t) { return outbound; };
    problems.clear();
    TArea* net = AddArea("NAMES" + std::to_string(n++), AreaTypeCode::Netmail,
                         {{kOwnA, kFriend, MsgFlag::Send | MsgFlag::Crash | MsgFlag::Attach,
                           *subject}});
    EXPECT_EQ(ExportDirect(*net, options), 1);
    EXPECT_TRUE(problems.empty()) << problems.front();
    const auto listed = Listed(kFriend);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1], path);
    const std::string packet = platform::ReadFile(listed[0]);
    EXPECT_NE(packet.find(std::string("Point User") + '\0' + *row.oem + '\0'), std::string::npos);
    ASSERT_TRUE(net->OpenIndex());
    EXPECT_EQ(net->GetHeader(0).Subject.Str(), *row.ansi);
    EXPECT_TRUE(net->GetHeader(0).Flags & MsgFlag::Sent);
    net->ReleaseIndex();
  }
  std::filesystem::remove_all(base);
}

TEST_F(ScannerTest, LockWaitEndsWhenAborted) {
  TArea* echo = AddArea("BUSY.ECHO", AreaTypeCode::Echomail, {{kOwnA, {}, MsgFlag::Send}}, linkA);
  ASSERT_TRUE(echo->Lock(false));  // a reader holds it
  TExporter exporter;
  Configure(exporter);
  exporter.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  exporter.Abort();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (exporter.Running() && std::chrono::steady_clock::now() < deadline)
    shell.dispatcher.ProcessMessages();
  exporter.Wait();
  echo->Unlock();
  EXPECT_EQ(Flags(*echo), std::vector<uint16_t>{MsgFlag::Send});
  const auto log = LogTexts(exporter);
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Area BUSY.ECHO skipped: the export was aborted while waiting for it."),
            log.end());
}

// --- Maintenance and optimisation runs ----------------------------------------------

TEST(RunChoice, StartAndExitFromTheSettings) {
  const struct {
    int optimizeOn, maintainOn;
    TRunChoice atStart, atExit;
  } cases[] = {
      {0, 0, {}, {}},
      {1, 0, {true, false, false}, {}},
      {0, 1, {false, false, true}, {}},
      {1, 1, {true, true, false}, {}},
      {2, 1, {false, false, true}, {true, false, false}},
      {3, 3, {true, true, false}, {true, true, false}},
      {3, 0, {true, false, false}, {true, false, false}},
      {0, 2, {}, {false, false, true}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunsAtStart(c.optimizeOn, c.maintainOn), c.atStart) << c.optimizeOn << c.maintainOn;
    EXPECT_EQ(RunsAtExit(c.optimizeOn, c.maintainOn), c.atExit) << c.optimizeOn << c.maintainOn;
  }
}

class RecordingRunView : public TRunView {
 public:
  void RunMaximum(int m) override { maximum = m; }
  void RunPosition(int p) override { position = p; }
  void RunStatus(const std::string& text) override { statuses.push_back(text); }
  void RunFinished(bool a) override {
    finished = true;
    aborted = a;
  }
  int maximum = -1, position = -1;
  std::vector<std::string> statuses;
  bool finished = false, aborted = false;
};

class RunsTest : public ::testing::Test {
 protected:
  ~RunsTest() override { areas.FreeAll(); }
  TArea* AddArea(const std::string& name, int messages, bool maintain = true,
                 uint8_t type = AreaTypeCode::Echomail) {
    TArea* area = areas.Adopt(
        std::make_unique<TArea>(dir.Path(), name, name == kSeparatorName ? "" : name, type));
    area->Maintain = maintain;
    area->ApplyAge = false;
    area->MaxNumber = 2;
    for (int i = 0; i < messages; ++i) area->QueueMail(MakeMail(i));
    if (messages > 0) {
      EXPECT_TRUE(area->WriteQueuedMail());
    }
    return area;
  }
  int CountOf(TArea& area) {
    area.RecountFlags();
    return area.Count;
  }
  TempDir dir;
  ShellScope shell;
  TAreaList areas;
};

TEST_F(RunsTest, MaintenanceSkipsSeparatorsAndAreasWithoutTheSwitch) {
  TArea* a = AddArea("A", 5);
  AddArea(kSeparatorName, 0, true, AreaTypeCode::Separator);
  TArea* b = AddArea("B", 5, false);
  TArea* c = AddArea("C", 4);
  RecordingRunView view;
  MaintainAll::TMaintainer run(&view);
  run.Areas = &areas;
  run.Run();
  EXPECT_EQ(CountOf(*a), 2);
  EXPECT_EQ(CountOf(*b), 5);
  EXPECT_EQ(CountOf(*c), 2);
  EXPECT_EQ(view.maximum, 4);
  EXPECT_EQ(view.position, 4);
  EXPECT_TRUE(view.finished);
  EXPECT_FALSE(view.aborted);
  EXPECT_EQ(view.statuses.front(), "Waiting for access to A...");
  EXPECT_EQ(view.statuses[1], "Maintenance  A ..");
  EXPECT_EQ(view.statuses[2], "A completed");
  EXPECT_EQ(view.statuses.back(), "Done!");
  EXPECT_FALSE(a->IsLocked());
}

TEST_F(RunsTest, NoAreaToMaintainEndsAtOnceWithDone) {
  AddArea("A", 3, false);
  RecordingRunView view;
  MaintainAll::TMaintainer run(&view);
  run.Areas = &areas;
  run.Run();
  EXPECT_EQ(view.statuses, std::vector<std::string>{"Done!"});
  EXPECT_EQ(view.position, 1);
}

TEST_F(RunsTest, OptimisationCancelledWhileWaitingStillChainsTheMaintenance) {
  TArea* a = AddArea("A", 3);
  AddArea(kSeparatorName, 0, true, AreaTypeCode::Separator);
  ASSERT_TRUE(a->Lock(false));  // held by a reader
  RecordingRunView view;
  int chained = 0;
  TOptimizer run(&view);
  run.Areas = &areas;
  run.Chain = true;
  run.StartMaintenance = [&] { ++chained; };
  run.Start();
  ASSERT_TRUE(shell.dispatcher.RunUntil(
      [&] { return !view.statuses.empty() && view.statuses.back() == "Waiting for access to A.."; },
      std::chrono::seconds(60)));
  run.Cancel();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (chained == 0 && std::chrono::steady_clock::now() < deadline)
    shell.dispatcher.ProcessMessages();
  run.Wait();
  shell.dispatcher.ProcessMessages();
  a->Unlock();
  EXPECT_TRUE(view.aborted);
  EXPECT_EQ(view.statuses.back(), "Aborted!");
  EXPECT_EQ(chained, 1);
}

TEST_F(RunsTest, OptimisationPacksEveryAreaAndTheOneAreaCleanUpUnlocks) {
  TArea* a = AddArea("A", 6);
  ASSERT_TRUE(a->OpenIndex());
  for (int i = 0; i < 3; ++i) a->MarkDeleted(i);
  a->PurgeDeleted();
  a->CloseIndex();
  const auto before = platform::ReadFile(a->FilePath(kPackedBodyExt)).size();
  TOptimizer run;
  run.Areas = &areas;
  run.Run();
  EXPECT_LT(platform::ReadFile(a->FilePath(kPackedBodyExt)).size(), before);

  ASSERT_TRUE(a->Lock(true));
  TMaintainer one(*a);
  one.Start();
  one.Wait();
  EXPECT_FALSE(a->IsLocked());
  EXPECT_EQ(CountOf(*a), 2);
}

}  // namespace
}  // namespace velmaris::test
