// Unpack jobs end to end over a temporary directory with archives made by
// zip and arj: what happens to the archive, the log, the report, failures
// that switch automatic unpacking off, the timer and the extraction lock.
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveFixtures.h"
#include "PackerFixtures.h"
#include "archive/AutoUnpacker.h"
#include "archive/Unpacker.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "support/NameTable.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class UnpackJobRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip") || !HaveTool("arj")) GTEST_SKIP() << "zip and arj are needed";
    packers.AddStandardPackers();
    platform::MakeDirs(t / "in");
  }

  TAutoUnpacker& Unpacker(std::chrono::milliseconds interval = kUnpackTimerInterval) {
    TAutoUnpackHooks h;
    h.PostReport = [this](auto& from, auto& to, auto& subject, auto& origin, auto& lines) {
      reports.push_back({from, to, subject, origin});
      reports.back().insert(reports.back().end(), lines.begin(), lines.end());
    };
    h.AutoUnpackDisabled = [this] { ++disabled; };
    h.MailerSessionActive = [this] { return mailerActive; };
    h.ReportWanted = [this] { return reportWanted; };
    unpacker = std::make_unique<TAutoUnpacker>(jobs, packers, std::move(h), interval);
    return *unpacker;
  }
  void RunOnce() {
    TAutoUnpacker& u = unpacker ? *unpacker : Unpacker();
    ASSERT_TRUE(u.StartUnpack());
    u.Wait();
  }
  // The log without its time stamps "dd.mm.yy hh:mm:ss<tab>".
  Lines Texts() const {
    Lines out;
    for (const auto& line : unpacker->Log()) {
      EXPECT_TRUE(std::regex_search(line, std::regex(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\t)")));
      out.push_back(line.substr(line.find('\t') + 1));
    }
    return out;
  }
  // Packs files (name, content) with a standard packer into t/<archive>.
  std::string Pack(const char* packer, const std::string& archive, const Lines& contents) {
    platform::MakeDirs(platform::DirOf(t / archive));
    for (size_t i = 0; i < contents.size(); ++i) {
      const std::string file = "src/F" + std::to_string(i) + ".PKT";
      t.Write(file, contents[i]);
      EXPECT_TRUE(packers.PackerByName(packer)->Pack(t / archive, t / file));
    }
    return t / archive;
  }
  void AddJob(const std::string& name, const std::string& mask, int32_t source,
              const std::string& moveDir = {}) {
    jobs.AddJob(name, std::make_unique<TUnpackJob>(mask, t / "out/", moveDir, source));
  }
  Lines Questions() const {
    Lines out;
    for (const auto& q : ui.prompter.Questions()) out.push_back(q.text);
    return out;
  }

  ScopedUi ui;
  TempDir t;
  TPckList packers;
  TUnpJobList jobs;
  std::unique_ptr<TAutoUnpacker> unpacker;
  std::vector<Lines> reports;  // from, to, subject, origin, then the lines
  int disabled = 0;
  bool mailerActive = false, reportWanted = true;
};

TEST_F(UnpackJobRun, NoFilesNoReport) {
  t.Write("in/a.arj.txt", "not matched by *.zip");
  AddJob("Empty", t / "in/*.zip", TUnpackJob::usDelete);
  AddJob("Nowhere", t / "missing/*.zip", TUnpackJob::usDelete);
  AddJob("Dir", t / "in/", TUnpackJob::usDelete);
  Unpacker().SetTimerOn(true);
  RunOnce();
  EXPECT_EQ(Texts(), (Lines{"//Starting Unpack Job//", "*Empty*", "No files to unpack", "*Nowhere*",
                            "No files to unpack", "*Dir*", "No files to unpack",
                            "//Unpack Job completed//"}));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(disabled, 0);
  EXPECT_TRUE(unpacker->TimerOn());
  EXPECT_TRUE(Questions().empty());
}

TEST_F(UnpackJobRun, WhatHappensToTheArchive) {
  const char* moved = "has been moved ";
  auto stays = [](const std::string& why) {
    return Lines{"//*Error*//: a.arc could not be moved", "a.arc stays in IN (" + why + ")"};
  };
  struct Case {
    const char* what;
    const char* packer;
    int32_t source;
    const char* moveDir;  // below t; "-" for none
    bool report, stays, moved;
    Lines tail;  // the log after "unpacked to", "IN" standing for t/in/
  } cases[] = {
      {"delete", "PKZip", 0, "-", true, false, false, {"a.arc has been deleted"}},
      {"delete arj", "ARJ", 0, "-", false, false, false, {"a.arc has been deleted"}},
      {"move", "ARJ", 1, "old/", true, false, true, {std::string("a.arc ") + moved}},
      {"move, no slash", "PKZip", 1, "old", false, false, true, {std::string("a.arc ") + moved}},
      {"keep", "PKZip", 2, "-", true, true, false, {}},
      {"keep, any other value", "ARJ", -7, "old/", false, true, false, {}},
      {"move into a missing directory", "PKZip", 1, "gone/", true, true, false,
       stays("the directory does not exist")},
      {"move without a directory", "ARJ", 1, "-", true, true, false,
       stays("no directory to move to is set")},
      {"move onto itself", "PKZip", 1, "in/", true, true, false,
       stays("it is in that directory already")},
      // An older version's CP1251 folder below the suites' UTF-8 one.
      {"move into a missing CP1251 directory", "PKZip", 1, "\xcf\xee\xf7\xf2\xe0/", true, true,
       false, stays("the directory does not exist")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunShell("rm -rf " + Sh(t / "in") + " " + Sh(t / "out") + " " + Sh(t / "old"));
    t.Write("old/.keep", "");
    const Lines contents = {SampleText(5000, 1), RandomBytes(700, 2)};
    const std::string archive = Pack(c.packer, "in/a.arc", contents);
    const std::string bytes = t.Read("in/a.arc");
    jobs.Clear();
    AddJob("Job", t / "in/*.ARC", c.source, std::string(c.moveDir) == "-" ? "" : t / c.moveDir);
    reportWanted = c.report;
    reports.clear();
    disabled = 0;
    ui.prompter.Clear();
    Unpacker().SetTimerOn(true);
    RunOnce();

    EXPECT_EQ(t.Read("out/F0.PKT"), contents[0]);
    EXPECT_EQ(t.Read("out/F1.PKT"), contents[1]);
    EXPECT_EQ(platform::FileExists(archive), c.stays);
    EXPECT_EQ(platform::FileExists(t / "old/a.arc") ? t.Read("old/a.arc") : "",
              c.moved ? bytes : "");
    EXPECT_FALSE(platform::DirExists(t / "gone"));
    // The log is ANSI text: the folders (below the suites' Cyrillic folder)
    // in the ANSI page.
    Lines log = {"//Starting Unpack Job//", "*Job*",
                 "a.arc unpacked to " + platform::LogName(t / "out/")};
    for (std::string line : c.tail) {
      if (const size_t at = line.find("IN"); at != std::string::npos)
        line.replace(at, 2, platform::LogName(t / "in/"));
      log.push_back(line);
    }
    log.push_back("//Unpack Job completed//");
    EXPECT_EQ(Texts(), log);

    const bool off = c.tail.size() == 2;
    EXPECT_EQ(disabled, off ? 1 : 0);
    EXPECT_EQ(unpacker->TimerOn(), !off);
    EXPECT_EQ(unpacker->Status(), off ? "Aborted !!!!" : "");
    ASSERT_EQ(Questions().size(), off ? 1u : 0u);
    if (off) {
      // The box's line is UTF-8, every folder in it converted.
      const std::string& stay = c.tail.back();
      const size_t open = stay.rfind('(');
      const std::string why = stay.substr(open + 1, stay.size() - open - 2);
      const std::string to = std::string(c.moveDir) == "-" ? "" : t / c.moveDir;
      EXPECT_EQ(Questions()[0], "The file \"" + archive + "\" could not be moved to \"" +
                                    platform::DiskNameText(to) + "\": " + why +
                                    ". Automatic Unpacking has been disabled to help you fix the "
                                    "problem.");
    }
    Lines report = {"Automatic Unpacker", "Sysop", "Unpack Log",
                    "The Velmaris 95 Automatic Unpacker"};
    for (const auto& line : unpacker->Log()) report.push_back(line);
    EXPECT_EQ(reports, c.report ? std::vector<Lines>{report} : std::vector<Lines>{});
  }
}

// Archives named as the table of names, in a folder with a Cyrillic name
// and a blank: each is unpacked and deleted, and the log names it in the
// ANSI page.
TEST_F(UnpackJobRun, ArchivesUnderEveryNameAreUnpackedAndLoggedInTheAnsiPage) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    RunShell("rm -rf " + Sh(t / "out"));
    const std::string archive = Pack("PKZip", "Входящие архивы/" + row.disk, {"packet " + row.disk});
    jobs.Clear();
    AddJob("Job", t / "Входящие архивы/*.zip", TUnpackJob::usDelete);
    Unpacker();
    RunOnce();
    EXPECT_EQ(t.Read("out/F0.PKT"), "packet " + row.disk);
    EXPECT_FALSE(platform::FileExists(archive));
    if (!row.ansi) continue;
    EXPECT_EQ(Texts(), (Lines{"//Starting Unpack Job//", "*Job*",
                              *row.ansi + " unpacked to " + platform::LogName(t / "out/"),
                              *row.ansi + " has been deleted", "//Unpack Job completed//"}));
  }
}

// Two entries whose long names cut to one name, and an entry of that cut
// name, in either order: each is unpacked into a file of its own without a
// question, and the log says under which name. A cut name that was there
// before the run stays as it is.
TEST_F(UnpackJobRun, EntriesWhoseNamesACutMakesEqualAreAllKept) {
  const std::string oemA = Repeat("\xa6", 130) + ".txt", oemB = Repeat("\xa6", 129) + "\xa7.txt",
                    oemCut = Repeat("\xa6", 125) + ".txt";
  const std::string cut = Repeat("ж", 125) + ".txt", cut1 = Repeat("ж", 124) + "~1.txt",
                    cut2 = Repeat("ж", 124) + "~2.txt";
  t.Write("src/" + oemA, "first long");
  t.Write("src/" + oemB, "second long");
  t.Write("src/" + oemCut, "the cut name");
  const std::string ansi = platform::LogName(t / "out/");
  const auto tooLong = [](const std::string& stored, const std::string& as) {
    return "a.zip: " + platform::LogName(stored) + ": the name is too long, unpacked as " +
           platform::LogName(as);
  };
  const std::string takenLine = "a.zip: " + platform::LogName(cut) +
                                ": the name is taken by an entry cut to it, unpacked as " +
                                platform::LogName(cut2);
  struct Case {
    const char* what;
    std::vector<std::string> order;  // the entries as zip stores them
    const char* before;              // the cut name's contents before the run, or nullptr
    std::vector<std::string> files;  // the contents of cut, cut1, cut2 ("" for none)
    Lines notes;
  } cases[] = {
      {"the long names first",
       {oemA, oemB, oemCut},
       nullptr,
       {"first long", "second long", "the cut name"},
       {tooLong(Repeat("ж", 130) + ".txt", cut), tooLong(Repeat("ж", 129) + "з.txt", cut1),
        takenLine}},
      {"the cut name first",
       {oemCut, oemA, oemB},
       nullptr,
       {"the cut name", "first long", "second long"},
       {tooLong(Repeat("ж", 130) + ".txt", cut1), tooLong(Repeat("ж", 129) + "з.txt", cut2)}},
      {"the cut name there before",
       {oemA},
       "there before",
       {"there before", "first long", ""},
       {tooLong(Repeat("ж", 130) + ".txt", cut1)}},
  };
  AddJob("Job", t / "in/*.zip", TUnpackJob::usDelete);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunShell("rm -rf " + Sh(t / "out"));
    if (c.before) t.Write("out/" + cut, c.before);
    std::string names;
    for (const std::string& name : c.order) names += " " + Sh(name);
    ASSERT_EQ(RunShell("cd " + Sh(t / "src") + " && zip -q ../in/a.zip" + names), 0);
    ui.prompter.Clear();
    Unpacker();
    RunOnce();
    EXPECT_EQ(Questions(), Lines{});
    const std::string names3[] = {cut, cut1, cut2};
    for (size_t i = 0; i < 3; ++i) {
      const std::string path = t / "out/" + names3[i];
      EXPECT_EQ(platform::FileExists(path) ? t.Read("out/" + names3[i]) : "", c.files[i]) << i;
    }
    Lines log = {"//Starting Unpack Job//", "*Job*"};
    log.insert(log.end(), c.notes.begin(), c.notes.end());
    log.insert(log.end(),
               {"a.zip unpacked to " + ansi, "a.zip has been deleted", "//Unpack Job completed//"});
    EXPECT_EQ(Texts(), log);
  }
}

TEST_F(UnpackJobRun, MoveToAnotherFileSystem) {
  char shm[] = "/dev/shm/velmaris-move-XXXXXX";
  struct stat a {
  }, b{};
  if (::stat("/dev/shm", &b) != 0 || ::stat(t.Path().c_str(), &a) != 0 || a.st_dev == b.st_dev ||
      !::mkdtemp(shm))
    GTEST_SKIP() << "no second file system";
  struct Remove {
    std::string dir;
    ~Remove() { RunShell("rm -rf " + Sh(dir)); }
  } remove{shm};
  const std::string bytes = ReadFileBytes(Pack("ARJ", "in/a.arj", {SampleText(3000, 6)}));
  AddJob("Inbound", t / "in/*.arj", TUnpackJob::usMove, std::string(shm) + "/");
  RunOnce();
  EXPECT_FALSE(platform::FileExists(t / "in/a.arj"));
  EXPECT_EQ(ReadFileBytes(std::string(shm) + "/a.arj"), bytes);
  EXPECT_EQ(platform::ScanDir(shm, "*").size(), 1u);  // no temporary file left
  EXPECT_EQ(Texts()[3], "a.arj has been moved ");
}

TEST_F(UnpackJobRun, AnArchiveWithoutPackerStopsTheRunAndSwitchesTheTimerOff) {
  t.Write("in/1.bin", "plain text, no archive of any kind");
  Pack("PKZip", "in/2.zip", {"second"});
  Pack("PKZip", "later/x.zip", {"later"});
  AddJob("Inbound", t / "in/*", TUnpackJob::usDelete);
  AddJob("Later", t / "later/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker(10ms);
  u.SetTimerOn(true);
  RunOnce();
  EXPECT_EQ(Texts(), (Lines{"//Starting Unpack Job//", "*Inbound*",
                            "//*Error:*// No  unpack command for " + platform::LogName(t / "in/1.bin"),
                            "//Unpack Job completed//"}));
  EXPECT_EQ(Questions(), (Lines{"The Job Inbound has no unpack command! Automatic unpacking has "
                                "been disabled to help  you fix the problem ."}));
  EXPECT_EQ(disabled, 1);
  EXPECT_FALSE(u.TimerOn());
  EXPECT_EQ(u.Status(), "Aborted !!!!");
  EXPECT_EQ(platform::ScanDir(t / "in").size() + platform::ScanDir(t / "later").size(), 3u);
  EXPECT_FALSE(platform::DirExists(t / "out"));
  EXPECT_EQ(reports.size(), 1u);  // it found files
  // The stopped timer starts nothing more.
  const Lines log = u.Log();
  ui.dispatcher.RunUntil([] { return false; }, 150ms);
  EXPECT_EQ(u.Log(), log);
}

TEST_F(UnpackJobRun, FailuresKeepTheArchiveAndAreReported) {
  const std::string in = t / "in/a.zip";
  struct Case {
    const char* what;
    std::function<std::string()> protect;  // returns the command that undoes it
    std::string error, question;
  } cases[] = {
      {"transfer broken off",
       [&] {
         const std::string whole =
             ReadFileBytes(Pack("PKZip", "whole.zip", {RandomBytes(20000, 5)}));
         t.Write("in/a.zip", whole.substr(0, 10000));
         return std::string("true");
       },
       "//*Error:*// Could a.zip !",
       "The file \"" + in +
           "\" could not be unpacked automatically.  Autmatic Unpacking has been "
           "disabled to help you fix the problem."},
      {"cannot delete",
       [&]() -> std::string {
         Pack("PKZip", "in/a.zip", {"a"});
         // A read-only directory stops others; root needs an immutable file.
         const bool root = ::geteuid() == 0;
         if (RunShell(root ? "chattr +i " + Sh(in) + " 2>/dev/null" : "chmod 555 " + Sh(t / "in")))
           return "";
         return root ? "chattr -i " + Sh(in) : "chmod 755 " + Sh(t / "in");
       },
       "//*Error*//: a.zip could not be deleted",
       "The file \"" + in +
           "\" could not be  deleted. Automatic Unpacking has been disabled to "
           "help you fix the problem."},
  };
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(in.c_str());
    ui.prompter.Clear();
    disabled = 0;
    const std::string undo = c.protect();
    if (undo.empty()) {
      std::cout << "[   INFO   ] cannot protect the archive here\n";
      continue;
    }
    const std::string bytes = ReadFileBytes(in);
    Unpacker();
    RunOnce();
    RunShell(undo);
    EXPECT_EQ(ReadFileBytes(in), bytes);
    const Lines log = Texts();
    EXPECT_EQ(std::count(log.begin(), log.end(), c.error), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](auto& l) { return l.find("has been") != std::string::npos; }),
              0);
    ASSERT_FALSE(Questions().empty());
    EXPECT_EQ(Questions().back(), c.question);
    EXPECT_EQ(disabled, 1);
  }
}

TEST_F(UnpackJobRun, TheTimerRunsOnlyOutsideMailerSessions) {
  Pack("PKZip", "in/a.zip", {"a"});
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker(10ms);
  u.ApplyUnpackOn(1);  // manual
  EXPECT_FALSE(u.TimerOn());
  u.ApplyUnpackOn(0);  // by the timer
  EXPECT_TRUE(u.TimerOn());
  mailerActive = true;
  ui.dispatcher.RunUntil([] { return false; }, 150ms);
  EXPECT_TRUE(u.Log().empty());
  mailerActive = false;
  EXPECT_TRUE(ui.dispatcher.RunUntil([&] { return !reports.empty(); }, 60s));
  u.Wait();
  EXPECT_FALSE(platform::FileExists(t / "in/a.zip"));
  EXPECT_EQ(t.Read("out/F0.PKT"), "a");
}

TEST_F(UnpackJobRun, ExtractionsWaitForTheProcessWideLock) {
  Pack("PKZip", "in/a.zip", {"a"});
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker();
  {
    std::lock_guard held(ExtractionLock());
    ASSERT_TRUE(u.StartUnpack());
    ui.dispatcher.RunUntil([] { return false; }, 200ms);
    EXPECT_FALSE(u.StartUnpack());  // one run at a time
    EXPECT_FALSE(platform::FileExists(t / "out/F0.PKT"));
  }
  u.Wait();
  EXPECT_EQ(t.Read("out/F0.PKT"), "a");
}

}  // namespace
}  // namespace velmaris::test
