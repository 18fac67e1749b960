// Tossing against Debian's crashmail: the same packets (echomail over 200
// areas, every 20th message netmail to the point) tossed by
// `velmaris-batch import` and by `crashmail TOSS` into JAM areas, each as a
// process of its own in the same run. "first": the areas do not exist yet
// (both create them as the mail arrives); "steady": the areas exist and hold
// the previous batch. Reported per tool: seconds, messages per second and
// peak resident memory; and the speed ratio crashmail time / our time. A
// second benchmark tosses a large inbound of tiny messages alone, for the
// peak memory.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/PackerConfig.h"
#include "core/ConfigStore.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/PacketHeader.h"

namespace {

using namespace velmaris;

constexpr int kAreas = 200;
constexpr int kPerPacket = 1000;

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// About 500 bytes; every 20th message is netmail to the point.
std::string Message(int batch, int i, int count) {
  const bool netmail = i % 20 == 0;
  std::string m = Le16(2) + Le16(1) + Le16(1042) + Le16(5030) + Le16(5020) + Le16(0) + Le16(0);
  m += std::string("15 Jan 26  13:45:30", 19) + '\0';
  m += std::string(netmail ? "Point Seven" : "All") + '\0' + "Joe Remote" + '\0' + "Subject " +
       std::to_string(batch) + "/" + std::to_string(i) + '\0';
  if (!netmail) m += "AREA:BENCH.ECHO." + std::to_string((i + i / 20) % kAreas) + "\r";
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(batch * count + i + 1));
  if (netmail) m += "\x01INTL 2:5020/1042 2:5030/1\r\x01TOPT 7\r";
  m += std::string("\x01MSGID: 2:5030/1 ") + serial +
       "\r\x01"
       "CHRS: CP866 2\r";
  for (int line = 0; line < 6; ++line)
    m += "Some line of ordinary text in the message body here.\r";
  if (!netmail) m += "--- x\r * Origin: Remote (2:5030/1)\rSEEN-BY: 5030/1 5020/1042\r";
  m += '\0';
  return m;
}

// The batch's packets, written into every directory given.
void DropPackets(int batch, int count, const std::vector<std::string>& dirs) {
  const auto head = TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "", 46000).Encode();
  for (int p = 0; p * kPerPacket < count; ++p) {
    std::string packet(reinterpret_cast<const char*>(head.data()), head.size());
    for (int i = p * kPerPacket; i < std::min(count, (p + 1) * kPerPacket); ++i)
      packet += Message(batch, i, count);
    packet += std::string(2, '\0');
    char name[32];
    std::snprintf(name, sizeof name, "%08x.pkt", static_cast<unsigned>(batch * 1000 + p));
    for (const std::string& dir : dirs) platform::WriteFileAtomic(dir + name, packet);
  }
}

struct RunResult {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

// Runs a command line through /bin/sh; its wall time and peak memory.
RunResult RunMeasured(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", ("exec " + command + " >/dev/null 2>&1").c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakKiB = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string CrashmailConfig(const std::string& root) {
  return "SYSOP \"Point Seven\"\n"
         "LOGFILE \"" +
         root +
         "cm/crashmail.log\"\n"
         "LOGLEVEL 1\n"
         "DUPEFILE \"" +
         root +
         "cm/crashmail.dupes\" 200\n"
         "DUPEMODE BAD\n"
         "DEFAULTZONE 2\n"
         "INBOUND \"" +
         root +
         "cm/in\"\n"
         "OUTBOUND \"" +
         root +
         "cm/out\"\n"
         "TEMPDIR \"" +
         root +
         "cm/tmp\"\n"
         "CREATEPKTDIR \"" +
         root +
         "cm/tmp\"\n"
         "PACKETDIR \"" +
         root +
         "cm/out\"\n"
         "AKA 2:5020/1042.7\n"
         "DOMAIN \"FidoNet\"\n"
         "NODE 2:5030/1.0 \"\" \"\" AUTOADD\n"
         "DEFAULTGROUP A\n"
         "NETMAIL \"NETMAIL\" 2:5020/1042.7 JAM \"" +
         root +
         "cm/msg/NETMAIL\"\n"
         "AREA \"BAD\" 2:5020/1042.7 JAM \"" +
         root +
         "cm/msg/BAD\"\n"
         "AREA \"DEFAULT_A\" 2:5020/1042.7 JAM \"" +
         root + "cm/msg/%a\"\n";
}

void Setup(const std::string& root) {
  for (const char* d : {"cm/in", "cm/out", "cm/tmp", "cm/msg"}) platform::MakeDirs(root + d);
  platform::WriteFileAtomic(root + "cm/crashmail.prefs", CrashmailConfig(root));
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  platform::SetPrompter(&prompter);
  platform::SetDispatcher(&dispatcher);
  {
    platform::Registry registry(root + "Velmaris.reg");
    TConfigStore store(root + "start/", registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    store.SettingsModel().SetLines(SettingId::SysopNames, {"Point Seven"});
    TNetLink* uplink = store.Uplinks().GetItem(0);
    uplink->UplinkAddress.SetText("2:5030/1");
    uplink->SysopAddress.SetText("2:5020/1042.7");
    store.SaveConfiguration();
    platform::MakeDirs(store.Values()->InboundDir());
  }
  platform::SetDispatcher(nullptr);
  platform::SetPrompter(nullptr);
}

// state.range(0): messages per batch; state.range(1): 0 first toss, 1 steady.
void BM_TossAgainstCrashmail(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const bool steady = state.range(1) != 0;
  char tmpl[] = "/tmp/velmaris-bench-crashmail-XXXXXX";
  const std::string root = std::string(mkdtemp(tmpl)) + "/";
  const std::string ours = std::string("'") + VELMARIS_BATCH + "' --dir '" + root +
                           "start/' --registry '" + root + "Velmaris.reg' import";
  const std::string theirs = "crashmail SETTINGS '" + root + "cm/crashmail.prefs' TOSS";
  const std::vector<std::string> inbounds = {root + "start/Inbound/", root + "cm/in/"};
  Setup(root);
  int batch = 0;
  if (steady) {
    DropPackets(batch++, count, inbounds);
    RunMeasured(ours);
    RunMeasured(theirs);
  }
  RunResult a, b;
  for (auto _ : state) {
    DropPackets(batch++, count, inbounds);
    a = RunMeasured(ours);
    b = RunMeasured(theirs);
    state.SetIterationTime(a.seconds);
  }
  if (a.status != 0) state.SkipWithError("velmaris-batch import failed");
  if (b.status != 0) state.SkipWithError("crashmail TOSS failed");
  state.counters["ours_s"] = a.seconds;
  state.counters["crashmail_s"] = b.seconds;
  state.counters["ours_msg_per_s"] = count / a.seconds;
  state.counters["crashmail_msg_per_s"] = count / b.seconds;
  state.counters["speed_ratio"] = b.seconds / a.seconds;
  state.counters["ours_peak_MB"] = a.peakKiB / 1024.0;
  state.counters["crashmail_peak_MB"] = b.peakKiB / 1024.0;
  std::system(("rm -rf '" + root + "'").c_str());
}
BENCHMARK(BM_TossAgainstCrashmail)
    ->ArgNames({"messages", "steady"})
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// A large inbound of tiny echomails (state.range(0) megabytes of packets),
// tossed by velmaris-batch alone: its time and peak memory, which stays
// bounded by the queue budget instead of growing with the inbound.
void BM_TinyMessagesInbound(benchmark::State& state) {
  const uint64_t bytes = static_cast<uint64_t>(state.range(0)) << 20;
  char tmpl[] = "/tmp/velmaris-bench-tiny-XXXXXX";
  const std::string root = std::string(mkdtemp(tmpl)) + "/";
  Setup(root);
  const std::string inbound = root + "start/Inbound/";
  const auto head = TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "", 46000).Encode();
  uint64_t written = 0;
  int messages = 0;
  for (int p = 0; written < bytes; ++p) {
    std::string packet(reinterpret_cast<const char*>(head.data()), head.size());
    for (int i = 0; i < 10000; ++i, ++messages) {
      std::string m = Le16(2) + Le16(1) + Le16(1042) + Le16(5030) + Le16(5020) + Le16(0) + Le16(0);
      m += std::string("15 Jan 26  13:45:30", 19) + '\0';
      m += std::string("All") + '\0' + "Joe" + '\0' + std::to_string(messages) + '\0';
      m += "AREA:TINY." + std::to_string(messages % kAreas) + "\rHi\r";
      m += '\0';
      packet += m;
    }
    packet += std::string(2, '\0');
    written += packet.size();
    char name[32];
    std::snprintf(name, sizeof name, "%08x.pkt", static_cast<unsigned>(p));
    platform::WriteFileAtomic(inbound + name, packet);
  }
  const std::string ours = std::string("'") + VELMARIS_BATCH + "' --dir '" + root +
                           "start/' --registry '" + root + "Velmaris.reg' import";
  RunResult a;
  for (auto _ : state) {
    a = RunMeasured(ours);
    state.SetIterationTime(a.seconds);
  }
  if (a.status != 0) state.SkipWithError("velmaris-batch import failed");
  state.counters["inbound_MB"] = double(written) / (1 << 20);
  state.counters["messages"] = messages;
  state.counters["ours_msg_per_s"] = messages / a.seconds;
  state.counters["ours_peak_MB"] = a.peakKiB / 1024.0;
  std::system(("rm -rf '" + root + "'").c_str());
}
BENCHMARK(BM_TinyMessagesInbound)
    ->ArgName("MB")
    ->Arg(200)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
