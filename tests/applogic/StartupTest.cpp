#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/logic/Startup.h"
#include "core/ConfigStore.h"
#include "core/MailLock.h"
#include "core/RunJournal.h"
#include "core/WinRegistry.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

TEST(Startup, StartDirectoryEndsInOneSlash) {
  struct Case {
    const char* cwd;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"/home/point", "/home/point/"},
      {"/home/point/", "/home/point/"},
      {"/home/point//", "/home/point/"},
      {"/", "/"},
      {"//", "/"},
      {"/srv/Velmaris 95", "/srv/Velmaris 95/"},
  };
  for (const Case& c : cases) EXPECT_EQ(StartDirectoryOf(c.cwd), c.expected) << c.cwd;
}

TEST(Startup, StartDirectoryIsTheCurrentDirectory) {
  test::TempDir dir;
  std::vector<char> old(4096);
  ASSERT_NE(getcwd(old.data(), old.size()), nullptr);
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  std::string start;
  char real[4096];
  ASSERT_NE(realpath(dir.Path().c_str(), real), nullptr);
  EXPECT_NO_THROW(start = CurrentStartDirectory());
  ASSERT_EQ(chdir(old.data()), 0);
  EXPECT_EQ(start, std::string(real) + "/");
}

class GuardTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  platform::ScriptedPrompter prompter;
};

TEST_F(GuardTest, FirstCopyTakesTheGuardSilently) {
  platform::InstanceGuard guard(dir / "guard.lock");
  EXPECT_TRUE(TakeInstanceGuard(guard, prompter));
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(GuardTest, SecondCopyIsToldAndMustEnd) {
  platform::InstanceGuard first(dir / "guard.lock");
  ASSERT_TRUE(TakeInstanceGuard(first, prompter));
  platform::InstanceGuard second(dir / "guard.lock");
  std::ostringstream log;
  EXPECT_FALSE(TakeInstanceGuard(second, prompter, &log));
  EXPECT_EQ(log.str(),
            "velmaris: Velmaris 95 l\xC3\xA4uft bereits! Bitte benutzen Sie die bereits laufende "
            "Kopie von Velmaris 95!\n");
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Information);
  EXPECT_EQ(questions[0].buttons, platform::mbOk);
  EXPECT_EQ(questions[0].text,
            "Velmaris 95 l\xC3\xA4uft bereits! Bitte benutzen Sie die bereits laufende Kopie "
            "von Velmaris 95!");
  // Once the first copy ends, a new start succeeds.
  first.Release();
  platform::InstanceGuard third(dir / "guard.lock");
  EXPECT_TRUE(TakeInstanceGuard(third, prompter));
  EXPECT_EQ(prompter.Questions().size(), 1u);
}

TEST_F(GuardTest, OtherFailureIsAnError) {
  platform::InstanceGuard guard(dir / "missing-directory/guard.lock");
  std::ostringstream log;
  EXPECT_FALSE(TakeInstanceGuard(guard, prompter, &log));
  EXPECT_EQ(log.str(),
            "velmaris: Unerwarteter Fehler beim Instanzenprotokoll! (No such file or directory)\n");
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(questions[0].text, "Unerwarteter Fehler beim Instanzenprotokoll!");
}

TEST_F(GuardTest, StartDirectoryHasOneOwnerAndAnInterruptedImportIsUndone) {
  const std::string start = dir.Path() + "start/";
  // A journal of an import cut off while it wrote a new area.
  platform::MakeDirs(start + "Msgbase");
  const std::string body = start + "Msgbase/NEW.PackedBody";
  platform::WriteFileAtomic(body, "KQPB-torn");
  TRunJournal(start + kImportJournalName).Append({"area", start + "Msgbase/", "NEW", "-", "-"});

  // A batch run holds the directory: the program is told and must end.
  platform::InstanceGuard batch(platform::InstanceGuard::StartDirectoryPath(start));
  ASSERT_EQ(batch.Acquire(), platform::InstanceGuard::Result::Acquired);
  TMailLock program(start, dir / "Velmaris.reg");
  EXPECT_FALSE(TakeStartDirectory(program, prompter));
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The mail of the start directory " + start +
                                              " (message base " + start +
                                              "Msgbase/) is in use by another run of Velmaris.");
  EXPECT_TRUE(platform::FileExists(body));

  batch.Release();
  EXPECT_TRUE(TakeStartDirectory(program, prompter));
  EXPECT_FALSE(platform::FileExists(body));
  EXPECT_FALSE(platform::FileExists(start + kImportJournalName));

  // A base in an older version's CP1251 folder below the UTF-8 start
  // folder: the box and the terminal get one line in one encoding.
  program.Release();
  const std::string cp = "\xcf\xee\xf7\xf2\xe0";  // Почта
  platform::MakeDirs(start + cp);
  {
    platform::Registry file(dir / "Velmaris.reg");
    TWinRegistry(kConfigRootKey, file).WriteString("Paths", "Messagebase", start + cp + "/");
  }
  ASSERT_EQ(batch.Acquire(), platform::InstanceGuard::Result::Acquired);
  TMailLock second(start, dir / "Velmaris.reg");
  ASSERT_EQ(second.MessageBaseDir(), start + cp + "/");
  prompter.Clear();
  std::ostringstream log;
  EXPECT_FALSE(TakeStartDirectory(second, prompter, &log));
  const std::string line = "The mail of the start directory " + start + " (message base " + start +
                           "Почта/) is in use by another run of Velmaris.";
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, line);
  EXPECT_EQ(log.str(), "velmaris: " + line + "\n");
}

}  // namespace
}  // namespace velmaris
