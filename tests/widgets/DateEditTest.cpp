// The calendar, the date dialog and the date edit driven by keys and clicks,
// in the three date orders, with a fixed "today" (Monday, 15 June 2026).
#include "widgets/DateEdit.h"

#include <gtest/gtest.h>

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <clocale>

#include "platform/Prompter.h"
#include "widgets/ModalHook.h"
#include "widgets/logic/CalendarMath.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace velmaris::test {
namespace {

const TDateTime kToday = EncodeDate(2026, 6, 15);

struct Env {
  explicit Env(const char* format = "dd.MM.yyyy", char sep = '.') {
    DateLocale l;
    l.shortFormat = format;
    l.separator = sep;
    l.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
    SetDateLocale(l);
    SetDateClock([] { return kToday + 0.25; });
  }
  ~Env() {
    SetDateClock({});
    SetModalHook({});
  }
};

TDateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }

struct CalendarKeyCase {
  const char* name;
  TDateTime start;
  int key;
  Qt::KeyboardModifiers mods;
  const char* text;
  TDateTime expected;
};

class CalendarKeys : public ::testing::TestWithParam<CalendarKeyCase> {};

TEST_P(CalendarKeys, MoveTheDate) {
  const CalendarKeyCase& c = GetParam();
  Env env;
  TVxCalendar cal;
  cal.SetCalendarDate(c.start);
  QSignalSpy change(&cal, &TVxCalendar::change);
  if (c.key) QTest::keyClick(&cal, Qt::Key(c.key), c.mods);
  if (*c.text) QTest::keyClicks(&cal, c.text);
  EXPECT_EQ(cal.CalendarDate(), c.expected);
  EXPECT_EQ(change.count(), c.expected != c.start ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, CalendarKeys,
    ::testing::Values(
        CalendarKeyCase{"LeftFromTheFirst", D(2025, 3, 1), Qt::Key_Left, {}, "", D(2025, 2, 28)},
        CalendarKeyCase{"RightFromTheLast", D(2025, 1, 31), Qt::Key_Right, {}, "", D(2025, 2, 1)},
        CalendarKeyCase{"KeypadPlus", D(2025, 1, 31), Qt::Key_Plus, Qt::KeypadModifier, "",
                        D(2025, 2, 1)},
        CalendarKeyCase{"UpAWeek", D(2025, 1, 20), Qt::Key_Up, {}, "", D(2025, 1, 13)},
        CalendarKeyCase{"UpStaysInTheMonth", D(2025, 1, 3), Qt::Key_Up, {}, "", D(2025, 1, 3)},
        CalendarKeyCase{"ShiftLeftIgnored", D(2025, 1, 3), Qt::Key_Left, Qt::ShiftModifier, "",
                        D(2025, 1, 3)},
        CalendarKeyCase{"TIsToday", D(2025, 1, 3), 0, {}, "t", kToday}),
    [](const auto& info) { return info.param.name; });

TEST(Calendar, GridClicksAndSteps) {
  Env env;
  TVxCalendar cal;
  cal.resize(210, 140);
  cal.SetCalendarDate(D(2025, 6, 10));  // June 2025 begins on a Sunday
  EXPECT_EQ(cal.CellCaption(6, 1), "1");
  EXPECT_EQ(cal.CellCaption(0, 2), "2");
  EXPECT_TRUE(cal.IsWeekendColumn(6));
  EXPECT_FALSE(cal.IsWeekendColumn(0));
  EXPECT_EQ(cal.CellCaption(6, 6), "");
  QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.CellRect(6, 6).center());  // empty cell
  EXPECT_EQ(cal.CalendarDate(), D(2025, 6, 10));
  QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.CellRect(3, 3).center());
  EXPECT_EQ(cal.CalendarDate(), D(2025, 6, 12));
  EXPECT_FALSE(cal.UseCurrentDate());
  cal.SetCalendarDate(D(2025, 1, 31));
  cal.StepMonthForward();
  EXPECT_EQ(cal.CalendarDate(), D(2025, 2, 28));
  cal.SetCalendarDate(D(2000, 2, 29));
  cal.StepYearForward();
  EXPECT_EQ(cal.CalendarDate(), D(2001, 2, 28));
  cal.SetReadOnly(true);
  QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.CellRect(3, 3).center());
  EXPECT_EQ(cal.CalendarDate(), D(2001, 2, 28));
}

TEST(SelectDate, DialogKeys) {
  Env env;
  TSelectDateDlg dialog;
  dialog.SetDate(EmptyDate);
  EXPECT_EQ(dialog.Date(), kToday);
  EXPECT_EQ(dialog.TitleLabel->text(), "June, 2026");
  QTest::keyClick(dialog.Calendar, Qt::Key_Tab);
  EXPECT_EQ(dialog.Date(), D(2026, 7, 15));
  QTest::keyClick(dialog.Calendar, Qt::Key_Backtab, Qt::ShiftModifier);
  QTest::keyClick(dialog.Calendar, Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(dialog.Date(), D(2027, 6, 15));
  EXPECT_EQ(dialog.TitleLabel->text(), "June, 2027");
  QSignalSpy accepted(&dialog, &QDialog::accepted);
  QTest::keyClick(dialog.Calendar, Qt::Key_Return);
  EXPECT_EQ(accepted.count(), 1);
}

struct Form {
  QWidget window;
  TDateEdit* edit = new TDateEdit(&window);
  QLineEdit* other = new QLineEdit(&window);
  Form() {
    edit->setObjectName("DateEdit");
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(other);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
  }
};

struct OrderCase {
  const char* name;
  const char* format;
  char sep;
  const char* text;  // 5 March 1998
  const char* mask;
  int readBackYear;  // two-digit years land in the window around 2026
};

class DateOrders : public ::testing::TestWithParam<OrderCase> {};

TEST_P(DateOrders, TextAndMaskFollowTheLocale) {
  const OrderCase& c = GetParam();
  Env env(c.format, c.sep);
  Form f;
  EXPECT_EQ(f.edit->EditMask(), c.mask);
  EXPECT_EQ(f.edit->Date(), EmptyDate);
  f.edit->SetDate(D(1998, 3, 5));
  EXPECT_EQ(f.edit->text(), c.text);
  EXPECT_TRUE(f.edit->isModified());
  f.edit->setModified(false);
  f.edit->SetDate(D(1998, 3, 5));
  EXPECT_FALSE(f.edit->isModified());
  f.edit->setText("");
  f.edit->setText(c.text);
  EXPECT_EQ(f.edit->Date(), D(c.readBackYear, 3, 5));
  f.edit->SetDate(EmptyDate);
  EXPECT_EQ(f.edit->Date(), EmptyDate);
  f.edit->DefaultToday = true;
  EXPECT_EQ(f.edit->Date(), kToday);
}

INSTANTIATE_TEST_SUITE_P(
    DateEdit, DateOrders,
    ::testing::Values(
        OrderCase{"DayFirst", "dd.MM.yyyy", '.', "05.03.1998", "!99/99/9999;1; ", 1998},
        OrderCase{"MonthFirst", "MM/dd/yyyy", '/', "03/05/1998", "!99/99/9999;1; ", 1998},
        OrderCase{"YearFirst", "yyyy-MM-dd", '-', "1998-03-05", "!9999/99/99;1; ", 1998},
        OrderCase{"TwoDigits", "dd.MM.yy", '.', "05.03.98", "!99/99/99;1; ", 2098}),
    [](const auto& info) { return info.param.name; });

struct DateKeyCase {
  const char* name;
  TDateTime start;
  int key;
  Qt::KeyboardModifiers mods;
  const char* typed;
  TDateTime expected;
};

class DateKeys : public ::testing::TestWithParam<DateKeyCase> {};

TEST_P(DateKeys, ChangeTheDate) {
  const DateKeyCase& c = GetParam();
  Env env;
  Form f;
  f.edit->SetDate(c.start);
  if (c.key) QTest::keyClick(f.edit, Qt::Key(c.key), c.mods);
  if (*c.typed) QTest::keyClicks(f.edit, c.typed);
  EXPECT_EQ(f.edit->Date(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    DateEdit, DateKeys,
    ::testing::Values(DateKeyCase{"PadPlusOnEmpty", EmptyDate, Qt::Key_Plus, Qt::KeypadModifier, "",
                                  D(2026, 6, 16)},
                      DateKeyCase{"PadMinus", D(1998, 3, 1), Qt::Key_Minus, Qt::KeypadModifier, "",
                                  D(1998, 2, 28)},
                      DateKeyCase{"TIsToday", D(1998, 3, 1), 0, {}, "t", kToday},
                      DateKeyCase{"PlusCharSwallowed", D(1998, 3, 1), 0, {}, "+", D(1998, 3, 1)},
                      DateKeyCase{
                          "DropDownPageDownEnter", D(1998, 3, 5), 0, {}, "", D(1998, 3, 5)}),
    [](const auto& info) { return info.param.name; });

TEST(DateEdit, CalendarDropsDownAndTakesTheDate) {
  Env env;
  Form f;
  f.edit->SetDate(D(1998, 3, 5));
  QSignalSpy change(f.edit, &TCustomComboEdit::change);
  QTest::keyClick(f.edit, Qt::Key_Down, Qt::AltModifier);
  auto* popup = qobject_cast<TPopupCalendar*>(f.edit->Popup());
  ASSERT_TRUE(popup && popup->isVisible());
  EXPECT_EQ(popup->Calendar()->CalendarDate(), D(1998, 3, 5));
  EXPECT_EQ(popup->Title()->text(), "March, 1998");
  QTest::keyClick(f.edit, Qt::Key_PageDown);
  QTest::keyClick(f.edit, Qt::Key_Right);
  EXPECT_EQ(f.edit->Date(), D(1998, 3, 5));
  EXPECT_EQ(change.count(), 0);
  QTest::keyClick(f.edit, Qt::Key_Return);
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(f.edit->Date(), D(1998, 4, 6));
  EXPECT_EQ(change.count(), 1);
  // A click on a day closes it too; Escape leaves the text alone.
  f.edit->OpenDropDown();
  TLocCalendar* cal = popup->Calendar();
  int col = 0, row = 0;
  CalendarCellOfDay(20, CalendarMonthOffset(1998, 4, 1), col, row);
  QTest::mouseClick(cal, Qt::LeftButton, {}, cal->CellRect(col, row).center());
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(f.edit->Date(), D(1998, 4, 20));
  f.edit->OpenDropDown();
  QTest::keyClick(f.edit, Qt::Key_PageUp, Qt::ControlModifier);
  QTest::keyClick(f.edit, Qt::Key_Escape);
  EXPECT_EQ(f.edit->Date(), D(1998, 4, 20));
}

// The calendar is a pop-up that holds the keyboard: keys given to the
// window system while it is open (whatever window the pointer is on) reach
// it; a press on the edit's button closes it taking the date, and does not
// open it again.
TEST(DateEdit, TheDroppedCalendarTakesTheKeysAndThePressOnItsButton) {
  Env env;
  Form f;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  struct Case {
    std::vector<Qt::Key> keys;
    bool open;
    TDateTime date;
  };
  const Case cases[] = {
      {{Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}, false, D(1998, 3, 7)},
      {{Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Escape}, false, D(1998, 3, 5)},
      {{Qt::Key_Down}, true, D(1998, 3, 5)},
  };
  for (const Case& c : cases) {
    f.edit->SetDate(D(1998, 3, 5));
    f.edit->OpenDropDown();
    TPopupWindow* popup = f.edit->Popup();
    ASSERT_TRUE(popup && popup->isVisible());
    EXPECT_EQ(popup->windowType(), Qt::Popup);
    EXPECT_EQ(QApplication::activePopupWidget(), popup);
    for (Qt::Key key : c.keys) QTest::keyClick(popup->windowHandle(), key);
    EXPECT_EQ(popup->isVisible(), c.open);
    EXPECT_EQ(f.edit->PopupVisible(), c.open);
    EXPECT_EQ(f.edit->Date(), c.date);
  }
  // Open (the last case, one week on): a press on the button takes the date.
  const QPoint button = f.edit->Button()->mapTo(&f.window, f.edit->Button()->rect().center());
  QTest::mouseClick(f.window.windowHandle(), Qt::LeftButton, {}, button);
  QApplication::processEvents();
  EXPECT_FALSE(f.edit->PopupVisible());
  EXPECT_FALSE(f.edit->Popup()->isVisible());
  EXPECT_EQ(f.edit->Date(), D(1998, 3, 12));
  // A press elsewhere (the form's margin above the edit) closes it leaving the date.
  f.edit->OpenDropDown();
  QTest::keyClick(f.edit->Popup()->windowHandle(), Qt::Key_Right);
  QTest::mouseClick(f.window.windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
  QApplication::processEvents();
  EXPECT_FALSE(f.edit->PopupVisible());
  EXPECT_EQ(f.edit->Date(), D(1998, 3, 12));
}

// A press outside the open calendar closes it and reaches the control
// there at once: one click picks «Любая» beside the date.
TEST(DateEdit, APressOutsideTheCalendarReachesTheControlThere) {
  Env env;
  Form f;
  auto* any = new QRadioButton("Any", &f.window);
  auto* range = new QRadioButton("Range", &f.window);
  range->setChecked(true);
  auto* rows = static_cast<QVBoxLayout*>(f.window.layout());
  rows->insertWidget(0, any);  // above the edit: the calendar drops down below it
  rows->insertWidget(1, range);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  f.edit->SetDate(D(1998, 3, 5));
  f.edit->OpenDropDown();
  ASSERT_EQ(QApplication::activePopupWidget(), f.edit->Popup());
  QTest::keyClick(f.edit->Popup()->windowHandle(), Qt::Key_Right);
  const QPoint at = any->mapTo(&f.window, QPoint(6, any->height() / 2));
  QTest::mousePress(f.window.windowHandle(), Qt::LeftButton, {}, at);
  QApplication::processEvents();
  EXPECT_FALSE(f.edit->PopupVisible());
  EXPECT_TRUE(any->isDown());
  QTest::mouseRelease(f.window.windowHandle(), Qt::LeftButton, {}, at);
  QApplication::processEvents();
  EXPECT_TRUE(any->isChecked());
  EXPECT_FALSE(range->isChecked());
  EXPECT_TRUE(any->hasFocus());
  EXPECT_EQ(f.edit->Date(), D(1998, 3, 5));  // the calendar's day left alone
}

// Without a locale of its own (LANG=C) the date edit writes 08.12.26 and
// its calendar speaks Russian, as the rest of the program does.
TEST(DateEdit, WithoutALocaleOfItsOwnTheEditTakesTheProgramsForm) {
  Env env;
  const std::string old = std::setlocale(LC_TIME, nullptr);
  std::setlocale(LC_TIME, "C");
  SetDateLocale(SystemDateLocale());
  std::setlocale(LC_TIME, old.c_str());
  Form f;
  f.edit->SetDate(D(2026, 12, 8));
  EXPECT_EQ(f.edit->text(), "08.12.26");
  f.edit->OpenDropDown();
  auto* popup = qobject_cast<TPopupCalendar*>(f.edit->Popup());
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->Title()->text(), QString::fromUtf8("Декабрь, 2026"));
  EXPECT_EQ(popup->Calendar()->CellCaption(0, 0), QString::fromUtf8("Пн"));
  f.edit->CloseDropDown(f.edit, false);
  f.edit->setText("31.12.25");
  EXPECT_EQ(f.edit->Date(), D(2025, 12, 31));
}

TEST(DateEdit, DialogStyleAndSettings) {
  Env env;
  Form f;
  f.edit->SetCalendarHints({"a", "b", "c", "d", "e", "f", "g"});
  EXPECT_EQ(f.edit->CalendarHints().size(), 4);
  f.edit->SetCalendarStyle(TCalendarStyle::csDialog);
  EXPECT_EQ(f.edit->Popup(), nullptr);
  SetModalHook([&](QWidget* w) {
    auto* dialog = qobject_cast<TSelectDateDlg*>(w);
    dialog->Calendar->SetCalendarDate(D(2001, 9, 11) - 2);
    return int(QDialog::Accepted);
  });
  int asked = 0;
  f.edit->OnAcceptDate = [&](TCustomDateEdit*, TDateTime& date, bool&) {
    ++asked;
    date += 1;
  };
  QTest::mouseClick(f.edit->Button(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(f.edit->text(), "10.09.2001");
}

TEST(DateEdit, CheckOnExitReportsAnInvalidDate) {
  Env env;
  platform::ScriptedPrompter prompter;
  platform::SetPrompter(&prompter);
  Form f;
  f.edit->CheckOnExit = true;
  f.edit->setText("31.02.1999");
  f.other->setFocus();
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "''31.02.1999'' is not a valid date");
  f.edit->setText("5.3.1999");
  f.edit->setFocus();
  f.other->setFocus();
  EXPECT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(f.edit->Date(), D(1999, 3, 5));
  // Dropping the calendar down (it takes the keyboard) is no leaving:
  // nothing is asked of a text that is no date.
  f.edit->setText("31.02.1999");
  f.edit->setFocus();
  f.edit->OpenDropDown();
  EXPECT_TRUE(f.edit->PopupVisible());
  EXPECT_EQ(prompter.Questions().size(), 1u);
  f.edit->CloseDropDown(f.edit, false);
  platform::SetPrompter(nullptr);
}

}  // namespace
}  // namespace velmaris::test
