#include "processing/forms/AddLinkAssistent.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "archive/Packer.h"
#include "core/ConfigStore.h"
#include "core/FidoAddress.h"
#include "core/MailBox.h"
#include "core/NetLink.h"
#include "core/forms/FormText.h"
#include "platform/Prompter.h"
#include "widgets/PageManager.h"

namespace velmaris {

TAddLinkAssistent::TAddLinkAssistent(TConfigStore& store, TPckList* packers, QWidget* parent)
    : TAssistentFrame("TAddLinkAssistent", QStringLiteral("New Uplink"), parent),
      store_(store),
      packers_(packers),
      linkAddress_(std::make_unique<TFidonetAddress>()),
      sysopAddress_(std::make_unique<TFidonetAddress>()) {
  AddPage("Intro", QStringLiteral("Этот помощник добавит нового аплинка: его адрес, ваш адрес "
                                  "у него, пароли, мейлбокс для звонков и упаковщик."));
  QVBoxLayout* link = AddPage("LinkPage", QStringLiteral("Имя и адрес аплинка:"));
  NewLinkName = AddEdit(link, "NewLinkName", QStringLiteral("Имя"));
  NewLinkAddress = AddEdit(link, "NewLinkAddress", QStringLiteral("Адрес (zone:net/node)"));
  QVBoxLayout* sysop =
      AddPage("SysopPage", QStringLiteral("Ваше имя и ваш адрес у этого аплинка:"));
  NewSysopName = AddEdit(sysop, "NewSysopName", QStringLiteral("Имя"));
  NewSysopAddress = AddEdit(sysop, "NewSysopAddress", QStringLiteral("Адрес поинта"));
  QVBoxLayout* pw = AddPage("PasswordPage", QStringLiteral("Пароли пакетов и сессии:"));
  NewPassword = AddEdit(pw, "NewPassword", QStringLiteral("Пароль пакетов"));
  NewSessionPassword = AddEdit(pw, "NewSessionPassword", QStringLiteral("Пароль сессии"));
  QVBoxLayout* robots = AddPage("RobotPage", QStringLiteral("Пароли AreaFix и FileScan:"));
  EdAreafix = AddEdit(robots, "EdAreafix", QStringLiteral("AreaFix"));
  EdFileScan = AddEdit(robots, "EdFileScan", QStringLiteral("FileScan"));
  QVBoxLayout* box =
      AddPage("MailboxPage", QStringLiteral("Как звонить аплинку и чем паковать почту:"));
  NewPhone = AddEdit(box, "NewPhone", QStringLiteral("Телефон"));
  NewMailboxCommand =
      AddEdit(box, "NewMailboxCommand", QStringLiteral("Мейлер (профиль или команда)"));
  box->addWidget(new QLabel(QStringLiteral("Упаковщик"), this));
  NewPacker = new QComboBox(this);
  NewPacker->setObjectName("NewPacker");
  box->addWidget(NewPacker);
  AddPage("ReportPage", QStringLiteral("Аплинк добавлен. Запросите у него список эх в менеджере "
                                       "эхоконференций (F7)."));
  PagesAdded();

  connect(NewLinkAddress, &QLineEdit::editingFinished, this, [this] { NewLinkAddressExit(); });
  connect(NewSysopAddress, &QLineEdit::editingFinished, this, [this] { NewSysopAddressExit(); });
  Notebook()->OnPageChanging = [this](int newPage, bool& allow) {
    const int page = Notebook()->PageIndex();
    if (newPage <= page) return;
    if (page == LinkPage) allow = CheckAddress(NewLinkAddress, *linkAddress_);
    if (page == SysopPage) allow = CheckAddress(NewSysopAddress, *sysopAddress_);
    if (page == MailboxPage) allow = CheckMailer();
  };
}

TAddLinkAssistent::~TAddLinkAssistent() {
  // A field with the focus says editingFinished as the window goes: its
  // handler must not run on a window half destroyed.
  for (QLineEdit* field : {NewLinkAddress, NewSysopAddress}) field->disconnect(this);
}

QLineEdit* TAddLinkAssistent::AddEdit(QVBoxLayout* page, const char* name, const QString& label) {
  page->addWidget(new QLabel(label, this));
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  page->addWidget(edit);
  return edit;
}

void TAddLinkAssistent::Reset() {
  const auto values = store_.Values();
  const std::string sysop = values->SysopNames().empty() ? "" : values->SysopNames().front();
  NewSysopName->setText(AnsiText(sysop.empty() ? "Sysop" : sysop));
  NewLinkName->setText(QStringLiteral("New Uplink"));
  linkAddress_->SetText("0:0/0");
  sysopAddress_->SetText("0:0/0.0");
  NewLinkAddress->setText(QString::fromStdString(linkAddress_->Text4D()));
  NewSysopAddress->setText(QString::fromStdString(sysopAddress_->Text4D()));
  for (QLineEdit* edit :
       {NewPassword, NewSessionPassword, EdAreafix, EdFileScan, NewPhone, NewMailboxCommand})
    edit->clear();
  NewPacker->clear();
  NewPacker->addItem(QString());  // no packer: plain packets
  for (int i = 0; packers_ && i < packers_->GetCount(); ++i)
    NewPacker->addItem(AnsiText(packers_->GetString(i)));
  if (NewPacker->count() > 1) NewPacker->setCurrentIndex(1);
  added_ = nullptr;
  PageManager()->SetPage(Intro, false);
}

void TAddLinkAssistent::NewLinkAddressExit() {
  linkAddress_->SetText(NewLinkAddress->text().trimmed().toStdString());
  NewLinkAddress->setText(QString::fromStdString(linkAddress_->Text4D()));
}

void TAddLinkAssistent::NewSysopAddressExit() {
  sysopAddress_->SetText(NewSysopAddress->text().trimmed().toStdString());
  NewSysopAddress->setText(QString::fromStdString(sysopAddress_->Text4D()));
}

bool TAddLinkAssistent::CheckAddress(QLineEdit* edit, TFidonetAddress& address) {
  const std::string text = edit->text().trimmed().toStdString();
  const auto parsed = ParseFidoAddress(text);
  if (parsed && (parsed->Net != 0 || parsed->Node != 0)) {
    address.SetAddress(*parsed);
    edit->setText(QString::fromStdString(address.Text4D()));
    return true;
  }
  edit->setText(QString::fromStdString(address.Text4D()));
  edit->setFocus();
  edit->selectAll();
  platform::GetPrompter().Error("Please enter a valid FidoNet address (zone:net/node.point)!");
  return false;
}

bool TAddLinkAssistent::CheckMailer() {
  if (!NewMailboxCommand->text().trimmed().isEmpty()) return true;
  NewMailboxCommand->setFocus();
  platform::GetPrompter().Error(kNoMailerText);
  return false;
}

void TAddLinkAssistent::NB_DELPageChanged() {
  const int page = Notebook()->PageIndex();
  if (page == Intro) SetButtons(true, false, true, true, QStringLiteral("Abort"));
  if (page == LinkPage) SetButtons(true, true, true, true, QStringLiteral("Abort"));
  if (page == ReportPage) {
    SetButtons(true, false, true, false, QStringLiteral("Abort"));
    AddLink();
    SetButtons(false, false, false, false, QStringLiteral("Close"));
  }
}

void TAddLinkAssistent::AddLink() {
  const auto values = store_.Values();
  auto link = std::make_unique<TNetLink>(values->OutboundDir());
  link->Name = AnsiBytes(NewLinkName->text());
  link->UplinkAddress.SetAddress(linkAddress_->Address());
  link->Sysop = AnsiBytes(NewSysopName->text());
  link->SysopAddress.SetAddress(sysopAddress_->Address());
  link->Password = AnsiBytes(NewPassword->text());
  link->SessionPassword = AnsiBytes(NewSessionPassword->text());
  link->AreaFixPassword = AnsiBytes(EdAreafix->text());
  link->FileScanPassword = AnsiBytes(EdFileScan->text());
  link->AFReceiver = link->AFSender = "AreaFix";
  link->FSReceiver = link->FSSender = "FileScan";
  // An uplink in another zone keeps its packets in that zone's outbound.
  link->SetOutbound(store_.GetUplinkOutbound(link->UplinkAddress.Address().Zone));
  link->Packer = AnsiBytes(NewPacker->currentText());
  link->UsePacker = !link->Packer.empty();

  auto mailbox = std::make_unique<TMailBox>();
  mailbox->Name = link->Name;
  mailbox->Address.SetAddress(link->UplinkAddress.Address());
  const std::string phone = AnsiBytes(NewPhone->text().trimmed());
  if (!phone.empty()) mailbox->Numbers = {phone};
  mailbox->Command = AnsiBytes(NewMailboxCommand->text().trimmed());
  link->Mailbox = store_.Mailboxes().GetCount();
  store_.Mailboxes().Add(std::move(mailbox));

  added_ = store_.Uplinks().Add(std::move(link));
  store_.SaveConfiguration();
}

void TAddLinkAssistent::DEL_CancelClick() {
  if (added_) {
    accept();
  } else {
    reject();
  }
}

}  // namespace velmaris
