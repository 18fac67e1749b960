// Event hooks on a control, and the drawing helpers' cell and text rules.
#include "widgets/VxHook.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include "widgets/VxGraphics.h"

namespace velmaris::test {
namespace {

struct Hooked {
  QLineEdit edit;
  TVxWindowHook first, second;
  std::vector<std::string> log;
  bool secondHandles = false;
  Hooked() {
    auto record = [this](const char* name, bool handle) {
      return [this, name, handle](QObject*, QEvent* e, bool& handled) {
        if (e->type() != QEvent::KeyPress) return;
        log.push_back(name);
        if (handle && secondHandles) handled = true;
      };
    };
    first.BeforeMessage = record("first", false);
    second.BeforeMessage = record("second", true);
    first.SetWinControl(&edit);
    second.SetWinControl(&edit);
  }
};

TEST(WindowHook, LastAttachedSeesFirstAndMayStopTheEvent) {
  Hooked h;
  QTest::keyClicks(&h.edit, "a");
  EXPECT_EQ(h.log, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(h.edit.text(), "a");
  h.log.clear();
  h.secondHandles = true;
  QTest::keyClicks(&h.edit, "b");
  EXPECT_EQ(h.log, (std::vector<std::string>{"second"}));
  EXPECT_EQ(h.edit.text(), "a");
}

TEST(WindowHook, AfterPhaseSeesTheControlsResult) {
  Hooked h;
  QString seen;
  h.first.AfterMessage = [&](QObject*, QEvent* e, bool&) {
    if (e->type() == QEvent::KeyPress) seen = h.edit.text();
  };
  QTest::keyClicks(&h.edit, "x");
  EXPECT_EQ(seen, "x");
  EXPECT_EQ(h.edit.text(), "x");
}

TEST(WindowHook, InactiveKeepsTheControlAndStopsEvents) {
  Hooked h;
  h.second.SetActive(false);
  EXPECT_EQ(h.second.WinControl(), &h.edit);
  QTest::keyClicks(&h.edit, "a");
  EXPECT_EQ(h.log, (std::vector<std::string>{"first"}));
  h.second.SetActive(true);
  h.log.clear();
  QTest::keyClicks(&h.edit, "a");
  EXPECT_EQ(h.log.size(), 2u);
  auto* edit = new QLineEdit;
  TVxWindowHook hook;
  hook.SetWinControl(edit);
  delete edit;
  EXPECT_EQ(hook.WinControl(), nullptr);
  EXPECT_TRUE(hook.Active());
}

TEST(VxGraphics, CellsPatternAndShortening) {
  QImage strip(30, 20, QImage::Format_RGB32);
  for (int i = 0; i < 6; ++i) {
    QImage cell(10, 10, QImage::Format_RGB32);
    cell.fill(QColor(i * 40, 0, 0));
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x)
        strip.setPixel((i % 3) * 10 + x, (i / 3) * 10 + y, cell.pixel(x, y));
  }
  QPixmap dest;
  CopyImageCell(QPixmap::fromImage(strip), dest, 3, 3, 2);  // Index = Cols: second row, first cell
  EXPECT_EQ(dest.size(), QSize(10, 10));
  EXPECT_EQ(QColor(dest.toImage().pixel(5, 5)).red(), 120);
  CopyImageCell(QPixmap::fromImage(strip), dest, 0, 0, 1);  // Cols 0 counts as 1
  EXPECT_EQ(dest.size(), QSize(30, 20));
  const QImage pattern = CreateTwoColorBrushPattern(Qt::white, Qt::black).toImage();
  EXPECT_EQ(pattern.pixel(0, 0), QColor(Qt::black).rgb());
  EXPECT_EQ(pattern.pixel(1, 0), QColor(Qt::white).rgb());
  EXPECT_EQ(pattern.pixel(1, 1), QColor(Qt::black).rgb());
  const QFontMetrics fm(QApplication::font());
  EXPECT_EQ(ShortenTextToWidth("short", fm, 1000), "short");
  EXPECT_EQ(ShortenTextToWidth("a long text here", fm, 1), "...");
  const QString cut =
      ShortenTextToWidth("a long text here", fm, fm.horizontalAdvance("a long...") + 1);
  EXPECT_EQ(cut, "a long...");
}

}  // namespace
}  // namespace velmaris::test
