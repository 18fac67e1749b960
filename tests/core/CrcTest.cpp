#include "core/Crc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmaris::test {
namespace {

// Check values of the standard catalogue and of an independent implementation
// (Python's zlib.crc32 and binascii.crc_hqx; CRC-16/ARC from its definition).
struct TextCase {
  std::string text;
  std::uint32_t crc32;
  std::uint16_t crc16;           // CRC-16/XMODEM
  std::uint16_t crc16Reflected;  // poly 0x8408, start 0xFFFF, no complement
  std::uint16_t crc16Arc;        // poly 0xA001 reflected, start 0
};

const TextCase kTextCases[] = {
    {"", 0x00000000u, 0x0000, 0xFFFF, 0x0000},
    {"A", 0xD3D99E8Bu, 0x58E5, 0x5C0A, 0x30C0},
    {"123456789", 0xCBF43926u, 0x31C3, 0x6F91, 0xBB3D},
    {"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0xF0C8, 0x6CA7, 0xFCDF},
};

TEST(CrcTest, CheckValuesOfTexts) {
  for (const auto& c : kTextCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Crc32OfString(c.text), c.crc32);
    EXPECT_EQ(Crc32OfBuffer(c.text.data(), c.text.size()), c.crc32);
    EXPECT_EQ(Crc16OfString(c.text), c.crc16);
    EXPECT_EQ(Crc16OfBuffer(c.text.data(), c.text.size()), c.crc16);
    EXPECT_EQ(Crc16ReflectedOfBuffer(c.text.data(), c.text.size()), c.crc16Reflected);
    EXPECT_EQ(Crc16ArcUpdate(0, c.text.data(), c.text.size()), c.crc16Arc);
  }
}

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> d(n);
  for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return d;
}

// The bit-by-bit definition of a reflected CRC, to check every length and
// alignment of the table and folding paths against.
std::uint32_t ReflectedBitwise(std::uint32_t poly, std::uint32_t c, const std::uint8_t* p,
                               std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
  }
  return c;
}

TEST(CrcTest, TablesMatchBitwiseAtEveryLengthAndAlignment) {
  const auto d = Pattern(1200);
  for (std::size_t offset = 0; offset < 16; ++offset)
    for (std::size_t n = 0; n + offset <= 700; n += (n < 300 ? 1 : 37)) {
      const std::uint32_t want = ReflectedBitwise(0xEDB88320u, 0x12345678u, d.data() + offset, n);
      ASSERT_EQ(Crc32Update(0x12345678u, d.data() + offset, n), want)
          << "offset " << offset << " length " << n;
      ASSERT_EQ(Crc16ArcUpdate(0x1234, d.data() + offset, n),
                ReflectedBitwise(0xA001, 0x1234, d.data() + offset, n))
          << "offset " << offset << " length " << n;
    }
}

TEST(CrcTest, UpdatesChainOverSplits) {
  const auto d = Pattern(5000);
  const std::uint32_t whole32 = Crc32OfBuffer(d.data(), d.size());
  const std::uint16_t whole16r = Crc16ReflectedOfBuffer(d.data(), d.size());
  for (std::size_t split : {0u, 1u, 7u, 64u, 255u, 256u, 2500u, 4999u, 5000u}) {
    SCOPED_TRACE(split);
    std::uint32_t c = Crc32Update(0xFFFFFFFFu, d.data(), split);
    c = Crc32Update(c, d.data() + split, d.size() - split);
    EXPECT_EQ(~c, whole32);
    std::uint16_t r = Crc16ReflectedUpdate(0xFFFF, d.data(), split);
    r = Crc16ReflectedUpdate(r, d.data() + split, d.size() - split);
    EXPECT_EQ(r, whole16r);
  }
}

// The augmented register: stepping the data and then two zero bytes is the
// CRC, and the step itself is table[reg >> 8] ^ (reg << 8) ^ byte.
TEST(CrcTest, Crc16AugmentedForm) {
  EXPECT_EQ(Crc16Step(0x0000, 0x41), 0x0041);
  EXPECT_EQ(Crc16Step(0x0100, 0x00), 0x1021);  // table entry 1
  EXPECT_EQ(Crc16Step(0x0001, 0x00), 0x0100);

  std::uint16_t reg = 0;
  for (char ch : std::string("123456789")) reg = Crc16Step(reg, static_cast<std::uint8_t>(ch));
  reg = Crc16Step(reg, 0);
  reg = Crc16Step(reg, 0);
  EXPECT_EQ(reg, 0x31C3);
  EXPECT_EQ(Crc16Update(0, nullptr, 0), 0);
}

}  // namespace
}  // namespace velmaris::test
