#include "platform/SerialPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace velmaris::platform {

namespace {

struct SpeedEntry {
  uint32_t bps;
  speed_t code;
};
constexpr SpeedEntry kSpeeds[] = {
    {300, B300},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

speed_t SpeedCode(uint32_t bps) {
  speed_t code = B300;
  for (const auto& s : kSpeeds) {
    if (s.bps <= bps) code = s.code;
  }
  return code;
}

// Waits for the descriptor to be ready for `events`; Gone when it reports a
// hang-up or an error, Timeout when the limit passed.
SerialPort::IoResult WaitReady(int fd, short events, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::milliseconds(0);
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0) {
      if (errno == EINTR) continue;
      return SerialPort::IoResult::Gone;
    }
    if (n == 0) return SerialPort::IoResult::Timeout;
    if (p.revents & events) return SerialPort::IoResult::Ok;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return SerialPort::IoResult::Gone;
  }
}

}  // namespace

SerialPort::~SerialPort() { Close(); }

void SerialPort::Open(const std::string& path, uint32_t speed, bool rtsCts) {
  Close();
  platform::Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.ok()) {
    if (errno == EBUSY) throw ESerialPort(path + " is in use");
    throw ESerialPort("Cannot open " + path + ": " + std::strerror(errno));
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) throw ESerialPort(path + " is in use");
    throw ESerialPort("Cannot lock " + path + ": " + std::strerror(errno));
  }
  termios tio{};
  if (::tcgetattr(fd.get(), &tio) != 0) {
    throw ESerialPort(path + " is no serial device: " + std::strerror(errno));
  }
  ::ioctl(fd.get(), TIOCEXCL);
  ::cfmakeraw(&tio);
  tio.c_cflag |= CREAD | CLOCAL | HUPCL;
  if (rtsCts) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_cflag &= ~CRTSCTS;
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetspeed(&tio, SpeedCode(speed));
  if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
    throw ESerialPort("Cannot set up " + path + ": " + std::strerror(errno));
  }
  fd_ = fd.Release();
  path_ = path;
  SetDTR(true);
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  savedSpeed_ = 0;
}

SerialPort::IoResult SerialPort::Read(std::string& out, size_t max,
                                      std::chrono::milliseconds limit) {
  if (fd_ < 0) return IoResult::Gone;
  const IoResult ready = WaitReady(fd_, POLLIN, limit);
  if (ready != IoResult::Ok) return ready;
  const size_t old = out.size();
  out.resize(old + max);
  const ssize_t n = ReadSome(fd_, out.data() + old, max);
  if (n > 0) {
    out.resize(old + static_cast<size_t>(n));
    return IoResult::Ok;
  }
  out.resize(old);
  if (n < 0 && errno == EAGAIN) return IoResult::Timeout;
  return IoResult::Gone;  // the far side closed, or the line failed
}

SerialPort::IoResult SerialPort::Write(std::string_view data, std::chrono::milliseconds limit) {
  if (fd_ < 0) return IoResult::Gone;
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return IoResult::Gone;
    const IoResult ready = WaitReady(fd_, POLLOUT, limit);
    if (ready != IoResult::Ok) return ready;
  }
  return IoResult::Ok;
}

void SerialPort::Purge() {
  if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

void SerialPort::PurgeInput() {
  if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

bool SerialPort::SetDTR(bool on) {
  if (fd_ < 0) return false;
  int bits = TIOCM_DTR;
  return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool SerialPort::SetZeroSpeed(bool on) {
  termios tio{};
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
  if (on) {
    if (savedSpeed_ == 0) savedSpeed_ = static_cast<uint32_t>(::cfgetospeed(&tio));
    ::cfsetospeed(&tio, B0);
  } else {
    if (savedSpeed_ == 0) return true;
    ::cfsetospeed(&tio, static_cast<speed_t>(savedSpeed_));
    ::cfsetispeed(&tio, static_cast<speed_t>(savedSpeed_));
    savedSpeed_ = 0;
  }
  return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool SerialPort::GetModemLines(ModemLines& lines) const {
  int bits = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &bits) != 0) return false;
  lines.cts = bits & TIOCM_CTS;
  lines.dsr = bits & TIOCM_DSR;
  lines.ring = bits & TIOCM_RNG;
  lines.dcd = bits & TIOCM_CAR;
  return true;
}

bool SerialPort::IsLocked(const std::string& path) {
  platform::Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.ok()) return errno == EBUSY;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
  ::flock(fd.get(), LOCK_UN);
  return false;
}

namespace {
// Entries of dir that are no directories (after following links) and whose
// names begin with one of the prefixes; missing directories give nothing.
void AddDevices(const std::string& dir, std::initializer_list<std::string_view> prefixes,
                std::vector<std::string>& found) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    const bool wanted = std::any_of(prefixes.begin(), prefixes.end(), [&](std::string_view p) {
      return name.size() > p.size() && name.substr(0, p.size()) == p;
    });
    struct stat st;
    if (!wanted || ::stat((dir + std::string(name)).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
      continue;
    }
    found.push_back(dir + std::string(name));
  }
  ::closedir(d);
}
}  // namespace

std::vector<std::string> FindSerialDevices(const std::string& devRoot) {
  std::vector<std::string> found;
  const std::string dev = WithSlash(devRoot);
  AddDevices(dev, {"ttyS", "ttyUSB", "ttyACM"}, found);
  AddDevices(dev + "serial/by-id/", {""}, found);
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

}  // namespace velmaris::platform
