#include "core/WinLst.h"

#include <gtest/gtest.h>

namespace velmaris::test {
namespace {

struct FakeWindow : TObject {};

TEST(WinLstTest, WindowsRegisterUnderTheirCaptionsAndLeave) {
  TWinLst list;
  FakeWindow exportWin, mailerWin, stranger;
  int changes = 0;
  list.OnChange = [&](TPubLst&) { ++changes; };
  EXPECT_EQ(list.Add("Export", &exportWin), 0);
  EXPECT_EQ(list.Add("Mailer - Line 1", &mailerWin), 1);
  EXPECT_EQ(list.IndexOfObject(&mailerWin), 1);
  EXPECT_EQ(list.IndexOfObject(&stranger), -1);
  EXPECT_EQ(list.GetItem(0), &exportWin);
  EXPECT_EQ(list.GetString(1), "Mailer - Line 1");
  EXPECT_THROW(list.GetItem(2), EListIndexError);
  EXPECT_TRUE(list.Remove(&exportWin));
  EXPECT_FALSE(list.Remove(&exportWin));
  EXPECT_EQ(list.IndexOfObject(&mailerWin), 0);
  EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace velmaris::test
