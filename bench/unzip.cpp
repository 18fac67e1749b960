// Extraction of a 50 MB mixed archive (zip -6, made at start in a temporary
// directory) by our ZIP extractor and by unzip on the same file, in the same
// run.
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

#include "PeerTiming.h"
#include "archive/arxBase.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  std::string dir, zip;
  uint64_t bytes = 0;
};

Fixture& Get() {
  static Fixture f = [] {
    Fixture x;
    char tmpl[] = "/tmp/velmaris-bench-unzip-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    x.dir = tmpl;
    const std::string src = x.dir + "/src";
    fs::create_directories(src + "/sub");
    std::mt19937 rng(7);
    static const char* const words[] = {"echo",   "mail",   "point",  "node",    "zone",
                                        "packet", "tosser", "area",   "netmail", "FidoNet",
                                        "bundle", "uplink", "Origin:"};
    auto write = [&](const std::string& name, const std::string& data) {
      std::ofstream(src + "/" + name, std::ios::binary) << data;
      x.bytes += data.size();
    };
    // Text (mail-like), binary noise, a log with long repeats, and small files.
    for (int i = 0; i < 12; ++i) {
      std::string s;
      while (s.size() < 2500000) {
        s += words[rng() % 13];
        s += rng() % 7 ? ' ' : '\n';
      }
      write("text" + std::to_string(i) + ".txt", s);
    }
    for (int i = 0; i < 4; ++i) {
      std::string s(2500000, '\0');
      for (auto& c : s) c = char(rng());
      write("sub/noise" + std::to_string(i) + ".bin", s);
    }
    for (int i = 0; i < 4; ++i) {
      std::string s;
      while (s.size() < 2000000)
        s += "12/06/26 19:00:0" + std::to_string(rng() % 10) + " Tossing packet 0000FFFF.PKT\n";
      write("sub/log" + std::to_string(i) + ".log", s);
    }
    for (int i = 0; i < 200; ++i) {
      std::string s;
      for (int k = 0; k < 500; ++k) s += words[rng() % 13];
      write("sub/small" + std::to_string(i) + ".msg", s);
    }
    x.zip = x.dir + "/mixed.zip";
    if (std::system(("cd '" + src + "' && zip -q -r -6 '" + x.zip + "' .").c_str()) != 0)
      std::abort();
    return x;
  }();
  return f;
}

void ExtractOurs(const std::string& out) {
  auto z = velmaris::CreateExtractor(velmaris::DetectArchiveType(Get().zip));
  z->SetArchiveFile(Get().zip);
  z->SetExtractDir(out);
  z->SetFileSpec({"*.*"});
  z->ConfirmOverwrites = false;
  z->Extract();
}

void ExtractUnzip(const std::string& out) {
  if (std::system(("unzip -o -q '" + Get().zip + "' -d '" + out + "'").c_str()) != 0) std::abort();
}

void BM_TUnZIP(benchmark::State& state) {
  const std::string out = Get().dir + "/ours";
  for (auto _ : state) ExtractOurs(out);
  state.SetBytesProcessed(int64_t(state.iterations() * Get().bytes));
}

void BM_unzip(benchmark::State& state) {
  const std::string out = Get().dir + "/peer";
  for (auto _ : state) ExtractUnzip(out);
  state.SetBytesProcessed(int64_t(state.iterations() * Get().bytes));
}

BENCHMARK(BM_TUnZIP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_unzip)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("archive: %s, %.1f MB in, %.1f MB zipped\n", Get().zip.c_str(), Get().bytes / 1e6,
              double(fs::file_size(Get().zip)) / 1e6);
  benchmark::RunSpecifiedBenchmarks();
  velmaris::bench::Race("zip -6", {"TUnZIP", [] { ExtractOurs(Get().dir + "/ours"); }},
                        {{"unzip", [] { ExtractUnzip(Get().dir + "/peer"); }}}, 7);
  benchmark::Shutdown();
  fs::remove_all(Get().dir);
  return 0;
}
