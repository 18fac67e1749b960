// The one QApplication of the test_app suite, and waiting with the event
// loop running.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QThread>

namespace velmaris::test {

QApplication& App();

// Runs the event loop until done() or about rounds x 10 ms passed.
template <class Pred>
bool PumpUntil(Pred done, int rounds = 500) {
  for (int i = 0; i < rounds && !done(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  return done();
}

}  // namespace velmaris::test
