// Unpack jobs end to end over a temporary directory with archives made by
// zip and arj: what happens to the archive afterwards, the log, the report,
// failures that switch automatic unpacking off, the timer and the
// process-wide extraction lock.
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveFixtures.h"
#include "PackerFixtures.h"
#include "archive/AutoUnpacker.h"
#include "archive/Unpacker.h"
#include "platform/Files.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

struct Report {
  std::string from, to, subject, origin;
  std::vector<std::string> lines;
};

class UnpackJobRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip") || !HaveTool("arj")) GTEST_SKIP() << "zip and arj are needed";
    packers.AddStandardPackers();
    platform::MakeDirs(t / "in");
  }

  TAutoUnpacker& Unpacker(std::chrono::milliseconds interval = kUnpackTimerInterval) {
    TAutoUnpackHooks hooks;
    hooks.PostReport = [this](const std::string& from, const std::string& to,
                              const std::string& subject, const std::string& origin,
                              const std::vector<std::string>& lines) {
      reports.push_back({from, to, subject, origin, lines});
    };
    hooks.AutoUnpackDisabled = [this] { ++disabled; };
    hooks.MailerSessionActive = [this] { return mailerActive; };
    hooks.ReportWanted = [this] { return reportWanted; };
    unpacker = std::make_unique<TAutoUnpacker>(jobs, packers, std::move(hooks), interval);
    return *unpacker;
  }

  void RunOnce() {
    TAutoUnpacker& u = unpacker ? *unpacker : Unpacker();
    ASSERT_TRUE(u.StartUnpack());
    u.Wait();
    EXPECT_FALSE(u.Busy());
  }

  // The log without its time stamps.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& line : unpacker->Log()) {
      EXPECT_TRUE(std::regex_search(line, std::regex(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\t)")))
          << line;
      out.push_back(line.substr(line.find('\t') + 1));
    }
    return out;
  }

  // Packs the files (name, content) with a standard packer into t/<archive>.
  std::string Pack(const char* packer, const std::string& archive,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    platform::MakeDirs(platform::DirOf(t / archive));
    for (const auto& [name, content] : files) {
      t.Write("src/" + name, content);
      EXPECT_TRUE(packers.PackerByName(packer)->Pack(t / archive, t / ("src/" + name)));
    }
    return t / archive;
  }

  void AddJob(const std::string& name, const std::string& mask, int32_t source,
              const std::string& moveDir = {}) {
    jobs.AddJob(name, std::make_unique<TUnpackJob>(mask, t / "out/", moveDir, source));
  }

  std::vector<std::string> Questions() const {
    std::vector<std::string> out;
    for (const auto& q : ui.prompter.Questions()) out.push_back(q.text);
    return out;
  }

  ScopedUi ui;
  TempDir t;
  TPckList packers;
  TUnpJobList jobs;
  std::unique_ptr<TAutoUnpacker> unpacker;
  std::vector<Report> reports;
  int disabled = 0;
  bool mailerActive = false;
  bool reportWanted = true;
};

TEST_F(UnpackJobRun, NoFilesNoReport) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> jobs;  // name, mask below t
    std::vector<std::string> log;
  } cases[] = {
      {"no jobs", {}, {"//Starting Unpack Job//", "//Unpack Job completed//"}},
      {"empty and missing directories",
       {{"Empty", "in/*.zip"}, {"Nowhere", "missing/*.zip"}},
       {"//Starting Unpack Job//", "*Empty*", "No files to unpack", "*Nowhere*",
        "No files to unpack", "//Unpack Job completed//"}},
      {"mask without a file part", {{"Dir", "in/"}},
       {"//Starting Unpack Job//", "*Dir*", "No files to unpack", "//Unpack Job completed//"}},
  };
  t.Write("in/a.arj.txt", "not matched by *.zip");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    jobs.Clear();
    for (const auto& [name, mask] : c.jobs) AddJob(name, t / mask, TUnpackJob::usDelete);
    Unpacker().SetTimerOn(true);
    RunOnce();
    EXPECT_EQ(Texts(), c.log);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(disabled, 0);
    EXPECT_TRUE(unpacker->TimerOn());
    EXPECT_TRUE(Questions().empty());
  }
}

TEST_F(UnpackJobRun, WhatHappensToTheArchive) {
  struct Case {
    const char* what;
    int32_t source;
    const char* moveDir;  // below t; "-" for none
    bool report;          // the report setting
    bool stays, moved, off;
    std::vector<std::string> tail;  // the log after "a.zip unpacked to ..."
  } cases[] = {
      {"delete", 0, "-", true, false, false, false, {"a.zip has been deleted"}},
      {"move", 1, "old/", true, false, true, false, {"a.zip has been moved "}},
      {"move, directory without slash", 1, "old", false, false, true, false,
       {"a.zip has been moved "}},
      {"keep", 2, "-", true, true, false, false, {}},
      {"keep, any other value", -7, "old/", false, true, false, false, {}},
      {"move into a missing directory", 1, "gone/", true, true, false, true,
       {"//*Error*//: a.zip could not be moved", "a.zip stays in IN (the directory does not exist)"}},
      {"move without a directory", 1, "-", true, true, false, true,
       {"//*Error*//: a.zip could not be moved", "a.zip stays in IN (no directory to move to is set)"}},
      {"move onto itself", 1, "in/", true, true, false, true,
       {"//*Error*//: a.zip could not be moved", "a.zip stays in IN (it is in that directory already)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    t.Write("old/.keep", "");
    const std::string archive = Pack("PKZip", "in/a.zip", {{"A.PKT", SampleText(5000, 1)},
                                                            {"B.PKT", RandomBytes(700, 2)}});
    const std::string zipBytes = t.Read("in/a.zip");
    jobs.Clear();
    AddJob("Job", t / "in/*.ZIP", c.source, std::string(c.moveDir) == "-" ? "" : t / c.moveDir);
    reportWanted = c.report;
    reports.clear();
    disabled = 0;
    ui.prompter.Clear();
    Unpacker().SetTimerOn(true);
    RunOnce();

    EXPECT_EQ(t.Read("out/A.PKT"), SampleText(5000, 1));
    EXPECT_EQ(t.Read("out/B.PKT"), RandomBytes(700, 2));
    EXPECT_EQ(platform::FileExists(archive), c.stays);
    EXPECT_EQ(platform::FileExists(t / "old/a.zip"), c.moved);
    if (c.moved) {
      EXPECT_EQ(t.Read("old/a.zip"), zipBytes);
    }
    EXPECT_FALSE(platform::DirExists(t / "gone"));

    std::vector<std::string> log = {"//Starting Unpack Job//", "*Job*",
                                    "a.zip unpacked to " + t / "out/"};
    for (std::string line : c.tail) {
      if (const size_t at = line.find("IN"); at != std::string::npos) line.replace(at, 2, t / "in/");
      log.push_back(line);
    }
    log.push_back("//Unpack Job completed//");
    EXPECT_EQ(Texts(), log);

    EXPECT_EQ(disabled, c.off ? 1 : 0);
    EXPECT_EQ(unpacker->TimerOn(), !c.off);
    EXPECT_EQ(unpacker->Status(), c.off ? "Aborted !!!!" : "");
    ASSERT_EQ(Questions().size(), c.off ? 1u : 0u);
    if (c.off) {
      EXPECT_EQ(Questions()[0].rfind("The file \"" + archive + "\" could not be moved to ", 0), 0u);
      EXPECT_EQ(ui.prompter.Questions()[0].kind, platform::MsgKind::Error);
    }
    ASSERT_EQ(reports.size(), c.report ? 1u : 0u);
    if (c.report) {
      EXPECT_EQ(reports[0].from, "Automatic Unpacker");
      EXPECT_EQ(reports[0].to, "Sysop");
      EXPECT_EQ(reports[0].subject, "Unpack Log");
      EXPECT_EQ(reports[0].origin, "The Velmaris 95 Automatic Unpacker");
      EXPECT_EQ(reports[0].lines, unpacker->Log());
    }
    RunShell("rm -rf " + Sh(t / "in") + " " + Sh(t / "out") + " " + Sh(t / "old") + " && mkdir " +
             Sh(t / "in"));
  }
}

TEST_F(UnpackJobRun, ZipAndArjInOneJobInNameOrder) {
  Pack("ARJ", "in/b.arj", {{"FROMARJ.PKT", SampleText(9000, 3)}});
  Pack("PKZip", "in/a.zip", {{"FROMZIP.PKT", SampleText(4000, 4)}});
  AddJob("Bundles", t / "in/*", TUnpackJob::usDelete);
  RunOnce();
  EXPECT_EQ(t.Read("out/FROMARJ.PKT"), SampleText(9000, 3));
  EXPECT_EQ(t.Read("out/FROMZIP.PKT"), SampleText(4000, 4));
  EXPECT_TRUE(platform::ScanDir(t / "in").empty());
  const std::string out = t / "out/";
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         "//Starting Unpack Job//", "*Bundles*", "a.zip unpacked to " + out,
                         "a.zip has been deleted", "b.arj unpacked to " + out,
                         "b.arj has been deleted", "//Unpack Job completed//"}));
  EXPECT_EQ(reports.size(), 1u);
}

TEST_F(UnpackJobRun, AnArchiveWithoutPackerStopsTheRunAndSwitchesTheTimerOff) {
  t.Write("in/1.bin", "plain text, no archive of any kind");
  Pack("PKZip", "in/2.zip", {{"SECOND.PKT", "second"}});
  Pack("PKZip", "later/x.zip", {{"LATER.PKT", "later"}});
  AddJob("Inbound", t / "in/*", TUnpackJob::usDelete);
  AddJob("Later", t / "later/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker(10ms);
  u.SetTimerOn(true);
  RunOnce();

  EXPECT_EQ(Texts(), (std::vector<std::string>{"//Starting Unpack Job//", "*Inbound*",
                                               "//*Error:*// No  unpack command for " + t / "in/1.bin",
                                               "//Unpack Job completed//"}));
  EXPECT_EQ(Questions(), (std::vector<std::string>{
                             "The Job Inbound has no unpack command! Automatic unpacking has been "
                             "disabled to help  you fix the problem ."}));
  EXPECT_EQ(disabled, 1);
  EXPECT_FALSE(u.TimerOn());
  EXPECT_EQ(u.Status(), "Aborted !!!!");
  EXPECT_TRUE(platform::FileExists(t / "in/1.bin"));
  EXPECT_TRUE(platform::FileExists(t / "in/2.zip"));
  EXPECT_TRUE(platform::FileExists(t / "later/x.zip"));
  EXPECT_FALSE(platform::DirExists(t / "out"));
  EXPECT_EQ(reports.size(), 1u);  // it found files

  // The stopped timer starts nothing more.
  const auto log = u.Log();
  ui.dispatcher.RunUntil([] { return false; }, 150ms);
  EXPECT_FALSE(u.Busy());
  EXPECT_EQ(u.Log(), log);
}

TEST_F(UnpackJobRun, AnArchiveThatFailsToUnpackIsKeptAndReported) {
  // A bundle whose transfer broke off half way.
  Pack("PKZip", "whole.zip", {{"A.PKT", RandomBytes(20000, 5)}});
  const std::string bad = t.Read("whole.zip").substr(0, 10000);
  t.Write("in/bad.zip", bad);
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  RunOnce();
  EXPECT_EQ(t.Read("in/bad.zip"), bad);
  const auto log = Texts();
  EXPECT_NE(std::find(log.begin(), log.end(), "//*Error:*// Could bad.zip !"), log.end());
  for (const auto& line : log) {
    EXPECT_EQ(line.find("unpacked to"), std::string::npos) << line;
    EXPECT_EQ(line.find("deleted"), std::string::npos) << line;
  }
  ASSERT_FALSE(Questions().empty());
  EXPECT_EQ(Questions().back(), "The file \"" + t / "in/bad.zip" +
                                    "\" could not be unpacked automatically.  Autmatic Unpacking "
                                    "has been disabled to help you fix the problem.");
  EXPECT_EQ(disabled, 1);
}

TEST_F(UnpackJobRun, AnArchiveThatCannotBeDeletedIsReported) {
  Pack("PKZip", "in/a.zip", {{"A.PKT", "a"}});
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  // A read-only directory stops others; root needs an immutable file.
  const bool root = ::geteuid() == 0;
  const std::string in = Sh(t / "in"), zip = Sh(t / "in/a.zip");
  if (RunShell(root ? "chattr +i " + zip + " 2>/dev/null" : "chmod 555 " + in) != 0)
    GTEST_SKIP() << "cannot protect the archive here";
  struct Unprotect {
    std::string command;
    ~Unprotect() { RunShell(command); }
  } unprotect{root ? "chattr -i " + zip : "chmod 755 " + in};
  RunOnce();
  EXPECT_TRUE(platform::FileExists(t / "in/a.zip"));
  const auto log = Texts();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "//*Error*//: a.zip could not be deleted");
  EXPECT_EQ(Questions(), (std::vector<std::string>{
                             "The file \"" + t / "in/a.zip" +
                             "\" could not be  deleted. Automatic Unpacking has been disabled to "
                             "help you fix the problem."}));
  EXPECT_EQ(disabled, 1);
}

TEST_F(UnpackJobRun, TheTimerRunsOnlyOutsideMailerSessions) {
  Pack("PKZip", "in/a.zip", {{"A.PKT", "a"}});
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker(10ms);
  u.ApplyUnpackOn(1);  // manual
  EXPECT_FALSE(u.TimerOn());
  u.ApplyUnpackOn(0);  // by the timer
  EXPECT_TRUE(u.TimerOn());

  mailerActive = true;
  ui.dispatcher.RunUntil([] { return false; }, 150ms);
  EXPECT_TRUE(u.Log().empty());
  EXPECT_TRUE(platform::FileExists(t / "in/a.zip"));

  mailerActive = false;
  EXPECT_TRUE(ui.dispatcher.RunUntil([&] { return !reports.empty(); }, 10s));
  u.Wait();
  EXPECT_FALSE(platform::FileExists(t / "in/a.zip"));
  EXPECT_EQ(t.Read("out/A.PKT"), "a");
  EXPECT_TRUE(u.TimerOn());
}

TEST_F(UnpackJobRun, ExtractionsWaitForTheProcessWideLock) {
  Pack("PKZip", "in/a.zip", {{"A.PKT", "a"}});
  AddJob("Inbound", t / "in/*.zip", TUnpackJob::usDelete);
  TAutoUnpacker& u = Unpacker();
  {
    std::lock_guard held(ExtractionLock());
    ASSERT_TRUE(u.StartUnpack());
    ui.dispatcher.RunUntil([] { return false; }, 200ms);
    EXPECT_TRUE(u.Busy());
    EXPECT_FALSE(u.StartUnpack());  // one run at a time
    EXPECT_FALSE(platform::FileExists(t / "out/A.PKT"));
  }
  u.Wait();
  EXPECT_EQ(t.Read("out/A.PKT"), "a");
  EXPECT_FALSE(platform::FileExists(t / "in/a.zip"));
}

}  // namespace
}  // namespace velmaris::test
