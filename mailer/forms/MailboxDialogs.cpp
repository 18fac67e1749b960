#include "mailer/forms/MailboxDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "core/forms/FormText.h"
#include "mailer/FileRequest.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/ModalHook.h"

namespace velmaris {

QDialogButtonBox* AddOkCancel(QDialog* dialog, QLayout* layout) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("BtnOk");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("BtnCancel");
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return buttons;
}

// --- Mailbox chooser -----------------------------------------------------------------

TGetBBSRequest::TGetBBSRequest(TConfigStore& store, QWidget* parent)
    : QDialog(parent), store_(store) {
  setObjectName("GetBBSRequest");
  auto* layout = new QVBoxLayout(this);
  BBSList = new QListWidget(this);
  BBSList->setObjectName("BBSList");
  layout->addWidget(BBSList);
  QDialogButtonBox* buttons = AddOkCancel(this, layout);
  connect(buttons, &QDialogButtonBox::accepted, this, &TGetBBSRequest::BtnokClick);
  connect(BBSList, &QListWidget::itemDoubleClicked, this, &TGetBBSRequest::BtnokClick);
}

bool TGetBBSRequest::Execute() {
  chosen_ = nullptr;
  const TMBList& boxes = store_.Mailboxes();
  if (boxes.GetCount() == 0) {
    platform::GetPrompter().Warn(
        "There are no mailboxes set up!  Please configure your mailboxes under \"Mailboxes\" in "
        "the \"Settings\" dialog.");
    return false;
  }
  BBSList->clear();
  for (int i = 0; i < boxes.GetCount(); ++i) BBSList->addItem(AnsiText(boxes.GetString(i)));
  return ExecModal(*this) == QDialog::Accepted;
}

void TGetBBSRequest::BtnokClick() {
  const int row = BBSList->currentRow();
  if (row < 0 || row >= store_.Mailboxes().GetCount()) {
    reject();
    return;
  }
  chosen_ = store_.Mailboxes().GetItem(row);
  accept();
}

std::string TGetBBSRequest::GetSelectedName() const {
  const QListWidgetItem* item = BBSList->currentItem();
  return item ? AnsiBytes(item->text()) : std::string();
}

// --- Poll dialog ---------------------------------------------------------------------

TNetCallDlg::TNetCallDlg(TConfigStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("NetCallDlg");
  setWindowTitle(QStringLiteral("Опрос"));
  auto* layout = new QVBoxLayout(this);
  LinkLIst = new QListWidget(this);
  LinkLIst->setObjectName("LinkLIst");
  layout->addWidget(LinkLIst);
  QDialogButtonBox* buttons = AddOkCancel(this, layout);
  connect(buttons, &QDialogButtonBox::accepted, this, &TNetCallDlg::OkbtnClick);
  connect(LinkLIst, &QListWidget::itemDoubleClicked, this, &TNetCallDlg::OkbtnClick);
  connect(LinkLIst, &QListWidget::itemActivated, this, &TNetCallDlg::OkbtnClick);
}

bool TNetCallDlg::Execute() {
  chosen_ = nullptr;
  candidates_ = PollCandidates(store_.Uplinks(), store_.Mailboxes());
  LinkLIst->clear();
  for (const TMailBox* box : candidates_) LinkLIst->addItem(AnsiText(box->Name));
  if (candidates_.empty()) {
    platform::GetPrompter().Warn(
        "No uplink has a mailbox assigned! Please assign mailboxes to you uplinks in "
        "\"Settings\"/ \" Uplinks\". If yout have no mailboxes defined you may do so  in "
        "\"Settings\" \"BBSes\".");
  }
  return ExecModal(*this) == QDialog::Accepted && chosen_;
}

void TNetCallDlg::OkbtnClick() {
  const int row = LinkLIst->currentRow();
  if (row < 0 || row >= static_cast<int>(candidates_.size())) {
    reject();
    return;
  }
  chosen_ = candidates_[row];
  accept();
}

// --- Area calibrator -------------------------------------------------------------------

TASCalibrator::TASCalibrator(TConfigStore& store, TMailBox& mailbox, std::vector<std::string> lines,
                             platform::CodePage page, QWidget* parent)
    : QDialog(parent), store_(store), mailbox_(mailbox), lines_(std::move(lines)) {
  setObjectName("ASCalibrator");
  auto* layout = new QVBoxLayout(this);
  auto* help = new QLabel(this);
  help->setObjectName("StepLabel");
  layout->addWidget(help);
  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setReadOnly(true);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  QStringList text;
  for (const std::string& line : lines_) text << QString::fromStdString(platform::ToUtf8(line, page));
  Memo->setPlainText(text.join('\n'));
  layout->addWidget(Memo);
  SelectionLabel = new QLabel(this);
  SelectionLabel->setObjectName("SelectionLabel");
  layout->addWidget(SelectionLabel);
  UseAsStandard = new QCheckBox("Use as standard", this);
  UseAsStandard->setObjectName("UseAsStandard");
  layout->addWidget(UseAsStandard);
  auto* row = new QHBoxLayout;
  BackButton = new QPushButton("Zurück", this);
  BackButton->setObjectName("BackButton");
  NextButton = new QPushButton("Weiter", this);
  NextButton->setObjectName("NextButton");
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("BtnCancel");
  row->addWidget(BackButton);
  row->addWidget(NextButton);
  row->addWidget(cancel);
  layout->addLayout(row);
  BackButton->setEnabled(false);
  help->setText("Mark the range in which an area name stands.");
  connect(NextButton, &QPushButton::clicked, this, &TASCalibrator::NextClick);
  connect(BackButton, &QPushButton::clicked, this, &TASCalibrator::BackClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(Memo, &QPlainTextEdit::selectionChanged, this, &TASCalibrator::ShowSelection);
}

bool TASCalibrator::Execute() { return ExecModal(*this) == QDialog::Accepted; }

void TASCalibrator::ShowSelection() { SelectionLabel->setText(Memo->textCursor().selectedText()); }

bool TASCalibrator::TakeSelection(TTextRange& range, std::string& text) {
  const QTextCursor cursor = Memo->textCursor();
  std::string error;
  // Positions count characters of the shown text; the lines are bytes of one
  // character each in their code page.
  if (!SelectionRange(lines_, cursor.selectionStart(),
                      cursor.selectionEnd() - cursor.selectionStart(), range, error)) {
    platform::GetPrompter().Error(error);
    return false;
  }
  text = lines_[range.Line].substr(range.First - 1, range.Last - range.First + 1);
  return true;
}

void TASCalibrator::NextClick() {
  TTextRange range;
  std::string text;
  if (!TakeSelection(range, text)) return;
  if (step_ == 1) {
    nameLine_ = range.Line;
    nameFirst_ = range.First;
    nameLast_ = range.Last;
    step_ = 2;
    NextButton->setText("Fertig");
    BackButton->setEnabled(true);
    findChild<QLabel*>("StepLabel")->setText("Mark a text at a fixed place beside the area name.");
    return;
  }
  TTextRange name{nameLine_, nameFirst_, nameLast_};
  ApplyCalibration(mailbox_, name, range, text);
  if (UseAsStandard->isChecked()) ApplyCalibrationToAll(store_.Mailboxes(), mailbox_);
  accept();
}

void TASCalibrator::BackClick() {
  step_ = 1;
  NextButton->setText("Weiter");
  BackButton->setEnabled(false);
  findChild<QLabel*>("StepLabel")->setText("Mark the range in which an area name stands.");
}

}  // namespace velmaris
