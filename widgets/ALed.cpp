#include "widgets/ALed.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmaris {

namespace {

QSize SizeOf(TLEDStyle style) {
  switch (style) {
    case TLEDStyle::LEDLarge:
    case TLEDStyle::LEDSqLarge: return {22, 22};
    case TLEDStyle::LEDVertical: return {14, 22};
    case TLEDStyle::LEDHorizontal: return {22, 14};
    default: return {16, 16};
  }
}

// A lamp of the style with its surface in the colour: a shaded rim, the
// surface and a small reflection.
QPixmap Lamp(TLEDStyle style, const QColor& surface) {
  const QSize size = SizeOf(style);
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(QPointF(0.5, 0.5), QSizeF(size) - QSizeF(1, 1));
  const bool round = style == TLEDStyle::LEDSmall || style == TLEDStyle::LEDLarge;
  p.setPen(QPen(QColor(96, 96, 96), 1));
  p.setBrush(surface);
  if (round) {
    p.drawEllipse(r.adjusted(1, 1, -1, -1));
  } else {
    p.drawRect(r.adjusted(1, 1, -1, -1));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawEllipse(QRectF(r.width() * 0.3, r.height() * 0.25, r.width() * 0.22, r.height() * 0.22));
  return pm;
}

}  // namespace

TALed::TALed(QWidget* parent) : QWidget(parent) {
  resize(16, 16);
  BuildPictures();
}

TALed::~TALed() { StopBlink(); }

void TALed::BuildPictures() {
  resize(SizeOf(style_));
  lit_ = Lamp(style_, trueColor_);
  dark_ = Lamp(style_, falseColor_);
}

void TALed::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(rect(), phase_ == 0 ? lit_ : dark_);
}

void TALed::SetValue(bool value) {
  if (value == value_) return;
  value_ = value;
  if (value) {
    phase_ = 0;
    if (blink_) StartBlink();
  } else {
    StopBlink();
    phase_ = 1;
  }
  update();
}

void TALed::StartBlink() {
  if (timer_) return;
  timer_ = std::make_unique<QTimer>();
  phase_ = 0;
  timer_->setInterval(interval_);
  connect(timer_.get(), &QTimer::timeout, this, &TALed::Tick);
  timer_->start();
}

void TALed::StopBlink() { timer_.reset(); }

void TALed::Tick() {
  phase_ = 1 - phase_;
  repaint();
  emit timer();
}

void TALed::SetInterval(int ms) {
  interval_ = ms;
  if (timer_) timer_->setInterval(ms);
}

void TALed::SetBlink(bool value) {
  if (value == blink_) return;
  phase_ = value_ ? 0 : 1;
  update();
  blink_ = value;
  if (blink_ && value_) {
    StartBlink();
  } else {
    StopBlink();
  }
}

void TALed::SetTrueColor(const QColor& color) {
  if (color == trueColor_) return;
  const bool blink = blink_;
  SetBlink(false);
  trueColor_ = color;
  BuildPictures();
  SetBlink(blink);
  update();
}

void TALed::SetFalseColor(const QColor& color) {
  if (color == falseColor_) return;
  const bool blink = blink_;
  SetBlink(false);
  falseColor_ = color;
  BuildPictures();
  SetBlink(blink);
  update();
}

void TALed::SetLEDStyle(TLEDStyle style) {
  style_ = style;
  BuildPictures();
  update();
}

void TALed::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  emit mouseEnter();
}

void TALed::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit mouseLeave();
}

void TALed::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
}

}  // namespace velmaris
