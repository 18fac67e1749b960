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
      for (int i = 0; i < kAreas; ++i)
        store.AddAreaQuiet(AreaName(i), AreaName(i), AreaTypeCode::Echomail, uplink);
    }
    const std::string inbound = store.Values()->InboundDir();
    platform::MakeDirs(inbound);

    int run = 0;
    uint64_t bytes = 0;
    double writeSeconds = 0;
    const long rssBefore = MaxRssKiB();
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
      if (tosser.Counters().Written != kMessages)
        state.SkipWithError("not every message was written");
      writeSeconds += std::chrono::duration<double>(view.writeEnd - view.writeStart).count();
      state.ResumeTiming();
    }
    state.counters["messages_per_s"] = benchmark::Counter(
        double(kMessages) * double(state.iterations()), benchmark::Counter::kIsRate);
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
