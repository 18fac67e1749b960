// The message base's file names on disk: UTF-8 names a user reads as the
// area's name, and areas whose files an earlier version named in the ANSI
// page (CP1251 bytes) moved to them once at load, losing nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ConfigStoreFixture.h"
#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Registry.h"

namespace velmaris::test {
namespace {

// Area names as stored (CP1251) and the names their files get on disk.
struct NameCase {
  const char* what;
  std::string name;
  std::string file;
};

std::vector<NameCase> NameTable() {
  const std::string longName = "RU." + std::string(150, '\xC6');  // "RU.ЖЖЖ…", 303 bytes as UTF-8
  const std::string longUtf8 = platform::AnsiToUtf8(longName);
  return {
      {"Latin", "R50.SYSOP", "R50.SYSOP"},
      {"Cyrillic", "RU.\xD4\xCB\xC5\xC9\xCC", "RU.ФЛЕЙМ"},
      {"a blank", "\xCC\xCE\xDF \xCF\xCE\xD7\xD2\xC0", "МОЯ ПОЧТА"},
      {"a forbidden character", "\xCC\xCE\xDF/\xCF\xCE\xD7\xD2\xC0", "МОЯ.ПОЧТА"},
      {"a character the ANSI page lacks", "\xC0\x98\xC1", "А.Б"},
      {"a long Cyrillic name over the bound", longName, ""},
  };
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : platform::ScanDir(dir)) names.push_back(e.name);
  return names;
}

// A folder made read-only for its scope, files and all: a read-only mount
// for root (whom file modes do not stop), else the folder's mode.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& dir) : dir_(platform::WithoutSlash(dir)) {
    if (geteuid() != 0) {
      made_ = ::chmod(dir_.c_str(), 0555) == 0;
      return;
    }
    const std::string saved = dir_ + ".saved";
    if (RunShell("cp -a " + ShellQuote(dir_) + " " + ShellQuote(saved)) != 0) return;
    mounted_ =
        RunShell("mount -t tmpfs -o size=4m tmpfs " + ShellQuote(dir_) + " 2>/dev/null") == 0;
    made_ = mounted_ &&
            RunShell("cp -a " + ShellQuote(saved + "/.") + " " + ShellQuote(dir_)) == 0 &&
            RunShell("mount -o remount,ro " + ShellQuote(dir_)) == 0;
    std::filesystem::remove_all(saved);
  }
  ~ReadOnlyFolder() {
    if (mounted_)
      RunShell("umount " + ShellQuote(dir_));
    else
      ::chmod(dir_.c_str(), 0755);
  }
  bool Made() const { return made_; }

 private:
  std::string dir_;
  bool mounted_ = false, made_ = false;
};

class AreaFileNameMoveTest : public ConfigStoreFixture {
 protected:
  void SetUp() override {
    ConfigStoreFixture::SetUp();
    platform::SetAnsiCodePage(platform::CodePage::CP1251);
  }
  std::string Base() const { return Start() + "Msgbase/"; }

  // An area stored as an earlier version left it: its files named with the
  // CP1251 bytes of its name, its "Filename" those bytes, three messages.
  void SeedOlderArea(const std::string& name, bool packedRecord) {
    platform::MakeDirs(Base());
    {
      TArea area(Base(), name, name);
      area.FileName = name;  // as the earlier version named the files
      for (int n = 0; n < 3; ++n) {
        auto mail = MakeMail(n, 200 + static_cast<size_t>(n) * 70);
        mail->Header.Subject = "\xD2\xE5\xEC\xE0 " + std::to_string(n);  // "Тема n"
        written.push_back(mail->Clone());
        area.QueueMail(std::move(mail), false);
      }
      ASSERT_TRUE(area.WriteQueuedMail());
    }
    ASSERT_TRUE(platform::FileExists(Base() + name + ".PackedBody"));
    Seed([&](TWinRegistry& reg) {
      const std::string section = "Areas\\Area1";
      if (packedRecord) {
        TArea area(Base(), name, "x");
        area.FileName = name;
        area.SaveToRegistry(reg, section);
      } else {
        reg.WriteString(section, "Name", name);
        reg.WriteString(section, "Filename", name);
      }
      reg.WriteInteger("Areas", "Count", 1);
    });
  }

  // Every message reads back byte for byte.
  void ExpectMessages(TArea& area) {
    ASSERT_TRUE(area.OpenIndex());
    ASSERT_EQ(area.Count, static_cast<int32_t>(written.size()));
    ASSERT_TRUE(area.OpenBody());
    for (int i = 0; i < area.Count; ++i) {
      auto mail = area.ReadMail(i);
      EXPECT_EQ(mail->Body, written[static_cast<size_t>(i)]->Body) << i;
      EXPECT_EQ(mail->Header.Subject.Str(), written[static_cast<size_t>(i)]->Header.Subject.Str());
    }
    area.CloseBody();
    area.CloseIndex();
  }

  std::vector<std::unique_ptr<TMail>> written;
};

TEST_F(AreaFileNameMoveTest, NewAreasGetFilesNamedAsTheAreaInUtf8) {
  auto config = Load();
  for (const NameCase& c : NameTable()) {
    SCOPED_TRACE(c.what);
    TArea* area = config->AddAreaQuiet(c.name, c.name, AreaTypeCode::Echomail, nullptr);
    ASSERT_NE(area, nullptr);
    ASSERT_TRUE(area->Lock(true));
    ASSERT_TRUE(area->StoreMail(MakeMail(1)));
    area->Unlock();
    const std::string file = c.file.empty() ? area->FileName : c.file;
    EXPECT_EQ(area->FileName, file);
    EXPECT_TRUE(platform::IsUtf8(file));
    if (c.file.empty()) {
      // Cut to the bound at a whole letter, the name's beginning kept.
      EXPECT_LE(file.size(), kAreaFileNameMax);
      const std::string kept = file.substr(0, file.size() - 9);
      EXPECT_EQ(platform::AnsiToUtf8(c.name).compare(0, kept.size(), kept), 0);
    }
    for (const char* ext : {".PackedIndex", ".PackedBody"})
      EXPECT_TRUE(platform::FileExists(Base() + file + ext)) << ext;
  }
  // Nothing on disk is named in the ANSI page.
  for (const std::string& name : FilesIn(Base())) EXPECT_TRUE(platform::IsUtf8(name)) << name;
  // The names stay with their areas.
  LoadedConfig other = Load();
  for (const NameCase& c : NameTable()) {
    TArea* area = other->FindArea(c.name);
    ASSERT_NE(area, nullptr) << c.what;
    EXPECT_EQ(area->FileName, config->FindArea(c.name)->FileName) << c.what;
    EXPECT_FALSE(area->FileNameMoved);
  }
  config->MakeCurrent();
}

TEST_F(AreaFileNameMoveTest, FilesNamedInTheAnsiPageAreMovedOnceAtLoad) {
  for (bool packed : {true, false}) {
    for (const NameCase& c : NameTable()) {
      if (c.name == "R50.SYSOP") continue;  // nothing to move
      SCOPED_TRACE(testing::Message() << c.what << (packed ? ", Packed" : ", older values"));
      std::filesystem::remove_all(Base());
      std::filesystem::remove(RegistryPath());
      written.clear();
      log.clear();
      // The bytes an earlier version kept (forbidden characters mapped).
      const std::string older = c.name.find('/') != std::string::npos
                                    ? std::string("\xCC\xCE\xDF.\xCF\xCE\xD7\xD2\xC0")
                                    : c.name;
      if (older.size() > kAreaFileNameMax) continue;  // an earlier version cut it in bytes
      SeedOlderArea(older, packed);
      auto config = Load();
      TArea* area = config->FindArea(older);
      ASSERT_NE(area, nullptr);
      const std::string file = TArea::AreaNameToFileName(older, false);
      EXPECT_EQ(area->FileName, file);
      EXPECT_TRUE(area->FileNameMoved);
      EXPECT_TRUE(log.empty());
      for (const std::string& name : FilesIn(Base())) EXPECT_TRUE(platform::IsUtf8(name)) << name;
      EXPECT_TRUE(platform::FileExists(Base() + file + ".PackedIndex"));
      ExpectMessages(*area);
      // The new name is in the registry file: the next load moves nothing.
      LoadedConfig other = Load();
      EXPECT_EQ(other->FindArea(older)->FileName, file);
      EXPECT_FALSE(other->FindArea(older)->FileNameMoved);
      ExpectMessages(*other->FindArea(older));
      config->MakeCurrent();
    }
  }
}

// The move cut off after each of its steps (kill -9 between two renames, or
// before the registry file was written): each file is under one of the two
// names, and the next load finishes the move with every message whole.
TEST_F(AreaFileNameMoveTest, AMoveCutOffAfterAnyStepIsFinishedAtTheNextLoad) {
  const std::string name = "RU.\xD4\xCB\xC5\xC9\xCC";
  const struct {
    const char* what;
    std::vector<const char*> moved;
    bool olderIndex;        // a file of the older format beside them
    bool readOnly = false;  // on read-only media: read where they are, nothing written
  } cuts[] = {
      {"both moved, the new name not saved", {".PackedIndex", ".PackedBody"}, false},
      {"the index moved only", {".PackedIndex"}, false},
      {"the body moved only (an undo cut off)", {".PackedBody"}, false},
      {"index and body moved, an older file not yet", {".PackedIndex", ".PackedBody"}, true},
      {"the index moved only, an older file not yet", {".PackedIndex"}, true},
      {"the index moved only, on read-only media", {".PackedIndex"}, false, true},
  };
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.what);
    std::filesystem::remove_all(Base());
    std::filesystem::remove(RegistryPath());
    written.clear();
    log.clear();
    SeedOlderArea(name, true);
    if (cut.olderIndex) platform::WriteFileAtomic(Base() + name + ".Index", "older index");
    for (const char* ext : cut.moved)
      ASSERT_TRUE(platform::RenameNoReplace(Base() + name + ext, Base() + "RU.ФЛЕЙМ" + ext));
    if (cut.readOnly) {
      const std::string files = platform::ReadFile(RegistryPath());
      ReadOnlyFolder readOnly(Base());
      if (!readOnly.Made()) GTEST_SKIP() << "no read-only folder can be made here";
      auto config = Load();
      TArea* area = config->FindArea(name);
      ASSERT_NE(area, nullptr);
      EXPECT_EQ(area->FileName, name);
      EXPECT_FALSE(area->FileNameMoved);
      ExpectMessages(*area);
      EXPECT_EQ(FilesIn(Base()),
                (std::vector<std::string>{"RU.ФЛЕЙМ.PackedIndex", name + ".PackedBody"}));
      EXPECT_EQ(platform::ReadFile(RegistryPath()), files);
      config->MakeCurrent();
      continue;
    }
    auto config = Load();
    TArea* area = config->FindArea(name);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->FileName, "RU.ФЛЕЙМ");
    EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.front());
    for (const std::string& file : FilesIn(Base())) EXPECT_TRUE(platform::IsUtf8(file)) << file;
    if (cut.olderIndex) {
      EXPECT_EQ(platform::ReadFile(Base() + "RU.ФЛЕЙМ.Index"), "older index");
    }
    ExpectMessages(*area);
    LoadedConfig other = Load();
    EXPECT_EQ(other->FindArea(name)->FileName, "RU.ФЛЕЙМ");
    EXPECT_FALSE(other->FindArea(name)->FileNameMoved);
    ExpectMessages(*other->FindArea(name));
    config->MakeCurrent();
  }
}

// The README's recipe for moving the message base: end the program, move the
// folder's files, start it again (the old folder is empty then) and change
// the folder. An area whose files an earlier version named in the ANSI page
// keeps its stored name while none of its files has moved, so the moved
// files are found in the new folder and renamed at the next load.
TEST_F(AreaFileNameMoveTest, TheRecipeForMovingTheBaseByHandKeepsEveryArea) {
  const std::string moved = Start() + "Почта/";
  for (const NameCase& c : NameTable()) {
    if (c.name == "R50.SYSOP" || c.name.find('/') != std::string::npos ||
        c.name.size() > kAreaFileNameMax)
      continue;
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Base());
    std::filesystem::remove_all(moved);
    std::filesystem::remove(RegistryPath());
    written.clear();
    SeedOlderArea(c.name, true);
    ASSERT_TRUE(
        platform::RenameNoReplace(platform::WithoutSlash(Base()), platform::WithoutSlash(moved)));
    {
      auto config = Load();
      TArea* area = config->FindArea(c.name);
      ASSERT_NE(area, nullptr);
      EXPECT_FALSE(area->FileNameMoved);
      SettingsValues values = *config->Values();
      values.SetText(SettingId::MsgBaseDir, moved);
      ASSERT_TRUE(config->ApplySettings(values));
      ASSERT_EQ(config->MessageBaseDir(), moved);
      ExpectMessages(*area);
      ASSERT_TRUE(config->SaveAndClose());
    }
    auto config = Load();
    TArea* area = config->FindArea(c.name);
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(area->FileNameMoved);
    EXPECT_EQ(area->FileName, TArea::AreaNameToFileName(c.name, false));
    ExpectMessages(*area);
    config->MakeCurrent();
  }
}

// A message base folder an earlier version stored in the ANSI page: a
// relative one lies below the start folder, whatever the working folder.
// One missing for a run (its drive away) is used converted for that run,
// which says so, and its stored bytes stay through the save at the run's
// end: when the drive is back, its mail is found again.
TEST_F(AreaFileNameMoveTest, AStoredBaseFolderIsFoundAgainAfterARunWithoutIt) {
  const std::string folder = "\xCF\xEE\xF7\xF2\xE0";  // "Почта" in CP1251
  const std::string name = "RU.\xD4\xCB\xC5\xC9\xCC";
  ASSERT_NE(std::filesystem::current_path().string() + "/", Start());
  const struct {
    const char* what;
    std::string stored;
    bool away;
  } rows[] = {
      {"relative, from another working folder", folder + "/", false},
      {"relative, away for one run", folder + "/", true},
      {"absolute, away for one run", Start() + folder + "/", true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    for (const std::string& dir : {Base(), Start() + folder, Start() + "Почта"})
      std::filesystem::remove_all(dir);
    std::filesystem::remove(RegistryPath());
    written.clear();
    log.clear();
    SeedOlderArea(name, true);
    Seed([&](TWinRegistry& reg) {
      reg.WriteString("Paths", "Messagebase", r.stored);
      reg.WriteInteger("Areas\\Area1", "LastRead", 2);
    });
    if (r.away) {
      auto config = Load();
      EXPECT_EQ(config->MessageBaseDir(), Start() + "Почта/");
      const std::string said = "The message base folder " + platform::LogName(Start() + "Почта/");
      EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
        return line.find(said) != std::string::npos && line.find(name) != std::string::npos;
      }));
      ASSERT_TRUE(config->SaveAndClose());
      platform::Registry saved(RegistryPath());
      EXPECT_EQ(saved.ReadString(std::string(kConfigRootKey) + "\\Paths", "Messagebase"), r.stored);
    }
    ASSERT_TRUE(platform::RenameNoReplace(platform::WithoutSlash(Base()), Start() + folder));
    auto config = Load();
    EXPECT_EQ(config->MessageBaseDir(), Start() + folder + "/");
    TArea* area = config->FindArea(name);
    ASSERT_NE(area, nullptr);
    ExpectMessages(*area);
    config->MakeCurrent();
  }
}

TEST_F(AreaFileNameMoveTest, AMoveWhoseTargetExistsLosesNothing) {
  const std::string name = "RU.\xD4\xCB\xC5\xC9\xCC";
  const struct {
    const char* what;
    const char* ext;
    bool folder;
  } cases[] = {
      {"an index under the new name", ".PackedIndex", false},
      {"a stray temporary index under the new name", ".$PX", false},
      {"a folder under the new name", ".PackedBody", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Base());
    std::filesystem::remove(RegistryPath());
    written.clear();
    log.clear();
    SeedOlderArea(name, true);
    const std::string inTheWay = Base() + "RU.ФЛЕЙМ" + c.ext;
    if (c.folder)
      platform::MakeDirs(inTheWay);
    else
      platform::WriteFileAtomic(inTheWay, "someone else's file");
    const std::string body = platform::ReadFile(Base() + name + ".PackedBody");
    const std::string index = platform::ReadFile(Base() + name + ".PackedIndex");

    auto config = Load();
    TArea* area = config->FindArea(name);
    ASSERT_NE(area, nullptr);
    // The area keeps its files under the older name, untouched, and says why.
    EXPECT_EQ(area->FileName, name);
    EXPECT_FALSE(area->FileNameMoved);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("RU.\xD4\xCB\xC5\xC9\xCC"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find(std::string("RU.\xD4\xCB\xC5\xC9\xCC") + c.ext + " exists already"),
              std::string::npos)
        << log[0];
    EXPECT_EQ(platform::ReadFile(Base() + name + ".PackedBody"), body);
    EXPECT_EQ(platform::ReadFile(Base() + name + ".PackedIndex"), index);
    if (!c.folder) {
      EXPECT_EQ(platform::ReadFile(inTheWay), "someone else's file");
    }
    ExpectMessages(*area);
    // Saving keeps the older name, so the next load finds the files again.
    config->SaveConfiguration();
    LoadedConfig other = Load();
    EXPECT_EQ(other->FindArea(name)->FileName, name);
    ExpectMessages(*other->FindArea(name));
    config->MakeCurrent();
  }
}

TEST_F(AreaFileNameMoveTest, ASecondAreaOnOneFileNameIsCutAtAWholeLetter) {
  auto config = Load();
  // 121 letters and a mapped character fill the bound to its last byte; the
  // second name maps to the same file name and makes room for "~2".
  const std::string letters(121, '\xC6');  // Ж
  TArea* first = config->AddAreaQuiet(letters + "/", letters + "/", AreaTypeCode::Echomail, nullptr);
  TArea* second =
      config->AddAreaQuiet(letters + ":", letters + ":", AreaTypeCode::Echomail, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  std::string same;
  for (int i = 0; i < 121; ++i) same += "Ж";
  EXPECT_EQ(first->FileName, same + ".");
  EXPECT_EQ(second->FileName, same.substr(0, 240) + "~2");
  EXPECT_TRUE(platform::IsUtf8(second->FileName));
  config->MakeCurrent();
}

TEST_F(AreaFileNameMoveTest, DeletingAnAreaRemovesEveryFileItHas) {
  platform::MakeDirs(Base());
  TArea area(Base(), "RU.\xD4\xCB\xC5\xC9\xCC", "RU.\xD4\xCB\xC5\xC9\xCC");
  for (const char* ext : {".PackedIndex", ".PackedBody", ".$PX", ".ODY", ".Index", ".Body"})
    platform::WriteFileAtomic(area.FilePath(ext), "x");
  area.DeleteFiles();
  EXPECT_EQ(FilesIn(Base()), std::vector<std::string>{});
}

}  // namespace
}  // namespace velmaris::test
