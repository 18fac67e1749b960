// Compiling a 200,000-entry nodelist and looking systems up in the result.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "nodelist/NodeListProcessor.h"
#include "nodelist/NodelistBrowse.h"

namespace {

using namespace velmaris;

constexpr int kEntries = 200000;

struct Fixture {
  std::string dir;
  std::vector<TFidoAddr> addresses;
  std::vector<std::string> names;

  Fixture() {
    std::string templ = (std::filesystem::temp_directory_path() / "velmaris-bench-XXXXXX").string();
    if (!mkdtemp(templ.data())) std::abort();
    dir = templ + "/";
    std::mt19937 rng(42);
    std::string text = ";A Generated nodelist for the benchmark : 0\r\n";
    int zone = 0, net = 0, node = 0;
    for (int i = 0; i < kEntries; ++i) {
      std::string keyword;
      int number;
      if (i % 50000 == 0) {
        keyword = "Zone";
        number = ++zone;
        net = 0;
        node = 0;
      } else if (i % 400 == 1) {
        keyword = "Host";
        number = net = 100 + (i / 400);
        node = 0;
      } else {
        keyword = (i % 97 == 0) ? "Pvt" : (i % 89 == 0) ? "Down" : (i % 61 == 0) ? "Hub" : "";
        number = node = node + 1 + static_cast<int>(rng() % 3);
      }
      const std::string name = "System_" + std::to_string(rng() % 150000);
      text += keyword + "," + std::to_string(number) + "," + name + ",City_" +
              std::to_string(rng() % 5000) + ",Sysop_" + std::to_string(rng() % 120000) + ",7-" +
              std::to_string(rng() % 900 + 100) + "-" + std::to_string(rng() % 9000000) +
              ",33600,CM,XA,V34\r\n";
      TFidoAddr a;
      a.Zone = static_cast<uint16_t>(zone);
      a.Net = static_cast<uint16_t>(keyword == "Zone" ? 0 : net);
      a.Node = static_cast<uint16_t>(keyword == "Zone" || keyword == "Host" ? 0 : node);
      addresses.push_back(a);
      names.push_back(name);
    }
    text += "\x1A";
    std::ofstream(dir + "NODELIST.123", std::ios::binary) << text;
  }
  ~Fixture() { std::filesystem::remove_all(dir); }

  TNodeListProcessor Processor() const {
    TNodeListProcessor p;
    p.ListDir = dir;
    p.IndexDir = dir;
    p.NodeLists.push_back({"FidoNet", "NODELIST", "NODEDIFF", 2});
    return p;
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void BM_Compile200k(benchmark::State& state) {
  auto& f = Shared();
  for (auto _ : state) {
    TNodeListProcessor p = f.Processor();
    p.Process();
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_Compile200k)->Unit(benchmark::kMillisecond)->Iterations(3);

void EnsureCompiled() {
  static bool done = [] {
    TNodeListProcessor p = Shared().Processor();
    p.Process();
    return true;
  }();
  (void)done;
}

void BM_LookupByAddress100k(benchmark::State& state) {
  EnsureCompiled();
  auto& f = Shared();
  TNodelistLookup lookup;
  lookup.SetPath(f.dir);
  std::mt19937 rng(7);
  std::vector<TFidoAddr> queries;
  for (int i = 0; i < 100000; ++i) queries.push_back(f.addresses[rng() % f.addresses.size()]);
  int64_t found = 0;
  for (auto _ : state)
    for (const auto& a : queries) found += lookup.FindAddress(a) >= 0;
  state.counters["found"] = static_cast<double>(found) / state.iterations();
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_LookupByAddress100k)->Unit(benchmark::kMillisecond);

void BM_LookupByAddressWithTexts100k(benchmark::State& state) {
  EnsureCompiled();
  auto& f = Shared();
  TNodelistLookup lookup;
  lookup.SetPath(f.dir);
  std::mt19937 rng(7);
  std::vector<TFidoAddr> queries;
  for (int i = 0; i < 100000; ++i) queries.push_back(f.addresses[rng() % f.addresses.size()]);
  size_t bytes = 0;
  for (auto _ : state)
    for (const auto& a : queries) {
      const int n = lookup.FindAddress(a);
      bytes +=
          lookup.GetSystemName(n).size() + lookup.GetSysop(n).size() + lookup.GetMisc(n).size();
    }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_LookupByAddressWithTexts100k)->Unit(benchmark::kMillisecond);

void BM_LookupByName100k(benchmark::State& state) {
  EnsureCompiled();
  auto& f = Shared();
  TNodelistLookup lookup;
  lookup.SetPath(f.dir);
  std::mt19937 rng(9);
  std::vector<std::string> queries;
  for (int i = 0; i < 100000; ++i) queries.push_back(f.names[rng() % f.names.size()]);
  int64_t found = 0;
  for (auto _ : state)
    for (const auto& name : queries) found += lookup.FindNameInOrder(name) >= 0;
  state.counters["found"] = static_cast<double>(found) / state.iterations();
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_LookupByName100k)->Unit(benchmark::kMillisecond);

// The nodelist browser as it opens: the search without a filter and the
// cells of the first screen (30 rows of 8 columns).
void BM_BrowserFirstScreen(benchmark::State& state) {
  EnsureCompiled();
  TNodelistLookup lookup;
  lookup.SetPath(Shared().dir);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::vector<int> records = FilterNodelist(lookup, {});
    for (int row = 0; row < 30; ++row)
      for (int col = 0; col < nlcColumnCount; ++col)
        bytes += NodelistCellText(lookup, records[static_cast<size_t>(row)], col).size();
  }
  benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_BrowserFirstScreen)->Unit(benchmark::kMillisecond);

// A name typed into the browser: every system name scanned for the part,
// then every record checked against the names found.
void BM_BrowserNameFilter(benchmark::State& state) {
  EnsureCompiled();
  TNodelistLookup lookup;
  lookup.SetPath(Shared().dir);
  TNodelistFilter filter;
  filter.Name = "system 12345";
  size_t found = 0;
  for (auto _ : state) found = FilterNodelist(lookup, filter).size();
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_BrowserNameFilter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
