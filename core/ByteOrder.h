// Little-endian fields of the file layouts (message base, packets, nodelist
// indexes, archives), read and written byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmaris {

inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
  return uint64_t{GetLE32(p)} | (uint64_t{GetLE32(p + 4)} << 32);
}

inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Overwrites the two bytes at `at` of a byte string that holds them.
inline void PutLE16At(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

// Appends the field to a byte string.
inline void AppendLE16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void AppendLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void AppendLE64(std::string& out, uint64_t v) {
  AppendLE32(out, static_cast<uint32_t>(v));
  AppendLE32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace velmaris
