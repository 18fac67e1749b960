// The process-wide duplicate checker on "Velmaris.Dupes" in the start
// directory: opened, used, saved at the end and found again at the next
// start; failures of the save reported.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
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
  platform::Registry registry{""};
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
    older.CheckAndAdd(folder == second ? 13 : folder == third ? 15 : 17);
  }
  {
    TDupeChecker older(third + kDupesFileName);
    older.CheckAndAdd(16);
  }
  // Cut short after its first key, 15.
  const std::string cut = dir.Read("damaged/Velmaris.Dupes").substr(0, 13);
  dir.Write("damaged/Velmaris.Dupes", cut);
  OpenDupeChecker(base, second);
  EXPECT_TRUE(GetDupeChecker().Contains(12));
  EXPECT_TRUE(GetDupeChecker().Contains(13));
  EXPECT_FALSE(platform::FileExists(second + kDupesFileName));
  EXPECT_TRUE(CloseDupeChecker());
  OpenDupeChecker(base, third);
  OpenDupeChecker(base, damaged);
  for (uint32_t key : {11u, 12u, 13u, 15u, 16u, 17u})
    EXPECT_FALSE(GetDupeChecker().CheckAndAdd(key));
  EXPECT_FALSE(platform::FileExists(third + kDupesFileName));
  // The damaged one gave the key it still held and is kept beside.
  EXPECT_FALSE(platform::PathExists(damaged + kDupesFileName));
  EXPECT_EQ(dir.Read("damaged/Velmaris.Dupes.0001.damaged"), cut);
  EXPECT_TRUE(CloseDupeChecker());
  // What was merged stays, also after a restart from anywhere.
  EXPECT_EQ(TDupeChecker(base + kDupesFileName).Keys(),
            (std::vector<uint32_t>{17, 15, 16, 13, 11, 12}));
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

// Opens the checker; a FIFO that a regression would wait on is opened
// from the other side after a generous limit, so the row fails instead of
// hanging.
void OpenWithin(const std::string& base, const std::string& start, const std::string& fifo) {
  auto opened = std::async(std::launch::async, [&] { OpenDupeChecker(base, start); });
  if (opened.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return opened.get();
  ADD_FAILURE() << "the checker waits on the FIFO " << fifo;
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
  opened.get();
}

// A database that exists but cannot be read (another user's, a folder in
// its place, a link into a drive that is not mounted, a FIFO), the base's
// or an older start folder's, is no first start: it is said, left as it
// is, never written over, no other start folder's keys are merged away
// into it, and no import runs until it can be read.
TEST_F(GlobalDupeCheckerTest, ADatabaseThatCannotBeReadIsLeftAsItIs) {
  enum Kind { Folder, DanglingLink, Fifo };
  const struct {
    const char* what;
    Kind kind;
    bool inBase;  // else in the older start folder
    const char* why;
  } rows[] = {
      {"a folder in the base's place", Folder, true, "it is no file"},
      {"a link into a drive that is not mounted", DanglingLink, true, "it is a link to "},
      {"a FIFO in the base's place", Fifo, true, "it is no file"},
      {"a folder in the older's place", Folder, false, "it is no file"},
      {"an older one linked into a drive that is not mounted", DanglingLink, false,
       "it is a link to "},
      {"a FIFO in the older's place", Fifo, false, "it is no file"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::filesystem::remove_all(dir.Path());
    const std::string base = dir / "base/", start = dir / "start/";
    platform::MakeDirs(base);
    platform::MakeDirs(start);
    const std::string bad = (r.inBase ? base : start) + kDupesFileName;
    const std::string good = (r.inBase ? start : base) + kDupesFileName;
    {
      TDupeChecker keys(good);
      keys.CheckAndAdd(21);
    }
    const std::string goodBytes = platform::ReadFile(good);
    const std::string target = dir / "Диск/Velmaris.Dupes";
    if (r.kind == Folder) {
      platform::MakeDirs(bad);
      platform::WriteFileAtomic(bad + "/keep", "x");
    } else if (r.kind == DanglingLink) {
      ASSERT_EQ(::symlink(target.c_str(), bad.c_str()), 0);
    } else {
      ASSERT_EQ(::mkfifo(bad.c_str(), 0600), 0);
    }
    OpenWithin(base, start, bad);
    EXPECT_EQ(GetDupeChecker().Unreadable(), r.inBase);
    const std::string refusal = DupeCheckerRefusal();
    // A line in the ANSI page, the names in it.
    EXPECT_NE(refusal.find(platform::LogName(bad) + " cannot be read (" + r.why), std::string::npos)
        << refusal;
    if (r.kind == DanglingLink) {
      EXPECT_NE(refusal.find(platform::LogName(target)), std::string::npos) << refusal;
    }
    // A second look at the next import finds it as it was.
    DupeCheckerForImport(base, start);
    EXPECT_FALSE(DupeCheckerRefusal().empty());
    EXPECT_TRUE(CloseDupeChecker());
    EXPECT_TRUE(prompter.Questions().empty());
    struct stat st {};
    ASSERT_EQ(::lstat(bad.c_str(), &st), 0);
    EXPECT_TRUE(r.kind == Folder ? S_ISDIR(st.st_mode)
                : r.kind == Fifo ? S_ISFIFO(st.st_mode)
                                 : S_ISLNK(st.st_mode));
    if (r.kind == Folder) {
      EXPECT_EQ(platform::ReadFile(bad + "/keep"), "x");
    }
    EXPECT_FALSE(platform::PathExists(target));
    ASSERT_TRUE(platform::FileExists(good));
    EXPECT_EQ(platform::ReadFile(good), goodBytes);
  }
}

// The program reads its database once at start; one that could not be
// read then is read again at the next import, once it is mended (the drive
// the link points into is mounted). The link stays a link.
TEST_F(GlobalDupeCheckerTest, ADatabaseMendedWhileTheProgramRunsIsReadAtTheNextImport) {
  const std::string base = dir / "base/", drive = dir / "drive/";
  platform::MakeDirs(base);
  ASSERT_EQ(::symlink((drive + kDupesFileName).c_str(), (base + kDupesFileName).c_str()), 0);
  OpenDupeChecker(base, dir.Path());
  EXPECT_NE(DupeCheckerRefusal(), "");
  platform::MakeDirs(drive);
  {
    TDupeChecker keys(drive + kDupesFileName);
    keys.CheckAndAdd(31);
  }
  TDupeChecker& ring = DupeCheckerForImport(base, dir.Path());
  EXPECT_EQ(DupeCheckerRefusal(), "");
  EXPECT_FALSE(ring.CheckAndAdd(31));
  EXPECT_TRUE(ring.CheckAndAdd(32));
  EXPECT_EQ(&DupeCheckerForImport(base, dir.Path()), &ring);  // read once it is whole
  EXPECT_TRUE(CloseDupeChecker());
  struct stat st {};
  ASSERT_EQ(::lstat((base + kDupesFileName).c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(TDupeChecker(drive + kDupesFileName).Keys(), (std::vector<uint32_t>{31, 32}));
}

// A damaged database (cut short, empty) gives the keys it still holds: they
// are written back whole at once, and the damaged file is kept beside.
TEST_F(GlobalDupeCheckerTest, ADamagedDatabaseKeepsItsKeysAndIsKeptBeside) {
  std::string whole;
  {
    TDupeChecker keys;
    keys.CheckAndAdd(41);
    keys.CheckAndAdd(42);
    whole = keys.Encode();
  }
  const struct {
    const char* what;
    std::string bytes;
    std::vector<uint32_t> keys;
  } rows[] = {
      {"cut short", whole.substr(0, 17), {41, 42}},
      {"empty", "", {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::filesystem::remove_all(dir.Path());
    const std::string base = dir / "base/";
    platform::MakeDirs(base);
    dir.Write("base/Velmaris.Dupes", r.bytes);
    OpenDupeChecker(base);
    EXPECT_EQ(DupeCheckerRefusal(), "");
    EXPECT_EQ(GetDupeChecker().Keys(), r.keys);
    EXPECT_EQ(dir.Read("base/Velmaris.Dupes.0001.damaged"), r.bytes);
    // Written back at once, before any import adds to it.
    TDupeChecker saved(base + kDupesFileName);
    saved.Forget();
    EXPECT_FALSE(saved.Damaged()) << saved.LoadProblem();
    EXPECT_EQ(saved.Keys(), r.keys);
    EXPECT_TRUE(GetDupeChecker().CheckAndAdd(43));
    EXPECT_TRUE(CloseDupeChecker());
    EXPECT_TRUE(prompter.Questions().empty());
  }
}

// The box and the log line name the database readably: the line in the
// ANSI page, the box in UTF-8 (the folder has a Russian name).
TEST_F(GlobalDupeCheckerTest, SaveFailureIsReported) {
  // The database's name is taken by a directory: it cannot be written.
  const std::string path = dir / "База/Velmaris.Dupes";
  platform::MakeDirs(path);
  OpenDupeChecker(dir / "База/");
  GetDupeChecker().CheckAndAdd(1);
  std::vector<std::string> lines;
  TConfigStore store(dir / "start/", registry);
  store.SetLogSink([&](const std::string& line) { lines.push_back(line); });
  store.MakeCurrent();
  EXPECT_FALSE(SaveDupeChecker());
  SetConfigStore(nullptr);
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Error);
  EXPECT_NE(questions[0].text.find("The duplicate database " + path + " could not be saved: "),
            std::string::npos)
      << questions[0].text;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0].find("The duplicate database " + platform::LogName(path) + " could not be saved: "),
      0u)
      << lines[0];
  EXPECT_EQ(lines[0].find(path), std::string::npos) << lines[0];
  EXPECT_FALSE(CloseDupeChecker());
}

}  // namespace
}  // namespace velmaris::test
