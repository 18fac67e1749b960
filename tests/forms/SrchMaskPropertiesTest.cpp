// The mask dialog: schemes to controls and back, Apply, and the dialog's
// life with its mask.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include "QtTestApp.h"
#include "core/forms/SrchMaskProperties.h"

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
    EXPECT_EQ(shown.TossDate.Mode, MaskScheme(index).TossDays ? TDateSearch::Recent : TDateSearch::AnyDate);
    EXPECT_EQ(sheme->currentIndex(), index);
  }
  // All seven boxes on ignore and the toss date ignored: all messages.
  dialog->ShemeChange(12);
  for (const char* box : {"CBToSysop", "CBSend", "CBSent", "CBKill", "CBHold", "CBUnread", "CBImported"})
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
  EXPECT_TRUE(test::PumpUntil([&] { return dialog.isNull(); }));
}

}  // namespace
}  // namespace velmaris
