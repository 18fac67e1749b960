#include "mailer/forms/MailerProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>
#include <utility>

#include "core/ConfigStore.h"
#include "core/forms/FormText.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/Mailers.h"
#include "mailer/forms/LineDialogs.h"
#include "platform/SerialPort.h"
#include "widgets/ModalHook.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

// The open properties window of each profile.
std::map<const TMailer*, QPointer<TMailerProperties>>& OpenWindows() {
  static std::map<const TMailer*, QPointer<TMailerProperties>> windows;
  return windows;
}

TVxSpinEdit* Spin(QWidget* parent, const char* name, long double lo, long double hi) {
  auto* spin = Named(new TVxSpinEdit(parent), name);
  spin->SetMinValue(lo);
  spin->SetMaxValue(hi);
  return spin;
}

}  // namespace

TMailerProperties::TMailerProperties(TMailer* profile, TMailerList* list,
                                     std::vector<std::string> devices, QWidget* parent)
    : QDialog(parent), profile_(profile), list_(list) {
  setObjectName("MailerProperties");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* layout = new QVBoxLayout(this);
  Pages = Named(new QTabWidget(this), "Pages");
  layout->addWidget(Pages);

  auto* general = new QWidget;
  auto* g = new QFormLayout(general);
  g->addRow("Name", EdName = Named(new QLineEdit, "EdName"));
  g->addRow("Sysop", EdSysop = Named(new QLineEdit, "EdSysop"));
  g->addRow("Location", EdLocation = Named(new QLineEdit, "EdLocation"));
  g->addRow("Phone", EdPhone = Named(new QComboBox, "EdPhone"));
  EdPhone->setEditable(true);
  EdPhone->addItem(TMailer::kUnpublished);
  g->addRow("Flags", EdFlags = Named(new QComboBox, "EdFlags"));
  EdFlags->setEditable(true);
  EdFlags->addItems({TMailer::kDefaultFlags, "MO,X75"});
  CbZModem = Named(new QCheckBox("ZModem"), "CbZModem");
  CbZModem->setChecked(true);
  CbZedZap = Named(new QCheckBox("ZedZap"), "CbZedZap");
  CbHydra = Named(new QCheckBox("Hydra"), "CbHydra");
  auto* protocols = new QHBoxLayout;
  protocols->addWidget(CbZModem);
  protocols->addWidget(CbZedZap);
  protocols->addWidget(CbHydra);
  g->addRow("Protocols", protocols);
  g->addRow("Redials", SpRetries = Named(new QSpinBox, "SpRetries"));
  SpRetries->setRange(0, TMailer::kMaxReDials);
  g->addRow("Wait (s)", SpWait = Named(new QSpinBox, "SpWait"));
  SpWait->setRange(0, TMailer::kMaxReDialWait);
  g->addRow("Nothing to send", CbDummy = Named(new QComboBox, "CbDummy"));
  CbDummy->addItems({"Send nothing", "Send a dummy packet"});
  Pages->addTab(general, "General");

  auto* modem = new QWidget;
  auto* m = new QFormLayout(modem);
  m->addRow("Line", CbTAPIDevice = Named(new QComboBox, "CbTAPIDevice"));
  for (const std::string& d : devices) CbTAPIDevice->addItem(AnsiText(d));
  m->addRow(DialParams = Named(new QPushButton("Dialling properties"), "DialParams"));
  m->addRow(TAPIProperies = Named(new QPushButton("Line properties"), "TAPIProperies"));
  Pages->addTab(modem, "Modem");

  auto* extra = new QWidget;
  auto* x = new QFormLayout(extra);
  x->addRow("Read size",
            SpReadJob = Spin(extra, "SpReadJob", TMailer::kMinReadJob, TMailer::kMaxBufferSize));
  x->addRow(CbOwnBuffers = Named(new QCheckBox("Own buffer sizes"), "CbOwnBuffers"));
  x->addRow("Input buffer", SpInSize = Spin(extra, "SpInSize", 0, TMailer::kMaxBufferSize));
  x->addRow("Output buffer", SpOutSize = Spin(extra, "SpOutSize", 0, TMailer::kMaxBufferSize));
  Pages->addTab(extra, "Extra");

  auto* buttons = new QHBoxLayout;
  BtnOk = Named(new QPushButton("OK"), "BtnOk");
  BtnCancel = Named(new QPushButton("Cancel"), "BtnCancel");
  BtnApply = Named(new QPushButton("Apply"), "BtnApply");
  buttons->addStretch();
  buttons->addWidget(BtnOk);
  buttons->addWidget(BtnCancel);
  buttons->addWidget(BtnApply);
  layout->addLayout(buttons);

  connect(BtnApply, &QPushButton::clicked, this, &TMailerProperties::Apply);
  connect(BtnOk, &QPushButton::clicked, this, [this] {
    Apply();
    close();
  });
  connect(BtnCancel, &QPushButton::clicked, this, &QWidget::close);
  connect(DialParams, &QPushButton::clicked, this, &TMailerProperties::DialParamsClick);
  connect(TAPIProperies, &QPushButton::clicked, this, &TMailerProperties::TAPIProperiesClick);
  connect(CbZModem, &QCheckBox::clicked, this, [this] { CbZModem->setChecked(true); });
  connect(CbTAPIDevice, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0 && CbTAPIDevice->count() > 0 && !filling_) CbTAPIDevice->setCurrentIndex(0);
  });
  for (QLineEdit* e : {EdName, EdSysop, EdLocation})
    connect(e, &QLineEdit::textChanged, this, &TMailerProperties::Changed);
  for (QComboBox* c : {EdPhone, EdFlags, CbDummy, CbTAPIDevice})
    connect(c, &QComboBox::currentTextChanged, this, &TMailerProperties::Changed);
  for (QCheckBox* c : {CbZedZap, CbHydra, CbOwnBuffers})
    connect(c, &QCheckBox::toggled, this, &TMailerProperties::Changed);
  for (QSpinBox* s : {SpRetries, SpWait})
    connect(s, &QSpinBox::valueChanged, this, &TMailerProperties::Changed);
  for (TVxSpinEdit* s : {SpReadJob, SpInSize, SpOutSize})
    connect(s, &QLineEdit::textChanged, this, &TMailerProperties::Changed);
  Fill();
}

TMailerProperties::~TMailerProperties() {
  auto& open = OpenWindows();
  const auto it = open.find(profile_);
  if (profile_ && it != open.end() && it->second == this) {
    open.erase(it);
    profile_->DestroyProperties = nullptr;
  }
}

void TMailerProperties::SetDevices(const std::vector<std::string>& devices) {
  const bool wasFilling = std::exchange(filling_, true);
  const QString chosen = CbTAPIDevice->currentText();
  CbTAPIDevice->clear();
  for (const std::string& d : devices) CbTAPIDevice->addItem(AnsiText(d));
  CbTAPIDevice->setCurrentIndex(CbTAPIDevice->findText(chosen));
  filling_ = wasFilling;
}

void TMailerProperties::SetSettingsAccess(TLineSettingsAccess access) {
  access_ = std::move(access);
}

void TMailerProperties::DialParamsClick() {
  if (!access_.Get) return;
  SettingsValues values = access_.Get();
  TDialParams dialog(values, this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  dialog.Store(values);
  access_.Set(values);
}

void TMailerProperties::TAPIProperiesClick() {
  if (!access_.Get) return;
  const std::string chosen = AnsiBytes(CbTAPIDevice->currentText());
  if (chosen.empty()) return;
  SettingsValues values = access_.Get();
  const auto lines = ListLineDevices(values.Lines(SettingId::ModemLines));
  TLineDeviceEntry line{chosen, chosen.front() == '/' ? chosen : ""};
  for (const TLineDeviceEntry& e : lines)
    if (e.Name == chosen) line = e;
  TLineProperties dialog(line, platform::FindSerialDevices(), this);
  if (ExecModal(dialog) != QDialog::Accepted) return;
  dialog.Store(values);
  access_.Set(values);
  SetDevices(access_.Devices());
}

TLineSettingsAccess TLineSettingsAccess::Program(TConfigStore& store) {
  TLineSettingsAccess access;
  access.Get = [&store] { return *store.Values(); };
  access.Set = [&store](const SettingsValues& values) { store.ApplySettings(values); };
  return access;
}

std::vector<std::string> TLineSettingsAccess::Devices() const {
  std::vector<std::string> devices;
  if (!Get) return devices;
  for (const TLineDeviceEntry& d : ListLineDevices(Get().Lines(SettingId::ModemLines)))
    devices.push_back(d.Name);
  return devices;
}

void TMailerProperties::UpdateCaption() {
  setWindowTitle(profile_ ? "Properties of " + AnsiText(profile_->Name()) : "Access error!");
}

void TMailerProperties::Changed() {
  if (!filling_) BtnApply->setEnabled(true);
}

void TMailerProperties::Fill() {
  filling_ = true;
  UpdateCaption();
  if (profile_) {
    const TMailer& p = *profile_;
    EdName->setText(AnsiText(p.Name()));
    EdSysop->setText(AnsiText(p.Sysop));
    EdLocation->setText(AnsiText(p.Location));
    EdPhone->setEditText(AnsiText(p.Phone));
    EdFlags->setEditText(AnsiText(p.Flags));
    CbZedZap->setChecked(p.ZedZap);
    CbHydra->setChecked(p.Hydra);
    SpRetries->setValue(p.ReDials);
    SpWait->setValue(p.ReDialWait);
    CbDummy->setCurrentIndex(p.SendDummy ? 1 : 0);
    CbTAPIDevice->setCurrentIndex(CbTAPIDevice->findText(AnsiText(p.TAPIDevice())));
    SpReadJob->SetValue(p.ReadJob);
    CbOwnBuffers->setChecked(p.OwnBufferSizes);
    SpInSize->SetValue(p.InBufSize);
    SpOutSize->SetValue(p.OutBufSize);
  }
  filling_ = false;
  BtnApply->setEnabled(false);
}

void TMailerProperties::Apply() {
  if (!profile_) return;
  TMailer& p = *profile_;
  const std::string name = AnsiBytes(EdName->text());
  if (name != p.Name()) p.SetName(name);
  p.Sysop = AnsiBytes(EdSysop->text());
  p.Location = AnsiBytes(EdLocation->text());
  p.Phone = AnsiBytes(EdPhone->currentText());
  p.Flags = AnsiBytes(EdFlags->currentText());
  p.ZedZap = CbZedZap->isChecked();
  p.Hydra = CbHydra->isChecked();
  p.ReDials = SpRetries->value();
  p.ReDialWait = SpWait->value();
  p.SendDummy = CbDummy->currentIndex() == 1;
  p.SetTAPIDevice(AnsiBytes(CbTAPIDevice->currentText()));
  p.ReadJob = SpReadJob->GetAsInteger();
  p.OwnBufferSizes = CbOwnBuffers->isChecked();
  p.InBufSize = SpInSize->GetAsInteger();
  p.OutBufSize = SpOutSize->GetAsInteger();
  if (p.Window()) p.Window()->ShowDeviceName();
  if (list_) {
    const int index = list_->IndexOf(&p);
    if (index >= 0) list_->SetString(index, p.Name());
  }
  UpdateCaption();
  BtnApply->setEnabled(false);
}

TMailerProperties* FindMailerProperties(const TMailer& profile) {
  const auto it = OpenWindows().find(&profile);
  return it == OpenWindows().end() ? nullptr : it->second.data();
}

TMailerProperties* ShowMailerProperties(TMailer& profile, TMailerList* list,
                                        TLineSettingsAccess access, bool modal) {
  const std::vector<std::string> devices = access.Devices();
  TMailerProperties* window = FindMailerProperties(profile);
  if (window) {
    window->SetDevices(devices);
  } else {
    window = new TMailerProperties(&profile, list, devices);
    window->setAttribute(Qt::WA_DeleteOnClose);
    OpenWindows()[&profile] = window;
    profile.DestroyProperties = [window] { delete window; };
  }
  window->SetSettingsAccess(std::move(access));
  ShowInFront(*window, modal);
  return window;
}

}  // namespace velmaris
