#include "app/logic/UUDecode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "app/logic/EditorText.h"
#include "platform/CodePage.h"
#include "support/NameTable.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

// Lines made by Python's binascii.b2a_uu (backtick for zero bits).
const std::string kFull45 = "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL";
const std::string kHello = ".2&5L;&\\L('=O<FQD(0H`";  // "Hello, world!\n"

std::string Bytes0To44() {
  std::string s;
  for (int i = 0; i < 45; ++i) s += static_cast<char>(i);
  return s;
}

// Files in memory, with every log line.
struct MemorySink : TUUDecodeSink {
  std::map<std::string, std::string> files;
  std::string current;
  Opened Create(const std::string& name) override {
    current = name;
    files[name].clear();
    return Opened::Created;
  }
  bool Write(std::string_view bytes) override {
    files[current] += bytes;
    return true;
  }
  bool Close(bool keep) override { return keep; }
};

std::vector<std::string> Decode(const std::vector<std::string>& lines, TUUDecodeSink& sink) {
  std::vector<std::string> log;
  UUDecodeLines(lines, sink, [&](const std::string& l) { log.push_back(l); });
  return log;
}

TEST(UUDecodeTest, LinesDecodeAsTheStandardEncoderWroteThem) {
  EXPECT_EQ(DecodeUULine("#0V%T", 3), "Cat");
  EXPECT_EQ(DecodeUULine(kFull45, 45), Bytes0To44());
  EXPECT_EQ(DecodeUULine(kHello, 14), "Hello, world!\n");
  // Characters missing at the end count as zero bits; nothing is read past.
  EXPECT_EQ(DecodeUULine("!0", 1), std::string("@"));
}

TEST(UUDecodeTest, DataAndBeginLinesAreRecognisedByTheirRules) {
  struct Case {
    std::string line;
    int n;
    bool data;
  };
  const Case data[] = {
      {"#0V%T", 3, true},  {"#    ", 3, false},  // blanks instead of "`" for zero bits
      {"#0V%", 3, false},                        // too short
      {"#0Va", 3, false},                        // "a" is beyond 96
      {kFull45, 45, true},
  };
  for (const Case& c : data) EXPECT_EQ(IsUUDataLine(c.line, c.n), c.data) << c.line;

  struct Begin {
    std::string line;
    bool ok;
    uint32_t mode;
    std::string name;
  };
  const Begin begins[] = {
      {"begin 644 file.zip", true, 0x644, "file.zip"},
      {"begin 0644 \"two words.txt\"", true, 0x644, "two words.txt"},
      {"begin 6x4 file.zip", false, 0, ""},
      {"begin 644", false, 0, ""},
      {"Begin 644 file.zip", false, 0, ""},
      {"beginning 644 file.zip", false, 0, ""},
  };
  for (const Begin& b : begins) {
    uint32_t mode = 0;
    std::string name;
    EXPECT_EQ(ParseUUBeginLine(b.line, mode, name), b.ok) << b.line;
    if (!b.ok) continue;
    EXPECT_EQ(mode, b.mode);
    EXPECT_EQ(name, b.name);
  }
}

TEST(UUDecodeTest, TwoFilesWithGarbageAndAShortLineOutOfPlace) {
  MemorySink sink;
  const std::vector<std::string> lines = {
      "Hi all, two files:",  // 1
      "begin 644 a.bin",     // 2
      kFull45,               // 3
      "",                    // 4
      "#0V%T",               // 5 short, followed by data: dropped
      kFull45,               // 6
      "#    ",               // 7 blanks: garbage
      "#0V%T",               // 8 short, right before the end: kept
      "`",                   // 9
      "end",                 // 10
      "begin 600 b.txt",     // 11
      kHello,                // 12: the text ends without an end line
  };
  const std::vector<std::string> log = Decode(lines, sink);
  EXPECT_EQ(sink.files["a.bin"], Bytes0To44() + Bytes0To44() + "Cat");
  EXPECT_EQ(sink.files["b.txt"], "");  // a pending short line needs the end line
  // The short line dropped at 5 is lost, so a.bin is incomplete too.
  const std::vector<std::string> expected = {
      "Line 2: a.bin (644)",   "  Garbage at line 6 skipped", "  Garbage at line 7 skipped",
      "Incomplete (93 Bytes)", "Line 11: b.txt (600)",        "  No end line",
      "Incomplete (0 Bytes)",
  };
  EXPECT_EQ(log, expected);
}

TEST(UUDecodeTest, OutputCutShortIsLoggedIncompleteNeverDone) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
  };
  const std::string cut = kFull45.substr(0, 30);
  const std::vector<Case> cases = {
      {"a missing end line does not swallow the next begin",
       {"begin 644 first.bin", kFull45, "begin 644 second.bin", kFull45, "#0V%T", "`", "end"},
       {{"first.bin", Bytes0To44()}, {"second.bin", Bytes0To44() + "Cat"}},
       {"Line 1: first.bin (644)", "  No end line", "Incomplete (45 Bytes)",
        "Line 3: second.bin (644)", "Done (48 Bytes)"}},
      {"a data line shorter than its length character",
       {"begin 644 cut.bin", kFull45, cut, "`", "end"},
       {{"cut.bin", Bytes0To44()}},
       {"Line 1: cut.bin (644)", "  Line 3 is shorter than its length", "Incomplete (45 Bytes)"}},
      {"the text ends before the end line",
       {"begin 644 open.bin", kFull45, "", "-- ", "Bye"},
       {{"open.bin", Bytes0To44()}},
       {"Line 1: open.bin (644)", "  Garbage at line 4 skipped", "  Garbage at line 5 skipped",
        "  No end line", "Incomplete (45 Bytes)"}},
      {"a whole file is done",
       {"begin 644 whole.bin", kFull45, kHello, "`", "end"},
       {{"whole.bin", Bytes0To44() + "Hello, world!\n"}},
       {"Line 1: whole.bin (644)", "Done (59 Bytes)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySink sink;
    std::vector<std::string> log;
    int lastLine = 0;
    const TUUDecodeTotals totals = UUDecodeLines(
        c.lines, sink, [&](const std::string& l) { log.push_back(l); },
        [&](int line) { EXPECT_EQ(line, ++lastLine); });
    EXPECT_EQ(lastLine, static_cast<int>(c.lines.size()));
    EXPECT_EQ(sink.files, c.files);
    EXPECT_EQ(log, c.log);
    int done = 0;
    for (const auto& l : c.log) done += l.starts_with("Done");
    EXPECT_EQ(totals.Files, done);
    EXPECT_EQ(totals.Incomplete, static_cast<int>(c.files.size()) - done);
  }
}

TEST(UUDecodeTest, ATakenLongNameGetsAFreeNameTheFileSystemTakes) {
  test::TempDir dir;
  const std::string folder = dir / "out";
  ::mkdir(folder.c_str(), 0755);
  const std::string longName = std::string(251, 'n') + ".bin";  // 255 bytes
  dir.Write("out/" + longName, "keep me");
  TUUFolderSink sink(folder);
  ASSERT_EQ(sink.Create(longName), TUUDecodeSink::Opened::Created);
  ASSERT_TRUE(sink.Write("Cat"));
  ASSERT_TRUE(sink.Close(true));
  const std::string saved = sink.SavedName();
  EXPECT_EQ(saved, std::string(249, 'n') + "_1.bin");
  EXPECT_EQ(dir.Read("out/" + saved), "Cat");
  EXPECT_EQ(dir.Read("out/" + longName), "keep me");
  // 126 Cyrillic letters in the ANSI page are 256 bytes on the disk: the
  // name is cut at a whole letter, its extension kept, never refused.
  ASSERT_EQ(sink.Create(test::Repeat("\xe6", 126) + ".txt"), TUUDecodeSink::Opened::Created);
  ASSERT_TRUE(sink.Write("Dog"));
  ASSERT_TRUE(sink.Close(true));
  EXPECT_EQ(sink.SavedName(), test::Repeat("\xe6", 125) + ".txt");  // said in the ANSI page
  EXPECT_EQ(dir.Read("out/" + test::Repeat("\xd0\xb6", 125) + ".txt"), "Dog");
}

TEST(UUDecodeTest, FilesStayInsideTheChosenFolder) {
  test::TempDir dir;
  const std::string folder = dir / "out";
  ::mkdir(folder.c_str(), 0755);
  dir.Write("out/taken.txt", "keep me");
  ::symlink((dir / "victim").c_str(), (folder + "/link.txt").c_str());
  TUUFolderSink sink(folder);
  std::vector<std::string> lines;
  for (std::string name : {"../evil.txt", "sub/evil.txt", "..", "...", "a\\b", ".profile",
                           ".hidden.txt", "taken.txt", "link.txt", "fine.txt"}) {
    lines.push_back("begin 644 \"" + name + "\"");
    lines.push_back("#0V%T");
    lines.push_back("`");
  }
  const std::vector<std::string> log = Decode(lines, sink);
  int refused = 0;
  for (const auto& l : log) refused += l == "ERROR: Unsafe file name refused";
  EXPECT_EQ(refused, 7);
  EXPECT_EQ(dir.Read("out/taken.txt"), "keep me");
  EXPECT_EQ(dir.Read("out/taken_1.txt"), "Cat");
  EXPECT_EQ(dir.Read("out/link_1.txt"), "Cat");
  EXPECT_EQ(dir.Read("out/fine.txt"), "Cat");
  EXPECT_NE(::access((dir / "victim").c_str(), F_OK), 0);
  EXPECT_NE(::access((dir / "evil.txt").c_str(), F_OK), 0);
  EXPECT_NE(::access((folder + "/.profile").c_str(), F_OK), 0);
}

// The name of a begin line is message text (the ANSI page); the file gets
// the name on disk, and the log (ANSI) reads as the text did. A name taken
// gets a free one, logged in the ANSI page too. Bytes that are valid UTF-8
// already stay as they are.
TEST(UUDecodeTest, ABeginNameInTheAnsiPageIsWrittenUnderItsNameOnDisk) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  for (const test::TNameRow& row : test::NameTable()) {
    if (!row.ansi || row.disk.find('"') != std::string::npos) continue;  // not in a text
    SCOPED_TRACE(row.what);
    for (const bool taken : {false, true}) {
      for (const bool utf8Text : {false, true}) {
        test::TempDir dir;
        const std::string folder = dir / "Распаковано";
        ::mkdir(folder.c_str(), 0755);
        if (taken) dir.Write("Распаковано/" + row.disk, "keep me");
        TUUFolderSink sink(folder);
        const std::string name = utf8Text ? row.disk : *row.ansi;
        const std::vector<std::string> log =
            Decode({"begin 644 \"" + name + "\"", "#0V%T", "`", "end"}, sink);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), "Line 1: " + name + " (644)");
        EXPECT_EQ(log.back(), "Done (3 Bytes)");
        if (!taken) {
          EXPECT_EQ(dir.Read("Распаковано/" + row.disk), "Cat");
          EXPECT_EQ(log.size(), 2u);
          continue;
        }
        EXPECT_EQ(dir.Read("Распаковано/" + row.disk), "keep me");
        const size_t dot = row.disk.rfind('.');
        const std::string free = row.disk.substr(0, dot) + "_1" + row.disk.substr(dot);
        EXPECT_EQ(dir.Read("Распаковано/" + free), "Cat");
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[1], "  Saved as " + platform::FromUtf8(free, platform::CodePage::CP1251));
      }
    }
  }
}

// A file encoded into a message from its path on disk comes out of the
// decoder under the same name: the begin line holds it in the ANSI page,
// quoted when it has a blank.
TEST(UUDecodeTest, AFileEncodedFromDiskDecodesUnderItsName) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  for (const test::TNameRow& row : test::NameTable()) {
    if (!row.ansi || row.disk.find('"') != std::string::npos) continue;
    SCOPED_TRACE(row.what);
    test::TempDir dir;
    const std::string text = UUEncodeText(platform::LogName(dir / ("Вложения/" + row.disk)),
                                          std::string(100, 'x'));
    const std::string quote = row.disk.find(' ') != std::string::npos ? "\"" : "";
    EXPECT_EQ(text.rfind("begin 644 " + quote + *row.ansi + quote + "\r\n", 0), 0u) << text;
    ::mkdir((dir / "out").c_str(), 0755);
    TUUFolderSink sink(dir / "out");
    const std::vector<std::string> log = Decode(SplitEditorText(text), sink);
    EXPECT_EQ(log.back(), "Done (100 Bytes)");
    EXPECT_EQ(dir.Read("out/" + row.disk), std::string(100, 'x'));
  }
}

}  // namespace
}  // namespace velmaris
