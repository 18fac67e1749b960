// The progress window of the message list's long work (saving as text,
// building the thread tree): a caption, a status line and a bar, with a
// Cancel button that asks the work to stop after the message in hand; the
// button is hidden where the caller cannot stop. It is the tool's progress view:
// every step moves the bar and, now and then, lets the program process its
// pending messages so that the window repaints and Cancel can be clicked.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include "app/logic/SelectionTools.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmaris {

// Processes the pending messages when kBreathMs have passed since the timer
// last fired (always when forced), so a long tool stays responsive without
// spending its time in the event loop.
void Breathe(QElapsedTimer& since, bool force = false);

class TProgressWindow : public QWidget, public TToolProgress {
  Q_OBJECT

 public:
  TProgressWindow(QWidget* owner, const QString& caption, bool cancellable = true);

  // Sets the status line and repaints at once when the window is shown, so
  // the text is seen while the caller keeps the event loop waiting.
  void SetStatus(const QString& text);
  QProgressBar* Gauge() const { return gauge_; }
  QLabel* Status() const { return status_; }
  QPushButton* CancelButton() const { return cancel_; }
  // Set by Cancel.
  bool CancelRequested() const { return cancelled_; }

  // The tool's view: the bar runs from 0 to the count; the status text of
  // a step is made by StepText.
  void Begin(int count) override;
  void Step(int done, int32_t index) override;
  bool Aborted() override { return cancelled_; }
  std::function<QString(int done, int count)> StepText;

 private:
  QLabel* status_;
  QProgressBar* gauge_;
  QPushButton* cancel_;
  QElapsedTimer sinceBreath_;
  int count_ = 0;
  bool cancelled_ = false;
};

}  // namespace velmaris
