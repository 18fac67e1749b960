#include "nodelist/NodelistService.h"

#include <atomic>
#include <thread>

#include "core/ConfigStore.h"
#include "nodelist/NodelistConfig.h"
#include "platform/Prompter.h"

namespace velmaris {

// What the hand-overs to the main thread reach: the hooks, and whether the
// service still exists when a posted hand-over runs.
struct TNodelistServiceShared {
  TNodelistServiceHooks hooks;
  std::atomic<bool> alive{true};
};

namespace {

TNodelistRunHooks RunHooks(const std::shared_ptr<TNodelistServiceShared>& shared,
                           platform::Dispatcher& dispatcher);

}  // namespace

TNodelistService::TNodelistService(TConfigStore& store, TNodelistLookup& lookup,
                                   TNodeListProcessor& processor, TNodelistServiceHooks hooks,
                                   std::chrono::milliseconds timerInterval)
    : store_(store),
      lookup_(lookup),
      dispatcher_(platform::GetDispatcher()),
      interval_(timerInterval),
      shared_(std::make_shared<TNodelistServiceShared>()) {
  shared_->hooks = std::move(hooks);
  processor.Lookup = &lookup_;
  runner_ = std::make_unique<TNodelistRunner>(processor, RunHooks(shared_, dispatcher_));
  const auto values = store_.Values();
  lookup_.SetPath(values->KQLDIr());
  ApplyDiffOn(values->DiffOn());
  subscription_ = store_.SettingsModel().Subscribe(
      [this](const SettingsValues& v, const std::vector<SettingId>& changed) {
        SettingsChanged(v, changed);
      });
}

TNodelistService::~TNodelistService() {
  store_.SettingsModel().Unsubscribe(subscription_);
  SetTimerOn(false);
  Wait();
  shared_->alive = false;
}

void TNodelistService::SettingsChanged(const SettingsValues& values,
                                       const std::vector<SettingId>& changed) {
  for (SettingId id : changed) {
    // The list directory (FTNDir) and the index directory the compiler
    // writes are read from the settings when a run starts; only the lookup
    // and the timer follow a change at once.
    if (id == SettingId::KQLDIr) lookup_.SetPath(values.KQLDIr());
    if (id == SettingId::DiffOn) ApplyDiffOn(values.DiffOn());
  }
}

bool TNodelistService::StartProcessing() { return Start(true); }

bool TNodelistService::StartAutoUpdate() { return Start(false); }

bool TNodelistService::TimerTimer() {
  const auto& mailer = shared_->hooks.MailerSessionActive;
  if (!NodelistTimerShouldStart(TimerOn(), mailer && mailer(), Busy())) return false;
  return StartAutoUpdate();
}

bool TNodelistService::Start(bool forced) {
  if (Busy()) return false;
  const TNodelistRunConfig config = MakeNodelistRunConfig(store_);
  if (shared_->hooks.OnLogCleared) shared_->hooks.OnLogCleared();
  return forced ? runner_->StartProcessing(config) : runner_->StartAutoUpdate(config);
}

void TNodelistService::SetTimerOn(bool on) {
  if (on == TimerOn()) return;
  if (on) {
    timer_ = dispatcher_.StartTimer(interval_, [this] { TimerTimer(); });
  } else {
    dispatcher_.StopTimer(timer_);
    timer_ = 0;
  }
}

void TNodelistService::Wait() {
  // The run hands its report to the main thread and waits for it there, so
  // the main thread keeps processing messages while it waits.
  while (runner_->Busy()) {
    dispatcher_.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  runner_->Wait();
  dispatcher_.ProcessMessages();  // the last status and log lines
}

namespace {

TNodelistRunHooks RunHooks(const std::shared_ptr<TNodelistServiceShared>& shared,
                           platform::Dispatcher& dispatcher) {
  using Text = std::function<void(const std::string&)> TNodelistServiceHooks::*;
  auto handOver = [shared, &dispatcher](Text which) {
    return [shared, &dispatcher, which](const std::string& text) {
      dispatcher.Post([shared, which, text] {
        const auto& hook = shared->hooks.*which;
        if (shared->alive && hook) hook(text);
      });
    };
  };
  TNodelistRunHooks hooks;
  hooks.OnStatus = handOver(&TNodelistServiceHooks::OnStatus);
  hooks.OnLog = handOver(&TNodelistServiceHooks::OnLog);
  hooks.PostReport = [shared](const std::vector<std::string>& log) {
    if (shared->hooks.PostReport)
      shared->hooks.PostReport(log);
    else
      PostNodelistReport(log);
  };
  hooks.Compiled = [shared, &dispatcher] {
    dispatcher.Post([shared] {
      if (!shared->alive) return;
      if (shared->hooks.Compiled)
        shared->hooks.Compiled();
      else
        platform::GetPrompter().Inform(kNodelistCompiledText);
    });
  };
  hooks.Now = shared->hooks.Now;
  return hooks;
}

}  // namespace

TNodelistLookup& GetNodelistLookup() {
  static TNodelistLookup lookup;
  return lookup;
}

TNodeListProcessor& GetNodeListProcessor() {
  static TNodeListProcessor processor = [] {
    TNodeListProcessor p;
    p.Lookup = &GetNodelistLookup();
    return p;
  }();
  return processor;
}

}  // namespace velmaris
