// The threads that move bytes over a connected line's descriptor and bring
// them to the device: a block queue (TChannel), the read thread, the write
// thread and the comm event thread, plus the line-device debug log.
//
// Road of a received block: read thread -> read channel -> comm event
// thread -> main thread (DoDataAvail, triggers, OnDataAvail, synchronously)
// -> back on the comm event thread, the attached protocol's ReceiveData.
// Blocks to send: any thread -> write channel -> write thread -> line.
//
// Failures: a read or write error, an end of file or a hang-up (on a pty the
// far side closed; on a serial port DCD dropped after it was up) is a lost
// line: the thread posts cmLineFailed once, the comm event thread asks the
// main thread to hang up, and the thread waits for its stop like any other.
// Every wait is bounded; a stop is seen within about 50 ms.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace velmaris {

class TCMConnectionDevice;

// A block of bytes travelling to or from the line.
using TDataPacket = std::string;

// First in, first out, with NotEmpty (set while blocks wait) and Empty (set
// while none waits), both manual-reset.
class TChannel {
 public:
  void Put(TDataPacket packet);
  // Takes the first block, waiting up to `limit` for one.
  bool Get(TDataPacket& packet, std::chrono::milliseconds limit);
  size_t Count() const;
  bool IsEmpty() const;
  platform::Event& NotEmpty() { return notEmpty_; }
  platform::Event& Empty() { return empty_; }

 private:
  mutable std::mutex mutex_;
  std::deque<TDataPacket> list_;
  platform::Event notEmpty_{true, false};
  platform::Event empty_{true, true};
};

// The send direction of a call, counted in bytes: handed to the device
// (Handed), written to the descriptor by the write thread (Written), dropped
// unsent (Dropped: a cut call's queue, an abandoned block), and gone from
// the device (written and no longer in the kernel's output queue). A
// protocol marks the file position that ends each block it hands over
// (Mark): the mark keeps the handed count of that moment, and once as many
// bytes are gone, the position is on the line (PositionGone). The marks of
// a call form a short queue: passed ones are dropped, a full queue moves its
// newest mark on, and a mark below the one before (a new file, a
// repositioning) starts the queue over.
//
// It also keeps the line's clock: with the rate of the call known, when the
// bytes written so far can have left the far side of the port (a modem
// passes on what it has taken at the connect rate, and a pseudo-terminal's
// or a modem's buffer cannot be seen into), and when the last write was.
// A cut call (Cut) counts what is written after it on its own.
//
// The write thread, the protocol thread and the main thread share it, so
// every member is reached under its lock; the helpers that touch the state
// take the lock as an argument and assert that it is held.
//
// States: closed (fd -1) -> open [Open: counts from zero, no marks] ->
// closed [Close: what was written counts as gone; the clock stays].
class TOutputCount {
 public:
  using Clock = std::chrono::steady_clock;
  // The state of the output at one moment.
  struct TState {
    bool drained = true;  // see Drained
    bool cut = false;     // Cut since Open
    uint64_t writtenSinceCut = 0;
    Clock::time_point lineClear;  // the written bytes can have left by then
    Clock::time_point lastWrite;  // the last write (or Open)
  };
  // How many of `written` bytes have left the device on descriptor fd.
  using GoneFn = std::function<uint64_t(int fd, uint64_t written)>;
  // bytesPerSecond: the line's rate, 0 when unknown (the clock then only
  // counts the writes).
  void Open(int fd, int64_t bytesPerSecond = 0);
  void Close();
  // The call is cut: what was queued has been dropped.
  void Cut();
  TState State(const GoneFn& gone);
  void Handed(size_t bytes);
  void Written(size_t bytes);
  // Bytes handed over that will never be written.
  void Dropped(size_t bytes);
  void Mark(int64_t position);
  // The furthest marked position whose bytes are gone (0 before any).
  int64_t PositionGone(const GoneFn& gone);
  // Every byte handed over has been written (or dropped) and has left the
  // device.
  bool Drained(const GoneFn& gone);
  // Written minus the kernel's output queue (TIOCOUTQ); all written when
  // the descriptor cannot tell.
  static uint64_t GoneFromDescriptor(int fd, uint64_t written);

 private:
  using Lock = std::unique_lock<std::mutex>;
  static constexpr size_t kMaxMarks = 64;
  struct SendMark {
    uint64_t handed;
    int64_t position;
  };
  bool Holds(const Lock& lock) const { return lock.owns_lock() && lock.mutex() == &mutex_; }
  bool DrainedLocked(const Lock& lock, const GoneFn& gone);
  void StartOver(const Lock& lock, int64_t position);
  void DropPassed(const Lock& lock, uint64_t gone);

  std::mutex mutex_;
  int fd_ = -1;
  uint64_t handed_ = 0, written_ = 0, dropped_ = 0;
  std::deque<SendMark> marks_;
  int64_t lastMarked_ = 0, gonePosition_ = 0;
  int64_t bytesPerSecond_ = 0;
  bool cut_ = false;
  uint64_t writtenAtCut_ = 0;
  Clock::time_point lineClear_{}, lastWrite_{};
};

// Messages to the comm event thread.
enum TCommMessage : int {
  cmStop = 1025,
  cmLineFailed = 1026,        // param: the call it is about (a late one is ignored)
  cmRemoteDisconnect = 1027,  // param: the disconnect mode
  cmModemStatus = 1028,       // param: status bits 0x10 CTS, 0x20 DSR, 0x40 RING, 0x80 RLSD
  cmBytesSent = 1029,         // param: bytes written
};

// Disconnect modes of cmRemoteDisconnect.
enum TDisconnectMode : int64_t {
  dmNormal = 0x01,
  dmBusy = 0x20,
  dmNoAnswer = 0x40,
  dmUnavailable = 0x800,
};

// Line status bits kept by the device.
enum TLineStatus : uint8_t {
  lsCTS = 0x01,
  lsDSR = 0x02,
  lsRING = 0x04,
  lsRLSD = 0x08,
  lsSent = 0x10,      // data sent within the last 500 ms
  lsReceived = 0x20,  // data received within the last 500 ms
};

class TCOMEventThread {
 public:
  explicit TCOMEventThread(TCMConnectionDevice& device);
  ~TCOMEventThread();  // stops the thread (see Stop)
  void Post(int message, int64_t param = 0);
  // Ends the thread; on the main thread the wait pumps messages, since the
  // thread may be handing a block over to it.
  void Stop();
  TChannel& ReadChannel() { return readChannel_; }
  uint8_t LineStatus() const { return status_; }
  // A new call begins: failures reported about earlier calls no longer count.
  int64_t NewCall() { return ++call_; }
  int64_t Call() const { return call_; }
  // A read or write thread found the line of that call gone (posts
  // cmLineFailed); CallFailed tells whether that was the current call.
  void LineFailed(int64_t call);
  bool CallFailed() const { return failedCall_ == call_; }
  void SetLineStatus(uint8_t bits) { status_ = bits; }

 private:
  void Run();
  void Handle(int message, int64_t param);

  TCMConnectionDevice& device_;
  TChannel readChannel_;
  std::mutex mutex_;
  std::deque<std::pair<int, int64_t>> messages_;
  platform::Event messageEvent_{false, false};
  std::atomic<uint8_t> status_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> call_{0};
  std::atomic<int64_t> failedCall_{-1};
  std::chrono::steady_clock::time_point lastReceived_{}, lastSent_{};
  platform::Event finished_{true, false};
  std::thread thread_;
};

// The common part of the read and the write thread: a stop event and a
// bounded stop.
class TIOThread {
 public:
  TIOThread(TCOMEventThread& events, int fd) : events_(events), fd_(fd), call_(events.Call()) {}
  virtual ~TIOThread() = default;
  void Start();
  // The thread body has returned (after a line failure, or its stop).
  bool Finished() const { return finished_.IsSet(); }

 protected:
  virtual void Run() = 0;
  TCOMEventThread& events_;
  const int fd_;
  const int64_t call_;
  platform::Event stop_{true, false};

 private:
  friend void StopIOThread(std::unique_ptr<TIOThread>& thread);
  platform::Event finished_{true, false};
  std::thread thread_;
};

class TReadThread : public TIOThread {
 public:
  using TIOThread::TIOThread;
  ~TReadThread() override = default;
  // Bytes per read, clamped to 1 .. 2048.
  void SetReadSize(int value);
  int ReadSize() const { return readSize_; }

 private:
  void Run() override;
  bool CheckModemLines(bool& dcdSeen, int& lastBits);
  std::atomic<int> readSize_{2048};
};

// Sends the blocks of a channel that the device owns (so that its Empty
// event outlives the thread), counting the bytes written in `output`.
class TWriteThread : public TIOThread {
 public:
  TWriteThread(TCOMEventThread& events, int fd, TChannel& channel, TOutputCount& output)
      : TIOThread(events, fd), channel_(channel), output_(output) {}
  // A cut call: drops every block still queued and the rest of the one being
  // written, then what waits in the descriptor's output buffer
  // (tcflush(TCOFLUSH)). No byte handed over before the drop is written
  // after it; blocks put afterwards (a protocol's abort frames) go out as
  // usual. Any thread.
  void Drop();

 private:
  TChannel& channel_;
  TOutputCount& output_;
  // Held around taking a block and around each write(2), so that a drop
  // falls between two writes; drops_ counts the drops.
  std::mutex writeMutex_;
  uint64_t drops_ = 0;  // under writeMutex_
  void Run() override;
  bool WriteBlock(const TDataPacket& packet, uint64_t drops);
};

// Sets the thread's stop event and waits up to 10 s for it to end; a thread
// that does not end is left to itself. The reference is cleared either way.
void StopIOThread(std::unique_ptr<TIOThread>& thread);

// Appends "dd.mm.yy hh:mm.ss <text>" to the line-device debug log.
void TapiDebugLog(const std::string& text);
// Where that log goes: the program and the poll command name cmdebug.txt in
// the start directory; until a path is set nothing is written.
void SetTapiDebugLogPath(const std::string& path);

}  // namespace velmaris
