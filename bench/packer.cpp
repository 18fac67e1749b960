// Packer recognition and the cost of running an integrated extraction
// through the unpacker (worker thread, dispatcher wait) instead of calling
// the extractor directly.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "archive/Packer.h"
#include "archive/Unpacker.h"
#include "archive/arxBase.h"
#include "platform/Dispatcher.h"

namespace {

using namespace velmaris;

std::string TempDirPath() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/velmaris-bench-packer-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp") + "/";
  }();
  return dir;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A small zip made by zip(1): one packet of a few kilobytes.
std::string SmallZip() {
  static std::string path = [] {
    const std::string dir = TempDirPath();
    std::string text;
    for (int i = 0; i < 200; ++i) text += "Line " + std::to_string(i) + " of a packet body\r";
    WriteFile(dir + "0000ABCD.PKT", text);
    const std::string cmd = "cd " + dir + " && zip -q -X bundle.MO0 0000ABCD.PKT";
    if (std::system(cmd.c_str()) != 0) return std::string();
    return dir + "bundle.MO0";
  }();
  return path;
}

void BM_FindPackerForFile_NoMatch(benchmark::State& state) {
  TPckList list;
  list.AddStandardPackers();
  const std::string path = TempDirPath() + "text.bin";
  WriteFile(path, std::string(64, 'x'));
  for (auto _ : state) benchmark::DoNotOptimize(list.FindPackerForFile(path));
}
BENCHMARK(BM_FindPackerForFile_NoMatch);

void BM_FindPackerForFile_Zip(benchmark::State& state) {
  TPckList list;
  list.AddStandardPackers();
  const std::string path = SmallZip();
  for (auto _ : state) benchmark::DoNotOptimize(list.FindPackerForFile(path));
}
BENCHMARK(BM_FindPackerForFile_Zip);

void BM_ExtractorDirect(benchmark::State& state) {
  const std::string zip = SmallZip();
  for (auto _ : state) {
    state.PauseTiming();
    std::system(("rm -rf " + TempDirPath() + "direct/").c_str());
    state.ResumeTiming();
    auto x = CreateExtractorByName("UnZIP");
    x->SetArchiveFile(zip);
    x->SetExtractDir(TempDirPath() + "direct/");
    x->SetFileSpec({"*.*"});
    x->ConfirmOverwrites = false;
    x->Extract();
  }
}
BENCHMARK(BM_ExtractorDirect)->Unit(benchmark::kMicrosecond);

void BM_PackerUnpackIntegrated(benchmark::State& state) {
  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  TPacker packer;
  packer.SetUnPack("Integrated UnZIP");
  const std::string zip = SmallZip();
  // Each run starts with an empty destination, so no question is asked.
  const std::string dest = TempDirPath() + "through/";
  for (auto _ : state) {
    state.PauseTiming();
    std::system(("rm -rf " + dest).c_str());
    state.ResumeTiming();
    benchmark::DoNotOptimize(packer.Unpack(zip, dest));
  }
  platform::SetDispatcher(nullptr);
}
BENCHMARK(BM_PackerUnpackIntegrated)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
