// The scanner: one run exports new echomail of every echomail area to its
// uplink, then netmail of every netmail area once per uplink, then crash
// mail of every netmail area; it logs what it did, posts the log as the
// report "Export Log", has the shell rescan the outbound directory and
// finally makes the pending call, if one was handed to it.
//
// The run is a job (core/Job.h) on its own thread (Start) or on the
// caller's (Run). What the export window shows (status, counters, log
// lines), the unlocks, the report, the rescan and the pending call are
// handed to the main thread through the platform dispatcher. Every wait for
// an area lock ends when the run is aborted. A run stopped by an error
// logs it, releases the area it held and ends as finished.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/DateTimeUtil.h"
#include "core/Job.h"
#include "processing/AreaExport.h"

namespace velmaris {

class TAreaList;
class TLinkList;
class TMailBox;

// The shell's hook: every mailer window rescans the outbound directory.
class TOutboundRescan {
 public:
  virtual ~TOutboundRescan() = default;
  virtual void RescanOutbound() = 0;
};
// The process-wide hook; nullptr while none is set.
TOutboundRescan* GetOutboundRescan();
void SetOutboundRescan(TOutboundRescan* rescan);

// What the export window shows; every call arrives on the main thread.
class TExportView {
 public:
  virtual ~TExportView() = default;
  // The run starts: the log is cleared and the window shown.
  virtual void ExportStarted() {}
  // Caption "Export - " + status; the counters (labels EchoMail, NetMail,
  // CrashMail, AllMail; see CounterText).
  virtual void ExportStatus(const std::string& status, int echomails, int netmails,
                            int crashmails) {
    (void)status;
    (void)echomails;
    (void)netmails;
    (void)crashmails;
  }
  // One line of the log, already prefixed with date and time.
  virtual void ExportLog(const std::string& line) { (void)line; }
  // The run has ended (before the pending call is made).
  virtual void ExportFinished() {}
};

// A counter label: the number when at least 1, else "None".
std::string CounterText(int count);

class TExporter : public TJob {
 public:
  // Fall back to the configuration store's lists and the settings when unset.
  TExporter(TExportView* view = nullptr);
  ~TExporter();  // waits for a started run
  TExporter(const TExporter&) = delete;
  TExporter& operator=(const TExporter&) = delete;

  TAreaList* Areas = nullptr;
  TLinkList* Uplinks = nullptr;
  // Post the log as a report; unset: the setting ExportReport.
  std::optional<bool> PostReport;
  // Recompute the uplinks' outbound directories at the start; unset: from
  // the settings.
  std::function<void()> UpdateOutbounds;
  TAreaExportOptions AreaOptions;    // Problem is filled in by the run
  std::function<TDateTime()> Clock;  // for the log lines (Now unless set)
  // The pending call: the mailbox to call when the run has finished (not
  // owned; cleared when taken). Call makes it; unset: TMailBox::StartMailer.
  const TMailBox* PendingCall = nullptr;
  std::function<void(const TMailBox&)> Call;

  // The whole run on this thread.
  void Run() { RunHere(); }
  // The run on a thread of its own.
  void Start() {
    Launch([this] { running_.store(true); });
  }
  // Waits until a started run has ended.
  void Wait() { Join(); }
  bool Running() const { return running_.load(); }
  // Stops waiting for area locks; the run then skips the areas it cannot
  // get, and makes no pending call.
  void Abort() { RequestStop(); }
  bool Aborted() const { return StopRequested(); }

  int EchoMails = 0;
  int NetMails = 0;
  int CrashMails = 0;
  // Of the last run: the lines about messages or areas that were not
  // exported whole, or went otherwise than asked (see
  // TAreaExportOptions::Problem; notes are not counted), those of each
  // kind (indexed by TExportLine), and whether an error stopped it.
  int Problems = 0;
  std::array<int, kExportLineKinds> ProblemsOf{};
  bool Stopped = false;
  std::string StopReason;  // what stopped it
  // The log of the last run, prefixed lines.
  const std::vector<std::string>& Log() const { return log_; }

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;
  void LogLine(const std::string& text);
  void Status(const std::string& text);
  bool LockArea(TArea& area, const std::string& waitingText);
  void UnlockArea(TArea& area);

  TExportView* view_;
  std::vector<std::string> log_;
  std::atomic<bool> running_{false};
  TArea* held_ = nullptr;  // the area locked by the run
};

}  // namespace velmaris
