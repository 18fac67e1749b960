// The month calendar and the two ways of picking a date with it: the
// calendar dropped down under a date edit and the small modal dialog.
//
// TVxCalendar: a 7 x 7 grid, a header row of day names over six week rows,
// columns starting at StartOfWeek, weekend columns (header included) drawn
// in WeekendColor. Only cells holding a day can be selected.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include "widgets/ComboEdit.h"
#include "widgets/logic/DateHelpers.h"

namespace velmaris {

enum class TDayOfWeekName { Sun, Mon, Tue, Wed, Thu, Fri, Sat };
using TDaysOfWeek = unsigned;  // bit (1 << day) per TDayOfWeekName
inline constexpr TDaysOfWeek DayBit(TDayOfWeekName d) { return 1u << static_cast<int>(d); }

class TVxCalendar : public QWidget {
  Q_OBJECT

 public:
  explicit TVxCalendar(QWidget* parent = nullptr);

  TDateTime CalendarDate() const { return date_; }
  void SetCalendarDate(TDateTime value);
  int Day() const;
  int Month() const;
  int Year() const;
  void SetDay(int value);
  void SetMonth(int value);
  void SetYear(int value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
  void SetStartOfWeek(TDayOfWeekName value);
  bool UseCurrentDate() const { return useCurrentDate_; }
  void SetUseCurrentDate(bool value);
  QColor WeekendColor() const { return weekendColor_; }
  void SetWeekendColor(const QColor& value);
  TDaysOfWeek Weekends() const { return weekends_; }
  void SetWeekends(TDaysOfWeek value);

  void StepMonthBack() { ShiftMonthBy(-1); }
  void StepMonthForward() { ShiftMonthBy(1); }
  void StepYearBack() { ShiftYearBy(-1); }
  void StepYearForward() { ShiftYearBy(1); }

  QString CellCaption(int col, int row) const;
  bool IsWeekendColumn(int col) const;
  int CurrentCol() const { return col_; }
  int CurrentRow() const { return row_; }
  QRect CellRect(int col, int row) const;
  virtual void RebuildGrid();

  QSize sizeHint() const override { return {180, 110}; }

 signals:
  void change();
  void dblClick();
  // A left release without shift keys on a cell (col, row).
  void cellReleased(int col, int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  virtual void DrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected);
  bool CellAt(QPoint pos, int& col, int& row) const;

 private:
  void ShiftMonthBy(int delta);
  void ShiftYearBy(int delta);
  void SetYMD(int year, int month, int day);
  void MoveToToday();

  TDateTime date_;
  int offset_ = 1;
  int col_ = 0, row_ = 1;
  bool readOnly_ = false;
  bool useCurrentDate_ = true;
  TDayOfWeekName startOfWeek_ = TDayOfWeekName::Mon;
  TDaysOfWeek weekends_ = DayBit(TDayOfWeekName::Sun);
  QColor weekendColor_ = QColor(255, 0, 0);
};

// The calendar inside the drop-down: never takes the focus, frames today.
class TLocCalendar : public TVxCalendar {
  Q_OBJECT
 public:
  explicit TLocCalendar(QWidget* parent = nullptr);

 protected:
  void DrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected) override;
};

// The repeating arrow button of the calendars.
class TVxTimerSpeedButton : public TVxSpeedButton {
  Q_OBJECT
 public:
  explicit TVxTimerSpeedButton(QWidget* parent = nullptr);
};

// "MMMM, YYYY" of a date.
QString CalendarTitle(TDateTime date);
// The message-box font of the desktop.
void ApplyMessageFont(QFont& font);

class TPopupCalendar : public TPopupWindow {
  Q_OBJECT

 public:
  explicit TPopupCalendar(TCustomComboEdit* edit);

  QVariant GetValue() const override;
  // A date (number), or a text in the edit's format; anything else is today.
  void SetValue(const QVariant& value) override;
  bool HandleKey(QKeyEvent* event) override;

  TLocCalendar* Calendar() const { return calendar_; }
  QLabel* Title() const { return title_; }
  // Hints of previous year, previous month, next month, next year.
  void SetHints(const QStringList& hints);
  TVxTimerSpeedButton* ArrowButton(int index) const { return buttons_[index]; }
  bool FourDigitYear = true;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateTitle();
  TLocCalendar* calendar_;
  QLabel* title_;
  TVxTimerSpeedButton* buttons_[4];
};

TPopupCalendar* NewPopupCalendar(TCustomComboEdit* owner);
void ConfigurePopupCalendar(TPopupWindow* popup, TDayOfWeekName startOfWeek, TDaysOfWeek weekends,
                            const QColor& weekendColor, const QStringList& hints,
                            bool fourDigitYear);

class TSelectDateDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TSelectDateDlg(QWidget* parent = nullptr);

  TVxCalendar* Calendar;
  QLabel* TitleLabel;
  TVxTimerSpeedButton* ArrowButton(int index) const { return buttons_[index]; }
  TDateTime Date() const { return Calendar->CalendarDate(); }
  // EmptyDate is today.
  void SetDate(TDateTime date);

 protected:
  // The form sees the calendar's keys first: Enter, Escape, Page Up/Down
  // (with Ctrl a year), Tab and Shift+Tab (a month).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CalendarChange();
  TVxTimerSpeedButton* buttons_[4];
};

TSelectDateDlg* NewDateDialog(const QString& caption);
// Shows the dialog; true with date set when it closed with OK.
bool SelectDate(TDateTime& date, const QString& caption, TDayOfWeekName startOfWeek,
                TDaysOfWeek weekends, const QColor& weekendColor, const QStringList& hints);

}  // namespace velmaris
