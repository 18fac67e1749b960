#include "widgets/VxSplitter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>

namespace velmaris {

namespace {

constexpr const char* kAlignProperty = "vxAlign";

bool Vertical(int style) { return style == 1 || style == 2; }

}  // namespace

void SetControlAlign(QWidget* control, TAlign align) {
  if (control) control->setProperty(kAlignProperty, static_cast<int>(align));
}

TAlign ControlAlign(const QWidget* control) {
  const QVariant v = control ? control->property(kAlignProperty) : QVariant();
  return v.isValid() ? static_cast<TAlign>(v.toInt()) : TAlign::alNone;
}

TVxSplitter::TVxSplitter(QWidget* parent) : QFrame(parent) {
  resize(185, 3);
  setFrameStyle(QFrame::NoFrame);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
}

TVxSplitter::~TVxSplitter() = default;

void TVxSplitter::SetControlFirst(QWidget* control) {
  first_ = (control == this || (control && control->isWindow())) ? nullptr : control;
  UpdateCursor();
}

void TVxSplitter::SetControlSecond(QWidget* control) {
  second_ = (control == this || (control && control->isWindow())) ? nullptr : control;
  UpdateCursor();
}

void TVxSplitter::SetAlign(TAlign align) {
  const TAlign old = Align();
  SetControlAlign(this, align);
  const bool wasSide = old != TAlign::alNone && old != TAlign::alClient;
  if (!wasSide) {
    if (align == TAlign::alTop || align == TAlign::alBottom) setFixedHeight(3);
    if (align == TAlign::alLeft || align == TAlign::alRight) setFixedWidth(3);
  }
  if (!first_ && !second_ && parentWidget()) {
    QPoint probe;
    switch (align) {
      case TAlign::alTop: probe = QPoint(x(), y() - 1); break;
      case TAlign::alBottom: probe = QPoint(x(), y() + height()); break;
      case TAlign::alLeft: probe = QPoint(x() - 1, y()); break;
      case TAlign::alRight: probe = QPoint(x() + width(), y()); break;
      default: break;
    }
    for (QObject* child : parentWidget()->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (w && w != this && !w->isWindow() && w->geometry().contains(probe)) {
        first_ = w;
        break;
      }
    }
  }
  UpdateCursor();
}

int TVxSplitter::SplitStyle() const {
  if (!first_) return 0;
  return velmaris::SplitStyle(ControlAlign(first_),
                              second_ ? ControlAlign(second_) : TAlign::alNone, Align());
}

void TVxSplitter::UpdateCursor() {
  const int style = SplitStyle();
  if (style == 0) {
    unsetCursor();
  } else {
    setCursor(Vertical(style) ? Qt::SplitVCursor : Qt::SplitHCursor);
  }
}

QPoint TVxSplitter::Clamped(QPoint p, bool& clamped) const {
  // The parent's client area less the limits, in this control's coordinates.
  const QRect area = parentWidget()->rect().adjusted(TopLeftLimit, TopLeftLimit, -BottomRightLimit,
                                                     -BottomRightLimit);
  const QRect limits = area.translated(-pos());
  const QPoint q(std::clamp(p.x(), limits.left(), std::max(limits.left(), limits.right())),
                 std::clamp(p.y(), limits.top(), std::max(limits.top(), limits.bottom())));
  clamped = Vertical(style_) ? q.y() != p.y() : q.x() != p.x();
  return q;
}

void TVxSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !parentWidget()) return;
  style_ = SplitStyle();
  if (style_ == 0) return;
  sizing_ = true;
  down_ = event->position().toPoint();
  grabKeyboard();
  if (!line_) line_ = new QRubberBand(QRubberBand::Line, window());
  MoveLine(down_);
  line_->show();
}

void TVxSplitter::MoveLine(QPoint p) {
  QRect r;
  const int thickness = std::max(Vertical(style_) ? height() - 2 : width() - 2, 2);
  if (Vertical(style_)) {
    r = QRect(0, p.y() - down_.y() + height() / 2 - thickness / 2, width(), thickness);
  } else {
    r = QRect(p.x() - down_.x() + width() / 2 - thickness / 2, 0, thickness, height());
  }
  r.moveTopLeft(mapTo(window(), r.topLeft()));
  line_->setGeometry(r & window()->rect());
}

void TVxSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!sizing_) return;
  bool clamped = false;
  const QPoint p = Clamped(event->position().toPoint(), clamped);
  if (clamped != noDrop_) {
    noDrop_ = clamped;
    if (clamped) {
      setCursor(Qt::ForbiddenCursor);
    } else {
      UpdateCursor();
    }
  }
  MoveLine(p);
}

void TVxSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) StopSizing(event->position().toPoint(), true, true);
}

void TVxSplitter::keyPressEvent(QKeyEvent* event) {
  if (sizing_ && event->key() == Qt::Key_Escape) {
    StopSizing(down_, false, false);
    return;
  }
  QFrame::keyPressEvent(event);
}

void TVxSplitter::StopSizing(QPoint p, bool apply, bool fromMouse) {
  if (!sizing_) return;
  releaseKeyboard();
  bool allow = true;
  if (apply && OnPosChanging) OnPosChanging(this, p.x(), p.y(), allow);
  if (line_) line_->hide();
  if (apply && allow) {
    bool clamped = false;
    const QPoint q = Clamped(p, clamped);
    const TAlign f = ControlAlign(first_);
    const TAlign s = second_ ? ControlAlign(second_) : TAlign::alNone;
    QWidget* target = (style_ == 1 || style_ == 3) ? first_.data() : second_.data();
    if (target) {
      const bool vertical = Vertical(style_);
      const int old = vertical ? target->height() : target->width();
      const int room =
          (vertical ? parentWidget()->height() - height() : parentWidget()->width() - width());
      const int size = SplitNewSize(style_, f, s, old, q.x() - down_.x(), q.y() - down_.y(), room);
      if (vertical) {
        target->setFixedHeight(size);
      } else {
        target->setFixedWidth(size);
      }
    }
  }
  sizing_ = false;
  noDrop_ = false;
  UpdateCursor();
  if (fromMouse) emit posChanged();
}

}  // namespace velmaris
