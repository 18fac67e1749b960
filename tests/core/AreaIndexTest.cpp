// The index of an area in use: use counting and when it is written, the flag
// counters, import marks, header changes and the substitute message.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "core/Exceptions.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// Count, Unread, ToSysop, both, Send, New+Unread, New+Unread+ToSysop.
using Counters = std::array<int32_t, 7>;

Counters Of(const TArea& a) {
  return {a.Count,     a.UnreadCount,    a.ToSysopCount,         a.UnreadToSysopCount,
          a.SendCount, a.NewUnreadCount, a.NewUnreadToSysopCount};
}

// The counters of a set of headers, counted here from scratch.
Counters Expected(const std::vector<TMsgHeader>& headers) {
  Counters c{static_cast<int32_t>(headers.size())};
  for (const auto& h : headers) {
    auto all = [&](uint16_t m) { return (h.Flags & m) == m; };
    c[1] += all(0x0004), c[2] += all(0x0010), c[3] += all(0x0014), c[4] += all(0x0040);
    c[5] += all(0x2004), c[6] += all(0x2014);
  }
  return c;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class AreaIndexTest : public ::testing::Test {
 protected:
  // A fresh area of n mails with the given flags (cycled).
  std::unique_ptr<TArea> Make(const std::string& name, int n, std::vector<uint16_t> flags = {0}) {
    auto area = std::make_unique<TArea>(dir.Path(), name, name);
    area->DeleteFiles();
    for (int i = 0; i < n; ++i)
      area->QueueMail(MakeMail(i, 60, flags[static_cast<size_t>(i) % flags.size()]), false);
    EXPECT_TRUE(area->WriteQueuedMail());
    return area;
  }

  TempDir dir;
  ActingPrompter prompter;
  PrompterScope prompterScope{&prompter};
};

TEST_F(AreaIndexTest, NestedUsesWriteOnceAndOnlyWhenChanged) {
  struct Case {
    int messages;      // 0: no index file yet
    bool changeInner;  // a flag change while two uses are open
    bool changeOuter;  // a flag change after the inner use closed
    bool importMark;   // LastImport set before the first open
    bool written;
  } cases[] = {
      {4, false, false, false, false}, {4, true, false, false, true},
      {4, false, true, false, true},   {4, true, true, false, true},
      {4, false, false, true, true},   {0, false, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.messages << c.changeInner << c.changeOuter << c.importMark);
    auto area = Make("NEST", c.messages);
    const std::string path = area->FilePath(".PackedIndex");
    if (c.messages == 0) ::unlink(path.c_str());
    const ino_t before = Inode(path);
    if (c.importMark) area->LastImport = 2;
    ASSERT_TRUE(area->OpenIndex());
    ASSERT_TRUE(area->OpenIndex());
    if (c.changeInner) area->ChangeHeaderFlags(1, MsgFlag::Unread, FlagOperation::Set);
    area->CloseIndex();
    EXPECT_TRUE(area->IsIndexLoaded());
    EXPECT_EQ(Inode(path), before) << "an inner close never writes";
    if (c.changeOuter) area->ChangeHeaderFlags(2, MsgFlag::ToSysop, FlagOperation::Set);
    area->CloseIndex();
    EXPECT_FALSE(area->IsIndexLoaded());
    EXPECT_EQ(Inode(path) != before, c.written);
    if (c.messages == 0) {
      EXPECT_EQ(dir.Read("NEST.PackedIndex"), std::string("KQPI\0\0\0\0", 8));
      continue;
    }
    ASSERT_TRUE(area->OpenIndex());  // what was written reads back
    EXPECT_EQ((area->GetHeader(1).Flags & MsgFlag::Unread) != 0, c.changeInner);
    EXPECT_EQ((area->GetHeader(2).Flags & MsgFlag::ToSysop) != 0, c.changeOuter);
    EXPECT_EQ((area->GetHeader(3).Flags & MsgFlag::New) != 0, c.importMark);
    area->CloseIndex();
  }
}

TEST_F(AreaIndexTest, ReleaseDropsChangesAndWritesNothing) {
  auto area = Make("REL", 3);
  const ino_t before = Inode(area->FilePath(".PackedIndex"));
  ASSERT_TRUE(area->OpenIndex());
  area->MarkDeleted(0);
  area->ReleaseIndex();
  EXPECT_EQ(Inode(area->FilePath(".PackedIndex")), before);
  ASSERT_TRUE(area->OpenIndex());
  EXPECT_EQ(area->GetHeader(0).Flags & MsgFlag::Deleted, 0);
  area->CloseIndex();
}

TEST_F(AreaIndexTest, CountersFollowRepeatedFlagChanges) {
  auto area = Make("FLAGS", 40, {0x0000, 0x0004, 0x0014, 0x0040, 0x2004, 0x2014, 0xFFFF});
  EXPECT_EQ(Of(*area)[6], 10) << "counted while appending";
  ASSERT_TRUE(area->OpenIndex());
  ASSERT_EQ(Of(*area), Expected(area->HeaderList()));

  std::mt19937 rng(1234);
  const uint16_t masks[] = {0x0004, 0x0010, 0x0040, 0x2000, 0x0014, 0x2014, 0x2044, 0x1000};
  for (int step = 0; step < 2000; ++step) {
    const int index = static_cast<int>(rng() % 40);
    if (step % 7 == 0) {
      TMsgHeader h = area->GetHeader(index);
      h.Flags = static_cast<uint16_t>(rng());
      ASSERT_TRUE(area->SetHeader(index, h));
    } else {  // operations 0 and 4 change nothing
      area->ChangeHeaderFlags(index, masks[rng() % 8], static_cast<int>(rng() % 5));
    }
    ASSERT_EQ(Of(*area), Expected(area->HeaderList())) << "step " << step;
  }
  // Toggling twice restores flags and counters, and marks the index changed.
  const auto flags = area->GetHeader(5).Flags;
  const Counters counters = Of(*area);
  area->CloseIndex();  // written: unchanged after the next open
  ASSERT_TRUE(area->OpenIndex());
  ASSERT_FALSE(area->IsIndexChanged());
  for (int op : {FlagOperation::Toggle, FlagOperation::Toggle, 0, 4})
    area->ChangeHeaderFlags(5, 0x2054, op);
  EXPECT_EQ(area->GetHeader(5).Flags, flags);
  EXPECT_EQ(Of(*area), counters);
  EXPECT_TRUE(area->IsIndexChanged());

  // The file holds what was counted: a recount from it agrees.
  const std::vector<TMsgHeader> final = area->HeaderList();
  area->CloseIndex();
  area->RecountFlags();
  EXPECT_EQ(Of(*area), Expected(final));
}

TEST_F(AreaIndexTest, HeaderWritesOutsideTheIndexRaise) {
  auto area = Make("RANGE", 2);
  EXPECT_THROW(area->SetHeader(0, TMsgHeader{}), EAreaHeaderMsgIndexOutOfRange);  // not loaded
  ASSERT_TRUE(area->OpenIndex());
  for (int index : {2, 7, -1}) {
    EXPECT_THROW(area->SetHeader(index, TMsgHeader{}), EAreaHeaderMsgIndexOutOfRange) << index;
    EXPECT_THROW(area->MarkDeleted(index), EAreaHeaderMsgIndexOutOfRange) << index;
  }
  area->CloseIndex();
}

TEST_F(AreaIndexTest, SubstituteIsNeverWrittenBackOverTheStoredHeader) {
  auto area = Make("DAMAGED", 3, {MsgFlag::Unread | MsgFlag::ToSysop});
  ASSERT_TRUE(area->OpenIndex());
  const TMsgHeader stored = area->GetHeader(1);
  std::string body = dir.Read("DAMAGED.PackedBody");
  body[stored.BodyOffset + 20] ^= 0x55;  // spoil the second body record
  dir.Write("DAMAGED.PackedBody", body);

  auto mail = area->ReadMail(1);
  EXPECT_EQ(mail->Header.Subject.Str(), "Messagebase Format Error");
  EXPECT_EQ(mail->Header.BodyOffset, TMsgHeader::NotStored);
  // A reader marking it read and storing its header back changes nothing.
  const Counters before = Of(*area);
  ASSERT_FALSE(area->IsIndexChanged());
  mail->Header.Flags = MsgFlag::Deleted;
  EXPECT_FALSE(area->SetHeader(1, mail->Header));
  EXPECT_EQ(area->GetHeader(1), stored);
  EXPECT_EQ(Of(*area), before);
  EXPECT_FALSE(area->IsIndexChanged());
  // Deleting the damaged message works on the stored header.
  area->MarkDeleted(1);
  EXPECT_EQ(area->GetHeader(1).BodyOffset, stored.BodyOffset);
  EXPECT_EQ(area->ReadMail(2)->Header.Subject.Str(), "Subject number 2");
  area->CloseIndex();
}

TEST_F(AreaIndexTest, ImportMarksOnOpenAndOnRecount) {
  struct Case {
    int32_t lastImport;
    int messages, newOnes;  // the last newOnes messages are New
  } cases[] = {{5, 8, 3}, {0, 4, 4}, {8, 8, 0}, {12, 4, 0}, {-1, 4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastImport);
    // Every message starts unread and New, so both marks show.
    auto area = Make("MARKS", c.messages, {MsgFlag::Unread | MsgFlag::New});
    area->LastImport = c.lastImport;
    const std::string file = dir.Read("MARKS.PackedIndex");
    area->RecountFlags();  // marks applied to its copy only
    EXPECT_EQ(area->NewUnreadCount, c.newOnes);
    EXPECT_EQ(area->LastImport, c.lastImport);
    EXPECT_EQ(dir.Read("MARKS.PackedIndex"), file);

    ASSERT_TRUE(area->OpenIndex());
    EXPECT_EQ(area->LastImport, -1);
    for (int i = 0; i < c.messages; ++i)
      EXPECT_EQ((area->GetHeader(i).Flags & MsgFlag::New) != 0, i >= c.messages - c.newOnes);
    EXPECT_EQ(area->NewUnreadCount, c.newOnes);
    area->NewUnreadCount = 99;
    area->RecountFlags();  // a loaded area keeps its counters
    EXPECT_EQ(area->NewUnreadCount, 99);
    area->CloseIndex();
  }
}

TEST_F(AreaIndexTest, QueueMailStampsTheMailsOwnDate) {
  struct Case {
    const char* date;
    int32_t created;
  } cases[] = {{"06 Dec 26  19:45:00", 1796586300},
               {"01 Jan 90  00:00:00", 631152000},
               {"31 Dec 99  23:59:59", 946684799},
               {"garbage in the date", 0},
               {"", 0}};
  TArea area(dir.Path(), "DATES", "DATES");
  for (const Case& c : cases) {
    BodySpec b;
    b.date = c.date;
    TMsgHeader h;
    std::string body = MakeBody(b, &h.TextOffset);
    h.BodyLength = static_cast<uint32_t>(body.size());
    area.QueueMail(std::make_unique<TMail>(body, h));
    ASSERT_TRUE(area.WriteQueuedMail(false));
    EXPECT_EQ(area.KeptMails.back()->Header.Created, c.created) << c.date;
    EXPECT_GT(area.KeptMails.back()->Header.Tossed, 1700000000);
  }
}

TEST_F(AreaIndexTest, OlderFilesGoAtCreationAndAllNineWithDeleteFiles) {
  const std::vector<std::string> older = {".Header", ".Dupes", ".$DX", ".$DY"};
  const std::vector<std::string> kept = {".Index", ".PackedIndex", ".Body", ".PackedBody", ".$PX"};
  auto present = [&](const std::vector<std::string>& exts) {
    int n = 0;
    for (const auto& ext : exts) n += Inode(dir / ("OLD" + ext)) != 0;
    return n;
  };
  for (const auto& ext : older) dir.Write("OLD" + ext, "x");
  for (const auto& ext : kept) dir.Write("OLD" + ext, "x");
  dir.Write(".Header", "x");
  TArea area(dir.Path(), "OLD", "OLD");
  EXPECT_EQ(present(older), 0);
  EXPECT_EQ(present(kept), 5);
  for (const auto& ext : older) dir.Write("OLD" + ext, "x");
  area.DeleteFiles();
  EXPECT_EQ(present(older) + present(kept), 0);
  // An area without a file name (the prototype) has no files to delete.
  TArea prototype(dir.Path(), "Prototyp", "", AreaTypeCode::Prototype);
  prototype.DeleteFiles();
  EXPECT_NE(Inode(dir / ".Header"), 0u);
}

}  // namespace
}  // namespace velmaris::test
