// Every dialog reachable from the settings pages and the main window's
// commands, run through its real modal loop and closed once by OK, once by
// Cancel and once by Escape: a dialog that frees itself while its owner
// still holds it aborts this suite. And Escape on a question box, through
// the real message boxes, answers what ends the command.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "MainWindowFixture.h"
#include "app/MsgWin.h"
#include "app/QtPrompter.h"
#include "app/SettingsDialog.h"
#include "archive/PackerConfig.h"
#include "core/NetLink.h"
#include "core/forms/FormText.h"
#include "mailer/Mailers.h"
#include "processing/forms/JobWindows.h"
#include "widgets/PageControl98.h"

namespace velmaris::test {
namespace {

enum class CloseBy { OK, Cancel, Escape };

const char* NameOf(CloseBy how) {
  return how == CloseBy::OK ? "OK" : how == CloseBy::Cancel ? "Cancel" : "Escape";
}

// The button of a window that means OK or Cancel, by its role in a button
// box or by its caption.
QAbstractButton* RoleButton(QWidget* window, CloseBy how) {
  for (auto* box : window->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* b : box->buttons()) {
      const auto role = box->buttonRole(b);
      if ((how == CloseBy::OK && role == QDialogButtonBox::AcceptRole) ||
          (how == CloseBy::Cancel && role == QDialogButtonBox::RejectRole))
        return b;
    }
  const QStringList captions = how == CloseBy::OK
                                   ? QStringList{"OK", "Ok", "ОК"}
                                   : QStringList{"Cancel", "Отмена", "Abort", "Abbruch"};
  for (auto* b : window->findChildren<QPushButton*>())
    if (b->isVisible() && captions.contains(QString(b->text()).remove('&'))) return b;
  return nullptr;
}

// The window waited for: the modal one, else a dialog shown outside the
// owner that waits for it by processing messages.
QWidget* WaitedWindow(const QWidget* owner) {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != owner && w->isVisible() && qobject_cast<QDialog*>(w)) return w;
  return nullptr;
}

// Closes the next window that comes up modal, once it is shown, and
// remembers what it found. A window that stays open after its OK (an input
// it refuses) is left with Escape, so that no loop is left running.
class ModalCloser : public QObject {
 public:
  explicit ModalCloser(CloseBy how, const QWidget* owner = nullptr) : how_(how), owner_(owner) {
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_.start(10);
  }
  bool Found() const { return !title_.isNull(); }
  QString Title() const { return title_; }
  bool HadButton() const { return hadButton_; }
  bool StayedOpen() const { return stayedOpen_; }
  QString Box() const { return box_; }
  // The window was found and is closed again (a window that does not block
  // its caller, such as a mailer profile's properties, closes later).
  bool Settled() const { return Found() && (!acted_ || !acted_->isVisible()); }

 private:
  void Tick() {
    QWidget* modal = WaitedWindow(owner_);
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {  // none expected: noted, left
      box_ = box->text();
      QTest::keyClick(box, Qt::Key_Escape);
      return;
    }
    if (modal == acted_) {  // still open: refused
      stayedOpen_ = true;
      QTest::keyClick(modal, Qt::Key_Escape);
      return;
    }
    acted_ = modal;
    title_ = modal->windowTitle().isNull() ? QString("") : modal->windowTitle();
    if (how_ == CloseBy::Escape) {
      QTest::keyClick(modal, Qt::Key_Escape);
      hadButton_ = true;
    } else if (QAbstractButton* b = RoleButton(modal, how_)) {
      hadButton_ = true;
      b->click();
    } else {
      QTest::keyClick(modal, Qt::Key_Escape);
    }
  }

  CloseBy how_;
  const QWidget* owner_;
  QTimer timer_;
  QPointer<QWidget> acted_;
  QString title_, box_;
  bool hadButton_ = false, stayedOpen_ = false;
};

class DialogCloseTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Prepare({{"ECHO.ONE", Times(3, MsgFlag::Unread)}});
    Open();
  }
  TConfigStore& Store() { return window->ConfigStore(); }
  int Row(const std::string& name) { return Store().Areas().IndexOfName(name); }
  void Trigger(const char* name) {
    QAction* action = window->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }
};

// A button of a settings page that opens a modal dialog; prepare makes the
// entry it works on.
struct SettingsRow {
  const char* page;
  const char* button;
  const char* prepare;  // a button clicked first (an entry added), or null
  const char* select;   // a list box whose row `row` is selected first, or null
  int row;
  bool hasOK;            // the dialog has an OK (assistants have Next)
  const char* skipNote;  // non-null: not run yet, and why
};

const SettingsRow kSettingsRows[] = {
    {"TabVerbindungen", "ShowLinkProperties", nullptr, "LinkList", 0, true, nullptr},
    {"TabVerbindungen", "AddLink", nullptr, nullptr, 0, false, nullptr},
    {"TabVerbindungen", "KillLink", nullptr, "LinkList", 0, false, nullptr},
    {"TabMailboxen", "MailboxProperties", "AddMB", nullptr, 0, true, nullptr},
    {"TabAreas", "ShowAreaProperties", nullptr, "InfoAreaName", 3, true, nullptr},
    {"TabAreas", "ShowAreaProperties", nullptr, "InfoAreaName", 0, true, nullptr},  // NETMAIL
    {"TabAreas", "AreaPrototype", nullptr, nullptr, 0, true, nullptr},
    {"TabAreas", "DoAddArea", nullptr, nullptr, 0, false, nullptr},
    {"TabAreas", "KillArea", nullptr, "InfoAreaName", 3, false, nullptr},
    {"TabPacker", "PackerProperties", nullptr, "PackerList", 0, true, nullptr},
    {"TabPacker", "JobProperties", "Button34", nullptr, 0, true, nullptr},
    {"TabMailer", "ShowMailerProperties", "Button53", nullptr, 0, true, nullptr},
    {"TabListen", "Button37", "Button31", nullptr, 0, true, nullptr},  // browse a node list
    {"TabSonstiges", "GetInbound", nullptr, nullptr, 0, true, nullptr},
    {"TabAnzeige", "ALFont", nullptr, nullptr, 0, true, nullptr},
};

TEST_F(DialogCloseTest, EveryDialogOfTheSettingsPagesClosesByOkCancelAndEscape) {
  for (const SettingsRow& r : kSettingsRows) {
    if (r.skipNote && !std::getenv("VELMARIS_ALL_DIALOGS")) {
      std::cout << "[ NOTE     ] " << r.button << " not run: " << r.skipNote << "\n";
      continue;
    }
    for (CloseBy how : {CloseBy::OK, CloseBy::Cancel, CloseBy::Escape}) {
      if (how == CloseBy::OK && !r.hasOK) continue;
      SCOPED_TRACE(std::string(r.button) + " by " + NameOf(how));
      TSettingsDialog settings(Store(), GetPackerList(), nullptr);
      settings.show();
      auto* page = settings.findChild<QWidget*>(r.page);
      ASSERT_NE(page, nullptr);
      settings.Notebook()->setCurrentWidget(page);
      if (r.prepare) settings.findChild<QPushButton*>(r.prepare)->click();
      if (r.select) settings.findChild<QListWidget*>(r.select)->setCurrentRow(r.row);
      auto* button = settings.findChild<QPushButton*>(r.button);
      ASSERT_NE(button, nullptr);
      ModalCloser closer(how, &settings);
      button->click();
      EXPECT_TRUE(QTest::qWaitFor([&] { return closer.Settled(); }, 10000));
      EXPECT_TRUE(closer.Found());
      EXPECT_TRUE(closer.HadButton()) << closer.Title().toStdString();
      EXPECT_FALSE(closer.StayedOpen()) << closer.Title().toStdString();
      EXPECT_TRUE(closer.Box().isNull()) << closer.Box().toStdString();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      settings.CancelClick();
    }
  }
}

// The filter and autosend properties are windows of their own that free
// themselves when closed; the entry lets them go first.
TEST_F(DialogCloseTest, PropertiesWindowsOfTheListPagesFreeThemselvesOnce) {
  const struct {
    const char* page;
    const char* add;
    const char* props;  // null: adding opens them
  } rows[] = {{"TabSheet12", "Button6", nullptr},
              {"TabSheet12", "Button30", nullptr},
              {"TabSheet2", "Button24", "AutoSendProperties"}};
  for (const auto& r : rows)
    for (CloseBy how : {CloseBy::OK, CloseBy::Cancel}) {
      SCOPED_TRACE(std::string(r.add) + " by " + NameOf(how));
      TSettingsDialog settings(Store(), GetPackerList(), nullptr);
      settings.show();
      settings.Notebook()->setCurrentWidget(settings.findChild<QWidget*>(r.page));
      settings.findChild<QPushButton*>(r.add)->click();
      if (r.props) settings.findChild<QPushButton*>(r.props)->click();
      QPointer<QWidget> window;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != &settings && w != this->window.get() &&
            RoleButton(w, CloseBy::Cancel))
          window = w;
      ASSERT_FALSE(window.isNull());
      QAbstractButton* button = RoleButton(window, how);
      ASSERT_NE(button, nullptr);
      button->click();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_TRUE(window.isNull());
      settings.CancelClick();  // the new entry goes, with nothing left to free
    }
}

// The settings window itself and the modal dialogs of the main window's
// commands.
TEST_F(DialogCloseTest, TheMainWindowsDialogsCloseByOkCancelAndEscape) {
  Store().AddDefaultMailbox();
  Store().Uplinks().GetItem(0)->Mailbox = 0;  // the poll dialog lists it
  for (const char* command : {"Settings", "Ingo1", "NetCall"}) {
    for (CloseBy how : {CloseBy::OK, CloseBy::Cancel, CloseBy::Escape}) {
      if (how == CloseBy::Cancel && std::string(command) == "Ingo1") continue;  // OK only
      SCOPED_TRACE(std::string(command) + " by " + NameOf(how));
      ModalCloser closer(how);
      Trigger(command);
      EXPECT_TRUE(closer.Found());
      EXPECT_TRUE(closer.HadButton());
      EXPECT_FALSE(closer.Title().isEmpty()) << "a dialog without a caption";
      EXPECT_TRUE(closer.Box().isNull()) << closer.Box().toStdString();
      // A poll by OK runs the export first; the window waits for it before
      // the next command (and before it goes).
      EXPECT_TRUE(PumpUntil([this] { return !window->ExportWindow()->Running(); }));
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  }
}

// --- Question boxes -------------------------------------------------------------------------

// Answers the next message box by a key or by its close box.
class BoxCloser : public QObject {
 public:
  explicit BoxCloser(bool closeBox) : closeBox_(closeBox) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible() || box == done_) return;
      done_ = box;
      text_ = box->text();
      title_ = box->windowTitle();
      if (closeBox_)
        box->close();
      else
        QTest::keyClick(box, Qt::Key_Escape);
    });
    timer_.start(10);
  }
  QString Text() const { return text_; }
  QString Title() const { return title_; }

 private:
  bool closeBox_;
  QTimer timer_;
  QPointer<QMessageBox> done_;
  QString text_, title_;
};

TEST_F(DialogCloseTest, EscapeOrTheCloseBoxOnAQuestionEndsTheCommand) {
  QtPrompter real(window.get());
  platform::SetPrompter(&real);
  using namespace platform;
  // The box answers as CloseAnswer says (its table is in the prompter's test).
  const MsgButtons sets[] = {mbYes | mbNo, mbYes | mbNo | mbCancel, mbAbort | mbRetry | mbIgnore,
                             mbYes | mbYesToAll | mbNo | mbNoToAll, mbOk};
  for (bool closeBox : {false, true})
    for (MsgButtons buttons : sets) {
      BoxCloser closer(closeBox);
      const MsgButton answer = real.Ask(MsgKind::Confirmation, "Go on?", buttons);
      EXPECT_EQ(answer, CloseAnswer(buttons)) << buttons << (closeBox ? " closed" : " escaped");
      EXPECT_NE(answer, mbYes) << buttons;
    }
  // Escape on "catch up the selected areas?" leaves the messages unread.
  TEZBetterListBox* areas = window->AreaListBox();
  areas->ClearSelection();
  areas->SetSelected(Row("ECHO.ONE"), true);
  {
    BoxCloser closer(false);
    Trigger("Aufholen1");
  }
  EXPECT_EQ(Store().FindArea("ECHO.ONE")->UnreadCount, 3);
  platform::SetPrompter(&prompter);
}

// The box shows UTF-8 texts as they stand; a text that reached it with a
// stored ANSI (CP1251) name unconverted is read as ANSI text, not shown as
// replacement marks.
TEST_F(DialogCloseTest, AQuestionShowsRussianNamesReadably) {
  QtPrompter real(window.get());
  platform::SetPrompter(&real);
  const auto ansi = [](const char* utf8) {
    return platform::FromUtf8(utf8, platform::CodePage::CP1251);
  };
  const struct {
    std::string text, caption;
    const char *shown, *title;
  } rows[] = {
      {platform::AnsiToUtf8(" Autosend job " + ansi("Рассылка Ёлкину") + " could not"), "",
       " Autosend job Рассылка Ёлкину could not", ""},
      {" Autosend job " + ansi("Рассылка Ёлкину") + " could not", ansi("Эхо"),
       " Autosend job Рассылка Ёлкину could not", "Эхо"},
      {"Die Datei existiert schon. Möchten Sie?", "Привет", "Die Datei existiert schon. Möchten Sie?",
       "Привет"},
      {"The area " + ansi("RU.ФИДО") + " is in use", "", "The area RU.ФИДО is in use", ""},
  };
  for (const auto& row : rows) {
    BoxCloser closer(false);
    real.Ask(platform::MsgKind::Warning, row.text, platform::mbOk, row.caption);
    EXPECT_EQ(closer.Text().toStdString(), row.shown);
    // Without a caption the box carries the application's name.
    EXPECT_EQ(closer.Title(),
              *row.title ? QString::fromUtf8(row.title) : QApplication::applicationName());
  }
  platform::SetPrompter(&prompter);
}

// A box asked from a worker belongs to the window the user works in (the
// newest modal window, else the active window, a tool window handing on to
// its own window, else the main window), so that a window manager shows it
// above that window; a window that goes while the box is up takes the box
// along and the question gets the answer that ends the command.
TEST_F(DialogCloseTest, ABoxFromAWorkerBelongsToTheWindowInUse) {
  QtPrompter real(window.get());
  platform::SetPrompter(&real);
  window->show();
  TMailer* profile = GetMailerConfig()->AddMailer(window->ConfigStore());
  auto* mailer = dynamic_cast<QWidget*>(profile->Window());
  ASSERT_NE(mailer, nullptr);
  TSettingsDialog settings(Store(), GetPackerList(), nullptr);
  QWidget* list = window->OpenMessageList(*Area("ECHO.ONE"));
  ASSERT_NE(list, nullptr);
  QWidget palette(list, Qt::Tool);
  QPointer<QWidget> going = new QWidget;
  const auto activate = [](QWidget* w) {
    w->show();
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w)) << w->objectName().toStdString();
    return w;
  };
  struct Row {
    const char* name;
    std::function<QWidget*()> use;  // makes a window the one in use; the box's owner
    platform::MsgButtons buttons;
    platform::MsgButton answer;
    bool closeOwner = false;  // the owner goes while the box is up
  };
  const Row rows[] = {
      {"main window", [&] { return activate(window.get()); }, platform::mbOk, platform::mbOk},
      {"message window", [&] { return activate(list); }, platform::mbYes | platform::mbNo,
       platform::mbNo},
      {"mailer window", [&] { return activate(mailer); }, platform::mbOk, platform::mbOk},
      {"tool window of the message window",
       [&] {
         activate(&palette);
         return list;
       },
       platform::mbOk, platform::mbOk},
      {"no window active",
       [&] {
         palette.hide();
         QApplication::setActiveWindow(nullptr);
         return window.get();
       },
       platform::mbOk, platform::mbOk},
      {"window that goes", [&] { return activate(going); }, platform::mbAbort | platform::mbRetry,
       platform::mbAbort, true},
      {"modal settings",
       [&] {
         settings.setWindowModality(Qt::ApplicationModal);
         return activate(&settings);
       },
       platform::mbOk, platform::mbOk},
      {"modal settings while no window is active",
       [&] {
         QApplication::setActiveWindow(nullptr);
         return &settings;
       },
       platform::mbOk, platform::mbOk},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QWidget* owner = r.use();
    // The box runs its own modal loop: a timer looks at it from inside.
    QWidget* boxOwner = nullptr;
    bool seen = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (seen || !box || !box->isVisible()) return;
      seen = true;
      boxOwner = box->parentWidget() ? box->parentWidget()->window() : nullptr;
      if (r.closeOwner)
        delete owner;
      else
        QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
    });
    timer.start(10);
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = real.Ask(platform::MsgKind::Warning, "Go on?", r.buttons); });
    EXPECT_TRUE(PumpUntil([&] { return answer != -1; }));
    worker.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(boxOwner, owner);
    EXPECT_EQ(answer, r.answer);
  }
  EXPECT_FALSE(going);
  platform::SetPrompter(&prompter);
}

}  // namespace
}  // namespace velmaris::test
