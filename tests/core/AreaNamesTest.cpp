// File names made from area names (echo tags arrive in remote packets), and
// the area list with its separators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AreaFixtures.h"
#include "core/Area.h"
#include "core/Crc.h"
#include "platform/CodePage.h"
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
      // Names are stored in the ANSI page (CP1251): the file name is the same
      // name in UTF-8, which a user reads as the area's name.
      {"RU.\xD4\xCB\xC5\xC9\xCC", "RU.ФЛЕЙМ"},
      {"\xCC\xCE\xDF \xCF\xCE\xD7\xD2\xC0", "МОЯ ПОЧТА"},
      {"RU/\xD4\xCB\xC5\xC9\xCC:\xA8\xB8", "RU.ФЛЕЙМ.Ёё"},
      {"\xff\x80", "яЂ"},
      // CP1251 leaves 0x98 undefined (a C1 control on the way to UTF-8); a
      // letter the page lacks was stored as "?" when the name was typed.
      {"A\x98" "B", "A.B"},
      {"?bung", ".bung"},
  };
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TArea::AreaNameToFileName(c.name, false), c.file);
    EXPECT_TRUE(platform::IsUtf8(c.file));
    // A file name stored by this version loads as it is.
    EXPECT_EQ(TArea::StoredFileName(c.file), c.file);
  }
  // The ANSI page is a setting: in CP1252 the same bytes are other letters.
  platform::SetAnsiCodePage(platform::CodePage::CP1252);
  EXPECT_EQ(TArea::AreaNameToFileName("\xDC" "bung", false), "Übung");
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  // A raw tag is the UTF-8 it holds: the same bytes as a converted tag are
  // the ANSI page's letters (CP866 "RU.РЎРЎРЎР" and a no-break space,
  // stored in CP1251).
  EXPECT_EQ(TArea::AreaNameToFileName("RU.СССР", true), "RU.СССР");
  EXPECT_EQ(TArea::AreaNameToFileName("RU.СССР", false), "RU.РЎРЎРЎР\xC2\xA0");
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
    const std::string file = TArea::AreaNameToFileName(name, false);
    SCOPED_TRACE(file);
    EXPECT_LE(file.size(), kAreaFileNameMax);
    // With the longest extension it fits a file name.
    EXPECT_LE((file + ".PackedIndex").size(), 255u);
    for (char ch : file) {
      const auto c = static_cast<unsigned char>(ch);
      EXPECT_TRUE(c >= 0x20 && c != 0x7F) << static_cast<int>(c);
      EXPECT_EQ(std::string("<>/\\:?*|\"").find(ch), std::string::npos);
    }
    EXPECT_TRUE(platform::IsUtf8(file));
    // Stored file names are mapped again when loaded: nothing changes.
    EXPECT_EQ(TArea::StoredFileName(file), file);
    // The files stay in the message base directory.
    TArea area("/base/", name, name);
    EXPECT_EQ(platform::DirOf(area.FilePath(".PackedIndex")), "/base/");
  }
}

TEST(AreaFileNameTest, LongNamesKeepTheirBeginningAndStayApart) {
  const std::string a = std::string(250, 'A') + "1";
  const std::string b = std::string(250, 'A') + "2";
  const std::string fa = TArea::AreaNameToFileName(a, false);
  const std::string fb = TArea::AreaNameToFileName(b, false);
  EXPECT_EQ(fa.size(), kAreaFileNameMax);
  EXPECT_NE(fa, fb);
  char tail[16];
  std::snprintf(tail, sizeof tail, "~%08X", Crc32OfString(a));
  EXPECT_EQ(fa, std::string(kAreaFileNameMax - 9, 'A') + tail);
  // A name that fits is not touched.
  EXPECT_EQ(TArea::AreaNameToFileName(std::string(243, 'E'), false), std::string(243, 'E'));
}

TEST(AreaFileNameTest, LongCyrillicNamesAreCutAtAWholeLetter) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  // Two bytes a letter in UTF-8: 121 letters fit, 122 do not; an odd and an
  // even number of ASCII bytes before them moves the cut into a letter.
  for (const std::string& head : {std::string(), std::string("R"), std::string("RU.")}) {
    for (size_t letters : {size_t{121}, size_t{122}, size_t{200}, size_t{250}}) {
      const std::string name = head + std::string(letters, '\xC6');  // Ж
      SCOPED_TRACE(testing::Message() << head << " + " << letters);
      const std::string file = TArea::AreaNameToFileName(name, false);
      const std::string utf8 = platform::AnsiToUtf8(name);
      EXPECT_TRUE(platform::IsUtf8(file));
      EXPECT_LE(file.size(), kAreaFileNameMax);
      if (utf8.size() <= kAreaFileNameMax) {
        EXPECT_EQ(file, utf8);
        continue;
      }
      char tail[16];
      std::snprintf(tail, sizeof tail, "~%08X", Crc32OfString(utf8));
      const std::string kept = file.substr(0, file.size() - 9);
      EXPECT_EQ(file.substr(file.size() - 9), tail);
      EXPECT_EQ(utf8.compare(0, kept.size(), kept), 0);
      // At most one byte short of the room, and never half a letter.
      EXPECT_GE(kept.size(), kAreaFileNameMax - 10);
      EXPECT_EQ(TArea::StoredFileName(file), file);
    }
  }
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
