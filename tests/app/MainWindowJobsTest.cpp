// The main window's commands that start the long-lived jobs: import and
// export with their windows, the maintenance and optimisation runs from the
// menu, at start and at exit, and the switches of the nodelist processor
// and automatic unpacker windows.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "../mailer/LineFixtures.h"
#include "../processing/TosserFixtures.h"
#include "MainWindowFixture.h"
#include "archive/AutoUnpacker.h"
#include "archive/forms/UnpRep.h"
#include "core/MailBox.h"
#include "core/MessageBase.h"
#include "core/NetLink.h"
#include "core/WinLst.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "mailer/Mailers.h"
#include "mailer/forms/MailboxDialogs.h"
#include "mailer/forms/MailerForm.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/ProcWin.h"
#include "platform/Files.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/MailPacket.h"
#include "processing/forms/JobWindows.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

class MainWindowJobsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    OpenDupeChecker(Start());
  }
  void TearDown() override {
    Wait([] { return GetReportPoster().PendingCount() == 0; });
    window.reset();
    CloseDupeChecker();
    MainWindowFixture::TearDown();
  }

  // Prepares the areas, then the uplink 2:5030/1 of the point 2:5020/1042.7
  // and the settings, and opens the main window.
  TKQMainWindow& OpenWith(const std::vector<AreaSpec>& areas,
                          const std::function<void(TConfigStore&)>& settings = {}) {
    if (!prepared_) Prepare(areas);
    prepared_ = true;
    {
      TConfigSession session(Start(), RegistryPath());
      session.Load();
      TConfigStore& store = session.Store();
      TNetLink* uplink = store.Uplinks().GetItem(0);
      uplink->UplinkAddress.SetText("2:5030/1");
      uplink->SysopAddress.SetText("2:5020/1042.7");
      uplink->UsePacker = false;
      for (const AreaSpec& entry : areas) store.FindArea(entry.name)->Uplink = uplink;
      if (settings) settings(store);
      EXPECT_TRUE(session.Save());
    }
    return Open();
  }

  void Trigger(const char* name) {
    QAction* action = window->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    ASSERT_TRUE(action->isEnabled()) << name;
    action->trigger();
  }

  static void Wait(const std::function<bool()>& done) {
    ASSERT_TRUE(platform::GetDispatcher().RunUntil(done, std::chrono::seconds(60)));
  }
  // With VELMARIS_SCREENSHOTS set, the window as a PNG in that folder.
  static void Shot(QWidget& widget, const char* name) {
    if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
      widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
  }
  static bool RunsGone() { return !GetMaintainWindow() && !GetOptimizeWindow(); }
  // Ctrl+I refused for a duplicate database that cannot be read: the area
  // keeps what it held, the packet waits in the inbound.
  void ExpectImportRefusedForTheDatabase(TKQMainWindow& w, int before) {
    TImportWindow* import = w.ImportWindow();
    Trigger("Import");
    Wait([&] { return !import->Running(); });
    EXPECT_TRUE(import->Status->toPlainText().contains("cannot be read"))
        << import->Status->toPlainText().toStdString();
    EXPECT_EQ(Area("FIDO.GER")->Count, before);
    EXPECT_TRUE(platform::FileExists(Start() + "Inbound/00000001.pkt"));
  }
  // The message count in the area's row.
  QString CountCell(const QString& name) const {
    for (const QString& row : Rows())
      if (row.section('\t', 0, 0) == name) return row.section('\t', 1, 1);
    return "missing";
  }

 private:
  bool prepared_ = false;
};

TEST_F(MainWindowJobsTest, ImportFromTheMenuFillsTheAreaAndItsRow) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(2, 0)}});
  platform::MakeDirs(Start() + "Inbound/");
  platform::WriteFileAtomic(
      Start() + "Inbound/00000001.pkt",
      PacketFrom({EchoMessage("FIDO.GER", "One"), EchoMessage("FIDO.GER", "Two"),
                  EchoMessage("FIDO.GER", "Three")}));
  ASSERT_EQ(CountCell("FIDO.GER"), "2");
  Trigger("Import");
  TImportWindow* import = w.ImportWindow();
  Wait([&] { return !import->Running(); });
  EXPECT_TRUE(import->isVisible());
  EXPECT_EQ(import->CntPkts->text(), "1");
  EXPECT_EQ(import->Tossed->text(), "3");
  EXPECT_FALSE(import->Status->toPlainText().isEmpty());
  EXPECT_EQ(Area("FIDO.GER")->Count, 5);
  Wait([&] { return CountCell("FIDO.GER") == "5"; });
  EXPECT_FALSE(platform::FileExists(Start() + "Inbound/00000001.pkt"));
}

// The program reads the duplicate database at start; one that could not
// be read then (a link into a drive that is not mounted, a folder in its
// place) is read again at the next import, once it is mended: Ctrl+I
// refuses, then imports, and a link stays a link.
TEST_F(MainWindowJobsTest, ADuplicateDatabaseMendedWhileTheProgramRunsIsReadAtTheNextImport) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(2, 0)}});
  const std::string base = w.ConfigStore().MessageBaseDir();
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "a link into a drive that is not mounted" : "a folder in its place");
    const std::string drive = Start() + (link ? "Диск/" : "Папка/");
    const std::string file = (link ? drive : base) + kDupesFileName;
    CloseDupeChecker();
    std::remove((base + kDupesFileName).c_str());
    if (link) {
      ASSERT_EQ(::symlink(file.c_str(), (base + kDupesFileName).c_str()), 0);
    } else {
      platform::MakeDirs(base + kDupesFileName);
    }
    OpenDupeChecker(base, Start());
    const int before = Area("FIDO.GER")->Count;
    platform::MakeDirs(Start() + "Inbound/");
    const std::string subject = link ? "One" : "Two";
    platform::WriteFileAtomic(Start() + "Inbound/00000001.pkt",
                              PacketFrom({EchoMessage("FIDO.GER", subject + " a"),
                                          EchoMessage("FIDO.GER", subject + " b"),
                                          EchoMessage("FIDO.GER", subject + " c")}));
    ExpectImportRefusedForTheDatabase(w, before);
    TImportWindow* import = w.ImportWindow();
    // Mended: the drive is mounted, the folder taken away. The database
    // knows none of the three.
    if (!link) {
      ASSERT_EQ(::rmdir((base + kDupesFileName).c_str()), 0);
    }
    platform::MakeDirs(drive);
    {
      TDupeChecker keys(file);
      keys.CheckAndAdd(1);
    }
    Trigger("Import");
    Wait([&] { return !import->Running(); });
    EXPECT_EQ(Area("FIDO.GER")->Count, before + 3);
    EXPECT_FALSE(platform::FileExists(Start() + "Inbound/00000001.pkt"));
    struct stat st {};
    ASSERT_EQ(::lstat((base + kDupesFileName).c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), link);
    TDupeChecker saved(file);
    saved.Forget();
    EXPECT_EQ(saved.Count(), 4u);
  }
}

// A database that could be read at the start and cannot be read since (the
// drive its link points into went away) stops the next Ctrl+I as it would
// at the start: nothing is stored, the packet stays, and the end of the
// program writes nothing through the link and says nothing of a save. Once
// the drive is back, the next Ctrl+I imports with the keys it holds.
TEST_F(MainWindowJobsTest, ADuplicateDatabaseThatCannotBeReadSinceTheStartStopsTheNextImport) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(2, 0)}});
  const std::string base = w.ConfigStore().MessageBaseDir();
  const std::string drive = Start() + "Диск/", away = Start() + "Отключён/";
  const std::string database = base + kDupesFileName;
  CloseDupeChecker();
  std::remove(database.c_str());
  platform::MakeDirs(drive);
  {
    TDupeChecker keys(drive + kDupesFileName);
    keys.CheckAndAdd(1);
  }
  ASSERT_EQ(::symlink((drive + kDupesFileName).c_str(), database.c_str()), 0);
  OpenDupeChecker(base, Start());
  ASSERT_EQ(DupeCheckerRefusal(), "");
  ASSERT_EQ(
      std::rename(platform::WithoutSlash(drive).c_str(), platform::WithoutSlash(away).c_str()), 0);
  const int before = Area("FIDO.GER")->Count;
  platform::MakeDirs(Start() + "Inbound/");
  platform::WriteFileAtomic(
      Start() + "Inbound/00000001.pkt",
      PacketFrom({EchoMessage("FIDO.GER", "One a"), EchoMessage("FIDO.GER", "One b")}));
  ExpectImportRefusedForTheDatabase(w, before);
  TImportWindow* import = w.ImportWindow();
  EXPECT_FALSE(platform::PathExists(drive));
  // The drive is back: the keys it holds are used, the new ones added.
  ASSERT_EQ(
      std::rename(platform::WithoutSlash(away).c_str(), platform::WithoutSlash(drive).c_str()), 0);
  Trigger("Import");
  Wait([&] { return !import->Running(); });
  EXPECT_EQ(Area("FIDO.GER")->Count, before + 2);
  EXPECT_FALSE(platform::FileExists(Start() + "Inbound/00000001.pkt"));
  // Gone again before the end: the end saves nothing and says nothing.
  ASSERT_EQ(
      std::rename(platform::WithoutSlash(drive).c_str(), platform::WithoutSlash(away).c_str()), 0);
  Trigger("Import");
  Wait([&] { return !import->Running(); });
  const size_t boxes = prompter.Questions().size();
  EXPECT_TRUE(CloseDupeChecker());
  EXPECT_EQ(prompter.Questions().size(), boxes);
  EXPECT_FALSE(platform::PathExists(drive));
  struct stat st {};
  ASSERT_EQ(::lstat(database.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  TDupeChecker saved(away + kDupesFileName);
  saved.Forget();
  EXPECT_EQ(saved.Count(), 3u);
}

// Bundles that only wait for room (of every kind) are one line each in the
// import window's log and one in its summary, and raise no box, whether the
// import comes from the menu or follows a call that brought mail; a bundle
// put aside still raises its box. The import runs through without anyone
// answering.
TEST_F(MainWindowJobsTest, BundlesThatWaitForRoomRaiseNoBoxFromTheMenuOrAfterACall) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", {}}}, [](TConfigStore& store) {
    store.SettingsModel().SetNumber(SettingId::AutoImport, 1);
  });
  const std::string inbound = Start() + "Inbound/";
  platform::MakeDirs(inbound);
  platform::MakeDirs(dir / "made");
  // A bundle of the kind with one message of 300,000 bytes; the room the
  // import window's runs see lets none of them out, while 4 MiB of packets
  // waiting in the inbound would give it once they are tossed.
  auto bundle = [&](const std::string& name, const std::string& command) {
    platform::WriteFileAtomic(
        dir / "made/P.pkt",
        PacketFrom({EchoMessage("FIDO.GER", name, "All", std::string(300000, 'b'))}));
    EXPECT_EQ(RunShell("cd " + ShellQuote(dir / "made") + " && " + command + " " + name +
                       " P.pkt >/dev/null && rm P.pkt"),
              0);
    return dir / ("made/" + name);
  };
  const std::string waiting[] = {bundle("00000001.mo0", "zip -j -q"),
                                 bundle("00000002.tu0", "arj a -e -y"),
                                 bundle("00000003.we0", "jlha aq"), bundle("00000004.th0", "TMPDIR=. arc a")};
  TImportWindow* import = w.ImportWindow();
  import->SetFreeSpace([](const std::string&) { return kInboundDiskReserve + (4 << 20) + 1000; });
  const std::string held =
      PacketFrom({EchoMessage("FIDO.GER", "held", "All", std::string(4 << 20, 'h'))});
  struct Way {
    const char* what;
    bool call;
    bool damaged;  // a damaged bundle comes too
  } ways[] = {{"from the menu", false, false},
              {"after a call", true, false},
              {"from the menu, with a damaged bundle", false, true}};
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    for (const auto& e : platform::ScanDir(inbound, "*", true, false))
      ::unlink((inbound + e.name).c_str());
    for (const std::string& path : waiting)
      platform::WriteFileAtomic(inbound + platform::NameOf(path), platform::ReadFile(path));
    if (way.damaged)
      platform::WriteFileAtomic(inbound + "0000dead.fr0",
                                std::string("PK\x03\x04", 4) + std::string(300, '\xEE'));
    prompter.Clear();
    import->Status->clear();
    if (!way.call) {
      platform::WriteFileAtomic(inbound + "00000009.pkt", held);
      Trigger("Import");
    } else {
      // The call brings the packet; the session's end starts the import.
      platform::WriteFileAtomic(dir / "00000009.pkt", held);
      SetTapiDebugLogPath(dir / "cmdebug.txt");
      TConfigStore& store = w.ConfigStore();
      TNetLink* link = store.Uplinks().GetItem(0);
      link->UplinkAddress.SetText("2:5020/1042");
      TMailer* profile = GetMailerConfig()->AddMailer(store);
      auto* form = dynamic_cast<TMailerForm*>(profile->Window());
      ASSERT_NE(form, nullptr);
      platform::MakeDirs(dir / "peer-in");
      FakeModem modem(
          dir, {"--peer", CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") +
                              " --send " + CommandWord(dir / "00000009.pkt") + " --log " +
                              CommandWord(dir / "peer.log")});
      store.SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
      form->SelectDevice("Line");
      form->Session().ResetRedial();
      ASSERT_TRUE(form->Session().CallSystem("Boss", "2:5020/1042", {"555-1234"}))
          << form->Session().Error();
      Wait([&] { return form->Session().Finished() && form->Device().IsIdle(); });
      EXPECT_TRUE(form->Session().Completed()) << form->LogMemo->toPlainText().toStdString();
      SetTapiDebugLogPath("");
    }
    Wait([&] { return !import->Running(); });
    const QString text = import->Status->toPlainText();
    EXPECT_TRUE(text.contains("Import finished")) << text.toStdString();
    for (const std::string& path : waiting) {
      const QString name = QString::fromStdString(platform::NameOf(path));
      EXPECT_EQ(text.count("Bundle " + name + " "), 1) << text.toStdString();
      EXPECT_TRUE(platform::FileExists(inbound + name.toStdString()));
    }
    EXPECT_TRUE(text.contains("4 bundles stay in Inbound until there is room: ")) << text.toStdString();
    EXPECT_FALSE(text.contains("File is larger than the room")) << text.toStdString();
    EXPECT_TRUE(text.contains("messages from 00000009.pkt", Qt::CaseInsensitive)) << text.toStdString();
    const auto boxes = prompter.Questions();
    if (!way.damaged) {
      EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text.rfind("Fehler beim Entpacken von ", 0), 0u) << boxes[0].text;
      EXPECT_TRUE(platform::FileExists(inbound + "0000dead.bad"));
    }
  }
}

// Bundles put aside raise one box each, however many of their entries fail
// (five 2 KB bundles of ten entries whose sizes lie: five boxes, not fifty),
// each with the bundle's name, its first error and how many more; the
// import window's log keeps every line.
TEST_F(MainWindowJobsTest, BundlesPutAsideRaiseOneBoxEachFromTheMenu) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", {}}});
  const std::string inbound = Start() + "Inbound/";
  platform::MakeDirs(inbound);
  platform::MakeDirs(dir / "made");
  std::string names;
  for (int i = 0; i < 10; ++i) {
    const std::string name = "E" + std::to_string(i) + ".pkt";
    platform::WriteFileAtomic(dir / ("made/" + name),
                              PacketFrom({EchoMessage("FIDO.GER", "entry " + std::to_string(i))}));
    names += " " + name;
  }
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir / "made") + " && zip -q b.zip" + names), 0);
  const std::string lying = LyingZip(platform::ReadFile(dir / "made/b.zip"), 100000, false);
  ASSERT_LT(lying.size(), 4096u);
  struct Way {
    const char* what;
    int bundles;
  } ways[] = {{"five bundles", 5}, {"one bundle", 1}};
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    for (const auto& e : platform::ScanDir(inbound, "*", true, false))
      ::unlink((inbound + e.name).c_str());
    for (int i = 0; i < way.bundles; ++i)
      platform::WriteFileAtomic(inbound + "0000dea" + std::to_string(i) + ".mo0", lying);
    platform::WriteFileAtomic(inbound + "00000009.pkt",
                              PacketFrom({EchoMessage("FIDO.GER", "good")}));
    prompter.Clear();
    TImportWindow* import = w.ImportWindow();
    import->Status->clear();
    Trigger("Import");
    Wait([&] { return !import->Running(); });
    const QString text = import->Status->toPlainText();
    EXPECT_TRUE(text.contains("Import finished")) << text.toStdString();
    EXPECT_EQ(text.count(": File fails CRC check"), 10 * way.bundles) << text.toStdString();
    const auto boxes = prompter.Questions();
    ASSERT_EQ(boxes.size(), static_cast<size_t>(way.bundles));
    for (int i = 0; i < way.bundles; ++i) {
      const std::string name = "0000dea" + std::to_string(i);
      EXPECT_EQ(boxes[static_cast<size_t>(i)].text,
                "Fehler beim Entpacken von " + name +
                    ".mo0:\r\nE0.pkt: File fails CRC check\r\n"
                    "(and 9 more errors; the import log lists every one)");
      EXPECT_TRUE(platform::FileExists(inbound + name + ".bad"));
    }
  }
}

// A message base out of reach (the folder empty: its drive is away) takes
// no mail from the menu's import: one box says why and names the folder,
// the packet waits in the inbound, no file is made there.
TEST_F(MainWindowJobsTest, AnImportIntoAMessageBaseOutOfReachIsRefusedWithABox) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(2, 0)}});
  const std::string base = w.ConfigStore().MessageBaseDir();
  TArea* area = Area("FIDO.GER");
  for (const char* ext : {kPackedIndexExt, kPackedBodyExt})
    ASSERT_EQ(std::remove(area->FilePath(ext).c_str()), 0);
  const std::string packet = Start() + "Inbound/00000001.pkt";
  platform::MakeDirs(Start() + "Inbound/");
  platform::WriteFileAtomic(packet, PacketFrom({EchoMessage("FIDO.GER", "One")}));
  prompter.Clear();
  TImportWindow* import = w.ImportWindow();
  Trigger("Import");
  Wait([&] { return !import->Running(); });
  const auto boxes = prompter.Questions();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("The message base folder " + base +
                               " is empty, though areas "
                               "listed had messages (FIDO.GER)"),
            std::string::npos)
      << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("Nothing is stored; the mail waits in the inbound."),
            std::string::npos);
  EXPECT_TRUE(import->Status->toPlainText().contains("Import stopped by an error"));
  EXPECT_TRUE(platform::FileExists(packet));
  EXPECT_FALSE(platform::FileExists(area->FilePath(kPackedIndexExt)));
  EXPECT_FALSE(platform::FileExists(area->FilePath(kPackedBodyExt)));
}

TEST_F(MainWindowJobsTest, ExportFromTheMenuWritesThePacketIntoTheOutbound) {
  // The first message comes from the point 2:5020/1.1 and waits for export.
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Join({Times(1, MsgFlag::Send), Times(2, 0)})}});
  w.ConfigStore().Uplinks().GetItem(0)->SysopAddress.SetText("2:5020/1.1");
  Trigger("DoExport");
  TExportForm* exportForm = w.ExportWindow();
  EXPECT_TRUE(exportForm->isVisible());
  Wait([&] { return !exportForm->Running(); });
  EXPECT_EQ(exportForm->EchoMail->text(), "1") << exportForm->ResList->toPlainText().toStdString();
  EXPECT_EQ(exportForm->AllMail->text(), "1");
  const auto packets = platform::ScanDir(Start() + "Outbound/", "*.pkt");
  ASSERT_EQ(packets.size(), 1u);
  TMailPacket packet(Start() + "Outbound/" + packets[0].name);
  int read = 0;
  while (packet.NextMail()) ++read;
  EXPECT_EQ(read, 1);
  EXPECT_EQ(Area("FIDO.GER")->SendCount, 0);
}

TEST_F(MainWindowJobsTest, PollExportsFirstAndThenCallsTheChosenMailbox) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", {}}});
  // A mailbox without a command line: the call ends in its error box.
  auto box = std::make_unique<TMailBox>();
  box->Name = "Boss";
  w.ConfigStore().Mailboxes().Add(std::move(box));
  w.ConfigStore().Uplinks().GetItem(0)->Mailbox = 0;
  ModalHook old = SetModalHook([](QWidget* window) {
    auto* dialog = qobject_cast<TNetCallDlg*>(window);
    if (!dialog) return 0;
    dialog->LinkLIst->setCurrentRow(0);
    dialog->OkbtnClick();
    return dialog->result();
  });
  Trigger("NetCall");
  SetModalHook(old);
  Wait([&] { return !w.ExportWindow()->Running(); });
  EXPECT_TRUE(w.ExportWindow()->ResList->toPlainText().contains("Export finished."));
  Wait([&] { return !prompter.Questions().empty(); });
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, TMailBox::kNoCommandText);
}

TEST_F(MainWindowJobsTest, MaintenanceAndOptimisationFromTheMenuEndWithTheirWindows) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(3, 0)}});
  Trigger("Aufrmen1");
  ASSERT_NE(GetMaintainWindow(), nullptr);
  EXPECT_TRUE(GetMaintainWindow()->isVisible());
  // The busy sign plays until the run's end, handed to this thread, frees
  // the window.
  EXPECT_TRUE(GetMaintainWindow()->AnimatedSymbol->IsPlaying());
  Shot(*GetMaintainWindow(), "MaintainWindow");
  Wait(RunsGone);
  Trigger("Optimize");
  ASSERT_NE(GetOptimizeWindow(), nullptr);
  EXPECT_TRUE(GetOptimizeWindow()->AnimatedSymbol->IsPlaying());
  Shot(*GetOptimizeWindow(), "OptimizeWindow");
  Wait(RunsGone);
  EXPECT_EQ(Area("FIDO.GER")->Count, 3);
  EXPECT_EQ(WinLst().GetCount(), 3);  // the main, import and export windows
  (void)w;
}

// OptimizeOn and MaintainOn: 0 never, 1 at start, 2 at exit, 3 both.
TEST_F(MainWindowJobsTest, StartUpRunsFollowTheSettings) {
  struct Case {
    int optimizeOn, maintainOn;
    bool optimize, maintain;  // the window that comes up at start
    bool chained;             // the maintenance follows the optimisation
  };
  const Case kCases[] = {
      {0, 0, false, false, false}, {2, 2, false, false, false}, {0, 1, false, true, false},
      {1, 0, true, false, false},  {3, 1, true, false, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.optimizeOn) + "/" + std::to_string(c.maintainOn));
    window.reset();
    TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(1, 0)}}, [&](TConfigStore& store) {
      store.SettingsModel().SetNumber(SettingId::OptimizeOn, c.optimizeOn);
      store.SettingsModel().SetNumber(SettingId::MaintainOn, c.maintainOn);
    });
    w.StartBackgroundRuns();
    EXPECT_EQ(GetOptimizeWindow() != nullptr, c.optimize);
    EXPECT_EQ(GetMaintainWindow() != nullptr, c.maintain);
    if (c.optimize) {
      EXPECT_EQ(GetOptimizeWindow()->MaintainAfterwards, c.chained);
      bool maintained = false;
      Wait([&] {
        maintained = maintained || GetMaintainWindow() != nullptr;
        return GetOptimizeWindow() == nullptr;
      });
      EXPECT_EQ(maintained || GetMaintainWindow() != nullptr, c.chained);
    }
    Wait(RunsGone);
  }
}

TEST_F(MainWindowJobsTest, ClosingRunsTheExitMaintenanceAndWaitsForIt) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", Times(1, 0)}}, [](TConfigStore& store) {
    store.SettingsModel().SetNumber(SettingId::MaintainOn, 2);
  });
  int seen = 0;
  QObject::connect(&w, &QWidget::windowTitleChanged, [&](const QString& title) {
    if (title == "Waiting for Maintenance and Optimization to complete ...") ++seen;
  });
  w.StartBackgroundRuns();
  EXPECT_TRUE(RunsGone());
  w.close();
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(RunsGone());  // started at exit and waited for
}

TEST_F(MainWindowJobsTest, BackgroundWindowSwitchesFollowTheMenu) {
  TKQMainWindow& w = OpenWith({{"FIDO.GER", {}}}, [](TConfigStore& store) {
    store.SettingsModel().SetNumber(SettingId::DiffOn, 1);
    store.SettingsModel().SetNumber(SettingId::UnpackOn, 0);
  });
  ASSERT_NE(w.UnpackWindow(), nullptr);
  QAction* enableDiff = w.findChild<QAction*>("EnableDiff");
  QAction* enableUnpack = w.findChild<QAction*>("EnableUnpack");
  EXPECT_FALSE(enableDiff->isChecked());
  EXPECT_TRUE(enableUnpack->isChecked());
  EXPECT_TRUE(w.UnpackWindow()->Unpacker().TimerOn());
  Trigger("EnableDiff");
  EXPECT_TRUE(w.ProcWindow()->Service().TimerOn());
  Trigger("EnableUnpack");
  EXPECT_FALSE(w.UnpackWindow()->Unpacker().TimerOn());
  // The settings switch the timers and the marks as well.
  Settings& settings = w.ConfigStore().SettingsModel();
  for (int32_t value : {1, 0}) settings.SetNumber(SettingId::UnpackOn, value);
  for (int32_t value : {0, 1}) settings.SetNumber(SettingId::DiffOn, value);
  EXPECT_TRUE(w.UnpackWindow()->Unpacker().TimerOn());
  EXPECT_TRUE(enableUnpack->isChecked());
  EXPECT_FALSE(w.ProcWindow()->Service().TimerOn());
  EXPECT_FALSE(enableDiff->isChecked());

  QAction* showDiff = w.findChild<QAction*>("ShowDiff");
  Trigger("ShowDiff");
  EXPECT_TRUE(w.ProcWindow()->isVisible());
  Trigger("ShowUnpack");
  EXPECT_TRUE(w.UnpackWindow()->isVisible());
  // Closing the window clears the check mark.
  w.ProcWindow()->hide();
  EXPECT_FALSE(showDiff->isChecked());
  Trigger("ShowUnpack");
  EXPECT_FALSE(w.UnpackWindow()->isVisible());
  // The processing command shows the window and runs.
  Trigger("Nodelistenverarbeiten1");
  EXPECT_TRUE(showDiff->isChecked());
  Wait([&] { return !w.ProcWindow()->Service().Busy(); });
  EXPECT_FALSE(w.ProcWindow()->Report->toPlainText().isEmpty());
}

}  // namespace
}  // namespace velmaris::test
