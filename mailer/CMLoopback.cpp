#include "mailer/CMLoopback.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <stdexcept>

namespace velmaris {

using namespace std::chrono_literals;

namespace {

// A connected socket pair, both ends non-blocking, with small send buffers
// so that a writer meets flow control much as on a modem line.
void MakeSocketPair(platform::Fd& one, platform::Fd& two) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
    throw std::runtime_error("socketpair failed");
  }
  for (int fd : fds) {
    int size = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  }
  one = platform::Fd(fds[0]);
  two = platform::Fd(fds[1]);
}

}  // namespace

TCMLoopbackDevice::TCMLoopbackDevice(TCMLoopbackPair& pair, platform::Dispatcher& dispatcher)
    : TCMStreamDevice(dispatcher), pair_(pair) {}

TCMLoopbackDevice::~TCMLoopbackDevice() {
  SetDestroying();
  HangUp();
  ShutDown();
}

void TCMLoopbackDevice::SetOpened(bool open) {
  if (open) {
    Open();
  } else {
    Close();
  }
}

void TCMLoopbackDevice::Close() {
  HangUp();
  SetOpenedLocked(opened_, false);
}

void TCMLoopbackDevice::MakeCall() {
  AssertMainThread();
  if (!opened_ || !IsIdle()) return;
  connecting_ = true;
  DoConnecting();
  pair_.Connect();
}

void TCMLoopbackDevice::Connected(platform::Fd fd, int64_t rate) {
  AssertMainThread();
  fd_ = std::move(fd);
  connecting_ = false;
  connected_ = true;
  dataRate_ = rate;
  SetLineRate(rate);
  DoConnected();
  if (!connected_ || disconnecting_) return;
  Events().SetLineStatus(lsCTS | lsDSR | lsRLSD);
  OpenCommPort(fd_.get());
  DoReady();
}

uint64_t TCMLoopbackDevice::BytesGone(int fd, uint64_t written) const {
  (void)fd;
  return std::min(written, pair_.Carried(*this));
}

void TCMLoopbackDevice::HangUp() {
  AssertMainThread();
  if (disconnecting_ || IsIdle()) return;
  disconnecting_ = true;
  if (connecting_) DoCancelling();
  if (connected_) DoDisconnecting();
  if (connected_) DrainOutput();
  CloseCommPort();
  fd_.Close();  // the far end sees the line end
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
}

TCMLoopbackPair::TCMLoopbackPair(const TLineShape& shape, platform::Dispatcher& dispatcher)
    : shape_(shape),
      a_(std::make_unique<TCMLoopbackDevice>(*this, dispatcher)),
      b_(std::make_unique<TCMLoopbackDevice>(*this, dispatcher)) {}

TCMLoopbackPair::~TCMLoopbackPair() {
  // Both ends go together: while the first is torn down, the second's line
  // thread may already have handed its hang-up to the main thread, and that
  // task runs while the first waits for its own thread. It must not reach
  // handlers whose owner is throwing the pair away.
  a_->SetDestroying();
  b_->SetDestroying();
  a_.reset();
  b_.reset();
  StopRelay();
}

void TCMLoopbackPair::StopRelay() {
  stopRelay_ = true;
  if (relay_.joinable()) relay_.join();
  stopRelay_ = false;
}

void TCMLoopbackPair::Connect() {
  if (a_->IsConnected() || b_->IsConnected() || a_->IsDisconnecting() || b_->IsDisconnecting()) {
    return;
  }
  StopRelay();
  platform::Fd endA, relayA, endB, relayB;
  MakeSocketPair(endA, relayA);
  MakeSocketPair(endB, relayB);
  carried_[0] = carried_[1] = 0;
  relay_ = std::thread([this, ra = std::move(relayA), rb = std::move(relayB)]() mutable {
    TLineRelay relay(ra.get(), rb.get(), shape_);
    relay.OnFromA = [this](std::string_view bytes) { carried_[0] += bytes.size(); };
    relay.OnFromB = [this](std::string_view bytes) { carried_[1] += bytes.size(); };
    while (!stopRelay_ && relay.Step(50ms) == TLineRelay::State::Running) {
    }
    // Both ends close: each device sees the line end.
  });
  const int64_t rate = shape_.bitsPerSecond ? int64_t{shape_.bitsPerSecond} : int64_t{-1};
  a_->Connected(std::move(endA), rate);
  b_->Connected(std::move(endB), rate);
}

}  // namespace velmaris
