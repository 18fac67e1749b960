// Shell fakes and scopes for the area tests.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Area.h"
#include "core/ShellServices.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"

namespace velmaris::test {

// Records every shell call with the thread it came on and the lock state the
// area showed at that moment (asking for it would hang were the lock mutex
// still held).
class RecordingShell : public TShellServices {
 public:
  struct Call {
    std::string what;
    TArea* area = nullptr;
    std::thread::id thread;
    bool lockedThen = false;
  };

  void UpdateAreaLine(TArea& area) override { Record("UpdateAreaLine", &area); }
  void RefreshAreaList() override { Record("RefreshAreaList", nullptr); }
  void MessageListLocked(TArea& area, bool exclusive) override {
    Record(exclusive ? "Locked exclusive" : "Locked shared", &area);
  }
  void MessageListUpdateCaption(TArea& area) override { Record("UpdateCaption", &area); }
  void MessageListUnlocked(TArea& area) override { Record("Unlocked", &area); }

  std::vector<Call> Calls() const {
    std::lock_guard guard(mutex_);
    return calls_;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& c : Calls()) names.push_back(c.what);
    return names;
  }

 private:
  void Record(const std::string& what, TArea* area) {
    Call call{what, area, std::this_thread::get_id(), area ? area->IsLocked() : false};
    std::lock_guard guard(mutex_);
    calls_.push_back(call);
  }
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// A plain dispatcher for this thread and a recording shell, for one test.
class ShellScope {
 public:
  ShellScope() {
    platform::SetDispatcher(&dispatcher);
    SetShellServices(&shell);
  }
  ~ShellScope() {
    SetShellServices(nullptr);
    platform::SetDispatcher(nullptr);
  }
  platform::PlainDispatcher dispatcher;
  RecordingShell shell;
};

}  // namespace velmaris::test
