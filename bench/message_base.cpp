// Message base throughput: appending 100,000 messages of a realistic size
// mix to one area (as tosser runs of 1,000 messages each), opening that
// area's index, and reading every body back. Peak memory is the process's
// maximum resident set (getrusage), in kilobytes.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "BenchMail.h"
#include "core/Area.h"
#include "core/Mail.h"
#include "core/MessageBase.h"

namespace {

using namespace velmaris;

constexpr int kMessages = 100000;
constexpr int kBatch = 1000;

const char* const kWords[] = {
    "the",     "message", "point",     "node",     "uplink", "echo",    "area",   "mail",
    "modem",   "file",    "request",   "system",   "sysop",  "please",  "thanks", "hello",
    "all",     "today",   "yesterday", "question", "answer", "problem", "work",   "works",
    "does",    "not",     "with",      "from",     "this",   "that",    "packet", "tosser",
    "version", "release", "config",    "nodelist", "zone",   "net",     "and",    "or",
    "but",     "when",    "where",     "why",      "how",    "is",      "are",    "was",
    "were",    "will",    "Fido",      "FidoNet",  "BBS",    "ZModem",  "Hydra",  "EMSI",
    "AreaFix", "Linux",   "Windows"};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Most messages 1-4 KB of text, one in twenty 40 KB.
size_t TextSize(std::mt19937& rng) {
  if (rng() % 20 == 0) return 40 * 1024;
  return 1024 + rng() % (3 * 1024);
}

std::unique_ptr<TMail> MakeMessage(int n, std::mt19937& rng) {
  const std::string from = "Sender " + std::to_string(rng() % 500);
  const std::string to = rng() % 4 == 0 ? "Sysop" : "All";
  const std::string subject = "Re: topic " + std::to_string(rng() % 5000);
  std::string text = "\x01MSGID: 2:5020/" + std::to_string(rng() % 9000) + " " +
                     std::to_string(0x10000000 + n) +
                     "\r\x01"
                     "PID: KQ/95\r";
  const size_t size = TextSize(rng);
  size_t line = 0;
  while (text.size() < size) {
    const char* w = kWords[rng() % kWordCount];
    text += w;
    line += std::char_traits<char>::length(w) + 1;
    if (line > 64) {
      text += '\r';
      line = 0;
    } else {
      text += ' ';
    }
  }
  text += "\r--- KQ/95\r * Origin: A point somewhere (2:5020/1.7)\rSEEN-BY: 5020/1 2 3\r";
  TMsgHeader h;
  h.OrigAddr = {2, 5020, 1, static_cast<uint16_t>(rng() % 100)};
  h.DestAddr = {2, 5020, 1, 0};
  h.AreaName = "BENCH.ECHO";
  h.MsgIdNumber = 0x10000000u + static_cast<uint32_t>(n);
  auto mail = bench::PackedMail(from, to, subject, text, h);
  mail->Header.Flags = MsgFlag::Unread;
  return mail;
}

// The area the benchmarks share, in a temporary directory removed at exit.
struct BenchArea {
  std::string dir;
  BenchArea() {
    std::string base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    char tmpl[4096];
    std::snprintf(tmpl, sizeof tmpl, "%s/msgbase-bench-XXXXXX", base.c_str());
    dir = mkdtemp(tmpl);
    dir += "/";
  }
  ~BenchArea() { std::filesystem::remove_all(dir); }
};
BenchArea& Shared() {
  static BenchArea area;
  return area;
}

void BM_AppendMessages(benchmark::State& state) {
  uint64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(Shared().dir + "BENCH.PackedIndex");
    std::filesystem::remove(Shared().dir + "BENCH.PackedBody");
    TArea area(Shared().dir, "BENCH.ECHO", "BENCH");
    std::mt19937 rng(1995);
    state.ResumeTiming();
    for (int first = 0; first < kMessages; first += kBatch) {
      state.PauseTiming();
      for (int n = first; n < first + kBatch; ++n) {
        auto mail = MakeMessage(n, rng);
        bytes += mail->Body.size();
        area.QueueMail(std::move(mail), false);
      }
      state.ResumeTiming();
      if (!area.WriteQueuedMail()) state.SkipWithError("append failed");
    }
  }
  state.counters["messages_per_s"] = benchmark::Counter(
      static_cast<double>(kMessages) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["body_MB_per_s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["body_file_MB"] =
      std::filesystem::file_size(Shared().dir + "BENCH.PackedBody") / 1e6;
  state.counters["index_file_MB"] =
      std::filesystem::file_size(Shared().dir + "BENCH.PackedIndex") / 1e6;
  state.counters["peak_rss_kb"] = static_cast<double>(PeakRssKb());
}
BENCHMARK(BM_AppendMessages)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenIndex(benchmark::State& state) {
  for (auto _ : state) {
    TArea area(Shared().dir, "BENCH.ECHO", "BENCH");
    if (!area.OpenIndex() || area.Count != kMessages) state.SkipWithError("index");
    benchmark::DoNotOptimize(area.UnreadCount);
    state.PauseTiming();
    area.ReleaseIndex();  // leave without rewriting the index
    state.ResumeTiming();
  }
  state.counters["messages_per_s"] = benchmark::Counter(
      static_cast<double>(kMessages) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["peak_rss_kb"] = static_cast<double>(PeakRssKb());
}
BENCHMARK(BM_OpenIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEveryBody(benchmark::State& state) {
  uint64_t bytes = 0;
  for (auto _ : state) {
    TArea area(Shared().dir, "BENCH.ECHO", "BENCH");
    if (!area.OpenIndex() || !area.OpenBody()) state.SkipWithError("open");
    for (int i = 0; i < area.Count; ++i) {
      auto mail = area.ReadMail(i);
      if (mail->Header.BodyOffset == TMsgHeader::NotStored) state.SkipWithError("bad body");
      bytes += mail->Body.size();
    }
    area.CloseBody();
    area.ReleaseIndex();
  }
  state.counters["messages_per_s"] = benchmark::Counter(
      static_cast<double>(kMessages) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["body_MB_per_s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["peak_rss_kb"] = static_cast<double>(PeakRssKb());
}
BENCHMARK(BM_ReadEveryBody)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
