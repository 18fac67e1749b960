#include "app/logic/MsgRender.h"

#include <algorithm>
#include <cstring>

#include "app/logic/MsgText.h"
#include "core/AreaTag.h"
#include "core/EMailAddress.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

constexpr std::string_view kOriginStart = " * Origin: ";

std::string Esc(unsigned char code) { return std::string{kDisplayEsc, static_cast<char>(code)}; }

bool In(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }
bool Control(char c) { return static_cast<unsigned char>(c) < 32; }

// One pass of a one-character mark (bold "*", underline "_"): an opening
// mark after a delimiter (or at the start), a closing one after at least one
// character and before a delimiter (or the end) become ESC on / ESC off.
std::string MarkPass(std::string line, char mark, std::string_view delimiters, bool controlDelimits,
                     unsigned char on, unsigned char off) {
  auto delimiter = [&](char c) { return In(c, delimiters) || (controlDelimits && Control(c)); };
  size_t i = 0;
  while ((i = line.find(mark, i)) != std::string::npos) {
    const size_t close = line.find(mark, i + 1);
    const bool opens = i == 0 || delimiter(line[i - 1]);
    const bool closes = close != std::string::npos && close > i + 1 &&
                        (close + 1 == line.size() || delimiter(line[close + 1]));
    if (!opens || !closes) {
      ++i;
      continue;
    }
    line.replace(close, 1, Esc(off));
    line.replace(i, 1, Esc(on));
    i = close + 3;  // behind ESC off, the line having grown by one
  }
  return line;
}

std::string ItalicPass(std::string line) {
  constexpr std::string_view kBefore = "\t !,.:;?";
  constexpr std::string_view kAfter = "\t !*,.:;?_";
  size_t i = 0;
  while ((i = line.find("//", i)) != std::string::npos) {
    const size_t close = line.find("//", i + 3);
    const bool opens = i == 0 || Control(line[i - 1]) || In(line[i - 1], kBefore);
    const bool closes =
        close != std::string::npos &&
        (close + 2 == line.size() || Control(line[close + 2]) || In(line[close + 2], kAfter));
    if (!opens || !closes) {
      ++i;
      continue;
    }
    line[i] = kDisplayEsc;
    line[i + 1] = static_cast<char>(kEscItalicOn);
    line[close] = kDisplayEsc;
    line[close + 1] = static_cast<char>(kEscItalicOff);
    i = close + 2;
  }
  return line;
}

// The quote prefix of a line: the first ">" within its first five
// characters, further ">" and then blanks; empty when the line is no quote.
// A prefix of more than two words is no quote ("Hi JD> " is text).
// The view colours quotes by this narrower rule on purpose; printing and
// quoting take the wider one of MessageQuotePrefixLength (core/Mail.h).
size_t QuotePrefixLength(std::string_view line) {
  if (line.empty() || line[0] == kKludgeChar) return 0;
  const size_t q = line.substr(0, 5).find('>');
  if (q == std::string_view::npos) return 0;
  size_t end = q + 1;
  while (end < line.size() && line[end] == '>') ++end;
  while (end < line.size() && line[end] == ' ') ++end;
  std::string rest(line.substr(0, end)), word;
  CutFirstWordShort(rest, word);
  CutFirstWordShort(rest, word);
  for (char c : rest)
    if (static_cast<unsigned char>(c) > 32) return 0;
  return end;
}

std::string FirstWord(std::string text) {
  std::string word;
  CutFirstWordShort(text, word);
  return word;
}

std::string Trimmed(std::string_view text, std::string_view leading, std::string_view trailing) {
  size_t b = 0, e = text.size();
  while (b < e && In(text[b], leading)) ++b;
  while (e > b && In(text[e - 1], trailing)) --e;
  return std::string(text.substr(b, e - b));
}

std::string DateFieldPart(std::string_view field, size_t from, size_t length) {
  if (field.size() < from + length) return "invalid";
  const std::string_view part = field.substr(from, length);
  return part.find('\0') == std::string_view::npos ? std::string(part) : "invalid";
}

}  // namespace

std::string ApplyInlineStyles(std::string line) {
  line = MarkPass(std::move(line), '*', "\t !,./:;?_", false, kEscBoldOn, kEscBoldOff);
  line = MarkPass(std::move(line), '_', "\t !,./:;?", true, kEscUnderlineOn, kEscUnderlineOff);
  return ItalicPass(std::move(line));
}

bool RenderDisplayLine(std::string& line, const TRenderOptions& options) {
  if (options.Styles && !line.empty()) line = ApplyInlineStyles(std::move(line));
  if (!line.empty() && line[0] == kKludgeChar && !options.ShowKludges) return false;
  if (line.starts_with("AREA:") && !options.ShowArea) return false;
  if (line.starts_with("SEEN-BY:") && !options.ShowSeenBy) return false;
  line += Esc(kEscFirstColor);
  return true;
}

TRenderedText RenderMessageText(std::string_view text, const TRenderOptions& options) {
  TRenderedText out;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '\n' && ++pos == text.size()) break;
    const size_t cr = text.find('\r', pos);
    const bool last = cr == std::string_view::npos;
    if (last && pos == text.size()) break;
    std::string line(text.substr(pos, cr == std::string_view::npos ? text.size() - pos : cr - pos));
    std::string prefix;
    if (line.starts_with(kOriginStart)) {
      prefix = Esc(kEscNormalColor) + std::string(kOriginStart);
      line.erase(0, kOriginStart.size());
    } else if (const size_t q = QuotePrefixLength(line); q > 0) {
      prefix = Esc(kEscQuoteColor) + line.substr(0, q);
      line.erase(0, q);
    } else {
      prefix = Esc(kEscNormalColor);
    }
    if (RenderDisplayLine(line, options)) {
      out.Lines.push_back(std::move(line));
      out.Prefixes.push_back(std::move(prefix));
    }
    if (last) break;
    pos = cr + 1;
  }
  return out;
}

std::string GetKludge(std::string_view text, std::string_view name, std::string_view def) {
  const std::string key = std::string(1, kKludgeChar) + std::string(name);
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return std::string(def);
  const size_t from = at + key.size();
  size_t end = from;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;
  return Trimmed(text.substr(from, end - from), "\b :", "\b ");
}

bool IsLatinText(std::string_view text) {
  const std::string chrs = platform::UpperAscii(GetKludge(text, "CHRS", ""));
  if (chrs.find("LATIN") != std::string::npos) return true;
  return platform::UpperAscii(GetKludge(text, "CHARSET", "")).find("LATIN") != std::string::npos;
}

TKludgeValues ReadKludgeValues(std::string_view text, const std::string& senderAddress) {
  TKludgeValues v;
  v.MsgIdAddress = FirstWord(GetKludge(text, "MSGID", senderAddress));
  v.ReplyAddress = FirstWord(GetKludge(text, "REPLY:", "<unknown>"));
  std::string replyTo = GetKludge(text, "REPLYTO", "");
  CutFirstWordShort(replyTo, v.ReplyToAddress);
  v.ReplyToName = Trimmed(replyTo, "\b ", "\b ");
  std::string address, name;
  if (SplitEMailAddress(GetKludge(text, "REPLYADDR", ""), address, name) && !address.empty())
    v.ReplyAddr = name.empty() || name == address ? address : name + " <" + address + ">";
  return v;
}

std::string OemDisplayToAnsi(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  size_t from = 0;
  // The tag of an AREA line reads as its area reads its name.
  if (line.starts_with("AREA:")) {
    from = 5;
    while (from < line.size() && static_cast<unsigned char>(line[from]) > 32) ++from;
    out = "AREA:" + AreaLineTagInAnsi(line.substr(5, from - 5));
  }
  while (from < line.size()) {
    const size_t esc = line.find(kDisplayEsc, from);
    const size_t end = esc == std::string_view::npos ? line.size() : esc;
    out += platform::OemToAnsi(line.substr(from, end - from));
    if (end == line.size()) break;
    out += line.substr(end, std::min<size_t>(2, line.size() - end));  // ESC and its code
    from = end + 2;
  }
  return out;
}

std::string MailDateText(std::string_view dateField) { return DateFieldPart(dateField, 0, 9); }
std::string MailTimeText(std::string_view dateField) { return DateFieldPart(dateField, 11, 8); }

}  // namespace velmaris
