#include "nodelist/NodelistRun.h"

#include <cstdio>

#include "core/DateTimeUtil.h"
#include "platform/CodePage.h"

namespace velmaris {

void ConfigureProcessor(TNodeListProcessor& processor, const TNodelistRunConfig& config) {
  processor.ListDir = config.ListDir;
  processor.IndexDir = config.IndexDir;
  processor.NodeLists.clear();
  for (TListInfo info : config.NodeLists) {
    info.Zone = config.Zone;
    processor.NodeLists.push_back(std::move(info));
  }
  processor.PointLists = config.PointLists;
}

std::string StampLogLine(std::time_t when, const std::string& text) {
  return TJob::StampedLine(when, " ", text);
}

TNodelistRunResult RunNodelistUpdate(TNodeListProcessor& processor,
                                     const TNodelistRunConfig& config, bool forced,
                                     const TNodelistRunHooks& hooks) {
  TNodelistRunResult result;
  ConfigureProcessor(processor, config);
  processor.OnStatus = [&](const std::string& text) {
    if (hooks.OnStatus) hooks.OnStatus(text);
  };
  processor.OnLog = [&](const std::string& text) {
    const std::string line = StampLogLine(hooks.Now ? hooks.Now() : std::time(nullptr), text);
    result.Log.push_back(line);
    if (hooks.OnLog) hooks.OnLog(line);
  };
  struct TClear {
    TNodeListProcessor& p;
    ~TClear() {
      p.OnStatus = nullptr;
      p.OnLog = nullptr;
    }
  } clear{processor};

  result.DiffResult = processor.ApplyDiffs();
  if (forced || result.DiffResult == drApplied || result.DiffResult == drPartly) {
    const TCompileResult compiled = processor.Process();
    result.Compiled = compiled.Written;
    result.DamagedLists = compiled.DamagedLists;
    result.ListsOpened = compiled.ListsOpened;
    if (config.ProcessReport && hooks.PostReport) {
      // The compiled set stands whatever becomes of the report: a failure
      // to post it ends up in the log, never in the run.
      try {
        hooks.PostReport(result.Log);
      } catch (const std::exception& e) {
        processor.DoLog("Could not post the update log: " + platform::LogName(e.what()));
      } catch (...) {
        processor.DoLog("Could not post the update log");
      }
    }
    // A set compiled from no list at all is no new node list.
    if (result.Compiled && result.ListsOpened > 0 && hooks.Compiled) hooks.Compiled();
  }
  return result;
}

bool NodelistTimerShouldStart(bool timerOn, bool mailerSessionActive, bool runBusy) {
  return timerOn && !mailerSessionActive && !runBusy;
}

TNodelistRunner::TNodelistRunner(TNodeListProcessor& processor, TNodelistRunHooks hooks)
    : processor_(processor), hooks_(std::move(hooks)) {}

TNodelistRunner::~TNodelistRunner() { Join(); }

bool TNodelistRunner::StartProcessing(const TNodelistRunConfig& config) {
  return Start(config, true);
}

bool TNodelistRunner::StartAutoUpdate(const TNodelistRunConfig& config) {
  return Start(config, false);
}

bool TNodelistRunner::TimerTick(const TNodelistRunConfig& config) {
  const bool mailer = MailerSessionActive && MailerSessionActive();
  if (!NodelistTimerShouldStart(TimerOn, mailer, Busy())) return false;
  return StartAutoUpdate(config);
}

bool TNodelistRunner::Start(const TNodelistRunConfig& config, bool forced) {
  return Launch([&] {
    config_ = config;
    forced_ = forced;
  });
}

void TNodelistRunner::RunJob() {
  TNodelistRunResult r = RunNodelistUpdate(processor_, config_, forced_, hooks_);
  std::lock_guard<std::mutex> g(mutex_);
  last_ = std::move(r);
}

void TNodelistRunner::Failed(const std::string& what) {
  TNodelistRunResult r;
  const std::string line = StampLogLine(std::time(nullptr), platform::LogName(what));
  r.Log.push_back(line);
  if (hooks_.OnLog) hooks_.OnLog(line);
  std::lock_guard<std::mutex> g(mutex_);
  last_ = std::move(r);
}

TNodelistRunResult TNodelistRunner::LastResult() const {
  std::lock_guard<std::mutex> g(mutex_);
  return last_;
}

}  // namespace velmaris
