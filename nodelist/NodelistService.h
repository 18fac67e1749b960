// The nodelist processing of the running program: the menu command's forced
// run, the timer's automatic run every 10 seconds, the report of a run and
// the lookup's index directory, all taken from the configuration store.
// The processor window shows what it hands out; this part holds the rest.
//
// Rules of the timer: it runs only while nodediffs are processed by the
// timer (the setting DiffOn is 0, switched at once when the setting
// changes); a tick starts nothing while a mailer session is active or a run
// is going on.
//
// Threads: the service lives on the main thread and is used only there. A
// run takes its description from the store on the main thread and works on
// that copy; its status and log lines, the notice of a compiled list and
// the report are handed to the main thread through the Dispatcher.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "nodelist/NodelistRun.h"
#include "platform/Dispatcher.h"

namespace velmaris {

class TConfigStore;
struct TNodelistServiceShared;

inline constexpr std::chrono::milliseconds kNodelistTimerInterval{10000};

// Every hook is optional; all but Now and PostReport are called on the main
// thread.
struct TNodelistServiceHooks {
  // A run starts: the log shown so far is to be emptied.
  std::function<void()> OnLogCleared;
  std::function<void(const std::string& text)> OnStatus;
  // A time-stamped log line.
  std::function<void(const std::string& line)> OnLog;
  // A list was compiled; unset: the information box
  // "A new node list has been compiled!" through the Prompter.
  std::function<void()> Compiled;
  // The timer starts nothing while this says a mailer session is active.
  std::function<bool()> MailerSessionActive;
  // Posts the log of a compiling run when the settings ask for the report
  // (called on the worker); unset: PostNodelistReport.
  std::function<void(const std::vector<std::string>& log)> PostReport;
  // The clock of the time stamps (called on the worker).
  std::function<std::time_t()> Now;
};

class TNodelistService {
 public:
  // store: the configuration (settings, nodelists, pointlists), which must
  // outlive the service. lookup: the lookup whose index directory follows
  // the setting KQLDIr; processor: the compiler the runs use (its lookup is
  // set to lookup). The timer is switched by the setting DiffOn.
  TNodelistService(TConfigStore& store, TNodelistLookup& lookup, TNodeListProcessor& processor,
                   TNodelistServiceHooks hooks = {},
                   std::chrono::milliseconds timerInterval = kNodelistTimerInterval);
  // Stops the timer and the settings subscription and waits for a running
  // run (processing the main thread's messages meanwhile).
  ~TNodelistService();
  TNodelistService(const TNodelistService&) = delete;
  TNodelistService& operator=(const TNodelistService&) = delete;

  // The menu command: a forced run (always compiles). False while a run is
  // going on.
  bool StartProcessing();
  // The timer's run: compiles only when a nodediff was applied. False while
  // a run is going on.
  bool StartAutoUpdate();
  // One timer tick: StartAutoUpdate when the timer's rules allow it.
  bool TimerTimer();

  void SetTimerOn(bool on);
  // The nodediff setting: 0 processes by the timer, 1 only by command.
  void ApplyDiffOn(int32_t diffOn) { SetTimerOn(diffOn == 0); }
  bool TimerOn() const { return timer_ != 0; }

  bool Busy() const { return runner_->Busy(); }
  // Waits for a running run to end, processing the main thread's messages.
  void Wait();
  TNodelistRunResult LastResult() const { return runner_->LastResult(); }

 private:
  bool Start(bool forced);
  void SettingsChanged(const SettingsValues& values, const std::vector<SettingId>& changed);

  TConfigStore& store_;
  TNodelistLookup& lookup_;
  platform::Dispatcher& dispatcher_;
  std::chrono::milliseconds interval_;
  std::shared_ptr<TNodelistServiceShared> shared_;
  std::unique_ptr<TNodelistRunner> runner_;
  platform::Dispatcher::TimerId timer_ = 0;
  Settings::SubscriptionId subscription_ = 0;
};

// The program's one lookup and one compiler (which holds the lookup).
TNodelistLookup& GetNodelistLookup();
TNodeListProcessor& GetNodeListProcessor();

}  // namespace velmaris
