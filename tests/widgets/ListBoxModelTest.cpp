// Rows, scrolling, selection and keyboard rules of the list box, without a window.
#include "widgets/ListBoxModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace velmaris::test {
namespace {

class RecordingHost : public ListBoxHost {
 public:
  void RowChanged(int row) override { rows.insert(row); }
  void AllChanged() override { ++all; }
  void TopChanged(int oldTop, int newTop) override { tops.push_back({oldTop, newTop}); }
  void Clicked() override { ++clicks; }
  void DoubleClicked() override { ++doubleClicks; }
  char16_t FirstChar(int row) override {
    if (row >= static_cast<int>(captions.size()) || captions[static_cast<size_t>(row)].empty())
      return 0;
    return captions[static_cast<size_t>(row)][0];
  }

  std::set<int> rows;
  int all = 0;
  std::vector<std::pair<int, int>> tops;
  int clicks = 0;
  int doubleClicks = 0;
  std::vector<std::u16string> captions;
};

// A model of `count` rows with room for `rows` rows of 10 pixels.
struct Fixture {
  RecordingHost host;
  ListBoxModel model{&host};
  Fixture(int count, int rows, bool multi) {
    model.Layout(rows * 10, 10);
    model.SetMultiSelect(multi);
    model.SetCount(count);
  }
};

ListKey KeyNamed(const std::string& name) {
  if (name == "PageUp") return ListKey::PageUp;
  if (name == "PageDown") return ListKey::PageDown;
  if (name == "End") return ListKey::End;
  if (name == "Home") return ListKey::Home;
  if (name == "Up") return ListKey::Up;
  if (name == "Down") return ListKey::Down;
  if (name == "Return") return ListKey::Return;
  if (name == "Space") return ListKey::Space;
  return ListKey::Other;
}

// Steps: "click:5" plain press and release on row 5, "shiftclick:9",
// "ctrlclick:7", "drag:5-9" (press on 5, move to 9, release), "Down",
// "+Down" (with Shift), "char:A".
void RunSteps(ListBoxModel& model, const std::string& steps) {
  std::istringstream in(steps);
  std::string step;
  while (in >> step) {
    const size_t colon = step.find(':');
    const std::string op = step.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (op == "click" || op == "shiftclick" || op == "ctrlclick") {
      model.MouseDownRow(std::stoi(arg), op == "shiftclick", op == "ctrlclick");
      model.MouseUp();
    } else if (op == "drag") {
      const size_t dash = arg.find('-');
      model.MouseDownRow(std::stoi(arg.substr(0, dash)), false, false);
      model.MouseDragRow(std::stoi(arg.substr(dash + 1)));
      model.MouseUp();
    } else if (op == "top") {
      model.SetTopIndex(std::stoi(arg));
    } else if (op == "char") {
      model.KeyDown(ListKey::Other, false, static_cast<char16_t>(arg[0]));
    } else if (op[0] == '+') {
      model.KeyDown(KeyNamed(op.substr(1)), true);
    } else {
      model.KeyDown(KeyNamed(op), false);
    }
  }
}

std::set<int> SelectedRows(const ListBoxModel& model) {
  std::set<int> out;
  for (int i = 0; i < model.Count(); ++i)
    if (model.Selected(i)) out.insert(i);
  return out;
}

std::set<int> Span(int from, int to) {
  std::set<int> out;
  for (int i = from; i <= to; ++i) out.insert(i);
  return out;
}

struct NavCase {
  const char* name;
  int count;
  bool multi;
  const char* steps;
  int item;
  int focus;
  int top;
  std::set<int> selected;
};

class Navigation : public ::testing::TestWithParam<NavCase> {};

TEST_P(Navigation, EndsOnExpectedRows) {
  const NavCase& c = GetParam();
  Fixture f(c.count, 10, c.multi);
  RunSteps(f.model, c.steps);
  EXPECT_EQ(f.model.ItemIndex(), c.item);
  EXPECT_EQ(f.model.FocusIndex(), c.focus);
  EXPECT_EQ(f.model.TopIndex(), c.top);
  EXPECT_EQ(SelectedRows(f.model), c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    ListBox, Navigation,
    ::testing::Values(
        NavCase{"DownFromNothing", 100, false, "Down", 0, 0, 0, {0}},
        NavCase{"DownTwice", 100, false, "click:5 Down Down", 7, 7, 0, {7}},
        NavCase{"UpOnce", 100, false, "click:5 Up", 4, 4, 0, {4}},
        NavCase{"UpAtFirstRow", 100, false, "click:0 Up", 0, 0, 0, {0}},
        NavCase{"DownAtLastRow", 100, false, "End Down", 99, 99, 90, {99}},
        NavCase{"DownScrollsOneRow", 100, false, "click:9 Down", 10, 10, 1, {10}},
        NavCase{"HomeAfterEnd", 100, false, "End Home", 0, 0, 0, {0}},
        NavCase{"PageDownToBottom", 100, false, "click:0 PageDown", 9, 9, 0, {9}},
        NavCase{"PageDownTwice", 100, false, "click:0 PageDown PageDown", 19, 19, 10, {19}},
        NavCase{"PageDownNearEnd", 100, false, "End Up PageDown", 99, 99, 90, {99}},
        NavCase{"PageUpToTop", 100, false, "click:0 PageDown PageDown PageUp", 10, 10, 10, {10}},
        NavCase{"ShortListPageDown", 4, false, "click:1 PageDown", 3, 3, 0, {3}},
        NavCase{"ShiftDownTwice", 100, true, "click:5 +Down +Down", 7, 7, 0, {5, 6, 7}},
        NavCase{"ShiftUpBack", 100, true, "click:5 +Down +Down +Up", 6, 6, 0, {5, 6}},
        NavCase{"PlainKeyDropsRange", 100, true, "click:5 +Down +Down Down", 8, 8, 0, {8}},
        NavCase{"CtrlClickAdds", 100, true, "click:2 ctrlclick:6", 6, 6, 0, {2, 6}},
        NavCase{"CtrlClickUnselects", 100, true, "click:2 ctrlclick:6 ctrlclick:2", 6, 2, 0, {6}},
        NavCase{"PlainClickClears", 100, true, "click:2 ctrlclick:6 click:4", 4, 4, 0, {4}},
        NavCase{"ShiftClickExtends", 100, true, "click:2 shiftclick:5", 5, 5, 0, {2, 3, 4, 5}},
        NavCase{"ShiftClickBackwards", 100, true, "click:5 shiftclick:2", 2, 2, 0, {2, 3, 4, 5}},
        NavCase{"DragSelects", 100, true, "drag:3-6", 6, 6, 0, {3, 4, 5, 6}},
        NavCase{"ShiftEnd", 100, true, "click:3 +End", 99, 99, 90, Span(3, 99)},
        NavCase{"ShiftPageDownNearEnd", 100, true, "top:85 click:94 +PageDown", 99, 99, 90,
                Span(94, 99)},
        NavCase{
            "PageDownFromBottomNearEnd", 100, false, "top:85 click:94 PageDown", 99, 99, 90, {99}},
        NavCase{"ShiftPageDownPastPage", 100, true, "click:9 +PageDown", 19, 19, 10, Span(9, 19)},
        NavCase{"ShiftHome", 100, true, "click:4 +Home", 0, 0, 0, Span(0, 4)},
        NavCase{"SpaceWithoutFocus", 100, true, "Space", -1, -1, 0, {}},
        NavCase{"SpaceSelectsFocus", 100, true, "click:3 ctrlclick:3 Space", -1, 3, 0, {3}},
        NavCase{"ShiftDownWithoutFocus", 100, true, "+Down", 0, 0, 0, {0}},
        NavCase{"ShiftDownThenExtends", 100, true, "+Down +Down", 1, 1, 0, {0, 1}},
        NavCase{"EmptyListIgnoresKeys",
                0,
                true,
                "Down End PageDown +PageUp Home Space char:A",
                -1,
                -1,
                0,
                {}}),
    [](const ::testing::TestParamInfo<NavCase>& info) { return info.param.name; });

TEST(ListBoxModel, KeysFireClickAndReturnFiresDoubleClick) {
  Fixture f(10, 5, false);
  RunSteps(f.model, "Down Down Return");
  EXPECT_EQ(f.host.clicks, 2);
  EXPECT_EQ(f.host.doubleClicks, 1);
}

TEST(ListBoxModel, MouseUpFiresClickOnlyWhenTheCurrentRowChanged) {
  Fixture f(10, 5, false);
  RunSteps(f.model, "click:3");
  EXPECT_EQ(f.host.clicks, 1);
  RunSteps(f.model, "click:3");
  EXPECT_EQ(f.host.clicks, 1);
  RunSteps(f.model, "click:4");
  EXPECT_EQ(f.host.clicks, 2);
}

struct SearchCase {
  const char* name;
  const char* steps;
  int item;
};

class Search : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Search, FindsNextRowByInitial) {
  Fixture f(6, 10, false);
  f.host.captions = {u"Alpha", u"Beta", u"apple", u"", u"Avocado", u"7 Seas"};
  RunSteps(f.model, GetParam().steps);
  EXPECT_EQ(f.model.ItemIndex(), GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(ListBox, Search,
                         ::testing::Values(SearchCase{"FromNoRowTakesFirst", "char:A", 0},
                                           SearchCase{"NextMatch", "char:A char:A", 2},
                                           SearchCase{"CaseInsensitive", "click:1 char:a", 2},
                                           SearchCase{"SkipsEmptyCaption", "click:2 char:A", 4},
                                           SearchCase{"Wraps", "click:4 char:A", 0},
                                           SearchCase{"OnlyMatchStays", "click:1 char:B", 1},
                                           SearchCase{"Digit", "char:7", 5},
                                           SearchCase{"NoMatchKeepsRow", "click:2 char:Z", 2}),
                         [](const ::testing::TestParamInfo<SearchCase>& info) {
                           return info.param.name;
                         });

TEST(ListBoxModel, SearchOffLeavesLetters) {
  Fixture f(3, 10, false);
  f.host.captions = {u"A", u"B", u"C"};
  f.model.SetIncrementalSearch(false);
  EXPECT_FALSE(f.model.KeyDown(ListKey::Other, false, u'B'));
  EXPECT_EQ(f.model.ItemIndex(), -1);
}

struct LayoutCase {
  int count, room, itemHeight;
  bool integral;
  int maxTop, fullRows, visibleRows;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, CountsRows) {
  const LayoutCase& c = GetParam();
  RecordingHost host;
  ListBoxModel model(&host);
  model.SetIntegralHeight(c.integral);
  model.SetCount(c.count);
  model.Layout(c.room, c.itemHeight);
  EXPECT_EQ(model.MaxTopIndex(), c.maxTop);
  EXPECT_EQ(model.FullRows(), c.fullRows);
  EXPECT_EQ(model.VisibleRows(), c.visibleRows);
}

INSTANTIATE_TEST_SUITE_P(ListBox, Layout,
                         ::testing::Values(LayoutCase{100, 100, 10, false, 90, 10, 10},
                                           LayoutCase{100, 105, 10, false, 90, 10, 11},
                                           LayoutCase{100, 105, 10, true, 90, 10, 10},
                                           LayoutCase{5, 100, 10, false, 0, 10, 10},
                                           LayoutCase{0, 0, 10, false, 0, 1, 1},
                                           LayoutCase{3, 5, 10, false, 3, 1, 1},
                                           LayoutCase{10, 100, 0, false, 0, 100, 100},
                                           LayoutCase{1000000, 400, 16, false, 999975, 25, 25}));

TEST(ListBoxModel, LayoutLowersTopBeyondLastPage) {
  Fixture f(100, 10, false);
  f.model.SetTopIndex(90);
  f.model.Layout(200, 10);
  EXPECT_EQ(f.model.TopIndex(), 80);
}

TEST(ListBoxModel, SetTopIndexClampsToLastPage) {
  Fixture f(100, 10, false);
  f.model.SetTopIndex(5000);
  EXPECT_EQ(f.model.TopIndex(), 90);
  f.model.SetTopIndex(-3);
  EXPECT_EQ(f.model.TopIndex(), 0);
  f.model.SetTopIndex(0);
  EXPECT_EQ(f.host.tops.size(), 2u);
}

struct ScrollCase {
  int oldTop, newTop, fullRows;
  bool pixels;
};

class ScrollKind : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(ScrollKind, SmallMovesScrollPixels) {
  const ScrollCase& c = GetParam();
  EXPECT_EQ(ListBoxModel::ScrollsPixels(c.oldTop, c.newTop, c.fullRows), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(ListBox, ScrollKind,
                         ::testing::Values(ScrollCase{0, 1, 20, true}, ScrollCase{0, 15, 20, true},
                                           ScrollCase{0, 16, 20, false},
                                           ScrollCase{30, 15, 20, true},
                                           ScrollCase{30, 14, 20, false}, ScrollCase{5, 4, 1, true},
                                           ScrollCase{5, 3, 1, false}));

TEST(ListBoxModel, SelectionIsDropped) {
  const std::tuple<const char*, std::function<void(ListBoxModel&)>, bool> cases[] = {
      {"count change", [](ListBoxModel& m) { m.SetCount(40); }, true},
      {"select item -1", [](ListBoxModel& m) { m.SelectItem(-1); }, true},
      {"multi-select off", [](ListBoxModel& m) { m.SetMultiSelect(false); }, false},
  };
  for (const auto& [what, drop, dropsFocus] : cases) {
    SCOPED_TRACE(what);
    Fixture f(100, 10, true);
    RunSteps(f.model, "click:50 +Down +Down");
    drop(f.model);
    EXPECT_TRUE(SelectedRows(f.model).empty());
    if (!dropsFocus) continue;
    EXPECT_EQ(f.model.ItemIndex(), -1);
    EXPECT_EQ(f.model.FocusIndex(), -1);
    EXPECT_FALSE(f.model.RangeActive());
  }
  Fixture f(10, 10, true);
  f.model.SetCount(-5);
  EXPECT_EQ(f.model.Count(), 0);
}

TEST(ListBoxModel, UnchangedCountKeepsSelection) {
  Fixture f(100, 10, true);
  RunSteps(f.model, "click:5 +Down");
  f.model.SetCount(100);
  EXPECT_EQ(SelectedRows(f.model), (std::set<int>{5, 6}));
}

TEST(ListBoxModel, SelectAllInvertAndClear) {
  Fixture f(6, 10, true);
  RunSteps(f.model, "click:1 ctrlclick:3");
  f.model.InvertSelection();
  EXPECT_EQ(SelectedRows(f.model), (std::set<int>{0, 2, 4, 5}));
  EXPECT_EQ(f.model.ItemIndex(), -1);
  f.model.SelectAll();
  EXPECT_EQ(f.model.SelectedCount(), 6);
  f.model.ClearSelection();
  EXPECT_EQ(f.model.SelectedCount(), 0);
}

TEST(ListBoxModel, SingleSelectionFollowsItemIndex) {
  Fixture f(6, 10, false);
  f.model.SetSelected(4, true);
  EXPECT_EQ(f.model.ItemIndex(), 4);
  f.model.SetSelected(2, false);
  EXPECT_EQ(f.model.ItemIndex(), 4);
  f.model.SetSelected(4, false);
  EXPECT_EQ(f.model.ItemIndex(), -1);
  f.model.SetSelected(-1, true);
  f.model.SetSelected(6, true);
  EXPECT_EQ(f.model.ItemIndex(), -1);
  f.model.SelectAll();
  EXPECT_EQ(f.model.SelectedCount(), 0);
}

TEST(ListBoxModel, PermuteCarriesSelectionWithRows) {
  Fixture f(5, 10, true);
  RunSteps(f.model, "click:1 ctrlclick:3");
  f.model.Permute({4, 3, 2, 1, 0});
  EXPECT_EQ(SelectedRows(f.model), (std::set<int>{1, 3}));
  EXPECT_EQ(f.model.ItemIndex(), 1);
  EXPECT_EQ(f.model.FocusIndex(), 1);
  f.model.Permute({0, 1});  // wrong length: ignored
  EXPECT_EQ(SelectedRows(f.model), (std::set<int>{1, 3}));
}

TEST(ListBoxModel, MakeVisibleScrollsJustEnough) {
  Fixture f(100, 10, false);
  f.model.MakeVisible(25);
  EXPECT_EQ(f.model.TopIndex(), 16);
  f.model.MakeVisible(3);
  EXPECT_EQ(f.model.TopIndex(), 3);
  f.model.MakeVisible(7);
  EXPECT_EQ(f.model.TopIndex(), 3);
  f.model.MakeVisible(-1);
  f.model.MakeVisible(100);
  EXPECT_EQ(f.model.TopIndex(), 3);
}

TEST(ListBoxModel, ExtendRangeRedrawsOnlyTheChangedRows) {
  Fixture f(1000, 10, true);
  RunSteps(f.model, "click:2");
  f.host.rows.clear();
  f.model.KeyDown(ListKey::Down, true);
  for (int row : f.host.rows) EXPECT_LE(row, 10);
}

struct WheelCase {
  const char* name;
  std::vector<int> deltas;
  std::vector<int> rows;
};

class Wheel : public ::testing::TestWithParam<WheelCase> {};

TEST_P(Wheel, TurnsDeltasIntoRows) {
  WheelAccumulator wheel;
  std::vector<int> got;
  for (int d : GetParam().deltas) got.push_back(wheel.Add(d));
  EXPECT_EQ(got, GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    ListBox, Wheel,
    ::testing::Values(
        WheelCase{"NotchUp", {120}, {-3}}, WheelCase{"NotchDown", {-120}, {3}},
        WheelCase{"FineSteps", {15, 15, 15, 15, 15, 15, 15, 15}, {0, 0, -1, 0, 0, -1, 0, -1}},
        WheelCase{"DirectionChangeDropsRest", {30, -30, -30}, {0, 0, 1}},
        WheelCase{"BigDelta", {-480}, {12}}),
    [](const ::testing::TestParamInfo<WheelCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velmaris::test
