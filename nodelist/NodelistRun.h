// The background nodelist run: applies pending nodediffs and compiles the
// lists, either forced (the menu command: always compiles) or automatic (the
// timer: compiles only when a nodediff was applied). The window around it
// shows the status and log texts; this part holds everything else.
#pragma once

#include <atomic>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/Job.h"
#include "nodelist/NodeListProcessor.h"

namespace velmaris {

// What the configuration supplies to a run.
struct TNodelistRunConfig {
  // The configured nodelists (domain, list and diff names; their Zone is
  // not used: nodelists take the point's own zone below).
  TNLList NodeLists;
  // The configured pointlists with each entry's own zone.
  TNLList PointLists;
  std::string ListDir;        // directory of the lists and diffs, ending in "/"
  std::string IndexDir;       // directory of the index set, ending in "/"
  int Zone = 2;               // the point's own zone
  bool ProcessReport = true;  // post the log as a report message
};

struct TNodelistRunResult {
  int DiffResult = drNothing;
  bool Compiled = false;         // a new index set was written
  int DamagedLists = 0;          // lists of the compile that could not be read whole
  int ListsOpened = 0;           // lists of the compile that were found and read
  std::vector<std::string> Log;  // every log line with its time stamp
};

// The run's hooks. Every one is optional.
struct TNodelistRunHooks {
  std::function<void(const std::string&)> OnStatus;
  std::function<void(const std::string&)> OnLog;  // a time-stamped line
  // Called with the whole log after a compile when the report is asked for;
  // the caller posts it from "Nodelist Processor" to "Sysop" with the
  // subject kNodelistReportSubject and the origin kNodelistReportOrigin.
  // An exception it raises is logged and does not end the run.
  std::function<void(const std::vector<std::string>&)> PostReport;
  // Called after a compile that wrote a new index set from at least one
  // list it could open; the caller tells the user kNodelistCompiledText.
  std::function<void()> Compiled;
  // The clock of the time stamps; the current time unless set.
  std::function<std::time_t()> Now;
};

inline constexpr const char* kNodelistReportFrom = "Nodelist Processor";
inline constexpr const char* kNodelistReportTo = "Sysop";
inline constexpr const char* kNodelistReportSubject = "Nodelist Update Log";
inline constexpr const char* kNodelistReportOrigin = "The Velmaris 95 Nodelist Processor";
inline constexpr const char* kNodelistCompiledText = "A new node list has been compiled!";

// Fills the processor's list descriptions from the configuration: nodelists
// with the point's own zone (for lines before their first "Zone" line, in
// forced and automatic runs alike), pointlists with their own zones. The
// directories are set too.
void ConfigureProcessor(TNodeListProcessor& processor, const TNodelistRunConfig& config);

// "dd.mm.yy hh:mm:ss " + text, in local time.
std::string StampLogLine(std::time_t when, const std::string& text);

// One run on the caller's thread: diffs, then the compile when forced or
// when a diff was applied (result 0 or 2).
TNodelistRunResult RunNodelistUpdate(TNodeListProcessor& processor,
                                     const TNodelistRunConfig& config, bool forced,
                                     const TNodelistRunHooks& hooks);

// The timer's rule: a tick starts an automatic run only while the timer is
// on (nodediffs processed by the timer), no mailer session is active and no
// run is going on.
bool NodelistTimerShouldStart(bool timerOn, bool mailerSessionActive, bool runBusy);

// Holds at most one run on a worker thread (a job, see core/Job.h). An
// error that stops the run becomes the last line of its log.
class TNodelistRunner : public TJob {
 public:
  TNodelistRunner(TNodeListProcessor& processor, TNodelistRunHooks hooks);
  ~TNodelistRunner() override;  // waits for a running run

  // Predicates the timer consults; unset means "no".
  std::function<bool()> MailerSessionActive;
  // Set from the nodediff setting: true when the timer processes diffs.
  std::atomic<bool> TimerOn{false};

  // The menu command: a forced run. False when a run is going on.
  bool StartProcessing(const TNodelistRunConfig& config);
  // The timer path: an automatic run. False when a run is going on.
  bool StartAutoUpdate(const TNodelistRunConfig& config);
  // One timer tick (every 10 seconds while the timer is on).
  bool TimerTick(const TNodelistRunConfig& config);
  bool Busy() const { return !Idle(); }
  void Wait() { Join(); }
  // The result of the last finished run.
  TNodelistRunResult LastResult() const;

 private:
  bool Start(const TNodelistRunConfig& config, bool forced);
  void RunJob() override;
  void Failed(const std::string& what) override;

  TNodeListProcessor& processor_;
  TNodelistRunHooks hooks_;
  TNodelistRunConfig config_;  // of the run going on
  bool forced_ = false;
  mutable std::mutex mutex_;
  TNodelistRunResult last_;
};

}  // namespace velmaris
