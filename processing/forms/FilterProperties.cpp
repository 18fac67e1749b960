#include "processing/forms/FilterProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "processing/Secretary.h"
#include "widgets/FileEdits.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"

namespace velmaris {
namespace {

// The area types the type condition offers; the row is the type number.
const char* const kTypeItems[11] = {
    "Эхоконференция", "BAD",      "DUPES",      "Нетмейл",    "(4)",        "(5)",
    "Отчёты",         "Прототип", "Внутренняя", "POP e-mail", "NNTP группа"};
// The flag rows, in the order of kFilterDialogFlags.
const char* const kFlagNames[6] = {"ToSysop", "Unread", "Hold", "Kill", "Import", "Send"};
const char* const kFlagCaptions[6] = {
    "Для сисопа", "Непрочитано", "Задержать", "Удалить после отправки", "Новое", "Отправить"};

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QComboBox* FlagCombo(const QString& name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->addItems({U("без изменений"), U("сбросить"), U("установить")});
  return combo;
}

// "set" when the bit is in set, else "clear" when in reset, else "no change".
int FlagRow(uint16_t bit, uint16_t set, uint16_t reset) {
  return (set & bit) ? 2 : (reset & bit) ? 1 : 0;
}

}  // namespace

TFilterProperties::TFilterProperties(TFilter& filter, TFilterList& list, TConfigStore& store,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      filter_(filter),
      list_(list),
      store_(store) {
  setObjectName("TFilterProperties");
  Build();
  Fill();
}

TFilterProperties::~TFilterProperties() = default;

// --- Building -----------------------------------------------------------------------

QCheckBox* TFilterProperties::Check(const char* name, const QString& caption, QWidget* partner) {
  auto* box = new QCheckBox(caption, this);
  box->setObjectName(QString::fromLatin1(name));
  switches_.push_back({box, partner});
  connect(box, &QCheckBox::toggled, this, [this, partner](bool on) {
    if (partner) partner->setEnabled(on);
    Changed();
  });
  return box;
}

void TFilterProperties::Build() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu(U("&Файл"));
  file->setObjectName("File1");
  QAction* close = file->addAction(U("&Закрыть"), this, [this] { this->close(); });
  close->setObjectName("Close1");
  QMenu* help = bar->addMenu(U("&Справка"));
  help->setObjectName("Help1");
  QAction* helpItem =
      help->addAction(U("Справка"), this, [] { platform::ShowHelp(platform::kHelpFilter); });
  helpItem->setObjectName("Help2");
  BindHelpKey(this, platform::kHelpFilter, helpItem);
  help->addAction(U("Темы справки"), this, [] { platform::ShowHelp(platform::kHelpContents); })
      ->setObjectName("HelpTopics1");

  auto* pages = new QTabWidget(this);
  pages->setObjectName("PageControl1");
  pages->addTab(BuildGeneral(), U("Общие"));
  pages->addTab(BuildConditions(), U("Фильтр"));
  pages->addTab(BuildActions(), U("Действия"));
  pages->addTab(BuildFlags(false), U("Оригинал"));
  pages->addTab(BuildFlags(true), U("Копии"));

  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("OKBtn");
  cancel_ = new QPushButton(U("Отмена"), this);
  cancel_->setObjectName("CancelBtn");
  apply_ = new QPushButton(U("Применить"), this);
  apply_->setObjectName("ApplyBtn");
  connect(ok_, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyBtnClick(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* b : {ok_, cancel_, apply_}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(bar);
  layout->addWidget(pages);
  layout->addLayout(buttons);
  resize(440, 360);
}

QWidget* TFilterProperties::BuildGeneral() {
  auto* page = new QWidget;
  page->setObjectName("General");
  desc_ = new QLineEdit(page);
  desc_->setObjectName("Desc");
  connect(desc_, &QLineEdit::textEdited, this, [this] { Changed(); });
  auto* form = new QFormLayout(page);
  form->addRow(U("Название:"), desc_);
  return page;
}

QWidget* TFilterProperties::BuildConditions() {
  auto* page = new QWidget;
  page->setObjectName("Filter");
  auto* grid = new QGridLayout(page);
  const auto edit = [&](const char* name) {
    auto* e = new QLineEdit(page);
    e->setObjectName(QString::fromLatin1(name));
    connect(e, &QLineEdit::textEdited, this, [this] { Changed(); });
    return e;
  };
  coType_ = new QComboBox(page);
  coType_->setObjectName("CoType");
  for (const char* item : kTypeItems) coType_->addItem(U(item));
  connect(coType_, &QComboBox::activated, this, [this] { Changed(); });
  coArea_ = new QComboBox(page);
  coArea_->setObjectName("coArea");
  coArea_->setEditable(true);
  connect(coArea_, &QComboBox::editTextChanged, this, [this] { Changed(); });
  // Twins show the same text: picking the other one is a change too.
  connect(coArea_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  attachments_.push_back(std::make_unique<TComboAttachment>(store_.Areas(), coArea_));
  edOrig_ = edit("EdOrig");
  edDest_ = edit("EdDest");
  edSubj_ = edit("EdSubj");
  edText_ = edit("EdText");
  cbType_ = Check("CbType", U("Тип области"), coType_);
  cbOrig_ = Check("CbOrig", U("Отправитель содержит"), edOrig_);
  cbDest_ = Check("CbDest", U("Получатель содержит"), edDest_);
  cbSubj_ = Check("CbSubj", U("Тема содержит"), edSubj_);
  cbText_ = Check("CbText", U("Текст содержит"), edText_);
  cbArea_ = Check("CbArea", U("Область"), coArea_);
  int row = 0;
  for (auto [box, partner] : {std::pair<QCheckBox*, QWidget*>{cbType_, coType_},
                              {cbOrig_, edOrig_},
                              {cbDest_, edDest_},
                              {cbSubj_, edSubj_},
                              {cbText_, edText_},
                              {cbArea_, coArea_}}) {
    grid->addWidget(box, row, 0);
    grid->addWidget(partner, row++, 1);
  }
  grid->setRowStretch(row, 1);
  return page;
}

QWidget* TFilterProperties::BuildActions() {
  auto* page = new QWidget;
  page->setObjectName("Actions");
  auto* grid = new QGridLayout(page);
  const auto combo = [&](const char* name, TPubLst& list) {
    auto* c = new QComboBox(page);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    connect(c, &QComboBox::editTextChanged, this, [this] { Changed(); });
    connect(c, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
    attachments_.push_back(std::make_unique<TComboAttachment>(list, c));
    return c;
  };
  const auto file = [&](const char* name) {
    auto* e = new TFilenameEdit(page);
    e->setObjectName(QString::fromLatin1(name));
    connect(e, &QLineEdit::textChanged, this, [this] { Changed(); });
    return e;
  };
  coCopy_ = combo("CoCopy", store_.Areas());
  coList_ = combo("CoList", store_.AddressGroups());
  coUnList_ = combo("CoUnList", store_.AddressGroups());
  edLaunch_ = file("EdLaunch");  // a command line
  edAnswer_ = file("EdAnswer");
  edSave_ = file("EdSave");
  edAnswer_->SetHoldsPath(true);
  edSave_->SetHoldsPath(true);
  cbCopy_ = Check("CbCopy", U("Копировать в область"), coCopy_);
  cbList_ = Check("CbList", U("Добавить в список"), coList_);
  cbUnList_ = Check("CbUnList", U("Удалить из списка"), coUnList_);
  cbLaunch_ = Check("CbLaunch", U("Запустить программу"), edLaunch_);
  cbAnswer_ = Check("CbAnswer", U("Автоответ"), edAnswer_);
  cbSave_ = Check("CbSave", U("Сохранить в файл"), edSave_);
  int row = 0;
  for (auto [box, partner] : {std::pair<QCheckBox*, QWidget*>{cbCopy_, coCopy_},
                              {cbList_, coList_},
                              {cbUnList_, coUnList_},
                              {cbLaunch_, edLaunch_},
                              {cbAnswer_, edAnswer_},
                              {cbSave_, edSave_}}) {
    grid->addWidget(box, row, 0);
    grid->addWidget(partner, row++, 1);
  }
  grid->setRowStretch(row, 1);
  return page;
}

QWidget* TFilterProperties::BuildFlags(bool copies) {
  auto* page = new QWidget;
  page->setObjectName(copies ? "Copies" : "Original");
  auto* form = new QFormLayout(page);
  if (!copies) {
    cbKill_ = Check("CbKill", U("Удалить сообщение"), nullptr);
    form->addRow(cbKill_);
  }
  QComboBox** combos = copies ? copyFlags_ : origFlags_;
  for (int i = 0; i < 6; ++i) {
    const QString name = (copies ? QStringLiteral("K") : QString()) + kFlagNames[i];
    combos[i] = FlagCombo(name, page);
    connect(combos[i], &QComboBox::activated, this, [this] { Changed(); });
    form->addRow(U(kFlagCaptions[i]), combos[i]);
  }
  if (copies) {
    cbForward_ = Check("CbForward", U("Переслать копию как новое сообщение"), nullptr);
    form->addRow(cbForward_);
  }
  return page;
}

// --- Filling and storing ------------------------------------------------------------

int TFilterProperties::RowOf(const TFilter& filter) const { return list_.IndexOfObject(&filter); }

void TFilterProperties::Fill() {
  const TFilter& f = filter_;
  const int row = RowOf(f);
  desc_->setText(row >= 0 ? AnsiToQString(list_.GetString(row)) : QString());
  cbType_->setChecked(f.ApplyType);
  coType_->setCurrentIndex(f.Type >= 0 && f.Type < 11 ? f.Type : -1);
  cbOrig_->setChecked(f.ApplyOrig);
  edOrig_->setText(AnsiToQString(f.Orig()));
  cbDest_->setChecked(f.ApplyDest);
  edDest_->setText(AnsiToQString(f.Dest()));
  cbSubj_->setChecked(f.ApplySubj);
  edSubj_->setText(AnsiToQString(f.Subj()));
  cbText_->setChecked(f.ApplyText);
  edText_->setText(AnsiToQString(f.Text()));
  cbArea_->setChecked(f.ApplyArea);
  ShowComboName(coArea_, f.Area());
  cbCopy_->setChecked(f.DoCopy);
  ShowComboName(coCopy_, f.CopyArea);
  cbList_->setChecked(f.DoAdd);
  coList_->setEditText(AnsiToQString(f.List));
  cbUnList_->setChecked(f.DoRem);
  coUnList_->setEditText(AnsiToQString(f.UnList));
  cbLaunch_->setChecked(f.DoLaunch);
  edLaunch_->setText(FilledPathText(edLaunch_, f.Processor));
  cbAnswer_->setChecked(f.DoAnswer);
  edAnswer_->setText(FilledPathText(edAnswer_, f.Answer, platform::UnquotedPath(f.Answer)));
  cbSave_->setChecked(f.DoSave);
  edSave_->setText(FilledPathText(edSave_, f.SaveFile, platform::UnquotedPath(f.SaveFile)));
  cbKill_->setChecked(f.DoKill);
  cbForward_->setChecked(f.ForwardCopy);
  for (int i = 0; i < 6; ++i) {
    origFlags_[i]->setCurrentIndex(FlagRow(kFilterDialogFlags[i], f.OrigSet, f.OrigReset));
    copyFlags_[i]->setCurrentIndex(FlagRow(kFilterDialogFlags[i], f.CopySet, f.CopyReset));
  }
  for (const Switch& s : switches_)
    if (s.partner) s.partner->setEnabled(s.box->isChecked());
  UpdateCaption();
  apply_->setEnabled(false);
}

void TFilterProperties::Store() {
  TFilter& f = filter_;
  f.ApplyType = cbType_->isChecked();
  f.Type = std::max(0, coType_->currentIndex());
  f.ApplyOrig = cbOrig_->isChecked();
  f.SetOrig(QStringToAnsi(edOrig_->text()));
  f.ApplyDest = cbDest_->isChecked();
  f.SetDest(QStringToAnsi(edDest_->text()));
  f.ApplySubj = cbSubj_->isChecked();
  f.SetSubj(QStringToAnsi(edSubj_->text()));
  f.ApplyText = cbText_->isChecked();
  f.SetText(QStringToAnsi(edText_->text()));
  f.ApplyArea = cbArea_->isChecked();
  f.SetArea(ComboNameBytes(store_.Areas(), coArea_));
  f.DoCopy = cbCopy_->isChecked();
  f.CopyArea = ComboNameBytes(store_.Areas(), coCopy_);
  f.DoAdd = cbList_->isChecked();
  f.List = QStringToAnsi(coList_->currentText());
  f.DoRem = cbUnList_->isChecked();
  f.UnList = QStringToAnsi(coUnList_->currentText());
  f.DoLaunch = cbLaunch_->isChecked();
  f.Processor = FieldPathBytes(edLaunch_, edLaunch_->text());
  f.DoAnswer = cbAnswer_->isChecked();
  f.Answer = FieldPathBytes(edAnswer_, edAnswer_->FileName());
  f.DoSave = cbSave_->isChecked();
  f.SaveFile = FieldPathBytes(edSave_, edSave_->FileName());
  f.DoKill = cbKill_->isChecked();
  f.ForwardCopy = cbForward_->isChecked();
  f.OrigSet = f.OrigReset = f.CopySet = f.CopyReset = 0;
  for (int i = 0; i < 6; ++i) {
    const uint16_t bit = kFilterDialogFlags[i];
    if (origFlags_[i]->currentIndex() == 1) f.OrigReset |= bit;
    if (origFlags_[i]->currentIndex() == 2) f.OrigSet |= bit;
    if (copyFlags_[i]->currentIndex() == 1) f.CopyReset |= bit;
    if (copyFlags_[i]->currentIndex() == 2) f.CopySet |= bit;
  }
  const int row = RowOf(f);
  if (row >= 0) list_.SetString(row, QStringToAnsi(desc_->text()));
  UpdateCaption();
  apply_->setEnabled(false);
}

void TFilterProperties::Changed() {
  if (apply_) apply_->setEnabled(true);
}

void TFilterProperties::UpdateCaption() {
  const int row = RowOf(filter_);
  setWindowTitle(QStringLiteral("Properties of ") +
                 (row >= 0 ? AnsiToQString(list_.GetString(row)) : QString()));
}

void TFilterProperties::OKBtnClick() {
  Store();
  close();
}

void TFilterProperties::CancelBtnClick() { close(); }

void TFilterProperties::ApplyBtnClick() { Store(); }

void TFilterProperties::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (filter_.Dialog.Dialog.get() == this) filter_.Dialog.Dialog.release();
  attachments_.clear();
  deleteLater();
}

TFilterProperties* ShowFilterProperties(TFilter& filter, TFilterList& list, TConfigStore& store,
                                        bool modal) {
  auto* window = dynamic_cast<TFilterProperties*>(filter.Dialog.Dialog.get());
  if (window == nullptr) {
    window = new TFilterProperties(filter, list, store);
    filter.Dialog.Dialog.reset(window);
  }
  ShowInFront(*window, modal);
  return window;
}

}  // namespace velmaris
