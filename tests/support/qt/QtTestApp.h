// The one QApplication of a suite with windows, and waiting with the event
// loop running.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QWidget>
#include <chrono>

namespace velmaris::test {

QApplication& App();

// Runs the event loop until done() or `limit` passed; the limit is generous,
// so that a busy machine only makes the wait longer. Returns done().
template <class Pred>
bool PumpUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const QDeadlineTimer deadline(limit);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return done();
}

// With VELMARIS_SHOTS set, the window as a PNG of that name in that folder,
// taken after pending layout, as a user would see it.
void SaveShot(QWidget& w, const char* name);

}  // namespace velmaris::test
