// Makes sure only one copy of the program runs for a user. The guard is an
// exclusive flock on a lock file, so the system releases it when the process
// ends in any way, a crash included; no stale marker can be left behind.
#pragma once

#include <string>

namespace velmaris::platform {

class InstanceGuard {
 public:
  enum class Result { Acquired, AlreadyRunning, Failed };

  // The lock file: $XDG_RUNTIME_DIR/KQInstanceMap.lock, else
  // /tmp/KQInstanceMap-<uid>.lock.
  static std::string DefaultPath();

  explicit InstanceGuard(std::string path = DefaultPath());
  ~InstanceGuard();  // releases the guard
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // Takes the guard without waiting. `error` gets errno for Failed.
  Result Acquire();
  void Release();
  int Error() const { return error_; }

 private:
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace velmaris::platform
