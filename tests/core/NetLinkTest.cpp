#include "core/NetLink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/Settings.h"
#include "core/WinRegistry.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

using NetLinkTest = RegistryFixture;

// Every field as one text, so that a round trip is compared in one go.
std::string Describe(const TNetLink& l) {
  auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += "[" + x + "]";
    return s;
  };
  return l.Name + "|" + l.UplinkAddress.Text4D() + "|" + l.Sysop + "|" + l.SysopAddress.Text4D() +
         "|" + l.Password + "|" + l.SessionPassword + "|" + l.AreaFixPassword + "|" +
         l.FileScanPassword + "|" + l.AFReceiver + "|" + l.AFSender + "|" +
         std::to_string(l.AFNameO) + "," + std::to_string(l.AFDescO) + "," +
         std::to_string(l.AFDescL) + "|" + join(l.AreaFixTitles) + "|" + l.FSReceiver + "|" +
         l.FSSender + "|" + std::to_string(l.FSNameO) + "," + std::to_string(l.FSDescO) + "," +
         std::to_string(l.FSDescL) + "|" + join(l.FileScanTitles) + "|" +
         std::to_string(l.Mailbox) + "|" + (l.UsePacker ? "pack" : "nopack") + "|" + l.Packer;
}

std::unique_ptr<TNetLink> BossLink() {
  auto l = std::make_unique<TNetLink>();
  l->Name = "Boss";
  l->UplinkAddress.SetText("2:5020/1");
  l->Sysop = "Ann Point";
  l->SysopAddress.SetText("2:5020/1.7");
  l->Password = "PKT";
  l->SessionPassword = "SES";
  l->AreaFixPassword = "AFPW";
  l->FileScanPassword = "FSPW";
  l->AFSender = "AreaMgr";
  l->FSReceiver = "FileFix";
  l->FSSender = "FileMgr";
  l->AFNameO = 4;
  l->AFDescO = 40;
  l->AFDescL = -1;
  l->FSNameO = 5;
  l->FSDescO = 30;
  l->FSDescL = 2;
  l->AreaFixTitles = {"Area list"};
  l->Mailbox = 2;
  l->UsePacker = true;
  l->Packer = "PKZip";
  return l;
}

// ---------------------------------------------------------------------------
// Defaults and the registry form

TEST_F(NetLinkTest, ListRoundTripKeepsEveryFieldAndTheOrder) {
  TLinkList links;
  links.Add(BossLink());
  auto second = std::make_unique<TNetLink>();
  second->Name = "Backup \"uplink\"";
  second->UplinkAddress.SetText("1:2/3");
  second->FileScanTitles = {"Files", "", "More files"};
  links.Add(std::move(second));
  links.SaveToRegistry(reg, "Uplinks");

  TLinkList loaded;
  for (int pass = 0; pass < 2; ++pass) {  // loading again does not duplicate
    loaded.LoadFromRegistry(reg, "Uplinks", "");
    ASSERT_EQ(loaded.GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Describe(*loaded.GetItem(i)), Describe(*links.GetItem(i)));
      EXPECT_EQ(loaded.GetString(i), links.GetItem(i)->Name);
    }
  }
}

TEST_F(NetLinkTest, MissingValuesReadTheDefaultsAndBadAddressesKeepThem) {
  reg.WriteInteger("Uplinks", "Count", 1);
  reg.WriteString("Uplinks\\Uplink1", "Uplinkaddress", "not an address");
  TLinkList loaded;
  loaded.LoadFromRegistry(reg, "Uplinks", "");
  ASSERT_EQ(loaded.GetCount(), 1);
  TNetLink fresh;
  EXPECT_EQ(Describe(*loaded.GetItem(0)), Describe(fresh));
  EXPECT_EQ(loaded.GetItem(0)->Name, "Heaven");
  EXPECT_EQ(loaded.GetItem(0)->Sysop, "Jon Doe");
  EXPECT_EQ(loaded.GetItem(0)->UplinkAddress.Text4D(), "0:8/15");
  EXPECT_EQ(loaded.GetItem(0)->AFDescO, 41);
}

TEST_F(NetLinkTest, LoadingReplacesTheTitleLists) {
  auto link = BossLink();
  link->SaveToRegistry(reg, "Uplinks\\Uplink1");
  link->AreaFixTitles = {"stale", "titles"};
  link->FileScanTitles = {"stale"};
  link->LoadFromRegistry(reg, "Uplinks\\Uplink1");
  EXPECT_EQ(link->AreaFixTitles, std::vector<std::string>{"Area list"});
  EXPECT_TRUE(link->FileScanTitles.empty());
}

// ---------------------------------------------------------------------------
// Outbound directories

TEST_F(NetLinkTest, SetOutboundTakesCreatesOrRefusesTheDirectory) {
  dir.Write("afile", "x");
  struct Case {
    const char* name;
    std::string path;
    std::string expected;
  } cases[] = {
      {"existing directory", dir.Path(), dir.Path()},
      {"missing directory is created with its parents", dir / "a/b/Outbound/",
       dir / "a/b/Outbound/"},
      {"path without trailing slash is kept as given", dir / "plain", dir / "plain"},
      {"empty path", "", ""},
      {"cannot be created below a file", dir / "afile/Outbound/", ""},
  };
  for (const auto& c : cases) {
    TNetLink link(dir / "start/");
    link.SetOutbound(c.path);
    EXPECT_EQ(link.Outbound(), c.expected) << c.name;
    if (!c.expected.empty()) {
      EXPECT_TRUE(platform::DirExists(c.expected)) << c.name;
    }
  }
}

TEST_F(NetLinkTest, ZoneOutboundNamesForeignZonesByThreeHexDigits) {
  struct Case {
    int32_t ownZone, zone;
    const char* expected;
  } cases[] = {
      {2, 2, "/fido/Outbound/"},         {2, 1, "/fido/Outbound.001/"},
      {2, 10, "/fido/Outbound.00A/"},    {1, 2, "/fido/Outbound.002/"},
      {2, 0x123, "/fido/Outbound.123/"}, {2, 0, "/fido/Outbound.000/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZoneOutbound("/fido/Outbound/", c.ownZone, c.zone), c.expected)
        << c.ownZone << " " << c.zone;
  }
  EXPECT_EQ(ZoneOutbound("", 2, 1), "");
}

TEST_F(NetLinkTest, ZoneOutboundThatCannotBeMadeFallsBackToTheMainOne) {
  // A file where the zone directory would go.
  dir.Write("Outbound.001", "in the way");
  std::filesystem::create_directories(dir / "Outbound");
  EXPECT_EQ(GetUplinkOutbound(dir / "Outbound/", 2, 1), dir / "Outbound/");
  EXPECT_EQ(GetUplinkOutbound(dir / "Outbound/", 2, 3), dir / "Outbound.003/");
}

// ---------------------------------------------------------------------------
// Flow files

TEST(FlowFileNameTest, NetAndNodeAsFourUpperCaseHexDigits) {
  struct Case {
    TFidoAddr address;
    const char* expected;
  } cases[] = {
      {{2, 5020, 1, 0}, "139C0001.flo"},
      {{1, 5020, 1, 0}, "139C0001.flo"},     // the zone plays no part
      {{2, 5020, 1042, 7}, "139C0412.flo"},  // nor the point
      {{2, 0, 0, 0}, "00000000.flo"},
      {{2, 65535, 43981, 0}, "FFFFABCD.flo"},
  };
  for (const auto& c : cases) EXPECT_EQ(FlowFileName(c.address), c.expected);
}

class FlowFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.UplinkAddress.SetText("2:5020/1");
    link.SetOutbound(dir / "Outbound/");
  }
  std::string Flow() const { return dir.Read("Outbound/139C0001.flo"); }

  TempDir dir;
  TNetLink link;
};

TEST_F(FlowFileTest, AppendingToAMissingFlowFileCreatesItAndKeepsTheOrder) {
  const std::string a = dir / "Outbound/0000FFFE.MO0";
  const std::string b = dir / "files/report.txt";
  EXPECT_EQ(link.AppendToFlowFile(a, true), dir / "Outbound/139C0001.flo");
  link.AppendToFlowFile(b, false);
  link.AppendToFlowFile(a, true);  // listed again: lines are never merged
  EXPECT_EQ(Flow(), "^" + a + "\r\n" + b + "\r\n^" + a + "\r\n");
}

TEST_F(FlowFileTest, FileNamesAreFullyExpanded) {
  const std::string cwd = std::filesystem::current_path().generic_string();
  struct Case {
    std::string given;
    std::string listed;
  } cases[] = {
      {"bundle.TU1", cwd + "/bundle.TU1"},
      {"./out/../out/x.pkt", cwd + "/out/x.pkt"},
      {dir / "a/./b/../c file.zip", dir / "a/c file.zip"},  // blanks stay whole
  };
  std::string expected;
  for (const auto& c : cases) {
    link.AppendToFlowFile(c.given, false);
    expected += c.listed + "\r\n";
  }
  EXPECT_EQ(Flow(), expected);
}

TEST_F(FlowFileTest, AnExistingFlowFileIsExtendedWhateverTheCaseOfItsName) {
  dir.Write("Outbound/139C0001.FLO", "^/old/bundle.SU0\r\n");
  EXPECT_EQ(link.FlowFilePath(), dir / "Outbound/139C0001.FLO");
  link.AppendToFlowFile("/new/file.pkt", false);
  EXPECT_EQ(dir.Read("Outbound/139C0001.FLO"), "^/old/bundle.SU0\r\n/new/file.pkt\r\n");
  EXPECT_FALSE(platform::FileExists(dir / "Outbound/139C0001.flo"));
}

TEST_F(FlowFileTest, ALastLineWithoutItsLineEndIsEndedFirst) {
  struct Case {
    std::string before;
    std::string after;
  } cases[] = {
      {"/a.pkt", "/a.pkt\r\n/b.pkt\r\n"},
      {"/a.pkt\n", "/a.pkt\n/b.pkt\r\n"},
      {"/a.pkt\r\n", "/a.pkt\r\n/b.pkt\r\n"},
      {"", "/b.pkt\r\n"},
  };
  for (const auto& c : cases) {
    dir.Write("Outbound/139C0001.flo", c.before);
    link.AppendToFlowFile("/b.pkt", false);
    EXPECT_EQ(Flow(), c.after) << c.before;
  }
}

TEST_F(FlowFileTest, FailuresAreReportedAndWriteNothing) {
  // No outbound directory.
  TNetLink homeless;
  EXPECT_THROW(homeless.AppendToFlowFile("/a.pkt", false), EFlowFile);

  // Names that would break the file into other lines, or no name at all.
  for (const std::string& bad : {std::string("/a.pkt\r\n^/etc/passwd"), std::string("/a\nb"),
                                 std::string("/a\0b", 4), std::string()}) {
    EXPECT_THROW(link.AppendToFlowFile(bad, false), EFlowFile);
  }
  EXPECT_FALSE(platform::FileExists(dir / "Outbound/139C0001.flo"));

  // The flow file cannot be opened for writing.
  std::filesystem::create_directories(dir / "Outbound/139C0001.flo");
  EXPECT_THROW(link.AppendToFlowFile("/a.pkt", false), EFlowFile);
}

TEST_F(FlowFileTest, AppendWaitsWhileAnotherHoldsTheFlowFileLock) {
  std::unique_lock lock(FlowFileMutex());
  std::thread scanner([&] { link.AppendToFlowFile("/a.pkt", false); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // The mailer, say, is still rewriting: nothing may have been written.
  EXPECT_FALSE(platform::FileExists(dir / "Outbound/139C0001.flo"));
  lock.unlock();
  scanner.join();
  EXPECT_EQ(Flow(), "/a.pkt\r\n");
}

}  // namespace
}  // namespace velmaris::test
