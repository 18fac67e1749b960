#include "app/logic/SelectionTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/AreaFixtures.h"
#include "core/MsgBaseFixtures.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

using test::MakeMail;

// Stops after a given number of messages and records what it was told.
struct Recorder : TToolProgress {
  int stopAfter = -1;
  int begun = -1;
  std::vector<int32_t> steps;
  void Begin(int count) override { begun = count; }
  void Step(int done, int32_t index) override {
    EXPECT_EQ(done, static_cast<int>(steps.size()) + 1);
    steps.push_back(index);
  }
  bool Aborted() override { return static_cast<int>(steps.size()) == stopAfter; }
};

class SelectionToolsTest : public ::testing::Test {
 protected:
  // An area of messages numbered first .. first + n - 1 (each with those
  // flags), written to disk.
  std::unique_ptr<TArea> MakeArea(const std::string& name, int first, int n, uint16_t flags = 0,
                                  size_t textSize = 40) {
    auto area = std::make_unique<TArea>(dir.Path(), name, name);
    std::vector<std::unique_ptr<TMail>> mails;
    for (int k = first; k < first + n; ++k) mails.push_back(MakeMail(k, textSize, flags));
    EXPECT_TRUE(area->Lock(true));
    EXPECT_TRUE(area->StoreMails(std::move(mails)));
    area->Unlock();
    return area;
  }
  // The senders' numbers of the messages stored in the area's files, read
  // by a second area object so that nothing cached in memory counts.
  std::vector<int> Stored(const std::string& name) {
    TArea fresh(dir.Path(), name, name);
    std::vector<int> numbers;
    if (!fresh.OpenIndex()) return numbers;
    for (int i = 0; i < fresh.Count; ++i) {
      auto mail = fresh.ReadMail(i);
      EXPECT_NE(mail->Header.BodyOffset, TMsgHeader::NotStored);
      numbers.push_back(std::stoi(mail->Header.FromName.Str().substr(7)));
    }
    fresh.ReleaseIndex();
    return numbers;
  }
  test::TempDir dir;
  test::ShellScope shell;
};

TEST_F(SelectionToolsTest, DeleteRemovesExactlyTheMessagesWalkedThrough) {
  struct Case {
    std::vector<int32_t> selection;
    int stopAfter;
    std::vector<int> left;
    TToolOutcome::Result result;
  };
  const Case cases[] = {
      {{1, 3}, -1, {0, 2, 4, 5}, TToolOutcome::Done},
      {{5, -1, 99, 5, 0}, -1, {1, 2, 3, 4}, TToolOutcome::Done},  // bad and repeated left out
      {{0, 1, 2, 3}, 2, {2, 3, 4, 5}, TToolOutcome::Aborted},     // cancel after the 2nd
      {{}, -1, {0, 1, 2, 3, 4, 5}, TToolOutcome::Done},
  };
  for (const Case& c : cases) {
    auto area = MakeArea("DEL", 0, 6);
    // A message marked Deleted earlier but not selected stays.
    ASSERT_TRUE(area->OpenIndex());
    area->MarkDeleted(4);
    Recorder progress;
    progress.stopAfter = c.stopAfter;
    const TToolOutcome out = DeleteMessages(*area, c.selection, progress);
    EXPECT_EQ(out.Outcome, c.result);
    EXPECT_FALSE(area->IsLocked());
    area->CloseIndex();
    EXPECT_EQ(Stored("DEL"), c.left);
    area->DeleteFiles();
  }
}

TEST_F(SelectionToolsTest, ToolsRefuseAnAreaInUseAndChangeNothing) {
  auto area = MakeArea("BUSY", 0, 3, MsgFlag::Unread);
  auto other = MakeArea("OTHER", 10, 1);
  Recorder progress;
  ASSERT_TRUE(area->Lock(false));
  EXPECT_EQ(DeleteMessages(*area, {0}, progress).InUse, "BUSY");
  EXPECT_EQ(SetMessageFlags(*area, {0}, {0, 1, 0, 0, 0, 0}, progress).InUse, "BUSY");
  EXPECT_EQ(CopyMessages(*area, *other, {0}, true, progress).InUse, "BUSY");
  area->Unlock();
  // The source chosen as the target, and a target in use.
  EXPECT_EQ(CopyMessages(*area, *area, {0}, false, progress).InUse, "BUSY");
  ASSERT_TRUE(other->Lock(false));
  EXPECT_EQ(CopyMessages(*area, *other, {0}, false, progress).Outcome, TToolOutcome::Refused);
  other->Unlock();
  EXPECT_FALSE(area->IsLocked());
  EXPECT_EQ(Stored("BUSY"), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Stored("OTHER"), (std::vector<int>{10}));
  EXPECT_EQ(progress.begun, -1);
}

TEST_F(SelectionToolsTest, FlagOperationsApplyOncePerSelectedMessage) {
  using F = MsgFlag;
  struct Case {
    TFlagOperations ops;
    std::vector<int32_t> selection;
    uint16_t before0, before1, after0, after1;
  };
  const Case cases[] = {
      // Toggle unread over one unread and one read message swaps them; a
      // repeated index is toggled once.
      {{0, 3, 0, 0, 0, 0}, {0, 1, 0}, F::Unread, 0, 0, F::Unread},
      {{0, 0, 0, 0, 0, 0}, {0, 1}, F::Unread | F::Hold, F::Send, F::Unread | F::Hold, F::Send},
      {{1, 2, 0, 2, 1, 3}, {1}, 0, F::Hold | F::Send | F::Kill, 0, F::Unread | F::Sent},
      {{2, 0, 2, 0, 0, 0}, {1}, 0, 0, 0, F::Hold | F::ToSysop},
  };
  for (const Case& c : cases) {
    TArea area(dir.Path(), "FLAGS", "FLAGS");
    std::vector<std::unique_ptr<TMail>> mails;
    mails.push_back(MakeMail(0, 40, c.before0));
    mails.push_back(MakeMail(1, 40, c.before1));
    ASSERT_TRUE(area.Lock(true));
    ASSERT_TRUE(area.StoreMails(std::move(mails)));
    area.Unlock();
    Recorder progress;
    EXPECT_EQ(SetMessageFlags(area, c.selection, c.ops, progress).Processed,
              static_cast<int>(CleanSelection(c.selection, 2).size()));
    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ(area.GetHeader(0).Flags, c.after0);
    EXPECT_EQ(area.GetHeader(1).Flags, c.after1);
    EXPECT_EQ(area.UnreadCount,
              ((c.after0 & F::Unread) ? 1 : 0) + ((c.after1 & F::Unread) ? 1 : 0));
    area.CloseIndex();
    area.DeleteFiles();
  }
}

TEST_F(SelectionToolsTest, CopyAndMovePutTheSelectionIntoTheTarget) {
  for (bool move : {false, true}) {
    auto source = MakeArea("SRC", 0, 4);
    auto target = MakeArea("DST", 10, 1);
    // The source's window holds its index, as an open message list does.
    ASSERT_TRUE(source->OpenIndex());
    Recorder progress;
    const TToolOutcome out = CopyMessages(*source, *target, {3, 1}, move, progress);
    EXPECT_EQ(out.Outcome, TToolOutcome::Done);
    EXPECT_EQ(out.Processed, 2);
    EXPECT_EQ(progress.steps, (std::vector<int32_t>{3, 1}));
    source->CloseIndex();
    EXPECT_EQ(Stored("DST"), (std::vector<int>{10, 3, 1}));
    const std::vector<int> kept = move ? std::vector<int>{0, 2} : std::vector<int>{0, 1, 2, 3};
    EXPECT_EQ(Stored("SRC"), kept);
    source->DeleteFiles();
    target->DeleteFiles();
  }
}

TEST_F(SelectionToolsTest, MoveCancelledHalfwayKeepsEachMessageInOneArea) {
  auto source = MakeArea("SRC", 0, 6);
  auto target = MakeArea("DST", 10, 0);
  Recorder progress;
  progress.stopAfter = 3;
  const TToolOutcome out = CopyMessages(*source, *target, {0, 1, 2, 3, 4}, true, progress);
  EXPECT_EQ(out.Outcome, TToolOutcome::Aborted);
  EXPECT_EQ(Stored("DST"), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Stored("SRC"), (std::vector<int>{3, 4, 5}));
}

TEST_F(SelectionToolsTest, MoveIntoAFullDiskLosesNoMessage) {
  auto source = MakeArea("SRC", 0, 20, 0, 3000);
  auto target = MakeArea("DST", 100, 1);
  test::ActingPrompter prompter;  // answers Abort to the write failure
  test::PrompterScope scope(&prompter);
  std::vector<int32_t> all(20);
  for (int k = 0; k < 20; ++k) all[static_cast<size_t>(k)] = k;
  TToolOutcome out;
  {
    test::FileSizeLimit limit(dir.Read("DST.PackedBody").size() + 12000);
    Recorder progress;
    out = CopyMessages(*source, *target, all, true, progress);
  }
  EXPECT_EQ(out.Outcome, TToolOutcome::Failed);
  EXPECT_FALSE(out.Error.empty());
  EXPECT_FALSE(prompter.texts.empty());
  const std::vector<int> left = Stored("SRC");
  std::vector<int> moved = Stored("DST");
  ASSERT_FALSE(moved.empty());
  moved.erase(moved.begin());  // the target's own message
  EXPECT_EQ(out.Processed, static_cast<int>(moved.size()));
  EXPECT_GT(moved.size(), 0u);
  EXPECT_LT(moved.size(), 20u);
  std::vector<int> both = moved;
  both.insert(both.end(), left.begin(), left.end());
  std::sort(both.begin(), both.end());
  std::vector<int> expected(20);
  for (int k = 0; k < 20; ++k) expected[static_cast<size_t>(k)] = k;
  EXPECT_EQ(both, expected);
}

}  // namespace
}  // namespace velmaris
