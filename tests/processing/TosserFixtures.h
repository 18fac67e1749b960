// A start directory with a fresh configuration (loaded through the store as
// the program's start-up loads it), an inbound directory to fill with
// packets, bundles and TIC files, and a tosser run on its own thread while
// the test's thread runs the dispatcher.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "PacketFixtures.h"
#include "archive/PackerConfig.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Report.h"
#include "core/SerialCounter.h"
#include "core/Settings.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/DupeChecker.h"
#include "processing/Tosser.h"
#include "support/TempDir.h"

namespace velmaris::test {

// Records what the tosser shows; every call must arrive on the main thread.
class RecordingView : public TImportView {
 public:
  explicit RecordingView(platform::Dispatcher& d) : dispatcher_(d) {}
  void RunStarted() override { Check("started"); }
  void SetCaption(const std::string& c) override {
    Check("caption");
    captions.push_back(c);
  }
  void AddLogLine(const std::string& line) override {
    Check("log");
    logLines.push_back(line);
    if (onLog) onLog(line);
  }
  void AddToSysop(const std::string& line) override {
    Check("tosysop");
    toSysop.push_back(line);
    if (onToSysop) onToSysop(line);
  }
  void SetPackets(int n) override { Check("packets"), packets = n; }
  void SetTossed(int n) override { Check("tossed"), tossed = n; }
  void SetWritten(int n) override { Check("written"), written = n; }
  void SetTossTime(const std::string&) override { Check("time"); }
  void RunFinished() override { Check("finished"), finished = true; }

  std::vector<std::string> captions, logLines, toSysop;
  std::vector<std::string> offMainThread;  // calls that came from another thread
  int packets = -1, tossed = -1, written = -1;
  bool finished = false;
  std::function<void(const std::string&)> onLog, onToSysop;

 private:
  void Check(const char* what) {
    if (!dispatcher_.IsMainThread()) offMainThread.push_back(what);
  }
  platform::Dispatcher& dispatcher_;
};

// One stored message as the tests look at it.
struct StoredMail {
  std::string from, to, subject, tag, text;
  uint16_t flags = 0;
};

// An echomail or netmail message as a peer packs it.
inline std::string EchoMessage(const std::string& tag, const std::string& subject,
                               const std::string& to = "All", const std::string& body = "Hi\r") {
  PackedFields s;
  s.origNode = 1;
  s.origNet = 5030;
  s.destNode = 1042;
  s.destNet = 5020;
  s.to = to;
  s.from = "Joe Remote";
  s.subject = subject;
  s.text = (tag.empty() ? std::string() : "AREA:" + tag + "\r") + "\x01MSGID: 2:5030/1 " +
           std::to_string(std::hash<std::string>{}(tag + subject) % 100000000) + "\r" + body +
           (tag.empty() ? "" : "--- x\r * Origin: Remote (2:5030/1)\r");
  return PackedMessage(s);
}

// A packet from the uplink 2:5030/1 (or from another node) to the point.
inline std::string PacketFrom(const std::vector<std::string>& messages, uint16_t net = 5030,
                              uint16_t node = 1) {
  TPacketHeader h = PeerHeader();
  h.OrigNet = net;
  h.OrigNode = node;
  std::string all;
  for (const auto& m : messages) all += m;
  return PacketOf(h, all);
}

class TosserFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&prompter);
    platform::SetDispatcher(&dispatcher);
    FileSerial().Reset(0x1000);
    MsgIdSerial().Reset(0x2000);
    Load();
  }
  void TearDown() override {
    ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; },
                                    std::chrono::seconds(30)));
    store.reset();
    registry.reset();
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
  }

  std::string Start() const { return dir.Path() + "start/"; }
  std::string Inbound() const { return Start() + "Inbound/"; }
  std::string Backup() const { return Inbound() + "Backup/"; }

  // (Re)loads the configuration from the registry file; the default uplink
  // gets the address 2:5030/1.
  void Load() {
    store.reset();
    registry = std::make_unique<platform::Registry>(dir / "Velmaris.reg");
    store = std::make_unique<TConfigStore>(Start(), *registry);
    store->SetLogSink([this](const std::string& line) { storeLog.push_back(line); });
    packers = &InstallPackerConfig(*store);
    store->LoadConfiguration();
    store->MakeCurrent();
    TNetLink* uplink = store->Uplinks().GetItem(0);
    uplink->UplinkAddress.SetText("2:5030/1");
    uplink->SysopAddress.SetText("2:5020/1042.7");
    platform::MakeDirs(Inbound());
  }

  // A fresh start directory, configuration and duplicate ring.
  void Fresh() {
    store.reset();
    registry.reset();
    RunShell("rm -rf '" + Start() + "' '" + (dir / "Velmaris.reg") + "'");
    dupes.Decode(std::string(TDupeChecker::kFileSize, '\0'), nullptr);
    prompter.Clear();
    Load();
  }

  void Set(SettingId id, int32_t value) { store->SettingsModel().SetNumber(id, value); }

  void Drop(const std::string& name, const std::string& bytes) {
    platform::WriteFileAtomic(Inbound() + name, bytes);
  }

  TArea* AddEcho(const std::string& name) {
    return store->AddAreaQuiet(name, name, AreaTypeCode::Echomail, store->Uplinks().GetItem(0));
  }

  // One run on the tosser's thread while this thread runs the dispatcher.
  TTossCounters Toss(const std::function<void(TTosser&)>& prepare = {}) {
    TTosserSetup setup;
    setup.Store = store.get();
    setup.Packers = packers;
    setup.Dupes = &dupes;
    setup.View = &view;
    setup.Filters = filters;
    setup.FreeSpace = freeSpace;
    setup.StartThread = startThread;
    TTosser tosser(setup);
    current = &tosser;
    if (prepare) prepare(tosser);
    EXPECT_TRUE(tosser.Start());
    EXPECT_TRUE(dispatcher.RunUntil([&] { return tosser.Finished(); }, std::chrono::seconds(120)));
    current = nullptr;
    log = tosser.Log();
    for (auto& line : log) line = line.substr(line.find("  ") + 2);
    EXPECT_TRUE(view.offMainThread.empty()) << view.offMainThread.front();
    return tosser.Counters();
  }

  bool Logged(const std::string& text) const {
    for (const auto& line : log)
      if (line == text) return true;
    return false;
  }
  bool LoggedPart(const std::string& part) const {
    for (const auto& line : log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::vector<StoredMail> Mails(const std::string& areaName) {
    std::vector<StoredMail> out;
    TArea* area = store->FindArea(areaName);
    if (!area) return out;
    EXPECT_TRUE(area->Lock(false));
    EXPECT_TRUE(area->OpenIndex());
    area->OpenBody();
    for (int i = 0; i < area->Count; ++i) {
      auto mail = area->ReadMail(i);
      out.push_back({mail->Header.FromName.Str(), mail->Header.ToName.Str(),
                     mail->Header.Subject.Str(), mail->Header.AreaName.Str(),
                     std::string(mail->BodyText()), mail->Header.Flags});
    }
    area->CloseBody();
    area->CloseIndex();
    area->Unlock();
    return out;
  }

  std::vector<std::string> InboundNames() const {
    std::vector<std::string> names;
    for (const auto& e : platform::ScanDir(Inbound())) names.push_back(e.name);
    return names;
  }
  std::vector<std::string> NamesIn(const std::string& d) const {
    std::vector<std::string> names;
    for (const auto& e : platform::ScanDir(d)) names.push_back(e.name);
    return names;
  }

  TempDir dir;
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  RecordingView view{dispatcher};
  std::unique_ptr<platform::Registry> registry;
  std::unique_ptr<TConfigStore> store;
  TPckList* packers = nullptr;
  TDupeChecker dupes{dir.Path() + "start/Velmaris.Dupes"};
  std::vector<std::string> storeLog;
  std::vector<std::string> log;  // the last run's log without time stamps
  TTosser* current = nullptr;
  TImportFilters* filters = nullptr;                      // handed to every run
  std::function<uint64_t(const std::string&)> freeSpace;  // handed to every run
  TThreadStarter startThread;                             // handed to every run
};

}  // namespace velmaris::test
