#include "mailer/CMThreads.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "mailer/CMCore.h"
#include "platform/Files.h"

namespace velmaris {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// TChannel

void TChannel::Put(TDataPacket packet) {
  std::lock_guard lock(mutex_);
  list_.push_back(std::move(packet));
  notEmpty_.Set();
  empty_.Reset();
}

bool TChannel::Get(TDataPacket& packet, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!list_.empty()) {
        packet = std::move(list_.front());
        list_.pop_front();
        if (list_.empty()) {
          notEmpty_.Reset();
          empty_.Set();
        }
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !notEmpty_.Wait(left)) return false;
  }
}

size_t TChannel::Count() const {
  std::lock_guard lock(mutex_);
  return list_.size();
}

bool TChannel::IsEmpty() const { return Count() == 0; }

// ---------------------------------------------------------------------------
// TOutputCount

void TOutputCount::Open(int fd, int64_t bytesPerSecond) {
  Lock lock(mutex_);
  fd_ = fd;
  handed_ = written_ = dropped_ = 0;
  StartOver(lock, 0);
  lastMarked_ = 0;
  bytesPerSecond_ = bytesPerSecond;
  cut_ = false;
  writtenAtCut_ = 0;
  lineClear_ = lastWrite_ = Clock::now();
}

void TOutputCount::Cut() {
  Lock lock(mutex_);
  cut_ = true;
  writtenAtCut_ = written_;
}

void TOutputCount::Close() {
  Lock lock(mutex_);
  fd_ = -1;
}

void TOutputCount::Handed(size_t bytes) {
  Lock lock(mutex_);
  handed_ += bytes;
}

void TOutputCount::Written(size_t bytes) {
  Lock lock(mutex_);
  written_ += bytes;
  lastWrite_ = Clock::now();
  // The bytes go out after those before them, at the line's rate.
  const auto lineTime =
      bytesPerSecond_ > 0
          ? std::chrono::microseconds(static_cast<int64_t>(bytes) * 1000000 / bytesPerSecond_)
          : std::chrono::microseconds(0);
  lineClear_ = std::max(lineClear_, lastWrite_) + lineTime;
}

void TOutputCount::Dropped(size_t bytes) {
  Lock lock(mutex_);
  dropped_ += bytes;
}

bool TOutputCount::DrainedLocked(const Lock& lock, const GoneFn& gone) {
  assert(Holds(lock));
  if (handed_ > written_ + dropped_) return false;
  return fd_ < 0 || gone(fd_, written_) >= written_;
}

bool TOutputCount::Drained(const GoneFn& gone) {
  Lock lock(mutex_);
  return DrainedLocked(lock, gone);
}

TOutputCount::TState TOutputCount::State(const GoneFn& gone) {
  Lock lock(mutex_);
  TState s;
  s.drained = DrainedLocked(lock, gone);
  s.cut = cut_;
  s.writtenSinceCut = written_ - writtenAtCut_;
  s.lineClear = lineClear_;
  s.lastWrite = lastWrite_;
  return s;
}

void TOutputCount::StartOver(const Lock& lock, int64_t position) {
  assert(Holds(lock));
  marks_.clear();
  gonePosition_ = std::min(gonePosition_, position);
}

void TOutputCount::Mark(int64_t position) {
  Lock lock(mutex_);
  if (position < lastMarked_) StartOver(lock, position);
  lastMarked_ = position;
  if (marks_.size() >= kMaxMarks) {
    marks_.back() = {handed_, position};  // a later mark covers the newest
  } else {
    marks_.push_back({handed_, position});
  }
}

void TOutputCount::DropPassed(const Lock& lock, uint64_t gone) {
  assert(Holds(lock));
  while (!marks_.empty() && marks_.front().handed <= gone) {
    gonePosition_ = marks_.front().position;
    marks_.pop_front();
  }
}

int64_t TOutputCount::PositionGone(const GoneFn& gone) {
  Lock lock(mutex_);
  DropPassed(lock, fd_ < 0 ? written_ : std::min(gone(fd_, written_), written_));
  return gonePosition_;
}

uint64_t TOutputCount::GoneFromDescriptor(int fd, uint64_t written) {
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) return written;
  return written - std::min<uint64_t>(written, static_cast<uint64_t>(queued));
}

// ---------------------------------------------------------------------------
// TCOMEventThread

TCOMEventThread::TCOMEventThread(TCMConnectionDevice& device) : device_(device) {
  thread_ = std::thread([this] { Run(); });
}

TCOMEventThread::~TCOMEventThread() { Stop(); }

void TCOMEventThread::LineFailed(int64_t call) {
  failedCall_ = call;
  Post(cmLineFailed, call);
}

void TCOMEventThread::Post(int message, int64_t param) {
  {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(message, param);
  }
  messageEvent_.Set();
}

void TCOMEventThread::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  Post(cmStop);
  platform::Dispatcher& d = device_.Dispatcher();
  if (d.IsMainThread()) {
    while (!finished_.Wait(5ms)) d.ProcessMessages();
  }
  thread_.join();
}

void TCOMEventThread::Run() {
  platform::Dispatcher& d = device_.Dispatcher();
  for (;;) {
    platform::WaitAny({&readChannel_.NotEmpty(), &messageEvent_}, 50ms);
    TDataPacket block;
    if (readChannel_.Get(block, 0ms)) {
      d.Send([&] {
        if (stopping_ || !device_.Opened()) return;
        device_.DoDataAvail(block.data(), block.size());
        lastReceived_ = std::chrono::steady_clock::now();
        status_ |= lsReceived;
      });
      if (!stopping_) device_.HandToProtocolWhileOpen(block.data(), block.size());
    }
    std::pair<int, int64_t> message{0, 0};
    {
      std::lock_guard lock(mutex_);
      if (!messages_.empty()) {
        message = messages_.front();
        messages_.pop_front();
        if (!messages_.empty()) messageEvent_.Set();
      }
    }
    if (message.first == cmStop) break;
    if (message.first != 0) Handle(message.first, message.second);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReceived_ > 500ms) status_ &= ~lsReceived;
    if (now - lastSent_ > 500ms) status_ &= ~lsSent;
  }
  finished_.Set();
}

void TCOMEventThread::Handle(int message, int64_t param) {
  platform::Dispatcher& d = device_.Dispatcher();
  switch (message) {
    case cmLineFailed:
      if (param != call_) break;
      d.Send([&] {
        if (!stopping_) device_.HangUp();
      });
      break;
    case cmRemoteDisconnect:
      d.Send([&] {
        if (stopping_) return;
        if (param == dmBusy) device_.DoBusy();
        if (param == dmNoAnswer) device_.DoNoAnswer();
        if (param == dmUnavailable) device_.DoDeviceUnavailable();
        if (device_.IsConnecting()) device_.DoConnectFailed();
        device_.HangUp();
      });
      break;
    case cmModemStatus: {
      uint8_t bits = status_ & ~(lsCTS | lsDSR | lsRING | lsRLSD);
      if (param & 0x10) bits |= lsCTS;
      if (param & 0x20) bits |= lsDSR;
      if (param & 0x40) bits |= lsRING;
      if (param & 0x80) bits |= lsRLSD;
      status_ = bits;
      break;
    }
    case cmBytesSent:
      lastSent_ = std::chrono::steady_clock::now();
      status_ |= lsSent;
      break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// The read and write threads

void TIOThread::Start() {
  thread_ = std::thread([this] {
    Run();
    finished_.Set();
  });
}

void StopIOThread(std::unique_ptr<TIOThread>& thread) {
  if (!thread) return;
  thread->stop_.Set();
  if (thread->finished_.Wait(10s)) {
    thread->thread_.join();
    thread.reset();
  } else {
    // Left to itself; the object stays alive for it.
    thread->thread_.detach();
    (void)thread.release();
  }
}

void TReadThread::SetReadSize(int value) { readSize_ = std::clamp(value, 1, 2048); }

// Reports modem line changes; false when carrier dropped after it was up.
bool TReadThread::CheckModemLines(bool& dcdSeen, int& lastBits) {
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) return true;  // no modem lines (a pty, a socket)
  if (bits != lastBits) {
    int64_t status = 0;
    if (bits & TIOCM_CTS) status |= 0x10;
    if (bits & TIOCM_DSR) status |= 0x20;
    if (bits & TIOCM_RNG) status |= 0x40;
    if (bits & TIOCM_CAR) status |= 0x80;
    events_.Post(cmModemStatus, status);
    lastBits = bits;
  }
  if (bits & TIOCM_CAR) dcdSeen = true;
  return !(dcdSeen && !(bits & TIOCM_CAR));
}

void TReadThread::Run() {
  std::string buffer;
  bool dcdSeen = false;
  int lastBits = -1;
  auto nextStatus = std::chrono::steady_clock::now();
  bool failed = false;
  while (!failed && !stop_.IsSet()) {
    if (std::chrono::steady_clock::now() >= nextStatus) {
      nextStatus = std::chrono::steady_clock::now() + 100ms;
      if (!CheckModemLines(dcdSeen, lastBits)) {
        failed = true;
        break;
      }
    }
    pollfd p{fd_, POLLIN, 0};
    const int n = ::poll(&p, 1, 10);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    if (n == 0) continue;
    if (!(p.revents & POLLIN)) {
      failed = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
      continue;
    }
    buffer.resize(static_cast<size_t>(readSize_));
    const ssize_t got = platform::ReadSome(fd_, buffer.data(), buffer.size());
    if (got > 0) {
      buffer.resize(static_cast<size_t>(got));
      events_.ReadChannel().Put(buffer);
    } else if (got == 0 || errno != EAGAIN) {
      failed = true;  // end of file, EIO: the line is gone
    }
  }
  if (failed) {
    events_.LineFailed(call_);
    while (!stop_.Wait(1s)) {
    }
  }
  ::tcflush(fd_, TCIFLUSH);
}

void TWriteThread::Drop() {
  std::lock_guard lock(writeMutex_);
  ++drops_;
  size_t dropped = 0;
  for (TDataPacket packet; channel_.Get(packet, 0ms);) dropped += packet.size();
  output_.Dropped(dropped);
  ::tcflush(fd_, TCOFLUSH);
}

bool TWriteThread::WriteBlock(const TDataPacket& packet, uint64_t drops) {
  size_t done = 0;
  while (done < packet.size()) {
    ssize_t n = 0;
    {
      std::lock_guard lock(writeMutex_);
      if (drops_ != drops) {  // the call was cut: the rest of the block stays unsent
        output_.Dropped(packet.size() - done);
        return true;
      }
      n = platform::WriteNoSignal(fd_, packet.data() + done, packet.size() - done);
      if (n > 0) output_.Written(static_cast<size_t>(n));
    }
    if (n > 0) {
      done += static_cast<size_t>(n);
      events_.Post(cmBytesSent, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    // The line is full (flow control): wait for room, watching the stop
    // and a drop.
    for (;;) {
      bool cut = stop_.IsSet();
      if (!cut) {
        std::lock_guard lock(writeMutex_);
        cut = drops_ != drops;
      }
      if (cut) {  // abandon the rest of the block
        output_.Dropped(packet.size() - done);
        return true;
      }
      pollfd p{fd_, POLLOUT, 0};
      const int r = ::poll(&p, 1, 50);
      if (r < 0 && errno != EINTR) return false;
      if (r > 0 && (p.revents & POLLOUT)) break;
      if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
    }
  }
  return true;
}

void TWriteThread::Run() {
  for (;;) {
    if (platform::WaitAny({&stop_, &channel_.NotEmpty()}, 1s) == 0) break;
    TDataPacket packet;
    uint64_t drops = 0;
    {
      std::lock_guard lock(writeMutex_);
      if (!channel_.Get(packet, 0ms)) continue;
      drops = drops_;
    }
    if (!WriteBlock(packet, drops)) {
      events_.LineFailed(call_);
      break;
    }
  }
}

// ---------------------------------------------------------------------------
// The debug log

namespace {
std::mutex gDebugLogMutex;
std::string gDebugLogPath;  // none until named: never the working folder by default
}  // namespace

void SetTapiDebugLogPath(const std::string& path) {
  std::lock_guard lock(gDebugLogMutex);
  gDebugLogPath = path;
}

void TapiDebugLog(const std::string& text) {
  std::lock_guard lock(gDebugLogMutex);
  if (gDebugLogPath.empty()) return;
  std::FILE* f = std::fopen(gDebugLogPath.c_str(), "a");
  if (!f) return;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%d.%m.%y %H:%M.%S", &tm);
  std::fprintf(f, "%s %s\n", stamp, text.c_str());
  std::fclose(f);
}

}  // namespace velmaris
