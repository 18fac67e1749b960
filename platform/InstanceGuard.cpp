#include "platform/InstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

namespace velmaris::platform {

std::string InstanceGuard::DefaultPath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/KQInstanceMap.lock";
  return "/tmp/KQInstanceMap-" + std::to_string(getuid()) + ".lock";
}

std::string InstanceGuard::StartDirectoryPath(const std::string& startDir) {
  if (startDir.empty()) return kStartLockName;
  return startDir + (startDir.back() == '/' ? "" : "/") + kStartLockName;
}

InstanceGuard::InstanceGuard(std::string path, bool inherited)
    : path_(std::move(path)), inherited_(inherited) {}

InstanceGuard::~InstanceGuard() { Release(); }

InstanceGuard::Result InstanceGuard::Acquire() {
  if (fd_ >= 0) return Result::Acquired;
  const int fd =
      open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | (inherited_ ? 0 : O_CLOEXEC), 0600);
  if (fd < 0) {
    error_ = errno;
    return Result::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno;
    close(fd);
    return error_ == EWOULDBLOCK ? Result::AlreadyRunning : Result::Failed;
  }
  fd_ = fd;
  error_ = 0;
  return Result::Acquired;
}

InstanceGuard::Result InstanceGuard::Acquire(std::chrono::milliseconds wait) {
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const Result result = Acquire();
    if (result != Result::AlreadyRunning || std::chrono::steady_clock::now() >= until)
      return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

InstanceGuard::Result InstanceGuard::AcquireForReading(std::chrono::milliseconds wait) {
  const Result result = Acquire(wait);
  if (result != Result::Failed || (error_ != EROFS && error_ != EACCES && error_ != EPERM))
    return result;
  const int fd = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | (inherited_ ? 0 : O_CLOEXEC));
  if (fd < 0) {
    if (errno == ENOENT) {
      error_ = 0;
      return Result::Acquired;
    }
    error_ = errno;
    return Result::Failed;
  }
  const auto until = std::chrono::steady_clock::now() + wait;
  while (flock(fd, LOCK_SH | LOCK_NB) != 0) {
    error_ = errno;
    if (error_ != EWOULDBLOCK || std::chrono::steady_clock::now() >= until) {
      close(fd);
      return error_ == EWOULDBLOCK ? Result::AlreadyRunning : Result::Failed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fd_ = fd;
  error_ = 0;
  return Result::Acquired;
}

void InstanceGuard::Release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}

}  // namespace velmaris::platform
