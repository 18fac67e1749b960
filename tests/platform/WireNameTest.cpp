// File names between the disk (UTF-8), the wire (the OEM page) and the log
// (the ANSI page): one table of names, every form of each, byte for byte.
#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/WireName.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

struct NameCase {
  const char* what;
  std::string disk;   // UTF-8, as the user sees it
  std::string wire;   // the name a format carries
  std::string short83;  // Hydra's 8.3 form
  std::string log;    // CP1251
};

// CP866: А 80, Ф 94, а A0, е A5, и A8, й A9, л AB, т E2, с E1, ы EB, ё F1.
// CP1251: Ф D4, а E0, е E5, и E8, й E9, л EB, т F2, с F1, ы FB, ё B8.
const NameCase kNames[] = {
    {"Latin", "Bundle01.ZIP", "Bundle01.ZIP", "bundle01.zip", "Bundle01.ZIP"},
    {"Cyrillic, a letter cut at byte 8 before",
     "a\xd0\xa4\xd0\xb0\xd0\xb9\xd0\xbb\xd1\x8b.zip",  // aФайлы.zip
     "a\x94\xa0\xa9\xab\xeb.zip", "a\x94\xa0\xa9\xab\xeb.zip", "a\xd4\xe0\xe9\xeb\xfb.zip"},
    {"Cyrillic stem longer than 8",
     "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82\xd1\x82\xd0\xb5\xd1\x81\xd1\x82\xd1\x82\xd0\xb5.txt",  // тесттесттe.txt
     "\xe2\xa5\xe1\xe2\xe2\xa5\xe1\xe2\xe2\xa5.txt", "\xe2\xa5\xe1\xe2\xe2\xa5\xe1\xe2.txt",
     "\xf2\xe5\xf1\xf2\xf2\xe5\xf1\xf2\xf2\xe5.txt"},
    {"a blank and a quote", "My \"best\" file.tar.gz", "My \"best\" file.tar.gz",
     "my \"best.gz", "My \"best\" file.tar.gz"},
    {"a character the OEM page lacks (euro sign)", "price\xe2\x82\xac.txt",
     "price\xe2\x82\xac.txt",  // sent as it is: UTF-8
     "pricee.txt", "price\x88.txt"},
    {"a long name keeps its extension",
     "\xd1\x91\xd0\xb6 long name of a file.package",  // ёж ...
     "\xf1\xa6 long name of a file.package", "\xf1\xa6 long .pac",
     "\xb8\xe6 long name of a file.package"},
};

TEST(WireName, EveryNameHasItsFormOnTheWireOnTheDiskAndInTheLog) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WireName(c.disk), c.wire);
    EXPECT_EQ(WireShortName(c.disk), c.short83);
    EXPECT_EQ(DiskName(c.wire), c.disk);  // back from the wire whole
    EXPECT_EQ(LogName(c.disk), c.log);
    EXPECT_EQ(LogName(DiskName(c.wire)), c.log);  // and from the wire through the disk form
    EXPECT_TRUE(IsUtf8(DiskName(c.short83)));
  }
}

// Names on disk that are not UTF-8 (a Windows archive or a copied disk left
// them in CP1251), alone and as one part of a path whose other parts are
// UTF-8: each such part is read in the ANSI page, the others as they are.
// Отчёт in CP1251: CE F2 F7 B8 F2; in CP866: 8E E2 E7 F1 E2.
TEST(WireName, ANameOnDiskThatIsNoUtf8IsReadInTheAnsiPagePartByPart) {
  const struct {
    const char* what;
    std::string disk, text, wire, short83, log;
  } rows[] = {
      {"a CP1251 name", "\xce\xf2\xf7\xb8\xf2.txt", "Отчёт.txt", "\x8e\xe2\xe7\xf1\xe2.txt",
       "\x8e\xe2\xe7\xf1\xe2.txt", "\xce\xf2\xf7\xb8\xf2.txt"},
      {"a CP1251 name below UTF-8 folders", "/home/иван/Входящие/\xce\xf2\xf7\xb8\xf2.txt",
       "/home/иван/Входящие/Отчёт.txt",
       "/home/\xa8\xa2\xa0\xad/\x82\xe5\xae\xa4\xef\xe9\xa8\xa5/\x8e\xe2\xe7\xf1\xe2.txt", "",
       "/home/\xe8\xe2\xe0\xed/\xc2\xf5\xee\xe4\xff\xf9\xe8\xe5/\xce\xf2\xf7\xb8\xf2.txt"},
      {"a CP1251 folder above a UTF-8 name", "/mnt/\xce\xf2\xf7\xb8\xf2/иван.txt",
       "/mnt/Отчёт/иван.txt", "/mnt/\x8e\xe2\xe7\xf1\xe2/\xa8\xa2\xa0\xad.txt", "",
       "/mnt/\xce\xf2\xf7\xb8\xf2/\xe8\xe2\xe0\xed.txt"},
      {"a CP1251 name the OEM page cannot hold (the euro sign)", "\x88\xce.txt", "€О.txt",
       "€О.txt", "e\x8e.txt", "\x88\xce.txt"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(DiskNameText(r.disk), r.text);
    EXPECT_EQ(WireName(r.disk), r.wire);
    if (!r.short83.empty()) {
      EXPECT_EQ(WireShortName(r.disk), r.short83);
    }
    EXPECT_EQ(LogName(r.disk), r.log);
  }
  // A subject names the file in the OEM page, with the nearest character for
  // what the page lacks.
  EXPECT_EQ(PathToOemText("\xce\xf2\xf7\xb8\xf2.txt"), "\x8e\xe2\xe7\xf1\xe2.txt");
  EXPECT_EQ(PathToOemText("\x88\xce.txt"), "E\x8e.txt");
}

// A name shown in a field and edited there: what was not changed along its
// leading path keeps its bytes (the CP1251 folder stays the folder it
// names), any other part is the folder on disk the user sees under its
// parent, else goes as UTF-8, and U+FFFD is never stored. Почта in CP1251:
// CF EE F7 F2 E0.
TEST(WireName, AnEditedNameKeepsTheBytesOfItsUnchangedParts) {
  const std::string cp = "\xcf\xee\xf7\xf2\xe0";
  const test::TempDir disk;
  const std::string t = disk.Path();
  MakeDirs(t + "Новая/Почта/in");
  MakeDirs(t + "пойнт/" + cp + "/files");
  const struct {
    const char* what;
    std::string filled, text, stored;
  } rows[] = {
      {"unchanged", "/home/" + cp + "/base/", "/home/Почта/base/", "/home/" + cp + "/base/"},
      {"unchanged, a command line", "/opt/" + cp + "/zip -r", "/opt/Почта/zip -r",
       "/opt/" + cp + "/zip -r"},
      {"a part below it changed", "/home/" + cp + "/base/", "/home/Почта/base2/",
       "/home/" + cp + "/base2/"},
      {"a part above it changed: another folder, the name as typed", "/home/" + cp + "/base/",
       "/nonexistent/Почта/base/", "/nonexistent/Почта/base/"},
      {"made a full path", cp + "/base", "/nonexistent/Почта/base/", "/nonexistent/Почта/base/"},
      {"a UTF-8 folder typed above a CP1251 one", t + cp + "/in/", t + "Новая/Почта/in/",
       t + "Новая/Почта/in/"},
      {"an existing CP1251 folder typed", t + "пойнт/", t + "пойнт/Почта/files/",
       t + "пойнт/" + cp + "/files/"},
      {"an existing CP1251 folder typed into an empty field", "", t + "пойнт/Почта/files",
       t + "пойнт/" + cp + "/files"},
      {"a new folder below an existing CP1251 one", "", t + "пойнт/Почта/new/",
       t + "пойнт/" + cp + "/new/"},
      {"the name itself changed goes as UTF-8", "/home/" + cp + "/", "/home/Почта2/",
       "/home/Почта2/"},
      {"the trailing slash taken off", "/home/" + cp + "/", "/home/Почта", "/home/" + cp},
      {"the arguments of a command changed", "/opt/" + cp + "/zip -r", "/opt/Почта/zip -q",
       "/opt/" + cp + "/zip -q"},
      {"a UTF-8 name edited", "/home/почта/", "/home/почта/in/", "/home/почта/in/"},
      {"a replacement character typed", "/home/" + cp + "/", "/home/Почта/a\xEF\xBF\xBD" "b",
       "/home/" + cp + "/a_b"},
      {"nothing filled: the text as typed", "", "/home/Почта/", "/home/Почта/"},
      {"cleared", "/home/" + cp + "/", "", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(DiskNameFromText(r.filled, r.text), r.stored);
  }
}

TEST(WireName, ShortNamesAreCutInCharactersNeverInsideOne) {
  // Every stem of up to 12 Cyrillic letters: the 8.3 form is OEM bytes,
  // one per letter, and reads back as whole letters.
  std::string stem;
  for (int n = 1; n <= 12; ++n) {
    stem += "\xd0\xb6";  // ж
    const std::string shortName = WireShortName(stem + ".pkt");
    SCOPED_TRACE(n);
    EXPECT_EQ(shortName, std::string(std::min(n, 8), '\xa6') + ".pkt");
    EXPECT_TRUE(IsUtf8(DiskName(shortName)));
  }
}

TEST(WireName, AReceivedNameIsKeptWhenUtf8ElseReadInTheOemPage) {
  EXPECT_EQ(DiskName("0000FFFE.PKT"), "0000FFFE.PKT");
  EXPECT_EQ(DiskName("\x8f\x80\x8a\x85\x92" "01.PKT"),  // ПАКЕТ01.PKT in CP866
            "\xd0\x9f\xd0\x90\xd0\x9a\xd0\x95\xd0\xa2" "01.PKT");
  EXPECT_EQ(DiskName("\xd1\x82\xd0\xb5\xd1\x81\xd1\x82.txt"), "\xd1\x82\xd0\xb5\xd1\x81\xd1\x82.txt");
  // No conversion makes or removes a separator: the checks of a name hold
  // after it.
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string disk = DiskName(one);
    EXPECT_EQ(disk.find_first_of("/\\:."), b < 0x80 ? one.find_first_of("/\\:.") : std::string::npos);
  }
}

TEST(WireName, LogNamesFollowTheAnsiPageSetting) {
  SetAnsiCodePage(CodePage::CP1252);
  EXPECT_EQ(LogName("\xc3\x9c" "bung.txt"), "\xdc" "bung.txt");  // Übung
  SetAnsiCodePage(CodePage::CP1251);
  EXPECT_EQ(LogName("\xc3\x9c" "bung.txt"), "Ubung.txt");  // CP1251 has no Ü: its nearest
}

}  // namespace
}  // namespace velmaris::platform
