// The nodelist processor window: the status line and the time-stamped log
// of the nodelist runs (nodelist/NodelistService.h), which it owns. The
// main window's command starts a forced run; the service's timer starts the
// automatic ones. The window says when it is shown or hidden, so that the
// menu item showing it carries the right check mark.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "core/PubLst.h"

class QAction;
class QLabel;
class QPlainTextEdit;
class QStatusBar;

namespace velmaris {

class TConfigStore;
class TNodelistService;

class TProcWin : public QWidget, public TObject {
  Q_OBJECT

 public:
  // mailerSessionActive: the timer starts nothing while it says true.
  TProcWin(TConfigStore& store, std::function<bool()> mailerSessionActive = {},
           QWidget* parent = nullptr);
  // Stops the timer and waits for a running run.
  ~TProcWin() override;

  // Shows the window and starts a forced run unless one is going on.
  void StartProcessing();
  TNodelistService& Service() { return *service_; }

  QStatusBar* StatusBar;
  QPlainTextEdit* Report;

 signals:
  void visibilityChanged(bool shown);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QLabel* status_;
  std::unique_ptr<TNodelistService> service_;
};

}  // namespace velmaris
