// The string-fed list box: cell parsing, sorting by a clicked column, the
// selection following its rows, the header glyphs.
#include "widgets/EZBetterListBox.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

struct CellCase {
  const char* name;
  const char* row;
  int col;
  int image, overlay;
  const char* caption;
};

class Cells : public ::testing::TestWithParam<CellCase> {};

TEST_P(Cells, ParsesTabsAndBrackets) {
  const CellCase& c = GetParam();
  int image = -1, overlay = -1;
  QString caption = "old";
  ParseListCell(QString::fromUtf8(c.row), c.col, image, overlay, caption);
  EXPECT_EQ(image, c.image);
  EXPECT_EQ(overlay, c.overlay);
  EXPECT_EQ(caption, QString::fromUtf8(c.caption));
}

INSTANTIATE_TEST_SUITE_P(
    EZ, Cells,
    ::testing::Values(CellCase{"ImageAndOverlay", "[3][1]Name\t12", 0, 3, 1, "Name"},
                      CellCase{"SecondCell", "[3][1]Name\t12", 1, -1, -1, "12"},
                      CellCase{"MissingCell", "[3][1]Name\t12", 2, -1, -1, ""},
                      CellCase{"NotANumber", "[x]Text", 0, -1, -1, "Text"},
                      CellCase{"BadOverlayDropsImage", "[2][y]Text", 0, -1, -1, "Text"},
                      CellCase{"ImageOnly", "[2]", 0, 2, -1, ""},
                      CellCase{"NoClosingBracket", "[2", 0, -1, -1, "[2"},
                      CellCase{"LoneBracket", "[", 0, -1, -1, "["},
                      CellCase{"EmptyBrackets", "[]Text", 0, -1, -1, "Text"},
                      CellCase{"NoTab", "whole row", 0, -1, -1, "whole row"},
                      CellCase{"NoTabSecondColumn", "whole row", 1, -1, -1, ""},
                      CellCase{"EmptyMiddle", "a\t\tc", 1, -1, -1, ""},
                      CellCase{"LastCell", "a\t\tc", 2, -1, -1, "c"},
                      CellCase{"Separator", "!SEP!\t!SEP!", 1, -1, -1, "!SEP!"},
                      CellCase{"Cyrillic", "Эха\t1", 0, -1, -1, "Эха"}),
    [](const ::testing::TestParamInfo<CellCase>& info) { return info.param.name; });

struct Ez {
  TEZBetterListBox box;
  Ez() {
    box.setObjectName("AreaList");
    box.Columns().Add("Area", 100);
    box.Columns().Add("Count", 60, 1);
    box.SetShowColumnHeaders(true);
    box.SetMultiSelect(true);
    box.resize(300, 200);
    box.show();
    box.SetItems({"NETMAIL\t5", "bad\t12", "Dupes\t1", "ru.fido\t300", "Alpha\t5"});
    QApplication::processEvents();
  }
  QStringList Column0() const {
    QStringList out;
    for (const QString& s : box.Items()) out << s.section('\t', 0, 0);
    return out;
  }
  void ClickHeader(int col) {
    int x = 0;
    for (int i = 0; i < col; ++i) x += box.Columns().GetItem(i)->Width();
    x += box.Columns().GetItem(col)->Width() / 2;
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 4));
  }
};

TEST(EZBetterListBox, CountFollowsItems) {
  Ez e;
  EXPECT_EQ(e.box.Count(), 5);
  e.box.AddItem("x");
  EXPECT_EQ(e.box.Count(), 6);
  e.box.DeleteItem(0);
  e.box.DeleteItem(99);
  EXPECT_EQ(e.box.Count(), 5);
  e.box.BeginUpdate();
  e.box.ClearItems();
  e.box.AddItem("one");
  e.box.EndUpdate();
  EXPECT_EQ(e.box.Count(), 1);
}

TEST(EZBetterListBox, ReplacingARowKeepsSelection) {
  Ez e;
  e.box.SelectItem(2);
  e.box.SetItem(2, "Dupes\t2");
  EXPECT_EQ(e.box.ItemIndex(), 2);
  EXPECT_TRUE(e.box.Selected(2));
}

TEST(EZBetterListBox, ClickedColumnSortsAscendingThenDescending) {
  Ez e;
  e.box.SetSorted(true);
  EXPECT_EQ(e.Column0(), (QStringList{"Alpha", "bad", "Dupes", "NETMAIL", "ru.fido"}));
  e.ClickHeader(1);
  EXPECT_EQ(e.box.SortColumn(), 1);
  EXPECT_FALSE(e.box.SortDescending());
  // Captions compare as text: "1" < "12" < "300" < "5" = "5" (equal ones keep their order).
  EXPECT_EQ(e.Column0(), (QStringList{"Dupes", "bad", "ru.fido", "Alpha", "NETMAIL"}));
  e.ClickHeader(1);
  EXPECT_TRUE(e.box.SortDescending());
  EXPECT_EQ(e.Column0(), (QStringList{"Alpha", "NETMAIL", "ru.fido", "bad", "Dupes"}));
  e.ClickHeader(1);
  EXPECT_FALSE(e.box.SortDescending());
  e.box.SetSortDescending(true);
  e.ClickHeader(0);
  EXPECT_EQ(e.box.SortColumn(), 0);
  EXPECT_FALSE(e.box.SortDescending());
  EXPECT_EQ(e.Column0(), (QStringList{"Alpha", "bad", "Dupes", "NETMAIL", "ru.fido"}));
}

TEST(EZBetterListBox, UnsortedColumnClickChangesOnlyTheSortSettings) {
  Ez e;
  bool fired = false;
  e.box.OnColumnClick = [&](TCustomBetterListBox*, TBLBColumn*) { fired = true; };
  const QStringList before = e.box.Items();
  e.ClickHeader(1);
  EXPECT_FALSE(fired);  // the sort takes the click
  EXPECT_EQ(e.box.SortColumn(), 1);
  e.ClickHeader(1);
  EXPECT_TRUE(e.box.SortDescending());
  EXPECT_EQ(e.box.Items(), before);
}

TEST(EZBetterListBox, SelectionFollowsSortedRows) {
  Ez e;
  e.box.SelectItem(1);  // bad
  QTest::mouseClick(e.box.viewport(), Qt::LeftButton, Qt::ControlModifier,
                    QPoint(20, e.box.RowsTop() + 3 * e.box.ItemHeight() + 2));  // ru.fido
  e.box.SetSorted(true);
  ASSERT_EQ(e.Column0(), (QStringList{"Alpha", "bad", "Dupes", "NETMAIL", "ru.fido"}));
  EXPECT_EQ(e.box.FocusIndex(), 4);
  EXPECT_TRUE(e.box.Selected(1));
  EXPECT_TRUE(e.box.Selected(4));
  EXPECT_EQ(e.box.SelectedCount(), 2);
  e.box.SetSortDescending(true);
  EXPECT_EQ(e.box.FocusIndex(), 0);
  EXPECT_TRUE(e.box.Selected(0));
  EXPECT_TRUE(e.box.Selected(3));
}

TEST(EZBetterListBox, SortedListSortsNewRowsButNotByAMissingColumn) {
  Ez e;
  const QStringList before = e.box.Items();
  e.box.SetSortColumn(5);
  e.box.SetSorted(true);
  EXPECT_EQ(e.box.Items(), before);
  e.box.SetSortColumn(0);
  e.box.AddItem("Zeta\t1");
  e.box.AddItem("Beta\t1");
  EXPECT_EQ(e.Column0(),
            (QStringList{"Alpha", "bad", "Beta", "Dupes", "NETMAIL", "ru.fido", "Zeta"}));
}

// Names sort as everywhere else in the program: by their ANSI bytes without
// case, the extra Cyrillic letters right after the letter they follow.
struct NameOrderCase {
  const char* name;
  platform::CodePage ansi;
  std::vector<const char*> rows;    // in the order they are given
  std::vector<const char*> sorted;  // ascending
};

class NameOrder : public ::testing::TestWithParam<NameOrderCase> {
 protected:
  void SetUp() override {
    saved_ = platform::AnsiCodePage();
    platform::SetAnsiCodePage(GetParam().ansi);
  }
  void TearDown() override { platform::SetAnsiCodePage(saved_); }
  static QStringList List(const std::vector<const char*>& names) {
    QStringList out;
    for (const char* n : names) out << QString::fromUtf8(n);
    return out;
  }
  platform::CodePage saved_ = platform::CodePage::CP1251;
};

TEST_P(NameOrder, AscendingAndDescendingByTheClickedColumn) {
  const NameOrderCase& c = GetParam();
  Ez e;
  // The names in the second column, behind an image prefix; the first
  // column holds a number, so that the order comes from the names alone.
  QStringList rows;
  for (int i = 0; i < static_cast<int>(c.rows.size()); ++i)
    rows << QString::number(i) + "\t[1]" + QString::fromUtf8(c.rows[static_cast<size_t>(i)]);
  e.box.SetItems(rows);
  e.box.SetSorted(true);
  e.ClickHeader(1);
  const auto names = [&e] {
    QStringList out;
    for (const QString& s : e.box.Items()) out << s.section('\t', 1).mid(3);
    return out;
  };
  const QStringList ascending = List(c.sorted);
  EXPECT_EQ(names(), ascending);
  e.ClickHeader(1);
  ASSERT_TRUE(e.box.SortDescending());
  QStringList descending = ascending;
  std::reverse(descending.begin(), descending.end());
  EXPECT_EQ(names(), descending);
}

INSTANTIATE_TEST_SUITE_P(
    EZ, NameOrder,
    ::testing::Values(
        NameOrderCase{"Russian",
                      platform::CodePage::CP1251,
                      {"Жанна", "ёжик", "Ёлкин", "Яна", "Егор", "Ежов", "Анна", "Ева"},
                      {"Анна", "Ева", "Егор", "Ежов", "ёжик", "Ёлкин", "Жанна", "Яна"}},
        NameOrderCase{"YoInsideTheName",
                      platform::CodePage::CP1251,
                      {"Семинов", "Фёдоров", "Семёнов", "Федоров", "Семенов", "Фея"},
                      {"Семенов", "Семёнов", "Семинов", "Федоров", "Фея", "Фёдоров"}},
        NameOrderCase{"LatinBeforeCyrillic",
                      platform::CodePage::CP1251,
                      {"Ёлкин", "zoe", "Анна", "Bob", "alice", "Яна", "Zack"},
                      {"alice", "Bob", "Zack", "zoe", "Анна", "Ёлкин", "Яна"}},
        NameOrderCase{"UkrainianAndBelarusian",
                      platform::CodePage::CP1251,
                      {"Їжак", "Йосип", "Ґанна", "Дмитро", "Ірина", "Галина", "Игорь", "Єва",
                       "Жанна", "Ева", "Ўладзімір", "Фаина", "Ульяна"},
                      {"Галина", "Ґанна", "Дмитро", "Ева", "Єва", "Жанна", "Игорь", "Ірина", "Їжак",
                       "Йосип", "Ульяна", "Ўладзімір", "Фаина"}},
        NameOrderCase{"OemAnsiPage",
                      platform::CodePage::CP866,
                      {"Жанна", "ёжик", "Яна", "Ёлкин", "Bob", "Егор", "Ежов", "Анна"},
                      {"Bob", "Анна", "Егор", "Ежов", "ёжик", "Ёлкин", "Жанна", "Яна"}}),
    [](const ::testing::TestParamInfo<NameOrderCase>& info) { return info.param.name; });

TEST(EZBetterListBox, NamesThatDifferOnlyInCaseKeepTheirOrderBothWays) {
  Ez e;
  e.box.SetItems({QStringLiteral("ёлкин\t1"), QStringLiteral("Анна\t2"), QStringLiteral("Ёлкин\t3"),
                  QStringLiteral("анна\t4"), QStringLiteral("Елкин\t5")});
  e.box.SetSorted(true);
  EXPECT_EQ(e.Column0(),
            (QStringList{QStringLiteral("Анна"), QStringLiteral("анна"), QStringLiteral("Елкин"),
                         QStringLiteral("ёлкин"), QStringLiteral("Ёлкин")}));
  e.box.SetSortDescending(true);
  EXPECT_EQ(e.Column0(),
            (QStringList{QStringLiteral("ёлкин"), QStringLiteral("Ёлкин"), QStringLiteral("Елкин"),
                         QStringLiteral("Анна"), QStringLiteral("анна")}));
}

// An 8 x 8 glyph of one colour on a white transparent-colour corner.
QPixmap Arrow(QColor c) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(c);
  image.setPixelColor(0, 7, Qt::white);
  return QPixmap::fromImage(image);
}

TEST(EZBetterListBox, HeaderGlyphsShowSortDirection) {
  Ez e;
  e.box.SetArrowUp(Arrow(Qt::red));
  EXPECT_TRUE(e.box.Columns().GetItem(0)->Glyph().isNull());  // one arrow is not enough
  e.box.SetArrowDown(Arrow(Qt::blue));
  EXPECT_TRUE(e.box.Columns().GetItem(0)->Glyph().isNull());  // not sorted
  e.box.SetSorted(true);
  EXPECT_EQ(e.box.Columns().GetItem(0)->Glyph().toImage().pixelColor(4, 4), QColor(Qt::blue));
  EXPECT_TRUE(e.box.Columns().GetItem(1)->Glyph().isNull());
  e.ClickHeader(0);
  EXPECT_EQ(e.box.Columns().GetItem(0)->Glyph().toImage().pixelColor(4, 4), QColor(Qt::red));
  e.ClickHeader(1);
  EXPECT_TRUE(e.box.Columns().GetItem(0)->Glyph().isNull());
  EXPECT_FALSE(e.box.Columns().GetItem(1)->Glyph().isNull());
}

TEST(EZBetterListBox, WithoutArrowsGlyphsAreLeftAlone) {
  Ez e;
  e.box.Columns().GetItem(1)->SetGlyph(Arrow(Qt::green));
  e.box.SetSorted(true);
  e.ClickHeader(0);
  EXPECT_FALSE(e.box.Columns().GetItem(1)->Glyph().isNull());
}

TEST(EZBetterListBox, LetterSearchSkipsImagePrefixes) {
  Ez e;
  e.box.SetItems({"[1]Alpha\tx", "[2][3]Beta", "\tCarrot", "[x]Bee"});
  e.box.setFocus();
  QTest::keyClick(&e.box, Qt::Key_B);
  EXPECT_EQ(e.box.ItemIndex(), 1);
  QTest::keyClick(&e.box, Qt::Key_B);
  EXPECT_EQ(e.box.ItemIndex(), 3);
  QTest::keyClick(&e.box, Qt::Key_C);  // only in the second column
  EXPECT_EQ(e.box.ItemIndex(), 3);
}

TEST(EZBetterListBox, ImagesAndSeparatorsDraw) {
  Ez e;
  QPixmap strip(32, 16);
  strip.fill(Qt::magenta);
  e.box.SetImages(strip);
  e.box.SetItems({"[0][1]NETMAIL\t5", "!SEP!\t!SEP!", "[9]Far\t1"});
  const QImage shot = e.box.grab().toImage();
  EXPECT_FALSE(shot.isNull());
}

}  // namespace
}  // namespace velmaris::test
