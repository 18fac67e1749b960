#include "core/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/WinRegistry.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using S = SettingId;

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";
constexpr const char* kStart = "/srv/velmaris/";

class SettingsTest : public ::testing::Test {
 protected:
  TempDir dir;
  platform::Registry store{dir / "Velmaris.reg"};
  platform::PlainDispatcher dispatcher;
};

// ---------------------------------------------------------------------------
// The table

TEST(SettingsTableTest, NamesAndRegistryValuesAreUnique) {
  std::set<std::string> names;
  std::set<std::string> values;
  for (const auto& def : SettingDefs()) {
    EXPECT_TRUE(names.insert(def.name).second) << def.name;
    ASSERT_EQ(FindSetting(def.name), def.id) << def.name;
    if (*def.section == '\0') continue;
    const std::string key = platform::LowerAscii(std::string(def.section) + "|" + def.value);
    EXPECT_TRUE(values.insert(key).second) << key;
  }
  EXPECT_EQ(names.size(), kSettingCount);
  EXPECT_FALSE(FindSetting("NoSuchControl"));
  EXPECT_FALSE(FindSetting("inbounddir"));  // control names are exact
}

TEST(SettingsTableTest, WrongKindIsRefused) {
  SettingsValues v(kStart);
  EXPECT_THROW(v.Text(S::Zone), ESettings);
  EXPECT_THROW(v.Number(S::InboundDir), ESettings);
  EXPECT_THROW(v.Lines(S::AutoImport), ESettings);
  EXPECT_THROW(v.Checked(S::Dupes), ESettings);
  EXPECT_THROW(v.SetText(S::ImportReport, "x"), ESettings);
  EXPECT_THROW(v.SetLines(S::EdUUCPName, {}), ESettings);
  EXPECT_THROW(v.Font(S::InboundDir), ESettings);
}

// ---------------------------------------------------------------------------
// Defaults of a fresh configuration

struct NumberDefault {
  S id;
  int32_t value;
};

TEST(SettingsDefaultsTest, StartDirectoryIsMadeAbsoluteWithSlash) {
  EXPECT_EQ(SettingsValues("/srv/velmaris").StartDirectory(), "/srv/velmaris/");
  std::string relative = SettingsValues("kq").StartDirectory();
  EXPECT_EQ(relative.front(), '/');
  EXPECT_EQ(relative.substr(relative.size() - 4), "/kq/");
  EXPECT_EQ(SettingsValues("kq").InboundDir(), relative + "Inbound/");
}

TEST_F(SettingsTest, EmptyRegistryLoadsTheDefaults) {
  TWinRegistry reg(kRoot, store);
  SettingsValues loaded(kStart);
  loaded.SetNumber(S::Zone, 5);
  loaded.SetLines(S::SysopNames, {"Old"});
  loaded.LoadFromRegistry(reg);
  EXPECT_EQ(loaded, SettingsValues(kStart));
}

// ---------------------------------------------------------------------------
// Normalisation, as the controls do it

TEST(SettingsNormaliseTest, Numbers) {
  struct {
    S id;
    int32_t set;
    int32_t expected;
  } cases[] = {
      {S::Dupes, 2, 2},      {S::Dupes, 3, 0},        {S::Dupes, -1, 0},
      {S::AutoImport, 0, 0}, {S::AutoImport, 7, 1},   {S::OptimizeOn, 3, 3},
      {S::OptimizeOn, 4, 0}, {S::Zone, 0, 1},         {S::Zone, 70000, 32767},
      {S::Zone, 10, 10},     {S::ImportReport, 5, 1}, {S::ImportReport, 0, 0},
      {S::WinLimit, 0, 1},   {S::QuoteColor, -1, -1}, {S::QuoteColor, 0x00FF00, 0x00FF00},
      {S::WinLimit, 4, 4},   {S::WinLimit, 7, 4},  // the track bar ends at 4
  };
  for (const auto& c : cases) {
    SettingsValues v(kStart);
    v.SetNumber(c.id, c.set);
    EXPECT_EQ(v.Number(c.id), c.expected) << SettingDefOf(c.id).name << " " << c.set;
  }
}

TEST(SettingsNormaliseTest, Directories) {
  struct {
    const char* set;
    const char* expected;
  } cases[] = {
      {"/var/spool/fido/in", "/var/spool/fido/in/"},
      {"/var/spool/fido/in/", "/var/spool/fido/in/"},
      {"In", "/srv/velmaris/In/"},
      {"mail/in/", "/srv/velmaris/mail/in/"},
      {"", "/srv/velmaris/Inbound/"},
  };
  for (const auto& c : cases) {
    SettingsValues v(kStart);
    v.SetText(S::InboundDir, c.set);
    EXPECT_EQ(v.InboundDir(), c.expected) << c.set;
  }
}

TEST(SettingsNormaliseTest, Fonts) {
  struct {
    const char* text;
    bool valid;
    TFontDesc font;
  } cases[] = {
      {"Courier New,12,5", true, {"Courier New", 12, 5}},
      {"Name, with comma,8,15", true, {"Name, with comma", 8, 15}},
      {"Courier,0,0", false, {}},
      {"Courier,12,16", false, {}},
      {"Courier,12", false, {}},
      {",12,0", false, {}},
      {"Courier,x,0", false, {}},
      {"Courier,12,1 ", false, {}},
  };
  for (const auto& c : cases) {
    auto parsed = TFontDesc::Parse(c.text);
    EXPECT_EQ(parsed.has_value(), c.valid) << c.text;
    SettingsValues v(kStart);
    v.SetText(S::mrFl, c.text);
    if (c.valid) {
      EXPECT_EQ(*parsed, c.font) << c.text;
      EXPECT_EQ(parsed->ToString(), c.text);
      EXPECT_EQ(v.FileListFont(), c.font) << c.text;
    } else {
      EXPECT_EQ(v.Text(S::mrFl), "Monospace,10,0") << c.text;
    }
  }
}

// ---------------------------------------------------------------------------
// Registry

TEST_F(SettingsTest, RoundTripThroughTheRegistryFile) {
  SettingsValues v(kStart);
  v.SetText(S::InboundDir, "/var/spool/fido/in/");
  v.SetText(S::OutboundDir, "out");
  v.SetNumber(S::Zone, 10);
  v.SetNumber(S::Dupes, 2);
  v.SetNumber(S::OptimizeOn, 3);
  v.SetChecked(S::MailerReport, false);
  v.SetChecked(S::FLToAnsI, false);
  v.SetText(S::EPPImport, "\"/opt/my tools/epp\" -i");
  v.SetLines(S::SysopNames, {"Ivan Petrov", "I\\van \"P\"", ""});
  v.SetLines(S::DialTrans, {"+7-812- 8-", "+49- 810-49-"});
  v.SetChecked(S::CbUseGateWay, true);
  v.SetText(S::EdUUCPAddr, "2:5020/49");
  v.SetText(S::EdUUCPName, "UUCP");
  v.SetChecked(S::CbUseUUCPName, true);
  v.SetText(S::mrFl, "Terminus,14,5");
  v.SetNumber(S::COL_Bg, 0x00C0C0C0);
  {
    TWinRegistry reg(kRoot, store);
    v.SaveToRegistry(reg);
    reg.Flush();
  }
  platform::Registry again(dir / "Velmaris.reg");
  TWinRegistry reg(kRoot, again);
  SettingsValues loaded(kStart);
  loaded.LoadFromRegistry(reg);
  EXPECT_EQ(loaded, v);
  for (const auto& def : SettingDefs()) {
    EXPECT_TRUE(loaded.Equal(v, def.id)) << def.name;
  }
}

TEST_F(SettingsTest, GatewayNameDecidesCbUseUUCPName) {
  struct {
    const char* storedName;
    bool checked;
  } loads[] = {{"", false}, {"UUCP", true}, {" ", true}};
  for (const auto& l : loads) {
    TWinRegistry reg(kRoot, store);
    reg.WriteString("Uplinks\\UUCP", "Name", l.storedName);
    SettingsValues v(kStart);
    v.LoadFromRegistry(reg);
    EXPECT_EQ(v.CbUseUUCPName(), l.checked) << "'" << l.storedName << "'";
    EXPECT_EQ(v.EdUUCPName(), l.storedName);
  }

  // Unchecked: the name is saved empty, so the next load leaves it unchecked.
  SettingsValues v(kStart);
  v.SetText(S::EdUUCPName, "UUCP");
  v.SetChecked(S::CbUseUUCPName, false);
  TWinRegistry reg(kRoot, store);
  v.SaveToRegistry(reg);
  EXPECT_EQ(reg.ReadString("Uplinks\\UUCP", "Name", "?"), "");
  SettingsValues loaded(kStart);
  loaded.LoadFromRegistry(reg);
  EXPECT_FALSE(loaded.CbUseUUCPName());
  EXPECT_EQ(loaded.EdUUCPName(), "");
}

TEST_F(SettingsTest, SysopNamesLoad) {
  struct Case {
    int32_t count;  // -1: no "Count" stored
    std::vector<std::pair<int, const char*>> stored;
    std::vector<std::string> expected;
  } cases[] = {
      {-1, {{1, "Ivan"}}, {}},
      {0, {{1, "Ivan"}}, {}},
      {2, {{1, "Ivan"}, {2, "Boris"}, {3, "Later"}}, {"Ivan", "Boris"}},
      {3, {{1, "Ivan"}, {3, "Boris"}}, {"Ivan", "Sysop", "Boris"}},
      {3, {{1, "SysopNames"}, {2, "Ivan"}}, {"Ivan", "Sysop"}},
      {2, {{1, "sysopnames"}}, {"sysopnames", "Sysop"}},
      {-7, {{1, "Ivan"}}, {}},
  };
  for (const auto& c : cases) {
    store.DeleteKey(std::string(kRoot) + "\\Names");
    TWinRegistry reg(kRoot, store);
    if (c.count != -1) reg.WriteInteger("Names", "Count", c.count);
    for (auto& [n, text] : c.stored) reg.WriteString("Names", "Name" + std::to_string(n), text);
    SettingsValues v(kStart);
    v.LoadFromRegistry(reg);
    EXPECT_EQ(v.SysopNames(), c.expected) << c.count;
  }
}

TEST_F(SettingsTest, HugeStoredLineCountIsBounded) {
  TWinRegistry reg(kRoot, store);
  reg.WriteInteger("Names", "Count", INT32_MAX);
  SettingsValues v(kStart);
  v.LoadFromRegistry(reg);
  EXPECT_EQ(v.SysopNames().size(), 4096u);
  EXPECT_EQ(v.FirstSysopName(), "Sysop");
}

TEST_F(SettingsTest, StoredValuesOutOfRangeAreMadeValid) {
  TWinRegistry reg(kRoot, store);
  reg.WriteInteger("Tosser", "OnDupe", 9);
  reg.WriteInteger("Tosser", "Zone", 0);
  reg.WriteInteger("Tosser", "AutoImport", 0);
  reg.WriteString("Paths", "Inbound", "");
  reg.WriteString("Paths", "Outbound", "Out");
  reg.WriteString("Fonts\\Filelist", "Name", std::string(300, 'F'));
  reg.WriteInteger("Fonts\\Filelist", "Size", -12);
  reg.WriteInteger("Fonts\\Filelist", "Style", 0x1D);
  reg.WriteInteger("Fonts\\Arealist", "Style", 6);
  SettingsValues v(kStart);
  v.LoadFromRegistry(reg);
  EXPECT_EQ(v.Dupes(), 0);
  EXPECT_EQ(v.Zone(), 1);
  EXPECT_FALSE(v.AutoImport());
  EXPECT_EQ(v.InboundDir(), "/srv/velmaris/Inbound/");
  EXPECT_EQ(v.OutboundDir(), "/srv/velmaris/Out/");
  EXPECT_EQ(v.FileListFont(), (TFontDesc{std::string(255, 'F'), 10, 0x0D}));
  EXPECT_EQ(v.Font(S::ALFont),
            (TFontDesc{"Sans Serif", 9, TFontDesc::Underline | TFontDesc::Italic}));
}

TEST_F(SettingsTest, ValueOfWrongTypeFailsAndChangesNothing) {
  Settings settings(kStart, &dispatcher);
  settings.SetNumber(S::Zone, 3);
  TWinRegistry reg(kRoot, store);
  reg.WriteInteger("Tosser", "Zone", 5);
  reg.WriteString("Tosser", "OnDupe", "delete");
  EXPECT_THROW(settings.LoadFromRegistry(reg), platform::ERegistry);
  EXPECT_EQ(settings.Snapshot()->Zone(), 3);
}

// ---------------------------------------------------------------------------
// Readers of single settings

TEST(SettingsReadersTest, TranslatePhoneNumber) {
  SettingsValues v(kStart);
  v.SetLines(S::DialTrans, {"", "+7-812- 8-", "  +7-  8-10-7-  ", "+49- 810-49-", "+1-"});
  struct {
    const char* number;
    const char* expected;
  } cases[] = {
      {"+7-812-555-1234", "8-555-1234"},  // first matching line wins
      {"+7-495-555-1234", "8-10-7-495-555-1234"},
      {"+49-30-1234", "810-49-30-1234"},
      {"+1-212-555", "212-555"},       // no replacement: prefix dropped
      {"+44-20-1234", "+44-20-1234"},  // no line: unchanged
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(v.TranslatePhoneNumber(c.number), c.expected) << c.number;
}

TEST(SettingsReadersTest, SysopNamesCompareInUpperCase) {
  SettingsValues v(kStart);
  v.SetLines(S::SysopNames, {"Ivan Petrov", "Sysop"});
  struct {
    const char* name;
    bool mine;
  } cases[] = {{"IVAN PETROV", true}, {"ivan petrov", true},   {"SYSOP", true},
               {"Ivan", false},       {"Ivan Petrov ", false}, {"", false}};
  for (const auto& c : cases) EXPECT_EQ(v.IsSysopName(c.name), c.mine) << c.name;
  EXPECT_EQ(v.FirstSysopName(), "Ivan Petrov");
  // Names are in the ANSI code page (CP1251), whose letters fold.
  v.SetLines(S::SysopNames, {platform::FromUtf8("Иван Петров", platform::CodePage::CP1251)});
  EXPECT_TRUE(v.IsSysopName(platform::FromUtf8("ИВАН ПЕТРОВ", platform::CodePage::CP1251)));
}

// ---------------------------------------------------------------------------
// Threads and notification

TEST_F(SettingsTest, WorkersAlwaysSeeAConsistentSnapshot) {
  Settings settings(kStart, &dispatcher);
  // The main thread always changes the three settings together; a worker
  // must never see them out of step.
  auto consistent = [](const SettingsValues& v) {
    int32_t zone = v.Zone();
    return v.InboundDir() == "/in/" + std::to_string(zone) + "/" &&
           v.SysopNames().size() == static_cast<size_t>(zone % 7);
  };
  settings.Modify([](SettingsValues& v) {
    v.SetNumber(S::Zone, 1);
    v.SetText(S::InboundDir, "/in/1");
    v.SetLines(S::SysopNames, {"x"});
  });
  std::atomic<bool> stop{false};
  std::atomic<int> faults{0};
  std::atomic<long> reads{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([&] {
      while (!stop) {
        auto snap = settings.Snapshot();
        if (!consistent(*snap)) ++faults;
        ++reads;
      }
    });
  }
  // Keep changing until the workers have read plenty while changes ran.
  int32_t zone = 1;
  for (long i = 0; i < 400000 && (i < 2000 || reads < 20000); ++i) {
    zone = 1 + static_cast<int32_t>(i % 30000);
    settings.Modify([zone](SettingsValues& v) {
      v.SetNumber(S::Zone, zone);
      v.SetText(S::InboundDir, "/in/" + std::to_string(zone));
      v.SetLines(S::SysopNames, std::vector<std::string>(zone % 7, "Sysop"));
    });
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_EQ(faults, 0);
  EXPECT_GE(reads, 1);
  EXPECT_EQ(settings.Snapshot()->Zone(), zone);
}

TEST_F(SettingsTest, SnapshotStaysUnchangedAfterAChange) {
  Settings settings(kStart, &dispatcher);
  auto before = settings.Snapshot();
  settings.SetNumber(S::Zone, 7);
  EXPECT_EQ(before->Zone(), 2);
  EXPECT_EQ(settings.Snapshot()->Zone(), 7);
  // No change, no new set.
  auto now = settings.Snapshot();
  settings.SetNumber(S::Zone, 7);
  EXPECT_EQ(settings.Snapshot(), now);
}

TEST_F(SettingsTest, SubscribersHearWhatChanged) {
  Settings settings(kStart, &dispatcher);
  std::vector<std::vector<SettingId>> heard;
  std::vector<int32_t> zones;
  auto id = settings.Subscribe([&](const SettingsValues& v, const std::vector<SettingId>& changed) {
    heard.push_back(changed);
    zones.push_back(v.Zone());
  });

  struct Step {
    std::function<void()> change;
    std::vector<SettingId> expected;  // empty: no notification
  } steps[] = {
      {[&] { settings.SetNumber(S::Zone, 5); }, {S::Zone}},
      {[&] { settings.SetNumber(S::Zone, 5); }, {}},
      {[&] { settings.SetNumber(S::Dupes, 7); }, {}},  // out of range: stays the default
      {[&] {
         settings.Modify([](SettingsValues& v) {
           v.SetChecked(S::MailerReport, false);
           v.SetText(S::InboundDir, "In2");
         });
       },
       {S::InboundDir, S::MailerReport}},
      {[&] { settings.SetLines(S::SysopNames, {"Ivan"}); }, {S::SysopNames}},
      {[&] { settings.Assign(SettingsValues(kStart)); },
       {S::SysopNames, S::InboundDir, S::MailerReport, S::Zone}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    heard.clear();
    steps[i].change();
    if (steps[i].expected.empty()) {
      EXPECT_TRUE(heard.empty()) << "step " << i;
    } else {
      ASSERT_EQ(heard.size(), 1u) << "step " << i;
      EXPECT_EQ(heard[0], steps[i].expected) << "step " << i;
    }
  }
  EXPECT_EQ(zones.front(), 5);
  EXPECT_EQ(zones.back(), 2);

  settings.Unsubscribe(id);
  heard.clear();
  settings.SetNumber(S::Zone, 9);
  EXPECT_TRUE(heard.empty());
}

TEST_F(SettingsTest, ChangeOffTheMainThreadIsAnnouncedOnTheMainThread) {
  Settings settings(kStart, &dispatcher);
  std::atomic<int> calls{0};
  std::thread::id where;
  settings.Subscribe([&](const SettingsValues& v, const std::vector<SettingId>& changed) {
    where = std::this_thread::get_id();
    EXPECT_EQ(changed, std::vector<SettingId>{S::Zone});
    EXPECT_EQ(v.Zone(), 4);
    ++calls;
  });
  std::thread worker([&] { settings.SetNumber(S::Zone, 4); });
  worker.join();
  EXPECT_EQ(calls, 0);                        // queued, not yet run
  EXPECT_EQ(settings.Snapshot()->Zone(), 4);  // but readers see it at once
  dispatcher.ProcessMessages();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(where, std::this_thread::get_id());
}

TEST_F(SettingsTest, SubscriberMayChangeSettingsItself) {
  Settings settings(kStart, &dispatcher);
  // Keeps the maintenance choice at least as strong as the optimisation.
  settings.Subscribe([&](const SettingsValues& v, const std::vector<SettingId>&) {
    if (v.MaintainOn() < v.OptimizeOn()) settings.SetNumber(S::MaintainOn, v.OptimizeOn());
  });
  settings.SetNumber(S::OptimizeOn, 2);
  EXPECT_EQ(settings.Snapshot()->MaintainOn(), 2);
}

TEST_F(SettingsTest, PostedNotificationAfterTheModelIsGoneIsDropped) {
  int calls = 0;
  {
    Settings settings(kStart, &dispatcher);
    settings.Subscribe([&](const SettingsValues&, const std::vector<SettingId>&) { ++calls; });
    std::thread worker([&] { settings.SetNumber(S::Zone, 4); });
    worker.join();
  }
  dispatcher.ProcessMessages();
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace velmaris::test
