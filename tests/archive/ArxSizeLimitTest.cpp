// The output limits every integrated extractor keeps: the declared sizes are
// held against them before an entry is written, the written bytes while
// they are written, whatever the headers said.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ArcFixtures.h"
#include "ArchiveFixtures.h"
#include "ArjLhaSupport.h"
#include "RarFixtures.h"
#include "archive/UnrarApi.h"
#include "archive/arxMain.h"
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

    // A header that declares less than the entry gives: the output stops
    // at the limit and goes.
    if (!f.lying) continue;
    EXPECT_EQ(Run(f, f.lying(), 1000, 0), ecSizeLimit);
    EXPECT_TRUE(x->SizeLimitHit());
    EXPECT_EQ(Out(), std::vector<std::string>{});
    EXPECT_EQ(Run(f, f.lying(), 0, 1000), ecSizeLimit);
    EXPECT_TRUE(x->SizeLimitHit());
    EXPECT_EQ(Out(), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace velmaris::test
