// The tree view: expanding and collapsing with their events, keyboard
// navigation, selection, the mouse on buttons and labels, deletion.
#include "widgets/TreeNT.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

namespace velmaris::test {
namespace {

// A 200 x 160 tree:  A (A1 (A11, A12), A2)  B (B1)  C
struct Tree {
  TTreeNT tree;
  TTreeNTNode *a, *a1, *a11, *a12, *a2, *b, *b1, *c;
  std::vector<std::string> log;
  Tree() {
    tree.SetOptions(toShowButtons | toShowLines | toShowRoot);
    tree.SetItemHeight(16);
    tree.resize(200, 160);
    auto& n = tree.Items();
    a = n.AddChild(nullptr, "A");
    a1 = n.AddChild(a, "A1");
    a11 = n.AddChild(a1, "A11");
    a12 = n.AddChild(a1, "A12");
    a2 = n.AddChild(a, "A2");
    b = n.AddChild(nullptr, "B");
    b1 = n.AddChild(b, "B1");
    c = n.AddObject(b, "C");
    tree.OnExpanded = [this](TCustomTreeNT*, TTreeNTNode* x) {
      log.push_back("+" + x->Text().toStdString());
    };
    tree.OnCollapsed = [this](TCustomTreeNT*, TTreeNTNode* x) {
      log.push_back("-" + x->Text().toStdString());
    };
    tree.show();
  }
  std::string Selected() const {
    return tree.GetSelected() ? tree.GetSelected()->Text().toStdString() : "";
  }
  // The texts of the visible rows.
  std::string Rows() {
    std::string out;
    for (TTreeNTNode* x = tree.Items().GetFirstNode(); x; x = x->GetNextVisible())
      out += x->Text().toStdString() + " ";
    return out;
  }
};

TEST(TreeNT, ExpandAndCollapseFireEventsAndMayBeRefused) {
  Tree t;
  EXPECT_EQ(t.Rows(), "A B C ");
  t.a->Expand(true);
  EXPECT_EQ(t.Rows(), "A A1 A11 A12 A2 B C ");
  EXPECT_EQ(t.log, (std::vector<std::string>{"+A", "+A1"}));
  t.tree.OnCollapsing = [](TCustomTreeNT*, TTreeNTNode* x, bool& allow) {
    allow = x->Text() != "A1";
  };
  t.a->Collapse(true);
  EXPECT_EQ(t.Rows(), "A B C ");
  EXPECT_TRUE(t.a1->GetExpanded());
  t.tree.OnExpanding = [](TCustomTreeNT*, TTreeNTNode*, bool& allow) { allow = false; };
  t.b->Expand(false);
  EXPECT_FALSE(t.b->GetExpanded());
  t.tree.OnExpanding = nullptr;
  t.tree.FullExpand();
  EXPECT_EQ(t.Rows(), "A A1 A11 A12 A2 B B1 C ");
  t.tree.OnCollapsing = nullptr;
  t.tree.FullCollapse();
  EXPECT_EQ(t.Rows(), "A B C ");
  EXPECT_TRUE(t.a->ExpandedOnce());
}

TEST(TreeNT, KeyboardNavigates) {
  using enum Qt::Key;
  struct Case {
    const char* name;
    std::vector<int> keys;
    const char* selected;
    const char* rows;
  };
  const Case cases[] = {
      {"DownFromNothing", {Key_Down}, "A", "A B C "},
      {"RightExpandsThenEnters", {Key_Home, Key_Right, Key_Right}, "A1", "A A1 A2 B C "},
      {"LeftCollapsesThenLeaves",
       {Key_Home, Key_Right, Key_Right, Key_Left, Key_Left},
       "A",
       "A B C "},
      {"AsteriskExpandsAllBelow", {Key_Home, Key_Asterisk, Key_End}, "C", "A A1 A11 A12 A2 B C "},
      {"PageDownStopsAtTheEnd",
       {Key_Home, Key_Asterisk, Key_PageDown, Key_PageDown},
       "C",
       "A A1 A11 A12 A2 B C "},
      {"UpAtTopStays", {Key_Home, Key_Up}, "A", "A B C "},
      {"MinusCollapses", {Key_Home, Key_Plus, Key_Minus}, "A", "A B C "},
      {"TypingSearches", {Key_C}, "C", "A B C "},
  };
  for (const Case& c : cases) {
    Tree t;
    t.tree.setFocus();
    for (int key : c.keys) QTest::keyClick(&t.tree, static_cast<Qt::Key>(key), Qt::NoModifier);
    EXPECT_EQ(t.Selected(), c.selected) << c.name;
    EXPECT_EQ(t.Rows(), c.rows) << c.name;
  }
}

TEST(TreeNT, SelectionExpandsAncestorsAndMayBeRefused) {
  Tree t;
  std::vector<std::string> changes;
  t.tree.OnChange = [&](TCustomTreeNT*, TTreeNTNode* x) {
    changes.push_back(x ? x->Text().toStdString() : "-");
  };
  t.tree.SetSelected(t.a12);
  EXPECT_TRUE(t.a12->Selected());
  EXPECT_TRUE(t.a->GetExpanded() && t.a1->GetExpanded());
  t.tree.OnChanging = [](TCustomTreeNT*, TTreeNTNode* x, bool& allow) {
    allow = x != nullptr && x->Text() != "B";
  };
  t.tree.SetSelected(t.b);
  EXPECT_EQ(t.Selected(), "A12");
  t.a1->Collapse(false);  // the selection moves out of the closed branch
  EXPECT_EQ(t.Selected(), "A1");
  EXPECT_EQ(changes, (std::vector<std::string>{"A12", "A1"}));
}

TEST(TreeNT, ReturnWithWantReturnWrapsToTheFirstNode) {
  Tree t;
  t.tree.SetOptions(t.tree.Options() | toWantReturn);
  t.tree.SetSelected(t.c);
  QTest::keyClick(&t.tree, Qt::Key_Return);
  EXPECT_EQ(t.Selected(), "A");
  QTest::keyClick(&t.tree, Qt::Key_Return);
  EXPECT_EQ(t.Selected(), "B");
}

TEST(TreeNT, MouseTogglesOnButtonsAndSelectsOnLabels) {
  Tree t;
  const QRect a = t.a->DisplayRect(true);
  const int buttonX = 19 / 2;
  EXPECT_TRUE(t.tree.GetHitTestInfoAt(buttonX, a.center().y()) & htOnButton);
  EXPECT_TRUE(t.tree.GetHitTestInfoAt(a.center().x(), a.center().y()) & htOnLabel);
  EXPECT_TRUE(t.tree.GetHitTestInfoAt(-1, 5) & htToLeft);
  QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, {}, QPoint(buttonX, a.center().y()));
  EXPECT_EQ(t.Rows(), "A A1 A2 B C ");
  EXPECT_EQ(t.Selected(), "");
  const QRect a2 = t.a2->DisplayRect(true);
  QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, {}, a2.center());
  EXPECT_EQ(t.Selected(), "A2");
  EXPECT_EQ(t.tree.GetNodeAt(a2.center().x(), a2.center().y()), t.a2);
  QTest::mouseDClick(t.tree.viewport(), Qt::LeftButton, {}, t.a1->DisplayRect(true).center());
  EXPECT_TRUE(t.a1->GetExpanded());
  EXPECT_TRUE(t.b1->DisplayRect(false).isEmpty());
}

TEST(TreeNT, CheckBoxesSingleExpandAndLabelEditing) {
  Tree t;
  t.tree.SetOptions(t.tree.Options() | toCheckBoxes | toSingleExpand);
  t.tree.SetSelected(t.b);
  QTest::keyClick(&t.tree, Qt::Key_Space);
  EXPECT_TRUE(t.b->Checked());
  const QRect c = t.c->DisplayRect(true);
  QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, {}, QPoint(c.left() - 8, c.center().y()));
  EXPECT_TRUE(t.c->Checked());

  t.a->Expand(false);
  QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, {}, t.b->DisplayRect(true).center());
  EXPECT_EQ(t.Rows(), "A B B1 C ");  // B opens, A closes
  t.tree.OnSingleExpanded = [](TCustomTreeNT*, TTreeNTNode*, bool& allow) { allow = false; };
  QTest::mouseClick(t.tree.viewport(), Qt::LeftButton, {}, t.a->DisplayRect(true).center());
  EXPECT_EQ(t.Rows(), "A A1 A2 B B1 C ");

  t.tree.OnEdited = [](TCustomTreeNT*, TTreeNTNode*, QString& text) { text += "!"; };
  t.tree.SetSelected(t.a2);
  QTest::keyClick(&t.tree, Qt::Key_F2);
  ASSERT_TRUE(t.tree.IsEditing());
  auto* editor = t.tree.viewport()->findChild<QLineEdit*>();
  editor->setText("Renamed");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(t.tree.IsEditing());
  EXPECT_EQ(t.a2->Text(), "Renamed!");
  t.tree.SetOptions(t.tree.Options() | toReadOnly);
  EXPECT_FALSE(t.tree.EditText(t.a2));
}

TEST(TreeNT, NodesIndexAndDelete) {
  Tree t;
  EXPECT_EQ(t.tree.Items().Count(), 8);
  EXPECT_EQ(t.tree.Items().Item(5), t.b);
  EXPECT_EQ(t.a12->AbsoluteIndex(), 3);
  EXPECT_EQ(t.a1->GetItem(1), t.a12);
  EXPECT_THROW(t.a1->GetItem(2), ETreeNTError);
  EXPECT_THROW(t.tree.Items().Item(8), ETreeNTError);
  std::vector<std::string> deleted;
  t.tree.OnDeletion = [&](TCustomTreeNT*, TTreeNTNode* x) {
    deleted.push_back(x->Text().toStdString());
  };
  t.b->Expand(false);
  t.tree.SetSelected(t.b1);
  t.b1->Delete();  // the only child: the parent closes and shows no button
  EXPECT_FALSE(t.b->GetExpanded());
  EXPECT_FALSE(t.b->HasChildren());
  EXPECT_EQ(t.tree.GetSelected(), nullptr);
  t.a->Delete();
  EXPECT_EQ(deleted, (std::vector<std::string>{"B1", "A11", "A12", "A1", "A2", "A"}));
  EXPECT_EQ(t.Rows(), "B C ");
  t.tree.Items().Clear();
  EXPECT_EQ(t.tree.Items().Count(), 0);
}

TEST(TreeNT, NodesStreamAndReadBack) {
  Tree t;
  t.a12->SetChecked(true);
  t.b->SetImageIndex(4);
  QFont bold("Sans");
  bold.setBold(true);
  bold.setPixelSize(13);
  t.c->SetFont(bold);
  TTreeNT copy;
  copy.Items().ReadData(t.tree.Items().WriteData());
  ASSERT_EQ(copy.Items().Count(), 8);
  std::string texts;
  for (int i = 0; i < 8; ++i) texts += copy.Items().Item(i)->Text().toStdString() + " ";
  EXPECT_EQ(texts, "A A1 A11 A12 A2 B B1 C ");
  EXPECT_TRUE(copy.Items().Item(3)->Checked());
  EXPECT_EQ(copy.Items().Item(5)->ImageIndex(), 4);
  EXPECT_EQ(copy.Items().Item(2)->Level(), 2);
  EXPECT_TRUE(copy.Items().Item(7)->Font().bold());
  EXPECT_THROW(copy.Items().ReadData("\x01"), ETreeStreamError);
  EXPECT_EQ(copy.Items().Count(), 8);  // a damaged stream leaves the nodes
}

TEST(TreeNT, SortingAndSettings) {
  Tree t;
  t.tree.SetSortType(TSortType::stText);
  t.a->SetText("Z");
  EXPECT_EQ(t.Rows(), "B C Z ");
  t.tree.SetScrollTime(50);
  EXPECT_EQ(t.tree.ScrollTime(), 100);
  t.tree.SetItemHeight(-5);
  EXPECT_GT(t.tree.ItemHeight(), 0);
}

// Reaches the auto-scroll handlers of the control.
class ScrollingTree : public TTreeNT {
 public:
  using TTreeNT::AutoScrollTick;
  using TTreeNT::AutoScrollTimer;
  using TTreeNT::DoAutoScroll;
};

TEST(TreeNT, AutoScrollSpeedsUpNearAnEdge) {
  ScrollingTree tree;
  tree.SetItemHeight(16);
  tree.resize(200, 100);
  for (int i = 0; i < 40; ++i) tree.Items().AddChild(nullptr, QString::number(i));
  tree.show();
  tree.DoAutoScroll(QPoint(50, 40));  // not near an edge
  EXPECT_FALSE(tree.AutoScrollTimer().isActive());
  tree.DoAutoScroll(QPoint(50, tree.viewport()->height() - 2));
  ASSERT_TRUE(tree.AutoScrollTimer().isActive());
  EXPECT_EQ(tree.AutoScrollTimer().interval(), 100);
  std::vector<int> intervals;
  for (int i = 0; i < 13; ++i) {
    tree.AutoScrollTick();
    intervals.push_back(tree.AutoScrollTimer().interval());
  }
  EXPECT_EQ(tree.TopRow(), 13);
  EXPECT_EQ(intervals.front(), 92);
  EXPECT_EQ(intervals.back(), 4);
  tree.DoAutoScroll(QPoint(50, 2));
  EXPECT_TRUE(tree.AutoScrollTimer().isActive());  // now upwards
  tree.SetTopItem(tree.Items().GetFirstNode());
  tree.DoAutoScroll(QPoint(50, 2));
  EXPECT_FALSE(tree.AutoScrollTimer().isActive());  // nothing more above
}

TEST(TreeNT, LargeTreeScrollsToTheSelection) {
  TTreeNT tree;
  tree.SetItemHeight(16);
  tree.resize(200, 160);
  tree.Items().BeginUpdate();
  TTreeNTNode* last = nullptr;
  for (int i = 0; i < 2000; ++i) {
    TTreeNTNode* root = tree.Items().AddChild(nullptr, QString::number(i));
    for (int j = 0; j < 4; ++j) last = tree.Items().AddChild(root, QString("%1.%2").arg(i).arg(j));
  }
  tree.Items().EndUpdate();
  tree.show();
  tree.FullExpand();
  tree.SetSelected(last);
  EXPECT_EQ(tree.TopRow(), 10000 - tree.VisibleRowCount());
  EXPECT_EQ(tree.TopItem()->GetNextVisible()->Text(),
            tree.Items().Item(10000 - tree.VisibleRowCount() + 1)->Text());
  QTest::keyClick(&tree, Qt::Key_Home);
  EXPECT_EQ(tree.TopRow(), 0);
}

}  // namespace
}  // namespace velmaris::test
