#include "widgets/PickDate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <cmath>
#include <memory>

#include "widgets/ModalHook.h"
#include "widgets/logic/CalendarMath.h"

namespace velmaris {

namespace {

// 8 x 6 arrows: PREV2, PREV1, NEXT1, NEXT2.
QPixmap ArrowBitmap(int kind) {
  QImage img(8, 6, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  const bool left = kind < 2;
  const int heads = (kind == 0 || kind == 3) ? 2 : 1;
  for (int h = 0; h < heads; ++h) {
    const int base = heads == 1 ? 2 : h * 4;
    for (int i = 0; i < 3; ++i) {
      for (int y = 3 - i - 1; y <= 2 + i; ++y) {
        const int x = left ? base + i : base + 2 - i;
        if (x >= 0 && x < 8 && y >= 0 && y < 6) img.setPixel(x, y, qRgba(0, 0, 0, 255));
      }
    }
  }
  return QPixmap::fromImage(img);
}

const char* const kHints[4] = {"Previous Year", "Previous Month", "Next Month", "Next Year"};

bool NoShiftKeys(const QKeyEvent* e) {
  return !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

QString CalendarTitle(TDateTime date) {
  int y = 0, m = 0, d = 0;
  if (!SplitDate(date, y, m, d)) return {};
  return QString::fromStdString(CurrentDateLocale().longMonthNames[m - 1]) + QStringLiteral(", ") +
         QString::number(y);
}

void ApplyMessageFont(QFont& font) { font = QApplication::font("QMessageBox"); }

// ---- TVxCalendar ----

TVxCalendar::TVxCalendar(QWidget* parent) : QWidget(parent), date_(Today()) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  resize(sizeHint());
  RebuildGrid();
}

void TVxCalendar::SetCalendarDate(TDateTime value) {
  if (value == date_ || !IsValidDateValue(value)) return;
  date_ = value;
  RebuildGrid();
  emit change();
}

int TVxCalendar::Day() const {
  int y = 0, m = 0, d = 0;
  SplitDate(date_, y, m, d);
  return d;
}

int TVxCalendar::Month() const {
  int y = 0, m = 0, d = 0;
  SplitDate(date_, y, m, d);
  return m;
}

int TVxCalendar::Year() const {
  int y = 0, m = 0, d = 0;
  SplitDate(date_, y, m, d);
  return y;
}

void TVxCalendar::SetYMD(int year, int month, int day) {
  date_ = EncodeDate(year, month, day);
  useCurrentDate_ = false;
  RebuildGrid();
  emit change();
}

void TVxCalendar::SetDay(int value) {
  if (value < 1 || value > DaysInMonth(Year(), Month()) || value == Day()) return;
  SetYMD(Year(), Month(), value);
}

void TVxCalendar::SetMonth(int value) {
  if (value < 1 || value > 12 || value == Month()) return;
  SetYMD(Year(), value, std::min(Day(), DaysInMonth(Year(), value)));
}

void TVxCalendar::SetYear(int value) {
  if (value < 1 || value > 9999 || value == Year()) return;
  // 29 February of a year without it becomes the 28th.
  SetYMD(value, Month(), std::min(Day(), DaysInMonth(value, Month())));
}

void TVxCalendar::SetStartOfWeek(TDayOfWeekName value) {
  if (value == startOfWeek_) return;
  startOfWeek_ = value;
  RebuildGrid();
}

void TVxCalendar::SetUseCurrentDate(bool value) {
  if (value == useCurrentDate_) return;
  useCurrentDate_ = value;
  if (value) {
    date_ = Today();
    RebuildGrid();
  }
}

void TVxCalendar::SetWeekendColor(const QColor& value) {
  weekendColor_ = value;
  update();
}

void TVxCalendar::SetWeekends(TDaysOfWeek value) {
  if (value == weekends_) return;
  weekends_ = value;
  RebuildGrid();
}

void TVxCalendar::ShiftMonthBy(int delta) { SetCalendarDate(ShiftMonth(date_, delta)); }
void TVxCalendar::ShiftYearBy(int delta) { SetCalendarDate(ShiftYear(date_, delta)); }
void TVxCalendar::MoveToToday() { SetCalendarDate(Today()); }

QString TVxCalendar::CellCaption(int col, int row) const {
  if (row == 0) {
    const int weekday = CalendarWeekdayOfColumn(col, static_cast<int>(startOfWeek_));
    return QString::fromStdString(CurrentDateLocale().shortDayNames[weekday % 7]);
  }
  const int day = CalendarDayOfCell(col, row, offset_, DaysInMonth(Year(), Month()));
  return day ? QString::number(day) : QString();
}

bool TVxCalendar::IsWeekendColumn(int col) const {
  return weekends_ & (1u << CalendarWeekdayOfColumn(col, static_cast<int>(startOfWeek_)));
}

void TVxCalendar::RebuildGrid() {
  offset_ = CalendarMonthOffset(Year(), Month(), static_cast<int>(startOfWeek_));
  CalendarCellOfDay(Day(), offset_, col_, row_);
  update();
}

QRect TVxCalendar::CellRect(int col, int row) const {
  const int cw = width() / 7, rh = height() / 7;
  return {col * cw, row * rh, cw, rh};
}

bool TVxCalendar::CellAt(QPoint pos, int& col, int& row) const {
  const int cw = std::max(width() / 7, 1), rh = std::max(height() / 7, 1);
  col = pos.x() / cw;
  row = pos.y() / rh;
  return pos.x() >= 0 && pos.y() >= 0 && col < 7 && row < 7;
}

void TVxCalendar::DrawCell(QPainter& p, int col, int row, const QRect& rect, bool selected) {
  const QPalette pal = palette();
  if (row == 0) {
    p.fillRect(rect, pal.color(QPalette::Button));
  } else if (selected) {
    p.fillRect(rect, pal.color(QPalette::Highlight));
  }
  QColor text = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text);
  if (IsWeekendColumn(col) && !selected) text = weekendColor_;
  p.setPen(text);
  p.drawText(rect, Qt::AlignCenter, CellCaption(col, row));
}

void TVxCalendar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (int row = 0; row < 7; ++row) {
    for (int col = 0; col < 7; ++col) {
      DrawCell(p, col, row, CellRect(col, row), row == row_ && col == col_);
    }
  }
  p.setPen(palette().color(QPalette::Dark));
  p.drawLine(0, CellRect(0, 1).top() - 1, width(), CellRect(0, 1).top() - 1);
}

void TVxCalendar::keyPressEvent(QKeyEvent* event) {
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  if (NoShiftKeys(event)) {
    switch (event->key()) {
      case Qt::Key_Left: SetCalendarDate(date_ - 1); return;
      case Qt::Key_Right: SetCalendarDate(date_ + 1); return;
      case Qt::Key_Minus:
        if (keypad) return SetCalendarDate(date_ - 1);
        break;
      case Qt::Key_Plus:
        if (keypad) return SetCalendarDate(date_ + 1);
        break;
      case Qt::Key_Up:
      case Qt::Key_Down:
        if (!readOnly_) SetDay(Day() + (event->key() == Qt::Key_Up ? -7 : 7));
        return;
      default: break;
    }
  }
  if (event->text() == QLatin1String("t") || event->text() == QLatin1String("T")) {
    MoveToToday();
    return;
  }
  event->ignore();
}

void TVxCalendar::mousePressEvent(QMouseEvent* event) {
  int col = 0, row = 0;
  if (event->button() == Qt::LeftButton && !readOnly_ &&
      CellAt(event->position().toPoint(), col, row) && row >= 1) {
    const QString caption = CellCaption(col, row);
    if (!caption.isEmpty()) SetDay(caption.toInt());
  }
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
}

void TVxCalendar::mouseReleaseEvent(QMouseEvent* event) {
  int col = 0, row = 0;
  const auto shiftKeys = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
  if (event->button() == Qt::LeftButton && !(event->modifiers() & shiftKeys) &&
      CellAt(event->position().toPoint(), col, row)) {
    emit cellReleased(col, row);
  }
}

void TVxCalendar::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit dblClick();
}

// ---- TLocCalendar ----

TLocCalendar::TLocCalendar(QWidget* parent) : TVxCalendar(parent) {
  setFocusPolicy(Qt::NoFocus);
  setBackgroundRole(QPalette::Button);
}

void TLocCalendar::DrawCell(QPainter& p, int col, int row, const QRect& rect, bool selected) {
  TVxCalendar::DrawCell(p, col, row, rect, selected);
  if (row == 0) return;
  int y = 0, m = 0, d = 0;
  if (!SplitDate(Today(), y, m, d) || y != Year() || m != Month()) return;
  if (CellCaption(col, row) != QString::number(d)) return;
  const QRect r = rect.adjusted(0, 0, -1, -1);
  p.setPen(palette().color(QPalette::Dark));
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

TVxTimerSpeedButton::TVxTimerSpeedButton(QWidget* parent) : TVxSpeedButton(parent) {
  SetAllowTimer(true);
  SetStyle(TButtonStyle::bsWin31);
}

// ---- TPopupCalendar ----

TPopupCalendar::TPopupCalendar(TCustomComboEdit* edit) : TPopupWindow(edit) {
  setObjectName(QStringLiteral("TPopupCalendar"));
  resize(187, 124);
  QFont f = font();
  ApplyMessageFont(f);
  setFont(f);
  auto* panel = new QWidget(this);
  panel->setGeometry(1, 1, width() - 2, 18);
  calendar_ = new TLocCalendar(this);
  calendar_->setObjectName(QStringLiteral("Calendar"));
  calendar_->setGeometry(1, 19, width() - 2, height() - 20);
  const int tw = panel->width();
  const int xs[4] = {-1, 12, tw - 26, tw - 13};
  for (int i = 0; i < 4; ++i) {
    buttons_[i] = new TVxTimerSpeedButton(panel);
    buttons_[i]->setGeometry(xs[i], -1, 14, 14);
    buttons_[i]->SetGlyph(ArrowBitmap(i));
    buttons_[i]->SetNumGlyphs(1);
    buttons_[i]->SetLayout(TButtonLayout::blGlyphLeft);
    buttons_[i]->setToolTip(QString::fromLatin1(kHints[i]));
  }
  connect(buttons_[0], &QAbstractButton::clicked, calendar_, &TVxCalendar::StepYearBack);
  connect(buttons_[1], &QAbstractButton::clicked, calendar_, &TVxCalendar::StepMonthBack);
  connect(buttons_[2], &QAbstractButton::clicked, calendar_, &TVxCalendar::StepMonthForward);
  connect(buttons_[3], &QAbstractButton::clicked, calendar_, &TVxCalendar::StepYearForward);
  title_ = new QLabel(panel);
  title_->setObjectName(QStringLiteral("TitleLabel"));
  title_->setAlignment(Qt::AlignCenter);
  title_->setGeometry(29, 1, tw - 58, 14);
  title_->installEventFilter(this);
  connect(calendar_, &TVxCalendar::change, this, &TPopupCalendar::UpdateTitle);
  connect(calendar_, &TVxCalendar::cellReleased, this, [this](int col, int row) {
    if (row >= 1 && !calendar_->CellCaption(col, row).isEmpty()) NotifyClose(true);
  });
  UpdateTitle();
}

void TPopupCalendar::SetHints(const QStringList& hints) {
  int i = 0;
  for (const QString& hint : hints) {
    if (i >= 4) break;
    if (!hint.isEmpty()) buttons_[i++]->setToolTip(hint);
  }
}

void TPopupCalendar::UpdateTitle() { title_->setText(CalendarTitle(calendar_->CalendarDate())); }

bool TPopupCalendar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == title_ && event->type() == QEvent::MouseButtonDblClick) {
    calendar_->SetCalendarDate(Today());
    return true;
  }
  return TPopupWindow::eventFilter(watched, event);
}

QVariant TPopupCalendar::GetValue() const { return QVariant(calendar_->CalendarDate()); }

void TPopupCalendar::SetValue(const QVariant& value) {
  TDateTime date = Today();
  if (value.isValid() && !value.isNull()) {
    if (value.typeId() == QMetaType::Double) {
      date = value.toDouble();
    } else {
      const std::string text = value.toString().toStdString();
      TDateTime parsed = EmptyDate;
      if (TryTextToDate(DefaultDateFormat(FourDigitYear), text, parsed) && parsed != EmptyDate) {
        date = parsed;
      }
    }
  }
  if (!IsValidDateValue(date) || date == EmptyDate) date = Today();
  calendar_->SetCalendarDate(std::floor(date));
  UpdateTitle();
}

bool TPopupCalendar::HandleKey(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (event->key() == Qt::Key_PageUp) {
    ctrl ? calendar_->StepYearBack() : calendar_->StepMonthBack();
    return true;
  }
  if (event->key() == Qt::Key_PageDown) {
    ctrl ? calendar_->StepYearForward() : calendar_->StepMonthForward();
    return true;
  }
  event->accept();
  QApplication::sendEvent(calendar_, event);
  return event->isAccepted();
}

TPopupCalendar* NewPopupCalendar(TCustomComboEdit* owner) { return new TPopupCalendar(owner); }

void ConfigurePopupCalendar(TPopupWindow* popup, TDayOfWeekName startOfWeek, TDaysOfWeek weekends,
                            const QColor& weekendColor, const QStringList& hints,
                            bool fourDigitYear) {
  auto* calendar = qobject_cast<TPopupCalendar*>(popup);
  if (!calendar) return;
  calendar->FourDigitYear = fourDigitYear;
  calendar->Calendar()->SetStartOfWeek(startOfWeek);
  calendar->Calendar()->SetWeekendColor(weekendColor);
  calendar->Calendar()->SetWeekends(weekends);
  calendar->SetHints(hints);
}

// ---- TSelectDateDlg ----

TSelectDateDlg::TSelectDateDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TSelectDateDlg"));
  setWindowTitle(QStringLiteral("Select a Date"));
  setWindowFlags(Qt::Tool | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(222, 154);
  QFont f = font();
  ApplyMessageFont(f);
  setFont(f);
  auto* top = new QFrame(this);
  top->setObjectName(QStringLiteral("TopPanel"));
  top->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  top->setGeometry(0, 0, 222, 22);
  const int xs[4] = {3, 18, 188, 203};
  for (int i = 0; i < 4; ++i) {
    buttons_[i] = new TVxTimerSpeedButton(top);
    buttons_[i]->setGeometry(xs[i], 3, 16, 16);
    buttons_[i]->SetGlyph(ArrowBitmap(i));
    buttons_[i]->SetNumGlyphs(1);
    buttons_[i]->setToolTip(QString::fromLatin1(kHints[i]));
  }
  TitleLabel = new QLabel(top);
  TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
  TitleLabel->setGeometry(35, 4, 152, 14);
  TitleLabel->setAlignment(Qt::AlignCenter);
  QFont bold = TitleLabel->font();
  bold.setBold(true);
  TitleLabel->setFont(bold);
  TitleLabel->setStyleSheet(QStringLiteral("color: blue"));
  TitleLabel->installEventFilter(this);
  auto* middle = new QFrame(this);
  middle->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  middle->setGeometry(0, 22, 222, 111);
  Calendar = new TVxCalendar(middle);
  Calendar->setObjectName(QStringLiteral("Calendar"));
  Calendar->setGeometry(2, 2, 218, 107);
  Calendar->SetUseCurrentDate(false);
  Calendar->installEventFilter(this);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OkBtn"));
  ok->setGeometry(0, 133, 112, 21);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("CancelBtn"));
  cancel->setGeometry(111, 133, 111, 21);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(buttons_[0], &QAbstractButton::clicked, Calendar, &TVxCalendar::StepYearBack);
  connect(buttons_[1], &QAbstractButton::clicked, Calendar, &TVxCalendar::StepMonthBack);
  connect(buttons_[2], &QAbstractButton::clicked, Calendar, &TVxCalendar::StepMonthForward);
  connect(buttons_[3], &QAbstractButton::clicked, Calendar, &TVxCalendar::StepYearForward);
  connect(Calendar, &TVxCalendar::change, this, &TSelectDateDlg::CalendarChange);
  connect(Calendar, &TVxCalendar::dblClick, this, &QDialog::accept);
  Calendar->setFocus();
  CalendarChange();
}

void TSelectDateDlg::CalendarChange() {
  TitleLabel->setText(CalendarTitle(Calendar->CalendarDate()));
}

void TSelectDateDlg::SetDate(TDateTime date) {
  if (date == EmptyDate || !IsValidDateValue(date)) date = Today();
  Calendar->SetCalendarDate(std::floor(date));
  CalendarChange();
}

bool TSelectDateDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TitleLabel && event->type() == QEvent::MouseButtonDblClick) {
    Calendar->SetCalendarDate(Today());
    return true;
  }
  if (watched == Calendar && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: accept(); return true;
      case Qt::Key_Escape: reject(); return true;
      case Qt::Key_PageDown:
        ctrl ? Calendar->StepYearForward() : Calendar->StepMonthForward();
        break;
      case Qt::Key_PageUp: ctrl ? Calendar->StepYearBack() : Calendar->StepMonthBack(); break;
      case Qt::Key_Tab: Calendar->StepMonthForward(); break;
      case Qt::Key_Backtab: Calendar->StepMonthBack(); break;
      default: return false;
    }
    TitleLabel->repaint();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

TSelectDateDlg* NewDateDialog(const QString& caption) {
  auto* dialog = new TSelectDateDlg(QApplication::activeWindow());
  if (!caption.isEmpty()) dialog->setWindowTitle(caption);
  CenterWindowOnScreen(dialog);
  return dialog;
}

bool SelectDate(TDateTime& date, const QString& caption, TDayOfWeekName startOfWeek,
                TDaysOfWeek weekends, const QColor& weekendColor, const QStringList& hints) {
  std::unique_ptr<TSelectDateDlg> dialog(NewDateDialog(caption));
  dialog->SetDate(date);
  dialog->Calendar->SetStartOfWeek(startOfWeek);
  dialog->Calendar->SetWeekends(weekends);
  dialog->Calendar->SetWeekendColor(weekendColor);
  int i = 0;
  for (const QString& hint : hints) {
    if (i >= 4) break;
    if (!hint.isEmpty()) dialog->ArrowButton(i++)->setToolTip(hint);
  }
  if (ExecModal(*dialog) != QDialog::Accepted) return false;
  date = dialog->Date();
  return true;
}

}  // namespace velmaris
