// Archive type detection by signature, self-extractors, ZIP end records,
// UUE and TAR, and the volume naming derived from the name.
#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "archive/arxBase.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Pad(std::string head, size_t size, char fill = 'x') {
  if (head.size() < size) head.resize(size, fill);
  return head;
}

std::string SmallZip() {
  return BuildZip({StoredEntry("a.txt", "alpha\n"), StoredEntry("b.txt", "beta\n")});
}

TEST(ArxDetect, BySignature) {
  const std::string arj = std::string("\x60\xEA", 2);
  struct Case {
    const char* file;
    std::string bytes;
    TArcType type;
  } cases[] = {
      {"plain.zip", SmallZip(), atZip},
      {"plain.jar", SmallZip(), atJar},
      {"empty.zip", Pad(std::string("PK\x05\x06", 4), 22, '\0'), atZip},
      {"a.arj", Pad(arj, 100), atArj},
      {"a.lzh", Pad(std::string("\x20\x00-lh5-", 7), 100), atLha},
      // Header size and checksum that look like other signatures.
      {"gz.lzh", Pad(std::string("\x1f\x8b-lh5-", 7), 100), atLha},
      {"ha.lzh", Pad(std::string("HA-lh5-", 7), 100), atLha},
      {"pk.lzh", Pad(std::string("PK-lh5-", 7), 100), atLha},
      {"a.rar", Pad("Rar!\x1A\x07", 100), atRar},
      {"a.gz", Pad("\x1F\x8B\x08", 100), atGZip},
      {"a.cab", Pad("MSCF", 100), atCab},
      {"a.zoo", Pad("ZOO 2.10", 100), atZoo},
      {"a.pak", Pad("\x1A\x0A", 100), atPak},
      {"a.ha", Pad("HA", 100), atHa},
      {"stored.arc", Pad("\x1A\x02", 100), atArc},
      {"packed.arc", Pad("\x1A\x03", 100), atArc},
      {"squeezed.arc", Pad("\x1A\x04", 100), atArc},
      {"crunched.arc", Pad("\x1A\x06", 100), atArc},
      {"crunch8.arc", Pad("\x1A\x08", 100), atArc},
      {"squashed.arc", Pad("\x1A\x09", 100), atArc},
      {"old.arc", Pad(std::string("\x1A\x01", 2), 100), atArc},
      {"text.txt", Pad("Hello, this is just text\n", 100), atUnknown},
      {"uue.txt", Pad("line one\nline two\nbegin 644 x.pkt\n", 100), atUue},
      {"nouue.txt", Pad("line one\nline two\nBegin 644 x.pkt\n", 100), atUnknown},
      {"short.zip", std::string("PK\x03\x04", 4) + std::string(15, 'y'), atFileOpenErr},
      {"ace.ace", Pad(std::string(7, '\x01') + "**ACE**", 100), atACE},
      {"lead0.zip", std::string(5, '\0') + SmallZip(), atZip},
  };
  TempDir dir;
  for (const auto& c : cases) {
    dir.Write(c.file, c.bytes);
    EXPECT_EQ(DetectArchiveType(dir / c.file), c.type)
        << c.file << ": got " << ArcTypeName(DetectArchiveType(dir / c.file));
  }
  EXPECT_EQ(DetectArchiveType(dir / "missing.zip"), atFileOpenErr);
}

TEST(ArxDetect, ZipStateFromTheEndRecord) {
  TempDir dir;
  const std::string zip = SmallZip();
  dir.Write("z.zip", zip);
  TarxMain m;
  m.SetArchiveFile(dir / "z.zip");
  EXPECT_EQ(m.ArcType(), atZip);
  EXPECT_EQ(m.HeaderState(), hsEndRecord | hsCentralHeader | hsLocalHeader);
  EXPECT_EQ(m.ZipEndRecordPos(), zip.size() - 22);
  EXPECT_EQ(m.ZipShift(), 0);
  // Without the end record, the walk goes by the local headers.
  dir.Write("cut.zip", zip.substr(0, zip.size() - 30));
  m.SetArchiveFile(dir / "cut.zip");
  EXPECT_EQ(m.ArcType(), atZip);
  EXPECT_EQ(m.HeaderState() & hsCentralHeader, 0);
  // A comment longer than the comment buffer is still passed over.
  dir.Write("comment.zip", BuildZip({StoredEntry("a", "b")}, std::string(40000, 'c')));
  m.SetArchiveFile(dir / "comment.zip");
  EXPECT_EQ(m.HeaderState(), hsEndRecord | hsCentralHeader | hsLocalHeader);
}

TEST(ArxDetect, TarByChecksum) {
  TempDir dir;
  dir.Write("f.txt", "tar content\n");
  ASSERT_EQ(RunShell("cd " + Sh(dir.Path()) + " && tar cf t.tar f.txt"), 0);
  EXPECT_EQ(DetectArchiveType(dir / "t.tar"), atTar);
  std::string t = dir.Read("t.tar");
  t[148] = '7';  // a wrong checksum
  dir.Write("bad.tar", t);
  EXPECT_NE(DetectArchiveType(dir / "bad.tar"), atTar);
}

TEST(ArxDetect, SelfExtractors) {
  TempDir dir;
  const std::string zip = SmallZip();
  struct Case {
    const char* file;
    std::string bytes;
    TArcType type;
    uint64_t start;
  } cases[] = {
      // Known stub sizes: found without reading the executable.
      {"stub7612.exe", BuildDosStub(7612) + zip, atZipExe, 7612},
      {"stub15770.exe", BuildDosStub(15770) + zip, atZipExe, 15770},
      {"stub25661.exe", BuildDosStub(25661) + zip, atZipExe, 25661},
      // Another stub whose archive offsets do not count it: the directory is
      // found where it ends, at the end record.
      {"stub3000.exe", BuildDosStub(3000) + zip, atZipExe, 0},
      // An ARJ archive behind a DOS stub, and one named by string resource 1.
      {"arjdos.exe", BuildDosStub(4000) + Pad(std::string("\x60\xEA", 2), 200), atArjExe, 4000},
      {"arjpe.exe", BuildPeWithStrings({"12345"}, 12345) + Pad(std::string("\x60\xEA", 2), 200),
       atArjExe, 12345},
      // An LHA archive found by the scan behind the executable.
      {"lha.exe", BuildPeWithStrings({}, 20000) + Pad(std::string("\x20\x00-lh5-", 7), 300, '\0'),
       atLhaExe, 20000},
      {"rar.exe", BuildPeWithStrings({}, 18000) + Pad("Rar!\x1A\x07", 300, '\0'), atRarExe, 18000},
      {"plain.exe", BuildPeWithStrings({"x"}, 30000), atUnknown, 0},
  };
  for (const auto& c : cases) {
    dir.Write(c.file, c.bytes);
    TarxMain m;
    m.SetArchiveFile(dir / c.file);
    EXPECT_EQ(m.ArcType(), c.type) << c.file << ": got " << ArcTypeName(m.ArcType());
    if (c.start) {
      EXPECT_EQ(m.StartOffset(), c.start) << c.file;
    }
  }
  TarxMain m;
  m.SetArchiveFile(dir / "stub3000.exe");
  EXPECT_EQ(m.ZipShift(), 3000);
  // zip -A corrects the offsets of a self-extractor.
  ASSERT_EQ(RunShell("cd " + Sh(dir.Path()) + " && cp stub3000.exe adj.exe && zip -q -A adj.exe"),
            0);
  m.SetArchiveFile(dir / "adj.exe");
  EXPECT_EQ(m.ArcType(), atZipExe);
  EXPECT_EQ(m.ZipShift(), 0);
}

TEST(ArxDetect, VolumeNaming) {
  TempDir dir;
  const std::string arj = Pad(std::string("\x60\xEA", 2), 100);
  struct Case {
    const char* file;
    std::string bytes;
    char letter;
    int next;
  } cases[] = {
      {"set.A05", arj, 'A', 6},
      {"set.arj", arj, 'a', 1},
      {"set.a99", arj, 'a', 100},
      {"noext", arj, 'a', 1},
      {"set.rar", Pad("Rar!\x1A\x07", 100), 'r', 0},
      {"set.r07", Pad("Rar!\x1A\x07", 100), 'r', 8},
      {"set.zip", SmallZip(), 0, 0},
  };
  for (const auto& c : cases) {
    dir.Write(c.file, c.bytes);
    TarxMain m;
    m.SetArchiveFile(dir / c.file);
    EXPECT_EQ(m.VolumeLetter(), c.letter) << c.file;
    EXPECT_EQ(m.NextVolumeNumber(), c.next) << c.file;
  }
}

}  // namespace
}  // namespace velmaris::test
