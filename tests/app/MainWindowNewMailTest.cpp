// The main window's new-message command opens an editor on the focus area.
#include <QAction>
#include <QPlainTextEdit>

#include "MainWindowFixture.h"
#include "app/MessageEditor.h"
#include "widgets/VxCheckListBox.h"

namespace velmaris::test {
namespace {

class MainWindowNewMailTest : public MainWindowFixture {};

TEST_F(MainWindowNewMailTest, NewMessageOpensAnEditorOnTheFocusArea) {
  Prepare({{"RU.ONE", {}}, {"RU.TWO", {}}});
  TKQMainWindow& w = Open();
  QAction* newMail = w.findChild<QAction*>("NeueMail1");
  ASSERT_TRUE(newMail->isEnabled());
  newMail->trigger();
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "No destination area(s) seleced!");

  const int one = w.ConfigStore().Areas().IndexOfName("RU.ONE");
  const int two = w.ConfigStore().Areas().IndexOfName("RU.TWO");
  w.AreaListBox()->SetItemIndex(one);
  w.AreaListBox()->SetSelected(two, true);
  newMail->trigger();
  ASSERT_EQ(TMessageEditor::OpenEditors().size(), 1u);
  TMessageEditor& e = *TMessageEditor::OpenEditors().front();
  EXPECT_EQ(e.windowTitle(), "Message editor for area RU.ONE");
  EXPECT_EQ(e.DestName(), "All");
  EXPECT_EQ(e.Flags(), 0x0840);
  const int copyRow = e.CopyAreas->Items().indexOf("RU.TWO");
  ASSERT_GE(copyRow, 0);
  EXPECT_TRUE(e.CopyAreas->Checked(copyRow));
  // Closing the program asks for the unsaved text; No keeps both open.
  e.Editor->insertPlainText("typed");
  prompter.Clear();
  prompter.Script({platform::mbNo});
  EXPECT_FALSE(w.close());
  EXPECT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(TMessageEditor::OpenEditors().size(), 1u);
  // The main window's end frees the editor.
  window.reset();
  EXPECT_TRUE(TMessageEditor::OpenEditors().empty());
}

}  // namespace
}  // namespace velmaris::test
