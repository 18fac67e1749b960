#include "mailer/CMD_TAPI.h"

#include <algorithm>
#include <cassert>

#include "core/Settings.h"
#include "platform/Ascii.h"

namespace velmaris {

using namespace std::chrono_literals;

namespace {

std::string TrimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::optional<TLineDeviceEntry> ParseLineSetting(const std::string& line) {
  const auto eq = line.find('=');
  if (eq == std::string::npos) return std::nullopt;
  TLineDeviceEntry e;
  e.Name = TrimBlanks(line.substr(0, eq));
  std::vector<std::string> fields;
  for (size_t start = eq + 1;;) {
    const auto semi = line.find(';', start);
    fields.push_back(
        TrimBlanks(line.substr(start, semi == std::string::npos ? semi : semi - start)));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  e.Path = fields[0];
  if (e.Name.empty() || e.Path.empty()) return std::nullopt;
  if (fields.size() > 1) {
    const std::string& speed = fields[1];
    if (!speed.empty() && speed.size() <= 7 &&
        std::all_of(speed.begin(), speed.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      const uint32_t bps = static_cast<uint32_t>(std::stoul(speed));
      if (bps >= 300 && bps <= 4000000) e.Speed = bps;
    }
  }
  if (fields.size() > 2) {
    if (platform::EqualNoCase(fields[2], "rtscts")) e.RtsCts = true;
    if (platform::EqualNoCase(fields[2], "none")) e.RtsCts = false;
  }
  return e;
}

std::string LineSettingText(const TLineDeviceEntry& entry) {
  std::string text = entry.Name + "=" + entry.Path;
  if (entry.Speed != TLineDeviceEntry::kDefaultSpeed || !entry.RtsCts)
    text += ";" + std::to_string(entry.Speed);
  if (!entry.RtsCts) text += ";none";
  return text;
}

std::vector<std::string> WithLineSetting(std::vector<std::string> configured,
                                         const TLineDeviceEntry& entry) {
  for (std::string& line : configured) {
    const auto parsed = ParseLineSetting(line);
    if (parsed && parsed->Name == entry.Name) {
      line = LineSettingText(entry);
      return configured;
    }
  }
  configured.push_back(LineSettingText(entry));
  return configured;
}

std::vector<TLineDeviceEntry> ListLineDevices(const std::vector<std::string>& configured,
                                              const std::string& devRoot) {
  std::vector<TLineDeviceEntry> list;
  for (const std::string& line : configured) {
    if (auto e = ParseLineSetting(line)) list.push_back(std::move(*e));
  }
  const size_t configuredCount = list.size();
  for (const std::string& path : platform::FindSerialDevices(devRoot)) {
    const bool named = std::any_of(list.begin(), list.begin() + configuredCount,
                                   [&](const TLineDeviceEntry& e) { return e.Path == path; });
    if (!named) list.push_back({path, path});
  }
  return list;
}

TCMTAPIDevice::TCMTAPIDevice(platform::Dispatcher& dispatcher) : TCMStreamDevice(dispatcher) {
  // The far end of a session that ended well waits about 2 s after its last
  // data before it hangs up itself; ours hangs up a little before that.
  EndMargin = 1200ms;
  try {
    ApplySettings(*GetSettings().Snapshot());
  } catch (const ESettings&) {
    // No program settings (a test, a tool): the defaults stand.
  }
}

TCMTAPIDevice::~TCMTAPIDevice() {
  SetDestroying();
  Close();
  JoinPumping(dialer_, dialerDone_);
  JoinPumping(disconnector_, disconnectorDone_);
  ShutDown();
}

void TCMTAPIDevice::ApplySettings(const SettingsValues& settings) {
  ConfiguredLines = settings.Lines(SettingId::ModemLines);
  InitString = settings.Text(SettingId::EdModemInit);
  DialLimit = std::chrono::seconds(settings.Number(SettingId::SpDialTimeout));
  Location = LocationOf(settings);
  if (deviceName_.empty()) return;
  wanted_ = TLineDeviceEntry{deviceName_, deviceName_.front() == '/' ? deviceName_ : ""};
  for (const TLineDeviceEntry& e : ListLineDevices(ConfiguredLines, DevRoot)) {
    if (e.Name == deviceName_) {
      wanted_ = e;
      break;
    }
  }
  if (IsIdle()) TakeWantedLine();
}

void TCMTAPIDevice::TakeWantedLine() {
  AssertMainThread();
  assert(IsIdle());
  if (wanted_ == line_) return;
  TapiDebugLog("Line " + deviceName_ + " is now " + LineSettingText(wanted_));
  const bool wasOpen = port_.IsOpen();
  port_.Close();
  line_ = wanted_;
  if (!wasOpen || line_.Path.empty()) return;
  std::string error;
  if (!EnsurePort(&error)) SetLastError(error);  // the next call tries again
}

void TCMTAPIDevice::SetLastError(const std::string& text) {
  TapiDebugLog(text);
  std::lock_guard lock(errorMutex_);
  lastError_ = text;
}

std::string TCMTAPIDevice::LastError() const {
  std::lock_guard lock(errorMutex_);
  return lastError_;
}

void TCMTAPIDevice::JoinPumping(std::thread& thread, platform::Event& done) {
  if (!thread.joinable()) return;
  while (!done.Wait(5ms)) {
    if (Dispatcher().IsMainThread()) Dispatcher().ProcessMessages();
  }
  thread.join();
}

// --- Selecting and opening the line ----------------------------------------

void TCMTAPIDevice::SetDeviceName(const std::string& name) {
  if (name == deviceName_) return;
  TapiDebugLog("Setting Device Name to " + name);
  const auto list = ListLineDevices(ConfiguredLines, DevRoot);
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].Name == name) {
      SetDeviceID(static_cast<int>(i));
      return;
    }
  }
  SetDeviceID(-1);
  if (!name.empty() && name.front() == '/') {
    deviceName_ = name;
    line_ = wanted_ = TLineDeviceEntry{name, name};
  }
}

void TCMTAPIDevice::SetDeviceID(int id) {
  if (id == deviceId_ && id != -1) return;
  TapiDebugLog("Setting Device ID to " + std::to_string(id));
  const bool wasOpen = opened_;
  Close();
  deviceName_.clear();
  line_ = wanted_ = TLineDeviceEntry{};
  deviceId_ = -1;
  const auto list = ListLineDevices(ConfiguredLines, DevRoot);
  if (id >= 0 && static_cast<size_t>(id) < list.size()) {
    line_ = wanted_ = list[static_cast<size_t>(id)];
    deviceName_ = line_.Name;
    deviceId_ = id;
  }
  if (wasOpen) Open();
}

void TCMTAPIDevice::SetOpened(bool open) {
  if (open) {
    Open();
  } else {
    Close();
  }
}

void TCMTAPIDevice::Open() {
  AssertMainThread();
  if (opened_) return;
  if (line_.Path.empty()) {
    SetLastError("No line device selected");
    DoDeviceUnavailable();
    return;
  }
  try {
    port_.Open(line_.Path, line_.Speed, line_.RtsCts);
    SetOpenedLocked(opened_, true);
    lineUp_ = false;
    TapiDebugLog("Opened " + LineSettingText(line_));
  } catch (const platform::ESerialPort& e) {
    SetLastError(e.what());
    DoDeviceUnavailable();
  }
}

void TCMTAPIDevice::Close() {
  AssertMainThread();
  if (!opened_) return;
  HangUp();
  while (!IsIdle()) {
    Dispatcher().ProcessMessages();
    std::this_thread::sleep_for(5ms);
  }
  JoinPumping(dialer_, dialerDone_);
  JoinPumping(disconnector_, disconnectorDone_);
  // From here no received block reaches a protocol.
  SetOpenedLocked(opened_, false);
  port_.Close();
  TapiDebugLog("Closed " + line_.Path);
}

void TCMTAPIDevice::SetPhoneNumber(const std::string& number) {
  if (number == phoneNumber_) return;
  const TTranslatedNumber t = TranslateAddress(number, Location);
  dialable_ = t.dialable;
  displayable_ = t.displayable;
  phoneNumber_ = number;
  TapiDebugLog("Translated " + number + " to " + dialable_);
}

// --- A call --------------------------------------------------------------------

void TCMTAPIDevice::MakeCall() {
  AssertMainThread();
  if (!opened_ || !IsIdle()) return;
  JoinPumping(dialer_, dialerDone_);
  JoinPumping(disconnector_, disconnectorDone_);
  TakeWantedLine();
  abort_ = false;
  connecting_ = true;
  dataRate_ = -1;
  DoConnecting();
  if (!connecting_ || disconnecting_) return;  // the handler hung up already
  dialerDone_.Reset();
  dialer_ = std::thread([this, number = dialable_] { DialThread(number); });
}

bool TCMTAPIDevice::EnsurePort(std::string* error) {
  if (port_.IsOpen()) return true;
  try {
    port_.Open(line_.Path, line_.Speed, line_.RtsCts);
    return true;
  } catch (const platform::ESerialPort& e) {
    *error = e.what();
    return false;
  }
}

void TCMTAPIDevice::MakeCallCompleted(const std::string& error, bool unavailable) {
  SetLastError(error);
  Dispatcher().Send([&] {
    connecting_ = false;
    if (unavailable) DoDeviceUnavailable();
    DoConnectFailed();
  });
}

void TCMTAPIDevice::DialThread(std::string dialable) {
  std::string error;
  auto done = [this] { dialerDone_.Set(); };
  if (dialable.empty()) {
    MakeCallCompleted("No number to dial", false);
    return done();
  }
  if (!EnsurePort(&error)) {
    if (!abort_) MakeCallCompleted(error, true);
    return done();
  }
  if (!modem_.Initialise(InitString, CommandLimit, &error, &abort_)) {
    if (abort_) return done();  // the hang-up thread reports the cancel
    std::string junk;
    if (port_.Read(junk, 4096, 0ms) == platform::SerialPort::IoResult::Gone) port_.Close();
    MakeCallCompleted(error, false);
    return done();
  }
  TapiDebugLog("Dialing ATDT" + dialable);
  THayesModem::Answer a = modem_.Command("ATDT" + dialable, DialLimit, &abort_);
  if (a.result == ModemResult::None && !a.gone) {
    // Any character stops a dial; the modem then answers NO CARRIER or OK
    // (or, rarely, the call came through just then).
    if (port_.Write("\r", CommandLimit) == platform::SerialPort::IoResult::Ok) {
      const THayesModem::Answer stop = modem_.WaitResult(CommandLimit);
      if (stop.result == ModemResult::Connect) a = stop;
    }
  }
  if (a.result == ModemResult::Connect) {
    lineUp_ = true;
    if (!abort_) {
      Dispatcher().Send([&] {
        if (!disconnecting_) CallConnected(a.rate);
      });
    }
    return done();
  }
  if (abort_) return done();
  int64_t mode = dmNormal;
  switch (a.result) {
    case ModemResult::Busy:
      mode = dmBusy;
      SetLastError("BUSY");
      break;
    case ModemResult::NoAnswer:
      mode = dmNoAnswer;
      SetLastError("NO ANSWER");
      break;
    case ModemResult::None:
      mode = a.gone ? dmUnavailable : dmNoAnswer;
      SetLastError(a.gone ? "The modem has gone away" : "No answer within the dial time");
      break;
    case ModemResult::NoDialtone:
      mode = dmUnavailable;
      SetLastError("NO DIALTONE");
      break;
    case ModemResult::NoCarrier: SetLastError("NO CARRIER"); break;
    default: SetLastError("ERROR"); break;
  }
  if (a.gone) port_.Close();
  Events().Post(cmRemoteDisconnect, mode);
  done();
}

void TCMTAPIDevice::CallConnected(uint32_t rate) {
  AssertMainThread();
  connecting_ = false;
  connected_ = true;
  dataRate_ = rate;
  // Without a rate in CONNECT the line carries no more than the port's speed.
  SetLineRate(rate ? rate : line_.Speed);
  TapiDebugLog("Connected at " + std::to_string(rate));
  DoConnected();
  if (!connected_ || disconnecting_) return;
  platform::ModemLines lines;
  Events().SetLineStatus(port_.GetModemLines(lines) ? 0 : (lsCTS | lsDSR | lsRLSD));
  // What came right behind CONNECT is the call's first data.
  std::string early = modem_.TakePending();
  if (!early.empty()) Events().ReadChannel().Put(std::move(early));
  OpenCommPort(port_.Fd());
  DoReady();
}

void TCMTAPIDevice::HangUp() {
  AssertMainThread();
  if (disconnecting_ || IsIdle()) return;
  disconnecting_ = true;
  TapiDebugLog("Hanging up");
  if (connecting_) {
    abort_ = true;
    DoCancelling();
  }
  if (connected_) DoDisconnecting();
  if (connected_) DrainOutput();
  CloseCommPort();
  JoinPumping(disconnector_, disconnectorDone_);
  disconnectorDone_.Reset();
  disconnector_ = std::thread([this] { Disconnector(); });
}

void TCMTAPIDevice::Disconnector() {
  TapiDebugLog("Waiting for call handle to disconnect ...");
  while (!dialerDone_.Wait(1s)) {
  }
  if (lineUp_) {
    DropLine();
    lineUp_ = false;
  }
  Dispatcher().Send([this] {
    if (connecting_) {
      connecting_ = false;
      DoCancelled();
    }
    if (connected_) {
      connected_ = false;
      dataRate_ = -1;
      DoDisconnected();
    }
    disconnecting_ = false;
  });
  TapiDebugLog("Disconnected");
  disconnectorDone_.Set();
}

void TCMTAPIDevice::DropLine() {
  if (!port_.IsOpen()) return;
  auto lineGone = [this] {
    TapiDebugLog("The line is gone");
    port_.Close();
  };
  std::string junk;
  if (port_.Read(junk, 4096, 0ms) == platform::SerialPort::IoResult::Gone) return lineGone();
  // The serial threads saw the carrier drop (DCD, or the line's end): the
  // modem has ended the call itself, there is nothing to drop or wait for.
  if (Events().CallFailed()) {
    TapiDebugLog("The carrier is gone");
    port_.Purge();
    return;
  }
  // What the hang-up left unsent stays so: the modem does not take it any
  // more (it would reach a modem in command mode as garbage). From here the
  // line is silent; it was since the modem took the last byte, which at the
  // latest is when the bytes written can have left at the call's rate.
  port_.Purge();
  const auto now = std::chrono::steady_clock::now();
  const TOutputCount::TState out = OutputState();
  const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(
      now - std::min(now, std::max(out.lastWrite, out.lineClear)));
  if (port_.SetDTR(false)) {
    std::this_thread::sleep_for(500ms);
    port_.SetDTR(true);
    port_.Purge();
    TapiDebugLog("DTR dropped");
    return;
  }
  // No modem lines (a pty): the speed 0 says the same to whoever serves the
  // other side; a modem that hangs up on it answers NO CARRIER at once. The
  // wait is silence on the line, so it counts as the escape's first guard
  // time: it lasts what is left of that guard time, at least kDtrAnswer.
  const auto waitStart = std::chrono::steady_clock::now();
  if (port_.SetZeroSpeed(true)) {
    const THayesModem::Answer a = modem_.WaitResult(std::max(kDtrAnswer, GuardTime - quiet));
    port_.SetZeroSpeed(false);
    if (a.result == ModemResult::NoCarrier) {
      port_.Purge();
      TapiDebugLog("DTR dropped (speed 0)");
      return;
    }
    // The carrier went while we waited (the far end ended the call): no
    // escape is waited for on a line that is gone.
    if (a.gone) return lineGone();
  }
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - waitStart);
  if (modem_.Escape(GuardTime, CommandLimit, quiet + waited) &&
      modem_.Command("ATH0", CommandLimit).result == ModemResult::Ok) {
    TapiDebugLog("ATH0 done");
    return;
  }
  TapiDebugLog("The modem did not hang up; the port is closed");
  // What is still unsent cannot leave (the hang-up let it drain first):
  // discarded, so that the close does not wait for it.
  port_.Purge();
  port_.Close();
}

}  // namespace velmaris
