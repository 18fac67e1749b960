// The outbound layout, the flow-file reader and the scan that lists what a
// poll sends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "OutboundFixture.h"

namespace velmaris::test {
namespace {

// --- Names -------------------------------------------------------------------

TEST(OutboundNames, FlowBaseNameIsNetAndNodeInUpperCaseHex) {
  struct Case {
    TFidoAddr addr;
    const char* base;
  } cases[] = {
      {{2, 5020, 1042, 0}, "139C0412"},
      {{2, 5020, 1042, 7}, "139C0412"},  // points share the node's files
      {{1, 0, 0, 0}, "00000000"},
      {{3, 65535, 65534, 0}, "FFFFFFFE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlowBaseName(c.addr), c.base);
    uint16_t net = 1, node = 1;
    ASSERT_TRUE(ParseFlowBaseName(std::string(c.base) + ".flo", net, node)) << c.base;
    EXPECT_EQ(net, c.addr.Net);
    EXPECT_EQ(node, c.addr.Node);
  }
}

TEST(OutboundNames, FlowBaseNameMustBeEightHexDigits) {
  struct Case {
    const char* name;
    bool ok;
    uint16_t net, node;
  } cases[] = {
      {"139c0412.FLO", true, 5020, 1042},
      {"139C0412.req", true, 5020, 1042},
      {"139C041.flo", false, 0, 0},
      {"139C04123.flo", false, 0, 0},
      {"139G0412.flo", false, 0, 0},
      {"README.REQ", false, 0, 0},
      {".flo", false, 0, 0},
      {"139C0412", false, 0, 0},
      {"-39C0412.flo", false, 0, 0},
  };
  for (const Case& c : cases) {
    uint16_t net = 0, node = 0;
    EXPECT_EQ(ParseFlowBaseName(c.name, net, node), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(net, c.net) << c.name;
      EXPECT_EQ(node, c.node) << c.name;
    }
  }
}

TEST(OutboundNames, ZoneExtensionIsThreeHexDigits) {
  struct Case {
    const char* name;
    bool ok;
    uint16_t zone;
  } cases[] = {
      {"Outbound.003", true, 3},  {"outbound.00a", true, 10},  {"Outbound.FFF", true, 4095},
      {"Outbound.xyz", false, 0}, {"Outbound.0001", false, 0}, {"Outbound.01", false, 0},
      {"Outbound", false, 0},     {"Outbound.0 1", false, 0},
  };
  for (const Case& c : cases) {
    uint16_t zone = 0;
    EXPECT_EQ(ParseZoneExtension(c.name, zone), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(zone, c.zone) << c.name;
    }
  }
}

// --- Kinds -------------------------------------------------------------------

TEST(OutboundKinds, PathsAreClassifiedByTheExtensionOfTheirName) {
  struct Case {
    const char* path;
    const char* kind;
  } cases[] = {
      {"C:\\OUT\\0000FFFE.MO0", kKindMailBundle}, {"/out/0000fffe.We1", kKindMailBundle},
      {"/out/0000FFFE.MOX", kKindMailBundle},  // only two characters count
      {"/out/0000FFFE.TH", kKindMailBundle},      {"/out/0000FFFE.ZZ0", kKindAttachedFile},
      {"/out/letter.MAIL", kKindAttachedFile},    {"/out/12345678.pkt", kKindMailPacket},
      {"/out/12345678.pkt2", kKindAttachedFile},  {"/files/hatch.Tic", kKindTicFile},
      {"/files/README", kKindAttachedFile},       {"/files/x.M", kKindAttachedFile},
      {"/mail.fr1/readme", kKindAttachedFile},  // a directory's extension says nothing
      {"/mail.fr1/a.pkt", kKindMailPacket},
  };
  for (const Case& c : cases) EXPECT_STREQ(ClassifyOutboundPath(c.path), c.kind) << c.path;
}

// --- Reading flow files --------------------------------------------------------

TEST(FlowFileReader, LinePrefixes) {
  const std::string longPath = "/" + std::string(kMaxFlowLineLength, 'x');
  struct Case {
    std::string text;
    FlowAction action;
    std::string path;
  } cases[] = {
      {"^C:\\OUT\\0000FFFE.MO0", FlowAction::Delete, "C:\\OUT\\0000FFFE.MO0"},
      {"#/out/0000FFFE.MO0", FlowAction::Truncate, "/out/0000FFFE.MO0"},
      {"/home/p/My Files/a b.txt", FlowAction::Keep, "/home/p/My Files/a b.txt"},
      {"^/home/p/My Files/a b.txt ", FlowAction::Delete, "/home/p/My Files/a b.txt "},
      {" /lead", FlowAction::Keep, " /lead"},
      {"~/out/sent.pkt", FlowAction::Skip, ""},
      {"!a comment", FlowAction::Skip, ""},
      {"^", FlowAction::Refused, ""},
      {"#", FlowAction::Refused, ""},
      {"/a\rb", FlowAction::Refused, ""},
      {std::string("/a\0b", 4), FlowAction::Refused, ""},
      {longPath, FlowAction::Refused, ""},
      {longPath.substr(0, kMaxFlowLineLength), FlowAction::Keep,
       longPath.substr(0, kMaxFlowLineLength)},
      {"^^x", FlowAction::Delete, "^x"},
  };
  for (const Case& c : cases) {
    FlowLine line = ParseFlowLine(c.text);
    EXPECT_EQ(line.action, c.action) << c.text.substr(0, 40);
    EXPECT_EQ(line.path, c.path) << c.text.substr(0, 40);
    EXPECT_EQ(line.text, c.text);
  }
}

TEST(FlowFileReader, LineEnds) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},  // the last line may lack its end
      {"\r\n\r\na\r\n\n\nb", {"a", "b"}},
      {"a\r\r\nb", {"a\r", "b"}},  // a CR inside stays (and refuses the line)
      {"a b  c\r\n", {"a b  c"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const FlowLine& l : ParseFlowFile(c.bytes)) got.push_back(l.text);
    EXPECT_EQ(got, c.lines);
  }
}

TEST(FlowFileReader, RewriteDropsTheSentPathAndKeepsEveryOtherLineWhole) {
  using enum FlowAction;
  struct Case {
    const char* name;
    std::string before;
    std::string sent;
    std::string after;
    std::vector<FlowAction> removed;
    bool hasEntries;
  } cases[] = {
      {"plain", "/o/a.pkt\r\n/o/b.mo0\r\n", "/o/a.pkt", "/o/b.mo0\r\n", {Keep}, true},
      {"caret", "^/o/a.pkt\r\n/o/b.mo0\r\n", "/o/a.pkt", "/o/b.mo0\r\n", {Delete}, true},
      {"hash", "#/o/a.mo0\n^/o/b\n", "/o/a.mo0", "^/o/b\r\n", {Truncate}, true},
      {"twice", "^/o/a\r\n/o/b\r\n/o/a\r\n", "/o/a", "/o/b\r\n", {Delete, Keep}, true},
      {"only line", "^/o/a\r\n", "/o/a", "", {Delete}, false},
      {"skip lines left",
       "~/o/old\r\n^/o/a\r\n!note\r\n",
       "/o/a",
       "~/o/old\r\n!note\r\n",
       {Delete},
       false},
      {"refused line kept",
       std::string("/o/\0x\r\n/o/a\r\n", 12),
       "/o/a",
       std::string("/o/\0x\r\n", 7),
       {Keep},
       true},
      {"blanks",
       "^/o/My Files/a b\r\n/o/My Files/a\r\n",
       "/o/My Files/a b",
       "/o/My Files/a\r\n",
       {Delete},
       true},
      {"not listed", "/o/a\r\n", "/o/b", "/o/a\r\n", {}, true},
      {"case counts", "/o/A.PKT\r\n", "/o/a.pkt", "/o/A.PKT\r\n", {}, true},
      {"same file spelled otherwise",
       "/o/x/../a\r\n//o/./b\r\n",
       "/o/a",
       "//o/./b\r\n",
       {Keep},
       true},
      {"empty lines dropped", "\r\n/o/a\r\n\r\n/o/b\r\n\r\n", "/o/a", "/o/b\r\n", {Keep}, true},
      {"skip line of the sent file stays", "~/o/a\r\n/o/a\r\n", "/o/a", "~/o/a\r\n", {Keep}, false},
  };
  for (const Case& c : cases) {
    FlowRewrite rw = FlowFileWithout(c.before, c.sent);
    EXPECT_EQ(rw.contents, c.after) << c.name;
    EXPECT_EQ(rw.removed, c.removed) << c.name;
    EXPECT_EQ(rw.hasEntries, c.hasEntries) << c.name;
  }
}

TEST(FlowFileReader, RelativePathsCompareAgainstTheCurrentDirectory) {
  const std::string cwd = std::filesystem::current_path().generic_string();
  FlowRewrite rw = FlowFileWithout("out/a.pkt\r\n" + cwd + "/out/b.pkt\r\n", cwd + "/out/a.pkt");
  EXPECT_EQ(rw.contents, cwd + "/out/b.pkt\r\n");
  rw = FlowFileWithout("out/a.pkt\r\n" + cwd + "/out/b.pkt\r\n", "out/b.pkt");
  EXPECT_EQ(rw.contents, "out/a.pkt\r\n");
}

// --- The scan ---------------------------------------------------------------------

// One list entry as the list view shows it.
struct Row {
  std::string address, name, kind;
  bool del;
};
bool operator==(const Row& a, const Row& b) {
  return a.address == b.address && a.name == b.name && a.kind == b.kind && a.del == b.del;
}
void PrintTo(const Row& r, std::ostream* os) {
  *os << r.address << " " << r.name << " " << r.kind << (r.del ? " ^" : "");
}

class OutboundScan : public OutboundFixture {
 protected:
  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (const TFileInfo& e : outbound.Entries()) {
      rows.push_back({e.AddressText(), e.FileName, e.KindText, e.DeleteAfterSending});
    }
    return rows;
  }
};

TEST_F(OutboundScan, DirectoriesAreTheMainOneThenZoneOutboundsByZone) {
  for (const char* d : {"Outbound.00a", "OUTBOUND.003", "Outbound.xyz", "Outbound.0001",
                        "Outbound.001", "Other.004"}) {
    platform::MakeDirs(dir / d);
  }
  dir.Write("Outbound.005", "a file, not a directory");
  std::vector<std::pair<std::string, int>> got;
  for (const auto& d : outbound.OutboundDirectories()) got.emplace_back(d.path, d.zone);
  std::vector<std::pair<std::string, int>> want = {{out, 2},
                                                   {dir / "Outbound.001/", 1},
                                                   {dir / "OUTBOUND.003/", 3},
                                                   {dir / "Outbound.00a/", 10}};
  EXPECT_EQ(got, want);
}

TEST_F(OutboundScan, NoOutboundDirectoryListsNothing) {
  TOutbound none("", 2);
  EXPECT_TRUE(none.OutboundDirectories().empty());
  none.ScanOutbound();
  EXPECT_TRUE(none.Entries().empty());
  EXPECT_EQ(none.DirectoryOf({2, 1, 1, 0}), "");
}

TEST_F(OutboundScan, EntriesAreOrderedByKindThenAsFound) {
  const std::string bundle1 = File("files/0000FFFE.MO0");
  const std::string pkt = File("files/12345678.PKT");
  const std::string attach = File("files/My Docs/report 1.txt");
  const std::string tic = File("files/hatch.tic");
  const std::string bundle2 = File("files/0000FFFE.TU1");
  const std::string zoneBundle = File("files/00000001.FR0");
  File("Outbound/139C0412.REQ", 20);
  dir.Write("Outbound/139C0412.flo", "^" + bundle1 + "\r\n" + attach + "\r\n" + tic + "\r\n" + pkt +
                                         "\r\n#" + bundle2 + "\r\n");
  platform::MakeDirs(dir / "Outbound.003");
  dir.Write("Outbound.003/00010002.FLO", "^" + zoneBundle + "\r\n");

  outbound.ScanOutbound();
  std::vector<Row> want = {
      {"2:5020/1042", "12345678.PKT", "Mail packet", false},
      {"2:5020/1042", "0000FFFE.MO0", "Mail bundle", true},
      {"2:5020/1042", "0000FFFE.TU1", "Mail bundle", false},
      {"3:1/2", "00000001.FR0", "Mail bundle", true},
      {"2:5020/1042", "report 1.txt", "Attached file", false},
      {"2:5020/1042", "hatch.tic", "TIC File", false},
      {"2:5020/1042", "139C0412.REQ", "Request file", true},
  };
  EXPECT_EQ(Rows(), want);
  EXPECT_TRUE(outbound.Problems().empty());

  const TFileInfo& req = outbound.Entries().back();
  EXPECT_TRUE(req.IsRequest);
  EXPECT_EQ(req.Path, dir / "Outbound/139C0412.REQ");
  EXPECT_EQ(req.FlowFile, "");
  EXPECT_EQ(req.Size, 20);
  const TFileInfo& truncated = outbound.Entries()[2];
  EXPECT_EQ(truncated.Action, FlowAction::Truncate);
  EXPECT_EQ(truncated.FlowFile, dir / "Outbound/139C0412.flo");
  EXPECT_EQ(truncated.Kind, 1);
  EXPECT_EQ(truncated.SizeText(), "10 Bytes");
  EXPECT_EQ(outbound.Entries()[4].Path, attach);
}

TEST_F(OutboundScan, NamesMatchWithoutCase) {
  const std::string a = File("files/a.pkt"), b = File("files/b.pkt"), c = File("files/c.pkt"),
                    d = File("files/d.pkt");
  dir.Write("Outbound/00010001.flo", a + "\r\n");
  dir.Write("Outbound/00010002.FLO", b + "\r\n");
  dir.Write("Outbound/0001000a.Flo", c + "\r\n");
  platform::MakeDirs(dir / "outbound.005");
  dir.Write("outbound.005/0001000B.fLo", d + "\r\n");
  File("outbound.005/0001000c.rEq");
  outbound.ScanOutbound();
  std::vector<Row> want = {
      {"2:1/1", "a.pkt", "Mail packet", false},         {"2:1/2", "b.pkt", "Mail packet", false},
      {"2:1/10", "c.pkt", "Mail packet", false},        {"5:1/11", "d.pkt", "Mail packet", false},
      {"5:1/12", "0001000c.rEq", "Request file", true},
  };
  EXPECT_EQ(Rows(), want);
}

TEST_F(OutboundScan, MissingEmptyAndOddFilesAreNotOfferedAndTheirLinesStay) {
  const std::string good = File("files/good.pkt");
  const std::string empty = File("files/empty.pkt", 0);
  platform::MakeDirs(dir / "files/adir.pkt");
  const std::string flow = "/nowhere/gone.pkt\r\n" + empty + "\r\n" + dir / "files/adir.pkt" +
                           "\r\n~" + good + "\r\n" + good + "\r\n^" + good + "\r\n";
  dir.Write("Outbound/00010001.flo", flow);
  outbound.ScanOutbound();
  ASSERT_EQ(outbound.Entries().size(), 1u);  // a file listed twice is offered once
  EXPECT_EQ(outbound.Entries()[0].Path, good);
  EXPECT_EQ(dir.Read("Outbound/00010001.flo"), flow);
}

TEST_F(OutboundScan, HostileFlowFilesAreBounded) {
  const std::string good = File("files/good.pkt");
  // Oversized: not read at all.
  dir.Write("Outbound/00010001.flo", good + "\r\n" + std::string(kMaxFlowFileSize, 'a'));
  // Garbage lines are refused one by one; the good line still counts.
  dir.Write("Outbound/00010002.flo", std::string("\0\0\xff\r\r\n", 6) +
                                         std::string(kMaxFlowLineLength + 1, '/') + "\r\n^\r\n" +
                                         good + "\r\n");
  // Names that are no net and node.
  dir.Write("Outbound/NOTAFLOW.flo", good + "\r\n");
  File("Outbound/README.REQ");
  // A pipe named like a flow file is no file.
  ASSERT_EQ(::mkfifo((dir / "Outbound/00010003.flo").c_str(), 0644), 0);
  outbound.ScanOutbound();
  ASSERT_EQ(outbound.Entries().size(), 1u);
  EXPECT_EQ(outbound.Entries()[0].AddressText(), "2:1/2");
  const auto& problems = outbound.Problems();
  auto mentions = [&](const std::string& text) {
    for (const auto& p : problems) {
      if (p.find(text) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(mentions("00010001.flo cannot be read"));
  EXPECT_TRUE(mentions("00010002.flo: line 1 is no file name"));
  EXPECT_TRUE(mentions("00010002.flo: line 2 is no file name"));
  EXPECT_TRUE(mentions("00010002.flo: line 3 is no file name"));
  EXPECT_TRUE(mentions("NOTAFLOW.flo names no net and node"));
  EXPECT_TRUE(mentions("README.REQ names no net and node"));
}

TEST_F(OutboundScan, ManyEntriesAreCutAtTheLimit) {
  std::string flow;
  for (size_t i = 0; i < kMaxFlowEntries + 3; ++i) flow += "/nowhere/" + std::to_string(i) + "\r\n";
  const std::string good = File("files/last.pkt");
  flow += good + "\r\n";
  dir.Write("Outbound/00010001.flo", flow);
  outbound.ScanOutbound();
  EXPECT_TRUE(outbound.Entries().empty());
  ASSERT_EQ(outbound.Problems().size(), 1u);
  EXPECT_NE(outbound.Problems()[0].find("more than"), std::string::npos);
}

TEST_F(OutboundScan, DirectoryOfADestination) {
  platform::MakeDirs(dir / "outbound.00a");
  struct Case {
    TFidoAddr addr;
    std::string dir;
  } cases[] = {
      {{2, 5020, 1042, 3}, out},
      {{3, 1, 2, 0}, dir / "Outbound.003/"},
      {{10, 1, 2, 0}, dir / "outbound.00a/"},  // an existing one in another case
  };
  for (const Case& c : cases) EXPECT_EQ(outbound.DirectoryOf(c.addr), c.dir);
}

}  // namespace
}  // namespace velmaris::test
