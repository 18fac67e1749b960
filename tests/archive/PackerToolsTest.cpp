// Packing and unpacking with the real Debian tools: the standard pack
// commands make bundles that the standard signatures recognise, that the
// tools unpack again and that the integrated extractors read.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmaris::test
