#include "widgets/DateEdit.h"

#include <QKeyEvent>
#include <QPainter>

#include "platform/Prompter.h"

namespace velmaris {

namespace {

// Two 14 x 12 calendar leaves side by side: enabled and disabled.
QPixmap CalendarGlyph() {
  QPixmap pm(28, 12);
  pm.fill(QColor(255, 0, 255));
  QPainter p(&pm);
  for (int i = 0; i < 2; ++i) {
    const int x = i * 14;
    const QColor ink = i ? QColor(128, 128, 128) : QColor(0, 0, 0);
    p.fillRect(x + 1, 1, 12, 10, i ? QColor(192, 192, 192) : QColor(255, 255, 255));
    p.fillRect(x + 1, 1, 12, 3, i ? QColor(128, 128, 128) : QColor(128, 0, 0));
    p.setPen(ink);
    p.drawRect(x + 1, 1, 11, 10);
    for (int gx = x + 3; gx < x + 12; gx += 3) p.drawLine(gx, 5, gx, 9);
    p.drawLine(x + 2, 7, x + 11, 7);
  }
  p.end();
  return pm;
}

}  // namespace

TCustomDateEdit::TCustomDateEdit(QWidget* parent) : TCustomComboEdit(parent) {
  popupColor_ = palette().color(QPalette::Button);
  SetPopup(NewPopupCalendar(this));
  SetGlyphKind(TGlyphKind::gkDefault);
}

QPixmap TCustomDateEdit::DefaultGlyph() const {
  static const QPixmap glyph = CalendarGlyph();
  return glyph;
}

char TCustomDateEdit::Separator() const { return CurrentDateLocale().separator; }

QString TCustomDateEdit::DateText() const { return inputMask().isEmpty() ? text() : displayText(); }

bool TCustomDateEdit::FourDigitYear() const {
  switch (yearDigits_) {
    case TYearDigits::dyFour: return true;
    case TYearDigits::dyTwo: return false;
    default: return velmaris::FourDigitYearFormat();
  }
}

TDateTime TCustomDateEdit::GetDate() const {
  return TextToDateDef(dateFormat_.toStdString(), DateText().toStdString(),
                       DefaultToday ? Today() : EmptyDate);
}

void TCustomDateEdit::SetDate(TDateTime value) {
  const TDateTime before = GetDate();
  if (!IsValidDateValue(value) || value == EmptyDate) value = DefaultToday ? Today() : EmptyDate;
  setText(value == EmptyDate ? QString()
                             : QString::fromStdString(FormatDateByPattern(
                                   value, dateFormat_.toStdString(), Separator())));
  setModified(GetDate() != before);
}

void TCustomDateEdit::ApplyDate(TDateTime value) {
  SetDate(value);
  if (DirectInput()) selectAll();
}

void TCustomDateEdit::CheckDate() {
  if (IsBlankDateText(DateText().toStdString(), Separator(), blanksChar_.toLatin1())) return;
  try {
    const TDateTime date = TextToDate(dateFormat_.toStdString(), DateText().toStdString());
    suppressChange_ = true;
    SetDate(date);
    suppressChange_ = false;
  } catch (const EConvertError&) {
    suppressChange_ = false;
    if (focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
    throw;
  }
}

void TCustomDateEdit::RefreshMask() {
  const TDateTime date = GetDate();
  const bool four = FourDigitYear();
  dateFormat_ = QString::fromStdString(DefaultDateFormat(four)).left(10);
  const QString mask = QString::fromStdString(DefaultDateMask(blanksChar_.toLatin1(), four));
  if (mask != EditMask()) {
    SetEditMask(QString());
    SetEditMask(mask);
  }
  Configure();
  SetDate(date);
}

void TCustomDateEdit::Configure() {
  ConfigurePopupCalendar(Popup(), startOfWeek_, weekends_, weekendColor_, hints_, FourDigitYear());
  if (Popup()) {
    QPalette pal = Popup()->palette();
    pal.setColor(QPalette::Window, popupColor_);
    Popup()->setPalette(pal);
    Popup()->setAutoFillBackground(true);
  }
}

void TCustomDateEdit::SetBlanksChar(QChar value) {
  if (value.unicode() < 32) value = u' ';
  if (value == blanksChar_) return;
  blanksChar_ = value;
  RefreshMask();
}

void TCustomDateEdit::SetCalendarHints(QStringList hints) {
  while (hints.size() > 4) hints.removeLast();
  hints_ = hints;
  Configure();
}

void TCustomDateEdit::SetCalendarStyle(TCalendarStyle value) {
  if (value == calendarStyle_) return;
  calendarStyle_ = value;
  if (value == TCalendarStyle::csPopup) {
    if (!Popup()) SetPopup(NewPopupCalendar(this));
    Configure();
  } else {
    delete Popup();
    SetPopup(nullptr);
  }
}

QColor TCustomDateEdit::PopupColor() const { return popupColor_; }

void TCustomDateEdit::SetPopupColor(const QColor& color) {
  popupColor_ = color;
  Configure();
}

void TCustomDateEdit::SetStartOfWeek(TDayOfWeekName value) {
  startOfWeek_ = value;
  Configure();
}

void TCustomDateEdit::SetWeekends(TDaysOfWeek value) {
  weekends_ = value;
  Configure();
}

void TCustomDateEdit::SetWeekendColor(const QColor& value) {
  weekendColor_ = value;
  Configure();
}

void TCustomDateEdit::SetYearDigits(TYearDigits value) {
  if (value == yearDigits_) return;
  yearDigits_ = value;
  RefreshMask();
}

void TCustomDateEdit::PutDropDownValue(const QVariant&) {
  if (!Popup()) return;
  Popup()->SetValue(
      QVariant(TextToDateDef(dateFormat_.toStdString(), DateText().toStdString(), Today())));
}

void TCustomDateEdit::TakeValue(const QVariant& value) {
  TDateTime date = value.canConvert<double>() ? value.toDouble() : EmptyDate;
  if (!IsValidDateValue(date)) date = DefaultToday ? Today() : EmptyDate;
  if (OnAcceptDate) {
    bool action = true;
    OnAcceptDate(this, date, action);
    if (!action) return;
  }
  SetDate(date);
  RefreshPopupVisible();
  if (isModified()) emit change();
}

void TCustomDateEdit::ButtonClick() {
  TCustomComboEdit::ButtonClick();
  if (calendarStyle_ != TCalendarStyle::csDialog || ReadOnly()) return;
  TDateTime date = GetDate();
  const bool picked = SelectDate(date, DialogTitle, startOfWeek_, weekends_, weekendColor_, hints_);
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
  if (!picked) return;
  if (OnAcceptDate) {
    bool action = true;
    OnAcceptDate(this, date, action);
    if (!action) return;
  }
  SetDate(date);
  if (hasFocus()) selectAll();
}

void TCustomDateEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  const bool plusMinus = key == Qt::Key_Plus || key == Qt::Key_Minus;
  if (PopupVisible() && Popup()) {
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Left ||
        key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down || (keypad && plusMinus)) {
      Popup()->PassKey(event);
      event->accept();
      return;
    }
  } else if (keypad && plusMinus && DirectInput() &&
             !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
    TDateTime date = GetDate();
    if (date == EmptyDate) date = NowDateTime();
    ApplyDate(date + (key == Qt::Key_Plus ? 1 : -1));
    event->accept();
    return;
  }
  const QString typed = event->text();
  if (typed == u"+" || typed == u"-" || typed == u"t" || typed == u"T") {
    if (PopupVisible() && Popup()) {
      Popup()->PassKey(event);
      event->accept();
      return;
    }
    if (DirectInput()) {
      if (typed == u"t" || typed == u"T") ApplyDate(Today());
      event->accept();
      return;
    }
  }
  TCustomComboEdit::keyPressEvent(event);
}

void TCustomDateEdit::focusOutEvent(QFocusEvent* event) {
  // The drop-down taking the keyboard is no leaving.
  if (CheckOnExit && !PopupVisible() && event->reason() != Qt::PopupFocusReason) {
    try {
      CheckDate();
    } catch (const EConvertError& e) {
      platform::GetPrompter().Error(e.what());
    }
  }
  TCustomComboEdit::focusOutEvent(event);
}

void TCustomDateEdit::changeEvent(QEvent* event) {
  TCustomComboEdit::changeEvent(event);
  if (event->type() == QEvent::LocaleChange) RefreshMask();
}

TDateEdit::TDateEdit(QWidget* parent) : TCustomDateEdit(parent) { RefreshMask(); }

}  // namespace velmaris
