// "import": one tosser run over the inbound directory of the start
// directory's configuration; prints the import log, one object per line:
// {"line": the line with its time stamp, "text": the line without it}.
//
// The tosser works on its own thread while this (main) thread runs the
// dispatcher, as the program's main window does. The duplicate database
// "Velmaris.Dupes" of the start directory is used and saved; the run saves
// the configuration with its commit (new areas, import marks). A failed
// import (nothing stored, see processing/Tosser.h) exits with 1 and names
// what failed on stderr; so does a run that left a bundle it could not
// unpack or put a packet aside as too large.
#include <chrono>
#include <memory>
#include <ostream>

#include "Batch.h"
#include "BatchStore.h"
#include "core/Report.h"
#include "platform/Dispatcher.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/Secretary.h"
#include "processing/Tosser.h"

namespace velmaris::batch {
namespace {

// The stamp is the date, a blank, the time and two blanks.
std::string WithoutStamp(const std::string& line) {
  const size_t pos = line.find("  ");
  return pos == std::string::npos ? line : line.substr(pos + 2);
}

int ImportCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("import takes no arguments");

  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  struct Restore {
    ~Restore() { platform::SetDispatcher(nullptr); }
  } restore;

  BatchStore config(ctx);
  OpenDupeChecker(config->StartDirectory());
  TTosserSetup setup;
  setup.Store = &config.Store();
  setup.Dupes = &GetDupeChecker();
  std::unique_ptr<TImportFilterRun> filters;
  if (TFilterList* list = GetImportFilters()) {
    TFilterEnv env;
    env.Store = &config.Store();
    filters = std::make_unique<TImportFilterRun>(*list, env);
    setup.Filters = filters.get();
  }
  TTosser tosser(setup);
  if (!tosser.Start()) throw std::runtime_error("another import is running");
  dispatcher.RunUntil([&] { return tosser.Finished(); }, std::chrono::hours(24 * 365));
  // The report waits for the REPORT area's lock on the main thread.
  dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; },
                      std::chrono::seconds(30));
  // The run saved the configuration with its commit; the ring is saved
  // again as it stands.
  const bool ringSaved = CloseDupeChecker();

  for (const std::string& line : tosser.Log())
    ctx.out << JsonLine().Str("line", line).Str("text", WithoutStamp(line)).Text() << "\n";
  const TTossCounters& c = tosser.Counters();
  if (c.Failed || c.WriteFailed) {
    ctx.err << "velmaris-batch: " << TossShortfall(c) << "\n";
    return 1;
  }
  // The rest is stored; what was left or put aside is still a failure.
  if (const std::string shortfall = TossShortfall(c); !shortfall.empty()) {
    ctx.err << "velmaris-batch: the import is stored, but " << shortfall << "\n";
    return 1;
  }
  if (!ringSaved) {
    ctx.err << "velmaris-batch: the import is stored, but the duplicate database could not be "
               "saved\n";
    return 1;
  }
  return 0;
}

BatchCommand cmd("import", "import", ImportCommand);

}  // namespace
}  // namespace velmaris::batch
