// Hydra: one bidirectional session over the connected device, sending the
// files that OnNextFile names while receiving the remote's files into
// ReceiveDir (through TInboundFile: temporary name, resume, safe names).
//
// Threads: ReceiveData (comm event thread) only queues the block and wakes
// the session thread; TimerTrigger (main thread) only wakes it. The session
// thread alone parses packets, runs both state machines and touches the
// files; it reports through DoProtocolState on the main thread.
//
// Transmit states: 0 done, 1 start, 2 start wait, 3 init, 4 init-ack wait,
// 5 wait for the remote's INIT, 6 file info, 7 file-info-ack wait, 8 data,
// 9 data-ack wait, 10 data wait, 11 end of file, 12 end-of-file-ack wait,
// 13 wait for the remote's end, 14 end, 15 end-ack wait, 16 abort.
// Receive states: 0 done, 1 init, 2 file info, 3 data. The session ends
// when both reach 0 (DoFinished), or (DoAborted) on abort, too many
// errors, a dead remote or a sender whose offers were refused too often
// (TRefusedOffers). A file counts as sent (state 10) only
// after the remote's EOFACK for a file that went out whole.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "mailer/CMCore.h"
#include "platform/Event.h"

namespace velmaris {

class THydraThread;

class TCMHydra : public TCMProtocol {
 public:
  using TDevDataEvent =
      std::function<void(TCMHydra& sender, const std::string& dev, const std::string& msg)>;

  explicit TCMHydra(platform::Dispatcher& dispatcher = platform::GetDispatcher());
  ~TCMHydra() override;  // stops a running session, pumping messages, reporting nothing

  TDevDataEvent OnDevData;
  // The names a FINFO packet offers for a file, given its name without the
  // directory; unset: the 8.3 name in the OEM page, a NUL, the whole name, a
  // NUL. A test peer that plays another mailer sets its own.
  std::function<std::string(const std::string& name)> FinfoNames;

  bool IsActive() const override { return active_; }
  std::string GetFileName() const override;
  std::string GetFilePath() const override;
  void Abort() override;
  void Reset() override { receiveBatches_ = 0; }
  void Send() override;
  void Receive() override { Send(); }
  void TimerTrigger(int handle) override;
  void ReceiveData(const char* buffer, size_t length) override;
  void DoDevData(const std::string& dev, const std::string& msg) {
    if (Reporting() && OnDevData) OnDevData(*this, dev, msg);
  }
  int ReceiveBatches() const { return receiveBatches_; }

 private:
  friend class THydraThread;
  platform::Dispatcher& dispatcher_;
  mutable std::mutex lock_;
  std::atomic<bool> active_{false};
  std::atomic<int> receiveBatches_{0};
  std::unique_ptr<THydraThread> session_;
  std::thread thread_;
};

}  // namespace velmaris
