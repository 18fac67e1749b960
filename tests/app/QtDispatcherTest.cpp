#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "QtTestApp.h"
#include "app/QtDispatcher.h"

namespace velmaris {
namespace {

using test::App;
using test::PumpUntil;

TEST(QtDispatcher, SendFromWorkerRunsOnMainThreadAndWaits) {
  App();
  QtDispatcher dispatcher;
  const auto mainId = std::this_thread::get_id();
  std::atomic<bool> finished = false;
  std::thread::id ranOn;
  int value = 0;
  std::thread worker([&] {
    dispatcher.Send([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    });
    // Send has returned, so the task's write must be visible here.
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(dispatcher.IsMainThread());
    finished = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, mainId);
  EXPECT_TRUE(dispatcher.IsMainThread());
}

TEST(QtDispatcher, SendCarriesTheExceptionBackToTheWorker) {
  App();
  QtDispatcher dispatcher;
  std::atomic<bool> finished = false;
  std::string caught;
  std::thread worker([&] {
    try {
      dispatcher.Send([] { throw std::runtime_error("area in use"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    finished = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(caught, "area in use");
}

// RunUntil serves a worker's Send while it waits and ends on the worker's
// flag; the worker's Wake makes it look at once.
TEST(QtDispatcher, RunUntilServesSendsAndEndsOnAWakeAfterTheFlag) {
  App();
  QtDispatcher dispatcher;
  std::atomic<bool> finished = false;
  int value = 0;
  std::thread worker([&] {
    dispatcher.Send([&] { value = 7; });
    finished = true;
    dispatcher.Wake();
  });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return finished.load(); }, std::chrono::minutes(5)));
  worker.join();
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(dispatcher.RunUntil([] { return false; }, std::chrono::milliseconds(1)));
}

TEST(QtDispatcher, SendOnMainThreadRunsInline) {
  App();
  QtDispatcher dispatcher;
  bool ran = false;
  dispatcher.Send([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(QtDispatcher, PostRunsLaterInOrder) {
  App();
  QtDispatcher dispatcher;
  std::vector<int> order;
  dispatcher.Post([&] { order.push_back(1); });
  dispatcher.Post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(PumpUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(QtDispatcher, TimerRepeatsUntilStopped) {
  App();
  QtDispatcher dispatcher;
  int ticks = 0;
  const auto id = dispatcher.StartTimer(std::chrono::milliseconds(5), [&] { ++ticks; });
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  dispatcher.StopTimer(id);
  const int stoppedAt = ticks;
  PumpUntil([] { return false; }, std::chrono::milliseconds(100));  // let any stray timeout through
  EXPECT_EQ(ticks, stoppedAt);
}

}  // namespace
}  // namespace velmaris
