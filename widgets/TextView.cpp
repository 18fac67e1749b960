#include "widgets/TextView.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "widgets/VxColors.h"

namespace velmaris {

namespace {

// The characters of the ANSI code page, byte by byte.
const std::array<QChar, 256>& AnsiChars() {
  static std::array<QChar, 256> chars;
  static platform::CodePage filled = platform::CodePage::CP437;
  static bool valid = false;
  if (!valid || filled != platform::AnsiCodePage()) {
    filled = platform::AnsiCodePage();
    for (int b = 0; b < 256; ++b)
      chars[static_cast<size_t>(b)] =
          QChar(static_cast<char16_t>(platform::ToUnicode(static_cast<unsigned char>(b), filled)));
    valid = true;
  }
  return chars;
}

QFont FontOfStyle(QFont font, int style) {
  font.setBold(style & kStyleBold);
  font.setItalic(style & kStyleItalic);
  font.setUnderline(style & kStyleUnderline);
  return font;
}

QColor Inverted(const QColor& c) { return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()); }

}  // namespace

TTextView::TTextView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::IBeamCursor);
  autoScroll_.setInterval(50);
  connect(&autoScroll_, &QTimer::timeout, this, &TTextView::AutoScrollTick);
  UpdateGlyphWidths();
}

void TTextView::SetText(const std::vector<std::string>& prefixes,
                        const std::vector<std::string>& paragraphs) {
  topIndex_ = 0;
  paraStarts_ = prefixes;
  paragraphs_ = paragraphs;
  Rewrap();
}

void TTextView::SetParagraphs(const std::vector<std::string>& paragraphs) {
  paragraphs_ = paragraphs;
  Rewrap();
}

void TTextView::SetParaStarts(const std::vector<std::string>& prefixes) {
  paraStarts_ = prefixes;
  Rewrap();
}

void TTextView::UpdateGlyphWidths() {
  const auto& chars = AnsiChars();
  for (int w = 0; w < 4; ++w) {
    QFontMetrics metrics(FontOfStyle(font(), w << 1));
    for (size_t b = 0; b < 256; ++b)
      widths_.advance[static_cast<size_t>(w)][b] = metrics.horizontalAdvance(chars[b]);
  }
  QFontMetrics plain(font());
  widths_.tabStop = 8 * std::max(1, plain.averageCharWidth());
  lineHeight_ = std::max(1, plain.height());
  ascent_ = plain.ascent();
}

void TTextView::Rewrap() {
  selection_ = {};
  wrapWidth_ = viewport()->width();
  lines_ = WrapParagraphs(paragraphs_, paraStarts_, wrapWidth_, widths_);
  topIndex_ = std::clamp(topIndex_, 0, MaxTop());
  UpdateScrollBar();
  viewport()->update();
}

int TTextView::PageLines() const { return viewport()->height() / lineHeight_; }

int TTextView::MaxTop() const { return std::max(0, LineCount() - PageLines()); }

void TTextView::UpdateScrollBar() {
  syncingScrollBar_ = true;
  QScrollBar* bar = verticalScrollBar();
  bool needed = LineCount() - 1 >= PageLines();
  bar->setRange(0, needed ? MaxTop() : 0);
  bar->setPageStep(std::max(1, PageLines()));
  bar->setSingleStep(1);
  bar->setValue(topIndex_);
  syncingScrollBar_ = false;
  // Showing or hiding the bar changes the width, which wraps again.
  Qt::ScrollBarPolicy policy = needed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  if (verticalScrollBarPolicy() != policy) setVerticalScrollBarPolicy(policy);
}

void TTextView::SetTopIndex(int index) {
  index = std::clamp(index, 0, MaxTop());
  if (index == topIndex_) return;
  topIndex_ = index;
  syncingScrollBar_ = true;
  verticalScrollBar()->setValue(index);
  syncingScrollBar_ = false;
  viewport()->update();
}

void TTextView::ScrollIntoView(int line) {
  if (line < topIndex_)
    SetTopIndex(line);
  else if (line >= topIndex_ + PageLines())
    SetTopIndex(line - PageLines() + 1);
}

void TTextView::scrollContentsBy(int, int) {
  if (syncingScrollBar_) return;
  topIndex_ = std::clamp(verticalScrollBar()->value(), 0, MaxTop());
  viewport()->update();
}

void TTextView::SetBackground(TColor color) {
  background_ = color;
  viewport()->update();
}

void TTextView::SetNormalColor(TColor color) {
  normalColor_ = color;
  viewport()->update();
}

void TTextView::SetQuoteColor(TColor color) {
  quoteColor_ = color;
  viewport()->update();
}

void TTextView::SelectAll() {
  if (lines_.empty()) return;
  selection_ = {{0, 0}, {LineCount() - 1, static_cast<int>(lines_.back().text.size())}};
  viewport()->update();
}

void TTextView::ClearSelection() {
  selection_ = {};
  viewport()->update();
}

void TTextView::SetSelection(const TTextSelection& selection) {
  selection_ = selection;
  viewport()->update();
}

TTextSelection TTextView::ParagraphSelection() const {
  if (!HasSelection()) return {};
  TTextSelection s = selection_.Normalized();
  return {ParagraphPosition(lines_, s.anchor), ParagraphPosition(lines_, s.end)};
}

std::string TTextView::GetSelectedText() const { return SelectedText(lines_, selection_); }

void TTextView::CopyToClipboard() const {
  QGuiApplication::clipboard()->setText(AnsiText(GetSelectedText()));
}

bool TTextView::FindNext(const std::string& pattern, bool matchCase, bool wholeWord) {
  TTextPos from{0, 0};
  if (HasSelection()) {
    from = selection_.Normalized().anchor;
    ++from.column;
  }
  auto hit = FindInLines(lines_, pattern, matchCase, wholeWord, from);
  if (!hit) return false;
  SetSelection({*hit, {hit->line, hit->column + static_cast<int>(pattern.size())}});
  ScrollIntoView(hit->line);
  return true;
}

TTextPos TTextView::HitTest(QPoint point) const {
  if (lines_.empty()) return {};
  int x = std::max(0, point.x());
  int y = std::clamp(point.y(), 0, viewport()->height());
  int line = y / lineHeight_ + topIndex_;
  if (line >= LineCount()) return {LineCount() - 1, static_cast<int>(lines_.back().text.size())};
  return {line, ColumnAt(lines_[static_cast<size_t>(line)].text, x, widths_)};
}

QColor TTextView::ColorOf(int color) const {
  switch (color) {
    case kColorFont: return palette().color(QPalette::Text);
    case kColorNormal: return ToQColor(normalColor_, palette());
    case kColorQuote: return ToQColor(quoteColor_, palette());
    default: return ToQColor(TextColorTable()[static_cast<size_t>(color)], palette());
  }
}

void TTextView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QColor back = ToQColor(background_, palette());
  const int width = viewport()->width(), height = viewport()->height();
  painter.fillRect(0, 0, width, height, back);
  const TTextSelection sel = selection_.Normalized();
  const auto& chars = AnsiChars();
  QString text;
  for (int i = topIndex_, y = 0; i < LineCount() && y < height; ++i, y += lineHeight_) {
    const std::string& line = lines_[static_cast<size_t>(i)].text;
    int selBegin = -1, selEnd = -1;
    if (HasSelection() && i >= sel.anchor.line && i <= sel.end.line) {
      selBegin = i == sel.anchor.line ? sel.anchor.column : 0;
      selEnd = i == sel.end.line ? sel.end.column : static_cast<int>(line.size());
    }
    for (const TTextRun& run : LineRuns(line, selBegin, selEnd, widths_, width)) {
      QColor fore = ColorOf(run.state.color);
      if (run.selected) {
        painter.fillRect(run.x, y, run.width, lineHeight_, Inverted(back));
        fore = Inverted(fore);
      }
      painter.setFont(FontOfStyle(font(), run.state.style));
      painter.setPen(fore);
      // Tabs are placed by the same widths the layout measured with.
      int x = 0;
      for (int b = run.begin; b < run.end;) {
        if (line[static_cast<size_t>(b)] == '\t') {
          x = AdvancePast(x, '\t', run.state.style, widths_);
          ++b;
          continue;
        }
        text.clear();
        int from = x;
        for (; b < run.end && line[static_cast<size_t>(b)] != '\t'; ++b) {
          text += chars[static_cast<unsigned char>(line[static_cast<size_t>(b)])];
          x = AdvancePast(x, line[static_cast<size_t>(b)], run.state.style, widths_);
        }
        painter.drawText(run.x + from, y + ascent_, text);
      }
    }
  }
}

void TTextView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (viewport()->width() != wrapWidth_) {
    Rewrap();
    return;
  }
  topIndex_ = std::clamp(topIndex_, 0, MaxTop());
  UpdateScrollBar();
  viewport()->update();
}

void TTextView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateGlyphWidths();
    Rewrap();
  }
}

void TTextView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopyToClipboard();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  switch (event->key()) {
    case Qt::Key_PageUp: SetTopIndex(topIndex_ - PageLines()); return;
    case Qt::Key_PageDown: SetTopIndex(topIndex_ + PageLines()); return;
    case Qt::Key_Up: SetTopIndex(topIndex_ - 1); return;
    case Qt::Key_Down: SetTopIndex(topIndex_ + 1); return;
    case Qt::Key_Home: SetTopIndex(0); return;
    case Qt::Key_End: SetTopIndex(MaxTop()); return;
    default: event->ignore();
  }
}

void TTextView::wheelEvent(QWheelEvent* event) {
  SetTopIndex(topIndex_ - event->angleDelta().y() / 40);
  event->accept();
}

void TTextView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  TTextPos hit = HitTest(event->position().toPoint());
  SetSelection({hit, hit});
  selecting_ = true;
}

void TTextView::ExtendSelectionTo(QPoint point) {
  selection_.end = HitTest(point);
  viewport()->update();
}

void TTextView::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  lastMouse_ = event->position().toPoint();
  if (lastMouse_.y() >= 0 && lastMouse_.y() < viewport()->height()) {
    autoScroll_.stop();
    ExtendSelectionTo(lastMouse_);
    return;
  }
  autoScrollDirection_ = lastMouse_.y() < 0 ? -1 : 1;
  if (!autoScroll_.isActive()) autoScroll_.start();
}

void TTextView::mouseReleaseEvent(QMouseEvent* event) {
  if (!selecting_ || event->button() != Qt::LeftButton) return;
  autoScroll_.stop();
  ExtendSelectionTo(event->position().toPoint());
  selecting_ = false;
}

void TTextView::AutoScrollTick() {
  SetTopIndex(topIndex_ + autoScrollDirection_);
  ExtendSelectionTo(lastMouse_);
}

}  // namespace velmaris
