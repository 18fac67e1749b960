// File transfer throughput on a 33600 bps line (3,360 bytes per second, ten
// bits a byte), one 100 KB file of random bytes (as packed mail is):
//   ZModem and ZedZap sending to rz and receiving from sz through the
//   throttled fake modem; sz to rz through the same throttle as the
//   reference; Hydra sending to Hydra (tools/hydrapeer) through the same
//   fake modem.
// The time runs from the start of the session to its end (handshakes
// included, the dial not). "share" is the rate over the line's limit;
// "vs_lrzsz" is the rate over sz to rz's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "mailer/CMD_TAPI.h"
#include "mailer/CMHydra.h"
#include "mailer/CMThreads.h"
#include "mailer/CMZModem.h"
#include "mailer/LineShaper.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {

using namespace velmaris;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBps = 33600;
constexpr double kLimit = kBps / 10.0;
constexpr size_t kFileSize = 100 * 1024;
double gLrzszRate = 0;

struct BenchDir {
  BenchDir() {
    char t[] = "/tmp/velmaris-bench-proto-XXXXXX";
    path = ::mkdtemp(t);
    platform::MakeDirs(path + "/in");
    platform::MakeDirs(path + "/peer");
    std::mt19937 random(42);
    std::string bytes(kFileSize, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    file = path + "/bundle.mo0";
    platform::WriteFileAtomic(file, bytes);
  }
  ~BenchDir() { std::filesystem::remove_all(path); }
  std::string path, file;
};

void Report(benchmark::State& state, double seconds) {
  const double rate = seconds > 0 ? kFileSize / seconds : 0;
  state.SetIterationTime(seconds);
  state.counters["bytes_per_second"] = rate;
  state.counters["share"] = rate / kLimit;
  if (gLrzszRate > 0) state.counters["vs_lrzsz"] = rate / gLrzszRate;
}

// sz to rz, both lrzsz, through the line relay at 33600 bps.
void BM_SzToRz(benchmark::State& state) {
  BenchDir dir;
  for (auto _ : state) {
    int toSz, fromSz, toRz, fromRz;
    const auto start = Clock::now();
    const pid_t sz = platform::Process::StartPiped({"sz", "-q", dir.file}, &toSz, &fromSz);
    const pid_t rz = platform::Process::StartPiped(
        {"sh", "-c", "cd " + dir.path + "/peer && exec rz -q -b -y"}, &toRz, &fromRz);
    for (int fd : {toSz, fromSz, toRz, fromRz}) ::fcntl(fd, F_SETFL, O_NONBLOCK);
    TLineRelay relay(fromSz, toSz, fromRz, toRz, TLineShape{kBps, 0, 1});
    while (relay.Step(std::chrono::milliseconds(50)) == TLineRelay::State::Running) {
    }
    for (int fd : {toSz, fromSz, toRz, fromRz}) ::close(fd);
    platform::Process::Wait(sz);
    platform::Process::Wait(rz);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    gLrzszRate = kFileSize / seconds;
    Report(state, seconds);
  }
}

// A call through the fake modem at 33600 bps to `peer`; runs the protocol
// and returns the seconds from its start to its end.
double RunThroughModem(
    const BenchDir& dir, const std::string& peer,
    const std::function<std::unique_ptr<TCMProtocol>(platform::Dispatcher&)>& make, bool sending) {
  const std::string link = dir.path + "/modem";
  SetTapiDebugLogPath(dir.path + "/cmdebug.txt");
  const pid_t modem = platform::Process::Start(
      {FAKEMODEM, "--link", link, "--throttle", "--dial", "CONNECT 33600", "--peer", peer});
  while (::access(link.c_str(), F_OK) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  double seconds = 0;
  {
    platform::PlainDispatcher dispatcher;
    TCMTAPIDevice device(dispatcher);
    device.SetDeviceName(link);
    bool ready = false;
    device.OnReady = [&](TCMDevice&) { ready = true; };
    device.Open();
    device.SetPhoneNumber("1234567");
    device.MakeCall();
    dispatcher.RunUntil([&] { return ready; }, std::chrono::seconds(60));
    std::unique_ptr<TCMProtocol> p = make(dispatcher);
    p->Device = &device;
    p->ReceiveDir = dir.path + "/in/";
    bool done = false, given = !sending;
    p->OnNextFile = [&](TCMProtocol&, std::string& path, std::string&) {
      path = given ? "" : dir.file;
      given = true;
    };
    p->OnFinished = p->OnAborted = [&](TCMProtocol&) { done = true; };
    const auto start = Clock::now();
    sending ? p->Send() : p->Receive();
    dispatcher.RunUntil([&] { return done; }, std::chrono::seconds(300));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    p.reset();
    device.Close();
  }
  ::kill(modem, SIGTERM);
  platform::Process::Wait(modem);
  std::filesystem::remove(link);
  return seconds;
}

double RunZModem(const BenchDir& dir, bool sending, bool zedzap, const std::string& peer) {
  return RunThroughModem(
      dir, peer,
      [zedzap](platform::Dispatcher& d) {
        auto z = std::make_unique<TCMZModem>(d);
        z->ZedZap = zedzap;
        return std::unique_ptr<TCMProtocol>(std::move(z));
      },
      sending);
}

void BM_ZModemToRz(benchmark::State& state) {
  BenchDir dir;
  for (auto _ : state) {
    Report(state, RunZModem(dir, true, state.range(0) != 0,
                            "sh -c \"cd " + dir.path + "/peer && exec rz -q -b -y\""));
  }
}

void BM_ZModemFromSz(benchmark::State& state) {
  BenchDir dir;
  for (auto _ : state) {
    std::filesystem::remove_all(dir.path + "/in");
    platform::MakeDirs(dir.path + "/in");
    Report(state, RunZModem(dir, false, false, "sz -q " + dir.file));
  }
}

void BM_HydraToHydra(benchmark::State& state) {
  BenchDir dir;
  for (auto _ : state) {
    const std::string peer = platform::QuoteCommandWord(HYDRAPEER) + " --recv " +
                             platform::QuoteCommandWord(dir.path + "/peer/");
    Report(state, RunThroughModem(
                      dir, peer,
                      [](platform::Dispatcher& d) {
                        return std::unique_ptr<TCMProtocol>(new TCMHydra(d));
                      },
                      true));
  }
}

BENCHMARK(BM_SzToRz)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ZModemToRz)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("zedzap")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_ZModemFromSz)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_HydraToHydra)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
