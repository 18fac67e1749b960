// Maintenance, purging, optimisation (with its crash recovery), the reply
// table and the display test of an area, on real message base files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/AreaFixtures.h"
#include "core/AreaMaintain.h"
#include "core/Crc.h"
#include "core/MessageBase.h"
#include "core/MsgBaseFixtures.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct MailSpec {
  std::string date = "06 Dec 26  19:45:00";
  uint16_t flags = 0;
  std::string to = "Someone";
  std::string text = "Some text.\r";
};

std::unique_ptr<TMail> Mail(int n, const MailSpec& entry) {
  BodySpec b;
  b.date = entry.date;
  b.to = entry.to;
  b.from = "Sender " + std::to_string(n);
  b.subject = "Subject " + std::to_string(n);
  b.text = entry.text;
  b.attribute = 0;
  uint16_t textOffset = 0;
  std::string body = MakeBody(b, &textOffset);
  TMsgHeader h;
  h.FromName = b.from;
  h.ToName = b.to;
  h.Subject = b.subject;
  h.TextOffset = textOffset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.Flags = entry.flags;
  return mail;
}

class AreaMaintainTest : public ::testing::Test {
 protected:
  void Fill(TArea& area, const std::vector<MailSpec>& entries) {
    for (size_t i = 0; i < entries.size(); ++i)
      area.QueueMail(Mail(static_cast<int>(i), entries[i]));
    ASSERT_TRUE(area.WriteQueuedMail());
  }
  std::vector<std::string> Subjects(TArea& area) {
    std::vector<std::string> out;
    EXPECT_TRUE(area.OpenIndex());
    for (int i = 0; i < area.Count; ++i) out.push_back(area.ReadMail(i)->Header.Subject.Str());
    area.CloseIndex();
    return out;
  }
  // Every message reads back with its own body (the subject in the body
  // matches the header's), none as the substitute.
  void ExpectAllReadable(TArea& area) {
    ASSERT_TRUE(area.OpenIndex());
    for (int i = 0; i < area.Count; ++i) {
      auto mail = area.ReadMail(i);
      EXPECT_NE(mail->Header.BodyOffset, TMsgHeader::NotStored) << i;
      EXPECT_NE(mail->Body.find(area.GetHeader(i).Subject.Str()), std::string::npos) << i;
    }
    area.CloseIndex();
  }
  // Deletes every step-th message, the first included, and purges them.
  void PurgeEvery(TArea& area, int step) {
    ASSERT_TRUE(area.OpenIndex());
    for (int i = 0; i < area.Count; i += step) area.MarkDeleted(i);
    area.PurgeDeleted();
    area.CloseIndex();
  }
  // Optimises under the exclusive lock; whether it succeeded.
  bool Optimize(TArea& area) {
    EXPECT_TRUE(area.Lock(true));
    const bool ok = area.Optimize();
    area.Unlock();
    return ok;
  }
  std::string Bytes(TArea& area, const char* ext) {
    return platform::FileExists(area.FilePath(ext)) ? platform::ReadFile(area.FilePath(ext)) : "";
  }

  TempDir dir;
  ShellScope shell;
};

TEST(MaintenanceDays, DayNumbersAndDateTexts) {
  EXPECT_EQ(MaintenanceDayNumber(2026, 1, 1), 2026 * 365 + 1);
  EXPECT_EQ(MaintenanceDayNumber(2026, 3, 1), 2026 * 365 + 59 + 1);  // leap years ignored
  const struct {
    const char* text;
    bool ok;
    int day;
  } cases[] = {
      {"06 Dec 26  19:45:00", true, 2026 * 365 + 334 + 6},
      {"31 Jan 89  00:00:00", true, 2089 * 365 + 31},  // below 1990 in the 2000s
      {"01 Jan 95  00:00:00", true, 1995 * 365 + 1},
      {"06 dec 26  19:45:00", false, 0},  // month names are exact
      {"6 Dec 26  19:45:00", false, 0},
      {"06-Dec-26 19:45:00", false, 0},
      {"06 Xyz 26", false, 0},
      {"06 Dec", false, 0},
  };
  for (const auto& c : cases) {
    int day = 0;
    EXPECT_EQ(MaintenanceDayOfDate(c.text, day), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(day, c.day) << c.text;
    }
  }
}

TEST_F(AreaMaintainTest, AgeDeletesOldMessagesThatPassTheFlagTest) {
  // Today 06 Dec 2026; MaxAge 30.
  const TDateTime today = EncodeDate(2026, 12, 6);
  const struct {
    MailSpec entry;
    bool kept;
  } cases[] = {
      {{"06 Dec 26  10:00:00"}, true},                   // today
      {{"07 Nov 26  10:00:00"}, true},                   // 29 days
      {{"06 Nov 26  10:00:00"}, false},                  // 30 days
      {{"01 Jan 25  10:00:00"}, false},                  // long ago
      {{"01 Jan 25  10:00:00", MsgFlag::Unread}, true},  // protected by the filter
      {{"01 Jan 25  10:00:00", MsgFlag::ToSysop}, true},
      {{"01 Jan 25  10:00:00", MsgFlag::Send}, true},
      {{"01 Jan 25  10:00:00", MsgFlag::Sent}, true},
      {{"01 Jan 25  10:00:00", MsgFlag::Hold}, true},
      {{"01 Jan 25  10:00:00", MsgFlag::Kill}, false},  // not in the mask
      {{"garbled date text  "}, true},                  // unreadable: skipped
      {{"01 Foo 25  10:00:00"}, true},
  };
  TArea area(dir.Path(), "AGE", "AGE");
  area.ApplyAge = true;
  area.ApplyNumber = false;
  area.MaxAge = 30;
  area.MaintainFilter.FlagMask = 0x00D6;
  area.MaintainFilter.Flags = 0;
  std::vector<MailSpec> entries;
  std::vector<std::string> expected;
  for (size_t i = 0; i < std::size(cases); ++i) {
    entries.push_back(cases[i].entry);
    if (cases[i].kept) expected.push_back("Subject " + std::to_string(i));
  }
  Fill(area, entries);
  ASSERT_TRUE(area.Lock(true));
  area.MaintainMessages(today);
  area.Unlock();
  EXPECT_EQ(Subjects(area), expected);
}

TEST_F(AreaMaintainTest, NumberLimitKeepsTheNewestAndMessagesToTheUser) {
  // 1005 messages, the first three to the user, MaxNumber 1000: positions
  // 3 to 7 go.
  TArea area(dir.Path(), "NUM", "NUM");
  area.ApplyAge = false;
  area.MaxNumber = 1000;
  area.MaintainFilter.FlagMask = 0x00C6;  // ToSysop is protected by the rule itself
  std::vector<MailSpec> entries(1005);
  for (int i = 0; i < 3; ++i) entries[i].flags = MsgFlag::ToSysop;
  Fill(area, entries);
  ASSERT_TRUE(area.Lock(true));
  area.MaintainMessages();
  area.Unlock();
  const auto subjects = Subjects(area);
  ASSERT_EQ(subjects.size(), 1000u);
  EXPECT_EQ(subjects[2], "Subject 2");
  EXPECT_EQ(subjects[3], "Subject 8");
  EXPECT_EQ(subjects.back(), "Subject 1004");
}

TEST_F(AreaMaintainTest, AlreadyDeletedMessagesAreNotCountedTwice) {
  const struct {
    const char* name;
    std::vector<int> deletedBefore;  // positions already marked Deleted
    bool age;                        // the oldest two are also too old
    size_t kept;
  } cases[] = {
      {"none marked", {}, false, 5},
      {"two marked", {0, 1}, false, 5},
      {"marked ones are also old", {0, 1}, true, 5},
      {"all but three marked", {0, 1, 2, 3, 4, 5, 6}, false, 3},
  };
  for (const auto& c : cases) {
    TempDir d;
    TArea area(d.Path(), "DEL", "DEL");
    area.ApplyAge = c.age;
    area.MaxAge = 30;
    area.MaxNumber = 5;
    area.MaintainFilter.FlagMask = 0x00D6;
    std::vector<MailSpec> entries(10);
    if (c.age) entries[0].date = entries[1].date = "01 Jan 20  10:00:00";
    Fill(area, entries);
    ASSERT_TRUE(area.OpenIndex());
    for (int p : c.deletedBefore) area.MarkDeleted(p);
    area.CloseIndex();
    ASSERT_TRUE(area.Lock(true));
    area.MaintainMessages(EncodeDate(2026, 12, 6));
    area.Unlock();
    const auto subjects = Subjects(area);
    EXPECT_EQ(subjects.size(), c.kept) << c.name;
    if (!subjects.empty()) {
      EXPECT_EQ(subjects.back(), "Subject 9") << c.name;
    }
  }
}

TEST_F(AreaMaintainTest, NothingHappensWithoutTheExclusiveLock) {
  TArea area(dir.Path(), "FREE", "FREE");
  area.ApplyAge = false;
  area.MaxNumber = 1;
  Fill(area, std::vector<MailSpec>(3));
  const std::string index = Bytes(area, kPackedIndexExt);
  area.MaintainMessages();
  EXPECT_FALSE(area.Optimize());
  ASSERT_TRUE(area.Lock(false));
  area.MaintainMessages();
  EXPECT_FALSE(area.Optimize());
  area.Unlock();
  EXPECT_EQ(Bytes(area, kPackedIndexExt), index);
}

TEST_F(AreaMaintainTest, PurgeAndRemoveKeepLastReadOnTheSameMessage) {
  const struct {
    std::vector<int> deleted;  // 0-based
    int lastRead;              // 1-based position
    int expected;
  } cases[] = {
      {{1, 2}, 5, 3},     // two before it
      {{4, 5}, 5, 4},     // the last read one itself goes: the one before
      {{1, 2, 3}, 4, 1},  // everything from 2 to 4
      {{7}, 5, 5},        // after it
      {{0}, 0, 0},
  };
  for (const auto& c : cases) {
    TempDir d;
    TArea area(d.Path(), "LR", "LR");
    Fill(area, std::vector<MailSpec>(8));
    ASSERT_TRUE(area.OpenIndex());
    for (int p : c.deleted) area.MarkDeleted(p);
    area.LastRead = c.lastRead;
    area.PurgeDeleted();
    EXPECT_EQ(area.LastRead, c.expected);
    EXPECT_EQ(area.Count, 8 - static_cast<int>(c.deleted.size()));
    area.CloseIndex();

    // The same one header at a time, from the back.
    TempDir d2;
    TArea other(d2.Path(), "LR", "LR");
    Fill(other, std::vector<MailSpec>(8));
    ASSERT_TRUE(other.OpenIndex());
    other.LastRead = c.lastRead;
    for (auto it = c.deleted.rbegin(); it != c.deleted.rend(); ++it) other.RemoveHeader(*it);
    other.RemoveHeader(-1);
    other.RemoveHeader(other.Count);
    EXPECT_EQ(other.LastRead, c.expected);
    other.CloseIndex();
  }
}

TEST_F(AreaMaintainTest, PurgeMovesTheFlagCounters) {
  TArea area(dir.Path(), "CNT", "CNT");
  Fill(area,
       {{"06 Dec 26  10:00:00", MsgFlag::Unread}, {"06 Dec 26  10:00:00", MsgFlag::Send}, {}});
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.UnreadCount, 1);
  EXPECT_EQ(area.SendCount, 1);
  area.MarkDeleted(0);
  area.MarkDeleted(1);
  area.PurgeDeleted();
  EXPECT_EQ(area.UnreadCount, 0);
  EXPECT_EQ(area.SendCount, 0);
  EXPECT_EQ(area.Count, 1);
  area.CloseIndex();
}

TEST_F(AreaMaintainTest, OptimisationPacksBodiesInIndexOrder) {
  TArea area(dir.Path(), "OPT", "OPT");
  std::vector<MailSpec> entries(30);
  for (size_t i = 0; i < entries.size(); ++i) entries[i].text = std::string(50 + i * 7, 'x') + "\r";
  Fill(area, entries);
  ASSERT_TRUE(area.OpenIndex());
  for (int i = 0; i < 30; i += 3) area.MarkDeleted(i);
  area.PurgeDeleted();
  // Swap two headers so that index order differs from file order.
  std::swap(area.GetHeader(0), area.GetHeader(5));
  area.MarkIndexChanged();
  area.CloseIndex();
  const auto before = Subjects(area);
  EXPECT_TRUE(Optimize(area));

  EXPECT_EQ(Subjects(area), before);
  ExpectAllReadable(area);
  const std::string body = Bytes(area, kPackedBodyExt);
  ASSERT_TRUE(area.OpenIndex());
  uint64_t expected = 4;
  for (int i = 0; i < area.Count; ++i) {
    EXPECT_EQ(area.GetHeader(i).BodyOffset, expected) << i;
    expected += kBodyRecordHeadSize + Get32(body, area.GetHeader(i).BodyOffset + 4);
  }
  area.CloseIndex();
  EXPECT_EQ(body.size(), expected);
  EXPECT_EQ(body.substr(0, 4), "KQPB");
  EXPECT_FALSE(platform::FileExists(area.FilePath(kOptimizedBodyExt)));
  EXPECT_FALSE(platform::FileExists(area.FilePath(kTempIndexExt)));
}

TEST_F(AreaMaintainTest, OptimisingAnEmptiedAreaLeavesTheMagicOnly) {
  TArea area(dir.Path(), "EMPTY", "EMPTY");
  Fill(area, std::vector<MailSpec>(4));
  PurgeEvery(area, 1);
  EXPECT_TRUE(Optimize(area));
  EXPECT_EQ(Bytes(area, kPackedBodyExt), "KQPB");
}

TEST_F(AreaMaintainTest, AFailedOptimisationLeavesTheAreaAsItWas) {
  const struct {
    const char* name;
    bool damage;       // a damaged record in the middle
    rlim_t sizeLimit;  // a "full disk" while writing (0: none)
  } cases[] = {
      {"damaged record", true, 0},
      {"disk full half-way", false, 300},
  };
  for (const auto& c : cases) {
    TempDir d;
    platform::ScriptedPrompter prompter;
    PrompterScope scope(&prompter);
    TArea area(d.Path(), "FAIL", "FAIL");
    std::vector<MailSpec> entries(40);
    for (auto& s : entries) s.text = std::string(200, 'y') + "\r";
    Fill(area, entries);
    PurgeEvery(area, 2);
    if (c.damage) {
      std::string body = Bytes(area, kPackedBodyExt);
      ASSERT_TRUE(area.OpenIndex());
      body[area.GetHeader(10).BodyOffset] = 'X';
      area.CloseIndex();
      platform::WriteFileAtomic(area.FilePath(kPackedBodyExt), body);
    }
    const std::string index = Bytes(area, kPackedIndexExt);
    const std::string body = Bytes(area, kPackedBodyExt);
    ASSERT_TRUE(area.Lock(true));
    {
      std::unique_ptr<FileSizeLimit> limit;
      if (c.sizeLimit) limit = std::make_unique<FileSizeLimit>(c.sizeLimit);
      EXPECT_FALSE(area.Optimize()) << c.name;
    }
    area.Unlock();
    EXPECT_EQ(Bytes(area, kPackedIndexExt), index) << c.name;
    EXPECT_EQ(Bytes(area, kPackedBodyExt), body) << c.name;
    EXPECT_FALSE(platform::FileExists(area.FilePath(kOptimizedBodyExt))) << c.name;
    EXPECT_FALSE(platform::FileExists(area.FilePath(kTempIndexExt))) << c.name;
    ASSERT_EQ(prompter.Questions().size(), 1u) << c.name;
    EXPECT_NE(prompter.Questions()[0].text.find("Problems occured when optimizing the area  FAIL"),
              std::string::npos);
    if (!c.damage) ExpectAllReadable(area);
  }
}

// A crash at each step of an optimisation, simulated by building the files
// the steps leave behind: the area opens consistent in every case.
TEST_F(AreaMaintainTest, InterruptedOptimisationIsRecoveredOnOpen) {
  enum Step { OdyHalfWritten, BothWritten, BodyRenamed, PxTornByIndexWrite };
  const struct {
    const char* name;
    Step step;
    bool newState;  // the area shows the optimised state afterwards
  } cases[] = {
      {"new body half-written", OdyHalfWritten, false},
      {"new body and index written, nothing renamed", BothWritten, false},
      {"body renamed, index not", BodyRenamed, true},
      {"torn index of an ordinary write", PxTornByIndexWrite, false},
  };
  for (const auto& c : cases) {
    TempDir d;
    platform::ScriptedPrompter prompter;
    PrompterScope scope(&prompter);
    TArea area(d.Path(), "CRASH", "CRASH");
    std::vector<MailSpec> entries(12);
    for (size_t i = 0; i < entries.size(); ++i)
      entries[i].text = "Text of " + std::to_string(i) + "\r";
    Fill(area, entries);
    PurgeEvery(area, 2);
    const std::string oldIndex = Bytes(area, kPackedIndexExt);
    const std::string oldBody = Bytes(area, kPackedBodyExt);
    const auto subjects = Subjects(area);

    // The optimised files, made by a real optimisation in a copy.
    TempDir copy;
    platform::WriteFileAtomic(copy / "CRASH.PackedIndex", oldIndex);
    platform::WriteFileAtomic(copy / "CRASH.PackedBody", oldBody);
    TArea twin(copy.Path(), "CRASH", "CRASH");
    ASSERT_TRUE(twin.Lock(true));
    ASSERT_TRUE(twin.Optimize());
    twin.Unlock();
    const std::string newIndex = platform::ReadFile(copy / "CRASH.PackedIndex");
    const std::string newBody = platform::ReadFile(copy / "CRASH.PackedBody");
    ASSERT_NE(newBody, oldBody);

    switch (c.step) {
      case OdyHalfWritten:
        platform::WriteFileAtomic(area.FilePath(kOptimizedBodyExt), newBody.substr(0, 50));
        break;
      case BothWritten:
        platform::WriteFileAtomic(area.FilePath(kOptimizedBodyExt), newBody);
        platform::WriteFileAtomic(area.FilePath(kTempIndexExt), newIndex);
        break;
      case BodyRenamed:
        platform::WriteFileAtomic(area.FilePath(kPackedBodyExt), newBody);
        platform::WriteFileAtomic(area.FilePath(kTempIndexExt), newIndex);
        break;
      case PxTornByIndexWrite:
        platform::WriteFileAtomic(area.FilePath(kTempIndexExt), oldIndex.substr(0, 20));
        break;
    }
    EXPECT_EQ(Subjects(area), subjects) << c.name;
    ExpectAllReadable(area);
    EXPECT_EQ(Bytes(area, kPackedIndexExt), c.newState ? newIndex : oldIndex) << c.name;
    EXPECT_EQ(Bytes(area, kPackedBodyExt), c.newState ? newBody : oldBody) << c.name;
    EXPECT_FALSE(platform::FileExists(area.FilePath(kOptimizedBodyExt))) << c.name;
    EXPECT_FALSE(platform::FileExists(area.FilePath(kTempIndexExt))) << c.name;
  }
}

// --- Reply table and keys ---------------------------------------------------------

TEST_F(AreaMaintainTest, ReplyTableFindsTargetsByNumberAndAddressCrc) {
  TArea area(dir.Path(), "REPLY", "REPLY");
  Fill(area, std::vector<MailSpec>(6));
  ASSERT_TRUE(area.OpenIndex());
  const uint32_t ids[6] = {0x100, 0x106, 0x10C, 0, 0x200, 0x100};  // 6 apart: same slot
  for (int i = 0; i < 6; ++i) {
    area.GetHeader(i).MsgIdNumber = ids[i];
    area.GetHeader(i).MsgIdCrc = 0xC0 + i;
  }
  area.BuildReplyTable();
  EXPECT_EQ(area.ReplyTable.size(), 12u);
  const struct {
    uint32_t number, crc;
    int expected;
  } cases[] = {
      {0x100, 0xC0, 0},  {0x106, 0xC1, 1}, {0x10C, 0xC2, 2},
      {0x200, 0xC4, 4},  {0x100, 0xC5, 5},  // same serial, other address
      {0x100, 0xFF, -1},                    // serial matches, address CRC differs
      {0x999, 0xC0, -1}, {0, 0, -1},
  };
  for (const auto& c : cases) {
    TMsgHeader h;
    h.ReplyNumber = c.number;
    h.ReplyCrc = c.crc;
    EXPECT_EQ(area.FindReplyTarget(h), c.expected) << std::hex << c.number;
  }
  area.FreeReplyTable();
  EXPECT_TRUE(area.ReplyTable.empty());
  area.CloseIndex();
}

TEST_F(AreaMaintainTest, RebuildReplyKeysReadsOnlyKludgeLines) {
  const struct {
    const char* name;
    std::string text;
    std::string msgidAddr;
    uint32_t msgid;
    std::string replyAddr;
    uint32_t reply;
  } cases[] = {
      {"both kludges", "\x01MSGID: 2:5020/1.7 1a2b3c4d\r\x01REPLY: 2:5020/9 00000abc\rHi\r",
       "2:5020/1.7", 0x1a2b3c4d, "2:5020/9", 0xabc},
      {"msgid only", "\x01MSGID: 2:5020/1 0000ffff\rText\r", "2:5020/1", 0xffff, "", 0},
      {"quoted in the text", "Somebody wrote MSGID: 2:1/1 12345678\rand REPLY: 2:1/2 1\r", "", 0,
       "", 0},
      {"a line without ^A", "MSGID: 2:1/1 12345678\r", "", 0, "", 0},
      {"none", "Plain text\r", "", 0, "", 0},
  };
  TArea area(dir.Path(), "KEYS", "KEYS");
  std::vector<MailSpec> entries;
  for (const auto& c : cases) entries.push_back({"05 Dec 26  08:30:00", 0, "X", c.text});
  entries.push_back({"garbage date", 0, "X", "x\r"});
  Fill(area, entries);
  area.RebuildReplyKeys();
  ASSERT_TRUE(area.OpenIndex());
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const TMsgHeader& h = area.GetHeader(i);
    EXPECT_EQ(h.MsgIdNumber, c.msgid) << c.name;
    EXPECT_EQ(h.MsgIdCrc, c.msgidAddr.empty() ? 0u : Crc32OfString(c.msgidAddr)) << c.name;
    EXPECT_EQ(h.ReplyNumber, c.reply) << c.name;
    EXPECT_EQ(h.ReplyCrc, c.replyAddr.empty() ? 0u : Crc32OfString(c.replyAddr)) << c.name;
    EXPECT_EQ(h.Created, DateTimeToUnix(EncodeDateTime(2026, 12, 5, 8, 30, 0))) << c.name;
    EXPECT_EQ(h.Tossed, h.Created);
  }
  EXPECT_EQ(area.HeaderList().back().Created, 0);
  area.CloseIndex();
}

TEST_F(AreaMaintainTest, DisplayTestUsesFlagsNamesAndDates) {
  TArea area(dir.Path(), "MASK", "MASK");
  Fill(area,
       {{"06 Dec 26  10:00:00", MsgFlag::Unread, "Sysop"}, {"06 Dec 26  10:00:00", 0, "All"}});
  ASSERT_TRUE(area.OpenIndex());
  area.GetHeader(0).Created = area.GetHeader(0).Tossed = DateTimeToUnix(EncodeDate(2026, 12, 1));
  area.GetHeader(1).Created = area.GetHeader(1).Tossed = DateTimeToUnix(EncodeDate(2026, 6, 1));
  TSearchRequest any;
  TSearchRequest unread;
  unread.FlagMask = MsgFlag::Unread;
  unread.Flags = MsgFlag::Unread;
  TSearchRequest toAll;
  toAll.ApplyDestination = true;
  toAll.Destination.SetText("all");
  TSearchRequest december;
  december.CreationDate.Mode = TDateSearch::Range;
  december.CreationDate.Start = EncodeDate(2026, 11, 30);
  december.CreationDate.End = EncodeDate(2026, 12, 31);
  const struct {
    const TSearchRequest* request;
    bool first, second;
  } cases[] = {
      {&any, true, true}, {&unread, true, false}, {&toAll, false, true}, {&december, true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(area.MatchesMask(0, *c.request), c.first);
    EXPECT_EQ(area.MatchesMask(1, *c.request), c.second);
  }
  EXPECT_FALSE(area.MatchesMask(2, any));
  area.CloseIndex();
}

}  // namespace
}  // namespace velmaris::test
