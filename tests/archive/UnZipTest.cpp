// ZIP extraction against archives made by Debian's zip and by hand, checked
// byte for byte and against unzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "ArchiveFixtures.h"
#include "ArjLhaSupport.h"
#include "archive/arxBase.h"
#include "core/Crc.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int raised = 0;                  // code of E_RAISE, 0 when none
  std::vector<int> errors;         // every OnError code, in order
  std::vector<std::string> ended;  // OnEnd names
  std::vector<bool> crcPass;
  std::vector<std::string> events;  // Activate, Begin, End, Deactivate
};

struct Options {
  std::vector<std::string> fileSpec{"*.*"};
  bool useStoredDirs = true;
  bool confirmOverwrites = false;
  std::vector<std::string> passwords;
  const char* answer = nullptr;  // OnGetPassword's answer; null: not assigned
  bool onEnd = true;
};

RunResult Extract(const std::string& archive, const std::string& dir, const Options& o = {}) {
  RunResult r;
  auto x = CreateExtractor(DetectArchiveType(archive));
  if (!x) {
    r.raised = ecUnsupportedType;
    return r;
  }
  x->SetArchiveFile(archive);
  x->SetExtractDir(dir);
  x->SetFileSpec(o.fileSpec);
  x->UseStoredDirs = o.useStoredDirs;
  x->ConfirmOverwrites = o.confirmOverwrites;
  x->Passwords = o.passwords;
  x->OnError = [&](TUnBase&, const std::string&, const std::string&, const std::string&, int code) {
    r.errors.push_back(code);
  };
  if (o.onEnd)
    x->OnEnd = [&](TUnBase&, const std::string& fn, bool pass) {
      r.ended.push_back(fn);
      r.crcPass.push_back(pass);
      r.events.push_back("End");
    };
  x->OnActivate = [&](TUnBase&) { r.events.push_back("Activate"); };
  x->OnDeactivate = [&](TUnBase&) { r.events.push_back("Deactivate"); };
  x->OnBegin = [&](TUnBase&, const std::string&, int, bool&) { r.events.push_back("Begin"); };
  if (o.answer) {
    const std::string answer = o.answer;
    x->OnGetPassword = [answer](TUnBase&, const std::string&, std::string& pw, bool& again) {
      pw = answer;
      again = false;
    };
  }
  try {
    x->Extract();
  } catch (const E_RAISE& e) {
    r.raised = e.Code();
  }
  return r;
}

// Every regular file below dir, by relative name, with its bytes.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> m;
  if (!fs::exists(dir)) return m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_symlink())
      m[rel] = "<link>";
    else if (e.is_directory())
      m[rel + "/"] = "";
    else
      m[rel] = ReadFileBytes(e.path().string());
  }
  return m;
}

// A source tree with text, binary, empty, nested and blank-named files and
// an empty directory.
void MakeSource(const TempDir& t) {
  t.Write("src/readme.txt", SampleText(5000, 1));
  t.Write("src/big.txt", SampleText(400000, 2));
  t.Write("src/random.bin", RandomBytes(150000, 3));
  t.Write("src/empty.dat", "");
  t.Write("src/noext", "no extension\n");
  t.Write("src/sub dir/with blank.txt", SampleText(3000, 4));
  t.Write("src/sub dir/deeper/x.pkt", RandomBytes(1000, 5) + SampleText(70000, 6));
  fs::create_directories(t / "src/emptydir");
}

TEST(UnZip, EveryLevelOfZip) {
  TempDir t;
  MakeSource(t);
  const auto want = Tree(t / "src");
  for (const char* level : {"-0", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"}) {
    SCOPED_TRACE(level);
    const std::string zip = t / (std::string("l") + level + ".zip");
    ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q -r " + level + " " + Sh(zip) + " ."), 0);
    const std::string out = t / (std::string("out") + level);
    const RunResult r = Extract(zip, out);
    EXPECT_EQ(r.raised, 0);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(Tree(out), want);
    EXPECT_EQ(r.ended.size(), 7u);
    for (bool p : r.crcPass) EXPECT_TRUE(p);
  }
}

TEST(UnZip, FlatWithoutStoredDirsAndTheEventOrder) {
  TempDir t;
  t.Write("src/a/one.txt", "1");
  t.Write("src/b/two.txt", "22");
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q -r ../f.zip a b"), 0);
  Options o;
  o.useStoredDirs = false;
  const RunResult r = Extract(t / "f.zip", t / "out", o);
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out"),
            (std::map<std::string, std::string>{{"one.txt", "1"}, {"two.txt", "22"}}));
  EXPECT_EQ(r.events,
            (std::vector<std::string>{"Activate", "Begin", "End", "Begin", "End", "Deactivate"}));
}

TEST(UnZip, Passwords) {
  TempDir t;
  t.Write("src/secret.txt", SampleText(20000, 7));
  t.Write("src/plain.txt", "not secret\n");
  ASSERT_EQ(
      MakeEncryptedZip("cd " + Sh(t / "src") +
                           " && zip -q -P geheim ../p.zip secret.txt && zip -q ../p.zip plain.txt",
                       t / "p.zip", {"nope", "falsch"}),
      0);
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q -0 -P geheim ../p0.zip secret.txt"), 0);
  const std::string secret = t.Read("src/secret.txt");
  struct Case {
    const char* name;
    const char* zip;
    std::vector<std::string> list;
    const char* answer;
    bool secretWritten;
    bool plainWritten;
    std::vector<int> errors;
  } cases[] = {
      {"right answer", "p.zip", {}, "geheim", true, true, {}},
      {"right stored", "p0.zip", {}, "geheim", true, false, {}},
      {"from the list", "p.zip", {"nope", "geheim"}, nullptr, true, true, {}},
      {"wrong answer", "p.zip", {}, "falsch", false, false, {ecInvalidPassword, ecPasswordFailed}},
      {"empty answer", "p.zip", {}, "", false, false, {ecPasswordFailed}},
      {"no handler", "p.zip", {}, nullptr, false, true, {ecEventNotAssigned}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = t / (std::string("out-") + c.name);
    Options o;
    o.passwords = c.list;
    o.answer = c.answer;
    const RunResult r = Extract(t / c.zip, out, o);
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(r.errors, c.errors);
    EXPECT_EQ(fs::exists(out + "/secret.txt"), c.secretWritten);
    if (c.secretWritten) {
      EXPECT_EQ(ReadFileBytes(out + "/secret.txt"), secret);
    }
    EXPECT_EQ(fs::exists(out + "/plain.txt"), c.plainWritten);
  }
}

TEST(UnZip, FileSpecChoosesEntries) {
  TempDir t;
  // Two entries of the same name (zip cannot make that; by hand).
  t.Write("two.zip", BuildZip({StoredEntry("a.pkt", "first"), StoredEntry("b.txt", "bee"),
                               StoredEntry("a.pkt", "second"), StoredEntry("noext", "n")}));
  struct Case {
    std::vector<std::string> masks;
    std::map<std::string, std::string> files;
  } cases[] = {
      {{"*.*"}, {{"a.pkt", "second"}, {"b.txt", "bee"}, {"noext", "n"}}},
      {{"a.pkt"}, {{"a.pkt", "first"}}},
      {{"*.pkt"}, {{"a.pkt", "second"}}},
      {{"*.txt", "noext"}, {{"b.txt", "bee"}, {"noext", "n"}}},
      {{}, {}},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string out = t / ("out" + std::to_string(i++));
    Options o;
    o.fileSpec = c.masks;
    const RunResult r = Extract(t / "two.zip", out, o);
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(Tree(out), c.files) << i;
  }
}

TEST(UnZip, ExistingFilesAndOverwriteMode) {
  TempDir t;
  t.Write("z.zip", BuildZip({StoredEntry("a.txt", "new a"), StoredEntry("b.txt", "new b"),
                             StoredEntry("c.txt", "new c")}));
  t.Write("out/a.txt", "old a");
  t.Write("out/c.txt", "old c");
  chmod((t / "out/c.txt").c_str(), 0444);
  // Asked without a handler: existing files are skipped, for the whole run.
  auto x = CreateExtractor(atZip);
  x->SetArchiveFile(t / "z.zip");
  x->SetExtractDir(t / "out");
  x->SetFileSpec({"*.*"});
  x->Extract();
  EXPECT_EQ(x->OverwriteMode, omSkip);
  EXPECT_EQ(t.Read("out/a.txt"), "old a");
  EXPECT_EQ(t.Read("out/b.txt"), "new b");
  EXPECT_EQ(t.Read("out/c.txt"), "old c");
  // A handler that says overwrite replaces them, the read-only one too.
  std::vector<std::string> asked;
  x->OverwriteMode = omOverwrite;
  x->OnFileExists = [&](TUnBase&, const std::string& fn, time_t, TOverwriteMode& m) {
    asked.push_back(fs::path(fn).filename().string());
    m = omOverwrite;
  };
  x->Extract();
  EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(t.Read("out/a.txt"), "new a");
  EXPECT_EQ(t.Read("out/c.txt"), "new c");
}

TEST(UnZip, DamagedArchives) {
  TempDir t;
  t.Write("src/one.txt", SampleText(30000, 8));
  t.Write("src/two.txt", SampleText(30000, 9));
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q ../ok.zip one.txt two.txt"), 0);
  const std::string ok = t.Read("ok.zip");
  const size_t cd =
      ok.rfind(std::string("PK\x01\x02", 4), ok.rfind(std::string("PK\x01\x02", 4)) - 1);
  // No central directory: both files from the local headers.
  t.Write("nodir.zip", ok.substr(0, cd));
  RunResult r = Extract(t / "nodir.zip", t / "out-nodir");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out-nodir"), Tree(t / "src"));
  // Cut inside the second entry's data: the first is there, the second is
  // an error found before anything is written and leaves nothing behind.
  const size_t second = ok.find(std::string("PK\x03\x04", 4), 4);
  t.Write("cut.zip", ok.substr(0, second + 200));
  r = Extract(t / "cut.zip", t / "out-cut");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(r.errors, std::vector<int>{ecReadFile});
  EXPECT_EQ(Tree(t / "out-cut"),
            (std::map<std::string, std::string>{{"one.txt", t.Read("src/one.txt")}}));
  // A local header cut short, or garbage behind a local signature, fails
  // instead of ending the walk as if the archive were empty.
  t.Write("cuthead.zip", ok.substr(0, second + 20));
  EXPECT_EQ(Extract(t / "cuthead.zip", t / "out-cuthead").raised, ecBadFileHeader);
  t.Write("garbage.zip", std::string("PK\x03\x04", 4) + std::string(40, 'g'));
  r = Extract(t / "garbage.zip", t / "out-garbage");
  EXPECT_EQ(r.raised, ecBadFileHeader);
  EXPECT_FALSE(fs::exists(t / "out-garbage") && !fs::is_empty(t / "out-garbage"));
  // A wrong CRC in both headers of the first entry: 25151 is reported, the
  // bad file removed and the second entry still extracted.
  std::string bad = ok;
  bad[14] ^= 0x55;
  bad[cd + 16] ^= 0x55;
  t.Write("crc.zip", bad);
  r = Extract(t / "crc.zip", t / "out-crc");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(r.errors, std::vector<int>{ecCrcCheck});
  EXPECT_EQ(r.crcPass, (std::vector<bool>{false, true}));
  EXPECT_FALSE(fs::exists(t / "out-crc/one.txt"));
  EXPECT_TRUE(fs::exists(t / "out-crc/two.txt"));
  // A changed byte inside the deflated data: an error either way.
  bad = ok;
  bad[30 + 7 + 100] ^= 0x20;
  t.Write("data.zip", bad);
  r = Extract(t / "data.zip", t / "out-data");
  EXPECT_NE(r.raised, 0);
  EXPECT_EQ(r.errors, std::vector<int>{r.raised});  // OnError hears of it once
  EXPECT_FALSE(fs::exists(t / "out-data/one.txt"));
  // A stored entry that declares more than its data: damage, nothing is
  // written.
  auto big = StoredEntry("s.txt", "short");
  big.usize = 1000000;
  std::string z = BuildZip({big});
  t.Write("sizes.zip", z);
  r = Extract(t / "sizes.zip", t / "out-sizes");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(r.errors, std::vector<int>{ecBadFileHeader});
  EXPECT_FALSE(fs::exists(t / "out-sizes/s.txt"));
  // Two directory entries pointing at the same data: the second is refused.
  {
    std::string one = BuildZip({StoredEntry("x.txt", "payload")});
    const size_t cdAt = one.find(std::string("PK\x01\x02", 4));
    const std::string centralEntry = one.substr(cdAt, 46 + 5);
    std::string twice = one.substr(0, cdAt) + centralEntry + centralEntry;
    twice[cdAt + 46 + 46 + 5] = 'y';  // the second one is named y.txt
    std::string end = one.substr(one.size() - 22);
    end[8] = end[10] = 2;
    end[12] = char(2 * 51);
    twice += end;
    t.Write("twice.zip", twice);
    r = Extract(t / "twice.zip", t / "out-twice");
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(r.errors, std::vector<int>{ecInconsistentLocalHeader});
    EXPECT_EQ(Tree(t / "out-twice"), (std::map<std::string, std::string>{{"x.txt", "payload"}}));
  }
  // An unknown method ends the run.
  auto m9 = StoredEntry("m9.txt", "x");
  m9.method = 9;
  t.Write("m9.zip", BuildZip({m9}));
  r = Extract(t / "m9.zip", t / "out-m9");
  EXPECT_EQ(r.raised, ecUnsupportedMethod);
  // A method number no packer writes is a damaged header: reported, and
  // the entries after it are extracted.
  for (const uint16_t method : {uint16_t(11), uint16_t(77), uint16_t(0x4B50)}) {
    SCOPED_TRACE(method);
    auto odd = StoredEntry("odd.txt", "x");
    odd.method = method;
    t.Write("odd.zip", BuildZip({odd, StoredEntry("after.txt", "after")}));
    const std::string out = t / ("out-odd" + std::to_string(method));
    r = Extract(t / "odd.zip", out);
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(r.errors, std::vector<int>{ecBadFileHeader});
    EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"after.txt", "after"}}));
  }
}

// An archive whose end record is cut off is walked from its first local
// header: every entry is extracted, stored or deflated, small or large.
TEST(UnZip, EndRecordCutOff) {
  struct Case {
    const char* what;
    const char* options;  // of zip
    size_t size;          // of each of the three files
  } cases[] = {
      {"stored", "-0", 20000},
      {"stored, small", "-0", 100},
      {"stored, large", "-0", 70000},
      {"deflated", "-6", 20000},
      {"deflated text", "-6", 40000},
      // ZIP64 fields in the local headers, which the walk reads alone.
      {"stored ZIP64", "-0 -fz", 20000},
      {"deflated ZIP64 text", "-6 -fz", 40000},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    for (int i = 1; i <= 3; ++i) {
      const std::string name = "src/p" + std::to_string(i) + ".pkt";
      t.Write(name, std::string(c.what).find("text") != std::string::npos
                        ? SampleText(c.size, 20 + i)
                        : RandomBytes(c.size, 20 + ++n));
    }
    ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q " + c.options +
                       " ../a.zip p1.pkt p2.pkt p3.pkt"),
              0);
    const std::string whole = t.Read("a.zip");
    t.Write("cut.zip", whole.substr(0, whole.size() - 10));
    const RunResult r = Extract(t / "cut.zip", t / "out");
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(r.errors, std::vector<int>{});
    EXPECT_EQ(Tree(t / "out"), Tree(t / "src"));
  }
}

TEST(UnZip, CommentsAndStreamedEntries) {
  TempDir t;
  t.Write("src/a.txt", SampleText(10000, 10));
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") +
                     " && zip -q ../c.zip a.txt && echo 'the comment' | zip -q -z ../c.zip"),
            0);
  RunResult r = Extract(t / "c.zip", t / "out-c");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out-c"), Tree(t / "src"));
  // From a pipe, zip writes sizes after the data; without the directory the
  // local walk finds them.
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q - a.txt | cat > ../s.zip"), 0);
  const std::string s = t.Read("s.zip");
  ASSERT_TRUE(s[6] & 8);
  r = Extract(t / "s.zip", t / "out-s");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out-s"), Tree(t / "src"));
  t.Write("s-cut.zip", s.substr(0, s.find(std::string("PK\x01\x02", 4))));
  r = Extract(t / "s-cut.zip", t / "out-scut");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out-scut"), Tree(t / "src"));
}

// ZIP64: the end record through its locator, the extended information in
// central and local headers, descriptors with 8-byte sizes; and ZIP64
// values that lie are damage as the 32-bit ones are.
TEST(UnZip, Zip64RecordsAndTheirLies) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
  TempDir t;
  const std::string data = SampleText(30000, 12);
  t.Write("src/a.pkt", data);
  auto make = [&](const std::string& name, const std::string& command) {
    EXPECT_EQ(RunShell("cd " + Sh(t / "src") + " && (" + command + ") > ../" + name), 0);
    return t.Read(name);
  };
  const std::string stored = make("s.zip", "zip -q -0 -fz - a.pkt");
  const std::string piped = make("p.zip", "cat a.pkt | zip -q - - | cat");
  ASSERT_NE(stored.find(std::string("PK\x06\x07", 4)), std::string::npos);  // the locator
  ASSERT_TRUE(piped[6] & 8);  // a descriptor after the data
  const size_t pipedDir = piped.find(std::string("PK\x01\x02", 4));
  const size_t storedDir = stored.find(std::string("PK\x01\x02", 4));
  // The stored entry's ZIP64 block in its local header (tag, size, the
  // unpacked and the packed size) and in its directory entry (the offset).
  const size_t localBlock = stored.find(std::string("\x01\x00\x10\x00", 4));
  const size_t centralBlock = stored.find(std::string("\x01\x00\x08\x00", 4), storedDir);
  ASSERT_LT(localBlock, storedDir);
  ASSERT_NE(centralBlock, std::string::npos);
  auto patched = [&](std::string z, size_t at, const std::string& bytes) {
    z.replace(at, bytes.size(), bytes);
    return z;
  };
  auto le64 = [](uint64_t v) {
    std::string b(8, '\0');
    for (int i = 0; i < 8; ++i) b[size_t(i)] = char(v >> (8 * i));
    return b;
  };
  // Without the directory the local headers alone tell the sizes (and the
  // walk says that the directory is missing).
  const std::string local = stored.substr(0, storedDir);
  struct Case {
    const char* what;
    std::string archive;
    const char* entry;  // nullptr when nothing is given back
    bool walked;        // by the local headers: the missing directory is reported
  } cases[] = {
      {"stored, by the directory", stored, "a.pkt", false},
      {"stored, by the local walk", local, "a.pkt", true},
      {"streamed, by the directory", piped, "-", false},
      {"streamed, by the local walk", piped.substr(0, pipedDir), "-", true},
      // Both sizes of the stored entry grown past the end of the file.
      {"stored sizes past the end",
       patched(patched(local, localBlock + 4, le64(data.size() + 5000)), localBlock + 12,
               le64(data.size() + 5000)),
       nullptr, true},
      // The packed size smaller than the unpacked one: a stored entry lies.
      {"stored sizes that differ", patched(local, localBlock + 12, le64(data.size() - 1)), nullptr,
       true},
      {"a size far past 4 GiB", patched(local, localBlock + 12, le64(uint64_t(1) << 62)), nullptr,
       true},
      // Sizes all ones, and no ZIP64 block for them.
      {"no ZIP64 block", patched(local, localBlock, std::string("\x99\x99", 2)), nullptr, true},
      // The directory's ZIP64 offset points at no local header.
      {"offset that lies", patched(stored, centralBlock + 4, le64(7)), nullptr, false},
      {"offset past 4 GiB", patched(stored, centralBlock + 4, le64(uint64_t(1) << 40)), nullptr,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    d.Write("z.zip", c.archive);
    const RunResult r = Extract(d / "z.zip", d / "out");
    const auto tree = Tree(d / "out");
    if (c.entry) {
      EXPECT_EQ(r.raised, 0);
      EXPECT_EQ(r.errors, c.walked ? std::vector<int>{ecReadFile} : std::vector<int>{});
      ASSERT_EQ(tree.size(), 1u);
      EXPECT_TRUE(tree.begin()->first == c.entry && tree.begin()->second == data);
    } else {
      EXPECT_TRUE(r.raised != 0 || !r.errors.empty());
      EXPECT_EQ(tree.size(), 0u);
    }
  }
}

TEST(UnZip, HostileNamesStayInside) {
  TempDir t;
  struct Case {
    const char* name;
    bool written;
  } cases[] = {
      {"../evil.txt", false},    {"/tmp/velmaris-abs-evil.txt", false},
      {"C:/evil.txt", false},    {"a/../../evil.txt", false},
      {"..\\evil.txt", false},   {"a//b.txt", false},
      {"./dot.txt", false},      {"good/ok.txt", true},
      {"back\\slash.txt", true},
  };
  std::vector<ZipFixtureEntry> entries;
  for (const auto& c : cases) entries.push_back(StoredEntry(c.name, c.name));
  t.Write("in/h.zip", BuildZip(entries));
  const RunResult r = Extract(t / "in/h.zip", t / "in/out");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), ecInvalidFileName), 7);
  EXPECT_EQ(Tree(t / "in/out"),
            (std::map<std::string, std::string>{{"good/", ""},
                                                {"good/ok.txt", "good/ok.txt"},
                                                {"back/", ""},
                                                {"back/slash.txt", "back\\slash.txt"}}));
  EXPECT_FALSE(fs::exists(t / "evil.txt"));
  EXPECT_FALSE(fs::exists(t / "in/evil.txt"));
  EXPECT_FALSE(fs::exists("/tmp/velmaris-abs-evil.txt"));
}

TEST(StoredNames, ZipEntriesBecomeUtf8FileNames) {
  // "Привет.txt" and the directory "Дир" in CP866 and in UTF-8.
  const std::string hello866 = "\x8f\xe0\xa8\xa2\xa5\xe2.txt", dir866 = "\x84\xa8\xe0";
  const std::string hello = "Привет.txt", dir = "Дир";
  auto utf8Flagged = StoredEntry(hello, "flagged");
  utf8Flagged.flags = 0x0800;
  // Info-ZIP's Unicode Path field: 0x7075, its size, version 1, the CRC-32
  // of the stored name, the name in UTF-8.
  auto unicodePath = [](const std::string& stored, const std::string& utf8, uint32_t crc,
                        int cut = 0) {
    std::string field = std::string("\x75\x70", 2);
    const size_t size = 5 + utf8.size() + cut;
    field += static_cast<char>(size & 0xFF);
    field += static_cast<char>(size >> 8);
    field += '\x01';
    for (int i = 0; i < 4; ++i) field += static_cast<char>(crc >> (8 * i));
    field += utf8;
    auto e = StoredEntry(stored, "field");
    e.extra = field;
    return e;
  };
  const std::string world = "Привет мир.txt";
  struct Case {
    const char* what;
    std::vector<ZipFixtureEntry> entries;
    platform::CodePage oem;
    std::map<std::string, std::string> tree;
    size_t refused;
  } cases[] = {
      {"OEM name", {StoredEntry(hello866, "hi")}, platform::CodePage::CP866, {{hello, "hi"}}, 0},
      {"OEM directory and name",
       {StoredEntry(dir866 + "/", ""), StoredEntry(dir866 + "\\" + hello866, "in")},
       platform::CodePage::CP866,
       {{dir + "/", ""}, {dir + "/" + hello, "in"}},
       0},
      {"UTF-8 flag: taken as it stands",
       {utf8Flagged},
       platform::CodePage::CP866,
       {{hello, "flagged"}},
       0},
      {"UTF-8 without the flag, as Info-ZIP on Unix stores it: taken as it stands",
       {StoredEntry(hello, "unflagged")},
       platform::CodePage::CP866,
       {{hello, "unflagged"}},
       0},
      {"the Unicode Path field names the file",
       {unicodePath(hello866, world, Crc32OfString(hello866))},
       platform::CodePage::CP866,
       {{world, "field"}},
       0},
      {"a stale Unicode Path field (another name's CRC) is passed over",
       {unicodePath(hello866, world, Crc32OfString("renamed.txt"))},
       platform::CodePage::CP866,
       {{hello, "field"}},
       0},
      {"a Unicode Path field cut short is passed over",
       {unicodePath(hello866, world, Crc32OfString(hello866), 3)},
       platform::CodePage::CP866,
       {{hello, "field"}},
       0},
      {"a Unicode Path field cannot lead outside",
       {unicodePath("safe.txt", "../" + world, Crc32OfString("safe.txt"))},
       platform::CodePage::CP866,
       {},
       1},
      {"another OEM code page",
       {StoredEntry("\x81.txt", "u")},
       platform::CodePage::CP437,
       {{"ü.txt", "u"}},
       0},
      {"unsafe names stay refused",
       {StoredEntry("..\\" + hello866, "x"), StoredEntry(dir866 + "/../" + hello866, "x")},
       platform::CodePage::CP866,
       {},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    t.Write("n.zip", BuildZip(c.entries));
    platform::SetOemCodePage(c.oem);
    const RunResult r = Extract(t / "n.zip", t / "out");
    platform::SetOemCodePage(platform::CodePage::CP866);
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(r.errors.size(), c.refused);
    EXPECT_EQ(Tree(t / "out"), c.tree);
  }
}

TEST(StoredNames, NamesZipGivesOnUnixStayAsTheyAre) {
  // Info-ZIP's zip on Unix stores the bytes of the name (UTF-8) without the
  // UTF-8 flag; read as CP866 they would become "╤В╨╡╤Б╤В.txt".
  if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
  TempDir t;
  const std::vector<std::string> names = {"тест.txt", "Отчёт за май.txt", "a\"b\" €.txt"};
  std::string args;
  for (const std::string& n : names) {
    t.Write("src/" + n, "is " + n);
    args += " " + Sh(n);
  }
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q ../n.zip" + args + " >/dev/null 2>&1"), 0);
  const RunResult r = Extract(t / "n.zip", t / "out");
  EXPECT_EQ(r.raised, 0);
  std::map<std::string, std::string> tree;
  for (const std::string& n : names) tree[n] = "is " + n;
  EXPECT_EQ(Tree(t / "out"), tree);
}

TEST(StoredNames, ArjEntryMadeByTheToolBecomesAUtf8FileName) {
  if (!HaveTool("arj")) GTEST_SKIP() << "arj missing";
  TempDir t;
  const std::string hello866 = "\x8f\xe0\xa8\xa2\xa5\xe2.txt";
  t.Write("src/" + hello866, "hi");
  t.Write("src/тест мой.txt", "utf");  // arj on Unix stores these bytes as they are
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && arj a -y ../n.arj " + Sh(hello866) + " " +
                     Sh("тест мой.txt") + " >/dev/null 2>&1"),
            0);
  const RunResult r = Extract(t / "n.arj", t / "out");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out"),
            (std::map<std::string, std::string>{{"Привет.txt", "hi"}, {"тест мой.txt", "utf"}}));
}

TEST(StoredNames, LhaEntryNamesAreOemUnlessValidUtf8) {
  // jlha cannot store a Cyrillic name (it writes "????"): the entries are
  // made here, as an old DOS packer and a Unix one would write them.
  TempDir t;
  t.Write("n.lzh", LhaLevel0Entry("-lh0-", "\x8f\xe0\xa8\xa2\xa5\xe2.txt", "dos", "dos") +
                       LhaLevel0Entry("-lh0-", "тест.txt", "unix", "unix") +
                       LhaLevel0Entry("-lh0-", "..\\\x8f.txt", "up", "up") + std::string(1, '\0'));
  const RunResult r = Extract(t / "n.lzh", t / "out");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(r.errors.size(), 1u);  // the name that climbs out, converted or not
  EXPECT_EQ(Tree(t / "out"),
            (std::map<std::string, std::string>{{"Привет.txt", "dos"}, {"тест.txt", "unix"}}));
}

TEST(UnZip, NeverWritesThroughSymbolicLinks) {
  TempDir t;
  t.Write("outside/victim.txt", "keep me");
  fs::create_directories(t / "out");
  fs::create_directory_symlink(t / "outside", t / "out/sub");
  fs::create_symlink(t / "outside/victim.txt", t / "out/leaf.txt");
  t.Write("l.zip",
          BuildZip({StoredEntry("sub/victim.txt", "owned"), StoredEntry("leaf.txt", "owned")}));
  const RunResult r = Extract(t / "l.zip", t / "out");
  EXPECT_EQ(r.raised, ecOpenFile);
  EXPECT_EQ(t.Read("outside/victim.txt"), "keep me");
  // The leaf link alone: refused as well.
  t.Write("leaf.zip", BuildZip({StoredEntry("leaf.txt", "owned")}));
  EXPECT_EQ(Extract(t / "leaf.zip", t / "out").raised, ecOpenFile);
  EXPECT_EQ(t.Read("outside/victim.txt"), "keep me");
  EXPECT_EQ(Tree(t / "outside").size(), 1u);
}

TEST(UnZip, DirectoryEntriesAreNeverFiles) {
  TempDir t;
  auto dirByAttr = StoredEntry("attrdir", "");
  dirByAttr.extAttr = 0x10;
  t.Write("d.zip", BuildZip({StoredEntry("made/", ""), StoredEntry("back\\", ""), dirByAttr,
                             StoredEntry("made/f.txt", "f")}));
  RunResult r = Extract(t / "d.zip", t / "out");
  EXPECT_EQ(r.raised, 0);
  EXPECT_EQ(Tree(t / "out"),
            (std::map<std::string, std::string>{
                {"made/", ""}, {"back/", ""}, {"attrdir/", ""}, {"made/f.txt", "f"}}));
  Options o;
  o.useStoredDirs = false;
  r = Extract(t / "d.zip", t / "flat", o);
  EXPECT_EQ(Tree(t / "flat"), (std::map<std::string, std::string>{{"f.txt", "f"}}));
}

// Streams of the old methods, encoded here from the format description and
// checked against unzip (which reads shrink and implode; its build has no
// unreduce) and against our extraction.
TEST(UnZip, OldMethods) {
  TempDir t;
  const std::string text = SampleText(60000, 11) + std::string(3000, 'a') + RandomBytes(2000, 12);
  const std::string small = "FidoNet point FidoNet point FidoNet";
  const std::string medium = SampleText(20000, 17);  // fits the code table without a clear
  const std::string large = SampleText(300000, 18);  // fills it several times
  struct Case {
    const char* name;
    uint16_t method;
    uint16_t flags;
    std::string packed;
    const std::string* plain;
    bool unzipReads;
  } cases[] = {
      {"shrink.txt", 1, 0, ShrinkEncode(medium, false), &medium, true},
      {"shrinkclear.txt", 1, 0, ShrinkEncode(large, true), &large, true},
      {"shrinkfull.txt", 1, 0, ShrinkEncode(text, false), &text, false},
      {"shrinksmall.txt", 1, 0, ShrinkEncode(small, false), &small, true},
      {"reduce1.txt", 2, 0, ReduceEncode(text, 1, false), &text, false},
      {"reduce2.txt", 3, 0, ReduceEncode(text, 2, true), &text, false},
      {"reduce3.txt", 4, 0, ReduceEncode(text, 3, true), &text, false},
      {"reduce4.txt", 5, 0, ReduceEncode(text, 4, false), &text, false},
      {"implode4k2.txt", 6, 0, ImplodeEncode(text, false, false), &text, true},
      {"implode8k2.txt", 6, 2, ImplodeEncode(text, true, false), &text, true},
      {"implode4k3.txt", 6, 4, ImplodeEncode(text, false, true), &text, true},
      {"implode8k3.txt", 6, 6, ImplodeEncode(text, true, true), &text, true},
      {"implodesmall.txt", 6, 6, ImplodeEncode(small, true, true), &small, true},
  };
  std::vector<ZipFixtureEntry> entries;
  for (const auto& c : cases) {
    ZipFixtureEntry e;
    e.name = c.name;
    e.method = c.method;
    e.flags = c.flags;
    e.data = c.packed;
    e.crc = Crc32Of(*c.plain);
    e.usize = uint32_t(c.plain->size());
    entries.push_back(e);
    if (c.plain->size() > 1000) {
      ASSERT_LT(c.packed.size(), c.plain->size()) << c.name;
    }
  }
  t.Write("old.zip", BuildZip(entries));
  const RunResult r = Extract(t / "old.zip", t / "out");
  EXPECT_EQ(r.raised, 0);
  EXPECT_TRUE(r.errors.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(fs::exists(t / (std::string("out/") + c.name)));
    EXPECT_TRUE(t.Read(std::string("out/") + c.name) == *c.plain);
    if (c.unzipReads) {
      std::string peer;
      EXPECT_EQ(RunShell("unzip -p " + Sh(t / "old.zip") + " " + Sh(c.name), &peer), 0);
      EXPECT_TRUE(peer == *c.plain) << "unzip reads it differently";
    }
  }
}

TEST(UnZip, SelfExtractors) {
  TempDir t;
  t.Write("src/a.txt", SampleText(20000, 13));
  t.Write("src/b.bin", RandomBytes(5000, 14));
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q ../plain.zip a.txt b.bin"), 0);
  const std::string zip = t.Read("plain.zip");
  t.Write("stub.exe", BuildDosStub(3000) + zip);
  t.Write("known.exe", BuildDosStub(7612) + zip);
  t.Write("pe.exe", BuildPeWithStrings({"9000"}, 9000) + zip);
  ASSERT_EQ(
      RunShell("cd " + Sh(t.Path()) + " && cp stub.exe adjusted.exe && zip -q -A adjusted.exe"), 0);
  for (const char* exe : {"stub.exe", "known.exe", "pe.exe", "adjusted.exe"}) {
    SCOPED_TRACE(exe);
    EXPECT_EQ(DetectArchiveType(t / exe), atZipExe);
    const std::string out = t / (std::string("out-") + exe);
    const RunResult r = Extract(t / exe, out);
    EXPECT_EQ(r.raised, 0);
    EXPECT_EQ(Tree(out), Tree(t / "src"));
  }
}

TEST(UnZip, StateBelongsToEachExtractor) {
  // Two extractors interleaved through their events: each keeps its own
  // cipher keys, checksum and decoder state.
  TempDir t;
  t.Write("src/s1.txt", SampleText(200000, 15));
  t.Write("src/s2.txt", SampleText(200000, 16));
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") +
                     " && zip -q -P one ../a.zip s1.txt && zip -q -P two ../b.zip s2.txt"),
            0);
  auto a = CreateExtractor(atZip);
  auto b = CreateExtractor(atZip);
  a->SetArchiveFile(t / "a.zip");
  b->SetArchiveFile(t / "b.zip");
  a->SetExtractDir(t / "oa");
  b->SetExtractDir(t / "ob");
  a->SetFileSpec({"*.*"});
  b->SetFileSpec({"*.*"});
  a->Passwords = {"one"};
  b->Passwords = {"two"};
  bool started = false;
  a->OnProgress = [&](TUnBase&, int, int) {
    if (!started) {
      started = true;
      b->Extract();  // a whole run of b in the middle of a's entry
    }
  };
  a->Extract();
  EXPECT_TRUE(started);
  EXPECT_EQ(t.Read("oa/s1.txt"), t.Read("src/s1.txt"));
  EXPECT_EQ(t.Read("ob/s2.txt"), t.Read("src/s2.txt"));
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST(UnZip, FileDatesByDateAttribute) {
  TempDir t;
  t.Write("src/new.txt", "new");
  t.Write("src/old.txt", "old");
  ASSERT_EQ(RunShell("cd " + Sh(t / "src") +
                     " && touch -d '2003-02-01 10:00:00' new.txt && touch -d '1999-07-04 08:30:00' "
                     "old.txt && zip -q ../d.zip new.txt old.txt"),
            0);
  auto mtime = [](const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mtime;
  };
  struct Case {
    TDateAttribute attr;
    const char* dir;
  } cases[] = {{daFileDate, "file"}, {daMaxFileDate, "max"}, {daSysDate, "sys"}};
  for (const auto& c : cases) {
    auto x = CreateExtractor(atZip);
    x->SetArchiveFile(t / "d.zip");
    x->SetExtractDir(t / c.dir);
    x->SetFileSpec({"*.*"});
    x->DateAttribute = c.attr;
    const time_t before = time(nullptr);
    x->Extract();
    const time_t newT = mtime(t / (std::string(c.dir) + "/new.txt"));
    const time_t oldT = mtime(t / (std::string(c.dir) + "/old.txt"));
    switch (c.attr) {
      case daFileDate:
        EXPECT_EQ(newT, mtime(t / "src/new.txt"));
        EXPECT_EQ(oldT, mtime(t / "src/old.txt"));
        break;
      case daMaxFileDate:
        EXPECT_EQ(newT, mtime(t / "src/new.txt"));
        EXPECT_EQ(oldT, mtime(t / "src/new.txt"));
        break;
      case daSysDate: EXPECT_GE(oldT, before); break;
    }
  }
}

}  // namespace
}  // namespace velmaris::test
