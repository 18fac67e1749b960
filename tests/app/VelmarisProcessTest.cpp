// The real program, started twice in a fresh start directory without a
// display (offscreen), with its own home, configuration and runtime
// directories.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string ProgramPath() {
  std::string batch = VELMARIS_BATCH;
  return batch.substr(0, batch.rfind('/') + 1) + "velmaris";
}

// Whether the process holds an flock: the single-instance guard, taken after
// the program began to handle the end-of-session signals.
bool HoldsGuard(pid_t pid) {
  FILE* locks = fopen("/proc/locks", "r");
  if (!locks) return false;
  char line[512];
  bool found = false;
  const std::string needle = " " + std::to_string(pid) + " ";
  while (!found && fgets(line, sizeof line, locks))
    found = std::string(line).find("FLOCK") != std::string::npos &&
            std::string(line).find(needle) != std::string::npos;
  fclose(locks);
  return found;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

class VelmarisProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(ProgramPath())) GTEST_SKIP() << "the program is not built: " << ProgramPath();
    for (const char* sub : {"home", "config", "runtime", "start"})
      ASSERT_EQ(mkdir((dir.Path() + sub).c_str(), 0700), 0);
  }
  void TearDown() override {
    for (pid_t pid : running_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // Starts the program in the start directory; its stderr goes to the file.
  pid_t Launch(const std::string& stderrFile) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir((dir.Path() + "start").c_str()) != 0) _exit(120);
      const int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (err >= 0) dup2(err, 2);
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) dup2(null, 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("HOME", (dir.Path() + "home").c_str(), 1);
      setenv("XDG_CONFIG_HOME", (dir.Path() + "config").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
      const std::string program = ProgramPath();
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(121);
    }
    running_.push_back(pid);
    return pid;
  }

  // Waits for the process to end; its exit status, or -signal.
  int Wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        Forget(pid);
        return -1000;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Forget(pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  template <class Pred>
  bool WaitFor(Pred done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::string ReadFile(const std::string& name) {
    return Exists(dir.Path() + name) ? dir.Read(name) : std::string();
  }

  TempDir dir;
  // Short, as a user's /run/user/UID: the plug-in socket lies in it.
  RuntimeDir runtime_;

 private:
  void Forget(pid_t pid) { std::erase(running_, pid); }
  std::vector<pid_t> running_;
};

TEST_F(VelmarisProcessTest, SecondStartIsRefusedAndTheFirstEndsInOrder) {
  const pid_t first = Launch(dir / "first.err");
  ASSERT_TRUE(WaitFor([&] { return HoldsGuard(first); })) << ReadFile("first.err");

  const pid_t second = Launch(dir / "second.err");
  ASSERT_TRUE(WaitFor([&] { return ReadFile("second.err").find("bereits") != std::string::npos; }))
      << ReadFile("second.err");
  EXPECT_NE(ReadFile("second.err")
                .find("velmaris: Velmaris 95 l\xC3\xA4uft bereits! Bitte benutzen Sie die bereits "
                      "laufende Kopie von Velmaris 95!"),
            std::string::npos);
  // The box waits for its OK; ending the session closes it, and the copy
  // ends without having started.
  kill(second, SIGTERM);
  EXPECT_EQ(Wait(second), 1);
  EXPECT_FALSE(Exists(dir.Path() + "start/AreaList.ini"));

  // The first copy saves everything on its way out.
  kill(first, SIGTERM);
  EXPECT_EQ(Wait(first), 0) << ReadFile("first.err");
  EXPECT_EQ(ReadFile("start/AreaList.ini"),
            "[Columns]\nWidth0=200\nWidth1=100\nWidth2=100\nWidth3=100\nWidth4=100\n");
  EXPECT_TRUE(Exists(dir.Path() + "start/Msgbase/Velmaris.Dupes"));
  const std::string registry = dir.Path() + "config/Brimvale/Velmaris.reg";
  ASSERT_TRUE(Exists(registry));

  // The saved configuration holds the system areas of a first start.
  std::string out;
  ASSERT_EQ(RunBatch(dir.Path() + "start/", registry, {"areas"}, &out), 0);
  EXPECT_NE(out.find("\"name\":\"NETMAIL\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"name\":\"BAD\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"name\":\"DUPES\""), std::string::npos) << out;

  // The guard went with the process: the next start runs.
  const pid_t third = Launch(dir / "third.err");
  ASSERT_TRUE(WaitFor([&] { return HoldsGuard(third); })) << ReadFile("third.err");
  kill(third, SIGTERM);
  EXPECT_EQ(Wait(third), 0) << ReadFile("third.err");
  EXPECT_EQ(ReadFile("third.err").find("bereits"), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test
