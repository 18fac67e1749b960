// Text routines of the message reader and the reply commands: reply markers
// in subjects, turning a rendered display line back into plain text that is
// safe to quote, the prefix of a quoted line, ROT13 and the integer list that
// maps the rows of the message list to area indexes.
//
// Rendered lines carry two-byte display escapes: ESC (27) and a code, 1/2
// bold on/off, 3/4 italic, 5/6 underline, 8..47 a colour of the viewer's
// table, 128 the normal and 129 the quote colour. Texts are byte strings;
// every test of a "control" character compares the byte as unsigned, so
// letters of the OEM and ANSI code pages (0x80..0xFF) are text, never blanks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

inline constexpr char kDisplayEsc = 27;
inline constexpr unsigned char kEscBoldOn = 1, kEscBoldOff = 2, kEscItalicOn = 3, kEscItalicOff = 4,
                               kEscUnderlineOn = 5, kEscUnderlineOff = 6, kEscFirstColor = 8,
                               kEscLastColor = 47, kEscNormalColor = 128, kEscQuoteColor = 129;
inline constexpr char kKludgeChar = 1;

// Deletes leading characters below 33.
void TrimLeftControl(std::string& s);

// The subject without its leading reply marker ("Re:" or "Re^n:", any case,
// with one blank after it), then without leading characters below 33.
// Subjects of three characters or less and unknown markers stay as they are.
std::string StripReplyMarker(std::string_view subject);

// The subject of a reply: "Re: x" becomes "Re^2: x", "Re^n: x" "Re^n+1: x",
// anything else "Re: x". With strip the marker is only removed. A "Re^" not
// followed by digits and ":" is kept as text behind "Re:".
std::string ReplySubject(std::string_view subject, bool strip);

// Plain text for a rendered line or prefix: style escapes become the marks
// they came from ("*", "//", "_"), colour escapes go, other escapes show as
// "]" + code; kludge characters become "@"; tear lines, origin lines and
// AREA:/SEEN-BY: lines are defused so that the quote is not taken for them.
std::string MakeQuotable(std::string_view line);

// The prefix of a quoted line, from the quotable prefix of the paragraph and
// the initials of the quoted author: "" gives " AB> ", "JD>" gives " JD>> ".
std::string QuotePrefix(std::string_view oldPrefix, std::string_view initials);

// Rotates the ASCII letters by 13 places, in place.
void Rot13(std::string& text);

// The integer list of the message list's rows. Get and Set check the index.
class TIntegerList {
 public:
  int32_t Get(int index) const;
  void Set(int index, int32_t value);
  int Add(int32_t value);
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }
  void SetCapacity(int capacity);
  // Position of the first entry holding value, -1 when none does.
  int IndexOf(int32_t value) const;
  void Exchange(int a, int b);

 private:
  void CheckIndex(int index) const;
  std::vector<int32_t> items_;
};

}  // namespace velmaris
