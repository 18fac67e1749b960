// ZModem and ZedZap: one batch of files sent or received over the connected
// device per session (Send or Receive), in a session thread of its own.
//
// Road of the bytes: the device hands received blocks to ReceiveData (comm
// event thread), where the frame parser turns them into headers and data
// subpackets queued for the session thread. Time-outs are timer triggers
// of the device (ticks of 54 ms); TimerTrigger (main thread) only marks
// the time-out and wakes the session thread. The session thread alone
// touches the files; it sends through the device and reports through
// DoProtocolState on the main thread (synchronous hand-over).
//
// Lifecycle: idle -> active [Send/Receive: the thread starts and attaches
// the component to the device] -> idle [the thread detaches it on the main
// thread, Active := false, then DoFinished or DoAborted]. Abort only asks
// the thread to stop; it sends the cancel sequence and ends as aborted.
//
// Sending: a file counts as sent (state 10) only after the receiver's
// ZRINIT has confirmed its ZEOF. Receiving: files land in ReceiveDir as
// TInboundFile says (temporary name, resume, safe names, free space).
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "mailer/CMCore.h"
#include "mailer/ZModemFrames.h"
#include "platform/Event.h"

namespace velmaris {

class TCMZModemThread;

class TCMZModem : public TCMProtocol {
 public:
  explicit TCMZModem(platform::Dispatcher& dispatcher = platform::GetDispatcher());
  // Stops a running session (pumping messages while it ends).
  ~TCMZModem() override;

  bool ZedZap = false;  // data blocks up to 8192 bytes instead of 1024

  bool IsActive() const override { return active_; }
  std::string GetFileName() const override;
  std::string GetFilePath() const override;
  void Abort() override;
  void Reset() override {}
  void Send() override { Start(true); }
  void Receive() override { Start(false); }
  void TimerTrigger(int handle) override;
  void ReceiveData(const char* buffer, size_t length) override;
  int GetMaxBlockLength() const { return ZedZap ? 8192 : 1024; }

 private:
  friend class TCMZModemThread;
  void Start(bool sending);
  void Join();

  platform::Dispatcher& dispatcher_;
  mutable std::mutex lock_;  // the component lock: thread, parser, queue
  std::atomic<bool> active_{false};
  std::unique_ptr<TCMZModemThread> session_;
  std::thread thread_;
};

}  // namespace velmaris
