#include "processing/forms/AutoSendProperties.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "core/DateFormat.h"
#include "core/Mail.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"
#include "widgets/VxSpin.h"

namespace velmaris {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TVxSpinEdit* Spin(const char* name, int low, int high, QWidget* parent) {
  auto* spin = new TVxSpinEdit(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetMinValue(low);
  spin->SetMaxValue(high);
  return spin;
}

int Rounded(const TVxSpinEdit* spin) { return static_cast<int>(std::lround(spin->Value())); }

// The characters of a receiver's name that stay in view however narrow the
// window is ("Иван Петрович Сидоров" and the like).
constexpr int kShownNameLength = 22;

}  // namespace

TAutoSendProperties::TAutoSendProperties(TAutoSendJob& job, TAutoSendJobs& list, TAutoSendEnv env,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window), job_(job), list_(list), env_(std::move(env)) {
  setObjectName("TAutoSendProperties");
  copy_.Assign(job);
  Build();
  Fill();
}

TAutoSendProperties::~TAutoSendProperties() = default;

void TAutoSendProperties::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (job_.Dialog.Dialog.get() == this) job_.Dialog.Dialog.release();
  attachments_.clear();
  deleteLater();
}

void TAutoSendProperties::Build() {
  const auto edit = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    connect(e, &QLineEdit::textEdited, this, [this] { Modified(); });
    return e;
  };
  const auto combo = [this](const char* name, TPubLst& source) {
    auto* c = new QComboBox(this);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    connect(c, &QComboBox::editTextChanged, this, [this] { Modified(); });
    attachments_.push_back(std::make_unique<TComboAttachment>(source, c));
    return c;
  };
  const auto radio = [this](const char* name, const QString& caption) {
    auto* r = new QRadioButton(caption, this);
    r->setObjectName(QString::fromLatin1(name));
    connect(r, &QRadioButton::toggled, this, [this] { Modified(); });
    return r;
  };
  TConfigStore& store = *env_.Store;
  edName_ = edit("EdName");
  cbActive_ = new QCheckBox(U("Активно"), this);
  cbActive_->setObjectName("CbActive");
  connect(cbActive_, &QCheckBox::toggled, this, [this] { Modified(); });

  auto* schedule = new QGroupBox(U("Расписание"), this);
  auto* sgrid = new QGridLayout(schedule);
  sendMode_[0] = radio("SendMode0", U("Каждые N дней"));
  sendMode_[1] = radio("SendMode1", U("Ежемесячно, числа"));
  sendMode_[2] = radio("SendMode2", U("Ежегодно"));
  rxDays_ = Spin("RxDays", 1, 3650, this);
  rxDate_ = Spin("RxDate", 1, 31, this);
  spDay_ = Spin("SpDay", 1, 31, this);
  cbMonth_ = new QComboBox(this);
  cbMonth_->setObjectName("CbMonth");
  for (const char* month : kRussianMonthNames) cbMonth_->addItem(U(month));
  connect(cbMonth_, &QComboBox::activated, this, [this] { Modified(); });
  for (TVxSpinEdit* spin : {rxDays_, rxDate_, spDay_})
    connect(spin, &TVxSpinEdit::change, this, [this] { Modified(); });
  sgrid->addWidget(sendMode_[0], 0, 0);
  sgrid->addWidget(rxDays_, 0, 1);
  sgrid->addWidget(sendMode_[1], 1, 0);
  sgrid->addWidget(rxDate_, 1, 1);
  sgrid->addWidget(sendMode_[2], 2, 0);
  sgrid->addWidget(spDay_, 2, 1);
  sgrid->addWidget(cbMonth_, 2, 2);

  auto* receivers = new QGroupBox(U("Получатели"), this);
  auto* rgrid = new QGridLayout(receivers);
  recMode_[0] = radio("RecMode0", U("Получатель"));
  recMode_[1] = radio("RecMode1", U("Список адресов"));
  edRec_ = combo("EdRec", store.AddressBook());
  edAddr_ = edit("EdAddr");
  edList_ = combo("EdList", store.AddressGroups());
  rgrid->addWidget(recMode_[0], 0, 0);
  rgrid->addWidget(edRec_, 0, 1);
  rgrid->addWidget(edAddr_, 0, 2);
  rgrid->addWidget(recMode_[1], 1, 0);
  rgrid->addWidget(edList_, 1, 1, 1, 2);
  // A name is longer than an address: the name takes the larger share of
  // the row and keeps room for a whole name when the window is narrow (an
  // editable combo box otherwise keeps the width of its empty contents).
  edRec_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  edRec_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  edRec_->setMinimumContentsLength(kShownNameLength);
  edAddr_->setMinimumWidth(edAddr_->fontMetrics().horizontalAdvance(QStringLiteral("2:5020/1042.15")) +
                           edAddr_->fontMetrics().averageCharWidth() * 2);
  rgrid->setColumnStretch(1, 3);
  rgrid->setColumnStretch(2, 2);

  cbArea_ = new QComboBox(this);
  cbArea_->setObjectName("CbArea");
  cbArea_->setEditable(true);
  connect(cbArea_, &QComboBox::editTextChanged, this, [this] { Modified(); });
  // Twins show the same text: picking the other one is a change too.
  connect(cbArea_, &QComboBox::currentIndexChanged, this, [this] { Modified(); });
  attachments_.push_back(std::make_unique<TComboAttachment>(store.Areas(), cbArea_));
  edText_ = new TFilenameEdit(this);
  edText_->setObjectName("EdText");
  edText_->SetHoldsPath(true);
  connect(edText_, &QLineEdit::textChanged, this, [this] { Modified(); });
  edSubject_ = edit("EdSubject");
  lbLast_ = new QLabel(this);
  lbLast_->setObjectName("LbLast");
  lbNext_ = new QLabel(this);
  lbNext_->setObjectName("LbNext");

  auto* form = new QFormLayout;
  form->addRow(U("Название:"), edName_);
  form->addRow(QString(), cbActive_);
  form->addRow(U("Область:"), cbArea_);
  form->addRow(U("Текст письма:"), edText_);
  form->addRow(U("Тема:"), edSubject_);
  form->addRow(U("Последняя отправка:"), lbLast_);
  form->addRow(U("Следующая отправка:"), lbNext_);

  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("Button3");
  cancel_ = new QPushButton(U("Отмена"), this);
  cancel_->setObjectName("btnCancel");
  apply_ = new QPushButton(U("Применить"), this);
  apply_->setObjectName("btnApply");
  sendNow_ = new QPushButton(U("Отправить сейчас"), this);
  sendNow_->setObjectName("Button2");
  connect(ok_, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(apply_, &QPushButton::clicked, this, [this] { btnApplyClick(); });
  connect(sendNow_, &QPushButton::clicked, this, [this] { Button2Click(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(sendNow_);
  buttons->addStretch(1);
  for (QPushButton* b : {ok_, cancel_, apply_}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(schedule);
  layout->addWidget(receivers);
  layout->addLayout(buttons);
}

void TAutoSendProperties::Fill() {
  filling_ = true;
  const TAutoSendJob& j = copy_;
  edName_->setText(AnsiToQString(j.Name));
  cbActive_->setChecked(j.Active);
  sendMode_[j.SendMode >= 0 && j.SendMode <= 2 ? j.SendMode : 0]->setChecked(true);
  rxDays_->SetValue(j.SendDays);
  rxDate_->SetValue(j.SendDate);
  spDay_->SetValue(j.DateDay);
  cbMonth_->setCurrentIndex(j.DateMonth >= 1 && j.DateMonth <= 12 ? j.DateMonth - 1 : 0);
  ShowComboName(cbArea_, j.Area);
  edText_->setText(FilledPathText(edText_, j.MailText, platform::UnquotedPath(j.MailText)));
  recMode_[j.RecMode == 1 ? 1 : 0]->setChecked(true);
  edRec_->setEditText(AnsiToQString(j.Receiver));
  edAddr_->setText(AnsiToQString(j.RecAddr));
  edList_->setEditText(AnsiToQString(j.RecList));
  edSubject_->setText(AnsiToQString(j.Subject));
  // A text longer than its field shows its start (setting a text leaves the
  // cursor, and so the view, at its end).
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setCursorPosition(0);
  filling_ = false;
  Modified();
  apply_->setEnabled(false);
}

void TAutoSendProperties::ReadControls(TAutoSendJob& j) const {
  j.Name = QStringToAnsi(edName_->text());
  j.Active = cbActive_->isChecked();
  j.SendMode = sendMode_[1]->isChecked() ? 1 : sendMode_[2]->isChecked() ? 2 : 0;
  j.SendDays = Rounded(rxDays_);
  j.SendDate = Rounded(rxDate_);
  j.DateDay = Rounded(spDay_);
  j.DateMonth = cbMonth_->currentIndex() + 1;
  j.Area = ComboNameBytes(env_.Store->Areas(), cbArea_);
  j.MailText = FieldPathBytes(edText_, edText_->FileName());
  j.RecMode = recMode_[1]->isChecked() ? 1 : 0;
  j.Receiver = QStringToAnsi(edRec_->currentText());
  j.RecAddr = QStringToAnsi(edAddr_->text());
  j.RecList = QStringToAnsi(edList_->currentText());
  j.Subject = QStringToAnsi(edSubject_->text());
}

void TAutoSendProperties::Modified() {
  if (filling_) return;
  ReadControls(copy_);
  rxDays_->setEnabled(copy_.SendMode == 0);
  rxDate_->setEnabled(copy_.SendMode == 1);
  spDay_->setEnabled(copy_.SendMode == 2);
  cbMonth_->setEnabled(copy_.SendMode == 2);
  edRec_->setEnabled(copy_.RecMode == 0);
  edAddr_->setEnabled(copy_.RecMode == 0);
  edList_->setEnabled(copy_.RecMode == 1);
  lbLast_->setText(copy_.NeverSent()
                       ? QStringLiteral("-")
                       : QString::fromStdString(FormatShortDate(UnixToDateTime(copy_.Last))));
  lbNext_->setText(QString::fromStdString(FormatShortDate(copy_.NextDueDate(env_.ClockNow()))));
  setWindowTitle(QStringLiteral("Properties of ") + AnsiToQString(job_.Name));
  apply_->setEnabled(true);
}

void TAutoSendProperties::Store() {
  const int32_t last = job_.Last;
  ReadControls(job_);
  job_.Last = last;
  const int row = list_.IndexOfObject(&job_);
  if (row >= 0) list_.SetString(row, job_.Name);
  setWindowTitle(QStringLiteral("Properties of ") + AnsiToQString(job_.Name));
  apply_->setEnabled(false);
}

void TAutoSendProperties::btnApplyClick() { Store(); }

void TAutoSendProperties::Button3Click() {
  Store();
  close();
}

void TAutoSendProperties::btnCancelClick() { close(); }

void TAutoSendProperties::Button2Click() {
  ReadControls(copy_);
  try {
    copy_.Execute(env_);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  job_.Last = copy_.Last;
  const bool applyOn = apply_->isEnabled();
  Modified();
  apply_->setEnabled(applyOn);
}

TAutoSendProperties* ShowAutoSendProperties(TAutoSendJob& job, TAutoSendJobs& list,
                                            const TAutoSendEnv& env, bool modal) {
  auto* window = dynamic_cast<TAutoSendProperties*>(job.Dialog.Dialog.get());
  if (window == nullptr) {
    window = new TAutoSendProperties(job, list, env);
    job.Dialog.Dialog.reset(window);
  }
  ShowInFront(*window, modal);
  return window;
}

}  // namespace velmaris
