// Settings take effect when they are applied: the area-list font reaches the
// main window, the file-list font reaches the settings model's subscribers,
// the number of message windows is a track bar, the packet processors' file
// names lose their quotes.
#include "SettingsApplyFixture.h"

namespace velmaris::test {
namespace {

TEST_F(SettingsApplyTest, FontsTakeEffectWhenTheWindowIsClosedWithOk) {
  Prepare({{"ECHO.ONE", {}}});
  Open();
  std::vector<SettingId> changed;
  const auto subscription = Store().SettingsModel().Subscribe(
      [&changed](const SettingsValues&, const std::vector<SettingId>& ids) {
        changed.insert(changed.end(), ids.begin(), ids.end());
      });
  OpenSettings();
  const int before = window->AreaListBox()->font().pointSize();
  ASSERT_NE(before, 17);
  PickFont("ALFont", 17);
  PickFont("mrFl", 15);
  EXPECT_EQ(window->AreaListBox()->font().pointSize(), before);  // not before OK
  Click("OKBtn");
  EXPECT_EQ(window->AreaListBox()->font().pointSize(), 17);
  // The file request editor reads the file-list font from the settings and
  // follows mrFl in the changes.
  EXPECT_EQ(Store().Values()->FileListFont().Size, 15);
  EXPECT_NE(std::find(changed.begin(), changed.end(), SettingId::mrFl), changed.end());
  Store().SettingsModel().Unsubscribe(subscription);
}

TEST_F(SettingsApplyTest, WindowLimitIsATrackBarAndFileNamesLoseTheirQuotes) {
  Prepare({});
  Open();
  OpenSettings();
  auto* bar = Find<QSlider>("WinLimit");
  auto* status = Find<QLabel>("WinStatus");
  EXPECT_EQ(bar->minimum(), 1);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(status->text(), "1");
  bar->setValue(3);
  EXPECT_EQ(status->text(), "3");
  auto* import = Find<TFilenameEdit>("EPPImport");
  auto* exportEdit = Find<TFilenameEdit>("EPPExport");
  import->setText("\"/opt/my tools/epp\"");
  EXPECT_EQ(import->text(), "/opt/my tools/epp");
  exportEdit->setText("epp -x %filename");
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS")) {
    dialog->Notebook()->setCurrentWidget(Find<QWidget>("TabAnzeige"));
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsGeneral.png");
    dialog->Notebook()->setCurrentWidget(Find<QWidget>("TabTosser"));
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsTosser.png");
  }
  Click("OKBtn");
  EXPECT_EQ(Store().Values()->Number(SettingId::WinLimit), 3);
  EXPECT_EQ(Store().Values()->EPPImport(), "/opt/my tools/epp");
  EXPECT_EQ(Store().Values()->Text(SettingId::EPPExport), "epp -x %filename");  // arguments kept
}

// The properties of ECHO.ONE through the settings page, answered by
// `answer` inside the dialog's modal loop.

}  // namespace
}  // namespace velmaris::test
