// Stored-message operations on a message of typical size: date parsing, the
// *.MSG image, the printable text, macro expansion and the mask test (what a
// search over many messages costs per message).
#include <benchmark/benchmark.h>

#include <string>

#include "core/Mail.h"
#include "core/SearchRequest.h"

namespace {

using namespace velmaris;

TMail MakeMail(size_t textSize) {
  std::string body(14, '\0');
  body[0] = 2;
  std::string date = "05 Jan 98  12:00:00";
  date.resize(20, '\0');
  body += date;
  body += std::string("All\0Ivan Petrov\0Re: meeting on Friday\0", 38);
  const size_t textOffset = body.size();
  std::string text = "AREA:RU.TEST\r\1MSGID: 2:5020/1.7 1234abcd\r";
  unsigned x = 12345;
  while (text.size() < textSize) {
    x = x * 1103515245u + 12345u;
    const unsigned r = x >> 27;
    text += r < 2 ? '\r' : r < 8 ? ' ' : static_cast<char>('a' + (x >> 16) % 26);
    if (r == 0) text += "IP> ";
  }
  body += text + "\r--- KQ\r * Origin: Home (2:5020/1.7)\rSEEN-BY: 5020/1\r";
  body += '\0';
  TMsgHeader h;
  h.FromName = "Ivan Petrov";
  h.ToName = "All";
  h.Subject = "Re: meeting on Friday";
  h.AreaName = "RU.TEST";
  h.OrigAddr = {2, 5020, 1, 7};
  h.TextOffset = static_cast<uint16_t>(textOffset);
  h.Created = 884001600;
  return TMail(body, h);
}

void BM_ParsePacketDate(benchmark::State& state) {
  const std::string field("05 Jan 98  12:00:00", 20);
  for (auto _ : state) benchmark::DoNotOptimize(ParsePacketDate(field));
}
BENCHMARK(BM_ParsePacketDate);

void BM_BuildMsgImage(benchmark::State& state) {
  const TMail mail = MakeMail(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mail.BuildMsgImage());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mail.Body.size()));
}
BENCHMARK(BM_BuildMsgImage)->Arg(2000)->Arg(32000);

void BM_PrintableText(benchmark::State& state) {
  const TMail mail = MakeMail(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mail.PrintableText(false, true, false));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mail.Body.size()));
}
BENCHMARK(BM_PrintableText)->Arg(2000)->Arg(32000);

void BM_ExpandMacros(benchmark::State& state) {
  const TMail mail = MakeMail(100);
  const std::string tmpl =
      "Hello %df!\r\rOn %senddate at %sendtime %origname (%oa) wrote to "
      "%dn in %area about \"%subject\":\r";
  for (auto _ : state) benchmark::DoNotOptimize(mail.ExpandMacros(tmpl));
}
BENCHMARK(BM_ExpandMacros);

void BM_MatchesRequestText(benchmark::State& state) {
  const TMail mail = MakeMail(static_cast<size_t>(state.range(0)));
  TSearchRequest r;
  r.ApplyText = true;
  r.Text.SetText("no such words here");  // case-insensitive: scans the whole text
  for (auto _ : state) benchmark::DoNotOptimize(mail.MatchesRequest(r));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(mail.Body.size()));
}
BENCHMARK(BM_MatchesRequestText)->Arg(2000)->Arg(32000);

}  // namespace

BENCHMARK_MAIN();
