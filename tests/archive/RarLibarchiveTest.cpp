// The RAR walk through the reader that stands in for the RAR library
// (libarchive), on archives written by hand: both formats, the same safety
// rules as every extractor, encrypted entries named as such.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "PackerFixtures.h"
#include "RarFixtures.h"
#include "WalkFixture.h"
#include "archive/ArchiveCheck.h"
#include "archive/Packer.h"
#include "archive/RarDecoder.h"
#include "archive/RarHeaders.h"
#include "archive/UnrarApi.h"
#include "archive/arxUnRAR.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class RarReader : public WalkFixture<TUnRAR> {
 protected:
  void SetUp() override { unrar::SetLibraryPath(unrar::kLibarchiveReader); }
  void TearDown() override { unrar::SetLibraryPath(""); }
  std::vector<std::string> OutNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir / "out", ec))
      names.push_back(e.path().filename().string());
    return names;
  }
};

// An archive of libarchive's test suite (tests/fixtures/rar/).
std::string RarFixture(const std::string& name) {
  return platform::ReadFile(std::string(VELMARIS_SOURCE_DIR) + "/tests/fixtures/rar/" + name);
}

TEST_F(RarReader, ExtractsEveryEntryOfBothFormats) {
  const std::string big = std::string(70000, 'z') + "end";
  const std::vector<RarEntry> entries = {
      {"0000ABCD.PKT", "packet bytes\0\x01\x02", false, false, 0},
      {"sub\\deep.pkt", big, false, false, 0},
      {"empty.txt", "", false, false, 0},
  };
  struct Case {
    const char* what;
    std::string image;
  } cases[] = {{"RAR 1.5-4", Rar4Stored(entries)}, {"RAR 5", Rar5Stored(entries)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ended.clear();
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    MakeFile("mail.rar", c.image);
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(errors, std::vector<int>{});
    EXPECT_EQ(dir.Read("out/0000ABCD.PKT"), entries[0].data);
    EXPECT_EQ(dir.Read("out/sub/deep.pkt"), big);
    EXPECT_EQ(dir.Read("out/empty.txt"), "");
    EXPECT_EQ(x->FilesExtracted(), 3);
    // Read back without a disk, as the packet writer checks its bundles.
    EXPECT_TRUE(ArchiveHoldsFile(dir / "mail.rar", dir / "out/0000ABCD.PKT"));
  }
}

// Entries that may not be written, are encrypted or damaged are reported
// and the walk goes on with the next entry.
TEST_F(RarReader, RefusedEncryptedAndDamagedEntriesByTable) {
  struct Case {
    const char* what;
    RarEntry entry;
    bool rar5;
    int reported;
  } cases[] = {
      {"a name that climbs out", {"../escape.txt", "x"}, false, ecInvalidFileName},
      {"an absolute name, RAR 5", {"/abs.txt", "x"}, true, ecInvalidFileName},
      {"control characters", {"a\x1b[2J\n.pkt", "x"}, false, ecInvalidFileName},
      {"control characters, RAR 5", {"a\x1b[2J\n.pkt", "x"}, true, ecInvalidFileName},
      {"encrypted", {"locked.txt", "secret", true}, false, ecRarEncrypted},
      {"encrypted, RAR 5", {"locked.txt", "secret", true}, true, ecRarEncrypted},
      {"continued from an earlier volume",
       {"cont.pkt", "tail", false, false, 0, 0, false, true},
       false,
       ecBrokenVolumeChain},
      {"continued from an earlier volume, RAR 5",
       {"cont.pkt", "tail", false, false, 0, 0, false, true},
       true,
       ecBrokenVolumeChain},
      {"wrong CRC", {"bad.txt", "damaged data", false, false, 1}, false, ecCrcCheck},
      {"wrong CRC, RAR 5", {"bad.txt", "damaged data", false, false, 1}, true, ecCrcCheck},
      {"more data than its size",
       {"big.txt", "damaged data", false, false, 0, -4},
       false,
       ecCrcCheck},
      {"less data than its size, RAR 5",
       {"big.txt", "damaged data", false, false, 0, 4},
       true,
       ecCrcCheck},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    const std::vector<RarEntry> entries = {{"first.txt", "good"}, c.entry, {"last.txt", "also"}};
    MakeFile("t.rar", c.rar5 ? Rar5Stored(entries) : Rar4Stored(entries));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errors, std::vector<int>{c.reported});
    EXPECT_EQ(dir.Read("out/first.txt"), "good");
    ASSERT_TRUE(Exists("last.txt"));
    EXPECT_EQ(dir.Read("out/last.txt"), "also");
    EXPECT_FALSE(Exists(std::filesystem::path(c.entry.name).filename().string()));
    EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
  }
}

// Names given in Unicode (a RAR 1.5-4 name with the Unicode flag, every
// RAR 5 name) land in UTF-8 whatever the locale; a name without the flag is
// taken from CP866, unless it comes from Unix in UTF-8.
TEST_F(RarReader, NamesByTable) {
  const std::string mail = "\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0.pkt";  // Почта.pkt
  const std::string test = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt";      // テスト.txt
  RarEntry unicode{mail, "unicode"};
  unicode.unicode = true;
  struct Case {
    const char* what;
    std::string image;
    std::string file, data;
  } cases[] = {
      {"RAR 4, Unicode flag", Rar4Stored({unicode}), mail, "unicode"},
      {"RAR 4, CP866", Rar4Stored({{"\x8F\xAE\xE7\xE2\xA0.pkt", "oem"}}), mail, "oem"},
      {"RAR 4, Unicode flag, Latin", Rar4Stored({{"plain.pkt", "p", false, false, 0, 0, true}}),
       "plain.pkt", "p"},
      {"RAR 5", Rar5Stored({{mail, "five"}}), mail, "five"},
      {"RAR 4, Unix host, UTF-8 without the flag",
       Rar4Stored({{test, "unix", false, false, 0, 0, false, false, true}}), test, "unix"},
      {"RAR 4, Unix host, CP866 without the flag",
       Rar4Stored({{"\x8F\xAE\xE7\xE2\xA0.pkt", "oem", false, false, 0, 0, false, false, true}}),
       mail, "oem"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    MakeFile("n.rar", c.image);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(errors, std::vector<int>{});
    EXPECT_EQ(dir.Read("out/" + c.file), c.data);
  }
}

// Unpacked as the tosser does (what is there is kept), a second entry of a
// name gets the next free name.
TEST_F(RarReader, SecondEntryOfOneNameGetsTheNextFreeName) {
  for (const bool rar5 : {false, true}) {
    SCOPED_TRACE(rar5);
    const std::vector<RarEntry> entries = {{"a.pkt", "first"}, {"a.pkt", "second"}};
    dir.Write("d.rar", rar5 ? Rar5Stored(entries) : Rar4Stored(entries));
    const std::string out = rar5 ? "out5/" : "out4/";
    ScopedUi ui;
    TPacker p;
    p.SetUnPack("Integrated UnRAR");
    TUnpackNotes notes;
    EXPECT_TRUE(p.Unpack(dir / "d.rar", dir / out, true, &notes));
    EXPECT_EQ(notes.Errors, std::vector<std::string>{});
    EXPECT_EQ(dir.Read(out + "a.pkt"), "first");
    EXPECT_EQ(dir.Read(out + "a~1.pkt"), "second");
  }
}

// The walk over the block headers to a file's CRC-32.
TEST(RarHeaders, StoredFileCrcByTable) {
  const std::vector<RarEntry> two = {{"a.txt", "alpha"}, {"b.txt", "beta"}};
  const uint32_t crcA = Crc32OfBuffer("alpha", 5);
  const std::string rar4 = Rar4Stored(two), rar5 = Rar5Stored(two);
  std::string badHeader4 = rar4;
  badHeader4[7 + 13 + 20] ^= 1;  // inside the first file header
  std::string badHeader5 = rar5;
  badHeader5[8 + 10 + 12] ^= 1;
  // A comment block (type 0x75) before the file: passed over with its size.
  const std::string commented =
      rar4.substr(0, 20) + rar_detail::Block4(0x75, 0, std::string(6, 'c')) + rar4.substr(20);
  struct Case {
    const char* what;
    std::string image;
    uint64_t pos;
    bool rar5;
    std::optional<uint32_t> crc;
  } cases[] = {
      {"RAR 4 from the marker", rar4, 0, false, crcA},
      {"RAR 4 after a comment block", commented, 0, false, crcA},
      {"RAR 4, second entry", rar4, 7 + 13 + 32 + 5 + 5, false, Crc32OfBuffer("beta", 4)},
      {"RAR 4, damaged header", badHeader4, 0, false, std::nullopt},
      {"RAR 4, cut in the header", rar4.substr(0, 30), 0, false, std::nullopt},
      {"RAR 4, only the end", rar4, rar4.size() - 7, false, std::nullopt},
      {"RAR 5 from the marker", rar5, 0, true, crcA},
      {"RAR 5, damaged header", badHeader5, 0, true, std::nullopt},
      {"RAR 5, directory", Rar5Stored({{"d", "", false, true}}), 0, true, std::nullopt},
      {"RAR 5, cut", rar5.substr(0, 25), 0, true, std::nullopt},
      {"no archive", std::string(100, '\xFF'), 0, true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string& image = c.image;
    const auto read = [&image](uint64_t offset, void* buf, size_t n) -> size_t {
      if (offset >= image.size()) return 0;
      const size_t got = std::min<uint64_t>(n, image.size() - offset);
      std::memcpy(buf, image.data() + offset, got);
      return got;
    };
    EXPECT_EQ(RarStoredFileCrc(read, c.pos, c.rar5), c.crc);
  }
}

// Unicode name fields of RAR 1.5-4, every code of the encoding.
TEST(RarHeaders, UnicodeNamesByTable) {
  struct Case {
    const char* what;
    std::string oem, encoded, utf8;
  } cases[] = {
      {"low bytes", "ab", std::string("\0\0ab", 4), "ab"},
      {"with the high byte", "??", std::string("\x04\x50\x1F\x3E", 4), "\xD0\x9F\xD0\xBE"},
      {"low and high byte", "?", std::string("\0\x80\x16\x04", 4), "\xD0\x96"},
      {"run from the OEM name", "abcd", std::string("\0\xC0\x02", 3), "abcd"},
      {"run with a correction", std::string("\x10\x11"), std::string("\x04\xC0\x80\x00", 4),
       "\xD0\x90\xD0\x91"},
      {"cut inside a character", "?", std::string("\0\x80\x16", 3), ""},
      {"no encoded part", "plain", "", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeRarUnicodeName(c.oem, c.encoded), c.utf8) << c.what;
}

TEST_F(RarReader, EncryptedEntryNamesTheCause) {
  EXPECT_EQ(std::string(ArxErrorText(ecRarEncrypted)),
            "Encrypted RAR entries are extracted only with the RAR library (libunrar)");
}

TEST_F(RarReader, DamagedArchivesFail) {
  const std::string good = Rar4Stored({{"a.txt", std::string(5000, 'a')}, {"b.txt", "b"}});
  struct Case {
    const char* what;
    std::string image;
  } cases[] = {
      {"cut inside the first entry's data", good.substr(0, 7 + 13 + 32 + 5 + 100)},
      {"no RAR at all behind the marker", std::string("Rar!\x1A\x07\x00", 7) + "garbage!garbage"},
      {"a volume that holds only the rest of a file",
       Rar4Stored({{"a.txt", "tail", false, false, 0, 0, false, true}})},
      {"a volume that holds only the rest of a file, RAR 5",
       Rar5Stored({{"a.txt", "tail", false, false, 0, 0, false, true}})},
      {"libarchive 3.6 reads freed memory on it, RAR 5",
       RarFixture("test_read_format_rar5_data_ready_pointer_leak.rar")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    std::filesystem::remove_all(dir / "out");
    MakeFile("d.rar", c.image);
    const int raised = Run();
    EXPECT_TRUE(raised != 0 || !errors.empty());
    EXPECT_EQ(OutNames(), std::vector<std::string>{}) << "a cut entry leaves nothing behind";
  }
}

// A number of /proc/self/status ("VmSize", "VmPeak") in bytes.
uint64_t StatusBytes(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1)) * 1024;
  return 0;
}

// Archives whose headers or data ask libarchive for far more memory than a
// bundle needs (a PPMd model of 256 MB, a window of 4 GB) fail as damaged:
// for the reader's memory bound ("Out of memory", also where libarchive
// takes the failed allocation for bad data), or refused by libarchive
// itself. The process that extracts them hardly grows. Each runs in a child
// whose address space may grow by 512 MB at most, so a fault here cannot
// take the machine's memory.
TEST_F(RarReader, ArchivesAskingForHugeMemoryFailAsDamagedByTable) {
  const std::string ppmd = std::string("\xBF\xFF", 2) + std::string(64, '\0');
  struct Case {
    const char* what;
    std::string image;
    int code;
    // The allocator may end the reader for it instead (AddressSanitizer's
    // does): damaged all the same.
    bool allocatorMayEnd = false;
  } cases[] = {
      {"PPMd model of 256 MB", Rar4Packed("a.pkt", ppmd, 1000), ecOutOfMemory, true},
      {"PPMd model of 256 MB, a large entry", Rar4Packed("a.pkt", ppmd, 0xFFFFFFF0u),
       ecOutOfMemory, true},
      {"window of 4 GB, RAR 5", Rar5Packed("a.pkt", std::string(64, '\0'), 1000, 15),
       ecBadFileHeader},
      {"PPMd data of about 1 GB", RarFixture("test_read_format_rar_unbound_staticdata.rar"),
       ecOutOfMemory, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MakeFile("m.rar", c.image);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const uint64_t before = StatusBytes("VmSize");
      struct rlimit rl {};
      ::getrlimit(RLIMIT_AS, &rl);
      rl.rlim_cur = rlim_t(before + (uint64_t(512) << 20));
      if (rl.rlim_max != RLIM_INFINITY && rl.rlim_cur > rl.rlim_max) rl.rlim_cur = rl.rlim_max;
      ::setrlimit(RLIMIT_AS, &rl);
      const int raised = Run();
      const uint64_t grown = StatusBytes("VmPeak") - before;
      if (grown >= (uint64_t(64) << 20)) ::_exit(2);
      const bool archiveFailed = raised == c.code && errors == std::vector<int>{c.code};
      const bool allocatorEnded = c.allocatorMayEnd && raised == ecBadFileHeader &&
                                  errors == std::vector<int>{ecBadFileHeader};
      ::_exit(archiveFailed || allocatorEnded ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 1) << "not failed as a damaged archive";
    EXPECT_NE(WEXITSTATUS(status), 2) << "the extracting process took the memory";
    EXPECT_EQ(OutNames(), std::vector<std::string>{});
  }
}

// The state and the parent of a process (from /proc/PID/stat).
std::optional<std::pair<char, pid_t>> StateAndParent(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line) || line.rfind(')') == std::string::npos) return std::nullopt;
  std::istringstream rest(line.substr(line.rfind(')') + 1));
  char state = 0;
  pid_t parent = 0;
  rest >> state >> parent;
  return std::make_pair(state, parent);
}

bool Running(pid_t pid) {
  const auto s = StateAndParent(pid);
  return s && s->first != 'Z' && s->first != 'X';
}

// The RAR reader's processes that parent started.
std::vector<pid_t> ReadersOf(pid_t parent) {
  std::vector<pid_t> found;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    const auto s = StateAndParent(pid);
    std::string comm;
    std::getline(std::ifstream(e.path() / "comm"), comm);
    if (s && s->second == parent && comm == "velmaris-rar") found.push_back(pid);
  }
  return found;
}

// The files a process holds open.
std::vector<std::string> OpenFiles(pid_t pid) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
    files.push_back(std::filesystem::read_symlink(e.path(), ec).string());
  return files;
}

// A process killed while the RAR reader's process decodes for it (a stored
// entry of 40 GB in a sparse file) leaves neither that process nor a lock
// behind: the reader holds no descriptor of the start directory's lock or
// of the instance guard, and dies with the process. Held to limits, the
// same entry is put aside unread.
TEST_F(RarReader, AKilledExtractionLeavesNoReaderAndNoLockBehind) {
  const uint64_t size = uint64_t(40) << 30;
  const std::string head = Rar4StoredHead("big.pkt", size);
  MakeFile("big.rar", head);
  {
    platform::Fd fd(::open((dir / "big.rar").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    ASSERT_EQ(::ftruncate(fd.get(), off_t(head.size() + size)), 0);
    ASSERT_TRUE(platform::WriteAll(fd.get(), rar_detail::Block4(0x7B, 0x4000, "")));
  }
  x->SetSizeLimits(1 << 20, 1 << 30);
  EXPECT_EQ(Run(), ecSizeLimit);
  EXPECT_EQ(OutNames(), std::vector<std::string>{});
  x->SetSizeLimits(0, 0);

  using platform::InstanceGuard;
  const std::string locks[] = {InstanceGuard::StartDirectoryPath(dir.Path()), dir / "guard.lock"};
  int report[2];
  ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    InstanceGuard start(locks[0]), guard(locks[1], true);
    if (start.Acquire() != InstanceGuard::Result::Acquired ||
        guard.Acquire() != InstanceGuard::Result::Acquired)
      ::_exit(1);
    // Once the data flow, the reader is told to the test, which kills this
    // process while it waits.
    x->OnProgress = [&](TUnBase&, int, int) {
      std::error_code ec;
      if (std::filesystem::file_size(dir / "out/big.pkt", ec) == 0 || ec) return;
      for (const pid_t reader : ReadersOf(::getpid()))
        if (::write(report[1], &reader, sizeof reader) != sizeof reader) ::_exit(1);
      for (;;) ::pause();
    };
    Run();
    ::_exit(1);
  }
  ::close(report[1]);
  pid_t reader = 0;
  ASSERT_EQ(platform::WaitReadable(report[0], -1, std::chrono::minutes(2)), 1);
  ASSERT_EQ(::read(report[0], &reader, sizeof reader), ssize_t(sizeof reader));
  ::close(report[0]);
  for (const std::string& file : OpenFiles(reader))
    for (const std::string& lock : locks) EXPECT_NE(file, lock);
  ::kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (Running(reader) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(Running(reader));
  for (const std::string& lock : locks)
    EXPECT_EQ(InstanceGuard(lock).Acquire(std::chrono::minutes(2)), InstanceGuard::Result::Acquired)
        << lock;
}

// A reader's process that ends (here by a signal sent on purpose) fails the
// archive, saying why: as damaged when the archive can have done it (a
// crash), as our own failure when the signal came from outside (the
// out-of-memory killer's SIGKILL, SIGTERM, SIGHUP) or the reader was stopped
// and gave no answer within the wait (shortened here).
TEST_F(RarReader, AReaderThatEndsFailsTheArchiveWithItsReasonByTable) {
  struct Case {
    int signal;
    int code;
    const char* words;
  } cases[] = {
      {SIGSEGV, ecBadFileHeader,
       "the RAR reader failed on it: it was ended by signal 11 (Segmentation fault)"},
      {SIGBUS, ecBadFileHeader, "the RAR reader failed on it: it was ended by signal 7 (Bus error)"},
      {SIGABRT, ecBadFileHeader, "the RAR reader failed on it: it was ended by signal 6 (Aborted)"},
      {SIGFPE, ecBadFileHeader,
       "the RAR reader failed on it: it was ended by signal 8 (Floating point exception)"},
      {SIGXCPU, ecBadFileHeader,
       "the RAR reader failed on it: it was ended by signal 24 (CPU time limit exceeded)"},
      {SIGKILL, ecReaderStopped, "the RAR reader was stopped: it was ended by signal 9 (Killed)"},
      {SIGTERM, ecReaderStopped, "the RAR reader was stopped: it was ended by signal 15 (Terminated)"},
      {SIGHUP, ecReaderStopped, "the RAR reader was stopped: it was ended by signal 1 (Hangup)"},
      {SIGSTOP, ecReaderStopped,
       "the RAR reader was stopped: it gave no answer within 300 ms (it was stopped)"},
  };
  unrar::TRarReaderBounds bounds;
  bounds.AnswerWait = std::chrono::milliseconds(300);
  unrar::SetRarReaderBounds(bounds);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    errors.clear();
    MakeFile("s.rar", Rar5Stored({{"a.pkt", "first"}, {"b.pkt", "second"}}));
    std::vector<std::string> words;
    x->OnError = [&](TUnBase&, const std::string&, const std::string& msgEx, const std::string&,
                     int code) {
      errors.push_back(code);
      words.push_back(msgEx);
    };
    x->OnBegin = [&](TUnBase&, const std::string&, int, bool&) {
      for (const pid_t reader : ReadersOf(::getpid())) ::kill(reader, c.signal);
    };
    EXPECT_EQ(Run(), c.code);
    EXPECT_EQ(errors, std::vector<int>{c.code});
    EXPECT_EQ(words, std::vector<std::string>{c.words});
    EXPECT_EQ(OutNames(), std::vector<std::string>{});
    EXPECT_EQ(ReadersOf(::getpid()), std::vector<pid_t>{}) << "the reader is reaped";
  }
  unrar::SetRarReaderBounds({});
  EXPECT_EQ(std::string(ArxErrorText(ecReaderStopped)),
            "The RAR reader was stopped before it finished; the archive is not at fault");
}

// A reader that runs into its CPU limit fails the archive as damaged: by
// SIGXCPU at its own limit (shortened here to a second), and by the
// kernel's SIGKILL when its limit was made a hard one from outside (no
// SIGXCPU comes first then; two seconds here), which is told from any other
// SIGKILL by the CPU time it used. A stored entry of 40 GB in a sparse file keeps it busy;
// its data are only read back, never written.
TEST_F(RarReader, TheCpuLimitFailsTheArchiveAsDamagedByTable) {
  const uint64_t size = uint64_t(40) << 30;
  const std::string head = Rar4StoredHead("big.pkt", size);
  struct Case {
    const char* what;
    bool hardFromOutside;
    const char* words;
  } cases[] = {
      {"its own limit", false,
       "the RAR reader failed on it: it was ended by signal 24 (CPU time limit exceeded)"},
      {"a hard limit set from outside", true,
       "the RAR reader failed on it: it was ended by signal 9 (Killed), at its limit of 2 seconds "
       "of CPU time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    errors.clear();
    MakeFile("big.rar", head);
    {
      platform::Fd fd(::open((dir / "big.rar").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
      ASSERT_EQ(::ftruncate(fd.get(), off_t(head.size() + size)), 0);
      ASSERT_TRUE(platform::WriteAll(fd.get(), rar_detail::Block4(0x7B, 0x4000, "")));
    }
    std::vector<std::string> words;
    x->OnError = [&](TUnBase&, const std::string&, const std::string& msgEx, const std::string&,
                     int code) {
      errors.push_back(code);
      words.push_back(msgEx);
    };
    x->SetOutputSink([](const uint8_t*, size_t) {});
    unrar::TRarReaderBounds bounds;
    bounds.CpuSeconds = c.hardFromOutside ? 60 : 1;
    unrar::SetRarReaderBounds(bounds);
    if (c.hardFromOutside) {
      unrar::SetRarReaderWatch([](pid_t pid) {
        const struct rlimit two {2, 2};
        ::prlimit(pid, RLIMIT_CPU, &two, nullptr);
      });
    }
    EXPECT_EQ(Run(), ecBadFileHeader);
    unrar::SetRarReaderWatch({});
    unrar::SetRarReaderBounds({});
    EXPECT_EQ(errors, std::vector<int>{ecBadFileHeader});
    EXPECT_EQ(words, std::vector<std::string>{c.words});
  }
}

// Without any library installed the batch driver extracts through the
// reader (a library installed here would read these archives as well).
TEST(RarReaderBatch, UnpackWithoutTheLibrary) {
  TempDir dir;
  dir.Write("mail.rar", Rar5Stored({{"0000FFFE.PKT", "packet"}}));
  std::string out;
  EXPECT_EQ(RunShell("env -u VELMARIS_UNRAR_LIBRARY " + ShellQuote(VELMARIS_BATCH) + " unpack " +
                         ShellQuote(dir / "mail.rar") + " " + ShellQuote(dir / "out"),
                     &out),
            0)
      << out;
  EXPECT_EQ(dir.Read("out/0000FFFE.PKT"), "packet");
}

}  // namespace
}  // namespace velmaris::test
