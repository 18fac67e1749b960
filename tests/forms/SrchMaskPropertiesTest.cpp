// The mask dialog: schemes to controls and back, Apply, and the dialog's
// life with its mask.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>

#include "QtTestApp.h"
#include "core/forms/SrchMaskProperties.h"
#include "platform/Help.h"
#include "widgets/DateEdit.h"
#include "widgets/logic/DateHelpers.h"

namespace velmaris {
namespace {

TEST(SrchMaskPropertiesTest, SchemesSetTheControlsAndTheControlsShowTheirScheme) {
  test::App();
  TSearchRequest request;
  TSrchMaskProperties* dialog = EditSearchRequest(request);
  auto* sheme = dialog->findChild<QComboBox*>("Sheme");
  for (int index = 0; index < kMaskSchemeCount; ++index) {
    SCOPED_TRACE(index);
    dialog->ShemeChange(index);
    const TSearchRequest shown = dialog->FromControls();
    EXPECT_EQ(shown.FlagMask, MaskScheme(index).FlagMask);
    EXPECT_EQ(shown.Flags, MaskScheme(index).Flags);
    EXPECT_EQ(shown.TossDate.Mode,
              MaskScheme(index).TossDays ? TDateSearch::Recent : TDateSearch::AnyDate);
    EXPECT_EQ(sheme->currentIndex(), index);
  }
  // All seven boxes on ignore and the toss date ignored: all messages.
  dialog->ShemeChange(12);
  for (const char* box :
       {"CBToSysop", "CBSend", "CBSent", "CBKill", "CBHold", "CBUnread", "CBImported"})
    dialog->findChild<QComboBox*>(box)->setCurrentIndex(2);
  dialog->findChild<QRadioButton*>("RBTIgnore")->setChecked(true);
  EXPECT_EQ(sheme->currentIndex(), 0);
  // A text switch on: no scheme.
  dialog->findChild<QCheckBox*>("DoApplyText")->setChecked(true);
  EXPECT_EQ(sheme->currentIndex(), -1);
  dialog->close();
}

TEST(SrchMaskPropertiesTest, ApplyStoresTheControlsAndABadDaysTextGives365) {
  test::App();
  TSearchRequest request;
  request.Caption = "Display mask";
  TSrchMaskProperties* dialog = EditSearchRequest(request);
  EXPECT_EQ(EditSearchRequest(request), dialog);  // one dialog per mask
  int applied = 0;
  dialog->OnApplied = [&applied](TSearchRequest&) { ++applied; };
  dialog->findChild<QCheckBox*>("DoApplyOrigName")->setChecked(true);
  dialog->findChild<QLineEdit*>("OrigName")->setText(QString(300, 'x'));
  dialog->findChild<QComboBox*>("CBUnread")->setCurrentIndex(1);
  dialog->findChild<QRadioButton*>("RBCRecent")->setChecked(true);
  dialog->findChild<QComboBox*>("CBCRecent")->setCurrentText("soon");
  EXPECT_FALSE(request.ApplyOrigin);  // nothing before Apply
  dialog->findChild<QPushButton*>("bApply")->click();
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(request.ApplyOrigin);
  EXPECT_EQ(request.Origin.Text().size(), TSearchString::kMaxText);
  EXPECT_EQ(request.FlagMask, 0x0004u);
  EXPECT_EQ(request.Flags, 0x0004u);
  EXPECT_EQ(request.CreationDate.Mode, TDateSearch::Recent);
  EXPECT_EQ(request.CreationDate.Limit, 365);
  EXPECT_EQ(dialog->windowTitle(), "Display mask");
  EXPECT_FALSE(dialog->findChild<QPushButton*>("bApply")->isEnabled());
}

TEST(SrchMaskPropertiesTest, DateFieldsReadNoDateAsZeroAndTakeTheDateKeys) {
  test::App();
  const TDateTime today = EncodeDate(2026, 6, 15);
  SetDateClock([today] { return today + 0.25; });
  TSearchRequest request;
  request.CreationDate.Mode = TDateSearch::Range;
  request.CreationDate.Start = 0;  // no date
  request.CreationDate.End = EncodeDate(1998, 3, 5);
  TSrchMaskProperties* dialog = EditSearchRequest(request);
  auto* start = dialog->findChild<TDateEdit*>("CStart");
  auto* end = dialog->findChild<TDateEdit*>("CEnd");
  ASSERT_NE(start, nullptr);
  ASSERT_NE(end, nullptr);
  EXPECT_TRUE(start->text().trimmed().remove(QLatin1Char('.')).remove(QLatin1Char('/')).isEmpty())
      << start->text().toStdString();
  EXPECT_EQ(dialog->FromControls().CreationDate.Start, 0.0);  // not today
  EXPECT_EQ(dialog->FromControls().CreationDate.End, EncodeDate(1998, 3, 5));

  struct Key {
    TDateEdit* edit;
    int key;
    Qt::KeyboardModifiers mods;
    const char* typed;
    TDateTime expected;
  } keys[] = {
      {start, Qt::Key_Plus, Qt::KeypadModifier, "", today + 1},  // an empty field counts from now
      {start, 0, {}, "t", today},
      {end, Qt::Key_Minus, Qt::KeypadModifier, "", EncodeDate(1998, 3, 4)},
      {end, 0, {}, "+", EncodeDate(1998, 3, 4)},  // swallowed without the calendar
      {end, 0, {}, "T", today},
  };
  for (const Key& k : keys) {
    if (k.key) QTest::keyClick(k.edit, Qt::Key(k.key), k.mods);
    if (*k.typed) QTest::keyClicks(k.edit, k.typed);
    EXPECT_EQ(k.edit->Date(), k.expected) << k.typed << " " << k.key;
  }
  if (const char* folder = std::getenv("VELMARIS_SHOTS")) {
    dialog->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    dialog->show();
    dialog->grab().save(QString::fromUtf8(folder) + "/SrchMaskDates.png");
  }
  dialog->findChild<QPushButton*>("bApply")->click();
  EXPECT_EQ(request.CreationDate.Start, today);
  EXPECT_EQ(request.CreationDate.End, today);
  // A field emptied again stores no date.
  end->SetDate(EmptyDate);
  dialog->findChild<QPushButton*>("bApply")->click();
  EXPECT_EQ(request.CreationDate.End, 0.0);
  dialog->close();
  SetDateClock({});
}

TEST(SrchMaskPropertiesTest, TheDialogGoesWithItsMaskAndAClosedDialogLeavesTheMask) {
  test::App();
  QPointer<TSrchMaskProperties> dialog;
  {
    auto request = std::make_unique<TSearchRequest>();
    dialog = EditSearchRequest(*request);
    const TSearchRequest copy = *request;  // a copy has no dialog
    EXPECT_EQ(copy.Dialog.Dialog, nullptr);
  }
  EXPECT_TRUE(dialog.isNull());
  TSearchRequest request;
  dialog = EditSearchRequest(request);
  dialog->close();
  EXPECT_EQ(request.Dialog.Dialog, nullptr);
  // Only the dialog's own deferred delete: other suites' windows may wait too.
  QCoreApplication::sendPostedEvents(dialog, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

TEST(SrchMaskPropertiesTest, TheMenuClosesTheDialogAndOpensTheHelpContents) {
  test::App();
  TSearchRequest request;
  QPointer<TSrchMaskProperties> dialog = EditSearchRequest(request);
  dialog->show();
  auto* bar = dialog->findChild<QMenuBar*>("MainMenu1");
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  QStringList menus;
  for (QAction* menu : bar->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"&Файл", "&Справка"}));
  for (const char* item : {"Inhalt1", "Suchen1"}) {
    platform::ShowHelp(platform::kHelpMainWindow);
    dialog->findChild<QAction*>(item)->trigger();
    EXPECT_EQ(platform::LastHelpContext(), platform::kHelpContents) << item;
  }
  if (const char* folder = std::getenv("VELMARIS_SHOTS"))
    dialog->grab().save(QString::fromUtf8(folder) + "/SrchMaskMenu.png");
  dialog->findChild<QAction*>("Schlieen1")->trigger();
  EXPECT_EQ(request.Dialog.Dialog, nullptr);
  QCoreApplication::sendPostedEvents(dialog, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

}  // namespace
}  // namespace velmaris
