// The filters of an area's properties reach the area with the dialog's OK
// (and the batch maintenance follows them), Cancel drops them; rows hidden
// for an area type go with their labels.
#include "SettingsApplyFixture.h"

namespace velmaris::test {
namespace {

class AreaFilterTest : public SettingsApplyTest {
 protected:
  void EditArea(const std::function<void(TAreaProperties&)>& answer) {
    OpenSettings();
    dialog->Notebook()->setCurrentWidget(Find<QWidget>("TabAreas"));
    Find<QListWidget>("InfoAreaName")->setCurrentRow(Store().Areas().IndexOfName("ECHO.ONE"));
    const ModalHook old = SetModalHook([&answer](QWidget* w) {
      auto* props = qobject_cast<TAreaProperties*>(w);
      if (!props) return int(QDialog::Rejected);
      props->show();
      answer(*props);
      return props->result();
    });
    Click("ShowAreaProperties");
    SetModalHook(old);
  }
  // Opens the maintenance filter and lets unread messages go.
  static void LetUnreadGo(TAreaProperties& props) {
    QTest::mouseClick(props.MaintainFilterProperties, Qt::LeftButton);
    auto* mask = props.findChild<TSrchMaskProperties*>();
    ASSERT_NE(mask, nullptr);
    ASSERT_TRUE(mask->isVisible());
    mask->findChild<QComboBox*>("CBUnread")->setCurrentIndex(2);  // no matter
    if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
      mask->grab().save(QString::fromUtf8(dir) + "/AreaMaintainFilter.png");
    QTest::mouseClick(mask->findChild<QPushButton*>("Button3"), Qt::LeftButton);  // OK
    EXPECT_TRUE(props.bApply->isEnabled());
  }
};

TEST_F(AreaFilterTest, MaintenanceFilterSetInTheDialogIsFollowedByTheBatchMaintenance) {
  Prepare({{"ECHO.ONE", Times(6, MsgFlag::Unread)}});
  Open();
  TArea& area = *Area("ECHO.ONE");
  const uint32_t mask = area.MaintainFilter.FlagMask;
  // Cancel drops the filter with the other fields.
  EditArea([](TAreaProperties& props) {
    LetUnreadGo(props);
    QTest::mouseClick(props.CancelButton, Qt::LeftButton);
  });
  EXPECT_EQ(area.MaintainFilter.FlagMask, mask);
  Click("OKBtn");
  // Unread messages are kept by the default filter: nothing goes.
  EditArea([](TAreaProperties& props) {
    props.DoApplyAge->setChecked(false);
    props.DoApplyNUmber->setChecked(true);
    props.SpinNUmber->SetValue(2);
    if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS")) {
      props.findChild<QTabWidget*>()->setCurrentIndex(1);
      props.grab().save(QString::fromUtf8(dir) + "/AreaPropertiesMaintain.png");
    }
    QTest::mouseClick(props.OKButton, Qt::LeftButton);
  });
  Click("OKBtn");
  Batch("maintain");
  EXPECT_EQ(BatchCount("ECHO.ONE"), 6);
  // With the filter letting unread messages go, the count limit holds.
  EditArea([](TAreaProperties& props) {
    LetUnreadGo(props);
    QTest::mouseClick(props.OKButton, Qt::LeftButton);
  });
  EXPECT_EQ(area.MaintainFilter.FlagMask, mask & ~0x0004u);
  Click("OKBtn");
  Batch("maintain");
  EXPECT_EQ(BatchCount("ECHO.ONE"), 2);
}

TEST_F(AreaFilterTest, RowsHiddenForATypeTakeTheirLabels) {
  Prepare({{"ECHO.ONE", {}}});
  Open();
  for (const char* name : {"NETMAIL", "ECHO.ONE", "BAD"}) {
    TAreaProperties props(*Area(name), Store());
    props.show();
    QStringList labels;
    for (auto* label : props.findChildren<QLabel*>())
      if (label->isVisible()) labels << label->text();
    const bool echo = std::string(name) == "ECHO.ONE";
    EXPECT_EQ(labels.contains(QStringLiteral("Аплинк:")), echo) << name;
    EXPECT_EQ(props.Uplink->isVisible(), echo) << name;
    EXPECT_TRUE(props.DisplayFilter->isVisible()) << name;
    if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
      props.grab().save(QString::fromUtf8(dir) + "/AreaProperties" + name + ".png");
  }
}

TEST_F(AreaFilterTest, TheFileRowShowsTheNameOnDisk) {
  const std::string name = "RU.\xD4\xCB\xC5\xC9\xCC";  // CP1251, as stored
  Prepare({{name, {}}});
  Open();
  TAreaProperties props(*Area(name), Store());
  EXPECT_EQ(props.AreaPath->text(), QString::fromUtf8("RU.ФЛЕЙМ"));
  EXPECT_TRUE(props.windowTitle().endsWith(QString::fromUtf8("RU.ФЛЕЙМ")));
}

}  // namespace
}  // namespace velmaris::test
