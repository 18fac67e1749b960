#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace velmaris {

QtDispatcher::QtDispatcher(QObject* parent) : QObject(parent) {}

QtDispatcher::~QtDispatcher() {
  for (auto& [id, timer] : timers_) delete timer;
}

bool QtDispatcher::IsMainThread() const { return QThread::currentThread() == thread(); }

void QtDispatcher::Send(Task task) {
  if (IsMainThread()) {
    task();
    return;
  }
  PostAndWait(std::move(task));
}

void QtDispatcher::Post(Task task) {
  QMetaObject::invokeMethod(
      this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
  Wake();
}

void QtDispatcher::Wake() {
  {
    std::lock_guard lock(wakeMutex_);
    woken_ = true;
  }
  wakeCv_.notify_all();
}

bool QtDispatcher::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  // Qt timers are due at most a few milliseconds late this way.
  return RunRounds(done, timeout, std::chrono::milliseconds(10), [this](Clock::time_point until) {
    std::unique_lock lock(wakeMutex_);
    wakeCv_.wait_until(lock, until, [this] { return woken_; });
    woken_ = false;
  });
}

void QtDispatcher::ProcessMessages() {
  if (IsMainThread()) QCoreApplication::processEvents();
}

platform::Dispatcher::TimerId QtDispatcher::StartTimer(std::chrono::milliseconds interval,
                                                       Task task) {
  const TimerId id = nextTimer_++;
  auto* timer = new QTimer;
  timer->moveToThread(thread());
  timer->setInterval(static_cast<int>(interval.count()));
  QObject::connect(timer, &QTimer::timeout, this, [task = std::move(task)] { task(); });
  timers_[id] = timer;
  QMetaObject::invokeMethod(timer, qOverload<>(&QTimer::start), Qt::AutoConnection);
  return id;
}

void QtDispatcher::StopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  QTimer* timer = it->second;
  timers_.erase(it);
  timer->deleteLater();
  QMetaObject::invokeMethod(timer, &QTimer::stop, Qt::AutoConnection);
}

}  // namespace velmaris
