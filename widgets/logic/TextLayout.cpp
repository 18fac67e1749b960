#include "widgets/logic/TextLayout.h"

#include <algorithm>

#include "core/TextHelpers.h"
#include "platform/CaseFold.h"

namespace velmaris {

namespace {

constexpr char kEsc = 27;

bool IsBlankByte(char c) { return c != kEsc && static_cast<unsigned char>(c) <= 32; }
bool IsWordByte(char c) { return static_cast<unsigned char>(c) > 32; }

// Position after the escape at pos (an ESC without a code takes one byte).
size_t AfterEscape(std::string_view s, size_t pos) {
  return pos + 1 < s.size() ? pos + 2 : pos + 1;
}

// Applies the escapes starting at pos; returns the position after them.
size_t ApplyEscapesAt(std::string_view s, size_t pos, TTextStyleState& state) {
  while (pos < s.size() && s[pos] == kEsc) {
    if (pos + 1 < s.size()) ApplyEscape(static_cast<unsigned char>(s[pos + 1]), state);
    pos = AfterEscape(s, pos);
  }
  return pos;
}

// The escapes that put state back in force on a fresh line, whose prefix
// already set colourAfterPrefix.
std::string RestoringEscapes(const TTextStyleState& state, int colorAfterPrefix) {
  std::string codes;
  if (state.style & kStyleBold) codes += {kEsc, 1};
  if (state.style & kStyleItalic) codes += {kEsc, 3};
  if (state.style & kStyleUnderline) codes += {kEsc, 5};
  if (state.color != colorAfterPrefix && state.color != kColorFont) {
    int code = state.color >= 0 && state.color < 40 ? state.color + 8 : state.color;
    codes += {kEsc, static_cast<char>(code)};
  }
  return codes;
}

// End of the piece at pos: blanks, then one word, stopping at an escape.
size_t PieceEnd(std::string_view s, size_t pos) {
  while (pos < s.size() && IsBlankByte(s[pos])) ++pos;
  while (pos < s.size() && IsWordByte(s[pos])) ++pos;
  return pos;
}

void WrapParagraph(const std::string& text, const std::string& prefix, int paragraph,
                   int clientWidth, const TGlyphWidths& widths, std::vector<TDisplayLine>& out) {
  TTextStyleState state;
  const int prefixWidth = MeasureText(prefix, state, widths);
  const int colorAfterPrefix = state.color;
  if (text.empty()) {
    out.push_back({prefix, paragraph, 0, static_cast<int>(prefix.size())});
    return;
  }
  const std::string_view s = text;
  size_t pos = 0;
  while (pos < s.size()) {
    std::string head = prefix + RestoringEscapes(state, colorAfterPrefix);
    const size_t start = pos;
    int width = prefixWidth;
    bool first = true;
    for (;;) {
      pos = ApplyEscapesAt(s, pos, state);
      if (pos >= s.size()) break;
      size_t end = PieceEnd(s, pos);
      int pieceWidth = MeasurePiece(s.substr(pos, end - pos), state.style, widths);
      if (!first && width + pieceWidth >= clientWidth) break;
      width += pieceWidth;
      pos = end;
      first = false;
    }
    TDisplayLine line{head, paragraph, static_cast<int>(start), static_cast<int>(head.size())};
    line.text.append(s.substr(start, pos - start));
    out.push_back(std::move(line));
    // Blanks at the cut are dropped, escapes there applied.
    for (;;) {
      size_t next = ApplyEscapesAt(s, pos, state);
      while (next < s.size() && IsBlankByte(s[next])) ++next;
      if (next == pos) break;
      pos = next;
    }
  }
}

}  // namespace

const std::array<TColor, 40>& TextColorTable() {
  static const std::array<TColor, 40> table = [] {
    std::array<TColor, 40> t{0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                             0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                             0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (int i = 0; i < 24; ++i) t[16 + i] = 0x80000001u + static_cast<TColor>(i);
    return t;
  }();
  return table;
}

void ApplyEscape(unsigned char code, TTextStyleState& state) {
  switch (code) {
    case 1: state.style |= kStyleBold; return;
    case 2: state.style &= ~kStyleBold; return;
    case 3: state.style |= kStyleItalic; return;
    case 4: state.style &= ~kStyleItalic; return;
    case 5: state.style |= kStyleUnderline; return;
    case 6: state.style &= ~kStyleUnderline; return;
    case 0: state.style = 0; return;
    case kColorNormal:
    case kColorQuote: state.color = code; return;
    default:
      if (code >= 8 && code <= 47) state.color = code - 8;
  }
}

std::string StripEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == kEsc) {
      i = AfterEscape(text, i);
    } else {
      out += text[i++];
    }
  }
  return out;
}

TGlyphWidths TGlyphWidths::Fixed(int width) {
  TGlyphWidths w;
  for (auto& style : w.advance) style.fill(width);
  w.tabStop = 8 * width;
  return w;
}

int AdvancePast(int x, char c, int style, const TGlyphWidths& widths) {
  if (c == '\t' && widths.tabStop > 0) return (x / widths.tabStop + 1) * widths.tabStop;
  return x + widths.Of(static_cast<unsigned char>(c), style);
}

int MeasurePiece(std::string_view piece, int style, const TGlyphWidths& widths) {
  int x = 0;
  for (char c : piece) x = AdvancePast(x, c, style, widths);
  return x;
}

int MeasureText(std::string_view text, TTextStyleState& state, const TGlyphWidths& widths) {
  int width = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    pos = ApplyEscapesAt(text, pos, state);
    size_t end = std::min(text.find(kEsc, pos), text.size());
    width += MeasurePiece(text.substr(pos, end - pos), state.style, widths);
    pos = end;
  }
  return width;
}

std::vector<TDisplayLine> WrapParagraphs(const std::vector<std::string>& paragraphs,
                                         const std::vector<std::string>& prefixes, int clientWidth,
                                         const TGlyphWidths& widths) {
  static const std::string noPrefix;
  std::vector<TDisplayLine> lines;
  lines.reserve(paragraphs.size() + paragraphs.size() / 4);
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    const std::string& prefix = i < prefixes.size() ? prefixes[i] : noPrefix;
    WrapParagraph(paragraphs[i], prefix, static_cast<int>(i), clientWidth, widths, lines);
  }
  return lines;
}

std::vector<TTextRun> LineRuns(std::string_view line, int selBegin, int selEnd,
                               const TGlyphWidths& widths, int maxX) {
  std::vector<TTextRun> runs;
  TTextStyleState state;
  int x = 0;
  size_t pos = 0;
  while (pos < line.size() && x < maxX) {
    pos = ApplyEscapesAt(line, pos, state);
    size_t end = std::min(line.find(kEsc, pos), line.size());
    // Split at the selection's columns.
    for (int cut : {selBegin, selEnd})
      if (cut > static_cast<int>(pos) && cut < static_cast<int>(end))
        end = static_cast<size_t>(cut);
    if (end == pos) continue;
    // Only what can show: stop after the byte that reaches maxX.
    int width = 0;
    size_t stop = pos;
    while (stop < end && x + width < maxX)
      width = AdvancePast(width, line[stop++], state.style, widths);
    bool selected =
        selBegin >= 0 && static_cast<int>(pos) >= selBegin && static_cast<int>(pos) < selEnd;
    runs.push_back({static_cast<int>(pos), static_cast<int>(stop), state, x, width, selected});
    x += width;
    pos = end;
  }
  return runs;
}

int ColumnAt(std::string_view line, int x, const TGlyphWidths& widths) {
  if (x <= 0) return 0;
  TTextStyleState state;
  int left = 0;
  size_t pos = 0;
  while (pos < line.size()) {
    size_t next = ApplyEscapesAt(line, pos, state);
    size_t end = std::min(line.find(kEsc, next), line.size());
    int width = 0;
    for (size_t i = next; i < end; ++i) {
      width = AdvancePast(width, line[i], state.style, widths);
      if (left + width > x) return static_cast<int>(i);
    }
    left += width;
    pos = end;
  }
  return static_cast<int>(line.size());
}

TTextSelection TTextSelection::Normalized() const {
  return end < anchor ? TTextSelection{end, anchor} : *this;
}

std::string SelectedText(const std::vector<TDisplayLine>& lines, const TTextSelection& selection) {
  if (selection.Empty() || selection.anchor.line < 0 || selection.end.line < 0) return {};
  const TTextSelection s = selection.Normalized();
  const int last = std::min(s.end.line, static_cast<int>(lines.size()) - 1);
  auto piece = [&](int line, size_t from, size_t to) {
    const std::string& text = lines[static_cast<size_t>(line)].text;
    from = std::min(from, text.size());
    to = std::min(to, text.size());
    return StripEscapes(std::string_view(text).substr(from, to > from ? to - from : 0));
  };
  const size_t startCol = static_cast<size_t>(std::max(0, s.anchor.column));
  const size_t endCol = static_cast<size_t>(std::max(0, s.end.column));
  if (s.anchor.line == s.end.line) return piece(s.anchor.line, startCol, endCol);
  std::string out = piece(s.anchor.line, startCol, std::string::npos);
  for (int line = s.anchor.line + 1; line <= last; ++line) {
    out += "\r\n";
    out += piece(line, 0, line == s.end.line ? endCol : std::string::npos);
  }
  return out;
}

TTextPos ParagraphPosition(const std::vector<TDisplayLine>& lines, TTextPos pos) {
  if (pos.line < 0 || pos.line >= static_cast<int>(lines.size())) return {};
  const TDisplayLine& line = lines[static_cast<size_t>(pos.line)];
  int inPiece = std::max(0, pos.column - line.headLength);
  int pieceLength = static_cast<int>(line.text.size()) - line.headLength;
  return {line.paragraph, line.paraOffset + std::min(inPiece, pieceLength)};
}

std::optional<TTextPos> FindInLines(const std::vector<TDisplayLine>& lines,
                                    std::string_view pattern, bool matchCase, bool wholeWord,
                                    TTextPos from) {
  if (pattern.empty()) return std::nullopt;
  // The lines are in the ANSI code page, as the window shows them.
  const platform::CodePage ansi = platform::AnsiCodePage();
  std::string needle(pattern);
  if (!matchCase) platform::FoldInPlace(needle, ansi);
  for (int li = std::max(0, from.line); li < static_cast<int>(lines.size()); ++li) {
    // Escape sequences are masked, so that a code byte is never a hit and
    // always ends a word.
    std::string text = lines[static_cast<size_t>(li)].text;
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == kEsc && i + 1 < text.size()) text[++i] = kEsc;
    if (!matchCase) platform::FoldInPlace(text, ansi);
    size_t at = li == from.line ? static_cast<size_t>(std::max(0, from.column)) : 0;
    while ((at = text.find(needle, at)) != std::string::npos) {
      size_t after = at + needle.size();
      bool whole = (at == 0 || !IsWordByte(text[at - 1])) &&
                   (after >= text.size() || !IsWordByte(text[after]));
      if (!wholeWord || whole) return TTextPos{li, static_cast<int>(at)};
      ++at;
    }
  }
  return std::nullopt;
}

}  // namespace velmaris
