#include "app/NetLinkProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/logic/SettingsEdits.h"
#include "archive/Packer.h"
#include "core/FidoAddress.h"
#include "core/MailBox.h"
#include "core/NetLink.h"
#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

QLineEdit* Edit(QFormLayout* form, const char* name, const QString& label) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(name));
  form->addRow(label, edit);
  return edit;
}

TVxSpinEdit* Spin(QFormLayout* form, const char* name, const QString& label, int min, int max) {
  auto* spin = new TVxSpinEdit;
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetMinValue(min);
  spin->SetMaxValue(max);
  form->addRow(label, spin);
  return spin;
}

QPlainTextEdit* Memo(QFormLayout* form, const char* name, const QString& label) {
  auto* memo = new QPlainTextEdit;
  memo->setObjectName(QString::fromLatin1(name));
  form->addRow(label, memo);
  return memo;
}

void SetMemo(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << AnsiText(line);
  memo->setPlainText(text.join('\n'));
}

std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
  std::vector<std::string> lines;
  for (const QString& line : memo->toPlainText().split('\n', Qt::SkipEmptyParts))
    lines.push_back(AnsiBytes(line));
  return lines;
}

std::string Text(const QLineEdit* edit) { return AnsiBytes(edit->text()); }

}  // namespace

TNetLinkProperties::TNetLinkProperties(TNetLink& link, TLinkList& links, const TMBList& mailboxes,
                                       const TPckList* packers, QWidget* parent)
    : QDialog(parent), link_(link), links_(links) {
  setObjectName("TNetLinkProperties");
  auto* layout = new QVBoxLayout(this);
  auto* pages = new QTabWidget;
  layout->addWidget(pages, 1);
  auto page = [pages](const QString& caption) {
    auto* w = new QWidget;
    auto* form = new QFormLayout(w);
    pages->addTab(w, caption);
    return form;
  };
  QFormLayout* general = page(QStringLiteral("Аплинк"));
  ConnectToName = Edit(general, "ConnectToName", QStringLiteral("Название:"));
  ConnectToAddr = Edit(general, "ConnectToAddr", QStringLiteral("Адрес аплинка:"));
  ConnectFromName = Edit(general, "ConnectFromName", QStringLiteral("Ваше имя:"));
  ConnectFromAddr = Edit(general, "ConnectFromAddr", QStringLiteral("Ваш адрес:"));
  ConnectPassword = Edit(general, "ConnectPassword", QStringLiteral("Пароль пакетов:"));
  pwSession = Edit(general, "pwSession", QStringLiteral("Пароль сессии:"));
  UpLinkMB = new QComboBox;
  UpLinkMB->setObjectName("UpLinkMB");
  for (int i = 0; i < mailboxes.GetCount(); ++i)
    UpLinkMB->addItem(AnsiText(mailboxes.GetString(i)));
  general->addRow(QStringLiteral("Мейлбокс:"), UpLinkMB);
  CBusePacker = new QCheckBox(QStringLiteral("Упаковывать почту"));
  CBusePacker->setObjectName("CBusePacker");
  CbPacker = new QComboBox;
  CbPacker->setObjectName("CbPacker");
  if (packers)
    for (int i = 0; i < packers->GetCount(); ++i)
      CbPacker->addItem(AnsiText(packers->GetString(i)));
  general->addRow(CBusePacker, CbPacker);

  QFormLayout* areafix = page(QStringLiteral("AreaFix"));
  pwAreaFix = Edit(areafix, "pwAreaFix", QStringLiteral("Пароль:"));
  EAFRec = Edit(areafix, "EAFRec", QStringLiteral("Получатель:"));
  EAFSend = Edit(areafix, "EAFSend", QStringLiteral("Отправитель:"));
  SAFNameO = Spin(areafix, "SAFNameO", QStringLiteral("Колонка имени:"), 0, 255);
  SAFDescO = Spin(areafix, "SAFDescO", QStringLiteral("Колонка описания:"), 0, 255);
  CAFDesc = Spin(areafix, "CAFDesc", QStringLiteral("Строка описания:"), -5, 5);
  AFMemo = Memo(areafix, "AFMemo", QStringLiteral("Темы списков:"));
  QFormLayout* filescan = page(QStringLiteral("FileScan"));
  pwFileScan = Edit(filescan, "pwFileScan", QStringLiteral("Пароль:"));
  EFSRec = Edit(filescan, "EFSRec", QStringLiteral("Получатель:"));
  EFSSend = Edit(filescan, "EFSSend", QStringLiteral("Отправитель:"));
  SFSNameO = Spin(filescan, "SFSNameO", QStringLiteral("Колонка имени:"), 0, 255);
  SFSDescO = Spin(filescan, "SFSDescO", QStringLiteral("Колонка описания:"), 0, 255);
  CFSDesc = Spin(filescan, "CFSDesc", QStringLiteral("Строка описания:"), -5, 5);
  FSMemo = Memo(filescan, "FSMemo", QStringLiteral("Темы списков:"));

  const TDialogButtons buttons = AddDialogButtons(
      layout, this,
      {[this] { Button3Click(); }, [this] { Button2Click(); }, [this] { bApplyClick(); }});
  OKButton = buttons.OK;
  CancelButton = buttons.Cancel;
  bApply = buttons.Apply;

  Fill();
  for (QLineEdit* e : findChildren<QLineEdit*>())
    connect(e, &QLineEdit::textChanged, this, [this] { Modified(); });
  for (QPlainTextEdit* m : {AFMemo, FSMemo})
    connect(m, &QPlainTextEdit::textChanged, this, [this] { Modified(); });
  for (QComboBox* c : {UpLinkMB, CbPacker})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { Modified(); });
  connect(CBusePacker, &QCheckBox::toggled, this, [this] { Modified(); });
}

void TNetLinkProperties::UpdateCaption() {
  setWindowTitle(QStringLiteral("Properties Of ") + AnsiText(link_.Name));
}

void TNetLinkProperties::Modified() {
  if (!filling_) bApply->setEnabled(true);
}

void TNetLinkProperties::Fill() {
  filling_ = true;
  ConnectToName->setText(AnsiText(link_.Name));
  ConnectToAddr->setText(AnsiText(link_.UplinkAddress.Text4D()));
  ConnectFromName->setText(AnsiText(link_.Sysop));
  ConnectFromAddr->setText(AnsiText(link_.SysopAddress.Text4D()));
  ConnectPassword->setText(AnsiText(link_.Password));
  pwSession->setText(AnsiText(link_.SessionPassword));
  UpLinkMB->setCurrentIndex(link_.Mailbox < UpLinkMB->count() ? link_.Mailbox : -1);
  CBusePacker->setChecked(link_.UsePacker);
  CbPacker->setCurrentIndex(CbPacker->findText(AnsiText(link_.Packer), Qt::MatchFixedString));
  pwAreaFix->setText(AnsiText(link_.AreaFixPassword));
  EAFRec->setText(AnsiText(link_.AFReceiver));
  EAFSend->setText(AnsiText(link_.AFSender));
  SAFNameO->SetValue(link_.AFNameO);
  SAFDescO->SetValue(link_.AFDescO);
  CAFDesc->SetValue(link_.AFDescL);
  SetMemo(AFMemo, link_.AreaFixTitles);
  pwFileScan->setText(AnsiText(link_.FileScanPassword));
  EFSRec->setText(AnsiText(link_.FSReceiver));
  EFSSend->setText(AnsiText(link_.FSSender));
  SFSNameO->SetValue(link_.FSNameO);
  SFSDescO->SetValue(link_.FSDescO);
  CFSDesc->SetValue(link_.FSDescL);
  SetMemo(FSMemo, link_.FileScanTitles);
  UpdateCaption();
  bApply->setEnabled(false);
  filling_ = false;
}

bool TNetLinkProperties::bApplyClick() {
  std::string error;
  const auto uplink = ParseFidoAddress(Text(ConnectToAddr));
  const auto own = ParseFidoAddress(Text(ConnectFromAddr));
  if (ConnectToName->text().trimmed().isEmpty())
    error = kEmptyNameText;
  else if (!uplink)
    error = BadAddressText(Text(ConnectToAddr));
  else if (!own)
    error = BadAddressText(Text(ConnectFromAddr));
  if (!error.empty()) {
    platform::GetPrompter().Error(platform::AnsiToUtf8(error));  // quotes typed ANSI text
    return false;
  }
  link_.Name = Text(ConnectToName);
  link_.UplinkAddress.SetAddress(*uplink);
  link_.Sysop = Text(ConnectFromName);
  link_.SysopAddress.SetAddress(*own);
  link_.Password = Text(ConnectPassword);
  link_.SessionPassword = Text(pwSession);
  link_.Mailbox = UpLinkMB->currentIndex();
  link_.UsePacker = CBusePacker->isChecked();
  link_.Packer = AnsiBytes(CbPacker->currentText());
  link_.AreaFixPassword = Text(pwAreaFix);
  link_.AFReceiver = Text(EAFRec);
  link_.AFSender = Text(EAFSend);
  link_.AFNameO = static_cast<int32_t>(SAFNameO->Value());
  link_.AFDescO = static_cast<int32_t>(SAFDescO->Value());
  link_.AFDescL = static_cast<int32_t>(CAFDesc->Value());
  link_.AreaFixTitles = MemoLines(AFMemo);
  link_.FileScanPassword = Text(pwFileScan);
  link_.FSReceiver = Text(EFSRec);
  link_.FSSender = Text(EFSSend);
  link_.FSNameO = static_cast<int32_t>(SFSNameO->Value());
  link_.FSDescO = static_cast<int32_t>(SFSDescO->Value());
  link_.FSDescL = static_cast<int32_t>(CFSDesc->Value());
  link_.FileScanTitles = MemoLines(FSMemo);
  if (const int index = links_.IndexOf(&link_); index >= 0) links_.SetString(index, link_.Name);
  UpdateCaption();
  bApply->setEnabled(false);
  return true;
}

void TNetLinkProperties::Button3Click() {
  if (bApplyClick()) accept();
}

void TNetLinkProperties::Button2Click() { reject(); }

}  // namespace velmaris
