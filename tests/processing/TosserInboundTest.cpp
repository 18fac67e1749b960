// What the tosser does before the packets: TIC files into the file base
// (with hostile names refused) and bundles made by the real zip and arj.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <tuple>

#include "TosserFixtures.h"
#include "archive/ArcHeader.h"
#include "archive/Packer.h"
#include "archive/RarDecoder.h"
#include "archive/RarFixtures.h"
#include "archive/UnrarApi.h"
#include "core/Crc.h"
#include "core/RunJournal.h"
#include "platform/InstanceGuard.h"
#include "processing/TicFile.h"
#include "support/NameTable.h"

namespace velmaris::test {
namespace {

class TosserInboundTest : public TosserFixture {
 protected:
  std::string FileBase() { return store->Values()->FileBaseDir(); }
};

TEST(TicFileParse, KeywordsLastWinsAndDescriptions) {
  const TTicFile tic = TTicFile::Parse(
      "Area OLD\r\nAREA NEWAREA\r\nfile \"my file.zip\"\nDesc  A short one  \r\n"
      "LDESC first line\r\nLDESC  second line\r\nCRC 1a2B3c4D\r\nPath 2:5030/1\r\n");
  EXPECT_EQ(tic.Area, "NEWAREA");
  EXPECT_EQ(tic.File, "my file.zip");
  EXPECT_EQ(tic.Desc, "A short one");
  EXPECT_EQ(tic.LDesc, (std::vector<std::string>{"first line", "second line"}));
  ASSERT_TRUE(tic.Crc.has_value());
  EXPECT_EQ(*tic.Crc, 0x1A2B3C4Du);
  EXPECT_EQ(tic.DescriptionLines(), tic.LDesc);
  EXPECT_EQ(TTicFile::Parse("DESC only\r").DescriptionLines(), std::vector<std::string>{"only"});
  EXPECT_TRUE(TTicFile::Parse("CRC xyz\r").BadCrcText);
}

TEST_F(TosserInboundTest, TicFilesArePlacedInTheFileBase) {
  const std::string data = "the announced file\n";
  const uint32_t crc = Crc32OfString(data);
  char crcText[16];
  std::snprintf(crcText, sizeof crcText, "%08X", crc);
  Drop("README.TXT", data);
  Drop("a1.tic", "AREA NODEDIFF\r\nFILE readme.txt\r\nDESC The readme\r\nCRC " +
                     std::string(crcText) + "\r\n");
  Toss();
  const std::string area = FileBase() + "NODEDIFF/";
  EXPECT_EQ(platform::ReadFile(area + "readme.txt"), data);
  EXPECT_EQ(platform::ReadFile(area + "readme.txt.Txt"), "The readme\n");
  EXPECT_EQ(InboundNames(), std::vector<std::string>{});
  EXPECT_TRUE(Logged("File readme.txt has been moved to area NODEDIFF ."));
  EXPECT_EQ(view.captions[1], "Import - Processing TIC files.");
  EXPECT_EQ(view.captions[2], "Import - TIC files processed.");
}

TEST_F(TosserInboundTest, TicFilesIgnoredWhenSwitchedOff) {
  Set(SettingId::CbTIC, 1);
  Drop("x.txt", "x");
  Drop("a1.tic", "AREA A\r\nFILE x.txt\r\n");
  Toss();
  EXPECT_EQ(InboundNames(), (std::vector<std::string>{"a1.tic", "x.txt"}));
}

TEST_F(TosserInboundTest, HostileOrWrongTicFilesStay) {
  // Something outside the file base that a link inside points to.
  const std::string outside = dir.Path() + "outside/";
  platform::MakeDirs(outside);
  platform::MakeDirs(FileBase());
  ASSERT_EQ(::symlink(outside.c_str(), (FileBase() + "LINKED").c_str()), 0);
  struct Case {
    const char* what;
    std::string tic;
    std::string logged;
  } cases[] = {
      {"no file", "AREA A\r\n", "TIC file t.tic contains errors."},
      {"no area", "FILE x.txt\r\n", "TIC file t.tic contains errors."},
      {"area climbs up", "AREA ..\r\nFILE x.txt\r\n", "TIC file t.tic contains errors."},
      {"area with a path", "AREA ../../outside\r\nFILE x.txt\r\n",
       "TIC file t.tic contains errors."},
      {"absolute area", "AREA /tmp\r\nFILE x.txt\r\n", "TIC file t.tic contains errors."},
      {"drive area", "AREA C:\\FILES\r\nFILE x.txt\r\n", "TIC file t.tic contains errors."},
      {"file with a path", "AREA A\r\nFILE ../x.txt\r\n", "TIC file t.tic contains errors."},
      {"file with a backslash", "AREA A\r\nFILE ..\\x.txt\r\n", "TIC file t.tic contains errors."},
      {"control character", "AREA A\r\nFILE \"x\x01.txt\"\r\n", "TIC file t.tic contains errors."},
      {"bad CRC text", "AREA A\r\nFILE x.txt\r\nCRC nothex\r\n", "TIC file t.tic contains errors."},
      {"missing file", "AREA A\r\nFILE y.txt\r\n", "File y.txt could not be moved to area A ."},
      {"wrong CRC", "AREA A\r\nFILE x.txt\r\nCRC 12345678\r\n",
       "File x.txt could not be moved to area A ."},
      {"link out of the file base", "AREA LINKED\r\nFILE x.txt\r\n",
       "File x.txt could not be moved to area LINKED ."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drop("x.txt", "payload");
    Drop("t.tic", c.tic);
    Toss();
    EXPECT_TRUE(Logged(c.logged));
    EXPECT_EQ(InboundNames(), (std::vector<std::string>{"t.tic", "x.txt"}));
    EXPECT_EQ(NamesIn(outside), std::vector<std::string>{});
    EXPECT_FALSE(platform::FileExists(FileBase() + "A/x.txt"));
    EXPECT_FALSE(platform::FileExists(dir.Path() + "x.txt"));
    ::unlink((Inbound() + "t.tic").c_str());
  }
}

// A TIC file may take only a file of a file echo: never mail of any kind.
TEST(TicFileMail, NeverTakesMail) {
  TempDir t;
  const std::string inbound = t / "in/", base = t / "base/";
  for (const char* name :
       {"00000001.pkt", "0000ABCD.MO0", "0000abcd.su9", "00010001.flo", "0001000a.CLO",
        "00010001.hut", "00010001.req", "other.tic", "x.bad", "y.pkt.Transmission", "Import.Me"}) {
    SCOPED_TRACE(name);
    t.Write(std::string("in/") + name, "mail");
    t.Write("in/t.tic", std::string("AREA A\r\nFILE ") + name + "\r\n");
    const TTicOutcome out = ProcessTicFile(inbound, "t.tic", base);
    EXPECT_EQ(out.Result, TTicResult::Errors);
    EXPECT_EQ(out.LogLines.back(), std::string("TIC file t.tic names ") + name +
                                       ", which is mail, not a file of a file echo.");
    EXPECT_EQ(t.Read(std::string("in/") + name), "mail");
    EXPECT_FALSE(platform::FileExists(base + "A/" + name));
  }
  // With the packers known, a bundle name is mail only when a packer knows
  // the file: a film of that name is a file of a file echo.
  TPckList packers;
  packers.AddStandardPackers();
  for (const auto& [name, bytes, moved] :
       {std::tuple<const char*, std::string, bool>{
            "0000abcd.mo0", std::string("PK\x03\x04", 4) + "zip data", false},
        {"clip.mov",
         "\0\0\0\x14"
         "ftypqt  ",
         true}}) {
    SCOPED_TRACE(name);
    t.Write(std::string("in/") + name, bytes);
    t.Write("in/t.tic", std::string("AREA A\r\nFILE ") + name + "\r\n");
    EXPECT_EQ(ProcessTicFile(inbound, "t.tic", base, &packers).Result,
              moved ? TTicResult::Moved : TTicResult::Errors);
    EXPECT_EQ(platform::FileExists(base + "A/" + name), moved);
  }
}

// A newer file under its own name replaces the one there, with its
// description; a description is never replaced. The same file again is a
// duplicate. A long name is cut to fit (leaving room for its description),
// and where that cut name is another file's, the file goes beside it under
// a number, never replacing it: also two files that came in one call, which
// the mailer numbered.
TEST(TicFileMail, NeverReplacesWhatAnotherPlaced) {
  TempDir t;
  const std::string inbound = t / "in/", base = t / "base/";
  const std::string mailerCut = Repeat("a", 251) + ".zip";
  const std::string mailerNumbered = Repeat("a", 246) + ".0001.zip";
  const std::string placed = Repeat("a", 247) + ".zip";
  const auto numbered = [](int n) {
    return Repeat("a", 242) + ".000" + std::to_string(n) + ".zip";
  };
  const auto longName = [](const std::string& end) {
    return Repeat("a", 300 - end.size()) + end + ".zip";
  };
  struct Step {
    std::string file;  // the TIC's FILE line
    std::string desc;  // the file's contents and its description
    TTicResult result;
    std::string inbound =
        "";                   // the name the mailer stored it under ("": file; "-": stored already)
    std::string placed = "";  // the name of its copy in the area ("": file)
    std::string alsoCame = "";  // another file of the same call, stored under this name
    std::string alsoData = "";
  } steps[] = {
      {"readme.txt", "first", TTicResult::Moved},
      {"readme.txt", "second", TTicResult::Moved},
      {"readme.txt.Txt", "third", TTicResult::Errors},
      {"notes", "fourth", TTicResult::Moved},
      {"notes", "fourth", TTicResult::Duplicate},
      {longName(""), "long one", TTicResult::Moved, mailerCut, placed},
      {longName("b"), "long two", TTicResult::Moved, mailerCut, numbered(1)},
      {longName("b"), "long two", TTicResult::Duplicate, mailerCut},
      {longName("c"), "long one", TTicResult::Duplicate, mailerCut},
      {longName("d"), "long three", TTicResult::Moved, mailerCut, numbered(2), mailerNumbered,
       "long four"},
      {longName("e"), "long four", TTicResult::Moved, "-", numbered(3)},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.desc + " as " + s.file.substr(0, 20));
    if (s.inbound != "-") t.Write("in/" + (s.inbound.empty() ? s.file : s.inbound), s.desc);
    if (!s.alsoCame.empty()) t.Write("in/" + s.alsoCame, s.alsoData);
    const std::string tic = "t" + std::to_string(++n) + ".tic";
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc32OfString(s.desc));
    t.Write("in/" + tic,
            "AREA A\r\nFILE " + s.file + "\r\nCRC " + crc + "\r\nDESC " + s.desc + "\r\n");
    const TTicOutcome out = ProcessTicFile(inbound, tic, base);
    EXPECT_EQ(out.Result, s.result) << out.LogLines.back();
    const bool gone = s.result == TTicResult::Moved || s.result == TTicResult::Duplicate;
    EXPECT_EQ(platform::FileExists(inbound + tic), !gone);
    if (s.result == TTicResult::Moved) {
      const std::string name = s.placed.empty() ? s.file : s.placed;
      EXPECT_EQ(t.Read("base/A/" + name), s.desc);
      EXPECT_EQ(t.Read("base/A/" + name + ".Txt"), s.desc + "\n");
    }
  }
  EXPECT_EQ(t.Read("base/A/readme.txt"), "second");
  EXPECT_EQ(t.Read("base/A/readme.txt.Txt"), "second\n");
  EXPECT_EQ(t.Read("base/A/notes.Txt"), "fourth\n");
  EXPECT_EQ(t.Read("base/A/" + placed), "long one");
  // What stays in the inbound: the files of the TIC files not moved.
  std::vector<std::string> left;
  for (const auto& e : platform::ScanDir(inbound)) left.push_back(e.name);
  EXPECT_EQ(left, (std::vector<std::string>{"readme.txt.Txt", "t3.tic"}));
}

// Every TIC file of a call is filed or said to be refused, none waits for
// ever: a newer file under its own name replaces the one in the area; a TIC
// file that names a description, or something in the area that is no file,
// is refused; a second TIC file for a file the first one filed is a
// duplicate.
TEST_F(TosserInboundTest, EveryTicFileIsFiledOrRefused) {
  const std::string outside = dir.Path() + "outside/";
  platform::MakeDirs(outside);
  const auto crcOf = [](const std::string& bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", Crc32OfString(bytes));
    return std::string(text);
  };
  const auto ticFor = [&](const std::string& file, const std::string& bytes,
                          const std::string& desc) {
    return "AREA FILES\r\nFILE " + file + "\r\nDESC " + desc + "\r\nCRC " + crcOf(bytes) +
           "\r\nSIZE " + std::to_string(bytes.size()) + "\r\n";
  };
  struct Row {
    const char* what;
    std::string file;                  // the TIC files' FILE
    int tics;                          // how many TIC files announce it
    std::vector<std::string> logged;   // lines the run logs
    std::vector<std::string> inbound;  // what stays in the inbound
    std::string inArea;                // the bytes the area has under file
  } rows[] = {
      {"a newer data.zip under its own name",
       "data.zip",
       1,
       {"File data.zip has been moved to area FILES .",
        "File data.zip in area FILES has been replaced by the one the TIC file t1.tic announces."},
       {},
       "newer data"},
      {"the description of data.zip",
       "data.zip.Txt",
       1,
       {"TIC file t1.tic names data.zip.Txt, the description of data.zip in area FILES: it is not "
        "replaced."},
       {"data.zip.Txt", "t1.tic"},
       "old description\n"},
      {"the area's description list",
       "FILES.BBS",
       1,
       {"TIC file t1.tic names FILES.BBS, the area's description list in area FILES: it is not "
        "replaced."},
       {"FILES.BBS", "t1.tic"},
       "the list"},
      {"a link out of the area under the name",
       "linked.zip",
       1,
       {"TIC file t1.tic names linked.zip, which is no file in area FILES: it is not replaced."},
       {"linked.zip", "t1.tic"},
       "outside"},
      {"two TIC files for one file",
       "new.zip",
       2,
       {"File new.zip has been moved to area FILES .",
        "File new.zip is already in area FILES as new.zip: the TIC file t"},
       {},
       "newer data"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string area = FileBase() + "FILES/";
    RunShell("rm -rf '" + area + "'");
    platform::MakeDirs(area);
    platform::WriteFileAtomic(area + "data.zip", "old data");
    platform::WriteFileAtomic(area + "data.zip.Txt", "old description\n");
    platform::WriteFileAtomic(area + "FILES.BBS", "the list");
    platform::WriteFileAtomic(outside + "target", "outside");
    ASSERT_EQ(::symlink((outside + "target").c_str(), (area + "linked.zip").c_str()), 0);
    Drop(r.file, "newer data");
    for (int n = 1; n <= r.tics; ++n)
      Drop("t" + std::to_string(n) + ".tic", ticFor(r.file, "newer data", "Newer"));
    Toss();
    for (const std::string& line : r.logged) EXPECT_TRUE(LoggedPart(line)) << line;
    std::vector<std::string> left = InboundNames();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, r.inbound);
    EXPECT_EQ(platform::ReadFile(area + r.file), r.inArea);
    EXPECT_EQ(platform::ReadFile(outside + "target"), "outside");
    EXPECT_EQ(platform::ReadFile(area + "FILES.BBS"), "the list");
    if (r.inbound.empty()) {
      EXPECT_EQ(platform::ReadFile(area + r.file + ".Txt"), "Newer\n");
    }
    for (const std::string& name : r.inbound) ::unlink((Inbound() + name).c_str());
  }
}

TEST_F(TosserInboundTest, BundlesFromZipAndArj) {
  AddEcho("ECHO");
  // An entry of 130 CP866 letters is 264 bytes in UTF-8, longer than a name
  // may be: it is unpacked cut at a whole letter, its extension kept, and so
  // is the entry after it. One of 131 letters cut to the same name goes
  // beside it, its number taking the end of its stem.
  const std::string oem130 = Repeat("\xa6", 130) + ".pkt", cut = Repeat("ж", 125) + ".pkt";
  const std::string oem131 = Repeat("\xa6", 131) + ".pkt", beside = Repeat("ж", 124) + "~1.pkt";
  struct Case {
    const char* what;
    std::string bundle;
    std::string command;  // run in the inbound directory on the packets
    std::vector<std::string> others = {};  // packed beside "P.pkt", one message each
    std::vector<std::string> unpacked = {};  // their names in the inbound, when others
    std::vector<std::string> logged = {};
  } cases[] = {
      {"zip", "0000feed.mo0", "zip -j -q 0000feed.mo0 P.pkt"},
      {"arj", "0000beef.su9", "arj a -e -y 0000beef.su9 P.pkt"},
      {"zip with a long name between two short ones", "0000cafe.we0",
       "zip -j -q 0000cafe.we0 A.pkt '" + oem130 + "' '" + oem131 + "' P.pkt && rm A.pkt '" +
           oem130 + "' '" + oem131 + "'",
       {"A.pkt", oem130, oem131},
       {"A.pkt", cut, beside},
       {"Bundle 0000cafe.we0: " + platform::LogName(Repeat("ж", 130) + ".pkt") +
            ": the name is too long, unpacked as " + platform::LogName(cut),
        "Bundle 0000cafe.we0: " + platform::LogName(Repeat("ж", 131) + ".pkt") +
            ": the name is too long, unpacked as " + platform::LogName(beside)}},
  };
  size_t expected = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drop("P.pkt", PacketFrom({EchoMessage("ECHO", std::string("via ") + c.what),
                              EchoMessage("ECHO", std::string("also via ") + c.what)}));
    for (const std::string& other : c.others)
      Drop(other, PacketFrom({EchoMessage("ECHO", "beside " + std::to_string(&other - &c.others[0]) +
                                                      ", via " + c.what)}));
    ASSERT_EQ(RunShell("cd '" + Inbound() + "' && " + c.command + " >/dev/null && rm P.pkt"), 0);
    ASSERT_EQ(InboundNames(), std::vector<std::string>{c.bundle});
    Toss();
    expected += 2 + c.others.size();
    EXPECT_TRUE(Logged("Bundle " + c.bundle + " unpacked"));
    for (const std::string& line : c.logged) EXPECT_TRUE(Logged(line)) << line;
    EXPECT_EQ(Mails("ECHO").size(), expected);
    std::vector<std::string> backedUp = {c.bundle, "P.pkt"}, names = NamesIn(Backup());
    backedUp.insert(backedUp.end(), c.unpacked.begin(), c.unpacked.end());
    std::sort(backedUp.begin(), backedUp.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, backedUp);
    EXPECT_EQ(InboundNames(), std::vector<std::string>{});
  }
}

TEST_F(TosserInboundTest, BundlesAreTakenMondayFirstAndUnknownOnesStay) {
  AddEcho("ECHO");
  for (const auto& [bundle, packet] :
       std::vector<std::pair<std::string, std::string>>{{"b.su0", "S.pkt"}, {"a.mo5", "M.pkt"}}) {
    Drop(packet, PacketFrom({EchoMessage("ECHO", bundle)}));
    ASSERT_EQ(RunShell("cd '" + Inbound() + "' && zip -j -q " + bundle + " " + packet + " && rm " +
                       packet),
              0);
  }
  Drop("junk.we1", "this is no archive at all");
  Toss();
  const auto a = std::find(log.begin(), log.end(), "Bundle a.mo5 unpacked");
  const auto b = std::find(log.begin(), log.end(), "Bundle b.su0 unpacked");
  ASSERT_NE(a, log.end());
  ASSERT_NE(b, log.end());
  EXPECT_LT(a, b);
  EXPECT_TRUE(Logged("No unpacker for bundle junk.we1!"));
  EXPECT_EQ(InboundNames(), std::vector<std::string>{"junk.we1"});
  EXPECT_EQ(Mails("ECHO").size(), 2u);
}

// A packet in a bundle never takes the place of a waiting packet of the
// same name (in any case): it joins the inbound directory under a free name,
// whether the integrated extractor or an external program unpacks it (the
// copy the program gets never replaces a received file of that name).
TEST_F(TosserInboundTest, BundledPacketsNeverReplaceWaitingOnes) {
  const std::pair<const char*, const char*> cases[] = {{"00000001.pkt", "Integrated UnZIP"},
                                                       {"00000001.PKT", "unzip -o -qq"}};
  for (const auto& [waiting, unpack] : cases) {
    SCOPED_TRACE(unpack);
    Fresh();
    packers->PackerByName("PKZip")->SetUnPack(unpack);
    const bool external = std::string(unpack).find("Integrated") == std::string::npos;
    if (external) Drop("Import.Me", "a received file");
    AddEcho("ECHO");
    Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "in the bundle")}));
    ASSERT_EQ(RunShell("cd '" + Inbound() +
                       "' && zip -j -q 0000abcd.tu1 00000001.pkt && rm 00000001.pkt"),
              0);
    Drop(waiting, PacketFrom({EchoMessage("ECHO", "waiting from another uplink")}, 5020, 9));
    Toss();
    std::vector<std::string> subjects;
    for (const auto& m : Mails("ECHO")) subjects.push_back(m.subject);
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"in the bundle", "waiting from another uplink"}));
    EXPECT_TRUE(LoggedPart("File 00000001.pkt of bundle 0000abcd.tu1 has been renamed to "));
    EXPECT_EQ(NamesIn(Backup()).size(), 3u);  // the bundle and both packets
    EXPECT_EQ(InboundNames(),
              external ? std::vector<std::string>{"Import.Me"} : std::vector<std::string>{});
    if (external) {
      EXPECT_EQ(platform::ReadFile(Inbound() + "Import.Me"), "a received file");
    }
  }
}

// A bundle with an entry that may not be written (its name climbs out of the
// inbound directory, or holds control characters) gives its sound packets
// once and is put aside; the name is logged with its control bytes escaped.
TEST_F(TosserInboundTest, BundleWithAnUnsafeEntryIsTossedOnceAndPutAside) {
  struct Case {
    std::string name;  // nine bytes, in place of EVILX.pkt
    std::string logged;
    std::string outside;  // a file the entry must not make
    bool utf8 = false;    // the entries' names are flagged as UTF-8
  } cases[] = {
      {"../EV.pkt", "Bundle b.we1: EV.pkt: Invalid file name", Start() + "EV.pkt"},
      {"\x1b[2J\n.pkt", "Bundle b.we1: \\x1B[2J\\x0A.pkt: Invalid file name",
       Inbound() + "\x1b[2J\n.pkt"},
      // U+0085 (NEL), a C1 control, in UTF-8.
      {"E\xC2\x85LX.pkt", "Bundle b.we1: E\\xC2\\x85LX.pkt: Invalid file name",
       Inbound() + "E\xC2\x85LX.pkt", true},
      // Unflagged, the same bytes are still valid UTF-8 and kept as such.
      {"E\xC2\x85LX.pkt", "Bundle b.we1: E\\xC2\\x85LX.pkt: Invalid file name",
       Inbound() + "E\xC2\x85LX.pkt"},
      // Bytes that are no UTF-8 are OEM letters ("E\u0415\u252CLX.pkt").
      {"E\x85\xC2LX.pkt", "", Inbound() + "E\x85\xC2LX.pkt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    Fresh();
    AddEcho("ECHO");
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "sound")}));
    Drop("EVILX.pkt", PacketFrom({EchoMessage("ECHO", "hostile")}));
    ASSERT_EQ(
        RunShell("cd '" + Inbound() + "' && zip -0 -j -q b.we1 GOOD.pkt EVILX.pkt && rm *.pkt"), 0);
    std::string zip = platform::ReadFile(Inbound() + "b.we1");
    for (size_t at; (at = zip.find("EVILX.pkt")) != std::string::npos;) zip.replace(at, 9, c.name);
    for (const auto& [sig, flagsAt] :
         {std::pair{std::string("PK\x03\x04"), 7}, std::pair{std::string("PK\x01\x02"), 9}})
      for (size_t at = zip.find(sig); c.utf8 && at != std::string::npos; at = zip.find(sig, at + 4))
        zip[at + flagsAt] = static_cast<char>(zip[at + flagsAt] | 0x08);
    Drop("b.we1", zip);
    if (c.logged.empty()) {  // a sound bundle
      Toss();
      EXPECT_EQ(Mails("ECHO").size(), 2u);
      EXPECT_TRUE(InboundNames().empty());
      for (const auto& line : log) EXPECT_EQ(line.find("\xC2\x85"), std::string::npos) << line;
      continue;
    }
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE(run);
      Toss();
      EXPECT_EQ(Logged(c.logged), run == 1);
      for (const auto& line : log) EXPECT_EQ(line.find("\xC2\x85"), std::string::npos) << line;
      ASSERT_EQ(Mails("ECHO").size(), 1u);
      EXPECT_EQ(Mails("ECHO")[0].subject, "sound");
      EXPECT_EQ(Mails("DUPES").size(), 0u);
      EXPECT_EQ(InboundNames(), std::vector<std::string>{"b.bad"});
      EXPECT_FALSE(std::filesystem::exists(c.outside));
    }
    EXPECT_EQ(platform::ReadFile(Inbound() + "b.bad"), zip);
  }
}

// A run cut off after deciding a bundle's fate, with its files not all in
// the inbound yet, is finished by the next run instead of unpacking the
// bundle again (which would toss its files twice).
TEST_F(TosserInboundTest, BundleSetAsideByACutOffRunIsFinishedNotUnpackedAgain) {
  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole);
    Fresh();
    AddEcho("ECHO");
    const std::string packet = PacketFrom({EchoMessage("ECHO", "one"), EchoMessage("ECHO", "two")});
    Drop("P.pkt", packet);
    ASSERT_EQ(RunShell("cd '" + Inbound() + "' && zip -j -q 0000feed.mo0 P.pkt && rm P.pkt"), 0);
    const std::string ready = Inbound() + ".Unpacked/0000feed.mo0" + (whole ? ".ok/" : ".bad/");
    platform::MakeDirs(ready);
    platform::WriteFileAtomic(ready + "P.pkt", packet);
    Toss();
    EXPECT_EQ(Mails("ECHO").size(), 2u);
    EXPECT_EQ(Mails("DUPES").size(), 0u);
    EXPECT_FALSE(platform::DirExists(ready));
    EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpacked"));
    EXPECT_EQ(InboundNames(),
              whole ? std::vector<std::string>{} : std::vector<std::string>{"0000feed.bad"});
  }
}

// A ZIP bundle made by zip of the named files (written first), with or
// without compression.
std::string ZipOf(const std::string& scratch,
                  const std::vector<std::pair<std::string, std::string>>& files,
                  bool store = false) {
  RunShell("rm -rf '" + scratch + "'");
  platform::MakeDirs(scratch);
  std::string names;
  for (const auto& [name, bytes] : files) {
    platform::WriteFileAtomic(scratch + name, bytes);
    names += " " + name;
  }
  EXPECT_EQ(RunShell("cd '" + scratch + "' && zip -j -q " + (store ? "-0 " : "") + "b.zip" + names),
            0);
  return platform::ReadFile(scratch + "b.zip");
}

// A bundle that does not fit the room of this run (its files and their
// messages beyond the disk's reserve) keeps its name beside the mail that
// came with it, which is stored, and a run with room tosses it whole: one
// line in the log, one in the summary, no box. One that no run can fit (a
// file larger than a packet may be, more than the free space and all that
// tossing frees) is put aside at once with the line that says how to try it
// again; a stored entry whose sizes lie is damage.
TEST_F(TosserInboundTest, BundlesLargerThanTheirRoomWaitOrArePutAsideBesideGoodMail) {
  // One message of 1 MiB: a deflated bundle of a few KiB.
  const std::string big =
      PacketFrom({EchoMessage("ECHO", "big", "All", std::string(1 << 20, 'a'))});
  // Waiting in the inbound: tossing it frees its room.
  const std::string held =
      PacketFrom({EchoMessage("ECHO", "held", "All", std::string(2 << 20, 'h'))});
  constexpr uint64_t kKiB = 1024;
  enum Fate { kWaits, kTooBig, kDamaged, kTossed };
  struct Case {
    const char* what;
    bool store;
    std::optional<uint32_t> declared;  // the unpacked size its headers claim
    uint64_t room;                     // this run's: free beyond the reserve and the packets
    bool withHeld;                     // the 2 MiB packet waits in the inbound
    Fate fate;
    const char* unpack = nullptr;  // an external unpacker
  } cases[] = {
      {"a bomb: a few KiB that unpack to 1 MiB, 300 KiB free, 2 MiB of packets waiting", false,
       {}, 300 * kKiB, true, kWaits},
      {"a bomb, 300 KiB free and nothing else in the inbound", false, {}, 300 * kKiB, false,
       kTooBig},
      {"the disk without even its reserve free, 2 MiB of packets waiting", false, {}, 0, true,
       kWaits},
      {"the disk without its reserve free and nothing else in the inbound", false, {}, 0, false,
       kTooBig},
      {"an external unpacker, the disk without its reserve free, 2 MiB of packets waiting", false,
       {}, 0, true, kWaits, "unzip -o -qq"},
      {"an external unpacker, the disk without its reserve free, nothing else", false, {}, 0,
       false, kTooBig, "unzip -o -qq"},
      {"a stored entry that declares 1000 bytes and holds 1 MiB", true, 1000, 300 * kKiB, true,
       kDamaged},
      {"a stored entry that declares 14 MiB and holds 1 MiB", true, 14 << 20, 300 * kKiB, true,
       kDamaged},
      {"an entry that declares more than a packet may have", false, 0x7FFFFFFF, 64ull << 30,
       false, kTooBig},
      {"a bundle that fits", false, {}, 4096 * kKiB, true, kTossed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    if (c.unpack) packers->PackerByName("PKZip")->SetUnPack(c.unpack);
    const std::string zip =
        LyingZip(ZipOf(dir / "scratch/", {{"BIG.pkt", big}}, c.store), c.declared, false);
    Drop("0000b0b0.mo0", zip);
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    if (c.withHeld) Drop("HELD.pkt", held);
    const uint64_t packets = (c.withHeld ? held.size() : 0) +
                             platform::ReadFile(Inbound() + "GOOD.pkt").size();
    int asked = 0;
    freeSpace = [&](const std::string& d) {
      EXPECT_EQ(d, Inbound());
      ++asked;
      return kInboundDiskReserve + packets + c.room;
    };
    const TTossCounters first = Toss();
    const size_t before = c.withHeld ? 2 : 1;  // GOOD and HELD are stored
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(first.WriteFailed);
    EXPECT_EQ(first.BundlesTooLarge, c.fate == kTooBig ? 1 : 0);
    EXPECT_EQ(first.BundlesWaiting, c.fate == kWaits ? 1 : 0);
    const char* left = c.fate == kWaits     ? "0000b0b0.mo0"
                       : c.fate == kTooBig  ? "0000b0b0.toobig"
                       : c.fate == kDamaged ? "0000b0b0.bad"
                                            : nullptr;
    EXPECT_EQ(InboundNames(), left ? std::vector<std::string>{left} : std::vector<std::string>{});
    EXPECT_EQ(Mails("ECHO").size(), before + (c.fate == kTossed ? 1 : 0));
    EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpack"));
    EXPECT_TRUE(NamesIn(Inbound() + ".Unpacked/").empty());
    if (left) {
      EXPECT_EQ(platform::ReadFile(Inbound() + left), zip);
    }
    // Only a bundle put aside raises a box; one that waits is no error.
    const auto boxes = prompter.Questions();
    EXPECT_EQ(!boxes.empty(), (c.fate == kTooBig && !c.unpack) || c.fate == kDamaged)
        << (boxes.empty() ? "" : boxes[0].text);
    EXPECT_EQ(LoggedPart("File is larger than the room there is for it"),
              c.fate == kTooBig && !c.unpack);
    EXPECT_FALSE(LoggedPart(Inbound())) << "the log names the bundle by its path";
    const bool retry = c.fate == kTooBig && c.declared != 0x7FFFFFFFu;
    EXPECT_EQ(Logged("Once there is room on the disk, rename 0000b0b0.toobig back to "
                     "0000b0b0.mo0 and import again."),
              retry);
    if (c.fate == kTooBig) {
      EXPECT_TRUE(
          Logged("0 files of bundle 0000b0b0.mo0 are tossed; the bundle has been renamed "
                 "to 0000b0b0.toobig ."));
      EXPECT_EQ(TossShortfall(first), "a bundle was too large to unpack and has been put aside");
      EXPECT_EQ(LoggedPart(" even with everything in Inbound tossed."), retry);
    } else if (c.fate == kDamaged) {
      EXPECT_TRUE(Logged("Bundle 0000b0b0.mo0: BIG.pkt: Bad file header"));
      EXPECT_EQ(TossShortfall(first), "");
    } else if (c.fate == kWaits) {
      std::vector<std::string> about;
      for (const auto& line : log)
        if (line.find("0000b0b0.mo0") != std::string::npos) about.push_back(line);
      ASSERT_EQ(about.size(), 2u);
      EXPECT_EQ(about[0].rfind("Bundle 0000b0b0.mo0 needs ", 0), 0u) << about[0];
      EXPECT_NE(about[0].find("; this run has " + std::to_string(c.room) + ": it stays in Inbound ."),
                std::string::npos)
          << about[0];
      EXPECT_EQ(about[1], "Bundle 0000b0b0.mo0 stays in Inbound until there is room.");
      EXPECT_EQ(TossShortfall(first).rfind("bundle 0000b0b0.mo0 needs ", 0), 0u)
          << TossShortfall(first);
    }
    // A run with room tosses what waited; nothing is left to fail on.
    freeSpace = [](const std::string&) { return kInboundDiskReserve + (64ull << 30); };
    const TTossCounters next = Toss();
    EXPECT_EQ(TossShortfall(next), "");
    EXPECT_EQ(Mails("ECHO").size(), before + (c.fate == kTossed || c.fate == kWaits ? 1 : 0));
    EXPECT_EQ(Mails("DUPES").size(), 0u);
  }
  freeSpace = nullptr;
}

// Bundles of every kind that wait for room are one line each, no box, and
// the summary names them all (at most ten, then how many more); a run with
// room tosses them all.
TEST_F(TosserInboundTest, BundlesOfEveryKindWaitWithoutABoxAndTheSummaryNamesThem) {
  if (RunShell("command -v arj jlha arc >/dev/null") != 0)
    GTEST_SKIP() << "arj, jlha or arc is not installed";
  struct Kind {
    const char* bundle;
    const char* command;  // made in the inbound of P.pkt
  } kinds[] = {
      {"00000001.mo0", "zip -j -q 00000001.mo0 P.pkt"},
      {"00000002.tu0", "arj a -e -y 00000002.tu0 P.pkt"},
      {"00000003.we0", "jlha aq 00000003.we0 P.pkt"},
      {"00000004.th0", "TMPDIR=. arc a 00000004.th0 P.pkt"},
  };
  for (const size_t count : {size_t(4), size_t(12)}) {
    SCOPED_TRACE(count);
    Fresh();
    AddEcho("ECHO");
    std::vector<std::string> bundles;
    for (size_t i = 0; i < count; ++i) {
      const Kind& k = kinds[i % 4];
      std::string bundle = k.bundle, command = k.command;
      if (i >= 4) {  // more of the same kind under other names
        const std::string other = "1000000" + std::string(1, static_cast<char>('a' + i));
        for (size_t at; (at = command.find(bundle.substr(0, 8))) != std::string::npos;)
          command.replace(at, 8, other);
        bundle = other + bundle.substr(8);
      }
      Drop("P.pkt", PacketFrom({EchoMessage("ECHO", "in " + bundle, "All",
                                            std::string(300000, static_cast<char>('a' + i)))}));
      ASSERT_EQ(RunShell("cd '" + Inbound() + "' && " + command + " >/dev/null && rm P.pkt"), 0)
          << command;
      bundles.push_back(bundle);
    }
    // 5 MiB of packets wait: every bundle could fit once they are tossed.
    Drop("HELD.pkt", PacketFrom({EchoMessage("ECHO", "held", "All", std::string(5 << 20, 'h'))}));
    freeSpace = [&](const std::string&) {
      return kInboundDiskReserve + (5 << 20) + 100000 + 1000;
    };
    const TTossCounters first = Toss();
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0].text;
    EXPECT_EQ(first.BundlesWaiting, static_cast<int>(count));
    EXPECT_FALSE(LoggedPart("File is larger than the room there is for it"));
    for (const std::string& bundle : bundles) {
      int lines = 0;
      for (const auto& line : log) lines += line.find("Bundle " + bundle + " ") == 0;
      EXPECT_EQ(lines, 1) << bundle;
    }
    std::sort(bundles.begin(), bundles.end());
    EXPECT_EQ(InboundNames(), bundles);
    const std::string shortfall = TossShortfall(first);
    EXPECT_EQ(shortfall.rfind(std::to_string(count) + " bundles stay in the inbound for lack of room (", 0),
              0u)
        << shortfall;
    size_t named = 0;
    for (const std::string& bundle : bundles) named += shortfall.find(bundle) != std::string::npos;
    EXPECT_EQ(named, std::min<size_t>(count, 10));
    EXPECT_EQ(shortfall.find(" and 2 more)") != std::string::npos, count == 12) << shortfall;
    EXPECT_TRUE(LoggedPart(std::to_string(count) + " bundles stay in Inbound until there is room: "));
    freeSpace = [](const std::string&) { return kInboundDiskReserve + (64ull << 30); };
    const TTossCounters next = Toss();
    EXPECT_EQ(TossShortfall(next), "");
    EXPECT_TRUE(InboundNames().empty());
    EXPECT_EQ(Mails("ECHO").size(), count + 1);
  }
  freeSpace = nullptr;
}

// A bundle none of whose entries is sound is put aside once, as one with a
// single bad entry is; it never comes back to fail every run. It takes the
// first free name however many are taken; where no name can be had it stays
// and the run fails.
TEST_F(TosserInboundTest, BundlesWithoutASoundEntryArePutAsideOnce) {
  const std::string one = PacketFrom({EchoMessage("ECHO", "one")});
  const std::string two = PacketFrom({EchoMessage("ECHO", "two", "All", std::string(5000, 'b'))});
  const std::string scratch = dir / "scratch/";
  struct Case {
    const char* what;
    std::function<std::string()> bundle;
    const char* logged;
    int taken = 0;        // put-aside names of it already in the inbound
    bool noName = false;  // a name so long that no numbered one can be made
  } cases[] = {
      {"every CRC fails",
       [&] {
         return LyingZip(ZipOf(scratch, {{"ONE.pkt", one}, {"TWO.pkt", two}}), {}, true);
       },
       "Bundle 0000dead.mo0: ONE.pkt: File fails CRC check"},
      // The entry's name in CP866 (ПАКЕТ01.PKT): the log, and so REPORT,
      // names it in the ANSI page.
      {"every CRC fails, the entry named in CP866",
       [&] {
         return LyingZip(ZipOf(scratch, {{"\x8f\x80\x8a\x85\x92"
                                          "01.PKT",
                                          one}}),
                         {}, true);
       },
       "Bundle 0000dead.mo0: \xcf\xc0\xca\xc5\xd2"
       "01.PKT: File fails CRC check"},
      {"a damaged header", [] { return std::string("PK\x03\x04", 4) + std::string(300, '\xEE'); },
       "0000dead.mo0: Bad file header"},
      {"sizes that lie",
       [&] {
         return LyingZip(ZipOf(scratch, {{"ONE.pkt", one}, {"TWO.pkt", two}}), 40, false);
       },
       "Bundle 0000dead.mo0: ONE.pkt: Bad block"},
      // libarchive 3.6 reads freed memory on it (and may die: in a process
      // of its own).
      {"a RAR that libarchive reads freed memory on",
       [] {
         return platform::ReadFile(std::string(VELMARIS_SOURCE_DIR) +
                                   "/tests/fixtures/rar/"
                                   "test_read_format_rar5_data_ready_pointer_leak.rar");
       },
       "0000dead.mo0: Bad file header"},
      {"a damaged header, 1,000 of its put-aside names taken",
       [] { return std::string("PK\x03\x04", 4) + std::string(300, '\xEE'); },
       "0000dead.mo0: Bad file header", 1000},
      {"a damaged header, no free name to be had",
       [] { return std::string("PK\x03\x04", 4) + std::string(300, '\xEE'); }, "", 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    const std::string bundle = c.bundle();
    const std::string stem = c.noName ? std::string(251, 'd') : "0000dead";
    const std::string name = stem + ".mo0";
    RunShell("cd '" + Inbound() + "' && for i in $(seq 1 " + std::to_string(c.taken - 1) +
             "); do : >" + stem + "-$i.bad; done" + (c.taken ? "; : >" + stem + ".bad" : ""));
    const std::string aside = stem + (c.taken ? "-" + std::to_string(c.taken) : "") + ".bad";
    Drop("b.tmp", bundle);
    ASSERT_EQ(::rename((Inbound() + "b.tmp").c_str(), (Inbound() + name).c_str()), 0);
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE(run);
      const TTossCounters counters = Toss();
      if (c.noName) {
        EXPECT_EQ(counters.Error,
                  "Bundle " + name + " could not be renamed; it stays in Inbound .");
        EXPECT_EQ(platform::ReadFile(Inbound() + name), bundle);
        EXPECT_EQ(InboundNames().size(), 3u);  // with GOOD.pkt and the name taken
        EXPECT_TRUE(NamesIn(Backup()).empty());
        EXPECT_TRUE(Mails("ECHO").empty());
        continue;
      }
      EXPECT_EQ(TossShortfall(counters), "");
      EXPECT_EQ(counters.BundlesLeft, 0);
      EXPECT_EQ(LoggedPart(c.logged), run == 1);
      EXPECT_EQ(Logged("Bundle 0000dead.mo0 could not be unpacked !"), run == 1);
      EXPECT_EQ(
          Logged("0 files of bundle 0000dead.mo0 are tossed; the bundle has been renamed to " +
                 aside + " ."),
          run == 1);
      EXPECT_EQ(InboundNames().size(), static_cast<size_t>(c.taken) + 1);
      EXPECT_EQ(NamesIn(Backup()).size(), run == 1 ? 1u : 0u);  // GOOD.pkt, never the bundle
      ASSERT_EQ(Mails("ECHO").size(), 1u);
      EXPECT_EQ(Mails("ECHO")[0].subject, "good");
    }
    if (!c.noName) {
      EXPECT_EQ(platform::ReadFile(Inbound() + aside), bundle);
    }
  }
}

// A RAR bundle whose reader is ended from outside (the out-of-memory killer's
// SIGKILL, SIGTERM) or stopped past the wait (shortened here) is not
// damaged: it keeps its name, gives nothing, the log says it was our reader
// and the run says it failed; the next run tosses it whole. A reader that
// crashes (SIGSEGV) puts it aside as damaged.
TEST_F(TosserInboundTest, ARarBundleWhoseReaderIsStoppedFromOutsideKeepsItsNameByTable) {
  unrar::SetLibraryPath(unrar::kLibarchiveReader);
  // Only the stopped reader is waited for past its answer wait: the wait is
  // shortened for that row's run alone, never for a run that must read the
  // bundle whole.
  unrar::TRarReaderBounds stopped;
  stopped.AnswerWait = std::chrono::milliseconds(300);
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back(EchoMessage("ECHO", "bundled " + std::to_string(i)));
  const std::string bundle = Rar5Stored(
      {{"0000AAAA.PKT", PacketFrom(many)}, {"0000AAAB.PKT", PacketFrom({EchoMessage("ECHO", "b")})}});
  struct Case {
    int signal;
    bool damaged;
  } cases[] = {{SIGKILL, false}, {SIGTERM, false}, {SIGSTOP, false}, {SIGSEGV, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::sigabbrev_np(c.signal));
    Fresh();
    AddEcho("ECHO");
    Drop("0000dead.we0", bundle);
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    const int sig = c.signal;
    unrar::SetRarReaderWatch([sig](pid_t pid) { ::kill(pid, sig); });
    if (sig == SIGSTOP) unrar::SetRarReaderBounds(stopped);
    const TTossCounters first = Toss();
    unrar::SetRarReaderBounds({});
    unrar::SetRarReaderWatch({});
    ASSERT_EQ(Mails("ECHO").size(), 1u) << "the good packet is tossed";
    if (c.damaged) {
      EXPECT_EQ(InboundNames(), std::vector<std::string>{"0000dead.bad"});
      // A sanitizer's handler in the reader may turn the SIGSEGV into an
      // abort: a crash either way.
      EXPECT_TRUE(LoggedPart("the RAR reader failed on it: it was ended by signal 11") ||
                  LoggedPart("the RAR reader failed on it: it was ended by signal 6 "))
          << [&] {
               std::string all;
               for (const auto& line : log) all += line + "\n";
               return all;
             }();
      continue;
    }
    EXPECT_EQ(InboundNames(), std::vector<std::string>{"0000dead.we0"});
    EXPECT_EQ(platform::ReadFile(Inbound() + "0000dead.we0"), bundle);
    EXPECT_EQ(first.BundlesLeft, 1);
    EXPECT_EQ(first.DamagedPackets, 0);
    EXPECT_EQ(TossShortfall(first), "a bundle could not be unpacked and stays in the inbound");
    EXPECT_TRUE(Logged("Bundle 0000dead.we0 could not be unpacked: our RAR reader was stopped "
                       "before it finished, not by the bundle; it stays in Inbound ."));
    EXPECT_TRUE(LoggedPart("The RAR reader was stopped before it finished; the archive is not at "
                           "fault (the RAR reader was stopped: "));
    EXPECT_FALSE(LoggedPart("Bad file header"));
    // Left alone, the reader reads it whole.
    const TTossCounters second = Toss();
    EXPECT_EQ(TossShortfall(second), "");
    EXPECT_EQ(InboundNames(), std::vector<std::string>{});
    EXPECT_EQ(Mails("ECHO").size(), 302u);
  }
  unrar::SetRarReaderBounds({});
  unrar::SetLibraryPath("");
}

// The ZIP entry named name with its method field (local and central
// header) set to method.
std::string WithZipMethod(std::string zip, const std::string& name, uint16_t method) {
  for (const auto& [sig, methodAt, nameAt] : {std::tuple{std::string("PK\x03\x04"), 8, 30},
                                              std::tuple{std::string("PK\x01\x02"), 10, 46}}) {
    for (size_t at = zip.find(sig); at != std::string::npos; at = zip.find(sig, at + 4)) {
      if (zip.compare(at + nameAt, name.size(), name) != 0) continue;
      zip[at + methodAt] = static_cast<char>(method & 0xFF);
      zip[at + methodAt + 1] = static_cast<char>(method >> 8);
    }
  }
  return zip;
}

// An ARC archive of stored entries, each with its type and data.
std::string ArcOf(const std::vector<std::tuple<int, std::string, std::string>>& entries) {
  std::string arc;
  for (const auto& [type, name, data] : entries) {
    ArcEntryHeader h;
    h.type = type;
    h.name = name;
    h.packedSize = h.originalSize = static_cast<uint32_t>(data.size());
    h.dosDateTime = 0x5A8B6000;
    h.crc = Crc16ArcUpdate(0, data.data(), data.size());
    arc += EncodeArcHeader(h) + data;
  }
  return arc + std::string("\x1A\x00", 2);
}

// A bundle with an entry packed by a method our extractors do not read is
// our limit, not damage: it keeps its name and bytes as a bundle without an
// unpacker does, nothing it holds is tossed (not even its sound entries,
// which the next run would give again), the log names the entry and its
// method, and the run falls short. No box: it is no error of the bundle.
// Only the methods packers write count so: any other method number, and
// data that do not decode, are damage: the sound entries are tossed, every
// one after the damaged entry too, and the bundle is put aside.
TEST_F(TosserInboundTest, BundlesWithAMethodWeDoNotReadKeepTheirNameByTable) {
  const std::string a = PacketFrom({EchoMessage("ECHO", "sound entry")});
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of a long text\r";
  const std::string b = PacketFrom({EchoMessage("ECHO", "unread entry", "All", text)});
  const std::string scratch = dir / "scratch/";
  const std::string zipped = ZipOf(scratch, {{"A.pkt", a}, {"B.pkt", b}});
  struct Case {
    const char* what;
    const char* bundle;
    std::function<std::string()> make;
    const char* logged;    // the entry and its method
    bool damaged = false;  // put aside as damage, its sound entries tossed
  } cases[] = {
      {"bzip2 by zip -Z bzip2", "0000f00d.mo0",
       [&] {
         ZipOf(scratch, {{"A.pkt", a}});
         platform::WriteFileAtomic(scratch + "B.pkt", b);
         EXPECT_EQ(RunShell("cd '" + scratch + "' && zip -q -Z bzip2 b.zip B.pkt"), 0);
         return platform::ReadFile(scratch + "b.zip");
       },
       "B.pkt: Unsupported compression method (bzip2, method 12)"},
      {"Deflate64", "0000f00d.mo0", [&] { return WithZipMethod(zipped, "B.pkt", 9); },
       "B.pkt: Unsupported compression method (Deflate64, method 9)"},
      {"LZMA", "0000f00d.tu1", [&] { return WithZipMethod(zipped, "B.pkt", 14); },
       "B.pkt: Unsupported compression method (LZMA, method 14)"},
      {"PPMd", "0000f00d.su9", [&] { return WithZipMethod(zipped, "B.pkt", 98); },
       "B.pkt: Unsupported compression method (PPMd, method 98)"},
      {"a method no one names", "0000f00d.we0", [&] { return WithZipMethod(zipped, "B.pkt", 200); },
       "B.pkt: Bad file header (method 200)", true},
      {"two bytes of the method field changed", "0000f00d.we1",
       [&] { return WithZipMethod(zipped, "B.pkt", 0x4B50); },
       "B.pkt: Bad file header (method 19280)", true},
      {"an ARC type no packer writes", "0000f00d.fr0",
       [&] {
         return ArcOf({{2, "A.pkt", a}, {200, "B.pkt", b}});
       },
       "B.pkt: Bad file header (ARC method 200)", true},
      {"a damaged squeeze tree before a sound ARC entry", "0000f00d.fr1",
       [&] {
         return ArcOf({{4, "B.pkt", "\x01\x02\x03\x04"}, {2, "A.pkt", a}});
       },
       "B.pkt: File contains invalid decode tree", true},
      {"-lh7- by jlha", "0000f00d.th0",
       [&] {
         RunShell("rm -rf '" + scratch + "'");
         platform::MakeDirs(scratch);
         platform::WriteFileAtomic(scratch + "A.pkt", a);
         platform::WriteFileAtomic(scratch + "B.pkt", b);
         EXPECT_EQ(RunShell("cd '" + scratch + "' && jlha -c2o7q b.lzh A.pkt B.pkt >/dev/null"), 0);
         return platform::ReadFile(scratch + "b.lzh");
       },
       ": Unsupported compression method (-lh7-)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    const std::string bundle = c.make();
    Drop(c.bundle, bundle);
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    for (int run = 1; run <= 2 && c.damaged; ++run) {
      SCOPED_TRACE(run);
      const TTossCounters counters = Toss();
      const std::string aside = std::string(c.bundle).substr(0, 8) + ".bad";
      EXPECT_EQ(InboundNames(), std::vector<std::string>{aside});
      EXPECT_EQ(platform::ReadFile(Inbound() + aside), bundle);
      EXPECT_EQ(counters.BundlesLeft, 0);
      EXPECT_EQ(TossShortfall(counters), "");
      EXPECT_EQ(LoggedPart(c.logged), run == 1);
      EXPECT_FALSE(LoggedPart("do not read ("));
      std::vector<std::string> subjects;
      for (const auto& mail : Mails("ECHO")) subjects.push_back(mail.subject);
      std::sort(subjects.begin(), subjects.end());
      EXPECT_EQ(subjects, (std::vector<std::string>{"good", "sound entry"}));
    }
    for (int run = 1; run <= 2 && !c.damaged; ++run) {
      SCOPED_TRACE(run);
      const TTossCounters counters = Toss();
      EXPECT_EQ(InboundNames(), std::vector<std::string>{c.bundle});
      EXPECT_EQ(platform::ReadFile(Inbound() + c.bundle), bundle);
      EXPECT_EQ(counters.BundlesLeft, 1);
      EXPECT_EQ(counters.DamagedPackets, 0);
      EXPECT_EQ(TossShortfall(counters), "a bundle could not be unpacked and stays in the inbound");
      EXPECT_TRUE(LoggedPart("Bundle " + std::string(c.bundle) + ": ")) << c.bundle;
      EXPECT_TRUE(LoggedPart(c.logged));
      EXPECT_TRUE(LoggedPart("Bundle " + std::string(c.bundle) +
                             " could not be unpacked: it holds an entry packed with a method we "
                             "do not read ("));
      EXPECT_FALSE(LoggedPart(" is damaged")) << "never damage";
      EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions()[0].text;
      EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpack"));
      EXPECT_TRUE(NamesIn(Inbound() + ".Unpacked/").empty());
      ASSERT_EQ(Mails("ECHO").size(), 1u);  // the good packet, once
      EXPECT_EQ(Mails("ECHO")[0].subject, "good");
    }
  }
}

// Whatever else leaves the unpacker is our failure, never the bundle's: an
// extraction whose thread cannot be started (no memory for its stack) or
// that runs out of memory keeps the bundle under its name, keeps nothing it
// gave, logs the reason and falls short; the next run tosses it whole.
TEST_F(TosserInboundTest, AnUnpackerThatFailsOnOurSideKeepsTheBundleByTable) {
  struct Case {
    const char* what;
    std::function<void()> fail;
    const char* logged;
  } cases[] = {
      {"no thread to be had",
       [] { throw std::system_error(EAGAIN, std::generic_category(), "thread"); },
       "could not be unpacked: thread: Resource temporarily unavailable; the failure is ours, "
       "not the bundle's, and it stays in Inbound ."},
      {"no memory", [] { throw std::bad_alloc(); },
       "could not be unpacked: std::bad_alloc; the failure is ours"},
      {"an error without words", [] { throw std::runtime_error(""); },
       "could not be unpacked: an unknown error; the failure is ours"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    Drop("P.pkt", PacketFrom({EchoMessage("ECHO", "one"), EchoMessage("ECHO", "two")}));
    ASSERT_EQ(RunShell("cd '" + Inbound() + "' && zip -j -q 0000feed.mo0 P.pkt && rm P.pkt"), 0);
    const std::string bundle = platform::ReadFile(Inbound() + "0000feed.mo0");
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    int starts = 0;
    startThread = [&](std::function<void()>) -> std::thread {
      ++starts;
      c.fail();
      return {};
    };
    const TTossCounters first = Toss();
    startThread = nullptr;
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(InboundNames(), std::vector<std::string>{"0000feed.mo0"});
    EXPECT_EQ(platform::ReadFile(Inbound() + "0000feed.mo0"), bundle);
    EXPECT_EQ(first.BundlesLeft, 1);
    EXPECT_EQ(TossShortfall(first), "a bundle could not be unpacked and stays in the inbound");
    EXPECT_TRUE(LoggedPart("Bundle 0000feed.mo0 " + std::string(c.logged)));
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpack"));
    EXPECT_TRUE(NamesIn(Inbound() + ".Unpacked/").empty());
    ASSERT_EQ(Mails("ECHO").size(), 1u);
    const TTossCounters next = Toss();
    EXPECT_EQ(TossShortfall(next), "");
    EXPECT_TRUE(InboundNames().empty());
    EXPECT_EQ(Mails("ECHO").size(), 3u);
    EXPECT_EQ(Mails("DUPES").size(), 0u);
  }
}

// However many entries of a bundle fail, it raises one box: its name, the
// first error and how many more; the log keeps every line. A bundle that
// waits for room still raises none.
TEST_F(TosserInboundTest, OneBoxPerBundlePutAsideByTable) {
  std::vector<std::pair<std::string, std::string>> ten;
  for (int i = 0; i < 10; ++i)
    ten.push_back({"E" + std::to_string(i) + ".pkt",
                   PacketFrom({EchoMessage("ECHO", "entry " + std::to_string(i))})});
  const std::string scratch = dir / "scratch/";
  struct Case {
    const char* what;
    int bundles;
    std::function<std::string()> bundle;
    int errors;  // each
    const char* first;
    const char* more;  // the box's last line
  } cases[] = {
      {"five bundles of ten entries whose sizes lie", 5,
       [&] { return LyingZip(ZipOf(scratch, ten), 100000, false); }, 10,
       "E0.pkt: File fails CRC check", "(and 9 more errors; the import log lists every one)"},
      {"a bundle whose first size lies short", 1,
       [&] { return LyingZip(ZipOf(scratch, ten), 40, false); }, 1, "E0.pkt: Bad block", nullptr},
      {"one bundle of ten entries whose CRCs fail", 1,
       [&] { return LyingZip(ZipOf(scratch, ten), {}, true); }, 10, "E0.pkt: File fails CRC check",
       "(and 9 more errors; the import log lists every one)"},
      {"two bundles of two entries whose CRCs fail", 2,
       [&] {
         return LyingZip(ZipOf(scratch, {ten[0], ten[1]}), {}, true);
       },
       2, "E0.pkt: File fails CRC check", "(and 1 more error; the import log lists every one)"},
      {"a damaged header", 1,
       [] { return std::string("PK\x03\x04", 4) + std::string(300, '\xEE'); }, 1, "Bad file header",
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    const std::string bytes = c.bundle();
    std::vector<std::string> names;
    for (int i = 0; i < c.bundles; ++i) {
      names.push_back("0000dea" + std::to_string(i) + ".mo0");
      Drop(names.back(), bytes);
    }
    Toss();
    const auto boxes = prompter.Questions();
    ASSERT_EQ(boxes.size(), static_cast<size_t>(c.bundles));
    int errorLines = 0;
    for (const auto& line : log)
      errorLines +=
          line.rfind("Bundle 0000dea", 0) == 0 && line.find(".mo0: ") != std::string::npos;
    EXPECT_EQ(errorLines, c.bundles * c.errors);
    for (int i = 0; i < c.bundles; ++i) {
      const std::string& text = boxes[static_cast<size_t>(i)].text;
      EXPECT_EQ(boxes[static_cast<size_t>(i)].kind, platform::MsgKind::Error);
      EXPECT_EQ(
          text.rfind("Fehler beim Entpacken von " + names[static_cast<size_t>(i)] + ":\r\n", 0), 0u)
          << text;
      EXPECT_NE(text.find(c.first), std::string::npos) << text;
      if (c.more) {
        EXPECT_EQ(text.substr(text.rfind("\r\n") + 2), c.more) << text;
      } else {
        EXPECT_EQ(text.find("more error"), std::string::npos) << text;
      }
      EXPECT_EQ(text.find(Inbound()), std::string::npos) << "the box names the bundle: " << text;
      EXPECT_TRUE(
          platform::FileExists(Inbound() + names[static_cast<size_t>(i)].substr(0, 8) + ".bad"));
    }
  }
}

// A file under one of the tosser's own names that came some other way than
// through the mailer is renamed as the mailer would have named it, and the
// run goes on; the mailer's partial files stay.
TEST_F(TosserInboundTest, FilesUnderTheTossersOwnNamesAreMovedAside) {
  using Moves = std::vector<std::pair<std::string, std::string>>;  // from, to
  struct Case {
    const char* what;
    Moves moves;
    std::vector<std::string> untouched;
  } cases[] = {
      {"a file named Backup", {{"Backup", "Backup.0001"}}, {}},
      {"Backup with its first free name taken", {{"Backup", "Backup.0002"}}, {"Backup.0001"}},
      {"the unpacking folders as files",
       {{".Unpack", ".0001.Unpack"}, {".Unpacked", ".0001.Unpacked"}},
       {}},
      {"the journals and the lock outside the start directory",
       {{kImportJournalName, "Velmaris.Import.0001.Journal"},
        {platform::kStartLockName, "Velmaris.0001.lock"}},
       {}},
      {"a partial file of the mailer", {}, {"5f000000.00000010.x.pkt.Transmission"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("ECHO");
    RunShell("rm -rf '" + Backup() + "'");
    for (const auto& [from, to] : c.moves) Drop(from, "not the tosser's: " + from);
    for (const auto& name : c.untouched) Drop(name, "not the tosser's: " + name);
    Drop("GOOD.pkt", PacketFrom({EchoMessage("ECHO", "good")}));
    ASSERT_EQ(RunShell("cd '" + Inbound() + "' && zip -j -q 0000feed.mo0 GOOD.pkt && rm GOOD.pkt"),
              0);
    Drop("MORE.pkt", PacketFrom({EchoMessage("ECHO", "more")}));
    const TTossCounters counters = Toss();
    EXPECT_FALSE(counters.Failed);
    EXPECT_EQ(counters.NamesMovedAside, static_cast<int>(c.moves.size()));
    EXPECT_EQ(TossShortfall(counters).empty(), c.moves.empty());
    std::vector<std::string> left = c.untouched;
    for (const auto& [from, to] : c.moves) {
      left.push_back(to);
      EXPECT_EQ(platform::ReadFile(Inbound() + to), "not the tosser's: " + from);
      EXPECT_TRUE(Logged("File " + from +
                         " has a name the tosser keeps for itself: it has been "
                         "renamed to " +
                         to + " ."));
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(InboundNames(), left);
    EXPECT_EQ(Mails("ECHO").size(), 2u);
    EXPECT_EQ(NamesIn(Backup()),
              (std::vector<std::string>{"0000feed.mo0", "GOOD.pkt", "MORE.pkt"}));
  }
}

}  // namespace
}  // namespace velmaris::test
