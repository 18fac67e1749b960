// Throughput of the message-base checksum and block compressor on text that
// looks like FidoNet mail, in the 32 KB blocks the message base uses, with
// zlib's crc32 and LZ4 on the same data as reference points.

#include "core/Crc.h"
#include "core/Lzrw1KH.h"

#include <benchmark/benchmark.h>

#if __has_include(<zlib.h>)
#include <zlib.h>
#define HAVE_ZLIB 1
#endif
#if __has_include(<lz4.h>)
#include <lz4.h>
#define HAVE_LZ4 1
#endif

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlockSize = 32768;
constexpr std::size_t kCorpusSize = 4 * 1024 * 1024;

// Deterministic mail: kludges, greetings, quotes with initials, body text from
// a word list, signatures, tear and origin lines, SEEN-BY and PATH.
std::string MakeCorpus() {
  static const char* const kNames[] = {
      "Sergey Ivanov",  "Andrew Kolesnikov", "Helga Brandt", "Mike Bowman",
      "Tatyana Orlova", "Piet de Vries",     "All",          "Sysop"};
  static const char* const kWords[] = {
      "the",     "nodelist", "point",   "echomail", "netmail", "uplink",  "bundle",  "packet",
      "modem",   "session",  "areafix", "and",      "to",      "of",      "is",      "it",
      "you",     "that",     "this",    "was",      "for",     "with",    "on",      "not",
      "have",    "but",      "my",      "what",     "tosser",  "scanner", "please",  "because",
      "message", "reply",    "weekly",  "nodediff", "arrived", "compile", "config",  "zmodem",
      "hydra",   "boss",     "node",    "system",   "line",    "call",    "tonight", "again",
      "think",   "should",   "would",   "could",    "really",  "today",   "friday",  "problem"};
  std::mt19937 engine(1995);
  auto rng = [&]() { return static_cast<unsigned>(engine()); };
  auto pick = [&](auto& arr) { return arr[rng() % std::size(arr)]; };
  auto sentence = [&]() {
    std::string s;
    const int n = 4 + rng() % 12;
    for (int i = 0; i < n; ++i) {
      std::string w = pick(kWords);
      if (i == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
      s += w;
      s += (i + 1 == n) ? (rng() % 5 == 0 ? "?" : ".") : (rng() % 9 == 0 ? ", " : " ");
    }
    return s;
  };

  std::string out;
  unsigned serial = 0x3A5F0000;
  while (out.size() < kCorpusSize) {
    const std::string from = pick(kNames);
    const std::string to = pick(kNames);
    const unsigned net = 5020 + rng() % 40, node = rng() % 2000;
    char buf[160];
    std::snprintf(buf, sizeof buf, "\x01MSGID: 2:%u/%u %08x\r", net, node, serial++);
    out += buf;
    if (rng() % 2) {
      std::snprintf(buf, sizeof buf, "\x01REPLY: 2:%u/%u %08x\r", net, rng() % 2000,
                    serial - 1 - rng() % 500);
      out += buf;
    }
    out += "\x01PID: KQ/95 Rel 1.78E (215.0)\x01TZUTC: 0300\r";
    out += "Hello " + to.substr(0, to.find(' ')) + "!\r\r";
    const std::string initials = {
        from[0], from.find(' ') != std::string::npos ? from[from.find(' ') + 1] : from[1]};
    const int paragraphs = 1 + rng() % 4;
    for (int p = 0; p < paragraphs; ++p) {
      if (rng() % 2) {
        out += "On " + std::to_string(1 + rng() % 28) + " Nov 95, " + from + " wrote to " + to +
               ":\r\r";
        for (int q = 1 + rng() % 4; q > 0; --q) out += " " + initials + "> " + sentence() + "\r";
        out += "\r";
      }
      for (int l = 1 + rng() % 6; l > 0; --l) out += sentence() + " " + sentence() + "\r";
      out += "\r";
    }
    out += "Best regards, " + from.substr(0, from.find(' ')) + "\r\r";
    out += "--- Velmaris 95\r";
    std::snprintf(buf, sizeof buf, " * Origin: Point station %u (2:%u/%u.%u)\r", rng() % 100, net,
                  node, 1 + rng() % 30);
    out += buf;
    out += "SEEN-BY: 5020/1 52 194 400 604 1004 1016 1042 1062 1200 1358 1544\r";
    std::snprintf(buf, sizeof buf, "\x01PATH: %u/%u 5020/1\r", net, node);
    out += buf;
  }
  out.resize(kCorpusSize);
  return out;
}

const std::string& Corpus() {
  static const std::string corpus = MakeCorpus();
  return corpus;
}

constexpr std::size_t BlockCount() { return kCorpusSize / kBlockSize; }

const char* Block(std::size_t i) { return Corpus().data() + i * kBlockSize; }

void BM_Crc32(benchmark::State& state) {
  std::uint32_t sink = 0;
  for (auto _ : state)
    for (std::size_t i = 0; i < BlockCount(); ++i)
      sink ^= velmaris::Crc32OfBuffer(Block(i), kBlockSize);
  benchmark::DoNotOptimize(sink);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
}
BENCHMARK(BM_Crc32);

#ifdef HAVE_ZLIB
void BM_Crc32_zlib(benchmark::State& state) {
  std::uint32_t sink = 0;
  for (auto _ : state)
    for (std::size_t i = 0; i < BlockCount(); ++i)
      sink ^= static_cast<std::uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(Block(i)), kBlockSize));
  benchmark::DoNotOptimize(sink);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
}
BENCHMARK(BM_Crc32_zlib);
#endif

void BM_Crc16(benchmark::State& state) {
  std::uint32_t sink = 0;
  for (auto _ : state) sink ^= velmaris::Crc16OfBuffer(Block(0), kBlockSize);
  benchmark::DoNotOptimize(sink);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockSize));
}
BENCHMARK(BM_Crc16);

void BM_Lzrw1KH_Compress(benchmark::State& state) {
  std::vector<char> out(velmaris::Lzrw1KHCompressBound(kBlockSize));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (std::size_t i = 0; i < BlockCount(); ++i)
      packed += velmaris::Lzrw1KHCompress(Block(i), out.data(), kBlockSize, out.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
  state.counters["ratio"] = static_cast<double>(packed) / kCorpusSize;
}
BENCHMARK(BM_Lzrw1KH_Compress);

void BM_Lzrw1KH_Decompress(benchmark::State& state) {
  std::vector<std::string> blocks;
  for (std::size_t i = 0; i < BlockCount(); ++i)
    blocks.push_back(velmaris::Lzrw1KHCompress(std::string_view(Block(i), kBlockSize)));
  std::vector<char> out(kBlockSize);
  for (auto _ : state) {
    for (const auto& b : blocks)
      benchmark::DoNotOptimize(
          velmaris::Lzrw1KHDecompress(b.data(), out.data(), b.size(), out.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
}
BENCHMARK(BM_Lzrw1KH_Decompress);

// Message-sized blocks (400 to 1,600 bytes) as the message base stores most
// bodies, each into a buffer of its own size as the body reader gives: the
// ends of a block weigh more here.
void BM_Lzrw1KH_DecompressMessages(benchmark::State& state) {
  const std::string& corpus = Corpus();
  std::vector<std::pair<std::string, std::size_t>> blocks;  // block, size
  std::size_t total = 0;
  for (std::size_t pos = 0, n = 0; pos < corpus.size(); pos += n) {
    n = std::min<std::size_t>(corpus.size() - pos, 400 + (pos * 7919) % 1200);
    blocks.emplace_back(velmaris::Lzrw1KHCompress(std::string_view(corpus).substr(pos, n)), n);
    total += n;
  }
  std::vector<char> out(2048);
  for (auto _ : state)
    for (const auto& [b, n] : blocks)
      benchmark::DoNotOptimize(velmaris::Lzrw1KHDecompress(b.data(), out.data(), b.size(), n));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}
BENCHMARK(BM_Lzrw1KH_DecompressMessages);

#ifdef HAVE_LZ4
void BM_LZ4_Compress(benchmark::State& state) {
  std::vector<char> out(LZ4_compressBound(kBlockSize));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (std::size_t i = 0; i < BlockCount(); ++i)
      packed +=
          LZ4_compress_default(Block(i), out.data(), kBlockSize, static_cast<int>(out.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
  state.counters["ratio"] = static_cast<double>(packed) / kCorpusSize;
}
BENCHMARK(BM_LZ4_Compress);

void BM_LZ4_Decompress(benchmark::State& state) {
  std::vector<std::string> blocks;
  for (std::size_t i = 0; i < BlockCount(); ++i) {
    std::string b(LZ4_compressBound(kBlockSize), '\0');
    b.resize(LZ4_compress_default(Block(i), b.data(), kBlockSize, static_cast<int>(b.size())));
    blocks.push_back(std::move(b));
  }
  std::vector<char> out(kBlockSize);
  for (auto _ : state) {
    for (const auto& b : blocks)
      benchmark::DoNotOptimize(LZ4_decompress_safe(b.data(), out.data(), static_cast<int>(b.size()),
                                                   static_cast<int>(out.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCorpusSize));
}
BENCHMARK(BM_LZ4_Decompress);
#endif

}  // namespace

BENCHMARK_MAIN();
