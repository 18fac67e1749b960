#include "mailer/CMCore.h"

#include <algorithm>
#include <cassert>
#include <thread>
#include <vector>

#include "platform/Prompter.h"

namespace velmaris {

uint32_t CommTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---------------------------------------------------------------------------
// The process-wide timer-trigger table.

namespace {

struct TimerSlot {
  bool inUse = false, enabled = false, fired = false;
  int interval = 0, count = 0;
  TCMDevice* device = nullptr;
  // New on every add and enable: a firing counted before a change is
  // dropped when it comes to be handed over.
  uint64_t serial = 0;
};

struct TriggerTable {
  // A leaf: held for the table's own state and the dispatcher's timer calls
  // (leaves too), never while a trigger fires.
  platform::CheckedMutex lock;
  TimerSlot slots[kTriggerSlots];
  // The tick runs on the dispatcher of one of the devices while any exists.
  std::vector<TCMDevice*> devices;
  platform::Dispatcher* dispatcher = nullptr;
  platform::Dispatcher::TimerId timer = 0;
  uint64_t nextSerial = 1;
};

TriggerTable& Table() {
  static TriggerTable table;
  return table;
}

TimerSlot& TimerSlotOf(int handle, bool mustBeInUse) {
  assert(Table().lock.HeldByThisThread());
  if (handle < 1 || handle > kTriggerSlots) throw ETrigger("Bad timer trigger handle");
  TimerSlot& slot = Table().slots[handle - 1];
  if (mustBeInUse && !slot.inUse) throw ETrigger("Bad timer trigger handle");
  return slot;
}

void DeviceCreated(TCMDevice* device) {
  TriggerTable& t = Table();
  std::lock_guard lock(t.lock);
  t.devices.push_back(device);
  if (!t.dispatcher) {
    t.dispatcher = &device->Dispatcher();
    t.timer = t.dispatcher->StartTimer(kTriggerTick, TimerTriggerTick);
  }
}

void DeviceDestroyed(TCMDevice* device) {
  TriggerTable& t = Table();
  std::lock_guard lock(t.lock);
  for (auto& slot : t.slots) {
    if (slot.device == device) slot = TimerSlot{};
  }
  std::erase(t.devices, device);
  if (t.dispatcher != &device->Dispatcher()) return;
  // The tick moves to a dispatcher that still has a device (this one's
  // dispatcher may go with the device).
  t.dispatcher->StopTimer(t.timer);
  t.dispatcher = nullptr;
  if (!t.devices.empty()) {
    t.dispatcher = &t.devices.front()->Dispatcher();
    t.timer = t.dispatcher->StartTimer(kTriggerTick, TimerTriggerTick);
  }
}

}  // namespace

void TimerTriggerTick() {
  TriggerTable& t = Table();
  for (int h = 1; h <= kTriggerSlots; ++h) {
    TCMDevice* device = nullptr;
    uint64_t serial = 0;
    {
      std::lock_guard lock(t.lock);
      TimerSlot& slot = TimerSlotOf(h, false);
      // A device being torn down pumps messages while its threads stop; its
      // handlers may already be gone, so it gets no more ticks.
      if (!slot.inUse || !slot.enabled || slot.device->Destroying()) continue;
      if (++slot.count < slot.interval) continue;
      slot.count = 0;
      slot.fired = true;
      device = slot.device;
      serial = slot.serial;
    }
    // Fired without the table's lock: the device takes its own lock and
    // its handlers add and remove triggers. Devices are freed on this
    // thread only, and each slot is looked at afresh, so a handler that
    // frees a device leaves no later slot pointing at it.
    device->FireTimerTrigger(h, &serial);
  }
}

std::string DumpLines(const char* data, size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t pos = 0; pos < length; pos += 16) {
    const size_t n = std::min<size_t>(16, length - pos);
    out += "DUMP ";
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<uint8_t>(data[pos + i]);
      out += kHex[b >> 4];
      out += kHex[b & 15];
      out += ' ';
    }
    out.append((16 - n) * 3, ' ');
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<uint8_t>(data[pos + i]);
      out += (b >= 32 && b <= 127) ? static_cast<char>(b) : '.';
    }
    out += '\n';
  }
  return out;
}

// ---------------------------------------------------------------------------
// TCMDevice

TCMDevice::TCMDevice(platform::Dispatcher& dispatcher) : dispatcher_(dispatcher) {
  DeviceCreated(this);
}

TCMDevice::~TCMDevice() {
  destroying_ = true;
  DeviceDestroyed(this);
  SetLogging(false);
}

void TCMDevice::SetLogging(bool on) {
  std::unique_lock lock(logMutex_);
  if (on == logging_) return;
  if (!on) {
    if (log_) std::fclose(log_);
    log_ = nullptr;
    logging_ = false;
    return;
  }
  log_ = std::fopen(LogFile.c_str(), "w");
  if (!log_) {
    lock.unlock();
    platform::GetPrompter().Error("Could not open Log file: " + LogFile);
    return;
  }
  logging_ = true;
}

void TCMDevice::WriteLogLine(const std::string& text) {
  if (!logging_) return;
  std::lock_guard lock(logMutex_);
  if (!log_) return;
  std::fprintf(log_, "%u %s\n", CommTickCount(), text.c_str());
  std::fflush(log_);
}

void TCMDevice::LogBlock(const char* kind, const char* data, size_t length) {
  if (!logging_) return;
  WriteLogLine(std::string(kind) + " " + std::to_string(length) + " Bytes");
  std::lock_guard lock(logMutex_);
  if (!log_) return;
  const std::string dump = DumpLines(data, length);
  std::fwrite(dump.data(), 1, dump.size(), log_);
  std::fflush(log_);
}

void TCMDevice::DoDataAvail(const char* data, size_t length) {
  LogBlock("RECV", data, length);
  for (int h = 1; h <= kTriggerSlots; ++h) MatchDataTrigger(h, data, length);
  if (OnDataAvail) OnDataAvail(*this, std::string(data, length));
}

void TCMDevice::DoDeviceUnavailable() {
  if (OnDeviceUnavailable && !destroying_) OnDeviceUnavailable(*this);
}

void TCMDevice::DoTriggerData(int trigger, const char* data, size_t length, bool& transmitMore) {
  if (OnTriggerData) OnTriggerData(*this, trigger, std::string(data, length), transmitMore);
}

void TCMDevice::DoTriggerTimer(int trigger) { FireTimerTrigger(trigger, nullptr); }

void TCMDevice::FireTimerTrigger(int trigger, const uint64_t* serial) {
  assert(!Table().lock.HeldByThisThread());
  {
    // Changes of this device's timer triggers wait for the device lock, so
    // the slot is still the one counted while the protocol has it.
    std::lock_guard lock(deviceLock_);
    if (serial) {
      std::lock_guard table(Table().lock);
      const TimerSlot& slot = TimerSlotOf(trigger, false);
      if (!slot.inUse || !slot.enabled || slot.device != this || slot.serial != *serial) return;
    }
    if (protocol_) protocol_->TimerTrigger(trigger);
  }
  if (OnTriggerTimer) OnTriggerTimer(*this, trigger);
}

void TCMDevice::DoReady() {
  if (OnReady && !destroying_) OnReady(*this);
}

TCMDevice::DataTrigger& TCMDevice::DataSlot(int handle, bool mustBeInUse) {
  if (handle < 1 || handle > kTriggerSlots) throw ETrigger("Bad data trigger handle");
  DataTrigger& slot = dataTriggers_[handle - 1];
  if (mustBeInUse && !slot.inUse) throw ETrigger("Bad data trigger handle");
  return slot;
}

int TCMDevice::AddDataTrigger(const std::string& pattern) {
  for (int h = 1; h <= kTriggerSlots; ++h) {
    DataTrigger& slot = dataTriggers_[h - 1];
    if (slot.inUse) continue;
    slot.pattern = pattern.substr(0, 255);
    slot.matchCount = 0;
    slot.transmitMore = false;
    slot.armed = true;
    slot.inUse = true;
    return h;
  }
  throw ETrigger("No empty data trigger slot!");
}

void TCMDevice::EnableDataTrigger(int handle) {
  DataTrigger& slot = DataSlot(handle, true);
  slot.matchCount = 0;
  slot.transmitMore = false;
  slot.armed = true;
}

void TCMDevice::DisableDataTrigger(int handle) { DataSlot(handle, true).armed = false; }

void TCMDevice::RemoveDataTrigger(int handle) { DataSlot(handle, false).inUse = false; }

void TCMDevice::MatchDataTrigger(int handle, const char* data, size_t length) {
  DataTrigger& slot = dataTriggers_[handle - 1];
  if (!slot.inUse) return;
  if (!slot.transmitMore) {
    ScanDataTrigger(handle, data, length);
    return;
  }
  if (slot.armed) {
    slot.transmitMore = false;
    ScanDataTrigger(handle, data, length);
    slot.transmitMore = true;
  }
  DoTriggerData(handle, data, length, slot.transmitMore);
}

void TCMDevice::ScanDataTrigger(int handle, const char* data, size_t length) {
  DataTrigger& slot = dataTriggers_[handle - 1];
  // An empty pattern matches nothing.
  if (!slot.armed || length < 1 || slot.pattern.empty()) return;
  for (size_t i = 0; i < length; ++i) {
    if (data[i] == slot.pattern[slot.matchCount]) {
      ++slot.matchCount;
    } else {
      slot.matchCount = 0;
    }
    if (slot.matchCount < slot.pattern.size()) continue;
    slot.armed = false;
    slot.transmitMore = false;
    slot.matchCount = 0;
    const size_t rest = length - i - 1;
    DoTriggerData(handle, data + i + 1, rest, slot.transmitMore);
    if (rest > 0 && slot.inUse) MatchDataTrigger(handle, data + i + 1, rest);
    return;
  }
}

// The timer triggers change under this device's lock, then the table's.
int TCMDevice::AddTimerTrigger(int interval) {
  TriggerTable& t = Table();
  std::lock_guard device(deviceLock_);
  std::lock_guard lock(t.lock);
  for (int h = 1; h <= kTriggerSlots; ++h) {
    TimerSlot& slot = t.slots[h - 1];
    if (slot.inUse) continue;
    slot.device = this;
    slot.interval = interval;
    slot.count = 0;
    slot.fired = false;
    slot.enabled = true;
    slot.inUse = true;
    slot.serial = t.nextSerial++;
    return h;
  }
  throw ETrigger("No empty timer trigger slot!");
}

void TCMDevice::EnableTimerTrigger(int handle) {
  std::lock_guard device(deviceLock_);
  std::lock_guard lock(Table().lock);
  TimerSlot& slot = TimerSlotOf(handle, false);
  slot.count = 0;
  slot.fired = false;
  slot.enabled = true;
  slot.serial = Table().nextSerial++;
}

void TCMDevice::DisableTimerTrigger(int handle) {
  std::lock_guard device(deviceLock_);
  std::lock_guard lock(Table().lock);
  TimerSlotOf(handle, false).enabled = false;
}

bool TCMDevice::TimerTriggerFired(int handle) {
  std::lock_guard lock(Table().lock);
  return TimerSlotOf(handle, true).fired;
}

void TCMDevice::RemoveTimerTrigger(int handle) {
  std::lock_guard device(deviceLock_);
  std::lock_guard lock(Table().lock);
  TimerSlotOf(handle, false).inUse = false;
}

int TCMDevice::SendData(const char* buffer, size_t length) {
  if (IsReady() && logging_) LogBlock("SEND", buffer, length);
  return static_cast<int>(length);
}

void TCMDevice::SetProtocol(TCMProtocol* protocol) {
  std::lock_guard lock(deviceLock_);
  protocol_ = protocol;
}

TCMProtocol* TCMDevice::Protocol() {
  std::lock_guard lock(deviceLock_);
  return protocol_;
}

void TCMDevice::HandToProtocol(const char* data, size_t length) {
  std::lock_guard lock(deviceLock_);
  if (protocol_) protocol_->ReceiveData(data, length);
}

void TCMDevice::HandToProtocolWhileOpen(const char* data, size_t length) {
  std::lock_guard lock(deviceLock_);
  if (protocol_ && GetOpened()) protocol_->ReceiveData(data, length);
}

void TCMDevice::SetOpenedLocked(std::atomic<bool>& flag, bool open) {
  std::lock_guard lock(deviceLock_);
  flag = open;
}

// ---------------------------------------------------------------------------
// TCMConnectionDevice

bool TCMConnectionDevice::IsIdle() const {
  return !IsConnected() && !IsConnecting() && !IsDisconnecting();
}

void TCMConnectionDevice::Fire(const TNotifyEvent& event) {
  if (event && !Destroying()) event(*this);
}

void TCMConnectionDevice::DoBusy() { Fire(OnBusy); }
void TCMConnectionDevice::DoCancelled() { Fire(OnCancelled); }
void TCMConnectionDevice::DoCancelling() { Fire(OnCancelling); }
void TCMConnectionDevice::DoConnected() {
  if (OnConnected) OnConnected(*this);
}
void TCMConnectionDevice::DoConnecting() { Fire(OnConnecting); }
void TCMConnectionDevice::DoConnectFailed() { Fire(OnConnectFailed); }
void TCMConnectionDevice::DoDisconnected() { Fire(OnDisconnected); }
void TCMConnectionDevice::DoNoAnswer() { Fire(OnNoAnswer); }

void TCMConnectionDevice::DoDisconnecting() {
  // The wait pumps messages, and a pumped task may take any lock (the tick
  // takes the table's, the protocol's end detaches it under the device
  // lock): so nothing is held while it waits.
  assert(!DeviceLock().HeldByThisThread());
  if (TCMProtocol* protocol = Protocol()) {
    if (protocol->IsActive()) DropOutput();
    protocol->Abort();
    const auto deadline = std::chrono::steady_clock::now() + ProtocolStopLimit;
    while (protocol->IsActive() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      Dispatcher().ProcessMessages();
    }
  }
  Fire(OnDisconnecting);
}

// ---------------------------------------------------------------------------
// TCMProtocol

void TCMProtocol::DoAborted() {
  if (reporting_ && OnAborted) OnAborted(*this);
}

void TCMProtocol::DoFinished() {
  if (reporting_ && OnFinished) OnFinished(*this);
}

void TCMProtocol::DoNextFile(std::string& path, std::string& alias) {
  if (!reporting_) {
    path.clear();
  } else if (OnNextFile) {
    OnNextFile(*this, path, alias);
  }
  if (path.empty()) {
    alias.clear();
  } else if (alias.empty()) {
    const auto slash = path.find_last_of("/\\");
    alias = slash == std::string::npos ? path : path.substr(slash + 1);
  }
}

void TCMProtocol::DoAcceptFile(bool& accept, std::string& fname, int64_t size, int64_t unixDate) {
  accept = reporting_;
  if (accept && OnAcceptFile) OnAcceptFile(*this, accept, fname, size, unixDate);
}

namespace {
// (position - offset) * 1000 / elapsed, in 64 bits, unsigned as the
// original divides; elapsed is at least 1 ms, a position before the offset
// counts no bytes.
int64_t Rate(uint32_t now, uint32_t start, int64_t position, int64_t offset) {
  uint32_t elapsed = now - start;
  if (elapsed < 1) elapsed = 1;
  const auto bytes = static_cast<uint64_t>(std::max<int64_t>(position - offset, 0));
  return static_cast<int64_t>(bytes * 1000u / elapsed);
}
}  // namespace

void TCMProtocol::DoProtocolState(int state, const std::string& msg, int64_t param1,
                                  int64_t param2) {
  if (!reporting_) return;
  switch (state) {
    case psSendStart:
      sendStart_ = Clock();
      sendRate_ = 0;
      sendOffset_ = sendPos_ = sendConfirmed_ = sendShown_ = 0;
      break;
    // A block handed to the device is not on the line yet: the running rate
    // counts up to the furthest of the position the remote has confirmed
    // and the position whose bytes have left the device; the rate of the
    // whole file is taken when the remote has confirmed it. Both run over
    // the time from the file's start.
    // What the device counts as gone may still wait in a buffer it cannot
    // see into (a pseudo-terminal's, a modem's): the line cannot have
    // carried more than its rate allows since the file's start.
    case psSendProgress: {
      sendPos_ = param1;
      sendConfirmed_ = std::max(sendConfirmed_, param2);
      int64_t gone = 0;
      if (Device) {
        Device->MarkSendPosition(param1);
        gone = Device->SendPositionOnLine();
      }
      // The time is taken after the position, so it covers those bytes.
      const uint32_t now = Clock();
      const int64_t perSecond = Device ? Device->LineBytesPerSecond() : 0;
      if (perSecond > 0) {
        const int64_t elapsed = std::max<uint32_t>(now - sendStart_, 1);
        gone = std::min(gone, sendOffset_ + perSecond * elapsed / 1000);
      }
      sendShown_ = std::max(sendConfirmed_, gone);
      sendRate_ = Rate(now, sendStart_, sendShown_, sendOffset_);
      param2 = sendRate_;
      break;
    }
    case psSent:
      sendRate_ = Rate(Clock(), sendStart_, sendPos_, sendOffset_);
      param1 = sendRate_;
      break;
    case psSendResume: sendOffset_ = sendConfirmed_ = sendShown_ = param1; break;
    case psReceiveStart:
      receiveStart_ = Clock();
      receiveRate_ = 0;
      receiveOffset_ = 0;
      break;
    case psReceiveProgress:
      receiveRate_ = Rate(Clock(), receiveStart_, param1, receiveOffset_);
      param2 = receiveRate_;
      break;
    case psReceived: param1 = receiveRate_; break;
    case psReceiveResume: receiveOffset_ = param1; break;
    default: break;
  }
  if (OnProtocolState) OnProtocolState(*this, state, msg, param1, param2);
}

}  // namespace velmaris
