// The job base: one run at a time, every escape caught and reported once,
// the finished notice once, a fresh stop token per run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/Job.h"
#include "platform/Dispatcher.h"

namespace velmaris::test {
namespace {

class TScriptedJob : public TJob {
 public:
  ~TScriptedJob() override { Join(); }
  std::function<void(TScriptedJob&)> Body;
  std::vector<std::string> Failures;
  int Finishes = 0;
  bool SawStop = false;
  using TJob::Launch;
  using TJob::RunHere;

 private:
  void RunJob() override { Body(*this); }
  void Failed(const std::string& what) override { Failures.push_back(what); }
  void AfterRun() override {
    ++Finishes;
    SawStop = StopRequested();
  }
};

class JobTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetDispatcher(&dispatcher); }
  void TearDown() override { platform::SetDispatcher(nullptr); }
  bool WaitIdle(TJob& job) {
    return dispatcher.RunUntil([&] { return job.Idle(); }, std::chrono::seconds(60));
  }
  platform::PlainDispatcher dispatcher;
};

TEST_F(JobTest, EveryEscapeIsReportedOnceAndTheRunStillFinishes) {
  struct Case {
    const char* name;
    std::function<void(TScriptedJob&)> body;
    std::vector<std::string> failures;
  } cases[] = {
      {"normal", [](TScriptedJob&) {}, {}},
      {"std", [](TScriptedJob&) { throw std::runtime_error("disk gone"); }, {"disk gone"}},
      {"other", [](TScriptedJob&) { throw 42; }, {"an unknown error"}},
  };
  for (const Case& c : cases) {
    for (bool threaded : {true, false}) {
      TScriptedJob job;
      job.Body = c.body;
      if (threaded) {
        ASSERT_TRUE(job.Launch()) << c.name;
        ASSERT_TRUE(WaitIdle(job)) << c.name;
        job.Join();
      } else {
        ASSERT_TRUE(job.RunHere()) << c.name;
      }
      EXPECT_EQ(job.Failures, c.failures) << c.name;
      EXPECT_EQ(job.Finishes, 1) << c.name;
      EXPECT_TRUE(job.Idle()) << c.name;
    }
  }
}

TEST_F(JobTest, OneRunAtATimeAndEachRunStartsUnstopped) {
  TScriptedJob job;
  std::atomic<bool> release{false};
  job.Body = [&](TScriptedJob& self) {
    while (!release.load() && !self.StopRequested()) std::this_thread::yield();
  };
  ASSERT_TRUE(job.Launch());
  EXPECT_FALSE(job.Launch());
  EXPECT_FALSE(job.RunHere());
  job.RequestStop();
  ASSERT_TRUE(WaitIdle(job));
  EXPECT_TRUE(job.SawStop);
  release.store(true);
  ASSERT_TRUE(job.Launch());  // a new run: not stopped by the old request
  ASSERT_TRUE(WaitIdle(job));
  EXPECT_FALSE(job.SawStop);
  EXPECT_EQ(job.Finishes, 2);
}

// Joining on the main thread while the run still hands work over to it (a
// window going away while its job reports): the join serves the hand-overs
// instead of waiting for a thread that waits for it. The run is held in its
// hand-over until the main thread has begun to join.
TEST_F(JobTest, AJoinOnTheMainThreadServesTheRunsHandOvers) {
  for (int handOvers : {1, 3}) {
    SCOPED_TRACE(handOvers);
    std::atomic<bool> sending{false};
    int served = 0;
    TScriptedJob job;
    job.Body = [&](TScriptedJob&) {
      for (int i = 0; i < handOvers; ++i) {
        sending.store(true);
        TJob::OnMain([&] { ++served; });
      }
    };
    ASSERT_TRUE(job.Launch());
    // Not pumping: the first hand-over waits in the queue.
    while (!sending.load()) std::this_thread::yield();
    job.Join();
    EXPECT_EQ(served, handOvers);
    EXPECT_TRUE(job.Idle());
    EXPECT_EQ(job.Finishes, 1);
  }
}

}  // namespace
}  // namespace velmaris::test
