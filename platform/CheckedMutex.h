// A mutex that knows which thread holds it. Code that reaches state the lock
// guards asserts that it holds the lock; code about to call out to handlers
// asserts that it does not, so that no handler ever runs under it and no
// lock order can form through it. It is not recursive: taking it again on
// the same thread is a fault, caught by an assertion.
#pragma once

#include <atomic>
#include <cassert>
#include <mutex>
#include <thread>

namespace velmaris::platform {

class CheckedMutex {
 public:
  void lock() {
    assert(!HeldByThisThread() && "CheckedMutex is not recursive");
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() {
    if (!mutex_.try_lock()) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Only the holder can see itself here: another thread's answer may be
  // stale, but never names this thread wrongly.
  bool HeldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace velmaris::platform
