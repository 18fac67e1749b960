// The message view's rendering of one message text into the two parallel
// lists the text viewer draws: Lines (one paragraph per text line, without
// its prefix) and Prefixes (the text drawn at the start of the paragraph
// and again at the start of each wrapped line). The display escapes are
// those of app/logic/MsgText.h.
//
// Texts stay byte strings in their code page. Whether a message is LATIN
// (shown as stored) or OEM (converted to the ANSI code page) is decided
// here; the conversion itself happens at the edge of the window, which
// converts every byte but the code byte after an ESC.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

struct TRenderOptions {
  bool Styles = true;        // inline *bold*, _underline_, //italic//
  bool ShowKludges = false;  // lines beginning with character 1
  bool ShowArea = false;     // "AREA:" lines
  bool ShowSeenBy = false;   // "SEEN-BY:" lines
};

struct TRenderedText {
  std::vector<std::string> Lines;
  std::vector<std::string> Prefixes;
};

// The lines of a message text (CR ends a line, an LF after it is skipped),
// classified as origin line, quote or plain line, styled and filtered.
TRenderedText RenderMessageText(std::string_view text, const TRenderOptions& options);

// One line as the display shows it: the inline styles (when on), then the
// filter of control lines; false when the line is not shown. The line gets
// ESC 8 appended.
bool RenderDisplayLine(std::string& line, const TRenderOptions& options);
// The three style passes over a line.
std::string ApplyInlineStyles(std::string line);

// The value of the kludge line ^A + name in the text: the rest of that line
// after the name without leading backspaces, blanks and ":" and without
// trailing backspaces and blanks; def when there is none.
std::string GetKludge(std::string_view text, std::string_view name, std::string_view def);
// The upper-cased CHRS value, or else the CHARSET value, names LATIN.
bool IsLatinText(std::string_view text);

// The kludge values the reply commands use.
struct TKludgeValues {
  std::string MsgIdAddress;    // first word of MSGID, else of the sender's address
  std::string ReplyAddress;    // first word of REPLY, "<unknown>" when none
  std::string ReplyToName;     // REPLYTO after its first word, trimmed
  std::string ReplyToAddress;  // first word of REPLYTO
  std::string ReplyAddr;       // REPLYADDR as "name <address>", empty without an address
};
TKludgeValues ReadKludgeValues(std::string_view text, const std::string& senderAddress);

// A rendered line or prefix from the OEM to the ANSI code page; the code
// byte after each ESC stays as it is. The tag of an AREA line reads as its
// area reads its name (AreaLineTagInAnsi).
std::string OemDisplayToAnsi(std::string_view line);

// The date and time of the header panel from the 20-byte FTS-0001 date
// field: characters 1 to 9 and 12 to 19, "invalid" when they hold a NUL or
// the field is too short.
std::string MailDateText(std::string_view dateField);
std::string MailTimeText(std::string_view dateField);

}  // namespace velmaris
