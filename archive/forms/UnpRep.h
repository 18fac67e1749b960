// The automatic unpacking report window: the status line and the
// time-stamped log of the automatic unpacker (archive/AutoUnpacker.h),
// which it owns. The main window's command runs the jobs now; the
// unpacker's timer runs them while automatic unpacking is on. The window
// says when it is shown or hidden and when a failure switched automatic
// unpacking off, so that the menu items carry the right check marks.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "core/PubLst.h"

class QLabel;
class QPlainTextEdit;
class QStatusBar;

namespace velmaris {

class TAutoUnpacker;
class TPckList;
class TUnpJobList;

class TUnpRep : public QWidget, public TObject {
  Q_OBJECT

 public:
  // jobs and packers must outlive the window. mailerSessionActive: the
  // timer starts nothing while it says true.
  TUnpRep(const TUnpJobList& jobs, const TPckList& packers,
          std::function<bool()> mailerSessionActive = {}, QWidget* parent = nullptr);
  ~TUnpRep() override;

  // Runs the unpack jobs now unless a run is going on.
  void StartUnpack();
  TAutoUnpacker& Unpacker() { return *unpacker_; }

  QStatusBar* StatusBar;
  QPlainTextEdit* Report;

 signals:
  void visibilityChanged(bool shown);
  // A failure switched automatic unpacking off.
  void autoUnpackDisabled();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QLabel* status_;
  std::unique_ptr<TAutoUnpacker> unpacker_;
};

}  // namespace velmaris
