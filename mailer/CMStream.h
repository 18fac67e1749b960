// A connection device whose connected call is a byte stream on a file
// descriptor: the state flags, the comm event thread, the read and write
// threads while connected, the send path and the line status. The modem
// line device and the loopback device build on it.
//
// States: idle -> connecting [MakeCall] -> connected [CallConnected] ->
// disconnecting [HangUp] -> idle [the derived hang-up finishes]; connecting
// may also go straight to disconnecting (a cancelled or failed dial) or back
// to idle (a call that never started). The flags change on the main thread
// only.
//
// A hang-up of a connected call lets what is queued leave first (the last
// frames of a session: an EMSI_ACK, a protocol's end) until the device's
// output is empty and, with an EndMargin, until the bytes written can have
// left the far side at the call's rate plus that margin; it ends sooner when
// the line is gone, when nothing could be written for EndMargin (the far end
// stopped reading), or at DrainLimit; a device being torn down does not wait.
// A cut call (DropOutput) drops its queue first, and its hang-up waits only
// for the frames queued after the cut (a protocol's abort) to be written and
// to have had their own line time, at most CutDrainLimit: a hang-up asked for
// is at once whatever the line does. The serial threads stop only then, and
// they drop what is left.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "mailer/CMCore.h"
#include "mailer/CMThreads.h"

namespace velmaris {

class TCMStreamDevice : public TCMConnectionDevice {
 public:
  explicit TCMStreamDevice(platform::Dispatcher& dispatcher = platform::GetDispatcher());
  // A derived destructor calls ShutDown first.
  ~TCMStreamDevice() override;

  bool IsConnected() const override { return connected_; }
  bool IsConnecting() const override { return connecting_; }
  bool IsDisconnecting() const override { return disconnecting_; }
  bool IsReady() const override { return connected_; }
  bool IsOutputEmpty() const override;
  platform::Event* GetOutputEmptyEvent() override;
  int GetOutputCount() const override;
  // Logs, then queues the bytes in blocks of at most 16384 while connected.
  int SendData(const char* buffer, size_t length) override;
  void MarkSendPosition(int64_t position) override { output_.Mark(position); }
  int64_t SendPositionOnLine() override;
  int64_t LineBytesPerSecond() const override { return lineBytesPerSecond_; }
  // Drops the queued blocks, the rest of the block being written and the
  // descriptor's output buffer; what is sent afterwards goes out as usual.
  void DropOutput() override;
  // How long a hang-up waits for the queued bytes to leave, at most.
  std::chrono::milliseconds DrainLimit{5000};
  // After the bytes written can have left at the call's rate, how long a
  // hang-up still waits for the far end to end the call (0: not at all,
  // and the line's clock is not waited for).
  std::chrono::milliseconds EndMargin{0};
  // How long the hang-up of a cut call waits for its abort frames.
  std::chrono::milliseconds CutDrainLimit{300};
  // How often the last hang-up's drain looked at the output and found it
  // not yet empty (each look is followed by a wait of 5 ms).
  int DrainWaits() const { return drainWaits_; }

  // Line status bits (TLineStatus).
  uint8_t GetModemStatus() const { return events_->LineStatus(); }
  // The rate of the connected call in bits per second; -1 without a call.
  int64_t GetDataRate() const { return dataRate_; }
  // Bytes per read on the line (1 .. 2048); passed on to a running read thread.
  void SetReadSize(int value);
  int ReadSize() const { return readSize_; }

 protected:
  // Starts the write thread, then the read thread, on the descriptor.
  void OpenCommPort(int fd);
  // Stops the read thread, then the write thread, and drops unsent blocks.
  void CloseCommPort();
  // The rate the call connected at (bits per second, 0 when unknown), for
  // LineBytesPerSecond; set before OpenCommPort.
  void SetLineRate(int64_t bitsPerSecond) {
    lineBytesPerSecond_ = bitsPerSecond > 0 ? bitsPerSecond / 10 : 0;
  }
  // Waits (main thread, pumping messages) as the header says: until every
  // byte handed over has been written and the device's output queue is empty
  // (as far as the descriptor tells) and, with an EndMargin, the line's clock
  // plus the margin has passed; a cut call only for its abort frames. Ends
  // when the line has failed or the write thread has ended. Called by a
  // hang-up before CloseCommPort.
  void DrainOutput();
  // The output count's state (the line's clock), also after CloseCommPort.
  TOutputCount::TState OutputState();
  // Ends the comm event thread (pumping messages while it hands over).
  void ShutDown();
  TCOMEventThread& Events() { return *events_; }
  void AssertMainThread() const;
  // How many of the `written` bytes have left the device on descriptor fd
  // (called under the output count's lock, so it must not send).
  virtual uint64_t BytesGone(int fd, uint64_t written) const {
    return TOutputCount::GoneFromDescriptor(fd, written);
  }

  std::atomic<bool> connected_{false}, connecting_{false}, disconnecting_{false};
  std::atomic<int64_t> dataRate_{-1};

 private:
  std::unique_ptr<TCOMEventThread> events_;
  TChannel writeChannel_;
  TOutputCount output_;
  mutable std::mutex ioMutex_;  // guards the two thread pointers
  std::unique_ptr<TIOThread> reader_, writer_;
  std::atomic<int> readSize_{256};
  std::atomic<int64_t> lineBytesPerSecond_{0};
  int drainWaits_ = 0;  // main thread
  // The line failed (or the write thread ended): nothing more leaves.
  bool LineEnded();
};

}  // namespace velmaris
