// File requests built from the file lists that BBSes publish.
//
// File list: read whole into memory (at most kMaxFileListSize bytes) and
// indexed by line; a line ends at LF, CR, or CR LF, and the text after the
// last line end is not part of the list (the number of lines is the number
// of line ends). A line is shown with TABs expanded to the tab size, other
// control characters dropped, and cut at 255 characters.
//
// Request file: one per destination in the outbound directory (or its zone
// outbound for another zone than the default one), named after net and node
// with ".req"; lines end in CR LF; each line is a file or magic name,
// optionally followed by one blank and a password beginning with "!". The
// remote reads a line as words, so a name goes into it only as one word:
// every blank or control character of a request line separates words, a
// quoted name or password holding a blank is refused, and so is a name with
// a path separator or a drive, and "." and "..". A copy
// with ".rvp" brings a request back after the mailer has sent and deleted
// the ".req".
//
// The area scan finds the file areas of a list by the mailbox's layout: the
// lines that hold AreaIndicator; the name stands AreaLine lines further, from
// column AreaColumn (from 1), at most AreaSize characters.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/FidoAddress.h"
#include "platform/CodePage.h"

namespace velmaris {

class TMailBox;
class TMBList;

class EFileListLineIndexOutOfRange : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};
class EFileList : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxShownLine = 255;
// The largest file list that is loaded, and the size of one read.
inline constexpr uint64_t kMaxFileListSize = 32u << 20;
inline constexpr size_t kFileListReadSize = 0x20000;

class TFileList {
 public:
  // Loads a file; raises EFileList with the user's message when it cannot
  // be opened or read completely, or is larger than kMaxFileListSize. An
  // empty name empties the list. indexing, when given, runs once the file
  // has been read, before its lines are indexed.
  void Load(const std::string& path, const std::function<void()>& indexing = {});
  // A message text as the list, under the name "Mailtext".
  void LoadText(std::string text, const std::string& name = "Mailtext");
  void Clear();

  const std::string& Name() const { return name_; }
  size_t Size() const { return text_.size(); }
  int Count() const { return static_cast<int>(offsets_.size()); }
  // The line as stored (raises EFileListLineIndexOutOfRange).
  std::string_view Raw(int index) const;
  // The line as shown.
  std::string Line(int index, int tabSize = 8) const;
  // The next line after `from` that holds text (letter case ignored unless
  // matchCase); -1 when none before the end. The text is in the ANSI code
  // page, as the windows take it, and the list in listPage: the text is
  // recoded to listPage (a text with a character listPage lacks, or an
  // empty one, is found nowhere) and without case the letters of listPage
  // fold (CaseFold.h). step, when given, is asked after every kFindStep
  // lines whether to go on; false ends the search with -1 at once (the list
  // may have changed then). While it answers true, the list must not have
  // changed.
  static constexpr int kFindStep = 1000;
  int Find(const std::string& text, int from, bool matchCase, platform::CodePage listPage,
           const std::function<bool()>& step = {}) const;
  // The same for a needle already in listPage (a window that holds the text
  // in Unicode converts it to the list's page itself).
  int FindInPage(const std::string& needle, int from, bool matchCase, platform::CodePage listPage,
                 const std::function<bool()>& step = {}) const;

 private:
  // Line i starts at blockBase_[i / kLinesPerBlock] + offsets_[i]: 64-bit
  // positions at four bytes a line. Every line end in text_ is a NUL.
  static constexpr size_t kLinesPerBlock = 8192;
  void Index();
  std::string name_, text_;
  std::vector<uint64_t> blockBase_;
  std::vector<uint32_t> offsets_;
};

struct TFileArea {
  std::string Name;
  int Line = 0;  // the indicator's line
};
std::vector<TFileArea> ScanFileAreas(const TFileList& list, const TMailBox& mailbox);
// The area a line belongs to: the last whose line is at or before it; -1.
int AreaOfLine(const std::vector<TFileArea>& areas, int line);

// The line written for a request line: its first word (quotes honoured),
// and " " + the second word when that begins with "!"; empty for none.
// Raises EFileList naming the line when its name cannot be requested.
std::string RequestFileLine(const std::string& line);
// The request file of the address (extension ".req" or ".rvp"); outbound
// without a trailing "/".
std::string RequestFilePath(const std::string& outbound, int32_t defaultZone,
                            const TFidoAddr& address, const std::string& extension);
// Writes the request and its copy; nothing for an empty request. Raises
// EFileList("Could not save request!") on failure.
void WriteRequestFiles(const std::vector<std::string>& lines, const std::string& outbound,
                       int32_t defaultZone, const TFidoAddr& address);
// The lines of a pending request; empty when there is none.
std::vector<std::string> ReadRequestFile(const std::string& path);

enum class TRecoverResult { NoOldRequest, Recovered, Kept, Failed };
// Brings the ".rvp" back as ".req". When a ".req" exists, keepSaved is asked
// whether to discard it for the saved one.
TRecoverResult RecoverRequest(const std::string& outbound, int32_t defaultZone,
                              const TFidoAddr& address, const std::function<bool()>& keepSaved);

// --- Area calibration ---------------------------------------------------------

// A selection in the calibrator's lines, by character positions in the
// text joined with "\n".
struct TTextRange {
  int Line = 0, First = 0, Last = 0;  // columns from 1
};
// The range of a selection; the error text when it is empty or spans lines.
bool SelectionRange(const std::vector<std::string>& lines, int start, int length, TTextRange& range,
                    std::string& error);
// The layout the two selections give: name range, then indicator.
void ApplyCalibration(TMailBox& mailbox, const TTextRange& name, const TTextRange& indicator,
                      const std::string& indicatorText);
// The same values for every mailbox of the list with that name and address.
void ApplyCalibrationToAll(TMBList& boxes, const TMailBox& source);

// The mailboxes the poll dialog offers: each uplink's valid mailbox, once
// per name, in uplink order.
class TLinkList;
std::vector<TMailBox*> PollCandidates(const TLinkList& links, const TMBList& boxes);

}  // namespace velmaris
