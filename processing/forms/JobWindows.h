// The windows of the long-lived processing jobs: the import window (the
// tosser's progress, log and personal mail), the export window (the
// scanner's counters and log, and the pending call of a poll), and the two
// small progress windows of the maintenance and the optimisation of all
// areas. The jobs themselves are in processing/; these windows only show
// what the jobs hand them on the main thread and start and stop them.
//
// The import and export windows live as long as the main window. The
// maintenance and optimisation windows exist only while their run lasts:
// the start creates one, the run's end frees it and clears the process-wide
// reference (GetMaintainWindow, GetOptimizeWindow).
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "core/PubLst.h"
#include "processing/Exporter.h"
#include "processing/MaintenanceRuns.h"
#include "processing/Tosser.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace velmaris {

class TAnimatedSymbol;
class TConfigStore;
class TImportFilterRun;
class TExportFilterRun;
class TMailBox;

class TImportWindow : public QWidget, public TImportView, public TObject {
  Q_OBJECT

 public:
  explicit TImportWindow(TConfigStore& store, QWidget* parent = nullptr);
  // Lets a running import stop and waits for it.
  ~TImportWindow() override;

  // Starts the tosser unless one runs for this window.
  void StartImport();
  bool Running() const;
  // Waits (processing messages) until the running import has ended.
  void WaitIdle();
  // The free space of the inbound's disk the next runs see; null: the
  // disk's own.
  void SetFreeSpace(std::function<uint64_t(const std::string& dir)> freeSpace) {
    freeSpace_ = std::move(freeSpace);
  }

  QLabel *CntPkts, *Tossed, *Written, *TossTime;
  QListWidget* ToSysop;
  QPlainTextEdit* Status;
  QPushButton *AbortBtn, *CloseBtn;

  void RunStarted() override;
  void SetCaption(const std::string& caption) override;
  void AddLogLine(const std::string& line) override;
  void AddToSysop(const std::string& line) override;
  void SetPackets(int count) override;
  void SetTossed(int count) override;
  void SetWritten(int count) override;
  void SetTossTime(const std::string& text) override;
  void RunFinished() override;

 public slots:
  void AbortBtnClick();

 private:
  TConfigStore& store_;
  std::unique_ptr<TImportFilterRun> filters_;
  std::unique_ptr<TTosser> tosser_;
  std::function<uint64_t(const std::string& dir)> freeSpace_;
};

class TExportForm : public QWidget, public TExportView, public TObject {
  Q_OBJECT

 public:
  explicit TExportForm(TConfigStore& store, QWidget* parent = nullptr);
  ~TExportForm() override;

  // Starts the scanner unless one runs for this window; the pending call,
  // when set, is made when the scan has finished.
  void StartExport();
  bool Running() const;
  void WaitIdle();
  // The mailbox a poll asked for (not owned); taken by the next start.
  const TMailBox* PendingCall = nullptr;

  QLabel *EchoMail, *NetMail, *CrashMail, *AllMail;
  QPlainTextEdit* ResList;
  QPushButton* AbortBtn;

  void ExportStarted() override;
  void ExportStatus(const std::string& status, int echomails, int netmails,
                    int crashmails) override;
  void ExportLog(const std::string& line) override;

 private:
  TConfigStore& store_;
  std::unique_ptr<TExportFilterRun> filters_;
  std::unique_ptr<TExporter> exporter_;
};

// The common window of the two area-list runs.
class TAreaRunWindow : public QWidget, public TRunView, public TObject {
  Q_OBJECT

 public:
  ~TAreaRunWindow() override;
  QLabel* Status;
  QProgressBar* Progress;
  QPushButton* Abbrechen;
  // The busy sign: plays while the run lasts.
  TAnimatedSymbol* AnimatedSymbol;

  void RunMaximum(int maximum) override;
  void RunPosition(int position) override;
  void RunStatus(const std::string& text) override;
  void RunFinished(bool aborted) override;

 public slots:
  void AbbrechenClick();

 protected:
  TAreaRunWindow(const char* name, const char* caption, const char* clip);
  // Starts the run and its busy sign.
  void StartRun(std::unique_ptr<TAreaRun> run);
  // Clears the process-wide reference and does what follows the run.
  virtual void Ended() = 0;
  std::unique_ptr<TAreaRun> run_;

 private:
  bool closing_ = false;  // the window is being destroyed
};

class TMaintainWindow : public TAreaRunWindow {
  Q_OBJECT
 public:
  TMaintainWindow();
  ~TMaintainWindow() override;
  void StartMaintenance();

 protected:
  void Ended() override;
};

class TOptimizeWindow : public TAreaRunWindow {
  Q_OBJECT
 public:
  TOptimizeWindow();
  ~TOptimizeWindow() override;
  void StartOptimize();
  // Start the maintenance of all areas when the optimisation has ended.
  bool MaintainAfterwards = false;

 protected:
  void Ended() override;
};

// The windows of the runs going on; null while none runs.
TMaintainWindow* GetMaintainWindow();
TOptimizeWindow* GetOptimizeWindow();
// Creates, shows and starts the maintenance window unless it exists.
void StartMaintainAll();
// Creates, shows and starts the optimisation window unless it exists; the
// window is returned either way.
TOptimizeWindow* StartOptimizeAll();

}  // namespace velmaris
