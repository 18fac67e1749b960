#include <gtest/gtest.h>

#include "nodelist/NodelistLookup.h"
#include "support/NodelistIndexSet.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// Two records by hand: 1:1/1 "Alpha" and 2:5020/1.5 "Beta".
void WriteTwoRecordSet(const TempDir& dir, const std::string& sub) {
  dir.Write(sub + "Addresses.Index", IndexRecord({1, 1, 1, 0}, 0, 4, 0, 9, ntNode) +
                                         IndexRecord({2, 5020, 1, 5}, 6, 0, 7, 0, ntPoint));
  dir.Write(sub + "Names.Data", "Alpha\rBeta\r");
  dir.Write(sub + "Names.Index", IndexOffsets({0, 6}));
  dir.Write(sub + "Sysops.Data", "Ann\rBob\r");
  dir.Write(sub + "Sysops.Index", IndexOffsets({0, 4}));
  dir.Write(sub + "Cities.Data", "Berlin\rMoscow\r");
  dir.Write(sub + "Cities.Index", IndexOffsets({0, 7}));
  dir.Write(sub + "Misc.Data", "7-1,300\r49-1,9600\r");
  dir.Write(sub + "Misc.Index", IndexOffsets({0, 9}));
}

TEST(NodelistLookup, MissingSetAnswersUnlisted) {
  TempDir dir;
  TNodelistLookup lookup;
  lookup.SetPath(dir / "nothing-here");
  EXPECT_EQ(lookup.Count(), 0);
  EXPECT_FALSE(lookup.IsOpen());
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{2, 5020, 1, 0}), -1);
  EXPECT_EQ(lookup.GetSystemName(-1), "Unlisted!");
  EXPECT_EQ(lookup.GetNodeType(-1), ntUnlisted);
  EXPECT_EQ(lookup.GetSysop(-1), "");
  EXPECT_EQ(lookup.GetCity(-1), "");
  EXPECT_EQ(lookup.GetMisc(-1), "");
  EXPECT_EQ(lookup.GetNameOffset(-1), 127u);
  TFidoAddr a{9, 9, 9, 9};
  lookup.GetAddress(-1, a);
  EXPECT_TRUE(SameFidoAddress(a, TFidoAddr{9, 9, 9, 9}));
  EXPECT_EQ(lookup.FindNameInOrder("x"), -1);
}

TEST(NodelistLookup, HandMadeSetOpensAndAnswers) {
  TempDir dir;
  WriteTwoRecordSet(dir, "set/");
  TNodelistLookup lookup;
  lookup.SetPath(dir / "set");
  ASSERT_EQ(lookup.Count(), 2);
  EXPECT_EQ(lookup.GetPath(), dir / "set/");
  const int n = lookup.FindAddress(TFidoAddr{2, 5020, 1, 5});
  EXPECT_EQ(n, 1);
  EXPECT_EQ(lookup.GetSystemName(n), "Beta");
  EXPECT_EQ(lookup.GetSysop(n), "Ann");
  EXPECT_EQ(lookup.GetCity(n), "Moscow");
  EXPECT_EQ(lookup.GetMisc(n), "7-1,300");
  EXPECT_EQ(lookup.GetNodeType(n), ntPoint);
  TFidonetAddress text;
  lookup.GetAddressText(n, text);
  EXPECT_EQ(text.Text4D(), "2:5020/1.5");
  lookup.GetAddressText(-1, text);
  EXPECT_EQ(text.Text4D(), "2:5020/1.5");
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{1, 1, 1, 0}), 0);
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{2, 5020, 1, 0}), -1);
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{0, 0, 0, 0}), -1);
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{65535, 65535, 65535, 65535}), -1);
  EXPECT_EQ(lookup.GetSystemName(2), "");  // past the end: no record
  EXPECT_EQ(lookup.GetNameCount(), 2);
  EXPECT_EQ(lookup.GetNameInOrder(1), "Beta");
  EXPECT_EQ(lookup.GetSysopInOrder(0), "Ann");
  EXPECT_EQ(lookup.GetCityIndexEntry(1), 7u);
  EXPECT_EQ(lookup.FindCityInOrder("Moscow"), 1);
  EXPECT_EQ(lookup.FindRecordsByName("Alpha"), std::vector<int>{0});
  EXPECT_EQ(lookup.FindRecordsBySysop("Ann"), std::vector<int>{1});
  EXPECT_TRUE(lookup.FindRecordsByCity("Paris").empty());
}

TEST(NodelistLookup, IndexSizesMustAgree) {
  struct Case {
    const char* file;
    std::string bytes;
    bool opens;
  } cases[] = {
      {"Names.Index", IndexOffsets({0, 6}), true},
      {"Names.Index", IndexOffsets({0, 6, 0}), false},
      {"Misc.Index", IndexOffsets({0}), false},
      {"Addresses.Index", std::string(96, '\0'), false},
      {"Cities.Data", "", true},  // .Data sizes are not checked
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteTwoRecordSet(dir, "");
    dir.Write(c.file, c.bytes);
    TNodelistLookup lookup;
    lookup.SetPath(dir.Path());
    EXPECT_EQ(lookup.Count(), c.opens ? 2 : 0) << c.file;
  }
  TempDir dir;
  WriteTwoRecordSet(dir, "");
  std::remove((dir / "Misc.Data").c_str());
  TNodelistLookup lookup;
  lookup.SetPath(dir.Path());
  EXPECT_EQ(lookup.Count(), 0);
}

TEST(NodelistLookup, SetPathReopensOnlyForAnotherDirectory) {
  TempDir dir;
  WriteTwoRecordSet(dir, "set/");
  TNodelistLookup lookup;
  lookup.SetPath(dir / "set");
  ASSERT_EQ(lookup.Count(), 2);
  // A set of one record now lies there; the same directory does not reopen.
  dir.Write("set/Addresses.Index", IndexRecord({1, 1, 1, 0}, 0, 0, 0, 0, ntNode));
  for (const char* name : {"Names", "Sysops", "Cities", "Misc"})
    dir.Write(std::string("set/") + name + ".Index", IndexOffsets({0}));
  lookup.SetPath(dir / "set/");
  EXPECT_EQ(lookup.Count(), 2);
  lookup.SetPath(dir / "set");
  EXPECT_EQ(lookup.Count(), 2);
  // A change of letter case names another directory.
  lookup.SetPath(dir / "SET");
  EXPECT_EQ(lookup.Count(), 0);
  lookup.SetPath(dir / "set");
  EXPECT_EQ(lookup.Count(), 1);
}

TEST(NodelistLookup, LockDefersOpenAndRefusesClose) {
  TempDir dir;
  WriteTwoRecordSet(dir, "");
  TNodelistLookup lookup;
  lookup.Lock();
  lookup.SetPath(dir.Path());
  EXPECT_EQ(lookup.Count(), 0);
  EXPECT_TRUE(lookup.PendingReopen());
  lookup.Lock();
  lookup.Unlock();  // still locked once
  EXPECT_EQ(lookup.Count(), 0);
  lookup.Unlock();
  EXPECT_EQ(lookup.Count(), 2);
  EXPECT_FALSE(lookup.PendingReopen());
  lookup.Lock();
  EXPECT_FALSE(lookup.Close());
  EXPECT_EQ(lookup.Count(), 2);
  lookup.Unlock();
  EXPECT_TRUE(lookup.Close());
  EXPECT_EQ(lookup.Count(), 0);
  EXPECT_TRUE(lookup.Close());  // closed already
}

TEST(NodelistLookup, LongTextsReadWhole) {
  TempDir dir;
  WriteTwoRecordSet(dir, "");
  const std::string longName(300, 'N');
  const std::string hugeName(kMaxDataText + 5000, 'H');
  dir.Write("Names.Data", longName + "\r" + hugeName + "\r");
  dir.Write("Names.Index", IndexOffsets({0, 301}));
  dir.Write("Addresses.Index", IndexRecord({1, 1, 1, 0}, 0, 4, 0, 9, ntNode) +
                                   IndexRecord({2, 5020, 1, 5}, 301, 0, 7, 0, ntPoint));
  TNodelistLookup lookup;
  lookup.SetPath(dir.Path());
  ASSERT_EQ(lookup.Count(), 2);
  EXPECT_EQ(lookup.GetSystemName(0), longName);
  EXPECT_EQ(lookup.GetSystemName(1), hugeName.substr(0, kMaxDataText));
  // An offset past the end of the file reads as the empty text.
  dir.Write("Sysops.Data", "");
  TNodelistLookup again;
  again.SetPath(dir.Path());
  EXPECT_EQ(again.GetSysop(0), "");
}

}  // namespace
}  // namespace velmaris::test
