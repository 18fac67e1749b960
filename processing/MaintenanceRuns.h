// The background housekeeping runs: maintenance of every area that takes
// part in it (MaintainAll::TMaintainer), optimisation of every area
// (TOptimizer, which can chain a maintenance run when it ends) and the
// clean-up of one area for the message list (TMaintainer). Each is a job
// (core/Job.h) on its own thread (Start) or the caller's (Run); what its window shows goes
// to the main thread through the platform dispatcher. A cancel request ends
// a wait for an area lock at once and the run after the area being worked
// on. A run stopped by an error releases the area it held and ends as
// aborted, with the error as its status.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/Job.h"

namespace velmaris {

class TArea;
class TAreaList;

// What a run's window shows; every call arrives on the main thread.
class TRunView {
 public:
  virtual ~TRunView() = default;
  virtual void RunMaximum(int maximum) { (void)maximum; }  // the progress bar
  virtual void RunPosition(int position) { (void)position; }
  virtual void RunStatus(const std::string& text) { (void)text; }  // Status
  // The run's last step: the window goes away.
  virtual void RunFinished(bool aborted) { (void)aborted; }
};

// Which runs start: at program start (bit 0 of OptimizeOn and MaintainOn)
// or at exit (bit 1). Optimisation wins and chains the maintenance when
// both are asked for.
struct TRunChoice {
  bool Optimize = false;
  bool ChainMaintenance = false;  // the optimisation starts it when it ends
  bool Maintain = false;          // maintenance alone
  bool operator==(const TRunChoice&) const = default;
};
TRunChoice RunsAtStart(int optimizeOn, int maintainOn);
TRunChoice RunsAtExit(int optimizeOn, int maintainOn);

// The common part of the two area-list runs.
class TAreaRun : public TJob {
 public:
  explicit TAreaRun(TRunView* view) : view_(view) {}
  ~TAreaRun() override;  // waits for a started run
  TAreaRun(const TAreaRun&) = delete;
  TAreaRun& operator=(const TAreaRun&) = delete;

  TAreaList* Areas = nullptr;  // unset: the global area list

  void Run();
  void Start();
  void Wait();
  // The cancel button: takes effect at once while waiting for a lock, else
  // after the current area.
  void Cancel() { RequestStop(); }
  bool Cancelled() const { return StopRequested(); }
  bool Running() const { return running_.load(); }
  // Why the run left every area alone: the message base it works on is out
  // of reach (TConfigStore::RefusalOf); "" otherwise. Set by the run.
  std::string Refusal;

 protected:
  virtual void Before() {}
  // Works on the area at position; false: the area is skipped.
  virtual bool Wanted(const TArea& area) const = 0;
  virtual void Work(TArea& area, int position) = 0;
  virtual void After(bool aborted) { (void)aborted; }
  void Status(const std::string& text);
  void Position(int position);
  bool LockArea(TArea& area);
  void UnlockArea(TArea& area);
  TRunView* view_;

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;
  void Finish(bool aborted);

  std::atomic<bool> running_{false};
  TArea* held_ = nullptr;  // the area locked by the run
};

namespace MaintainAll {
// Maintenance of every area whose type is not a separator and whose
// Maintain switch is on.
class TMaintainer : public TAreaRun {
 public:
  explicit TMaintainer(TRunView* view = nullptr) : TAreaRun(view) {}
  ~TMaintainer() override { Wait(); }
  double Today = 0;  // the day ages are measured from; 0: now

 protected:
  bool Wanted(const TArea& area) const override;
  void Work(TArea& area, int position) override;
};
}  // namespace MaintainAll

// Optimisation of every area (separators skipped).
class TOptimizer : public TAreaRun {
 public:
  explicit TOptimizer(TRunView* view = nullptr) : TAreaRun(view) {}
  ~TOptimizer() override { Wait(); }
  // Chain: start the maintenance when the optimisation ends (also after a
  // cancel). StartMaintenance brings up or starts it on the main thread.
  bool Chain = false;
  std::function<void()> StartMaintenance;

 protected:
  bool Wanted(const TArea& area) const override;
  void Work(TArea& area, int position) override;
  void After(bool aborted) override;
};

// The clean-up of one area: the caller has locked it exclusively; the area
// is maintained and its lock released, both on the run's thread.
class TMaintainer : public TJob {
 public:
  explicit TMaintainer(TArea& area) : area_(area) {}
  ~TMaintainer() override { Join(); }
  double Today = 0;
  void Run() { RunHere(); }
  void Start() { Launch(); }
  void Wait() { Join(); }

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;
  void AfterRun() override;

  TArea& area_;
};

}  // namespace velmaris
