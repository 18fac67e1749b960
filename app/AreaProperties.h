// The properties window of an area: general (file name, text group,
// uplink, display filter), maintenance (limits by age and number, the
// maintenance filter) and new messages (text conversions, origin choice).
// The fields a type does not use are hidden with their labels and not
// stored. The two filters are edited in their own dialogs on copies, which
// reach the area with the other fields. Apply stores, OK stores and closes,
// Cancel closes.
#pragma once

#include <QDialog>

#include "core/SearchRequest.h"

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
  ~TAreaProperties() override;

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
  QPushButton *DisplayFilter, *MaintainFilterProperties;

 private:
  bool UsesTexts() const;  // not Badmail, Dupes or Storage
  // Opens the mask dialog on the copy (once; in front when open).
  void EditFilter(TSearchRequest& filter);

  TArea& area_;
  TConfigStore& store_;
  bool filling_ = false;
  // The filters as edited here; their dialogs go with them.
  TSearchRequest displayFilter_, maintainFilter_;
};

}  // namespace velmaris
