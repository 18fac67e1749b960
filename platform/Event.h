// Waitable events for the communication threads: a manual or auto-reset flag
// that threads wait on, alone or several at once (WaitAny), with a limit.
//
// An auto-reset event wakes one waiter and clears itself as that waiter
// returns; a manual-reset event stays set until Reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace velmaris::platform {

class Event {
 public:
  explicit Event(bool manualReset = true, bool initiallySet = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was set within the limit (an auto-reset event is
  // then cleared again).
  bool Wait(std::chrono::milliseconds limit);

  struct Waiter;  // a thread blocked in WaitAny

 private:
  friend int WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds limit);
  bool TryTake();  // under the shared lock

  const bool manual_;
  bool set_;
  std::vector<Waiter*> waiters_;
};

// Waits until one of the events is set; returns its position in the list
// (the first set one when several are), or -1 when the limit passed. A
// taken auto-reset event is cleared.
int WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds limit);

}  // namespace velmaris::platform
