#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <sys/stat.h>

#include "QtTestApp.h"
#include "app/AboutDialog.h"
#include "app/KQMainWindow.h"
#include "app/QtDispatcher.h"
#include "app/QtPrompter.h"
#include "app/SplashWin.h"
#include "app/VelmarisApp.h"
#include "mailer/MailerSession.h"
#include "mailer/Mailers.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/MailerForm.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/GlobalDupeChecker.h"
#include "support/TempDir.h"
#include "widgets/EZBetterListBox.h"

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
  EXPECT_TRUE(Exists(dir.Path() + "start/Velmaris.Dupes"));
  EXPECT_TRUE(Exists(dir / "Velmaris.reg"));
  // The guard is free for the next start.
  TVelmarisApp next(Options());
  EXPECT_TRUE(next.Start());
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
