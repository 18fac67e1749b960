// File lists, request files, the area scan and its calibration, and the
// mailboxes the poll dialog offers.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/MailBox.h"
#include "core/NetLink.h"
#include "mailer/FileRequest.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using platform::CodePage;

TEST(FileList, LinesEndAtEveryKindOfLineEnd) {
  TFileList list;
  list.LoadText("one\rtwo\nthree\r\n\tfour\x01\r\nnot a line");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Line(2), "three");
  EXPECT_EQ(list.Line(3), "        four");  // TAB as eight blanks, control characters dropped
  EXPECT_EQ(list.Line(3, 2), "  four");
  EXPECT_EQ(list.Name(), "Mailtext");
  try {
    list.Line(4);
    FAIL();
  } catch (const EFileListLineIndexOutOfRange& e) {
    EXPECT_STREQ(e.what(), "Filelist Line Index 4 is out of Range. List contains only 4 items!");
  }
  list.LoadText(std::string(300, 'x') + "\n");
  EXPECT_EQ(list.Line(0).size(), kMaxShownLine);
  EXPECT_EQ(list.Find("XX", -1, false, CodePage::CP866), 0);
  EXPECT_EQ(list.Find("XX", -1, true, CodePage::CP866), -1);
}

TEST(FileList, FindAsksToGoOnAfterEveryThousandLinesAndStopsWhenTold) {
  std::string text;
  for (int i = 0; i < 2500; ++i) text += "line\n";
  text += "Needle\n";
  TFileList list;
  list.LoadText(text);
  struct Case {
    int from, stopAfter;  // the step answering false at its n-th call; 0: never
    bool matchCase;
    const char* text;
    int found, steps;
  } cases[] = {
      {-1, 0, false, "NEEDLE", 2500, 2},  // asked after lines 999 and 1999
      {-1, 0, true, "NEEDLE", -1, 2},
      {-1, 0, true, "Needle", 2500, 2},
      {-1, 2, false, "needle", -1, 2},
      {-1, 1, false, "line", 0, 0},  // found before the first step
      {1499, 0, false, "needle", 2500, 1},
      {2500, 0, false, "needle", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
    int steps = 0;
    EXPECT_EQ(list.Find(c.text, c.from, c.matchCase, CodePage::CP866,
                        [&] { return ++steps != c.stopAfter; }),
              c.found);
    EXPECT_EQ(steps, c.steps);
  }
}

// The text comes in the ANSI code page (CP1251) and is found in the list's.
TEST(FileList, FindRecodesTheTextToTheListsCodePageAndFoldsItsLetters) {
  TFileList list;
  const std::string utf8 = "files.zip Тест\nТЕСТ.ZIP Русские тексты\n";
  const struct {
    CodePage listPage;
    const char* text;
    bool matchCase;
    int found;
  } cases[] = {
      {CodePage::CP866, "русские", false, 1}, {CodePage::CP866, "Русские", true, 1},
      {CodePage::CP866, "русские", true, -1}, {CodePage::CP866, "тест.zip", false, 1},
      {CodePage::CP866, "«Тест»", false, -1},  // no « in CP866
      {CodePage::CP1251, "тест", false, 0},
  };
  for (const auto& c : cases) {
    list.LoadText(platform::FromUtf8(utf8, c.listPage));
    EXPECT_EQ(list.Find(platform::FromUtf8(c.text, CodePage::CP1251), -1, c.matchCase, c.listPage),
              c.found)
        << c.text;
  }
}

TEST(FileList, AListOfLineEndsAtTheSizeCapLoadsAndOneByteMoreIsRefused) {
  TempDir dir;
  const std::string path = dir / "files.lst";
  platform::WriteFileAtomic(path, std::string(kMaxFileListSize, '\n'));
  TFileList list;
  list.Load(path);
  ASSERT_EQ(static_cast<uint64_t>(list.Count()), kMaxFileListSize);
  EXPECT_EQ(list.Raw(0), "");
  EXPECT_EQ(list.Raw(list.Count() - 1), "");
  EXPECT_EQ(list.Size(), kMaxFileListSize);

  platform::WriteFileAtomic(path, std::string(kMaxFileListSize - 5, '\n') + "a\r\nb\n");
  list.Load(path);
  ASSERT_EQ(static_cast<uint64_t>(list.Count()), kMaxFileListSize - 3);
  EXPECT_EQ(list.Raw(list.Count() - 2), "a");
  EXPECT_EQ(list.Raw(list.Count() - 1), "b");

  platform::WriteFileAtomic(path, std::string(kMaxFileListSize + 1, '\n'));
  try {
    list.Load(path);
    FAIL();
  } catch (const EFileList& e) {
    EXPECT_EQ(std::string(e.what()),
              "File \"" + path + "\" is too large for a file list. At most " +
                  std::to_string(kMaxFileListSize) + " bytes can be loaded !");
  }
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.Load(dir / "missing.lst"), EFileList);
}

TEST(FileRequest, LinesAreWrittenAsNameAndPassword) {
  const std::pair<const char*, const char*> cases[] = {
      {"FILES", "FILES"},
      {"FILES !secret", "FILES !secret"},
      {"nodelist.zip some words", "nodelist.zip"},
      {"   ", ""},
      // Tabs, control characters and other blanks separate words.
      {"nodelist.zip\t!pw", "nodelist.zip !pw"},
      {"\tFILES\v\f", "FILES"},
      {"a.zip\x01!pw\x7f", "a.zip !pw"},
      {"x.zip\r\nOTHER.ZIP", "x.zip"},
      {"\x1b\x1b", ""},
      {"\"one.zip\" !x", "one.zip !x"},
      {"*.zip", "*.zip"},
      // Full stops inside a name are letters of it.
      {"v1..2.zip !pw", "v1..2.zip !pw"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(RequestFileLine(in), out) << in;
}

TEST(FileRequest, NamesThatCannotBeOneWordOrReachOutAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"my file.zip\" !x", "my file.zip"},
      {"\"my\tfile.zip\"", "my file.zip"},
      {"../secret.zip", "../secret.zip"},
      {"..", ".."},
      {".", "."},
      {"dir/x.zip", "dir/x.zip"},
      {"dir\\x.zip", "dir\\x.zip"},
      {"c:x.zip", "c:x.zip"},
      {"x.zip \"!my pw\"", "x.zip"},
  };
  for (const auto& [in, name] : cases) {
    try {
      RequestFileLine(in);
      ADD_FAILURE() << in;
    } catch (const EFileList& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("The name \"") + name + "\" cannot be requested !");
    }
  }
  // A refused line saves nothing.
  TempDir dir;
  EXPECT_THROW(WriteRequestFiles({"FILES", "../x"}, dir / "Outbound", 2, TFidoAddr{2, 5020, 1, 0}),
               EFileList);
  EXPECT_FALSE(platform::FileExists(dir / "Outbound/139C0001.req"));
}

TEST(FileRequest, WrittenIntoTheZoneOutboundAndRecovered) {
  TempDir dir;
  const std::string outbound = dir / "Outbound";
  const TFidoAddr zone3{3, 5020, 1042, 0};
  WriteRequestFiles({"FILES", "x.zip !pw junk", "  "}, outbound, 2, zone3);
  const std::string req = dir / "Outbound.003/139C0412.req";
  EXPECT_EQ(platform::ReadFile(req), "FILES\r\nx.zip !pw\r\n");
  EXPECT_EQ(platform::ReadFile(dir / "Outbound.003/139C0412.rvp"), "FILES\r\nx.zip !pw\r\n");
  EXPECT_EQ(ReadRequestFile(req), (std::vector<std::string>{"FILES", "x.zip !pw"}));

  WriteRequestFiles({}, outbound, 2, zone3);  // nothing to save: the request stays
  EXPECT_TRUE(platform::FileExists(req));
  EXPECT_EQ(RecoverRequest(outbound, 2, zone3, [] { return false; }), TRecoverResult::Kept);
  std::filesystem::remove(req);  // the mailer sent it
  EXPECT_EQ(RecoverRequest(outbound, 2, zone3, nullptr), TRecoverResult::Recovered);
  EXPECT_TRUE(platform::FileExists(req));
  EXPECT_EQ(RecoverRequest(outbound, 2, zone3, nullptr), TRecoverResult::NoOldRequest);
}

TEST(FileAreas, ScanFindsNamesByTheMailboxLayout) {
  TFileList list;
  list.LoadText(
      "Area: 1\n  UTILS   Utilities\nfile1.zip\nArea: 2\n  GAMES   Games\nfile2.zip\nArea: 3\n");
  TMailBox box;
  box.AreaIndicator = "Area:";
  box.AreaLine = 1;
  box.AreaColumn = 3;
  box.AreaSize = 6;
  const std::vector<TFileArea> areas = ScanFileAreas(list, box);
  ASSERT_EQ(areas.size(), 2u);  // the last indicator has no line after it
  EXPECT_EQ(areas[0].Name, "UTILS");
  EXPECT_EQ(areas[1].Name, "GAMES");
  EXPECT_EQ(areas[1].Line, 3);
  const std::pair<int, int> lines[] = {{0, 0}, {2, 0}, {3, 1}, {6, 1}};
  for (const auto& [line, area] : lines) EXPECT_EQ(AreaOfLine(areas, line), area) << line;
  EXPECT_EQ(AreaOfLine({{"A", 5}}, 4), -1);
}

TEST(FileAreas, CalibrationFromTwoSelections) {
  const std::vector<std::string> lines = {"Area: 1", "  UTILS   Utilities", "file1.zip"};
  TTextRange name, indicator;
  std::string error;
  ASSERT_TRUE(SelectionRange(lines, 8 + 2, 5, name, error));  // "UTILS"
  EXPECT_EQ(name.Line, 1);
  EXPECT_EQ(name.First, 3);
  EXPECT_EQ(name.Last, 7);
  ASSERT_TRUE(SelectionRange(lines, 0, 5, indicator, error));  // "Area:"
  TMailBox box;
  ApplyCalibration(box, name, indicator, "Area:");
  EXPECT_EQ(box.AreaLine, 1);
  EXPECT_EQ(box.AreaColumn, 3);
  EXPECT_EQ(box.AreaSize, 5);
  ApplyCalibration(box, name, name, "UTILS");
  EXPECT_EQ(box.AreaLine, 0);
  EXPECT_FALSE(SelectionRange(lines, 3, 0, name, error));
  EXPECT_EQ(error, "Kein Text markiert!");
  EXPECT_FALSE(SelectionRange(lines, 5, 6, name, error));
  EXPECT_EQ(error, "Der markierte Bereich muß innerhalb einer Zeile liegen!");
}

TEST(PollDialog, EachUplinkMailboxOnceAndOnlyValidOnes) {
  TMBList boxes;
  TMailBox a, b;
  a.Name = "Boss";
  b.Name = "Other";
  boxes.Add(a.Name, &a);
  boxes.Add(b.Name, &b);
  TLinkList links;
  TNetLink l1, l2, l3, l4;
  l1.Mailbox = 0;
  l2.Mailbox = 0;
  l3.Mailbox = -1;
  l4.Mailbox = 2;
  for (TNetLink* l : {&l1, &l2, &l3, &l4}) links.Add("x", l);
  EXPECT_EQ(PollCandidates(links, boxes), std::vector<TMailBox*>{&a});
  l3.Mailbox = 1;
  EXPECT_EQ(PollCandidates(links, boxes), (std::vector<TMailBox*>{&a, &b}));
}

}  // namespace
}  // namespace velmaris::test
