// The two dialogs behind the mailer profile's modem page: the dialling
// properties (where the modem dials from: the location settings) and the
// line properties (the selected line's device, speed and flow control, a
// line of the ModemLines setting). Both edit a copy of the settings values;
// OK stores the fields into it, Cancel leaves it alone.
#pragma once

#include <QDialog>
#include <string>

#include "core/Settings.h"
#include "mailer/CMD_TAPI.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velmaris {

class TDialParams : public QDialog {
  Q_OBJECT
 public:
  explicit TDialParams(const SettingsValues& values, QWidget* parent = nullptr);
  // The fields into the values (after OK).
  void Store(SettingsValues& values) const;

  QLineEdit *EdCountryCode, *EdAreaCode, *EdOutsideLine, *EdLongDistance, *EdInternational;
};

class TLineProperties : public QDialog {
  Q_OBJECT
 public:
  // line: the line as configured (or a found device under its path);
  // devices: the serial devices offered for its path.
  TLineProperties(const TLineDeviceEntry& line, const std::vector<std::string>& devices,
                  QWidget* parent = nullptr);
  // The line as the fields give it; its name is the line's name.
  TLineDeviceEntry Line() const;
  // The line's setting line stored into the values' ModemLines (replacing
  // the line of the same name or added).
  void Store(SettingsValues& values) const;

  QComboBox *CbDevice, *CbSpeed;
  QCheckBox* CbRtsCts;

 private:
  std::string name_;
};

}  // namespace velmaris
