#include "processing/Exporter.h"

#include <atomic>
#include <memory>
#include <stdexcept>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Mail.h"
#include "core/MailBox.h"
#include "core/MailLock.h"
#include "core/NetLink.h"
#include "core/Report.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "processing/ExportJournal.h"

namespace velmaris {
namespace {

std::atomic<TOutboundRescan*> gRescan{nullptr};

constexpr const char* kReportFrom = "Integrated Tosser";
constexpr const char* kReportSubject = "Export Log";
constexpr const char* kReportTitle = "The Velmaris 95 Export Process";

bool HasWaiting(TArea& area) {
  if (area.SendCount < 0) area.RecountFlags();
  return area.SendCount > 0;
}

}  // namespace

TOutboundRescan* GetOutboundRescan() { return gRescan.load(); }
void SetOutboundRescan(TOutboundRescan* rescan) { gRescan.store(rescan); }

std::string CounterText(int count) { return count >= 1 ? std::to_string(count) : "None"; }

TExporter::TExporter(TExportView* view) : view_(view) {}

TExporter::~TExporter() { Join(); }

void TExporter::LogLine(const std::string& text) {
  const TDateTime now = Clock ? Clock() : Now();
  const std::string line = FormatShortDate(now) + " " + FormatMacroTime(now) + "  " + text;
  log_.push_back(line);
  if (view_) OnMain([this, line] { view_->ExportLog(line); });
}

void TExporter::Status(const std::string& text) {
  if (!view_) return;
  const int e = EchoMails, n = NetMails, c = CrashMails;
  OnMain([this, text, e, n, c] { view_->ExportStatus(text, e, n, c); });
}

bool TExporter::LockArea(TArea& area, const std::string& waitingText) {
  Status(waitingText);
  if (area.WaitLock(true, [this] { return Aborted(); })) {
    held_ = &area;
    return true;
  }
  LogLine("Area " + area.NameInAnsi() + " skipped: the export was aborted while waiting for it.");
  return false;
}

void TExporter::UnlockArea(TArea& area) {
  held_ = nullptr;
  OnMain([&area] { area.Unlock(); });
}

void TExporter::Failed(const std::string& what) {
  if (held_) UnlockArea(*held_);
  Stopped = true;
  StopReason = what;
  LogLine("Export stopped by an error: " + what);
  if (view_) OnMain([this] { view_->ExportFinished(); });
  running_.store(false);
}

void TExporter::RunJob() {
  running_.store(true);
  log_.clear();
  EchoMails = NetMails = CrashMails = Problems = 0;
  ProblemsOf.fill(0);
  Stopped = false;
  StopReason.clear();
  TConfigStore* store = GetConfigStore();
  TAreaList* areas = Areas ? Areas : (store ? &store->Areas() : GetAreaList());
  TLinkList* uplinks = Uplinks ? Uplinks : (store ? &store->Uplinks() : nullptr);
  if (view_) OnMain([this] { view_->ExportStarted(); });
  LogLine("Starting export.");
  // Where the scan is looked at: its log, the batch lines and REPORT.
  // The folder is looked at here, not on the main thread (a drive away may
  // keep the look waiting). A base out of reach is left alone: the export
  // would mark and write areas there anew.
  if (store) {
    TConfigStore::TBaseRecords records;
    OnMain([&] { records = store->MessageBaseRecords(); });
    const TConfigStore::TBaseLook look = TConfigStore::MessageBaseLook(records);
    if (look.OutOfReach) throw std::runtime_error(TConfigStore::RefusalOf(look));
    if (!look.Line.empty()) LogLine(look.Line);
  }
  if (UpdateOutbounds) {
    UpdateOutbounds();
  } else if (uplinks) {
    uplinks->UpdateOutbounds(*GetSettings().Snapshot());
  }
  Status("Starting export.");

  TAreaExportOptions options = AreaOptions;
  options.Problem = [this](TExportLine kind, const std::string& line) {
    if (kind != TExportLine::Note) {
      ++Problems;
      ++ProblemsOf[static_cast<size_t>(kind)];
    }
    LogLine(line);
  };
  // The run's journal: an export cut off before is finished first.
  std::unique_ptr<TRunJournal> journal;
  if (store) {
    const std::string path = ExportJournalPath(*store);
    std::vector<std::string> lines;
    if (!RecoverExportJournal(path, &lines, [store] { return store->SaveConfiguration(); }))
      LogLine("The interrupted export recorded in " + platform::LogName(path) +
              " could not be finished.");
    for (const std::string& line : lines) LogLine(line);
    journal = std::make_unique<TRunJournal>(path);
    if (!journal->Exists()) options.Journal = journal.get();
  }
  if (options.Filters) options.Filters->ResetMatches();
  std::vector<TArea*> list = areas ? areas->Areas() : std::vector<TArea*>{};

  // Echomail.
  for (TArea* area : list) {
    if (area->AreaType != AreaTypeCode::Echomail || !HasWaiting(*area)) continue;
    if (!LockArea(*area, "Waiting for access to " + area->NameInAnsi() + " ...")) continue;
    Status("Scanning " + area->NameInAnsi() + " ...");
    const int n = ExportToUplink(*area, options);
    EchoMails += n;
    if (n > 0)
      LogLine(std::to_string(n) + " messages from area " + area->NameInAnsi() + " exported.");
    UnlockArea(*area);
    Status("Processed area " + area->NameInAnsi() + " .");
  }
  LogLine(EchoMails > 0 ? std::to_string(EchoMails) + " echomails exported."
                        : "No echomail to export");

  // Netmail, once per uplink.
  for (TArea* area : list) {
    if (area->AreaType != AreaTypeCode::Netmail || !HasWaiting(*area) || !uplinks) continue;
    for (int u = 0; u < uplinks->GetCount(); ++u) {
      TNetLink* link = uplinks->GetItem(u);
      if (!link) continue;
      if (!LockArea(*area, "Waiting  for access to " + area->NameInAnsi() + " ...")) break;
      area->SetUplink(link);
      Status("Scanning netmail  in " + area->NameInAnsi() + " for " + link->Name + " ...");
      const int n = ExportToUplink(*area, options);
      NetMails += n;
      if (n > 0)
        LogLine(std::to_string(n) + " netmails from area " + area->NameInAnsi() + " with uplink " +
                link->Name + " exported.");
      area->SetUplink(nullptr);
      UnlockArea(*area);
    }
  }
  LogLine(NetMails > 0 ? std::to_string(NetMails) + " netmails exported."
                       : "No netmail to export.");

  // Crash mail: every netmail area again.
  for (TArea* area : list) {
    if (area->AreaType != AreaTypeCode::Netmail || !HasWaiting(*area)) continue;
    if (!LockArea(*area, "Waiting  for access to " + area->NameInAnsi() + " ...")) continue;
    Status("Scanning " + area->NameInAnsi() + " for crashmail ...");
    const int n = ExportDirect(*area, options);
    CrashMails += n;
    UnlockArea(*area);
    if (n > 0)
      LogLine(std::to_string(n) + " crashmails from area " + area->NameInAnsi() + " exported.");
  }
  Status("Crashmail processed.");
  if (CrashMails > 0) LogLine(std::to_string(CrashMails) + " crashmails exported.");

  // Every packet is listed and its messages marked: the journal goes (what
  // a failed index write left is finished here, or at the next start). The
  // configuration keeps the last file serial first, so that no later run
  // names a packet as this one did.
  if (options.Journal) {
    if (store) store->SaveConfiguration();
    RecoverExportJournal(options.Journal->Path());
  }
  LogLine(std::to_string(EchoMails + NetMails + CrashMails) + " messages exported.");
  Status("Done");
  LogLine("Export finished.");

  const bool report = PostReport ? *PostReport : GetSettings().Snapshot()->ExportReport();
  if (report) WriteReportMessage(kReportFrom, "Sysop", kReportSubject, kReportTitle, log_);

  OnMain([] {
    if (TOutboundRescan* rescan = GetOutboundRescan()) rescan->RescanOutbound();
  });
  if (view_) OnMain([this] { view_->ExportFinished(); });
  running_.store(false);

  // A run aborted because its window goes away (the program is ending)
  // makes no call.
  if (PendingCall && !Aborted()) {
    OnMain([this] {
      const TMailBox* call = PendingCall;
      PendingCall = nullptr;
      platform::GetDispatcher().ProcessMessages();
      if (!call || Aborted()) return;
      if (Call) {
        Call(*call);
      } else {
        call->StartMailer();
      }
    });
  }
}

}  // namespace velmaris
