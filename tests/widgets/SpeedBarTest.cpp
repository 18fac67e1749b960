// The speed bar: sections and items, the state of their buttons, docking
// rules, snapping, dragging buttons while customising, the stored layout
// and the setup dialog's round trip.
#include "widgets/SpeedBar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>
#include <functional>

#include "platform/Help.h"
#include "support/TempDir.h"
#include "support/qt/QtTestApp.h"
#include "widgets/IniStorages.h"
#include "widgets/SpeedbarSetup.h"

namespace velmaris::test {
namespace {

// A form with a bar of two sections: File (Open, Save) and Edit (Cut).
struct Form {
  QWidget window;
  TSpeedBar* bar = new TSpeedBar(&window);
  TSpeedItem* open = Item("OpenItem", "Open");
  TSpeedItem* save = Item("SaveItem", "Save");
  TSpeedItem* cut = Item("CutItem", "Cut");
  Form() {
    window.setObjectName("MsgListForm");
    window.resize(400, 300);
    bar->setObjectName("SpeedBar1");
    const int file = bar->AddSection("File");
    const int edit = bar->AddSection("Edit");
    bar->AddItem(file, open);
    bar->AddItem(file, save);
    bar->AddItem(edit, cut);
    open->SetBounds(3, 3);
    open->SetVisible(true);
    save->SetBounds(27, 3);
    save->SetVisible(true);
    window.show();
  }
  TSpeedItem* Item(const char* name, const char* caption) {
    auto* item = new TSpeedItem(&window);
    item->setObjectName(name);
    item->SetCaption(caption);
    return item;
  }
};

TEST(SpeedBar, SectionsKeepUniqueCaptionsAndOwnTheirItems) {
  Form f;
  EXPECT_EQ(f.bar->Sections(f.bar->AddSection("File"))->Caption(), "File (1)");
  EXPECT_THROW(f.bar->Sections(1)->SetCaption("File"), ESpeedbarError);
  f.bar->Sections(2)->SetCaption("Edit2");
  EXPECT_EQ(f.bar->FindSection("Edit"), 1);
  EXPECT_EQ(f.bar->FindSection("Nope"), -1);
  EXPECT_EQ(f.bar->SearchItem("saveitem"), f.save);
  int s = 0, i = 0;
  ASSERT_TRUE(f.bar->FindItem(f.save, s, i));
  EXPECT_EQ(std::make_pair(s, i), std::make_pair(0, 1));
  EXPECT_EQ(f.bar->Items(5, 0), nullptr);
  EXPECT_EQ(f.bar->ItemsCount(-1), 0);

  f.bar->Sections(1)->SetIndex(0);
  EXPECT_EQ(f.cut->Section(), 0);
  EXPECT_EQ(f.cut->SectionName(), "Edit");

  QPointer<TSpeedItem> open = f.open, cut = f.cut;
  f.bar->RemoveSection(1);  // File: its items live on, off the bar
  ASSERT_TRUE(open);
  EXPECT_EQ(open->SpeedBar(), nullptr);
  EXPECT_EQ(open->Section(), -1);
  EXPECT_FALSE(open->Button()->isVisibleTo(f.bar));
  f.bar->DeleteSection(0);  // Edit: its items go with it
  EXPECT_FALSE(cut);
  delete open;
}

TEST(SpeedBar, ItemHintFollowsItsCaption) {
  Form f;
  f.open->SetHint("Open|Opens a message base");
  f.open->SetCaption("Load");
  EXPECT_EQ(f.open->Hint(), "Load|Opens a message base");
  EXPECT_EQ(f.open->Button()->toolTip(), "Load");
  f.open->SetHint("Something else");
  f.open->SetCaption("Read");
  EXPECT_EQ(f.open->Hint(), "Something else");
  f.open->setObjectName("Read");
  f.open->SetName("ReadItem");
  EXPECT_EQ(f.open->Caption(), "ReadItem");
}

TEST(SpeedBar, ButtonStatesFollowItemBarAndEditing) {
  struct Case {
    const char* name;
    bool itemEnabled, barEnabled, editing;
    TSpeedbarOptions options;
    bool enabled, flat;
  };
  const Case cases[] = {
      {"Plain", true, true, false, sbGrayedBtns, true, false},
      {"ItemDisabled", false, true, false, sbGrayedBtns, false, false},
      {"BarDisabled", true, false, false, sbGrayedBtns, false, false},
      {"Flat", true, true, false, sbFlatBtns, true, true},
      {"EditingEnablesAndRaises", false, true, true, sbFlatBtns, true, false},
  };
  for (const Case& c : cases) {
    Form f;
    QWidget dialog;
    f.bar->SetOptions(c.options);
    f.save->SetEnabled(c.itemEnabled);
    f.bar->setEnabled(c.barEnabled);
    if (c.editing) f.bar->SetEditing(&dialog);
    EXPECT_EQ(f.save->Button()->isEnabled(), c.enabled) << c.name;
    EXPECT_EQ(f.save->Button()->Flat(), c.flat) << c.name;
    f.bar->SetEditing(nullptr);
  }
}

TEST(SpeedBar, ItemsClickAndShowOnlyOnAVisibleBar) {
  Form f;
  int clicks = 0;
  QObject::connect(f.open, &TSpeedItem::clicked, [&] { ++clicks; });
  QTest::mouseClick(f.open->Button(), Qt::LeftButton);
  f.open->ButtonClick();
  EXPECT_EQ(clicks, 2);
  EXPECT_TRUE(f.open->Button()->isVisible());
  EXPECT_FALSE(f.cut->Button()->isVisible());
  f.bar->hide();
  f.bar->show();
  EXPECT_TRUE(f.open->Button()->isVisible());
  EXPECT_EQ(f.open->Button()->geometry(), QRect(3, 3, 24, 23));
}

// A button's tip goes after its time even when it is asked for again and
// again while the pointer stays (as the help timer does on every motion the
// window system reports), and comes back only once the pointer has left.
TEST(SpeedBar, AButtonsTipGoesAfterItsTimeWhileThePointerStays) {
  Form f;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  TSpeedbarButton* button = f.open->Button();
  auto ask = [button] {
    const QPoint at = button->rect().center();
    QHelpEvent help(QEvent::ToolTip, at, button->mapToGlobal(at));
    QApplication::sendEvent(button, &help);
  };
  struct Step {
    const char* name;
    std::function<void()> before;
    bool shown;
    bool waitForItsEnd;
  };
  QTimer again;  // asks every 200 ms while the pointer stays
  again.setInterval(200);
  QObject::connect(&again, &QTimer::timeout, ask);
  const Step steps[] = {
      {"first stay", [] {}, true, true},
      {"same stay", [] {}, false, false},
      {"after leaving",
       [button] {
         QEvent leave(QEvent::Leave);
         QApplication::sendEvent(button, &leave);
       },
       true, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.before();
    ask();
    EXPECT_EQ(QToolTip::isVisible(), s.shown);
    if (!s.shown) continue;
    EXPECT_EQ(QToolTip::text(), "Open");
    if (!s.waitForItsEnd) continue;
    again.start();
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }));
    again.stop();
  }
  // A button hidden takes its tip with it.
  ASSERT_TRUE(QToolTip::isVisible());
  f.bar->hide();
  EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, std::chrono::seconds(5)));
}

TEST(SpeedBar, AlignmentRulesAndOrientation) {
  Form f;
  EXPECT_EQ(f.bar->geometry(), QRect(0, 0, 400, 29));
  EXPECT_THROW(f.bar->SetAlign(TAlign::alClient), ESpeedbarError);  // not under bpAuto
  f.bar->SetAlign(TAlign::alLeft);
  EXPECT_EQ(f.bar->Orientation(), TBarOrientation::boVertical);
  EXPECT_EQ(f.bar->BtnSize(), QSize(23, 24));
  EXPECT_EQ(f.bar->geometry(), QRect(0, 0, 29, 300));
  f.bar->SetPosition(TBarPosition::bpCustom);
  f.bar->SetAlign(TAlign::alClient);
  EXPECT_EQ(f.bar->Align(), TAlign::alClient);
}

TEST(SpeedBar, DraggingDocksAtAnotherEdgeUnlessRefused) {
  struct Case {
    const char* name;
    QPoint to;
    bool refuse;
    TAlign align;
    int posChanged;
  };
  const Case cases[] = {
      {"ShortMoveDoesNotDock", {204, 14}, false, TAlign::alTop, 0},
      {"Bottom", {200, 280}, false, TAlign::alBottom, 1},
      {"Right", {390, 150}, false, TAlign::alRight, 1},
      {"Refused", {200, 280}, true, TAlign::alTop, 1},
  };
  for (const Case& c : cases) {
    Form f;
    int changed = 0;
    QObject::connect(f.bar, &TSpeedBar::posChanged, [&] { ++changed; });
    f.bar->OnApplyAlign = [&](TSpeedBar*, TAlign, bool& apply) { apply = !c.refuse; };
    QTest::mousePress(f.bar, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseMove(f.bar, c.to);
    QTest::mouseRelease(f.bar, Qt::LeftButton, {}, c.to);
    EXPECT_EQ(f.bar->Align(), c.align) << c.name;
    EXPECT_EQ(changed, c.posChanged) << c.name;
  }
}

TEST(SpeedBar, InnerEdgeResizesInWholeRows) {
  Form f;
  f.bar->SetOptions(sbAllowResize | sbGrayedBtns);
  QTest::mousePress(f.bar, Qt::LeftButton, {}, QPoint(100, 27));
  QTest::mouseMove(f.bar, QPoint(100, 60));
  QTest::mouseRelease(f.bar, Qt::LeftButton, {}, QPoint(100, 60));
  EXPECT_EQ(f.bar->height(), 2 * 23 + 6);
  EXPECT_EQ(f.bar->Align(), TAlign::alTop);
}

TEST(SpeedBar, DroppedItemsSnapToTheGrid) {
  Form f;
  // Open lies at 3 and Save at 27; the bar is 400 wide and one row high.
  struct Case {
    const char* what;
    QPoint copy, pointer;
    QPoint placed;
    bool onBar;
  };
  const Case cases[] = {
      {"on the grid", {100, 3}, {100, 3}, {99, 3}, true},
      {"low in the row", {100, 20}, {100, 20}, {99, 3}, true},
      {"the pointer on the last line", {180, 5}, {200, 28}, {179, 3}, true},
      {"the pointer off the bar", {500, 3}, {500, 3}, {179, 3}, false},
      {"the copy above the bar", {150, -15}, {174, 8}, {147, 3}, true},
      {"the left end, where Open lies", {-20, -12}, {4, 11}, {51, 3}, true},
      {"the right end", {390, 3}, {398, 20}, {371, 3}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(f.bar->PlaceItem(f.cut, c.copy, c.pointer), c.onBar) << c.what;
    if (c.onBar) {
      EXPECT_EQ(QPoint(f.cut->Left(), f.cut->Top()), c.placed) << c.what;
    }
    EXPECT_EQ(f.cut->Visible(), c.onBar) << c.what;
  }
  f.bar->SetBtnWidth(23);
  EXPECT_EQ(f.bar->GridX(), 1);
  f.bar->PlaceItem(f.cut, {214, 3});
  EXPECT_EQ(f.cut->Left(), 214);
}

// The visible drag copies of buttons.
int DragCopies() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    n += qobject_cast<TBtnControl*>(w) && w->isVisible();
  return n;
}

TEST(SpeedBar, ButtonDraggedOffTheBarWhileEditingLeavesIt) {
  Form f;
  QWidget dialog;
  f.bar->SetEditing(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  TSpeedbarButton* button = f.save->Button();
  // Pressed on the button, moved in steps and released where the mouse is.
  const auto drag = [&](QPoint to) {
    QWindow* w = f.window.windowHandle();
    const QPoint from = button->mapTo(&f.window, QPoint(5, 5));
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QTest::mouseMove(w, from + (to - from) / 2);
    QTest::mouseMove(w, to);
    EXPECT_EQ(DragCopies(), 1);
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
  };
  drag(button->mapTo(&f.window, QPoint(40, 5)));
  EXPECT_TRUE(f.save->Visible());
  EXPECT_TRUE(button->isVisible());
  EXPECT_EQ(f.save->Left(), 59);  // 27 moved by 35, snapped to steps of 8 from 3
  // Moved onto Open with the copy's middle over Open's first half: it goes
  // in before Open, which moves along to make room.
  drag(f.bar->mapTo(&f.window, QPoint(5, 5)));
  EXPECT_EQ(f.save->Left(), 3);
  EXPECT_EQ(f.open->Left(), 27);
  EXPECT_FALSE(f.save->Button()->geometry().intersects(f.open->Button()->geometry()));
  drag(button->mapTo(&f.window, QPoint(5, 200)));
  EXPECT_FALSE(f.save->Visible());
  EXPECT_FALSE(button->isVisible());
  EXPECT_EQ(DragCopies(), 0);
  // Customising that ends in the middle of a drag takes the copy away.
  QTest::mousePress(f.window.windowHandle(), Qt::LeftButton, {},
                    f.open->Button()->mapTo(&f.window, QPoint(5, 5)));
  EXPECT_EQ(DragCopies(), 1);
  f.bar->SetEditing(nullptr);
  EXPECT_EQ(DragCopies(), 0);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  QTest::mouseRelease(f.window.windowHandle(), Qt::LeftButton);
}

// Customising ends after a drag in several ways; then a flat button is
// raised exactly when the pointer rests on it, whatever it crossed.
TEST(SpeedBar, FlatButtonsFollowThePointerWhenCustomisingEnds) {
  enum class End { OkAfterDragAlong, OkAfterDragOff, EscapeMidDrag };
  struct Case {
    const char* name;
    End end;
    bool restOnOpen;  // the pointer rests on the open button at the end
  };
  const Case cases[] = {
      {"OkAfterDragAlong", End::OkAfterDragAlong, false},
      {"OkAfterDragOff", End::OkAfterDragOff, false},
      {"EscapeMidDrag", End::EscapeMidDrag, false},
      {"EscapeMidDragOnAButton", End::EscapeMidDrag, true},
      {"OkAfterDragOffOnAButton", End::OkAfterDragOff, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form f;
    f.bar->SetOptions(sbFlatBtns | sbGrayedBtns);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    f.bar->Customize();
    TSpeedbarSetupWindow* setup = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* s = qobject_cast<TSpeedbarSetupWindow*>(w); s && s->SpeedBar() == f.bar) setup = s;
    ASSERT_NE(setup, nullptr);
    QWindow* w = f.window.windowHandle();
    // Pressed on Save, dragged across Open.
    const QPoint from = f.save->Button()->mapTo(&f.window, QPoint(5, 5));
    const QPoint across = f.open->Button()->mapTo(&f.window, QPoint(5, 5));
    QCursor::setPos(f.window.mapToGlobal(from));
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QTest::mouseMove(w, across);
    const QPoint rest = c.restOnOpen ? f.open->Button()->mapToGlobal(QPoint(5, 5))
                                     : f.window.mapToGlobal(QPoint(200, 200));
    if (c.end == End::EscapeMidDrag) {
      QCursor::setPos(rest);
      setup->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(setup));
      QTest::keyClick(setup->windowHandle(), Qt::Key_Escape);
      QTest::mouseRelease(w, Qt::LeftButton, {}, f.window.mapFromGlobal(rest));
    } else {
      const QPoint drop =
          c.end == End::OkAfterDragAlong ? across + QPoint(60, 0) : QPoint(200, 200);
      QTest::mouseMove(w, drop);
      QTest::mouseRelease(w, Qt::LeftButton, {}, drop);
      QCursor::setPos(rest);
      setup->findChild<QPushButton*>("CloseBtn")->click();
    }
    QApplication::processEvents();
    EXPECT_FALSE(f.open->Editing());
    ASSERT_TRUE(f.open->Button()->Flat());
    EXPECT_EQ(f.open->Button()->MouseInControl(), c.restOnOpen);
    EXPECT_FALSE(f.save->Button()->MouseInControl());
    EXPECT_EQ(f.open->Button()->PaintState(),
              c.restOnOpen ? TVxButtonState::rbsUp : TVxButtonState::rbsInactive);
  }
}

// Found from the bars' geometry: a window over the point that is on its way
// out (the drag copy) does not hide the bar; a window that stays on top
// (the setup dialog), the bar's parent clipping it, and a point beside the
// bar do.
TEST(SpeedBarSetup, TheBarUnderADropIsFoundFromTheBarsGeometry) {
  Form f, g;
  f.window.move(0, 0);
  g.window.move(500, 0);
  QWidget clipped;
  auto* panel = new QWidget(&clipped);
  panel->setGeometry(0, 0, 60, 60);
  auto* hidden = new TSpeedBar(panel);
  hidden->setGeometry(0, 0, 300, 30);
  clipped.move(0, 400);
  clipped.resize(400, 100);
  clipped.show();
  for (QWidget* w : {&f.window, &g.window, &clipped}) ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  const QPoint onF = f.bar->mapToGlobal(QPoint(100, 5));
  TBtnControl copy(f.cut, f.bar->BtnSize());
  copy.FollowCursor(onF + QPoint(24, 23));
  copy.show();
  EXPECT_EQ(FindSpeedBar(onF), f.bar);
  EXPECT_EQ(FindSpeedBar(g.bar->mapToGlobal(QPoint(100, 5))), g.bar);
  EXPECT_EQ(FindSpeedBar(f.window.mapToGlobal(QPoint(100, 200))), nullptr);
  EXPECT_EQ(FindSpeedBar(hidden->mapToGlobal(QPoint(100, 5))), nullptr);
  EXPECT_EQ(FindSpeedBar(hidden->mapToGlobal(QPoint(20, 5))), hidden);
  QWidget onTop(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
  onTop.setGeometry(QRect(onF - QPoint(10, 10), QSize(40, 40)));
  onTop.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&onTop));
  EXPECT_EQ(FindSpeedBar(onF), nullptr);
  EXPECT_EQ(FindSpeedBar(f.bar->mapToGlobal(QPoint(200, 5))), f.bar);
}

// A window that owns the bar's window (a message list is a window of the
// main window's) lying over the bar hides it: the drop does not reach the
// bar of the window below.
TEST(SpeedBarSetup, AnOwnerWindowOverTheBarHidesIt) {
  QWidget owner;
  Form f;
  owner.setGeometry(0, 0, 500, 300);
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  f.window.hide();
  f.window.setParent(&owner, Qt::Window);
  f.window.move(400, 100);
  f.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  const QPoint onBar = f.bar->mapToGlobal(QPoint(50, 5));  // over the owner
  const QPoint besideOwner = f.bar->mapToGlobal(QPoint(200, 5));
  ASSERT_EQ(QApplication::topLevelAt(besideOwner), &f.window);
  if (QApplication::topLevelAt(onBar) != &owner) GTEST_SKIP() << "no stacking here";
  EXPECT_EQ(FindSpeedBar(onBar), nullptr);
  EXPECT_EQ(FindSpeedBar(besideOwner), f.bar);
}

// The window system's top window at the point decides: a window of the
// program over the bar hides it, and one with a bar of its own there takes
// the drop itself.
TEST(SpeedBarSetup, AWindowOverTheBarHidesIt) {
  Form f, cover;
  f.window.move(0, 0);
  cover.window.move(600, 600);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  const QPoint onF = f.bar->mapToGlobal(QPoint(100, 5));
  const QPoint besideCover = f.bar->mapToGlobal(QPoint(300, 5));
  EXPECT_EQ(FindSpeedBar(onF), f.bar);
  struct Case {
    const char* what;
    QPoint coverAt;  // the covering window's top-left, on the screen
    TSpeedBar* atOnF;
  };
  const Case cases[] = {
      {"its bar over the point", onF - QPoint(50, 2), cover.bar},
      {"its client area over the point", onF - QPoint(50, 100), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cover.window.resize(150, 150);
    cover.window.move(c.coverAt);
    cover.window.show();
    cover.window.raise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover.window));
    QApplication::processEvents();
    EXPECT_EQ(FindSpeedBar(onF), c.atOnF);
    EXPECT_EQ(FindSpeedBar(besideCover), f.bar);
  }
}

// A button dropped half over another goes to the nearest free place: both
// show whole and each takes its own clicks.
TEST(SpeedBar, AButtonDroppedOverAnotherTakesTheNearestFreePlace) {
  Form f;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  struct Case {
    TSpeedItem* Form::*moved;
    TSpeedItem* Form::*other;
    int left;
  };
  const Case cases[] = {{&Form::open, &Form::save, 51}, {&Form::save, &Form::open, 27}};
  for (const Case& c : cases) {
    TSpeedItem* moved = f.*c.moved;
    TSpeedItem* other = f.*c.other;
    moved->SetVisible(false);
    ASSERT_TRUE(f.bar->PlaceItem(moved, QPoint(other->Left() + 4, other->Top())));
    EXPECT_EQ(moved->Left(), c.left);
    EXPECT_FALSE(moved->Button()->geometry().intersects(other->Button()->geometry()));
    for (TSpeedItem* item : {moved, other})
      EXPECT_EQ(f.bar->childAt(item->Button()->geometry().center()), item->Button());
    f.open->SetBounds(3, 3);
    f.save->SetBounds(27, 3);
  }
}

TEST(SpeedBar, StoredLayoutIsReadBackAsTheRulesSay) {
  TempDir dir;
  const std::string file = dir / "MsgList.ini";
  {
    Form f;
    f.bar->SetOptions(sbAllowDrag | sbAllowResize | sbGrayedBtns);
    f.bar->SetAlign(TAlign::alBottom);
    f.bar->SetThickness(52);
    f.cut->SetBounds(51, 26);
    f.cut->SetVisible(true);
    f.save->Stored = false;
    TIniFile ini(file);
    f.bar->SaveLayout(&ini);
  }
  const std::string text = dir.Read("MsgList.ini");
  EXPECT_NE(text.find("[QWidgetSpeedBar1]\nPosition=2\nWidth=52\nVersion=0\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Button1=OpenItem,3,3\nButton2=CutItem,51,26\nCount=2\n"), std::string::npos)
      << text;

  struct Case {
    const char* name;
    const char* edit;
    bool cutShown;
    TAlign align;
    QPoint cutAt = QPoint(51, 26);
    int windowWidth = 400;  // the bar's length
    int barLength = 400;    // as long as its buttons need at the least
  };
  const Case cases[] = {
      {"AsStored", "", true, TAlign::alBottom},
      {"UnknownButtonSkipped", "Button2=GoneItem,1,1", false, TAlign::alBottom},
      {"OtherPixelsPerInch", "PixelsPerInch=120", false, TAlign::alBottom},
      {"OlderVersion", "Version=-1", false, TAlign::alTop},
      {"NoButtons", "Count=0", false, TAlign::alBottom},
      // Stored by an earlier version half over Open: it loads beside it.
      {"HalfOverAnother", "Button2=CutItem,15,3", true, TAlign::alBottom, QPoint(27, 3)},
      // Stored off the bar (on a wider screen): it comes behind the others.
      {"PastTheEnd", "Button2=CutItem,5000,3", true, TAlign::alBottom, QPoint(27, 3)},
      {"BelowTheLastRow", "Button2=CutItem,51,300", true, TAlign::alBottom, QPoint(3, 26)},
      // Moved aside past the end of a full bar: the bar grows to show it.
      {"OverAnotherOnAFullBar", "Button2=CutItem,3,3", true, TAlign::alBottom, QPoint(27, 3), 40,
       54},
  };
  for (const Case& c : cases) {
    std::string edited = text;
    if (*c.edit) {
      const std::string key = std::string(c.edit).substr(0, std::string(c.edit).find('=') + 1);
      const size_t at = edited.find(key);
      edited.replace(at, edited.find('\n', at) - at, c.edit);
    }
    dir.Write("Edited.ini", edited);
    Form f;
    f.bar->SetOptions(sbAllowDrag | sbAllowResize | sbGrayedBtns);
    f.bar->Version = 0;
    f.window.resize(c.windowWidth, 300);
    TIniFile ini(dir / "Edited.ini");
    f.bar->RestoreLayout(&ini);
    EXPECT_EQ(f.bar->Align(), c.align) << c.name;
    EXPECT_EQ(f.cut->Visible(), c.cutShown) << c.name;
    EXPECT_TRUE(f.open->Visible()) << c.name;
    if (c.cutShown) {
      EXPECT_EQ(QPoint(f.cut->Left(), f.cut->Top()), c.cutAt) << c.name;
      EXPECT_EQ(f.bar->height(), 52);
      EXPECT_GE(f.bar->width(), c.barLength) << c.name;
      EXPECT_TRUE(f.bar->rect().contains(f.cut->Button()->geometry())) << c.name;
    }
    if (c.barLength > c.windowWidth) {
      // Dragged off the grown bar, the button takes its room along.
      QWidget dialog;
      f.bar->SetEditing(&dialog);
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
      QWindow* w = f.window.windowHandle();
      const QPoint from = f.cut->Button()->mapTo(&f.window, QPoint(5, 5)), to(5, 100);
      QTest::mousePress(w, Qt::LeftButton, {}, from);
      QTest::mouseMove(w, (from + to) / 2);
      QTest::mouseMove(w, to);
      QTest::mouseRelease(w, Qt::LeftButton, {}, to);
      f.bar->SetEditing(nullptr);
      EXPECT_FALSE(f.cut->Visible()) << c.name;
      EXPECT_EQ(f.bar->width(), c.windowWidth) << c.name;
    }
  }
}

TEST(SpeedBarSetup, OneDialogPerBarAndItsRoundTrip) {
  TempDir dir;
  {
    Form f;
    int customized = 0;
    QObject::connect(f.bar, &TSpeedBar::customize, [&] { ++customized; });
    f.bar->Customize();
    f.bar->Customize();
    int dialogs = 0;
    TSpeedbarSetupWindow* setup = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* s = qobject_cast<TSpeedbarSetupWindow*>(w); s && s->isVisible()) {
        ++dialogs;
        setup = s;
      }
    }
    ASSERT_EQ(dialogs, 1);
    EXPECT_EQ(setup->SectionList()->count(), 2);
    EXPECT_EQ(setup->ButtonsList()->count(), 2);
    setup->SectionList()->setCurrentRow(1);
    ASSERT_EQ(setup->ButtonsList()->count(), 1);
    EXPECT_EQ(setup->SelectedItem(), f.cut);
    EXPECT_TRUE(f.cut->Editing());
    EXPECT_FALSE(setup->DropItem(f.cut, QPoint(-500, -500)));  // outside any bar
    EXPECT_FALSE(f.cut->Visible());
    // Dragged from the list by its image: the copy's top-left corner lands at (52, 4) of the bar.
    QWidget* list = setup->ButtonsList()->viewport();
    const QPoint drop = list->mapFromGlobal(f.bar->mapToGlobal(QPoint(52 + 24, 4 + 23)));
    QTest::mousePress(list, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(list, drop);
    QTest::mouseRelease(list, Qt::LeftButton, {}, drop);
    EXPECT_TRUE(f.cut->Visible());
    EXPECT_EQ(setup->SectionList()->currentRow(), 1);
    setup->close();
    QApplication::processEvents();
    EXPECT_EQ(customized, 1);
    EXPECT_FALSE(f.cut->Editing());
    TIniFile ini(dir / "Bar.ini");
    f.bar->SaveLayout(&ini);
  }
  Form f;
  TIniFile ini(dir / "Bar.ini");
  f.bar->RestoreLayout(&ini);
  EXPECT_TRUE(f.cut->Visible());
  EXPECT_EQ(QPoint(f.cut->Left(), f.cut->Top()), QPoint(51, 3));
}

TEST(SpeedBarSetup, DestroyingTheBarClosesTheDialog) {
  auto* f = new Form;
  f->bar->Customize(7);
  QPointer<TSpeedbarSetupWindow> setup;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* s = qobject_cast<TSpeedbarSetupWindow*>(w); s && s->SpeedBar() == f->bar) setup = s;
  ASSERT_TRUE(setup);
  EXPECT_TRUE(setup->findChild<QWidget*>("HelpBtn")->isVisibleTo(setup));
  std::vector<int> helpShown;
  platform::HelpViewerFn before =
      platform::SetHelpViewer([&helpShown](int context) { helpShown.push_back(context); });
  setup->findChild<QPushButton*>("HelpBtn")->click();
  setup->activateWindow();  // F1 asks for the same page
  ASSERT_TRUE(QTest::qWaitForWindowActive(setup));
  KeyThroughWindow(setup, Qt::Key_F1);
  platform::SetHelpViewer(before);
  EXPECT_EQ(helpShown, (std::vector<int>{7, 7}));
  delete f;
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(setup);
}

}  // namespace
}  // namespace velmaris::test
