// The area tools of the main window over real areas: questions, notes,
// busy areas, separators; the areas the delete command may take.
#include <gtest/gtest.h>

#include "app/logic/AreaTools.h"
#include "core/Area.h"
#include "core/AreaFixtures.h"
#include "core/MsgBaseFixtures.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

class AreaToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&prompter);
    for (const auto& [name, type] : std::vector<std::pair<std::string, uint8_t>>{
             {"NETMAIL", AreaTypeCode::Netmail}, {"ONE", AreaTypeCode::Echomail},
             {kSeparatorName, AreaTypeCode::Separator}, {"TWO", AreaTypeCode::Echomail},
             {"THREE", AreaTypeCode::Echomail}, {"BAD", AreaTypeCode::Badmail}}) {
      TArea* area = areas.Adopt(std::make_unique<TArea>(dir.Path(), name, name, type));
      if (type == AreaTypeCode::Separator) continue;
      for (int n = 0; n < 3; ++n) area->QueueMail(test::MakeMail(n, 40, MsgFlag::Unread), false);
      ASSERT_TRUE(area->WriteQueuedMail());
    }
  }
  void TearDown() override { platform::SetPrompter(nullptr); }

  int Unread(const std::string& name) {
    TArea& area = *areas.FindByName(name);
    area.OpenIndex();
    const int unread = area.UnreadCount;
    area.CloseIndex();
    return unread;
  }

  test::TempDir dir;
  test::ShellScope shell;
  platform::ScriptedPrompter prompter;
  TAreaList areas;
  std::vector<std::string> notes;
  TNoteSink note = [this](const std::string& text) { notes.push_back(text); };
};

TEST_F(AreaToolsTest, CatchUpMarksTheSelectedAreasReadAndNamesABusyOne) {
  TArea& busy = *areas.FindByName("THREE");
  ASSERT_TRUE(busy.Lock(true));
  prompter.Script({platform::mbYes});
  EXPECT_TRUE(RunAreaTool(TAreaTool::CatchUp, areas, {1, 3, 4}, note));
  busy.Unlock();
  EXPECT_EQ(Unread("ONE"), 0);
  EXPECT_EQ(Unread("TWO"), 0);
  EXPECT_EQ(Unread("THREE"), 3);
  EXPECT_EQ(Unread("NETMAIL"), 3);
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[1].text, "Cannot access the area  THREE because it is in use by another process !");
  const std::vector<std::string> first(notes.begin(), notes.begin() + 6);
  EXPECT_EQ(first, (std::vector<std::string>{"One moment ...", "Opening area ONE ...",
                                             "Catching up area ONE ...", "Unlocking area ONE ...",
                                             "Closing area ONE ...", "Continuing ..."}));
}

TEST_F(AreaToolsTest, CatchUpAllSkipsSeparatorsAndARefusalChangesNothing) {
  prompter.Script({platform::mbNo});
  EXPECT_FALSE(RunAreaTool(TAreaTool::CatchUpAll, areas, {}, note));
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(Unread("ONE"), 3);
  prompter.Script({platform::mbYes});
  EXPECT_TRUE(RunAreaTool(TAreaTool::CatchUpAll, areas, {}, note));
  for (const char* name : {"NETMAIL", "ONE", "TWO", "THREE", "BAD"}) EXPECT_EQ(Unread(name), 0) << name;
  for (const std::string& line : notes) EXPECT_EQ(line.find(kSeparatorName), std::string::npos) << line;
}

TEST_F(AreaToolsTest, OptimiseAndCleanUpKeepTheMessagesAndLeaveTheAreasFree) {
  for (TAreaTool tool : {TAreaTool::Optimize, TAreaTool::CleanUp}) {
    prompter.Script({platform::mbYes});
    EXPECT_TRUE(RunAreaTool(tool, areas, {1, 2}, note));
    TArea& one = *areas.FindByName("ONE");
    EXPECT_FALSE(one.IsLocked());
    ASSERT_TRUE(one.OpenIndex());
    EXPECT_EQ(one.Count, 3);
    one.CloseIndex();
  }
  EXPECT_NE(std::find(notes.begin(), notes.end(), "Optimizing area ONE ..."), notes.end());
  EXPECT_NE(std::find(notes.begin(), notes.end(), "Mainainance for area ONE ..."), notes.end());
}

TEST_F(AreaToolsTest, OnlyOrdinaryAreasMayBeDeleted) {
  EXPECT_TRUE(DeletableAreaNames(areas, {0}).empty());
  EXPECT_EQ(DeletableAreaNames(areas, {0, 1, 2, 3, 5, 9}), (std::vector<std::string>{"ONE", "TWO"}));
}

}  // namespace
}  // namespace velmaris
