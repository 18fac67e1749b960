// "nodelist": applies pending nodediffs and compiles the lists (always, as
// the menu command does), printing the time-stamped log.
// "lookup ADDR": prints the compiled entry of one address.
//
// Until the configuration store supplies them, the inputs follow a fixed
// rule: lists, diffs and the index set live in START/Nodelist/; every file
// named NODELIST.* there makes the nodelist NODELIST with the diffs
// NODEDIFF.*; every file named POINTS<x>.* makes the pointlist POINTS<x>
// with the diffs PNTDIFF<x>.*; names are matched without case; zone 2.
#include <iostream>
#include <set>

#include "Batch.h"
#include "nodelist/NodelistRun.h"

namespace velmaris::batch {
namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

TNodelistRunConfig DefaultConfig(const std::string& startDir) {
  TNodelistRunConfig config;
  config.ListDir = startDir + "Nodelist/";
  config.IndexDir = config.ListDir;
  config.Zone = 2;
  std::set<std::string> nodelists, pointlists;
  for (const auto& name : ListFileNames(config.ListDir)) {
    const size_t dot = name.find('.');
    if (dot == std::string::npos || dot + 1 == name.size()) continue;
    const std::string base = name.substr(0, dot);
    const std::string upper = Upper(base);
    if (upper == "NODELIST")
      nodelists.insert(base);
    else if (upper.rfind("POINTS", 0) == 0)
      pointlists.insert(base);
  }
  for (const auto& base : nodelists)
    config.NodeLists.push_back(TListInfo{base, base, "NODEDIFF", config.Zone});
  for (const auto& base : pointlists)
    config.PointLists.push_back(TListInfo{base, base, "PNTDIFF" + base.substr(6), config.Zone});
  return config;
}

int NodelistCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("nodelist takes no arguments");
  const TNodelistRunConfig config = DefaultConfig(ctx.startDir);
  TNodelistLookup lookup;
  TNodeListProcessor processor;
  processor.Lookup = &lookup;
  TNodelistRunHooks hooks;
  hooks.OnLog = [&](const std::string& line) { ctx.out << JsonLine().Str("log", line).Text() << "\n"; };
  const TNodelistRunResult r = RunNodelistUpdate(processor, config, true, hooks);
  lookup.SetPath(config.IndexDir);
  ctx.out << JsonLine()
                 .Int("diffResult", r.DiffResult)
                 .Bool("compiled", r.Compiled)
                 .Int("count", lookup.Count())
                 .Text()
          << "\n";
  return 0;
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
  TNodelistLookup lookup;
  lookup.SetPath(DefaultConfig(ctx.startDir).IndexDir);
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
    "nodelist              apply nodediffs, then compile (lists and index in START/Nodelist/: "
    "NODELIST.* with NODEDIFF.*, POINTS<x>.* with PNTDIFF<x>.*, zone 2)",
    NodelistCommand);
BatchCommand lookupCmd("lookup",
                       "lookup ADDR           the compiled entry of ADDR (index in START/Nodelist/); "
                       "exit 1 when not listed",
                       LookupCommand);

}  // namespace
}  // namespace velmaris::batch
