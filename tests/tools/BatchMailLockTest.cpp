// One lock guards the mail wherever it lives: after the first start the
// registry names the folders by absolute paths, so a batch run from another
// start directory (a cron job in $HOME, VELMARIS_HOME set elsewhere) works on
// the program's message base and area list, and must wait for it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/logic/Startup.h"
#include "core/ConfigStore.h"
#include "core/MailLock.h"
#include "core/RunJournal.h"
#include "core/WinRegistry.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/DupeChecker.h"
#include "processing/PacketFixtures.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class BatchMailLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDispatcher(&dispatcher_);
    // The first start: the program in its start directory saves the
    // configuration, which names every folder by its absolute path.
    platform::Registry registry(Reg());
    TConfigStore store(Program(), registry);
    store.LoadConfiguration();
    TNetLink* link = store.Uplinks().GetItem(0);
    link->UplinkAddress.SetText("2:5030/1");
    link->SysopAddress.SetText("2:5020/1042.7");
    ASSERT_TRUE(store.SaveConfiguration());
    ASSERT_EQ(registry.ReadString(std::string(kConfigRootKey) + "\\Paths", "Messagebase"),
              Program() + "Msgbase/");
  }
  void TearDown() override { platform::SetDispatcher(nullptr); }

  std::string Program() const { return dir_.Path() + "Velmaris/"; }
  std::string Home() const { return dir_.Path() + "home/"; }
  std::string Reg() const { return dir_.Path() + "config/Velmaris.reg"; }
  std::string MsgBase() const { return Program() + "Msgbase/"; }

  std::string Command(const std::string& start, const std::string& args) const {
    return runAs_ + ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(start) + " --registry " +
           ShellQuote(Reg()) + " " + args;
  }
  int Batch(const std::string& start, const std::string& args, std::string* out = nullptr,
            std::string* err = nullptr) {
    const std::string errFile = dir_ / "stderr.txt";
    const int rc = RunShell(Command(start, args) + " 2>" + ShellQuote(errFile), out);
    if (err) *err = platform::ReadFile(errFile);
    return rc;
  }
  pid_t Spawn(const std::string& start, const std::string& args) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl("/bin/sh", "sh", "-c", ("exec " + Command(start, args)).c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
  static int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string Write(const std::string& area) {
    return "write " + ShellQuote(area) + " --from Ivan --to All --subject " + ShellQuote(area);
  }
  // The names of the areas the registry lists.
  std::vector<std::string> Areas() {
    std::vector<std::string> names;
    std::string out;
    EXPECT_EQ(Batch(Program(), "areas", &out), 0);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find("\"name\":\"") + 8;
      names.push_back(line.substr(at, line.find('"', at) - at));
    }
    return names;
  }
  bool Listed(const std::string& area) {
    const auto names = Areas();
    return std::find(names.begin(), names.end(), area) != names.end();
  }
  // A packet with one echomail into the program's inbound.
  void DropEcho(const std::string& tag, const std::string& name,
                const std::string& msgid = "0badcafe") {
    PackedFields s;
    s.origNode = 1;
    s.origNet = 5030;
    s.to = "All";
    s.from = "Joe Remote";
    s.subject = "cron";
    s.text = "AREA:" + tag + "\r\x01MSGID: 2:5030/1 " + msgid +
             "\rText.\r--- x\r * Origin: R (2:5030/1)\r";
    platform::WriteFileAtomic(Program() + "Inbound/" + name,
                              PacketOf(PeerHeader(), PackedMessage(s)));
  }

  // How many messages an area holds.
  size_t Stored(const std::string& area) {
    std::string out;
    EXPECT_EQ(Batch(Program(), "dump " + ShellQuote(area), &out), 0);
    return static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
  }

  TempDir dir_;
  platform::PlainDispatcher dispatcher_;
  platform::ScriptedPrompter prompter_;
  std::string runAs_;  // a command that runs the batch as another user
};

// Which runs exclude each other: any two that share the start directory,
// the registry or the message base folder the registry names.
TEST_F(BatchMailLockTest, RunsThatShareAnyPartOfTheMailExcludeEachOther) {
  const std::string copy = dir_.Path() + "copy/Velmaris.reg";
  platform::MakeDirs(dir_.Path() + "copy");
  platform::WriteFileAtomic(copy, platform::ReadFile(Reg()));
  const std::string fresh = dir_.Path() + "fresh/Velmaris.reg";
  struct Case {
    const char* what;
    std::string start, registry;
    bool excluded;
  } cases[] = {
      {"the same start directory and registry", Program(), Reg(), true},
      {"a cron job in $HOME with the same registry", Home(), Reg(), true},
      {"VELMARIS_HOME elsewhere with the same registry", dir_.Path() + "elsewhere/", Reg(), true},
      {"a copy of the registry naming the same message base", Home(), copy, true},
      {"the same start directory with a fresh registry", Program(), fresh, true},
      {"nothing shared", Home(), fresh, false},
  };
  TMailLock program(Program(), Reg());
  ASSERT_EQ(program.Acquire(), TMailLock::Result::Acquired);
  EXPECT_EQ(program.MessageBaseDir(), MsgBase());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMailLock run(c.start, c.registry);
    EXPECT_EQ(run.Acquire(),
              c.excluded ? TMailLock::Result::AlreadyRunning : TMailLock::Result::Acquired);
    // All or none: a run that must wait holds nothing.
    if (c.excluded) {
      for (const std::string& path : run.Paths()) {
        platform::InstanceGuard probe(path);
        if (std::find(program.Paths().begin(), program.Paths().end(), path) ==
            program.Paths().end()) {
          EXPECT_NE(probe.Acquire(), platform::InstanceGuard::Result::AlreadyRunning) << path;
        }
      }
    }
  }
}

// The holder names another message base folder before it ends: the run
// that waited guards the new one.
TEST_F(BatchMailLockTest, AMessageBaseMovedByTheHolderIsTheOneTheNextRunLocks) {
  auto program = std::make_unique<TMailLock>(Program(), Reg());
  ASSERT_EQ(program->Acquire(), TMailLock::Result::Acquired);
  TMailLock cron(Home(), Reg());
  EXPECT_EQ(cron.MessageBaseDir(), MsgBase());
  const std::string moved = dir_.Path() + "Почта/Msgbase/";
  {
    platform::Registry registry(Reg());
    TWinRegistry root(kConfigRootKey, registry);
    root.WriteString("Paths", "Messagebase", moved);
  }
  EXPECT_EQ(cron.Acquire(), TMailLock::Result::AlreadyRunning);  // the registry is held
  program.reset();
  ASSERT_EQ(cron.Acquire(), TMailLock::Result::Acquired);
  EXPECT_EQ(cron.MessageBaseDir(), moved);
  platform::InstanceGuard probe(platform::InstanceGuard::StartDirectoryPath(moved));
  EXPECT_EQ(probe.Acquire(), platform::InstanceGuard::Result::AlreadyRunning);
}

// The everyday case: the program runs, cron starts an import from $HOME.
// The import waits; when the program has saved its own area list and
// ended, it stores into the program's message base, and both the
// program's new area and the imported one stay listed.
TEST_F(BatchMailLockTest, ACronImportBesideTheRunningProgramWaitsAndLosesNoArea) {
  platform::MakeDirs(Home());
  DropEcho("CRON.ECHO", "0000c001.pkt");
  auto lock = std::make_unique<TMailLock>(Program(), Reg());
  ASSERT_TRUE(TakeStartDirectory(*lock, prompter_));
  auto registry = std::make_unique<platform::Registry>(Reg());
  auto store = std::make_unique<TConfigStore>(Program(), *registry);
  store->LoadConfiguration();

  for (const char* command : {"import", "write CRON.WRITE --from a --to b --subject c"}) {
    SCOPED_TRACE(command);
    std::string err;
    EXPECT_EQ(Batch(Home(), std::string("--wait 0 ") + command, nullptr, &err), 1);
    EXPECT_NE(err.find("is in use by another run of Velmaris"), std::string::npos) << err;
  }
  EXPECT_TRUE(platform::FileExists(Program() + "Inbound/0000c001.pkt"));
  EXPECT_FALSE(platform::DirExists(Home() + "Msgbase"));

  const pid_t import = Spawn(Home(), "--wait 600 import");
  const pid_t write = Spawn(Home(), "--wait 600 " + Write("CRON.WRITE"));
  // Give the runs time to reach the lock (the outcome must hold either way).
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // The program makes an area of its own, saves its list and ends.
  ASSERT_NE(store->AddAreaQuiet("PROGRAM.ECHO", "PROGRAM.ECHO", AreaTypeCode::Echomail, nullptr),
            nullptr);
  ASSERT_TRUE(store->SaveAndClose());
  store.reset();
  registry.reset();
  lock.reset();

  EXPECT_EQ(Reap(import), 0);
  EXPECT_EQ(Reap(write), 0);
  for (const char* area : {"PROGRAM.ECHO", "CRON.ECHO", "CRON.WRITE"})
    EXPECT_TRUE(Listed(area)) << area;
  std::string dump;
  EXPECT_EQ(Batch(Program(), "dump CRON.ECHO", &dump), 0);
  EXPECT_NE(dump.find("\"subject\":\"cron\""), std::string::npos) << dump;
  EXPECT_FALSE(platform::FileExists(Program() + "Inbound/0000c001.pkt"));
  // Nothing went below the cron job's own folder.
  EXPECT_FALSE(platform::DirExists(Home() + "Msgbase"));
  EXPECT_FALSE(platform::DirExists(Home() + "Inbound"));
}

// A run that is refused the lock leaves the registry file as it was, byte
// for byte and with its time, though it holds a path an earlier version
// stored in the ANSI page.
TEST_F(BatchMailLockTest, ARefusedRunLeavesTheRegistryFileAsItWas) {
  {
    platform::Registry registry(Reg());
    TWinRegistry root(kConfigRootKey, registry);
    root.WriteString("Paths", "Inbound", Program() + "\xC2\xF5\xEE\xE4/");  // "Вход", CP1251
  }
  const std::string bytes = platform::ReadFile(Reg());
  struct stat before {};
  ASSERT_EQ(::stat(Reg().c_str(), &before), 0);
  TMailLock program(Program(), Reg());
  ASSERT_EQ(program.Acquire(), TMailLock::Result::Acquired);
  for (const char* command : {"areas", "import", "dump NETMAIL"}) {
    SCOPED_TRACE(command);
    std::string err;
    EXPECT_EQ(Batch(Home(), std::string("--wait 0 ") + command, nullptr, &err), 1);
    EXPECT_NE(err.find("is in use by another run of Velmaris"), std::string::npos) << err;
  }
  struct stat after {};
  ASSERT_EQ(::stat(Reg().c_str(), &after), 0);
  EXPECT_EQ(platform::ReadFile(Reg()), bytes);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // Under the lock the folder is used as it is read, and the stored bytes
  // stay: the folder "Вход" in CP1251 names nothing only for now.
  program.Release();
  std::string err;
  EXPECT_EQ(Batch(Home(), "write NETMAIL --from a --to b --subject c", nullptr, &err), 0) << err;
  EXPECT_TRUE(platform::DirExists(Program() + "Вход/"));
  platform::Registry registry(Reg());
  EXPECT_EQ(registry.ReadString(std::string(kConfigRootKey) + "\\Paths", "Inbound"),
            Program() + "\xC2\xF5\xEE\xE4/");
}

// VELMARIS_HOME set to another folder after the first start: the program
// started there while a cron import runs is told and ends.
TEST_F(BatchMailLockTest, TheProgramFromAnotherHomeIsRefusedWhileABatchRunHoldsTheMail) {
  TMailLock batch(Home(), Reg());
  ASSERT_EQ(batch.Acquire(), TMailLock::Result::Acquired);
  TMailLock program(dir_.Path() + "elsewhere/", Reg());
  EXPECT_FALSE(TakeStartDirectory(program, prompter_));
  ASSERT_EQ(prompter_.Questions().size(), 1u);
  EXPECT_NE(prompter_.Questions()[0].text.find("(message base " + MsgBase() + ")"),
            std::string::npos)
      << prompter_.Questions()[0].text;
  batch.Release();
  EXPECT_TRUE(TakeStartDirectory(program, prompter_));
}

// Two batch runs at once with different --dir and one registry: each new
// area stays listed, each message stored in the one message base.
TEST_F(BatchMailLockTest, BatchRunsFromDifferentFoldersOnOneRegistryTakeTurns) {
  std::vector<pid_t> runs;
  for (int i = 0; i < 6; ++i) {
    runs.push_back(Spawn(Program(), Write("PROGRAM.DIR." + std::to_string(i))));
    runs.push_back(Spawn(Home(), Write("HOME.DIR." + std::to_string(i))));
  }
  for (pid_t pid : runs) EXPECT_EQ(Reap(pid), 0);
  for (int i = 0; i < 6; ++i)
    for (const char* prefix : {"PROGRAM.DIR.", "HOME.DIR."}) {
      const std::string area = prefix + std::to_string(i);
      EXPECT_TRUE(Listed(area)) << area;
      std::string dump;
      EXPECT_EQ(Batch(Home(), "dump " + ShellQuote(area), &dump), 0);
      EXPECT_NE(dump.find("\"subject\":\"" + area + "\""), std::string::npos) << area;
    }
  EXPECT_FALSE(platform::DirExists(Home() + "Msgbase"));
}

// The duplicate database belongs to the message base: a packet the program
// imported and a cron job from $HOME imports again is stored once. The
// database an earlier version kept in every start directory is taken over
// once: moved there, or merged into it.
TEST_F(BatchMailLockTest, OneDuplicateDatabaseServesEveryStartDirectory) {
  platform::MakeDirs(Home());
  const std::string inBase = MsgBase() + "Velmaris.Dupes";
  DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
  ASSERT_EQ(Batch(Program(), "import"), 0);
  DropEcho("DUPE.ECHO", "0000d002.pkt", "00000001");
  ASSERT_EQ(Batch(Home(), "import"), 0);
  EXPECT_EQ(Stored("DUPE.ECHO"), 1u);
  EXPECT_TRUE(platform::FileExists(inBase));
  EXPECT_FALSE(platform::FileExists(Program() + "Velmaris.Dupes"));
  EXPECT_FALSE(platform::FileExists(Home() + "Velmaris.Dupes"));

  // An earlier version's database in the program's start directory.
  ASSERT_TRUE(platform::RenameNoReplace(inBase, Program() + "Velmaris.Dupes"));
  const std::string older = platform::ReadFile(Program() + "Velmaris.Dupes");
  DropEcho("DUPE.ECHO", "0000d003.pkt", "00000001");
  ASSERT_EQ(Batch(Program(), "import"), 0);
  EXPECT_EQ(Stored("DUPE.ECHO"), 1u);
  EXPECT_FALSE(platform::FileExists(Program() + "Velmaris.Dupes"));
  ASSERT_TRUE(platform::FileExists(inBase));
  // Another start folder's, which knows a packet the base has not seen:
  // merged, so that packet sent again is a duplicate.
  DropEcho("DUPE.ECHO", "0000d004.pkt", "00000002");
  ASSERT_EQ(Batch(Home(), "import"), 0);
  EXPECT_EQ(Stored("DUPE.ECHO"), 2u);
  ASSERT_TRUE(platform::RenameNoReplace(inBase, Home() + "Velmaris.Dupes"));
  platform::WriteFileAtomic(inBase, older);
  DropEcho("DUPE.ECHO", "0000d005.pkt", "00000002");
  ASSERT_EQ(Batch(Home(), "import"), 0);
  EXPECT_EQ(Stored("DUPE.ECHO"), 2u);
  EXPECT_FALSE(platform::FileExists(Home() + "Velmaris.Dupes"));
  // Any run that takes the base's lock merges it, also one that imports
  // nothing.
  for (const char* command : {"areas", "export", "maintain", "dump NETMAIL"}) {
    SCOPED_TRACE(command);
    const std::string known = platform::ReadFile(inBase);
    ASSERT_TRUE(platform::RenameNoReplace(inBase, Home() + "Velmaris.Dupes"));
    platform::WriteFileAtomic(inBase, older);
    ASSERT_EQ(Batch(Home(), command), 0);
    EXPECT_FALSE(platform::PathExists(Home() + "Velmaris.Dupes"));
    TDupeChecker expected, merged(inBase);
    merged.Forget();
    ASSERT_TRUE(expected.Decode(known, nullptr));
    EXPECT_EQ(merged.Keys(), expected.Keys());
  }
}

// A duplicate database that exists but cannot be read (an earlier
// version's root cron job left it, mode 600, in the base or in a start
// folder whose database is merged; a folder in its place; a link into a
// drive that is not mounted; a FIFO) is no first start: the import says so
// on stderr and in its log, stores nothing, leaves the packet in the
// inbound and the database as it was, so the packet sent again is not
// stored twice once it can be read.
TEST_F(BatchMailLockTest, ADuplicateDatabaseThatCannotBeReadStopsTheImport) {
  const std::string inBase = MsgBase() + kDupesFileName;
  const std::string inHome = Home() + kDupesFileName;
  DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
  ASSERT_EQ(Batch(Program(), "import"), 0);
  ASSERT_EQ(Stored("DUPE.ECHO"), 1u);
  const std::string keys = platform::ReadFile(inBase);
  platform::MakeDirs(Home());
  enum Kind { OtherUser, Folder, DanglingLink, Fifo, OlderOfOtherUser };
  const struct {
    const char* what;
    Kind kind;
  } rows[] = {
      {"another user's, mode 600", OtherUser},
      {"a folder in its place", Folder},
      {"a link into a drive that is not mounted", DanglingLink},
      {"a FIFO in its place", Fifo},
      {"an older start folder's of another user, mode 600", OlderOfOtherUser},
  };
  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  const bool asNobody =
      geteuid() == 0 && RunShell(nobody + "test -x " + ShellQuote(VELMARIS_BATCH)) == 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const bool older = r.kind == OlderOfOtherUser;
    const std::string bad = older ? inHome : inBase;
    const std::string start = older ? Home() : Program();
    std::string undo;
    if (r.kind == OtherUser || older) {
      if (older) platform::WriteFileAtomic(inHome, keys);
      if (asNobody) {
        // Root reads every file: the run is made as nobody, who owns all
        // but the database.
        ASSERT_EQ(RunShell("chown -R 65534:65534 " + ShellQuote(dir_.Path()) + " && chown 0:0 " +
                           ShellQuote(bad) + " && chmod 600 " + ShellQuote(bad)),
                  0);
        runAs_ = nobody;
        undo = "chown -R 0:0 " + ShellQuote(dir_.Path());
      } else if (geteuid() != 0) {
        ASSERT_EQ(chmod(bad.c_str(), 0), 0);
        undo = "chmod 644 " + ShellQuote(bad);
      } else {
        continue;  // no way to be another user here
      }
      if (older) undo += " && rm " + ShellQuote(inHome);
    } else {
      ASSERT_TRUE(platform::RenameNoReplace(inBase, dir_.Path() + "keys"));
      if (r.kind == Folder) platform::MakeDirs(inBase);
      if (r.kind == DanglingLink) {
        ASSERT_EQ(symlink((dir_.Path() + "Диск/Velmaris.Dupes").c_str(), inBase.c_str()), 0);
      }
      if (r.kind == Fifo) {
        ASSERT_EQ(mkfifo(inBase.c_str(), 0600), 0);
        // A run that waits on the FIFO is ended, after a generous limit.
        runAs_ = "timeout -s KILL 300 ";
      }
      undo = "rm -rf " + ShellQuote(inBase) + " && mv " + ShellQuote(dir_.Path() + "keys") + " " +
             ShellQuote(inBase);
    }
    DropEcho("DUPE.ECHO", "0000d002.pkt", "00000001");
    std::string out, err;
    EXPECT_EQ(Batch(start, "import", &out, &err), 1) << out << err;
    runAs_.clear();
    struct stat st {};
    ASSERT_EQ(lstat(bad.c_str(), &st), 0);
    EXPECT_TRUE(r.kind == Folder         ? S_ISDIR(st.st_mode)
                : r.kind == DanglingLink ? S_ISLNK(st.st_mode)
                : r.kind == Fifo         ? S_ISFIFO(st.st_mode)
                                         : S_ISREG(st.st_mode));
    if (older) {
      EXPECT_EQ(platform::ReadFile(inHome), keys);
    }
    ASSERT_EQ(RunShell(undo), 0);
    // Said in the terminal's UTF-8, with the folder's Russian name: once
    // as the run finds it, once as why it stops.
    EXPECT_NE(err.find(bad + " cannot be read"), std::string::npos) << err;
    size_t said = 0;
    for (size_t at = 0; (at = err.find(bad + " cannot be read", at)) != std::string::npos; ++at)
      ++said;
    EXPECT_EQ(said, 2u) << err;
    EXPECT_NE(out.find("cannot be read"), std::string::npos) << out;
    EXPECT_TRUE(platform::FileExists(Program() + "Inbound/0000d002.pkt"));
    EXPECT_EQ(platform::ReadFile(inBase), keys);
    EXPECT_EQ(Stored("DUPE.ECHO"), 1u);
    // Readable again, the packet is known.
    ASSERT_EQ(Batch(Program(), "import"), 0);
    EXPECT_EQ(Stored("DUPE.ECHO"), 1u);
  }
}

// A damaged duplicate database (cut short by a full disk, emptied) gives
// the keys it still holds; the import goes on with them, and the damaged
// file is kept beside.
TEST_F(BatchMailLockTest, ADamagedDuplicateDatabaseKeepsTheKeysItHolds) {
  const std::string inBase = MsgBase() + kDupesFileName;
  DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
  ASSERT_EQ(Batch(Program(), "import"), 0);
  ASSERT_EQ(Stored("DUPE.ECHO"), 1u);
  const struct {
    const char* what;
    size_t keep;  // bytes left of the database
    size_t stored;
    const char* kept;
  } rows[] = {
      {"cut short after its first key", 13, 1, "Velmaris.Dupes.0001.damaged"},
      {"empty", 0, 2, "Velmaris.Dupes.0002.damaged"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string cut = platform::ReadFile(inBase).substr(0, r.keep);
    platform::WriteFileAtomic(inBase, cut);
    DropEcho("DUPE.ECHO", "0000d002.pkt", "00000001");
    std::string out, err;
    EXPECT_EQ(Batch(Program(), "import", &out, &err), 0) << out << err;
    EXPECT_EQ(Stored("DUPE.ECHO"), r.stored);
    EXPECT_EQ(platform::ReadFile(MsgBase() + r.kept), cut);
    EXPECT_NE(err.find(inBase + " is damaged"), std::string::npos) << err;
    EXPECT_NE(out.find("keys it still holds are used"), std::string::npos) << out;
    EXPECT_NE(err.find(std::string("kept as ") + MsgBase() + r.kept), std::string::npos) << err;
    EXPECT_EQ(platform::ReadFile(inBase).size(), TDupeChecker::kFileSize);
  }
}

// The message base folder the registry names holds none of the areas'
// files any more (moved by hand, a drive away): the runs say so in their
// log lines and on stderr (in UTF-8, naming the folder), naming the areas
// whose record says they held messages, whatever opened or read them
// before, also when the folder still holds the lock and the duplicate
// database. Such a base is out of reach: no run stores anything there (a
// packet sent again waits in the inbound, no duplicate database is made),
// each exits with 1.
TEST_F(BatchMailLockTest, AVanishedMessageBaseIsSaidInTheLogLines) {
  const struct {
    const char* what;
    std::vector<std::string> before;  // the runs before the folder went
    const char* area;                 // the area named
  } rows[] = {
      {"imported", {"import"}, "DUPE.ECHO"},
      {"imported, then every area opened by a maintenance", {"import", "maintain"}, "DUPE.ECHO"},
      {"only NETMAIL, written", {Write("NETMAIL")}, "NETMAIL"},
  };
  int n = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    if (n > 0) {  // a first start again
      std::filesystem::remove_all(Program());
      std::filesystem::remove(Reg());
      SetUp();
    }
    if (r.before.front() == "import") DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
    for (const std::string& command : r.before) ASSERT_EQ(Batch(Program(), command), 0) << command;
    const std::string away = dir_.Path() + "away " + std::to_string(++n);
    ASSERT_TRUE(platform::RenameNoReplace(platform::WithoutSlash(MsgBase()), away));
    const std::string named = std::string("had messages (") + r.area + "): was it moved";
    for (const bool withDupes : {true, false}) {
      SCOPED_TRACE(withDupes ? "the lock and the duplicate database left" : "empty");
      std::filesystem::remove_all(MsgBase());
      platform::MakeDirs(MsgBase());
      const bool dupesLeft = withDupes && platform::FileExists(away + "/" + kDupesFileName);
      if (dupesLeft)
        platform::WriteFileAtomic(MsgBase() + kDupesFileName,
                                  platform::ReadFile(away + "/" + kDupesFileName));
      // The packet comes again.
      const bool resent = r.before.front() == "import";
      if (resent) DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
      for (const std::string& command : std::vector<std::string>{
               "areas", "import", "export", "maintain", "optimize", Write("NETMAIL"), "import"}) {
        SCOPED_TRACE(command);
        const bool lists = command == "areas";
        std::string out, err;
        EXPECT_EQ(Batch(Program(), command, &out, &err), lists ? 0 : 1) << err;
        if (command == "import" || command == "export") {
          EXPECT_NE(out.find("is empty, though areas listed " + named), std::string::npos) << out;
        }
        EXPECT_NE(err.find("The message base folder " + MsgBase() + " is empty"), std::string::npos)
            << err;
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_EQ(
            err.find("Nothing is stored; the mail waits in the inbound.") != std::string::npos,
            !lists)
            << err;
      }
      EXPECT_EQ(platform::FileExists(Program() + "Inbound/0000d001.pkt"), resent);
      for (const auto& entry : std::filesystem::directory_iterator(MsgBase()))
        EXPECT_EQ(entry.path().filename().string().find(".Packed"), std::string::npos)
            << entry.path();
      EXPECT_EQ(platform::FileExists(MsgBase() + kDupesFileName), dupesLeft);
    }
  }
}

// Only some areas' files are gone: a maintenance writes no index in their
// place and every run goes on naming them; the run whose new mail makes an
// area's files anew (a written netmail, an import) says what it held.
TEST_F(BatchMailLockTest, AnAreaMadeAnewByNewMailSaysWhatItLost) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Batch(Program(), Write("NETMAIL")), 0);
  DropEcho("DUPE.ECHO", "0000d001.pkt", "00000001");
  ASSERT_EQ(Batch(Program(), "import"), 0);
  const std::string away = dir_.Path() + "away/";
  platform::MakeDirs(away);
  auto takeAway = [&](const std::string& area) {
    for (const char* ext : {".PackedIndex", ".PackedBody"})
      ASSERT_TRUE(platform::RenameNoReplace(MsgBase() + area + ext, away + area + ext));
  };
  takeAway("NETMAIL");
  for (const char* command : {"maintain", "optimize", "maintain", "areas"}) {
    SCOPED_TRACE(command);
    std::string err;
    EXPECT_EQ(Batch(Program(), command, nullptr, &err), 0) << err;
    EXPECT_NE(err.find("lacks the files of areas that had messages (NETMAIL)"), std::string::npos)
        << err;
    EXPECT_FALSE(platform::FileExists(MsgBase() + "NETMAIL.PackedIndex"));
  }
  std::string out, err;
  EXPECT_EQ(Batch(Program(), Write("NETMAIL"), &out, &err), 0) << err;
  EXPECT_NE(err.find("area NETMAIL held 3 messages; its files were missing and were made anew"),
            std::string::npos)
      << err;
  EXPECT_EQ(Batch(Program(), "areas", nullptr, &err), 0);
  EXPECT_EQ(err.find("lacks the files"), std::string::npos) << err;
  // An import makes DUPE.ECHO anew: its log and REPORT say so.
  takeAway("DUPE.ECHO");
  DropEcho("DUPE.ECHO", "0000d002.pkt", "00000002");
  EXPECT_EQ(Batch(Program(), "import", &out, &err), 0) << err;
  const std::string said =
      "area DUPE.ECHO held 1 message; its files were missing and were made anew";
  EXPECT_NE(out.find(said), std::string::npos) << out;
  EXPECT_EQ(Batch(Program(), "dump REPORT", &out), 0);
  EXPECT_NE(out.find(said), std::string::npos) << out;
}

// A message base on read-only media (a CD, a mount made read-only) can be
// listed and read: the runs that only read take no lock they cannot create
// there; one that writes is refused, and nothing of the base changes.
TEST_F(BatchMailLockTest, AMessageBaseOnReadOnlyMediaCanBeRead) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a read-only disk needs root";
  ASSERT_EQ(Batch(Program(), Write("NETMAIL")), 0);
  const std::string saved = dir_.Path() + "saved/";
  ASSERT_EQ(RunShell("cp -a " + ShellQuote(MsgBase()) + " " + ShellQuote(saved)), 0);
  ASSERT_EQ(RunShell("rm -f " + ShellQuote(saved + platform::kStartLockName)), 0);
  ASSERT_EQ(RunShell("mount -t tmpfs -o size=4m tmpfs " + ShellQuote(MsgBase())), 0);
  struct Unmount {
    std::string dir;
    ~Unmount() { RunShell("umount " + ShellQuote(dir)); }
  } unmount{MsgBase()};
  ASSERT_EQ(RunShell("cp -a " + ShellQuote(saved) + ". " + ShellQuote(MsgBase())), 0);
  for (bool withLockFile : {false, true}) {
    SCOPED_TRACE(withLockFile ? "a lock file on the medium" : "no lock file on the medium");
    ASSERT_EQ(RunShell("mount -o remount,rw " + ShellQuote(MsgBase())), 0);
    if (withLockFile) platform::WriteFileAtomic(MsgBase() + platform::kStartLockName, "");
    ASSERT_EQ(RunShell("mount -o remount,ro " + ShellQuote(MsgBase())), 0);
    std::string out, err;
    EXPECT_EQ(Batch(Home(), "areas", &out, &err), 0) << err;
    EXPECT_NE(out.find("\"name\":\"NETMAIL\""), std::string::npos) << out;
    EXPECT_EQ(Batch(Home(), "dump NETMAIL", &out, &err), 0) << err;
    EXPECT_NE(out.find("\"subject\":\"NETMAIL\""), std::string::npos) << out;
    EXPECT_EQ(Batch(Home(), Write("NETMAIL"), nullptr, &err), 1);
  }
  ASSERT_EQ(RunShell("diff -r " + ShellQuote(saved) + " " + ShellQuote(MsgBase()) + " -x " +
                     platform::kStartLockName + " >/dev/null"),
            0);
}

// A run cut off leaves its journal beside the message base: a run from
// another start directory finds and undoes it; one an earlier version left
// in the start directory is undone by a run from there.
TEST_F(BatchMailLockTest, AnInterruptedImportIsUndoneByARunFromAnyStartDirectory) {
  struct Case {
    const char* what;
    std::string journal, runFrom;
  } cases[] = {
      {"journal beside the message base", MsgBase() + kImportJournalName, Home()},
      {"journal of an earlier version", Program() + kImportJournalName, Program()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string body = MsgBase() + "TORN.PackedBody";
    platform::WriteFileAtomic(body, "KQPB-torn");
    TRunJournal(c.journal).Append({"area", MsgBase(), "TORN", "-", "-"});
    std::string err;
    EXPECT_EQ(Batch(c.runFrom, "areas", nullptr, &err), 0) << err;
    EXPECT_FALSE(platform::FileExists(body));
    EXPECT_FALSE(platform::FileExists(c.journal));
  }
}

}  // namespace
}  // namespace velmaris::test
