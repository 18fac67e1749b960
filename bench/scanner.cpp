// Scanner and optimisation throughput: one export of 10,000 waiting
// echomail messages into the uplink's packet (unpacked, listed in the flow
// file), and the optimisation of an area of 100,000 messages of which a
// third were deleted and purged. The areas are built once per benchmark
// run, outside the timing, and copied back before each iteration.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "core/Area.h"
#include "core/Mail.h"
#include "core/MessageBase.h"
#include "core/NetLink.h"
#include "processing/AreaExport.h"

namespace {

using namespace velmaris;
namespace fs = std::filesystem;

constexpr TFidoAddr kOwn{2, 5020, 1, 7};
constexpr TFidoAddr kBoss{2, 5020, 1, 0};

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}

std::unique_ptr<TMail> MakeMail(int n, std::mt19937& rng, uint16_t flags) {
  static const char* const words[] = {"the",   "point",  "node",  "uplink", "echo",
                                      "area",  "mail",   "modem", "please", "thanks",
                                      "hello", "packet", "zone"};
  std::string text = "\x01MSGID: 2:5020/1.7 " + std::to_string(10000000 + n) + "\r";
  const int length = 300 + static_cast<int>(rng() % 1500);
  while (static_cast<int>(text.size()) < length) {
    text += words[rng() % 13];
    text += (rng() % 12 == 0) ? '\r' : ' ';
  }
  text += "\r--- Velmaris 95\r * Origin: Bench (2:5020/1.7)\r";
  std::string body;
  Put16(body, 2);
  for (int i = 0; i < 6; ++i) Put16(body, 0);
  std::string date = "06 Dec 26  19:45:00";
  date.resize(20, '\0');
  body += date;
  const std::string subject = "Subject " + std::to_string(n);
  body += std::string("All") + '\0' + "Point User" + '\0' + subject + '\0';
  const uint16_t textOffset = static_cast<uint16_t>(body.size());
  body += "AREA:BENCH.ECHO\r" + text + '\0';
  TMsgHeader h;
  h.OrigAddr = kOwn;
  h.FromName = "Point User";
  h.ToName = "All";
  h.Subject = subject;
  h.TextOffset = textOffset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = flags;
  return mail;
}

std::string BuildArea(const std::string& dir, int count, uint16_t flags) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  TArea area(dir + "/", "BENCH", "BENCH");
  std::mt19937 rng(42);
  for (int i = 0; i < count; i += 1000) {
    for (int k = i; k < std::min(count, i + 1000); ++k) area.QueueMail(MakeMail(k, rng, flags));
    area.WriteQueuedMail();
  }
  return dir;
}

void Restore(const std::string& from, const std::string& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

void BM_ExportTenThousandEchomails(benchmark::State& state) {
  const std::string base = fs::temp_directory_path().string() + "/velmaris-bench-scan";
  const std::string master = BuildArea(base + "/master", 10000, MsgFlag::Send);
  const std::string work = base + "/work";
  int exported = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Restore(master, work);
    fs::remove_all(base + "/out");
    TNetLink link(base + "/out/");
    link.UplinkAddress.SetAddress(kBoss);
    link.SysopAddress.SetAddress(kOwn);
    TArea area(work + "/", "BENCH", "BENCH");
    area.Uplink = &link;
    TAreaExportOptions options;
    options.OwnAddresses = {kOwn};
    options.PacketProcessorCommand = [] { return std::string(); };
    state.ResumeTiming();
    exported = ExportToUplink(area, options);
  }
  state.counters["messages"] = exported;
  state.counters["msgs/s"] = benchmark::Counter(exported * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
  fs::remove_all(base);
}
BENCHMARK(BM_ExportTenThousandEchomails)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OptimiseHundredThousandThirdDeleted(benchmark::State& state) {
  const std::string base = fs::temp_directory_path().string() + "/velmaris-bench-opt";
  const std::string master = BuildArea(base + "/master", 100000, 0);
  {
    TArea area(master + "/", "BENCH", "BENCH");
    area.OpenIndex();
    for (int i = 0; i < area.Count; i += 3) area.MarkDeleted(i);
    area.PurgeDeleted();
    area.CloseIndex();
  }
  const std::string work = base + "/work";
  uintmax_t before = 0, after = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Restore(master, work);
    TArea area(work + "/", "BENCH", "BENCH");
    before = fs::file_size(work + "/BENCH.PackedBody");
    area.Lock(true);
    state.ResumeTiming();
    if (!area.Optimize()) state.SkipWithError("optimisation failed");
    state.PauseTiming();
    area.Unlock();
    after = fs::file_size(work + "/BENCH.PackedBody");
    state.ResumeTiming();
  }
  state.counters["bodyMB_before"] = static_cast<double>(before) / 1e6;
  state.counters["bodyMB_after"] = static_cast<double>(after) / 1e6;
  fs::remove_all(base);
}
BENCHMARK(BM_OptimiseHundredThousandThirdDeleted)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
