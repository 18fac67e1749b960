// Makes sure only one copy of the program runs for a user, and that one
// start directory has one owner. The guard is an exclusive flock on a lock
// file, so the system releases it when the process ends in any way, a crash
// included; no stale marker can be left behind.
//
// A folder's guard is the lock file "Velmaris.lock" in it. The program and
// the batch driver take it in the start directory and the message base
// folder, and a guard beside the registry file (core/MailLock.h); so the
// program, the batch runs and their jobs (import, export, maintenance), and
// the packers they start, never work on the same mail at once.
#pragma once

#include <chrono>
#include <string>

namespace velmaris::platform {

// The name of a folder's lock file.
inline constexpr const char* kStartLockName = "Velmaris.lock";

class InstanceGuard {
 public:
  enum class Result { Acquired, AlreadyRunning, Failed };

  // The lock file: $XDG_RUNTIME_DIR/KQInstanceMap.lock, else
  // /tmp/KQInstanceMap-<uid>.lock.
  static std::string DefaultPath();

  // inherited: the programs this process starts hold the guard too, so
  // that it stays taken until a program started by a process that was
  // killed has ended as well (a packer still writing a bundle).
  explicit InstanceGuard(std::string path = DefaultPath(), bool inherited = false);
  ~InstanceGuard();  // releases the guard
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // The guard of a folder (ending in "/" or not).
  static std::string StartDirectoryPath(const std::string& startDir);

  // Takes the guard without waiting. `error` gets errno for Failed.
  Result Acquire();
  // Takes the guard, trying again every 100 ms until it is free or the
  // wait is over (AlreadyRunning then).
  Result Acquire(std::chrono::milliseconds wait);
  // For a run that only reads: the guard as Acquire takes it; where the
  // lock file cannot be opened for writing (a read-only medium, a folder of
  // another user), a shared lock on the file as it is, which excludes the
  // writers and admits other readers; where it cannot be made either,
  // nothing is held (Acquired): no run can write there that takes it.
  Result AcquireForReading(std::chrono::milliseconds wait);
  void Release();
  int Error() const { return error_; }

 private:
  std::string path_;
  bool inherited_ = false;
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace velmaris::platform
