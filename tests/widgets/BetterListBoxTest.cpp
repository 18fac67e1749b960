// The list box as a widget: geometry, scroll bars, keys and mouse through
// real events, the header's press and resize, column widths in INI files.
#include "widgets/BetterListBox.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// A shown list box of 300 x 200 pixels with three columns.
struct Box {
  TBetterListBox box;
  explicit Box(int count, bool headers = true, bool multi = false) {
    box.setObjectName("AreaList");
    box.Columns().Add("Area", 100);
    box.Columns().Add("Count", 60, 1);
    box.Columns().Add("New", 60, 2);
    box.SetShowColumnHeaders(headers);
    box.SetMultiSelect(multi);
    box.resize(300, 200);
    box.show();
    box.SetCount(count);
    box.setFocus();
    QApplication::processEvents();
  }
  QWidget* vp() { return box.viewport(); }
  QPoint RowPoint(int row, int x = 20) {
    return QPoint(x,
                  box.RowsTop() + (row - box.TopIndex()) * box.ItemHeight() + box.ItemHeight() / 2);
  }
};

TEST(BetterListBox, ItemHeightFollowsFontAndBounds) {
  Box b(10);
  const int text = QFontMetrics(b.box.font()).height();
  EXPECT_EQ(b.box.ItemHeight(), text + 2);
  b.box.SetCellBorder(3);
  EXPECT_EQ(b.box.ItemHeight(), text + 6);
  b.box.SetMaxItemHeight(12);
  EXPECT_EQ(b.box.ItemHeight(), 12);
  b.box.SetMaxItemHeight(1000);
  b.box.SetMinItemHeight(40);
  EXPECT_EQ(b.box.ItemHeight(), 40);
  b.box.SetMinItemHeight(2);
  QFont big = b.box.font();
  big.setPixelSize(50);
  b.box.setFont(big);
  EXPECT_EQ(b.box.ItemHeight(), QFontMetrics(big).height() + 6);
}

struct GeometryCase {
  const char* name;
  bool headers;
  int top;
  int row;
  bool inView;
};

class RowGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(RowGeometry, RectAndPointAgree) {
  const GeometryCase& c = GetParam();
  Box b(1000, c.headers);
  b.box.SetTopIndex(c.top);
  QRect rect;
  ASSERT_EQ(b.box.GetItemRect(c.row, rect), c.inView);
  if (!c.inView) return;
  const int headerHeight = c.headers ? b.box.Columns().HeaderHeight() : 0;
  EXPECT_EQ(rect.top(), headerHeight + (c.row - c.top) * b.box.ItemHeight());
  EXPECT_EQ(rect.height(), b.box.ItemHeight());
  EXPECT_EQ(rect.width(), std::max(220, b.vp()->width()));
  EXPECT_EQ(b.box.ItemAtPos(5, rect.top()), c.row);
  EXPECT_EQ(b.box.ItemAtPos(5, rect.bottom()), c.row);
}

INSTANTIATE_TEST_SUITE_P(ListBox, RowGeometry,
                         ::testing::Values(GeometryCase{"FirstRow", true, 0, 0, true},
                                           GeometryCase{"FirstRowNoHeader", false, 0, 0, true},
                                           GeometryCase{"ScrolledRow", true, 500, 503, true},
                                           GeometryCase{"AboveTop", true, 500, 499, false},
                                           GeometryCase{"FarBelow", true, 0, 400, false},
                                           GeometryCase{"NotARow", true, 0, 1000, false},
                                           GeometryCase{"Negative", true, 0, -1, false}),
                         [](const ::testing::TestParamInfo<GeometryCase>& info) {
                           return info.param.name;
                         });

TEST(BetterListBox, PointsOutsideRowsHitNothing) {
  Box b(3);
  EXPECT_EQ(b.box.ItemAtPos(10, 1), -1);  // header
  EXPECT_EQ(b.box.ItemAtPos(10, b.box.RowsTop() + 3 * b.box.ItemHeight() + 1), -1);
  EXPECT_NE(b.box.ColumnAtPos(10, 1), nullptr);
  EXPECT_EQ(b.box.ColumnAtPos(10, b.box.RowsTop() + 1), nullptr);
  EXPECT_EQ(b.box.ColumnAtPos(250, 1), nullptr);  // beyond the last column
  EXPECT_EQ(b.box.ColumnAtPos(120, 1), b.box.Columns().GetItem(1));
}

TEST(BetterListBox, VerticalScrollBarCoversAllRows) {
  Box b(100);
  QScrollBar* bar = b.box.verticalScrollBar();
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum() + bar->pageStep(), 100);
  EXPECT_EQ(bar->pageStep(), b.box.FullRows());
  b.box.SetCount(3);
  EXPECT_EQ(bar->maximum(), 0);
}

TEST(BetterListBox, ThumbAtBottomShowsLastPage) {
  for (int count : {40000, 1000000}) {
    Box b(count);
    QScrollBar* bar = b.box.verticalScrollBar();
    bar->setValue(bar->maximum());
    EXPECT_EQ(b.box.TopIndex(), b.box.MaxTopIndex());
    EXPECT_EQ(b.box.TopIndex() + b.box.FullRows(), count);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(b.box.TopIndex(), b.box.MaxTopIndex() - b.box.FullRows());
  }
}

TEST(BetterListBox, HorizontalScrollingMovesColumns) {
  Box b(10);
  b.box.Columns().GetItem(0)->SetWidth(500);
  QScrollBar* bar = b.box.horizontalScrollBar();
  EXPECT_EQ(bar->maximum(), 620 - b.vp()->width());
  bar->setValue(100);
  EXPECT_EQ(b.box.HorzPos(), 100);
  EXPECT_EQ(b.box.ColumnAtPos(10, 1), b.box.Columns().GetItem(0));
  EXPECT_EQ(b.box.ColumnAtPos(450, 1), b.box.Columns().GetItem(1));
  QRect rect;
  ASSERT_TRUE(b.box.GetItemRect(0, rect));
  EXPECT_EQ(rect.left(), -100);
  b.box.Columns().GetItem(0)->SetWidth(10);
  EXPECT_EQ(b.box.HorzPos(), 0);
}

TEST(BetterListBox, PaintsOnlyVisibleRows) {
  Box b(1000000);
  std::set<int> asked;
  b.box.OnGetData = [&](TCustomBetterListBox*, int row, int, int&, int&, QString& caption) {
    asked.insert(row);
    caption = row % 7 == 0 ? QStringLiteral("!SEP!") : QString::number(row);
  };
  b.box.SetTopIndex(500000);
  (void)b.box.grab();
  ASSERT_FALSE(asked.empty());
  EXPECT_GE(*asked.begin(), 500000);
  EXPECT_LE(*asked.rbegin(), 500000 + b.box.VisibleRows());
}

struct KeyCase {
  const char* name;
  bool multi;
  std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;
  int item;
  int focus;
  int selected;
};

class Keys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Keys, RealKeyEventsMoveSelection) {
  const KeyCase& c = GetParam();
  Box b(100, true, c.multi);
  QSignalSpy clicks(&b.box, &TCustomBetterListBox::clicked);
  for (auto [key, mods] : c.keys) QTest::keyClick(&b.box, static_cast<Qt::Key>(key), mods);
  EXPECT_EQ(b.box.ItemIndex(), c.item);
  EXPECT_EQ(b.box.FocusIndex(), c.focus);
  EXPECT_EQ(b.box.SelectedCount(), c.selected);
  EXPECT_GT(clicks.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ListBox, Keys,
    ::testing::Values(KeyCase{"Down",
                              false,
                              {{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Down, Qt::NoModifier}},
                              1,
                              1,
                              1},
                      KeyCase{"ShiftEnd",
                              true,
                              {{Qt::Key_Home, Qt::NoModifier}, {Qt::Key_End, Qt::ShiftModifier}},
                              99,
                              99,
                              100}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST(BetterListBox, ReturnAndDoubleClickFireDoubleClicked) {
  Box b(10);
  QSignalSpy spy(&b.box, &TCustomBetterListBox::doubleClicked);
  QTest::keyClick(&b.box, Qt::Key_Return);
  QTest::mouseDClick(b.vp(), Qt::LeftButton, Qt::NoModifier, b.RowPoint(2));
  EXPECT_EQ(spy.count(), 2);
  QTest::mouseDClick(b.vp(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 2));  // header
  EXPECT_EQ(spy.count(), 2);
}

TEST(BetterListBox, LetterKeySearchesFirstColumn) {
  Box b(4);
  const QStringList names = {"Netmail", "Bad", "nodes", "Dupes"};
  b.box.OnGetData = [&](TCustomBetterListBox*, int row, int col, int&, int&, QString& caption) {
    if (col == 0) caption = names[row];
  };
  QSignalSpy clicks(&b.box, &TCustomBetterListBox::clicked);
  QTest::keyClick(&b.box, Qt::Key_N);
  EXPECT_EQ(b.box.ItemIndex(), 0);
  QTest::keyClick(&b.box, Qt::Key_N);
  EXPECT_EQ(b.box.ItemIndex(), 2);
  QTest::keyClick(&b.box, Qt::Key_B, Qt::ControlModifier);  // not a search key
  EXPECT_EQ(b.box.ItemIndex(), 2);
  EXPECT_EQ(clicks.count(), 2);
}

TEST(BetterListBox, MouseClicksSelect) {
  Box b(50, true, true);
  QSignalSpy clicks(&b.box, &TCustomBetterListBox::clicked);
  QTest::mouseClick(b.vp(), Qt::LeftButton, Qt::NoModifier, b.RowPoint(2));
  QTest::mouseClick(b.vp(), Qt::LeftButton, Qt::ShiftModifier, b.RowPoint(5));
  QTest::mouseClick(b.vp(), Qt::LeftButton, Qt::ControlModifier, b.RowPoint(3));
  EXPECT_EQ(b.box.SelectedCount(), 3);
  EXPECT_FALSE(b.box.Selected(3));
  EXPECT_TRUE(b.box.Selected(2));
  EXPECT_TRUE(b.box.Selected(5));
  EXPECT_EQ(clicks.count(), 2);  // unselecting by Ctrl-click leaves the current row: no click
  QTest::mouseClick(b.vp(), Qt::LeftButton, Qt::NoModifier, b.RowPoint(7));
  EXPECT_EQ(b.box.SelectedCount(), 1);
  EXPECT_EQ(b.box.ItemIndex(), 7);
}

TEST(BetterListBox, DragSelectsRange) {
  Box b(50, true, true);
  QTest::mousePress(b.vp(), Qt::LeftButton, Qt::NoModifier, b.RowPoint(1));
  QTest::mouseMove(b.vp(), b.RowPoint(4));
  QMouseEvent move(QEvent::MouseMove, QPointF(b.RowPoint(4)),
                   b.vp()->mapToGlobal(QPointF(b.RowPoint(4))), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(b.vp(), &move);
  QTest::mouseRelease(b.vp(), Qt::LeftButton, Qt::NoModifier, b.RowPoint(4));
  EXPECT_EQ(b.box.SelectedCount(), 4);
  EXPECT_EQ(b.box.ItemIndex(), 4);
}

TEST(BetterListBox, RightClickEmitsMouseDownWithoutSelecting) {
  Box b(10);
  QSignalSpy spy(&b.box, &TCustomBetterListBox::mouseDown);
  QTest::mouseClick(b.vp(), Qt::RightButton, Qt::NoModifier, b.RowPoint(3));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
  EXPECT_EQ(b.box.ItemAtPos(0, spy.at(0).at(2).toPoint().y()), 3);
  EXPECT_EQ(b.box.ItemIndex(), -1);
}

TEST(BetterListBox, SmallWheelStepsAddUp) {
  Box b(1000);
  auto wheel = [&](int delta) {
    QWheelEvent e(QPointF(20, 40), b.vp()->mapToGlobal(QPointF(20, 40)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(b.vp(), &e);
  };
  wheel(-120);
  EXPECT_EQ(b.box.TopIndex(), 3);
  for (int i = 0; i < 8; ++i) wheel(-15);
  EXPECT_EQ(b.box.TopIndex(), 6);
  wheel(120);
  EXPECT_EQ(b.box.TopIndex(), 3);
}

int HeaderY(TBetterListBox& box) { return box.Columns().HeaderHeight() / 2; }

TEST(BetterListBox, HeaderClickFiresOnlyWhenReleasedOverTheColumn) {
  Box b(10);
  std::vector<int> clicked;
  b.box.OnColumnClick = [&](TCustomBetterListBox* sender, TBLBColumn* column) {
    clicked.push_back(sender->Columns().IndexOf(column));
  };
  QSignalSpy rowClicks(&b.box, &TCustomBetterListBox::clicked);
  const QPoint mid(130, HeaderY(b.box));
  QTest::mousePress(b.vp(), Qt::LeftButton, Qt::NoModifier, mid);
  EXPECT_TRUE(b.box.Columns().GetItem(1)->Pressed());
  QTest::mouseRelease(b.vp(), Qt::LeftButton, Qt::NoModifier, mid);
  EXPECT_FALSE(b.box.Columns().GetItem(1)->Pressed());
  EXPECT_EQ(clicked, std::vector<int>{1});

  QTest::mousePress(b.vp(), Qt::LeftButton, Qt::NoModifier, mid);
  QMouseEvent away(QEvent::MouseMove, QPointF(30, HeaderY(b.box)),
                   b.vp()->mapToGlobal(QPointF(30, 5)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(b.vp(), &away);
  EXPECT_FALSE(b.box.Columns().GetItem(1)->Pressed());
  QTest::mouseRelease(b.vp(), Qt::LeftButton, Qt::NoModifier, QPoint(30, HeaderY(b.box)));
  EXPECT_EQ(clicked, std::vector<int>{1});
  EXPECT_EQ(rowClicks.count(), 0);
  EXPECT_EQ(b.box.ItemIndex(), -1);
}

void DragHeader(Box& b, int from, int to) {
  const int y = HeaderY(b.box);
  QTest::mousePress(b.vp(), Qt::LeftButton, Qt::NoModifier, QPoint(from, y));
  QMouseEvent move(QEvent::MouseMove, QPointF(to, y), b.vp()->mapToGlobal(QPointF(to, y)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(b.vp(), &move);
  QTest::mouseRelease(b.vp(), Qt::LeftButton, Qt::NoModifier, QPoint(to, y));
}

std::vector<int> Widths(TBetterListBox& box) {
  std::vector<int> widths;
  for (int i = 0; i < box.Columns().GetCount(); ++i)
    widths.push_back(box.Columns().GetItem(i)->Width());
  return widths;
}

TEST(BetterListBox, DraggingABorderResizesTheColumnLeftOfIt) {
  struct Case {
    const char* what;
    std::vector<int> widths;
    int press, release;
    std::vector<int> expected;
  } cases[] = {
      {"3 px left of a border", {100, 60, 60}, 97, 147, {150, 60, 60}},
      {"5 px right of a border", {100, 60, 60}, 105, 75, {70, 60, 60}},
      {"right of the last border", {100, 60, 60}, 225, 255, {100, 60, 90}},
      {"8 px away is no border", {100, 60, 60}, 92, 150, {100, 60, 60}},
      {"dragged past its left edge", {100, 60, 60}, 98, -400, {0, 60, 60}},
      {"right of a collapsed column's border", {100, 0, 60}, 103, 143, {100, 40, 60}},
      {"left of a collapsed column's border", {100, 0, 60}, 97, 77, {80, 0, 60}},
      {"two collapsed columns", {100, 0, 0}, 104, 134, {100, 0, 30}},
      {"collapsed first column", {0, 60, 60}, 2, 52, {50, 60, 60}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Box b(10);
    int clicked = 0;
    b.box.OnColumnClick = [&](TCustomBetterListBox*, TBLBColumn*) { ++clicked; };
    for (size_t i = 0; i < c.widths.size(); ++i)
      b.box.Columns().GetItem(int(i))->SetWidth(c.widths[i]);
    DragHeader(b, c.press, c.release);
    EXPECT_EQ(Widths(b.box), c.expected);
    EXPECT_EQ(clicked, 0);
  }
}

TEST(BetterListBox, WithoutColumnMoveABorderPressClicksTheColumn) {
  Box b(10);
  bool fired = false;
  b.box.OnColumnClick = [&](TCustomBetterListBox*, TBLBColumn*) { fired = true; };
  b.box.SetColumnMove(false);
  QTest::mouseClick(b.vp(), Qt::LeftButton, Qt::NoModifier, QPoint(98, HeaderY(b.box)));
  EXPECT_EQ(Widths(b.box), (std::vector<int>{100, 60, 60}));
  EXPECT_TRUE(fired);
}

TEST(BetterListBox, HideSelectionDropsHighlightWithoutFocus) {
  Box b(10);
  QWidget other;
  other.setFocusPolicy(Qt::StrongFocus);
  other.show();
  b.box.SetHideSelection(true);
  b.box.SelectItem(1);
  QColor rowBg;
  b.box.OnGetStyles = [&](TCustomBetterListBox*, bool&, QColor&, QColor& bg, int index,
                          TBLBDrawState s) {
    if (index == 1) {
      rowBg = bg;
      EXPECT_TRUE(s.bdsSelected);
      EXPECT_TRUE(s.bdsFocused);
    }
  };
  b.box.activateWindow();
  b.box.setFocus();
  QApplication::processEvents();
  if (b.box.hasFocus()) {
    (void)b.box.grab();
    EXPECT_EQ(rowBg, b.box.HighlightColor());
  }
  b.box.clearFocus();
  QApplication::processEvents();
  ASSERT_FALSE(b.box.hasFocus());
  (void)b.box.grab();
  EXPECT_EQ(rowBg, b.box.Color());
}

TEST(BetterListBox, StylesHookSeesStateAndOverridesColours) {
  Box b(10);
  b.box.SelectItem(2);
  std::map<int, bool> selected;
  b.box.OnGetStyles = [&](TCustomBetterListBox*, bool& bold, QColor&, QColor&, int index,
                          TBLBDrawState s) {
    selected[index] = s.bdsSelected;
    bold = index == 0;
  };
  (void)b.box.grab();
  EXPECT_TRUE(selected.at(2));
  EXPECT_FALSE(selected.at(3));
}

TEST(FitCaption, ShortensWithEllipsisKeepingOneCharacter) {
  const QFontMetrics m(QApplication::font());
  EXPECT_EQ(FitCaption(m, 1000, "Netmail"), "Netmail");
  const QString cut = FitCaption(m, m.horizontalAdvance("Netm..."), "Netmail area");
  EXPECT_TRUE(cut.endsWith("...")) << cut.toStdString();
  EXPECT_LE(m.horizontalAdvance(cut), m.horizontalAdvance("Netm..."));
  EXPECT_EQ(FitCaption(m, 0, "Netmail"), "N...");
  EXPECT_EQ(FitCaption(m, -10, ""), "");
}

TEST(Columns, TotalWidthAndUpdateBracket) {
  TBetterListBox box;
  box.resize(300, 100);
  EXPECT_EQ(box.Columns().TotalWidth(), box.viewport()->width());
  int changes = 0;
  box.Columns().OnChange = [&](TBLBColumns*) { ++changes; };
  box.Columns().BeginUpdate();
  box.Columns().Add("A", 10);
  box.Columns().Add("B", -5);
  box.Columns().GetItem(0)->SetNumGlyphs(0);
  box.Columns().EndUpdate();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(box.Columns().TotalWidth(), 10);
  EXPECT_EQ(box.Columns().GetItem(1)->Width(), 0);
  EXPECT_EQ(box.Columns().GetItem(0)->NumGlyphs(), 1);
}

TEST(Columns, WidthsRoundTripThroughIni) {
  TempDir dir;
  Box a(1);
  a.box.Columns().GetItem(0)->SetWidth(210);
  a.box.Columns().GetItem(2)->SetWidth(0);
  a.box.Columns().SaveWidths(dir / "AreaList.ini");
  EXPECT_EQ(dir.Read("AreaList.ini"), "[Columns]\nWidth0=210\nWidth1=60\nWidth2=0\n");
  Box b(1);
  b.box.Columns().LoadWidths(dir / "AreaList.ini");
  EXPECT_EQ(b.box.Columns().GetItem(0)->Width(), 210);
  EXPECT_EQ(b.box.Columns().GetItem(1)->Width(), 60);
  EXPECT_EQ(b.box.Columns().GetItem(2)->Width(), 0);
}

// The header follows its font: a shown column holds its whole caption after
// a font change; a hidden one stays hidden and a wide one keeps its width.
// Loaded widths are the user's, narrower ones too.
TEST(Columns, ShownColumnsHoldTheirCaptionsWhateverTheFont) {
  TempDir dir;
  dir.Write("w.ini", "[Columns]\nWidth0=3\nWidth1=0\nWidth2=500\n");
  Box b(1);
  TBLBColumns& columns = b.box.Columns();
  columns.GetItem(1)->SetCaption("Unread messages");
  int changes = 0;
  columns.OnChange = [&](TBLBColumns*) { ++changes; };
  auto fits = [&](int i) {
    const TBLBColumn& c = *columns.GetItem(i);
    return c.Width() >= QFontMetrics(columns.Font()).horizontalAdvance(c.Caption()) + 12;
  };
  columns.LoadWidths(dir / "w.ini");
  EXPECT_EQ(columns.GetItem(0)->Width(), 3);
  EXPECT_EQ(columns.GetItem(1)->Width(), 0);
  EXPECT_EQ(columns.GetItem(2)->Width(), 500);
  columns.GetItem(1)->SetWidth(60);
  for (int size : {30, 8, 48}) {
    SCOPED_TRACE(size);
    const std::vector<int> before = {columns.GetItem(0)->Width(), columns.GetItem(1)->Width()};
    QFont font = columns.Font();
    font.setPointSize(size);
    changes = 0;
    columns.SetFont(font);
    EXPECT_EQ(changes, 1);  // one repaint for the font and the widths
    EXPECT_TRUE(fits(0));
    EXPECT_TRUE(fits(1));
    if (size == 8) {
      EXPECT_EQ(columns.GetItem(0)->Width(), before[0]);  // never narrower
      EXPECT_EQ(columns.GetItem(1)->Width(), before[1]);
    }
    EXPECT_EQ(columns.GetItem(2)->Width(), 500);
  }
}

// The sort arrow takes room of its own: a column that holds its caption
// (fitted to a larger font) holds it beside the arrow too, whether the arrow
// comes before or after the font; a column the user made narrower than its
// caption, or hid, stays so.
TEST(Columns, ASortArrowNeverCutsACaptionThatFitted) {
  struct Case {
    const char* name;
    bool arrowFirst;  // the arrow set before the font change
    int width;        // the column's width before (0 hidden, 3 the user's)
    bool fits;
  };
  const Case cases[] = {
      {"arrow after the font", false, 60, true},
      {"arrow before the font", true, 60, true},
      {"narrowed by the user", false, 3, false},
      {"hidden", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Box b(1);
    TBLBColumns& columns = b.box.Columns();
    TBLBColumn& column = *columns.GetItem(0);
    column.SetCaption(QString::fromUtf8("Отправитель"));
    QPixmap arrow(9, 6);
    arrow.fill(Qt::black);
    const bool user = c.width == 3;
    if (c.arrowFirst) column.SetGlyph(arrow);
    if (!user) column.SetWidth(c.width);
    QFont font = columns.Font();
    font.setPointSize(30);
    font.setBold(true);
    if (!user) columns.SetFont(font);
    if (user) column.SetWidth(c.width);
    if (!c.arrowFirst) column.SetGlyph(arrow);
    const int needed = QFontMetrics(columns.Font()).horizontalAdvance(column.Caption()) +
                       arrow.width() + columns.Spacing() + 12;
    EXPECT_EQ(column.Width() >= needed, c.fits) << column.Width() << " < " << needed;
    if (!c.fits) {
      EXPECT_EQ(column.Width(), c.width);
      continue;
    }
    // Without the arrow (sorted by another column) the column keeps its width.
    const int wide = column.Width();
    column.SetGlyph(QPixmap());
    EXPECT_EQ(column.Width(), wide);
  }
}

struct LoadCase {
  const char* name;
  const char* file;
  std::vector<int> widths;
};

class LoadWidths : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadWidths, KeepsSaneWidths) {
  TempDir dir;
  dir.Write("w.ini", GetParam().file);
  Box b(1);
  b.box.Columns().LoadWidths(dir / "w.ini");
  std::vector<int> got;
  for (int i = 0; i < b.box.Columns().GetCount(); ++i)
    got.push_back(b.box.Columns().GetItem(i)->Width());
  EXPECT_EQ(got, GetParam().widths);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, LoadWidths,
    ::testing::Values(LoadCase{"NoSection", "[Other]\nWidth0=5\n", {100, 60, 60}},
                      LoadCase{"NoFile", "", {100, 60, 60}},
                      LoadCase{"Negative", "[Columns]\nWidth1=-40\n", {100, 0, 60}},
                      LoadCase{"Huge", "[Columns]\nWidth0=2000000000\n", {8192, 60, 60}},
                      LoadCase{"Garbage", "[Columns]\nWidth0=abc\nWidth2=77\n", {100, 60, 77}},
                      LoadCase{"ExtraKeysIgnored", "[Columns]\nWidth0=1\nWidth7=9\n", {1, 60, 60}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velmaris::test
