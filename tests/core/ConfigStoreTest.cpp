// The configuration store: a fresh configuration, the load and save of the
// whole configuration, the fix-ups of stored areas and packers, the changes
// made through the store and their immediate saving.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "ConfigStoreFixture.h"
#include "MsgBaseFixtures.h"
#include "core/KQMail.h"
#include "core/MailLock.h"
#include "core/ShellServices.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "processing/GlobalDupeChecker.h"

namespace velmaris::test {
namespace {

using platform::MsgKind;

std::vector<std::string> Names(const TPubLst& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetString(i));
  return names;
}

// A golden file; empty when it is missing (the test then fails and leaves the
// actual text for review).
std::string Golden(const std::string& name) {
  const std::string path = std::string(VELMARIS_SOURCE_DIR) + "/tests/fixtures/config/" + name;
  return platform::FileExists(path) ? platform::ReadFile(path) : std::string();
}

class ConfigStoreTest : public ConfigStoreFixture {};

// Whether a folder can keep received files, and why not: nothing is made on
// the way, through a link least of all.
TEST_F(ConfigStoreTest, InboundProblemSaysWhyAFolderCannotKeepFiles) {
  namespace fs = std::filesystem;
  const std::string base = dir / "in";
  fs::create_directories(base + "/fine");
  dir.Write("in/file", "x");
  fs::create_directory_symlink(dir / "usb/Fido", base + "/drive");  // not mounted
  fs::create_directory_symlink(base + "/fine", base + "/good");
  const std::string unmounted = ", which is missing (is its drive mounted?)";
  struct Case {
    std::string folder, said;  // said: empty when usable
  } cases[] = {
      {base + "/fine/", ""},
      {base + "/fine", ""},
      {base + "/good/", ""},  // a link to a folder that is there
      {base + "/gone/", "The inbound folder " + base + "/gone is missing"},
      {base + "/file/", "The inbound folder " + base + "/file is not a folder"},
      {base + "/drive/",
       "The inbound folder " + base + "/drive is a link to " + dir / "usb/Fido" + unmounted},
      {base + "/drive/Inbound/", "The inbound folder " + base +
                                     "/drive/Inbound lies behind the link " + base + "/drive to " +
                                     dir / "usb/Fido" + unmounted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(InboundProblem(c.folder), c.said);
  }
  EXPECT_FALSE(fs::exists(dir / "usb"));
  EXPECT_FALSE(fs::exists(base + "/gone"));
}

// --- A fresh configuration ---------------------------------------------------------------

TEST_F(ConfigStoreTest, EmptyRegistryGivesACompleteConfiguration) {
  // The values themselves are checked by the golden registry text below.
  auto config = Load();
  for (const char* folder : {"Inbound", "Outbound", "Msgbase", "Filebase", "DistribNL", "KQNL",
                             "Plugins", "Outbound.000"})
    EXPECT_TRUE(platform::DirExists(Start() + folder)) << folder;
  EXPECT_EQ(Names(config->Areas()), (std::vector<std::string>{"NETMAIL", "BAD", "DUPES"}));
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(ConfigStoreTest, SavedFreshConfigurationMatchesTheGoldenRegistry) {
  {
    auto config = Load();
    ResetSerials();
    ASSERT_TRUE(config->SaveConfiguration());
  }
  const std::string text = RegistryText();
  const std::string golden = Golden("FreshConfiguration.reg");
  if (text != golden) platform::WriteFileAtomic("/tmp/velmaris-actual.reg", text);
  // Compared whole; on a difference the actual text is left for diff.
  EXPECT_TRUE(text == golden) << "actual text in /tmp/velmaris-actual.reg";
}

TEST_F(ConfigStoreTest, LoadSaveLoadIsByteIdentical) {
  {
    auto config = Load();
    config->AddAreaQuiet("FIDO.GER", "FIDO.GER", AreaTypeCode::Echomail,
                         config->Uplinks().GetItem(0));
    config->AddAreaQuiet(kSeparatorName, kSeparatorName, AreaTypeCode::Separator, nullptr);
    config->AddAreaQuiet("LOCAL", "LOCAL", AreaTypeCode::Storage, nullptr);
    TNetLink* link = config->AddNewLink();
    link->AreaFixTitles = {"Your areas"};
    TMailBox* box = config->AddDefaultMailbox();
    box->Numbers = {"+49-30-1234", "+49-30-5678"};
    auto person = std::make_unique<TFriend>();
    person->SetName("Anna");
    person->Comments = {"first", "second"};
    config->AddressBook().AddFriend(std::move(person));
    auto group = std::make_unique<TGroup>();
    group->AddFriend(std::make_unique<TFriend>());
    config->AddressGroups().Add("Friends", std::move(group));
    config->SettingsModel().SetNumber(SettingId::Zone, 10);
    config.unpackJobs->AddJob(
        "Files", std::make_unique<TUnpackJob>("/fido/files/*.zip", "/fido/out/", "", 0));
    ASSERT_TRUE(config->SaveConfiguration());
  }
  const std::string first = RegistryText();
  {
    auto config = Load();
    ASSERT_TRUE(config->SaveConfiguration());
  }
  EXPECT_EQ(RegistryText(), first);
  auto config = Load();
  EXPECT_EQ(Names(config->Areas()),
            (std::vector<std::string>{"NETMAIL", "BAD", "DUPES", "FIDO.GER", "!SEP!", "LOCAL"}));
  EXPECT_EQ(config->Areas().GetItem(3)->Uplink, config->Uplinks().GetItem(0));
  EXPECT_EQ(Names(config->Uplinks()), (std::vector<std::string>{"Da Boss!!!", "<New Uplink>"}));
  EXPECT_EQ(config->Mailboxes().GetItem(0)->Numbers.size(), 2u);
  EXPECT_EQ(config->AddressBook().GetFriend(0)->Comments,
            (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(Names(config->AddressGroups()), std::vector<std::string>{"Friends"});
  EXPECT_EQ(config->Values()->Zone(), 10);
  ASSERT_EQ(Names(*config.unpackJobs), std::vector<std::string>{"Files"});
  EXPECT_EQ(config.unpackJobs->GetJob(0)->Mask, "/fido/files/*.zip");
  EXPECT_EQ(GetUnpackJobList(), config.unpackJobs);
}

// --- Stored areas ------------------------------------------------------------------------

struct StoredArea {
  std::string name;
  uint8_t type;
  bool olderForm;  // separate values instead of the "Packed" record
};

struct AreaCase {
  const char* what;
  std::vector<StoredArea> stored;
  std::vector<std::string> names;  // the area list after the load
  std::vector<int> types;
  // A name looked up after the load and the area found (its index in names).
  std::string lookup{};
  int found = -1;
};

void StoreAreas(TWinRegistry& reg, const std::vector<StoredArea>& areas, const std::string& dir) {
  int n = 0;
  for (const StoredArea& stored : areas) {
    const std::string section = "Areas\\Area" + std::to_string(++n);
    if (stored.olderForm) {
      reg.WriteString(section, "Name", stored.name);
      reg.WriteString(section, "Filename", stored.name);
      reg.WriteInteger(section, "Type", stored.type);
      reg.WriteInteger(section, "MaxAge", 12);
    } else {
      TArea area(dir, stored.name, stored.name, stored.type);
      area.MaxAge = 12;
      area.SaveToRegistry(reg, section);
    }
  }
  reg.WriteInteger("Areas", "Count", n);
}

TEST_F(ConfigStoreTest, StoredAreasAreFixedUpAtLoad) {
  const AreaCase cases[] = {
      {"system areas go on top when missing",
       {{"FIDO.GER", 0, false}},
       {"NETMAIL", "BAD", "DUPES", "FIDO.GER"},
       {3, 1, 2, 0}},
      {"a stored NETMAIL with type 0 is Netmail",
       {{"NETMAIL", 0, false}, {"Bad", 0, false}, {"dupes", 8, false}, {"report", 0, false}},
       {"NETMAIL", "Bad", "dupes", "report"},
       {3, 1, 2, 6}},
      {"duplicate names are dropped, letter case ignored",
       {{"FIDO.GER", 0, false}, {"fido.ger", 8, false}, {"FIDO.GER", 0, true}},
       {"NETMAIL", "BAD", "DUPES", "FIDO.GER"},
       {3, 1, 2, 0}},
      {"empty names are dropped",
       {{"", 0, false}, {"LOCAL", 8, false}, {"", 0, true}},
       {"NETMAIL", "BAD", "DUPES", "LOCAL"},
       {3, 1, 2, 8}},
      {"separators are kept, several of them",
       {{"!SEP!", 0, false}, {"A", 0, false}, {"!SEP!", 3, false}},
       {"NETMAIL", "BAD", "DUPES", "!SEP!", "A", "!SEP!"},
       {3, 1, 2, 5, 0, 5}},
      {"the older form of separate values loads",
       {{"OLD.AREA", 8, true}, {"NETMAIL", 0, true}},
       {"BAD", "DUPES", "OLD.AREA", "NETMAIL"},
       {1, 2, 8, 3}},
      // RU.ТЕСТ and RU.тест in CP1251, split by an earlier version: both keep
      // their mail; a lookup in any case finds the first.
      {"areas apart only in the case of Cyrillic letters both stay",
       {{"RU.\xD2\xC5\xD1\xD2", 0, false}, {"RU.\xF2\xE5\xF1\xF2", 0, false}},
       {"NETMAIL", "BAD", "DUPES", "RU.\xD2\xC5\xD1\xD2", "RU.\xF2\xE5\xF1\xF2"},
       {3, 1, 2, 0, 0},
       "ru.\xF2\xE5\xD1\xF2",
       3},
  };
  for (const AreaCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(RegistryPath());
    Seed([&](TWinRegistry& reg) { StoreAreas(reg, c.stored, dir.Path()); });
    auto config = Load();
    EXPECT_EQ(Names(config->Areas()), c.names);
    std::vector<int> types;
    for (int i = 0; i < config->Areas().GetCount(); ++i)
      types.push_back(config->Areas().GetItem(i)->AreaType);
    EXPECT_EQ(types, c.types);
    if (c.found >= 0) {
      EXPECT_EQ(config->FindArea(c.lookup), config->Areas().GetItem(c.found));
    }
    for (const std::string& name : c.names) {
      if (name == "FIDO.GER" || name == "OLD.AREA" || name == "LOCAL") {
        EXPECT_EQ(config->FindArea(name)->MaxAge, 12) << name;
      }
    }
  }
}

TEST_F(ConfigStoreTest, HugeStoredAreaCountIsBounded) {
  Seed([](TWinRegistry& reg) { reg.WriteInteger("Areas", "Count", 0x7fffffff); });
  auto config = Load();
  // Entries that are not stored are no areas.
  EXPECT_EQ(Names(config->Areas()), (std::vector<std::string>{"NETMAIL", "BAD", "DUPES"}));
}

// --- Packers -------------------------------------------------------------------------------

// Older stored pack commands are fixed at load: PKZip's "a" that the call
// adds itself, and LHArc's "lha", an alternative that may name lhasa (which
// cannot pack). Only the standard packer of that name is touched.
TEST_F(ConfigStoreTest, OlderPackCommandsAreFixedAtLoad) {
  const struct {
    const char* packer;
    const char* stored;
    const char* loaded;
  } cases[] = {
      {"PKZip", "pkzip a", "pkzip"},     {"PKZip", "pkzip", "pkzip"},
      {"PKZip", "pkzip -a", "pkzip -a"}, {"PKZip", "zip -j", "zip -j"},
      {"LHArc", "lha aq", "jlha aq"},    {"LHArc", "lha a", "lha a"},
      {"LHArc", "jlha aq", "jlha aq"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.packer) + ": " + c.stored);
    std::filesystem::remove(RegistryPath());
    Seed([&](TWinRegistry& reg) {
      reg.WriteInteger("Packers", "Count", 2);
      reg.WriteString("Packers\\Packer1", "Name", c.packer);
      reg.WriteString("Packers\\Packer1", "Pack", c.stored);
      reg.WriteString("Packers\\Packer2", "Name", "Other");
      reg.WriteString("Packers\\Packer2", "Pack", c.stored);
      reg.WriteBool(kUpdatesSection, "Standard Packers", true);
      for (const char* m : {"Integrated UnARJ", "Integrated UnLHA", "Integrated UnRAR"})
        reg.WriteBool(kUpdatesSection, m, true);
    });
    auto config = Load();
    EXPECT_EQ(Names(*config.packers), (std::vector<std::string>{c.packer, "Other"}));
    EXPECT_EQ(config.packers->PackerByName(c.packer)->GetPack(), c.loaded);
    EXPECT_EQ(config.packers->PackerByName("Other")->GetPack(), c.stored);
  }
}

TEST_F(ConfigStoreTest, IntegratedExtractorsAreOfferedOnceUntilSaved) {
  Seed([](TWinRegistry& reg) {
    reg.WriteInteger("Packers", "Count", 1);
    reg.WriteString("Packers\\Packer1", "Name", "ARJ");
    reg.WriteString("Packers\\Packer1", "UnPack", "unarj e");
    reg.WriteBool(kUpdatesSection, "Standard Packers", true);
    reg.WriteBool(kUpdatesSection, "Integrated UnLHA", true);
  });
  // ARJ: yes, RAR: no.
  prompter.Script({platform::mbYes, platform::mbNo});
  {
    auto config = Load();
    const auto questions = prompter.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].kind, MsgKind::Confirmation);
    EXPECT_EQ(questions[0].buttons, platform::mbYes | platform::mbNo);
    EXPECT_NE(questions[0].text.find("integrierte version of UnARJ"), std::string::npos);
    EXPECT_NE(questions[1].text.find("integrated RAR decompressor!\nDo you wish"),
              std::string::npos);
    EXPECT_EQ(Names(*config.packers), std::vector<std::string>{"ARJ"});
    EXPECT_EQ(config.packers->PackerByName("ARJ")->GetUnPack(), "Integrated UnARJ");
  }
  // Not saved: asked again.
  prompter.Clear();
  prompter.Script({platform::mbNo, platform::mbYes});
  {
    auto config = Load();
    EXPECT_EQ(prompter.Questions().size(), 2u);
    EXPECT_EQ(config.packers->PackerByName("ARJ")->GetUnPack(), "unarj e");
    ASSERT_NE(config.packers->PackerByName("RAR"), nullptr);
    EXPECT_EQ(config.packers->PackerByName("RAR")->GetUnPack(), "Integrated UnRAR");
    ASSERT_TRUE(config->SaveConfiguration());
  }
  prompter.Clear();
  auto config = Load();
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_EQ(Names(*config.packers), (std::vector<std::string>{"ARJ", "RAR"}));
}

TEST_F(ConfigStoreTest, SaveWithoutThePackerSectionKeepsThePackers) {
  {
    auto config = Load();
    ASSERT_TRUE(config->SaveConfiguration());
  }
  platform::Registry registry(RegistryPath());
  TConfigStore store(Start(), registry);
  store.LoadConfiguration();
  store.AddAreaQuiet("NEW", "NEW", AreaTypeCode::Echomail, nullptr);
  auto again = Load();
  EXPECT_EQ(again.packers->GetCount(), 5);
  EXPECT_NE(again->FindArea("NEW"), nullptr);
}

// --- Outbound directories ------------------------------------------------------------------

TEST_F(ConfigStoreTest, UplinksInOtherZonesGetTheirOwnOutbound) {
  const std::tuple<int, const char*, const char*> cases[] = {
      {2, "2:5020/1", "Outbound/"}, {2, "1:105/1", "Outbound.001/"}, {2, "10:1/1", "Outbound.00A/"},
      {10, "10:1/1", "Outbound/"},  {1, "2:240/1", "Outbound.002/"},
  };
  for (const auto& [zone, address, outbound] : cases) {
    SCOPED_TRACE(address);
    std::filesystem::remove(RegistryPath());
    Seed([&](TWinRegistry& reg) {
      reg.WriteInteger("Tosser", "Zone", zone);
      reg.WriteInteger("Uplinks", "Count", 1);
      reg.WriteString("Uplinks\\Uplink1", "Name", "Boss");
      reg.WriteString("Uplinks\\Uplink1", "Uplinkaddress", address);
    });
    auto config = Load();
    ASSERT_EQ(config->Uplinks().GetCount(), 1);
    EXPECT_EQ(config->Uplinks().GetItem(0)->Outbound(), Start() + outbound);
    EXPECT_TRUE(platform::DirExists(Start() + outbound));
  }
}

// --- Changes through the store ------------------------------------------------------------

TEST_F(ConfigStoreTest, AddAreaSavesAtOnce) {
  auto config = Load();
  TArea* area =
      config->AddArea("Fido.Ger", "Fido.Ger", AreaTypeCode::Echomail, config->Uplinks().GetItem(0));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->FileName, "Fido.Ger");
  EXPECT_EQ(area->BaseDir, Start() + "Msgbase/");
  // A second program instance (after a crash) finds it in the file.
  LoadedConfig other = Load();
  EXPECT_NE(other->FindArea("FIDO.GER"), nullptr);
  config->MakeCurrent();
}

TEST_F(ConfigStoreTest, DistinctNamesNeverShareAFileName) {
  auto config = Load();
  const struct {
    const char* name;
    const char* file;
  } cases[] = {{"A/B", "A.B"}, {"A.B", "A.B~2"}, {"a:b", "a.b~3"}, {"C", "C"}};
  for (const auto& c : cases) {
    TArea* area = config->AddAreaQuiet(c.name, c.name, AreaTypeCode::Echomail, nullptr);
    ASSERT_NE(area, nullptr) << c.name;
    EXPECT_EQ(area->FileName, c.file) << c.name;
  }
  // The names stay with their areas.
  LoadedConfig other = Load();
  EXPECT_EQ(other->FindArea("A.B")->FileName, "A.B~2");
  config->MakeCurrent();
}

TEST_F(ConfigStoreTest, AddAreaRefusesAnExistingName) {
  auto config = Load();
  EXPECT_EQ(config->AddArea("netmail", "x", AreaTypeCode::Echomail, nullptr), nullptr);
  auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, MsgKind::Error);
  EXPECT_EQ(questions[0].text, "The area \"netmail\" already exists!");
  EXPECT_EQ(questions[0].buttons, platform::mbAbort);
  prompter.Clear();
  EXPECT_EQ(config->AddAreaQuiet("NETMAIL", "x", AreaTypeCode::Echomail, nullptr), nullptr);
  EXPECT_EQ(config->AddAreaQuiet("", "x", AreaTypeCode::Echomail, nullptr), nullptr);
  EXPECT_NE(config->AddAreaQuiet(kSeparatorName, "", AreaTypeCode::Separator, nullptr), nullptr);
  EXPECT_NE(config->AddAreaQuiet(kSeparatorName, "", AreaTypeCode::Separator, nullptr), nullptr);
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_EQ(config->Areas().GetCount(), 5);
}

TEST_F(ConfigStoreTest, SettingsPageAreaCommands) {
  auto config = Load();
  config->AddAreaQuiet("ECHO", "ECHO", AreaTypeCode::Echomail, nullptr);
  config->AddAreaQuiet(kSeparatorName, "", AreaTypeCode::Separator, nullptr);
  config->AddAreaQuiet("REPORT", "REPORT", AreaTypeCode::Report, nullptr);
  // name: can be killed, has properties
  const std::tuple<const char*, bool, bool> cases[] = {
      {"NETMAIL", false, true}, {"BAD", false, true},   {"DUPES", false, true},
      {"ECHO", true, true},     {"!SEP!", true, false}, {"REPORT", true, true},
  };
  for (int i = 0; i < config->Areas().GetCount(); ++i) {
    const TArea& area = *config->Areas().GetItem(i);
    const auto& [name, kill, properties] = cases[i];
    EXPECT_EQ(area.Name, name);
    EXPECT_EQ(TConfigStore::CanKillArea(area), kill) << name;
    EXPECT_EQ(TConfigStore::HasAreaProperties(area), properties) << name;
  }
  EXPECT_FALSE(config->KillSeparator(3));  // ECHO
  EXPECT_FALSE(config->KillSeparator(99));
  EXPECT_TRUE(config->KillSeparator(4));
  EXPECT_EQ(Names(config->Areas()),
            (std::vector<std::string>{"NETMAIL", "BAD", "DUPES", "ECHO", "REPORT"}));
  auto other = Load();
  EXPECT_EQ(other->Areas().GetCount(), 5);
  config->MakeCurrent();
}

TEST_F(ConfigStoreTest, AddedAreaTakesThePrototype) {
  Seed([&](TWinRegistry& reg) {
    TArea prototype(dir.Path(), "Prototyp", "", AreaTypeCode::Prototype);
    prototype.MaxAge = 7;
    prototype.NoRex = true;
    prototype.SaveToRegistry(reg, "Areas\\Prototype");
  });
  auto config = Load();
  TArea* area = config->AddAreaQuiet("A/B", "A/B", AreaTypeCode::Echomail, nullptr);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->FileName, "A.B");
  EXPECT_TRUE(area->NoRex);
  EXPECT_EQ(config->Prototype().MaxAge, 7);
}

struct RecordingShell : TShellServices {
  int refreshes = 0;
  void RefreshAreaList() override { ++refreshes; }
};

TEST_F(ConfigStoreTest, WorkerAddsAnAreaThroughTheMainThread) {
  auto config = Load();
  RecordingShell shell;
  SetShellServices(&shell);
  TArea* added = nullptr;
  bool onMain = false;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    {
      // A tosser run that creates two areas, saved once at its end.
      TConfigChangeBatch batch(*config);
      added = config->AddAreaQuiet("TOSSED", "TOSSED", AreaTypeCode::Echomail, nullptr);
      config->AddArea("TOSSED.TOO", "TOSSED.TOO", AreaTypeCode::Echomail, nullptr);
    }
    onMain = added != nullptr;
    done = true;
    dispatcher.Wake();
  });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return done.load(); }));
  worker.join();
  SetShellServices(nullptr);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(shell.refreshes, 2);
  EXPECT_EQ(config->FindArea("TOSSED"), added);
  auto other = Load();
  EXPECT_NE(other->FindArea("TOSSED"), nullptr);
  EXPECT_NE(other->FindArea("TOSSED.TOO"), nullptr);
  config->MakeCurrent();
}

TEST_F(ConfigStoreTest, ChangeBatchSavesOnceAtItsEnd) {
  auto config = Load();
  {
    TConfigChangeBatch batch(*config);
    config->AddAreaQuiet("ONE", "ONE", AreaTypeCode::Echomail, nullptr);
    {
      TConfigChangeBatch inner(*config);
      config->AddAreaQuiet("TWO", "TWO", AreaTypeCode::Echomail, nullptr);
    }
    auto other = Load();
    EXPECT_EQ(other->FindArea("ONE"), nullptr);
    config->MakeCurrent();
  }
  auto other = Load();
  EXPECT_NE(other->FindArea("ONE"), nullptr);
  EXPECT_NE(other->FindArea("TWO"), nullptr);
}

// The end: the last save writes every change (a bracket still open does not
// hold it back); whatever asks for a save afterwards writes nothing, so a
// list freed after it is never written half gone.
TEST_F(ConfigStoreTest, LastSaveWritesEverythingAndNothingIsSavedAfterIt) {
  auto config = Load();
  config->BeginChanges();
  config->AddAreaQuiet("KEPT", "KEPT", AreaTypeCode::Echomail, nullptr);
  EXPECT_TRUE(config->SaveAndClose());
  EXPECT_TRUE(config->IsClosed());
  const std::string saved = RegistryText();
  {
    LoadedConfig other = Load();
    EXPECT_NE(other->FindArea("KEPT"), nullptr);
  }
  config->MakeCurrent();
  const struct {
    const char* name;
    std::function<void()> change;
  } afterwards[] = {
      {"an area added",
       [&] { config->AddAreaQuiet("LATE", "LATE", AreaTypeCode::Echomail, nullptr); }},
      {"a mailbox added", [&] { config->AddDefaultMailbox(); }},
      {"an uplink added", [&] { config->AddNewLink(); }},
      {"the areas freed", [&] { config->Areas().FreeAll(); }},
      {"a bracket ended", [&] { config->EndChanges(); }},
      {"the last save again", [&] { EXPECT_FALSE(config->SaveAndClose()); }},
  };
  for (const auto& step : afterwards) {
    SCOPED_TRACE(step.name);
    log.clear();
    step.change();
    EXPECT_FALSE(config->SaveConfiguration());
    EXPECT_EQ(RegistryText(), saved);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("not saved"), std::string::npos) << log.back();
  }
}

TEST_F(ConfigStoreTest, SaveFailureIsReported) {
  // The registry file's directory cannot be made: a plain file has its name.
  dir.Write("not-a-dir", "x");
  platform::Registry registry(dir / "not-a-dir/Velmaris.reg");
  TConfigStore store(Start(), registry);
  std::vector<std::string> lines;
  store.SetLogSink([&](const std::string& line) { lines.push_back(line); });
  store.LoadConfiguration();
  EXPECT_FALSE(store.SaveConfiguration());
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, MsgKind::Error);
  EXPECT_NE(questions[0].text.find("The configuration could not be saved"), std::string::npos);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], questions[0].text);
  // A structural change reports it the same way and keeps the change.
  EXPECT_NE(store.AddAreaQuiet("X", "X", AreaTypeCode::Echomail, nullptr), nullptr);
  EXPECT_EQ(prompter.Questions().size(), 2u);
}

TEST_F(ConfigStoreTest, ApplySettingsSavesAndMovesTheOutbounds) {
  auto config = Load();
  SettingsValues values = *config->Values();
  values.SetNumber(SettingId::Zone, 3);
  values.SetText(SettingId::OutboundDir, "Out");
  ASSERT_TRUE(config->ApplySettings(values));
  EXPECT_EQ(config->Uplinks().GetItem(0)->Outbound(), Start() + "Out.000/");
  EXPECT_TRUE(platform::DirExists(Start() + "Out"));
  EXPECT_TRUE(platform::DirExists(Start() + "Out.000"));
  auto other = Load();
  EXPECT_EQ(other->Values()->Zone(), 3);
}

// The message base folder changed in the running program: while the old
// folder holds the base's mail (an area's files, a journal of a run that
// was cut off) the folder stays, says why, and every message is still read
// after the next start; without it every area, the lock the program holds
// and the files that hold no mail (the duplicate database every run leaves)
// follow to the new folder, never over its own.
TEST_F(ConfigStoreTest, TheMessageBaseMovesOnlyWithoutItsMail) {
  const struct {
    const char* what;
    const char* file;  // beside the message base; "" for an area's mail
    bool mail;
    bool moves;
    bool there = false;  // the new folder has a file of that name already
    // NETMAIL's message was moved there by hand, the store started on the
    // old folder then, NETMAIL's index held open (a message list) on it.
    bool byHand = false;
  } rows[] = {
      {"an area holds messages", "", true, false},
      {"the duplicate database", "Velmaris.Dupes", false, true},
      {"the duplicate database, and the new folder's own", "Velmaris.Dupes", false, false, true},
      {"an import that was cut off", "Velmaris.Import.Journal", false, false},
      {"nothing of the base", "", false, true},
      {"the mail moved there by hand, an index open", "", false, true, false, true},
  };
  int n = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::filesystem::remove_all(Start());
    std::filesystem::remove(RegistryPath());
    log.clear();
    const std::string moved = Start() + "Почта " + std::to_string(++n) + "/";
    auto config = Load();
    const std::string old = config->MessageBaseDir();
    TMailLock lock(Start(), RegistryPath());
    ASSERT_EQ(lock.Acquire(), TMailLock::Result::Acquired);
    SetMailLockInForce(&lock);
    TArea* netmail = config->FindArea("NETMAIL");
    if (r.mail) {
      ASSERT_TRUE(netmail->Lock(true));
      ASSERT_TRUE(netmail->StoreMail(MakeMail(1)));
      netmail->Unlock();
    }
    if (*r.file) platform::WriteFileAtomic(old + r.file, "x");
    if (r.there) {
      platform::MakeDirs(moved);
      platform::WriteFileAtomic(moved + r.file, "its own");
    }
    std::string movedIndex;
    if (r.byHand) {
      ASSERT_TRUE(netmail->Lock(true));
      ASSERT_TRUE(netmail->StoreMail(MakeMail(1)));
      netmail->Unlock();
      ASSERT_TRUE(config->SaveConfiguration());
      platform::MakeDirs(moved);
      for (const char* ext : {".PackedIndex", ".PackedBody"})
        ASSERT_TRUE(platform::RenameNoReplace(old + "NETMAIL" + ext, moved + "NETMAIL" + ext));
      movedIndex = platform::ReadFile(moved + "NETMAIL.PackedIndex");
      config.store.reset();
      config = Load();
      EXPECT_NE(config->MessageBaseGone().find("had messages (NETMAIL)"), std::string::npos);
      log.clear();
      netmail = config->FindArea("NETMAIL");
      ASSERT_TRUE(netmail->OpenIndex());
      EXPECT_EQ(netmail->Count, 0);
    }
    EXPECT_EQ(config->MessageBaseMoveRefusal(moved).empty(), r.moves);
    SettingsValues values = *config->Values();
    values.SetText(SettingId::MsgBaseDir, moved);
    EXPECT_EQ(config->ApplySettings(values), r.moves);
    SetMailLockInForce(nullptr);
    const std::string base = r.moves ? moved : old;
    EXPECT_EQ(config->MessageBaseDir(), base);
    EXPECT_EQ(log.size(), r.moves ? 0u : 1u);
    EXPECT_EQ(lock.MessageBaseDir(), base);
    if (r.byHand) {
      // The open index is the new folder's now; closing it writes nothing
      // of the old one there, and no run says the base is gone.
      EXPECT_EQ(netmail->Count, 1);
      EXPECT_EQ(config->MessageBaseStillGone(), "");
      netmail->CloseIndex();
      EXPECT_EQ(platform::ReadFile(moved + "NETMAIL.PackedIndex"), movedIndex);
      EXPECT_FALSE(platform::FileExists(old + "NETMAIL.PackedIndex"));
    }
    if (*r.file) {
      EXPECT_EQ(platform::ReadFile(base + r.file), "x");
      EXPECT_EQ(platform::FileExists(old + r.file), !r.moves);
      if (r.there) {
        EXPECT_EQ(platform::ReadFile(moved + r.file), "its own");
      }
    }
    for (const std::string& dir : {old, moved}) {
      platform::InstanceGuard probe(platform::InstanceGuard::StartDirectoryPath(dir));
      EXPECT_EQ(probe.Acquire() == platform::InstanceGuard::Result::AlreadyRunning, dir == base)
          << dir;
    }
    // New mail goes where the next start reads it.
    ASSERT_TRUE(netmail->Lock(true));
    ASSERT_TRUE(netmail->StoreMail(MakeMail(2)));
    netmail->Unlock();
    EXPECT_TRUE(platform::FileExists(base + "NETMAIL.PackedBody"));
    auto other = Load();
    EXPECT_EQ(other->MessageBaseDir(), base);
    TArea* again = other->FindArea("NETMAIL");
    ASSERT_TRUE(again->OpenIndex());
    EXPECT_EQ(again->Count, r.mail || r.byHand ? 2 : 1);
    again->CloseIndex();
    config->MakeCurrent();
  }
}

// What an area held is kept with its record in the registry, apart from
// the message base folder: a folder that lost the area's files is told
// from one that never had any, whatever read the area before, and a
// registry from before the record falls back to the read and import marks
// once, and keeps what they said from then on.
TEST_F(ConfigStoreTest, WhatAnAreaHeldIsKeptApartFromItsFiles) {
  const struct {
    const char* what;
    bool mail;         // a message imported
    bool read;         // then opened and its message read, and saved
    bool olderRecord;  // the registry is of a version without the record
    bool named;
  } rows[] = {
      {"imported", true, false, false, true},
      {"imported, then read", true, true, false, true},
      {"an older registry: the import mark", true, false, true, true},
      {"an older registry: read", true, true, true, false},
      {"opened, never held mail", false, true, false, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::filesystem::remove_all(Start());
    std::filesystem::remove(RegistryPath());
    {
      auto config = Load();
      TArea* area = config->AddAreaQuiet("RU.ECHO", "RU.ECHO", AreaTypeCode::Echomail, nullptr);
      if (r.mail) {
        area->QueueMail(MakeMail(1, 40, MsgFlag::Unread), false);
        ASSERT_TRUE(area->WriteQueuedMail(true, true));
      }
      if (r.read) {
        ASSERT_TRUE(area->OpenIndex());
        if (area->Count > 0) area->ChangeHeaderFlags(0, MsgFlag::Unread, FlagOperation::Clear);
        area->LastRead = 0;
        area->CloseIndex();
      }
      ASSERT_TRUE(config->SaveConfiguration());
    }
    const std::string section = "Areas\\Area4";
    if (r.olderRecord) Seed([&](TWinRegistry& reg) { reg.DeleteValue(section, "HeldMessages"); });
    EXPECT_EQ(platform::Registry(RegistryPath()).ToText().find("HeldMessages") == std::string::npos,
              r.olderRecord);
    const std::string base = Start() + "Msgbase/";
    const std::string away = Start() + "away/";
    platform::MakeDirs(away);
    for (const char* ext : {".PackedIndex", ".PackedBody"})
      if (platform::FileExists(base + "RU.ECHO" + ext)) {
        ASSERT_TRUE(platform::RenameNoReplace(base + "RU.ECHO" + ext, away + "RU.ECHO" + ext));
      }
    for (int start = 1; start <= 2; ++start) {
      SCOPED_TRACE(start == 1 ? "the first start" : "the next start, after the area was opened");
      log.clear();
      auto config = Load();
      EXPECT_EQ(config->MessageBaseGone().find("had messages (RU.ECHO)") != std::string::npos,
                r.named)
          << config->MessageBaseGone();
      EXPECT_EQ(config->MessageBaseStillGone(), config->MessageBaseGone());
      // Opening the area writes no empty index in place of its files, nor
      // does any other writer of the index: a purge, a write at once, the
      // reply keys, the maintenance and the optimisation.
      TArea* area = config->FindArea("RU.ECHO");
      const int32_t lastImport = area->LastImport;
      EXPECT_EQ(area->VanishedMessages(), r.named ? 1 : 0);
      ASSERT_TRUE(area->OpenIndex());
      area->PurgeDeleted();
      EXPECT_TRUE(area->WriteIndexNow());
      EXPECT_EQ(platform::FileExists(base + "RU.ECHO.PackedIndex"), !r.named);
      area->CloseIndex();
      // A look uses up no import marks of the messages that may come back.
      if (r.named) {
        EXPECT_EQ(area->LastImport, lastImport);
      }
      area->RebuildReplyKeys();
      ASSERT_TRUE(area->Lock(true));
      area->MaintainMessages();
      area->Optimize();
      area->Unlock();
      EXPECT_EQ(platform::FileExists(base + "RU.ECHO.PackedIndex"), !r.named);
      ASSERT_TRUE(config->SaveConfiguration());
    }
    // The files come back: the message imported and never read is new.
    for (const char* ext : {".PackedIndex", ".PackedBody"}) {
      std::filesystem::remove(base + "RU.ECHO" + ext);
      if (platform::FileExists(away + "RU.ECHO" + ext)) {
        ASSERT_TRUE(platform::RenameNoReplace(away + "RU.ECHO" + ext, base + "RU.ECHO" + ext));
      }
    }
    auto config = Load();
    EXPECT_EQ(config->MessageBaseGone(), "");
    TArea* area = config->FindArea("RU.ECHO");
    ASSERT_TRUE(area->OpenIndex());
    EXPECT_EQ(area->Count, r.mail ? 1 : 0);
    EXPECT_EQ(area->NewUnreadCount, r.mail && !r.read ? 1 : 0);
    area->CloseIndex();
  }
}

// A message base folder that lacks the files of many areas names them all,
// in the line the start, the runs and the box give.
TEST_F(ConfigStoreTest, AVanishedMessageBaseNamesEveryArea) {
  std::vector<std::string> names;
  {
    auto config = Load();
    for (int i = 1; i <= 40; ++i) {
      names.push_back("RU.AREA." + std::to_string(i));
      TArea* area =
          config->AddAreaQuiet(names.back(), names.back(), AreaTypeCode::Echomail, nullptr);
      area->QueueMail(MakeMail(i), false);
      ASSERT_TRUE(area->WriteQueuedMail(true, true));
    }
    ASSERT_TRUE(config->SaveConfiguration());
  }
  std::filesystem::remove_all(Start() + "Msgbase");
  auto config = Load();
  const std::string& line = config->MessageBaseGone();
  EXPECT_NE(line.find(" is missing, though areas listed had messages (RU.AREA.1, RU.AREA.2, "),
            std::string::npos)
      << line;
  for (const std::string& name : names)
    EXPECT_NE(line.find(name + (name == names.back() ? ")" : ",")), std::string::npos) << name;
  EXPECT_EQ(line.find("more"), std::string::npos) << line;
}

// The README's recipe with the program's own duplicate checker open: the
// base's files (its database among them) were moved by hand into the new
// folder, the program started on the old, empty one, and the folder is
// changed then. The running history is merged into the new folder's
// database, nothing is written into the old folder, and the registry names
// the new folder before the old database goes. A database there that
// cannot be read, a registry that cannot be saved and a folder that cannot
// be written keep the base where it was, each saying why. The database is
// looked at as it is at the move: one mended since the start goes along,
// one that cannot be read since keeps the base where it is.
TEST_F(ConfigStoreTest, TheRunningDuplicateHistoryGoesIntoTheNewFoldersDatabase) {
  enum Fault { None, Unreadable, RegistrySave, ReadOnlyFolder, LinkToOld, OldMended, OldBroken };
  const struct {
    const char* what;
    bool oldHas, newHas;  // a database with a key of its own
    Fault fault;
    const char* said;  // in the reason the base stays
  } rows[] = {
      {"the README recipe: moved by hand, the old folder empty", false, true, None, ""},
      {"both folders hold one", true, true, None, ""},
      {"only the old folder holds one", true, false, None, ""},
      {"the new folder's cannot be read", false, true, Unreadable, "cannot be read"},
      {"the registry cannot be saved", true, false, RegistrySave, "could not be saved"},
      {"the new folder is on read-only media", true, false, ReadOnlyFolder,
       "Read-only file system"},
      // Another name of the same folder is no move: nothing goes anywhere.
      {"the new folder is a link to the old one", true, false, LinkToOld, ""},
      {"the old folder's was a folder at the start, mended since", true, false, OldMended, ""},
      {"the old folder's became a link into a drive that is gone", true, false, OldBroken,
       "cannot be read (it is a link to "},
  };
  int n = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::filesystem::remove_all(Start());
    std::filesystem::remove_all(RegistryPath());
    log.clear();
    const std::string moved = Start() + "Почта " + std::to_string(++n) + "/";
    auto config = Load();
    ASSERT_TRUE(config->SaveConfiguration());
    const std::string old = config->MessageBaseDir();
    if (r.oldHas) {
      TDupeChecker keys(old + kDupesFileName);
      keys.CheckAndAdd(1);
    }
    if (r.fault == LinkToOld)
      ASSERT_EQ(
          ::symlink(platform::WithoutSlash(old).c_str(), platform::WithoutSlash(moved).c_str()), 0);
    else
      platform::MakeDirs(moved);
    if (r.fault == Unreadable) {
      platform::MakeDirs(moved + kDupesFileName);  // a folder in its place
    } else if (r.newHas) {
      TDupeChecker keys(moved + kDupesFileName);
      keys.CheckAndAdd(2);
    }
    struct Unmount {
      std::string dir;
      ~Unmount() {
        if (!dir.empty()) RunShell("umount " + ShellQuote(dir));
      }
    } unmount;
    if (r.fault == ReadOnlyFolder) {
      if (geteuid() == 0) {
        if (RunShell("mount -t tmpfs -o ro,size=1m tmpfs " + ShellQuote(moved) + " 2>/dev/null") !=
            0)
          continue;  // no mounts here: the row cannot be made
        unmount.dir = moved;
      } else {
        ASSERT_EQ(chmod(moved.c_str(), 0555), 0);
      }
    }
    // The program holds the mail's lock, which follows the base.
    TMailLock lock(Start(), RegistryPath());
    ASSERT_EQ(lock.Acquire(), TMailLock::Result::Acquired);
    SetMailLockInForce(&lock);
    const std::string aside = Start() + "aside";
    if (r.fault == OldMended) {
      ASSERT_EQ(std::rename((old + kDupesFileName).c_str(), aside.c_str()), 0);
      platform::MakeDirs(old + kDupesFileName);
    }
    OpenDupeChecker(old);
    struct Close {
      ~Close() {
        CloseDupeChecker();
        SetMailLockInForce(nullptr);
      }
    } close;
    if (r.fault == OldMended) {
      // Mended while the program runs, before any import.
      ASSERT_TRUE(GetDupeChecker().Unreadable());
      ASSERT_EQ(::rmdir((old + kDupesFileName).c_str()), 0);
      ASSERT_EQ(std::rename(aside.c_str(), (old + kDupesFileName).c_str()), 0);
    } else {
      GetDupeChecker().CheckAndAdd(3);  // imported by this run
    }
    if (r.fault == OldBroken) {
      ASSERT_EQ(std::rename((old + kDupesFileName).c_str(), aside.c_str()), 0);
      ASSERT_EQ(
          ::symlink((Start() + "Диск/" + kDupesFileName).c_str(), (old + kDupesFileName).c_str()),
          0);
    }
    const std::string oldBytes =
        r.oldHas && r.fault != OldBroken ? platform::ReadFile(old + kDupesFileName) : std::string();
    if (r.fault == RegistrySave) {
      // The registry file's name is taken by a folder that holds a file:
      // the new file cannot be put in its place.
      ASSERT_EQ(std::rename(RegistryPath().c_str(), (RegistryPath() + ".away").c_str()), 0);
      platform::MakeDirs(RegistryPath());
      platform::WriteFileAtomic(RegistryPath() + "/x", "x");
    }
    SettingsValues values = *config->Values();
    values.SetText(SettingId::MsgBaseDir, moved);
    if (r.fault == LinkToOld) {
      EXPECT_TRUE(config->ApplySettings(values)) << config->MessageBaseMoveFailure();
      EXPECT_EQ(config->MessageBaseDir(), moved);
      EXPECT_EQ(lock.MessageBaseDir(), old);
      EXPECT_EQ(GetDupeChecker().Path(), old + kDupesFileName);
      ASSERT_TRUE(SaveDupeChecker());
      // The history stays where it is, whole.
      EXPECT_EQ(TDupeChecker(old + kDupesFileName).Keys(), (std::vector<uint32_t>{1, 3}));
      continue;
    }
    const bool fault = r.fault != None && r.fault != OldMended;
    EXPECT_EQ(config->ApplySettings(values), !fault);
    // Root writes where the mode forbids it: its folder is a read-only mount.
    const std::string said =
        r.fault == ReadOnlyFolder && geteuid() != 0 ? "Permission denied" : r.said;
    EXPECT_NE(config->MessageBaseMoveFailure().find(said), std::string::npos)
        << config->MessageBaseMoveFailure();
    if (r.fault == RegistrySave) {
      std::filesystem::remove_all(RegistryPath());
      ASSERT_EQ(std::rename((RegistryPath() + ".away").c_str(), RegistryPath().c_str()), 0);
    }
    if (r.fault == ReadOnlyFolder && geteuid() != 0) chmod(moved.c_str(), 0755);
    const std::string base = fault ? old : moved;
    EXPECT_EQ(config->MessageBaseDir(), base);
    EXPECT_EQ(lock.MessageBaseDir(), base);
    EXPECT_EQ(GetDupeChecker().Path(), base + kDupesFileName);
    EXPECT_EQ(platform::Registry(RegistryPath())
                  .ReadString(std::string(kConfigRootKey) + "\\Paths", "Messagebase"),
              base);
    if (r.fault == OldBroken) {
      // Nothing is written through the link or into the new folder.
      struct stat st {};
      ASSERT_EQ(::lstat((old + kDupesFileName).c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode));
      EXPECT_FALSE(platform::PathExists(Start() + "Диск"));
      EXPECT_FALSE(platform::PathExists(moved + kDupesFileName));
      EXPECT_TRUE(GetDupeChecker().Unreadable());
      continue;
    }
    if (fault) {
      // Everything as it was: the old database untouched, none left in
      // the new folder but its own.
      EXPECT_EQ(platform::FileExists(old + kDupesFileName), r.oldHas);
      if (r.oldHas) {
        EXPECT_EQ(platform::ReadFile(old + kDupesFileName), oldBytes);
      }
      EXPECT_EQ(platform::FileExists(moved + kDupesFileName), r.newHas && r.fault != Unreadable);
      EXPECT_TRUE(GetDupeChecker().Contains(3));
      continue;
    }
    // Nothing is written into the old folder; the new folder's database
    // holds its own keys, the old one's and this run's, the newest last.
    EXPECT_FALSE(platform::FileExists(old + kDupesFileName));
    std::vector<uint32_t> keys;
    if (r.newHas) keys.push_back(2);
    if (r.oldHas) keys.push_back(1);
    if (r.fault != OldMended) keys.push_back(3);
    EXPECT_EQ(TDupeChecker(moved + kDupesFileName).Keys(), keys);
    if (r.newHas) {
      EXPECT_FALSE(GetDupeChecker().CheckAndAdd(2));
    }
  }
}

TEST_F(ConfigStoreTest, DeletedTextGroupMovesTheAreasReferences) {
  auto config = Load();
  config->AddDefaultTextGroup();
  TArea* area = config->AddAreaQuiet("A", "A", AreaTypeCode::Echomail, nullptr);
  area->TextGroup = 1;
  config->TextGroups().Delete(0);
  EXPECT_EQ(area->TextGroup, 0);
}

// --- The configuration report ---------------------------------------------------------------

TEST_F(ConfigStoreTest, ConfigurationReportListsUplinksMailboxesAndNames) {
  auto config = Load();
  config->SettingsModel().SetLines(SettingId::SysopNames, {"Jan Ohm", "J. Ohm"});
  TMailBox* box = config->AddDefaultMailbox();
  box->Numbers = {"+49 30 1", "+49 30 2"};
  std::unique_ptr<TKQMail> mail = config->MailConfigurationReport();
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(mail->Area, config->FindArea("NETMAIL"));
  EXPECT_EQ(mail->Subject, "Velmaris Konfiguration");
  EXPECT_EQ(mail->ToName, TConfigStore::kSupportName);
  EXPECT_EQ(mail->DestAddr.Text4D(), TConfigStore::kSupportAddress);
  EXPECT_EQ(mail->FromName, "Jan Ohm");
  EXPECT_EQ(mail->Flags, 0x0040);
  EXPECT_FALSE(mail->UseOrigin || mail->UseTearLine || mail->UseSeenBy);
  EXPECT_TRUE(mail->UsePid);
  const std::vector<std::string> expected{"Hallo Velmaris-Support,",
                                          "",
                                          "Hier meine Konfiguration:",
                                          "",
                                          "Uplinks:",
                                          "========",
                                          "   Uplinkname: Da Boss!!!",
                                          "Uplinkadresse: 0:8/15",
                                          "    Sysopname: Me",
                                          " Sysopadresse: 0:8/15",
                                          "",
                                          "Mailboxen:",
                                          "==========",
                                          "         Name: ACME Mailbox",
                                          "        Sysop: Sysop",
                                          "Uplinkadresse: 2:8/15",
                                          "   Rufnummern: 2",
                                          "               * +49 30 1",
                                          "               * +49 30 2",
                                          "",
                                          "Namen:",
                                          "======",
                                          "Jan Ohm",
                                          "J. Ohm"};
  EXPECT_EQ(mail->Text, expected);
}

}  // namespace
}  // namespace velmaris::test
