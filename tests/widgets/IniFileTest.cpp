// The INI file behind the stored column widths: bytes written, other content
// kept, bounded reading.
#include "widgets/IniFile.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(IniFile, NewFileBytes) {
  TempDir dir;
  IniFile ini(dir / "AreaList.ini");
  ini.WriteInteger("Columns", "Width0", 200);
  ini.WriteInteger("Columns", "Width1", -5);
  ini.Save();
  EXPECT_EQ(dir.Read("AreaList.ini"), "[Columns]\nWidth0=200\nWidth1=-5\n");
}

TEST(IniFile, RewriteKeepsOtherSectionsCommentsAndLineEnds) {
  TempDir dir;
  dir.Write(
      "MsgList.ini",
      "; layout\r\n[Sort]\r\nColumn=3\r\n\r\n[columns]\r\nwidth0=10\r\n\r\n[ToolBar]\r\nA=1\r\n");
  IniFile ini(dir / "MsgList.ini");
  ini.WriteInteger("Columns", "Width0", 250);
  ini.WriteInteger("Columns", "Width1", 60);
  ini.Save();
  EXPECT_EQ(dir.Read("MsgList.ini"),
            "; layout\r\n[Sort]\r\nColumn=3\r\n\r\n[columns]\r\nwidth0=250\r\nWidth1=60\r\n\r\n"
            "[ToolBar]\r\nA=1\r\n");
}

struct ReadCase {
  const char* text;
  int expected;
};

class IniRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, IntegerOrDefault) {
  TempDir dir;
  dir.Write("a.ini", GetParam().text);
  const IniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadInteger("Columns", "Width0", 77), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ini, IniRead,
                         ::testing::Values(ReadCase{"[Columns]\nWidth0=120\n", 120},
                                           ReadCase{"[COLUMNS]\nWIDTH0 = 12 \n", 12},
                                           ReadCase{"[Columns]\nWidth0=-3\n", -3},
                                           ReadCase{"[Columns]\nWidth0=+9\n", 9},
                                           ReadCase{"[Columns]\nWidth0=12px\n", 77},
                                           ReadCase{"[Columns]\nWidth0=\n", 77},
                                           ReadCase{"[Columns]\nWidth0=99999999999\n", 77},
                                           ReadCase{"[Other]\nWidth0=5\n", 77},
                                           ReadCase{"Width0=5\n[Columns]\n", 77}, ReadCase{"", 77},
                                           ReadCase{"[Columns]\n;Width0=5\nWidth0=6\n", 6}));

TEST(IniFile, MissingFileIsEmpty) {
  TempDir dir;
  const IniFile ini(dir / "none.ini");
  EXPECT_FALSE(ini.ValueExists("Columns", "Width0"));
  EXPECT_EQ(ini.ToText(), "");
}

TEST(IniFile, OversizedFileIsIgnoredAndLongLinesSkipped) {
  TempDir dir;
  dir.Write("big.ini", "[Columns]\nWidth0=1\n" + std::string(2 << 20, 'x'));
  EXPECT_FALSE(IniFile(dir / "big.ini").ValueExists("Columns", "Width0"));
  dir.Write("long.ini", "[Columns]\nWidth1=" + std::string(10000, '1') + "\nWidth0=4\n");
  const IniFile ini(dir / "long.ini");
  EXPECT_FALSE(ini.ValueExists("Columns", "Width1"));
  EXPECT_EQ(ini.ReadInteger("Columns", "Width0", 0), 4);
}

TEST(IniFile, SaveIntoMissingDirectoryRaises) {
  TempDir dir;
  IniFile ini(dir / "no/such/dir.ini");
  ini.WriteInteger("Columns", "Width0", 1);
  EXPECT_THROW(ini.Save(), EIniFile);
}

}  // namespace
}  // namespace velmaris::test
