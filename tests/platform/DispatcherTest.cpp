#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Dispatcher.h"

namespace velmaris::platform {
namespace {

using namespace std::chrono_literals;

TEST(Dispatcher, SendOnTheMainThreadRunsInline) {
  PlainDispatcher d;
  EXPECT_TRUE(d.IsMainThread());
  int ran = 0;
  d.Send([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_THROW(d.Send([] { throw std::logic_error("inline"); }), std::logic_error);
}

TEST(Dispatcher, SendFromWorkersRunsOnTheMainThreadAndWaits) {
  PlainDispatcher d;
  const auto mainId = std::this_thread::get_id();
  constexpr int kWorkers = 4, kSends = 50;
  std::atomic<int> finished{0};
  int counter = 0;  // touched only on the main thread
  bool allOnMain = true;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&] {
      EXPECT_FALSE(d.IsMainThread());
      for (int i = 0; i < kSends; ++i) {
        int seen = -1;
        d.Send([&] {
          allOnMain = allOnMain && std::this_thread::get_id() == mainId;
          seen = ++counter;
        });
        EXPECT_GT(seen, 0);  // Send returned only after the task ran
      }
      ++finished;
      d.Wake();
    });
  }
  EXPECT_TRUE(d.RunUntil([&] { return finished == kWorkers; }, 60s));
  for (auto& t : workers) t.join();
  EXPECT_EQ(counter, kWorkers * kSends);
  EXPECT_TRUE(allOnMain);
}

TEST(Dispatcher, SendRethrowsTheTaskExceptionInTheWorker) {
  PlainDispatcher d;
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      d.Send([] { throw std::runtime_error("disk full"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    done = true;
  });
  EXPECT_TRUE(d.RunUntil([&] { return done.load(); }, 60s));
  worker.join();
  EXPECT_EQ(caught, "disk full");
}

TEST(Dispatcher, PostQueuesInOrder) {
  PlainDispatcher d;
  std::vector<int> order;
  d.Post([&] { order.push_back(1); });
  d.Post([&] {
    order.push_back(2);
    d.Post([&] { order.push_back(4); });  // runs in the next round
  });
  d.Post([&] { order.push_back(3); });
  EXPECT_TRUE(order.empty());
  d.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  d.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(Dispatcher, WorkersDoNotPumpTheMainQueue) {
  PlainDispatcher d;
  int ran = 0;
  d.Post([&] { ++ran; });
  std::thread([&] { d.ProcessMessages(); }).join();
  EXPECT_EQ(ran, 0);
  d.ProcessMessages();
  EXPECT_EQ(ran, 1);
}

TEST(Dispatcher, TimersRepeatUntilStopped) {
  PlainDispatcher d;
  int ticks = 0;
  const auto id = d.StartTimer(5ms, [&] { ++ticks; });
  EXPECT_TRUE(d.RunUntil([&] { return ticks >= 3; }, 60s));
  d.StopTimer(id);
  const int stoppedAt = ticks;
  d.RunUntil([] { return false; }, 30ms);
  EXPECT_EQ(ticks, stoppedAt);
}

TEST(Dispatcher, TimerIsDueOnlyAfterItsIntervalAndFiresOncePerRound) {
  PlainDispatcher d;
  int slow = 0, fast = 0;
  const auto hourly = d.StartTimer(std::chrono::hours(1), [&] { ++slow; });
  const auto often = d.StartTimer(1ms, [&] { ++fast; });
  // However late the round comes, a timer that is overdue fires once, not
  // once for every interval missed.
  std::this_thread::sleep_for(20ms);
  d.ProcessMessages();
  EXPECT_EQ(fast, 1);
  EXPECT_EQ(slow, 0);
  d.StopTimer(hourly);
  d.StopTimer(often);
}

TEST(Dispatcher, TimerStopsItself) {
  PlainDispatcher d;
  int ticks = 0;
  Dispatcher::TimerId id = 0;
  id = d.StartTimer(1ms, [&] {
    ++ticks;
    d.StopTimer(id);
  });
  d.RunUntil([] { return false; }, 30ms);
  EXPECT_EQ(ticks, 1);
}

TEST(Dispatcher, RunUntilSleepsAndTimesOut) {
  PlainDispatcher d;
  int calls = 0;
  EXPECT_FALSE(d.RunUntil(
      [&] {
        ++calls;
        return false;
      },
      100ms));
  EXPECT_GE(calls, 1);
  EXPECT_LT(calls, 20);  // woke a few times, did not spin
}

TEST(Dispatcher, ProcessWideInstance) {
  PlainDispatcher mine;
  SetDispatcher(&mine);
  EXPECT_EQ(&GetDispatcher(), &mine);
  SetDispatcher(nullptr);
  EXPECT_NE(&GetDispatcher(), &mine);
}

}  // namespace
}  // namespace velmaris::platform
