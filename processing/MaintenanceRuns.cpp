#include "processing/MaintenanceRuns.h"

#include "core/Area.h"
#include "platform/Dispatcher.h"

namespace velmaris {
namespace {

void OnMainThread(const std::function<void()>& fn) { platform::GetDispatcher().Send(fn); }

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

TAreaRun::~TAreaRun() { Wait(); }

void TAreaRun::Start() {
  Wait();
  running_.store(true);
  thread_ = std::thread([this] { Run(); });
}

void TAreaRun::Wait() {
  if (thread_.joinable()) thread_.join();
}

void TAreaRun::Status(const std::string& text) {
  if (view_) OnMainThread([this, text] { view_->RunStatus(text); });
}

void TAreaRun::Position(int position) {
  if (view_) OnMainThread([this, position] { view_->RunPosition(position); });
}

bool TAreaRun::LockArea(TArea& area) {
  return area.WaitLock(true, [this] { return Cancelled(); });
}

void TAreaRun::UnlockArea(TArea& area) {
  OnMainThread([&area] { area.Unlock(); });
}

void TAreaRun::Run() {
  running_.store(true);
  TAreaList* areas = Areas ? Areas : GetAreaList();
  const int count = areas ? areas->GetCount() : 0;
  Before();
  if (view_) OnMainThread([this, count] { view_->RunMaximum(count); });
  for (int i = 0; i < count && !Cancelled(); ++i) {
    TArea* area = areas->GetItem(i);
    if (!area || !Wanted(*area)) continue;
    Work(*area, i);
  }
  const bool aborted = Cancelled();
  Position(count);
  Status(aborted ? "Aborted!" : "Done!");
  if (view_) OnMainThread([this, aborted] { view_->RunFinished(aborted); });
  running_.store(false);
  After(aborted);
}

// --- Maintenance of all areas -------------------------------------------------------

namespace MaintainAll {

bool TMaintainer::Wanted(const TArea& area) const { return HasFiles(area) && area.Maintain; }

void TMaintainer::Work(TArea& area, int position) {
  Position(position);
  Status("Waiting for access to " + area.Name + "...");
  if (!LockArea(area)) return;
  Status("Maintenance  " + area.Name + " ..");
  area.MaintainMessages(Today);
  UnlockArea(area);
  Status(area.Name + " completed");
}

}  // namespace MaintainAll

// --- Optimisation ----------------------------------------------------------------------

bool TOptimizer::Wanted(const TArea& area) const { return HasFiles(area); }

void TOptimizer::Work(TArea& area, int position) {
  Position(position);
  Status("Waiting for access to " + area.Name + "..");
  if (!LockArea(area)) return;
  Status("Optimizing " + area.Name + "..");
  area.Optimize();
  UnlockArea(area);
  Status(area.Name + " processed");
}

void TOptimizer::After(bool aborted) {
  (void)aborted;
  if (Chain && StartMaintenance) OnMainThread(StartMaintenance);
}

// --- One area --------------------------------------------------------------------------

void TMaintainer::Run() {
  area_.MaintainMessages(Today);
  area_.Unlock();
}

void TMaintainer::Start() {
  Wait();
  thread_ = std::thread([this] { Run(); });
}

void TMaintainer::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace velmaris
