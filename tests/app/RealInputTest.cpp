// Real X input, as a user gives it: under an Xvfb of its own, every window
// that the modal settings open takes a click and typed keys and closes by
// its OK, the help viewer asked for there follows a link and takes keys,
// F1 in the speed-bar setup opens its page, and a speed-bar button is
// dragged along its bar and off it. The test starts Xvfb and runs the
// driving part of this file (RealInputChild) in a child process of this
// suite on that display; the child drives itself with xdotool, whose
// events come through the X server like a mouse's and a keyboard's.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "SettingsApplyFixture.h"
#include "app/HelpViewer.h"
#include "app/MsgWin.h"
#include "widgets/PageControl98.h"
#include "widgets/SpeedBar.h"
#include "widgets/SpeedbarSetup.h"

namespace velmaris::test {
namespace {

constexpr const char* kChildMark = "VELMARIS_REAL_INPUT_CHILD";
using namespace std::chrono_literals;

bool OnPath(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    if (access((dirs.substr(at, end - at) + "/" + tool).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

// ---------------------------------------------------------------- the test

class RealInputTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (pid_t* pid : {&child_, &xvfb_}) {
      if (*pid <= 0) continue;
      kill(*pid, SIGKILL);
      waitpid(*pid, nullptr, 0);
      *pid = -1;
    }
  }
  // Starts Xvfb on a display it finds free; its number once it is ready.
  std::string StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return {};
    xvfb_ = fork();
    if (xvfb_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(fds[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "1280x1024x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 120000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    return number;
  }
  // Waits for the child to end, with a generous limit; its exit code or -1.
  int WaitChild() {
    int status = 0;
    for (auto end = std::chrono::steady_clock::now() + 15min;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms))
      if (waitpid(child_, &status, WNOHANG) == child_) {
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    return -1;
  }
  pid_t xvfb_ = -1, child_ = -1;
  TempDir dir;
};

TEST_F(RealInputTest, WindowsFromModalDialogsAndSpeedBarDragsTakeRealXInput) {
  if (!OnPath("Xvfb") || !OnPath("xdotool"))
    GTEST_SKIP() << "needs Xvfb and xdotool (scripts/setup installs both)";
  const std::string display = StartXvfb();
  ASSERT_FALSE(display.empty()) << "Xvfb did not start";
  const std::string log = dir / "child.log";
  child_ = fork();
  if (child_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv(kChildMark, "1", 1);
    execl("/proc/self/exe", "test_app", "--gtest_also_run_disabled_tests",
          "--gtest_filter=RealInputChild.*", static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_EQ(WaitChild(), 0);
  const std::string out = dir.Read("child.log");
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// ---------------------------------------------------------------- the child

// Runs xdotool; true when it succeeded.
bool Xdo(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>("xdotool")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execvp("xdotool", argv.data());
    _exit(127);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool XMove(QPoint global) {
  return Xdo({"mousemove", std::to_string(global.x()), std::to_string(global.y())});
}

// Counts the mouse releases that reach a control, so that a click can be
// waited for.
class ReleaseCounter : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::MouseButtonRelease;
    return false;
  }
};
ReleaseCounter* releases = nullptr;

// A click at pos in w (its centre by default); true once it reached a control.
bool XClick(QWidget* w, QPoint pos = QPoint()) {
  const int before = releases->count;
  return XMove(w->mapToGlobal(pos.isNull() ? w->rect().center() : pos)) && Xdo({"click", "1"}) &&
         PumpUntil([before] { return releases->count > before; }, 120s);
}

bool IsWindowKind(QWidget* w) {
  return w->windowType() == Qt::Window || w->windowType() == Qt::Dialog;
}

template <class T>
T* Shown() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* w = qobject_cast<T*>(top); w && w->isVisible()) return w;
  return nullptr;
}

// Drives each window that a command opens: a click into its first line
// edit, a key typed there and taken back, and its OK. It acts from a timer
// of its own for each window, so inside the window's modal loop as well (a
// timer does not fire again inside its own handler).
class WindowDriver {
 public:
  // Clicks the button and waits until the window it opens was driven;
  // inner names a button of that window whose window is driven first.
  void Open(QWidget* button, const char* inner = nullptr) {
    ASSERT_NE(button, nullptr);
    QSet<QWidget*> known;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->isVisible()) known.insert(top);
    bool done = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w || !w->isVisible() || known.contains(w)) {
        w = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
          if (top->isVisible() && IsWindowKind(top) && !known.contains(top)) w = top;
      }
      if (!w) return;
      timer.stop();
      Drive(w, inner);
      done = true;
    });
    timer.start(20);
    ASSERT_TRUE(XClick(button));
    EXPECT_TRUE(PumpUntil([&] { return done; }, 900s)) << Name(button).toStdString();
  }
  QStringList driven, failures;

 private:
  static QString Name(QWidget* w) { return w->objectName() + " \"" + w->windowTitle() + "\""; }
  void Drive(QWidget* w, const char* inner) {
    const QPointer<QWidget> alive(w);
    driven << Name(w);
    if (const QString failure = Use(w, inner); !failure.isEmpty()) {
      failures << Name(w) + ": " + failure;
      if (auto* dialog = qobject_cast<QDialog*>(alive.data())) dialog->reject();
      if (alive) alive->close();
    }
  }
  // What failed, or nothing.
  QString Use(QWidget* w, const char* inner) {
    const QPointer<QWidget> alive(w);
    if (!QTest::qWaitForWindowExposed(w, 120000)) return "not shown";
    QLineEdit* edit = nullptr;
    for (QLineEdit* e : w->findChildren<QLineEdit*>())
      if (!edit && e->isVisible() && e->isEnabled() && !e->isReadOnly()) edit = e;
    if (!XClick(edit ? static_cast<QWidget*>(edit) : w, edit ? QPoint() : QPoint(2, 2)))
      return "a click does not reach it";
    if (edit) {
      const QString before = edit->text();
      Xdo({"key", "End"});
      Xdo({"type", "2"});
      if (!PumpUntil([&] { return alive && edit->text() == before + "2"; }, 120s))
        return "typed keys do not reach it";
      Xdo({"key", "BackSpace"});
      PumpUntil([&] { return !alive || edit->text() == before; }, 120s);
    }
    if (inner) Open(w->findChild<QPushButton*>(inner));
    QAbstractButton* ok = nullptr;
    for (auto* box : w->findChildren<QDialogButtonBox*>())
      if (!ok) ok = box->button(QDialogButtonBox::Ok);
    for (auto* b : w->findChildren<QPushButton*>())
      if (!ok && b->isVisible() && QStringList{"OK", "Ok"}.contains(QString(b->text()).remove('&')))
        ok = b;
    if (!ok || !XClick(ok) || !PumpUntil([&] { return !alive || !alive->isVisible(); }, 120s))
      return "OK does not close it";
    return {};
  }
};

class RealInputChild : public SettingsApplyTest {
 protected:
  void SetUp() override {
    if (!std::getenv(kChildMark)) GTEST_SKIP() << "runs in the child of RealInputTest";
    SettingsApplyTest::SetUp();
    Prepare({{"ECHO.ONE", {}}});
    Open();
    OpenSettings();
    releases = &counter_;
    qApp->installEventFilter(&counter_);
  }
  void TearDown() override {
    if (!std::getenv(kChildMark)) return;
    qApp->removeEventFilter(&counter_);
    SettingsApplyTest::TearDown();
  }
  ReleaseCounter counter_;
  // The button, with the pages it lies on shown, laid out where a click finds it.
  QPushButton* Reveal(const char* name) {
    QPushButton* button = Find<QPushButton>(name);
    for (QWidget* w = button; w && w->parentWidget(); w = w->parentWidget())
      if (auto* pages = qobject_cast<QStackedWidget*>(w->parentWidget()))
        pages->setCurrentWidget(w);
    QCoreApplication::processEvents();
    return button;
  }
  // F1 where the mouse clicked in w; the page the viewer shows then.
  QString HelpAt(QWidget* w, QPoint pos) {
    XClick(w, pos);
    PumpUntil([w] { return QApplication::activeWindow() == w->window(); }, 120s);
    Xdo({"key", "F1"});
    PumpUntil([] { return Shown<THelpViewer>() != nullptr; }, 120s);
    THelpViewer* viewer = Shown<THelpViewer>();
    return viewer ? viewer->source().fileName() : QString();
  }
};

// A button of the settings that opens a window; prepare is clicked first
// (an entry added), select picks row 0 of a list, inner opens a window of
// that window.
struct Row {
  const char *prepare, *select, *button, *inner;
};

const Row kRows[] = {
    {nullptr, nullptr, "Button6", nullptr},  // a filter: adding opens it
    {nullptr, nullptr, "Button30", nullptr},
    {"Button24", nullptr, "AutoSendProperties", nullptr},
    {"Button53", nullptr, "ShowMailerProperties", nullptr},
    {nullptr, "LinkList", "ShowLinkProperties", nullptr},
    {"AddMB", nullptr, "MailboxProperties", nullptr},
    {nullptr, nullptr, "AreaPrototype", "DisplayFilter"},
    {nullptr, "PackerList", "PackerProperties", nullptr},
    {"Button34", nullptr, "JobProperties", nullptr},
    {"Button31", nullptr, "Button37", nullptr},
    {nullptr, nullptr, "GetInbound", nullptr},
    {nullptr, nullptr, "ALFont", nullptr},
};

TEST_F(RealInputChild, DISABLED_DrivenByXdotool) {
  WindowDriver driver;
  QPointer<THelpViewer> viewer;
  dialog->hide();
  QTimer::singleShot(0, dialog.get(), [&] {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get(), 120000));
    for (const Row& r : kRows) {
      SCOPED_TRACE(r.button);
      if (r.prepare) {
        ASSERT_TRUE(XClick(Reveal(r.prepare)));
      }
      if (r.select) Find<QListWidget>(r.select)->setCurrentRow(0);
      driver.Open(Reveal(r.button), r.inner);
    }
    // Help asked in the settings: a link followed by a click, keys taken.
    EXPECT_EQ(HelpAt(dialog.get(), QPoint(3, 3)), "6000.html");
    viewer = Shown<THelpViewer>();
    ASSERT_TRUE(viewer && QTest::qWaitForWindowExposed(viewer, 120000));
    QTextCursor link = viewer->document()->find(QStringLiteral("Содержание"));
    link.setPosition(link.selectionStart() + 2);
    const bool followed = XClick(viewer->viewport(), viewer->cursorRect(link).center()) &&
                          PumpUntil([&] { return viewer->source().fileName() == "1.html"; }, 120s);
    EXPECT_TRUE(followed);
    if (followed) {
      Xdo({"key", "ctrl+a"});
      EXPECT_TRUE(PumpUntil([&] { return viewer->textCursor().hasSelection(); }, 120s));
    }
    // No window manager runs to offer a close box: the viewer is closed as
    // one would ask it to.
    viewer->close();
    dialog->reject();
  });
  dialog->exec();
  EXPECT_EQ(driver.failures.join("\n").toStdString(), "") << driver.driven.join(", ").toStdString();
  EXPECT_EQ(driver.driven.size(), static_cast<qsizetype>(std::size(kRows)) + 1);

  // The speed-bar setup of a message list: F1 opens its page, and a button
  // is dragged along the bar, then off it.
  TMessageListWindow* list = window->OpenMessageList(*Area("ECHO.ONE"));
  ASSERT_NE(list, nullptr);
  list->move(0, 0);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list, 120000));
  list->findChild<QAction*>("E1")->trigger();
  TSpeedbarSetupWindow* setup = Shown<TSpeedbarSetupWindow>();
  ASSERT_TRUE(setup && QTest::qWaitForWindowExposed(setup, 120000));
  EXPECT_EQ(HelpAt(setup, QPoint(3, 3)), "7000.html");
  if (THelpViewer* help = Shown<THelpViewer>()) help->close();
  TSpeedbarButton* button = nullptr;
  for (auto* b : list->findChild<TSpeedBar*>("MailToolbar")->findChildren<TSpeedbarButton*>())
    if (!button && b->isVisible()) button = b;
  ASSERT_NE(button, nullptr);
  TSpeedItem* item = button->Item();
  const auto drag = [&](QPoint by) {
    const QPoint from = button->mapToGlobal(button->rect().center());
    XMove(from);
    Xdo({"mousedown", "1"});
    for (int step = 1; step <= 4; ++step) {
      XMove(from + by * step / 4);
      QCoreApplication::processEvents();
    }
    Xdo({"mouseup", "1"});
  };
  const int left = item->Left();
  drag(QPoint(3 * button->width(), 0));
  EXPECT_TRUE(PumpUntil([&] { return item->Left() > left && button->isVisible(); }, 120s))
      << item->Left();
  drag(QPoint(0, 200));
  EXPECT_TRUE(PumpUntil([&] { return !item->Visible() && !button->isVisible(); }, 120s));
  EXPECT_EQ(Shown<TBtnControl>(), nullptr);
  XClick(setup->findChild<QPushButton*>("CloseBtn"));
  EXPECT_TRUE(PumpUntil([] { return Shown<TSpeedbarSetupWindow>() == nullptr; }, 120s));
}

}  // namespace
}  // namespace velmaris::test
