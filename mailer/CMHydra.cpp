#include "mailer/CMHydra.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/ConfigStore.h"
#include "mailer/HydraFrames.h"
#include "mailer/InboundFile.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/WireName.h"

namespace velmaris {

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kRevision = 0x2B1AAB00;
constexpr uint32_t kSupported = 0x3FF;     // every option but FPT
constexpr uint32_t kAlwaysWanted = 0x3C0;  // ASC, UUE, C32, DEV
constexpr uint32_t kLineOptions = hoXON | hoTLN | hoCTL | hoHIC | hoHI8;
constexpr int kTimeout = 40960 / 2400;  // seconds
constexpr int kBraindead = 120;         // seconds without a good packet
constexpr int kMaxRetries = 10;

std::string Hex8(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08x", v);
  return b;
}

uint32_t ParseHex8(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (size_t i = at; i < at + 8 && i < s.size(); ++i) {
    const char c = s[i];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) break;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return v;
}

// 64, 128, 256, 512 or 1024: the next of these at or above n.
int RoundBlock(int n) {
  for (int b = 64; b < 1024; b *= 2) {
    if (n <= b) return b;
  }
  return 1024;
}

// The file's name without its directory (an alias may use backslashes).
std::string BareName(const std::string& alias) {
  std::string name = platform::NameOf(alias);
  const size_t bs = name.find_last_of('\\');
  if (bs != std::string::npos) name = name.substr(bs + 1);
  return name;
}

std::vector<std::string> SplitNul(const std::string& data) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= data.size()) {
    const size_t nul = data.find('\0', start);
    parts.push_back(data.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
    if (nul == std::string::npos) break;
    start = nul + 1;
  }
  return parts;
}

// The names of a file in a FINFO packet, after its 40 digits: the 8.3 name
// (OEM page, lower case), a NUL, the whole name (platform/WireName.h), a NUL.
std::string FinfoNames(const std::string& alias) {
  std::string names = platform::WireShortName(BareName(alias));
  names += '\0';
  names += platform::WireName(BareName(alias));
  names += '\0';
  return names;
}

// The name a FINFO packet offers, as the disk takes it. A plain DOS name
// (no whole name, or one of ASCII that differs from the 8.3 name in letter
// case alone) is stored in upper case, as Hydra names have always been; a
// whole name that says more is kept as the sender gives it, extension and
// all (cut to fit where it is too long, InboundName), unless the inbound
// cannot store it, cut or not (a path): then the 8.3 name serves. Some
// senders put the whole name in the 8.3 field too; it is then cut the same
// way.
std::string OfferedName(const std::string& data) {
  const std::vector<std::string> names = SplitNul(data.size() > 40 ? data.substr(40) : "");
  const std::string& shortName = names[0];
  const std::string wholeName = names.size() > 1 ? names[1] : std::string();
  const bool ascii = std::all_of(wholeName.begin(), wholeName.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::string whole = platform::DiskName(wholeName);
  std::string unused;
  if (wholeName.empty() || (ascii && platform::EqualNoCase(wholeName, shortName)) ||
      !InboundName(whole, unused))
    return platform::UpperAscii(platform::DiskName(shortName));
  return whole;
}

}  // namespace

class THydraThread {
 public:
  explicit THydraThread(TCMHydra& owner) : owner_(owner) {}
  void Run();

  // From the component, under its lock.
  void Queue(const char* data, size_t length) {
    blocks_.emplace_back(data, length);
    wake_.Set();
  }
  void Wake() { wake_.Set(); }
  void RequestAbort() {
    normalEnd_ = false;
    abort_ = true;
    wake_.Set();
  }
  std::string FileName() const {
    std::lock_guard lock(nameLock_);
    return rxName_;
  }
  std::string FilePath() const {
    std::lock_guard lock(nameLock_);
    return rxPath_;
  }

 private:
  struct Timer {
    std::atomic<int> handle{0};
  };

  // --- plumbing
  void Report(int state, const std::string& msg = {}, int64_t p1 = 0, int64_t p2 = 0) {
    owner_.dispatcher_.Send([&] { owner_.DoProtocolState(state, msg, p1, p2); });
  }
  void Log(const std::string& text) { Report(2, text); }
  // Reports what the incoming file has to say; true when that includes why
  // it was refused or stopped.
  bool RxNotes() {
    for (const std::string& line : rxFile_.TakeNotes()) Report(psNotice, line);
    const std::string failure = rxFile_.TakeFailure();
    if (!failure.empty()) Report(psInboundFailed, failure);
    return !failure.empty();
  }
  TCMConnectionDevice& Device() { return *owner_.Device; }
  void SendPacket(char type, const std::string& data) {
    if (owner_.Device->Logging()) owner_.Device->WriteLogLine(std::string("TXPK Type ") + type);
    const std::string bytes = HydraPacket(type, data, txOptions_);
    Device().SendData(bytes.data(), bytes.size());
  }
  // Tells the remote the session is over: five CANs and ten backspaces,
  // before the data still queued (of no use to the remote any more).
  void SendAbortSequence() {
    Device().DropOutput();
    Device().SendString(std::string(5, '\x18') + std::string(10, '\x08'));
  }
  void SendLong(char type, int32_t v) {
    std::string d;
    PutLong(d, v);
    SendPacket(type, d);
  }
  void StartTimer(Timer& t, int seconds) {
    StopTimer(t);
    t.handle = Device().AddTimerTrigger(seconds * 182 / 10);
  }
  void StopTimer(Timer& t) {
    const int h = t.handle.exchange(0);
    if (h) Device().RemoveTimerTrigger(h);
  }
  bool Running(Timer& t) const { return t.handle != 0; }
  bool Expired(Timer& t) {
    const int h = t.handle;
    try {
      return h && Device().TimerTriggerFired(h);
    } catch (const ETrigger&) {
      return false;
    }
  }
  bool HasInput() {
    std::lock_guard lock(owner_.lock_);
    return !blocks_.empty();
  }
  void SetRxName(const std::string& name, const std::string& path) {
    std::lock_guard lock(nameLock_);
    rxName_ = name;
    rxPath_ = path;
  }

  // --- the machines
  void Session();  // both machines until both are done
  void TxStep();
  void NextFile();
  void HandleInput();
  void HandleTimers();
  void HandlePacket(const THydraReceived& p);
  void OnInit(const std::string& data);
  void OnFinfo(const std::string& data);
  void EndOverRefusals(const std::string& name);
  // The file cannot be kept (problem: why the receive folder cannot keep
  // files, else empty): the session is aborted rather than the file skipped,
  // so that the sender keeps it.
  void EndUnstorable(const std::string& problem);
  void OnFinfoAck(int32_t pos);
  void OnData(const std::string& data);
  void OnRpos(const std::string& data);
  void OnEof(int32_t pos);
  void BadPacket(int32_t pos, const char* what);
  void CloseTxFile() { txFile_.Close(); }
  void Fail(const std::string& why) {
    Log(why);
    normalEnd_ = false;
    txState_ = 0;
    rxState_ = 0;
  }

  TCMHydra& owner_;
  std::deque<std::string> blocks_;  // under owner_.lock_
  platform::Event wake_{false, false};
  std::atomic<bool> abort_{false}, normalEnd_{true};
  THydraParser parser_;

  int txState_ = 1, lastTxState_ = -1, rxState_ = 1;
  Timer txTimer_, rxTimer_, braindead_;
  int txRetries_ = 0, rxRetries_ = 0;
  uint32_t txOptions_ = 0;
  int txBlockLength_ = 512, txMaxBlockLength_ = 2048, txGoodBytes_ = 0, txGoodNeeded_ = 1024;
  int rxBlockLength_ = 512;
  int32_t txWindow_ = 0, rxWindow_ = 0;

  // The file being sent.
  std::string txPath_, txAlias_, finfo_;
  platform::Fd txFile_;
  int64_t txSize_ = 0, txDate_ = 0;
  int32_t txPos_ = -1, txLastAck_ = 0, txSyncId_ = -1;
  bool txHaveFile_ = false;

  // The file being received, and the files refused in this session.
  TInboundFile rxFile_;
  TRefusedOffers refused_;
  int64_t rxSize_ = 0, rxDate_ = 0;
  int32_t rxPos_ = 0, rxLastBad_ = -1, rxSyncId_ = 0;
  mutable std::mutex nameLock_;
  std::string rxName_, rxPath_;
};

void THydraThread::Session() {
  StartTimer(braindead_, kBraindead);
  while (txState_ != 0 || rxState_ != 0) {
    const int t = txState_;
    const bool waits = t == 0 || t == 2 || t == 4 || t == 7 || t == 9 || t == 12 || t == 15 ||
                       ((t == 13 || t == 10) && rxState_ != 0) || (t == 5 && rxState_ == 1);
    if (!HasInput()) {
      platform::Event* empty = Device().GetOutputEmptyEvent();
      if (t == 8 && empty) {
        platform::WaitAny({empty, &wake_}, 50ms);
      } else if (waits || t == 8) {
        wake_.Wait(50ms);
      }
    }
    if (abort_) {
      Log("Transfer aborted by local console");
      Report(21);
      if (Device().IsReady()) SendAbortSequence();
      break;
    }
    if (!Device().IsReady()) {
      Fail("Carrier lost");
      break;
    }
    TxStep();
    HandleInput();
    HandleTimers();
  }
}

void THydraThread::Run() {
  owner_.dispatcher_.Send([this] { Device().SetProtocol(&owner_); });
  Log("Hydra session thread is running");
  try {
    Session();
  } catch (const std::exception& e) {  // a trigger table that is full, a failing handler
    normalEnd_ = false;
    Log(std::string("Hydra session failed: ") + e.what());
  }
  StopTimer(txTimer_);
  StopTimer(rxTimer_);
  StopTimer(braindead_);
  CloseTxFile();
  rxFile_.Keep();
  SetRxName({}, {});
  Log(normalEnd_ ? "Session completed" : "Session aborted");
  owner_.dispatcher_.Send([this] {
    Device().SetProtocol(nullptr);
    owner_.active_ = false;
    if (normalEnd_) {
      owner_.DoFinished();
    } else {
      owner_.DoAborted();
    }
  });
  std::lock_guard lock(owner_.lock_);
  blocks_.clear();
}

// ---------------------------------------------------------------------------
// Transmitting

void THydraThread::TxStep() {
  if (txState_ != lastTxState_ && Device().Logging()) {
    Device().WriteLogLine("====== Transmit Packet - TxState= " + std::to_string(txState_) +
                          " ======");
  }
  lastTxState_ = txState_;
  switch (txState_) {
    case 1:
      Device().SendString("hydra\r");
      SendPacket(hpStart, {});
      StartTimer(txTimer_, 5);
      txState_ = 2;
      break;
    case 3: {
      std::string d = Hex8(kRevision) + "CMCore Hydra,1.43 Win 9x/NT";
      d += '\0';
      d += HydraOptionNames(kSupported);
      d += '\0';
      d += HydraOptionNames(kAlwaysWanted);
      d += '\0';
      d += Hex8(static_cast<uint32_t>(txWindow_)) + Hex8(static_cast<uint32_t>(rxWindow_));
      d += '\0';
      d += '\0';
      SendPacket(hpInit, d);
      StartTimer(txTimer_, kTimeout / 2);
      txState_ = 4;
      break;
    }
    case 5:
      if (rxState_ == 1) break;
      txState_ = 6;
      txRetries_ = 0;
      StopTimer(txTimer_);
      break;
    case 6:
      if (txRetries_ == 0) NextFile();
      if (txState_ != 6) break;
      SendPacket(hpFinfo, finfo_);
      StartTimer(txTimer_, txRetries_ > 0 ? kTimeout / 2 : kTimeout);
      txState_ = 7;
      break;
    case 8: {
      if (!Device().IsOutputEmpty()) break;
      if (txPos_ < 0 || txPos_ >= txSize_) {
        txState_ = 11;
        break;
      }
      const auto want = static_cast<size_t>(std::min<int64_t>(txBlockLength_, txSize_ - txPos_));
      std::string d;
      PutLong(d, txPos_);
      d.resize(4 + want);
      if (::pread(txFile_.get(), d.data() + 4, want, txPos_) != static_cast<ssize_t>(want)) {
        Log("File read error");
        CloseTxFile();
        txPos_ = -2;
        txState_ = 11;
        break;
      }
      SendPacket(hpData, d);
      txPos_ += static_cast<int32_t>(want);
      Report(9, {}, txPos_, txLastAck_);
      if (txBlockLength_ < txMaxBlockLength_) {
        txGoodBytes_ += static_cast<int>(want);
        if (txGoodBytes_ >= txGoodNeeded_) {
          txBlockLength_ = std::min(txBlockLength_ * 2, txMaxBlockLength_);
          if (txBlockLength_ == txMaxBlockLength_) txGoodNeeded_ = 0;
          txGoodBytes_ = 0;
          Log("New Tx Block len: " + std::to_string(txBlockLength_));
        }
      }
      if (txWindow_ > 0 && txPos_ >= txLastAck_ + txWindow_) {
        StartTimer(txTimer_, kTimeout);
        txState_ = 9;
      }
      break;
    }
    case 11:
      SendLong(hpEof, txPos_);
      StartTimer(txTimer_, kTimeout);
      txState_ = 12;
      break;
    case 13:
      if (rxState_ == 0) txState_ = 14;
      break;
    case 14:
      SendPacket(hpEnd, {});
      SendPacket(hpEnd, {});
      StartTimer(txTimer_, kTimeout / 2);
      txState_ = 15;
      break;
    case 16:
      Report(16);
      Log("Aborting - Too many errors");
      SendAbortSequence();
      normalEnd_ = false;
      txState_ = 0;
      rxState_ = 0;
      break;
    default: break;
  }
}

void THydraThread::NextFile() {
  CloseTxFile();
  txHaveFile_ = false;
  for (;;) {
    std::string path, alias;
    owner_.dispatcher_.Send([&] { owner_.DoNextFile(path, alias); });
    if (path.empty()) {
      Log("Transmit Batch complete");
      Report(6);
      finfo_ = std::string(1, '\0');
      return;
    }
    platform::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || st.st_size > kMaxInboundSize) {
      Log("Cannot open " + path + " for transmission");
      continue;
    }
    txFile_ = std::move(fd);
    txPath_ = path;
    txAlias_ = alias.empty() ? path : alias;
    txSize_ = st.st_size;
    txDate_ = st.st_mtime;
    txPos_ = -1;
    txHaveFile_ = true;
    Log("Transmitting " + path + "(" + txAlias_ + ")");
    Log("Size: " + std::to_string(txSize_));
    Report(8, txAlias_, txSize_, txDate_);
    finfo_ = Hex8(static_cast<uint32_t>(txDate_)) + Hex8(static_cast<uint32_t>(txSize_)) + Hex8(0) +
             Hex8(0) + Hex8(0) +
             (owner_.FinfoNames ? owner_.FinfoNames(BareName(txAlias_)) : FinfoNames(txAlias_));
    return;
  }
}

// ---------------------------------------------------------------------------
// Receiving

void THydraThread::HandleInput() {
  std::deque<std::string> blocks;
  {
    std::lock_guard lock(owner_.lock_);
    blocks.swap(blocks_);
  }
  std::vector<THydraReceived> packets;
  for (const std::string& b : blocks) {
    packets.clear();
    parser_.Feed(b, txOptions_, packets);
    for (const THydraReceived& p : packets) {
      if (txState_ == 0 && rxState_ == 0) return;
      StartTimer(braindead_, kBraindead);
      HandlePacket(p);
    }
    if (parser_.Cancelled()) {
      Report(19);
      Fail("Transfer aborted by remote console");
      return;
    }
  }
}

void THydraThread::HandleTimers() {
  if (txState_ == 0 && rxState_ == 0) return;
  if (Expired(braindead_)) {
    Fail("Remote has expired");
    return;
  }
  if (Expired(txTimer_)) {
    if (txState_ == 10 || txState_ == 13) {
      SendPacket(hpIdle, {});
      StartTimer(txTimer_, 20);
      return;
    }
    if (++txRetries_ > kMaxRetries) {
      txState_ = 16;
      return;
    }
    Log("TimeOut - Retry " + std::to_string(txRetries_));
    Report(4, {}, txRetries_);
    StopTimer(txTimer_);
    switch (txState_) {
      case 2: txState_ = 1; break;
      case 4: txState_ = 3; break;
      case 7: txState_ = 6; break;
      case 9: txState_ = 8; break;
      case 12: txState_ = 11; break;
      case 15: txState_ = 14; break;
      default: break;
    }
  }
  // A lost RPOS: ask again once its time is up.
  if (rxState_ == 3 && rxLastBad_ >= 0 && Expired(rxTimer_)) BadPacket(rxLastBad_, "Bad packet");
}

void THydraThread::HandlePacket(const THydraReceived& p) {
  if (Device().Logging()) {
    Device().WriteLogLine(std::string("RXPK Type ") + p.type + " - " +
                          std::to_string(p.data.size()) + " Bytes");
  }
  switch (p.type) {
    case hpStart:
    case hpInit:
      if (txState_ == 1 || txState_ == 2) {
        StopTimer(txTimer_);
        txRetries_ = 0;
        txState_ = 3;
        Report(18);
      }
      if (p.type == hpInit) OnInit(p.data);
      break;
    case hpInitAck:
      if (txState_ == 4) txState_ = 5;
      break;
    case hpFinfo: OnFinfo(p.data); break;
    case hpFinfoAck:
      if (txState_ == 6 || txState_ == 7) OnFinfoAck(GetLong(p.data, 0));
      break;
    case hpData:
      if (rxState_ == 3) OnData(p.data);
      break;
    case hpDataAck:
      if (txState_ >= 8 && txState_ <= 12 && txWindow_ > 0) {
        const int32_t pos = GetLong(p.data, 0);
        if (pos >= txLastAck_) txLastAck_ = pos;
        if (txState_ == 9 && txPos_ < txLastAck_ + txWindow_) {
          StopTimer(txTimer_);
          txRetries_ = 0;
          txState_ = 8;
        }
      }
      break;
    case hpRpos:
      if (txState_ >= 8 && txState_ <= 12) OnRpos(p.data);
      break;
    case hpEof:
      if (rxState_ == 3) {
        OnEof(GetLong(p.data, 0));
      } else if (rxState_ == 2) {
        SendPacket(hpEofAck, {});
      }
      break;
    case hpEofAck:
      if (txState_ != 12) break;
      StopTimer(txTimer_);
      CloseTxFile();
      if (txPos_ >= 0 && txPos_ == txSize_) {
        Log("Got EOF acknowledge - File transfer complete");
        Report(10, txAlias_, txSize_, txPos_);
      } else {  // the file did not go out whole: it stays in the outbound
        Log("Skipping " + txPath_);
        Report(14, txPath_, txSize_, txDate_);
      }
      txRetries_ = 0;
      txState_ = 6;
      break;
    case hpEnd:
      if (txState_ == 14 || txState_ == 15) {
        Log("Sending END thrice");
        for (int i = 0; i < 3; ++i) SendPacket(hpEnd, {});
        StopTimer(txTimer_);
        txState_ = 0;
      }
      break;
    case hpIdle:
      if (txState_ == 10) txState_ = 8;
      break;
    case hpDevData: {
      const auto parts = SplitNul(p.data.size() > 4 ? p.data.substr(4) : std::string());
      const std::string dev = parts.empty() ? "" : parts[0];
      const std::string msg = parts.size() > 1 ? parts[1] : "";
      Log("DEVDATA for " + dev + ": " + msg);
      owner_.dispatcher_.Send([&] { owner_.DoDevData(dev, msg); });
      SendPacket(hpDevDack, p.data.substr(0, std::min<size_t>(4, p.data.size())));
      break;
    }
    default: break;
  }
}

void THydraThread::OnInit(const std::string& data) {
  if (rxState_ != 1) return;
  const auto parts = SplitNul(data);
  auto part = [&](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
  const uint32_t supported = HydraOptionBits(part(1));
  const uint32_t desired = HydraOptionBits(part(2));
  const std::string windows = part(3);
  const uint32_t wanted = desired | kAlwaysWanted;
  if ((wanted & kLineOptions) & ~(supported & kSupported)) {
    Log("Incompatible on this link");
    normalEnd_ = false;
    txState_ = 0;
    rxState_ = 0;
    return;
  }
  const uint32_t options = wanted & kSupported & supported;
  // The remote's transmit window is our receive window and the other way.
  rxWindow_ = std::max<int32_t>(0, static_cast<int32_t>(ParseHex8(windows, 0)));
  txWindow_ = std::max<int32_t>(0, static_cast<int32_t>(ParseHex8(windows, 8)));
  if (owner_.receiveBatches_ == 0) {
    Report(17, part(0));
    Log("Remote Application: " + part(0));
    Log("Supported options: " + HydraOptionNames(supported));
    Log("TxWindow=" + std::to_string(txWindow_) + " RxWindow=" + std::to_string(rxWindow_));
  }
  txOptions_ = options;
  rxState_ = 2;
  SendPacket(hpInitAck, {});
}

void THydraThread::OnFinfo(const std::string& data) {
  const bool empty = data.empty() || data[0] == '\0';
  if (rxState_ == 3) {  // our answer was lost: the same file again
    SendLong(hpFinfoAck, rxPos_);
    return;
  }
  if (rxState_ != 0 && rxState_ != 2) return;
  if (empty) {
    if (rxState_ == 0) return SendLong(hpFinfoAck, 0);
    rxState_ = 0;
    ++owner_.receiveBatches_;
    Report(7);
    Log("Receive Batch complete");
    SendLong(hpFinfoAck, 0);
    return;
  }
  const int64_t date = ParseHex8(data, 0), size = ParseHex8(data, 8);
  const std::string offered = OfferedName(data);
  if (refused_.Exhausted(offered)) return EndOverRefusals(offered);
  if (rxState_ == 0) {  // our batch is over: the sender keeps it for later
    refused_.Refused(offered);
    SendLong(hpFinfoAck, -2);
    return;
  }
  rxDate_ = date;
  rxSize_ = size;
  auto skip = [&](const std::string& name, const std::string& why) {
    Log(why);
    Report(15, platform::EscapeNameControls(name), rxSize_, rxDate_);
    Log("\tSkipping " + platform::EscapeNameControls(name));
    refused_.Refused(offered);
    // -2 asks the sender to keep the file for a later session; -1 would
    // tell it we have the file, and many senders then drop it.
    rxPos_ = -2;
    SendLong(hpFinfoAck, rxPos_);
  };
  std::string note;
  std::optional<std::string> name = InboundName(offered, note);
  if (!note.empty()) Report(psNotice, note);
  if (!name) return skip(offered, "Refused file name");
  bool accept = true;
  std::string fname = *name;
  owner_.dispatcher_.Send([&] { owner_.DoAcceptFile(accept, fname, rxSize_, rxDate_); });
  // A cut name that the mailer kept resumes by the name it was cut from.
  const std::string whole = fname == *name ? offered : fname;
  name = InboundName(fname, note);
  if (!accept || !name) return skip(fname, "File refused");
  if (const std::string problem = InboundProblem(owner_.ReceiveDir); !problem.empty())
    return EndUnstorable(problem);
  std::string why;
  rxFile_.FreeSpace = owner_.InboundFreeSpace;
  const auto opened = rxFile_.Start(owner_.ReceiveDir, *name, rxSize_, rxDate_, why, whole);
  RxNotes();
  if (opened == TInboundFile::Result::Refused) return skip(*name, why);
  if (opened == TInboundFile::Result::Failed) {
    Log("Unable to create " + *name);
    Report(30, rxFile_.TempPath());
    return EndUnstorable({});
  }
  SetRxName(*name, rxFile_.TempPath());
  rxPos_ = static_cast<int32_t>(rxFile_.Position());
  Report(23, *name, rxSize_, rxDate_);
  if (opened == TInboundFile::Result::Resumed) Report(26, {}, rxPos_);
  StopTimer(rxTimer_);
  rxRetries_ = 0;
  rxLastBad_ = -1;
  rxState_ = 3;
  SendLong(hpFinfoAck, rxPos_);
}

// The sender's offers were refused too often (the same file again, or
// ever new dates, sizes or names): it would go on for ever.
void THydraThread::EndOverRefusals(const std::string& name) {
  Report(psInboundFailed, refused_.EndLine(name));
  SendAbortSequence();
  Fail("Refused file offered again");
}

// A skip, even one for later (-2), lets many senders count the file as
// done once the session ends well; an aborted session leaves every file not
// yet acknowledged with the sender.
void THydraThread::EndUnstorable(const std::string& problem) {
  if (!problem.empty()) Report(psInboundFailed, "FSER " + problem + TCMProtocol::kInboundAbortTail);
  rxFile_.Keep();
  SendAbortSequence();
  Fail("Aborting - the file cannot be kept");
}

void THydraThread::OnFinfoAck(int32_t pos) {
  txRetries_ = 0;
  if (!txHaveFile_) {
    StartTimer(txTimer_, 20);
    txState_ = 13;
    return;
  }
  StopTimer(txTimer_);
  if (pos >= 0) {
    if (pos > txSize_) pos = 0;
    txPos_ = pos;
    txLastAck_ = pos;
    if (pos > 0) {
      Report(11, {}, pos);
      Log("Transmit resuming file");
    }
    Report(9, {}, pos, pos);
    txState_ = 8;
    return;
  }
  CloseTxFile();
  if (pos == -2) {
    Log("Remote temporarily skipped " + txPath_);
    Report(14, txPath_, txSize_, txDate_);
  } else {
    Log("Remote already has file " + txPath_);
  }
  txState_ = 6;
}

void THydraThread::OnData(const std::string& data) {
  const int32_t pos = GetLong(data, 0);
  if (data.size() < 4 || pos != rxPos_) {
    BadPacket(pos, "Bad packet");
    return;
  }
  const std::string_view bytes = std::string_view(data).substr(4);
  if (!rxFile_.Write(bytes)) {
    Log("File write error");
    // A limit that stopped the file has said so; anything else is the
    // disk's own failure.
    if (!RxNotes()) Report(33, rxName_, rxPos_);
    rxFile_.Keep();
    rxState_ = 2;
    SendLong(hpRpos, -2);  // the sender skips the rest and keeps the file
    return;
  }
  rxRetries_ = 0;
  rxLastBad_ = -1;
  StopTimer(rxTimer_);
  rxPos_ += static_cast<int32_t>(bytes.size());
  Report(24, {}, rxPos_);
  if (rxWindow_ > 0) SendLong(hpDataAck, rxPos_);
}

void THydraThread::BadPacket(int32_t pos, const char* what) {
  if (rxLastBad_ >= 0 && pos <= rxLastBad_) {
    StopTimer(rxTimer_);
    rxRetries_ = 0;
  }
  rxLastBad_ = pos;
  if (Running(rxTimer_) && !Expired(rxTimer_)) return;
  if (++rxRetries_ > kMaxRetries) {
    txState_ = 16;
    return;
  }
  if (rxRetries_ == 1 || rxRetries_ == 4) {
    ++rxSyncId_;
    rxBlockLength_ = RoundBlock((rxBlockLength_ + 1) / 2);
  }
  Report(13, {}, pos, rxRetries_);
  Log(std::string(what) + " at " + std::to_string(rxPos_) + " - Retry " +
      std::to_string(rxRetries_));
  std::string d;
  PutLong(d, rxPos_);
  PutLong(d, rxBlockLength_);
  PutLong(d, rxSyncId_);
  SendPacket(hpRpos, d);
  StartTimer(rxTimer_, kTimeout);
}

void THydraThread::OnRpos(const std::string& data) {
  const int32_t pos = GetLong(data, 0), len = GetLong(data, 4), sync = GetLong(data, 8);
  Log("HPKT_POS: " + std::to_string(pos) + ", " + std::to_string(len) + ", " +
      std::to_string(sync));
  if (pos < 0) {
    CloseTxFile();
    txPos_ = -2;
    Log("Skipping " + txPath_);
    txState_ = 11;
    return;
  }
  if (sync == txSyncId_) {
    if (++txRetries_ > kMaxRetries) txState_ = 16;
    return;
  }
  if (pos > txSize_ || !txFile_.ok()) return;
  txPos_ = pos;
  txSyncId_ = sync;
  txRetries_ = 1;
  txBlockLength_ = RoundBlock(len >= txBlockLength_ ? txBlockLength_ / 2 : std::max(len, 1));
  txGoodBytes_ = 0;
  txGoodNeeded_ = std::min(txGoodNeeded_ + 2 * txMaxBlockLength_, 8 * txMaxBlockLength_);
  if (txState_ != 10) txState_ = 8;
  StopTimer(txTimer_);
  Report(9, {}, txPos_, txPos_);  // the remote has what lies before
  Report(12, {}, txPos_, txRetries_);
  Log("Resending from offset " + std::to_string(txPos_));
}

void THydraThread::OnEof(int32_t pos) {
  if (pos == rxPos_) {
    StopTimer(rxTimer_);
    // The file is confirmed only where it is kept: a folder gone in the
    // middle of the file takes the file with it.
    if (const std::string problem = InboundProblem(owner_.ReceiveDir); !problem.empty())
      return EndUnstorable(problem);
    const auto final = rxFile_.Finish();
    RxNotes();
    rxState_ = 2;
    if (final) {
      SetRxName(*final, platform::JoinPath(owner_.ReceiveDir, *final));
      Report(25, *final, rxPos_);
      Log("\tReceived " + *final);
    } else {
      Log("File write error");
      Report(33, rxName_, rxPos_);
    }
    SendPacket(hpEofAck, {});
    return;
  }
  if (pos >= 0) {
    BadPacket(pos, "Bad EOF");
    return;
  }
  Log("!Remote indicates save for resume " + rxName_);
  rxFile_.Keep();
  Report(34, FileName(), rxPos_);
  rxState_ = 2;
  SendPacket(hpEofAck, {});
}

// ---------------------------------------------------------------------------
// TCMHydra

TCMHydra::TCMHydra(platform::Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

TCMHydra::~TCMHydra() {
  // The session's last reports are still pumped (its thread waits on
  // them), but they no longer reach the handlers.
  StopReporting();
  Abort();
  while (active_) {
    dispatcher_.ProcessMessages();
    std::this_thread::sleep_for(5ms);
  }
  if (thread_.joinable()) thread_.join();
}

void TCMHydra::Send() {
  {
    std::lock_guard lock(lock_);
    if (!Device || active_) return;
    active_ = true;
  }
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard lock(lock_);
    session_ = std::make_unique<THydraThread>(*this);
  }
  thread_ = std::thread([s = session_.get()] { s->Run(); });
}

void TCMHydra::Abort() {
  std::lock_guard lock(lock_);
  if (session_ && active_) session_->RequestAbort();
}

std::string TCMHydra::GetFileName() const {
  std::lock_guard lock(lock_);
  return active_ && session_ ? session_->FileName() : std::string();
}

std::string TCMHydra::GetFilePath() const {
  std::lock_guard lock(lock_);
  return active_ && session_ ? session_->FilePath() : std::string();
}

void TCMHydra::TimerTrigger(int handle) {
  std::lock_guard lock(lock_);
  if (session_) session_->Wake();
}

void TCMHydra::ReceiveData(const char* buffer, size_t length) {
  std::lock_guard lock(lock_);
  if (session_) session_->Queue(buffer, length);
}

}  // namespace velmaris
