#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

using test::TempDir;

TEST(Files, WildcardMatch) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.pkt", "0000FFFF.PKT", true},
      {"*.PKT", "abc.pkt", true},
      {"*.pkt", "abc.pkt.bak", false},
      {"*.pkt", ".pkt", true},
      {"*.flo", "00010002.FLO", true},
      {"*.?lo", "00010002.dlo", true},
      {"*.?lo", "00010002.lo", false},
      {"????????.su?", "1234abcd.SU0", true},
      {"????????.su?", "123abcd.su0", false},
      {"*", "", true},
      {"*", "anything.at.all", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"a*b", "abab", true},
      {"**x", "x", true},
      {"*.*", "README", true},  // ".*" also matches names without an extension
      {"*.*", "file.txt", true},
      {"FOO.*", "foo", true},
      {"FOO.*", "foobar", false},
      {"*.tic", "Fileecho.TIC", true},
      {"x?z", "x\xe9z", true},  // "?" is one byte
      {"\xe9", "\xc9", false},  // only ASCII letters fold
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
  }
}

// Archive file masks: wildcards count on both sides.
TEST(Files, MutualWildcardMatch) {
  struct Case {
    const char* pattern;
    const char* name;
    bool namesOnly;
    bool match;
  } cases[] = {
      {"*.txt", "README.TXT", false, true},
      {"README.*", "readme.txt", false, true},
      {"*.*", "readme", false, true},
      {"read*", "readme", false, true},
      {"readme", "readme.txt", false, false},
      {"read?e.t?t", "readme.txt", false, true},
      {"*.c", "a.b.c", false, true},
      {"*.pkt", "dir/x.pkt", false, true},
      {"x.pkt", "dir/x.pkt", true, true},
      {"x.pkt", "dir/x.pkt", false, false},
      {"a*c*", "abc", false, true},
      {"*", "", false, true},
      {"", "", false, true},
      {"", "x", false, false},
      {"name", "name.", false, true},
      {"????????.pkt", "0000FFFF.PKT", false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MutualWildcardMatch(c.pattern, c.name, c.namesOnly), c.match)
        << c.pattern << " ~ " << c.name;
  // Stars in a hostile name cost no more than its length.
  EXPECT_FALSE(MutualWildcardMatch("*a*b*c*d*e*f*g*h", std::string(20000, '*') + "x", false));
  EXPECT_TRUE(MutualWildcardMatch("*a*a*a*a*a*b", std::string(20000, 'a') + "b", false));
}

TEST(Files, FindNoCase) {
  TempDir dir;
  dir.Write("Inbound.PKT", "1");
  dir.Write("exact", "1");
  dir.Write("EXACT", "2");
  dir.Write("b.PKT", "1");
  dir.Write("B.pkt", "1");
  const struct {
    const char* name;
    std::optional<std::string> found;
  } cases[] = {
      {"inbound.pkt", "Inbound.PKT"},
      {"INBOUND.PKT", "Inbound.PKT"},
      {"exact", "exact"},  // the exact name first
      {"EXACT", "EXACT"},
      {"Exact", "EXACT"},  // else the first in name order
      {"b.pkt", "B.pkt"},
      {"missing", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FindNoCase(dir.Path(), c.name), c.found) << c.name;
  EXPECT_EQ(FindNoCase(dir / "nodir", "x"), std::nullopt);
}

TEST(Files, ScanDir) {
  TempDir dir;
  dir.Write("b.PKT", "12345");
  dir.Write("a.pkt", "1");
  dir.Write("c.txt", "");
  dir.Write("Sub.pkt/x", "");
  auto names = [](const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    return out;
  };
  EXPECT_EQ(names(ScanDir(dir.Path(), "*.pkt")), (std::vector<std::string>{"a.pkt", "b.PKT"}));
  EXPECT_EQ(names(ScanDir(dir.Path(), "*.pkt", true, true)),
            (std::vector<std::string>{"Sub.pkt", "a.pkt", "b.PKT"}));
  EXPECT_EQ(names(ScanDir(dir.Path(), "*", false, true)), std::vector<std::string>{"Sub.pkt"});
  EXPECT_EQ(names(ScanDir(dir.Path())), (std::vector<std::string>{"a.pkt", "b.PKT", "c.txt"}));
  const auto entries = ScanDir(dir.Path(), "b.pkt");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 5u);
  EXPECT_FALSE(entries[0].isDir);
  EXPECT_GT(entries[0].mtime, 1600000000);
  EXPECT_TRUE(ScanDir(dir / "missing").empty());
}

TEST(Files, WriteFileAtomicReplacesAndKeepsTheMode) {
  TempDir dir;
  WriteFileAtomic(dir / "f", "first");
  EXPECT_EQ(ReadFile(dir / "f"), "first");
  ASSERT_EQ(chmod((dir / "f").c_str(), 0640), 0);
  WriteFileAtomic(dir / "f", std::string("se\0cond", 7));
  EXPECT_EQ(ReadFile(dir / "f"), std::string("se\0cond", 7));
  struct stat st;
  ASSERT_EQ(stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(ScanDir(dir.Path(), "*").size(), 1u);  // no temporary file left
  EXPECT_THROW(WriteFileAtomic(dir / "missing/f", "x"), EFile);
  EXPECT_THROW(ReadFile(dir / "missing"), EFile);
}

// A name as long as a name may be (255 bytes, in ASCII or in two-byte
// letters, and one cut halfway through a letter by the temporary name's
// length) is written whole, and no temporary file is left.
TEST(Files, WriteFileAtomicTakesTheLongestNames) {
  TempDir dir;
  for (const std::string& name :
       {std::string(255, 'n'), std::string(251, 'n') + ".txt",
        [] { std::string s; for (int i = 0; i < 125; ++i) s += "ф"; return s + ".txt"; }(),
        [] { std::string s = "a"; for (int i = 0; i < 125; ++i) s += "ф"; return s + ".tx"; }()}) {
    SCOPED_TRACE(name.size());
    ASSERT_LE(name.size(), 255u);
    WriteFileAtomic(dir / name, "long");
    EXPECT_EQ(ReadFile(dir / name), "long");
    WriteFileAtomic(dir / name, "again");
    EXPECT_EQ(ReadFile(dir / name), "again");
    EXPECT_EQ(ScanDir(dir.Path(), "*").size(), 1u);
    ::unlink((dir / name).c_str());
  }
}

TEST(Files, ReplaceFile) {
  TempDir dir;
  dir.Write("new", "new");
  dir.Write("old", "old");
  ReplaceFile(dir / "new", dir / "old");
  EXPECT_EQ(ReadFile(dir / "old"), "new");
  EXPECT_FALSE(FileExists(dir / "new"));
  EXPECT_THROW(ReplaceFile(dir / "new", dir / "old"), EFile);
}

TEST(Files, RenameNoReplaceNeverOverwrites) {
  TempDir dir;
  dir.Write("a", "A");
  dir.Write("b", "B");
  EXPECT_FALSE(RenameNoReplace(dir / "a", dir / "b"));
  EXPECT_EQ(ReadFile(dir / "a"), "A");
  EXPECT_EQ(ReadFile(dir / "b"), "B");
  EXPECT_TRUE(RenameNoReplace(dir / "a", dir / "c"));
  EXPECT_FALSE(FileExists(dir / "a"));
  EXPECT_EQ(ReadFile(dir / "c"), "A");
  EXPECT_THROW(RenameNoReplace(dir / "a", dir / "d"), EFile);
  dir.Write("d/x", "");
  EXPECT_FALSE(RenameNoReplace(dir / "c", dir / "d"));  // a directory is in the way too
}

TEST(Files, IoLoopsStopAtTheEndAndSayWhy) {
  TempDir dir;
  Fd fd(::open((dir / "f").c_str(), O_RDWR | O_CREAT, 0644));
  ASSERT_TRUE(fd.ok());
  EXPECT_EQ(PWriteFull(fd.get(), "abcdef", 6, 2), 6u);  // a hole of two bytes first
  char buf[16];
  EXPECT_TRUE(PReadAll(fd.get(), buf, 4, 4));
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_FALSE(PReadAll(fd.get(), buf, 5, 4));  // one past the end
  EXPECT_EQ(PReadFull(fd.get(), buf, sizeof buf, 6), 2u);
  EXPECT_EQ(errno, 0);  // the end, not a failure
  EXPECT_EQ(ReadFull(fd.get(), buf, sizeof buf), 8u);
  EXPECT_EQ(std::string(buf, 8), std::string("\0\0abcdef", 8));
  EXPECT_EQ(ReadSome(fd.get(), buf, sizeof buf), 0);
  EXPECT_TRUE(WriteAll(fd.get(), "gh"));
  EXPECT_EQ(ReadFile(dir / "f"), std::string("\0\0abcdefgh", 10));
  Fd readOnly(::open((dir / "f").c_str(), O_RDONLY));
  EXPECT_FALSE(WriteAll(readOnly.get(), "x"));
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(PWriteFull(readOnly.get(), "x", 1, 0), 0u);
}

TEST(Files, DirectoriesAndSpace) {
  TempDir dir;
  MakeDirs(dir / "a/b/c/");
  EXPECT_TRUE(DirExists(dir / "a/b/c"));
  MakeDirs(dir / "a/b/c");  // already there
  dir.Write("file", "");
  EXPECT_THROW(MakeDirs(dir / "file/sub"), EFile);
  EXPECT_FALSE(FileExists(dir / "a"));
  EXPECT_TRUE(FileExists(dir / "file"));
  EXPECT_GT(FreeSpace(dir.Path()), 0u);
  EXPECT_THROW(FreeSpace(dir / "missing"), EFile);
  FsyncPath(dir / "file");
  FsyncPath(dir.Path());
  // How much of a path names something on disk: whole, up to a folder, none.
  const std::string koi8 = dir / "\xC6\xC9\xC4\xCF";  // not UTF-8
  MakeDirs(koi8 + "/sub");
  const struct {
    std::string path;
    size_t kept;
  } prefixes[] = {
      {dir / "file", (dir / "file").size()},
      {koi8 + "/sub/", (koi8 + "/sub/").size()},
      {koi8 + "/sub/\xC8\xED/x", (koi8 + "/sub/").size()},
      {koi8 + "/file/x", (koi8 + "/").size()},
      {dir / "file/x", dir.Path().size()},
      {"/\xC8\xED", 1},
      {"\xC8\xED/missing", 0},
      {"", 0},
  };
  for (const auto& p : prefixes) EXPECT_EQ(ExistingPrefixLength(p.path), p.kept) << p.path;
}

TEST(Files, PathPieces) {
  const struct {
    const char* path;
    const char* dir;
    const char* name;
  } cases[] = {
      {"/var/fido/in/a.pkt", "/var/fido/in/", "a.pkt"},
      {"a.pkt", "", "a.pkt"},
      {"in/", "in/", ""},
      {"/a", "/", "a"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DirOf(c.path), c.dir) << c.path;
    EXPECT_EQ(NameOf(c.path), c.name) << c.path;
  }
  EXPECT_EQ(JoinPath("in", "a"), "in/a");
  EXPECT_EQ(JoinPath("in/", "a"), "in/a");
  EXPECT_EQ(JoinPath("", "a"), "a");
  EXPECT_EQ(WithSlash("in"), "in/");
  EXPECT_EQ(WithSlash("in/"), "in/");
  EXPECT_EQ(WithSlash(""), "");
}

// A path an earlier version stored in quotes is the path without them.
TEST(Files, UnquotedPathByTable) {
  TempDir dir;
  dir.Write("Почта Ивана/Новости дня.txt", "n");
  const std::string news = dir / "Почта Ивана/Новости дня.txt";
  const struct {
    std::string stored;
    std::string path;
  } cases[] = {
      {"\"" + news + "\"", news},
      {" \"" + news + "\" ", news},
      {news, news},
      {"\"" + dir / "to be made.txt" + "\"", dir / "to be made.txt"},
      {"\"", "\""},
      {"\"\"", ""},
      {"", ""},
      {"\"" + news, "\"" + news},
  };
  for (const auto& c : cases) EXPECT_EQ(UnquotedPath(c.stored), c.path) << c.stored;
}

}  // namespace
}  // namespace velmaris::platform
