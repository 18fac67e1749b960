// The shared routines of the extraction library: cipher, names, volume names, times and the error
// table.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "ArchiveFixtures.h"
#include "archive/arxBase.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

const uint8_t* U(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(ArxCipher, HeaderCheckAndDecryptMatchZip) {
  // An archive made by zip -P: our header check and decryption give the
  // file back.
  TempDir dir;
  dir.Write("secret.txt", "stored secret\n");
  ASSERT_EQ(MakeEncryptedZip("cd " + Sh(dir.Path()) + " && zip -q -0 -P geheim s.zip secret.txt",
                             dir / "s.zip", {"falsch"}),
            0);
  const std::string z = dir.Read("s.zip");
  const uint8_t* p = U(z.data());
  ASSERT_EQ(GetLE32(p), 0x04034B50u);
  const uint32_t flags = GetLE16(p + 6), time = GetLE16(p + 10), crc = GetLE32(p + 14);
  const size_t data = 30 + GetLE16(p + 26) + GetLE16(p + 28);
  ASSERT_TRUE(flags & 1);
  TZipCrypt c;
  EXPECT_FALSE(ZipCheckHeader(c, "", p + data, flags, time, crc));
  EXPECT_FALSE(ZipCheckHeader(c, "falsch", p + data, flags, time, crc));
  ASSERT_TRUE(ZipCheckHeader(c, "geheim", p + data, flags, time, crc));
  std::string plain(z.data() + data + 12, 14);
  c.Decode(reinterpret_cast<uint8_t*>(plain.data()), plain.size());
  EXPECT_EQ(plain, "stored secret\n");
}

TEST(ArxNames, SafeSplitRefusesEscapes) {
  struct Case {
    const char* name;
    bool ok;
    std::vector<std::string> parts;
  } cases[] = {
      {"a.txt", true, {"a.txt"}},
      {"dir/sub/a.txt", true, {"dir", "sub", "a.txt"}},
      {"dir\\sub\\a.txt", true, {"dir", "sub", "a.txt"}},
      {"with blank/a b.txt", true, {"with blank", "a b.txt"}},
      {"..a/b..", true, {"..a", "b.."}},
      {"../evil", false, {}},
      {"a/../../evil", false, {}},
      {"..\\evil", false, {}},
      {"/etc/passwd", false, {}},
      {"\\evil", false, {}},
      {"C:/evil", false, {}},
      {"C:evil", false, {}},
      {"a//b", false, {}},
      {"./a", false, {}},
      {"a/.", false, {}},
      {"", false, {}},
      {"dir/", false, {}},
      {"a\x1b[2J\n.pkt", false, {}},
      {"dir\x7f/a.pkt", false, {}},
      {"csi\xc2\x9b.pkt", false, {}},
      {"\xd0\x9f\xd0\xb8\xd1\x81\xd1\x8c\xd0\xbc\xd0\xbe.pkt",
       true,
       {"\xd0\x9f\xd0\xb8\xd1\x81\xd1\x8c\xd0\xbc\xd0\xbe.pkt"}},
      {"\xc2\xa0nbsp.pkt", true, {"\xc2\xa0nbsp.pkt"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> parts;
    EXPECT_EQ(SplitSafeName(c.name, parts), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(parts, c.parts) << c.name;
    }
  }
  std::vector<std::string> parts;
  EXPECT_FALSE(SplitSafeName(std::string("a\0b", 3), parts));
}

TEST(ArxVolumes, Names) {
  struct Case {
    int n;
    char letter;
    int current;
    const char* ext;
  } cases[] = {{1, 'a', 1, ".a01"},
               {9, 'a', 1, ".a09"},
               {12, 'a', 1, ".a12"},
               {123, 'r', 100, ".123"},
               {-1, 'a', 1, ""}};
  for (const auto& c : cases) EXPECT_EQ(VolumeExtension(c.n, c.letter, c.current), c.ext);
  EXPECT_EQ(NextVolumeName("/in/BUNDLE.ARJ", 3, 'a', 1), "/in/BUNDLE.a03");
  EXPECT_EQ(NextVolumeName("/in.d/bundle", 10, 'r', 1), "/in.d/bundle.r10");
}

TEST(ArxTimes, Conversions) {
  struct tm tm {};
  time_t t = DosDateTimeToDateTime(0);
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year, 80);
  EXPECT_EQ(tm.tm_mon, 0);
  EXPECT_EQ(tm.tm_mday, 1);
  EXPECT_EQ(tm.tm_hour, 0);
  EXPECT_EQ(tm.tm_min, 0);
  t = ArcUnixTimeToDateTime(0);
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year, 80);
  EXPECT_EQ(tm.tm_min, 1);
  EXPECT_EQ(ArcUnixTimeToDateTime(1000000000), 1000000000);
  EXPECT_EQ(ArcUnixTimeToDateTime(-1000000000), 1000000000);
  // 2001-05-17 12:30:20 and back.
  const uint32_t dos = (uint32_t((21 << 9) | (5 << 5) | 17) << 16) | (12 << 11) | (30 << 5) | 10;
  t = DosDateTimeToDateTime(dos);
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year, 101);
  EXPECT_EQ(tm.tm_mon, 4);
  EXPECT_EQ(tm.tm_mday, 17);
  EXPECT_EQ(tm.tm_hour, 12);
  EXPECT_EQ(tm.tm_min, 30);
  EXPECT_EQ(tm.tm_sec, 20);
  EXPECT_EQ(DateTimeToDosDateTime(t), dos);
}

TEST(ArxProperties, CommentBufferClampAndFileSpec) {
  TarxMain m;
  m.SetZipCmntBufSize(50000);
  EXPECT_EQ(m.ZipCmntBufSize(), 32767);
  m.SetZipCmntBufSize(10);
  EXPECT_EQ(m.ZipCmntBufSize(), 2000);
  auto x = CreateExtractor(atZip);
  ASSERT_TRUE(x);
  x->SetFileSpec({"", "a\\b.txt", "*.*", ""});
  EXPECT_EQ(x->FileSpec(), (std::vector<std::string>{"a/b.txt", "*.*"}));
  x->SetExtractDir("out\\dir");
  EXPECT_EQ(x->ExtractDir(), "out/dir/");
  x->SetArchiveFile("/nowhere/in.zip");
  x->SetExtractDir("");
  EXPECT_EQ(x->ExtractDir(), "/nowhere/");
  EXPECT_EQ(x->ArcType(), atFileOpenErr);
}

TEST(ArxRegistry, ExtractorsByTypeAndName) {
  for (TArcType t : {atZip, atZipExe, atJar}) EXPECT_TRUE(CreateExtractor(t)) << ArcTypeName(t);
  for (TArcType t : {atNA, atUnknown, atFileOpenErr, atGZip, atCab})
    EXPECT_FALSE(CreateExtractor(t)) << ArcTypeName(t);
  EXPECT_TRUE(CreateExtractorByName("unzip"));
  EXPECT_FALSE(CreateExtractorByName("UnFOO"));
}

}  // namespace
}  // namespace velmaris::test
