// The application's main-thread queue on the Qt event loop.
#pragma once

#include <QObject>
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/Dispatcher.h"

class QTimer;

namespace velmaris {

class QtDispatcher : public QObject, public platform::Dispatcher {
  Q_OBJECT
 public:
  // Must be created on the thread that runs the Qt event loop.
  explicit QtDispatcher(QObject* parent = nullptr);
  ~QtDispatcher() override;

  void Send(Task task) override;
  void Post(Task task) override;
  bool IsMainThread() const override;
  void ProcessMessages() override;
  TimerId StartTimer(std::chrono::milliseconds interval, Task task) override;
  void StopTimer(TimerId id) override;
  // Processes the Qt events between short sleeps; Send, Post and Wake end a
  // sleep at once.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(30)) override;
  void Wake() override;

 private:
  std::map<TimerId, QTimer*> timers_;
  TimerId nextTimer_ = 1;
  std::mutex wakeMutex_;
  std::condition_variable wakeCv_;
  bool woken_ = false;  // Wake was called since the last sleep of RunUntil
};

}  // namespace velmaris
