#include "widgets/VxSpin.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <cmath>

#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

// 6 x 6 arrow: a head 2, 4 and 6 pixels wide over a shaft 2 pixels wide.
QPixmap ArrowGlyph(bool up) {
  QImage img(6, 6, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  const int widths[6] = {2, 4, 6, 2, 2, 2};
  for (int row = 0; row < 6; ++row) {
    const int y = up ? row : 5 - row;
    const int w = widths[row];
    for (int x = (6 - w) / 2; x < (6 + w) / 2; ++x) img.setPixel(x, y, qRgba(0, 0, 0, 255));
  }
  return QPixmap::fromImage(img);
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

int DefaultButtonWidth() {
  return std::min(QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent), 15);
}

// ---- TVxSpinButton ----

TVxSpinButton::TVxSpinButton(QWidget* parent) : QWidget(parent) {
  upGlyph_ = ArrowGlyph(true);
  downGlyph_ = ArrowGlyph(false);
  resize(20, 20);
}

void TVxSpinButton::SetUpGlyph(const QPixmap& glyph) {
  upGlyph_ = glyph.isNull() ? ArrowGlyph(true) : glyph;
  invalid_ = true;
  update();
}

void TVxSpinButton::SetDownGlyph(const QPixmap& glyph) {
  downGlyph_ = glyph.isNull() ? ArrowGlyph(false) : glyph;
  invalid_ = true;
  update();
}

bool TVxSpinButton::InUpperHalf(QPoint p) const {
  if (width() <= 0) return true;
  return p.y() <= height() - double(height()) / width() * p.x();
}

QPixmap TVxSpinButton::DrawImage(TSpinButtonState state) const {
  const int w = width(), h = height();
  const QPalette pal = palette();
  const QColor face = pal.color(QPalette::Button), frame = pal.color(QPalette::Shadow),
               shadow = pal.color(QPalette::Dark), light = pal.color(QPalette::Light);
  const bool top = state == TSpinButtonState::sbTopDown;
  const bool bottom = state == TSpinButtonState::sbBottomDown;
  QPixmap img(w, h);
  img.fill(face);
  QPainter p(&img);
  p.setPen(frame);
  p.drawRect(0, 0, w - 1, h - 1);
  p.drawLine(-1, h, w, -1);
  p.setPen(top ? shadow : light);
  p.drawPolyline(QPolygon({QPoint(1, h - 4), QPoint(1, 1), QPoint(w - 3, 1)}));
  if (!top) {
    p.setPen(shadow);
    p.drawLine(1, h - 3, w - 2, 0);
  }
  p.setPen(bottom ? light : shadow);
  p.drawPolyline(QPolygon({QPoint(2, h - 2), QPoint(w - 2, h - 2), QPoint(w - 2, 1)}));
  p.setPen(bottom ? shadow : light);
  p.drawLine(2, h - 2, w - 1, 1);
  const int d = top ? 2 : 1;
  p.drawPixmap(Round(w / 4.0 - upGlyph_.width() / 2.0) + d,
               Round(h / 4.0 - upGlyph_.height() / 2.0) + d, upGlyph_);
  p.drawPixmap(Round(3 * w / 4.0 - downGlyph_.width() / 2.0) - 1,
               Round(3 * h / 4.0 - downGlyph_.height() / 2.0) - 1, downGlyph_);
  if (bottom) {
    p.setPen(shadow);
    p.drawLine(3, h - 2, w - 1, 2);
  }
  return img;
}

void TVxSpinButton::paintEvent(QPaintEvent*) {
  if (!isEnabled()) dragging_ = false;
  if (invalid_ || images_[0].size() != size()) {
    for (int i = 0; i < 3; ++i) images_[i] = DrawImage(static_cast<TSpinButtonState>(i));
    invalid_ = false;
  }
  QPainter p(this);
  p.drawPixmap(0, 0, images_[static_cast<size_t>(state_)]);
}

void TVxSpinButton::FireClick(TSpinButtonState half) {
  if (half == TSpinButtonState::sbTopDown) {
    emit topClick();
  } else {
    emit bottomClick();
  }
  if (!dragging_) state_ = TSpinButtonState::sbNotDown;
}

void TVxSpinButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  if (focusControl_ && focusControl_->focusPolicy() & Qt::TabFocus && !focusControl_->hasFocus()) {
    focusControl_->setFocus(Qt::MouseFocusReason);
  }
  if (state_ == TSpinButtonState::sbNotDown) {
    lastPressed_ = TSpinButtonState::sbNotDown;
    const auto half = InUpperHalf(event->position().toPoint()) ? TSpinButtonState::sbTopDown
                                                               : TSpinButtonState::sbBottomDown;
    state_ = half;
    dragging_ = true;
    lastPressed_ = half;
    repaint();
    FireClick(half);
    if (!repeat_) {
      repeat_ = new QTimer(this);
      connect(repeat_, &QTimer::timeout, this, &TVxSpinButton::TimerTick);
    }
    repeat_->start(400);
  }
  dragging_ = true;
}

void TVxSpinButton::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint p = event->position().toPoint();
  TSpinButtonState next = TSpinButtonState::sbNotDown;
  if (p.x() >= 0 && p.x() <= width() && p.y() >= 0 && p.y() <= height()) {
    const auto half = InUpperHalf(p) ? TSpinButtonState::sbTopDown : TSpinButtonState::sbBottomDown;
    next = half == lastPressed_ ? half : TSpinButtonState::sbNotDown;
  }
  if (next != state_) {
    state_ = next;
    update();
  }
}

void TVxSpinButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) return;
  dragging_ = false;
  if (repeat_) repeat_->stop();
  if (rect().adjusted(0, 0, 1, 1).contains(event->position().toPoint())) {
    state_ = lastPressed_ = TSpinButtonState::sbNotDown;
    update();
  }
}

void TVxSpinButton::TimerTick() {
  repeat_->setInterval(100);
  if (state_ != TSpinButtonState::sbNotDown && dragging_) FireClick(state_);
}

void TVxSpinButton::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
    invalid_ = true;
    update();
  }
}

// ---- TVxUpDown ----

TVxUpDown::TVxUpDown(QWidget* parent) : QWidget(parent) {
  connect(&repeat_, &QTimer::timeout, this, [this] {
    repeat_.setInterval(100);
    if (pressed_) emit clicked(pressed_ > 0 ? TUDBtnType::btNext : TUDBtnType::btPrev);
  });
}

QSize TVxUpDown::sizeHint() const { return {DefaultButtonWidth(), 20}; }

void TVxUpDown::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int half = height() / 2;
  for (int i = 0; i < 2; ++i) {
    QStyleOption opt;
    opt.initFrom(this);
    opt.rect = QRect(0, i * half, width(), i ? height() - half : half);
    const bool down = (i == 0 && pressed_ > 0) || (i == 1 && pressed_ < 0);
    if (down) opt.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
    style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                           &opt, &p, this);
  }
}

void TVxUpDown::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = event->position().y() < height() / 2 ? 1 : -1;
  update();
  emit clicked(pressed_ > 0 ? TUDBtnType::btNext : TUDBtnType::btPrev);
  repeat_.start(400);
}

void TVxUpDown::mouseReleaseEvent(QMouseEvent*) {
  pressed_ = 0;
  repeat_.stop();
  update();
}

// ---- TVxSpinEdit ----

TVxSpinEdit::TVxSpinEdit(QWidget* parent) : QLineEdit(parent) {
  setText(QStringLiteral("0"));
  // The button's room follows the edit's height: an edit made without a
  // parent starts as large as a window, and would ask for that room (in its
  // minimum width) until a layout sized it, which a page never shown never does.
  resize(sizeHint());
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (!changing_) emit change();
  });
  RecreateButton();
}

TVxSpinEdit::~TVxSpinEdit() { changing_ = true; }

char TVxSpinEdit::DecimalSeparator() const {
  const QString point = locale().decimalPoint();
  return point.isEmpty() ? '.' : point[0].toLatin1();
}

long double TVxSpinEdit::Value() const {
  return ParseSpinValue(text().toStdString(), valueType_, DecimalSeparator(), range_.minValue);
}

void TVxSpinEdit::SetValue(long double value) {
  setText(QString::fromStdString(
      FormatSpinValue(ClampValue(value), valueType_, decimal_, DecimalSeparator())));
}

int TVxSpinEdit::GetAsInteger() const {
  const long double v = std::trunc(Value());
  if (v >= 2147483647.0L) return 2147483647;
  if (v <= -2147483648.0L) return -2147483647 - 1;
  return static_cast<int>(v);
}

long double TVxSpinEdit::ClampValue(long double value) const {
  return velmaris::ClampValue(value, range_);
}

void TVxSpinEdit::SetDecimal(int value) {
  if (value == decimal_) return;
  decimal_ = value;
  SetValue(Value());
}

void TVxSpinEdit::SetValueType(TValueType value) {
  if (value == valueType_) return;
  valueType_ = value;
  SetValue(Value());
  if (value == TValueType::vtInteger) increment_ = IntegerIncrement(increment_);
}

void TVxSpinEdit::SetAlignment(TAlignment value) {
  alignment_ = value;
  switch (value) {
    case TAlignment::taRightJustify: setAlignment(Qt::AlignRight | Qt::AlignVCenter); break;
    case TAlignment::taCenter: setAlignment(Qt::AlignHCenter | Qt::AlignVCenter); break;
    default: setAlignment(Qt::AlignLeft | Qt::AlignVCenter); break;
  }
}

void TVxSpinEdit::SetButtonKind(TSpinButtonKind value) {
  if (value == buttonKind_) return;
  buttonKind_ = value;
  RecreateButton();
}

void TVxSpinEdit::RecreateButton() {
  delete button_;
  delete upDown_;
  button_ = nullptr;
  upDown_ = nullptr;
  if (buttonKind_ == TSpinButtonKind::bkDiagonal) {
    button_ = new TVxSpinButton(this);
    button_->setObjectName(QStringLiteral("Button"));
    button_->SetFocusControl(this);
    button_->setCursor(Qt::ArrowCursor);
    connect(button_, &TVxSpinButton::topClick, this, &TVxSpinEdit::StepUp);
    connect(button_, &TVxSpinButton::bottomClick, this, &TVxSpinEdit::StepDown);
  } else {
    upDown_ = new TVxUpDown(this);
    upDown_->setObjectName(QStringLiteral("UpDown"));
    upDown_->setCursor(Qt::ArrowCursor);
    connect(upDown_, &TVxUpDown::clicked, this, [this](TUDBtnType b) {
      if (focusPolicy() & Qt::TabFocus) setFocus(Qt::MouseFocusReason);
      if (b == TUDBtnType::btNext) {
        StepUp();
      } else {
        StepDown();
      }
    });
  }
  PlaceButton();
  (button_ ? static_cast<QWidget*>(button_) : upDown_)->show();
}

void TVxSpinEdit::PlaceButton() {
  const int inner = std::max(height() - 4, 1);
  int w = DefaultButtonWidth();
  if (button_) {
    w = inner;
    button_->setGeometry(width() - inner - 2, 2, inner, inner);
  } else if (upDown_) {
    upDown_->setGeometry(width() - w - 2, 2, w, inner);
  }
  setTextMargins(0, 0, w + 2, 0);
}

void TVxSpinEdit::Step(long double delta, bool up) {
  if (isReadOnly()) {
    QApplication::beep();
    return;
  }
  changing_ = true;
  const QString old = text();
  SetValue(Value() + delta);
  changing_ = false;
  if (old.compare(text(), Qt::CaseInsensitive) != 0) {
    setModified(true);
    emit change();
  }
  if (up) {
    emit topClick();
  } else {
    emit bottomClick();
  }
}

void TVxSpinEdit::StepUp() { Step(increment_, true); }
void TVxSpinEdit::StepDown() { Step(-increment_, false); }

bool TVxSpinEdit::AcceptsChar(QChar c) const {
  if (c.unicode() > 255) return false;
  return SpinAcceptsChar(static_cast<char>(c.unicode()), text().toStdString(), valueType_,
                         DecimalSeparator(), editorEnabled_);
}

void TVxSpinEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (arrowKeys_ && (key == Qt::Key_Up || key == Qt::Key_Down) &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    if (key == Qt::Key_Up) {
      StepUp();
    } else {
      StepDown();
    }
    event->accept();
    return;
  }
  if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) &&
      EditingRefused()) {
    event->accept();
    return;
  }
  const QString typed = event->text();
  if (typed.size() == 1 && typed[0].unicode() != 127 && !AcceptsChar(typed[0])) {
    QApplication::beep();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
  // Enter and Escape go on to the form (its default and cancel buttons).
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) event->ignore();
}

void TVxSpinEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (autoSelect_ && event->reason() != Qt::MouseFocusReason) selectAll();
}

void TVxSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  const long double value = Value();
  if (ClampValue(value) != value) SetValue(value);
}

void TVxSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceButton();
}

void TVxSpinEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) PlaceButton();
}

void TVxSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  if (EditingRefused()) {
    for (QAction* action : menu->actions()) {
      if (action->objectName() == QLatin1String("edit-paste") ||
          action->objectName() == QLatin1String("edit-cut")) {
        action->setEnabled(false);
      }
    }
  }
  ExecPopupMenu(*menu, event->globalPos());
}

}  // namespace velmaris
