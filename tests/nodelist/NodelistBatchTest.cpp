#include <gtest/gtest.h>

#include "NodelistFixtures.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Batch(const TempDir& dir, const std::string& args) {
  return std::string(VELMARIS_BATCH) + " --dir " + dir.Path() + " " + args;
}

TEST(NodelistBatch, NodelistAppliesDiffsCompilesAndLooksUp) {
  TempDir dir;
  const std::vector<std::string> w0 = {"Zone,2,Europe,Europe,Coord,49-1", "Host,5020,Moscow,Moscow,Host,7-1",
                                       ",1,Sys_One,Moscow,John_Doe,7-095-2,33600,CM"};
  std::vector<std::string> w1 = w0;
  w1.push_back(",2,Sys_Two,Moscow,\xC8van,7-095-3,9600");
  const std::string l0 = MakeWeeklyList(123, w0), l1 = MakeWeeklyList(130, w1);
  dir.Write("Nodelist/NODELIST.123", l0);
  dir.Write("Nodelist/NODEDIFF.130", MakeDiff(l0, l1));
  dir.Write("Nodelist/points24.123", "Boss,2:5020/1\r\n,3,Pnt,Moscow,Pointer,-Unpublished-\r\n");
  std::string out;
  ASSERT_EQ(RunShell(Batch(dir, "nodelist"), &out), 0) << out;
  EXPECT_NE(out.find("\\\"NODELIST.123\\\" + \\\"NODEDIFF.130\\\" = \\\"NODELIST.130\\\"\"}"), std::string::npos) << out;
  EXPECT_NE(out.find(" 1 entries from points24.123 read\"}"), std::string::npos) << out;
  EXPECT_NE(out.find("{\"diffResult\":0,\"compiled\":true,\"count\":5}"), std::string::npos) << out;

  ASSERT_EQ(RunShell(Batch(dir, "lookup 2:5020/2"), &out), 0);
  EXPECT_EQ(out,
            "{\"address\":\"2:5020/2\",\"record\":4,\"type\":0,\"kind\":\"Node\",\"name\":\"Sys_Two\","
            "\"sysop\":\"\xC3\x88van\",\"location\":\"Moscow\",\"misc\":\"7-095-3,9600\"}\n");
  ASSERT_EQ(RunShell(Batch(dir, "lookup 2:5020/1.3"), &out), 0);
  EXPECT_NE(out.find("\"kind\":\"Point\""), std::string::npos);
  EXPECT_EQ(RunShell(Batch(dir, "lookup 2:5020/9 2>/dev/null"), &out), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunShell(Batch(dir, "lookup 2:5020 2>/dev/null"), &out), 2);
  EXPECT_EQ(RunShell(Batch(dir, "lookup 2:70000/1 2>/dev/null"), &out), 2);
}

TEST(NodelistBatch, LookupWithoutIndexFails) {
  TempDir dir;
  std::string out;
  EXPECT_EQ(RunShell(Batch(dir, "lookup 2:5020/1 2>&1"), &out), 1);
  EXPECT_NE(out.find("2:5020/1 is not listed"), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test
