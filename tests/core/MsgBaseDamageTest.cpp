// Damaged message base files fail cleanly: an index that does not check out
// opens with the records that can be read and is never written, a body that does not check out
// gives the substitute message; nothing crashes and nothing huge is allocated.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "core/Crc.h"
#include "core/Lzrw1KH.h"
#include "core/MessageBase.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Le32(uint32_t v) {
  std::string s;
  Put32(s, v);
  return s;
}

std::string Le16(uint16_t v) {
  std::string s;
  Put16(s, v);
  return s;
}

class MsgBaseDamageTest : public ::testing::Test {
 protected:
  // A healthy area of three mails; returns its files.
  void MakeArea() {
    TArea area(dir.Path(), "AREA", "AREA");
    for (int n = 0; n < 3; ++n) area.QueueMail(MakeMail(n, 500), false);
    ASSERT_TRUE(area.WriteQueuedMail());
    ASSERT_TRUE(area.OpenIndex());
    area.CloseIndex();
    index = dir.Read("AREA.PackedIndex");
    body = dir.Read("AREA.PackedBody");
    ASSERT_TRUE(DecodePackedIndex(index, headers));
  }
  TempDir dir;
  std::string index, body;
  std::vector<TMsgHeader> headers;
};

TEST_F(MsgBaseDamageTest, DamagedIndexOpensWithItsReadableRecordsAndIsNeverWritten) {
  MakeArea();
  const std::string chunks = index.substr(8);
  const std::string giant = Lzrw1KHCompress(std::string(600, 'x'));
  struct Case {
    const char* what;
    std::string file;
    int readable;
  } cases[] = {
      {"empty", "", 0},
      {"short head", "KQPI\x03", 0},
      {"wrong magic", "KQPX" + index.substr(4), 3},
      {"count beyond what the file can hold", "KQPI" + Le32(0xFFFFFFFF) + chunks, 3},
      {"count one more than the chunks give", "KQPI" + Le32(4) + chunks, 3},
      {"last chunk cut off", index.substr(0, index.size() - 5), 2},
      {"length word cut off", "KQPI" + Le32(1) + "\x10", 0},
      {"zero-length chunk", "KQPI" + Le32(1) + Le16(0) + chunks, 0},
      {"unknown block flag", "KQPI" + Le32(1) + Le16(3) + "\x11\x00\x00", 0},
      {"chunk giving more than the records",
       "KQPI" + Le32(1) + Le16(static_cast<uint16_t>(giant.size())) + giant, 0},
      {"copy reaching before the output",
       "KQPI" + Le32(1) + Le16(6) + std::string("\x40\x80\x00\x01\x00\x00", 6), 0},
      {"a damaged chunk amid sound ones",
       "KQPI" + Le32(3) + EncodeIndexChunk(headers[0]) + Le16(3) + std::string("\x11\0\0", 3) +
           EncodeIndexChunk(headers[2]),
       2},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir.Write("AREA.PackedIndex", c.file);
    TArea area(dir.Path(), "AREA", "AREA");
    area.RecountFlags();
    EXPECT_EQ(area.Count, c.readable);
    EXPECT_NE(area.IndexDamage.find("is damaged"), std::string::npos);
    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ(area.Count, c.readable);
    EXPECT_NE(area.IndexDamage.find(std::to_string(c.readable) + " of"), std::string::npos)
        << area.IndexDamage;
    // The readable records lead to their bodies (the last is the third
    // message unless the third was cut off); a change cannot be stored.
    if (c.readable > 0) {
      const size_t last = c.file.size() == index.size() - 5 ? 1 : 2;
      EXPECT_EQ(area.ReadMail(c.readable - 1)->Header.BodyOffset, headers[last].BodyOffset);
      area.ChangeHeaderFlags(0, MsgFlag::Unread, FlagOperation::Toggle);
    }
    area.CloseIndex();
    std::vector<TMsgHeader> out;
    EXPECT_FALSE(area.Base().ReadIndex(out));
    // Appending refuses an index it cannot follow, names it, and changes
    // nothing; neither does closing.
    area.QueueMail(MakeMail(9), false);
    EXPECT_FALSE(area.WriteQueuedMail());
    EXPECT_NE(area.WriteError.find("is damaged"), std::string::npos) << area.WriteError;
    EXPECT_EQ(dir.Read("AREA.PackedIndex"), c.file);
    EXPECT_EQ(dir.Read("AREA.PackedBody"), body);
  }
}

TEST_F(MsgBaseDamageTest, TrailingBytesAfterTheCountedRecordsAreIgnored) {
  MakeArea();
  dir.Write("AREA.PackedIndex", index + "garbage");
  TArea area(dir.Path(), "AREA", "AREA");
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.Count, 3);
  area.CloseIndex();
}

TEST_F(MsgBaseDamageTest, DamagedBodiesGiveTheSubstitute) {
  MakeArea();
  const uint32_t at = headers[1].BodyOffset;
  const uint32_t stored = Get32(body, at + 4);
  const std::string rec1 = body.substr(at, 16 + stored);
  auto withRecord = [&](const std::string& record) {
    std::string b = body.substr(0, at) + record;
    return b;
  };
  // A record with a correct CRC around the given chunks.
  auto record = [](const std::string& chunks) {
    return "KQPM" + Le32(static_cast<uint32_t>(chunks.size())) + Le32(Crc32OfString(chunks)) +
           Le32(0) + chunks;
  };
  auto storedChunk = [](const std::string& bytes) {
    return Le16(static_cast<uint16_t>(bytes.size() + 1)) + "\x80" + bytes;
  };
  uint16_t textOffset = 0;
  const std::string goodBody = MakeBody(BodySpec{}, &textOffset);

  struct Case {
    const char* what;
    std::string bodyFile;
    std::function<void(TMsgHeader&)> header;
  } cases[] = {
      {"offset beyond the file", body, [](TMsgHeader& h) { h.BodyOffset = 0xFFFFFFF0; }},
      {"offset inside the last 15 bytes", body,
       [&](TMsgHeader& h) { h.BodyOffset = static_cast<uint32_t>(body.size() - 15); }},
      {"wrong record magic", body, [](TMsgHeader& h) { h.BodyOffset = 0; }},
      {"stored length beyond the file", withRecord("KQPM" + Le32(stored + 1) + rec1.substr(8)),
       nullptr},
      {"stored length huge", withRecord("KQPM" + Le32(0x7FFFFFFF) + rec1.substr(8)), nullptr},
      {"CRC mismatch", withRecord(rec1.substr(0, 8) + Le32(Get32(rec1, 8) ^ 1) + rec1.substr(12)),
       nullptr},
      {"body length huge", body, [](TMsgHeader& h) { h.BodyLength = 0xFFFFFFFF; }},
      {"body length one more than the chunks give", body, [](TMsgHeader& h) { ++h.BodyLength; }},
      {"body length one less than the chunks give", body, [](TMsgHeader& h) { --h.BodyLength; }},
      {"text offset beyond the body", withRecord(record(storedChunk(goodBody))),
       [&](TMsgHeader& h) {
         h.BodyLength = static_cast<uint32_t>(goodBody.size());
         h.TextOffset = static_cast<uint16_t>(goodBody.size());
       }},
      {"text offset inside the fixed part", withRecord(record(storedChunk(goodBody))),
       [&](TMsgHeader& h) {
         h.BodyLength = static_cast<uint32_t>(goodBody.size());
         h.TextOffset = 10;
       }},
      {"subject not ended inside the body", withRecord(record(storedChunk(goodBody.substr(0, 55)))),
       [&](TMsgHeader& h) {
         h.BodyLength = 55;
         h.TextOffset = 40;
       }},
      {"body shorter than the fixed part", withRecord(record(storedChunk(goodBody.substr(0, 20)))),
       [&](TMsgHeader& h) {
         h.BodyLength = 20;
         h.TextOffset = 0;
       }},
      {"chunk cut off", withRecord(record(storedChunk(goodBody).substr(0, 30))),
       [&](TMsgHeader& h) { h.BodyLength = static_cast<uint32_t>(goodBody.size()); }},
      {"body length far beyond what the chunks give", withRecord(record([&] {
         std::string chunks;
         for (int i = 0; i < 13; ++i) chunks += storedChunk(std::string(32768, 'y'));
         return chunks;
       }())),
       [&](TMsgHeader& h) { h.BodyLength = 0xF0000000; }},
      {"chunk of more than 32768 bytes", withRecord(record(storedChunk(std::string(40000, 'x')))),
       [&](TMsgHeader& h) { h.BodyLength = 40000; }},
  };
  for (auto& c : cases) {
    std::vector<TMsgHeader> hs = headers;
    if (c.header) c.header(hs[1]);
    dir.Write("AREA.PackedIndex", EncodePackedIndex(hs.data(), hs.size()));
    dir.Write("AREA.PackedBody", c.bodyFile);
    TArea area(dir.Path(), "AREA", "AREA");
    ASSERT_TRUE(area.OpenIndex()) << c.what;
    EXPECT_EQ(area.Base().ReadStoredMail(area.GetHeader(1), -1), nullptr) << c.what;
    EXPECT_EQ(area.ReadMail(1)->Header.BodyOffset, TMsgHeader::NotStored) << c.what;
    // The neighbour before the damaged record stays readable.
    EXPECT_NE(area.ReadMail(0)->Header.BodyOffset, TMsgHeader::NotStored) << c.what;
    area.CloseIndex();
  }
}

TEST_F(MsgBaseDamageTest, MissingBodyFileGivesSubstitutes) {
  MakeArea();
  std::remove((dir / "AREA.PackedBody").c_str());
  TArea area(dir.Path(), "AREA", "AREA");
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_FALSE(area.OpenBody());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(area.ReadMail(i)->Header.BodyOffset, TMsgHeader::NotStored);
  area.CloseIndex();
}

TEST_F(MsgBaseDamageTest, TornBodyFileIsRepairedOnAppend) {
  TArea area(dir.Path(), "TORN", "TORN");
  dir.Write("TORN.PackedBody", "KQ");  // cut off while it was being created
  area.QueueMail(MakeMail(1), false);
  ASSERT_TRUE(area.WriteQueuedMail());
  EXPECT_EQ(dir.Read("TORN.PackedBody").substr(0, 8), "KQPBKQPM");
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.GetHeader(0).BodyOffset, 4u);
  EXPECT_EQ(area.ReadMail(0)->Body, MakeMail(1)->Body);
  area.CloseIndex();
}

}  // namespace
}  // namespace velmaris::test
