#include "platform/Event.h"

#include <algorithm>
#include <cassert>

namespace velmaris::platform {

// One lock for all events keeps WaitAny simple: the state of every event in
// the list is looked at and waited for under the same lock. Events are few
// and their operations short.
namespace {
std::mutex& EventLock() {
  static std::mutex m;
  return m;
}
}  // namespace

struct Event::Waiter {
  std::condition_variable cv;
};

Event::Event(bool manualReset, bool initiallySet) : manual_(manualReset), set_(initiallySet) {}

Event::~Event() {
  std::lock_guard lock(EventLock());
  assert(waiters_.empty() && "an event destroyed while a thread waits on it");
}

void Event::Set() {
  std::lock_guard lock(EventLock());
  set_ = true;
  for (Waiter* w : waiters_) w->cv.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(EventLock());
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(EventLock());
  return set_;
}

bool Event::TryTake() {
  if (!set_) return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::Wait(std::chrono::milliseconds limit) { return WaitAny({this}, limit) == 0; }

int WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(EventLock());
  Event::Waiter waiter;
  auto taken = [&]() -> int {
    int i = 0;
    for (Event* e : events) {
      if (e->TryTake()) return i;
      ++i;
    }
    return -1;
  };
  int hit = taken();
  if (hit >= 0 || limit.count() <= 0) return hit;
  for (Event* e : events) e->waiters_.push_back(&waiter);
  while ((hit = taken()) < 0) {
    if (waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
      hit = taken();
      break;
    }
  }
  for (Event* e : events) {
    auto& w = e->waiters_;
    w.erase(std::find(w.begin(), w.end(), &waiter));
  }
  return hit;
}

}  // namespace velmaris::platform
