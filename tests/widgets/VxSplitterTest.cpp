// The splitter panel dragged with the mouse: which control grows, the limits,
// Escape, a refused position, and picking its neighbour when aligned.
#include "widgets/VxSplitter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace velmaris::test {
namespace {

// A 300 x 300 parent with controls placed by hand as their alignment says.
struct Panel {
  QWidget parent;
  QWidget* first = new QWidget(&parent);
  QWidget* second = new QWidget(&parent);
  TVxSplitter* splitter = new TVxSplitter(&parent);
  Panel(TAlign firstAlign, TAlign secondAlign, TAlign splitAlign, QRect firstRect, QRect secondRect,
        QRect splitRect) {
    parent.resize(300, 300);
    first->setGeometry(firstRect);
    second->setGeometry(secondRect);
    splitter->setGeometry(splitRect);
    SetControlAlign(first, firstAlign);
    SetControlAlign(second, secondAlign);
    SetControlAlign(splitter, splitAlign);
    splitter->SetControlFirst(first);
    splitter->SetControlSecond(second);
    parent.show();
  }
  void Drag(QPoint delta, bool escape = false) {
    const QPoint start(1, 1);
    QTest::mousePress(splitter, Qt::LeftButton, {}, start);
    QTest::mouseMove(splitter, start + delta);
    if (escape) QTest::keyClick(splitter, Qt::Key_Escape);
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, start + delta);
  }
};

Panel TopPanel() {
  using enum TAlign;
  return Panel(alTop, alClient, alTop, {0, 0, 300, 50}, {0, 53, 300, 247}, {0, 50, 300, 3});
}

TEST(Splitter, DraggingDownGrowsTheTopPanel) {
  Panel p = TopPanel();
  EXPECT_EQ(p.splitter->SplitStyle(), 1);
  EXPECT_EQ(p.splitter->cursor().shape(), Qt::SplitVCursor);
  QSignalSpy changed(p.splitter, &TVxSplitter::posChanged);
  p.Drag({0, 30});
  EXPECT_EQ(p.first->height(), 80);
  EXPECT_EQ(changed.count(), 1);
}

TEST(Splitter, LimitsEscapeAndRefusal) {
  Panel p = TopPanel();
  p.Drag({0, 1000});  // the line stops 20 pixels above the bottom edge
  EXPECT_EQ(p.first->height(), 50 + (300 - 20 - 1) - (50 + 1));
  Panel q = TopPanel();
  q.Drag({0, 30}, true);
  EXPECT_EQ(q.first->height(), 50);
  Panel r = TopPanel();
  r.splitter->OnPosChanging = [](QObject*, int, int, bool& allow) { allow = false; };
  r.Drag({0, 30});
  EXPECT_EQ(r.first->height(), 50);
}

TEST(Splitter, ClientFirstAndRightSecondWidensTheSecond) {
  using enum TAlign;
  Panel p(alClient, alRight, alRight, {0, 0, 247, 300}, {250, 0, 50, 300}, {247, 0, 3, 300});
  EXPECT_EQ(p.splitter->SplitStyle(), 4);
  p.Drag({-40, 0});
  EXPECT_EQ(p.second->width(), 90);
}

TEST(Splitter, AligningLeftPicksTheLeftNeighbour) {
  QWidget parent;
  parent.resize(300, 300);
  auto* left = new QWidget(&parent);
  left->setGeometry(0, 0, 50, 300);
  SetControlAlign(left, TAlign::alLeft);
  auto* splitter = new TVxSplitter(&parent);
  splitter->setGeometry(50, 0, 10, 300);
  splitter->SetAlign(TAlign::alLeft);
  EXPECT_EQ(splitter->ControlFirst(), left);
  EXPECT_EQ(splitter->width(), 3);
  EXPECT_EQ(splitter->SplitStyle(), 3);
}

}  // namespace
}  // namespace velmaris::test
