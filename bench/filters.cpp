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

constexpr int kMessages = 100000;
constexpr int kPerPacket = 1000;
constexpr int kAreas = 200;

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

std::string AreaName(int i) { return "BENCH.ECHO." + std::to_string(i); }

// About 500 bytes; every 20th message is netmail.
std::string Message(int run, int i) {
  const bool netmail = i % 20 == 0;
  std::string m = Le16(2) + Le16(1) + Le16(1042) + Le16(5030) + Le16(5020) + Le16(0) + Le16(0);
  m += std::string("15 Jan 26  13:45:30", 19) + '\0';
  m += std::string(netmail ? "Point Seven" : "All") + '\0' + "Joe Remote" + '\0' + "Subject " +
       std::to_string(run) + "/" + std::to_string(i) + '\0';
  if (!netmail) m += "AREA:" + AreaName(i % kAreas) + "\r";
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(run * kMessages + i));
  m += std::string("\x01MSGID: 2:5030/1 ") + serial +
       "\r\x01"
       "CHRS: CP866 2\r";
  for (int line = 0; line < 6; ++line)
    m += "Some line of ordinary text in the message body here.\r";
  if (!netmail) m += "--- x\r * Origin: Remote (2:5030/1)\rSEEN-BY: 5030/1 5020/1042\r";
  m += '\0';
  return m;
}

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
        f->SetArea(AreaName(i));
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
  for (int i = 0; i < kAreas; ++i)
    store.AddAreaQuiet(AreaName(i), AreaName(i), AreaTypeCode::Echomail, uplink);
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
    for (int i = 0; i < kMessages; ++i) {
      mails.push_back(MailOf(Message(0, i)));
      areas.push_back(i % 20 == 0 ? "NETMAIL" : AreaName(i % kAreas));
    }
    int killed = 0;
    for (auto _ : state) {
      run.ResetMatches();
      for (int i = 0; i < kMessages; ++i) killed += run.Apply(*mails[i], areas[i]).Kill;
    }
    benchmark::DoNotOptimize(killed);
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
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
      bytes = 0;
      const auto head =
          TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "", 46000).Encode();
      for (int p = 0; p < kMessages / kPerPacket; ++p) {
        std::string packet(reinterpret_cast<const char*>(head.data()), head.size());
        for (int i = 0; i < kPerPacket; ++i) packet += Message(run, p * kPerPacket + i);
        packet += std::string(2, '\0');
        bytes += packet.size();
        char name[32];
        std::snprintf(name, sizeof name, "%08x.pkt", static_cast<unsigned>(run * 1000 + p));
        platform::WriteFileAtomic(inbound + name, packet);
      }
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
      if (tosser.Counters().Read != kMessages) state.SkipWithError("not every message was read");
      state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
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
