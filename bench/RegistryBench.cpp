// Registry speed with a configuration the size of a large point setup:
// 1000 areas of 20 values each.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/Registry.h"

namespace {

using velmaris::platform::Registry;

const std::string kAreas = "software\\Brimvale\\Velmaris\\Areas";

void Fill(Registry& reg, int areas) {
  reg.WriteDWord(kAreas, "Count", static_cast<uint32_t>(areas));
  for (int a = 1; a <= areas; ++a) {
    const std::string key = kAreas + "\\Area" + std::to_string(a);
    for (int v = 0; v < 10; ++v)
      reg.WriteString(key, "Text" + std::to_string(v), "R50.SYSOP.LOCAL \"x\"");
    for (int v = 0; v < 8; ++v)
      reg.WriteDWord(key, "Num" + std::to_string(v), static_cast<uint32_t>(a * v));
    reg.WriteBinary(key, "Bin", std::vector<uint8_t>(40, 0x5a));
    reg.WriteString(key, "", "default");
  }
}

void BM_RegistryToText(benchmark::State& state) {
  Registry reg("/nonexistent/bench.reg");
  Fill(reg, 1000);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = reg.ToText();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_RegistryToText)->Unit(benchmark::kMillisecond);

void BM_RegistryFromText(benchmark::State& state) {
  Registry reg("/nonexistent/bench.reg");
  Fill(reg, 1000);
  const std::string text = reg.ToText();
  for (auto _ : state) reg.FromText(text);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RegistryFromText)->Unit(benchmark::kMillisecond);

// Reading every value of every area, as loading the configuration does.
void BM_RegistryReadAllAreas(benchmark::State& state) {
  Registry reg("/nonexistent/bench.reg");
  Fill(reg, 1000);
  for (auto _ : state) {
    for (int a = 1; a <= 1000; ++a) {
      const std::string key = kAreas + "\\Area" + std::to_string(a);
      for (int v = 0; v < 10; ++v)
        benchmark::DoNotOptimize(reg.ReadString(key, "Text" + std::to_string(v)));
      for (int v = 0; v < 8; ++v)
        benchmark::DoNotOptimize(reg.ReadDWord(key, "Num" + std::to_string(v)));
    }
  }
}
BENCHMARK(BM_RegistryReadAllAreas)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
