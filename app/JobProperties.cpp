#include "app/JobProperties.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/logic/SettingsEdits.h"
#include "archive/UnpackJob.h"
#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/FileEdits.h"

namespace velmaris {

namespace {

constexpr const char* kDestinationTitle = "Destination for unpacking";

TDirectoryEdit* DirectoryEdit(const char* name) {
  auto* edit = new TDirectoryEdit;
  edit->setObjectName(QString::fromLatin1(name));
  edit->DialogText = QString::fromLatin1(kDestinationTitle);
  return edit;
}

}  // namespace

TJProperties::TJProperties(TUnpackJob& job, TUnpJobList& list, QWidget* parent)
    : QDialog(parent), job_(job), list_(list) {
  setObjectName("TJProperties");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  Jobname = new QLineEdit;
  Jobname->setObjectName("Jobname");
  Jobmask = new QLineEdit;
  Jobmask->setObjectName("Jobmask");
  GetFTN = new QPushButton(QStringLiteral("..."));
  GetFTN->setObjectName("GetFTN");
  GetFTN->setMaximumWidth(40);
  auto* mask = new QHBoxLayout;
  mask->addWidget(Jobmask, 1);
  mask->addWidget(GetFTN);
  JobDir = DirectoryEdit("JobDir");
  JobSrc = new QComboBox;
  JobSrc->setObjectName("JobSrc");
  JobSrc->addItems({QStringLiteral("удалить после распаковки"),
                    QStringLiteral("переместить после распаковки"),
                    QStringLiteral("оставить после распаковки")});
  JobMove = new QWidget;
  JobMove->setObjectName("JobMove");
  auto* move = new QFormLayout(JobMove);
  move->setContentsMargins(0, 0, 0, 0);
  JobMoveDir = DirectoryEdit("JobMoveDir");
  move->addRow(QStringLiteral("Переместить в:"), JobMoveDir);
  form->addRow(QStringLiteral("Название:"), Jobname);
  form->addRow(QStringLiteral("Маска архивов:"), mask);
  form->addRow(QStringLiteral("Распаковывать в:"), JobDir);
  form->addRow(QStringLiteral("Затем:"), JobSrc);
  form->addRow(JobMove);
  layout->addLayout(form);
  const TDialogButtons buttons = AddDialogButtons(
      layout, this,
      {[this] { Button3Click(); }, [this] { Button2Click(); }, [this] { bApplyClick(); }});
  OKButton = buttons.OK;
  CancelButton = buttons.Cancel;
  bApply = buttons.Apply;
  connect(GetFTN, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Select file to unpack"),
                                                      Jobmask->text());
    if (!file.isEmpty()) Jobmask->setText(file);
  });
  connect(JobSrc, &QComboBox::currentIndexChanged, this, [this] { JobSrcChange(); });
  resize(480, sizeHint().height());
  Fill();
  for (QLineEdit* edit : findChildren<QLineEdit*>())
    connect(edit, &QLineEdit::textChanged, this, [this] {
      if (!filling_) bApply->setEnabled(true);
    });
}

void TJProperties::Fill() {
  filling_ = true;
  const TUnpackJobFields fields = UnpackJobFields(list_, job_);
  setWindowTitle(QStringLiteral("Properties of ") + AnsiText(fields.name));
  Jobname->setText(AnsiText(fields.name));
  Jobmask->setText(FilledPathText(Jobmask, fields.mask));
  JobDir->setText(FilledPathText(JobDir, fields.destDir));
  JobMoveDir->setText(FilledPathText(JobMoveDir, fields.moveDir));
  // Any value other than delete and move keeps the archive.
  JobSrc->setCurrentIndex(std::clamp<int32_t>(fields.source, 0, 2));
  JobMove->setVisible(JobSrc->currentIndex() == TUnpackJob::usMove);
  bApply->setEnabled(false);
  filling_ = false;
}

void TJProperties::JobSrcChange() {
  JobMove->setVisible(JobSrc->currentIndex() == TUnpackJob::usMove);
  if (!filling_) bApply->setEnabled(true);
}

bool TJProperties::bApplyClick() {
  const TUnpackJobFields fields{AnsiBytes(Jobname->text()),
                                FieldPathBytes(Jobmask, Jobmask->text()),
                                FieldPathBytes(JobDir, JobDir->text()),
                                FieldPathBytes(JobMoveDir, JobMoveDir->text()),
                                JobSrc->currentIndex()};
  if (const std::string error = StoreUnpackJobFields(fields, job_, list_); !error.empty()) {
    platform::GetPrompter().Error(platform::AnsiToUtf8(error));  // quotes typed ANSI text
    return false;
  }
  Fill();
  return true;
}

void TJProperties::Button3Click() {
  if (bApplyClick()) accept();
}

void TJProperties::Button2Click() { reject(); }

}  // namespace velmaris
