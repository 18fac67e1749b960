// TTextView: the read-only text pane of the message view. It takes a list of
// paragraphs and a parallel list of paragraph prefixes (byte strings in the
// ANSI code page with display escapes, see widgets/logic/TextLayout.h),
// wraps each paragraph to the width of the pane with its prefix repeated at
// the start of every display line, paints bold, italic, underline and the
// colours, scrolls by keys, wheel and scroll bar, and lets the user select
// text with the mouse (scrolling while the drag leaves the pane) and copy it
// without the escapes.
//
// Layout runs only when the content, the size or the font changes; painting
// reads the wrapped lines and draws only what shows.
#pragma once

#include <QAbstractScrollArea>
#include <QTimer>
#include <string>
#include <vector>

#include "widgets/logic/ColorArray.h"
#include "widgets/logic/TextLayout.h"

namespace velmaris {

class TTextView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TTextView(QWidget* parent = nullptr);

  // Replaces prefixes and paragraphs at once (one wrap), TopIndex 0.
  void SetText(const std::vector<std::string>& prefixes,
               const std::vector<std::string>& paragraphs);
  const std::vector<std::string>& Paragraphs() const { return paragraphs_; }
  const std::vector<std::string>& ParaStarts() const { return paraStarts_; }
  // Each re-wraps and clears the selection.
  void SetParagraphs(const std::vector<std::string>& paragraphs);
  void SetParaStarts(const std::vector<std::string>& prefixes);

  // The display lines, each with its paragraph.
  const std::vector<TDisplayLine>& Lines() const { return lines_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }

  int TopIndex() const { return topIndex_; }
  // Clamped to 0 .. MaxTop.
  void SetTopIndex(int index);
  // Scrolls the least so that the line shows.
  void ScrollIntoView(int line);
  int LineHeight() const { return lineHeight_; }
  int PageLines() const;
  int MaxTop() const;

  TColor Background() const { return background_; }
  void SetBackground(TColor color);
  TColor NormalColor() const { return normalColor_; }
  void SetNormalColor(TColor color);
  TColor QuoteColor() const { return quoteColor_; }
  void SetQuoteColor(TColor color);

  void SelectAll();
  void ClearSelection();
  bool HasSelection() const { return !selection_.Empty(); }
  // Anchor and end in display lines and byte columns; -1 when none.
  const TTextSelection& Selection() const { return selection_; }
  void SetSelection(const TTextSelection& selection);
  // The normalised selection as paragraph and offset in the paragraph's text.
  TTextSelection ParagraphSelection() const;
  std::string GetSelectedText() const;
  void CopyToClipboard() const;
  static std::string StripEscapes(std::string_view text) { return velmaris::StripEscapes(text); }

  // Finds the next hit one column after the selection's start (from the top
  // without a selection), selects it and scrolls it into view. False when
  // there is none up to the end; the caller asks whether to go on from the
  // top and then clears the selection and calls again.
  bool FindNext(const std::string& pattern, bool matchCase, bool wholeWord);

  // Client point to display line and column; (-1, -1) without lines.
  TTextPos HitTest(QPoint point) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private slots:
  void AutoScrollTick();

 private:
  void Rewrap();
  void UpdateGlyphWidths();
  void UpdateScrollBar();
  void ExtendSelectionTo(QPoint point);
  QColor ColorOf(int color) const;

  std::vector<std::string> paragraphs_, paraStarts_;
  std::vector<TDisplayLine> lines_;
  TGlyphWidths widths_;
  int topIndex_ = 0;
  int wrapWidth_ = -1;
  int lineHeight_ = 1;
  int ascent_ = 0;
  TColor background_ = 0x80000005;
  TColor normalColor_ = 0x80000008;
  TColor quoteColor_ = 0x00800000;
  TTextSelection selection_;
  bool selecting_ = false;
  QTimer autoScroll_;
  int autoScrollDirection_ = 0;  // -1 up, 1 down
  QPoint lastMouse_;
  bool syncingScrollBar_ = false;
};

}  // namespace velmaris
