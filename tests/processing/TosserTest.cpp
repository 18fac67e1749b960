// The tosser end to end over a temporary start directory: routing to areas,
// BAD and new areas, the duplicate modes, personal mail, aborts, failed area
// writes, damaged packets and the log.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "../archive/RarFixtures.h"
#include "TosserFixtures.h"
#include "core/MsgBaseFixtures.h"
#include "core/KQMail.h"
#include "core/RunJournal.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/MailPacket.h"

namespace velmaris::test {
namespace {

using platform::MsgKind;

class TosserTest : public TosserFixture {};

TEST(TosserNames, DamagedPacketNameAndDupeKey) {
  struct Case {
    const char* name;
    const char* bad;
  } cases[] = {{"0000abcd.pkt", "0000abcd.bad"},
               {"X.PK1", "X.bad"},
               {"noext", "noext.bad"},
               {".pkt", ".pkt.bad"},
               {"a.b.pkt", "a.b.bad"}};
  for (const auto& c : cases) EXPECT_EQ(DamagedPacketName(c.name), c.bad) << c.name;

  // The key covers the first 190 bytes only.
  std::string a(300, 'x'), b = a;
  b[250] = 'y';
  EXPECT_EQ(DupeKeyOf(a), DupeKeyOf(b));
  b[100] = 'y';
  EXPECT_NE(DupeKeyOf(a), DupeKeyOf(b));
  EXPECT_EQ(DupeKeyOf("abc"), 0x352441C2u);  // CRC-32 of the whole short message
}

TEST_F(TosserTest, EmptyInboundGivesTheBareLog) {
  const TTossCounters c = Toss();
  EXPECT_EQ(log, (std::vector<std::string>{"Starting import", "0 messages from 0 packets imported.",
                                           "Import finished"}));
  EXPECT_FALSE(c.Failed);
  EXPECT_TRUE(view.finished);
  EXPECT_TRUE(platform::DirExists(Backup()));
}

TEST_F(TosserTest, MessagesAreRoutedByTagAndSettings) {
  const std::string cyrillic = "RU.\xD2\xC5\xD1\xD2";  // RU.ТЕСТ, stored in CP1251
  const std::string utf8Test = "RU.\xD0\xA2\xD0\x95\xD0\xA1\xD0\xA2";          // RU.ТЕСТ
  const std::string utf8Hedgehog = "RU.\xD0\x81\xD0\x96\xD0\x98\xD0\x9A";      // RU.ЁЖИК
  const std::string utf8Sess = "RU.\xD0\xA1\xD0\x95\xD0\xA1\xD0\xA1";          // RU.СЕСС
  const std::string utf8Archive = "\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2";  // архив
  const std::string utf8SmallHedgehog = "ru.\xD1\x91\xD0\xB6\xD0\xB8\xD0\xBA";  // ru.ёжик
  // UTF-8 of letters whose bytes the OEM page holds as well: CP866 reads
  // "RU.РЎРЎРЎР" and a no-break space, and they go into CP1251 and back.
  const std::string utf8Ussr = "RU.\xD0\xA1\xD0\xA1\xD0\xA1\xD0\xA0";  // RU.СССР
  const std::string utf8Rf = "SU.\xD0\xA0\xD0\xA4";                    // SU.РФ
  const std::string utf8Trs = "RU.\xD0\xA2\xD0\xA0\xD0\xA1";           // RU.ТРС
  struct Case {
    const char* what;
    std::string tag;  // "" for netmail; Cyrillic letters in CP866
    int doCreate;
    uint16_t fromNet;  // the packet's origin net (the uplink is 5030/1)
    std::string area;  // where the message lands
    bool created;      // a new echo area was made
    std::string body = "Hi\r";
    std::string wire = "";  // the AREA tag of a reply from that area, when checked
    std::string fileName = "";  // the new area's file name, when checked
    std::string beside = "";    // an area there is besides KNOWN.ECHO and RU.ТЕСТ
    std::string logged = "";    // the name in "Area ... has been created" (ANSI page)
    std::string reported = "";  // and in REPORT (OEM page)
    std::string shown = "";     // the new area's name in a window (UTF-8)
  } cases[] = {
      {"known echo", "KNOWN.ECHO", 0, 5030, "KNOWN.ECHO", false},
      {"netmail", "", 0, 5030, "NETMAIL", false},
      {"new echo from the uplink", "NEW.ECHO", 0, 5030, "NEW.ECHO", true},
      {"new echo from a stranger", "NEW.ECHO", 0, 4000, "BAD", false},
      {"creation switched off", "NEW.ECHO", 1, 5030, "BAD", false},
      {"tag in lower case", "known.echo", 0, 4000, "KNOWN.ECHO", false},
      {"Cyrillic tag", "RU.\x92\x85\x91\x92", 0, 5030, cyrillic, false},
      {"Cyrillic tag in small letters", "ru.\xE2\xA5\xE1\xE2", 0, 5030, cyrillic, false},
      {"Cyrillic tag in mixed letters", "Ru.\x92\xA5\xE1\xE2", 0, 5030, cyrillic, false},
      {"Cyrillic tag, the CHRS line LATIN-1", "RU.\x92\x85\x91\x92", 0, 5030, cyrillic, false,
       "\x01"
       "CHRS: LATIN-1 2\rHi\r",
       "RU.\x92\x85\x91\x92"},
      // Tags the ANSI page cannot hold keep their bytes (ASCII letters
      // raised), land in an area of those bytes and go back as they came.
      // Its file name is taken by the CP1251 area of the same letters.
      {"UTF-8 tag", utf8Test, 0, 5030, utf8Test, true, "Hi\r", utf8Test, utf8Test + "~2", "",
       "RU.\xD2\xC5\xD1\xD2", "RU.\x92\x85\x91\x92"},
      {"UTF-8 tag with Yo", utf8Hedgehog, 0, 5030, utf8Hedgehog, true, "Hi\r", utf8Hedgehog},
      {"UTF-8 tag in small letters", "ru." + utf8Archive, 0, 5030, "RU." + utf8Archive, true,
       "Hi\r", "RU." + utf8Archive},
      {"UTF-8 tag beside a look-alike", utf8Sess, 0, 5030, utf8Sess, true, "Hi\r", utf8Sess, "",
       utf8Test},
      // UTF-8 small letters find the area of the capitals, as CP866 ones do.
      {"UTF-8 tag in small Cyrillic letters", utf8SmallHedgehog, 0, 5030, utf8Hedgehog, false,
       "Hi\r", utf8Hedgehog, "", utf8Hedgehog},
      // CB A8 (CP1251 "ЛЁ") is valid UTF-8 too; the tag came from the OEM
      // page all the same, and goes back to it.
      {"CP866 tag that reads as UTF-8 in the ANSI page", "RU.\x8B\xF0", 0, 5030, "RU.\xCB\xA8",
       true, "Hi\r", "RU.\x8B\xF0", "RU.\xD0\x9B\xD0\x81"},
      {"CP866 tag with a byte the ANSI page lacks", "ru.\xE2\xA5\xE1\xE2\xDB", 0, 5030,
       "RU.\xE2\xA5\xE1\xE2\xDB", true, "Hi\r", "RU.\xE2\xA5\xE1\xE2\xDB"},
      // UTF-8 that also converts from CP866 and back is UTF-8 all the same:
      // filed, shown and answered as the letters it holds, never as the
      // CP866 tag "RU.РЎРЎРЎР" its bytes also spell.
      {"UTF-8 tag whose bytes CP866 holds", utf8Ussr, 0, 5030, utf8Ussr, true, "Hi\r", utf8Ussr,
       utf8Ussr, "", "RU.\xD1\xD1\xD1\xD0", "RU.\x91\x91\x91\x90", utf8Ussr},
      {"UTF-8 SU.RF", utf8Rf, 0, 5030, utf8Rf, true, "Hi\r", utf8Rf, utf8Rf, "", "SU.\xD0\xD4",
       "SU.\x90\x94", utf8Rf},
      {"UTF-8 RU.TRS beside the CP866 RU.TEST", utf8Trs, 0, 5030, utf8Trs, true, "Hi\r", utf8Trs,
       utf8Trs, "", "", "", utf8Trs},
      {"UTF-8 tag whose bytes CP866 holds, into its area", utf8Ussr, 0, 4000, utf8Ussr, false,
       "Hi\r", utf8Ussr, "", utf8Ussr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    AddEcho("KNOWN.ECHO");
    AddEcho(cyrillic);
    // RU.ТЕСТ in UTF-8 is RU.СЕСС upper-cased as if it were CP1251.
    if (!c.beside.empty()) AddEcho(c.beside);
    Set(SettingId::DoCreate, c.doCreate);
    Drop("00000001.pkt",
         PacketFrom({EchoMessage(c.tag, "one " + std::string(c.what), "All", c.body)}, c.fromNet));
    const TTossCounters counters = Toss();
    const auto mails = Mails(c.area);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "one " + std::string(c.what));
    EXPECT_EQ(mails[0].flags, MsgFlag::New | MsgFlag::Unread);
    EXPECT_EQ(counters.AreasCreated, c.created ? 1 : 0);
    if (c.created) {
      TArea* area = store->FindArea(c.area);
      ASSERT_NE(area, nullptr);
      EXPECT_EQ(area->AreaType, AreaTypeCode::Echomail);
      EXPECT_EQ(area->Uplink, store->Uplinks().GetItem(0));
      if (!c.fileName.empty()) {
        EXPECT_EQ(area->FileName, c.fileName);
      }
      if (!c.shown.empty()) {
        // The area list shows the area by the letters its tag holds.
        EXPECT_EQ(area->NameText(), c.shown);
      }
    }
    if (!c.logged.empty()) {
      // The log and REPORT name the area by the letters it holds.
      EXPECT_TRUE(LoggedPart("Area " + c.logged + " has been created for uplink"));
      ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }));
      const auto reports = Mails("REPORT");
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_NE(reports[0].text.find("Area " + c.reported + " has been created"), std::string::npos)
          << reports[0].text;
    }
    EXPECT_EQ(NamesIn(Backup()), std::vector<std::string>{"00000001.pkt"});
    if (c.wire.empty()) continue;
    // A reply from the area names the echo as the uplink sent it.
    TArea* area = store->FindArea(c.area);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->Name, c.area);
    const std::string body = ComposedBody(area);
    EXPECT_EQ(body.substr(0, 6 + c.wire.size()), "AREA:" + c.wire + "\r");
  }
}

TEST_F(TosserTest, SameNewTagTwiceMakesOneAreaSavedAtOnce) {
  Drop("00000001.pkt",
       PacketFrom({EchoMessage("FRESH.ECHO", "first"), EchoMessage("FRESH.ECHO", "second")}));
  Drop("00000002.pkt", PacketFrom({EchoMessage("fresh.echo", "third")}));
  const TTossCounters c = Toss();
  EXPECT_EQ(c.AreasCreated, 1);
  EXPECT_EQ(Mails("FRESH.ECHO").size(), 3u);
  int found = 0;
  for (TArea* area : store->Areas().Areas()) found += area->Name == "FRESH.ECHO";
  EXPECT_EQ(found, 1);
  // The configuration on disk knows the area without a further save.
  platform::Registry reread(dir / "Velmaris.reg");
  TConfigStore other(Start(), reread);
  other.LoadFromRegistry();
  EXPECT_NE(other.FindArea("FRESH.ECHO"), nullptr);
}

TEST_F(TosserTest, MissingBadAndDupesAreCreated) {
  // Taken out of the list as if the user had deleted them.
  std::vector<std::unique_ptr<TArea>> removed;
  for (const char* name : {"BAD", "DUPES"}) {
    const int index = store->Areas().IndexOfName(name);
    ASSERT_GE(index, 0);
    removed.push_back(store->Areas().Remove(index));
  }
  Set(SettingId::DoCreate, 1);
  const std::string dupe = EchoMessage("LOST.ECHO", "twice");
  Drop("00000001.pkt", PacketFrom({dupe, dupe}));
  const TTossCounters c = Toss();
  EXPECT_EQ(c.AreasCreated, 2);
  EXPECT_EQ(Mails("BAD").size(), 1u);
  EXPECT_EQ(Mails("DUPES").size(), 1u);
  EXPECT_EQ(store->FindArea("BAD")->AreaType, AreaTypeCode::Badmail);
  EXPECT_EQ(store->FindArea("DUPES")->AreaType, AreaTypeCode::Dupes);
  EXPECT_TRUE(Logged("Area BAD has been created."));
}

TEST_F(TosserTest, DupesModes) {
  struct Case {
    int mode;
    size_t inEcho, inDupes;
    uint32_t ringCount;
  } cases[] = {{0, 2, 2, 2}, {1, 2, 0, 2}, {2, 4, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("Dupes " + std::to_string(c.mode));
    Fresh();
    AddEcho("ECHO");
    Set(SettingId::Dupes, c.mode);
    const std::vector<std::string> two = {EchoMessage("ECHO", "a"), EchoMessage("ECHO", "b")};
    Drop("00000001.pkt", PacketFrom(two));
    Toss();
    // The same messages again in a packet of another name and run.
    Drop("00000002.pkt", PacketFrom(two));
    const TTossCounters second = Toss();
    EXPECT_EQ(Mails("ECHO").size(), c.inEcho);
    EXPECT_EQ(Mails("DUPES").size(), c.inDupes);
    EXPECT_EQ(dupes.Count(), c.ringCount);
    EXPECT_EQ(second.Duplicates, c.mode == 2 ? 0 : 2);
    // Saved at the end of the run.
    TDupeChecker reloaded(Start() + kDupesFileName);
    EXPECT_EQ(reloaded.Count(), c.ringCount);
  }
}

TEST_F(TosserTest, PersonalMailIsMarkedAndListed) {
  store->SettingsModel().SetLines(SettingId::SysopNames, {"Point Seven", "", "P. Seven"});
  Drop("00000001.pkt",
       PacketFrom({EchoMessage("", "for me", "POINT SEVEN"), EchoMessage("", "for him", "Other"),
                   EchoMessage("", "alias", "p. seven")}));
  const TTossCounters c = Toss();
  EXPECT_EQ(c.Personal, 2);
  const auto mails = Mails("NETMAIL");
  ASSERT_EQ(mails.size(), 3u);
  EXPECT_EQ(mails[0].flags, MsgFlag::New | MsgFlag::Unread | MsgFlag::ToSysop);
  EXPECT_EQ(mails[1].flags, MsgFlag::New | MsgFlag::Unread);
  EXPECT_EQ(mails[2].flags & MsgFlag::ToSysop, MsgFlag::ToSysop);
  EXPECT_EQ(view.toSysop, (std::vector<std::string>{"NETMAIL: Joe Remote(2:5030/1) \"for me\"",
                                                    "NETMAIL: Joe Remote(2:5030/1) \"alias\""}));
}

TEST_F(TosserTest, AbortBetweenPacketsStillWritesWhatWasQueued) {
  AddEcho("ECHO");
  Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "p1")}));
  Drop("00000002.pkt", PacketFrom({EchoMessage("ECHO", "p2")}));
  view.onLog = [this](const std::string& line) {
    if (line.find("messages from 00000001.pkt") != std::string::npos && current) current->Abort();
  };
  const TTossCounters c = Toss();
  EXPECT_TRUE(c.Aborted);
  EXPECT_TRUE(Logged("Import aborted by user!"));
  EXPECT_TRUE(Logged("Import finished"));
  EXPECT_EQ(Mails("ECHO").size(), 1u);
  EXPECT_EQ(InboundNames(), (std::vector<std::string>{"00000002.pkt"}));
  EXPECT_EQ(NamesIn(Backup()), std::vector<std::string>{"00000001.pkt"});
  // The log still reached REPORT.
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }));
  EXPECT_EQ(Mails("REPORT").size(), 1u);
}

TEST_F(TosserTest, AbortInsideAPacketKeepsItsRestForTheNextRun) {
  AddEcho("ECHO");
  store->SettingsModel().SetLines(SettingId::SysopNames, {"Point Seven"});
  std::vector<std::string> five;
  for (int i = 0; i < 5; ++i)
    five.push_back(EchoMessage("ECHO", "m" + std::to_string(i), i == 1 ? "Point Seven" : "All"));
  Drop("00000001.pkt", PacketFrom(five));
  // The second message is personal: the abort arrives while it is placed.
  view.onToSysop = [this](const std::string&) {
    if (current) current->Abort();
  };
  Toss();
  EXPECT_EQ(Mails("ECHO").size(), 2u);
  const auto inbound = InboundNames();
  ASSERT_EQ(inbound.size(), 1u);  // the rest
  EXPECT_EQ(NamesIn(Backup()), std::vector<std::string>{"00000001.pkt"});

  view.onToSysop = nullptr;
  const TTossCounters next = Toss();
  EXPECT_EQ(next.Duplicates, 0);
  const auto mails = Mails("ECHO");
  ASSERT_EQ(mails.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(mails[size_t(i)].subject, "m" + std::to_string(i));
}

// Text that does not compress, so that its record is as large as it.
std::string Noise(size_t size) {
  std::string text;
  uint32_t x = 12345;
  while (text.size() < size) {
    x = x * 1103515245u + 12345u;
    text += static_cast<char>('a' + (x >> 16) % 26);
  }
  return text + "\r";
}

void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{bytes, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(TosserTest, FailedWritesStoreNothingAndKeepThePackets) {
  struct Case {
    const char* what;
    std::function<void(TArea&)> breakIt, mend;
    bool needsNonRoot;
    const char* bundle =
        nullptr;  // "zip", "rar": the packets come in one bundle, the large one last
    const char* failed = "BROKEN";
  } cases[] = {
      {"a folder where the body file belongs",
       [](TArea& a) { platform::MakeDirs(a.FilePath(".PackedBody")); },
       [](TArea& a) { RunShell("rmdir '" + a.FilePath(".PackedBody") + "'"); }, false},
      {"a file-size limit", [](TArea&) { LimitFileSize(4096); },
       [](TArea&) { LimitFileSize(RLIM_INFINITY); }, false},
      {"a read-only area folder", [](TArea& a) { ::chmod(a.BaseDir.c_str(), 0555); },
       [](TArea& a) { ::chmod(a.BaseDir.c_str(), 0755); }, true},
      // The disk is full, not the bundle damaged: it keeps its name.
      {"a file-size limit while a bundle is unpacked", [](TArea&) { LimitFileSize(4096); },
       [](TArea&) { LimitFileSize(RLIM_INFINITY); }, false, "zip",
       "Bundle 0000feed.mo0 could not be unpacked: File too large"},
      {"a file-size limit while a RAR bundle is unpacked", [](TArea&) { LimitFileSize(4096); },
       [](TArea&) { LimitFileSize(RLIM_INFINITY); }, false, "rar",
       "Bundle 0000feed.mo0 could not be unpacked: File too large"},
      // The bundle was unpacked whole: it takes its name back, its packets go.
      {"a folder where the body file belongs, the mail in a bundle",
       [](TArea& a) { platform::MakeDirs(a.FilePath(".PackedBody")); },
       [](TArea& a) { RunShell("rmdir '" + a.FilePath(".PackedBody") + "'"); }, false, "zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsNonRoot && geteuid() == 0) continue;  // root writes anyway
    Fresh();
    AddEcho("FINE");
    TArea* broken = AddEcho("BROKEN");
    std::vector<std::string> names;
    if (c.bundle) {
      const std::string small = PacketFrom({EchoMessage("FINE", "y")});
      const std::string large = PacketFrom({EchoMessage("BROKEN", "x", "All", Noise(6000))});
      if (std::string(c.bundle) == "rar") {
        Drop("0000feed.mo0", Rar4Stored({{"00000000.pkt", small}, {"00000001.pkt", large}}));
      } else {
        Drop("00000000.pkt", small);
        Drop("00000001.pkt", large);
        ASSERT_EQ(RunShell("cd '" + Inbound() +
                           "' && zip -0 -j -q 0000feed.mo0 00000000.pkt 00000001.pkt && rm *.pkt"),
                  0);
      }
      names = {"0000feed.mo0"};
    } else {
      Drop("00000001.pkt",
           PacketFrom({EchoMessage("FINE", "y"), EchoMessage("BROKEN", "x", "All", Noise(6000))}));
      names = {"00000001.pkt"};
    }
    c.breakIt(*broken);
    const TTossCounters failed = Toss();
    c.mend(*broken);
    EXPECT_TRUE(failed.WriteFailed);
    EXPECT_NE(failed.Error.find(c.failed), std::string::npos) << failed.Error;
    EXPECT_TRUE(Mails("FINE").empty());
    EXPECT_EQ(InboundNames(), names);
    EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpacked"));  // a failed run leaves no folder
    EXPECT_EQ(dupes.Count(), 0u);
    EXPECT_FALSE(platform::FileExists(Start() + kImportJournalName));

    const TTossCounters next = Toss();
    EXPECT_FALSE(next.WriteFailed);
    EXPECT_EQ(next.Duplicates, 0);
    EXPECT_EQ(Mails("FINE").size(), 1u);
    EXPECT_EQ(Mails("BROKEN").size(), 1u);
    if (c.bundle) names = {"00000000.pkt", "00000001.pkt", "0000feed.mo0"};
    EXPECT_EQ(NamesIn(Backup()), names);
    EXPECT_EQ(InboundNames(), std::vector<std::string>{});
    EXPECT_FALSE(platform::DirExists(Inbound() + ".Unpacked"));
  }
}

TEST_F(TosserTest, AFailedConfigurationSaveUndoesTheNewAreas) {
  Drop("00000001.pkt", PacketFrom({EchoMessage("NEW.ONE", "a"), EchoMessage("NEW.TWO", "b")}));
  // The registry file cannot replace a folder in its place.
  const std::string reg = dir / "Velmaris.reg";
  RunShell("rm -f '" + reg + "' && mkdir '" + reg + "'");
  const TTossCounters c = Toss();
  RunShell("rmdir '" + reg + "'");
  EXPECT_TRUE(c.WriteFailed);
  EXPECT_EQ(InboundNames(), std::vector<std::string>{"00000001.pkt"});
  EXPECT_TRUE(Mails("NEW.ONE").empty());
  Toss();
  EXPECT_EQ(Mails("NEW.ONE").size(), 1u);
  EXPECT_EQ(Mails("NEW.TWO").size(), 1u);
}

TEST_F(TosserTest, QueuesBeyondTheBudgetAreWrittenDuringTheRun) {
  AddEcho("BIG");
  std::vector<std::string> messages;
  const size_t count = kTossQueueBudget / 20000 + 50;
  for (size_t i = 0; i < count; ++i)
    messages.push_back(EchoMessage("BIG", "m" + std::to_string(i), "All", Noise(20000)));
  Drop("00000001.pkt", PacketFrom(messages));
  bool writtenWhileReading = false;
  view.onLog = [&](const std::string& line) {
    if (line.find("messages from 00000001.pkt") != std::string::npos)
      writtenWhileReading = platform::FileExists(store->FindArea("BIG")->FilePath(".PackedBody"));
  };
  const TTossCounters c = Toss();
  view.onLog = nullptr;
  EXPECT_TRUE(writtenWhileReading);
  EXPECT_EQ(c.Written, static_cast<int>(count));
  const auto mails = Mails("BIG");
  ASSERT_EQ(mails.size(), count);
  EXPECT_EQ(mails.back().subject, "m" + std::to_string(count - 1));
}

TEST_F(TosserTest, DamagedPacketsArePutAsideOnce) {
  const std::string good1 = EchoMessage("", "first"), good2 = EchoMessage("", "second");
  const std::string third = EchoMessage("", "third");
  TPacketHeader unknownType = PeerHeader();
  unknownType.PacketType = 3;
  struct Case {
    const char* what;
    std::string bytes;
    int warnPacket;
    size_t placed;
    bool putAside;
    bool warned;
  } cases[] = {
      {"cut inside the third message",
       PacketFrom({good1, good2, third}).substr(0, 58 + good1.size() + good2.size() + 40), 0, 2,
       true, false},
      {"cut, with warning",
       PacketFrom({good1, good2, third}).substr(0, 58 + good1.size() + good2.size() + 40), 1, 2,
       true, true},
      {"two bytes too many, no warning", PacketFrom({good1, good2}) + "\x07\x07", 0, 2, false,
       false},
      {"two bytes too many, warning", PacketFrom({good1, good2}) + "\x07\x07", 1, 2, true, true},
      {"unknown packet type", PacketOf(unknownType, good1), 0, 0, true, false},
      {"subject too long", PacketFrom({good1, EchoMessage("", std::string(73, 's'))}), 0, 1, true,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    Set(SettingId::WarnPacket, c.warnPacket);
    Drop("0000abcd.pkt", c.bytes);
    const TTossCounters first = Toss();
    EXPECT_EQ(Mails("NETMAIL").size(), c.placed);
    EXPECT_EQ(first.DamagedPackets, c.putAside ? 1 : 0);
    if (c.putAside) {
      EXPECT_EQ(InboundNames(), std::vector<std::string>{"0000abcd.bad"});
      EXPECT_EQ(platform::ReadFile(Inbound() + "0000abcd.bad"), c.bytes);
    } else {
      EXPECT_EQ(NamesIn(Backup()), std::vector<std::string>{"0000abcd.pkt"});
    }
    bool warned = false;
    for (const auto& q : prompter.Questions()) warned |= q.kind == MsgKind::Warning;
    EXPECT_EQ(warned, c.warned);
    EXPECT_EQ(Logged("WARINIG! Packet file is large than the data  it should contain: "
                     "0000abcd.pkt"),
              c.warnPacket == 1);
    // Put aside or moved to the backup: never "left" under its name.
    EXPECT_FALSE(Logged("Packet 0000abcd.pkt left in Inbound ."));
    // Never read twice.
    Toss();
    EXPECT_EQ(Mails("NETMAIL").size(), c.placed);
  }
}

TEST_F(TosserTest, AMessageTooLargeToStoreIsSkippedAndItsPacketKeptAside) {
  // Its text alone passes the 64 MiB a stored message may have.
  const std::string good1 = EchoMessage("", "before"), good2 = EchoMessage("", "after");
  const std::string big =
      EchoMessage("", "huge", "All", std::string(kMaxPackedMessageSize, 'x') + "\r");
  for (const int warnPacket : {0, 1}) {
    SCOPED_TRACE(warnPacket);
    Fresh();
    Set(SettingId::WarnPacket, warnPacket);
    Drop("0000abcd.pkt", PacketFrom({good1, big, good2}));
    const TTossCounters c = Toss();
    const auto mails = Mails("NETMAIL");
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].subject, "before");
    EXPECT_EQ(mails[1].subject, "after");
    EXPECT_EQ(c.DamagedPackets, 0);
    // Kept aside, never only in the backup that the next run empties.
    EXPECT_EQ(NamesIn(Backup()), std::vector<std::string>{});
    EXPECT_EQ(InboundNames(), std::vector<std::string>{"0000abcd.bad"});
    EXPECT_EQ(platform::ReadFile(Inbound() + "0000abcd.bad"), PacketFrom({good1, big, good2}));
    EXPECT_TRUE(
        Logged("Message 2 of packet 0000abcd.pkt (offset " + std::to_string(58 + good1.size()) +
               ", " + std::to_string(big.size()) +
               " bytes) is larger than the 64 MB a message may have and has been skipped; it is "
               "kept in 0000abcd.bad ."));
    EXPECT_EQ(TossShortfall(c),
              "a packet held a message too large to store and has been put aside");
    EXPECT_FALSE(LoggedPart("WARINIG!"));
    EXPECT_FALSE(LoggedPart("left in Inbound"));
    EXPECT_EQ(TossShortfall(Toss()), "");  // once
    EXPECT_EQ(Mails("NETMAIL").size(), 2u);
  }
}

// Import filters and area-list replies join through their interfaces.
class KillSpamFilters : public TImportFilters {
 public:
  void ResetMatches() override { matches = 0; }
  Outcome Apply(TMail& mail, const std::string& areaName) override {
    areas.push_back(areaName);
    const std::string subject = mail.Header.Subject.Str();
    if (subject.rfind("spam", 0) == 0) {
      ++matches;
      return {true, subject == "spam copied"};
    }
    if (subject == "copy me") {
      ++matches;
      return {false, true};
    }
    return {};
  }
  std::vector<std::pair<std::string, int>> MatchCounts() const override {
    return {{"Spam", matches}, {"Idle", 0}};
  }
  int matches = 0;
  std::vector<std::string> areas;
};

class CountingAreaLists : public TAreaListReceiver {
 public:
  int RegisterAreaListMail(const TMail& mail, TNetLink& uplink, bool fileScan) override {
    calls.push_back(mail.Header.Subject.Str() + (fileScan ? " filescan " : " areafix ") +
                    uplink.Name);
    return 3;
  }
  std::vector<std::string> calls;
};

TEST_F(TosserTest, FiltersAndAreaListRepliesJoinThroughTheirHooks) {
  AddEcho("ECHO");
  TNetLink* uplink = store->Uplinks().GetItem(0);
  uplink->AreaFixTitles = {"Your Area List"};
  uplink->FileScanTitles = {"File Areas"};
  auto fromRobot = [](const std::string& robot, const std::string& subject) {
    std::string m = EchoMessage("", subject, "Point Seven");
    const size_t from = m.find("Joe Remote");
    return m.replace(from, 10, robot);
  };
  Drop("00000001.pkt",
       PacketFrom({EchoMessage("ECHO", "spam one"), EchoMessage("ECHO", "spam copied"),
                   EchoMessage("ECHO", "copy me"), EchoMessage("ECHO", "plain"),
                   fromRobot("AreaFix", "your area list"), fromRobot("FileScan", "File Areas"),
                   fromRobot("AreaFix", "Something else")}));
  KillSpamFilters filters;
  filters.matches = 99;
  CountingAreaLists lists;
  TTosserSetup setup;
  setup.Store = store.get();
  setup.Dupes = &dupes;
  setup.Filters = &filters;
  setup.AreaLists = &lists;
  TTosser tosser(setup);
  ASSERT_TRUE(tosser.Start());
  ASSERT_TRUE(dispatcher.RunUntil([&] { return tosser.Finished(); }));
  const TTossCounters c = tosser.Counters();
  EXPECT_EQ(c.FilterDeleted, 1);
  EXPECT_EQ(c.FilterMoved, 1);
  EXPECT_EQ(c.FilterDuplicated, 1);
  EXPECT_EQ(Mails("ECHO").size(), 2u);
  EXPECT_EQ(Mails("NETMAIL").size(), 3u);
  EXPECT_EQ(filters.areas.size(), 7u);
  EXPECT_EQ(filters.areas.front(), "ECHO");
  EXPECT_EQ(lists.calls, (std::vector<std::string>{"your area list areafix Da Boss!!!",
                                                   "File Areas filescan Da Boss!!!"}));
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0].kind, MsgKind::Information);
  EXPECT_EQ(questions[0].text,
            "A message from \"AreaFix\" to \"Point Seven\" with subject \"your area list\" has "
            "been used as   area list for uplink \"Da Boss!!!\".  3 new areas have been  "
            "registered.");
  std::vector<std::string> lines = tosser.Log();
  for (auto& line : lines) line = line.substr(line.find("  ") + 2);
  // The import log has what the boxes said.
  for (const auto& q : questions)
    EXPECT_EQ(std::count(lines.begin(), lines.end(), q.text), 1) << q.text;
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"5 messages from 1 packets imported.",
                                            "Filter \"Spam\": 3 matches",
                                            "1 messages have been duplicated by filters",
                                            "1 messages have been moved by filters",
                                            "1 have been deleted by filters", "Import finished"}));
}

TEST_F(TosserTest, ImportPacketProcessorRunsBeforeThePacketIsRead) {
  AddEcho("ECHO");
  Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "as received")}));
  // The processor replaces the packet by another one.
  platform::WriteFileAtomic(dir / "other.dat", PacketFrom({EchoMessage("ECHO", "processed")}));
  store->SettingsModel().SetText(SettingId::EPPImport,
                                 "cp \"" + (dir / "other.dat") + "\" %filename");
  Toss();
  const auto mails = Mails("ECHO");
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].subject, "processed");
}

TEST_F(TosserTest, OnlyOneRunAtATime) {
  bool secondStarted = true;
  TTosserSetup setup;
  setup.Store = store.get();
  setup.Dupes = &dupes;
  TTosser other(setup);
  view.onLog = [&](const std::string& line) {
    if (line.find("Starting import") != std::string::npos) {
      EXPECT_TRUE(TTosser::Running());
      secondStarted = other.Start();
    }
  };
  Toss();
  EXPECT_FALSE(secondStarted);
  EXPECT_FALSE(TTosser::Running());
}

TEST_F(TosserTest, LockedAreaIsWaitedFor) {
  TArea* echo = AddEcho("ECHO");
  Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "x")}));
  ASSERT_TRUE(echo->Lock(false));  // a reader holds the area
  bool released = false;
  int waiting = 0;
  auto release = dispatcher.StartTimer(std::chrono::milliseconds(50), [&] {
    for (const auto& c : view.captions)
      if (c == "Import - Waiting for access to ECHO...") ++waiting;
    if (waiting && !released) {
      released = true;
      echo->Unlock();
    }
  });
  Toss();
  dispatcher.StopTimer(release);
  EXPECT_TRUE(released);
  EXPECT_EQ(Mails("ECHO").size(), 1u);
}

// A packet the mailer received under a Russian name (UTF-8 on disk): the
// log names it in the ANSI page, and REPORT, made from the log, reads right.
TEST_F(TosserTest, RussianPacketNamesReachTheLogAndReportInTheAnsiPage) {
  AddEcho("ECHO");
  Drop("Пакет 01.pkt", PacketFrom({EchoMessage("ECHO", "a")}));
  Toss();
  const std::string ansi = "\xcf\xe0\xea\xe5\xf2 01.pkt";
  EXPECT_TRUE(Logged("1 messages from " + ansi));
  EXPECT_TRUE(Logged("Packet " + ansi + " has been moved to the backup directory."));
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }));
  const auto reports = Mails("REPORT");
  ASSERT_EQ(reports.size(), 1u);
  // REPORT stores its text in the OEM page (CHRS: IBMPC): the name reads
  // right there too.
  EXPECT_NE(reports[0].text.find("Packet \x8f\xa0\xaa\xa5\xe2 01.pkt has been moved"),
            std::string::npos)
      << reports[0].text;
  EXPECT_EQ(reports[0].text.find("Пакет"), std::string::npos);
}

TEST_F(TosserTest, ReportAndSummaryLines) {
  AddEcho("ECHO");
  Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "a"), EchoMessage("", "b")}));
  Toss();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "Starting import", "2 messages from 00000001.pkt",
                     "The area NETMAIL has 1 messages", "The area ECHO has 1 messages",
                     "Packet 00000001.pkt has been moved to the backup directory.",
                     "2 messages from 1 packets imported.", "Import finished"}));
  EXPECT_EQ(view.packets, 1);
  EXPECT_EQ(view.tossed, 2);
  EXPECT_EQ(view.written, 2);
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }));
  const auto reports = Mails("REPORT");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].from, "Integrated Tosser");
  EXPECT_EQ(reports[0].subject, "Import Log");
  EXPECT_NE(reports[0].text.find("2 messages from 1 packets imported.\r"), std::string::npos);
  EXPECT_NE(reports[0].text.find(" * Origin: The Velmaris 95 Import Process"), std::string::npos);
  EXPECT_EQ(reports[0].text.find("Import finished"), std::string::npos);

  // Without the report switch nothing is posted.
  store->SettingsModel().SetChecked(SettingId::ImportReport, false);
  Toss();
  ASSERT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; }));
  EXPECT_EQ(Mails("REPORT").size(), 1u);
}

TEST_F(TosserTest, BatchImportPrintsTheLog) {
  AddEcho("ECHO");
  store->SaveToRegistry();
  Drop("00000001.pkt", PacketFrom({EchoMessage("ECHO", "a")}));
  std::string out;
  EXPECT_EQ(RunBatch(Start(), dir / "Velmaris.reg", {"import"}, &out), 0);
  EXPECT_NE(out.find("\"text\":\"Starting import\"}\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\"text\":\"1 messages from 1 packets imported.\"}\n"), std::string::npos);
  EXPECT_NE(out.find("\"text\":\"Import finished\"}\n"), std::string::npos);
  size_t lines = 0;
  for (char ch : out) lines += ch == '\n';
  EXPECT_EQ(lines, 6u) << out;
  EXPECT_TRUE(platform::FileExists(Start() + "Msgbase/" + kDupesFileName));
}

}  // namespace
}  // namespace velmaris::test
