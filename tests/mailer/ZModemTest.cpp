// ZModem and ZedZap against lrzsz (sz, rz) through the fake modem, and
// against itself over the loopback pair: batches both ways, a large file,
// line noise, a call cut in the middle and resumed, silent peers, and the
// names a remote may not use.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "ZModemFixtures.h"
#include "mailer/CMLoopback.h"
#include "mailer/InboundFile.h"
#include "platform/CodePage.h"
#include "support/NameTable.h"
#include "tools/QuietReceiver.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

class ZModemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTapiDebugLogPath(dir / "cmdebug.txt");
    platform::MakeDirs(dir / "in");
    platform::MakeDirs(dir / "peer");
  }
  void TearDown() override { SetTapiDebugLogPath(""); }

  // Writes the files to send into dir/out and returns their paths.
  std::vector<std::string> MakeFiles(const std::vector<std::pair<std::string, size_t>>& files) {
    platform::MakeDirs(dir / "out");
    std::vector<std::string> paths;
    uint32_t seed = 1;
    for (const auto& [name, size] : files) {
      dir.Write("out/" + name, SampleBytes(size, seed++));
      paths.push_back(dir / ("out/" + name));
    }
    return paths;
  }
  void ExpectSameFiles(const std::vector<std::string>& paths, const std::string& into) {
    for (const std::string& path : paths) {
      const std::string name = platform::NameOf(path);
      ASSERT_TRUE(platform::FileExists(into + name)) << name;
      EXPECT_TRUE(platform::ReadFile(into + name) == platform::ReadFile(path)) << name;
    }
  }
  bool Leftovers(const std::string& in) { return !platform::ScanDir(in, "*.Transmission").empty(); }
  // Runs the protocol to its end through a call to `peer`; received files
  // go to `in`.
  void RunWithPeer(ProtocolEnd& end, bool sending, const std::string& peer,
                   std::vector<std::string> modemArgs = {}, bool zedzap = false,
                   const std::string& in = {}) {
    modemArgs.insert(modemArgs.end(), {"--peer", peer});
    ModemCall call(dir, dispatcher, modemArgs, "m" + std::to_string(++calls));
    ASSERT_TRUE(call.Dial());
    TCMZModem z(dispatcher);
    z.ZedZap = zedzap;
    Start(z, call.device.get(), end, sending, in);
    ASSERT_TRUE(RunToEnd(end, 4 * kPatience));
  }
  // Starts `z` on `device`, reporting to `end`; received files go to `in`.
  void Start(TCMZModem& z, TCMConnectionDevice* device, ProtocolEnd& end, bool sending,
             const std::string& in = {}) {
    z.Device = device;
    z.ReceiveDir = in.empty() ? dir / "in/" : in;
    end.Attach(z);
    sending ? z.Send() : z.Receive();
  }
  bool RunToEnd(const ProtocolEnd& end, std::chrono::seconds limit = kPatience) {
    return dispatcher.RunUntil([&] { return end.Done(); }, limit);
  }
  bool RunTicking(const std::function<bool()>& done) {
    return test::RunTicking(dispatcher, done, 20000, 2ms);
  }

  TempDir dir;
  platform::PlainDispatcher dispatcher;
  TCMLoopbackPair pair{TLineShape{}, dispatcher};  // for the tests without a modem
  int calls = 0;
};

TEST_F(ZModemTest, BatchReachesRzWhole) {
  const auto files = MakeFiles({{"0000fffe.pkt", 5000}, {"bundle.mo0", 70000}, {"one", 1}});
  for (bool zedzap : {false, true}) {
    SCOPED_TRACE(zedzap ? "ZedZap" : "ZModem");
    const std::string peerDir = dir / ("peer" + std::to_string(zedzap) + "/");
    platform::MakeDirs(peerDir);
    ProtocolEnd end;
    end.toSend.assign(files.begin(), files.end());
    RunWithPeer(end, true, Shell("cd " + ShellWord(peerDir) + " && exec rz -q -b -y"), {}, zedzap);
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(end.sent, (std::vector<std::string>{"0000fffe.pkt", "bundle.mo0", "one"}));
    ExpectSameFiles(files, peerDir);
    // The pty takes the blocks faster than CONNECT 33600 carries them; the
    // running rate shows no more than the line's.
    EXPECT_GT(end.fastestSend, 0);
    EXPECT_LE(end.fastestSend, 3360);
  }
}

TEST_F(ZModemTest, BatchFromSzLandsUnderItsNames) {
  const auto files = MakeFiles({{"a.pkt", 3000}, {"b.tu1", 40000}, {"large.zip", 1500000}});
  std::string list;
  for (const auto& f : files) list += " " + f;
  struct Case {
    const char* options;
    std::vector<std::string> sent;
    // The inbound becomes a link into a drive that is not mounted after this
    // report: the first file is in (25), or its first bytes are (24). The
    // session is aborted, no file after the ones received is confirmed, and
    // sz keeps the rest (it fails).
    int unplugOn = 0;
  } cases[] = {
      {"", {files[0], files[1], files[2]}},
      {"-8 --start-8k", {files[1]}},  // blocks of 8 KB
      {"-e", {files[0]}},             // every control character escaped
      {"", {files[0]}, 25},
      {"-8", {files[0]}, 25},
      {"", {}, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options) + (c.unplugOn ? " unplugged" : ""));
    const std::string in = dir / ("in/" + std::to_string(&c - cases) + "/");
    platform::MakeDirs(in);
    std::string names;
    for (const auto& f : c.sent) names += " " + ShellWord(f);
    const std::string status = dir / ("sz.status" + std::to_string(&c - cases));
    std::string peer = std::string("exec sz -q ") + c.options + names;
    if (c.unplugOn)
      peer = std::string("sz -q ") + c.options + names + " " + ShellWord(files[1]) +
             "; echo $? > " + ShellWord(status);
    ProtocolEnd end;
    ModemCall call(dir, dispatcher, {"--peer", Shell(peer)}, "m" + std::to_string(&c - cases));
    ASSERT_TRUE(call.Dial());
    TCMZModem z(dispatcher);
    Start(z, call.device.get(), end, false, in);
    const std::string folder = platform::WithoutSlash(in), away = folder + ".away";
    if (c.unplugOn) {
      // Reports wait for their handler: the next offer comes after this.
      z.OnProtocolState = [&, report = z.OnProtocolState](TCMProtocol& p, int state,
                                                          const std::string& msg, int64_t p1,
                                                          int64_t p2) {
        report(p, state, msg, p1, p2);
        if (state != c.unplugOn || platform::PathExists(away)) return;
        std::filesystem::rename(folder, away);
        std::filesystem::create_directory_symlink(dir / "usb/Inbound", folder);
      };
    }
    ASSERT_TRUE(RunToEnd(end, 4 * kPatience));
    if (c.unplugOn) {
      EXPECT_TRUE(end.aborted);
      EXPECT_TRUE(end.Has(psInboundFailed));
      EXPECT_TRUE(end.Noticed("FSER The inbound folder " + folder + " is a link to " +
                              dir / "usb/Inbound" +
                              ", which is missing (is its drive mounted?): the session is "
                              "aborted, the remote keeps its files"));
      EXPECT_FALSE(end.Has(15));  // nothing skipped
      ExpectSameFiles(c.sent, away + "/");
      EXPECT_EQ(end.received.size(), c.sent.size());
      ASSERT_TRUE(dispatcher.RunUntil([&] { return platform::FileExists(status); }, kPatience));
      EXPECT_NE(platform::ReadFile(status), "0\n");  // sz says it did not send them all
      EXPECT_FALSE(platform::PathExists(dir / "usb"));
      continue;
    }
    EXPECT_TRUE(end.finished);
    EXPECT_TRUE(end.Has(7));
    EXPECT_EQ(end.received.size(), c.sent.size());
    ExpectSameFiles(c.sent, in);
    EXPECT_FALSE(Leftovers(in));
  }
}

TEST_F(ZModemTest, NoisyLineStillDeliversBothWays) {
  // The file's date is fixed, so the bytes on the line are the same in
  // every run; a fault a row is about is made on purpose, never left to
  // the seeded noise.
  enum Peer { Lrzsz, Quiet };  // rz and sz through the fake modem, or TQuietReceiver
  struct Case {
    const char* what;
    Peer peer;
    const char* noise;       // bytes per million damaged in each direction
    const char* damageZEof;  // ZEOF headers to rz damaged
    bool zedzap;             // sending
    size_t size;
  } cases[] = {
      {"one byte in 10,000 damaged", Lrzsz, "100", "0", true, 120000},
      // The ZEOF to rz is lost; rz speaks again only after two of its own
      // time-outs (20 s), longer than our wait: the ZEOF said again just
      // before our ZFIN gets its ZRINIT.
      {"the ZEOF header to rz damaged", Lrzsz, "0", "1", true, 1},
      // The receiver's ZRPOS near the end is lost; behind when our ZEOF
      // comes, it speaks only to our ZFIN, which follows one wait.
      {"ZRPOS lost, a quiet receiver (ZModem)", Quiet, "0", "0", false, 20000},
      {"ZRPOS lost, a quiet receiver (ZedZap)", Quiet, "0", "0", true, 20000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string sub = std::to_string(&c - cases) + "/";
    const std::string file = dir / ("out/" + sub + "noisy.pkt");
    platform::MakeDirs(dir / ("out/" + sub));
    platform::MakeDirs(dir / ("peer/" + sub));
    platform::MakeDirs(dir / ("in/" + sub));
    dir.Write("out/" + sub + "noisy.pkt", SampleBytes(c.size, 1));
    const struct timespec date[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), date, 0), 0);

    ProtocolEnd up;
    up.toSend = {file};
    const bool eofLost = c.damageZEof != std::string("0") || c.peer == Quiet;
    const std::string kMissing = "EOF Acknowledge missing";
    if (c.peer == Quiet) {
      TCMLoopbackPair line{TLineShape{}, dispatcher};
      line.Connect();
      TQuietReceiver peer(line.B(), static_cast<int64_t>(c.size) - 1500);
      TCMZModem z(dispatcher);
      z.ZedZap = c.zedzap;
      Start(z, &line.A(), up, true);
      ASSERT_TRUE(RunTicking([&] { return up.Done() && peer.done; }));
      EXPECT_TRUE(peer.data == platform::ReadFile(file));
      // The line stands idle for one wait of the ZEOF (360 ticks), not more.
      EXPECT_EQ(peer.damagedEnds, 1);
      EXPECT_GT(peer.idleTicks, 360 / 2);
      EXPECT_LT(peer.idleTicks, 2 * 360);
    } else {
      const std::vector<std::string> line = {"--noise", c.noise,         "--seed",
                                             "7",       "--damage-zeof", c.damageZEof};
      {
        std::vector<std::string> modemArgs = line;
        modemArgs.insert(
            modemArgs.end(),
            {"--peer", Shell("cd " + ShellWord(dir / ("peer/" + sub)) + " && exec rz -q -b -y")});
        ModemCall call(dir, dispatcher, modemArgs, "m" + std::to_string(++calls));
        ASSERT_TRUE(call.Dial());
        TCMZModem z(dispatcher);
        z.ZedZap = c.zedzap;
        Start(z, call.device.get(), up, true);
        if (eofLost) {
          // Our wait for the lost ZEOF's acknowledgement passes in ticks as
          // fast as the machine goes: it ends long before rz speaks again.
          ASSERT_TRUE(dispatcher.RunUntil(
              [&] { return up.Logged("Sent all - waiting for EOF") || up.Done(); }, kPatience));
          ASSERT_TRUE(RunTicking([&] { return up.Logged(kMissing) || up.Done(); }));
        }
        ASSERT_TRUE(RunToEnd(up, 4 * kPatience));
      }
      ExpectSameFiles({file}, dir / ("peer/" + sub));

      ProtocolEnd down;
      const std::string in = dir / ("in/" + sub);
      RunWithPeer(down, false, "sz -q " + CommandWord(file), line, false, in);
      EXPECT_TRUE(down.finished);
      ExpectSameFiles({file}, in);
      EXPECT_FALSE(Leftovers(in));
    }
    EXPECT_TRUE(up.finished);
    EXPECT_EQ(up.sent, (std::vector<std::string>{"noisy.pkt"}));
    if (eofLost) {
      EXPECT_TRUE(up.Logged(kMissing)) << ::testing::PrintToString(up.log);
    }
  }
}

TEST_F(ZModemTest, CutCallKeepsThePartialFileAndTheNextCallResumesIt) {
  const auto files = MakeFiles({{"cut.mo0", 150000}});
  const std::string pidFile = dir / "sz.pid";
  const std::string peer =
      Shell("echo $$ > " + ShellWord(pidFile) + " && exec sz -q " + ShellWord(files[0]));
  {
    ModemCall call(dir, dispatcher, {"--peer", peer, "--throttle", "--dial", "CONNECT 115200"},
                   "cut");
    ASSERT_TRUE(call.Dial());
    ProtocolEnd end;
    TCMZModem z(dispatcher);
    Start(z, call.device.get(), end, false);
    ASSERT_TRUE(
        dispatcher.RunUntil([&] { return end.lastReceived > 30000 || end.Done(); }, kPatience));
    ::kill(std::stoi(platform::ReadFile(pidFile)), SIGKILL);  // the line goes dead
    ASSERT_TRUE(RunToEnd(end));
    EXPECT_TRUE(end.aborted);
  }
  const auto partial = platform::ScanDir(dir / "in", "*.Transmission");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_GE(partial[0].size, 30000u);
  EXPECT_LT(partial[0].size, 150000u);
  EXPECT_FALSE(platform::FileExists(dir / "in/cut.mo0"));

  ProtocolEnd again;
  RunWithPeer(again, false, "sz -q " + CommandWord(files[0]));
  EXPECT_TRUE(again.finished);
  EXPECT_GE(again.resumedAt, static_cast<int64_t>(partial[0].size));
  ExpectSameFiles(files, dir / "in/");
  EXPECT_FALSE(Leftovers(dir / "in/"));
}

TEST_F(ZModemTest, FileCutOnTheWayToRzIsNotCountedAsSent) {
  const auto files = MakeFiles({{"cutout.pkt", 150000}});
  const std::string pidFile = dir / "rz.pid";
  ModemCall call(
      dir, dispatcher,
      {"--peer", Shell("cd " + ShellWord(dir / "peer") + " && echo $$ > " + ShellWord(pidFile) +
                       " && exec rz -q -b -y"),
       "--throttle", "--dial", "CONNECT 115200"},
      "cutout");
  ASSERT_TRUE(call.Dial());
  ProtocolEnd end;
  TCMZModem z(dispatcher);
  end.toSend = {files[0]};
  Start(z, call.device.get(), end, true);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return end.lastSent > 30000 || end.Done(); }, kPatience));
  ::kill(std::stoi(platform::ReadFile(pidFile)), SIGKILL);
  ASSERT_TRUE(RunToEnd(end));
  EXPECT_TRUE(end.aborted);
  EXPECT_TRUE(end.sent.empty());
  EXPECT_FALSE(end.Has(10));
  EXPECT_LE(end.fastestSend, 11520);  // what CONNECT 115200 carries
}

TEST_F(ZModemTest, WholeTemporaryCopyCompletesWithoutData) {
  // The last call ended after the data, before the end of the file: the
  // sender is asked to start at the end and sends ZEOF at once. The partial
  // file of a short name is found under the name earlier versions gave it;
  // a name at the file system's bound has a temporary name that fits.
  const std::string longest = Repeat("ж", 126) + ".7z";
  const auto files = MakeFiles({{"done.pkt", 5000}, {longest, 5000}});
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = platform::NameOf(files[i]);
    SCOPED_TRACE(name);
    const auto entry = platform::ScanDir(dir / "out", name).at(0);
    char head[32];
    std::snprintf(head, sizeof head, "%08x.%08x.", static_cast<uint32_t>(entry.mtime), 5000u);
    const std::string temp =
        i == 0 ? head + name + ".Transmission" : TransmissionName(entry.mtime, 5000, name);
    EXPECT_EQ(temp.substr(0, 18), head);
    EXPECT_LE(temp.size(), kMaxFileNameBytes);
    EXPECT_TRUE(platform::IsUtf8(temp));
    dir.Write("in/" + temp, platform::ReadFile(files[i]));
    TCMLoopbackPair line{TLineShape{}, dispatcher};
    line.Connect();
    ProtocolEnd out, in;
    TCMZModem sender(dispatcher), receiver(dispatcher);
    out.toSend = {files[i]};
    Start(receiver, &line.B(), in, false);
    Start(sender, &line.A(), out, true);
    ASSERT_TRUE(dispatcher.RunUntil([&] { return out.Done() && in.Done(); }, kPatience));
    EXPECT_EQ(in.resumedAt, 5000);
    EXPECT_EQ(out.sent, (std::vector<std::string>{name}));
    EXPECT_EQ(in.received, (std::vector<std::string>{name}));
    ExpectSameFiles({files[i]}, dir / "in/");
    EXPECT_FALSE(Leftovers(dir / "in/"));
  }
}

TEST_F(ZModemTest, PeerThatStopsAnsweringEndsTheSessionInBoundedTime) {
  // Before the batch: the far end of the loopback pair never answers.
  pair.Connect();
  struct Case {
    bool sending;
    const char* failure;
  } cases[] = {{true, "ZModem Init failed (no ZRInit!)"},
               {false, "ZModem Init failed (no FINFO/ZFIN!)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    ProtocolEnd end;
    TCMZModem z(dispatcher);
    Start(z, &pair.A(), end, c.sending);
    ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
    EXPECT_TRUE(end.aborted);
    EXPECT_TRUE(end.Logged(c.failure));
    EXPECT_TRUE(end.Has(16));
  }

  // In the middle of a file: sz stops.
  const auto files = MakeFiles({{"stall.pkt", 200000}});
  const std::string pidFile = dir / "sz.pid";
  ModemCall call(
      dir, dispatcher,
      {"--peer", Shell("echo $$ > " + ShellWord(pidFile) + " && exec sz -q " + ShellWord(files[0])),
       "--throttle"},
      "stall");
  ASSERT_TRUE(call.Dial());
  ProtocolEnd end;
  TCMZModem z(dispatcher);
  Start(z, call.device.get(), end, false);
  ASSERT_TRUE(
      dispatcher.RunUntil([&] { return end.lastReceived > 5000 || end.Done(); }, kPatience));
  const pid_t sz = std::stoi(platform::ReadFile(pidFile));
  ::kill(sz, SIGSTOP);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  ::kill(sz, SIGKILL);
  ::kill(sz, SIGCONT);
  EXPECT_TRUE(end.aborted);
  EXPECT_TRUE(end.Logged("ZModem receive failed (timeout)"));
  EXPECT_EQ(platform::ScanDir(dir / "in", "*.Transmission").size(), 1u);
}

TEST_F(ZModemTest, RemoteNamesAreCheckedAndNeverOverwrite) {
  // Names the file system takes up to its bound (255 bytes) come in whole;
  // the number a taken one gets costs it whole letters at the end of its base.
  // A longer name is cut to the bound, never refused for its length.
  const std::string longest = Repeat("ж", 126) + ".7z", longTaken = Repeat("д", 126) + ".7z";
  const std::string tooLong(kMaxInboundName + 1, 'n');
  struct Case {
    std::string alias;
    std::string storedAs;  // empty: refused
  } cases[] = {
      {"../escape.pkt", ""},
      {"/etc/passwd", ""},
      {"C:boot.ini", ""},
      {"sub\\dir.pkt", ""},
      {"bell\x07.pkt", ""},
      {"line\r\n01/01/26 00:00:00 RECD forged", ""},
      {"..", ""},
      {tooLong, std::string(kMaxInboundName, 'n')},
      {"taken.pkt", "taken.0001.pkt"},
      {"TOSS.PKT", "TOSS.0002.PKT"},
      // The tosser's own names: its folder, journals, lock, work files.
      {"Backup", "Backup.0001"},
      {".Unpack", ".0001.Unpack"},
      {"Velmaris.Import.Journal", "Velmaris.Import.0001.Journal"},
      {"VELMARIS.LOCK", "VELMARIS.0001.LOCK"},
      {"x.Transmission", "x.Transmission.0001"},
      {"fine.mo0", "fine.mo0"},
      {longest, longest},
      {longTaken, Repeat("д", 123) + ".0001.7z"},
      // Full stops inside a name are letters of it.
      {"v1..2.zip", "v1..2.zip"},
      {"Отчёт..txt", "Отчёт..txt"},
      {"ИТОГИ...TXT", "ИТОГИ...TXT"},
      // Cut to fit, the base would end in a full stop: the cut drops it.
      {std::string(250, 'l') + ".bbbbb.txt", std::string(250, 'l') + ".txt"},
  };
  const auto files = MakeFiles({{"payload", 2000}});
  for (bool zedzap : {false, true}) {
    SCOPED_TRACE(zedzap ? "ZedZap" : "ZModem");
    const std::string inDir = dir / (zedzap ? "in/zedzap/" : "in/zmodem/");
    platform::MakeDirs(inDir);
    platform::WriteFileAtomic(inDir + "taken.pkt", "already here");
    platform::WriteFileAtomic(inDir + "TOSS.PKT", "here too");
    platform::WriteFileAtomic(inDir + "TOSS.0001.PKT", "and here");
    platform::WriteFileAtomic(inDir + longTaken, "and a long one");
    TCMLoopbackPair line{TLineShape{}, dispatcher};
    line.Connect();
    ProtocolEnd out, in;
    TCMZModem sender(dispatcher), receiver(dispatcher);
    sender.ZedZap = receiver.ZedZap = zedzap;
    sender.Device = &line.A();
    out.Attach(sender);
    size_t next = 0;
    sender.OnNextFile = [&](TCMProtocol&, std::string& path, std::string& alias) {
      path.clear();
      if (next == std::size(cases)) return;
      path = files[0];
      alias = cases[next++].alias;
    };
    Start(receiver, &line.B(), in, false, inDir);
    sender.Send();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return out.Done() && in.Done(); }, kPatience));
    EXPECT_TRUE(out.finished);
    EXPECT_TRUE(in.finished);
    std::vector<std::string> stored;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.alias);
      if (c.storedAs.empty()) continue;
      stored.push_back(c.storedAs);
      EXPECT_EQ(platform::ReadFile(inDir + c.storedAs), platform::ReadFile(files[0]));
    }
    EXPECT_EQ(platform::ReadFile(inDir + "taken.pkt"), "already here");
    EXPECT_EQ(platform::ReadFile(inDir + longTaken), "and a long one");
    EXPECT_EQ(in.received, stored);
    EXPECT_EQ(platform::ScanDir(inDir).size(), stored.size() + 4);  // nothing else landed
    EXPECT_FALSE(Leftovers(inDir));
    // What reaches the session log: names escaped, a long name said as such.
    for (const auto* lines : {&in.notices, &in.skipped})
      for (const std::string& line : *lines)
        for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 32) << line;
    EXPECT_TRUE(in.Noticed("RECV Name too long, file " + tooLong + " is received as " +
                           std::string(kMaxInboundName, 'n')));
    EXPECT_TRUE(in.Noticed("FSER Refused file name line\\x0D\\x0A01/01/26"));
    EXPECT_TRUE(in.Noticed("RECV File taken.pkt already exists"));
    EXPECT_TRUE(in.Noticed("RECV File TOSS.PKT already exists"));
    EXPECT_TRUE(in.Noticed("RECV File TOSS.0001.PKT already exists"));
    EXPECT_TRUE(in.Noticed("RECV File Backup is a name the tosser keeps for itself"));
    EXPECT_TRUE(in.Noticed("RECV File " + longTaken + " already exists"));
  }
}

// The names of the table (tests/platform/WireNameTest.cpp) and the bytes a
// ZFILE header carries for each: the OEM page when it holds the name, else
// the UTF-8 bytes as they are.
struct ZName {
  const char* what;
  std::string disk, wire;
};
const ZName kZNames[] = {
    {"Latin", "Bundle01.zip", "Bundle01.zip"},
    {"Cyrillic", "a\xd0\xa4\xd0\xb0\xd0\xb9\xd0\xbb\xd1\x8b.zip", "a\x94\xa0\xa9\xab\xeb.zip"},
    {"a blank and a quote", "My \"best\" file.tar.gz", "My \"best\" file.tar.gz"},
    {"the euro sign, which CP866 lacks", "price\xe2\x82\xac.txt", "price\xe2\x82\xac.txt"},
    {"a long name", "\xd1\x91\xd0\xb6 long name of a file.package",
     "\xf1\xa6 long name of a file.package"},
    {"the longest name a file may have: 126 Cyrillic letters and .7z, 255 bytes",
     Repeat("\xd0\xb6", 126) + ".7z", Repeat("\xa6", 126) + ".7z"},
};

// A received name that is taken already gets a number before its extension;
// a name at the file system's bound loses the end of its stem to it, cut at
// a whole letter, never in the middle of a UTF-8 character.
TEST(NextFreeName, NumberedNamesStayWholeUtf8) {
  TempDir dir;
  const std::string stem(126, 'x');
  const struct {
    std::string name, next;
  } rows[] = {
      {"Отчёт.zip", "Отчёт_1.zip"},
      // 126 * 2 = 252 bytes of stem: "_1" leaves room for 251, which would
      // halve the last letter kept.
      {[] { std::string s; for (int i = 0; i < 126; ++i) s += "ж"; return s; }() + ".z",
       [] { std::string s; for (int i = 0; i < 125; ++i) s += "ж"; return s; }() + "_1.z"},
      {stem + stem + ".a", stem + std::string(125, 'x') + "_1.a"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    dir.Write(r.name, "taken");
    const std::string next = NextFreeName(dir.Path(), r.name);
    EXPECT_EQ(next, r.next);
    EXPECT_TRUE(platform::IsUtf8(next));
    EXPECT_LE(next.size(), kMaxFileNameBytes);
  }
}

TEST_F(ZModemTest, NamesGoToRzInTheOemPageAndComeFromSzAsTheDiskNames) {
  std::vector<std::pair<std::string, size_t>> made;
  for (const ZName& n : kZNames) made.push_back({n.disk, 3000});
  const auto files = MakeFiles(made);
  {
    SCOPED_TRACE("to rz");
    const std::string peerDir = dir / "peer/";
    ProtocolEnd end;
    end.toSend.assign(files.begin(), files.end());
    RunWithPeer(end, true, Shell("cd " + ShellWord(peerDir) + " && exec rz -q -b -y"));
    EXPECT_TRUE(end.finished);
    for (size_t i = 0; i < files.size(); ++i) {
      SCOPED_TRACE(kZNames[i].what);
      // rz writes the name it was given: the wire's bytes.
      EXPECT_TRUE(platform::ReadFile(peerDir + kZNames[i].wire) == platform::ReadFile(files[i]));
    }
  }
  {
    SCOPED_TRACE("from sz");
    // An old system's name in CP866 bytes (ПАКЕТ01.PKT) beside the table's,
    // and two whose UTF-8 is longer than a name may be: 126 and 127 letters
    // and ".txt" (130 and 131 bytes on the line). They arrive cut at a whole
    // letter with their extension, the second under a number, its cut name
    // being taken by the first. Then names with full stops inside, and one
    // whose cut base would end in one (125 letters, ".", 2 letters, ".doc"):
    // each is received, the last cut without that full stop.
    platform::MakeDirs(dir / "old");
    dir.Write(
        "old/\x8f\x80\x8a\x85\x92"
        "01.PKT",
        "packet bytes");
    const std::string oem126 = Repeat("\xa6", 126) + ".txt", oem127 = Repeat("\xa6", 127) + ".txt";
    dir.Write("old/" + oem126, "126 letters");
    dir.Write("old/" + oem127, "127 letters");
    std::string script = "exec sz -q " + ShellWord(dir /
                                                   "old/\x8f\x80\x8a\x85\x92"
                                                   "01.PKT");
    for (const std::string& f : files) script += " " + ShellWord(f);
    script += " " + ShellWord(dir / ("old/" + oem126)) + " " + ShellWord(dir / ("old/" + oem127));
    const std::string oemDots[] = {"v1..2.zip", "\x8e\xe2\xe7\xf1\xe2..txt",
                                   "\x88\x92\x8e\x83\x88...TXT",
                                   Repeat("\xa6", 125) + ".\xa6\xa6.doc"};
    const std::string dots[] = {"v1..2.zip", "Отчёт..txt", "ИТОГИ...TXT", Repeat("ж", 125) + ".doc"};
    for (const std::string& name : oemDots) {
      dir.Write("old/" + name, name);
      script += " " + ShellWord(dir / ("old/" + name));
    }
    const std::string in = dir / "in/sz/";
    platform::MakeDirs(in);
    ProtocolEnd end;
    RunWithPeer(end, false, Shell(script), {}, false, in);
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(platform::ReadFile(in + "\xd0\x9f\xd0\x90\xd0\x9a\xd0\x95\xd0\xa2"
                                      "01.PKT"),
              "packet bytes");
    for (size_t i = 0; i < files.size(); ++i) {
      SCOPED_TRACE(kZNames[i].what);
      EXPECT_TRUE(platform::ReadFile(in + kZNames[i].disk) == platform::ReadFile(files[i]));
    }
    EXPECT_EQ(platform::ReadFile(in + Repeat("ж", 125) + ".txt"), "126 letters");
    EXPECT_EQ(platform::ReadFile(in + Repeat("ж", 123) + ".0001.txt"), "127 letters");
    EXPECT_TRUE(end.Noticed("RECV Name too long, file " + Repeat("ж", 126) +
                            ".txt is received as " + Repeat("ж", 125) + ".txt"));
    EXPECT_TRUE(end.Noticed("RECV Name too long, file " + Repeat("ж", 127) + ".txt"));
    for (size_t i = 0; i < std::size(dots); ++i)
      EXPECT_EQ(platform::ReadFile(in + dots[i]), oemDots[i]) << dots[i];
    EXPECT_TRUE(end.skipped.empty());
    EXPECT_EQ(platform::ScanDir(in).size(), files.size() + 3 + std::size(dots));
  }
}

// The far end of a loopback pair played by the test: each frame our end
// sends is answered with the bytes `answer` returns.
struct ScriptedPeer {
  ScriptedPeer(TCMLoopbackDevice& device, std::function<std::string(const TZEvent&)> answer) {
    device.OnDataAvail = [this, &device, answer](TCMDevice&, const std::string& bytes) {
      parser.Feed(bytes, [&](const TZEvent& e) {
        seen.push_back(e.kind == TZEvent::Header ? e.header.type : -1);
        device.SendString(answer(e));
      });
    };
  }
  bool Saw(int type) const { return std::find(seen.begin(), seen.end(), type) != seen.end(); }
  TZParser parser;
  std::vector<int> seen;
};

TEST_F(ZModemTest, HostileReceiverCannotMakeAFileCountAsSent) {
  // It asks for a start beyond the end of the file, then confirms.
  const auto files = MakeFiles({{"short.pkt", 1000}});
  pair.Connect();
  ScriptedPeer peer(pair.B(), [](const TZEvent& e) -> std::string {
    if (e.kind != TZEvent::Header) return {};
    switch (e.header.type) {
      case ZRQINIT: return HexHeader({ZRINIT, 0x23000000});
      case ZFILE: return HexHeader({ZRPOS, 5000});
      case ZEOF: return HexHeader({ZRINIT, 0x23000000});
      case ZFIN: return HexHeader({ZFIN, 0});
      default: return {};
    }
  });
  ProtocolEnd end;
  TCMZModem z(dispatcher);
  end.toSend = {files[0]};
  Start(z, &pair.A(), end, true);
  ASSERT_TRUE(RunToEnd(end));
  EXPECT_TRUE(end.Has(28));
  EXPECT_TRUE(end.Has(14));
  EXPECT_TRUE(end.sent.empty());
}

TEST_F(ZModemTest, ZrposThatComesWhileTheSessionIsFinishedTakesTheFileUpAgain) {
  // The receiver never acknowledges a ZEOF; our ZFIN crosses its ZRPOS,
  // which asks for the file again from offset 1000.
  const auto files = MakeFiles({{"late.pkt", 5000}});
  pair.Connect();
  std::string got;
  bool resumed = false;
  ScriptedPeer peer(pair.B(), [&](const TZEvent& e) -> std::string {
    if (e.kind == TZEvent::Data && peer.Saw(ZDATA)) {
      got += e.data;
      return {};
    }
    if (e.kind == TZEvent::Data) return HexHeader({ZRPOS, 0});  // the file's offer
    if (e.kind != TZEvent::Header) return {};
    switch (e.header.type) {
      case ZRQINIT: return HexHeader({ZRINIT, 0x23000000});
      case ZDATA: got.resize(e.header.arg); return {};
      case ZEOF: return resumed ? HexHeader({ZRINIT, 0x23000000}) : std::string();
      case ZFIN:
        if (resumed) return HexHeader({ZFIN, 0});
        resumed = true;
        return HexHeader({ZRPOS, 1000});
      default: return {};
    }
  });
  ProtocolEnd end;
  TCMZModem z(dispatcher);
  end.toSend = {files[0]};
  Start(z, &pair.A(), end, true);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  EXPECT_TRUE(end.Logged("EOF Acknowledge missing"));
  EXPECT_TRUE(end.Logged("Resending from 1000"));
  EXPECT_EQ(end.sent, (std::vector<std::string>{"late.pkt"}));
  EXPECT_TRUE(got == platform::ReadFile(files[0]));
}

TEST_F(ZModemTest, ReceiverWithoutOverlappedIoGetsEveryBlockAcknowledged) {
  // A streaming receiver confirms nothing until the end of the file: the
  // transfer panel's rate counts the bytes the line has taken.
  const auto files = MakeFiles({{"acked.pkt", 5000}});
  const struct Case {
    const char* name;
    uint32_t flags;
    int waits;  // blocks that ask for an acknowledgement, at least
  } cases[] = {{"ack mode", kZCanFullDuplex | kZCanFC32, 5},  // 256, 512 and 1024 byte blocks
               {"streaming", kZCanFullDuplex | kZCanOverlapIO | kZCanFC32, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCMLoopbackPair line{TLineShape{}, dispatcher};
    line.Connect();
    std::string got;
    int waits = 0;
    const TZHeader init{ZRINIT, c.flags << 24};
    ScriptedPeer peer(line.B(), [&](const TZEvent& e) -> std::string {
      if (e.kind == TZEvent::Data && peer.Saw(ZDATA)) {
        got += e.data;
        if (e.frameEnd != ZCRCW) return {};
        ++waits;
        return HexHeader({ZACK, static_cast<uint32_t>(got.size())});
      }
      if (e.kind != TZEvent::Header) return {};
      switch (e.header.type) {
        case ZRQINIT:
        case ZEOF: return HexHeader(init);
        case ZFILE: return HexHeader({ZRPOS, 0});
        case ZFIN: return HexHeader({ZFIN, 0});
        default: return {};
      }
    });
    ProtocolEnd end;
    TCMZModem z(dispatcher);
    // The clock runs with the bytes the line has taken, as on a 33,600 bps line.
    z.Clock = [&] { return static_cast<uint32_t>(line.Carried(line.A()) * 10 * 1000 / 33600); };
    end.toSend = {files[0]};
    z.Device = &line.A();
    z.ReceiveDir = dir / "in/";
    end.Attach(z);
    // The rate is watched from before the sender starts: a fast line may
    // report all its progress before a watcher set afterwards would see it.
    int64_t running = 0;  // the transfer panel's highest rate
    const auto report = z.OnProtocolState;
    z.OnProtocolState = [&](TCMProtocol& p, int state, const std::string& msg, int64_t p1,
                            int64_t p2) {
      if (state == psSendProgress) running = std::max(running, p2);
      report(p, state, msg, p1, p2);
    };
    z.Send();
    ASSERT_TRUE(RunToEnd(end));
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(end.sent, (std::vector<std::string>{"acked.pkt"}));
    EXPECT_TRUE(got == platform::ReadFile(files[0]));
    EXPECT_GE(waits, c.waits);
    EXPECT_GT(running, 0);  // bytes count once on the line, and no more than it carries
    EXPECT_LE(running, 3360 + 100);
  }
}

TEST_F(ZModemTest, SenderCannotOverfillTheInboundOrPassOffAShortFile) {
  constexpr uint64_t kDisk = 40000;  // bytes free above the reserve
  struct Case {
    const char* name;
    std::string offer;  // the ZFILE subpacket
    bool endless;       // data follows every acknowledgement
    int64_t eofAt;      // -1: no ZEOF
    const char* notice;
    const char* storedAs;  // nullptr: the file was not received
    size_t files;          // left in the inbound (a sized partial file stays for resume)
    size_t maxBytes;       // no file in the inbound grows beyond this
  } cases[] = {
      {"beyond the announced size",
       std::string("grow.pkt\0"
                   "10 0",
                   13),
       false, -1, "FSER File grow.pkt is longer than announced (10 Bytes)", nullptr, 1, 10},
      {"endless without a size", std::string("endless.pkt\0", 12), true, -1,
       "FSER File endless.pkt of unknown size stopped at offset", nullptr, 0, kDisk},
      {"shorter than announced",
       std::string("short.pkt\0"
                   "100 0",
                   14),
       false, 64, "RECV File short.pkt is short: 64 of 100 Bytes", "short.pkt", 1, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir / ("in/" + std::to_string(&c - cases) + "/");
    platform::MakeDirs(in);
    TCMLoopbackPair line{TLineShape{}, dispatcher};
    line.Connect();
    TZEscaper esc;
    const std::string block(1024, 'x');
    std::unique_ptr<ScriptedPeer> peer;
    peer = std::make_unique<ScriptedPeer>(line.B(), [&](const TZEvent& e) -> std::string {
      if (e.kind != TZEvent::Header) return {};
      switch (e.header.type) {
        case ZRINIT:
          if (peer->Saw(ZRPOS)) return HexHeader({ZFIN, 0});
          return BinaryHeader({ZFILE, 0}, true, esc) + Subpacket(c.offer, ZCRCW, true, esc);
        case ZRPOS:
          if (c.endless)
            return BinaryHeader({ZDATA, 0}, true, esc) + Subpacket(block, ZCRCW, true, esc);
          return BinaryHeader({ZDATA, 0}, true, esc) +
                 Subpacket(std::string(64, 'x'), ZCRCE, true, esc) +
                 (c.eofAt >= 0 ? HexHeader({ZEOF, static_cast<uint32_t>(c.eofAt)}) : "");
        case ZACK:  // the next block where the receiver stands
          if (!c.endless) return {};
          return BinaryHeader({ZDATA, e.header.arg}, true, esc) +
                 Subpacket(block, ZCRCW, true, esc);
        case ZFERR: return HexHeader({ZFIN, 0});
        default: return {};
      }
    });
    ProtocolEnd end;
    TCMZModem z(dispatcher);
    z.InboundFreeSpace = [&](const std::string& d) {
      uint64_t used = 0;
      for (const auto& e : platform::ScanDir(d)) used += e.size;
      return kInboundDiskReserve + kDisk - std::min(used, kDisk);
    };
    Start(z, &line.A(), end, false, in);
    ASSERT_TRUE(RunToEnd(end));
    EXPECT_TRUE(end.Noticed(c.notice));
    // The limit said why: no line blames the disk as well.
    EXPECT_EQ(end.Has(psInboundFailed), !c.storedAs);
    EXPECT_FALSE(end.Has(33));
    EXPECT_EQ(peer->Saw(ZFERR), !c.storedAs);
    const auto left = platform::ScanDir(in);
    EXPECT_EQ(left.size(), c.files);
    if (c.storedAs) {
      EXPECT_EQ(platform::ReadFile(in + c.storedAs), std::string(64, 'x'));
    }
    for (const auto& e : left) EXPECT_LE(e.size, c.maxBytes);
  }
}

TEST(InboundFileTest, OversizedAnnouncementIsRefused) {
  TempDir dir;
  TInboundFile file;
  std::string why;
  EXPECT_EQ(file.Start(dir.Path(), "huge.zip", kMaxInboundSize + 1, 0, why),
            TInboundFile::Result::Refused);
  EXPECT_TRUE(platform::ScanDir(dir.Path()).empty());
}

TEST(InboundFileTest, RefusedOffersEndTheSessionWhateverTheOffersVary) {
  // The offers a sender makes, one after the other; every one is refused
  // until the session ends. Date and size do not count: a name is a name.
  const std::string longName(300, 'x');
  struct Case {
    const char* what;
    std::function<std::string(int)> name;  // the name of offer i
    int refused;                           // offers refused before the end
    const char* end;                       // the end of the session's line
  } cases[] = {
      {"the same file", [](int) { return "A.PKT"; }, 3, "again after 3 refusals, session ended"},
      {"letter case", [](int i) { return i % 2 ? "a.pkt" : "A.Pkt"; }, 3,
       "again after 3 refusals, session ended"},
      {"two names", [](int i) { return "N" + std::to_string(i % 2) + ".PKT"; }, 6,
       "again after 3 refusals, session ended"},
      {"17 names", [](int i) { return "N" + std::to_string(i % 17) + ".PKT"; }, 32,
       "after 32 refused offers, session ended"},
      {"100 names", [](int i) { return "N" + std::to_string(i % 100) + ".PKT"; }, 32,
       "after 32 refused offers, session ended"},
      {"ever new names", [](int i) { return "N" + std::to_string(i) + ".PKT"; }, 32,
       "after 32 refused offers, session ended"},
      {"beyond the longest name", [&](int i) { return longName + std::to_string(i); }, 3,
       "again after 3 refusals, session ended"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRefusedOffers refused;
    int i = 0;
    while (i < 100000 && !refused.Exhausted(c.name(i))) refused.Refused(c.name(i++));
    EXPECT_EQ(i, c.refused);
    const std::string line = refused.EndLine(c.name(i));
    EXPECT_TRUE(line.starts_with("FSER File ")) << line;
    EXPECT_TRUE(line.ends_with(c.end)) << line;
    EXPECT_LT(line.size(), 330u);
  }
}

}  // namespace
}  // namespace velmaris::test
