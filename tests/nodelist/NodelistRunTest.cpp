#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "NodelistFixtures.h"
#include "nodelist/NodelistRun.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// Nodes before the first "Zone" line, then zone 1.
std::vector<std::string> Body(int week) {
  return {",1,Early_" + std::to_string(week) + ",Here,Sysop,1-1,300",
          "Zone,1,Zone_One,There,Coord,1-2,300",
          ",5,Late_" + std::to_string(week) + ",There,Sysop,1-3,300"};
}

struct RunFixture {
  TempDir dir;
  TNodelistRunConfig config;
  TNodeListProcessor proc;
  TNodelistLookup lookup;
  TNodelistRunHooks hooks;
  std::vector<std::string> reports;
  int compiledNotices = 0;

  RunFixture() {
    config.ListDir = dir / "lists/";
    config.IndexDir = dir / "index/";
    std::filesystem::create_directories(config.ListDir);
    std::filesystem::create_directories(config.IndexDir);
    config.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 0});  // a new entry's zone 0
    config.Zone = 2;
    proc.Lookup = &lookup;
    proc.CurrentYear = [] { return 2026; };
    lookup.SetPath(config.IndexDir);
    hooks.Now = [] { return std::time_t(1700000000); };
    hooks.PostReport = [this](const std::vector<std::string>& log) {
      reports.insert(reports.end(), log.begin(), log.end());
    };
    hooks.Compiled = [this] { ++compiledNotices; };
  }
  void WriteList(const std::string& name, const std::string& text) const {
    dir.Write("lists/" + name, text);
  }
};

TEST(NodelistRun, AutomaticRunWithoutDiffCompilesNothing) {
  RunFixture f;
  f.WriteList("NODELIST.123", MakeWeeklyList(123, Body(0)));
  const auto r = RunNodelistUpdate(f.proc, f.config, false, f.hooks);
  EXPECT_EQ(r.DiffResult, drNothing);
  EXPECT_FALSE(r.Compiled);
  EXPECT_EQ(f.compiledNotices, 0);
  EXPECT_TRUE(f.reports.empty());
  EXPECT_FALSE(std::filesystem::exists(f.dir / "index/Addresses.Index"));
}

TEST(NodelistRun, AutomaticRunWithFailingDiffCompilesNothing) {
  RunFixture f;
  f.WriteList("NODELIST.123", MakeWeeklyList(123, Body(0)));
  f.WriteList("NODEDIFF.130", ";A some other list\r\n\x1A");
  const auto r = RunNodelistUpdate(f.proc, f.config, false, f.hooks);
  EXPECT_EQ(r.DiffResult, drFailed);
  EXPECT_FALSE(r.Compiled);
  EXPECT_EQ(f.compiledNotices, 0);
}

TEST(NodelistRun, ForcedRunCompilesAndReports) {
  RunFixture f;
  f.WriteList("NODELIST.123", MakeWeeklyList(123, Body(0)));
  std::vector<std::string> seen;
  f.hooks.OnLog = [&](const std::string& l) { seen.push_back(l); };
  const auto r = RunNodelistUpdate(f.proc, f.config, true, f.hooks);
  EXPECT_EQ(r.DiffResult, drNothing);
  EXPECT_TRUE(r.Compiled);
  EXPECT_EQ(f.compiledNotices, 1);
  EXPECT_EQ(f.lookup.Count(), 3);
  // Every line of the run, each with its time stamp.
  EXPECT_EQ(f.reports, r.Log);
  EXPECT_EQ(seen, r.Log);
  ASSERT_FALSE(r.Log.empty());
  EXPECT_EQ(r.Log.front(), StampLogLine(1700000000, "Start Diff"));
  EXPECT_EQ(r.Log.back(), StampLogLine(1700000000, "Done"));
  EXPECT_EQ(StampLogLine(1700000000, "x").size(), std::string("dd.mm.yy hh:mm:ss x").size());
  EXPECT_EQ(f.proc.OnLog, nullptr);  // the run's receivers are cleared again
}

TEST(NodelistRun, ForcedRunWithoutAnyListIsNoNewNodeList) {
  RunFixture f;
  const auto r = RunNodelistUpdate(f.proc, f.config, true, f.hooks);
  EXPECT_EQ(r.ListsOpened, 0);
  EXPECT_EQ(f.compiledNotices, 0);
  EXPECT_NE(std::find(r.Log.begin(), r.Log.end(),
                      StampLogLine(1700000000, "Error opening nodelist NODELIST !")),
            r.Log.end());
}

TEST(NodelistRun, NodesBeforeTheFirstZoneLineTakeTheOwnZoneInEveryRun) {
  for (bool forced : {true, false}) {
    SCOPED_TRACE(forced ? "forced" : "automatic");
    RunFixture f;
    const std::string w0 = MakeWeeklyList(123, Body(0)), w1 = MakeWeeklyList(130, Body(1));
    f.WriteList("NODELIST.123", w0);
    f.WriteList("NODEDIFF.130", MakeDiff(w0, w1));
    const auto r = RunNodelistUpdate(f.proc, f.config, forced, f.hooks);
    EXPECT_EQ(r.DiffResult, drApplied);
    ASSERT_TRUE(r.Compiled);
    const int n = f.lookup.FindAddress(TFidoAddr{2, 0, 1, 0});
    ASSERT_GE(n, 0);
    EXPECT_EQ(f.lookup.GetSystemName(n), "Early_1");
    EXPECT_EQ(f.lookup.FindAddress(TFidoAddr{0, 0, 1, 0}), -1);
    EXPECT_EQ(f.lookup.GetSystemName(f.lookup.FindAddress(TFidoAddr{1, 0, 5, 0})), "Late_1");
  }
}

TEST(NodelistRun, ConfigureProcessorTakesTheOwnZoneForNodelists) {
  TNodelistRunConfig config;
  config.Zone = 3;
  config.ListDir = "/lists/";
  config.IndexDir = "/index/";
  config.NodeLists = {{"A", "NODELIST", "NODEDIFF", 0}, {"B", "OTHER", "OTHERD", 7}};
  config.PointLists = {{"P", "POINTS", "PNTDIFF", 5}};
  TNodeListProcessor proc;
  ConfigureProcessor(proc, config);
  ASSERT_EQ(proc.NodeLists.size(), 2u);
  EXPECT_EQ(proc.NodeLists[0].Zone, 3);
  EXPECT_EQ(proc.NodeLists[1].Zone, 3);
  EXPECT_EQ(proc.NodeLists[1].Diff, "OTHERD");
  ASSERT_EQ(proc.PointLists.size(), 1u);
  EXPECT_EQ(proc.PointLists[0].Zone, 5);
  EXPECT_EQ(proc.ListDir, "/lists/");
  EXPECT_EQ(proc.IndexDir, "/index/");
}

TEST(NodelistRun, TimerRule) {
  struct Case {
    bool timerOn, mailer, busy, starts;
  } cases[] = {
      {true, false, false, true},   {true, true, false, false}, {true, false, true, false},
      {false, false, false, false}, {false, true, true, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NodelistTimerShouldStart(c.timerOn, c.mailer, c.busy), c.starts)
        << c.timerOn << c.mailer << c.busy;
}

TEST(NodelistRun, RunnerHoldsOneRunAtATime) {
  RunFixture f;
  f.WriteList("NODELIST.123", MakeWeeklyList(123, Body(0)));
  std::mutex m;
  std::condition_variable cv;
  bool release = false, entered = false;
  f.hooks.OnStatus = [&](const std::string&) {
    std::unique_lock<std::mutex> lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  };
  TNodelistRunner runner(f.proc, f.hooks);
  bool mailerBusy = true;
  runner.MailerSessionActive = [&] { return mailerBusy; };
  runner.TimerOn = true;
  EXPECT_FALSE(runner.TimerTick(f.config));  // a mailer session is going on
  mailerBusy = false;
  runner.TimerOn = false;
  EXPECT_FALSE(runner.TimerTick(f.config));  // manual processing
  ASSERT_TRUE(runner.StartProcessing(f.config));
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return entered; });
  }
  EXPECT_TRUE(runner.Busy());
  runner.TimerOn = true;
  EXPECT_FALSE(runner.TimerTick(f.config));
  EXPECT_FALSE(runner.StartProcessing(f.config));
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  for (int i = 0; i < 6000 && runner.Busy(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(runner.Busy());
  EXPECT_TRUE(runner.LastResult().Compiled);
  EXPECT_EQ(f.compiledNotices, 1);
  // An automatic run by the timer: no diff, nothing compiled.
  EXPECT_TRUE(runner.TimerTick(f.config));
  runner.Wait();
  EXPECT_FALSE(runner.LastResult().Compiled);
  EXPECT_EQ(runner.LastResult().DiffResult, drNothing);
}

}  // namespace
}  // namespace velmaris::test
