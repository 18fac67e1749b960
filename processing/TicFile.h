// TIC file-echo announcements: a text file beside a received file that names
// the file echo (AREA), the file (FILE), its description (DESC, LDESC) and its
// CRC-32 (CRC). The tosser copies the announced file into the file base below
// the area's folder and writes the description beside it, in the ANSI page.
//
// AREA and FILE come from the remote system: they are used as names only
// when they hold no path separator, no drive or absolute form, no control
// character and are not "." or "..", and the copy is checked to stay inside
// the file base.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

class TPckList;

// The largest TIC file that is read.
inline constexpr size_t kMaxTicFileSize = 64 * 1024;

struct TTicFile {
  std::string Area;
  std::string File;
  std::string Desc;
  std::vector<std::string> LDesc;
  std::optional<uint32_t> Crc;  // the announced CRC-32
  std::optional<uint64_t> Size;  // the announced size (SIZE), when it is a number
  bool BadCrcText = false;      // a CRC line that is no hexadecimal number
  // The text says it is UTF-8: it begins with a byte-order mark or a CHRS
  // (or CHARSET) line names UTF-8.
  bool Utf8 = false;

  // Reads the lines (ended by CR, LF or both): the first word, upper-cased,
  // is the keyword; the last AREA, FILE, DESC, CRC and SIZE win, LDESC lines
  // add up; other lines are passed over.
  static TTicFile Parse(std::string_view text);
  // The description file's lines: the long description, else the
  // description as its one line.
  std::vector<std::string> DescriptionLines() const;
  // The description file's text in the ANSI page. A TIC file is in the OEM
  // page unless it says it is UTF-8 (Utf8), also where its bytes happen to
  // be valid UTF-8 ("сад" in CP866); a description from a sender that
  // writes UTF-8 without saying so is taken as UTF-8 when it holds a
  // two-byte letter or an emoji, or only characters the ANSI page holds,
  // which OEM text read as UTF-8 never does. A letter of it the ANSI page
  // lacks becomes its nearest there, else "?".
  std::string DescriptionText() const;
};

// The names, in order, under which the mailer may have stored a received
// file the TIC file names (on disk, UTF-8): cut to fit as it cuts, then
// numbered as it numbers a taken name, as long as such files exist.
std::vector<std::string> TicInboundNames(const std::string& inbound, const std::string& name);
// The name of the copy in a file area: the name cut to fit, cut further
// where the description file (the name plus ".Txt") would not fit beside it.
std::string TicAreaFileName(const std::string& name);

// The CRC-32, size and time stamp of a file from one read of it.
struct TFileFacts {
  uint32_t Crc = 0;
  uint64_t Size = 0;
  int64_t ModTime = 0;
};
enum class TReadResult { Ok, Missing, Unreadable, Changed };
// Reads the regular file at path (a link is followed) once for its facts;
// onBlockRead, when given, hears the bytes read so far after each block.
// Changed: the file is not the same after the read as before it (identity,
// size, modification or change time), so the facts describe no one state.
TReadResult ReadFileFacts(const std::string& path, TFileFacts& facts,
                          const std::function<void(uint64_t)>& onBlockRead = {});

// Whether a name from a TIC file may be used as one file or folder name.
bool IsSafeTicName(std::string_view name);
// Whether the name is one the inbound directory holds mail under: packets,
// bundles, flow, request and outbound-mail files, TIC files, files put aside
// as damaged, files still being received and the tosser's temporary copy. A
// TIC file never takes such a file.
bool IsMailFileName(std::string_view name);
// Whether the name is one the tosser takes for a bundle ("*.mo?" ...).
bool IsBundleName(std::string_view name);

// What became of one TIC file.
enum class TTicResult {
  Moved,      // file copied, description written, both inbound files deleted
  Errors,     // no AREA or FILE, a hostile name, an unreadable TIC file
  NotMoved,   // the file is missing, its CRC differs, or the copy failed
  Duplicate,  // the same file (size and CRC) is in the area: the inbound files deleted
};

struct TTicOutcome {
  TTicResult Result = TTicResult::Errors;
  std::vector<std::string> LogLines;  // the log lines (ANSI), without time stamps
};

// Processes the TIC file ticName in the inbound directory against the file
// base (both ending in "/"). The files stay in the inbound directory unless
// the result is Moved or Duplicate. Where the area's folder holds a file
// under the name already: the same file (size and CRC) makes the TIC file
// a duplicate; a different file whose name was cut to fit goes beside it
// under the first free numbered name (NumberedName, leaving room for the
// description), as two long names cut to one never replace each other; a
// different file under its own, uncut name is replaced (the newer one the
// TIC file announces), with its description, when it is a file of the
// folder. A TIC file never replaces a description (a name that is another
// file's of the area plus ".Txt", a description list such as "files.bbs"):
// it is refused (Errors). A TIC file whose file is not in the inbound
// directory but in the area with its CRC (and its SIZE, when announced) is
// a duplicate too (two TIC files for one file in one call): it is deleted.
// A file with a mail name is
// never taken; with packers given, a bundle name counts as mail only when a
// packer knows the file (what the tosser would unpack). The area and file
// names of the TIC file (OEM, or UTF-8 kept as it is) are converted to the
// file system's bytes before they touch the disk. The file is looked up
// under the name the mailer stores it under (cut to fit, numbered when
// taken; TicInboundNames), and the area's folder is an existing one of that
// name in any case, made only when there is none.
TTicOutcome ProcessTicFile(const std::string& inbound, const std::string& ticName,
                           const std::string& fileBase, const TPckList* packers = nullptr);

}  // namespace velmaris
