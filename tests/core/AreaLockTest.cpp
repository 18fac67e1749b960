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
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

TEST(AreaLockTest, RequestsAgainstEveryState) {
  struct Case {
    std::vector<bool> before;  // locks taken first (true: exclusive)
    bool exclusive, granted, shared;
    int hold;
  } cases[] = {
      {{}, false, true, true, 1},
      {{}, true, true, false, 1},
      {{false}, false, true, true, 2},
      {{false}, true, false, true, 1},
      {{false, false}, false, true, true, 3},
      {{false, false}, true, false, true, 2},
      {{true}, false, false, false, 1},
      {{true}, true, false, false, 1},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before.size() << " held, ex=" << c.exclusive);
    TArea area(dir.Path(), "ECHO", "ECHO");
    for (bool ex : c.before) ASSERT_TRUE(area.Lock(ex));
    EXPECT_EQ(area.Lock(c.exclusive), c.granted);
    EXPECT_TRUE(area.IsLocked());
    EXPECT_EQ(area.IsSharedLocked(), c.shared);
    EXPECT_EQ(area.IsReadable(), c.shared);
    EXPECT_EQ(area.HoldCount(), c.hold);
    // Every hold given back frees the area; one more unlock does nothing.
    for (int i = 0; i <= c.hold; ++i) area.Unlock();
    EXPECT_FALSE(area.IsLocked());
    EXPECT_TRUE(area.IsReadable());
  }
}

TEST(AreaLockTest, LastOfTwoSharedHoldsReleases) {
  TempDir dir;
  TArea area(dir.Path(), "ECHO", "ECHO");
  ASSERT_TRUE(area.Lock(false));
  ASSERT_TRUE(area.Lock(false));
  area.Unlock();
  EXPECT_TRUE(area.IsSharedLocked());
  EXPECT_EQ(area.HoldCount(), 1);
  { TAreaLockHold hold(area); }
  EXPECT_FALSE(area.IsLocked());
}

TEST(AreaLockTest, ShellHearsEachChangeOnTheMainThreadAfterRelease) {
  struct Case {
    std::vector<bool> locks;  // then as many unlocks
    std::vector<std::string> calls;
  } cases[] = {
      {{false}, {"Locked shared", "UpdateCaption"}},
      {{false, false}, {"Locked shared", "UpdateCaption"}},
      {{true}, {"Locked exclusive", "UpdateAreaLine", "Unlocked"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    ShellScope scope;
    TArea area(dir.Path(), "ECHO", "ECHO");
    for (bool exclusive : c.locks) ASSERT_TRUE(area.Lock(exclusive));
    for (size_t i = 0; i < c.locks.size(); ++i) area.Unlock();
    // Nothing reaches the shell inside Lock or Unlock.
    EXPECT_TRUE(scope.shell.Calls().empty());
    scope.dispatcher.ProcessMessages();
    EXPECT_EQ(scope.shell.Names(), c.calls);
    for (const auto& call : scope.shell.Calls()) {
      EXPECT_EQ(call.thread, std::this_thread::get_id());
      EXPECT_EQ(call.area, &area);
      EXPECT_FALSE(call.lockedThen);  // asked in the hook: the mutex is free
    }
  }
}

TEST(AreaLockTest, ChangesOnWorkersArriveInOrderOnTheMainThread) {
  TempDir dir;
  ShellScope scope;
  TArea area(dir.Path(), "ECHO", "ECHO");
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      while (!area.Lock(i % 2 == 0)) std::this_thread::yield();
      area.Unlock();
    }
    done = true;
  });
  while (!done) {  // the main thread takes shared holds of its own in between
    if (area.Lock(false)) area.Unlock();
    scope.dispatcher.ProcessMessages();
  }
  worker.join();
  scope.dispatcher.ProcessMessages();
  // Each lock is followed by its own release before the next lock.
  std::string open;
  for (const auto& call : scope.shell.Calls()) {
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    if (call.what.rfind("Locked", 0) == 0) {
      EXPECT_EQ(open, "") << call.what;
      open = call.what;
    } else {
      EXPECT_EQ(open, call.what == "UpdateCaption" ? "Locked shared" : "Locked exclusive");
      if (call.what != "UpdateAreaLine") open.clear();
    }
  }
  EXPECT_EQ(open, "");
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

TEST(AreaLockTest, WaitingEndsWhenGrantedOrAborted) {
  TempDir dir;
  ShellScope scope;
  TArea area(dir.Path(), "ECHO", "ECHO");
  ASSERT_TRUE(area.Lock(false));
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = area.WaitLock(true, nullptr, 2ms); });
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(result.load(), -1);
  area.Unlock();
  waiter.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_FALSE(area.IsSharedLocked());

  std::atomic<bool> abort{false};
  std::thread aborted([&] {
    result = area.WaitLock(
        false, [&] { return abort.load(); }, 2ms);
  });
  std::this_thread::sleep_for(20ms);
  abort = true;
  aborted.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(area.HoldCount(), 1);  // the exclusive lock is untouched
  area.Unlock();

  // On the main thread messages are processed between tries: here the
  // holder gives the lock back through the main thread's queue.
  ASSERT_TRUE(area.Lock(true));
  scope.dispatcher.Post([&] { area.Unlock(); });
  int tries = 0;
  EXPECT_TRUE(area.WaitLock(
      false, [&] { return ++tries > 200; }, 1ms));
  area.Unlock();
}

TEST(AreaLockTest, UserCommandsAreToldTheAreaIsInUse) {
  TempDir dir;
  platform::ScriptedPrompter prompter;
  PrompterScope prompterScope(&prompter);
  TArea area(dir.Path(), "R50.SYSOP", "R50.SYSOP");
  ASSERT_TRUE(area.LockForCommand(false));
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_FALSE(area.LockForCommand(true));
  auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "The area R50.SYSOP is in use!");
  EXPECT_EQ(questions[0].buttons, platform::mbOk);
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
  constexpr int kRounds = 60, kReaders = 3;
  std::atomic<int> writers{0}, readers{0}, finished{0}, violations{0}, reads{0};
  std::atomic<bool> stop{false};
  auto stopped = [&] { return stop.load(); };

  std::thread writer([&] {
    for (int round = 0; round < kRounds && area.WaitLock(true, stopped, 0ms); ++round) {
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
      while (finished.load() == 0 && !stop) {
        // Readers come and go; the writer gets its turn in between.
        std::this_thread::sleep_for(std::chrono::microseconds(500 * (r + 1)));
        if (!area.WaitLock(false, stopped, 1ms)) continue;
        ++readers;
        if (writers.load() != 0 || !area.OpenIndex()) ++violations;
        if (area.IsIndexLoaded()) {
          if (area.Count != static_cast<int32_t>(area.HeaderList().size())) ++violations;
          if (area.Count > 0 &&
              area.ReadMail(area.Count - 1)->Header.BodyOffset == TMsgHeader::NotStored)
            ++violations;
          area.CloseIndex();
          ++reads;
        }
        --readers;
        area.Unlock();
      }
      ++finished;
    });
  }
  EXPECT_TRUE(scope.dispatcher.RunUntil([&] { return finished == 1 + kReaders; }, 60s));
  stop = true;
  writer.join();
  for (auto& t : readerThreads) t.join();
  scope.dispatcher.ProcessMessages();

  EXPECT_EQ(violations.load(), 0);
  EXPECT_GT(reads.load(), 0);
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.Count, kRounds * 2);  // 1, 2, 3 mails a round
  area.CloseIndex();
  int lines = 0;
  for (const auto& call : scope.shell.Calls()) {
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    lines += call.what == "UpdateAreaLine";
  }
  EXPECT_EQ(lines, kRounds);
}

}  // namespace
}  // namespace velmaris::test
