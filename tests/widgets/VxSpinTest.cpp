// The spin edit driven by keys and the mouse: stepping, clamping on leaving,
// refused characters, the diagonal button's halves and its repeat, and the
// dialog keys.
#include "widgets/VxSpin.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace velmaris::test {
namespace {

struct Form {
  QDialog dialog;
  TVxSpinEdit* spin = new TVxSpinEdit(&dialog);
  QLineEdit* other = new QLineEdit(&dialog);
  QPushButton* ok = new QPushButton("OK", &dialog);
  Form() {
    spin->setObjectName("Zone");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(spin);
    layout->addWidget(other);
    layout->addWidget(ok);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    dialog.show();
    spin->setFocus();
    QApplication::setActiveWindow(&dialog);
  }
};

struct KeyCase {
  const char* name;
  const char* text;
  double min, max, inc;
  TValueType type;
  bool editorEnabled;
  const char* keys;  // U = Up, D = Down, other characters typed
  const char* expected;
  int changes, tops, bottoms;
};

class SpinKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SpinKeys, StepAndType) {
  const KeyCase& c = GetParam();
  Form f;
  f.spin->SetValueType(c.type);
  f.spin->setText(c.text);
  f.spin->SetMinValue(c.min);
  f.spin->SetMaxValue(c.max);
  f.spin->SetIncrement(c.inc);
  f.spin->SetEditorEnabled(c.editorEnabled);
  f.spin->end(false);
  QSignalSpy change(f.spin, &TVxSpinEdit::change), top(f.spin, &TVxSpinEdit::topClick),
      bottom(f.spin, &TVxSpinEdit::bottomClick);
  for (const char* k = c.keys; *k; ++k) {
    if (*k == 'U') {
      QTest::keyClick(f.spin, Qt::Key_Up);
    } else if (*k == 'D') {
      QTest::keyClick(f.spin, Qt::Key_Down);
    } else {
      QTest::keyClicks(f.spin, QString(QChar(*k)));
    }
  }
  EXPECT_EQ(f.spin->text(), c.expected);
  EXPECT_EQ(change.count(), c.changes);
  EXPECT_EQ(top.count(), c.tops);
  EXPECT_EQ(bottom.count(), c.bottoms);
}

using enum TValueType;
INSTANTIATE_TEST_SUITE_P(
    Spin, SpinKeys,
    ::testing::Values(
        KeyCase{"UpOnce", "5", 0, 10, 1, vtInteger, true, "U", "6", 1, 1, 0},
        KeyCase{"UpAtMax", "10", 0, 10, 1, vtInteger, true, "U", "10", 0, 1, 0},
        KeyCase{"NoRange", "0", 0, 0, 1, vtInteger, true, "DDD", "-3", 3, 0, 3},
        KeyCase{"DownClampsTypedText", "99", 0, 10, 1, vtInteger, true, "D", "10", 1, 0, 1},
        KeyCase{"FloatSteps", "1.00", 0, 0, 0.25, vtFloat, true, "UU", "1.50", 2, 2, 0},
        KeyCase{"DigitsTyped", "5", 0, 0, 1, vtInteger, true, "7a", "57", 1, 0, 0},
        KeyCase{"EditorDisabled", "5", 0, 0, 1, vtInteger, false, "7U", "6", 1, 1, 0}),
    [](const auto& info) { return info.param.name; });

TEST(VxSpinEdit, LeavingPutsOutOfRangeNumbersToTheBound) {
  // The number rules themselves are tested with the spin value; here only
  // that leaving the edit applies them.
  for (auto [typed, after] : {std::pair{"81", "80"}, std::pair{"007", "007"}}) {
    Form f;
    f.spin->SetMinValue(1);
    f.spin->SetMaxValue(80);
    f.spin->setText(typed);
    f.other->setFocus();
    EXPECT_EQ(f.spin->text(), after);
  }
}

TEST(VxSpinEdit, ValueWritesAndTypeChanges) {
  Form f;
  f.spin->SetValue(3.5);
  EXPECT_EQ(f.spin->text(), "4");
  f.spin->SetValueType(vtFloat);
  f.spin->SetValue(1);
  EXPECT_EQ(f.spin->text(), "1.00");
  f.spin->SetIncrement(0.4L);
  f.spin->setText("1.50");
  f.spin->SetValueType(vtInteger);  // "1.50" is no integer: it reads as MinValue
  EXPECT_EQ(f.spin->text(), "0");
  EXPECT_EQ(f.spin->Increment(), 1);
  f.spin->SetValueType(vtFloat);
  f.spin->SetIncrement(2.6L);
  f.spin->SetValueType(vtInteger);
  EXPECT_EQ(f.spin->Increment(), 3);
  f.spin->setReadOnly(true);
  QTest::keyClick(f.spin, Qt::Key_Up);
  EXPECT_EQ(f.spin->text(), "0");
}

// Made without a parent and put into a layout that has not laid it out yet
// (a page never shown), it asks for no more than an edit's width.
TEST(VxSpinEdit, AnEditNotLaidOutAsksForAnEditsWidth) {
  for (TSpinButtonKind kind : {TSpinButtonKind::bkDiagonal, TSpinButtonKind::bkStandard}) {
    TVxSpinEdit spin;
    spin.SetButtonKind(kind);
    EXPECT_LE(spin.minimumSizeHint().width(), QLineEdit().minimumSizeHint().width() + 40);
  }
}

TEST(VxSpinEdit, DiagonalButtonHalvesAndRepeat) {
  Form f;
  f.dialog.resize(200, 100);
  TVxSpinButton* button = f.spin->SpinButton();
  ASSERT_NE(button, nullptr);
  const int w = button->width(), h = button->height();
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(f.spin->text(), "1");
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(w - 2, h - 2));
  EXPECT_EQ(f.spin->text(), "0");
  EXPECT_TRUE(button->InUpperHalf(QPoint(w / 2, h - h * (w / 2) / w)));  // on the diagonal
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(button->State(), TSpinButtonState::sbTopDown);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.spin->text() == "4"; }, 20000));
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(button->State(), TSpinButtonState::sbNotDown);
  const QString after = f.spin->text();
  QTest::qWait(300);
  EXPECT_EQ(f.spin->text(), after);
  f.spin->SetButtonKind(TSpinButtonKind::bkStandard);
  ASSERT_NE(f.spin->UpDown(), nullptr);
  EXPECT_EQ(f.spin->SpinButton(), nullptr);
  QTest::mouseClick(f.spin->UpDown(), Qt::LeftButton, {}, QPoint(2, 1));
  EXPECT_EQ(f.spin->Value(), after.toInt() + 1);
}

TEST(VxSpinEdit, EnterReachesTheDefaultButtonAndEscapeTheCancel) {
  Form f;
  QSignalSpy accepted(&f.dialog, &QDialog::accepted), rejected(&f.dialog, &QDialog::rejected);
  QTest::keyClick(f.spin, Qt::Key_Return);
  EXPECT_EQ(accepted.count(), 1);
  f.dialog.show();
  f.spin->setFocus();
  QTest::keyClick(f.spin, Qt::Key_Escape);
  EXPECT_EQ(rejected.count(), 1);
}

}  // namespace
}  // namespace velmaris::test
