// The ARC walk: archives made by arc through velmaris-batch unpack, directory
// records, end marks, unknown methods, damage and unsafe names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "ArcFixtures.h"
#include "WalkFixture.h"
#include "archive/arxUnARC.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class ArcWalk : public WalkFixture<TUnARC> {
 protected:
  TUnARC& Make(const std::string& image) { return MakeFile("test.arc", image); }
};

ArcFixtureEntry Stored(const std::string& name, const std::string& data) {
  return {2, name, data, data};
}
ArcFixtureEntry DirStart(const std::string& name) { return {kArcDirStart, name, "", ""}; }
ArcFixtureEntry DirEnd() { return {kArcDirEnd, "", "", ""}; }

TEST_F(ArcWalk, BatchUnpacksWhatArcMadeWithEveryMethod) {
  if (!HaveArcTools()) GTEST_SKIP() << "arc or nomarch missing";
  struct File {
    const char* name;
    std::string data;
  } files[] = {{"stored.bin", DataForStored()},           {"packed.bin", DataForPacked()},
               {"squeezed.txt", DataForSqueezed()},       {"crunched.txt", DataForCrunched()},
               {"clear.txt", DataWithClearCodes(200000)}, {"empty.txt", ""}};
  for (const char* options : {"a", "aq"}) {
    SCOPED_TRACE(options);
    TempDir d;
    std::string names;
    for (const auto& f : files) {
      d.Write(std::string("in/") + f.name, f.data);
      names += std::string(" ") + f.name;
    }
    ASSERT_EQ(RunShell("cd '" + d / "in" + "' && TMPDIR=. timeout 60 arc " + options +
                       " ../all.arc" + names + " >/dev/null 2>&1"),
              0);
    std::string out;
    ASSERT_EQ(RunShell(ShellQuote(VELMARIS_BATCH) + " unpack " + ShellQuote(d / "all.arc") + " " +
                           ShellQuote(d / "out"),
                       &out),
              0);
    for (const auto& f : files) {
      EXPECT_NE(out.find("{\"file\":\"" + d / "out/" + f.name + "\",\"crc\":true}"),
                std::string::npos)
          << f.name;
      EXPECT_TRUE(d.Read(std::string("out/") + f.name) == f.data) << f.name;
      EXPECT_TRUE(NomarchExtract(d / "all.arc", f.name) == f.data) << f.name;
    }
  }
}

TEST_F(ArcWalk, EntryDateComesFromTheHeader) {
  Make(BuildArc({Stored("dated.txt", "x")}));
  ASSERT_EQ(Run(), 0);
  struct stat st;
  ASSERT_EQ(::stat((dir / "out/dated.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, DosDateTimeToDateTime(0x5A8B6000));
}

TEST_F(ArcWalk, DirectoryRecordsNest) {
  const std::string image =
      BuildArc({Stored("top.txt", "top"), DirStart("SUB"), Stored("a.txt", "in sub"),
                DirStart("DEEP"), Stored("b.txt", "in deep"), DirEnd(),
                Stored("c.txt", "sub again"), DirEnd(), Stored("d.txt", "top again")});
  Make(image);
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/top.txt"), "top");
  EXPECT_EQ(dir.Read("out/SUB/a.txt"), "in sub");
  EXPECT_EQ(dir.Read("out/SUB/DEEP/b.txt"), "in deep");
  EXPECT_EQ(dir.Read("out/SUB/c.txt"), "sub again");
  EXPECT_EQ(dir.Read("out/d.txt"), "top again");
  EXPECT_TRUE(errors.empty());

  std::filesystem::remove_all(dir / "out");
  Make(image);
  x->UseStoredDirs = false;
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/b.txt"), "in deep");
  EXPECT_FALSE(Exists("SUB"));
}

TEST_F(ArcWalk, OemNamesBecomeTheNamesOnDisk) {
  // ПАКЕТ.PKT in the folder ДИР, as a DOS ARC stores them (CP866).
  Make(BuildArc({DirStart("\x84\x88\x90"), Stored("\x8f\x80\x8a\x85\x92.PKT", "in"), DirEnd(),
                 Stored("\x8f\x80\x8a\x85\x92.PKT", "top")}));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/ПАКЕТ.PKT"), "top");
  EXPECT_EQ(dir.Read("out/ДИР/ПАКЕТ.PKT"), "in");
  EXPECT_TRUE(errors.empty());
}

TEST_F(ArcWalk, EndMarkEndsTheArchiveWhateverFollows) {
  Make(BuildArc({Stored("one.txt", "1")}) + "garbage after the end \x1A\x02");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/one.txt"), "1");
  EXPECT_TRUE(errors.empty());
}

TEST_F(ArcWalk, OldStoredHeaderIsShorter) {
  Make(BuildArc({{1, "old.txt", "old style", "old style"}, Stored("new.txt", "new style")}));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/old.txt"), "old style");
  EXPECT_EQ(dir.Read("out/new.txt"), "new style");
}

// The methods packers write that we do not read (PAK's 10 and 11, ARC 7's
// up to 19) are our limit; a type no packer writes (reserved from 40) is a
// damaged header. Either way the entry is reported and the walk goes on.
// ARC 6's information and control items (20 to 39) are stepped over by the
// length they carry: nothing to report, nothing extracted (0: no error).
TEST_F(ArcWalk, UnknownMethodsAreReportedAndPassedOver) {
  for (const auto& [method, code] :
       std::initializer_list<std::pair<int, int>>{
           {10, ecUnsupportedMethod}, {11, ecUnsupportedMethod}, {12, ecUnsupportedMethod},
           {19, ecUnsupportedMethod}, {20, 0}, {21, 0}, {29, 0}, {32, 0}, {39, 0},
           {40, ecBadFileHeader}, {200, ecBadFileHeader}, {255, ecBadFileHeader}}) {
    SCOPED_TRACE(method);
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    // (an archive that begins with such an entry is taken for PAK and refused)
    // The data holds what would be a header if the length were not followed.
    Make(BuildArc({Stored("first.txt", "1"),
                   {method, "odd.bin", std::string("\x1A\x02trap", 6), "yyyy"},
                   Stored("next.txt", "next")}));
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(errors, code ? std::vector<int>{code} : std::vector<int>{});
    EXPECT_FALSE(Exists("odd.bin")) << "nothing is made of an entry that cannot be decoded";
    EXPECT_EQ(dir.Read("out/first.txt"), "1");
    EXPECT_EQ(dir.Read("out/next.txt"), "next");
    EXPECT_EQ(x->UnsupportedMethod(),
              code == ecUnsupportedMethod ? "odd.bin: ARC method " + std::to_string(method) : "");
  }
}

// An ARC 6 directory: its entries follow its header and end with an end
// mark of their own; the archive goes on after it.
TEST_F(ArcWalk, DirectoryEndedByItsOwnEndMark) {
  Make(BuildArc({DirStart("SUB")}, false) + BuildArc({Stored("a.txt", "in sub")}) +
       BuildArc({Stored("b.txt", "top")}));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/SUB/a.txt"), "in sub");
  EXPECT_EQ(dir.Read("out/b.txt"), "top");
  EXPECT_TRUE(errors.empty());
}

TEST_F(ArcWalk, FailuresByTable) {
  const std::string good = CrunchEncode(RunLengthEncode("some text some text some text"), true);
  struct Case {
    const char* what;
    std::string image;
    int raised;
    std::vector<int> reported;
    bool goesOn = false;  // the entry after the failed one is read
  } cases[] = {
      {"CRC mismatch",
       BuildArc({Stored("first.txt", "ok"),
                 {2, "bad.txt", "data", "data", 0x5A8B6000, true},
                 Stored("last.txt", "next")}),
       0,
       {ecCrcCheck},
       true},
      {"data cut short",
       BuildArc({Stored("first.txt", "ok"), Stored("bad.txt", std::string(500, 'q'))}, false)
           .substr(0, 29 + 2 + 29 + 100),
       0,
       {ecReadFile}},
      // A damaged entry's data end that entry only: the next header is read.
      {"squeeze tree damaged",
       BuildArc({Stored("first.txt", "ok"),
                 {4, "bad.txt", "\x01\x02\x03\x04", "abc"},
                 Stored("last.txt", "next")}),
       0,
       {ecInvalidDecodeTree},
       true},
      {"crunch packed with 16 bits",
       BuildArc({Stored("first.txt", "ok"),
                 {8, "bad.txt", "\x10\x41\x00", "abc"},
                 Stored("last.txt", "next")}),
       0,
       {ecIncorrectBits},
       true},
      {"crunch longer than stored size",
       BuildArc({Stored("first.txt", "ok"),
                 {7, "bad.txt", good, "some text"},
                 Stored("last.txt", "next")}),
       0,
       {ecCrcCheck},
       true},
      {"not a header after the first entry",
       BuildArc({Stored("first.txt", "ok")}, false) + "PK\x03\x04 junk junk",
       0,
       {ecBadFileHeader}},
      {"header cut short",
       BuildArc({Stored("first.txt", "ok")}, false) + "\x1A\x02short",
       0,
       {ecReadFile}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    Make(c.image);
    EXPECT_EQ(Run(), c.raised);
    EXPECT_EQ(errors, c.reported);
    EXPECT_EQ(dir.Read("out/first.txt"), "ok");
    EXPECT_FALSE(Exists("bad.txt")) << "a failed entry leaves no file";
    // A failure inside an entry's data lets the walk go on.
    EXPECT_EQ(Exists("last.txt"), c.goesOn);
  }
}

TEST_F(ArcWalk, BadMarkerInTheSecondPassIsReported) {
  const std::string image = BuildArc({Stored("first.txt", "ok"), Stored("second.txt", "two")});
  Make(image);
  const size_t second = 29 + 2;
  // The archive changes between the passes: the second header is no header
  // any more when the walk comes back to it.
  x->OnBegin = [&](TUnBase&, const std::string&, int recNum, bool&) {
    if (recNum != 1) return;
    std::fstream f(dir / "test.arc", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(second));
    f.put('X');
  };
  EXPECT_EQ(Run(), ecBadFileHeader);
  EXPECT_EQ(errors, std::vector<int>{ecBadFileHeader});
  EXPECT_FALSE(Exists("second.txt"));
}

TEST_F(ArcWalk, UnsafeNamesAreRefused) {
  Make(BuildArc({Stored("../EVIL.TXT", "evil"), DirStart(".."), Stored("UP.TXT", "up"), DirEnd(),
                 Stored("SAFE.TXT", "safe")}));
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "EVIL.TXT"));
  EXPECT_FALSE(std::filesystem::exists(dir / "UP.TXT"));
  EXPECT_EQ(dir.Read("out/SAFE.TXT"), "safe");
  EXPECT_EQ(errors, (std::vector<int>{ecInvalidFileName, ecInvalidFileName}));
}

TEST_F(ArcWalk, FileSpecChoosesByFileName) {
  Make(BuildArc({DirStart("SUB"), Stored("A.PKT", "a"), DirEnd(), Stored("B.TXT", "b")}));
  x->SetFileSpec({"*.pkt"});
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(Exists("SUB/A.PKT"));
  EXPECT_FALSE(Exists("B.TXT"));
}

// One name without "*" ends the walk at its first entry: a later entry of
// the same name and the missing end mark behind it are never reached.
TEST_F(ArcWalk, FileSpecOfOneNameStopsAtTheFirstMatchByTable) {
  const std::string image = BuildArc(
      {Stored("DUP.TXT", "one"), Stored("DUP.TXT", "two"), Stored("LAST.TXT", "x")}, false);
  struct Case {
    std::vector<std::string> fileSpec;
    std::string content;
    std::vector<int> reported;
  } cases[] = {
      {{"dup.txt"}, "one", {}},
      {{"DUP.?XT"}, "one", {}},
      {{"*.TXT"}, "two", {ecReadFile}},
      {{"dup.txt", "last.txt"}, "two", {ecReadFile}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileSpec[0] + " (" + std::to_string(c.fileSpec.size()) + " lines)");
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    Make(image);
    x->SetFileSpec(c.fileSpec);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(dir.Read("out/DUP.TXT"), c.content);
    EXPECT_EQ(errors, c.reported);
  }
}

TEST_F(ArcWalk, ExistingFilesWithoutHandlerAreSkipped) {
  dir.Write("out/keep.txt", "mine");
  Make(BuildArc({Stored("keep.txt", "theirs"), Stored("new.txt", "new")}));
  x->ConfirmOverwrites = true;
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/keep.txt"), "mine");
  EXPECT_EQ(dir.Read("out/new.txt"), "new") << "a file that does not exist yet is written";
}

TEST_F(ArcWalk, CancelStopsBeforeTheNextEntry) {
  Make(BuildArc({Stored("one.txt", "1"), Stored("two.txt", "2")}));
  x->OnEnd = [](TUnBase& s, const std::string&, bool) { s.Cancel(); };
  Run();
  EXPECT_TRUE(Exists("one.txt"));
  EXPECT_FALSE(Exists("two.txt"));
}

TEST_F(ArcWalk, DirectoryNestingIsBounded) {
  std::vector<ArcFixtureEntry> entries;
  for (int i = 0; i < 40; ++i) entries.push_back(DirStart("D"));
  entries.push_back(Stored("deep.txt", "deep"));
  Make(BuildArc(entries));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(errors, std::vector<int>{ecBadFileHeader});
}

}  // namespace
}  // namespace velmaris::test
