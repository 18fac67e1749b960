// The properties window of an area: general (file name, text group,
// uplink), maintenance (limits by age and number) and new messages (text
// conversions, origin choice). The fields a type does not use are hidden
// and not stored. Apply stores, OK stores and closes, Cancel closes.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmaris {

class TArea;
class TConfigStore;
class TVxSpinEdit;

class TAreaProperties : public QDialog {
  Q_OBJECT

 public:
  TAreaProperties(TArea& area, TConfigStore& store, QWidget* parent = nullptr);

  void Fill();
  // Shows the page of that object name ("AreaGeneral", "AreaMaintain",
  // "NewMails").
  void ShowPage(const QString& name);
  void bApplyClick();
  void Button3Click();  // OK
  void Button2Click();  // Cancel

  QLineEdit* AreaPath;
  QComboBox *AreaTextGroup, *Uplink;
  QCheckBox *CBMaintain, *DoApplyAge, *DoApplyNUmber;
  TVxSpinEdit *SpinAge, *SpinNUmber;
  QCheckBox *CBUseTabs, *cbUmlaute, *cbSZ, *CBReflow, *CbNoRex, *CBNToH;
  QRadioButton *rbOrigNormal, *rbOrigRandom;
  QPushButton *bApply, *OKButton, *CancelButton;

 private:
  bool UsesTexts() const;  // not Badmail, Dupes or Storage

  TArea& area_;
  TConfigStore& store_;
  bool filling_ = false;
};

}  // namespace velmaris
