// Golden bytes of the message base layouts, worked out from the layouts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "MsgBaseFixtures.h"
#include "core/Crc.h"
#include "core/Lzrw1KH.h"
#include "core/MessageBase.h"
#include "core/MsgHeader.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// Record bytes 0..255 each holding its own offset, except the four string
// length bytes, which hold the field maxima so that every string is full.
std::vector<uint8_t> CountingRecord() {
  std::vector<uint8_t> r(256);
  for (int i = 0; i < 256; ++i) r[i] = static_cast<uint8_t>(i);
  r[28] = 35;
  r[64] = 35;
  r[100] = 71;
  r[172] = 51;
  return r;
}

std::string Chars(int from, int to) {  // the characters from..to-1
  std::string s;
  for (int i = from; i < to; ++i) s += static_cast<char>(i);
  return s;
}

TEST(MsgBaseLayoutTest, HeaderRecordDecodesFieldByField) {
  auto r = CountingRecord();
  TMsgHeader h = TMsgHeader::Decode(r.data());
  EXPECT_EQ(h.Reserved0, 0x03020100u);
  EXPECT_EQ(h.OrigAddr, (TFidoAddr{0x0504, 0x0706, 0x0908, 0x0B0A}));
  EXPECT_EQ(h.DestAddr, (TFidoAddr{0x0D0C, 0x0F0E, 0x1110, 0x1312}));
  EXPECT_EQ(h.MsgIdCrc, 0x17161514u);
  EXPECT_EQ(h.ReplyCrc, 0x1B1A1918u);
  EXPECT_EQ(h.FromName.Str(), Chars(29, 64));
  EXPECT_EQ(h.ToName.Str(), Chars(65, 100));
  EXPECT_EQ(h.Subject.Str(), Chars(101, 172));
  EXPECT_EQ(h.AreaName.Str(), Chars(173, 224));
  EXPECT_EQ(h.Created, static_cast<int32_t>(0xE3E2E1E0u));
  EXPECT_EQ(h.Tossed, static_cast<int32_t>(0xE7E6E5E4u));
  EXPECT_EQ(h.Reserved232, 0xEBEAE9E8u);
  EXPECT_EQ(h.MsgIdNumber, 0xEFEEEDECu);
  EXPECT_EQ(h.ReplyNumber, 0xF3F2F1F0u);
  EXPECT_EQ(h.TextOffset, 0xF5F4);
  EXPECT_EQ(h.BodyLength, 0xF9F8F7F6u);
  EXPECT_EQ(h.BodyOffset, 0xFDFCFBFAu);
  EXPECT_EQ(h.Flags, 0xFFFE);
  auto back = h.Encode();
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.end()), r);
}

TEST(MsgBaseLayoutTest, HeaderRecordEncodesATypicalMessage) {
  TMsgHeader h;
  h.OrigAddr = {2, 5020, 1, 7};
  h.DestAddr = {2, 5020, 1, 0};
  h.MsgIdCrc = 0x11223344;
  h.FromName = "Ivan";
  h.ToName = "All";
  h.Subject = "Re: test";
  h.AreaName = "RU.FIDO";
  h.Created = 1;
  h.Tossed = -2;
  h.MsgIdNumber = 0xCAFEBABE;
  h.TextOffset = 0x0123;
  h.BodyLength = 0x00010002;
  h.BodyOffset = 4;
  h.Flags = MsgFlag::Unread | MsgFlag::New;

  std::string expected(256, '\0');
  auto put = [&](size_t at, const std::string& bytes) {
    expected.replace(at, bytes.size(), bytes);
  };
  put(4, Bytes({2, 0, 0x9C, 0x13, 1, 0, 7, 0}));
  put(12, Bytes({2, 0, 0x9C, 0x13, 1, 0, 0, 0}));
  put(20, Bytes({0x44, 0x33, 0x22, 0x11}));
  put(28, std::string("\x04Ivan"));
  put(64, std::string("\x03"
                      "All"));
  put(100, std::string("\x08Re: test"));
  put(172, std::string("\x07RU.FIDO"));
  put(224, Bytes({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
  put(236, Bytes({0xBE, 0xBA, 0xFE, 0xCA}));
  put(244, Bytes({0x23, 0x01, 0x02, 0x00, 0x01, 0x00, 4, 0, 0, 0, 0x04, 0x20}));
  auto bytes = h.Encode();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST(MsgBaseLayoutTest, OverlongStringsAreCut) {
  std::string record(256, '\0');
  record[28] = 40;  // longer than the 35 the field holds
  for (int i = 0; i < 35; ++i) record[29 + i] = static_cast<char>('A' + i % 26);
  record[64] = static_cast<char>(255);
  record[100] = 72;
  record[172] = 52;
  TMsgHeader h = TMsgHeader::Decode(reinterpret_cast<const uint8_t*>(record.data()));
  EXPECT_EQ(h.FromName.Length, 35);
  EXPECT_EQ(h.FromName.Str(), record.substr(29, 35));
  EXPECT_EQ(h.ToName.Length, 35);
  EXPECT_EQ(h.Subject.Length, 71);
  EXPECT_EQ(h.AreaName.Length, 51);
  auto back = h.Encode();
  EXPECT_EQ(back[28], 35);

  TMsgHeader assigned;
  assigned.FromName = std::string(40, 'x');
  EXPECT_EQ(assigned.FromName.Str(), std::string(35, 'x'));
}

TEST(MsgBaseLayoutTest, BodyChunksAt32768Bytes) {
  // 32768 equal bytes: eight runs of 4095, then a literal and a copy of 7
  // from one byte back: flag, control word 0xFF40, 8 x 4 + 1 + 2 bytes.
  const std::string run4095 = Bytes({0x00, 0x0F, 0xEF, 'A'});
  std::string block = Bytes({0x40, 0xFF, 0x40});
  for (int i = 0; i < 8; ++i) block += run4095;
  block += Bytes({'A', 0x00, 0x14});
  ASSERT_EQ(block.size(), 38u);

  std::string chunks = Bytes({38, 0}) + block;
  std::string expected = "KQPM";
  Put32(expected, static_cast<uint32_t>(chunks.size()));
  Put32(expected, Crc32OfString(chunks));
  Put32(expected, 0);
  expected += chunks;
  EXPECT_EQ(BuildBodyRecord(std::string(32768, 'A')), expected);

  // One byte more: a second chunk with a stored block of that byte.
  chunks += Bytes({2, 0, 0x80, 'A'});
  expected = "KQPM";
  Put32(expected, static_cast<uint32_t>(chunks.size()));
  Put32(expected, Crc32OfString(chunks));
  Put32(expected, 0);
  expected += chunks;
  EXPECT_EQ(BuildBodyRecord(std::string(32769, 'A')), expected);

  std::string body;
  ASSERT_TRUE(DecodeBodyChunks(std::string_view(expected).substr(16), 32769, body));
  EXPECT_EQ(body, std::string(32769, 'A'));
}

TEST(MsgBaseLayoutTest, EmptyBodyHasNoChunks) {
  std::string expected = "KQPM";
  Put32(expected, 0);
  Put32(expected, 0);  // CRC-32 of nothing
  Put32(expected, 0);
  EXPECT_EQ(BuildBodyRecord(""), expected);
}

// A small area written through the area: one mail whose body and header do
// not compress, so both are stored blocks and every byte is known.
TEST(MsgBaseLayoutTest, SmallAreaFilesByteForByte) {
  TempDir dir;
  BodySpec entry;  // node and net numbers, date and names without repeats
  uint16_t textOffset = 0;
  const std::string body = MakeBody(entry, &textOffset);
  ASSERT_EQ(body.size(), 68u);
  ASSERT_EQ(textOffset, 57);

  TMsgHeader h;
  h.Reserved0 = 0x04030201;
  h.OrigAddr = {2, 5020, 17, 3};
  h.DestAddr = {1, 104, 42, 9};
  h.MsgIdCrc = 0x8899AABB;
  h.ReplyCrc = 0x0C0D0E0F;
  h.FromName = "Point User on a very long nickname!";  // 35 characters
  h.ToName = "Sysop of the node with a long name.";
  h.Subject = "A subject of seventy-one characters, written to fill its whole field up.";
  h.AreaName = "SU.GENERAL.TALKS.ABOUT.EVERYTHING.AND.NOTHING.AT.AL";
  h.Created = 0x5F6E7D8C;
  h.Tossed = 0x1A2B3C4D;
  h.Reserved232 = 0x31415926;
  h.MsgIdNumber = 0x27182818;
  h.ReplyNumber = 0x16180339;
  h.TextOffset = textOffset;
  ASSERT_EQ(h.FromName.Length, 35);
  ASSERT_EQ(h.Subject.Length, 71);
  ASSERT_EQ(h.AreaName.Length, 51);

  TArea area(dir.Path(), "TEST.ECHO", "TEST.ECHO");
  auto mail = std::make_unique<TMail>(body, h);
  mail->Header.Flags = MsgFlag::Unread | MsgFlag::ToSysop;
  area.QueueMail(std::move(mail), false);  // unstamped, to keep the dates known
  ASSERT_TRUE(area.WriteQueuedMail());

  // The header as stored: BodyOffset 4 (just after "KQPB"), BodyLength 68.
  std::string record(256, '\0');
  auto put = [&](size_t at, const std::string& bytes) { record.replace(at, bytes.size(), bytes); };
  put(0, Bytes({1, 2, 3, 4}));
  put(4, Bytes({2, 0, 0x9C, 0x13, 17, 0, 3, 0, 1, 0, 104, 0, 42, 0, 9, 0}));
  put(20, Bytes({0xBB, 0xAA, 0x99, 0x88, 0x0F, 0x0E, 0x0D, 0x0C}));
  put(28, std::string(1, 35) + "Point User on a very long nickname!");
  put(64, std::string(1, 35) + "Sysop of the node with a long name.");
  put(100, std::string(1, 71) +
               "A subject of seventy-one characters, written to fill its whole field up");
  put(172, std::string(1, 51) + "SU.GENERAL.TALKS.ABOUT.EVERYTHING.AND.NOTHING.AT.AL");
  put(224, Bytes({0x8C, 0x7D, 0x6E, 0x5F, 0x4D, 0x3C, 0x2B, 0x1A}));
  put(232, Bytes({0x26, 0x59, 0x41, 0x31, 0x18, 0x28, 0x18, 0x27, 0x39, 0x03, 0x18, 0x16}));
  put(244, Bytes({57, 0, 68, 0, 0, 0, 4, 0, 0, 0, 0x14, 0x00}));

  std::string index = "KQPI" + Bytes({1, 0, 0, 0}) + Bytes({0x01, 0x01, 0x80}) + record;
  std::string chunks = Bytes({69, 0, 0x80}) + body;
  std::string bodyFile =
      "KQPB"
      "KQPM" +
      Bytes({71, 0, 0, 0});
  Put32(bodyFile, Crc32OfString(chunks));
  Put32(bodyFile, 0);
  bodyFile += chunks;

  EXPECT_EQ(dir.Read("TEST.ECHO.PackedIndex"), index);
  EXPECT_EQ(dir.Read("TEST.ECHO.PackedBody"), bodyFile);

  // Rewriting the index gives the same bytes: one chunk of one record.
  ASSERT_TRUE(area.OpenIndex());
  area.MarkIndexChanged();
  area.CloseIndex();
  EXPECT_EQ(dir.Read("TEST.ECHO.PackedIndex"), index);
  EXPECT_FALSE(std::ifstream(dir / "TEST.ECHO.$PX").good());
}

TEST(MsgBaseLayoutTest, IndexChunksHold128Records) {
  std::vector<TMsgHeader> headers(300);
  for (size_t i = 0; i < headers.size(); ++i) headers[i].MsgIdNumber = static_cast<uint32_t>(i);
  std::string file = EncodePackedIndex(headers.data(), headers.size());
  EXPECT_EQ(file.substr(0, 8), "KQPI" + Bytes({0x2C, 0x01, 0, 0}));
  // Walk the chunks: 128, 128 and 44 records.
  std::vector<size_t> sizes;
  size_t pos = 8;
  while (pos + 2 <= file.size()) {
    size_t len = static_cast<uint8_t>(file[pos]) | (static_cast<uint8_t>(file[pos + 1]) << 8);
    sizes.push_back(Lzrw1KHDecompress(std::string_view(file).substr(pos + 2, len), 32768).size() /
                    256);
    pos += 2 + len;
  }
  EXPECT_EQ(pos, file.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{128, 128, 44}));
  std::vector<TMsgHeader> back;
  ASSERT_TRUE(DecodePackedIndex(file, back));
  EXPECT_EQ(back, headers);
}

TEST(MsgBaseLayoutTest, ReaderDoesNotRelyOnTheCut) {
  // Three records cut into chunks of 100, 300 and 368 bytes.
  std::vector<TMsgHeader> headers(3);
  std::string raw;
  for (int i = 0; i < 3; ++i) {
    headers[i].Subject = "record " + std::to_string(i);
    headers[i].Flags = static_cast<uint16_t>(i + 1);
    auto r = headers[i].Encode();
    raw.append(r.begin(), r.end());
  }
  std::string file = "KQPI";
  Put32(file, 3);
  size_t at = 0;
  for (size_t piece : {100u, 300u, 368u}) {
    Put16(file, static_cast<uint16_t>(piece + 1));
    file += '\x80';
    file += raw.substr(at, piece);
    at += piece;
  }
  std::vector<TMsgHeader> back;
  ASSERT_TRUE(DecodePackedIndex(file, back));
  EXPECT_EQ(back, headers);
}

}  // namespace
}  // namespace velmaris::test
