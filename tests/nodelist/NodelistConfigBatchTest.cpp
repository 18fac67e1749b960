// "nodelist" and "lookup" work on the configuration: the configured lists in
// the list directory, the index directory, the report switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "NodelistFixtures.h"
#include "archive/PackerConfig.h"
#include "core/ConfigStore.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class NodelistConfigBatchTest : public ::testing::Test {
 protected:
  int Run(const std::string& args, std::string* out = nullptr) {
    return RunShell(ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(dir.Path()) +
                        " --registry " + ShellQuote(dir / "Velmaris.reg") + " " + args +
                        " 2>/dev/null",
                    out);
  }
  // Writes the configuration as the program saves it, after the edit.
  void Configure(const std::function<void(TConfigStore&)>& edit) {
    platform::Registry registry(dir / "Velmaris.reg");
    TConfigStore store(dir.Path(), registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    edit(store);
    store.SaveToRegistry();
  }
  TempDir dir;
};

const std::vector<std::string> kWeek0 = {"Zone,2,Europe,Europe,Coord,49-1",
                                         "Host,5020,Moscow,Moscow,Host,7-1",
                                         ",1,Sys_One,Moscow,John_Doe,7-095-2,33600,CM"};

TEST_F(NodelistConfigBatchTest, ConfiguredListsCompileApplyDiffsAndLookUp) {
  Configure([](TConfigStore& s) {
    s.SettingsModel().SetText(SettingId::FTNDir, "Lists");
    s.SettingsModel().SetText(SettingId::KQLDIr, "Index");
    s.Nodelists().Clear();
    s.Nodelists().Add("TestNet", "NETLIST", "NETDIFF", 0);
    s.Pointlists().Clear();
    s.Pointlists().Add("R50", "points24", "PR24DIFF", 2);
  });
  std::vector<std::string> w1 = kWeek0;
  w1.push_back(",2,Sys_Two,Moscow,\xC8van,7-095-3,9600");
  const std::string l0 = MakeWeeklyList(123, kWeek0), l1 = MakeWeeklyList(130, w1);
  dir.Write("Lists/NETLIST.123", l0);
  dir.Write("Lists/NETDIFF.130", MakeDiff(l0, l1));
  dir.Write("Lists/points24.123", "Boss,2:5020/1\r\n,3,Pnt,Moscow,Pointer,-Unpublished-\r\n");
  // Lists that are not configured are not read.
  dir.Write("Lists/NODELIST.123", MakeWeeklyList(123, {",9,Other,Here,Who,1-1,300"}));

  std::string out;
  ASSERT_EQ(Run("nodelist", &out), 0) << out;
  EXPECT_NE(out.find("\\\"NETLIST.123\\\" + \\\"NETDIFF.130\\\" = \\\"NETLIST.130\\\"\"}"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" 1 entries from points24.123 read\"}"), std::string::npos) << out;
  EXPECT_NE(out.find("{\"diffResult\":0,\"compiled\":true,\"count\":5,\"damagedLists\":0}\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(platform::FileExists(dir / "Index/Addresses.Index"));

  struct Case {
    const char* address;
    int status;
    std::string expected;  // the whole output, or a piece of it
  };
  const Case cases[] = {
      {"2:5020/2", 0,
       "{\"address\":\"2:5020/2\",\"record\":4,\"type\":0,\"kind\":\"Node\",\"name\":\"Sys_Two\","
       "\"sysop\":\"\xC3\x88van\",\"location\":\"Moscow\",\"misc\":\"7-095-3,9600\"}\n"},
      {"2:5020/1.3", 0, "\"kind\":\"Point\""},
      {"2:5020/9", 1, ""},
      {"2:5020", 2, ""},
      {"2:70000/1", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(Run(std::string("lookup ") + c.address, &out), c.status);
    if (c.expected.empty())
      EXPECT_EQ(out, "");
    else if (c.expected.back() == '\n')
      EXPECT_EQ(out, c.expected);
    else
      EXPECT_NE(out.find(c.expected), std::string::npos) << out;
  }
}

// A damaged list, a failed nodediff or no list at all fails the run: the
// sound nodes are still compiled, and a failed diff leaves no new list
// behind.
TEST_F(NodelistConfigBatchTest, DamagedListsAndFailedDiffsFailTheRun) {
  Configure([](TConfigStore& s) {
    s.SettingsModel().SetText(SettingId::FTNDir, "Lists");
    s.SettingsModel().SetText(SettingId::KQLDIr, "Index");
    s.SettingsModel().SetChecked(SettingId::ProcessReport, false);
    s.Nodelists().Clear();
    s.Nodelists().Add("TestNet", "NETLIST", "NETDIFF", 0);
    s.Pointlists().Clear();
  });
  const std::string l0 = MakeWeeklyList(123, kWeek0);
  std::string withNul = l0;
  withNul.insert(withNul.find("Sys_One") + 3, 1, '\0');
  struct Case {
    const char* what;
    std::string list, diff;
    int status;
    const char* result;  // the last output line
  } cases[] = {
      {"sound list", l0, "", 0,
       "{\"diffResult\":3,\"compiled\":true,\"count\":3,\"damagedLists\":0}"},
      {"0 byte in a node line", withNul, "", 1,
       "{\"diffResult\":3,\"compiled\":true,\"count\":2,\"damagedLists\":1}"},
      {"one bad line", l0.substr(0, l0.size() - 1) + ",x,Bad,L,S,1\r\n\x1A", "", 1,
       "{\"diffResult\":3,\"compiled\":true,\"count\":3,\"damagedLists\":1}"},
      {"diff that does not fit", l0, ";A Another list : 1\r\nC5\r\n\x1A", 1,
       "{\"diffResult\":1,\"compiled\":true,\"count\":3,\"damagedLists\":0}"},
      {"no list at all", "", "", 1, ",\"count\":0,\"damagedLists\":0}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir / "Lists");
    if (!c.list.empty()) dir.Write("Lists/NETLIST.123", c.list);
    if (!c.diff.empty()) dir.Write("Lists/NETDIFF.130", c.diff);
    std::string out;
    EXPECT_EQ(Run("nodelist", &out), c.status);
    EXPECT_NE(out.find(std::string(c.result) + "\n"), std::string::npos) << out;
    EXPECT_FALSE(platform::FileExists(dir / "Lists/NETLIST.New"));
  }
}

TEST_F(NodelistConfigBatchTest, LookupWithoutIndexFails) {
  std::string out;
  EXPECT_EQ(RunBatch(dir.Path(), dir / "Velmaris.reg", {"lookup", "2:5020/1"}, &out, "2>&1"), 1);
  EXPECT_NE(out.find("2:5020/1 is not listed"), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test
