#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PacketFixtures.h"
#include "archive/PackerFixtures.h"
#include "archive/ArchiveCheck.h"
#include "archive/Packer.h"
#include "core/MsgBaseFixtures.h"
#include "core/NetLink.h"
#include "core/RunJournal.h"
#include "core/SerialCounter.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "processing/ExportJournal.h"
#include "processing/MailPacket.h"
#include "processing/OutPacket.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

using test::MailOfImage;
using test::PackedMessage;
using test::PackedFields;

// Thursday 15 January 2026, 13:45:30, and the days after it.
TDateTime Day(int day) { return EncodeDateTime(2026, 1, day, 13, 45, 30); }

struct Outbound {
  test::TempDir dir;
  std::string out = dir.Path() + "Outbound/";
  TNetLink link{out};
  TOutPacket packet;
  TDateTime now = Day(15);
  std::vector<std::unique_ptr<TMail>> mails;

  Outbound() {
    link.SysopAddress.SetText("2:5020/1042.7");
    link.UplinkAddress.SetText("2:5020/1042");
    link.Password = "SECRET";
    packet.Uplink = &link;
    packet.Clock = [this] { return now; };
    packet.PacketProcessorCommand = [] { return std::string(); };
    // The fake packer below writes no archive: its bundles hold a packet
    // when they hold its bytes, and what they held when they begin with it.
    packet.BundleCheck = [](const std::string& bundle, const std::string& file,
                            const std::string& before, std::string*) {
      const std::string data = platform::ReadFile(bundle);
      return data.find(platform::ReadFile(file)) != std::string::npos &&
             (before.empty() || data.starts_with(platform::ReadFile(before)));
    };
  }
  void Add(const PackedFields& s) {
    mails.push_back(MailOfImage(PackedMessage(s)));
    packet.AddMail(mails.back().get());
  }
  std::string Flow() const {
    const std::string path = out + "139C0412.flo";
    return platform::FileExists(path) ? platform::ReadFile(path) : std::string("<none>");
  }
  // Every name in the outbound directory, folders included.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : platform::ScanDir(out, "*", true, true)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Bytes that do not compress.
std::string Noise(size_t size) {
  std::string s(size, '\0');
  uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = char(x >> 24);
  }
  return s;
}

// A packer that appends the file's bytes to the archive and records the call.
struct FakePacker {
  std::vector<std::string> calls;
  std::vector<std::string> folders;  // where the archive was, when the packet was beside it
  bool succeed = true;
  TBundlePacker Fn() {
    return [this](const std::string& packer, const std::string& archive, const std::string& file,
                  std::vector<std::string>*) {
      calls.push_back(packer + " " + platform::NameOf(archive) + " " + platform::NameOf(file));
      if (platform::DirOf(archive) == platform::DirOf(file))
        folders.push_back(platform::WithoutSlash(platform::DirOf(archive)));
      if (!succeed) {
        FILE* f = std::fopen(archive.c_str(), "ab");  // a packer that fails half-way
        if (f) std::fclose(f);
        return false;
      }
      const std::string data = platform::ReadFile(file);
      FILE* f = std::fopen(archive.c_str(), "ab");
      std::fwrite(data.data(), 1, data.size(), f);
      std::fclose(f);
      return true;
    };
  }
};

// The packet file this system writes, byte for byte: our header, two packed
// messages, two zero bytes.
TEST(PacketWriter, GoldenBytesOfATwoMessagePacket) {
  Outbound o;
  PackedFields echo;
  echo.text =
      "AREA:TEST\r\x01MSGID: 2:5020/1042.7 0000abcd\rHello\r * Origin: Home (2:5020/1042.7)\r";
  PackedFields net;
  net.to = "Boss";
  net.subject = "Re: Hi";
  net.attribute = 0x0101;
  net.text =
      "\x01INTL 2:5020/1042 2:5020/1042\r\x01"
      "FMPT 7\rPing\r";
  o.Add(echo);
  o.Add(net);
  FileSerial().Reset(0x1000);
  const TPacketWriteResult r = o.packet.WritePacket(false);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(platform::NameOf(r.PacketPath), "00001000.pkt");
  static const char kGolden[] =
      // header: 2:5020/1042.7 to 2:5020/1042, 15 Jan 2026 13:45:30
      "\x12\x04\x12\x04\xEA\x07\x00\x00\x0F\x00\x0D\x00\x2D\x00\x1E\x00"
      "\x00\x00\x02\x00\x9C\x13\x9C\x13\xFE\x00SECRET\x00\x00"
      "\x02\x00\x02\x00\x00\x00\x00\x01\x00\x00\x01\x00\x02\x00\x02\x00"
      "\x07\x00\x00\x00\x00\x00\x00\x00"
      // first message: type, nodes 1042 -> 1, nets 5020 -> 5030, attribute, cost
      "\x02\x00\x12\x04\x01\x00\x9C\x13\xA6\x13\x00\x00\x00\x00"
      "15 Jan 26  13:45:30\x00"
      "All\x00Point Seven\x00Hi\x00"
      "AREA:TEST\r\x01MSGID: 2:5020/1042.7 0000abcd\rHello\r * Origin: Home (2:5020/1042.7)\r\x00"
      // second message
      "\x02\x00\x12\x04\x01\x00\x9C\x13\xA6\x13\x01\x01\x00\x00"
      "15 Jan 26  13:45:30\x00"
      "Boss\x00Point Seven\x00Re: Hi\x00"
      "\x01INTL 2:5020/1042 2:5020/1042\r\x01"
      "FMPT 7\rPing\r\x00"
      // terminator
      "\x00\x00";
  const std::string golden(kGolden, sizeof kGolden - 1);
  EXPECT_EQ(platform::ReadFile(r.PacketPath), golden);
  EXPECT_EQ(o.packet.Queue().Count(), 0);

  // And it reads back.
  TMailPacket in(r.PacketPath);
  ASSERT_EQ(in.GetStatus(), psReady);
  EXPECT_EQ(in.GetHeader().PasswordText(), "SECRET");
  ASSERT_NE(in.NextMail(), nullptr);
  EXPECT_EQ(in.GetMailHeader().AreaName.Str(), "TEST");
  EXPECT_EQ(FidoAddressToStr(in.GetMailHeader().OrigAddr), "2:5020/1042.7");
  ASSERT_NE(in.NextMail(), nullptr);
  EXPECT_EQ(in.GetMailHeader().AreaName.Str(), "NETMAIL");
  EXPECT_EQ(FidoAddressToStr(in.GetMailHeader().OrigAddr), "2:5020/1042.7");
  EXPECT_EQ(FidoAddressToStr(in.GetMailHeader().DestAddr), "2:5020/1042");
  EXPECT_EQ(in.NextMail(), nullptr);
  EXPECT_FALSE(in.IsDamaged());
}

// Netmail and echomail with every addressing kludge survive writing and
// reading: the bytes come back unchanged, the addresses as the kludges say.
TEST(PacketWriter, RoundTripOfNetmailAndEchomail) {
  struct Case {
    const char* name;
    std::string text;
    std::string orig, dest, area;
  } cases[] = {
      {"echomail with origin line",
       "AREA:R50.SYSOP\r\x01MSGID: 2:5020/1042.7 1\rx\r * Origin: o (2:5020/1042.7)\r",
       "2:5020/1042.7", "2:5020/1042", "R50.SYSOP"},
      {"echomail, MSGID only", "AREA:R50\r\x01MSGID: 2:5020/1042.7 2\rx\r", "2:5020/1042.7",
       "2:5020/1042", "R50"},
      {"netmail INTL FMPT TOPT",
       "\x01INTL 1:5030/2 2:5020/1042\r\x01"
       "FMPT 7\r\x01TOPT 4\r\x01MSGID: 2:5020/1042.7 3\rx\r",
       "2:5020/1042.7", "1:5030/2.4", "NETMAIL"},
      {"netmail INTL only", "\x01INTL 1:5030/2 2:5020/1042\rx\r", "2:5020/1042", "1:5030/2",
       "NETMAIL"},
  };
  for (const Case& c : cases) {
    Outbound o;
    PackedFields s;
    s.text = c.text;
    o.Add(s);
    const TPacketWriteResult r = o.packet.WritePacket(false);
    ASSERT_TRUE(r.Ok) << c.name << r.Error;
    TMailPacket in(r.PacketPath);
    const std::string* m = in.NextMail();
    ASSERT_NE(m, nullptr) << c.name;
    EXPECT_EQ(*m, PackedMessage(s)) << c.name;
    EXPECT_EQ(FidoAddressToStr(in.GetMailHeader().OrigAddr), c.orig) << c.name;
    EXPECT_EQ(FidoAddressToStr(in.GetMailHeader().DestAddr), c.dest) << c.name;
    EXPECT_EQ(in.GetMailHeader().AreaName.Str(), c.area) << c.name;
  }
}

TEST(PacketWriter, EmptyQueue) {
  Outbound o;
  TPacketWriteResult r = o.packet.WritePacket(true);
  EXPECT_TRUE(r.Ok);
  EXPECT_FALSE(r.Written);
  EXPECT_TRUE(o.Files().empty());  // no packet, no flow file

  o.packet.WriteWhenEmpty = true;
  r = o.packet.WritePacket(false);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_TRUE(r.Written);
  const std::string bytes = platform::ReadFile(r.PacketPath);
  EXPECT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes.substr(58), std::string(2, '\0'));
  EXPECT_EQ(o.Flow(), "^" + r.PacketPath + "\r\n");
}

TEST(PacketWriter, ExistingNamesAreNeverOverwritten) {
  Outbound o;
  FileSerial().Reset(0x2000);
  test::TempDir& d = o.dir;
  d.Write("Outbound/00002000.pkt", "old");
  d.Write("Outbound/00002001.PKT", "old too");
  o.Add(PackedFields{});
  const TPacketWriteResult r = o.packet.WritePacket(false);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(platform::NameOf(r.PacketPath), "00002002.pkt");
  EXPECT_EQ(d.Read("Outbound/00002000.pkt"), "old");
  EXPECT_EQ(d.Read("Outbound/00002001.PKT"), "old too");
}

TEST(PacketWriter, FailuresAreReportedAndLeaveNothingListed) {
  struct Case {
    const char* name;
    std::function<void(Outbound&)> spoil;
  } cases[] = {
      {"no uplink", [](Outbound& o) { o.packet.Uplink = nullptr; }},
      {"no outbound directory", [](Outbound& o) { o.link.SetOutbound(""); }},
      {"outbound directory removed", [](Outbound& o) { ::rmdir(o.out.c_str()); }},
      {"flow file cannot be written",
       [](Outbound& o) { ::mkdir((o.out + "139C0412.flo").c_str(), 0755); }},
      {"a mail that cannot be packed",
       [](Outbound& o) {
         PackedFields s;
         s.subject = std::string(73, 'x');
         o.Add(s);
       }},
  };
  for (const Case& c : cases) {
    Outbound o;
    o.Add(PackedFields{});
    c.spoil(o);
    const size_t queued = o.packet.Queue().Count();
    const TPacketWriteResult r = o.packet.WritePacket(false);
    EXPECT_FALSE(r.Ok) << c.name;
    EXPECT_FALSE(r.Written) << c.name;
    EXPECT_FALSE(r.Error.empty()) << c.name;
    EXPECT_EQ(o.packet.Queue().Count(), static_cast<int>(queued)) << c.name;
    if (platform::DirExists(o.out)) {
      for (const std::string& name : o.Files()) {
        EXPECT_EQ(name.find(".pkt"), std::string::npos) << c.name << ": " << name;
      }
    }
  }
}

TEST(PacketWriter, DayBundleIsReusedWhileListed) {
  Outbound o;
  FakePacker packer;
  o.packet.Packer = packer.Fn();
  o.link.UsePacker = true;
  o.link.Packer = "ZIP";
  FileSerial().Reset(0x3000);

  o.Add(PackedFields{});
  TPacketWriteResult r1 = o.packet.WritePacket(true);
  ASSERT_TRUE(r1.Ok) << r1.Error;
  EXPECT_TRUE(r1.Packed);
  EXPECT_EQ(platform::NameOf(r1.ListedPath), "00003001.TH0");  // 00003000 named the packet
  EXPECT_FALSE(platform::FileExists(r1.PacketPath));
  const std::string line = "^" + r1.ListedPath + "\r\n";
  EXPECT_EQ(o.Flow(), line);

  // The same day: into the same bundle, no new line; the packer packs a
  // copy in a folder of its own beside the bundle, which then takes the
  // bundle's place.
  o.Add(PackedFields{});
  TPacketWriteResult r2 = o.packet.WritePacket(true);
  ASSERT_TRUE(r2.Ok) << r2.Error;
  EXPECT_EQ(r2.ListedPath, r1.ListedPath);
  EXPECT_FALSE(r2.NewFlowLine);
  EXPECT_EQ(o.Flow(), line);
  EXPECT_EQ(packer.calls, (std::vector<std::string>{"ZIP 00003001.TH0 00003000.pkt",
                                                    "ZIP 00003001.TH0 00003002.pkt"}));
  ASSERT_EQ(packer.folders.size(), 2u);
  for (const std::string& folder : packer.folders) {
    EXPECT_EQ(platform::DirOf(folder), o.out);
    EXPECT_TRUE(platform::NameOf(folder).starts_with(".pack-0000300")) << folder;
    EXPECT_FALSE(platform::DirExists(folder));
  }

  // The next day starts its own bundle and line.
  o.now = Day(16);
  o.Add(PackedFields{});
  TPacketWriteResult r3 = o.packet.WritePacket(true);
  ASSERT_TRUE(r3.Ok) << r3.Error;
  EXPECT_EQ(platform::NameOf(r3.ListedPath).substr(8), ".FR0");
  EXPECT_EQ(o.Flow(), line + "^" + r3.ListedPath + "\r\n");
  EXPECT_EQ(o.Files().size(), 3u);  // two bundles and the flow file
}

TEST(PacketWriter, WhichFlowLinesCountAsTodaysBundle) {
  struct Case {
    const char* name;
    std::string flow;    // {out} stands for the outbound directory
    std::string bundle;  // expected listed bundle name; "" for a new one
  } cases[] = {
      {"other day", "^{out}0000AAAA.MO0\r\n", ""},
      {"last character ignored", "^{out}0000AAAA.TH7\r\n", "0000AAAA.TH7"},
      {"case counts", "^{out}0000aaaa.th0\r\n", ""},
      {"without ^", "{out}0000BBBB.TH1\r\n", "0000BBBB.TH1"},
      {"first match wins", "^{out}x.pkt\r\n^{out}1.TH0\r\n^{out}2.TH0\r\n", "1.TH0"},
      {"path with blanks kept whole", "^{out}my dir/0000CCCC.TH0  \r\n", "0000CCCC.TH0"},
      {"packet lines do not match", "^{out}0000DDDD.pkt\r\n", ""},
      {"foreign path form", "^C:\\OUT\\0000EEEE.TH0\r\n", ""},
  };
  for (const Case& c : cases) {
    Outbound o;
    FakePacker packer;
    o.packet.Packer = packer.Fn();
    o.link.UsePacker = true;
    std::string flow = c.flow;
    for (size_t at; (at = flow.find("{out}")) != std::string::npos;) flow.replace(at, 5, o.out);
    platform::MakeDirs(o.out + "my dir");
    o.dir.Write("Outbound/139C0412.flo", flow);
    o.Add(PackedFields{});
    const TPacketWriteResult r = o.packet.WritePacket(true);
    ASSERT_TRUE(r.Ok) << c.name << r.Error;
    ASSERT_TRUE(r.Packed) << c.name;
    if (c.bundle.empty()) {
      EXPECT_TRUE(r.NewFlowLine) << c.name;
      EXPECT_EQ(r.ListedPath.substr(r.ListedPath.size() - 4), ".TH0") << c.name;
      EXPECT_EQ(o.Flow(), flow + "^" + r.ListedPath + "\r\n") << c.name;
    } else {
      EXPECT_FALSE(r.NewFlowLine) << c.name;
      EXPECT_EQ(platform::NameOf(r.ListedPath), c.bundle) << c.name;
      EXPECT_EQ(o.Flow(), flow) << c.name;
    }
  }
}

TEST(PacketWriter, WithoutAWorkingPackerThePacketIsListedBare) {
  struct Case {
    const char* name;
    bool havePacker, succeed, usePacker, pack;
    // A packer program that never ends, in place of the fake: it is ended
    // at the run limit (any limit: it never ends) with what it started.
    const char* script = nullptr;
    // What the failure line says of why (the packer run's own words).
    const char* why = "";
    bool asked = false;  // the question whether to try again came
  } cases[] = {
      {"packer fails", true, false, true, true},
      {"no packer", false, true, true, true},
      {"uplink packs nothing", true, true, false, true},
      {"single export", true, true, true, false},
      {"packer hangs", true, true, true, true, "exec sleep infinity\n",
       " (packer.sh did not end within 200 ms: it has been ended, with every program it "
       "started.); the packet is listed unpacked."},
      {"packer leaves a child holding its output", true, true, true, true,
       "echo made > \"$1\"\nsleep infinity &\nexit 0\n"},
      // The failure line tells the packer's exit code and its last words.
      {"packer exits 3", true, true, true, true,
       "echo 'zip warning: name not matched: x' >&2\necho 'zip error: Nothing to do!' >&2\n"
       "exit 3\n",
       " (packer.sh ended with exit code 3: zip error: Nothing to do!); the packet is listed "
       "unpacked.",
       true},
      // Its words in UTF-8 go into the log's page (CP1251).
      {"packer says why in UTF-8", true, true, true, true, "echo 'zip: диск полон' >&2\nexit 3\n",
       " (packer.sh ended with exit code 3: zip: \xe4\xe8\xf1\xea \xef\xee\xeb\xee\xed); the "
       "packet is listed unpacked.",
       true},
      {"packer killed by a signal", true, true, true, true,
       "echo 'zip: out of memory' >&2\nkill -KILL $$\n",
       " (packer.sh was ended by signal 9 (Killed): zip: out of memory); the packet is listed "
       "unpacked.",
       true},
      // A script whose interpreter is missing: the program cannot start.
      {"packer cannot be started", true, true, true, true, "#!/nonexistent/sh\n",
       ": No such file or directory)); the packet is listed unpacked.", true},
  };
  for (const Case& c : cases) {
    Outbound o;
    FakePacker packer;
    packer.succeed = c.succeed;
    o.packet.Packer = c.havePacker ? packer.Fn() : TBundlePacker([](auto&, auto&, auto&, auto*) {
      return false;  // the packer list knows no such packer
    });
    std::optional<test::ScopedUi> ui;
    TPacker program;
    if (c.script) {
      ui.emplace();
      const std::string script = c.script;
      o.dir.Write("packer.sh", script.starts_with("#!") ? script : "#!/bin/sh\n" + script);
      ASSERT_EQ(::chmod((o.dir / "packer.sh").c_str(), 0755), 0);
      program.SetPack(test::CommandWord(o.dir / "packer.sh"));
      o.packet.Packer = [&program](const std::string&, const std::string& archive,
                                   const std::string& file, std::vector<std::string>* notes) {
        return program.Pack(archive, file, notes);
      };
      SetPackerRunLimit(std::chrono::milliseconds(200));
    }
    o.link.UsePacker = c.usePacker;
    o.Add(PackedFields{});
    const TPacketWriteResult r = o.packet.WritePacket(c.pack);
    ASSERT_TRUE(r.Ok) << c.name << r.Error;
    EXPECT_FALSE(r.Packed) << c.name;
    EXPECT_EQ(r.ListedPath, r.PacketPath) << c.name;
    EXPECT_EQ(o.Flow(), "^" + r.PacketPath + "\r\n") << c.name;
    EXPECT_EQ(o.Files().size(), 2u) << c.name;  // no half-made bundle left
    // A packer that was meant to pack and did not is told of.
    const bool told = c.usePacker && c.pack;
    EXPECT_EQ(r.PackFailure.empty(), !told) << c.name << r.PackFailure;
    if (told) {
      EXPECT_TRUE(r.PackFailure.starts_with("The packer " + o.link.Packer + " could not pack " +
                                            platform::NameOf(r.PacketPath)))
          << r.PackFailure;
      EXPECT_NE(r.PackFailure.find(c.why), std::string::npos) << r.PackFailure;
    }
    if (c.script) {
      SetPackerRunLimit(std::chrono::minutes(10));
      EXPECT_EQ(ui->prompter.Questions().size(), c.asked ? 1u : 0u) << "a question to try again";
    }
  }
}

TEST(PacketWriter, ExistingBundleNameIsNotTaken) {
  Outbound o;
  FakePacker packer;
  o.packet.Packer = packer.Fn();
  o.link.UsePacker = true;
  FileSerial().Reset(0x4000);
  o.dir.Write("Outbound/00004001.th0", "someone else's");
  o.Add(PackedFields{});
  const TPacketWriteResult r = o.packet.WritePacket(true);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(platform::NameOf(r.ListedPath), "00004002.TH0");
  EXPECT_EQ(o.dir.Read("Outbound/00004001.th0"), "someone else's");
}

// A cut-off export's names stay taken once its journal is recovered: the
// counter is above every packet and bundle it records, and is handed to the
// configuration before the journal goes (a refusal keeps the journal).
TEST(PacketWriter, RecoveredExportJournalKeepsItsSerialsTaken) {
  test::TempDir d;
  const std::string journal = d / "export.journal";
  TRunJournal(journal).Append(
      std::vector<TRunJournal::Record>{{"packet", d / "00005001.pkt", d / "x.flo"},
                                       {"export", d / "00005001.pkt", d / "00005007.MO0", "ZIP",
                                        d.Path(), "2:5020/1042", d.Path(), "AREA"},
                                       {"done"},
                                       {"packet", d / "00005004.pkt", d / "x.flo"}});
  FileSerial().Reset(0x1000);
  std::vector<uint32_t> seen;
  bool keep = false;
  auto keepSerials = [&] {
    seen.push_back(FileSerial().Peek());
    return keep;
  };
  EXPECT_FALSE(RecoverExportJournal(journal, nullptr, keepSerials));
  EXPECT_TRUE(platform::FileExists(journal));
  keep = true;
  EXPECT_TRUE(RecoverExportJournal(journal, nullptr, keepSerials));
  EXPECT_FALSE(platform::FileExists(journal));
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x5008, 0x5008}));
  EXPECT_EQ(NextSerialHex(), "00005008");
}

// A cut-off export is finished as the writer packs: a packet the day's
// bundle holds already is not packed again, one it lacks goes into a checked
// copy; a packer that makes the bundle anew loses none of the day's packets
// and lists none twice.
// The journal holds the area's file name on disk: recovery marks the
// messages in the files of that name, whatever letters it has, and makes no
// file under another name.
TEST(PacketWriter, RecoveredExportMarksTheMessagesUnderEveryFileName) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  for (const std::string& name :
       {std::string("R50.SYSOP"), std::string("RU.\xD4\xCB\xC5\xC9\xCC"), std::string(130, '\xC6')}) {
    SCOPED_TRACE(platform::AnsiToUtf8(name));
    test::TempDir dir;
    platform::MakeDirs(dir / "Outbound");
    std::string file;
    {
      TArea area(dir.Path(), name, name);
      for (int n = 0; n < 2; ++n) area.QueueMail(test::MakeMail(n, 40, MsgFlag::Send), false);
      ASSERT_TRUE(area.WriteQueuedMail());
      file = area.FileName;
    }
    const std::string journal = dir / "export.journal";
    TRunJournal(journal).Append({"export", dir / "gone.pkt", "", "", dir / "Outbound/",
                                 "2:5020/1042", dir.Path(), file, "0", "1"});
    EXPECT_TRUE(RecoverExportJournal(journal));
    auto area = TArea::OnRecordedFiles(dir.Path(), file);
    ASSERT_TRUE(area->OpenIndex());
    ASSERT_EQ(area->Count, 2);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(area->HeaderPtr(i)->Flags & (MsgFlag::Send | MsgFlag::Sent), MsgFlag::Sent) << i;
    area->CloseIndex();
    for (const auto& e : platform::ScanDir(dir.Path())) EXPECT_EQ(e.name.rfind(file, 0), 0u) << e.name;
  }
}

TEST(PacketWriter, RecoveryWithAPackerThatMakesTheBundleAnewByTable) {
  if (test::RunShell("command -v zip >/dev/null") != 0) GTEST_SKIP() << "zip not installed";
  for (const bool inBundle : {true, false}) {
    SCOPED_TRACE(inBundle ? "the bundle holds the packet" : "the bundle lacks it");
    test::TempDir d;
    const std::string bundle = d / "00006000.TH0", packet = d / "00006002.pkt";
    d.Write("00006001.pkt", "the day's earlier packet");
    d.Write("00006002.pkt", "the cut-off run's packet");
    d.Write("00006002.TH0", "the user's file under the name of an old copy");
    d.Write(".pack-00006002.pkt.Ab12Cd/00006000.TH0", "the copy the run left");
    d.Write(".pack-00006002.pkt.Ab12Cd/00006000.bak", "the packer's backup");
    ASSERT_EQ(test::RunShell("cd " + test::ShellQuote(d.Path()) + " && zip -q 00006000.TH0 " +
                             (inBundle ? "00006001.pkt 00006002.pkt" : "00006001.pkt")),
              0);
    d.Write("139C0412.flo", "^" + bundle + "\r\n");
    TRunJournal(d / "export.journal")
        .Append(std::vector<TRunJournal::Record>{
            {"export", packet, bundle, "ZIP", d.Path(), "2:5020/1042", d.Path(), "AREA"}});
    SetBundlePacker([](const std::string&, const std::string& archive, const std::string& file,
                       std::vector<std::string>*) {
      return platform::Process::Run(std::vector<std::string>{
                 "sh", "-c", "rm -f \"$1\" && zip -j -q \"$1\" \"$2\"", "sh", archive, file}) == 0;
    });
    EXPECT_TRUE(RecoverExportJournal(d / "export.journal"));
    SetBundlePacker({});
    EXPECT_TRUE(ArchiveHoldsFile(bundle, d / "00006001.pkt"));
    EXPECT_EQ(d.Read("00006002.TH0"), "the user's file under the name of an old copy");
    EXPECT_FALSE(platform::DirExists(d / ".pack-00006002.pkt.Ab12Cd"));
    EXPECT_EQ(platform::FileExists(packet), !inBundle);
    EXPECT_EQ(d.Read("139C0412.flo"),
              "^" + bundle + "\r\n" + (inBundle ? "" : "^" + packet + "\r\n"));
  }
}

// A real bundle: Debian's zip packs the packet, unzip gives it back intact.
TEST(PacketWriter, RealZipBundle) {
  if (test::RunShell("command -v zip >/dev/null && command -v unzip >/dev/null") != 0) {
    GTEST_SKIP() << "zip/unzip not installed";
  }
  Outbound o;
  o.packet.Packer = [](const std::string&, const std::string& archive, const std::string& file,
                       std::vector<std::string>*) {
    return platform::Process::Run(std::vector<std::string>{"zip", "-j", "-q", archive, file}) == 0;
  };
  o.packet.BundleCheck = nullptr;  // read back with our own extractor
  o.link.UsePacker = true;
  PackedFields s;
  s.text = "AREA:ZIP.TEST\rpacked\r";
  o.Add(s);
  const TPacketWriteResult r = o.packet.WritePacket(true);
  ASSERT_TRUE(r.Ok) << r.Error;
  ASSERT_TRUE(r.Packed);
  const std::string x = o.dir / "x/";
  platform::MakeDirs(x);
  ASSERT_EQ(platform::Process::Run(std::vector<std::string>{"unzip", "-q", r.ListedPath, "-d", x}),
            0);
  TMailPacket in(x + platform::NameOf(r.PacketPath));
  ASSERT_EQ(in.GetStatus(), psReady);
  ASSERT_NE(in.NextMail(), nullptr);
  EXPECT_EQ(in.GetMailHeader().AreaName.Str(), "ZIP.TEST");
}

// The standard packers with the real tools: four exports of a day go into
// one bundle, the next day's into a new one, and the outbound then holds
// the bundles, the flow file and the user's files, nothing else: jlha's
// backup of the old archive and every tool's temporary files go with the
// folder the packing ran in. What was packed comes back whole.
TEST(PacketWriter, RealPackersLeaveNothingBehindByTable) {
  struct Case {
    const char* packer;
    const char* tool;
  } cases[] = {{"LHArc", "jlha"}, {"PKZip", "zip"}, {"ARJ", "arj"}, {"PKArc", "arc"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.packer);
    if (test::RunShell(std::string("command -v ") + c.tool + " >/dev/null") != 0) {
      std::cout << "[   INFO   ] " << c.tool << " not installed, skipped\n";
      continue;
    }
    test::ScopedUi ui;
    TPckList list;
    list.AddStandardPackers();
    TPacker* packer = list.PackerByName(c.packer);
    ASSERT_NE(packer, nullptr);
    Outbound o;
    o.link.Packer = c.packer;
    o.link.UsePacker = true;
    o.packet.BundleCheck = nullptr;
    o.packet.Packer = [packer](const std::string&, const std::string& archive,
                               const std::string& file,
                               std::vector<std::string>*) { return packer->Pack(archive, file); };
    std::vector<std::string> packets;  // name and bytes of each packet, as written
    o.packet.OnStage = [&packets](const TOutPacket::Stage& st) {
      if (st.Step == TOutPacket::Stage::Complete)
        packets.push_back(platform::ReadFile(st.PacketPath));
    };
    FileSerial().Reset(0x100);
    // The user's files under names a side file of the old ways could take.
    const std::vector<std::string> users = {"00000101.bak", "00000102.TH0", "00000102.bak",
                                            "00000103.TH0", "00000103.bak"};
    for (const std::string& name : users) o.dir.Write("Outbound/" + name, "the user's " + name);
    std::vector<std::string> bundles;
    for (int n = 0; n < 5; ++n) {
      o.now = Day(n < 4 ? 15 : 16);
      PackedFields message;
      message.text = "AREA:REAL\rexport " + std::to_string(n) + "\r" + std::string(2000 * n, 'x');
      o.Add(message);
      const TPacketWriteResult r = o.packet.WritePacket(true);
      ASSERT_TRUE(r.Ok) << r.Error;
      ASSERT_TRUE(r.Packed) << r.PackFailure;
      if (bundles.empty() || bundles.back() != r.ListedPath) bundles.push_back(r.ListedPath);
    }
    ASSERT_EQ(bundles.size(), 2u);
    std::vector<std::string> left = users;
    for (const std::string& b : bundles) left.push_back(platform::NameOf(b));
    left.push_back("139C0412.flo");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(o.Files(), left);
    for (const std::string& name : users)
      EXPECT_EQ(o.dir.Read("Outbound/" + name), "the user's " + name);
    EXPECT_EQ(o.Flow(), "^" + bundles[0] + "\r\n^" + bundles[1] + "\r\n");
    // The day's bundle gives back its four packets.
    ASSERT_TRUE(packer->Unpack(bundles[0], o.dir / "x/"));
    std::vector<std::string> got;
    for (const auto& e : platform::ScanDir(o.dir / "x/")) got.push_back(o.dir.Read("x/" + e.name));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got, std::vector<std::string>(packets.begin(), packets.begin() + 4));
    EXPECT_TRUE(ui.prompter.Questions().empty());
  }
}

// An export killed after the packer packed the day's bundle's copy and
// before that copy took the bundle's place: the journal's recovery packs the
// packet again, and the folder the killed packing left (the copy, jlha's
// backup) goes with it; the user's files stay.
TEST(PacketWriter, ExportKilledBetweenPackAndRenameIsRecovered) {
  if (test::RunShell("command -v jlha >/dev/null") != 0) GTEST_SKIP() << "jlha not installed";
  test::ScopedUi ui;
  TPckList list;
  list.AddStandardPackers();
  TPacker* lha = list.PackerByName("LHArc");
  Outbound o;
  o.link.Packer = "LHArc";
  o.link.UsePacker = true;
  o.packet.BundleCheck = nullptr;
  o.packet.Packer = [lha](const std::string&, const std::string& archive, const std::string& file,
                          std::vector<std::string>*) { return lha->Pack(archive, file); };
  const std::vector<std::string> users = {"00000301.bak", "00000302.TH0", "00000302.bak"};
  for (const std::string& name : users) o.dir.Write("Outbound/" + name, "the user's " + name);
  FileSerial().Reset(0x300);
  PackedFields first;
  first.text = "AREA:REAL\rfirst\r";
  o.Add(first);
  const TPacketWriteResult r1 = o.packet.WritePacket(true);
  ASSERT_TRUE(r1.Ok && r1.Packed) << r1.Error << r1.PackFailure;
  const std::string journal = o.dir / "export.journal";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    o.packet.OnStage = [&](const TOutPacket::Stage& st) {
      if (st.Step == TOutPacket::Stage::Complete)
        TRunJournal(journal).Append({"export", st.PacketPath, st.BundlePath, st.PackerName,
                                     o.out, "2:5020/1042", o.dir.Path(), "AREA"});
    };
    o.packet.Packer = [lha](const std::string&, const std::string& archive, const std::string& file,
                            std::vector<std::string>*) {
      if (lha->Pack(archive, file)) ::raise(SIGKILL);
      ::_exit(1);
      return false;
    };
    PackedFields second;
    second.text = "AREA:REAL\rsecond\r";
    o.Add(second);
    o.packet.WritePacket(true);
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  const std::string packet = o.out + "00000302.pkt";
  ASSERT_TRUE(platform::FileExists(packet));
  const std::string second = platform::ReadFile(packet);
  bool folderLeft = false;
  for (const std::string& name : o.Files()) folderLeft = folderLeft || name.starts_with(".pack-");
  EXPECT_TRUE(folderLeft) << "the killed packing left its folder";

  SetBundlePacker([lha](const std::string&, const std::string& archive, const std::string& file,
                        std::vector<std::string>*) { return lha->Pack(archive, file); });
  EXPECT_TRUE(RecoverExportJournal(journal));
  SetBundlePacker({});
  std::vector<std::string> left = users;
  left.push_back("00000301.TH0");
  left.push_back("139C0412.flo");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(o.Files(), left) << "the bundle, the flow file and the user's files";
  for (const std::string& name : users)
    EXPECT_EQ(o.dir.Read("Outbound/" + name), "the user's " + name);
  EXPECT_EQ(o.Flow(), "^" + r1.ListedPath + "\r\n");
  o.dir.Write("00000302.pkt", second);
  EXPECT_TRUE(ArchiveHoldsFile(r1.ListedPath, o.dir / "00000302.pkt"));
}

// Packers that end with success are believed only when the bundle they made
// gives the packet back whole and the day's bundle they packed again still
// holds all it held: otherwise the packet stays and is listed bare, the
// day's bundle is as it was, and no broken bundle or copy is left. Whatever
// a packer writes beside the archive or in its working directory (a backup
// of the old archive, temporary files) goes with the folder it packed in;
// files the user had in the outbound under such names stay as they were.
// The check needs no temporary folder; a copy that cannot be made is our
// failure.
TEST(PacketWriter, PackerThatSucceedsWithABrokenBundleKeepsThePacketByTable) {
  if (test::RunShell("command -v zip >/dev/null") != 0) GTEST_SKIP() << "zip not installed";
  const char* const kZip = "zip -j -q \"$1\" \"$2\"";
  struct Case {
    const char* what;
    const char* script;  // $1 the bundle, $2 the packet; run in the packet's folder
    bool daysBundle;     // the flow file lists today's bundle with an earlier packet
    bool packed;
    const char* why;         // in the failure text
    bool copyFails = false;  // the day's bundle is larger than a file may grow
  } cases[] = {
      {"sound zip", kZip, false, true, ""},
      {"garbage", "echo 'not an archive at all' > \"$1\"", false, false,
       "(it is no archive that can be read back)"},
      {"cut in the packet's data",
       "zip -0 -j -q \"$1.z\" \"$2\" && head -c 100 \"$1.z\" > \"$1\" && rm \"$1.z\"", false, false,
       "(Error reading file or unexpected end of file)"},
      {"another file", "echo other > \"$2.x\" && zip -j -q \"$1\" \"$2.x\" && rm \"$2.x\"", false,
       false, " is not in it)"},
      {"no bundle at all", "true", false, false, ""},
      {"sound zip, day's bundle", kZip, true, true, ""},
      {"day's bundle made anew", "rm -f \"$1\" && zip -j -q \"$1\" \"$2\"", true, false,
       "(00000001.pkt that it held is not in it)"},
      {"keeps the old archive as a backup, as jlha does",
       "cp \"$1\" \"${1%.*}.bak\" && zip -j -q \"$1\" \"$2\"", true, true, ""},
      {"leaves temporary files beside the archive and where it runs",
       "echo t > \"$1.tmp\" && echo t > '$$$.$$$' && echo t > \"${1%.*}.$$$\" && zip -j -q \"$1\" "
       "\"$2\"",
       true, true, ""},
      {"leaves temporary files and fails", "echo t > \"$1.tmp\" && echo t > 'ZI0001' && false",
       false, false, ""},
      {"day's bundle that cannot be copied", kZip, true, false,
       ": cannot copy 00000002.TH0: ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Outbound o;
    o.link.Packer = "ZIP";
    o.packet.BundleCheck = nullptr;
    const std::string script = c.script;
    o.packet.Packer = [&script](const std::string&, const std::string& archive,
                                const std::string& file, std::vector<std::string>*) {
      return platform::Process::Run(
                 std::vector<std::string>{"sh", "-c", script, "sh", archive, file},
                 platform::DirOf(file)) == 0;
    };
    o.link.UsePacker = true;
    const std::string day = o.out + "00000002.TH0", earlier = o.dir / "00000001.pkt";
    std::string flow;
    if (c.daysBundle) {
      // Larger than a file may grow while the copy is made.
      o.dir.Write("00000001.pkt", c.copyFails ? Noise(300000) : "an earlier packet");
      ASSERT_EQ(
          test::RunShell("zip -j -q " + test::ShellQuote(day) + " " + test::ShellQuote(earlier)),
          0);
      flow = "^" + day + "\r\n";
      o.dir.Write("Outbound/139C0412.flo", flow);
    }
    // The user's files under names the packer's side files could take: the
    // packet's and the bundles' names with other extensions.
    const std::vector<std::string> users = {"00000010.TH0", "00000010.bak", "00000002.bak",
                                            "00000011.bak", "00000002.TH0.tmp"};
    for (const std::string& name : users) o.dir.Write("Outbound/" + name, "the user's " + name);
    FileSerial().Reset(0x10);
    const std::string dayBytes = c.daysBundle ? platform::ReadFile(day) : "";
    PackedFields s;
    s.text = std::string("AREA:SAFE\r") + std::string(3000, 'm') + "\r";
    o.Add(s);
    o.Add(s);
    o.Add(s);
    // TMPDIR names a file: no temporary folder can be made.
    o.dir.Write("tmp-is-a-file", "");
    const std::string tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", (o.dir / "tmp-is-a-file").c_str(), 1);
    struct rlimit size {};
    ::getrlimit(RLIMIT_FSIZE, &size);
    const struct rlimit before = size;
    if (c.copyFails) {
      ::signal(SIGXFSZ, SIG_IGN);
      size.rlim_cur = 150000;
      ::setrlimit(RLIMIT_FSIZE, &size);
    }
    const TPacketWriteResult r = o.packet.WritePacket(true);
    ::setrlimit(RLIMIT_FSIZE, &before);
    tmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", tmp.c_str(), 1);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Packed, c.packed);
    std::vector<std::string> left = users;
    left.push_back(platform::NameOf(r.ListedPath));
    left.push_back("139C0412.flo");
    if (c.daysBundle && !c.packed) left.push_back("00000002.TH0");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(o.Files(), left) << "no broken bundle, copy or side file is left";
    for (const std::string& name : users) EXPECT_EQ(o.dir.Read("Outbound/" + name), "the user's " + name);
    if (c.packed) {
      EXPECT_FALSE(platform::FileExists(r.PacketPath));
      EXPECT_EQ(o.Flow(), c.daysBundle ? flow : "^" + r.ListedPath + "\r\n");
      EXPECT_TRUE(!c.daysBundle || ArchiveHoldsFile(day, earlier));
      continue;
    }
    // All three mails stay in the packet, which is listed as it is; the
    // day's bundle is untouched.
    EXPECT_EQ(r.ListedPath, r.PacketPath);
    EXPECT_EQ(o.Flow(), flow + "^" + r.PacketPath + "\r\n");
    EXPECT_EQ(c.daysBundle ? platform::ReadFile(day) : "", dayBytes);
    TMailPacket in(r.PacketPath);
    ASSERT_EQ(in.GetStatus(), psReady);
    int mails = 0;
    while (in.NextMail()) ++mails;
    EXPECT_EQ(mails, 3);
    EXPECT_TRUE(r.PackFailure.starts_with(
        (c.copyFails ? "Could not pack " : "The packer ZIP could not pack ") +
        platform::NameOf(r.PacketPath)))
        << r.PackFailure;
    EXPECT_NE(r.PackFailure.find(c.why), std::string::npos) << r.PackFailure;
    EXPECT_EQ(r.PackFailure.find("is not at fault") != std::string::npos, c.copyFails);
  }
}

TEST(PacketWriter, PacketProcessorArguments) {
  struct Case {
    std::string command;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"proc", {"proc", "/o/a b.pkt"}},
      {"proc -x %filename -y", {"proc", "-x", "/o/a b.pkt", "-y"}},
      {"proc --in=%filename %filename", {"proc", "--in=/o/a b.pkt", "%filename"}},
      {"\"my proc\" ;rm -rf x", {"my proc", ";rm", "-rf", "x", "/o/a b.pkt"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PacketProcessorArgs(c.command, "/o/a b.pkt"), c.args) << c.command;
  // A path with a blank, kept without quotes, names the program whole.
  test::TempDir dir;
  const std::string program = dir / "my tools epp";
  std::ofstream(program) << "#!/bin/sh\n";
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  EXPECT_EQ(PacketProcessorArgs(program, "/o/a.pkt"),
            (std::vector<std::string>{program, "/o/a.pkt"}));
  EXPECT_EQ(PacketProcessorArgs(program + " -x %filename", "/o/a.pkt"),
            (std::vector<std::string>{program, "-x", "/o/a.pkt"}));
}

// The processor runs on the written packet before it is listed; the path
// reaches it whole even with a blank in it.
TEST(PacketWriter, PacketProcessorRunsWithoutAShell) {
  Outbound o;
  const std::string dir = o.dir / "with blank/";
  platform::MakeDirs(dir);
  o.link.SetOutbound(dir);
  const std::string copy = o.dir / "copy.pkt";
  o.packet.PacketProcessorCommand = [&] { return "cp %filename \"" + copy + "\""; };
  o.Add(PackedFields{});
  const TPacketWriteResult r = o.packet.WritePacket(false);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(platform::ReadFile(copy), platform::ReadFile(r.PacketPath));
  // The exit code is handed back; a program that cannot start is no failure.
  EXPECT_EQ(RunPacketProcessorCommand("", r.PacketPath), -1);
  EXPECT_EQ(RunPacketProcessorCommand("/nonexistent/processor %filename", r.PacketPath), -1);
  EXPECT_EQ(RunPacketProcessorCommand("false", r.PacketPath), 1);
  EXPECT_EQ(BundleDayExtension(Day(18)), ".SU");
  EXPECT_EQ(BundleDayExtension(Day(19)), ".MO");
}

}  // namespace
}  // namespace velmaris
