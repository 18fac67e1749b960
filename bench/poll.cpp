// A whole poll at 33600 bps through the fake modem (throttled to the line
// rate, ten bits a byte) against the test peer: 500 KB go out and 500 KB
// come back, over Hydra (both batches), ZedZap or ZModem. Reported: the
// session time (dial to hang-up), the transfer phase (session start to
// disconnect) and the line use, the bytes of both files over what the line
// carries in the transfer phase (3,360 bytes per second one way; Hydra uses
// both ways at once, the ZModems take turns). VELMARIS_BENCH_POLL_BYTES
// changes the size for a quick look.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/ConfigStore.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "mailer/MailerSession.h"
#include "platform/Dispatcher.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"

namespace {

using namespace velmaris;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kBps = 33600;
constexpr double kLimit = kBps / 10.0;

size_t Bytes() {
  const char* env = std::getenv("VELMARIS_BENCH_POLL_BYTES");
  return env ? std::strtoul(env, nullptr, 10) : 500u << 10;
}

void WriteSample(const std::string& path, size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  std::ofstream(path, std::ios::binary) << bytes;
}

const char* const kProtocols[] = {"hyd", "zap", "zmo"};

void BM_PollEachWay(benchmark::State& state) {
  const size_t bytes = Bytes();
  const std::string protocol = kProtocols[state.range(0)];
  state.SetLabel(protocol);
  for (auto _ : state) {
    char dirTemplate[] = "/tmp/velmaris-bench-poll-XXXXXX";
    const std::string dir = std::string(::mkdtemp(dirTemplate)) + "/";
    platform::PlainDispatcher dispatcher;
    platform::SetDispatcher(&dispatcher);
    platform::ScriptedPrompter prompter;
    platform::SetPrompter(&prompter);
    SetTapiDebugLogPath("");
    fs::create_directories(dir + "peer-in");
    WriteSample(dir + "out.pkt", bytes, 1);
    WriteSample(dir + "back.pkt", bytes, 2);
    const std::string link = dir + "modem";
    const pid_t modem = platform::Process::Start(
        {FAKEMODEM, "--link", link, "--throttle", "--dial", "CONNECT 33600", "--peer",
         platform::QuoteCommandWord(EMSIPEER) + " --inbound " +
             platform::QuoteCommandWord(dir + "peer-in") + " --send " +
             platform::QuoteCommandWord(dir + "back.pkt") + " --protocols " + protocol + " --log " +
             platform::QuoteCommandWord(dir + "peer.log")});
    while (::access(link.c_str(), F_OK) != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));

    double session = 0, transfer = 0;
    std::string log;  // shown when the poll fails
    bool completed = false;
    {
      platform::Registry registry(dir + "Velmaris.reg");
      TConfigStore store(dir + "start/", registry);
      InstallMailerConfig(store);
      store.LoadConfiguration();
      store.MakeCurrent();
      store.SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + link});
      store.SettingsModel().SetNumber(SettingId::AutoImport, 0);
      TNetLink* uplink = store.Uplinks().GetItem(0);
      uplink->UplinkAddress.SetText("2:5020/1042");
      uplink->SysopAddress.SetText("2:5020/1042.7");
      TMailBox* box = store.AddDefaultMailbox();
      box->Address.SetText("2:5020/1042");
      box->Numbers = {"555"};
      TMailer profile(&store);
      profile.SetTAPIDevice("Line");
      fs::create_directories(store.Values()->OutboundDir());
      std::ofstream(store.Values()->OutboundDir() + "139C0412.flo") << dir + "out.pkt\r\n";

      TCMTAPIDevice device(dispatcher);
      device.ApplySettings(*store.Values());
      device.SetDeviceName("Line");
      TMailerContext ctx;
      ctx.Store = &store;
      Clock::time_point start = Clock::now(), transferStart{}, transferEnd{};
      {
        TMailerSession mailer(profile, device, ctx);
        mailer.OnLogLine = [&](const std::string& line) {
          log += line + "\n";
          if (line.find("PRST Session start") != std::string::npos) transferStart = Clock::now();
          if (line.find("TAPI Disconnecting") != std::string::npos) transferEnd = Clock::now();
        };
        mailer.ResetRedial();
        mailer.PollAddress("2:5020/1042");
        dispatcher.RunUntil([&] { return mailer.Finished() && device.IsIdle(); },
                            std::chrono::hours(2));
        completed = mailer.Completed();
      }
      session = std::chrono::duration<double>(Clock::now() - start).count();
      transfer = std::chrono::duration<double>(transferEnd - transferStart).count();
      device.Close();
      SetConfigStore(nullptr);
    }
    ::kill(modem, SIGTERM);
    platform::Process::Wait(modem);
    if (!completed) {
      std::ifstream peer(dir + "peer.log");
      std::fprintf(stderr, "%s--- peer\n%s", log.c_str(),
                   std::string(std::istreambuf_iterator<char>(peer), {}).c_str());
    }
    fs::remove_all(dir);
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
    if (!completed) state.SkipWithError("the poll did not complete");
    state.counters["session_s"] = session;
    state.counters["transfer_s"] = transfer;
    // Hydra sends both ways at once: its line carries two directions' worth.
    const double capacity = (protocol == "hyd" ? 2 : 1) * kLimit * transfer;
    state.counters["line_use"] = transfer > 0 ? 2.0 * bytes / capacity : 0;
  }
}

BENCHMARK(BM_PollEachWay)
    ->DenseRange(0, 2)
    ->ArgName("protocol")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
