// velmaris-batch unpack: exit status, files and the error on stderr.
#include <gtest/gtest.h>

#include <filesystem>

#include "ArchiveFixtures.h"
#include "RarFixtures.h"
#include "platform/Files.h"
#include "support/NameTable.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Unpack(const TempDir& t, const std::string& args) {
  Outcome o;
  o.status = RunShell(ShellQuote(VELMARIS_BATCH) + " unpack " + args + " 2>" + Sh(t / "stderr.txt"),
                      &o.out);
  o.err = t.Read("stderr.txt");
  return o;
}

TEST(UnpackCommand, ExitStatusAndErrorText) {
  TempDir t;
  t.Write("src/a.txt", SampleText(5000, 30));
  t.Write("src/d/b.txt", "bee\n");
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q -r ../ok.zip ."), 0);
  ASSERT_EQ(MakeEncryptedZip("cd " + Sh(t / "src") + " && zip -q -P pw ../pw.zip a.txt",
                             t / "pw.zip", {"nein"}),
            0);
  std::string bad = t.Read("ok.zip");
  bad[14] ^= 1;  // CRC of the first entry
  const size_t cd = bad.find(std::string("PK\x01\x02", 4));
  bad[cd + 16] ^= 1;
  t.Write("crc.zip", bad);
  t.Write("text.txt", "just some words, no archive at all\n");
  // An entry of 130 CP866 letters (264 bytes in UTF-8) between two short
  // ones: cut at a whole letter with its extension, and the walk goes on.
  const std::string oem130 = Repeat("\xa6", 130) + ".txt";
  t.Write("long/a.txt", "first\n");
  t.Write("long/" + oem130, "long\n");
  t.Write("long/z.txt", "last\n");
  ASSERT_EQ(RunShell("cd " + Sh(t / "long") + " && zip -q ../long.zip a.txt " + Sh(oem130) +
                     " z.txt"),
            0);
  // Two names of 130 letters that cut to one, and that cut name itself (125
  // letters), in both orders: none replaces another, whatever the overwrite
  // mode. A cut name there before the run stays as it is.
  const std::string oem130b = Repeat("\xa6", 129) + "\xa7.txt",
                    oemCut = Repeat("\xa6", 125) + ".txt";
  const std::string cut = Repeat("ж", 125) + ".txt", cut1 = Repeat("ж", 124) + "~1.txt",
                    cut2 = Repeat("ж", 124) + "~2.txt";
  t.Write("cut/" + oem130, "first long\n");
  t.Write("cut/" + oem130b, "second long\n");
  t.Write("cut/" + oemCut, "the cut name\n");
  ASSERT_EQ(RunShell("cd " + Sh(t / "cut") + " && zip -q ../cut.zip " + Sh(oem130) + " " +
                     Sh(oem130b) + " " + Sh(oemCut) + " && zip -q ../cutfirst.zip " + Sh(oemCut) +
                     " " + Sh(oem130) + " " + Sh(oem130b)),
            0);
  t.Write("o12/" + cut, "there before\n");
  struct Case {
    const char* name;
    std::string args;
    bool ok;
    const char* err;
  } cases[] = {
      {"plain", Sh(t / "ok.zip") + " " + Sh(t / "o1"), true, ""},
      {"right password", Sh(t / "pw.zip") + " " + Sh(t / "o2") + " --password pw", true, ""},
      {"wrong password", Sh(t / "pw.zip") + " " + Sh(t / "o3") + " --password nein", false,
       "26517 Invalid password"},
      {"no password", Sh(t / "pw.zip") + " " + Sh(t / "o4"), false, "26522 Password failed"},
      {"crc", Sh(t / "crc.zip") + " " + Sh(t / "o5"), false, "25151 File fails CRC check"},
      {"not an archive", Sh(t / "text.txt") + " " + Sh(t / "o6"), false,
       "25242 Invalid or unsupported archive type for this operation"},
      {"missing", Sh(t / "missing.zip") + " " + Sh(t / "o7"), false, "25235 Error opening file"},
      {"a long name", Sh(t / "long.zip") + " " + Sh(t / "o8"), true, ""},
      {"long names cut to one, then the cut name", Sh(t / "cut.zip") + " " + Sh(t / "o10"), true,
       ""},
      {"the cut name, then long names cut to it", Sh(t / "cutfirst.zip") + " " + Sh(t / "o11"),
       true, ""},
      {"a long name cut to a name there before", Sh(t / "long.zip") + " " + Sh(t / "o12"), true,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = Unpack(t, c.args);
    EXPECT_EQ(o.status == 0, c.ok) << o.err;
    EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
  }
  EXPECT_EQ(t.Read("o1/a.txt"), t.Read("src/a.txt"));
  EXPECT_EQ(t.Read("o1/d/b.txt"), "bee\n");
  EXPECT_EQ(t.Read("o2/a.txt"), t.Read("src/a.txt"));
  EXPECT_NE(RunShell("test -e " + Sh(t / "o3/a.txt")), 0);
  EXPECT_NE(RunShell("test -e " + Sh(t / "o5/a.txt")), 0);
  EXPECT_EQ(t.Read("o5/d/b.txt"), "bee\n") << "the walk goes on after a checksum failure";
  EXPECT_EQ(t.Read("o8/a.txt"), "first\n");
  EXPECT_EQ(t.Read("o8/" + Repeat("ж", 125) + ".txt"), "long\n");
  EXPECT_EQ(t.Read("o8/z.txt"), "last\n");
  EXPECT_EQ(t.Read("o10/" + cut), "first long\n");
  EXPECT_EQ(t.Read("o10/" + cut1), "second long\n");
  EXPECT_EQ(t.Read("o10/" + cut2), "the cut name\n");
  EXPECT_EQ(platform::ScanDir(t / "o10").size(), 3u);
  EXPECT_EQ(t.Read("o11/" + cut), "the cut name\n");
  EXPECT_EQ(t.Read("o11/" + cut1), "first long\n");
  EXPECT_EQ(t.Read("o11/" + cut2), "second long\n");
  EXPECT_EQ(platform::ScanDir(t / "o11").size(), 3u);
  EXPECT_EQ(t.Read("o12/" + cut), "there before\n");
  EXPECT_EQ(t.Read("o12/" + cut1), "long\n");
  // Each line names the name the entry came under.
  const std::string out = Unpack(t, Sh(t / "cut.zip") + " " + Sh(t / "o13")).out;
  for (const std::string& line :
       {"/" + cut + "\",\"crc\":true,\"stored\":\"" + Repeat("ж", 130) + ".txt\"}",
        "/" + cut1 + "\",\"crc\":true,\"stored\":\"" + Repeat("ж", 129) + "з.txt\"}",
        "/" + cut2 + "\",\"crc\":true,\"stored\":\"" + cut + "\"}"})
    EXPECT_NE(out.find(line), std::string::npos) << out;
  // The line of the cut entry names the name it came under.
  EXPECT_NE(Unpack(t, Sh(t / "long.zip") + " " + Sh(t / "o9"))
                .out.find("\"stored\":\"" + Repeat("ж", 130) + ".txt\""),
            std::string::npos);
  // Wrong use: the usage.
  EXPECT_EQ(Unpack(t, Sh(t / "ok.zip")).status, 2);
}

// The file names on the output are the names on disk, which the extractors
// write in UTF-8 whatever the archive stored (UTF-8 from a Unix host, the
// RAR Unicode field, RAR 5): shown as their characters, not mapped byte by
// byte a second time. The RAR reader's memory bound is named as such.
TEST(UnpackCommand, RarNamesAndTheReadersMemoryBoundByTable) {
  TempDir t;
  struct Case {
    const char* what;
    std::string image;
    std::string name;  // in UTF-8; "" when the archive fails
    const char* err;
  } cases[] = {
      {"RAR 4, UTF-8 from a Unix host",
       Rar4Stored({{"Привет.pkt", "one", false, false, 0, 0, false, false, true}}), "Привет.pkt",
       ""},
      {"RAR 4, Unicode field",
       Rar4Stored({{"Grüße 測試.pkt", "two", false, false, 0, 0, true}}), "Grüße 測試.pkt", ""},
      {"RAR 5", Rar5Stored({{"Ærø ñ.pkt", "three"}}), "Ærø ñ.pkt", ""},
      {"RAR 5, plain", Rar5Stored({{"0000ABCD.PKT", "four"}}), "0000ABCD.PKT", ""},
      {"the 125-byte PPMd memory bomb",
       platform::ReadFile(std::string(VELMARIS_SOURCE_DIR) +
                          "/tests/fixtures/rar/test_read_format_rar_unbound_staticdata.rar"),
       "",
       "25253 Out of memory (the RAR reader failed on it: it needs more than the 192 MB of "
       "memory it may take)"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string arc = "n" + std::to_string(++n) + ".rar", out = "n" + std::to_string(n);
    t.Write(arc, c.image);
    Outcome o;
    o.status = RunShell("env -u VELMARIS_UNRAR_LIBRARY " + ShellQuote(VELMARIS_BATCH) + " unpack " +
                            Sh(t / arc) + " " + Sh(t / out) + " 2>" + Sh(t / "stderr.txt"),
                        &o.out);
    o.err = t.Read("stderr.txt");
    if (c.name.empty()) {
      EXPECT_NE(o.status, 0);
      // (An allocator that ends the reader for it, as AddressSanitizer's
      // does with an exit code or, with abort_on_error, SIGABRT, makes it
      // damage all the same.)
      EXPECT_TRUE(o.err.find(c.err) != std::string::npos ||
                  o.err.find("25108 Bad file header (the RAR reader failed on it: it ended with "
                             "exit code") != std::string::npos ||
                  o.err.find("25108 Bad file header (the RAR reader failed on it: it was ended by "
                             "signal 6 ") != std::string::npos)
          << o.err;
      EXPECT_EQ(o.err.find("CRC"), std::string::npos) << o.err;
      continue;
    }
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "{\"file\":\"" + t / out + "/" + c.name + "\",\"crc\":true}\n");
    EXPECT_TRUE(std::filesystem::exists(t / (out + "/" + c.name)));
  }
}

// An archive cut short fails, and what it still holds is extracted. Each
// image is a real tool's archive of three entries, cut at a header (or, in
// the one that succeeds, followed by block padding).
TEST(UnpackCommand, ArchivesCutShortFailWithTheEntriesTheyStillHold) {
  TempDir t;
  for (const char* n : {"f1.pkt", "f2.pkt", "f3.pkt"})
    t.Write(std::string("src/") + n, SampleText(300, n[1]));
  const std::string files = " f1.pkt f2.pkt f3.pkt >/dev/null 2>&1";
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -0 -q ../s.zip" + files), 0);
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && jlha -c " + Sh(t / "s.lzh") + files), 0);
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && TMPDIR=. arc a ../s.arc" + files), 0);
  const std::string zip = t.Read("s.zip"), lzh = t.Read("s.lzh"), arc = t.Read("s.arc");
  const auto nth = [](const std::string& image, const std::string& mark, int n) {
    size_t at = 0;
    for (int k = 0; k <= n; ++k) at = image.find(mark, k ? at + 1 : 0);
    return at;
  };
  const size_t zipDir = zip.find(std::string("PK\x01\x02", 4));
  struct Case {
    const char* what;
    std::string image;
    const char* ext;
    int files;  // extracted
    const char* err;
  } cases[] = {
      {"zip cut inside the second local signature",
       zip.substr(0, nth(zip, std::string("PK\x03\x04", 4), 1) + 2), "zip", 1,
       "25236 Error reading file"},
      {"zip cut before its directory", zip.substr(0, zipDir), "zip", 3, "25236 Error reading file"},
      {"zip with garbage in place of the directory", zip.substr(0, zipDir) + std::string(60, 'x'),
       "zip", 3, "25108 Bad file header"},
      {"lha cut inside its first header", lzh.substr(0, 21), "lzh", 0, "25236 Error reading file"},
      {"lha cut inside the second header", lzh.substr(0, nth(lzh, "-lh", 1) + 4), "lzh", 1,
       "25236 Error reading file"},
      {"lha with the padding of a block transfer", lzh + std::string(9, '\x1A'), "lzh", 3, nullptr},
      {"arc cut before its end mark", arc.substr(0, arc.size() - 2), "arc", 3,
       "25236 Error reading file"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "cut" + std::to_string(++n) + "." + c.ext,
                      out = "o" + std::to_string(n);
    t.Write(name, c.image);
    const Outcome o = Unpack(t, Sh(t / name) + " " + Sh(t / out));
    EXPECT_EQ(o.status != 0, c.err != nullptr);
    if (c.err) {
      EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    }
    for (int k = 1; k <= 3; ++k) {
      const std::string f = out + "/f" + std::to_string(k) + ".pkt";
      EXPECT_EQ(RunShell("test -f " + Sh(t / f)) == 0, k <= c.files) << f;
      if (k <= c.files) {
        EXPECT_EQ(t.Read(f), t.Read("src/f" + std::to_string(k) + ".pkt"));
      }
    }
  }
}

}  // namespace
}  // namespace velmaris::test
