// The main thread's queue. Workers never touch a window: they hand window work
// and message boxes to the main thread through Send (which waits) or Post.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace velmaris::platform {

class Dispatcher {
 public:
  using Task = std::function<void()>;
  using TimerId = uint64_t;

  virtual ~Dispatcher() = default;

  // Runs the task on the main thread and waits for it; runs inline when
  // called on the main thread. An exception thrown by the task reaches the
  // caller.
  virtual void Send(Task task) = 0;
  // Queues the task for the main thread and returns at once.
  virtual void Post(Task task) = 0;
  virtual bool IsMainThread() const = 0;
  // Runs what is due on the main thread (queued tasks and timers), for the
  // places where the system waits and keeps the program responsive. Called
  // on another thread it does nothing.
  virtual void ProcessMessages() = 0;
  // A timer on the main thread, every `interval` until stopped.
  virtual TimerId StartTimer(std::chrono::milliseconds interval, Task task) = 0;
  virtual void StopTimer(TimerId id) = 0;
  // On the main thread: processes messages until the predicate holds or the
  // timeout passes, sleeping while nothing is due. The predicate is checked
  // after each round and at least every 20 ms, so it may also watch a flag a
  // worker sets (Wake makes the check immediate). Returns the predicate's
  // last value.
  virtual bool RunUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30)) = 0;
  // Wakes a RunUntil that is sleeping, to check its predicate at once; from
  // any thread.
  virtual void Wake() = 0;

 protected:
  using Clock = std::chrono::steady_clock;
  // Send from a worker: posts the task and waits until the main thread has
  // run it; the task's exception is raised in the caller.
  void PostAndWait(Task task);
  // The rounds of RunUntil: ProcessMessages, the predicate, then
  // sleep(latest), which returns by `latest` (at most maxSleep ahead and
  // never past the deadline) or earlier on a wake.
  bool RunRounds(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                 std::chrono::milliseconds maxSleep,
                 const std::function<void(Clock::time_point latest)>& sleep);
};

// The plain implementation for tests, workers and the batch driver: the
// thread that creates it is the main thread, which runs the queue whenever it
// calls ProcessMessages or RunUntil.
class PlainDispatcher : public Dispatcher {
 public:
  PlainDispatcher();
  void Send(Task task) override;
  void Post(Task task) override;
  bool IsMainThread() const override;
  void ProcessMessages() override;
  TimerId StartTimer(std::chrono::milliseconds interval, Task task) override;
  void StopTimer(TimerId id) override;
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(30)) override;
  void Wake() override;

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
    Task task;
  };
  std::thread::id main_;
  mutable std::mutex mutex_;
  bool woken_ = false;  // Wake was called since the last wait
  std::condition_variable wake_;
  std::deque<Task> queue_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimer_ = 1;
};

// The process-wide dispatcher. A PlainDispatcher made on first use serves
// until the application sets its own (its main thread is the thread that
// first asks for it); SetDispatcher(nullptr) returns to it.
Dispatcher& GetDispatcher();
void SetDispatcher(Dispatcher* dispatcher);

}  // namespace velmaris::platform
