// File names made from area names (echo tags arrive in remote packets), and
// the area list with its separators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AreaFixtures.h"
#include "core/Area.h"
#include "core/Crc.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(AreaFileNameTest, Table) {
  struct Case {
    std::string name;
    std::string file;
  } cases[] = {
      // Ordinary names stay as they are.
      {"R50.SYSOP", "R50.SYSOP"},
      {"FIDO-RUS_TALK", "FIDO-RUS_TALK"},
      {"NETMAIL", "NETMAIL"},
      {"%INIT", "%INIT"},
      {"a b~c", "a b~c"},
      {"", ""},
      // The characters Windows refuses become full stops.
      {"A/B:C", "A.B.C"},
      {"<>/\\:?*|\"", "........."},
      {"WHAT?IS*THIS|", "WHAT.IS.THIS."},
      // Hostile names: no way out of the directory, no control characters.
      {"../../etc/passwd", "......etc.passwd"},
      {"/absolute", ".absolute"},
      {std::string("NUL\0BYTE", 8), "NUL.BYTE"},
      {"LINE\r\nBREAK\t", "LINE..BREAK."},
      {"\x1b[31mRED", ".[31mRED"},
      {"DEL\x7f", "DEL."},
      // Code-page bytes are kept.
      {"RU.\x8F\x88\x82\x8E", "RU.\x8F\x88\x82\x8E"},
      {"\xff\x80", "\xff\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TArea::AreaNameToFileName(c.name), c.file);
  }
  TArea area("msgbase", "A/B", "A/B");
  EXPECT_EQ(area.FilePath(".PackedBody"), "msgbase/A.B.PackedBody");
  area.SetBaseDir("");
  EXPECT_EQ(area.FilePath(".PackedBody"), "A.B.PackedBody");
}

TEST(AreaFileNameTest, EveryResultIsSafeAndStable) {
  std::vector<std::string> names = {"R50.SYSOP",           "../x",
                                    std::string(300, 'L'), std::string(100, '\x90'),
                                    std::string(243, 'E'), std::string(244, 'E')};
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  names.push_back(all);
  for (const auto& name : names) {
    const std::string file = TArea::AreaNameToFileName(name);
    SCOPED_TRACE(file);
    EXPECT_LE(file.size(), kAreaFileNameMax);
    // With the longest extension it fits a file name.
    EXPECT_LE((file + ".PackedIndex").size(), 255u);
    for (char ch : file) {
      const auto c = static_cast<unsigned char>(ch);
      EXPECT_TRUE(c >= 0x20 && c != 0x7F) << static_cast<int>(c);
      EXPECT_EQ(std::string("<>/\\:?*|\"").find(ch), std::string::npos);
    }
    // Stored file names are mapped again when loaded: nothing changes.
    EXPECT_EQ(TArea::AreaNameToFileName(file), file);
    // The files stay in the message base directory.
    TArea area("/base/", name, name);
    EXPECT_EQ(platform::DirOf(area.FilePath(".PackedIndex")), "/base/");
  }
}

TEST(AreaFileNameTest, LongNamesKeepTheirBeginningAndStayApart) {
  const std::string a = std::string(250, 'A') + "1";
  const std::string b = std::string(250, 'A') + "2";
  const std::string fa = TArea::AreaNameToFileName(a);
  const std::string fb = TArea::AreaNameToFileName(b);
  EXPECT_EQ(fa.size(), kAreaFileNameMax);
  EXPECT_NE(fa, fb);
  char tail[16];
  std::snprintf(tail, sizeof tail, "~%08X", Crc32OfString(a));
  EXPECT_EQ(fa, std::string(kAreaFileNameMax - 9, 'A') + tail);
  // A name that fits is not touched.
  EXPECT_EQ(TArea::AreaNameToFileName(std::string(243, 'E')), std::string(243, 'E'));
}

// An area that counts its own destruction.
struct CountedArea : TArea {
  CountedArea(const std::string& name, int& freed) : TArea("", name, ""), freed_(freed) {}
  ~CountedArea() override { ++freed_; }
  int& freed_;
};

TEST(AreaListTest, NamesSeparatorsAndFinding) {
  int freed = 0;
  TAreaList list;
  list.Adopt(std::make_unique<CountedArea>("NETMAIL", freed));
  list.Adopt(std::make_unique<CountedArea>(kSeparatorName, freed));
  list.Adopt(std::make_unique<CountedArea>("R50.SYSOP", freed));
  list.Adopt(std::make_unique<CountedArea>("BAD", freed), 0);
  list.Adopt(std::make_unique<CountedArea>(kSeparatorName, freed));
  ASSERT_EQ(list.GetCount(), 5);
  EXPECT_EQ(list.GetString(0), "BAD");
  EXPECT_EQ(list.GetItem(0)->Name, "BAD");
  EXPECT_EQ(list.FindByName("r50.sysop"), list.GetItem(3));
  EXPECT_EQ(list.FindByName("NOPE"), nullptr);
  EXPECT_TRUE(list.GetItem(2)->IsSeparator());

  std::vector<std::string> names;
  for (TArea* area : list.Areas()) names.push_back(area->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"BAD", "NETMAIL", "R50.SYSOP"}));

  list.FreeAll();
  EXPECT_EQ(freed, 5);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(AreaListTest, MovingAnAreaRebuildsTheMainWindowList) {
  struct Case {
    bool up;
    int index;
    bool moved;
  } cases[] = {{true, 1, true},  {true, 0, false},  {true, 3, false},
               {false, 1, true}, {false, 2, false}, {false, -1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.up ? "up " : "down ") << c.index);
    ShellScope scope;
    TArea a("", "A", ""), b("", "B", ""), d("", "C", "");
    TAreaList list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&d);
    if (c.up)
      list.MoveUp(c.index);
    else
      list.MoveDown(c.index);
    scope.dispatcher.ProcessMessages();
    EXPECT_EQ(scope.shell.Names(),
              c.moved ? std::vector<std::string>{"RefreshAreaList"} : std::vector<std::string>{});
    EXPECT_EQ(list.GetItem(1) != &b, c.moved);
  }
}

}  // namespace
}  // namespace velmaris::test
