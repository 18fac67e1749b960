#include "core/MailBox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/NetLink.h"
#include "core/PubLst.h"
#include "core/WinRegistry.h"
#include "platform/Ascii.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

std::string Describe(const TMailBox& m) {
  std::string numbers;
  for (const auto& n : m.Numbers) numbers += "[" + n + "]";
  return m.Name + "|" + m.Sysop + "|" + m.Address.Text4D() + "|" + numbers + "|" + m.Command + "|" +
         m.FileList + "|" + m.AreaIndicator + "|" + std::to_string(m.AreaSize) + "," +
         std::to_string(m.AreaColumn) + "," + std::to_string(m.AreaLine);
}

std::unique_ptr<TMailBox> BossBBS() {
  auto m = std::make_unique<TMailBox>();
  m->Name = "Boss BBS";
  m->Address.SetText("2:5020/1");
  m->Sysop = "Bob Boss";
  m->Command = "Modem";
  m->FileList = "/home/point/files/boss.lst";
  m->AreaSize = 12;
  m->AreaIndicator = "Area:";
  m->AreaLine = 1;
  m->AreaColumn = 5;
  m->Numbers = {"+7-095-555-1234", "555 1235"};
  return m;
}

using MailBoxRegistryTest = RegistryFixture;

TEST_F(MailBoxRegistryTest, SavedMailboxesGiveTheGoldenRegistryText) {
  TMBList boxes;
  boxes.Add(BossBBS());
  boxes.Add(std::make_unique<TMailBox>());
  boxes.SaveToRegistry(reg, "Mailboxes");
  EXPECT_EQ(store.ToText(), R"(REGEDIT4

[HKEY_CURRENT_USER\software]

[HKEY_CURRENT_USER\software\Brimvale]

[HKEY_CURRENT_USER\software\Brimvale\Velmaris]

[HKEY_CURRENT_USER\software\Brimvale\Velmaris\Mailboxes]
"Count"=dword:00000002

[HKEY_CURRENT_USER\software\Brimvale\Velmaris\Mailboxes\Mailbox1]
"Name"="Boss BBS"
"Address"="2:5020/1"
"Sysop"="Bob Boss"
"CMD"="Modem"
"Filelist"="/home/point/files/boss.lst"
"AreaSize"=dword:0000000c
"AreaIndicator"="Area:"
"AreaLine"=dword:00000001
"AreaColumn"=dword:00000005
"NumberCount"=dword:00000002
"Number1"="+7-095-555-1234"
"Number2"="555 1235"

[HKEY_CURRENT_USER\software\Brimvale\Velmaris\Mailboxes\Mailbox2]
"Name"="Unknown"
"Address"="0:8/15"
"Sysop"="Jon Doe"
"CMD"=""
"Filelist"=""
"AreaSize"=dword:00000000
"AreaIndicator"=""
"AreaLine"=dword:00000000
"AreaColumn"=dword:00000000
"NumberCount"=dword:00000000

)");
}

TEST_F(MailBoxRegistryTest, RoundTripKeepsEveryFieldAndLoadingTwiceDoesNotDuplicate) {
  TMBList boxes;
  boxes.Add(BossBBS());
  auto second = BossBBS();
  second->Name = "Second";
  second->Address.SetText("1:2/3.4");
  second->Numbers.clear();
  second->Command = "\"/opt/My Mailer/call\" -p 2";
  boxes.Add(std::move(second));
  boxes.SaveToRegistry(reg, "Mailboxes");

  TMBList loaded;
  for (int pass = 0; pass < 2; ++pass) {
    loaded.LoadFromRegistry(reg, "Mailboxes");
    ASSERT_EQ(loaded.GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Describe(*loaded.GetItem(i)), Describe(*boxes.GetItem(i)));
      EXPECT_EQ(loaded.GetString(i), boxes.GetItem(i)->Name);
    }
  }
}

TEST_F(MailBoxRegistryTest, MissingValuesKeepTheDefaultsAndBadAddressesKeepThem) {
  reg.WriteInteger("Mailboxes", "Count", 1);
  reg.WriteString("Mailboxes\\Mailbox1", "Address", "2:5020");
  reg.WriteInteger("Mailboxes\\Mailbox1", "NumberCount", 2);
  reg.WriteString("Mailboxes\\Mailbox1", "Number2", "555");
  TMBList loaded;
  loaded.LoadFromRegistry(reg, "Mailboxes");
  ASSERT_EQ(loaded.GetCount(), 1);
  EXPECT_EQ(Describe(*loaded.GetItem(0)), "Unknown|Jon Doe|0:8/15|[][555]||||0,0,0");
  // A file list with a blank, stored in quotes by an earlier version's
  // file-name edit, is the file without them; a command line keeps its own.
  reg.WriteString("Mailboxes\\Mailbox1", "Filelist", "\"/home/point/Списки файлов/boss.lst\"");
  reg.WriteString("Mailboxes\\Mailbox1", "CMD", "\"/opt/My Mailer/call\" -p 2");
  loaded.LoadFromRegistry(reg, "Mailboxes");
  EXPECT_EQ(loaded.GetItem(0)->FileList, "/home/point/Списки файлов/boss.lst");
  EXPECT_EQ(loaded.GetItem(0)->Command, "\"/opt/My Mailer/call\" -p 2");
}

TEST(MailBoxTest, AssignCopiesEveryField) {
  auto boss = BossBBS();
  TMailBox copy;
  copy.Assign(*boss);
  EXPECT_EQ(Describe(copy), Describe(*boss));
  boss->Numbers.push_back("more");
  EXPECT_EQ(copy.Numbers.size(), 2u);  // a copy, not shared
}

// ---------------------------------------------------------------------------
// Keeping the uplinks' mailbox indices in step

struct Fixture {
  TMBList boxes;
  TLinkList links;

  Fixture(int mailboxes, const std::vector<int32_t>& uplinkBoxes) {
    boxes.SetLinkList(&links);
    for (int i = 0; i < mailboxes; ++i) {
      auto m = std::make_unique<TMailBox>();
      m->Name = "MB" + std::to_string(i);
      boxes.Add(std::move(m));
    }
    for (size_t i = 0; i < uplinkBoxes.size(); ++i) {
      auto l = std::make_unique<TNetLink>();
      l->Mailbox = uplinkBoxes[i];
      links.Add("UL" + std::to_string(i), std::move(l));
    }
  }
  std::vector<int32_t> UplinkBoxes() const {
    std::vector<int32_t> out;
    for (int i = 0; i < links.GetCount(); ++i) out.push_back(links.GetItem(i)->Mailbox);
    return out;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (int i = 0; i < boxes.GetCount(); ++i) out.push_back(boxes.GetString(i));
    return out;
  }
};

TEST(MBListTest, DeleteLeavesUplinksOfTheDeletedMailboxWithoutOne) {
  struct Case {
    const char* name;
    int deleted;
    std::vector<int32_t> before, after;
  } cases[] = {
      {"first mailbox", 0, {0, 1, -1, 3}, {-1, 0, -1, 2}},
      // An uplink on the deleted mailbox is not moved to another system.
      {"middle mailbox", 2, {2, 3, 1, 0, -1}, {-1, 2, 1, 0, -1}},
      {"last mailbox", 3, {3, 2, 3}, {-1, 2, -1}},
      {"mailbox no uplink uses", 1, {0, 2, 3}, {0, 1, 2}},
  };
  for (const auto& c : cases) {
    Fixture f(4, c.before);
    TMailBox* kept = f.boxes.GetItem(c.deleted);
    f.boxes.Delete(c.deleted);
    EXPECT_EQ(f.UplinkBoxes(), c.after) << c.name;
    EXPECT_EQ(f.boxes.GetCount(), 3) << c.name;
    EXPECT_EQ(f.boxes.IndexOf(kept), -1) << c.name;
    EXPECT_EQ(kept->Name, "MB" + std::to_string(c.deleted)) << c.name;  // still alive
  }
}

TEST(MBListTest, DeleteOutOfRangeRaisesAndChangesNoUplink) {
  Fixture f(2, {0, 1});
  EXPECT_THROW(f.boxes.Delete(2), EListIndexError);
  EXPECT_THROW(f.boxes.Delete(-1), EListIndexError);
  EXPECT_EQ(f.UplinkBoxes(), (std::vector<int32_t>{0, 1}));
}

TEST(MBListTest, MovesSwapTheMailboxesAndTheUplinksIndices) {
  struct Case {
    const char* name;
    bool up;
    int index;
    std::vector<std::string> names;
    std::vector<int32_t> after;
    int changes;
  } cases[] = {
      {"second up", true, 1, {"MB1", "MB0", "MB2"}, {1, 0, 2, -1}, 1},
      {"last up", true, 2, {"MB0", "MB2", "MB1"}, {0, 2, 1, -1}, 1},
      {"first down", false, 0, {"MB1", "MB0", "MB2"}, {1, 0, 2, -1}, 1},
      {"middle down", false, 1, {"MB0", "MB2", "MB1"}, {0, 2, 1, -1}, 1},
      {"first up", true, 0, {"MB0", "MB1", "MB2"}, {0, 1, 2, -1}, 0},
      {"last down", false, 2, {"MB0", "MB1", "MB2"}, {0, 1, 2, -1}, 0},
      {"out of range up", true, 3, {"MB0", "MB1", "MB2"}, {0, 1, 2, -1}, 0},
      {"negative down", false, -1, {"MB0", "MB1", "MB2"}, {0, 1, 2, -1}, 0},
  };
  for (const auto& c : cases) {
    Fixture f(3, {0, 1, 2, -1});
    int changes = 0;
    f.boxes.OnChange = [&](TPubLst&) { ++changes; };
    if (c.up) {
      f.boxes.MoveUp(c.index);
    } else {
      f.boxes.MoveDown(c.index);
    }
    EXPECT_EQ(f.Names(), c.names) << c.name;
    EXPECT_EQ(f.UplinkBoxes(), c.after) << c.name;
    EXPECT_EQ(changes, c.changes) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Starting a call

TEST(MailerArgvTest, SplitsWithoutAShellAndKeepsPathsWithBlanksWhole) {
  TempDir dir;
  dir.Write("My Mailer/call now", "#!/bin/sh\n");
  const std::string prog = dir / "My Mailer/call now";
  std::filesystem::permissions(prog, std::filesystem::perms::owner_all);
  // A file that is no program, named by the first words, is passed over.
  dir.Write("My", "not a program\n");
  struct Case {
    std::string line;
    std::vector<std::string> argv;
  } cases[] = {
      {"minicom -D /dev/ttyS0", {"minicom", "-D", "/dev/ttyS0"}},
      {"  term   $HOME;rm *  ", {"term", "$HOME;rm", "*"}},
      {"\"" + prog + "\" -p \"two words\"", {prog, "-p", "two words"}},
      {prog + " -p 2:5020/1", {prog, "-p", "2:5020/1"}},
      {prog, {prog}},
      {"  " + prog + "   ", {prog}},
      {"/no such/My Mailer/missing prog -x", {"/no", "such/My", "Mailer/missing", "prog", "-x"}},
      {"", {}},
      {"   ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(MailerArgv(c.line), c.argv) << c.line;
}

class StartMailerTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetPrompter(&prompter); }
  void TearDown() override {
    platform::SetPrompter(nullptr);
    SetMailerProfiles(nullptr);
  }
  std::vector<std::string> Errors() const {
    std::vector<std::string> out;
    for (const auto& q : prompter.Questions()) {
      EXPECT_EQ(q.kind, platform::MsgKind::Error);
      EXPECT_EQ(q.buttons, platform::mbOk);
      out.push_back(q.text);
    }
    return out;
  }

  struct FakeProfiles : TMailerProfiles {
    std::vector<std::string> names{"Modem", "ISDN"};
    std::vector<std::string> polls;
    bool PollWithProfile(const std::string& name, const std::string& address) override {
      for (const auto& n : names) {
        if (platform::EqualNoCase(n, name)) {
          polls.push_back(n + " " + address);
          return true;
        }
      }
      return false;
    }
  };

  TempDir dir;
  platform::ScriptedPrompter prompter;
  FakeProfiles profiles;
};

TEST_F(StartMailerTest, NoCommandShowsTheErrorBox) {
  TMailBox box;
  EXPECT_EQ(box.StartMailer(&profiles), TMailBox::StartResult::NoCommand);
  EXPECT_EQ(Errors(), std::vector<std::string>{
                          "There is no command line set for this mailbox.  Please enter a valid "
                          "command line in \"Настройки\"/\"Мейлбоксы\" for this system!"});
  EXPECT_TRUE(profiles.polls.empty());
}

TEST_F(StartMailerTest, AProfileNameInAnyCasePollsTheMailboxAddress) {
  TMailBox box;
  box.Address.SetText("2:5020/1.0");
  for (const char* command : {"Modem", "mODEM", "isdn"}) {
    box.Command = command;
    EXPECT_EQ(box.StartMailer(&profiles), TMailBox::StartResult::Profile) << command;
  }
  EXPECT_EQ(profiles.polls,
            (std::vector<std::string>{"Modem 2:5020/1", "Modem 2:5020/1", "ISDN 2:5020/1"}));
  EXPECT_TRUE(Errors().empty());

  // The process-wide profiles serve when none are given.
  SetMailerProfiles(&profiles);
  box.Command = "ISDN";
  EXPECT_EQ(box.StartMailer(), TMailBox::StartResult::Profile);
  EXPECT_EQ(profiles.polls.size(), 4u);
}

TEST_F(StartMailerTest, AnyOtherCommandStartsTheProgramWithItsArgv) {
  // The program records its arguments, one per line, then renames the
  // record into place so the test never reads half of it.
  const std::string out = dir / "args.txt";
  dir.Write("My Mailer/call", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                  out + ".tmp' && mv '" + out + ".tmp' '" + out + "'\n");
  std::filesystem::permissions(dir / "My Mailer/call", std::filesystem::perms::owner_all);

  TMailBox box;
  box.Command = dir / "My Mailer/call" + " -p \"2:5020/1 now\" $HOME;x";
  EXPECT_EQ(box.StartMailer(&profiles), TMailBox::StartResult::Program);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!platform::FileExists(out) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(platform::FileExists(out));
  EXPECT_EQ(dir.Read("args.txt"), "-p\n2:5020/1 now\n$HOME;x\n");
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(profiles.polls.empty());
}

TEST_F(StartMailerTest, AProgramThatCannotStartShowsTheErrorBox) {
  TMailBox box;
  for (std::string command : {dir / "no such mailer", std::string("\"\" -x"), std::string(" ")}) {
    prompter.Clear();
    box.Command = command;
    EXPECT_EQ(box.StartMailer(&profiles), TMailBox::StartResult::Failed) << command;
    EXPECT_EQ(Errors(), std::vector<std::string>{"Could not start mailer!"}) << command;
  }
}

}  // namespace
}  // namespace velmaris::test
