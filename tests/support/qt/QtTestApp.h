// The one QApplication of a suite with windows, and waiting with the event
// loop running.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPoint>
#include <QSize>
#include <QThread>
#include <QWidget>
#include <chrono>
#include <string>

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

// Input as a user's arrives: through the control's window, at window
// coordinates, so that Qt's routing (modality, mouse grabs) applies. Each
// returns false when the window has none to take it (not shown). A click
// goes to pos in w (its centre by default); keys go to the window's focus.
bool ClickThroughWindow(QWidget* w, QPoint pos = QPoint());
bool DoubleClickThroughWindow(QWidget* w, QPoint pos = QPoint());
bool TypeThroughWindow(QWidget* w, const char* text);
bool KeyThroughWindow(QWidget* w, Qt::Key key);

// Runs one test of this program (a DISABLED_ one, named whole) in a child
// whose offscreen screen has the given size, from the folder `folder`;
// expects it to pass, its output in the failure.
void ExpectPassesOnScreen(const std::string& folder, QSize screen, const std::string& test);

// With VELMARIS_SHOTS set, the window as a PNG of that name in that folder,
// taken after pending layout, as a user would see it.
void SaveShot(QWidget& w, const char* name);

}  // namespace velmaris::test
