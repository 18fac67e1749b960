#include "mailer/MailerSession.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <thread>

#include "core/ConfigStore.h"
#include "core/Report.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMHydra.h"
#include "mailer/CMZModem.h"
#include "nodelist/NodelistLookup.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/WireName.h"
#include "processing/OutPacket.h"

namespace velmaris {

namespace {

int gActiveSessions = 0;

// The session's own tick: handshake timers, the connection time.
constexpr int kTickInterval = 2;  // ticks of 54 ms

std::string Stamp(TDateTime when) {
  const TDateTimeParts p = DecodeDateTime(when);
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", p.Day, p.Month, p.Year % 100,
                p.Hour, p.Minute, p.Second);
  return text;
}

std::string OwnName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

int ActiveMailerSessions() { return gActiveSessions; }

std::string CanonicalPhoneNumber(const std::string& number) {
  if (number.empty() || number[0] != '+') return number;
  size_t i = 1;
  while (i < number.size() && std::isdigit(static_cast<unsigned char>(number[i]))) ++i;
  const std::string country = number.substr(1, i - 1);
  while (i < number.size() && !std::isdigit(static_cast<unsigned char>(number[i])) &&
         number[i] != '(')
    ++i;
  const std::string rest = number.substr(i);
  std::string out = "+" + country + " ";
  if (rest.find('(') != std::string::npos) return out + rest;
  const size_t dash = rest.find('-');
  if (dash != std::string::npos)
    return out + "(" + rest.substr(0, dash) + ") " + rest.substr(dash + 1);
  return out + "() " + rest;
}

std::string HydraAppInfoLine(const std::string& appInfo) {
  bool hex = appInfo.size() >= 8;
  for (size_t i = 0; hex && i < 8; ++i) hex = std::isxdigit(static_cast<unsigned char>(appInfo[i]));
  if (!hex) return "HAPP Defunct Appinfo: " + appInfo;
  const auto built = static_cast<std::time_t>(std::stoul(appInfo.substr(0, 8), nullptr, 16));
  return "HAPP Implementation: Hydra from " + LogTimeStamp(built) + " in " + appInfo.substr(8);
}

std::string FormatDuration(int64_t s) {
  char text[48];
  if (s < 60) {
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(s));
  } else if (s < 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld min", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld h", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  }
  return text;
}

std::string TMailerSession::TTransferDisplay::TimeNeeded() const {
  return Rate > 0 ? FormatDuration(Size / Rate) : "?";
}
std::string TMailerSession::TTransferDisplay::TimeLeft() const {
  return Rate > 0 ? FormatDuration(std::max<int64_t>(Size - Position, 0) / Rate) : "?";
}
int TMailerSession::TTransferDisplay::Percent() const {
  return Size > 0 ? static_cast<int>(Position * 100 / Size) : 0;
}

void TMailerSession::ShowTransfer(bool sending) {
  if (OnTransfer) OnTransfer(sending, sending ? sendDisplay_ : receiveDisplay_);
}

// --- Life ------------------------------------------------------------------------

TMailerSession::TMailerSession(TMailer& profile, TCMConnectionDevice& device, TMailerContext ctx)
    : profile_(profile), device_(device), ctx_(std::move(ctx)) {
  if (!ctx_.Clock) ctx_.Clock = [] { return Now(); };
  if (!ctx_.MakeProtocol) {
    ctx_.MakeProtocol = [this](TEmsiProtocol kind) -> std::unique_ptr<TCMProtocol> {
      if (kind == TEmsiProtocol::Hydra) {
        auto h = std::make_unique<TCMHydra>(device_.Dispatcher());
        h->OnDevData = [this](TCMHydra&, const std::string& dev, const std::string& msg) {
          if (dev == "MSG") AddLogLine("HMSG " + platform::LogName(platform::DiskName(msg)));
        };
        return h;
      }
      if (kind != TEmsiProtocol::ZModem && kind != TEmsiProtocol::ZedZap) return nullptr;
      auto z = std::make_unique<TCMZModem>(device_.Dispatcher());
      z->ZedZap = kind == TEmsiProtocol::ZedZap;
      return z;
    };
  }
  const auto values = Store().Values();
  outbound_ = std::make_unique<TOutbound>(*values);
  if (auto* line = dynamic_cast<TCMTAPIDevice*>(&device_)) deviceName_ = line->DeviceName();
  WireDevice();
  AddLogLine("STRT Mailer started");
}

TMailerSession::~TMailerSession() {
  if (redialTimer_) device_.Dispatcher().StopTimer(redialTimer_);
  redialTimer_ = 0;
  redialPending_ = false;
  // A call that stands is cut, and the log waits for its abort and hang-up
  // lines: REPORT must not show a cut call as complete.
  if (!device_.IsIdle()) {
    CutCall();
    while (!device_.IsIdle()) {
      device_.Dispatcher().ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    device_.Dispatcher().ProcessMessages();  // the protocol's last reports
  }
  *alive_ = false;
  AddLogLine("");
  AddLogLine("QUIT Mailer quitted");
  if (PostLogOnEnd && log_.size() > 3 && Store().Values()->MailerReport()) {
    WriteReportMessage("Integrated Mailer", "Sysop", profile_.Name() + " Mailer Log",
                       "Velmaris 95 integrated Mailer - " + profile_.Name(), log_);
  }
  if (protocol_) {
    protocol_->Abort();
    device_.SetProtocol(nullptr);
  }
  if (!device_.IsIdle()) device_.HangUp();
  if (tickTrigger_) device_.RemoveTimerTrigger(tickTrigger_);
  UnwireDevice();
  protocol_.reset();
  DropDummyPacket();
  SetSessionActive(false);
}

TConfigStore& TMailerSession::Store() const {
  TConfigStore* store = ctx_.Store ? ctx_.Store : GetConfigStore();
  assert(store);
  return *store;
}

void TMailerSession::SelectDevice(const std::string& name) {
  deviceName_ = name;
  if (auto* line = dynamic_cast<TCMTAPIDevice*>(&device_)) line->SetDeviceName(name);
}

void TMailerSession::ScanOutbound() {
  if (device_.IsConnected()) return;
  outbound_ = std::make_unique<TOutbound>(*Store().Values());
  outbound_->ScanOutbound();
}

void TMailerSession::AddLogLine(const std::string& text) {
  const std::string line = Stamp(ctx_.Clock()) + " " + text;
  log_.push_back(line);
  if (OnLogLine) OnLogLine(line);
}

void TMailerSession::SetError(const std::string& error) {
  if (error_.empty()) error_ = error;
}

namespace {

std::string UnstoredText(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  if (names.size() == 1) return "File " + names[0] + " could not be stored";
  std::string text = "Files ";
  for (size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text + " could not be stored";
}

}  // namespace

void TMailerSession::NoteUnstored(const std::string& name) {
  const bool ours = error_.empty() || error_ == UnstoredText(unstored_);
  // A file offered again is named once.
  if (std::find(unstored_.begin(), unstored_.end(), name) != unstored_.end()) return;
  unstored_.push_back(name);
  if (ours) error_ = UnstoredText(unstored_);
}

void TMailerSession::SetStatus(const std::string& status) {
  status_ = status;
  if (OnStatus) OnStatus(status);
}

void TMailerSession::CallStep(TCallStep step) {
  if (OnCallStep) OnCallStep(step);
}

// --- Numbers and calls ---------------------------------------------------------------

bool TMailerSession::PollAddress(const std::string& addressText) {
  error_.clear();
  unstored_.clear();
  const auto parsed = ParseFidoAddress(addressText);
  if (!parsed) {
    error_ = "Not a network address: " + addressText;
    AddLogLine("DERR " + error_);
    return false;
  }
  const std::string text = FidoAddressToStr(*parsed);
  std::string name;
  std::vector<std::string> numbers;
  auto nodelistNumber = [&](std::string* systemName) {
    if (!ctx_.Nodelist) return false;
    ctx_.Nodelist->Lock();
    const int n = ctx_.Nodelist->FindAddress(*parsed);
    if (n >= 0) {
      const std::string misc = ctx_.Nodelist->GetMisc(n);
      numbers.push_back("+" + misc.substr(0, misc.find(',')));
      if (systemName) {
        *systemName = ctx_.Nodelist->GetSystemName(n);
        for (char& c : *systemName)
          if (c == '_') c = ' ';
      }
    }
    ctx_.Nodelist->Unlock();
    return n >= 0;
  };
  const TMBList& boxes = Store().Mailboxes();
  for (int i = 0; i < boxes.GetCount() && numbers.empty(); ++i) {
    const TMailBox* box = boxes.GetItem(i);
    if (!box || !SameFidoAddress(box->Address.Address(), *parsed)) continue;
    name = box->Name;
    if (!box->Numbers.empty())
      numbers = box->Numbers;
    else
      nodelistNumber(nullptr);
  }
  if (numbers.empty() && !nodelistNumber(&name)) {
    error_ = "Please add a mailbox to the mailbox settings that has the network address " + text +
             " or use a node list that lists this mailbox!";
    AddLogLine("DERR " + error_);
    return false;
  }
  return CallSystem(name, text, numbers);
}

bool TMailerSession::PollCommand(const std::string& addressText) {
  ResetRedial();
  if (PollAddress(addressText)) return true;
  if (error_ == kInUseText)
    platform::GetPrompter().Inform(error_);
  else
    platform::GetPrompter().Error(error_);
  return false;
}

bool TMailerSession::CallSystem(const std::string& systemName, const std::string& addressText,
                                const std::vector<std::string>& numbers) {
  if (!device_.IsIdle()) {
    error_ = kInUseText;
    AddLogLine("DERR " + error_);
    return false;
  }
  error_.clear();
  unstored_.clear();
  systemName_ = systemName;
  addressText_ = addressText;
  if (&numbers != &numbers_) numbers_ = numbers;
  called_ = ParseFidoAddress(addressText).value_or(TFidoAddr{});
  AddLogLine("");
  AddLogLine("DSYS Connecting to system " + systemName + "(" + FidoAddressToStr(called_) + ")");
  // Nothing is fetched that could not be kept: a remote takes a file we
  // fail to store as delivered, or as one to try again at once.
  if (const std::string inbound = InboundProblem(Store().Values()->InboundDir());
      !inbound.empty()) {
    const std::string line = inbound + ": no call is made";
    error_ = platform::LineText(line, platform::LinePage::Utf8);
    AddLogLine("DERR " + platform::LogName(line));
    CancelRedial();
    return false;
  }
  if (numbers_.empty()) {
    error_ = "No number to dial";
    AddLogLine("DERR " + error_);
    CancelRedial();
    return false;
  }
  size_t index = 0;
  if (profile_.ReDials > 0 && remainingRedials_ >= 0 && remainingRedials_ < profile_.ReDials)
    index = static_cast<size_t>(profile_.ReDials - remainingRedials_) % numbers_.size();
  const std::string number = numbers_[index];
  AddLogLine("DEBG Original number: " + number);
  const std::string translated = Store().Values()->TranslatePhoneNumber(number);
  AddLogLine("DEBG Translated number: " + translated);
  const std::string canonical = CanonicalPhoneNumber(translated);
  AddLogLine("DEBG Canonical format: " + canonical);
  ScanOutbound();
  BuildEmsiDat(called_);
  wasConnected_ = completed_ = false;
  Dial(canonical);
  return true;
}

void TMailerSession::Dial(const std::string& number) {
  SetSessionActive(true);
  SetStatus("Opening TAPI device ...");
  if (!device_.Opened()) device_.Open();
  if (!device_.Opened()) {
    AddLogLine("DERR Could not open the line device " + deviceName_);
    SetSessionActive(false);
    CancelRedial();
    SetStatus("Ready");  // the window learns that it is idle again
    return;
  }
  device_.SetPhoneNumber(number);
  AddLogLine("DIAL Dialing  " + device_.GetDisplayableNumber() + " ...");
  SetStatus("Connecting to " + device_.GetDisplayableNumber() + " ...");
  if (auto* line = dynamic_cast<TCMStreamDevice*>(&device_)) line->SetReadSize(profile_.ReadJob);
  if (auto* line = dynamic_cast<TCMTAPIDevice*>(&device_)) {
    line->BufferIn = profile_.InBufSize;
    line->BufferOut = profile_.OutBufSize;
    line->CustomBufferSizes = profile_.OwnBufferSizes;
  }
  try {
    device_.MakeCall();
  } catch (const std::exception& e) {
    // The attempt ends here: nothing will report its end.
    AddLogLine("DERR Could not connect");
    SetSessionActive(false);
    SetStatus("Ready");
    ScheduleRedial();
  }
}

void TMailerSession::SetSessionActive(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  gActiveSessions += busy ? 1 : -1;
  if (gActiveSessions == 0 && InboundMailPending() && Store().Values()->AutoImport() &&
      ctx_.StartTosser) {
    ctx_.StartTosser();
  }
}

void TMailerSession::ResetRedial() {
  if (redialTimer_) device_.Dispatcher().StopTimer(redialTimer_);
  redialTimer_ = 0;
  remainingRedials_ = profile_.ReDials;
  redialPending_ = remainingRedials_ > 0;
  countdown_ = profile_.ReDialWait;
}

void TMailerSession::ScheduleRedial() {
  if (!redialPending_ || redialTimer_) return;
  // Without a wait the next attempt still waits until the line is idle.
  const bool immediate = profile_.ReDialWait <= 0;
  countdown_ = immediate ? 1 : profile_.ReDialWait;
  std::weak_ptr<bool> alive = alive_;
  redialTimer_ = device_.Dispatcher().StartTimer(
      immediate ? std::chrono::milliseconds(50) : std::chrono::milliseconds(1000), [this, alive] {
        if (alive.lock()) Redial();
      });
}

void TMailerSession::Redial() {
  if (countdown_ > 1) {
    --countdown_;
    SetStatus("New dial attempt in " + std::to_string(countdown_) + " seconds");
    return;
  }
  if (!device_.IsIdle()) return;  // the failed attempt is still being hung up
  countdown_ = profile_.ReDialWait;
  if (redialTimer_) device_.Dispatcher().StopTimer(redialTimer_);
  redialTimer_ = 0;
  --remainingRedials_;
  redialPending_ = remainingRedials_ > 0;
  CallSystem(systemName_, addressText_, numbers_);
  if (!redialPending_) AddLogLine("RDIA Dial retries finished !");
}

void TMailerSession::CancelRedial() {
  if (!redialPending_) return;
  redialPending_ = false;
  SetStatus("Ready");
  if (redialTimer_) device_.Dispatcher().StopTimer(redialTimer_);
  redialTimer_ = 0;
}

void TMailerSession::HangUp() {
  if (device_.IsIdle() || device_.IsDisconnecting()) return;
  device_.HangUp();
}

void TMailerSession::CutCall() {
  if (device_.IsIdle() || device_.IsDisconnecting()) return;
  device_.DropOutput();
  device_.HangUp();
}

void TMailerSession::HangupCommand() {
  error_.clear();
  unstored_.clear();
  if (!device_.IsIdle()) {
    AddLogLine("USER User requested to hang up");
    CutCall();
  } else if (redialPending_) {
    AddLogLine("USRD Dial retries aborted");
    CancelRedial();
  } else {
    error_ = "Mailer is already inactive";
  }
}

void TMailerSession::EndSession() {
  DropDummyPacket();
  SetSessionActive(false);
  ScanOutbound();
  SetStatus("Ready");
}

// --- Device events -----------------------------------------------------------------------

void TMailerSession::WireDevice() {
  TCMConnectionDevice& d = device_;
  d.OnBusy = [this](TCMDevice&) { AddLogLine("TAPI Busy"); };
  d.OnConnecting = [this](TCMDevice&) { AddLogLine("TAPI Connecting"); };
  d.OnCancelling = [this](TCMDevice&) { AddLogLine("TAPI Aborting connection attempt ..."); };
  d.OnDeviceUnavailable = [this](TCMDevice&) { AddLogLine("TAPI Device unavailable"); };
  d.OnNoAnswer = [this](TCMDevice&) { AddLogLine("TAPI No connection"); };
  d.OnConnected = [this](TCMDevice&) { OnConnected(); };
  d.OnReady = [](TCMDevice&) {};
  d.OnDataAvail = [this](TCMDevice&, const std::string& data) {
    if (!handshaking_ || !emsi_) return;
    emsi_->Receive(data);
    PumpHandshake();
  };
  d.OnTriggerTimer = [this](TCMDevice&, int handle) { OnTimer(handle); };
  d.OnDisconnecting = [this](TCMDevice&) {
    SetStatus("Disconnecting ...");
    AddLogLine("TAPI Disconnecting ...");
    handshaking_ = false;
    CallStep(TCallStep::Disconnecting);
  };
  d.OnDisconnected = [this](TCMDevice&) {
    if (tickTrigger_) device_.RemoveTimerTrigger(tickTrigger_);
    tickTrigger_ = 0;
    transferring_ = false;
    if (protocol_) device_.SetProtocol(nullptr);
    EndSession();
    AddLogLine("TAPI Connection closed");
    const uint32_t seconds = (CommTickCount() - connectedAt_) / 1000;
    AddLogLine("TIME You were connected for " + FormatDuration(seconds));
    CancelRedial();
  };
  d.OnConnectFailed = [this](TCMDevice&) {
    AddLogLine("TAPI Could not establish connection");
    // Idle first: the status report is what the window shows its state by.
    SetSessionActive(false);
    SetStatus("Ready");
    ScheduleRedial();
  };
  // A failed dial is also cancelled (the line is hung up): one redial.
  d.OnCancelled = [this](TCMDevice&) {
    if (wasConnected_) return;  // a hang-up of a call that stood
    EndSession();
    AddLogLine("TAPI Connection attempt aborted");
    ScheduleRedial();
  };
}

void TMailerSession::UnwireDevice() {
  TCMConnectionDevice& d = device_;
  d.OnBusy = d.OnConnecting = d.OnCancelling = d.OnDeviceUnavailable = d.OnNoAnswer = nullptr;
  d.OnConnected = d.OnReady = d.OnDisconnecting = d.OnDisconnected = nullptr;
  d.OnConnectFailed = d.OnCancelled = nullptr;
  d.OnDataAvail = nullptr;
  d.OnTriggerTimer = nullptr;
}

void TMailerSession::OnConnected() {
  wasConnected_ = true;
  connectedAt_ = CommTickCount();
  AddLogLine("CONN Connected");
  int64_t rate = -1;
  if (auto* line = dynamic_cast<TCMStreamDevice*>(&device_)) rate = line->GetDataRate();
  AddLogLine("RATE Data rate is " + std::to_string(rate) + " BPS");
  CallStep(TCallStep::Connected);
  emsi_ = std::make_unique<TEmsiCaller>(
      ownPacket_, ownCrc_, offerZedZap_, offerHydra_,
      [this](std::string_view bytes) { device_.SendData(bytes.data(), bytes.size()); },
      [this](const std::string& line) { AddLogLine(line); }, [] { return CommTickCount(); });
  emsi_->PasswordSent = chosenUplink_ && !chosenUplink_->SessionPassword.empty();
  handshaking_ = true;
  tickTrigger_ = device_.AddTimerTrigger(kTickInterval);
  emsi_->Connected();
}

void TMailerSession::OnTimer(int handle) {
  if (handle != tickTrigger_) return;
  if (handshaking_ && emsi_) {
    emsi_->Tick();
    PumpHandshake();
  }
  if (device_.IsConnected())
    SetStatus("Connected for " + FormatDuration((CommTickCount() - connectedAt_) / 1000));
}

void TMailerSession::PumpHandshake() {
  if (!handshaking_) return;
  switch (emsi_->GetStatus()) {
    case TEmsiSession::Status::Running: return;
    case TEmsiSession::Status::Failed:
      handshaking_ = false;
      if (emsi_->Failure() == kPasswordRefusedLine)
        SetError(std::string(kPasswordRefusedLine).substr(5));  // without its code
      HangUp();
      return;
    case TEmsiSession::Status::Done:
      handshaking_ = false;
      LogRemote();
      CallStep(TCallStep::RemoteKnown);
      BuildSendList();
      StartTransfer();
      return;
  }
}

// --- Handshake data ---------------------------------------------------------------------

bool TMailerSession::CanMake(TEmsiProtocol kind) const {
  return ctx_.MakeProtocol(kind) != nullptr;
}

std::string TMailerSession::BuildEmsiDat(const TFidoAddr& called) {
  TConfigStore& store = Store();
  const TLinkList& links = store.Uplinks();
  TEmsiIdentity id;
  id.Sysop = profile_.Sysop;
  chosenUplink_ = nullptr;
  for (int i = 0; i < links.GetCount(); ++i) {
    const TNetLink* link = links.GetItem(i);
    if (!link || !SameFidoAddress(link->UplinkAddress.Address(), called)) continue;
    chosenUplink_ = link;
    AddLogLine("IDEN Using identification for uplink " + link->Name);
    id.Password = link->SessionPassword;
    id.Sysop = link->Sysop;
    AddLogLine(id.Password.empty() ? "NOPA No password defined" : "PASS Using session password");
  }
  const TNetLink* lead = chosenUplink_;
  if (!lead && links.GetCount() > 0) lead = links.GetItem(0);
  ownAddress_ = lead ? lead->SysopAddress.Address() : TFidoAddr{};
  if (lead) id.Akas.push_back(lead->SysopAddress.Text4D());
  for (int i = 0; i < links.GetCount(); ++i) {
    const TNetLink* link = links.GetItem(i);
    if (link && link != lead) id.Akas.push_back(link->SysopAddress.Text4D());
  }
  offerHydra_ = profile_.Hydra && CanMake(TEmsiProtocol::Hydra);
  offerZedZap_ = profile_.ZedZap;
  id.CompatCodes = CallerCompatCodes(offerHydra_, offerZedZap_);
  id.SystemName = profile_.Name();
  id.Location = profile_.Location;
  id.Phone = profile_.Phone;
  id.Flags = profile_.Flags;
  ownPacket_ = EmsiDatPacket(BuildEmsiData(id), &ownCrc_);
  return ownPacket_;
}

void TMailerSession::LogRemote() {
  const TEmsiRemote& r = emsi_->Remote();
  const std::string rule(64, '=');
  AddLogLine(rule);
  AddLogLine("ENAM " + platform::LogName(platform::DiskName(r.SystemName)));
  AddLogLine("ESOP " + platform::LogName(platform::DiskName(r.Sysop)));
  AddLogLine("EMAI " + r.MailerName + " " + r.MailerVersion + "/" + r.MailerSerial);
  AddLogLine("ELOC " + platform::LogName(platform::DiskName(r.Location)));
  AddLogLine("EPHO " + r.Phone);
  AddLogLine("EFLO " + r.Flags);
  AddLogLine("ECMO " + r.CompatCodes);
  AddLogLine("ELNK " + r.LinkCodes);
}

void TMailerSession::BuildSendList() {
  const TEmsiRemote& r = emsi_->Remote();
  sendList_.clear();
  for (const TFidoAddr& aka : r.AkaList) {
    int64_t bytes = 0;
    int files = 0;
    for (const TFileInfo& entry : outbound_->Entries()) {
      // Flow files are named after net and node: a point's mail is its node's.
      TFidoAddr node = aka;
      node.Point = 0;
      if (!SameFidoAddress(entry.Address, node)) continue;
      sendList_.push_back(entry);
      bytes += entry.Size;
      ++files;
    }
    const std::string text = FidoAddressToStr(aka);
    AddLogLine(files ? "EAKA " + text + " - " + std::to_string(bytes) + " Bytes in " +
                           std::to_string(files) + " files to send"
                     : "EAKA " + text + " - No mail for this AKA");
  }
  AddLogLine(std::string(64, '='));
  if (!sendList_.empty()) return;
  if (!profile_.SendDummy) {
    AddLogLine("NOSD No files to send");
    return;
  }
  AddLogLine("NOSD Sending dummy packet");
  const std::string path = WriteDummyPacket();
  if (path.empty()) return;
  TFileInfo dummy;
  dummy.Address = called_;
  dummy.Path = path;
  dummy.FileName = OwnName(path);
  dummy.Size = static_cast<int64_t>(std::filesystem::file_size(path));
  dummy.DeleteAfterSending = true;
  dummy.Action = FlowAction::Delete;
  sendList_.push_back(dummy);
  dummyPath_ = path;
}

std::string TMailerSession::WriteDummyPacket() {
  // A spare uplink stands for a system that is none.
  TConfigStore& store = Store();
  const std::string folder = store.Values()->OutboundDir() + "dummy/";
  TNetLink spare(folder);
  spare.UplinkAddress.SetAddress(called_);
  spare.SysopAddress.SetAddress(ownAddress_);
  spare.Password = chosenUplink_ ? chosenUplink_->Password : std::string();
  TOutPacket writer;
  writer.Uplink = &spare;
  writer.WriteWhenEmpty = true;
  const TPacketWriteResult result = writer.WritePacket(false);
  if (!result.Ok || !result.Written) {
    AddLogLine("NOSD Could not write the dummy packet: " + result.Error);
    platform::RemoveDirIfEmpty(folder);
    return {};
  }
  // The spare uplink's flow file only served the writer.
  if (!result.FlowFile.empty()) std::remove(result.FlowFile.c_str());
  return result.PacketPath;
}

// The dummy packet serves one call: when the call did not send it, it goes
// with the call, and its folder goes once nothing is left in it.
void TMailerSession::DropDummyPacket() {
  if (dummyPath_.empty()) return;
  std::remove(dummyPath_.c_str());
  platform::RemoveDirIfEmpty(platform::DirOf(dummyPath_));
  dummyPath_.clear();
}

// --- Transfer --------------------------------------------------------------------------

void TMailerSession::StartTransfer() {
  protocolKind_ = emsi_->Protocol();
  protocol_ = ctx_.MakeProtocol(protocolKind_);
  if (!protocol_) {
    AddLogLine("!NCP No common protocol");
    HangUp();
    return;
  }
  AddLogLine("PRST Session start");
  transferring_ = sendPhase_ = true;
  nextIndex_ = 0;
  currentFile_ = -1;
  TCMProtocol& p = *protocol_;
  p.Device = &device_;
  p.ReceiveDir = Store().Values()->InboundDir();
  p.OnNextFile = [this](TCMProtocol&, std::string& path, std::string& alias) {
    NextFile(path, alias);
  };
  p.OnAcceptFile = [this](TCMProtocol& sender, bool& accept, std::string&, int64_t, int64_t) {
    sender.ReceiveDir = Store().Values()->InboundDir();
    accept = true;
  };
  p.OnProtocolState = [this](TCMProtocol& sender, int state, const std::string& msg, int64_t p1,
                             int64_t p2) {
    // The send display shows no more than the line can have carried.
    if (state == psSendProgress) p1 = sender.SendPositionShown();
    ProtocolState(state, msg, p1, p2);
  };
  std::weak_ptr<bool> alive = alive_;
  p.OnFinished = [this, alive](TCMProtocol&) {
    device_.Dispatcher().Post([this, alive] {
      if (alive.lock()) ProtocolFinished();
    });
  };
  p.OnAborted = [this, alive](TCMProtocol&) {
    device_.Dispatcher().Post([this, alive] {
      if (!alive.lock()) return;
      AddLogLine("PABT Protocol abort");
      HangUp();
    });
  };
  p.Reset();
  const std::string early = emsi_->TakeLeftover();
  p.Send();
  if (!early.empty()) device_.HandToProtocol(early.data(), early.size());
}

void TMailerSession::NextFile(std::string& path, std::string& alias) {
  path.clear();
  alias.clear();
  if (sendPhase_ && nextIndex_ < sendList_.size()) {
    currentFile_ = static_cast<int>(nextIndex_++);
    path = sendList_[currentFile_].Path;
    return;
  }
  AddLogLine("SEND All files sent");
}

void TMailerSession::ProtocolFinished() {
  // ZModem sends its batch, then receives the remote's. A Hydra batch
  // carries both directions at once; the remote then opens a second batch
  // (where it answers file requests), which runs with nothing more to send.
  // A hang-up under way (whose wait for the protocol runs this) starts no
  // further batch: the line is as good as gone.
  const bool up = device_.IsConnected() && !device_.IsDisconnecting();
  if (sendPhase_ && up) {
    sendPhase_ = false;
    if (protocolKind_ == TEmsiProtocol::Hydra) {
      AddLogLine("HYDR Expecting batch");
      protocol_->Send();
    } else {
      protocol_->Receive();
    }
    return;
  }
  if (protocolKind_ == TEmsiProtocol::Hydra) AddLogLine("HYDR Session complete");
  transferring_ = false;
  completed_ = up;
  HangUp();
}

void TMailerSession::ProtocolState(int state, const std::string& text, int64_t p1, int64_t p2) {
  const std::string n1 = std::to_string(p1);
  // The protocols name files as the disk does (or, refused, as the remote
  // offered them): the log is made in the ANSI page, the window shows the
  // name itself.
  const std::string logText = platform::LogName(text);
  // Error() is read as it stands (a box, the terminal): UTF-8, so that a
  // name with a letter the ANSI page lacks is named as it is.
  auto shown = [&text](size_t from = 0) {
    return platform::LineText(std::string_view(text).substr(std::min(from, text.size())),
                              platform::LinePage::Utf8);
  };
  switch (state) {
    case 0: AddLogLine("BSTA Batch start"); break;
    case 2:
      if (ProtocolDetails) AddLogLine("DEBG " + logText);
      break;
    case 3: AddLogLine("RERR CRC error at position " + n1); break;
    case 4: AddLogLine("TOUT Timeout - Retry " + n1); break;
    case 5: AddLogLine("RERR CRC error in control data"); break;
    case 6: AddLogLine("SDON Send complete"); break;
    case 7: AddLogLine("RDON Receive complete"); break;
    case 8:
      AddLogLine("SEND File " + logText + " (" + n1 + " Bytes)");
      sendDisplay_ = {text, 0, p1, 0};
      ShowTransfer(true);
      break;
    case 9:
      sendDisplay_.Position = p1;
      sendDisplay_.Rate = p2;
      ShowTransfer(true);
      break;
    case 24:
      receiveDisplay_.Position = p1;
      receiveDisplay_.Rate = p2;
      ShowTransfer(false);
      break;
    case 10: {
      AddLogLine("SENT File " + logText + " has been sent (" + n1 + " CPS)");
      sendDisplay_ = {};
      ShowTransfer(true);
      if (currentFile_ < 0 || currentFile_ >= static_cast<int>(sendList_.size())) break;
      const TFileInfo entry = sendList_[currentFile_];
      currentFile_ = -1;
      ++filesSent_;
      if (entry.Path == dummyPath_) {
        std::remove(entry.Path.c_str());
        break;
      }
      try {
        const SentResult done = outbound_->FileSent(entry, ctx_.FlowRetry);
        if (done.action == FlowAction::Delete && !done.fileActionFailed)
          AddLogLine("SEND File " + platform::LogName(entry.FileName) + " deleted");
        else if (done.fileActionFailed)
          AddLogLine("SEND File " + platform::LogName(entry.Path) + " could not be deleted");
      } catch (const std::exception& e) {
        AddLogLine("SEND " + std::string(e.what()));
      }
      break;
    }
    case 11: AddLogLine("SRES Resuming at offset " + n1); break;
    case 12:
      AddLogLine("SRTR Sending again from offset " + n1 +
                 (p2 > 0 ? " - Retry " + std::to_string(p2) : std::string()));
      break;
    case 13: AddLogLine("RRTR Bad position " + n1 + " - Retry " + std::to_string(p2)); break;
    case 14:
      AddLogLine("SSKP File " + logText + " (" + n1 + " Bytes) skipped");
      sendDisplay_ = {};
      ShowTransfer(true);
      break;
    case 15:
      AddLogLine("RSKP File  " + logText + " (" + n1 + " Bytes) skipped");
      receiveDisplay_ = {};
      ShowTransfer(false);
      NoteUnstored(shown());
      break;
    case 16: AddLogLine("ABRT Too many errors"); break;
    case 17: AddLogLine(HydraAppInfoLine(logText)); break;
    case 18: AddLogLine("BINI Initializing transfer"); break;
    case 19: AddLogLine("RABO Remote manual abort"); break;
    case 20: AddLogLine("SERR Remote file system error"); break;
    case 21: AddLogLine("LABO Local abort"); break;
    case 23:
      AddLogLine("RECV File " + logText + " (" + n1 + " Bytes) incoming");
      receiveDisplay_ = {text, 0, p1, 0};
      ShowTransfer(false);
      break;
    case 25:
      AddLogLine("RECD File " + logText + " received (" + n1 + " CPS)");
      receiveDisplay_ = {};
      ShowTransfer(false);
      ++filesReceived_;
      SetInboundMailPending(true);
      break;
    case 26: AddLogLine("RRES Resuming from offset  " + n1); break;
    case 27: AddLogLine("FSER Could not open file " + logText); break;
    case 28: AddLogLine("FSER Could not resume reception of  " + logText); break;
    case 30:
      AddLogLine("FSER File " + logText + " cannot be created");
      SetError("File " + shown() + " cannot be created");
      break;
    case 31: AddLogLine("FSER File " + logText + " cannot be opened for resume"); break;
    case 32: AddLogLine("RABO Remote abort"); break;
    case 33:
      AddLogLine("FSER File " + logText + " could not be written at offset  " + n1 +
                 ". Disk full ?");
      SetError("File " + shown() + " could not be written at offset " + n1);
      break;
    case psNotice: AddLogLine(logText); break;
    case psInboundFailed:
      AddLogLine(logText);
      SetError(shown(text.size() > 5 ? 5 : 0));  // without its code
      break;
    default: break;
  }
}

}  // namespace velmaris
