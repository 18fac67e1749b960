// The import filters' cost: 100,000 messages through 50 filters.
// BM_FilterRun: the filters alone on messages as the tosser hands them over
// (messages per second of the filter run). BM_TossWithFilters/N: a whole
// tosser run over the same messages with N filters (0 and 50), so the two
// rates show what share of a toss the filters take. The filters test
// sender, receiver, subject, area, type and body text; one in ten of them
// matches some messages and changes their flags.
#include <benchmark/benchmark.h>

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
#include "processing/Secretary.h"
#include "processing/Tosser.h"

namespace {

using namespace velmaris;

using bench::kTossAreas;
using bench::kTossMessages;
using bench::TossAreaName;

// Filter i of 50: mostly conditions that fail late (after a cheap one
// held), every tenth one matching a tenth of the echomail.
void FillFilters(TFilterList& list, int count) {
  for (int i = 0; i < count; ++i) {
    auto f = std::make_unique<TFilter>();
    switch (i % 5) {
      case 0:
        f->ApplyOrig = f->ApplySubj = true;
        f->SetOrig("joe");
        f->SetSubj(i % 10 == 0 ? "/1" : "no such subject " + std::to_string(i));
        f->OrigSet = MsgFlag::Hold;
        break;
      case 1:
        f->ApplyDest = true;
        f->SetDest("Somebody " + std::to_string(i));
        break;
      case 2:
        f->ApplyArea = f->ApplyText = true;
        f->SetArea(TossAreaName(i));
        f->SetText("ordinary");
        break;
      case 3:
        f->ApplyType = f->ApplyText = true;
        f->Type = 0;
        f->SetText("word that is nowhere " + std::to_string(i));
        break;
      default:
        f->ApplyOrig = true;
        f->SetOrig("Spammer " + std::to_string(i));
        f->DoKill = true;
    }
    list.AddFilter("Filter " + std::to_string(i), std::move(f));
  }
}

void FillAreas(TConfigStore& store, TNetLink* uplink) {
  TConfigChangeBatch batch(store);
  for (int i = 0; i < kTossAreas; ++i)
    store.AddAreaQuiet(TossAreaName(i), TossAreaName(i), AreaTypeCode::Echomail, uplink);
}

// A message as the tosser hands it to the filters.
std::unique_ptr<TMail> MailOf(const std::string& image) {
  TMsgHeader h;
  size_t at = 34;
  const auto next = [&] {
    const size_t end = image.find('\0', at);
    std::string s = image.substr(at, end - at);
    at = end + 1;
    return s;
  };
  h.ToName = next();
  h.FromName = next();
  h.Subject = next();
  h.TextOffset = static_cast<uint16_t>(at);
  return std::make_unique<TMail>(image, h);
}

void BM_FilterRun(benchmark::State& state) {
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  platform::SetPrompter(&prompter);
  platform::SetDispatcher(&dispatcher);
  char tmpl[] = "/tmp/velmaris-bench-filters-XXXXXX";
  const std::string root = std::string(mkdtemp(tmpl)) + "/";
  {
    platform::Registry registry(root + "Velmaris.reg");
    TConfigStore store(root + "start/", registry);
    store.LoadConfiguration();
    FillAreas(store, store.Uplinks().GetItem(0));
    TFilterList list;
    FillFilters(list, 50);
    TFilterEnv env;
    env.Store = &store;
    TImportFilterRun run(list, env);
    std::vector<std::unique_ptr<TMail>> mails;
    std::vector<std::string> areas;
    for (int i = 0; i < kTossMessages; ++i) {
      mails.push_back(MailOf(bench::TossMessage(0, i)));
      areas.push_back(i % 20 == 0 ? "NETMAIL" : TossAreaName(i % kTossAreas));
    }
    int killed = 0;
    for (auto _ : state) {
      run.ResetMatches();
      for (int i = 0; i < kTossMessages; ++i) killed += run.Apply(*mails[i], areas[i]).Kill;
    }
    benchmark::DoNotOptimize(killed);
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kTossMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
  }
  platform::SetDispatcher(nullptr);
  platform::SetPrompter(nullptr);
  std::system(("rm -rf '" + root + "'").c_str());
}
BENCHMARK(BM_FilterRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_TossWithFilters(benchmark::State& state) {
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
    FillAreas(store, uplink);
    TFilterList list;
    FillFilters(list, static_cast<int>(state.range(0)));
    TFilterEnv env;
    env.Store = &store;
    TImportFilterRun filters(list, env);
    const std::string inbound = store.Values()->InboundDir();
    platform::MakeDirs(inbound);

    int run = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
      state.PauseTiming();
      bytes = bench::WriteTossPackets(inbound, run);
      ++run;
      TDupeChecker dupes;  // a fresh ring, not saved
      TTosserSetup setup;
      setup.Store = &store;
      setup.Dupes = &dupes;
      setup.Filters = &filters;
      TTosser tosser(setup);
      state.ResumeTiming();

      tosser.Start();
      dispatcher.RunUntil([&] { return tosser.Finished(); }, std::chrono::hours(1));
      dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; });

      state.PauseTiming();
      if (tosser.Counters().Read != kTossMessages)
        state.SkipWithError("not every message was read");
      state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kTossMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["packet_MB"] = double(bytes) / 1e6;
  }
  platform::SetDispatcher(nullptr);
  platform::SetPrompter(nullptr);
  std::system(("rm -rf '" + root + "'").c_str());
}
BENCHMARK(BM_TossWithFilters)
    ->Arg(0)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
