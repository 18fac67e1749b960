#include "platform/MessageSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmaris::platform {

namespace {

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool SocketAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

}  // namespace

std::array<uint8_t, TThreadMessage::kSize> TThreadMessage::Encode() const {
  std::array<uint8_t, kSize> out{};
  PutLE32(&out[0], Msg);
  PutLE32(&out[4], Thread);
  PutLE32(&out[8], WParam);
  PutLE32(&out[12], LParam);
  return out;
}

std::optional<TThreadMessage> TThreadMessage::Decode(const uint8_t* data, size_t size) {
  if (size != kSize) return std::nullopt;
  return TThreadMessage{GetLE32(data), GetLE32(data + 4), GetLE32(data + 8), GetLE32(data + 12)};
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

TMessageSocket TMessageSocket::Connect(const std::string& path) {
  sockaddr_un addr;
  if (!SocketAddress(path, addr)) return {};
  Fd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!fd.ok()) return {};
  int rc;
  do {
    rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return {};
  return TMessageSocket(std::move(fd));
}

bool TMessageSocket::Send(const TThreadMessage& message) {
  if (!fd_.ok()) return false;
  const auto bytes = message.Encode();
  for (;;) {
    const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return n == static_cast<ssize_t>(bytes.size());
  }
}

TMessageSocket::Result TMessageSocket::Receive(TThreadMessage& message,
                                               std::chrono::milliseconds limit, int wakeFd) {
  if (!fd_.ok()) return Result::Closed;
  const int ready = WaitReadable(fd_.get(), wakeFd, limit);
  if (ready == 0) return Result::Timeout;
  if (ready == -2) return Result::Woken;
  if (ready < 0) return Result::Closed;
  uint8_t buf[TThreadMessage::kSize + 1];
  ssize_t n;
  do {
    n = ::recv(fd_.get(), buf, sizeof buf, MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return Result::Closed;
  const auto decoded = TThreadMessage::Decode(buf, static_cast<size_t>(n));
  if (!decoded) return Result::Garbage;
  message = *decoded;
  return Result::Ok;
}

void TMessageSocket::Shutdown() {
  if (fd_.ok()) ::shutdown(fd_.get(), SHUT_RDWR);
}

bool TMessageSocket::PeerIsSameUser() const {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd_.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::getuid();
}

int TMessageSocket::PeerPid() const {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd_.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return 0;
  return cred.pid;
}

TMessageListener::TMessageListener(const std::string& path) : path_(path) {
  sockaddr_un addr;
  if (!SocketAddress(path, addr)) throw EFile("socket path too long: " + path);
  fd_ = Fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!fd_.ok()) throw EFile(std::string("cannot create socket: ") + std::strerror(errno));
  ::unlink(path.c_str());
  if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd_.get(), 16) != 0)
    throw EFile("cannot listen at " + path + ": " + std::strerror(errno));
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) throw EFile(std::string("pipe: ") + std::strerror(errno));
  wake_[0] = Fd(p[0]);
  wake_[1] = Fd(p[1]);
}

TMessageListener::~TMessageListener() { ::unlink(path_.c_str()); }

TMessageSocket TMessageListener::Accept(std::chrono::milliseconds limit) {
  if (WaitReadable(fd_.get(), wake_[0].get(), limit) != 1) return {};
  Fd fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  return TMessageSocket(std::move(fd));
}

void TMessageListener::Shutdown() {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_[1].get(), &byte, 1);
}

}  // namespace velmaris::platform
