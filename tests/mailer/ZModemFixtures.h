// Helpers of the protocol tests: one protocol end with its batch and what it
// reported, and a call through the fake modem to a peer command (sz, rz).
#pragma once

#include <deque>
#include <random>

#include "LineFixtures.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMZModem.h"

namespace velmaris::test {

// Bytes that look like a file of mail: random, with runs of the bytes that
// the protocols escape.
inline std::string SampleBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    out[i] = static_cast<char>(random() % 7 == 0 ? "\x18\x10\x11\x13\x91\x93\r@*"[random() % 9]
                                                 : random());
  }
  return out;
}

struct ProtocolEnd {
  std::deque<std::string> toSend;  // paths
  std::vector<std::string> sent, received, log;
  std::vector<std::string> notices, skipped;  // psNotice lines, names of state 15
  std::vector<int> states;
  int64_t lastReceived = 0, lastSent = 0;  // positions of the last progress reports
  int64_t fastestSend = 0;                 // the highest running send rate shown
  int64_t resumedAt = -1;
  bool finished = false, aborted = false;

  void Attach(TCMProtocol& p) {
    p.OnNextFile = [this](TCMProtocol&, std::string& path, std::string&) {
      path.clear();
      if (toSend.empty()) return;
      path = toSend.front();
      toSend.pop_front();
    };
    p.OnProtocolState = [this](TCMProtocol&, int state, const std::string& msg, int64_t p1,
                               int64_t p2) {
      if (state != 9 && state != 24) states.push_back(state);
      if (state == 2) log.push_back(msg);
      if (state == psNotice || state == psInboundFailed) notices.push_back(msg);
      if (state == 15) skipped.push_back(msg);
      if (state == 10) sent.push_back(msg);
      if (state == 25) received.push_back(msg);
      if (state == 24) lastReceived = p1;
      if (state == 9) lastSent = p1;
      if (state == 9) fastestSend = std::max(fastestSend, p2);
      if (state == 26) resumedAt = p1;
    };
    p.OnFinished = [this](TCMProtocol&) { finished = true; };
    p.OnAborted = [this](TCMProtocol&) { aborted = true; };
  }
  bool Done() const { return finished || aborted; }
  bool Has(int state) const {
    return std::find(states.begin(), states.end(), state) != states.end();
  }
  bool Logged(const std::string& text) const {
    return std::find(log.begin(), log.end(), text) != log.end();
  }
  bool Noticed(const std::string& part) const {
    return std::any_of(notices.begin(), notices.end(),
                       [&](const std::string& n) { return n.find(part) != std::string::npos; });
  }
};

// A call through the fake modem whose peer is a command; the call is up
// when Dial returns true.
class ModemCall {
 public:
  ModemCall(const TempDir& dir, platform::PlainDispatcher& dispatcher,
            std::vector<std::string> args, const std::string& name = "modem")
      : dispatcher_(dispatcher), modem_(dir, std::move(args), name) {
    device = std::make_unique<TCMTAPIDevice>(dispatcher);
    device->CommandLimit = std::chrono::seconds(30);
    device->GuardTime = std::chrono::milliseconds(300);
    device->SetDeviceName(modem_.Link());
    device->Open();
    device->SetPhoneNumber("1234567");
  }
  ~ModemCall() {
    if (device->IsConnected()) device->HangUp();
    dispatcher_.RunUntil([&] { return device->IsIdle(); }, kPatience);
    device->Close();
  }
  bool Dial() {
    bool up = false, failed = false;
    device->OnReady = [&](TCMDevice&) { up = true; };
    device->OnConnectFailed = [&](TCMDevice&) { failed = true; };
    device->MakeCall();
    dispatcher_.RunUntil([&] { return up || failed; }, kPatience);
    device->OnReady = nullptr;
    device->OnConnectFailed = nullptr;
    return up;
  }
  std::unique_ptr<TCMTAPIDevice> device;

 private:
  platform::PlainDispatcher& dispatcher_;
  FakeModem modem_;
};

// Runs the dispatcher while the 54 ms tick runs as fast as the machine
// allows: time-outs pass without their wall-clock time.
inline bool RunTicking(platform::PlainDispatcher& dispatcher, const std::function<bool()>& done,
                       int rounds, std::chrono::milliseconds slice) {
  for (int i = 0; i < rounds && !done(); ++i) {
    TimerTriggerTick();
    dispatcher.RunUntil(done, slice);
  }
  return done();
}

}  // namespace velmaris::test
