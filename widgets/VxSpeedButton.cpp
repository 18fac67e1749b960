#include "widgets/VxSpeedButton.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

int TextFlags(TAlignment a, bool wordWrap) {
  int flags = Qt::AlignVCenter | Qt::TextShowMnemonic;
  switch (a) {
    case TAlignment::taLeftJustify: flags |= Qt::AlignLeft; break;
    case TAlignment::taRightJustify: flags |= Qt::AlignRight; break;
    default: flags |= Qt::AlignHCenter; break;
  }
  if (wordWrap) flags |= Qt::TextWordWrap;
  return flags;
}

QString ShortenLines(const QString& caption, const QFontMetrics& metrics, int width) {
  QStringList lines = caption.split(u'\n');
  for (QString& line : lines) {
    line = ShortenTextToWidth(line, metrics, width);
    while (line.endsWith(u' ')) line.chop(1);
  }
  return lines.join(u'\n');
}

QImage Grayed(const QImage& cell, QRgb transparent, QRgb face) {
  QImage out = cell.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      const QRgb px = out.pixel(x, y);
      if (qAlpha(px) == 0 || (px & 0xFFFFFF) == (transparent & 0xFFFFFF) ||
          (px & 0xFFFFFF) == (face & 0xFFFFFF)) {
        continue;
      }
      const int g = (qRed(px) * 77 + qGreen(px) * 150 + qBlue(px) * 29) >> 8;
      out.setPixel(x, y, qRgba(g, g, g, qAlpha(px)));
    }
  }
  return out;
}

void DrawMark(QPainter& p, int x, int y, const QColor& color) {
  p.setPen(color);
  for (int row = 0; row < 4; ++row) p.drawLine(x + row, y + row, x + 6 - row, y + row);
}

void Frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  p.setPen(topLeft);
  p.drawLine(r.left(), r.bottom(), r.left(), r.top());
  p.drawLine(r.left(), r.top(), r.right(), r.top());
  p.setPen(bottomRight);
  p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
  r.adjust(1, 1, -1, -1);
}

}  // namespace

TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyphSize, const QString& caption,
                                     const QFontMetrics& metrics, TButtonLayout layout, int margin,
                                     int spacing, bool drawMark, bool wordWrap,
                                     TAlignment alignment) {
  const int w = client.width(), h = client.height();
  const bool vertical =
      layout == TButtonLayout::blGlyphTop || layout == TButtonLayout::blGlyphBottom;
  int gw = glyphSize.width(), gh = glyphSize.height();
  int tw = vertical ? w : w - gw;
  int th = vertical ? h - gh : h;
  int& along = vertical ? th : tw;
  if (spacing != -1) along -= spacing;
  if (margin != -1) along -= margin;
  if (drawMark && !vertical) tw -= 9;
  tw = std::max(tw, 0);
  th = std::max(th, 0);

  TButtonLayoutResult out;
  out.caption = wordWrap ? caption : ShortenLines(caption, metrics, tw);
  QSize ts;
  if (!out.caption.isEmpty()) {
    ts = metrics.boundingRect(QRect(0, 0, tw, th), TextFlags(alignment, wordWrap), out.caption)
             .size()
             .boundedTo(QSize(tw, th));
  }
  if (drawMark) {
    if (gw > 0 && layout != TButtonLayout::blGlyphLeft) {
      gw += 6;
    } else {
      ts.rwidth() += 9;
    }
  }
  QPoint gp, tp;
  if (vertical) {
    gp.setX(w / 2 - gw / 2);
    tp.setX(w / 2 - ts.width() / 2);
  } else {
    gp.setY(h / 2 - gh / 2);
    tp.setY(h / 2 - ts.height() / 2);
  }
  const int dim = vertical ? h : w;
  const int g = vertical ? gh : gw;
  const int t = vertical ? ts.height() : ts.width();
  if (t == 0 || g == 0) spacing = 0;
  if (margin == -1 && spacing == -1) {
    margin = spacing = (dim - (g + t)) / 3;
  } else if (margin == -1) {
    margin = dim / 2 - (g + spacing + t) / 2;
  } else if (spacing == -1) {
    spacing = (dim - (margin + g)) / 2 - t / 2;
  }
  int gpos = margin, tpos = margin + g + spacing;
  if (layout == TButtonLayout::blGlyphRight || layout == TButtonLayout::blGlyphBottom) {
    gpos = dim - margin - g;
    tpos = gpos - spacing - t;
  }
  if (vertical) {
    gp.setY(gpos);
    tp.setY(tpos);
  } else {
    gp.setX(gpos);
    tp.setX(tpos);
  }
  out.glyph = QRect(client.topLeft() + gp, QSize(gw, gh));
  out.text = QRect(client.topLeft() + tp, ts);
  return out;
}

void TVxButtonGlyph::SetGlyph(const QPixmap& glyph) {
  glyph_ = glyph;
  Invalidate();
  if (glyph_.height() > 0) {
    transparentColor_ = TransparentColorOf(glyph_);
    if (glyph_.width() % glyph_.height() == 0) {
      const int n = glyph_.width() / glyph_.height();
      numGlyphs_ = n > 5 ? 1 : std::max(n, 1);
    }
  }
}

void TVxButtonGlyph::SetNumGlyphs(int value) {
  if (value < 1) return;
  numGlyphs_ = std::min(value, 5);
  Invalidate();
}

QSize TVxButtonGlyph::CellSize() const {
  if (glyph_.isNull()) return {0, 0};
  return {glyph_.width() / numGlyphs_, glyph_.height()};
}

void TVxButtonGlyph::Invalidate() {
  for (QPixmap& image : images_) image = QPixmap();
}

QPixmap TVxButtonGlyph::StateImageOf(const QPixmap& image, TVxButtonState state) {
  if (image.isNull()) return {};
  const QPalette pal = QApplication::palette();
  if (state == TVxButtonState::rbsDisabled) {
    return CreateDisabledBitmapEx(image, QColor(0, 0, 0, 0), Qt::transparent, true,
                                  pal.color(QPalette::Dark), pal.color(QPalette::Light));
  }
  if (state == TVxButtonState::rbsInactive) {
    return QPixmap::fromImage(Grayed(image.toImage(), 0, pal.color(QPalette::Button).rgb()));
  }
  return image;
}

QPixmap TVxButtonGlyph::StateImage(TVxButtonState state) const {
  if (glyph_.isNull()) return {};
  int index = static_cast<int>(state);
  if (state == TVxButtonState::rbsDown && numGlyphs_ < 3) index = 0;
  QPixmap& image = images_[static_cast<size_t>(index)];
  if (!image.isNull()) return image;
  const QSize cell = CellSize();
  const int cellIndex = index < numGlyphs_ ? index : 0;
  const QPixmap source = glyph_.copy(cellIndex * cell.width(), 0, cell.width(), cell.height());
  const QPalette pal = QApplication::palette();
  if (state == TVxButtonState::rbsDisabled && numGlyphs_ < 2) {
    image = CreateDisabledBitmapEx(source, transparentColor_, Qt::transparent, true,
                                   pal.color(QPalette::Dark), pal.color(QPalette::Light));
  } else if (state == TVxButtonState::rbsInactive && numGlyphs_ < 5) {
    image =
        WithTransparentColor(QPixmap::fromImage(Grayed(source.toImage(), transparentColor_.rgb(),
                                                       pal.color(QPalette::Button).rgb())),
                             transparentColor_);
  } else {
    image = WithTransparentColor(source, transparentColor_);
  }
  return image;
}

QRect TVxButtonGlyph::Draw(QPainter& painter, const QRect& client, const QString& caption,
                           TButtonLayout layout, int margin, int spacing, TVxButtonState state,
                           bool drawMark, const QPixmap& image) const {
  const QPixmap picture = image.isNull() ? StateImage(state) : StateImageOf(image, state);
  const QSize glyphSize = image.isNull() ? CellSize() : image.size();
  const TButtonLayoutResult lay =
      CalcButtonLayout(client, glyphSize, caption, painter.fontMetrics(), layout, margin, spacing,
                       drawMark, wordWrap_, alignment_);
  if (!picture.isNull()) painter.drawPixmap(lay.glyph.topLeft(), picture);
  const QPalette pal = QApplication::palette();
  const int flags = TextFlags(alignment_, wordWrap_);
  if (state == TVxButtonState::rbsDisabled) {
    painter.setPen(pal.color(QPalette::Light));
    painter.drawText(lay.text.translated(1, 1), flags, lay.caption);
    painter.setPen(pal.color(QPalette::Dark));
  } else {
    painter.setPen(pal.color(QPalette::ButtonText));
  }
  painter.drawText(lay.text, flags, lay.caption);
  if (drawMark) {
    QPoint at;
    if (layout != TButtonLayout::blGlyphLeft && !picture.isNull()) {
      at = QPoint(lay.glyph.left() + glyphSize.width() + 1, lay.glyph.center().y() - 2);
    } else if (!lay.caption.isEmpty()) {
      at = QPoint(lay.text.right() - 9 + 3, lay.text.center().y() - 2);
    } else {
      at = QPoint((client.left() + client.right() - 7) / 2, client.center().y() - 2);
    }
    if (state == TVxButtonState::rbsDisabled) {
      DrawMark(painter, at.x() + 1, at.y() + 1, pal.color(QPalette::Light));
      DrawMark(painter, at.x(), at.y(), pal.color(QPalette::Dark));
    } else {
      DrawMark(painter, at.x(), at.y(), pal.color(QPalette::ButtonText));
    }
  }
  return lay.text;
}

void TButtonImage::Draw(QPainter& painter, int x, int y, const QString& caption, const QFont& font,
                        TButtonLayout layout, int margin, int spacing, const QPixmap& image) {
  const QPalette pal = QApplication::palette();
  painter.save();
  QRect r(QPoint(x, y), ButtonSize);
  painter.fillRect(r, pal.color(QPalette::Button));
  QRect inner = DrawButtonFrame(painter, r, pal, false, false, true);
  painter.setFont(font);
  glyph_.Draw(painter, inner, caption, layout, margin, spacing, TVxButtonState::rbsUp, false,
              image);
  painter.restore();
}

QRect DrawButtonFrame(QPainter& p, const QRect& rect, const QPalette& pal, bool pressed, bool flat,
                      bool newStyle) {
  const QColor face = pal.color(QPalette::Button), light = pal.color(QPalette::Light),
               shadow = pal.color(QPalette::Dark), frame = pal.color(QPalette::Shadow);
  QRect r = rect;
  if (!pressed) {
    if (newStyle) {
      if (!flat) Frame3D(p, r, light, frame);
      Frame3D(p, r, flat ? light : face, shadow);
    } else if (flat) {
      Frame3D(p, r, light, frame);
    } else {
      Frame3D(p, r, frame, frame);
      Frame3D(p, r, light, shadow);
    }
  } else if (newStyle) {
    Frame3D(p, r, frame, light);
    if (!flat) Frame3D(p, r, shadow, face);
  } else if (flat) {
    Frame3D(p, r, frame, light);
  } else {
    Frame3D(p, r, frame, frame);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 2), shadow);
    p.fillRect(QRect(r.left(), r.top(), 2, r.height()), shadow);
  }
  return r.adjusted(1, 1, -1, -1);
}

TVxSpeedButton::TVxSpeedButton(QWidget* parent) : QAbstractButton(parent) {
  resize(25, 25);
  setFocusPolicy(Qt::NoFocus);
  setAutoRepeatDelay(500);
  setAutoRepeatInterval(100);
  setAttribute(Qt::WA_Hover);
  connect(this, &QAbstractButton::clicked, this, &TVxSpeedButton::AfterClick);
}

TVxSpeedButton::~TVxSpeedButton() = default;

QSize TVxSpeedButton::sizeHint() const { return {25, 25}; }

void TVxSpeedButton::SetAlignment(TAlignment value) {
  glyph_.SetAlignment(value);
  update();
}

void TVxSpeedButton::SetAllowAllUp(bool value) {
  if (allowAllUp_ == value) return;
  allowAllUp_ = value;
  NotifyGroup();
}

void TVxSpeedButton::SetGroupIndex(int value) {
  if (groupIndex_ == value) return;
  groupIndex_ = value;
  UpdateCheckable();
  NotifyGroup();
}

void TVxSpeedButton::UpdateCheckable() {
  setCheckable(groupIndex_ != 0);
  setChecked(down_);
}

void TVxSpeedButton::SetDown(bool value) {
  if (groupIndex_ == 0) value = false;
  if (value == down_) return;
  if (down_ && !allowAllUp_) return;
  down_ = value;
  setChecked(down_);
  if (value) NotifyGroup();
  update();
}

void TVxSpeedButton::NotifyGroup() {
  if (groupIndex_ == 0 || !parentWidget()) return;
  const auto buttons =
      parentWidget()->findChildren<TVxSpeedButton*>(QString(), Qt::FindDirectChildrenOnly);
  for (TVxSpeedButton* b : buttons) {
    if (b != this) b->ButtonPressed(groupIndex_, this);
  }
}

void TVxSpeedButton::ButtonPressed(int groupIndex, TVxSpeedButton* sender) {
  if (groupIndex != groupIndex_ || sender == this) return;
  if (sender->down_ && down_) {
    down_ = false;
    setChecked(false);
    update();
  }
  allowAllUp_ = sender->allowAllUp_;
}

void TVxSpeedButton::nextCheckState() {
  // A release inside toggles Down within the group's rules.
  SetDown(!down_);
  setChecked(down_);
}

void TVxSpeedButton::SetDropDownMenu(QMenu* menu) {
  menu_ = menu;
  update();
}

void TVxSpeedButton::SetFlat(bool value) {
  if (flat_ == value) return;
  flat_ = value;
  update();
}

void TVxSpeedButton::SetGlyph(const QPixmap& glyph) {
  glyph_.SetGlyph(glyph);
  update();
}

void TVxSpeedButton::SetNumGlyphs(int value) {
  glyph_.SetNumGlyphs(value);
  update();
}

void TVxSpeedButton::SetGrayedInactive(bool value) {
  grayedInactive_ = value;
  update();
}

void TVxSpeedButton::SetLayout(TButtonLayout value) {
  layout_ = value;
  update();
}

void TVxSpeedButton::SetMargin(int value) {
  if (value < -1 || value == margin_) return;
  margin_ = value;
  update();
}

void TVxSpeedButton::SetSpacing(int value) {
  spacing_ = value;
  update();
}

void TVxSpeedButton::SetMarkDropDown(bool value) {
  markDropDown_ = value;
  update();
}

void TVxSpeedButton::SetStyle(TButtonStyle value) {
  style_ = value;
  update();
}

void TVxSpeedButton::SetTransparent(bool value) {
  transparent_ = value;
  setAttribute(Qt::WA_NoSystemBackground, value);
  update();
}

void TVxSpeedButton::SetWordWrap(bool value) {
  glyph_.SetWordWrap(value);
  update();
}

TVxButtonState TVxSpeedButton::PaintState() const {
  if (!isEnabled()) return TVxButtonState::rbsDisabled;
  if (isDown() && !down_) return TVxButtonState::rbsDown;
  if (down_) return TVxButtonState::rbsExclusive;
  if (flat_ && !mouseInControl_) return TVxButtonState::rbsInactive;
  return TVxButtonState::rbsUp;
}

void TVxSpeedButton::PaintGlyph(QPainter& painter, const QRect& rect, TVxButtonState state,
                                bool drawMark) {
  glyph_.Draw(painter, rect, text(), layout_, margin_, spacing_, state, drawMark);
}

void TVxSpeedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette pal = palette();
  TVxButtonState state = TVxButtonState::rbsUp;
  if (!isEnabled()) {
    state = TVxButtonState::rbsDisabled;
  } else if (isDown()) {
    state = TVxButtonState::rbsDown;
  } else if (down_) {
    state = TVxButtonState::rbsExclusive;
  }
  const bool inactive = flat_ && !mouseInControl_;
  const TVxButtonState paintState = inactive ? TVxButtonState::rbsInactive : state;
  QRect r = rect();
  if (transparent_) {
    PaintParentImage(this, p);
  } else {
    p.fillRect(r, pal.color(QPalette::Button));
  }
  const bool pressed = state == TVxButtonState::rbsDown || state == TVxButtonState::rbsExclusive;
  if (inactive && state != TVxButtonState::rbsExclusive) {
    r.adjust(2, 2, -2, -2);
  } else {
    const bool newStyle = style_ != TButtonStyle::bsWin31;
    r = DrawButtonFrame(p, r, pal, pressed, flat_, newStyle);
  }
  if (state == TVxButtonState::rbsExclusive && !transparent_ && (!flat_ || inactive)) {
    p.fillRect(r.adjusted(-1, -1, 1, 1),
               QBrush(CreateTwoColorBrushPattern(pal.color(QPalette::Button),
                                                 pal.color(QPalette::Light))));
  }
  if (pressed) r.translate(1, 1);
  const TVxButtonState glyphState =
      (state == TVxButtonState::rbsDisabled || !grayedInactive_) ? state : paintState;
  p.setFont(font());
  PaintGlyph(p, r, glyphState, markDropDown_ && menu_);
}

bool TVxSpeedButton::hitButton(const QPoint& pos) const {
  return pos.x() >= 0 && pos.x() < width() && pos.y() >= 0 && pos.y() <= height();
}

void TVxSpeedButton::mousePressEvent(QMouseEvent* event) {
  if (menuTracking_) return;
  mouseInControl_ = true;
  if (event->button() == Qt::LeftButton && isEnabled() && menu_) {
    setDown(true);
    repaint();
    OpenDropDown();
    return;
  }
  QAbstractButton::mousePressEvent(event);
}

void TVxSpeedButton::OpenDropDown() {
  menuTracking_ = true;
  const QSize hint = menu_->sizeHint();
  const bool right = layoutDirection() == Qt::RightToLeft;
  QPoint local;
  if (menuPosition_ == TVxDropDownMenuPos::dmpBottom) {
    local = right ? QPoint(width() + 1 - hint.width(), height()) : QPoint(-1, height());
  } else {
    local = right ? QPoint(-1 - hint.width(), -1) : QPoint(width(), -1);
  }
  // The click that closes the menu on this button must not open it again.
  menu_->setAttribute(Qt::WA_NoMouseReplay);
  QPointer<TVxSpeedButton> self(this);
  // An item picked runs its own command; the button's is not run as well.
  bool picked = false;
  const QMetaObject::Connection pick =
      connect(menu_, &QMenu::triggered, this, [&picked] { picked = true; });
  ExecPopupMenu(*menu_, mapToGlobal(local));
  if (!self) return;
  disconnect(pick);
  menuTracking_ = false;
  setDown(false);
  update();
  // The press ends as a release does: a click only with the pointer still
  // on the button (the menu closed there, no item picked).
  if (!picked && rect().contains(mapFromGlobal(QCursor::pos()))) click();
}

void TVxSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  if (menuTracking_) return;
  QAbstractButton::mouseReleaseEvent(event);
  if (!flat_ || !rect().contains(event->position().toPoint())) {
    mouseInControl_ = underMouse();
  }
  update();
}

void TVxSpeedButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (down_ && !menuTracking_) {
    emit dblClick();
    return;
  }
  QAbstractButton::mouseDoubleClickEvent(event);
}

void TVxSpeedButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  if (!isEnabled() || mouseInControl_) return;
  mouseInControl_ = true;
  if (flat_) update();
  emit mouseEnter();
}

void TVxSpeedButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  if (!mouseInControl_ || isDown()) return;
  mouseInControl_ = false;
  if (flat_) update();
  emit mouseLeave();
}

void TVxSpeedButton::FollowPointer() {
  const bool inside = isVisible() && isEnabled() && QApplication::widgetAt(QCursor::pos()) == this;
  if (inside == mouseInControl_) return;
  mouseInControl_ = inside;
  update();
  if (inside)
    emit mouseEnter();
  else
    emit mouseLeave();
}

void TVxSpeedButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    glyph_.Invalidate();
  }
  if (event->type() == QEvent::EnabledChange) {
    mouseInControl_ = isEnabled() && underMouse();
    update();
  }
}

void TVxSpeedButton::AfterClick() {
  if (modalResult_ == 0) return;
  if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
}

}  // namespace velmaris
