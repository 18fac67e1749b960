#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgNavigate.h"
#include "app/logic/MsgThreads.h"
#include "core/Area.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

TEST(MsgNavigate, FlagBoxesChangeOneBit) {
  const TFlagBox* hold = FindFlagBox("F_Hold");
  ASSERT_TRUE(hold);
  EXPECT_EQ(ApplyFlagBox(0x0004, hold->Bit, true), 0x0006);
  EXPECT_FALSE(hold->RedrawRow || hold->RedrawAreaLine);
  const TFlagBox* unread = FindFlagBox("F_Unread");
  EXPECT_EQ(ApplyFlagBox(0x0006, unread->Bit, false), 0x0002);
  EXPECT_TRUE(unread->RedrawRow && unread->RedrawAreaLine);
}

TEST(MsgNavigate, ThreadSelectionTakesRepliesFirst) {
  // group -> 3 -> (5 -> 8), 6 ; group -> 1
  TThreadNode group, n1, n3, n5, n6, n8;
  auto link = [](TThreadNode& parent, std::vector<TThreadNode*> children, int index) {
    parent.MsgIndex = index;
    for (size_t i = 0; i < children.size(); ++i) {
      children[i]->Parent = &parent;
      if (i == 0) parent.FirstChild = children[i];
      if (i + 1 < children.size()) children[i]->Next = children[i + 1];
    }
  };
  link(group, {&n3, &n1}, -1);
  link(n3, {&n5, &n6}, 3);
  link(n5, {&n8}, 5);
  link(n8, {}, 8), link(n6, {}, 6), link(n1, {}, 1);
  EXPECT_EQ(ThreadSelection(&group), (std::vector<int>{8, 5, 6, 3, 1}));
  EXPECT_EQ(ThreadSelection(&n5), std::vector<int>{5});
  TThreadNode empty;
  EXPECT_TRUE(ThreadSelection(&empty).empty());
  EXPECT_TRUE(ThreadSelection(nullptr).empty());
}

TEST(MsgNavigate, CatchUpClearsUnreadOnlyUnderTheLock) {
  test::TempDir dir;
  TArea area(dir.Path(), "ECHO", "ECHO");
  for (int i = 0; i < 3; ++i) {
    area.QueueMail(std::make_unique<TMail>(std::string(40, 'x'), TMsgHeader{}));
  }
  ASSERT_TRUE(area.WriteQueuedMail());
  ASSERT_TRUE(area.OpenIndex());
  for (int i = 0; i < 3; ++i)
    area.ChangeHeaderFlags(i, MsgFlag::Unread | MsgFlag::ToSysop, FlagOperation::Set);
  auto flags = [&] {
    std::vector<uint16_t> out;
    for (int i = 0; i < area.Count; ++i) out.push_back(area.GetHeader(i).Flags & 0x0014);
    return out;
  };
  ASSERT_TRUE(area.Lock(false));
  EXPECT_FALSE(CatchUpMessages(area, {0, 2}));
  area.Unlock();
  EXPECT_EQ(flags(), (std::vector<uint16_t>{0x14, 0x14, 0x14}));
  EXPECT_TRUE(CatchUpMessages(area, {0, 2, 7, -1}));
  EXPECT_EQ(flags(), (std::vector<uint16_t>{0x10, 0x14, 0x10}));
  EXPECT_FALSE(area.IsLocked());
  area.CloseIndex();
}

}  // namespace
}  // namespace velmaris
