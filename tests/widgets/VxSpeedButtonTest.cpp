// The speed button by mouse: groups, the drop-down menu, auto-repeat, the
// glyph states, and the caption layout.
#include "widgets/VxSpeedButton.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

QPixmap Strip(int cells, int size = 16) {
  QImage img(cells * size, size, QImage::Format_RGB32);
  img.fill(QColor(255, 0, 255));  // the bottom-left pixel: transparent colour
  QPainter p(&img);
  for (int i = 0; i < cells; ++i) p.fillRect(i * size + 4, 4, 8, 8, QColor(40 * i, 0, 200));
  p.end();
  return QPixmap::fromImage(img);
}

struct GroupCase {
  const char* name;
  bool allowAllUp;
  const char* clicks;  // button numbers 0..2
  const char* down;    // which are Down afterwards, as '0'/'1'
};

class Groups : public ::testing::TestWithParam<GroupCase> {};

TEST_P(Groups, OneButtonDown) {
  const GroupCase& c = GetParam();
  QWidget parent;
  TVxSpeedButton* b[3];
  for (int i = 0; i < 3; ++i) {
    b[i] = new TVxSpeedButton(&parent);
    b[i]->setGeometry(i * 30, 0, 25, 25);
    b[i]->SetGroupIndex(1);
  }
  b[0]->SetAllowAllUp(c.allowAllUp);  // shared with the group
  parent.show();
  QSignalSpy clicked(b[0], &QAbstractButton::clicked);
  for (const char* k = c.clicks; *k; ++k) QTest::mouseClick(b[*k - '0'], Qt::LeftButton);
  std::string down;
  for (auto* button : b) down += button->Down() ? '1' : '0';
  EXPECT_EQ(down, c.down);
}

INSTANTIATE_TEST_SUITE_P(SpeedButton, Groups,
                         ::testing::Values(GroupCase{"PressOne", false, "0", "100"},
                                           GroupCase{"PressAnother", false, "01", "010"},
                                           GroupCase{"DownStaysDown", false, "00", "100"},
                                           GroupCase{"AllowAllUpReleases", true, "00", "000"},
                                           GroupCase{"AllowAllUpThenOther", true, "002", "001"}),
                         [](const auto& info) { return info.param.name; });

TEST(SpeedButton, DownOnlyInAGroup) {
  TVxSpeedButton b;
  b.SetDown(true);
  EXPECT_FALSE(b.Down());
  b.SetGroupIndex(3);
  b.SetDown(true);
  EXPECT_TRUE(b.Down());
  EXPECT_EQ(b.PaintState(), TVxButtonState::rbsExclusive);
}

// The press that opens the menu ends as a release does once the menu
// closes: the button clicks only when no item was picked and the pointer is
// still on it.
TEST(SpeedButton, DropDownMenuOpensBelowAndClicksOnlyAsAReleaseWould) {
  const struct {
    const char* what;
    bool pick;
    bool pointerOnButton;
    int clicks;
  } rows[] = {
      {"an item picked below the button", true, false, 0},
      {"an item picked, the pointer back on the button", true, true, 0},
      {"closed by a press on the button", false, true, 1},
      {"closed by a press elsewhere", false, false, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    QWidget parent;
    auto* b = new TVxSpeedButton(&parent);
    b->setGeometry(20, 20, 25, 25);
    QMenu menu;
    QAction* item = menu.addAction("Item");
    b->SetDropDownMenu(&menu);
    parent.show();
    QPoint at;
    SetModalHook([&](QWidget* w) {
      at = w->pos();
      QCursor::setPos(r.pointerOnButton ? b->mapToGlobal(b->rect().center())
                                        : b->mapToGlobal(QPoint(5, b->height() + 12)));
      if (r.pick) item->trigger();
      return 0;
    });
    QSignalSpy triggered(item, &QAction::triggered), clicked(b, &QAbstractButton::clicked);
    QTest::mousePress(b, Qt::LeftButton);
    SetModalHook({});
    EXPECT_EQ(at, b->mapToGlobal(QPoint(-1, b->height())));
    EXPECT_EQ(triggered.count(), r.pick ? 1 : 0);
    EXPECT_EQ(clicked.count(), r.clicks);
    EXPECT_FALSE(b->isDown());
  }
}

TEST(SpeedButton, HoldingRepeatsTheClick) {
  TVxSpeedButton b;
  b.SetAllowTimer(true);
  b.SetInitPause(50);
  b.SetRepeatInterval(10);
  b.show();
  QSignalSpy clicked(&b, &QAbstractButton::clicked);
  QTest::mousePress(&b, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return clicked.count() >= 3; }, 20000));
  QTest::mouseRelease(&b, Qt::LeftButton);
  const int after = clicked.count();
  QTest::qWait(100);
  EXPECT_EQ(clicked.count(), after);
}

TEST(SpeedButton, GlyphStates) {
  TVxButtonGlyph g;
  g.SetGlyph(Strip(4));
  EXPECT_EQ(g.NumGlyphs(), 4);
  g.SetGlyph(Strip(6));
  EXPECT_EQ(g.NumGlyphs(), 1);  // six is more than five
  g.SetGlyph(Strip(1));
  const QImage up = g.StateImage(TVxButtonState::rbsUp).toImage();
  const QImage inactive = g.StateImage(TVxButtonState::rbsInactive).toImage();
  const QImage disabled = g.StateImage(TVxButtonState::rbsDisabled).toImage();
  EXPECT_EQ(qAlpha(up.pixel(0, 0)), 0);  // transparent colour left out
  const QRgb grey = inactive.pixel(6, 6);
  EXPECT_TRUE(qRed(grey) == qGreen(grey) && qGreen(grey) == qBlue(grey));
  EXPECT_NE(up.pixel(6, 6), inactive.pixel(6, 6));
  EXPECT_NE(disabled.pixel(6, 6), up.pixel(6, 6));
  EXPECT_EQ(qAlpha(disabled.pixel(0, 0)), 0);
}

TEST(SpeedButton, CaptionLayout) {
  const QFontMetrics fm(QApplication::font());
  const QRect client(0, 0, 60, 24);
  // Margin and Spacing -1: equal gaps around glyph and caption.
  const auto lay = CalcButtonLayout(client, QSize(16, 16), "Ab", fm, TButtonLayout::blGlyphLeft, -1,
                                    -1, false, false, TAlignment::taCenter);
  const int gap1 = lay.glyph.left(), gap2 = lay.text.left() - lay.glyph.right() - 1,
            gap3 = client.width() - lay.text.right() - 1;
  EXPECT_LE(std::abs(gap1 - gap2), 1);
  EXPECT_LE(std::abs(gap1 - gap3), 2);
  const auto narrow =
      CalcButtonLayout(client, QSize(16, 16), "A very long caption", fm, TButtonLayout::blGlyphLeft,
                       -1, 1, false, false, TAlignment::taCenter);
  EXPECT_TRUE(narrow.caption.endsWith("..."));
  EXPECT_LE(fm.horizontalAdvance(narrow.caption), 60 - 16 - 1);
}

}  // namespace
}  // namespace velmaris::test
