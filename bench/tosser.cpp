// Tossing speed: 100,000 messages (about 50 MB of packets) over 200 echo
// areas and netmail, tossed by one tosser run on its worker thread while the
// main thread runs the dispatcher, as the batch driver does. Reported: the
// messages per second of the whole run, the time spent writing the areas
// (from the first area lock to the last area written) and the peak resident
// memory of the process.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchPackets.h"
#include "archive/PackerConfig.h"
#include "core/ConfigStore.h"
#include "core/Report.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/DupeChecker.h"
#include "processing/PacketHeader.h"
#include "processing/Tosser.h"

namespace {

using namespace velmaris;
using Clock = std::chrono::steady_clock;

using bench::kTossAreas;
using bench::kTossMessages;
using bench::TossAreaName;

class TimingView : public TImportView {
 public:
  void SetCaption(const std::string& caption) override {
    if (caption.rfind("Import - Waiting for access to", 0) == 0 &&
        writeStart == Clock::time_point{})
      writeStart = Clock::now();
    if (caption.rfind("Import - Writing to ", 0) == 0) writeEnd = Clock::now();
  }
  Clock::time_point writeStart{}, writeEnd{};
};

long MaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_Toss100k(benchmark::State& state) {
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  platform::SetPrompter(&prompter);
  platform::SetDispatcher(&dispatcher);
  char tmpl[] = "/tmp/velmaris-bench-tosser-XXXXXX";
  const std::string root = std::string(mkdtemp(tmpl)) + "/";
  {
    platform::Registry registry(root + "Velmaris.reg");
    TConfigStore store(root + "start/", registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    store.MakeCurrent();
    store.SettingsModel().SetLines(SettingId::SysopNames, {"Point Seven"});
    TNetLink* uplink = store.Uplinks().GetItem(0);
    uplink->UplinkAddress.SetText("2:5030/1");
    {
      TConfigChangeBatch batch(store);
      for (int i = 0; i < kTossAreas; ++i)
        store.AddAreaQuiet(TossAreaName(i), TossAreaName(i), AreaTypeCode::Echomail, uplink);
    }
    const std::string inbound = store.Values()->InboundDir();
    platform::MakeDirs(inbound);

    int run = 0;
    uint64_t bytes = 0;
    double writeSeconds = 0;
    const long rssBefore = MaxRssKiB();
    for (auto _ : state) {
      state.PauseTiming();
      bytes = bench::WriteTossPackets(inbound, run);
      ++run;
      TDupeChecker dupes;  // a fresh ring, not saved
      TimingView view;
      TTosserSetup setup;
      setup.Store = &store;
      setup.Dupes = &dupes;
      setup.View = &view;
      TTosser tosser(setup);
      state.ResumeTiming();

      tosser.Start();
      dispatcher.RunUntil([&] { return tosser.Finished(); }, std::chrono::hours(1));
      dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; });

      state.PauseTiming();
      if (tosser.Counters().Written != kTossMessages)
        state.SkipWithError("not every message was written");
      writeSeconds += std::chrono::duration<double>(view.writeEnd - view.writeStart).count();
      state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kTossMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["packet_MB"] = double(bytes) / 1e6;
    state.counters["write_areas_s"] = writeSeconds / double(state.iterations());
    state.counters["peak_rss_MB"] = double(MaxRssKiB()) / 1024.0;
    state.counters["rss_before_MB"] = double(rssBefore) / 1024.0;
  }
  platform::SetDispatcher(nullptr);
  platform::SetPrompter(nullptr);
  std::system(("rm -rf '" + root + "'").c_str());
}
BENCHMARK(BM_Toss100k)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
