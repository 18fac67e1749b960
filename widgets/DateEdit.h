// The date entry field: a masked edit whose mask and format follow the
// locale's date order, with a button that drops the calendar down under it
// (csPopup) or opens the date dialog (csDialog). An empty or unreadable text
// reads as no date (EmptyDate), or as today with DefaultToday.
#pragma once

#include <QStringList>

#include "widgets/ComboEdit.h"
#include "widgets/PickDate.h"

namespace velmaris {

enum class TCalendarStyle { csPopup, csDialog };
enum class TYearDigits { dyDefault, dyFour, dyTwo };

class TCustomDateEdit : public TCustomComboEdit {
  Q_OBJECT

 public:
  // (edit, date in/out, action in/out)
  using TExecDateDialog =
      std::function<void(TCustomDateEdit* sender, TDateTime& date, bool& action)>;

  explicit TCustomDateEdit(QWidget* parent = nullptr);

  TDateTime GetDate() const;
  TDateTime Date() const { return GetDate(); }
  void SetDate(TDateTime value);
  virtual void ApplyDate(TDateTime value);
  // Reads a text holding more than blanks and separators strictly and writes
  // it back formatted; raises EConvertError for one that is no date.
  void CheckDate();
  virtual void RefreshMask();
  const QString& DateFormat() const { return dateFormat_; }

  QChar BlanksChar() const { return blanksChar_; }
  void SetBlanksChar(QChar value);
  const QStringList& CalendarHints() const { return hints_; }
  void SetCalendarHints(QStringList hints);  // at most 4 kept
  TCalendarStyle CalendarStyle() const { return calendarStyle_; }
  void SetCalendarStyle(TCalendarStyle value);
  bool CheckOnExit = false;
  bool DefaultToday = false;
  QString DialogTitle = QStringLiteral("Select a Date");
  QColor PopupColor() const;
  void SetPopupColor(const QColor& color);
  TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
  void SetStartOfWeek(TDayOfWeekName value);
  TDaysOfWeek Weekends() const { return weekends_; }
  void SetWeekends(TDaysOfWeek value);
  QColor WeekendColor() const { return weekendColor_; }
  void SetWeekendColor(const QColor& value);
  TYearDigits YearDigits() const { return yearDigits_; }
  void SetYearDigits(TYearDigits value);
  bool FourDigitYear() const;
  TExecDateDialog OnAcceptDate;

 protected:
  QPixmap DefaultGlyph() const override;
  int DefaultNumGlyphs() const override { return 2; }
  void ButtonClick() override;
  void TakeValue(const QVariant& value) override;
  void PutDropDownValue(const QVariant& value) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QString DateText() const;
  char Separator() const;
  void Configure();

  QChar blanksChar_ = u' ';
  QStringList hints_;
  TCalendarStyle calendarStyle_ = TCalendarStyle::csPopup;
  TDayOfWeekName startOfWeek_ = TDayOfWeekName::Mon;
  TDaysOfWeek weekends_ = DayBit(TDayOfWeekName::Sun);
  QColor weekendColor_ = QColor(255, 0, 0);
  TYearDigits yearDigits_ = TYearDigits::dyDefault;
  QString dateFormat_;
  QString mask_;
  QColor popupColor_;
};

class TDateEdit : public TCustomDateEdit {
  Q_OBJECT
 public:
  explicit TDateEdit(QWidget* parent = nullptr);
};

}  // namespace velmaris
