// Commands of the message list window end to end: a reply and a netmail
// answer composed in the window, saved by the editor, dumped and exported by
// the batch driver; editing a stored message; flags, searches and catching
// up a thread.
#include <QAction>
#include <QCheckBox>
#include <QTest>

#include "MainWindowFixture.h"
#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "widgets/TreeNT.h"

namespace velmaris::test {
namespace {

class ComposeReplyTest : public MainWindowFixture {
 protected:
  std::string Batch(const std::vector<std::string>& args) {
    std::string out;
    EXPECT_EQ(RunBatch(Start(), RegistryPath(), args, &out), 0) << out;
    return out;
  }
  std::vector<std::string> Dump(const std::string& area) {
    std::vector<std::string> lines;
    const std::string out = Batch({"dump", area});
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
      lines.push_back(out.substr(at, nl - at));
    return lines;
  }
  TMessageListWindow& OpenArea(const std::string& name) {
    TKQMainWindow& w = window ? *window : Open();
    w.show();
    const int row = w.ConfigStore().Areas().IndexOf(Area(name));
    w.AreaListBox()->SelectItem(row);
    QTest::keyClick(w.AreaListBox(), Qt::Key_Return);
    return *MessageWindowOf(*Area(name));
  }
  // Runs a command of the window and returns the editor it opened.
  TMessageEditor* Run(TMessageListWindow& m, const char* action) {
    const size_t before = TMessageEditor::OpenEditors().size();
    m.Action(action)->trigger();
    EXPECT_EQ(TMessageEditor::OpenEditors().size(), before + 1) << action;
    return TMessageEditor::OpenEditors().back();
  }
};

TEST_F(ComposeReplyTest, RepliesSavedFromTheWindowCarryTheirKludgesAndAreExported) {
  dir.Write("text.txt", "Hello there\nsecond line\n");
  Batch({"write", "FIDO.GER", "--from", "Max Mustermann", "--to", "Paul", "--subject", "Hello",
         "--text-file", dir / "text.txt"});
  Batch({"export"});  // the original leaves; only the answers are exported below
  TMessageListWindow& m = OpenArea("FIDO.GER");
  m.GoToMessage(0);
  ASSERT_TRUE(m.IsMessageView());
  char serial[9];
  std::snprintf(serial, sizeof serial, "%08x", m.CurrentMail->Header.MsgIdNumber);
  const std::string reply = std::string("\\u0001REPLY: 0:8/15 ") + serial + "\\r";

  for (const char* command : {"Answer", "PAntwortalsNetMail"}) {
    TMessageEditor* editor = Run(m, command);
    ASSERT_TRUE(editor->SaveMail()) << editor->LastSaveError();
    editor->close();
  }
  const std::vector<std::string> echo = Dump("FIDO.GER");
  ASSERT_EQ(echo.size(), 2u);
  EXPECT_NE(echo[1].find("\"subject\":\"Re: Hello\""), std::string::npos) << echo[1];
  EXPECT_NE(echo[1].find(reply), std::string::npos) << echo[1];
  EXPECT_NE(echo[1].find("\\r MM> Hello there second line\\r"), std::string::npos) << echo[1];
  const std::vector<std::string> net = Dump("NETMAIL");
  ASSERT_EQ(net.size(), 1u);
  EXPECT_NE(net[0].find("\\u0001INTL 0:8/15 0:8/15\\r"), std::string::npos) << net[0];
  EXPECT_NE(net[0].find(reply), std::string::npos) << net[0];
  const std::string log = Batch({"export"});
  EXPECT_NE(log.find("\"echomails\":1,\"netmails\":1"), std::string::npos) << log;
}

TEST_F(ComposeReplyTest, EditHoldsTheAreaAndReplacesTheStoredMessage) {
  dir.Write("text.txt", "first text\n");
  Batch({"write", "FIDO.GER", "--from", "Me", "--to", "All", "--subject", "Mine", "--text-file",
         dir / "text.txt"});
  TMessageListWindow& m = OpenArea("FIDO.GER");
  m.GoToMessage(0);
  TArea& area = *Area("FIDO.GER");
  TMessageEditor* editor = Run(m, "Edit");
  EXPECT_TRUE(area.IsLockedExclusive());
  EXPECT_EQ(editor->Modifies(), 0);
  EXPECT_FALSE(editor->AllowAreaChange());
  EXPECT_EQ(editor->Lines(), (std::vector<std::string>{"first text", ""}));
  EXPECT_EQ(editor->Origin(), "Velmaris 95");
  editor->SetLines({"changed text"});
  ASSERT_TRUE(editor->SaveMail()) << editor->LastSaveError();
  editor->close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(area.IsLocked());
  m.close();  // the last user of the index writes it
  QCoreApplication::processEvents();
  const std::vector<std::string> dump = Dump("FIDO.GER");
  ASSERT_EQ(dump.size(), 1u);
  EXPECT_NE(dump[0].find("\\rchanged text\\r"), std::string::npos) << dump[0];
}

TEST_F(ComposeReplyTest, FlagBoxesSearchesAndCatchingUpAThread) {
  Prepare({{"FIDO.GER", {MsgFlag::Unread, 0, MsgFlag::Unread | MsgFlag::ToSysop, 0}}});
  TMessageListWindow& m = OpenArea("FIDO.GER");
  TArea& area = *Area("FIDO.GER");
  m.GoToMessage(0);
  m.findChild<QCheckBox*>("F_Hold")->click();
  EXPECT_EQ(area.GetHeader(0).Flags & MsgFlag::Hold, MsgFlag::Hold);
  m.Action("NchsteanSysop1")->trigger();
  EXPECT_EQ(m.DisplayedIndex, 2);
  m.Action("VorherigeungeleseneMail1")->trigger();
  EXPECT_EQ(m.DisplayedIndex, 2);  // reading cleared Unread on message 0
  m.findChild<QCheckBox*>("F_Unread")->click();
  EXPECT_EQ(area.UnreadCount, 1);

  // Catching up every group clears Unread everywhere.
  m.EnsureTree();
  for (TThreadNode* group = m.Threads.RootNode.FirstChild; group; group = group->Next) {
    m.SelectThread(static_cast<TTreeNTNode*>(group->TreeNode));
    m.Threadaufholen1Click();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(area.UnreadCount, 0);
  EXPECT_FALSE(area.IsLocked());
}

}  // namespace
}  // namespace velmaris::test
