// The registry record of an area: the "Packed" layout byte by byte, the older
// separate values, the uplink reference, creation from a prototype.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Area.h"
#include "core/WinRegistry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

constexpr const char* kSection = "Areas\\Area1";

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Every setting of an area in one line, to compare areas at once.
std::string Describe(const TArea& a) {
  std::string s = a.Name + "|" + a.FileName + "|" + a.BaseDir + "|";
  for (int32_t v :
       {int32_t{a.AreaType}, a.MaxAge, a.MaxNumber, a.TextGroup, a.LastRead, a.LastImport})
    s += std::to_string(v) + ",";
  for (bool b : {a.TabsToSpaces, a.NoSZ, a.NoUmlaute, a.Reflow, a.ApplyAge, a.ApplyNumber,
                 a.Maintain, a.NToH, a.RandomOrig, a.NoRex})
    s += b ? '1' : '0';
  return s;
}

class AreaRegistryTest : public RegistryFixture {
 protected:
  void MakeUplinks(int n) {
    uplinks.Clear();
    links.clear();
    for (int i = 0; i < n; ++i) links.push_back(uplinks.Add(std::make_unique<TNetLink>()));
  }
  std::string Stored(const std::string& name) {
    auto bytes = store.ReadBinary(reg.KeyOf(kSection), name);
    return std::string(bytes.begin(), bytes.end());
  }

  TLinkList uplinks;
  std::vector<TNetLink*> links;
};

TEST_F(AreaRegistryTest, PackedRecordGoldenBytes) {
  MakeUplinks(2);
  TArea area(dir.Path(), "NETMAIL", "NETMAIL", AreaTypeCode::Netmail);
  area.MaxAge = 30;
  area.MaxNumber = 500;
  area.TextGroup = 2;
  area.SetUplink(links[1]);
  area.NoSZ = area.Reflow = area.ApplyNumber = false;
  area.SaveToRegistry(reg, kSection, &uplinks);

  const std::string expected = Hex("1e000000"
                                   "f4010000"
                                   "02000000"
                                   "03000000"
                                   "01000000") +
                               "\x07NETMAIL" + std::string(248, '\0') + "\x07NETMAIL" +
                               std::string(248, '\0') +
                               Hex("01"
                                   "00"
                                   "01"
                                   "00"
                                   "01"
                                   "00"
                                   "01");
  ASSERT_EQ(expected.size(), kAreaRecordSize);
  EXPECT_EQ(Stored("Packed"), expected);
  const std::string text = store.ToText();
  for (const char* line :
       {"\"LastRead\"=dword:00000000", "\"LastImport\"=dword:ffffffff", "\"NToH\"=dword:00000000",
        "\"RandomOrig\"=dword:00000001", "\"NoRex\"=dword:00000000", "Areas\\Area1\\Maintain]",
        "Areas\\Area1\\DisplayMask]"})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  // Without an uplink or without a list the index is -1; names over 255
  // characters are cut.
  area.SetUplink(nullptr);
  area.SaveToRegistry(reg, kSection, &uplinks);
  EXPECT_EQ(Stored("Packed").substr(16, 4), Hex("ffffffff"));
  area.SetUplink(links[0]);
  area.Name = std::string(300, 'N');
  area.SaveToRegistry(reg, kSection, nullptr);
  EXPECT_EQ(Stored("Packed").substr(16, 5), Hex("ffffffffff"));
  EXPECT_EQ(Stored("Packed").substr(21, 255), std::string(255, 'N'));
}

TEST_F(AreaRegistryTest, EveryValueRoundTrips) {
  MakeUplinks(3);
  TArea area(dir.Path(), "R50.SYSOP", "R50.SYSOP", AreaTypeCode::Storage);
  area.MaxAge = -7;
  area.MaxNumber = 123456;
  area.TextGroup = 4;
  area.SetUplink(links[2]);
  area.TabsToSpaces = area.NoSZ = area.NoUmlaute = area.Reflow = area.ApplyAge = false;
  area.Maintain = area.RandomOrig = false;
  area.NToH = area.NoRex = true;
  area.LastRead = 42;
  area.LastImport = 17;
  area.MaintainFilter.FlagMask = 0x1234;
  area.MaintainFilter.Flags = 0x0204;
  area.DisplayFilter.ApplySubject = true;
  area.DisplayFilter.Subject.SetText("hello");
  area.DisplayFilter.TossDate.Mode = TDateSearch::Recent;
  area.SaveToRegistry(reg, kSection, &uplinks);

  auto loaded = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
  EXPECT_EQ(Describe(*loaded), Describe(area));
  EXPECT_EQ(loaded->Uplink, links[2]);
  EXPECT_TRUE(loaded->MaintainFilter.SameConditions(area.MaintainFilter));
  EXPECT_TRUE(loaded->DisplayFilter.SameConditions(area.DisplayFilter));
  // The masks are named after the loaded area; maintenance offers flags only.
  EXPECT_EQ(loaded->DisplayFilter.Caption, "Display Filter For Area R50.SYSOP");
  EXPECT_EQ(loaded->MaintainFilter.Caption, "Mainteance Filter For Area R50.SYSOP");
  const TSearchRequest& m = loaded->MaintainFilter;
  EXPECT_TRUE(m.ShowFlagsPage);
  EXPECT_FALSE(m.ShowOriginPage || m.ShowDestinationPage || m.ShowSubjectPage || m.ShowTextPage);
  // The display filter offers all but the text, which the list never reads.
  const TSearchRequest& d = loaded->DisplayFilter;
  EXPECT_TRUE(d.ShowFlagsPage && d.ShowOriginPage && d.ShowDestinationPage && d.ShowSubjectPage);
  EXPECT_FALSE(d.ShowTextPage);
}

TEST_F(AreaRegistryTest, StoredUplinkIndexSelectsTheEntry) {
  struct Case {
    int32_t stored;
    int listSize;  // -1: no list
    int expected;  // -1: none
  } cases[] = {{1, 3, 1},   {2, 3, 2},   {3, 3, 0},  {7, 3, 0},
               {-1, 3, -1}, {-5, 3, -1}, {2, 0, -1}, {1, -1, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stored << " of " << c.listSize);
    MakeUplinks(std::max(c.listSize, 0));
    TArea area(dir.Path(), "ECHO", "ECHO");
    const auto record = area.PackRecord(c.stored);
    reg.WriteBinary(kSection, "Packed", record.data(), record.size());
    TNetLink before;
    area.SetUplink(&before);
    area.LoadFromRegistry(reg, kSection, c.listSize < 0 ? nullptr : &uplinks);
    EXPECT_EQ(area.Uplink, c.expected < 0 ? nullptr : links[static_cast<size_t>(c.expected)]);
  }
}

TEST_F(AreaRegistryTest, OlderSeparateValues) {
  MakeUplinks(2);
  reg.WriteString(kSection, "Name", "RU.HUMOR");
  reg.WriteString(kSection, "Filename", "RU:HUMOR");
  for (const char* name : {"ApplyAge", "ApplyNumber", "TabsToSpaces", "NoSZ", "NoUmlaute", "Reflow",
                           "Maintain", "RandomOrig"})
    reg.WriteBool(kSection, name, false);
  const std::pair<const char*, int> integers[] = {
      {"Textgroup", 3}, {"Type", 8},       {"Uplink", 1}, {"MaxNumber", 200}, {"MaxAge", 10},
      {"LastRead", 5},  {"LastImport", 2}, {"NToH", 1},   {"NoRex", 1}};
  for (auto [name, value] : integers) reg.WriteInteger(kSection, name, value);
  TSearchRequest mask;
  mask.FlagMask = 0x0040;
  mask.SaveToRegistry(reg, std::string(kSection) + "\\Maintain");

  // "Packed" missing, of a wrong size or of another type: the older values.
  for (const std::string packed : {"", "538", "540", "string"}) {
    SCOPED_TRACE(packed);
    if (packed == "string") reg.WriteString(kSection, "Packed", packed);
    if (packed == "538" || packed == "540") {
      std::string bytes(std::stoul(packed), '\0');
      reg.WriteBinary(kSection, "Packed", bytes.data(), bytes.size());
    }
    auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
    EXPECT_EQ(Describe(*area), "RU.HUMOR|RU.HUMOR|" + dir.Path() + "|8,10,200,3,5,2,0000000101");
    EXPECT_EQ(area->Uplink, links[1]);
    EXPECT_EQ(area->MaintainFilter.FlagMask, 0x0040u);
    reg.DeleteValue(kSection, "Packed");
  }
}

TEST_F(AreaRegistryTest, OlderValuesDefaults) {
  MakeUplinks(2);
  reg.WriteString(kSection, "Name", "SU.GENERAL");
  auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
  // No file name stored: the name gives it.
  EXPECT_EQ(Describe(*area),
            "SU.GENERAL|SU.GENERAL|" + dir.Path() + "|0,90,1000,-1,0,-1,1111111010");
  EXPECT_EQ(area->Uplink, links[0]);
  EXPECT_EQ(area->MaintainFilter.FlagMask, 0x00D6u);  // the new area's mask
  EXPECT_EQ(area->MaintainFilter.Flags, 0u);

  // With an empty name nothing more is read.
  reg.WriteString(kSection, "Name", "");
  reg.WriteInteger(kSection, "Type", 6);
  reg.WriteInteger(kSection, "MaxAge", 3);
  area = TArea::CreateFromRegistry(reg, kSection, dir.Path(), &uplinks);
  EXPECT_EQ(Describe(*area), "||" + dir.Path() + "|0,90,1000,-1,0,-1,1111111010");
  EXPECT_EQ(area->Uplink, nullptr);
}

TEST_F(AreaRegistryTest, StoredFileNamesAreMappedAndTypesBounded) {
  struct Case {
    std::string name, fileName;
    int32_t type;
    std::string expectFile;
    uint8_t expectType;
    int32_t storedRaw = -1;  // the stored "RawTag", -1 for none
    bool expectRaw = false;
  } cases[] = {
      {"A/B", "A/B", 0, "A.B", 0},    {"X", "..\\..\\etc\\passwd", 9, "......etc.passwd", 9},
      {"NOFILE", "", 3, "NOFILE", 3},  // made from the name
      {"PROTO", "", 7, "", 7},         // the prototype has no files
      {"T", "T", 0x105, "T", 0},       // no type we know
      {"T", "T", -1, "T", 0},         {"T", "T", 200, "T", 200},
      // An area saved before its tag's judgement was kept: the UTF-8 tag
      // RU.СССР is judged raw once, by its bytes, and saved so; its files
      // keep the name an earlier rule gave them.
      {"RU.СССР", "RU.РЎРЎРЎР\xC2\xA0", 0, "RU.РЎРЎРЎР\xC2\xA0", 0, -1, true},
      {"RU.\xD2\xC5\xD1\xD2", "RU.ТЕСТ", 0, "RU.ТЕСТ", 0, -1, false},
      // A kept judgement is taken as it stands: the same bytes from the
      // CP866 tag RU.РЎРЎРЎР are no raw tag.
      {"RU.СССР", "RU.РЎРЎРЎР\xC2\xA0", 0, "RU.РЎРЎРЎР\xC2\xA0", 0, 0, false},
      {"RU.СССР", "RU.СССР", 0, "RU.СССР", 0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName);
    if (c.storedRaw < 0)
      reg.DeleteValue(kSection, "RawTag");
    else
      reg.WriteInteger(kSection, "RawTag", c.storedRaw);
    auto record = TArea(dir.Path(), c.name, "").PackRecord(-1);
    record[276] = static_cast<uint8_t>(c.fileName.size());
    std::copy(c.fileName.begin(), c.fileName.end(), record.begin() + 277);
    for (int i = 0; i < 4; ++i) record[12 + i] = static_cast<uint8_t>(c.type >> (8 * i));
    reg.WriteBinary(kSection, "Packed", record.data(), record.size());
    auto area = TArea::CreateFromRegistry(reg, kSection, dir.Path());
    EXPECT_EQ(area->FileName, c.expectFile);
    EXPECT_EQ(area->AreaType, c.expectType);
    EXPECT_EQ(area->RawTag, c.expectRaw);
    EXPECT_EQ(reg.ReadInteger(kSection, "RawTag", -1), c.expectRaw ? 1 : 0);
  }
}

TEST_F(AreaRegistryTest, PrototypeGivesSwitchesAndMaskFlagsOnly) {
  MakeUplinks(1);
  TArea proto("", "Prototyp", "", AreaTypeCode::Prototype);
  proto.TabsToSpaces = proto.NoUmlaute = proto.RandomOrig = proto.NoSZ = proto.Reflow = false;
  proto.ApplyAge = proto.ApplyNumber = proto.Maintain = false;
  proto.NoRex = proto.NToH = true;
  proto.MaxAge = 30;
  proto.MaxNumber = 77;
  proto.TextGroup = 5;
  proto.SetUplink(links[0]);
  proto.MaintainFilter.FlagMask = proto.MaintainFilter.Flags = 0x0004;
  proto.MaintainFilter.Caption = "Proto maintenance";
  proto.MaintainFilter.ShowTextPage = true;
  proto.MaintainFilter.ApplySubject = true;
  proto.DisplayFilter.FlagMask = 0x1000;
  proto.DisplayFilter.Caption = "Proto display";
  proto.DisplayFilter.ApplyOrigin = true;

  auto area = TArea::CreateFromPrototype(dir.Path(), "NEW.ECHO", "NEW/ECHO", 0, proto);
  // Text group, uplink, NToH and the masks' text conditions stay new.
  EXPECT_EQ(Describe(*area), "NEW.ECHO|NEW.ECHO|" + dir.Path() + "|0,30,77,-1,0,-1,0000000001");
  EXPECT_EQ(area->Uplink, nullptr);
  EXPECT_EQ(area->MaintainFilter.FlagMask, 0x0004u);
  EXPECT_EQ(area->MaintainFilter.Flags, 0x0004u);
  EXPECT_EQ(area->MaintainFilter.Caption, "Proto maintenance");
  EXPECT_TRUE(area->MaintainFilter.ShowTextPage);
  EXPECT_EQ(area->DisplayFilter.FlagMask, 0x1000u);
  EXPECT_EQ(area->DisplayFilter.Caption, "Proto display");
  EXPECT_FALSE(area->MaintainFilter.ApplySubject || area->DisplayFilter.ApplyOrigin);
}

}  // namespace
}  // namespace velmaris::test
