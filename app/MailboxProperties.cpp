#include "app/MailboxProperties.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/SettingsEdits.h"
#include "core/ConfigStore.h"
#include "core/MailBox.h"
#include "core/forms/FormText.h"
#include "mailer/Mailers.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "widgets/ModalHook.h"
#include "widgets/FileEdits.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

TVxSpinEdit* Spin(const char* name) {
  auto* spin = Named(new TVxSpinEdit, name);
  spin->SetMinValue(-1000);
  spin->SetMaxValue(1000);
  return spin;
}

}  // namespace

TMBProperties::TMBProperties(TMailBox& box, TMBList& list, const std::vector<std::string>& profiles,
                             platform::CodePage listPage, QWidget* parent)
    : QDialog(parent), box_(box), list_(list), listPage_(listPage) {
  setObjectName("TMBProperties");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  MBName = Named(new QLineEdit, "MBName");
  MBSysop = Named(new QLineEdit, "MBSysop");
  mbAddress = Named(new QLineEdit, "mbAddress");
  mbCMD = Named(new QComboBox, "mbCMD");
  mbCMD->setEditable(true);
  for (const std::string& profile : profiles) mbCMD->addItem(AnsiText(profile));
  NumberMemo = Named(new QPlainTextEdit, "NumberMemo");
  mbFileList = Named(new TFilenameEdit, "mbFileList");
  mbFileList->SetHoldsPath(true);
  EdInd = Named(new QLineEdit, "EdInd");
  SpLine = Spin("SpLine");
  SpCol = Spin("SpCol");
  EdSize = Spin("EdSize");
  form->addRow(QStringLiteral("Название:"), MBName);
  form->addRow(QStringLiteral("Сисоп:"), MBSysop);
  form->addRow(QStringLiteral("Адрес:"), mbAddress);
  auto* command = new QHBoxLayout;
  command->addWidget(mbCMD, 1);
  GetJobDir = Named(new QPushButton(QStringLiteral("...")), "GetJobDir");
  GetJobDir->setToolTip(QStringLiteral("Выбрать программу"));
  command->addWidget(GetJobDir);
  form->addRow(QStringLiteral("Вызов (профиль или команда):"), command);
  LostProfile = Named(new QLabel, "LostProfile");
  LostProfile->setWordWrap(true);
  form->addRow(QString(), LostProfile);
  form->addRow(QStringLiteral("Телефоны:"), NumberMemo);
  form->addRow(QStringLiteral("Список файлов:"), mbFileList);
  form->addRow(QStringLiteral("Признак файловой эхи:"), EdInd);
  form->addRow(QStringLiteral("Строка имени:"), SpLine);
  form->addRow(QStringLiteral("Колонка имени:"), SpCol);
  form->addRow(QStringLiteral("Длина имени:"), EdSize);
  layout->addLayout(form);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  BtnOk = Named(new QPushButton(QStringLiteral("OK")), "BtnOk");
  BtnAbort = Named(new QPushButton(QStringLiteral("Cancel")), "BtnAbort");
  bApply = Named(new QPushButton(QStringLiteral("Apply")), "bApply");
  for (QPushButton* b : {BtnOk, BtnAbort, bApply}) row->addWidget(b);
  layout->addLayout(row);
  connect(BtnOk, &QPushButton::clicked, this, [this] { BtnOkClick(); });
  connect(BtnAbort, &QPushButton::clicked, this, [this] { BtnAbortClick(); });
  connect(bApply, &QPushButton::clicked, this, [this] { bApplyClick(); });
  connect(GetJobDir, &QPushButton::clicked, this, [this] { GetJobDirClick(); });
  Fill();
  auto modified = [this] {
    if (!filling_) bApply->setEnabled(true);
  };
  for (QLineEdit* e : findChildren<QLineEdit*>())
    connect(e, &QLineEdit::textChanged, this, modified);
  connect(NumberMemo, &QPlainTextEdit::textChanged, this, modified);
  connect(mbCMD, &QComboBox::editTextChanged, this, [this] { ShowLostProfile(); });
  for (TVxSpinEdit* s : {SpLine, SpCol, EdSize})
    connect(s, &TVxSpinEdit::textChanged, this, modified);
}

void TMBProperties::Fill() {
  filling_ = true;
  setWindowTitle(QStringLiteral("Properties of ") + AnsiText(box_.Name));
  const TMailboxFields fields = MailboxFields(box_);
  MBName->setText(AnsiText(fields.name));
  MBSysop->setText(AnsiText(fields.sysop));
  mbAddress->setText(AnsiText(fields.address));
  // A mailer profile's name is ANSI text, a command line names a program on
  // disk (an older version stored it in the ANSI page too: its words are
  // shown in that page and written back as they were stored unless changed).
  // A profile deleted in the open settings window is shown as the call the
  // mailbox gets when that window's OK frees it.
  lostProfile_ = box_.LostProfile;
  std::string command = box_.Command;
  if (const TMailerConfig* mailers = GetMailerConfig())
    command = mailers->CallAfterFree(box_.Command, &lostProfile_);
  mbCMD->setEditText(FilledPathText(mbCMD, command));
  QStringList numbers;
  for (const std::string& number : fields.numbers) numbers << AnsiText(number);
  NumberMemo->setPlainText(numbers.join('\n'));
  const std::string fileList = platform::UnquotedPath(box_.FileList);
  const QString fileListText = FilledPathText(mbFileList, box_.FileList, fileList);
  try {
    mbFileList->SetFileName(fileListText);
  } catch (const std::exception&) {
    mbFileList->setText(fileListText);  // a name the edit's rule refuses still shows
  }
  EdInd->setText(QString::fromStdString(platform::ToUtf8(box_.AreaIndicator, listPage_)));
  SpLine->SetValue(box_.AreaLine);
  SpCol->SetValue(box_.AreaColumn);
  EdSize->SetValue(box_.AreaSize);
  ShowLostProfile();
  bApply->setEnabled(false);
  filling_ = false;
}

void TMBProperties::ShowLostProfile() {
  const bool shown = mbCMD->currentText().isEmpty() && !lostProfile_.empty();
  LostProfile->setText(shown ? QStringLiteral("Профиль «") + AnsiText(lostProfile_) +
                                   QStringLiteral("», которым вызывался этот мейлбокс, удалён: "
                                                  "выберите профиль или команду.")
                             : QString());
  LostProfile->setVisible(shown);
}

bool TMBProperties::bApplyClick() {
  TMailboxFields fields{
      AnsiBytes(MBName->text()), AnsiBytes(MBSysop->text()), AnsiBytes(mbAddress->text()), {}};
  for (const QString& line : NumberMemo->toPlainText().split('\n'))
    fields.numbers.push_back(AnsiBytes(line));
  if (const std::string error = StoreMailboxFields(fields, box_, list_); !error.empty()) {
    platform::GetPrompter().Error(platform::AnsiToUtf8(error));  // quotes typed ANSI text
    return false;
  }
  box_.Command = mbCMD->findText(mbCMD->currentText()) >= 0
                     ? AnsiBytes(mbCMD->currentText())
                     : FieldPathBytes(mbCMD, mbCMD->currentText());
  box_.LostProfile = box_.Command.empty() ? lostProfile_ : std::string();
  box_.FileList = FieldPathBytes(mbFileList, mbFileList->FileName());
  box_.AreaIndicator = platform::FromUtf8(EdInd->text().toStdString(), listPage_);
  box_.AreaLine = static_cast<int32_t>(SpLine->Value());
  box_.AreaColumn = static_cast<int32_t>(SpCol->Value());
  box_.AreaSize = static_cast<int32_t>(EdSize->Value());
  setWindowTitle(QStringLiteral("Properties of ") + AnsiText(box_.Name));
  bApply->setEnabled(false);
  return true;
}

void TMBProperties::GetJobDirClick() {
  QFileDialog dialog(this, QStringLiteral("Программа вызова"));
  dialog.setObjectName("CMDDLg");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  const QString current = mbCMD->currentText();
  if (!current.isEmpty() && platform::FileExists(FieldPathBytes(mbCMD, current)))
    dialog.selectFile(current);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  mbCMD->setEditText(dialog.selectedFiles().front());  // a path with blanks stays whole
}

void TMBProperties::BtnOkClick() {
  if (bApplyClick()) accept();
}

void TMBProperties::BtnAbortClick() { reject(); }

}  // namespace velmaris
