#include "widgets/VxColorButton.h"

#include <QApplication>
#include <QColorDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include "widgets/IniStorages.h"
#include "widgets/ModalHook.h"
#include "widgets/VxGraphics.h"
#include "widgets/VxSpeedButton.h"

namespace velmaris {

namespace {

constexpr int kCell = 18;

}  // namespace

// ---------------------------------------------------------------- button

TVxColorButton::TVxColorButton(QWidget* parent) : QPushButton(parent) {
  resize(45, 22);
  for (int i = 1; i <= customColors_.Count(); ++i) customColors_.SetElement(i, 0xFFFFFF);
  setAttribute(Qt::WA_Hover);
  connect(this, &QPushButton::clicked, this, [this] {
    Press(pressX_);
    pressX_ = 0;
  });
}

TVxColorButton::~TVxColorButton() {
  if (palette_) {
    palette_->OnClosed = nullptr;
    delete palette_;
  }
  WriteCustomColors();
}

void TVxColorButton::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  paletteIndex_ = 0;
  for (int i = 1; i <= paletteColors_.Count(); ++i) {
    if (paletteColors_.Element(i) == color) {
      paletteIndex_ = i;
      break;
    }
  }
  update();
  emit colorChange();
}

void TVxColorButton::SetPaletteIndex(int index) {
  if (index < 0 || index > paletteColors_.Count() || index == paletteIndex_) return;
  paletteIndex_ = index;
  color_ = index == 0 ? OtherColor : paletteColors_.Element(index);
  update();
  emit colorChange();
}

void TVxColorButton::SetFlat(bool value) {
  flat_ = value;
  update();
}

QString TVxColorButton::QualifiedName() const {
  return parentWidget() ? parentWidget()->objectName() + "." + objectName() : objectName();
}

void TVxColorButton::Loaded() {
  if (!colorsLoaded_) ReadCustomColors();
}

void TVxColorButton::showEvent(QShowEvent* event) {
  if (!colorsLoaded_) ReadCustomColors();
  QPushButton::showEvent(event);
}

void TVxColorButton::ReadCustomColors() {
  colorsLoaded_ = true;
  if (CustomColorsKey.isEmpty()) return;
  TRegIniFile reg(CustomColorsKey.toStdString());
  CustomColorsFromText(reg.ReadString("Colors", QualifiedName().toStdString(), ""), customColors_);
}

void TVxColorButton::WriteCustomColors() const {
  if (CustomColorsKey.isEmpty()) return;
  TRegIniFile reg(CustomColorsKey.toStdString());
  reg.WriteString("Colors", QualifiedName().toStdString(), CustomColorsToText(customColors_));
}

void TVxColorButton::mousePressEvent(QMouseEvent* event) {
  pressX_ = event->position().toPoint().x();
  ignoreNextClick_ = closingPress_ && *closingPress_ == event->timestamp();
  closingPress_.reset();
  QPushButton::mousePressEvent(event);
}

void TVxColorButton::Press(int x) {
  if (ignoreNextClick_) {
    ignoreNextClick_ = false;
    return;
  }
  if (CycleColors && x <= width() - 13) {
    SetPaletteIndex(paletteIndex_ >= paletteColors_.Count() ? 0 : paletteIndex_ + 1);
    return;
  }
  DropDown();
}

void TVxColorButton::DropDown() {
  if (palette_) return;
  auto* pal = new TVxColorButtonPalette(this);
  palette_ = pal;
  pal->ShowColorHints = ShowColorHints;
  pal->OtherButton()->setText(OtherBtnCaption);
  pal->OtherColor = OtherColor;
  pal->PaletteColors = paletteColors_;
  pal->CustomColors = customColors_;
  pal->OnGetColorHintText = OnGetColorHintText;
  pal->SetCurrentColor(color_);
  pal->OnSelect = [this](bool isOther, TColor c) {
    if (isOther) OtherColor = c;
    SetColor(c);
  };
  pal->OnClosed = [this](bool byKey) { PaletteClosed(byKey); };
  const QScreen* screen = this->screen();
  const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
  QPoint at = mapToGlobal(QPoint(0, height()));
  if (at.y() + pal->height() > work.bottom() + 1)
    at.setY(mapToGlobal(QPoint(0, 0)).y() - pal->height());
  at.setX(std::max(at.x(), work.left()));
  if (at.x() + pal->width() > work.right() + 1) at.setX(work.right() + 1 - 78);
  pal->move(at);
  update();
  pal->show();
  pal->setFocus(Qt::PopupFocusReason);
}

void TVxColorButton::PaletteClosed(bool byKey) {
  // Should the press that closed the palette still reach the button (handed
  // on after the pop-up), the click it makes must not open it again.
  if (!byKey && palette_ && palette_->ClosedByOwnerPress())
    closingPress_ = palette_->OwnerPressTime();
  if (palette_) customColors_ = palette_->CustomColors;
  palette_ = nullptr;
  update();
}

void TVxColorButton::ClosePalette() {
  if (palette_) palette_->close();
}

void TVxColorButton::enterEvent(QEnterEvent* event) {
  mouseInside_ = true;
  if (flat_) update();
  QPushButton::enterEvent(event);
}

void TVxColorButton::leaveEvent(QEvent* event) {
  mouseInside_ = false;
  if (flat_) update();
  QPushButton::leaveEvent(event);
}

void TVxColorButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette pal = palette();
  const bool down = isDown() || DroppedDown();
  const bool flatNow = flat_ && !mouseInside_ && !hasFocus();
  QRect r = rect();
  p.fillRect(r, pal.color(QPalette::Button));
  if (!flatNow) r = DrawButtonFrame(p, r, pal, down, false, true);
  if (down) r.translate(1, 1);
  r.adjust(3, 3, -3, -3);
  if (hasFocus() && isDefault()) {
    p.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
    p.drawRect(r.adjusted(-1, -1, 0, 0));
  }
  QRect swatch = r.adjusted(2, 1, -12, -1);
  p.setPen(pal.color(QPalette::Shadow));
  if (isEnabled()) {
    p.setBrush(ToQColor(color_, pal));
  } else {
    p.setBrush(QBrush(pal.color(QPalette::Shadow), Qt::BDiagPattern));
  }
  p.drawRect(swatch.adjusted(0, 0, -1, -1));
  const int sepX = swatch.right() + 3;
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(sepX, r.top(), sepX, r.bottom());
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(sepX + 1, r.top(), sepX + 1, r.bottom());
  const int ax = sepX + 3, ay = r.center().y() - 1;
  p.setPen(Qt::NoPen);
  p.setBrush(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  const QPoint arrow[3] = {QPoint(ax, ay), QPoint(ax + 5, ay), QPoint(ax + 2, ay + 3)};
  p.drawPolygon(arrow, 3);
}

// ---------------------------------------------------------------- palette

// The palette is a pop-up, as a drop-down list is: the window manager
// leaves it alone (no frame moves it off the button), it holds the pointer
// and the keyboard while it is open, and a press anywhere outside closes it.
TVxColorButtonPalette::TVxColorButtonPalette(QWidget* parent) : QWidget(parent, Qt::Popup) {
  setObjectName("VxColorButtonPalette");
  setAttribute(Qt::WA_DeleteOnClose);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  // A press outside is handed on by the palette itself (mousePressEvent).
  setAttribute(Qt::WA_NoMouseReplay);
  btnOther_ = new QPushButton("&Other", this);
  btnOther_->setObjectName("btnOther");
  btnOther_->setGeometry(2, 98, 50, 20);
  // The palette sees the keys first, whichever of its controls has the focus.
  btnOther_->installEventFilter(this);
  setFixedSize(72, btnOther_->geometry().bottom() + 1 + 2);
  connect(btnOther_, &QPushButton::clicked, this, &TVxColorButtonPalette::OtherClick);
  qApp->installEventFilter(this);
}

bool TVxColorButtonPalette::eventFilter(QObject* watched, QEvent* event) {
  if (inOtherDialog_ || closing_) return false;
  if (event->type() == QEvent::ApplicationDeactivate) {
    close();
  } else if (watched == btnOther_ && event->type() == QEvent::KeyPress) {
    if (HandleKey(static_cast<QKeyEvent*>(event)->key())) return true;
  }
  return false;
}

void TVxColorButtonPalette::mousePressEvent(QMouseEvent* event) {
  const bool outside = !rect().contains(event->position().toPoint());
  if (outside) {
    // A press on the button that opened the palette only closes it: it is
    // not handed on to the button, which would open the palette again.
    const QPoint global = event->globalPosition().toPoint();
    const QWidget* owner = parentWidget();
    closedByOwnerPress_ = owner && owner->rect().contains(owner->mapFromGlobal(global));
    ownerPressTime_ = event->timestamp();
  }
  QWidget::mousePressEvent(event);
  // A press anywhere else closes it and reaches what lies there.
  if (outside && !closedByOwnerPress_ && !isVisible()) ReplayPressOutsidePopup(*event);
}

TVxColorButtonPalette::~TVxColorButtonPalette() {
  qApp->removeEventFilter(this);
  if (!closing_ && OnClosed) OnClosed(closedByKey_);
}

// A system colour (the window text, say) opens the palette on the swatch
// that looks the same, so the arrows start where the eye does.
void TVxColorButtonPalette::SetCurrentColor(TColor color) {
  const TPaletteCell cell =
      PaletteCellOf(PaletteColors, color, FromQColor(ToQColor(color, palette())));
  if (cell.y == 0) OtherColor = color;
  Select(cell);
}

void TVxColorButtonPalette::Select(TPaletteCell cell) {
  if (!cell.Valid()) return;
  selected_ = cell;
  update();
}

TColor TVxColorButtonPalette::CellColor(TPaletteCell cell) const {
  return cell.y == 0 ? OtherColor : PaletteColors.Color(cell.x, cell.y);
}

QRect TVxColorButtonPalette::CellRect(TPaletteCell cell) const {
  if (cell.y == 0) {
    const QRect b = btnOther_->geometry();
    return QRect(width() - 19, b.top() + (b.height() - 16) / 2 - 1, kCell, kCell);
  }
  return QRect((cell.x - 1) * kCell, (cell.y - 1) * kCell, kCell, kCell);
}

QString TVxColorButtonPalette::HintText(TPaletteCell cell) {
  if (!cell.Valid()) return {};
  const TColor c = FromQColor(ToQColor(CellColor(cell), palette()));
  QString hint = QString::fromStdString(ColorHintText(c));
  if (OnGetColorHintText) OnGetColorHintText(this, CellColor(cell), cell.x, cell.y, hint);
  return hint;
}

void TVxColorButtonPalette::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Button));
  auto cell = [&](TPaletteCell c) {
    QRect r = CellRect(c);
    auto frame = [&](const QColor& tl, const QColor& br) {
      p.setPen(tl);
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(br);
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
      r.adjust(1, 1, -1, -1);
    };
    r.adjust(0, 0, -1, -1);
    if (c == selected_) {
      frame(pal.color(QPalette::Shadow), pal.color(QPalette::Shadow));
      frame(pal.color(QPalette::Light), pal.color(QPalette::Light));
      frame(pal.color(QPalette::Shadow), pal.color(QPalette::Shadow));
    } else {
      frame(pal.color(QPalette::Button), pal.color(QPalette::Button));
      frame(pal.color(QPalette::Dark), pal.color(QPalette::Light));
      frame(pal.color(QPalette::Shadow), pal.color(QPalette::Midlight));
    }
    p.fillRect(r.adjusted(0, 0, 1, 1), ToQColor(CellColor(c), pal));
  };
  for (int y = 1; y <= 5; ++y)
    for (int x = 1; x <= 4; ++x) cell({x, y});
  cell({0, 0});
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(2, 93, width() - 2, 93);
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(2, 94, width() - 2, 94);
}

void TVxColorButtonPalette::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  Select(PaletteCellAt(pos.x(), pos.y(), width()));
}

void TVxColorButtonPalette::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const TPaletteCell c = PaletteCellAt(pos.x(), pos.y(), width());
  if (c.Valid()) Choose(c, false);
}

void TVxColorButtonPalette::Choose(TPaletteCell cell, bool byKey) {
  if (OnSelect && cell.Valid()) OnSelect(cell.y == 0, CellColor(cell));
  closedByKey_ = byKey;
  close();
}

bool TVxColorButtonPalette::HandleKey(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: Choose(selected_, true); return true;
    case Qt::Key_Escape:
      closedByKey_ = true;
      close();
      return true;
    case Qt::Key_Left: Select(MovePaletteSelection(selected_, TPaletteKey::Left)); return true;
    case Qt::Key_Right: Select(MovePaletteSelection(selected_, TPaletteKey::Right)); return true;
    case Qt::Key_Up: Select(MovePaletteSelection(selected_, TPaletteKey::Up)); return true;
    case Qt::Key_Down: Select(MovePaletteSelection(selected_, TPaletteKey::Down)); return true;
    default: return false;
  }
}

void TVxColorButtonPalette::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event->key())) QWidget::keyPressEvent(event);
}

// The colour dialog takes the input of the whole program: the pop-up steps
// aside (it would hold the pointer) and comes back when the dialog is
// cancelled.
void TVxColorButtonPalette::OtherClick() {
  inOtherDialog_ = true;
  hide();
  QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  QColorDialog dialog(ToQColor(OtherColor, palette()), owner);
  dialog.setOption(QColorDialog::DontUseNativeDialog, true);
  for (int y = 1; y <= 2; ++y)
    for (int x = 1; x <= 8; ++x)
      QColorDialog::setCustomColor((y - 1) * 8 + (x - 1),
                                   ToQColor(CustomColors.Color(x, y), palette()));
  const bool ok = ExecModal(dialog) == QDialog::Accepted;
  if (ok) {
    OtherColor = FromQColor(dialog.currentColor());
    for (int y = 1; y <= 2; ++y)
      for (int x = 1; x <= 8; ++x)
        CustomColors.SetColor(x, y, FromQColor(QColorDialog::customColor((y - 1) * 8 + (x - 1))));
  }
  inOtherDialog_ = false;
  if (ok) {
    if (OnSelect) OnSelect(true, OtherColor);
    close();
  } else {
    show();
    setFocus(Qt::PopupFocusReason);
  }
}

void TVxColorButtonPalette::closeEvent(QCloseEvent* event) {
  if (inOtherDialog_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
  if (!closing_) {
    closing_ = true;
    if (OnClosed) OnClosed(closedByKey_);
  }
}

bool TVxColorButtonPalette::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const TPaletteCell c = PaletteCellAt(help->pos().x(), help->pos().y(), width());
    const QString hint = ShowColorHints ? HintText(c) : QString();
    if (hint.isEmpty()) {
      QToolTip::hideText();
    } else {
      const QRect r = CellRect(c);
      QToolTip::showText(mapToGlobal(QPoint(r.left(), r.bottom() + 8)), hint, this, r);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace velmaris
