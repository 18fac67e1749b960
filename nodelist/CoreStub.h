// Temporary stand-in for core/FidoAddress.h and core/Crc.h until they land.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmaris {

struct TFidoAddr {
  uint16_t Zone = 0;
  uint16_t Net = 0;
  uint16_t Node = 0;
  uint16_t Point = 0;
};

inline bool SameFidoAddress(const TFidoAddr& a, const TFidoAddr& b) {
  return a.Zone == b.Zone && a.Net == b.Net && a.Node == b.Node && a.Point == b.Point;
}

inline bool FidoAddressGreater(const TFidoAddr& a, const TFidoAddr& b) {
  if (a.Zone != b.Zone) return a.Zone > b.Zone;
  if (a.Net != b.Net) return a.Net > b.Net;
  if (a.Node != b.Node) return a.Node > b.Node;
  return a.Point > b.Point;
}

inline std::string FidoAddressToStr(const TFidoAddr& a) {
  std::string s = std::to_string(a.Zone) + ":" + std::to_string(a.Net) + "/" + std::to_string(a.Node);
  if (a.Point) s += "." + std::to_string(a.Point);
  return s;
}

inline uint16_t Crc16Update(uint16_t crc, const void* data, size_t len) {
  auto step = [](uint16_t c, uint8_t b) {
    for (int i = 0; i < 8; ++i) {
      const bool top = c & 0x8000;
      c = static_cast<uint16_t>((c << 1) | ((b >> 7) & 1));
      b = static_cast<uint8_t>(b << 1);
      if (top) c ^= 0x1021;
    }
    return c;
  };
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < len; ++i) crc = step(crc, p[i]);
  crc = step(crc, 0);
  return step(crc, 0);
}

inline uint16_t Crc16OfBuffer(const void* data, size_t len) { return Crc16Update(0, data, len); }

}  // namespace velmaris
