// Report messages: background jobs (tosser, scanner, nodelist and unpack
// runs, mailer) post their log as a message to "Sysop" in the area REPORT,
// which is created through the configuration store when it is missing.
//
// The report is written under the area's exclusive lock, taken on the main
// thread. When a job holds the area, the report waits in a queue and a
// dispatcher timer tries the lock again every 100 ms, so the main thread is
// never held up; reports land in the order they were posted. A report that is
// being written is never entered a second time (a message box shown while
// writing lets the dispatcher run the timer again).
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "platform/Dispatcher.h"

namespace velmaris {

class TArea;

inline constexpr std::chrono::milliseconds kReportRetryInterval{100};

struct TReportMessage {
  std::string FromName;
  std::string ToName;
  std::string Subject;
  std::string Origin;  // empty: no origin line
  std::vector<std::string> Lines;
};

// Posts a report. Callable from any thread: a worker's call is handed to the
// main thread (and waits only for the hand-over, not for the lock). Returns
// when the report is written or queued.
void WriteReportMessage(const std::string& fromName, const std::string& toName,
                        const std::string& subject, const std::string& origin,
                        const std::vector<std::string>& lines);

// The queue behind WriteReportMessage.
class TReportPoster {
 public:
  TReportPoster() = default;
  // Reports still waiting are written to the log as lost.
  ~TReportPoster();
  TReportPoster(const TReportPoster&) = delete;
  TReportPoster& operator=(const TReportPoster&) = delete;

  // Main thread only: queues the report and tries to write the queue.
  void Post(TReportMessage message);
  // Reports waiting for the area's lock.
  size_t PendingCount() const { return queue_.size(); }
  // Main thread only: one attempt to write the waiting reports (the timer
  // calls it). Does nothing when called while a write is under way.
  void TryWrite();

 private:
  void StartRetry();
  void StopRetry();
  // The area REPORT, created when missing; null (after the error box) when
  // it cannot be had.
  TArea* ReportArea();
  void Store(TArea& area, const TReportMessage& message);

  std::deque<TReportMessage> queue_;
  bool writing_ = false;
  platform::Dispatcher* timerDispatcher_ = nullptr;
  platform::Dispatcher::TimerId timer_ = 0;
};

// The process-wide poster.
TReportPoster& GetReportPoster();

}  // namespace velmaris
