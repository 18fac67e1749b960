// The check list box driven by clicks and keys: toggling rules, disabled
// items, radio mode, checks travelling with their items, saved checks.
#include "widgets/VxCheckListBox.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "support/TempDir.h"
#include "widgets/FormPlacement.h"
#include "widgets/IniStorages.h"

namespace velmaris::test {
namespace {

using enum TCheckBoxState;

struct Box {
  TVxCheckListBox box;
  Box() {
    box.resize(200, 150);
    box.SetItems({"Alpha", "Beta", "Gamma", "Delta"});
    box.show();
    box.setFocus();
  }
  QPoint CheckArea(int i) const {
    return {box.ItemRect(i).left() + 3, box.ItemRect(i).center().y()};
  }
  QPoint TextPart(int i) const {
    return {box.ItemRect(i).left() + 60, box.ItemRect(i).center().y()};
  }
  std::vector<TCheckBoxState> States() const {
    std::vector<TCheckBoxState> out;
    for (int i = 0; i < box.Count(); ++i) out.push_back(box.State(i));
    return out;
  }
};

struct ToggleCase {
  const char* name;
  TCheckKind kind;
  bool allowGrayed;
  const char* actions;  // c<i> click check area, t<i> click text, s space, + plus, - minus
  const char* states;   // per item: . unchecked, x checked, ? grayed
  int clickChecks;
};

class Toggles : public ::testing::TestWithParam<ToggleCase> {};

TEST_P(Toggles, ByMouseAndKeys) {
  const ToggleCase& c = GetParam();
  Box b;
  b.box.SetEnabledItem(3, false);
  b.box.SetCheckKind(c.kind);
  b.box.SetAllowGrayed(c.allowGrayed);
  QSignalSpy clicks(&b.box, &TVxCheckListBox::clickCheck);
  for (const char* a = c.actions; *a; ++a) {
    switch (*a) {
      case 'c':
        QTest::mouseClick(b.box.viewport(), Qt::LeftButton, {}, b.CheckArea(*++a - '0'));
        break;
      case 't':
        QTest::mouseClick(b.box.viewport(), Qt::LeftButton, {}, b.TextPart(*++a - '0'));
        break;
      case 's': QTest::keyClick(&b.box, Qt::Key_Space); break;
      default: QTest::keyClicks(&b.box, QString(QChar(*a))); break;
    }
  }
  std::vector<TCheckBoxState> states;
  for (const char* p = c.states; *p; ++p)
    states.push_back(*p == 'x' ? cbChecked : *p == '?' ? cbGrayed : cbUnchecked);
  EXPECT_EQ(b.States(), states);
  EXPECT_EQ(clicks.count(), c.clickChecks);
}

using enum TCheckKind;
const ToggleCase kToggles[] = {
    {"CheckAreaToggles", ckCheckBoxes, false, "c1", ".x..", 1},
    {"TextOnlySelects", ckCheckBoxes, false, "t1", "....", 0},
    {"SpaceTogglesCurrent", ckCheckBoxes, false, "t2s", "..x.", 1},
    {"GrayedCycle", ckCheckBoxes, true, "c0c0c0", "....", 3},
    {"GrayedFirst", ckCheckBoxes, true, "c0", "?...", 1},
    {"DisabledNeverToggles", ckCheckBoxes, false, "c3t3s", "....", 0},
    {"PlusSkipsDisabled", ckCheckMarks, false, "+", "xxx.", 3},
    {"MinusAfterPlus", ckCheckBoxes, false, "+-", "....", 6},
    {"RadioStartsWithFirst", ckRadioButtons, true, "", "x...", 0},
    {"RadioMovesTheCheck", ckRadioButtons, true, "c2", "..x.", 1},
    {"RadioCannotUncheck", ckRadioButtons, false, "c0+", "x...", 1},
};
INSTANTIATE_TEST_SUITE_P(CheckListBox, Toggles, ::testing::ValuesIn(kToggles),
                         [](const auto& info) { return info.param.name; });

TEST(CheckListBox, ChecksTravelWithTheirItems) {
  Box b;
  b.box.SetState(0, cbChecked);
  b.box.SetState(2, cbGrayed);
  b.box.SetEnabledItem(2, false);
  b.box.Exchange(0, 2);
  EXPECT_EQ(b.box.Items(), (QStringList{"Gamma", "Beta", "Alpha", "Delta"}));
  EXPECT_EQ(b.States(),
            (std::vector<TCheckBoxState>{cbGrayed, cbUnchecked, cbChecked, cbUnchecked}));
  EXPECT_FALSE(b.box.EnabledItem(0));
  b.box.Move(2, 3);
  EXPECT_EQ(b.box.Items()[3], "Alpha");
  EXPECT_TRUE(b.box.Checked(3));
  b.box.setSortingEnabled(true);
  b.box.sortItems();
  EXPECT_TRUE(b.box.Checked(0));  // Alpha
  TVxCheckListBox copy;
  copy.AssignItems(b.box);
  EXPECT_EQ(copy.State(3), cbGrayed);  // Gamma, sorted last
  EXPECT_EQ(b.box.ItemAtPos(QPoint(5, b.box.viewport()->height() - 2), true), -1);
  EXPECT_EQ(b.box.ItemAtPos(QPoint(5, b.box.viewport()->height() - 2), false), 4);
  EXPECT_EQ(b.box.ItemRect(4).top(), b.box.ItemRect(3).bottom() + 1);
}

TEST(CheckListBox, RadioModeAndSavedChecks) {
  TempDir dir;
  Box b;
  QSignalSpy changes(&b.box, &TVxCheckListBox::stateChange);
  b.box.SetChecked(1, true);
  b.box.SetChecked(2, true);
  EXPECT_EQ(changes.count(), 2);
  {
    TIniFile ini(dir / "checks.ini");
    ini.WriteString("Checks", "Item7", "1");  // an older, longer list: erased
    b.box.SaveChecks(ini, "Checks");
    EXPECT_EQ(IniReadInteger(&ini, "Checks", "Count", 0), 4);
    EXPECT_EQ(ini.ReadString("Checks", "Item7", "gone"), "gone");
    Box fewer;
    fewer.box.SetItems({"Alpha", "Beta"});
    fewer.box.RestoreChecks(ini, "Checks");
    EXPECT_EQ(fewer.States(), (std::vector<TCheckBoxState>{cbUnchecked, cbChecked}));
  }
  b.box.SetCheckKind(ckRadioButtons);  // the first checked item stays
  EXPECT_EQ(b.box.CheckedIndex(), 1);
  b.box.SetCheckedIndex(-5);
  EXPECT_EQ(b.box.CheckedIndex(), 0);
  EXPECT_FALSE(b.box.AllowGrayed());
}

TEST(CheckListBox, ChecksAreSavedAndRestoredThroughTheFormPlacement) {
  TempDir dir;
  const std::string file = dir / "Form.ini";
  const auto form = [&file](QWidget& window, TVxCheckListBox*& box) {
    auto* placement = new TFormPlacement(&window);
    placement->SetIniFileName(file);
    placement->SetIniSection("Editor");
    box = new TVxCheckListBox(&window);
    box->setObjectName("Origins");
    box->SetItems({"Alpha", "Beta", "Gamma"});
    box->SetIniStorage(placement);
    placement->Loaded();
  };
  {
    QWidget window;
    TVxCheckListBox* box = nullptr;
    form(window, box);
    window.show();
    box->SetState(0, cbGrayed);
    box->SetChecked(2, true);
    window.close();
  }
  EXPECT_NE(dir.Read("Form.ini").find("Count=3"), std::string::npos) << dir.Read("Form.ini");
  QWidget window;
  TVxCheckListBox* box = nullptr;
  form(window, box);
  window.show();
  EXPECT_EQ(box->State(0), cbGrayed);
  EXPECT_EQ(box->State(1), cbUnchecked);
  EXPECT_EQ(box->State(2), cbChecked);
}

TEST(TextListBox, ItemsAndClick) {
  TTextListBox list;
  list.SetItems({"one", "two"});
  list.show();
  QSignalSpy click(&list, &TTextListBox::click);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                    list.visualItemRect(list.item(1)).center());
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_GE(click.count(), 1);
  EXPECT_EQ(list.Items(), (QStringList{"one", "two"}));
  // The horizontal range follows the widest line, also when it goes.
  list.addItem(QString(200, u'w'));
  QApplication::processEvents();
  EXPECT_GT(list.horizontalScrollBar()->maximum(), 0);
  delete list.takeItem(2);
  QApplication::processEvents();
  EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
}

}  // namespace
}  // namespace velmaris::test
