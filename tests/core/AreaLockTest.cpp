// The area lock: what is granted, what the shell hears and when, waiting,
// and one writer against several readers on threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AreaFixtures.h"
#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

enum class Start { Free, Shared1, Shared2, Exclusive };

void Bring(TArea& area, Start start) {
  switch (start) {
    case Start::Free:
      break;
    case Start::Shared2:
      ASSERT_TRUE(area.Lock(false));
      [[fallthrough]];
    case Start::Shared1:
      ASSERT_TRUE(area.Lock(false));
      break;
    case Start::Exclusive:
      ASSERT_TRUE(area.Lock(true));
      break;
  }
}

struct LockState {
  bool locked;
  bool shared;
  int hold;
};

LockState StateOf(const TArea& area) {
  return {area.IsLocked(), area.IsSharedLocked(), area.HoldCount()};
}

TEST(AreaLockTest, RequestsAgainstEveryState) {
  struct Case {
    Start start;
    bool exclusive;
    bool granted;
    LockState after;
  } cases[] = {
      {Start::Free, false, true, {true, true, 1}},
      {Start::Free, true, true, {true, false, 1}},
      {Start::Shared1, false, true, {true, true, 2}},
      {Start::Shared1, true, false, {true, true, 1}},
      {Start::Shared2, false, true, {true, true, 3}},
      {Start::Shared2, true, false, {true, true, 2}},
      {Start::Exclusive, false, false, {true, false, 1}},
      {Start::Exclusive, true, false, {true, false, 1}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.start) << " ex=" << c.exclusive);
    TArea area(dir.Path(), "ECHO", "ECHO");
    Bring(area, c.start);
    EXPECT_EQ(area.Lock(c.exclusive), c.granted);
    LockState s = StateOf(area);
    EXPECT_EQ(s.locked, c.after.locked);
    EXPECT_EQ(s.shared, c.after.shared);
    EXPECT_EQ(s.hold, c.after.hold);
    EXPECT_EQ(area.IsReadable(), c.after.shared);
  }
}

TEST(AreaLockTest, UnlockGivesUpOneHoldAndTheLastReleases) {
  TempDir dir;
  TArea area(dir.Path(), "ECHO", "ECHO");
  EXPECT_TRUE(area.IsReadable());
  area.Unlock();  // nothing held: nothing happens
  EXPECT_FALSE(area.IsLocked());

  ASSERT_TRUE(area.Lock(false));
  ASSERT_TRUE(area.Lock(false));
  area.Unlock();
  EXPECT_TRUE(area.IsSharedLocked());
  EXPECT_EQ(area.HoldCount(), 1);
  EXPECT_FALSE(area.Lock(true));
  area.Unlock();
  EXPECT_FALSE(area.IsLocked());
  EXPECT_EQ(area.HoldCount(), 0);

  ASSERT_TRUE(area.Lock(true));
  EXPECT_FALSE(area.IsReadable());
  area.Unlock();
  EXPECT_FALSE(area.IsLocked());
  ASSERT_TRUE(area.Lock(true));  // free again for anyone
  {
    TAreaLockHold hold(area);
  }
  EXPECT_FALSE(area.IsLocked());
}

TEST(AreaLockTest, ShellHearsEachChangeOnTheMainThreadAfterRelease) {
  struct Case {
    const char* name;
    std::vector<bool> locks;  // exclusive per lock; then as many unlocks
    std::vector<std::string> calls;
  } cases[] = {
      {"shared", {false}, {"Locked shared", "UpdateCaption"}},
      {"two shared holds", {false, false}, {"Locked shared", "UpdateCaption"}},
      {"exclusive", {true}, {"Locked exclusive", "UpdateAreaLine", "Unlocked"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShellScope scope;
    TArea area(dir.Path(), "ECHO", "ECHO");
    for (bool exclusive : c.locks) ASSERT_TRUE(area.Lock(exclusive));
    for (size_t i = 0; i < c.locks.size(); ++i) area.Unlock();
    // Nothing reaches the shell inside Lock or Unlock: the calls wait for
    // the main thread's queue.
    EXPECT_TRUE(scope.shell.Calls().empty());
    scope.dispatcher.ProcessMessages();
    EXPECT_EQ(scope.shell.Names(), c.calls);
    for (const auto& call : scope.shell.Calls()) {
      EXPECT_EQ(call.thread, std::this_thread::get_id());
      EXPECT_EQ(call.area, &area);
      EXPECT_FALSE(call.lockedThen);
    }
  }
}

TEST(AreaLockTest, ChangesMadeOnWorkersArriveInOrderOnTheMainThread) {
  TempDir dir;
  ShellScope scope;
  TArea area(dir.Path(), "ECHO", "ECHO");
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      bool exclusive = i % 2 == 0;
      while (!area.Lock(exclusive)) std::this_thread::yield();
      area.Unlock();
    }
    done = true;
    scope.dispatcher.Wake();
  });
  // The main thread takes shared holds of its own in between.
  while (!done) {
    if (area.Lock(false)) area.Unlock();
    scope.dispatcher.ProcessMessages();
  }
  worker.join();
  scope.dispatcher.ProcessMessages();
  const auto calls = scope.shell.Calls();
  ASSERT_FALSE(calls.empty());
  // Every lock is followed by its own release before the next lock.
  std::string open;
  for (const auto& call : calls) {
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    if (call.what.rfind("Locked", 0) == 0) {
      EXPECT_EQ(open, "") << call.what;
      open = call.what;
    } else if (call.what == "UpdateCaption") {
      EXPECT_EQ(open, "Locked shared");
      open.clear();
    } else if (call.what == "UpdateAreaLine") {
      EXPECT_EQ(open, "Locked exclusive");
    } else if (call.what == "Unlocked") {
      EXPECT_EQ(open, "Locked exclusive");
      open.clear();
    }
  }
  EXPECT_EQ(open, "");
}

TEST(AreaLockTest, HookMayLockTheAreaItself) {
  TempDir dir;
  ShellScope scope;
  scope.shell.relockInHook = true;
  TArea area(dir.Path(), "ECHO", "ECHO");
  ASSERT_TRUE(area.Lock(true));
  area.Unlock();
  scope.dispatcher.ProcessMessages();  // the hook's own lock posts more
  scope.dispatcher.ProcessMessages();
  EXPECT_EQ(scope.shell.Names(),
            (std::vector<std::string>{"Locked exclusive", "UpdateAreaLine", "Unlocked",
                                      "Locked shared", "UpdateCaption"}));
  EXPECT_FALSE(area.IsLocked());
}

TEST(AreaLockTest, CallsForAFreedAreaAreDropped) {
  TempDir dir;
  ShellScope scope;
  {
    TArea area(dir.Path(), "ECHO", "ECHO");
    ASSERT_TRUE(area.Lock(true));
    area.Unlock();
  }
  scope.dispatcher.ProcessMessages();
  EXPECT_TRUE(scope.shell.Calls().empty());
}

TEST(AreaLockTest, WithoutShellNothingIsQueued) {
  TempDir dir;
  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  RecordingShell late;
  {
    TArea area(dir.Path(), "ECHO", "ECHO");
    ASSERT_TRUE(area.Lock(true));
    area.Unlock();
    SetShellServices(&late);
    dispatcher.ProcessMessages();
  }
  EXPECT_TRUE(late.Calls().empty());
  SetShellServices(nullptr);
  platform::SetDispatcher(nullptr);
}

TEST(AreaLockTest, WorkerWaitsUntilGrantedOrAborted) {
  TempDir dir;
  ShellScope scope;
  TArea area(dir.Path(), "ECHO", "ECHO");
  ASSERT_TRUE(area.Lock(false));

  std::atomic<int> result{-1};
  std::thread waiter([&] { result = area.WaitLock(true, nullptr, 2ms) ? 1 : 0; });
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(result.load(), -1);  // still waiting
  area.Unlock();
  waiter.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_TRUE(area.IsLocked());
  EXPECT_FALSE(area.IsSharedLocked());

  std::atomic<bool> abort{false};
  std::thread aborted([&] { result = area.WaitLock(false, [&] { return abort.load(); }, 2ms); });
  std::this_thread::sleep_for(20ms);
  abort = true;
  aborted.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(area.HoldCount(), 1);  // the exclusive lock is untouched
  area.Unlock();
}

TEST(AreaLockTest, MainThreadPumpsMessagesWhileItWaits) {
  TempDir dir;
  ShellScope scope;
  TArea area(dir.Path(), "ECHO", "ECHO");
  ASSERT_TRUE(area.Lock(true));
  // The holder gives the lock back through the main thread's queue: only a
  // waiter that processes messages gets it.
  scope.dispatcher.Post([&] { area.Unlock(); });
  int tries = 0;
  EXPECT_TRUE(area.WaitLock(false, [&] { return ++tries > 200; }, 1ms));
  EXPECT_TRUE(area.IsSharedLocked());
  area.Unlock();
}

TEST(AreaLockTest, UserCommandsAreToldTheAreaIsInUse) {
  TempDir dir;
  platform::ScriptedPrompter prompter;
  AreaPrompterScope prompterScope(&prompter);
  TArea area(dir.Path(), "R50.SYSOP", "R50.SYSOP");
  ASSERT_TRUE(area.LockForCommand(false));
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_FALSE(area.LockForCommand(true));
  auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "The area R50.SYSOP is in use!");
  EXPECT_EQ(questions[0].buttons, platform::mbOk);
  EXPECT_TRUE(area.IsSharedLocked());
  EXPECT_EQ(area.HoldCount(), 1);
  area.Unlock();
}

// One writer appends under exclusive locks while readers read under shared
// ones; no reader ever sees a writer at work or a half-written area.
TEST(AreaLockTest, OneWriterAgainstSharedReaders) {
  TempDir dir;
  ShellScope scope;
  ActingPrompter prompter;
  PrompterScope prompterScope(&prompter);
  TArea area(dir.Path(), "STRESS", "STRESS");

  constexpr int kRounds = 60;
  constexpr int kReaders = 3;
  std::atomic<int> writers{0}, readers{0}, finished{0};
  std::atomic<int> violations{0}, readsDone{0}, badReads{0};

  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int round = 0; round < kRounds; ++round) {
      if (!area.WaitLock(true, [&] { return stop.load(); }, 0ms)) break;
      if (readers.load() != 0) ++violations;
      ++writers;
      for (int k = 0; k <= round % 3; ++k) area.QueueMail(MakeMail(round * 3 + k, 200));
      if (!area.WriteQueuedMail()) ++violations;
      --writers;
      area.Unlock();
    }
    ++finished;
  });
  std::vector<std::thread> readerThreads;
  for (int r = 0; r < kReaders; ++r) {
    readerThreads.emplace_back([&, r] {
      while (finished.load() == 0 && !stop.load()) {
        // Readers come and go; the writer gets its turn in between.
        std::this_thread::sleep_for(std::chrono::microseconds(500 * (r + 1)));
        if (!area.WaitLock(false, [&] { return stop.load(); }, 1ms)) continue;
        ++readers;
        if (writers.load() != 0) ++violations;
        if (area.OpenIndex()) {
          if (area.Count != static_cast<int32_t>(area.Headers.size())) ++violations;
          if (area.Count > 0) {
            auto mail = area.ReadMail(area.Count - 1);
            if (mail->Header.BodyOffset == TMsgHeader::NotStored) ++badReads;
          }
          area.CloseIndex();
          ++readsDone;
        } else {
          ++badReads;
        }
        --readers;
        area.Unlock();
      }
      ++finished;
    });
  }
  EXPECT_TRUE(scope.dispatcher.RunUntil([&] { return finished.load() == 1 + kReaders; },
                                        std::chrono::seconds(60)));
  stop = true;
  writer.join();
  for (auto& t : readerThreads) t.join();
  scope.dispatcher.ProcessMessages();

  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_GT(readsDone.load(), 0);
  EXPECT_FALSE(area.IsLocked());
  ASSERT_TRUE(area.OpenIndex());
  int expected = 0;
  for (int round = 0; round < kRounds; ++round) expected += round % 3 + 1;
  EXPECT_EQ(area.Count, expected);
  area.CloseIndex();
  // The shell heard every exclusive release on the main thread.
  int lines = 0;
  for (const auto& call : scope.shell.Calls()) {
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    if (call.what == "UpdateAreaLine") ++lines;
  }
  EXPECT_EQ(lines, kRounds);
}

}  // namespace
}  // namespace velmaris::test
