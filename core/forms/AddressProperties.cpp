#include "core/forms/AddressProperties.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AddressBook.h"
#include "core/FidoAddress.h"
#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "platform/Prompter.h"

namespace velmaris {

TAddressProperties::TAddressProperties(TFriend& entry) : entry_(entry) {
  setObjectName("AddressProperties");
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  const auto edit = [this, form](const char* name, const QString& label) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QLatin1String(name));
    form->addRow(label, e);
    connect(e, &QLineEdit::textEdited, this, [this] { Modified(); });
    return e;
  };
  edName_ = edit("EdName", QStringLiteral("Имя"));
  edEMail_ = edit("EdEMail", QStringLiteral("E-Mail"));
  edFido_ = edit("EdFido", QStringLiteral("FidoNet"));
  comment_ = new QPlainTextEdit(this);
  comment_->setObjectName("MComment");
  form->addRow(QStringLiteral("Комментарий"), comment_);
  layout->addLayout(form);
  const TDialogButtons buttons = AddDialogButtons(layout);
  apply_ = buttons.Apply;
  apply_->setObjectName("BtnApply");
  buttons.OK->setDefault(true);
  connect(buttons.OK, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(buttons.Cancel, &QPushButton::clicked, this, &QDialog::close);
  connect(apply_, &QPushButton::clicked, this, [this] { BtnApplyClick(); });
  connect(edName_, &QLineEdit::textChanged, this, [this] { UpdateCaption(); });
  Fill();
  connect(comment_, &QPlainTextEdit::textChanged, this, [this] { Modified(); });
  resize(360, 300);
}

void TAddressProperties::Fill() {
  edName_->setText(AnsiText(entry_.GetName()));
  edEMail_->setText(AnsiText(entry_.GetEMail()));
  edFido_->setText(QString::fromStdString(entry_.Address().GetText()));
  QStringList lines;
  for (const std::string& line : entry_.Comments) lines << AnsiText(line);
  comment_->setPlainText(lines.join(QLatin1Char('\n')));
  UpdateCaption();
  apply_->setEnabled(false);
}

void TAddressProperties::Modified() { apply_->setEnabled(true); }

void TAddressProperties::UpdateCaption() {
  setWindowTitle(QStringLiteral("Properties of ") + edName_->text());
}

bool TAddressProperties::BtnApplyClick() {
  // An address that does not parse is refused before anything is stored.
  const std::string fido = edFido_->text().trimmed().toStdString();
  const auto address = ParseFidoAddress(fido);
  if (!fido.empty() && !address) {
    edFido_->setFocus();
    platform::GetPrompter().Error(BadAddressText(fido));
    return false;
  }
  entry_.BeginUpdate();
  entry_.SetName(AnsiBytes(edName_->text()));
  if (fido.empty())
    entry_.Address().Clear();
  else
    entry_.Address().SetText(fido);
  entry_.SetEMail(AnsiBytes(edEMail_->text()));
  entry_.Comments.clear();
  const QString text = comment_->toPlainText();
  if (!text.isEmpty())
    for (const QString& line : text.split(QLatin1Char('\n'))) entry_.Comments.push_back(AnsiBytes(line));
  entry_.EndUpdate();
  UpdateCaption();
  apply_->setEnabled(false);
  return true;
}

void TAddressProperties::Button3Click() {
  if (BtnApplyClick()) close();
}

void TAddressProperties::closeEvent(QCloseEvent* event) {
  QDialog::closeEvent(event);
  // The entry gives the dialog up; it goes once its events are done.
  if (entry_.PropertiesDialog.get() == this) entry_.PropertiesDialog.release();
  deleteLater();
}

TAddressProperties* ShowFriendProperties(TFriend& entry) {
  auto* dialog = dynamic_cast<TAddressProperties*>(entry.PropertiesDialog.get());
  if (dialog == nullptr) {
    dialog = new TAddressProperties(entry);
    entry.PropertiesDialog.reset(dialog);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

}  // namespace velmaris
