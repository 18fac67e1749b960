// ARJ and LHA extraction speed against the reference tools on the same
// archives in the same run: a 50 MB file packed by `arj a -m1` and by jlha
// (-lh5-) when the program starts, then extracted by TUnARJ / `arj x` and by
// TUnLHA / `lhasa x`, in the same run. The ratio of the times is what counts.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "PeerTiming.h"
#include "archive/arxUnARJ.h"
#include "archive/arxUnLHA.h"

namespace {

constexpr size_t kSize = 50u << 20;

std::string g_dir;  // ends in "/"

int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

// Mail-like text with binary stretches: compresses to about a third.
std::string Sample() {
  static const char* words[] = {"echo",   "mail",   "point",    "boss", "node", "zone",
                                "packet", "tosser", "areafix",  "the",  "of",   "Fido",
                                "net",    "bundle", "SEEN-BY:", "PATH:"};
  std::string s;
  s.reserve(kSize);
  uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  while (s.size() < kSize) {
    const uint64_t r = next();
    if (r % 50 == 0) {
      for (int i = 0; i < 64; ++i) s += static_cast<char>(next() >> 40);
    } else {
      s += words[r % 16];
      s += (r >> 8) % 11 == 0 ? "\r\n" : " ";
      if ((r >> 16) % 7 == 0) s += std::to_string((r >> 20) % 65536);
    }
  }
  s.resize(kSize);
  return s;
}

bool Prepare() {
  char tmpl[] = "/tmp/velmaris-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  g_dir = std::string(tmpl) + "/";
  {
    std::ofstream f(g_dir + "big.dat", std::ios::binary);
    const std::string s = Sample();
    f.write(s.data(), static_cast<std::streamsize>(s.size()));
  }
  const std::string q = "'" + g_dir + "'";
  if (Shell("cd " + q + " && arj a -m1 -y big.arj big.dat >/dev/null 2>&1") != 0) return false;
  if (Shell("cd " + q + " && jlha -c2o5 big.lzh big.dat >/dev/null 2>&1") != 0) return false;
  std::filesystem::remove(g_dir + "big.dat");
  return true;
}

void ExtractOurs(velmaris::TUnBase& x, const std::string& arc) {
  const std::string out = g_dir + "ours/";
  std::filesystem::remove_all(out);
  x.SetArchiveFile(g_dir + arc);
  x.SetExtractDir(out);
  x.SetFileSpec({"*.*"});
  x.ConfirmOverwrites = false;
  x.Extract();
}

bool RunTool(const std::string& command) {
  const std::string out = g_dir + "tool/";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  return Shell("cd '" + out + "' && " + command + " >/dev/null 2>&1") == 0;
}

void Ours(benchmark::State& state, velmaris::TUnBase& x, const std::string& arc) {
  for (auto _ : state) ExtractOurs(x, arc);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void Tool(benchmark::State& state, const std::string& command) {
  for (auto _ : state)
    if (!RunTool(command)) state.SkipWithError("tool failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

std::string ArjX() { return "arj x -y '" + g_dir + "big.arj'"; }
std::string LhasaX() { return "lhasa xfq '" + g_dir + "big.lzh'"; }

void BM_UnARJ_m1(benchmark::State& state) {
  velmaris::TUnARJ x;
  Ours(state, x, "big.arj");
}
void BM_ArjX_m1(benchmark::State& state) { Tool(state, ArjX()); }
void BM_UnLHA_lh5(benchmark::State& state) {
  velmaris::TUnLHA x;
  Ours(state, x, "big.lzh");
}
void BM_LhasaX_lh5(benchmark::State& state) { Tool(state, LhasaX()); }

BENCHMARK(BM_UnARJ_m1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ArjX_m1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_UnLHA_lh5)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_LhasaX_lh5)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!Prepare()) {
    std::fprintf(stderr, "bench_arj_lha: cannot make the archives (arj and jlha needed)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  velmaris::TUnARJ arj;
  velmaris::TUnLHA lha;
  velmaris::bench::Race("arj -m1", {"TUnARJ", [&] { ExtractOurs(arj, "big.arj"); }},
                        {{"arj", [] { RunTool(ArjX()); }}}, 5);
  velmaris::bench::Race("lh5", {"TUnLHA", [&] { ExtractOurs(lha, "big.lzh"); }},
                        {{"lhasa", [] { RunTool(LhasaX()); }}}, 5);
  benchmark::Shutdown();
  std::filesystem::remove_all(g_dir);
  return 0;
}
