#include "widgets/SplitIt.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <algorithm>

namespace velmaris {

TSplitIt::TSplitIt(QWidget* parent)
    : QWidget(parent), color_(palette().color(QPalette::Window).darker(115)) {
  resize(100, 4);
  setCursor(Qt::SplitVCursor);
}

void TSplitIt::SetSplitDirection(TSplitDirection value) {
  direction_ = value;
  setCursor(value == TSplitDirection::sdVertical ? Qt::SplitVCursor : Qt::SplitHCursor);
}

void TSplitIt::SetColor(const QColor& color) {
  color_ = color;
  update();
}

void TSplitIt::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (OnPaint) {
    OnPaint(this, p);
  } else {
    p.fillRect(rect(), color_);
  }
}

void TSplitIt::ShowBar() {
  QWidget* parent = parentWidget();
  if (!parent) return;
  if (!bar_) bar_ = new QRubberBand(QRubberBand::Line, parent);
  if (direction_ == TSplitDirection::sdVertical) {
    bar_->setGeometry(x(), y() + offset_, width(), height());
  } else {
    bar_->setGeometry(x() + offset_, y(), width(), height());
  }
  bar_->show();
}

void TSplitIt::mousePressEvent(QMouseEvent* event) {
  if (splitting_ || event->button() != Qt::LeftButton) return;
  emit startSplit();
  offset_ = 0;
  splitting_ = true;
  ShowBar();
}

void TSplitIt::mouseMoveEvent(QMouseEvent* event) {
  if (!splitting_) return;
  const QWidget* parent = parentWidget();
  const int room = parent ? (direction_ == TSplitDirection::sdVertical ? parent->height() - height()
                                                                       : parent->width() - width())
                          : 0;
  const int min = std::max(0, Min);
  const int limit = Max != 0 && Max <= room ? Max : room;
  const int origin = direction_ == TSplitDirection::sdVertical ? y() : x();
  int off = direction_ == TSplitDirection::sdVertical ? qRound(event->position().y())
                                                      : qRound(event->position().x());
  if (origin + off < min) off = min - origin;
  if (origin + off > limit) off = limit - origin;
  offset_ = off;
  ShowBar();
}

void TSplitIt::mouseReleaseEvent(QMouseEvent*) {
  if (!splitting_) return;
  if (bar_) bar_->hide();
  splitting_ = false;
  emit split((direction_ == TSplitDirection::sdVertical ? y() : x()) + offset_);
}

}  // namespace velmaris
