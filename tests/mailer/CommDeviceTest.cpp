// The comm device's data and timer triggers, its log, the protocol base's
// statistics, and the loopback pair that protocol tests run on.
#include <gtest/gtest.h>

#include "LineFixtures.h"
#include "mailer/CMLoopback.h"
#include "mailer/CMThreads.h"
#include "mailer/LineShaper.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <thread>

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

class CommDeviceTest : public ::testing::Test {
 protected:
  void Feed(const std::string& block) { Dev().DoDataAvail(block.data(), block.size()); }
  TCMLoopbackDevice& Dev() { return pair.A(); }

  // Never pumped here: the trigger tick runs only when a test calls it.
  platform::PlainDispatcher dispatcher;
  TCMLoopbackPair pair{{}, dispatcher};
  std::vector<std::string> fired;  // "<handle>:<data>"
};

TEST_F(CommDeviceTest, DataTriggersMatchAcrossBlocksAndInHandleOrder) {
  struct Case {
    std::vector<std::string> patterns;
    std::vector<std::string> blocks;
    std::vector<std::string> fired;
  } cases[] = {
      // A pattern split over two blocks still matches; the rest of the block follows.
      {{"**EMSI_REQ"}, {"xx**EMS", "I_REQabc"}, {"1:abc"}},
      // A mismatch restarts at the first character with the next byte.
      {{"ABC"}, {"ABABC"}, {}},
      {{"ABC"}, {"ABXABC"}, {"1:"}},
      // Two triggers matching in one block fire in handle order; once fired, disarmed.
      {{"REQ", "EMSI"}, {"**EMSI_REQ**EMSI_REQ"}, {"1:**EMSI_REQ", "2:_REQ**EMSI_REQ"}},
      // An empty pattern matches nothing.
      {{""}, {"anything"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blocks[0]);
    fired.clear();
    Dev().OnTriggerData = [&](TCMDevice&, int h, const std::string& d, bool&) {
      fired.push_back(std::to_string(h) + ":" + d);
    };
    for (const auto& p : c.patterns) Dev().AddDataTrigger(p);
    for (const auto& b : c.blocks) Feed(b);
    EXPECT_EQ(fired, c.fired);
    for (int h = 1; h <= kTriggerSlots; ++h) Dev().RemoveDataTrigger(h);
  }
}

TEST_F(CommDeviceTest, TransmitMoreHandsOverEveryFollowingBlock) {
  Dev().OnTriggerData = [&](TCMDevice&, int h, const std::string& d, bool& more) {
    fired.push_back(d);
    more = d != "stop";
  };
  Dev().AddDataTrigger("GO");
  Feed("..GOab");
  Feed("cd");
  Feed("stop");
  Feed("ef");
  EXPECT_EQ(fired, (std::vector<std::string>{"ab", "ab", "cd", "stop"}));
}

TEST_F(CommDeviceTest, TriggerSlotsAreBoundedAndHandlesChecked) {
  for (int i = 0; i < kTriggerSlots; ++i) EXPECT_EQ(Dev().AddDataTrigger("x"), i + 1);
  try {
    Dev().AddDataTrigger("x");
    FAIL();
  } catch (const ETrigger& e) {
    EXPECT_STREQ(e.what(), "No empty data trigger slot!");
  }
  for (int i = 0; i < kTriggerSlots; ++i) Dev().AddTimerTrigger(1);
  try {
    Dev().AddTimerTrigger(1);
    FAIL();
  } catch (const ETrigger& e) {
    EXPECT_STREQ(e.what(), "No empty timer trigger slot!");
  }
  EXPECT_THROW(Dev().EnableDataTrigger(0), ETrigger);
  EXPECT_THROW(Dev().DisableTimerTrigger(17), ETrigger);
  Dev().RemoveDataTrigger(3);
  EXPECT_THROW(Dev().EnableDataTrigger(3), ETrigger);
  Dev().RemoveTimerTrigger(5);
  EXPECT_THROW(Dev().TimerTriggerFired(5), ETrigger);
}

TEST_F(CommDeviceTest, TimerTriggersFireEveryIntervalUntilDisabled) {
  std::vector<int> ticks;
  Dev().OnTriggerTimer = [&](TCMDevice&, int h) { ticks.push_back(h); };
  const int every = Dev().AddTimerTrigger(1);
  const int zero = Dev().AddTimerTrigger(0);
  const int third = Dev().AddTimerTrigger(3);
  EXPECT_FALSE(Dev().TimerTriggerFired(third));
  for (int i = 0; i < 3; ++i) TimerTriggerTick();
  EXPECT_EQ(ticks, (std::vector<int>{every, zero, every, zero, every, zero, third}));
  EXPECT_TRUE(Dev().TimerTriggerFired(third));
  ticks.clear();
  Dev().DisableTimerTrigger(every);
  Dev().RemoveTimerTrigger(zero);
  TimerTriggerTick();
  EXPECT_TRUE(ticks.empty());
  Dev().EnableTimerTrigger(every);
  TimerTriggerTick();
  EXPECT_EQ(ticks, (std::vector<int>{every}));
}

TEST_F(CommDeviceTest, DestroyedDeviceLeavesNoTimerTrigger) {
  {
    TCMLoopbackPair other({}, dispatcher);
    for (int i = 0; i < kTriggerSlots; ++i) other.A().AddTimerTrigger(1);
  }
  TimerTriggerTick();  // calls no destroyed device
  EXPECT_EQ(Dev().AddTimerTrigger(1), 1);
}

TEST_F(CommDeviceTest, TimerHandlersRunWithoutTheTableLock) {
  // A handler may wait for another thread that adds and removes timer
  // triggers (as protocol threads do): the tick must not hold the table's
  // lock meanwhile. It may also add and remove triggers itself.
  std::vector<std::string> done;
  int own = 0;
  const int every = Dev().AddTimerTrigger(1);
  Dev().OnTriggerTimer = [&](TCMDevice&, int h) {
    if (h != every) return;
    auto added = std::make_shared<std::atomic<bool>>(false);
    std::thread([this, added] {
      Dev().RemoveTimerTrigger(Dev().AddTimerTrigger(5));
      *added = true;
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!*added && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    done.push_back(*added ? "other thread" : "other thread blocked");
    own = Dev().AddTimerTrigger(2);
    Dev().RemoveTimerTrigger(own);
    done.push_back("own");
  };
  TimerTriggerTick();
  EXPECT_EQ(done, (std::vector<std::string>{"other thread", "own"}));
}

// A protocol whose session ends on a thread of its own, which detaches it
// from the device there (under the device lock) before it stops.
class ThreadedProtocol : public TCMProtocol {
 public:
  ~ThreadedProtocol() override {
    if (ender_.joinable()) ender_.join();
  }
  bool IsActive() const override { return active_; }
  std::string GetFileName() const override { return {}; }
  std::string GetFilePath() const override { return {}; }
  void Abort() override {
    ender_ = std::thread([this] {
      Device->SetProtocol(nullptr);
      active_ = false;
    });
  }
  void Reset() override {}
  void Send() override { Device->SetProtocol(this); }
  void Receive() override {}

 private:
  std::atomic<bool> active_{true};
  std::thread ender_;
};

TEST_F(CommDeviceTest, HangUpWaitsForTheProtocolWithoutHoldingTheDeviceLock) {
  pair.Connect();
  Dev().ProtocolStopLimit = kPatience;
  ThreadedProtocol p;
  p.Device = &Dev();
  p.Send();
  bool stoppedFirst = false;
  Dev().OnDisconnecting = [&](TCMDevice&) { stoppedFirst = !p.IsActive(); };
  Dev().HangUp();
  EXPECT_TRUE(stoppedFirst);  // the protocol detached itself within the wait
  EXPECT_TRUE(Dev().IsIdle());
}

TEST(CommLogTest, DumpLinesPadTheLastRun) {
  const std::string block = "0123456789ABCDEF\x01\x7f\x80 ";
  EXPECT_EQ(DumpLines(block.data(), block.size()),
            "DUMP 30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 0123456789ABCDEF\n"
            "DUMP 01 7F 80 20 " +
                std::string(36, ' ') + ".\x7f. \n");
}

TEST(CommLogTest, LogHoldsReceivedBlocks) {
  TempDir dir;
  platform::PlainDispatcher dispatcher;
  TCMLoopbackPair pair({}, dispatcher);
  pair.A().LogFile = dir / "CMCore.Log";
  pair.A().SetLogging(true);
  pair.A().DoDataAvail("hi", 2);
  pair.A().SetLogging(false);
  const std::string log = dir.Read("CMCore.Log");
  EXPECT_NE(log.find(" RECV 2 Bytes\nDUMP 68 69 "), std::string::npos) << log;
}

// A protocol with nothing but the base, for the statistics.
class BareProtocol : public TCMProtocol {
 public:
  bool IsActive() const override { return false; }
  std::string GetFileName() const override { return {}; }
  std::string GetFilePath() const override { return {}; }
  void Abort() override {}
  void Reset() override {}
  void Send() override {}
  void Receive() override {}
};

TEST(ProtocolBaseTest, RatesCountFromTheResumeOffset) {
  BareProtocol p;
  uint32_t now = 1000;
  p.Clock = [&] { return now; };
  std::vector<std::pair<int64_t, int64_t>> seen;
  p.OnProtocolState = [&](TCMProtocol&, int, const std::string&, int64_t a, int64_t b) {
    seen.emplace_back(a, b);
  };
  p.DoProtocolState(psReceiveStart, "f", 100000, 0);
  p.DoProtocolState(psReceiveResume, "", 40000, 0);
  now += 2000;
  p.DoProtocolState(psReceiveProgress, "", 46000, 0);  // 6000 bytes in 2 s
  p.DoProtocolState(psReceived, "f", 100000, 0);
  p.DoProtocolState(psSendStart, "g", 10, 0);
  p.DoProtocolState(psSendProgress, "", 10, 10);  // elapsed 0 counts as 1 ms
  EXPECT_EQ(seen[2].second, 3000);
  EXPECT_EQ(seen[3].first, 3000);
  EXPECT_EQ(seen[5].second, 10000);
}

TEST(ProtocolBaseTest, SentRateRunsUntilTheRemoteConfirmedTheFile) {
  // The blocks are handed to the line within 26 ms; the remote confirms the
  // file a second after its start. Bytes resent after a ZRPOS count once.
  struct Case {
    int64_t resumeAt, resentFrom;
    int64_t rate;
  } cases[] = {{0, -1, 3000}, {1000, -1, 2000}, {0, 2000, 3000}};
  for (const Case& c : cases) {
    BareProtocol p;
    uint32_t now = 5000;
    p.Clock = [&] { return now; };
    int64_t sent = -1;
    p.OnProtocolState = [&](TCMProtocol&, int state, const std::string&, int64_t a, int64_t) {
      if (state == psSent) sent = a;
    };
    p.DoProtocolState(psSendStart, "f", 3000, 0);
    if (c.resumeAt > 0) p.DoProtocolState(psSendResume, "", c.resumeAt, 0);
    now += 20;
    p.DoProtocolState(psSendProgress, "", 3000, 0);
    if (c.resentFrom >= 0) p.DoProtocolState(psSendProgress, "", c.resentFrom, 0);
    now += 6;
    p.DoProtocolState(psSendProgress, "", 3000, 0);
    now += 974;
    p.DoProtocolState(psSent, "f", 3000, 3000);
    EXPECT_EQ(sent, c.rate) << c.resumeAt << " " << c.resentFrom;
  }
}

// A line whose device counts every byte handed over as gone, as on a
// pseudo-terminal, at the rate the call connected with (0: unknown).
class BufferedLine : public TCMConnectionDevice {
 public:
  BufferedLine(platform::Dispatcher& d, int64_t bitsPerSecond)
      : TCMConnectionDevice(d), perSecond_(bitsPerSecond / 10) {}
  bool GetOpened() const override { return true; }
  bool IsOutputEmpty() const override { return true; }
  platform::Event* GetOutputEmptyEvent() override { return nullptr; }
  int GetOutputCount() const override { return 0; }
  bool IsReady() const override { return true; }
  void SetOpened(bool) override {}
  void Close() override {}
  void Open() override {}
  std::string GetDisplayableNumber() const override { return {}; }
  bool IsConnected() const override { return true; }
  bool IsConnecting() const override { return false; }
  bool IsDisconnecting() const override { return false; }
  std::string GetPhoneNumber() const override { return {}; }
  void SetPhoneNumber(const std::string&) override {}
  void MakeCall() override {}
  void HangUp() override {}
  void MarkSendPosition(int64_t position) override { marked_ = position; }
  int64_t SendPositionOnLine() override { return marked_; }
  int64_t LineBytesPerSecond() const override { return perSecond_; }

 private:
  int64_t marked_ = 0, perSecond_;
};

TEST(ProtocolBaseTest, RunningRateStaysWithinTheLine) {
  // 8000 bytes vanish into the device within 50 ms of the file's start; the
  // remote confirms the whole file after 4 s. The running rate and the
  // shown position (the send display's bytes and bar) show no more than
  // the connect rate carries; the file's rate stays as it is.
  struct Case {
    int64_t bitsPerSecond;
    int64_t resumeAt;
    int64_t early, late;            // running rates at 50 ms and at 4 s
    int64_t shownEarly, shownLate;  // positions shown then
  } cases[] = {
      {2400, 0, 240, 240, 12, 960},
      {14400, 0, 1440, 1440, 72, 5760},
      {33600, 0, 3360, 2000, 168, 8000},
      {115200, 0, 11520, 2000, 576, 8000},
      {0, 0, 160000, 2000, 8000, 8000},      // no rate known: the device's count stands
      {33600, 4000, 3360, 1000, 4168, 8000},  // counted from the resume offset
  };
  platform::PlainDispatcher dispatcher;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitsPerSecond) + " " + std::to_string(c.resumeAt));
    BufferedLine line(dispatcher, c.bitsPerSecond);
    BareProtocol p;
    p.Device = &line;
    uint32_t now = 7000;
    p.Clock = [&] { return now; };
    std::vector<int64_t> running, shown;
    int64_t sent = -1;
    p.OnProtocolState = [&](TCMProtocol& sender, int state, const std::string&, int64_t a,
                            int64_t b) {
      if (state == psSendProgress) running.push_back(b);
      if (state == psSendProgress) shown.push_back(sender.SendPositionShown());
      if (state == psSent) sent = a;
    };
    p.DoProtocolState(psSendStart, "f", 8000, 0);
    if (c.resumeAt > 0) p.DoProtocolState(psSendResume, "", c.resumeAt, 0);
    now += 50;
    p.DoProtocolState(psSendProgress, "", 8000, c.resumeAt);
    now += 3950;
    p.DoProtocolState(psSendProgress, "", 8000, c.resumeAt);
    p.DoProtocolState(psSent, "f", 8000, 8000);
    EXPECT_EQ(running, (std::vector<int64_t>{c.early, c.late}));
    EXPECT_EQ(shown, (std::vector<int64_t>{c.shownEarly, c.shownLate}));
    EXPECT_EQ(sent, (8000 - c.resumeAt) / 4);
  }
}

TEST(OutputCountTest, DrainedIsWhatTheDeviceSaysNotATimeFromTheRate) {
  // Every byte handed over is written or dropped, and the descriptor's
  // queue is empty: drained, however slow the call's connect rate, and at
  // once. A closed count asks the descriptor nothing.
  struct Case {
    const char* what;
    size_t handed, written, dropped;
    uint64_t queued;  // what the kernel still holds
    bool closed;
    bool drained;
  } cases[] = {
      {"all written and gone", 60000, 60000, 0, 0, false, true},
      {"some not written yet", 60000, 40000, 0, 0, false, false},
      {"the rest dropped", 60000, 40000, 20000, 0, false, true},
      {"dropped, not all of the rest", 60000, 40000, 10000, 0, false, false},
      {"written, still in the kernel", 60000, 60000, 0, 700, false, false},
      {"closed with bytes in the kernel", 60000, 60000, 0, 700, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TOutputCount count;
    count.Open(7);
    count.Handed(c.handed);
    count.Written(c.written);
    count.Dropped(c.dropped);
    if (c.closed) count.Close();
    int asked = 0;
    const auto gone = [&](int fd, uint64_t written) {
      ++asked;
      EXPECT_EQ(fd, 7);
      return written - std::min(written, c.queued);
    };
    EXPECT_EQ(count.Drained(gone), c.drained);
    if (c.closed) {
      EXPECT_EQ(asked, 0);
    }
  }
}

TEST(ProtocolBaseTest, NextFileNamesTheAliasAfterThePath) {
  BareProtocol p;
  struct Case {
    std::string path, alias, wantAlias;
  } cases[] = {{"/out/0001.pkt", "", "0001.pkt"}, {"/out/a.su0", "b.su0", "b.su0"}, {"", "x", ""}};
  for (auto c : cases) {
    p.OnNextFile = [&](TCMProtocol&, std::string& path, std::string& alias) {
      path = c.path;
      alias = c.alias;
    };
    std::string path, alias;
    p.DoNextFile(path, alias);
    EXPECT_EQ(alias, c.wantAlias) << c.path;
  }
}

TEST(LoopbackTest, BytesCrossBothWaysAndAHangUpReachesTheOtherEnd) {
  platform::PlainDispatcher dispatcher;
  TCMLoopbackPair pair({}, dispatcher);
  EventRecorder a, b;
  a.Attach(pair.A());
  b.Attach(pair.B());
  pair.A().MakeCall();
  ASSERT_TRUE(b.Has("Ready"));
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  pair.A().SendData(big.data(), big.size());
  pair.B().SendString("back");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return b.data.size() == big.size() && a.data == "back"; },
                                  kPatience));
  EXPECT_EQ(b.data, big);
  pair.A().HangUp();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return pair.B().IsIdle(); }, kPatience));
  EXPECT_EQ(b.events,
            (std::vector<std::string>{"Connected", "Ready", "Disconnecting", "Disconnected"}));
}

TEST(LoopbackTest, HangUpAfterAQueuedFrameLetsItLeaveFirst) {
  // The bytes queued right before the hang-up (more than the sockets hold,
  // on a line slower than the ends) all reach the far end.
  struct Case {
    uint32_t bitsPerSecond;  // 0: as fast as the ends go
    size_t size;
  } cases[] = {{2400, 300}, {33600, 12000}, {0, 200000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitsPerSecond);
    platform::PlainDispatcher dispatcher;
    TCMLoopbackPair pair({c.bitsPerSecond, 0, 1}, dispatcher);
    EventRecorder a, b;
    a.Attach(pair.A());
    b.Attach(pair.B());
    pair.A().DrainLimit = kPatience;
    pair.A().MakeCall();
    EXPECT_EQ(pair.A().LineBytesPerSecond(), c.bitsPerSecond / 10);
    std::string frame(c.size, '\0');
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>(i * 13 + 5);
    pair.A().SendData(frame.data(), frame.size());
    pair.A().HangUp();
    EXPECT_TRUE(a.Has("Disconnected"));
    ASSERT_TRUE(dispatcher.RunUntil(
        [&] { return b.data.size() >= frame.size() && pair.B().IsIdle(); }, kPatience))
        << b.data.size() << " of " << frame.size();
    EXPECT_TRUE(b.data == frame);
  }
}

TEST(LoopbackTest, HangUpOnALineThatCannotDrainStillEnds) {
  // One bit a second: the sender meets flow control at once and for good.
  platform::PlainDispatcher dispatcher;
  TCMLoopbackPair pair({1, 0, 1}, dispatcher);
  EventRecorder a;
  a.Attach(pair.A());
  pair.A().DrainLimit = 100ms;
  pair.A().MakeCall();
  const std::string frame(50000, 'x');
  pair.A().SendData(frame.data(), frame.size());
  pair.A().HangUp();
  EXPECT_TRUE(pair.A().IsIdle());
  EXPECT_EQ(a.events, (std::vector<std::string>{"Connecting", "Connected", "Ready",
                                                 "Disconnecting", "Disconnected"}));
}

TEST(LoopbackTest, ARelayWhoseFarEndHasGoneReportsItInsteadOfDying) {
  // Side b's device end closes with bytes on their way to it: the write
  // must fail with EPIPE (SIGPIPE would end the whole program).
  int a[2], b[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, a), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, b), 0);
  platform::Fd deviceA(a[0]), relayA(a[1]), deviceB(b[0]), relayB(b[1]);
  deviceB.Close();
  // Side b is read from a pipe that stays open, so that only the write can
  // find the end.
  int quiet[2];
  ASSERT_EQ(::pipe2(quiet, O_NONBLOCK), 0);
  platform::Fd quietRead(quiet[0]), quietWrite(quiet[1]);
  ASSERT_EQ(::write(deviceA.get(), "to nobody", 9), 9);
  TLineRelay relay(relayA.get(), relayA.get(), quietRead.get(), relayB.get(), {});
  TLineRelay::State state = TLineRelay::State::Running;
  for (int i = 0; i < 100 && state == TLineRelay::State::Running; ++i) state = relay.Step(50ms);
  EXPECT_EQ(state, TLineRelay::State::BEnded);
}

TEST(LoopbackTest, NoiseIsSeeded) {
  auto received = [](uint64_t seed) {
    platform::PlainDispatcher dispatcher;
    TCMLoopbackPair pair({0, 2000, seed}, dispatcher);
    EventRecorder b;
    b.Attach(pair.B());
    pair.A().MakeCall();
    const std::string clean(20000, 'U');
    pair.A().SendString(clean);
    EXPECT_TRUE(dispatcher.RunUntil([&] { return b.data.size() == clean.size(); }, kPatience));
    size_t damaged = 0;
    for (char c : b.data) damaged += c != 'U';
    EXPECT_GT(damaged, 0u);
    EXPECT_LT(damaged, 200u);
    return b.data;
  };
  EXPECT_EQ(received(7), received(7));
  EXPECT_NE(received(7), received(8));
}

}  // namespace
}  // namespace velmaris::test
