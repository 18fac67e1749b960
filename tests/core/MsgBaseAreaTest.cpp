// Reading and appending messages through an area.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "core/Exceptions.h"
#include "core/MessageBase.h"
#include "core/WinRegistry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

using platform::mbAbort;
using platform::mbRetry;

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

class MsgBaseAreaTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetPrompter(&prompter); }
  void TearDown() override { platform::SetPrompter(nullptr); }

  // Appends mails first..last-1 (as made by MakeMail) to the area.
  void Append(TArea& area, int first, int last, size_t textSize = 300) {
    for (int n = first; n < last; ++n) {
      auto mail = MakeMail(n, textSize + static_cast<size_t>(n % 7) * 50);
      expected.push_back(mail->Clone());
      area.QueueMail(std::move(mail), false);
    }
    ASSERT_TRUE(area.WriteQueuedMail());
  }

  // Every message reads back as written.
  void ExpectReadsBack(TArea& area) {
    ASSERT_TRUE(area.OpenIndex());
    ASSERT_EQ(area.Count, static_cast<int32_t>(expected.size()));
    ASSERT_TRUE(area.OpenBody());
    for (int i = 0; i < area.Count; ++i) {
      auto mail = area.ReadMail(i);
      const TMail& want = *expected[static_cast<size_t>(i)];
      EXPECT_EQ(mail->Body, want.Body) << i;
      TMsgHeader header = want.Header;
      header.BodyOffset = mail->Header.BodyOffset;
      header.BodyLength = static_cast<uint32_t>(want.Body.size());
      EXPECT_EQ(mail->Header, header) << i;
      EXPECT_EQ(area.GetHeader(i), mail->Header) << i;
    }
    area.CloseBody();
    area.CloseIndex();
  }

  TempDir dir;
  ActingPrompter prompter;
  std::vector<std::unique_ptr<TMail>> expected;
};

TEST_F(MsgBaseAreaTest, MissingIndexOpensEmptyAndFirstMailCreatesBothFiles) {
  TArea area(dir.Path(), "NEW", "NEW");
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.Count, 0);
  area.CloseIndex();
  // The last close writes an index with count 0.
  EXPECT_EQ(dir.Read("NEW.PackedIndex"), std::string("KQPI\0\0\0\0", 8));
  std::remove((dir / "NEW.PackedIndex").c_str());

  Append(area, 0, 1);
  EXPECT_TRUE(Exists(dir / "NEW.PackedIndex"));
  EXPECT_EQ(dir.Read("NEW.PackedBody").substr(0, 8), "KQPBKQPM");
  EXPECT_EQ(area.Count, 1);
  ExpectReadsBack(area);
}

TEST_F(MsgBaseAreaTest, TwoHundredThenThreeReadBackIdentically) {
  TArea area(dir.Path(), "BIG", "BIG");
  Append(area, 0, 200);
  // Rewrite the index whole: two chunks (128 + 72 records).
  ASSERT_TRUE(area.OpenIndex());
  area.CloseIndex();
  const std::string merged = dir.Read("BIG.PackedIndex");

  Append(area, 200, 203);
  const std::string index = dir.Read("BIG.PackedIndex");
  EXPECT_EQ(Get32(index, 4), 203u);
  // The earlier chunks stay as they were; three one-record chunks follow.
  EXPECT_EQ(index.substr(8, merged.size() - 8), merged.substr(8));
  size_t pos = merged.size();
  int chunks = 0;
  while (pos < index.size()) {
    pos += 2 + (static_cast<uint8_t>(index[pos]) | (static_cast<uint8_t>(index[pos + 1]) << 8));
    ++chunks;
  }
  EXPECT_EQ(pos, index.size());
  EXPECT_EQ(chunks, 3);
  ExpectReadsBack(area);
}

TEST_F(MsgBaseAreaTest, AppendingWhileTheIndexIsOpenKeepsItOpen) {
  TArea area(dir.Path(), "OPEN", "OPEN");
  Append(area, 0, 5);
  ASSERT_TRUE(area.OpenIndex());
  ASSERT_TRUE(area.OpenIndex());
  area.GetHeader(1).Flags |= MsgFlag::Deleted;  // a change held in memory
  area.MarkIndexChanged();
  expected[1]->Header.Flags |= MsgFlag::Deleted;
  Append(area, 5, 8);
  EXPECT_TRUE(area.IsIndexLoaded());
  EXPECT_EQ(area.IndexUses(), 2);
  EXPECT_EQ(area.Count, 8);
  EXPECT_EQ(area.HeaderList().size(), 8u);
  EXPECT_EQ(area.BodyHandle, TArea::kBodyClosed);
  area.CloseIndex();
  area.CloseIndex();
  EXPECT_FALSE(area.IsIndexLoaded());
  ExpectReadsBack(area);
}

TEST_F(MsgBaseAreaTest, CrcMismatchGivesTheSubstituteAndLeavesOthersReadable) {
  TArea area(dir.Path(), "CRC", "CRC");
  Append(area, 0, 3);
  ASSERT_TRUE(area.OpenIndex());
  const uint32_t victim = area.GetHeader(1).BodyOffset;
  area.GetHeader(1).Reserved0 = 0x0A0B0C0D;
  std::string body = dir.Read("CRC.PackedBody");
  body[victim + 16 + 5] ^= 0x01;  // a bit inside the stored chunks
  dir.Write("CRC.PackedBody", body);

  auto bad = area.ReadMail(1);
  EXPECT_EQ(bad->Header.FromName.Str(), "Messagebase Controller");
  EXPECT_EQ(bad->Header.ToName.Str(), "Current User");
  EXPECT_EQ(bad->Header.Subject.Str(), "Messagebase Format Error");
  EXPECT_EQ(bad->Header.BodyOffset, TMsgHeader::NotStored);
  EXPECT_EQ(bad->Header.Reserved0, 0x0A0B0C0Du);
  const std::string text = bad->Body.substr(bad->Header.TextOffset);
  EXPECT_NE(
      text.find("This Message contains invalid data (CRC failure).\rPlease delete the message."),
      std::string::npos);
  EXPECT_TRUE(CheckBodyLayout(bad->Body, bad->Header.TextOffset));
  EXPECT_EQ(area.ReadMail(0)->Body, expected[0]->Body);
  EXPECT_EQ(area.ReadMail(2)->Body, expected[2]->Body);
  area.CloseIndex();
}

TEST_F(MsgBaseAreaTest, ReadingRebuildsTheAttributeFromTheFlags) {
  struct {
    const char* area;
    uint16_t flags;
    uint16_t attribute;
  } cases[] = {
      {"NETMAIL", 0, FtsAttr::Private},
      {"netmail", 0, 0},
      {"ECHO", MsgFlag::Attach, FtsAttr::Crash | FtsAttr::FileAttached},
      {"ECHO", MsgFlag::Request, FtsAttr::Crash | FtsAttr::FileRequest | FtsAttr::KillSent},
      {"NETMAIL", MsgFlag::Crash | MsgFlag::Hold, FtsAttr::Private},
  };
  int n = 0;
  for (auto& c : cases) {
    TArea area(dir.Path(), c.area, "ATTR" + std::to_string(n));
    auto mail = MakeMail(n++);
    mail->SetAttribute(0xFFFF);  // whatever the file holds is replaced
    mail->Header.Flags = c.flags;
    area.QueueMail(std::move(mail), false);
    ASSERT_TRUE(area.WriteQueuedMail());
    ASSERT_TRUE(area.OpenIndex());
    auto read = area.ReadMail(0);
    EXPECT_EQ(read->GetAttribute(), c.attribute) << c.area << " " << c.flags;
    EXPECT_EQ(read->Header.Flags, c.flags);
    area.CloseIndex();
  }
}

TEST_F(MsgBaseAreaTest, AppendKeepsTheFlagCounters) {
  TArea area(dir.Path(), "FLAGS", "FLAGS");
  const uint16_t flags[] = {MsgFlag::Unread, MsgFlag::Unread | MsgFlag::ToSysop, MsgFlag::Send,
                            MsgFlag::New | MsgFlag::Unread | MsgFlag::ToSysop, 0};
  for (int i = 0; i < 5; ++i) {
    auto mail = MakeMail(i);
    mail->Header.Flags = flags[i];
    area.QueueMail(std::move(mail), false);
  }
  ASSERT_TRUE(area.WriteQueuedMail());
  EXPECT_EQ(area.Count, 5);
  EXPECT_EQ(area.WrittenCount, 5);
  EXPECT_EQ(area.UnreadCount, 3);
  EXPECT_EQ(area.ToSysopCount, 2);
  EXPECT_EQ(area.UnreadToSysopCount, 2);
  EXPECT_EQ(area.SendCount, 1);
  EXPECT_EQ(area.NewUnreadCount, 1);
  EXPECT_EQ(area.NewUnreadToSysopCount, 1);
  EXPECT_EQ(area.QueuedCount(), 0u);
}

TEST_F(MsgBaseAreaTest, MailsMarkedAsImportAreNewOnTheNextOpen) {
  TArea area(dir.Path(), "IMPORT", "IMPORT");
  Append(area, 0, 3);
  for (int n = 3; n < 5; ++n) {
    auto mail = MakeMail(n);
    mail->Header.Flags = MsgFlag::Unread;
    area.QueueMail(std::move(mail));
  }
  ASSERT_TRUE(area.WriteQueuedMail(true, true));
  EXPECT_EQ(area.LastImport, 3);
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.LastImport, -1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ((area.GetHeader(i).Flags & MsgFlag::New) != 0, i >= 3) << i;
  EXPECT_EQ(area.NewUnreadCount, 2);
  EXPECT_NE(area.GetHeader(4).Tossed, 0);  // stamped by QueueMail
  area.CloseIndex();
}

TEST_F(MsgBaseAreaTest, BodyWriteAbortedGivesUpThatMailOnly) {
  TArea area(dir.Path(), "ABORT", "ABORT");
  Append(area, 0, 2);
  const std::string bodyBefore = dir.Read("ABORT.PackedBody");
  const std::string indexBefore = dir.Read("ABORT.PackedIndex");
  {
    // Room for a small mail, not for a large one.
    FileSizeLimit limit(bodyBefore.size() + 2000);
    prompter.steps = {{mbRetry, nullptr}, {mbAbort, nullptr}};
    area.QueueMail(MakeMail(50, 20000), false);
    auto small = MakeMail(51, 100);
    expected.push_back(small->Clone());
    area.QueueMail(std::move(small), false);
    EXPECT_FALSE(area.WriteQueuedMail());
  }
  EXPECT_EQ(prompter.texts.size(), 2u);
  EXPECT_EQ(area.Count, 3);
  const std::string bodyAfter = dir.Read("ABORT.PackedBody");
  EXPECT_EQ(bodyAfter.substr(0, bodyBefore.size()), bodyBefore);
  EXPECT_LT(bodyAfter.size(), bodyBefore.size() + 2000);
  ExpectReadsBack(area);
}

TEST_F(MsgBaseAreaTest, RetryAfterMakingRoomWritesEverything) {
  TArea area(dir.Path(), "RETRY", "RETRY");
  Append(area, 0, 1);
  const size_t bodySize = dir.Read("RETRY.PackedBody").size();
  {
    FileSizeLimit limit(bodySize + 100);
    prompter.steps = {{mbRetry, [&] { limit.Lift(); }}};
    for (int n = 1; n < 4; ++n) {
      auto mail = MakeMail(n, 3000);
      expected.push_back(mail->Clone());
      area.QueueMail(std::move(mail), false);
    }
    EXPECT_TRUE(area.WriteQueuedMail());
  }
  EXPECT_EQ(prompter.texts.size(), 1u);
  ExpectReadsBack(area);
}

TEST_F(MsgBaseAreaTest, IndexWriteAbortedLeavesBothFilesAsBeforeThatMail) {
  TArea area(dir.Path(), "IDX", "IDX");
  // An index larger than the body file: headers with incompressible names,
  // tiny bodies.
  for (int n = 0; n < 60; ++n) {
    auto mail = MakeMail(n, 2);
    std::string noise;
    uint32_t x = 77u + static_cast<uint32_t>(n) * 7919u;
    for (int i = 0; i < 71; ++i) {
      x = x * 1664525u + 1013904223u;
      noise += static_cast<char>(33 + (x >> 24) % 90);
    }
    mail->Header.Subject = noise;
    mail->Header.FromName = noise.substr(10);
    mail->Header.ToName = noise.substr(30);
    mail->Header.AreaName = noise.substr(5);
    expected.push_back(mail->Clone());
    area.QueueMail(std::move(mail), false);
  }
  ASSERT_TRUE(area.WriteQueuedMail());
  ASSERT_TRUE(area.OpenIndex());
  area.CloseIndex();
  const std::string bodyBefore = dir.Read("IDX.PackedBody");
  const std::string indexBefore = dir.Read("IDX.PackedIndex");
  ASSERT_GT(indexBefore.size(), bodyBefore.size() + 400);
  {
    // The bodies fit, the index chunk of the second mail does not.
    FileSizeLimit limit(indexBefore.size() + 150);
    prompter.steps = {{mbRetry, nullptr}, {mbAbort, nullptr}};
    auto first = MakeMail(100, 2);
    expected.push_back(first->Clone());
    area.QueueMail(std::move(first), false);
    auto second = MakeMail(101, 2);
    std::string noise;
    for (int i = 0; i < 71; ++i) noise += static_cast<char>(33 + (i * 37 + 11) % 90);
    second->Header.Subject = noise;
    second->Header.FromName = noise.substr(3);
    second->Header.ToName = noise.substr(7);
    area.QueueMail(std::move(second), false);
    area.QueueMail(MakeMail(102, 2), false);  // dropped after the abort
    EXPECT_FALSE(area.WriteQueuedMail());
  }
  ASSERT_EQ(prompter.texts.size(), 2u);
  EXPECT_NE(prompter.texts[0].find("probably full.Please ensure"), std::string::npos);
  EXPECT_NE(prompter.texts[0].find(dir / "IDX" + ".Index has enough free space"),
            std::string::npos);
  EXPECT_EQ(area.QueuedCount(), 0u);
  EXPECT_EQ(area.Count, 61);
  // Both files hold the first new mail and nothing of the second.
  const std::string indexAfter = dir.Read("IDX.PackedIndex");
  EXPECT_EQ(Get32(indexAfter, 4), 61u);
  EXPECT_EQ(indexAfter.substr(8, indexBefore.size() - 8), indexBefore.substr(8));
  const std::string bodyAfter = dir.Read("IDX.PackedBody");
  EXPECT_EQ(bodyAfter.substr(0, bodyBefore.size()), bodyBefore);
  ExpectReadsBack(area);
  // The size of the body file is exactly the records the index refers to.
  ASSERT_TRUE(area.OpenIndex());
  const TMsgHeader& last = area.GetHeader(60);
  EXPECT_EQ(bodyAfter.size(), last.BodyOffset + 16 + Get32(bodyAfter, last.BodyOffset + 4));
  area.CloseIndex();
}

TEST_F(MsgBaseAreaTest, InterruptedAppendLosesOnlyTheMailBeingWritten) {
  TArea area(dir.Path(), "KILL", "KILL");
  Append(area, 0, 4);
  // A run that died after writing a body and part of its index chunk, before
  // the count was brought up to date.
  std::string index = dir.Read("KILL.PackedIndex");
  std::string torn = EncodeIndexChunk(MakeMail(99)->Header);
  index += torn.substr(0, torn.size() / 2);
  dir.Write("KILL.PackedIndex", index);
  std::string body = dir.Read("KILL.PackedBody");
  body += BuildBodyRecord(MakeMail(99)->Body);
  dir.Write("KILL.PackedBody", body);

  TArea reopened(dir.Path(), "KILL", "KILL");
  ASSERT_TRUE(reopened.OpenIndex());
  EXPECT_EQ(reopened.Count, 4);  // the counted records still read
  reopened.CloseIndex();
  Append(reopened, 4, 6);
  ExpectReadsBack(reopened);
}

TEST_F(MsgBaseAreaTest, FailedIndexRewriteKeepsTheOldFile) {
  TArea area(dir.Path(), "REWRITE", "REWRITE");
  Append(area, 0, 30);
  const std::string before = dir.Read("REWRITE.PackedIndex");
  ASSERT_TRUE(area.OpenIndex());
  for (int i = 0; i < area.Count; ++i) area.GetHeader(i).Subject = std::string(71, 'a' + i % 26);
  area.MarkIndexChanged();
  {
    FileSizeLimit limit(100);
    EXPECT_FALSE(area.Base().WriteIndex(area.HeaderList(), area.HeaderList().size()));
    area.CloseIndex();  // the last close fails too: headers stay in memory
  }
  EXPECT_EQ(dir.Read("REWRITE.PackedIndex"), before);
  EXPECT_FALSE(Exists(dir / "REWRITE.$PX"));
  EXPECT_TRUE(area.IsIndexChanged());
  EXPECT_TRUE(area.IsIndexLoaded());
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.GetHeader(3).Subject.Str(), std::string(71, 'd'));
  area.CloseIndex();
  EXPECT_FALSE(area.IsIndexLoaded());
  TArea reread(dir.Path(), "REWRITE", "REWRITE");
  ASSERT_TRUE(reread.OpenIndex());
  EXPECT_EQ(reread.GetHeader(3).Subject.Str(), std::string(71, 'd'));
  reread.CloseIndex();
}

TEST_F(MsgBaseAreaTest, HeaderAccessOutsideTheIndexRaises) {
  TArea area(dir.Path(), "RANGE", "RANGE");
  Append(area, 0, 2);
  EXPECT_THROW(area.GetHeader(0), EAreaHeaderMsgIndexOutOfRange);  // not loaded
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_THROW(area.GetHeader(2), EAreaHeaderMsgIndexOutOfRange);
  EXPECT_THROW(area.GetHeader(-1), EAreaHeaderMsgIndexOutOfRange);
  // Reading outside gives the substitute, never a crash.
  EXPECT_EQ(area.ReadMail(5)->Header.BodyOffset, TMsgHeader::NotStored);
  area.CloseIndex();
}

// A worker queues into an area (the tosser into REPORT) while the main
// thread stores other mails under the area's lock (a report): each mail is
// stored once, the worker's only by its own write.
TEST_F(MsgBaseAreaTest, MailsQueuedByAWorkerStayApartFromMailsStoredMeanwhile) {
  TArea area(dir.Path(), "REPORT", "REPORT");
  constexpr int kQueued = 300, kStored = 40;
  std::thread worker([&] {
    for (int n = 0; n < kQueued; ++n) area.QueueMail(MakeMail(n), false);
  });
  for (int n = kQueued; n < kQueued + kStored; ++n) {
    EXPECT_TRUE(area.Lock(true));
    EXPECT_TRUE(area.StoreMail(MakeMail(n)));
    area.Unlock();
  }
  worker.join();
  EXPECT_EQ(area.Count, kStored);
  EXPECT_EQ(area.QueuedCount(), static_cast<size_t>(kQueued));
  ASSERT_TRUE(area.WriteQueuedMail());
  ASSERT_TRUE(area.OpenIndex());
  std::multiset<std::string> subjects;
  for (const TMsgHeader& h : area.HeaderList()) subjects.insert(h.Subject.Str());
  area.CloseIndex();
  EXPECT_EQ(subjects.size(), static_cast<size_t>(kQueued + kStored));
  for (int n = 0; n < kQueued + kStored; ++n)
    EXPECT_EQ(subjects.count("Subject number " + std::to_string(n)), 1u) << n;
}

}  // namespace
}  // namespace velmaris::test
