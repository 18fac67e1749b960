// The registry record of an area: the "Packed" layout byte by byte, the older
// separate values, the uplink reference, creation from a prototype.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Area.h"
#include "core/WinRegistry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";
constexpr const char* kSection = "Areas\\Area1";

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

struct Link : TObject {};

class AreaRegistryTest : public ::testing::Test {
 protected:
  // An uplink list of n entries.
  void MakeUplinks(int n) {
    links.assign(static_cast<size_t>(n), Link{});
    uplinks.Clear();
    for (int i = 0; i < n; ++i) uplinks.Add("Uplink" + std::to_string(i), &links[static_cast<size_t>(i)]);
  }
  std::string Stored(const std::string& name) {
    auto bytes = store.ReadBinary(reg.KeyOf(kSection), name);
    return std::string(bytes.begin(), bytes.end());
  }

  TempDir dir;
  platform::Registry store{dir / "Velmaris.reg"};
  TWinRegistry reg{kRoot, store};
  std::vector<Link> links;
  TTypedList<Link> uplinks;
};

TEST_F(AreaRegistryTest, PackedRecordGoldenBytes) {
  MakeUplinks(2);
  TArea area(dir.Path(), "NETMAIL", "NETMAIL", AreaTypeCode::Netmail);
  area.MaxAge = 30;
  area.MaxNumber = 500;
  area.TextGroup = 2;
  area.SetUplink(&links[1]);
  area.TabsToSpaces = true;
  area.NoSZ = false;
  area.NoUmlaute = true;
  area.Reflow = false;
  area.ApplyAge = true;
  area.ApplyNumber = false;
  area.Maintain = true;
  area.SaveToRegistry(reg, kSection, &uplinks);

  const std::string expected =
      Hex("1e000000" "f4010000" "02000000" "03000000" "01000000") +
      "\x07NETMAIL" + std::string(248, '\0') +
      "\x07NETMAIL" + std::string(248, '\0') +
      Hex("01" "00" "01" "00" "01" "00" "01");
  ASSERT_EQ(expected.size(), kAreaRecordSize);
  EXPECT_EQ(Stored("Packed"), expected);

  // The other values, as the registry file shows them.
  const std::string text = store.ToText();
  for (const char* line : {"\"LastRead\"=dword:00000000", "\"LastImport\"=dword:ffffffff",
                           "\"NToH\"=dword:00000000", "\"RandomOrig\"=dword:00000001",
                           "\"NoRex\"=dword:00000000",
                           "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Areas\\Area1\\Maintain]",
                           "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Areas\\Area1\\DisplayMask]"})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  // Without an uplink, or without a list, the index is -1.
  area.SetUplink(nullptr);
  area.SaveToRegistry(reg, kSection, &uplinks);
  EXPECT_EQ(Stored("Packed").substr(16, 4), Hex("ffffffff"));
  area.SetUplink(&links[0]);
  area.SaveToRegistry(reg, kSection, nullptr);
  EXPECT_EQ(Stored("Packed").substr(16, 4), Hex("ffffffff"));
}

TEST_F(AreaRegistryTest, LongNamesAreCutTo255InTheRecord) {
  TArea area(dir.Path(), std::string(300, 'N'), "F");
  const auto record = area.PackRecord(-1);
  EXPECT_EQ(record[20], 255);
  EXPECT_EQ(record[20 + 255], 'N');
  EXPECT_EQ(record[276], 1);
  EXPECT_EQ(record[277], 'F');
}

TEST_F(AreaRegistryTest, EveryValueRoundTrips) {
  MakeUplinks(3);
  TArea area(dir.Path(), "R50.SYSOP", "R50.SYSOP", AreaTypeCode::Storage);
  area.MaxAge = -7;
  area.MaxNumber = 123456;
  area.TextGroup = 4;
  area.SetUplink(&links[2]);
  area.TabsToSpaces = false;
  area.NoSZ = false;
  area.NoUmlaute = false;
  area.Reflow = false;
  area.ApplyAge = false;
  area.ApplyNumber = true;
  area.Maintain = false;
  area.NToH = true;
  area.RandomOrig = false;
  area.NoRex = true;
  area.LastRead = 42;
  area.LastImport = 17;
  area.MaintainFilter.FlagMask = 0x1234;
  area.MaintainFilter.Flags = 0x0204;
  area.DisplayFilter.ApplySubject = true;
  area.DisplayFilter.Subject.SetText("hello");
  area.DisplayFilter.TossDate.Mode = TDateSearch::Recent;
  area.DisplayFilter.TossDate.Limit = 14;
  area.SaveToRegistry(reg, kSection, &uplinks);

  auto loaded = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
  EXPECT_EQ(loaded->Name, "R50.SYSOP");
  EXPECT_EQ(loaded->FileName, "R50.SYSOP");
  EXPECT_EQ(loaded->BaseDir, dir.Path());
  EXPECT_EQ(loaded->AreaType, AreaTypeCode::Storage);
  EXPECT_EQ(loaded->MaxAge, -7);
  EXPECT_EQ(loaded->MaxNumber, 123456);
  EXPECT_EQ(loaded->TextGroup, 4);
  EXPECT_EQ(loaded->Uplink, &links[2]);
  EXPECT_FALSE(loaded->TabsToSpaces);
  EXPECT_FALSE(loaded->NoSZ);
  EXPECT_FALSE(loaded->NoUmlaute);
  EXPECT_FALSE(loaded->Reflow);
  EXPECT_FALSE(loaded->ApplyAge);
  EXPECT_TRUE(loaded->ApplyNumber);
  EXPECT_FALSE(loaded->Maintain);
  EXPECT_TRUE(loaded->NToH);
  EXPECT_FALSE(loaded->RandomOrig);
  EXPECT_TRUE(loaded->NoRex);
  EXPECT_EQ(loaded->LastRead, 42);
  EXPECT_EQ(loaded->LastImport, 17);
  EXPECT_TRUE(loaded->MaintainFilter.SameConditions(area.MaintainFilter));
  EXPECT_TRUE(loaded->DisplayFilter.SameConditions(area.DisplayFilter));
  // The masks are named after the loaded area; maintenance offers flags only.
  EXPECT_EQ(loaded->DisplayFilter.Caption, "Display Filter For Area R50.SYSOP");
  EXPECT_EQ(loaded->MaintainFilter.Caption, "Mainteance Filter For Area R50.SYSOP");
  EXPECT_TRUE(loaded->MaintainFilter.ShowFlagsPage);
  EXPECT_FALSE(loaded->MaintainFilter.ShowOriginPage || loaded->MaintainFilter.ShowDestinationPage ||
               loaded->MaintainFilter.ShowSubjectPage || loaded->MaintainFilter.ShowTextPage);

  // Saved again, the bytes are the same.
  const std::string first = Stored("Packed");
  loaded->SaveToRegistry(reg, kSection, &uplinks);
  EXPECT_EQ(Stored("Packed"), first);
}

TEST_F(AreaRegistryTest, StoredUplinkIndexSelectsTheEntry) {
  struct Case {
    int32_t stored;
    int listSize;  // -1: no list
    int expected;  // -1: none
  } cases[] = {
      {1, 3, 1}, {0, 3, 0}, {2, 3, 2}, {3, 3, 0}, {7, 3, 0},
      {-1, 3, -1}, {-5, 3, -1}, {2, 0, -1}, {1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stored << " of " << c.listSize);
    MakeUplinks(std::max(c.listSize, 0));
    TArea area(dir.Path(), "ECHO", "ECHO");
    const auto record = area.PackRecord(c.stored);
    reg.WriteBinary(kSection, "Packed", record.data(), record.size());
    Link before;
    area.SetUplink(&before);  // whatever was set before goes
    area.LoadFromRegistry(reg, kSection, c.listSize < 0 ? nullptr : &uplinks);
    EXPECT_EQ(area.Uplink, c.expected < 0 ? nullptr : &links[static_cast<size_t>(c.expected)]);
  }
}

TEST_F(AreaRegistryTest, OlderSeparateValues) {
  MakeUplinks(2);
  reg.WriteString(kSection, "Name", "RU.HUMOR");
  reg.WriteString(kSection, "Filename", "RU:HUMOR");
  reg.WriteInteger(kSection, "Textgroup", 3);
  reg.WriteBool(kSection, "ApplyAge", false);
  reg.WriteBool(kSection, "ApplyNumber", false);
  reg.WriteBool(kSection, "TabsToSpaces", false);
  reg.WriteBool(kSection, "NoSZ", false);
  reg.WriteBool(kSection, "NoUmlaute", false);
  reg.WriteBool(kSection, "Reflow", false);
  reg.WriteBool(kSection, "Maintain", false);
  reg.WriteInteger(kSection, "Type", 8);
  reg.WriteInteger(kSection, "Uplink", 1);
  reg.WriteInteger(kSection, "MaxNumber", 200);
  reg.WriteInteger(kSection, "MaxAge", 10);
  reg.WriteInteger(kSection, "LastRead", 5);
  reg.WriteInteger(kSection, "LastImport", 2);
  TSearchRequest mask;
  mask.FlagMask = 0x0040;
  mask.Flags = 0x0040;
  mask.SaveToRegistry(reg, std::string(kSection) + "\\Maintain");

  // "Packed" of a wrong size, or of another type, is passed over.
  const std::vector<std::string> packedForms = {"", std::string(538, '\0'),
                                                std::string(540, '\0'), "string"};
  for (const auto& packed : packedForms) {
    SCOPED_TRACE(packed.size());
    if (packed == "string")
      reg.WriteString(kSection, "Packed", packed);
    else if (!packed.empty())
      reg.WriteBinary(kSection, "Packed", packed.data(), packed.size());
    auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
    EXPECT_EQ(area->Name, "RU.HUMOR");
    EXPECT_EQ(area->FileName, "RU.HUMOR");
    EXPECT_EQ(area->TextGroup, 3);
    EXPECT_FALSE(area->ApplyAge || area->ApplyNumber || area->TabsToSpaces || area->NoSZ ||
                 area->NoUmlaute || area->Reflow || area->Maintain);
    EXPECT_EQ(area->AreaType, AreaTypeCode::Storage);
    EXPECT_EQ(area->Uplink, &links[1]);
    EXPECT_EQ(area->MaxNumber, 200);
    EXPECT_EQ(area->MaxAge, 10);
    EXPECT_EQ(area->LastRead, 5);
    EXPECT_EQ(area->LastImport, 2);
    EXPECT_EQ(area->MaintainFilter.FlagMask, 0x0040u);
    EXPECT_EQ(area->MaintainFilter.Caption, "Mainteance Filter For Area RU.HUMOR");
    reg.DeleteValue(kSection, "Packed");
  }
}

TEST_F(AreaRegistryTest, OlderValuesDefaults) {
  MakeUplinks(2);
  reg.WriteString(kSection, "Name", "SU.GENERAL");
  auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
  EXPECT_EQ(area->Name, "SU.GENERAL");
  // No file name stored: the name gives it.
  EXPECT_EQ(area->FileName, "SU.GENERAL");
  EXPECT_EQ(area->TextGroup, -1);
  EXPECT_TRUE(area->ApplyAge && area->ApplyNumber && area->TabsToSpaces && area->NoSZ &&
              area->NoUmlaute && area->Reflow && area->Maintain);
  EXPECT_EQ(area->AreaType, AreaTypeCode::Echomail);
  EXPECT_EQ(area->Uplink, &links[0]);
  EXPECT_EQ(area->MaxNumber, 1000);
  EXPECT_EQ(area->MaxAge, 90);
  EXPECT_EQ(area->LastRead, 0);
  EXPECT_EQ(area->LastImport, -1);
  EXPECT_FALSE(area->NToH);
  EXPECT_TRUE(area->RandomOrig);
  EXPECT_FALSE(area->NoRex);
  EXPECT_EQ(area->MaintainFilter.FlagMask, 0x00D6u);
  EXPECT_EQ(area->MaintainFilter.Flags, 0u);
}

TEST_F(AreaRegistryTest, OlderValuesWithAnEmptyNameReadNoMore) {
  reg.WriteString(kSection, "Name", "");
  reg.WriteInteger(kSection, "Type", 6);
  reg.WriteInteger(kSection, "MaxAge", 3);
  auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path());
  EXPECT_EQ(area->Name, "");
  EXPECT_EQ(area->AreaType, AreaTypeCode::Echomail);
  EXPECT_EQ(area->MaxAge, 90);
  EXPECT_EQ(area->Uplink, nullptr);
}

TEST_F(AreaRegistryTest, StoredFileNamesAreMappedAndTypesBounded) {
  struct Case {
    std::string name, fileName;
    int32_t type;
    std::string expectFile;
    uint8_t expectType;
  } cases[] = {
      {"A/B", "A/B", 0, "A.B", 0},
      {"X", "..\\..\\etc\\passwd", 9, "......etc.passwd", 9},
      {"NOFILE", "", 3, "NOFILE", 3},           // made from the name
      {"PROTO", "", 7, "", 7},                  // the prototype has no files
      {"T", "T", 0x105, "T", 0},                // no type we know
      {"T", "T", -1, "T", 0},
      {"T", "T", 200, "T", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName);
    TArea source(dir.Path(), c.name, "", AreaTypeCode::Echomail);
    auto record = source.PackRecord(-1);
    record[276] = static_cast<uint8_t>(c.fileName.size());
    std::copy(c.fileName.begin(), c.fileName.end(), record.begin() + 277);
    for (int i = 0; i < 4; ++i) record[12 + i] = static_cast<uint8_t>(c.type >> (8 * i));
    reg.WriteBinary(kSection, "Packed", record.data(), record.size());
    auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path());
    EXPECT_EQ(area->FileName, c.expectFile);
    EXPECT_EQ(area->AreaType, c.expectType);
  }
}

TEST_F(AreaRegistryTest, NewAreaDefaults) {
  TArea area("msgbase", "ECHO", "ECHO");
  EXPECT_EQ(area.BaseDir, "msgbase/");
  EXPECT_EQ(area.MaxAge, 90);
  EXPECT_EQ(area.MaxNumber, 1000);
  EXPECT_EQ(area.TextGroup, -1);
  EXPECT_TRUE(area.TabsToSpaces && area.NoUmlaute && area.RandomOrig && area.NoSZ &&
              area.Reflow && area.ApplyAge && area.ApplyNumber && area.Maintain);
  EXPECT_FALSE(area.NoRex || area.NToH);
  EXPECT_EQ(area.MaintainFilter.FlagMask, 0x00D6u);
  EXPECT_EQ(area.MaintainFilter.Flags, 0u);
  EXPECT_EQ(area.DisplayFilter.Caption, "Display Filter For Area ECHO");
  EXPECT_EQ(area.MaintainFilter.Caption, "Mainteance Filter For Area ECHO");
  EXPECT_FALSE(area.IsLocked());
  EXPECT_FALSE(area.IndexLoaded);
  EXPECT_EQ(area.BodyHandle, TArea::kBodyClosed);
  TArea noDir("", "X", "X");
  EXPECT_EQ(noDir.BaseDir, "");
}

TEST_F(AreaRegistryTest, PrototypeGivesSwitchesAndMaskFlagsOnly) {
  MakeUplinks(1);
  TArea proto("", "Prototyp", "", AreaTypeCode::Prototype);
  proto.TabsToSpaces = false;
  proto.NoUmlaute = false;
  proto.NoRex = true;
  proto.RandomOrig = false;
  proto.NoSZ = false;
  proto.Reflow = false;
  proto.ApplyAge = false;
  proto.ApplyNumber = false;
  proto.Maintain = false;
  proto.MaxAge = 30;
  proto.MaxNumber = 77;
  proto.TextGroup = 5;
  proto.NToH = true;
  proto.SetUplink(&links[0]);
  proto.MaintainFilter.FlagMask = 0x0004;
  proto.MaintainFilter.Flags = 0x0004;
  proto.MaintainFilter.Caption = "Proto maintenance";
  proto.MaintainFilter.ShowTextPage = true;
  proto.MaintainFilter.ApplySubject = true;
  proto.DisplayFilter.FlagMask = 0x1000;
  proto.DisplayFilter.Caption = "Proto display";
  proto.DisplayFilter.ApplyOrigin = true;

  auto area = TArea::CreateFromPrototype(dir.Path(), "NEW.ECHO", "NEW/ECHO", AreaTypeCode::Echomail,
                                         proto);
  EXPECT_EQ(area->Name, "NEW.ECHO");
  EXPECT_EQ(area->FileName, "NEW.ECHO");
  EXPECT_FALSE(area->TabsToSpaces || area->NoUmlaute || area->RandomOrig || area->NoSZ ||
               area->Reflow || area->ApplyAge || area->ApplyNumber || area->Maintain);
  EXPECT_TRUE(area->NoRex);
  EXPECT_EQ(area->MaxAge, 30);
  EXPECT_EQ(area->MaxNumber, 77);
  EXPECT_EQ(area->MaintainFilter.FlagMask, 0x0004u);
  EXPECT_EQ(area->MaintainFilter.Flags, 0x0004u);
  EXPECT_EQ(area->MaintainFilter.Caption, "Proto maintenance");
  EXPECT_TRUE(area->MaintainFilter.ShowTextPage);
  EXPECT_EQ(area->DisplayFilter.FlagMask, 0x1000u);
  EXPECT_EQ(area->DisplayFilter.Caption, "Proto display");
  // Not taken over.
  EXPECT_EQ(area->TextGroup, -1);
  EXPECT_FALSE(area->NToH);
  EXPECT_EQ(area->Uplink, nullptr);
  EXPECT_FALSE(area->MaintainFilter.ApplySubject);
  EXPECT_FALSE(area->DisplayFilter.ApplyOrigin);
}

TEST(AreaTypeTest, CaptionPrefixes) {
  struct Case {
    int type;
    const char* prefix;
  } cases[] = {
      {0, "Echomail Area: "}, {1, "Badmail Area: "}, {2, "Dupes Area: "}, {3, "Netmail Area: "},
      {4, "Unknown Area: "},  {5, "Unknown Area: "}, {6, "Report Area: "}, {7, "Prototype Area: "},
      {8, "Storage Area: "},  {9, "EMail Area: "},   {10, "Newsgroup: "},  {11, "Areas: "},
      {12, "Unknown Area: "}, {-1, "Unknown Area: "},
  };
  for (const Case& c : cases) EXPECT_STREQ(AreaTypeCaptionPrefix(c.type), c.prefix) << c.type;
}

}  // namespace
}  // namespace velmaris::test
