// The message list window's menus through the real windows: the ways to
// other windows, the pop-up menus, the keys and help.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <functional>
#include <map>

#include "MainWindowFixture.h"
#include "ShortcutCheck.h"
#include "app/AreaProperties.h"
#include "app/HelpViewer.h"
#include "app/MsgWin.h"
#include "app/SearchAndReplace.h"
#include "app/SearchAssistent.h"
#include "app/SettingsDialog.h"
#include "app/logic/ConfigSnapshot.h"
#include "core/ShellServices.h"
#include "core/TextGroups.h"
#include "core/WinLst.h"
#include "core/forms/SrchMaskProperties.h"
#include "mailer/forms/FileReqEditor.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "widgets/BetterListBox.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/ModalHook.h"
#include "widgets/PageControl98.h"
#include "widgets/SpeedBar.h"
#include "widgets/TextView.h"
#include "widgets/TreeNT.h"

namespace velmaris::test {
namespace {

class MsgWinMenusTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Prepare({{"FIDO.GER", Times(3, 0)}, {"OTHER", Times(1, 0)}});
    Open();
    list = window->OpenMessageList(*Area("FIDO.GER"));
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override {
    SetModalHook({});
    MainWindowFixture::TearDown();
  }
  // Runs the command and returns the object name of the page each modal
  // window showed (its outer page control's current page).
  std::vector<std::string> PagesShownBy(const char* command) {
    return PagesShownBy([&] { list->Action(command)->trigger(); });
  }
  std::vector<std::string> PagesShownBy(const std::function<void()>& run) {
    std::vector<std::string> pages;
    SetModalHook([&](QWidget* w) {
      if (auto* settings = qobject_cast<TSettingsDialog*>(w)) {
        ++settingsShown;
        pages.push_back(settings->Notebook()->currentWidget()->objectName().toStdString());
        pages.push_back(settings->findChild<QTabWidget*>("DisplayTabs")->currentIndex() == 0
                            ? "display general"
                            : "display other");
      } else if (qobject_cast<TAreaProperties*>(w)) {
        pages.push_back(w->findChild<QTabWidget*>("PageControl1")
                            ->currentWidget()
                            ->objectName()
                            .toStdString());
      }
      return int(QDialog::Rejected);
    });
    run();
    SetModalHook({});
    return pages;
  }
  TMessageListWindow* list = nullptr;
  size_t settingsShown = 0;  // settings windows PagesShownBy met
};

TEST_F(MsgWinMenusTest, SettingsShortcutsOpenTheirPages) {
  TZRTexts& groups = window->ConfigStore().TextGroups();
  ASSERT_GT(groups.GetCount(), 0);
  Area("FIDO.GER")->TextGroup = groups.GetCount() - 1;
  SetModalHook([&](QWidget* w) {
    auto* settings = qobject_cast<TSettingsDialog*>(w);
    EXPECT_NE(settings, nullptr);
    if (!settings) return int(QDialog::Rejected);
    EXPECT_EQ(settings->Notebook()->currentWidget()->objectName(), "TabGruppen");
    auto* tg = settings->findChild<QListWidget*>("TGList");
    EXPECT_EQ(tg->currentRow(), groups.GetCount() - 1);
    return int(QDialog::Rejected);
  });
  list->Action("Texte1")->trigger();
  EXPECT_EQ(PagesShownBy("Anzeige1"), (std::vector<std::string>{"TabAnzeige", "display general"}));
  EXPECT_EQ(PagesShownBy("Aufrumen2"), std::vector<std::string>{"AreaMaintain"});
  EXPECT_EQ(PagesShownBy("NeueMails1"), std::vector<std::string>{"NewMails"});
  EXPECT_EQ(PagesShownBy("Einstellungen1").size(), 2u);
}

// Windows of the lower layers (the mailer's) open the settings on a page
// through the shell, once their command has returned; a second request
// while one waits opens them once.
TEST_F(MsgWinMenusTest, ShellOpensTheSettingsOnTheNamedPage) {
  TShellServices* shell = GetShellServices();
  ASSERT_NE(shell, nullptr);
  struct Row {
    const char* page;
    int requests;
    std::vector<std::string> shown;
  };
  const Row rows[] = {
      {"TabVerbindungen", 1, {"TabVerbindungen", "display general"}},
      {"TabMailboxen", 2, {"TabMailboxen", "display general"}},
      {"TabAnzeige", 1, {"TabAnzeige", "display general"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page);
    size_t shownAtReturn = 0;
    const auto pages = PagesShownBy([&, &pages = shownAtReturn] {
      for (int i = 0; i < row.requests; ++i) shell->ShowSettingsPage(row.page);
      pages = settingsShown;
      PumpUntil([&] { return settingsShown > pages; });
      PumpUntil([] { return false; }, std::chrono::milliseconds(100));  // no second one
    });
    EXPECT_EQ(shownAtReturn, 0u);
    EXPECT_EQ(pages, row.shown);
    settingsShown = 0;
  }
}

TEST_F(MsgWinMenusTest, OtherWindowsComeToTheFront) {
  // The search on this area alone, from its speed item.
  list->findChild<TSpeedItem*>("SearchAreaItem")->ButtonClick();
  TSearchAssistent* search = window->SearchWindow();
  EXPECT_TRUE(search->isVisible());
  TEZBetterListBox* areas = search->SearchAreas();
  const int self = window->ConfigStore().Areas().IndexOf(Area("FIDO.GER"));
  for (int i = 0; i < areas->GetCount(); ++i) EXPECT_EQ(areas->Selected(i), i == self) << i;
  search->close();

  list->Action("Filelisten1")->trigger();
  EXPECT_TRUE(window->FileReqEditor().isVisible());
  window->FileReqEditor().close();

  // The window list: a double click on the main window's entry shows it.
  EXPECT_FALSE(window->isVisible());
  list->show();
  auto* wList = list->findChild<QListWidget*>("WList");
  const int row = WinLst().IndexOfObject(window.get());
  ASSERT_GE(row, 0);
  ASSERT_LT(row, wList->count());
  wList->setCurrentRow(row);
  emit wList->itemDoubleClicked(wList->item(row));
  EXPECT_TRUE(window->isVisible());
  window->hide();
  list->Action("Arealiste1")->trigger();
  EXPECT_TRUE(window->isVisible());

  // The list pop-up's close only hides the window.
  list->Action("Beenden1")->trigger();
  EXPECT_FALSE(list->isVisible());
  EXPECT_EQ(MessageWindowOf(*Area("FIDO.GER")), list);
}

// Every way of closing the message list frees it whole, with the thread
// tree shown: Escape in the list, the close box, the File menu's close, and
// the program's end. (The tree's event handler once called the tree while
// it was being destroyed; the undefined-behaviour sanitizer and valgrind
// see that in this test.)
TEST_F(MsgWinMenusTest, EveryWayOfClosingFreesTheWindowWithItsTree) {
  struct Way {
    const char* name;
    std::function<void(TMessageListWindow&)> close;
  };
  const Way ways[] = {
      {"Escape", [](TMessageListWindow& w) { KeyThroughWindow(w.ListBox(), Qt::Key_Escape); }},
      {"close box", [](TMessageListWindow& w) { w.windowHandle()->close(); }},
      {"Schlieen1", [](TMessageListWindow& w) { w.Action("Schlieen1")->trigger(); }},
      {"program end", [this](TMessageListWindow&) { window.reset(); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    if (!window) Open();
    TMessageListWindow* opened = window->OpenMessageList(*Area("FIDO.GER"));
    ASSERT_NE(opened, nullptr);
    QPointer<TMessageListWindow> alive(opened);
    auto* tree = opened->findChild<TTreeNT*>();
    ASSERT_NE(tree, nullptr);
    QPointer<TTreeNT> treeAlive(tree);
    opened->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(opened));
    opened->ListBox()->setFocus();
    way.close(*opened);
    EXPECT_TRUE(PumpUntil([&] { return alive.isNull(); }));
    EXPECT_TRUE(treeAlive.isNull());
    if (window) {
      EXPECT_EQ(MessageWindowOf(*Area("FIDO.GER")), nullptr);
    }
  }
  list = nullptr;
}

// With VELMARIS_SCREENSHOTS set, the widget as a PNG in that folder.
void Shot(QWidget& widget, const char* name) {
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS")) {
    if (qobject_cast<QMenu*>(&widget)) widget.adjustSize();
    widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
  }
}

// The enabled items' object names of a menu, in order ("-" a separator).
std::vector<std::string> Items(const QMenu& menu) {
  std::vector<std::string> names;
  for (QAction* a : menu.actions())
    names.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
  return names;
}

TEST_F(MsgWinMenusTest, RightClicksOpenTheListAndTheMessagePopUps) {
  list->resize(900, 600);
  list->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
  std::vector<std::string> opened;
  std::vector<std::vector<std::string>> items;
  SetModalHook([&](QWidget* w) {
    auto* menu = qobject_cast<QMenu*>(w);
    if (!menu) return int(QDialog::Rejected);
    opened.push_back(menu->objectName().toStdString());
    items.push_back(Items(*menu));
    Shot(*menu, menu->objectName().toLatin1().constData());
    return 0;
  });
  Shot(*list, "MessageListWindowList");
  QWidget* rows = list->ListBox()->viewport();
  QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(100, 40));
  list->GoToMessage(1);
  QWidget* text = list->MsgText()->viewport();
  QTest::mouseClick(text, Qt::RightButton, {}, QPoint(50, 20));
  Shot(*list, "MessageListWindow");
  SetModalHook({});
  ASSERT_EQ(opened, (std::vector<std::string>{"MsgListPopup", "PopupSingle"}));
  const std::vector<std::string> listItems = {
      "Lschen1", "Kopieren1", "Flagsndern1", "-", "Aufholen1", "AbsenderinsAdressbuch2", "-",
      "NewMail", "-", "DoSelectAllItem", "DeSelectAllItem", "DoToggleSelectionItem", "-",
      "Beenden1"};
  EXPECT_EQ(items[0], listItems);
  for (const char* name : {"Answer", "PAntwortohneQuote", "PKommentarmitQuote",
                           "PKommentarohneQuote", "PAntwortalsNetMail",
                           "PAntwortalsNetmailohneQuote", "Forward", "NewMail", "Edit",
                           "AlsArealistverwenden", "SDateienausMailanfordern",
                           "AbsenderinsAdressbuch3"})
    EXPECT_NE(std::find(items[1].begin(), items[1].end(), name), items[1].end()) << name;
}

TEST_F(MsgWinMenusTest, RightClicksOnTheThreadTreeOpenItsMenus) {
  if (!list->Action("DisplayTree")->isChecked()) list->Action("DisplayTree")->trigger();
  list->resize(900, 600);
  list->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
  std::vector<std::string> opened;
  SetModalHook([&](QWidget* w) {
    opened.push_back(w->objectName().toStdString());
    return 0;
  });
  TTreeNT* tree = list->TreeView();
  TTreeNTNode* group = tree->Items().GetFirstNode();
  ASSERT_NE(group, nullptr);
  group->Expand(false);
  TTreeNTNode* mail = group->GetFirstChild();
  ASSERT_NE(mail, nullptr);
  // Through the window as the pointer comes: press, context menu, release.
  auto rightClick = [&](QPoint at) {
    QTest::mouseClick(list->windowHandle(), Qt::RightButton, {}, tree->viewport()->mapTo(list, at));
  };
  rightClick(group->DisplayRect(true).center());
  rightClick(mail->DisplayRect(true).center());
  rightClick(QPoint(5, tree->viewport()->height() - 5));
  SetModalHook({});
  EXPECT_EQ(opened, (std::vector<std::string>{"ThreadContext", "MailContext", "TreeMenu"}));
}

TEST_F(MsgWinMenusTest, EveryKeyReachesOneCommandAndCtrlFFindsInTheText) {
  EXPECT_EQ(ShortcutClashes(*list), std::vector<std::string>{}) << "list view";
  list->GoToMessage(0);
  EXPECT_EQ(ShortcutClashes(*list), std::vector<std::string>{}) << "message view";
  EXPECT_EQ(ShortcutClashes(*window), std::vector<std::string>{}) << "main window";

  list->show();
  list->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(list));
  std::vector<std::string> opened;
  SetModalHook([&](QWidget* w) {
    opened.push_back(w->metaObject()->className());
    return int(QDialog::Rejected);
  });
  QTest::keyClick(list->MsgText(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(opened, std::vector<std::string>{"velmaris::TSARForm"});
  // Ctrl+M: the file request in the message view.
  QTest::keyClick(list->MsgText(), Qt::Key_M, Qt::ControlModifier);
  EXPECT_TRUE(window->FileReqEditor().isVisible());
  window->FileReqEditor().close();
  SetModalHook({});

  // F4 in the main window shows the search window.
  list->hide();
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }));
  window->AreaListBox()->setFocus();
  QTest::keyClick(window->AreaListBox(), Qt::Key_F4);
  EXPECT_TRUE(window->SearchWindow()->isVisible());
  window->SearchWindow()->close();
}

TEST_F(MsgWinMenusTest, TheReadersKeysStepAndKeepTheFocusInTheText) {
  if (!list->Action("DisplayTree")->isChecked()) list->Action("DisplayTree")->trigger();
  ASSERT_TRUE(list->Action("DisplayTree")->isChecked());
  list->resize(900, 600);
  list->show();
  list->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == list; }));
  list->GoToMessage(1);
  ASSERT_EQ(QApplication::focusWidget(), list->MsgText());
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int displayed;  // -1: back in the list view
  };
  const Step steps[] = {
      {Qt::Key_Right, {}, 2},
      {Qt::Key_Left, {}, 1},
      {Qt::Key_Left, Qt::ControlModifier, 0},
      {Qt::Key_Right, Qt::ControlModifier, 2},
      {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, 0},
      {Qt::Key_Right, Qt::ShiftModifier, 0},  // no other message of that subject
      {Qt::Key_Backspace, {}, 0},             // the tree is hidden with the list
      {Qt::Key_Right, {}, 1},
      {Qt::Key_Escape, {}, -1},
  };
  for (const Step& s : steps) {
    QTest::keyClick(QApplication::focusWidget(), s.key, s.modifiers);
    EXPECT_EQ(list->DisplayedIndex, s.displayed) << QKeySequence(s.key | s.modifiers).toString().toStdString();
    if (s.displayed >= 0) {
      EXPECT_EQ(QApplication::focusWidget(), list->MsgText());
    }
  }
  EXPECT_FALSE(list->IsMessageView());
  // In the list view Backspace hands the focus to the tree beside the list.
  QTest::keyClick(list->ListBox(), Qt::Key_Backspace);
  EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(list->TreeView()));
}

TEST_F(MsgWinMenusTest, SpeedItemsStepThroughTheSameSubject) {
  TArea& area = *Area("FIDO.GER");
  for (int i : {0, 2}) {
    TMsgHeader h = area.GetHeader(i);
    h.Subject = i == 0 ? "Plans" : "Re: plans";
    ASSERT_TRUE(area.SetHeader(i, h));
  }
  list->GoToMessage(0);
  struct Click {
    const char* item;
    int displayed;
  };
  const Click clicks[] = {{"ShowNextSameItem", 2}, {"ShowNextSameItem", 2},
                          {"ShowPrevSameItem", 0}, {"ShowPrevSameItem", 0}};
  for (const Click& c : clicks) {
    auto* item = list->findChild<TSpeedItem*>(c.item);
    ASSERT_NE(item, nullptr) << c.item;
    item->ButtonClick();
    EXPECT_EQ(list->DisplayedIndex, c.displayed) << c.item;
  }
}

TEST_F(MsgWinMenusTest, HelpOpensTheReadersTopicAndTheIndex) {
  platform::MakeDirs(Start() + "Tervik/");
  platform::WriteFileAtomic(Start() + "Tervik/" + std::to_string(platform::kHelpMessageList) +
                                ".html",
                            "<p>Reading messages</p>");
  QMenu* help = list->Menu("HilfeMenu");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(Items(*help).front(), "Hilfe1");
  list->show();
  list->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == list; }));
  QTest::keyClick(list->ListBox(), Qt::Key_F1);
  THelpViewer* viewer = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<THelpViewer*>(top); v && v->isVisible()) viewer = v;
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->toPlainText(), "Reading messages");
  list->Action("Hilfethemen1")->trigger();
  EXPECT_TRUE(viewer->toPlainText().contains("Содержание"));
  viewer->close();
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(MsgWinMenusTest, NoTwoEditItemsShareACaption) {
  QMenu* edit = list->Menu("Bearbeiten1");
  ASSERT_NE(edit, nullptr);
  std::map<QString, std::vector<std::string>> byCaption;
  for (QAction* a : edit->actions())
    if (!a->isSeparator())
      byCaption[QString(a->text()).remove('&')].push_back(a->objectName().toStdString());
  for (const auto& [caption, names] : byCaption)
    EXPECT_EQ(names.size(), 1u) << caption.toStdString() << ": " << names.front() << ", "
                                << names.back();
}

TEST_F(MsgWinMenusTest, TheDisplayFilterOfTheAreaPropertiesRefiltersTheOpenList) {
  ASSERT_EQ(list->DisplayList.Count(), 3);
  // Only unread messages shown: none of the three is.
  SetModalHook([](QWidget* w) {
    auto* props = qobject_cast<TAreaProperties*>(w);
    if (!props) return int(QDialog::Rejected);
    props->show();
    props->DisplayFilter->click();
    auto* mask = props->findChild<TSrchMaskProperties*>();
    EXPECT_NE(mask, nullptr);
    if (!mask) return int(QDialog::Rejected);
    mask->findChild<QComboBox*>("CBUnread")->setCurrentIndex(1);  // set
    QTest::mouseClick(mask->findChild<QPushButton*>("Button3"), Qt::LeftButton);
    QTest::mouseClick(props->OKButton, Qt::LeftButton);
    return props->result();
  });
  list->Action("Aufrumen2")->trigger();
  SetModalHook({});
  EXPECT_EQ(list->DisplayList.Count(), 0);
  // Cleared again in the settings' area properties: all rows are back; the
  // settings' Cancel puts the filter back, and the list with it.
  TConfigEditSnapshot settings(window->ConfigStore(), nullptr, nullptr);
  TAreaProperties props(*Area("FIDO.GER"), window->ConfigStore());
  props.show();
  props.DisplayFilter->click();
  auto* mask = props.findChild<TSrchMaskProperties*>();
  ASSERT_NE(mask, nullptr);
  mask->findChild<QComboBox*>("CBUnread")->setCurrentIndex(2);  // no matter
  QTest::mouseClick(mask->findChild<QPushButton*>("Button3"), Qt::LeftButton);
  QTest::mouseClick(props.bApply, Qt::LeftButton);
  EXPECT_EQ(list->DisplayList.Count(), 3);
  settings.Restore();
  EXPECT_EQ(list->DisplayList.Count(), 0);
}

TEST_F(MsgWinMenusTest, APageTheAreaTypeHidesGivesWayToTheGeneralPage) {
  struct Case {
    const char* area;
    const char* asked;
    const char* shown;
  };
  const Case cases[] = {
      {"FIDO.GER", "NewMails", "NewMails"},  {"NETMAIL", "NewMails", "NewMails"},
      {"BAD", "NewMails", "AreaGeneral"},    {"DUPES", "NewMails", "AreaGeneral"},
      {"REPORT", "NewMails", "AreaGeneral"}, {"BAD", "AreaMaintain", "AreaMaintain"}};
  window->ConfigStore().AddAreaQuiet("REPORT", "REPORT", AreaTypeCode::Report, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.area) + " " + c.asked);
    TArea* area = Area(c.area);
    ASSERT_NE(area, nullptr);
    TAreaProperties props(*area, window->ConfigStore());
    props.ShowPage(QString::fromLatin1(c.asked));
    props.show();
    auto* pages = props.findChild<QTabWidget*>("PageControl1");
    EXPECT_EQ(pages->currentWidget()->objectName(), c.shown);
    EXPECT_TRUE(pages->isTabVisible(pages->currentIndex()));
    EXPECT_EQ(pages->tabBar()->currentIndex(), pages->currentIndex());
  }
}

}  // namespace
}  // namespace velmaris::test
