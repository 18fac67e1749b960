// The properties window of a mailer profile: three pages (general, modem,
// extra), Apply, OK and Cancel. Any change enables Apply; filling from the
// profile and applying disable it. Non-modal; the profile forgets it when
// it is destroyed. A profile has at most one (ShowMailerProperties).
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "core/Settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace velmaris {

class TConfigStore;
class TMailer;
class TMailerList;
class TVxSpinEdit;

// Where the modem page's dialling and line properties read and write the
// settings: the program's settings, or the fields of the open settings
// window (taken over with that window's Apply).
struct TLineSettingsAccess {
  std::function<SettingsValues()> Get;
  std::function<void(const SettingsValues&)> Set;
  // The program's settings: changes are applied and saved at once.
  static TLineSettingsAccess Program(TConfigStore& store);
  // The line devices the settings offer (names).
  std::vector<std::string> Devices() const;
};

class TMailerProperties : public QDialog {
  Q_OBJECT
 public:
  // devices: the line devices offered (names).
  TMailerProperties(TMailer* profile, TMailerList* list, std::vector<std::string> devices,
                    QWidget* parent = nullptr);
  ~TMailerProperties() override;

  TMailer* Profile() const { return profile_; }
  // Offers these line devices; the chosen one stays chosen when offered.
  void SetDevices(const std::vector<std::string>& devices);
  // Where the dialling and line properties go (without, they do nothing).
  void SetSettingsAccess(TLineSettingsAccess access);

  QTabWidget* Pages;
  QLineEdit *EdName, *EdSysop, *EdLocation;
  QComboBox *EdPhone, *EdFlags, *CbDummy, *CbTAPIDevice;
  QCheckBox *CbZModem, *CbZedZap, *CbHydra, *CbOwnBuffers;
  QSpinBox *SpRetries, *SpWait;
  TVxSpinEdit *SpReadJob, *SpInSize, *SpOutSize;
  QPushButton *DialParams, *TAPIProperies;
  QPushButton *BtnApply, *BtnOk, *BtnCancel;

 public slots:
  void Fill();
  void Apply();
  void Changed();
  // The dialling properties (the location settings).
  void DialParamsClick();
  // The chosen line's properties (device, speed, flow control).
  void TAPIProperiesClick();

 private:
  void UpdateCaption();
  TMailer* profile_;
  TMailerList* list_;
  TLineSettingsAccess access_;
  bool filling_ = false;
};

// The profile's one properties window: made on first use (no owner; freed
// when it is closed and with the profile) and shown; asking again shows the
// same window, offering the access's devices anew. modal: the window blocks the other
// windows while it shows (asked from a modal window, which would otherwise
// block it); asked without, it is an ordinary window again.
TMailerProperties* ShowMailerProperties(TMailer& profile, TMailerList* list,
                                        TLineSettingsAccess access, bool modal = false);
// The profile's properties window while it is open, else null.
TMailerProperties* FindMailerProperties(const TMailer& profile);

}  // namespace velmaris
