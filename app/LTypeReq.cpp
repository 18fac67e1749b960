#include "app/LTypeReq.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/forms/FormText.h"
#include "processing/AreaManager.h"

namespace velmaris {

TLTypeReq::TLTypeReq(const std::string& sender, const std::string& uplink, QWidget* parent)
    : QDialog(parent) {
  setObjectName("TLTypeReq");
  setWindowTitle(QStringLiteral("Тип списка"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QStringLiteral("Сообщение от %1 (%2) - это список:")
                              .arg(AnsiText(sender), AnsiText(uplink)),
                          this);
  text->setObjectName("LText");
  layout->addWidget(text);
  RbEchoList = new QRadioButton(QStringLiteral("Список эхоконференций"), this);
  RbEchoList->setObjectName("RbEchoList");
  RbEchoList->setChecked(true);
  RbFileList = new QRadioButton(QStringLiteral("Список файловых эх"), this);
  RbFileList->setObjectName("RbFileList");
  CbRemember = new QCheckBox(QStringLiteral("Запомнить отправителя и тему"), this);
  CbRemember->setObjectName("CbRemember");
  for (QWidget* w : {static_cast<QWidget*>(RbEchoList), static_cast<QWidget*>(RbFileList),
                     static_cast<QWidget*>(CbRemember)})
    layout->addWidget(w);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OKBtn");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelBtn");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

TRobotKind TLTypeReq::Kind() const {
  return RbFileList->isChecked() ? TRobotKind::FileScan : TRobotKind::AreaFix;
}

bool TLTypeReq::RememberSender() const { return CbRemember->isChecked(); }

}  // namespace velmaris
