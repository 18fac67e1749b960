// LHA extraction through `velmaris-batch unpack`, against archives made by
// jlha (header levels 0 to 2, -lh5-, -lh6-, -lh7-, stored) and hand-made
// ones (-lh1-, -lh4-, long extended headers), checked against lhasa.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "ArjLhaSupport.h"
#include "archive/arxUnLHA.h"

namespace velmaris::test {
namespace {

class LhaExtract : public ExtractSuite {
 protected:
  void SetUp() override {
    if (!HaveTool("jlha") || !HaveTool("lhasa")) GTEST_SKIP() << "jlha or lhasa missing";
  }
  // An archive of the sample files made with jlha options such as "2o5".
  static std::string MakeLzh(const std::string& name, const std::string& options) {
    return Make(name, "jlha -c" + options);
  }
  static Files Lhasa(const std::string& arc) { return ToolTree(arc, "lhasa xfq"); }
};

TEST_F(LhaExtract, LevelsAndMethodsGiveTheFilesAndAgreeWithLhasa) {
  struct Case {
    const char* options;  // header level and method for jlha
    const char* method;   // as stored
  } cases[] = {
      {"0o5", "-lh5-"}, {"1o5", "-lh5-"}, {"2o5", "-lh5-"}, {"0o6", "-lh6-"},
      {"1o6", "-lh6-"}, {"2o6", "-lh6-"}, {"2z", "-lh0-"},  {"0z", "-lh0-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string arc = MakeLzh(std::string("t") + c.options + ".lzh", c.options);
    EXPECT_NE(ReadFileBytes(arc).find(c.method), std::string::npos);
    const BatchResult r = ExpectUnpacked(arc, files_);
    EXPECT_EQ(Lhasa(arc), files_);
    const std::string out = dir_->Path() + "out-t" + c.options + ".lzh/";
    // One line per file with its checksum result.
    EXPECT_NE(r.output.find("deep.txt\",\"crc\":true"), std::string::npos) << r.output;
    // The file time: exact from level 2 (Unix seconds), to the DOS
    // two-second step from levels 0 and 1.
    const auto mtime = [](const std::string& p) {
      struct stat st {};
      ::stat(p.c_str(), &st);
      return static_cast<long long>(st.st_mtime);
    };
    const long long diff = mtime(out + "text.txt") - mtime(src_ + "text.txt");
    if (c.options[0] == '2')
      EXPECT_EQ(diff, 0);
    else
      EXPECT_LE(std::llabs(diff), 2);
  }
}

TEST_F(LhaExtract, Lh7IsRefusedWithUnsupportedMethod) {
  const std::string arc = MakeLzh("t2o7.lzh", "2o7");
  ASSERT_NE(ReadFileBytes(arc).find("-lh7-"), std::string::npos);
  EXPECT_TRUE(ExpectRefused(arc, 25326).empty());
}

TEST_F(LhaExtract, Lh1EncodedStreamsDecodeLikeLhasa) {
  struct Case {
    const char* name;
    std::string data;
  } cases[] = {
      {"text.txt", SampleText(30000, 5)},
      {"runs.dat", SampleRuns(50000)},
      {"rand.bin", RandomBytes(9000)},
      // Matches into the blanks the window starts with.
      {"blanks.txt", std::string(200, ' ') + "x" + std::string(100, ' ') + SampleText(500)},
      {"nothing.txt", ""},  // (a header that does not look like gzip)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string arc =
        Write(std::string("lh1-") + c.name + ".lzh",
              LhaLevel0Entry("-lh1-", c.name, EncodeLh1(c.data), c.data) + std::string(1, '\0'));
    const Files expected = {{c.name, c.data}};
    ASSERT_EQ(Lhasa(arc), expected) << "the test encoder disagrees with lhasa";
    ExpectUnpacked(arc, expected);
  }
}

TEST_F(LhaExtract, Lh4ReadsAnLh5StreamOfASmallFile) {
  // Below 4 KiB an -lh5- stream is a valid -lh4- stream.
  const std::string data = SampleText(3500, 9);
  const std::string srcDir = dir_->Path() + "small/";
  WriteFileBytes(srcDir + "small.txt", data);
  const std::string lh5 = dir_->Path() + "small5.lzh";
  ASSERT_EQ(
      RunShell("cd " + Sh(srcDir) + " && jlha -c0o5 " + Sh(lh5) + " small.txt >/dev/null 2>&1"), 0);
  std::string raw = ReadFileBytes(lh5);
  ASSERT_EQ(raw.substr(2, 5), "-lh5-");
  const size_t headerSize = static_cast<uint8_t>(raw[0]);
  raw[5] = '4';
  uint8_t sum = 0;
  for (size_t i = 2; i < headerSize + 2; ++i)
    sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(raw[i]));
  raw[1] = static_cast<char>(sum);
  const std::string arc = Write("small4.lzh", raw);
  const Files expected = {{"small.txt", data}};
  ASSERT_EQ(Lhasa(arc), expected);
  ExpectUnpacked(arc, expected);
}

// A level-2 header built by hand: extended headers of any size (the format
// gives them 16 bits) and the name in the header of type 1.
std::string Level2Entry(const std::string& name, const std::string& dir, const std::string& data,
                        size_t commentSize) {
  std::vector<std::string> ext;
  auto e = [](uint8_t type, const std::string& body) {
    return std::string(1, static_cast<char>(type)) + body;
  };
  ext.push_back(e(0x3F, std::string(commentSize, 'c')));  // a comment before the name
  ext.push_back(e(0x01, name));
  if (!dir.empty()) ext.push_back(e(0x02, dir));
  std::string h;
  auto le16 = [](std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  };
  auto le32 = [&](std::string& s, uint32_t v) {
    le16(s, v & 0xFFFF);
    le16(s, v >> 16);
  };
  std::string fixed = "-lh0-";
  le32(fixed, static_cast<uint32_t>(data.size()));
  le32(fixed, static_cast<uint32_t>(data.size()));
  le32(fixed, 1700000000u);
  fixed += static_cast<char>(0x20);
  fixed += static_cast<char>(2);
  le16(fixed, Crc16ArcUpdate(0, reinterpret_cast<const uint8_t*>(data.data()), data.size()));
  fixed += 'U';
  std::string exts;
  le16(fixed, static_cast<uint32_t>(ext[0].size() + 2));
  for (size_t i = 0; i < ext.size(); ++i) {
    exts += ext[i];
    le16(exts, i + 1 < ext.size() ? static_cast<uint32_t>(ext[i + 1].size() + 2) : 0);
  }
  size_t total = 2 + fixed.size() + exts.size();
  std::string pad;
  if ((total & 0xFF) == 0) {
    pad = std::string(1, '\0');
    ++total;
  }
  le16(h, static_cast<uint32_t>(total));
  return h + fixed + exts + pad + data;
}

TEST_F(LhaExtract, Level2NameAndDirectoryComeFromTheirExtendedHeaders) {
  struct Case {
    size_t comment;
    std::string dir;
    std::string expectedPath;
  } cases[] = {
      {10, "", "named.txt"},
      {300, "", "named.txt"},  // an extended header above 255 bytes
      {1000, std::string("one") + '\xFF' + "two" + '\xFF', "one/two/named.txt"},
  };
  const std::string data = SampleText(2000, 11);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comment);
    const std::string arc =
        Write("l2-" + std::to_string(c.comment) + ".lzh",
              Level2Entry("named.txt", c.dir, data, c.comment) + std::string(1, '\0'));
    const Files expected = {{c.expectedPath, data}};
    EXPECT_EQ(Lhasa(arc), expected);
    ExpectUnpacked(arc, expected);
  }
}

TEST_F(LhaExtract, ArchiveBehindA128ByteBlockIsRead) {
  ExpectUnpacked(
      Write("prefixed.lzh", std::string(128, '\0') + ReadFileBytes(MakeLzh("t2o5.lzh", "2o5"))),
      files_);
}

TEST_F(LhaExtract, ShortHeaderSizeEndsTheCollectionAfterEarlierEntries) {
  const std::string a = SampleText(1000, 1), b = SampleText(1200, 2);
  std::string second = LhaLevel0Entry("-lh0-", "b.txt", b, b);
  second[0] = 21;
  const std::string arc =
      Write("short.lzh", LhaLevel0Entry("-lh0-", "a.txt", a, a) + second + std::string(1, '\0'));
  EXPECT_EQ(ExpectRefused(arc, 25108), (Files{{"a.txt", a}}));
}

TEST_F(LhaExtract, UnsafeNamesNeverLeaveTheExtractDirectory) {
  const std::string d = "data";
  const std::string arc = dir_->Path() + "unsafe.lzh";
  WriteFileBytes(arc, LhaLevel0Entry("-lh0-", "../evil.txt", d, d) +
                          LhaLevel0Entry("-lh0-", "/abs.txt", d, d) +
                          LhaLevel0Entry("-lh0-", "..\\win.txt", d, d) +
                          LhaLevel0Entry("-lh0-", "ok.txt", d, d) + std::string(1, '\0'));
  const std::string out = Fresh("jail/out-unsafe");
  const BatchResult r = RunUnpack(arc, out);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("25243"), std::string::npos) << r.output;
  EXPECT_EQ(Tree(dir_->Path() + "jail/"), (Files{{"out-unsafe/ok.txt", d}}));
}

TEST_F(LhaExtract, DirectoryEntriesAreNeverWrittenAsFiles) {
  const std::string d = SampleText(300, 4);
  ExpectUnpacked(
      Write("dirs.lzh", LhaLevel0Entry("-lhd-", "empty\\", "", "") +
                            LhaLevel0Entry("-lh0-", "f.txt", d, d) + std::string(1, '\0')),
      {{"f.txt", d}});
  EXPECT_TRUE(std::filesystem::is_directory(dir_->Path() + "out-dirs.lzh/empty"));
}

TEST_F(LhaExtract, CorruptDataFailsWithoutLeavingWrongFiles) {
  // Archives of one file each, damaged at several places of the data.
  const std::string data = SampleText(60000, 21) + SampleRuns(20000);
  const std::string one = dir_->Path() + "one/";
  WriteFileBytes(one + "f.dat", data);
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases;
  for (const char* opt : {"0o5", "2o6"}) {
    const std::string arc = dir_->Path() + "one" + opt + ".lzh";
    ASSERT_EQ(
        RunShell("cd " + Sh(one) + " && jlha -c" + opt + " " + Sh(arc) + " f.dat >/dev/null 2>&1"),
        0);
    cases.push_back({opt, ReadFileBytes(arc)});
  }
  cases.push_back(
      {"lh1", LhaLevel0Entry("-lh1-", "f.dat", EncodeLh1(data), data) + std::string(1, '\0')});
  cases.push_back({"lh0", LhaLevel0Entry("-lh0-", "f.dat", data, data) + std::string(1, '\0')});
  int runs = 0, caught = 0;
  for (const auto& c : cases) {
    const size_t dataStart =
        c.bytes[20] == 2
            ? (static_cast<uint8_t>(c.bytes[0]) | (static_cast<uint8_t>(c.bytes[1]) << 8))
            : static_cast<uint8_t>(c.bytes[0]) + 2u;
    ExpectDamageCaught(c.name, c.bytes, dataStart, c.bytes.size(), {{"f.dat", data}}, &runs,
                       &caught);
  }
  EXPECT_GE(caught, runs * 9 / 10);
}

}  // namespace
}  // namespace velmaris::test
