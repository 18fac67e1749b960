// A stored message: its 256-byte header record and its body, the FTS-0001
// packed message image (type word, node and net numbers, attribute, cost,
// 20-byte date text, the NUL-terminated to-name, from-name and subject, then
// the NUL-terminated text starting at the header's TextOffset).
//
// A mail writes itself as an FTS-0001 stored message (*.MSG) and as a
// printable text, parses its own date, expands template macros from its
// fields and tests itself against a search mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTimeUtil.h"
#include "core/MsgHeader.h"
#include "core/PubLst.h"
#include "core/SerialCounter.h"

namespace velmaris {

// Offsets in the packed message image of the body.
struct MailBodyOffset {
  static constexpr size_t Type = 0;
  static constexpr size_t OrigNode = 2;
  static constexpr size_t DestNode = 4;
  static constexpr size_t OrigNet = 6;
  static constexpr size_t DestNet = 8;
  static constexpr size_t Attribute = 10;
  static constexpr size_t Cost = 12;
  static constexpr size_t Date = 14;    // 20 bytes: "dd Mon yy  hh:mm:ss" and a NUL
  static constexpr size_t ToName = 34;  // then from-name and subject, NUL-terminated
};
inline constexpr size_t kMailDateSize = 20;

// FTS-0001 attribute bits of the body's attribute word.
struct FtsAttr {
  static constexpr uint16_t Private = 0x0001;
  static constexpr uint16_t Crash = 0x0002;
  static constexpr uint16_t FileAttached = 0x0010;
  static constexpr uint16_t KillSent = 0x0080;
  static constexpr uint16_t FileRequest = 0x0800;
};

class TSearchRequest;

// The FTS-0001 stored-message (*.MSG) head: names, subject, date, the
// numbers of the two addresses, attribute; the text follows at offset 190.
struct MsgFileOffset {
  static constexpr size_t FromName = 0;    // 36 bytes
  static constexpr size_t ToName = 36;     // 36 bytes
  static constexpr size_t Subject = 72;    // 72 bytes
  static constexpr size_t DateTime = 144;  // 20 bytes
  static constexpr size_t TimesRead = 164;
  static constexpr size_t DestNode = 166;
  static constexpr size_t OrigNode = 168;
  static constexpr size_t Cost = 170;
  static constexpr size_t OrigNet = 172;
  static constexpr size_t DestNet = 174;
  static constexpr size_t DestZone = 176;
  static constexpr size_t OrigZone = 178;
  static constexpr size_t DestPoint = 180;
  static constexpr size_t OrigPoint = 182;
  static constexpr size_t ReplyTo = 184;
  static constexpr size_t Attribute = 186;
  static constexpr size_t NextReply = 188;
  static constexpr size_t Text = 190;
};

// The text of a stored body: from offset up to its NUL (or the end).
std::string_view TextOfBody(std::string_view body, size_t offset);

class TMail : public TObject {
 public:
  // Copies the body and the header; BodyOffset and Flags start at 0.
  TMail(std::string body, const TMsgHeader& header);
  TMail(const void* body, size_t bodySize, const TMsgHeader& header);

  int32_t BodySize() const { return static_cast<int32_t>(Body.size()); }
  // A copy with the body, the header and the flags; BodyOffset 0.
  std::unique_ptr<TMail> Clone() const;

  // The body's attribute word (0 when the body is too short to hold one).
  uint16_t GetAttribute() const;
  void SetAttribute(uint16_t attribute);

  // The 20 bytes of the body's date field; empty when the body is too short
  // to hold one.
  std::string_view DateField() const;
  // The message text: from TextOffset up to its NUL (or the end of the body).
  std::string_view BodyText() const { return TextOfBody(Body, Header.TextOffset); }

  // The FTS-0001 stored-message image: the 190-byte head (addresses from
  // the header, date and attribute from the body) and the text with its NUL.
  std::string BuildMsgImage() const;
  // Writes the image as fileName, replacing a file of that name; false on
  // any file error.
  bool SaveToMsgFile(const std::string& fileName) const;
  // Writes the image as a new file dir + file serial + ".MSG", created
  // exclusively (an existing file is never overwritten: the next serial is
  // taken). The path, or empty on a file error.
  std::string SaveToNewMsgFile(const std::string& dir,
                               TSerialCounter& counter = FileSerial()) const;

  // The printable form: a box with area, subject, names and addresses, date
  // and time, then the text converted to the ANSI code page, with quotes
  // re-wrapped under their prefix. Lines end with "\n".
  std::string PrintableText(bool showKludges, bool showAreaLines, bool showSeenBy) const;
  // The text lines of the printable form, without the box around them.
  std::vector<std::string> PrintableBodyLines(bool showKludges, bool showAreaLines,
                                              bool showSeenBy) const;
  // The first 9 characters of the date field (the day) and its characters
  // 12 to 19 (the time); "invalid" when they hold a NUL or are missing.
  std::string DateText() const;
  std::string TimeText() const;
  // Writes the printable form to fileName, at its end when append is set and
  // the file exists, else as a new file. Raises platform::EFile.
  void WriteToTextFile(const std::string& fileName, bool append, bool showKludges,
                       bool showAreaLines, bool showSeenBy) const;

  // The body's date; 0 when it does not parse. A date with one blank before
  // the hour is first normalised in the body to the FTS-0001 form.
  TDateTime GetPacketDate();

  // The mask test of a stored message: the flag test, then the switched-on
  // text conditions (origin against FromName, destination against ToName,
  // subject, text against the body text). A request without any condition
  // matches nothing.
  bool MatchesRequest(const TSearchRequest& request) const;

  // Replaces the template macros ("%origaddr"/"%oa", "%destname"/"%dn", ...,
  // "%senddate", "%tossday") by this mail's values. The template is scanned
  // once from left to right, long forms before short ones; inserted values
  // are never expanded again. The template is text in the ANSI page: the
  // area macro gives the header's area name as its area reads it, written in
  // that page (AreaTagInAnsi), or areaName, already so written, in the second
  // form (TArea::NameInAnsi of the area the text is made for).
  std::string ExpandMacros(std::string_view text) const;
  std::string ExpandMacros(std::string_view text, std::string_view areaName) const;

  // The next file serial as 8 upper-case hexadecimal digits.
  static std::string NextSerialHex() { return velmaris::NextSerialHex(FileSerial()); }

  TMsgHeader Header;
  std::string Body;
};

// The FTS-0001 date text "dd Mon yy  hh:mm:ss" (English month names).
std::string FormatPacketDate(TDateTime value);
// Moves characters 9 to 17 one place right when character 10 is a digit
// (one blank between year and hour); field holds 19 or more bytes. True
// when it moved them.
bool NormalisePacketDate(char* field, size_t size);
// Parses the first 19 bytes of a date field: day, month name ("Jan" to
// "Dec", exact case), two-digit year (below 90 in the 2000s), hour, minute,
// second. 0 for anything that does not parse.
TDateTime ParsePacketDate(std::string_view field);

// Date texts of the macros: the short date "dd.mm.yy", the time "h:nn:ss",
// the English day name.
std::string FormatShortDate(TDateTime value);
std::string FormatMacroTime(TDateTime value);
std::string FormatDayName(TDateTime value);

// A plain list of mails; it does not own them.
class TMailList {
 public:
  void Add(TMail* mail) { items_.push_back(mail); }
  // Raises EListIndexError outside 0 .. Count() - 1.
  TMail* GetItem(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }

 private:
  std::vector<TMail*> items_;
};

// The lines of saved and printed message text (78 columns).
inline constexpr int kPrintWidth = 78;
// One message line as saved or printed: a kludge line (character 1), an
// "AREA:" or a "SEEN-BY:" line is left out unless its switch is on; an empty
// line stays one empty line; any other line is wrapped at whole words into
// pieces of at most kPrintWidth - prefix length characters (a longer word
// is cut), each written as prefix + piece + lineEnd.
void WriteMessageTextLine(std::string& out, std::string_view line, std::string_view prefix,
                          bool showKludges, bool showAreaLines, bool showSeenBy,
                          std::string_view lineEnd);
// The length of the quote prefix of a line ("MB> ": up to the first ">"
// within the first 40 characters, further ">" and blanks), 0 for no quote
// and for kludge lines. Wider than the message view's rule (">" within the
// first five characters, at most two words before it), which only decides
// the colour of a line; here the prefix is kept on every piece of a
// re-wrapped line.
size_t MessageQuotePrefixLength(std::string_view line);
// Every line of a message text (ended by CR; a LF after it is skipped)
// through WriteMessageTextLine with its quote prefix.
void AppendMessageText(std::string& out, std::string_view text, bool showKludges,
                       bool showAreaLines, bool showSeenBy, std::string_view lineEnd);

}  // namespace velmaris
