// ARC extraction against the Debian tools: the same 50 MB of mail-like text
// and logs packed by arc when the program starts, once crunched ("arc a",
// method 8) and once squashed ("arc aq", method 9), then extracted from each
// archive by TUnARC, by "arc xo" and by nomarch in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "PeerTiming.h"
#include "archive/arxBase.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  std::string dir, crunched, squashed;
  uint64_t bytes = 0;
};

Fixture& Get() {
  static Fixture f = [] {
    Fixture x;
    char tmpl[] = "/tmp/velmaris-bench-arc-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    x.dir = tmpl;
    const std::string src = x.dir + "/src";
    fs::create_directories(src);
    std::mt19937 rng(7);
    static const char* const words[] = {"echo",   "mail",   "point",  "node",    "zone",
                                        "packet", "tosser", "area",   "netmail", "FidoNet",
                                        "bundle", "uplink", "Origin:"};
    std::string names;
    auto write = [&](const std::string& name, const std::string& data) {
      std::ofstream(src + "/" + name, std::ios::binary) << data;
      x.bytes += data.size();
      names += " " + name;
    };
    for (int i = 0; i < 16; ++i) {
      std::string s;
      while (s.size() < 2500000) {
        s += words[rng() % 13];
        s += rng() % 7 ? ' ' : '\n';
      }
      write("text" + std::to_string(i) + ".txt", s);
    }
    for (int i = 0; i < 5; ++i) {
      std::string s;
      while (s.size() < 2000000)
        s += "12/06/26 19:00:0" + std::to_string(rng() % 10) + " Tossing packet 0000FFFF.PKT\n";
      write("log" + std::to_string(i) + ".log", s);
    }
    x.crunched = x.dir + "/crunched.arc";
    x.squashed = x.dir + "/squashed.arc";
    for (const auto& [how, arc] : {std::pair{"a", x.crunched}, std::pair{"aq", x.squashed}}) {
      if (std::system(("cd '" + src + "' && arc " + how + " '" + arc + "'" + names + " >/dev/null")
                          .c_str()) != 0)
        std::abort();
    }
    fs::remove_all(src);
    return x;
  }();
  return f;
}

void ExtractOurs(const std::string& arc, const std::string& out) {
  auto z = velmaris::CreateExtractor(velmaris::DetectArchiveType(arc));
  if (!z) std::abort();
  z->SetArchiveFile(arc);
  z->SetExtractDir(out);
  z->SetFileSpec({"*.*"});
  z->ConfirmOverwrites = false;
  z->Extract();
}

void RunIn(const std::string& out, const std::string& command) {
  fs::create_directories(out);
  if (std::system(("cd '" + out + "' && " + command + " >/dev/null").c_str()) != 0) std::abort();
}

void ExtractArc(const std::string& arc, const std::string& out) {
  RunIn(out, "arc xo '" + arc + "'");
}
void ExtractNomarch(const std::string& arc, const std::string& out) {
  RunIn(out, "nomarch '" + arc + "'");
}

template <void (*Fn)(const std::string&, const std::string&)>
void Timed(benchmark::State& state, const std::string& arc, const char* out) {
  for (auto _ : state) Fn(arc, Get().dir + "/" + out);
  state.SetBytesProcessed(int64_t(state.iterations() * Get().bytes));
}

void BM_TUnARC_crunched(benchmark::State& s) { Timed<ExtractOurs>(s, Get().crunched, "ours"); }
void BM_arc_x_crunched(benchmark::State& s) { Timed<ExtractArc>(s, Get().crunched, "arc"); }
void BM_TUnARC_squashed(benchmark::State& s) { Timed<ExtractOurs>(s, Get().squashed, "ours"); }
void BM_arc_x_squashed(benchmark::State& s) { Timed<ExtractArc>(s, Get().squashed, "arc"); }

BENCHMARK(BM_TUnARC_crunched)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_arc_x_crunched)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_TUnARC_squashed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_arc_x_squashed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// nomarch, the slower tool here, is timed only in the race.
void RaceOn(const char* label, const std::string& arc) {
  const std::string d = Get().dir + "/";
  velmaris::bench::Race(label, {"TUnARC", [&] { ExtractOurs(arc, d + "ours"); }},
                        {{"arc", [&] { ExtractArc(arc, d + "arc"); }},
                         {"nomarch", [&] { ExtractNomarch(arc, d + "nomarch"); }}},
                        5);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("%.1f MB in; crunched %.1f MB, squashed %.1f MB\n", Get().bytes / 1e6,
              double(fs::file_size(Get().crunched)) / 1e6,
              double(fs::file_size(Get().squashed)) / 1e6);
  for (const auto& arc : {Get().crunched, Get().squashed}) {
    std::fflush(stdout);
    // The methods arc chose, with the number of entries of each.
    std::system(("arc v '" + arc +
                 "' | awk 'NR>2 && $3 ~ /[A-Za-z-]/ {n[$3]++} END {for (m in n) "
                 "printf \"%s %d  \", m, n[m]; print \"\"}'")
                    .c_str());
  }
  benchmark::RunSpecifiedBenchmarks();
  RaceOn("crunched", Get().crunched);
  RaceOn("squashed", Get().squashed);
  benchmark::Shutdown();
  fs::remove_all(Get().dir);
  return 0;
}
