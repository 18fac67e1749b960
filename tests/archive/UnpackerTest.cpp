// The unpacker: integrated extraction on a worker thread with the overwrite
// question, error boxes, progress events on the main thread, and extractions
// that never overlap.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <system_error>
#include <thread>

#include "ArcFixtures.h"
#include "ArchiveFixtures.h"
#include "PackerFixtures.h"
#include "archive/Packer.h"
#include "archive/Unpacker.h"
#include "archive/arxMain.h"

namespace velmaris::test {
namespace {

using platform::mbAll;
using platform::mbNo;
using platform::mbYes;
using platform::MsgButton;
using platform::MsgKind;

// Makes t/<name> with zip from the given files (name, content) in t/src-<name>/.
std::string MakeZip(const TempDir& t, const std::string& name,
                    const std::vector<std::pair<std::string, std::string>>& files) {
  std::string list;
  for (const auto& [file, content] : files) {
    t.Write("src-" + name + "/" + file, content);
    list += " " + Sh(file);
  }
  EXPECT_EQ(RunShell("cd " + Sh(t / ("src-" + name)) + " && zip -q -X " + Sh(t / name) + list), 0);
  return t / name;
}

TPacker IntegratedZip() {
  TPacker p;
  p.SetUnPack("Integrated UnZIP");
  return p;
}

// Clears the view hook at the end of a test.
struct ScopedViewHook {
  explicit ScopedViewHook(TVUPProgress::TProgressEvent hook) {
    TVUPProgress::SetViewHook(std::move(hook));
  }
  ~ScopedViewHook() { TVUPProgress::SetViewHook(nullptr); }
};

TEST(Unpacker, OverwriteQuestionYesNoAll) {
  struct Case {
    const char* what;
    std::vector<MsgButton> answers;
    const char* a;  // content of a.txt afterwards
    const char* b;
    int questions;
  } cases[] = {
      {"yes, yes", {mbYes, mbYes}, "new a", "new b", 2},
      {"no, yes", {mbNo, mbYes}, "old a", "new b", 2},
      {"yes, no", {mbYes, mbNo}, "new a", "old b", 2},
      {"no, no", {mbNo, mbNo}, "old a", "old b", 2},
      {"all", {mbAll}, "new a", "new b", 1},
      {"no, all", {mbNo, mbAll}, "old a", "new b", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedUi ui;
    TempDir t;
    const std::string zip = MakeZip(t, "x.zip", {{"a.txt", "new a"}, {"b.txt", "new b"}});
    t.Write("dest/a.txt", "old a");
    t.Write("dest/b.txt", "old b");
    for (MsgButton b : c.answers) ui.prompter.Script({b});
    TPacker p = IntegratedZip();
    EXPECT_TRUE(p.Unpack(zip, t / "dest/"));
    EXPECT_EQ(t.Read("dest/a.txt"), c.a);
    EXPECT_EQ(t.Read("dest/b.txt"), c.b);
    const auto questions = ui.prompter.Questions();
    ASSERT_EQ(int(questions.size()), c.questions);
    const char* names[] = {"a.txt", "b.txt"};
    for (size_t i = 0; i < questions.size(); ++i) {
      EXPECT_EQ(questions[i].kind, MsgKind::Warning);
      EXPECT_EQ(questions[i].buttons, unsigned(mbYes | mbNo | mbAll));
      EXPECT_EQ(questions[i].text, "Die Datei " + t / "dest/" + names[i] +
                                       " existiert schon\r\nMöchten Sie die Datei überschreiben ?");
    }
  }
}

TEST(Unpacker, KeepingExistingFilesWritesBesideThemWithoutAsking) {
  ScopedUi ui;
  TempDir t;
  const std::string zip = MakeZip(t, "x.zip", {{"a.pkt", "new a"}, {"b", "new b"}});
  t.Write("dest/a.pkt", "old a");
  t.Write("dest/a~1.pkt", "older a");
  t.Write("dest/b", "old b");
  TPacker p = IntegratedZip();
  EXPECT_TRUE(p.Unpack(zip, t / "dest/", true));
  const std::map<std::string, std::string> expected = {{"a.pkt", "old a"},
                                                       {"a~1.pkt", "older a"},
                                                       {"a~2.pkt", "new a"},
                                                       {"b", "old b"},
                                                       {"b~1", "new b"}};
  std::map<std::string, std::string> got;
  for (const auto& e : std::filesystem::directory_iterator(t / "dest"))
    got[e.path().filename().string()] = t.Read("dest/" + e.path().filename().string());
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(ui.prompter.Questions().empty());
}

TEST(Unpacker, EventsOfACleanRun) {
  ScopedUi ui;
  TempDir t;
  const std::string zip =
      MakeZip(t, "clean.zip", {{"one.pkt", SampleText(300000, 4)}, {"two.pkt", "2"}});
  std::vector<std::string> log;
  const auto main = std::this_thread::get_id();
  bool offMain = false;
  TVUPProgress* hooked = nullptr;
  ScopedViewHook hook([&](TVUPProgress& p) {
    hooked = &p;
    log.push_back("view");
  });
  TVUPProgress progress;
  progress.OnShow = [&](TVUPProgress& p) {
    log.push_back("show " + p.Caption() + " | " + p.ArchiveText());
    EXPECT_TRUE(p.Active());
  };
  std::vector<int> positions;
  progress.OnProgress = [&](TVUPProgress& p) {
    offMain |= std::this_thread::get_id() != main;
    positions.push_back(p.Position());
  };
  progress.OnFile = [&](TVUPProgress& p) {
    offMain |= std::this_thread::get_id() != main;
    if (log.back() != "file " + p.FileText()) log.push_back("file " + p.FileText());
  };
  progress.OnClose = [&](TVUPProgress& p) {
    log.push_back("close");
    EXPECT_FALSE(p.Active());
  };
  EXPECT_EQ(progress.Extract(ekUnZIP, zip, t / "dest/"), 0);
  EXPECT_EQ(progress.LastError(), 0);
  EXPECT_EQ(hooked, &progress);
  EXPECT_FALSE(offMain);
  const std::vector<std::string> expected = {
      "view", "show Integrated UnZIP | Entpacke clean.zip nach " + t / "dest/" + " ...",
      "file " + t / "dest/one.pkt", "file " + t / "dest/two.pkt", "close"};
  EXPECT_EQ(log, expected);
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 100);
  EXPECT_EQ(progress.Position(), 100);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(t.Read("dest/one.pkt"), SampleText(300000, 4));
  EXPECT_TRUE(ui.prompter.Questions().empty());
}

// A thread that cannot be started (no memory for its stack) is a failure
// of ours that reaches the caller as it was raised, after the run has closed
// as any other (its window goes away) and the extractor has ended.
TEST(Unpacker, AThreadThatCannotStartReachesTheCallerAfterTheRunCloses) {
  ScopedUi ui;
  TempDir t;
  const std::string zip = MakeZip(t, "x.zip", {{"one.pkt", "1"}});
  struct Case {
    const char* what;
    std::function<void()> fail;
  } cases[] = {
      {"no thread", [] { throw std::system_error(EAGAIN, std::generic_category(), "thread"); }},
      {"no memory", [] { throw std::bad_alloc(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TVUPProgress progress;
    int closed = 0, starts = 0;
    progress.OnClose = [&](TVUPProgress& p) {
      ++closed;
      EXPECT_FALSE(p.Active());
    };
    progress.StartThread = [&](std::function<void()>) -> std::thread {
      ++starts;
      c.fail();
      return {};
    };
    bool raised = false;
    try {
      progress.Extract(ekUnZIP, zip, t / (std::string("dest-") + c.what + "/"));
    } catch (const std::exception&) {
      raised = true;
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(progress.Active());
  }
  // Through the packer, the notes hand the starter on.
  TPacker p;
  p.SetUnPack("Integrated UnZIP");
  TUnpackNotes notes;
  notes.StartThread = [](std::function<void()>) -> std::thread {
    throw std::system_error(EAGAIN, std::generic_category(), "thread");
  };
  EXPECT_THROW(p.Unpack(zip, t / "dest-packer/", false, &notes), std::system_error);
  notes.StartThread = [](std::function<void()> fn) { return std::thread(std::move(fn)); };
  EXPECT_TRUE(p.Unpack(zip, t / "dest-started/", false, &notes));
  EXPECT_EQ(t.Read("dest-started/one.pkt"), "1");
  EXPECT_TRUE(ui.prompter.Questions().empty());
}

TEST(Unpacker, KindsOutsideTheTableDoNothing) {
  ScopedUi ui;
  TempDir t;
  const std::string zip = MakeZip(t, "k.zip", {{"a", "a"}});
  int events = 0;
  ScopedViewHook hook([&](TVUPProgress&) { ++events; });
  for (int kind : {-1, 5, 100}) {
    TVUPProgress progress;
    progress.OnShow = progress.OnClose = progress.OnProgress = [&](TVUPProgress&) { ++events; };
    EXPECT_EQ(progress.Extract(kind, zip, t / "dest/"), -1) << kind;
  }
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(ui.prompter.Questions().empty());
  EXPECT_NE(RunShell("test -e " + Sh(t / "dest")), 0);
}

TEST(Unpacker, ErrorsBecomeTheResultAndAreShown) {
  TempDir t;
  const std::string good = MakeZip(t, "g.zip", {{"a.txt", SampleText(5000, 7)}});
  std::string bad = t.Read("g.zip");
  bad[14] ^= 1;                                           // CRC in the local header
  bad[bad.find(std::string("PK\x01\x02", 4)) + 16] ^= 1;  // and in the central one
  t.Write("crc.zip", bad);
  t.Write("text.zip", "no archive here, just words\n");
  struct Case {
    const char* what;
    std::string archive;
    int code;
    std::string fileInText;
    const char* message;
  } cases[] = {
      {"crc", t / "crc.zip", ecCrcCheck, "a.txt", "File fails CRC check"},
      {"not an archive", t / "text.zip", ecUnsupportedType, "text.zip",
       "Invalid or unsupported archive type for this operation"},
      {"missing", t / "missing.zip", -2, "missing.zip", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedUi ui;
    TVUPProgress progress;
    const int code = progress.Extract(ekUnZIP, c.archive, t / "dest/");
    if (c.code == -2) {
      EXPECT_GT(code, 0);
    } else {
      EXPECT_EQ(code, c.code);
    }
    const auto questions = ui.prompter.Questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].kind, MsgKind::Error);
    EXPECT_EQ(questions[0].buttons, unsigned(mbYes));
    EXPECT_EQ(questions[0].text.rfind("Fehler beim Entpacken von ", 0), 0u) << questions[0].text;
    EXPECT_NE(questions[0].text.find(c.fileInText + ":\r\n" + c.message), std::string::npos)
        << questions[0].text;
    // Through the packer the failure is a false result.
    TPacker p = IntegratedZip();
    EXPECT_FALSE(p.Unpack(c.archive, t / "dest2/"));
  }
}

// Memory our own process cannot get is no fault of the archive: the result
// says out of memory, and the failure is ours (ENOMEM), so a caller keeps
// the archive for a later run. A write that fails is ours the same way; a
// damaged archive is never ours.
TEST(Unpacker, OurOwnFailuresAreToldApartFromTheArchives) {
  TempDir t;
  const std::string good = MakeZip(t, "m.zip", {{"a.pkt", SampleText(5000, 3)}, {"b.pkt", "b"}});
  std::string bad = t.Read("m.zip");
  bad[14] ^= 1;
  bad[bad.find(std::string("PK\x01\x02", 4)) + 16] ^= 1;
  t.Write("crc.zip", bad);
  struct Case {
    const char* what;
    std::string archive;
    int failOnFile;  // the file event that finds no memory (0: none)
    int code;
    int ownFailure;
  } cases[] = {
      {"no memory at the first entry", good, 1, ecOutOfMemory, ENOMEM},
      {"no memory at the second entry", good, 2, ecOutOfMemory, ENOMEM},
      {"a damaged archive", t / "crc.zip", 0, ecCrcCheck, 0},
      {"a sound archive", good, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedUi ui;
    TVUPProgress progress;
    int files = 0;
    progress.OnFile = [&](TVUPProgress&) {
      if (++files == c.failOnFile) throw std::bad_alloc();
    };
    EXPECT_EQ(progress.Extract(ekUnZIP, c.archive, t / (std::string("dest-") + c.what + "/")),
              c.code);
    EXPECT_EQ(progress.OutputFailure(), c.ownFailure);
  }
}

// An entry packed with a method we do not decode is our limit, not damage:
// the result and the notes say which entry and which method, apart from a
// damaged archive's.
TEST(Unpacker, MethodsWeDoNotDecodeAreOurLimitNotDamage) {
  TempDir t;
  auto zipWith = [&](uint16_t method) {
    ZipFixtureEntry e = StoredEntry("b.pkt", "any data at all");
    if (method != 0) {
      e.method = method;
      e.usize = 100;
    }
    const std::string name = "m" + std::to_string(method) + ".zip";
    t.Write(name, BuildZip({StoredEntry("a.pkt", "first"), e}));
    return t / name;
  };
  struct Case {
    const char* what;
    std::string archive;
    const char* packer;
    std::string unsupported;  // "" for none
    int code;
  } cases[] = {
      {"Deflate64", zipWith(9), "PKZip", "b.pkt: Deflate64, method 9", ecUnsupportedMethod},
      {"bzip2", zipWith(12), "PKZip", "b.pkt: bzip2, method 12", ecUnsupportedMethod},
      {"LZMA", zipWith(14), "PKZip", "b.pkt: LZMA, method 14", ecUnsupportedMethod},
      {"PPMd", zipWith(98), "PKZip", "b.pkt: PPMd, method 98", ecUnsupportedMethod},
      // A number no packer writes is damage, not our limit.
      {"a method without a name", zipWith(77), "PKZip", "", ecBadFileHeader},
      {"a damaged archive", "", "PKZip", "", ecCrcCheck},
      {"a sound archive", zipWith(0), "PKZip", "", 0},
  };
  {
    std::string bad = ReadFileBytes(zipWith(0));
    bad[bad.find("any data")] ^= 1;
    t.Write("crc.zip", bad);
    cases[5].archive = t / "crc.zip";
  }
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // What the real tools make with such methods.
  if (HaveTool("zip") && RunShell("cd " + Sh(t.Path()) +
                                  " && printf 'text of mail\\n%.0s' $(seq 500) > c.pkt && "
                                  "zip -q -Z bzip2 bz.zip c.pkt 2>/dev/null") == 0) {
    all.push_back(
        {"zip -Z bzip2", t / "bz.zip", "PKZip", "c.pkt: bzip2, method 12", ecUnsupportedMethod});
  }
  // ARC passes over such an entry and goes on with the next.
  t.Write("m10.arc", BuildArc({{2, "a.pkt", "first", "first"},
                               {10, "b.pkt", "crushed data", "crushed data"},
                               {2, "c.pkt", "third", "third"}}));
  all.push_back(
      {"ARC method 10", t / "m10.arc", "PKArc", "b.pkt: ARC method 10", ecUnsupportedMethod});
  if (HaveTool("jlha")) {
    t.Write("l/c.pkt", SampleText(20000, 3));
    EXPECT_EQ(RunShell("cd " + Sh(t / "l") + " && jlha -c2o7 ../lh7.lzh c.pkt >/dev/null 2>&1"), 0);
    all.push_back({"jlha -lh7-", t / "lh7.lzh", "LHArc", "c.pkt: -lh7-", ecUnsupportedMethod});
  }
  for (const auto& c : all) {
    SCOPED_TRACE(c.what);
    ScopedUi ui;
    TPckList list;
    list.AddStandardPackers();
    TUnpackNotes notes;
    notes.HoldErrorBoxes = true;
    const std::string dest = t / (std::string("dest-") + c.what + "/");
    EXPECT_EQ(list.PackerByName(c.packer)->Unpack(c.archive, dest, true, &notes), c.code == 0);
    EXPECT_EQ(notes.LastError, c.code);
    EXPECT_EQ(notes.UnsupportedMethod, c.unsupported);
    EXPECT_EQ(notes.OutputFailure, 0);
    if (!c.unsupported.empty()) {
      const std::string entry = c.unsupported.substr(0, c.unsupported.find(':'));
      const std::string method = c.unsupported.substr(entry.size() + 2);
      ASSERT_FALSE(notes.Errors.empty());
      EXPECT_NE(
          notes.Errors.back().find(entry + ": Unsupported compression method (" + method + ")"),
          std::string::npos)
          << notes.Errors.back();
      // Nothing of that entry is left behind.
      EXPECT_FALSE(std::filesystem::exists(dest + entry));
      if (std::string(c.packer) == "PKArc") {
        EXPECT_EQ(ReadFileBytes(dest + "c.pkt"), "third");
        continue;
      }
      // The extractor itself raises it as its own exception class.
      auto x = CreateExtractor(DetectArchiveType(c.archive));
      ASSERT_NE(x, nullptr);
      x->SetArchiveFile(c.archive);
      x->SetExtractDir(t / (std::string("direct-") + c.what + "/"));
      x->SetFileSpec({"*.*"});
      try {
        x->Extract();
        ADD_FAILURE() << "no exception";
      } catch (const EUnsupportedMethod& e) {
        EXPECT_EQ(e.Code(), ecUnsupportedMethod);
        EXPECT_EQ(e.Entry(), entry);
        EXPECT_EQ(e.Method(), method);
      }
      EXPECT_EQ(x->UnsupportedMethod(), c.unsupported);
    }
  }
}

TEST(Unpacker, CalledFromAWorkerWhileTheMainThreadPumps) {
  ScopedUi ui;
  TempDir t;
  const std::string zip = MakeZip(t, "w.zip", {{"a.txt", "new"}});
  t.Write("dest/a.txt", "old");
  ui.prompter.Script({mbYes});
  const auto main = std::this_thread::get_id();
  std::atomic<bool> offMain{false}, done{false}, result{false};
  ScopedViewHook hook([&](TVUPProgress& p) {
    offMain = offMain || std::this_thread::get_id() != main;
    p.OnProgress = [&](TVUPProgress&) { offMain = offMain || std::this_thread::get_id() != main; };
  });
  std::thread worker([&] {
    TPacker p = IntegratedZip();
    result = p.Unpack(zip, t / "dest/");
    done = true;
    ui.dispatcher.Wake();
  });
  EXPECT_TRUE(ui.dispatcher.RunUntil([&] { return done.load(); }, std::chrono::seconds(60)));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_FALSE(offMain);
  EXPECT_EQ(t.Read("dest/a.txt"), "new");
  EXPECT_EQ(ui.prompter.Questions().size(), 1u);
}

TEST(Unpacker, ExtractionsNeverOverlap) {
  ScopedUi ui;
  TempDir t;
  std::vector<std::string> zips;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "big" + std::to_string(i) + ".zip";
    zips.push_back(MakeZip(t, name,
                           {{"a.bin", RandomBytes(1500000, unsigned(i))},
                            {"b.txt", SampleText(1500000, unsigned(i))}}));
  }
  // The main thread records which extraction each progress step belongs to.
  std::vector<const TVUPProgress*> steps;
  ScopedViewHook hook([&](TVUPProgress& p) {
    p.OnProgress = [&steps](TVUPProgress& sender) { steps.push_back(&sender); };
  });
  std::atomic<int> finished{0}, succeeded{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 3; ++i) {
    workers.emplace_back([&, i] {
      TPacker p = IntegratedZip();
      if (p.Unpack(zips[size_t(i)], t / ("dest" + std::to_string(i) + "/"))) ++succeeded;
      ++finished;
      ui.dispatcher.Wake();
    });
  }
  EXPECT_TRUE(
      ui.dispatcher.RunUntil([&] { return finished.load() == 3; }, std::chrono::seconds(120)));
  for (auto& w : workers) w.join();
  EXPECT_EQ(succeeded.load(), 3);
  // Each extraction's steps form one run: no step of another lies between.
  std::map<const TVUPProgress*, size_t> last;
  std::vector<const TVUPProgress*> order;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (order.empty() || order.back() != steps[i]) {
      EXPECT_EQ(last.count(steps[i]), 0u) << "extraction resumed after another one at step " << i;
      order.push_back(steps[i]);
    }
    last[steps[i]] = i;
  }
  EXPECT_EQ(order.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(t.Read("dest" + std::to_string(i) + "/b.txt"), SampleText(1500000, unsigned(i)));
}

TEST(Unpacker, AnExtractionStartedWhileWaitingForAnother) {
  ScopedUi ui;
  TempDir t;
  const std::string first = MakeZip(t, "first.zip", {{"a.bin", RandomBytes(2000000, 9)}});
  const std::string second = MakeZip(t, "second.zip", {{"b.txt", "second"}});
  bool nested = false;
  // Runs on the main thread while it waits for the first extraction.
  ui.dispatcher.Post([&] {
    TPacker p = IntegratedZip();
    nested = p.Unpack(second, t / "d2/");
  });
  TPacker p = IntegratedZip();
  EXPECT_TRUE(p.Unpack(first, t / "d1/"));
  EXPECT_TRUE(nested);
  EXPECT_EQ(t.Read("d1/a.bin"), RandomBytes(2000000, 9));
  EXPECT_EQ(t.Read("d2/b.txt"), "second");
}

}  // namespace
}  // namespace velmaris::test
