// What happens to flow files and listed files after sending or removal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "OutboundFixture.h"
#include "core/NetLink.h"

namespace velmaris::test {
namespace {

namespace fs = std::filesystem;

class OutboundRewrite : public OutboundFixture {
 protected:
  const TFidoAddr node{2, 5020, 1042, 0};
  std::string flow = dir / "Outbound/139C0412.flo";

  // The scanned entry of a path.
  TFileInfo Entry(const std::string& path) {
    outbound.ScanOutbound();
    for (const TFileInfo& e : outbound.Entries()) {
      if (e.Path == path) return e;
    }
    ADD_FAILURE() << path << " not offered";
    return {};
  }
  static bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
  }
  static long Size(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
  }
};

// After a file was sent: which lines go, and what becomes of the file.
TEST_F(OutboundRewrite, AfterSendingTheLinesGoAndThePrefixDecides) {
  enum Fate { Kept, Deleted, Truncated };
  struct Case {
    const char* name;
    std::string lines;  // "$" stands for the sent file, "@" for another one
    std::string after;  // the flow file afterwards
    Fate fate;
  } cases[] = {
      {"plain line", "$\r\n@\r\n", "@\r\n", Kept},
      {"caret deletes", "^$\r\n@\r\n", "@\r\n", Deleted},
      {"hash truncates", "#$\r\n^@\r\n", "^@\r\n", Truncated},
      {"unsent lines kept", "@\r\n^$\r\n#@\r\n", "@\r\n#@\r\n", Deleted},
      {"caret twice", "^$\r\n^$\r\n@\r\n", "@\r\n", Deleted},
      {"plain line anywhere keeps it", "^$\r\n$\r\n@\r\n", "@\r\n", Kept},
      {"truncate wins over delete", "^$\r\n#$\r\n@\r\n", "@\r\n", Truncated},
      {"last entry: flow file stays, empty", "^$\r\n", "", Deleted},
      {"only skip lines left", "~@\r\n^$\r\n", "~@\r\n", Deleted},
      {"LF lines, written back with CR LF", "@\n^$\n@\n", "@\r\n@\r\n", Deleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sent = File("files/My Bundles/0000FFFE.MO0", 100);
    const std::string other = File("files/other file.txt", 5);
    auto fill = [&](std::string s) {
      for (size_t p; (p = s.find('$')) != std::string::npos;) s.replace(p, 1, sent);
      for (size_t p; (p = s.find('@')) != std::string::npos;) s.replace(p, 1, other);
      return s;
    };
    dir.Write("Outbound/139C0412.flo", fill(c.lines));
    SentResult r = outbound.FileSent(Entry(sent));
    EXPECT_TRUE(r.flowUpdated);
    EXPECT_FALSE(r.fileActionFailed);
    EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), fill(c.after));
    EXPECT_EQ(dir.Read("Outbound/139C0412.flo.Old"), fill(c.lines));
    EXPECT_EQ(Size(other), 5);  // never touched
    switch (c.fate) {
      case Kept:
        EXPECT_EQ(r.action, FlowAction::Keep);
        EXPECT_EQ(Size(sent), 100);
        break;
      case Deleted:
        EXPECT_EQ(r.action, FlowAction::Delete);
        EXPECT_FALSE(Exists(sent));
        break;
      case Truncated:
        EXPECT_EQ(r.action, FlowAction::Truncate);
        EXPECT_EQ(Size(sent), 0);
        break;
    }
  }
}

TEST_F(OutboundRewrite, ThePrefixAtRewriteTimeCountsNotTheOneScanned) {
  const std::string sent = File("files/a.mo0");
  dir.Write("Outbound/139C0412.flo", "^" + sent + "\r\n");
  TFileInfo e = Entry(sent);
  ASSERT_TRUE(e.DeleteAfterSending);
  // Meanwhile another program made the line plain.
  dir.Write("Outbound/139C0412.flo", sent + "\r\n");
  SentResult r = outbound.FileSent(e);
  EXPECT_EQ(r.action, FlowAction::Keep);
  EXPECT_TRUE(Exists(sent));
}

TEST_F(OutboundRewrite, AFileNoLongerListedIsNotTouched) {
  const std::string sent = File("files/a.mo0");
  const std::string other = File("files/b.mo0");
  dir.Write("Outbound/139C0412.flo", "^" + sent + "\r\n^" + other + "\r\n");
  TFileInfo e = Entry(sent);
  dir.Write("Outbound/139C0412.flo", "^" + other + "\r\n");
  SentResult r = outbound.FileSent(e);
  EXPECT_FALSE(r.flowUpdated);
  EXPECT_TRUE(Exists(sent));
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), "^" + other + "\r\n");
  EXPECT_FALSE(Exists(flow + ".Old"));  // nothing was rewritten

  fs::remove(flow);  // the flow file is gone altogether
  r = outbound.FileSent(e);
  EXPECT_FALSE(r.flowUpdated);
  EXPECT_TRUE(Exists(sent));
}

TEST_F(OutboundRewrite, RequestFilesAreDeletedAfterSendingAndNoFlowFileChanges) {
  const std::string req = File("Outbound/139C0412.REQ");
  const std::string other = File("files/b.mo0");
  dir.Write("Outbound/139C0412.flo", other + "\r\n");
  TFileInfo e = Entry(req);
  ASSERT_TRUE(e.IsRequest);
  SentResult r = outbound.FileSent(e);
  EXPECT_EQ(r.action, FlowAction::Delete);
  EXPECT_FALSE(Exists(req));
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), other + "\r\n");
  EXPECT_FALSE(Exists(flow + ".Old"));

  // Taken out of the list by the user: deleted, too.
  const std::string req2 = File("Outbound/139C0412.REQ");
  outbound.RemoveOutboundEntry(Entry(req2));
  EXPECT_FALSE(Exists(req2));
  // A request file is never looked for in a flow file.
  dir.Write("Outbound/139C0412.flo", other + "\r\n" + req + "\r\n");
  outbound.RemoveFromFlowFile(node, req);
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), other + "\r\n" + req + "\r\n");
}

TEST_F(OutboundRewrite, RemovalByTheUserKeepsTheFile) {
  const std::string a = File("files/a.mo0");
  const std::string b = File("files/b.pkt");
  dir.Write("Outbound/139C0412.flo", "^" + a + "\r\n" + b + "\r\n^" + a + "\r\n");
  outbound.RemoveOutboundEntry(Entry(a));
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), b + "\r\n");
  EXPECT_TRUE(Exists(a));
}

TEST_F(OutboundRewrite, AnAddressWithAPointRewritesItsNodesFlowFiles) {
  const std::string a = File("files/a.mo0");
  const std::string b = File("files/b.mo0");
  dir.Write("Outbound/139C0412.flo", a + "\r\n" + b + "\r\n");
  dir.Write("Outbound/139c0412.FLO", b + "\r\n" + a + "\r\n");  // a second spelling
  outbound.RemoveFromFlowFile({2, 5020, 1042, 9}, a);
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), b + "\r\n");
  EXPECT_EQ(dir.Read("Outbound/139c0412.FLO"), b + "\r\n");
}

TEST_F(OutboundRewrite, ZoneOutboundFlowFiles) {
  const std::string a = File("files/a.mo0");
  platform::MakeDirs(dir / "outbound.003");
  dir.Write("outbound.003/00010002.FLO", "^" + a + "\r\n" + a + "x\r\n");
  outbound.RemoveFromFlowFile({3, 1, 2, 0}, a);
  EXPECT_EQ(dir.Read("outbound.003/00010002.FLO"), a + "x\r\n");
  EXPECT_TRUE(Exists(a));
}

TEST_F(OutboundRewrite, TheRewriteKeepsModeAndBackupAndReplacesAStaleNewFile) {
  const std::string a = File("files/a.mo0");
  const std::string b = File("files/b.mo0");
  dir.Write("Outbound/139C0412.flo", a + "\r\n" + b + "\r\n");
  ::chmod(flow.c_str(), 0640);
  dir.Write("Outbound/139C0412.NEW", "left over from a crash");
  dir.Write("Outbound/139C0412.flo.Old", "an older backup");
  outbound.RemoveFromFlowFile(node, a);
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), b + "\r\n");
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo.Old"), a + "\r\n" + b + "\r\n");
  EXPECT_FALSE(Exists(dir / "Outbound/139C0412.NEW"));
  struct stat st;
  ASSERT_EQ(::stat(flow.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(OutboundRewrite, ANewFileThatCannotBeMadeAsksAndAbortChangesNothing) {
  const std::string a = File("files/a.mo0");
  const std::string before = "^" + a + "\r\n" + a + ".2\r\n";
  dir.Write("Outbound/139C0412.flo", before);
  TFileInfo e = Entry(a);
  platform::MakeDirs(dir / "Outbound/139C0412.NEW");  // stands in the way
  std::vector<std::string> asked;
  bool lockFree = false;
  auto abort = [&](const std::string& w) {
    asked.push_back(w);
    // The user is asked without the flow-file lock: the scanner may append.
    std::thread([&] {
      if (FlowFileMutex().try_lock()) {
        lockFree = true;
        FlowFileMutex().unlock();
      }
    }).join();
    return false;
  };
  EXPECT_THROW(outbound.FileSent(e, abort), EFlowFile);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(lockFree);
  EXPECT_EQ(asked[0], "WARNING: UpdatedFlow file \"" + dir / "Outbound/139C0412.NEW" +
                          "\" cannot becannot be opened for update. If You abort this operation "
                          "the file \"" +
                          a +
                          "\" will be transmitted again on the next poll  on "
                          "2:5020/1042!");
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), before);
  EXPECT_TRUE(Exists(a));  // not deleted while its line stays

  // Retry after the obstacle has gone.
  int tries = 0;
  auto retry = [&](const std::string&) {
    ++tries;
    fs::remove(dir / "Outbound/139C0412.NEW");
    return true;
  };
  SentResult r = outbound.FileSent(e, retry);
  EXPECT_EQ(tries, 1);
  EXPECT_EQ(r.action, FlowAction::Delete);
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), a + ".2\r\n");
  EXPECT_FALSE(Exists(a));
}

TEST_F(OutboundRewrite, AFlowFileThatCannotBeReadAsksWithTheOpenWarning) {
  const std::string a = File("files/a.mo0");
  dir.Write("Outbound/139C0412.flo", "^" + a + "\r\n");
  TFileInfo e = Entry(a);
  // Grown beyond what is read.
  dir.Write("Outbound/139C0412.flo", "^" + a + "\r\n" + std::string(kMaxFlowFileSize, '\n'));
  std::string warning;
  EXPECT_THROW(outbound.FileSent(e,
                                 [&](const std::string& w) {
                                   warning = w;
                                   return false;
                                 }),
               EFlowFile);
  EXPECT_EQ(warning, "WARNING: Flow file \"" + flow +
                         "\" cannot beopened for update. If You"
                         "abort this operation the file \"" +
                         a + "\" will be transmitted again on the next poll by  2:5020/1042!");
  EXPECT_TRUE(Exists(a));
  EXPECT_EQ(Size(flow), static_cast<long>(a.size() + 3 + kMaxFlowFileSize));
  // Without a prompt the answer is Abort.
  EXPECT_THROW(outbound.FileSent(e), EFlowFile);
}

TEST_F(OutboundRewrite, NothingButTheNamedFileIsTouched) {
  const std::string target = File("files/precious.dat", 50);
  const std::string link1 = dir / "files/link1.mo0";
  const std::string link2 = dir / "files/link2.mo0";
  fs::create_symlink(target, link1);
  fs::create_symlink(target, link2);
  dir.Write("Outbound/139C0412.flo", "#" + link1 + "\r\n^" + link2 + "\r\n");

  // "#" on a symbolic link: the link is not followed; the line is done.
  SentResult r = outbound.FileSent(Entry(link1));
  EXPECT_EQ(r.action, FlowAction::Truncate);
  EXPECT_TRUE(r.fileActionFailed);
  EXPECT_EQ(Size(target), 50);
  // "^" on a symbolic link removes the link, not what it points at.
  r = outbound.FileSent(Entry(link2));
  EXPECT_EQ(r.action, FlowAction::Delete);
  EXPECT_FALSE(r.fileActionFailed);
  EXPECT_FALSE(Exists(link2));
  EXPECT_EQ(Size(target), 50);
}

TEST_F(OutboundRewrite, AStaleNewSymlinkIsNotFollowed) {
  const std::string a = File("files/a.mo0");
  const std::string victim = File("elsewhere/victim", 7);
  dir.Write("Outbound/139C0412.flo", a + "\r\n" + a + "2\r\n");
  fs::create_symlink(victim, dir / "Outbound/139C0412.NEW");
  outbound.RemoveFromFlowFile(node, a);
  EXPECT_EQ(dir.Read("Outbound/139C0412.flo"), a + "2\r\n");
  EXPECT_EQ(dir.Read("elsewhere/victim"), std::string(7, 'x'));
}

// The scanner appends while the mailer rewrites: no line may be lost.
TEST_F(OutboundRewrite, AppendsAndRewritesDoNotLoseLines) {
  TNetLink link(out);
  link.UplinkAddress.SetText("2:5020/1042");
  const std::string sent = File("files/sent.mo0");
  constexpr int kLines = 60;
  std::thread writer([&] {
    for (int i = 0; i < kLines; ++i)
      link.AppendToFlowFile(dir / ("files/n" + std::to_string(i)), true);
  });
  for (int i = 0; i < kLines; ++i) {
    link.AppendToFlowFile(sent, false);
    outbound.RemoveFromFlowFile(node, sent);
  }
  writer.join();
  const std::vector<FlowLine> lines = ParseFlowFile(dir.Read("Outbound/139C0412.flo"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i) {
    EXPECT_EQ(lines[i].path, dir / ("files/n" + std::to_string(i)));
    EXPECT_EQ(lines[i].action, FlowAction::Delete);
  }
}

}  // namespace
}  // namespace velmaris::test
