// The modem line device against the fake modem on a pty: initialise, dial
// with each result, abort, time-out, carrier loss, hang-up, a second call,
// and the lock that keeps a second program off the modem.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>

#include <optional>
#include <thread>

#include "LineFixtures.h"
#include "ZModemFixtures.h"
#include "core/Settings.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "platform/SerialPort.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

class LineDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTapiDebugLogPath(dir / "cmdebug.txt"); }
  void TearDown() override { SetTapiDebugLogPath(""); }

  // A device on the modem's link. The command limit is long enough for a
  // fake modem starved by a busy machine (the cases that expect no answer set
  // a short one of their own); the guard time is short so that hang-ups end
  // soon.
  std::unique_ptr<TCMTAPIDevice> MakeDevice(const FakeModem& modem) {
    auto device = std::make_unique<TCMTAPIDevice>(dispatcher);
    device->CommandLimit = 30s;
    device->GuardTime = 300ms;
    device->Location.Country = "49";
    device->Location.Area = "30";
    device->SetDeviceName(modem.Link());
    recorder.Attach(*device);
    return device;
  }
  bool WaitFor(const std::function<bool()>& done) { return dispatcher.RunUntil(done, kPatience); }
  bool WaitIdle(TCMTAPIDevice& d) {
    return WaitFor([&] { return d.IsIdle(); });
  }
  void ConnectAndHangUp(const FakeModem& modem, const std::string& hungUpBy);
  // A call on a modem whose peer writes what it gets to `got`.
  std::unique_ptr<TCMTAPIDevice> CallRecordingPeer(const std::string& connect,
                                                   const std::string& name, const std::string& got,
                                                   std::optional<FakeModem>& modem,
                                                   std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--dial", connect, "--throttle", "--peer",
                                     Shell("cat > " + ShellWord(got))};
    args.insert(args.end(), extra.begin(), extra.end());
    modem.emplace(dir, args, name);
    auto device = MakeDevice(*modem);
    device->DrainLimit = kPatience;
    device->Open();
    device->SetPhoneNumber("1234567");
    recorder.events.clear();
    device->MakeCall();
    EXPECT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
    return device;
  }
  static uint64_t SizeOf(const std::string& path) {
    return platform::FileExists(path) ? platform::ReadFile(path).size() : 0;
  }

  TempDir dir;
  platform::PlainDispatcher dispatcher;
  EventRecorder recorder;
};

TEST_F(LineDeviceTest, EachDialResultFiresItsEvents) {
  const Events failed = {"ConnectFailed", "Cancelling", "Cancelled"};
  auto with = [&](Events head) {
    head.insert(head.begin(), "Connecting");
    head.insert(head.end(), failed.begin(), failed.end());
    return head;
  };
  struct Case {
    const char* script;
    Events events;
  } cases[] = {
      {"BUSY", with({"Busy"})},
      {"NO CARRIER", with({})},
      {"200:NO ANSWER", with({"NoAnswer"})},
      {"NO DIALTONE", with({"DeviceUnavailable"})},
      {"ERROR", with({})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    FakeModem modem(dir, {"--dial", c.script}, "m" + std::to_string(&c - cases));
    auto device = MakeDevice(modem);
    recorder.events.clear();
    device->Open();
    ASSERT_TRUE(device->Opened());
    device->SetPhoneNumber("+49 (30) 1234-567");
    device->MakeCall();
    ASSERT_TRUE(WaitFor([&] { return recorder.Has("Cancelled"); }));
    EXPECT_EQ(recorder.events, c.events);
    EXPECT_TRUE(device->IsIdle());
    const std::string log = modem.Log();
    EXPECT_NE(log.find("ATZ\nATE0V1\nATDT1234567\n"), std::string::npos) << log;
  }
}

TEST_F(LineDeviceTest, ConnectStartsTheLineAndHangUpEndsIt) {
  // The hang-up drops DTR (on the pty: the speed 0); a modem that ignores
  // DTR (AT&D0) is hung up by "+++" and ATH0.
  struct Case {
    std::vector<std::string> args;
    const char* hungUpBy;  // in the modem's log
  } cases[] = {{{}, "DTR DROPPED\n"}, {{"--ignore-dtr"}, "ESCAPE\nATH0\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hungUpBy);
    recorder = {};
    std::vector<std::string> args = {"--dial", "100:CONNECT 33600/ARQ"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    FakeModem modem(dir, args, "hangup" + std::to_string(&c - cases));
    ConnectAndHangUp(modem, c.hungUpBy);
  }
}

void LineDeviceTest::ConnectAndHangUp(const FakeModem& modem, const std::string& hungUpBy) {
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("+44 (20) 7946 0000");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready"); }));
  EXPECT_EQ(recorder.events, (Events{"Connecting", "Connected", "Ready"}));
  EXPECT_EQ(device->GetDataRate(), 33600);
  EXPECT_TRUE(device->GetModemStatus() & lsRLSD);

  device->SendString("ping through the line");  // the fake modem's peer echoes
  ASSERT_TRUE(
      WaitFor([&] { return recorder.data.find("ping through the line") != std::string::npos; }));

  device->HangUp();
  ASSERT_TRUE(WaitIdle(*device));
  EXPECT_EQ(recorder.events,
            (Events{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"}));
  const std::string log = modem.Log();
  EXPECT_NE(log.find("ATDT00442079460000\n"), std::string::npos) << log;
  EXPECT_NE(log.find(hungUpBy), std::string::npos) << log;
  EXPECT_EQ(log.find("ESCAPE"), hungUpBy.starts_with("ESCAPE") ? log.find(hungUpBy) : log.npos)
      << log;
}

TEST_F(LineDeviceTest, ThrottledLineCarriesEveryByteBothWays) {
  // More than the pty holds, so the sender meets flow control on the way
  // out and the echo on the way back.
  FakeModem modem(dir, {"--dial", "CONNECT 115200", "--throttle"});
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  std::string sent(12000, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('A' + i % 26);
  device->SendString(sent);
  ASSERT_TRUE(WaitFor([&] { return recorder.data.size() >= sent.size(); }));
  EXPECT_EQ(recorder.data, sent);
  EXPECT_TRUE(device->IsOutputEmpty());
  device->Close();
}

TEST_F(LineDeviceTest, HangUpRightAfterAFrameLetsItLeaveFirst) {
  // The pty takes the bytes at once and the modem passes them on at the
  // line's rate: the hang-up (DTR drops, on the pty as the speed 0) must
  // neither cut nor discard them: they are written before DTR drops, and a
  // modem passes on what it has taken. The peer gets the frame and nothing
  // else.
  const std::string acks = "**EMSI_ACKA490\r**EMSI_ACKA490\r";
  struct Case {
    const char* connect;
    std::string frame;
  } cases[] = {
      {"CONNECT 2400", acks},
      {"CONNECT 14400", SampleBytes(3000, 1)},
      {"CONNECT 33600", SampleBytes(6000, 2) + acks},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect);
    const std::string name = "drain" + std::to_string(&c - cases);
    const std::string got = dir / (name + ".got");
    std::optional<FakeModem> modem;
    auto device = CallRecordingPeer(c.connect, name, got, modem);
    ASSERT_TRUE(recorder.Has("Ready"));
    device->SendString(c.frame);
    device->HangUp();
    ASSERT_TRUE(WaitIdle(*device));
    ASSERT_TRUE(WaitFor([&] { return modem->Log().find("PASSED") != std::string::npos; }));
    const std::string received = platform::FileExists(got) ? platform::ReadFile(got) : "";
    EXPECT_TRUE(received == c.frame) << received.size() << " of " << c.frame.size();
    device->Close();
  }
}

TEST_F(LineDeviceTest, CutCallDropsItsQueueSendsItsAbortAndDropsDtr) {
  // A call cut in the middle of a file: the file data still queued (ours,
  // and the pty's output buffer) is dropped, the abort frames get their own
  // short while, and DTR drops (on the pty: the speed 0) without waiting for
  // what the modem still holds, which the modem (AT&D2) then discards. The
  // far end gets no more of the file after the cut than the modem held.
  const std::string abortFrames = std::string(8, '\x18') + std::string(10, '\x08');
  constexpr uint64_t kModemBuffer = 16384;
  const std::string file = SampleBytes(120000, 3);
  for (const char* connect : {"CONNECT 9600", "CONNECT 33600"}) {
    SCOPED_TRACE(connect);
    const std::string name = std::string("cut") + (connect + 8);
    const std::string got = dir / (name + ".got");
    std::optional<FakeModem> modem;
    auto device =
        CallRecordingPeer(connect, name, got, modem, {"--buffer", std::to_string(kModemBuffer)});
    ASSERT_TRUE(recorder.Has("Ready"));
    device->SendString(file);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(got) >= 3000; }));
    ASSERT_TRUE(modem->Mark());
    device->DropOutput();
    device->SendString(abortFrames);
    device->HangUp();
    ASSERT_TRUE(WaitIdle(*device));
    ASSERT_TRUE(WaitFor([&] { return modem->Log().find("PASSED") != std::string::npos; }));
    size_t at = 0;
    const auto mark = modem->Find("MARK");
    ASSERT_TRUE(mark);
    const auto dtr = modem->Find("DTR DROP", 0, &at);
    ASSERT_TRUE(dtr) << modem->EventNames();
    const auto discarded = modem->Find("DISCARDED ", at, &at);
    ASSERT_TRUE(discarded) << modem->EventNames();
    EXPECT_TRUE(modem->Find("NO CARRIER", at)) << modem->EventNames();
    // The modem still held file data when DTR dropped: the hang-up did not
    // wait for it to leave.
    EXPECT_GT(std::stoull(discarded->what.substr(10)), 0u) << modem->EventNames();
    EXPECT_LE(dtr->remote - mark->remote, kModemBuffer + abortFrames.size());
    const std::string received = platform::ReadFile(got);
    EXPECT_EQ(received.size(), dtr->remote);
    const size_t fileBytes =
        received.ends_with(abortFrames) ? received.size() - abortFrames.size() : received.size();
    EXPECT_TRUE(received.substr(0, fileBytes) == file.substr(0, fileBytes));
    EXPECT_EQ(modem->Log().find("ESCAPE"), std::string::npos) << modem->Log();
    device->Close();
  }
}

TEST_F(LineDeviceTest, HangUpOnALineWhoseFarEndStoppedReadingDoesNotWaitForIt) {
  // The remote takes nothing any more: the modem's buffer and the pty fill
  // up and the output stops. The hang-up waits for it no longer than a
  // margin after the last byte the line took, however long it may wait at
  // most, then drops DTR; the modem discards what it held.
  FakeModem modem(dir, {"--dial", "CONNECT 9600", "--throttle", "--peer", Shell("sleep 120")},
                  "stalled");
  auto device = MakeDevice(modem);
  device->DrainLimit = 10 * kPatience;
  device->Open();
  device->SetPhoneNumber("1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  device->SendString(SampleBytes(200000, 5));  // more than the modem and the pty hold
  device->HangUp();
  ASSERT_TRUE(WaitIdle(*device));
  ASSERT_TRUE(WaitFor([&] { return modem.Find("CALL END").has_value(); }));
  size_t at = 0;
  ASSERT_TRUE(modem.Find("DTR DROP", 0, &at)) << modem.EventNames();
  const auto discarded = modem.Find("DISCARDED ", at);
  ASSERT_TRUE(discarded) << modem.EventNames();
  EXPECT_GT(std::stoull(discarded->what.substr(10)), 0u);
  EXPECT_FALSE(modem.Find("REMOTE ENDED")) << modem.EventNames();
  device->Close();
}

TEST_F(LineDeviceTest, HangUpAsTheFarEndEndsTheCallWaitsForNoEscape) {
  // A cut call whose far end ends it on our abort: the modem says NO CARRIER
  // (the call's reader takes it as data) and its carrier goes, here when
  // DTR drops (the pty goes, as the fake modem's does). The hang-up's wait
  // for the modem's answer ends there, and no escape follows on a line that
  // is gone, however long its guard time.
  platform::Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(master.ok());
  ASSERT_EQ(::grantpt(master.get()), 0);
  ASSERT_EQ(::unlockpt(master.get()), 0);
  std::thread commands([&] {  // OK to each command, CONNECT to the dial
    std::string line;
    for (char c; ::read(master.get(), &c, 1) == 1;) {
      if (c != '\r') {
        line += c;
        continue;
      }
      const bool dial = line.find("ATD") != std::string::npos;
      const std::string answer = dial ? "\r\nCONNECT 33600\r\n" : "\r\nOK\r\n";
      if (::write(master.get(), answer.data(), answer.size()) < 0 || dial) return;
      line.clear();
    }
  });
  auto device = std::make_unique<TCMTAPIDevice>(dispatcher);
  device->CommandLimit = kPatience;
  device->GuardTime = kPatience / 2;
  device->SetDeviceName(::ptsname(master.get()));
  recorder.Attach(*device);
  device->Open();
  device->SetPhoneNumber("1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  commands.join();
  ASSERT_TRUE(recorder.Has("Ready"));
  const std::string noCarrier = "\r\nNO CARRIER\r\n";
  ASSERT_EQ(::write(master.get(), noCarrier.data(), noCarrier.size()),
            static_cast<ssize_t>(noCarrier.size()));
  ASSERT_TRUE(WaitFor([&] { return recorder.data.find("NO CARRIER") != std::string::npos; }));
  device->HangUp();
  ASSERT_TRUE(WaitFor([&] {
    termios tio{};
    return device->IsIdle() || (::tcgetattr(master.get(), &tio) == 0 && ::cfgetospeed(&tio) == B0);
  }));
  master.Close();
  ASSERT_TRUE(WaitIdle(*device));
  const std::string log = dir.Read("cmdebug.txt");
  EXPECT_NE(log.find("The line is gone"), std::string::npos) << log;
  EXPECT_EQ(log.find("The modem did not hang up"), std::string::npos) << log;
  device->Close();
}

TEST(SerialPortTest, ZeroSpeedReachesTheFarSideOfAPtyAndIsUndone) {
  // The hang-up of a line without modem lines: the far side (the fake
  // modem) reads the speed 0, and the port gets its own speed back.
  struct Case {
    uint32_t bps;
    speed_t code;
  } cases[] = {{2400, B2400}, {57600, B57600}, {115200, B115200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bps);
    platform::Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master.ok());
    ASSERT_EQ(::grantpt(master.get()), 0);
    ASSERT_EQ(::unlockpt(master.get()), 0);
    platform::SerialPort port;
    port.Open(::ptsname(master.get()), c.bps, false);
    auto farSees = [&] {
      termios tio{};
      EXPECT_EQ(::tcgetattr(master.get(), &tio), 0);
      return ::cfgetospeed(&tio);
    };
    EXPECT_FALSE(port.SetDTR(false));       // a pty has no modem lines
    EXPECT_TRUE(port.SetZeroSpeed(false));  // nothing to undo
    EXPECT_EQ(farSees(), c.code);
    EXPECT_TRUE(port.SetZeroSpeed(true));
    EXPECT_EQ(farSees(), static_cast<speed_t>(B0));
    EXPECT_TRUE(port.SetZeroSpeed(true));  // twice keeps the speed to go back to
    EXPECT_TRUE(port.SetZeroSpeed(false));
    EXPECT_EQ(farSees(), c.code);
  }
}

TEST_F(LineDeviceTest, HangUpOnALineFasterThanItsConnectRateLosesNothing) {
  // CONNECT 2400, yet the pty and the echo take everything at once (as a
  // compressing modem does): what 2400 bps would have needed is not known to
  // be needed, so the hang-up waits at most its bound, and nothing is lost.
  FakeModem modem(dir, {"--dial", "CONNECT 2400"}, "fast");
  auto device = MakeDevice(modem);
  device->DrainLimit = 200ms;
  device->Open();
  device->SetPhoneNumber("1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  const std::string sent = SampleBytes(30000, 4);
  device->SendString(sent);
  ASSERT_TRUE(WaitFor([&] { return recorder.data.size() >= sent.size(); }));
  device->HangUp();
  ASSERT_TRUE(WaitIdle(*device));
  EXPECT_TRUE(recorder.data == sent);
  device->Close();
}

TEST_F(LineDeviceTest, LineCarriesWhatTheConnectRateAllows) {
  // Without a rate in CONNECT the port's speed is the most the line takes.
  struct Case {
    const char* connect;
    int64_t bytesPerSecond;
  } cases[] = {{"CONNECT 2400", 240},
               {"CONNECT 14400", 1440},
               {"CONNECT 33600/ARQ", 3360},
               {"CONNECT 115200", 11520},
               {"CONNECT", 5760}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect);
    FakeModem modem(dir, {"--dial", c.connect}, "rate" + std::to_string(&c - cases));
    auto device = MakeDevice(modem);
    device->ConfiguredLines = {"Line=" + modem.Link() + ";57600"};
    device->SetDeviceName("Line");
    device->Open();
    device->SetPhoneNumber("1234567");
    recorder.events.clear();
    device->MakeCall();
    ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
    EXPECT_EQ(device->LineBytesPerSecond(), c.bytesPerSecond);
    device->Close();
  }
}

TEST_F(LineDeviceTest, ModemThatNeverAnswersOrTalksGarbageFailsTheCall) {
  for (const char* answer : {"silent", "garbage"}) {
    SCOPED_TRACE(answer);
    FakeModem modem(dir, {"--answer", answer}, answer);
    auto device = MakeDevice(modem);
    device->CommandLimit = 500ms;
    recorder.events.clear();
    device->Open();
    device->SetPhoneNumber("+49 (30) 1234567");
    device->MakeCall();
    ASSERT_TRUE(WaitFor([&] { return recorder.Has("ConnectFailed"); }));
    EXPECT_EQ(recorder.events, (Events{"Connecting", "ConnectFailed"}));
    EXPECT_EQ(device->LastError(), "The modem does not answer ATZ");
    EXPECT_TRUE(device->IsIdle());
  }
}

TEST_F(LineDeviceTest, UnansweredDialEndsByKeyOrByTimeOut) {
  FakeModem modem(dir, {"--dial", "NONE"});
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("+49 (30) 1234567");

  // The user's abort while the modem waits for the far end.
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return modem.Log().find("DIAL") != std::string::npos; }));
  device->HangUp();
  ASSERT_TRUE(WaitIdle(*device));
  EXPECT_EQ(recorder.events, (Events{"Connecting", "Cancelling", "Cancelled"}));
  ASSERT_TRUE(WaitFor([&] { return modem.Log().find("DIAL ABORTED") != std::string::npos; }));

  // The dial's own limit.
  recorder.events.clear();
  device->DialLimit = 300ms;
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Cancelled"); }));
  EXPECT_EQ(recorder.events,
            (Events{"Connecting", "NoAnswer", "ConnectFailed", "Cancelling", "Cancelled"}));
  EXPECT_EQ(device->LastError(), "No answer within the dial time");
}

TEST_F(LineDeviceTest, CarrierLossEndsTheCallAndTheNextCallWorks) {
  // The first call's peer says something and ends: the carrier drops.
  FakeModem modem(dir, {"--dial", "CONNECT 33600", "--peer", "printf \"hello from the far end\""});
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("+49 (30) 1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Disconnected"); }));
  EXPECT_EQ(recorder.events,
            (Events{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"}));
  EXPECT_NE(recorder.data.find("hello from the far end"), std::string::npos);
  EXPECT_NE(recorder.data.find("NO CARRIER"), std::string::npos);
  ASSERT_TRUE(WaitIdle(*device));

  // The same device calls again (on the modem's fresh line).
  recorder.events.clear();
  recorder.data.clear();
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  EXPECT_EQ(recorder.events, (Events{"Connecting", "Connected", "Ready"}));
  device->Close();
  EXPECT_FALSE(device->Opened());
  EXPECT_TRUE(recorder.Has("Disconnected"));
}

TEST_F(LineDeviceTest, SecondCallAfterHangUpUsesTheSamePort) {
  FakeModem modem(dir, {});
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("1234567");
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call);
    recorder.events.clear();
    device->MakeCall();
    ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
    device->HangUp();
    ASSERT_TRUE(WaitIdle(*device));
    EXPECT_EQ(recorder.events,
              (Events{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"}));
  }
}

TEST_F(LineDeviceTest, OneDeviceServesOneHolder) {
  FakeModem modem(dir, {});
  auto first = MakeDevice(modem);
  first->Open();
  ASSERT_TRUE(first->Opened());
  EXPECT_TRUE(platform::SerialPort::IsLocked(modem.Link()));

  EventRecorder other;
  TCMTAPIDevice second(dispatcher);
  other.Attach(second);
  second.SetDeviceName(modem.Link());
  second.Open();
  EXPECT_FALSE(second.Opened());
  EXPECT_EQ(other.events, (Events{"DeviceUnavailable"}));
  EXPECT_NE(second.LastError().find("in use"), std::string::npos) << second.LastError();

  first->Close();
  second.Open();
  EXPECT_TRUE(second.Opened());
}

TEST_F(LineDeviceTest, DeviceThatVanishesInACallIsACarrierLoss) {
  FakeModem modem(dir, {});
  auto device = MakeDevice(modem);
  device->Open();
  device->SetPhoneNumber("1234567");
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Ready") || recorder.Has("ConnectFailed"); }));
  modem.Stop();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("Disconnected"); }));
  ASSERT_TRUE(WaitIdle(*device));

  // Gone for the next call, and for a fresh open.
  recorder.events.clear();
  device->MakeCall();
  ASSERT_TRUE(WaitFor([&] { return recorder.Has("ConnectFailed"); }));
  EXPECT_EQ(recorder.events, (Events{"Connecting", "DeviceUnavailable", "ConnectFailed"}));
  device->Close();
  recorder.events.clear();
  device->Open();
  EXPECT_FALSE(device->Opened());
  EXPECT_EQ(recorder.events, (Events{"DeviceUnavailable"}));
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST(LineSettingTest, LineSettingsParseAndWriteBack) {
  struct Case {
    const char* line;
    std::optional<TLineDeviceEntry> want;
    const char* written;  // LineSettingText of the entry
  } cases[] = {
      {"Office=/dev/ttyUSB0", TLineDeviceEntry{"Office", "/dev/ttyUSB0"}, "Office=/dev/ttyUSB0"},
      {"Office = /dev/ttyUSB0 ; 57600 ; none",
       TLineDeviceEntry{"Office", "/dev/ttyUSB0", 57600, false}, "Office=/dev/ttyUSB0;57600;none"},
      {"Home=/dev/ttyS0;9600", TLineDeviceEntry{"Home", "/dev/ttyS0", 9600, true},
       "Home=/dev/ttyS0;9600"},
      {"Home=/dev/ttyS0;115200;RTSCTS", TLineDeviceEntry{"Home", "/dev/ttyS0"}, "Home=/dev/ttyS0"},
      {"Home=/dev/ttyS0;fast;off", TLineDeviceEntry{"Home", "/dev/ttyS0"}, "Home=/dev/ttyS0"},
      {"Home=/dev/ttyS0;99999999", TLineDeviceEntry{"Home", "/dev/ttyS0"}, "Home=/dev/ttyS0"},
      {"Home=/dev/ttyS0;110", TLineDeviceEntry{"Home", "/dev/ttyS0"}, "Home=/dev/ttyS0"},
      {"Home=;9600", std::nullopt, ""},
      {"=/dev/ttyS0", std::nullopt, ""},
      {"no separator", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const auto got = ParseLineSetting(c.line);
    EXPECT_EQ(got, c.want) << c.line;
    if (got) {
      EXPECT_EQ(LineSettingText(*got), c.written) << c.line;
    }
  }
  const TLineDeviceEntry changed{"Home", "/dev/ttyS1", 38400, false};
  EXPECT_EQ(WithLineSetting({"Office=/dev/a", "Home=/dev/b"}, changed),
            (std::vector<std::string>{"Office=/dev/a", "Home=/dev/ttyS1;38400;none"}));
  EXPECT_EQ(WithLineSetting({"Office=/dev/a"}, changed),
            (std::vector<std::string>{"Office=/dev/a", "Home=/dev/ttyS1;38400;none"}));
}

// The serial port's terminal settings: speed and hardware flow control.
struct PortSetup {
  speed_t speed;
  bool rtsCts;
  bool operator==(const PortSetup&) const = default;
};
PortSetup SetupOf(const platform::SerialPort& port) {
  termios tio{};
  EXPECT_EQ(::tcgetattr(port.Fd(), &tio), 0);
  return {::cfgetospeed(&tio), (tio.c_cflag & CRTSCTS) != 0};
}

TEST_F(LineDeviceTest, LineSettingsReachThePortAndChangesFollowWithoutARestart) {
  FakeModem modem(dir, {});
  struct Case {
    std::string setting;
    PortSetup want;
  } cases[] = {
      {"Line=" + modem.Link(), {B115200, true}},
      {"Line=" + modem.Link() + ";57600;none", {B57600, false}},
      {"Line=" + modem.Link() + ";19200", {B19200, true}},
      {"Line=" + modem.Link() + ";38400;rtscts", {B38400, true}},
      {"Line=" + modem.Link() + ";2400;none", {B2400, false}},
  };
  SettingsValues values(dir.Path());
  TCMTAPIDevice device(dispatcher);
  values.SetLines(SettingId::ModemLines, {cases[0].setting});
  device.ApplySettings(values);
  device.SetDeviceName("Line");
  device.Open();
  ASSERT_TRUE(device.Opened()) << device.LastError();
  for (const Case& c : cases) {
    // An open, idle line takes the change at once.
    values.SetLines(SettingId::ModemLines, {"Other=/dev/null", c.setting});
    device.ApplySettings(values);
    ASSERT_TRUE(device.Port().IsOpen()) << c.setting << ": " << device.LastError();
    EXPECT_EQ(SetupOf(device.Port()), c.want) << c.setting;
    EXPECT_TRUE(platform::SerialPort::IsLocked(modem.Link()));
  }
  // Opened afresh, the line has the last settings too.
  device.Close();
  device.Open();
  EXPECT_EQ(SetupOf(device.Port()), cases[4].want);
}

}  // namespace
}  // namespace velmaris::test
