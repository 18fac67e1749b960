// The run journal: records survive any bytes, a torn last line is not read,
// an uncommitted run is undone (areas back to their size and count, its files
// removed) and a committed one finished (moves, replacements), repeatably.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MsgBaseFixtures.h"
#include "core/Area.h"
#include "core/MessageBase.h"
#include "core/RunJournal.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(RunJournal, RecordsKeepEveryByteAndATornLineIsNotRead) {
  TempDir dir;
  TRunJournal journal(dir / "j");
  const std::vector<std::string> fields = {
      "",        "a b", "100%", std::string("\0\n\r\t\x7f", 5), "/path/with space/X.PackedBody",
      "\xff\x80"};
  journal.Append({{"area", fields[0], fields[1], fields[2]}, {"move", fields[3], fields[4]}});
  journal.Append({"created", fields[5]});
  platform::WriteFileAtomic(dir / "j", platform::ReadFile(dir / "j") + "commi");
  const auto records = TRunJournal(dir / "j").Read();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], (TRunJournal::Record{"area", fields[0], fields[1], fields[2]}));
  EXPECT_EQ(records[1], (TRunJournal::Record{"move", fields[3], fields[4]}));
  EXPECT_EQ(records[2], (TRunJournal::Record{"created", fields[5]}));
}

class RunJournalRecovery : public ::testing::Test {
 protected:
  // An area of n mails; its files as they stand.
  void Fill(TArea& area, int n) {
    for (int i = 0; i < n; ++i) area.QueueMail(MakeMail(i), false);
    ASSERT_TRUE(area.WriteQueuedMail());
  }
  TempDir dir;
};

TEST_F(RunJournalRecovery, AnUncommittedRunIsUndoneAndACommittedOneFinished) {
  for (const bool committed : {false, true}) {
    SCOPED_TRACE(committed ? "committed" : "not committed");
    RunShell("rm -rf '" + dir.Path() + "'*");
    TArea old(dir.Path(), "OLD", "OLD"), fresh(dir.Path(), "FRESH", "FRESH");
    Fill(old, 3);
    const std::string body = dir.Read("OLD.PackedBody"), index = dir.Read("OLD.PackedIndex");
    dir.Write("pkt", "packet");
    dir.Write("ring.New", "new ring");
    dir.Write("ring", "old ring");
    TRunJournal journal(dir / "journal");
    journal.Append({AreaJournalRecord(old), AreaJournalRecord(fresh)});
    // The run appends to both areas (and rewrites one index whole).
    Fill(old, 2);
    ASSERT_TRUE(old.OpenIndex());
    old.ChangeHeaderFlags(0, MsgFlag::Unread, FlagOperation::Toggle);
    old.CloseIndex();
    Fill(fresh, 1);
    dir.Write("rest.pkt", "rest");
    journal.Append({"created", dir / "rest.pkt"});
    journal.Append(
        {{"replace", dir / "ring.New", dir / "ring"}, {"move", dir / "pkt", dir / "Backup.pkt"}});
    if (committed) journal.Append({"commit"});

    for (int twice = 0; twice < 2; ++twice) {
      std::vector<std::string> log;
      ASSERT_TRUE(RecoverImportJournal(dir / "journal", &log));
    }
    EXPECT_FALSE(platform::FileExists(dir / "journal"));
    TArea reread(dir.Path(), "OLD", "OLD");
    reread.RecountFlags();
    if (!committed) {
      EXPECT_EQ(dir.Read("OLD.PackedBody"), body);
      EXPECT_EQ(reread.Count, 3);
      std::vector<TMsgHeader> before, after;
      ASSERT_TRUE(DecodePackedIndex(index, before));
      ASSERT_TRUE(reread.Base().ReadIndex(after));
      EXPECT_EQ(after.size(), 3u);
      EXPECT_EQ(after[1].Encode(), before[1].Encode());
      EXPECT_FALSE(platform::FileExists(dir / "FRESH.PackedBody"));
      EXPECT_FALSE(platform::FileExists(dir / "FRESH.PackedIndex"));
      EXPECT_FALSE(platform::FileExists(dir / "rest.pkt"));
      EXPECT_FALSE(platform::FileExists(dir / "ring.New"));
      EXPECT_EQ(dir.Read("ring"), "old ring");
      EXPECT_EQ(dir.Read("pkt"), "packet");
    } else {
      EXPECT_EQ(reread.Count, 5);
      EXPECT_TRUE(platform::FileExists(dir / "FRESH.PackedBody"));
      EXPECT_TRUE(platform::FileExists(dir / "rest.pkt"));
      EXPECT_EQ(dir.Read("ring"), "new ring");
      EXPECT_EQ(dir.Read("Backup.pkt"), "packet");
      EXPECT_FALSE(platform::FileExists(dir / "pkt"));
    }
  }
}

// The journal holds the area's file name on disk: a UTF-8 name is undone as
// it stands (not read as an area name again), and a name an earlier version
// recorded in the ANSI page is followed to where a load moved its files.
TEST_F(RunJournalRecovery, AreasUnderEveryFileNameAreUndone) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  const struct {
    const char* what;
    std::string name;  // CP1251
    bool recordedInAnsi;
  } cases[] = {
      {"Latin", "R50.SYSOP", false},
      {"Cyrillic", "RU.\xD4\xCB\xC5\xC9\xCC", false},
      {"a long Cyrillic name", std::string(130, '\xC6'), false},
      {"Cyrillic, recorded by an earlier version", "RU.\xD4\xCB\xC5\xC9\xCC", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunShell("rm -rf '" + dir.Path() + "'*");
    TArea area(dir.Path(), c.name, c.name);
    Fill(area, 3);
    const std::string body = platform::ReadFile(area.FilePath(".PackedBody"));
    TRunJournal::Record record = AreaJournalRecord(area);
    if (c.recordedInAnsi) record[2] = c.name;  // the files were named so then
    TRunJournal journal(dir / "journal");
    journal.Append({record});
    Fill(area, 2);
    area.CloseIndex();
    std::vector<std::string> log;
    ASSERT_TRUE(RecoverImportJournal(dir / "journal", &log));
    EXPECT_EQ(platform::ReadFile(area.FilePath(".PackedBody")), body);
    std::vector<TMsgHeader> headers;
    ASSERT_TRUE(area.Base().ReadIndex(headers));
    EXPECT_EQ(headers.size(), 3u);
    // Nothing was made under another name.
    for (const auto& e : platform::ScanDir(dir.Path()))
      EXPECT_EQ(e.name.rfind(area.FileName, 0), 0u) << e.name;
  }
}

}  // namespace
}  // namespace velmaris::test
