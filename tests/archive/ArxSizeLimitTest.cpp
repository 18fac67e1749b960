// The output limits every integrated extractor keeps: the declared sizes are
// held against them before an entry is written, the written bytes while
// they are written, whatever the headers said.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ArcFixtures.h"
#include "ArchiveFixtures.h"
#include "ArjLhaSupport.h"
#include "RarFixtures.h"
#include "archive/UnrarApi.h"
#include "archive/arxMain.h"
#include "core/Crc.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr size_t kEntry = 60000;  // each of the two entries

struct Format {
  const char* extractor;
  std::string name;                    // of the archive file
  std::function<std::string()> truth;  // two entries of kEntry bytes, as declared
  // One entry of kEntry bytes that declares 100; empty where the format's
  // reader never gives more than the header declares.
  std::function<std::string()> lying;
  int filesBeforeTotal;  // extracted before the run total stops the walk
};

std::string Data(char c) { return std::string(kEntry, c); }

std::vector<Format> Formats(const TempDir& t) {
  return {
      {"UnZIP", "a.zip",
       [] {
         return BuildZip({StoredEntry("A.PKT", Data('a')), StoredEntry("B.PKT", Data('b'))});
       },
       [] {
         ZipFixtureEntry e = StoredEntry("A.PKT", Data('a'));
         e.usize = 100;
         return BuildZip({e});
       },
       0},
      {"UnARC", "a.arc",
       [] {
         return BuildArc({{2, "A.PKT", Data('a'), Data('a')}, {2, "B.PKT", Data('b'), Data('b')}});
       },
       nullptr, 0},
      {"UnLHA", "a.lzh",
       [] {
         return LhaLevel0Entry("-lh0-", "A.PKT", Data('a'), Data('a')) +
                LhaLevel0Entry("-lh0-", "B.PKT", Data('b'), Data('b')) + std::string(1, '\0');
       },
       [] {
         return LhaLevel0Entry("-lh0-", "A.PKT", Data('a'), std::string(100, 'a')) +
                std::string(1, '\0');
       },
       0},
      {"UnARJ", "a.arj",
       [&t] {
         t.Write("src/A.PKT", Data('a'));
         t.Write("src/B.PKT", Data('b'));
         EXPECT_EQ(RunShell("cd " + Sh(t / "src") + " && arj a -e -y -m0 " + Sh(t / "made.arj") +
                            " A.PKT B.PKT >/dev/null"),
                   0);
         return ReadFileBytes(t / "made.arj");
       },
       nullptr, 0},
      // RAR is walked entry by entry: the first one is out before the
      // second one's size passes the total.
      {"UnRAR", "a.rar",
       [] {
         return Rar4Stored({{"A.PKT", Data('a')}, {"B.PKT", Data('b')}});
       },
       nullptr, 1},
  };
}

class ArxSizeLimit : public ::testing::Test {
 protected:
  void SetUp() override { unrar::SetLibraryPath(unrar::kLibarchiveReader); }
  void TearDown() override { unrar::SetLibraryPath(""); }

  // Extracts the image with the limits; the code raised, or 0.
  int Run(const Format& f, const std::string& image, uint64_t maxEntry, uint64_t maxTotal) {
    std::filesystem::remove_all(dir / "out");
    dir.Write(f.name, image);
    x = CreateExtractorByName(f.extractor);
    x->SetArchiveFile(dir / f.name);
    x->SetExtractDir(dir / "out");
    x->SetFileSpec({"*.*"});
    x->UseStoredDirs = false;
    x->SetSizeLimits(maxEntry, maxTotal);
    reported.clear();
    x->OnError = [this](TUnBase&, const std::string&, const std::string&, const std::string&,
                        int code) { reported.push_back(code); };
    try {
      x->Extract();
    } catch (const E_RAISE& e) {
      return e.Code();
    }
    return 0;
  }
  std::vector<std::string> Out() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir / "out", ec))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir;
  std::unique_ptr<TUnBase> x;
  std::vector<int> reported;  // by OnError
};

TEST_F(ArxSizeLimit, EveryExtractorKeepsTheLimits) {
  if (!HaveTool("arj")) GTEST_SKIP() << "arj is not installed";
  for (const Format& f : Formats(dir)) {
    SCOPED_TRACE(f.extractor);
    const std::string image = f.truth();

    // An entry declared larger than an entry may be: nothing is written.
    EXPECT_EQ(Run(f, image, kEntry - 1, 0), ecSizeLimit);
    EXPECT_TRUE(x->SizeLimitHit());
    EXPECT_EQ(Out(), std::vector<std::string>{});

    // The declared sizes together pass the run's total.
    EXPECT_EQ(Run(f, image, 0, 2 * kEntry - 1), ecSizeLimit);
    EXPECT_TRUE(x->SizeLimitHit());
    EXPECT_EQ(Out().size(), static_cast<size_t>(f.filesBeforeTotal));

    // Exactly at the limits: everything.
    EXPECT_EQ(Run(f, image, kEntry, 2 * kEntry), 0);
    EXPECT_FALSE(x->SizeLimitHit());
    EXPECT_EQ(Out(), (std::vector<std::string>{"A.PKT", "B.PKT"}));
    EXPECT_EQ(dir.Read("out/B.PKT"), Data('b'));

    // A stored entry whose header declares less than its data holds is
    // damage, found before any limit is met: nothing is written.
    if (!f.lying) continue;
    EXPECT_EQ(Run(f, f.lying(), 1000, 0), 0);
    EXPECT_FALSE(x->SizeLimitHit());
    EXPECT_EQ(reported, std::vector<int>{ecBadFileHeader});
    EXPECT_EQ(Out(), std::vector<std::string>{});
    EXPECT_EQ(Run(f, f.lying(), 0, 1000), 0);
    EXPECT_FALSE(x->SizeLimitHit());
    EXPECT_EQ(Out(), std::vector<std::string>{});
  }
}

// The image with a little-endian 32-bit value put at the offset.
std::string Put32(std::string image, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return image;
}

// An ARJ archive made by arj with the sizes of its second file entry
// changed and its header CRC made to fit them.
std::string ArjWithSizes(std::string arj, std::optional<uint32_t> packed,
                         std::optional<uint32_t> original) {
  auto le16 = [&arj](size_t at) {
    return static_cast<size_t>(static_cast<uint8_t>(arj[at]) |
                               (static_cast<uint8_t>(arj[at + 1]) << 8));
  };
  size_t at = 0;
  for (int header = 0; header < 3; ++header) {  // the main header, A.PKT, B.PKT
    EXPECT_EQ(arj.substr(at, 2), "\x60\xEA");
    const size_t size = le16(at + 2);
    if (header == 2) {
      const size_t basic = at + 4;
      if (packed) arj = Put32(arj, basic + 12, *packed);
      if (original) arj = Put32(arj, basic + 16, *original);
      return Put32(arj, basic + size, Crc32OfBuffer(arj.data() + basic, size));
    }
    size_t next = at + 4 + size + 4;
    for (size_t ext = le16(next); ext != 0; ext = le16(next)) next += 2 + ext + 4;
    next += 2;
    if (header > 0) next += static_cast<uint32_t>(static_cast<uint8_t>(arj[at + 4 + 12]) |
                                                  (static_cast<uint8_t>(arj[at + 4 + 13]) << 8) |
                                                  (static_cast<uint8_t>(arj[at + 4 + 14]) << 16) |
                                                  (static_cast<uint8_t>(arj[at + 4 + 15]) << 24));
    at = next;
  }
  return arj;
}

// An entry whose declared sizes its data cannot hold (a stored entry that
// declares more or less than it holds, data that would reach past the end of
// the archive) is damage, found in the first pass before anything is
// written and before any size limit: it is reported, nothing of it is made,
// and its sizes count toward no limit, so the sound entry before it comes
// out though the lie declares far more than the run's room.
TEST_F(ArxSizeLimit, DeclaredSizesTheDataCannotHoldAreDamageBeforeAnyLimit) {
  if (!HaveTool("arj")) GTEST_SKIP() << "arj is not installed";
  constexpr uint32_t k14MiB = 14u << 20;
  const std::string a = Data('a'), b = Data('b');
  dir.Write("src/A.PKT", a);
  dir.Write("src/B.PKT", b);
  ASSERT_EQ(RunShell("cd " + Sh(dir / "src") + " && arj a -e -y -m0 " + Sh(dir / "made.arj") +
                     " A.PKT B.PKT >/dev/null"),
            0);
  const std::string arj = ReadFileBytes(dir / "made.arj");
  auto zip = [&](uint32_t usize, std::optional<uint32_t> csize, uint16_t method = 0) {
    ZipFixtureEntry lie = StoredEntry("B.PKT", b);
    lie.usize = usize;
    lie.method = method;
    std::string image = BuildZip({StoredEntry("A.PKT", a), lie});
    if (csize) {  // in the local and the central header alike
      for (const char* sig : {"PK\x03\x04", "PK\x01\x02"}) {
        const size_t first = image.find(sig);
        const size_t second = image.find(sig, first + 4);
        image = Put32(image, second + (sig[2] == 3 ? 18 : 20), *csize);
      }
    }
    return image;
  };
  const std::string arcHead = BuildArc({{2, "A.PKT", a, a}}, false);
  auto lha = [&](const std::string& method, const std::string& original) {
    return LhaLevel0Entry("-lh0-", "A.PKT", a, a) + LhaLevel0Entry(method, "B.PKT", b, original) +
           std::string(1, '\0');
  };
  const std::string lhaHead = LhaLevel0Entry("-lh0-", "A.PKT", a, a);
  struct Row {
    const char* what;
    const char* extractor;
    std::string name, image;
    int code;  // reported for B.PKT
  } rows[] = {
      {"zip, stored, declares 14 MiB", "UnZIP", "a.zip", zip(k14MiB, {}), ecBadFileHeader},
      {"zip, stored, declares less", "UnZIP", "a.zip", zip(100, {}), ecBadFileHeader},
      {"zip, stored, 14 MiB of data past the end", "UnZIP", "a.zip", zip(k14MiB, k14MiB),
       ecReadFile},
      {"zip, deflated, 14 MiB of data past the end", "UnZIP", "a.zip", zip(k14MiB, k14MiB, 8),
       ecReadFile},
      {"arc, stored, declares 14 MiB", "UnARC", "a.arc",
       BuildArc({{2, "A.PKT", a, a}, {2, "B.PKT", b, std::string(k14MiB, 'b')}}), ecBadFileHeader},
      {"arc, stored, data past the end", "UnARC", "a.arc",
       Put32(BuildArc({{2, "A.PKT", a, a}, {2, "B.PKT", b, b}}), arcHead.size() + 15, k14MiB),
       ecReadFile},
      {"arc, crunched, data past the end", "UnARC", "a.arc",
       Put32(BuildArc({{2, "A.PKT", a, a}, {8, "B.PKT", "\x0C\x41", "A"}}), arcHead.size() + 15,
             k14MiB),
       ecReadFile},
      {"lha, -lh0-, declares 14 MiB", "UnLHA", "a.lzh", lha("-lh0-", std::string(k14MiB, 'b')),
       ecBadFileHeader},
      {"lha, -lz4-, declares 14 MiB", "UnLHA", "a.lzh", lha("-lz4-", std::string(k14MiB, 'b')),
       ecBadFileHeader},
      {"lha, -lh0-, declares less", "UnLHA", "a.lzh", lha("-lh0-", std::string(100, 'b')),
       ecBadFileHeader},
      {"lha, -lh5-, data past the end", "UnLHA", "a.lzh",
       Put32(lha("-lh5-", b), lhaHead.size() + 7, k14MiB), ecReadFile},
      {"arj, stored, declares 14 MiB", "UnARJ", "a.arj", ArjWithSizes(arj, {}, k14MiB),
       ecBadFileHeader},
      {"arj, stored, declares less", "UnARJ", "a.arj", ArjWithSizes(arj, {}, 100),
       ecBadFileHeader},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Format f{r.extractor, r.name, nullptr, nullptr, 0};
    // Room for A.PKT, far from the room the lie claims.
    EXPECT_EQ(Run(f, r.image, 256u << 20, 2 * kEntry), 0);
    EXPECT_FALSE(x->SizeLimitHit());
    EXPECT_EQ(reported, std::vector<int>{r.code});
    EXPECT_EQ(Out(), std::vector<std::string>{"A.PKT"});
    EXPECT_EQ(dir.Read("out/A.PKT"), a);
  }
  // Data past the end of an ARJ archive end the run before anything is
  // written, as they always did.
  const Format f{"UnARJ", "a.arj", nullptr, nullptr, 0};
  EXPECT_EQ(Run(f, ArjWithSizes(arj, k14MiB, k14MiB), 256u << 20, 2 * kEntry), ecReadFile);
  EXPECT_FALSE(x->SizeLimitHit());
  EXPECT_EQ(Out(), std::vector<std::string>{});
}

}  // namespace
}  // namespace velmaris::test
