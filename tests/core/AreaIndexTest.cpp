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
#include "core/MessageBase.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct Counters {
  int32_t count, unread, toSysop, unreadToSysop, send, newUnread, newUnreadToSysop;
  bool operator==(const Counters&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Counters& c) {
  return os << "{count " << c.count << ", unread " << c.unread << ", toSysop " << c.toSysop
            << ", unreadToSysop " << c.unreadToSysop << ", send " << c.send << ", newUnread "
            << c.newUnread << ", newUnreadToSysop " << c.newUnreadToSysop << "}";
}

Counters Of(const TArea& a) {
  return {a.Count, a.UnreadCount, a.ToSysopCount, a.UnreadToSysopCount,
          a.SendCount, a.NewUnreadCount, a.NewUnreadToSysopCount};
}

// The counters of a set of headers, counted here from scratch.
Counters Expected(const std::vector<TMsgHeader>& headers) {
  Counters c{static_cast<int32_t>(headers.size()), 0, 0, 0, 0, 0, 0};
  for (const auto& h : headers) {
    const bool unread = h.Flags & 0x0004, toSysop = h.Flags & 0x0010, isNew = h.Flags & 0x2000;
    c.unread += unread;
    c.toSysop += toSysop;
    c.unreadToSysop += unread && toSysop;
    c.send += (h.Flags & 0x0040) != 0;
    c.newUnread += isNew && unread;
    c.newUnreadToSysop += isNew && unread && toSysop;
  }
  return c;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_ino;
}

class AreaIndexTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetPrompter(&prompter); }
  void TearDown() override { platform::SetPrompter(nullptr); }

  // Appends n mails with the given flags (cycled).
  void Fill(TArea& area, int n, std::vector<uint16_t> flags = {0}) {
    for (int i = 0; i < n; ++i)
      area.Queue.push_back(MakeMail(i, 60, flags[static_cast<size_t>(i) % flags.size()]));
    ASSERT_TRUE(area.WriteQueuedMail());
  }
  std::string IndexPath(const TArea& area) const { return area.FilePath(".PackedIndex"); }

  TempDir dir;
  ActingPrompter prompter;
};

TEST_F(AreaIndexTest, NestedUsesWriteOnceAndOnlyWhenChanged) {
  struct Case {
    const char* name;
    bool changeInner;  // a flag change while two uses are open
    bool changeOuter;  // a flag change after the inner use closed
    bool importMark;   // LastImport set before the first open
    bool written;
  } cases[] = {
      {"nothing changed", false, false, false, false},
      {"change in the inner use", true, false, false, true},
      {"change in the outer use", false, true, false, true},
      {"both", true, true, false, true},
      {"import marks to apply", false, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TArea area(dir.Path(), "NEST", "NEST");
    area.DeleteFiles();
    Fill(area, 4);
    const ino_t before = Inode(IndexPath(area));
    if (c.importMark) area.LastImport = 2;
    ASSERT_TRUE(area.OpenIndex());
    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ(area.IndexUseCount, 2);
    if (c.changeInner) area.ChangeHeaderFlags(1, MsgFlag::Unread, FlagOperation::Set);
    area.CloseIndex();
    EXPECT_TRUE(area.IndexLoaded);
    EXPECT_EQ(Inode(IndexPath(area)), before) << "an inner close never writes";
    if (c.changeOuter) area.ChangeHeaderFlags(2, MsgFlag::ToSysop, FlagOperation::Set);
    area.CloseIndex();
    EXPECT_FALSE(area.IndexLoaded);
    EXPECT_EQ(Inode(IndexPath(area)) != before, c.written);

    // What was written reads back.
    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ((area.GetHeader(1).Flags & MsgFlag::Unread) != 0, c.changeInner);
    EXPECT_EQ((area.GetHeader(2).Flags & MsgFlag::ToSysop) != 0, c.changeOuter);
    EXPECT_EQ((area.GetHeader(3).Flags & MsgFlag::New) != 0, c.importMark);
    area.CloseIndex();
  }
}

TEST_F(AreaIndexTest, MissingIndexIsCreatedEmptyByTheLastClose) {
  TArea area(dir.Path(), "EMPTY", "EMPTY");
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.Count, 0);
  EXPECT_EQ(Inode(IndexPath(area)), 0u);
  area.CloseIndex();
  EXPECT_EQ(dir.Read("EMPTY.PackedIndex"), std::string("KQPI\0\0\0\0", 8));
}

TEST_F(AreaIndexTest, ReleaseDropsChangesAndWritesNothing) {
  TArea area(dir.Path(), "REL", "REL");
  ASSERT_TRUE(area.OpenIndex());
  area.ReleaseIndex();
  EXPECT_FALSE(area.IndexLoaded);
  EXPECT_EQ(Inode(IndexPath(area)), 0u);  // nothing to export: no file

  Fill(area, 3);
  const ino_t before = Inode(IndexPath(area));
  ASSERT_TRUE(area.OpenIndex());
  area.MarkDeleted(0);
  area.ReleaseIndex();
  EXPECT_EQ(Inode(IndexPath(area)), before);
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.GetHeader(0).Flags & MsgFlag::Deleted, 0);
  area.CloseIndex();
}

TEST_F(AreaIndexTest, UnreadableIndexLeavesTheAreaUnloaded) {
  TArea area(dir.Path(), "BROKEN", "BROKEN");
  dir.Write("BROKEN.PackedIndex", std::string("KQPX\1\0\0\0", 8));
  EXPECT_FALSE(area.OpenIndex());
  EXPECT_FALSE(area.IndexLoaded);
  EXPECT_EQ(area.IndexUseCount, 0);
  area.CloseIndex();  // nothing to close
  EXPECT_EQ(dir.Read("BROKEN.PackedIndex"), std::string("KQPX\1\0\0\0", 8));
}

TEST_F(AreaIndexTest, CountersOfOneHeader) {
  struct Case {
    uint16_t flags;
    Counters counters;
  } cases[] = {
      {0x0000, {1, 0, 0, 0, 0, 0, 0}},
      {0x0004, {1, 1, 0, 0, 0, 0, 0}},
      {0x0010, {1, 0, 1, 0, 0, 0, 0}},
      {0x0014, {1, 1, 1, 1, 0, 0, 0}},
      {0x0040, {1, 0, 0, 0, 1, 0, 0}},
      {0x2000, {1, 0, 0, 0, 0, 0, 0}},
      {0x2004, {1, 1, 0, 0, 0, 1, 0}},
      {0x2010, {1, 0, 1, 0, 0, 0, 0}},
      {0x2014, {1, 1, 1, 1, 0, 1, 1}},
      {0xFFFF, {1, 1, 1, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    TArea area(dir.Path(), "ONE", "ONE");
    area.DeleteFiles();
    Fill(area, 1, {c.flags});
    EXPECT_EQ(Of(area), c.counters) << "counted while appending";
    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ(Of(area), c.counters) << "counted when opened";
    area.ChangeHeaderFlags(0, 0xFFFF, FlagOperation::Clear);
    EXPECT_EQ(Of(area), (Counters{1, 0, 0, 0, 0, 0, 0}));
    area.ChangeHeaderFlags(0, c.flags, FlagOperation::Set);
    EXPECT_EQ(Of(area), c.counters);
    area.ReleaseIndex();
  }
}

TEST_F(AreaIndexTest, CountersFollowRepeatedFlagChanges) {
  TArea area(dir.Path(), "FLAGS", "FLAGS");
  Fill(area, 40, {0x0000, 0x0004, 0x0014, 0x0040, 0x2004, 0x2014, 0x0010});
  ASSERT_TRUE(area.OpenIndex());
  ASSERT_EQ(Of(area), Expected(area.Headers));

  std::mt19937 rng(1234);
  const uint16_t masks[] = {0x0004, 0x0010, 0x0040, 0x2000, 0x0014, 0x2014, 0x2044, 0x1000};
  for (int step = 0; step < 2000; ++step) {
    const int index = static_cast<int>(rng() % 40);
    const uint16_t mask = masks[rng() % std::size(masks)];
    const int op = static_cast<int>(rng() % 5);  // 0 and 4 change nothing
    if (step % 7 == 0) {
      TMsgHeader h = area.GetHeader(index);
      h.Flags = static_cast<uint16_t>(rng());
      ASSERT_TRUE(area.SetHeader(index, h));
    } else {
      area.ChangeHeaderFlags(index, mask, op);
    }
    ASSERT_EQ(Of(area), Expected(area.Headers)) << "step " << step;
  }
  const std::vector<TMsgHeader> final = area.Headers;
  area.CloseIndex();
  // The file holds what was counted, and a recount from it agrees.
  area.RecountFlags();
  EXPECT_EQ(Of(area), Expected(final));
}

TEST_F(AreaIndexTest, ToggleTwiceRestoresFlagsAndCounters) {
  TArea area(dir.Path(), "TOGGLE", "TOGGLE");
  Fill(area, 3, {0x0014, 0x2004, 0x0040});
  ASSERT_TRUE(area.OpenIndex());
  const Counters before = Of(area);
  const uint16_t flags = area.GetHeader(1).Flags;
  area.IndexChanged = false;
  for (int i = 0; i < 2; ++i) area.ChangeHeaderFlags(1, 0x2054, FlagOperation::Toggle);
  EXPECT_EQ(area.GetHeader(1).Flags, flags);
  EXPECT_EQ(Of(area), before);
  EXPECT_TRUE(area.IndexChanged);

  area.IndexChanged = false;
  area.ChangeHeaderFlags(1, 0x0004, 0);  // an unknown operation
  EXPECT_EQ(area.GetHeader(1).Flags, flags);
  EXPECT_TRUE(area.IndexChanged);
  area.CloseIndex();
}

TEST_F(AreaIndexTest, HeaderWritesOutsideTheIndexRaise) {
  TArea area(dir.Path(), "RANGE", "RANGE");
  Fill(area, 2);
  TMsgHeader h;
  EXPECT_THROW(area.SetHeader(0, h), EAreaHeaderMsgIndexOutOfRange);  // not loaded
  ASSERT_TRUE(area.OpenIndex());
  for (int index : {2, 7, -1}) {
    try {
      area.SetHeader(index, h);
      ADD_FAILURE() << index;
    } catch (const EAreaHeaderMsgIndexOutOfRange& e) {
      EXPECT_EQ(std::string(e.what()), "Index:" + std::to_string(index));
    }
    EXPECT_THROW(area.ChangeHeaderFlags(index, 1, FlagOperation::Set),
                 EAreaHeaderMsgIndexOutOfRange);
  }
  EXPECT_EQ(area.HeaderPtr(1), &area.GetHeader(1));
  area.CloseIndex();
}

TEST_F(AreaIndexTest, SubstituteIsNeverWrittenBackOverTheStoredHeader) {
  TArea area(dir.Path(), "DAMAGED", "DAMAGED");
  Fill(area, 3, {MsgFlag::Unread | MsgFlag::ToSysop});
  ASSERT_TRUE(area.OpenIndex());
  const TMsgHeader stored = area.GetHeader(1);
  area.CloseIndex();
  // Spoil one byte of the second body record's chunks.
  std::string body = dir.Read("DAMAGED.PackedBody");
  body[stored.BodyOffset + 20] ^= 0x55;
  dir.Write("DAMAGED.PackedBody", body);

  ASSERT_TRUE(area.OpenIndex());
  auto mail = area.ReadMail(1);
  EXPECT_EQ(mail->Header.Subject.Str(), "Messagebase Format Error");
  EXPECT_EQ(mail->Header.FromName.Str(), "Messagebase Controller");
  EXPECT_EQ(mail->Header.BodyOffset, TMsgHeader::NotStored);
  EXPECT_NE(mail->BodyText().find("Please delete the message."), std::string_view::npos);

  // A reader marking it read and storing its header back changes nothing.
  const Counters before = Of(area);
  area.IndexChanged = false;
  mail->Header.Flags = MsgFlag::Deleted;
  EXPECT_FALSE(area.SetHeader(1, mail->Header));
  EXPECT_EQ(area.GetHeader(1), stored);
  EXPECT_EQ(Of(area), before);
  EXPECT_FALSE(area.IndexChanged);
  // Deleting the damaged message works on the stored header.
  area.MarkDeleted(1);
  EXPECT_EQ(area.GetHeader(1).Flags & MsgFlag::Deleted, MsgFlag::Deleted);
  EXPECT_EQ(area.GetHeader(1).BodyOffset, stored.BodyOffset);
  area.CloseIndex();

  // The other messages still read.
  ASSERT_TRUE(area.OpenIndex());
  EXPECT_EQ(area.ReadMail(0)->Header.Subject.Str(), "Subject number 0");
  EXPECT_EQ(area.ReadMail(2)->Header.Subject.Str(), "Subject number 2");
  area.CloseIndex();
}

TEST_F(AreaIndexTest, ImportMarksOnOpenAndOnRecount) {
  struct Case {
    int32_t lastImport;
    int messages;
    int firstNew;  // headers from here on are New
  } cases[] = {
      {5, 8, 5}, {0, 4, 0}, {8, 8, 8}, {12, 4, 4}, {-1, 4, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastImport);
    TArea area(dir.Path(), "MARKS", "MARKS");
    area.DeleteFiles();
    // Every message starts unread and New, so both marks show.
    Fill(area, c.messages, {MsgFlag::Unread | MsgFlag::New});
    area.LastImport = c.lastImport;
    const std::string file = dir.Read("MARKS.PackedIndex");

    // A recount applies the marks to its copy only.
    area.RecountFlags();
    const int newOnes = c.firstNew < 0 ? c.messages : c.messages - c.firstNew;
    EXPECT_EQ(area.Count, c.messages);
    EXPECT_EQ(area.NewUnreadCount, newOnes);
    EXPECT_EQ(area.LastImport, c.lastImport);
    EXPECT_EQ(dir.Read("MARKS.PackedIndex"), file);

    ASSERT_TRUE(area.OpenIndex());
    EXPECT_EQ(area.LastImport, -1);
    for (int i = 0; i < c.messages; ++i) {
      const bool isNew = c.firstNew < 0 || i >= c.firstNew;
      EXPECT_EQ((area.GetHeader(i).Flags & MsgFlag::New) != 0, isNew) << i;
    }
    EXPECT_EQ(area.NewUnreadCount, newOnes);
    // A loaded area keeps its counters on a recount.
    area.NewUnreadCount = 99;
    area.RecountFlags();
    EXPECT_EQ(area.NewUnreadCount, 99);
    area.NewUnreadCount = newOnes;
    area.CloseIndex();
  }
}

TEST_F(AreaIndexTest, QueueMailStampsTheMailsOwnDate) {
  struct Case {
    const char* date;
    int32_t created;
  } cases[] = {
      {"06 Dec 26  19:45:00", 1796586300},
      {"01 Jan 90  00:00:00", 631152000},
      {"31 Dec 99  23:59:59", 946684799},
      {"garbage in the date", 0},
      {"", 0},
  };
  TArea area(dir.Path(), "DATES", "DATES");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    BodySpec b;
    b.date = c.date;
    uint16_t textOffset = 0;
    std::string body = MakeBody(b, &textOffset);
    TMsgHeader h;
    h.TextOffset = textOffset;
    h.BodyLength = static_cast<uint32_t>(body.size());
    area.QueueMail(std::make_unique<TMail>(body, h));
    EXPECT_EQ(area.Queue.back()->Header.Created, c.created);
    EXPECT_GT(area.Queue.back()->Header.Tossed, 1700000000);
  }
  area.Queue.clear();
}

TEST_F(AreaIndexTest, OlderFilesGoAtCreationAndAllNineWithDeleteFiles) {
  const std::vector<std::string> older = {".Header", ".Dupes", ".$DX", ".$DY"};
  const std::vector<std::string> kept = {".Index", ".PackedIndex", ".Body", ".PackedBody", ".$PX"};
  for (const auto& ext : older) dir.Write("OLD" + ext, "x");
  for (const auto& ext : kept) dir.Write("OLD" + ext, "x");
  dir.Write("OTHER.Header", "x");
  {
    TArea area(dir.Path(), "OLD", "OLD");
    for (const auto& ext : older) EXPECT_EQ(Inode(dir / ("OLD" + ext)), 0u) << ext;
    for (const auto& ext : kept) EXPECT_NE(Inode(dir / ("OLD" + ext)), 0u) << ext;
    for (const auto& ext : older) dir.Write("OLD" + ext, "x");
    area.DeleteFiles();
    for (const auto& ext : older) EXPECT_EQ(Inode(dir / ("OLD" + ext)), 0u) << ext;
    for (const auto& ext : kept) EXPECT_EQ(Inode(dir / ("OLD" + ext)), 0u) << ext;
  }
  EXPECT_NE(Inode(dir / "OTHER.Header"), 0u);

  // An area without a file name (the prototype) has no files to delete.
  dir.Write(".Header", "x");
  TArea prototype(dir.Path(), "Prototyp", "", AreaTypeCode::Prototype);
  prototype.DeleteFiles();
  EXPECT_NE(Inode(dir / ".Header"), 0u);
}

}  // namespace
}  // namespace velmaris::test
