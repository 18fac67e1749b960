// "export": one scanner run, printing the export log ({"log": line}) and
// the counters; exit 1 when messages stay waiting or went out without their
// file, a packet is listed unpacked as its packer failed, an export filter
// could not act, an index could not be written, or an error stopped the run. "maintain" and "optimize": the
// maintenance or the optimisation of all areas, printing the status lines
// ({"status": text}) and one object per area with its message count
// afterwards.
#include <iostream>

#include "Batch.h"
#include "BatchStore.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "processing/Exporter.h"
#include "processing/MaintenanceRuns.h"
#include "processing/OutPacket.h"
#include "processing/Secretary.h"

namespace velmaris::batch {
namespace {

// What the lines of the export's log that tell of failures say, by kind:
// "3 lines of its log say what stays waiting, 1 line which packet is listed
// unpacked as its packer failed".
std::string ProblemSummary(const TExporter& exporter) {
  static const char* const kWhat[kExportLineKinds] = {
      "",  // notes are not counted
      "what stays waiting",
      "what went out without its file",
      "which packet is listed unpacked as its packer failed",
      "which export filter could not do its work",
      "which area's index could not be written",
  };
  std::string summary;
  for (size_t kind = 0; kind < exporter.ProblemsOf.size(); ++kind) {
    const int n = exporter.ProblemsOf[kind];
    if (n == 0) continue;
    const bool first = summary.empty();
    if (!first) summary += ", ";
    summary += std::to_string(n) + (n == 1 ? " line" : " lines");
    if (first) summary += n == 1 ? " of its log says" : " of its log say";
    summary += std::string(" ") + kWhat[kind];
  }
  return summary;
}

int ExportCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("export takes no arguments");
  BatchStore config(ctx);
  InstallBundlePacker();
  TExporter exporter;
  std::unique_ptr<TExportFilterRun> filters;
  if (TFilterList* list = GetExportFilters()) {
    TFilterEnv env;
    env.Store = &config.Store();
    filters = std::make_unique<TExportFilterRun>(*list, env);
    exporter.AreaOptions.Filters = filters.get();
  }
  exporter.Run();
  for (const auto& line : exporter.Log()) ctx.out << JsonLine().Str("log", line).Text() << "\n";
  ctx.out << JsonLine()
                 .Int("echomails", exporter.EchoMails)
                 .Int("netmails", exporter.NetMails)
                 .Int("crashmails", exporter.CrashMails)
                 .Text()
          << "\n";
  if (!config->SaveConfiguration()) throw std::runtime_error("cannot save the configuration");
  if (exporter.Stopped) {
    ctx.err << "velmaris-batch: the export was stopped by an error: "
            << (exporter.StopReason.empty() ? "see the log" : exporter.StopReason) << "\n";
    return 1;
  }
  if (exporter.Problems > 0) {
    ctx.err << "velmaris-batch: the export is written, but " << ProblemSummary(exporter) << "\n";
    return 1;
  }
  return 0;
}

class PrintingView : public TRunView {
 public:
  explicit PrintingView(std::ostream& out) : out_(out) {}
  void RunStatus(const std::string& text) override {
    out_ << JsonLine().Str("status", text).Text() << "\n";
  }

 private:
  std::ostream& out_;
};

int RunAll(BatchContext& ctx, bool optimize) {
  BatchArgs args(ctx.args, {});
  if (!args.Positional().empty()) throw EBatchUsage("this command takes no arguments");
  BatchStore config(ctx);
  PrintingView view(ctx.out);
  std::string refusal;
  if (optimize) {
    TOptimizer run(&view);
    run.Run();
    refusal = run.Refusal;
  } else {
    MaintainAll::TMaintainer run(&view);
    run.Run();
    refusal = run.Refusal;
  }
  if (!refusal.empty()) {
    ctx.err << "velmaris-batch: " << refusal << "\n";
    return 1;
  }
  int rc = 0;
  for (TArea* area : config->Areas().Areas()) {
    if (area->AreaType == AreaTypeCode::Prototype) continue;
    area->RecountFlags();
    JsonLine line;
    line.Str("area", area->Name).Int("count", area->Count);
    // A damaged index was left alone; the run fails.
    if (!area->IndexDamage.empty()) {
      line.Str("damage", area->IndexDamage);
      ctx.err << "velmaris-batch: area " << area->Name << " left alone: " << area->IndexDamage
              << "\n";
      rc = 1;
    }
    ctx.out << line.Text() << "\n";
  }
  // Maintenance moves the last-read positions, which the configuration keeps.
  if (!config->SaveConfiguration()) throw std::runtime_error("cannot save the configuration");
  return rc;
}

int MaintainCommand(BatchContext& ctx) { return RunAll(ctx, false); }
int OptimizeCommand(BatchContext& ctx) { return RunAll(ctx, true); }

BatchCommand exportCmd("export", "export", ExportCommand);
BatchCommand maintainCmd("maintain", "maintain", MaintainCommand);
BatchCommand optimizeCmd("optimize", "optimize", OptimizeCommand);

}  // namespace
}  // namespace velmaris::batch
