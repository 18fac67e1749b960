// Two connection devices joined back to back, for protocol tests without a
// modem: what one end sends the other receives, through the same throttle
// and noise as the fake modem's line (TLineRelay). The ends run the same
// serial threads as the modem device, on socket descriptors.
//
// Connect (or MakeCall on either end) connects both ends: each fires
// OnConnected and OnReady. HangUp on one end closes its socket; the other
// end sees the line end (as after a lost carrier) and hangs up too.
//
// An end's bytes have left it once the line has taken them (Carried), as a
// modem's once they are out of its port.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "mailer/CMStream.h"
#include "mailer/LineShaper.h"
#include "platform/Files.h"

namespace velmaris {

class TCMLoopbackPair;

class TCMLoopbackDevice : public TCMStreamDevice {
 public:
  TCMLoopbackDevice(TCMLoopbackPair& pair, platform::Dispatcher& dispatcher);
  ~TCMLoopbackDevice() override;

  bool GetOpened() const override { return opened_; }
  void SetOpened(bool open) override;
  void Open() override { SetOpenedLocked(opened_, true); }
  void Close() override;
  std::string GetDisplayableNumber() const override { return number_; }
  std::string GetPhoneNumber() const override { return number_; }
  void SetPhoneNumber(const std::string& number) override { number_ = number; }
  void MakeCall() override;
  void HangUp() override;

 protected:
  uint64_t BytesGone(int fd, uint64_t written) const override;

 private:
  friend class TCMLoopbackPair;
  void Connected(platform::Fd fd, int64_t rate);

  TCMLoopbackPair& pair_;
  std::atomic<bool> opened_{true};  // as TCMTAPIDevice's
  std::string number_;
  platform::Fd fd_;
};

class TCMLoopbackPair {
 public:
  explicit TCMLoopbackPair(const TLineShape& shape = {},
                           platform::Dispatcher& dispatcher = platform::GetDispatcher());
  ~TCMLoopbackPair();
  TCMLoopbackDevice& A() { return *a_; }
  TCMLoopbackDevice& B() { return *b_; }
  // Connects both ends (main thread); nothing happens unless both are idle.
  void Connect();
  // The bytes the line has taken from that end in the current call.
  uint64_t Carried(const TCMLoopbackDevice& end) const { return carried_[&end == b_.get()]; }

 private:
  void StopRelay();
  TLineShape shape_;
  std::unique_ptr<TCMLoopbackDevice> a_, b_;
  std::atomic<bool> stopRelay_{false};
  std::atomic<uint64_t> carried_[2] = {0, 0};  // from A, from B
  std::thread relay_;
};

}  // namespace velmaris
