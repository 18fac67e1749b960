// A nodelist run described by the configuration: directories, zone, report
// switch and the configured lists; the report of a compiling run in REPORT.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>

#include "NodelistConfigFixture.h"
#include "nodelist/NodelistConfig.h"

namespace velmaris::test {
namespace {

class NodelistConfigTest : public NodelistConfigFixture {};

bool SameInfo(const TListInfo& a, const TListInfo& b) {
  return a.Domain == b.Domain && a.List == b.List && a.Diff == b.Diff && a.Zone == b.Zone;
}

TEST_F(NodelistConfigTest, DescriptionFollowsTheSettings) {
  struct Case {
    const char* name;
    std::function<void(SettingsValues&)> edit;
    std::string listDir, indexDir;  // below the start directory unless absolute
    int zone;
    bool report;
  };
  const std::string abs = dir / "elsewhere/";
  const Case cases[] = {
      {"fresh configuration", [](SettingsValues&) {}, "DistribNL/", "KQNL/", 2, true},
      {"own directories, zone and no report",
       [&](SettingsValues& v) {
         v.SetText(SettingId::FTNDir, "lists");
         v.SetText(SettingId::KQLDIr, abs + "index");
         v.SetNumber(SettingId::Zone, 5);
         v.SetChecked(SettingId::ProcessReport, false);
       },
       "lists/", abs + "index/", 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto config = Load();
    config->SettingsModel().Modify(c.edit);
    const TNodelistRunConfig run = MakeNodelistRunConfig(*config);
    auto below = [&](const std::string& d) { return d[0] == '/' ? d : Start() + d; };
    EXPECT_EQ(run.ListDir, below(c.listDir));
    EXPECT_EQ(run.IndexDir, below(c.indexDir));
    EXPECT_EQ(run.Zone, c.zone);
    EXPECT_EQ(run.ProcessReport, c.report);
  }
}

TEST_F(NodelistConfigTest, DescriptionCarriesTheConfiguredListsInOrder) {
  struct Case {
    const char* name;
    std::function<void(TConfigStore&)> edit;
    std::vector<TListInfo> nodelists, pointlists;
  };
  const Case cases[] = {
      {"the standard pair of a fresh configuration",
       [](TConfigStore&) {},
       {{"Fidonet", "NODELIST", "NODEDIFF", 0}},
       {{"Fidonet", "POINTS24", "PR24DIFF", 2}}},
      {"own lists, pointlists with their own zones",
       [](TConfigStore& s) {
         s.Nodelists().Clear();
         s.Nodelists().Add("FidoNet", "NODELIST", "NODEDIFF", 0);
         s.Nodelists().Add("AlterNet", "ALTLIST", "ALTDIFF", 7);
         s.Pointlists().Clear();
         s.Pointlists().Add("R50", "POINTS50", "PNT50DIF", 2);
         s.Pointlists().Add("Z3", "PTS3", "PDIFF3", 3);
       },
       {{"FidoNet", "NODELIST", "NODEDIFF", 0}, {"AlterNet", "ALTLIST", "ALTDIFF", 7}},
       {{"R50", "POINTS50", "PNT50DIF", 2}, {"Z3", "PTS3", "PDIFF3", 3}}},
      {"no lists at all",
       [](TConfigStore& s) {
         s.Nodelists().Clear();
         s.Pointlists().Clear();
       },
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto config = Load();
    c.edit(*config);
    const TNodelistRunConfig run = MakeNodelistRunConfig(*config);
    ASSERT_EQ(run.NodeLists.size(), c.nodelists.size());
    for (size_t i = 0; i < c.nodelists.size(); ++i)
      EXPECT_TRUE(SameInfo(run.NodeLists[i], c.nodelists[i])) << i;
    ASSERT_EQ(run.PointLists.size(), c.pointlists.size());
    for (size_t i = 0; i < c.pointlists.size(); ++i)
      EXPECT_TRUE(SameInfo(run.PointLists[i], c.pointlists[i])) << i;
  }
}

TEST_F(NodelistConfigTest, ReportLandsInReportOnlyWhenAskedForAndCompiled) {
  struct Case {
    const char* name;
    bool processReport, forced, withDiff;
    bool compiled;
    size_t reports;
  };
  const Case cases[] = {
      {"forced, report on", true, true, false, true, 1},
      {"forced, report off", false, true, true, true, 0},
      {"automatic with a diff, report on", true, false, true, true, 1},
      {"automatic without a diff compiles and posts nothing", true, false, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Start());  // a fresh start directory and configuration
    std::filesystem::remove(RegistryPath());
    auto config = Load();
    config->SettingsModel().SetChecked(SettingId::ProcessReport, c.processReport);
    ConfigureList(*config, c.withDiff);
    const TNodelistRunConfig run = MakeNodelistRunConfig(*config);

    TNodeListProcessor processor;
    TNodelistLookup lookup;
    processor.Lookup = &lookup;
    TNodelistRunHooks hooks;
    hooks.PostReport = [](const std::vector<std::string>& lines) { PostNodelistReport(lines); };
    const TNodelistRunResult r = RunNodelistUpdate(processor, run, c.forced, hooks);
    EXPECT_EQ(r.Compiled, c.compiled);

    const auto reports = Reports(*config);
    ASSERT_EQ(reports.size(), c.reports);
    if (c.compiled) {
      lookup.SetPath(config->Values()->KQLDIr());
      EXPECT_EQ(lookup.GetSystemName(lookup.FindAddress(TFidoAddr{2, 5020, 1, 0})), "Sys_One");
    }
    if (reports.empty()) continue;
    EXPECT_EQ(reports[0].from, "Nodelist Processor");
    EXPECT_EQ(reports[0].to, "Sysop");
    EXPECT_EQ(reports[0].subject, "Nodelist Update Log");
    EXPECT_NE(reports[0].text.find(" * Origin: The Velmaris 95 Nodelist Processor"),
              std::string::npos);
    // Every line of the run's log, with its time stamp.
    ASSERT_FALSE(r.Log.empty());
    for (const std::string& line : r.Log)
      EXPECT_NE(reports[0].text.find(line + "\r"), std::string::npos) << line;
  }
}

TEST_F(NodelistConfigTest, FailedReportPostIsLoggedAndTheRunGoesOn) {
  auto config = Load();
  ConfigureList(*config, false);
  TNodeListProcessor processor;
  TNodelistRunHooks hooks;
  int compiledNotices = 0;
  hooks.PostReport = [](const std::vector<std::string>&) { throw std::runtime_error("disk full"); };
  hooks.Compiled = [&] { ++compiledNotices; };
  const TNodelistRunResult r =
      RunNodelistUpdate(processor, MakeNodelistRunConfig(*config), true, hooks);
  EXPECT_TRUE(r.Compiled);
  EXPECT_EQ(compiledNotices, 1);
  ASSERT_FALSE(r.Log.empty());
  EXPECT_NE(r.Log.back().find("Could not post the update log: disk full"), std::string::npos);
}

// A main thread that refuses every hand-over.
class RefusingDispatcher : public platform::PlainDispatcher {
 public:
  void Send(Task) override { throw std::runtime_error("main thread gone"); }
};

TEST_F(NodelistConfigTest, PostFromWorkerThatCannotReachTheMainThreadIsLogged) {
  auto config = Load();
  RefusingDispatcher refusing;
  platform::SetDispatcher(&refusing);
  bool posted = true;
  std::thread worker([&] { posted = PostNodelistReport({"a line"}); });
  worker.join();
  platform::SetDispatcher(&dispatcher);
  EXPECT_FALSE(posted);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "The nodelist update log could not be posted: main thread gone");
  EXPECT_TRUE(Reports(*config).empty());
}

}  // namespace
}  // namespace velmaris::test
