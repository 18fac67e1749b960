// The text viewer as a widget: wrapping to its width, scrolling by keys and
// wheel, selecting with the mouse (also beyond the bottom edge) and copying.
#include "widgets/TextView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

std::string E(int code) { return std::string{27, static_cast<char>(code)}; }

struct View {
  TTextView view;
  View(int paragraphs, int width = 300, int height = 200) {
    std::vector<std::string> texts, prefixes;
    for (int i = 0; i < paragraphs; ++i) {
      texts.push_back("line " + std::to_string(i) + E(8));
      prefixes.push_back(E(128));
    }
    view.resize(width, height);
    view.show();
    view.SetText(prefixes, texts);
    view.setFocus();
    QApplication::processEvents();
  }
  QWidget* vp() { return view.viewport(); }
  QPoint LinePoint(int line, int x) {
    return {x, (line - view.TopIndex()) * view.LineHeight() + view.LineHeight() / 2};
  }
};

TEST(TextView, KeysAndWheelScrollWithinTheLines) {
  View v(200);
  ASSERT_GT(v.view.PageLines(), 2);
  EXPECT_TRUE(v.view.verticalScrollBar()->isVisible());
  struct Step {
    int key;
    int top;
  };
  const int page = v.view.PageLines(), maxTop = 200 - page;
  for (Step s : {Step{Qt::Key_PageDown, page},
                 {Qt::Key_Down, page + 1},
                 {Qt::Key_Up, page},
                 {Qt::Key_End, maxTop},
                 {Qt::Key_Down, maxTop},
                 {Qt::Key_Home, 0},
                 {Qt::Key_Up, 0}}) {
    QTest::keyClick(&v.view, static_cast<Qt::Key>(s.key));
    EXPECT_EQ(v.view.TopIndex(), s.top) << s.key;
  }
  QWheelEvent wheel(QPointF(10, 10), v.vp()->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v.vp(), &wheel);
  EXPECT_EQ(v.view.TopIndex(), 3);
  EXPECT_EQ(v.view.verticalScrollBar()->value(), 3);
}

TEST(TextView, FewLinesHideTheScrollBarAndKeepTheTop) {
  View v(3);
  EXPECT_FALSE(v.view.verticalScrollBar()->isVisible());
  QTest::keyClick(&v.view, Qt::Key_End);
  EXPECT_EQ(v.view.TopIndex(), 0);
}

TEST(TextView, ResizingRewrapsTheParagraphs) {
  View v(0, 400);
  v.view.SetText({E(129) + "AB> "}, {"alpha beta gamma delta epsilon zeta eta theta iota"});
  ASSERT_EQ(v.view.LineCount(), 1);
  v.view.resize(120, 200);
  QApplication::processEvents();
  ASSERT_GT(v.view.LineCount(), 2);
  for (const TDisplayLine& line : v.view.Lines())
    EXPECT_TRUE(line.text.starts_with(E(129) + "AB> "));
}

TEST(TextView, DragSelectsAndCopiesPlainText) {
  View v(0);
  const std::string russian = platform::FromUtf8("Привет", platform::AnsiCodePage());
  v.view.SetText({E(129) + "> ", "", ""}, {E(1) + "one" + E(2), "two", russian + E(8)});
  QTest::mousePress(v.vp(), Qt::LeftButton, {}, v.LinePoint(0, 0));
  QTest::mouseMove(v.vp(), v.LinePoint(2, 1000));
  QTest::mouseRelease(v.vp(), Qt::LeftButton, {}, v.LinePoint(2, 1000));
  ASSERT_TRUE(v.view.HasSelection());
  QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("> one\r\ntwo\r\nПривет"));
  EXPECT_EQ(v.view.ParagraphSelection(), (TTextSelection{{0, 0}, {2, 8}}));
}

TEST(TextView, DraggingBelowTheViewScrollsAndExtends) {
  View v(100);
  QTest::mousePress(v.vp(), Qt::LeftButton, {}, v.LinePoint(0, 0));
  QTest::mouseMove(v.vp(), QPoint(5, v.vp()->height() + 20));
  const int last = v.view.PageLines() - 1;
  for (int tick = 1; tick <= 3; ++tick) {
    // The 50 ms timer's step, taken directly rather than waited for.
    QMetaObject::invokeMethod(&v.view, "AutoScrollTick");
    EXPECT_EQ(v.view.TopIndex(), tick);
    EXPECT_GE(v.view.Selection().end.line, last + tick);
  }
  QTest::mouseRelease(v.vp(), Qt::LeftButton, {}, v.LinePoint(4, 0));
  EXPECT_EQ(v.view.Selection().end.line, 4);
}

TEST(TextView, FindSelectsEachHitInTurn) {
  View v(0);
  v.view.SetText({}, {"a cat and a cat", "no dog"});
  ASSERT_TRUE(v.view.FindNext("CAT", false, true));
  EXPECT_EQ(v.view.Selection(), (TTextSelection{{0, 2}, {0, 5}}));
  ASSERT_TRUE(v.view.FindNext("CAT", false, true));
  EXPECT_EQ(v.view.Selection().anchor, (TTextPos{0, 12}));
  EXPECT_FALSE(v.view.FindNext("CAT", false, true));
}

}  // namespace
}  // namespace velmaris::test
