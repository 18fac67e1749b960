#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <iconv.h>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/TerminalText.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

struct Page {
  CodePage cp;
  const char* iconvName;
};
const Page kPages[] = {
    {CodePage::CP866, "CP866"},
    {CodePage::CP437, "CP437"},
    {CodePage::CP1251, "CP1251"},
    {CodePage::CP1252, "CP1252"},
};

// The code point iconv gives for one byte, or nothing when the code page
// leaves the byte undefined.
std::optional<char32_t> IconvToUnicode(const char* name, unsigned char byte) {
  iconv_t cd = iconv_open("UTF-32LE", name);
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error(std::string("iconv lacks ") + name);
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[8] = {};
  char* inp = in;
  char* outp = reinterpret_cast<char*>(out);
  size_t inLeft = 1, outLeft = sizeof out;
  const size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || sizeof out - outLeft != 4) return std::nullopt;
  return static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
}

TEST(CodePage, EveryByteAgreesWithIconv) {
  for (const auto& page : kPages) {
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(std::string(page.iconvName) + " byte " + std::to_string(b));
      const auto byte = static_cast<unsigned char>(b);
      const auto expected = IconvToUnicode(page.iconvName, byte);
      const char32_t got = ToUnicode(byte, page.cp);
      // Undefined positions map to the C1 control of the same value.
      EXPECT_EQ(got, expected.value_or(static_cast<char32_t>(b)));
      EXPECT_EQ(FromUnicode(got, page.cp), byte);  // every byte round-trips
    }
  }
}

TEST(CodePage, Utf8Conversions) {
  const struct {
    CodePage cp;
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {CodePage::CP866, "\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0!", "Привет, мир!"},
      {CodePage::CP866, "\xc9\xcd\xbb\xf0\xf1\xfc", "╔═╗Ёё№"},
      {CodePage::CP1251, "\xcf\xf0\xe8\xe2\xe5\xf2 \xb9\x88", "Привет №€"},
      {CodePage::CP1252, "Gr\xfc\xdf \x80\x99", "Grüß €™"},
      {CodePage::CP437, "\x84\x94\x81\xe1\xfb", "äöüß√"},
      {CodePage::CP437, "plain ASCII\r\n", "plain ASCII\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.bytes, c.cp), c.utf8);
    EXPECT_EQ(FromUtf8(c.utf8, c.cp), c.bytes);
  }
}

TEST(CodePage, FromUtf8Fallbacks) {
  const struct {
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"a€b", "aEb"},           // not in CP866: its nearest character
      {"\u00abТест\u00bb \u2014 \u2013 \u201e\u201c\u2019", "\"\x92\xa5\xe1\xe2\" - - \"\"'"},
      {"\u0491\u0490\u0456\u0406\u0453\u045c", "\xa3\x83iI\xa3\xaa"},  // ґҐіІѓќ
      {"\u2026 \u2116 \u00e9\u00df\u00c4", ". \xfc esA"},  // CP866 holds №
      {"\u263a", "?"},         // no near character either
      {"😀", "?"},               // outside the BMP
      {"\xff\xfe", "??"},       // not UTF-8
      {"\xc0\xaf", "??"},       // overlong
      {"\xed\xa0\x80", "???"},  // surrogate
      {"\xd0", "?"},            // cut short
      {"\xd0\x9f\xd0", "\x8f?"},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.utf8, CodePage::CP866), c.expected) << c.utf8;
  EXPECT_EQ(FromUtf8("\u263a", CodePage::CP866, '_'), "_");
  // A near character the page lacks too is no help: ё as е, which CP437 lacks.
  EXPECT_EQ(FromUtf8("\u2116\u2014\u0451", CodePage::CP437), "N-?");
}

TEST(CodePage, FromUtf8ExactRefusesWhatTheCodePageCannotHold) {
  const struct {
    CodePage cp;
    std::string utf8;
    std::optional<std::string> expected;
  } cases[] = {
      {CodePage::CP866, "Утилиты.zip", std::string("\x93\xe2\xa8\xab\xa8\xe2\xeb.zip")},
      {CodePage::CP1251, "Утилиты", std::string("\xd3\xf2\xe8\xeb\xe8\xf2\xfb")},
      {CodePage::CP437, "café", std::string("caf\x82")},
      {CodePage::CP866, "«Тест»", std::nullopt},  // no « in CP866
      {CodePage::CP437, "Тест", std::nullopt},
      {CodePage::CP866, "a?b", std::string("a?b")},  // a question mark stays one
      {CodePage::CP866, std::string("a\0b", 3), std::string("a\0b", 3)},
      {CodePage::CP866, "\xd0", std::nullopt},  // cut short
      {CodePage::CP1251, "😀", std::nullopt},
      {CodePage::CP866, "", std::string()},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8Exact(c.utf8, c.cp), c.expected) << c.utf8;
}

TEST(CodePage, OemAndAnsi) {
  EXPECT_EQ(OemCodePage(), CodePage::CP866);
  EXPECT_EQ(AnsiCodePage(), CodePage::CP1251);
  EXPECT_EQ(OemToAnsi("\x8f\xe0\xa8\xa2\xa5\xe2 \xf0\xc4"), "\xcf\xf0\xe8\xe2\xe5\xf2 \xa8?");
  EXPECT_EQ(AnsiToOem("\xcf\xf0\xe8\xe2\xe5\xf2 \xa8\x88"), "\x8f\xe0\xa8\xa2\xa5\xe2 \xf0" "E");
  // What the OEM page lacks goes into a packet as its nearest character:
  // «», the dashes, ґ and the ellipsis of a CP1251 text.
  EXPECT_EQ(AnsiToOem("\xab\xd2\xe5\xf1\xf2\xbb \x97 \x96 \xb4\xa5 \x85"),
            "\"\x92\xa5\xe1\xe2\" - - \xa3\x83 .");
  SetOemCodePage(CodePage::CP437);
  SetAnsiCodePage(CodePage::CP1252);
  EXPECT_EQ(OemToAnsi("\x84\x94\x81"), "\xe4\xf6\xfc");
  EXPECT_EQ(AnsiToOem("\xe4\xf6\xfc"), "\x84\x94\x81");
  SetOemCodePage(CodePage::CP866);
  SetAnsiCodePage(CodePage::CP1251);
  EXPECT_EQ(Recode("\xff", CodePage::CP1252, CodePage::CP1252), "\xff");
}

// Stored names on their way into a message box (which takes UTF-8): a job
// name in CP1251, a sysop name from a nodelist in CP866, an area name, each
// in the code page the settings name.
TEST(CodePage, StoredNamesForMessageBoxes) {
  const struct {
    CodePage oem, ansi;
    bool fromOem;
    std::string bytes;
    const char* utf8;
  } rows[] = {
      {CodePage::CP866, CodePage::CP1251, false, "\xd0\xe0\xf1\xf1\xfb\xeb\xea\xe0 \xa8",
       "Рассылка Ё"},
      {CodePage::CP866, CodePage::CP1251, true, "\x8f\xa5\xe2\xe0 \x88\xa2\xa0\xad\xae\xa2 \xf0",
       "Петр Иванов Ё"},
      {CodePage::CP866, CodePage::CP1251, false, "RU.\xd4\xc8\xc4\xCE", "RU.ФИДО"},
      {CodePage::CP437, CodePage::CP1252, false, "K\xf6ln", "Köln"},
      {CodePage::CP437, CodePage::CP1252, true, "K\x94ln", "Köln"},
      {CodePage::CP866, CodePage::CP1251, false, "plain ASCII", "plain ASCII"},
  };
  for (const auto& r : rows) {
    SetOemCodePage(r.oem);
    SetAnsiCodePage(r.ansi);
    EXPECT_EQ(r.fromOem ? OemToUtf8(r.bytes) : AnsiToUtf8(r.bytes), r.utf8) << r.utf8;
  }
  SetOemCodePage(CodePage::CP866);
  SetAnsiCodePage(CodePage::CP1251);
}

// A line for standard error: made in the ANSI page, it reaches a terminal
// in UTF-8; one that is UTF-8 already (a name on disk put in as it is,
// plain ASCII) stays as it is.
TEST(CodePage, LinesForATerminalAreUtf8) {
  const struct {
    std::string line;
    const char* shown;
  } rows[] = {
      {"The message base folder /home/\xc8\xe2\xe0\xed/\xcf\xee\xf7\xf2\xe0/ is empty",
       "The message base folder /home/Иван/Почта/ is empty"},
      {"File \xf4\xe0\xe9\xeb.pkt could not be stored", "File файл.pkt could not be stored"},
      {"/home/Иван/Velmaris.Dupes cannot be read", "/home/Иван/Velmaris.Dupes cannot be read"},
      {"plain ASCII\n", "plain ASCII\n"},
  };
  for (const auto& r : rows) EXPECT_EQ(TerminalText(r.line), r.shown) << r.shown;
}

// Jobs, the store's log and the duplicate checker write standard error off
// the main thread: lines that two threads write at once, piece by piece,
// reach the terminal whole, each converted on its own.
TEST(CodePage, LinesFromTwoThreadsReachTheTerminalWhole) {
  const test::TempDir dir;
  const std::string path = dir / "stderr.txt";
  std::cerr.flush();
  const int saved = ::dup(2);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  ::dup2(file, 2);
  ::close(file);
  WriteStandardErrorInUtf8();
  constexpr int kLines = 2000;
  auto write = [](const char* who) {
    for (int i = 0; i < kLines; ++i)
      std::cerr << who << ' ' << i << " \xcf\xee\xf7\xf2\xe0" << '\n';  // Почта in CP1251
  };
  std::thread first(write, "first"), second(write, "second");
  first.join();
  second.join();
  std::cerr.flush();
  ::dup2(saved, 2);
  ::close(saved);
  std::istringstream lines(ReadFile(path));
  std::map<std::string, int> next;  // each writer's lines, in its order
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    std::istringstream words(line);
    std::string who, folder;
    int n = -1;
    words >> who >> n >> folder;
    ASSERT_TRUE(who == "first" || who == "second") << line;
    ASSERT_EQ(n, next[who]++) << line;
    ASSERT_EQ(folder, "Почта") << line;
    ASSERT_TRUE(words.eof()) << line;
  }
  EXPECT_EQ(count, 2 * kLines);
}

// A text file the user gives, as stored text (CP1251): UTF-8 as a Linux
// editor writes it, else in the page the user names.
TEST(CodePage, TextFilesAreReadAsUtf8WhenTheyAreElseInTheNamedPage) {
  const struct {
    std::string file;
    bool oem;
    std::string ansi;
  } rows[] = {
      {"Привет, мир!\n", false, "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0!\n"},
      {"Привет, мир!\n", true, "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0!\n"},
      {"\xef\xbb\xbf\u00abGr\u00fc\u00dfe\u00bb", false,
       "\xab"
       "Gruse\xbb"},
      {"\xcf\xf0\xe8\xe2\xe5\xf2", false, "\xcf\xf0\xe8\xe2\xe5\xf2"},  // CP1251
      {"\x8f\xe0\xa8\xa2\xa5\xe2", true, "\xcf\xf0\xe8\xe2\xe5\xf2"},   // CP866
      {"plain\r\n", true, "plain\r\n"},
  };
  for (const auto& r : rows) EXPECT_EQ(TextFileToAnsi(r.file, r.oem), r.ansi) << r.file;
}

// File names between the disk (UTF-8), the store and the log (ANSI) and the
// FidoNet formats (OEM): UTF-8 is kept as it is on the way to the disk, a
// name the OEM page cannot hold has no OEM form, the log gets '?' for it.
TEST(CodePage, NamesBetweenDiskStoreAndWire) {
  SetOemCodePage(CodePage::CP866);
  SetAnsiCodePage(CodePage::CP1251);
  const struct {
    std::string disk, ansi, oem, log;
    bool oemHolds;
  } rows[] = {
      {"REPORT.ZIP", "REPORT.ZIP", "REPORT.ZIP", "REPORT.ZIP", true},
      {"/home/иван/Архив/", "/home/\xE8\xE2\xE0\xED/\xC0\xF0\xF5\xE8\xE2/",
       "/home/\xA8\xA2\xA0\xAD/\x80\xE0\xE5\xA8\xA2/",
       "/home/\xE8\xE2\xE0\xED/\xC0\xF0\xF5\xE8\xE2/", true},
      {"Дом Иванова", "\xC4\xEE\xEC \xC8\xE2\xE0\xED\xEE\xE2\xE0",
       "\x84\xAE\xAC \x88\xA2\xA0\xAD\xAE\xA2\xA0",
       "\xC4\xEE\xEC \xC8\xE2\xE0\xED\xEE\xE2\xE0", true},
      {"Счёт€.zip", "\xD1\xF7\xB8\xF2\x88.zip", "", "\xD1\xF7\xB8\xF2\x88.zip", false},
      {"Übung", "", "", "Ubung", false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.disk);
    EXPECT_EQ(PathFromStored(r.disk), r.disk);  // valid UTF-8 stays
    EXPECT_EQ(DiskName(r.disk), r.disk);
    if (!r.ansi.empty()) {
      EXPECT_EQ(PathFromStored(r.ansi), r.disk);
    }
    if (!r.oem.empty()) {
      EXPECT_EQ(DiskName(r.oem), r.disk);
    }
    EXPECT_EQ(LogName(r.disk), r.log);
    EXPECT_EQ(PathToOem(r.disk), r.oemHolds ? std::optional<std::string>(r.oem) : std::nullopt);
  }
  // A name a peer gave in CP866 goes into the log through its disk form,
  // never copied as bytes of another page.
  EXPECT_EQ(LogName(DiskName("\x8E\xE2\xE7\xA5\xE2.zip")), "\xCE\xF2\xF7\xE5\xF2.zip");
}

// A name whose code page is not known is escaped as UTF-8 text when it is
// well-formed UTF-8 (its C1 controls too), else byte by byte: CP866 "А"
// (0x80) stays a letter.
TEST(CodePage, NamesFromOutsideAreEscapedByWhatTheyAre) {
  struct Case {
    std::string name, shown;
  } cases[] = {
      {"A\u0085B.PKT", "A\\xC2\\x85B.PKT"},
      {"\x80\x81\x82.PKT", "\x80\x81\x82.PKT"},  // CP866 "АБВ"
      {"\x80\xC2\x85.PKT", "\x80\xC2\x85.PKT"},  // not UTF-8: CP866 "А┬Е"
      {"\xD0\x90\r.PKT", "\xD0\x90\\x0D.PKT"},   // UTF-8 "А", CR
      {"\x80\r.PKT", "\x80\\x0D.PKT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EscapeNameControls(c.name), c.shown);
  }
}

// A name cut to a number of bytes ends at a whole character: one, two, three
// and four bytes long.
TEST(CodePage, Utf8PrefixEndsAtAWholeCharacter) {
  const struct {
    std::string text;
    size_t max;
    std::string kept;
  } rows[] = {
      {"ABC", 5, "ABC"},       {"ABC", 3, "ABC"},        {"ABC", 2, "AB"},
      {"AЖ", 2, "A"},          {"AЖ", 3, "AЖ"},          {"ЖЖ", 3, "Ж"},
      {"A€", 3, "A"},          {"A€", 2, "A"},           {"A€B", 4, "A€"},
      {"A\U0001F600", 4, "A"}, {"A\U0001F600", 5, "A\U0001F600"}, {"Ж", 1, ""},
      {"", 0, ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text + " " + std::to_string(r.max));
    EXPECT_EQ(Utf8Prefix(r.text, r.max), r.kept);
  }
}

}  // namespace
}  // namespace velmaris::platform
