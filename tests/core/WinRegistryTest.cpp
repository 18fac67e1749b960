#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/WinRegistry.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";

class WinRegistryTest : public ::testing::Test {
 protected:
  TempDir dir;
  platform::Registry store{dir / "Velmaris.reg"};
};

TEST_F(WinRegistryTest, MissingValuesGiveTheDefault) {
  TWinRegistry reg(kRoot, store);
  reg.WriteString("Areas", "Present", "x");
  struct {
    const char* section;
    const char* name;
  } missing[] = {{"No\\Such\\Section", "Value"}, {"Areas", "Absent"}, {"", "Absent"}};
  for (auto& m : missing) {
    EXPECT_EQ(reg.ReadString(m.section, m.name, "dflt"), "dflt") << m.section;
    EXPECT_EQ(reg.ReadInteger(m.section, m.name, -17), -17) << m.section;
    EXPECT_TRUE(reg.ReadBool(m.section, m.name, true)) << m.section;
    EXPECT_FALSE(reg.ReadBool(m.section, m.name, false)) << m.section;
    uint8_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(reg.ReadBinary(m.section, m.name, buf, sizeof buf), 0u) << m.section;
    EXPECT_EQ(buf[0], 9);
  }
  // Reading creates nothing.
  EXPECT_FALSE(store.KeyExists(std::string(kRoot) + "\\No"));
}

TEST_F(WinRegistryTest, ValuesRoundTripBelowTheRoot) {
  TWinRegistry reg(kRoot, store);
  const uint8_t packed[5] = {0x00, 0x01, 0xFF, 0x80, 0x7F};
  reg.WriteString("Areas\\Area1", "Name", "NET\"MAIL\\1");
  reg.WriteInteger("Areas\\Area1", "LastRead", -5);
  reg.WriteBool("Areas\\Area1", "NToH", true);
  reg.WriteBinary("Areas\\Area1", "Packed", packed, sizeof packed);
  reg.Flush();

  platform::Registry again(dir / "Velmaris.reg");
  TWinRegistry reread(kRoot, again);
  EXPECT_EQ(reread.ReadString("Areas\\Area1", "Name", ""), "NET\"MAIL\\1");
  EXPECT_EQ(reread.ReadInteger("Areas\\Area1", "LastRead", 0), -5);
  EXPECT_TRUE(reread.ReadBool("Areas\\Area1", "NToH", false));
  uint8_t buf[16] = {};
  ASSERT_EQ(reread.ReadBinary("Areas\\Area1", "Packed", buf, sizeof buf), 5u);
  EXPECT_EQ(std::memcmp(buf, packed, 5), 0);
  // The values sit below the root key, with "\" between the parts.
  EXPECT_TRUE(again.ValueExists(std::string(kRoot) + "\\Areas\\Area1", "Name"));
  // Booleans are integer values.
  EXPECT_EQ(again.ValueType(std::string(kRoot) + "\\Areas\\Area1", "NToH"),
            platform::RegType::DWord);
  EXPECT_EQ(again.ReadDWord(std::string(kRoot) + "\\Areas\\Area1", "NToH"), 1u);
}

TEST_F(WinRegistryTest, BinaryLongerThanTheBufferIsNotRead) {
  TWinRegistry reg(kRoot, store);
  std::vector<uint8_t> big(539, 0xAB);
  reg.WriteBinary("Areas\\Area1", "Packed", big.data(), big.size());
  std::vector<uint8_t> buf(538, 0);
  EXPECT_EQ(reg.ReadBinary("Areas\\Area1", "Packed", buf.data(), buf.size()), 0u);
  EXPECT_EQ(buf[0], 0);
  buf.resize(539);
  EXPECT_EQ(reg.ReadBinary("Areas\\Area1", "Packed", buf.data(), buf.size()), 539u);
}

TEST_F(WinRegistryTest, ValueOfAnotherTypeRaises) {
  TWinRegistry reg(kRoot, store);
  reg.WriteString("S", "Text", "12");
  reg.WriteInteger("S", "Number", 12);
  uint8_t buf[8];
  EXPECT_THROW(reg.ReadInteger("S", "Text", 0), platform::ERegistry);
  EXPECT_THROW(reg.ReadBool("S", "Text", false), platform::ERegistry);
  EXPECT_THROW(reg.ReadString("S", "Number", ""), platform::ERegistry);
  EXPECT_THROW(reg.ReadBinary("S", "Number", buf, sizeof buf), platform::ERegistry);
}

TEST_F(WinRegistryTest, StringListsUseCountAndItems) {
  TWinRegistry reg(kRoot, store);
  const std::string key = std::string(kRoot) + "\\Lines";
  SaveStringsToRegistry({"one", "two", "three", "four", "five"}, reg, "Lines");
  SaveStringsToRegistry({"uno", ""}, reg, "Lines");
  EXPECT_EQ(store.ReadDWord(key, "Count"), 2u);
  EXPECT_EQ(store.ReadString(key, "Item1"), "uno");
  EXPECT_EQ(store.ReadString(key, "Item2"), "");
  // The lines of the longer list are gone; other values stay.
  for (const char* stale : {"Item3", "Item4", "Item5"}) EXPECT_FALSE(store.ValueExists(key, stale));
  EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{"Count", "Item1", "Item2"}));

  std::vector<std::string> lines = {"old"};
  LoadStringsFromRegistry(lines, reg, "Lines");
  EXPECT_EQ(lines, (std::vector<std::string>{"uno", ""}));

  SaveStringsToRegistry({}, reg, "Empty");
  EXPECT_EQ(store.ValueNames(std::string(kRoot) + "\\Empty"), (std::vector<std::string>{"Count"}));
  LoadStringsFromRegistry(lines, reg, "Empty");
  EXPECT_TRUE(lines.empty());
  LoadStringsFromRegistry(lines, reg, "Missing");
  EXPECT_TRUE(lines.empty());
}

TEST_F(WinRegistryTest, DamagedCountIsBoundedByTheValuesStored) {
  TWinRegistry reg(kRoot, store);
  reg.WriteInteger("Lines", "Count", 2000000000);
  reg.WriteString("Lines", "Item1", "a");
  reg.WriteString("Lines", "Item3", "c");  // Item2 missing: read as empty
  std::vector<std::string> lines;
  LoadStringsFromRegistry(lines, reg, "Lines");
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "c"}));
  reg.WriteInteger("Lines", "Count", -3);
  LoadStringsFromRegistry(lines, reg, "Lines");
  EXPECT_TRUE(lines.empty());
}

TEST_F(WinRegistryTest, DestructorSavesWhatWasWritten) {
  {
    TWinRegistry reg(kRoot, store);
    reg.WriteString("Updates", "Marker", "yes");
  }
  platform::Registry again(dir / "Velmaris.reg");
  EXPECT_EQ(again.ReadString(std::string(kRoot) + "\\Updates", "Marker"), "yes");
}

// A path an older version stored in the ANSI page is read as the folder it
// names; a path in UTF-8, a missing value and the default stay as they are.
// A stored path that names something on disk, or lies below a folder that
// exists (a folder an earlier version made with a CP1251 name, a start
// folder below a KOI8-R one), keeps the bytes of what exists: only the rest,
// which names nothing yet, is read in the ANSI page, part by part. A
// relative value is looked up from the start folder, whatever the working
// folder; a command line word by word. What is read is for the run only:
// neither reading nor saving the value as it was read changes the stored
// bytes; a value the user changed is saved.
TEST_F(WinRegistryTest, APathStoredInTheAnsiPageIsReadForTheRunOnly) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  const std::string cp1251Mail = "\xCF\xEE\xF7\xF2\xE0";  // "Почта" in CP1251
  const std::string koi8Fido = "\xC6\xC9\xC4\xCF";        // "фидо" in KOI8-R
  const std::string cp1251Packers = "\xCC\xEE\xE8 \xE0\xF0\xF5";  // "Мои арх" in CP1251
  const std::string here = dir / "";
  platform::MakeDirs(here + cp1251Mail + "/Msgbase");
  platform::MakeDirs(here + koi8Fido + "/point");
  platform::MakeDirs(here + "Мои архиваторы");
  platform::MakeDirs(here + cp1251Packers);
  platform::WriteFileAtomic(here + cp1251Mail + "/list.txt", "x");
  platform::WriteFileAtomic(here + cp1251Packers + "/zip", "x");
  const struct {
    std::string stored, read;
    bool commandLine = false;
  } rows[] = {
      {"/home/\xC8\xE2\xE0\xED/\xC0\xF0\xF5\xE8\xE2/", "/home/Иван/Архив/"},
      {"/home/Иван/Архив/", "/home/Иван/Архив/"},
      {"C:\\FIDO\\IN\\", "C:\\FIDO\\IN\\"},
      // A message base folder an earlier version made, with its mail.
      {here + cp1251Mail + "/Msgbase/", here + cp1251Mail + "/Msgbase/"},
      {here + cp1251Mail + "/list.txt", here + cp1251Mail + "/list.txt"},
      // The same below the start folder, stored relative.
      {cp1251Mail + "/Msgbase/", cp1251Mail + "/Msgbase/"},
      // A start folder below a folder named in KOI8-R: the tree as it is.
      {here + koi8Fido + "/point/", here + koi8Fido + "/point/"},
      // Below an existing folder, a part that names nothing yet.
      {here + koi8Fido + "/point/\xC8\xED/", here + koi8Fido + "/point/Ин/"},
      {here + cp1251Mail + "/\xC8\xED", here + cp1251Mail + "/Ин"},
      {here + "\xCF\xEE\xF7\xF2\xE0\xEC/", here + "Почтам/"},
      {cp1251Mail + "\xEC/", "Почтам/"},
      // UTF-8 parents not made yet: only the part in the ANSI page is read in it.
      {here + "Новая/" + cp1251Mail + "/", here + "Новая/Почта/"},
      {"Новая/" + cp1251Mail + "/", "Новая/Почта/"},
      // A file-name edit of an earlier version put the path in quotes.
      {"\"" + here + "Мои архиваторы/\xD2\xE5\xEA\xF1\xF2.txt\"",
       "\"" + here + "Мои архиваторы/Текст.txt\""},
      // Command lines, word by word.
      {"\"" + here + "Мои архиваторы/zip\" -j -q \xD2\xE5\xEA\xF1\xF2",
       "\"" + here + "Мои архиваторы/zip\" -j -q Текст", true},
      {"\"" + here + cp1251Mail + "/list.txt\" \"" + here + "Новая/" + cp1251Mail + "\"",
       "\"" + here + cp1251Mail + "/list.txt\" \"" + here + "Новая/Почта\"", true},
      {here + cp1251Packers + "/zip -a \xD2\xE5\xEA\xF1\xF2",
       here + cp1251Packers + "/zip -a Текст", true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(platform::EscapeNameControls(r.read));
    {
      TWinRegistry reg(kRoot, store);
      reg.WriteString("Paths", "Inbound", r.stored);
      reg.Flush();
    }
    const std::string file = dir.Read("Velmaris.reg");
    auto read = [&](const TWinRegistry& reg) {
      return r.commandLine ? reg.ReadCommandLine("Paths", "Inbound", "dflt")
                           : reg.ReadPath("Paths", "Inbound", "dflt");
    };
    {
      // The working folder is not the start folder.
      platform::Registry loaded(dir / "Velmaris.reg");
      TWinRegistry reg(kRoot, loaded, here);
      EXPECT_EQ(read(reg), r.read);
      EXPECT_EQ(read(reg), r.read);
      EXPECT_EQ(reg.ReadString("Paths", "Inbound", ""), r.stored);
      // Saved as it was read (a relative folder as the settings hold it).
      const bool relative =
          !r.commandLine && r.read != r.stored && r.read.front() != '/' && r.read.front() != '"';
      reg.WriteString("Paths", "Inbound", relative ? here + r.read : r.read);
      reg.Flush();
    }
    EXPECT_EQ(dir.Read("Velmaris.reg"), file);  // neither reading nor saving it changed it
    {
      platform::Registry loaded(dir / "Velmaris.reg");
      TWinRegistry reg(kRoot, loaded, here);
      read(reg);
      reg.WriteString("Paths", "Inbound", here + "Другая/");  // the user changed it
      reg.Flush();
    }
    platform::Registry again(dir / "Velmaris.reg");
    EXPECT_EQ(TWinRegistry(kRoot, again).ReadString("Paths", "Inbound", ""), here + "Другая/");
  }
  TWinRegistry reg(kRoot, store);
  EXPECT_EQ(reg.ReadPath("Paths", "Missing", "\xC0"), "\xC0");  // the caller's default as given
  EXPECT_FALSE(store.ValueExists(std::string(kRoot) + "\\Paths", "Missing"));
}

}  // namespace
}  // namespace velmaris::test
