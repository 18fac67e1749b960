#include "core/Job.h"

#include <chrono>
#include <exception>
#include <iostream>

#include "core/ConfigStore.h"
#include "core/DateTimeUtil.h"
#include "platform/Dispatcher.h"

namespace velmaris {

void TJob::Join() {
  if (!thread_.joinable()) return;
  // On the main thread the run may still be handing work over (a window
  // going away while its job reports): serve it meanwhile, or each thread
  // would wait for the other.
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  if (dispatcher.IsMainThread()) {
    while (!dispatcher.RunUntil([this] { return Idle(); }, std::chrono::hours(24))) {
    }
  }
  thread_.join();
}

void TJob::OnMain(const std::function<void()>& fn) { platform::GetDispatcher().Send(fn); }

void TJob::LogProblem(const std::string& line) {
  if (TConfigStore* store = GetConfigStore())
    store->Log(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

std::string TJob::StampedLine(std::time_t when, const std::string& separator,
                              const std::string& text) {
  return LogTimeStamp(when) + separator + text;
}

bool TJob::Launch(const std::function<void()>& prepare) {
  if (active_.exchange(true)) return false;
  // The previous run has ended (it was idle): its thread is only returning.
  if (thread_.joinable()) thread_.join();
  stop_ = std::stop_source();
  waker_ = &platform::GetDispatcher();
  try {
    if (prepare) prepare();
    thread_ = std::jthread([this] { RunGuarded(); });
  } catch (...) {
    active_.store(false);
    throw;
  }
  return true;
}

bool TJob::RunHere() {
  if (active_.exchange(true)) return false;
  stop_ = std::stop_source();
  waker_ = &platform::GetDispatcher();
  RunGuarded();
  return true;
}

void TJob::RunGuarded() {
  std::string failure;
  bool failed = false;
  try {
    RunJob();
  } catch (const std::exception& e) {
    failed = true;
    failure = e.what();
  } catch (...) {
    failed = true;
    failure = "an unknown error";
  }
  // The run is over either way; nothing may end the program here.
  try {
    if (failed) Failed(failure);
  } catch (...) {
  }
  try {
    AfterRun();
  } catch (...) {
  }
  platform::Dispatcher* waker = waker_;
  active_.store(false);
  // A main thread sleeping until the job ends looks again at once.
  waker->Wake();
}

}  // namespace velmaris
