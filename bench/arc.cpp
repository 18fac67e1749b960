// Extraction of a 50 MB archive made by arc (at start, in a temporary
// directory; arc picks crunching, squeezing, packing or storing per file) by
// our ARC extractor and by "arc x" on the same file.
#include "PeerTiming.h"
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/arxBase.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  std::string dir, arc;
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
    static const char* const words[] = {"echo", "mail", "point", "node", "zone", "packet", "tosser",
                                        "area", "netmail", "FidoNet", "bundle", "uplink", "Origin:"};
    std::string names;
    auto write = [&](const std::string& name, const std::string& data) {
      std::ofstream(src + "/" + name, std::ios::binary) << data;
      x.bytes += data.size();
      names += " " + name;
    };
    // Mail-like text and logs (crunched), skewed letters (squeezed), runs
    // (packed) and noise (stored).
    for (int i = 0; i < 12; ++i) {
      std::string s;
      while (s.size() < 2500000) {
        s += words[rng() % 13];
        s += rng() % 7 ? ' ' : '\n';
      }
      write("text" + std::to_string(i) + ".txt", s);
    }
    for (int i = 0; i < 4; ++i) {
      std::string s;
      while (s.size() < 2000000)
        s += "12/06/26 19:00:0" + std::to_string(rng() % 10) + " Tossing packet 0000FFFF.PKT\n";
      write("log" + std::to_string(i) + ".log", s);
    }
    for (int i = 0; i < 4; ++i) {
      static const char alphabet[] = "aaaaaaaabbbbccde";
      std::string s(2000000, ' ');
      for (auto& c : s) c = alphabet[rng() % 16];
      write("skew" + std::to_string(i) + ".txt", s);
    }
    for (int i = 0; i < 3; ++i) {
      std::string s(2500000, '\0');
      for (auto& c : s) c = char(rng());
      write("noise" + std::to_string(i) + ".bin", s);
    }
    x.arc = x.dir + "/mixed.arc";
    if (std::system(("cd '" + src + "' && arc a '" + x.arc + "'" + names + " >/dev/null").c_str()) != 0)
      std::abort();
    return x;
  }();
  return f;
}

void ExtractOurs(const std::string& out) {
  auto z = velmaris::CreateExtractor(velmaris::DetectArchiveType(Get().arc));
  if (!z) std::abort();
  z->SetArchiveFile(Get().arc);
  z->SetExtractDir(out);
  z->SetFileSpec({"*.*"});
  z->ConfirmOverwrites = false;
  z->Extract();
}

void ExtractArc(const std::string& out) {
  fs::create_directories(out);
  if (std::system(("cd '" + out + "' && arc xo '" + Get().arc + "' >/dev/null").c_str()) != 0) std::abort();
}

void BM_TUnARC(benchmark::State& state) {
  const std::string out = Get().dir + "/ours";
  for (auto _ : state) ExtractOurs(out);
  state.SetBytesProcessed(int64_t(state.iterations() * Get().bytes));
}

void BM_arc_x(benchmark::State& state) {
  const std::string out = Get().dir + "/peer";
  for (auto _ : state) ExtractArc(out);
  state.SetBytesProcessed(int64_t(state.iterations() * Get().bytes));
}

BENCHMARK(BM_TUnARC)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_arc_x)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("archive: %s, %.1f MB in, %.1f MB archived\n", Get().arc.c_str(), Get().bytes / 1e6,
              double(fs::file_size(Get().arc)) / 1e6);
  std::fflush(stdout);
  std::system(("arc v '" + Get().arc + "' | awk 'NR>2 && $3 ~ /[A-Za-z-]/ {n[$3]++} END {for (m in n) "
               "printf \"%s %d  \", m, n[m]; print \"\"}'")
                  .c_str());
  benchmark::RunSpecifiedBenchmarks();
  const double ours = velmaris::bench::MedianSeconds(ExtractOurs, Get().dir + "/ours", 5);
  const double peer = velmaris::bench::MedianSeconds(ExtractArc, Get().dir + "/peer", 5);
  std::printf("median of 5: TUnARC %.3f s, arc x %.3f s, ratio TUnARC/arc %.2f\n", ours, peer, ours / peer);
  benchmark::Shutdown();
  fs::remove_all(Get().dir);
  return 0;
}
