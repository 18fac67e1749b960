// ARJ extraction through `velmaris-batch unpack` against archives made by
// arj (methods 0 to 4, garbled entries, multi-volume sets), checked against
// what `arj x` extracts; header faults, corrupt data and two extractions at
// the same time.
#include <gtest/gtest.h>

#include <thread>

#include "ArjLhaSupport.h"
#include "archive/ArjFormat.h"
#include "archive/arxUnARJ.h"
#include "archive/arxUnLHA.h"

namespace velmaris::test {
namespace {

class ArjExtract : public ExtractSuite {
 protected:
  void SetUp() override {
    if (!HaveTool("arj")) GTEST_SKIP() << "arj missing";
  }
  static std::string MakeArj(const std::string& name, const std::string& switches,
                             const std::string& names = kSampleNames) {
    return Make(name, "arj a -y " + switches, names);
  }
  // What `arj x` extracts.
  static Files ArjX(const std::string& arc, const std::string& switches = "") {
    return ToolTree(arc, "arj x -y " + switches);
  }
};

// The offset of the n-th header (0 = main header) of an archive whose
// headers carry no extended headers.
size_t HeaderOffset(const std::string& arc, int n) {
  size_t pos = 0;
  for (int i = 0; i < n; ++i) {
    const size_t size =
        static_cast<uint8_t>(arc[pos + 2]) | (static_cast<uint8_t>(arc[pos + 3]) << 8);
    const auto* b = reinterpret_cast<const uint8_t*>(arc.data() + pos + 4);
    const size_t packed = i == 0 ? 0 : GetLE32(b + 12);
    pos += 4 + size + 4 + 2 + packed;
  }
  return pos;
}

// Recomputes the CRC-32 of the basic header at pos after a change.
void FixHeaderCrc(std::string& arc, size_t pos) {
  const size_t size =
      static_cast<uint8_t>(arc[pos + 2]) | (static_cast<uint8_t>(arc[pos + 3]) << 8);
  const uint32_t crc =
      Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(arc.data() + pos + 4), size) ^
      0xFFFFFFFFu;
  for (int i = 0; i < 4; ++i)
    arc[pos + 4 + size + static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
}

TEST_F(ArjExtract, MethodsZeroToFourGiveTheFilesAndAgreeWithArj) {
  int n = 0;
  for (const char* switches : {"-m0", "-m1", "-m2", "-m3", "-m4", "-m1 -jm"}) {
    SCOPED_TRACE(switches);
    const std::string arc = MakeArj(
        std::string(switches) == "-m1" ? "m1.arj" : "sw" + std::to_string(n++) + ".arj", switches);
    const BatchResult r = ExpectUnpacked(arc, files_);
    EXPECT_EQ(ArjX(arc), files_);
    EXPECT_NE(r.output.find("deep.txt\",\"crc\":true"), std::string::npos) << r.output;
  }
}

TEST_F(ArjExtract, GarbledEntriesNeedTheirPassword) {
  struct Case {
    const char* method;
    const char* password;  // given to unpack; nullptr for none
    bool ok;
  } cases[] = {
      {"-m0", "secret", true}, {"-m1", "secret", true}, {"-m4", "secret", true},
      {"-m0", "wrong", false}, {"-m1", "wrong", false}, {"-m4", "wrong", false},
      {"-m0", nullptr, false}, {"-m1", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + (c.password ? c.password : "(none)"));
    const std::string arc =
        MakeArj(std::string("g") + c.method + ".arj", std::string(c.method) + " -gsecret");
    const std::string pw = c.password ? std::string("--password ") + c.password : std::string();
    if (c.ok) {
      ExpectUnpacked(arc, files_, pw);
    } else {
      // Nothing half-decrypted stays behind.
      for (const auto& f : ExpectRefused(arc, 26517, pw)) EXPECT_EQ(f.second, "") << f.first;
    }
  }
  EXPECT_EQ(ArjX(MakeArj("g-m1.arj", "-m1 -gsecret"), "-gsecret"), files_);
}

TEST_F(ArjExtract, GarbledEntryWithoutAPasswordQuestionIsAnError) {
  const std::string arc = MakeArj("g-m1.arj", "-m1 -gsecret");
  TUnARJ x;
  x.SetArchiveFile(arc);
  x.SetExtractDir(Fresh("out-noask"));
  x.SetFileSpec({"*.*"});
  int reported = 0;
  x.OnError = [&](TUnBase&, const std::string&, const std::string&, const std::string&, int code) {
    reported = code;
  };
  try {
    x.Extract();
    FAIL() << "a garbled entry without a password passed";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.Code(), ecEventNotAssigned);
  }
  EXPECT_EQ(reported, ecEventNotAssigned);
}

TEST_F(ArjExtract, VolumeSetsAreFollowedAndAMissingPartFails) {
  WriteFileBytes(src_ + "big/noise.bin", RandomBytes(260000, 99));
  WriteFileBytes(src_ + "big/text.txt", SampleText(200000, 4));
  const Files big = {{"big/noise.bin", RandomBytes(260000, 99)},
                     {"big/text.txt", SampleText(200000, 4)}};
  struct Case {
    const char* name;
    const char* switches;
    const char* password;
  } cases[] = {
      {"v1", "-m1 -v60000", nullptr},
      {"v0", "-m0 -v70000", nullptr},
      {"v4g", "-m4 -v60000 -gpw", "pw"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string vdir = dir_->Path() + c.name + "/";
    std::filesystem::create_directories(vdir);
    const std::string arc = vdir + "set.arj";
    ASSERT_EQ(RunShell("cd " + Sh(src_) + " && arj a -y " + c.switches + " " + Sh(arc) +
                       " big/noise.bin big/text.txt >/dev/null 2>&1"),
              0);
    ASSERT_TRUE(std::filesystem::exists(vdir + "set.a02"));
    const std::string pw = c.password ? std::string("--password ") + c.password : std::string();
    ExpectUnpacked(arc, big, pw);
    // arj follows a set only with -v.
    EXPECT_EQ(ArjX(arc, c.password ? std::string("-v -g") + c.password : std::string("-v")), big);
    // Without its second part the set is broken: an error, and no part of
    // the file that crossed into it.
    std::filesystem::rename(vdir + "set.a01", vdir + "moved.a01");
    EXPECT_TRUE(ExpectRefused(arc, 25135, pw).empty());
  }
}

TEST_F(ArjExtract, HeaderFaultsGiveTheirCodes) {
  const std::string good = ReadFileBytes(MakeArj("m1.arj", "-m1"));
  struct Case {
    const char* what;
    std::function<void(std::string&, size_t)> damage;  // on the first local header
    int code;
  } cases[] = {
      {"header size 2601", [](std::string& a, size_t p) { a[p + 2] = 0x29, a[p + 3] = 0x0A; },
       ecBadFileHeader},
      {"bad id", [](std::string& a, size_t p) { a[p] = 0x61; }, ecBadFileHeader},
      {"header CRC", [](std::string& a, size_t p) { a[p + 4 + 35] ^= 0x20; }, ecHeaderCrc},
      {"method 4 by version 1",
       [](std::string& a, size_t p) {
         a[p + 4 + 1] = 1;
         a[p + 4 + 5] = 4;
         FixHeaderCrc(a, p);
       },
       ecUnsupportedMethod},
      {"method 5",
       [](std::string& a, size_t p) {
         a[p + 4 + 5] = 5;
         FixHeaderCrc(a, p);
       },
       ecUnsupportedMethod},
      {"needs version 4",
       [](std::string& a, size_t p) {
         a[p + 4 + 2] = 4;
         FixHeaderCrc(a, p);
       },
       ecVersionError},
      {"name without end",
       [](std::string& a, size_t p) {
         const size_t size = static_cast<uint8_t>(a[p + 2]) | (static_cast<uint8_t>(a[p + 3]) << 8);
         for (size_t i = static_cast<uint8_t>(a[p + 4]); i < size; ++i) a[p + 4 + i] = 'x';
         FixHeaderCrc(a, p);
       },
       ecBadFileHeader},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    c.damage(bad, HeaderOffset(bad, 1));
    EXPECT_TRUE(ExpectRefused(Write("hdr" + std::to_string(n++) + ".arj", bad), c.code).empty());
  }
}

TEST_F(ArjExtract, MainHeaderIsFoundWithinTheSearchRange) {
  const std::string arc = ReadFileBytes(MakeArj("m1.arj", "-m1"));
  struct Case {
    std::string prefix;
    std::optional<size_t> at;
  } cases[] = {
      {"", 0},
      {std::string(1000, 'Z'), 1000},
      // A false id with a size but no fitting CRC is passed over.
      {std::string("\x60\xEA\x10\x00", 4) + std::string(40, '\0'), 44},
      {std::string(24999, 'Z'), 24999},
      {std::string(25000, 'Z'), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix.size());
    const std::string buf = c.prefix + arc;
    EXPECT_EQ(FindArjMainHeader(reinterpret_cast<const uint8_t*>(buf.data()), buf.size()), c.at);
  }
}

TEST_F(ArjExtract, SelfExtractorStubIsPassedOver) {
  // A DOS stub of 1000 bytes whose header gives its length (2 pages, 488
  // bytes in the last), then the archive.
  std::string stub(1000, '\0');
  stub[0] = 'M', stub[1] = 'Z';
  stub[2] = static_cast<char>(488 & 0xFF), stub[3] = static_cast<char>(488 >> 8);
  stub[4] = 2;
  ExpectUnpacked(Write("sfx.exe", stub + ReadFileBytes(MakeArj("m1.arj", "-m1"))), files_);
}

TEST_F(ArjExtract, UnsafeNamesNeverLeaveTheExtractDirectory) {
  std::string arc = ReadFileBytes(MakeArj("m1.arj", "-m1"));
  // The first entry is text.txt; give it names of the same length that
  // point elsewhere.
  const size_t p = HeaderOffset(arc, 1);
  const size_t name = p + 4 + static_cast<uint8_t>(arc[p + 4]);
  ASSERT_EQ(arc.substr(name, 8), "text.txt");
  int n = 0;
  for (const char* evil : {"../x.txt", "/etc/xyz", "..\\x.txt"}) {
    SCOPED_TRACE(evil);
    std::string bad = arc;
    bad.replace(name, 8, evil);
    FixHeaderCrc(bad, p);
    const std::string jail = dir_->Path() + "jail" + std::to_string(n++) + "/";
    std::filesystem::remove_all(jail);
    WriteFileBytes(jail + "in.arj", bad);
    const BatchResult r = RunUnpack(jail + "in.arj", jail + "out");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("25243"), std::string::npos) << r.output;
    // The other entries are extracted, nothing lands outside "out".
    Files expected;
    for (const auto& f : files_)
      if (f.first != "text.txt") expected.emplace_back("out/" + f.first, f.second);
    expected.emplace_back("in.arj", bad);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree(jail), expected);
  }
}

TEST_F(ArjExtract, CorruptDataFailsWithoutLeavingWrongFiles) {
  const std::string data = SampleText(60000, 21) + SampleRuns(20000);
  WriteFileBytes(src_ + "one/f.dat", data);
  int runs = 0, caught = 0;
  for (int m = 0; m <= 4; ++m) {
    const std::string good = ReadFileBytes(
        MakeArj("one" + std::to_string(m) + ".arj", "-m" + std::to_string(m), "one/f.dat"));
    const size_t local = HeaderOffset(good, 1);
    const size_t dataStart =
        local + 4 +
        (static_cast<uint8_t>(good[local + 2]) | (static_cast<uint8_t>(good[local + 3]) << 8)) + 6;
    ExpectDamageCaught("m" + std::to_string(m), good, dataStart, HeaderOffset(good, 2),
                       {{"one/f.dat", data}}, &runs, &caught);
  }
  EXPECT_GE(caught, runs * 9 / 10);
}

TEST_F(ArjExtract, TwoExtractionsAtOnceKeepTheirOwnState) {
  // Decoder, cipher and checksum state belong to one extraction.
  if (!HaveTool("jlha")) GTEST_SKIP() << "jlha missing";
  const std::string garbled = MakeArj("g-m1.arj", "-m1 -gsecret");
  const std::string plain = MakeArj("m2.arj", "-m2");
  const std::string lzh = Make("both.lzh", "jlha -c2o6");
  struct Job {
    std::unique_ptr<TUnBase> x;
    std::string out;
    bool ok = false;
  } jobs[3];
  jobs[0].x = std::make_unique<TUnARJ>();
  jobs[0].x->SetArchiveFile(garbled);
  jobs[1].x = std::make_unique<TUnARJ>();
  jobs[1].x->SetArchiveFile(plain);
  jobs[2].x = std::make_unique<TUnLHA>();
  jobs[2].x->SetArchiveFile(lzh);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
      Job& j = jobs[i];
      j.out = Fresh("out-par" + std::to_string(round) + "-" + std::to_string(i));
      j.x->SetExtractDir(j.out);
      j.x->SetFileSpec({"*.*"});
      j.x->ConfirmOverwrites = false;
      j.x->OnGetPassword = [](TUnBase&, const std::string&, std::string& pw, bool&) {
        pw = "secret";
      };
      threads.emplace_back([&j] {
        try {
          j.x->Extract();
          j.ok = true;
        } catch (const E_RAISE&) {
          j.ok = false;
        }
      });
    }
    for (auto& t : threads) t.join();
    for (const auto& j : jobs) {
      EXPECT_TRUE(j.ok);
      EXPECT_EQ(Tree(j.out), files_);
    }
  }
}

}  // namespace
}  // namespace velmaris::test
