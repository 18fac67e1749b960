// Message composition speed: building the stored message of a typical echomail
// message (40 lines of Cyrillic text, kludges, tear, origin and SEEN-BY lines)
// and of a long one (1000 lines), as the editor, filters and autosend do.
#include <benchmark/benchmark.h>

#include <string>

#include "core/Area.h"
#include "core/KQMail.h"

namespace {

using namespace velmaris;

void BM_KQMailBuild(benchmark::State& state) {
  TArea area("/nonexistent/", "RU.TEST", "RU.TEST", AreaTypeCode::Echomail);
  TKQMail mail;
  mail.Area = &area;
  mail.OrigAddr.SetText("2:5020/1.7");
  mail.FromName = "Ivan Petrov";
  mail.ToName = "All";
  mail.Subject = "Benchmark";
  mail.Origin = "Home";
  const std::string line =
      "\xcf\xf0\xe8\xe2\xe5\xf2, \xe2\xf1\xe5\xec! The quick brown fox %newdestname";
  mail.Text.assign(static_cast<size_t>(state.range(0)), line);
  size_t bytes = 0;
  for (auto _ : state) {
    auto built = mail.BuildExpandedMail();
    bytes = built->Body.size();
    benchmark::DoNotOptimize(built->Body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_KQMailBuild)->Arg(40)->Arg(1000);

}  // namespace
BENCHMARK_MAIN();
