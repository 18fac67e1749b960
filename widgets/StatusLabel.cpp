#include "widgets/StatusLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

namespace velmaris {

namespace {

// The most a status line asks for, and the least it needs, in letters.
constexpr int kWidestLetters = 40;
constexpr int kNarrowestLetters = 4;

// A status is one line: line breaks show as blanks.
QString OneLine(QString text) {
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text;
}

}  // namespace

TStatusLabel::TStatusLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

QSize TStatusLabel::sizeHint() const {
  const QSize whole = QLabel::sizeHint();
  return {std::min(whole.width(), fontMetrics().averageCharWidth() * kWidestLetters),
          whole.height()};
}

QSize TStatusLabel::minimumSizeHint() const {
  const QSize whole = QLabel::minimumSizeHint();
  return {std::min(whole.width(), fontMetrics().averageCharWidth() * kNarrowestLetters),
          whole.height()};
}

QRect TStatusLabel::TextRect() const {
  const int inset = margin() + std::max(indent(), 0);
  return contentsRect().adjusted(inset, margin(), -inset, -margin());
}

QString TStatusLabel::ShownText() const {
  return fontMetrics().elidedText(OneLine(text()), Qt::ElideMiddle,
                                  std::max(TextRect().width(), 0));
}

void TStatusLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  style()->drawItemText(&painter, TextRect(),
                        QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

bool TStatusLabel::event(QEvent* event) {
  // Cut, the whole text is read in the tool tip; a tool tip of its own wins.
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    const QString shown = ShownText();
    if (shown != OneLine(text())) {
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QLabel::event(event);
}

}  // namespace velmaris
