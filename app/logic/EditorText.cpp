#include "app/logic/EditorText.h"

#include <algorithm>

#include "core/Area.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "core/TextHelpers.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"

namespace velmaris {

TAreaTextRules TextRulesOf(const TArea& area) {
  return {area.TabsToSpaces, area.NToH, area.NoUmlaute, area.NoSZ};
}

namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Tab stops every 8 characters (not bytes) of the UTF-8 line.
void ExpandTabs(std::string& line) {
  size_t characters = 0;  // before position i
  for (size_t i = 0; i < line.size(); ++i) {
    if (IsUtf8Continuation(line[i])) continue;
    if (line[i] == '\t') {
      const size_t p = characters + 1;  // 1-based position of the TAB
      const size_t blanks = ((p - 1) & ~size_t{7}) + 9 - p;
      line.replace(i, 1, blanks, ' ');
      i += blanks - 1;
      characters += blanks;
      continue;
    }
    ++characters;
  }
}

// The spelling of ä Ä ö Ö ü Ü (U+00E4 ... U+00DC) and ß (U+00DF) by the
// second byte of their UTF-8 form, which all begin with 0xC3.
std::string_view SpellingOf(unsigned char second, const TAreaTextRules& rules) {
  if (rules.NoUmlaute) {
    switch (second) {
      case 0xA4: return "ae";
      case 0x84: return "Ae";
      case 0xB6: return "oe";
      case 0x96: return "Oe";
      case 0xBC: return "ue";
      case 0x9C: return "Ue";
      default: break;
    }
  }
  if (rules.NoSZ && second == 0x9F) return "ss";
  return {};
}

void SpellOutGerman(std::string& line, const TAreaTextRules& rules) {
  if (!rules.NoUmlaute && !rules.NoSZ) return;
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    if (static_cast<unsigned char>(line[i]) == 0xC3 && i + 1 < line.size()) {
      const std::string_view spelling = SpellingOf(static_cast<unsigned char>(line[i + 1]), rules);
      if (!spelling.empty()) {
        out += spelling;
        ++i;
        continue;
      }
    }
    out += line[i];
  }
  line = std::move(out);
}

}  // namespace

std::string ConvertLineForArea(std::string utf8Line, const TAreaTextRules& rules) {
  if (rules.TabsToSpaces) ExpandTabs(utf8Line);
  SpellOutGerman(utf8Line, rules);
  std::string line = platform::Utf8ToAnsi(utf8Line);
  if (rules.NToH) ReplaceChar(line, static_cast<char>(0xCD), 'H');
  return line;
}

namespace {

// Lines at each CR (an LF after it dropped) and each lone LF; the rest after
// the last break is the last line.
std::vector<std::string> SplitAtBreaks(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace

std::vector<std::string> SplitEditorText(std::string_view text) { return SplitAtBreaks(text); }

std::vector<std::string> EditorTextToMailLines(std::string_view utf8Text,
                                               const TAreaTextRules& rules) {
  std::vector<std::string> lines = SplitEditorText(utf8Text);
  for (std::string& line : lines) line = ConvertLineForArea(std::move(line), rules);
  return lines;
}

bool GetQuotePrefix(std::string& line, std::string& prefix) {
  prefix.clear();
  // Every scan stops before the line's last character.
  const size_t end = line.empty() ? 0 : line.size() - 1;
  size_t i = 0;
  while (i < end && static_cast<unsigned char>(line[i]) <= 32) ++i;
  if (i > 3) return false;
  // The initials are letters of the ANSI code page, as the quoting writes
  // them (" ПИ> " for Пётр Иванов).
  const platform::CodePage ansi = platform::AnsiCodePage();
  const size_t initialsStart = i;
  while (i < end && platform::IsLetter(static_cast<unsigned char>(line[i]), ansi)) ++i;
  if (i - initialsStart > 5) return false;
  const size_t runStart = i;
  int blanks = 0;
  while (i < end && (line[i] == ' ' || line[i] == '>')) blanks += line[i++] == ' ';
  if (i == runStart || blanks < 1 || blanks > 3) return false;
  std::string found = line.substr(0, i);
  if (found.find('>') == std::string::npos) return false;
  line.erase(0, i);
  std::erase(found, ' ');
  prefix = " " + found + " ";
  return true;
}

namespace {

std::string TrimControl(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && static_cast<unsigned char>(text[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(text[b - 1]) <= 32) --b;
  return std::string(text.substr(a, b - a));
}

}  // namespace

std::string ReflowQuotes(std::string_view text) {
  const std::vector<std::string> lines = SplitAtBreaks(text);
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.size();) {
    std::string rest = lines[i], prefix;
    GetQuotePrefix(rest, prefix);
    ++i;
    if (!rest.empty()) {
      while (i < lines.size() && !lines[i].empty()) {
        std::string nextRest = lines[i], nextPrefix;
        GetQuotePrefix(nextRest, nextPrefix);
        if (nextPrefix != prefix) break;
        rest += " " + TrimControl(nextRest);
        ++i;
      }
    }
    // A prefix as long as the width still gets one character per line.
    const int width = std::max(1, kReflowWidth - static_cast<int>(prefix.size()));
    if (rest.empty()) out.push_back(prefix);
    while (!rest.empty()) {
      std::string piece;
      CutWrappedLine(rest, width, piece);
      out.push_back(prefix + piece);
    }
  }
  std::string joined;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i > 0) joined += "\r\n";
    joined += out[i];
  }
  return joined;
}

std::optional<TQuoteBreak> ContinueQuote(std::string_view line, int column) {
  const size_t first = line.find('>');
  if (first == std::string_view::npos || column < 1) return std::nullopt;
  size_t p = first + 1;  // 1-based position of the last '>' of the first run
  while (p < line.size() && line[p] == '>') ++p;
  const size_t c = static_cast<size_t>(column);
  if (!(line.size() > c && p <= c + 1)) return std::nullopt;
  size_t q = c;  // 1-based: the character at q is line[q - 1]
  while (q < line.size() && (line[q - 1] == '\t' || line[q - 1] == ' ')) ++q;
  TQuoteBreak result;
  result.First = std::string(line.substr(0, c - 1));
  result.Second = std::string(line.substr(0, p)) + " " + std::string(line.substr(q - 1));
  return result;
}

namespace {

char UUChar(unsigned value) { return value == 0 ? '`' : static_cast<char>(32 + value); }

}  // namespace

std::string UUEncodeText(std::string_view fileName, std::string_view data) {
  // A name with a blank is quoted, as the decoder reads a quoted name whole.
  std::string name = FileNamePart(fileName);
  if (name.find(' ') != std::string::npos) name = "\"" + name + "\"";
  std::string out = "begin 644 " + name + "\r\n";
  for (size_t pos = 0; pos < data.size(); pos += 45) {
    const size_t n = std::min<size_t>(45, data.size() - pos);
    out += static_cast<char>(32 + n);
    std::string chars;
    for (size_t g = 0; g < n; g += 3) {
      unsigned bits = 0;
      for (size_t k = 0; k < 3; ++k) {
        const unsigned byte = g + k < n ? static_cast<unsigned char>(data[pos + g + k]) : 0;
        bits = (bits << 8) | byte;
      }
      for (int shift = 18; shift >= 0; shift -= 6) chars += UUChar((bits >> shift) & 63);
    }
    chars.resize((8 * n + 5) / 6);
    out += chars + "\r\n";
  }
  out += "`\r\nend\r\n";
  return out;
}

const TNetLink* BestOwnUplink(const TLinkList& uplinks, const TFidoAddr& dest) {
  if (const TNetLink* link = FindGatewayUplink(uplinks, dest)) return link;
  return uplinks.GetCount() > 0 ? uplinks.GetItem(0) : nullptr;
}

bool IsForbiddenAreaEntry(std::string_view name) {
  return name == kBadAreaName || name == kDupesAreaName || name == kSeparatorName;
}

int SkipForbiddenAreas(const std::vector<std::string>& names, int previous, int current) {
  const int count = static_cast<int>(names.size());
  if (previous == -1 || current < 0 || current >= count) return current;
  // The direction is fixed by the first step, so that a wrap at either end
  // keeps going the same way instead of turning back.
  const int step = previous > current ? -1 : 1;
  int index = current;
  for (int tries = 0; tries < count; ++tries) {
    if (!IsForbiddenAreaEntry(names[index])) return index;
    index = (index + step + count) % count;
  }
  return current;
}

std::string FileNamePart(std::string_view path) {
  const size_t slash = path.find_last_of("\\/:");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace velmaris
