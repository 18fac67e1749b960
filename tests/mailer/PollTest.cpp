// Whole polls over the fake modem against the test peer (the answering
// side built from the same classes): what we send arrives there, what it
// sends arrives in our inbound, flow files follow what the peer confirmed,
// and failed calls leave the outbound as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/wait.h>

#include "LineFixtures.h"
#include "ZModemFixtures.h"
#include "core/ConfigStoreFixture.h"
#include "core/Report.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMHydra.h"
#include "mailer/CMLoopback.h"
#include "mailer/CMThreads.h"
#include "mailer/InboundFile.h"
#include "mailer/MailerSession.h"
#include "nodelist/NodelistLookup.h"
#include "processing/DupeChecker.h"
#include "processing/PacketFixtures.h"
#include "processing/PacketHeader.h"
#include "processing/Secretary.h"
#include "processing/Tosser.h"

namespace velmaris::test {
namespace {

namespace fs = std::filesystem;

class PollTest : public ConfigStoreFixture {
 protected:
  void SetUp() override {
    ConfigStoreFixture::SetUp();
    SetTapiDebugLogPath(dir / "cmdebug.txt");
    config.registry = std::make_unique<platform::Registry>(RegistryPath());
    config.store = std::make_unique<TConfigStore>(Start(), *config.registry);
    config.store->SetLogSink([this](const std::string& line) { log.push_back(line); });
    profiles = &InstallMailerConfig(*config.store);
    config.store->LoadConfiguration();
    config.store->MakeCurrent();
    SetInboundMailPending(false);

    TNetLink* link = config->Uplinks().GetItem(0);
    link->UplinkAddress.SetText("2:5020/1042");
    link->SysopAddress.SetText("2:5020/1042.7");
    link->SessionPassword = "pw";
    profile = profiles->AddMailer(*config);
    profile->SetTAPIDevice("Line");
    TMailBox* box = config->AddDefaultMailbox();
    box->Address.SetText("2:5020/1042");
    box->Numbers = {"555-1234"};
    box->Command = profile->Name();

    fs::create_directories(dir / "files");
    fs::create_directories(dir / "peer-in");
    packet = dir / "files/0000abcd.pkt";
    dir.Write("files/0000abcd.pkt", SampleBytes(60000, 1));
    dir.Write("files/notes.txt", SampleBytes(3000, 2));
    dir.Write("files/frompeer.pkt", SampleBytes(20000, 3));
    flow = Values().OutboundDir() + "139C0412.flo";
    WriteFlow("^" + packet + "\r\n" + dir / "files/notes.txt" + "\r\n");
  }
  void TearDown() override {
    config.store.reset();
    ConfigStoreFixture::TearDown();
  }
  const SettingsValues& Values() { return *config->Values(); }
  void WriteFlow(const std::string& text) {
    fs::create_directories(Values().OutboundDir());
    std::ofstream(flow, std::ios::binary) << text;
  }
  std::string Peer(const std::string& extra = "") {
    return CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") + " --send " +
           CommandWord(dir / "files/frompeer.pkt") + " --log " + CommandWord(dir / "peer.log") +
           " " + extra;
  }
  // One poll through a fake modem started with the arguments.
  struct Result {
    bool completed = false;
    bool tosser = false;
    bool sendShown = false, receiveShown = false;  // the transfer displays
    std::vector<std::string> log;
    std::string error;
    bool Logged(const std::string& text) const {
      for (const std::string& line : log)
        if (line.size() > 18 && line.substr(18).starts_with(text)) return true;
      return false;
    }
  };
  // afterCall sees the modem once the call is over and the line closed.
  Result Poll(std::vector<std::string> modemArgs,
              const std::function<void(FakeModem&)>& afterCall = {}) {
    fs::remove(dir / "modem.log");
    fs::remove(dir / "modem.events");
    FakeModem modem(dir, std::move(modemArgs));
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
    Result r;
    TCMTAPIDevice device(dispatcher);
    device.ApplySettings(Values());
    device.CommandLimit = std::chrono::seconds(30);
    device.SetDeviceName(profile->TAPIDevice());
    TMailerContext ctx;
    ctx.Store = config.store.get();
    ctx.Nodelist = nodelist;
    ctx.StartTosser = [&] { r.tosser = true; };
    if (freeSpace) {  // the protocols the session makes, on a small disk
      ctx.MakeProtocol = [&](TEmsiProtocol kind) -> std::unique_ptr<TCMProtocol> {
        std::unique_ptr<TCMProtocol> p;
        if (kind == TEmsiProtocol::Hydra) {
          p = std::make_unique<TCMHydra>(dispatcher);
        } else if (kind != TEmsiProtocol::None) {
          auto z = std::make_unique<TCMZModem>(dispatcher);
          z->ZedZap = kind == TEmsiProtocol::ZedZap;
          p = std::move(z);
        }
        if (p) p->InboundFreeSpace = freeSpace;
        return p;
      };
    }
    {
      TMailerSession session(*profile, device, ctx);
      session.OnTransfer = [&](bool sending, const TMailerSession::TTransferDisplay& d) {
        if (!d.FileName.empty()) (sending ? r.sendShown : r.receiveShown) = true;
      };
      session.ResetRedial();
      EXPECT_TRUE(session.PollAddress("2:5020/1042")) << session.Error();
      dispatcher.RunUntil([&] { return session.Finished() && device.IsIdle(); }, kPatience * 5);
      r.completed = session.Completed();
      r.log = session.Log();
      r.error = session.Error();
    }
    device.Close();
    if (afterCall) afterCall(modem);
    return r;
  }
  // A received file, whatever letter case the protocol gave its name.
  static std::string Received(const std::string& folder, const std::string& name) {
    for (const auto& e : fs::directory_iterator(folder)) {
      std::string n = e.path().filename().string();
      if (n.size() == name.size() &&
          std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return platform::ReadFile(e.path().string());
    }
    return "(missing " + name + ")";
  }
  std::string PeerLog() { return fs::exists(dir / "peer.log") ? dir.Read("peer.log") : ""; }
  static std::string Joined(const Result& r) {
    std::string text;
    for (const std::string& line : r.log) text += line + "\n";
    return text;
  }

  LoadedConfig config;
  TMailerConfig* profiles = nullptr;
  TMailer* profile = nullptr;
  TNodelistLookup* nodelist = nullptr;
  std::function<uint64_t(const std::string&)> freeSpace;  // empty: the disk's own
  std::string packet, flow;
};

class PollProtocolTest : public PollTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PollProtocolTest, OutboundArrivesAtThePeerAndItsFilesInOurInbound) {
  const std::string protocols = GetParam();
  const std::string sent = dir.Read("files/0000abcd.pkt");
  const Result r = Poll({"--peer", Peer("--password pw --protocols " + protocols)});
  ASSERT_TRUE(r.completed) << Joined(r) << PeerLog();
  EXPECT_TRUE(r.Logged("PRST Session start"));
  EXPECT_TRUE(r.Logged(std::string("ECPR ") + (protocols == "hyd"   ? "Hydra"
                                               : protocols == "zap" ? "ZedZap"
                                                                    : "ZModem")));
  EXPECT_EQ(Received(dir / "peer-in", "0000abcd.pkt"), sent);
  EXPECT_EQ(Received(dir / "peer-in", "notes.txt"), dir.Read("files/notes.txt"));
  EXPECT_EQ(Received(Values().InboundDir(), "frompeer.pkt"), dir.Read("files/frompeer.pkt"));
  EXPECT_FALSE(fs::exists(packet));  // "^": deleted once sent
  EXPECT_TRUE(fs::exists(dir / "files/notes.txt"));
  EXPECT_EQ(platform::ReadFile(flow).find("notes"), std::string::npos);
  EXPECT_TRUE(r.tosser);
  EXPECT_TRUE(InboundMailPending());
  EXPECT_TRUE(r.sendShown && r.receiveShown);
}

INSTANTIATE_TEST_SUITE_P(Protocols, PollProtocolTest, ::testing::Values("hyd", "zap", "zmo"));

TEST_P(PollProtocolTest, RussianNamesAndSysopsCrossTheCallBothWays) {
  // Ours: the sysop and location as stored (CP1251), a file whose name has
  // Cyrillic letters and a blank. The peer's: its sysop and system, a file.
  const std::string ourSysop = "\xc8\xe2\xe0\xed \xcf\xe5\xf2\xf0\xee\xe2";  // Иван Петров
  const std::string ourPlace = "\xcc\xee\xf1\xea\xe2\xe0";                   // Москва
  const std::string ourFile =
      "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 \xd0\xb7\xd0\xb0 "
      "\xd0\xbc\xd0\xb0\xd0\xb9.txt";  // Отчёт за май.txt
  const std::string ourFileAnsi = "\xce\xf2\xf7\xb8\xf2 \xe7\xe0 \xec\xe0\xe9.txt";
  const std::string theirFile = "\xd0\x9e\xd1\x82\xd0\xb2\xd0\xb5\xd1\x82.zip";  // Ответ.zip
  const std::string theirFileAnsi = "\xce\xf2\xe2\xe5\xf2.zip";
  config->Uplinks().GetItem(0)->Sysop = ourSysop;
  profile->Location = ourPlace;
  dir.Write("files/" + ourFile, SampleBytes(5000, 5));
  dir.Write("files/" + theirFile, SampleBytes(4000, 6));
  WriteFlow(dir / ("files/" + ourFile) + "\r\n");
  const std::string peer =
      CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") + " --send " +
      CommandWord(dir / ("files/" + theirFile)) + " --log " + CommandWord(dir / "peer.log") +
      " --protocols " + GetParam() +
      " --sysop \"\xd0\x9f\xd1\x91\xd1\x82\xd1\x80 "
      "\xd0\xa1\xd0\xb8\xd0\xb4\xd0\xbe\xd1\x80\xd0\xbe\xd0\xb2\""
      " --system \"\xd0\xa3\xd0\xb7\xd0\xb5\xd0\xbb \xd0\xa2\xd0\xb5\xd1\x81\xd1\x82\"";
  const Result r = Poll({"--peer", peer});
  ASSERT_TRUE(r.completed) << Joined(r) << PeerLog();
  // Both sides read each other's sysop: the peer's log in UTF-8, ours in
  // the ANSI page.
  const std::string peerLog = PeerLog();
  EXPECT_NE(peerLog.find("ESOP \xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd \xd0\x9f\xd0\xb5\xd1\x82\xd1\x80"
                         "\xd0\xbe\xd0\xb2\n"),
            std::string::npos)
      << peerLog;
  EXPECT_TRUE(r.Logged("ESOP \xcf\xb8\xf2\xf0 \xd1\xe8\xe4\xee\xf0\xee\xe2")) << Joined(r);
  EXPECT_TRUE(r.Logged("ENAM \xd3\xe7\xe5\xeb \xd2\xe5\xf1\xf2")) << Joined(r);
  // The files land under the names their users see; the log names them in
  // the ANSI page.
  EXPECT_EQ(platform::ReadFile(dir / ("peer-in/" + ourFile)), SampleBytes(5000, 5));
  EXPECT_EQ(platform::ReadFile(Values().InboundDir() + theirFile), SampleBytes(4000, 6));
  EXPECT_TRUE(r.Logged("SENT File " + ourFileAnsi)) << Joined(r);
  EXPECT_TRUE(r.Logged("RECD File " + theirFileAnsi)) << Joined(r);
  const std::string log = Joined(r);
  for (const std::string& utf8 :
       {ourFile, theirFile, std::string("\xd0\x9f\xd1\x91\xd1\x82\xd1\x80")})
    EXPECT_EQ(log.find(utf8), std::string::npos) << log;
}

TEST_P(PollProtocolTest, ACallThatEndsWellReachesTheRemoteWholeAt9600And33600) {
  // The modem sends on what it holds at the connect rate and discards it
  // when DTR drops: the hang-up after the session's last frame leaves them
  // the time to arrive, so the remote sees its session complete instead of
  // a carrier lost in the middle of a frame.
  dir.Write("files/frompeer.pkt", SampleBytes(2000, 3));
  for (const char* connect : {"CONNECT 9600", "CONNECT 33600"}) {
    SCOPED_TRACE(connect);
    WriteFlow(dir / "files/notes.txt" + "\r\n");
    fs::remove(dir / "peer.log");
    fs::remove_all(dir / "peer-in");
    fs::create_directories(dir / "peer-in");
    std::string events;
    const Result r = Poll({"--dial", connect, "--throttle", "--peer",
                           Peer(std::string("--password pw --protocols ") + GetParam())},
                          [&](FakeModem& modem) { events = modem.EventNames(); });
    ASSERT_TRUE(r.completed) << Joined(r) << PeerLog();
    const std::string peerLog = PeerLog();
    EXPECT_NE(peerLog.find("PEER Session complete"), std::string::npos) << peerLog;
    EXPECT_EQ(peerLog.find("PEER Session failed"), std::string::npos) << peerLog;
    EXPECT_EQ(Received(dir / "peer-in", "notes.txt"), dir.Read("files/notes.txt"));
    // Whoever ended the call, the modem held nothing for the remote then.
    EXPECT_NE(events.find("CALL END"), std::string::npos) << events;
    for (size_t at = events.find("DISCARDED "); at != std::string::npos;
         at = events.find("DISCARDED ", at + 1))
      EXPECT_EQ(events.substr(at, 12), "DISCARDED 0\n") << events;
  }
}

TEST_F(PollTest, ARemoteThatHangsAtTheEndCannotHoldTheLine) {
  // The remote completes its session and then hangs: it neither takes in
  // our last frames nor hangs up. Our hang-up does not wait for it: the line
  // is dropped (by DTR, or by "+++" and ATH on a modem set to AT&D0) while
  // the remote still holds it.
  struct Case {
    const char* protocols;
    bool escape;
  } cases[] = {{"hyd", false}, {"zmo", true}, {"zap", false}};
  dir.Write("files/frompeer.pkt", SampleBytes(2000, 3));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocols);
    WriteFlow(dir / "files/notes.txt" + "\r\n");
    fs::remove(dir / "peer.log");
    std::vector<std::string> args = {
        "--dial",
        "CONNECT 33600",
        "--throttle",
        "--guard",
        "1000",
        "--peer",
        Peer(std::string("--password pw --stall 60 --protocols ") + c.protocols)};
    if (c.escape) args.push_back("--ignore-dtr");
    std::string events;
    const Result r = Poll(args, [&](FakeModem& modem) { events = modem.EventNames(); });
    EXPECT_NE(PeerLog().find("PEER Session complete"), std::string::npos) << PeerLog();
    EXPECT_TRUE(r.completed) << Joined(r);
    const size_t hungUp = events.find(c.escape ? "ESCAPE\nHANG-UP\n" : "DTR DROP\n");
    ASSERT_NE(hungUp, std::string::npos) << events;
    EXPECT_EQ(events.find("REMOTE ENDED"), std::string::npos) << events;
    // What we sent had all crossed the line: nothing was held back.
    EXPECT_EQ(events.find("DISCARDED ", hungUp) == std::string::npos ||
                  events.substr(events.find("DISCARDED ", hungUp), 12) == "DISCARDED 0\n",
              true)
        << events;
  }
}

TEST_F(PollTest, HydraTakesPartInTheRemotesSecondBatchAndBothSidesEndCleanly) {
  // The peer refuses one of our files, sends one file in the first batch and
  // the answer to a file request in the second.
  dir.Write("files/answer.zip", SampleBytes(7000, 4));
  const Result r = Poll({"--peer", Peer("--protocols hyd --refuse notes.txt --second " +
                                        CommandWord(dir / "files/answer.zip"))});
  ASSERT_TRUE(r.completed) << Joined(r) << PeerLog();
  const std::string log = Joined(r), peer = PeerLog();
  const size_t expecting = log.find("HYDR Expecting batch"),
               complete = log.find("HYDR Session complete");
  EXPECT_TRUE(expecting < complete && complete != std::string::npos) << log;
  EXPECT_EQ(log.find("HYDR Session complete", complete + 1), std::string::npos);
  EXPECT_TRUE(r.Logged("HAPP Implementation: Hydra from ")) << log;
  EXPECT_NE(peer.find("PEER Second batch"), std::string::npos) << peer;
  EXPECT_NE(peer.find("PEER Session complete"), std::string::npos) << peer;
  EXPECT_EQ(Received(Values().InboundDir(), "frompeer.pkt"), dir.Read("files/frompeer.pkt"));
  EXPECT_EQ(Received(Values().InboundDir(), "answer.zip"), dir.Read("files/answer.zip"));
  // Only what the peer confirmed leaves the outbound.
  EXPECT_FALSE(fs::exists(packet));
  const std::string flowText = platform::ReadFile(flow);
  EXPECT_EQ(flowText.find("0000abcd.pkt"), std::string::npos) << flowText;
  EXPECT_NE(flowText.find(dir / "files/notes.txt"), std::string::npos) << flowText;
  EXPECT_FALSE(r.Logged("SENT File notes.txt"));
}

TEST_F(PollTest, MailPendingAfterACallIsTakenUpByTheNextTossOnly) {
  // A call that brings mail asks for a toss; the toss takes the flag up, so a
  // second call that brings nothing asks for none.
  const Result first = Poll({"--peer", Peer("--protocols zap")});
  ASSERT_TRUE(first.completed) << PeerLog();
  EXPECT_TRUE(first.tosser);
  EXPECT_TRUE(InboundMailPending());
  TDupeChecker dupes;
  TTosserSetup setup;
  setup.Store = config.store.get();
  setup.Dupes = &dupes;
  TTosser tosser(setup);
  ASSERT_TRUE(tosser.Start());
  ASSERT_TRUE(dispatcher.RunUntil([&] { return tosser.Finished(); }, kPatience));
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }, kPatience));
  EXPECT_FALSE(InboundMailPending());

  const std::string quiet = CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") +
                            " --protocols zap --log " + CommandWord(dir / "peer.log");
  const Result second = Poll({"--peer", quiet});
  ASSERT_TRUE(second.completed) << PeerLog();
  EXPECT_FALSE(second.tosser);
  EXPECT_FALSE(InboundMailPending());
}

TEST_F(PollTest, AProfilePollThatCannotStartSaysWhyOnceAndStartsNothing) {
  // The profile is named after a program that leaves a mark when started.
  const std::string mark = dir / "started";
  dir.Write("bin/caller", "#!/bin/sh\ntouch '" + mark + "'\n");
  fs::permissions(dir / "bin/caller", fs::perms::owner_all);
  const std::string name = dir / "bin/caller";
  profile->SetName(name);
  profiles->Mailers().SetString(profiles->Mailers().IndexOf(profile), name);
  TMailBox* box = config->Mailboxes().GetItem(0);
  ASSERT_EQ(box->Command, name);
  // The inbound a link into a drive that is not mounted.
  const std::string inbound = platform::WithoutSlash(Values().InboundDir());
  const std::string drive = dir / "usb/Inbound";

  struct Case {
    const char* what;
    std::vector<std::string> numbers;
    bool lineInUse;
    platform::MsgKind kind;
    std::string text;
    bool unplugged = false;
  } cases[] = {
      {"no number",
       {},
       false,
       platform::MsgKind::Error,
       "Please add a mailbox to the mailbox settings that has the network address 2:5020/1042 "
       "or use a node list that lists this mailbox!"},
      {"line in use", {"555"}, true, platform::MsgKind::Information, "Mailer is in use!"},
      {"inbound out of reach",
       {"555"},
       false,
       platform::MsgKind::Error,
       "The inbound folder " + inbound + " is a link to " + drive +
           ", which is missing (is its drive mounted?): no call is made",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box->Numbers = c.numbers;
    fs::remove_all(inbound);
    if (c.unplugged)
      fs::create_directory_symlink(drive, inbound);
    else
      fs::create_directories(inbound);
    TCMLoopbackPair pair({}, dispatcher);
    if (c.lineInUse) pair.Connect();
    TMailerContext ctx;
    ctx.Store = config.store.get();
    TMailerSession session(*profile, pair.A(), ctx);
    profiles->SetPollHandler(
        [&](TMailer&, const std::string& address) { session.PollCommand(address); });
    prompter.Clear();
    EXPECT_EQ(box->StartMailer(), TMailBox::StartResult::Profile);
    const auto boxes = prompter.Questions();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, c.kind);
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_FALSE(fs::exists(mark));
    if (!c.lineInUse) {
      EXPECT_TRUE(pair.A().IsIdle());  // nothing dialled
    }
    profiles->SetPollHandler(nullptr);
  }
  fs::remove_all(inbound);
}

TEST_F(PollTest, BusyLineIsDialledAgain) {
  profile->ReDials = 2;
  profile->ReDialWait = 0;
  const Result r = Poll({"--dial", "BUSY", "--dial", "CONNECT 33600", "--peer", Peer()});
  EXPECT_TRUE(r.Logged("TAPI Busy"));
  EXPECT_TRUE(r.completed) << Joined(r) << PeerLog();
}

TEST_F(PollTest, WrongPasswordSendsNothing) {
  // The peer refuses our password with "no common protocol", or marks its
  // password field bad while it still lists protocols.
  struct Case {
    const char* what;
    const char* peerArgs;
    bool ncp;  // "!NCP No common protocol" is logged too
  } cases[] = {
      {"NCP", "--password other", true},
      {"BAD_PASSWORD beside HYD,XMA",
       "--password other --address 2:5020/1@fidonet --refusal-codes HYD,XMA", false},
      {"BAD_PASSWORD and a blank beside HYD",
       "--password other --refusal-codes HYD --refusal-password \"BAD_PASSWORD \"", false},
      {"BAD_PASSWORD and an escaped NUL beside ZMO",
       "--password other --refusal-codes ZMO --refusal-password BAD_PASSWORD\\00", false},
      {"bad password beside ZAP,ZMO",
       "--password other --refusal-codes ZAP,ZMO --refusal-password \" bad password\"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = PeerLog().size();
    const Result r = Poll({"--peer", Peer(c.peerArgs)});
    // Our acknowledgements left before the hang-up: the peer logs its
    // refusal on receiving our data and again on our ACK, not a lost call.
    auto refusals = [&] {
      const std::string peer = PeerLog().substr(before);
      size_t n = 0;
      for (size_t at = 0; (at = peer.find("EMSI Bad password\n", at)) != std::string::npos; ++at)
        ++n;
      return n;
    };
    EXPECT_TRUE(dispatcher.RunUntil([&] { return refusals() == 2; }, kPatience)) << PeerLog();
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.Logged("!NCP No common protocol"), c.ncp);
    EXPECT_TRUE(r.Logged("!PWD Session password refused by the remote")) << Joined(r);
    EXPECT_FALSE(r.Logged("PRST Session start"));
    EXPECT_EQ(r.error, "Session password refused by the remote");
    EXPECT_TRUE(fs::exists(packet));
    EXPECT_NE(platform::ReadFile(flow).find("0000abcd.pkt"), std::string::npos);
    EXPECT_EQ(fs::directory_iterator(dir / "peer-in"), fs::directory_iterator());
  }
}

TEST_F(PollTest, FileRefusedForWantOfDiskSpaceFailsTheCall) {
  // The disk keeps its reserve but has no room for the peer's file: the
  // peer keeps it, the session runs to its end, and the call has failed,
  // also on a noisy line. A peer that offers the file again after every
  // refusal is refused three times, whatever date, size or letter case it
  // gives each offer; its next offer ends the session. One that offers it
  // under ever new names is refused 32 times in all. The log stays short.
  freeSpace = [](const std::string&) { return kInboundDiskReserve + 1000; };
  const std::string again = " offered again after 3 refusals, session ended\n",
                    inAll = " offered after 32 refused offers, session ended\n";
  struct Case {
    std::string peerArgs;
    int skips;        // RSKP lines; 0: the session completes
    std::string end;  // the end of the session's last FSER line
    const char* noise = "0";
  } cases[] = {
      {"hyd", 0, ""},
      {"zap", 0, ""},
      {"hyd", 0, "", "1000"},
      {"zap", 0, "", "1000"},
      {"hyd --reoffer frompeer.pkt", 3, again},
      {"zap --reoffer frompeer.pkt", 3, again},
      {"hyd --reoffer frompeer.pkt --reoffer-vary date", 3, again},
      {"zap --reoffer frompeer.pkt --reoffer-vary date", 3, again},
      {"hyd --reoffer frompeer.pkt --reoffer-vary size", 3, again},
      {"zmo --reoffer frompeer.pkt --reoffer-vary date,size", 3, again},
      {"zap --reoffer frompeer.pkt --reoffer-vary case", 3, again},
      {"hyd --reoffer frompeer.pkt --reoffer-vary case,date,size", 3, again},
      {"hyd --reoffer frompeer.pkt --reoffer-vary names:17", 32, inAll},
      {"zap --reoffer frompeer.pkt --reoffer-vary names:17,date", 32, inAll},
      {"hyd --reoffer frompeer.pkt --reoffer-vary names:100,size", 32, inAll},
      {"zmo --reoffer frompeer.pkt --reoffer-vary names:100", 32, inAll},
      {"zap --reoffer frompeer.pkt --reoffer-vary names:2,case", 7, again},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.peerArgs + " noise " + c.noise);
    dir.Write("files/frompeer.pkt", SampleBytes(20000, 3));
    const Result r =
        Poll({"--noise", c.noise, "--seed", "11", "--peer", Peer("--protocols " + c.peerArgs)});
    const std::string log = Joined(r);
    EXPECT_EQ(r.completed, c.skips == 0) << log << PeerLog();
    EXPECT_NE(log.find(": not enough disk space for 20000 bytes\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Disk full"), std::string::npos) << log;
    EXPECT_NE(r.error.find(": not enough disk space for 20000 bytes"), std::string::npos)
        << r.error;
    EXPECT_TRUE(r.error.starts_with("File ")) << r.error;
    EXPECT_FALSE(r.tosser);
    const std::string in = Values().InboundDir();
    EXPECT_TRUE(!fs::exists(in) || fs::is_empty(in));
    const auto skips =
        std::ranges::count_if(r.log, [](auto& l) { return l.find(" RSKP ") != l.npos; });
    if (c.skips == 0) {
      EXPECT_GE(skips, 1);
      EXPECT_EQ(log.find("session ended"), std::string::npos) << log;
      continue;
    }
    EXPECT_EQ(skips, c.skips) << log;
    const size_t ended = log.rfind("FSER File ");
    ASSERT_NE(ended, std::string::npos) << log;
    EXPECT_EQ(log.find(c.end, ended), log.find('\n', ended) - c.end.size() + 1) << log;
    EXPECT_LT(r.log.size(), 60u + 3u * c.skips) << log;
  }
}

TEST_F(PollTest, BatchPollFailsWhenTheCallBroughtNotAllItShould) {
  // A refused password ends the call at once; a file the peer offers that
  // cannot be taken (announced beyond any size we take, or under a name that
  // is not safe) is not ours although the session runs to its end. An
  // inbound out of reach (a link into a drive that is not mounted) makes no
  // call; one that goes so once the peer's first file is in aborts the
  // session, and the peer keeps the files that follow.
  const std::string unsafe = dir / "files/bell\x07.pkt";
  dir.Write("files/bell\x07.pkt", SampleBytes(500, 9));
  const std::string unsafe2 = dir / "files/ring\x07.pkt";
  dir.Write("files/ring\x07.pkt", SampleBytes(400, 8));
  // A name with a letter the ANSI page (CP1251) lacks: named as it came.
  const std::string kazakh = dir / "files/Қара:2.txt";
  dir.Write("files/Қара:2.txt", SampleBytes(300, 7));
  const std::string huge = dir / "files/huge.pkt";
  std::ofstream(huge, std::ios::binary).close();
  fs::resize_file(huge, uint64_t{3} << 30);  // sparse: nothing of it is read
  const std::string second = dir / "files/second.pkt";
  dir.Write("files/second.pkt", SampleBytes(700, 6));
  const std::string inbound = platform::WithoutSlash(Values().InboundDir());
  const std::string drive = dir / "usb/Fido/Inbound";  // never there
  // Makes the inbound a link into the drive that is not there.
  const std::string unplug =
      "rm -rf " + ShellWord(inbound) + " && ln -s " + ShellWord(drive) + " " + ShellWord(inbound);
  const std::string outOfReach = "The inbound folder " + inbound + " is a link to " + drive +
                                 ", which is missing (is its drive mounted?)";
  const std::string aborted = "velmaris-batch: the call did not complete (" + outOfReach +
                              ": the session is aborted, the remote keeps its files)\n";
  auto goneAfterFirst = [&](const char* protocol) {
    return std::string("--protocols ") + protocol + " --send " + CommandWord(second) +
           " --after-first " + CommandWord(unplug);
  };
  struct Case {
    std::string peerArgs;
    std::string said;          // on stderr
    std::optional<bool> sent;  // our outbound went out (Hydra sends while it receives)
    bool unplugged = false;    // the inbound is out of reach before the call
    bool peerKeeps = false;    // the peer kept second.pkt (neither sent nor skipped)
  } cases[] = {
      {"--password other --address 2:5020/1@fidonet --refusal-codes HYD,XMA",
       "velmaris-batch: the call did not complete (Session password refused by the remote)\n",
       false},
      {"--protocols zmo --send " + CommandWord(huge),
       "velmaris-batch: the call completed, but File huge.pkt: announced size 3221225472 out of "
       "range\n",
       true},
      {"--protocols zmo --send " + CommandWord(unsafe),
       "velmaris-batch: the call completed, but File bell\\x07.pkt could not be stored\n", true},
      {"--protocols hyd --send " + CommandWord(unsafe),
       "velmaris-batch: the call completed, but File BELL\\x07.PKT could not be stored\n", true},
      {"--protocols zmo --send " + CommandWord(kazakh),
       "velmaris-batch: the call completed, but File Қара:2.txt could not be stored\n", true},
      {"--protocols zmo --send " + CommandWord(unsafe) + " --send " + CommandWord(unsafe2),
       "velmaris-batch: the call completed, but Files bell\\x07.pkt and ring\\x07.pkt could not "
       "be stored\n",
       true},
      {"--protocols zmo --send " + CommandWord(huge) + " --reoffer huge.pkt",
       "velmaris-batch: the call did not complete (File huge.pkt: announced size 3221225472 out "
       "of range)\n",
       true},
      {"--protocols zap --send " + CommandWord(huge) +
           " --reoffer huge.pkt --reoffer-vary names:100,date",
       "velmaris-batch: the call did not complete (File huge.pkt: announced size 3221225472 out "
       "of range)\n",
       true},
      {"", "velmaris-batch: the call did not complete (" + outOfReach + ": no call is made)\n",
       false, true},
      {goneAfterFirst("zmo"), aborted, true, false, true},
      {goneAfterFirst("zap"), aborted, true, false, true},
      {goneAfterFirst("hyd"), aborted, std::nullopt, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.peerArgs);
    fs::remove_all(inbound);
    fs::create_directories(inbound);
    dir.Write("files/0000abcd.pkt", SampleBytes(60000, 1));
    if (c.unplugged) {
      ASSERT_EQ(std::system(unplug.c_str()), 0);
    }
    WriteFlow("^" + packet + "\r\n" + dir / "files/notes.txt" + "\r\n");
    fs::remove(dir / "peer.log");
    fs::remove(dir / "modem.log");
    FakeModem modem(dir, {"--peer", Peer(c.peerArgs)});
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
    config->SaveToRegistry();
    std::string out;
    const int status = RunBatch(Start(), RegistryPath(), {"poll", "2:5020/1042"}, &out, "2>&1");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << out;
    if (c.sent) {
      EXPECT_EQ(platform::ReadFile(flow).find("notes.txt") == std::string::npos, *c.sent);
    }
    if (c.unplugged) {
      // The reason is in the session log too, and nothing was dialled.
      EXPECT_NE(out.find("\"text\":\"DERR The inbound folder "), std::string::npos) << out;
      EXPECT_NE(out.find(", which is missing (is its drive mounted?): no call is made\"}"),
                std::string::npos)
          << out;
      EXPECT_EQ(modem.Log().find("DIAL"), std::string::npos) << modem.Log();
      EXPECT_TRUE(fs::exists(packet));
      EXPECT_FALSE(fs::exists(drive));
    }
    if (c.peerKeeps) {
      const std::string peer = PeerLog();
      EXPECT_NE(peer.find("PEER Sent frompeer.pkt"), std::string::npos) << peer;
      EXPECT_EQ(peer.find("PEER Sent second.pkt"), std::string::npos) << peer;
      EXPECT_EQ(peer.find("PEER Skipped"), std::string::npos) << peer;
      // (The hang-up may end the peer before it logs the abort.)
      EXPECT_EQ(peer.find("PEER Session complete"), std::string::npos) << peer;
      EXPECT_FALSE(fs::exists(drive));
    }
  }
  fs::remove_all(inbound);
  fs::create_directories(inbound);
}

TEST_F(PollTest, DroppedCallKeepsTheFileListedAndTheNextCallResumesIt) {
  const Result dropped = Poll({"--peer", Peer("--drop-after 20000")});
  EXPECT_FALSE(dropped.completed);
  EXPECT_FALSE(dropped.Logged("SENT"));
  EXPECT_TRUE(fs::exists(packet));
  EXPECT_NE(platform::ReadFile(flow).find("^" + packet), std::string::npos);

  const std::string sent = dir.Read("files/0000abcd.pkt");
  const Result again = Poll({"--peer", Peer()});
  ASSERT_TRUE(again.completed) << PeerLog();
  EXPECT_TRUE(again.Logged("SRES Resuming at offset"));
  EXPECT_EQ(Received(dir / "peer-in", "0000abcd.pkt"), sent);
  EXPECT_FALSE(fs::exists(packet));
}

TEST_F(PollTest, NoisyLineStillDeliversEveryFile) {
  const std::string sent = dir.Read("files/0000abcd.pkt");
  const Result r = Poll({"--noise", "30", "--seed", "7", "--peer", Peer()});
  ASSERT_TRUE(r.completed) << PeerLog();
  EXPECT_EQ(Received(dir / "peer-in", "0000abcd.pkt"), sent);
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(PollTest, BatchPollPrintsTheSessionLogAndRunsTheTosser) {
  // The exit status covers the toss after the call: a bundle it could not
  // unpack stays in the inbound and fails the poll.
  // Over Hydra the peer opens its second batch, and both sides end cleanly.
  dir.Write("files/0000dead.mo0", "no archive at all");
  dir.Write("files/answer.zip", SampleBytes(7000, 4));
  struct Case {
    const char* send;
    const char* peerArgs;
    int status;
    const char* said;  // on stderr
  } cases[] = {
      {"files/frompeer.pkt", "", 0, ""},
      {"files/frompeer.pkt", "--protocols hyd --second files/answer.zip", 0,
       "\"text\":\"HYDR Expecting batch\"}"},
      {"files/0000dead.mo0", "", 1,
       "the call completed, but a bundle could not be unpacked and stays in the inbound"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.send);
    WriteFlow("^" + packet + "\r\n");
    if (!fs::exists(packet)) dir.Write("files/0000abcd.pkt", SampleBytes(60000, 1));
    const std::string peer = CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") +
                             " --send " + CommandWord(dir / c.send) + " --log " +
                             CommandWord(dir / "peer.log");
    std::string peerArgs = c.peerArgs;
    if (const size_t at = peerArgs.find("files/"); at != std::string::npos) {
      const size_t end = peerArgs.find(' ', at);
      peerArgs.replace(at, end - at, CommandWord(dir / peerArgs.substr(at, end - at)));
    }
    FakeModem modem(dir, {"--peer", peer + " " + peerArgs});
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
    config->SaveToRegistry();
    const std::string command = ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(Start()) +
                                " --registry " + ShellQuote(RegistryPath()) +
                                " poll 2:5020/1042 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), c.status) << out;
    for (const char* text : {"\"text\":\"PRST Session start\"}",
                             "\"text\":\"TAPI Connection closed\"}", "\"source\":\"tosser\"}"}) {
      EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    }
    EXPECT_NE(out.find(c.said), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(packet));
    if (*c.peerArgs) {
      EXPECT_LT(out.find("HYDR Expecting batch"), out.find("HYDR Session complete")) << out;
      EXPECT_NE(PeerLog().find("PEER Session complete"), std::string::npos) << PeerLog();
      EXPECT_EQ(Received(Values().InboundDir(), "answer.zip"), dir.Read("files/answer.zip"));
    }
  }
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST(MailerNumbers, CanonicalFormAndDurations) {
  const std::pair<const char*, const char*> numbers[] = {
      {"+49-30-1234567", "+49 (30) 1234567"},
      {"+7 095 1234567", "+7 () 095 1234567"},
      {"+7 (095) 123-45-67", "+7 (095) 123-45-67"},
      {"555-1234", "555-1234"},
  };
  for (const auto& [in, out] : numbers) EXPECT_EQ(CanonicalPhoneNumber(in), out) << in;
  const std::pair<int64_t, const char*> durations[] = {
      {0, "0 s"}, {59, "59 s"}, {60, "1:00 min"}, {3599, "59:59 min"}, {3661, "1:01:01 h"}};
  for (const auto& [in, out] : durations) EXPECT_EQ(FormatDuration(in), out) << in;
  TMailerSession::TTransferDisplay d{"a.pkt", 1000, 4000, 100};
  EXPECT_EQ(d.TimeNeeded() + " " + d.TimeLeft() + " " + std::to_string(d.Percent()),
            "40 s 30 s 25");
  d.Rate = 0;
  d.Size = 0;
  EXPECT_EQ(d.TimeNeeded() + " " + d.TimeLeft() + " " + std::to_string(d.Percent()), "? ? 0");
}

TEST(MailerNumbers, HydraApplicationLineShowsTheBuildTime) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const std::pair<const char*, const char*> cases[] = {
      {"2b1aab00CMCore Hydra,1.43 Win 9x/NT",
       "HAPP Implementation: Hydra from 01.12.92 00:00:00 in CMCore Hydra,1.43 Win 9x/NT"},
      {"2B1AAB00X", "HAPP Implementation: Hydra from 01.12.92 00:00:00 in X"},
      {"2b1aab0gCMCore", "HAPP Defunct Appinfo: 2b1aab0gCMCore"},
      {"2b1aab", "HAPP Defunct Appinfo: 2b1aab"},
      {"", "HAPP Defunct Appinfo: "},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(HydraAppInfoLine(in), out) << in;
  if (oldTz)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

TEST_F(PollTest, RedialsWalkThroughTheNumbers) {
  config->Mailboxes().GetItem(0)->Numbers = {"111", "222", "333"};
  profile->ReDials = 2;
  profile->ReDialWait = 0;
  const Result r = Poll({"--dial", "NO ANSWER"});
  EXPECT_FALSE(r.completed);
  const std::string modemLog = dir.Read("modem.log");
  const size_t a = modemLog.find("ATDT111"), b = modemLog.find("ATDT222"),
               c = modemLog.find("ATDT333");
  EXPECT_TRUE(a < b && b < c && c != std::string::npos) << modemLog;
  EXPECT_TRUE(r.Logged("RDIA Dial retries finished !"));
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(PollTest, NothingToSendSendsAnEmptyPacketThatIsThenDeleted) {
  fs::remove(flow);
  // The packet and its folder go with the call, sent or not.
  const struct {
    const char* what;
    const char* peer;
    bool completes;
  } rows[] = {
      {"the remote takes it", "--protocols zap", true},
      {"the line drops while it goes", "--protocols zap --drop-after 1", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(dir / "peer-in");
    fs::create_directories(dir / "peer-in");
    const Result r = Poll({"--peer", Peer(row.peer)});
    ASSERT_EQ(r.completed, row.completes) << Joined(r) << PeerLog();
    EXPECT_TRUE(r.Logged("NOSD Sending dummy packet"));
    if (row.completes) {
      std::vector<fs::path> got;
      for (const auto& e : fs::directory_iterator(dir / "peer-in")) got.push_back(e.path());
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].extension(), ".pkt");
      EXPECT_EQ(fs::file_size(got[0]), 60u);  // header and the end of the packet
    }
    EXPECT_FALSE(fs::exists(Values().OutboundDir() + "dummy/"));
  }
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

// A compiled nodelist of one node, 2:5020/1042 "Boss_BBS" at +7-095-1234567.
void WriteOneNodeList(const TempDir& dir) {
  TNodeIndexRecord r;
  r.Addr = {2, 5020, 1042, 0};
  uint8_t b[kNodeIndexRecordSize];
  EncodeNodeIndexRecord(r, b);
  const std::string zero(4, '\0');
  dir.Write("nl/Addresses.Index", std::string(reinterpret_cast<char*>(b), sizeof b));
  dir.Write("nl/Names.Data", "Boss_BBS\r");
  dir.Write("nl/Sysops.Data", "Ann\r");
  dir.Write("nl/Cities.Data", "Moscow\r");
  dir.Write("nl/Misc.Data", "7-095-1234567,9600,CM\r");
  for (const char* index : {"Names", "Sysops", "Cities", "Misc"})
    dir.Write(std::string("nl/") + index + ".Index", zero);
}

TEST_F(PollTest, NumbersComeFromTheMailboxElseFromTheNodelist) {
  platform::MakeDirs(dir / "nl");
  WriteOneNodeList(dir);
  TNodelistLookup lookup;
  lookup.SetPath(dir / "nl");
  nodelist = &lookup;
  struct Case {
    std::vector<std::string> numbers;
    const char* dialled;
  } cases[] = {{{"555-1234"}, "DEBG Original number: 555-1234"},
               {{}, "DEBG Original number: +7-095-1234567"}};
  for (const Case& c : cases) {
    config->Mailboxes().GetItem(0)->Numbers = c.numbers;
    const Result r = Poll({"--dial", "NO ANSWER"});
    EXPECT_TRUE(r.Logged(c.dialled)) << Joined(r);
  }
  config->Mailboxes().GetItem(0)->Address.SetText("2:5020/9");  // no mailbox for the address
  const Result r = Poll({"--dial", "NO ANSWER"});
  EXPECT_TRUE(r.Logged("DSYS Connecting to system Boss BBS(2:5020/1042)")) << Joined(r);
  nodelist = nullptr;
  TCMTAPIDevice device(dispatcher);
  TMailerContext ctx;
  ctx.Store = config.store.get();
  TMailerSession session(*profile, device, ctx);
  EXPECT_FALSE(session.PollAddress("2:5020/1042"));
  EXPECT_EQ(session.Error(),
            "Please add a mailbox to the mailbox settings that has the network address 2:5020/1042 "
            "or use a node list that lists this mailbox!");
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(PollTest, BatchPollDialsTheNodelistNumberTranslatedForTheLocation) {
  // The mailbox has no numbers: the compiled nodelist gives +7-095-1234567.
  platform::MakeDirs(dir / "nl");
  WriteOneNodeList(dir);
  config->Mailboxes().GetItem(0)->Numbers.clear();
  config->SettingsModel().SetText(SettingId::KQLDIr, dir / "nl/");
  struct Case {
    const char *country, *area, *outside;
    const char* dialled;
  } cases[] = {
      {"7", "095", "", "ATDT1234567"},
      {"7", "812", "", "ATDT80951234567"},
      {"49", "30", "9,", "ATDT9,81070951234567"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialled);
    config->SettingsModel().SetText(SettingId::EdCountryCode, c.country);
    config->SettingsModel().SetText(SettingId::EdAreaCode, c.area);
    config->SettingsModel().SetText(SettingId::EdOutsideLine, c.outside);
    config->SettingsModel().SetText(SettingId::EdLongDistance, "8");
    config->SettingsModel().SetText(SettingId::EdInternational, "810");
    fs::remove(dir / "modem.log");
    FakeModem modem(dir, {"--dial", "NO ANSWER"});
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
    config->SaveToRegistry();
    std::string out;
    RunBatch(Start(), RegistryPath(), {"poll", "2:5020/1042"}, &out);
    EXPECT_NE(out.find("DEBG Original number: +7-095-1234567"), std::string::npos) << out;
    const std::string modemLog = dir.Read("modem.log");
    EXPECT_NE(modemLog.find(std::string(c.dialled) + "\n"), std::string::npos) << modemLog;
  }
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(PollTest, BatchPollTossesWithTheImportFiltersAndTakesAreaLists) {
  // The peer brings an echo message that an import filter drops and the
  // uplink's AreaFix reply with its area list.
  TNetLink* link = config->Uplinks().GetItem(0);
  link->AreaFixTitles = {"Your Area List"};
  link->AFNameO = 1;
  link->AFDescO = 14;
  link->AFDescL = 0;
  config->AddAreaQuiet("FIDO.GER", "FIDO.GER", AreaTypeCode::Echomail, link);
  TFilter& drop = *InstallFilterConfig(*config.store)
                       .ImportFilters()
                       .AddFilter("Drop all", std::make_unique<TFilter>());
  drop.ApplyArea = drop.DoKill = true;
  drop.SetArea("fido.ger");
  PackedFields echo, reply;
  echo.destNet = reply.destNet = 5020;
  echo.from = "Joe Remote";
  echo.text = "AREA:FIDO.GER\r\x01MSGID: 2:5020/1042 12345678\rHi\r";
  reply.from = "AreaFix";
  reply.to = "Point Seven";
  reply.subject = "Your Area List";
  reply.text = "\x01INTL 2:5020/1042 2:5020/1042\r\x01TOPT 7\rRU.ALPHA     First area\r";
  TPacketHeader header = PeerHeader();
  header.OrigNet = 5020;
  header.OrigNode = 1042;
  dir.Write("files/frompeer.pkt", PacketOf(header, PackedMessage(echo) + PackedMessage(reply)));

  FakeModem modem(dir, {"--peer", Peer()});
  config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem.Link()});
  config->SaveToRegistry();
  std::string out;
  RunBatch(Start(), RegistryPath(), {"poll", "2:5020/1042"}, &out);
  EXPECT_NE(out.find("\"text\":\"Filter \\\"Drop all\\\": 1 matches\","), std::string::npos) << out;
  EXPECT_NE(out.find("\"text\":\"1 have been deleted by filters\","), std::string::npos) << out;
  const std::string areaList =
      platform::JoinPath(config->MessageBaseDir(), "2.5020.1042.0.EchoAreas");
  EXPECT_NE(platform::ReadFile(areaList).find("RU.ALPHA First area"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

// Calls cut while our packet goes out, on a line of 33,600 bps: the peer
// takes the line through tee, which keeps every byte it got from us. The
// modem holds a large buffer, as it fills at once from a caller that sends
// faster than the line: a hang-up that waited for it to drain would find
// it empty.
class CutCallTest : public PollTest {
 protected:
  static constexpr uint64_t kModemBuffer = 16384;
  // The most the abort frames of a protocol take (ZModem's CANcel sequence,
  // Hydra's).
  static constexpr uint64_t kAbortFrames = 18;
  static uint64_t SizeOf(const std::string& path) {
    return fs::exists(path) ? fs::file_size(path) : 0;
  }
  // The modem, its peer behind tee, the line configured; `escape`: a modem
  // set to AT&D0, hung up by "+++" and ATH (with a guard time of 1 s).
  FakeModem& StartModem(const std::string& protocol, bool escape = false) {
    fs::remove(sent);
    const std::string peer = ShellQuote(EMSIPEER) + " --inbound " + ShellWord(dir / "peer-in") +
                             " --send " + ShellWord(dir / "files/frompeer.pkt") + " --log " +
                             ShellWord(dir / "peer.log") + " --protocols " + protocol;
    std::vector<std::string> args = {"--dial",
                                     "CONNECT 33600",
                                     "--throttle",
                                     "--buffer",
                                     std::to_string(kModemBuffer),
                                     "--peer",
                                     Shell("tee " + ShellWord(sent) + " | " + peer)};
    if (escape) args.insert(args.end(), {"--ignore-dtr", "--guard", "1000"});
    modem.reset();
    modem.emplace(dir, args, "cut" + protocol + (escape ? "esc" : ""));
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem->Link()});
    config->SettingsModel().SetChecked(SettingId::MailerReport, true);
    return *modem;
  }
  // Our packet's data flows: the peer has had more than the handshake.
  bool WaitForFileData(const std::function<bool()>& over) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      if (SizeOf(sent) >= 12000 || over()) return SizeOf(sent) >= 12000;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      dispatcher.ProcessMessages();
    }
    return false;
  }
  // What the modem saw after the request (marked just before it): the line
  // was dropped while the modem still held file data, so the hang-up did
  // not wait for it; the remote got no more than that buffer (and the abort
  // frames) after the request, and nothing after the drop.
  void ExpectCutOff(bool escape = false) {
    ASSERT_TRUE(dispatcher.RunUntil([&] { return modem->Find("CALL END").has_value(); }, kPatience))
        << modem->EventNames() << modem->Log();
    const std::string names = modem->EventNames();
    size_t at = 0;
    const auto mark = modem->Find("MARK", 0, &at);
    ASSERT_TRUE(mark) << names;
    const auto escaped = modem->Find("ESCAPE", at);
    EXPECT_EQ(escaped.has_value(), escape) << names;
    const auto hangUp = modem->Find(escape ? "HANG-UP" : "DTR DROP", at, &at);
    ASSERT_TRUE(hangUp) << names;
    const auto discarded = modem->Find("DISCARDED ", at, &at);
    ASSERT_TRUE(discarded) << names;
    EXPECT_GT(std::stoull(discarded->what.substr(10)), 0u) << names;
    EXPECT_LE(hangUp->remote - mark->remote, kModemBuffer + kAbortFrames) << names;
    const auto end = modem->Find("CALL END", at);
    ASSERT_TRUE(end) << names;
    EXPECT_EQ(end->remote, hangUp->remote) << names;
    // The packet stays listed for the next call.
    EXPECT_NE(platform::ReadFile(flow).find("^" + packet), std::string::npos);
  }
  // The lines in their order within `text`; false naming the first missing.
  static ::testing::AssertionResult InOrder(const std::string& text,
                                            const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
      at = text.find(line, at);
      if (at == std::string::npos)
        return ::testing::AssertionFailure() << "no " << line << " in order";
    }
    return ::testing::AssertionSuccess();
  }
  // The texts of the REPORT area's messages.
  std::vector<std::string> Reports() {
    std::vector<std::string> texts;
    TArea* area = config->FindArea("REPORT");
    if (!area) return texts;
    EXPECT_TRUE(area->Lock(false));
    EXPECT_TRUE(area->OpenIndex());
    area->OpenBody();
    for (int i = 0; i < area->Count; ++i) texts.emplace_back(area->ReadMail(i)->BodyText());
    area->CloseBody();
    area->CloseIndex();
    area->Unlock();
    return texts;
  }

  const std::string sent = dir / "sent.bin";
  std::optional<FakeModem> modem;
};

class CutCallByProtocol : public CutCallTest,
                          public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(CutCallByProtocol, UserHangUpMidFileDropsTheQueueSendsTheAbortAndDropsDtr) {
  const std::string protocol = std::get<0>(GetParam());
  const bool escape = std::get<1>(GetParam());
  StartModem(protocol, escape);
  TCMTAPIDevice device(dispatcher);
  device.ApplySettings(Values());
  device.CommandLimit = std::chrono::seconds(30);
  device.SetDeviceName(profile->TAPIDevice());
  TMailerContext ctx;
  ctx.Store = config.store.get();
  std::vector<std::string> log;
  {
    TMailerSession session(*profile, device, ctx);
    session.ResetRedial();
    ASSERT_TRUE(session.PollAddress("2:5020/1042")) << session.Error();
    ASSERT_TRUE(WaitForFileData([&] { return session.Finished(); }));
    ASSERT_TRUE(modem->Mark());
    session.HangupCommand();
    ASSERT_TRUE(
        dispatcher.RunUntil([&] { return session.Finished() && device.IsIdle(); }, kPatience));
    EXPECT_FALSE(session.Completed());
    log = session.Log();
  }
  device.Close();
  ExpectCutOff(escape);
  std::string text;
  for (const std::string& line : log) text += line + "\n";
  EXPECT_TRUE(InOrder(text, {"USER User requested to hang up", "LABO Local abort",
                             "TAPI Disconnecting", "TAPI Connection closed"}))
      << text;
}

INSTANTIATE_TEST_SUITE_P(Protocols, CutCallByProtocol,
                         ::testing::Combine(::testing::Values("zmo", "hyd"), ::testing::Bool()));

TEST_F(CutCallTest, WindowClosedInACallPostsTheLogAfterItsAbortAndHangUp) {
  // The window's session goes with the window: the call is cut at once and
  // REPORT shows it cut, not complete.
  StartModem("zap");
  TCMTAPIDevice device(dispatcher);
  device.ApplySettings(Values());
  device.CommandLimit = std::chrono::seconds(30);
  device.SetDeviceName(profile->TAPIDevice());
  TMailerContext ctx;
  ctx.Store = config.store.get();
  auto session = std::make_unique<TMailerSession>(*profile, device, ctx);
  session->PostLogOnEnd = true;
  session->ResetRedial();
  ASSERT_TRUE(session->PollAddress("2:5020/1042")) << session->Error();
  ASSERT_TRUE(WaitForFileData([&] { return session->Finished(); }));
  ASSERT_TRUE(modem->Mark());
  session.reset();
  EXPECT_TRUE(device.IsIdle());
  device.Close();
  ExpectCutOff();
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }, kPatience));
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(
      InOrder(reports[0], {"0000abcd.pkt (60000 Bytes)", "LABO Local abort", "TAPI Disconnecting",
                           "TAPI Connection closed", "QUIT Mailer quitted"}))
      << reports[0];
  EXPECT_EQ(reports[0].find("SENT File 0000abcd.pkt"), std::string::npos) << reports[0];
}

TEST_F(CutCallTest, BatchPollEndedBySignalCutsTheCallKeepsTheLogAndFails) {
  // A scheduler's time-out, a shut-down, Ctrl+C: the call ends as a user's
  // hang-up ends it, the log is printed in full and posted to REPORT.
  struct Case {
    int signal;
    const char* name;
  } cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFlow("^" + packet + "\r\n");
    StartModem("zmo");
    config->SaveToRegistry();
    const std::string out = dir / "batch.out";
    const pid_t pid = platform::Process::Start(
        {"sh", "-c",
         "exec " + ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(Start()) + " --registry " +
             ShellQuote(RegistryPath()) + " poll 2:5020/1042 >" + ShellQuote(out) + " 2>&1"});
    ASSERT_TRUE(WaitForFileData([] { return false; }));
    ASSERT_TRUE(modem->Mark());
    ::kill(pid, c.signal);
    EXPECT_EQ(platform::Process::Wait(pid), 128 + c.signal);
    ExpectCutOff();
    const std::string printed = platform::ReadFile(out);
    EXPECT_TRUE(
        InOrder(printed, {std::string("\"text\":\"USER Ended by ") + c.name,
                          "\"text\":\"LABO Local abort\"", "\"text\":\"TAPI Connection closed\"",
                          std::string("velmaris-batch: ended by ") + c.name + "\n"}))
        << printed;
    EXPECT_EQ(printed.find("\"source\":\"tosser\""), std::string::npos) << printed;
    std::string dumped;
    ASSERT_EQ(RunBatch(Start(), RegistryPath(), {"dump", "REPORT"}, &dumped), 0);
    EXPECT_TRUE(InOrder(dumped, {std::string("USER Ended by ") + c.name, "LABO Local abort",
                                 "TAPI Connection closed", "QUIT Mailer quitted"}))
        << dumped;
    modem.reset();
  }
}

}  // namespace
}  // namespace velmaris::test
