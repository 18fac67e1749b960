// "import": one tosser run over the inbound directory of the start
// directory's configuration; prints the import log, one object per line:
// {"line": the line with its time stamp, "text": the line without it}.
//
// The run is the program's (BatchToss.h): import filters, area-list replies
// registered, the duplicate database "Velmaris.Dupes" of the start directory
// used and saved; the run saves the configuration with its commit (new
// areas, import marks, area-list titles). A failed
// import (nothing stored, see processing/Tosser.h) exits with 1 and names
// what failed on stderr; so does a run that left a bundle it could not
// unpack or put a packet aside as too large.
#include <ostream>
#include <stdexcept>

#include "Batch.h"
#include "BatchStore.h"
#include "BatchToss.h"
#include "platform/Dispatcher.h"

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
  BatchToss toss(config.Store());
  if (!toss.Run(dispatcher)) throw std::runtime_error("another import is running");
  const TTosser& tosser = toss.Tosser();
  const bool ringSaved = toss.RingSaved();

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
