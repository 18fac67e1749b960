// The nodelist processing of the running program: the nodediff setting
// switching the timer, the lookup following the index
// directory setting, and a run's report and notice handed to the main
// thread.
#include <gtest/gtest.h>

#include <chrono>

#include "NodelistConfigFixture.h"
#include "nodelist/NodelistService.h"
#include "platform/Files.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

class NodelistConfigServiceTest : public NodelistConfigFixture {
 protected:
  TNodeListProcessor processor;
  TNodelistLookup lookup;
};

TEST_F(NodelistConfigServiceTest, TimerTickWaitsForTheMailerSessionAndForManualProcessing) {
  // The rule itself is tested with the runner; here, that the service asks it.
  auto config = Load();
  ConfigureList(*config, false);
  bool mailerActive = true;
  TNodelistServiceHooks hooks;
  hooks.MailerSessionActive = [&] { return mailerActive; };
  hooks.Compiled = [] {};
  TNodelistService service(*config, lookup, processor, hooks);
  ASSERT_TRUE(service.TimerOn());
  EXPECT_FALSE(service.TimerTimer());
  mailerActive = false;
  config->SettingsModel().SetNumber(SettingId::DiffOn, 1);
  EXPECT_FALSE(service.TimerTimer());
  config->SettingsModel().SetNumber(SettingId::DiffOn, 0);
  EXPECT_TRUE(service.TimerTimer());
  service.Wait();
  EXPECT_FALSE(service.LastResult().Compiled);  // no nodediff: nothing to compile
}

TEST_F(NodelistConfigServiceTest, TheDispatcherTimerRunsTheAutomaticUpdate) {
  auto config = Load();
  config->SettingsModel().SetNumber(SettingId::DiffOn, 1);
  ConfigureList(*config, true);
  std::vector<std::string> notices;
  TNodelistServiceHooks hooks;
  hooks.Compiled = [&] { notices.push_back("compiled"); };
  TNodelistService service(*config, lookup, processor, hooks, 20ms);
  EXPECT_FALSE(service.TimerOn());
  EXPECT_FALSE(dispatcher.RunUntil([&] { return service.Busy(); }, 100ms));

  // Switching the setting to processing by the timer starts the timer.
  config->SettingsModel().SetNumber(SettingId::DiffOn, 0);
  EXPECT_TRUE(service.TimerOn());
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !notices.empty(); }, 10s));
  config->SettingsModel().SetNumber(SettingId::DiffOn, 1);
  EXPECT_FALSE(service.TimerOn());
  service.Wait();
  // The diff was applied and the new list compiled; later ticks found no
  // further diff and compiled nothing more.
  EXPECT_EQ(notices.size(), 1u);
  EXPECT_TRUE(platform::FileExists(config->Values()->FTNDir() + "TESTLIST.130"));
  EXPECT_GE(lookup.FindAddress(TFidoAddr{2, 5020, 2, 0}), 0);
}

TEST_F(NodelistConfigServiceTest, ForcedRunPostsItsReportAndNoticeThroughTheMainThread) {
  auto config = Load();
  config->SettingsModel().SetNumber(SettingId::DiffOn, 1);
  ConfigureList(*config, false);
  std::vector<std::string> shownLog;
  int cleared = 0;
  TNodelistServiceHooks hooks;
  hooks.OnLogCleared = [&] { ++cleared; };
  hooks.OnLog = [&](const std::string& line) {
    EXPECT_TRUE(dispatcher.IsMainThread());
    shownLog.push_back(line);
  };
  TNodelistService service(*config, lookup, processor, hooks);
  ASSERT_TRUE(service.StartProcessing());
  EXPECT_FALSE(service.StartProcessing());  // one run at a time
  service.Wait();
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(shownLog, service.LastResult().Log);
  EXPECT_TRUE(service.LastResult().Compiled);
  // The compiled set is what the lookup reads.
  EXPECT_EQ(lookup.GetSysop(lookup.FindAddress(TFidoAddr{2, 5020, 1, 0})), "John_Doe");
  const auto reports = Reports(*config);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].subject, "Nodelist Update Log");
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "A new node list has been compiled!");
}

TEST_F(NodelistConfigServiceTest, LookupFollowsTheIndexDirectorySetting) {
  auto config = Load();
  ConfigureList(*config, false);
  const std::string first = config->Values()->KQLDIr();
  const std::string second = Start() + "OtherIndex/";
  ForceDirectoryPath(second);
  TNodelistServiceHooks hooks;
  hooks.Compiled = [] {};
  TNodelistService service(*config, lookup, processor, hooks);
  EXPECT_EQ(lookup.GetPath(), first);
  ASSERT_TRUE(service.StartProcessing());
  service.Wait();
  const int compiled = lookup.Count();
  ASSERT_GT(compiled, 0);

  struct Step {
    std::string dir;
    int count;
  };
  for (const Step& s : {Step{second, 0}, Step{first, compiled}}) {
    config->SettingsModel().SetText(SettingId::KQLDIr, s.dir);
    EXPECT_EQ(lookup.GetPath(), s.dir);
    EXPECT_EQ(lookup.Count(), s.count);
  }
  // A run takes the index directory of the moment it starts.
  config->SettingsModel().SetText(SettingId::KQLDIr, second);
  ASSERT_TRUE(service.StartProcessing());
  service.Wait();
  EXPECT_EQ(lookup.Count(), compiled);
  EXPECT_TRUE(std::filesystem::exists(second + "Addresses.Index"));
}

}  // namespace
}  // namespace velmaris::test
