#include <gtest/gtest.h>

#include <string>

#include "PacketFixtures.h"
#include "processing/PacketHeader.h"

namespace velmaris {
namespace {

using test::Le16;

std::string Bytes(const std::array<uint8_t, kPacketHeaderSize>& a) {
  return std::string(reinterpret_cast<const char*>(a.data()), a.size());
}

// 2:5020/1042.7 writes to its uplink 2:5030/1 on 15 Jan 2026 at 13:45:30.
TEST(PacketHeader, GoldenBytesOfOurOwnHeader) {
  const TPacketHeader h = TPacketHeader::ForLink({2, 5020, 1042, 7}, {2, 5030, 1, 0}, "SECRET12345",
                                                 EncodeDateTime(2026, 1, 15, 13, 45, 30));
  const std::string golden = std::string(
      "\x12\x04"           // 0 origin node 1042
      "\x01\x00"           // 2 destination node 1
      "\xEA\x07"           // 4 year 2026
      "\x00\x00"           // 6 month: January is 0
      "\x0F\x00"           // 8 day 15
      "\x0D\x00"           // 10 hour 13
      "\x2D\x00"           // 12 minute 45
      "\x1E\x00"           // 14 second 30
      "\x00\x00"           // 16 baud
      "\x02\x00"           // 18 packet type 2
      "\x9C\x13"           // 20 origin net 5020
      "\xA6\x13"           // 22 destination net 5030
      "\xFE"               // 24 product code, low byte
      "\x00"               // 25 major revision
      "SECRET12"           // 26 password, cut to 8
      "\x02\x00"           // 34 origin zone
      "\x02\x00"           // 36 destination zone
      "\x00\x00"           // 38 auxiliary net
      "\x00\x01"           // 40 capability word, byte-swapped copy
      "\x00"               // 42 product code, high byte
      "\x00"               // 43 minor revision
      "\x01\x00"           // 44 capability word
      "\x02\x00"           // 46 origin zone
      "\x02\x00"           // 48 destination zone
      "\x07\x00"           // 50 origin point
      "\x00\x00"           // 52 destination point
      "\x00\x00\x00\x00",  // 54 product data
      58);
  EXPECT_EQ(Bytes(h.Encode()), golden);
  EXPECT_EQ(TPacketHeader::Decode(reinterpret_cast<const uint8_t*>(golden.data())), h);
}

TEST(PacketHeader, PasswordIsCutOrPadded) {
  struct Case {
    std::string given;
    std::string field;  // the 8 bytes at offset 26
    std::string text;
  } cases[] = {
      {"", std::string(8, '\0'), ""},
      {"abc", std::string("abc\0\0\0\0\0", 8), "abc"},
      {"12345678", "12345678", "12345678"},
      {"123456789", "12345678", "12345678"},
  };
  for (const Case& c : cases) {
    const TPacketHeader h = TPacketHeader::ForLink({2, 1, 1, 0}, {2, 1, 2, 0}, c.given, 46000);
    const auto bytes = h.Encode();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 26, 8), c.field) << c.given;
    // An 8-byte password without NUL reads back as 8 characters, no more.
    EXPECT_EQ(TPacketHeader::Decode(bytes.data()).PasswordText(), c.text);
  }
}

TEST(PacketHeader, AddressesOfTheHeaderFlavours) {
  struct Case {
    const char* name;
    std::string bytes;
    TFidoAddr orig, dest;
  };
  // Start from our own type 2+ header and change fields.
  const auto plus = TPacketHeader::ForLink({2, 5020, 1042, 7}, {2, 5030, 1, 3}, "", 46000).Encode();
  std::string typePlus(reinterpret_cast<const char*>(plus.data()), plus.size());
  std::string plain = typePlus;  // no capability word: plain FTS-0001 with zones at 34/36
  plain.replace(40, 2, Le16(0));
  plain.replace(44, 2, Le16(0));
  std::string badCopy = typePlus;  // capability word without a matching copy
  badCopy.replace(40, 2, Le16(0x0001));
  std::string auxNet = typePlus;  // point packet naming net 65535 and the real net as aux
  auxNet.replace(20, 2, Le16(0xFFFF));
  auxNet.replace(38, 2, Le16(5020));
  std::string noZone2 = typePlus;  // zones only at 34/36
  noZone2.replace(46, 2, Le16(0));
  noZone2.replace(48, 2, Le16(0));
  const Case cases[] = {
      {"type 2+", typePlus, {2, 5020, 1042, 7}, {2, 5030, 1, 3}},
      {"plain", plain, {2, 5020, 1042, 0}, {2, 5030, 1, 0}},
      {"bad copy", badCopy, {2, 5020, 1042, 0}, {2, 5030, 1, 0}},
      {"aux net", auxNet, {2, 5020, 1042, 7}, {2, 5030, 1, 3}},
      {"zones at 34", noZone2, {2, 5020, 1042, 7}, {2, 5030, 1, 3}},
  };
  for (const Case& c : cases) {
    const auto h = TPacketHeader::Decode(reinterpret_cast<const uint8_t*>(c.bytes.data()));
    EXPECT_EQ(h.OrigAddress(), c.orig) << c.name;
    EXPECT_EQ(h.DestAddress(), c.dest) << c.name;
  }
}

}  // namespace
}  // namespace velmaris
