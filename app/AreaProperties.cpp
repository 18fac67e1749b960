#include "app/AreaProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/MsgWin.h"
#include "app/MsgWinCommon.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/NetLink.h"
#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "core/forms/SrchMaskProperties.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

QCheckBox* Check(QFormLayout* form, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(QString::fromLatin1(name));
  form->addRow(box);
  return box;
}

TVxSpinEdit* Spin(const char* name, int max) {
  auto* spin = new TVxSpinEdit;
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetMinValue(0);
  spin->SetMaxValue(max);
  return spin;
}

}  // namespace

TAreaProperties::TAreaProperties(TArea& area, TConfigStore& store, QWidget* parent)
    : QDialog(parent), area_(area), store_(store) {
  setObjectName("TAreaProperties");
  auto* layout = new QVBoxLayout(this);
  auto* pages = new QTabWidget;
  pages->setObjectName("PageControl1");
  layout->addWidget(pages, 1);
  auto page = [pages](const char* name, const QString& caption) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    auto* form = new QFormLayout(w);
    pages->addTab(w, caption);
    return form;
  };
  QFormLayout* general = page("AreaGeneral", QStringLiteral("Общие"));
  AreaPath = new QLineEdit;
  AreaPath->setObjectName("AreaPath");
  AreaPath->setReadOnly(true);
  general->addRow(QStringLiteral("Файл:"), AreaPath);
  AreaTextGroup = new QComboBox;
  AreaTextGroup->setObjectName("AreaTextGroup");
  for (int i = 0; i < store.TextGroups().GetCount(); ++i)
    AreaTextGroup->addItem(AnsiText(store.TextGroups().GetString(i)));
  general->addRow(QStringLiteral("Шаблоны:"), AreaTextGroup);
  Uplink = new QComboBox;
  Uplink->setObjectName("Uplink");
  for (int i = 0; i < store.Uplinks().GetCount(); ++i)
    Uplink->addItem(AnsiText(store.Uplinks().GetString(i)));
  general->addRow(QStringLiteral("Аплинк:"), Uplink);
  DisplayFilter = new QPushButton(QStringLiteral("Фильтр показа..."));
  DisplayFilter->setObjectName("DisplayFilter");
  general->addRow(DisplayFilter);
  // A row the type does not use goes with its label.
  general->setRowVisible(AreaPath, area.AreaType != 7);
  general->setRowVisible(AreaTextGroup, UsesTexts());
  general->setRowVisible(Uplink, area.AreaType == AreaTypeCode::Echomail);

  QFormLayout* maintain = page("AreaMaintain", QStringLiteral("Чистка"));
  CBMaintain = Check(maintain, "CBMaintain", QStringLiteral("Чистить эту арию"));
  DoApplyAge = new QCheckBox(QStringLiteral("Старше, дней:"));
  DoApplyAge->setObjectName("DoApplyAge");
  SpinAge = Spin("SpinAge", 100000);
  maintain->addRow(DoApplyAge, SpinAge);
  DoApplyNUmber = new QCheckBox(QStringLiteral("Больше, писем:"));
  DoApplyNUmber->setObjectName("DoApplyNUmber");
  SpinNUmber = Spin("SpinNUmber", 10000000);
  maintain->addRow(DoApplyNUmber, SpinNUmber);
  MaintainFilterProperties = new QPushButton(QStringLiteral("Фильтр чистки..."));
  MaintainFilterProperties->setObjectName("MaintainFilterProperties");
  maintain->addRow(MaintainFilterProperties);

  QFormLayout* mails = page("NewMails", QStringLiteral("Новые письма"));
  CBUseTabs = Check(mails, "CBUseTabs", QStringLiteral("Табуляции в пробелы"));
  cbUmlaute = Check(mails, "cbUmlaute", QStringLiteral("Заменять умляуты"));
  cbSZ = Check(mails, "cbSZ", QStringLiteral("ß в ss"));
  CBReflow = Check(mails, "CBReflow", QStringLiteral("Переформатировать цитаты"));
  CbNoRex = Check(mails, "CbNoRex", QStringLiteral("Без \"Re:\" в ответах"));
  CBNToH = Check(mails, "CBNToH", QStringLiteral("Заменять букву с кодом 0xCD"));
  rbOrigNormal = new QRadioButton(QStringLiteral("Первый ориджин"));
  rbOrigNormal->setObjectName("rbOrigNormal");
  rbOrigRandom = new QRadioButton(QStringLiteral("Случайный ориджин"));
  rbOrigRandom->setObjectName("rbOrigRandom");
  mails->addRow(rbOrigNormal);
  mails->addRow(rbOrigRandom);
  const uint8_t t = area.AreaType;
  const bool origins = UsesTexts() && t != 3 && t != 9;
  rbOrigNormal->setVisible(origins);
  rbOrigRandom->setVisible(origins);
  pages->setTabVisible(2, UsesTexts());

  const TDialogButtons buttons = AddDialogButtons(
      layout, this,
      {[this] { Button3Click(); }, [this] { Button2Click(); }, [this] { bApplyClick(); }});
  OKButton = buttons.OK;
  CancelButton = buttons.Cancel;
  bApply = buttons.Apply;
  Fill();
  auto modified = [this] {
    if (!filling_) bApply->setEnabled(true);
  };
  for (QCheckBox* c : findChildren<QCheckBox*>()) connect(c, &QCheckBox::toggled, this, modified);
  connect(rbOrigRandom, &QRadioButton::toggled, this, modified);
  for (QComboBox* c : {AreaTextGroup, Uplink})
    connect(c, &QComboBox::currentIndexChanged, this, modified);
  for (TVxSpinEdit* s : {SpinAge, SpinNUmber})
    connect(s, &TVxSpinEdit::textChanged, this, modified);
  connect(DisplayFilter, &QPushButton::clicked, this, [this] { EditFilter(displayFilter_); });
  connect(MaintainFilterProperties, &QPushButton::clicked, this,
          [this] { EditFilter(maintainFilter_); });
}

TAreaProperties::~TAreaProperties() = default;

void TAreaProperties::EditFilter(TSearchRequest& filter) {
  auto* dialog = dynamic_cast<TSrchMaskProperties*>(filter.Dialog.Dialog.get());
  if (!dialog) {
    // The mask's own dialog on the copy; the copy reaches the area with the
    // rest of the fields (Apply, OK) or is dropped (Cancel).
    dialog = new TSrchMaskProperties(filter);
    filter.Dialog.Dialog.reset(dialog);
    dialog->setParent(this, Qt::Dialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->OnApplied = [this](TSearchRequest&) { bApply->setEnabled(true); };
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

bool TAreaProperties::UsesTexts() const {
  const uint8_t t = area_.AreaType;
  return t != 1 && t != 2 && t != 6;
}

void TAreaProperties::Fill() {
  filling_ = true;
  setWindowTitle(QString::fromLatin1(AreaTypeCaptionPrefix(area_.AreaType)) + AreaNameText(area_));
  AreaPath->setText(PathText(area_.FileName));
  AreaTextGroup->setCurrentIndex(area_.TextGroup < AreaTextGroup->count() ? area_.TextGroup : -1);
  Uplink->setCurrentIndex(area_.Uplink ? store_.Uplinks().IndexOf(area_.Uplink) : -1);
  CBMaintain->setChecked(area_.Maintain);
  DoApplyAge->setChecked(area_.ApplyAge);
  SpinAge->SetValue(area_.MaxAge);
  DoApplyNUmber->setChecked(area_.ApplyNumber);
  SpinNUmber->SetValue(area_.MaxNumber);
  CBUseTabs->setChecked(area_.TabsToSpaces);
  cbUmlaute->setChecked(area_.NoUmlaute);
  cbSZ->setChecked(area_.NoSZ);
  CBReflow->setChecked(area_.Reflow);
  CbNoRex->setChecked(area_.NoRex);
  CBNToH->setChecked(area_.NToH);
  rbOrigRandom->setChecked(area_.RandomOrig);
  rbOrigNormal->setChecked(!area_.RandomOrig);
  displayFilter_ = area_.DisplayFilter;
  maintainFilter_ = area_.MaintainFilter;
  bApply->setEnabled(false);
  filling_ = false;
}

void TAreaProperties::bApplyClick() {
  if (UsesTexts()) area_.TextGroup = AreaTextGroup->currentIndex();
  if (area_.AreaType == AreaTypeCode::Echomail && Uplink->currentIndex() >= 0)
    area_.Uplink = store_.Uplinks().GetItem(Uplink->currentIndex());
  area_.Maintain = CBMaintain->isChecked();
  area_.ApplyAge = DoApplyAge->isChecked();
  area_.MaxAge = static_cast<int32_t>(SpinAge->Value());
  area_.ApplyNumber = DoApplyNUmber->isChecked();
  area_.MaxNumber = static_cast<int32_t>(SpinNUmber->Value());
  area_.TabsToSpaces = CBUseTabs->isChecked();
  area_.NoUmlaute = cbUmlaute->isChecked();
  area_.NoSZ = cbSZ->isChecked();
  area_.Reflow = CBReflow->isChecked();
  area_.NoRex = CbNoRex->isChecked();
  area_.NToH = CBNToH->isChecked();
  area_.RandomOrig = rbOrigRandom->isChecked();
  const bool refilter = !area_.DisplayFilter.SameConditions(displayFilter_);
  area_.DisplayFilter = displayFilter_;  // the conditions; the area's own dialog stays
  area_.MaintainFilter = maintainFilter_;
  bApply->setEnabled(false);
  // An open message list shows the rows of the new display filter at once,
  // as the list's own filter command does.
  if (TMessageListWindow* window = MessageWindowOf(area_); window && refilter)
    Guarded([window] { window->BuildDisplayList(); });
}

void TAreaProperties::Button3Click() {
  bApplyClick();
  accept();
}

void TAreaProperties::Button2Click() { reject(); }

void TAreaProperties::ShowPage(const QString& name) {
  auto* pages = findChild<QTabWidget*>("PageControl1");
  QWidget* page = pages->findChild<QWidget*>(name);
  // A page the area's type hides gives way to the general page.
  if (!page || !pages->isTabVisible(pages->indexOf(page)))
    page = pages->findChild<QWidget*>("AreaGeneral");
  pages->setCurrentWidget(page);
}

}  // namespace velmaris
