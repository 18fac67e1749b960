// Opening an area from the main window while another holder (a plug-in's
// connection thread, a job) has it locked: an exclusive holder keeps it
// shut, and the window is built under a shared hold.
#include <QTest>
#include <thread>

#include "MainWindowFixture.h"
#include "app/MsgWin.h"

namespace velmaris::test {
namespace {

class OpenAreaTest : public MainWindowFixture {
 protected:
  // Locks or unlocks the area on a thread of its own, as a plug-in's
  // connection thread does.
  static bool LockElsewhere(TArea& area, bool exclusive) {
    bool granted = false;
    std::thread([&] { granted = area.Lock(exclusive); }).join();
    return granted;
  }
  static void UnlockElsewhere(TArea& area) {
    std::thread([&] { area.Unlock(); }).join();
  }
  void OpenByKey(const std::string& name) {
    const int row = window->ConfigStore().Areas().IndexOf(Area(name));
    window->AreaListBox()->SelectItem(row);
    QTest::keyClick(window->AreaListBox(), Qt::Key_Return);
    QCoreApplication::processEvents();
  }
};

TEST_F(OpenAreaTest, AnAreaLockedExclusivelyElsewhereDoesNotOpen) {
  Prepare({{"FIDO.GER", Times(5, 0)}, {"FIDO.ENG", Times(3, 0)}});
  TKQMainWindow& w = Open();
  w.show();
  TArea& area = *Area("FIDO.GER");
  ASSERT_TRUE(LockElsewhere(area, true));
  OpenByKey("FIDO.GER");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The area FIDO.GER is in use an cannot be opened!");
  EXPECT_EQ(MessageWindowOf(area), nullptr);
  EXPECT_TRUE(w.MessageLists().empty());
  EXPECT_FALSE(area.IsIndexLoaded());  // nothing read under the other's lock
  EXPECT_TRUE(area.IsLockedExclusive());
  UnlockElsewhere(area);
  QCoreApplication::processEvents();

  // Free again: it opens, and the shared hold of the opening is given back.
  OpenByKey("FIDO.GER");
  TMessageListWindow* m = MessageWindowOf(area);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->windowTitle(), "FIDO.GER - 5 Messages");
  EXPECT_FALSE(area.IsLocked());

  // While the window is open, an exclusive holder keeps it from coming up.
  ASSERT_TRUE(LockElsewhere(area, true));
  EXPECT_EQ(w.OpenMessageList(area), nullptr);
  ASSERT_EQ(prompter.Questions().size(), 2u);
  EXPECT_EQ(prompter.Questions()[1].text, "The area FIDO.GER is in use an cannot be opened!");
  UnlockElsewhere(area);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.OpenMessageList(area), m);

  // A shared holder does not keep it shut; the window (reused here, the
  // limit being one) reads the other area while the opening holds it too.
  TArea& other = *Area("FIDO.ENG");
  ASSERT_TRUE(LockElsewhere(other, false));
  int holdsWhileBuilt = -1;
  QObject::connect(m, &TMessageListWindow::areaChanged, m,
                   [&] { holdsWhileBuilt = other.HoldCount(); });
  EXPECT_EQ(w.OpenMessageList(other), m);
  EXPECT_EQ(holdsWhileBuilt, 2);
  EXPECT_EQ(other.HoldCount(), 1);
  EXPECT_EQ(m->windowTitle(), "FIDO.ENG - 3 Messages");
  UnlockElsewhere(other);
  EXPECT_EQ(prompter.Questions().size(), 2u);
}

}  // namespace
}  // namespace velmaris::test
