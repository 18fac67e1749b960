// Idle line time per damaged end of file: ZModem and ZedZap send one file of
// 20,000 bytes to TQuietReceiver over the loopback pair. The receiver's
// ZRPOS near the end of the file is damaged on the way, so our ZEOF finds it
// behind, and it says nothing until our ZFIN, which it answers with a ZRPOS
// that takes the file up again. Time counts in the 54 ms ticks of the
// timer-trigger table, driven as fast as the machine allows: protocol time,
// not wall-clock time. The reported time (and "idle_s") is the idle line
// time per damaged end in seconds of protocol time; "idle_ticks" the same
// in ticks; "whole" is 1 when the file arrived intact.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "mailer/CMLoopback.h"
#include "mailer/CMThreads.h"
#include "mailer/CMZModem.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "tools/QuietReceiver.h"

namespace {

using namespace velmaris;

constexpr size_t kFileSize = 20000;
constexpr int64_t kDamageAt = kFileSize - 1500;
constexpr double kTickSeconds = 0.054;

void BM_DamagedEndIdle(benchmark::State& state) {
  char dirTemplate[] = "/tmp/velmaris-bench-zidle-XXXXXX";
  const std::string dir = ::mkdtemp(dirTemplate);
  std::mt19937 random(42);
  std::string bytes(kFileSize, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  const std::string file = dir + "/bundle.mo0";
  platform::WriteFileAtomic(file, bytes);
  SetTapiDebugLogPath("");

  double sumTicks = 0, whole = 0;
  for (auto _ : state) {
    platform::PlainDispatcher dispatcher;
    TCMLoopbackPair line{TLineShape{}, dispatcher};
    line.Connect();
    TQuietReceiver peer(line.B(), kDamageAt);
    TCMZModem z(dispatcher);
    z.ZedZap = state.range(0) != 0;
    z.Device = &line.A();
    z.ReceiveDir = dir + "/";
    bool given = false, ended = false;
    z.OnNextFile = [&](TCMProtocol&, std::string& path, std::string&) {
      path = given ? "" : file;
      given = true;
    };
    z.OnFinished = z.OnAborted = [&](TCMProtocol&) { ended = true; };
    z.Send();
    const auto done = [&] { return ended && peer.done; };
    for (int i = 0; i < 100000 && !done(); ++i) {
      TimerTriggerTick();
      dispatcher.RunUntil(done, std::chrono::milliseconds(2));
    }
    const double ticks = peer.damagedEnds > 0 ? double(peer.idleTicks) / peer.damagedEnds : 0;
    state.SetIterationTime(ticks * kTickSeconds);
    sumTicks += ticks;
    whole += peer.data == bytes ? 1 : 0;
  }
  const double n = double(state.iterations());
  state.counters["idle_ticks"] = sumTicks / n;
  state.counters["idle_s"] = sumTicks / n * kTickSeconds;
  state.counters["whole"] = whole / n;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_DamagedEndIdle)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("zedzap")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
