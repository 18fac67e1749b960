#include "BatchToss.h"

#include <chrono>

#include "core/ConfigStore.h"
#include "core/Report.h"
#include "processing/GlobalDupeChecker.h"

namespace velmaris::batch {

BatchToss::BatchToss(TConfigStore& store) : store_(store), managers_(store) {
  TTosserSetup setup;
  setup.Store = &store;
  if (TFilterList* list = GetImportFilters()) {
    TFilterEnv env;
    env.Store = &store;
    filters_ = std::make_unique<TImportFilterRun>(*list, env);
    setup.Filters = filters_.get();
  }
  setup.AreaLists = &managers_;
  tosser_ = std::make_unique<TTosser>(setup);
}

bool BatchToss::Run(platform::PlainDispatcher& dispatcher) {
  // A message base out of reach gets no duplicate database either: the
  // tosser refuses the run (and says why), and nothing is written there.
  const bool reachable = store_.MessageBaseRefusal().empty();
  if (reachable) OpenDupeChecker(store_.MessageBaseDir(), store_.StartDirectory());
  // The setup named no checker: the run takes the process-wide one.
  if (!tosser_->Start()) {
    if (reachable) CloseDupeChecker();
    return false;
  }
  dispatcher.RunUntil([&] { return tosser_->Finished(); }, std::chrono::hours(24 * 365));
  // The report waits for the REPORT area's lock on the main thread.
  dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; },
                      std::chrono::seconds(30));
  // The run saved the configuration with its commit; the ring is saved
  // again as it stands.
  ringSaved_ = !reachable || CloseDupeChecker();
  return true;
}

}  // namespace velmaris::batch
