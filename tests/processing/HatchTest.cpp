// File hatching: the TIC file's lines, the flow-file entries, refused names
// and fields, the description of an archive, and the round trip through the
// tosser of another start directory ("velmaris-batch import").
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TosserFixtures.h"
#include "core/Crc.h"
#include "core/TextHelpers.h"
#include "processing/Hatch.h"
#include "processing/TicFile.h"

namespace velmaris::test {
namespace {

class HatchTest : public TosserFixture {
 protected:
  void SetUp() override {
    TosserFixture::SetUp();
    link = store->Uplinks().GetItem(0);
    platform::WriteFileAtomic(Start() + "weekly-report-2026.txt", "The report of the week.\r\n");
    request.FileName = Start() + "weekly-report-2026.txt";
    request.Uplink = link;
    request.Area = "MYFILES";
  }
  std::vector<std::string> FlowLines() {
    std::vector<std::string> lines;
    const std::string text = platform::ReadFile(link->FlowFilePath());
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }
  TNetLink* link = nullptr;
  THatchRequest request;
};

TEST_F(HatchTest, TheTicFileListsItsLinesInOrder) {
  struct Row {
    std::vector<std::string> desc;
    std::string replace, magic, password;
    std::string tail;  // the lines after Date
  } rows[] = {
      {{}, "", "", "", "Desc \r\nCreated by "},
      {{"One", "Two", "Three"},
       "OLD.ZIP",
       "REPORT",
       "secret",
       "Replaces OLD.ZIP\r\nMagic REPORT\r\nDesc One\r\nLDesc One\r\nLDesc Two\r\n"
       "LDesc Three\r\nCreated by "},
  };
  for (const Row& row : rows) {
    request.Description = row.desc;
    request.Replace = row.replace;
    request.Magic = row.magic;
    link->FileScanPassword = row.password;
    const std::string tic = BuildTicText(request, "NAME.TXT", 0x1234ABCD, 42, 1700000000);
    const std::string own = link->SysopAddress.Text4D();
    const std::string head = "Area MYFILES\r\nFile NAME.TXT\r\nTo   " +
                             link->UplinkAddress.Text4D() + "\r\nFrom " + own + "\r\nOrigin " +
                             own + "\r\nCrc 1234ABCD\r\nSize 42\r\nDate 1700000000\r\n";
    EXPECT_EQ(tic.substr(0, head.size() + row.tail.size()), head + row.tail);
    EXPECT_EQ(tic.find("Pw ") != std::string::npos, !row.password.empty());
  }
}

TEST_F(HatchTest, FlowFileListsTheFileThenTheTicFile) {
  for (bool kill : {false, true}) {
    ::unlink(link->FlowFilePath().c_str());
    request.KillSrc = kill;
    const THatchResult r = HatchFile(request);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(FlowLines(),
              (std::vector<std::string>{(kill ? "^" : "") + request.FileName, "^" + r.TicPath}));
    const TTicFile tic = TTicFile::Parse(platform::ReadFile(r.TicPath));
    EXPECT_EQ(tic.File, "weekly-report-2026.txt");
    EXPECT_EQ(tic.Area, "MYFILES");
  }
}

// Why a name with a blank or a quote is refused.
const std::string kBlankWhy =
    "a TIC line ends the name at a blank and takes a quote for the start of a quoted name, so "
    "the uplink would look for another file. Rename the file without blanks and quotes!";

TEST_F(HatchTest, RefusedNamesAndFieldsWriteNothing) {
  struct Row {
    std::function<void(THatchRequest&)> set;
    std::string error;
  } rows[] = {
      {[](THatchRequest& r) { r.Uplink = nullptr; }, "No uplink has been chosen!"},
      {[](THatchRequest& r) { r.Area = "../etc"; }, "The file area name ../etc cannot be used!"},
      {[](THatchRequest& r) { r.Area = ""; }, "The file area name  cannot be used!"},
      {[](THatchRequest& r) { r.Replace = "a/b"; }, "The name a/b cannot be replaced!"},
      {[](THatchRequest& r) { r.Magic = "x\ry"; }, "The magic name holds control characters!"},
      {[](THatchRequest& r) {
         r.Description = {"ok", "bad\x01"};
       },
       "The description holds control characters!"},
      {[this](THatchRequest& r) { r.FileName = Start() + "0000abcd.pkt"; },
       "The file name 0000abcd.pkt cannot be announced: it is named like mail (a packet, bundle, "
       "flow or TIC file), which the uplink would take for its own. Rename the file!"},
      {[this](THatchRequest& r) { r.FileName = Start() + "missing.zip"; }, "File does not exist!"},
      {[this](THatchRequest& r) { r.FileName = platform::WithoutSlash(Start()); },
       "File does not exist!"},
      // A TIC line is read as its keyword and first word.
      {[this](THatchRequest& r) { r.FileName = Start() + "my file.zip"; },
       "The file name my file.zip cannot be announced: " + kBlankWhy},
      {[this](THatchRequest& r) { r.FileName = Start() + "my\tfile.zip"; },
       "The file name my\tfile.zip cannot be announced: " + kBlankWhy},
      {[](THatchRequest& r) { r.Area = "MY FILES"; },
       "The file area name MY FILES cannot be used!"},
      {[](THatchRequest& r) { r.Replace = "old file.zip"; },
       "The name old file.zip cannot be replaced!"},
      // A quote starts a quoted word: "x.zip would be read back as x.zip.
      {[this](THatchRequest& r) { r.FileName = Start() + "\"x.zip"; },
       "The file name \"x.zip cannot be announced: " + kBlankWhy},
      {[](THatchRequest& r) { r.Area = "\"MYFILES"; },
       "The file area name \"MYFILES cannot be used!"},
      {[](THatchRequest& r) { r.Replace = "a\"b\".zip"; },
       "The name a\"b\".zip cannot be replaced!"},
      // No field carries a line break into the TIC file.
      {[](THatchRequest& r) { r.Description = {"one\r\nPw other"}; },
       "The description holds control characters!"},
      {[](THatchRequest& r) { r.Uplink->FileScanPassword = "se\r\nArea OTHER"; },
       "The FileScan password of the uplink holds control characters!"},
      // Our own reader takes TIC files up to kMaxTicFileSize.
      {[](THatchRequest& r) { r.Description = {std::string(kMaxTicFileSize / 2, 'x')}; },
       "The description is too long!"},
  };
  platform::WriteFileAtomic(Start() + "0000abcd.pkt", "x");
  platform::WriteFileAtomic(Start() + "my file.zip", "x");
  platform::WriteFileAtomic(Start() + "my\tfile.zip", "x");
  platform::WriteFileAtomic(Start() + "\"x.zip", "x");
  for (const Row& row : rows) {
    THatchRequest r = request;
    row.set(r);
    const THatchResult result = HatchFile(r);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, row.error);
    link->FileScanPassword.clear();
  }
  EXPECT_TRUE(platform::ScanDir(link->Outbound(), "*").empty());
}

TEST_F(HatchTest, OurOwnTicReaderReadsTheHatchedFieldsBack) {
  struct Row {
    std::string file, area;
    std::vector<std::string> desc;
  } rows[] = {
      {"report.txt", "MYFILES", {}},
      {"a'b#c[1].tar.gz", "R50.UTIL", {"One line"}},
      {"x.zip", "AREA_2", {"  First, with blanks  ", "", "Third \"quoted\" words"}},
      {"big.bin", "BIG", std::vector<std::string>(500, std::string(70, 'd'))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    platform::WriteFileAtomic(Start() + row.file, "contents of " + row.file);
    request.FileName = Start() + row.file;
    request.Area = row.area;
    request.Description = row.desc;
    const THatchResult r = HatchFile(request);
    ASSERT_TRUE(r.Ok) << r.Error;
    const std::string text = platform::ReadFile(r.TicPath);
    const TTicFile tic = TTicFile::Parse(text);
    EXPECT_EQ(tic.File, row.file);
    EXPECT_EQ(tic.Area, row.area);
    EXPECT_EQ(tic.Crc, Crc32OfString("contents of " + row.file));
    std::vector<std::string> trimmed;
    for (const std::string& d : row.desc) {
      const size_t a = d.find_first_not_of(' '), b = d.find_last_not_of(' ');
      trimmed.push_back(a == std::string::npos ? "" : d.substr(a, b - a + 1));
    }
    if (trimmed.empty()) trimmed.push_back("");
    EXPECT_EQ(tic.DescriptionLines(), trimmed);
    EXPECT_LE(text.size(), kMaxTicFileSize);
  }
}

TEST_F(HatchTest, ATicFileNeverReplacesAnotherFile) {
  TSerialCounter serials(0x100);
  const std::string taken = platform::WithSlash(link->Outbound()) + "00000100.TIC";
  platform::WriteFileAtomic(taken, "Area THEIRS\r\n");
  const THatchResult r = HatchFile(request, serials);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(platform::NameOf(r.TicPath), "00000101.tic");
  EXPECT_EQ(platform::ReadFile(taken), "Area THEIRS\r\n");
}

// The file changes after its first block is read (of three): nothing is
// announced, whatever the read saw.
TEST_F(HatchTest, AFileThatChangesWhileItIsReadIsNotAnnounced) {
  const std::string name = "growing.bin";
  const std::string path = Start() + name;
  const std::string contents(3 << 16, 'c');
  const struct {
    const char* what;
    std::function<void()> change;
  } rows[] = {
      {"shrinks", [&] { ASSERT_EQ(::truncate(path.c_str(), 1 << 16), 0); }},
      {"grows",
       [&] {
         platform::Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
         ASSERT_TRUE(platform::WriteAll(fd.get(), "more"));
       }},
      {"rewritten with the same size",
       [&] {
         platform::Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
         ASSERT_TRUE(platform::WriteAll(fd.get(), "xyz"));
         const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123}};
         ASSERT_EQ(::futimens(fd.get(), times), 0);
       }},
      {"rewritten with its modification time put back",
       [&] {
         platform::Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
         struct stat before {
         }, now{};
         ASSERT_EQ(::fstat(fd.get(), &before), 0);
         ASSERT_TRUE(platform::WriteAll(fd.get(), "xyz"));
         // Until the clock moves on, the change time may still read the same.
         const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
         do {
           ASSERT_EQ(::futimens(fd.get(), times), 0);
           ASSERT_EQ(::fstat(fd.get(), &now), 0);
         } while (now.st_ctim.tv_sec == before.st_ctim.tv_sec &&
                  now.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
       }},
      {"replaced by another file",
       [&] {
         platform::WriteFileAtomic(Start() + "other.bin", contents);
         ASSERT_EQ(::rename((Start() + "other.bin").c_str(), path.c_str()), 0);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    platform::WriteFileAtomic(path, contents);
    request.FileName = path;
    int blocks = 0;
    request.OnBlockRead = [&](uint64_t) {
      if (++blocks == 1) row.change();
    };
    const THatchResult r = HatchFile(request);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, "The file " + name +
                           " changed while it was read! Hatch it again when it is complete.");
    EXPECT_TRUE(platform::ScanDir(link->Outbound(), "*").empty());
  }
  // Left alone, the same file is announced with what was read.
  platform::WriteFileAtomic(path, contents);
  uint64_t read = 0;
  request.OnBlockRead = [&](uint64_t bytes) { read = bytes; };
  const THatchResult r = HatchFile(request);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(read, contents.size());
  const TTicFile tic = TTicFile::Parse(platform::ReadFile(r.TicPath));
  EXPECT_EQ(tic.Crc, Crc32OfString(contents));
}

TEST_F(HatchTest, AFlowFileThatCannotBeWrittenLeavesNeitherLineNorTicFile) {
  // A directory in the flow file's place: the flow file cannot be opened.
  ASSERT_EQ(::mkdir(link->FlowFilePath().c_str(), 0755), 0);
  const THatchResult r = HatchFile(request);
  EXPECT_FALSE(r.Ok);
  EXPECT_TRUE(r.TicPath.empty());
  EXPECT_TRUE(platform::ScanDir(link->Outbound(), "*.tic").empty());
  ::rmdir(link->FlowFilePath().c_str());
  // A retry lists the file once, with its TIC file.
  const THatchResult again = HatchFile(request);
  ASSERT_TRUE(again.Ok) << again.Error;
  EXPECT_EQ(FlowLines(), (std::vector<std::string>{request.FileName, "^" + again.TicPath}));
}

TEST_F(HatchTest, ArchiveDescriptionComesFromFileIdDiz) {
  platform::WriteFileAtomic(Start() + "file_id.diz", "Line \x8E one\r\nLine two\r\n");
  ASSERT_EQ(RunShell("cd " + ShellQuote(Start()) +
                     " && zip -q with.zip file_id.diz && zip -q "
                     "without.zip weekly-report-2026.txt"),
            0);
  const std::string temp = Start() + "tmp/";
  EXPECT_EQ(ArchiveDescription(Start() + "with.zip", *packers, temp),
            (std::vector<std::string>{OemToAnsiStr("Line \x8E one"), "Line two"}));
  EXPECT_EQ(ArchiveDescription(Start() + "without.zip", *packers, temp),
            std::vector<std::string>{kNoDescription});
  // A file_id.diz of 2 MB is read only as far as a TIC file can hold it,
  // and the hatch refuses it as too long.
  ASSERT_EQ(RunShell("cd " + ShellQuote(Start()) +
                     " && mkdir big && yes 'A line of a description' | head -c 2000000 >"
                     " big/FILE_ID.DIZ && cd big && zip -q ../big.zip FILE_ID.DIZ"),
            0);
  request.Description = ArchiveDescription(Start() + "big.zip", *packers, temp);
  size_t read = request.Description.size() - 1;  // the line ends between the lines
  for (const std::string& line : request.Description) read += line.size();
  EXPECT_LE(read, kMaxTicFileSize + 1);
  EXPECT_GT(read, kMaxTicFileSize / 2);
  EXPECT_EQ(HatchFile(request).Error, "The description is too long!");
  EXPECT_TRUE(ArchiveDescription(request.FileName, *packers, temp).empty());
  EXPECT_TRUE(platform::ScanDir(temp, "*", false, true).empty());
}

TEST_F(HatchTest, OurOwnTosserTakesTheHatchedFile) {
  request.Description = {"Weekly report"};
  const THatchResult r = HatchFile(request);
  ASSERT_TRUE(r.Ok) << r.Error;
  TempDir other;
  std::string out;
  ASSERT_EQ(RunBatch(other.Path(), other / "Velmaris.reg", {"import"}, &out, "2>&1"), 0)
      << out;  // makes the folders
  for (const std::string& path : FlowLines()) {
    const std::string file = path[0] == '^' ? path.substr(1) : path;
    platform::WriteFileAtomic(other / ("Inbound/" + platform::NameOf(file)),
                              platform::ReadFile(file));
  }
  ASSERT_EQ(RunBatch(other.Path(), other / "Velmaris.reg", {"import"}, &out, "2>&1"), 0) << out;
  EXPECT_NE(out.find("File weekly-report-2026.txt has been moved to area MYFILES ."),
            std::string::npos)
      << out;
  EXPECT_EQ(platform::ReadFile(other / "Filebase/MYFILES/weekly-report-2026.txt"),
            "The report of the week.\r\n");
  EXPECT_TRUE(platform::ScanDir(other / "Inbound", "*.tic").empty());
}

}  // namespace
}  // namespace velmaris::test
