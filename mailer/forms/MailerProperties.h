// The properties window of a mailer profile: three pages (general, modem,
// extra), Apply, OK and Cancel. Any change enables Apply; filling from the
// profile and applying disable it. Non-modal; the profile forgets it when
// it is destroyed.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace velmaris {

class TMailer;
class TMailerList;
class TVxSpinEdit;

class TMailerProperties : public QDialog {
  Q_OBJECT
 public:
  // devices: the line devices offered (names).
  TMailerProperties(TMailer* profile, TMailerList* list, std::vector<std::string> devices,
                    QWidget* parent = nullptr);

  QTabWidget* Pages;
  QLineEdit *EdName, *EdSysop, *EdLocation;
  QComboBox *EdPhone, *EdFlags, *CbDummy, *CbTAPIDevice;
  QCheckBox *CbZModem, *CbZedZap, *CbHydra, *CbOwnBuffers;
  QSpinBox *SpRetries, *SpWait;
  TVxSpinEdit *SpReadJob, *SpInSize, *SpOutSize;
  QPushButton *BtnApply, *BtnOk, *BtnCancel;

 public slots:
  void Fill();
  void Apply();
  void Changed();

 private:
  void UpdateCaption();
  TMailer* profile_;
  TMailerList* list_;
  bool filling_ = false;
};

}  // namespace velmaris
