#include "core/Lzrw1KH.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace velmaris::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const Bytes& src) {
  Bytes block(Lzrw1KHCompressBound(src.size()));
  block.resize(Lzrw1KHCompress(src.data(), block.data(), src.size(), block.size()));
  return block;
}

Bytes Decompress(const Bytes& block, std::size_t capacity) {
  Bytes out(capacity);
  out.resize(Lzrw1KHDecompress(block.data(), out.data(), block.size(), out.size()));
  return out;
}

Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Repeat(std::uint8_t b, std::size_t n) { return Bytes(n, b); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes r(n);
  for (auto& b : r) b = static_cast<std::uint8_t>(rng());
  return r;
}

std::string MessageText(std::size_t n) {
  static const char* const kLines[] = {
      "Hello All!\r",
      " * Originally in NETMAIL\r",
      "Sergey wrote to Andrew about the new nodelist:\r",
      " SB> Did you get the nodediff this week?\r",
      "Yes, it arrived with the echomail bundle on Friday.\r",
      "--- Velmaris 95\r",
      " * Origin: Point station in the north (2:5020/1.7)\r",
      "SEEN-BY: 5020/1 52 194 400 604 1004\r",
      "\x01PATH: 5020/1\r",
  };
  std::string text;
  std::mt19937 rng(7);
  while (text.size() < n) text += kLines[rng() % std::size(kLines)];
  text.resize(n);
  return text;
}

// Blocks worked out by hand from the block layout.
struct GoldenCase {
  const char* name;
  Bytes source;
  Bytes block;
};

std::vector<GoldenCase> GoldenCases() {
  return {
      // One run item: control 0x8000, 0x00, 100 - 16 = 0x0054, the byte.
      {"run of 100", Repeat('A', 100), {0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 0x41}},
      // Three literals, then a copy of 12 bytes from 3 back: word 3 * 16 + 9.
      {"literals and copy",
       FromString("abcabcabcabcabc"),
       {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x39}},
      // Three equal bytes are literals (too short for a run, nothing earlier
      // to copy); seven items, only the seventh (the run) set: 0x0200.
      {"short run stays literal",
       Concat({FromString("aaaXYZ"), Repeat('q', 100)}),
       {0x40, 0x02, 0x00, 'a', 'a', 'a', 'X', 'Y', 'Z', 0x00, 0x00, 0x54, 'q'}},
      // Fifteen literals and the longest run (4095, 0x0FEF) fill the first
      // control word (0x0001); the rest of the run (905, 0x0379) is the
      // first item of the second control word (0x8000).
      {"second control word",
       Concat({FromString("0123456789ABCDE"), Repeat('x', 5000)}),
       {0x40, 0x00, 0x01, '0', '1',  '2',  '3',  '4', '5',  '6',  '7',  '8',  '9',  'A',
        'B',  'C',  'D',  'E', 0x00, 0x0F, 0xEF, 'x', 0x80, 0x00, 0x00, 0x03, 0x79, 'x'}},
      // Data that does not shrink is stored behind the flag 0x80.
      {"stored", FromString("abc"), {0x80, 'a', 'b', 'c'}},
      {"empty", {}, {0x80}},
      {"one byte", {0x00}, {0x80, 0x00}},
  };
}

TEST(Lzrw1KHTest, GoldenBlocks) {
  for (const auto& c : GoldenCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Compress(c.source), c.block);
    EXPECT_EQ(Decompress(c.block, c.source.size()), c.source);
  }
}

TEST(Lzrw1KHTest, OverlappingCopyRepeatsLastByte) {
  // A literal 'z' and a copy of 18 bytes from 1 back (word 0x001F).
  const Bytes block = {0x40, 0x40, 0x00, 'z', 0x00, 0x1F};
  EXPECT_EQ(Decompress(block, 19), Repeat('z', 19));
  // "ab" and a copy of 18 from 2 back repeats the pair.
  const Bytes pair = {0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x2F};
  EXPECT_EQ(Decompress(pair, 20), FromString("abababababababababab"));
}

TEST(Lzrw1KHTest, RoundTrips) {
  const std::string text = MessageText(70000);
  const Bytes textBytes(text.begin(), text.end());
  const Bytes random = RandomBytes(70000, 2);
  Bytes mixed;
  for (std::size_t i = 0; mixed.size() < 70000; ++i) {
    if (i % 3 == 0)
      mixed.insert(mixed.end(), 20 + i % 5000, static_cast<std::uint8_t>(i));
    else
      mixed.insert(mixed.end(), random.begin() + i % 1000, random.begin() + i % 1000 + i % 64);
    mixed.insert(mixed.end(), textBytes.begin() + i % 900, textBytes.begin() + i % 900 + 40);
  }

  const struct {
    const char* name;
    const Bytes* data;
  } sources[] = {{"text", &textBytes}, {"random", &random}, {"mixed", &mixed}};
  for (const auto& s : sources)
    for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 15u, 16u, 17u, 18u, 19u, 100u, 4095u, 4096u, 4097u,
                          32767u, 32768u, 65535u}) {
      SCOPED_TRACE(std::string(s.name) + " " + std::to_string(n));
      const Bytes src(s.data->begin(), s.data->begin() + n);
      const Bytes block = Compress(src);
      ASSERT_LE(block.size(), n + 1);
      EXPECT_EQ(Decompress(block, n), src);
    }

  // Runs around the run limits and around the block end.
  for (std::size_t n : {15u, 16u, 17u, 4095u, 4096u, 4111u, 4112u, 8190u, 65535u}) {
    SCOPED_TRACE("run " + std::to_string(n));
    const Bytes src = Repeat(0xE5, n);
    EXPECT_EQ(Decompress(Compress(src), n), src);
    Bytes framed = Concat({FromString("head"), src, FromString("tail")});
    framed.resize(std::min(framed.size(), kLzrw1KHMaxSourceSize));
    EXPECT_EQ(Decompress(Compress(framed), framed.size()), framed);
  }
}

TEST(Lzrw1KHTest, CompressorRejectsBadArguments) {
  Bytes src(65536, 'a');
  Bytes dst(65537 + 6);
  EXPECT_THROW(Lzrw1KHCompress(src.data(), dst.data(), 65536, dst.size()), ELzrw1KHCompressor);
  EXPECT_THROW(Lzrw1KHCompress(src.data(), dst.data(), 100, 100), ELzrw1KHCompressor);
  EXPECT_EQ(Lzrw1KHCompress(src.data(), dst.data(), 100, 101), 7u);
}

// The compressor writes nothing beyond its block: the bytes behind it keep
// their value whether the block ends compressed or stored.
TEST(Lzrw1KHTest, CompressorStaysInsideBlock) {
  for (const Bytes& src : {RandomBytes(3000, 3), FromString(MessageText(3000)),
                           Concat({RandomBytes(2990, 4), Repeat('x', 10)})}) {
    Bytes dst(src.size() + 1 + 64, 0xCC);
    const std::size_t n = Lzrw1KHCompress(src.data(), dst.data(), src.size(), src.size() + 1);
    for (std::size_t i = n; i < dst.size(); ++i)
      ASSERT_EQ(dst[i], 0xCC) << "byte " << i << " behind a block of " << n;
  }
}

struct BadCase {
  const char* name;
  Bytes block;
  std::size_t capacity;
};

TEST(Lzrw1KHTest, MalformedBlocksAreRejected) {
  const BadCase cases[] = {
      {"empty block", {}, 100},
      {"unknown flag", {0x41, 0x00, 0x00, 'a'}, 100},
      {"flag zero", {0x00, 0x00, 0x00, 'a', 'b'}, 100},
      {"copy before output start", {0x40, 0x80, 0x00, 0x00, 0x13}, 100},
      {"copy reaches one byte too far", {0x40, 0x40, 0x00, 'a', 0x00, 0x20}, 100},
      {"copy item cut off", {0x40, 0x40, 0x00, 'a', 0x00}, 100},
      {"run item cut off", {0x40, 0x80, 0x00, 0x00, 0x00}, 100},
      {"run item cut off after two bytes", {0x40, 0x80, 0x00, 0x00, 0x00, 0x54}, 100},
      {"run larger than output", {0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 0x41}, 99},
      {"copy larger than output", {0x40, 0x40, 0x00, 'z', 0x00, 0x1F}, 18},
      {"literal beyond output", {0x40, 0x00, 0x00, 'a', 'b', 'c'}, 2},
      {"stored larger than output", {0x80, 'a', 'b', 'c'}, 2},
      // Sixteen literals, then a control word of one byte only.
      {"control word cut off", Concat({{0x40, 0x00, 0x00}, Repeat('L', 16), {0x00}}), 100},
      // Sixteen literals and a complete control word without items.
      {"items missing after control word",
       Concat({{0x40, 0x00, 0x00}, Repeat('L', 16), {0x00, 0x00}}), 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out(c.capacity);
    EXPECT_THROW(Lzrw1KHDecompress(c.block.data(), out.data(), c.block.size(), out.size()),
                 ELzrw1KHBadBlock);
  }
}

TEST(Lzrw1KHTest, ShortAndExactBlocks) {
  const struct {
    const char* name;
    Bytes block;
    Bytes want;
  } cases[] = {
      {"compressed header only", {0x40, 0x00, 0x00}, {}},
      {"compressed flag only", {0x40}, {}},
      {"stored flag only", {0x80}, {}},
      {"sixteen literals end the block", Concat({{0x40, 0x00, 0x00}, Repeat('L', 16)}),
       Repeat('L', 16)},
      {"unused bits of the last control word are ignored",
       {0x40, 0x7F, 0xFF, 'q'},
       FromString("q")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decompress(c.block, c.want.size()), c.want);
  }
}

// A byte-for-byte transcription of the block compressor as first designed:
// hash every sought position, write items until the output passes the source
// size, then fall back to a stored block. The library's compressor stops
// earlier and skips useless work, and must give the same blocks.
Bytes ReferenceCompress(const Bytes& in) {
  const std::size_t n = in.size();
  Bytes src = in;
  src.resize(n + 3, 0);  // the hash of the last positions looks past the end
  Bytes dst(n + 8);
  std::vector<std::uint16_t> hash(4096, 0xFFFF);
  dst[0] = 0x40;
  std::size_t ctrlPos = 1, out = 3, x = 0;
  unsigned items = 0, bits = 0;
  while (x < n && out <= n) {
    if (items == 16) {
      dst[ctrlPos] = static_cast<std::uint8_t>(bits >> 8);
      dst[ctrlPos + 1] = static_cast<std::uint8_t>(bits);
      ctrlPos = out;
      out += 2;
      items = 0;
      bits = 0;
    }
    std::size_t run = 0;
    while (x + run < n && run < 4095 && src[x + run] == src[x]) ++run;
    if (run >= 16) {
      dst[out++] = 0;
      dst[out++] = static_cast<std::uint8_t>((run - 16) >> 8);
      dst[out++] = static_cast<std::uint8_t>(run - 16);
      dst[out++] = src[x];
      x += run;
      bits = (bits << 1) | 1;
    } else {
      const std::uint32_t h =
          ((((((std::uint32_t{src[x]} * 16) ^ src[x + 1]) * 16) ^ src[x + 2]) * 40543u) >> 4) &
          0xFFF;
      const std::size_t cand = hash[h];
      hash[h] = static_cast<std::uint16_t>(x);
      std::size_t len = 0;
      if (cand != 0xFFFF && x - cand < 4096)
        while (len < 18 && x + len < n && src[cand + len] == src[x + len]) ++len;
      if (len >= 3) {
        const std::size_t word = (x - cand) * 16 + (len - 3);
        dst[out++] = static_cast<std::uint8_t>(word >> 8);
        dst[out++] = static_cast<std::uint8_t>(word);
        x += len;
        bits = (bits << 1) | 1;
      } else {
        dst[out++] = src[x++];
        bits <<= 1;
      }
    }
    ++items;
  }
  bits <<= (16 - items);
  dst[ctrlPos] = static_cast<std::uint8_t>(bits >> 8);
  dst[ctrlPos + 1] = static_cast<std::uint8_t>(bits);
  if (out > n) {
    dst[0] = 0x80;
    std::copy(in.begin(), in.end(), dst.begin() + 1);
    out = n + 1;
  }
  dst.resize(out);
  return dst;
}

TEST(Lzrw1KHTest, SameBlocksAsReference) {
  std::mt19937 rng(11);
  const std::string text = MessageText(40000);
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = rng() % (round < 200 ? 300 : 40000);
    Bytes src;
    // Text with runs and noise mixed in, so that blocks land on both sides
    // of the stored/compressed border.
    while (src.size() < n) {
      switch (rng() % 4) {
        case 0: src.insert(src.end(), 1 + rng() % 40, static_cast<std::uint8_t>(rng())); break;
        case 1: {
          Bytes r = RandomBytes(1 + rng() % 30, rng());
          src.insert(src.end(), r.begin(), r.end());
          break;
        }
        default: {
          const std::size_t at = rng() % 30000;
          src.insert(src.end(), text.begin() + at, text.begin() + at + 1 + rng() % 200);
        }
      }
    }
    src.resize(n);
    ASSERT_EQ(Compress(src), ReferenceCompress(src)) << "round " << round << " size " << n;
  }
}

}  // namespace
}  // namespace velmaris::test
