#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PacketFixtures.h"
#include "archive/ArchiveCheck.h"
#include "core/NetLink.h"
#include "core/RunJournal.h"
#include "core/SerialCounter.h"
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
using test::PackedSpec;

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
  void Add(const PackedSpec& s) {
    mails.push_back(MailOfImage(PackedMessage(s)));
    packet.AddMail(mails.back().get());
  }
  std::string Flow() const {
    const std::string path = out + "139C0412.flo";
    return platform::FileExists(path) ? platform::ReadFile(path) : std::string("<none>");
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : platform::ScanDir(out)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
};

// A packer that appends the file's bytes to the archive and records the call.
struct FakePacker {
  std::vector<std::string> calls;
  bool succeed = true;
  TBundlePacker Fn() {
    return [this](const std::string& packer, const std::string& archive, const std::string& file) {
      calls.push_back(packer + " " + platform::NameOf(archive) + " " + platform::NameOf(file));
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
  PackedSpec echo;
  echo.text =
      "AREA:TEST\r\x01MSGID: 2:5020/1042.7 0000abcd\rHello\r * Origin: Home (2:5020/1042.7)\r";
  PackedSpec net;
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
    PackedSpec s;
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
  o.Add(PackedSpec{});
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
         PackedSpec s;
         s.subject = std::string(73, 'x');
         o.Add(s);
       }},
  };
  for (const Case& c : cases) {
    Outbound o;
    o.Add(PackedSpec{});
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

  o.Add(PackedSpec{});
  TPacketWriteResult r1 = o.packet.WritePacket(true);
  ASSERT_TRUE(r1.Ok) << r1.Error;
  EXPECT_TRUE(r1.Packed);
  EXPECT_EQ(platform::NameOf(r1.ListedPath), "00003001.TH0");  // 00003000 named the packet
  EXPECT_FALSE(platform::FileExists(r1.PacketPath));
  const std::string line = "^" + r1.ListedPath + "\r\n";
  EXPECT_EQ(o.Flow(), line);

  // The same day: into the same bundle, no new line; the packer packs a
  // copy named after the packet, which then takes the bundle's place.
  o.Add(PackedSpec{});
  TPacketWriteResult r2 = o.packet.WritePacket(true);
  ASSERT_TRUE(r2.Ok) << r2.Error;
  EXPECT_EQ(r2.ListedPath, r1.ListedPath);
  EXPECT_FALSE(r2.NewFlowLine);
  EXPECT_EQ(o.Flow(), line);
  EXPECT_EQ(packer.calls, (std::vector<std::string>{"ZIP 00003001.TH0 00003000.pkt",
                                                    "ZIP 00003002.TH0 00003002.pkt"}));

  // The next day starts its own bundle and line.
  o.now = Day(16);
  o.Add(PackedSpec{});
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
    o.Add(PackedSpec{});
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
  } cases[] = {
      {"packer fails", true, false, true, true},
      {"no packer", false, true, true, true},
      {"uplink packs nothing", true, true, false, true},
      {"single export", true, true, true, false},
  };
  for (const Case& c : cases) {
    Outbound o;
    FakePacker packer;
    packer.succeed = c.succeed;
    o.packet.Packer = c.havePacker ? packer.Fn() : TBundlePacker([](auto&, auto&, auto&) {
      return false;  // the packer list knows no such packer
    });
    o.link.UsePacker = c.usePacker;
    o.Add(PackedSpec{});
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
  o.Add(PackedSpec{});
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
TEST(PacketWriter, RecoveryWithAPackerThatMakesTheBundleAnewByTable) {
  if (test::RunShell("command -v zip >/dev/null") != 0) GTEST_SKIP() << "zip not installed";
  for (const bool inBundle : {true, false}) {
    SCOPED_TRACE(inBundle ? "the bundle holds the packet" : "the bundle lacks it");
    test::TempDir d;
    const std::string bundle = d / "00006000.TH0", packet = d / "00006002.pkt";
    d.Write("00006001.pkt", "the day's earlier packet");
    d.Write("00006002.pkt", "the cut-off run's packet");
    d.Write("00006002.TH0", "a copy the run left");
    ASSERT_EQ(test::RunShell("cd " + test::ShellQuote(d.Path()) + " && zip -q 00006000.TH0 " +
                             (inBundle ? "00006001.pkt 00006002.pkt" : "00006001.pkt")),
              0);
    d.Write("139C0412.flo", "^" + bundle + "\r\n");
    TRunJournal(d / "export.journal")
        .Append(std::vector<TRunJournal::Record>{
            {"export", packet, bundle, "ZIP", d.Path(), "2:5020/1042", d.Path(), "AREA"}});
    SetBundlePacker([](const std::string&, const std::string& archive, const std::string& file) {
      return platform::Process::Run(std::vector<std::string>{
                 "sh", "-c", "rm -f \"$1\" && zip -j -q \"$1\" \"$2\"", "sh", archive, file}) == 0;
    });
    EXPECT_TRUE(RecoverExportJournal(d / "export.journal"));
    SetBundlePacker({});
    EXPECT_TRUE(ArchiveHoldsFile(bundle, d / "00006001.pkt"));
    EXPECT_FALSE(platform::FileExists(d / "00006002.TH0"));
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
  o.packet.Packer = [](const std::string&, const std::string& archive, const std::string& file) {
    return platform::Process::Run(std::vector<std::string>{"zip", "-j", "-q", archive, file}) == 0;
  };
  o.packet.BundleCheck = nullptr;  // read back with our own extractor
  o.link.UsePacker = true;
  PackedSpec s;
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

// Packers that end with success are believed only when the bundle they made
// gives the packet back whole and the day's bundle they packed again still
// holds all it held: otherwise the packet stays and is listed bare, the
// day's bundle is as it was, and no broken bundle or copy is left. The check
// needs no temporary folder; a copy that cannot be made is our failure.
TEST(PacketWriter, PackerThatSucceedsWithABrokenBundleKeepsThePacketByTable) {
  if (test::RunShell("command -v zip >/dev/null") != 0) GTEST_SKIP() << "zip not installed";
  const char* const kZip = "zip -j -q \"$1\" \"$2\"";
  struct Case {
    const char* what;
    const char* script;  // $1 the bundle, $2 the packet
    bool daysBundle;     // the flow file lists today's bundle with an earlier packet
    bool packed;
    const char* why;           // in the failure text
    bool copyBlocked = false;  // a folder where the copy of the day's bundle goes
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
                                const std::string& file) {
      return platform::Process::Run(
                 std::vector<std::string>{"sh", "-c", script, "sh", archive, file}) == 0;
    };
    o.link.UsePacker = true;
    const std::string day = o.out + "00000002.TH0", earlier = o.dir / "00000001.pkt";
    std::string flow;
    if (c.daysBundle) {
      o.dir.Write("00000001.pkt", "an earlier packet");
      ASSERT_EQ(
          test::RunShell("zip -j -q " + test::ShellQuote(day) + " " + test::ShellQuote(earlier)),
          0);
      flow = "^" + day + "\r\n";
      o.dir.Write("Outbound/139C0412.flo", flow);
    }
    FileSerial().Reset(0x10);
    if (c.copyBlocked) platform::MakeDirs(o.out + "00000010.TH0");
    const std::string dayBytes = c.daysBundle ? platform::ReadFile(day) : "";
    PackedSpec s;
    s.text = std::string("AREA:SAFE\r") + std::string(3000, 'm') + "\r";
    o.Add(s);
    o.Add(s);
    o.Add(s);
    // TMPDIR names a file: no temporary folder can be made.
    o.dir.Write("tmp-is-a-file", "");
    const std::string tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", (o.dir / "tmp-is-a-file").c_str(), 1);
    const TPacketWriteResult r = o.packet.WritePacket(true);
    tmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", tmp.c_str(), 1);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Packed, c.packed);
    std::vector<std::string> left = {platform::NameOf(r.ListedPath), "139C0412.flo"};
    if (c.daysBundle && !c.packed) left.push_back("00000002.TH0");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(o.Files(), left) << "no broken bundle or copy is left";
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
        (c.copyBlocked ? "Could not pack " : "The packer ZIP could not pack ") +
        platform::NameOf(r.PacketPath)))
        << r.PackFailure;
    EXPECT_NE(r.PackFailure.find(c.why), std::string::npos) << r.PackFailure;
    EXPECT_EQ(r.PackFailure.find("is not at fault") != std::string::npos, c.copyBlocked);
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
  o.Add(PackedSpec{});
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
