// The batch driver as a hostile peer and an unlucky user try it: runs
// killed with SIGKILL at random moments, two runs on one start directory,
// writes that fail, damaged indexes, hundreds of new areas in one import.
// After every mishap the next run leaves each message stored (or sent)
// exactly once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/PackerConfig.h"
#include "core/ConfigStore.h"
#include "core/RunJournal.h"
#include "platform/Ascii.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Registry.h"
#include "processing/MailPacket.h"
#include "processing/PacketFixtures.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// One echomail from the uplink 2:5030/1; the subject names it.
std::string Echo(const std::string& tag, int n) {
  PackedFields s;
  s.origNode = 1;
  s.origNet = 5030;
  s.to = "All";
  s.from = "Joe Remote";
  s.subject = "m" + std::to_string(n);
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(n + 1));
  s.text = "AREA:" + tag + "\r\x01MSGID: 2:5030/1 " + serial +
           "\rSome text of an ordinary message.\r--- x\r * Origin: Remote (2:5030/1)\r";
  return PackedMessage(s);
}

std::string Packet(const std::vector<std::string>& messages) {
  TPacketHeader h = PeerHeader();
  std::string all;
  for (const auto& m : messages) all += m;
  return PacketOf(h, all);
}

class BatchSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDispatcher(&dispatcher_);
    Configure();
  }
  void Configure() {
    platform::MakeDirs(Inbound());
    // The uplink 2:5030/1 (so that new tags become areas), bundles by PKZip.
    platform::Registry registry(Reg());
    TConfigStore store(Start(), registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    TNetLink* link = store.Uplinks().GetItem(0);
    link->UplinkAddress.SetText("2:5030/1");
    link->SysopAddress.SetText("2:5020/1042.7");
    link->UsePacker = true;
    link->Packer = "PKZip";
    ASSERT_TRUE(store.SaveConfiguration());
  }
  void TearDown() override { platform::SetDispatcher(nullptr); }

  std::string Start() const { return dir_.Path() + "start/"; }
  std::string Inbound() const { return Start() + "Inbound/"; }
  std::string Reg() const { return dir_ / "Velmaris.reg"; }
  std::string Command(const std::string& args) const {
    return ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(Start()) + " --registry " +
           ShellQuote(Reg()) + " " + args;
  }
  int Batch(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
    const std::string errFile = dir_ / "stderr.txt";
    const int rc = RunShell(Command(args) + " 2>" + ShellQuote(errFile), out);
    if (err) *err = platform::ReadFile(errFile);
    return rc;
  }

  // Starts a batch run without waiting for it.
  pid_t Spawn(const std::string& args) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl("/bin/sh", "sh", "-c", ("exec " + Command(args)).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
  static int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Starts the command and kills it after a random delay.
  void KillAtRandom(const std::string& args, std::mt19937& random, int maxDelayMs) {
    const pid_t pid = Spawn(args);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % maxDelayMs));
    kill(pid, SIGKILL);
    Reap(pid);
  }

  // Marks the messages of every echomail area whose position in the list
  // has the remainder as waiting for export, as if written here.
  void MarkForExport(int modulus, int remainder) {
    platform::Registry registry(Reg());
    TConfigStore store(Start(), registry);
    store.LoadConfiguration();
    const TFidoAddr own = store.Uplinks().GetItem(0)->SysopAddress.Address();
    int position = 0;
    for (TArea* area : store.Areas().Areas()) {
      if (area->AreaType != AreaTypeCode::Echomail || position++ % modulus != remainder) continue;
      ASSERT_TRUE(area->OpenIndex());
      for (int i = 0; i < area->Count; ++i) {
        area->HeaderPtr(i)->OrigAddr = own;
        area->ChangeHeaderFlags(i, MsgFlag::Send, FlagOperation::Set);
      }
      area->CloseIndex();
    }
  }

  // Every stored subject and how often it is stored, over all areas.
  std::map<std::string, int> StoredSubjects() {
    std::map<std::string, int> subjects;
    std::string out;
    EXPECT_EQ(Batch("areas", &out), 0) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find("\"name\":\"") + 8;
      const std::string name = line.substr(at, line.find('"', at) - at);
      if (name == "REPORT") continue;  // the runs' logs
      std::string dump;
      EXPECT_EQ(Batch("dump " + ShellQuote(name), &dump), 0) << name;
      std::istringstream mails(dump);
      for (std::string mail; std::getline(mails, mail);) {
        const size_t s = mail.find("\"subject\":\"") + 11;
        ++subjects[mail.substr(s, mail.find('"', s) - s)];
      }
    }
    return subjects;
  }

  // Drops count messages (numbered from first) over the areas: packets of
  // 100, every third packet in a ZIP bundle.
  void DropCorpus(int count, int areas, int first = 0) {
    for (int p = first / 100; p * 100 < first + count; ++p) {
      std::vector<std::string> messages;
      for (int n = p * 100; n < std::min(first + count, (p + 1) * 100); ++n)
        messages.push_back(Echo("KILL.ECHO." + std::to_string(n % areas), n));
      char name[32];
      std::snprintf(name, sizeof name, "%08x.pkt", static_cast<unsigned>(0x100 + p));
      if (p % 3 != 2) {
        platform::WriteFileAtomic(Inbound() + name, Packet(messages));
        continue;
      }
      platform::WriteFileAtomic(dir_ / name, Packet(messages));
      char bundle[32];
      std::snprintf(bundle, sizeof bundle, "%08x.mo%d", static_cast<unsigned>(0x100 + p), p % 10);
      ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q " +
                         ShellQuote(Inbound() + bundle) + " " + name + " && rm " + name),
                0);
    }
  }

  TempDir dir_;
  platform::PlainDispatcher dispatcher_;
};

TEST_F(BatchSafetyTest, ImportAndExportKilledAtRandomLoseAndDoubleNothing) {
  // Each round brings new mail (packets and bundles) and kills the run that
  // tosses it; the last run goes to its end.
  constexpr int kRounds = 7, kPerRound = 500, kMessages = kRounds * kPerRound;
  std::mt19937 random(17);
  for (int r = 0; r < kRounds; ++r) {
    DropCorpus(kPerRound, 60, r * kPerRound);
    KillAtRandom("import", random, 250);
  }
  std::string out;
  ASSERT_EQ(Batch("import", &out), 0) << out;
  const auto stored = StoredSubjects();
  int once = 0;
  for (const auto& [subject, times] : stored) {
    EXPECT_EQ(times, 1) << subject;
    once += times == 1;
  }
  EXPECT_EQ(once, kMessages);
  EXPECT_TRUE(platform::ScanDir(Inbound(), "*.pk?").empty());
  EXPECT_FALSE(platform::FileExists(Start() + kImportJournalName));

  // The same for the export, a group of areas waiting in each round.
  for (int r = 0; r < kRounds; ++r) {
    MarkForExport(kRounds, r);
    KillAtRandom("export", random, 400);
  }
  ASSERT_EQ(Batch("export", &out), 0) << out;
  EXPECT_FALSE(platform::FileExists(Start() + kExportJournalName));
  {
    platform::Registry registry(Reg());
    TConfigStore store(Start(), registry);
    store.LoadConfiguration();
    for (TArea* area : store.Areas().Areas()) {
      if (area->AreaType != AreaTypeCode::Echomail) continue;
      ASSERT_TRUE(area->OpenIndex());
      EXPECT_EQ(area->SendCount, 0) << area->Name;
      area->ReleaseIndex();
    }
  }

  // Every file of the outbound is listed, and the listed files hold every
  // message once.
  const std::string outbound = Start() + "Outbound/";
  const std::string flow = platform::ReadFile(outbound + "13A60001.flo");
  std::map<std::string, int> sent;
  TempDir unpacked;
  for (const auto& e : platform::ScanDir(outbound)) {
    if (e.name == "13A60001.flo") continue;
    EXPECT_NE(flow.find("/" + e.name + "\r\n"), std::string::npos) << e.name << " is not listed";
    if (e.name.size() > 4 && e.name.substr(e.name.size() - 4) == ".pkt")
      platform::WriteFileAtomic(unpacked / e.name, platform::ReadFile(outbound + e.name));
    else
      ASSERT_EQ(RunShell("unzip -q -o " + ShellQuote(outbound + e.name) + " -d " +
                         ShellQuote(unpacked.Path())),
                0);
  }
  for (const auto& e : platform::ScanDir(unpacked.Path())) {
    TMailPacket packet(unpacked / e.name);
    packet.SetShowDamageBox(false);
    while (packet.NextMail()) ++sent[packet.GetMailHeader().Subject.Str()];
  }
  EXPECT_EQ(sent.size(), static_cast<size_t>(kMessages));
  for (const auto& [subject, times] : sent) EXPECT_EQ(times, 1) << subject;
}

// An import cut off at each step of its commit and of the work after it
// (a kill -9 there): the next run finishes or undoes it, and then says of no
// area that its files are gone (the areas the cut-off run made, with mail
// in them, went with the undo), and every message is stored once.
TEST_F(BatchSafetyTest, AnImportCutOffAtEveryStepOfItsCommitLeavesNoAreaSaidToBeGone) {
  int step = 1;
  for (;; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    ASSERT_EQ(RunShell("rm -rf " + ShellQuote(Start()) + " " + ShellQuote(Reg())), 0);
    Configure();
    // One area held mail before; the run brings it more and six new ones.
    DropCorpus(1, 1, 1000);
    ASSERT_EQ(Batch("import"), 0);
    DropCorpus(21, 7);
    const int rc = Reap(Spawn("--die-at-step " + std::to_string(step) + " import"));
    std::string out, err;
    ASSERT_EQ(Batch("import", &out, &err), 0) << err;
    EXPECT_EQ(err.find("had messages"), std::string::npos) << err;
    EXPECT_EQ(out.find("had messages"), std::string::npos) << out;
    const auto stored = StoredSubjects();
    EXPECT_EQ(stored.size(), 22u);
    for (const auto& [subject, times] : stored) EXPECT_EQ(times, 1) << subject;
    EXPECT_TRUE(platform::ScanDir(Inbound(), "*.pk?").empty());
    if (rc != -1 || step > 40) break;  // the run went to its end
  }
  EXPECT_GE(step, 6);
}

TEST_F(BatchSafetyTest, TwoRunsOnOneStartDirectoryTakeTurns) {
  // A run that holds the directory beyond the wait: a clear refusal.
  {
    platform::InstanceGuard holder(platform::InstanceGuard::StartDirectoryPath(Start()));
    ASSERT_EQ(holder.Acquire(), platform::InstanceGuard::Result::Acquired);
    std::string err;
    EXPECT_EQ(Batch("--wait 0 areas", nullptr, &err), 1);
    EXPECT_NE(err.find("is in use by another run"), std::string::npos) << err;
  }
  // Two imports and an export at once: each message stored once.
  DropCorpus(600, 12);
  const pid_t a = Spawn("import"), b = Spawn("import"), c = Spawn("export");
  EXPECT_EQ(Reap(a), 0);
  EXPECT_EQ(Reap(b), 0);
  EXPECT_EQ(Reap(c), 0);
  const auto stored = StoredSubjects();
  EXPECT_EQ(stored.size(), 600u);
  for (const auto& [subject, times] : stored) EXPECT_EQ(times, 1) << subject;
}

// Without its standard error (closed, as some cron set-ups leave it, or a
// pipe whose reader is gone) an import goes to its end, and what it would
// have said goes nowhere else: not into a file the run opened, such as the
// lock. An external unpacker's words are what it says on the way.
TEST_F(BatchSafetyTest, AnImportWithoutItsStandardErrorGoesToItsEnd) {
  {
    platform::Registry registry(Reg());
    TConfigStore store(Start(), registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    GetPackerList()->PackerByName("PKZip")->SetUnPack("unzip -o");
    ASSERT_TRUE(store.SaveConfiguration());
  }
  const std::string command = "exec " + Command("import");
  const std::string outFile = dir_ / "out.txt";
  const struct {
    const char* what;
    bool pipe;
  } rows[] = {{"2>&-", false}, {"a pipe whose reader is gone", true}};
  size_t stored = 0;
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DropCorpus(30, 1, 300 * n++ + 200);  // one ZIP bundle
    ASSERT_EQ(platform::ScanDir(Inbound(), "*.mo?").size(), 1u);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      if (row.pipe)
        ::dup2(ends[1], 2);
      else
        ::close(2);
      ::signal(SIGPIPE, SIG_DFL);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(ends[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << platform::ReadFile(outFile);
    stored += 30;
    EXPECT_EQ(StoredSubjects().size(), stored);
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.Path())) {
      if (!e.is_regular_file() || e.path() == outFile) continue;
      EXPECT_EQ(platform::ReadFile(e.path()).find("velmaris: unzip"), std::string::npos)
          << e.path();
    }
  }
}

TEST_F(BatchSafetyTest, AFileSizeLimitFailsTheImportAndTheNextRunStoresAll) {
  DropCorpus(300, 3);
  std::string out, err;
  EXPECT_EQ(
      RunShell("ulimit -f 8 && " + Command("import") + " 2>" + ShellQuote(dir_ / "e.txt"), &out),
      1);
  err = platform::ReadFile(dir_ / "e.txt");
  EXPECT_NE(err.find("the import failed and stored nothing"), std::string::npos) << err;
  EXPECT_NE(err.find("File too large"), std::string::npos) << err;
  EXPECT_EQ(
      platform::ScanDir(Inbound(), "*.pk?").size() + platform::ScanDir(Inbound(), "*.mo?").size(),
      3u);
  ASSERT_EQ(Batch("import", &out), 0) << out;
  const auto stored = StoredSubjects();
  EXPECT_EQ(stored.size(), 300u);
  for (const auto& [subject, times] : stored) EXPECT_EQ(times, 1) << subject;
}

// What the import leaves behind is a failure a script sees: the rest is
// stored, the exit status is 1 and stderr says what was left.
TEST_F(BatchSafetyTest, WhatTheImportLeavesIsANonZeroExit) {
  struct Case {
    const char* what;
    std::function<void()> drop;
    std::vector<std::string> left;  // in the inbound afterwards
    const char* said;               // on stderr
    const char* logged;
    int stored = 10;              // of the run's own messages
    const char* limit = nullptr;  // the run's address space (ulimit -v), in KiB
  } cases[] = {
      {"a bundle that is no archive",
       [&] { platform::WriteFileAtomic(Inbound() + "0000dead.mo0", "junk"); },
       {"0000dead.mo0"},
       "a bundle could not be unpacked and stays in the inbound",
       "No unpacker for bundle 0000dead.mo0!"},
      {"a packet over the size limit",
       [&] {
         // A sparse file: the header of a packet, then a hole.
         platform::WriteFileAtomic(Inbound() + "0000b1c0.pkt", Packet({Echo("BIG.ECHO", 1)}));
         ASSERT_EQ(::truncate((Inbound() + "0000b1c0.pkt").c_str(),
                              static_cast<off_t>(kMaxPacketFileSize + 1)),
                   0);
       },
       {"0000b1c0.bad"},
       "a packet was too large and has been put aside",
       "Packet 0000b1c0.pkt is too large: The packet file is larger than the 256 MB a packet may "
       "have. It has been renamed to 0000b1c0.bad ."},
      // The run's own messages come as a bundle here.
      {"a file where the folder of unpacked files belongs",
       [&] { platform::WriteFileAtomic(Inbound() + ".Unpacked", "not a folder"); },
       {".0001.Unpacked"},
       "a file under a name the tosser keeps for itself has been renamed",
       "File .Unpacked has a name the tosser keeps for itself: it has been renamed to "
       ".0001.Unpacked ."},
      {"a file where the backup folder belongs",
       [&] {
         ASSERT_EQ(RunShell("rm -rf " + ShellQuote(Inbound() + "Backup")), 0);
         platform::WriteFileAtomic(Inbound() + "Backup", "not a folder");
       },
       {"Backup.0001"},
       "a file under a name the tosser keeps for itself has been renamed",
       "File Backup has a name the tosser keeps for itself: it has been renamed to Backup.0001 ."},
      {"a packet with a message too large to store",
       [&] {
         PackedFields s;
         s.origNode = 1;
         s.origNet = 5030;
         s.subject = "huge";
         s.text = "AREA:BIG.ECHO\r" + std::string(kMaxPackedMessageSize, 'x') + "\r";
         platform::WriteFileAtomic(Inbound() + "0000b1c1.pkt", Packet({PackedMessage(s)}));
       },
       {"0000b1c1.bad"},
       "a packet held a message too large to store and has been put aside",
       "MB a message may have and has been skipped; it is kept in 0000b1c1.bad ."},
      {"a bundle that declares a file larger than a packet may be",
       [&] {
         platform::WriteFileAtomic(dir_ / "BIG.pkt", Packet({Echo("BIG.ECHO", 1)}));
         ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q big.zip BIG.pkt"), 0);
         platform::WriteFileAtomic(
             Inbound() + "0000b0b0.tu1",
             LyingZip(platform::ReadFile(dir_ / "big.zip"), 0x7FFFFFFF, false));
       },
       {"0000b0b0.toobig"},
       "a bundle was too large to unpack and has been put aside",
       "0 files of bundle 0000b0b0.tu1 are tossed; the bundle has been renamed to "
       "0000b0b0.toobig ."},
      // A method we do not read is our limit, not damage.
      {"a bundle with an entry packed by bzip2",
       [&] {
         std::string text;
         for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of a text\r";
         PackedFields m;
         m.origNode = 1;
         m.origNet = 5030;
         m.subject = "bzipped";
         m.text = "AREA:BIG.ECHO\r" + text;
         platform::WriteFileAtomic(dir_ / "BZ.pkt", Packet({PackedMessage(m)}));
         ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q -Z bzip2 bz.zip BZ.pkt"),
                   0);
         platform::WriteFileAtomic(Inbound() + "0000b2b2.we1", platform::ReadFile(dir_ / "bz.zip"));
       },
       {"0000b2b2.we1"},
       "a bundle could not be unpacked and stays in the inbound",
       "Bundle 0000b2b2.we1: BZ.pkt: Unsupported compression method (bzip2, method 12)"},
      // A packet whose body does not fit the memory the run may have stays
      // (a sparse file: the header of a packet, then a hole).
      {"a packet larger than the memory the run may have",
       [&] {
         platform::WriteFileAtomic(Inbound() + "55555555.pkt", Packet({Echo("BIG.ECHO", 1)}));
         ASSERT_EQ(::truncate((Inbound() + "55555555.pkt").c_str(), off_t(200) << 20), 0);
       },
       {"55555555.pkt"},
       "a packet stays in the inbound (the log says why)",
       "Error importing 55555555.pkt: Nicht genug Speicher!",
       10,
       "150000"},
  };
  int n = 0;
  size_t stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : platform::ScanDir(Inbound(), "*", true, false))
      ::unlink((Inbound() + e.name).c_str());
    DropCorpus(10, 1, 100 * n++);
    c.drop();
    std::string out, err;
    if (c.limit) {
#ifdef __SANITIZE_ADDRESS__
      continue;  // the sanitizer's shadow memory needs an unlimited address space
#endif
      EXPECT_EQ(RunShell(std::string("ulimit -v ") + c.limit + " && " + Command("import") + " 2>" +
                             ShellQuote(dir_ / "e.txt"),
                         &out),
                1);
      err = platform::ReadFile(dir_ / "e.txt");
    } else {
      EXPECT_EQ(Batch("import", &out, &err), 1);
    }
    EXPECT_NE(err.find(std::string("the import is stored, but ") + c.said), std::string::npos)
        << err;
    EXPECT_NE(out.find(c.logged), std::string::npos) << out;
    std::vector<std::string> left;
    for (const auto& e : platform::ScanDir(Inbound(), "*", true, false)) left.push_back(e.name);
    EXPECT_EQ(left, c.left);
    stored += static_cast<size_t>(c.stored);
    EXPECT_EQ(StoredSubjects().size(), stored);  // the rest is stored
  }
}

// Our own failure never makes a sound bundle damaged: an import of an 18 MB
// packet in a ZIP bundle under a range of address-space limits (the
// extractor's threads, the packet's body or the areas' writes fail at one
// point or another) either tosses the bundle whole or leaves it under its
// name (or its packet, when the packet is what does not fit) and exits
// non-zero. Never ".bad", never exit 0 with mail missing; an import without
// the limit then stores every message once.
TEST_F(BatchSafetyTest, AnImportUnderAnyAddressSpaceLimitNeverCallsASoundBundleDamaged) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
  constexpr int kMessages = 18;
  std::vector<std::string> messages;
  for (int n = 0; n < kMessages; ++n) {
    PackedFields s;
    s.origNode = 1;
    s.origNet = 5030;
    s.subject = "m" + std::to_string(n);
    std::string text;
    for (int line = 0; text.size() < 1000000; ++line)
      text += "Line " + std::to_string(line * 7919 % 100003) + " of message " + std::to_string(n) +
              ", as long as a long line of a long text may be.\r";
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(n + 1));
    s.text = "AREA:BIG.ECHO\r\x01MSGID: 2:5030/1 " + std::string(serial) + "\r" + text;
    messages.push_back(PackedMessage(s));
  }
  platform::WriteFileAtomic(dir_ / "00000001.pkt", Packet(messages));
  ASSERT_GT(platform::ReadFile(dir_ / "00000001.pkt").size(), 18000000u);
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q b.zip 00000001.pkt"), 0);
  const std::string bundle = platform::ReadFile(dir_ / "b.zip");
  // Each limit starts from the start directory and registry as set up (the
  // registry names the folders by their paths).
  ASSERT_EQ(RunShell("cp -a " + ShellQuote(Start()) + " " + ShellQuote(dir_ / "pristine") +
                     " && cp " + ShellQuote(Reg()) + " " + ShellQuote(dir_ / "pristine.reg")),
            0);
  auto stored = [&](const std::string& start, const std::string& reg) {
    std::string out;
    RunShell(ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(start) + " --registry " +
                 ShellQuote(reg) + " dump BIG.ECHO 2>/dev/null",
             &out);
    std::map<std::string, int> subjects;
    std::istringstream mails(out);
    for (std::string mail; std::getline(mails, mail);) {
      const size_t at = mail.find("\"subject\":\"") + 11;
      ++subjects[mail.substr(at, mail.find('"', at) - at)];
    }
    return subjects;
  };
  int tossed = 0, kept = 0;
  for (int limit = 48; limit <= 288; limit += 16) {
    SCOPED_TRACE(std::to_string(limit) + " MiB");
    const std::string start = Start(), reg = Reg();
    ASSERT_EQ(RunShell("rm -rf " + ShellQuote(start) + " && cp -a " +
                       ShellQuote(dir_ / "pristine") + " " + ShellQuote(start) + " && cp " +
                       ShellQuote(dir_ / "pristine.reg") + " " + ShellQuote(reg)),
              0);
    platform::WriteFileAtomic(start + "Inbound/0000aaaa.mo0", bundle);
    const std::string batch = ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(start) +
                              " --registry " + ShellQuote(reg) + " ";
    std::string out;
    const int rc = RunShell("ulimit -v " + std::to_string(limit * 1024) + " && " + batch +
                                "import 2>" + ShellQuote(dir_ / "e.txt"),
                            &out);
    const std::string err = platform::ReadFile(dir_ / "e.txt");
    std::vector<std::string> left;
    for (const auto& e : platform::ScanDir(start + "Inbound/", "*", true, false))
      left.push_back(e.name);
    for (const std::string& name : left) {
      EXPECT_FALSE(platform::EndsWithNoCase(name, ".bad")) << name << "\n" << out << err;
      EXPECT_FALSE(platform::EndsWithNoCase(name, ".toobig")) << name << "\n" << out << err;
    }
    if (rc == 0) {
      ++tossed;
      EXPECT_TRUE(left.empty()) << out;
      EXPECT_EQ(stored(start, reg).size(), static_cast<size_t>(kMessages)) << out;
    } else {
      // The bundle under its name, or (unpacked whole, its packet too large
      // for the run's memory) its packet, waiting for the next run.
      ++kept;
      ASSERT_EQ(left.size(), 1u) << out << err;
      if (left[0] == "0000aaaa.mo0") {
        EXPECT_EQ(platform::ReadFile(start + "Inbound/" + left[0]), bundle);
      } else {
        EXPECT_EQ(left[0], "00000001.pkt") << out << err;
        EXPECT_NE(err.find("a packet stays in the inbound"), std::string::npos) << err;
      }
    }
    // Without the limit everything is stored, once.
    ASSERT_EQ(RunShell(batch + "import >/dev/null 2>&1"), 0);
    const auto subjects = stored(start, reg);
    EXPECT_EQ(subjects.size(), static_cast<size_t>(kMessages));
    for (const auto& [subject, times] : subjects) EXPECT_EQ(times, 1) << subject;
  }
  // The range reaches from limits the import cannot work in to one it can.
  EXPECT_GT(kept, 0);
  EXPECT_GT(tossed, 0);
}

// Bundles that do not fit the free space of the inbound's disk wait under
// their names while the rest is stored; once the disk has grown, the next
// import stores them: every message once.
TEST_F(BatchSafetyTest, BundlesBeyondTheFreeSpaceWaitForRoom) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  ASSERT_EQ(RunShell("mount -t tmpfs -o size=1200k tmpfs " + ShellQuote(Inbound())), 0);
  struct Unmount {
    std::string dir;
    ~Unmount() { RunShell("umount " + ShellQuote(dir)); }
  } unmount{Inbound()};
  DropCorpus(3000, 3);  // 20 packets and 10 bundles: less free than the disk's reserve
  std::string out, err;
  EXPECT_EQ(Batch("import", &out, &err), 1);
  EXPECT_NE(err.find("the import is stored, but 10 bundles stay in the inbound for lack of room"),
            std::string::npos)
      << err;
  EXPECT_EQ(platform::ScanDir(Inbound(), "*.mo?").size(), 10u);
  EXPECT_EQ(StoredSubjects().size(), 2000u);
  ASSERT_EQ(RunShell("mount -o remount,size=16m " + ShellQuote(Inbound())), 0);
  EXPECT_EQ(Batch("import", &out, &err), 0) << err;
  EXPECT_TRUE(platform::ScanDir(Inbound(), "*", true, false).empty());
  const auto stored = StoredSubjects();
  EXPECT_EQ(stored.size(), 3000u);
  for (const auto& [subject, times] : stored) EXPECT_EQ(times, 1) << subject;
}

// On a 300 MB disk that other files fill to 40 MB, a bundle that can never
// be stored does not make every import fail: a small zip whose stored
// entries declare 14 MiB each is damage, one of 140 MiB of zeros needs more
// than the disk can free; the first import puts both aside, the next one
// has nothing to fail on.
TEST_F(BatchSafetyTest, BundlesThatCanNeverBeStoredArePutAsideByTheFirstImport) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  ASSERT_EQ(RunShell("mount -t tmpfs -o size=300m tmpfs " + ShellQuote(Inbound())), 0);
  struct Unmount {
    std::string dir;
    ~Unmount() { RunShell("umount " + ShellQuote(dir)); }
  } unmount{Inbound()};
  ASSERT_EQ(RunShell("head -c 40000000 /dev/zero >" + ShellQuote(Inbound() + "other.dat")), 0);
  std::string names;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "P" + std::to_string(i) + ".pkt";
    platform::WriteFileAtomic(dir_ / name, Packet({Echo("KILL.ECHO.0", i)}));
    names += " " + name;
  }
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q -0 lies.zip" + names), 0);
  platform::WriteFileAtomic(Inbound() + "0000a001.mo0",
                            LyingZip(platform::ReadFile(dir_ / "lies.zip"), 14u << 20, false));
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) +
                     " && head -c 146800640 /dev/zero >ZERO.pkt && zip -q zeros.zip ZERO.pkt && "
                     "rm ZERO.pkt && cp zeros.zip " + ShellQuote(Inbound() + "0000a002.tu0")),
            0);
  DropCorpus(200, 1);
  std::string out, err;
  EXPECT_EQ(Batch("import", &out, &err), 1);
  EXPECT_NE(err.find("the import is stored, but a bundle was too large to unpack and has been "
                     "put aside"),
            std::string::npos)
      << err;
  EXPECT_NE(out.find("Once there is room on the disk, rename 0000a002.toobig back to "
                     "0000a002.tu0 and import again."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Bad file header"), std::string::npos) << out;
  std::vector<std::string> left;
  for (const auto& e : platform::ScanDir(Inbound(), "*", true, false)) left.push_back(e.name);
  EXPECT_EQ(left, (std::vector<std::string>{"0000a001.bad", "0000a002.toobig", "other.dat"}));
  EXPECT_EQ(StoredSubjects().size(), 200u);
  EXPECT_EQ(Batch("import", &out, &err), 0) << err;
}

// A bundle whose every entry fails its CRC is put aside once; it never
// makes a later import fail.
TEST_F(BatchSafetyTest, ABundleWithoutASoundEntryIsPutAsideOnce) {
  DropCorpus(10, 1);
  platform::WriteFileAtomic(dir_ / "A.pkt", Packet({Echo("BAD.ECHO", 50)}));
  platform::WriteFileAtomic(dir_ / "B.pkt", Packet({Echo("BAD.ECHO", 51)}));
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir_.Path()) + " && zip -q bad.zip A.pkt B.pkt"), 0);
  platform::WriteFileAtomic(Inbound() + "0000dead.mo0",
                            LyingZip(platform::ReadFile(dir_ / "bad.zip"), {}, true));
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    std::string out, err;
    EXPECT_EQ(Batch("import", &out, &err), 0) << err;
    EXPECT_EQ(out.find("0000dead.mo0: B.pkt: File fails CRC check") != std::string::npos, run == 1)
        << out;
    EXPECT_EQ(out.find("the bundle has been renamed to 0000dead.bad .") != std::string::npos,
              run == 1);
    std::vector<std::string> left;
    for (const auto& e : platform::ScanDir(Inbound(), "*", true, false)) left.push_back(e.name);
    EXPECT_EQ(left, std::vector<std::string>{"0000dead.bad"});
  }
  EXPECT_EQ(StoredSubjects().size(), 10u);
}

TEST_F(BatchSafetyTest, WhatTheExportLeavesWaitingIsANonZeroExit) {
  const std::string outbound = Start() + "Outbound";
  // The uplink's packer and its pack command.
  auto packWith = [&](const std::string& packer, const std::string& command) {
    platform::Registry registry(Reg());
    TConfigStore store(Start(), registry);
    InstallPackerConfig(store);
    store.LoadConfiguration();
    store.Uplinks().GetItem(0)->Packer = packer;
    GetPackerList()->PackerByName(packer)->SetPack(command);
    ASSERT_TRUE(store.SaveConfiguration());
  };
  // A packer that fails as zip does when it finds nothing to pack.
  dir_.Write("tools/zip3", "#!/bin/sh\necho 'zip warning: name not matched: x' >&2\n"
                           "echo 'zip error: Nothing to do!' >&2\nexit 3\n");
  // arc as it is, but its own test of the first bundle fails (as it does on
  // squeezed data it cannot read back), so the packet is added again stored.
  std::string realArc;
  ASSERT_EQ(RunShell("command -v arc", &realArc), 0);
  realArc.erase(realArc.find_last_not_of("\n") + 1);
  dir_.Write("tools/arc", "#!/bin/sh\nif [ \"$1\" = t ] && [ ! -e " + ShellQuote(dir_ / "tested") +
                              " ]; then\n  : > " + ShellQuote(dir_ / "tested") +
                              "\n  echo \"Testing file: 00000000.PKT  fails CRC check\"\n"
                              "  exit 1\nfi\nexec " + ShellQuote(realArc) + " \"$@\"\n");
  ASSERT_EQ(RunShell("chmod +x " + ShellQuote(dir_ / "tools/zip3") + " " +
                     ShellQuote(dir_ / "tools/arc")),
            0);
  const std::string waiting = "3 lines of its log say what stays waiting";
  struct Case {
    const char* what;
    std::function<void()> spoil;
    std::string logged;
    std::string said;           // on stderr; empty: the export succeeds
    bool staysWaiting = true;   // the next run, with the mishap gone, sends the messages
    std::function<void()> mend = {};
    std::vector<std::string> why = {};  // on stderr too
  } cases[] = {
      {"the outbound is a file", [&] { platform::WriteFileAtomic(outbound, "not a folder"); },
       "10 messages of area KILL.ECHO.0 stay waiting: uplink Da Boss!!! has no outbound directory",
       waiting},
      {"the flow file is a folder", [&] { platform::MakeDirs(outbound + "/13A60001.flo"); },
       "10 messages of area KILL.ECHO.1 stay waiting: cannot open the flow file", waiting},
      // The packets go out unpacked: the log says why, the summary so.
      {"the packer exits 3", [&] { packWith("PKZip", CommandWord(dir_ / "tools/zip3")); },
       "(zip3 ended with exit code 3: zip error: Nothing to do!); the packet is listed unpacked.",
       "3 lines of its log say which packet is listed unpacked as its packer failed", false,
       [&] { packWith("PKZip", "zip -j -q"); }},
      // Why it cannot start is said in the log and on stderr.
      {"the packer cannot be started",
       [&] { packWith("PKZip", CommandWord(dir_ / "tools/no-such-zip") + " -q"); },
       ": No such file or directory)); the packet is listed unpacked.",
       "3 lines of its log say which packet is listed unpacked as its packer failed",
       false,
       [&] { packWith("PKZip", "zip -j -q"); },
       {"velmaris: Could not start packer:", ": No such file or directory)\n"}},
      // A good repack is no failure.
      {"arc's test fails once", [&] { packWith("PKArc", CommandWord(dir_ / "tools/arc") + " an"); },
       "it is added again stored.", "", false},
  };
  DropCorpus(30, 3);
  std::string out, err;
  ASSERT_EQ(Batch("import", &out), 0) << out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MarkForExport(1, 0);
    ASSERT_EQ(RunShell("rm -rf " + ShellQuote(outbound)), 0);
    c.spoil();
    EXPECT_EQ(Batch("export", &out, &err), c.said.empty() ? 0 : 1) << err;
    if (!c.said.empty()) {
      EXPECT_NE(err.find("the export is written, but " + c.said + "\n"), std::string::npos) << err;
    }
    for (const std::string& part : c.why) EXPECT_NE(err.find(part), std::string::npos) << err;
    EXPECT_NE(out.find(c.logged), std::string::npos) << out;
    // With the mishap gone, the next run sends what stayed and succeeds.
    if (c.mend) c.mend();
    ASSERT_EQ(RunShell("rm -rf " + ShellQuote(outbound)), 0);
    EXPECT_EQ(Batch("export", &out, &err), 0) << err;
    EXPECT_NE(out.find(c.staysWaiting ? "\"echomails\":30" : "\"echomails\":0"),
              std::string::npos)
        << out;
  }
}

TEST_F(BatchSafetyTest, EightHundredNewAreasInOneImport) {
  DropCorpus(800, 800);
  std::string out;
  ASSERT_EQ(Batch("import", &out), 0) << out;
  ASSERT_EQ(Batch("areas", &out), 0);
  int lines = 0;
  for (size_t at = 0; (at = out.find("KILL.ECHO.", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 2 * 800);  // name and file name
}

TEST_F(BatchSafetyTest, ADamagedIndexIsReportedByEveryCommandThatReadsIt) {
  DropCorpus(200, 2);
  std::string out, err;
  ASSERT_EQ(Batch("import", &out), 0) << out;
  const std::string index = Start() + "Msgbase/KILL.ECHO.0.PackedIndex";
  // The flag byte of the last chunk's block becomes one no block has.
  std::string bytes = platform::ReadFile(index);
  size_t last = 8;
  for (size_t pos = 8; pos + 2 < bytes.size();
       pos += 2 + static_cast<uint8_t>(bytes[pos]) + 256u * static_cast<uint8_t>(bytes[pos + 1]))
    last = pos;
  bytes[last + 2] = 0x11;
  platform::WriteFileAtomic(index, bytes);
  for (const char* command : {"areas", "dump KILL.ECHO.0", "maintain", "optimize"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Batch(command, &out, &err), 1);
    EXPECT_NE(err.find("KILL.ECHO.0"), std::string::npos) << err;
    EXPECT_NE(err.find("is damaged"), std::string::npos) << err;
  }
  // New mail for the area fails the import, which names the file.
  DropCorpus(100, 2, 200);
  EXPECT_EQ(Batch("import", &out, &err), 1);
  EXPECT_NE(err.find("KILL.ECHO.0.PackedIndex is damaged"), std::string::npos) << err;
  // The records before the damage stay readable; nothing was rewritten.
  Batch("dump KILL.ECHO.0", &out);
  EXPECT_NE(out.find("\"subject\":\"m0\""), std::string::npos);
  EXPECT_EQ(platform::ReadFile(index), bytes);
}

}  // namespace
}  // namespace velmaris::test
