// External packers that fail: the Abort/Retry/Ignore question, how often the
// program runs, and programs that cannot be started.
#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "PackerFixtures.h"
#include "archive/Packer.h"
#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

using platform::mbAbort;
using platform::mbIgnore;
using platform::mbOk;
using platform::mbRetry;
using platform::MsgButton;
using platform::MsgKind;

struct FlowCase {
  const char* what;
  const char* script;  // shell text run in the program's working directory
  std::vector<MsgButton> answers;
  bool result;
  int runs;
  int questions;
};

// Each run appends a line to runs.txt.
const FlowCase kFlow[] = {
    {"success", "echo r >> runs.txt", {}, true, 1, 0},
    {"ignore", "echo r >> runs.txt; exit 1", {mbIgnore}, false, 1, 1},
    {"abort", "echo r >> runs.txt; exit 1", {mbAbort}, false, 1, 1},
    {"retry, then ignore", "echo r >> runs.txt; exit 2", {mbRetry, mbIgnore}, false, 2, 2},
    {"retry twice, then abort",
     "echo r >> runs.txt; exit 1",
     {mbRetry, mbRetry, mbAbort},
     false,
     3,
     3},
    {"retry succeeds", "echo r >> runs.txt; test $(wc -l < runs.txt) -ge 2", {mbRetry}, true, 2, 1},
    {"killed", "echo r >> runs.txt; kill -9 $$", {mbIgnore}, false, 1, 1},
    {"unattended", "echo r >> runs.txt; exit 1", {}, false, 1, 1},
    // It ended well; what it left behind holds its output and is not waited for.
    {"leaves a daemon", "echo r >> runs.txt; setsid sleep 30 & exit 0", {}, true, 1, 0},
};

int Runs(const TempDir& t, const std::string& file) {
  std::string out;
  RunShell("cat " + Sh(t / file) + " 2>/dev/null | wc -l", &out);
  return std::stoi(out);
}

std::string Command(const char* script) { return std::string("sh -c \"") + script + "\" sh"; }

TEST(PackerFailure, QuestionFlowOfPackingAndUnpacking) {
  for (const bool pack : {false, true}) {
    for (const auto& c : kFlow) {
      SCOPED_TRACE(std::string(pack ? "pack " : "unpack ") + c.what);
      ScopedUi ui;
      TempDir t;
      t.Write("in/bundle.MO0", "data");
      t.Write("out/0000ABCD.PKT", "packet");
      for (MsgButton b : c.answers) ui.prompter.Script({b});
      TPacker p;
      bool result;
      if (pack) {
        p.SetPack(Command(c.script));
        result = p.Pack(t / "out/bundle.MO0", t / "out/0000ABCD.PKT");
      } else {
        p.SetUnPack(Command(c.script));
        result = p.Unpack(t / "in/bundle.MO0", t / "dest/");
      }
      EXPECT_EQ(result, c.result);
      // A packer runs in the packet's directory, an unpacker in the target.
      EXPECT_EQ(Runs(t, pack ? "out/runs.txt" : "dest/runs.txt"), c.runs);
      const auto questions = ui.prompter.Questions();
      ASSERT_EQ(int(questions.size()), c.questions);
      for (const auto& q : questions) {
        EXPECT_EQ(q.kind, MsgKind::Warning);
        EXPECT_EQ(q.text, pack ? "Problems occured when packing " + t / "out/0000ABCD.PKT" + " ."
                               : "Problems occured when unpacking " + t / "in/bundle.MO0" + " .");
        EXPECT_EQ(q.buttons, unsigned(mbAbort | mbRetry | mbIgnore));
      }
    }
  }
}

TEST(PackerFailure, TheBoxNamesThePacketAsTheOutboundListsIt) {
  ScopedUi ui;
  TempDir t;
  // A long outbound, and the packer's folder of our own in it.
  const std::string outbound =
      t / "Почта Ивана Петровича/Фидонет пойнт 2-5020-1234.5/Исходящая почта пойнта Outbound/";
  const std::string folder = outbound + ".pack-0000ABCD.PKT.Ab12Cd/";
  WriteFileBytes(folder + "0000ABCD.PKT", "packet");
  ui.prompter.Script({mbIgnore});
  TPacker p;
  p.SetPack(Command("echo cannot pack; exit 1"));
  testing::internal::CaptureStdout();
  const bool packed = p.Pack(folder + "1234ABCD.MO0", folder + "0000ABCD.PKT");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(packed);
  const auto questions = ui.prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "Problems occured when packing " + outbound + "0000ABCD.PKT .");
}

TEST(PackerFailure, ShownNamesOfPackedFiles) {
  const struct {
    const char* file;
    const char* shown;
  } cases[] = {
      {"/out/.pack-0000ABCD.PKT.Ab12Cd/0000ABCD.PKT", "/out/0000ABCD.PKT"},
      {"/out/0000ABCD.PKT", "/out/0000ABCD.PKT"},
      {".pack-a.pkt.xxxxxx/a.pkt", "a.pkt"},
      // Folders that are not one of ours for this file keep the name.
      {"/out/.pack-0000ABCE.PKT.Ab12Cd/0000ABCD.PKT",
       "/out/.pack-0000ABCE.PKT.Ab12Cd/0000ABCD.PKT"},
      {"/out/.pack-0000ABCD.PKT.Ab12/0000ABCD.PKT", "/out/.pack-0000ABCD.PKT.Ab12/0000ABCD.PKT"},
      {"/out/pack-0000ABCD.PKT.Ab12Cd/0000ABCD.PKT", "/out/pack-0000ABCD.PKT.Ab12Cd/0000ABCD.PKT"},
      {"0000ABCD.PKT", "0000ABCD.PKT"},
  };
  for (const auto& c : cases) EXPECT_EQ(PackedFileShownName(c.file), c.shown) << c.file;
}

// The box and the caller's notes (its log) say why.
TEST(PackerFailure, ProgramsThatCannotBeStarted) {
  struct Case {
    bool pack;
    const char* command;
    const char* text;
    const char* why;
  } cases[] = {
      {false, "no-such-unpacker-xyz -x", "Could not start unpacker:no-such-unpacker-xyz -x",
       "No such file or directory)"},
      {false, "Integrated Foo", "Could not start unpacker:Integrated Foo",
       "No such file or directory)"},
      {false, "", "Could not start unpacker:", " (no program to start)"},
      {true, "no-such-packer-xyz a", "Could not start packer:no-such-packer-xyz a",
       "No such file or directory)"},
      {true, "  ", "Could not start packer:  ", " (no program to start)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ScopedUi ui;
    TempDir t;
    t.Write("a.pkt", "x");
    TPacker p;
    bool result;
    std::vector<std::string> notes;
    if (c.pack) {
      p.SetPack(c.command);
      result = p.Pack(t / "b.MO0", t / "a.pkt", &notes);
    } else {
      p.SetUnPack(c.command);
      TUnpackNotes unpackNotes;
      result = p.Unpack(t / "a.pkt", t / "dest/", false, &unpackNotes);
      notes = unpackNotes.Errors;
    }
    EXPECT_FALSE(result);
    const auto questions = ui.prompter.Questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].kind, MsgKind::Error);
    EXPECT_EQ(questions[0].text.rfind(c.text, 0), 0u) << questions[0].text;
    EXPECT_TRUE(questions[0].text.ends_with(c.why)) << questions[0].text;
    EXPECT_EQ(questions[0].buttons, unsigned(mbOk));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], platform::Utf8ToAnsi(questions[0].text)) << "the log's line: the ANSI page";
  }
}

}  // namespace
}  // namespace velmaris::test
