// One rule for names, over one table of names: the file on disk has the name
// the user sees (UTF-8), the TIC file and the packet carry the OEM form, the
// log and REPORT the ANSI form. Places: hatching, a received TIC file, a
// directory setting stored by an older version, a filter's program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "TosserFixtures.h"
#include "core/Crc.h"
#include "core/KQMail.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "processing/Hatch.h"
#include "processing/Secretary.h"
#include "processing/TicFile.h"
#include "support/NameTable.h"

namespace velmaris::test {
namespace {

const std::string kAreaDisk = "ФАЙЛЫ.ЭХО";
const std::string kAreaAnsi = "\xD4\xC0\xC9\xCB\xDB.\xDD\xD5\xCE";
const std::string kAreaOem = "\x94\x80\x89\x8B\x9B.\x9D\x95\x8E";

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

class NameRuleTest : public TosserFixture {
 protected:
  bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }
};

// The hatch takes the file under its name on disk; the TIC file's File line
// is the OEM form, the flow file lists the path on disk. A name a TIC line
// cannot carry (a blank, a quote, a letter the OEM page lacks) is refused
// with the name in the ANSI page.
TEST_F(NameRuleTest, HatchAnnouncesTheOemNameAndListsThePathOnDisk) {
  TNetLink* link = store->Uplinks().GetItem(0);
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    ::unlink(link->FlowFilePath().c_str());
    const std::string path = Start() + "Мои файлы/" + row.disk;
    platform::MakeDirs(Start() + "Мои файлы/");
    platform::WriteFileAtomic(path, "contents of " + row.disk);
    THatchRequest request;
    request.FileName = path;
    request.Uplink = link;
    request.Area = kAreaAnsi;
    request.Description = {"\xCE\xF2\xF7\xB8\xF2 \xE7\xE0 \xEC\xE0\xE9"};  // "Отчёт за май"
    const THatchResult r = HatchFile(request);
    const bool announced = row.oem && !row.blankOrQuote;
    ASSERT_EQ(r.Ok, announced) << r.Error;
    if (!announced) {
      EXPECT_EQ(r.Error.rfind("The file name " +
                                  platform::FromUtf8(row.disk, platform::CodePage::CP1251) +
                                  " cannot be announced: ",
                              0),
                0u)
          << r.Error;
      // It says why.
      EXPECT_EQ(r.Error.find("a TIC line ends the name at a blank") != std::string::npos,
                row.blankOrQuote)
          << r.Error;
      continue;
    }
    const std::vector<std::string> tic = CrLfLines(platform::ReadFile(r.TicPath));
    ASSERT_GE(tic.size(), 2u);
    EXPECT_EQ(tic[0], "Area " + kAreaOem);
    EXPECT_EQ(tic[1], "File " + *row.oem);
    EXPECT_NE(std::find(tic.begin(), tic.end(), "Desc \x8E\xE2\xE7\xF1\xE2 \xA7\xA0 \xAC\xA0\xA9"),
              tic.end());
    EXPECT_EQ(CrLfLines(platform::ReadFile(link->FlowFilePath())),
              (std::vector<std::string>{path, "^" + r.TicPath}));
    ::unlink(r.TicPath.c_str());
  }
}

// A received TIC file names the area and the file in the OEM page (or in
// UTF-8); the folder and the file in the file base get the names on disk,
// the log lines and the description file the ANSI page. The mailer may have
// kept the sender's bytes for the inbound file: it is found under them too.
// A name longer than a file may have is found under the name the mailer
// cut it to, and its copy is cut so that its description fits beside it.
// The area's folder is the one there is in any case; a short CP866
// description is CP866 also where its bytes are valid UTF-8, and a UTF-8
// one without a mark is UTF-8 also where it holds a letter the ANSI page
// lacks.
TEST_F(NameRuleTest, AReceivedTicFilePlacesTheFileUnderItsNameOnDisk) {
  const std::string base = store->Values()->FileBaseDir();
  struct TicRow {
    TNameRow name;
    std::string inbound;  // the name the mailer stored it under (UTF-8)
    std::string placed;   // the name of the copy in the area
    std::string areaOem;  // the TIC's area line (OEM)
    std::string folder;   // the area's folder there is already, or ""
    std::string descOem;  // the description (OEM), the ANSI bytes it is stored as
    std::string descAnsi;
    std::string numbered = "";  // the mailer's name for it where inbound held another file
  };
  std::vector<TicRow> rows;
  for (const TNameRow& row : NameTable())
    rows.push_back(
        {row, row.disk, row.disk, kAreaOem, "", "\x8E\xE2\xE7\xF1\xE2", "\xCE\xF2\xF7\xB8\xF2"});
  const TNameRow longName{"130 letters", Repeat("Ф", 130) + ".zip", Repeat("\xD4", 130) + ".zip",
                          Repeat("\x94", 130) + ".zip"};
  rows.push_back({longName, Repeat("Ф", 125) + ".zip", Repeat("Ф", 123) + ".zip", kAreaOem, "",
                  "\x8E\xE2\xE7\xF1\xE2", "\xCE\xF2\xF7\xB8\xF2"});
  // The mailer numbered it: another file of that name waited in the inbound.
  rows.push_back({NameTable()[0], "REPORT.ZIP", "REPORT.ZIP", kAreaOem, "", "\x8E\xE2\xE7\xF1\xE2",
                  "\xCE\xF2\xF7\xB8\xF2", "REPORT.0001.ZIP"});
  rows.push_back({longName, Repeat("Ф", 125) + ".zip", Repeat("Ф", 123) + ".zip", kAreaOem, "",
                  "\x8E\xE2\xE7\xF1\xE2", "\xCE\xF2\xF7\xB8\xF2", Repeat("Ф", 123) + ".0001.zip"});
  const TNameRow& latin = NameTable()[0];
  // сад and тип in CP866 are valid UTF-8 too.
  rows.push_back({latin, latin.disk, latin.disk, kAreaOem, "", "\xE1\xA0\xA4", "\xF1\xE0\xE4"});
  rows.push_back({latin, latin.disk, latin.disk, kAreaOem, "", "\xE2\xA8\xAF", "\xF2\xE8\xEF"});
  // UTF-8 without a mark that holds a letter the ANSI page lacks: read as
  // UTF-8, such a letter its nearest in the page, else "?".
  rows.push_back({latin, latin.disk, latin.disk, kAreaOem, "", "Меню кафе — Café Größe",
                  "\xCC\xE5\xED\xFE \xEA\xE0\xF4\xE5 \x97 Cafe Grose"});
  rows.push_back(
      {latin, latin.disk, latin.disk, kAreaOem, "", "Отчёт 🎉", "\xCE\xF2\xF7\xB8\xF2 ?"});
  rows.push_back({latin, latin.disk, latin.disk, kAreaOem, "", "Release 2.0 🎉", "Release 2.0 ?"});
  rows.push_back({latin, latin.disk, latin.disk, kAreaOem, "", "Қазақ тілі",
                  "?\xE0\xE7\xE0? \xF2\xB3\xEB\xB3"});
  // файлы.эхо in small letters beside the folder ФАЙЛЫ.ЭХО; files.lat
  // beside FILES.LAT.
  rows.push_back({latin, latin.disk, latin.disk, "\xE4\xA0\xA9\xAB\xEB.\xED\xE5\xAE", kAreaDisk,
                  "\x8E\xE2\xE7\xF1\xE2", "\xCE\xF2\xF7\xB8\xF2"});
  rows.push_back({latin, latin.disk, latin.disk, "files.lat", "FILES.LAT", "\x8E\xE2\xE7\xF1\xE2",
                  "\xCE\xF2\xF7\xB8\xF2"});
  int n = 0;
  for (const TicRow& tr : rows) {
    const TNameRow& row = tr.name;
    if (!row.oem || row.blankOrQuote) continue;  // no TIC line carries it as a word
    const bool ownArea = tr.areaOem == kAreaOem;
    const std::string folder = tr.folder.empty() ? kAreaDisk : tr.folder;
    for (const bool inboundUnderOem : {false, true}) {
      for (const bool ticInUtf8 : {false, true}) {
        if (inboundUnderOem && ticInUtf8) continue;  // a sender in UTF-8 names its file so
        if (inboundUnderOem && !tr.numbered.empty()) continue;
        if (ticInUtf8 && (!ownArea || tr.descAnsi != "\xCE\xF2\xF7\xB8\xF2")) continue;
        SCOPED_TRACE(std::string(row.what) + (inboundUnderOem ? ", inbound in OEM" : "") +
                     (ticInUtf8 ? ", TIC in UTF-8" : "") + ", area " + tr.areaOem +
                     ", description " + tr.descOem);
        std::filesystem::remove_all(base);
        if (!tr.folder.empty()) platform::MakeDirs(base + tr.folder + "/");
        const std::string contents = "data " + std::to_string(n);
        const std::string ticName = "t" + std::to_string(n++) + ".tic";
        if (!tr.numbered.empty()) Drop(tr.inbound, "another file of that name");
        Drop(inboundUnderOem ? *row.oem : tr.numbered.empty() ? tr.inbound : tr.numbered, contents);
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", Crc32OfString(contents));
        Drop(ticName, "Area " + (ticInUtf8 ? kAreaDisk : tr.areaOem) + "\r\nFile " +
                          (ticInUtf8 ? row.disk : *row.oem) + "\r\nCrc " + crc + "\r\nDesc " +
                          (ticInUtf8 ? "Отчёт" : tr.descOem) + "\r\n");
        const TTicOutcome out = ProcessTicFile(Inbound(), ticName, base);
        EXPECT_EQ(out.Result, TTicResult::Moved) << out.LogLines.back();
        if (out.Result != TTicResult::Moved) {
          for (const std::string& left : InboundNames()) ::unlink((Inbound() + left).c_str());
          continue;
        }
        if (ownArea) {
          const std::string row0 =
              "File " + *row.ansi + " has been moved to area " + kAreaAnsi + " .";
          EXPECT_EQ(out.LogLines, std::vector<std::string>{row0});
        }
        std::vector<std::string> folders;
        for (const auto& e : platform::ScanDir(base, "*", false, true)) folders.push_back(e.name);
        EXPECT_EQ(folders, std::vector<std::string>{folder});
        auto read = [](const std::string& path) {
          return platform::FileExists(path) ? platform::ReadFile(path) : "<missing>";
        };
        EXPECT_EQ(read(base + folder + "/" + tr.placed), contents);
        // The description is written in the ANSI page, as every text file
        // the program writes for the user.
        EXPECT_EQ(read(base + folder + "/" + tr.placed + ".Txt"), tr.descAnsi + "\n");
        if (tr.numbered.empty()) {
          EXPECT_TRUE(InboundNames().empty());
        } else {
          EXPECT_EQ(InboundNames(), std::vector<std::string>{tr.inbound});
          ::unlink((Inbound() + tr.inbound).c_str());
        }
      }
    }
  }
}

// Names of a TIC file that cannot be placed stay readable in the log.
TEST_F(NameRuleTest, TicLogLinesNameTheFileAndAreaInTheAnsiPage) {
  const TNameRow& row = NameTable()[1];
  Drop("x.tic", "Area " + kAreaOem + "\r\nFile " + *row.oem + "\r\n");
  TTicOutcome out = ProcessTicFile(Inbound(), "x.tic", store->Values()->FileBaseDir());
  EXPECT_EQ(out.LogLines,
            (std::vector<std::string>{
                "File " + *row.ansi + " could not be moved to area " + kAreaAnsi + " .",
                "File " + *row.ansi + " is not in the inbound directory."}));
  // Through the import, into the log and REPORT as they are.
  Toss();
  EXPECT_TRUE(Logged("File " + *row.ansi + " is not in the inbound directory."));
}

// A directory setting that an older version stored in the ANSI page is read
// as the folder it names; its stored bytes stay, through a save too. The
// import then finds its packets there, and no look-alike folder is made.
TEST_F(NameRuleTest, AnAnsiStoredInboundIsReadAsItsFolderAndTheImportFindsIt) {
  for (const TNameRow& row : NameTable()) {
    if (!row.ansi) continue;  // an older version could not have stored it
    SCOPED_TRACE(row.what);
    Fresh();
    const std::string folder = Start() + "Входящие/" + row.disk + "/";
    const std::string stored = platform::FromUtf8(folder, platform::CodePage::CP1251);
    platform::MakeDirs(folder);
    store.reset();
    {
      TWinRegistry reg(kConfigRootKey, *registry);
      reg.WriteString("Paths", "Inbound", stored);
      reg.Flush();
    }
    Load();
    EXPECT_EQ(store->Values()->InboundDir(), folder);
    ASSERT_TRUE(store->SaveConfiguration());
    {
      TWinRegistry reg(kConfigRootKey, *registry);
      EXPECT_EQ(reg.ReadString("Paths", "Inbound", ""), stored);
    }
    AddEcho("RU.NAMES");
    platform::WriteFileAtomic(folder + "a.pkt", PacketFrom({EchoMessage("RU.NAMES", "Hi", "All")}));
    Toss();
    EXPECT_EQ(Mails("RU.NAMES").size(), 1u);
    // No look-alike folder in the ANSI page's bytes beside it.
    for (const auto& e : platform::ScanDir(Start() + "Входящие/", "*", true, true))
      EXPECT_TRUE(platform::IsUtf8(e.name)) << e.name;
  }
}

// A filter's program gets the message file as one word, whatever blanks and
// quotes the start directory holds.
TEST_F(NameRuleTest, AFilterProgramGetsTheMessagePathWhole) {
  const std::string script = Start() + "сохранить аргументы.sh";
  platform::WriteFileAtomic(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done"
                                    " > \"$(dirname \"$0\")/args.out\"\ncp \"$2\" \"$(dirname "
                                    "\"$0\")/message.copy\"\n");
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    const std::string startDir = dir.Path() + "Дом " + row.disk + "/";
    platform::MakeDirs(startDir);
    platform::Registry reg(dir / "filter.reg");
    TConfigStore other(startDir, reg);
    TFilter f;
    f.DoLaunch = true;
    // Quoted: a stray file named like the start of the folder would be taken
    // for the program otherwise.
    f.Processor = "\"" + script + "\" -m %filename";
    TFilterEnv env;
    env.Store = &other;
    std::vector<std::string> logged;
    env.Log = [&](const std::string& line) { logged.push_back(line); };
    TMail mail = [] {
      PackedFields s;
      s.from = "Joe Remote";
      s.to = "Sysop";
      s.subject = "Hi";
      s.text = "text\r";
      TMsgHeader h;
      h.FromName = s.from;
      h.ToName = s.to;
      h.Subject = s.subject;
      h.TextOffset =
          static_cast<uint16_t>(34 + s.to.size() + s.from.size() + s.subject.size() + 3);
      return TMail(PackedMessage(s), h);
    }();
    f.Apply(mail, "RU.NAMES", "names", env);
    ASSERT_TRUE(logged.empty()) << logged.front();
    const std::string args = platform::ReadFile(Start() + "args.out");
    ASSERT_EQ(args.substr(0, 3), "-m\n");
    const std::string path = args.substr(3, args.size() - 4);
    EXPECT_EQ(platform::DirOf(path), startDir);
    EXPECT_EQ(path.find('\n'), std::string::npos);
    EXPECT_EQ(platform::ReadFile(Start() + "message.copy").substr(MsgFileOffset::FromName, 10),
              "Joe Remote");
    EXPECT_TRUE(platform::ScanDir(startDir, "*.MSG").empty());
  }
}

// An echo tag leaves in the OEM page and comes back into the area it left,
// never as a second area; a tag the OEM page cannot hold goes as its own
// bytes, never with a '?'. An area an earlier version made from a packet's
// bytes (its name the OEM form) still takes the mail of its echo.
TEST_F(NameRuleTest, AnEchoTagComesBackIntoTheAreaItLeft) {
  for (const TNameRow& row : NameTable()) {
    if (!row.ansi || row.blankOrQuote || row.ansi->size() > 51) continue;
    SCOPED_TRACE(row.what);
    Fresh();
    TArea* area = AddEcho(*row.ansi);
    ASSERT_NE(area, nullptr);
    TKQMail mail;
    mail.Area = area;
    mail.OrigAddr.SetText("2:5020/1042.7");
    mail.FromName = "Point User";
    mail.ToName = "All";
    mail.Subject = "Round trip";
    mail.Text = {"Hi"};
    const std::unique_ptr<TMail> built = mail.BuildMail();
    const std::string wireTag = row.oem ? *row.oem : *row.ansi;
    EXPECT_EQ(std::string(built->BodyText()).substr(0, 6 + wireTag.size()),
              "AREA:" + wireTag + "\r");
    Drop("back.pkt", PacketFrom({built->Body}));
    const TTossCounters c = Toss();
    EXPECT_EQ(c.AreasCreated, 0);
    EXPECT_EQ(Mails(*row.ansi).size(), 1u);

    if (!row.oem || *row.oem == *row.ansi) continue;
    Fresh();
    ASSERT_NE(AddEcho(*row.oem), nullptr);  // as an earlier version named it
    Drop("old.pkt", PacketFrom({EchoMessage(*row.oem, "Old area")}));
    EXPECT_EQ(Toss().AreasCreated, 0);
    EXPECT_EQ(Mails(*row.oem).size(), 1u);
  }
}

}  // namespace
}  // namespace velmaris::test
