// Packing and unpacking with the real Debian tools: the standard pack
// commands make bundles that the standard signatures recognise, that the
// tools unpack again and that the integrated extractors read.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "ArcFixtures.h"
#include "ArchiveFixtures.h"
#include "PackerFixtures.h"
#include "archive/ArchiveCheck.h"
#include "archive/Packer.h"
#include "archive/Unpacker.h"

namespace velmaris::test {
namespace {

struct ToolCase {
  const char* packer;     // standard packer name
  const char* tool;       // program that must be installed
  const char* unpackCmd;  // external unpacker, keeping stored directories
  bool longNames;         // the tool keeps names longer than 8.3
};

const ToolCase kTools[] = {
    {"PKZip", "zip", "unzip -o -qq", true}, {"ARJ", "arj", "arj x -y", true},
    {"PKArc", "arc", "arc xon", false},     {"LHArc", "jlha", "jlha xfq", true},
    {"RAR", "rar", "rar x -y -idq", true},
};

TPacker* Standard(TPckList& list, const char* name) {
  if (list.GetCount() == 0) list.AddStandardPackers();
  return list.PackerByName(name);
}

// ---------------------------------------------------------------- round trip

// How a real packer makes an archive of "f.pkt" in the folder it runs in.
struct Maker {
  const char* packer;   // the standard packer whose integrated extractor reads it
  const char* tool;     // the program that must be installed
  const char* archive;  // its name
  const char* command;  // shell text run in the folder
  bool large;           // the 3 MB packet goes in too
};

// arc cuts a longer TMPDIR short and fails: it works in its own folder.
const Maker kMakers[] = {
    {"PKZip", "zip", "t.zip", "zip -q -0 t.zip f.pkt", false},
    {"PKZip", "zip", "t.zip", "zip -q -1 t.zip f.pkt", false},
    {"PKZip", "zip", "t.zip", "zip -q -9 t.zip f.pkt", true},
    {"PKZip", "zip", "t.zip", "zip -q -fz t.zip f.pkt", false},
    {"PKZip", "zip", "t.zip", "zip -q -0 -fz t.zip f.pkt", false},
    // Streamed: the sizes follow the data in a descriptor (8 bytes each
    // with the ZIP64 field a pipe brings), or ZIP64 fields to the file.
    {"PKZip", "zip", "t.zip", "zip -q - f.pkt | cat > t.zip", false},
    {"PKZip", "zip", "t.zip", "cat f.pkt | zip -q - - | cat > t.zip", true},
    {"PKZip", "zip", "t.zip", "cat f.pkt | zip -q -fz - - > t.zip", false},
    {"ARJ", "arj", "t.arj", "arj a -y -m0 t.arj f.pkt", false},
    {"ARJ", "arj", "t.arj", "arj a -y -m1 t.arj f.pkt", true},
    {"ARJ", "arj", "t.arj", "arj a -y -m2 t.arj f.pkt", false},
    {"ARJ", "arj", "t.arj", "arj a -y -m3 t.arj f.pkt", false},
    {"ARJ", "arj", "t.arj", "arj a -y -m4 t.arj f.pkt", true},
    {"LHArc", "jlha", "t.lzh", "jlha -cz t.lzh f.pkt", false},
    {"LHArc", "jlha", "t.lzh", "jlha -c0o5 t.lzh f.pkt", false},
    {"LHArc", "jlha", "t.lzh", "jlha -c2o5 t.lzh f.pkt", true},
    {"LHArc", "jlha", "t.lzh", "jlha -c1o6 t.lzh f.pkt", true},
    {"PKArc", "arc", "t.arc", "TMPDIR=. arc a t.arc f.pkt", true},
    {"PKArc", "arc", "t.arc", "TMPDIR=. arc as t.arc f.pkt", false},
    {"PKArc", "arc", "t.arc", "TMPDIR=. arc aq t.arc f.pkt", true},
};

struct Content {
  const char* what;
  std::string (*make)();
  bool large;
};

std::string Packet() { return FidoPacket(40000, 3); }
std::string TextCrCr() { return SampleText(30000, 4) + "\r\r"; }
std::string Random() { return RandomBytes(20000, 5); }
std::string Empty() { return {}; }
std::string OneByte() { return "\r"; }
std::string Below64K() { return SampleText(65535, 6); }
std::string At64K() { return SampleText(65536, 7); }
std::string Above64K() { return RandomBytes(65537, 8); }
std::string Runs() { return DataForPacked(); }
std::string Skewed() { return SqueezedText(70004, std::string(2, '\0')); }
std::string BigPacket() { return FidoPacket(3 << 20, 9); }

const Content kContents[] = {
    {"packet", Packet, false},
    {"text ending CR CR", TextCrCr, false},
    {"random bytes", Random, false},
    {"empty", Empty, false},
    {"one byte", OneByte, false},
    {"64 KiB - 1", Below64K, false},
    {"64 KiB", At64K, false},
    {"64 KiB + 1", Above64K, false},
    {"runs (arc packs them)", Runs, false},
    {"skewed letters ending NUL NUL (arc squeezes them)", Skewed, false},
    {"3 MB packet", BigPacket, true},
};

TEST(PackerTools, EveryMethodOfTheRealPackersReadsBackByteForByte) {
  std::set<int> arcMethods;
  std::set<std::string> lhaMethods;
  for (const Content& content : kContents) {
    const std::string data = content.make();
    for (const Maker& m : kMakers) {
      if (content.large && !m.large) continue;
      SCOPED_TRACE(std::string(m.command) + " with " + content.what);
      if (!HaveTool(m.tool)) continue;
      ScopedUi ui;
      TempDir t;
      t.Write("src/f.pkt", data);
      ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && (" + m.command + ") >/dev/null 2>&1"), 0);
      std::filesystem::rename(t / "src" + "/" + m.archive, t / m.archive);
      const std::string made = t.Read(m.archive);
      if (std::string(m.packer) == "PKArc" && made.size() > 1) arcMethods.insert(made[1]);
      if (std::string(m.packer) == "LHArc" && made.size() > 7) lhaMethods.insert(made.substr(2, 5));

      // The tosser's way: the standard packer's integrated extractor.
      TPckList list;
      TPacker* packer = Standard(list, m.packer);
      ASSERT_NE(packer, nullptr);
      TUnpackNotes notes;
      notes.HoldErrorBoxes = true;
      EXPECT_TRUE(packer->Unpack(t / m.archive, t / "out/", true, &notes))
          << (notes.Errors.empty() ? "" : notes.Errors[0]);
      EXPECT_EQ(notes.LastError, 0);
      EXPECT_TRUE(notes.UnsupportedMethod.empty());
      // One file (a stream from a pipe is stored as "-"), byte for byte.
      std::vector<std::string> files;
      for (const auto& e : std::filesystem::directory_iterator(t / "out"))
        files.push_back(e.path().filename().string());
      ASSERT_EQ(files.size(), 1u);
      EXPECT_TRUE(t.Read("out/" + files[0]) == data) << files[0];
      EXPECT_TRUE(ui.prompter.Questions().empty());
    }
  }
  if (HaveTool("arc")) {
    // arc chose each of its methods for some content: stored, packed,
    // squeezed, crunched, squashed.
    EXPECT_EQ(arcMethods, (std::set<int>{2, 3, 4, 8, 9}));
  }
  if (HaveTool("jlha")) {
    EXPECT_EQ(lhaMethods, (std::set<std::string>{"-lh0-", "-lh5-", "-lh6-"}));
  }
}

TEST(PackerTools, PackRecogniseAndUnpack) {
  for (const auto& c : kTools) {
    SCOPED_TRACE(c.packer);
    if (!HaveTool(c.tool)) {
      std::cout << "[   INFO   ] " << c.tool << " not installed, " << c.packer << " skipped\n";
      continue;
    }
    ScopedUi ui;
    TempDir t;
    t.Write("out/0000ABCD.PKT", SampleText(20000, 1));
    t.Write("out/0000ABCE.PKT", RandomBytes(3000, 2));
    TPckList list;
    TPacker* packer = Standard(list, c.packer);
    ASSERT_NE(packer, nullptr);
    const std::string bundle = t / "out/1234ABCD.MO0";
    // Two packets of the same day go into the same bundle.
    ASSERT_TRUE(packer->Pack(bundle, t / "out/0000ABCD.PKT"));
    t.Write("first.MO0", t.Read("out/1234ABCD.MO0"));
    ASSERT_TRUE(packer->Pack(bundle, t / "out/0000ABCE.PKT"));
    EXPECT_EQ(list.FindPackerForFile(bundle), packer);
    // The read-back of the packet writer, without a disk: the bundle holds
    // both packets and all the first bundle held; not the other way round.
    EXPECT_TRUE(ArchiveHoldsFile(bundle, t / "out/0000ABCE.PKT"));
    EXPECT_TRUE(ArchiveKeepsEntriesOf(bundle, t / "first.MO0"));
    EXPECT_FALSE(ArchiveKeepsEntriesOf(t / "first.MO0", bundle));

    // The tool itself gives the packets back, without directories.
    TPacker external;
    external.SetUnPack(c.unpackCmd);
    ASSERT_TRUE(external.Unpack(bundle, t / "ext"));
    EXPECT_EQ(t.Read("ext/0000ABCD.PKT"), t.Read("out/0000ABCD.PKT"));
    EXPECT_EQ(t.Read("ext/0000ABCE.PKT"), t.Read("out/0000ABCE.PKT"));

    // The integrated extractor, when it is built in.
    if (CreateExtractorByName(ExtractKindName(packer->IntegratedKind()))) {
      ASSERT_TRUE(packer->Unpack(bundle, t / "int/"));
      EXPECT_EQ(t.Read("int/0000ABCD.PKT"), t.Read("out/0000ABCD.PKT"));
      EXPECT_EQ(t.Read("int/0000ABCE.PKT"), t.Read("out/0000ABCE.PKT"));
    } else {
      std::cout << "[   INFO   ] " << packer->GetUnPack() << " not built in yet\n";
    }
    EXPECT_TRUE(ui.prompter.Questions().empty());
  }
}

// The folder of a user's mail: over 100 characters, Cyrillic and blanks,
// wherever the temporary folder lies.
std::string LongOutbound(const TempDir& t) {
  const std::string dir =
      t / "Почта Ивана Петровича/Фидонет пойнт 2-5020-1234.5/Исходящая почта пойнта Outbound/";
  std::filesystem::create_directories(dir);
  return dir;
}

// The tool's own test of a bundle, run beside it (arc takes no longer name).
const struct {
  const char* packer;
  const char* tool;
  const char* test;
} kToolTests[] = {
    {"PKZip", "unzip", "unzip -tq"},    {"ARJ", "arj", "arj t -y"},
    {"LHArc", "jlha", "jlha t"},        {"LHArc", "lhasa", "lhasa t"},
    {"PKArc", "arc", "TMPDIR=. arc t"},
};

TEST(PackerTools, OurBundlesFromALongFolderPassTheToolsOwnTest) {
  for (const auto& c : kTools) {
    if (std::string(c.packer) == "RAR") continue;  // no free tool tests it here
    SCOPED_TRACE(c.packer);
    if (!HaveTool(c.tool)) continue;
    ScopedUi ui;
    TempDir t;
    const std::string outbound = LongOutbound(t);
    ASSERT_GT(outbound.size(), 100u);
    // As the packet writer packs: in a folder of its own beside the bundle,
    // on a copy, with the packet beside it.
    const std::string folder = outbound + ".pack-0000ABCD.PKT.Ab12Cd/";
    const std::string packet1 = FidoPacket(30000, 1), packet2 = FidoPacket(3 << 20, 2);
    WriteFileBytes(folder + "0000ABCD.PKT", packet1);
    WriteFileBytes(folder + "0000ABCE.PKT", packet2);
    TPckList list;
    TPacker* packer = Standard(list, c.packer);
    const std::string bundle = folder + "1234ABCD.MO0";
    // The packer's words never reach our standard output.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool first = packer->Pack(bundle, folder + "0000ABCD.PKT");
    const bool second = packer->Pack(bundle, folder + "0000ABCE.PKT");
    // arc squeezes these base64 mails (40 KB and 135 KB) into data its own
    // test fails on: they are added again stored.
    std::vector<std::pair<std::string, std::string>> squeezed;
    if (std::string(c.packer) == "PKArc") {
      squeezed = {{"0000ABCF.PKT", Base64Text(40000, 5)}, {"0000ABD0.PKT", Base64Text(135000, 2)}};
      for (const auto& [name, text] : squeezed) {
        WriteFileBytes(folder + name, text);
        EXPECT_TRUE(packer->Pack(bundle, folder + name)) << name;
      }
    }
    const std::string said = testing::internal::GetCapturedStdout();
    const std::string logged = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(said, "");
    for (const auto& [name, text] : squeezed) {
      EXPECT_NE(
          logged.find("arc's own test fails on the bundle 1234ABCD.MO0 after packing " + name +
                      " (arc writes squeezed data it cannot read back); it is added "
                      "again stored."),
          std::string::npos)
          << logged;
      // As arc itself packs it alone: squeezed, and failing its own test.
      TempDir alone;
      alone.Write(name, text);
      EXPECT_NE(RunShell("cd " + Sh(alone.Path()) + " && TMPDIR=. arc an a.arc " + name +
                         " >/dev/null 2>&1 && TMPDIR=. arc t a.arc >/dev/null 2>&1"),
                0)
          << "arc reads back what it squeezed: " << name;
    }
    // Without a configuration store the log is standard error: arj's
    // words, a line each, without the backspaces of its progress count.
    if (std::string(c.packer) == "ARJ") {
      EXPECT_NE(logged.find("velmaris: arj: Adding    0000ABCE.PKT"), std::string::npos) << logged;
      EXPECT_EQ(logged.find('\b'), std::string::npos);
      EXPECT_EQ(logged.find("\\x08"), std::string::npos);
    }
    for (const auto& test : kToolTests) {
      if (std::string(test.packer) != c.packer || !HaveTool(test.tool)) continue;
      SCOPED_TRACE(test.test);
      EXPECT_EQ(RunShell("cd " + Sh(folder) + " && " + test.test + " 1234ABCD.MO0 >/dev/null 2>&1"),
                0);
    }
    // And our reader gives both packets back.
    TUnpackNotes notes;
    notes.HoldErrorBoxes = true;
    ASSERT_TRUE(packer->Unpack(bundle, outbound + "in/", true, &notes));
    EXPECT_TRUE(ReadFileBytes(outbound + "in/0000ABCD.PKT") == packet1);
    EXPECT_TRUE(ReadFileBytes(outbound + "in/0000ABCE.PKT") == packet2);
    for (const auto& [name, text] : squeezed)
      EXPECT_TRUE(ReadFileBytes(outbound + "in/" + name) == text) << name;
    // The external unpacker from the long folder too.
    TPacker external;
    external.SetUnPack(c.unpackCmd);
    ASSERT_TRUE(external.Unpack(bundle, outbound + "ext/"));
    EXPECT_TRUE(ReadFileBytes(outbound + "ext/0000ABCE.PKT") == packet2);
    EXPECT_TRUE(ui.prompter.Questions().empty());
  }
}

TEST(PackerTools, BlanksAndCaretsInNamesStayWhole) {
  for (const auto& c : kTools) {
    if (!c.longNames) continue;
    SCOPED_TRACE(c.packer);
    if (!HaveTool(c.tool)) continue;
    ScopedUi ui;
    TempDir t;
    t.Write("with blank/^odd name.pkt", SampleText(7000, 3));
    TPckList list;
    TPacker* packer = Standard(list, c.packer);
    const std::string bundle = t / "with blank/^bundle 1.MO0";
    ASSERT_TRUE(packer->Pack(bundle, t / "with blank/^odd name.pkt"));
    TPacker external;
    external.SetUnPack(c.unpackCmd);
    ASSERT_TRUE(external.Unpack(bundle, t / "dest dir/"));
    EXPECT_EQ(t.Read("dest dir/^odd name.pkt"), t.Read("with blank/^odd name.pkt"));
    EXPECT_TRUE(ui.prompter.Questions().empty());
  }
}

TEST(PackerTools, ArgumentsAndWorkingDirectories) {
  ScopedUi ui;
  TempDir t;
  // A program that writes its working directory and its arguments.
  t.Write("dump.sh",
          "#!/bin/sh\nout=\"$1\"; shift\npwd > \"$out\"\nfor a in \"$@\"; do printf '%s\\n' \"$a\" "
          ">> \"$out\"; done\n");
  ASSERT_EQ(RunShell("chmod +x " + Sh(t / "dump.sh")), 0);
  t.Write("src dir/-odd ^name.pkt", "x");

  TPacker p;
  p.SetPack("\"" + t / "dump.sh" + "\" \"" + t / "pack args.txt" + "\" -opt");
  p.SetUnPack("\"" + t / "dump.sh" + "\" \"" + t / "unpack args.txt" + "\"");
  ASSERT_TRUE(p.Pack(t / "arc dir/b ^1.MO0", t / "src dir/-odd ^name.pkt"));
  // The archive relative to the folder the program works in.
  EXPECT_EQ(t.Read("pack args.txt"),
            t / "src dir" + "\n-opt\n../arc dir/b ^1.MO0\n./-odd ^name.pkt\n");
  ASSERT_TRUE(p.Unpack(t / "arc dir/b ^1.MO0", t / "new dest/"));
  EXPECT_EQ(t.Read("unpack args.txt"), t / "new dest" + "\n../arc dir/b ^1.MO0\n");
}

TEST(PackerTools, RelativeArchivePathsHoldThroughSymbolicLinks) {
  ScopedUi ui;
  TempDir t;
  t.Write("real/deep/f.pkt", "x");
  std::filesystem::create_directories(t / "arc dir");
  // The packet's folder and the archive's are reached through links.
  std::filesystem::create_directory_symlink(t / "real/deep", t / "linked");
  std::filesystem::create_directory_symlink(t / "arc dir", t / "real/deep/arcs");
  TPacker p;
  p.SetPack("sh -c \"echo made > \"\"$1\"\"\" sh");
  ASSERT_TRUE(p.Pack(t / "arc dir/a.MO0", t / "linked/f.pkt"));
  EXPECT_EQ(t.Read("arc dir/a.MO0"), "made\n");
  ASSERT_TRUE(p.Pack(t / "linked/arcs/b.MO0", t / "linked/f.pkt"));
  EXPECT_EQ(t.Read("arc dir/b.MO0"), "made\n");
  EXPECT_TRUE(ui.prompter.Questions().empty());
}

}  // namespace
}  // namespace velmaris::test
