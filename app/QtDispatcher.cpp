#include "app/QtDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <exception>

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
  // The worker waits until the main thread has run the task; an exception is
  // carried back and raised in the worker.
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      this,
      [&task, &error] {
        try {
          task();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

void QtDispatcher::Post(Task task) {
  QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
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
