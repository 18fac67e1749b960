#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/InstanceGuard.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

using Result = InstanceGuard::Result;

// Result of Acquire in a child process, as its exit status.
int AcquireInChild(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    InstanceGuard guard(path);
    _exit(static_cast<int>(guard.Acquire()));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WEXITSTATUS(status);
}

TEST(InstanceGuard, SecondCopyIsRefusedUntilTheFirstEnds) {
  test::TempDir dir;
  const std::string path = dir / "guard.lock";
  {
    InstanceGuard first(path);
    ASSERT_EQ(first.Acquire(), Result::Acquired);
    EXPECT_EQ(AcquireInChild(path), static_cast<int>(Result::AlreadyRunning));
    InstanceGuard second(path);  // another open file in this process
    EXPECT_EQ(second.Acquire(), Result::AlreadyRunning);
  }
  EXPECT_EQ(AcquireInChild(path), static_cast<int>(Result::Acquired));
}

TEST(InstanceGuard, KilledHolderLeavesNoStaleGuard) {
  test::TempDir dir;
  const std::string path = dir / "guard.lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    InstanceGuard guard(path);
    const char c = guard.Acquire() == Result::Acquired ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  InstanceGuard mine(path);
  EXPECT_EQ(mine.Acquire(), Result::AlreadyRunning);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(mine.Acquire(), Result::Acquired);
  close(ready[0]);
  close(ready[1]);
}

TEST(InstanceGuard, UnusablePathFails) {
  InstanceGuard guard("/nonexistent-dir/guard.lock");
  EXPECT_EQ(guard.Acquire(), Result::Failed);
  EXPECT_NE(guard.Error(), 0);
}

}  // namespace
}  // namespace velmaris::platform
