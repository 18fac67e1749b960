#include <gtest/gtest.h>

#include "nodelist/NodelistBrowse.h"
#include "nodelist/NodelistLookup.h"
#include "platform/Dispatcher.h"
#include "support/NodelistIndexSet.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class NodelistBrowse : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBrowseIndexSet(dir);
    lookup.SetPath(dir.Path());
    ASSERT_EQ(lookup.Count(), 3);
  }
  TempDir dir;
  TNodelistLookup lookup;
};

TEST_F(NodelistBrowse, FiltersByTextsAndAddressParts) {
  struct Case {
    TNodelistFilter filter;
    std::vector<int> records;
  };
  TNodelistFilter byName, byUnderscore, bySysop, byCity, node, zone1, both, none;
  byName.Name = "new york";
  byUnderscore.Name = "new_york";  // the stored underscore reads as a blank
  bySysop.Sysop = "bo";
  byCity.City = "MOS";
  node.Zone = 2, node.Net = 5020, node.Node = 1;
  zone1.Zone = 1;
  both.Sysop = "bob", both.Point = 5;
  none.City = "Paris";
  const Case cases[] = {{{}, {0, 1, 2}},   {byName, {1}},    {byUnderscore, {}},
                        {bySysop, {1, 2}}, {byCity, {1, 2}}, {node, {1, 2}},
                        {zone1, {0}},      {both, {2}},      {none, {}}};
  for (const Case& c : cases)
    EXPECT_EQ(FilterNodelist(lookup, c.filter), c.records)
        << c.filter.Name << "|" << c.filter.Sysop << "|" << c.filter.City << "|" << c.filter.Zone;
  EXPECT_EQ(NodelistStatusText(3, 3), "3 of 3 entries shown");
}

TEST_F(NodelistBrowse, CellsSplitTheLinkInformation) {
  const std::vector<std::vector<std::string>> rows = {
      {"1:1/1", "Node", "Alpha", "Ann", "Berlin", "49-1", "9600", "CM"},
      {"2:5020/1", "Host", "New York", "Bob", "Moscow", "7-1", "33600", "CM,XA"},
      {"2:5020/1.5", "Point", "Beta", "Bob Jr", "Moscow", "-Unpublished-", "", ""}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < nlcColumnCount; ++c)
      EXPECT_EQ(NodelistCellText(lookup, r, c), rows[r][c]) << r << "," << c;
  EXPECT_STREQ(NodeTypeName(127), "?");
  EXPECT_STREQ(NodeTypeName(11), "Point(Hold)");
}

TEST_F(NodelistBrowse, ARequestDuringASearchMakesExactlyOneMoreWithTheNewestFilter) {
  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  std::vector<std::string> started;
  std::vector<std::pair<std::vector<int>, bool>> finished;
  TNodelistFilter current;
  std::unique_ptr<TNodelistUpdater> updater;
  updater = std::make_unique<TNodelistUpdater>(
      lookup,
      TNodelistUpdater::Hooks{[&] {
                                const TNodelistFilter filter = current;
                                started.push_back(filter.Name);
                                if (started.size() == 1) {  // the user types twice meanwhile
                                  current.Name = "al";
                                  updater->Request();
                                  current.Name = "beta";
                                  updater->Request();
                                }
                                return filter;
                              },
                              [&](std::vector<int> records, bool more) {
                                finished.emplace_back(std::move(records), more);
                              }});
  updater->Request();
  EXPECT_TRUE(dispatcher.RunUntil([&] { return !updater->Running(); }));
  updater.reset();
  EXPECT_EQ(started, (std::vector<std::string>{"", "beta"}));
  ASSERT_EQ(finished.size(), 2u);
  EXPECT_TRUE(finished[0].second);
  EXPECT_EQ(finished[1].first, std::vector<int>{2});
  EXPECT_FALSE(finished[1].second);
  platform::SetDispatcher(nullptr);
}

}  // namespace
}  // namespace velmaris::test
