// The process-wide duplicate checker on "Velmaris.Dupes" in the start
// directory: opened, used, saved at the end and found again at the next
// start; failures of the save reported.
#include <gtest/gtest.h>

#include "core/ConfigStore.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "processing/GlobalDupeChecker.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class GlobalDupeCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetPrompter(&prompter); }
  void TearDown() override {
    if (IsDupeCheckerOpen()) CloseDupeChecker();
    platform::SetPrompter(nullptr);
  }
  TempDir dir;
  platform::ScriptedPrompter prompter;
};

TEST_F(GlobalDupeCheckerTest, KeysSurviveARestartInTheStartDirectory) {
  EXPECT_FALSE(IsDupeCheckerOpen());
  EXPECT_THROW(GetDupeChecker(), EDupeCheckerClosed);
  TDupeChecker& checker = OpenDupeChecker(dir.Path());
  EXPECT_EQ(checker.Path(), dir / "Velmaris.Dupes");
  EXPECT_EQ(&GetDupeChecker(), &checker);
  EXPECT_TRUE(GetDupeChecker().CheckAndAdd(0x12345678));
  EXPECT_TRUE(GetDupeChecker().CheckAndAdd(0x9abcdef0));
  EXPECT_TRUE(CloseDupeChecker());
  EXPECT_FALSE(IsDupeCheckerOpen());
  EXPECT_EQ(dir.Read("Velmaris.Dupes").size(), TDupeChecker::kFileSize);

  OpenDupeChecker(dir.Path());
  EXPECT_FALSE(GetDupeChecker().CheckAndAdd(0x12345678));
  EXPECT_FALSE(GetDupeChecker().CheckAndAdd(0x9abcdef0));
  EXPECT_TRUE(GetDupeChecker().CheckAndAdd(1));
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(GlobalDupeCheckerTest, SaveNowKeepsTheKeysOfACrashedRun) {
  OpenDupeChecker(dir.Path());
  GetDupeChecker().CheckAndAdd(42);
  EXPECT_TRUE(SaveDupeChecker());
  // Another instance reads what was saved while the first still runs.
  TDupeChecker reader(dir / "Velmaris.Dupes");
  EXPECT_TRUE(reader.Contains(42));
}

TEST_F(GlobalDupeCheckerTest, ReopeningSavesTheOpenOne) {
  OpenDupeChecker(dir.Path());
  GetDupeChecker().CheckAndAdd(7);
  OpenDupeChecker(dir.Path());
  EXPECT_TRUE(GetDupeChecker().Contains(7));
}

// The database beside the message base: an earlier version's in the start
// directory is moved there while the base has none; into one it has, the
// start directory's keys are merged (every start folder used before gives
// its keys once); a move of the message base takes the ring along.
TEST_F(GlobalDupeCheckerTest, TheStartDirectorysDatabaseIsTakenOverOnce) {
  const std::string start = dir / "start/";
  const std::string base = dir / "База сообщений/";
  platform::MakeDirs(start);
  {
    TDupeChecker older(start + kDupesFileName);
    older.CheckAndAdd(11);
  }
  OpenDupeChecker(base, start);
  EXPECT_TRUE(GetDupeChecker().Contains(11));
  EXPECT_EQ(GetDupeChecker().Path(), base + kDupesFileName);
  EXPECT_FALSE(platform::FileExists(start + kDupesFileName));
  GetDupeChecker().CheckAndAdd(12);
  EXPECT_TRUE(CloseDupeChecker());
  // A second and a third start folder, each with the database an earlier
  // version kept there; one of them damaged.
  const std::string second = dir / "second start/", third = dir / "third/";
  const std::string damaged = dir / "damaged/";
  for (const std::string& folder : {second, third, damaged}) {
    platform::MakeDirs(folder);
    TDupeChecker older(folder + kDupesFileName);
    older.CheckAndAdd(folder == second ? 13 : 15);
  }
  {
    TDupeChecker older(third + kDupesFileName);
    older.CheckAndAdd(16);
  }
  dir.Write("damaged/Velmaris.Dupes", "short");
  OpenDupeChecker(base, second);
  EXPECT_TRUE(GetDupeChecker().Contains(12));
  EXPECT_TRUE(GetDupeChecker().Contains(13));
  EXPECT_FALSE(platform::FileExists(second + kDupesFileName));
  EXPECT_TRUE(CloseDupeChecker());
  OpenDupeChecker(base, third);
  OpenDupeChecker(base, damaged);
  for (uint32_t key : {11u, 12u, 13u, 15u, 16u}) EXPECT_FALSE(GetDupeChecker().CheckAndAdd(key));
  EXPECT_FALSE(platform::FileExists(third + kDupesFileName));
  EXPECT_EQ(dir.Read("damaged/Velmaris.Dupes"), "short");  // left as it was
  EXPECT_TRUE(CloseDupeChecker());
  // What was merged stays, also after a restart from anywhere.
  EXPECT_EQ(TDupeChecker(base + kDupesFileName).Keys(), (std::vector<uint32_t>{15, 16, 13, 11, 12}));
  // The base moved to a folder of its own (the old one held no database).
  const std::string moved = dir / "moved/";
  platform::MakeDirs(moved);
  OpenDupeChecker(dir / "empty/");
  TMessageBaseFiles* files = MessageBaseFilesInForce();
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(files->CopyTo(dir / "empty/", moved), "");
  files->Settle(dir / "empty/", moved, true);
  GetDupeChecker().CheckAndAdd(14);
  EXPECT_TRUE(CloseDupeChecker());
  EXPECT_EQ(MessageBaseFilesInForce(), nullptr);
  EXPECT_TRUE(TDupeChecker(moved + kDupesFileName).Contains(14));
  EXPECT_FALSE(platform::FileExists(dir / "empty/" + kDupesFileName));
}

// A database that exists but cannot be read (another user's, a folder in
// its place) is no first start: it is said, left as it is, never written
// over, and no other start folder's keys are merged away into it.
TEST_F(GlobalDupeCheckerTest, ADatabaseThatCannotBeReadIsLeftAsItIs) {
  const std::string base = dir / "base/", start = dir / "start/";
  platform::MakeDirs(base + kDupesFileName);  // a folder in its place
  platform::WriteFileAtomic(base + kDupesFileName + "/keep", "x");
  platform::MakeDirs(start);
  {
    TDupeChecker older(start + kDupesFileName);
    older.CheckAndAdd(21);
  }
  const std::string olderBytes = platform::ReadFile(start + kDupesFileName);
  OpenDupeChecker(base, start);
  EXPECT_NE(GetDupeChecker().LoadProblem().find("cannot be read"), std::string::npos)
      << GetDupeChecker().LoadProblem();
  EXPECT_TRUE(CloseDupeChecker());
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_EQ(dir.Read("base/Velmaris.Dupes/keep"), "x");
  ASSERT_TRUE(platform::FileExists(start + kDupesFileName));
  EXPECT_EQ(platform::ReadFile(start + kDupesFileName), olderBytes);
}

TEST_F(GlobalDupeCheckerTest, SaveFailureIsReported) {
  // The database's name is taken by a directory: it cannot be written.
  platform::MakeDirs(dir / "Velmaris.Dupes");
  OpenDupeChecker(dir.Path());
  GetDupeChecker().CheckAndAdd(1);
  EXPECT_FALSE(SaveDupeChecker());
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Error);
  EXPECT_NE(questions[0].text.find("Velmaris.Dupes could not be saved"), std::string::npos);
  EXPECT_FALSE(CloseDupeChecker());
}

}  // namespace
}  // namespace velmaris::test
