// The selection tools and area commands of the message list window, driven
// through the real main window and message list offscreen.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "MainWindowFixture.h"
#include "app/DirDialog.h"
#include "app/MsgWin.h"
#include "app/ProgressWindow.h"
#include "app/SelectionToolForms.h"
#include "app/UUDecoder.h"
#include "core/MailFixtures.h"
#include "widgets/BetterListBox.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

class MsgWinToolsTest : public MainWindowFixture {
 protected:
  TMessageListWindow& OpenList(const std::string& name) {
    Open();
    TMessageListWindow* list = window->OpenMessageList(*Area(name));
    EXPECT_NE(list, nullptr);
    return *list;
  }
  // Selects the rows of the list view.
  static void SelectRows(TMessageListWindow& list, std::initializer_list<int> rows) {
    list.SetMessageView(false);
    for (int row = 0; row < list.DisplayList.Count(); ++row)
      list.ListBox()->SetSelected(row, false);
    for (int row : rows) list.ListBox()->SetSelected(row, true);
  }
  // Answers the next tool with a press on its OK button after prepare.
  void AnswerOk(const std::function<void(QWidget*)>& prepare = {}) {
    SetModalHook([prepare](QWidget* form) {
      if (prepare) prepare(form);
      form->findChild<QPushButton*>("Ok")->click();
      return static_cast<int>(QDialog::Accepted);
    });
  }
  // The senders' numbers of the area's messages in area order.
  std::vector<std::string> Senders(const std::string& name) {
    TArea* area = Area(name);
    std::vector<std::string> out;
    EXPECT_TRUE(area->OpenIndex());
    for (int i = 0; i < area->Count; ++i) out.push_back(area->GetHeader(i).FromName.Str());
    area->CloseIndex();
    return out;
  }
  void TearDown() override {
    SetModalHook({});
    MainWindowFixture::TearDown();
  }
};

TEST_F(MsgWinToolsTest, DeleteAndMoveWorkOnTheSelectedRows) {
  Prepare({{"ECHO", Times(5, 0)}, {"OTHER", Times(1, 0)}, {"TREE", Times(4, 0)}});
  TMessageListWindow& list = OpenList("ECHO");
  SelectRows(list, {1, 3});
  AnswerOk();
  list.Action("Lschen2")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.DisplayList.Count() == 3; }, 10000));
  EXPECT_EQ(Senders("ECHO"), (std::vector<std::string>{"Sender 1", "Sender 3", "Sender 5"}));

  SelectRows(list, {0, 2});
  AnswerOk([](QWidget* form) {
    auto* target = form->findChild<QComboBox*>("AreaButton");
    target->setCurrentIndex(target->findText("OTHER"));
    form->findChild<QCheckBox*>("MoveMails")->setChecked(true);
  });
  list.Action("KopiereninandereArea1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.DisplayList.Count() == 1; }, 10000));
  EXPECT_EQ(Senders("ECHO"), (std::vector<std::string>{"Sender 3"}));
  EXPECT_EQ(Senders("OTHER"), (std::vector<std::string>{"Sender 6", "Sender 1", "Sender 5"}));
  EXPECT_TRUE(prompter.Questions().empty());

  // From the thread tree's menu the tool takes the node's messages, not the
  // selected rows.
  TMessageListWindow& tree = *window->OpenMessageList(*Area("TREE"));
  SelectRows(tree, {0});
  tree.ThreadMessages = {1, 2};
  tree.FromThreadMenu = true;
  AnswerOk();
  tree.Action("ThreadDeleteMails")->trigger();
  tree.FromThreadMenu = false;
  ASSERT_TRUE(QTest::qWaitFor([&] { return tree.DisplayList.Count() == 2; }, 10000));
  EXPECT_EQ(Senders("TREE"), (std::vector<std::string>{"Sender 7", "Sender 10"}));
}

TEST_F(MsgWinToolsTest, FlagsAndCatchUpChangeTheArea) {
  Prepare({{"ECHO", {MsgFlag::Unread, 0, MsgFlag::Unread}}});
  TMessageListWindow& list = OpenList("ECHO");
  list.ListBox()->SelectAll();
  AnswerOk([](QWidget* form) {
    form->findChild<QComboBox*>("Unread")->setCurrentIndex(FlagOperation::Toggle);
    form->findChild<QComboBox*>("Hold")->setCurrentIndex(FlagOperation::Set);
  });
  list.Action("Flagsndern2")->trigger();
  TArea* area = Area("ECHO");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !area->IsLocked(); }, 10000));
  EXPECT_EQ(area->GetHeader(0).Flags, MsgFlag::Hold);
  EXPECT_EQ(area->GetHeader(1).Flags, MsgFlag::Hold | MsgFlag::Unread);
  list.Action("AlleMailsaufholen1")->trigger();
  EXPECT_EQ(area->UnreadCount, 0);
  list.Action("AbsenderinsAdressbuch1")->trigger();
  EXPECT_EQ(window->ConfigStore().AddressBook().GetCount(), 3);

  // Another holder of the area: the tools are refused and nothing changes.
  ASSERT_TRUE(area->Lock(false));
  list.Action("AlleMailsaufholen1")->trigger();
  area->Unlock();
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_NE(prompter.Questions()[0].text.find("because it is in use"), std::string::npos);
}

TEST_F(MsgWinToolsTest, CleanUpOfABusyAreaStartsOnRetryOnceTheAreaIsFree) {
  Prepare({{"ECHO", Times(3, 0)}});
  TMessageListWindow& list = OpenList("ECHO");
  TArea* area = Area("ECHO");
  area->MaxNumber = 1;
  ASSERT_TRUE(area->Lock(false));
  ActingPrompter answers;
  answers.steps = {{platform::mbRetry, [area] { area->Unlock(); }}};
  platform::SetPrompter(&answers);
  list.Action("Aufrumen1")->trigger();
  platform::SetPrompter(&prompter);
  ASSERT_EQ(answers.texts.size(), 1u);
  EXPECT_EQ(answers.texts[0], "The area ECHOis currently in use !");
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.DisplayList.Count() == 1; }, 10000));
  EXPECT_FALSE(area->IsLocked());
}

TEST_F(MsgWinToolsTest, ShortCutsOnTheListOpenTheTools) {
  Prepare({{"ECHO", Times(3, 0)}});
  TMessageListWindow& list = OpenList("ECHO");
  list.show();
  QApplication::setActiveWindow(&list);
  std::vector<QString> opened;
  SetModalHook([&](QWidget* form) {
    opened.push_back(form->objectName());
    return static_cast<int>(QDialog::Rejected);
  });
  for (int key : {Qt::Key_Delete, Qt::Key_Z, Qt::Key_S})
    QTest::keyClick(list.ListBox(), static_cast<Qt::Key>(key), Qt::ControlModifier);
  EXPECT_EQ(opened, (std::vector<QString>{"DelMailExpert", "CopyMails", "SetFlags"}));
  EXPECT_EQ(Area("ECHO")->Count, 3);
}

TEST_F(MsgWinToolsTest, SaveAsTextWritesTheSelectedRowsIntoTheChosenFile) {
  Prepare({{"ECHO", Times(3, 0)}});
  TMessageListWindow& list = OpenList("ECHO");
  SelectRows(list, {0, 2});
  SetModalHook([this](QWidget* form) {
    auto* request = qobject_cast<TAppendRequest*>(form);
    if (!request) return static_cast<int>(QDialog::Rejected);
    request->SetDirectory(QString::fromStdString(dir.Path()));
    request->FileName()->setText("saved.txt");
    return static_cast<int>(QDialog::Accepted);
  });
  list.Action("AlsTextspeichern1")->trigger();
  const std::string saved = dir.Read("saved.txt");
  EXPECT_NE(saved.find("*    Sender: Sender 1(2:5020/1.1)\r\n"), std::string::npos);
  EXPECT_NE(saved.find("*    Sender: Sender 3(2:5020/1.3)\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("Sender 2"), std::string::npos);
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(MsgWinToolsTest, UUDecodeOfTheDisplayedMessageWritesTheFile) {
  Prepare({{"ECHO", {}}});
  {
    Open();
    TArea* area = Area("ECHO");
    MailSpec mail;
    mail.text = "Here it is:\rbegin 644 cat.txt\r#0V%T\r`\rend\r";
    ASSERT_TRUE(area->Lock(true));
    ASSERT_TRUE(area->StoreMail(MakeSpecMail(mail)));
    area->Unlock();
  }
  TMessageListWindow& list = *window->OpenMessageList(*Area("ECHO"));
  list.GoToMessage(0);
  list.Action("UUdecode1")->trigger();
  auto* decoder = list.findChild<TUUDecoder*>("UUDecoder");
  ASSERT_NE(decoder, nullptr);
  decoder->Directory->setText(QString::fromStdString(dir / "out"));
  decoder->DoDecode->click();
  EXPECT_EQ(dir.Read("out/cat.txt"), "Cat");
  EXPECT_TRUE(decoder->DecodeText->toPlainText().contains("Done (3 Bytes)"));
  decoder->DoClose->click();
}

TEST_F(MsgWinToolsTest, ProgressWindowOffersCancelOnlyWhereTheWorkCanStop) {
  for (bool cancellable : {true, false}) {
    TProgressWindow progress(nullptr, QStringLiteral("Work"), cancellable);
    progress.show();
    progress.SetStatus(QStringLiteral("Step"));
    EXPECT_EQ(progress.CancelButton()->isVisible(), cancellable);
    if (cancellable) QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(progress.Aborted(), cancellable);
  }
}

}  // namespace
}  // namespace velmaris::test
