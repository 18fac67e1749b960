// Packet speed: parsing an inbound packet of 2000 echomail messages (about
// 2 KB each, with kludges, origin line and SEEN-BY) message by message, and
// writing an outbound packet of the same messages.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/NetLink.h"
#include "processing/MailPacket.h"
#include "processing/OutPacket.h"

namespace {

using namespace velmaris;

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

std::string Message(int i) {
  std::string m = Le16(2) + Le16(1042) + Le16(1) + Le16(5020) + Le16(5030) + Le16(0) + Le16(0);
  m += std::string("15 Jan 26  13:45:30", 19) + '\0';
  m += std::string("All") + '\0' + "Point Seven" + '\0' + "Subject " + std::to_string(i) + '\0';
  m += "AREA:R50.SYSOP\r\x01MSGID: 2:5020/1042.7 " + std::to_string(10000000 + i) +
       "\r\x01REPLY: 2:5020/1 1234abcd\r\x01"
       "CHRS: CP866 2\r";
  for (int line = 0; line < 30; ++line)
    m += "Some line of ordinary text in the message body here.\r";
  m += "--- x\r * Origin: Home (2:5020/1042.7)\rSEEN-BY: 5020/1 1042\r";
  m += '\0';
  return m;
}

std::string Packet(int messages) {
  const auto head = TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "", 46000).Encode();
  std::string p(reinterpret_cast<const char*>(head.data()), head.size());
  for (int i = 0; i < messages; ++i) p += Message(i);
  p += std::string(2, '\0');
  return p;
}

void BM_ReadPacket(benchmark::State& state) {
  const std::string bytes = Packet(2000);
  for (auto _ : state) {
    TMailPacket p = TMailPacket::FromBytes(bytes);
    int n = 0;
    while (p.NextMail()) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadPacket)->Unit(benchmark::kMillisecond);

void BM_WritePacket(benchmark::State& state) {
  char tmpl[] = "/tmp/velmaris-bench-XXXXXX";
  const std::string dir = std::string(mkdtemp(tmpl)) + "/";
  TNetLink link(dir);
  link.SysopAddress.SetText("2:5020/1042.7");
  link.UplinkAddress.SetText("2:5020/1042");
  std::vector<std::unique_ptr<TMail>> mails;
  size_t bytes = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string m = Message(i);
    bytes += m.size();
    mails.push_back(std::make_unique<TMail>(m, TMsgHeader{}));
  }
  TOutPacket out;
  out.Uplink = &link;
  out.PacketProcessorCommand = [] { return std::string(); };
  for (auto _ : state) {
    for (auto& m : mails) out.AddMail(m.get());
    const TPacketWriteResult r = out.WritePacket(false);
    state.PauseTiming();
    std::remove(r.PacketPath.c_str());
    std::remove(r.FlowFile.c_str());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  std::remove(dir.c_str());
}
BENCHMARK(BM_WritePacket)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
