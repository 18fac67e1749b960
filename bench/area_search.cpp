// The search over many areas: 1,000,000 messages in 200 areas (about 1 GB of
// message text), searched for a word in the text (one message in 2,000 holds
// it) and for a sender, with the threads the machine has and with one. The
// text rate is the message text tested per second (the bodies decompressed
// and scanned); a sender search never reads a body.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchMail.h"
#include "app/logic/AreaSearch.h"
#include "core/Area.h"
#include "core/Mail.h"

namespace {

using namespace velmaris;

constexpr int kAreas = 200;
constexpr int kPerArea = 5000;

const char* const kWords[] = {
    "the",   "message", "point",   "node",     "uplink",  "echo",   "area",    "mail",
    "modem", "file",    "request", "system",   "sysop",   "please", "thanks",  "hello",
    "all",   "today",   "work",    "question", "answer",  "does",   "not",     "with",
    "from",  "this",    "that",    "packet",   "tosser",  "config", "nodelist", "zone",
    "net",   "and",     "when",    "where",    "FidoNet", "BBS",    "ZModem",  "AreaFix"};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

struct Rng {
  uint32_t x;
  uint32_t operator()() { return x = x * 1103515245u + 12345u, x >> 8; }
};

// About 1,000 bytes of text in lines of words; every 2,000th message holds
// "Velmaris".
std::unique_ptr<TMail> MakeMessage(int n, Rng& rng) {
  const std::string from = "Sender " + std::to_string(rng() % 500);
  const std::string to = rng() % 4 == 0 ? "Sysop" : "All";
  const std::string subject = "Re: topic " + std::to_string(rng() % 5000);
  std::string text = "\x01MSGID: 2:5020/1.7 " + std::to_string(0x10000000 + n) + "\r";
  const size_t size = 400 + rng() % 1200;
  size_t line = 0;
  while (text.size() < size) {
    const char* w = n % 2000 == 1000 && text.size() > size / 2 && line == 0
                        ? "Velmaris"
                        : kWords[rng() % kWordCount];
    text += w;
    line += std::char_traits<char>::length(w) + 1;
    text += line > 64 ? '\r' : ' ';
    if (line > 64) line = 0;
  }
  text += "\r--- KQ/95\r * Origin: A point somewhere (2:5020/1.7)\r";
  return bench::PackedMail(from, to, subject, text);
}

// The areas the benchmarks share, written once (by several threads) into a
// temporary directory removed at exit.
struct BenchAreas {
  std::string dir;
  TAreaList areas;
  uint64_t textBytes = 0;
  BenchAreas() {
    const std::string base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    char tmpl[4096];
    std::snprintf(tmpl, sizeof tmpl, "%s/search-bench-XXXXXX", base.c_str());
    dir = std::string(mkdtemp(tmpl)) + "/";
    for (int a = 0; a < kAreas; ++a) {
      const std::string name = "BENCH.AREA" + std::to_string(a);
      areas.Adopt(std::make_unique<TArea>(dir, name, name));
    }
    std::vector<std::thread> writers;
    std::vector<uint64_t> bytes(kAreas);
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < threads; ++t)
      writers.emplace_back([this, t, threads, &bytes] {
        for (int a = static_cast<int>(t); a < kAreas; a += static_cast<int>(threads)) {
          TArea& area = *areas.GetItem(a);
          area.SyncWrites = false;
          Rng rng{static_cast<uint32_t>(a + 1)};
          for (int n = 0; n < kPerArea; ++n) {
            auto mail = MakeMessage(a * kPerArea + n, rng);
            bytes[a] += mail->BodyText().size();
            area.QueueMail(std::move(mail), false);
          }
          area.WriteQueuedMail();
        }
      });
    for (auto& w : writers) w.join();
    for (uint64_t b : bytes) textBytes += b;
  }
  ~BenchAreas() {
    areas.FreeAll();
    std::filesystem::remove_all(dir);
  }
};
BenchAreas& Shared() {
  static BenchAreas areas;
  return areas;
}

class NullView : public TSearchView {
 public:
  size_t hits = 0;
  void AreaLabel(const std::string&) override {}
  void MailLabel(const std::string&) override {}
  void AreaProgress(int, int) override {}
  void MailProgress(int, int) override {}
  void AddHit(const TSearchHit&) override { ++hits; }
  void ProcessMessages() override {}
};

void RunSearch(benchmark::State& state, const TSearchRequest& request, size_t expectedHits) {
  BenchAreas& shared = Shared();
  std::vector<int> rows(kAreas);
  for (int i = 0; i < kAreas; ++i) rows[i] = i;
  uint64_t tested = 0;
  for (auto _ : state) {
    NullView view;
    TAreaSearch search(request, view);
    if (state.range(0) > 0) search.Threads = static_cast<unsigned>(state.range(0));
    search.Run(shared.areas, rows);
    if (view.hits != expectedHits) state.SkipWithError("unexpected number of hits");
    tested += search.TextBytes();
  }
  state.counters["threads"] = state.range(0) > 0 ? state.range(0) : std::thread::hardware_concurrency();
  state.counters["messages_per_s"] = benchmark::Counter(
      static_cast<double>(kAreas) * kPerArea * state.iterations(), benchmark::Counter::kIsRate);
  // The whole text of every message, searched or skipped, per second.
  state.counters["text_GB_per_s"] = benchmark::Counter(
      shared.textBytes / 1e9 * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["text_GB"] = shared.textBytes / 1e9;
  state.counters["text_tested_GB"] = tested / 1e9 / state.iterations();
}

void BM_SearchWordInText(benchmark::State& state) {
  TSearchRequest request;
  request.ApplyText = true;
  request.Text.SetText("velmaris");
  RunSearch(state, request, kAreas * kPerArea / 2000);
}
BENCHMARK(BM_SearchWordInText)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchSender(benchmark::State& state) {
  TSearchRequest request;
  request.ApplyOrigin = true;
  request.Origin.SetText("sender 42");
  request.Origin.SubstringMatch = false;
  Shared();
  // Counted once from the stored headers.
  static const size_t expected = [] {
    size_t n = 0;
    for (int a = 0; a < kAreas; ++a) {
      TArea& area = *Shared().areas.GetItem(a);
      area.OpenIndex();
      for (const TMsgHeader& h : area.HeaderList()) n += h.FromName.View() == "Sender 42";
      area.ReleaseIndex();
    }
    return n;
  }();
  RunSearch(state, request, expected);
}
BENCHMARK(BM_SearchSender)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
