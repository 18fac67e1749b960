#include "platform/Dispatcher.h"

#include <atomic>
#include <future>
#include <memory>
#include <vector>

namespace velmaris::platform {

namespace {
// RunUntil looks at its predicate at least this often, for predicates that
// turn true without a task being queued (a worker setting a flag).
constexpr std::chrono::milliseconds kMaxSleep{20};
}  // namespace

PlainDispatcher::PlainDispatcher() : main_(std::this_thread::get_id()) {}

bool PlainDispatcher::IsMainThread() const { return std::this_thread::get_id() == main_; }

void Dispatcher::PostAndWait(Task task) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> result = done->get_future();
  Post([task = std::move(task), done] {
    try {
      task();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  result.get();  // rethrows the task's exception here
}

bool Dispatcher::RunRounds(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                           std::chrono::milliseconds maxSleep,
                           const std::function<void(Clock::time_point latest)>& sleep) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    ProcessMessages();
    if (done()) return true;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    sleep(std::min(deadline, now + maxSleep));
  }
}

void PlainDispatcher::Send(Task task) {
  if (IsMainThread()) {
    task();
    return;
  }
  PostAndWait(std::move(task));
}

void PlainDispatcher::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void PlainDispatcher::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void PlainDispatcher::ProcessMessages() {
  // The queue belongs to the main thread; a worker has nothing to pump.
  if (!IsMainThread()) return;
  // Runs the tasks queued so far (not those they queue in turn, so that a
  // task re-posting itself cannot keep this call from returning).
  size_t budget;
  {
    std::lock_guard lock(mutex_);
    budget = queue_.size();
  }
  while (budget-- > 0) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) break;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
  // Timers that are due, each at most once per call.
  const auto now = std::chrono::steady_clock::now();
  std::vector<TimerId> due;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, timer] : timers_) {
      if (timer.due <= now) due.push_back(id);
    }
  }
  for (TimerId id : due) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.find(id);
      if (it == timers_.end()) continue;  // stopped by an earlier task
      it->second.due = std::chrono::steady_clock::now() + it->second.interval;
      task = it->second.task;
    }
    task();
  }
}

PlainDispatcher::TimerId PlainDispatcher::StartTimer(std::chrono::milliseconds interval,
                                                     Task task) {
  if (interval.count() < 1) interval = std::chrono::milliseconds(1);
  TimerId id;
  {
    std::lock_guard lock(mutex_);
    id = nextTimer_++;
    timers_[id] = Timer{interval, std::chrono::steady_clock::now() + interval, std::move(task)};
  }
  wake_.notify_all();
  return id;
}

void PlainDispatcher::StopTimer(TimerId id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

bool PlainDispatcher::RunUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  return RunRounds(done, timeout, kMaxSleep, [this](Clock::time_point until) {
    std::unique_lock lock(mutex_);
    for (const auto& [id, timer] : timers_) until = std::min(until, timer.due);
    wake_.wait_until(lock, until, [this] { return !queue_.empty() || woken_; });
    woken_ = false;
  });
}

namespace {
std::atomic<Dispatcher*> gDispatcher{nullptr};
}

Dispatcher& GetDispatcher() {
  if (Dispatcher* d = gDispatcher.load()) return *d;
  static PlainDispatcher fallback;
  return fallback;
}

void SetDispatcher(Dispatcher* dispatcher) { gDispatcher.store(dispatcher); }

}  // namespace velmaris::platform
