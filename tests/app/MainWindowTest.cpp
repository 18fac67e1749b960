#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

#include "MainWindowFixture.h"
#include "core/MsgHeader.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "widgets/SpeedBar.h"

namespace velmaris::test {
namespace {

constexpr uint16_t U = MsgFlag::Unread;
constexpr uint16_t S = MsgFlag::ToSysop;
constexpr uint16_t N = MsgFlag::New;
constexpr uint16_t X = MsgFlag::Send;

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, FreshStartDirectoryShowsTheSystemAreas) {
  TKQMainWindow& w = Open();
  EXPECT_EQ(Rows(), (QStringList{"NETMAIL\t\t\t\t", "BAD\t\t\t\t", "DUPES\t\t\t\t"}));
  EXPECT_EQ(Status(), "3 Areas");
  EXPECT_EQ(GetMainWindow(), &w);
  EXPECT_EQ(GetShellServices(), &w);
  // Nothing asked on a first start.
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(MainWindowTest, PluginMenuAndLaterCommandsStartOff) {
  TKQMainWindow& w = Open();
  EXPECT_EQ(w.objectName(), "KQMainWindow");
  // The plug-in menu stays hidden until a plug-in offers a service.
  auto* plugins = w.findChild<QMenu*>("Plugins");
  ASSERT_NE(plugins, nullptr);
  EXPECT_FALSE(plugins->menuAction()->isVisible());
  EXPECT_TRUE(w.findChild<QAction*>("Import")->isEnabled());
  EXPECT_TRUE(w.findChild<QAction*>("Beenden1")->isEnabled());
  EXPECT_TRUE(w.findChild<QAction*>("Settings")->isEnabled());
  EXPECT_FALSE(w.findChild<TSpeedItem*>("DeleteBtn")->Visible());
}

TEST_F(MainWindowTest, CellTextsFollowTheStoredMessages) {
  Prepare({
      // 120 messages: 4 to the sysop (one of them unread and new), 3 unread,
      // 2 of them new, 5 waiting for export.
      {"FIDO.GER", Join({{U | S | N, S, S, S, U | N, U}, Times(5, X), Times(109, 0)})},
      {kSeparatorName, {}},
      {"R50.SYSOP", {}},
      {"SU.GENERAL", Join({Times(12, 0), Times(2, U), {U | S}})},
      {kSeparatorName, {}},
      {"RU.LINUX", Times(7, X)},
  });
  Open();
  EXPECT_EQ(Rows(), (QStringList{
                        "NETMAIL\t\t\t\t",
                        "BAD\t\t\t\t",
                        "DUPES\t\t\t\t",
                        "FIDO.GER\t120(4)\t3(1)\t2(1)\t5",
                        "!SEP!\t!SEP!\t!SEP!\t!SEP!\t!SEP!",
                        "R50.SYSOP\t\t\t\t",
                        "SU.GENERAL\t15(1)\t3(1)\t\t",
                        "!SEP!\t!SEP!\t!SEP!\t!SEP!\t!SEP!",
                        "RU.LINUX\t7\t\t\t7",
                    }));
  EXPECT_EQ(Status(), "7 Areas");
}

TEST_F(MainWindowTest, ExclusiveUnlockRedrawsTheAreaLine) {
  Prepare({{"FIDO.GER", Times(4, U)}, {"RU.LINUX", Times(2, U)}});
  Open();
  ASSERT_EQ(Rows()[3], "FIDO.GER\t4\t4\t\t");
  TArea* area = Area("FIDO.GER");
  ASSERT_NE(area, nullptr);

  // A shared lock and its release leave the row alone.
  ASSERT_TRUE(area->Lock(false));
  ASSERT_TRUE(area->OpenIndex());
  area->ChangeHeaderFlags(0, U, FlagOperation::Clear);
  area->Unlock();
  PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(Rows()[3], "FIDO.GER\t4\t4\t\t");

  // The release of an exclusive lock redraws it, and only it.
  ASSERT_TRUE(area->Lock(true));
  area->ChangeHeaderFlags(1, U | S, FlagOperation::Toggle);  // read, now to the sysop
  area->ChangeHeaderFlags(2, X, FlagOperation::Set);
  area->Unlock();
  EXPECT_EQ(Rows()[3], "FIDO.GER\t4\t4\t\t");  // redrawn on the main loop, not inside the lock
  ASSERT_TRUE(PumpUntil([&] { return Rows()[3] != "FIDO.GER\t4\t4\t\t"; }));
  EXPECT_EQ(Rows()[3], "FIDO.GER\t4(1)\t2\t\t1");
  EXPECT_EQ(Rows()[4], "RU.LINUX\t2\t2\t\t");
  area->CloseIndex();
}

TEST_F(MainWindowTest, UnlockFromAWorkerRedrawsOnTheMainThread) {
  Prepare({{"FIDO.GER", Times(2, U)}});
  Open();
  TArea* area = Area("FIDO.GER");
  ASSERT_NE(area, nullptr);
  std::thread worker([area] {
    ASSERT_TRUE(area->Lock(true));
    ASSERT_TRUE(area->OpenIndex());
    area->ChangeHeaderFlags(0, U, FlagOperation::Clear);
    area->CloseIndex();
    area->Unlock();
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return Rows()[3] == "FIDO.GER\t2\t1\t\t"; }));
}

TEST_F(MainWindowTest, AddedAreaRefreshesTheList) {
  Open();
  ASSERT_NE(window->ConfigStore().AddArea("FIDO.GER", "FIDO.GER", AreaTypeCode::Echomail, nullptr),
            nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Rows().size() == 4; }));
  EXPECT_EQ(Rows()[3], "FIDO.GER\t\t\t\t");
  EXPECT_EQ(Status(), "4 Areas");
}

TEST_F(MainWindowTest, LineUpdateBeforeTheRebuildNeverHitsAnotherArea) {
  Prepare({{"FIDO.GER", Times(2, U)}});
  Open();
  // An area is added and moved to the top; the rebuild is still to come.
  TArea* added =
      window->ConfigStore().AddAreaQuiet("AAA.NEW", "AAA.NEW", AreaTypeCode::Echomail, nullptr);
  ASSERT_NE(added, nullptr);
  TArea* old = Area("FIDO.GER");
  window->ConfigStore().Areas().Delete(window->ConfigStore().Areas().IndexOfObject(added));
  window->ConfigStore().Areas().Insert(0, added);
  window->UpdateAreaLine(*old);
  EXPECT_EQ(Rows(), (QStringList{"AAA.NEW\t\t\t\t", "NETMAIL\t\t\t\t", "BAD\t\t\t\t",
                                 "DUPES\t\t\t\t", "FIDO.GER\t2\t2\t\t"}));
  EXPECT_EQ(Status(), "5 Areas");
  // Only counts changed: one row.
  old->Count = 7;
  window->UpdateAreaLine(*old);
  EXPECT_EQ(Rows()[4], "FIDO.GER\t7\t2\t\t");
  // An area that is not listed changes nothing.
  TArea stray("", "STRAY", "STRAY");
  window->UpdateAreaLine(stray);
  EXPECT_EQ(Rows().size(), 5);
}

TEST_F(MainWindowTest, NamesAreShownAsCellsOfTheirOwn) {
  // CP1251 bytes become Unicode; a tab or a leading bracket cannot disturb
  // the cells.
  Prepare({{"RU.\xCF\xD0\xC8\xC2\xC5\xD2", Times(1, 0)},
           {"[1]ODD\tNAME", {}},
           {"RU.ТЕСТ", {}},
           {"RU.\xCB\xA8", {}}});
  Open();
  auto* list = window->AreaListBox();
  int image = 0, overlay = 0;
  QString caption;
  list->GetData(3, 0, image, overlay, caption);
  EXPECT_EQ(caption, QString::fromUtf8("RU.ПРИВЕТ"));
  list->GetData(4, 0, image, overlay, caption);
  EXPECT_EQ(caption, "[1]ODD NAME");
  EXPECT_EQ(image, -1);
  list->GetData(4, 1, image, overlay, caption);
  EXPECT_EQ(caption, "");
  // An echo tag kept as the UTF-8 a modern tosser sent shows its letters;
  // CP1251 "ЛЁ" (CB A8, valid UTF-8 too) still shows as CP1251.
  list->GetData(5, 0, image, overlay, caption);
  EXPECT_EQ(caption, QString::fromUtf8("RU.ТЕСТ"));
  list->GetData(6, 0, image, overlay, caption);
  EXPECT_EQ(caption, QString::fromUtf8("RU.ЛЁ"));
}

TEST_F(MainWindowTest, WindowListShowsTheMainWindow) {
  TKQMainWindow& w = Open();
  auto* wList = w.WindowListBox();
  // The main window first, then the long-lived import and export windows.
  ASSERT_EQ(wList->count(), 3);
  EXPECT_EQ(wList->item(0)->text(), "Area list");
  EXPECT_EQ(wList->item(1)->text(), "Import");
  EXPECT_EQ(wList->item(2)->text(), "Export");
  ASSERT_EQ(WinLst().GetCount(), 3);
  EXPECT_EQ(WinLst().GetItem(0), static_cast<TObject*>(&w));
  // A double-click brings the window back.
  w.showMinimized();
  emit wList->itemDoubleClicked(wList->item(0));
  EXPECT_FALSE(w.isMinimized());
  EXPECT_TRUE(w.isVisible());
  window.reset();
  EXPECT_EQ(WinLst().GetCount(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(GetShellServices(), nullptr);
}

TEST_F(MainWindowTest, PressesInTheAreaList) {
  constexpr int kBelow = -1;  // the empty space below the rows
  struct Case {
    const char* what;
    Qt::MouseButton button;
    int row;
    std::vector<int> selected, expected;
    int focus;
    bool popup;
  } cases[] = {
      {"right on an unselected row", Qt::RightButton, 4, {1}, {4}, 4, true},
      {"right on a selected row", Qt::RightButton, 4, {1, 4}, {1, 4}, 4, true},
      {"left below the rows", Qt::LeftButton, kBelow, {1, 4}, {}, -1, false},
      {"right below the rows", Qt::RightButton, kBelow, {1, 4}, {}, -1, false},
  };
  Prepare({{"A", {}}, {"B", {}}});
  TKQMainWindow& w = Open();
  w.resize(700, 500);
  w.show();
  auto* list = w.AreaListBox();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    list->SelectItem(-1);
    for (int row : c.selected) list->SetSelected(row, true);
    list->SetFocusIndex(c.selected.back());
    QRect rect;
    ASSERT_TRUE(list->GetItemRect(4, rect));
    const QPoint at = c.row == kBelow ? QPoint(5, list->viewport()->height() - 2) : rect.center();
    QTest::mousePress(list->viewport(), c.button, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), c.button, Qt::NoModifier, at);
    std::vector<int> selected;
    for (int i = 0; i < list->Count(); ++i)
      if (list->Selected(i)) selected.push_back(i);
    EXPECT_EQ(selected, c.expected);
    EXPECT_EQ(list->FocusIndex(), c.focus);
    if (c.expected.empty()) {
      EXPECT_EQ(list->ItemIndex(), -1);
    }
    EXPECT_EQ(w.AreaPopup()->isVisible(), c.popup);
    w.AreaPopup()->hide();
  }
}

}  // namespace
}  // namespace velmaris::test
