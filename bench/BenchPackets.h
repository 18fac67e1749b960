// The inbound of the toss benchmarks: 100,000 messages of about 500 bytes in
// packets of 1,000, echomail spread over 200 areas, every 20th netmail.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Files.h"
#include "processing/PacketHeader.h"

namespace velmaris::bench {

constexpr int kTossMessages = 100000;
constexpr int kTossPerPacket = 1000;
constexpr int kTossAreas = 200;

inline std::string TossAreaName(int i) { return "BENCH.ECHO." + std::to_string(i); }

// Message i of run; run keeps the MSGIDs of every run apart.
inline std::string TossMessage(int run, int i) {
  auto le16 = [](uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  };
  const bool netmail = i % 20 == 0;
  std::string m = le16(2) + le16(1) + le16(1042) + le16(5030) + le16(5020) + le16(0) + le16(0);
  m += std::string("15 Jan 26  13:45:30", 19) + '\0';
  m += std::string(netmail ? "Point Seven" : "All") + '\0' + "Joe Remote" + '\0' + "Subject " +
       std::to_string(run) + "/" + std::to_string(i) + '\0';
  if (!netmail) m += "AREA:" + TossAreaName(i % kTossAreas) + "\r";
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(run * kTossMessages + i));
  m += std::string("\x01MSGID: 2:5030/1 ") + serial +
       "\r\x01"
       "CHRS: CP866 2\r";
  for (int line = 0; line < 6; ++line)
    m += "Some line of ordinary text in the message body here.\r";
  if (!netmail) m += "--- x\r * Origin: Remote (2:5030/1)\rSEEN-BY: 5030/1 5020/1042\r";
  m += '\0';
  return m;
}

// Writes the packets of one run into inbound; returns their bytes.
inline uint64_t WriteTossPackets(const std::string& inbound, int run) {
  uint64_t bytes = 0;
  const auto head = TPacketHeader::ForLink({2, 5030, 1, 0}, {2, 5020, 1042, 7}, "", 46000).Encode();
  for (int p = 0; p < kTossMessages / kTossPerPacket; ++p) {
    std::string packet(reinterpret_cast<const char*>(head.data()), head.size());
    for (int i = 0; i < kTossPerPacket; ++i) packet += TossMessage(run, p * kTossPerPacket + i);
    packet += std::string(2, '\0');
    bytes += packet.size();
    char name[32];
    std::snprintf(name, sizeof name, "%08x.pkt", static_cast<unsigned>(run * 1000 + p));
    platform::WriteFileAtomic(inbound + name, packet);
  }
  return bytes;
}

}  // namespace velmaris::bench
