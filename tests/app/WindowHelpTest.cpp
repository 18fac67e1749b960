// F1 in each window of the program opens that window's help page in the
// help viewer, and the area-list manager's window list brings a window to
// the front.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <functional>

#include "MainWindowFixture.h"
#include "app/AddrBook.h"
#include "app/HelpViewer.h"
#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "app/SearchAssistent.h"
#include "app/SettingsDialog.h"
#include "archive/forms/UnpRep.h"
#include "core/WinLst.h"
#include "mailer/Mailers.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/MailerForm.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "nodelist/forms/ProcWin.h"
#include "platform/Help.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"
#include "processing/forms/AreaManagerWindow.h"
#include "processing/forms/FilterProperties.h"
#include "widgets/ModalHook.h"
#include "widgets/PageControl98.h"
#include "widgets/SpeedBar.h"
#include "widgets/SpeedbarSetup.h"

namespace velmaris::test {
namespace {

class WindowHelpTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Prepare({{"FIDO.GER", Times(2, 0)}});
    Open();
  }
  void TearDown() override {
    SetModalHook({});
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<THelpViewer*>(top)) top->close();
    MainWindowFixture::TearDown();
  }

  // The page the visible help viewer shows ("" when none is shown).
  static QString ShownPage() {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* viewer = qobject_cast<THelpViewer*>(top); viewer && viewer->isVisible())
        return viewer->source().fileName();
    return {};
  }

  // Shows and activates the window, presses F1 in its focused control (or
  // in the window) and returns the page shown.
  static QString PressF1(QWidget* w) {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<THelpViewer*>(top)) top->hide();
    w->show();
    w->raise();
    w->activateWindow();
    if (!QTest::qWaitFor([w] { return QApplication::activeWindow() == w; })) return "not active";
    KeyThroughWindow(w, Qt::Key_F1);
    return ShownPage();
  }

  void Command(const char* name) {
    QAction* action = window->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }

  // The page that F1 opens in the modal window that the command shows.
  QString PressF1InModal(const std::function<void()>& command) {
    QString page = "no window";
    SetModalHook([&page](QWidget* w) {
      if (page == "no window") page = PressF1(w);
      return int(QDialog::Rejected);
    });
    command();
    SetModalHook({});
    return page;
  }
};

template <class T>
T* TopLevel() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* w = qobject_cast<T*>(top); w && w->isVisible()) return w;
  return nullptr;
}

TEST_F(WindowHelpTest, FOneInEveryWindowOpensItsOwnPage) {
  using namespace platform;
  struct Window {
    const char* name;
    std::function<QWidget*()> open;
    int context;
  };
  TFilterList filters;
  TFilter* filter = filters.AddFilter("Spam", std::make_unique<TFilter>());
  TMailerConfig* mailers = GetMailerConfig();
  ASSERT_NE(mailers, nullptr);
  TMailer* profile = mailers->AddMailer(window->ConfigStore());
  ASSERT_NE(profile, nullptr);
  const std::vector<Window> windows = {
      {"main window", [&] { return static_cast<QWidget*>(window.get()); }, kHelpMainWindow},
      {"message list", [&] { return window->OpenMessageList(*Area("FIDO.GER")); },
       kHelpMessageList},
      {"address book",
       [&] {
         Command("Adressbuch1");
         return window->AddressBookWindow();
       },
       kHelpAddressBook},
      {"echo area manager", [&] { return window->EchoAreaManager(); }, kHelpAreaManager},
      {"file request editor", [&] { return &window->FileReqEditor(); }, kHelpFileRequest},
      {"search", [&] { return window->SearchWindow(); }, kHelpSearch},
      {"nodelist window", [&] { return window->ProcWindow(); }, kHelpNodelist},
      {"unpack window", [&] { return window->UnpackWindow(); }, kHelpUnpack},
      {"nodelist browser",
       [&] {
         Command("Nodelistensuche1");
         // The browser is disabled while its first filter runs, which starts
         // from its show event: wait until that pass has shown its result.
         const bool ready = QTest::qWaitFor(
             [] {
               TAdvNLLookup* b = TopLevel<TAdvNLLookup>();
               return b && b->isEnabled() && b->StatusBar->text().endsWith("entries shown");
             },
             60000);
         return ready ? TopLevel<TAdvNLLookup>() : nullptr;
       },
       kHelpNodelistBrowser},
      {"mailer window", [&] { return dynamic_cast<QWidget*>(profile->Window()); }, kHelpMailer},
      {"filter properties",
       [&] { return ShowFilterProperties(*filter, filters, window->ConfigStore()); }, kHelpFilter},
  };
  for (const Window& w : windows) {
    SCOPED_TRACE(w.name);
    QWidget* widget = w.open();
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(PressF1(widget), QStringLiteral("%1.html").arg(w.context));
    EXPECT_EQ(LastHelpContext(), w.context);
    widget->hide();
  }
  // The modal windows: the settings and the message editor's own.
  EXPECT_EQ(PressF1InModal([&] { window->SettingsClick(); }),
            QStringLiteral("%1.html").arg(kHelpSettings));
  window->OpenMessageList(*Area("FIDO.GER"))->Action("NewMail")->trigger();
  ASSERT_FALSE(TMessageEditor::OpenEditors().empty());
  TMessageEditor* editor = TMessageEditor::OpenEditors().back();
  EXPECT_EQ(PressF1(editor), QStringLiteral("%1.html").arg(kHelpEditor));
  editor->hide();
  // The speed-bar setup stays on top: its help shows above it.
  window->findChild<TSpeedBar*>("SpeedBar1")->Customize(kHelpMainWindow);
  auto* setup = TopLevel<TSpeedbarSetupWindow>();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(PressF1(setup), QStringLiteral("%1.html").arg(kHelpMainWindow));
  EXPECT_EQ(TopLevel<THelpViewer>()->parentWidget(), setup);
  setup->close();
}

TEST_F(WindowHelpTest, HelpAskedInTheModalSettingsIsReadFollowedAndClosed) {
  QPointer<THelpViewer> viewer;
  QTimer::singleShot(0, window.get(), [&] {
    auto* settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(PressF1(settings), "6000.html");
    viewer = TopLevel<THelpViewer>();
    ASSERT_TRUE(viewer && QTest::qWaitForWindowExposed(viewer));
    // The link to the contents, clicked where it shows.
    QTextCursor link = viewer->document()->find(QStringLiteral("Содержание"));
    link.setPosition(link.selectionStart() + 2);
    ClickThroughWindow(viewer->viewport(), viewer->cursorRect(link).center());
    EXPECT_EQ(ShownPage(), "1.html");
    settings->reject();
  });
  window->SettingsClick();
  // The settings closed: the viewer is a window of its own, still shown.
  ASSERT_TRUE(viewer && viewer->isVisible());
  EXPECT_EQ(viewer->parentWidget(), nullptr);
  viewer->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(viewer.isNull());
  EXPECT_EQ(PressF1(window.get()), "1000.html");  // and opens again
}

// Clicks the viewer's link to the contents where it shows; the page shown
// afterwards ("" when none).
std::string FollowContentsLink(THelpViewer* viewer) {
  QTextCursor link = viewer->document()->find(QStringLiteral("Содержание"));
  if (link.isNull()) return "no link";
  link.setPosition(link.selectionStart() + 2);
  ClickThroughWindow(viewer->viewport(), viewer->cursorRect(link).center());
  return viewer->isVisible() ? viewer->source().fileName().toStdString() : "";
}

TEST_F(WindowHelpTest, HelpOverTheSettingsFollowsEveryWindowTheyOpenAndComesBack) {
  // An entry in every list whose properties the pages open.
  TConfigStore& store = window->ConfigStore();
  store.AddDefaultMailbox();
  ASSERT_NE(GetImportFilters(), nullptr);
  GetImportFilters()->AddFilter("Spam", std::make_unique<TFilter>());
  ASSERT_NE(GetAutoSendJobs(), nullptr);
  GetAutoSendJobs()->AddJob(std::make_unique<TAutoSendJob>());
  GetMailerConfig()->AddMailer(store);
  struct Row {
    const char* name;
    const char* page;
    const char* list;
    const char* button;
  };
  const Row rows[] = {
      {"uplink", "TabVerbindungen", "LinkList", "ShowLinkProperties"},
      {"mailbox", "TabMailboxen", "MBList", "MailboxProperties"},
      {"area", "TabAreas", "InfoAreaName", "ShowAreaProperties"},
      {"import filter", "TabSheet12", "ImportFilters", "FilterProperties"},
      {"autosend job", "TabSheet2", "AutoSendList", "AutoSendProperties"},
      {"mailer profile", "TabMailer", "MailerList", "ShowMailerProperties"},
  };
  QPointer<THelpViewer> viewer;
  QTimer::singleShot(0, window.get(), [&] {
    auto* settings = qobject_cast<TSettingsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(PressF1(settings), "6000.html");
    viewer = TopLevel<THelpViewer>();
    ASSERT_TRUE(viewer && QTest::qWaitForWindowExposed(viewer));
    const QUrl settingsPage = viewer->source();
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      settings->Notebook()->setCurrentWidget(settings->findChild<QWidget*>(row.page));
      auto* list = settings->findChild<QListWidget*>(row.list);
      auto* button = settings->findChild<QPushButton*>(row.button);
      ASSERT_TRUE(list && button);
      list->setCurrentRow(0);
      viewer->setSource(settingsPage);
      // The properties window is up: the viewer goes with it and takes clicks.
      bool checked = false;
      QTimer::singleShot(0, settings, [&] {
        QWidget* properties = QApplication::activeModalWidget();
        EXPECT_NE(properties, settings);
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->parentWidget() == properties; }));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
        // F1 inside a window that has a page (the filter's) shows it and
        // leaves the window the keyboard, the viewer beside it (the screen
        // has room), not over it.
        if (row.list == std::string("ImportFilters")) {
          properties->activateWindow();
          EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == properties; }));
          viewer->move(properties->geometry().topLeft() - QPoint(100, 0));
          KeyThroughWindow(properties, Qt::Key_F1);
          QCoreApplication::processEvents();
          EXPECT_EQ(ShownPage(), QStringLiteral("%1.html").arg(platform::kHelpFilter));
          EXPECT_EQ(QApplication::activeWindow(), properties);
          EXPECT_FALSE(viewer->frameGeometry().intersects(properties->frameGeometry()))
              << "the viewer covers the window";
        }
        EXPECT_EQ(FollowContentsLink(viewer), "1.html");
        if (properties != settings) properties->close();
        checked = true;
      });
      ASSERT_TRUE(ClickThroughWindow(button));
      ASSERT_TRUE(QTest::qWaitFor([&] { return checked; }, 60000));
      // Closed again: the viewer is back over the settings, still usable.
      EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->parentWidget() == settings; }));
      EXPECT_EQ(QApplication::activeModalWidget(), settings);
      viewer->setSource(settingsPage);
      EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
      EXPECT_EQ(FollowContentsLink(viewer), "1.html");
    }
    // A window opened from a properties window (the prototype area's
    // display filter, modal to it): the viewer goes along, and back.
    settings->Notebook()->setCurrentWidget(settings->findChild<QWidget*>("TabAreas"));
    bool nested = false;
    QTimer::singleShot(0, settings, [&] {
      QWidget* properties = QApplication::activeModalWidget();
      auto* open = properties ? properties->findChild<QPushButton*>("DisplayFilter") : nullptr;
      if (open) {
        ClickThroughWindow(open);
        QWidget* filter = QApplication::activeModalWidget();
        EXPECT_NE(filter, properties);
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->parentWidget() == filter; }));
        viewer->setSource(settingsPage);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
        EXPECT_EQ(FollowContentsLink(viewer), "1.html");
        if (filter != properties) filter->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->parentWidget() == properties; }));
        viewer->setSource(settingsPage);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
        EXPECT_EQ(FollowContentsLink(viewer), "1.html");
      }
      EXPECT_NE(open, nullptr);
      if (properties != settings) properties->close();
      nested = true;
    });
    ASSERT_TRUE(ClickThroughWindow(settings->findChild<QPushButton*>("AreaPrototype")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return nested; }, 60000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->parentWidget() == settings; }));
    settings->reject();
  });
  window->SettingsClick();
  ASSERT_TRUE(viewer && viewer->isVisible());
  EXPECT_EQ(viewer->parentWidget(), nullptr);
}

// Help asked again just after the viewer was closed (before the program got
// back to its event loop) opens in a viewer that stays.
// The viewer closes by its window's close control, and from the keyboard,
// which is all there is without a window manager.
TEST_F(WindowHelpTest, HelpAskedRightAfterTheViewerClosedStaysOpen) {
  const struct {
    const char* how;
    QKeySequence keys;
  } rows[] = {{"close", {}},
              {"Escape", QKeySequence(Qt::Key_Escape)},
              {"Ctrl+W", QKeySequence(QStringLiteral("Ctrl+W"))}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.how);
    platform::ShowHelp(6000);
    ASSERT_EQ(ShownPage(), "6000.html");
    QPointer<THelpViewer> first;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* viewer = qobject_cast<THelpViewer*>(top); viewer && viewer->isVisible())
        first = viewer;
    ASSERT_NE(first, nullptr);
    if (row.keys.isEmpty()) {
      first->close();
    } else {
      first->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(first));
      QTest::keySequence(first, row.keys);
    }
    platform::ShowHelp(7000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(ShownPage(), "7000.html");
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<THelpViewer*>(top)) top->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// Escape and Ctrl+W close the viewer at once when its window has the
// keyboard though no control in it has the focus (as a window manager
// gives a window the focus), and when the settings under it keep the
// keyboard while the viewer lies over them or has the pointer: the
// settings stay, with the name typed into them. Beside the settings, the
// pointer away from it, the viewer leaves Escape to the settings.
TEST_F(WindowHelpTest, TheViewersKeysCloseItAtOnceAndNeverTheSettingsUnderIt) {
  enum class Where { Active, Over, Pointer, Beside };
  const struct {
    const char* what;
    Where where;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool viewerCloses;
  } rows[] = {
      {"the viewer's window active, Escape", Where::Active, Qt::Key_Escape, {}, true},
      {"the viewer's window active, Ctrl+W", Where::Active, Qt::Key_W, Qt::ControlModifier, true},
      {"over the settings, Escape", Where::Over, Qt::Key_Escape, {}, true},
      {"over the settings, Ctrl+W", Where::Over, Qt::Key_W, Qt::ControlModifier, true},
      {"beside them with the pointer, Escape", Where::Pointer, Qt::Key_Escape, {}, true},
      {"beside them, the pointer away, Escape", Where::Beside, Qt::Key_Escape, {}, false},
  };
  const QString name = QStringLiteral("Ivan Petrov");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    QPointer<THelpViewer> viewer;
    QPointer<QDialog> settings;
    bool settingsStayed = false;
    QString typed;
    QTimer::singleShot(0, window.get(), [&] {
      settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(settings, nullptr);
      const auto finish = qScopeGuard([&] {
        if (settings && settings->isVisible()) settings->reject();
      });
      ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
      static_cast<TSettingsDialog*>(settings.data())->ShowPage("TabVerbindungen");
      auto* edit = settings->findChild<QLineEdit*>("EdUUCPName");
      ASSERT_NE(edit, nullptr);
      settings->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
      edit->setFocus();
      edit->clear();
      QTest::keyClicks(edit, name);
      KeyThroughWindow(settings, Qt::Key_F1);
      viewer = TopLevel<THelpViewer>();
      ASSERT_TRUE(viewer && QTest::qWaitForWindowExposed(viewer));
      QWindow* keys = settings->windowHandle();
      // The settings on the left, the viewer over their middle or to their
      // right.
      settings->setGeometry(10, 10, 380, 500);
      const QRect beside(420, 40, 300, 300);
      switch (row.where) {
        case Where::Active:
          viewer->activateWindow();
          ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
          keys = viewer->windowHandle();
          break;
        case Where::Over:
          viewer->setGeometry(100, 100, 300, 300);
          viewer->raise();
          QCursor::setPos(40, 480);
          break;
        case Where::Pointer:
          viewer->setGeometry(beside);
          QCursor::setPos(beside.center());
          break;
        case Where::Beside:
          viewer->setGeometry(beside);
          QCursor::setPos(40, 480);
          break;
      }
      // The keyboard stays with the settings' field, except where the
      // viewer's window was made the active one.
      if (row.where != Where::Active) {
        settings->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == settings; }));
        edit->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), edit);
      }
      QCoreApplication::processEvents();
      QTest::keyClick(keys, row.key, row.modifiers);
      QCoreApplication::processEvents();
      settingsStayed = settings && settings->isVisible();
      typed = edit->text();
    });
    window->SettingsClick();
    EXPECT_EQ(!viewer || !viewer->isVisible(), row.viewerCloses);
    EXPECT_EQ(settingsStayed, row.viewerCloses);
    if (row.viewerCloses) {
      EXPECT_EQ(typed, name);
    }
    if (viewer) viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// A box that belongs to the viewer (asked while the viewer is the window in
// use) stands over it as it is: the viewer does not become its child.
TEST_F(WindowHelpTest, ABoxOfTheViewersOwnLeavesTheViewerWhereItIs) {
  platform::ShowHelp(6000);
  THelpViewer* viewer = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<THelpViewer*>(top); v && v->isVisible()) viewer = v;
  ASSERT_NE(viewer, nullptr);
  QWidget* before = viewer->parentWidget();
  auto* box = new QMessageBox(QMessageBox::Question, "Velmaris", "Go on?",
                              QMessageBox::Yes | QMessageBox::No, viewer);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
  QApplication::processEvents();
  EXPECT_EQ(viewer->parentWidget(), before);
  EXPECT_EQ(box->parentWidget(), viewer);
  EXPECT_TRUE(viewer->isVisible());
  box->close();
  QApplication::processEvents();
  EXPECT_EQ(viewer->parentWidget(), before);
  EXPECT_TRUE(viewer->isVisible());
}

TEST_F(WindowHelpTest, HelpMenuItemsCarryTheKeyThatOpensTheirPage) {
  // The item that opens the page shows F1 beside it; no other command of
  // the window answers F1.
  struct Item {
    QWidget* window;
    const char* item;
  };
  TMessageListWindow* list = window->OpenMessageList(*Area("FIDO.GER"));
  ASSERT_NE(list, nullptr);
  const Item items[] = {
      {window.get(), "Hilfe3"}, {list, "Hilfe1"}, {window->EchoAreaManager(), "HelpItem"}};
  for (const Item& i : items) {
    auto* action = i.window->findChild<QAction*>(i.item);
    ASSERT_NE(action, nullptr) << i.item;
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_F1)) << i.item;
    int keyed = 0;
    for (QAction* a : i.window->actions()) keyed += a->shortcut() == QKeySequence(Qt::Key_F1);
    EXPECT_EQ(keyed, 1) << i.item;
  }
}

TEST_F(WindowHelpTest, AreaManagerShowsTheWindowListAndBringsAWindowForward) {
  TAreaManagerWindow* manager = window->EchoAreaManager();
  ASSERT_NE(manager, nullptr);
  manager->show();
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    manager->grab().save(QString::fromUtf8(dir) + "/AreaManagerWindow.png");
  QListWidget* list = manager->WList();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->objectName(), "WList");
  ASSERT_EQ(list->count(), WinLst().GetCount());
  for (int row = 0; row < list->count(); ++row)
    EXPECT_EQ(list->item(row)->text().toStdString(), WinLst().GetString(row)) << row;
  const int self = WinLst().IndexOfObject(manager);
  ASSERT_GE(self, 0);
  EXPECT_EQ(list->item(self)->text(), manager->windowTitle());

  // A double click on the main window's entry shows it.
  window->hide();
  const int main = WinLst().IndexOfObject(window.get());
  ASSERT_GE(main, 0);
  emit list->itemDoubleClicked(list->item(main));
  EXPECT_TRUE(window->isVisible());

  // Hidden, the manager leaves the list its own box still shows.
  manager->hide();
  EXPECT_LT(WinLst().IndexOfObject(manager), 0);
  EXPECT_EQ(list->count(), WinLst().GetCount());
}

}  // namespace
}  // namespace velmaris::test
