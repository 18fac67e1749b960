#include "app/PackerProperties.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/logic/SettingsEdits.h"
#include "archive/Packer.h"
#include "core/forms/DialogButtons.h"
#include "core/forms/FormText.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

TVxSpinEdit* Spin(const QString& name, int min, int max) {
  auto* spin = new TVxSpinEdit;
  spin->setObjectName(name);
  spin->SetMinValue(min);
  spin->SetMaxValue(max);
  spin->setMaximumWidth(90);
  return spin;
}

}  // namespace

TPackerProperties::TPackerProperties(TPacker& packer, TPckList& list, QWidget* parent)
    : QDialog(parent), packer_(packer), list_(list) {
  setObjectName("TPackerProperties");
  setWindowTitle(QStringLiteral("Свойтва архиватора"));
  auto* layout = new QVBoxLayout(this);
  auto* pages = new QTabWidget;
  layout->addWidget(pages);

  auto* commands = new QWidget;
  auto* form = new QFormLayout(commands);
  PackerName = new QLineEdit;
  PackerName->setObjectName("PackerName");
  PackerPack = new QLineEdit;
  PackerPack->setObjectName("PackerPack");
  PackerUnpack = new QComboBox;
  PackerUnpack->setObjectName("PackerUnpack");
  PackerUnpack->setEditable(true);
  for (const std::string& command : IntegratedUnpackCommands())
    PackerUnpack->addItem(QString::fromStdString(command));
  form->addRow(QStringLiteral("Название:"), PackerName);
  form->addRow(QStringLiteral("Упаковка:"), PackerPack);
  form->addRow(QStringLiteral("Распаковка:"), PackerUnpack);
  pages->addTab(commands, QStringLiteral("Команды"));

  auto* signature = new QWidget;
  auto* grid = new QGridLayout(signature);
  PackerOffset = Spin("PackerOffset", 0, 2048);
  grid->addWidget(new QLabel(QStringLiteral("Смещение сигнатуры:")), 0, 0, 1, 2);
  grid->addWidget(PackerOffset, 0, 2, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Байты (-1 любой):")), 1, 0, 1, 4);
  for (int i = 0; i < 8; ++i) {
    // The form names the last one in lower case.
    const QString name =
        (i == 7 ? QStringLiteral("byte") : QStringLiteral("Byte")) + QString::number(i + 1);
    Bytes[static_cast<size_t>(i)] = Spin(name, -1, 255);
    grid->addWidget(Bytes[static_cast<size_t>(i)], 2 + i / 4, i % 4);
  }
  grid->setRowStretch(4, 1);
  pages->addTab(signature, QStringLiteral("Сигнатура"));

  const TDialogButtons buttons = AddDialogButtons(
      layout, this,
      {[this] { Button3Click(); }, [this] { Button2Click(); }, [this] { BtnApplyClick(); }});
  OKButton = buttons.OK;
  CancelButton = buttons.Cancel;
  BtnApply = buttons.Apply;
  BtnApply->setObjectName("BtnApply");
  resize(480, 260);
  Fill();
  auto modified = [this] {
    if (!filling_) BtnApply->setEnabled(true);
  };
  for (QLineEdit* edit : findChildren<QLineEdit*>())
    connect(edit, &QLineEdit::textChanged, this, modified);
}

void TPackerProperties::Fill() {
  filling_ = true;
  const TPackerFields fields = PackerFields(list_, packer_);
  setWindowTitle(QStringLiteral("Properties of ") + AnsiText(fields.name));
  PackerName->setText(AnsiText(fields.name));
  PackerPack->setText(FilledPathText(PackerPack, fields.pack));
  PackerUnpack->setEditText(FilledPathText(PackerUnpack, fields.unpack));
  PackerOffset->SetValue(fields.offset);
  for (size_t i = 0; i < Bytes.size(); ++i) Bytes[i]->SetValue(fields.signature[i]);
  BtnApply->setEnabled(false);
  filling_ = false;
}

bool TPackerProperties::BtnApplyClick() {
  TPackerFields fields{AnsiBytes(PackerName->text()),
                       FieldPathBytes(PackerPack, PackerPack->text()),
                       FieldPathBytes(PackerUnpack, PackerUnpack->currentText())};
  fields.offset = static_cast<int32_t>(PackerOffset->Value());
  for (size_t i = 0; i < Bytes.size(); ++i)
    fields.signature[i] = static_cast<int32_t>(Bytes[i]->Value());
  if (const std::string error = StorePackerFields(fields, packer_, list_); !error.empty()) {
    platform::GetPrompter().Error(platform::AnsiToUtf8(error));  // quotes typed ANSI text
    return false;
  }
  Fill();
  return true;
}

void TPackerProperties::Button3Click() {
  if (BtnApplyClick()) accept();
}

void TPackerProperties::Button2Click() { reject(); }

}  // namespace velmaris
