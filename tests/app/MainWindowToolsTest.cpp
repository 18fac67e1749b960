// The main window's tools: the search over many areas from the area pop-up,
// the address book with its entries' properties dialog and its write
// command, and the editor's nodelist picker.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "MainWindowFixture.h"
#include "app/AddrBook.h"
#include "app/HelpViewer.h"
#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "app/SearchAssistent.h"
#include "core/AddressBook.h"
#include "core/NetLink.h"
#include "core/forms/AddressProperties.h"
#include "mailer/forms/FileReqEditor.h"
#include "nodelist/NodelistLookup.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/AreaRemoval.h"
#include "support/NodelistIndexSet.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/BetterListBox.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

class MainWindowToolsTest : public MainWindowFixture {
 protected:
  void Trigger(const char* name) {
    QAction* action = window->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    ASSERT_TRUE(action->isEnabled()) << name;
    action->trigger();
  }
  int Row(const std::string& name) { return window->ConfigStore().Areas().IndexOfName(name); }
};

TEST_F(MainWindowToolsTest, SearchFromThePopupTakesTheSelectedAreasAndAHitBecomesTheFocusRow) {
  Prepare({{"FIDO.GER", Times(12, 0)}, {"RU.TEST", Times(12, 0)}, {"OTHER", Times(12, 0)}});
  TKQMainWindow& w = Open();
  TEZBetterListBox* areas = w.AreaListBox();
  areas->ClearSelection();
  areas->SetSelected(Row("FIDO.GER"), true);
  areas->SetSelected(Row("OTHER"), true);
  Trigger("Suchern1");
  TSearchAssistent* search = w.SearchWindow();
  ASSERT_TRUE(search->isVisible());
  EXPECT_EQ(search->SearchAreas()->SelectedCount(), 2);
  EXPECT_TRUE(search->SearchAreas()->Selected(Row("OTHER")));
  search->findChild<QCheckBox*>("DoApplyOrigName")->setChecked(true);
  // The messages are numbered on through the areas: FIDO.GER holds 1-12,
  // RU.TEST 13-24 (not searched) and OTHER 25-36.
  search->findChild<QLineEdit*>("OrigName")->setText("sender 2");
  QTest::mouseClick(search->findChild<QPushButton*>("Okbtn"), Qt::LeftButton);
  auto* results = search->findChild<QListWidget*>("Results");
  ASSERT_EQ(results->count(), 6);
  EXPECT_EQ(results->item(0)->text(), "FIDO.GER #1: Sender 2 to Sysop about \"Subject number 2\"");
  EXPECT_TRUE(search->findChild<QPushButton*>("NewAction")->isVisible());
  EXPECT_FALSE(search->findChild<QPushButton*>("Abort")->isVisible());
  // The busy sign is gone with the search.
  EXPECT_FALSE(search->findChild<TAnimatedSymbol*>("Animate")->IsOpen());
  results->setCurrentRow(4);  // OTHER #3: Sender 28
  QTest::keyClick(results, Qt::Key_Return);
  EXPECT_EQ(areas->FocusIndex(), Row("OTHER"));
  ASSERT_EQ(w.MessageLists().size(), 1u);
  EXPECT_EQ(w.MessageLists()[0]->Area(), Area("OTHER"));
  EXPECT_EQ(w.MessageLists()[0]->DisplayedIndex, 3);
  QTest::mouseClick(search->findChild<QPushButton*>("NewAction"), Qt::LeftButton);
  EXPECT_TRUE(search->findChild<QPushButton*>("Okbtn")->isVisible());
}

// A hit finds its area by name after the search: areas deleted or moved
// since then neither open another area nor a wrong message, and a hit whose
// area is gone says so.
TEST_F(MainWindowToolsTest, AHitOpensItsOwnAreaAfterAreasWereDeletedOrMoved) {
  struct Case {
    const char* deleted;  // deleted after the search ("" none)
    bool moveBigUp;       // RU.BIG moved up a row after the search
    const char* hitArea;  // the area of the hit opened
    const char* opens;    // the area whose list opens (nullptr: none, a box)
  };
  const Case cases[] = {
      {"RU.FLAME", false, "RU.FLAME", nullptr},
      {"RU.FLAME", false, "RU.BIG", "RU.BIG"},
      {"", true, "RU.FLAME", "RU.FLAME"},
      {"", true, "RU.BIG", "RU.BIG"},
      {"RU.TEST", false, "RU.BIG", "RU.BIG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.deleted) + (c.moveBigUp ? " moved " : " ") + c.hitArea);
    window.reset();
    std::filesystem::remove_all(Start());
    std::filesystem::remove(RegistryPath());
    ASSERT_TRUE(ForceDirectoryPath(Start()));
    Prepare({{"RU.TEST", Times(4, 0)}, {"RU.FLAME", Times(4, 0)}, {"RU.BIG", Times(4, 0)}});
    TKQMainWindow& w = Open();
    TEZBetterListBox* areas = w.AreaListBox();
    areas->ClearSelection();
    for (const char* name : {"RU.FLAME", "RU.BIG"}) areas->SetSelected(Row(name), true);
    Trigger("Suchern1");
    TSearchAssistent* search = w.SearchWindow();
    search->findChild<QCheckBox*>("DoApplyOrigName")->setChecked(true);
    search->findChild<QLineEdit*>("OrigName")->setText("sender");
    QTest::mouseClick(search->findChild<QPushButton*>("Okbtn"), Qt::LeftButton);
    auto* results = search->findChild<QListWidget*>("Results");
    ASSERT_EQ(results->count(), 8);
    // The third hit of the area: "#2".
    int hitRow = -1;
    for (int i = 0, seen = 0; i < static_cast<int>(search->Hits().size()); ++i)
      if (search->Hits()[i].AreaName == c.hitArea && ++seen == 3) hitRow = i;
    ASSERT_GE(hitRow, 0);
    EXPECT_TRUE(results->item(hitRow)->text().startsWith(QString(c.hitArea) + " #2:"));

    if (*c.deleted) {
      ASSERT_EQ(DeleteListedAreas(w.ConfigStore(), {c.deleted}, TRemovalTexts::Area), 1);
    }
    if (c.moveBigUp) {
      w.ConfigStore().Areas().MoveUp(Row("RU.BIG"));
      w.RefreshAreaList();
    }
    const size_t boxes = prompter.Questions().size();
    results->setCurrentRow(hitRow);
    QTest::keyClick(results, Qt::Key_Return);
    if (!c.opens) {
      ASSERT_EQ(prompter.Questions().size(), boxes + 1);
      EXPECT_EQ(prompter.Questions().back().kind, platform::MsgKind::Information);
      EXPECT_EQ(prompter.Questions().back().text, "The area RU.FLAME no longer exists!");
      EXPECT_TRUE(w.MessageLists().empty());
      continue;
    }
    EXPECT_EQ(prompter.Questions().size(), boxes);
    EXPECT_EQ(areas->FocusIndex(), Row(c.opens));
    ASSERT_EQ(w.MessageLists().size(), 1u);
    EXPECT_EQ(w.MessageLists()[0]->Area(), Area(c.opens));
    EXPECT_EQ(w.MessageLists()[0]->DisplayedIndex, 2);
  }
}

TEST_F(MainWindowToolsTest, AnAddressBookEntryIsAddedFoundAfterARestartAndDeleted) {
  Prepare({});
  Open();
  Trigger("Adressbuch1");
  TAddrBook* book = window->AddressBookWindow();
  ASSERT_NE(book, nullptr);
  EXPECT_EQ(book->LbList()->topLevelItem(0)->text(0), TAddrBook::kPersonalBook);
  EXPECT_FALSE(book->LbList()->topLevelItem(0)->flags() & Qt::ItemIsEditable);
  book->findChild<QAction*>("BtnAddAddr")->trigger();
  TFriend* entry = book->SelectedFriend();
  ASSERT_NE(entry, nullptr);
  auto* dialog = dynamic_cast<TAddressProperties*>(entry->PropertiesDialog.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Properties of Jon Doe");
  dialog->findChild<QLineEdit*>("EdName")->setText("Anna Berg");
  dialog->findChild<QLineEdit*>("EdFido")->setText("2:5020/1042.7");
  dialog->findChild<QLineEdit*>("EdEMail")->setText("anna@example.org");
  QTest::mouseClick(dialog->findChild<QPushButton*>("Button3"), Qt::LeftButton);
  EXPECT_EQ(entry->PropertiesDialog, nullptr);
  EXPECT_EQ(book->LbUser()->topLevelItem(0)->text(0), "Anna Berg");
  EXPECT_EQ(book->LbUser()->topLevelItem(0)->text(1), "2:5020/1042.7");
  book->close();
  ASSERT_TRUE(PumpUntil([this] { return window->AddressBookWindow() == nullptr; }));

  window.reset();  // saves the configuration
  Open();
  TFriend* found = window->ConfigStore().AddressBook().FindByName("Anna Berg");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->GetEMail(), "anna@example.org");
  Trigger("Adressbuch1");
  book = window->AddressBookWindow();
  ASSERT_EQ(book->LbUser()->topLevelItemCount(), 1);
  book->LbUser()->setCurrentItem(book->LbUser()->topLevelItem(0));
  book->LbUser()->setFocus();
  book->findChild<QAction*>("BtnDelete")->trigger();
  EXPECT_EQ(book->LbUser()->topLevelItemCount(), 0);
  EXPECT_EQ(window->ConfigStore().AddressBook().GetCount(), 0);
  book->findChild<QAction*>("BtnDelete")->trigger();  // an empty list: nothing
  book->findChild<QAction*>("BtnWrite")->trigger();
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "Please select an address first!");
}

TEST_F(MainWindowToolsTest, WritingToAnEntryOpensANetmailAndTheEditorPicksFromTheNodelist) {
  Prepare({});
  Open();
  auto anna = std::make_unique<TFriend>();
  anna->SetName("Anna Berg");
  anna->SetEMail("anna@example.org");
  anna->Address().SetText("2:5020/1042.7");
  window->ConfigStore().AddressBook().AddFriend(std::move(anna));
  Trigger("Adressbuch1");
  TAddrBook* book = window->AddressBookWindow();
  book->LbUser()->setCurrentItem(book->LbUser()->topLevelItem(0));
  book->findChild<QAction*>("BtnWrite")->trigger();
  ASSERT_EQ(TMessageEditor::OpenEditors().size(), 1u);
  TMessageEditor& e = *TMessageEditor::OpenEditors().front();
  EXPECT_EQ(e.windowTitle(), "Message editor for area NETMAIL");
  EXPECT_EQ(e.DestName(), "Anna Berg <anna@example.org>");
  EXPECT_EQ(e.DestAddress(), "2:5020/1042.7");
  EXPECT_EQ(e.Flags(), 0x0840);

  // F1 in the text opens the help on the editor's context, as the main
  // window opens its own.
  platform::MakeDirs(Start() + "Tervik/");
  platform::WriteFileAtomic(Start() + "Tervik/8000.html", "<p>The message editor</p>");
  e.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
  e.Editor->setFocus();
  QTest::keyClick(e.Editor, Qt::Key_F1);
  THelpViewer* viewer = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<THelpViewer*>(top); v && v->isVisible()) viewer = v;
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->toPlainText(), "The message editor");
  e.findChild<QAction*>("Hilfethemen1")->trigger();
  EXPECT_TRUE(viewer->toPlainText().contains("Содержание"));
  viewer->close();

  // The lookup button opens the browser on the typed name; OK takes the
  // picked sysop and address, cancel keeps what was there.
  WriteBrowseIndexSet(dir, "nl/");
  GetNodelistLookup().SetPath(dir.Path() + "nl/");
  ASSERT_TRUE(e.LookupReceiver->isEnabled());
  e.NewReceiver->setEditText("bob");
  QString sysop, address;
  for (bool ok : {false, true}) {
    const ModalHook old = SetModalHook([&](QWidget* w) {
      auto& browser = static_cast<TAdvNLLookup&>(*w);
      EXPECT_EQ(browser.EdSysop->text(), "bob");
      w->show();
      EXPECT_TRUE(PumpUntil([&] { return !browser.Updater().Running(); }));
      browser.List->SelectItem(browser.List->Count() - 1);
      browser.ListClick();
      sysop = browser.ResSysop->text();
      address = browser.ResAddr->text();
      return int(ok ? QDialog::Accepted : QDialog::Rejected);
    });
    e.LookupReceiver->click();
    SetModalHook(old);
    EXPECT_EQ(e.DestAddress(), ok ? address.toStdString() : "2:5020/1042.7");
  }
  EXPECT_EQ(address, "2:5020/1.5");
  EXPECT_EQ(e.DestName(), sysop.toStdString());
  GetNodelistLookup().SetPath("");
  window.reset();
  EXPECT_TRUE(TMessageEditor::OpenEditors().empty());
}

TEST_F(MainWindowToolsTest, AddressListsAreMadeRenamedAndPeopleMovedAndDeletedInOrder) {
  Prepare({});
  Open();
  Trigger("Adressbuch1");
  TAddrBook* book = window->AddressBookWindow();
  TGroupList& lists = window->ConfigStore().AddressGroups();
  book->BtnNewListClick();
  ASSERT_EQ(lists.GetCount(), 1);
  EXPECT_EQ(book->CurrentList(), lists.GetGroup(0));
  QTreeWidgetItem* node = book->LbList()->currentItem();
  ASSERT_TRUE(node->flags() & Qt::ItemIsEditable);
  node->setText(0, "Friends");  // as the editor leaves it
  EXPECT_EQ(lists.GetString(0), "Friends");
  EXPECT_EQ(book->LbList()->topLevelItem(1)->text(0), "Friends");
  for (const char* name : {"A", "B", "C"}) {
    auto entry = std::make_unique<TFriend>();
    entry->SetName(name);
    book->CurrentList()->AddFriend(std::move(entry));
  }
  const auto names = [book] {
    QStringList n;
    for (int i = 0; i < book->LbUser()->topLevelItemCount(); ++i)
      n << book->LbUser()->topLevelItem(i)->text(0);
    return n;
  };
  ASSERT_EQ(names(), QStringList({"A", "B", "C"}));
  book->MovePerson(0, 2);
  EXPECT_EQ(names(), QStringList({"B", "C", "A"}));
  book->MovePerson(2, 0);
  EXPECT_EQ(names(), QStringList({"A", "B", "C"}));
  // Deleting the last row selects the new last one.
  book->LbUser()->setCurrentItem(book->LbUser()->topLevelItem(2));
  book->LbUser()->setFocus();
  book->BtnDeleteClick();
  EXPECT_EQ(names(), QStringList({"A", "B"}));
  EXPECT_EQ(book->SelectedFriend()->GetName(), "B");
  // Sorting orders the list by name.
  book->MovePerson(0, 1);
  book->Sortieren1Click();
  EXPECT_EQ(names(), QStringList({"A", "B"}));
}

TEST_F(MainWindowToolsTest, AddressListsSortWithYoAfterYeAndARenamedListMovesToItsPlace) {
  Prepare({});
  Open();
  TGroupList& lists = window->ConfigStore().AddressGroups();
  for (const char* name : {"Жанна", "ёжик", "Work", "Ёлкин", "Яна", "Егор", "Ежов", "Анна",
                           "friends", "Ірина", "Игорь"})
    lists.Add(platform::FromUtf8(name, platform::AnsiCodePage()), std::make_unique<TGroup>());
  Trigger("Adressbuch1");
  TAddrBook* book = window->AddressBookWindow();
  ASSERT_NE(book, nullptr);
  const auto nodes = [book] {
    QStringList n;
    for (int i = 0; i < book->LbList()->topLevelItemCount(); ++i)
      n << book->LbList()->topLevelItem(i)->text(0);
    return n;
  };
  const QString personal = TAddrBook::kPersonalBook;
  EXPECT_EQ(nodes(), QStringList({personal, "friends", "Work", "Анна", "Егор", "Ежов", "ёжик",
                                  "Ёлкин", "Жанна", "Игорь", "Ірина", "Яна"}));
  // Renamed, a list takes its place among the others.
  QTreeWidgetItem* node = book->LbList()->topLevelItem(11);
  ASSERT_EQ(node->text(0), "Яна");
  node->setText(0, "Ёжкин");
  EXPECT_EQ(lists.GetString(lists.IndexOf(book->CurrentList())),
            platform::FromUtf8("Ёжкин", platform::AnsiCodePage()));
  EXPECT_EQ(nodes(), QStringList({personal, "friends", "Work", "Анна", "Егор", "Ежов", "ёжик",
                                  "Ёжкин", "Ёлкин", "Жанна", "Игорь", "Ірина"}));
  EXPECT_EQ(book->LbList()->currentItem()->text(0), "Ёжкин");
}

TEST_F(MainWindowToolsTest, AreaToolsReportAndHelpRunFromTheMenus) {
  Prepare({{"FIDO.GER", Times(3, MsgFlag::Unread)}, {"RU.TEST", Times(2, MsgFlag::Unread)}});
  TKQMainWindow& w = Open();
  TEZBetterListBox* areas = w.AreaListBox();
  areas->ClearSelection();
  areas->SetSelected(Row("FIDO.GER"), true);
  prompter.Script({platform::mbYes});
  Trigger("Aufholen1");
  EXPECT_EQ(Area("FIDO.GER")->UnreadCount, 0);
  EXPECT_EQ(Area("RU.TEST")->UnreadCount, 2);
  EXPECT_EQ(w.findChild<QWidget*>("Note"), nullptr);  // the note went with the tool

  // Delete with only the netmail area selected: no assistant comes up.
  areas->ClearSelection();
  areas->SetSelected(Row("NETMAIL"), true);
  int assistants = 0;
  const ModalHook old = SetModalHook([&assistants](QWidget*) { return ++assistants, 0; });
  Trigger("Lschen1");
  EXPECT_EQ(assistants, 0);
  SetModalHook(old);

  // The report goes into NETMAIL from the first uplink in zone 1 or 2.
  TNetLink* uplink = w.ConfigStore().Uplinks().GetItem(0);
  uplink->SysopAddress.SetText("3:640/1.2");
  prompter.Clear();
  prompter.Script({platform::mbYes});
  Trigger("ConfiganAutorsenden1");
  ASSERT_EQ(prompter.Questions().size(), 2u);
  EXPECT_EQ(prompter.Questions()[1].text, "You have no uplink to zone 1 or 2!");
  uplink->SysopAddress.SetText("2:5020/1042.7");
  uplink->Sysop = "Point User";
  const int before = Area("NETMAIL")->Count;
  prompter.Script({platform::mbYes});
  Trigger("ConfiganAutorsenden1");
  TArea* netmail = Area("NETMAIL");
  ASSERT_TRUE(netmail->OpenIndex());
  ASSERT_EQ(netmail->Count, before + 1);
  EXPECT_EQ(netmail->GetHeader(before).FromName.View(), "Point User");
  EXPECT_EQ(netmail->GetHeader(before).ToName.View(), TConfigStore::kSupportName);
  netmail->CloseIndex();

  // Help: the main window's topic, a page of the help folder when there is one.
  platform::MakeDirs(Start() + "Tervik/");
  platform::WriteFileAtomic(Start() + "Tervik/1000.html", "<p>The area list</p>");
  Trigger("Hilfe3");
  THelpViewer* viewer = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<THelpViewer*>(top); v && v->isVisible()) viewer = v;
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->toPlainText(), "The area list");
  Trigger("Hilfethemen1");
  EXPECT_TRUE(viewer->toPlainText().contains("Содержание"));
  viewer->close();

  Trigger("Nodelistensuche1");
  auto* browser = w.findChild<TAdvNLLookup*>();
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<TAdvNLLookup*>(top); b && b->isVisible()) browser = b;
  ASSERT_NE(browser, nullptr);
  browser->close();

  Trigger("ShowFred");
  TFileReqEditor* fred = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* f = qobject_cast<TFileReqEditor*>(top); f && f->isVisible()) fred = f;
  ASSERT_NE(fred, nullptr);
  fred->close();
}

TEST(AddressPropertiesTest, ApplyStoresInOneBracketAndAnEmptyAddressClearsIt) {
  App();
  TFriend entry;
  int changes = 0;
  entry.OnChange = [&changes](TFriend&) { ++changes; };
  entry.SetName("Anna");
  changes = 0;
  TAddressProperties* dialog = ShowFriendProperties(entry);
  auto* fido = dialog->findChild<QLineEdit*>("EdFido");
  fido->setText("2:5020/1");
  dialog->BtnApplyClick();  // the address alone: one change when the bracket closes
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(entry.Address().GetText(), "2:5020/1");
  dialog->BtnApplyClick();  // nothing new: no change
  EXPECT_EQ(changes, 1);
  fido->clear();
  dialog->findChild<QPlainTextEdit*>("MComment")->setPlainText("one\ntwo");
  dialog->BtnApplyClick();
  EXPECT_TRUE(entry.Address().IsEmpty());
  EXPECT_EQ(entry.Comments, (std::vector<std::string>{"one", "two"}));
  EXPECT_FALSE(dialog->findChild<QPushButton*>("BtnApply")->isEnabled());
}

}  // namespace
}  // namespace velmaris::test
