#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "NodelistFixtures.h"
#include "nodelist/NodeListProcessor.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

namespace fs = std::filesystem;

struct DiffRun {
  TempDir dir;
  TNodeListProcessor proc;
  std::vector<std::string> log;
  int year = 2026;

  DiffRun() {
    proc.ListDir = dir.Path();
    proc.IndexDir = dir.Path();
    proc.OnLog = [this](const std::string& s) { log.push_back(s); };
    proc.CurrentYear = [this] { return year; };
    proc.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 2});
  }
  bool Logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  bool Exists(const std::string& name) const { return fs::exists(dir / name); }
  // A full path as the log names it: in the ANSI page (the test folder has
  // Russian letters).
  std::string Q(const std::string& name) const {
    return "\"" + platform::LogName(dir.Path() + name) + "\"";
  }
};

// A week of a nodelist: zone 2 with nets 100 + week, changing a little
// every week (a node added, one removed, one changed, the header new).
std::vector<std::string> WeekBody(int week) {
  std::vector<std::string> body = {"Zone,2,Europe,Europe,Coord,49-1,9600,CM",
                                   "Host,240,Net_240,Hamburg,Host,49-40-1,9600"};
  for (int n = 1; n <= 30; ++n) {
    if (n == week + 3) continue;  // removed this week
    std::string line = "," + std::to_string(n) + ",System_" + std::to_string(n) +
                       ",Hamburg,Sysop_" + std::to_string(n) + ",49-40-" + std::to_string(100 + n) +
                       ",9600,CM";
    if (n == week + 10) line += ",XA,W" + std::to_string(week);  // changed this week
    body.push_back(line);
  }
  body.push_back("Pvt," + std::to_string(100 + week) + ",New_In_Week_" + std::to_string(week) +
                 ",Hamburg,Newbie,-Unpublished-,300");
  return body;
}

TEST(NodeDiff, TwoWeeksInOneRunGiveTheNextListsByteForByte) {
  DiffRun r;
  const std::string week0 = MakeWeeklyList(123, WeekBody(0));
  const std::string week1 = MakeWeeklyList(130, WeekBody(1));
  const std::string week2 = MakeWeeklyList(137, WeekBody(2));
  r.dir.Write("NODELIST.123", week0);
  r.dir.Write("NODEDIFF.130", MakeDiff(week0, week1));
  r.dir.Write("NODEDIFF.137", MakeDiff(week1, week2));
  EXPECT_EQ(r.proc.ApplyDiffs(), drApplied);
  EXPECT_EQ(r.dir.Read("NODELIST.137"), week2);
  EXPECT_EQ(r.dir.Read("NODELIST.Old"), week1);
  for (const char* gone :
       {"NODELIST.123", "NODELIST.130", "NODEDIFF.130", "NODEDIFF.137", "NODELIST.New"})
    EXPECT_FALSE(r.Exists(gone)) << gone;
  const std::vector<std::string> want = {
      "Start Diff", "\"NODELIST.123\" + \"NODEDIFF.130\" = \"NODELIST.130\"",
      "\"NODELIST.130\" + \"NODEDIFF.137\" = \"NODELIST.137\"", "Diff finished"};
  EXPECT_EQ(r.log, want);

  // The compiled set holds week 2.
  TNodelistLookup lookup;
  r.proc.Lookup = &lookup;
  lookup.SetPath(r.dir.Path());
  r.proc.Process();
  EXPECT_GE(lookup.FindAddress(TFidoAddr{2, 240, 102, 0}), 0);
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{2, 240, 101, 0}), -1);
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{2, 240, 5, 0}), -1);
  EXPECT_EQ(lookup.GetMisc(lookup.FindAddress(TFidoAddr{2, 240, 12, 0})),
            "49-40-112,9600,CM,XA,W2");
  EXPECT_EQ(lookup.GetNodeType(lookup.FindAddress(TFidoAddr{2, 240, 102, 0})), ntPrivateNode);
}

TEST(NodeDiff, LineEndsOfEveryKindSurvive) {
  // Lines with LF alone and a last line without any line end.
  DiffRun r;
  std::string body = ",1,A,B,C,D\n,2,A,B,C,D\r\n,3,last";
  auto list = [](int day, const std::string& b) {
    return ";A Day " + DayNumberExt(day) + " : " + std::to_string(NlCrc16(b.data(), b.size())) +
           "\n" + b + "\x1A";
  };
  const std::string oldList = list(10, body);
  const std::string newBody = ",1,A,B,C,D\n,9,new\n,2,A,B,C,D\r\n,3,last";
  const std::string newList = list(17, newBody);
  r.dir.Write("NODELIST.010", oldList);
  r.dir.Write("NODEDIFF.017", ";A Day 010 : " + std::to_string(NlCrc16(body.data(), body.size())) +
                                  "\r\n" + "D1\r\n" + "A1\r\n" +
                                  newList.substr(0, newList.find('\n') + 1) +
                                  "C1\r\nA1\r\n,9,new\nC2\r\n\x1A");
  EXPECT_EQ(r.proc.ApplyDiffs(), drApplied);
  EXPECT_EQ(r.dir.Read("NODELIST.017"), newList);
}

TEST(NodeDiff, FailuresLeaveTheListAndTheDiff) {
  const std::string week0 = MakeWeeklyList(123, WeekBody(0));
  const std::string week1 = MakeWeeklyList(130, WeekBody(1));
  const std::string goodDiff = MakeDiff(week0, week1);
  const std::string firstLine = week0.substr(0, week0.find('\n') + 1);
  std::string badNewCrc = week1;
  badNewCrc.replace(badNewCrc.find("System_7"), 8, "System_X");  // the body no longer fits its CRC
  std::string corruptList = week0;
  corruptList.replace(corruptList.find("System_9"), 8, "System_Y");
  struct Case {
    const char* name;
    std::string list, diff;
    std::string logLine;  // with {list}, {diff}, {new} for the quoted full paths
  } cases[] = {
      {"bad CRC of the old list", corruptList, goodDiff, "CRC Error in {list}!"},
      {"first lines differ", week0, ";A Another list : 1\r\nC5\r\n\x1A",
       "Diffile {diff} does not match for list {list} !"},
      {"new list has a wrong CRC", week0, MakeDiff(week0, badNewCrc),
       "New \"NODELIST.130\" would have a CRC-Error!"},
      {"copy past the end", week0, firstLine + "C999\r\n\x1A", "Structure error in file {diff} !"},
      {"delete past the end", week0, firstLine + "D999\r\nA1\r\nx\r\n\x1A",
       "Structure error in file {diff} !"},
      {"add past the end of the diff", week0, firstLine + "A5\r\n,1,x\r\n\x1A",
       "Structure error in file {diff} !"},
      {"count is no number", week0, firstLine + "Cabc\r\n\x1A", "Structure error in file {diff} !"},
      {"count is missing", week0, firstLine + "A\r\n\x1A", "Structure error in file {diff} !"},
      {"negative count", week0, firstLine + "C-1\r\n\x1A", "Structure error in file {diff} !"},
      {"huge count", week0, firstLine + "C99999999999\r\n\x1A", "Structure error in file {diff} !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DiffRun r;
    r.dir.Write("NODELIST.123", c.list);
    r.dir.Write("NODEDIFF.130", c.diff);
    EXPECT_EQ(r.proc.ApplyDiffs(), drFailed);
    std::string want = c.logLine;
    for (auto [key, value] : {std::pair<std::string, std::string>{"{list}", r.Q("NODELIST.123")},
                              {"{diff}", r.Q("NODEDIFF.130")}}) {
      const size_t p = want.find(key);
      if (p != std::string::npos) want.replace(p, key.size(), value);
    }
    EXPECT_TRUE(r.Logged(want)) << want;
    EXPECT_EQ(r.dir.Read("NODELIST.123"), c.list);
    EXPECT_EQ(r.dir.Read("NODEDIFF.130"), c.diff);
    EXPECT_FALSE(r.Exists("NODELIST.130"));
    EXPECT_FALSE(r.Exists("NODELIST.Old"));
    EXPECT_FALSE(r.Exists("NODELIST.New")) << "a failed diff leaves no new list behind";
  }
}

TEST(NodeDiff, DayNumbersWrapAtTheEndOfTheYear) {
  struct Case {
    int year;
    const char* diff;
    const char* next;
  } cases[] = {
      {2025, "NODEDIFF.003", "NODELIST.003"},  // 2024 had 366 days
      {2026, "NODEDIFF.004", "NODELIST.004"},  // 2025 had 365
  };
  for (const auto& c : cases) {
    DiffRun r;
    r.year = c.year;
    const int nextDay = c.year == 2025 ? 3 : 4;
    const std::string oldList = MakeWeeklyList(362, WeekBody(0));
    const std::string newList = MakeWeeklyList(nextDay, WeekBody(1));
    r.dir.Write("NODELIST.362", oldList);
    // The diff of the other year's length is not taken.
    r.dir.Write(c.year == 2025 ? "NODEDIFF.004" : "NODEDIFF.003", MakeDiff(oldList, newList));
    r.dir.Write(c.diff, MakeDiff(oldList, newList));
    EXPECT_EQ(r.proc.ApplyDiffs(), drApplied) << c.year;
    EXPECT_EQ(r.dir.Read(c.next), newList);
    EXPECT_EQ(r.proc.FindNewestList("NODELIST"), nextDay);
    EXPECT_FALSE(r.Exists(c.diff));
  }
}

TEST(NodeDiff, ResultsAndFolding) {
  {  // no diff at all
    DiffRun r;
    r.dir.Write("NODELIST.123", MakeWeeklyList(123, WeekBody(0)));
    EXPECT_EQ(r.proc.ApplyDiffs(), drNothing);
  }
  {  // extension 000 counts as no list
    DiffRun r;
    const std::string l = MakeWeeklyList(0, WeekBody(0));
    r.dir.Write("NODELIST.000", l);
    r.dir.Write("NODEDIFF.007", MakeDiff(l, MakeWeeklyList(7, WeekBody(1))));
    EXPECT_EQ(r.proc.ApplyDiff("NODELIST", "NODEDIFF"), drNothing);
  }
  {  // one list applied, another failing: mixed
    DiffRun r;
    r.proc.PointLists.push_back({"R24", "POINTS24", "PR24DIFF", 2});
    const std::string w0 = MakeWeeklyList(123, WeekBody(0)), w1 = MakeWeeklyList(130, WeekBody(1));
    r.dir.Write("NODELIST.123", w0);
    r.dir.Write("NODEDIFF.130", MakeDiff(w0, w1));
    r.dir.Write("POINTS24.123", w0);
    r.dir.Write("PR24DIFF.130", ";A wrong first line\r\n\x1A");
    EXPECT_EQ(r.proc.ApplyDiffs(), drPartly);
    EXPECT_EQ(r.dir.Read("NODELIST.130"), w1);
    EXPECT_EQ(r.dir.Read("POINTS24.123"), w0);
  }
  {  // the second week fails: 2 for the list, the first week stays applied
    DiffRun r;
    const std::string w0 = MakeWeeklyList(123, WeekBody(0)), w1 = MakeWeeklyList(130, WeekBody(1));
    r.dir.Write("NODELIST.123", w0);
    r.dir.Write("NODEDIFF.130", MakeDiff(w0, w1));
    r.dir.Write("NODEDIFF.137", ";A not this list\r\n\x1A");
    EXPECT_EQ(r.proc.ApplyDiff("NODELIST", "NODEDIFF"), drPartly);
    EXPECT_EQ(r.dir.Read("NODELIST.130"), w1);
    EXPECT_TRUE(r.Exists("NODEDIFF.137"));
  }
  {  // all lists with a diff fail
    DiffRun r;
    r.dir.Write("NODELIST.123", MakeWeeklyList(123, WeekBody(0)));
    r.dir.Write("NODEDIFF.130", "garbage");
    EXPECT_EQ(r.proc.ApplyDiffs(), drFailed);
  }
}

TEST(NodeDiff, FailedRenamePutsTheOldListBack) {
  DiffRun r;
  const std::string w0 = MakeWeeklyList(123, WeekBody(0)), w1 = MakeWeeklyList(130, WeekBody(1));
  r.dir.Write("NODELIST.123", w0);
  r.dir.Write("NODEDIFF.130", MakeDiff(w0, w1));
  // A directory of that name, not empty, cannot be replaced by the new list.
  r.dir.Write("NODELIST.130/blocker", "x");
  EXPECT_EQ(r.proc.ApplyDiffs(), drFailed);
  EXPECT_TRUE(r.Logged("File " + r.Q("NODELIST.New") + " could not be renamed to " +
                       r.Q("NODELIST.130") + " !"));
  EXPECT_EQ(r.dir.Read("NODELIST.123"), w0);
  EXPECT_FALSE(r.Exists("NODELIST.Old"));
  EXPECT_TRUE(r.Exists("NODEDIFF.130"));
  EXPECT_FALSE(r.Exists("NODELIST.New"));
  EXPECT_EQ(r.proc.FindNewestList("NODELIST"), 123);
}

TEST(NodeDiff, NamesMatchWithoutCase) {
  DiffRun r;
  r.proc.NodeLists[0] = {"FidoNet", "nodelist", "nodediff", 2};
  const std::string w0 = MakeWeeklyList(123, WeekBody(0)), w1 = MakeWeeklyList(130, WeekBody(1));
  r.dir.Write("NODELIST.123", w0);
  r.dir.Write("NodeDiff.130", MakeDiff(w0, w1));
  EXPECT_EQ(r.proc.ApplyDiffs(), drApplied);
  EXPECT_EQ(r.dir.Read("NODELIST.130"), w1);
  EXPECT_EQ(r.dir.Read("NODELIST.Old"), w0);
}

}  // namespace
}  // namespace velmaris::test
