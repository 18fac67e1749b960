#include "mailer/CMZModem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <ctime>
#include <functional>

#include "core/ConfigStore.h"
#include "mailer/InboundFile.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/WireName.h"

namespace velmaris {

using namespace std::chrono_literals;

namespace {

// Time-outs in ticks of 54 ms, with their retries.
struct TTimeout {
  int ticks, retries;
};
constexpr TTimeout kAckWait{36, 10};    // handshakes and acknowledgements
constexpr TTimeout kStartWait{72, 10};  // receiver start and after ZRPOS
// The acknowledgement of ZEOF: one wait, then the ZEOF once more and ZFIN at
// once (SendFile). A receiver that was behind when the ZEOF came (its ZRPOS
// was lost on the line) may stay silent until it hears the ZFIN, and answers
// that with its ZRPOS; one that only missed the ZEOF (lrzsz would take the
// ZFIN alone as the end of the session and drop the file) confirms it.
constexpr TTimeout kEofWait{360, 0};
// The ZFIN after that: a receiver in the middle of its data takes both
// headers for line noise and asks again after its own time-out of 10 s
// (lrzsz does); a sooner repeat of the ZFIN would keep it waiting.
constexpr TTimeout kLateFinWait{360, 1};
constexpr TTimeout kFinWait{720, 0};  // the final ZFIN after an error

std::string Hex(uint32_t v, int digits) {
  char b[16];
  std::snprintf(b, sizeof b, "%0*x", digits, v);
  return b;
}

// "name NUL size date(octal) NUL" as the ZFILE subpacket carries it; the
// name in the OEM page (platform/WireName.h), held as the disk takes it.
struct TFileOffer {
  std::string name;
  int64_t size = -1;  // -1: not given
  int64_t date = 0;
};

TFileOffer ParseOffer(const std::string& data) {
  TFileOffer o;
  const size_t nul = data.find('\0');
  o.name = platform::DiskName(data.substr(0, nul));
  if (nul == std::string::npos) return o;
  const char* p = data.c_str() + nul + 1;
  const char* end = data.c_str() + data.size();
  auto number = [&](int base, int64_t& out) {
    while (p < end && *p == ' ') ++p;
    int64_t v = 0;
    int digits = 0;
    while (p < end && *p >= '0' && *p < (base == 8 ? '8' : ':') && digits < 15) {
      v = v * base + (*p - '0');
      ++p;
      ++digits;
    }
    if (digits > 0) out = v;
  };
  number(10, o.size);
  number(8, o.date);
  return o;
}

}  // namespace

// The session thread: sending or receiving one batch.
class TCMZModemThread {
 public:
  TCMZModemThread(TCMZModem& owner, bool sending) : owner_(owner), sending_(sending) {}

  void Run();

  // From the component, under its lock.
  void Feed(const char* data, size_t length) {
    parser_.Feed(std::string_view(data, length), [this](const TZEvent& e) {
      if (e.kind == TZEvent::Cancel) {
        cancelled_ = true;
      } else {
        queue_.push_back(e);
      }
      wake_.Set();
    });
  }
  void OnTimer(int handle) {
    if (handle != timer_ || handle == 0) return;
    timedOut_ = true;
    wake_.Set();
  }
  void RequestAbort() {
    abort_ = true;
    wake_.Set();
  }
  std::string FileName() const {
    std::lock_guard lock(nameLock_);
    return fileName_;
  }
  std::string FilePath() const {
    std::lock_guard lock(nameLock_);
    return filePath_;
  }

 private:
  enum class Got { Frame, Timeout, Abort, Cancel, Lost, Nothing };
  enum class End { Normal, Aborted };

  // --- plumbing
  void Report(int state, const std::string& msg = {}, int64_t p1 = 0, int64_t p2 = 0) {
    owner_.dispatcher_.Send([&] { owner_.DoProtocolState(state, msg, p1, p2); });
  }
  void Log(const std::string& text) { Report(2, text); }
  // Reports what the file has to say; true when that includes why it was
  // refused or stopped.
  bool Notes(TInboundFile& file) {
    for (const std::string& line : file.TakeNotes()) Report(psNotice, line);
    const std::string failure = file.TakeFailure();
    if (!failure.empty()) Report(psInboundFailed, failure);
    return !failure.empty();
  }
  void Detail(const std::string& text) {
    if (owner_.Device) owner_.Device->WriteLogLine(text);
  }
  TCMConnectionDevice& Device() { return *owner_.Device; }
  void Put(const std::string& bytes) { Device().SendData(bytes.data(), bytes.size()); }
  void SendHeader(uint8_t type, uint32_t arg) {
    Detail("Transmit frameheader $" + Hex(type, 2) + " $" + Hex(arg, 8));
    const TZHeader h{type, arg};
    if (type == ZFILE || type == ZDATA) {
      Put(BinaryHeader(h, use32_, esc_));
    } else {
      Put(HexHeader(h));
    }
  }
  void SetName(const std::string& name, const std::string& path) {
    std::lock_guard lock(nameLock_);
    fileName_ = name;
    filePath_ = path;
  }
  void SetTimeout(TTimeout t) {
    StopTimer();
    retriesLeft_ = t.retries;
    retry_ = 0;
    timer_ = Device().AddTimerTrigger(t.ticks);
  }
  void RestartTimer() {
    if (timer_) Device().EnableTimerTrigger(timer_);
    std::lock_guard lock(owner_.lock_);
    timedOut_ = false;
  }
  void StopTimer() {
    const int h = timer_.exchange(0);
    if (h) Device().RemoveTimerTrigger(h);
    std::lock_guard lock(owner_.lock_);
    timedOut_ = false;
  }
  // A time-out that still has a retry: counts it and reports state 4.
  bool Retry() {
    if (retriesLeft_ <= 0) return false;
    --retriesLeft_;
    ++retry_;
    Report(4, {}, retry_);
    RestartTimer();
    return true;
  }
  Got Next(TZEvent& ev, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      {
        std::lock_guard lock(owner_.lock_);
        if (abort_) return Got::Abort;
        if (cancelled_) return Got::Cancel;
        if (!queue_.empty()) {
          ev = std::move(queue_.front());
          queue_.pop_front();
          return Got::Frame;
        }
        if (timedOut_) {
          timedOut_ = false;
          return Got::Timeout;
        }
      }
      if (!Device().IsReady()) return Got::Lost;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return Got::Nothing;
      wake_.Wait(std::min<std::chrono::milliseconds>(
          50ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + 1ms));
    }
  }
  // Waits for a header (data subpackets are passed on too).
  Got Wait(TZEvent& ev) {
    for (;;) {
      const Got g = Next(ev, 1000ms);
      if (g != Got::Nothing) return g;
    }
  }
  bool Stopped(Got g) { return g == Got::Abort || g == Got::Cancel || g == Got::Lost; }
  End Stop(Got g);
  // The data still queued is of no use to the remote any more: the cancel
  // goes before it.
  void CancelSequence() {
    Log("Transmitting CANcel sequence");
    Device().DropOutput();
    Put(std::string(8, '\x18') + std::string(10, '\x08'));
  }

  // --- sending
  End SendBatch();
  Got SendInit();
  // Unconfirmed: the ZEOF was never acknowledged. Finished: the session
  // has been finished after that (finishEnd_ says how it ended).
  enum class FileResult { Sent, Skipped, Failed, Unconfirmed, Finished };
  FileResult SendFile(const std::string& path, const std::string& alias, Got& stop);
  // Sends from pos; `again` when the receiver asked for it while the session
  // was being finished.
  FileResult SendData(int fd, int64_t size, int64_t pos, const std::string& alias, Got& stop,
                      bool again = false);
  // A file whose ZEOF went unacknowledged while the session is finished:
  // the receiver may still confirm it (ZRINIT) or ask for it again from a
  // position (ZRPOS, when mayResume).
  struct TLateFile {
    std::function<void()> confirm;  // reports the file sent
    bool mayResume = true;
    int64_t resumeAt = -1;  // the ZRPOS that stopped the finish
    bool confirmed = false;
  };
  // Ends the session with ZFIN; a confirmed late file makes the end normal.
  End SendFinish(bool afterError, TLateFile* late = nullptr);
  End finishEnd_ = End::Aborted;

  // --- receiving
  End ReceiveBatch();
  // Reoffered: the sender's offers were refused too often (TRefusedOffers).
  // Unstorable: the file cannot be kept; the session is aborted, never the
  // file skipped, so that the sender keeps it (and what follows it).
  enum class RecvResult { Done, Skipped, Failed, Fin, NewFile, Reoffered, Unstorable };
  RecvResult ReceiveFile(const std::string& info, Got& stop, std::string& nextInfo);
  // The receive folder cannot keep files (InboundProblem): says why.
  RecvResult InboundGone(const std::string& problem) {
    Report(psInboundFailed, "FSER " + problem + TCMProtocol::kInboundAbortTail);
    return RecvResult::Unstorable;
  }
  End WaitForFin();

  TCMZModem& owner_;
  const bool sending_;
  TZParser parser_;
  TZEscaper esc_;
  std::deque<TZEvent> queue_;                                  // under owner_.lock_
  bool cancelled_ = false, timedOut_ = false, abort_ = false;  // under owner_.lock_
  platform::Event wake_{false, false};
  std::atomic<int> timer_{0};
  int retriesLeft_ = 0, retry_ = 0;
  bool use32_ = false, streaming_ = true;
  bool awaitingAck_ = false;  // ack mode: a block waits for its ZACK
  uint8_t wantType_ = 0;      // the header whose subpacket is awaited
  TRefusedOffers refused_;    // the files this receiver refused
  mutable std::mutex nameLock_;
  std::string fileName_, filePath_;
};

void TCMZModemThread::Run() {
  owner_.dispatcher_.Send([this] { Device().SetProtocol(&owner_); });
  Log(sending_ ? "ZModem send thread is running" : "ZModem receive thread is running");
  Log("ZModem gets device access");
  Report(18);
  End end = End::Aborted;
  try {
    end = sending_ ? SendBatch() : ReceiveBatch();
  } catch (const std::exception& e) {  // a trigger table that is full, a failing handler
    Log(std::string("ZModem session failed: ") + e.what());
  }
  Log(sending_ ? "ZModem send thread is terminating" : "ZModem receive thread is terminating");
  StopTimer();
  SetName({}, {});
  owner_.dispatcher_.Send([this, end] {
    Device().SetProtocol(nullptr);
    owner_.DoProtocolState(2, "ZModem releases device access", 0, 0);
    owner_.active_ = false;
    if (end == End::Normal) {
      owner_.DoFinished();
    } else {
      owner_.DoAborted();
    }
  });
}

TCMZModemThread::End TCMZModemThread::Stop(Got g) {
  if (g == Got::Abort) {
    Log("Local abort");
    Report(21);
    if (Device().IsReady()) CancelSequence();
  } else if (g == Got::Cancel) {
    Log("Remote CANcel");
    Report(32);
  } else {
    Log("Device not ready - terminating");
  }
  return End::Aborted;
}

// ---------------------------------------------------------------------------
// Sending

TCMZModemThread::Got TCMZModemThread::SendInit() {
  Log("Sending ZRQInit");
  SetTimeout(kAckWait);
  Put("rz\r");
  SendHeader(ZRQINIT, 0);
  TZEvent ev;
  for (;;) {
    const Got g = Wait(ev);
    if (g == Got::Timeout) {
      if (!Retry()) return g;
      Log("Sending ZRQInit  (Retry " + std::to_string(retry_) + ")");
      SendHeader(ZRQINIT, 0);
      continue;
    }
    if (g != Got::Frame) return g;
    if (ev.kind != TZEvent::Header) continue;
    if (ev.header.type == ZRINIT) {
      const uint8_t f = ev.header.ZF0();
      use32_ = f & kZCanFC32;
      esc_.escapeCtl = f & kZEscCtl;
      streaming_ = (f & kZCanOverlapIO) != 0;
      return Got::Frame;
    }
    if (ev.header.type == ZCHALLENGE) SendHeader(ZACK, ev.header.arg);
  }
}

TCMZModemThread::End TCMZModemThread::SendBatch() {
  const Got init = SendInit();
  if (init == Got::Timeout) {
    Log("ZModem Init failed (no ZRInit!)");
    Report(16);
    Report(22);
    return End::Aborted;
  }
  if (Stopped(init)) return Stop(init);
  for (;;) {
    Log("Sending next file info");
    std::string path, alias;
    owner_.dispatcher_.Send([&] { owner_.DoNextFile(path, alias); });
    if (path.empty()) break;
    Got stop = Got::Nothing;
    const FileResult r = SendFile(path, alias, stop);
    if (Stopped(stop)) return Stop(stop);
    if (r == FileResult::Finished) return finishEnd_;
    if (r == FileResult::Failed) return SendFinish(true);
  }
  return SendFinish(false);
}

TCMZModemThread::FileResult TCMZModemThread::SendFile(const std::string& path,
                                                      const std::string& alias, Got& stop) {
  platform::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0) {
    Log("Could not open file");
    Report(27, path);
    return FileResult::Skipped;
  }
  const int64_t size = st.st_size;
  const int64_t date = st.st_mtime;
  SetName(alias, path);
  Report(8, path, size, date);
  Log("Sending " + path + " as " + alias);
  char tail[64];
  std::snprintf(tail, sizeof tail, "%lld %llo", static_cast<long long>(size),
                static_cast<unsigned long long>(date));
  std::string info = platform::WireName(alias);
  info += '\0';
  info += tail;
  info += '\0';
  SetTimeout(kAckWait);
  auto sendOffer = [&] {
    SendHeader(ZFILE, 0x40000);
    Put(Subpacket(info, ZCRCW, use32_, esc_));
  };
  sendOffer();
  TZEvent ev;
  for (;;) {
    const Got g = Wait(ev);
    if (g == Got::Timeout) {
      if (!Retry()) {
        Log("No response to file info");
        Report(16);
        return FileResult::Failed;
      }
      sendOffer();
      continue;
    }
    if (g != Got::Frame) {
      stop = g;
      return FileResult::Failed;
    }
    if (ev.kind != TZEvent::Header) continue;
    switch (ev.header.type) {
      case ZRPOS: {
        Log("Starting at offset " + std::to_string(ev.header.arg));
        FileResult r = SendData(fd.get(), size, ev.header.arg, alias, stop);
        // The receiver may still speak while the session is being
        // finished: its ZRPOS takes the file up again there.
        for (int takenUp = 0; r == FileResult::Unconfirmed; ++takenUp) {
          TLateFile late;
          late.confirm = [&] {
            Log("File successfully sent");
            Report(10, alias, size, size);
          };
          late.mayResume = takenUp < kAckWait.retries;
          finishEnd_ = SendFinish(true, &late);
          if (late.resumeAt < 0) return FileResult::Finished;
          r = SendData(fd.get(), size, late.resumeAt, alias, stop, true);
        }
        return r;
      }
      case ZSKIP:
        Log("Skip file from remote ");
        Report(14, path, size, date);
        return FileResult::Skipped;
      // A ZRINIT here is mostly a late answer to an earlier one of ours;
      // the time-out resends the offer when it really was lost.
      case ZNAK: sendOffer(); break;
      case ZCRC: SendHeader(ZCRC, 0); break;
      case ZFERR:
        Log("Remote reported file error");
        Report(20);
        return FileResult::Failed;
      case ZABORT:
      case ZFIN:
        Log("Remote abort");
        Report(19);
        return FileResult::Failed;
      default: break;
    }
  }
}

TCMZModemThread::FileResult TCMZModemThread::SendData(int fd, int64_t size, int64_t pos,
                                                      const std::string& alias, Got& stop,
                                                      bool again) {
  const int maxBlock = owner_.GetMaxBlockLength();
  int blockLen = 256, blocks = 0, ackRetries = 0;
  int64_t blockStart = pos;
  // What the receiver has confirmed: its start position, a ZRPOS, a ZACK.
  int64_t confirmed = pos;
  bool sentAll = false, illegal = false;
  bool frameOpen = false;  // the last subpacket sent was ZCRCG
  std::string buf;
  // (Re)starts the data at a position; false when the file cannot go there.
  auto startAt = [&](int64_t p) {
    if (p > size || ::lseek(fd, p, SEEK_SET) != p) {
      Log("Illegal start position!");
      Report(28, alias, p);
      // The end of the file; the file does not count as sent.
      illegal = true;
      sentAll = true;
      SendHeader(ZEOF, static_cast<uint32_t>(size));
      SetTimeout(kEofWait);
      return false;
    }
    if (frameOpen) Put(Subpacket({}, ZCRCE, use32_, esc_));  // closes the frame
    frameOpen = false;
    pos = p;
    blockLen = 256;
    blocks = 0;
    sentAll = illegal = false;
    awaitingAck_ = false;
    StopTimer();
    if (pos >= size) {  // nothing left: the end at once
      sentAll = true;
      SendHeader(ZEOF, static_cast<uint32_t>(size));
      SetTimeout(kEofWait);
      return true;
    }
    // In ack mode every block brings its own header.
    if (streaming_) SendHeader(ZDATA, static_cast<uint32_t>(pos));
    return true;
  };
  if (again) {
    Log("Resending from " + std::to_string(pos));
    Report(12, {}, pos, -1);
  } else if (pos > 0) {
    Report(11, {}, pos);
  }
  Report(9, {}, pos, confirmed);
  startAt(pos);
  TZEvent ev;
  for (;;) {
    // What the receiver says comes first.
    const Got g = Next(ev, sentAll || awaitingAck_ ? 1000ms : 0ms);
    if (Stopped(g)) {
      stop = g;
      return FileResult::Failed;
    }
    if (g == Got::Timeout) {
      if (sentAll) {
        Log("EOF Acknowledge missing");
        Report(16);
        if (illegal) return FileResult::Failed;
        SendHeader(ZEOF, static_cast<uint32_t>(size));  // the ZFIN follows
        return FileResult::Unconfirmed;
      }
      if (++ackRetries > kAckWait.retries) {
        Log("No acknowledge - aborting");
        Report(16);
        return FileResult::Failed;
      }
      Report(4, {}, ackRetries);
      Log("Sending in ACK Mode");
      startAt(blockStart);
      continue;
    }
    if (g == Got::Frame && ev.kind == TZEvent::Header) {
      const TZHeader& h = ev.header;
      if (h.type == ZRPOS) {
        Log("Resending from " + std::to_string(h.arg));
        Report(12, {}, h.arg, -1);
        confirmed = h.arg;
        Report(9, {}, h.arg, confirmed);
        startAt(h.arg);
        continue;
      }
      if (h.type == ZRINIT && sentAll && illegal) {
        Report(14, alias, size);
        return FileResult::Skipped;
      }
      if (h.type == ZRINIT && sentAll) {
        Log("File successfully sent");
        Report(10, alias, size, pos);
        return FileResult::Sent;
      }
      if (h.type == ZSKIP) {
        Log("Skip file from remote ");
        Report(14, alias, size);
        return FileResult::Skipped;
      }
      if (h.type == ZFERR) {
        Log("Remote reported file error");
        Report(20);
        return FileResult::Failed;
      }
      if (h.type == ZABORT || h.type == ZFIN) {
        Log("Remote abort");
        Report(19);
        return FileResult::Failed;
      }
      if (h.type == ZACK && awaitingAck_ && h.arg == static_cast<uint32_t>(pos)) {
        confirmed = pos;
        awaitingAck_ = false;
        ackRetries = 0;
        StopTimer();
      }
      continue;
    }
    if (g == Got::Frame || sentAll || awaitingAck_) continue;
    // The next block, only when the line has taken the last one.
    platform::Event* empty = Device().GetOutputEmptyEvent();
    if (!empty) continue;
    if (!Device().IsOutputEmpty()) {
      platform::WaitAny({empty, &wake_}, 50ms);
      continue;
    }
    if (blocks >= 8 && blockLen < maxBlock) {
      blockLen *= 2;
      blocks = 0;
    }
    const auto want = static_cast<size_t>(std::min<int64_t>(blockLen, size - pos));
    buf.resize(want);
    const ssize_t got = ::pread(fd, buf.data(), want, pos);
    if (got != static_cast<ssize_t>(want)) {
      Log("Error reading file!");
      Report(29);
      SendHeader(ZEOF, static_cast<uint32_t>(pos));
      return FileResult::Failed;
    }
    const bool last = pos + static_cast<int64_t>(want) >= size;
    char end = last ? ZCRCE : ZCRCG;
    blockStart = pos;
    if (!streaming_) {
      SendHeader(ZDATA, static_cast<uint32_t>(pos));
      end = ZCRCW;
    }
    Detail(std::string("Transmitting ") + (use32_ ? "CRC32" : "CRC16") + " type " + end +
           " subpacket (" + std::to_string(want) + " Bytes)");
    Put(Subpacket(buf, end, use32_, esc_));
    frameOpen = end == ZCRCG;
    pos += static_cast<int64_t>(want);
    ++blocks;
    Report(9, {}, pos, confirmed);
    if (last) {
      Log("Sent all - waiting for EOF");
      sentAll = true;
      SendHeader(ZEOF, static_cast<uint32_t>(size));
      SetTimeout(kEofWait);
    } else if (!streaming_) {
      awaitingAck_ = true;
      SetTimeout(kAckWait);
    }
  }
}

TCMZModemThread::End TCMZModemThread::SendFinish(bool afterError, TLateFile* late) {
  if (afterError) {
    if (!Device().IsReady()) return Stop(Got::Lost);
    Log("Sending ZFin");
  } else {
    Log("No more files");
    Report(6);
  }
  Log("Finishing Session");
  SetTimeout(late ? kLateFinWait : afterError ? kStartWait : kAckWait);
  SendHeader(ZFIN, 0);
  auto ended = [&] {
    return afterError && !(late && late->confirmed) ? End::Aborted : End::Normal;
  };
  TZEvent ev;
  for (;;) {
    const Got g = Wait(ev);
    if (g == Got::Timeout) {
      if (!Retry()) {
        Log("ZModem Finish (no ZFin!)");
        Report(16);
        Report(22);
        return ended();
      }
      SendHeader(ZFIN, 0);
      continue;
    }
    if (Stopped(g)) return afterError ? End::Aborted : Stop(g);
    if (ev.kind != TZEvent::Header) continue;
    const uint8_t type = ev.header.type;
    if (late && !late->confirmed && type == ZRINIT) {
      late->confirmed = true;
      late->confirm();
    } else if (late && !late->confirmed && late->mayResume && type == ZRPOS) {
      StopTimer();
      late->resumeAt = ev.header.arg;
      return End::Aborted;
    } else if (type == ZFIN) {
      Put("OO");
      Log("ZModem Session complete");
      Report(22);
      return ended();
    }
  }
}

// ---------------------------------------------------------------------------
// Receiving

TCMZModemThread::End TCMZModemThread::ReceiveBatch() {
  bool sendInit = true;
  std::string pendingInfo;
  bool havePending = false;
  for (;;) {
    std::string info;
    if (havePending) {
      info = std::move(pendingInfo);
      havePending = false;
    } else {
      Log("Initializing file transfer");
      SetTimeout(kStartWait);
      auto init = [&] {
        Log("Sending ZRInit");
        SendHeader(ZRINIT, static_cast<uint32_t>(kZCanFullDuplex | kZCanOverlapIO | kZCanFC32)
                               << 24);
      };
      if (sendInit) init();
      bool gotFile = false, wantData = false;
      TZEvent ev;
      while (!gotFile) {
        const Got g = Wait(ev);
        if (g == Got::Timeout) {
          if (!Retry()) {
            Log("ZModem Init failed (no FINFO/ZFIN!)");
            Report(16);
            Report(22);
            return End::Aborted;
          }
          init();
          continue;
        }
        if (Stopped(g)) return Stop(g);
        if (ev.kind == TZEvent::Header) {
          wantData = false;
          switch (ev.header.type) {
            case ZRQINIT: init(); break;
            case ZFILE:
            case ZSINIT:
              wantData = true;
              wantType_ = ev.header.type;
              break;
            case ZFIN:
              SendHeader(ZFIN, 0);
              Report(7);
              Log("Session complete");
              Report(22);
              return End::Normal;
            default: break;
          }
        } else if (ev.kind == TZEvent::Data && wantData) {
          wantData = false;
          if (wantType_ == ZSINIT) {
            SendHeader(ZACK, 0);
          } else {
            info = std::move(ev.data);
            gotFile = true;
          }
        } else if (ev.kind == TZEvent::BadData && wantData) {
          wantData = false;
          SendHeader(ZNAK, 0);
        }
      }
    }
    Got stop = Got::Nothing;
    const RecvResult r = ReceiveFile(info, stop, pendingInfo);
    if (Stopped(stop)) return Stop(stop);
    switch (r) {
      case RecvResult::Done: sendInit = true; break;
      case RecvResult::Skipped: sendInit = false; break;
      case RecvResult::NewFile: havePending = true; break;
      case RecvResult::Fin:
        SendHeader(ZFIN, 0);
        Log("Session complete");
        Report(22);
        return End::Aborted;  // the batch ended in the middle of a file
      case RecvResult::Reoffered:
        if (Device().IsReady()) CancelSequence();
        return End::Aborted;
      case RecvResult::Unstorable:
        // ZABORT refuses the file without the sender taking it as
        // delivered (a ZSKIP would); the sender answers with ZFIN or
        // cancels, and a silent one gets the cancel sequence.
        if (!Device().IsReady()) return Stop(Got::Lost);
        Log("Aborting session");
        SendHeader(ZABORT, 0);
        return WaitForFin();
      case RecvResult::Failed:
        if (stop == Got::Timeout) {
          if (Device().IsReady()) CancelSequence();
          return End::Aborted;
        }
        return WaitForFin();
    }
  }
}

TCMZModemThread::RecvResult TCMZModemThread::ReceiveFile(const std::string& data, Got& stop,
                                                         std::string& nextInfo) {
  const TFileOffer offer = ParseOffer(data);
  if (refused_.Exhausted(offer.name)) {
    Report(psInboundFailed, refused_.EndLine(offer.name));
    return RecvResult::Reoffered;
  }
  // A size of 0 or none: the sender does not know it.
  const int64_t size = offer.size > 0 ? offer.size : -1, shownSize = std::max<int64_t>(size, 0);
  Log("Incoming File");
  Log("* Name: " + platform::EscapeNameControls(offer.name));
  Log("* Date: " + std::to_string(offer.date));
  Log("* Size: " + std::to_string(offer.size));
  auto skip = [&](const std::string& name) {
    refused_.Refused(offer.name);
    Log("Skipping file");
    Report(15, platform::EscapeNameControls(name), shownSize, offer.date);
    SendHeader(ZSKIP, 0);
    return RecvResult::Skipped;
  };
  std::string note;
  std::optional<std::string> name = InboundName(offer.name, note);
  if (!note.empty()) Report(psNotice, note);
  if (!name) return skip(offer.name);
  bool accept = true;
  std::string fname = *name;
  owner_.dispatcher_.Send([&] { owner_.DoAcceptFile(accept, fname, shownSize, offer.date); });
  // A cut name that the mailer kept resumes by the name it was cut from.
  const std::string offered = fname == *name ? offer.name : fname;
  name = InboundName(fname, note);
  if (!accept || !name) return skip(fname);
  if (const std::string problem = InboundProblem(owner_.ReceiveDir); !problem.empty())
    return InboundGone(problem);
  TInboundFile file;
  file.FreeSpace = owner_.InboundFreeSpace;
  std::string why;
  const TInboundFile::Result opened =
      file.Start(owner_.ReceiveDir, *name, size, offer.date, why, offered);
  Notes(file);
  if (opened == TInboundFile::Result::Refused) {
    Log(why);
    return skip(*name);
  }
  if (opened == TInboundFile::Result::Failed) {
    Log("File open/create failed");
    Report(30, file.TempPath());
    return RecvResult::Unstorable;
  }
  SetName(*name, file.TempPath());
  Log("Receiving as " + file.TempPath());
  Report(23, *name, shownSize, offer.date);
  if (opened == TInboundFile::Result::Resumed) {
    Log("Starting transfer at offset " + std::to_string(file.Position()));
    Report(26, {}, file.Position());
  }
  SetTimeout(kStartWait);
  SendHeader(ZRPOS, static_cast<uint32_t>(file.Position()));
  bool inSync = false;    // a ZDATA header at our position was seen
  bool wantInfo = false;  // a ZFILE header came: its subpacket follows
  TZEvent ev;
  for (;;) {
    const Got g = Wait(ev);
    if (g == Got::Timeout) {
      if (!Retry()) {
        Log("ZModem receive failed (timeout)");
        Report(16);
        stop = Got::Timeout;
        return RecvResult::Failed;
      }
      inSync = false;
      SendHeader(ZRPOS, static_cast<uint32_t>(file.Position()));
      continue;
    }
    if (g != Got::Frame) {
      stop = g;
      return RecvResult::Failed;
    }
    switch (ev.kind) {
      case TZEvent::Header:
        wantInfo = false;
        switch (ev.header.type) {
          case ZDATA:
            inSync = ev.header.arg == static_cast<uint32_t>(file.Position());
            if (!inSync) SendHeader(ZRPOS, static_cast<uint32_t>(file.Position()));
            break;
          case ZEOF: {
            if (ev.header.arg != static_cast<uint32_t>(file.Position())) {
              Log("Bad offset");
              break;
            }
            Log("Received file end position " + std::to_string(ev.header.arg));
            Log("File ok");
            StopTimer();
            // The file is confirmed only where it is kept: a folder gone
            // in the middle of the file takes the file with it.
            if (const std::string problem = InboundProblem(owner_.ReceiveDir); !problem.empty())
              return InboundGone(problem);
            const auto final = file.Finish();
            Notes(file);
            if (final) {
              SetName(*final, platform::JoinPath(owner_.ReceiveDir, *final));
              Report(24, {}, file.Position());
              Report(25, *final, file.Position());
              return RecvResult::Done;
            }
            Log("File write error");
            Report(33, *name, file.Position());
            SendHeader(ZFERR, 0);
            return RecvResult::Failed;
          }
          case ZFILE: wantInfo = true; break;
          case ZFIN: return RecvResult::Fin;
          case ZRQINIT: SendHeader(ZRPOS, static_cast<uint32_t>(file.Position())); break;
          default: break;
        }
        break;
      case TZEvent::Data:
        if (wantInfo) {  // the sender started over with a file
          nextInfo = std::move(ev.data);
          return RecvResult::NewFile;
        }
        if (!inSync) break;
        if (!file.Write(ev.data)) {
          Log("File write error");
          // A limit that stopped the file has said so; anything else is
          // the disk's own failure.
          if (!Notes(file)) Report(33, *name, file.Position());
          SendHeader(ZFERR, 0);
          return RecvResult::Failed;
        }
        SetTimeout(kStartWait);
        Report(24, {}, file.Position());
        if (ev.frameEnd == ZCRCQ || ev.frameEnd == ZCRCW) {
          SendHeader(ZACK, static_cast<uint32_t>(file.Position()));
        }
        break;
      case TZEvent::BadData:
      case TZEvent::BadHeader:
        // Out of step a ZRPOS is already out; its time-out repeats it.
        if (!inSync) break;
        inSync = false;
        Report(3, {}, file.Position());
        SendHeader(ZRPOS, static_cast<uint32_t>(file.Position()));
        break;
      case TZEvent::Cancel: break;
    }
  }
}

TCMZModemThread::End TCMZModemThread::WaitForFin() {
  if (!Device().IsReady()) return Stop(Got::Lost);
  Log("Waiting for ZFin");
  SetTimeout(kFinWait);
  TZEvent ev;
  for (;;) {
    const Got g = Wait(ev);
    if (g == Got::Timeout) {
      Log("ZFIN expectation timed out");
      CancelSequence();
      return End::Aborted;
    }
    if (Stopped(g)) return Stop(g);
    if (ev.kind == TZEvent::Header && ev.header.type == ZFIN) {
      SendHeader(ZFIN, 0);
      return End::Aborted;
    }
  }
}

// ---------------------------------------------------------------------------
// TCMZModem

TCMZModem::TCMZModem(platform::Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

TCMZModem::~TCMZModem() {
  // The session's last reports are still pumped (its thread waits on
  // them), but they no longer reach the handlers.
  StopReporting();
  Abort();
  while (active_) {
    dispatcher_.ProcessMessages();
    std::this_thread::sleep_for(5ms);
  }
  Join();
}

void TCMZModem::Join() {
  if (thread_.joinable()) thread_.join();
}

void TCMZModem::Start(bool sending) {
  {
    std::lock_guard lock(lock_);
    if (!Device || active_) return;
    active_ = true;
  }
  Join();
  DoProtocolState(0, {}, 0, 0);
  DoProtocolState(2, "Creating ZModem thread", 0, 0);
  {
    std::lock_guard lock(lock_);
    session_ = std::make_unique<TCMZModemThread>(*this, sending);
  }
  DoProtocolState(2, "Starting ZModem thread", 0, 0);
  thread_ = std::thread([s = session_.get()] { s->Run(); });
}

void TCMZModem::Abort() {
  std::lock_guard lock(lock_);
  if (session_ && active_) session_->RequestAbort();
}

std::string TCMZModem::GetFileName() const {
  std::lock_guard lock(lock_);
  return active_ && session_ ? session_->FileName() : std::string();
}

std::string TCMZModem::GetFilePath() const {
  std::lock_guard lock(lock_);
  return active_ && session_ ? session_->FilePath() : std::string();
}

void TCMZModem::TimerTrigger(int handle) {
  std::lock_guard lock(lock_);
  if (session_) session_->OnTimer(handle);
}

void TCMZModem::ReceiveData(const char* buffer, size_t length) {
  std::lock_guard lock(lock_);
  if (session_) session_->Feed(buffer, length);
}

}  // namespace velmaris
