// Line speed: bytes per second that the modem line device receives through
// the fake modem at 33600 bps, against the line's limit of 3,360 bytes per
// second (ten bits a byte). The far end sends 10,080 bytes (three seconds
// of line time); the rate counts from the block that passes the first half
// second of line time to the last block, so neither the dial nor bytes that
// waited in the pty while the call was being set up enter it. "share" is the rate over the limit;
// the device's own overhead is what keeps it below 1.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "platform/Dispatcher.h"
#include "platform/Process.h"

namespace {

using namespace velmaris;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBps = 33600;
constexpr double kLimit = kBps / 10.0;
constexpr size_t kBytes = 10080;
constexpr size_t kWarmUp = 1680;

void BM_ReceiveThroughFakeModem(benchmark::State& state) {
  char dirTemplate[] = "/tmp/velmaris-bench-line-XXXXXX";
  const std::string dir = ::mkdtemp(dirTemplate);
  const std::string link = dir + "/modem";
  SetTapiDebugLogPath("");
  const pid_t modem =
      platform::Process::Start({FAKEMODEM, "--link", link, "--throttle", "--dial", "CONNECT 33600",
                                "--peer", "head -c " + std::to_string(kBytes) + " /dev/zero"});
  while (::access(link.c_str(), F_OK) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  for (auto _ : state) {
    platform::PlainDispatcher dispatcher;
    TCMTAPIDevice device(dispatcher);
    device.SetDeviceName(link);
    device.SetReadSize(256);
    size_t received = 0, first = 0;
    Clock::time_point tFirst, tLast;
    device.OnDataAvail = [&](TCMDevice&, const std::string& data) {
      received += data.size();
      if (first == 0 && received >= kWarmUp) {
        tFirst = Clock::now();
        first = received;
      }
      if (received >= kBytes && tLast == Clock::time_point{}) tLast = Clock::now();
    };
    device.Open();
    device.SetPhoneNumber("1234567");
    device.MakeCall();
    dispatcher.RunUntil([&] { return received >= kBytes; }, std::chrono::seconds(60));
    device.Close();
    const double seconds = std::chrono::duration<double>(tLast - tFirst).count();
    const double rate = seconds > 0 ? (kBytes - first) / seconds : 0;
    state.SetIterationTime(seconds);
    state.counters["bytes_per_second"] = rate;
    state.counters["share"] = rate / kLimit;
  }
  ::kill(modem, SIGTERM);
  platform::Process::Wait(modem);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReceiveThroughFakeModem)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
