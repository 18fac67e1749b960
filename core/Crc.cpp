#include "core/Crc.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VELMARIS_CRC32_CLMUL 1
#endif

namespace velmaris {
namespace {

// Slicing tables of the reflected polynomial 0xEDB88320: row 0 is the classic
// byte table; row k advances a byte that lies k positions further back.
constexpr int kSlices = 16;

constexpr std::array<std::array<std::uint32_t, 256>, kSlices> MakeCrc32Tables() {
  std::array<std::array<std::uint32_t, 256>, kSlices> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i)
    for (int s = 1; s < kSlices; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

constexpr auto kCrc32 = MakeCrc32Tables();

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
    t[i] = static_cast<std::uint16_t>(c);
  }
  return t;
}

constexpr auto kCrc16 = MakeCrc16Table();
static_assert(kCrc16[1] == 0x1021);

constexpr std::array<std::uint16_t, 256> MakeCrc16ReflectedTable() {
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x8408 : c >> 1;
    t[i] = static_cast<std::uint16_t>(c);
  }
  return t;
}

constexpr auto kCrc16Reflected = MakeCrc16ReflectedTable();

// Slicing tables of the reflected polynomial 0xA001, built as those of CRC-32.
constexpr std::array<std::array<std::uint16_t, 256>, kSlices> MakeCrc16ArcTables() {
  std::array<std::array<std::uint16_t, 256>, kSlices> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
    t[0][i] = static_cast<std::uint16_t>(c);
  }
  for (unsigned i = 0; i < 256; ++i)
    for (int s = 1; s < kSlices; ++s)
      t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF]);
  return t;
}

constexpr auto kCrc16Arc = MakeCrc16ArcTables();
static_assert(kCrc16Arc[0][0x80] == 0xA001);

inline std::uint32_t Load32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

std::uint32_t Crc32Tables(std::uint32_t c, const unsigned char* p, std::size_t n) {
  while (n && (reinterpret_cast<std::uintptr_t>(p) & 7)) {
    c = (c >> 8) ^ kCrc32[0][(c ^ *p++) & 0xFF];
    --n;
  }
  while (n >= 16) {
    const std::uint32_t a = Load32(p) ^ c;
    const std::uint32_t b = Load32(p + 4);
    const std::uint32_t d = Load32(p + 8);
    const std::uint32_t e = Load32(p + 12);
    c = kCrc32[15][a & 0xFF] ^ kCrc32[14][(a >> 8) & 0xFF] ^ kCrc32[13][(a >> 16) & 0xFF] ^
        kCrc32[12][a >> 24] ^ kCrc32[11][b & 0xFF] ^ kCrc32[10][(b >> 8) & 0xFF] ^
        kCrc32[9][(b >> 16) & 0xFF] ^ kCrc32[8][b >> 24] ^ kCrc32[7][d & 0xFF] ^
        kCrc32[6][(d >> 8) & 0xFF] ^ kCrc32[5][(d >> 16) & 0xFF] ^ kCrc32[4][d >> 24] ^
        kCrc32[3][e & 0xFF] ^ kCrc32[2][(e >> 8) & 0xFF] ^ kCrc32[1][(e >> 16) & 0xFF] ^
        kCrc32[0][e >> 24];
    p += 16;
    n -= 16;
  }
  while (n--) c = (c >> 8) ^ kCrc32[0][(c ^ *p++) & 0xFF];
  return c;
}

#ifdef VELMARIS_CRC32_CLMUL
// Carry-less multiplication folding (the method of Intel's white paper "Fast
// CRC Computation for Generic Polynomials Using PCLMULQDQ") for the reflected
// polynomial: four 128-bit lanes are folded 64 bytes at a time, then folded
// into one lane, and the remaining bytes go through the tables. The constants
// are x^k mod P(x) for the fold distances, bit-reflected.
// x * (k.hi : k.lo) folded onto data: the lane moves forward by the distance
// the constants stand for.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), data);
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t Crc32Clmul(std::uint32_t crc,
                                                                  const unsigned char* p,
                                                                  std::size_t n) {
  // n >= 64 here.
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596LL, 0x0154442bd4LL);  // fold by 512 bits
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009eLL, 0x01751997d0LL);  // fold by 128 bits

  __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0));
  __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  x0 = _mm_xor_si128(x0, _mm_cvtsi32_si128(static_cast<int>(crc)));
  p += 64;
  n -= 64;

  while (n >= 64) {
    x0 = Fold(x0, k1k2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 0)));
    x1 = Fold(x1, k1k2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    x2 = Fold(x2, k1k2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
    x3 = Fold(x3, k1k2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
    p += 64;
    n -= 64;
  }

  // Fold the four lanes into one.
  x0 = Fold(x0, k3k4, x1);
  x0 = Fold(x0, k3k4, x2);
  x0 = Fold(x0, k3k4, x3);
  while (n >= 16) {
    x0 = Fold(x0, k3k4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    p += 16;
    n -= 16;
  }

  // The 128-bit remainder still stands for 16 message bytes: run them through
  // the tables instead of a Barrett reduction; it costs little and is plainly right.
  alignas(16) unsigned char tail[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(tail), x0);
  std::uint32_t c = Crc32Tables(0, tail, 16);
  return Crc32Tables(c, p, n);
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

}  // namespace

std::uint32_t Crc32Update(std::uint32_t reg, const void* buffer, std::size_t length) {
  if (buffer == nullptr || length == 0) return reg;
  const auto* p = static_cast<const unsigned char*>(buffer);
#ifdef VELMARIS_CRC32_CLMUL
  if (length >= 256 && HasClmul()) return Crc32Clmul(reg, p, length);
#endif
  return Crc32Tables(reg, p, length);
}

std::uint32_t Crc32Step(std::uint32_t reg, std::uint8_t byte) {
  return kCrc32[0][(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

std::uint32_t Crc32OfBuffer(const void* buffer, std::size_t length) {
  return ~Crc32Update(0xFFFFFFFFu, buffer, length);
}

std::uint32_t Crc32OfString(std::string_view text) {
  return Crc32OfBuffer(text.data(), text.size());
}

std::uint16_t Crc16Step(std::uint16_t reg, std::uint8_t byte) {
  return static_cast<std::uint16_t>(kCrc16[reg >> 8] ^ (reg << 8) ^ byte);
}

std::uint16_t Crc16Update(std::uint16_t reg, const void* buffer, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(buffer);
  if (p != nullptr)
    for (std::size_t i = 0; i < length; ++i) reg = Crc16Step(reg, p[i]);
  reg = Crc16Step(reg, 0);
  return Crc16Step(reg, 0);
}

std::uint16_t Crc16OfBuffer(const void* buffer, std::size_t length) {
  return Crc16Update(0, buffer, length);
}

std::uint16_t Crc16OfString(std::string_view text) {
  return Crc16OfBuffer(text.data(), text.size());
}

std::uint16_t Crc16ReflectedStep(std::uint8_t byte, std::uint16_t reg) {
  // The table holds the eight rounds of every byte value at once.
  return static_cast<std::uint16_t>((reg >> 8) ^ kCrc16Reflected[(reg ^ byte) & 0xFF]);
}

std::uint16_t Crc16ReflectedUpdate(std::uint16_t reg, const void* buffer, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(buffer);
  if (p != nullptr)
    for (std::size_t i = 0; i < length; ++i) reg = Crc16ReflectedStep(p[i], reg);
  return reg;
}

std::uint16_t Crc16ReflectedOfBuffer(const void* buffer, std::size_t length) {
  return Crc16ReflectedUpdate(0xFFFF, buffer, length);
}

std::uint16_t Crc16ArcUpdate(std::uint16_t reg, const void* buffer, std::size_t length) {
  if (buffer == nullptr) return reg;
  const auto* p = static_cast<const unsigned char*>(buffer);
  const auto& t = kCrc16Arc;
  std::uint32_t c = reg;
  // Sixteen bytes a step: the register meets the first two, and every byte
  // goes through the table row of its distance from the end of the step.
  while (length >= 16) {
    const std::uint32_t a = Load32(p) ^ c;
    const std::uint32_t b = Load32(p + 4);
    const std::uint32_t d = Load32(p + 8);
    const std::uint32_t e = Load32(p + 12);
    c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
        t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
        t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
        t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
    p += 16;
    length -= 16;
  }
  while (length--) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

}  // namespace velmaris
