// The base of the background jobs (import, export, maintenance and
// optimisation runs, nodelist run, unpacking, automatic unpacking): the
// thread with its stop token, the hand-over to the main thread, the
// time-stamped log line and the notice that a run has finished.
//
// A run is the job's RunJob, on a thread of its own (Launch) or on the
// caller's (RunHere); one run at a time. No exception leaves a run: one that
// RunJob lets out goes to Failed, which reports it as a failed run. AfterRun
// then follows exactly once, whatever happened, and a main thread sleeping
// in the dispatcher is woken to look at the job again. Each run starts with
// a fresh stop token; RequestStop asks the run going on to end early.
//
// The run uses the derived object's members: a derived class calls Join in
// its own destructor.
#pragma once

#include <atomic>
#include <ctime>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

namespace velmaris {

namespace platform {
class Dispatcher;
}

// Starts a thread that runs fn and hands it back; raises std::system_error
// when no thread can be started. Empty: std::thread's own start. Tests hand
// in one that fails on purpose.
using TThreadStarter = std::function<std::thread(std::function<void()>)>;

class TJob {
 public:
  TJob() = default;
  virtual ~TJob() = default;
  TJob(const TJob&) = delete;
  TJob& operator=(const TJob&) = delete;

  void RequestStop() { stop_.request_stop(); }
  bool StopRequested() const { return stop_.stop_requested(); }
  // No run is going on (none was started, or the last one has finished).
  bool Idle() const { return !active_.load(); }
  // Waits for the thread of a launched run to end (collects a finished one).
  // On the main thread it processes the dispatcher's messages meanwhile, so
  // that the run's last hand-overs are served; never from inside one of
  // them.
  void Join();

  // Runs fn on the main thread and waits for it (at once when already there).
  static void OnMain(const std::function<void()>& fn);
  // Writes a line to the program's log (the configuration store's, else
  // standard error), for failures with no window or report to go to.
  static void LogProblem(const std::string& line);
  // "dd.mm.yy hh:mm:ss" of when (local time), separator, text.
  static std::string StampedLine(std::time_t when, const std::string& separator,
                                 const std::string& text);

 protected:
  // Starts a run on a new thread; prepare runs first, on the caller's thread,
  // once the run is sure to start. False (nothing started) when a run is
  // going on.
  bool Launch(const std::function<void()>& prepare = {});
  // A run on the calling thread; false when a run is going on.
  bool RunHere();

  virtual void RunJob() = 0;
  // What an exception let out of RunJob said.
  virtual void Failed(const std::string& what) = 0;
  // After every run, once, on the run's thread.
  virtual void AfterRun() {}

 private:
  void RunGuarded();

  std::stop_source stop_;
  std::atomic<bool> active_{false};
  platform::Dispatcher* waker_ = nullptr;  // the dispatcher of the run's starter
  std::jthread thread_;
};

}  // namespace velmaris
