#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgNavigate.h"
#include "core/Area.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

TEST(MsgNavigate, TextViewerKeys) {
  using enum TViewKeyCommand;
  struct Case {
    TViewKey key;
    bool shift, alt, ctrl, tree;
    TViewKeyCommand expected;
  };
  const std::vector<Case> cases = {
      {TViewKey::Delete, false, false, true, false, ToggleKill},
      {TViewKey::Escape, false, false, false, false, ListView},
      {TViewKey::Enter, true, false, false, false, ListView},
      {TViewKey::Backspace, false, false, false, true, FocusTree},
      {TViewKey::Backspace, false, false, false, false, None},
      {TViewKey::Left, false, false, false, false, Previous},
      {TViewKey::Right, false, false, false, false, Next},
      {TViewKey::Left, true, false, false, false, PreviousSame},
      {TViewKey::Right, true, false, false, false, NextSame},
      {TViewKey::Left, true, false, true, false, First},  // Ctrl wins
      {TViewKey::Right, false, true, true, false, Last},
      {TViewKey::Left, false, true, false, false, None},
      {TViewKey::Other, false, false, false, true, None},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(ViewKeyCommand(c.key, c.shift, c.alt, c.ctrl, c.tree), c.expected);
  }
}

TEST(MsgNavigate, MessageNumbersInsideTheArea) {
  EXPECT_EQ(ParseMessageNumber("1", 5), 0);
  EXPECT_EQ(ParseMessageNumber(" 5 ", 5), 4);
  for (const char* bad : {"0", "6", "-1", "", "x", "3x", "99999999999"})
    EXPECT_EQ(ParseMessageNumber(bad, 5), std::nullopt) << bad;
}

TEST(MsgNavigate, FlagBoxesAndFirstMessage) {
  const TFlagBox* hold = FindFlagBox("F_Hold");
  ASSERT_TRUE(hold);
  EXPECT_EQ(ApplyFlagBox(0x0004, hold->Bit, true), 0x0006);
  EXPECT_FALSE(hold->RedrawRow || hold->RedrawAreaLine);
  const TFlagBox* unread = FindFlagBox("F_Unread");
  EXPECT_EQ(ApplyFlagBox(0x0006, unread->Bit, false), 0x0002);
  EXPECT_TRUE(unread->RedrawRow && unread->RedrawAreaLine);
  EXPECT_EQ(FirstMessageIndex(true, {4, 2}, 5), 4);
  EXPECT_EQ(FirstMessageIndex(false, {4, 2}, 5), 0);
  EXPECT_EQ(FirstMessageIndex(true, {}, 5), -1);
  EXPECT_EQ(FirstMessageIndex(false, {}, 0), -1);
}

struct Node {
  Node* FirstChild = nullptr;
  Node* Next = nullptr;
  int MsgIndex = -1;
};

TEST(MsgNavigate, ThreadSelectionTakesChildrenFirst) {
  // group -> 3 -> (5 -> 8), 6 ; group -> 1
  Node n8{nullptr, nullptr, 8}, n6{nullptr, nullptr, 6};
  Node n5{&n8, &n6, 5}, n1{nullptr, nullptr, 1};
  Node n3{&n5, &n1, 3}, group{&n3, nullptr, -1};
  EXPECT_EQ(ThreadSelection(&group), (std::vector<int>{8, 5, 6, 3, 1}));
  EXPECT_EQ(ThreadSelection(&n5), std::vector<int>{5});
  EXPECT_TRUE(ThreadSelection<Node>(nullptr).empty());
  EXPECT_EQ(GroupImageIndex(4, true), 6);
  EXPECT_EQ(GroupImageIndex(6, false), 4);
  EXPECT_EQ(TreeWidthInContainer(300, 200), 200);
  EXPECT_EQ(TreeWidthInContainer(210, 200), 190);
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
