#include "core/Mail.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/AreaTag.h"
#include "core/ByteOrder.h"
#include "core/SearchRequest.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A two-character number as the date fields hold it: two digits, or a blank
// and a digit. -1 otherwise.
int TwoDigits(std::string_view s, size_t at) {
  const char a = s[at], b = s[at + 1];
  if (!IsDigit(b)) return -1;
  if (a == ' ') return b - '0';
  if (!IsDigit(a)) return -1;
  return (a - '0') * 10 + (b - '0');
}

void PutName(std::string& image, size_t at, std::string_view name, size_t field) {
  // The field keeps at least one NUL at its end.
  const size_t n = name.size() < field ? name.size() : field - 1;
  std::memcpy(image.data() + at, name.data(), n);
}

}  // namespace

// --- Construction ---------------------------------------------------------

TMail::TMail(std::string body, const TMsgHeader& header) : Header(header), Body(std::move(body)) {
  Header.BodyOffset = 0;
  Header.Flags = 0;
}

TMail::TMail(const void* body, size_t bodySize, const TMsgHeader& header)
    : TMail(std::string(static_cast<const char*>(body), bodySize), header) {}

std::unique_ptr<TMail> TMail::Clone() const {
  auto copy = std::make_unique<TMail>(Body, Header);
  copy->Header.Flags = Header.Flags;
  return copy;
}

uint16_t TMail::GetAttribute() const {
  if (Body.size() < MailBodyOffset::Attribute + 2) return 0;
  return GetLE16(reinterpret_cast<const uint8_t*>(Body.data()) + MailBodyOffset::Attribute);
}

void TMail::SetAttribute(uint16_t attribute) {
  if (Body.size() < MailBodyOffset::Attribute + 2) return;
  PutLE16(reinterpret_cast<uint8_t*>(Body.data()) + MailBodyOffset::Attribute, attribute);
}

std::string_view TMail::DateField() const {
  if (Body.size() < MailBodyOffset::Date + kMailDateSize) return {};
  return std::string_view(Body).substr(MailBodyOffset::Date, kMailDateSize);
}

std::string_view TextOfBody(std::string_view body, size_t offset) {
  if (offset >= body.size()) return {};
  std::string_view text = body.substr(offset);
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// --- Stored-message file ----------------------------------------------------

std::string TMail::BuildMsgImage() const {
  std::string_view text;
  if (Header.TextOffset < Body.size()) text = std::string_view(Body).substr(Header.TextOffset);
  std::string image(MsgFileOffset::Text, '\0');
  image.append(text);
  // The text ends with its NUL even when the stored body lost it.
  if (text.empty() || text.back() != '\0') image.push_back('\0');

  PutName(image, MsgFileOffset::FromName, Header.FromName.View(), 36);
  PutName(image, MsgFileOffset::ToName, Header.ToName.View(), 36);
  PutName(image, MsgFileOffset::Subject, Header.Subject.View(), 72);
  const std::string_view date = DateField();
  if (!date.empty()) std::memcpy(image.data() + MsgFileOffset::DateTime, date.data(), date.size());

  auto* p = reinterpret_cast<uint8_t*>(image.data());
  const TFidoAddr& o = Header.OrigAddr;
  const TFidoAddr& d = Header.DestAddr;
  PutLE16(p + MsgFileOffset::DestNode, d.Node);
  PutLE16(p + MsgFileOffset::OrigNode, o.Node);
  PutLE16(p + MsgFileOffset::OrigNet, o.Net);
  PutLE16(p + MsgFileOffset::DestNet, d.Net);
  PutLE16(p + MsgFileOffset::DestZone, d.Zone);
  PutLE16(p + MsgFileOffset::OrigZone, o.Zone);
  PutLE16(p + MsgFileOffset::DestPoint, d.Point);
  PutLE16(p + MsgFileOffset::OrigPoint, o.Point);
  PutLE16(p + MsgFileOffset::Attribute, GetAttribute());
  return image;
}

bool TMail::SaveToMsgFile(const std::string& fileName) const {
  try {
    platform::WriteFileAtomic(fileName, BuildMsgImage());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string TMail::SaveToNewMsgFile(const std::string& dir, TSerialCounter& counter) const {
  TSerialFile file = CreateSerialFile(dir, ".MSG", counter);
  if (!file.Fd.ok()) return {};
  bool ok = platform::WriteAll(file.Fd.get(), BuildMsgImage());
  if (!file.Fd.Close()) ok = false;
  if (!ok) {
    ::unlink(file.Path.c_str());
    return {};
  }
  return file.Path;
}

// --- Printable form -----------------------------------------------------------

namespace {

// A quote prefix longer than this leaves too little room: the text is then
// wrapped to this width and the lines grow beyond 78 characters.
constexpr int kMinQuoteWidth = 18;

}  // namespace

void WriteMessageTextLine(std::string& out, std::string_view line, std::string_view prefix,
                          bool showKludges, bool showAreaLines, bool showSeenBy,
                          std::string_view lineEnd) {
  if (line.empty()) {
    out += lineEnd;
    return;
  }
  if (line[0] == '\1' && !showKludges) return;
  if (line.substr(0, 5) == "AREA:" && !showAreaLines) return;
  if (line.substr(0, 8) == "SEEN-BY:" && !showSeenBy) return;
  int width = kPrintWidth - static_cast<int>(prefix.size());
  if (width < kMinQuoteWidth) width = kMinQuoteWidth;
  std::string rest(line);
  std::string piece;
  while (!rest.empty()) {
    CutWrappedLine(rest, width, piece);
    out.append(prefix);
    out.append(piece);
    out += lineEnd;
  }
}

size_t MessageQuotePrefixLength(std::string_view line) {
  if (line.empty() || line[0] == '\1') return 0;
  const size_t gt = line.substr(0, 40).find('>');
  if (gt == std::string_view::npos) return 0;
  size_t end = gt + 1;
  while (end < line.size() && line[end] == '>') ++end;
  while (end < line.size() && line[end] == ' ') ++end;
  return end;
}

void AppendMessageText(std::string& out, std::string_view text, bool showKludges,
                       bool showAreaLines, bool showSeenBy, std::string_view lineEnd) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t cr = text.find('\r', pos);
    std::string_view line;
    if (cr == std::string_view::npos) {
      line = text.substr(pos);
      pos = text.size();
    } else {
      line = text.substr(pos, cr - pos);
      pos = cr + 1;
      // A line feed after the carriage return belongs to the line end.
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    const size_t prefix = MessageQuotePrefixLength(line);
    WriteMessageTextLine(out, line.substr(prefix), line.substr(0, prefix), showKludges,
                         showAreaLines, showSeenBy, lineEnd);
  }
}

std::string TMail::PrintableText(bool showKludges, bool showAreaLines, bool showSeenBy) const {
  const std::string stars(kPrintWidth, '*');
  std::string out;
  out += stars + '\n';
  out += "*      Area: " + AreaTagInAnsi(Header.AreaName.View()) + '\n';
  out += "*   Subject: " + Header.Subject.Str() + '\n';
  out += "*      From: " + Header.FromName.Str() + "(" + FidoAddressToStr(Header.OrigAddr) + ")\n";
  out += "*        To: " + Header.ToName.Str() + "(" + FidoAddressToStr(Header.DestAddr) + ")\n";
  out += "*      Date: " + DateText() + '\n';
  out += "*      Time: " + TimeText() + '\n';
  out += stars + '\n';
  AppendMessageText(out, OemTextToAnsi(BodyText()), showKludges, showAreaLines, showSeenBy, "\n");
  out += stars + '\n';
  out += "\n\n\n";
  return out;
}

std::vector<std::string> TMail::PrintableBodyLines(bool showKludges, bool showAreaLines,
                                                   bool showSeenBy) const {
  // The text was split at carriage returns, so none is left inside a line
  // and it can end the lines here.
  std::string text;
  AppendMessageText(text, OemTextToAnsi(BodyText()), showKludges, showAreaLines, showSeenBy, "\r");
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t cr = text.find('\r', pos);
    out.emplace_back(text, pos, cr - pos);
    pos = cr + 1;
  }
  return out;
}

std::string TMail::DateText() const {
  const std::string_view date = DateField();
  const std::string_view day = date.empty() ? std::string_view() : date.substr(0, 9);
  return !day.empty() && day.find('\0') == std::string_view::npos ? std::string(day) : "invalid";
}

std::string TMail::TimeText() const {
  const std::string_view date = DateField();
  const std::string_view time = date.empty() ? std::string_view() : date.substr(11, 8);
  return !time.empty() && time.find('\0') == std::string_view::npos ? std::string(time) : "invalid";
}

void TMail::WriteToTextFile(const std::string& fileName, bool append, bool showKludges,
                            bool showAreaLines, bool showSeenBy) const {
  const std::string text = PrintableText(showKludges, showAreaLines, showSeenBy);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  platform::Fd fd(::open(fileName.c_str(), flags, 0644));
  if (!fd.ok()) throw platform::EFile("cannot open " + fileName + ": " + std::strerror(errno));
  const bool ok = platform::WriteAll(fd.get(), text);
  const int err = errno;
  if (!fd.Close() || !ok)
    throw platform::EFile("cannot write " + fileName + ": " + std::strerror(ok ? errno : err));
}

// --- Dates ------------------------------------------------------------------

std::string FormatPacketDate(TDateTime value) {
  TDateTimeParts p;
  try {
    p = DecodeDateTime(value);
  } catch (const EDateTimeError&) {
    p = DecodeDateTime(0);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02d", p.Day,
                platform::kMonthNames[p.Month - 1], p.Year % 100, p.Hour, p.Minute, p.Second);
  return text;
}

bool NormalisePacketDate(char* field, size_t size) {
  if (size < 19 || !IsDigit(field[10])) return false;
  std::memmove(field + 10, field + 9, 9);
  return true;
}

TDateTime ParsePacketDate(std::string_view field) {
  if (field.size() < 19) return 0;
  const int day = TwoDigits(field, 0);
  const int year2 = TwoDigits(field, 7);
  const int hour = TwoDigits(field, 11);
  const int minute = TwoDigits(field, 14);
  const int second = TwoDigits(field, 17);
  if (day < 0 || year2 < 0 || hour < 0 || minute < 0 || second < 0) return 0;
  int month = 0;
  for (int m = 0; m < 12; ++m) {
    if (field.substr(3, 3) == platform::kMonthNames[m]) {
      month = m + 1;
      break;
    }
  }
  if (month == 0) return 0;  // "Invalid month name!"
  int year = 1900 + year2;
  if (year < 1990) year += 100;
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time))
    return 0;
  return date + time;
}

TDateTime TMail::GetPacketDate() {
  if (Body.size() < MailBodyOffset::Date + kMailDateSize) return 0;
  char* field = Body.data() + MailBodyOffset::Date;
  NormalisePacketDate(field, kMailDateSize);
  return ParsePacketDate(std::string_view(field, kMailDateSize));
}

std::string FormatShortDate(TDateTime value) {
  try {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", p.Day, p.Month, p.Year % 100);
    return text;
  } catch (const EDateTimeError&) {
    return {};
  }
}

std::string FormatMacroTime(TDateTime value) {
  try {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", p.Hour, p.Minute, p.Second);
    return text;
  } catch (const EDateTimeError&) {
    return {};
  }
}

std::string FormatDayName(TDateTime value) {
  try {
    DecodeDateTime(value);  // range check
    return kDayNames[DayOfWeek(value) - 1];
  } catch (const EDateTimeError&) {
    return {};
  }
}

// --- Mask test ----------------------------------------------------------------

bool TMail::MatchesRequest(const TSearchRequest& request) const {
  if (!request.MatchesFlags(Header.Flags)) return false;
  if (request.ApplyOrigin && !request.Origin.Matches(Header.FromName.View())) return false;
  if (request.ApplyDestination && !request.Destination.Matches(Header.ToName.View())) return false;
  if (request.ApplySubject && !request.Subject.Matches(Header.Subject.View())) return false;
  // The names and the subject are stored in the ANSI code page, the body
  // in the OEM code page.
  if (request.ApplyText && !request.Text.Matches(BodyText(), platform::OemCodePage())) return false;
  return request.HasConditions();
}

// --- Macros -------------------------------------------------------------------

namespace {

enum MacroValue {
  OrigAddr,
  DestAddr,
  DestName,
  OrigName,
  Subject,
  Area,
  DestFirst,
  OrigFirst,
  SendDate,
  SendTime,
  SendDay,
  TossDate,
  TossTime,
  TossDay,
  ValueCount
};

struct Macro {
  std::string_view Text;
  MacroValue Value;
};

// Long forms in table order, then the short forms: at each position the
// first that matches wins, so "%subject" is never read as "%su" + "bject".
constexpr Macro kMacros[] = {
    {"%origaddr", OrigAddr},   {"%destaddr", DestAddr},
    {"%destname", DestName},   {"%origname", OrigName},
    {"%subject", Subject},     {"%area", Area},
    {"%destfirst", DestFirst}, {"%origfirst", OrigFirst},
    {"%senddate", SendDate},   {"%sendtime", SendTime},
    {"%sendday", SendDay},     {"%tossdate", TossDate},
    {"%tosstime", TossTime},   {"%tossday", TossDay},
    {"%oa", OrigAddr},         {"%da", DestAddr},
    {"%dn", DestName},         {"%on", OrigName},
    {"%su", Subject},          {"%ar", Area},
    {"%df", DestFirst},        {"%of", OrigFirst},
    {"%dt", SendDate},         {"%ti", SendTime},
};

std::string FirstWord(std::string text) {
  std::string word;
  CutFirstWordOrQuoted(text, word);
  return word;
}

}  // namespace

std::string TMail::ExpandMacros(std::string_view text) const {
  return ExpandMacros(text, AreaTagInAnsi(Header.AreaName.View()));
}

std::string TMail::ExpandMacros(std::string_view text, std::string_view areaName) const {
  // Values are made on first use only.
  std::string values[ValueCount];
  bool made[ValueCount] = {};
  auto value = [&](MacroValue v) -> const std::string& {
    if (!made[v]) {
      made[v] = true;
      const TDateTime created = UnixToDateTime(Header.Created);
      const TDateTime tossed = UnixToDateTime(Header.Tossed);
      switch (v) {
        case OrigAddr: values[v] = FidoAddressToStr(Header.OrigAddr); break;
        case DestAddr: values[v] = FidoAddressToStr(Header.DestAddr); break;
        case DestName: values[v] = Header.ToName.Str(); break;
        case OrigName: values[v] = Header.FromName.Str(); break;
        case Subject: values[v] = Header.Subject.Str(); break;
        case Area: values[v] = std::string(areaName); break;
        case DestFirst: values[v] = FirstWord(Header.ToName.Str()); break;
        case OrigFirst: values[v] = FirstWord(Header.FromName.Str()); break;
        case SendDate: values[v] = FormatShortDate(created); break;
        case SendTime: values[v] = FormatMacroTime(created); break;
        case SendDay: values[v] = FormatDayName(created); break;
        case TossDate: values[v] = FormatShortDate(tossed); break;
        case TossTime: values[v] = FormatMacroTime(tossed); break;
        case TossDay: values[v] = FormatDayName(tossed); break;
        case ValueCount: break;
      }
    }
    return values[v];
  };

  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t pct = text.find('%', pos);
    if (pct == std::string_view::npos) break;
    out.append(text.substr(pos, pct - pos));
    const std::string_view at = text.substr(pct);
    const Macro* found = nullptr;
    for (const Macro& m : kMacros) {
      if (at.substr(0, m.Text.size()) == m.Text) {
        found = &m;
        break;
      }
    }
    if (found) {
      out.append(value(found->Value));
      pos = pct + found->Text.size();
    } else {
      out += '%';
      pos = pct + 1;
    }
  }
  if (pos < text.size()) out.append(text.substr(pos));
  return out;
}

// --- TMailList ------------------------------------------------------------------

TMail* TMailList::GetItem(int index) const {
  if (index < 0 || index >= Count())
    throw EListIndexError("List index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<size_t>(index)];
}

}  // namespace velmaris
