// Windows that open the settings from their own menus live through what the
// settings free: a mailer window whose profile is deleted there goes only
// after its menu command has returned, and a window that stays is whole.
// Clicks go through the window system into the real menus, and the settings
// run in their own modal loop, as a person meets them. Run under valgrind
// memcheck as well: Qt's own reads after a free do not show otherwise.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "MainWindowFixture.h"
#include "app/MsgWin.h"
#include "app/SettingsDialog.h"
#include "mailer/Mailers.h"
#include "mailer/forms/MailerForm.h"
#include "processing/forms/KillAssistents.h"
#include "widgets/PageControl98.h"

namespace velmaris::test {
namespace {

// Runs script once on the settings window when it is shown in its modal
// loop, then leaves it with the button of that name.
class SettingsScript {
 public:
  SettingsScript(std::function<void(TSettingsDialog&)> script, const char* closeButton)
      : script_(std::move(script)), closeButton_(closeButton) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<TSettingsDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible() || done) return;
      done = true;
      page = dialog->Notebook()->currentWidget()->objectName().toStdString();
      script_(*dialog);
      auto* button = dialog->findChild<QPushButton*>(closeButton_);
      EXPECT_NE(button, nullptr) << closeButton_;
      if (button) QTest::mouseClick(button, Qt::LeftButton);
      if (dialog->isVisible()) dialog->reject();  // a refused OK must not hang the test
    });
    timer_.start();
  }
  bool done = false;
  std::string page;  // the page the settings opened on

 private:
  std::function<void(TSettingsDialog&)> script_;
  const char* closeButton_;
  QTimer timer_;
};

// Opens the menu bar's menu and clicks its item, both through the window
// system, as the pointer does.
bool ClickMenuItem(QMenuBar* bar, QMenu* menu, QAction* item) {
  if (!ClickThroughWindow(bar, bar->actionGeometry(menu->menuAction()).center())) return false;
  if (!PumpUntil([menu] { return menu->isVisible(); })) return false;
  return ClickThroughWindow(menu, menu->actionGeometry(item).center());
}

// Whether a menu is handling the click on one of its items: from the
// button's release reaching it until it tells the item triggered (after the
// item's command has returned). A window freed in between was freed under
// its own command.
class MenuCommandWatch : public QObject {
 public:
  explicit MenuCommandWatch(QMenu* menu) {
    menu->installEventFilter(this);
    connect(menu, &QMenu::triggered, this, [this] { running = false; });
  }
  bool running = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) running = true;
    return false;
  }
};

class WindowLifetimeTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Prepare({{"RU.FLAME", Times(3, 0)}});
    Open();
  }
};

// The mailer window's Settings menu opens the settings on the uplinks or the
// mailboxes page; deleting the window's profile there (on the mailer page)
// frees the window once the command has returned, whether the settings end
// with OK or Cancel; a profile kept keeps its window.
TEST_F(WindowLifetimeTest, MailerWindowOutlivesItsSettingsCommand) {
  struct Row {
    const char* item;  // the Settings menu's item
    const char* page;  // the page the settings open on
    bool deleteOwnProfile;
    const char* closeButton;
  };
  const Row rows[] = {
      {"Mailboxen1", "TabMailboxen", true, "CancelBtn"},
      {"Mailboxen1", "TabMailboxen", true, "OKBtn"},
      {"Verbindungen1", "TabVerbindungen", true, "CancelBtn"},
      {"Verbindungen1", "TabVerbindungen", true, "OKBtn"},
      {"Verbindungen1", "TabVerbindungen", false, "OKBtn"},
      {"Mailboxen1", "TabMailboxen", false, "CancelBtn"},
  };
  TMailerConfig* profiles = GetMailerConfig();
  ASSERT_NE(profiles, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.item) + (row.deleteOwnProfile ? " delete " : " keep ") +
                 row.closeButton);
    // Another profile before it, so that the list's position matters.
    profiles->AddMailer(window->ConfigStore());
    TMailer* profile = profiles->AddMailer(window->ConfigStore());
    const int count = profiles->Mailers().GetCount();
    QPointer<TMailerForm> form(dynamic_cast<TMailerForm*>(profile->Window()));
    ASSERT_FALSE(form.isNull());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.data()));
    auto* menu = form->MainMenu->findChild<QMenu*>("SettingsMenu");
    ASSERT_NE(menu, nullptr);
    auto* item = form->findChild<QAction*>(row.item);
    ASSERT_NE(item, nullptr);
    auto* command = new MenuCommandWatch(menu);  // freed with the menu
    bool freedInCommand = false;
    QObject::connect(form.data(), &QObject::destroyed,
                     [&freedInCommand, command] { freedInCommand = command->running; });

    SettingsScript settings(
        [&](TSettingsDialog& dialog) {
          if (!row.deleteOwnProfile) return;
          dialog.ShowPage("TabMailer");
          auto* list = dialog.findChild<QListWidget*>("MailerList");
          ASSERT_NE(list, nullptr);
          ASSERT_EQ(list->count(), count);
          list->setCurrentRow(count - 1);
          QTest::mouseClick(dialog.findChild<QPushButton*>("DeleteLine"), Qt::LeftButton);
          EXPECT_EQ(list->count(), count - 1);
        },
        row.closeButton);
    ASSERT_TRUE(ClickMenuItem(form->MainMenu, menu, item));
    ASSERT_TRUE(PumpUntil([&] { return settings.done && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(settings.page, row.page);
    // A deletion takes effect with OK; Cancel brings the profile back.
    if (row.deleteOwnProfile && std::string(row.closeButton) == "OKBtn") {
      EXPECT_TRUE(PumpUntil([&] { return form.isNull(); }));
      EXPECT_FALSE(freedInCommand);
      EXPECT_EQ(profiles->Mailers().GetCount(), count - 1);
    } else {
      QCoreApplication::processEvents();
      ASSERT_FALSE(form.isNull());
      EXPECT_EQ(profiles->Mailers().GetCount(), count);
      EXPECT_EQ(profiles->Mailers().GetMailer(count - 1), profile);
      EXPECT_EQ(profile->Window(), static_cast<TMailerWindow*>(form.data()));
      // The window still takes its commands.
      form->RescanBtn->trigger();
      EXPECT_EQ(form->windowTitle().toStdString(), "Mailer - " + profile->Name());
    }
    while (profiles->Mailers().GetCount() > 0) profiles->DeleteMailer(0);
    QCoreApplication::processEvents();
  }
}

// The message list opens the settings from its own menu (Extras, Settings,
// All settings); its area cannot be deleted there while the list shows it
// (the user is told), and the list stays whole whether the settings end
// with OK or Cancel.
TEST_F(WindowLifetimeTest, MessageListOutlivesTheSettingsItOpened) {
  for (const char* closeButton : {"CancelBtn", "OKBtn"}) {
    SCOPED_TRACE(closeButton);
    QPointer<TMessageListWindow> list(window->OpenMessageList(*Area("RU.FLAME")));
    ASSERT_FALSE(list.isNull());
    list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.data()));
    const size_t boxes = prompter.Questions().size();
    // The deletion's own assistant, in its modal loop inside the settings'.
    QTimer assistant;
    assistant.setInterval(20);
    QObject::connect(&assistant, &QTimer::timeout, [] {
      auto* kill = qobject_cast<TKillAreaAssistent*>(QApplication::activeModalWidget());
      if (!kill || !kill->isVisible()) return;
      for (int i = 0; i < 3 && kill->NextButton()->isEnabled(); ++i)
        QTest::mouseClick(kill->NextButton(), Qt::LeftButton);
      QTest::mouseClick(kill->CancelButton(), Qt::LeftButton);
    });
    assistant.start();
    SettingsScript settings(
        [](TSettingsDialog& dialog) {
          dialog.ShowPage("TabAreas");
          auto* areas = dialog.findChild<QListWidget*>("InfoAreaName");
          ASSERT_NE(areas, nullptr);
          const auto rows = areas->findItems("RU.FLAME", Qt::MatchExactly);
          ASSERT_EQ(rows.size(), 1);
          areas->setCurrentItem(rows.front());
          QTest::mouseClick(dialog.findChild<QPushButton*>("KillArea"), Qt::LeftButton);
        },
        closeButton);
    auto* extras = list->findChild<QMenu*>("Extras1");
    auto* sub = list->findChild<QMenu*>("Einstellungen2");
    ASSERT_TRUE(extras && sub);
    ASSERT_TRUE(ClickThroughWindow(list->menuBar(),
                                   list->menuBar()->actionGeometry(extras->menuAction()).center()));
    ASSERT_TRUE(PumpUntil([extras] { return extras->isVisible(); }));
    ASSERT_TRUE(ClickThroughWindow(extras, extras->actionGeometry(sub->menuAction()).center()));
    ASSERT_TRUE(PumpUntil([sub] { return sub->isVisible(); }));
    QAction* item = list->findChild<QAction*>("Einstellungen1");
    ASSERT_TRUE(ClickThroughWindow(sub, sub->actionGeometry(item).center()));
    ASSERT_TRUE(PumpUntil([&] { return settings.done && !QApplication::activeModalWidget(); }));
    assistant.stop();
    ASSERT_FALSE(list.isNull());
    EXPECT_EQ(list->Area(), Area("RU.FLAME"));
    ASSERT_GT(prompter.Questions().size(), boxes);
    EXPECT_EQ(prompter.Questions()[boxes].text,
              "The area RU.FLAME is in use and cannot be deleted !");
    list->close();
    PumpUntil([&] { return list.isNull(); });
  }
}

}  // namespace
}  // namespace velmaris::test
