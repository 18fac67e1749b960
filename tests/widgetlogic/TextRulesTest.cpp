// The controls' text, name, mask, navigation and splitter rules.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/Files.h"
#include "support/TempDir.h"
#include "widgets/logic/EditMask.h"
#include "widgets/logic/FileNames.h"
#include "widgets/logic/PageHistory.h"
#include "widgets/logic/SplitterRules.h"
#include "widgets/logic/VxStrUtils.h"

namespace velmaris::test {
namespace {

std::string WithoutSlashForTest(const std::string& p) { return platform::WithoutSlash(p); }

TEST(VxStrUtils, Words) {
  const TCharSet comma = MakeCharSet(",");
  const TCharSet blanks = MakeCharSet(" ,");
  EXPECT_EQ(WordPosition(2, "  one, two", blanks), 8u);
  EXPECT_EQ(WordPosition(3, "one two", blanks), 0u);
  EXPECT_EQ(ExtractWordN(3, "one two", blanks), "");
  EXPECT_EQ(ExtractWordN(2, "one,,two three", blanks), "two");
  size_t pos = 1;
  std::vector<std::string> fields;
  while (pos <= 7) fields.push_back(ExtractDelimited("a,,b,cd", pos, comma));
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "", "b", "cd"}));
  EXPECT_EQ(ReplaceAll("aXa", "a", "aa"), "aaXaa");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(RepeatChar('-', 3), "---");
  EXPECT_EQ(RepeatChar('-', 0), "");
  EXPECT_TRUE(ConsistsOfChars("", comma));
  EXPECT_FALSE(ConsistsOfChars(",a", comma));
}

TEST(VxStrUtils, CommandLines) {
  const char* line = "\"C:/Program Files/x.exe\" -v \"a b\" c";
  EXPECT_EQ(CountCommandWords(line), 4);
  EXPECT_EQ(GetCommandWord(line, 0), "C:/Program Files/x.exe");
  EXPECT_EQ(GetCommandWord(line, 4), "");
  std::string program, params;
  SplitCommandLine(line, program, params);
  EXPECT_EQ(program, "C:/Program Files/x.exe");
  EXPECT_EQ(params, "-v \"a b\" c");
  SplitCommandLine("", program, params);
  EXPECT_EQ(program + params, "");
}

TEST(VxStrUtils, RectOnScreen) {
  struct Case {
    VxRect in, out;
  };
  for (const Case& c :
       {Case{{700, 500, 900, 700}, {600, 400, 800, 600}},
        Case{{-50, -10, 50, 90}, {0, 0, 100, 100}}, Case{{100, 0, 1000, 10}, {0, 0, 900, 10}}}) {
    EXPECT_EQ(ClampRectToScreen(c.in, 800, 600), c.out);
  }
  EXPECT_TRUE(PointInRectInclusive(10, 10, {0, 0, 10, 10}));
  EXPECT_FALSE(PointInRectInclusive(11, 10, {0, 0, 10, 10}));
}

TEST(FileNames, Rules) {
  EXPECT_EQ(RemoveTrailingBackslash("/"), "/");
  EXPECT_EQ(RemoveTrailingBackslash("/data/"), "/data");
  EXPECT_TRUE(IsValidFileName("a*b.txt"));
  EXPECT_FALSE(IsValidFileName("a|b"));
  EXPECT_FALSE(IsValidFileName(""));
  EXPECT_EQ(QuoteIfBlank("/My Dir/a.txt"), "\"/My Dir/a.txt\"");
  EXPECT_EQ(QuoteIfBlank("\"/My Dir/a.txt\""), "\"/My Dir/a.txt\"");
  EXPECT_EQ(QuoteIfBlank("/a.txt"), "/a.txt");
  EXPECT_EQ(AddDirToText("/a", "/b", true), "/a;/b");
  EXPECT_EQ(AddDirToText("/a", "/b", false), "/b");
  EXPECT_EQ(AddDirToText("", "/b", true), "/b");
}

TEST(FileNames, OnDisk) {
  TempDir dir;
  const std::string root = WithoutSlashForTest(dir.Path());
  platform::MakeDirs(root + "/Program Files/Sub");
  std::ofstream(root + "/Program Files/x.exe") << "x";
  const std::string exe = root + "/Program Files/x.exe";
  EXPECT_EQ(FileNameOfText(exe + " -v"), exe);
  EXPECT_EQ(FileNameOfText("\"" + exe + "\" -v"), exe);
  EXPECT_EQ(FileNameOfText(exe), exe);
  EXPECT_FALSE(IsExistingDirectory(exe));
  EXPECT_TRUE(IsExistingDirectory(root + "/Program Files"));
  EXPECT_EQ(LongPathOf(root + "/program files/SUB"), root + "/Program Files/Sub");
  EXPECT_EQ(LongPathOf(root + "/nothing/SUB"), root + "//");
  EXPECT_EQ(LongDirList(root + "/PROGRAM FILES;;" + root + "/program files/sub", true),
            root + "/Program Files;" + root + "/Program Files/Sub");
  EXPECT_EQ(DirOfDropped(exe), root + "/Program Files");
  EXPECT_EQ(DirOfDropped(root + "/Program Files/Sub"), root + "/Program Files/Sub");
}

TEST(EditMask, DateMasksBecomeInputMasks) {
  EXPECT_EQ(InputMaskOf("!99/99/9999;1; ", '.'), "00.00.0000; ");
  EXPECT_EQ(InputMaskOf("!9999/99/99;1;_", '-'), "0000-00-00;_");
  EXPECT_EQ(InputMaskOf("!99/99/99;1; ", '/'), "00/00/00; ");
  EXPECT_EQ(InputMaskOf("00\\a:00", '/'), "99\\a:99;_");
  EXPECT_EQ(InputMaskOf("", '/'), "");
}

TEST(PageHistory, KeepsTheLastTenPages) {
  TPageHistory h;
  for (int page = 0; page < 11; ++page) h.AddPageIndex(page);
  EXPECT_EQ(h.Count(), 10);
  EXPECT_EQ(h.Items(0), 1);
  int page = 10, steps = 0;
  for (int prior = PriorPageIndex(page, true, h); prior >= 0;
       prior = PriorPageIndex(page, true, h)) {
    RecordPageChange(h, true, PageMove::Back, prior);
    page = prior;
    ++steps;
  }
  EXPECT_EQ(page, 1);
  EXPECT_EQ(steps, 9);
  EXPECT_EQ(NextPageIndex(page, 11, true, h), 2);
  // Jumping from the middle drops the entries after it.
  h.AddPageIndex(7);
  EXPECT_EQ(h.Count(), 2);
  EXPECT_EQ(NextPageIndex(7, 11, true, h), -1);
  EXPECT_EQ(PriorPageIndex(0, false, h), -1);
  EXPECT_EQ(NextPageIndex(10, 11, false, h), -1);
}

TEST(SplitterRules, StyleAndSize) {
  using enum TAlign;
  EXPECT_EQ(SplitStyle(alTop, alClient, alTop), 1);
  EXPECT_EQ(SplitStyle(alTop, alClient, alLeft), 0);
  EXPECT_EQ(SplitStyle(alClient, alBottom, alBottom), 2);
  EXPECT_EQ(SplitStyle(alLeft, alNone, alLeft), 3);
  EXPECT_EQ(SplitStyle(alClient, alRight, alRight), 4);
  EXPECT_EQ(SplitStyle(alLeft, alRight, alLeft), 0);
  EXPECT_EQ(SplitNewSize(1, alTop, alClient, 50, 0, 30, 300), 80);
  EXPECT_EQ(SplitNewSize(4, alClient, alRight, 50, -20, 0, 300), 70);
  EXPECT_EQ(SplitNewSize(2, alClient, alBottom, 50, 0, 10, 300), 40);
  EXPECT_EQ(SplitNewSize(1, alTop, alClient, 50, 0, -90, 300), 1);
  EXPECT_EQ(SplitNewSize(3, alLeft, alClient, 50, 400, 0, 300), 297);
}

}  // namespace
}  // namespace velmaris::test
