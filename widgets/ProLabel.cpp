#include "widgets/ProLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QTransform>

namespace velmaris {

namespace {

TOpenUrlHook& UrlHook() {
  static TOpenUrlHook hook;
  return hook;
}

}  // namespace

QCursor ProCursor(int id) {
  switch (id) {
    case crProHand:
    case crProSmallHand: return QCursor(Qt::PointingHandCursor);
    case crProGrabHand:
    case crProGrabHandArrow: return QCursor(Qt::OpenHandCursor);
    case crProDragHand: return QCursor(Qt::ClosedHandCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}

TOpenUrlHook SetOpenUrlHook(TOpenUrlHook hook) {
  TOpenUrlHook old = std::move(UrlHook());
  UrlHook() = std::move(hook);
  return old;
}

bool OpenUrl(const QUrl& url) {
  if (UrlHook()) return UrlHook()(url);
  return QDesktopServices::openUrl(url);
}

TProLabel::TProLabel(QWidget* parent) : QLabel(parent) {
  highlightColor_ = palette().color(QPalette::Light);
  shadowColor_ = palette().color(QPalette::Dark);
}

void TProLabel::SetAngle(int value) {
  value = NormalizeAngle(value);
  if (value == angle_) return;
  angle_ = value;
  update();
}

void TProLabel::SetOffsetX(int value) {
  if (value == offsetX_) return;
  offsetX_ = value;
  if (value > 0) autoSize_ = false;
  update();
}

void TProLabel::SetOffsetY(int value) {
  if (value == offsetY_) return;
  offsetY_ = value;
  if (value > 0) autoSize_ = false;
  update();
}

void TProLabel::SetShadowStyle(TShadowStyle style) {
  style_ = style;
  bool face = false;
  applying_ = true;
  if (ShadowPreset(style, shadow_, face)) {
    highlightColor_ = palette().color(QPalette::Light);
    shadowColor_ = palette().color(QPalette::Dark);
    if (face) SetFontColor(palette().color(QPalette::Button));
  }
  applying_ = false;
  update();
}

void TProLabel::CustomChanged() {
  if (!applying_) style_ = TShadowStyle::ssCustom;
  update();
}

void TProLabel::SetHighlightDirection(TDirection d) {
  if (d != shadow_.highlightDirection) {
    shadow_.highlightDirection = d;
    CustomChanged();
  }
}
void TProLabel::SetHighlightDepth(int v) {
  if (v != shadow_.highlightDepth) {
    shadow_.highlightDepth = v;
    CustomChanged();
  }
}
void TProLabel::SetShadowDirection(TDirection d) {
  if (d != shadow_.shadowDirection) {
    shadow_.shadowDirection = d;
    CustomChanged();
  }
}
void TProLabel::SetShadowDepth(int v) {
  if (v != shadow_.shadowDepth) {
    shadow_.shadowDepth = v;
    CustomChanged();
  }
}
void TProLabel::SetShadowSize(int v) {
  if (v != shadow_.shadowSize) {
    shadow_.shadowSize = v;
    CustomChanged();
  }
}
void TProLabel::SetHighlightColor(const QColor& c) {
  if (c != highlightColor_) {
    highlightColor_ = c;
    CustomChanged();
  }
}
void TProLabel::SetShadowColor(const QColor& c) {
  if (c != shadowColor_) {
    shadowColor_ = c;
    CustomChanged();
  }
}

void TProLabel::SetVerticalAlignment(TVerticalAlignment value) {
  vAlign_ = value;
  update();
}

void TProLabel::SetTransparent(bool value) {
  transparent_ = value;
  update();
}

void TProLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  if (value) adjustSize();
}

void TProLabel::SetFontColor(const QColor& color) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, color);
  setPalette(pal);
}

void TProLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = contentsRect();
  if (!transparent_) p.fillRect(r, palette().color(QPalette::Window));
  p.setFont(font());
  const QString text = this->text();
  int flags = Qt::TextExpandTabs;
  if (alignment() & Qt::AlignRight) {
    flags |= Qt::AlignRight;
  } else if (alignment() & Qt::AlignHCenter) {
    flags |= Qt::AlignHCenter;
  } else {
    flags |= Qt::AlignLeft;
  }
  if (wordWrap()) flags |= Qt::TextWordWrap;
  if (textFormat() != Qt::PlainText) flags |= Qt::TextShowMnemonic;
  const QFontMetrics fm(font());
  QPoint start;
  if (angle_ == 0) {
    if (vAlign_ != TVerticalAlignment::vaTop) {
      const int textH = fm.boundingRect(r, flags, text).height();
      const int free = r.height() - textH;
      r.translate(0, vAlign_ == TVerticalAlignment::vaCenter ? free / 2 : free);
    }
  } else {
    const TRotatedBox box = RotatedTextBox(fm.horizontalAdvance(text), fm.height(), angle_);
    const int bw = std::min(box.width, r.width()), bh = std::min(box.height, r.height());
    int x = r.x(), y = r.y();
    if (flags & Qt::AlignHCenter) x += (r.width() - bw) / 2;
    if (flags & Qt::AlignRight) x += r.width() - bw;
    if (vAlign_ == TVerticalAlignment::vaCenter) y += (r.height() - bh) / 2;
    if (vAlign_ == TVerticalAlignment::vaBottom) y += r.height() - bh;
    start = QPoint(x + box.startX, y + box.startY);
    r = QRect(start, r.size());
  }
  r.translate(offsetX_, offsetY_);
  auto draw = [&](QPoint d, const QColor& c) {
    p.setPen(c);
    if (angle_ == 0) {
      p.drawText(r.translated(d), flags, text);
    } else {
      p.save();
      p.translate(r.topLeft() + d);
      p.rotate(-angle_);
      p.drawText(QPoint(0, fm.ascent()), text);
      p.restore();
    }
  };
  if (!isEnabled()) {
    draw({1, 1}, palette().color(QPalette::Light));
    draw({0, 0}, palette().color(QPalette::Dark));
    return;
  }
  for (const TTextCopy& c : ShadowCopies(style_, shadow_))
    draw({c.dx, c.dy}, c.highlight ? highlightColor_ : shadowColor_);
  draw({0, 0}, palette().color(QPalette::WindowText));
}

void TProLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  emit mouseEnter();
}

void TProLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  emit mouseLeave();
}

TProUrlLabel::TProUrlLabel(QWidget* parent) : TProLabel(parent) {
  SetColorQuietly(unvisited_);
  SetUnderline(true);
  setCursor(ProCursor(crProHand));
}

void TProUrlLabel::SetColorQuietly(const QColor& c) { TProLabel::SetFontColor(c); }

void TProUrlLabel::SetFontColor(const QColor& color) {
  TProLabel::SetFontColor(color);
  if (pressed_ || canHover_) return;
  (isVisited_ ? visited_ : unvisited_) = color;
}

void TProUrlLabel::SetUnderline(bool on) {
  QFont f = font();
  f.setUnderline(on);
  setFont(f);
}

void TProUrlLabel::SetUnvisitedColor(const QColor& c) {
  unvisited_ = c;
  if (!isVisited_) SetFontColor(c);
}

void TProUrlLabel::SetVisitedColor(const QColor& c) {
  visited_ = c;
  if (isVisited_) SetFontColor(c);
}

void TProUrlLabel::SetCanHover(bool on) {
  canHover_ = on;
  SetUnderline(!on);
}

void TProUrlLabel::enterEvent(QEnterEvent* event) {
  TProLabel::enterEvent(event);
  if (canHover_) SetUnderline(true);
  if (pressed_) {
    SetColorQuietly(ActivatedColor);
  } else if (canHover_) {
    SetColorQuietly(HoveredColor);
  }
}

void TProUrlLabel::leaveEvent(QEvent* event) {
  TProLabel::leaveEvent(event);
  if (canHover_) SetUnderline(false);
  SetColorQuietly(isVisited_ ? visited_ : unvisited_);
}

void TProUrlLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  SetColorQuietly(ActivatedColor);
}

void TProUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_) return;
  const QPoint pos = event->position().toPoint();
  if (pos.x() < 0 || pos.y() < 0 || pos.x() > width() || pos.y() > height()) {
    SetColorQuietly(isVisited_ ? visited_ : unvisited_);
  } else {
    isVisited_ = true;
    SetColorQuietly(canHover_ ? HoveredColor : visited_);
    OpenUrl(QUrl::fromUserInput(URL.isEmpty() ? text() : URL));
  }
  pressed_ = false;
}

}  // namespace velmaris
