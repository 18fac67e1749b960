#include "processing/TicFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>

#include "archive/Packer.h"
#include "core/ConfigStore.h"
#include "core/Crc.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/Tosser.h"

namespace velmaris {

namespace {

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

std::optional<uint32_t> ParseHex32(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int digit = platform::HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

// A decimal size; nothing for any other text.
std::optional<uint64_t> ParseSize(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

std::string Hex8(uint32_t v) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

using platform::Fd;

// The real path of an existing directory, with a trailing "/"; "" when it
// cannot be resolved.
std::string RealDir(const std::string& dir) {
  std::unique_ptr<char, decltype(&::free)> real(::realpath(dir.c_str(), nullptr), &::free);
  if (!real) return {};
  std::string s(real.get());
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// Copies source to target through a temporary file beside the target,
// computing the CRC-32 of the bytes copied. When expected is given and
// differs, nothing is made. Unless replace is set the target is never
// replaced: a file or link that appeared at its name meanwhile makes the
// copy fail. With replace the copy is renamed over what stands there (a
// link itself, never its target).
enum class CopyResult { Ok, Failed, CrcMismatch };
CopyResult CopyWithCrc(const std::string& source, const std::string& target,
                       std::optional<uint32_t> expected, uint32_t& crc, bool replace = false) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (in.get() < 0) return CopyResult::Failed;
  // The temporary name stays within the bytes a name may have, also beside
  // a name cut to fit.
  constexpr std::string_view kTemp = ".$tic";
  const std::string temp =
      platform::DirOf(target) +
      std::string(platform::Utf8Prefix(platform::NameOf(target),
                                       platform::kMaxFileNameBytes - kTemp.size())) +
      std::string(kTemp);
  ::unlink(temp.c_str());
  Fd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (out.get() < 0) return CopyResult::Failed;
  auto fail = [&](CopyResult r) {
    ::unlink(temp.c_str());
    return r;
  };
  uint32_t reg = 0xFFFFFFFFu;
  std::string buf(1 << 16, '\0');
  for (;;) {
    const ssize_t n = platform::ReadSome(in.get(), buf.data(), buf.size());
    if (n < 0) return fail(CopyResult::Failed);
    if (n == 0) break;
    reg = Crc32Update(reg, buf.data(), static_cast<size_t>(n));
    if (!platform::WriteAll(out.get(), std::string_view(buf.data(), static_cast<size_t>(n)))) {
      return fail(CopyResult::Failed);
    }
  }
  crc = ~reg;
  if (expected && *expected != crc) return fail(CopyResult::CrcMismatch);
  if (::fsync(out.get()) != 0) return fail(CopyResult::Failed);
  try {
    if (replace)
      platform::ReplaceFile(temp, target);
    else if (!platform::RenameNoReplace(temp, target))
      return fail(CopyResult::Failed);
  } catch (const platform::EFile&) {
    return fail(CopyResult::Failed);
  }
  return CopyResult::Ok;
}

// The same file, unchanged: identity, size, modification time and change
// time (a rewrite can put the modification time back, never the change
// time).
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

TReadResult ReadFileFacts(const std::string& path, TFileFacts& facts,
                          const std::function<void(uint64_t)>& onBlockRead) {
  facts = {};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return TReadResult::Missing;
  Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok() || ::fstat(in.get(), &st) != 0) return TReadResult::Unreadable;
  if (!S_ISREG(st.st_mode)) return TReadResult::Missing;
  uint32_t reg = 0xFFFFFFFF;
  std::string buffer(1 << 16, '\0');
  for (;;) {
    const ssize_t n = platform::ReadSome(in.get(), buffer.data(), buffer.size());
    if (n < 0) return TReadResult::Unreadable;
    if (n == 0) break;
    reg = Crc32Update(reg, buffer.data(), static_cast<size_t>(n));
    facts.Size += static_cast<uint64_t>(n);
    if (onBlockRead) onBlockRead(facts.Size);
  }
  // Size and CRC describe the file only when the file read is the one the
  // path names, as it was when the read began.
  struct stat after {};
  struct stat named {};
  if (::fstat(in.get(), &after) != 0 || ::stat(path.c_str(), &named) != 0)
    return TReadResult::Changed;
  if (!SameFile(st, after) || !SameFile(st, named) ||
      facts.Size != static_cast<uint64_t>(st.st_size))
    return TReadResult::Changed;
  facts.Crc = ~reg;
  facts.ModTime = st.st_mtime;
  return TReadResult::Ok;
}

TTicFile TTicFile::Parse(std::string_view text) {
  TTicFile tic;
  size_t pos = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    tic.Utf8 = true;
    pos = 3;
  }
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string rest(text.substr(pos, end - pos));
    pos = end;
    while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n')) ++pos;

    std::string keyword;
    CutFirstWordOrQuoted(rest, keyword);
    keyword = platform::UpperAscii(keyword);
    if (keyword == "AREA" || keyword == "FILE" || keyword == "CRC" || keyword == "SIZE") {
      std::string word;
      CutFirstWordOrQuoted(rest, word);
      if (keyword == "AREA") {
        tic.Area = word;
      } else if (keyword == "FILE") {
        tic.File = word;
      } else if (keyword == "SIZE") {
        tic.Size = ParseSize(word);
      } else {
        tic.Crc = ParseHex32(word);
        tic.BadCrcText = !tic.Crc.has_value();
      }
    } else if (keyword == "DESC") {
      tic.Desc = TrimRight(TrimLeft(rest));
    } else if (keyword == "LDESC") {
      tic.LDesc.push_back(TrimRight(TrimLeft(rest)));
    } else if (keyword == "CHRS" || keyword == "CHARSET") {
      std::string word;
      CutFirstWordOrQuoted(rest, word);
      word = platform::UpperAscii(word);
      tic.Utf8 = word == "UTF-8" || word == "UTF8";
    }
  }
  return tic;
}

std::vector<std::string> TTicFile::DescriptionLines() const {
  if (!LDesc.empty()) return LDesc;
  return {Desc};
}

namespace {

// Whether text without a mark is UTF-8 rather than OEM text. OEM text is
// valid UTF-8 only by accident: CP866 letters make three-byte sequences (a
// small letter р-я before a capital or а-п: "сад", "тип") or four-byte ones
// (ё before three such letters), but never a two-byte sequence unless a box
// character stands before a letter, nor an emoji (Ё before Я). UTF-8 text
// from a sender that writes it without saying so has a two-byte letter
// (Cyrillic, accented Latin) or an emoji, or holds only characters the ANSI
// page has ("—").
bool UnmarkedUtf8(std::string_view text) {
  if (!platform::IsUtf8(text)) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0xC2 && b <= 0xDF) return true;
    if (b == 0xF0 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x9F)
      return true;
  }
  return platform::FromUtf8Exact(text, platform::AnsiCodePage()).has_value();
}

}  // namespace

std::string TTicFile::DescriptionText() const {
  std::string text;
  for (const std::string& line : DescriptionLines()) text += line + "\n";
  // UTF-8 in the ANSI page: a letter the page lacks becomes its nearest
  // there, else "?".
  return Utf8 || UnmarkedUtf8(text) ? platform::TextFileToAnsi(text, /*oem=*/true)
                                    : platform::OemToAnsi(text);
}

bool IsBundleName(std::string_view name) {
  for (const char* mask : kBundleMasks)
    if (platform::WildcardMatch(mask, name)) return true;
  return false;
}

bool IsMailFileName(std::string_view name) {
  static const char* const kMasks[] = {"*.pk?", "*.?lo", "*.?ut",          "*.req",
                                       "*.tic", "*.bad", "*.Transmission", "Import.Me"};
  for (const char* mask : kMasks)
    if (platform::WildcardMatch(mask, name)) return true;
  return IsBundleName(name);
}

std::vector<std::string> TicInboundNames(const std::string& inbound, const std::string& name) {
  const std::string fitted = platform::FitFileName(name);
  std::vector<std::string> names;
  if (const auto found = platform::FindNoCase(inbound, fitted)) names.push_back(*found);
  for (unsigned n = 1; n < 0x10000; ++n) {
    const auto found = platform::FindNoCase(inbound, NumberedName(fitted, n));
    if (!found) break;
    names.push_back(*found);
  }
  return names;
}

std::string TicAreaFileName(const std::string& name) {
  constexpr std::string_view kTxt = ".Txt";
  const std::string fitted = platform::FitFileName(name);
  if (fitted.size() + kTxt.size() <= platform::kMaxFileNameBytes) return fitted;
  const size_t dot = fitted.rfind('.');
  const bool hasExt = dot != std::string::npos && dot != 0;
  const std::string both =
      platform::FitFileName(hasExt ? fitted.substr(0, dot) : fitted, "",
                            (hasExt ? fitted.substr(dot) : std::string()) + std::string(kTxt));
  if (both.size() > kTxt.size() && both.size() <= platform::kMaxFileNameBytes &&
      both.compare(both.size() - kTxt.size(), kTxt.size(), kTxt) == 0)
    return both.substr(0, both.size() - kTxt.size());
  return fitted;
}

bool IsSafeTicName(std::string_view name) {
  // A long name is cut to fit where it touches the disk, never refused.
  if (name.empty()) return false;
  if (name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32 || c == 127) return false;
    if (c == '/' || c == '\\' || c == ':') return false;  // separators, drives
  }
  return true;
}

namespace {

// Whether two folder names on disk (UTF-8) are one without regard to case:
// names the ANSI page holds are compared with its letters, Cyrillic as
// Latin; any other name with its ASCII letters only.
bool SameFolderName(const std::string& a, const std::string& b) {
  const platform::CodePage ansi = platform::AnsiCodePage();
  const auto x = platform::FromUtf8Exact(a, ansi);
  const auto y = platform::FromUtf8Exact(b, ansi);
  if (x && y) return platform::EqualNoCase(*x, *y, ansi);
  return platform::EqualNoCase(a, b);
}

// The folder of a file area below the file base: the one there is of that
// name in any case (the exact name first), else the name as it stands.
std::string AreaFolder(const std::string& fileBase, const std::string& area) {
  if (platform::DirExists(platform::JoinPath(fileBase, area))) return area;
  std::optional<std::string> best;
  for (const platform::DirEntry& e : platform::ScanDir(fileBase, "*", false, true))
    if (e.isDir && SameFolderName(e.name, area) && (!best || e.name < *best)) best = e.name;
  return best.value_or(area);
}

// Why a TIC file may not put its file under name in the area's folder
// (realArea): the name is the description of a file there (that file's
// name plus ".Txt", as the tosser writes it) or a description list other
// programs keep in file areas. "" when it may.
std::string DescriptionRefusal(const std::string& realArea, const std::string& name) {
  constexpr std::string_view kTxt = ".Txt";
  struct stat st {};
  if (name.size() > kTxt.size() &&
      name.compare(name.size() - kTxt.size(), kTxt.size(), kTxt) == 0 &&
      ::lstat((realArea + name.substr(0, name.size() - kTxt.size())).c_str(), &st) == 0)
    return "the description of " + platform::LogName(name.substr(0, name.size() - kTxt.size()));
  for (const char* list : {"files.bbs", "descript.ion"})
    if (platform::EqualNoCase(name, list) && ::lstat((realArea + name).c_str(), &st) == 0)
      return "the area's description list";
  return {};
}

// The file in the area's folder (realArea) under name or, where that name
// is another file's, under a number beside it, that is the one announced:
// a file of that CRC and, when it is known, that size. Its name, "" when
// there is none.
std::string AnnouncedFileInArea(const std::string& realArea, const std::string& name,
                                std::optional<uint64_t> size, uint32_t crc) {
  for (unsigned n = 0; n < 0x10000; ++n) {
    const std::string there = n == 0 ? name : NumberedName(name, n, ".Txt");
    struct stat st {};
    if (::lstat((realArea + there).c_str(), &st) != 0) {
      if (::lstat((realArea + there + ".Txt").c_str(), &st) == 0) continue;
      return {};
    }
    TFileFacts facts;
    if (S_ISREG(st.st_mode) && (!size || static_cast<uint64_t>(st.st_size) == *size) &&
        ReadFileFacts(realArea + there, facts) == TReadResult::Ok &&
        (!size || facts.Size == *size) && facts.Crc == crc)
      return there;
  }
  return {};
}

// Whether the inbound file the TIC file names is mail (see ProcessTicFile).
bool IsMailFile(const std::string& inbound, const std::string& name, const TPckList* packers) {
  if (!IsMailFileName(name)) return false;
  if (!packers || !IsBundleName(name)) return true;
  const auto found = platform::FindNoCase(inbound, name);
  return found && packers->FindPackerForFile(inbound + *found) != nullptr;
}

}  // namespace

TTicOutcome ProcessTicFile(const std::string& inbound, const std::string& ticName,
                           const std::string& fileBase, const TPckList* packers) {
  TTicOutcome out;
  // Log lines are ANSI text: every name goes into the ANSI page where the
  // line is made.
  const std::string ticLog = platform::LogName(ticName);
  const std::string errors = "TIC file " + ticLog + " contains errors.";
  std::string text;
  try {
    const std::string path = inbound + ticName;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > kMaxTicFileSize) {
      out.LogLines = {errors, "TIC file " + ticLog + " is larger than " +
                                  std::to_string(kMaxTicFileSize) + " bytes."};
      return out;
    }
    text = platform::ReadFile(path);
  } catch (const platform::EFile&) {
    // A read error ends the reading quietly: what was read counts.
  }
  if (text.size() > kMaxTicFileSize) text.resize(kMaxTicFileSize);
  const TTicFile tic = TTicFile::Parse(text);
  if (tic.Area.empty() || tic.File.empty() || tic.BadCrcText) {
    out.LogLines = {errors};
    return out;
  }
  if (!IsSafeTicName(tic.Area) || !IsSafeTicName(tic.File)) {
    out.LogLines = {errors, "TIC file " + ticLog +
                                " names an area or a file that cannot be used"
                                " as a file name."};
    return out;
  }
  // The names on disk: the TIC file's OEM names, UTF-8 kept as it is.
  const std::string file = platform::DiskName(tic.File);
  const std::string area = platform::FitFileName(platform::DiskName(tic.Area));
  const std::string fileLog = platform::LogName(file);
  const std::string areaLog = platform::LogName(area);

  if (IsMailFile(inbound, file, packers)) {
    out.LogLines = {errors, "TIC file " + ticLog + " names " + fileLog +
                                ", which is mail, not a file of a file echo."};
    return out;
  }

  const std::string notMoved = "File " + fileLog + " could not be moved to area " + areaLog + " .";
  out.Result = TTicResult::NotMoved;
  // The mailer names a received file as it is on disk, cut to fit and
  // numbered when the name was taken; one that kept the sender's OEM bytes
  // is found under them.
  std::vector<std::string> found = TicInboundNames(inbound, file);
  if (found.empty() && file != tic.File) found = TicInboundNames(inbound, tic.File);
  std::erase_if(found, [&](const std::string& n) { return !platform::FileExists(inbound + n); });
  // The target folder must lie inside the file base also after links are
  // resolved. An area's folder is found in any case: FILES.LAT and files.lat
  // are one area.
  std::string areaDir;
  try {
    areaDir = platform::WithSlash(fileBase) + AreaFolder(fileBase, area) + "/";
  } catch (const platform::EFile&) {
    areaDir = platform::WithSlash(fileBase) + area + "/";
  }
  const auto inside = [&](const std::string& realArea, const std::string& realBase) {
    return !realBase.empty() && !realArea.empty() && realArea.size() > realBase.size() &&
           realArea.compare(0, realBase.size(), realBase) == 0;
  };
  std::string areaFile = TicAreaFileName(file);
  if (found.empty()) {
    // Filed already: another TIC file of the same call announced the same
    // file, which the mailer stored once.
    const std::string realArea = RealDir(areaDir);
    if (tic.Crc && inside(realArea, RealDir(fileBase))) {
      if (const std::string there = AnnouncedFileInArea(realArea, areaFile, tic.Size, *tic.Crc);
          !there.empty()) {
        ::unlink((inbound + ticName).c_str());
        out.Result = TTicResult::Duplicate;
        out.LogLines = {"File " + fileLog + " is already in area " + areaLog + " as " +
                        platform::LogName(there) + ": the TIC file " + ticLog +
                        " announces it again and has been deleted."};
        return out;
      }
    }
    out.LogLines = {notMoved, "File " + fileLog + " is not in the inbound directory."};
    return out;
  }
  ForceDirectoryPath(areaDir);
  const std::string realBase = RealDir(fileBase);
  const std::string realArea = RealDir(areaDir);
  if (!inside(realArea, realBase)) {
    out.LogLines = {notMoved, "The folder of area " + areaLog + " lies outside the file base."};
    return out;
  }
  // A TIC file never puts its file over a description.
  if (const std::string why = DescriptionRefusal(realArea, areaFile); !why.empty()) {
    out.Result = TTicResult::Errors;
    out.LogLines = {errors, "TIC file " + ticLog + " names " + fileLog + ", " + why + " in area " +
                                areaLog + ": it is not replaced."};
    return out;
  }
  // A file under a name cut to fit stays: another TIC file placed it. One
  // under its own name gives way to the newer one the TIC file announces.
  bool replace = false;
  const auto taken = [&realArea](const std::string& name) {
    struct stat st {};
    return ::lstat((realArea + name).c_str(), &st) == 0 ||
           ::lstat((realArea + name + ".Txt").c_str(), &st) == 0;
  };
  if (taken(areaFile)) {
    // The file it would go beside is compared with the one the TIC file
    // announces: of the files the mailer numbered under one name, the one
    // whose CRC it announces.
    TFileFacts facts;
    std::string source;
    std::optional<uint32_t> otherCrc;
    for (const std::string& name : found) {
      if (ReadFileFacts(inbound + name, facts) != TReadResult::Ok) continue;
      if (!tic.Crc || facts.Crc == *tic.Crc) {
        source = name;
        break;
      }
      otherCrc = facts.Crc;
    }
    if (source.empty()) {
      out.LogLines = {notMoved};
      if (otherCrc && tic.Crc)
        out.LogLines.push_back("File " + fileLog + " has the CRC " + Hex8(*otherCrc) +
                               ", the TIC file announces " + Hex8(*tic.Crc) + ".");
      return out;
    }
    // A name cut to fit may have become another file's: the file goes
    // beside it under a number. Its own name it keeps or waits for.
    const bool cut = areaFile != file;
    std::string free;
    for (unsigned n = 0; n < 0x10000; ++n) {
      const std::string name = n == 0 ? areaFile : NumberedName(areaFile, n, ".Txt");
      if (!taken(name)) {
        free = name;
        break;
      }
      TFileFacts there;
      struct stat st {};
      if (::lstat((realArea + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          ReadFileFacts(realArea + name, there) == TReadResult::Ok && there.Size == facts.Size &&
          there.Crc == facts.Crc) {
        ::unlink((inbound + source).c_str());
        ::unlink((inbound + ticName).c_str());
        out.Result = TTicResult::Duplicate;
        out.LogLines = {"File " + fileLog + " is already in area " + areaLog + " as " +
                        platform::LogName(name) + ": the copy received has been deleted."};
        return out;
      }
      if (!cut) break;
    }
    if (free.empty() && !cut) {
      // Its own name: the file there is replaced when it is a file of the
      // area's folder (never a folder, a link or anything else).
      struct stat st {};
      if (::lstat((realArea + areaFile).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        out.Result = TTicResult::Errors;
        out.LogLines = {errors, "TIC file " + ticLog + " names " + fileLog +
                                    ", which is no file in area " + areaLog +
                                    ": it is not replaced."};
        return out;
      }
      free = areaFile;
      replace = true;
    }
    if (free.empty()) {
      out.LogLines = {notMoved, "File " + fileLog + " is already in area " + areaLog + " ."};
      return out;
    }
    if (free != areaFile)
      out.LogLines.push_back("File " + fileLog + " is in area " + areaLog + " as " +
                             platform::LogName(free) + ": another file has the name " +
                             platform::LogName(areaFile) + " there.");
    areaFile = free;
    found = {source};
  }
  // Of the files the mailer numbered under one name, the one whose CRC the
  // TIC file announces.
  uint32_t crc = 0;
  CopyResult copied = CopyResult::Failed;
  std::string source;
  for (const std::string& name : found) {
    source = name;
    copied = CopyWithCrc(inbound + name, realArea + areaFile, tic.Crc, crc, replace);
    if (copied != CopyResult::CrcMismatch) break;
  }
  if (copied == CopyResult::CrcMismatch) {
    out.LogLines = {notMoved, "File " + fileLog + " has the CRC " + Hex8(crc) +
                                  ", the TIC file announces " + Hex8(*tic.Crc) + "."};
    return out;
  }
  if (copied != CopyResult::Ok) {
    out.LogLines = {notMoved};
    return out;
  }
  // The file beside the copy is text for the user, in the ANSI page as
  // every text file the program writes for the user.
  try {
    platform::WriteFileAtomic(realArea + areaFile + ".Txt", tic.DescriptionText());
  } catch (const platform::EFile&) {
    out.LogLines.push_back("The description of " + fileLog + " could not be written.");
  }
  ::unlink((inbound + source).c_str());
  ::unlink((inbound + ticName).c_str());
  out.Result = TTicResult::Moved;
  out.LogLines.insert(out.LogLines.begin(),
                      "File " + fileLog + " has been moved to area " + areaLog + " .");
  if (replace)
    out.LogLines.insert(out.LogLines.begin() + 1,
                        "File " + fileLog + " in area " + areaLog +
                            " has been replaced by the one the TIC file " + ticLog + " announces.");
  return out;
}

}  // namespace velmaris
