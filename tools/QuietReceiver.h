// A ZModem receiver on one end of the loopback pair, with the habit of some
// answering mailers, for the protocol tests and benchmarks. Where the data of
// a file passes a fixed offset it takes a subpacket as damaged and answers
// with a ZRPOS that is damaged itself on the way (its CRC is wrong): the
// sender goes on to the end, and its ZEOF finds the receiver behind. The
// receiver ignores a ZEOF at the wrong offset and from then on says nothing
// of its own accord: only the sender's ZFIN gets an answer, a ZRPOS at the
// receiver's position, which asks for the rest of the file.
//
// It counts the ticks of the timer-trigger table (the 54 ms ticks the
// protocols' time-outs count, injected by TimerTriggerTick) from the first
// ZEOF it ignored to that ZFIN: the time the line stands idle for each
// damaged end of a file. Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "mailer/CMLoopback.h"
#include "mailer/ZModemFrames.h"

namespace velmaris {

class TQuietReceiver {
 public:
  // damageAt: the file offset whose subpacket is taken as damaged.
  TQuietReceiver(TCMLoopbackDevice& device, int64_t damageAt)
      : device_(device), damageAt_(damageAt) {
    ticker_ = device.AddTimerTrigger(1);
    device.OnTriggerTimer = [this](TCMDevice&, int handle) {
      if (handle == ticker_) ++ticks_;
    };
    device.OnDataAvail = [this](TCMDevice&, const std::string& bytes) {
      parser_.Feed(bytes, [this](const TZEvent& e) { On(e); });
    };
  }
  ~TQuietReceiver() {
    device_.RemoveTimerTrigger(ticker_);
    device_.OnTriggerTimer = nullptr;
    device_.OnDataAvail = nullptr;
  }
  TQuietReceiver(const TQuietReceiver&) = delete;
  TQuietReceiver& operator=(const TQuietReceiver&) = delete;

  std::string data;       // the files as received, one after the other
  int damagedEnds = 0;    // ZFINs answered with a ZRPOS
  int64_t idleTicks = 0;  // from each first ignored ZEOF to that ZFIN
  bool done = false;      // the session's ZFIN answered

 private:
  static TZHeader Init() { return {ZRINIT, 0x23000000}; }
  uint32_t Pos() const { return static_cast<uint32_t>(data.size() - fileStart_); }
  void Send(const TZHeader& h) { device_.SendString(HexHeader(h)); }
  void On(const TZEvent& e) {
    if (e.kind == TZEvent::Data) return OnData(e);
    if (e.kind != TZEvent::Header) return;
    switch (e.header.type) {
      case ZRQINIT: Send(Init()); break;
      case ZFILE: wantInfo_ = true; break;
      case ZDATA: inSync_ = fileOpen_ && e.header.arg == Pos(); break;
      case ZEOF:
        if (!fileOpen_) break;
        if (e.header.arg != Pos()) {  // behind: silent until the ZFIN
          if (behindSince_ < 0) behindSince_ = ticks_;
          break;
        }
        fileOpen_ = false;
        Send(Init());
        break;
      case ZFIN:
        if (behindSince_ >= 0) {
          idleTicks += ticks_ - behindSince_;
          behindSince_ = -1;
          ++damagedEnds;
          Send({ZRPOS, Pos()});
          break;
        }
        done = true;
        Send({ZFIN, 0});
        break;
      default: break;
    }
  }
  void OnData(const TZEvent& e) {
    if (wantInfo_) {
      wantInfo_ = false;
      fileOpen_ = true;
      damaged_ = false;
      fileStart_ = data.size();
      Send({ZRPOS, 0});
      return;
    }
    if (!inSync_) return;
    if (!damaged_ && Pos() + e.data.size() > static_cast<uint64_t>(damageAt_)) {
      damaged_ = true;
      inSync_ = false;
      std::string rpos = HexHeader({ZRPOS, Pos()});
      rpos[17] = rpos[17] == '0' ? '1' : '0';  // the last digit of its CRC
      device_.SendString(rpos);
      return;
    }
    data += e.data;
    if (e.frameEnd == ZCRCW || e.frameEnd == ZCRCQ) Send({ZACK, Pos()});
  }

  TCMLoopbackDevice& device_;
  const int64_t damageAt_;
  TZParser parser_;
  int ticker_ = 0;
  int64_t ticks_ = 0, behindSince_ = -1;
  size_t fileStart_ = 0;
  bool wantInfo_ = false, fileOpen_ = false, inSync_ = false, damaged_ = false;
};

}  // namespace velmaris
