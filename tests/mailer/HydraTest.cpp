// Hydra against itself over the loopback pair: both directions at once,
// line noise, a dropped carrier with the partial file resumed on the next
// call, a silent remote, a sender whose names and sizes are not what they
// should be; and the packet encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "ZModemFixtures.h"
#include "mailer/CMHydra.h"
#include "mailer/CMLoopback.h"
#include "mailer/CMZModem.h"
#include "mailer/HydraFrames.h"
#include "mailer/InboundFile.h"
#include "support/NameTable.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(HydraFramesTest, EveryEncodingCarriesEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += "@\r\x18\x18";
  const uint32_t optionSets[] = {0,
                                 hoC32,
                                 hoXON | hoTLN | hoCTL | hoC32,
                                 hoHIC | hoCTL,
                                 hoHI8 | hoASC,
                                 hoHI8 | hoASC | hoC32,
                                 hoHI8 | hoCTL | hoUUE | hoC32,
                                 hoHI8 | hoC32};
  for (uint32_t options : optionSets) {
    for (char type : {hpData, hpInit, hpFinfo}) {
      SCOPED_TRACE(std::to_string(options) + type);
      const std::string bytes = HydraPacket(type, all, options);
      if (options & hoHI8) {
        for (char c : bytes) EXPECT_EQ(c & 0x80, 0);  // 7-bit clean
      }
      THydraParser parser;
      std::vector<THydraReceived> got;
      parser.Feed("noise before" + bytes, options, got);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].type, type);
      EXPECT_EQ(got[0].data, all);
    }
  }
}

TEST(HydraFramesTest, FramingFollowsThePacketType) {
  // INIT goes hex even on a clean line; binary DATA ends with DLE "a" alone.
  EXPECT_EQ(HydraPacket(hpInit, "x", hoC32).substr(0, 2),
            "\x18"
            "c");
  const std::string data = HydraPacket(hpData, "x", hoC32);
  EXPECT_EQ(data.substr(0, 2),
            "\x18"
            "b");
  EXPECT_EQ(data.substr(data.size() - 2),
            "\x18"
            "a");
  EXPECT_EQ(HydraPacket(hpData, "x", hoHI8 | hoCTL | hoUUE).substr(0, 2),
            "\x18"
            "e");
  // A flipped bit is dropped; five DLEs abort.
  std::string bad = data;
  bad[3] ^= 1;
  THydraParser parser;
  std::vector<THydraReceived> got;
  parser.Feed(bad, hoC32, got);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(parser.BadPackets(), 1);
  parser.Feed("\x18\x18\x18\x18", hoC32, got);
  EXPECT_FALSE(parser.Cancelled());
  parser.Feed("\x18", hoC32, got);
  EXPECT_TRUE(parser.Cancelled());
}

class HydraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::MakeDirs(dir / "inA");
    platform::MakeDirs(dir / "inB");
    platform::MakeDirs(dir / "out");
  }
  std::string MakeFile(const std::string& name, size_t size, uint32_t seed) {
    dir.Write("out/" + name, SampleBytes(size, seed));
    return dir / ("out/" + name);
  }
  // Runs Hydra on both ends of a connected pair until both have ended.
  void RunBoth(TCMLoopbackPair& pair, ProtocolEnd& a, ProtocolEnd& b,
               const std::function<void(TCMHydra&, TCMHydra&)>& during = {}) {
    TCMHydra ha(dispatcher), hb(dispatcher);
    hb.Device = &pair.B();
    hb.ReceiveDir = dir / "inB/";
    b.Attach(hb);
    Start(ha, &pair.A(), a);
    hb.Receive();
    if (during) during(ha, hb);
    ASSERT_TRUE(RunTicking([&] { return a.Done() && b.Done(); }));
  }
  // Starts `h` on `device` as the calling side, received files into inA.
  void Start(TCMHydra& h, TCMConnectionDevice* device, ProtocolEnd& end) {
    h.Device = device;
    h.ReceiveDir = dir / "inA/";
    end.Attach(h);
    h.Send();
  }
  // A packet lost to noise costs its time-out, which need not pass in full.
  bool RunTicking(const std::function<bool()>& done) {
    return test::RunTicking(dispatcher, done, 60000, 5ms);
  }
  void ExpectReceived(const std::string& path, const std::string& in) {
    const std::string name = Upper(platform::NameOf(path));
    ASSERT_TRUE(platform::FileExists(in + name)) << name;
    EXPECT_TRUE(platform::ReadFile(in + name) == platform::ReadFile(path)) << name;
  }

  TempDir dir;
  platform::PlainDispatcher dispatcher;
};

TEST_F(HydraTest, BothDirectionsAtOnceOnCleanAndNoisyLines) {
  const std::string a1 = MakeFile("a1.pkt", 30000, 1), a2 = MakeFile("a2.mo0", 150000, 2),
                    b1 = MakeFile("b1.tu0", 90000, 3), empty = MakeFile("empty.tic", 0, 4);
  struct Case {
    const char* what;
    TLineShape shape;
    // B's inbound becomes a link into a drive that is not mounted once a1.pkt
    // is in: B aborts the session, A keeps the files that follow.
    bool unplug = false;
  } cases[] = {{"clean", {}}, {"noise 1 in 10,000", {0, 100, 9}}, {"unplugged", {}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* in : {"inA", "inB"}) {
      for (const auto& e : platform::ScanDir(dir / in))
        std::remove((dir / in + "/" + e.name).c_str());
    }
    TCMLoopbackPair pair(c.shape, dispatcher);
    pair.Connect();
    ProtocolEnd a, b;
    a.toSend = {a1, a2, empty};
    b.toSend = {b1};
    const std::string folder = dir / "inB", away = dir / "inB.away";
    RunBoth(pair, a, b, [&](TCMHydra&, TCMHydra& hb) {
      if (!c.unplug) return;
      // Reports wait for their handler: A hears of a1.pkt after this.
      hb.OnProtocolState = [&, report = hb.OnProtocolState](TCMProtocol& p, int state,
                                                            const std::string& msg, int64_t p1,
                                                            int64_t p2) {
        report(p, state, msg, p1, p2);
        if (state != 25 || platform::PathExists(away)) return;
        std::filesystem::rename(folder, away);
        std::filesystem::create_directory_symlink(dir / "usb/inB", folder);
      };
    });
    if (c.unplug) {
      EXPECT_TRUE(a.aborted);
      EXPECT_TRUE(b.aborted);
      EXPECT_EQ(a.sent, (std::vector<std::string>{"a1.pkt"}));
      EXPECT_FALSE(a.Has(14));  // nothing skipped: a2.mo0 and empty.tic stay A's
      EXPECT_TRUE(b.skipped.empty());
      EXPECT_TRUE(b.Noticed("FSER The inbound folder " + folder + " is a link to " +
                            dir / "usb/inB" + ", which is missing"));
      ExpectReceived(a1, away + "/");
      EXPECT_FALSE(platform::PathExists(dir / "usb"));
      continue;
    }
    EXPECT_TRUE(a.finished);
    EXPECT_TRUE(b.finished);
    EXPECT_EQ(a.sent, (std::vector<std::string>{"a1.pkt", "a2.mo0", "empty.tic"}));
    EXPECT_EQ(b.sent, (std::vector<std::string>{"b1.tu0"}));
    ExpectReceived(a1, dir / "inB/");
    ExpectReceived(a2, dir / "inB/");
    ExpectReceived(empty, dir / "inB/");
    ExpectReceived(b1, dir / "inA/");
    EXPECT_TRUE(platform::ScanDir(dir / "inB", "*.Transmission").empty());
  }
}

TEST_F(HydraTest, DroppedCarrierKeepsThePartialFileForTheNextCall) {
  const std::string big = MakeFile("big.zip", 120000, 5);
  {
    TCMLoopbackPair pair({115200, 0, 1}, dispatcher);
    pair.Connect();
    ProtocolEnd a, b;
    a.toSend = {big};
    RunBoth(pair, a, b, [&](TCMHydra&, TCMHydra&) {
      ASSERT_TRUE(
          dispatcher.RunUntil([&] { return b.lastReceived > 20000 || b.Done(); }, kPatience));
      pair.A().HangUp();
    });
    EXPECT_TRUE(a.aborted);
    EXPECT_TRUE(b.aborted);
    EXPECT_TRUE(a.sent.empty());
  }
  const auto partial = platform::ScanDir(dir / "inB", "*.Transmission");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_GE(partial[0].size, 20000u);

  TCMLoopbackPair pair({}, dispatcher);
  pair.Connect();
  ProtocolEnd a, b;
  a.toSend = {big};
  RunBoth(pair, a, b);
  EXPECT_TRUE(a.finished && b.finished);
  EXPECT_GE(b.resumedAt, static_cast<int64_t>(partial[0].size));
  EXPECT_TRUE(a.Has(11));
  ExpectReceived(big, dir / "inB/");
  EXPECT_TRUE(platform::ScanDir(dir / "inB", "*.Transmission").empty());
}

TEST_F(HydraTest, MeetsItselfThroughTheFakeModemInTwoBatches) {
  // The peer opens a second batch after the first, as Hydra mailers do, and
  // sends a file there; our end takes part as the mailer session does.
  const std::string mine = MakeFile("mine.pkt", 40000, 6),
                    theirs = MakeFile("theirs.we0", 25000, 7),
                    answer = MakeFile("answer.zip", 9000, 8);
  platform::MakeDirs(dir / "peer");
  SetTapiDebugLogPath(dir / "cmdebug.txt");
  ModemCall call(dir, dispatcher,
                 {"--peer",
                  CommandWord(HYDRAPEER) + " --recv " + CommandWord(dir / "peer/") + " " +
                      CommandWord(theirs) + " --second " + CommandWord(answer),
                  "--throttle", "--dial", "CONNECT 115200"});
  ASSERT_TRUE(call.Dial());
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  end.toSend = {mine};
  Start(h, call.device.get(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  EXPECT_EQ(end.sent, (std::vector<std::string>{"mine.pkt"}));
  ExpectReceived(theirs, dir / "inA/");
  ExpectReceived(mine, dir / "peer/");
  EXPECT_GT(end.fastestSend, 0);
  EXPECT_LE(end.fastestSend, 11520);  // the pty takes more at once than CONNECT 115200 carries

  end.finished = false;
  h.Send();
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  SetTapiDebugLogPath("");
  EXPECT_TRUE(end.finished);
  EXPECT_EQ(h.ReceiveBatches(), 2);
  ExpectReceived(answer, dir / "inA/");
}

TEST_F(HydraTest, PeerThatVariesItsRefusedOfferIsEndedAfterItsRefusals) {
  // The peer offers its file again whenever we skip it, each time with a
  // new date or under a new name: three refusals of a name, or 32 in all,
  // end the session.
  struct Case {
    const char* vary;
    size_t skips;
    const char* end;
  } cases[] = {
      {"date", 3, "FSER File THEIRS.WE0 offered again after 3 refusals, session ended"},
      {"date,size,case", 3, "FSER File THEIRS.WE0 offered again after 3 refusals, session ended"},
      {"names:17,date", 32, " offered after 32 refused offers, session ended"},
  };
  platform::MakeDirs(dir / "peer");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vary);
    const std::string theirs = MakeFile("theirs.we0", 25000, 7);
    ModemCall call(dir, dispatcher,
                   {"--peer",
                    CommandWord(HYDRAPEER) + " --recv " + CommandWord(dir / "peer/") + " " +
                        CommandWord(theirs) + " --reoffer theirs.we0 --reoffer-vary " + c.vary,
                    "--dial", "CONNECT 115200"});
    ASSERT_TRUE(call.Dial());
    ProtocolEnd end;
    TCMHydra h(dispatcher);
    h.OnAcceptFile = [](TCMProtocol&, bool& accept, std::string&, int64_t, int64_t) {
      accept = false;
    };
    Start(h, call.device.get(), end);
    ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
    EXPECT_TRUE(end.aborted);
    EXPECT_EQ(end.skipped.size(), c.skips);
    EXPECT_TRUE(end.Noticed(c.end));
    EXPECT_TRUE(platform::ScanDir(dir / "inA", "*").empty());
  }
}

TEST_F(HydraTest, SilentRemoteEndsTheSessionAfterItsRetries) {
  TCMLoopbackPair pair({}, dispatcher);
  pair.Connect();
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  Start(h, &pair.A(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.aborted);
  EXPECT_TRUE(end.Has(16));
  EXPECT_TRUE(end.Logged("Aborting - Too many errors"));
}

// A protocol destroyed while its session runs (its owner ends, a test's
// assertion fails) ends the session without a word to the handlers or the
// clock, whose owners may be gone already.
TEST_F(HydraTest, ProtocolsDestroyedInASessionReportNothingMore) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<TCMProtocol>()> make;
  } protocols[] = {
      {"Hydra", [&] { return std::unique_ptr<TCMProtocol>(new TCMHydra(dispatcher)); }},
      {"ZModem", [&] { return std::unique_ptr<TCMProtocol>(new TCMZModem(dispatcher)); }},
  };
  for (const auto& protocol : protocols) {
    SCOPED_TRACE(protocol.name);
    TCMLoopbackPair pair({}, dispatcher);
    pair.Connect();
    ProtocolEnd end;
    std::unique_ptr<TCMProtocol> p = protocol.make();
    p->Device = &pair.A();
    p->ReceiveDir = dir / "inA/";
    end.Attach(*p);
    p->Send();
    // The silent remote keeps the session waiting.
    ASSERT_TRUE(RunTicking([&] { return !end.log.empty(); }));
    ASSERT_TRUE(p->IsActive());
    int late = 0;
    p->OnProtocolState = [&](TCMProtocol&, int, const std::string&, int64_t, int64_t) { ++late; };
    p->OnAborted = p->OnFinished = [&](TCMProtocol&) { ++late; };
    p->Clock = [&] { return static_cast<uint32_t>(++late); };
    p.reset();
    EXPECT_EQ(late, 0);
  }
}

// A Hydra sender played by the test over the loopback pair: it offers its
// files one by one, each with the size it announces and the bytes it sends.
struct HydraSenderPeer {
  struct Offer {
    std::string name;
    uint32_t announced;
    std::string bytes;
  };
  HydraSenderPeer(TCMLoopbackDevice& device, std::vector<Offer> offers)
      : offers(std::move(offers)) {
    device.OnDataAvail = [this, &device](TCMDevice&, const std::string& bytes) {
      std::vector<THydraReceived> got;
      parser.Feed(bytes, kOptions, got);
      for (const THydraReceived& p : got) device.SendString(Answer(p));
    };
  }
  std::string Answer(const THydraReceived& p) {
    auto packet = [](char type, const std::string& data) {
      return HydraPacket(type, data, kOptions);
    };
    auto longPacket = [&](char type, int32_t v) {
      std::string d;
      PutLong(d, v);
      return packet(type, d);
    };
    switch (p.type) {
      case hpStart: {
        const std::string nul(1, '\0');
        return packet(hpInit, "2b1aab00Test peer,1.0" + nul + HydraOptionNames(0x3FF) + nul + nul +
                                  "0000000000000000" + nul + nul);
      }
      case hpInit: return packet(hpInitAck, {});
      case hpFinfo:
        // The caller's offers are kept as they came; it is told that this
        // end has each file already.
        if (p.data.size() > 1) finfos.push_back(p.data);
        return longPacket(hpFinfoAck, p.data.size() > 1 ? -1 : 0);
      case hpInitAck:
      case hpEofAck: return NextOffer();
      case hpFinfoAck: {
        if (batchEnded) return {};     // the answer to the end of the batch
        if (GetLong(p.data, 0) < 0) {  // refused
          refusals.push_back(GetLong(p.data, 0));
          return NextOffer();
        }
        const Offer& o = offers[next - 1];
        std::string d;
        PutLong(d, 0);
        return packet(hpData, d + o.bytes) +
               longPacket(hpEof, static_cast<int32_t>(o.bytes.size()));
      }
      case hpEnd: return packet(hpEnd, {});
      case hpRpos:
        if (GetLong(p.data, 0) < 0) refusals.push_back(GetLong(p.data, 0));
        return {};
      default: return {};
    }
  }
  std::string NextOffer() {
    if (next == offers.size()) {
      batchEnded = true;
      return HydraPacket(hpFinfo, std::string(1, '\0'), kOptions);
    }
    const Offer& o = offers[next++];
    char head[48];
    std::snprintf(head, sizeof head, "%08x%08x%08x%08x%08x", 0x5f000000u, o.announced, 0u, 0u, 0u);
    return HydraPacket(hpFinfo, head + o.name + std::string(1, '\0'), kOptions);
  }
  static constexpr uint32_t kOptions = hoASC | hoUUE | hoC32 | hoDEV;
  THydraParser parser;
  std::vector<Offer> offers;
  size_t next = 0;
  bool batchEnded = false;
  std::vector<int32_t> refusals;  // negative FINFOACK and RPOS offsets, in order
  std::vector<std::string> finfos;  // the caller's FINFO packets
};

TEST_F(HydraTest, ReceivedNamesAndSizesReachTheLogAsTheyAre) {
  struct Case {
    const char* name;
    uint32_t announced;
    size_t sent;
    const char* storedAs;  // nullptr: refused
    const char* notice;
  } cases[] = {
      {"A\r\nB.PKT", 64, 64, nullptr, "FSER Refused file name A\\x0D\\x0AB.PKT"},
      // U+0085 (NEL), a C1 control, in a UTF-8 name.
      {"C\u0085D.PKT", 64, 64, nullptr, "FSER Refused file name C\\xC2\\x85D.PKT"},
      {"SHORT.PKT", 100, 64, "SHORT.PKT", "RECV File SHORT.PKT is short: 64 of 100 Bytes"},
      {"BACKUP", 64, 64, "BACKUP.0001", "RECV File BACKUP is a name the tosser keeps for itself"},
      {"LONG.PKT", 10, 64, nullptr, "FSER File LONG.PKT is longer than announced (10 Bytes)"},
  };
  std::vector<HydraSenderPeer::Offer> offers;
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    offers.push_back({c.name, c.announced, std::string(c.sent, 'h')});
    if (c.storedAs) stored.push_back(c.storedAs);
  }
  TCMLoopbackPair pair({}, dispatcher);
  pair.Connect();
  HydraSenderPeer peer(pair.B(), offers);
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  Start(h, &pair.A(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  EXPECT_EQ(end.received, stored);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(end.Noticed(c.notice));
    if (c.storedAs) {
      EXPECT_EQ(platform::ReadFile(dir / "inA/" + c.storedAs), std::string(c.sent, 'h'));
    }
  }
  for (const std::string& line : end.skipped)
    for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 32) << line;
  EXPECT_EQ(end.skipped, (std::vector<std::string>{"A\\x0D\\x0AB.PKT", "C\\xC2\\x85D.PKT"}));
  EXPECT_TRUE(end.Has(psInboundFailed));
  EXPECT_FALSE(end.Has(33));  // the limit said why: nothing blames the disk
  // Every refusal asks the sender to keep the file for later (-2), never
  // claims we have it (-1): the refused name, then the file that ran long.
  EXPECT_EQ(peer.refusals, (std::vector<int32_t>{-2, -2, -2}));
}

// Refusals are counted by the whole name: distinct files whose names share
// their first twelve characters are refused one by one and the session
// goes on; the same name a fourth time ends it.
TEST_F(HydraTest, RefusalsAreCountedByTheWholeName) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    bool ended;
  } cases[] = {
      {"five names sharing twelve characters",
       {"LONGNAME0001A.PKT", "LONGNAME0001B.PKT", "LONGNAME0001C.PKT", "LONGNAME0001D.PKT",
        "LONGNAME0001E.PKT"},
       false},
      {"names that differ in their last letter only",
       {"0000ABCD.MO0", "0000ABCD.MO1", "0000ABCD.MO2", "0000ABCD.MO3"},
       false},
      {"one name four times",
       {"LONGNAME0001A.PKT", "LONGNAME0001A.PKT", "LONGNAME0001A.PKT", "LONGNAME0001A.PKT"},
       true},
      {"one name four times in other cases",
       {"longname0001a.pkt", "LONGNAME0001A.PKT", "LongName0001A.pkt", "LONGNAME0001A.PKT"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<HydraSenderPeer::Offer> offers;
    for (const std::string& name : c.names) offers.push_back({name, 64, std::string(64, 'r')});
    TCMLoopbackPair pair({}, dispatcher);
    pair.Connect();
    HydraSenderPeer peer(pair.B(), offers);
    ProtocolEnd end;
    TCMHydra h(dispatcher);
    h.OnAcceptFile = [](TCMProtocol&, bool& accept, std::string&, int64_t, int64_t) {
      accept = false;
    };
    Start(h, &pair.A(), end);
    ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
    EXPECT_EQ(end.aborted, c.ended);
    EXPECT_EQ(end.finished, !c.ended);
    EXPECT_EQ(end.skipped.size(), c.ended ? 3u : c.names.size());
    EXPECT_EQ(end.Noticed("FSER File " + c.names.back() +
                          " offered again after 3 refusals, "
                          "session ended"),
              c.ended);
    EXPECT_TRUE(platform::ScanDir(dir / "inA", "*").empty());
  }
}

// The names of the table in platform's WireNameTest, as the disk holds
// them and as a Hydra FINFO packet carries them: the 8.3 name in the OEM
// page, a NUL, the whole name (OEM when the page holds it, else UTF-8).
struct HydraName {
  const char* what;
  std::string disk, finfo;
  std::string received;  // empty: the same as disk
  std::string Received() const { return received.empty() ? disk : received; }
};
const HydraName kHydraNames[] = {
    {"Latin (a DOS name arrives in upper case)", "Bundle01.ZIP", "bundle01.zip\0Bundle01.ZIP\0"s,
     "BUNDLE01.ZIP"},
    {"Cyrillic, cut at 8 bytes it would lose half a letter",
     "a\xd0\xa4\xd0\xb0\xd0\xb9\xd0\xbb\xd1\x8b.zip",
     "a\x94\xa0\xa9\xab\xeb.zip\0a\x94\xa0\xa9\xab\xeb.zip\0"s, ""},
    {"a blank and a quote", "My \"best\" file.tar.gz", "my \"best.gz\0My \"best\" file.tar.gz\0"s,
     ""},
    {"the euro sign, which CP866 lacks", "price\xe2\x82\xac.txt",
     "pricee.txt\0price\xe2\x82\xac.txt\0"s, ""},
    {"a long name with a long extension", "\xd1\x91\xd0\xb6 long name of a file.package",
     "\xf1\xa6 long .pac\0\xf1\xa6 long name of a file.package\0"s, ""},
    {"the longest name a file may have: 126 Cyrillic letters and .7z, 255 bytes",
     Repeat("\xd0\xb6", 126) + ".7z", Repeat("\xa6", 8) + ".7z\0"s + Repeat("\xa6", 126) + ".7z\0"s,
     ""},
};

TEST_F(HydraTest, SentNamesGoOutInTheOemPageWithTheWholeNameBeside) {
  std::deque<std::string> paths;
  for (const HydraName& n : kHydraNames) paths.push_back(MakeFile(n.disk, 10, 1));
  TCMLoopbackPair pair({}, dispatcher);
  pair.Connect();
  HydraSenderPeer peer(pair.B(), {});
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  end.toSend = paths;
  Start(h, &pair.A(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  ASSERT_EQ(peer.finfos.size(), std::size(kHydraNames));
  for (size_t i = 0; i < std::size(kHydraNames); ++i) {
    SCOPED_TRACE(kHydraNames[i].what);
    EXPECT_EQ(peer.finfos[i].substr(40), kHydraNames[i].finfo);
  }
}

TEST_F(HydraTest, ReceivedNamesAreTheDiskNamesTheSenderMeant) {
  struct Case {
    const char* what;
    std::string offered;  // after the 40 digits
    std::string stored;
  } cases[] = {
      {"an 8.3 name alone goes upper case", "pkt.zip\0"s, "PKT.ZIP"},
      {"so does a whole name that differs only in case", "pkt2.zip\0Pkt2.Zip\0"s, "PKT2.ZIP"},
      {"an 8.3 name in CP866", "\xaf\xa0\xaa\xa5\xe2.zip\0"s,
       "\xd0\xbf\xd0\xb0\xd0\xba\xd0\xb5\xd1\x82.ZIP"},  // only ASCII letters change case
      {"the whole name wins, with its extension", "longna~1.pac\0Long name of a file.package\0"s,
       "Long name of a file.package"},
      {"the whole name in CP866",
       "\xe2\xa5\xe1\xe2.txt\0\xe2\xa5\xe1\xe2 \"\xe4\xa0\xa9\xab\".txt\0"s,
       "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82 \"\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb\".txt"},
      {"the whole name in UTF-8 is kept", "price_.txt\0price\xe2\x82\xac.txt\0"s,
       "price\xe2\x82\xac.txt"},
      {"a whole name that is a path leaves the 8.3 name", "pathname.zip\0C:\\in\\path name.zip\0"s,
       "PATHNAME.ZIP"},
      {"a whole name of 255 bytes is kept whole",
       "\xa6\xa6\xa6\xa6\xa6\xa6~1.7z\0"s + Repeat("\xa6", 126) + ".7z\0"s,
       Repeat("\xd0\xb6", 126) + ".7z"},
      {"a whole name longer than a name may be is cut at its end, its extension kept",
       "toolong.txt\0"s + std::string(kMaxInboundName + 1, 'x') + ".txt\0"s,
       std::string(kMaxInboundName - 4, 'x') + ".txt"},
      {"so is one a sender puts in the 8.3 field too: 126 letters in CP866, 256 bytes in UTF-8",
       Repeat("\xa6", 126) + ".txt\0"s + Repeat("\xa6", 126) + ".txt\0"s,
       Repeat("\xd0\xb6", 125) + ".txt"},
      {"and one cut to that name gets a number",
       Repeat("\xa6", 127) + ".txt\0"s + Repeat("\xa6", 127) + ".txt\0"s,
       Repeat("\xd0\xb6", 123) + ".0001.txt"},
      // Full stops inside a name are letters of it: no separator, no way
      // out of the inbound.
      {"full stops inside a name, in both fields", "v1..2.zip\0v1..2.zip\0"s, "V1..2.ZIP"},
      {"and in CP866", "\x8e\xe2\xe7\xf1\xe2..txt\0\x8e\xe2\xe7\xf1\xe2..txt\0"s,
       "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82..txt"},
      {"a whole name with three of them beside a safe 8.3 name",
       "itogi~1.txt\0\x88\x92\x8e\x83\x88...TXT\0"s,
       "\xd0\x98\xd0\xa2\xd0\x9e\xd0\x93\xd0\x98...TXT"},
      // Cut to fit, the base would end in a full stop: the cut drops it.
      {"a long name whose cut base ends in a full stop, in both fields",
       std::string(250, 'a') + ".bbbbb.txt\0"s + std::string(250, 'a') + ".bbbbb.txt\0"s,
       std::string(250, 'A') + ".TXT"},
      {"and beside a safe 8.3 name", "cccccc~1.txt\0"s + std::string(250, 'c') + ".ddddd.txt\0"s,
       std::string(250, 'c') + ".txt"},
  };
  std::vector<HydraSenderPeer::Offer> offers;
  for (const Case& c : cases) offers.push_back({c.offered, 5, "12345"});
  TCMLoopbackPair pair({}, dispatcher);
  pair.Connect();
  HydraSenderPeer peer(pair.B(), offers);
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  Start(h, &pair.A(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stored.push_back(c.stored);
    EXPECT_EQ(platform::ReadFile(dir / "inA/" + c.stored), "12345");
  }
  EXPECT_EQ(end.received, stored);
  EXPECT_TRUE(peer.refusals.empty());
  EXPECT_TRUE(end.skipped.empty());
  EXPECT_TRUE(end.Noticed("RECV Name too long, file " + Repeat("\xd0\xb6", 126) +
                          ".txt is received as " + Repeat("\xd0\xb6", 125) + ".txt"));
}

TEST_F(HydraTest, RussianNamesCrossTheFakeModemBothWays) {
  // Our end and hydrapeer send each other the names of the table: each
  // side finds every file under the name its user sees.
  platform::MakeDirs(dir / "peer");
  platform::MakeDirs(dir / "theirs");
  std::deque<std::string> mine;
  std::string theirs;
  for (const HydraName& n : kHydraNames) {
    mine.push_back(MakeFile(n.disk, 3000, 2));
    dir.Write("theirs/" + n.disk, SampleBytes(2000, 3));
    theirs += " " + CommandWord(dir / ("theirs/" + n.disk));
  }
  ModemCall call(
      dir, dispatcher,
      {"--peer", CommandWord(HYDRAPEER) + " --recv " + CommandWord(dir / "peer/") + theirs,
       "--dial", "CONNECT 115200"});
  ASSERT_TRUE(call.Dial());
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  end.toSend = mine;
  Start(h, call.device.get(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  for (const HydraName& n : kHydraNames) {
    SCOPED_TRACE(n.what);
    EXPECT_EQ(platform::ReadFile(dir / ("peer/" + n.Received())), SampleBytes(3000, 2));
    EXPECT_EQ(platform::ReadFile(dir / ("inA/" + n.Received())), SampleBytes(2000, 3));
  }
}

TEST_F(HydraTest, LongNamesOfAnOldSystemCrossTheFakeModemCut) {
  // hydrapeer plays a mailer that offers the name's bytes as its disk holds
  // them (CP866) in both fields of FINFO: 126 and 127 letters and ".txt", 130
  // and 131 bytes on the line, longer than a name may be in UTF-8. Both are
  // kept, cut at a whole letter with their extension; the second, cut to a
  // name that is taken by then, gets a number.
  platform::MakeDirs(dir / "peer");
  platform::MakeDirs(dir / "theirs");
  // Then names with full stops inside (Отчёт..txt, ИТОГИ...TXT in CP866) and
  // one whose cut base would end in one (125 letters, ".", 2 letters,
  // ".doc"): each is received, the last cut without that full stop.
  const std::string oem126 = Repeat("\xa6", 126) + ".txt", oem127 = Repeat("\xa6", 127) + ".txt";
  const std::string oemDots[] = {"v1..2.zip", "\x8e\xe2\xe7\xf1\xe2..txt",
                                 "\x88\x92\x8e\x83\x88...TXT",
                                 Repeat("\xa6", 125) + ".\xa6\xa6.doc"};
  dir.Write("theirs/" + oem126, SampleBytes(2000, 7));
  dir.Write("theirs/" + oem127, SampleBytes(1000, 8));
  std::string more;
  for (const std::string& name : oemDots) {
    dir.Write("theirs/" + name, name);
    more += " " + CommandWord(dir / ("theirs/" + name));
  }
  ModemCall call(
      dir, dispatcher,
      {"--peer",
       CommandWord(HYDRAPEER) + " --raw-names --recv " + CommandWord(dir / "peer/") + " " +
           CommandWord(dir / ("theirs/" + oem126)) + " " + CommandWord(dir / ("theirs/" + oem127)) +
           more,
       "--dial", "CONNECT 115200"});
  ASSERT_TRUE(call.Dial());
  ProtocolEnd end;
  TCMHydra h(dispatcher);
  Start(h, call.device.get(), end);
  ASSERT_TRUE(RunTicking([&] { return end.Done(); }));
  EXPECT_TRUE(end.finished);
  const std::string cut = Repeat("\xd0\xb6", 125) + ".txt";
  const std::string numbered = Repeat("\xd0\xb6", 123) + ".0001.txt";
  const std::string dots[] = {"V1..2.ZIP", "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82..txt",
                              "\xd0\x98\xd0\xa2\xd0\x9e\xd0\x93\xd0\x98...TXT",
                              Repeat("\xd0\xb6", 125) + ".doc"};
  EXPECT_EQ(end.received,
            (std::vector<std::string>{cut, numbered, dots[0], dots[1], dots[2], dots[3]}));
  EXPECT_EQ(platform::ReadFile(dir / ("inA/" + cut)), SampleBytes(2000, 7));
  EXPECT_EQ(platform::ReadFile(dir / ("inA/" + numbered)), SampleBytes(1000, 8));
  for (size_t i = 0; i < std::size(dots); ++i)
    EXPECT_EQ(platform::ReadFile(dir / ("inA/" + dots[i])), oemDots[i]) << dots[i];
  EXPECT_TRUE(end.skipped.empty());
  EXPECT_TRUE(end.Noticed("RECV Name too long, file " + Repeat("\xd0\xb6", 126) +
                          ".txt is received as " + cut));
  EXPECT_TRUE(end.Noticed("RECV Name too long, file " + Repeat("\xd0\xb6", 127) +
                          ".txt is received as " + cut));
}

TEST_F(HydraTest, SentRateIsTheRateOfTheLine) {
  // The sender's clock runs with the bytes the line has taken, as if it
  // carried 33,600 bps: a block handed to the device is not on the line
  // yet, and the file's rate is taken when the remote has it all. The line
  // goes as fast as the ends, or carries 115,200 bps (a bound the clock's
  // line never reaches).
  for (const uint32_t bitsPerSecond : {0u, 115200u}) {
    SCOPED_TRACE(bitsPerSecond);
    const std::string file = MakeFile("rate.pkt", 30000, 6);
    const std::string in = dir / ("inB" + std::to_string(bitsPerSecond) + "/");
    platform::MakeDirs(in);
    TCMLoopbackPair pair({bitsPerSecond, 0, 1}, dispatcher);
    pair.Connect();
    ProtocolEnd a, b;
    TCMHydra ha(dispatcher), hb(dispatcher);
    ha.Clock = [&] { return static_cast<uint32_t>(pair.Carried(pair.A()) * 10 * 1000 / 33600); };
    hb.Device = &pair.B();
    hb.ReceiveDir = in;
    a.toSend = {file};
    b.Attach(hb);
    ha.Device = &pair.A();
    ha.ReceiveDir = dir / "inA/";
    a.Attach(ha);
    std::vector<int64_t> rates;
    int64_t running = 0;  // the transfer panel's highest rate
    const auto report = ha.OnProtocolState;
    ha.OnProtocolState = [&](TCMProtocol& p, int state, const std::string& msg, int64_t p1,
                             int64_t p2) {
      if (state == psSent) rates.push_back(p1);
      if (state == psSendProgress) running = std::max(running, p2);
      report(p, state, msg, p1, p2);
    };
    ha.Send();
    hb.Receive();
    ASSERT_TRUE(RunTicking([&] { return a.Done() && b.Done(); }));
    ExpectReceived(file, in);
    ASSERT_EQ(rates.size(), 1u);
    EXPECT_GT(rates[0], 0);
    EXPECT_LE(rates[0], 3360);  // the line carries no more
    EXPECT_GT(running, 0);      // nothing is confirmed before the end, yet the line has bytes
    EXPECT_LE(running, 3360 + 100);
  }
}

}  // namespace
}  // namespace velmaris::test
