#include "core/NLData.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/WinRegistry.h"
#include "platform/Registry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

using NLDataTest = RegistryFixture;

std::vector<std::string> Describe(const TNLData& data) {
  std::vector<std::string> out;
  for (const auto& e : data.Entries()) {
    out.push_back(e.Domain + "|" + e.List + "|" + e.Diff + "|" + std::to_string(e.Zone));
  }
  return out;
}

TEST_F(NLDataTest, RoundTripKeepsOrderAndListedNames) {
  TNLData lists;
  lists.Add("Fidonet", "POINTS24", "PR24DIFF", 2);
  lists.Add("Fidonet", "BOSSLIST", "BOSSDIFF", 2);
  TNLInfo* third = lists.Add("Amiganet", "AMIGA", "AMIDIFF", 39);
  lists.SetString(lists.IndexOf(third), "AmigaNet");  // renamed in the list
  lists.SaveToRegistry(reg, "Pointlists");

  TNLData loaded;
  loaded.LoadFromRegistry(reg, "Pointlists");
  EXPECT_EQ(Describe(loaded),
            (std::vector<std::string>{"Fidonet|POINTS24|PR24DIFF|2", "Fidonet|BOSSLIST|BOSSDIFF|2",
                                      "AmigaNet|AMIGA|AMIDIFF|39"}));
  EXPECT_EQ(loaded.GetString(2), "AmigaNet");
  EXPECT_EQ(loaded.GetItem(2)->Domain, "AmigaNet");
}

TEST_F(NLDataTest, StoredCountIsBounded) {
  struct {
    int32_t count;
    int expected;
  } cases[] = {{-3, 0}, {0, 0}, {2, 2}, {INT32_MAX, 1000}};
  for (const auto& c : cases) {
    reg.WriteInteger("Nodelists", "Count", c.count);
    TNLData lists;
    lists.LoadFromRegistry(reg, "Nodelists");
    EXPECT_EQ(lists.GetCount(), c.expected) << c.count;
  }
}

TEST_F(NLDataTest, LoadingReplacesTheEntriesWithOneChange) {
  TNLData source;
  source.Add("Fidonet", "NODELIST", "NODEDIFF", 0);
  source.SaveToRegistry(reg, "Nodelists");

  TNLData lists;
  TNLInfo* old = lists.Add("Old", "OLD", "OLDDIFF", 1);
  int changes = 0;
  lists.OnChange = [&](TPubLst&) { ++changes; };
  lists.LoadFromRegistry(reg, "Nodelists");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Describe(lists), std::vector<std::string>{"Fidonet|NODELIST|NODEDIFF|0"});
  EXPECT_EQ(old->List, "OLD");  // still alive for whoever holds it
  EXPECT_FALSE(lists.IsChangePending());
}

TEST_F(NLDataTest, FaultyValueLeavesTheListAsItWas) {
  reg.WriteInteger("Nodelists", "Count", 2);
  reg.WriteString("Nodelists\\List2", "Zone", "two");
  TNLData lists;
  lists.Add("Fidonet", "NODELIST", "NODEDIFF", 0);
  EXPECT_THROW(lists.LoadFromRegistry(reg, "Nodelists"), platform::ERegistry);
  EXPECT_EQ(Describe(lists), std::vector<std::string>{"Fidonet|NODELIST|NODEDIFF|0"});
}

TEST_F(NLDataTest, ConfigurationRoundTrip) {
  TNLData nodelists, pointlists;
  nodelists.Add("Fidonet", "NODELIST", "NODEDIFF", 0);
  pointlists.Add("Fidonet", "POINTS24", "PR24DIFF", 2);
  pointlists.Add("Fidonet", "PNT5020", "PNTDIFF", 2);
  SaveNodelistConfiguration(reg, nodelists, pointlists);
  TNLData n2, p2;
  LoadNodelistConfiguration(reg, n2, p2);
  EXPECT_EQ(Describe(n2), Describe(nodelists));
  EXPECT_EQ(Describe(p2), Describe(pointlists));
}

}  // namespace
}  // namespace velmaris::test
