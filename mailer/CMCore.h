// The communication library's base layer: the device (a byte stream with a
// log, data triggers and timer triggers), the connection device (adds call
// events), the file-transfer protocol base, and the process-wide timer
// triggers with their 54 ms tick.
//
// Threads. Device events, triggers and the tick run on the main thread (the
// Dispatcher's). Received blocks reach DoDataAvail there first, then the
// attached protocol's ReceiveData on the comm event thread, under the
// device lock: a protocol's ReceiveData must never wait for the main thread.
// A protocol is attached and detached (SetProtocol) under the device lock,
// so once SetProtocol(nullptr) has returned no ReceiveData or TimerTrigger
// of that protocol runs any more.
//
// Data triggers: 16 slots per device (handles 1 to 16), touched only on the
// main thread. Timer triggers: 16 slots for the whole process, counted in
// ticks of 54 ms, under the trigger-table lock, which protocol threads take
// too (they add and remove their time-outs).
//
// Lock order: device lock -> the protocol's own lock -> leaf locks (the
// output count, the channels, the log, the trigger table). A device's timer
// triggers change under its lock, as they are handed to its protocol, so a
// protocol must not add or remove them while it holds its own lock. The
// tick releases the table's lock before it fires a trigger, and nothing is
// called out from under that lock. No lock is held while messages are
// pumped (DoDisconnecting's wait), since a pumped task may take any of them.
// Neither lock is recursive; the code that reaches their state asserts that
// it holds them.
//
// Device log (Logging on): "<ms> RECV <n> Bytes" / "<ms> SEND <n> Bytes",
// each followed by DUMP lines of 16 bytes: hex pairs, padding, printable
// characters.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/CheckedMutex.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"

namespace velmaris {

namespace platform {
class Event;
}

// An exhausted or invalid trigger handle.
class ETrigger : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kTriggerSlots = 16;
constexpr std::chrono::milliseconds kTriggerTick{54};

// Milliseconds of a monotonic clock (the transfer statistics and the log).
uint32_t CommTickCount();

class TCMProtocol;

class TCMDevice {
 public:
  using TNotifyEvent = std::function<void(TCMDevice& sender)>;
  using TDataEvent = std::function<void(TCMDevice& sender, const std::string& data)>;
  using TDataTriggerEvent = std::function<void(TCMDevice& sender, int trigger,
                                               const std::string& data, bool& transmitMore)>;
  using TTimerTriggerEvent = std::function<void(TCMDevice& sender, int trigger)>;

  explicit TCMDevice(platform::Dispatcher& dispatcher = platform::GetDispatcher());
  virtual ~TCMDevice();
  TCMDevice(const TCMDevice&) = delete;
  TCMDevice& operator=(const TCMDevice&) = delete;

  // Published properties and events.
  std::string LogFile = "CMCore.Log";
  bool Logging() const { return logging_; }
  // On: creates LogFile empty; when that fails the user is told and logging
  // stays off. Off: closes the file.
  void SetLogging(bool on);
  TDataEvent OnDataAvail;
  TNotifyEvent OnDeviceUnavailable;
  TDataTriggerEvent OnTriggerData;
  TNotifyEvent OnReady;
  TTimerTriggerEvent OnTriggerTimer;

  virtual bool GetOpened() const = 0;
  bool Opened() const { return GetOpened(); }
  virtual bool IsOutputEmpty() const = 0;
  // Set while nothing waits to be sent; null when the device has no output.
  virtual platform::Event* GetOutputEmptyEvent() = 0;
  virtual int GetOutputCount() const = 0;
  virtual bool IsReady() const = 0;
  virtual void SetOpened(bool open) = 0;

  virtual void DoDataAvail(const char* data, size_t length);
  virtual void DoDeviceUnavailable();
  virtual void DoTriggerData(int trigger, const char* data, size_t length, bool& transmitMore);
  virtual void DoTriggerTimer(int trigger);
  virtual void DoReady();

  virtual int AddDataTrigger(const std::string& pattern);
  virtual int AddTimerTrigger(int interval);
  virtual void EnableDataTrigger(int handle);
  virtual void EnableTimerTrigger(int handle);
  virtual void DisableDataTrigger(int handle);
  virtual void DisableTimerTrigger(int handle);
  virtual bool TimerTriggerFired(int handle);
  virtual void RemoveDataTrigger(int handle);
  virtual void RemoveTimerTrigger(int handle);

  virtual void Close() = 0;
  virtual void Open() = 0;
  // Logs the block; a concrete device calls this first, then transmits.
  // Returns the number of bytes taken.
  virtual int SendData(const char* buffer, size_t length);
  void SendString(std::string_view text) { SendData(text.data(), text.size()); }
  void SendByte(uint8_t value) { SendData(reinterpret_cast<const char*>(&value), 1); }
  void SendChar(char c) { SendData(&c, 1); }
  // A cut call: what waits to be sent is dropped (the queued blocks and the
  // device's own output buffer), so that the abort frames sent next follow
  // at once. Any thread.
  virtual void DropOutput() {}

  // Send marks: the protocol marks the file position that ends a block it
  // has just handed over; SendPositionOnLine is the furthest marked
  // position whose bytes have left the device. A device that cannot tell
  // keeps none and reports 0.
  virtual void MarkSendPosition(int64_t position) { (void)position; }
  virtual int64_t SendPositionOnLine() { return 0; }
  // The most bytes per second the connected line carries (its rate, ten
  // bits a byte); 0 when the device does not know it.
  virtual int64_t LineBytesPerSecond() const { return 0; }

  void SetProtocol(TCMProtocol* protocol);
  TCMProtocol* Protocol();
  // Hands a received block to the attached protocol (comm event thread).
  void HandToProtocol(const char* data, size_t length);
  // The same while the device is open: the check and the hand-over are one
  // step under the device lock, and a device marks itself closed under that
  // lock (SetOpenedLocked), so no block reaches a protocol once it is closed.
  void HandToProtocolWhileOpen(const char* data, size_t length);
  // Appends "<ms> <text>" to the log while logging is on.
  void WriteLogLine(const std::string& text);

  platform::Dispatcher& Dispatcher() const { return dispatcher_; }
  // Set once the device is being torn down: no event reaches its handlers.
  bool Destroying() const { return destroying_; }

 protected:
  platform::CheckedMutex& DeviceLock() { return deviceLock_; }
  // Writes a derived device's open flag under the device lock (see
  // HandToProtocolWhileOpen). The flag is atomic, so GetOpened reads it
  // from any thread without the lock.
  void SetOpenedLocked(std::atomic<bool>& flag, bool open);
  void LogBlock(const char* kind, const char* data, size_t length);
  void SetDestroying() { destroying_ = true; }

 private:
  struct DataTrigger {
    bool inUse = false, armed = false, transmitMore = false;
    std::string pattern;
    size_t matchCount = 0;
  };
  DataTrigger& DataSlot(int handle, bool mustBeInUse);
  // DoTriggerTimer for the tick: with `serial`, only while the slot is
  // still the one the tick counted (not removed, re-added or restarted).
  friend void TimerTriggerTick();
  void FireTimerTrigger(int trigger, const uint64_t* serial);
  void MatchDataTrigger(int handle, const char* data, size_t length);
  void ScanDataTrigger(int handle, const char* data, size_t length);

  platform::Dispatcher& dispatcher_;
  platform::CheckedMutex deviceLock_;
  DataTrigger dataTriggers_[kTriggerSlots];
  TCMProtocol* protocol_ = nullptr;  // under deviceLock_
  std::mutex logMutex_;
  std::FILE* log_ = nullptr;
  std::atomic<bool> logging_{false};
  std::atomic<bool> destroying_{false};
};

class TCMConnectionDevice : public TCMDevice {
 public:
  using TCMDevice::TCMDevice;

  TNotifyEvent OnBusy, OnCancelled, OnCancelling, OnConnected, OnConnecting, OnConnectFailed,
      OnDisconnected, OnDisconnecting, OnNoAnswer;

  // Neither connected, nor connecting, nor disconnecting.
  virtual bool IsIdle() const;
  virtual std::string GetDisplayableNumber() const = 0;
  virtual bool IsConnected() const = 0;
  virtual bool IsConnecting() const = 0;
  virtual bool IsDisconnecting() const = 0;
  virtual std::string GetPhoneNumber() const = 0;
  virtual void SetPhoneNumber(const std::string& number) = 0;

  virtual void DoBusy();
  virtual void DoCancelled();
  virtual void DoCancelling();
  virtual void DoConnected();
  virtual void DoConnecting();
  virtual void DoConnectFailed();
  virtual void DoDisconnected();
  // Aborts an attached protocol and waits (pumping messages, holding no
  // lock) until it has stopped, at most ProtocolStopLimit; then fires
  // OnDisconnecting. A protocol still at work is cut off: its queued data
  // is dropped first (DropOutput). The protocol belongs to the device's owner on the main
  // thread, which detaches it before freeing it, so it outlives the wait.
  virtual void DoDisconnecting();
  virtual void DoNoAnswer();

  virtual void MakeCall() = 0;
  virtual void HangUp() = 0;

  // A protocol that has not stopped within this time after Abort is left
  // behind, so that a hang-up never waits for ever.
  std::chrono::milliseconds ProtocolStopLimit{30000};

 private:
  void Fire(const TNotifyEvent& event);
};

// The protocol report codes that the statistics look at.
enum TCMProtocolState : int {
  psSendStart = 8,
  // Param1: the position handed to the line; Param2: the position the
  // remote has confirmed (its start or resume position, an acknowledgement,
  // a repositioning). The base marks Param1 on the device and reports the
  // running rate in Param2.
  psSendProgress = 9,
  psSent = 10,
  psSendResume = 11,
  psReceiveStart = 23,
  psReceiveProgress = 24,
  psReceived = 25,
  psReceiveResume = 26,
  // A line for the session log as it stands (a received file's name taken,
  // the file short, refused or stopped); the text carries its own code.
  psNotice = 35,
  // A received file could not be taken (no room on the disk for it, a size
  // out of range, more bytes than announced): the remote keeps it, and the
  // call has failed even when the session runs to its end. Also the folder
  // the files go to that cannot keep them (core InboundProblem): the
  // protocol then aborts the session, so that the remote keeps its files.
  // The text is the session log's line saying why, with its code.
  psInboundFailed = 36,
};

class TCMProtocol {
 public:
  using TNotifyEvent = std::function<void(TCMProtocol& sender)>;
  using TCMAcceptEvent = std::function<void(TCMProtocol& sender, bool& accept, std::string& fname,
                                            int64_t size, int64_t unixDate)>;
  using TCMBatchEvent =
      std::function<void(TCMProtocol& sender, std::string& path, std::string& alias)>;
  using TCMStateEvent = std::function<void(TCMProtocol& sender, int state, const std::string& msg,
                                           int64_t param1, int64_t param2)>;

  TCMProtocol() = default;
  virtual ~TCMProtocol() = default;
  TCMProtocol(const TCMProtocol&) = delete;
  TCMProtocol& operator=(const TCMProtocol&) = delete;

  TCMConnectionDevice* Device = nullptr;
  std::string ReceiveDir;  // incoming files go here
  // The end of the psInboundFailed line of a session aborted because
  // ReceiveDir cannot keep files.
  static constexpr const char* kInboundAbortTail =
      ": the session is aborted, the remote keeps its files";
  // The free space of the receive directory (tests give a small disk).
  std::function<uint64_t(const std::string& dir)> InboundFreeSpace = platform::FreeSpace;
  TCMAcceptEvent OnAcceptFile;
  TCMBatchEvent OnNextFile;
  TNotifyEvent OnAborted, OnFinished;
  TCMStateEvent OnProtocolState;
  // The clock of the transfer statistics (milliseconds); tests replace it.
  std::function<uint32_t()> Clock = CommTickCount;

  virtual bool IsActive() const = 0;
  virtual std::string GetFileName() const = 0;
  virtual std::string GetFilePath() const = 0;
  virtual void DoAborted();
  virtual void DoFinished();
  // Fires OnNextFile; an empty path empties the alias, an empty alias
  // becomes the file-name part of the path.
  virtual void DoNextFile(std::string& path, std::string& alias);
  virtual void DoProtocolState(int state, const std::string& msg, int64_t param1, int64_t param2);
  virtual void DoAcceptFile(bool& accept, std::string& fname, int64_t size, int64_t unixDate);
  virtual void Abort() = 0;
  virtual void Reset() = 0;
  virtual void Send() = 0;
  virtual void Receive() = 0;
  // A timer trigger of the device fired (main thread).
  virtual void TimerTrigger(int handle) {}
  // Bytes arrived (comm event thread, under the device lock).
  virtual void ReceiveData(const char* buffer, size_t length) {}

  int64_t SendRate() const { return sendRate_; }
  // The position of the file being sent that the line can have carried, as
  // the running rate counts it (the send display shows it): what the
  // remote confirmed, or what has left the device within the line's rate.
  int64_t SendPositionShown() const { return sendShown_; }
  int64_t ReceiveRate() const { return receiveRate_; }

 protected:
  // A destructor that still waits for its session to end calls this first:
  // the session's last reports, its end among them, then reach no handler
  // and no injected clock, whose owners may be gone already (an owner
  // declared after the protocol is destroyed before it). A file offered
  // from then on is refused and none is sent.
  void StopReporting() { reporting_ = false; }
  bool Reporting() const { return reporting_; }

 private:
  std::atomic<bool> reporting_{true};
  uint32_t sendStart_ = 0, receiveStart_ = 0;
  int64_t sendOffset_ = 0, receiveOffset_ = 0;
  int64_t sendPos_ = 0;        // the last position reported sent
  int64_t sendConfirmed_ = 0;  // the furthest position the remote confirmed
  int64_t sendShown_ = 0;      // SendPositionShown
  int64_t sendRate_ = 0, receiveRate_ = 0;
};

// The tick of the timer-trigger table (every 54 ms on the main thread while
// a device exists); tests call it directly instead of waiting.
void TimerTriggerTick();

// The DUMP lines of a block, each ended by "\n".
std::string DumpLines(const char* data, size_t length);

}  // namespace velmaris
