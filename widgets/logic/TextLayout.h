// The layout rules of the text viewer without Qt: display escapes, word
// wrapping of paragraphs behind their prefixes, the runs a display line is
// painted in, hit testing, selections and find in the display lines.
//
// Texts are byte strings in the ANSI code page. A display escape is ESC (27)
// and a code byte: 1/2 bold on/off, 3/4 italic, 5/6 underline, 0 clears the
// three styles, 8..47 colour code-8 of the colour table, 128 the normal and
// 129 the quote colour; other codes do nothing. An ESC at the very end of a
// text has no code and does nothing.
//
// Widths come from a table of advances per byte and style, which the window
// fills from its font: every byte is one character of a single-byte code
// page, so measuring is a sum and wrapping a megabyte stays linear. A TAB
// advances to the next tab stop counted from the start of the piece of text
// between two escapes.
//
// Each display line is self-contained: the prefix, then the escapes that
// put the style and colour in force at the cut back on, then the text.
// Painting starts every line with no style and the font's colour.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/logic/ColorArray.h"

namespace velmaris {

// Style bits.
inline constexpr int kStyleUnderline = 1, kStyleItalic = 2, kStyleBold = 4;

// Colour in force: the font's own colour, an entry of the colour table
// (0..39), or the viewer's normal or quote colour.
inline constexpr int kColorFont = -1, kColorNormal = 128, kColorQuote = 129;

// The 40 colours the codes 8..47 select: 16 basic colours, then the system
// colours 1 to 24 (desktop to tooltip background).
const std::array<TColor, 40>& TextColorTable();

struct TTextStyleState {
  int style = 0;
  int color = kColorFont;
  bool operator==(const TTextStyleState&) const = default;
};

// Applies the escape code to the state.
void ApplyEscape(unsigned char code, TTextStyleState& state);

// The text without its escape sequences.
std::string StripEscapes(std::string_view text);

// Advances of every byte in the four width styles (plain, italic, bold,
// bold italic; underlining does not change a width).
struct TGlyphWidths {
  std::array<std::array<int, 256>, 4> advance{};
  int tabStop = 0;  // 0: a TAB is as wide as its advance
  // Every byte as wide as width, tab stops every eight of them.
  static TGlyphWidths Fixed(int width);
  int Of(unsigned char byte, int style) const { return advance[(style >> 1) & 3][byte]; }
};

// x after one byte of text drawn at x (a TAB goes to the next tab stop).
int AdvancePast(int x, char c, int style, const TGlyphWidths& widths);
// Width of a piece of text without escapes, starting at a tab origin.
int MeasurePiece(std::string_view piece, int style, const TGlyphWidths& widths);
// Width of a text with escapes, applying them to state on the way.
int MeasureText(std::string_view text, TTextStyleState& state, const TGlyphWidths& widths);

struct TDisplayLine {
  std::string text;
  int paragraph = 0;
  int paraOffset = 0;  // where the line's piece starts in its paragraph
  int headLength = 0;  // bytes of prefix and restoring escapes before the piece
};

// Wraps the paragraphs to clientWidth: each display line takes at least one
// piece (blanks and one word), and more while the prefix and the pieces
// stay narrower than the client. A word wider than the client stands alone
// and overflows; it is never split. Blanks at a cut are dropped.
std::vector<TDisplayLine> WrapParagraphs(const std::vector<std::string>& paragraphs,
                                         const std::vector<std::string>& prefixes, int clientWidth,
                                         const TGlyphWidths& widths);

// A painted piece of a display line: bytes [begin, end) in one style and
// colour, at x, marked when it lies inside the selection.
struct TTextRun {
  int begin = 0, end = 0;
  TTextStyleState state;
  int x = 0, width = 0;
  bool selected = false;
};

// The runs of a display line, split at the selected columns [selBegin,
// selEnd) (both -1 for none), up to the first run that starts at or right of
// maxX. A run is cut short after the first byte that reaches maxX, so that a
// line of a megabyte paints only what shows.
std::vector<TTextRun> LineRuns(std::string_view line, int selBegin, int selEnd,
                               const TGlyphWidths& widths, int maxX);

// The byte column of x in a display line: the most visible characters whose
// width stays at or below x, counting the escapes passed on the way.
int ColumnAt(std::string_view line, int x, const TGlyphWidths& widths);

struct TTextPos {
  int line = -1, column = -1;
  auto operator<=>(const TTextPos&) const = default;
};

// Anchor and end as the mouse made them; Normalized puts them in order.
struct TTextSelection {
  TTextPos anchor, end;
  bool Empty() const { return anchor == end; }
  TTextSelection Normalized() const;
  bool operator==(const TTextSelection&) const = default;
};

// The selected text without escapes, lines joined by CR LF. Display lines
// hold their prefixes, so quote prefixes are copied with the text.
std::string SelectedText(const std::vector<TDisplayLine>& lines, const TTextSelection& selection);

// Paragraph and byte offset in the paragraph's text (without its prefix) of
// a position in the display lines. A column inside the prefix gives the
// start of the line's piece.
TTextPos ParagraphPosition(const std::vector<TDisplayLine>& lines, TTextPos pos);

// Finds pattern in the display lines from (from.line, from.column) on, the
// rest of that line first, then the following lines. The lines and the
// pattern are in the ANSI code page; without matchCase its letters fold. With wholeWord a hit must
// stand at the line start or after a character below 33, and be followed by the line end or one.
// The escape sequences of the lines never match and count as such characters.
std::optional<TTextPos> FindInLines(const std::vector<TDisplayLine>& lines,
                                    std::string_view pattern, bool matchCase, bool wholeWord,
                                    TTextPos from);

}  // namespace velmaris
