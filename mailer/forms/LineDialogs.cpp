#include "mailer/forms/LineDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>

#include "core/forms/FormText.h"
#include "mailer/forms/MailboxDialogs.h"

namespace velmaris {

TDialParams::TDialParams(const SettingsValues& values, QWidget* parent) : QDialog(parent) {
  setObjectName("DialParams");
  setWindowTitle("Dialling properties");
  auto* form = new QFormLayout(this);
  auto edit = [&](QLineEdit*& e, SettingId id, const QString& label) {
    e = new QLineEdit(AnsiText(values.Text(id)), this);
    e->setObjectName(SettingDefOf(id).name);
    form->addRow(label, e);
  };
  edit(EdCountryCode, SettingId::EdCountryCode, QStringLiteral("Код страны:"));
  edit(EdAreaCode, SettingId::EdAreaCode, QStringLiteral("Код города:"));
  edit(EdOutsideLine, SettingId::EdOutsideLine, QStringLiteral("Выход на город:"));
  edit(EdLongDistance, SettingId::EdLongDistance, QStringLiteral("Междугородный префикс:"));
  edit(EdInternational, SettingId::EdInternational, QStringLiteral("Международный префикс:"));
  connect(AddOkCancel(this, form), &QDialogButtonBox::accepted, this, &QDialog::accept);
}

void TDialParams::Store(SettingsValues& values) const {
  values.SetText(SettingId::EdCountryCode, AnsiBytes(EdCountryCode->text()));
  values.SetText(SettingId::EdAreaCode, AnsiBytes(EdAreaCode->text()));
  values.SetText(SettingId::EdOutsideLine, AnsiBytes(EdOutsideLine->text()));
  values.SetText(SettingId::EdLongDistance, AnsiBytes(EdLongDistance->text()));
  values.SetText(SettingId::EdInternational, AnsiBytes(EdInternational->text()));
}

TLineProperties::TLineProperties(const TLineDeviceEntry& line,
                                 const std::vector<std::string>& devices, QWidget* parent)
    : QDialog(parent), name_(line.Name) {
  setObjectName("LineProperties");
  setWindowTitle("Properties of " + AnsiText(line.Name));
  auto* form = new QFormLayout(this);
  CbDevice = new QComboBox(this);
  CbDevice->setObjectName("CbDevice");
  CbDevice->setEditable(true);
  // Device paths: an item or the stored path taken as it stands goes back as
  // its bytes.
  for (const std::string& d : devices) CbDevice->addItem(PathText(d), StoredBytes(d));
  CbDevice->setEditText(FilledPathText(CbDevice, line.Path));
  form->addRow(QStringLiteral("Устройство:"), CbDevice);
  CbSpeed = new QComboBox(this);
  CbSpeed->setObjectName("CbSpeed");
  CbSpeed->setEditable(true);
  for (const char* speed : {"2400", "9600", "19200", "38400", "57600", "115200", "230400"})
    CbSpeed->addItem(speed);
  CbSpeed->setValidator(new QIntValidator(300, 4000000, CbSpeed));
  CbSpeed->setEditText(QString::number(line.Speed));
  form->addRow(QStringLiteral("Скорость, бит/с:"), CbSpeed);
  CbRtsCts = new QCheckBox(QStringLiteral("Аппаратное управление потоком (RTS/CTS)"), this);
  CbRtsCts->setObjectName("CbRtsCts");
  CbRtsCts->setChecked(line.RtsCts);
  form->addRow(CbRtsCts);
  connect(AddOkCancel(this, form), &QDialogButtonBox::accepted, this, &QDialog::accept);
}

TLineDeviceEntry TLineProperties::Line() const {
  TLineDeviceEntry line;
  line.Name = name_;
  const QString device = CbDevice->currentText().trimmed();
  const int item = CbDevice->findText(device);
  line.Path = item >= 0 ? CbDevice->itemData(item).toByteArray().toStdString()
                        : FieldPathBytes(CbDevice, device);
  bool ok = false;
  const uint32_t speed = CbSpeed->currentText().toUInt(&ok);
  if (ok && speed >= 300 && speed <= 4000000) line.Speed = speed;
  line.RtsCts = CbRtsCts->isChecked();
  return line;
}

void TLineProperties::Store(SettingsValues& values) const {
  const TLineDeviceEntry line = Line();
  if (line.Name.empty() || line.Path.empty()) return;
  values.SetLines(SettingId::ModemLines,
                  WithLineSetting(values.Lines(SettingId::ModemLines), line));
}

}  // namespace velmaris
