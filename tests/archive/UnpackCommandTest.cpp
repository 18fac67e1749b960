// velmaris-batch unpack: exit status, files and the error on stderr.
#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Unpack(const TempDir& t, const std::string& args) {
  Outcome o;
  o.status = RunShell(std::string(VELMARIS_BATCH) + " unpack " + args + " 2>" + Sh(t / "stderr.txt"), &o.out);
  o.err = t.Read("stderr.txt");
  return o;
}

TEST(UnpackCommand, ExitStatusAndErrorText) {
  TempDir t;
  t.Write("src/a.txt", SampleText(5000, 30));
  t.Write("src/d/b.txt", "bee\n");
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q -r ../ok.zip ."), 0);
  ASSERT_EQ(MakeEncryptedZip("cd " + Sh(t / "src") + " && zip -q -P pw ../pw.zip a.txt", t / "pw.zip",
                             {"nein"}),
            0);
  std::string bad = t.Read("ok.zip");
  bad[14] ^= 1;  // CRC of the first entry
  const size_t cd = bad.find(std::string("PK\x01\x02", 4));
  bad[cd + 16] ^= 1;
  t.Write("crc.zip", bad);
  t.Write("text.txt", "just some words, no archive at all\n");
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
  // Wrong use: the usage.
  EXPECT_EQ(Unpack(t, Sh(t / "ok.zip")).status, 2);
}

}  // namespace
}  // namespace velmaris::test
