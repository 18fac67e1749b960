// The RAR walk through a stand-in library built by the tests (fake/FakeUnrar):
// names, sizes, directories, links, passwords, failing files, and the run
// without a library.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>

#include "WalkFixture.h"
#include "archive/UnrarApi.h"
#include "archive/arxUnRAR.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

std::string Hex(const std::string& s) {
  if (s.empty()) return "-";
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

// One line of the fake library's archive.
std::string FileLine(const std::string& name, const std::string& data, unsigned flags = 0,
                     unsigned host = 2, unsigned attr = 0x20, const std::string& password = "-",
                     int result = 0, const char* crc = "ok") {
  return "F " + name + " " + std::to_string(flags) + " " + std::to_string(host) + " " +
         std::to_string(attr) + " " + password + " " + std::to_string(result) + " " + crc + " " +
         Hex(data) + "\n";
}

class RarWalk : public WalkFixture<TUnRAR> {
 protected:
  void SetUp() override { unrar::SetLibraryPath(FAKEUNRAR_PATH); }
  void TearDown() override { unrar::SetLibraryPath(""); }
  TUnRAR& Make(const std::string& lines) {
    return MakeFile("test.rar", std::string("Rar!\x1A\x07\x00\n", 8) + lines);
  }
};

TEST_F(RarWalk, ExtractsFilesWithNamesAndSizes) {
  const std::string big(10000, 'z');
  Make(FileLine("readme.txt", "hello rar") + FileLine("sub/deep/data.bin", big) +
       FileLine("empty.txt", ""));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(dir.Read("out/readme.txt"), "hello rar");
  EXPECT_EQ(dir.Read("out/sub/deep/data.bin"), big);
  EXPECT_EQ(dir.Read("out/empty.txt"), "");
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_EQ(ended[1].first, dir / "out/sub/deep/data.bin");
  EXPECT_TRUE(ended[1].second);
  EXPECT_EQ(x->FilesExtracted(), 3);
  EXPECT_TRUE(errors.empty());
  struct stat st;
  ASSERT_EQ(::stat((dir / "out/readme.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, DosDateTimeToDateTime(0x5A8B6000));
}

TEST_F(RarWalk, DirectoriesLinksAndUnixModesByTable) {
  Make(FileLine("dosdir", "", 0, 2, 0x10) +                  // DOS directory attribute
       FileLine("flagdir", "", 0x20, 2, 0x20) +              // directory flag
       FileLine("unixdir", "", 0, 3, 040755) +               // Unix directory mode
       FileLine("groupw.txt", "mode 0664", 0, 3, 0100664) +  // a Unix file whose mode has bit 0x10
       FileLine("ro.txt", "read only", 0, 3, 0100444) + "L link.txt\n");
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(Exists("dosdir"));
  EXPECT_FALSE(Exists("flagdir"));
  EXPECT_FALSE(Exists("unixdir"));
  EXPECT_FALSE(Exists("link.txt"));
  EXPECT_EQ(dir.Read("out/groupw.txt"), "mode 0664");
  struct stat st;
  ASSERT_EQ(::stat((dir / "out/ro.txt").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR) << "extracted files stay writable by their owner";
}

TEST_F(RarWalk, UnsafeNamesAreRefusedAndTheRunGoesOn) {
  Make(FileLine("../escape.txt", "x") + FileLine("/abs.txt", "x") + FileLine("ok.txt", "fine"));
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
  EXPECT_EQ(dir.Read("out/ok.txt"), "fine");
  EXPECT_EQ(errors, (std::vector<int>{ecInvalidFileName, ecInvalidFileName}));
}

TEST_F(RarWalk, FileSpecChoosesEntries) {
  Make(FileLine("a.txt", "a") + FileLine("b.dat", "b"));
  x->SetFileSpec({"*.dat"});
  ASSERT_EQ(Run(), 0);
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_TRUE(Exists("b.dat"));
}

struct PasswordCase {
  const char* what;
  std::string preset;                // Password before the run
  std::vector<std::string> answers;  // what OnGetPassword says in turn ("" = give up)
  bool handler;
  bool extracted;
  int asked;
};

class RarPassword : public RarWalk, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(RarPassword, AsksAndRetriesAsTold) {
  const PasswordCase& c = GetParam();
  Make(FileLine("secret.txt", "classified", 4, 2, 0x20, "geheim") + FileLine("after.txt", "plain"));
  x->Password = c.preset;
  int asked = 0;
  if (c.handler)
    x->OnGetPassword = [&](TUnBase&, const std::string&, std::string& pw, bool& tryAgain) {
      const std::string a = asked < int(c.answers.size()) ? c.answers[size_t(asked)] : "";
      ++asked;
      if (a.empty())
        tryAgain = false;
      else
        pw = a;
    };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(asked, c.asked);
  EXPECT_EQ(Exists("secret.txt"), c.extracted);
  if (c.extracted) {
    EXPECT_EQ(dir.Read("out/secret.txt"), "classified");
    EXPECT_TRUE(Exists("after.txt"));
    EXPECT_TRUE(errors.empty());
  } else {
    EXPECT_EQ(errors, std::vector<int>{ecInvalidPassword});
    EXPECT_FALSE(Exists("after.txt")) << "a password failure ends the run";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RarPassword,
    ::testing::Values(PasswordCase{"preset", "geheim", {}, true, true, 0},
                      PasswordCase{"asked once", "", {"geheim"}, true, true, 1},
                      PasswordCase{"wrong then right", "", {"falsch", "geheim"}, true, true, 2},
                      PasswordCase{"wrong preset then asked", "falsch", {"geheim"}, true, true, 1},
                      PasswordCase{"gives up", "", {""}, true, false, 1},
                      PasswordCase{
                          "wrong three times", "", {"a", "b", "c", "geheim"}, true, false, 3},
                      PasswordCase{"no handler", "", {}, false, false, 0}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (auto& ch : n)
        if (ch == ' ') ch = '_';
      return n;
    });

TEST_F(RarWalk, FailuresByTable) {
  struct Case {
    const char* what;
    std::string lines;
    int raised;
  } cases[] = {
      // A checksum failure is reported and the walk goes on.
      {"library reports bad data", FileLine("bad.txt", "damaged data", 0, 2, 0x20, "-", 12), 0},
      {"header CRC wrong, library content",
       FileLine("bad.txt", "damaged data", 0, 2, 0x20, "-", 0, "bad"), 0},
      {"library cannot write", FileLine("bad.txt", "damaged data", 0, 2, 0x20, "-", 16),
       ecWriteFile},
      {"the reader's process failed on the file",
       FileLine("bad.txt", "damaged data", 0, 2, 0x20, "-", unrar::ERAR_READER_FAILED),
       ecBadFileHeader},
      {"unreadable header", "H 12\n", ecBadFileHeader},
      {"open fails as unknown format", "O 14\n", ecUnsupportedType},
      {"open fails as missing volume", "O 15\n", ecOpenFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ended.clear();
    errors.clear();
    Make(FileLine("first.txt", "good") + c.lines + FileLine("last.txt", "never"));
    EXPECT_EQ(Run(), c.raised);
    EXPECT_FALSE(Exists("bad.txt")) << "a failed file is not left behind";
    EXPECT_EQ(Exists("last.txt"), c.raised == 0);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), c.raised ? c.raised : ecCrcCheck);
    std::filesystem::remove_all(dir / "out");
  }
}

TEST_F(RarWalk, CancelStopsTheWalk) {
  Make(FileLine("one.txt", std::string(100, 'a')) + FileLine("two.txt", "b"));
  x->OnProgress = [](TUnBase& s, int, int) { s.Cancel(); };
  Run();
  EXPECT_FALSE(Exists("two.txt"));
  EXPECT_FALSE(Exists("one.txt"));
}

TEST(RarLibrary, MissingLibraryFailsWithItsCode) {
  TempDir dir;
  dir.Write("test.rar", std::string("Rar!\x1A\x07\x00\n", 8) + FileLine("a.txt", "a"));
  unrar::SetLibraryPath(dir / "no-such-libunrar.so");
  TUnRAR x;
  x.SetArchiveFile(dir / "test.rar");
  x.SetExtractDir(dir / "out");
  x.SetFileSpec({"*.*"});
  int code = 0;
  std::string text;
  try {
    x.Extract();
  } catch (const E_RAISE& e) {
    code = e.Code();
    text = e.what();
  }
  unrar::SetLibraryPath("");
  EXPECT_EQ(code, ecUnrarNotFound);
  EXPECT_EQ(text, "Unrar.dll not found");
  EXPECT_FALSE(std::filesystem::exists(dir / "out/a.txt"));
}

TEST(RarLibrary, BatchUnpackThroughTheLibrary) {
  TempDir dir;
  dir.Write("mail.rar", std::string("Rar!\x1A\x07\x00\n", 8) + FileLine("0000FFFE.PKT", "packet") +
                            FileLine("locked.txt", "locked", 4, 2, 0x20, "geheim"));
  std::string out;
  const std::string env = std::string("VELMARIS_UNRAR_LIBRARY=") + ShellQuote(FAKEUNRAR_PATH) + " ";
  EXPECT_EQ(RunShell(env + ShellQuote(VELMARIS_BATCH) + " unpack " + ShellQuote(dir / "mail.rar") +
                         " " + ShellQuote(dir / "out") + " --password geheim",
                     &out),
            0);
  EXPECT_EQ(out, "{\"file\":\"" + dir / "out/0000FFFE.PKT" + "\",\"crc\":true}\n{\"file\":\"" +
                     dir / "out/locked.txt" + "\",\"crc\":true}\n");
  EXPECT_EQ(dir.Read("out/locked.txt"), "locked");

  EXPECT_NE(RunShell(env + ShellQuote(VELMARIS_BATCH) + " unpack " + ShellQuote(dir / "mail.rar") +
                         " " + ShellQuote(dir / "out2") + " --password falsch 2>&1",
                     &out),
            0);
  EXPECT_NE(out.find("26517 Invalid password"), std::string::npos) << out;

  EXPECT_NE(RunShell("VELMARIS_UNRAR_LIBRARY=/nonexistent/libunrar.so " +
                         ShellQuote(VELMARIS_BATCH) + " unpack " + ShellQuote(dir / "mail.rar") +
                         " " + ShellQuote(dir / "out3") + " 2>&1",
                     &out),
            0);
  EXPECT_NE(out.find("25258 Unrar.dll not found"), std::string::npos) << out;
}

TEST(RarApiLayout, RecordsMatchThePackedLibraryLayout) {
  // The library's header packs its records to 1 byte; on a 64-bit system the
  // fields fall at these offsets.
  static_assert(sizeof(void*) == 8);
  EXPECT_EQ(offsetof(unrar::RAROpenArchiveDataEx, OpenMode), 16u);
  EXPECT_EQ(offsetof(unrar::RAROpenArchiveDataEx, CmtBuf), 24u);
  EXPECT_EQ(offsetof(unrar::RAROpenArchiveDataEx, Callback), 48u);
  EXPECT_EQ(offsetof(unrar::RAROpenArchiveDataEx, CmtBufW), 68u);
  EXPECT_EQ(sizeof(unrar::RAROpenArchiveDataEx), 176u);
  EXPECT_EQ(offsetof(unrar::RARHeaderDataEx, FileName), 5120u);
  EXPECT_EQ(offsetof(unrar::RARHeaderDataEx, Flags), 10240u);
  EXPECT_EQ(offsetof(unrar::RARHeaderDataEx, CmtBuf), 10284u);
  EXPECT_EQ(offsetof(unrar::RARHeaderDataEx, HashType), 10308u);
  EXPECT_EQ(offsetof(unrar::RARHeaderDataEx, RedirName), 10348u);
  EXPECT_EQ(sizeof(unrar::RARHeaderDataEx), 14340u);
}

}  // namespace
}  // namespace velmaris::test
