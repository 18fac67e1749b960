// The line of a test peer (emsipeer, hydrapeer): an already connected
// socket descriptor, with nothing to dial and a hang-up that only closes it.
#pragma once

#include "mailer/CMStream.h"

namespace velmaris {

class TPeerLine : public TCMStreamDevice {
 public:
  using TCMStreamDevice::TCMStreamDevice;
  ~TPeerLine() override {
    SetDestroying();
    HangUp();
    ShutDown();
  }
  bool GetOpened() const override { return true; }
  void SetOpened(bool) override {}
  void Open() override {}
  void Close() override { HangUp(); }
  std::string GetDisplayableNumber() const override { return {}; }
  std::string GetPhoneNumber() const override { return {}; }
  void SetPhoneNumber(const std::string&) override {}
  void MakeCall() override {}
  void Start(int fd) {
    connected_ = true;
    Events().SetLineStatus(lsCTS | lsDSR | lsRLSD);
    OpenCommPort(fd);
  }
  void HangUp() override {
    if (!connected_ || disconnecting_) return;
    disconnecting_ = true;
    DoDisconnecting();
    DrainOutput();
    CloseCommPort();
    connected_ = false;
    disconnecting_ = false;
    DoDisconnected();
  }
};

}  // namespace velmaris
