// Packets and packed messages assembled byte by byte for the packet tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "core/Mail.h"
#include "processing/PacketHeader.h"

namespace velmaris::test {

inline std::string Le16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

struct PackedFields {
  uint16_t origNode = 1042, destNode = 1, origNet = 5020, destNet = 5030;
  uint16_t attribute = 0, cost = 0;
  std::string date = "15 Jan 26  13:45:30";
  std::string to = "All";
  std::string from = "Point Seven";
  std::string subject = "Hi";
  std::string text = "Hello\r";
  uint16_t type = 2;
};

// The packed message image: the fixed part, the three strings and the text,
// each NUL-terminated.
inline std::string PackedMessage(const PackedFields& s) {
  std::string m = Le16(s.type) + Le16(s.origNode) + Le16(s.destNode) + Le16(s.origNet) +
                  Le16(s.destNet) + Le16(s.attribute) + Le16(s.cost);
  std::string date = s.date;
  date.resize(20, '\0');
  m += date;
  m += s.to + '\0' + s.from + '\0' + s.subject + '\0' + s.text + '\0';
  return m;
}

// A header as a peer writes it: own 2:5030/1 to the point 2:5020/1042.7.
inline TPacketHeader PeerHeader() {
  TPacketHeader h = TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "PW",
                                           EncodeDateTime(2026, 1, 15, 13, 45, 30));
  return h;
}

inline std::string PacketOf(const TPacketHeader& h, const std::string& messages,
                            bool terminator = true) {
  const auto head = h.Encode();
  std::string p(reinterpret_cast<const char*>(head.data()), head.size());
  p += messages;
  if (terminator) p += std::string(2, '\0');
  return p;
}

// A mail whose body is the packed image (as the composition builds it).
inline std::unique_ptr<TMail> MailOfImage(const std::string& image, const std::string& to = "All") {
  TMsgHeader h;
  h.ToName = to;
  h.BodyLength = static_cast<uint32_t>(image.size());
  return std::make_unique<TMail>(image, h);
}

// A ZIP made by zip with what its headers say of every entry changed, in
// the local and the central header alike: the unpacked size (when usize is
// given) and, with badCrc, the CRC-32 (its lowest bit flipped).
inline std::string LyingZip(std::string zip, std::optional<uint32_t> usize, bool badCrc) {
  auto put32 = [&zip](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (const auto& [sig, crcAt, sizeAt] : {std::tuple{std::string("PK\x03\x04"), 14, 22},
                                           std::tuple{std::string("PK\x01\x02"), 16, 24}}) {
    for (size_t at = zip.find(sig); at != std::string::npos; at = zip.find(sig, at + 4)) {
      if (usize) put32(at + sizeAt, *usize);
      if (badCrc) zip[at + crcAt] = static_cast<char>(zip[at + crcAt] ^ 1);
    }
  }
  return zip;
}

}  // namespace velmaris::test
