#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "nodelist/NodeListProcessor.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct Compiler {
  TempDir dir;
  TNodeListProcessor proc;
  std::vector<std::string> log, status;

  Compiler() {
    proc.ListDir = dir.Path();
    proc.IndexDir = dir.Path();
    proc.OnLog = [this](const std::string& s) { log.push_back(s); };
    proc.OnStatus = [this](const std::string& s) { status.push_back(s); };
  }
  bool Logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
    s += ' ';
  }
  return s;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Three entries; every offset worked out by hand from the layout.
TEST(NodeListCompiler, SmallIndexSetGoldenBytes) {
  Compiler c;
  c.dir.Write("NODELIST.123",
              ";A test list\r\n"
              "Zone,2,Zone_Two,Europe,Zed,1-1,9600,CM\r\n"
              "Host,5020,Moscow,Moscow,Ann,7-1,9600\r\n"
              "Pvt,7,Beta,,Bob,-Unpublished-,300\r\n\x1A");
  c.proc.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 2});
  c.proc.Process();

  EXPECT_EQ(c.dir.Read("Names.Data"), "Beta\rMoscow\rZone_Two\r");
  EXPECT_EQ(Hex(c.dir.Read("Names.Index")), Hex(Bytes({0, 0, 0, 0, 5, 0, 0, 0, 12, 0, 0, 0})));
  EXPECT_EQ(c.dir.Read("Sysops.Data"), "Ann\rBob\rZed\r");
  EXPECT_EQ(Hex(c.dir.Read("Sysops.Index")), Hex(Bytes({0, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0})));
  // The empty location sorts first and is written as "<unknown>".
  EXPECT_EQ(c.dir.Read("Cities.Data"), "<unknown>\rEurope\rMoscow\r");
  EXPECT_EQ(Hex(c.dir.Read("Cities.Index")), Hex(Bytes({0, 0, 0, 0, 10, 0, 0, 0, 17, 0, 0, 0})));
  EXPECT_EQ(c.dir.Read("Misc.Data"), "-Unpublished-,300\r1-1,9600,CM\r7-1,9600\r");
  EXPECT_EQ(Hex(c.dir.Read("Misc.Index")), Hex(Bytes({0, 0, 0, 0, 18, 0, 0, 0, 30, 0, 0, 0})));
  const std::string want = Bytes({// 2:0/0 zone: name 12, sysop 8, city 10, misc 18, type 7
                                  2, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 8, 0, 0, 0, 10, 0, 0, 0, 18,
                                  0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0,
                                  // 2:5020/0 host: name 5, sysop 0, city 17, misc 30, type 5
                                  2, 0, 0x9C, 0x13, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 17, 0, 0, 0,
                                  30, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0,
                                  // 2:5020/7 private: name 0, sysop 4, city 0, misc 0, type 1
                                  2, 0, 0x9C, 0x13, 7, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Hex(c.dir.Read("Addresses.Index")), Hex(want));
  // No temporary file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(c.dir.Path()))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  const std::vector<std::string> wantLog = {"Starting processing",
                                            "3 entries from NODELIST.123 read",
                                            "0 duplicate entries deleted",
                                            "System names saved",
                                            "Saving sysop names finished.",
                                            "Saving locations finished.",
                                            "Saving link information finished",
                                            "Main index saved",
                                            "Done"};
  EXPECT_EQ(c.log, wantLog);
}

struct Expected {
  TFidoAddr addr;
  int32_t type;
  const char* name;
  const char* sysop;
  const char* city;
  const char* misc;
};

const char* kMultiZoneList =
    ";S Generated list for the tests\r\n"
    ";A Friday -- Day number 130 : 00000\r\n"
    ",1,Before_Zone,Nowhere,Early_Bird,-Unpublished-,300,MO\r\n"
    "Zone,1,North_America,USA,Zone_One_Coord,1-800-1,9600,CM\r\n"
    "Region,10,Calif,LA,Reg_Coord,1-213-1,9600,CM\r\n"
    "Host,102,Net_102,LA,Host_102,1-213-2,9600,CM\r\n"
    "Hub,100,Hub_100,LA,Hub_Sysop,1-213-3,9600,CM\r\n"
    ",101,Plain,LA,Plain_Sysop,1-213-4,9600,CM\r\n"
    "Pvt,102,Private,LA,Pvt_Sysop,-Unpublished-,300\r\n"
    "Down,103,Down_Sys,LA,Down_Sysop,1-213-5,9600\r\n"
    "Hold,104,Held,LA,Hold_Sysop,1-213-6,9600\r\n"
    ";\r\n"
    "Zone,2,Europe,Europe,Zone_Two_Coord,49-1,9600,CM\r\n"
    "Region,24,Germany,Berlin,R24_Coord,49-30-1,9600\r\n"
    "Host,240,Net_240,Hamburg,Host_240,49-40-1,9600\r\n"
    ",1000,Boss_System,Hamburg,Boss_Sysop,49-40-2,33600,CM,XA\r\n"
    "Host,5020,Moscow,Moscow,Host_5020,7-095-1,9600\r\n"
    ",1,Sys_One,Moscow,John_Doe,7-095-2,33600\r\n"
    "Xyz,9,Unknown_Kind,Nowhere,Nobody,1-1,300\r\n"
    ",2,No_Sysop,Moscow,,7-095-3\r\n"
    "\x1A";

// Boss style.
const char* kBossPoints =
    ";A Points of region 24\r\n"
    "Boss,2:240/1000\r\n"
    ",1,Point_One,Hamburg,Pnt_Sysop,-Unpublished-,300\r\n"
    "Point,2,Point_Two,Hamburg,Pnt_Two,-Unpublished-,300\r\n"
    "Pvt,3,Point_Three,Hamburg,Pnt_Three,-Unpublished-,300\r\n"
    "Down,4,Point_Four,Hamburg,Pnt_Four,-Unpublished-,300\r\n"
    "Hold,5,Point_Five,Hamburg,Pnt_Five,-Unpublished-,300\r\n"
    "Boss,2:5020/1\r\n"
    ",7,Moscow_Point,Moscow,Pnt_Moscow,-Unpublished-,300\r\n"
    "Boss,not-an-address\r\n"
    ",8,Moscow_Point_8,Moscow,Pnt_Eight,-Unpublished-,300\r\n"
    "\x1A";

// Nodelist style: bosses named by "Host" lines, zone from the configuration.
const char* kHostPoints =
    ";A Points of net 5020\r\n"
    "Host,0,5020/2,Moscow,Boss_Two,7-095-9\r\n"
    ",1,Host_Style_Point,Moscow,Hs_Sysop,-Unpublished-,300\r\n"
    "Region,50,Region_50,Moscow,R50,7-1\r\n"
    "Host,0,No_Slash_Here,Moscow,X,7-1\r\n"
    ",2,Host_Style_Two,Moscow,Hs_Two,-Unpublished-,300\r\n"
    "Zone,3,Zone_Three,Asia,Z3_Coord,8-1\r\n"
    ",4,Zone_Three_Point,Asia,Z3_Point,-Unpublished-\r\n"
    "\x1A";

const Expected kExpected[] = {
    {{2, 0, 1, 0}, ntNode, "Before_Zone", "Early_Bird", "Nowhere", "-Unpublished-,300,MO"},
    {{1, 0, 0, 0}, ntZone, "North_America", "Zone_One_Coord", "USA", "1-800-1,9600,CM"},
    {{1, 10, 0, 0}, ntRegion, "Calif", "Reg_Coord", "LA", "1-213-1,9600,CM"},
    {{1, 102, 0, 0}, ntHost, "Net_102", "Host_102", "LA", "1-213-2,9600,CM"},
    {{1, 102, 100, 0}, ntHub, "Hub_100", "Hub_Sysop", "LA", "1-213-3,9600,CM"},
    {{1, 102, 101, 0}, ntNode, "Plain", "Plain_Sysop", "LA", "1-213-4,9600,CM"},
    {{1, 102, 102, 0}, ntPrivateNode, "Private", "Pvt_Sysop", "LA", "-Unpublished-,300"},
    {{1, 102, 103, 0}, ntNodeDown, "Down_Sys", "Down_Sysop", "LA", "1-213-5,9600"},
    {{1, 102, 104, 0}, ntNodeHold, "Held", "Hold_Sysop", "LA", "1-213-6,9600"},
    {{2, 0, 0, 0}, ntZone, "Europe", "Zone_Two_Coord", "Europe", "49-1,9600,CM"},
    {{2, 24, 0, 0}, ntRegion, "Germany", "R24_Coord", "Berlin", "49-30-1,9600"},
    {{2, 240, 0, 0}, ntHost, "Net_240", "Host_240", "Hamburg", "49-40-1,9600"},
    {{2, 240, 1000, 0}, ntNode, "Boss_System", "Boss_Sysop", "Hamburg", "49-40-2,33600,CM,XA"},
    {{2, 5020, 0, 0}, ntHost, "Moscow", "Host_5020", "Moscow", "7-095-1,9600"},
    {{2, 5020, 1, 0}, ntNode, "Sys_One", "John_Doe", "Moscow", "7-095-2,33600"},
    {{2, 5020, 2, 0}, ntNode, "No_Sysop", "<unknown>", "Moscow", "7-095-3"},
    {{2, 240, 1000, 1}, ntPoint, "Point_One", "Pnt_Sysop", "Hamburg", "-Unpublished-,300"},
    {{2, 240, 1000, 2}, ntPrivatePoint, "Point_Two", "Pnt_Two", "Hamburg", "-Unpublished-,300"},
    {{2, 240, 1000, 3}, ntPrivatePoint, "Point_Three", "Pnt_Three", "Hamburg", "-Unpublished-,300"},
    {{2, 240, 1000, 4}, ntPointDown, "Point_Four", "Pnt_Four", "Hamburg", "-Unpublished-,300"},
    {{2, 240, 1000, 5}, ntPointHold, "Point_Five", "Pnt_Five", "Hamburg", "-Unpublished-,300"},
    {{2, 5020, 1, 7}, ntPoint, "Moscow_Point", "Pnt_Moscow", "Moscow", "-Unpublished-,300"},
    // a malformed Boss line leaves the boss as it was
    {{2, 5020, 1, 8}, ntPoint, "Moscow_Point_8", "Pnt_Eight", "Moscow", "-Unpublished-,300"},
    {{2, 5020, 2, 1}, ntPoint, "Host_Style_Point", "Hs_Sysop", "Moscow", "-Unpublished-,300"},
    {{2, 5020, 2, 2}, ntPoint, "Host_Style_Two", "Hs_Two", "Moscow", "-Unpublished-,300"},
    {{3, 0, 0, 0}, ntZone, "Zone_Three", "Z3_Coord", "Asia", "8-1"},
    {{3, 0, 0, 4}, ntPoint, "Zone_Three_Point", "Z3_Point", "Asia", "-Unpublished-"},
};

TEST(NodeListCompiler, MultiZoneListsAndBothPointlistStyles) {
  Compiler c;
  c.dir.Write("NODELIST.130", kMultiZoneList);
  c.dir.Write("POINTS24.130", kBossPoints);
  c.dir.Write("pnt5020.130", kHostPoints);
  TNodelistLookup lookup;
  c.proc.Lookup = &lookup;
  lookup.SetPath(c.dir.Path());
  c.proc.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 2});
  c.proc.PointLists.push_back({"R24", "POINTS24", "PR24DIFF", 2});
  c.proc.PointLists.push_back({"N5020", "PNT5020", "PNTDIFF", 2});
  c.proc.Process();
  EXPECT_EQ(lookup.LockCount(), 0);
  ASSERT_EQ(lookup.Count(), static_cast<int>(std::size(kExpected)));
  EXPECT_TRUE(c.Logged("16 entries from NODELIST.130 read"));
  EXPECT_TRUE(c.Logged("7 entries from POINTS24.130 read"));
  EXPECT_TRUE(c.Logged("4 entries from PNT5020.130 read"));

  for (const auto& e : kExpected) {
    SCOPED_TRACE(FidoAddressToStr(e.addr));
    const int n = lookup.FindAddress(e.addr);
    ASSERT_GE(n, 0);
    TFidoAddr back;
    lookup.GetAddress(n, back);
    EXPECT_TRUE(SameFidoAddress(back, e.addr));
    EXPECT_EQ(lookup.GetNodeType(n), e.type);
    EXPECT_EQ(lookup.GetSystemName(n), e.name);
    EXPECT_EQ(lookup.GetSysop(n), e.sysop);
    EXPECT_EQ(lookup.GetCity(n), e.city);
    EXPECT_EQ(lookup.GetMisc(n), e.misc);
    // Found again by each text.
    for (auto [records, text] :
         {std::pair{lookup.FindRecordsByName(e.name), e.name},
          std::pair{lookup.FindRecordsBySysop(std::string(e.sysop) == "<unknown>" ? "" : e.sysop),
                    e.sysop},
          std::pair{lookup.FindRecordsByCity(e.city), e.city}})
      EXPECT_NE(std::find(records.begin(), records.end(), n), records.end()) << text;
  }
  // Addresses ascend; the three sorted walks ascend and cover every record.
  TFidoAddr prev;
  for (int n = 0; n < lookup.Count(); ++n) {
    TFidoAddr a;
    lookup.GetAddress(n, a);
    if (n > 0) {
      EXPECT_TRUE(FidoAddressGreater(a, prev)) << n;
    }
    prev = a;
  }
  using Getter = std::string (TNodelistLookup::*)(int) const;
  for (auto [count, get] :
       {std::pair{lookup.GetNameCount(), Getter(&TNodelistLookup::GetNameInOrder)},
        std::pair{lookup.GetSysopCount(), Getter(&TNodelistLookup::GetSysopInOrder)},
        std::pair{lookup.GetCityCount(), Getter(&TNodelistLookup::GetCityInOrder)}}) {
    EXPECT_EQ(count, lookup.Count());
    for (int k = 1; k < count; ++k) {
      const std::string a = (lookup.*get)(k - 1), b = (lookup.*get)(k);
      if (a != "<unknown>") {
        EXPECT_LE(a, b) << k;
      }
    }
  }
  // Equal texts share one offset.
  const auto moscow = lookup.FindRecordsByCity("Moscow");
  EXPECT_EQ(moscow.size(), 7u);
  for (int n : moscow) EXPECT_EQ(lookup.GetCityOffset(n), lookup.GetCityOffset(moscow[0]));
  EXPECT_EQ(lookup.FindAddress(TFidoAddr{2, 5020, 9, 0}), -1);
  EXPECT_EQ(lookup.FindRecordsByName("Unknown_Kind").size(), 0u);
}

TEST(NodeListCompiler, NewestListChoice) {
  Compiler c;
  const std::string list = ",1,New,Here,Me,1-1\r\n";
  c.dir.Write("NODELIST.123", ",1,Old,Here,Me,1-1\r\n");
  c.dir.Write("NODELIST.130", list);
  c.dir.Write("NODELIST.NEW", ",2,Other,Here,Me,1-1\r\n");
  c.dir.Write("NODELIST.OLD", ",3,Other,Here,Me,1-1\r\n");
  c.dir.Write("NODELIST.12a", ",4,Other,Here,Me,1-1\r\n");
  c.dir.Write("NODELISTX.999", ",4,Other,Here,Me,1-1\r\n");
  EXPECT_EQ(c.proc.FindNewestList("NODELIST"), 130);
  EXPECT_EQ(c.proc.FindNewestList("nodelist"), 130);
  EXPECT_EQ(c.proc.FindNewestList("POINTS"), -1);
  EXPECT_EQ(c.proc.ReadNodelist("NODELIST", 2), rrRead);
  EXPECT_EQ(c.proc.EntryCount(), 1u);

  Compiler d;
  d.dir.Write("NODELIST.7", list);
  EXPECT_EQ(d.proc.ReadNodelist("NODELIST", 2), rrNotReadable);
  EXPECT_TRUE(d.Logged("Error reading file NODELIST.007 !"));
  EXPECT_EQ(d.status.back(), "Processing nodelist NODELIST.007 finished ");
  EXPECT_EQ(d.proc.ReadPointlist("POINTS", 2), rrNotFound);
  EXPECT_TRUE(d.Logged("File POINTS.* not found!"));
  EXPECT_TRUE(d.Logged("Error opening pointlist POINTS !"));

  // Lists named in Cyrillic (the names on disk are UTF-8): the status and
  // the log are made in the ANSI page. НОДЛИСТ in CP1251: CD CE C4 CB C8 D1 D2.
  Compiler e;
  const std::string ansi = "\xcd\xce\xc4\xcb\xc8\xd1\xd2";
  EXPECT_EQ(e.proc.ReadNodelist("НОДЛИСТ", 2), rrNotFound);
  EXPECT_TRUE(e.Logged("File " + ansi + ".* not found!"));
  EXPECT_TRUE(e.Logged("Error opening nodelist " + ansi + " !"));
  EXPECT_EQ(e.status.front(), "Starting processing of " + ansi);
  e.dir.Write("НОДЛИСТ.123", ",1,Good,L,S,1\r\n,oops\r\n");
  EXPECT_EQ(e.proc.ReadNodelist("НОДЛИСТ", 2), rrStructureError);
  EXPECT_TRUE(e.Logged("Line 2 of " + ansi + ".123 is damaged and has been left out."));
  EXPECT_TRUE(e.Logged("1 entries from " + ansi + ".123 read"));
  EXPECT_EQ(e.status.back(), "Processing nodelist " + ansi + ".123 finished ");
}

TEST(NodeListCompiler, LineRules) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string text;
    int zone;
    int result;
    std::vector<std::pair<TFidoAddr, std::string>> entries;  // address and link information
  } cases[] = {
      {"host then node",
       "Host,100,N,L,S,1-1\r\n,5,Five,Loc,Sys,7-1,9600,CM\r\n",
       2,
       rrRead,
       {{{2, 100, 0, 0}, "1-1"}, {{2, 100, 5, 0}, "7-1,9600,CM"}}},
      {"zone and region",
       "Zone,2,Z,L,S,1\r\nRegion,24,R,L,S,2\r\n",
       1,
       rrRead,
       {{{2, 0, 0, 0}, "1"}, {{2, 24, 0, 0}, "2"}}},
      {"LF alone keeps the last character",
       "Host,100,N,L,S,1-1,CM\n,5,F,L,S,7-1,XA\n",
       2,
       rrRead,
       {{{2, 100, 0, 0}, "1-1,CM"}, {{2, 100, 5, 0}, "7-1,XA"}}},
      {"last line without line end", ",5,F,L,S,7-1,XA", 2, rrRead, {{{2, 0, 5, 0}, "7-1,XA"}}},
      {"unknown keyword adds nothing", "Foo,5,F,L,S,1\r\nfoo,99999,F,L,S,1\r\n", 2, rrRead, {}},
      {"keywords compare with case", "host,5,F,L,S,1\r\n", 2, rrRead, {}},
      // A damaged line is left out alone; after one that may set the net or
      // zone, so are the entries up to the next line that sets them.
      {"number is no number",
       ",5,F,L,S,1\r\n,x5,F,L,S,1\r\n,6,G,L,S,2\r\n",
       2,
       rrStructureError,
       {{{2, 0, 5, 0}, "1"}, {{2, 0, 6, 0}, "2"}}},
      {"empty number", ",,F,L,S,1\r\n", 2, rrStructureError, {}},
      {"node above 65535", ",65536,F,L,S,1\r\n", 2, rrStructureError, {}},
      {"net above 65535",
       "Host,70000,F,L,S,1\r\n,5,F,L,S,1\r\nHost,7,H,L,S,2\r\n,6,G,L,S,3\r\n",
       2,
       rrStructureError,
       {{{2, 7, 0, 0}, "2"}, {{2, 7, 6, 0}, "3"}}},
      {"damaged zone line",
       "Zone,x,Z,L,S,1\r\nHost,7,H,L,S,2\r\n,5,F,L,S,3\r\nZone,3,Z,L,S,4\r\n",
       2,
       rrStructureError,
       {{{3, 0, 0, 0}, "4"}}},
      {"unknown keyword with a damaged number",
       "Hxst,x,H,L,S,1\r\n,5,F,L,S,2\r\n",
       2,
       rrStructureError,
       {}},
      {"negative node", ",-1,F,L,S,1\r\n", 2, rrStructureError, {}},
      {"0 byte in a node line",
       ",5,F,L,S,1\r\n,6,G\0,L,S,2\r\n,7,H,L,S,3\r\n"s,
       2,
       rrStructureError,
       {{{2, 0, 5, 0}, "1"}, {{2, 0, 7, 0}, "3"}}},
      {"0 byte in a host line",
       "Host,7,H,L,S,1\r\nH\0st,8,H,L,S,2\r\n,6,G,L,S,3\r\n"s,
       2,
       rrStructureError,
       {{{2, 7, 0, 0}, "1"}}},
      {"end of a DOS text", ",5,F,L,S,1\r\n\x1A\r\n,x,junk\r\n", 2, rrRead, {{{2, 0, 5, 0}, "1"}}},
      {"highest numbers",
       "Zone,65535,Z,L,S,1\r\nHost,65535,H,L,S,1\r\n,65535,N,L,S,1\r\n",
       2,
       rrRead,
       {{{65535, 0, 0, 0}, "1"}, {{65535, 65535, 0, 0}, "1"}, {{65535, 65535, 65535, 0}, "1"}}},
      {"comments and empty lines",
       ";S x,y\r\n\r\n;\r\n,5,F,L,S,1\r\n",
       2,
       rrRead,
       {{{2, 0, 5, 0}, "1"}}},
      {"short line", ",5\r\n", 2, rrRead, {{{2, 0, 5, 0}, ""}}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    Compiler c;
    c.dir.Write("NODELIST.001", tc.text + "\x1A");
    c.proc.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", tc.zone});
    EXPECT_EQ(c.proc.Process().DamagedLists, tc.result == rrStructureError ? 1 : 0);
    EXPECT_EQ(c.Logged("Structure error in NODELIST.001 !"), tc.result == rrStructureError);
    TNodelistLookup lookup;
    lookup.SetPath(c.dir.Path());
    ASSERT_TRUE(lookup.IsOpen());
    ASSERT_EQ(lookup.Count(), static_cast<int>(tc.entries.size()));
    for (const auto& [addr, misc] : tc.entries) {
      const int n = lookup.FindAddress(addr);
      ASSERT_GE(n, 0) << FidoAddressToStr(addr);
      EXPECT_EQ(lookup.GetMisc(n), misc.empty() ? "<unknown>" : misc);
    }
  }
}

TEST(NodeListCompiler, PointlistRangeErrors) {
  for (const char* text :
       {"Boss,2:99999/1\r\n,1,P,L,S,1\r\n", "Boss,2:5020/1\r\n,70000,P,L,S,1\r\n",
        "Host,0,5020/65536,L,S,1\r\n,1,P,L,S,1\r\n", "Boss,2:5020/1\r\n,x,P,L,S,1\r\n"}) {
    Compiler c;
    c.dir.Write("POINTS.001", text);
    EXPECT_EQ(c.proc.ReadPointlist("POINTS", 2), rrStructureError) << text;
    EXPECT_EQ(c.proc.EntryCount(), 0u);
    EXPECT_TRUE(c.Logged("Structure error in POINTS.001 !"));
  }
}

TEST(NodeListCompiler, DamagedLinesAreNamedAndOnlyThemLeftOut) {
  Compiler c;
  c.dir.Write("NODELIST.001", ",1,Good,L,S,1\r\n");
  std::string broken = ",2,Kept,L,S,1\r\n,oops,X,L,S,1\r\n";
  for (int i = 0; i < 12; ++i) broken += ",bad\r\n";
  c.dir.Write("BROKEN.001", broken + "Host,9,H,L,S,1\r\nHost,x\r\n,3,Unknown_Net,L,S,1\r\n");
  c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
  c.proc.NodeLists.push_back({"B", "BROKEN", "BROKENDF", 2});
  c.proc.NodeLists.push_back({"C", "MISSING", "MISSINGD", 2});
  const TCompileResult r = c.proc.Process();
  EXPECT_TRUE(r.Written);
  EXPECT_EQ(r.DamagedLists, 1);
  for (const char* line : {"Line 2 of BROKEN.001 is damaged and has been left out.",
                           "Line 11 of BROKEN.001 is damaged and has been left out.",
                           "4 more damaged lines of BROKEN.001 have been left out.",
                           "1 entries of BROKEN.001 have been left out: a damaged line before them "
                           "leaves their zone or net unknown.",
                           "Structure error in BROKEN.001 !", "2 entries from BROKEN.001 read",
                           "File MISSING.* not found!"})
    EXPECT_TRUE(c.Logged(line)) << line;
  EXPECT_FALSE(c.Logged("Line 12 of BROKEN.001 is damaged and has been left out."));
  TNodelistLookup lookup;
  lookup.SetPath(c.dir.Path());
  ASSERT_EQ(lookup.Count(), 3);
  EXPECT_EQ(lookup.GetSystemName(lookup.FindAddress({2, 0, 1, 0})), "Good");
  EXPECT_EQ(lookup.GetSystemName(lookup.FindAddress({2, 0, 2, 0})), "Kept");
  EXPECT_EQ(lookup.GetSystemName(lookup.FindAddress({2, 9, 0, 0})), "H");
}

TEST(NodeListCompiler, NoListStillWritesAnEmptySet) {
  Compiler c;
  c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
  c.proc.Process();
  TNodelistLookup lookup;
  lookup.SetPath(c.dir.Path());
  EXPECT_TRUE(lookup.IsOpen());
  EXPECT_EQ(lookup.Count(), 0);
  EXPECT_EQ(c.dir.Read("Addresses.Index"), "");
}

TEST(NodeListCompiler, DuplicatesAndSharedTexts) {
  Compiler c;
  std::string list = "Host,240,Net,L,S,1\r\n";
  for (int i = 1; i <= 10; ++i)
    list += "," + std::to_string(i) + ",Same_Name,L,S,-Unpublished-\r\n";
  c.dir.Write("NODELIST.001", list);
  c.dir.Write("OTHER.001", "Zone,2,Z,L,S,1\r\nHost,240,Twice,L,S,1\r\n");
  c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
  c.proc.NodeLists.push_back({"B", "OTHER", "OTHERD", 2});
  c.proc.Process();
  EXPECT_TRUE(c.Logged("1 duplicate entries deleted"));
  // "Same_Name" once; "-Unpublished-" once per record.
  const std::string names = c.dir.Read("Names.Data");
  EXPECT_EQ(names.find("Same_Name\r"), names.rfind("Same_Name\r"));
  const std::string misc = c.dir.Read("Misc.Data");
  size_t count = 0;
  for (size_t p = misc.find("-Unpublished-\r"); p != std::string::npos;
       p = misc.find("-Unpublished-\r", p + 1))
    ++count;
  EXPECT_EQ(count, 10u);
  TNodelistLookup lookup;
  lookup.SetPath(c.dir.Path());
  ASSERT_EQ(lookup.Count(), 12);
  const std::string namesIndex = c.dir.Read("Names.Index");
  std::vector<uint32_t> values;
  for (size_t i = 0; i < namesIndex.size(); i += 4)
    values.push_back(GetLE32(reinterpret_cast<const uint8_t*>(namesIndex.data() + i)));
  const uint32_t same = lookup.GetNameOffset(lookup.FindAddress(TFidoAddr{2, 240, 1, 0}));
  EXPECT_EQ(std::count(values.begin(), values.end(), same), 10);
  EXPECT_EQ(lookup.FindRecordsByName("Same_Name").size(), 10u);
}

TEST(NodeListCompiler, OfEqualAddressesTheOneReadLastIsKept) {
  // The address sort does not keep the read order of equal keys; the later
  // list must win whatever order the sort leaves them in.
  struct Case {
    const char *first, *second;
    TFidoAddr addr;
    const char *kept, *dropped;
  } cases[] = {
      {",1,Old_Node,L,Old_Sysop,1\r\n",
       ",1,New_Node,L,New_Sysop,1\r\n",
       {2, 0, 1, 0},
       "New_Node",
       "Old_Node"},
      {"Host,240,Old_Host,L,S,1\r\n,1,A,L,S,1\r\n,2,B,L,S,1\r\n,3,C,L,S,1\r\n",
       "Host,240,New_Host,L,S,1\r\n,3,D,L,S,1\r\n",
       {2, 240, 0, 0},
       "New_Host",
       "Old_Host"},
      {"Host,240,H,L,S,1\r\n,1,A,L,S,1\r\n,5,Old_Five,L,S,1\r\n,9,B,L,S,1\r\n",
       "Host,240,H,L,S,1\r\n,5,New_Five,L,S,1\r\n,7,C,L,S,1\r\n",
       {2, 240, 5, 0},
       "New_Five",
       "Old_Five"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.kept);
    Compiler c;
    c.dir.Write("NODELIST.001", k.first);
    c.dir.Write("OTHER.001", k.second);
    c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
    c.proc.NodeLists.push_back({"B", "OTHER", "OTHERD", 2});
    c.proc.Process();
    TNodelistLookup lookup;
    lookup.SetPath(c.dir.Path());
    const int at = lookup.FindAddress(k.addr);
    ASSERT_GE(at, 0);
    EXPECT_EQ(lookup.GetSystemName(at), k.kept);
    EXPECT_EQ(lookup.FindRecordsByName(k.dropped).size(), 0u);
  }
}

TEST(NodeListCompiler, ReaderHoldingTheLockKeepsTheOldSetUntilItUnlocks) {
  Compiler c;
  c.dir.Write("NODELIST.001", ",1,First_Run,L,S,1\r\n");
  c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
  c.proc.Process();
  TNodelistLookup lookup;
  lookup.SetPath(c.dir.Path());
  ASSERT_EQ(lookup.Count(), 1);

  c.dir.Write("NODELIST.008", ",1,Second_Run,L,S,1\r\n,2,Added,L,S,1\r\n");
  lookup.Lock();  // a browser is open
  c.proc.Lookup = &lookup;
  c.proc.Process();
  // The reader goes on with the complete old set.
  EXPECT_EQ(lookup.Count(), 1);
  EXPECT_EQ(lookup.GetSystemName(0), "First_Run");
  EXPECT_TRUE(lookup.PendingReopen());
  lookup.Unlock();
  ASSERT_EQ(lookup.Count(), 2);
  EXPECT_EQ(lookup.GetSystemName(lookup.FindAddress(TFidoAddr{2, 0, 1, 0})), "Second_Run");
}

TEST(NodeListCompiler, FailedWriteKeepsTheOldSet) {
  Compiler c;
  c.dir.Write("NODELIST.001", ",1,First_Run,L,S,1\r\n");
  c.proc.NodeLists.push_back({"A", "NODELIST", "NODEDIFF", 2});
  c.proc.Process();
  const std::string oldNames = c.dir.Read("Names.Data");
  const std::string oldAddresses = c.dir.Read("Addresses.Index");
  c.dir.Write("NODELIST.008", ",1,Second_Run,L,S,1\r\n,2,Added,L,S,1\r\n");
  std::filesystem::create_directory(c.dir / "Sysops.Index.tmp");  // cannot be created as a file
  c.log.clear();
  c.proc.Process();
  // The folder (with Russian letters) is named in the ANSI page.
  EXPECT_TRUE(
      c.Logged("File " + platform::LogName(c.dir.Path()) + "SysopsCould not create .Index!"));
  EXPECT_TRUE(c.Logged("Done"));
  EXPECT_EQ(c.dir.Read("Names.Data"), oldNames);
  EXPECT_EQ(c.dir.Read("Addresses.Index"), oldAddresses);
  EXPECT_FALSE(std::filesystem::exists(c.dir / "Names.Data.tmp"));
  TNodelistLookup lookup;
  lookup.SetPath(c.dir.Path());
  ASSERT_EQ(lookup.Count(), 1);
  EXPECT_EQ(lookup.GetSystemName(0), "First_Run");
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST(NodeListCompiler, ImageInMemoryEqualsTheWrittenSet) {
  Compiler c;
  c.dir.Write("NODELIST.130", kMultiZoneList);
  c.dir.Write("POINTS24.130", kBossPoints);
  c.proc.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 2});
  c.proc.PointLists.push_back({"R24", "POINTS24", "PR24DIFF", 2});
  c.proc.Process();
  TNodeListProcessor mem;
  EXPECT_EQ(mem.ReadListText(kMultiZoneList, "NODELIST.130", 2, false), rrRead);
  EXPECT_EQ(mem.ReadListText(kBossPoints, "POINTS24.130", 2, true), rrRead);
  const auto files = mem.BuildIndexImage();
  ASSERT_EQ(files.size(), 9u);
  for (const auto& [name, bytes] : files) EXPECT_EQ(bytes, c.dir.Read(name)) << name;
}

}  // namespace
}  // namespace velmaris::test
