#include "widgets/ComboEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyle>

#include "widgets/ModalHook.h"
#include "widgets/VxGraphics.h"
#include "widgets/logic/DateHelpers.h"
#include "widgets/logic/EditMask.h"

namespace velmaris {

QPixmap DropDownGlyph() {
  QImage img(7, 4, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  for (int row = 0; row < 4; ++row) {
    for (int x = row; x < 7 - row; ++x) img.setPixel(x, row, qRgba(0, 0, 0, 255));
  }
  return QPixmap::fromImage(img);
}

QPixmap EllipsisGlyph(int buttonWidth) {
  const int width = std::max(1, buttonWidth - 6);
  QImage img(width, 4, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  const int gap = std::clamp((width - 6) / 2, 1, 3);
  int x = (width - 6 - 2 * gap) / 2;
  for (int dot = 0; dot < 3; ++dot, x += gap + 2) {
    for (int dx = 0; dx < 2; ++dx) {
      for (int dy = 1; dy < 3; ++dy) {
        if (x + dx >= 0 && x + dx < width) img.setPixel(x + dx, dy, qRgba(0, 0, 0, 255));
      }
    }
  }
  return QPixmap::fromImage(img);
}

// ---- TPopupWindow ----

// The drop-down is a pop-up, as a combo box's list is: the window manager
// leaves it alone (no frame, no title, no focus of its own), and while it is
// open it holds the pointer and the keyboard, so its keys reach it wherever
// the pointer lies. The keys go on to the edit, which passes on to the
// drop-down what it uses; a press outside closes it.
TPopupWindow::TPopupWindow(TCustomComboEdit* edit)
    : QFrame(edit, Qt::Popup | Qt::FramelessWindowHint), edit_(edit) {
  setFocusPolicy(Qt::NoFocus);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  // A press outside is handed on by the pop-up itself (mousePressEvent).
  setAttribute(Qt::WA_NoMouseReplay);
  hide();
}

void TPopupWindow::ShowAt(const QPoint& screenPos) {
  move(screenPos);
  show();
}

void TPopupWindow::HideWindow() {
  hiding_ = true;
  hide();
  hiding_ = false;
}

void TPopupWindow::NotifyClose(bool accept) {
  if (OnCloseUp) OnCloseUp(this, accept);
}

bool TPopupWindow::PassKey(QKeyEvent* event) {
  const bool was = passing_;
  passing_ = true;
  const bool used = HandleKey(event);
  passing_ = was;
  return used;
}

void TPopupWindow::keyPressEvent(QKeyEvent* event) {
  event->ignore();
  // A key the edit passed on to a control in here and that went unused comes
  // back up to the pop-up: it is not handed round again.
  if (passing_) return;
  QCoreApplication::sendEvent(edit_, event);
}

void TPopupWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint global = event->globalPosition().toPoint();
  if (!rect().contains(event->position().toPoint())) {
    // A press on the edit's button closes the drop-down taking its value and
    // goes no further (handed on, it would open it again); a press anywhere
    // else closes it leaving the text alone and reaches what lies there.
    const QWidget* button = edit_->Button();
    const bool onButton =
        button->isVisible() && button->rect().contains(button->mapFromGlobal(global));
    NotifyClose(onButton);
    event->accept();
    if (!onButton && !isVisible()) ReplayPressOutsidePopup(*event);
    return;
  }
  QFrame::mousePressEvent(event);
}

void TPopupWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    NotifyClose(true);
}

// Closed by the window system (another pop-up opened, the program lost the
// pointer): the edit learns that its drop-down has gone, leaving its text.
void TPopupWindow::hideEvent(QHideEvent* event) {
  QFrame::hideEvent(event);
  if (!hiding_) NotifyClose(false);
}

// ---- TEditButton ----

TEditButton::TEditButton(TCustomComboEdit* edit) : TVxSpeedButton(edit), edit_(edit) {
  setObjectName(QStringLiteral("Button"));
  setCursor(Qt::ArrowCursor);
  SetLayout(TButtonLayout::blGlyphLeft);
}

void TEditButton::paintEvent(QPaintEvent* event) {
  TVxSpeedButton::paintEvent(event);
  if (isDown()) return;
  QPainter p(this);
  p.setPen(palette().color(QPalette::Button));
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(1, 1, 1, height() - 2);
}

void TEditButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (edit_->PopupVisible()) {
      // The press closes the open drop-down; the click that follows is swallowed.
      edit_->CloseDropDown(this, true);
      event->accept();
      return;
    }
    if ((edit_->focusPolicy() & Qt::TabFocus) && !edit_->hasFocus()) {
      edit_->setFocus(Qt::MouseFocusReason);
    }
  }
  TVxSpeedButton::mousePressEvent(event);
}

// ---- TCustomComboEdit ----

TCustomComboEdit::TCustomComboEdit(QWidget* parent) : QLineEdit(parent) {
  button_ = new TEditButton(this);
  connect(button_, &QAbstractButton::clicked, this, &TCustomComboEdit::DoClick);
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (suppressChange_) return;
    if (popupVisible_) {
      PopupChange();
    } else {
      emit change();
    }
  });
  resize(121, 21);
  PlaceButton();
}

TCustomComboEdit::~TCustomComboEdit() { qApp->removeEventFilter(this); }

void TCustomComboEdit::SetAlignment(TAlignment value) {
  alignment_ = value;
  Qt::Alignment a = Qt::AlignLeft;
  if (value == TAlignment::taRightJustify) a = Qt::AlignRight;
  if (value == TAlignment::taCenter) a = Qt::AlignHCenter;
  setAlignment(a | Qt::AlignVCenter);
}

QString TCustomComboEdit::ButtonHint() const { return button_->toolTip(); }
void TCustomComboEdit::SetButtonHint(const QString& hint) { button_->setToolTip(hint); }

void TCustomComboEdit::SetButtonWidth(int value) {
  if (value == buttonWidth_) return;
  buttonWidth_ = value;
  RebuildGlyph();
  PlaceButton();
}

void TCustomComboEdit::SetDirectInput(bool value) {
  directInput_ = value;
  UpdateInnerReadOnly();
}

void TCustomComboEdit::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  readOnly_ = value;
  UpdateInnerReadOnly();
}

void TCustomComboEdit::UpdateInnerReadOnly() {
  setReadOnly(readOnly_ || !directInput_ || popupVisible_);
}

const QPixmap& TCustomComboEdit::Glyph() const { return button_->Glyph(); }

void TCustomComboEdit::SetGlyph(const QPixmap& glyph) {
  glyphKind_ = TGlyphKind::gkCustom;
  button_->SetGlyph(glyph);
}

int TCustomComboEdit::NumGlyphs() const { return button_->NumGlyphs(); }

void TCustomComboEdit::SetNumGlyphs(int value) {
  if (glyphKind_ == TGlyphKind::gkDropDown || glyphKind_ == TGlyphKind::gkEllipsis) value = 1;
  if (glyphKind_ == TGlyphKind::gkDefault) value = DefaultNumGlyphs();
  button_->SetNumGlyphs(value);
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind value) {
  if (value == glyphKind_) return;
  glyphKind_ = value;
  RebuildGlyph();
  if (value == TGlyphKind::gkDefault && !button_->Glyph().isNull()) {
    buttonWidth_ = std::max(button_->Glyph().width() / button_->NumGlyphs() + 6, buttonWidth_);
  } else if (value == TGlyphKind::gkDropDown) {
    buttonWidth_ = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  }
  PlaceButton();
}

void TCustomComboEdit::RebuildGlyph() {
  switch (glyphKind_) {
    case TGlyphKind::gkDefault:
      button_->SetGlyph(DefaultGlyph());
      button_->SetNumGlyphs(DefaultNumGlyphs());
      break;
    case TGlyphKind::gkDropDown:
      button_->SetGlyph(DropDownGlyph());
      button_->SetNumGlyphs(1);
      break;
    case TGlyphKind::gkEllipsis:
      button_->SetGlyph(EllipsisGlyph(buttonWidth_));
      button_->SetNumGlyphs(1);
      break;
    case TGlyphKind::gkCustom: break;
  }
}

void TCustomComboEdit::SetEditMask(const QString& mask) {
  editMask_ = mask;
  setInputMask(
      QString::fromStdString(InputMaskOf(mask.toStdString(), CurrentDateLocale().separator)));
}

void TCustomComboEdit::PlaceButton() {
  const bool shown = buttonWidth_ >= 2;
  button_->setVisible(shown);
  const int w = shown ? std::min(buttonWidth_, width()) : 0;
  button_->setGeometry(width() - w - 2, 2, w, std::max(height() - 4, 1));
  setTextMargins(0, 0, shown ? w + 2 : 0, 0);
}

void TCustomComboEdit::SetPopup(TPopupWindow* popup) {
  popup_ = popup;
  if (popup_)
    popup_->OnCloseUp = [this](QObject* sender, bool accept) { CloseDropDown(sender, accept); };
}

void TCustomComboEdit::PutDropDownValue(const QVariant& value) {
  if (popup_) popup_->SetValue(value);
}

QVariant TCustomComboEdit::FetchDropDownValue() const {
  return popup_ ? popup_->GetValue() : QVariant(QString());
}

void TCustomComboEdit::TakeValue(const QVariant& value) {
  if (text() == value.toString()) return;
  setText(value.toString());
  setModified(true);
  RefreshPopupVisible();
  emit change();
}

void TCustomComboEdit::OpenDropDown(bool disableEdit) {
  if (!popup_ || readOnly_ || popupVisible_) return;
  const QRect screen =
      (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->geometry();
  const QSize size = popup_->size();
  QPoint p = mapToGlobal(QPoint(0, 0));
  int y = p.y() + height();
  if (y + size.height() > screen.bottom() + 1) y = p.y() - size.height();
  if (popupAlign_ == TPopupAlign::epaRight) {
    const int x = p.x() - (size.width() - width());
    if (x >= screen.left()) p.setX(x);
  } else if (p.x() + size.width() > screen.right() + 1) {
    p.setX(p.x() - (size.width() - width()));
  }
  p.setX(
      std::clamp(p.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
  PutDropDownValue(text().isEmpty() ? QVariant() : QVariant(text()));
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
  // Open before it shows: showing moves the keyboard to it.
  popupVisible_ = true;
  popup_->ShowAt(QPoint(p.x(), y));
  qApp->installEventFilter(this);
  if (disableEdit) UpdateInnerReadOnly();
}

void TCustomComboEdit::CloseDropDown(QObject* sender, bool accept) {
  if (!popup_ || !popupVisible_) return;
  qApp->removeEventFilter(this);
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  const QVariant value = FetchDropDownValue();
  popup_->HideWindow();
  if (focusPolicy() != Qt::NoFocus && isVisible()) setFocus(Qt::OtherFocusReason);
  popupVisible_ = false;
  UpdateInnerReadOnly();
  popupVisible_ = true;
  update();
  if (accept && MayAcceptValue(value) && CanModifyText()) {
    TakeValue(value);
    if (hasFocus() && directInput_) selectAll();
  }
  popupVisible_ = false;
}

void TCustomComboEdit::ButtonClick() {
  if (readOnly_) return;
  emit buttonClick();
  if (!popup_) return;
  if (popupVisible_) {
    CloseDropDown(this, true);
  } else {
    OpenDropDown(true);
  }
}

void TCustomComboEdit::DoClick() { ButtonClick(); }

void TCustomComboEdit::keyPressEvent(QKeyEvent* event) {
  if (!clickKey_.isEmpty() && buttonWidth_ > 0 &&
      QKeySequence(event->keyCombination()) == clickKey_) {
    DoClick();
    event->accept();
    return;
  }
  const int key = event->key();
  if (popupVisible_) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      CloseDropDown(this, key != Qt::Key_Escape);
      event->accept();
      return;
    }
    if (popup_ && popup_->PassKey(event)) return;
  }
  if (!directInput_ && (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut))) {
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::SelectAll) && !directInput_) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
  // Enter and Escape go on to the form (its default and cancel buttons).
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) event->ignore();
}

void TCustomComboEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && popup_) {
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    if (hasFocus() && popupVisible_) CloseDropDown(this, false);
  }
  QLineEdit::mousePressEvent(event);
}

void TCustomComboEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (autoSelect_ && event->reason() != Qt::MouseFocusReason && directInput_) selectAll();
}

void TCustomComboEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A focus moving into the drop-down's own window is no loss.
  if (popupVisible_ && event->reason() != Qt::PopupFocusReason &&
      event->reason() != Qt::ActiveWindowFocusReason) {
    CloseDropDown(this, false);
  }
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceButton();
}

void TCustomComboEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    button_->setEnabled(isEnabled());
  }
}

bool TCustomComboEdit::Inside(QObject* object) const {
  for (QObject* o = object; o; o = o->parent()) {
    if (o == this || o == popup_ || o == button_) return true;
  }
  return false;
}

bool TCustomComboEdit::eventFilter(QObject* watched, QEvent* event) {
  // A press anywhere else closes the drop-down, rejecting its value.
  if (popupVisible_ && event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
      !Inside(watched)) {
    CloseDropDown(watched, false);
  }
  return false;
}

void TCustomComboEdit::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  if (!directInput_ || readOnly_) {
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
