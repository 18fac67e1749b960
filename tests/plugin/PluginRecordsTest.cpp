#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

#include "app/plugin/PluginLauncher.h"
#include "app/plugin/PluginServer.h"
#include "app/plugin/api/PluginRecords.h"
#include "platform/Files.h"
#include "platform/MessageSocket.h"
#include "platform/SharedMem.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using namespace velmaris::plugin;

Bytes NewMessageHead() {
  Bytes b(TNewMessage::kTextOffset, 0);
  const auto put = [&](size_t at, const std::string& s) {
    b[at] = static_cast<uint8_t>(s.size());
    std::memcpy(&b[at + 1], s.data(), s.size());
  };
  put(0, "Bob");
  put(36, "Alice");
  put(72, "Subject");
  put(144, "Origin");
  const uint8_t addrs[16] = {2, 0, 0x9C, 0x13, 1, 0, 0, 0, 2, 0, 0x9C, 0x13, 1, 0, 7, 0};
  std::memcpy(&b[216], addrs, 16);
  b[232] = 0x01;
  b[233] = 0x08;
  return b;
}

TEST(PluginRecordsTest, NewMessageFieldsSitAtTheirOffsets) {
  Bytes b = NewMessageHead();
  for (uint8_t c : {'x', '\r', '\0'}) b.push_back(c);
  const auto m = TNewMessage::Decode(b.data(), b.size());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->To, "Bob");
  EXPECT_EQ(m->From, "Alice");
  EXPECT_EQ(m->Subject, "Subject");
  EXPECT_EQ(m->Origin, "Origin");
  EXPECT_EQ(m->Dest, (TPluginAddr{2, 5020, 1, 0}));
  EXPECT_EQ(m->Orig, (TPluginAddr{2, 5020, 1, 7}));
  EXPECT_EQ(m->Attribute, 0x0801);
  EXPECT_EQ(m->Encode(), b);
}

TEST(PluginRecordsTest, NewMessageTextSplitsIntoLines) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {std::string("a\rb\r", 4) + '\0', {"a", "b"}},
      {std::string("a\r\nb\r\n", 6) + '\0', {"a", "b"}},
      {std::string("a\rb", 3) + '\0', {"a", "b"}},     // no final CR
      {"a\r\rb", {"a", "", "b"}},                     // no zero: ends with the block
      {std::string("a\0b\r", 4), {"a"}},              // the zero ends the text
      {std::string(1, '\0'), {}},
  };
  for (const auto& c : cases) {
    Bytes b = NewMessageHead();
    b.insert(b.end(), c.text.begin(), c.text.end());
    const auto m = TNewMessage::Decode(b.data(), b.size());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Lines, c.lines);
  }
}

TEST(PluginRecordsTest, ShortBlocksAndOverlongLengthsAreBounded) {
  const Bytes big(1024, 0xFF);
  EXPECT_FALSE(TPluginInfo::Decode(big.data(), 783));
  EXPECT_FALSE(TPluginService::Decode(big.data(), 527));
  EXPECT_FALSE(TPluginUplink::Decode(big.data(), 527));
  EXPECT_FALSE(TAreaCreation::Decode(big.data(), 512));
  EXPECT_FALSE(TNewMessage::Decode(big.data(), 238));
  // Length bytes of 255 in fields of 35 and 71 characters are cut to them.
  const auto m = TNewMessage::Decode(big.data(), 239);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->To.size(), 35u);
  EXPECT_EQ(m->Subject.size(), 71u);
  EXPECT_EQ(m->Lines, std::vector<std::string>{"\xFF"});
}

TEST(PluginRecordsTest, ServiceRecordLayout) {
  const TPluginService s{1, "Caption", "Text", 0x500, 0x1234, 0xABCD};
  const Bytes b = s.Encode();
  ASSERT_EQ(b.size(), 528u);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[4], 7);
  EXPECT_EQ(std::string(b.begin() + 5, b.begin() + 12), "Caption");
  EXPECT_EQ(b[260], 4);
  EXPECT_EQ(b[516], 0x00);
  EXPECT_EQ(b[517], 0x05);
  EXPECT_EQ(b[520], 0x34);
  EXPECT_EQ(b[524], 0xCD);
  EXPECT_EQ(TPluginService::Decode(b.data(), b.size()), s);
  const TPluginUplink u{"Boss", "Me", {2, 5020, 1, 0}, {2, 5020, 1, 7}};
  const Bytes ub = u.Encode();
  EXPECT_EQ(ub[512], 2);
  EXPECT_EQ(ub[514], 0x9C);
  EXPECT_EQ(ub[526], 7);
  EXPECT_EQ(TPluginUplink::Decode(ub.data(), ub.size()), u);
}

TEST(PluginRecordsTest, TheProgramsInformationRecord) {
  const Bytes b = PluginHostInfo().Encode();
  ASSERT_EQ(b.size(), 784u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 12), "\x0BVelmaris 95");
  EXPECT_EQ(b[512], 37);  // "The Integrated Fidonet Point Package!"
  EXPECT_EQ(b[768], 215);
  EXPECT_EQ(b[776], 1);
  EXPECT_EQ(b[780], 1);
}

TEST(PluginRecordsTest, AreaListsHoldSeparatorsAndRefuseLies) {
  EXPECT_EQ(EncodeAreaList({}), (Bytes{0, 0, 0, 0}));
  const std::vector<TAreaEntry> areas{{"NETMAIL", 3}, {"!SEP!", 5}};
  const Bytes b = EncodeAreaList(areas);
  EXPECT_EQ(b.size(), 4u + 9 + 7);
  EXPECT_EQ(DecodeAreaList(b.data(), b.size()), areas);
  EXPECT_FALSE(DecodeAreaList(b.data(), b.size() - 1));  // the last type byte is missing
  Bytes lying = b;
  lying[0] = 3;
  EXPECT_FALSE(DecodeAreaList(lying.data(), lying.size()));
  const Bytes names = EncodeAreaNames({"A", "BC"});
  EXPECT_EQ(names, (Bytes{2, 0, 0, 0, 'A', 0, 'B', 'C', 0}));
  EXPECT_FALSE(DecodeAreaNames(names.data(), names.size() - 1));
  EXPECT_EQ(DecodeIndexes(EncodeIndexes({1, 0x10203}).data(), 7), std::vector<uint32_t>{1});
}

TEST(PluginRecordsTest, FramesAreSixteenBytesExactly) {
  const platform::TThreadMessage m{0x403, 0x11223344, 0, 0x80001002};
  const auto b = m.Encode();
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b[1], 0x04);
  EXPECT_EQ(b[4], 0x44);
  EXPECT_EQ(b[15], 0x80);
  EXPECT_EQ(platform::TThreadMessage::Decode(b.data(), 16), m);
  EXPECT_FALSE(platform::TThreadMessage::Decode(b.data(), 15));
  EXPECT_FALSE(platform::TThreadMessage::Decode(b.data(), 17));
}

TEST(SharedMemTest, TheFirstSideCreatesAndTheSecondSeesItsBytes) {
  TempDir dir;
  platform::EnsurePrivateFolder(dir.Path() + "run/");
  const std::string folder = dir.Path() + "run/";
  EXPECT_EQ(platform::SharedBlockName("Msg", 0xAB), "KQMsg000000AB");
  {
    platform::TSharedMem a(folder, "KQMsg000000AB", 16);
    ASSERT_TRUE(a.Created && a.Buffer);
    a.Buffer[3] = 42;
    platform::TSharedMem b(folder, "KQMsg000000AB", 16);
    ASSERT_TRUE(b.Existing());
    EXPECT_EQ(b.Buffer[3], 42);
    platform::TSharedMem tooBig(folder, "KQMsg000000AB", 17);  // never past the file's end
    EXPECT_FALSE(tooBig.Created);
    EXPECT_EQ(tooBig.Buffer, nullptr);
    platform::TSharedMem badName(folder, "../KQMsg", 16);
    EXPECT_EQ(badName.Buffer, nullptr);
  }
  EXPECT_FALSE(platform::FileExists(folder + "KQMsg000000AB"));  // the creator removed it
  dir.Write("run/KQStoreNew000000AB", "x");
  dir.Write("run/KQStoreNew000000AC", "x");
  EXPECT_EQ(platform::RemoveBlocksOf(folder, 0xAB), 1);
  EXPECT_TRUE(platform::FileExists(folder + "KQStoreNew000000AC"));
}

TEST(SharedMemTest, AFolderOthersMayEnterIsRefused) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir.Path() + "open").c_str(), 0755), 0);
  EXPECT_THROW(platform::EnsurePrivateFolder(dir.Path() + "open/"), platform::EFile);
}

TEST(PluginLauncherTest, OnlyExecutablePluginProgramsStart) {
  TempDir dir;
  for (const char* name : {"Plugin_b", "Plugin_a", "Plugin_readme", "Other"}) dir.Write(name, "x");
  for (const char* name : {"Plugin_b", "Plugin_a", "Other"})
    ASSERT_EQ(::chmod((dir.Path() + name).c_str(), 0700), 0);
  EXPECT_EQ(plugin::PluginPrograms(dir.Path()),
            (std::vector<std::string>{dir.Path() + "Plugin_a", dir.Path() + "Plugin_b"}));
  EXPECT_TRUE(plugin::PluginPrograms(dir.Path() + "missing/").empty());
}

}  // namespace
}  // namespace velmaris::test
