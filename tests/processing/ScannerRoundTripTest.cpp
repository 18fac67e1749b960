// The round trip through the batch driver: a message written into an echo
// area linked to an uplink is exported into that uplink's packet, packed by
// zip into the day's bundle and listed in the flow file; the stored message
// shows it sent. The bundle is unpacked with unzip and the packet is read
// with the packet reader; tossed by the batch import in another start
// directory, it gives the same message back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "archive/PackerConfig.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/MsgHeader.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "processing/MailPacket.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Field(const std::string& line, const std::string& key) {
  size_t pos = line.find("\"" + key + "\":");
  if (pos == std::string::npos) return "<missing>";
  pos += key.size() + 3;
  if (line[pos] == '"') {
    size_t end = pos + 1;
    for (; end < line.size() && line[end] != '"'; ++end)
      if (line[end] == '\\') ++end;
    return line.substr(pos, end + 1 - pos);
  }
  return line.substr(pos, line.find_first_of(",}", pos) - pos);
}

class ScannerRoundTrip : public ::testing::Test {
 protected:
  int Batch(const std::vector<std::string>& args, std::string* out) {
    return RunBatch(start.Path(), start / "Velmaris.reg", args, out, "2>&1");
  }
  // The uplink and the own address under it; bundles packed by PKZip.
  void ConfigureUplink(const TempDir& dir, const std::string& uplink, const std::string& own) {
    platform::Registry registry(dir / "Velmaris.reg");
    TConfigStore store(dir.Path(), registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    ASSERT_GT(store.Uplinks().GetCount(), 0);
    TNetLink* link = store.Uplinks().GetItem(0);
    link->Name = "Boss";
    link->UplinkAddress.SetText(uplink);
    link->SysopAddress.SetText(own);
    link->UsePacker = true;
    link->Packer = "PKZip";
    ASSERT_TRUE(store.SaveConfiguration());
  }
  std::string FlowFilePath() {
    platform::Registry registry(start / "Velmaris.reg");
    TConfigStore store(start.Path(), registry);
    store.LoadConfiguration();
    return store.Uplinks().GetItem(0)->FlowFilePath();
  }

  TempDir start;
};

TEST_F(ScannerRoundTrip, WrittenMessageLeavesInTheBundleAndComesBack) {
  ConfigureUplink(start, "2:5020/1", "2:5020/1.7");
  start.Write("text.txt", "Hello there\r\nSecond line\r\n");
  std::string out;
  ASSERT_EQ(Batch({"write", "ROUND.ECHO", "--from", "Point User", "--to", "All", "--subject",
                   "Round trip", "--text-file", start / "text.txt"},
                  &out),
            0)
      << out;
  ASSERT_EQ(Batch({"export"}, &out), 0) << out;
  EXPECT_NE(out.find("1 messages from area ROUND.ECHO exported."), std::string::npos) << out;
  EXPECT_NE(out.find("\"echomails\":1"), std::string::npos) << out;

  // Listed once in the flow file: the day's bundle, a ZIP archive.
  const std::string flowPath = FlowFilePath();
  ASSERT_TRUE(platform::FileExists(flowPath)) << flowPath;
  const std::string flow = platform::ReadFile(flowPath);
  ASSERT_EQ(flow.front(), '^');
  ASSERT_EQ(flow.substr(flow.size() - 2), "\r\n");
  const std::string bundle = flow.substr(1, flow.size() - 3);
  EXPECT_EQ(flow.find("\r\n"), flow.size() - 2);
  const std::string ext = bundle.substr(bundle.size() - 4);
  EXPECT_EQ(ext.substr(0, 1), ".");
  EXPECT_EQ(ext.back(), '0');
  const std::string archive = platform::ReadFile(bundle);
  ASSERT_EQ(archive.substr(0, 2), "PK");

  // The message shows it sent.
  ASSERT_EQ(Batch({"dump", "ROUND.ECHO"}, &out), 0) << out;
  const int flags = std::stoi(Field(out, "flags"));
  EXPECT_EQ(flags & MsgFlag::Send, 0);
  EXPECT_EQ(flags & MsgFlag::Sent, MsgFlag::Sent);

  // Unpacked with unzip and read with the packet reader.
  TempDir unpacked;
  ASSERT_EQ(RunShell("unzip -q -o " + ShellQuote(bundle) + " -d " + ShellQuote(unpacked.Path())),
            0);
  const auto packets = platform::ScanDir(unpacked.Path(), "*.pkt");
  ASSERT_EQ(packets.size(), 1u);
  TMailPacket packet(unpacked / packets[0].name);
  packet.SetShowDamageBox(false);
  ASSERT_NE(packet.NextMail(), nullptr);
  EXPECT_EQ(packet.GetHeader().OrigNet, 5020);
  EXPECT_EQ(packet.GetHeader().OrigNode, 1);
  EXPECT_EQ(packet.GetHeader().OrigPoint, 7);
  EXPECT_EQ(packet.GetMailHeader().Subject.Str(), "Round trip");
  EXPECT_NE(packet.GetMailBuffer().find("Hello there\rSecond line\r"), std::string::npos);
  EXPECT_EQ(packet.NextMail(), nullptr);

  // Tossed by "import" in another start directory: the same message.
  std::string sentDump;
  ASSERT_EQ(Batch({"dump", "ROUND.ECHO"}, &sentDump), 0) << sentDump;
  TempDir other;
  // The other side: the point is its uplink.
  ConfigureUplink(other, "2:5020/1.7", "2:5020/1");
  std::string tossed;
  platform::WriteFileAtomic(other / ("Inbound/" + platform::NameOf(bundle)), archive);
  ASSERT_EQ(RunBatch(other.Path(), other / "Velmaris.reg", {"import"}, &tossed, "2>&1"), 0)
      << tossed;
  EXPECT_NE(tossed.find("1 messages from 1 packets imported."), std::string::npos) << tossed;
  ASSERT_EQ(RunBatch(other.Path(), other / "Velmaris.reg", {"dump", "ROUND.ECHO"}, &tossed, "2>&1"),
            0)
      << tossed;
  for (const char* key : {"orig", "from", "to", "subject", "created", "msgid", "text"})
    EXPECT_EQ(Field(tossed, key), Field(sentDump, key)) << key;
  EXPECT_NE(Field(tossed, "text").find("Hello there\\rSecond line\\r"), std::string::npos);

  // A second export finds nothing; optimisation and maintenance keep the
  // sent message (maintenance never deletes sent mail).
  ASSERT_EQ(Batch({"export"}, &out), 0) << out;
  EXPECT_NE(out.find("\"echomails\":0"), std::string::npos) << out;
  EXPECT_EQ(platform::ReadFile(flowPath), flow);
  for (const char* command : {"optimize", "maintain"}) {
    ASSERT_EQ(Batch({command}, &out), 0) << out;
    EXPECT_NE(out.find("{\"status\":\"Done!\"}"), std::string::npos) << command << out;
    EXPECT_NE(out.find("{\"area\":\"ROUND.ECHO\",\"count\":1}"), std::string::npos)
        << command << out;
  }
  ASSERT_EQ(Batch({"dump", "ROUND.ECHO"}, &out), 0) << out;
  EXPECT_NE(out.find("Hello there\\rSecond line\\r"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmaris::test
