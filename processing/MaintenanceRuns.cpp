#include "processing/MaintenanceRuns.h"

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"

namespace velmaris {
namespace {

TRunChoice Choose(bool optimize, bool maintain) {
  TRunChoice c;
  if (optimize) {
    c.Optimize = true;
    c.ChainMaintenance = maintain;
  } else {
    c.Maintain = maintain;
  }
  return c;
}

// Areas without files of their own are never worked on.
bool HasFiles(const TArea& area) {
  return !area.IsSeparator() && area.AreaType != AreaTypeCode::Separator &&
         area.AreaType != AreaTypeCode::Prototype && !area.FileName.empty();
}

}  // namespace

TRunChoice RunsAtStart(int optimizeOn, int maintainOn) {
  return Choose(optimizeOn & 1, maintainOn & 1);
}

TRunChoice RunsAtExit(int optimizeOn, int maintainOn) {
  return Choose(optimizeOn & 2, maintainOn & 2);
}

// --- TAreaRun -------------------------------------------------------------------

TAreaRun::~TAreaRun() { Join(); }

void TAreaRun::Run() { RunHere(); }

void TAreaRun::Start() {
  Launch([this] { running_.store(true); });
}

void TAreaRun::Wait() { Join(); }

void TAreaRun::Status(const std::string& text) {
  if (view_) OnMain([this, text] { view_->RunStatus(text); });
}

void TAreaRun::Position(int position) {
  if (view_) OnMain([this, position] { view_->RunPosition(position); });
}

bool TAreaRun::LockArea(TArea& area) {
  if (!area.WaitLock(true, [this] { return Cancelled(); })) return false;
  held_ = &area;
  return true;
}

void TAreaRun::UnlockArea(TArea& area) {
  held_ = nullptr;
  OnMain([&area] { area.Unlock(); });
}

void TAreaRun::Failed(const std::string& what) {
  if (held_) UnlockArea(*held_);
  Status(what);
  Finish(true);
}

void TAreaRun::Finish(bool aborted) {
  if (view_) OnMain([this, aborted] { view_->RunFinished(aborted); });
  running_.store(false);
  After(aborted);
}

void TAreaRun::RunJob() {
  running_.store(true);
  Refusal.clear();
  // A run over the configuration's areas leaves a message base out of reach
  // alone. The folder is looked at here, not on the main thread.
  if (TConfigStore* store = GetConfigStore(); store && !Areas) {
    TConfigStore::TBaseRecords records;
    OnMain([&] { records = store->MessageBaseRecords(); });
    Refusal = TConfigStore::RefusalOf(TConfigStore::MessageBaseLook(records));
    if (!Refusal.empty()) {
      Status(Refusal);
      Finish(true);
      return;
    }
  }
  TAreaList* areas = Areas ? Areas : GetAreaList();
  const int count = areas ? areas->GetCount() : 0;
  Before();
  if (view_) OnMain([this, count] { view_->RunMaximum(count); });
  for (int i = 0; i < count && !Cancelled(); ++i) {
    TArea* area = areas->GetItem(i);
    if (!area || !Wanted(*area)) continue;
    Work(*area, i);
  }
  const bool aborted = Cancelled();
  Position(count);
  Status(aborted ? "Aborted!" : "Done!");
  Finish(aborted);
}

// --- Maintenance of all areas -------------------------------------------------------

namespace MaintainAll {

bool TMaintainer::Wanted(const TArea& area) const { return HasFiles(area) && area.Maintain; }

void TMaintainer::Work(TArea& area, int position) {
  Position(position);
  Status("Waiting for access to " + area.NameInAnsi() + "...");
  if (!LockArea(area)) return;
  Status("Maintenance  " + area.NameInAnsi() + " ..");
  area.MaintainMessages(Today);
  UnlockArea(area);
  Status(area.NameInAnsi() + " completed");
}

}  // namespace MaintainAll

// --- Optimisation ----------------------------------------------------------------------

bool TOptimizer::Wanted(const TArea& area) const { return HasFiles(area); }

void TOptimizer::Work(TArea& area, int position) {
  Position(position);
  Status("Waiting for access to " + area.NameInAnsi() + "..");
  if (!LockArea(area)) return;
  Status("Optimizing " + area.NameInAnsi() + "..");
  area.Optimize();
  UnlockArea(area);
  Status(area.NameInAnsi() + " processed");
}

void TOptimizer::After(bool aborted) {
  (void)aborted;
  if (Chain && StartMaintenance) OnMain(StartMaintenance);
}

// --- One area --------------------------------------------------------------------------

void TMaintainer::RunJob() { area_.MaintainMessages(Today); }

void TMaintainer::Failed(const std::string& what) {
  LogProblem("The maintenance of " + area_.NameInAnsi() + " stopped: " + what);
}

// The lock the caller took goes in every case.
void TMaintainer::AfterRun() { area_.Unlock(); }

}  // namespace velmaris
