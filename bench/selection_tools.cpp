// The selection tools on a large area: deleting 10,000 selected messages
// (every tenth) of an area of 100,000, as the delete tool does it with the
// message list holding the index (lock, purge, unlock), and the same
// followed by writing the index back (what the last release of the index
// does). Also copying 10,000 messages into another area.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchMail.h"
#include "app/logic/SelectionTools.h"
#include "core/Area.h"
#include "core/Mail.h"
#include "core/MessageBase.h"

namespace {

using namespace velmaris;

constexpr int kMessages = 100000;
constexpr int kSelected = 10000;

std::unique_ptr<TMail> MakeMessage(int n) {
  std::string text = "\x01MSGID: 2:5020/1 " + std::to_string(0x10000000 + n) + "\r";
  while (text.size() < 600) text += "some words of a message line\r";
  TMsgHeader h;
  h.AreaName = "BENCH";
  return bench::PackedMail("Sender " + std::to_string(n % 500), "All",
                           "Topic " + std::to_string(n % 5000), text, h);
}

struct Fixture {
  std::string dir;
  std::string indexCopy;
  Fixture() {
    char pattern[] = "/tmp/velmaris-bench-tools-XXXXXX";
    dir = std::string(mkdtemp(pattern)) + "/";
    TArea area(dir, "BENCH", "BENCH");
    area.Lock(true);
    for (int first = 0; first < kMessages; first += 10000) {
      std::vector<std::unique_ptr<TMail>> mails;
      for (int n = first; n < first + 10000; ++n) mails.push_back(MakeMessage(n));
      area.StoreMails(std::move(mails));
    }
    area.Unlock();
    indexCopy = dir + "BENCH.PackedIndex.copy";
    std::filesystem::copy_file(dir + "BENCH.PackedIndex", indexCopy);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
  void RestoreIndex() const {
    std::filesystem::copy_file(indexCopy, dir + "BENCH.PackedIndex",
                               std::filesystem::copy_options::overwrite_existing);
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

std::vector<int32_t> EveryTenth() {
  std::vector<int32_t> selection;
  for (int32_t i = 0; i < kMessages; i += kMessages / kSelected) selection.push_back(i);
  return selection;
}

void BM_Delete10kOf100k(benchmark::State& state) {
  const Fixture& f = Shared();
  const bool writeIndex = state.range(0) != 0;
  const std::vector<int32_t> selection = EveryTenth();
  TToolProgress quiet;
  for (auto _ : state) {
    state.PauseTiming();
    f.RestoreIndex();
    TArea area(f.dir, "BENCH", "BENCH");
    area.OpenIndex();  // the message list's use
    state.ResumeTiming();
    const TToolOutcome out = DeleteMessages(area, selection, quiet);
    if (writeIndex) area.CloseIndex();
    state.PauseTiming();
    if (!writeIndex) area.ReleaseIndex();
    if (out.Processed != kSelected || area.Count != kMessages - kSelected) {
      state.SkipWithError("wrong count");
      break;
    }
    state.ResumeTiming();
  }
  state.SetLabel(writeIndex ? "with the index written" : "in memory");
}
BENCHMARK(BM_Delete10kOf100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Copy10kOf100k(benchmark::State& state) {
  const Fixture& f = Shared();
  const std::vector<int32_t> selection = EveryTenth();
  TToolProgress quiet;
  for (auto _ : state) {
    state.PauseTiming();
    f.RestoreIndex();
    TArea source(f.dir, "BENCH", "BENCH");
    TArea target(f.dir, "TARGET", "TARGET");
    target.DeleteFiles();
    state.ResumeTiming();
    const TToolOutcome out = CopyMessages(source, target, selection, false, quiet);
    state.PauseTiming();
    if (out.Processed != kSelected) {
      state.SkipWithError("wrong count");
      break;
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Copy10kOf100k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
