// Mailer profiles: their defaults, renames that mailboxes follow, their
// window, and their place in the stored configuration.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/ConfigStoreFixture.h"
#include "mailer/Mailers.h"

namespace velmaris::test {
namespace {

// Records what a profile asks of its window.
struct FakeWindow : TMailerWindow {
  explicit FakeWindow(std::vector<std::string>& calls) : calls(calls) {}
  std::string DeviceName() const override { return "Modem A"; }
  void SelectDevice(const std::string& name) override { calls.push_back("select " + name); }
  void ShowDeviceName() override { calls.push_back("show"); }
  void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void ScanOutbound() override { calls.push_back("scan"); }
  std::vector<std::string>& calls;
};

// A window that runs a last action when it goes, as a mailer window posts
// its log.
struct ClosingWindow : FakeWindow {
  ClosingWindow(std::vector<std::string>& calls, std::function<void()> onClose)
      : FakeWindow(calls), onClose(std::move(onClose)) {}
  ~ClosingWindow() override {
    if (onClose) onClose();
  }
  std::function<void()> onClose;
};

class MailerProfileTest : public ConfigStoreFixture {
 protected:
  void TearDown() override {
    SetMailerWindowFactory(nullptr);
    ConfigStoreFixture::TearDown();
  }
  LoadedConfig LoadWithProfiles() {
    LoadedConfig config;
    config.registry = std::make_unique<platform::Registry>(RegistryPath());
    config.store = std::make_unique<TConfigStore>(Start(), *config.registry);
    config.store->SetLogSink([this](const std::string& line) { log.push_back(line); });
    profiles = &InstallMailerConfig(*config.store);
    config.store->LoadConfiguration();
    config.store->MakeCurrent();
    return config;
  }
  TMailerConfig* profiles = nullptr;
};

TEST_F(MailerProfileTest, NewProfileTakesItsNameFromTheFirstSysopName) {
  struct Case {
    std::vector<std::string> sysops;
    const char* sysop;
    const char* name;
  } cases[] = {
      {{}, TMailer::kPlaceholderSysop, "Jon's Point"},
      {{"Max Power", "Other One"}, "Max Power", "Max's Point"},
      {{"  \"Max Power\" jr"}, "  \"Max Power\" jr", "Max Power's Point"},
  };
  auto config = LoadWithProfiles();
  for (const Case& c : cases) {
    config->SettingsModel().SetLines(SettingId::SysopNames, c.sysops);
    TMailer mailer(config.store.get());
    EXPECT_EQ(mailer.Sysop, c.sysop);
    EXPECT_EQ(mailer.Name(), c.name);
    EXPECT_EQ(mailer.ReDialWait, 30);
    EXPECT_EQ(mailer.ReadJob, 256);
    EXPECT_TRUE(mailer.Hydra && mailer.ZedZap && mailer.SendDummy);
  }
}

TEST_F(MailerProfileTest, RenameMovesTheMailboxesThatCalledTheProfile) {
  auto config = LoadWithProfiles();
  TMailer* mailer = profiles->AddMailer(*config);
  const std::string old = mailer->Name();
  const char* commands[] = {old.c_str(), "/usr/bin/binkd -p", old.c_str(), old.c_str()};
  for (const char* command : commands) config->AddDefaultMailbox()->Command = command;
  mailer->SetName("Line 1");
  const TMBList& boxes = config->Mailboxes();
  int renamed = 0;
  for (int i = 0; i < boxes.GetCount(); ++i) renamed += boxes.GetItem(i)->Command == "Line 1";
  EXPECT_EQ(renamed, 3);
  EXPECT_EQ(boxes.GetItem(1)->Command, "/usr/bin/binkd -p");
}

TEST_F(MailerProfileTest, WindowIsMadeWithTheProfileAndFollowsItsNameAndDevice) {
  std::vector<std::string> calls;
  SetMailerWindowFactory([&](TMailer&) { return std::make_unique<FakeWindow>(calls); });
  auto config = LoadWithProfiles();
  TMailer mailer(config.store.get());
  EXPECT_EQ(mailer.TAPIDevice(), "Modem A");
  mailer.SetName("Line 1");
  mailer.SetTAPIDevice("Modem A");  // unchanged: nothing happens
  mailer.SetTAPIDevice("Modem B");
  const std::vector<std::string> expected = {
      "caption Mailer - Jon's Point", "show",           "scan",
      "caption Mailer - Line 1",      "select Modem B", "show"};
  EXPECT_EQ(calls, expected);
}

TEST_F(MailerProfileTest, StoredProfilesLoadWithTheirDefaultsAndSaveBack) {
  Seed([](TWinRegistry& reg) {
    reg.WriteInteger("Lines", "Count", 2);
    reg.WriteString("Lines\\Mailer1", "Name", "Line 1");
    reg.WriteInteger("Lines\\Mailer1", "ReDials", 3);
    reg.WriteBool("Lines\\Mailer1", "Hydra", false);
    reg.WriteString("Lines\\Mailer2", "Name", "Line 2");
    reg.WriteString("Lines\\Mailer2", "Location", "Moscow");
    reg.WriteInteger("Lines\\Mailer2", "ReadJob", -5);  // out of range: clamped
  });
  {
    auto config = LoadWithProfiles();
    ASSERT_EQ(profiles->Mailers().GetCount(), 2);
    TMailer* one = profiles->FindMailer("LINE 1");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->ReDials, 3);
    EXPECT_FALSE(one->Hydra);
    EXPECT_TRUE(one->ZedZap);
    EXPECT_EQ(one->ReDialWait, 30);
    EXPECT_EQ(one->ReadJob, 256);
    TMailer* two = profiles->Mailers().GetMailer(1);
    EXPECT_EQ(two->Location, "Moscow");
    EXPECT_EQ(two->ReadJob, 1);
    two->Phone = "+7-095-1234567";
    config->SaveToRegistry();
  }
  auto again = LoadWithProfiles();
  ASSERT_EQ(profiles->Mailers().GetCount(), 2);
  EXPECT_EQ(profiles->Mailers().GetMailer(1)->Phone, "+7-095-1234567");
  EXPECT_FALSE(profiles->Mailers().GetMailer(0)->Hydra);
  EXPECT_EQ(GetMailerProfiles(), profiles);
}

// The program's end: the windows go first (a log they post may create an
// area and save), then the last save, then the profiles. Every save writes
// all profiles; one asked for while they are freed writes nothing.
TEST_F(MailerProfileTest, EndOfTheProgramSavesEveryProfileWhateverTheWindowsDoAsTheyGo) {
  struct Case {
    const char* name;
    bool windowsFirst;
  } cases[] = {{"windows closed before the last save", true},
               {"windows still there when the profiles go", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(RegistryPath().c_str());
    std::vector<std::string> calls;
    TConfigStore* store = nullptr;
    int closed = 0;
    SetMailerWindowFactory([&](TMailer&) {
      return std::make_unique<ClosingWindow>(calls, [&] {
        const std::string name = "AREA" + std::to_string(++closed);
        store->AddAreaQuiet(name, name, AreaTypeCode::Echomail, nullptr);
      });
    });
    {
      auto config = LoadWithProfiles();
      store = config.store.get();
      profiles->AddMailer(*config)->SetName("Line 1");
      profiles->AddMailer(*config)->SetName("Line 2");
      if (c.windowsFirst) profiles->CloseWindows();
      EXPECT_EQ(profiles->Mailers().GetCount(), 2);
      EXPECT_EQ(profiles->Mailers().GetMailer(0)->Window() == nullptr, c.windowsFirst);
      config->SaveAndClose();
      profiles->FreeMailers();
      EXPECT_EQ(closed, 2);
    }
    SetMailerWindowFactory(nullptr);
    auto again = LoadWithProfiles();
    ASSERT_EQ(profiles->Mailers().GetCount(), 2);
    EXPECT_EQ(profiles->Mailers().GetMailer(1)->Name(), "Line 2");
    // The areas made as the windows went are saved when they came first.
    EXPECT_EQ(again->FindArea("AREA2") != nullptr, c.windowsFirst);
  }
}

TEST_F(MailerProfileTest, NoStoredProfilesMakesNoWindow) {
  int windows = 0;
  SetMailerWindowFactory([&](TMailer&) {
    ++windows;
    return std::unique_ptr<TMailerWindow>();
  });
  Seed([](TWinRegistry& reg) { reg.WriteInteger("Lines", "Count", 0); });
  auto config = LoadWithProfiles();
  EXPECT_EQ(profiles->Mailers().GetCount(), 0);
  EXPECT_EQ(windows, 0);
}

TEST_F(MailerProfileTest, MailboxCallGoesToTheNamedProfile) {
  auto config = LoadWithProfiles();
  TMailer* mailer = profiles->AddMailer(*config);
  std::string polled;
  profiles->SetPollHandler([&](TMailer& m, const std::string& address) {
    polled = m.Name() + " " + address;
    return true;
  });
  TMailBox* box = config->AddDefaultMailbox();
  box->Command = mailer->Name();
  EXPECT_EQ(box->StartMailer(), TMailBox::StartResult::Profile);
  EXPECT_EQ(polled, "Jon's Point 2:8/15");
}

// A deleted profile leaves no section behind, and the mailboxes that called
// it call the first profile left, or nothing once none is left.
TEST_F(MailerProfileTest, DeletedProfilesLeaveNoSectionAndTheirMailboxesCallAnother) {
  auto config = LoadWithProfiles();
  for (const char* name : {"Line A", "Line B", "Line C"})
    profiles->AddMailer(*config)->SetName(name);
  TMailBox* viaB = config->AddDefaultMailbox();
  viaB->Name = "Boss";
  viaB->Command = "line b";  // profiles answer without regard to case
  TMailBox* external = config->AddDefaultMailbox();
  external->Command = "/usr/bin/callout -p 2";
  ASSERT_TRUE(config->SaveConfiguration());
  const std::string lines = std::string(kConfigRootKey) + "\\Lines";
  ASSERT_TRUE(config.registry->KeyExists(lines + "\\Mailer3"));

  EXPECT_TRUE(profiles->DeleteMailer(2).empty());
  // Each mailbox moved is handed back, to be told to the user.
  const std::vector<TMailboxMove> toA = profiles->DeleteMailer(1);
  EXPECT_EQ(toA, (std::vector<TMailboxMove>{{"Boss", "Line B", "Line A"}}));
  EXPECT_EQ(MailboxMovesText(toA),
            "The mailer profile \"Line B\" is deleted: the mailbox \"Boss\" is now called by "
            "\"Line A\"!");
  EXPECT_EQ(viaB->Command, "Line A");
  EXPECT_EQ(viaB->LostProfile, "");
  EXPECT_EQ(external->Command, "/usr/bin/callout -p 2");
  ASSERT_TRUE(config->SaveConfiguration());
  EXPECT_EQ(config.registry->ReadDWord(lines, "Count"), 1u);
  EXPECT_TRUE(config.registry->KeyExists(lines + "\\Mailer1"));
  for (const char* stale : {"\\Mailer2", "\\Mailer3"})
    EXPECT_FALSE(config.registry->KeyExists(lines + stale)) << stale;

  const std::vector<TMailboxMove> toNone = profiles->DeleteMailer(0);
  EXPECT_EQ(toNone, (std::vector<TMailboxMove>{{"Boss", "Line A", ""}}));
  EXPECT_EQ(MailboxMovesText(toNone),
            "The mailer profile \"Line A\" is deleted: the mailbox \"Boss\" calls no mailer now. "
            "Please choose its call in \"Настройки\"/\"Мейлбоксы\"!");
  EXPECT_EQ(viaB->LostProfile, "Line A");  // the reason the properties show
  EXPECT_EQ(viaB->Command, "");
  EXPECT_EQ(viaB->StartMailer(profiles), TMailBox::StartResult::NoCommand);
}

}  // namespace
}  // namespace velmaris::test
