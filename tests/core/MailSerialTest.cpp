#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MailFixtures.h"
#include "core/Mail.h"
#include "core/SerialCounter.h"
#include "core/WinRegistry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";

TEST(MailSerialTest, SeedsFromTheStartTime) {
  struct Case {
    TDateTime time;
    uint32_t fileSeed, msgIdSeed;
  } cases[] = {
      // ((((12 * 32 + 6) * 24 + 19) * 60 + 52) * 60 + 11) = 33767531
      {EncodeDateTime(2026, 12, 6, 19, 52, 11), 337675310u, 27276672u},  // << 7 wraps
      // ((((1 * 32 + 1) * 24 + 0) * 60 + 0) * 60 + 0) = 2851200
      {EncodeDateTime(1999, 1, 1, 0, 0, 0), 28512000u, 364953600u},
      // the year does not count
      {EncodeDateTime(2030, 1, 1, 0, 0, 0), 28512000u, 364953600u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileSerialSeed(c.time), c.fileSeed);
    EXPECT_EQ(MsgIdSerialSeed(c.time), c.msgIdSeed);
  }
}

TEST(MailSerialTest, HexTextAndSteps) {
  TSerialCounter c(0xABCDEF);
  EXPECT_EQ(NextSerialHex(c), "00ABCDEF");
  EXPECT_EQ(NextSerialHex(c), "00ABCDF0");
  EXPECT_EQ(c.Peek(), 0xABCDF1u);
  TSerialCounter top(0xFFFFFFFE);
  EXPECT_EQ(NextSerialHex(top), "FFFFFFFE");
  EXPECT_EQ(NextSerialHex(top), "FFFFFFFF");
  EXPECT_EQ(NextSerialHex(top), "00000001");  // 0 means "no serial"
  EXPECT_EQ(TSerialCounter(0).Next(), 1u);
}

TEST(MailSerialTest, NoRepeatAcrossARestart) {
  TempDir dir;
  const std::string file = dir / "Velmaris.reg";
  const TDateTime start = EncodeDateTime(2026, 12, 6, 19, 52, 11);
  std::set<uint32_t> handed;

  struct Run {
    TDateTime startTime;
    int values;
  } runs[] = {
      {start, 25},                    // first run
      {start, 25},                    // restarted within the same second
      {start - 1.0 / 86400 * 3, 40},  // clock set back three seconds
      {start - 365, 10},              // the same day a year earlier
      {start + 1, 5},                 // a day later: the seed lies above
  };
  for (const Run& run : runs) {
    platform::Registry store(file);  // what the previous run saved
    TWinRegistry reg(kRoot, store);
    TSerialCounter fileSerial(FileSerialSeed(run.startTime));
    TSerialCounter msgIdSerial(MsgIdSerialSeed(run.startTime));
    fileSerial.LoadFromRegistry(reg, kSerialSection, kFileSerialValue);
    msgIdSerial.LoadFromRegistry(reg, kSerialSection, kMsgIdSerialValue);
    for (int i = 0; i < run.values; ++i) {
      EXPECT_TRUE(handed.insert(fileSerial.Next()).second);
      EXPECT_TRUE(handed.insert(msgIdSerial.Next() | 0x80000000u).second);
    }
    fileSerial.SaveToRegistry(reg, kSerialSection, kFileSerialValue);
    msgIdSerial.SaveToRegistry(reg, kSerialSection, kMsgIdSerialValue);
    reg.Flush();
  }
  // A day later the counter starts from its own seed again.
  platform::Registry store(file);
  TWinRegistry reg(kRoot, store);
  EXPECT_EQ(static_cast<uint32_t>(reg.ReadInteger(kSerialSection, kFileSerialValue, 0)),
            FileSerialSeed(start + 1) + 4);
}

TEST(MailSerialTest, SavingNeverLowersTheStoredValue) {
  TempDir dir;
  platform::Registry store(dir / "Velmaris.reg");
  TWinRegistry reg(kRoot, store);
  reg.WriteInteger(kSerialSection, kFileSerialValue, 5000);
  TSerialCounter low(100);  // never loaded
  low.Next();
  low.SaveToRegistry(reg, kSerialSection, kFileSerialValue);
  EXPECT_EQ(reg.ReadInteger(kSerialSection, kFileSerialValue, 0), 5000);
  TSerialCounter high(9000);
  high.Next();
  high.SaveToRegistry(reg, kSerialSection, kFileSerialValue);
  EXPECT_EQ(reg.ReadInteger(kSerialSection, kFileSerialValue, 0), 9000);
}

TEST(MailSerialTest, ValuesAboveTwoToThe31SurviveTheRegistry) {
  TempDir dir;
  platform::Registry store(dir / "Velmaris.reg");
  TWinRegistry reg(kRoot, store);
  TSerialCounter a(0xF0000000u);
  a.Next();
  a.SaveToRegistry(reg, kSerialSection, kMsgIdSerialValue);
  TSerialCounter b(5);
  b.LoadFromRegistry(reg, kSerialSection, kMsgIdSerialValue);
  EXPECT_EQ(b.Next(), 0xF0000001u);
  // The highest value leaves the counter where it is.
  TSerialCounter c(7);
  c.RaiseAbove(0xFFFFFFFFu);
  EXPECT_EQ(c.Next(), 7u);
}

TEST(MailSerialTest, ThreadsNeverShareAValue) {
  TSerialCounter c(1000);
  std::vector<uint32_t> seen[4];
  std::vector<std::thread> threads;
  for (auto& out : seen)
    threads.emplace_back([&c, &out] {
      for (int i = 0; i < 5000; ++i) out.push_back(c.Next());
    });
  for (auto& t : threads) t.join();
  std::set<uint32_t> all;
  for (auto& out : seen) all.insert(out.begin(), out.end());
  EXPECT_EQ(all.size(), 20000u);
  EXPECT_EQ(*all.begin(), 1000u);
  EXPECT_EQ(*all.rbegin(), 20999u);
}

TEST(MailSerialTest, ExclusiveCreationSkipsExistingNames) {
  TempDir dir;
  dir.Write("0000000A.MSG", "unsent A");
  dir.Write("0000000b.msg", "unsent B");  // a peer's lower-case name
  dir.Write("0000000D.pkt", "other kind");
  TSerialCounter c(10);
  auto mail = MakeSpecMail(MailSpec{});
  const std::string path = mail->SaveToNewMsgFile(dir.Path(), c);
  EXPECT_EQ(path, dir / "0000000C.MSG");
  EXPECT_EQ(dir.Read("0000000C.MSG"), mail->BuildMsgImage());
  EXPECT_EQ(dir.Read("0000000A.MSG"), "unsent A");
  EXPECT_EQ(dir.Read("0000000b.msg"), "unsent B");

  TSerialFile pkt = CreateSerialFile(dir.Path(), ".pkt", c);
  ASSERT_TRUE(pkt.Fd.ok());
  pkt.Fd.Close();
  EXPECT_EQ(pkt.Name, "0000000E.pkt");  // D is taken
  EXPECT_EQ(dir.Read("0000000D.pkt"), "other kind");
  EXPECT_EQ(dir.Read("0000000E.pkt"), "");
}

TEST(MailSerialTest, CreationFailsCleanly) {
  TempDir dir;
  TSerialCounter c(1);
  auto mail = MakeSpecMail(MailSpec{});
  EXPECT_EQ(mail->SaveToNewMsgFile(dir / "missing/", c), "");
  TSerialFile f = CreateSerialFile(dir / "missing/", ".pkt", c);
  EXPECT_FALSE(f.Fd.ok());
  EXPECT_EQ(f.Path, "");
}

}  // namespace
}  // namespace velmaris::test
