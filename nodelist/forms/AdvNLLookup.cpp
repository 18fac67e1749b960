#include "nodelist/forms/AdvNLLookup.h"

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "core/AddressBook.h"
#include "core/MailBox.h"
#include "core/forms/FormText.h"
#include "nodelist/NodelistLookup.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/BetterListBox.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"
#include "widgets/StatusLabel.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

// Runs a handler of the window; what it raises is reported, not let out.
template <class Fn>
void Guarded(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

TVxSpinEdit* AddressSpin(const char* name) {
  auto* spin = new TVxSpinEdit;
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetMinValue(-1);
  spin->SetMaxValue(65535);
  spin->SetValue(-1);
  spin->setMaximumWidth(70);
  return spin;
}

QLineEdit* Detail(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(name));
  edit->setReadOnly(true);
  return edit;
}

}  // namespace

TAdvNLLookup::TAdvNLLookup(TNodelistLookup& lookup, TNodelistTargets targets, QWidget* parent)
    : QDialog(parent), lookup_(lookup), targets_(std::move(targets)) {
  setObjectName("TAdvNLLookup");
  setWindowTitle(QStringLiteral("Обзор нодлиста"));
  BindHelpKey(this, platform::kHelpNodelistBrowser);
  lookup_.Lock();
  auto* layout = new QVBoxLayout(this);

  auto* filters = new QFormLayout;
  EdName = new QLineEdit;
  EdName->setObjectName("EdName");
  EdSysop = new QLineEdit;
  EdSysop->setObjectName("EdSysop");
  EdCity = new QLineEdit;
  EdCity->setObjectName("EdCity");
  filters->addRow(QStringLiteral("Система:"), EdName);
  filters->addRow(QStringLiteral("Сисоп:"), EdSysop);
  filters->addRow(QStringLiteral("Город:"), EdCity);
  auto* address = new QHBoxLayout;
  SpZone = AddressSpin("SpZone");
  SpNet = AddressSpin("SpNet");
  SpNode = AddressSpin("SpNode");
  SpPoint = AddressSpin("SpPoint");
  for (TVxSpinEdit* spin : {SpZone, SpNet, SpNode, SpPoint}) address->addWidget(spin);
  EnhButton2 = new QPushButton(QStringLiteral("Искать"));
  EnhButton2->setObjectName("EnhButton2");
  RestFilter = new QPushButton(QStringLiteral("Сбросить"));
  RestFilter->setObjectName("RestFilter");
  address->addWidget(EnhButton2);
  address->addWidget(RestFilter);
  address->addStretch(1);
  filters->addRow(QStringLiteral("Адрес (-1 любой):"), address);
  layout->addLayout(filters);

  List = new TBetterListBox;
  List->setObjectName("List");
  const std::pair<const char*, int> columns[] = {{"Адрес", 110},   {"Тип", 70},    {"Система", 150},
                                                 {"Сисоп", 120},   {"Город", 110}, {"Телефон", 110},
                                                 {"Скорость", 60}, {"Флаги", 160}};
  for (const auto& [caption, width] : columns)
    List->Columns().Add(QString::fromUtf8(caption), width);
  List->SetShowColumnHeaders(true);
  List->OnGetData = [this](TCustomBetterListBox*, int row, int col, int&, int&, QString& caption) {
    if (row >= 0 && row < static_cast<int>(records_.size()))
      caption = OemText(NodelistCellText(lookup_, records_[static_cast<size_t>(row)], col));
  };
  layout->addWidget(List, 1);

  auto* details = new QFormLayout;
  auto withButton = [this](QLineEdit* edit, const char* name, void (TAdvNLLookup::*handler)()) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    auto* button = new QToolButton;
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QStringLiteral("Искать"));
    connect(button, &QToolButton::clicked, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
    row->addWidget(button);
    return row;
  };
  ResAddr = Detail("ResAddr");
  ResName = Detail("ResName");
  ResSysop = Detail("ResSysop");
  ResCity = Detail("ResCity");
  ResPhone = Detail("ResPhone");
  ResRate = Detail("ResRate");
  ResFlags = Detail("ResFlags");
  details->addRow(QStringLiteral("Адрес:"),
                  withButton(ResAddr, "ResAddrButton", &TAdvNLLookup::ResAddrButtonClick));
  details->addRow(QStringLiteral("Система:"),
                  withButton(ResName, "ResNameButton", &TAdvNLLookup::ResNameButtonClick));
  details->addRow(QStringLiteral("Сисоп:"),
                  withButton(ResSysop, "ResSysopButton", &TAdvNLLookup::ResSysopButtonClick));
  details->addRow(QStringLiteral("Город:"),
                  withButton(ResCity, "ResCityButton", &TAdvNLLookup::ResCityButtonClick));
  auto* link = new QHBoxLayout;
  link->addWidget(ResPhone, 2);
  link->addWidget(ResRate, 1);
  link->addWidget(ResFlags, 3);
  details->addRow(QStringLiteral("Телефон, скорость, флаги:"), link);
  layout->addLayout(details);

  auto* bottom = new QHBoxLayout;
  StatusBar = new TStatusLabel;
  StatusBar->setObjectName("StatusBar");
  Anim = new TAnimatedSymbol;
  Anim->setObjectName("Anim");
  Anim->setFixedSize(32, 32);
  Anim->SetAutoPlay(false);
  Anim->SetAVIName(QStringLiteral("AVI_5"));
  Anim->hide();
  bottom->addWidget(Anim);
  bottom->addWidget(StatusBar, 1);
  PnOKC = new QWidget;
  PnOKC->setObjectName("PnOKC");
  auto* buttons = new QHBoxLayout(PnOKC);
  buttons->setContentsMargins(0, 0, 0, 0);
  BtnOk = new QPushButton(QStringLiteral("OK"));
  BtnOk->setObjectName("BtnOk");
  BtnOk->setEnabled(false);
  BtnCancel = new QPushButton(QStringLiteral("Отмена"));
  BtnCancel->setObjectName("BtnCancel");
  buttons->addWidget(BtnOk);
  buttons->addWidget(BtnCancel);
  PnOKC->hide();
  bottom->addWidget(PnOKC);
  layout->addLayout(bottom);

  AddressPopup = new QMenu(this);
  AddressPopup->setObjectName("AddressPopup");
  InsAdressbuchaufnehmen1 = AddressPopup->addAction(QStringLiteral("В адресную книгу"));
  InsAdressbuchaufnehmen1->setObjectName("InsAdressbuchaufnehmen1");
  InsAdressbuchaufnehmen1->setEnabled(targets_.AddressBook != nullptr);
  InMailboxenaufnehmen1 = AddressPopup->addAction(QStringLiteral("В мейлбоксы"));
  InMailboxenaufnehmen1->setObjectName("InMailboxenaufnehmen1");
  InMailboxenaufnehmen1->setEnabled(targets_.Mailboxes != nullptr);

  auto search = [this] { Guarded([this] { EnhButton1Click(); }); };
  connect(EnhButton2, &QPushButton::clicked, this, search);
  for (QLineEdit* edit : {EdName, EdSysop, EdCity})
    connect(edit, &QLineEdit::returnPressed, this, search);
  connect(RestFilter, &QPushButton::clicked, this,
          [this] { Guarded([this] { RestFilterClick(); }); });
  connect(List, &TBetterListBox::clicked, this, [this] { ListClick(); });
  connect(List, &TBetterListBox::doubleClicked, this, [this] {
    if (picker_ && BtnOk->isEnabled()) accept();
  });
  connect(List, &TBetterListBox::mouseDown, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos) {
            if (button != Qt::RightButton) return;
            const int row = List->ItemAtPos(pos.x(), pos.y());
            if (row < 0) return;
            List->SelectItem(row);
            ListClick();
            OpenPopup(List->viewport()->mapToGlobal(pos));
          });
  connect(List, &TBetterListBox::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_Menu && List->ItemIndex() >= 0) {
      QRect rect;
      List->GetItemRect(List->ItemIndex(), rect);
      OpenPopup(List->viewport()->mapToGlobal(rect.bottomLeft()));
    }
  });
  connect(InsAdressbuchaufnehmen1, &QAction::triggered, this,
          [this] { Guarded([this] { InsAdressbuchaufnehmen1Click(); }); });
  connect(InMailboxenaufnehmen1, &QAction::triggered, this,
          [this] { Guarded([this] { InMailboxenaufnehmen1Click(); }); });
  connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  updater_ = std::make_unique<TNodelistUpdater>(
      lookup_, TNodelistUpdater::Hooks{[this] { return Starting(); },
                                       [this](std::vector<int> records, bool more) {
                                         Finished(std::move(records), more);
                                       }});
  ShowDetails(-1);
  resize(860, 560);
}

TAdvNLLookup::~TAdvNLLookup() {
  updater_.reset();  // waits for a running search
  lookup_.Unlock();
}

void TAdvNLLookup::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  updater_->Request();
}

bool TAdvNLLookup::Execute() {
  picker_ = true;
  PnOKC->show();
  setWindowFlags(windowFlags() & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
  const bool ok = ExecModal(*this) == QDialog::Accepted;
  picker_ = false;
  return ok;
}

std::optional<TNodelistPick> TAdvNLLookup::Picked() const {
  const int row = List->ItemIndex();
  if (row < 0 || row >= static_cast<int>(records_.size())) return std::nullopt;
  const int record = records_[static_cast<size_t>(row)];
  TNodelistPick pick;
  lookup_.GetAddress(record, pick.Address);
  pick.System = NodelistCellText(lookup_, record, nlcSystem);
  pick.Sysop = NodelistCellText(lookup_, record, nlcSysop);
  pick.City = NodelistCellText(lookup_, record, nlcCity);
  return pick;
}

TNodelistFilter TAdvNLLookup::Filter() const {
  TNodelistFilter filter;
  filter.Zone = static_cast<int32_t>(SpZone->Value());
  filter.Net = static_cast<int32_t>(SpNet->Value());
  filter.Node = static_cast<int32_t>(SpNode->Value());
  filter.Point = static_cast<int32_t>(SpPoint->Value());
  filter.Name = OemBytes(EdName->text());
  filter.Sysop = OemBytes(EdSysop->text());
  filter.City = OemBytes(EdCity->text());
  return filter;
}

void TAdvNLLookup::EnhButton1Click() { updater_->Request(); }

void TAdvNLLookup::RestFilterClick() {
  for (QLineEdit* edit : {EdName, EdSysop, EdCity}) edit->clear();
  for (TVxSpinEdit* spin : {SpZone, SpNet, SpNode, SpPoint}) spin->SetValue(-1);
  updater_->Request();
}

void TAdvNLLookup::TextFilter(QLineEdit* only, const QString& text) {
  for (QLineEdit* edit : {EdName, EdSysop, EdCity}) edit->setText(edit == only ? text : QString());
  for (TVxSpinEdit* spin : {SpZone, SpNet, SpNode, SpPoint}) spin->SetValue(-1);
  updater_->Request();
}

void TAdvNLLookup::ResNameButtonClick() { TextFilter(EdName, ResName->text()); }
void TAdvNLLookup::ResSysopButtonClick() { TextFilter(EdSysop, ResSysop->text()); }
void TAdvNLLookup::ResCityButtonClick() { TextFilter(EdCity, ResCity->text()); }

void TAdvNLLookup::ResAddrButtonClick() {
  const auto address = ParseFidoAddress(ResAddr->text().toStdString());
  if (!address) return;
  for (QLineEdit* edit : {EdName, EdSysop, EdCity}) edit->clear();
  SpZone->SetValue(address->Zone);
  SpNet->SetValue(address->Net);
  SpNode->SetValue(address->Node);
  SpPoint->SetValue(-1);  // the node with all its points
  updater_->Request();
}

TNodelistFilter TAdvNLLookup::Starting() {
  const TNodelistFilter filter = Filter();
  records_.clear();
  List->SetCount(0);
  ShowDetails(-1);
  StatusBar->setText(QStringLiteral("Updating ..."));
  List->hide();
  Anim->SetAutoPlay(true);
  Anim->show();
  setEnabled(false);
  return filter;
}

void TAdvNLLookup::Finished(std::vector<int> records, bool more) {
  records_ = std::move(records);
  List->SetCount(static_cast<int>(records_.size()));
  if (!records_.empty()) List->SelectItem(0);
  ShowDetails(records_.empty() ? -1 : 0);
  StatusBar->setText(QString::fromStdString(NodelistStatusText(records_.size(), lookup_.Count())));
  if (more) return;
  List->show();
  Anim->SetAutoPlay(false);
  Anim->hide();
  setEnabled(true);
}

void TAdvNLLookup::ListClick() { ShowDetails(List->ItemIndex()); }

void TAdvNLLookup::ShowDetails(int row) {
  const bool any = row >= 0 && row < static_cast<int>(records_.size());
  BtnOk->setEnabled(any);
  const std::pair<QLineEdit*, int> fields[] = {
      {ResAddr, nlcAddress}, {ResName, nlcSystem}, {ResSysop, nlcSysop}, {ResCity, nlcCity},
      {ResPhone, nlcPhone},  {ResRate, nlcSpeed},  {ResFlags, nlcFlags}};
  for (const auto& [edit, column] : fields)
    edit->setText(
        any ? OemText(NodelistCellText(lookup_, records_[static_cast<size_t>(row)], column))
            : QString());
}

void TAdvNLLookup::OpenPopup(QPoint at) { AddressPopup->popup(at); }

void TAdvNLLookup::InsAdressbuchaufnehmen1Click() {
  if (!targets_.AddressBook || ResAddr->text().isEmpty()) return;
  TGroup& book = *targets_.AddressBook;
  const std::string sysop = OemBytes(ResSysop->text());
  const std::string address = ResAddr->text().toStdString();
  for (int i = 0; i < book.GetCount(); ++i) {
    const TFriend& entry = *book.GetFriend(i);
    if (entry.GetName() == sysop && entry.Address().Text4D() == address) return;
  }
  auto entry = std::make_unique<TFriend>();
  entry->Address().SetText(address);
  entry->SetName(sysop);
  entry->Comments.push_back("Is sysop of " + OemBytes(ResName->text()));
  book.AddFriend(std::move(entry));
}

void TAdvNLLookup::InMailboxenaufnehmen1Click() {
  if (!targets_.Mailboxes || ResAddr->text().isEmpty()) return;
  auto box = std::make_unique<TMailBox>();
  box->Address.SetText(ResAddr->text().toStdString());
  box->Sysop = OemBytes(ResSysop->text());
  box->Name = OemBytes(ResName->text());
  if (targets_.FirstMailerProfile) box->Command = targets_.FirstMailerProfile();
  const std::string name = box->Name;
  targets_.Mailboxes->Add(name, std::move(box));
}

TAdvNLLookup* ShowNodelistBrowser(TNodelistLookup& lookup, TNodelistTargets targets,
                                  QWidget* parent) {
  auto* browser = new TAdvNLLookup(lookup, std::move(targets), parent);
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setModal(false);
  browser->show();
  return browser;
}

std::optional<TNodelistPick> PickFromNodelist(TNodelistLookup& lookup, const TNodelistFilter& start,
                                              QWidget* parent, const char* caption) {
  TAdvNLLookup browser(lookup, {}, parent);
  if (caption) browser.setWindowTitle(QString::fromLatin1(caption));
  browser.EdName->setText(OemText(start.Name));
  browser.EdSysop->setText(OemText(start.Sysop));
  browser.EdCity->setText(OemText(start.City));
  browser.SpZone->SetValue(start.Zone);
  browser.SpNet->SetValue(start.Net);
  browser.SpNode->SetValue(start.Node);
  browser.SpPoint->SetValue(start.Point);
  if (!browser.Execute()) return std::nullopt;
  return browser.Picked();
}

}  // namespace velmaris
