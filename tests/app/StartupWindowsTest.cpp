#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <sys/stat.h>

#include "QtTestApp.h"
#include "app/AboutDialog.h"
#include "app/KQMainWindow.h"
#include "app/MsgWin.h"
#include "app/QtDispatcher.h"
#include "app/QtPrompter.h"
#include "app/SplashWin.h"
#include "app/VelmarisApp.h"
#include "app/logic/ConfigSession.h"
#include "app/logic/MsgList.h"
#include "core/ConfigStore.h"
#include "core/MsgBaseFixtures.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/LineFixtures.h"
#include "mailer/MailerSession.h"
#include "mailer/Mailers.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/MailerForm.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/PacketFixtures.h"
#include "processing/forms/JobWindows.h"
#include "support/TempDir.h"
#include "widgets/BetterPlacement.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/Placement.h"
#include "widgets/StatusLabel.h"

namespace velmaris::test {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

int CountWindows(const char* objectName) {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == objectName) ++n;
  return n;
}

// Answers the next message box shown (in its own event loop) with OK and
// records its text.
class BoxAnswerer {
 public:
  BoxAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible()) continue;
        texts.push_back(box->text());
        icons.push_back(box->icon());
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start();
  }
  QStringList texts;
  std::vector<QMessageBox::Icon> icons;

 private:
  QTimer timer_;
};

struct PaintCounter : QObject {
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
  int count = 0;
};

class StartupWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
  TStartOptions Options() const {
    return {dir.Path() + "start/", dir / "Velmaris.reg", dir / "guard.lock"};
  }
  void SetUpStart() { ASSERT_EQ(mkdir((dir.Path() + "start").c_str(), 0700), 0); }
  TempDir dir;
};

TEST_F(StartupWindowsTest, StartShowsTheMainWindowWithTheApplicationsServices) {
  SetUpStart();
  TVelmarisApp app(Options());
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.StartDirectory(), dir.Path() + "start/");
  EXPECT_NE(dynamic_cast<QtDispatcher*>(&platform::GetDispatcher()), nullptr);
  EXPECT_NE(dynamic_cast<QtPrompter*>(&platform::GetPrompter()), nullptr);
  EXPECT_EQ(QApplication::applicationName(), "Velmaris 95");
  ASSERT_NE(app.MainWindow(), nullptr);
  EXPECT_TRUE(app.MainWindow()->isVisible());
  EXPECT_TRUE(app.MainWindow()->isMaximized());
  EXPECT_EQ(GetMainWindow(), app.MainWindow());
  // The splash window has gone again.
  EXPECT_EQ(CountWindows("SplashWin"), 0);
  EXPECT_TRUE(IsDupeCheckerOpen());
  EXPECT_EQ(app.MainWindow()->AreaListBox()->Count(), 3);

  app.Shutdown();
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(CountWindows("KQMainWindow"), 0);
  EXPECT_FALSE(IsDupeCheckerOpen());
  EXPECT_EQ(dynamic_cast<QtDispatcher*>(&platform::GetDispatcher()), nullptr);
  EXPECT_EQ(dynamic_cast<QtPrompter*>(&platform::GetPrompter()), nullptr);
  // The ordered end saved everything.
  EXPECT_TRUE(Exists(dir.Path() + "start/AreaList.ini"));
  EXPECT_TRUE(Exists(dir.Path() + "start/Msgbase/Velmaris.Dupes"));
  EXPECT_TRUE(Exists(dir / "Velmaris.reg"));
  // The guard is free for the next start.
  TVelmarisApp next(Options());
  EXPECT_TRUE(next.Start());
}

// A program started from the desktop has no terminal: a message base
// folder that lacks the files of areas whose record says they held mail is
// said in a box naming the folder and those areas, also when the folder
// still holds the lock and the duplicate database, whatever was read before
// it went, whatever the other areas hold, and after a batch import was
// refused there (the base is out of reach: nothing is stored). The
// maintenance at start writes no index where an area's files were: the
// next start says it again.
TEST_F(StartupWindowsTest, AVanishedMessageBaseIsSaidInABoxAtStart) {
  struct Row {
    const char* what;
    const char* imported;  // areas whose mail came by an import, between blanks
    const char* written;   // an area with a message written here
    bool read;             // every area opened and its first message read
    const char* kept;      // an area whose files stay
    bool importAfter;      // a batch import into the emptied folder (RU.OTHER)
    const char* said;      // what the box says of the folder
    const char* named;
    bool maintain = false;  // maintenance at start, and the program started twice
  } rows[] = {
      {"imported, not read", "RU.ECHO", nullptr, false, nullptr, false, " is empty", "(RU.ECHO)"},
      {"opened and read", "RU.ECHO", nullptr, true, nullptr, false, " is empty", "(RU.ECHO)"},
      {"only NETMAIL", "", "NETMAIL", false, nullptr, false, " is empty", "(NETMAIL)"},
      {"one area's files gone", "RU.ECHO RU.KEPT", nullptr, true, "RU.KEPT", false,
       " lacks the files", "(RU.ECHO)"},
      {"a batch import into the emptied folder", "RU.ECHO RU.OTHER", nullptr, false, nullptr, true,
       " is empty", "(RU.ECHO, RU.OTHER)"},
      {"one area's files gone, maintained at start", "RU.ECHO RU.KEPT", nullptr, false, "RU.KEPT",
       false, " lacks the files", "(RU.ECHO)", true},
      {"emptied, maintained at start", "RU.ECHO", "NETMAIL", false, nullptr, false, " is empty",
       "(NETMAIL, RU.ECHO)", true},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string start = dir.Path() + "start " + std::to_string(++n) + "/";
    const std::string registry = dir / ("Velmaris " + std::to_string(n) + ".reg");
    ASSERT_EQ(mkdir(start.c_str(), 0700), 0);
    std::string inbound;
    {
      TConfigSession session(start, registry);
      session.Load();
      TConfigStore& store = session.Store();
      inbound = store.Values()->InboundDir();
      int serial = 0;
      std::istringstream imported(r.imported);
      for (std::string name; imported >> name;) {
        TArea* area = store.AddAreaQuiet(name, name, AreaTypeCode::Echomail, nullptr);
        ASSERT_NE(area, nullptr);
        area->QueueMail(MakeMail(++serial), false);
        ASSERT_TRUE(area->WriteQueuedMail(true, true));
      }
      if (r.maintain) store.SettingsModel().SetNumber(SettingId::MaintainOn, 1);
      if (r.written) {
        TArea* area = store.FindArea(r.written);
        area->QueueMail(MakeMail(++serial), false);
        ASSERT_TRUE(area->WriteQueuedMail());
      }
      // As the message list reads: the import marks go with the opening,
      // the first message is the last read one.
      for (TArea* area : store.Areas().Areas()) {
        if (!r.read || area->Count == 0) continue;
        ASSERT_TRUE(area->OpenIndex());
        area->ChangeHeaderFlags(0, MsgFlag::Unread, FlagOperation::Clear);
        area->LastRead = 0;
        area->CloseIndex();
      }
      ASSERT_TRUE(session.Save());
    }
    const std::string base = start + "Msgbase/";
    ASSERT_EQ(
        rename((start + "Msgbase").c_str(), (dir.Path() + "away " + std::to_string(n)).c_str()), 0);
    ASSERT_EQ(mkdir((start + "Msgbase").c_str(), 0700), 0);
    {
      TDupeChecker keys(base + kDupesFileName);
      keys.CheckAndAdd(1);
    }
    if (r.kept) {
      for (const char* ext : {".PackedIndex", ".PackedBody"})
        ASSERT_EQ(rename((dir.Path() + "away " + std::to_string(n) + "/" + r.kept + ext).c_str(),
                         (base + r.kept + ext).c_str()),
                  0);
    }
    if (r.importAfter) {
      PackedFields m;
      m.origNode = 1;
      m.origNet = 5030;
      m.text = "AREA:RU.OTHER\r\x01MSGID: 2:5030/1 0000d001\rNew.\r";
      platform::WriteFileAtomic(inbound + "0000d001.pkt", PacketOf(PeerHeader(), PackedMessage(m)));
      std::string out;
      ASSERT_EQ(RunShell(ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(start) +
                             " --registry " + ShellQuote(registry) + " import 2>&1",
                         &out),
                1)
          << out;
      EXPECT_NE(out.find("Nothing is stored; the mail waits in the inbound."), std::string::npos)
          << out;
      EXPECT_FALSE(platform::FileExists(base + "RU.OTHER.PackedIndex")) << out;
      EXPECT_TRUE(platform::FileExists(inbound + "0000d001.pkt"));
    }
    for (int run = 1; run <= (r.maintain ? 2 : 1); ++run) {
      SCOPED_TRACE(run == 1 ? "the first start" : "the next start");
      BoxAnswerer answerer;
      TVelmarisApp app({start, registry, dir / "guard.lock"});
      ASSERT_TRUE(app.Start());
      EXPECT_EQ(GetMaintainWindow() != nullptr, r.maintain);
      ASSERT_TRUE(platform::GetDispatcher().RunUntil([] { return !GetMaintainWindow(); },
                                                     std::chrono::seconds(60)));
      app.Shutdown();
      EXPECT_FALSE(platform::FileExists(base + "RU.ECHO.PackedIndex"));
      if (r.written) {
        EXPECT_FALSE(platform::FileExists(base + r.written + ".PackedIndex"));
      }
      EXPECT_EQ(answerer.texts.size(), 1);
      if (answerer.texts.size() != 1) continue;
      EXPECT_TRUE(answerer.texts[0].startsWith(
          QString::fromUtf8(("The message base folder " + base + r.said).c_str())))
          << answerer.texts[0].toStdString();
      EXPECT_TRUE(answerer.texts[0].contains(QString("had messages ") + r.named))
          << answerer.texts[0].toStdString();
      EXPECT_EQ(answerer.icons[0], QMessageBox::Warning);
    }
  }
}

// A box that names many areas stays one box: its text begins above, the
// whole line, every area named, stands in its details, which are open and
// scroll.
TEST_F(StartupWindowsTest, TheVanishedBaseBoxNamesEveryArea) {
  SetUpStart();
  const std::string start = dir.Path() + "start/";
  std::vector<std::string> names;
  {
    TConfigSession session(start, dir / "Velmaris.reg");
    session.Load();
    for (int i = 1; i <= 40; ++i) {
      names.push_back("RU.AREA." + std::to_string(i));
      TArea* area =
          session.Store().AddAreaQuiet(names.back(), names.back(), AreaTypeCode::Echomail, nullptr);
      ASSERT_NE(area, nullptr);
      area->QueueMail(MakeMail(i), false);
      ASSERT_TRUE(area->WriteQueuedMail(true, true));
    }
    ASSERT_TRUE(session.Save());
  }
  ASSERT_EQ(rename((start + "Msgbase").c_str(), (dir.Path() + "away").c_str()), 0);
  QStringList details;
  int boxes = 0;
  bool scrolls = false;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      ++boxes;
      details.push_back(box->text() + "\n" + box->detailedText());
      for (QTextEdit* field : box->findChildren<QTextEdit*>())
        scrolls = scrolls || (field->isVisible() && field->toPlainText() == box->detailedText());
      box->button(QMessageBox::Ok)->click();
    }
  });
  timer.start();
  TVelmarisApp app(Options());
  ASSERT_TRUE(app.Start());
  ASSERT_EQ(boxes, 1);
  EXPECT_TRUE(
      details[0].startsWith(QString::fromUtf8(("The message base folder " + start).c_str())))
      << details[0].toStdString();
  for (const std::string& name : names)
    EXPECT_TRUE(
        details[0].contains(QString::fromStdString(name + (name == names.back() ? ")" : ","))))
        << name;
  EXPECT_TRUE(scrolls);
}

// An index that can be read only in part shows the area with the records
// that could be read: the start says so in a box, as the batch's area list
// says it, and the message list's status line says it too.
TEST_F(StartupWindowsTest, ADamagedIndexIsSaidInABoxAtStart) {
  SetUpStart();
  const std::string start = dir.Path() + "start/";
  {
    TConfigSession session(start, dir / "Velmaris.reg");
    session.Load();
    TArea* area =
        session.Store().AddAreaQuiet("RU.TEST", "RU.TEST", AreaTypeCode::Echomail, nullptr);
    ASSERT_NE(area, nullptr);
    for (int i = 1; i <= 7; ++i) area->QueueMail(MakeMail(i), false);
    ASSERT_TRUE(area->WriteQueuedMail());
    ASSERT_TRUE(session.Save());
  }
  // The second record's chunk loses its length: the chain breaks after one.
  const std::string index = start + "Msgbase/RU.TEST.PackedIndex";
  std::string bytes = platform::ReadFile(index);
  const size_t second =
      8 + 2 + (static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8);
  ASSERT_LT(second + 2, bytes.size());
  bytes[second] = bytes[second + 1] = 0;
  platform::WriteFileAtomic(index, bytes);
  BoxAnswerer answerer;
  TVelmarisApp app(Options());
  ASSERT_TRUE(app.Start());
  ASSERT_EQ(answerer.texts.size(), 1);
  EXPECT_TRUE(answerer.texts[0].startsWith(QString::fromUtf8(
      ("area RU.TEST: The index " + index + " is damaged: 1 of 7 records").c_str())))
      << answerer.texts[0].toStdString();
  EXPECT_EQ(answerer.icons[0], QMessageBox::Warning);
  TArea* area = app.MainWindow()->ConfigStore().FindArea("RU.TEST");
  ASSERT_NE(area, nullptr);
  EXPECT_NE(MsgListStatusText(*area, area->Count).find("is damaged: 1 of 7 records"),
            std::string::npos);
  // The list on it, on this small screen (800 x 600): the status line holds
  // the index's whole path (the test's deep folder), yet the window opens
  // at the width stored, with its frame on the screen, and stores that
  // width again. The line is cut to its room; its tool tip is whole.
  PlacementRegistry placement("Software\\Brimvale\\Velmaris\\Placement");
  for (const auto& [name, value] :
       {std::pair{"Left", 20}, {"Top", 30}, {"Width", 600}, {"Height", 400}, {"State", 1}})
    placement.WriteInteger("MessageReader", name, value);
  TMessageListWindow* list = app.MainWindow()->OpenMessageList(*area);
  ASSERT_NE(list, nullptr);
  list->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
  QCoreApplication::processEvents();
  auto* status = list->findChild<TStatusLabel*>("StatusPanel0");
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->text().contains(QString::fromStdString(index)))
      << status->text().toStdString();
  const QRect screen = list->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(list->frameGeometry()))
      << list->frameGeometry().width() << " wide at " << list->frameGeometry().x();
  EXPECT_EQ(list->width(), 600);
  EXPECT_NE(status->ShownText(), status->text());
  EXPECT_LE(status->fontMetrics().horizontalAdvance(status->ShownText()), status->width());
  list->findChild<TBetterPlacement*>()->Save();
  EXPECT_EQ(placement.ReadInteger("MessageReader", "Width", -1), 600);
  list->close();
}

TEST_F(StartupWindowsTest, SecondCopyIsToldAndCreatesNoWindow) {
  SetUpStart();
  TVelmarisApp first(Options());
  ASSERT_TRUE(first.Start());
  ASSERT_EQ(CountWindows("KQMainWindow"), 1);
  {
    BoxAnswerer answerer;
    TVelmarisApp second(Options());
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(second.MainWindow(), nullptr);
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_EQ(answerer.texts[0], QString::fromUtf8("Velmaris 95 läuft bereits! Bitte benutzen Sie "
                                                   "die bereits laufende Kopie von Velmaris 95!"));
    EXPECT_EQ(answerer.icons[0], QMessageBox::Information);
    EXPECT_EQ(CountWindows("KQMainWindow"), 1);
    EXPECT_EQ(CountWindows("SplashWin"), 0);
  }
  // The first copy runs on untouched, its services still in place.
  EXPECT_EQ(GetMainWindow(), first.MainWindow());
  EXPECT_TRUE(IsDupeCheckerOpen());
  EXPECT_NE(dynamic_cast<QtDispatcher*>(&platform::GetDispatcher()), nullptr);
  EXPECT_NE(dynamic_cast<QtPrompter*>(&platform::GetPrompter()), nullptr);
}

TEST_F(StartupWindowsTest, GuardFailureIsAnError) {
  SetUpStart();
  TStartOptions options = Options();
  options.guardPath = dir / "no-such-directory/guard.lock";
  BoxAnswerer answerer;
  TVelmarisApp app(options);
  EXPECT_FALSE(app.Start());
  ASSERT_EQ(answerer.texts.size(), 1);
  EXPECT_EQ(answerer.texts[0], "Unerwarteter Fehler beim Instanzenprotokoll!");
  EXPECT_EQ(answerer.icons[0], QMessageBox::Critical);
  EXPECT_EQ(CountWindows("KQMainWindow"), 0);
  EXPECT_FALSE(IsDupeCheckerOpen());
}

TEST_F(StartupWindowsTest, FailureWhileStartingLeavesNoWindow) {
  SetUpStart();
  dir.Write("Velmaris.reg", "not a registry file\n");
  {
    TVelmarisApp app(Options());
    EXPECT_THROW(app.Start(), platform::ERegistry);
    EXPECT_EQ(CountWindows("SplashWin"), 0);
    EXPECT_EQ(CountWindows("KQMainWindow"), 0);
    EXPECT_EQ(GetMainWindow(), nullptr);
    app.Shutdown();
    EXPECT_FALSE(IsDupeCheckerOpen());
  }
  // Nothing was written over the file, and the guard is free again.
  EXPECT_EQ(dir.Read("Velmaris.reg"), "not a registry file\n");
  std::remove((dir / "Velmaris.reg").c_str());
  TVelmarisApp next(Options());
  EXPECT_TRUE(next.Start());
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(StartupWindowsTest, ExitEndsTheProgramWhileOtherWindowsAreShown) {
  SetUpStart();
  struct Way {
    const char* name;
    std::function<void(TKQMainWindow&)> close;
  } ways[] = {
      {"Exit", [](TKQMainWindow& w) { w.findChild<QAction*>("Beenden1")->trigger(); }},
      {"closing the main window", [](TKQMainWindow& w) { w.close(); }},
  };
  size_t logs = 0;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    TVelmarisApp app(Options());
    ASSERT_TRUE(app.Start());
    TKQMainWindow& main = *app.MainWindow();
    // A mailer window with a log worth posting, and the file request editor.
    TMailer* profile = GetMailerConfig()->AddMailer(main.ConfigStore());
    auto* mailer = dynamic_cast<TMailerForm*>(profile->Window());
    ASSERT_NE(mailer, nullptr);
    mailer->Session().AddLogLine("DEBG left open at the end");
    bool timedOut = false;
    QTimer::singleShot(0, &main, [&] {
      mailer->show();
      main.findChild<QAction*>("ShowFred")->trigger();
      EXPECT_TRUE(main.FileReqEditor().isVisible());
      way.close(main);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] {
      timedOut = true;
      QApplication::exit(3);
    });
    limit.start(120000);
    EXPECT_EQ(app.Run(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(CountWindows("FileReqEditor"), 0);
    EXPECT_EQ(CountWindows("MailerForm"), 0);
    // The start directory is free and REPORT holds the mailer's log.
    std::string out;
    EXPECT_EQ(RunBatch(dir.Path() + "start/", dir / "Velmaris.reg", {"dump", "REPORT"}, &out), 0)
        << out;
    EXPECT_EQ(Count(out, " Mailer Log\""), ++logs) << out;
    EXPECT_NE(out.find("DEBG left open at the end"), std::string::npos);
  }
}

// The text of a value under a key of the program's registry text ("" when
// the key or the value is missing).
std::string RegistryValue(const std::string& text, const std::string& key,
                          const std::string& name) {
  const std::string head = "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\" + key + "]\n";
  const size_t start = text.find(head);
  if (start == std::string::npos) return "";
  const size_t end = text.find("\n[", start + head.size());
  const std::string body = text.substr(start + head.size(), end - start - head.size());
  const std::string prefix = "\"" + name + "\"=";
  const size_t at = body.find(prefix);
  if (at == std::string::npos) return "";
  const size_t eol = body.find('\n', at);
  return body.substr(at + prefix.size(), eol - at - prefix.size());
}

std::string Dword(int n) {
  char text[20];
  std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(n));
  return text;
}

// Whether the configuration stored in the start directory lists an area of
// that name (as the batch driver, which loads it, says).
bool ListsArea(const std::string& startDir, const std::string& registry, const std::string& name) {
  std::string out;
  return RunBatch(startDir, registry, {"areas"}, &out) == 0 &&
         out.find("\"name\":\"" + name + "\"") != std::string::npos;
}

// Every list the configuration holds is written whole at the end, whatever
// saves while the program shuts down: the mailer windows post their logs
// after a call (which creates REPORT when it is missing), and other lists
// may change and save as the windows go.
TEST_F(StartupWindowsTest, ExitAfterACallKeepsEveryListInTheRegistry) {
  struct Row {
    const char* name;
    bool reportBefore;  // REPORT exists before the call
    // Run as the mailer window goes, on the way out.
    std::function<void(TConfigStore&)> asTheWindowGoes;
    int mailboxes;
    const char* lateArea;
  } rows[] = {
      {"no REPORT yet", false, nullptr, 1, nullptr},
      {"REPORT there", true, nullptr, 1, nullptr},
      {"a mailbox added as the window goes", false,
       [](TConfigStore& store) { store.AddDefaultMailbox(); }, 2, nullptr},
      {"an area created as the window goes", true,
       [](TConfigStore& store) {
         store.AddAreaQuiet("LATE.AREA", "LATE.AREA", AreaTypeCode::Echomail, nullptr);
       },
       1, "LATE.AREA"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir here;
    ASSERT_EQ(mkdir((here.Path() + "start").c_str(), 0700), 0);
    // The program puts the line device's debug log into its start directory,
    // not into the working folder (here, the build's).
    SetTapiDebugLogPath("");
    const TStartOptions options{here.Path() + "start/", here / "Velmaris.reg", here / "guard.lock"};
    std::string profileName;
    {
      TVelmarisApp app(options);
      ASSERT_TRUE(app.Start());
      TKQMainWindow& main = *app.MainWindow();
      TConfigStore& store = main.ConfigStore();
      // An uplink with its mailbox, called by a profile over the fake modem
      // that the EMSI test peer answers; saved as the settings' OK saves.
      TNetLink* link = store.Uplinks().GetItem(0);
      link->UplinkAddress.SetText("2:5020/1042");
      link->SysopAddress.SetText("2:5020/1042.7");
      TMailer* profile = GetMailerConfig()->AddMailer(store);
      profileName = profile->Name();
      TMailBox* box = store.AddDefaultMailbox();
      box->Address.SetText("2:5020/1042");
      box->Numbers = {"555-1234"};
      box->Command = profileName;
      if (row.reportBefore) {
        ASSERT_NE(
            store.AddAreaQuiet(kReportAreaName, kReportAreaName, AreaTypeCode::Report, nullptr),
            nullptr);
      }
      platform::MakeDirs(here / "peer-in");
      FakeModem modem(
          here, {"--peer", CommandWord(EMSIPEER) + " --inbound " + CommandWord(here / "peer-in") +
                               " --log " + CommandWord(here / "peer.log")});
      store.SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
      ASSERT_TRUE(store.SaveConfiguration());
      auto* mailer = dynamic_cast<TMailerForm*>(profile->Window());
      ASSERT_NE(mailer, nullptr);
      mailer->SelectDevice("Line");
      mailer->Session().ResetRedial();
      ASSERT_TRUE(mailer->Session().PollAddress("2:5020/1042")) << mailer->Session().Error();
      platform::GetDispatcher().RunUntil(
          [&] { return mailer->Session().Finished() && mailer->Device().IsIdle(); }, kPatience * 2);
      ASSERT_TRUE(mailer->Session().Completed()) << here.Read("peer.log");
      if (row.asTheWindowGoes)
        QObject::connect(mailer, &QObject::destroyed,
                         [&store, &row] { row.asTheWindowGoes(store); });
      QTimer::singleShot(0, &main, [&main] { main.findChild<QAction*>("Beenden1")->trigger(); });
      EXPECT_EQ(app.Run(), 0);
    }
    const std::string text = here.Read("Velmaris.reg");
    EXPECT_EQ(RegistryValue(text, "Lines", "Count"), Dword(1));
    EXPECT_EQ(RegistryValue(text, "Lines\\Mailer1", "Name"), "\"" + profileName + "\"");
    EXPECT_EQ(RegistryValue(text, "Mailboxes", "Count"), Dword(row.mailboxes));
    const std::string start = here.Path() + "start/";
    ASSERT_TRUE(platform::FileExists(start + "cmdebug.txt"));
    EXPECT_NE(platform::ReadFile(start + "cmdebug.txt").find(" Dialing ATDT"), std::string::npos);
    EXPECT_FALSE(platform::FileExists("cmdebug.txt"));
    EXPECT_TRUE(ListsArea(start, here / "Velmaris.reg", kReportAreaName));
    if (row.lateArea) {
      EXPECT_TRUE(ListsArea(start, here / "Velmaris.reg", row.lateArea));
    }
    // The next start has the profile, and REPORT holds the call's log.
    std::string out;
    EXPECT_EQ(RunBatch(start, here / "Velmaris.reg", {"dump", "REPORT"}, &out), 0) << out;
    EXPECT_EQ(Count(out, " Mailer Log\""), 1) << out;
    TVelmarisApp next(options);
    ASSERT_TRUE(next.Start());
    std::vector<std::string> names;
    for (int i = 0; i < GetMailerConfig()->Mailers().GetCount(); ++i)
      names.push_back(GetMailerConfig()->Mailers().GetMailer(i)->Name());
    EXPECT_EQ(names, std::vector<std::string>{profileName});
  }
}

TEST_F(StartupWindowsTest, SplashWindow) {
  TSplashWin splash;
  // ShowNow returns once the splash has been painted on its shown window.
  PaintCounter paints;
  splash.installEventFilter(&paints);
  splash.ShowNow();
  ASSERT_NE(splash.windowHandle(), nullptr);
  EXPECT_TRUE(splash.windowHandle()->isExposed());
  EXPECT_GE(paints.count, 1);
}

TEST_F(StartupWindowsTest, AboutBox) {
  TAboutDialog about;
  // The button closes it; closing counts as OK.
  QTimer::singleShot(50, &about, [&] { about.findChild<QPushButton*>("Button1")->click(); });
  EXPECT_EQ(about.exec(), QDialog::Accepted);
  QTimer::singleShot(50, &about, [&] { about.close(); });
  EXPECT_EQ(about.exec(), QDialog::Accepted);
}

}  // namespace
}  // namespace velmaris::test
