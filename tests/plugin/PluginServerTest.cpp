#include <fcntl.h>

#include <sstream>

#include "app/plugin/PluginMenus.h"
#include "app/plugin/api/PluginClient.h"
#include "core/KQMail.h"
#include "platform/Ascii.h"
#include "platform/SharedMem.h"
#include "PluginFixture.h"

namespace velmaris::test {
namespace {


class PluginServerTest : public PluginFixture {};

TEST_F(PluginServerTest, PluginListsAreasWritesAMessageAndReadsItBack) {
  auto p = Connected();
  const std::string areas = (*p)("areas");
  size_t size = 4;
  for (int i = 0; i < store->Areas().GetCount(); ++i) size += store->Areas().GetString(i).size() + 2;
  EXPECT_EQ(std::stoul(areas.substr(0, areas.find(' ')), nullptr, 16), size);
  EXPECT_NE(areas.find("NETMAIL:3,"), std::string::npos);
  EXPECT_NE(areas.find("TEST.ECHO:0,"), std::string::npos);

  EXPECT_EQ((*p)("open TEST.ECHO"), "0x0");
  EXPECT_TRUE(echo->IsLockedExclusive());
  EXPECT_EQ((*p)("current"), "0xA TEST.ECHO");
  // The first REPLY line's number is no number: the second gives the key.
  EXPECT_EQ((*p)("store All|Tester|Hello|First line\\r\x01REPLY: 2:5020/1 0000abcz\\r"
                 "\x01REPLY: 2:5020/1 0000abcd\\rLast"),
            "0x0");
  EXPECT_EQ((*p)("msglist"), "0x104 1");
  const std::string read = (*p)("read 0");
  for (const char* part : {"AREA:TEST.ECHO\\x0D", "\\x01MSGID: 2:5020/1.7 ", "First line\\x0D",
                           "Last\\x0D", " * Origin: Test origin (2:5020/1.7)"})
    EXPECT_NE(read.find(part), std::string::npos) << part << " in " << read;
  EXPECT_EQ((*p)("setflags 0 2"), "0x0");
  EXPECT_EQ((*p)("getflags 0"), "0x2");
  EXPECT_EQ((*p)("close"), "0x0");
  EXPECT_FALSE(echo->IsLocked());
  // What the area holds now that the plug-in has let go of it.
  ASSERT_TRUE(echo->OpenIndex());
  const TMsgHeader stored = echo->GetHeader(0);
  echo->CloseIndex();
  EXPECT_EQ(stored.ReplyNumber, 0xabcdu);
  EXPECT_EQ(stored.Subject.Str(), "Hello");
  EXPECT_EQ(stored.Flags, 2);
  EXPECT_EQ((*p)("end"), "ok");
  EXPECT_TRUE(ConnectionsAre(0));
  std::lock_guard lock(logMutex);
  EXPECT_TRUE(log.empty());  // a goodbye is no failure
}

TEST_F(PluginServerTest, EveryFailureAnswersItsCode) {
  auto p = Connected();
  const std::pair<const char*, const char*> cases[] = {
      {"close", "0x80001002"},
      {"msglist", "0x80001002 0"},
      {"read 0", "0x80001002 "},
      {"getflags 0", "0x80001002"},
      {"setflags 0 1", "0x80001002"},
      {"current", "0x80001002 "},
      {"store a|b|c|text", "0x80001002"},
      {"open NO.SUCH.AREA", "0x80003002"},
      {"type NO.SUCH.AREA", "0x80003002"},
      {"type NETMAIL", "0x3"},
      {"uplink NO.SUCH.AREA", "0x80001002 "},
      {"uplink NETMAIL", "0x80005001 "},
      {"create TEST.ECHO 0 x", "0x80003004"},
      {"create NEW.ECHO 0 NoSuchUplink", "0x80005002"},
      {"create SEPARATOR.LIKE 5 x", "0x80001001"},
      {"block CreateArea 512 413", "0x80001003"},
      {"block StoreNew 238 40F", "0x80001003"},
      {"block StoreNew 300 40F 500", "0x80001001"},  // a block shorter than the size given
      {"raw 40F 0 300", "0x80001001"},   // no block behind the size
      {"raw 409 0 10", "0x80001001"},
      {"raw 41A 0 0", "0x80001003"},
      {"raw 40D 0 528", "0x0"},          // no service record: no handle
      {"register 3 500 Refused", "0x0"},
      {"unregister 0x999", "0x80004001"},
      {"raw 407 0 0", "0x404"},
      {"raw 418 0 0", "0x404"},
      {"open TEST.ECHO", "0x0"},
      {"read 0", "0x80002001 "},
      {"getflags 4294967295", "0x80002001"},
  };
  for (const auto& [command, expected] : cases) EXPECT_EQ((*p)(command), expected) << command;
  EXPECT_TRUE(host->PluginServices().empty());
}

TEST_F(PluginServerTest, BlocksOfEverySizeAreTakenAndAcknowledged) {
  // A block of 0x404 bytes (the number of "unknown request") is a block.
  struct Case {
    const char* area;
    int messages;
    size_t bodyBytes;
    const char* msglist;
  } cases[] = {
      {"ONE.MSG", 1, 100, "0x104 1"},
      {"FOUR.MSGS", 4, 100, "0x404 4"},  // 4 + 4 * 256 bytes
      {"LONG.MSG", 1, 1028, "0x104 1"},
  };
  auto p = Connected();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.area);
    TArea* area = store->AddAreaQuiet(c.area, c.area, AreaTypeCode::Echomail,
                                      store->Uplinks().GetItem(0));
    // The packed-message head with empty names, then the text.
    constexpr size_t kTextOffset = 34 + 3;
    std::string body(kTextOffset, '\0');
    body.resize(c.bodyBytes, 'b');
    for (int i = 0; i < c.messages; ++i) {
      TMsgHeader h;
      h.TextOffset = kTextOffset;
      h.BodyLength = static_cast<uint32_t>(body.size());
      area->QueueMail(std::make_unique<TMail>(body, h));
    }
    ASSERT_TRUE(area->WriteQueuedMail());
    EXPECT_EQ((*p)(std::string("open ") + c.area), "0x0");
    EXPECT_EQ((*p)("msglist"), c.msglist);
    char size[16];
    std::snprintf(size, sizeof size, "0x%zX", c.bodyBytes);
    EXPECT_EQ((*p)("read " + std::to_string(c.messages - 1)),
              std::string(size) + " " + platform::EscapeControls(body));
    EXPECT_EQ((*p)("close"), "0x0");
  }
  EXPECT_EQ(host->PluginConnections().size(), 1u);
  std::lock_guard lock(logMutex);
  EXPECT_TRUE(log.empty());  // every block acknowledged in time
}

TEST_F(PluginServerTest, AnAreaLockedByTheProgramIsRefusedAndKeepsItsIndexUses) {
  auto p = Connected();
  TArea* netmail = store->FindArea("NETMAIL");
  ASSERT_TRUE(netmail->OpenIndex());
  ASSERT_TRUE(netmail->Lock(false));
  EXPECT_EQ((*p)("open NETMAIL"), "0x80003003");
  EXPECT_EQ(netmail->IndexUses(), 1);
  netmail->Unlock();
  netmail->CloseIndex();
  EXPECT_EQ((*p)("open NETMAIL"), "0x0");
  // Opening another area releases the first.
  EXPECT_EQ((*p)("open TEST.ECHO"), "0x0");
  EXPECT_FALSE(netmail->IsLocked());
  EXPECT_EQ(netmail->IndexUses(), 0);
}

TEST_F(PluginServerTest, AReplyBlockThatCannotBeMadeNewAnswersMinusOne) {
  auto p = Connected();
  const uint32_t id = host->PluginConnections().front()->ThreadId();
  const std::string path = folder + platform::SharedBlockName("AreaList", id);
  platform::Fd stale(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
  ASSERT_TRUE(stale.ok());
  EXPECT_EQ((*p)("areas"), "0xFFFFFFFF ");
  ::unlink(path.c_str());
  EXPECT_NE((*p)("areas").substr(0, 4), "0xFF");
}

TEST_F(PluginServerTest, CreatesAreasAndKeepsTheDiallingTranslation) {
  auto p = Connected();
  EXPECT_EQ((*p)("create NEW.NET 3 x"), "0x0");
  ASSERT_NE(store->FindArea("NEW.NET"), nullptr);
  EXPECT_EQ(store->FindArea("NEW.NET")->AreaType, 3);
  const std::string uplink = store->Uplinks().GetItem(0)->Name;
  EXPECT_EQ((*p)("create NEW.ECHO 0 " + uplink), "0x0");
  EXPECT_EQ(store->FindArea("NEW.ECHO")->Uplink, store->Uplinks().GetItem(0));
  EXPECT_EQ((*p)("uplink NEW.ECHO"), "0x0 " + uplink + "/" + store->Uplinks().GetItem(0)->Sysop);
  EXPECT_EQ((*p)("uplinks"), "0x210 1");

  EXPECT_EQ((*p)("setdt 49|0\\r\\n7|8"), "0x0");
  EXPECT_EQ(store->Values()->Lines(SettingId::DialTrans), (std::vector<std::string>{"49|0", "7|8"}));
  EXPECT_EQ((*p)("dt"), "0xA 49|0\\x0D\\x0A7|8");
}

TEST_F(PluginServerTest, InformationPassesBothWays) {
  auto p = Connected("Mail Counter");
  EXPECT_EQ((*p)("info"), "Velmaris 95 215");
  const auto info = host->QueryPluginInfo(*host->PluginConnections().front());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Name, "Mail Counter");
  EXPECT_EQ(info->Version, 3u);
}

TEST_F(PluginServerTest, ServicesAreCalledWithTheirBlocksAndGoWithTheirPlugin) {
  auto p = Connected();
  const std::string general = (*p)("register 0 500 Count all");
  const std::string area = (*p)("register 1 501 Area tool");
  const std::string msg = (*p)("register 2 502 Message tool");
  EXPECT_NE(general, "0x0");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return host->PluginServices().size() == 3; }));
  auto handle = [&](const std::string& h) { return static_cast<uint32_t>(std::stoul(h, nullptr, 16)); };
  EXPECT_EQ(host->PluginServices()[1].Record.Caption, "Area tool");

  EXPECT_EQ(host->InvokePluginService(handle(area), {}, nullptr, {}), "No area selected!");
  EXPECT_EQ(host->InvokePluginService(handle(msg), {}, echo, {}), "No messages selected !");
  EXPECT_EQ(host->InvokePluginService(handle(general), {}, nullptr, {}), "");
  EXPECT_EQ(host->InvokePluginService(handle(area), {"NETMAIL", "TEST.ECHO"}, nullptr, {}), "");

  TKQMail mail;
  mail.Area = echo;
  mail.Text = {"hi"};
  ASSERT_TRUE(mail.StoreInArea());
  ASSERT_TRUE(echo->Lock(false));
  EXPECT_EQ(host->InvokePluginService(handle(msg), {}, echo, {0, 7}),
            "Could not lock area for plugin !");
  echo->Unlock();
  EXPECT_EQ(host->InvokePluginService(handle(msg), {}, echo, {0, 7}), "");
  EXPECT_TRUE(echo->IsLockedExclusive());  // the plug-in now holds the area
  EXPECT_EQ((*p)("current"), "0xA TEST.ECHO");
  EXPECT_TRUE(dispatcher.RunUntil([&] { return (*p)("commands").substr(0, 1) == "3"; }));
  EXPECT_EQ((*p)("commands"), "3 0x500:0:;0x501:22:NETMAIL/TEST.ECHO/;0x502:8:0/7/;");

  EXPECT_EQ((*p)("unregister " + general), "0x0");
  EXPECT_EQ((*p)("unregister " + general), "0x80004001");
  EXPECT_EQ(host->PluginServices().size(), 2u);
  EXPECT_EQ((*p)("end"), "ok");
  EXPECT_TRUE(ConnectionsAre(0));
  EXPECT_TRUE(host->PluginServices().empty());
  EXPECT_FALSE(echo->IsLocked());
}

TEST_F(PluginServerTest, AKilledPluginLeavesNoLockNoServiceAndNoBlock) {
  auto p = Connected();
  EXPECT_EQ((*p)("open TEST.ECHO"), "0x0");
  EXPECT_NE((*p)("register 0 500 Tool"), "0x0");
  p->Kill();
  EXPECT_TRUE(ConnectionsAre(0));
  EXPECT_TRUE(Logged("closed its connection; disconnected"));
  EXPECT_FALSE(echo->IsLocked());
  EXPECT_EQ(echo->IndexUses(), 0);
  EXPECT_TRUE(host->PluginServices().empty());
  EXPECT_TRUE(platform::ScanDir(folder, "KQ*").empty());
}

TEST_F(PluginServerTest, APluginThatSendsGarbageIsDisconnected) {
  auto p = Connected();
  EXPECT_EQ((*p)("open TEST.ECHO"), "0x0");
  EXPECT_EQ((*p)("garbage"), "sent");
  EXPECT_TRUE(ConnectionsAre(0));
  EXPECT_TRUE(Logged("sent a malformed message; disconnected"));
  EXPECT_FALSE(echo->IsLocked());
}

TEST_F(PluginServerTest, APluginThatDoesNotAcknowledgeIsDisconnected) {
  plugin::TPluginLimits limits;
  limits.Ack = std::chrono::milliseconds(200);
  StartHost(limits);
  auto p = Connected();
  EXPECT_NE((*p)("noack").substr(0, 4), "0xFF");
  EXPECT_TRUE(ConnectionsAre(0));
  EXPECT_TRUE(Logged("did not acknowledge a block in time; disconnected"));

  auto q = Connected();
  const std::string area = (*q)("register 1 501 Area tool");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return host->PluginServices().size() == 1; }));
  EXPECT_EQ((*q)("ignore-commands"), "ok");
  host->InvokePluginService(static_cast<uint32_t>(std::stoul(area, nullptr, 16)), {"NETMAIL"},
                            nullptr, {});
  EXPECT_TRUE(ConnectionsAre(0));
  EXPECT_TRUE(Logged("did not answer the program in time; disconnected"));
}

TEST_F(PluginServerTest, StoppingTellsEveryPluginToEnd) {
  auto p = Connected("One");
  auto q = Connected("Two");
  host->StopPluginConnections();
  EXPECT_TRUE(host->PluginConnections().empty());
  // The notice is on its way: each plug-in reads it on its own thread.
  EXPECT_TRUE(dispatcher.RunUntil([&] { return (*p)("ended") == "yes"; }));
  EXPECT_TRUE(dispatcher.RunUntil([&] { return (*q)("ended") == "yes"; }));
}

TEST_F(PluginServerTest, APluginThatShrinksItsBlockWhileItIsReadCannotCrashTheProgram) {
  auto p = Connected();
  // Read whole, the block is a message for an area that is not open; cut
  // short under the reader, it is a bad parameter block.
  const std::string results = (*p)("shrinking StoreNew 4000000 40F 30");
  ASSERT_FALSE(results.empty());
  std::istringstream each(results);
  for (std::string r; each >> r;)
    EXPECT_TRUE(r == "0x80001001" || r == "0x80001002") << results;
  EXPECT_EQ((*p)("current"), "0x80001002 ");  // still served
}

TEST_F(PluginServerTest, SilentConnectionsDoNotHoldOffAPlugin) {
  plugin::TPluginLimits limits;
  limits.Connect = std::chrono::hours(1);  // nobody here is given up for silence
  StartHost(limits);
  std::vector<platform::TMessageSocket> silent;
  for (int i = 0; i < 20; ++i)
    silent.push_back(platform::TMessageSocket::Connect(plugin::PluginSocketPath(folder)));
  for (const auto& s : silent) ASSERT_TRUE(s.ok());
  auto p = Connected("Sound");
  EXPECT_EQ((*p)("current"), "0x80001002 ");
  std::lock_guard lock(logMutex);
  EXPECT_TRUE(log.empty());  // the silent ones still wait
}

TEST_F(PluginServerTest, TheBrowserShowsEveryPluginWithItsServices) {
  auto p = Connected("One");
  auto q = Connected("Two");
  EXPECT_NE((*p)("register 0 500 Count"), "0x0");
  EXPECT_NE((*p)("register 2 502 Mark"), "0x0");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return host->PluginServices().size() == 2; }));
  const auto tree = plugin::BuildPluginTree(*host);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].Text, "One");
  ASSERT_EQ(tree[0].Children.size(), 7u);
  EXPECT_EQ(tree[0].Children[1].Text, "Version: 3");
  const auto& services = tree[0].Children[6];
  EXPECT_EQ(services.Text, "Services: 2");
  ASSERT_EQ(services.Children.size(), 2u);
  EXPECT_EQ(services.Children[1].Text, "Mark");
  EXPECT_EQ(services.Children[1].Children[1].Text, "Category: Mail related");
  EXPECT_EQ(services.Children[1].Children[2].Text, "Command: 1282");
  EXPECT_EQ(tree[1].Children[6].Text, "Services: none");
  EXPECT_EQ(plugin::PluginNode(std::nullopt, {}).Text, "[Defunct Plugin!]");

  const auto mainMenu = plugin::PluginMenuGroups(host->PluginServices(), false);
  ASSERT_EQ(mainMenu.size(), 1u);
  EXPECT_EQ(mainMenu[0].Caption, "General");
  const auto listMenu = plugin::PluginMenuGroups(host->PluginServices(), true);
  ASSERT_EQ(listMenu.size(), 2u);
  EXPECT_EQ(listMenu[1].Caption, "Msg");
  EXPECT_EQ(listMenu[1].Items[0].Caption, "Mark");
}

TEST_F(PluginServerTest, APluginThatHangsShowsAsDefunctAndIsDisconnected) {
  plugin::TPluginLimits limits;
  limits.Ack = std::chrono::milliseconds(200);
  StartHost(limits);
  auto p = Connected();
  ::kill(p->Pid(), SIGSTOP);
  int status = 0;
  ASSERT_EQ(::waitpid(p->Pid(), &status, WUNTRACED), p->Pid());
  const auto tree = plugin::BuildPluginTree(*host);
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].Text, "[Defunct Plugin!]");
  EXPECT_TRUE(ConnectionsAre(0));
  ::kill(p->Pid(), SIGCONT);
}

}  // namespace
}  // namespace velmaris::test
