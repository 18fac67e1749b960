// The text rules of the message editor, without a window: the editor's text
// to message lines with the target area's character switches, the quote
// prefix of a line, re-flowing quoted paragraphs, continuing a quoted line
// on Enter, UUencoding a file for insertion, the choice of the own address
// for a destination, and skipping the area entries a message cannot go to.
//
// Texts are byte strings in the ANSI code page, except the editor's text on
// its way out (EditorTextToMailLines, ConvertLineForArea), which arrives as
// the window holds it, in UTF-8, with lines ended by CR, CR LF or LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FidoAddress.h"

namespace velmaris {

class TArea;
class TLinkList;
class TNetLink;

// The width quoted paragraphs are wrapped to.
inline constexpr int kReflowWidth = 78;
// A file to be UUencoded into the text may be at most this long.
inline constexpr size_t kMaxUUEncodeSize = 65000;

// The character switches of an area for new text.
struct TAreaTextRules {
  bool TabsToSpaces = false;
  bool NToH = false;       // the ANSI byte 0xCD becomes "H"
  bool NoUmlaute = false;  // the letters ä Ä ö Ö ü Ü spelt out ("ae", ...)
  bool NoSZ = false;       // the letter ß becomes "ss"
};
TAreaTextRules TextRulesOf(const TArea& area);

// One line of the editor's text (UTF-8) converted by the switches into the
// ANSI code page: tabs expanded by characters, the umlauts and sharp s spelt
// out as letters before the conversion (so a Cyrillic text, whose letters
// share their byte values in CP1251, keeps every letter), then 0xCD of the
// converted line to "H".
std::string ConvertLineForArea(std::string utf8Line, const TAreaTextRules& rules);

// The editor's whole text split into lines (the message base keeps 32-bit
// lengths and packets carry a message of any length, so nothing is cut): at
// each CR (an LF right after it dropped) and at each lone LF; the rest after
// the last break is the last line.
std::vector<std::string> SplitEditorText(std::string_view text);

// The text out: the editor's text (UTF-8) split by SplitEditorText, each
// line converted by ConvertLineForArea into the ANSI code page.
std::vector<std::string> EditorTextToMailLines(std::string_view utf8Text,
                                               const TAreaTextRules& rules);

// When the line is quoted, moves the quote prefix out of it into prefix,
// normalised to " " + the prefix without blanks + " ", and returns true;
// else leaves the line, clears prefix and returns false.
bool GetQuotePrefix(std::string& line, std::string& prefix);

// Every paragraph re-wrapped to kReflowWidth: consecutive non-empty lines
// with the same quote prefix are joined and wrapped again under that
// prefix; an empty line ends a paragraph. Lines are joined by CR LF.
std::string ReflowQuotes(std::string_view text);

// Enter inside a quoted line: line is the caret's line, column the caret's
// 1-based column. When the break continues the quote, the two lines that
// take the place of the line; nothing when Enter works as usual.
struct TQuoteBreak {
  std::string First;   // the text before the caret
  std::string Second;  // the quote prefix, a blank and the rest
};
std::optional<TQuoteBreak> ContinueQuote(std::string_view line, int column);

// "begin 644 <name>", the data in lines of 45 bytes, "`" and "end", each
// line ended by CR LF. name (message text: the ANSI page) is taken without
// its directory, and quoted when it holds a blank.
std::string UUEncodeText(std::string_view fileName, std::string_view data);

// The own address for a destination: the first uplink whose own address has
// the destination's zone, net and node; failing that zone and net; failing
// that the zone; failing that the first uplink. Null without uplinks.
const TNetLink* BestOwnUplink(const TLinkList& uplinks, const TFidoAddr& dest);

// The entries of the area selector a message cannot go to.
bool IsForbiddenAreaEntry(std::string_view name);
// The entry the selector moves to from current when it came from previous:
// forbidden entries are skipped in the direction of travel (up when
// previous > current, else down), wrapping at both ends. current itself
// when it may be chosen, or when previous is -1 or every entry is forbidden.
int SkipForbiddenAreas(const std::vector<std::string>& names, int previous, int current);

// The file name part of a path ("C:\DATA\FILE.ZIP" gives "FILE.ZIP").
std::string FileNamePart(std::string_view path);

}  // namespace velmaris
