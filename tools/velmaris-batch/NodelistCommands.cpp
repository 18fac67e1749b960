// "nodelist": applies pending nodediffs and compiles the lists (always, as
// the menu command does), printing the time-stamped log; the log is posted
// into REPORT when the settings ask for the nodelist report, as the
// background run does.
// "lookup ADDR": prints the compiled entry of one address.
//
// Both work on the configuration: the configured nodelists and pointlists,
// the list folder (DistribNL/, setting FTNDir), the index folder (KQNL/,
// setting KQLDIr), the point's own zone and the report switch.
#include <iostream>

#include "Batch.h"
#include "BatchStore.h"
#include "nodelist/NodelistConfig.h"
#include "nodelist/NodelistRun.h"

namespace velmaris::batch {
namespace {

int NodelistCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("nodelist takes no arguments");
  BatchStore store(ctx);
  const TNodelistRunConfig config = MakeNodelistRunConfig(store.Store());
  TNodelistLookup lookup;
  TNodeListProcessor processor;
  processor.Lookup = &lookup;
  TNodelistRunHooks hooks;
  hooks.OnLog = [&](const std::string& line) {
    ctx.out << JsonLine().Str("log", line).Text() << "\n";
  };
  hooks.PostReport = [](const std::vector<std::string>& log) { PostNodelistReport(log); };
  const TNodelistRunResult r = RunNodelistUpdate(processor, config, true, hooks);
  lookup.SetPath(config.IndexDir);
  ctx.out << JsonLine()
                 .Int("diffResult", r.DiffResult)
                 .Bool("compiled", r.Compiled)
                 .Int("count", lookup.Count())
                 .Int("damagedLists", r.DamagedLists)
                 .Text()
          << "\n";
  // A failed nodediff, a list that could not be read whole or an index set
  // that could not be written is a failure; the log says which.
  const char* failure = nullptr;
  if (r.DiffResult == drFailed || r.DiffResult == drPartly)
    failure = "a nodediff could not be applied";
  else if (!r.Compiled)
    failure = "the index set could not be written";
  else if (r.ListsOpened == 0)
    failure = "no list could be opened";
  else if (r.DamagedLists > 0)
    failure = "a list could not be read whole";
  if (!failure) return 0;
  ctx.err << "velmaris-batch: nodelist: " << failure << " (see the log)\n";
  return 1;
}

const char* TypeName(int32_t type) {
  switch (type) {
    case ntNode: return "Node";
    case ntPrivateNode: return "Pvt Node";
    case ntNodeDown: return "Node(Down)";
    case ntNodeHold: return "Node(Hold)";
    case ntHub: return "Hub";
    case ntHost: return "Host";
    case ntRegion: return "Region";
    case ntZone: return "Zone";
    case ntPoint: return "Point";
    case ntPrivatePoint: return "Pvt Point";
    case ntPointDown: return "Point(Down)";
    case ntPointHold: return "Point(Hold)";
    default: return "?";
  }
}

int LookupCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (args.Positional().size() != 1) throw EBatchUsage("lookup needs one address");
  const auto parsed = ParseFidoAddress(args.Positional()[0]);
  if (!parsed) throw EBatchUsage("not an address: " + args.Positional()[0]);
  const TFidoAddr addr = *parsed;
  BatchStore store(ctx);
  TNodelistLookup lookup;
  lookup.SetPath(store->Values()->KQLDIr());
  const int n = lookup.FindAddress(addr);
  if (n < 0) {
    ctx.err << "velmaris-batch: " << FidoAddressToStr(addr) << " is not listed\n";
    return 1;
  }
  TFidoAddr found = addr;
  lookup.GetAddress(n, found);
  const int32_t type = lookup.GetNodeType(n);
  ctx.out << JsonLine()
                 .Str("address", FidoAddressToStr(found))
                 .Int("record", n)
                 .Int("type", type)
                 .Str("kind", TypeName(type))
                 .Str("name", lookup.GetSystemName(n))
                 .Str("sysop", lookup.GetSysop(n))
                 .Str("location", lookup.GetCity(n))
                 .Str("misc", lookup.GetMisc(n))
                 .Text()
          << "\n";
  return 0;
}

BatchCommand nodelistCmd(
    "nodelist",
    "nodelist              apply nodediffs, then compile the configured lists (from the "
    "folder DistribNL/ into KQNL/ of the start directory, or the folders the settings name); "
    "the log goes into REPORT when the nodelist report is on; exit 1 when a diff "
    "failed, no list could be opened, a list is damaged or the index could not be written",
    NodelistCommand);
BatchCommand lookupCmd(
    "lookup",
    "lookup ADDR           the compiled entry of ADDR (from the folder KQNL/, or the one "
    "the settings name); "
    "exit 1 when not listed",
    LookupCommand);

}  // namespace
}  // namespace velmaris::batch
